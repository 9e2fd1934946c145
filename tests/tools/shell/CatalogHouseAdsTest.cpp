// The catalog's House Ads screen replayed against the stand-in services: the start-up upload
// of the catalog's session (AppCircle on) brings the ad reply, "Place Banner" shows the default
// hook's banner under the buttons, and "Open Canvas" opens the canvas with the vendor's page
// over everything until "Cancel". The screenshots show the banner's icon and background at the
// theme's frames, and the canvas's colour around its page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "Classes/NoticewallAppDelegate.h"
#include "Foundation/NSString.h"
#include "Foundation/NetworkWork.h"
#include "TranscriptTesting.h"
#include "UIKit/ImageCodecs.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "ads/tally/TallyAdCanvasViewController.h"
#include "ads/tally/TallyAdClient.h"
#include "analytics/TallyAPI.h"
#include "analytics/TallySession.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/RunLoopTesting.h"
#include "support/services/RunningServices.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/services/AnalyticsModule.h"
#include "tools/shell/CatalogSessions.h"
#include "tools/shell/ShellSession.h"
#include "ui/core/DZNavigator.h"

namespace fs = std::filesystem;

TEST(CatalogHouseAds, ABannerForAHookAndTheCanvasFromTheStandInsAdReply) {
    InScratchFolder scratch("catalog-house-ads");
    auto& services = servicestest::services();
    services.reset();
    TallySession::removeFilesForTesting(kNoticewallAnalyticsKey);
    registerCatalogApp();
    fs::path here = shellTestFolder();
    fs::path bannerShot = fs::current_path() / "house-ads.png";
    fs::path canvasShot = fs::current_path() / "house-ads-canvas.png";
    fs::remove(bannerShot);
    fs::remove(canvasShot);
    // The banner needs the parsed reply: the start-up upload is waited for first.
    HookedLines lines(readFile(here / "catalog-house-ads.script"), "tap Place Banner", [] {
        EXPECT_TRUE(runLoopUntil([] { return TallyAdParser::isAdParserFinished(); }));
    });
    std::istream in(&lines);
    // The canvas page comes over the URL connection, as in the program.
    auto previousLoader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    std::string out = runCatalogScript(in);
    UIWebView::setURLLoader(previousLoader);
    DZBaseNavigator::setGlobalNavigator(nullptr);
    expectTranscript(here / "catalog-house-ads.transcript", out);
    EXPECT_EQ(NetworkWork::inFlight(), 0);
    EXPECT_FALSE(TallyAdCanvasViewController::getOpenCanvasController());
    auto uploads = services.module<bnservices::AnalyticsModule>("analytics")->uploads();
    ASSERT_FALSE(uploads.empty());
    EXPECT_EQ(uploads[0].upload.adsRequested, 1u);

    // The banner sits 120 points under the screen's top (64 down): its icon at (4, 4) 40 x 40,
    // its background's blue frame at the right end, its lighter inner square inside. The
    // screenshots are at the screen's scale of 1.
    auto banner = UIImage::imageWithContentsOfFile(NSString::fromUTF8(bannerShot.string()));
    ASSERT_TRUE(banner) << bannerShot;
    int top = 64 + 120;
    EXPECT_TRUE(near(pixelAt(banner, 315, top + 45), RGBA{0x20, 0x40, 0x80, 255}));
    EXPECT_TRUE(near(pixelAt(banner, 300, top + 30), RGBA{0x8F, 0x9F, 0xBF, 255}, 3));
    EXPECT_FALSE(near(pixelAt(banner, 6, top + 6), kWhite, 10));  // the icon
    // The app name ("App 101", at (52, 22) of the banner) is written dark on the light band: a
    // glyph pixel there is darker than the band by far.
    {
        auto pixels = UIImagePixelsOf(banner->CGImage());
        int darkest = 3 * 255;
        for (int y = top + 22; y < top + 38; ++y)
            for (int x = 52; x < 110; ++x) {
                RGBA c = pixelAt(pixels, x, y);
                darkest = std::min(darkest, c.r + c.g + c.b);
            }
        EXPECT_LT(darkest, 200);
    }
    // The canvas covers the screen below the status bar: its bar whole from 20 to 64 points
    // down (its lower part the bar's colour too, not the page), its page (white) under the bar,
    // then the drawer raised from the bottom with its grey handle and the canvas banners on
    // their blue backgrounds.
    auto canvas = UIImage::imageWithContentsOfFile(NSString::fromUTF8(canvasShot.string()));
    ASSERT_TRUE(canvas) << canvasShot;
    RGBA barTop = pixelAt(canvas, 160, 30), barBottom = pixelAt(canvas, 160, 60);
    EXPECT_FALSE(near(barBottom, kWhite, 40)) << barBottom;
    EXPECT_TRUE(near(barBottom, barTop, 40)) << barBottom << " " << barTop;
    EXPECT_TRUE(near(pixelAt(canvas, 160, 66), kWhite));
    EXPECT_TRUE(near(pixelAt(canvas, 160, 250), kWhite));
    EXPECT_TRUE(near(pixelAt(canvas, 2, 353), RGBA{0x80, 0x80, 0x80, 255}, 3));
    EXPECT_TRUE(near(pixelAt(canvas, 315, 475), RGBA{0x20, 0x40, 0x80, 255}, 3));
    // The last canvas banner (432 points down) names its maker on the band beside the app
    // name, at (190, 22) of the banner: ink over 11 rows and more, readable, where the maker's
    // line used to be 7 pixels high.
    {
        auto pixels = UIImagePixelsOf(canvas->CGImage());
        int inkRows = 0;
        // Within the band (12 to 36 of the banner), ink is what is darker than it.
        for (int y = 432 + 13; y < 432 + 35; ++y) {
            bool ink = false;
            for (int x = 190; x < 300 && !ink; ++x)
                ink = pixelAt(pixels, x, y).r < 115;
            inkRows += ink;
        }
        EXPECT_GE(inkRows, 11);
    }
}
