#include "ui/core/DZURLCache.h"

#include <cmath>
#include <limits>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIKitNotifications.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZStringAdditions.h"

namespace {
constexpr uint32_t kLargeImageSize = 240000;  // pixels; larger images stay out of memory

ProcessWide<DZURLCache>& sharedSlot() {
    static ProcessWide<DZURLCache> slot;
    return slot;
}

Ref<NSMutableDictionary> namedCaches() {
    static ProcessWide<NSMutableDictionary> caches;
    return caches.get();
}

int32_t& temporaryURLCounter() {
    static int32_t counter = 0;
    return counter;
}

// The default manager is immortal: a plain pointer to it stays valid.
NSFileManager* files() {
    static NSFileManager* const manager = NSFileManager::defaultManager().get();
    return manager;
}

uint32_t pixelsOf(UIImage* image) {
    CGSize size = image->size();
    return static_cast<uint32_t>(size.width * size.height);
}
}  // namespace

void DZURLCache::describeClass(RuntimeClass& c) {
    c.method("didReceiveMemoryWarning:", &DZURLCache::didReceiveMemoryWarning);
}

Ref<DZURLCache> DZURLCache::sharedCache() {
    return sharedSlot().get();
}

void DZURLCache::setSharedCache(DZURLCache* cache) {
    if (sharedSlot().peek().get() != cache) sharedSlot().exchange(cache);
}

Ref<DZURLCache> DZURLCache::cacheWithName(NSString* name) {
    auto caches = namedCaches();
    if (auto cache = as<DZURLCache>(caches->objectForKey(name))) return cache;
    auto cache = make<DZURLCache>(&DZURLCache::initWithName, name);
    caches->setObject(cache, name);
    return cache;
}

Ref<NSString> DZURLCache::cachePathWithName(NSString* name) {
    Ref<NSArray> folders =
        NSSearchPathForDirectoriesInDomains(NSCachesDirectory, NSUserDomainMask, true);
    Ref<NSString> caches =
        cast<NSString>(folders->objectAtIndex(0))->stringByExpandingTildeInPath();
    Ref<NSString> path = caches->stringByAppendingPathComponent(name);
    Ref<NSString> etagPath = path->stringByAppendingPathComponent(NS("etag"));
    createPathIfNecessary(caches);
    createPathIfNecessary(path);
    createPathIfNecessary(etagPath);
    return path;
}

bool DZURLCache::createPathIfNecessary(NSString* path) {
    if (files()->fileExistsAtPath(path)) return true;
    return files()->createDirectoryAtPath(path, true, nullptr, nullptr);
}

Ref<NSString> DZURLCache::doubleImageURLPath(NSString* path) {
    if (path->hasPrefix(NS("."))) return path;
    Ref<NSString> extension = path->pathExtension();
    Ref<NSString> doubled =
        path->stringByDeletingPathExtension()->stringByAppendingString(NS("@2x"));
    if (extension->length() > 0) {
        doubled = doubled->stringByAppendingFormat(NS(".%@"), extension);
    }
    return doubled;
}

bool DZURLCache::init() {
    return initWithName(NS("Dodiz20"));
}

bool DZURLCache::initWithName(NSString* name) {
    name_ = name->copy();
    cachePath_ = cachePathWithName(name_);
    invalidationAge_ = 86400;
    NSNotificationCenter::defaultCenter()->addObserver(
        this, Selector::named("didReceiveMemoryWarning:"),
        UIApplicationDidReceiveMemoryWarningNotification, nullptr);
    return true;
}

void DZURLCache::dealloc() {
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    NSObject::dealloc();
}

void DZURLCache::setCachePath(NSString* path) {
    cachePath_ = path ? path->copy() : nullptr;
}

Ref<NSString> DZURLCache::etagCachePath() {
    return cachePath_->stringByAppendingPathComponent(NS("etag"));
}

// ---- keys and paths ---------------------------------------------------------------------------

