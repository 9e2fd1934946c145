#include "ads/tally/TallyImageCache.h"

#include <mutex>

namespace {
std::mutex cacheLock;
Ref<TallyImageCache> shared;
}  // namespace

Ref<TallyImageCache> TallyImageCache::instance() {
    std::lock_guard lock(cacheLock);
    if (!shared) shared = make<TallyImageCache>();
    return shared;
}

void TallyImageCache::recreateInstanceWithFileCache(NSObject*) {
    std::lock_guard lock(cacheLock);
    shared = make<TallyImageCache>();
}
