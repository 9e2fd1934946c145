// Alerts and action sheets: button numbering, the delegate's calls in order, and the list of
// what is on screen.
#include <gtest/gtest.h>

#include <cmath>

#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIActionSheet.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIViewRendering.h"
#include "platform/UIKit/ControllerTesting.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/FoundationTesting.h"

namespace {

using Calls = std::vector<std::string>;

class Listener : public NSObject, public UIAlertViewDelegate, public UIActionSheetDelegate {
    NS_OBJECT(Listener, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements(
            {"alertView:clickedButtonAtIndex:", "alertView:willDismissWithButtonIndex:",
             "alertView:didDismissWithButtonIndex:", "willPresentAlertView:",
             "didPresentAlertView:", "actionSheet:clickedButtonAtIndex:",
             "actionSheet:willDismissWithButtonIndex:", "actionSheet:didDismissWithButtonIndex:"});
    }
    Calls log;
    bool dismissWhenClicked = false;
    // Each dismissal of an alert shows another, with this delegate.
    bool followsEveryDismissal = false;
    void alertViewClickedButtonAtIndex(UIAlertView* a, NSInteger i) override {
        log.push_back("clicked:" + std::to_string(i));
        if (dismissWhenClicked) a->dismissWithClickedButtonIndex(i, false);
    }
    void alertViewWillDismissWithButtonIndex(UIAlertView* a, NSInteger i) override {
        log.push_back("willDismiss:" + std::to_string(i) + (a->isVisible() ? ":shown" : ""));
    }
    void alertViewDidDismissWithButtonIndex(UIAlertView* a, NSInteger i) override {
        log.push_back("didDismiss:" + std::to_string(i) + (a->superview() ? ":shown" : ""));
        if (followsEveryDismissal)
            make<UIAlertView>(&UIAlertView::initWithTitle, NS("Again"), NS("Follow-up"), this,
                              NS("OK"), std::initializer_list<NSString*>{})
                ->show();
    }
    void willPresentAlertView(UIAlertView*) override { log.push_back("willPresent"); }
    void didPresentAlertView(UIAlertView*) override { log.push_back("didPresent"); }
    void actionSheetClickedButtonAtIndex(UIActionSheet*, NSInteger i) override {
        log.push_back("sheetClicked:" + std::to_string(i));
    }
    void actionSheetWillDismissWithButtonIndex(UIActionSheet*, NSInteger i) override {
        log.push_back("sheetWillDismiss:" + std::to_string(i));
    }
    void actionSheetDidDismissWithButtonIndex(UIActionSheet*, NSInteger i) override {
        log.push_back("sheetDidDismiss:" + std::to_string(i));
    }
};

TEST(UIAlertView, DelegateHearsClickThenDismissal) {
    auto listener = make<Listener>();
    auto alert = alloc<UIAlertView>();
    alert->initWithTitle(NS("Bazaarnest Mobile"), NS("Rate it?"), listener, NS("No, Thanks"),
                         {NS("Rate it!")});
    EXPECT_EQ(alert->numberOfButtons(), 2);
    EXPECT_EQ(alert->cancelButtonIndex(), 0);
    EXPECT_EQ(alert->firstOtherButtonIndex(), 1);
    EXPECT_EQ(text(alert->buttonTitleAtIndex(1)), "Rate it!");
    EXPECT_EQ(alert->buttonTitleAtIndex(2), nullptr);

    alert->show();
    alert = nullptr;  // the screen keeps a shown alert alive
    auto shown = UIButtonPanelView::shownPanels();
    ASSERT_EQ(shown->count(), 1u);
    auto onScreen = cast<UIAlertView>(shown->objectAtIndex(0));
    EXPECT_TRUE(onScreen->isVisible());
    EXPECT_TRUE(onScreen->window());
    EXPECT_FALSE(onScreen->clickButtonAtIndex(5));
    EXPECT_TRUE(onScreen->clickButtonWithTitle(NS("Rate it!")));
    EXPECT_EQ(listener->log, (Calls{"willPresent", "didPresent", "clicked:1", "willDismiss:1:shown",
                                    "didDismiss:1"}));
    EXPECT_EQ(UIButtonPanelView::shownPanels()->count(), 0u);
    EXPECT_FALSE(onScreen->clickButtonAtIndex(0));  // gone
}

// An alert a test leaves on screen is gone for the next one, with the window it showed in.
TEST(UIAlertView, TheResetBetweenTestsClearsTheScreen) {
    auto alert = make<UIAlertView>(&UIAlertView::initWithTitle, NS("Notice"), NS("Left showing"),
                                   nullptr, NS("OK"), std::initializer_list<NSString*>{});
    alert->show();
    Weak<UIWindow> window = alert->window().get();
    alert = nullptr;
    ASSERT_EQ(UIButtonPanelView::shownPanels()->count(), 1u);
    resetProcessWideInstances();
    EXPECT_EQ(UIButtonPanelView::shownPanels()->count(), 0u);
    EXPECT_FALSE(window.alive());
}

// The alerts' window outlives an application's session (the shell starts the next in the same
// process): each session lists it among its windows, which the screen is drawn from.
TEST(UIAlertView, EachSessionListsTheAlertsWindow) {
    auto app = UIApplication::sharedApplication();
    for (int session = 0; session < 2; ++session) {
        auto alert = make<UIAlertView>(&UIAlertView::initWithTitle, NS("Notice"), NS("Shown"),
                                       nullptr, NS("OK"), std::initializer_list<NSString*>{});
        alert->show();
        EXPECT_TRUE(app->windows()->containsObject(alert->window().get())) << session;
        alert->dismissWithClickedButtonIndex(0, false);
        app->resetState();
    }
}

TEST(UIAlertView, ProgramDismissalSkipsTheClickAndTapsReachButtons) {
    auto listener = make<Listener>();
    auto alert =
        make<UIAlertView>(&UIAlertView::initWithTitle, NS("Notice"), NS("Network connection error"),
                          listener.get(), NS("OK"), std::initializer_list<NSString*>{});
    alert->show();
    listener->log.clear();
    alert->dismissWithClickedButtonIndex(-1, true);
    EXPECT_EQ(listener->log, (Calls{"willDismiss:-1:shown", "didDismiss:-1"}));

    // The alert's buttons are real buttons: a tap on one is a click.
    alert->show();
    listener->log.clear();
    listener->dismissWhenClicked = true;  // dismissing inside the click is not repeated
    Ref<UIButton> ok;
    for (auto& v : alert->subviewList()) {
        if (auto b = as<UIButton>(v)) ok = b;
    }
    ASSERT_NE(ok, nullptr);
    ok->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(listener->log, (Calls{"clicked:0", "willDismiss:0:shown", "didDismiss:0"}));
}

TEST(UIActionSheet, ButtonsAreNumberedLikeThePlatformsAndShowInTheWindow) {
    auto listener = make<Listener>();
    auto window = keyWindow();
    auto sheet = alloc<UIActionSheet>();
    sheet->initWithTitle(NS("Save this search?"), listener, NS("Cancel"), NS("Yes"), {});
    EXPECT_EQ(sheet->destructiveButtonIndex(), 0);
    EXPECT_EQ(sheet->cancelButtonIndex(), 1);
    EXPECT_EQ(sheet->firstOtherButtonIndex(), -1);

    // Buttons added after creation come after the cancel button.
    auto photos = alloc<UIActionSheet>();
    photos->initWithTitle(NS(""), listener, NS("Cancel"), nullptr, {});
    EXPECT_EQ(photos->addButtonWithTitle(NS("Pick from Camera Roll")), 1);
    EXPECT_EQ(photos->cancelButtonIndex(), 0);

    sheet->showInView(window);
    EXPECT_EQ(sheet->superview().get(), window.get());
    EXPECT_EQ(window->subviewList().back().get(), sheet.get());  // in front
    EXPECT_EQ(CGRectGetMaxY(sheet->frame()), CGRectGetMaxY(window->bounds()));
    EXPECT_TRUE(sheet->clickButtonAtIndex(0));
    EXPECT_EQ(listener->log, (Calls{"sheetClicked:0", "sheetWillDismiss:0", "sheetDidDismiss:0"}));
    EXPECT_EQ(sheet->superview(), nullptr);
}

// One alert shows at a time: one shown while another is up waits for its turn, unseen and out
// of the list of shown panels; its delegate hears of its presentation only when it shows.
TEST(UIAlertView, ASecondAlertWaitsForTheFirstToBeDismissed) {
    auto first = make<Listener>(), second = make<Listener>(), third = make<Listener>();
    auto tip = make<UIAlertView>(&UIAlertView::initWithTitle, NS("Quick Tip"), NS("Tap the index"),
                                 first.get(), NS("OK"), std::initializer_list<NSString*>{});
    auto error =
        make<UIAlertView>(&UIAlertView::initWithTitle, NS("Notice"), NS("Network connection error"),
                          second.get(), NS("OK"), std::initializer_list<NSString*>{});
    tip->show();
    error->show();
    error->show();  // asked twice, queued once
    EXPECT_FALSE(error->isVisible());
    EXPECT_EQ(error->superview(), nullptr);
    EXPECT_TRUE(second->log.empty());
    ASSERT_EQ(UIButtonPanelView::shownPanels()->count(), 1u);
    EXPECT_EQ(UIButtonPanelView::shownPanels()->lastObject().get(), tip.get());
    EXPECT_EQ(UIButtonPanelView::waitingAlerts()->count(), 1u);
    EXPECT_FALSE(error->clickButtonAtIndex(0));

    // A sheet does not wait for an alert.
    auto sheet = make<UIActionSheet>(&UIActionSheet::initWithTitle, NS("Share"), nullptr,
                                     NS("Cancel"), nullptr, std::initializer_list<NSString*>{});
    sheet->showInView(keyWindow());
    EXPECT_TRUE(sheet->isVisible());
    sheet->dismissWithClickedButtonIndex(0, false);

    ASSERT_TRUE(tip->clickButtonAtIndex(0));
    EXPECT_TRUE(error->isVisible());
    EXPECT_EQ(second->log, (Calls{"willPresent", "didPresent"}));
    EXPECT_EQ(UIButtonPanelView::waitingAlerts()->count(), 0u);

    // A waiting alert dismissed by the program leaves the queue, heard as a dismissal.
    auto later = make<UIAlertView>(&UIAlertView::initWithTitle, NS("Later"), NS("Queued"),
                                   third.get(), NS("OK"), std::initializer_list<NSString*>{});
    later->show();
    later->dismissWithClickedButtonIndex(0, false);
    EXPECT_EQ(third->log, (Calls{"willDismiss:0", "didDismiss:0"}));
    EXPECT_EQ(UIButtonPanelView::waitingAlerts()->count(), 0u);

    // Closing everything takes the shown ones and the waiting ones alike.
    third->log.clear();
    later->show();
    EXPECT_EQ(UIButtonPanelView::waitingAlerts()->count(), 1u);
    UIButtonPanelView::dismissAllPanels();
    EXPECT_EQ(UIButtonPanelView::shownPanels()->count(), 0u);
    EXPECT_EQ(UIButtonPanelView::waitingAlerts()->count(), 0u);
    EXPECT_FALSE(later->isVisible());
    EXPECT_EQ(third->log, (Calls{"willDismiss:0", "didDismiss:0"}));

    // The follow-up a dismissal shows goes too, with its calls; a delegate that answers every
    // dismissal with another alert does not keep the closing going: the next is taken off as it
    // came, and nothing is left.
    later->show();
    third->log.clear();
    third->followsEveryDismissal = true;
    UIButtonPanelView::dismissAllPanels();
    third->followsEveryDismissal = false;
    EXPECT_EQ(UIButtonPanelView::shownPanels()->count(), 0u);
    EXPECT_EQ(UIButtonPanelView::waitingAlerts()->count(), 0u);
    EXPECT_EQ(third->log,
              (Calls{"willDismiss:0:shown", "didDismiss:0", "willPresent", "didPresent",
                     "willDismiss:0:shown", "didDismiss:0", "willPresent", "didPresent"}));
}

// A subclass that watches notifications of its own: taking the panel off the screen ends the
// panel's watch of the keyboard and leaves the subclass's.
class WatchingAlert : public UIAlertView {
    NS_OBJECT(WatchingAlert, UIAlertView)
    static void describeClass(RuntimeClass& c) { c.method("heard:", &WatchingAlert::heard); }
    int heardCount = 0;
    void heard(NSNotification*) { ++heardCount; }
};

TEST(UIAlertView, TakingItOffTheScreenEndsOnlyItsOwnWatch) {
    auto alert = make<WatchingAlert>(&UIAlertView::initWithTitle, NS("Notice"), NS("Watching"),
                                     nullptr, NS("OK"), std::initializer_list<NSString*>{});
    auto center = NSNotificationCenter::defaultCenter();
    size_t before = center->registrationCount();
    center->addObserver(alert, Selector::named("heard:"), NS("BNWatchedNotice"), nullptr);
    alert->show();
    // Its own and the alert's two of the keyboard.
    EXPECT_EQ(center->registrationCount(), before + 3);
    alert->dismissWithClickedButtonIndex(0, false);
    EXPECT_EQ(center->registrationCount(), before + 1);
    center->postNotificationName(NS("BNWatchedNotice"), nullptr);
    EXPECT_EQ(alert->heardCount, 1);
    center->removeObserver(alert);
}

}  // namespace

