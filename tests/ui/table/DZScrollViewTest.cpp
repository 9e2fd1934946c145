// The pager driven by scripted fingers on the manual clock: page changes and snap-backs by
// distance and time, resistance at the ends, taps, double taps and pinches, the ring of pages,
// landscape frames and the flipped orientations.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "UIKit/UITouchScript.h"
#include "UIKit/UIWindow.h"
#include "support/RunLoopTesting.h"
#include "ui/table/DZScrollView.h"
#include "ui/table/TableTesting.h"

namespace {

// Pages of given sizes; writes down what the pager tells it, with the clock's time.
class PagerRecorder : public NSObject, public DZScrollViewDataSource, public DZScrollViewDelegate {
    NS_OBJECT(PagerRecorder, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements(
            {"scrollView:sizeOfPageAtIndex:", "scrollView:tapped:", "scrollViewDidEndDecelerating:",
             "scrollViewWillBeginDragging:", "scrollViewDidBeginZooming:",
             "scrollViewDidEndZooming:", "scrollViewWillBeginDecelerating:"});
    }

public:
    NSInteger numberOfPagesInScrollView(DZScrollView*) override { return count; }
    Ref<UIView> scrollViewPageAtIndex(DZScrollView* pager, NSInteger index) override {
        auto page = pager->dequeueReusablePage();
        if (page)
            ++reused;
        else
            page = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 10, 10));
        page->setTag(index);
        made.push_back(index);
        return page;
    }
    CGSize scrollViewSizeOfPageAtIndex(DZScrollView*, NSInteger index) override {
        return index < static_cast<NSInteger>(sizes.size()) ? sizes[static_cast<size_t>(index)]
                                                            : CGSizeZero;
    }
    void scrollViewDidMoveToPageAtIndex(DZScrollView*, NSInteger index) override {
        log("moved " + std::to_string(index));
    }
    void scrollViewTapped(DZScrollView*, UITouch*) override { log("tapped"); }
    void scrollViewDidEndDecelerating(DZScrollView*) override { log("settled"); }
    void scrollViewWillBeginDragging(DZScrollView*) override { log("drag"); }
    void scrollViewDidBeginZooming(DZScrollView*) override { log("zoom"); }
    void scrollViewDidEndZooming(DZScrollView*) override { log("unzoom"); }
    void scrollViewWillBeginDecelerating(DZScrollView*) override { log("throw"); }

    void log(const std::string& event) {
        events.push_back(event);
        times.push_back(Clock::uptime());
    }
    void clear() {
        events.clear();
        times.clear();
    }
    bool saw(const std::string& event) {
        return std::find(events.begin(), events.end(), event) != events.end();
    }
    double timeOf(const std::string& event) {
        for (size_t i = 0; i < events.size(); ++i)
            if (events[i] == event) return times[i];
        return -1;
    }

    NSInteger count = 5;
    std::vector<CGSize> sizes;
    std::vector<NSInteger> made;
    int reused = 0;
    std::vector<std::string> events;
    std::vector<double> times;
};

class DZScrollViews : public ::testing::Test {
protected:
    void SetUp() override {
        window = testWindow();
        pager = make<DZScrollView>(&DZScrollView::initWithFrame, CGRectMake(0, 0, 320, 480));
        recorder = make<PagerRecorder>();
        window->addSubview(pager);
        pager->setDelegate(recorder.get());
        pager->setDataSource(recorder.get());
        fingers = UITouchScript::scriptWithWindow(window.get());
        pager->layoutIfNeeded();
        recorder->clear();
    }
    void TearDown() override { pager->removeFromSuperview(); }

    // One finger from a point by (dx, dy) in `steps` moves, then lifted.
    void drag(CGPoint from, CGFloat dx, CGFloat dy, int steps = 1) {
        auto f = fingers->down(from);
        for (int i = 1; i <= steps; ++i)
            fingers->move(f, CGPointMake(from.x + dx * i / steps, from.y + dy * i / steps));
        fingers->up(f);
    }
    void startAt(NSInteger index) {
        pager->setCenterPageIndex(index);
        pager->layoutIfNeeded();
        recorder->clear();
    }

