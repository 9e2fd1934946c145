// The ad reply parser on replies from the stand-in's encoder and on hand-made chunks: what each
// chunk stores, the traps of the format, replies that break off, and the lookups.
#include <atomic>
#include <string>
#include <thread>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIColor.h"
#include "ads/tally/TallyAdImpression.h"
#include "ads/tally/TallyImageCache.h"
#include "ads/tally/TallyOffer.h"
#include "tests/ads/tally/TallyAdTesting.h"
#include "tests/support/FoundationTesting.h"

namespace {

using namespace tally_ads_test;
namespace ids = bnservices::tally_ad_ids;

class TallyAdParserTest : public TallyAdTest {
protected:
    Ref<TallyAdParser> parse(NSData* data) {
        auto parser = TallyAdParser::instance();
        parser->parseData(data);
        return parser;
    }
    static Ref<NSArray> block(TallyAdParser* parser, int id) {
        return as<NSArray>(parser->adBlockMap()->objectForKey(
            NSNumber::numberWithUnsignedChar(static_cast<unsigned char>(id))));
    }
    static std::vector<long long> adIds(NSArray* ads) {
        std::vector<long long> out;
        for (auto* ad : *ads)
            out.push_back(static_cast<TallyAd*>(ad)->adId()->longLongValue());
        return out;
    }
};

TEST_F(TallyAdParserTest, ASeededReplyFillsEveryMapAndIsArchivedAtItsEnd) {
    auto parser = parse(reply());
    EXPECT_EQ(parser->adParsingPhase(), 1);
    EXPECT_EQ(delegate->heard, std::vector<std::string>{"available"});
    EXPECT_EQ(parser->versionId()->intValue(), 3);
    EXPECT_EQ(parser->hookMap()->count(), 6u);
    EXPECT_EQ(adIds(block(parser, ids::kDefaultBlock)), (std::vector<long long>{101, 102, 103}));
    EXPECT_EQ(block(parser, ids::kCanvasBlock)->count(), 5u);
    // Eight icons, two backgrounds and the handle.
    EXPECT_EQ(parser->imageMap()->count(), 11u);
    EXPECT_TRUE(objectsEqual(parser->imageCodeMap()->objectForKey(NSNumber::numberWithShort(1)),
                             num(ids::kCanvasHandle)));

    // The extension for a theme never sent is dropped; the one after it lands.
    EXPECT_EQ(parser->themeMap()->count(), 1u);
    auto theme = as<TallyAdTheme>(
        parser->themeMap()->objectForKey(NSNumber::numberWithUnsignedChar(ids::kTheme)));
    ASSERT_TRUE(theme);
    EXPECT_TRUE(theme->sellMessage()->isEqualToString(NS("Try it today, it's free!")));
    EXPECT_EQ(theme->portraitAdDimension()->width()->intValue(), 320);
    EXPECT_EQ(theme->landscapeAdDimension()->height()->intValue(), 32);
    EXPECT_EQ(theme->portraitAppImageLocation()->x()->intValue(), 4);
    EXPECT_EQ(theme->portraitAppNameTextStyle()->location()->y()->intValue(), 22);
    EXPECT_EQ(theme->landscapeAdvertiserTextStyle()->dimension()->width()->intValue(), 170);
    EXPECT_TRUE(theme->portraitAppNameTextStyle()->font()->isEqualToString(NS("Helvetica")));
    EXPECT_EQ(theme->portraitSellMessageTextStyle()->fontSize()->intValue(), 12);
    EXPECT_EQ(theme->landscapeSellMessageTextStyle()->fontSize()->intValue(), 11);

    auto hook = as<TallyAdHook>(parser->hookMap()->objectForKey(NS("")));
    EXPECT_EQ(hook->clickAction()->intValue(), 1);
    EXPECT_EQ(TallyAdProperties::getPortraitAdsShownAtStart(), 2.5f);
    EXPECT_EQ(TallyAdProperties::getCacheUpdateTimestamp(), ids::kCacheUpdateTimestamp);
    EXPECT_EQ(TallyImageCache::instance()->cacheUpdateTimestamp(), ids::kCacheUpdateTimestamp);
    EXPECT_EQ(TallyImageCache::instance()->storedIds()->count(), 11u);
    EXPECT_TRUE(archived("adParser"));
    EXPECT_TRUE(archived("imageCache"));
}

TEST_F(TallyAdParserTest, ImagesTheClientHoldsAreLeftOutAndComeFromTheCache) {
    parse(reply());
    auto held = TallyImageCache::instance()->storedIds();
    std::vector<std::int64_t> cached;
    for (auto* id : *held)
        cached.push_back(static_cast<NSNumber*>(id)->longLongValue());
    auto full = reply();
    auto lean = reply(TallyAdScenario::Normal, cached);
    EXPECT_LT(lean->length() * 4, full->length());

    startSession();
    auto parser = parse(lean);
    EXPECT_EQ(parser->imageMap()->count(), 11u);  // read back from disk by the ads and themes
    auto ad = TallyAdParser::fastAdWithHook(NS("anything"), NS("P"));
    ASSERT_TRUE(ad);
    EXPECT_TRUE(ad->adImage());
}

TEST_F(TallyAdParserTest, UnknownTagsAreSkippedBySize) {
    auto parser = parse(reply(TallyAdScenario::UnknownTags));
    EXPECT_EQ(parser->hookMap()->count(), 6u);
    EXPECT_EQ(block(parser, ids::kCanvasBlock)->count(), 5u);
    EXPECT_TRUE(archived("adParser"));

    // A 0x0104 chunk of 10 bytes, then a version.
    TallyAdReplyWriter w;
    w.chunk(0x0104, std::string(10, '\x01')).chunk(0x0102, TallyAdReplyWriter().u32(42).bytes());
    EXPECT_EQ(parse(dataOf(w.bytes()))->versionId()->intValue(), 42);
}

TEST_F(TallyAdParserTest, AnErrorChunkTellsUnavailableThenAvailable) {
    auto parser = parse(reply(TallyAdScenario::ErrorChunk));
    EXPECT_EQ(delegate->heard, (std::vector<std::string>{"unavailable", "available"}));
    EXPECT_EQ(parser->adParsingPhase(), 1);
    EXPECT_EQ(parser->hookMap()->count(), 0u);
}

TEST_F(TallyAdParserTest, NoBodyTellsOnlyUnavailableAndChangesNothing) {
    parse(nullptr);
    auto parser = parse(reply(TallyAdScenario::EmptyBody));
    EXPECT_EQ(delegate->heard, (std::vector<std::string>{"unavailable", "unavailable"}));
    EXPECT_EQ(parser->adParsingPhase(), 0);
    EXPECT_FALSE(TallyAdParser::isAdParserFinished());
}

TEST_F(TallyAdParserTest, AnOverrunningChunkEndsTheWalkAndTheChunksBeforeItStay) {
    auto parser = parse(reply(TallyAdScenario::Overrun));
    EXPECT_EQ(parser->adParsingPhase(), 1);
    EXPECT_EQ(delegate->heard, std::vector<std::string>{"available"});
    EXPECT_EQ(parser->hookMap()->count(), 6u);
    EXPECT_EQ(block(parser, ids::kDefaultBlock)->count(), 3u);
    EXPECT_FALSE(block(parser, ids::kCanvasBlock));  // dropped whole
    EXPECT_FALSE(archived("adParser"));              // the end was never reached

    // A chunk whose fields run past its own size is dropped too, even with bytes after it.
    TallyAdReplyWriter w;
    std::string hooks = TallyAdReplyWriter().u32(2).str("a").u8(1).u8(1).str("b").bytes();
    w.chunk(0x0107, hooks).chunk(0x0102, TallyAdReplyWriter().u32(9).bytes());
    startSession();
    parser = parse(dataOf(w.bytes()));
    EXPECT_EQ(parser->hookMap()->count(), 0u);
    EXPECT_FALSE(parser->versionId());
    EXPECT_EQ(parser->adParsingPhase(), 1);

    // A header cut short and a size near 4 GiB end the walk without reading on.
    for (std::string tail :
         {std::string("\x01\x02\x00", 3), std::string("\x01\x02\xff\xff\xff\xfa")}) {
        TallyAdReplyWriter v;
        v.chunk(0x0102, TallyAdReplyWriter().u32(5).bytes()).raw(tail);
        EXPECT_EQ(parse(dataOf(v.bytes()))->versionId()->intValue(), 5);
    }
}

TEST_F(TallyAdParserTest, AHookNameThatIsNotTextSkipsThatHookOnly) {
    auto parser = parse(reply(TallyAdScenario::BadHookName));
    EXPECT_EQ(parser->hookMap()->count(), 6u);
    EXPECT_EQ(block(parser, ids::kCanvasBlock)->count(), 5u);
    EXPECT_TRUE(archived("adParser"));
    // A name ends at its first zero byte.
    TallyAdReplyWriter w;
    w.chunk(0x0107, TallyAdReplyWriter().u32(1).str(std::string("ab\0cd", 5)).u8(1).u8(1).bytes());
    EXPECT_TRUE(parse(dataOf(w.bytes()))->hookMap()->objectForKey(NS("ab")));
}

TEST_F(TallyAdParserTest, ImageChunkTraps) {
    // 0 is read and not kept; -1 ends the chunk.
    TallyAdReplyWriter w;
    w.chunk(0x0106, imageChunk({5, 0, -1, 6}, 4, 4))
        .chunk(0x0102, TallyAdReplyWriter().u32(8).bytes());
    auto parser = parse(dataOf(w.bytes()));
    EXPECT_EQ(parser->imageMap()->count(), 1u);
    auto kept = as<TallyAdImage>(parser->imageMap()->objectForKey(num(5)));
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->image()->size().width, 4);
    EXPECT_TRUE(kept->mimeFormat()->isEqualToString(NS("image/png")));
    EXPECT_EQ(parser->versionId()->intValue(), 8);  // the walk went on
}

