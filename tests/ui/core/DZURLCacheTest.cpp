// The URL cache: the memory map's pixel budget and eviction order, disk copies aged on the
// manual clock, invalidation, etags, temporary URLs, moves and removals.
#include <gtest/gtest.h>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSURL.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIKitNotifications.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZURLCache.h"

namespace {

Ref<UIImage> imageOf(CGFloat width, CGFloat height) {
    return UIImage::imageWithSize(CGSizeMake(width, height), 1);
}

Ref<NSData> bytes(const char* text) {
    return NSData::dataWithBytes(text, strlen(text));
}

std::string textOf(NSData* data) {
    return data ? std::string(static_cast<const char*>(data->bytes()), data->length()) : "<nil>";
}

class URLCache : public ::testing::Test {
protected:
    void SetUp() override {
        cache = make<DZURLCache>(&DZURLCache::initWithName, NS("CacheTest"));
        cache->removeAll(true);
    }
    ManualClockScope clock;
    Ref<DZURLCache> cache;
};

}  // namespace

TEST_F(URLCache, LargeImagesStayOutUnlessForced) {
    cache->storeImage(imageOf(400, 600), NS("http://a.test/big"));
    EXPECT_FALSE(cache->imageForURL(NS("http://a.test/big"), false));
    cache->storeImage(imageOf(399, 600), NS("http://a.test/fits"));
    EXPECT_TRUE(cache->imageForURL(NS("http://a.test/fits"), false));
    EXPECT_EQ(cache->totalPixelCount(), 399u * 600u);
    cache->storeImage(imageOf(400, 600), NS("http://a.test/big"), true);
    EXPECT_TRUE(cache->imageForURL(NS("http://a.test/big"), false));

    cache->setDisableImageCache(true);
    cache->storeImage(imageOf(10, 10), NS("http://a.test/off"));
    EXPECT_FALSE(cache->hasImageForURL(NS("http://a.test/off"), false));
}

TEST_F(URLCache, AReplacedImageCountsOnceAndEvictionTakesTheOldest) {
    cache->storeImage(imageOf(100, 100), NS("u1"));
    cache->storeImage(imageOf(200, 200), NS("u1"));
    EXPECT_EQ(cache->totalPixelCount(), 40000u);
    EXPECT_EQ(cache->imageSortedList()->count(), 1u);

    cache->setMaxPixelCount(100000);
    cache->storeImage(imageOf(200, 200), NS("u2"));
    EXPECT_EQ(cache->totalPixelCount(), 80000u);
    cache->storeImage(imageOf(200, 200), NS("u3"));
    EXPECT_EQ(cache->totalPixelCount(), 80000u);
    EXPECT_FALSE(cache->hasImageForURL(NS("u1"), false));
    EXPECT_TRUE(cache->hasImageForURL(NS("u2"), false));
    EXPECT_TRUE(cache->hasImageForURL(NS("u3"), false));
    // Reading does not refresh: u2 is still the oldest.
    cache->imageForURL(NS("u2"));
    cache->storeImage(imageOf(200, 200), NS("u4"));
    EXPECT_FALSE(cache->hasImageForURL(NS("u2"), false));
    EXPECT_TRUE(cache->hasImageForURL(NS("u3"), false));

    cache->removeURL(NS("u3"), false);
    EXPECT_EQ(cache->totalPixelCount(), 40000u);
}

TEST_F(URLCache, DiskCopiesAgeOnTheClock) {
    Ref<NSString> key = cache->keyForURL(NS("http://a.test/x"));
    EXPECT_EQ(key->length(), 32u);
    cache->storeDataForKey(bytes("payload"), key);
    Ref<NSDate> stored = NSDate::date();
    Clock::advance(10);
    EXPECT_TRUE(cache->hasDataForKey(key, 60));
    EXPECT_FALSE(cache->hasDataForKey(key, 5));
    Ref<NSDate> timestamp;
    EXPECT_EQ(textOf(cache->dataForKey(key, 60, &timestamp)), "payload");
    ASSERT_TRUE(timestamp);
    EXPECT_NEAR(timestamp->timeIntervalSinceDate(stored), 0, 0.001);
    EXPECT_FALSE(cache->dataForKey(key, 5, nullptr));
    EXPECT_EQ(textOf(cache->dataForURL(NS("http://a.test/x"))), "payload");
    EXPECT_TRUE(cache->hasDataForURL(NS("http://a.test/x")));
    // Web data files are never decoded by the cache.
    EXPECT_FALSE(cache->imageForURL(NS("http://a.test/x")));
}

