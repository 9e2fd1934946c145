// The catalog's Full-Screen Ad screen replayed against the stand-in Ironvine server: the ad is
// fetched at the first launch, shown over the catalog as text, its link opens the in-ad browser
// with the landing page, and done closes the window. Its words keep off the screen's edge.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "Foundation/NetworkWork.h"
#include "TranscriptTesting.h"
#include "UIKit/ImageCodecs.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/RunLoopTesting.h"
#include "support/services/IronvineFirstLaunch.h"
#include "support/services/RunningServices.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/ShellScreen.h"
#include "tools/shell/ShellSession.h"
#include "tools/standin/HttpMessage.h"

namespace fs = std::filesystem;

TEST(CatalogFullScreenAd, APersonSeesTheAdOpensItsLinkAndClosesIt) {
    auto& services = servicestest::services();
    services.reset();
    services.clearFaults();
    servicestest::forgetTheIronvineEngine();
    auto previousLoader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    registerCatalogApp();
    fs::path here = shellTestFolder();
    // The engine's own threads are not network work the shell waits for: the test waits for
    // what a person would wait to see, then the script's waits settle the rest.
    auto shows = [](const char* text) {
        return ShellScreen::capture().text().find(text) != std::string::npos;
    };
    HookedLines lines(
        readFile(here / "catalog-full-screen-ad.script"),
        {{"# The ad is in; shown, it covers the catalog.",
          [&] {
              EXPECT_TRUE(advanceRunLoopUntil([&] { return shows("Full-screen ad ready"); }));
              // No replacement comes after this one.
              services.module("ironvine")->adminView("ads", standin::parseQuery("noad=1"));
          }},
         {"# Its page is up; \"Menu\" comes ten seconds after it.", [&] {
              EXPECT_TRUE(
                  advanceRunLoopUntil([&] { return shows("See the deals") && !shows("Loading"); }));
          }}});
    std::istream in(&lines);
    std::ostringstream out;
    ShellOptions options;
    options.scriptPath = "-";
    options.delegateClassName = kCatalogDelegateClassName;
    // The script's screenshot lands in a scratch folder.
    const char* tmp = std::getenv("BN_TEST_TMP");
    fs::path shots = fs::path(tmp ? tmp : fs::temp_directory_path().string()) / "full-screen-ad";
    fs::create_directories(shots);
    fs::path before = fs::current_path();
    fs::current_path(shots);
    {
        ShellSession session(options, out, in);
        EXPECT_EQ(session.run(), 0);
    }
    fs::current_path(before);
    EXPECT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    UIWebView::setURLLoader(previousLoader);
    expectTranscript(here / "catalog-full-screen-ad.transcript", out.str());
    // The ad's words: some at the left of the screen, none within 8 points of its edge, where
    // every row is the page's own colour.
    auto shot = UIImage::imageWithContentsOfFile(
        NSString::fromUTF8((shots / "ironvine-full-screen.png").string()));
    ASSERT_TRUE(shot && shot->CGImage());
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
    fs::remove_all(shots);
    // The shown ad's impression trackers reached the ad server.
    auto hits = services.module("ironvine")->adminView("hits", {})->body;
    EXPECT_NE(hits.find("track/ivFullScreen/1002/impression"), std::string::npos) << hits;
    services.module("ironvine")->adminView("ads", standin::parseQuery("noad=0"));
    servicestest::forgetTheIronvineEngine();
}
