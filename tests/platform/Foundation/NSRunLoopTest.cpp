#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSLock.h"
#include "Foundation/NSOperation.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSTimer.h"
#include "Foundation/Runtime.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"

namespace {

NSString* const kPrivateMode = NS("TestPrivateRunLoopMode");

// A target whose methods the run loop calls by name.
class Recorder : public NSObject {
    NS_OBJECT(Recorder, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("tick:", &Recorder::tick).method("note:", &Recorder::note);
    }
    void tick(NSTimer* t) {
        times.push_back(Clock::now());
        if (stopAfter && times.size() >= stopAfter) t->invalidate();
    }
    void note(NSObject* o) { notes.push_back(o ? o->description()->utf8() : "nil"); }
    std::vector<NSTimeInterval> times;
    std::vector<std::string> notes;
    size_t stopAfter = 0;
};

class RunLoopTest : public testing::Test {
protected:
    ManualClockScope clock;
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    NSTimeInterval t0 = Clock::now();
};

TEST_F(RunLoopTest, TimersFireInOrderOnTheVirtualClock) {
    std::vector<std::pair<int, NSTimeInterval>> fired;
    auto add = [&](int id, NSTimeInterval after) {
        NSTimer::scheduledTimerWithTimeInterval(
            after, false, [&fired, id](NSTimer*) { fired.emplace_back(id, Clock::now()); });
    };
    add(3, 3.0);
    add(1, 1.0);
    add(2, 2.0);
    add(4, 10.0);
    advanceRunLoop(5.0);
    ASSERT_EQ(fired.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(fired[i].first, i + 1);
        EXPECT_DOUBLE_EQ(fired[i].second, t0 + i + 1);  // each reads its own fire time
    }
    advanceRunLoop(5.0);
    ASSERT_EQ(fired.size(), 4u);
    EXPECT_EQ(fired[3].first, 4);
}

TEST_F(RunLoopTest, RepeatingTimersKeepTheirScheduleAndSkipMissedFires) {
    auto r = make<Recorder>();
    auto timer =
        NSTimer::scheduledTimerWithTimeInterval(1.0, r, Selector::named("tick:"), nullptr, true);
    advanceRunLoop(3.0);
    ASSERT_EQ(r->times.size(), 3u);
    EXPECT_DOUBLE_EQ(r->times[2], t0 + 3);
    // The loop did not run for 3.5 seconds: one late fire, then back on the grid.
    Clock::advance(3.5);
    loop->runInMode(NSDefaultRunLoopMode, 0, false);
    EXPECT_EQ(r->times.size(), 4u);
    EXPECT_DOUBLE_EQ(timer->fireDate()->timeIntervalSinceReferenceDate(), t0 + 7);
    timer->invalidate();
    advanceRunLoop(5.0);
    EXPECT_EQ(r->times.size(), 4u);
}

TEST_F(RunLoopTest, TimersHoldTheirTargetUntilInvalidated) {
    Weak<Recorder> weak;
    Ref<NSTimer> timer;
    {
        auto r = make<Recorder>();
        weak = r;
        timer = NSTimer::scheduledTimerWithTimeInterval(1.0, r, Selector::named("tick:"), nullptr,
                                                        true);
    }
    advanceRunLoop(1.0);
    ASSERT_TRUE(weak.alive());
    EXPECT_EQ(weak.lock()->times.size(), 1u);
    // A one-shot timer lets go once it fired; a repeating one when invalidated, from any thread.
    std::thread([timer] { timer->invalidate(); }).join();
    EXPECT_FALSE(weak.alive());
    EXPECT_FALSE(timer->isValid());
    advanceRunLoop(3.0);
}

TEST_F(RunLoopTest, ATimerInvalidatingItselfStopsAtOnce) {
    auto r = make<Recorder>();
    r->stopAfter = 2;
    NSTimer::scheduledTimerWithTimeInterval(0.5, r, Selector::named("tick:"), nullptr, true);
    advanceRunLoop(5.0);
    EXPECT_EQ(r->times.size(), 2u);
}

TEST_F(RunLoopTest, ModesDecideWhatRuns) {
    int defaultFires = 0, privateFires = 0, commonFires = 0;
    loop->addTimer(NSTimer::timerWithTimeInterval(1.0, false, [&](NSTimer*) { ++defaultFires; }),
                   NSDefaultRunLoopMode);
    loop->addTimer(NSTimer::timerWithTimeInterval(1.0, false, [&](NSTimer*) { ++privateFires; }),
                   kPrivateMode);
    loop->addTimer(NSTimer::timerWithTimeInterval(1.0, false, [&](NSTimer*) { ++commonFires; }),
                   NSRunLoopCommonModes);
    advanceRunLoop(2.0, kPrivateMode);
    EXPECT_EQ(defaultFires, 0);
    EXPECT_EQ(privateFires, 1);
    EXPECT_EQ(commonFires, 0);  // the private mode is not a common mode
    advanceRunLoop(0.0);
    EXPECT_EQ(defaultFires, 1);
    EXPECT_EQ(commonFires, 1);

    // Making a mode common lets it serve the common items.
    // A fresh name each time: the main thread's loop outlives the test.
    static int uses = 0;
    auto tracking = NSString::stringWithFormat(NS("TestTrackingRunLoopMode%d"), ++uses);
    bool ran = false;
    loop->performBlock([&] { ran = true; });
    EXPECT_EQ(loop->runInMode(tracking, 0, true), NSRunLoop::RunFinished);
    loop->addCommonMode(tracking);
    loop->runInMode(tracking, 0, true);
    EXPECT_TRUE(ran);
}

TEST_F(RunLoopTest, RunModeAnswersNoForAModeWithNothing) {
    EXPECT_FALSE(loop->runMode(NS("NothingHereMode"), NSDate::distantFuture()));
    EXPECT_EQ(loop->runInMode(NS("NothingHereMode"), 10, true), NSRunLoop::RunFinished);
    EXPECT_EQ(loop->currentMode(), nullptr);
}

TEST_F(RunLoopTest, RunModeReturnsAfterOneHandledSource) {
    int runs = 0;
    auto source = RunLoopSource::sourceWithHandler([&] { ++runs; });
    loop->addSource(source, NSDefaultRunLoopMode);
    std::thread([source] { source->signal(); }).join();
    EXPECT_TRUE(loop->runMode(NSDefaultRunLoopMode, NSDate::distantFuture()));
    EXPECT_EQ(runs, 1);
    // An unsignalled source keeps the mode alive: with a limit in the past the run times out.
    EXPECT_EQ(loop->runInMode(NSDefaultRunLoopMode, 0, true), NSRunLoop::RunTimedOut);
    source->invalidate();
    EXPECT_EQ(loop->runInMode(NSDefaultRunLoopMode, 0, true), NSRunLoop::RunFinished);
}

TEST_F(RunLoopTest, StopEndsTheInnermostRun) {
    auto keepAlive = RunLoopSource::sourceWithHandler(nullptr);
    loop->addSource(keepAlive, NSDefaultRunLoopMode);
    // From another thread while the loop waits: on the manual clock it would wait forever.
    std::thread stopper([l = loop] {
        while (!l->isWaiting())
            std::this_thread::yield();
        l->stop();
    });
    EXPECT_EQ(loop->runInMode(NSDefaultRunLoopMode, 1e9, false), NSRunLoop::RunStopped);
    stopper.join();
    // From a callout of the loop itself.
    loop->performBlock([l = loop] { l->stop(); });
    EXPECT_EQ(loop->runInMode(NSDefaultRunLoopMode, 1e9, false), NSRunLoop::RunStopped);
    keepAlive->invalidate();
}

TEST_F(RunLoopTest, CrossThreadPostsRunInOrder) {
    std::vector<int> order;
    std::thread poster([l = loop, &order] {
        for (int i = 0; i < 200; ++i)
            l->performBlock([&order, i] { order.push_back(i); });
    });
    poster.join();
    ASSERT_TRUE(runLoopUntil([&] { return order.size() == 200; }));
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(order[i], i);
}

TEST_F(RunLoopTest, WaitingPostsBlockUntilRunAndRunInlineOnTheOwnThread) {
    bool inline_ = false;
    loop->performOnLoop([&] { inline_ = true; }, true, nullptr);
    EXPECT_TRUE(inline_);

    // A worker with its own loop serves a waiting post from this thread.
    std::atomic<bool> quit{false};
    Ref<NSRunLoop> workerLoop;
    std::atomic<bool> ready{false};
    auto worker = NSThread::detachNewThreadWithBlock([&] {
        workerLoop = NSRunLoop::currentRunLoop();
        auto keep = RunLoopSource::sourceWithHandler(nullptr);
        workerLoop->addSource(keep, NSDefaultRunLoopMode);
        ready = true;
        while (!quit)
            workerLoop->runMode(NSDefaultRunLoopMode, NSDate::distantFuture());
        keep->invalidate();
    });
    while (!ready)
        std::this_thread::yield();
    bool ranThere = false;
    bool onWorker = false;
    workerLoop->performOnLoop(
        [&] {
            ranThere = true;
            onWorker = !NSThread::isMainThread();
        },
        true, nullptr);
    EXPECT_TRUE(ranThere);  // the wait returned only after the block ran
    EXPECT_TRUE(onWorker);
    workerLoop->performOnLoop([&] { quit = true; }, true, nullptr);
    worker->waitUntilFinished();
}

TEST_F(RunLoopTest, NestedPrivateModeRunsServeOnlyTheirMode) {
    std::vector<std::string> log;
    loop->performBlock([&] {
        log.push_back("outer");
        // A synchronous job runs the loop in its own mode: default-mode work must wait.
        loop->performBlock([&] { log.push_back("default"); },
                           NSArray::arrayWithObject(NSDefaultRunLoopMode));
        loop->performBlock([&] { log.push_back("private"); },
                           NSArray::arrayWithObject(kPrivateMode));
        EXPECT_EQ(loop->currentMode()->utf8(), "kCFRunLoopDefaultMode");
        loop->runInMode(kPrivateMode, 0, true);
        log.push_back("inner done");
    });
    loop->runInMode(NSDefaultRunLoopMode, 0, true);
    loop->runInMode(NSDefaultRunLoopMode, 0, true);
    std::vector<std::string> want = {"outer", "private", "inner done", "default"};
    EXPECT_EQ(log, want);
}

TEST_F(RunLoopTest, APerformThatRunsTheLoopFindsThePerformsQueuedBehindIt) {
    std::vector<std::string> log;
    loop->performBlock([&] {
        log.push_back("session");
        // Runs the loop until the later perform has run, as a modal session does.
        for (int i = 0; i < 10 && log.size() < 2; ++i)
            loop->runInMode(NSDefaultRunLoopMode, 0, true);
        log.push_back(log.size() == 2 ? "saw launch" : "starved");
    });
    loop->performBlock([&] { log.push_back("launch"); });
    loop->runInMode(NSDefaultRunLoopMode, 0, true);
    std::vector<std::string> want = {"session", "launch", "saw launch"};
    EXPECT_EQ(log, want);
    // Performs still keep their order, and one queued by a perform waits for the next pass.
    log.clear();
    loop->performBlock([&] {
        log.push_back("a");
        loop->performBlock([&] { log.push_back("c"); });
    });
    loop->performBlock([&] { log.push_back("b"); });
    loop->runInMode(NSDefaultRunLoopMode, 0, true);
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b"}));
    loop->runInMode(NSDefaultRunLoopMode, 0, true);
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(RunLoopTest, WorkTheLoopsOwnThreadAddsIsServedWithoutWaiting) {
    std::vector<std::string> log;
    auto source = RunLoopSource::sourceWithHandler([&] { log.push_back("source"); });
    loop->addSource(source, NSDefaultRunLoopMode);
    loop->performBlock([&] {
        log.push_back("first");
        loop->performBlock([&] {
            log.push_back("second");
            source->signal();
            loop->performBlock([&] {
                log.push_back("third");
                loop->stop();
            });
        });
    });
    // Should the loop wait for a wake that its own thread never sent, this one ends the wait.
    std::atomic<bool> finished{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 500 && !finished; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!finished) loop->stop();
    });
    auto started = std::chrono::steady_clock::now();
    auto result = loop->runInMode(NSDefaultRunLoopMode, 1e6, false);
    auto took = std::chrono::steady_clock::now() - started;
    finished = true;
    watchdog.join();
    loop->removeSource(source, NSDefaultRunLoopMode);
    EXPECT_EQ(result, NSRunLoop::RunStopped);
    EXPECT_EQ(log, (std::vector<std::string>{"first", "second", "source", "third"}));
    EXPECT_LT(took, std::chrono::seconds(2));
}

