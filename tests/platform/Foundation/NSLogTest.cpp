#include <gtest/gtest.h>

#include "support/FoundationTesting.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSLog.h"

namespace {

// Captures the log's lines for the scope of a test.
class Capture {
public:
    Capture() {
        previous_ = NSLogSetSink([this](const std::string& line) {
            std::lock_guard<std::mutex> hold(m_);
            lines_.push_back(line);
        });
    }
    ~Capture() { NSLogSetSink(std::move(previous_)); }
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> hold(m_);
        return lines_;
    }

private:
    std::mutex m_;
    std::vector<std::string> lines_;
    NSLogSink previous_;
};

std::string expectedStamp(NSTimeInterval t) {
    time_t secs = static_cast<time_t>(t + NSTimeIntervalSince1970);
    struct tm local {};
    localtime_r(&secs, &local);
    char buf[32];
    strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return buf;
}

std::string ids() {
    return "[" + std::to_string(getpid()) + ":" + std::to_string(syscall(SYS_gettid)) + "] ";
}

TEST(NSLog, LineHasThePlatformShape) {
    ManualClockScope clock(kManualClockDefaultStart + 0.123);
    Capture capture;
    NSLog(NS("%@ has %d items"), NS("cart"), 3);
    auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], expectedStamp(Clock::now()) + ".123 " + program_invocation_short_name +
                            ids() + "cart has 3 items\n");
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.123 )"
                                                      R"(\S+\[\d+:\d+\] cart has 3 items\n)")));
    EXPECT_EQ(NSLogLinePrefix(Clock::now(), 42).substr(0, 24), lines[0].substr(0, 24));
}

TEST(NSLog, MillisecondsCarryAndNewlinesAreNotDoubled) {
    ManualClockScope clock(kManualClockDefaultStart + 59.9996);  // rounds up to the next second
    Capture capture;
    NSLogMessage(NS("ends with newline\n"));
    NSLogMessage(NS("two\nlines"));
    NSLogMessage(nullptr);
    auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].substr(0, 24), expectedStamp(kManualClockDefaultStart + 60) + ".000 ");
    EXPECT_EQ(lines[0].substr(lines[0].size() - 19), " ends with newline\n");
    EXPECT_EQ(lines[1].substr(lines[1].size() - 10), "two\nlines\n");
    EXPECT_EQ(lines[2].substr(lines[2].size() - 9), "] (null)\n");
}

TEST(NSLog, EachThreadIsNamedAndLinesNeverMix) {
    Capture capture;
    std::vector<std::thread> threads;
    std::vector<std::string> tids(6);
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([t, &tids] {
            NSAutoreleasePool pool;
            tids[t] = ids();
            for (int i = 0; i < 200; ++i)
                NSLog(NS("thread %d line %d %@"), t, i, NS("payload"));
        });
    }
    for (auto& th : threads)
        th.join();
    auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1200u);
    std::vector<int> next(6, 0);
    for (auto& line : lines) {
        int t = -1, i = -1;
        size_t at = line.find("] thread ");
        ASSERT_NE(at, std::string::npos) << line;
        ASSERT_EQ(std::sscanf(line.c_str() + at, "] thread %d line %d", &t, &i), 2) << line;
        ASSERT_TRUE(t >= 0 && t < 6);
        EXPECT_NE(line.find(tids[t] + "thread "), std::string::npos) << line;
        EXPECT_EQ(i, next[t]++);  // each thread's lines in its own order
        EXPECT_EQ(line.back(), '\n');
        EXPECT_EQ(line.find('\n'), line.size() - 1);
    }
    EXPECT_NE(tids[0], tids[1]);
}

TEST(NSLog, WritesToStandardErrorWithoutASink) {
    std::string path = std::string(std::getenv("BAZAARNEST_HOME")) + "/stderr.txt";
    FILE* f = std::fopen(path.c_str(), "w+");
    ASSERT_NE(f, nullptr);
    std::fflush(stderr);
    int saved = dup(STDERR_FILENO);
    dup2(fileno(f), STDERR_FILENO);
    {
        // A sink that logs cannot deadlock: its own lines go to standard error.
        Capture capture;
        NSLogSetSink([](const std::string&) { NSLogMessage(NS("from inside the sink")); });
        NSLogMessage(NS("captured"));
    }
    NSLogMessage(NS("to stderr"));
    dup2(saved, STDERR_FILENO);
    close(saved);
    std::string out;
    std::rewind(f);
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    std::fclose(f);
    EXPECT_NE(out.find(ids() + "from inside the sink\n"), std::string::npos) << out;
    EXPECT_NE(out.find(ids() + "to stderr\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("captured"), std::string::npos) << out;
}

}  // namespace
