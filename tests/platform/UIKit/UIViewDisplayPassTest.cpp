// The display pass: views on screen are drawn once per main-loop pass after being marked; a
// freed view tells its subviews they leave it.
#include <gtest/gtest.h>

#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSTimer.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIView.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWindow.h"
#include "support/RunLoopTesting.h"

namespace {

class Counting : public UIView {
    NS_OBJECT(Counting, UIView)
    void drawRect(CGRect rect) override {
        ++draws;
        hadContext = UIGraphicsGetCurrentContext() != nullptr;
        drawn = rect;
        laidOutFirst = layouts > 0;
    }
    void layoutSubviews() override { ++layouts; }
    int draws = 0;
    int layouts = 0;
    bool hadContext = false;
    bool laidOutFirst = false;
    CGRect drawn{};
};

// Runs a repeating timer while it has a superview, as a banner does.
class Ticking : public UIView {
    NS_OBJECT(Ticking, UIView)
    void start() {
        Weak<Ticking> weak(this);
        timer = NSTimer::scheduledTimerWithTimeInterval(1, true, [weak](NSTimer*) {
            if (auto t = weak.lock()) ++t->ticks;
        });
    }
    void willMoveToSuperview(UIView* newSuperview) override {
        moves.push_back(newSuperview);
        if (!newSuperview && timer) {
            timer->invalidate();
            timer = nullptr;
        }
    }
    Ref<NSTimer> timer;
    int ticks = 0;
    std::vector<UIView*> moves;
};

class UIViewDisplayPassTest : public testing::Test {
protected:
    void SetUp() override {
        window_ = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
        window_->makeKeyAndVisible();
        advanceRunLoop(0);
    }
    void TearDown() override {
        window_->setHidden(true);
        window_ = nullptr;
    }
    Ref<Counting> counting(CGRect frame) { return make<Counting>(&UIView::initWithFrame, frame); }
    ManualClockScope clock_;
    Ref<UIWindow> window_;
};

TEST_F(UIViewDisplayPassTest, TwoMarksInOnePassDrawOnce) {
    auto v = counting(CGRectMake(0, 0, 100, 40));
    window_->addSubview(v);
    advanceRunLoop(0);
    v->draws = 0;
    v->setNeedsDisplayInRect(CGRectMake(0, 0, 10, 10));
    v->setNeedsDisplayInRect(CGRectMake(50, 20, 10, 10));
    EXPECT_EQ(v->draws, 0);  // not at once: at the end of the pass
    advanceRunLoop(0);
    EXPECT_EQ(v->draws, 1);
    EXPECT_TRUE(v->hadContext);
    EXPECT_TRUE(CGRectEqualToRect(v->drawn, CGRectMake(0, 0, 60, 30)));
    EXPECT_FALSE(v->needsDisplay());
    EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
    advanceRunLoop(0);
    EXPECT_EQ(v->draws, 1);  // nothing marked, nothing drawn
    // Each pass that marks it draws it again; layout runs before drawing.
    v->setNeedsDisplay();
    v->setNeedsLayout();
    advanceRunLoop(0);
    EXPECT_EQ(v->draws, 2);
    EXPECT_TRUE(v->laidOutFirst);
}

TEST_F(UIViewDisplayPassTest, OnlyViewsInAVisibleWindowAreDrawnByThePass) {
    auto loose = counting(CGRectMake(0, 0, 10, 10));
    loose->setNeedsDisplay();
    auto hiddenWindow = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 50, 50));
    auto inHidden = counting(CGRectMake(0, 0, 10, 10));
    hiddenWindow->addSubview(inHidden);
    inHidden->setNeedsDisplay();
    // Marked while on screen, gone before the pass.
    auto leaving = counting(CGRectMake(0, 0, 10, 10));
    window_->addSubview(leaving);
    advanceRunLoop(0);
    leaving->draws = 0;
    leaving->setNeedsDisplay();
    leaving->removeFromSuperview();
    advanceRunLoop(0);
    EXPECT_EQ(loose->draws, 0);
    EXPECT_EQ(inHidden->draws, 0);
    EXPECT_EQ(leaving->draws, 0);
    EXPECT_TRUE(loose->needsDisplay());  // the mark waits for whoever renders it
    // A view freed while queued is skipped.
    auto freed = counting(CGRectMake(0, 0, 10, 10));
    window_->addSubview(freed);
    freed->setNeedsDisplay();
    freed->removeFromSuperview();
    freed = nullptr;
    advanceRunLoop(0);
    // Screenshots draw every view as before, answering marks.
    auto image = UIViewRenderImage(loose, 1);
    EXPECT_EQ(loose->draws, 1);
    EXPECT_FALSE(loose->needsDisplay());
}

TEST_F(UIViewDisplayPassTest, AFreedSuperviewStopsItsChildsTimer) {
    Weak<Ticking> child;
    {
        auto holder = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 50));
        auto ticking = make<Ticking>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 50));
        holder->addSubview(ticking);
        ticking->start();
        child = ticking.get();
        advanceRunLoop(2.5);
        EXPECT_EQ(ticking->ticks, 2);
        ticking->moves.clear();
        // The screen goes; only the timer's block and this scope hold the child.
        auto keep = ticking;
        holder = nullptr;
        ASSERT_EQ(keep->moves.size(), 1u);
        EXPECT_EQ(keep->moves[0], nullptr);
        EXPECT_FALSE(keep->timer);
        EXPECT_FALSE(keep->superview());
        advanceRunLoop(5);
        EXPECT_EQ(keep->ticks, 2);
    }
    EXPECT_FALSE(child.lock());
}

}  // namespace