TEST_F(RunLoopTest, DescriptorSourcesFireOnInput) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::string got;
    auto source = RunLoopDescriptorSource::sourceWithDescriptor(fds[0], POLLIN, [&](short ev) {
        EXPECT_TRUE(ev & POLLIN);
        char buf[16];
        ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<size_t>(n));
    });
    loop->addSource(source, NSDefaultRunLoopMode);
    std::thread([w = fds[1]] { (void)!::write(w, "ping", 4); }).join();
    EXPECT_TRUE(runLoopUntil([&] { return got == "ping"; }));
    source->invalidate();
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST_F(RunLoopTest, DelayedPerformsAndTheirCancellation) {
    auto r = make<Recorder>();
    SEL note = Selector::named("note:");
    r->performSelector(note, NS("a"), 1.0);
    r->performSelector(note, NS("b"), 2.0);
    r->performSelector(note, str("b"), 3.0);  // an equal argument, another object
    r->performSelector(note, NS("c"), 0.0);
    advanceRunLoop(0.0);
    EXPECT_EQ(r->notes, std::vector<std::string>{"c"});
    // Cancelling by selector and an equal argument drops both "b" requests, not "a".
    NSObject::cancelPreviousPerformRequestsWithTarget(r, note, NS("b"));
    advanceRunLoop(5.0);
    EXPECT_EQ(r->notes, (std::vector<std::string>{"c", "a"}));

    r->performSelector(note, NS("d"), 1.0);
    r->performSelector(note, nullptr, 1.0);
    NSObject::cancelPreviousPerformRequestsWithTarget(r);
    advanceRunLoop(5.0);
    EXPECT_EQ(r->notes.size(), 2u);
}

