// Scripted fingers: events list every finger down, phases reach views grouped by phase, tap
// counts run at one place within 0.35 s on the clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSSet.h"
#include "UIKit/UITouchScript.h"
#include "UIKit/UIWindow.h"
#include "support/RunLoopTesting.h"

namespace {

class TouchLog : public UIView {
    NS_OBJECT(TouchLog, UIView)

public:
    void touchesBegan(NSSet* touches, UIEvent* event) override { note("began", touches, event); }
    void touchesMoved(NSSet* touches, UIEvent* event) override { note("moved", touches, event); }
    void touchesEnded(NSSet* touches, UIEvent* event) override { note("ended", touches, event); }
    void touchesCancelled(NSSet* touches, UIEvent* event) override {
        note("cancelled", touches, event);
    }
    void note(const std::string& phase, NSSet* touches, UIEvent* event) {
        std::string line = phase + " " + std::to_string(touches->count()) + "/" +
                           std::to_string(event->allTouches()->count());
        for (NSObject* o : *touches)
            line += " x" + std::to_string(static_cast<UITouch*>(o)->tapCount());
        lines.push_back(line);
    }
    std::vector<std::string> lines;
};

class UITouchScripts : public ::testing::Test {
protected:
    void SetUp() override {
        window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
        window->makeKeyAndVisible();
        view = make<TouchLog>(&TouchLog::initWithFrame, CGRectMake(0, 0, 320, 480));
        window->addSubview(view);
        script = UITouchScript::scriptWithWindow(window.get());
    }
    ManualClockScope clock;
    Ref<UIWindow> window;
    Ref<TouchLog> view;
    Ref<UITouchScript> script;
};

TEST_F(UITouchScripts, EveryEventListsAllFingersButDeliversOnlyTheChangedOnes) {
    view->setMultipleTouchEnabled(true);
    auto a = script->down(CGPointMake(10, 10));
    auto b = script->down(CGPointMake(100, 100));
    script->move(b, CGPointMake(120, 120));
    script->move({{a, CGPointMake(20, 20)}, {b, CGPointMake(130, 130)}});
    script->up(a);
    script->cancel();
    EXPECT_EQ(view->lines,
              (std::vector<std::string>{"began 1/1 x1", "began 1/2 x1", "moved 1/2 x1",
                                        "moved 2/2 x1 x1", "ended 1/2 x1", "cancelled 1/1 x1"}));
    EXPECT_EQ(script->fingersDown(), 0u);
    EXPECT_EQ(script->touchForFinger(b), nullptr);

    // A view that takes one touch at a time hears of the first finger on it only.
    view->setMultipleTouchEnabled(false);
    view->lines.clear();
    a = script->down(CGPointMake(10, 10));
    b = script->down(CGPointMake(100, 100));
    script->move({{a, CGPointMake(20, 20)}, {b, CGPointMake(130, 130)}});
    script->up(b);
    script->up(a);
    EXPECT_EQ(view->lines,
              (std::vector<std::string>{"began 1/1 x1", "moved 1/2 x1", "ended 1/1 x1"}));
}

TEST_F(UITouchScripts, TapCountsGrowForTapsAtOnePlaceWithinTheInterval) {
    script->tap(CGPointMake(50, 50));
    advanceRunLoop(0.3);
    script->tap(CGPointMake(55, 52));
    advanceRunLoop(0.2);
    script->tap(CGPointMake(50, 50));
    advanceRunLoop(0.4);
    script->tap(CGPointMake(50, 50));    // too late: a new run
    script->tap(CGPointMake(200, 200));  // elsewhere: a new run
    std::vector<std::string> downs;
    for (auto& l : view->lines)
        if (l.rfind("began", 0) == 0) downs.push_back(l);
    EXPECT_EQ(downs, (std::vector<std::string>{"began 1/1 x1", "began 1/1 x2", "began 1/1 x3",
                                               "began 1/1 x1", "began 1/1 x1"}));
    // A finger that wandered off starts no run.
    auto f = script->down(CGPointMake(10, 300));
    script->move(f, CGPointMake(100, 300));
    script->up(f);
    script->tap(CGPointMake(100, 300));
    EXPECT_EQ(view->lines.back(), "ended 1/1 x1");
}

TEST_F(UITouchScripts, FingersOffEveryViewLandNowhere) {
    view->removeFromSuperview();
    window->setUserInteractionEnabled(false);
    EXPECT_EQ(script->down(CGPointMake(10, 10)), -1);
    EXPECT_EQ(script->tap(CGPointMake(10, 10)), nullptr);
    EXPECT_EQ(script->fingersDown(), 0u);
}

}  // namespace
