// The ad client's debug lines, read back from the debug log file: one per field the parser reads,
// in reading order, each entry's lines before the line that stores it; the choice of parser and
// the offer's steps; the canvas's views. None while the debug mode is locked.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "Foundation/NSDate.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "ads/tally/TallyAdCanvasViewController.h"
#include "ads/tally/TallyAdImpression.h"
#include "ads/tally/TallyOffer.h"
#include "analytics/TallySession.h"
#include "analytics/base/TallyUtil.h"
#include "tests/ads/tally/TallyAdTesting.h"
#include "tests/support/FoundationTesting.h"

namespace {

using namespace tally_ads_test;

std::string logPath() {
    auto dirs = NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true);
    return std::string(cast<NSString>(dirs->objectAtIndex(0))->UTF8String()) + "/tally.logfile.txt";
}

class TallyAdDebugLinesTest : public TallyAdTest {
protected:
    void SetUp() override {
        TallyAdTest::SetUp();
        std::remove(logPath().c_str());
        TallyUtil::unlockDebugMode(TallyUtil::debugKeyFor(NS("ads-test-key"), NSDate::date()),
                                   NS("ads-test-key"));
        ASSERT_TRUE(TallyUtil::isDebugModeUnlocked());
    }
    void TearDown() override {
        TallyUtil::unlockDebugMode(nullptr, nullptr);
        std::remove(logPath().c_str());
        TallyAdTest::TearDown();
    }
    // The "Tally: " lines written since the last call, unscrambled and without their dates.
    std::vector<std::string> lines() {
        std::ifstream in(logPath());
        std::vector<std::string> out;
        for (std::string line; std::getline(in, line);) {
            std::string plain =
                TallyUtil::transposeDecode(NSString::stringWithUTF8String(line.c_str()))
                    ->UTF8String();
            if (auto at = plain.find("Tally: "); at != std::string::npos)
                out.push_back(plain.substr(at));
        }
        std::remove(logPath().c_str());
        return out;
    }
    // Every expected line appears, in this order (other lines may come between them); one
    // ending in "*" matches any line that starts with what comes before the "*".
    static void expectInOrder(const std::vector<std::string>& got,
                              const std::vector<std::string>& expected) {
        size_t at = 0;
        for (auto& want : expected) {
            bool prefix = !want.empty() && want.back() == '*';
            std::string stem = prefix ? want.substr(0, want.size() - 1) : want;
            while (at < got.size() && !(prefix ? got[at].rfind(stem, 0) == 0 : got[at] == stem))
                ++at;
            ASSERT_LT(at, got.size()) << "missing, or out of order: " << want;
            ++at;
        }
    }
    static Ref<TallyAdParser> parse(const std::string& bytes) {
        auto parser = TallyAdParser::instance();
        parser->parseData(dataOf(bytes));
        return parser;
    }
};