    ManualClockScope clock;
    Ref<UIWindow> window;
    Ref<DZScrollView> pager;
    Ref<PagerRecorder> recorder;
    Ref<UITouchScript> fingers;
};

TEST_F(DZScrollViews, DragsPastSixtyPointsGoToTheNeighbourInPointFourSeconds) {
    startAt(1);
    double start = Clock::uptime();
    drag(CGPointMake(200, 200), -61, 0);
    EXPECT_FLOAT_EQ(pager->pageEdges().left, -61);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"drag"}));
    advanceRunLoop(0.375);
    EXPECT_FALSE(recorder->saw("settled"));
    EXPECT_EQ(pager->centerPageIndex(), 1);
    advanceRunLoop(0.05);
    ASSERT_TRUE(recorder->saw("settled"));
    EXPECT_NEAR(recorder->timeOf("settled") - start, 0.4, 0.026);
    EXPECT_EQ(pager->centerPageIndex(), 2);
    // The move reaches the delegate at the next layout, with the new page in place.
    pager->layoutIfNeeded();
    EXPECT_TRUE(recorder->saw("moved 2"));
    EXPECT_FLOAT_EQ(pager->pageEdges().left, 0);
    EXPECT_FLOAT_EQ(pager->centerPage()->frame().origin.x, 0);
    EXPECT_EQ(pager->centerPage()->tag(), 2);
    EXPECT_FLOAT_EQ(pager->pageAtIndex(1)->frame().origin.x, -360);
    EXPECT_FLOAT_EQ(pager->pageAtIndex(3)->frame().origin.x, 360);
}

TEST_F(DZScrollViews, DragsShortOfSixtyPointsSnapBackInPointThreeSeconds) {
    startAt(1);
    double start = Clock::uptime();
    drag(CGPointMake(100, 200), 59, 0);
    EXPECT_FLOAT_EQ(pager->centerPage()->frame().origin.x, 0);  // not laid out yet
    pager->layoutIfNeeded();
    EXPECT_FLOAT_EQ(pager->centerPage()->frame().origin.x, 59);
    EXPECT_FLOAT_EQ(pager->pageAtIndex(0)->frame().origin.x, -360 + 59);
    advanceRunLoop(0.5);
    EXPECT_NEAR(recorder->timeOf("settled") - start, 0.3, 0.026);
    EXPECT_EQ(pager->centerPageIndex(), 1);
    EXPECT_FLOAT_EQ(pager->pageEdges().left, 0);
    EXPECT_FALSE(recorder->saw("moved 0"));
    EXPECT_FALSE(recorder->saw("tapped"));  // a drag is no tap
}

TEST_F(DZScrollViews, TheFirstPageResistsMoreTheFurtherItIsPulled) {
    auto f = fingers->down(CGPointMake(10, 200));
    fingers->move(f, CGPointMake(110, 200));
    CGFloat first = pager->pageEdges().left;
    EXPECT_NEAR(first, 100 * (1 - 100.0 / 320) * 0.15, 1e-4);
    fingers->move(f, CGPointMake(210, 200));
    // Each move follows the finger by a share that shrinks the further out the target is.
    CGFloat share = (1 - 200.0f / 320) * 0.15f;
    EXPECT_NEAR(pager->pageEdges().left, first + (200 - first) * share, 1e-4);
    EXPECT_LT(pager->pageEdges().left, 25);
    EXPECT_FLOAT_EQ(pager->pageEdges().left, pager->pageEdges().right);  // only shifted
    fingers->up(f);
    advanceRunLoop(0.4);
    EXPECT_EQ(pager->centerPageIndex(), 0);
    EXPECT_FLOAT_EQ(pager->pageEdges().left, 0);

    // The last page resists a drag towards the missing next page the same way.
    startAt(4);
    drag(CGPointMake(300, 200), -100, 0);
    EXPECT_NEAR(pager->pageEdges().right, -100 * (1 - 100.0 / 320) * 0.15, 1e-4);
    advanceRunLoop(0.4);
    EXPECT_EQ(pager->centerPageIndex(), 4);
}

