// The catalog's Ads screen replayed against the stand-in services: house ads from the mediation
// service (the in-app browser, a hand-off outside), then the platform's banner with its
// full-screen ad, and the pings the metrics server received, read on the admin host.
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
#include "support/services/RunningServices.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/services/MediationModule.h"
#include "tools/shell/CatalogSessions.h"
#include "tools/shell/ShellSession.h"

namespace fs = std::filesystem;

TEST(CatalogAds, APersonSeesTapsAndReadsThePingsOfTheBanner) {
    auto& services = servicestest::services();
    services.reset();
    services.clearFaults();
    auto* mediation = services.module<bnservices::MediationModule>("mediation");
    ASSERT_NE(mediation, nullptr);
    ASSERT_TRUE(mediation->weightTo("house"));
    AdLoomConfigStore::resetStore();

    auto previousLoader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    registerCatalogApp();
    fs::path here = shellTestFolder();
    fs::path shot = fs::current_path() / "ad-browser.png";
    fs::remove(shot);
    HookedLines lines(readFile(here / "catalog-ads.script"),
                      "# The service now weights the app's configuration to the platform's banner.",
                      [&] {
                          mediation->weightTo("iad");
                          AdLoomConfigStore::resetStore();
                      });
    std::istream in(&lines);
    std::string out = runCatalogScript(in);
    // The pings still on the wire end before the next test; the popped screens asked for no more.
    EXPECT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    UIWebView::setURLLoader(previousLoader);
    expectTranscript(here / "catalog-ads.transcript", out);

    // Read back: both house-ad clicks (the description's own URL), then the platform banner's
    // impression. (The shell taps a control directly, not through the banner's hit test, so
    // the banner's click ping is the library tests' to check.)
    std::string kinds;
    for (auto& p : mediation->pings())
        kinds += p.kind + " " + p.nid + ";";
    EXPECT_EQ(kinds, "house click image;house click icon;impression iad;");
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
    if (!getenv("BN_KEEP_SCREENSHOT")) fs::remove(shot);
}
