#include <gtest/gtest.h>

#include "Foundation/Clock.h"
#include "Foundation/NSTimer.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIProgressView.h"
#include "UIKit/UIViewRendering.h"
#include "support/RunLoopTesting.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/DZView.h"
#include "ui/core/DodizTesting.h"
#include "ui/style/DZActivityLabel.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/style/StyleTesting.h"

namespace {

// The test font: "Loading..." in 17 points is 10 × 8.5 = 85 wide and 21 high (1.2 em rounded
// up); the font's line height for sizing is 0.8 + 0.2 em + 1 = 18.
class ActivityLabels : public ::testing::Test {
protected:
    Ref<DZActivityLabel> label(DZActivityLabelStyle style, const char* text,
                               CGRect frame = CGRectMake(0, 0, 320, 480)) {
        auto l = alloc<DZActivityLabel>();
        l->initWithFrame(frame, style, text ? NSString::stringWithUTF8String(text).get() : nullptr);
        return l;
    }
    static std::string frameOf(UIView* v) { return rectText(v->frame()); }
    ManualClockScope clock;
};

TEST_F(ActivityLabels, TheStylesTable) {
    auto sheet = as<DZDefaultStyleSheet>(DZStyleSheet::globalStyleSheet());
    ASSERT_NE(sheet.get(), nullptr);
    struct Row {
        DZActivityLabelStyle style;
        UIActivityIndicatorViewStyle indicator;
        CGFloat fontSize;
        bool whiteText, shadow, bezelStyle;
    };
    const Row rows[] = {
        {DZActivityLabelStyleWhite, UIActivityIndicatorViewStyleWhite, 17, true, false, false},
        {DZActivityLabelStyleGray, UIActivityIndicatorViewStyleGray, 17, false, false, false},
        {DZActivityLabelStyleBlackBox, UIActivityIndicatorViewStyleWhiteLarge, 17, true, true,
         false},
        {DZActivityLabelStyleBlackBezel, UIActivityIndicatorViewStyleWhiteLarge, 17, true, true,
         true},
        {DZActivityLabelStyleBlackBanner, UIActivityIndicatorViewStyleWhite, 11, true, true, true},
        {DZActivityLabelStyleWhiteBezel, UIActivityIndicatorViewStyleGray, 17, false, false, true},
        {DZActivityLabelStyleWhiteBox, UIActivityIndicatorViewStyleGray, 17, false, false, false},
    };
    auto gray = sheet->tableActivityTextColor();
    for (const Row& row : rows) {
        SCOPED_TRACE(int(row.style));
        auto l = label(row.style, "Loading...");
        EXPECT_EQ(l->style(), row.style);
        EXPECT_EQ(l->activityIndicator()->activityIndicatorViewStyle(), row.indicator);
        EXPECT_TRUE(l->isAnimating());
        EXPECT_EQ(l->font()->pointSize(), row.fontSize);
        EXPECT_TRUE(l->label()->textColor()->isEqual(row.whiteText ? UIColor::whiteColor().get()
                                                                   : gray.get()));
        EXPECT_EQ(l->label()->shadowColor() != nullptr, row.shadow);
        if (row.shadow) {
            EXPECT_TRUE(CGSizeEqualToSize(l->label()->shadowOffset(), CGSizeMake(1, 1)));
        }
        EXPECT_EQ(l->bezelView()->style() != nullptr, row.bezelStyle);
        EXPECT_EQ(l->label()->lineBreakMode(), UILineBreakModeTailTruncation);
        EXPECT_EQ(l->autoresizingMask(), NSUInteger(18));
        EXPECT_EQ(l->bezelView()->superview().get(), l.get());
        EXPECT_EQ(l->progressView().get(), nullptr);
        ASSERT_EQ(l->bezelView()->subviewList().size(), 2u);
        EXPECT_EQ(l->bezelView()->subviewList()[0].get(), l->activityIndicator().get());
        EXPECT_EQ(l->bezelView()->subviewList()[1].get(), l->label().get());
    }
    // The box style's dark background, the white one's, and the large indicators' frame.
    auto box = label(DZActivityLabelStyleBlackBox, nullptr);
    EXPECT_TRUE(box->backgroundColor()->isEqual(UIColor::colorWithWhite(0, 0.8f).get()));
    EXPECT_TRUE(label(DZActivityLabelStyleWhiteBox, nullptr)
                    ->backgroundColor()
                    ->isEqual(UIColor::whiteColor().get()));
    EXPECT_EQ(frameOf(box->activityIndicator()), rectText(CGRectMake(0, 0, 24, 24)));
    // The shorter initialisers.
    auto plain = make<DZActivityLabel>();
    EXPECT_EQ(plain->style(), DZActivityLabelStyleWhiteBox);
    EXPECT_EQ(plain->text().get(), nullptr);
    auto styled = alloc<DZActivityLabel>();
    styled->initWithStyle(DZActivityLabelStyleBlackBezel);
    EXPECT_EQ(styled->style(), DZActivityLabelStyleBlackBezel);
    EXPECT_TRUE(CGRectEqualToRect(styled->frame(), CGRectZero));
}

TEST_F(ActivityLabels, ABezelIsACentredBoxAroundItsContent) {
    auto l = label(DZActivityLabelStyleBlackBezel, "Loading...");
    l->layoutSubviews();
    // Content: indicator min(37, 21) = 21, + 6 + 85 = 112 by 21; the box 30 more each way.
    EXPECT_EQ(frameOf(l->bezelView()), rectText(CGRectMake(89, 214, 142, 51)));
    EXPECT_EQ(frameOf(l->label()), rectText(CGRectMake(42, 15, 85, 21)));
    EXPECT_EQ(frameOf(l->activityIndicator()), rectText(CGRectMake(15, 15, 21, 21)));
    // Sized for one line of the font and the padding.
    EXPECT_TRUE(CGSizeEqualToSize(l->sizeThatFits(CGSizeMake(200, 0)), CGSizeMake(200, 48)));
    EXPECT_TRUE(CGSizeEqualToSize(label(DZActivityLabelStyleGray, "x")->sizeThatFits(CGSizeZero),
                                  CGSizeMake(0, 34)));

    // A text too long for the screen: the box stops at 320 - 2 × 10 and the text is cut.
    auto text = std::string(40, 'x');
    auto wide = label(DZActivityLabelStyleBlackBezel, text.c_str());
    wide->layoutSubviews();
    EXPECT_EQ(frameOf(wide->bezelView()), rectText(CGRectMake(10, 214, 300, 51)));
    EXPECT_EQ(frameOf(wide->label()), rectText(CGRectMake(40, 15, 243, 21)));
    auto lines = wide->label()->visibleLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_LT(lines[0].text.size(), text.size());

    // A stopped indicator takes no room.
    l->setIsAnimating(false);
    EXPECT_FALSE(l->isAnimating());
    l->layoutSubviews();
    EXPECT_EQ(frameOf(l->bezelView()), rectText(CGRectMake(99, 214, 121, 51)));
    EXPECT_EQ(frameOf(l->label()), rectText(CGRectMake(21, 15, 85, 21)));
    EXPECT_EQ(l->activityIndicator()->frame().size.width, 0);
}

TEST_F(ActivityLabels, BandsFillTheViewAndTheBarSitsAboveTheText) {
    auto l = label(DZActivityLabelStyleGray, "Loading...", CGRectMake(0, 0, 300, 40));
    l->layoutSubviews();
    EXPECT_EQ(frameOf(l->bezelView()), rectText(CGRectMake(0, 0, 300, 40)));
    // Padding 8: y = 8 + floor(24 / 2 - 21 / 2) = 9; the small indicator (20) + 6 + 85 is
    // centred.
    EXPECT_EQ(frameOf(l->label()), rectText(CGRectMake(120, 9, 85, 21)));
    EXPECT_EQ(frameOf(l->activityIndicator()), rectText(CGRectMake(94, 9, 20, 20)));

    // The first progress adds the bar and grows the fitting size by its 9 + 6.
    CGFloat before = l->sizeThatFits(CGSizeMake(300, 0)).height;
    l->setProgress(0.4f);
    ASSERT_NE(l->progressView().get(), nullptr);
    EXPECT_EQ(l->progressView()->superview().get(), l->bezelView().get());
    EXPECT_FLOAT_EQ(l->progressView()->progress(), 0.4f);
    EXPECT_TRUE(l->needsLayout());
    EXPECT_EQ(l->sizeThatFits(CGSizeMake(300, 0)).height, before + 15);
    l->layoutSubviews();
    // Content 21 + 9 + 6 = 36 high: y = 8 + floor(12 - 18) = 2, the bar there, the text 14 lower.
    EXPECT_EQ(frameOf(l->progressView()), rectText(CGRectMake(6, 2, 288, 9)));
    EXPECT_EQ(frameOf(l->label()), rectText(CGRectMake(120, 16, 85, 21)));

    // The banner (bold 11: 14 high, so content 29) moves the bar 4 further down:
    // 8 + floor(12 - 14.5) + 4.
    auto banner = label(DZActivityLabelStyleBlackBanner, "Loading...", CGRectMake(0, 0, 300, 40));
    banner->setProgress(0.1f);
    banner->layoutSubviews();
    EXPECT_EQ(banner->progressView()->frame().origin.y, 9);
}

TEST_F(ActivityLabels, SmoothingCreepsOnTheClock) {
    auto l = label(DZActivityLabelStyleBlackBezel, "Loading...");
    l->setSmoothesProgress(true);
    l->setProgress(0.05f);
    EXPECT_EQ(l->progressView()->progress(), 0);
    ASSERT_NE(l->smoothTimer().get(), nullptr);
    advanceRunLoop(0.025);
    EXPECT_NEAR(l->progressView()->progress(), 0.02f, 1e-4);
    advanceRunLoop(0.1);
    EXPECT_GE(l->progressView()->progress(), 0.05f - 1e-4);
    EXPECT_LE(l->progressView()->progress(), 0.06f + 1e-4);
    EXPECT_EQ(l->smoothTimer().get(), nullptr);

    // Lowering the goal while it runs stops the timer at the next tick; the bar stays.
    l->setProgress(0.5f);
    advanceRunLoop(0.055);
    float reached = l->progressView()->progress();
    EXPECT_GT(reached, 0.09f);
    l->setProgress(0.01f);
    advanceRunLoop(0.01);
    EXPECT_EQ(l->smoothTimer().get(), nullptr);
    EXPECT_EQ(l->progressView()->progress(), reached);
    // Without smoothing the bar follows at once, down too.
    l->setSmoothesProgress(false);
    l->setProgress(0.01f);
    EXPECT_FLOAT_EQ(l->progressView()->progress(), 0.01f);

    // A goal above 1 ends with the bar full instead of ticking for ever.
    l->setSmoothesProgress(true);
    l->setProgress(1.5f);
    advanceRunLoop(1.2);
    EXPECT_EQ(l->smoothTimer().get(), nullptr);
    EXPECT_FLOAT_EQ(l->progressView()->progress(), 1);
    EXPECT_FLOAT_EQ(l->progress(), 1.5f);
}

TEST_F(ActivityLabels, ARunningTimerEndsWithTheLabel) {
    Weak<NSTimer> timer;
    Weak<DZActivityLabel> gone;
    {
        auto l = label(DZActivityLabelStyleGray, "x");
        l->setSmoothesProgress(true);
        l->setProgress(2);
        timer = l->smoothTimer();
        gone = l;
        advanceRunLoop(0.05);
        l->setProgress(0);  // the goal is reached at the next tick: the timer lets go
        advanceRunLoop(0.01);
    }
    EXPECT_FALSE(gone.alive());
    auto left = timer.lock();
    EXPECT_TRUE(!left || !left->isValid());
}

TEST_F(ActivityLabels, TheBezelIsDrawnRoundedAndDark) {
    auto l = label(DZActivityLabelStyleBlackBezel, "Loading...", CGRectMake(0, 0, 200, 100));
    l->layoutSubviews();
    auto picture = UIViewRenderImage(l, 2);
    ASSERT_NE(picture.get(), nullptr);
    CGRect bezel = l->bezelView()->frame();
    // Inside: black at 0.7 over nothing; the rounded corner leaves the very corner clear.
    EXPECT_TRUE(near(at(picture, bezel.origin.x + 4, bezel.origin.y + 25), RGBA{0, 0, 0, 178}, 3));
    EXPECT_TRUE(near(at(picture, bezel.origin.x + 0.5f, bezel.origin.y + 0.5f), kClear));
    EXPECT_TRUE(near(at(picture, bezel.origin.x - 2, bezel.origin.y + 25), kClear));
}

}  // namespace
