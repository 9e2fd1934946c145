#include "ads/tally/TallyImageCache.h"

#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSKeyedArchiver.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "ads/tally/TallyAdModel.h"
#include "analytics/base/TallyUtil.h"

namespace {
ProcessWide<TallyFileCache>& sharedFileCache() {
    static ProcessWide<TallyFileCache> slot;
    return slot;
}
ProcessWide<TallyImageCache>& sharedImageCache() {
    static ProcessWide<TallyImageCache> slot;
    return slot;
}
}  // namespace

Ref<TallyFileCache> TallyFileCache::createInstanceWithApiKey(NSString* apiKey) {
    return sharedFileCache().getOr(
        [&] { return make<TallyFileCache>(&TallyFileCache::initWithApiKey, apiKey); });
}

Ref<TallyFileCache> TallyFileCache::instance() {
    return sharedFileCache().peek();
}

bool TallyFileCache::initWithApiKey(NSString* apiKey) {
    if (!NSObject::init()) return false;
    apiKey_ = apiKey ? cast<NSString>(apiKey->copy()) : nullptr;
    return true;
}

Ref<NSString> TallyFileCache::createDirectoryPath() {
    auto paths = NSSearchPathForDirectoriesInDomains(NSCachesDirectory, NSUserDomainMask, true);
    Ref<NSString> base =
        paths->count() ? cast<NSString>(paths->objectAtIndex(0)) : Ref<NSString>(NS(""));
    auto folder = NSString::stringWithFormat(NS("%@/Tally"), base->stringByExpandingTildeInPath());
    auto files = NSFileManager::defaultManager();
    if (!files->fileExistsAtPath(folder))
        files->createDirectoryAtPath(folder, true, nullptr, nullptr);
    return folder;
}

Ref<NSString> TallyFileCache::createFilePath(NSString* prefix) {
    return NSString::stringWithFormat(NS("%@/tallyCache_%@_%@.archive"), createDirectoryPath(),
                                      prefix, apiKey_);
}

Ref<NSString> TallyFileCache::save(NSObject* object, NSString* prefix) {
    auto path = createFilePath(prefix);
    if (object && NSKeyedArchiver::archiveRootObject(object, path)) {
        TallyUtil::debugLog(NS("Tally: object[%@] saved to disk at path[%@]"), object, path);
        return path;
    }
    TallyUtil::debugLog(NS("Tally: object[%@] cannot be saved to disk"), object);
    return nullptr;
}

Ref<NSObject> TallyFileCache::get(NSString* prefix) {
    auto path = createFilePath(prefix);
    if (!NSFileManager::defaultManager()->fileExistsAtPath(path)) return nullptr;
    Ref<NSObject> object;
    try {
        object = NSKeyedUnarchiver::unarchiveObjectWithFile(path);
    } catch (ExceptionRaised&) {
        object = nullptr;
    }
    if (!object) {
        // A damaged file would fail every later start the same way.
        NSFileManager::defaultManager()->removeItemAtPath(path, nullptr);
        return nullptr;
    }
    TallyUtil::debugLog(NS("Tally: object[%@] retrieved from disk at path[%@]"), object, path);
    return object;
}

bool TallyFileCache::remove(NSString* prefix) {
    auto path = createFilePath(prefix);
    bool removed = NSFileManager::defaultManager()->removeItemAtPath(path, nullptr);
    TallyUtil::debugLog(NS("Tally: object at path[%@] removed from disk successful[%d]"), path,
                        removed ? 1 : 0);
    return removed;
}

bool TallyFileCache::removeCache() {
    auto path = createDirectoryPath();
    bool removed = NSFileManager::defaultManager()->removeItemAtPath(path, nullptr);
    TallyUtil::debugLog(NS("Tally: object at path[%@] removed from disk successful[%d]"), path,
                        removed ? 1 : 0);
    return removed;
}

Ref<TallyImageCache> TallyImageCache::createInstanceWithFileCache(TallyFileCache* fileCache) {
    registerTallyAdModelClasses();
    auto cache = sharedImageCache().getOr([&]() -> Ref<TallyImageCache> {
        auto files = TallyFileCache::instance();
        if (!fileCache) fileCache = files.get();
        auto stored = files ? as<TallyImageCache>(files->get(NS("imageCache"))) : nullptr;
        if (stored) {
            stored->setFileCache(fileCache);
            return stored;
        }
        if (files) files->removeCache();
        return make<TallyImageCache>(&TallyImageCache::initWithFileCache, fileCache);
    });
    // A cache that cannot reach its files would silently keep nothing.
    if (!cache->fileCache())
        cache->setFileCache(fileCache ? fileCache : TallyFileCache::instance().get());
    return cache;
}

Ref<TallyImageCache> TallyImageCache::recreateInstanceWithFileCache(TallyFileCache* fileCache) {
    TallyUtil::debugLog(NS("Tally: recreate TallyImageCache"));
    auto previous = sharedImageCache().exchange(nullptr);  // freed after the new one is made
    return createInstanceWithFileCache(fileCache);
}

Ref<TallyImageCache> TallyImageCache::instance() {
    return sharedImageCache().peek();
}

