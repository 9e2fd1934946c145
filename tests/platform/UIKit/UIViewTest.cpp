#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSNumber.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIControl.h"
#include "UIKit/UIWindow.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"

namespace {
std::vector<std::string> gLog;

class LoggingView : public UIView {
    NS_OBJECT(LoggingView, UIView)
    std::string name;
    int layouts = 0;
    static Ref<LoggingView> named(const std::string& n, CGRect frame = CGRectZero) {
        auto v = make<LoggingView>(&UIView::initWithFrame, frame);
        v->name = n;
        return v;
    }
    void willMoveToSuperview(UIView* s) override {
        gLog.push_back(name + ".willMoveToSuperview:" + (s ? "view" : "nil"));
    }
    void didMoveToSuperview() override { gLog.push_back(name + ".didMoveToSuperview"); }
    void willMoveToWindow(UIWindow* w) override {
        gLog.push_back(name + ".willMoveToWindow:" + (w ? "window" : "nil"));
    }
    void didMoveToWindow() override { gLog.push_back(name + ".didMoveToWindow"); }
    void didAddSubview(UIView* v) override {
        gLog.push_back(name + ".didAddSubview:" + static_cast<LoggingView*>(v)->name);
    }
    void willRemoveSubview(UIView* v) override {
        gLog.push_back(name + ".willRemoveSubview:" + static_cast<LoggingView*>(v)->name);
    }
    void layoutSubviews() override { ++layouts; }
};

std::vector<std::string> names(UIView* v) {
    std::vector<std::string> out;
    for (auto& s : v->subviewList())
        out.push_back(static_cast<LoggingView*>(s.get())->name);
    return out;
}

class UIViewTest : public testing::Test {
protected:
    void SetUp() override { gLog.clear(); }
    void TearDown() override { UIView::setAnimationsEnabled(true); }
};
}  // namespace

TEST_F(UIViewTest, SubviewOrderOperations) {
    auto root = LoggingView::named("root");
    auto a = LoggingView::named("a"), b = LoggingView::named("b"), c = LoggingView::named("c");
    root->addSubview(a);
    root->addSubview(b);
    root->insertSubview(c, 0);
    EXPECT_EQ(names(root), (std::vector<std::string>{"c", "a", "b"}));
    root->bringSubviewToFront(c);
    EXPECT_EQ(names(root), (std::vector<std::string>{"a", "b", "c"}));
    root->sendSubviewToBack(b);
    EXPECT_EQ(names(root), (std::vector<std::string>{"b", "a", "c"}));
    root->exchangeSubviewAtIndex(0, 2);
    EXPECT_EQ(names(root), (std::vector<std::string>{"c", "a", "b"}));
    auto d = LoggingView::named("d"), e = LoggingView::named("e");
    root->insertSubview(d, a.get());  // above a
    root->insertSubviewBelowSubview(e, c.get());
    EXPECT_EQ(names(root), (std::vector<std::string>{"e", "c", "a", "d", "b"}));
    // Adding an existing subview again moves it to the front without a second entry.
    root->addSubview(c);
    EXPECT_EQ(names(root), (std::vector<std::string>{"e", "a", "d", "b", "c"}));
    root->insertSubview(a, 100);  // beyond the end: at the end
    EXPECT_EQ(names(root), (std::vector<std::string>{"e", "d", "b", "c", "a"}));
    EXPECT_EQ(raisedName([&] { root->exchangeSubviewAtIndex(0, 9); }), "NSRangeException");
}

TEST_F(UIViewTest, RefusesCycles) {
    auto root = LoggingView::named("root"), child = LoggingView::named("child");
    root->addSubview(child);
    EXPECT_EQ(raisedName([&] { child->addSubview(root); }), "NSInvalidArgumentException");
    EXPECT_EQ(raisedName([&] { root->addSubview(root); }), "NSInvalidArgumentException");
    EXPECT_EQ(child->superview().get(), root.get());
    EXPECT_FALSE(root->superview());
}

