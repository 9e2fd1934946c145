// The interstitial and its app-open splash against the stand-in's interstitial replies: the
// time-out on the clock, no fill, the ad over the splash and the window given back, the
// stored time-out and the web actions that stop the engine.
#include "ads/pebble/PBLInterstitial.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NSUserDefaults.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "ads/pebble/PBLBrowserController.h"
#include "ads/pebble/PBLFullScreenTesting.h"
#include "ads/pebble/PBLHosts.h"
#include "ads/pebble/PBLObjectPrivate.h"
#include "ads/pebble/PBLRequest.h"
#include "ads/pebble/PBLWebAppViewController.h"

namespace {

class InterstitialRecorder : public NSObject, public PBLInterstitialDelegate {
    NS_OBJECT(InterstitialRecorder, NSObject)
public:
    void interstitialDidReceiveAd(PBLInterstitial*) override { events.push_back("received"); }
    void interstitialDidFailToReceiveAdWithError(PBLInterstitial*, NSError* e) override {
        events.push_back("failed " + std::to_string(e->code()));
    }
    void interstitialWillPresentScreen(PBLInterstitial*) override {
        events.push_back("will present");
    }
    void interstitialWillDismissScreen(PBLInterstitial*) override {
        events.push_back("will dismiss");
    }
    void interstitialDidDismissScreen(PBLInterstitial*) override {
        events.push_back("did dismiss");
    }
    std::vector<std::string> events;
};

class PBLInterstitialTest : public PBLFullScreenTest {
protected:
    void SetUp() override {
        PBLFullScreenTest::SetUp();
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(NS("applicationTimeout"));
        extra = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 10, 10));
        window->addSubview(extra.get());
        interstitial = make<PBLInterstitial>();
        interstitial->setDelegate(watcher.get());
    }
    void TearDown() override {
        interstitial = nullptr;
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(NS("applicationTimeout"));
        PBLFullScreenTest::TearDown();
    }
    void splash(const char* slot) {
        interstitial->setAdUnitID(NSString::fromUTF8(slot));
        interstitial->loadAndDisplayRequest(nullptr, window.get(), splashImage.get());
    }
    // The window's own views, in their order.
    std::vector<UIView*> windowViews() {
        std::vector<UIView*> out;
        for (auto& v : window->subviewList())
            out.push_back(v.get());
        return out;
    }
    std::vector<UIView*> ownViews() { return {root->view().get(), extra.get()}; }
    static bool flag(const char* key) {
        return PBLStatistics::sharedStatistics()->core()->numberForKey(NSString::fromUTF8(key));
    }

    Ref<UIView> extra;
    Ref<UIImage> splashImage = UIImage::imageWithSize(CGSizeMake(32, 48), 1);
    Ref<InterstitialRecorder> watcher = make<InterstitialRecorder>();
    Ref<PBLInterstitial> interstitial;
};

// The five-second default holds with any store, also one made after the first interstitial (as
// after a restart, or the reset between tests).
TEST_F(PBLInterstitialTest, TheDefaultTimeoutIsRegisteredWithAStoreMadeLater) {
    auto timeout = [] {
        return NSUserDefaults::standardUserDefaults()->floatForKey(NS("applicationTimeout"));
    };
    EXPECT_FLOAT_EQ(timeout(), 5.0f);
    NSUserDefaults::resetStandardUserDefaults();
    EXPECT_FLOAT_EQ(timeout(), 0.0f);
    auto another = make<PBLInterstitial>();
    EXPECT_FLOAT_EQ(timeout(), 5.0f);
}

TEST_F(PBLInterstitialTest, ATimeOutNotAboveZeroOnlyLogs) {
    NSUserDefaults::standardUserDefaults()->setFloat(0, NS("applicationTimeout"));
    splash("interstitial");
    EXPECT_NE(log.find("<Pebble> Interstitial has zero timeout.  Not displaying."),
              std::string::npos);
    EXPECT_EQ(windowViews(), ownViews());
    EXPECT_FALSE(UIApplication::sharedApplication()->isStatusBarHidden());
    advanceRunLoop(0.1);
    EXPECT_TRUE(targets("/pbma/ad?").empty());
}