Ref<NSString> DZURLCache::keyForURL(NSString* url) {
    return md5Hash(url);
}

Ref<NSString> DZURLCache::cachePathForURL(NSString* url) {
    return cachePathForKey(keyForURL(url));
}

Ref<NSString> DZURLCache::cachePathForKey(NSString* key) {
    return cachePath_->stringByAppendingPathComponent(key);
}

Ref<NSString> DZURLCache::etagCachePathForKey(NSString* key) {
    return etagCachePath()->stringByAppendingPathComponent(key);
}

// ---- data -------------------------------------------------------------------------------------

Ref<NSDate> DZURLCache::modificationDate(NSString* path) {
    Ref<NSDictionary> attributes = files()->attributesOfItemAtPath(path, nullptr);
    return attributes ? as<NSDate>(attributes->objectForKey(NSFileModificationDate)) : nullptr;
}

void DZURLCache::stampFile(NSString* path, NSDate* date) {
    files()->setAttributes(NSDictionary::dictionaryWithObject(date, NSFileModificationDate), path,
                           nullptr);
}

bool DZURLCache::hasDataForURL(NSString* url) {
    return files()->fileExistsAtPath(cachePathForURL(url));
}

Ref<NSData> DZURLCache::dataForURL(NSString* url) {
    return dataForURL(url, std::numeric_limits<double>::infinity(), nullptr);
}

Ref<NSData> DZURLCache::dataForURL(NSString* url, NSTimeInterval expirationAge,
                                   Ref<NSDate>* timestamp) {
    return dataForKey(keyForURL(url), expirationAge, timestamp);
}

bool DZURLCache::hasDataForKey(NSString* key, NSTimeInterval expirationAge) {
    Ref<NSDate> modified = modificationDate(cachePathForKey(key));
    return modified && modified->timeIntervalSinceNow() >= -expirationAge;
}

Ref<NSData> DZURLCache::dataForKey(NSString* key, NSTimeInterval expirationAge,
                                   Ref<NSDate>* timestamp) {
    Ref<NSString> path = cachePathForKey(key);
    Ref<NSDate> modified = modificationDate(path);
    if (!modified || modified->timeIntervalSinceNow() < -expirationAge) return nullptr;
    Ref<NSData> data = NSData::dataWithContentsOfFile(path);
    if (data && timestamp) *timestamp = modified;
    return data;
}

void DZURLCache::storeData(NSData* data, NSString* url) {
    storeDataForKey(data, keyForURL(url));
}

void DZURLCache::storeDataForKey(NSData* data, NSString* key) {
    if (disableDiskCache_ || !data) return;
    Ref<NSString> path = cachePathForKey(key);
    // Freshness is judged on the Clock, so the file carries the Clock's time, not the disk's.
    if (data->writeToFile(path, false)) stampFile(path, NSDate::date());
}

Ref<NSString> DZURLCache::etagForKey(NSString* key) {
    Ref<NSData> data = NSData::dataWithContentsOfFile(etagCachePathForKey(key));
    return data ? NSString::stringWithData(data, NSUTF8StringEncoding) : nullptr;
}

void DZURLCache::storeEtag(NSString* etag, NSString* key) {
    Ref<NSData> bytes = etag->dataUsingEncoding(NSUTF8StringEncoding);
    if (bytes) bytes->writeToFile(etagCachePathForKey(key), false);
}

// ---- images -----------------------------------------------------------------------------------

Ref<UIImage> DZURLCache::imageForURL(NSString* url) {
    return imageForURL(url, true);
}

Ref<UIImage> DZURLCache::imageForURL(NSString* url, bool fromDisk) {
    if (imageCache_) {
        if (auto image = as<UIImage>(imageCache_->objectForKey(url))) return image;
    }
    if (!fromDisk) return nullptr;
    Ref<UIImage> image;
    if (DZHasBundleScheme(url)) {
        image = loadImageFromBundle(url);
    } else if (DZHasDocumentsScheme(url)) {
        image = loadImageFromDocuments(url);
    } else {
        // Data files hold undecoded bytes; the request queue's image processor decodes them.
        return nullptr;
    }
    if (image) storeImage(image, url);
    return image;
}