TEST_F(UIViewTest, MoveCallbacksComeInThePlatformsOrder) {
    auto window = make<UIWindow>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    auto from = LoggingView::named("from"), to = LoggingView::named("to");
    auto v = LoggingView::named("v"), inner = LoggingView::named("inner");
    window->addSubview(to);
    v->addSubview(inner);
    from->addSubview(v);
    gLog.clear();
    // From a tree outside any window into the window.
    to->addSubview(v);
    EXPECT_EQ(gLog,
              (std::vector<std::string>{
                  "from.willRemoveSubview:v", "v.willMoveToSuperview:view",
                  "v.willMoveToWindow:window", "inner.willMoveToWindow:window", "v.didMoveToWindow",
                  "inner.didMoveToWindow", "v.didMoveToSuperview", "to.didAddSubview:v"}));
    EXPECT_TRUE(from->subviewList().empty());
    EXPECT_EQ(inner->window().get(), window.get());
    gLog.clear();
    v->removeFromSuperview();
    EXPECT_EQ(gLog, (std::vector<std::string>{"to.willRemoveSubview:v", "v.willMoveToSuperview:nil",
                                              "v.willMoveToWindow:nil",
                                              "inner.willMoveToWindow:nil", "v.didMoveToWindow",
                                              "inner.didMoveToWindow", "v.didMoveToSuperview"}));
    EXPECT_FALSE(inner->window());
    // Within one window the window callbacks stay silent.
    window->addSubview(v);
    gLog.clear();
    to->addSubview(v);
    EXPECT_EQ(gLog, (std::vector<std::string>{"v.willMoveToSuperview:view", "v.didMoveToSuperview",
                                              "to.didAddSubview:v"}));
}

TEST_F(UIViewTest, HitTestingSkipsWhatCannotBeTouched) {
    auto root = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 100, 100));
    auto back = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 50, 50));
    auto front = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 50, 50));
    root->addSubview(back);
    root->addSubview(front);
    EXPECT_EQ(root->hitTest(CGPointMake(10, 10), nullptr).get(), front.get());
    front->setHidden(true);
    EXPECT_EQ(root->hitTest(CGPointMake(10, 10), nullptr).get(), back.get());
    front->setHidden(false);
    front->setAlpha(0);
    EXPECT_EQ(root->hitTest(CGPointMake(10, 10), nullptr).get(), back.get());
    front->setAlpha(1);
    front->setUserInteractionEnabled(false);
    EXPECT_EQ(root->hitTest(CGPointMake(10, 10), nullptr).get(), back.get());
    // A subview that sticks out of its superview cannot be hit outside the superview's bounds.
    auto outer = make<UIView>(&UIView::initWithFrame, CGRectMake(60, 60, 20, 20));
    auto sticking = make<UIView>(&UIView::initWithFrame, CGRectMake(10, 10, 30, 30));
    outer->addSubview(sticking);
    root->addSubview(outer);
    EXPECT_EQ(root->hitTest(CGPointMake(75, 75), nullptr).get(), sticking.get());
    EXPECT_EQ(root->hitTest(CGPointMake(90, 90), nullptr).get(), root.get());
    EXPECT_FALSE(root->hitTest(CGPointMake(150, 10), nullptr));
    // A non-interactive view hides its subviews from touches too.
    outer->setUserInteractionEnabled(false);
    EXPECT_EQ(root->hitTest(CGPointMake(75, 75), nullptr).get(), root.get());
}

// A view under animation is hit where it is going; one the animation slides away, showing less
// of it on the screen, takes no touches until the animation ends, nor do the views in it.
TEST_F(UIViewTest, AViewSlidingAwayTakesNoTouchesUntilItsAnimationEnds) {
    ManualClockScope clock;
    auto window = make<UIWindow>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->setHidden(false);
    auto under = make<UIView>(&UIView::initWithFrame, window->bounds());
    auto overlay = make<UIView>(&UIView::initWithFrame, CGRectMake(0, -150, 320, 600));
    auto button = make<UIControl>(&UIView::initWithFrame, CGRectMake(40, 180, 90, 37));
    overlay->addSubview(button);
    window->addSubview(under);
    window->addSubview(overlay);
    auto slide = [&](CGFloat y) {
        UIView::beginAnimations(nullptr, nullptr);
        UIView::setAnimationDuration(0.3);
        overlay->setFrame(CGRectMake(0, y, 320, 600));
        UIView::commitAnimations();
    };
    // Coming down: hit at once where it is going.
    slide(20);
    EXPECT_FALSE(overlay->isLeavingScreen());
    EXPECT_EQ(window->hitTest(CGPointMake(60, 220), nullptr), button);
    advanceRunLoop(0.4);

    // Going up: its button, still partly on the screen, takes nothing; what lies under does.
    slide(-200);
    EXPECT_TRUE(overlay->isLeavingScreen());
    EXPECT_TRUE(button->isLeavingScreen());
    EXPECT_EQ(window->hitTest(CGPointMake(60, 5), nullptr), under);
    EXPECT_EQ(window->hitTest(CGPointMake(160, 300), nullptr), under);
    advanceRunLoop(0.2);
    EXPECT_EQ(window->hitTest(CGPointMake(160, 300), nullptr), under);
    // Ended, a view left where it went takes touches again.
    advanceRunLoop(0.2);
    EXPECT_FALSE(button->isLeavingScreen());
    EXPECT_EQ(window->hitTest(CGPointMake(60, 5), nullptr), button);
    EXPECT_EQ(window->hitTest(CGPointMake(160, 300), nullptr), overlay);

    // A view made smaller in place is not leaving; nor is one moved without an animation.
    UIView::beginAnimations(nullptr, nullptr);
    overlay->setFrame(CGRectMake(0, -200, 320, 400));
    UIView::commitAnimations();
    EXPECT_FALSE(overlay->isLeavingScreen());
    overlay->setFrame(CGRectMake(0, -300, 320, 400));
    EXPECT_FALSE(overlay->isLeavingScreen());
}