TEST_F(PBLInterstitialTest, AfterFiveSecondsWithoutAnAdTheWindowComesBackAndALateAdStaysAway) {
    standin::Fault hold;
    hold.host = PBL_AD_HOST;
    hold.path = "/pbma/ad";
    hold.gate = "late interstitial";
    services->addFault(hold);
    splash("interstitial");
    ASSERT_EQ(window->subviewList().size(), 1u);
    auto cover = window->subviewList()[0];
    ASSERT_EQ(cover->subviewList().size(), 1u);
    auto picture = as<UIImageView>(cover->subviewList()[0]);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->image().get(), splashImage.get());
    EXPECT_TRUE(UIApplication::sharedApplication()->isStatusBarHidden());
    ASSERT_TRUE(runLoopUntil([&] { return targets("/pbma/ad?").size() == 1; }));
    EXPECT_EQ(standin::fieldValue(standin::parseQuery(targets("/pbma/ad?")[0].substr(9)), "format"),
              "interstitial_mb");

    advanceRunLoop(4.9);
    EXPECT_EQ(window->subviewList().size(), 1u);
    EXPECT_FALSE(flag("aoi_timedout"));
    advanceRunLoop(0.2);
    EXPECT_EQ(windowViews(), ownViews());
    EXPECT_FALSE(picture->superview());
    EXPECT_FALSE(UIApplication::sharedApplication()->isStatusBarHidden());
    EXPECT_TRUE(flag("aoi_timedout"));
    EXPECT_FALSE(flag("aoi_nofill"));
    EXPECT_NE(log.find("<Pebble> Interstitial request timed out."), std::string::npos);

    // The ad arrives after all: ready, but the splash is gone and shows nothing.
    services->gate("late interstitial")->open();
    ASSERT_TRUE(runLoopUntil([&] { return !watcher->events.empty(); }));
    EXPECT_EQ(watcher->events, std::vector<std::string>{"received"});
    EXPECT_TRUE(interstitial->isReady());
    advanceRunLoop(0.1);
    EXPECT_FALSE(root->modalViewController());
    EXPECT_EQ(windowViews(), ownViews());
}

TEST_F(PBLInterstitialTest, NoFillGivesTheWindowBackAtOnceAndIsNoted) {
    auto app = UIApplication::sharedApplication();
    app->setStatusBarHidden(true);  // the application's own choice survives the splash
    splash("noad");
    ASSERT_TRUE(runLoopUntil([&] { return !watcher->events.empty(); }));
    EXPECT_EQ(watcher->events, std::vector<std::string>{"failed 1"});
    EXPECT_EQ(windowViews(), ownViews());
    EXPECT_TRUE(app->isStatusBarHidden());
    EXPECT_TRUE(flag("aoi_nofill"));
    advanceRunLoop(6);
    EXPECT_FALSE(flag("aoi_timedout"));

    // Any other failure gives the window back without the no-fill mark.
    app->setStatusBarHidden(false);
    PBLStatistics::sharedStatistics()->resetAppOpenInterstitialNoFill();
    auto other = make<PBLInterstitial>();
    other->setDelegate(watcher.get());
    other->setAdUnitID(NS("error"));
    other->loadAndDisplayRequest(nullptr, window.get(), splashImage.get());
    EXPECT_EQ(window->subviewList().size(), 1u);
    ASSERT_TRUE(runLoopUntil([&] { return watcher->events.size() == 2; }));
    EXPECT_EQ(watcher->events.back(), "failed 3");
    EXPECT_EQ(windowViews(), ownViews());
    EXPECT_FALSE(app->isStatusBarHidden());
    EXPECT_FALSE(flag("aoi_nofill"));
}

TEST_F(PBLInterstitialTest, TheAdShowsOverTheSplashAndItsCloseGivesTheWindowBack) {
    interstitial->presentFromRootViewController(root.get());
    EXPECT_NE(log.find("<Pebble> Cannot present interstitial.  It is not ready."),
              std::string::npos);
    EXPECT_FALSE(root->modalViewController());
    EXPECT_FALSE(interstitial->isReady());

    splash("interstitial");
    ASSERT_TRUE(runLoopUntil([&] { return !watcher->events.empty(); }));
    EXPECT_TRUE(interstitial->isReady());
    // The splash hears first and presents at once.
    EXPECT_EQ(watcher->events, (std::vector<std::string>{"will present", "received"}));
    // Shown once, counted once.
    ASSERT_TRUE(runLoopUntil([&] { return targets("/imp").size() == 2; }));
    ASSERT_EQ(window->subviewList().size(), 1u);
    auto screen = as<PBLWebAppViewController>(window->subviewList()[0]->nextResponder());
    ASSERT_TRUE(screen) << text(window->subviewList()[0]->description());
    EXPECT_EQ(screen->supportedOrientations(), 2);  // the reply's portrait
    ASSERT_TRUE(runLoopUntil([&] { return screen->vars()->loaded_; }));
    EXPECT_NE(text(screen->webView()->readableText()).find("Pebble interstitial 1"),
              std::string::npos);
    EXPECT_TRUE(UIApplication::sharedApplication()->isStatusBarHidden());

    ASSERT_TRUE(screen->webView()->clickElementAtIndex(1));  // Close
    ASSERT_TRUE(runLoopUntil([&] { return watcher->events.size() >= 3; }));
    EXPECT_EQ(windowViews(), ownViews());
    EXPECT_FALSE(UIApplication::sharedApplication()->isStatusBarHidden());
    EXPECT_EQ(watcher->events[2], "will dismiss");
    EXPECT_EQ(targets("/imp").size(), 2u);
    EXPECT_FALSE(flag("aoi_timedout"));
    advanceRunLoop(6);
    EXPECT_FALSE(flag("aoi_timedout"));  // the timer went with the ad
}

