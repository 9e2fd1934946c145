// Where objects' memory comes from: small blocks freed on a thread are kept by that thread for
// its next objects. A reader that builds a document makes hundreds of small objects and frees
// them together; the C library keeps only a handful of freed blocks of a size at hand and sorts
// the rest back into its bins, which cost as much as the reading. Under the address sanitizer
// every block goes straight to the C library, so that a use after free is still caught.
#include <malloc.h>

#include <cstdint>
#include <cstdlib>
#include <new>

#include "Foundation/NSObject.h"

#if defined(__SANITIZE_ADDRESS__)
#define BN_OBJECT_CACHE 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BN_OBJECT_CACHE 0
#endif
#endif
#ifndef BN_OBJECT_CACHE
#define BN_OBJECT_CACHE 1
#endif

namespace {

#if BN_OBJECT_CACHE

// Blocks are sorted by the C library's unit of 16 bytes: a block of class c holds at least
// c * 16 - 8 bytes, as the library's own headers leave them.
constexpr size_t kUnit = 16;
constexpr size_t kClasses = 33;                   // blocks of up to 520 bytes
constexpr size_t kBytesKeptPerClass = 32 * 1024;  // per thread

struct FreeBlock {
    FreeBlock* next;
};

// Plain data, so that reaching it costs nothing; the thread's Reaper empties it at the end.
struct Cache {
    FreeBlock* heads[kClasses];
    uint32_t counts[kClasses];
    bool registered;  // the Reaper is set up
    bool ended;       // the thread is ending: blocks go back to the library
};
constinit thread_local Cache cache{};

struct Reaper {
    void touch() {}
    ~Reaper() {
        cache.ended = true;
        for (size_t c = 0; c < kClasses; ++c) {
            while (FreeBlock* b = cache.heads[c]) {
                cache.heads[c] = b->next;
                std::free(b);
            }
            cache.counts[c] = 0;
        }
    }
};
thread_local Reaper reaper;

// The class whose blocks can hold `size` bytes.
size_t classFor(size_t size) {
    const size_t c = (size + 8 + kUnit - 1) / kUnit;
    return c < 2 ? 2 : c;
}

#endif

}  // namespace

namespace objc_detail {

bool objectBlocksAreKept() noexcept {
    return BN_OBJECT_CACHE;
}

void* allocateObject(size_t size) {
#if BN_OBJECT_CACHE
    const size_t c = classFor(size);
    if (c < kClasses) {
        if (FreeBlock* b = cache.heads[c]) {
            cache.heads[c] = b->next;
            --cache.counts[c];
            return b;
        }
        size = c * kUnit - 8;  // the whole class, so the block can serve any object of it
    }
#endif
    if (void* p = std::malloc(size)) return p;
    throw std::bad_alloc();
}

void freeObject(void* p) noexcept {
    if (!p) return;
#if BN_OBJECT_CACHE
    // The library knows the block's size; a block of class c serves any object of class c.
    const size_t c = (malloc_usable_size(p) + 8) / kUnit;
    if (c < kClasses && !cache.ended && cache.counts[c] * c * kUnit < kBytesKeptPerClass) {
        if (!cache.registered) {
            cache.registered = true;
            reaper.touch();
        }
        auto* b = static_cast<FreeBlock*>(p);
        b->next = cache.heads[c];
        cache.heads[c] = b;
        ++cache.counts[c];
        return;
    }
#endif
    std::free(p);
}

}  // namespace objc_detail