TEST_F(TallyAdDebugLinesTest, EachFieldOfEachChunkInReadingOrder) {
    std::string png = bnservices::tallyAdPng(4, 4, 0x102030);
    TallyAdReplyWriter theme;
    theme.u8(1).u8(7).str("Try it").i64(5).i64(0);
    theme.style("Arial", 12, 0x102030).style("Arial-Bold", 14, 0).style("Arial", 9, 0xFFFFFF);
    TallyAdReplyWriter extensions;
    extensions.u8(2);
    for (int id : {99, 7}) {  // the first names no theme: read, then dropped
        extensions.u8(static_cast<unsigned>(id));
        extensions.style("Verdana", 11, 0).style("Verdana", 13, 0).style("Verdana", 8, 0);
        for (int k = 0; k < 18; ++k)
            extensions.pair(id + k, -k);
    }
    TallyAdReplyWriter w;
    w.chunk(0x0106, imageChunk({5, 0, -2}, 4, 3));
    w.chunk(0x0107, TallyAdReplyWriter().u32(2).str("a").u8(1).u8(7).str("b").u8(2).u8(7).bytes());
    w.chunk(0x0103, TallyAdReplyWriter()
                        .u8(1)
                        .u16(1)
                        .i64(11)
                        .i64(12)
                        .str("Puzzle")
                        .str("Games Inc")
                        .i64(13)
                        .i64(5)
                        .u8(2)
                        .u8(0xAB)
                        .u8(0xCD)
                        .bytes());
    w.chunk(0x010A, theme.bytes());
    w.chunk(0x010F, extensions.bytes());
    w.chunk(0x010C, TallyAdReplyWriter().u32(1).i64(5).u16(1).bytes());
    w.chunk(0x010D, TallyAdReplyWriter()
                        .u16(0)
                        .u16(3)
                        .u32(25)
                        .i64(1700000000000)
                        .u8(0xFE)
                        .u8(4)
                        .str("1.5")
                        .str("2")
                        .bytes());
    w.chunk(0x010E, TallyAdReplyWriter().u16(1).str("a").u16(1).u16(0x0701).i64(3).bytes());
    parse(w.bytes());
    auto got = lines();

    expectInOrder(got, {
                           "Tally: Parse image imageId[5]",
                           "Tally: Parse image width[4]",
                           "Tally: Parse image height[3]",
                           "Tally: Parse image mimeFormat[image/png]",
                           "Tally: Parse image dataSize[" + std::to_string(png.size()) + "]",
                           "Tally: Parsed image[*",
                           "Tally: Parse image imageId[0]",
                           "Tally: Parse image width[4]",
                           "Tally: Parsed image with imageId[0] not added to map",
                           "Tally: Parse image imageId[-2]",
                           "Tally: Skip processing image block with bad imageId[-2]",
                       });
    // Each hook's fields come before the line that stores it.
    expectInOrder(got, {
                           "Tally: Parse hook name[a]",
                           "Tally: Parse hook adBlockId[1]",
                           "Tally: Parse hook themeId[7]",
                           "Tally: Parsed hook[*",
                           "Tally: Parse hook name[b]",
                           "Tally: Parse hook adBlockId[2]",
                           "Tally: Parse hook themeId[7]",
                           "Tally: Parsed hook[*",
                       });
    expectInOrder(got, {
                           "Tally: Parse adBlockId[1]",
                           "Tally: Parse ad adId[11]",
                           "Tally: Parse ad projectId[12]",
                           "Tally: Parse ad text[Puzzle]",
                           "Tally: Parse ad advertiser[Games Inc]",
                           "Tally: Parse ad canvasId[13]",
                           "Tally: Parse ad imageId[5]",
                           "Tally: Parse ad cookie size[2]",
                           "Tally: Parse ad cookie[<abcd>]",
                           "Tally: Parsed ad[*",
                       });
    expectInOrder(got, {
                           "Tally: Parse theme themeId[7]",
                           "Tally: Parse theme sellMessage[Try it]",
                           "Tally: Parse theme portraitImageId[5]",
                           "Tally: Parse image landscapeImageId[0]",
                           "Tally: Parse theme portraitSellMessageTextStyle.font[Arial]",
                           "Tally: Parse theme portraitSellMessageTextStyle.size[12]",
                           "Tally: Parse theme portraitSellMessageTextStyle.color[*",
                           "Tally: Parse theme portraitAppNameTextStyle.font[Arial-Bold]",
                           "Tally: Parse theme portraitAppNameTextStyle.size[14]",
                           "Tally: Parse theme portraitAppNameTextStyle.color[*",
                           "Tally: Parse theme portraitAdvertiserTextStyle.font[Arial]",
                           "Tally: Parse theme portraitAdvertiserTextStyle.size[9]",
                           "Tally: Parse theme portraitAdvertiserTextStyle.color[*",
                           "Tally: Parsed theme[*",
                       });
    // The extension of the unknown theme is read in full too; the known one's pairs in order.
    std::vector<std::string> extension = {"Tally: Parse theme themeId[99]"};
    for (const char* style : {"landscapeSellMessageTextStyle", "landscapeAppNameTextStyle",
                              "landscapeAdvertiserTextStyle"})
        for (const char* item : {".font[Verdana]", ".size[*", ".color[*"})
            extension.push_back(std::string("Tally: Parse theme ") + style + item);
    extension.push_back("Tally: Parsing portrait ad dimension");
    extension.push_back("Tally: Parse dimension width[99]");
    extension.push_back("Tally: Parse dimension height[0]");
    extension.push_back("Tally: Parse theme complete[(null)]");
    extension.push_back("Tally: Parse theme themeId[7]");
    const char* titles[18] = {"portrait ad dimension",
                              "portrait app image dimension",
                              "portrait app image location",
                              "landscape ad dimension",
                              "landscape app image dimension",
                              "landscape app image location",
                              "portrait sell message location",
                              "portrait app name location",
                              "portrait advertiser location",
                              "portrait sell message dimension",
                              nullptr,
                              nullptr,
                              "landscape sell message location",
                              "landscape app name location",
                              "landscape advertiser location",
                              "landscape sell message dimension",
                              "landscape app name dimension",
                              "landscape advertiser dimension"};
    for (int k = 0; k < 18; ++k) {
        bool dimension =
            !titles[k] || std::string(titles[k]).find("dimension") != std::string::npos;
        if (titles[k]) extension.push_back(std::string("Tally: Parsing ") + titles[k]);
        extension.push_back(
            (dimension ? "Tally: Parse dimension width[" : "Tally: Parse location x[") +
            std::to_string(7 + k) + "]");
        extension.push_back(
            (dimension ? "Tally: Parse dimension height[" : "Tally: Parse location y[") +
            std::to_string(-k) + "]");
    }
    extension.push_back("Tally: Parse theme complete[*");
    expectInOrder(got, extension);
    // The two pairs without a line of their own have none.
    size_t parsing = 0;
    for (auto& line : got)
        parsing += line.rfind("Tally: Parsing ", 0) == 0;
    EXPECT_EQ(parsing, 2u * 16u);

    expectInOrder(got, {
                           "Tally: Parse imageInfo imageId[5]",
                           "Tally: Parse imageInfo imageCode[1]",
                           "Tally: Parsed imageId[5] added to map at imageCode[1]",
                           "Tally: Parse property bannerRotationProperty[3]",
                           "Tally: Parse property bannerRotationDelaySeconds[25]",
                           "Tally: Parsed property cacheUpdateTimestamp[1700000000000]",
                           "Tally: Parsed property portraitAdsMaxShown[-2]",
                           "Tally: Parsed property landscapeAdsMaxShown[4]",
                           "Tally: Parsed property portraitAdsShownAtStart[1.5]",
                           "Tally: Parsed property landscapeAdsShownAtStart[2]",
                           "Tally: Parse hook[a] clickAction[3]",
                           "Tally: Finished parsing ad data",
                       });
}

