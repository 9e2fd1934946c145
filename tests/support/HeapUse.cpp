#include "support/HeapUse.h"

#include <malloc.h>

#include <algorithm>

#if defined(BN_UNDER_ASAN)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace standintest {

std::size_t liveHeapBytes() {
#if defined(BN_UNDER_ASAN)
    return __sanitizer_get_current_allocated_bytes();
#else
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

HeapPeak::HeapPeak() : start_(liveHeapBytes()), most_(start_) {
    reader_ = std::thread([this] {
        while (!stopping_) {
            std::size_t now = liveHeapBytes();
            if (now > most_) most_ = now;
            std::this_thread::yield();
        }
    });
}

HeapPeak::~HeapPeak() {
    stop();
}

std::size_t HeapPeak::stop() {
    stopping_ = true;
    if (reader_.joinable()) reader_.join();
    std::size_t last = liveHeapBytes();
    return std::max(most_.load(), last) - start_;
}

}  // namespace standintest