TEST_F(RunLoopTest, DelayedPerformsKeepTheTargetAlive) {
    Weak<Recorder> weak;
    {
        auto r = make<Recorder>();
        weak = r;
        r->performSelector(Selector::named("note:"), NS("x"), 1.0);
    }
    EXPECT_TRUE(weak.alive());
    advanceRunLoop(1.0);
    EXPECT_FALSE(weak.alive());
}

TEST_F(RunLoopTest, MainThreadPerformsWithWaitRunInline) {
    ASSERT_TRUE(NSThread::isMainThread());
    auto r = make<Recorder>();
    r->performSelectorOnMainThread(Selector::named("note:"), NS("now"), true);
    EXPECT_EQ(r->notes, std::vector<std::string>{"now"});
    // Without waiting the call is queued, even on the main thread.
    r->performSelectorOnMainThread(Selector::named("note:"), NS("later"), false);
    EXPECT_EQ(r->notes.size(), 1u);
    EXPECT_TRUE(runLoopUntil([&] { return r->notes.size() == 2; }));

    // From another thread: queued in order, the receiver kept alive until it ran.
    std::thread([r] {
        for (const char* s : {"1", "2", "3"})
            r->performSelectorOnMainThread(Selector::named("note:"), str(s), false);
    }).join();
    EXPECT_TRUE(runLoopUntil([&] { return r->notes.size() == 5; }));
    EXPECT_EQ(r->notes[2], "1");
    EXPECT_EQ(r->notes[4], "3");
}

