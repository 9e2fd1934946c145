// The ad records, the caches, the properties and assignment, and the impression: archive round
// trips, old-form impressions, impression bytes, eviction, the session-start order and defaults.
#include <string>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSKeyedArchiver.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIImage.h"
#include "ads/tally/TallyAdClient.h"
#include "ads/tally/TallyAdImpression.h"
#include "analytics/TallySession.h"
#include "tests/ads/tally/TallyAdTesting.h"
#include "tests/analytics/TallyRecordReader.h"
#include "tests/support/FoundationTesting.h"
#include "tests/support/RunLoopTesting.h"

namespace {

using namespace tally_ads_test;

template <class T>
Ref<T> roundTrip(NSObject* object) {
    return as<T>(NSKeyedUnarchiver::unarchiveObjectWithData(
        NSKeyedArchiver::archivedDataWithRootObject(object)));
}

Ref<TallyAdImage> imageRecord(long long id) {
    auto record = make<TallyAdImage>();
    record->setImageId(NSNumber::numberWithLongLong(id));
    record->setWidth(NSNumber::numberWithInt(6));
    record->setHeight(NSNumber::numberWithInt(5));
    record->setMimeFormat(NS("image/jpeg"));
    record->setImageDataSize(NSNumber::numberWithInt(99));
    record->setImage(UIImage::imageWithData(dataOf(bnservices::tallyAdJpeg(6, 5, 0xFF0000))));
    return record;
}

using TallyAdRecordsTest = TallyAdTest;

TEST_F(TallyAdRecordsTest, RecordsComeBackFromTheirArchives) {
    auto ad = make<TallyAd>();
    ad->setAdId(num(7));
    ad->setAdText(NS("App"));
    uint8_t cookie[] = {0x0A, 0xFF};
    ad->setAdCookie(NSData::dataWithBytes(cookie, 2));
    EXPECT_TRUE(ad->adCookieString()->isEqualToString(NS("0aff")));
    EXPECT_TRUE(make<TallyAd>()->adCookieString()->isEqualToString(NS("")));
    auto adCopy = roundTrip<TallyAd>(ad);
    ASSERT_TRUE(adCopy);
    EXPECT_EQ(adCopy->adId()->intValue(), 7);
    EXPECT_TRUE(adCopy->adCookieString()->isEqualToString(NS("0aff")));
    EXPECT_FALSE(adCopy->canvasId());  // absent stays absent

    auto image = roundTrip<TallyAdImage>(imageRecord(12));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->imageId()->intValue(), 12);
    EXPECT_EQ(image->width()->intValue(), 6);
    EXPECT_TRUE(image->mimeFormat()->isEqualToString(NS("image/jpeg")));
    ASSERT_TRUE(image->image());  // decoded again from its PNG
    EXPECT_EQ(image->image()->size().height, 5);

    auto theme = make<TallyAdTheme>();
    theme->portraitAppNameTextStyle()->setFont(NS("Helvetica"));
    theme->landscapeAppImageLocation()->setX(NSNumber::numberWithInt(9));
    theme->setPortraitAdImage(image->image());
    auto themeCopy = roundTrip<TallyAdTheme>(theme);
    ASSERT_TRUE(themeCopy);
    EXPECT_TRUE(themeCopy->portraitAppNameTextStyle()->font()->isEqualToString(NS("Helvetica")));
    EXPECT_EQ(themeCopy->landscapeAppImageLocation()->x()->intValue(), 9);
    EXPECT_TRUE(themeCopy->landscapeAdvertiserTextStyle()->dimension());
    EXPECT_FALSE(themeCopy->portraitAdImage());  // until a hook lookup fills it

    auto state = make<TallyAdState>(&TallyAdState::initWithState, 4, 123456789012LL);
    auto stateCopy = roundTrip<TallyAdState>(state);
    EXPECT_EQ(stateCopy->state(), 4);
    EXPECT_EQ(stateCopy->timeIntervalSinceSessionStart(), 123456789012LL);
    std::vector<int> translated;
    for (int old : {-1, 0, 1, 2, 3, 4, 5})
        translated.push_back(TallyAdState::translateAdStateFromOldToNew(old));
    EXPECT_EQ(translated, (std::vector<int>{0, 1, 3, 4, 5, 8, 0}));
}

