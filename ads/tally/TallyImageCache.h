// The ad client's image cache singleton; the analytics upload reports what it holds.
#pragma once

#include <cstdint>

#include "Foundation/NSArray.h"

class TallyImageCache : public NSObject {
    NS_OBJECT(TallyImageCache, NSObject)

    static Ref<TallyImageCache> instance();
    // Reloads the singleton from the ad client's file cache; an empty client holds no images.
    static void recreateInstanceWithFileCache(NSObject* fileCache);

    int64_t cacheUpdateTimestamp() { return 0; }
    // The ids of the cached images, each a number read as a signed 64-bit id.
    Ref<NSArray> storedIds() { return NSArray::array(); }
};