TEST_F(UIViewTest, ConvertsThroughBoundsOriginsAndTransforms) {
    auto window = make<UIWindow>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    auto scroller = make<UIView>(&UIView::initWithFrame, CGRectMake(10, 20, 100, 100));
    scroller->setBounds(CGRectMake(0, 50, 100, 100));  // scrolled down by 50
    auto child = make<UIView>(&UIView::initWithFrame, CGRectMake(5, 60, 10, 10));
    window->addSubview(scroller);
    scroller->addSubview(child);
    CGPoint p = child->convertPoint(CGPointMake(1, 2), nullptr);
    EXPECT_FLOAT_EQ(p.x, 10 + 5 + 1);
    EXPECT_FLOAT_EQ(p.y, 20 + 60 - 50 + 2);
    CGPoint back = child->convertPointFromView(p, window);
    EXPECT_FLOAT_EQ(back.x, 1);
    EXPECT_FLOAT_EQ(back.y, 2);
    // A view scaled by 2 about its centre: its 40 x 40 bounds cover 80 x 80 of the window.
    window->setHidden(false);  // hidden windows take no touches
    auto scaled = make<UIView>(&UIView::initWithFrame, CGRectMake(100, 100, 40, 40));
    window->addSubview(scaled);
    scaled->setTransform(CGAffineTransformMakeScale(2, 2));
    CGRect f = scaled->frame();
    EXPECT_FLOAT_EQ(f.origin.x, 80);
    EXPECT_FLOAT_EQ(f.size.width, 80);
    CGRect r = scaled->convertRect(CGRectMake(0, 0, 10, 10), child);
    // (0,0) of scaled is (80,80) in the window; child's origin is (15,30) in the window.
    EXPECT_FLOAT_EQ(r.origin.x, 80 - 15);
    EXPECT_FLOAT_EQ(r.origin.y, 80 - 30);
    EXPECT_FLOAT_EQ(r.size.width, 20);
    CGPoint hitPoint = window->convertPoint(CGPointMake(95, 95), scaled);
    EXPECT_FLOAT_EQ(hitPoint.x, 7.5f);
    EXPECT_EQ(window->hitTest(CGPointMake(95, 95), nullptr).get(), scaled.get());
}

