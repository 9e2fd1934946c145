// The two-level cache behind the URL request queue and the image views: decoded images in memory
// by URL, with an optional pixel budget and oldest-first eviction; raw downloaded bytes on disk,
// one file per cache key, plus one etag file per key. Disk freshness is the file's modification
// date, stamped with the Clock's time when written. Main thread only.
#pragma once

#include "Foundation/NSObject.h"

class NSData;
class NSDate;
class NSMutableArray;
class NSMutableDictionary;
class NSNotification;
class NSString;
class NSURL;
class UIImage;

class DZURLCache : public NSObject {
    NS_OBJECT(DZURLCache, NSObject)
    static void describeClass(RuntimeClass& c);

    // The shared cache, "Dodiz20", made on first use.
    static Ref<DZURLCache> sharedCache();
    static void setSharedCache(DZURLCache* cache);
    // The registered cache of that name, made and registered on first use.
    static Ref<DZURLCache> cacheWithName(NSString* name);
    // The caches folder joined with the name; the folder and its "etag" sub-folder are made when
    // missing, on every call.
    static Ref<NSString> cachePathWithName(NSString* name);
    // YES when the path exists, else whether making it (with intermediate folders) worked.
    static bool createPathIfNecessary(NSString* path);
    // The double-resolution variant: "b.png" -> "b@2x.png"; a path starting with "." as it is.
    static Ref<NSString> doubleImageURLPath(NSString* path);

    bool init() override;
    bool initWithName(NSString* name);
    void dealloc() override;

    Ref<NSString> name() { return name_; }
    Ref<NSString> cachePath() { return cachePath_; }
    void setCachePath(NSString* path);
    Ref<NSString> etagCachePath();
    uint32_t totalPixelCount() { return totalPixelCount_; }
    uint32_t maxPixelCount() { return maxPixelCount_; }
    void setMaxPixelCount(uint32_t count) { maxPixelCount_ = count; }
    NSTimeInterval invalidationAge() { return invalidationAge_; }
    void setInvalidationAge(NSTimeInterval age) { invalidationAge_ = age; }
    bool disableDiskCache() { return disableDiskCache_; }
    void setDisableDiskCache(bool disable) { disableDiskCache_ = disable; }
    bool disableImageCache() { return disableImageCache_; }
    void setDisableImageCache(bool disable) { disableImageCache_ = disable; }

    // Keys and paths.
    Ref<NSString> keyForURL(NSString* url);
    Ref<NSString> cachePathForURL(NSString* url);
    Ref<NSString> cachePathForKey(NSString* key);
    Ref<NSString> etagCachePathForKey(NSString* key);

    // Data on disk.
    bool hasDataForURL(NSString* url);  // whatever its age
    Ref<NSData> dataForURL(NSString* url);
    Ref<NSData> dataForURL(NSString* url, NSTimeInterval expirationAge, Ref<NSDate>* timestamp);
    bool hasDataForKey(NSString* key, NSTimeInterval expirationAge);
    // nil when missing or older than the expiry; the file's date goes to `timestamp`.
    Ref<NSData> dataForKey(NSString* key, NSTimeInterval expirationAge, Ref<NSDate>* timestamp);
    void storeData(NSData* data, NSString* url);
    void storeDataForKey(NSData* data, NSString* key);
    Ref<NSString> etagForKey(NSString* key);
    Ref<NSString> loadEtagFromCacheWithKey(NSString* key) { return etagForKey(key); }
    void storeEtag(NSString* etag, NSString* key);

    // Images in memory; "bundle://" and "documents://" images are read from their files.
    Ref<UIImage> imageForURL(NSString* url);
    Ref<UIImage> imageForURL(NSString* url, bool fromDisk);
    bool hasImageForURL(NSString* url, bool fromDisk);
    void storeImage(UIImage* image, NSString* url);
    void storeImage(UIImage* image, NSString* url, bool force);

    // Temporary URLs, "temp:<n>".
    Ref<NSString> createTemporaryURL();
    Ref<NSString> createUniqueTemporaryURL();
    Ref<NSString> storeTemporaryData(NSData* data);
    Ref<NSString> storeTemporaryImage(UIImage* image, bool toDisk);
    Ref<NSString> storeTemporaryFile(NSURL* fileURL);
    void moveDataForURL(NSString* oldURL, NSString* newURL);
    void moveDataFromPath(NSString* path, NSString* url);
    Ref<NSString> moveDataFromPathToTemporaryURL(NSString* path);

    // Removal and invalidation.
    void removeURL(NSString* url, bool fromDisk);
    void removeKey(NSString* key);
    void removeAll(bool fromDisk);
    void invalidateURL(NSString* url);
    void invalidateKey(NSString* key);
    void invalidateAll();
    void didReceiveMemoryWarning(NSNotification* notification);
    void logMemoryUsage() {}

    // The memory map's URLs, oldest stored first (for tests and diagnostics).
    Ref<NSMutableArray> imageSortedList() { return imageSortedList_; }

private:
    Ref<UIImage> loadImageFromBundle(NSString* url);
    Ref<UIImage> loadImageFromDocuments(NSString* url);
    bool imageExistsFromBundle(NSString* url);
    bool imageExistsFromDocuments(NSString* url);
    void expireImagesFromMemory();
    void forgetImage(NSString* url);
    // The file's modification date, nil when there is no file.
    Ref<NSDate> modificationDate(NSString* path);
    void stampFile(NSString* path, NSDate* date);

    Ref<NSString> name_;
    Ref<NSString> cachePath_;
    Ref<NSMutableDictionary> imageCache_;
    Ref<NSMutableArray> imageSortedList_;
    uint32_t totalPixelCount_ = 0;
    uint32_t maxPixelCount_ = 0;
    NSTimeInterval invalidationAge_ = 0;
    bool disableDiskCache_ = false;
    bool disableImageCache_ = false;
};
