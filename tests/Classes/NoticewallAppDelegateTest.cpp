// The app delegate's rating prompt and refresh-due test on the manual clock, and its message
// alert from any thread.
#include <gtest/gtest.h>

#include <thread>

#include "Classes/NoticewallAppDelegate.h"
#include "Classes/Theme.h"
#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSUserDefaults.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIWindow.h"
#include "analytics/TallySession.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "ui/core/DZURLRequestQueue.h"

namespace {
constexpr NSTimeInterval kDay = 86400;

class AppDelegate : public testing::Test {
protected:
    void SetUp() override {
        defaults = NSUserDefaults::standardUserDefaults();
        defaults->removePersistentDomain();
        UIApplication::sharedApplication()->clearOpenedURLs();
        delegate = make<NoticewallAppDelegate>();
    }
    void TearDown() override {
        for (auto panel = shown(); panel; panel = shown())
            panel->dismissWithClickedButtonIndex(0, false);
        UIApplication::sharedApplication()->clearOpenedURLs();
        defaults->removePersistentDomain();
    }

    static Ref<UIAlertView> shown() {
        auto panels = UIButtonPanelView::shownPanels();
        return panels->count() ? as<UIAlertView>(panels->lastObject()) : nullptr;
    }
    static NSUInteger shownCount() { return UIButtonPanelView::shownPanels()->count(); }

    // `count` launches a minute apart, from the first run on.
    void launches(int count) {
        for (int i = 0; i < count; ++i) {
            delegate->askForReview();
            Clock::advance(60);
        }
    }

    ManualClockScope clock;
    Ref<NSUserDefaults> defaults;
    Ref<NoticewallAppDelegate> delegate;
};
}  // namespace

TEST_F(AppDelegate, FirstLaunchStartsCountingWithoutPrompt) {
    auto start = NSDate::date();
    delegate->askForReview();
    auto first = as<NSDate>(defaults->objectForKey(NS("fistRun1")));
    ASSERT_TRUE(first);
    EXPECT_DOUBLE_EQ(first->timeIntervalSinceDate(start), 0);
    EXPECT_EQ(defaults->integerForKey(NS("runCount1")), 1);
    EXPECT_EQ(shownCount(), 0u);
    EXPECT_FALSE(defaults->boolForKey(NS("askedForRating")));
}

TEST_F(AppDelegate, PromptWaitsForEightWholeDaysAndNineLaunches) {
    launches(8);
    Clock::setNow(kManualClockDefaultStart + 7 * kDay + 23 * 3600);
    delegate->askForReview();  // ninth launch, one hour short of eight days
    EXPECT_EQ(shownCount(), 0u);

    Clock::setNow(kManualClockDefaultStart + 8 * kDay);
    delegate->askForReview();  // tenth, at eight whole days
    auto alert = shown();
    ASSERT_TRUE(alert);
    EXPECT_EQ(text(alert->title()), "Bazaarnest Mobile");
    EXPECT_EQ(text(alert->message()),
              "If you enjoy using Bazaarnest Mobile, would you mind take a moment to rate it in "
              "App Store? Thanks for your support!");
    EXPECT_EQ(text(alert->buttonTitleAtIndex(0)), "No, Thanks");
    EXPECT_EQ(text(alert->buttonTitleAtIndex(1)), "Rate it!");
    EXPECT_EQ(alert->cancelButtonIndex(), 0);
    // Marked as asked before any answer.
    EXPECT_TRUE(defaults->boolForKey(NS("askedForRating")));

    EXPECT_TRUE(alert->clickButtonWithTitle(NS("No, Thanks")));
    EXPECT_EQ(UIApplication::sharedApplication()->openedURLs()->count(), 0u);
    EXPECT_FALSE(defaults->boolForKey(NS("rated")));
    Clock::advance(30 * kDay);
    delegate->askForReview();
    EXPECT_EQ(shownCount(), 0u);
}

TEST_F(AppDelegate, CountMustReachNineEvenLongAfter) {
    launches(7);
    Clock::setNow(kManualClockDefaultStart + 40 * kDay);
    delegate->askForReview();  // eighth
    EXPECT_EQ(shownCount(), 0u);
    delegate->askForReview();  // ninth
    EXPECT_EQ(shownCount(), 1u);
}