// A frame set on a turned view: under a turn by whole quarters it gives the size (sideways for an
// odd number of quarters) and reads back as set; under any other turn it only moves the view.
TEST_F(UIViewTest, AFrameSetOnATurnedViewGivesItsSizeOnlyForWholeQuarters) {
    using Box = std::vector<CGFloat>;
    auto box = [](CGRect r) {
        auto round = [](CGFloat v) { return std::round(v * 1000) / 1000; };
        return Box{round(r.origin.x), round(r.origin.y), round(r.size.width), round(r.size.height)};
    };
    struct Turn {
        float angle;
        Box bounds;  // after setFrame(10, 20, 60, 100) on a view of 30 x 40
    };
    const float quarter = float(M_PI / 2);
    for (const Turn& turn : {Turn{0, {0, 0, 60, 100}}, Turn{quarter, {0, 0, 100, 60}},
                             Turn{2 * quarter, {0, 0, 60, 100}}, Turn{-quarter, {0, 0, 100, 60}},
                             Turn{quarter / 3, {0, 0, 30, 40}}}) {
        auto view = LoggingView::named("turned", CGRectMake(0, 0, 30, 40));
        if (turn.angle != 0) view->setTransform(CGAffineTransformMakeRotation(turn.angle));
        view->layoutIfNeeded();
        view->setFrame(CGRectMake(10, 20, 60, 100));
        EXPECT_EQ(box(view->bounds()), turn.bounds) << turn.angle;
        // Centred on the frame's middle whatever the turn.
        EXPECT_FLOAT_EQ(view->center().x, 40) << turn.angle;
        EXPECT_FLOAT_EQ(view->center().y, 70) << turn.angle;
        if (turn.bounds[2] != 30) {
            EXPECT_EQ(box(view->frame()), (Box{10, 20, 60, 100})) << turn.angle;
            // A new size lays the view out again.
            EXPECT_TRUE(view->needsLayout()) << turn.angle;
        } else {
            EXPECT_FALSE(view->needsLayout()) << turn.angle;
        }
    }
}

TEST_F(UIViewTest, AutoresizingSpreadsTheChange) {
    auto parent = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 100, 100));
    auto stretchy = make<UIView>(&UIView::initWithFrame, CGRectMake(10, 10, 80, 20));
    stretchy->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    auto pinned = make<UIView>(&UIView::initWithFrame, CGRectMake(70, 70, 20, 20));
    pinned->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin |
                                UIViewAutoresizingFlexibleTopMargin);
    auto both = make<UIView>(&UIView::initWithFrame, CGRectMake(20, 0, 20, 10));
    both->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin |
                              UIViewAutoresizingFlexibleRightMargin);
    parent->addSubview(stretchy);
    parent->addSubview(pinned);
    parent->addSubview(both);
    parent->setFrame(CGRectMake(0, 0, 200, 150));
    EXPECT_FLOAT_EQ(stretchy->frame().size.width, 180);
    EXPECT_FLOAT_EQ(pinned->frame().origin.x, 170);
    EXPECT_FLOAT_EQ(pinned->frame().origin.y, 120);
    // Margins of 20 and 60 share the 100 extra points in proportion: 25 and 75.
    EXPECT_FLOAT_EQ(both->frame().origin.x, 45);
    parent->setAutoresizesSubviews(false);
    parent->setFrame(CGRectMake(0, 0, 100, 100));
    EXPECT_FLOAT_EQ(stretchy->frame().size.width, 180);
}

TEST_F(UIViewTest, LayoutRunsOncePerPassOrOnDemand) {
    ManualClockScope clock;
    auto v = LoggingView::named("v", CGRectMake(0, 0, 10, 10));
    UIView::layoutPendingViews();
    v->layouts = 0;
    v->setNeedsLayout();
    v->setNeedsLayout();
    EXPECT_EQ(v->layouts, 0);
    advanceRunLoop(0);
    EXPECT_EQ(v->layouts, 1);
    v->setNeedsLayout();
    v->layoutIfNeeded();
    v->layoutIfNeeded();
    EXPECT_EQ(v->layouts, 2);
    // A change of size asks for layout; a move does not.
    v->setCenter(CGPointMake(50, 50));
    EXPECT_FALSE(v->needsLayout());
    v->setBounds(CGRectMake(0, 0, 20, 20));
    EXPECT_TRUE(v->needsLayout());
    advanceRunLoop(0);
    EXPECT_EQ(v->layouts, 3);
}

TEST_F(UIViewTest, SizeToFitKeepsTheOriginAndViewWithTagSearchesDepthFirst) {
    auto v = make<UIView>(&UIView::initWithFrame, CGRectMake(5, 6, 7, 8));
    v->sizeToFit();
    EXPECT_TRUE(CGRectEqualToRect(v->frame(), CGRectMake(5, 6, 7, 8)));
    auto a = make<UIView>(), b = make<UIView>(), deep = make<UIView>();
    a->setTag(1);
    deep->setTag(2);
    b->setTag(2);
    v->addSubview(a);
    a->addSubview(deep);
    v->addSubview(b);
    EXPECT_EQ(v->viewWithTag(2).get(), deep.get());
    EXPECT_FALSE(v->viewWithTag(3));
}

