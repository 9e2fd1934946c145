// What the heap holds while a server in the test's own process answers: read from the
// allocator's count of live blocks, never from the resident size (which a loaded machine and the
// sanitizer's quarantine would blur).
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>

// Under AddressSanitizer (GCC says so with a macro, clang with a feature test) the allocator is
// the sanitizer's own.
#if defined(__SANITIZE_ADDRESS__)
#define BN_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BN_UNDER_ASAN 1
#endif
#endif

namespace standintest {

// The bytes of the blocks allocated and not yet freed, in every arena (or by the sanitizer's
// allocator).
std::size_t liveHeapBytes();

// The most the heap held beyond what it held when this began, until stop(): a thread reads the
// count again and again, so what it reports may fall short of the true peak, never exceed it.
class HeapPeak {
public:
    HeapPeak();
    ~HeapPeak();
    HeapPeak(const HeapPeak&) = delete;
    HeapPeak& operator=(const HeapPeak&) = delete;

    std::size_t stop();

private:
    std::size_t start_;
    std::atomic<std::size_t> most_;
    std::atomic<bool> stopping_{false};
    std::thread reader_;
};

}  // namespace standintest