TEST_F(DZScrollViews, ASingleTapIsReportedAfterPointTwoSecondsAndNotWithinADoubleTap) {
    fingers->tap(CGPointMake(160, 240));
    advanceRunLoop(0.19);
    EXPECT_FALSE(recorder->saw("tapped"));
    advanceRunLoop(0.02);
    EXPECT_TRUE(recorder->saw("tapped"));

    recorder->clear();
    advanceRunLoop(1);
    fingers->tap(CGPointMake(160, 240));
    advanceRunLoop(0.1);
    fingers->tap(CGPointMake(162, 241));
    advanceRunLoop(1);
    EXPECT_FALSE(recorder->saw("tapped"));
    EXPECT_TRUE(recorder->saw("zoom"));
    // Nor are a drag and two fingers, even on a pager that does not scroll (a photo loading).
    pager->setScrollEnabled(false);
    recorder->clear();
    drag(CGPointMake(160, 240), 0, 40);
    advanceRunLoop(1);
    auto f = fingers->down({CGPointMake(140, 240), CGPointMake(180, 240)});
    fingers->up(f[0]);
    fingers->up(f[1]);
    advanceRunLoop(1);
    EXPECT_FALSE(recorder->saw("tapped"));
}

TEST_F(DZScrollViews, DoubleTapsZoomAboutTheTapAndBackToFit) {
    fingers->tap(CGPointMake(100, 150));
    advanceRunLoop(0.1);
    fingers->tap(CGPointMake(100, 150));
    advanceRunLoop(0.35);
    EXPECT_NEAR(pager->zoomScale(), 984.0 / 320, 1e-4);  // 4 / 1.3 on whole points
    EXPECT_NEAR(pager->zoomScale(), 3.08, 0.01);
    EXPECT_TRUE(pager->isZoomed());
    // The point under the tap stays put.
    UIEdgeInsets e = pager->pageEdges();
    EXPECT_NEAR(e.left, 100 - 984 * 100.0 / 320, 1e-3);
    EXPECT_NEAR(e.top, 150 - 1476 * 150.0 / 480, 1e-3);
    pager->layoutIfNeeded();
    EXPECT_NEAR(pager->centerPage()->frame().size.width, 984, 1e-3);
    EXPECT_TRUE(pager->pageAtIndex(1) != nullptr);

    advanceRunLoop(1);
    fingers->tap(CGPointMake(100, 150));
    advanceRunLoop(0.1);
    fingers->tap(CGPointMake(100, 150));
    advanceRunLoop(0.35);
    EXPECT_FLOAT_EQ(pager->zoomScale(), 1);
    EXPECT_FALSE(pager->isZoomed());
    EXPECT_TRUE(recorder->saw("unzoom"));
    pager->layoutIfNeeded();
    EXPECT_FLOAT_EQ(pager->centerPage()->frame().size.width, 320);
}

TEST_F(DZScrollViews, PinchesScaleAboutTheFingersMidpointUpToTheMaximum) {
    auto f = fingers->down({CGPointMake(140, 240), CGPointMake(180, 240)});
    // The first step only takes the fingers' distance.
    fingers->move({{f[0], CGPointMake(140, 240)}, {f[1], CGPointMake(180, 240)}});
    EXPECT_FLOAT_EQ(pager->zoomScale(), 1);
    fingers->move({{f[0], CGPointMake(120, 240)}, {f[1], CGPointMake(200, 240)}});
    EXPECT_TRUE(pager->isZooming());
    EXPECT_NEAR(pager->zoomScale(), 2, 0.01);
    UIEdgeInsets e = pager->pageEdges();
    EXPECT_NEAR((e.left + e.right) / 2, 0, 0.5);  // about the midpoint (160, 240)
    fingers->move({{f[0], CGPointMake(0, 240)}, {f[1], CGPointMake(320, 240)}});
    EXPECT_LE(pager->zoomScale(), 4.0f + 1e-4f);
    fingers->up(f[0]);
    fingers->up(f[1]);
    EXPECT_TRUE(pager->isZoomed());
}