namespace {
std::vector<std::string> gAnimationLog;

class AnimationWatcher : public NSObject {
    NS_OBJECT(AnimationWatcher, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("animationDidStop:finished:context:", &AnimationWatcher::didStop);
        c.method("willStart:context:", &AnimationWatcher::willStart);
        c.method("done", &AnimationWatcher::done);
    }
    void didStop(NSString* name, NSNumber* finished, void* context) {
        gAnimationLog.push_back("stop " + (name ? name->utf8() : std::string("nil")) + " " +
                                (finished && finished->boolValue() ? "YES" : "NO") + " " +
                                (context == this ? "ctx" : "other"));
    }
    void willStart(NSString* name, void*) { gAnimationLog.push_back("start " + name->utf8()); }
    void done() { gAnimationLog.push_back("done"); }
};
}  // namespace

TEST_F(UIViewTest, AnimationsChangeAtOnceAndStopOnTheClock) {
    ManualClockScope clock;
    gAnimationLog.clear();
    auto watcher = make<AnimationWatcher>();
    auto v = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 10, 10));
    UIView::beginAnimations(NS("slide"), watcher.get());
    UIView::setAnimationDuration(0.5);
    UIView::setAnimationDelay(0.25);
    UIView::setAnimationDelegate(watcher);
    UIView::setAnimationWillStartSelector(Selector::named("willStart:context:"));
    UIView::setAnimationDidStopSelector(Selector::named("animationDidStop:finished:context:"));
    v->setFrame(CGRectMake(100, 0, 10, 10));
    v->setAlpha(0.5f);
    EXPECT_TRUE(UIView::isInsideAnimationBlock());
    UIView::commitAnimations();
    EXPECT_FALSE(UIView::isInsideAnimationBlock());
    EXPECT_FLOAT_EQ(v->frame().origin.x, 100);
    EXPECT_FLOAT_EQ(v->alpha(), 0.5f);
    EXPECT_EQ(gAnimationLog, (std::vector<std::string>{"start slide"}));
    advanceRunLoop(0.7);
    EXPECT_EQ(gAnimationLog.size(), 1u);
    EXPECT_EQ(UIView::runningAnimationCount(), 1u);
    advanceRunLoop(0.1);
    EXPECT_EQ(gAnimationLog, (std::vector<std::string>{"start slide", "stop slide YES ctx"}));
    EXPECT_EQ(UIView::runningAnimationCount(), 0u);
}

TEST_F(UIViewTest, NestedBlocksInheritTimingAndKeepTheirOwnDelegates) {
    ManualClockScope clock;
    gAnimationLog.clear();
    auto watcher = make<AnimationWatcher>();
    UIView::beginAnimations(NS("outer"), nullptr);
    UIView::setAnimationDuration(1.0);
    UIView::setAnimationDelegate(watcher);
    UIView::setAnimationDidStopSelector(Selector::named("animationDidStop:finished:context:"));
    UIView::beginAnimations(NS("inner"), nullptr);
    UIView::setAnimationDelegate(watcher);
    UIView::setAnimationDidStopSelector(Selector::named("done"));
    UIView::commitAnimations();
    UIView::commitAnimations();
    advanceRunLoop(0.9);
    EXPECT_TRUE(gAnimationLog.empty());  // the inner block took the outer second
    advanceRunLoop(0.2);
    EXPECT_EQ(gAnimationLog, (std::vector<std::string>{"done", "stop outer YES other"}));
}

TEST_F(UIViewTest, DisabledAnimationsStopOnTheNextPassAndTheDelegateIsKeptAlive) {
    ManualClockScope clock;
    gAnimationLog.clear();
    UIView::setAnimationsEnabled(false);
    {
        auto watcher = make<AnimationWatcher>();
        UIView::beginAnimations(NS("quick"), nullptr);
        UIView::setAnimationDuration(10);
        UIView::setAnimationDelegate(watcher);
        UIView::setAnimationDidStopSelector(Selector::named("done"));
        UIView::commitAnimations();
    }
    advanceRunLoop(0);
    EXPECT_EQ(gAnimationLog, (std::vector<std::string>{"done"}));
    bool finished = false;
    UIView::setAnimationsEnabled(true);
    UIView::animateWithDuration(
        0.3, [] {}, [&](bool f) { finished = f; });
    advanceRunLoop(0.2);
    EXPECT_FALSE(finished);
    advanceRunLoop(0.2);
    EXPECT_TRUE(finished);
}
