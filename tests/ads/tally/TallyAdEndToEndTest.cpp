// The whole ad side against the stand-in: with AppCircle on, a session's upload brings ads, a
// banner shows, a tap opens the canvas page, a store link in it is followed to the store, and
// the next upload carries the impression with states 1 to 8 in time order.
#include <algorithm>

#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NSUserDefaults.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "UIKit/UIWindow.h"
#include "ads/tally/TallyAdCanvasViewController.h"
#include "ads/tally/TallyAdView.h"
#include "analytics/TallyAPI.h"
#include "analytics/TallySession.h"
#include "tests/ads/tally/TallyAdTesting.h"
#include "tests/support/RunLoopTesting.h"
#include "tests/support/services/RunningServices.h"
#include "tools/services/AnalyticsModule.h"

namespace {

using namespace tally_ads_test;

TEST_F(TallyAdTest, ASessionGetsAdsShowsABannerOpensTheCanvasAndFollowsAStoreLink) {
    auto& services = servicestest::services();
    services.reset();
    auto* analytics = services.module<bnservices::AnalyticsModule>("analytics");
    NSUserDefaults::standardUserDefaults()->removeObjectForKey(NS("TallySendUsageInfo"));
    // Pages load over the URL connection, as the app sets it up.
    auto previousLoader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    TallyAPI::setAppCircleEnabled(true);
    TallyAPI::startSession(NS("e2e-key"));
    ASSERT_TRUE(runLoopUntil([] { return TallyAdParser::isAdParserFinished(); }, 20));
    ASSERT_EQ(analytics->uploads().size(), 1u);
    EXPECT_EQ(analytics->uploads()[0].upload.adsRequested, 1u);

    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->makeKeyAndVisible();
    auto screen = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->addSubview(screen);
    auto banner = TallyAPI::getHook(NS(""), 0, 100, screen, true, NS("portrait"), NS("portrait"),
                                    false, false);
    ASSERT_TRUE(banner);
    ASSERT_FALSE(banner->isHidden());
    NSNotificationCenter::defaultCenter()->postNotificationName(NS("TallyHeartBeatNotification"),
                                                                nullptr);
    auto impression = banner->adImpression();

    auto touch = make<UITouch>();
    touch->setTapCount(1);
    banner->touchesEnded(NSSet::setWithObject(touch), nullptr);
    auto canvas = TallyAdCanvasViewController::getOpenCanvasController();
    ASSERT_TRUE(canvas);
    ASSERT_TRUE(runLoopUntil([&] { return impression->currentState() == 5; }, 20));
    EXPECT_EQ(canvas->webView()->alpha(), 1.0f);

    // A store link of the page: the referral with the canvas's own query.
    auto query = canvas->webUrl()->componentsSeparatedByString(NS("?"))->lastObject();
    auto link = NSString::stringWithFormat(NS("%@?%@"), TallyAPI::appStoreURL(), query);
    auto app = UIApplication::sharedApplication();
    auto opened = app->openedURLs()->count();
    EXPECT_FALSE(canvas->webViewShouldStartLoadWithRequest(
        canvas->webView(), NSURLRequest::requestWithURL(NSURL::URLWithString(link)),
        UIWebViewNavigationTypeLinkClicked));
    EXPECT_EQ(canvas->webView()->alpha(), 0.25f);
    ASSERT_TRUE(runLoopUntil([&] { return app->openedURLs()->count() > opened; }, 20));
    EXPECT_TRUE(as<NSURL>(app->openedURLs()->lastObject())
                    ->absoluteString()
                    ->hasPrefix(NS("http://store.tally.test/app/")));
    canvas->cancel();
    ASSERT_TRUE(
        runLoopUntil([] { return !TallyAdCanvasViewController::getOpenCanvasController(); }));
    EXPECT_EQ(app->keyWindow(), window);

    // The pause's upload carries the session with the impression, as the stand-in decodes it.
    TallyAPI::pauseSession();
    ASSERT_TRUE(runLoopUntil([&] { return analytics->uploads().size() >= 2; }, 20));
    std::vector<std::vector<std::pair<int, std::int64_t>>> found;
    auto uploads = analytics->uploads();
    for (const auto& session : uploads.back().upload.sessions)
        for (const auto& m : session.impressions)
            if (m.hook.empty() && m.adFormat == 1 && m.adId == impression->adId()->longLongValue())
                found.push_back(m.states);
    ASSERT_FALSE(found.empty());
    std::vector<int> codes;
    for (auto& [state, offset] : found.back())
        codes.push_back(state);
    EXPECT_EQ(codes, (std::vector<int>{1, 2, 3, 4, 5, 6, 8}));
    EXPECT_TRUE(std::is_sorted(found.back().begin(), found.back().end(),
                               [](auto& a, auto& b) { return a.second < b.second; }));
    UIWebView::setURLLoader(previousLoader);
}

}  // namespace