TEST_F(PBLInterstitialTest, TheStoredTimeOutFollowsThePagesSettingsAndTheServer) {
    EXPECT_FLOAT_EQ(NSUserDefaults::standardUserDefaults()->floatForKey(NS("applicationTimeout")),
                    5.0f);
    // A page's "settings", as the bridge posts them, with the key lower-cased.
    auto page = make<UIWebView>(&UIWebView::initWithFrame, CGRectMake(0, 0, 320, 480));
    auto bridge = make<PBLWebViewDelegate>();
    page->setDelegate(bridge.get());
    page->loadRequest(NSURLRequest::requestWithURL(
                          NSURL::URLWithString(NS("http://shop.advertiser.test/webapp")).get())
                          .get());
    ASSERT_TRUE(runLoopUntil([&] { return targets("/webapp").size() == 1 && !page->isLoading(); }));
    ASSERT_TRUE(page->clickElementAtIndex(2));
    ASSERT_TRUE(runLoopUntil([] {
        return NSUserDefaults::standardUserDefaults()->floatForKey(NS("applicationTimeout")) ==
               3.0f;
    }));
    // A splash now waits three seconds.
    standin::Fault hold;
    hold.host = PBL_AD_HOST;
    hold.path = "/pbma/ad";
    hold.gate = "held";
    services->addFault(hold);
    splash("interstitial");
    advanceRunLoop(2.9);
    EXPECT_EQ(window->subviewList().size(), 1u);
    advanceRunLoop(0.2);
    EXPECT_EQ(windowViews(), ownViews());
    services->gate("held")->open();
    ASSERT_TRUE(runLoopUntil([&] { return !watcher->events.empty(); }));
    // The ad server's header sets it back to five.
    EXPECT_FLOAT_EQ(NSUserDefaults::standardUserDefaults()->floatForKey(NS("applicationTimeout")),
                    5.0f);
}

TEST_F(PBLInterstitialTest, AWebActionWithoutACommandOrAnOpenStopsTheEngine) {
    interstitial->setAdUnitID(NS("banner"));  // a reply with a refresh rate
    interstitial->loadRequest(nullptr);
    ASSERT_TRUE(runLoopUntil([&] { return !watcher->events.empty(); }));
    auto engine = interstitial->privateObject();
    // Loading the ad page into its web view was a web action of its own.
    EXPECT_EQ(engine->scheduledReloadSeconds(), 0);
    auto rearm = [] {
        NSNotificationCenter::defaultCenter()->postNotificationName(
            NS("PBLViewControllerDidRelinquishFullScreen"), nullptr);
    };
    rearm();
    EXPECT_EQ(engine->scheduledReloadSeconds(), 30);
    auto act = [&](NSObject* sender, NSString* action) {
        auto info = NSMutableDictionary::dictionary();
        if (action) info->setObject(action, NS("a"));
        NSNotificationCenter::defaultCenter()->postNotificationName(PBLWebActionNotification,
                                                                    sender, info.get());
    };
    act(engine->webView().get(), NS("click"));
    EXPECT_EQ(engine->scheduledReloadSeconds(), 30);
    act(root->view().get(), NS("open"));  // another web view's action
    EXPECT_EQ(engine->scheduledReloadSeconds(), 30);
    act(engine->webView().get(), NS("open"));
    EXPECT_EQ(engine->scheduledReloadSeconds(), 0);
    rearm();
    EXPECT_EQ(engine->scheduledReloadSeconds(), 30);
    act(engine->webView().get(), nullptr);
    EXPECT_EQ(engine->scheduledReloadSeconds(), 0);
}

}  // namespace
