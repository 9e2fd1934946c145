#include "Foundation/NSLock.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "Foundation/Clock.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/OSAtomic.h"

using lock_detail::LockCore;

namespace {

// Wakes the waiters of a core whenever the clock changes, for as long as it lives. Declare it
// before the unique_lock on the core's mutex: it must be removed with that mutex released, since
// a listener call in progress may be waiting for the mutex.
class ClockWake {
public:
    explicit ClockWake(LockCore& core)
        : id_(Clock::addListener([&core] {
              std::lock_guard<std::mutex> guard(core.mutex);
              core.changed.notify_all();
          })) {}
    ~ClockWake() { Clock::removeListener(id_); }
    ClockWake(const ClockWake&) = delete;
    ClockWake& operator=(const ClockWake&) = delete;

private:
    uint64_t id_;
};

NSTimeInterval deadlineOf(NSDate* limit) {
    return limit ? limit->timeIntervalSinceReferenceDate() : -HUGE_VAL;
}

// Waits on the core (its mutex held through `lk`) until ready() or until the clock reaches the
// deadline; answers ready(). On the manual clock only a change of the clock (ClockWake) or of
// the core ends a wait; on the real clock the wait is timed, in slices, so that a wall-clock
// change is noticed too.
template <class Ready>
bool waitUntil(LockCore& core, std::unique_lock<std::mutex>& lk, NSTimeInterval deadline,
               Ready ready) {
    while (!ready()) {
        NSTimeInterval now = Clock::now();
        if (now >= deadline) return false;
        NSRunLoop::flushDeferredWakeUps();
        if (Clock::isManual()) {
            core.changed.wait(lk);
        } else {
            core.changed.wait_for(lk, std::chrono::duration<double>(std::min(deadline - now, 1.0)));
        }
    }
    return true;
}

void takeLock(LockCore& core) {
    core.locked = true;
    core.owner.store(std::this_thread::get_id(), std::memory_order_relaxed);
    core.depth = 1;
}

// The mutex is held; waiters are told while it is, so that a woken thread cannot free the lock
// object before the notification is done with it.
void releaseLock(LockCore& core) {
    core.locked = false;
    core.owner.store(std::thread::id(), std::memory_order_relaxed);
    core.depth = 0;
    core.changed.notify_all();
}

// The platform logs misuse of a lock and carries on.
void complain(NSObject* lock, const char* method, const char* what) {
    NSLog(NS("*** -[%@ %s]: lock (%@) %s"), lock->className(), method, lock->description(), what);
}

Ref<NSString> nameOf(LockCore& core) {
    std::lock_guard<std::mutex> guard(core.mutex);
    return core.name;
}

void setNameOf(LockCore& core, NSString* name) {
    Ref<NSString> copy = name ? name->copy() : nullptr;
    std::lock_guard<std::mutex> guard(core.mutex);
    core.name.swap(copy);  // the old name is released outside the mutex
}

Ref<NSString> describe(NSObject* lock, LockCore& core) {
    return NSString::stringWithFormat(NS("<%@: %p>{name = %@}"), lock->className(),
                                      static_cast<void*>(lock), nameOf(core));
}

// ---- taking a lock ------------------------------------------------------------------------------
// A taker is called with the core's mutex held and takes the lock if it can (true) or answers
// false; the three ways to take differ only in how long they wait for it to succeed.

template <class Take>
void takeWhenReady(LockCore& core, Take take) {
    std::unique_lock<std::mutex> lk(core.mutex);
    if (take()) return;
    NSRunLoop::flushDeferredWakeUps();
    core.changed.wait(lk, take);
}

template <class Take>
bool tryTake(LockCore& core, Take take) {
    std::lock_guard<std::mutex> guard(core.mutex);
    return take();
}

template <class Take>
bool takeBefore(LockCore& core, NSDate* limit, Take take) {
    if (tryTake(core, take)) return true;
    NSTimeInterval deadline = deadlineOf(limit);
    ClockWake wake(core);
    std::unique_lock<std::mutex> lk(core.mutex);
    return waitUntil(core, lk, deadline, take);
}

// ---- the plain lock shared by NSLock, NSCondition and NSConditionLock ------------------------

auto plainTake(LockCore& core) {
    return [&core] {
        if (core.locked) return false;
        takeLock(core);
        return true;
    };
}

void plainLock(LockCore& core) {
    takeWhenReady(core, plainTake(core));
}

bool plainTryLock(LockCore& core) {
    return tryTake(core, plainTake(core));
}

bool plainLockBefore(LockCore& core, NSDate* limit) {
    return takeBefore(core, limit, plainTake(core));
}

void plainUnlock(NSObject* lock, LockCore& core) {
    std::unique_lock<std::mutex> lk(core.mutex);
    if (!core.locked) {
        lk.unlock();
        complain(lock, "unlock", "unlocked when not locked");
        return;
    }
    releaseLock(core);
}

}  // namespace

