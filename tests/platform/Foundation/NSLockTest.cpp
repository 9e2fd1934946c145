#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSLock.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSString.h"
#include "Foundation/OSAtomic.h"
#include "tests/support/FoundationTesting.h"

namespace {

using namespace std::chrono_literals;

// A call made on another thread. blocked() waits until that thread sleeps in the kernel (inside
// the call's wait), so that the test moves the clock once the waiter really waits. The time
// limits only keep a broken build from hanging; nothing measures time.
class Waiter {
public:
    explicit Waiter(std::function<bool()> f) {
        result_ = std::async(std::launch::async, [this, f] {
            tid_ = static_cast<pid_t>(syscall(SYS_gettid));
            NSAutoreleasePool pool;
            return f() ? 1 : 0;
        });
    }
    bool blocked() {
        for (int i = 0; i < 200000 && !done(); ++i) {
            std::ifstream stat("/proc/self/task/" + std::to_string(tid_.load()) + "/stat");
            std::string all((std::istreambuf_iterator<char>(stat)), {});
            size_t close = all.rfind(')');
            if (tid_ && close != std::string::npos && close + 2 < all.size() &&
                all[close + 2] == 'S')
                return true;
            std::this_thread::yield();
        }
        return false;
    }
    bool done() { return result_.wait_for(0s) == std::future_status::ready; }
    // 1 or 0 for the call's answer, -1 when it did not return in time.
    int get() { return result_.wait_for(20s) == std::future_status::ready ? result_.get() : -1; }

private:
    std::atomic<pid_t> tid_{0};
    std::future<int> result_;
};

Ref<NSDate> inSeconds(NSTimeInterval s) {
    return NSDate::dateWithTimeIntervalSinceNow(s);
}

template <class F>
bool elsewhere(F f) {
    return std::async(std::launch::async, f).get();
}

TEST(NSLockTest, LockBeforeDateFollowsTheClock) {
    ManualClockScope clock;
    auto lock = make<NSLock>();
    lock->setName(NS("guard"));
    EXPECT_NE(text(lock).find("guard"), std::string::npos);
    lock->lock();
    EXPECT_FALSE(elsewhere([&] { return lock->tryLock(); }));

    // The limit passes while the waiter sleeps: moving the clock wakes it with NO.
    auto limit = inSeconds(5);
    Waiter late([&] { return lock->lockBeforeDate(limit); });
    ASSERT_TRUE(late.blocked());
    Clock::advance(3);
    ASSERT_TRUE(late.blocked());  // woke, found time left, sleeps again
    EXPECT_FALSE(late.done());
    Clock::advance(3);
    EXPECT_EQ(late.get(), 0);

    // Released before the limit: the waiter gets the lock.
    Waiter inTime([&] { return lock->lockBeforeDate(inSeconds(5)) && (lock->unlock(), true); });
    ASSERT_TRUE(inTime.blocked());
    Clock::advance(4);
    lock->unlock();
    EXPECT_EQ(inTime.get(), 1);
}

TEST(NSLockTest, RecursiveLockAndMisuse) {
    ManualClockScope clock;
    Ref<NSRecursiveLock> lock = make<NSRecursiveLock>();
    lock->lock();
    EXPECT_TRUE(lock->tryLock());
    lock->unlock();
    Waiter waiter([&] { return lock->lockBeforeDate(inSeconds(2)); });
    ASSERT_TRUE(waiter.blocked());
    Clock::advance(2);
    EXPECT_EQ(waiter.get(), 0);

    // Misuse is logged and changes nothing.
    std::vector<std::string> lines;
    NSLogSink previous = NSLogSetSink([&](const std::string& line) { lines.push_back(line); });
    elsewhere([&] { return lock->unlock(), true; });
    make<NSLock>()->unlock();
    NSLogSetSink(previous);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("did not lock it"), std::string::npos);
    EXPECT_NE(lines[1].find("unlocked when not locked"), std::string::npos);
    EXPECT_FALSE(elsewhere([&] { return lock->tryLock(); }));
    lock->unlock();
    EXPECT_TRUE(elsewhere([&] { return lock->tryLock() && (lock->unlock(), true); }));
}