TEST_F(TallyAdParserTest, CountsSignsBlocksAndRepeatedHooks) {
    TallyAdReplyWriter w;
    // A u32 count above 2^31 is negative: nothing is read, and the walk goes on by size.
    w.chunk(0x0107, TallyAdReplyWriter().u32(0x80000001u).str("x").u8(1).u8(1).bytes());
    w.chunk(0x010C, TallyAdReplyWriter().u32(0xFFFFFFFFu).bytes());
    w.chunk(0x0107, TallyAdReplyWriter().u32(1).str("h").u8(1).u8(1).bytes());
    w.chunk(0x0107, TallyAdReplyWriter().u32(1).str("h").u8(2).u8(3).bytes());
    std::string ad =
        TallyAdReplyWriter().i64(1).i64(2).str("A").str("B").i64(3).i64(4).u8(1).u8(0xAB).bytes();
    w.chunk(0x0103, TallyAdReplyWriter().u8(9).u16(1).raw(ad).bytes());
    w.chunk(0x0103, TallyAdReplyWriter().u8(9).u16(0).bytes());  // replaces block 9, empty
    w.chunk(0x0103, TallyAdReplyWriter().u8(8).u16(1).raw(ad).bytes());
    auto parser = parse(dataOf(w.bytes()));
    EXPECT_FALSE(parser->hookMap()->objectForKey(NS("x")));
    auto hook = as<TallyAdHook>(parser->hookMap()->objectForKey(NS("h")));
    EXPECT_EQ(hook->adBlockId()->intValue(), 2);  // the later one wins
    EXPECT_EQ(hook->themeId()->intValue(), 3);
    EXPECT_EQ(block(parser, 9)->count(), 0u);
    auto kept = as<TallyAd>(block(parser, 8)->objectAtIndex(0));
    EXPECT_TRUE(kept->adCookieString()->isEqualToString(NS("ab")));
    EXPECT_TRUE(kept->advertiser()->isEqualToString(NS("B")));
    EXPECT_EQ(kept->canvasId()->intValue(), 3);
}

