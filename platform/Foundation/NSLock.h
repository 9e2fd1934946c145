// Locks and conditions. Every wait with a time limit follows Clock: on the manual clock a waiter
// wakes when the clock is moved past its limit, on the real clock after a timed wait.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "Foundation/NSObject.h"

class NSDate;
class NSString;

// The locking contract shared by the lock classes.
class NSLocking {
public:
    virtual ~NSLocking() = default;
    virtual void lock() = 0;
    virtual void unlock() = 0;
};

namespace lock_detail {
// One mutex and one condition variable guarding the visible state of a lock object: a lock held
// across calls is this state, never the mutex itself, so that waits can follow the clock.
struct LockCore {
    std::mutex mutex;
    std::condition_variable changed;
    bool locked = false;
    // Written under the mutex, but read without it by a thread asking whether it is the owner:
    // only the owner ever finds its own id there.
    std::atomic<std::thread::id> owner{};
    unsigned depth = 0;  // recursive locks: changed only by the owner
    Ref<NSString> name;  // the lock's name, for descriptions
};
}  // namespace lock_detail

class NSLock : public NSObject, public NSLocking {
    NS_OBJECT(NSLock, NSObject)
    void lock() override;
    void unlock() override;
    bool tryLock();
    // Waits until the lock is taken (true) or the date has passed (false).
    bool lockBeforeDate(NSDate* limit);
    Ref<NSString> name();
    void setName(NSString* name);
    Ref<NSString> description() override;

private:
    lock_detail::LockCore core_;
};

// Taken any number of times by the thread that holds it; released when unlocked as often.
class NSRecursiveLock : public NSObject, public NSLocking {
    NS_OBJECT(NSRecursiveLock, NSObject)
    void lock() override;
    void unlock() override;
    bool tryLock();
    bool lockBeforeDate(NSDate* limit);
    Ref<NSString> name();
    void setName(NSString* name);
    Ref<NSString> description() override;

private:
    lock_detail::LockCore core_;
};

// A lock with a condition: wait() gives up the lock until signalled, then takes it again. As on
// the platform, a waiter may wake without a signal, so callers test their predicate in a loop.
class NSCondition : public NSObject, public NSLocking {
    NS_OBJECT(NSCondition, NSObject)
    void lock() override;
    void unlock() override;
    // Both must be called with the lock held.
    void wait();
    // False when the date passed before a signal came. The lock is held again either way.
    bool waitUntilDate(NSDate* limit);
    void signal();
    void broadcast();
    Ref<NSString> name();
    void setName(NSString* name);
    Ref<NSString> description() override;

private:
    lock_detail::LockCore core_;
    // The flags of the threads waiting for a signal, oldest first (guarded by core_.mutex). A
    // signal goes to the oldest waiter, so that a thread arriving later cannot take it.
    std::vector<bool*> waiting_;
};

// A lock that carries an integer condition; lockers may wait for a particular value.
class NSConditionLock : public NSObject, public NSLocking {
    NS_OBJECT(NSConditionLock, NSObject)
    bool init() override { return initWithCondition(0); }
    bool initWithCondition(NSInteger condition);
    NSInteger condition();
    void lock() override;
    void unlock() override;
    void lockWhenCondition(NSInteger condition);
    void unlockWithCondition(NSInteger condition);
    bool tryLock();
    bool tryLockWhenCondition(NSInteger condition);
    bool lockBeforeDate(NSDate* limit);
    bool lockWhenCondition(NSInteger condition, NSDate* limit);
    Ref<NSString> name();
    void setName(NSString* name);
    Ref<NSString> description() override;

private:
    lock_detail::LockCore core_;
    NSInteger condition_ = 0;  // guarded by core_.mutex
};