TEST_F(RunLoopTest, EachPassDrainsItsReleasePool) {
    Weak<NSObject> weak;
    loop->performBlock([&] {
        auto o = make<Recorder>();
        o->autorelease();
        weak = o.get();
    });
    loop->runInMode(NSDefaultRunLoopMode, 0, true);
    EXPECT_FALSE(weak.alive());
}

TEST_F(RunLoopTest, AThrowingCalloutLeavesTheLoopUsable) {
    bool later = false;
    loop->performBlock([] { NSException::raise(NSGenericException, NS("boom")); });
    loop->performBlock([&] { later = true; });
    EXPECT_THROW(loop->runInMode(NSDefaultRunLoopMode, 0, true), ExceptionRaised);
    EXPECT_EQ(loop->currentMode(), nullptr);
    loop->runInMode(NSDefaultRunLoopMode, 0, true);
    EXPECT_TRUE(later);  // what was queued after the failing block still runs
}

TEST_F(RunLoopTest, TheMainQueueRunsOnTheMainLoop) {
    std::atomic<int> ran{0};
    bool onMain = false;
    std::thread([&] {
        auto queue = NSOperationQueue::mainQueue();
        queue->addOperationWithBlock([&] {
            onMain = NSThread::isMainThread();
            ++ran;
        });
        queue->addOperationWithBlock([&] { ++ran; });
    }).join();
    EXPECT_EQ(ran.load(), 0);  // nothing runs until the main loop does
    EXPECT_TRUE(runLoopUntil([&] { return ran.load() == 2; }));
    EXPECT_TRUE(onMain);
    EXPECT_EQ(NSOperationQueue::mainQueue()->operationCount(), 0u);
}