TEST_F(TallyAdParserTest, ColoursAndProperties) {
    CGFloat r, g, b, a;
    TallyAdParser::parseColor(static_cast<int32_t>(0xFF102030))->getRed(&r, &g, &b, &a);
    EXPECT_FLOAT_EQ(r, 16 / 255.0f);
    EXPECT_FLOAT_EQ(g, 32 / 255.0f);
    EXPECT_FLOAT_EQ(b, 48 / 255.0f);
    EXPECT_EQ(a, 1.0f);

    TallyAdReplyWriter w;
    w.chunk(0x010D, TallyAdReplyWriter()
                        .u16(0)
                        .u16(1)
                        .u32(7)
                        .i64(-5)
                        .u8(0xFE)
                        .u8(2)
                        .str("1.5")
                        .str("x")
                        .bytes());
    parse(dataOf(w.bytes()));
    EXPECT_EQ(TallyAdProperties::getBannerRefreshInSeconds(), 7u);
    EXPECT_EQ(TallyAdProperties::getCacheUpdateTimestamp(), -5);
    EXPECT_EQ(TallyAdProperties::getPortraitAdsMaxShown(), 0);  // -2 counts as none
    EXPECT_EQ(TallyAdProperties::getLandscapeAdsMaxShown(), 2);
    EXPECT_EQ(TallyAdProperties::getPortraitAdsShownAtStart(), 1.5f);
    EXPECT_EQ(TallyAdProperties::getLandscapeAdsShownAtStart(), 0.75f);  // not a number
}

