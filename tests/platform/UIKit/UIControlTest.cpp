#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UISwitch.h"
#include "UIKit/UIWindow.h"
#include "support/FoundationTesting.h"

namespace {
class ActionTarget : public UIResponder {
    NS_OBJECT(ActionTarget, UIResponder)
    static void describeClass(RuntimeClass& c) {
        c.method("down", &ActionTarget::down);
        c.method("up:", &ActionTarget::up);
        c.method("upWithEvent:event:", &ActionTarget::upWithEvent);
        c.method("changed:", &ActionTarget::changed);
    }
    std::vector<std::string> log;
    Ref<NSObject> lastSender;
    void down() { log.push_back("down"); }
    void up(NSObject* sender) {
        log.push_back("up");
        lastSender = sender;
    }
    void upWithEvent(NSObject*, UIEvent* event) { log.push_back(event ? "up+event" : "up+nil"); }
    void changed(NSObject* sender) {
        log.push_back("changed");
        lastSender = sender;
    }
};

struct Screen {
    Ref<UIWindow> window = make<UIWindow>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    Screen() { window->makeKeyAndVisible(); }
};
}  // namespace

TEST(UIControl, TapSendsTouchDownThenTouchUpInside) {
    Screen screen;
    auto target = make<ActionTarget>();
    auto button = UIButton::buttonWithType(UIButtonTypeRoundedRect);
    button->setFrame(CGRectMake(10, 10, 100, 40));
    screen.window->addSubview(button);
    button->addTarget(target, Selector::named("down"), UIControlEventTouchDown);
    button->addTarget(target, Selector::named("up:"), UIControlEventTouchUpInside);
    button->addTarget(target, Selector::named("upWithEvent:event:"), UIControlEventTouchUpInside);
    // The same pair again is kept once.
    button->addTarget(target, Selector::named("up:"), UIControlEventTouchUpInside);
    auto hit = screen.window->tapAtPoint(CGPointMake(50, 30));
    EXPECT_EQ(hit.get(), button.get());
    EXPECT_EQ(target->log, (std::vector<std::string>{"down", "up", "up+event"}));
    EXPECT_EQ(target->lastSender.get(), button.get());
    EXPECT_FALSE(button->isHighlighted());
    auto names = button->actionsForTarget(target, UIControlEventTouchUpInside);
    ASSERT_TRUE(names);
    EXPECT_EQ(names->count(), 2u);
    EXPECT_FALSE(button->actionsForTarget(target, UIControlEventValueChanged));
}

TEST(UIControl, DragOutsideEndsWithTouchUpOutside) {
    Screen screen;
    auto target = make<ActionTarget>();
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(0, 0, 100, 40));
    screen.window->addSubview(button);
    button->addTarget(target, Selector::named("up:"), UIControlEventTouchUpInside);
    button->addTarget(target, Selector::named("changed:"), UIControlEventTouchUpOutside);
    screen.window->dragFromPoint(CGPointMake(10, 10), CGPointMake(200, 300), 3);
    EXPECT_EQ(target->log, (std::vector<std::string>{"changed"}));
}

TEST(UIControl, DisabledControlsAndFreedTargetsSendNothing) {
    Screen screen;
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(0, 0, 100, 40));
    screen.window->addSubview(button);
    {
        auto gone = make<ActionTarget>();
        button->addTarget(gone, Selector::named("up:"), UIControlEventTouchUpInside);
    }
    // The freed target is skipped, not messaged.
    screen.window->tapAtPoint(CGPointMake(10, 10));
    auto target = make<ActionTarget>();
    button->addTarget(target, Selector::named("up:"), UIControlEventTouchUpInside);
    button->setEnabled(false);
    EXPECT_EQ(button->state(), UIControlStateDisabled);
    screen.window->tapAtPoint(CGPointMake(10, 10));
    EXPECT_TRUE(target->log.empty());
    button->setEnabled(true);
    button->removeTarget(target, nullptr, UIControlEventAllEvents);
    screen.window->tapAtPoint(CGPointMake(10, 10));
    EXPECT_TRUE(target->log.empty());
}

TEST(UIControl, NilTargetGoesUpTheResponderChain) {
    Screen screen;
    auto container = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    auto handler = make<ActionTarget>();
    container->setViewController(handler);  // the container's next responder
    screen.window->addSubview(container);
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(0, 0, 50, 50));
    container->addSubview(button);
    button->addTarget(nullptr, Selector::named("up:"), UIControlEventTouchUpInside);
    button->simulateTap();
    EXPECT_EQ(handler->log, (std::vector<std::string>{"up"}));
}