TEST_F(TallyAdRecordsTest, TheImageCacheKeepsFortyInLeastRecentlyUsedOrder) {
    auto cache = TallyImageCache::instance();
    EXPECT_EQ(cache->storedIds()->count(), 0u);
    EXPECT_EQ(cache->cacheUpdateTimestamp(), 0);
    auto record = imageRecord(1);
    for (long long id = 1; id <= 40; ++id)
        cache->save(record, num(id));
    cache->save(record, num(1));  // already cached: no eviction, now most recent
    EXPECT_EQ(cache->storedIds()->count(), 40u);
    cache->setAsMostRecentlyUsed(num(500));  // not cached, first to go by order
    cache->setAsMostRecentlyUsed(num(2));
    auto lru = cache->lru();
    cache->save(record, num(41));
    EXPECT_EQ(cache->storedIds()->count(), 40u);
    EXPECT_FALSE(cache->storedIds()->containsObject(num(3)));  // the oldest cached id went
    EXPECT_FALSE(files->get(TallyImageCache::imageIdToFileName(num(3))));
    EXPECT_TRUE(objectsEqual(cache->lru()->lastObject(), num(41)));
    ASSERT_TRUE(cache->get(num(2)));

    // A file deleted behind its back: absent, and gone from the index and order.
    files->remove(TallyImageCache::imageIdToFileName(num(4)));
    EXPECT_FALSE(cache->get(num(4)));
    EXPECT_FALSE(cache->storedIds()->containsObject(num(4)));
    EXPECT_FALSE(cache->lru()->containsObject(num(4)));
    // A file that will not delete still leaves the index, so the cache keeps its limit.
    files->remove(TallyImageCache::imageIdToFileName(num(5)));
    EXPECT_FALSE(cache->remove(num(5)));
    EXPECT_FALSE(cache->storedIds()->containsObject(num(5)));
}

TEST_F(TallyAdRecordsTest, AFileThatDoesNotDecodeCountsAsMissingAndGoes) {
    auto path = files->createFilePath(NS("imageCache"));
    ASSERT_TRUE(dataOf("not an archive")->writeToFile(path, true));
    EXPECT_FALSE(files->get(NS("imageCache")));
    EXPECT_FALSE(NSFileManager::defaultManager()->fileExistsAtPath(path));
    EXPECT_TRUE(files->save(make<TallyAdState>(), NS("state")));
    EXPECT_TRUE(files->get(NS("state")));
    EXPECT_TRUE(
        files->createFilePath(NS("p"))->hasSuffix(NS("/Tally/tallyCache_p_ads-test-key.archive")));
}

TEST_F(TallyAdRecordsTest, ASessionStartWithoutAnImageCacheArchiveForgetsTheOldParser) {
    TallyAdParser::instance()->parseData(reply());
    files->remove(NS("imageCache"));
    startSession();
    EXPECT_FALSE(TallyAdParser::oldInstance());
    EXPECT_FALSE(archived("adParser"));  // the whole folder went
    EXPECT_EQ(TallyImageCache::instance()->storedIds()->count(), 0u);

    TallyAdParser::instance()->parseData(reply());
    startSession();
    EXPECT_TRUE(TallyAdParser::oldInstance());
    EXPECT_EQ(TallyImageCache::instance()->storedIds()->count(), 11u);
    EXPECT_EQ(TallyImageCache::instance()->cacheUpdateTimestamp(),
              bnservices::tally_ad_ids::kCacheUpdateTimestamp);
}

// Without the fixture's session start: a test begins with no instances at all.
TEST(TallyAdSingletonsTest, AskingForThemNeverMakesThem) {
    auto files = TallyFileCache::createInstanceWithApiKey(NS("ads-test-key"));
    files->removeCache();
    EXPECT_FALSE(TallyImageCache::instance());
    EXPECT_FALSE(TallyAdAssignment::instance());
    // The upload still says what is cached: nothing.
    auto body = TallySession::dataForSessions(NSArray::array(), false);
    ASSERT_GE(body->length(), 14u);
    EXPECT_EQ(std::string(tally_test::bytesOf(body).substr(4, 10)), std::string(10, '\0'));
    EXPECT_FALSE(TallyImageCache::instance());

    // Made without a file cache, the cache still reaches its files.
    auto cache = TallyImageCache::createInstanceWithFileCache(nullptr);
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->fileCache(), files);
    EXPECT_EQ(TallyImageCache::instance(), cache);
    auto seven = NSNumber::numberWithLongLong(7);
    cache->save(imageRecord(1), seven);
    EXPECT_TRUE(files->get(TallyImageCache::imageIdToFileName(seven)));
    EXPECT_EQ(TallyImageCache::createInstanceWithFileCache(files), cache);
    EXPECT_TRUE(TallyAdAssignment::createInstance());
    files->removeCache();
}

