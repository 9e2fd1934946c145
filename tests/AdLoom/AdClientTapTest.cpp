// The ad clients' tap table: taps while the first one's click is held at a gate of the services
// make no second click-through, hand-off or full-screen view once the gate opens.
#include "AdLoomTesting.h"
#include "UIKit/UITouchScript.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "ads/meridian/MRGenericAdView.h"
#include "ads/pebble/PBLBannerView.h"
#include "ads/tally/TallyAdModel.h"
#include "ads/tally/TallyAdParser.h"
#include "ads/tally/TallyAdView.h"
#include "tools/services/TallyAdReply.h"

namespace {
using namespace adloomtest;

struct TapRow {  // network 0: the analytics vendor's banner; link 0: a finger on the banner
    const char *name, *key, *module, *held;
    int network, link, handOffs;
};
class AdClientTaps : public AdLoomServiceTest, public testing::WithParamInterface<TapRow> {};

TEST_P(AdClientTaps, TakeOneTapsClickThroughAtATime) {
    const TapRow& row = GetParam();
    auto loader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    std::shared_ptr<void> restore(nullptr, [&](void*) { UIWebView::setURLLoader(loader); });
    auto host = make<TestHost>();
    host->answer({"adLoomDidReceiveAd:", "adLoomWillPresentFullScreenModal"});
    host->controller = make<UIViewController>();
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->makeKeyAndVisible();
    window->addSubview(holder.get());
    Ref<UIView> ad;
    if (row.network) {
        serve(kAppKey, rationsJSON({{row.network, row.key, 100, 1, row.key}}));
        auto view = banner(host.get());
        ASSERT_TRUE(runLoopUntil([&] { return !host->events.empty(); }));
        advanceRunLoop(2);  // the transition to the ad
        ad = view->currAdapter()->adNetworkView();
    } else {
        TallyAdParser::recreateInstance()->parseData(
            data(bnservices::buildTallyAdReply({.clickActions = {{"", 3}}}, {})));
        ad = make<TallyAdView>(&TallyAdView::initWithAd,
                               TallyAdParser::fastAdWithHook(NS(""), holder->description()).get(),
                               NS(""), 0, 0, holder.get(), true, nullptr, nullptr, false);
    }
    Ref<UIWebView> page;
    if (auto meridian = as<MRGenericAdView>(ad))
        page = meridian->htmlAdView()->showingWebView()->webView();
    if (auto pebble = as<PBLBannerView>(ad)) page = pebble->webView();
    auto gate = services->gate(row.name);
    services->addFault({.host = "", .path = row.held, .gate = row.name});
    auto finger = UITouchScript::scriptWithWindow(window.get());
    for (double pause : {-1.0, 1.0, 1.0, 0.0}) {  // the held tap, another, a double tap
        if (pause > 0) advanceRunLoop(pause);
        EXPECT_TRUE(!page || page->clickElementAtIndex(row.link));
        if (!page) finger->tap(CGPointMake(160, 25));
        ASSERT_TRUE(pause >= 0 || runLoopUntil([&] { return gate->waiting() == 1; }));
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
    testing::Values(TapRow{"TallyStore", "", "tallyads", "/getIPhoneApp.do", 0, 0, 1},
                    TapRow{"MeridianModal", "modal", "meridian", "/handleClick.php5", 6, 1, 1},
                    TapRow{"PebbleClick", "banner", "pebble", "/aclk", 1, 9, 0},
                    TapRow{"PebbleTrack", "banner", "pebble", "/pit-track", 1, 7, 0},
                    TapRow{"HouseAdHandOff", "house-icon", "mediation", "/click.php", 9, 0, 1}),
    [](const testing::TestParamInfo<TapRow>& info) { return std::string(info.param.name); });

}  // namespace