TEST_F(TallyAdParserTest, LookupsFallBackRotateAndNeedTheInternet) {
    auto parser = parse(reply());
    // An unknown hook falls back to the default hook "".
    auto hook = TallyAdParser::fastHookWithName(NS("nowhere"));
    ASSERT_TRUE(hook);
    EXPECT_TRUE(hook->name()->isEqualToString(NS("")));
    EXPECT_TRUE(hook->adTheme()->portraitAdImage());
    EXPECT_TRUE(hook->adTheme()->landscapeAdImage());
    EXPECT_TRUE(TallyAdParser::fastImageWithCode(NSNumber::numberWithInt(1)));
    EXPECT_FALSE(TallyAdParser::fastImageWithCode(NSNumber::numberWithInt(2)));

    // Three ads under one parent, then none: the five failed attempts cycle on by five.
    std::vector<long long> got;
    for (int i = 0; i < 3; ++i)
        got.push_back(TallyAdParser::fastAdWithHook(NS(""), NS("P"))->adId()->longLongValue());
    EXPECT_EQ(got, (std::vector<long long>{101, 102, 103}));
    EXPECT_FALSE(TallyAdParser::fastAdWithHook(NS(""), NS("P")));
    EXPECT_EQ(adIds(block(parser, ids::kDefaultBlock)), (std::vector<long long>{103, 101, 102}));
    EXPECT_TRUE(TallyAdParser::fastAdWithHook(NS(""), NS("Q")));
    EXPECT_TRUE(TallyAdParser::fastAdWithHook(NS(""), nullptr));

    // After a failed upload: no ads and no offers, hooks still.
    parser->setInternetAvailable(false);
    EXPECT_FALSE(TallyAdParser::fastAdWithHook(NS(""), NS("R")));
    EXPECT_FALSE(TallyAdParser::fastOfferWithHook(NS(""), nullptr, make<TallyOffer>()));
    EXPECT_TRUE(TallyAdParser::fastHookWithName(NS("")));
}

