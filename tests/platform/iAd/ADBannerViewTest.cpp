// The stand-in banner: the test ad cycle on the manual clock, failing loads, the full-screen
// action between its two delegate calls, and the class going missing by name.
#include "iAd/ADBannerView.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSError.h"
#include "Foundation/NSSet.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWindow.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"

namespace {

class Host : public NSObject, public ADBannerViewDelegate {
    NS_OBJECT(Host, NSObject)
    void bannerViewWillLoadAd(ADBannerView*) override { log("will-load"); }
    void bannerViewDidLoadAd(ADBannerView*) override { log("did-load"); }
    void bannerView(ADBannerView*, NSError* e) override {
        log("did-fail " + std::to_string(e->code()));
    }
    bool bannerViewActionShouldBegin(ADBannerView*, bool leave) override {
        log(leave ? "should-begin leaving" : "should-begin");
        return allow;
    }
    void bannerViewActionDidFinish(ADBannerView*) override { log("did-finish"); }
    void log(const std::string& what) {
        events.push_back(what);
        times.push_back(Clock::now());
    }
    std::vector<std::string> events;
    std::vector<NSTimeInterval> times;
    bool allow = true;
};

class ADBannerViewTest : public testing::Test {
protected:
    void SetUp() override { iad_testing::setLoadsFail(false); }
    void TearDown() override {
        iad_testing::setLoadsFail(false);
        iad_testing::setClassMissing(false);
    }
    Ref<ADBannerView> banner() {
        return make<ADBannerView>(&ADBannerView::initWithFrame, CGRectZero);
    }
    ManualClockScope clock_;
};

Ref<UIButton> findButton(UIView* root, const std::string& prefix) {
    if (auto b = as<UIButton>(root)) {
        auto t = b->titleForState(UIControlStateNormal);
        if (t && t->utf8().rfind(prefix, 0) == 0) return b;
    }
    for (auto& s : root->subviewList())
        if (auto b = findButton(s, prefix)) return b;
    return nullptr;
}

// A banner in the key window whose first test ad has loaded and been tapped, with `host` as its
// delegate (which hears only the tap).
Ref<ADBannerView> tappedBanner(UIWindow* window, Host* host) {
    window->makeKeyAndVisible();
    auto b = make<ADBannerView>(&ADBannerView::initWithFrame, CGRectZero);
    window->addSubview(b);
    b->setDelegate(host);
    advanceRunLoop(1);
    host->events.clear();
    findButton(b, "Test Advertisement")->sendActionsForControlEvents(UIControlEventTouchUpInside);
    return b;
}

TEST_F(ADBannerViewTest, ContentSizes) {
    auto b = banner();
    EXPECT_EQ(b->frame().size.width, 320);
    EXPECT_EQ(b->frame().size.height, 50);
    b->setRequiredContentSizeIdentifiers(NSSet::setWithObjects(
        {ADBannerContentSizeIdentifierPortrait, ADBannerContentSizeIdentifierLandscape}));
    EXPECT_EQ(b->requiredContentSizeIdentifiers()->count(), 2u);
    b->setFrame(CGRectMake(0, 10, 320, 50));
    b->setCurrentContentSizeIdentifier(ADBannerContentSizeIdentifierLandscape);
    EXPECT_TRUE(CGRectEqualToRect(b->frame(), CGRectMake(0, 10, 480, 32)));
    EXPECT_EQ(ADBannerView::sizeFromBannerContentSizeIdentifier(ADBannerContentSizeIdentifier480x32)
                  .height,
              32);
}

TEST_F(ADBannerViewTest, LoadsATestAdAfterASecondThenEveryThirty) {
    auto b = banner();
    auto host = make<Host>();
    advanceRunLoop(10);  // nothing without a delegate
    NSTimeInterval start = Clock::now();
    b->setDelegate(host);
    advanceRunLoop(0.5);
    b->setDelegate(host);  // the same host again does not put the first ad off
    advanceRunLoop(0.4);
    EXPECT_TRUE(host->events.empty());
    EXPECT_FALSE(b->isBannerLoaded());
    advanceRunLoop(0.2);
    ASSERT_EQ(host->events, (std::vector<std::string>{"will-load", "did-load"}));
    EXPECT_DOUBLE_EQ(host->times[1] - start, 1.0);
    EXPECT_TRUE(b->isBannerLoaded());
    auto ad = findButton(b, "Test Advertisement");
    ASSERT_TRUE(ad);
    EXPECT_EQ(text(ad->titleForState(UIControlStateNormal)), "Test Advertisement 1");
    advanceRunLoop(60);
    ASSERT_EQ(host->events.size(), 6u);
    EXPECT_DOUBLE_EQ(host->times[3] - start, 31.0);
    EXPECT_DOUBLE_EQ(host->times[5] - start, 61.0);
    EXPECT_EQ(text(ad->titleForState(UIControlStateNormal)), "Test Advertisement 3");
    // No delegate, no loads.
    b->setDelegate(nullptr);
    advanceRunLoop(100);
    EXPECT_EQ(host->events.size(), 6u);
}

TEST_F(ADBannerViewTest, FailingLoadsAndFreedDelegatesAndBanners) {
    iad_testing::setLoadsFail(true);
    auto b = banner();
    auto host = make<Host>();
    b->setDelegate(host);
    advanceRunLoop(31.5);
    EXPECT_EQ(host->events,
              (std::vector<std::string>{"will-load", "did-fail 3", "will-load", "did-fail 3"}));
    EXPECT_FALSE(b->isBannerLoaded());
    // A freed delegate hears nothing more; a freed banner stops loading.
    host = nullptr;
    advanceRunLoop(60);
    auto other = make<Host>();
    Weak<ADBannerView> weak;
    {
        auto gone = banner();
        gone->setDelegate(other);
        weak = gone.get();
    }
    EXPECT_FALSE(weak.lock());  // the timers did not keep it
    advanceRunLoop(60);
    EXPECT_TRUE(other->events.empty());
}

TEST_F(ADBannerViewTest, ATapOpensAFullScreenAdUntilClosed) {
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    auto host = make<Host>();
    auto b = tappedBanner(window, host);
    EXPECT_EQ(host->events, std::vector<std::string>{"should-begin"});
    EXPECT_TRUE(b->isBannerViewActionInProgress());
    auto close = findButton(window, "Close");
    ASSERT_TRUE(close);
    EXPECT_TRUE(CGRectEqualToRect(close->superview()->frame(), window->bounds()));
    advanceRunLoop(40);  // no new ad while the full-screen ad is up
    EXPECT_EQ(b->loadCount(), 1);
    close->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(host->events, (std::vector<std::string>{"should-begin", "did-finish"}));
    EXPECT_FALSE(b->isBannerViewActionInProgress());
    EXPECT_FALSE(findButton(window, "Close"));
    // A delegate that refuses keeps the action from starting.
    host->allow = false;
    findButton(b, "Test Advertisement")->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_FALSE(b->isBannerViewActionInProgress());
    b->removeFromSuperview();
    window->setHidden(true);
}

TEST_F(ADBannerViewTest, TheFullScreenAdsCloseButtonShowsWholeBelowTheStatusBar) {
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    auto host = make<Host>();
    auto b = tappedBanner(window, host);
    auto close = findButton(window, "Close");
    ASSERT_TRUE(close);
    // The screen shows every pixel of the button as the button draws itself: none is under the
    // status bar, which is drawn over the ad.
    auto screen = UIScreenRenderKeyWindow();
    auto button = UIViewRenderImage(close, 1);
    ASSERT_TRUE(screen && button);
    CGRect frame = close->convertRect(close->bounds(), nullptr);
    auto shown = UIImagePixelsOf(screen->CGImage()), own = UIImagePixelsOf(button->CGImage());
    int opaque = 0, hidden = 0;
    for (int y = 0; y < int(frame.size.height); ++y)
        for (int x = 0; x < int(frame.size.width); ++x) {
            RGBA mine = pixelAt(own, x, y);
            if (mine.a < 255) continue;
            ++opaque;
            hidden +=
                !near(pixelAt(shown, int(frame.origin.x) + x, int(frame.origin.y) + y), mine, 8);
        }
    EXPECT_GT(opaque, 500);
    EXPECT_EQ(hidden, 0);
    EXPECT_GE(frame.origin.y, CGRectGetMaxY(UIApplication::sharedApplication()->statusBarFrame()));
    close->sendActionsForControlEvents(UIControlEventTouchUpInside);
    b->removeFromSuperview();
    window->setHidden(true);
}

TEST_F(ADBannerViewTest, TheClassCanGoMissingByName) {
    unsetenv("BAZAARNEST_IAD");
    ADRegisterClasses();
    EXPECT_EQ(NSClassFromString(NS("ADBannerView")), ADBannerView::staticClass());
    iad_testing::setClassMissing(true);
    EXPECT_FALSE(NSClassFromString(NS("ADBannerView")));
    EXPECT_FALSE(classNamed("ADBannerView"));
    iad_testing::setClassMissing(false);
    EXPECT_TRUE(NSClassFromString(NS("ADBannerView")));
    // From the environment, as scripts/run sets it.
    setenv("BAZAARNEST_IAD", "missing,fail", 1);
    ADRegisterClasses();
    EXPECT_FALSE(NSClassFromString(NS("ADBannerView")));
    EXPECT_TRUE(iad_testing::loadsFail());
    setenv("BAZAARNEST_IAD", "fail", 1);
    ADRegisterClasses();
    EXPECT_TRUE(NSClassFromString(NS("ADBannerView")));
    unsetenv("BAZAARNEST_IAD");
}

}  // namespace