TEST_F(AppDelegate, RatingOpensTheReviewPageOnce) {
    launches(8);
    Clock::advance(9 * kDay);
    delegate->askForReview();
    auto alert = shown();
    ASSERT_TRUE(alert);
    EXPECT_TRUE(alert->clickButtonWithTitle(NS("Rate it!")));
    EXPECT_TRUE(defaults->boolForKey(NS("rated")));
    auto opened = UIApplication::sharedApplication()->openedURLs();
    ASSERT_EQ(opened->count(), 1u);
    auto url = cast<NSURL>(opened->objectAtIndex(0));
    EXPECT_EQ(text(url->scheme()), "itms-apps");
    EXPECT_EQ(text(url->path()), "/WebObjects/MZStore.woa/wa/viewContentsUserReviews");
    EXPECT_EQ(text(url->query()),
              "id=703158249&onlyLatestVersion=true&pageNumber=0&sortOrdering=1&type=Purple+"
              "Software");

    delegate->askForReview();
    EXPECT_EQ(shownCount(), 0u);
    EXPECT_EQ(UIApplication::sharedApplication()->openedURLs()->count(), 1u);
}

TEST_F(AppDelegate, UpdateDueAnswersYesThenNoUntilTenDaysPass) {
    EXPECT_TRUE(delegate->updateDue(NS("LastStateUpdate")));
    EXPECT_EQ(defaults->integerForKey(NS("LastStateUpdate_VERSION")), 1);
    auto now = static_cast<long long>(NSDate::date()->timeIntervalSince1970());
    EXPECT_EQ(as<NSNumber>(defaults->objectForKey(NS("LastStateUpdate")))->longLongValue(), now);

    Clock::advance(3600);
    EXPECT_FALSE(delegate->updateDue(NS("LastStateUpdate")));
    Clock::setNow(kManualClockDefaultStart + 10 * kDay);
    EXPECT_FALSE(delegate->updateDue(NS("LastStateUpdate")));  // exactly ten days is not more
    Clock::advance(1);
    EXPECT_TRUE(delegate->updateDue(NS("LastStateUpdate")));
    EXPECT_FALSE(delegate->updateDue(NS("LastStateUpdate")));
}

TEST_F(AppDelegate, UpdateDueKeepsTimesPast2038) {
    // 2040-01-01, beyond what 32-bit seconds since 1970 can hold.
    Clock::setNow(2208988800.0 - NSTimeIntervalSince1970);
    EXPECT_TRUE(delegate->updateDue(NS("LastStateUpdate")));
    EXPECT_EQ(as<NSNumber>(defaults->objectForKey(NS("LastStateUpdate")))->longLongValue(),
              2208988800LL);
    Clock::advance(kDay);
    EXPECT_FALSE(delegate->updateDue(NS("LastStateUpdate")));
}

TEST_F(AppDelegate, ShowMessageFromAnotherThreadAlertsOnTheMainThread) {
    std::thread worker([d = delegate] { d->showMessage(NS("Network connection error")); });
    worker.join();
    EXPECT_EQ(shownCount(), 0u);  // queued, not shown from the worker
    ASSERT_TRUE(runLoopUntil([] { return UIButtonPanelView::shownPanels()->count() == 1; }));
    auto alert = shown();
    ASSERT_TRUE(alert);
    EXPECT_EQ(text(alert->title()), "Notice");
    EXPECT_EQ(text(alert->message()), "Network connection error");
    EXPECT_EQ(alert->numberOfButtons(), 1);
    EXPECT_EQ(text(alert->buttonTitleAtIndex(0)), "OK");
    EXPECT_EQ(alert->delegate(), nullptr);
}

TEST_F(AppDelegate, LaunchShowsTheWindowAndCountsTheRun) {
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    auto root = make<UIViewController>();
    auto nav = make<UINavigationController>(&UINavigationController::initWithRootViewController,
                                            root.get());
    delegate->setWindow(window);
    delegate->setNavigationController(nav);
    EXPECT_TRUE(delegate->applicationDidFinishLaunchingWithOptions(
        UIApplication::sharedApplication(), nullptr));
    EXPECT_EQ(nav->view()->superview().get(), window.get());
    EXPECT_TRUE(window->isKeyWindow());
    EXPECT_TRUE(nav->navigationBar()->tintColor()->isEqual(Theme::sys()->toolBarColor()));
    EXPECT_EQ(defaults->integerForKey(NS("runCount1")), 1);
    EXPECT_EQ(NKHTTPRequest::defaultTimeOutSeconds(), 60);
    EXPECT_EQ(DZURLRequestQueue::mainQueue()->maxContentLength(), 200000u);
    // The analytics session runs for the app's key.
    auto session = TallySession::currentSession();
    ASSERT_TRUE(session);
    EXPECT_EQ(text(session->apiKey()), "QX4ZR7TMB2WN9KEH5VDJ");
    session->endSession();
}