TEST_F(TallyAdParserTest, ThemeImagesAreRequiredOnlyForPositiveIds) {
    TallyAdReplyWriter theme;
    theme.u8(2);
    for (int id : {1, 2}) {
        theme.u8(static_cast<unsigned>(id)).str("sell").i64(0).i64(id == 1 ? 0 : 77);
        for (int s = 0; s < 3; ++s)
            theme.style("F", 10, 0);
    }
    TallyAdReplyWriter w;
    w.chunk(0x010A, theme.bytes());
    w.chunk(0x0107,
            TallyAdReplyWriter().u32(2).str("one").u8(1).u8(1).str("two").u8(1).u8(2).bytes());
    parse(dataOf(w.bytes()));
    EXPECT_TRUE(TallyAdParser::fastHookWithName(NS("one")));
    EXPECT_FALSE(TallyAdParser::fastHookWithName(NS("two")));  // landscape image 77 is missing
}

TEST_F(TallyAdParserTest, TheOldParserAnswersUntilTheCurrentOneHasReadAReply) {
    parse(reply());
    startSession();
    auto old = TallyAdParser::oldInstance();
    ASSERT_TRUE(old);
    EXPECT_FALSE(old->internetAvailable());
    EXPECT_EQ(old->adParsingPhase(), 0);  // archived by the end chunk, inside the walk
    EXPECT_EQ(old->hookMap()->count(), 6u);
    EXPECT_EQ(TallyAdParser::instance()->adParsingPhase(), 0);
    // Hooks and images come from the old parser; ads need this session's upload to succeed.
    EXPECT_TRUE(TallyAdParser::fastHookWithName(NS("Tally_Canvas_Hook_2")));
    auto ad = TallyAdParser::fastAdWithHook(NS("Tally_Canvas_Hook_2"), NS("P"));
    ASSERT_TRUE(ad);
    EXPECT_EQ(ad->adId()->intValue(), 201);
    EXPECT_TRUE(ad->adImage());  // loaded from the image cache
    // The current parser takes over once it has read a reply.
    TallyAdReplyWriter w;
    w.chunk(0x0102, TallyAdReplyWriter().u32(1).bytes());
    parse(dataOf(w.bytes()));
    EXPECT_FALSE(TallyAdParser::fastHookWithName(NS("Tally_Canvas_Hook_2")));
}

TEST_F(TallyAdParserTest, AnOfferFillsTheContainerAndTheImpression) {
    parse(reply());
    auto offer = make<TallyOffer>();
    auto impression =
        make<TallyAdImpression>(&TallyAdImpression::initWithHook, NS("Tally_Canvas_Hook_1"),
                                NSNumber::numberWithInt(3).get());
    ASSERT_TRUE(TallyAdParser::fastOfferWithHook(NS("Tally_Canvas_Hook_1"), impression, offer));
    EXPECT_TRUE(offer->appName()->isEqualToString(NS("App 201")));
    EXPECT_TRUE(offer->appIcon());
    EXPECT_NE(offer->referralUrl()->rangeOfString(NS("&cid=0&adid=201&")).location, NSNotFound);
    EXPECT_EQ(impression->adId()->intValue(), 201);
    EXPECT_EQ(impression->currentState(), 2);
    EXPECT_FALSE(TallyAdParser::fastOfferWithHook(NS("x"), impression, nullptr));
}

}  // namespace

namespace {

using namespace tally_ads_test;

// The fuzz target starts from the stand-in's replies: each scenario's reply is a seed file, kept
// equal to what the encoder makes (BN_WRITE_CORPUS=1 writes them afresh).
TEST(TallyAdCorpusTest, TheFuzzSeedsAreTheStandInsReplies) {
    for (auto scenario :
         {TallyAdScenario::Normal, TallyAdScenario::ErrorChunk, TallyAdScenario::UnknownTags,
          TallyAdScenario::Overrun, TallyAdScenario::BadHookName}) {
        TallyAdReplyOptions options;
        options.scenario = scenario;
        options.iconCount = 3;  // small enough for the fuzzer's input limit
        std::string bytes = bnservices::buildTallyAdReply(options, {});
        auto path = NSString::stringWithFormat(NS("%s/%s.bin"), BN_TALLYADS_CORPUS,
                                               bnservices::tallyAdScenarioName(scenario).c_str());
        if (getenv("BN_WRITE_CORPUS")) dataOf(bytes)->writeToFile(path, true);
        auto seed = NSData::dataWithContentsOfFile(path);
        ASSERT_TRUE(seed) << text(path);
        EXPECT_TRUE(seed->isEqualToData(dataOf(bytes))) << text(path);
        EXPECT_LT(bytes.size(), 16384u);
    }
}

}  // namespace

