#include "Foundation/NSLog.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>

#include "Foundation/Clock.h"

namespace {

std::mutex& logLock() {
    static std::mutex m;
    return m;
}

NSLogSink& currentSink() {
    static NSLogSink sink;
    return sink;
}

// Set while this thread runs the sink, so that a sink that logs cannot deadlock on the lock.
thread_local bool inSink = false;

const std::string& processName() {
    static const std::string name = [] {
        std::string n = program_invocation_short_name ? program_invocation_short_name : "";
        if (n.empty()) {
            std::ifstream comm("/proc/self/comm");
            std::getline(comm, n);
        }
        return n.empty() ? std::string("unknown") : n;
    }();
    return name;
}

long currentThreadID() {
    return static_cast<long>(syscall(SYS_gettid));
}

void writeAll(int fd, const std::string& text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
}

void emit(const std::string& line) {
    if (inSink) {
        writeAll(STDERR_FILENO, line);
        return;
    }
    std::lock_guard<std::mutex> hold(logLock());
    if (NSLogSink& sink = currentSink()) {
        inSink = true;
        sink(line);
        inSink = false;
    } else {
        writeAll(STDERR_FILENO, line);
    }
}

}  // namespace

std::string NSLogLinePrefix(NSTimeInterval now, long threadID) {
    // Whole milliseconds first, so that the seconds and the fraction always agree.
    auto ms = static_cast<long long>(std::floor((now + NSTimeIntervalSince1970) * 1000.0 + 0.5));
    long long secsPart = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    int millis = static_cast<int>(ms - secsPart * 1000);
    time_t secs = static_cast<time_t>(secsPart);
    struct tm local {};
    localtime_r(&secs, &local);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  millis);
    std::string prefix = stamp;
    prefix += ' ';
    prefix += processName();
    prefix +=
        '[' + std::to_string(static_cast<long>(getpid())) + ':' + std::to_string(threadID) + "] ";
    return prefix;
}

void NSLogMessage(NSString* message) {
    std::string line = NSLogLinePrefix(Clock::now(), currentThreadID());
    line += message ? message->utf8() : std::string("(null)");
    if (line.back() != '\n') line += '\n';
    emit(line);
}

void NSLogv(NSString* format, const FormatArg* args, size_t count) {
    if (!format) {
        NSLogMessage(nullptr);
        return;
    }
    NSLogMessage(NSString::stringWithFormatArgs(format, args, count));
}

NSLogSink NSLogSetSink(NSLogSink sink) {
    std::lock_guard<std::mutex> hold(logLock());
    NSLogSink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}
