// Transcript tests: a session's printout compared with the transcript kept beside the test.
// When the format changes on purpose, run with BN_UPDATE_TRANSCRIPTS=1 to write the new
// transcript, and read it.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

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

// The scratch space of this run of the test program: a folder of its own under BN_TEST_TMP
// (which ctest sets; else the system's temporary folder), as runs of one build at once (ctest's
// shards, a person's runs beside it) share BN_TEST_TMP and would take each other's files. Those
// of the latest runs that have ended stay, for a person to look at.
inline std::filesystem::path runScratchFolder() {
    namespace fs = std::filesystem;
    static const fs::path run = [] {
        const char* tmp = std::getenv("BN_TEST_TMP");
        fs::path base = tmp ? tmp : fs::temp_directory_path().string();
        fs::create_directories(base);
        std::error_code ignored;
        std::vector<std::pair<fs::file_time_type, fs::path>> ended;
        for (const auto& entry : fs::directory_iterator(base, ignored)) {
            std::string name = entry.path().filename().string();
            pid_t owner = name.rfind("run-", 0) == 0 ? std::atoi(name.c_str() + 4) : 0;
            if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH)
                ended.emplace_back(entry.last_write_time(ignored), entry.path());
        }
        constexpr std::size_t kEndedKept = 8;
        std::sort(ended.begin(), ended.end(), std::greater<>());
        for (std::size_t i = kEndedKept; i < ended.size(); ++i)
            fs::remove_all(ended[i].second, ignored);
        std::string templ = (base / ("run-" + std::to_string(::getpid()) + "-XXXXXX")).string();
        if (!::mkdtemp(templ.data())) throw fs::filesystem_error("mkdtemp", templ, {});
        return fs::path(templ);
    }();
    return run;
}

// The folder `name` of this run's scratch space, made if missing; the scratch space itself for
// an empty name.
inline std::filesystem::path scratchFolder(const std::string& name = "") {
    std::filesystem::path dir = runScratchFolder() / name;
    std::filesystem::create_directories(dir);
    return dir;
}

// While it lives, the current folder is the scratch folder `name`: the screenshots a script
// takes land there, for a person to look at, and never in the folder the tests started in.
class InScratchFolder {
public:
    explicit InScratchFolder(const std::string& name)
        : before_(std::filesystem::current_path()), dir_(scratchFolder(name)) {
        std::filesystem::current_path(dir_);
    }
    ~InScratchFolder() { std::filesystem::current_path(before_); }
    InScratchFolder(const InScratchFolder&) = delete;
    InScratchFolder& operator=(const InScratchFolder&) = delete;
    const std::filesystem::path& path() const { return dir_; }

private:
    std::filesystem::path before_, dir_;
};

// Fails with the first difference, and leaves the whole printout beside the temporary files.
inline void expectTranscript(const std::filesystem::path& expectedPath, const std::string& actual) {
    namespace fs = std::filesystem;
    if (std::getenv("BN_UPDATE_TRANSCRIPTS")) writeFile(expectedPath, actual);
    std::string expected = readFile(expectedPath);
    if (expected == actual) return;
    fs::path actualPath = scratchFolder() / (expectedPath.filename().string() + ".actual");
    writeFile(actualPath, actual);
    ADD_FAILURE() << "The transcript differs from " << expectedPath << " at "
                  << firstDifference(expected, actual) << "\nThe whole transcript is in "
                  << actualPath;
}

// How often `mark` prints in a transcript from the last command that begins as `commands` does
// on (a gesture's count of pushes or alerts).
inline int timesFromCommand(const std::string& transcript, const std::string& commands,
                            const std::string& mark) {
    size_t from = transcript.rfind("> " + commands.substr(0, commands.find(' ')));
    int times = -1;
    for (size_t at = from; at != std::string::npos; at = transcript.find(mark, at + 1))
        ++times;
    return times;
}

// Script lines handed out one at a time; a hook runs just before its line is read, that is after
// the screen of the command before it has been printed.
class HookedLines : public std::streambuf {
public:
    using Hooks = std::vector<std::pair<std::string, std::function<void()>>>;
    HookedLines(const std::string& text, std::string marker, std::function<void()> hook)
        : HookedLines(text, Hooks{{std::move(marker), std::move(hook)}}) {}
    // Each hook runs before every line equal to its marker; `rewrite`, when given, makes the line
    // handed out of the script's line once its hooks have run (a value filled in as it is read).
    HookedLines(const std::string& text, Hooks hooks,
                std::function<std::string(const std::string&)> rewrite = nullptr)
        : hooks_(std::move(hooks)), rewrite_(std::move(rewrite)) {
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            lines_.push_back(line);
    }

protected:
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        if (next_ >= lines_.size()) return traits_type::eof();
        for (auto& [marker, hook] : hooks_) {
            if (hook && lines_[next_] == marker) hook();
        }
        const std::string& line = lines_[next_++];
        current_ = (rewrite_ ? rewrite_(line) : line) + "\n";
        setg(current_.data(), current_.data(), current_.data() + current_.size());
        return traits_type::to_int_type(*gptr());
    }

private:
    std::vector<std::string> lines_;
    size_t next_ = 0;
    std::string current_;
    Hooks hooks_;
    std::function<std::string(const std::string&)> rewrite_;
};
