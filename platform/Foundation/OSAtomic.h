// The platform's spin lock and atomic operations, in its C shape. Every "Barrier" form is a full
// memory barrier (sequentially consistent).
#pragma once

#include <cstdint>

using OSSpinLock = int32_t;
inline constexpr OSSpinLock OS_SPINLOCK_INIT = 0;

// Spins (yielding the processor after a while) until the lock is taken.
void OSSpinLockLock(volatile OSSpinLock* lock);
// Takes the lock if it is free; never waits.
bool OSSpinLockTry(volatile OSSpinLock* lock);
void OSSpinLockUnlock(volatile OSSpinLock* lock);

inline void OSMemoryBarrier() {
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
}

// Stores newValue when *target holds oldValue; true when it did.
inline bool OSAtomicCompareAndSwapPtrBarrier(void* oldValue, void* newValue,
                                             void* volatile* target) {
    return __atomic_compare_exchange_n(target, &oldValue, newValue, false, __ATOMIC_SEQ_CST,
                                       __ATOMIC_SEQ_CST);
}
inline bool OSAtomicCompareAndSwap32Barrier(int32_t oldValue, int32_t newValue,
                                            volatile int32_t* target) {
    return __atomic_compare_exchange_n(target, &oldValue, newValue, false, __ATOMIC_SEQ_CST,
                                       __ATOMIC_SEQ_CST);
}
inline bool OSAtomicCompareAndSwap64Barrier(int64_t oldValue, int64_t newValue,
                                            volatile int64_t* target) {
    return __atomic_compare_exchange_n(target, &oldValue, newValue, false, __ATOMIC_SEQ_CST,
                                       __ATOMIC_SEQ_CST);
}

// These return the new value.
inline int32_t OSAtomicAdd32Barrier(int32_t amount, volatile int32_t* target) {
    return __atomic_add_fetch(target, amount, __ATOMIC_SEQ_CST);
}
inline int32_t OSAtomicIncrement32Barrier(volatile int32_t* target) {
    return __atomic_add_fetch(target, 1, __ATOMIC_SEQ_CST);
}
inline int32_t OSAtomicDecrement32Barrier(volatile int32_t* target) {
    return __atomic_sub_fetch(target, 1, __ATOMIC_SEQ_CST);
}
inline int64_t OSAtomicAdd64Barrier(int64_t amount, volatile int64_t* target) {
    return __atomic_add_fetch(target, amount, __ATOMIC_SEQ_CST);
}
