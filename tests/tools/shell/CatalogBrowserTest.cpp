// The catalog's browser and request-model screens replayed against the stand-in site: the web
// controller's loading title, then the page with its links and toolbar, links to listings, the
// share sheet's hand-off, the page restored after a memory warning while covered, and shakes
// over the browser and over a model screen.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "Foundation/NetworkWork.h"
#include "TranscriptTesting.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "support/RunLoopTesting.h"
#include "support/site/RunningSite.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/CatalogSessions.h"
#include "tools/shell/ShellSession.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZURLCache.h"

namespace fs = std::filesystem;

TEST(CatalogBrowser, TheBrowserAndAModelScreenReplayAgainstTheSite) {
    bnsite::Site& site = sitetest::site();
    DZURLCache::sharedCache()->removeAll(true);
    bnsite::Fault held;
    held.host = "www.bazaarnest.test";
    held.path = "/";
    held.gate = "catalog-front-page";
    held.remaining = 1;
    site.addFault(held);
    auto gate = site.gate("catalog-front-page");
    gate->close();
    sitetest::takeLog();

    auto previous = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    registerCatalogApp();
    fs::path here = shellTestFolder();
    HookedLines lines(readFile(here / "catalog-browser.script"),
                      "# The site lets the front page through: its title, numbered links and the "
                      "toolbar.",
                      [&] { gate->open(); });
    std::istream in(&lines);
    auto options = catalogOptions();
    // (The page's load and its request.)
    options.heldBack = heldAt(gate, {"GET http://www.bazaarnest.test/"});
    std::string out = runCatalogScript(in, options);
    gate->open();
    site.clearFaults();
    UIWebView::setURLLoader(previous);
    DZBaseNavigator::setGlobalNavigator(nullptr);

    expectTranscript(here / "catalog-browser.transcript", out);
    EXPECT_EQ(NetworkWork::inFlight(), 0);
    // The listings page was read twice: on the link, and again when the browser came back
    // after giving up its view (the shake over it read nothing). The location index was read
    // twice too: on opening the model screen, and on the shake. (The site writes its log line
    // after the answer, from its own thread.)
    size_t listingReads = 0, indexReads = 0;
    runLoopUntil([&] {
        for (const std::string& line : sitetest::takeLog()) {
            if (line.find("/fua/") != std::string::npos) ++listingReads;
            if (line.find("/about/sites") != std::string::npos) ++indexReads;
        }
        return listingReads >= 2 && indexReads >= 2;
    });
    EXPECT_EQ(listingReads, 2u);
    EXPECT_EQ(indexReads, 2u);
}
