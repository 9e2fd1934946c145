// Small helpers shared by the tests of everything built on Foundation.
#pragma once

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "Foundation/NSException.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSString.h"

// The exception a call raised, or nil when it returned normally.
template <class F>
Ref<NSException> raisedBy(F&& f) {
    try {
        f();
    } catch (ExceptionRaised& e) {
        return e.exception;
    }
    return nullptr;
}

// The name of the exception a call raised, or "" when it raised none.
template <class F>
std::string raisedName(F&& f) {
    Ref<NSException> e = raisedBy(std::forward<F>(f));
    return e ? e->name()->utf8() : std::string();
}

// An object's description as UTF-8, "(nil)" for nil.
inline std::string text(NSObject* o) {
    return o ? o->description()->utf8() : "(nil)";
}

inline Ref<NSString> str(std::string_view utf8) {
    return NSString::fromUTF8(utf8);
}

// Collects the lines NSLog writes while it lives, from any thread, and then puts the previous
// sink back.
class LoggedLines {
public:
    LoggedLines()
        : previous_(NSLogSetSink([this](const std::string& line) {
              std::lock_guard lock(lock_);
              lines_.push_back(line);
          })) {}
    ~LoggedLines() { NSLogSetSink(previous_); }
    LoggedLines(const LoggedLines&) = delete;
    LoggedLines& operator=(const LoggedLines&) = delete;

    // How many lines so far contain `part`.
    size_t count(std::string_view part) {
        std::lock_guard lock(lock_);
        size_t n = 0;
        for (auto& line : lines_)
            if (line.find(part) != std::string::npos) ++n;
        return n;
    }

private:
    std::mutex lock_;
    std::vector<std::string> lines_;
    NSLogSink previous_;
};

// What the app's earlier writer left beside one of its stores, cut short; the writer takes it at
// the store's first write if it is there before the test's first write into the home.
struct EarlierWriterLeftover {
    explicit EarlierWriterLeftover(NSString* target) : path(target->utf8() + ".writing-a1B2c3") {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path) << "cut short";
    }
    bool gone() const { return !std::filesystem::exists(path); }
    std::string path;
};
