#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIViewRendering.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/DodizTesting.h"
#include "ui/style/DZButton.h"
#include "ui/style/DZButtonBar.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/style/DZErrorView.h"
#include "ui/style/DZLabel.h"
#include "ui/style/DZLink.h"
#include "ui/style/DZPageControl.h"
#include "ui/style/DZTextStyle.h"
#include "ui/style/StyleTesting.h"

namespace {

// Counts the actions a control sends it.
class ActionCounter : public NSObject {
    NS_OBJECT(ActionCounter, NSObject)
    static void describeClass(RuntimeClass& c) { c.method("hit", &ActionCounter::hit); }

public:
    void hit() { ++hits; }
    int hits = 0;
};

// Writes down the URLs the navigator is asked to open, and opens none.
class RefusingNavigatorDelegate : public NSObject, public DZNavigatorDelegate {
    NS_OBJECT(RefusingNavigatorDelegate, NSObject)
    static void describeClass(RuntimeClass& c) { c.implements({"navigator:shouldOpenURL:"}); }

public:
    bool navigatorShouldOpenURL(DZBaseNavigator*, NSURL* url) override {
        asked.push_back(url->absoluteString()->utf8());
        return false;
    }
    std::vector<std::string> asked;
};

// Hears the touches that reach it up the responder chain.
class TouchSink : public UIView {
    NS_OBJECT(TouchSink, UIView)

public:
    void touchesBegan(NSSet*, UIEvent*) override { ++touches; }
    int touches = 0;
};

class Widgets : public ::testing::Test {
protected:
    // A touch that begins and ends at the point (in the control's coordinates).
    static void tapAt(UIControl* control, CGPoint point) {
        auto touch = UITouch::touchInWindow(nullptr, point, control);
        auto event = UIEvent::touchEvent({touch});
        touch->setPhase(UITouchPhaseBegan);
        control->touchesBegan(event->allTouches(), event);
        touch->setPhase(UITouchPhaseEnded);
        control->touchesEnded(event->allTouches(), event);
    }
};

// ---- label --------------------------------------------------------------------------------

TEST_F(Widgets, ALabelDrawsAndSizesThroughItsStyle) {
    auto label = make<DZLabel>(&DZLabel::initWithText, NS("Hello"));
    EXPECT_TRUE(label->text()->isEqualToString(NS("Hello")));
    // Without a style: no size.
    EXPECT_TRUE(CGSizeEqualToSize(label->sizeThatFits(CGSizeMake(100, 100)), CGSizeZero));
    // The sheet's font, kept once read.
    auto font = label->font();
    EXPECT_EQ(font->pointSize(), 14);
    EXPECT_EQ(label->font().get(), font.get());

    label->setStyle(DZTextStyle::styleWithColor(UIColor::blackColor(), nullptr));
    // "Hello" in the 14-point test font: 5 × 7 by 17.
    EXPECT_TRUE(CGSizeEqualToSize(label->sizeThatFits(CGSizeZero), CGSizeMake(35, 17)));
    label->setFont(UIFont::systemFontOfSize(20));
    EXPECT_TRUE(CGSizeEqualToSize(label->sizeThatFits(CGSizeZero), CGSizeMake(50, 24)));

    label->setFrame(CGRectMake(0, 0, 80, 30));
    auto painter = std::make_shared<RecordingTextPainter>();
    UITextPainterInstall(painter);
    paintedImage(CGSizeMake(80, 30), 1, [&] { label->drawRect(label->bounds()); });
    label->setText(NS("Bye"));
    paintedImage(CGSizeMake(80, 30), 1, [&] { label->drawRect(label->bounds()); });
    UITextPainterInstall(nullptr);
    ASSERT_EQ(painter->calls.size(), 2u);
    EXPECT_EQ(painter->calls[0].text, u"Hello");
    EXPECT_EQ(painter->calls[0].fontSize, 20);
    EXPECT_EQ(painter->calls[1].text, u"Bye");
}

TEST_F(Widgets, ALabelRedisplaysOnlyOnChangeAndIsStaticText) {
    auto label = make<DZLabel>(&DZLabel::initWithText, NS("Price"));
    label->displayIfNeeded();
    label->setText(NSString::stringWithUTF8String("Price"));
    EXPECT_FALSE(label->needsDisplay());
    label->setText(NS("Cost"));
    EXPECT_TRUE(label->needsDisplay());
    label->displayIfNeeded();
    auto font = UIFont::systemFontOfSize(9);
    label->setFont(font);
    EXPECT_TRUE(label->needsDisplay());
    label->displayIfNeeded();
    label->setFont(font);
    EXPECT_FALSE(label->needsDisplay());

    EXPECT_TRUE(label->accessibilityLabel()->isEqualToString(NS("Cost")));
    label->setAccessibilityTraits(UIAccessibilityTraitSelected);
    EXPECT_EQ(label->accessibilityTraits(),
              UIAccessibilityTraitSelected | UIAccessibilityTraitStaticText);
    auto empty = make<DZLabel>();
    EXPECT_EQ(empty->text().get(), nullptr);
    EXPECT_EQ(empty->accessibilityLabel().get(), nullptr);
}

// ---- error view ---------------------------------------------------------------------------

TEST_F(Widgets, AnErrorViewCentresImageTitleAndSubtitle) {
    auto image = UIImage::imageWithSize(CGSizeMake(40, 40), 1);
    auto error =
        make<DZErrorView>(&DZErrorView::initWithTitle, NS("Nothing here"), NS("Try again"), image);
    auto sheet = as<DZDefaultStyleSheet>(DZStyleSheet::globalStyleSheet());
    EXPECT_EQ(error->imageView()->contentMode(), UIViewContentModeCenter);
    EXPECT_EQ(error->titleView()->font()->pointSize(), sheet->errorTitleFont()->pointSize());
    EXPECT_EQ(error->subtitleView()->font()->pointSize(), sheet->errorSubtitleFont()->pointSize());
    EXPECT_TRUE(error->titleView()->textColor()->isEqual(sheet->tableErrorTextColor()));
    EXPECT_EQ(error->titleView()->textAlignment(), UITextAlignmentCenter);
    EXPECT_EQ(error->subtitleView()->numberOfLines(), 0);
    EXPECT_TRUE(error->title()->isEqualToString(NS("Nothing here")));
    EXPECT_TRUE(error->subtitle()->isEqualToString(NS("Try again")));
    EXPECT_EQ(error->image().get(), image.get());

    // Bold 18 and bold 12: "Nothing here" 104 (103.5 rounded up) by 22, "Try again" 51 by 15. Total
    // 40 + 30 + 22 + 20 + 15 = 127, from floor(240 - 63.5) = 176.
    error->setFrame(CGRectMake(0, 0, 320, 480));
    error->layoutSubviews();
    EXPECT_FALSE(error->imageView()->isHidden());
    EXPECT_EQ(rectText(error->imageView()->frame()), rectText(CGRectMake(140, 176, 40, 40)));
    EXPECT_EQ(rectText(error->titleView()->frame()), rectText(CGRectMake(108, 246, 104, 22)));
    EXPECT_EQ(rectText(error->subtitleView()->frame()), rectText(CGRectMake(134, 288, 51, 15)));

    // Too short for all three with their gaps: the texts alone, centred.
    error->setFrame(CGRectMake(0, 0, 320, 126));
    error->layoutSubviews();
    EXPECT_TRUE(error->imageView()->isHidden());
    EXPECT_EQ(error->titleView()->frame().origin.y, std::floor(63 - 57 / 2.0f));
    EXPECT_EQ(error->subtitleView()->frame().origin.y, std::floor(63 - 57 / 2.0f) + 42);

    // No title: the subtitle follows the image 20 lower, not 30.
    error->setFrame(CGRectMake(0, 0, 320, 480));
    error->setTitle(nullptr);
    error->layoutSubviews();
    EXPECT_FALSE(error->imageView()->isHidden());
    CGFloat top = std::floor(240 - (40 + 20 + 15) / 2.0f);
    EXPECT_EQ(error->imageView()->frame().origin.y, top);
    EXPECT_EQ(error->subtitleView()->frame().origin.y, top + 40 + 30);
}

// ---- page control -------------------------------------------------------------------------

TEST_F(Widgets, PageControlsCountClampAndMeasure) {
    auto dots = make<DZPageControl>();
    EXPECT_TRUE(dots->dotStyle()->isEqualToString(NS("pageDot:")));
    EXPECT_FALSE(dots->hidesForSinglePage());
    EXPECT_EQ(dots->contentMode(), UIViewContentModeRedraw);
    EXPECT_TRUE(dots->backgroundColor()->isEqual(UIColor::clearColor()));

    // The sheet's dot: 6 by 6 with a right margin of 10. No pages measure nothing.
    dots->setNumberOfPages(-3);
    EXPECT_EQ(dots->numberOfPages(), 0);
    EXPECT_TRUE(CGSizeEqualToSize(dots->sizeThatFits(CGSizeZero), CGSizeMake(0, 6)));
    dots->setCurrentPage(2);
    EXPECT_EQ(dots->currentPage(), 0);
    dots->setNumberOfPages(3);
    EXPECT_TRUE(CGSizeEqualToSize(dots->sizeThatFits(CGSizeZero), CGSizeMake(38, 6)));
    dots->setCurrentPage(7);
    EXPECT_EQ(dots->currentPage(), 2);
    dots->setCurrentPage(-1);
    EXPECT_EQ(dots->currentPage(), 0);

    // A new style name drops the kept styles; the same name keeps them.
    auto normal = dots->normalDotStyle();
    ASSERT_NE(normal.get(), nullptr);
    EXPECT_EQ(dots->normalDotStyle().get(), normal.get());
    EXPECT_NE(dots->currentDotStyle().get(), normal.get());
    dots->setDotStyle(NSString::stringWithUTF8String("pageDot:"));
    EXPECT_EQ(dots->normalDotStyle().get(), normal.get());
    dots->setDotStyle(NS("launcherPageDot:"));
    EXPECT_NE(dots->normalDotStyle().get(), normal.get());
    dots->setDotStyle(NS("noSuchDot:"));
    EXPECT_TRUE(CGSizeEqualToSize(dots->sizeThatFits(CGSizeZero), CGSizeZero));
}

TEST_F(Widgets, TappingAPageControlStepsAndAlwaysReportsAChange) {
    auto dots = make<DZPageControl>(&DZPageControl::initWithFrame, CGRectMake(0, 0, 100, 20));
    dots->setNumberOfPages(3);
    auto counter = make<ActionCounter>();
    dots->addTarget(counter, Selector::named("hit"), UIControlEventValueChanged);
    tapAt(dots, CGPointMake(70, 10));
    EXPECT_EQ(dots->currentPage(), 1);
    tapAt(dots, CGPointMake(50, 10));  // the middle counts as the right half
    EXPECT_EQ(dots->currentPage(), 2);
    tapAt(dots, CGPointMake(90, 10));  // the last page stays, the change is still sent
    EXPECT_EQ(dots->currentPage(), 2);
    EXPECT_EQ(counter->hits, 3);
    tapAt(dots, CGPointMake(10, 10));
    EXPECT_EQ(dots->currentPage(), 1);
    EXPECT_EQ(counter->hits, 4);
    // A touch that ends outside changes nothing.
    tapAt(dots, CGPointMake(150, 10));
    EXPECT_EQ(dots->currentPage(), 1);
    EXPECT_EQ(counter->hits, 4);
}

TEST_F(Widgets, PageDotsAreDrawnCentredWithTheCurrentOneSelected) {
    auto dots = make<DZPageControl>(&DZPageControl::initWithFrame, CGRectMake(0, 0, 100, 20));
    dots->setNumberOfPages(3);
    dots->setCurrentPage(1);
    // (6 + 10) × 3 = 48, less the last gap: from round(50 - 19) = 31, at round(10 - 3) = 7.
    auto picture = UIViewRenderImage(dots, 2);
    const RGBA gray{77, 77, 77, 255};
    EXPECT_TRUE(near(at(picture, 34, 10), gray));
    EXPECT_TRUE(near(at(picture, 50, 10), kWhite));
    EXPECT_TRUE(near(at(picture, 66, 10), gray));
    EXPECT_TRUE(near(at(picture, 42, 10), kClear));
    EXPECT_TRUE(near(at(picture, 34, 5), kClear));
    EXPECT_TRUE(near(at(picture, 29, 10), kClear));

    // One page: hidden when asked, else one dot in the middle. (The count alone leaves the
    // current page where it was.)
    dots->setNumberOfPages(1);
    EXPECT_EQ(dots->currentPage(), 1);
    EXPECT_TRUE(near(at(UIViewRenderImage(dots, 2), 50, 10), gray));
    dots->setCurrentPage(0);
    EXPECT_TRUE(near(at(UIViewRenderImage(dots, 2), 50, 10), kWhite));
    dots->setHidesForSinglePage(true);
    EXPECT_TRUE(near(at(UIViewRenderImage(dots, 2), 50, 10), kClear));
}

// ---- link ---------------------------------------------------------------------------------

TEST_F(Widgets, ALinkTakesTouchesOnlyWithAnAction) {
    DZBaseNavigator::setGlobalNavigator(nullptr);
    auto navigator = DZNavigator::navigator();
    auto observer = make<RefusingNavigatorDelegate>();
    navigator->setDelegate(observer);

    auto link = make<DZLink>(&DZLink::initWithFrame, CGRectMake(0, 0, 60, 20));
    EXPECT_FALSE(link->isUserInteractionEnabled());
    EXPECT_EQ(link->hitTest(CGPointMake(30, 10), nullptr).get(), nullptr);
    link->setURL(NS("bazaarnest://listing/7"));
    EXPECT_TRUE(link->isUserInteractionEnabled());
    EXPECT_TRUE(link->URL()->isEqualToString(NS("bazaarnest://listing/7")));
    EXPECT_TRUE(link->URLAction()->animated());
    EXPECT_EQ(link->hitTest(CGPointMake(30, 10), nullptr).get(), link.get());
    link->simulateTap();
    EXPECT_EQ(observer->asked, (std::vector<std::string>{"bazaarnest://listing/7"}));
    link->setURLAction(nullptr);
    EXPECT_FALSE(link->isUserInteractionEnabled());
    EXPECT_EQ(link->URL().get(), nullptr);
    DZBaseNavigator::setGlobalNavigator(nullptr);
}

TEST_F(Widgets, ALinkShowsItsHighlightWhileTouched) {
    auto link = make<DZLink>(&DZLink::initWithFrame, CGRectMake(0, 0, 60, 20));
    link->setURL(NS("bazaarnest://a"));
    EXPECT_EQ(link->screenView().get(), nullptr);
    link->setHighlighted(true);
    auto screen = link->screenView();
    ASSERT_NE(screen.get(), nullptr);
    EXPECT_EQ(screen->superview().get(), link.get());
    EXPECT_FALSE(screen->isHidden());
    EXPECT_FALSE(screen->isUserInteractionEnabled());
    EXPECT_EQ(rectText(screen->frame()), rectText(CGRectMake(0, 0, 60, 20)));
    // Black at 0.25 in a rectangle rounded by 4.5.
    auto picture = UIViewRenderImage(link, 2);
    EXPECT_TRUE(near(at(picture, 30, 10), RGBA{0, 0, 0, 64}, 2));
    EXPECT_TRUE(near(at(picture, 0.25f, 0.25f), kClear));

    link->setHighlighted(false);
    EXPECT_TRUE(screen->isHidden());
    EXPECT_TRUE(near(at(UIViewRenderImage(link, 2), 30, 10), kClear));
    // A new size is taken at the next highlight.
    link->setFrame(CGRectMake(0, 0, 80, 30));
    link->setHighlighted(true);
    EXPECT_EQ(link->screenView().get(), screen.get());
    EXPECT_EQ(rectText(screen->frame()), rectText(CGRectMake(0, 0, 80, 30)));

    // Dragging out of the link removes the highlight and ends the tracking.
    auto touch = UITouch::touchInWindow(nullptr, CGPointMake(200, 10), link);
    EXPECT_FALSE(link->continueTrackingWithTouch(touch, nullptr));
    EXPECT_FALSE(link->isHighlighted());
    EXPECT_TRUE(screen->isHidden());
    auto inside = UITouch::touchInWindow(nullptr, CGPointMake(10, 10), link);
    EXPECT_TRUE(link->continueTrackingWithTouch(inside, nullptr));
}

// ---- button bar ---------------------------------------------------------------------------

TEST_F(Widgets, AButtonBarCentresCappedButtons) {
    auto bar = make<DZButtonBar>(&DZButtonBar::initWithFrame, CGRectMake(0, 0, 320, 44));
    EXPECT_TRUE(bar->buttonStyle()->isEqualToString(NS("toolbarButton:")));
    auto counter = make<ActionCounter>();
    bar->addButton(NS("Save"), counter, Selector::named("hit"));
    bar->addButton(NS("Share"), counter, Selector::named("hit"));
    ASSERT_EQ(bar->buttons()->count(), 2u);
    auto first = as<DZButton>(bar->buttons()->objectAtIndex(0));
    auto second = as<DZButton>(bar->buttons()->objectAtIndex(1));
    EXPECT_TRUE(first->titleForState(UIControlStateNormal)->isEqualToString(NS("Save")));
    EXPECT_NE(first->styleForState(UIControlStateNormal).get(), nullptr);
    EXPECT_EQ(first->superview().get(), bar.get());
    // floor(310 / 2) - 10 = 145, capped at 120.
    bar->layoutSubviews();
    EXPECT_EQ(rectText(first->frame()), rectText(CGRectMake(40, 7, 120, 30)));
    EXPECT_EQ(rectText(second->frame()), rectText(CGRectMake(170, 7, 120, 30)));
    second->simulateTap();
    EXPECT_EQ(counter->hits, 1);

    bar->addButton(NS("Mail"), counter, Selector::named("hit"));
    bar->addButton(NS("Print"), counter, Selector::named("hit"));
    bar->layoutSubviews();
    // floor(310 / 4) - 10 = 67, from floor(160 - 77 × 2) + 10 = 16.
    EXPECT_EQ(rectText(first->frame()), rectText(CGRectMake(16, 7, 67, 30)));
    EXPECT_EQ(as<DZButton>(bar->buttons()->objectAtIndex(3))->frame().origin.x, 16 + 77 * 3);

    bar->removeButtons();
    EXPECT_EQ(bar->buttons()->count(), 0u);
    EXPECT_EQ(first->superview().get(), nullptr);
    EXPECT_TRUE(bar->subviewList().empty());
}

TEST_F(Widgets, TouchesThatMissTheButtonsStopAtTheBar) {
    auto sink = make<TouchSink>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 100));
    auto bar = make<DZButtonBar>(&DZButtonBar::initWithFrame, CGRectMake(0, 0, 320, 44));
    auto plain = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 50, 320, 44));
    sink->addSubview(bar);
    sink->addSubview(plain);
    auto touch = UITouch::touchInWindow(nullptr, CGPointMake(5, 5), bar);
    auto event = UIEvent::touchEvent({touch});
    bar->touchesBegan(event->allTouches(), event);
    EXPECT_EQ(sink->touches, 0);
    plain->touchesBegan(event->allTouches(), event);  // a plain view passes them up
    EXPECT_EQ(sink->touches, 1);
}

}  // namespace
