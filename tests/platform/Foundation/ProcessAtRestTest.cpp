// Whether the whole process is at rest, as tests on the manual clock ask before moving the clock
// on without waiting in real time.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <future>
#include <set>

#include "Foundation/Clock.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NetworkWork.h"
#include "support/RunLoopTesting.h"

namespace {

bool atRest(NSTimeInterval* next = nullptr) {
    NSTimeInterval ignored = 0;
    return NSRunLoop::processAtRest(NSRunLoop::currentRunLoop().get(), NSDefaultRunLoopMode,
                                    next ? next : &ignored);
}

// Waits in real time for the process to come to rest (other threads finishing what they do).
bool cameToRest(NSTimeInterval* next = nullptr) {
    return runLoopUntil([&] { return atRest(next); });
}

// A thread of the platform running its own loop, kept alive by a source until stopped.
class Worker {
public:
    Worker() {
        thread_ = NSThread::detachNewThreadWithBlock([this] {
            loop_ = NSRunLoop::currentRunLoop();
            keepAlive_ = RunLoopSource::sourceWithHandler(nullptr);
            loop_->addSource(keepAlive_, NSDefaultRunLoopMode);
            started_.set_value();
            while (!quit_.load())
                loop_->runInMode(NSDefaultRunLoopMode, 1e9, true);
        });
        started_.get_future().wait();
    }
    ~Worker() {
        loop_->performBlock([this] { quit_.store(true); });
        thread_->waitUntilFinished();
        keepAlive_->invalidate();
    }
    NSRunLoop* loop() { return loop_.get(); }

private:
    Ref<NSThread> thread_;
    Ref<NSRunLoop> loop_;
    Ref<RunLoopSource> keepAlive_;
    std::promise<void> started_;
    std::atomic<bool> quit_{false};
};

class ProcessAtRestTest : public testing::Test {
protected:
    ManualClockScope clock_;
};

TEST_F(ProcessAtRestTest, AnIdleWorkerIsAtRestAndItsTimerIsTheNextWake) {
    Worker worker;
    NSTimeInterval next = 0;
    ASSERT_TRUE(cameToRest(&next));
    EXPECT_TRUE(std::isinf(next));

    // A timer the worker schedules for itself, 100 s on.
    std::atomic<bool> fired{false};
    const NSTimeInterval due = Clock::now() + 100;
    worker.loop()->performBlock([&] {
        auto timer = NSTimer::timerWithTimeInterval(100, false, [&](NSTimer*) { fired = true; });
        NSRunLoop::currentRunLoop()->addTimer(timer, NSDefaultRunLoopMode);
    });
    ASSERT_TRUE(cameToRest(&next));
    EXPECT_DOUBLE_EQ(next, due);

    // Once the clock reaches it, the worker has work until it has fired the timer.
    Clock::setNow(due);
    ASSERT_TRUE(cameToRest(&next));
    EXPECT_TRUE(fired.load());
}

TEST_F(ProcessAtRestTest, WorkInFlightOrQueuedOrRunningIsNotRest) {
    Worker worker;
    ASSERT_TRUE(cameToRest());

    // Network work counts until it ends.
    uint64_t ticket = NetworkWork::begin("GET http://example.test/");
    EXPECT_FALSE(atRest());
    NetworkWork::end(ticket);
    EXPECT_TRUE(atRest());

    // A perform the worker is running: its thread is at work.
    std::promise<void> entered, release;
    worker.loop()->performBlock([&] {
        entered.set_value();
        release.get_future().wait();
    });
    entered.get_future().wait();
    EXPECT_FALSE(atRest());
    // Work queued behind it is not rest either, even once the thread waits again.
    release.set_value();
    ASSERT_TRUE(cameToRest());

    // A perform queued for this thread's own loop is work ready here.
    NSRunLoop::currentRunLoop()->performBlock([] {});
    EXPECT_FALSE(atRest());
    NSRunLoop::currentRunLoop()->runInMode(NSDefaultRunLoopMode, 0, false);
    EXPECT_TRUE(atRest());
}

TEST_F(ProcessAtRestTest, ASleepingThreadRestsUntilItsTime) {
    const NSTimeInterval wake = Clock::now() + 30;
    std::atomic<bool> awake{false};
    auto sleeper = NSThread::detachNewThreadWithBlock([&] {
        NSThread::sleepUntilDate(NSDate::dateWithTimeIntervalSinceReferenceDate(wake));
        awake = true;
    });
    // From its start the thread is at work, until it sleeps.
    NSTimeInterval next = 0;
    ASSERT_TRUE(cameToRest(&next));
    EXPECT_DOUBLE_EQ(next, wake);
    EXPECT_FALSE(awake.load());
    Clock::setNow(wake);
    ASSERT_TRUE(cameToRest());
    sleeper->waitUntilFinished();
    EXPECT_TRUE(awake.load());
}

TEST_F(ProcessAtRestTest, AdvancingUntilDoneJumpsToTheNextDueTimeWhileAtRest) {
    Worker worker;
    std::atomic<bool> fired{false};
    worker.loop()->performBlock([&] {
        auto timer = NSTimer::timerWithTimeInterval(100, false, [&](NSTimer*) { fired = true; });
        NSRunLoop::currentRunLoop()->addTimer(timer, NSDefaultRunLoopMode);
    });
    ASSERT_TRUE(cameToRest());
    const NSTimeInterval start = Clock::now();
    // Every time the condition is asked, the clock it sees: at rest the clock goes straight to
    // the worker's timer instead of through two thousand steps of 0.05 s.
    std::set<NSTimeInterval> seen;
    EXPECT_TRUE(advanceRunLoopUntil(
        [&] {
            seen.insert(Clock::now());
            return fired.load();
        },
        0.05, 4000));
    EXPECT_DOUBLE_EQ(Clock::now(), start + 100);
    EXPECT_LE(seen.size(), 3u);

    // With nothing due at all, the budget runs out at once and the answer is false.
    EXPECT_FALSE(advanceRunLoopUntil([] { return false; }, 0.05, 400));
    EXPECT_DOUBLE_EQ(Clock::now(), start + 120);
}

}  // namespace
