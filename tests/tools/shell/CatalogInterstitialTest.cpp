// The catalog's Interstitial screen replayed against the stand-in services: the Pebble
// interstitial over its splash, closed by its page, then a slot without an ad.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "Foundation/NSString.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/NetworkWork.h"
#include "TranscriptTesting.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "ads/pebble/PBLStatistics.h"
#include "support/RunLoopTesting.h"
#include "support/services/RunningServices.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/ShellSession.h"

namespace fs = std::filesystem;

TEST(CatalogInterstitial, TheFullScreenAdComesOverTheSplashAndGivesTheWindowBack) {
    auto& services = servicestest::services();
    services.reset();
    services.clearFaults();
    // Ads are numbered by the client's request count: a fresh install.
    PBLStatistics::releaseSharedStatistics();
    auto defaults = NSUserDefaults::standardUserDefaults();
    for (NSString* key : {NS("pebble_stats_shared"), NS("applicationTimeout")})
        defaults->removeObjectForKey(key);
    auto previousLoader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    registerCatalogApp();
    fs::path here = shellTestFolder();
    std::istringstream in(readFile(here / "catalog-interstitial.script"));
    std::ostringstream out;
    ShellOptions options;
    options.scriptPath = "-";
    options.delegateClassName = kCatalogDelegateClassName;
    ShellSession session(options, out, in);
    EXPECT_EQ(session.run(), 0);
    EXPECT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    UIWebView::setURLLoader(previousLoader);
    expectTranscript(here / "catalog-interstitial.transcript", out.str());

    // Both splashes asked for the full-screen format; the shown one was counted once.
    std::vector<std::string> formats, impressions;
    for (auto& r : services.received("pebble")) {
        if (r.target.rfind("/pbma/ad?", 0) == 0)
            formats.push_back(
                standin::fieldValue(standin::parseQuery(r.target.substr(9)), "format") + " " +
                standin::fieldValue(standin::parseQuery(r.target.substr(9)), "slotname"));
        if (r.target.rfind("/imp", 0) == 0) impressions.push_back(r.target);
    }
    EXPECT_EQ(formats,
              (std::vector<std::string>{"interstitial_mb interstitial", "interstitial_mb noad"}));
    EXPECT_EQ(impressions.size(), 2u);  // the reply's two pixels, once each
    PBLStatistics::releaseSharedStatistics();
    defaults->removeObjectForKey(NS("pebble_stats_shared"));
}
