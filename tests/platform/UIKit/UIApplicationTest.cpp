#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSURL.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIWindow.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"

namespace {
std::vector<std::string> gLog;

class LifeCycleObserver : public NSObject {
    NS_OBJECT(LifeCycleObserver, NSObject)
    static void describeClass(RuntimeClass& c) { c.method("note:", &LifeCycleObserver::note); }
    void note(NSNotification* n) { gLog.push_back(n->name()->utf8()); }
    void watch(std::initializer_list<NSString*> names) {
        for (NSString* name : names)
            NSNotificationCenter::defaultCenter()->addObserver(this, Selector::named("note:"), name,
                                                               nullptr);
    }
    void dealloc() override {
        NSNotificationCenter::defaultCenter()->removeObserver(this);
        super::dealloc();
    }
};

class TestAppDelegate : public UIResponder, public UIApplicationDelegate {
    NS_OBJECT(TestAppDelegate, UIResponder)
    static void describeClass(RuntimeClass& c) {
        c.implements({"application:didFinishLaunchingWithOptions:"});
    }
    Ref<UIWindow> window_;
    bool applicationDidFinishLaunchingWithOptions(UIApplication* app, NSDictionary*) override {
        gLog.push_back("delegate.didFinishLaunching state=" +
                       std::to_string(app->applicationState()));
        window_ = make<UIWindow>(&UIView::initWithFrame, UIScreen::mainScreen()->bounds());
        window_->makeKeyAndVisible();
        // The run loop is running once this comes; it ends the app from there.
        NSRunLoop::mainRunLoop()->performBlock([] {
            gLog.push_back("loop running");
            UIApplication::sharedApplication()->terminate();
        });
        return true;
    }
    void applicationDidBecomeActive(UIApplication*) override {
        gLog.push_back("delegate.didBecomeActive");
    }
    void applicationWillResignActive(UIApplication*) override {
        gLog.push_back("delegate.willResignActive");
    }
    void applicationDidEnterBackground(UIApplication*) override {
        gLog.push_back("delegate.didEnterBackground");
    }
    void applicationWillEnterForeground(UIApplication*) override {
        gLog.push_back("delegate.willEnterForeground");
    }
    void applicationWillTerminate(UIApplication*) override {
        gLog.push_back("delegate.willTerminate");
    }
    void applicationDidReceiveMemoryWarning(UIApplication*) override {
        gLog.push_back("delegate.memoryWarning");
    }
};

class NotADelegate : public NSObject {
    NS_OBJECT(NotADelegate, NSObject)
};

class ApplicationTest : public testing::Test {
protected:
    Ref<UIApplication> app = UIApplication::sharedApplication();
    Ref<LifeCycleObserver> observer = make<LifeCycleObserver>();
    void SetUp() override { gLog.clear(); }
};
}  // namespace

TEST_F(ApplicationTest, MainLaunchesTheDelegateByNameAndRunsUntilTerminated) {
    TestAppDelegate::staticClass();  // registered by name before the look-up
    observer->watch({UIApplicationDidFinishLaunchingNotification,
                     UIApplicationDidBecomeActiveNotification,
                     UIApplicationWillTerminateNotification});
    int rc = UIApplicationMain(0, nullptr, nullptr, NS("TestAppDelegate"));
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(gLog, (std::vector<std::string>{
                        "delegate.didFinishLaunching state=1",
                        "UIApplicationDidFinishLaunchingNotification", "delegate.didBecomeActive",
                        "UIApplicationDidBecomeActiveNotification", "loop running",
                        "delegate.willTerminate", "UIApplicationWillTerminateNotification"}));
    EXPECT_TRUE(app->isTerminating());
    ASSERT_TRUE(app->keyWindow());
    EXPECT_FALSE(app->keyWindow()->isHidden());
    EXPECT_EQ(app->windows()->count(), 1u);
}

TEST_F(ApplicationTest, MainRefusesUnknownAndUnfitClasses) {
    NotADelegate::staticClass();
    EXPECT_EQ(raisedName([] { UIApplicationMain(0, nullptr, nullptr, NS("NoSuchDelegate")); }),
              "NSInternalInconsistencyException");
    EXPECT_EQ(raisedName([] { UIApplicationMain(0, nullptr, nullptr, NS("NotADelegate")); }),
              "NSInternalInconsistencyException");
    EXPECT_EQ(raisedName([] { UIApplicationMain(0, nullptr, NS("NSString"), nullptr); }),
              "NSInternalInconsistencyException");
}

