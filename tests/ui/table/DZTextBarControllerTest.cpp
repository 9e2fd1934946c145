#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWindow.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/RunLoopTesting.h"
#include "ui/core/DZGeometry.h"
#include "ui/style/DZButton.h"
#include "ui/table/DZTextBarController.h"
#include "ui/table/TableTesting.h"

namespace {

class BarRecorder : public NSObject, public DZTextBarDelegate {
    NS_OBJECT(BarRecorder, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"textBarDidBeginEditing:", "textBarDidEndEditing:", "textBar:willPostText:",
                      "textBarDidCancel:"});
    }

public:
    void textBarDidBeginEditing(DZTextBarController*) override { events.push_back("begin"); }
    void textBarDidEndEditing(DZTextBarController*) override { events.push_back("end"); }
    bool textBarWillPostText(DZTextBarController*, NSString* text) override {
        events.push_back(std::string("post ") + text->UTF8String());
        return closes;
    }
    void textBarDidCancel(DZTextBarController*) override { events.push_back("cancel"); }
    std::vector<std::string> events;
    bool closes = true;
};

class ActivityBar : public DZTextBarController {
    NS_OBJECT(ActivityBar, DZTextBarController)

public:
    void showActivity(NSString* title) override {
        activities.push_back(title ? title->UTF8String() : "(nil)");
    }
    Ref<NSString> titleForActivity() override { return NS("Posting..."); }
    std::vector<std::string> activities;
};

Ref<UIAlertView> frontAlert() {
    auto panels = UIButtonPanelView::shownPanels();
    return panels && panels->count() ? as<UIAlertView>(panels->lastObject()) : nullptr;
}

class DZTextBarControllers : public ::testing::Test {
protected:
    void SetUp() override {
        window = testWindow();
        host = make<UIViewController>();
        host->view()->setFrame(CGRectMake(0, 0, 320, 480));
        host->view()->setBackgroundColor(UIColor::whiteColor().get());
        window->addSubview(host->view().get());
        edit = make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                     UIBarButtonSystemItemEdit, nullptr, nullptr);
        host->navigationItem()->setRightBarButtonItem(edit.get());
        recorder = make<BarRecorder>();
    }
    void TearDown() override { host->view()->removeFromSuperview(); }

    Ref<ActivityBar> show(NSString* text) {
        auto query = NSMutableDictionary::dictionary();
        query->setObject(recorder.get(), NS("delegate"));
        if (text) query->setObject(text, NS("text"));
        auto bar = make<ActivityBar>(&ActivityBar::initWithNavigatorURL, nullptr, query.get());
        bar->showInView(host->view().get(), true);
        return bar;
    }

    ManualClockScope clock;
    Ref<UIWindow> window;
    Ref<UIViewController> host;
    Ref<UIBarButtonItem> edit;
    Ref<BarRecorder> recorder;
};

TEST_F(DZTextBarControllers, TheBarSlidesOntoTheKeyboardAndCancelOnTheDefaultTextClosesAtOnce) {
    auto bar = show(NS("Hello"));
    auto view = bar->view();
    CGFloat barHeight = height(bar->textEditor().get()) + 2;
    EXPECT_FLOAT_EQ(height(view.get()), barHeight);  // no footer
    EXPECT_FLOAT_EQ(height(bar->textBar().get()), barHeight);
    // Bottom edge on the keyboard: 480 - 216.
    EXPECT_FLOAT_EQ(bottom(view.get()), 264);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"begin"}));
    auto cancelItem = host->navigationItem()->rightBarButtonItem();
    ASSERT_TRUE(cancelItem);
    EXPECT_NE(cancelItem.get(), edit.get());
    EXPECT_STREQ(bar->postButton()->titleForState(UIControlStateNormal)->UTF8String(), "Post");
    EXPECT_STREQ(bar->textEditor()->text()->UTF8String(), "Hello");

    // The bar on the keyboard: its grey gradient over the white screen.
    auto image = UIViewRenderImage(host->view().get(), 1);
    RGBA onBar = pixelAt(image.get(), 2, static_cast<int>(top(view.get())) + 4);
    RGBA above = pixelAt(image.get(), 2, static_cast<int>(top(view.get())) - 4);
    EXPECT_TRUE(near(above, kWhite));
    EXPECT_LT(onBar.r, 245);
    EXPECT_GT(onBar.r, 190);

    Weak<DZTextBarController> weak = bar.get();
    bar->cancel();
    EXPECT_EQ(frontAlert(), nullptr);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"begin", "cancel", "end"}));
    EXPECT_EQ(host->navigationItem()->rightBarButtonItem().get(), edit.get());
    EXPECT_FLOAT_EQ(top(view.get()), 480);
    advanceRunLoop(0.31);
    view->removeFromSuperview();
    bar = nullptr;
    view = nullptr;
    EXPECT_FALSE(weak.lock());
}

