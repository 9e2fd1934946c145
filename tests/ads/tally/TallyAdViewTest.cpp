// The house-ad banner, the canvas and the store redirect: pixels at the theme's frames, refresh
// paused out of sight and resumed by the heartbeat on the manual clock, the click-action matrix,
// exact click URLs, the drawer, and the redirect chain on the stand-in ending in a hand-off.
#include <string>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWindow.h"
#include "ads/tally/TallyAdAppStoreConnectionDelegate.h"
#include "ads/tally/TallyAdCanvasView.h"
#include "ads/tally/TallyAdCanvasViewController.h"
#include "ads/tally/TallyAdImpression.h"
#include "ads/tally/TallyAdView.h"
#include "analytics/TallyAPI.h"
#include "analytics/TallySession.h"
#include "tests/ads/tally/TallyAdTesting.h"
#include "tests/platform/UIKit/DrawingTesting.h"
#include "tests/support/RunLoopTesting.h"
#include "tests/support/services/RunningServices.h"

namespace {

using namespace tally_ads_test;

std::vector<int> statesOf(TallyAdImpression* impression) {
    std::vector<int> out;
    auto states = impression->adStates();
    for (auto* s : *states)
        out.push_back(static_cast<TallyAdState*>(s)->state());
    return out;
}

class TallyAdViewTest : public TallyAdTest {
protected:
    void SetUp() override {
        TallyAdTest::SetUp();
        TallySession::createActiveTallySession(NS("view-key"));
        window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
        window->makeKeyAndVisible();
        screen = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
        window->addSubview(screen);
    }
    void TearDown() override {
        auto panels = UIButtonPanelView::shownPanels();
        for (auto* panel : *panels)
            static_cast<UIButtonPanelView*>(panel)->dismissWithClickedButtonIndex(0, false);
        if (auto canvas = TallyAdCanvasViewController::getOpenCanvasController()) {
            canvas->cancel();
            runLoopUntil([] { return !TallyAdCanvasViewController::getOpenCanvasController(); });
        }
        TallyAdTest::TearDown();
    }
    void parse(TallyAdReplyOptions options = {}) {
        TallyAdParser::instance()->parseData(dataOf(bnservices::buildTallyAdReply(options, {})));
    }
    Ref<TallyAdView> banner(NSString* hook, NSString* orientation = NS("portrait"),
                            bool autoRefresh = false, int y = 0) {
        auto ad = TallyAdParser::fastAdWithHook(hook, screen->description());
        auto made = make<TallyAdView>(&TallyAdView::initWithAd, static_cast<NSObject*>(ad.get()),
                                      hook, 0, y, static_cast<NSObject*>(screen.get()), true,
                                      orientation, NS("portrait"), autoRefresh);
        // Shown before it is in a window, the banner is first seen on the next heartbeat.
        EXPECT_TRUE(!ad || made->refreshTimerPaused() || !autoRefresh);
        heartBeat();
        return made;
    }
    static void tap(UIView* view) {
        auto touch = make<UITouch>();
        touch->setTapCount(1);
        view->touchesEnded(NSSet::setWithObject(touch), nullptr);
    }
    static void heartBeat() {
        NSNotificationCenter::defaultCenter()->postNotificationName(
            NS("TallyHeartBeatNotification"), nullptr);
    }
    Ref<UIWindow> window;
    Ref<UIView> screen;
};

TEST_F(TallyAdViewTest, TheThemePlacesIconBackgroundsAndLabels) {
    parse();
    auto portrait = banner(NS(""));
    ASSERT_FALSE(portrait->isHidden());
    EXPECT_EQ(portrait->frame().size.width, 320);
    EXPECT_EQ(portrait->frame().size.height, 48);
    EXPECT_TRUE(CGRectEqualToRect(portrait->icon()->frame(), CGRectMake(4, 4, 40, 40)));
    EXPECT_TRUE(CGRectEqualToRect(portrait->appNameLabel()->frame(), CGRectMake(52, 22, 130, 16)));
    EXPECT_TRUE(portrait->appNameLabel()->text()->isEqualToString(NS("App 101")));
    EXPECT_TRUE(portrait->advertiserLabel()->isHidden());
    EXPECT_TRUE(portrait->landscapeBackground()->isHidden());

    auto shot = UIViewRenderImage(portrait, 1);
    auto icon = portrait->ad()->adImage();
    // The icon shows through the background's clear window; the background's frame and inner
    // square lie where the theme puts them.
    EXPECT_TRUE(near(pixelAt(shot, 6, 6), pixelAt(icon, 1, 1), 3));
    EXPECT_TRUE(near(pixelAt(shot, 24, 24), pixelAt(icon, 28, 28), 3));
    EXPECT_TRUE(near(pixelAt(shot, 315, 45), RGBA{0x20, 0x40, 0x80, 255}));
    EXPECT_TRUE(near(pixelAt(shot, 300, 30), RGBA{0x8F, 0x9F, 0xBF, 255}, 3));

    // "LANDSCAPE" in any case picks the landscape layout; "landscapeLeft" does not.
    auto wide = banner(NS("Tally_Canvas_Hook_1"), NS("LANDSCAPE"));
    EXPECT_EQ(wide->frame().size.width, 480);
    EXPECT_EQ(wide->frame().size.height, 32);
    EXPECT_TRUE(CGRectEqualToRect(wide->icon()->frame(), CGRectMake(2, 2, 28, 28)));
    EXPECT_FALSE(wide->advertiserLabel()->isHidden());
    EXPECT_TRUE(wide->portraitBackground()->isHidden());
    auto wideShot = UIViewRenderImage(wide, 1);
    EXPECT_TRUE(near(pixelAt(wideShot, 470, 30), RGBA{0x40, 0x80, 0x20, 255}, 8));  // JPEG
    EXPECT_EQ(banner(NS("Tally_Canvas_Hook_2"), NS("landscapeLeft"))->frame().size.width, 320);
}

TEST_F(TallyAdViewTest, RefreshPausesOutOfSightAndTheHeartbeatResumesIt) {
    ManualClockScope clock;
    TallyAdReplyOptions options;
    options.refreshSeconds = 20;
    parse(options);
    auto b = banner(NS(""), NS("portrait"), true, 100);
    EXPECT_EQ(b->ad()->adId()->intValue(), 101);
    EXPECT_EQ(statesOf(b->adImpression()), (std::vector<int>{1, 2, 3}));  // seen at once
    advanceRunLoop(19.5);
    EXPECT_EQ(b->ad()->adId()->intValue(), 101);
    advanceRunLoop(1);
    EXPECT_EQ(b->ad()->adId()->intValue(), 102);
    EXPECT_EQ(statesOf(b->adImpression()), (std::vector<int>{1, 2, 3}));  // a new impression

    b->setFrame(CGRectMake(0, 1000, 320, 48));  // scrolled off the window
    heartBeat();
    EXPECT_TRUE(b->refreshTimerPaused());
    advanceRunLoop(60);
    EXPECT_EQ(b->ad()->adId()->intValue(), 102);

    b->setFrame(CGRectMake(0, 100, 320, 48));
    heartBeat();
    EXPECT_FALSE(b->refreshTimerPaused());
    advanceRunLoop(19.5);  // the full delay again
    EXPECT_EQ(b->ad()->adId()->intValue(), 102);
    advanceRunLoop(1);
    EXPECT_EQ(b->ad()->adId()->intValue(), 103);

    // On another window it is out of sight too.
    auto other = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    other->addSubview(b);
    heartBeat();
    EXPECT_TRUE(b->refreshTimerPaused());
}

TEST_F(TallyAdViewTest, ABannerWithoutAnAdRetriesOnEveryHeartbeat) {
    auto b = banner(NS(""));
    EXPECT_TRUE(b->isHidden());
    parse();
    heartBeat();
    EXPECT_FALSE(b->isHidden());
    EXPECT_EQ(b->ad()->adId()->intValue(), 101);
    // The heartbeater posts the notification on its own timer.
    auto beater = TallyHeartBeater::createAndStartInstance(1.0);
    int before = beater->beats();
    beater->heartBeat();
    EXPECT_EQ(beater->beats(), before + 1);
    EXPECT_EQ(TallyHeartBeater::createAndStartInstance(9.0), beater);
}

TEST_F(TallyAdViewTest, RefreshAfterAFailedUploadTakesTheNextAdFromTheParser) {
    parse();
    auto b = banner(NS(""));
    ASSERT_EQ(b->ad()->adId()->intValue(), 101);
    auto first = b->adImpression();
    // A later upload fails: the parser keeps what it read, with no internet booked.
    auto parser = TallyAdParser::instance();
    parser->setInternetAvailable(false);
    parser->parseData(nullptr);
    b->refreshWithAd();
    ASSERT_TRUE(b->ad());
    EXPECT_EQ(b->ad()->adId()->intValue(), 102);
    EXPECT_FALSE(b->isHidden());
    EXPECT_NE(b->adImpression(), first);  // the new ad has its own impression
}

TEST_F(TallyAdViewTest, TheClickActionMatrix) {
    TallyAdReplyOptions options;
    options.clickActions = {{"", 0}, {"Tally_Canvas_Hook_1", 2}, {"Tally_Canvas_Hook_2", 4}};
    parse(options);
    auto app = UIApplication::sharedApplication();

    // Action 0 counts as 1: an ad with a canvas opens the canvas.
    auto withCanvas = banner(NS(""));
    ASSERT_GT(withCanvas->ad()->canvasId()->intValue(), 0);
    auto loader = UIWebView::setURLLoader([](NSURLRequest*, UIWebViewLoadCompletion) {});
    tap(withCanvas);  // its page held
    UIWebView::setURLLoader(loader);
    auto canvas = TallyAdCanvasViewController::getOpenCanvasController();
    ASSERT_TRUE(canvas);
    EXPECT_EQ(canvas->adImpression(), withCanvas->adImpression());
    EXPECT_TRUE(canvas->webUrl()->hasPrefix(TallyAPI::canvasURL()));
    EXPECT_EQ(statesOf(withCanvas->adImpression()), (std::vector<int>{1, 2, 3, 4}));
    // Its own window over the status bar, with the navigation view 480.1 points high.
    auto canvasWindow = canvas->canvasWindow();
    ASSERT_TRUE(canvasWindow);
    EXPECT_EQ(canvasWindow->windowLevel(), UIWindowLevelStatusBar + 1);
    EXPECT_EQ(app->keyWindow(), canvasWindow);
    EXPECT_FLOAT_EQ(canvas->navigationController()->view()->frame().size.height, 480.1f);
    canvas->cancel();
    EXPECT_TRUE(
        runLoopUntil([] { return !TallyAdCanvasViewController::getOpenCanvasController(); }));
    EXPECT_EQ(app->keyWindow(), window);  // the app's window is key again
    EXPECT_TRUE(canvasWindow->isHidden());
    // Closed while its page loads, it leaves the network indicator off.
    EXPECT_FALSE(app->isNetworkActivityIndicatorVisible());

    // Action 1 without a canvas goes to the store, with no alert.
    auto noCanvas = banner(NS(""));
    EXPECT_EQ(noCanvas->ad()->canvasId()->intValue(), 0);
    tap(noCanvas);
    EXPECT_FALSE(TallyAdCanvasViewController::getOpenCanvasController());
    EXPECT_EQ(UIButtonPanelView::shownPanels()->count(), 0u);
    EXPECT_EQ(statesOf(noCanvas->adImpression()), (std::vector<int>{1, 2, 3, 4, 6}));
    EXPECT_TRUE(noCanvas->webUrl()->hasPrefix(TallyAPI::appStoreURL()));

    // Action 2 asks first; "Don't Allow" opens nothing, "OK" follows the referral.
    auto asking = banner(NS("Tally_Canvas_Hook_1"));
    tap(asking);
    auto panels = UIButtonPanelView::shownPanels();
    ASSERT_EQ(panels->count(), 1u);
    auto alert = as<UIAlertView>(panels->lastObject());
    EXPECT_TRUE(alert->message()->isEqualToString(
        NS("You will now be taken to the App Store. There is no obligation to purchase.")));
    EXPECT_TRUE(alert->buttonTitleAtIndex(0)->isEqualToString(NS("Don't Allow")));
    EXPECT_TRUE(alert->buttonTitleAtIndex(1)->isEqualToString(NS("OK")));
    alert->dismissWithClickedButtonIndex(0, false);
    EXPECT_EQ(statesOf(asking->adImpression()), (std::vector<int>{1, 2, 3, 4, 7}));
    asking->alertViewClickedButtonAtIndex(alert, 1);
    EXPECT_EQ(statesOf(asking->adImpression()), (std::vector<int>{1, 2, 3, 4, 7, 6}));
    EXPECT_TRUE(app->isNetworkActivityIndicatorVisible());

    // Action 4 goes to the store even with a canvas.
    auto store = banner(NS("Tally_Canvas_Hook_2"));
    ASSERT_GT(store->ad()->canvasId()->intValue(), 0);
    tap(store);
    EXPECT_FALSE(TallyAdCanvasViewController::getOpenCanvasController());
    EXPECT_EQ(statesOf(store->adImpression()).back(), 6);
    // The store connections fail here (no server): the indicator goes off again.
    EXPECT_TRUE(runLoopUntil([&] { return !app->isNetworkActivityIndicatorVisible(); }));
}

TEST_F(TallyAdViewTest, ClickURLsCarryTheAdsQueryExactly) {
    ManualClockScope clock;
    auto session = TallySession::createActiveTallySession(NS("url-key"));
    Clock::advance(2.5);
    auto impression = make<TallyAdImpression>(&TallyAdImpression::initWithHook, NS("a b&c"),
                                              NSNumber::numberWithInt(1).get());
    auto ad = make<TallyAd>();
    ad->setAdId(num(5));
    ad->setCanvasId(num(9));
    uint8_t cookie[] = {0x0A, 0xFF};
    ad->setAdCookie(NSData::dataWithBytes(cookie, 2));
    Clock::advance(1);
    auto ms = [](NSDate* d) {
        return std::to_string(static_cast<long long>(d->timeIntervalSince1970() * 1000.0));
    };
    std::string query = "?apik=url-key&cid=9&adid=5&pid=" + TallySession::phoneID()->utf8() +
                        "&sid=" + ms(session->startTime()) +
                        "&its=2500&hid=a%20b%26c&ac=0aff&ats=" + ms(NSDate::date());
    EXPECT_EQ(
        TallyAdView::webUrlForCanvas(true, NS("a b&c"), ad, impression, NS("Portrait"))->utf8(),
        TallyAPI::canvasURL()->utf8() + query);
    EXPECT_EQ(TallyAdView::webUrlForCanvas(true, NS("a b&c"), ad, impression, NS("landscapeRight"))
                  ->utf8(),
              TallyAPI::landscapeCanvasURL()->utf8() + query);
    std::string offerQuery = query;
    offerQuery.replace(offerQuery.find("&cid=9"), 6, "&cid=0");
    EXPECT_EQ(TallyAdView::webUrlForOffer(NS("a b&c"), ad, impression)->utf8(),
              TallyAPI::appStoreURL()->utf8() + offerQuery);
}

TEST_F(TallyAdViewTest, TheDrawerHoldsTheCanvasBannersBetweenItsLimits) {
    TallyAdReplyOptions options;
    options.iconCount = 5;  // three default ads, two canvas ads
    parse(options);
    TallyAdProperties::setPortraitAdsMaxShown(NSNumber::numberWithInt(3));
    TallyAdProperties::setPortraitAdsShownAtStart(NSNumber::numberWithFloat(1));
    auto canvas = make<TallyAdCanvasViewController>();
    canvas->setCanvasOrientation(NS("portrait"));
    canvas->view();
    auto page = canvas->webView();
    canvas->webViewDidFinishLoad(page);
    auto drawer = canvas->adListView();
    ASSERT_TRUE(drawer);
    std::vector<float> ys;
    auto views = drawer->subviews();
    for (auto* v : *views)
        if (auto b = as<TallyAdCanvasView>(v)) {
            ys.push_back(b->frame().origin.y);
            EXPECT_FALSE(b->advertiserLabel()->isHidden());  // shown in portrait too
            EXPECT_FALSE(b->sellMessageLabel());
            // Starts on its portrait background; the icon, both backgrounds and two labels.
            EXPECT_TRUE(b->landscapeBackground()->isHidden());
            EXPECT_FALSE(b->portraitBackground()->isHidden());
            EXPECT_EQ(b->subviews()->count(), 5u);
        }
    EXPECT_EQ(ys, (std::vector<float>{29, 77}));
    EXPECT_EQ(drawer->lowerLocationLimit(), 451);
    EXPECT_EQ(drawer->upperLocationLimit(), 451 - 96);
    EXPECT_EQ(drawer->frame().origin.y, 451 - 48);
    EXPECT_TRUE(is<UIImageView>(views->lastObject()));  // the handle on top

    // A tap raises it fully, a tap at the top drops it; the page's bottom follows.
    float pageHeight = page->frame().size.height;
    auto touch = make<UITouch>();
    touch->setTapCount(1);
    drawer->touchesEnded(NSSet::setWithObject(touch), nullptr);
    EXPECT_EQ(drawer->frame().origin.y, 355);
    EXPECT_EQ(page->frame().size.height, pageHeight - 48);
    drawer->touchesEnded(NSSet::setWithObject(touch), nullptr);
    EXPECT_EQ(drawer->frame().origin.y, 451);
    // Past a limit it stops there, and the page changes by what it actually moved.
    drawer->dragByYDisplacement(-500);
    EXPECT_EQ(drawer->frame().origin.y, 355);
    EXPECT_EQ(page->frame().size.height, pageHeight - 48);
    EXPECT_EQ(canvas->adImpression(), nullptr);

    // An impression no session records (the session is filed) is kept by the canvas alone.
    TallySession::currentSession()->saveSession();
    auto unrecorded = make<TallyAdImpression>(&TallyAdImpression::initWithHook, NS("h"),
                                              NSNumber::numberWithInt(2).get());
    Weak<TallyAdImpression> probe(unrecorded.get());
    canvas->setAdImpression(unrecorded);
    unrecorded = nullptr;
    ASSERT_TRUE(probe.lock());
    canvas->webViewDidFinishLoad(page);  // records state 5 on it
    EXPECT_EQ(probe.lock()->currentState(), 5);
}

TEST_F(TallyAdViewTest, TheStoreReferralIsFollowedToTheStoreAndHandedOff) {
    auto& services = servicestest::services();
    services.reset();
    parse();
    auto app = UIApplication::sharedApplication();
    auto before = app->openedURLs()->count();
    auto b = banner(NS(""));
    b->adImpression()->updateWithResult(NSNumber::numberWithInt(4));
    auto url = TallyAdView::webUrlForCanvas(false, NS(""), b->ad(), b->adImpression(), nullptr);
    app->setNetworkActivityIndicatorVisible(true);
    auto follower = make<TallyAdAppStoreConnectionDelegate>();
    follower->setAdImpression(b->adImpression());
    auto connection = follower->openReferralURL(NSURL::URLWithString(url));
    ASSERT_TRUE(connection);
    ASSERT_TRUE(runLoopUntil([&] { return b->adImpression()->currentState() == 8; }));
    EXPECT_GT(app->openedURLs()->count(), before);
    auto opened = as<NSURL>(app->openedURLs()->lastObject());
    EXPECT_EQ(opened->absoluteString()->utf8(), "http://store.tally.test/app/101");
    EXPECT_EQ(follower->iTunesURL()->absoluteString()->utf8(), "http://store.tally.test/app/101");
    EXPECT_EQ(statesOf(b->adImpression()), (std::vector<int>{1, 2, 3, 4, 6, 8}));
    EXPECT_FALSE(app->isNetworkActivityIndicatorVisible());
    // The stand-in saw the referral with every key and both redirects.
    std::vector<std::string> paths;
    for (const auto& r : services.received("tallyads"))  // other tests' taps may come late
        if (r.target.find("101") != std::string::npos)
            paths.push_back(r.target.substr(0, r.target.find('?')));
    EXPECT_EQ(paths, (std::vector<std::string>{"/getIPhoneApp.do", "/referral.do", "/app/101"}));
}

}  // namespace
