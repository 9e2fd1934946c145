// Helpers for the ad engine's tests: zip archives made with minizip's writer, file reads and the
// engine's folders.
#pragma once

#include <zip.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Foundation/NSString.h"

namespace ivtest {

struct ZipEntry {
    std::string name;
    std::string data;
    bool deflate = true;
    // When set, the entry declares this uncompressed size instead of the true one.
    long declaredSize = -1;
};

// Writes the archive to `path` and returns its bytes.
inline std::string writeZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    zipFile zf = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    for (const auto& e : entries) {
        zip_fileinfo info{};
        if (e.declaredSize >= 0) {
            zipOpenNewFileInZip2(zf, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, 0, 0,
                                 1);
            zipWriteInFileInZip(zf, e.data.data(), static_cast<unsigned>(e.data.size()));
            uLong crc = crc32(0, reinterpret_cast<const Bytef*>(e.data.data()),
                              static_cast<uInt>(e.data.size()));
            zipCloseFileInZipRaw(zf, static_cast<uLong>(e.declaredSize), crc);
            continue;
        }
        zipOpenNewFileInZip(zf, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                            e.deflate ? Z_DEFLATED : 0, e.deflate ? Z_DEFAULT_COMPRESSION : 0);
        if (!e.data.empty())
            zipWriteInFileInZip(zf, e.data.data(), static_cast<unsigned>(e.data.size()));
        zipCloseFileInZip(zf);
    }
    zipClose(zf, nullptr);
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Every file and folder below `root`: relative path -> contents ("/" for a folder).
std::map<std::string, std::string> tree(const std::string& root);

}  // namespace ivtest