TEST_F(URLCache, InvalidationBackdatesByTheInvalidationAge) {
    Ref<NSString> key = cache->keyForURL(NS("http://a.test/old"));
    cache->storeDataForKey(bytes("old"), key);
    cache->invalidateKey(key);
    EXPECT_TRUE(cache->hasDataForKey(key, 604800));
    EXPECT_FALSE(cache->hasDataForKey(key, 3600));

    cache->storeData(bytes("fresh"), NS("http://a.test/fresh"));
    cache->invalidateAll();
    EXPECT_FALSE(cache->dataForURL(NS("http://a.test/fresh"), 3600, nullptr));
    EXPECT_TRUE(cache->dataForURL(NS("http://a.test/fresh"), 90000, nullptr));

    cache->removeKey(key);
    EXPECT_FALSE(cache->hasDataForKey(key, 1e9));
}

TEST_F(URLCache, DisabledDiskCacheWritesNoDataButEtagsStill) {
    cache->setDisableDiskCache(true);
    cache->storeData(bytes("x"), NS("http://a.test/off"));
    EXPECT_FALSE(cache->hasDataForURL(NS("http://a.test/off")));
    cache->storeEtag(NS("\"v1\""), NS("k"));
    EXPECT_EQ(cache->etagForKey(NS("k"))->utf8(), "\"v1\"");
    EXPECT_FALSE(cache->etagForKey(NS("none")));
}

TEST_F(URLCache, RemovingEverythingKeepsTheEtagFolder) {
    cache->storeData(bytes("x"), NS("http://a.test/1"));
    cache->storeImage(imageOf(10, 10), NS("http://a.test/1"));
    cache->removeAll(true);
    EXPECT_FALSE(cache->hasDataForURL(NS("http://a.test/1")));
    EXPECT_FALSE(cache->hasImageForURL(NS("http://a.test/1"), false));
    EXPECT_EQ(cache->totalPixelCount(), 0u);
    cache->storeEtag(NS("\"after\""), NS("k2"));
    EXPECT_EQ(cache->etagForKey(NS("k2"))->utf8(), "\"after\"");
}

TEST_F(URLCache, AMemoryWarningEmptiesOnlyTheMemoryMap) {
    cache->storeImage(imageOf(10, 10), NS("http://a.test/img"));
    cache->storeData(bytes("kept"), NS("http://a.test/img"));
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationDidReceiveMemoryWarningNotification, nullptr);
    EXPECT_FALSE(cache->hasImageForURL(NS("http://a.test/img"), false));
    EXPECT_EQ(textOf(cache->dataForURL(NS("http://a.test/img"))), "kept");
}

TEST_F(URLCache, DoubleResolutionPaths) {
    EXPECT_EQ(DZURLCache::doubleImageURLPath(NS("a/b.png"))->utf8(), "a/b@2x.png");
    EXPECT_EQ(DZURLCache::doubleImageURLPath(NS("a/b"))->utf8(), "a/b@2x");
    EXPECT_EQ(DZURLCache::doubleImageURLPath(NS(".hidden.png"))->utf8(), ".hidden.png");
}

