// The progress bar's drawing, probed by pixel, the action view's panel, and the transition names.
#include "ads/meridian/MRProgress.h"

#include "Foundation/Clock.h"
#include "Foundation/NSString.h"
#include "UIKit/UIColor.h"
#include "UIKit/UILabel.h"
#include "ads/meridian/MRActionView.h"
#include "ads/meridian/MRBasicAd.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"

namespace {

Ref<UIImage> drawn(MRProgress* bar) {
    auto size = bar->bounds().size;
    return paintedImage(size, 1, [&] { bar->drawRect(bar->bounds()); });
}

TEST(MRProgressTest, TheBarFillsItsTrackByTheValue) {
    auto bar = make<MRProgress>(&MRProgress::initWithFrame, CGRectMake(0, 0, 160, 40));
    bar->setProgressColor(UIColor::redColor().get());
    bar->setProgressRemainingColor(UIColor::blueColor().get());
    bar->setLineColor(UIColor::greenColor().get());
    EXPECT_TRUE(bar->needsDisplay());

    // Nothing done: only the track, translucent above the middle line, opaque below it.
    auto empty = drawn(bar.get());
    EXPECT_TRUE(near(pixelAt(empty.get(), 80, 30), kBlue));
    EXPECT_TRUE(near(pixelAt(empty.get(), 80, 10), RGBA{0, 0, 255, 179}, 3));
    EXPECT_TRUE(near(pixelAt(empty.get(), 80, 2), kGreen, 60));  // the outline
    EXPECT_TRUE(near(pixelAt(empty.get(), 0, 0), kClear));       // outside the pill

    bar->setCurrentValue(1);
    auto full = drawn(bar.get());
    EXPECT_TRUE(near(pixelAt(full.get(), 10, 30), kRed));
    EXPECT_TRUE(near(pixelAt(full.get(), 150, 30), kRed));
    EXPECT_TRUE(near(pixelAt(full.get(), 80, 10), RGBA{255, 0, 0, 255}, 60));

    bar->setCurrentValue(0.5);
    auto half = drawn(bar.get());
    EXPECT_TRUE(near(pixelAt(half.get(), 40, 30), kRed));
    EXPECT_TRUE(near(pixelAt(half.get(), 140, 30), kBlue));

    // A sliver: only the left end, cut where the value ends.
    bar->setCurrentValue(0.05);  // 8 points
    auto sliver = drawn(bar.get());
    EXPECT_TRUE(near(pixelAt(sliver.get(), 6, 20), kRed, 40));
    EXPECT_TRUE(near(pixelAt(sliver.get(), 12, 30), kBlue));
}

TEST(MRProgressTest, EveryPropertyAsksForARedraw) {
    auto bar = make<MRProgress>(&MRProgress::initWithFrame, CGRectMake(0, 0, 160, 40));
    EXPECT_FLOAT_EQ(bar->maxValue(), 1);
    for (auto change : std::vector<std::function<void()>>{
             [&] { bar->setMinValue(0.1f); }, [&] { bar->setMaxValue(2); },
             [&] { bar->setCurrentValue(0.3f); },
             [&] { bar->setLineColor(UIColor::redColor().get()); },
             [&] { bar->setProgressColor(UIColor::redColor().get()); },
             [&] { bar->setProgressRemainingColor(UIColor::redColor().get()); },
             [&] { bar->setNewRect(CGRectMake(0, 0, 100, 30)); }}) {
        bar->displayIfNeeded();
        EXPECT_FALSE(bar->needsDisplay());
        change();
        EXPECT_TRUE(bar->needsDisplay());
    }
    EXPECT_TRUE(CGRectEqualToRect(bar->frame(), CGRectMake(0, 0, 100, 30)));
}

TEST(MRActionViewTest, OnePanelIsOnShowAtATime) {
    ManualClockScope clock;
    auto host = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    auto first = MRActionView::errorViewForView(host.get(), NS("Loading"));
    EXPECT_EQ(first->superview(), host);
    EXPECT_EQ(text(first->textLabel()->text().get()), "Loading");
    EXPECT_FALSE(first->isUserInteractionEnabled());
    EXPECT_EQ(first->progress()->superview(), first);
    auto second = MRActionView::errorViewForView(host.get(), NS("Failed"));
    EXPECT_EQ(first->superview(), nullptr);
    EXPECT_EQ(MRActionView::viewOnShow(), second);
    second->layoutSubviews();
    EXPECT_TRUE(CGPointEqualToPoint(second->center(), CGPointMake(160, 240)));
    EXPECT_TRUE(CGRectEqualToRect(second->textLabel()->frame(), CGRectMake(20, 87, 160, 60)));
    second->removeView();
    EXPECT_EQ(second->superview(), host);  // fading out
    advanceRunLoop(0.5);
    EXPECT_EQ(second->superview(), nullptr);
    EXPECT_EQ(MRActionView::viewOnShow(), nullptr);
}

TEST(MRBasicAdTest, TransitionNamesAndTheBaseDefaults) {
    EXPECT_EQ(MRBasicAd::transitionFromHeader(NS("SlideLeft")), 0);
    EXPECT_EQ(MRBasicAd::transitionFromHeader(NS("CurlDown")), 4);
    EXPECT_EQ(MRBasicAd::transitionFromHeader(NS("CurlUp")), 3);
    EXPECT_EQ(MRBasicAd::transitionFromHeader(NS("FlipRight")), 2);
    EXPECT_EQ(MRBasicAd::transitionFromHeader(NS("FlipLeft")), 1);
    EXPECT_EQ(MRBasicAd::transitionFromHeader(NS("Spin")), 0);
    auto ad = make<MRBasicAd>();
    EXPECT_EQ(text(ad->overlayTitle().get()), "Advertisement.");
    EXPECT_TRUE(ad->showTitlebar());
    EXPECT_TRUE(ad->showBottomBar());
    EXPECT_FALSE(ad->shouldShowModal());
    EXPECT_EQ(ad->titlebarColor(), nullptr);
    EXPECT_DOUBLE_EQ(ad->transitionDuration(), 0);
}

}  // namespace