TEST_F(DZScrollViews, FingersOnOneSpotNeverCollapseThePage) {
    auto f = fingers->down({CGPointMake(160, 240), CGPointMake(160, 240)});
    fingers->move({{f[0], CGPointMake(170, 250)}, {f[1], CGPointMake(170, 250)}});
    UIEdgeInsets e = pager->pageEdges();
    EXPECT_FALSE(std::isnan(e.left) || std::isnan(e.right) || std::isnan(e.top));
    EXPECT_FALSE(pager->isZoomed());
    // Pinched nearly together: the page keeps a size and springs back when let go.
    fingers->move({{f[0], CGPointMake(60, 240)}, {f[1], CGPointMake(260, 240)}});
    fingers->move({{f[0], CGPointMake(160, 240)}, {f[1], CGPointMake(160.001f, 240)}});
    fingers->move({{f[0], CGPointMake(160, 240)}, {f[1], CGPointMake(160, 240)}});
    e = pager->pageEdges();
    EXPECT_FALSE(std::isnan(e.left) || std::isinf(e.left));
    EXPECT_GT(320 - e.left + e.right, 0);
    EXPECT_GT(480 - e.top + e.bottom, 0);
    fingers->up(f[0]);
    fingers->up(f[1]);
    advanceRunLoop(0.5);
    EXPECT_FLOAT_EQ(pager->zoomScale(), 1);
    pager->layoutIfNeeded();
    EXPECT_GT(pager->centerPage()->frame().size.width, 0);
}

TEST_F(DZScrollViews, AThirdFingerIsIgnored) {
    auto f = fingers->down({CGPointMake(100, 100), CGPointMake(200, 200)});
    fingers->down(CGPointMake(300, 400));
    fingers->move({{f[0], CGPointMake(80, 80)}, {f[1], CGPointMake(220, 220)}});
    EXPECT_TRUE(pager->isZooming());
    fingers->move(2, CGPointMake(10, 10));  // the third finger moving changes nothing
    UIEdgeInsets before = pager->pageEdges();
    fingers->move(2, CGPointMake(20, 460));
    EXPECT_FLOAT_EQ(pager->pageEdges().left, before.left);
    EXPECT_FLOAT_EQ(pager->pageEdges().top, before.top);
    fingers->cancel();
    EXPECT_FALSE(pager->isZoomed());
}

TEST_F(DZScrollViews, AZoomedPageThrownWithSpeedDecelerates) {
    pager->setZoomScale(2, false);
    ASSERT_TRUE(pager->isZoomed());
    drag(CGPointMake(160, 240), 30, 30, 3);
    EXPECT_TRUE(pager->isDecelerating());
    EXPECT_TRUE(recorder->saw("throw"));
    CGFloat lifted = pager->pageEdges().left;
    advanceRunLoop(0.05);
    EXPECT_GT(pager->pageEdges().left, lifted);  // thrown on: 10 × 1.5 × 0.9 a tick
    EXPECT_NEAR(pager->pageEdges().left - lifted, 13.5f + 13.5f * 0.9f, 0.5);
    advanceRunLoop(3);
    EXPECT_FALSE(pager->isDecelerating());
    EXPECT_TRUE(recorder->saw("settled"));
    // Pulled from the borders, it came back inside them.
    EXPECT_LE(pager->pageEdges().left, 0.01);
    EXPECT_LE(pager->pageEdges().top, 0.01);
}

TEST_F(DZScrollViews, KeepsThreePagesAndReloadsOnAJump) {
    startAt(1);
    EXPECT_EQ(pager->subviews()->count(), 3u);
    EXPECT_EQ(pager->visiblePages()->count(), 3u);
    EXPECT_EQ(pager->pageAtIndex(3), nullptr);
    pager->setCenterPageIndex(2);
    pager->layoutIfNeeded();
    EXPECT_EQ(pager->subviews()->count(), 3u);
    EXPECT_EQ(pager->pageAtIndex(0), nullptr);
    EXPECT_EQ(pager->pageAtIndex(3)->tag(), 3);
    EXPECT_GE(recorder->reused, 1);  // page 0's view came back as page 3
    recorder->made.clear();
    pager->setCenterPageIndex(4);  // two pages away: everything reloads
    pager->layoutIfNeeded();
    EXPECT_EQ(recorder->made, (std::vector<NSInteger>{4, 3}));
    EXPECT_TRUE(recorder->saw("moved 4"));
    EXPECT_EQ(pager->centerPage()->tag(), 4);
    EXPECT_EQ(pager->subviews()->count(), 2u);
}

