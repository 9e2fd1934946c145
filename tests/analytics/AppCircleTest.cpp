// The facade's house-ad entry points against the empty ad client: the disabled alert, banners
// assigned per hook and parent, offers refused, the catalog that opens nothing without an ad,
// and the canvas a pause closes.
#include <gtest/gtest.h>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSString.h"
#include "Foundation/NSUserDefaults.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIWindow.h"
#include "ads/tally/TallyAdCanvasViewController.h"
#include "ads/tally/TallyAdClient.h"
#include "ads/tally/TallyAdView.h"
#include "ads/tally/TallyOffer.h"
#include "analytics/TallyAPI.h"
#include "analytics/TallySession.h"
#include "tests/support/RunLoopTesting.h"

namespace {

class AppCircleTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override {
        auto panels = UIButtonPanelView::shownPanels();
        for (auto* panel : *panels)
            static_cast<UIButtonPanelView*>(panel)->dismissWithClickedButtonIndex(0, false);
        if (auto canvas = TallyAdCanvasViewController::getOpenCanvasController()) canvas->cancel();
        reset();
    }
    static void reset() {
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(NS("TallySendUsageInfo"));
        TallyAdAssignment::recreateInstance();
    }
    static Ref<NSString> lastAlertMessage() {
        auto panels = UIButtonPanelView::shownPanels();
        auto alert = panels->count() ? as<UIAlertView>(panels->lastObject()) : nullptr;
        return alert ? alert->message() : nullptr;
    }
    Ref<UIView> parent = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
};

TEST_F(AppCircleTest, BannersNeedAppCircleAndAreKeptPerHookAndParent) {
    EXPECT_EQ(TallyAPI::getHook(NS("home"), 0, 0, parent.get()), nullptr);
    ASSERT_TRUE(lastAlertMessage());
    EXPECT_TRUE(lastAlertMessage()->isEqualToString(
        NS("TallyAPI: AppCircle is disabled. Please enable AppCircle from Tally SDK before using "
           "AppCircle banners.")));

    TallyAPI::setAppCircleEnabled(true);
    auto banner = TallyAPI::getHook(NS("home"), 10, 400, parent.get());
    ASSERT_TRUE(banner);
    // An empty client has no ad: the banner waits hidden in its place.
    EXPECT_TRUE(banner->isHidden());
    EXPECT_EQ(banner->frame().origin.y, 400);
    EXPECT_EQ(banner->frame().size.width, 320);
    EXPECT_EQ(banner->superview(), parent);
    EXPECT_TRUE(banner->parentName()->isEqualToString(parent->description()));
    EXPECT_TRUE(banner->canvasAnimated());
    EXPECT_TRUE(banner->canvasOrientation()->isEqualToString(NS("portrait")));
    EXPECT_EQ(TallyAPI::getHook(NS("home"), 0, 0, parent.get()), banner);
    auto other = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 10, 10));
    auto elsewhere = TallyAPI::getHook(NS("home"), 0, 0, other.get(), false, NS("landscape"),
                                       NS("landscapeLeft"), true, false);
    ASSERT_TRUE(elsewhere);
    EXPECT_NE(elsewhere, banner);
    EXPECT_EQ(elsewhere->superview(), nullptr);  // not attached
    EXPECT_FALSE(elsewhere->canvasAnimated());

    TallyAPI::updateHook(banner);
    EXPECT_TRUE(banner->isHidden());
    TallyAPI::removeHook(banner);
    EXPECT_NE(TallyAPI::getHook(NS("home"), 0, 0, parent.get()), banner);
}

TEST_F(AppCircleTest, OffersAndTheCatalogGiveNothingWithoutAds) {
    auto offer = make<TallyOffer>();
    offer->setReferralUrl(NS("http://ads.tally.test/getIPhoneApp.do?x=1"));
    auto cookies = NSDictionary::dictionaryWithObject(NS("a b&c"), NS("k"));
    EXPECT_FALSE(TallyAPI::getOffer(NS("store"), offer));
    TallyAPI::setAppCircleEnabled(true);
    EXPECT_FALSE(TallyAPI::getOffer(NS("store"), offer, cookies));
    EXPECT_FALSE(TallyAPI::getOffer(NS("store"), nullptr));
    // No valid offer: the cookies are not appended.
    EXPECT_TRUE(
        offer->referralUrl()->isEqualToString(NS("http://ads.tally.test/getIPhoneApp.do?x=1")));

    TallyAPI::openCatalog(NS("catalog"), NS("portrait"), true);
    EXPECT_EQ(TallyAdCanvasViewController::getOpenCanvasController(), nullptr);

    NSUserDefaults::standardUserDefaults()->setBool(false, NS("TallySendUsageInfo"));
    EXPECT_EQ(TallyAPI::getHook(NS("home"), 0, 0, parent.get()), nullptr);
    EXPECT_EQ(lastAlertMessage(), nullptr);  // switched off: not even the alert
}

TEST_F(AppCircleTest, TheAdDelegateReachesTheParserAndLaterBanners) {
    auto delegate = make<NSObject>();
    TallyAPI::setAppCircleDelegate(delegate);
    EXPECT_EQ(TallyAdParser::instance()->adDelegate(), delegate);
    TallyAPI::setAppCircleEnabled(true);
    auto banner = TallyAPI::getHook(NS("home"), 0, 0, parent.get());
    EXPECT_EQ(banner->adDelegate(), delegate);
    // Kept without being retained.
    auto probe = Weak<NSObject>(delegate.get());
    delegate = nullptr;
    EXPECT_EQ(probe.lock(), nullptr);
}

TEST_F(AppCircleTest, APauseClosesTheOpenCanvas) {
    auto app = UIApplication::sharedApplication();
    auto appWindow = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    appWindow->makeKeyAndVisible();
    TallyAPI::setSessionReportsOnPauseEnabled(false);
    TallySession::createActiveTallySession(NS("canvas-key"));

    auto canvas = make<TallyAdCanvasViewController>();
    EXPECT_TRUE(canvas->title()->isEqualToString(NS("Info")));
    canvas->setWebUrl(
        TallyAdView::webUrlForCanvas(true, NS("h"), nullptr, nullptr, NS("PORTRAIT")));
    EXPECT_TRUE(canvas->webUrl()->hasPrefix(
        TallyAPI::canvasURL()->stringByAppendingString(NS("?apik=canvas-key&"))));
    canvas->createCanvasWindow();
    EXPECT_EQ(TallyAdCanvasViewController::getOpenCanvasController(), canvas);
    EXPECT_EQ(app->keyWindow(), canvas->canvasWindow());

    TallyAPI::pauseSession();
    // The closing animation takes no time without animation, but still runs on the loop.
    EXPECT_TRUE(
        runLoopUntil([] { return !TallyAdCanvasViewController::getOpenCanvasController(); }));
    EXPECT_EQ(canvas->canvasWindow(), nullptr);
    EXPECT_EQ(app->keyWindow(), appWindow);
    EXPECT_TRUE(TallyAdView::webUrlForCanvas(true, nullptr, nullptr, nullptr, NS("landscapeLeft"))
                    ->hasPrefix(TallyAPI::landscapeCanvasURL()->stringByAppendingString(NS("?"))));
    EXPECT_TRUE(TallyAdView::webUrlForCanvas(false, nullptr, nullptr, nullptr, NS("portrait"))
                    ->hasPrefix(TallyAPI::appStoreURL()->stringByAppendingString(NS("?"))));
    TallySession::currentSession()->saveSession();
}

}  // namespace
