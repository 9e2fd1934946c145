#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSOperation.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "tests/support/FoundationTesting.h"

namespace {

using Events = std::vector<std::string>;

// What operations did, and a way to wait for a state the workers reach. The time limit only
// keeps a broken build from hanging; nothing measures time.
struct Board {
    std::mutex mutex;
    std::condition_variable changed;
    Events events;
    int holding = 0, maxHolding = 0;
    bool gate = false;

    void note(const std::string& e, int holdingChange = 0) {
        std::lock_guard<std::mutex> g(mutex);
        events.push_back(e);
        holding += holdingChange;
        maxHolding = std::max(maxHolding, holding);
        changed.notify_all();
    }
    template <class P>
    bool waitFor(P pred) {
        std::unique_lock<std::mutex> lk(mutex);
        return changed.wait_for(lk, std::chrono::seconds(20), pred);
    }
    void open() {
        std::lock_guard<std::mutex> g(mutex);
        gate = true;
        changed.notify_all();
    }
    Events snapshot() {
        std::lock_guard<std::mutex> g(mutex);
        return events;
    }
};

Ref<NSBlockOperation> noting(Board& b, std::string name) {
    return NSBlockOperation::blockOperationWithBlock([&b, name] { b.note(name); });
}

// A concurrent operation as the HTTP engine's requests are: start() only begins the work, and
// finish() (from any thread) announces the end.
class RemoteOp : public NSOperation {
    NS_OBJECT(RemoteOp, NSOperation)
    bool isConcurrent() override { return true; }
    bool isExecuting() override { return executing; }
    bool isFinished() override { return finished; }
    void start() override {
        willChangeValueForKey(NS("isExecuting"));
        executing = true;
        didChangeValueForKey(NS("isExecuting"));
        startedOn = std::this_thread::get_id();
        startedIn = NSOperationQueue::currentQueue().get();
        board->note("start " + tag, +1);
    }
    void finish() {
        board->note("finish " + tag, -1);
        willChangeValueForKey(NS("isFinished"));
        willChangeValueForKey(NS("isExecuting"));
        executing = false;
        finished = true;
        didChangeValueForKey(NS("isExecuting"));
        didChangeValueForKey(NS("isFinished"));
    }
    std::atomic<bool> executing{false}, finished{false};
    Board* board = nullptr;
    std::string tag;
    std::thread::id startedOn;
    NSOperationQueue* startedIn = nullptr;
};

// Adds `count` concurrent operations tagged 0, 1, ... to the queue, in that order.
std::vector<Ref<RemoteOp>> addRemoteOps(Board& b, NSOperationQueue* q, int count) {
    std::vector<Ref<RemoteOp>> ops;
    for (int i = 0; i < count; ++i) {
        ops.push_back(make<RemoteOp>());
        ops.back()->board = &b;
        ops.back()->tag = std::to_string(i);
        q->addOperation(ops.back());
    }
    return ops;
}

// Records the announcements the base class makes.
class AnnouncingOp : public NSOperation {
    NS_OBJECT(AnnouncingOp, NSOperation)
    void main() override { log.push_back("main"); }
    void willChangeValueForKey(NSString* key) override {
        log.push_back("will " + key->utf8());
        NSOperation::willChangeValueForKey(key);
    }
    void didChangeValueForKey(NSString* key) override {
        log.push_back("did " + key->utf8());
        NSOperation::didChangeValueForKey(key);
    }
    Events log;
};

TEST(NSOperationQueueTest, RunsOnWorkersAndReportsCompletion) {
    auto q = make<NSOperationQueue>();
    EXPECT_FALSE(NSOperationQueue::currentQueue());
    std::thread::id worker;
    NSOperationQueue* seenQueue = nullptr;
    bool completed = false;
    auto op = NSBlockOperation::blockOperationWithBlock([&] {
        worker = std::this_thread::get_id();
        seenQueue = NSOperationQueue::currentQueue().get();
    });
    op->setCompletionBlock([&] { completed = true; });
    q->addOperation(op);
    op->waitUntilFinished();
    EXPECT_TRUE(completed);  // before the waiters are released
    EXPECT_TRUE(op->isFinished() && !op->isExecuting());
    EXPECT_NE(worker, std::this_thread::get_id());
    EXPECT_EQ(seenQueue, q.get());
    EXPECT_FALSE(op->completionBlock());  // dropped once run
    q->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(q->operationCount(), 0u);
}

TEST(NSOperationQueueTest, ConcurrentOperationsHoldSlotsUntilTheyAnnounceFinished) {
    Board b;
    auto q = make<NSOperationQueue>();
    q->setMaxConcurrentOperationCount(2);
    std::vector<Ref<RemoteOp>> ops = addRemoteOps(b, q, 5);
    ASSERT_TRUE(b.waitFor([&] { return b.events.size() == 2; }));
    Events first = b.snapshot();
    std::sort(first.begin(), first.end());  // in whichever order the workers get to them
    EXPECT_EQ(first, (Events{"start 0", "start 1"}));

    // Each end, announced on another thread as the network thread does, frees one slot.
    for (int i = 0; i < 5; ++i) {
        std::thread([&] { ops[i]->finish(); }).join();
        ASSERT_TRUE(b.waitFor([&] {
            return std::count_if(b.events.begin(), b.events.end(), [](auto& e) {
                       return e.rfind("start", 0) == 0;
                   }) == std::min(i + 3, 5);
        }));
        EXPECT_EQ(q->operationCount(), static_cast<NSUInteger>(4 - i));
    }
    EXPECT_EQ(b.maxHolding, 2);
    EXPECT_EQ(b.snapshot()[2], "finish 0");
    EXPECT_EQ(b.snapshot()[3], "start 2");
}

TEST(NSOperationQueueTest, ABurstOfConcurrentOperationsIsStartedByOneWorker) {
    Board b;
    auto q = make<NSOperationQueue>();
    q->setMaxConcurrentOperationCount(4);
    std::vector<Ref<RemoteOp>> ops = addRemoteOps(b, q, 4);
    ASSERT_TRUE(b.waitFor([&] { return b.events.size() == 4; }));
    // Each start only hands its work on: the worker called for the first takes the others as
    // they come, in order, rather than a thread being woken (or made) for each.
    EXPECT_EQ(b.snapshot(), (Events{"start 0", "start 1", "start 2", "start 3"}));
    for (auto& op : ops) {
        EXPECT_EQ(op->startedOn, ops[0]->startedOn);
        EXPECT_NE(op->startedOn, std::this_thread::get_id());
    }
    for (auto& op : ops)
        op->finish();
    q->waitUntilAllOperationsAreFinished();
}

TEST(NSOperationQueueTest, AWorkerTakingALongOperationCallsAnotherForTheRest) {
    Board b;
    auto q = make<NSOperationQueue>();
    q->setMaxConcurrentOperationCount(4);
    q->setSuspended(true);
    // Queued while suspended, so that one worker is called for the long one and none for the
    // concurrent one behind it.
    auto longOne = NSBlockOperation::blockOperationWithBlock([&b] {
        b.note("long begins");
        b.waitFor([&b] {
            return std::find(b.events.begin(), b.events.end(), "start after") != b.events.end();
        });
        b.note("long ends");
    });
    auto after = make<RemoteOp>();
    after->board = &b;
    after->tag = "after";
    q->addOperation(longOne);
    q->addOperation(after);
    q->setSuspended(false);
    // The concurrent one starts while the long one still runs (it waits for exactly that).
    // The worker called for the rest may start it before the long one has noted its beginning.
    ASSERT_TRUE(b.waitFor([&] { return b.events.size() == 3; }));
    Events seen = b.snapshot();
    EXPECT_EQ(seen.back(), "long ends");
    EXPECT_TRUE(seen == (Events{"long begins", "start after", "long ends"}) ||
                seen == (Events{"start after", "long begins", "long ends"}));
    EXPECT_NE(after->startedOn, std::this_thread::get_id());
    after->finish();
    q->waitUntilAllOperationsAreFinished();
}

TEST(NSOperationQueueTest, ConcurrentOperationsStartedWhenAddedWhereTheQueueAllowsIt) {
    Board b;
    auto q = make<NSOperationQueue>();
    q->setMaxConcurrentOperationCount(2);
    EXPECT_FALSE(q->startsConcurrentOperationsWhenAdded());
    q->setStartsConcurrentOperationsWhenAdded(true);
    EXPECT_TRUE(q->startsConcurrentOperationsWhenAdded());
    // Two free slots: both begin inside addOperation, on this thread, as the queue's work.
    std::vector<Ref<RemoteOp>> ops = addRemoteOps(b, q, 3);
    EXPECT_EQ(b.snapshot(), (Events{"start 0", "start 1"}));
    EXPECT_EQ(ops[0]->startedOn, std::this_thread::get_id());
    EXPECT_EQ(ops[1]->startedOn, std::this_thread::get_id());
    EXPECT_EQ(ops[0]->startedIn, q.get());
    EXPECT_FALSE(NSOperationQueue::currentQueue());
    // The third waits for a slot; freed from another thread, it is a worker that starts it.
    std::thread([&] { ops[0]->finish(); }).join();
    ASSERT_TRUE(b.waitFor([&] { return b.events.size() == 4; }));
    EXPECT_EQ(b.snapshot()[3], "start 2");
    EXPECT_NE(ops[2]->startedOn, std::this_thread::get_id());
    EXPECT_EQ(b.maxHolding, 2);
    // Work that is not concurrent still runs on a worker, and nothing starts while suspended.
    std::thread::id blockOn;
    auto block =
        NSBlockOperation::blockOperationWithBlock([&] { blockOn = std::this_thread::get_id(); });
    ops[1]->finish();
    q->addOperation(block);
    block->waitUntilFinished();
    EXPECT_NE(blockOn, std::this_thread::get_id());
    q->setSuspended(true);
    auto held = make<RemoteOp>();
    held->board = &b;
    held->tag = "held";
    q->addOperation(held);
    EXPECT_FALSE(held->isExecuting());
    ops[2]->finish();
    q->setSuspended(false);
    ASSERT_TRUE(b.waitFor([&] { return b.events.back() == "start held"; }));
    EXPECT_NE(held->startedOn, std::this_thread::get_id());
    held->finish();
    q->waitUntilAllOperationsAreFinished();
}

TEST(NSOperationQueueTest, SuspendedQueueThenPriorityThenOrderAdded) {
    Board b;
    auto q = make<NSOperationQueue>();
    q->setMaxConcurrentOperationCount(1);
    q->setSuspended(true);
    std::pair<const char*, NSInteger> plan[] = {
        {"low", NSOperationQueuePriorityLow},   {"normal1", 0}, {"top", 10},  // 10 counts as 8
        {"high", NSOperationQueuePriorityHigh}, {"normal2", 1}, {"lowest", -100},
    };
    for (auto& [name, priority] : plan) {
        auto op = noting(b, name);
        op->setQueuePriority(priority);
        q->addOperation(op);
    }
    // Nothing starts while suspended (a start is decided inside addOperation or setSuspended).
    EXPECT_EQ(q->operationCount(), 6u);
    EXPECT_TRUE(b.snapshot().empty());
    q->setSuspended(false);
    q->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(b.snapshot(), (Events{"top", "high", "normal1", "normal2", "low", "lowest"}));
}

TEST(NSOperationQueueTest, DependenciesOrderWorkAcrossQueues) {
    Board b;
    auto q = make<NSOperationQueue>();
    auto a = noting(b, "a"), bb = noting(b, "b"), c = noting(b, "c");
    bb->addDependency(a);
    c->addDependency(bb);
    c->addDependency(bb);  // once only
    EXPECT_EQ(c->dependencies()->count(), 1u);
    EXPECT_FALSE(c->isReady());
    for (auto& op : {c, bb, a})
        q->addOperation(op);
    q->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(b.snapshot(), (Events{"a", "b", "c"}));

    // A dependency in a suspended queue holds the dependant back until it has run.
    auto other = make<NSOperationQueue>();
    other->setSuspended(true);
    auto before = noting(b, "before"), after = noting(b, "after");
    after->addDependency(before);
    other->addOperation(before);
    q->addOperation(after);
    EXPECT_FALSE(after->isReady() || after->isExecuting() || after->isFinished());
    other->setSuspended(false);
    after->waitUntilFinished();
    EXPECT_EQ(b.snapshot().back(), "after");
    EXPECT_EQ(b.snapshot().size(), 5u);
}

TEST(NSOperationQueueTest, CancelledOperationsFinishWithoutRunning) {
    Board b;
    auto q = make<NSOperationQueue>();
    q->setSuspended(true);
    std::vector<Ref<NSBlockOperation>> ops;
    std::atomic<int> completions{0};
    for (int i = 0; i < 3; ++i) {
        ops.push_back(noting(b, "ran"));
        ops.back()->setCompletionBlock([&] { ++completions; });
        q->addOperation(ops.back());
    }
    q->cancelAllOperations();
    q->setSuspended(false);
    q->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(completions.load(), 3);
    for (auto& op : ops)
        EXPECT_TRUE(op->isCancelled() && op->isFinished());

    // Cancelling also ends the wait for a dependency that never runs.
    auto blocked = noting(b, "blocked");
    blocked->addDependency(make<NSOperation>());
    q->addOperation(blocked);
    EXPECT_FALSE(blocked->isReady());
    blocked->cancel();
    blocked->waitUntilFinished();
    EXPECT_TRUE(b.snapshot().empty());
}

TEST(NSOperationTest, StartAnnouncesItsStatesAndRefusesMisuse) {
    auto op = make<AnnouncingOp>();
    op->start();
    EXPECT_EQ(op->log, (Events{"will isExecuting", "did isExecuting", "main", "will isFinished",
                               "will isExecuting", "did isExecuting", "did isFinished"}));
    EXPECT_EQ(raisedName([&] { op->start(); }), "NSInvalidArgumentException");
    auto cancelled = make<AnnouncingOp>();
    cancelled->cancel();
    cancelled->log.clear();
    cancelled->start();
    EXPECT_EQ(cancelled->log, (Events{"will isFinished", "did isFinished"}));
    auto waiting = make<NSOperation>();
    waiting->addDependency(make<NSOperation>());
    EXPECT_EQ(raisedName([&] { waiting->start(); }), "NSInvalidArgumentException");
    auto block = NSBlockOperation::blockOperationWithBlock([] {});
    block->start();
    EXPECT_EQ(raisedName([&] { block->addExecutionBlock([] {}); }), "NSInvalidArgumentException");

    // A queue refuses operations that are queued elsewhere, finished or executing.
    auto q = make<NSOperationQueue>(), other = make<NSOperationQueue>();
    q->setSuspended(true);
    auto queued = make<NSOperation>();
    q->addOperation(queued);
    Board b;
    auto running = make<RemoteOp>();
    running->board = &b;
    running->start();
    for (NSOperation* bad :
         {queued.get(), static_cast<NSOperation*>(op.get()),
          static_cast<NSOperation*>(running.get()), static_cast<NSOperation*>(nullptr)}) {
        EXPECT_EQ(raisedName([&] { other->addOperation(bad); }), "NSInvalidArgumentException");
    }
    EXPECT_EQ(other->operationCount(), 0u);
}

TEST(NSOperationQueueTest, FailuresDoNotStallTheQueueWhichMayGoAwayWhileWorking) {
    Board b;
    auto q = make<NSOperationQueue>();
    q->setMaxConcurrentOperationCount(1);
    auto failing = NSBlockOperation::blockOperationWithBlock(
        [] { NSException::raise(NSGenericException, NS("work failed")); });
    Board logged;  // the worker reports the failure, after the operation has ended
    NSLogSink previous = NSLogSetSink([&](const std::string& line) { logged.note(line); });
    q->addOperations(NSArray::arrayWithObjects({failing, noting(b, "after")}), true);
    EXPECT_TRUE(failing->isFinished());
    EXPECT_EQ(b.snapshot(), (Events{"after"}));
    bool reported = logged.waitFor([&] { return logged.events.size() == 1; });
    NSLogSetSink(previous);
    ASSERT_TRUE(reported);
    EXPECT_NE(logged.snapshot()[0].find("work failed"), std::string::npos);

    // The worker holds the queue until the operation returns, then lets it go on its thread.
    auto op = NSBlockOperation::blockOperationWithBlock([&] {
        b.note("running");
        b.waitFor([&] { return b.gate; });
    });
    q->addOperation(op);
    q->addOperation(make<NSOperation>());
    ASSERT_TRUE(b.waitFor([&] { return b.events.size() == 2; }));
    q = nullptr;
    b.open();
    op->waitUntilFinished();
    EXPECT_TRUE(op->isFinished());
}

// A target for invocation operations.
class OpTarget : public NSObject {
    NS_OBJECT(OpTarget, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("greet:", &OpTarget::greet);
        c.method("touch", &OpTarget::touch);
        c.method("fail", &OpTarget::fail);
    }
    Ref<NSString> greet(NSString* who) { return NSString::stringWithFormat(NS("hi %@"), who); }
    void touch() { ++touched; }
    void fail() { NSException::raise(NSGenericException, NS("no")); }
    int touched = 0;
};

TEST(NSInvocationOperationTest, SendsTheSelectorAndKeepsItsResult) {
    auto target = make<OpTarget>();
    auto invoking = [&](const char* sel, NSObject* arg) {
        return make<NSInvocationOperation>(&NSInvocationOperation::initWithTarget, target,
                                           Selector::named(sel), arg);
    };
    auto greet = invoking("greet:", NS("you")), touch = invoking("touch", nullptr);
    auto fail = invoking("fail", nullptr), cancelled = invoking("touch", nullptr);
    cancelled->cancel();
    make<NSOperationQueue>()->addOperations(
        NSArray::arrayWithObjects({greet, touch, fail, cancelled}), true);
    EXPECT_EQ(text(greet->result()), "hi you");
    EXPECT_EQ(target->touched, 1);
    EXPECT_EQ(raisedName([&] { touch->result(); }), "NSInvocationOperationVoidResultException");
    EXPECT_EQ(raisedName([&] { fail->result(); }), "NSGenericException");
    EXPECT_EQ(raisedName([&] { cancelled->result(); }), "NSInvocationOperationCancelledException");
    EXPECT_FALSE(invoking("nothing:", nullptr));
}

}  // namespace
