#include "IronvineTesting.h"

#include <filesystem>

namespace ivtest {

std::map<std::string, std::string> tree(const std::string& root) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    if (!std::filesystem::exists(root, ec)) return out;
    for (auto& entry : std::filesystem::recursive_directory_iterator(root, ec)) {
        std::string rel = std::filesystem::relative(entry.path(), root).string();
        out[rel] = entry.is_directory() ? "/" : readFile(entry.path().string());
    }
    return out;
}

}  // namespace ivtest