// Taken again by its owner (each way of taking it), the lock still keeps every other thread
// out until it has been given back as often, and misuse from elsewhere changes nothing.
TEST(NSLockTest, RecursiveLockTakenAgainByItsOwnerIsGivenUpOnlyWhole) {
    ManualClockScope clock;
    Ref<NSRecursiveLock> lock = make<NSRecursiveLock>();
    lock->lock();
    lock->lock();
    EXPECT_TRUE(lock->tryLock());
    EXPECT_TRUE(lock->lockBeforeDate(inSeconds(1)));
    Waiter waiter([&] {
        lock->lock();
        lock->unlock();
        return true;
    });
    ASSERT_TRUE(waiter.blocked());
    std::vector<std::string> lines;
    NSLogSink previous = NSLogSetSink([&](const std::string& line) { lines.push_back(line); });
    for (int held = 4; held > 1; --held) {
        EXPECT_FALSE(elsewhere([&] { return lock->tryLock(); })) << held;
        elsewhere([&] { return lock->unlock(), true; });
        lock->unlock();
        EXPECT_FALSE(waiter.done()) << held;
    }
    NSLogSetSink(previous);
    EXPECT_EQ(lines.size(), 3u);
    EXPECT_FALSE(elsewhere([&] { return lock->tryLock(); }));
    lock->unlock();
    EXPECT_EQ(waiter.get(), 1);
    EXPECT_TRUE(elsewhere([&] { return lock->tryLock() && (lock->unlock(), true); }));
    // Given back too often: the extra time is misuse, logged, and the lock stays free.
    lines.clear();
    NSLogSetSink([&](const std::string& line) { lines.push_back(line); });
    lock->unlock();
    NSLogSetSink(previous);
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_TRUE(elsewhere([&] { return lock->tryLock() && (lock->unlock(), true); }));
}

// Two waiters with a limit; the test holds the lock while it wakes them, then lets the limit
// pass. The result says how many the wake-up reached.
int wokenBy(void (NSCondition::*wake)()) {
    ManualClockScope clock;
    auto cond = make<NSCondition>();
    auto limit = inSeconds(10);
    int waiting = 0;
    auto wait = [&] {
        cond->lock();
        ++waiting;
        bool signalled = cond->waitUntilDate(limit);
        cond->unlock();
        return signalled;
    };
    Waiter a(wait), b(wait);
    // Each waiter counts itself under the lock and gives the lock up only inside its wait.
    cond->lock();
    while (waiting < 2) {
        cond->unlock();
        std::this_thread::yield();
        cond->lock();
    }
    (cond.get()->*wake)();
    cond->unlock();
    Clock::advance(11);
    return a.get() + b.get();
}

TEST(NSConditionTest, SignalReachesOneWaiterBroadcastAllAndTheClockEndsTheRest) {
    EXPECT_EQ(wokenBy(&NSCondition::signal), 1);
    EXPECT_EQ(wokenBy(&NSCondition::broadcast), 2);

    ManualClockScope clock;
    auto cond = make<NSCondition>();
    Waiter waiter([&] {
        cond->lock();
        bool signalled = cond->waitUntilDate(inSeconds(10));
        cond->unlock();
        return signalled;
    });
    ASSERT_TRUE(waiter.blocked());
    Clock::advance(9);
    ASSERT_TRUE(waiter.blocked());
    EXPECT_FALSE(waiter.done());
    Clock::advance(1);
    EXPECT_EQ(waiter.get(), 0);
}