TEST_F(DZScrollViews, FitsPagesAndTurnsThemInLandscape) {
    recorder->sizes = {CGSizeMake(100, 100), CGSizeMake(300, 200), CGSizeMake(200, 300),
                       CGSizeZero};
    pager->reloadData();
    CGRect square = pager->frameOfPageAtIndex(0);
    EXPECT_EQ(square.size.width, 320);
    EXPECT_EQ(square.origin.y, 80);
    EXPECT_FLOAT_EQ(pager->frameOfPageAtIndex(1).size.height, 320 * 2.0f / 3);
    EXPECT_EQ(pager->frameOfPageAtIndex(3).size.height, 480);

    pager->setOrientation(UIInterfaceOrientationLandscapeRight, false);
    EXPECT_TRUE(CGRectEqualToRect(pager->frameOfPageAtIndex(0), CGRectMake(0, 80, 320, 320)));
    EXPECT_TRUE(CGRectEqualToRect(pager->frameOfPageAtIndex(1), CGRectMake(0, 0, 320, 480)));
    pager->layoutIfNeeded();
    auto page = pager->centerPage();
    CGRect f = page->frame();
    EXPECT_NEAR(f.origin.y, 80, 1e-3);
    EXPECT_NEAR(f.size.width, 320, 1e-3);
    pager->setCenterPageIndex(1);
    pager->layoutIfNeeded();
    page = pager->centerPage();
    EXPECT_NEAR(page->frame().size.height, 480, 1e-3);
    EXPECT_EQ(page->bounds().size.width, 480);  // shown 480 wide once turned
    EXPECT_EQ(page->bounds().size.height, 320);
    // The neighbours lie along the turned page's width: the view's height.
    EXPECT_NEAR(pager->pageAtIndex(2)->frame().origin.y,
                480 + 40 + pager->frameOfPageAtIndex(2).origin.y, 1e-3);
}

TEST_F(DZScrollViews, FlippedOrientationsRunPagesTheOtherWay) {
    pager->setOrientation(UIInterfaceOrientationLandscapeLeft, false);
    startAt(2);
    // In landscape the page's width runs down the view: a finger moving down drags "right".
    drag(CGPointMake(160, 100), 0, 61);
    advanceRunLoop(0.5);
    EXPECT_EQ(pager->centerPageIndex(), 3);
    pager->setOrientation(UIInterfaceOrientationPortraitUpsideDown, false);
    startAt(2);
    drag(CGPointMake(100, 200), 61, 0);
    advanceRunLoop(0.5);
    EXPECT_EQ(pager->centerPageIndex(), 3);
    pager->layoutIfNeeded();
    // The previous page now lies to the right.
    EXPECT_GT(pager->pageAtIndex(2)->frame().origin.x, 300);
}

}  // namespace

TEST_F(DZScrollViews, ALongSwipeSettlesWithTheNewPageCentred) {
    startAt(1);
    // Two hundred points in five moves at one instant, as a quick swipe gives them.
    drag(CGPointMake(260, 200), -200, 0, 5);
    advanceRunLoop(0.5);
    pager->layoutIfNeeded();
    EXPECT_EQ(pager->centerPageIndex(), 2);
    EXPECT_FLOAT_EQ(pager->pageEdges().left, 0);
    EXPECT_FLOAT_EQ(pager->pageEdges().right, 0);
    EXPECT_FLOAT_EQ(pager->centerPage()->frame().origin.x, 0);
    EXPECT_FLOAT_EQ(pager->pageAtIndex(3)->frame().origin.x, 360);
    EXPECT_TRUE(recorder->saw("settled"));
}
