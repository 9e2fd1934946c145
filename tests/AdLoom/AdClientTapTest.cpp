// The ad clients' tap table: taps while the first one's click is held at a gate of the services
// make no second click-through, hand-off or full-screen view once the gate opens, nor does a
// double tap once its first click went through (`held` then names the request counted). A
// banner's ad takes its taps while a refresh of its network is out (`refresh` names it, held).
#include <algorithm>

#include "AdLoomTesting.h"
#include "UIKit/UITouchScript.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "ads/ironvine/IVAdView.h"
#include "ads/ironvine/IVController.h"
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
    bool doubleTap = false;
    const char* refresh = nullptr;
};
class AdClientTaps : public AdLoomServiceTest, public testing::WithParamInterface<TapRow> {};

TEST_P(AdClientTaps, TakeOneTapsClickThroughAtATime) {
    const TapRow& row = GetParam();
    auto loader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    std::shared_ptr<void> restore(nullptr, [&](void*) { UIWebView::setURLLoader(loader); });
    SCNetworkReachabilitySetFlagsForTesting(kSCNetworkReachabilityFlagsReachable);
    std::shared_ptr<void> engine(nullptr, [&](void*) {
        if (row.network == AdLoomAdNetworkTypeIronvine)
            IVController::sharedController()->shutdown();
    });
    auto host = make<TestHost>();
    host->answer({"adLoomDidReceiveAd:", "adLoomWillPresentFullScreenModal"});
    host->controller = make<UIViewController>();
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->makeKeyAndVisible();
    window->addSubview(holder.get());
    Ref<UIView> ad;
    auto refresh = services->gate(row.name + std::string(" refresh"));
    if (row.network) {
        serve(kAppKey, rationsJSON({{row.network, row.key, 100, 1, row.key}}));
        auto view = banner(host.get());
        ASSERT_TRUE(advanceRunLoopUntil([&] { return !host->events.empty(); }));
        advanceRunLoop(2);  // the transition to the ad
        ad = view->currAdapter()->adNetworkView();
        if (row.refresh) {
            services->addFault(
                {.host = "", .path = row.refresh, .gate = row.name + std::string(" refresh")});
            advanceRunLoop(5);
            view->requestFreshAd();
            ASSERT_TRUE(runLoopUntil([&] { return refresh->waiting() == 1; }));
        }
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
    if (row.network == AdLoomAdNetworkTypeIronvine) {
        auto iv = IVController::sharedController()->viewForSlotNamed(NS("ivBanner"));
        page = iv->controller()->webView();
    }
    auto gate = services->gate(row.name);
    if (!row.doubleTap) services->addFault({.host = "", .path = row.held, .gate = row.name});
    auto clicks = [&] {
        return std::ranges::count_if(services->received(row.module),
                                     [&](auto& r) { return r.target.rfind(row.held, 0) == 0; });
    };
    auto through = [&] { return clicks() == 1 && NetworkWork::inFlight() == 0; };
    auto finger = UITouchScript::scriptWithWindow(window.get());
    for (double pause : row.doubleTap ? std::vector{-1.0, 0.1} : std::vector{-1.0, 1.0, 1.0, 0.0}) {
        if (pause > 0) advanceRunLoop(pause);
        EXPECT_TRUE(!page || page->clickElementAtIndex(row.link));
        if (!page) finger->tap(CGPointMake(160, 25));
        ASSERT_TRUE(pause >= 0 || (row.doubleTap ? advanceRunLoopUntil(through) : runLoopUntil([&] {
                        return gate->waiting() == 1;
                    })));
    }
    gate->open();
    refresh->open();
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    advanceRunLoop(1);
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    EXPECT_EQ(clicks(), 1);
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
                    TapRow{"HouseAdHandOff", "house-icon", "mediation", "/click.php", 9, 0, 1},
                    // The store's hand-off takes the app off the screen before the second tap.
                    TapRow{"TallyStoreTwice", "", "tallyads", "/referral.do", 0, 0, 1, true},
                    // Its browser has the landing page: the banner's own page takes no second.
                    TapRow{"IronvineTwice", "bazaarnestiv0001", "ironvine",
                           "/AdBridgeServer/landing/1.html", 7, 1, 1, true},
                    TapRow{"HouseAdDuringItsRefresh", "house-icon", "mediation", "/click.php", 9, 0,
                           1, false, "/custom.php"}),
    [](const testing::TestParamInfo<TapRow>& info) { return std::string(info.param.name); });

}  // namespace
