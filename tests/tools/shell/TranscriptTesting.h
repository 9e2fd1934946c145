// Transcript tests: a session's printout compared with the transcript kept beside the test.
// When the format changes on purpose, run with BN_UPDATE_TRANSCRIPTS=1 to write the new
// transcript, and read it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// The folder of the shell's tests in the source tree.
inline std::filesystem::path shellTestFolder() {
    return std::filesystem::path(BN_SOURCE_DIR) / "tests" / "tools" / "shell";
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// Where the two texts part, for a readable failure.
inline std::string firstDifference(const std::string& expected, const std::string& actual) {
    std::istringstream e(expected), a(actual);
    std::string le, la;
    for (int line = 1;; ++line) {
        bool he = static_cast<bool>(std::getline(e, le));
        bool ha = static_cast<bool>(std::getline(a, la));
        if (!he && !ha) return "no difference";
        if (he != ha || le != la) {
            return "line " + std::to_string(line) + ":\n  expected: " + (he ? le : "(end)") +
                   "\n  actual:   " + (ha ? la : "(end)");
        }
    }
}

// Fails with the first difference, and leaves the whole printout beside the temporary files.
inline void expectTranscript(const std::filesystem::path& expectedPath, const std::string& actual) {
    namespace fs = std::filesystem;
    if (std::getenv("BN_UPDATE_TRANSCRIPTS")) writeFile(expectedPath, actual);
    std::string expected = readFile(expectedPath);
    if (expected == actual) return;
    const char* tmp = std::getenv("BN_TEST_TMP");
    fs::path dir = tmp ? fs::path(tmp) : fs::temp_directory_path();
    fs::create_directories(dir);
    fs::path actualPath = dir / (expectedPath.filename().string() + ".actual");
    writeFile(actualPath, actual);
    ADD_FAILURE() << "The transcript differs from " << expectedPath << " at "
                  << firstDifference(expected, actual) << "\nThe whole transcript is in "
                  << actualPath;
}
