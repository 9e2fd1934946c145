// Test programs run with a release pool around each test, so that objects a test autoreleases
// are gone (and checked by the leak detector) before the next one starts, let the threads a test
// started finish their work, and drop every process-wide instance after it, so that no test
// depends on what an earlier one left behind. Each program runs in a sandbox of its own
// (support/Sandbox.h), removed at exit, so that tests never touch a user's data. Once the tests
// are over, every thread they left running (a shared server's, the network thread) is ended and
// joined before the process exits, so that the leak check at exit sees only what was lost.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <vector>

#include "Foundation/NSDate.h"
#include "Foundation/NSObject.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NetworkWork.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/ThreadActivity.h"
#include "support/ProgramEnd.h"
#include "support/Sandbox.h"

namespace {
// Turns the main run loop, for the callbacks the work waits for, until `busy` is false or 5 s
// have passed; false then. Real time, as the work is real.
template <class Busy>
bool turnMainLoopWhile(Busy busy) {
    const auto start = std::chrono::steady_clock::now();
    while (busy()) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(5)) return false;
        NSAutoreleasePool pool;
        NSRunLoop::mainRunLoop()->runMode(NSDefaultRunLoopMode,
                                          NSDate::dateWithTimeIntervalSinceNow(0.001));
    }
    return true;
}

// A thread a test started (an upload on its own thread, say) may still be writing files or
// state the next test starts from, and a request it started may still be out. Work blocked on a
// server that never answers is given up on with a note, and the drop that follows ends it.
void letWorkFinish(const testing::TestInfo& test) {
    if (turnMainLoopWhile([] { return thread_activity::atWork() > 0 || NetworkWork::inFlight(); }))
        return;
    std::fprintf(stderr, "note: %s.%s left %d thread(s) at work and %d request(s) out\n",
                 test.test_suite_name(), test.name(), thread_activity::atWork(),
                 NetworkWork::inFlight());
}

class PoolPerTest : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { pool_ = new NSAutoreleasePool(); }
    void OnTestEnd(const testing::TestInfo& test) override {
        letWorkFinish(test);
        delete pool_;
        pool_ = nullptr;
        NSAutoreleasePool pool;  // for what the instances' deallocs autorelease
        resetProcessWideInstances();
        // The drop ends what was still out on the threads it stops: their ends come back to
        // the main loop, delivered before the next test starts.
        turnMainLoopWhile([] { return NetworkWork::inFlight() > 0; });
    }
    NSAutoreleasePool* pool_ = nullptr;
};

std::mutex endLock;
std::vector<std::function<void()>>& endSteps() {
    static std::vector<std::function<void()>> steps;
    return steps;
}

void endProgram() {
    NSAutoreleasePool pool;
    resetProcessWideInstances();
    std::vector<std::function<void()>> steps;
    {
        std::lock_guard<std::mutex> g(endLock);
        steps.swap(endSteps());
    }
    for (auto step = steps.rbegin(); step != steps.rend(); ++step)
        (*step)();
}
}  // namespace

namespace testsupport {
void atProgramEnd(std::function<void()> step) {
    std::lock_guard<std::mutex> g(endLock);
    endSteps().push_back(std::move(step));
}
}  // namespace testsupport

int main(int argc, char** argv) {
    testsandbox::Sandbox sandbox;
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new PoolPerTest());
    int result = RUN_ALL_TESTS();
    endProgram();
    return result;
}
