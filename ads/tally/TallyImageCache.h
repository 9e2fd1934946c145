// The ad client's disk caches. TallyFileCache keeps whole objects as keyed archives, one file a
// name and API key, under the caches folder's "Tally"; TallyImageCache keeps up to 40 ad images
// there in least-recently-used order, with the server's cache update time that the analytics
// upload reports beside the stored ids.
#pragma once

#include <cstdint>
#include <mutex>

#include "Foundation/NSArray.h"
#include "Foundation/NSCoder.h"
#include "Foundation/NSLock.h"

class NSMutableArray;
class NSMutableDictionary;
class NSNumber;
class NSString;
class TallyAdImage;

class TallyFileCache : public NSObject {
    NS_OBJECT(TallyFileCache, NSObject)
    // Made once for the first API key; later keys are ignored.
    static Ref<TallyFileCache> createInstanceWithApiKey(NSString* apiKey);
    static Ref<TallyFileCache> instance();  // nil before creation

    bool initWithApiKey(NSString* apiKey);
    Ref<NSString> apiKey() { return apiKey_; }

    Ref<NSString> createDirectoryPath();  // made when missing
    Ref<NSString> createFilePath(NSString* prefix);
    // The file's path, or nil when the object could not be written.
    Ref<NSString> save(NSObject* object, NSString* prefix);
    // The stored object; nil when there is none. A file that does not read back as an archive
    // counts as missing and is removed.
    Ref<NSObject> get(NSString* prefix);
    bool remove(NSString* prefix);
    bool removeCache();  // the whole folder

private:
    Ref<NSString> apiKey_;
};

class TallyImageCache : public NSObject, public NSCoding {
    NS_OBJECT(TallyImageCache, NSObject)

    // The singleton: read back from the file cache's "imageCache", or, when there is none, an
    // empty one after the whole cache folder is cleared. It always leaves a singleton that has
    // its file cache (the file cache singleton when none is given).
    static Ref<TallyImageCache> createInstanceWithFileCache(TallyFileCache* fileCache);
    // Run at every session start.
    static Ref<TallyImageCache> recreateInstanceWithFileCache(TallyFileCache* fileCache);
    // The singleton, or nil before a session start made it (never made here).
    static Ref<TallyImageCache> instance();

    bool initWithFileCache(TallyFileCache* fileCache);
    static constexpr int kMaxImageCached = 40;

    // Writes the image's file and indexes it as the most recent; a new id beyond the limit first
    // evicts the least recently used indexed id.
    void save(TallyAdImage* image, NSNumber* imageId);
    Ref<TallyAdImage> get(NSNumber* imageId);
    // Drops the id from the index; true when its file was removed.
    bool remove(NSNumber* imageId);
    void setAsMostRecentlyUsed(NSNumber* imageId);
    // The ids of the cached images, each a number read as a signed 64-bit id.
    Ref<NSArray> storedIds();
    Ref<NSArray> lru();
    static Ref<NSString> imageIdToFileName(NSNumber* imageId);

    int64_t cacheUpdateTimestamp();
    void setCacheUpdateTimestamp(int64_t timestamp);
    Ref<TallyFileCache> fileCache() { return fileCache_; }
    void setFileCache(TallyFileCache* fileCache) { fileCache_ = fileCache; }

    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    bool removeLocked(NSNumber* imageId);
    void touchLocked(NSNumber* imageId);

    // The index and the order are shared by the upload and main threads.
    Ref<NSRecursiveLock> lock_ = make<NSRecursiveLock>();
    Ref<TallyFileCache> fileCache_;
    Ref<NSMutableDictionary> index_;
    int32_t maxImageCached_ = kMaxImageCached;
    Ref<NSMutableArray> lru_;
    int64_t cacheUpdateTimestamp_ = 0;
};