TEST_F(ApplicationTest, OpenURLRecordsEveryHandOff) {
    std::vector<std::string> seen;
    app->setOpenURLObserver([&](NSURL* u) { seen.push_back(u->absoluteString()->utf8()); });
    EXPECT_TRUE(app->openURL(NSURL::URLWithString(NS("tel:5551234"))));
    EXPECT_TRUE(app->openURL(NSURL::URLWithString(NS("ITMS-APPS://store.example/app?id=1"))));
    EXPECT_FALSE(app->openURL(NSURL::URLWithString(NS("pebble://click"))));
    EXPECT_FALSE(app->openURL(nullptr));
    EXPECT_EQ(seen,
              (std::vector<std::string>{"tel:5551234", "ITMS-APPS://store.example/app?id=1"}));
    EXPECT_EQ(app->openedURLs()->count(), 2u);
    app->setOpenableURLSchemes(NSArray::arrayWithObject(NS("Pebble")));
    EXPECT_TRUE(app->canOpenURL(NSURL::URLWithString(NS("pebble://click"))));
    EXPECT_FALSE(app->canOpenURL(NSURL::URLWithString(NS("tel:1"))));
    app->clearOpenedURLs();
    EXPECT_EQ(app->openedURLs()->count(), 0u);
}

TEST_F(ApplicationTest, BackgroundAndForegroundInThePlatformsOrder) {
    auto delegate = make<TestAppDelegate>();
    app->setDelegate(delegate.get());
    observer->watch(
        {UIApplicationWillResignActiveNotification, UIApplicationDidEnterBackgroundNotification,
         UIApplicationWillEnterForegroundNotification, UIApplicationDidBecomeActiveNotification,
         UIApplicationDidReceiveMemoryWarningNotification});
    app->performBecomeActive();
    gLog.clear();
    app->performEnterBackground();
    EXPECT_EQ(app->applicationState(), UIApplicationStateBackground);
    app->performEnterBackground();  // already there: nothing
    app->performEnterForeground();
    EXPECT_EQ(app->applicationState(), UIApplicationStateActive);
    app->performMemoryWarning();
    EXPECT_EQ(gLog,
              (std::vector<std::string>{
                  "delegate.willResignActive", "UIApplicationWillResignActiveNotification",
                  "delegate.didEnterBackground", "UIApplicationDidEnterBackgroundNotification",
                  "delegate.willEnterForeground", "UIApplicationWillEnterForegroundNotification",
                  "delegate.didBecomeActive", "UIApplicationDidBecomeActiveNotification",
                  "delegate.memoryWarning", "UIApplicationDidReceiveMemoryWarningNotification"}));
}

TEST_F(ApplicationTest, EndingATaskThatIsNotRunningIsLogged) {
    LoggedLines log;
    auto task = app->beginBackgroundTaskWithExpirationHandler([] {});
    EXPECT_NE(task, UIBackgroundTaskInvalid);
    app->endBackgroundTask(task);
    EXPECT_EQ(log.count("endBackgroundTask"), 0u);
    app->endBackgroundTask(task);                     // ended already
    app->endBackgroundTask(UIBackgroundTaskInvalid);  // never one
    EXPECT_EQ(log.count("endBackgroundTask: no background task with identifier"), 2u);
    EXPECT_EQ(app->activeBackgroundTaskCount(), 0u);
}

TEST_F(ApplicationTest, BackgroundTasksExpireOnTheClock) {
    ManualClockScope clock;
    int expired = 0;
    UIBackgroundTaskIdentifier task = UIBackgroundTaskInvalid;
    task = app->beginBackgroundTaskWithExpirationHandler([&] {
        ++expired;
        app->endBackgroundTask(task);
    });
    EXPECT_NE(task, UIBackgroundTaskInvalid);
    auto ended = app->beginBackgroundTaskWithExpirationHandler([&] { expired += 100; });
    app->endBackgroundTask(ended);
    advanceRunLoop(1000);  // active: nothing expires
    EXPECT_EQ(expired, 0);
    app->performEnterBackground();
    advanceRunLoop(599);
    EXPECT_NEAR(app->backgroundTimeRemaining(), 1, 1e-6);
    EXPECT_EQ(expired, 0);
    advanceRunLoop(2);
    EXPECT_EQ(expired, 1);
    EXPECT_EQ(app->activeBackgroundTaskCount(), 0u);
}