// The reset between tests drops the parser, the assignment, the caches and the heart beater
// (whose beats stop, even while held), and the service's settings go back to their defaults.
TEST(TallyAdSingletonsTest, TheResetBetweenTestsDropsThemAll) {
    ManualClockScope clock;
    auto files = TallyFileCache::createInstanceWithApiKey(NS("ads-test-key"));
    TallyAdAssignment::createInstance();
    TallyImageCache::createInstanceWithFileCache(files);
    auto parser = TallyAdParser::instance();
    auto beater = TallyHeartBeater::createAndStartInstance(1.0);
    TallyAdProperties::setBannerRefreshInSeconds(NSNumber::numberWithInt(60));
    advanceRunLoop(2.5);
    int beats = beater->beats();
    EXPECT_EQ(beats, 2);
    resetProcessWideInstances();
    EXPECT_FALSE(TallyHeartBeater::instance());
    EXPECT_FALSE(TallyAdAssignment::instance());
    EXPECT_FALSE(TallyImageCache::instance());
    EXPECT_FALSE(TallyFileCache::instance());
    EXPECT_NE(TallyAdParser::instance().get(), parser.get());
    EXPECT_EQ(TallyAdProperties::getBannerRefreshInSeconds(), 20u);
    advanceRunLoop(3);
    EXPECT_EQ(beater->beats(), beats);
    files->removeCache();
}

TEST_F(TallyAdRecordsTest, PropertyDefaultsAndDecimalTexts) {
    EXPECT_EQ(TallyAdProperties::getBannerRefreshInSeconds(), 20u);
    EXPECT_EQ(TallyAdProperties::getCacheUpdateTimestamp(), 0);
    EXPECT_EQ(TallyAdProperties::getPortraitAdsMaxShown(), 5);
    EXPECT_EQ(TallyAdProperties::getLandscapeAdsMaxShown(), 3);
    EXPECT_EQ(TallyAdProperties::getPortraitAdsShownAtStart(), 2.5f);
    EXPECT_EQ(TallyAdProperties::getLandscapeAdsShownAtStart(), 0.75f);
    TallyAdProperties::setLandscapeAdsMaxShown(NSNumber::numberWithInt(-1));
    EXPECT_EQ(TallyAdProperties::getLandscapeAdsMaxShown(), 0);
    TallyAdProperties::setLandscapeAdsMaxShown(nullptr);
    EXPECT_EQ(TallyAdProperties::getLandscapeAdsMaxShown(), 3);
    // "." is the point whatever the locale says; anything else is no number.
    EXPECT_EQ(TallyAdProperties::numberFromText(NS("0.75"))->floatValue(), 0.75f);
    EXPECT_EQ(TallyAdProperties::numberFromText(NS("3"))->intValue(), 3);
    for (NSString* bad : {NS("0,75"), NS(""), NS("1.5x"), NS("1,000")})
        EXPECT_FALSE(TallyAdProperties::numberFromText(bad)) << text(bad);
}

TEST_F(TallyAdRecordsTest, AdsAndBannersAreAssignedOncePerParent) {
    auto assignment = TallyAdAssignment::instance();
    auto ad = make<TallyAd>();
    ad->setAdId(num(1));
    EXPECT_EQ(assignment->assignAd(ad, NS("P")), ad);
    EXPECT_EQ(assignment->assignAd(ad, NS("P")), nullptr);
    EXPECT_EQ(assignment->assignAd(ad, NS("Q")), ad);
    EXPECT_EQ(assignment->assignAd(ad, nullptr), ad);
    assignment->removeAd(ad, NS("P"));
    EXPECT_EQ(assignment->assignAd(ad, NS("P")), ad);
    assignment->removeAdsOnParentName(NS("Q"));
    EXPECT_EQ(assignment->assignAd(ad, NS("Q")), ad);

    auto first = make<NSObject>();
    assignment->assignBanner(first, NS("h"), NS("P"));
    assignment->assignBanner(make<NSObject>(), NS("h"), NS("P"));
    EXPECT_EQ(assignment->assignedBanner(NS("h"), NS("P")), first);
    assignment->unassignBanner(NS("h"), NS("P"));
    EXPECT_EQ(assignment->assignedBanner(NS("h"), NS("P")), nullptr);
    EXPECT_NE(TallyAdAssignment::recreateInstance(), assignment);
}

class TallyAdImpressionTest : public TallyAdTest {
protected:
    void SetUp() override {
        TallyAdTest::SetUp();
        session = TallySession::createActiveTallySession(NS("impression-key"));
    }
    ManualClockScope clock;
    Ref<TallySession> session;
};

