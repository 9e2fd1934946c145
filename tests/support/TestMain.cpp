// Test programs run with a release pool around each test, so that objects a test autoreleases
// are gone (and checked by the leak detector) before the next one starts, let the threads a test
// started finish their work, and drop every process-wide instance after it, so that no test
// depends on what an earlier one left behind. Each program runs in a sandbox of its own
// (support/Sandbox.h), removed at exit, so that tests never touch a user's data. Once the tests
// are over, every thread they left running (a shared server's, the network thread) is ended and
// joined before the process exits, so that the leak check at exit sees only what was lost.
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "Foundation/NSObject.h"
#include "Foundation/ProcessWide.h"
#include "support/ProgramEnd.h"
#include "support/Sandbox.h"
#include "support/TestWork.h"

namespace {
class PoolPerTest : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { pool_ = new NSAutoreleasePool(); }
    void OnTestEnd(const testing::TestInfo& test) override {
        // A thread a test started (an upload on its own thread, say) may still be writing files
        // or state the next test starts from, and a request it started may still be out.
        std::string who = std::string(test.test_suite_name()) + "." + test.name();
        testsupport::letWorkFinish(who);
        delete pool_;
        pool_ = nullptr;
        // The drop ends what was still out on the threads it stops: their ends come back to
        // the main loop, delivered before the next test starts.
        testsupport::dropProcessWideInstances(who);
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
