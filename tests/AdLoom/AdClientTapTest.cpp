// The ad clients' tap table: the first tap's click-through is held at a gate of the stand-in
// services, then the ad is tapped again and double-tapped; once the gate opens, the services
// saw one click-through and the app made one hand-off or full-screen view.
#include "AdLoomTesting.h"
#include "UIKit/UITouchScript.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "ads/meridian/MRGenericAdView.h"
#include "ads/pebble/PBLBannerView.h"
#include "ads/tally/TallyAdModel.h"
#include "ads/tally/TallyAdParser.h"
#include "ads/tally/TallyAdProperties.h"
#include "ads/tally/TallyAdView.h"
#include "ads/tally/TallyImageCache.h"
#include "analytics/TallySession.h"
#include "tools/services/TallyAdReply.h"

using namespace adloomtest;

namespace {

struct TapRow {
    const char* name;
    int network;  // the mediation network type; 0 for the analytics vendor's banner
    const char *nid, *key, *module, *held;
    int link;  // the link clicked in the ad's page; 0 for a finger on the banner
    int handOffs;
};
void PrintTo(const TapRow& row, std::ostream* out) {
    *out << row.name;
}

class AdClientTaps : public AdLoomServiceTest, public testing::WithParamInterface<TapRow> {
protected:
    void SetUp() override {
        AdLoomServiceTest::SetUp();
        previousLoader_ = UIWebView::setURLLoader(UIWebViewConnectionLoader());
        host->controller = make<UIViewController>();
        window->makeKeyAndVisible();
        window->addSubview(host->controller->view().get());
        host->controller->view()->addSubview(holder.get());
        UIApplication::sharedApplication()->clearOpenedURLs();
    }
    void TearDown() override {
        AdLoomServiceTest::TearDown();
        UIWebView::setURLLoader(previousLoader_);
    }
    Ref<TestHost> host = makeHost();
    Ref<UIWindow> window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    UIWebViewURLLoader previousLoader_;
};

TEST_P(AdClientTaps, TakeOneTapsClickThroughAtATime) {
    const TapRow& row = GetParam();
    Ref<UIView> ad;
    if (row.network) {
        serve(kAppKey, rationsJSON({{row.network, row.nid, 100, 1, row.key}}));
        auto view = banner(host.get());
        ASSERT_TRUE(runLoopUntil([&] {
            return host->eventList().find("received") != std::string::npos;
        })) << host->eventList();
        advanceRunLoop(2);  // the transition to the ad
        ad = view->currAdapter()->adNetworkView();
    } else {
        TallyFileCache::createInstanceWithApiKey(NS("tap-key"))->removeCache();
        TallyAdAssignment::recreateInstance();
        TallyImageCache::recreateInstanceWithFileCache(TallyFileCache::instance());
        TallySession::createActiveTallySession(NS("tap-key"));
        bnservices::TallyAdReplyOptions reply;
        reply.clickActions = {{"", 3}};
        TallyAdParser::recreateInstance()->parseData(data(buildTallyAdReply(reply, {})));
        auto shown = TallyAdParser::fastAdWithHook(NS(""), holder->description());
        ad = make<TallyAdView>(&TallyAdView::initWithAd, shown.get(), NS(""), 0, 0, holder.get(),
                               true, NS("portrait"), NS("portrait"), false);
    }
    Ref<UIWebView> page;
    if (auto meridian = as<MRGenericAdView>(ad))
        page = meridian->htmlAdView()->showingWebView()->webView();
    if (auto pebble = as<PBLBannerView>(ad)) page = pebble->webView();
    auto gate = services->gate(row.name);
    services->addFault({.host = "", .path = row.held, .gate = row.name});
    auto finger = UITouchScript::scriptWithWindow(window.get());
    auto tap = [&] {
        EXPECT_TRUE(!page || page->clickElementAtIndex(row.link));
        if (!page) finger->tap(holder->convertPoint(CGPointMake(160, 25), window.get()));
        advanceRunLoop(0.01);
    };
    tap();
    ASSERT_TRUE(runLoopUntil([&] { return gate->waiting() == 1; }));
    for (double pause : {1.0, 1.0, 0.0}) {  // a tap, then a double tap
        advanceRunLoop(pause);
        tap();
    }
    gate->open();
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    advanceRunLoop(1);
    size_t clicks = 0;
    for (auto& r : services->received(row.module))
        clicks += r.target.rfind(row.held, 0) == 0;
    EXPECT_EQ(clicks, 1u);
    EXPECT_EQ(UIApplication::sharedApplication()->openedURLs()->count() +
                  std::count(host->events.begin(), host->events.end(), "modal up"),
              size_t(row.handOffs));
    if (auto meridian = as<MRGenericAdView>(ad); meridian && meridian->overlayView())
        meridian->overlayView()->close();
    advanceRunLoop(1);
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, AdClientTaps,
    testing::Values(
        TapRow{"TallyStore", 0, "", "", "tallyads", "/getIPhoneApp.do", 0, 1},
        TapRow{"MeridianModal", 6, "meridian", "modal", "meridian", "/handleClick.php5", 1, 1},
        TapRow{"PebbleClick", 1, "pebble", "banner", "pebble", "/aclk", 9, 0},
        TapRow{"PebbleTrack", 1, "pebble", "banner", "pebble", "/pit-track", 7, 0},
        TapRow{"HouseAdHandOff", 9, "house-icon", "k", "mediation", "/click.php", 0, 1}),
    [](const testing::TestParamInfo<TapRow>& info) { return std::string(info.param.name); });

}  // namespace