TEST_F(TallyAdDebugLinesTest, AChunkCutShortStillLogsWhatWasReadBeforeItsEnd) {
    TallyAdReplyWriter w;
    w.chunk(0x0107, TallyAdReplyWriter().u32(2).str("a").u8(1).u8(7).str("b").bytes());
    parse(w.bytes());
    auto got = lines();
    expectInOrder(got, {"Tally: Parse hook name[a]", "Tally: Parse hook adBlockId[1]",
                        "Tally: Parse hook themeId[7]", "Tally: Parse hook name[b]",
                        "Tally: Ad tag 107 runs past its size, parsing stopped"});
    for (auto& line : got)
        EXPECT_EQ(line.rfind("Tally: Parsed hook[", 0), std::string::npos) << line;
}

TEST_F(TallyAdDebugLinesTest, TheParserThatAnswersAndTheStepsOfAnOffer) {
    TallyAdParser::instance()->parseData(reply());
    startSession();
    auto old = TallyAdParser::oldInstance();
    ASSERT_TRUE(old);
    lines();
    EXPECT_TRUE(TallyAdParser::fastHookWithName(NS("Tally_Canvas_Hook_2")));
    expectInOrder(lines(),
                  {"Tally: Using old adParser[" +
                   std::to_string(static_cast<int>(reinterpret_cast<intptr_t>(old.get()))) + "]"});
    EXPECT_TRUE(TallyAdParser::fastAdWithHook(NS("Tally_Canvas_Hook_2"), NS("P")));
    expectInOrder(lines(), {"Tally: Using old adParser to return ad"});

    TallyAdParser::instance()->parseData(reply());
    lines();
    EXPECT_TRUE(TallyAdParser::fastAdWithHook(NS("Tally_Canvas_Hook_2"), NS("Q")));
    expectInOrder(lines(), {"Tally: Using current adParser to return ad",
                            "Tally: Finding ad with hook[Tally_Canvas_Hook_2]"});

    auto offer = make<TallyOffer>();
    auto impression =
        make<TallyAdImpression>(&TallyAdImpression::initWithHook, NS("Tally_Canvas_Hook_1"),
                                NSNumber::numberWithInt(3).get());
    ASSERT_TRUE(TallyAdParser::fastOfferWithHook(NS("Tally_Canvas_Hook_1"), impression, offer));
    std::string appName = text(offer->appName());
    expectInOrder(lines(),
                  {
                      "Tally: fastOfferWithHook:withTallyOfferContainer: called.",
                      "Tally: Using current adParser to return offer",
                      "Tally: offerWithHook:(NSString*)hookName withTallyOfferContainer: called.",
                      "Tally: offerWithHook:withTallyOfferContainer: hook not nil.",
                      "Tally: offerWithHook:withTallyOfferContainer: adBlockId not nil.",
                      "Tally: offerWithHook:withTallyOfferContainer: ads not nil.",
                      "Tally: getOfferFromAdBlock:hook:withTallyOfferContainer: called.",
                      "Tally: getOfferFromAdBlock:hook:withTallyOfferContainer: ads = *",
                      "Tally: getOfferFromAdBlock:hook:withTallyOfferContainer: rotated ads.",
                      "Tally: getOfferFromAdBlock: tallyOffer.appName " + appName,
                      "Tally: getOfferFromAdBlock: appIcon is set",
                      "Tally: getOfferFromAdBlock: tallyOffer.referralUrl http*",
                      "Tally: offerWithHook:withTallyOfferContainer: offer is 1.",
                      "Tally: fastOfferWithHook:withTallyOfferContainer: validOffer is 1.",
                  });
}