// ---- handing work to other threads ------------------------------------------------------------

// A thread that runs its own loop until the object goes away.
class LoopThread {
public:
    LoopThread() {
        thread_ = NSThread::detachNewThreadWithBlock([this] {
            Ref<NSRunLoop> own = NSRunLoop::currentRunLoop();
            auto keep = RunLoopSource::sourceWithHandler(nullptr);
            own->addSource(keep, NSDefaultRunLoopMode);
            {
                std::lock_guard<std::mutex> g(mutex_);
                loop_ = own;
            }
            ready_.notify_all();
            while (!quit_)
                own->runMode(NSDefaultRunLoopMode, NSDate::distantFuture());
            keep->invalidate();
        });
        std::unique_lock<std::mutex> g(mutex_);
        ready_.wait(g, [this] { return loop_ != nullptr; });
    }
    ~LoopThread() {
        loop_->performOnLoop([this] { quit_ = true; }, true, nullptr);
        thread_->waitUntilFinished();
    }
    NSRunLoop* loop() { return loop_.get(); }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    Ref<NSRunLoop> loop_;
    std::atomic<bool> quit_{false};
    Ref<NSThread> thread_;
};

// Set on one thread, awaited on another with plain primitives, so that waiting for it does
// not itself wake any run loop.
class Flag {
public:
    void set() {
        std::lock_guard<std::mutex> g(mutex_);
        set_ = true;
        changed_.notify_all();
    }
    bool waitFor(double realSeconds) {
        std::unique_lock<std::mutex> g(mutex_);
        return changed_.wait_for(g, std::chrono::duration<double>(realSeconds),
                                 [this] { return set_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
};

// Waits (with plain primitives) until the loop's thread is blocked waiting for work.
bool waitUntilBlocked(NSRunLoop* l) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!l->isWaiting()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::yield();
    }
    return true;
}

TEST_F(RunLoopTest, WorkForABlockedLoopWakesItAndWorkForABusyOneCostsNoWakeUp) {
    LoopThread other;
    NSRunLoop* there = other.loop();

    // Blocked: the descriptor is written once, and the work runs.
    ASSERT_TRUE(waitUntilBlocked(there));
    uint64_t before = there->descriptorWakeUps();
    Flag first;
    there->performBlock([&] { first.set(); });
    EXPECT_TRUE(first.waitFor(5.0));
    EXPECT_EQ(there->descriptorWakeUps(), before + 1);

    // Busy in a callout: work handed over meanwhile writes nothing, yet runs before the loop
    // waits again (with nothing else to wake it, it would never run).
    Flag inside, go, second;
    there->performBlock([&] {
        inside.set();
        go.waitFor(5.0);
    });
    ASSERT_TRUE(inside.waitFor(5.0));
    uint64_t busy = there->descriptorWakeUps();
    there->performBlock([&] { second.set(); });
    go.set();
    EXPECT_TRUE(second.waitFor(5.0));
    EXPECT_EQ(there->descriptorWakeUps(), busy);

    // Blocked again afterwards: the general path still wakes it.
    ASSERT_TRUE(waitUntilBlocked(there));
    Flag third;
    before = there->descriptorWakeUps();
    there->performBlock([&] { third.set(); });
    EXPECT_TRUE(third.waitFor(5.0));
    EXPECT_EQ(there->descriptorWakeUps(), before + 1);
}

TEST_F(RunLoopTest, WorkQueuedWithoutAWakeUpRunsWithTheNextWorkThatWakesTheLoop) {
    LoopThread other;
    NSRunLoop* there = other.loop();
    ASSERT_TRUE(waitUntilBlocked(there));
    std::vector<int> order;
    std::mutex orderLock;
    auto note = [&](int i) {
        std::lock_guard<std::mutex> g(orderLock);
        order.push_back(i);
    };
    uint64_t before = there->descriptorWakeUps();
    there->performBlockWithoutWakeUp([&] { note(1); }, nullptr);
    there->performBlockWithoutWakeUp([&] { note(2); }, nullptr);
    // Nothing woke the loop: it still waits, with the two queued.
    EXPECT_TRUE(there->isWaiting());
    EXPECT_EQ(there->descriptorWakeUps(), before);
    {
        std::lock_guard<std::mutex> g(orderLock);
        EXPECT_TRUE(order.empty());
    }
    Flag done;
    there->performBlock([&] {
        note(3);
        done.set();
    });
    EXPECT_TRUE(done.waitFor(5.0));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(there->descriptorWakeUps(), before + 1);
}

TEST_F(RunLoopTest, WorkQueuedByACalloutForAnotherLoopRunsThereOnceThePassEnds) {
    LoopThread other;
    Flag ran;
    std::atomic<int> runs{0};
    loop->performBlock([&] {
        // Several pieces queued in one callout: all of them run, in order, on the other thread.
        for (int i = 0; i < 3; ++i) {
            other.loop()->performBlock([&, i] {
                if (runs.fetch_add(1) == i && i == 2) ran.set();
            });
        }
    });
    EXPECT_EQ(loop->runInMode(NSDefaultRunLoopMode, 0, true), NSRunLoop::RunHandledSource);
    // This thread runs no loop now: only the end of the pass can have woken the other one.
    EXPECT_TRUE(ran.waitFor(5.0));
    EXPECT_EQ(runs.load(), 3);
}

TEST_F(RunLoopTest, ACalloutQueuingWorkForItsOwnLoopRunsItWithoutAnotherWakeUp) {
    // A mode of its own, with no timers that would end the wait anyway.
    Ref<NSArray> modes = NSArray::arrayWithObjects({kPrivateMode});
    bool second = false;
    loop->performBlock(
        [&] {
            loop->performBlock(
                [&] {
                    second = true;
                    loop->stop();
                },
                modes);
        },
        modes);
    loop->waitForWork(kPrivateMode, 0);  // takes up the wake-up of that first post
    // On the manual clock nothing else would end the wait before the second block.
    EXPECT_EQ(loop->runInMode(kPrivateMode, 1e9, false), NSRunLoop::RunStopped);
    EXPECT_TRUE(second);
}

TEST_F(RunLoopTest, PostsFromAnotherThreadWhileTheLoopRunsAllArrive) {
    constexpr int kPosts = 5000;
    std::atomic<int> runs{0};
    std::thread poster([l = loop, &runs] {
        for (int i = 0; i < kPosts; ++i)
            l->performBlock([&runs] { ++runs; });
    });
    EXPECT_TRUE(runLoopUntil([&] { return runs.load() == kPosts; }, 10.0));
    poster.join();
    EXPECT_EQ(runs.load(), kPosts);
}

// A callout that blocks on something only the other thread's queued work can give it must
// not keep that thread asleep. Real clock, so that a lost wake-up fails instead of hanging.
TEST(RunLoopHandOffTest, ACalloutThatBlocksFirstWakesTheLoopsItQueuedWorkFor) {
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    LoopThread other;

    // A condition signalled by the queued work.
    auto condition = make<NSCondition>();
    bool signalled = false, gotSignal = false;
    loop->performBlock([&] {
        other.loop()->performBlock([&] {
            condition->lock();
            signalled = true;
            condition->signal();
            condition->unlock();
        });
        condition->lock();
        while (!signalled && condition->waitUntilDate(NSDate::dateWithTimeIntervalSinceNow(5.0))) {
        }
        gotSignal = signalled;
        condition->unlock();
    });
    loop->runInMode(NSDefaultRunLoopMode, 0, true);
    EXPECT_TRUE(gotSignal);

    // A lock that the queued work lets go of.
    auto lock = make<NSLock>();
    other.loop()->performOnLoop([&] { lock->lock(); }, true, nullptr);
    bool took = false;
    loop->performBlock([&] {
        other.loop()->performBlock([&] { lock->unlock(); });
        took = lock->lockBeforeDate(NSDate::dateWithTimeIntervalSinceNow(5.0));
        if (took) lock->unlock();
    });
    loop->runInMode(NSDefaultRunLoopMode, 0, true);
    EXPECT_TRUE(took);

    // A waiting post.
    bool ranThere = false;
    loop->performBlock([&] {
        other.loop()->performBlock([] {});
        other.loop()->performOnLoop([&] { ranThere = true; }, true, nullptr);
    });
    loop->runInMode(NSDefaultRunLoopMode, 0, true);
    EXPECT_TRUE(ranThere);
}

}  // namespace
