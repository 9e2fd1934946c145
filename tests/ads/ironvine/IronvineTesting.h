// Helpers for the ad engine's tests: zip archives as the stand-in ad server makes them, file
// reads and folder trees.
#pragma once

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Foundation/NSLog.h"
#include "Foundation/NSString.h"
#include "tools/services/IronvineBundles.h"

namespace ivtest {

using ZipEntry = bnservices::IronvineZipEntry;

// Writes the archive to `path` and returns its bytes.
inline std::string writeZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    std::string bytes = bnservices::ironvineZip(entries);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return bytes;
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

// A fresh launch against the stand-in: no engine, no folders or rows, no faults, reachable.
void resetEngineForLaunch();
// Waits for a running sync to end and shuts the engine down.
void finishEngineLaunch();
// Starts the engine with the slots "ivBanner" and "ivFullScreen".
void startEngineWithBannerAndFullScreen();

}  // namespace ivtest

// Catches the system log's lines while it lives.
struct LogLines {
    LogLines() {
        previous = NSLogSetSink([this](const std::string& line) { lines.push_back(line); });
    }
    ~LogLines() { NSLogSetSink(previous); }
    bool has(const std::string& message) const {
        for (auto& l : lines)
            if (l.ends_with(message + "\n") || l.ends_with(message)) return true;
        return false;
    }
    std::vector<std::string> lines;
    NSLogSink previous;
};