TEST(NSConditionTest, ProducerAndConsumerHandOverEveryItem) {
    auto cond = make<NSCondition>();
    std::vector<int> items;
    bool closed = false;
    auto consumer = std::async(std::launch::async, [&] {
        int sum = 0;
        cond->lock();
        for (;;) {
            while (items.empty() && !closed)
                cond->wait();
            if (items.empty()) break;
            sum += items.back();
            items.pop_back();
        }
        cond->unlock();
        return sum;
    });
    for (int i = 1; i <= 500; ++i) {
        cond->lock();
        items.push_back(i);
        closed = i == 500;
        cond->signal();
        cond->unlock();
    }
    ASSERT_EQ(consumer.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(consumer.get(), 500 * 501 / 2);
}

TEST(NSConditionLockTest, LockersWaitForTheirCondition) {
    ManualClockScope clock;
    auto lock = make<NSConditionLock>(&NSConditionLock::initWithCondition, 1);
    EXPECT_FALSE(lock->tryLockWhenCondition(2));
    EXPECT_TRUE(lock->tryLockWhenCondition(1));
    EXPECT_FALSE(lock->tryLock());
    lock->unlockWithCondition(1);

    std::string trace;  // two threads take turns through the condition
    auto turn = [&](NSInteger mine, NSInteger next, char mark) {
        for (int i = 0; i < 30; ++i) {
            lock->lockWhenCondition(mine);
            trace += mark;
            lock->unlockWithCondition(next);
        }
    };
    auto a = std::async(std::launch::async, turn, 1, 2, 'a');
    auto b = std::async(std::launch::async, turn, 2, 1, 'b');
    ASSERT_EQ(a.wait_for(20s), std::future_status::ready);
    ASSERT_EQ(b.wait_for(20s), std::future_status::ready);
    std::string expected;
    for (int i = 0; i < 30; ++i)
        expected += "ab";
    EXPECT_EQ(trace, expected);

    Waiter late([&] { return lock->lockWhenCondition(3, inSeconds(5)); });
    ASSERT_TRUE(late.blocked());
    Clock::advance(6);
    EXPECT_EQ(late.get(), 0);
    Waiter inTime([&] {
        return lock->lockWhenCondition(3, inSeconds(5)) && (lock->unlockWithCondition(4), true);
    });
    ASSERT_TRUE(inTime.blocked());
    lock->lock();
    lock->unlockWithCondition(3);
    EXPECT_EQ(inTime.get(), 1);
    EXPECT_EQ(lock->condition(), 4);
}

TEST(OSSpinLockTest, TryLockAndMutualExclusionAndAtomics) {
    OSSpinLock spin = OS_SPINLOCK_INIT;
    EXPECT_TRUE(OSSpinLockTry(&spin));
    EXPECT_FALSE(OSSpinLockTry(&spin));
    EXPECT_FALSE(elsewhere([&] { return OSSpinLockTry(&spin); }));
    OSSpinLockUnlock(&spin);
    EXPECT_TRUE(elsewhere([&] { return OSSpinLockTry(&spin); }));
    OSSpinLockUnlock(&spin);

    long counter = 0;  // plain, guarded by the spin lock
    volatile int32_t atomic = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                OSSpinLockLock(&spin);
                counter = counter + 1;
                OSSpinLockUnlock(&spin);
                OSAtomicIncrement32Barrier(&atomic);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counter, 80000);
    EXPECT_EQ(atomic, 80000);

    EXPECT_EQ(OSAtomicDecrement32Barrier(&atomic), 79999);
    EXPECT_EQ(OSAtomicAdd32Barrier(-80000, &atomic), -1);
    EXPECT_FALSE(OSAtomicCompareAndSwap32Barrier(5, 9, &atomic));
    EXPECT_TRUE(OSAtomicCompareAndSwap32Barrier(-1, 9, &atomic));
    EXPECT_EQ(atomic, 9);
    int x = 0, y = 0;
    void* volatile slot = nullptr;
    EXPECT_TRUE(OSAtomicCompareAndSwapPtrBarrier(nullptr, &x, &slot));
    EXPECT_FALSE(OSAtomicCompareAndSwapPtrBarrier(nullptr, &y, &slot));
    EXPECT_EQ(slot, &x);
}

}  // namespace