TEST_F(TallyAdDebugLinesTest, TheCanvasNamesItsViews) {
    auto canvas = make<TallyAdCanvasViewController>();
    canvas->setCanvasOrientation(NS("portrait"));
    canvas->view();
    expectInOrder(lines(),
                  {"Tally: canvasController view[*",
                   "Tally: canvasController loadingView[<UIActivityIndicatorView*",
                   "Tally: canvasController webView[<UIWebView*", "Tally: loading canvas view"});
}

TEST_F(TallyAdDebugLinesTest, SettingsSayWhereTheirValueCameFromAndImpressionsTheirFields) {
    lines();
    TallyAdProperties::setBannerRefreshInSeconds(NSNumber::numberWithInt(40));
    TallyAdProperties::getBannerRefreshInSeconds();
    TallyAdProperties::getPortraitAdsShownAtStart();
    TallyAdProperties::setCacheUpdateTimestamp(NSNumber::numberWithLongLong(1700000000123));
    TallyAdProperties::getCacheUpdateTimestamp();
    auto impression = make<TallyAdImpression>(&TallyAdImpression::initWithHook, NS("h"),
                                              NSNumber::numberWithInt(3).get());
    impression->data();
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "Tally: Set BannerRefreshInSeconds[40]",
                           "Tally: Use BannerRefreshInSeconds property",
                           "Tally: Get BannerRefreshInSeconds[40]",
                           "Tally: Use PortraitAdsShownAtStart default",
                           "Tally: Get PortraitAdsShownAtStart[2.500000]",
                           "Tally: Set CacheUpdateTimestamp[1700000000123]",
                           "Tally: Use CacheUpdateTimestamp property",
                           "Tally: Get CacheUpdateTimestamp[1700000000123]",
                           "Tally: Impression hook[h] adFormat[3] adId[(null)] canvasId[(null)] "
                           "adCookie[(null)]",
                           "Tally: adState[1] sessionOffset[0]",
                       }));
}

TEST_F(TallyAdDebugLinesTest, TheSessionSaysWhetherItRecordsOrReplacesAnImpression) {
    TallySession::createActiveTallySession(NS("ads-test-key"));
    lines();
    auto impression = make<TallyAdImpression>(&TallyAdImpression::initWithHook, NS("h"),
                                              NSNumber::numberWithInt(1).get());
    impression->updateWithResult(NSNumber::numberWithInt(3));
    auto got = lines();
    TallySession::removeFilesForTesting(NS("ads-test-key"));
    expectInOrder(got, {
                           "Tally: Recording ad impression for hook[h] with adId[(null)] and "
                           "result[(null)]",
                           "Tally: Recording ad impression for hook[h] with adId[(null)] and "
                           "result[(null)] complete",
                           "Tally: Replacing ad impression for hook[h] with adId[(null)] and "
                           "result[(null)]",
                           "Tally: Recording ad impression for hook[h] with adId[(null)] and "
                           "result[(null)] complete",
                       });
}

TEST_F(TallyAdDebugLinesTest, NothingIsWrittenWhileTheDebugModeIsLocked) {
    TallyUtil::unlockDebugMode(nullptr, nullptr);
    TallyAdParser::instance()->parseData(reply());
    EXPECT_TRUE(TallyAdParser::fastHookWithName(NS("Tally_Canvas_Hook_2")));
    EXPECT_FALSE(std::ifstream(logPath()).good());
}

}  // namespace
