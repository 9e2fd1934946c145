#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "Foundation/Clock.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSTimer.h"
#include "Foundation/Runtime.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"

namespace {

// What a worker saw, kept outside it so that it can be read after the worker is gone.
struct Seen {
    std::string argument;
    std::atomic<bool> onMain{true};
    std::atomic<bool> done{false};
};

class Worker : public NSObject {
    NS_OBJECT(Worker, NSObject)
    static void describeClass(RuntimeClass& c) { c.method("work:", &Worker::work); }
    void work(NSObject* arg) {
        seen->argument = arg ? arg->description()->utf8() : "nil";
        seen->onMain = NSThread::isMainThread();
        seen->done = true;
    }
    Seen* seen = nullptr;
};

TEST(NSThread, MainAndCurrentThreads) {
    ASSERT_TRUE(NSThread::isMainThread());
    auto main = NSThread::mainThread();
    EXPECT_EQ(NSThread::currentThread().get(), main.get());
    EXPECT_TRUE(main->isMain());
    EXPECT_EQ(NSRunLoop::currentRunLoop().get(), NSRunLoop::mainRunLoop().get());

    Ref<NSThread> seen;
    Ref<NSRunLoop> seenLoop;
    bool seenMain = true;
    std::thread([&] {
        seen = NSThread::currentThread();
        seenMain = NSThread::isMainThread();
        seenLoop = NSRunLoop::currentRunLoop();
        EXPECT_EQ(NSThread::currentThread().get(), seen.get());  // one object per thread
    }).join();
    EXPECT_FALSE(seenMain);
    EXPECT_NE(seen.get(), main.get());
    EXPECT_FALSE(seen->isMain());
    EXPECT_NE(seenLoop.get(), NSRunLoop::mainRunLoop().get());
}

// The answer is kept per thread; a fork makes the forking thread the child's main thread.
TEST(NSThread, TheChildOfAForkIsItsOwnMainThread) {
    ASSERT_TRUE(NSThread::isMainThread());
    int childStatus = -1;
    bool workerWasMain = true;
    std::thread([&] {
        workerWasMain = NSThread::isMainThread();
        pid_t child = ::fork();
        if (child == 0) _exit(NSThread::isMainThread() ? 0 : 1);
        if (child > 0) ::waitpid(child, &childStatus, 0);
        workerWasMain = workerWasMain || NSThread::isMainThread();  // still not, in the parent
    }).join();
    EXPECT_FALSE(workerWasMain);
    ASSERT_TRUE(WIFEXITED(childStatus));
    EXPECT_EQ(WEXITSTATUS(childStatus), 0);
    EXPECT_TRUE(NSThread::isMainThread());
}

TEST(NSThread, DetachedThreadsCallTheirTargetAndRetainIt) {
    Seen seen;
    Weak<Worker> weak;
    {
        auto w = make<Worker>();
        w->seen = &seen;
        weak = w;
        NSThread::detachNewThreadSelector(Selector::named("work:"), w, NS("payload"));
    }  // the thread holds the target while it runs
    while (!seen.done)
        std::this_thread::yield();
    EXPECT_EQ(seen.argument, "payload");
    EXPECT_FALSE(seen.onMain);
    // Released once the thread let go of it.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (weak.alive() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_FALSE(weak.alive());
}

TEST(NSThread, LifecycleAndRestart) {
    std::atomic<bool> go{false};
    auto t = make<NSThread>(&NSThread::initWithBlock, [&] {
        while (!go)
            std::this_thread::yield();
    });
    EXPECT_FALSE(t->isExecuting());
    t->setName(NS("worker"));
    t->start();
    EXPECT_TRUE(t->isExecuting());
    EXPECT_EQ(raisedName([&] { t->start(); }), "NSInvalidArgumentException");
    go = true;
    t->waitUntilFinished();
    EXPECT_TRUE(t->isFinished());
    EXPECT_EQ(t->name()->utf8(), "worker");
    t->threadDictionary()->setObject(NS("v"), NS("k"));
    EXPECT_EQ(text(t->threadDictionary()->objectForKey(NS("k"))), "v");
    EXPECT_TRUE(NSThread::isMultiThreaded());
}

TEST(NSThread, ThreadExitReleasesItsRunLoop) {
    Weak<NSRunLoop> weak;
    auto t = NSThread::detachNewThreadWithBlock([&] { weak = NSRunLoop::currentRunLoop(); });
    t->waitUntilFinished();
    t = nullptr;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (weak.alive() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_FALSE(weak.alive());
}

TEST(NSThread, PerformOnAThreadWaitsForItsLoop) {
    std::atomic<bool> ready{false}, quit{false};
    auto t = NSThread::detachNewThreadWithBlock([&] {
        auto loop = NSRunLoop::currentRunLoop();
        auto keep = RunLoopSource::sourceWithHandler(nullptr);
        loop->addSource(keep, NSDefaultRunLoopMode);
        ready = true;
        while (!quit)
            loop->runMode(NSDefaultRunLoopMode, NSDate::distantFuture());
        keep->invalidate();
    });
    while (!ready)
        std::this_thread::yield();
    Seen seen;
    auto w = make<Worker>();
    w->seen = &seen;
    w->performSelector(Selector::named("work:"), t.get(), NS("there"), true);
    EXPECT_TRUE(seen.done);  // waited until it ran
    EXPECT_EQ(seen.argument, "there");
    EXPECT_FALSE(seen.onMain);
    t->runLoop()->performOnLoop([&] { quit = true; }, true, nullptr);
    t->waitUntilFinished();
}

TEST(NSThread, SleepFollowsTheManualClock) {
    ManualClockScope clock;
    std::atomic<bool> woke{false};
    auto until = NSDate::dateWithTimeIntervalSinceNow(10);
    auto t = NSThread::detachNewThreadWithBlock([&] {
        NSThread::sleepUntilDate(until);
        woke = true;
    });
    Clock::advance(4);
    std::this_thread::yield();
    EXPECT_FALSE(woke);
    Clock::advance(6);
    t->waitUntilFinished();
    EXPECT_TRUE(woke);
}

TEST(NSThread, TimersOnAWorkerFollowTheManualClock) {
    ManualClockScope clock;
    std::atomic<int> fired{0};
    std::atomic<bool> ready{false};
    auto t = NSThread::detachNewThreadWithBlock([&] {
        auto loop = NSRunLoop::currentRunLoop();
        NSTimer::scheduledTimerWithTimeInterval(5, false, [&](NSTimer*) { ++fired; });
        ready = true;
        loop->runMode(NSDefaultRunLoopMode, NSDate::distantFuture());
    });
    while (!ready)
        std::this_thread::yield();
    Clock::advance(4);
    EXPECT_EQ(fired.load(), 0);
    Clock::advance(1);       // the worker's loop wakes on the clock and fires
    t->waitUntilFinished();  // its only timer is gone, so its run ends
    EXPECT_EQ(fired.load(), 1);
}

}  // namespace
