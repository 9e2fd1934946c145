#include "support/HostsOverride.h"

#include <cstdlib>
#include <set>
#include <vector>

namespace standintest {

namespace {

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at <= list.size()) {
        size_t comma = list.find(',', at);
        std::string entry =
            list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (!entry.empty()) out.push_back(entry);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return out;
}

std::string patternOf(const std::string& entry) {
    return entry.substr(0, entry.find('='));
}

}  // namespace

void addHostsOverride(const std::string& entries) {
    std::vector<std::string> added = split(entries);
    std::set<std::string> patterns;
    for (const auto& e : added)
        patterns.insert(patternOf(e));
    const char* current = std::getenv("BAZAARNEST_HOSTS");
    for (const auto& e : split(current ? current : "")) {
        if (!patterns.count(patternOf(e))) added.push_back(e);
    }
    std::string value;
    for (const auto& e : added)
        value += (value.empty() ? "" : ",") + e;
    setenv("BAZAARNEST_HOSTS", value.c_str(), 1);
}

}  // namespace standintest