// ---- NSLock -------------------------------------------------------------------------------------

void NSLock::lock() {
    plainLock(core_);
}
void NSLock::unlock() {
    plainUnlock(this, core_);
}
bool NSLock::tryLock() {
    return plainTryLock(core_);
}
bool NSLock::lockBeforeDate(NSDate* limit) {
    return plainLockBefore(core_, limit);
}
Ref<NSString> NSLock::name() {
    return nameOf(core_);
}
void NSLock::setName(NSString* name) {
    setNameOf(core_, name);
}
Ref<NSString> NSLock::description() {
    return describe(this, core_);
}

// ---- NSRecursiveLock ----------------------------------------------------------------------------

namespace {
auto recursiveTake(LockCore& core) {
    return [&core] {
        if (!core.locked) {
            takeLock(core);
            return true;
        }
        if (core.owner == std::this_thread::get_id()) {
            ++core.depth;
            return true;
        }
        return false;
    };
}
}  // namespace

namespace {
// Taken again by the thread that holds it: a step of the depth, which no other thread touches
// while it is held, without the mutex (a lock re-entered on every call of a busy path).
bool takenAgain(LockCore& core) {
    if (core.owner.load(std::memory_order_relaxed) != std::this_thread::get_id()) return false;
    ++core.depth;
    return true;
}
}  // namespace

void NSRecursiveLock::lock() {
    if (takenAgain(core_)) return;
    takeWhenReady(core_, recursiveTake(core_));
}
void NSRecursiveLock::unlock() {
    // Given back by its owner short of the last time: only the depth changes.
    if (core_.owner.load(std::memory_order_relaxed) == std::this_thread::get_id() &&
        core_.depth > 1) {
        --core_.depth;
        return;
    }
    std::unique_lock<std::mutex> lk(core_.mutex);
    if (!core_.locked || core_.owner != std::this_thread::get_id()) {
        lk.unlock();
        complain(this, "unlock", "unlocked from thread which did not lock it");
        return;
    }
    if (--core_.depth == 0) releaseLock(core_);
}
bool NSRecursiveLock::tryLock() {
    return takenAgain(core_) || tryTake(core_, recursiveTake(core_));
}
bool NSRecursiveLock::lockBeforeDate(NSDate* limit) {
    return takenAgain(core_) || takeBefore(core_, limit, recursiveTake(core_));
}
Ref<NSString> NSRecursiveLock::name() {
    return nameOf(core_);
}
void NSRecursiveLock::setName(NSString* name) {
    setNameOf(core_, name);
}
Ref<NSString> NSRecursiveLock::description() {
    return describe(this, core_);
}

// ---- NSCondition --------------------------------------------------------------------------------

void NSCondition::lock() {
    plainLock(core_);
}
void NSCondition::unlock() {
    plainUnlock(this, core_);
}

void NSCondition::wait() {
    NSRunLoop::flushDeferredWakeUps();
    std::unique_lock<std::mutex> lk(core_.mutex);
    bool signalled = false;
    waiting_.push_back(&signalled);
    releaseLock(core_);
    core_.changed.wait(lk, [&] { return signalled; });
    core_.changed.wait(lk, plainTake(core_));
}