TEST_F(ApplicationTest, StatusBarOrientationPostsAndMovesTheFrames) {
    observer->watch({UIApplicationWillChangeStatusBarOrientationNotification,
                     UIApplicationDidChangeStatusBarOrientationNotification});
    EXPECT_TRUE(CGRectEqualToRect(app->statusBarFrame(), CGRectMake(0, 0, 320, 20)));
    EXPECT_TRUE(
        CGRectEqualToRect(UIScreen::mainScreen()->applicationFrame(), CGRectMake(0, 20, 320, 460)));
    app->setStatusBarOrientation(UIInterfaceOrientationLandscapeLeft);
    app->setStatusBarOrientation(UIInterfaceOrientationLandscapeLeft);  // no change, no posts
    EXPECT_EQ(gLog,
              (std::vector<std::string>{"UIApplicationWillChangeStatusBarOrientationNotification",
                                        "UIApplicationDidChangeStatusBarOrientationNotification"}));
    EXPECT_TRUE(
        CGRectEqualToRect(UIScreen::mainScreen()->applicationFrame(), CGRectMake(20, 0, 300, 480)));
    app->setStatusBarHidden(true, UIStatusBarAnimationFade);
    EXPECT_TRUE(CGRectEqualToRect(app->statusBarFrame(), CGRectZero));
    EXPECT_TRUE(CGRectEqualToRect(UIScreen::mainScreen()->applicationFrame(),
                                  UIScreen::mainScreen()->bounds()));
}

TEST_F(ApplicationTest, TheStatusBarsViewIsReachedByItsKeyAndFadesOnItsOwn) {
    auto bar = as<UIView>(app->valueForKey(NS("statusBarWindow")));
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar.get(), app->statusBarWindow().get());
    EXPECT_TRUE(CGRectEqualToRect(bar->frame(), CGRectMake(0, 0, 320, 20)));
    EXPECT_TRUE(respondsTo(bar.get(), Selector::named("setAlpha:")));
    bar->setAlpha(0);
    EXPECT_FALSE(app->isStatusBarHidden());
    // It is in no window list.
    auto windows = app->windows();
    EXPECT_FALSE(windows->containsObject(bar.get()));
    app->resetState();
    EXPECT_NE(app->statusBarWindow().get(), bar.get());
    EXPECT_EQ(app->statusBarWindow()->alpha(), 1.0f);
}

TEST_F(ApplicationTest, AnswersTheProbesCallersMake) {
    EXPECT_TRUE(
        app->respondsToSelector(Selector::named("beginBackgroundTaskWithExpirationHandler:")));
    EXPECT_TRUE(app->respondsToSelector(Selector::named("setNetworkActivityIndicatorVisible:")));
    // A system before multitasking has no background tasks to probe for.
    UIDevice::currentDevice()->setSystemVersion(NS("3.1.3"));
    EXPECT_FALSE(
        app->respondsToSelector(Selector::named("beginBackgroundTaskWithExpirationHandler:")));
    EXPECT_FALSE(app->respondsToSelector(Selector::named("endBackgroundTask:")));
    EXPECT_TRUE(app->respondsToSelector(Selector::named("openURL:")));
    UIDevice::currentDevice()->setSystemVersion(NS("4.0"));
    EXPECT_TRUE(
        app->respondsToSelector(Selector::named("beginBackgroundTaskWithExpirationHandler:")));
    UIDevice::currentDevice()->setSystemVersion(nullptr);
    auto window = make<UIWindow>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    EXPECT_TRUE(window->respondsToSelector(Selector::named("rootViewController")));
    EXPECT_TRUE(UIScreen::mainScreen()->respondsToSelector(Selector::named("scale")));
    // Called by name, the application hands the URL off like a direct call.
    Value url = Value::ofObject(NSURL::URLWithString(NS("mailto:a@b.example")));
    EXPECT_TRUE(
        invokeMethod(app, Selector::named("openURL:"), std::span<const Value>(&url, 1)).toBool());
    EXPECT_EQ(app->openedURLs()->count(), 1u);
}

// What a test leaves on the shared application is gone for the next one: the reset between tests
// drops it, and the dropped one's background tasks no longer expire.
TEST(SharedApplication, TheResetBetweenTestsStartsAFreshOne) {
    ManualClockScope clock;
    auto app = UIApplication::sharedApplication();
    app->setApplicationIconBadgeNumber(4);
    app->setStatusBarHidden(true);
    app->setOpenableURLSchemes(NSArray::arrayWithObject(NS("bazaar")));
    int expired = 0;
    app->beginBackgroundTaskWithExpirationHandler([&] { ++expired; });
    app->performEnterBackground();

    resetProcessWideInstances();
    auto next = UIApplication::sharedApplication();
    EXPECT_NE(next.get(), app.get());
    EXPECT_EQ(next->applicationIconBadgeNumber(), 0);
    EXPECT_FALSE(next->isStatusBarHidden());
    EXPECT_EQ(next->applicationState(), UIApplicationStateInactive);
    EXPECT_TRUE(next->canOpenURL(NSURL::URLWithString(NS("mailto:a@b.example"))));
    EXPECT_FALSE(next->canOpenURL(NSURL::URLWithString(NS("bazaar://item/1"))));
    advanceRunLoop(700);
    EXPECT_EQ(expired, 0);
    EXPECT_EQ(app->activeBackgroundTaskCount(), 0u);
}