bool TallyImageCache::initWithFileCache(TallyFileCache* fileCache) {
    if (!NSObject::init()) return false;
    fileCache_ = fileCache;
    index_ = NSMutableDictionary::dictionaryWithCapacity(kMaxImageCached);
    lru_ = NSMutableArray::arrayWithCapacity(kMaxImageCached);
    return true;
}

Ref<NSString> TallyImageCache::imageIdToFileName(NSNumber* imageId) {
    return NSString::stringWithFormat(NS("tallyImage%@"), imageId);
}

void TallyImageCache::save(TallyAdImage* image, NSNumber* imageId) {
    TallyUtil::debugLog(NS("Tally: Image cache saving imageId[%@]"), imageId);
    if (!image || !imageId || !fileCache_) return;
    std::lock_guard lock(*lock_);
    if (!index_->objectForKey(imageId) &&
        static_cast<int32_t>(index_->count()) >= maxImageCached_) {
        // The oldest id that is indexed: the order also holds ids only ever shown from memory.
        for (auto* id : *lru_) {
            if (index_->objectForKey(id)) {
                Ref<NSNumber> oldest = cast<NSNumber>(Ref<NSObject>(id));
                TallyUtil::debugLog(NS("Tally: Image cache full, remove oldest entry[%@]"), oldest);
                removeLocked(oldest);
                break;
            }
        }
    }
    auto prefix = imageIdToFileName(imageId);
    if (fileCache_->save(image, prefix)) {
        index_->setObject(prefix, imageId);
        touchLocked(imageId);
    }
}

Ref<TallyAdImage> TallyImageCache::get(NSNumber* imageId) {
    TallyUtil::debugLog(NS("Tally: Image cache retrieving imageId[%@]"), imageId);
    if (!imageId) return nullptr;
    std::lock_guard lock(*lock_);
    auto prefix = as<NSString>(index_->objectForKey(imageId));
    if (!prefix || !fileCache_) return nullptr;
    touchLocked(imageId);
    auto image = as<TallyAdImage>(fileCache_->get(prefix));
    if (!image) {
        index_->removeObjectForKey(imageId);
        lru_->removeObject(imageId);
    }
    return image;
}

bool TallyImageCache::remove(NSNumber* imageId) {
    TallyUtil::debugLog(NS("Tally: Image cache removing imageId[%@]"), imageId);
    if (!imageId) return false;
    std::lock_guard lock(*lock_);
    return removeLocked(imageId);
}

bool TallyImageCache::removeLocked(NSNumber* imageId) {
    auto prefix = as<NSString>(index_->objectForKey(imageId));
    if (!prefix) return false;
    bool removed = fileCache_ && fileCache_->remove(prefix);
    // An entry whose file will not go is still dropped, so the cache keeps to its limit.
    index_->removeObjectForKey(imageId);
    lru_->removeObject(imageId);
    return removed;
}

void TallyImageCache::setAsMostRecentlyUsed(NSNumber* imageId) {
    TallyUtil::debugLog(NS("Tally: Image cache setting imageId[%@] as most recently used"),
                        imageId);
    if (!imageId) return;
    std::lock_guard lock(*lock_);
    touchLocked(imageId);
}

void TallyImageCache::touchLocked(NSNumber* imageId) {
    lru_->removeObject(imageId);
    lru_->addObject(imageId);
}

Ref<NSArray> TallyImageCache::storedIds() {
    std::lock_guard lock(*lock_);
    return index_->allKeys();
}

Ref<NSArray> TallyImageCache::lru() {
    std::lock_guard lock(*lock_);
    return NSArray::arrayWithArray(lru_);
}

int64_t TallyImageCache::cacheUpdateTimestamp() {
    std::lock_guard lock(*lock_);
    return cacheUpdateTimestamp_;
}

void TallyImageCache::setCacheUpdateTimestamp(int64_t timestamp) {
    std::lock_guard lock(*lock_);
    cacheUpdateTimestamp_ = timestamp;
}

void TallyImageCache::encodeWithCoder(NSCoder* c) {
    TallyUtil::debugLog(NS("Tally: Encode TallyImageCache"));
    std::lock_guard lock(*lock_);
    c->encodeObject(index_, NS("index"));
    c->encodeInt32(maxImageCached_, NS("maxImageCached"));
    c->encodeObject(lru_, NS("lru"));
    c->encodeInt64(cacheUpdateTimestamp_, NS("cacheUpdateTimestamp"));
}

bool TallyImageCache::initWithCoder(NSCoder* c) {
    auto index = as<NSDictionary>(c->decodeObjectForKey(NS("index")));
    auto lru = as<NSArray>(c->decodeObjectForKey(NS("lru")));
    index_ = index ? NSMutableDictionary::dictionaryWithDictionary(index)
                   : NSMutableDictionary::dictionaryWithCapacity(kMaxImageCached);
    lru_ = lru ? NSMutableArray::arrayWithArray(lru)
               : NSMutableArray::arrayWithCapacity(kMaxImageCached);
    maxImageCached_ = c->decodeInt32ForKey(NS("maxImageCached"));
    if (maxImageCached_ <= 0) maxImageCached_ = kMaxImageCached;
    cacheUpdateTimestamp_ = c->decodeInt64ForKey(NS("cacheUpdateTimestamp"));
    return true;
}