TEST_F(TallyAdImpressionTest, StatesAreRecordedInTheSessionAndWrittenInOrder) {
    Clock::advance(1.5);
    auto impression = make<TallyAdImpression>(&TallyAdImpression::initWithHook, NS("H"),
                                              NSNumber::numberWithInt(1).get());
    EXPECT_EQ(impression->timeIntervalSinceSessionStart(), 1500);
    EXPECT_EQ(session->adLog()->count(), 1u);
    auto data = impression->data();
    EXPECT_EQ(std::string(tally_test::bytesOf(data)),
              std::string("\x00\x01H\x01", 4) + std::string(16, '\0') +
                  std::string("\x00\x00\x01\x01", 4) + std::string("\0\0\0\0\0\0\x05\xdc", 8));

    auto ad = make<TallyAd>();
    ad->setAdId(num(77));
    ad->setCanvasId(num(88));
    ad->setAdCookie(dataOf("\x01\x02"));
    Clock::advance(1);
    impression->updateWithAd(ad);
    EXPECT_EQ(session->adLog()->count(), 1u);  // the same impression keeps its place
    auto record = tally_test::readRecord(session->data());
    ASSERT_EQ(record.impressions.size(), 1u);
    const auto& m = record.impressions[0];
    EXPECT_EQ(m.adId, 77);
    EXPECT_EQ(m.canvasId, 88);
    EXPECT_EQ(m.cookie, "\x01\x02");
    EXPECT_EQ(m.states, (std::vector<std::pair<int, std::int64_t>>{{1, 1500}, {2, 2500}}));

    impression->updateWithResult(NSNumber::numberWithInt(300));  // written as its low byte
    data = impression->data();
    EXPECT_EQ(static_cast<const uint8_t*>(data->bytes())[data->length() - 9], 44);
    EXPECT_EQ(impression->currentState(), 300);

    auto longHook = NSMutableString::string();
    for (int i = 0; i < 300; ++i)
        longHook->appendString(NS("x"));
    auto longOne = make<TallyAdImpression>(&TallyAdImpression::initWithHook, longHook.get(),
                                           NSNumber::numberWithInt(2).get());
    data = longOne->data();
    EXPECT_EQ(std::string(tally_test::bytesOf(data).substr(0, 2)), std::string("\x00\xff", 2));

    // 150 emoji are 300 units; unit 255 opens a pair, so the cut keeps 127 whole emoji.
    std::u16string emoji;
    for (int i = 0; i < 150; ++i)
        emoji += u"\U0001F600";
    auto emojiOne = make<TallyAdImpression>(
        &TallyAdImpression::initWithHook,
        NSString::stringWithCharacters(emoji.data(), static_cast<NSUInteger>(emoji.size())).get(),
        NSNumber::numberWithInt(1).get());
    auto hookBytes = std::string(tally_test::bytesOf(emojiOne->data()));
    ASSERT_GE(hookBytes.size(), 2u + 127 * 4);
    EXPECT_EQ(hookBytes.substr(0, 2), std::string("\x01\xfc", 2));  // 508 bytes
    EXPECT_EQ(hookBytes.substr(2, 4), "\xF0\x9F\x98\x80");
}

TEST_F(TallyAdImpressionTest, OldFormArchivesReadAsStates) {
    auto impression = make<TallyAdImpression>(&TallyAdImpression::initWithHook, NS("H"),
                                              NSNumber::numberWithInt(3).get());
    impression->updateWithResult(NSNumber::numberWithInt(5));
    auto copy = roundTrip<TallyAdImpression>(impression);
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->data()->isEqualToData(impression->data()));

    // The older form: only adResult, no states and no format.
    auto old = [&](NSNumber* result) {
        auto archiver = make<NSKeyedArchiver>();
        archiver->encodeDouble(4321.9, NS("timeIntervalSinceSessionStart"));
        archiver->encodeObject(NS("H"), NS("hook"));
        archiver->encodeObject(result, NS("adResult"));
        auto data = archiver->encodedData();
        auto unarchiver =
            make<NSKeyedUnarchiver>(&NSKeyedUnarchiver::initForReadingWithData, data.get());
        auto read = make<TallyAdImpression>(&TallyAdImpression::initWithCoder,
                                            static_cast<NSCoder*>(unarchiver.get()));
        std::vector<std::pair<int, long long>> states;
        auto list = read->adStates();
        for (auto* s : *list)
            states.emplace_back(static_cast<TallyAdState*>(s)->state(),
                                static_cast<TallyAdState*>(s)->timeIntervalSinceSessionStart());
        EXPECT_EQ(read->adFormat()->intValue(), 0);
        return states;
    };
    EXPECT_EQ(old(NSNumber::numberWithInt(2)),
              (std::vector<std::pair<int, long long>>{{1, 4321}, {4, 4321}}));
    EXPECT_EQ(old(nullptr), (std::vector<std::pair<int, long long>>{{1, 4321}}));
}

}  // namespace