namespace {

using namespace tally_ads_test;

using TallyAdParserThreadTest = TallyAdTest;

// Replies parsed on another thread while the main thread looks up: a lookup sees each chunk
// whole or not at all. Between the theme chunk and its extension a theme has no sizes yet;
// it never has half of them.
TEST_F(TallyAdParserThreadTest, LookupsDuringAParseSeeWholeChunks) {
    auto data = reply();
    std::atomic<bool> done{false};
    std::thread parsing([&] {
        NSAutoreleasePool pool;
        for (int i = 0; i < 5; ++i)
            TallyAdParser::instance()->parseData(data);
        done = true;
    });
    while (!done) {
        NSAutoreleasePool pool;
        auto parser = TallyAdParser::instance();
        if (auto hook = parser->hookWithName(NS("Tally_Canvas_Hook_3"))) {
            auto theme = hook->adTheme();
            if (!theme) {
                ADD_FAILURE() << "a hook without its theme";
                break;
            }
            // The fields are read one by one while the other thread may be applying the
            // extension, so only its order can be checked: the icon's place is set after the
            // ad's size, so an icon read first implies the size.
            auto icon = theme->landscapeAppImageLocation();
            bool iconSet = icon->x() != nullptr;
            auto size = theme->portraitAdDimension();
            if (iconSet && !size->width()) {
                ADD_FAILURE() << "the icon's place without the ad's size";
                break;
            }
            if (size->width()) {
                EXPECT_EQ(size->width()->intValue(), 320);
            }
        }
        parser->adWithHook(NS(""), nullptr);
    }
    parsing.join();
    EXPECT_TRUE(TallyAdParser::fastHookWithName(NS("Tally_Canvas_Hook_3")));
}

}  // namespace

namespace {

using namespace tally_ads_test;

// Every cut of a seeded reply and replies with a byte changed here and there: the parser never
// reads past the bytes it is given (the sanitizer build checks), always finishes, and whatever
// it kept answers the lookups.
TEST(TallyAdParserDamageTest, CutAndChangedRepliesAreReadSafely) {
    TallyAdReplyOptions options;
    options.iconCount = 3;
    std::string whole = bnservices::buildTallyAdReply(options, {});
    auto check = [](const std::string& bytes) {
        auto parser = make<TallyAdParser>();
        parser->parseData(dataOf(bytes));
        EXPECT_EQ(parser->adParsingPhase(), bytes.empty() ? 0 : 1);
        auto names = parser->hookMap()->allKeys();
        for (auto* name : *names) {
            parser->hookWithName(static_cast<NSString*>(name));
            parser->adWithHook(static_cast<NSString*>(name), nullptr);
        }
    };
    for (std::size_t length = 0; length <= whole.size(); length += 5)
        check(whole.substr(0, length));
    for (std::size_t at = 0; at < whole.size(); at += 11) {
        std::string changed = whole;
        changed[at] = static_cast<char>(changed[at] ^ 0xA5);
        check(changed);
    }
}

// A session's file cache saves every parsed reply and its images to disk; the caches are
// process-wide, so a reset between tests must take them away, or every later parse pays for a
// session that has ended.
TEST(TallyAdParserDamageTest, NoFileOrImageCacheOutlivesAReset) {
    auto files = TallyFileCache::createInstanceWithApiKey(NS("abcdefg"));
    auto images = TallyImageCache::createInstanceWithFileCache(files.get());
    ASSERT_TRUE(TallyFileCache::instance());
    resetProcessWideInstances();
    EXPECT_FALSE(TallyFileCache::instance());
    EXPECT_NE(TallyImageCache::instance().get(), images.get());
}

}  // namespace