bool NSCondition::waitUntilDate(NSDate* limit) {
    NSTimeInterval deadline = deadlineOf(limit);
    ClockWake wake(core_);
    std::unique_lock<std::mutex> lk(core_.mutex);
    bool signalled = false;
    waiting_.push_back(&signalled);
    releaseLock(core_);
    bool got = waitUntil(core_, lk, deadline, [&] { return signalled; });
    if (!got) waiting_.erase(std::find(waiting_.begin(), waiting_.end(), &signalled));
    core_.changed.wait(lk, plainTake(core_));
    return got;
}

void NSCondition::signal() {
    std::lock_guard<std::mutex> guard(core_.mutex);
    if (waiting_.empty()) return;
    *waiting_.front() = true;
    waiting_.erase(waiting_.begin());
    core_.changed.notify_all();
}

void NSCondition::broadcast() {
    std::lock_guard<std::mutex> guard(core_.mutex);
    for (bool* flag : waiting_)
        *flag = true;
    waiting_.clear();
    core_.changed.notify_all();
}

Ref<NSString> NSCondition::name() {
    return nameOf(core_);
}
void NSCondition::setName(NSString* name) {
    setNameOf(core_, name);
}
Ref<NSString> NSCondition::description() {
    return describe(this, core_);
}

// ---- NSConditionLock ----------------------------------------------------------------------------

namespace {
auto conditionTake(LockCore& core, const NSInteger& current, NSInteger wanted) {
    return [&core, &current, wanted] {
        if (core.locked || current != wanted) return false;
        takeLock(core);
        return true;
    };
}
}  // namespace

bool NSConditionLock::initWithCondition(NSInteger condition) {
    condition_ = condition;
    return true;
}
NSInteger NSConditionLock::condition() {
    std::lock_guard<std::mutex> guard(core_.mutex);
    return condition_;
}
void NSConditionLock::lock() {
    plainLock(core_);
}
void NSConditionLock::unlock() {
    plainUnlock(this, core_);
}
void NSConditionLock::lockWhenCondition(NSInteger condition) {
    takeWhenReady(core_, conditionTake(core_, condition_, condition));
}
void NSConditionLock::unlockWithCondition(NSInteger condition) {
    std::unique_lock<std::mutex> lk(core_.mutex);
    if (!core_.locked) {
        lk.unlock();
        complain(this, "unlockWithCondition:", "unlocked when not locked");
        return;
    }
    condition_ = condition;
    releaseLock(core_);
}
bool NSConditionLock::tryLock() {
    return plainTryLock(core_);
}
bool NSConditionLock::tryLockWhenCondition(NSInteger condition) {
    return tryTake(core_, conditionTake(core_, condition_, condition));
}
bool NSConditionLock::lockBeforeDate(NSDate* limit) {
    return plainLockBefore(core_, limit);
}
bool NSConditionLock::lockWhenCondition(NSInteger condition, NSDate* limit) {
    return takeBefore(core_, limit, conditionTake(core_, condition_, condition));
}
Ref<NSString> NSConditionLock::name() {
    return nameOf(core_);
}
void NSConditionLock::setName(NSString* name) {
    setNameOf(core_, name);
}
Ref<NSString> NSConditionLock::description() {
    return describe(this, core_);
}

// ---- spin lock ----------------------------------------------------------------------------------

bool OSSpinLockTry(volatile OSSpinLock* lock) {
    return __atomic_exchange_n(lock, 1, __ATOMIC_ACQUIRE) == 0;
}

void OSSpinLockLock(volatile OSSpinLock* lock) {
    unsigned spins = 0;
    while (!OSSpinLockTry(lock)) {
        // Wait on a plain read, which keeps the cache line shared; after a short spin give the
        // processor away, since the holder may be descheduled.
        while (__atomic_load_n(lock, __ATOMIC_RELAXED) != 0) {
            if (++spins < 64) {
#if defined(__x86_64__) || defined(__i386__)
                __builtin_ia32_pause();
#endif
            } else {
                std::this_thread::yield();
            }
        }
    }
}

void OSSpinLockUnlock(volatile OSSpinLock* lock) {
    __atomic_store_n(lock, 0, __ATOMIC_RELEASE);
}