// A sheet shown in a view of a window's content turned with the phone (a full-screen ad in
// landscape) turns with it: across the turned content's foot, which on the screen is its
// left edge, not along the screen's bottom.
TEST(UIActionSheet, ASheetShownInTurnedContentTurnsWithIt) {
    auto window = keyWindow();
    window->setBackgroundColor(UIColor::whiteColor());
    auto content = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 480, 320));
    content->setBackgroundColor(UIColor::whiteColor());
    content->setTransform(CGAffineTransformMakeRotation(CGFloat(M_PI / 2)));
    content->setCenter(CGPointMake(160, 240));
    window->addSubview(content);
    auto page = make<UIView>(&UIView::initWithFrame, content->bounds());
    content->addSubview(page);
    auto sheet = alloc<UIActionSheet>();
    sheet->initWithTitle(nullptr, nullptr, nullptr, nullptr, {NS("Visit"), NS("Skip")});
    sheet->showInView(page);
    EXPECT_EQ(sheet->superview().get(), content.get());
    CGRect f = sheet->frame();
    EXPECT_EQ(f.size.width, 480);
    EXPECT_EQ(CGRectGetMaxY(f), 320);
    CGRect onScreen = sheet->convertRect(sheet->bounds(), nullptr);
    EXPECT_NEAR(onScreen.origin.x, 0, 0.5);
    EXPECT_NEAR(onScreen.origin.y, 0, 0.5);
    EXPECT_NEAR(onScreen.size.height, 480, 0.5);
    EXPECT_NEAR(onScreen.size.width, f.size.height, 0.5);
    // On the screen's picture: the sheet's dark ground at its two ends and its middle, in its
    // top padding, down the screen's left side; the dimmed page lighter at the screen's foot.
    auto image = UIViewRenderImage(window, 1);
    ASSERT_TRUE(image);
    auto dark = [](RGBA c) { return c.r + c.g + c.b < 300; };
    for (CGFloat x : {20.0f, 240.0f, 460.0f}) {
        CGPoint p = sheet->convertPoint(CGPointMake(x, 4), nullptr);
        RGBA c = pixelAt(image, int(p.x), int(p.y));
        EXPECT_TRUE(dark(c)) << x << ": " << c;
    }
    RGBA foot = pixelAt(image, 200, 470);
    EXPECT_FALSE(dark(foot)) << foot;
    sheet->dismissWithClickedButtonIndex(-1, false);
}