TEST(UIButton, StateValuesFallBackToNormal) {
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setTitle(NS("Post"), UIControlStateNormal);
    button->setTitle(NS("Posting"), UIControlStateHighlighted);
    button->setTitleColor(UIColor::redColor(), UIControlStateDisabled);
    EXPECT_EQ(button->currentTitle()->utf8(), "Post");
    button->setHighlighted(true);
    EXPECT_EQ(button->currentTitle()->utf8(), "Posting");
    EXPECT_EQ(button->titleLabel()->text()->utf8(), "Posting");
    button->setHighlighted(false);
    button->setEnabled(false);
    EXPECT_EQ(button->currentTitle()->utf8(), "Post");  // disabled has none: normal's
    EXPECT_TRUE(button->currentTitleColor()->isEqual(UIColor::redColor()));
    button->setSelected(true);
    EXPECT_EQ(button->state(), UIControlStateDisabled | UIControlStateSelected);
    EXPECT_EQ(button->titleForState(UIControlStateSelected)->utf8(), "Post");
    button->setTitle(nullptr, UIControlStateHighlighted);
    EXPECT_EQ(button->titleForState(UIControlStateHighlighted)->utf8(), "Post");
}

// A title label of one line keeps the title's height and is cut to the button; one allowed more
// lines takes the lines the title needs in the button's width, and no more than it allows.
TEST(UIButton, ATitleOfSeveralLinesWrapsInTheButtonsWidth) {
    auto button = UIButton::buttonWithType(UIButtonTypeRoundedRect);
    button->setFrame(CGRectMake(0, 0, 72, 72));
    button->setTitle(NS("Add Picture"), UIControlStateNormal);
    auto label = button->titleLabel();
    CGFloat line = label->font()->lineHeight();
    button->layoutIfNeeded();
    EXPECT_LE(label->frame().size.height, line + 1);
    EXPECT_LE(label->frame().size.width, 72);

    label->setNumberOfLines(2);
    label->setLineBreakMode(UILineBreakModeWordWrap);
    button->setNeedsLayout();
    button->layoutIfNeeded();
    EXPECT_GT(label->frame().size.height, 1.5 * line);
    EXPECT_LE(label->frame().size.height, 2 * line + 1);
    EXPECT_LE(CGRectGetMaxX(label->frame()), 72);
    // Centred in the button, as one line is.
    EXPECT_NEAR(CGRectGetMidY(label->frame()), 36, 1);

    // A title that fits keeps its one line.
    button->setTitle(NS("Add"), UIControlStateNormal);
    button->setNeedsLayout();
    button->layoutIfNeeded();
    EXPECT_LE(label->frame().size.height, line + 1);
}

TEST(UISwitch, TapFlipsAndReportsCodeChangesDoNot) {
    Screen screen;
    auto target = make<ActionTarget>();
    auto sw = make<UISwitch>(&UIView::initWithFrame, CGRectMake(10, 10, 5, 5));
    EXPECT_TRUE(CGSizeEqualToSize(sw->frame().size, CGSizeMake(79, 27)));
    screen.window->addSubview(sw);
    sw->addTarget(target, Selector::named("changed:"), UIControlEventValueChanged);
    sw->setOn(true, true);
    EXPECT_TRUE(target->log.empty());
    screen.window->tapAtPoint(CGPointMake(20, 20));
    EXPECT_FALSE(sw->isOn());
    EXPECT_EQ(target->log, (std::vector<std::string>{"changed"}));
}

TEST(UISegmentedControl, TapsSelectSegmentsAndIndexesAreChecked) {
    Screen screen;
    auto target = make<ActionTarget>();
    auto seg = make<UISegmentedControl>(
        &UISegmentedControl::initWithItems,
        NSArray::arrayWithObjects({NS("Newest"), NS("Price up"), NS("Price down")}));
    seg->setFrame(CGRectMake(0, 100, 300, 30));
    screen.window->addSubview(seg);
    seg->addTarget(target, Selector::named("changed:"), UIControlEventValueChanged);
    EXPECT_EQ(seg->selectedSegmentIndex(), UISegmentedControlNoSegment);
    seg->setSelectedSegmentIndex(0);
    EXPECT_TRUE(target->log.empty());
    screen.window->tapAtPoint(CGPointMake(250, 110));
    EXPECT_EQ(seg->selectedSegmentIndex(), 2);
    // A tap on the selected segment is no change.
    screen.window->tapAtPoint(CGPointMake(250, 110));
    EXPECT_EQ(target->log, (std::vector<std::string>{"changed"}));
    seg->setEnabled(false, 1);
    screen.window->tapAtPoint(CGPointMake(150, 110));
    EXPECT_EQ(seg->selectedSegmentIndex(), 2);
    EXPECT_EQ(raisedName([&] { seg->setSelectedSegmentIndex(3); }), "NSRangeException");
    seg->insertSegmentWithTitle(NS("First"), 0, false);
    EXPECT_EQ(seg->selectedSegmentIndex(), 3);  // still "Price down"
    seg->removeSegmentAtIndex(3, false);
    EXPECT_EQ(seg->selectedSegmentIndex(), UISegmentedControlNoSegment);
    seg->setWidth(100, 0);
    EXPECT_FLOAT_EQ(seg->rectForSegmentAtIndex(1).origin.x, 100);
    EXPECT_FLOAT_EQ(seg->rectForSegmentAtIndex(1).size.width, 100);
    EXPECT_EQ(raisedName([] {
                  make<UISegmentedControl>(&UISegmentedControl::initWithItems,
                                           NSArray::arrayWithObject(NSArray::array()));
              }),
              "NSInvalidArgumentException");
}