TEST_F(URLCache, TemporaryURLsAndMoves) {
    Ref<NSString> first = cache->createTemporaryURL();
    ASSERT_TRUE(first->hasPrefix(NS("temp:")));
    int n = first->substringFromIndex(5)->intValue();
    // The next one in line already has data: the unique one skips it.
    cache->storeData(bytes("taken"), NSString::stringWithFormat(NS("temp:%d"), n + 1));
    EXPECT_EQ(cache->createUniqueTemporaryURL()->utf8(), "temp:" + std::to_string(n + 2));

    Ref<NSString> stored = cache->storeTemporaryData(bytes("tmp"));
    EXPECT_EQ(textOf(cache->dataForURL(stored)), "tmp");

    Ref<NSString> imageURL = cache->storeTemporaryImage(imageOf(500, 500), false);
    EXPECT_TRUE(cache->hasImageForURL(imageURL, false));  // forced despite its size
    EXPECT_TRUE(UIImage::imageWithData(cache->dataForURL(imageURL)));

    cache->moveDataForURL(imageURL, NS("http://a.test/moved"));
    EXPECT_FALSE(cache->hasImageForURL(imageURL, false));
    EXPECT_FALSE(cache->hasDataForURL(imageURL));
    EXPECT_TRUE(cache->hasImageForURL(NS("http://a.test/moved"), false));
    EXPECT_TRUE(cache->hasDataForURL(NS("http://a.test/moved")));

    Ref<NSString> loose = NSTemporaryDirectory()->stringByAppendingPathComponent(NS("loose.bin"));
    bytes("loose")->writeToFile(loose, false);
    Ref<NSString> adopted = cache->storeTemporaryFile(NSURL::fileURLWithPath(loose));
    ASSERT_TRUE(adopted);
    EXPECT_EQ(textOf(cache->dataForURL(adopted)), "loose");
    EXPECT_FALSE(NSFileManager::defaultManager()->fileExistsAtPath(loose));
    EXPECT_FALSE(cache->storeTemporaryFile(NSURL::fileURLWithPath(loose)));
    EXPECT_FALSE(cache->storeTemporaryFile(NSURL::URLWithString(NS("http://a.test/"))));
}

TEST_F(URLCache, NamedCachesAreRegisteredOnce) {
    Ref<DZURLCache> a = DZURLCache::cacheWithName(NS("Named"));
    EXPECT_EQ(a.get(), DZURLCache::cacheWithName(NS("Named")).get());
    EXPECT_NE(a.get(), DZURLCache::cacheWithName(NS("Other")).get());
    EXPECT_TRUE(a->cachePath()->hasSuffix(NS("Named")));
    EXPECT_TRUE(NSFileManager::defaultManager()->fileExistsAtPath(a->etagCachePath()));
    EXPECT_EQ(DZURLCache::sharedCache()->name()->utf8(), "Dodiz20");
}

TEST_F(URLCache, BundleAndDocumentsImagesAreReadFromTheirFilesOnlyFromDisk) {
    Ref<NSData> png = UIImagePNGRepresentation(imageOf(12, 6));
    NSFileManager::defaultManager()->createDirectoryAtPath(DZBundleResourcePath(NS("pics")), true,
                                                           nullptr, nullptr);
    png->writeToFile(DZBundleResourcePath(NS("pics/plain.png")), false);
    // Only the double-resolution file of "sharp.png" is there.
    png->writeToFile(DZBundleResourcePath(NS("pics/sharp@2x.png")), false);
    png->writeToFile(DZDocumentsResourcePath(NS("mine.png")), false);

    EXPECT_FALSE(cache->hasImageForURL(NS("bundle://pics/plain.png"), false));
    EXPECT_FALSE(cache->imageForURL(NS("bundle://pics/plain.png"), false));
    EXPECT_TRUE(cache->hasImageForURL(NS("bundle://pics/plain.png"), true));
    EXPECT_TRUE(cache->hasImageForURL(NS("bundle://pics/sharp.png"), true));
    EXPECT_FALSE(cache->hasImageForURL(NS("bundle://pics/none.png"), true));

    Ref<UIImage> plain = cache->imageForURL(NS("bundle://pics/plain.png"));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->size().width, 12);
    // Read once, then held in memory.
    EXPECT_TRUE(cache->hasImageForURL(NS("bundle://pics/plain.png"), false));
    EXPECT_TRUE(cache->imageForURL(NS("documents://mine.png")));
    EXPECT_TRUE(cache->hasImageForURL(NS("documents://mine.png"), false));
    EXPECT_EQ(cache->totalPixelCount(), 2u * 72u);
}
