// The catalog's Full-Screen Ad screen replayed against the stand-in Ironvine server: the ad is
// fetched at the first launch, shown over the catalog as text, its words off the screen's edge,
// turned with the phone, its link opens the in-ad browser with the landing page, and done closes
// the window, the status bar back after a trip to the background under the ad.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>

#include "Foundation/NetworkWork.h"
#include "TranscriptTesting.h"
#include "UIKit/ImageCodecs.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIImage.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "ads/ironvine/IVController.h"
#include "ads/ironvine/IVFullScreenAd.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/RunLoopTesting.h"
#include "support/services/IronvineFirstLaunch.h"
#include "support/services/RunningServices.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/CatalogSessions.h"
#include "tools/shell/ShellSession.h"
#include "tools/standin/HttpMessage.h"

namespace fs = std::filesystem;

TEST(CatalogFullScreenAd, APersonSeesTheAdOpensItsLinkAndClosesIt) {
    InScratchFolder scratch("catalog-full-screen-ad");
    auto& services = servicestest::services();
    services.reset();
    services.clearFaults();
    servicestest::forgetTheIronvineEngine();
    auto previousLoader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    registerCatalogApp();
    fs::path here = shellTestFolder();
    fs::path adShot = fs::current_path() / "full-screen-ad-landscape.png";
    fs::path browserShot = fs::current_path() / "full-screen-ad-browser-landscape.png";
    fs::path uprightShot = fs::current_path() / "full-screen-ad-browser.png";
    fs::path wordsShot = fs::current_path() / "ironvine-full-screen.png";
    fs::path closedShot = fs::current_path() / "full-screen-ad-closed.png";
    for (auto& f : {adShot, browserShot, uprightShot, wordsShot, closedShot})
        fs::remove(f);
    // The script's waits alone bring the ad and its page, the engine's threads working as the
    // clock moves.
    HookedLines lines(
        readFile(here / "catalog-full-screen-ad.script"),
        {{"# The ad is in; shown, it covers the catalog.",
          [&] {
              // No replacement comes after this one.
              services.module("ironvine")->adminView("ads", standin::parseQuery("noad=1"));
          }},
         // Turned a quarter round, the ad's view is a landscape one that fills the screen, its
         // Menu shown inside it at the lower left.
         {"# The ad turned.",
          [&] {
              auto ad = IVController::sharedController()->fullScreenAdController();
              CGRect b = ad->view()->bounds();
              EXPECT_EQ(b.size.width, 480);
              EXPECT_EQ(b.size.height, 320);
              CGRect f = ad->view()->frame();
              EXPECT_NEAR(f.origin.x, 0, 0.01);
              EXPECT_NEAR(f.origin.y, 0, 0.01);
              EXPECT_NEAR(f.size.width, 320, 0.01);
              EXPECT_NEAR(f.size.height, 480, 0.01);
              auto menu = ad->menuButton();
              ASSERT_TRUE(menu);
              EXPECT_FALSE(menu->isHidden());
              EXPECT_TRUE(CGRectContainsRect(b, menu->frame()));
          }},
         // The browser's bar runs along the turned view's top, with Done on it; no Menu.
         {"# The browser turned.",
          [&] {
              auto ad = IVController::sharedController()->fullScreenAdController();
              EXPECT_TRUE(
                  CGRectEqualToRect(ad->navigationBar()->frame(), CGRectMake(0, 0, 480, 32)));
              EXPECT_FALSE(ad->navigationBar()->isHidden());
              EXPECT_TRUE(ad->navigationItem()->leftBarButtonItem());
              EXPECT_TRUE(!ad->menuButton() || ad->menuButton()->isHidden());
          }},
         // The page reached by the link can go back to the first.
         {"rotate portrait", [&] {
              auto ad = IVController::sharedController()->fullScreenAdController();
              EXPECT_TRUE(ad->navigationControls()->isEnabledForSegmentAtIndex(0));
          }}});
    std::istream in(&lines);
    std::string out = runCatalogScript(in);
    EXPECT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    UIWebView::setURLLoader(previousLoader);
    expectTranscript(here / "catalog-full-screen-ad.transcript", out);
    // The ad's words: some at the left of the screen, none within 8 points of its edge, where
    // every row is the page's own colour.
    {
        auto shot = UIImage::imageWithContentsOfFile(NSString::fromUTF8(wordsShot.string()));
        ASSERT_TRUE(shot && shot->CGImage()) << wordsShot;
        auto px = UIImagePixelsOf(shot->CGImage());
        int scale = int(px.width / 320);
        auto differs = [&](int x0, int x1) {
            int n = 0;
            for (int y = 30 * scale; y < 200 * scale; ++y) {
                RGBA page = pixelAt(px, 0, y);
                for (int x = x0 * scale; x < x1 * scale; ++x)
                    if (!near(pixelAt(px, x, y), page, 24)) ++n;
            }
            return n;
        };
        EXPECT_GT(differs(8, 120), 100) << "no words on the page";
        EXPECT_EQ(differs(0, 8), 0) << "the words touch the screen's left edge";
    }
    // The turned ad fills the screen (no black bands above and below it), its heading whole
    // along the right edge and its Menu, dark blue letters, in its corner at the top left.
    auto turned = UIImage::imageWithContentsOfFile(NSString::fromUTF8(adShot.string()));
    ASSERT_TRUE(turned) << adShot;
    auto dark = [](RGBA c) { return c.r + c.g + c.b < 300; };
    auto blue = [](RGBA c) { return c.b > c.r + 40 && c.r + c.g + c.b < 500; };
    EXPECT_TRUE(near(pixelAt(turned, 160, 20), kWhite));
    EXPECT_TRUE(near(pixelAt(turned, 160, 460), kWhite));
    EXPECT_GT(countPixels(turned.get(), CGRectMake(240, 0, 40, 200), dark), 1000);
    EXPECT_GT(countPixels(turned.get(), CGRectMake(10, 12, 20, 56), blue), 20);
    // The turned browser: its dark bar along the right edge, Done light on it at the top.
    auto browser = UIImage::imageWithContentsOfFile(NSString::fromUTF8(browserShot.string()));
    ASSERT_TRUE(browser) << browserShot;
    EXPECT_TRUE(dark(pixelAt(browser, 300, 240)));
    EXPECT_GT(countPixels(browser.get(), CGRectMake(290, 0, 28, 60),
                          [](RGBA c) { return c.r + c.g + c.b > 600; }),
              10);
    // Upright again, the bar's back and forward buttons are grey (their tint), not white, so
    // the light arrow of an enabled back reads on them.
    auto upright = UIImage::imageWithContentsOfFile(NSString::fromUTF8(uprightShot.string()));
    ASSERT_TRUE(upright) << uprightShot;
    for (int x : {245, 290}) {
        RGBA button = pixelAt(upright, x, 8);
        EXPECT_LT(button.r + button.g + button.b, 3 * 200) << x << ": " << button;
    }
    // Back from the home screen and closed, the ad leaves the status bar as it found it: shown,
    // its light grey over the catalog's bar.
    auto closed = UIImage::imageWithContentsOfFile(NSString::fromUTF8(closedShot.string()));
    ASSERT_TRUE(closed) << closedShot;
    RGBA bar = pixelAt(closed, 160, 2);
    EXPECT_TRUE(bar.r > 200 && bar.g > 200 && bar.b > 200) << bar;
    // Its arrows show: the enabled back one white and whole on the grey, the disabled forward
    // one dimmer, yet lighter than the grey around it.
    RGBA grey = pixelAt(upright, 282, 6);
    auto white = [](RGBA c) { return c.r > 240 && c.g > 240 && c.b > 240; };
    auto paler = [&](RGBA c) { return c.r + c.g + c.b > grey.r + grey.g + grey.b + 45; };
    const CGRect back = CGRectMake(237, 3, 36, 26), forward = CGRectMake(277, 3, 36, 26);
    EXPECT_GT(countPixels(upright.get(), back, white), 40);
    EXPECT_EQ(countPixels(upright.get(), forward, white), 0);
    EXPECT_GT(countPixels(upright.get(), forward, paler), 25);
    // The shown ad's impression trackers reached the ad server (its number goes on from the ads
    // earlier tests of the program asked the same stand-in for).
    auto hits = services.module("ironvine")->adminView("hits", {})->body;
    EXPECT_TRUE(std::regex_search(hits, std::regex(R"(track/ivFullScreen/\d+/impression)")))
        << hits;
    services.module("ironvine")->adminView("ads", standin::parseQuery("noad=0"));
    servicestest::forgetTheIronvineEngine();
}
