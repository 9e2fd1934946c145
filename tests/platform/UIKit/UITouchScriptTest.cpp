// Scripted fingers: events list every finger down, phases reach views grouped by phase, tap
// counts run at one place within 0.35 s on the clock; the stock views take each gesture once.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSSet.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIButton.h"
#include "UIKit/UISwitch.h"
#include "UIKit/UITableView.h"
#include "UIKit/UITouchScript.h"
#include "UIKit/UIWebView.h"
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

// The stock views on a screen, with a log of what they tell: six rows 44 points high (which may
// be deleted) with a chevron each, a switch at (20, 270), a button at (150, 270) and a page with
// a text field at (0, 340).
class Screen : public NSObject, public UITableViewDataSource, public UITableViewDelegate {
    NS_OBJECT(Screen, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"tableView:commitEditingStyle:forRowAtIndexPath:",
                      "tableView:didSelectRowAtIndexPath:"});
        c.method("switched:", &Screen::switched);
        c.method("pressed", &Screen::pressed);
        c.method("cancelled", &Screen::cancelled);
    }

public:
    void build() {
        window->makeKeyAndVisible();
        table->initWithFrame(CGRectMake(0, 0, 320, 264), UITableViewStylePlain);
        table->setDataSource(this);
        table->setDelegate(this);
        sw->addTarget(this, Selector::named("switched:"), UIControlEventValueChanged);
        button->setFrame(CGRectMake(150, 270, 100, 30));
        button->addTarget(this, Selector::named("pressed"), UIControlEventTouchUpInside);
        button->addTarget(this, Selector::named("cancelled"), UIControlEventTouchCancel);
        web->loadHTMLString(NS("<body style='margin:0'><input style='width:200px'>"), nullptr);
        for (UIView* v : std::initializer_list<UIView*>{table, sw, button, web})
            window->addSubview(v);
        advanceRunLoop(0);
    }
    // What they told, then what shows.
    std::string result() {
        if (button->isHighlighted()) log += "button highlighted, ";
        if (auto path = table->indexPathShowingDeleteConfirmation())
            log += "Delete on " + std::to_string(path->row()) + ", ";
        if (auto n = web->focusedElementIndex()) log += "focus on " + std::to_string(n) + ", ";
        return log.substr(0, log.size() - std::min<size_t>(2, log.size()));
    }
    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger) override { return 6; }
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView*, NSIndexPath*) override {
        auto cell = make<UITableViewCell>(&UITableViewCell::initWithStyle,
                                          UITableViewCellStyleDefault, nullptr);
        cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
        return cell;
    }
    void tableViewCommitEditingStyle(UITableView*, UITableViewCellEditingStyle,
                                     NSIndexPath*) override {}
    void tableViewDidSelectRowAtIndexPath(UITableView*, NSIndexPath* p) override {
        log += "select " + std::to_string(p->row()) + ", ";
    }
    void switched(UISwitch* s) { log += s->isOn() ? "switch on, " : "switch off, "; }
    void pressed() { log += "button, "; }
    void cancelled() { log += "button cancelled, "; }

    Ref<UIWindow> window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    Ref<UITableView> table = alloc<UITableView>();
    Ref<UISwitch> sw = make<UISwitch>(&UIView::initWithFrame, CGRectMake(20, 270, 0, 0));
    Ref<UIButton> button = UIButton::buttonWithType(UIButtonTypeRoundedRect);
    Ref<UIWebView> web = make<UIWebView>(&UIWebView::initWithFrame, CGRectMake(0, 340, 320, 140));
    std::string log;
};

// Plays a row's fingers: "down x y [x y]" lands fingers in one event, "move n x y" moves the n-th
// to land there in four steps, "up n" lifts it; "wait s"; "away" and "back" take the application
// to the background and back.
void play(Screen& screen, const std::string& steps) {
    auto fingers = UITouchScript::scriptWithWindow(screen.window.get());
    std::vector<NSInteger> landed;
    std::istringstream in(steps);
    CGFloat x, y;
    for (std::string verb; in >> verb;) {
        size_t n = 0;
        if (verb == "down") {
            std::vector<CGPoint> at;
            while (in >> x >> y)
                at.push_back(CGPointMake(x, y));
            in.clear();
            for (auto f : fingers->down(at))
                landed.push_back(f);
        } else if (verb == "move" && in >> n >> x >> y) {
            CGPoint from = fingers->touchForFinger(landed[n])->locationInView(nullptr);
            for (CGFloat i = 1; i <= 4; ++i)
                fingers->move(landed[n], CGPointMake(from.x + (x - from.x) * i / 4,
                                                     from.y + (y - from.y) * i / 4));
        } else if (verb == "up" && in >> n) {
            fingers->up(landed[n]);
        } else if (verb == "wait" && in >> x) {
            advanceRunLoop(x);
        } else if (verb == "away" || verb == "back") {
            auto app = UIApplication::sharedApplication();
            verb == "away" ? app->performEnterBackground() : app->performEnterForeground();
        }
    }
}

TEST(FingersOnTheStockViews, EachGestureActsOnceAsOnThePhone) {
    ManualClockScope clock;
    struct Row {
        const char *gesture, *fingers, *result;
    } const rows[] = {
        {"a tap on a row", "down 100 66 up 0", "select 1"},
        {"a row's words and its chevron", "down 100 66 305 66 up 0 up 1", "select 1"},
        {"two rows together, the second lifted first", "down 100 66 100 154 up 1 up 0", "select 1"},
        {"two rows lifted in turn", "down 100 66 down 100 154 up 0 up 1", "select 1"},
        {"a second finger landing later", "down 100 66 wait 0.5 down 305 110 up 0 wait 1 up 1",
         "select 1"},
        {"one finger across a row", "down 100 110 move 0 20 110 up 0", "Delete on 2"},
        {"a pinch across a row", "down 120 110 200 110 move 0 40 110 move 1 280 110 up 0 up 1", ""},
        {"a switch slid 150 points toward on", "down 30 283 move 0 180 283 up 0", "switch on"},
        {"a switch tapped on, then slid toward off",
         "down 60 283 up 0 down 95 283 move 1 5 283 up 1", "switch on, switch off"},
        {"a button held as the app leaves", "down 200 285 away up 0 back", "button cancelled"},
        {"a button held through the background", "down 200 285 away back up 0", "button cancelled"},
        {"a finger held on a page's text field", "down 50 350 wait 1.1 up 0", "focus on 1"},
        {"a finger moved 3 points on a page's text field", "down 50 350 move 0 53 350 up 0",
         "focus on 1"},
    };
    for (auto& row : rows) {
        auto screen = make<Screen>();
        screen->build();
        play(*screen, row.fingers);
        EXPECT_EQ(screen->result(), row.result) << row.gesture;
    }
}

}  // namespace
