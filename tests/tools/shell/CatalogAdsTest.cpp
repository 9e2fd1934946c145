// The catalog's Ads screen replayed against the stand-in services: house ads from the mediation
// service (the in-app browser, a hand-off outside), then the platform's banner with its
// full-screen ad, and the pings the metrics server received, read on the admin host; then an
// Ironvine banner, whose page is no list to scroll.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "AdLoom/internal/AdLoomConfigStore.h"
#include "Foundation/NSString.h"
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
#include "tools/services/MediationModule.h"
#include "tools/shell/CatalogSessions.h"
#include "tools/shell/ShellSession.h"

namespace fs = std::filesystem;

TEST(CatalogAds, APersonSeesTapsAndReadsThePingsOfTheBanner) {
    InScratchFolder scratch("catalog-ads");
    auto& services = servicestest::services();
    services.reset();
    services.clearFaults();
    auto* mediation = services.module<bnservices::MediationModule>("mediation");
    ASSERT_NE(mediation, nullptr);
    ASSERT_TRUE(mediation->weightTo("house"));
    AdLoomConfigStore::resetStore();
    servicestest::forgetTheIronvineEngine();

    auto previousLoader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    registerCatalogApp();
    fs::path here = shellTestFolder();
    fs::path shot = fs::current_path() / "ad-browser.png";
    fs::path house = fs::current_path() / "house-ad.png";
    fs::remove(shot);
    fs::remove(house);
    auto weightTo = [&](const char* network) {
        return [&, network] {
            mediation->weightTo(network);
            AdLoomConfigStore::resetStore();
        };
    };
    HookedLines lines(
        readFile(here / "catalog-ads.script"),
        {{"# The service now weights the app's configuration to the platform's banner.",
          weightTo("iad")},
         {"# The service now weights the app's configuration to Ironvine.", weightTo("ironvine")}});
    std::istream in(&lines);
    std::string out = runCatalogScript(in);
    // The pings still on the wire end before the next test; the popped screens asked for no more.
    EXPECT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    UIWebView::setURLLoader(previousLoader);
    expectTranscript(here / "catalog-ads.transcript", out);
    servicestest::forgetTheIronvineEngine();

    // Read back: both house-ad clicks (the description's own URL), then the platform banner's
    // impression, and the Ironvine banner's. (The shell taps a control directly, not through the
    // banner's hit test, so the banner's click ping is the library tests' to check.)
    std::string kinds;
    for (auto& p : mediation->pings())
        kinds += p.kind + " " + p.nid + ";";
    EXPECT_EQ(kinds, "house click image;house click icon;impression iad;impression ironvine;");
    auto asked = mediation->houseAdRequests();
    EXPECT_EQ(asked, (std::vector<std::string>{"house", "house"}));
    mediation->weightTo("all");

    // The in-app browser's tool bar: Done whole, with the bar's own colour between it and the
    // right edge; forward an arrow as back is (the same light at the middle of each).
    auto browser = UIImage::imageWithContentsOfFile(NSString::fromUTF8(shot.string()));
    ASSERT_TRUE(browser) << shot;
    RGBA bar = pixelAt(browser, 160, 458);
    EXPECT_TRUE(near(pixelAt(browser, 316, 458), bar, 3)) << pixelAt(browser, 316, 458);
    EXPECT_FALSE(near(pixelAt(browser, 300, 458), bar, 10));
    EXPECT_TRUE(near(pixelAt(browser, 96, 458), pixelAt(browser, 30, 458), 3))
        << pixelAt(browser, 96, 458) << " " << pixelAt(browser, 30, 458);
    EXPECT_FALSE(near(pixelAt(browser, 96, 458), bar, 10));
    // The house image ad, above the tab bar: its picture's words, white on its ground, and its
    // orange tag at the left.
    auto ad = UIImage::imageWithContentsOfFile(NSString::fromUTF8(house.string()));
    ASSERT_TRUE(ad) << house;
    int top = -1;
    for (int y = 200; y < 431 && top < 0; ++y)
        if (pixelAt(ad, 300, y).b > 100 && pixelAt(ad, 300, y).r < 60) top = y;
    ASSERT_GE(top, 0) << "no banner above the tab bar";
    auto white = [](RGBA c) { return c.r > 245 && c.g > 245 && c.b > 245; };
    auto orange = [](RGBA c) { return c.r > 230 && c.g > 170 && c.g < 190 && c.b < 60; };
    EXPECT_GT(countPixels(ad.get(), CGRectMake(54, top + 6, 186, 18), white), 200);
    EXPECT_GT(countPixels(ad.get(), CGRectMake(54, top + 26, 140, 18), orange), 150);
    EXPECT_GT(countPixels(ad.get(), CGRectMake(8, top + 8, 36, 34), orange), 500);
}
