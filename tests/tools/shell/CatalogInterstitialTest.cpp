// The catalog's Interstitial screen replayed against the stand-in services: the Pebble
// interstitial over its splash, closed by its page, then a slot without an ad. Its screenshot
// shows light text on the dark page, clear of the close button in the top left corner. Shown
// again with a memory warning under it, its Close gives back a whole screen, not a black one.
// An answer held past the time-out: the screen says none came in time, then that it came too
// late to show; so too one that comes within the stored time-out's fraction of a second (3.2 s of
// 3.5), past the whole seconds the splash waits. With 1e10 stored an answer at 1 s shows (Close
// answers); with 0 or NaN stored the screen says why nothing shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

#include "Foundation/NSString.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/NetworkWork.h"
#include "TranscriptTesting.h"
#include "UIKit/ImageCodecs.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "ads/pebble/PBLStatistics.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/RunLoopTesting.h"
#include "support/services/RunningServices.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/CatalogSessions.h"
#include "tools/shell/ShellSession.h"

namespace fs = std::filesystem;

TEST(CatalogInterstitial, TheFullScreenAdComesOverTheSplashAndGivesTheWindowBack) {
    InScratchFolder scratch("catalog-interstitial");
    auto& services = servicestest::services();
    services.reset();
    services.clearFaults();
    // Ads are numbered by the client's request count: a fresh install.
    auto defaults = NSUserDefaults::standardUserDefaults();
    for (NSString* key : {NS("pebble_stats_shared"), NS("applicationTimeout")})
        defaults->removeObjectForKey(key);
    auto previousLoader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    registerCatalogApp();
    fs::path here = shellTestFolder();
    fs::path shot = fs::current_path() / "interstitial.png";
    fs::path warned = fs::current_path() / "interstitial-warned.png";
    fs::remove(shot);
    fs::remove(warned);
    std::string held;
    HookedLines lines(
        readFile(here / "catalog-interstitial.script"),
        {{"# The ad server holds the next answer past the time-out.",
          [&] {
              held = "late interstitial";
              services.addFault({.host = "", .path = "/pbma/ad", .gate = held});
          }},
         // The splash waits whole seconds (3), the screen as long: at 3.2 s the answer is late.
         {"# With 3.5 s stored, the ad server holds the next answer till 3.2 s.",
          [&] {
              defaults->setFloat(3.5f, NS("applicationTimeout"));
              held = "interstitial at 3.2 s";
              services.addFault({.host = "", .path = "/pbma/ad", .gate = held});
          }},
         {"# With 1e10 s stored, the ad server holds the next answer till 1 s.",
          [&] {
              defaults->setFloat(1e10f, NS("applicationTimeout"));
              held = "interstitial at 1 s";
              services.addFault({.host = "", .path = "/pbma/ad", .gate = held});
          }},
         {"# With 0 s stored, no splash: the screen says why.",
          [&] { defaults->setFloat(0, NS("applicationTimeout")); }},
         {"# With NaN stored, none either.",
          [&] { defaults->setFloat(std::nanf(""), NS("applicationTimeout")); }},
         {"# The held answer comes.", [&] {
              services.gate(held)->open();
              runLoopUntil([] { return NetworkWork::inFlight() == 0; });
              services.clearFaults();
          }}});
    std::istream in(&lines);
    auto options = catalogOptions();
    options.heldBack = [&](const std::vector<std::string>& pending) {
        return !held.empty() &&
               heldAt(services.gate(held), {"GET http://ads.pebbleads.test/pbma/ad"})(pending);
    };
    std::string out = runCatalogScript(in, options);
    EXPECT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    UIWebView::setURLLoader(previousLoader);
    // The held request is named with the install's own identifier, which differs each time.
    out = std::regex_replace(out, std::regex("isu=[0-9A-F]+"), "isu=<install>");
    expectTranscript(here / "catalog-interstitial.transcript", out);

    auto image = UIImage::imageWithContentsOfFile(NSString::fromUTF8(shot.string()));
    ASSERT_TRUE(image) << shot;
    auto pixels = UIImagePixelsOf(image->CGImage());
    auto brightness = [&](int x, int y) {
        RGBA c = pixelAt(pixels, x, y);
        return c.r + c.g + c.b;
    };
    // The page's dark ground, with the close button alone in its corner: nothing of the page's
    // text beside or under it (the first 36 points).
    const int ground = brightness(300, 300);
    EXPECT_LT(ground, 3 * 80);
    int brightestBeside = 0;
    for (int y = 0; y < 36; ++y)
        for (int x = 40; x < 320; ++x)
            brightestBeside = std::max(brightestBeside, brightness(x, y));
    EXPECT_LT(brightestBeside, ground + 30);
    // The title below is light on that ground.
    int brightestTitle = 0;
    for (int y = 40; y < 140; ++y)
        for (int x = 0; x < 320; ++x)
            brightestTitle = std::max(brightestTitle, brightness(x, y));
    EXPECT_GT(brightestTitle, 3 * 200);

    // After the warning: the Interstitial screen's white ground between the bars, its status
    // dark on it, and the tab bar's dark band at the bottom.
    auto back = UIImage::imageWithContentsOfFile(NSString::fromUTF8(warned.string()));
    ASSERT_TRUE(back) << warned;
    pixels = UIImagePixelsOf(back->CGImage());
    EXPECT_GT(brightness(160, 300), 3 * 240);
    EXPECT_GT(brightness(300, 420), 3 * 240);
    int darkestStatus = 3 * 255;
    for (int y = 76; y < 96; ++y)
        for (int x = 10; x < 150; ++x)
            darkestStatus = std::min(darkestStatus, brightness(x, y));
    EXPECT_LT(darkestStatus, 3 * 80);
    EXPECT_LT(brightness(160, 460), 3 * 80);

    // Every splash asked for the full-screen format; each shown ad was counted once.
    std::vector<std::string> formats, impressions;
    for (auto& r : services.received("pebble")) {
        if (r.target.rfind("/pbma/ad?", 0) == 0)
            formats.push_back(
                standin::fieldValue(standin::parseQuery(r.target.substr(9)), "format") + " " +
                standin::fieldValue(standin::parseQuery(r.target.substr(9)), "slotname"));
        if (r.target.rfind("/imp", 0) == 0) impressions.push_back(r.target);
    }
    EXPECT_EQ(formats, (std::vector<std::string>{
                           "interstitial_mb interstitial", "interstitial_mb noad",
                           "interstitial_mb interstitial", "interstitial_mb interstitial",
                           "interstitial_mb interstitial", "interstitial_mb interstitial"}));
    EXPECT_EQ(impressions.size(), 6u);  // each shown reply's two pixels, once each
    PBLStatistics::releaseSharedStatistics();
    for (NSString* key : {NS("pebble_stats_shared"), NS("applicationTimeout")})
        defaults->removeObjectForKey(key);
}
