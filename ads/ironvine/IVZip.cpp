#include "ads/ironvine/IVZip.h"

#include <unzip.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Foundation/NSFileManager.h"
#include "Foundation/NSString.h"

namespace {
constexpr size_t kPiece = 4096;

// The entry's path below the destination, or "" when the name must not be written.
std::string safeRelativePath(const std::string& name) {
    if (name.empty() || name[0] == '/' || name[0] == '\\') return "";
    if (name.find('\0') != std::string::npos || name.find('\\') != std::string::npos) return "";
    std::string out;
    size_t start = 0;
    while (start <= name.size()) {
        size_t slash = name.find('/', start);
        std::string part =
            name.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (part == "..") return "";
        if (!part.empty() && part != ".") {
            if (!out.empty()) out += '/';
            out += part;
        }
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return out;
}

bool makeFolder(const std::string& path) {
    return NSFileManager::defaultManager()->createDirectoryAtPath(NSString::fromUTF8(path).get(),
                                                                  true, nullptr, nullptr);
}

// Copies the open entry into the file; false when the entry's data is damaged.
bool copyEntry(unzFile zip, const std::string& path) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    std::vector<char> buf(kPiece);
    bool ok = true;
    while (true) {
        int n = unzReadCurrentFile(zip, buf.data(), static_cast<unsigned>(buf.size()));
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        if (std::fwrite(buf.data(), 1, static_cast<size_t>(n), out) != static_cast<size_t>(n)) {
            ok = false;
            break;
        }
    }
    std::fclose(out);
    return ok;
}
}  // namespace

bool IVZip::unzipPackage(NSString* zipPath, NSString* destination) {
    if (!zipPath || !destination) return false;
    std::string root = destination->utf8();
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    makeFolder(root);
    unzFile zip = unzOpen(zipPath->UTF8String());
    if (!zip) return false;
    bool ok = true;
    for (int step = unzGoToFirstFile(zip); step == UNZ_OK; step = unzGoToNextFile(zip)) {
        unz_file_info info;
        char name[kMaxNameLength + 1];
        if (unzGetCurrentFileInfo(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK)
            continue;
        if (info.size_filename > kMaxNameLength) continue;  // refused, never cut short
        std::string entry(name, info.size_filename);
        std::string relative = safeRelativePath(entry);
        if (relative.empty()) continue;
        std::string target = root + "/" + relative;
        if (entry.back() == '/') {
            makeFolder(target);
            continue;
        }
        if (unzOpenCurrentFile(zip) != UNZ_OK) continue;
        makeFolder(target.substr(0, target.rfind('/')));
        bool copied = copyEntry(zip, target);
        if (unzCloseCurrentFile(zip) != UNZ_OK) copied = false;
        if (!copied) {
            // A damaged entry leaves nothing half-written behind.
            std::remove(target.c_str());
            ok = false;
        }
    }
    unzClose(zip);
    return ok;
}