bool DZURLCache::hasImageForURL(NSString* url, bool fromDisk) {
    if (imageCache_ && imageCache_->objectForKey(url)) return true;
    if (!fromDisk) return false;
    if (DZHasBundleScheme(url)) return imageExistsFromBundle(url);
    if (DZHasDocumentsScheme(url)) return imageExistsFromDocuments(url);
    return false;
}

Ref<UIImage> DZURLCache::loadImageFromBundle(NSString* url) {
    return UIImage::imageWithContentsOfFile(DZBundleResourcePath(url->substringFromIndex(9)));
}

Ref<UIImage> DZURLCache::loadImageFromDocuments(NSString* url) {
    return UIImage::imageWithContentsOfFile(DZDocumentsResourcePath(url->substringFromIndex(12)));
}

bool DZURLCache::imageExistsFromBundle(NSString* url) {
    Ref<NSString> path = DZBundleResourcePath(url->substringFromIndex(9));
    return files()->fileExistsAtPath(path) || files()->fileExistsAtPath(doubleImageURLPath(path));
}

bool DZURLCache::imageExistsFromDocuments(NSString* url) {
    Ref<NSString> path = DZDocumentsResourcePath(url->substringFromIndex(12));
    return files()->fileExistsAtPath(path) || files()->fileExistsAtPath(doubleImageURLPath(path));
}

void DZURLCache::storeImage(UIImage* image, NSString* url) {
    storeImage(image, url, false);
}

void DZURLCache::storeImage(UIImage* image, NSString* url, bool force) {
    if (!image || !url || (disableImageCache_ && !force)) return;
    uint32_t pixels = pixelsOf(image);
    if (!force && pixels >= kLargeImageSize) return;
    if (!imageCache_) {
        imageCache_ = NSMutableDictionary::dictionary();
        imageSortedList_ = NSMutableArray::array();
    }
    if (auto previous = as<UIImage>(imageCache_->objectForKey(url))) {
        totalPixelCount_ -= pixelsOf(previous);
        imageSortedList_->removeObject(url);
    }
    totalPixelCount_ += pixels;
    if (maxPixelCount_ && totalPixelCount_ > maxPixelCount_) expireImagesFromMemory();
    imageSortedList_->addObject(url);
    imageCache_->setObject(image, url);
}

void DZURLCache::expireImagesFromMemory() {
    do {
        if (imageSortedList_->count() == 0) return;
        Ref<NSString> oldest = cast<NSString>(imageSortedList_->objectAtIndex(0));
        if (auto image = as<UIImage>(imageCache_->objectForKey(oldest))) {
            totalPixelCount_ -= pixelsOf(image);
        }
        imageCache_->removeObjectForKey(oldest);
        imageSortedList_->removeObjectAtIndex(0);
    } while (totalPixelCount_ > maxPixelCount_);
}

void DZURLCache::forgetImage(NSString* url) {
    if (!imageCache_) return;
    if (auto image = as<UIImage>(imageCache_->objectForKey(url))) {
        totalPixelCount_ -= pixelsOf(image);
        imageCache_->removeObjectForKey(url);
    }
    imageSortedList_->removeObject(url);
}

// ---- temporary URLs ---------------------------------------------------------------------------

Ref<NSString> DZURLCache::createTemporaryURL() {
    return NSString::stringWithFormat(NS("temp:%d"), temporaryURLCounter()++);
}

Ref<NSString> DZURLCache::createUniqueTemporaryURL() {
    Ref<NSString> url = createTemporaryURL();
    while (hasDataForURL(url))
        url = createTemporaryURL();
    return url;
}

