#include "ads/ironvine/IVAsyncCommand.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/Runtime.h"
#include "IronvineTesting.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"

namespace {

struct Journal {
    std::mutex lock;
    std::vector<int> order;
    std::vector<std::string> threads;
    std::vector<NSTimeInterval> times;
    size_t size() {
        std::lock_guard<std::mutex> g(lock);
        return order.size();
    }
};

class RecordingCommand : public IVAsyncCommand {
    NS_OBJECT(RecordingCommand, IVAsyncCommand)
    static Ref<RecordingCommand> with(int id, Journal* journal) {
        auto c = make<RecordingCommand>();
        c->id_ = id;
        c->journal_ = journal;
        return c;
    }
    void execute() override {
        std::lock_guard<std::mutex> g(journal_->lock);
        journal_->order.push_back(id_);
        journal_->threads.push_back(NSThread::currentThread()->name()->utf8());
        journal_->times.push_back(Clock::now());
    }

private:
    int id_ = 0;
    Journal* journal_ = nullptr;
};

// A queue whose source counts the wake-ups it gets, on the test's own loop.
class CountingQueue : public IVAsyncCommandQueue {
    NS_OBJECT(CountingQueue, IVAsyncCommandQueue)
    bool init() override {
        if (!IVAsyncCommandQueue::init()) return false;
        runLoopSource_ = RunLoopSource::sourceWithHandler([this] { ++wakeUps; });
        return true;
    }
    int wakeUps = 0;
};

// Receives results on the main thread.
class ResultSink : public NSObject {
    NS_OBJECT(ResultSink, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("gotResult:", &ResultSink::gotResult).method("done", &ResultSink::done);
    }
    void gotResult(NSObject* r) {
        EXPECT_TRUE(NSThread::isMainThread());
        results.push_back(r ? Ref<NSObject>(r) : Ref<NSObject>());
    }
    void done() { ++doneCount; }
    std::vector<Ref<NSObject>> results;
    int doneCount = 0;
};

Ref<IVAsyncCommandManager> worker(IVAsyncCommandQueue* queue, NSString* name) {
    auto m = alloc<IVAsyncCommandManager>();
    m->initWithCommandQueue(queue, name);
    return m;
}

TEST(IVAsyncCommandTest, WakeUpsAreLimitedToOnePerThreeTenths) {
    ManualClockScope clock;
    auto queue = make<CountingQueue>();
    queue->attachToRunLoop(NSRunLoop::currentRunLoop().get());
    Journal journal;
    NSTimeInterval start = Clock::now();
    queue->addCommand(RecordingCommand::with(0, &journal).get());
    ASSERT_TRUE(runLoopUntil([&] { return queue->wakeUps == 1; }));
    for (int i = 1; i < 10; ++i) {
        Clock::advance(0.01);
        queue->addCommand(RecordingCommand::with(i, &journal).get());
    }
    EXPECT_EQ(queue->numPendingCommands(), 10u);
    advanceRunLoop(0.2);
    EXPECT_EQ(queue->wakeUps, 1);
    advanceRunLoop(0.02);
    EXPECT_EQ(queue->wakeUps, 2);
    EXPECT_DOUBLE_EQ(queue->lastFiredTime(), start + 0.3);
    advanceRunLoop(1.0);
    EXPECT_EQ(queue->wakeUps, 2);
    // The queue hands its commands out oldest first.
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(queue->nextCommand());
    EXPECT_FALSE(queue->nextCommand());
    queue->invalidate();
}

TEST(IVAsyncCommandTest, QueueSetUpMistakesRaise) {
    auto bare = make<IVAsyncCommandQueue>();
    EXPECT_EQ(raisedBy([&] { bare->attachToRunLoop(NSRunLoop::currentRunLoop().get()); })
                  ->reason()
                  ->utf8(),
              "IVAsyncCommandQueue subclass forgot to initialize the runLoopSource instance "
              "variable!");
    auto queue = make<IVIORequestQueue>();
    queue->attachToRunLoop(NSRunLoop::currentRunLoop().get());
    auto twice = raisedBy([&] { queue->attachToRunLoop(NSRunLoop::currentRunLoop().get()); });
    ASSERT_TRUE(twice);
    EXPECT_NE(twice->reason()->utf8().find("having  a one-to-one mapping"), std::string::npos);
    queue->invalidate();
}

TEST(IVAsyncCommandTest, WorkerRunsCommandsInOrderOnItsNamedThread) {
    auto manager = worker(make<IVIORequestQueue>().get(), NS("IVIORequestManager thread"));
    Journal journal;
    for (int i = 0; i < 10; ++i)
        manager->sendAsyncCommand(RecordingCommand::with(i, &journal).get());
    // Whatever was held back waits for the next wake-up at most 0.3 s later.
    ASSERT_TRUE(runLoopUntil([&] { return journal.size() == 10; }));
    EXPECT_EQ(journal.order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    for (auto& t : journal.threads)
        EXPECT_EQ(t, "IVIORequestManager thread");
    manager->shutdown();
}

TEST(IVAsyncCommandTest, UnsignalledCommandsWaitForTheEndOfTheSlice) {
    ManualClockScope clock;
    NSTimeInterval start = Clock::now();
    auto queue = make<IVIORequestQueue>();
    auto manager = worker(queue.get(), NS("IVIORequestManager thread"));
    Journal journal;
    queue->addCommand(RecordingCommand::with(1, &journal).get(), false);
    queue->addCommand(RecordingCommand::with(2, &journal).get(), false);
    // The worker's slice began on a clock that stands still, and ends 30 s later: moved only
    // once the worker waits, the clock alone says when the commands run.
    auto loop = manager->commandExecThread()->runLoop();
    ASSERT_TRUE(runLoopUntil([&] { return loop->isWaiting(); }));
    Clock::advance(29.0);
    EXPECT_FALSE(runLoopUntil([&] { return journal.size() > 0; }, 0.05));
    Clock::advance(1.0);
    ASSERT_TRUE(runLoopUntil([&] { return journal.size() == 2; }));
    EXPECT_EQ(journal.order, (std::vector<int>{1, 2}));
    EXPECT_DOUBLE_EQ(journal.times[0], start + 30.0);
    manager->shutdown();
}

TEST(IVAsyncCommandTest, DrainRunsWhatIsQueuedBeforeReturning) {
    ManualClockScope clock;
    auto queue = make<IVDBQueryQueue>();
    auto manager = worker(queue.get(), NS("IVDBQueryManager thread"));
    Journal journal;
    // Queued without a wake-up, on a clock that stands still: only a drain runs them now.
    for (int i = 0; i < 3; ++i)
        queue->addCommand(RecordingCommand::with(i, &journal).get(), false);
    EXPECT_TRUE(manager->drain(30.0));
    EXPECT_EQ(journal.order, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(queue->numPendingCommands(), 0u);
    // Nothing queued: it returns at once.
    EXPECT_TRUE(manager->drain(30.0));
    manager->shutdown();
    // A worker that is gone has nothing to run, and the caller does not wait for it.
    queue->addCommand(RecordingCommand::with(3, &journal).get(), false);
    EXPECT_FALSE(manager->drain(30.0));
    EXPECT_EQ(journal.size(), 3u);
}

TEST(IVAsyncCommandTest, ShutdownDiscardsPendingCommands) {
    auto queue = make<IVDBQueryQueue>();
    auto manager = worker(queue.get(), NS("IVDBQueryManager thread"));
    Journal journal;
    for (int i = 0; i < 3; ++i)
        queue->addCommand(RecordingCommand::with(i, &journal).get(), false);
    EXPECT_EQ(queue->numPendingCommands(), 3u);
    manager->shutdown();
    EXPECT_EQ(queue->numPendingCommands(), 0u);
    EXPECT_EQ(journal.size(), 0u);
    EXPECT_TRUE(manager->commandExecThread()->isFinished());
}

TEST(IVAsyncCommandTest, FileCommandsDeliverOnTheMainThread) {
    auto manager = worker(make<IVIORequestQueue>().get(), NS("IVIORequestManager thread"));
    auto sink = make<ResultSink>();
    auto withResult = IVCallbackContext::contextWithCallbackTarget(
        sink.get(), Selector::named("gotResult:"), true);
    auto doneOnly =
        IVCallbackContext::contextWithCallbackTarget(sink.get(), Selector::named("done"), false);
    std::string dir = NSTemporaryDirectory()->utf8() + "ivworker";
    std::filesystem::create_directories(dir);
    auto path = str(dir + "/data.bin");
    std::string big(10000, 'x');
    big[4096] = 'y';
    auto bytes = NSData::dataWithBytes(big.data(), big.size());
    manager->sendAsyncCommand(
        IVIOWriteRequest::requestWithPath(path.get(), bytes.get(), false, doneOnly.get()).get());
    manager->sendAsyncCommand(IVIOWriteRequest::requestWithPath(
                                  path.get(), NSData::dataWithBytes("++", 2).get(), true, nullptr)
                                  .get());
    // A missing file and an unknown JSON kind deliver nothing; what comes after still does.
    manager->sendAsyncCommand(
        IVIOReadRequest::requestWithPathToRead(str(dir + "/missing").get(), withResult.get())
            .get());
    manager->sendAsyncCommand(
        IVJSONCommand::jsonCommandWithType(2, NS("[1]"), withResult.get()).get());
    manager->sendAsyncCommand(
        IVIOReadRequest::requestWithPathToRead(path.get(), withResult.get()).get());
    manager->sendAsyncCommand(
        IVJSONCommand::jsonCommandWithType(0, NS("{\"a\":[1,2]}"), withResult.get()).get());
    auto row = NSArray::arrayWithObject(NS("q\"uote"));
    manager->sendAsyncCommand(
        IVJSONCommand::jsonCommandWithType(1, row.get(), withResult.get()).get());
    ASSERT_TRUE(runLoopUntil([&] { return sink->results.size() == 3 && sink->doneCount == 1; }));
    auto read = as<NSData>(sink->results[0]);
    ASSERT_TRUE(read);
    EXPECT_EQ(std::string(static_cast<const char*>(read->bytes()), read->length()), big + "++");
    auto parsed = as<NSDictionary>(sink->results[1]);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(as<NSArray>(parsed->objectForKey(NS("a")))->count(), 2u);
    EXPECT_EQ(text(sink->results[2].get()), "[\"q\\\"uote\"]");
    manager->shutdown();
}

TEST(IVAsyncCommandTest, PreparedCallsReceiveTheResultAsLastArgument) {
    ManualClockScope clock;  // the queue's 0.3 s between wake-ups passes without waiting
    auto manager = worker(make<IVIORequestQueue>().get(), NS("IVIORequestManager thread"));
    auto sink = make<ResultSink>();
    SEL sel = Selector::named("gotResult:");
    auto sig = NSMethodSignature::signatureWithObjCTypes(
        sink->getClass()->instanceMethod(sel)->types.c_str());
    auto call = NSInvocation::invocationWithMethodSignature(sig.get());
    call->setTarget(sink.get());
    call->setSelector(sel);
    call->setArgument(Value::ofObject(NS("before")), 2);
    manager->sendAsyncCommand(
        IVJSONCommand::jsonCommandWithType(
            0, NS("true"), IVCallbackContext::contextWithCallbackInvocation(call.get(), true).get())
            .get());
    ASSERT_TRUE(advanceRunLoopUntil([&] { return sink->results.size() == 1; }));
    EXPECT_EQ(text(sink->results[0].get()), "1");
    auto keep = NSInvocation::invocationWithMethodSignature(sig.get());
    keep->setTarget(sink.get());
    keep->setSelector(sel);
    keep->setArgument(Value::ofObject(NS("unchanged")), 2);
    manager->sendAsyncCommand(
        IVJSONCommand::jsonCommandWithType(
            0, NS("[]"), IVCallbackContext::contextWithCallbackInvocation(keep.get(), false).get())
            .get());
    ASSERT_TRUE(advanceRunLoopUntil([&] { return sink->results.size() == 2; }));
    EXPECT_EQ(text(sink->results[1].get()), "unchanged");
    manager->shutdown();
}

}  // namespace
