#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "UIKit/UIScrollView.h"
#include "support/RunLoopTesting.h"

namespace {
class ScrollRecorder : public NSObject, public UIScrollViewDelegate {
    NS_OBJECT(ScrollRecorder, NSObject)
    std::vector<std::string> log;
    // Like a pull-to-refresh header: pulled far enough, the inset keeps the header in view.
    bool holdHeader = false;
    Ref<UIView> zoomView;
    std::string at(UIScrollView* s) {
        return "(" + std::to_string(static_cast<int>(s->contentOffset().y)) + ")";
    }
    void scrollViewDidScroll(UIScrollView* s) override { log.push_back("scroll" + at(s)); }
    void scrollViewWillBeginDragging(UIScrollView* s) override {
        log.push_back("willDrag" + at(s));
    }
    void scrollViewDidEndDraggingWillDecelerate(UIScrollView* s, bool decelerate) override {
        log.push_back(std::string("endDrag") + (decelerate ? "+decel" : "") + at(s));
        if (holdHeader && s->contentOffset().y <= -65)
            s->setContentInset(UIEdgeInsetsMake(60, 0, 0, 0));
    }
    void scrollViewWillBeginDecelerating(UIScrollView* s) override {
        log.push_back("willDecel" + at(s));
    }
    void scrollViewDidEndDecelerating(UIScrollView* s) override {
        log.push_back("endDecel" + at(s));
    }
    void scrollViewDidEndScrollingAnimation(UIScrollView* s) override {
        log.push_back("endAnimation" + at(s));
    }
    Ref<UIView> viewForZoomingInScrollView(UIScrollView*) override { return zoomView; }
    void scrollViewDidZoom(UIScrollView*) override { log.push_back("zoom"); }
};

struct Fixture {
    Ref<UIScrollView> scroll =
        make<UIScrollView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 400));
    Ref<ScrollRecorder> recorder = make<ScrollRecorder>();
    Fixture() {
        scroll->setContentSize(CGSizeMake(320, 1000));
        scroll->setDelegate(recorder);
    }
};
}  // namespace

TEST(UIScrollView, OffsetIsTheBoundsOriginAndRangeFollowsInsets) {
    Fixture f;
    f.scroll->setContentOffset(CGPointMake(0, 120));
    EXPECT_FLOAT_EQ(f.scroll->bounds().origin.y, 120);
    f.scroll->setContentOffset(CGPointMake(0, 120));  // no move, no callback
    EXPECT_EQ(f.recorder->log, (std::vector<std::string>{"scroll(120)"}));
    EXPECT_FLOAT_EQ(f.scroll->maximumContentOffset().y, 600);
    f.scroll->setContentInset(UIEdgeInsetsMake(10, 0, 50, 0));
    EXPECT_FLOAT_EQ(f.scroll->minimumContentOffset().y, -10);
    EXPECT_FLOAT_EQ(f.scroll->maximumContentOffset().y, 650);
    // Content smaller than the view rests at the top.
    f.scroll->setContentSize(CGSizeMake(320, 100));
    EXPECT_FLOAT_EQ(f.scroll->maximumContentOffset().y, -10);
}

TEST(UIScrollView, DragPastTheEndBouncesBackThroughDeceleration) {
    Fixture f;
    f.scroll->setContentOffset(CGPointMake(0, 550));
    f.recorder->log.clear();
    f.scroll->dragBy(CGPointMake(0, 100), false);
    EXPECT_EQ(f.recorder->log,
              (std::vector<std::string>{"willDrag(550)", "scroll(650)", "endDrag+decel(650)",
                                        "willDecel(650)", "scroll(600)", "endDecel(600)"}));
    EXPECT_FALSE(f.scroll->isDragging());
    f.recorder->log.clear();
    f.scroll->dragBy(CGPointMake(0, -100), false);  // inside the range: no deceleration
    EXPECT_EQ(f.recorder->log,
              (std::vector<std::string>{"willDrag(600)", "scroll(500)", "endDrag(500)"}));
    f.scroll->setBounces(false);
    f.scroll->dragBy(CGPointMake(0, -900), false);
    EXPECT_FLOAT_EQ(f.scroll->contentOffset().y, 0);
}

TEST(UIScrollView, PullDownHoldsWhereTheDelegatesInsetSays) {
    Fixture f;
    f.recorder->holdHeader = true;
    f.scroll->dragBy(CGPointMake(0, -80), false);
    EXPECT_FLOAT_EQ(f.scroll->contentOffset().y, -60);
    EXPECT_EQ(f.recorder->log.back(), "endDecel(-60)");
    // The refresh over, the inset goes back to zero and the header closes with it.
    f.scroll->setContentInset(UIEdgeInsetsZero);
    EXPECT_FLOAT_EQ(f.scroll->contentOffset().y, 0);
    EXPECT_EQ(f.recorder->log.back(), "scroll(0)");
    // Scrolled down, a smaller inset leaves the content where it is.
    f.scroll->setContentOffset(CGPointMake(0, 300));
    f.scroll->setContentInset(UIEdgeInsetsMake(20, 0, 0, 0));
    f.scroll->setContentInset(UIEdgeInsetsZero);
    EXPECT_FLOAT_EQ(f.scroll->contentOffset().y, 300);
}

TEST(UIScrollView, PagingAndAnimatedScrollsFinishOnTheClock) {
    ManualClockScope clock;
    Fixture f;
    f.scroll->setPagingEnabled(true);
    f.scroll->dragBy(CGPointMake(0, 250), true);
    EXPECT_FLOAT_EQ(f.scroll->contentOffset().y, 400);  // the nearest page
    f.recorder->log.clear();
    f.scroll->setContentOffset(CGPointMake(0, 0), true);
    EXPECT_EQ(f.recorder->log, (std::vector<std::string>{"scroll(0)"}));
    advanceRunLoop(0.2);
    EXPECT_EQ(f.recorder->log.size(), 1u);
    advanceRunLoop(0.2);
    EXPECT_EQ(f.recorder->log.back(), "endAnimation(0)");
}

TEST(UIScrollView, ScrollRectToVisibleMovesTheLeastAndZoomScalesContent) {
    Fixture f;
    f.scroll->scrollRectToVisible(CGRectMake(0, 500, 10, 20), false);
    EXPECT_FLOAT_EQ(f.scroll->contentOffset().y, 120);  // its bottom meets the view's bottom
    f.scroll->scrollRectToVisible(CGRectMake(0, 200, 10, 20), false);
    EXPECT_FLOAT_EQ(f.scroll->contentOffset().y, 120);  // already visible
    f.scroll->scrollRectToVisible(CGRectMake(0, 2000, 10, 20), false);
    EXPECT_FLOAT_EQ(f.scroll->contentOffset().y, 600);  // never past the end
    auto image = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 200, 100));
    f.scroll->addSubview(image);
    f.recorder->zoomView = image;
    f.scroll->setMaximumZoomScale(3);
    f.scroll->setZoomScale(5);
    EXPECT_FLOAT_EQ(f.scroll->zoomScale(), 3);
    EXPECT_FLOAT_EQ(f.scroll->contentSize().width, 600);
    EXPECT_FLOAT_EQ(image->frame().size.height, 300);
    EXPECT_FLOAT_EQ(image->frame().origin.x, 0);
}