Ref<NSString> DZURLCache::storeTemporaryData(NSData* data) {
    Ref<NSString> url = createUniqueTemporaryURL();
    storeData(data, url);
    return url;
}

Ref<NSString> DZURLCache::storeTemporaryImage(UIImage* image, bool) {
    Ref<NSString> url = createUniqueTemporaryURL();
    storeImage(image, url, true);
    storeData(UIImagePNGRepresentation(image), url);
    return url;
}

Ref<NSString> DZURLCache::storeTemporaryFile(NSURL* fileURL) {
    if (!fileURL || !fileURL->isFileURL()) return nullptr;
    Ref<NSString> path = fileURL->path();
    if (!files()->fileExistsAtPath(path)) return nullptr;
    Ref<NSString> url = createUniqueTemporaryURL();
    if (!files()->moveItemAtPath(path, cachePathForURL(url), nullptr)) return nullptr;
    return url;
}

void DZURLCache::moveDataForURL(NSString* oldURL, NSString* newURL) {
    if (Ref<UIImage> image = imageForURL(oldURL)) {
        forgetImage(oldURL);
        storeImage(image, newURL, true);
    }
    Ref<NSString> oldPath = cachePathForURL(oldURL);
    if (files()->fileExistsAtPath(oldPath)) {
        Ref<NSString> newPath = cachePathForURL(newURL);
        files()->removeItemAtPath(newPath, nullptr);
        files()->moveItemAtPath(oldPath, newPath, nullptr);
    }
}

void DZURLCache::moveDataFromPath(NSString* path, NSString* url) {
    if (!files()->fileExistsAtPath(path)) return;
    Ref<NSString> newPath = cachePathForURL(url);
    files()->removeItemAtPath(newPath, nullptr);
    files()->moveItemAtPath(path, newPath, nullptr);
}

Ref<NSString> DZURLCache::moveDataFromPathToTemporaryURL(NSString* path) {
    Ref<NSString> url = createUniqueTemporaryURL();
    moveDataFromPath(path, url);
    return url;
}

// ---- removal and invalidation -----------------------------------------------------------------

void DZURLCache::removeURL(NSString* url, bool fromDisk) {
    forgetImage(url);
    if (fromDisk) {
        Ref<NSString> path = cachePathForURL(url);
        if (files()->fileExistsAtPath(path)) files()->removeItemAtPath(path, nullptr);
    }
}

void DZURLCache::removeKey(NSString* key) {
    Ref<NSString> path = cachePathForKey(key);
    if (files()->fileExistsAtPath(path)) files()->removeItemAtPath(path, nullptr);
}

void DZURLCache::removeAll(bool fromDisk) {
    if (imageCache_) {
        imageCache_->removeAllObjects();
        imageSortedList_->removeAllObjects();
    }
    totalPixelCount_ = 0;
    if (fromDisk) {
        files()->removeItemAtPath(cachePath_, nullptr);
        createPathIfNecessary(cachePath_);
        // Without its etag folder the cache would silently stop keeping etags.
        createPathIfNecessary(etagCachePath());
    }
}

void DZURLCache::invalidateURL(NSString* url) {
    invalidateKey(keyForURL(url));
}

void DZURLCache::invalidateKey(NSString* key) {
    Ref<NSString> path = cachePathForKey(key);
    if (files()->fileExistsAtPath(path)) {
        stampFile(path, NSDate::dateWithTimeIntervalSinceNow(-invalidationAge_));
    }
}

void DZURLCache::invalidateAll() {
    Ref<NSDate> old = NSDate::dateWithTimeIntervalSinceNow(-invalidationAge_);
    Ref<NSArray> paths = files()->subpathsAtPath(cachePath_);
    if (!paths) return;
    for (NSObject* sub : *paths) {
        stampFile(cachePath_->stringByAppendingPathComponent(static_cast<NSString*>(sub)), old);
    }
}

void DZURLCache::didReceiveMemoryWarning(NSNotification*) {
    removeAll(false);
}