TEST_F(DZTextBarControllers, CancelOnOtherTextAsksAndNoKeepsTheBar) {
    auto bar = show(nullptr);
    bar->textEditor()->setText(NS("Changed"));
    bar->cancel();
    auto alert = frontAlert();
    ASSERT_TRUE(alert);
    EXPECT_STREQ(alert->message()->UTF8String(), "Are you sure you want to cancel?");
    ASSERT_TRUE(alert->clickButtonWithTitle(NS("No")));
    EXPECT_TRUE(bar->textEditor()->editing());
    bar->cancel();
    ASSERT_TRUE(frontAlert());
    ASSERT_TRUE(frontAlert()->clickButtonWithTitle(NS("Yes")));
    EXPECT_EQ(recorder->events.back(), "end");
    EXPECT_FALSE(bar->textEditor()->editing());
    advanceRunLoop(0.31);
}

TEST_F(DZTextBarControllers, PostIsEnabledOnlyWithTextAndARefusalLeavesTheBarUp) {
    auto bar = show(nullptr);
    EXPECT_FALSE(bar->postButton()->isEnabled());
    bar->textEditor()->textField()->insertText(NS("Hi"));
    advanceRunLoop(0.001);
    EXPECT_TRUE(bar->postButton()->isEnabled());
    recorder->closes = false;
    bar->postButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(recorder->events.back(), "post Hi");
    EXPECT_EQ(bar->textEditor()->text()->length(), 0u);
    EXPECT_FALSE(bar->postButton()->isEnabled());
    EXPECT_EQ(bar->activities, (std::vector<std::string>{"Posting..."}));
    EXPECT_TRUE(bar->textEditor()->editing());

    recorder->closes = true;
    bar->textEditor()->textField()->insertText(NS("Again"));
    advanceRunLoop(0.001);
    bar->post();
    EXPECT_EQ(recorder->events.back(), "end");
    EXPECT_FALSE(bar->textEditor()->editing());
    advanceRunLoop(0.31);
}

TEST_F(DZTextBarControllers, TheBarGrowsUpwardsWithItsBottomOnTheKeyboard) {
    auto bar = show(nullptr);
    auto view = bar->view();
    CGFloat firstHeight = height(view.get());
    std::string lines;
    for (int i = 0; i < 10; ++i)
        lines += std::string(i ? "\n" : "") + "line";
    bar->textEditor()->setText(NSString::stringWithUTF8String(lines.c_str()).get());
    EXPECT_GT(height(view.get()), firstHeight);
    EXPECT_FLOAT_EQ(bottom(view.get()), 264);
    EXPECT_FLOAT_EQ(height(bar->textBar().get()), height(view.get()));
    EXPECT_EQ(bar->textEditor()->maxNumberOfLines(), 6);
    bar->dismissPopupViewControllerAnimated(false);
    EXPECT_FALSE(view->superview());
    advanceRunLoop(0.31);
}

TEST_F(DZTextBarControllers, StateKeepsTheTextTitleAndDelegatePath) {
    auto bar = show(NS("Draft"));
    bar->navigationItem()->setTitle(NS("Reply"));
    auto state = NSMutableDictionary::dictionary();
    bar->persistView(state.get());
    EXPECT_TRUE(as<NSNumber>(state->objectForKey(NS("__important__")))->boolValue());
    EXPECT_STREQ(as<NSString>(state->objectForKey(NS("text")))->UTF8String(), "Draft");
    EXPECT_STREQ(as<NSString>(state->objectForKey(NS("title")))->UTF8String(), "Reply");
    auto restored = make<DZTextBarController>();
    restored->restoreView(state.get());
    EXPECT_STREQ(restored->defaultText()->UTF8String(), "Draft");
    EXPECT_STREQ(restored->navigationItem()->title()->UTF8String(), "Reply");
    bar->dismissPopupViewControllerAnimated(true);
    advanceRunLoop(0.31);
}

}  // namespace
