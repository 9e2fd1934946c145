#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSError.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/UISwitch.h"
#include "UIKit/UITableView.h"
#include "UIKit/UITableViewCell.h"
#include "UIKit/UITextField.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWindow.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/RunLoopTesting.h"

namespace {

Ref<UIView> box(CGRect frame, UIColor* color) {
    auto v = make<UIView>(&UIView::initWithFrame, frame);
    v->setBackgroundColor(color);
    return v;
}

// Draws a black square in the top-left 5 x 5 points of its own coordinates.
class Marker : public UIView {
    NS_OBJECT(Marker, UIView)
public:
    int draws = 0;
    bool hadContext = false;
    void drawRect(CGRect) override {
        ++draws;
        auto ctx = UIGraphicsGetCurrentContext();
        hadContext = ctx != nullptr;
        // Past the bounds on purpose: drawing stays inside the view.
        UIColor::blackColor()->setFill();
        CGContextFillRect(ctx, CGRectMake(0, 0, 5, 5));
        CGContextFillRect(ctx, CGRectMake(-5, 0, 5, 5));
    }
};

// A 20 x 10 image: red, with a blue left column so that placement can be seen.
Ref<UIImage> wideImage() {
    return paintedImage(CGSizeMake(20, 10), 1, [] {
        fill(UIColor::redColor(), CGRectMake(0, 0, 20, 10));
        fill(UIColor::blueColor(), CGRectMake(0, 0, 1, 10));
    });
}

Ref<UIImage> renderedWith(UIViewContentMode mode) {
    auto view = make<UIImageView>(
        static_cast<bool (UIImageView::*)(UIImage*)>(&UIImageView::initWithImage), wideImage());
    view->setFrame(CGRectMake(0, 0, 40, 40));
    view->setBackgroundColor(UIColor::greenColor());
    view->setContentMode(mode);
    return UIViewRenderImage(view, 1);
}

Ref<UITableViewCell> whiteCell() {
    auto cell = make<UITableViewCell>(&UITableViewCell::initWithStyle, UITableViewCellStyleDefault,
                                      nullptr);
    cell->setFrame(CGRectMake(0, 0, 320, 44));
    cell->setBackgroundColor(UIColor::whiteColor());
    return cell;
}

// One titled section of one empty-text row.
class TitledSection : public NSObject, public UITableViewDataSource {
    NS_OBJECT(TitledSection, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"tableView:titleForHeaderInSection:"});
    }
    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger) override { return 1; }
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView*, NSIndexPath*) override {
        return make<UITableViewCell>(&UITableViewCell::initWithStyle, UITableViewCellStyleDefault,
                                     nullptr);
    }
    Ref<NSString> tableViewTitleForHeaderInSection(UITableView*, NSInteger) override {
        return NS("WWWW");
    }
};

// Sections of one row each, with an index of their names.
class IndexedSections : public NSObject, public UITableViewDataSource {
    NS_OBJECT(IndexedSections, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"numberOfSectionsInTableView:", "sectionIndexTitlesForTableView:"});
    }
    NSInteger numberOfSectionsInTableView(UITableView*) override { return 4; }
    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger) override { return 1; }
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView*, NSIndexPath*) override {
        return make<UITableViewCell>(&UITableViewCell::initWithStyle, UITableViewCellStyleDefault,
                                     nullptr);
    }
    Ref<NSArray> sectionIndexTitlesForTableView(UITableView*) override {
        return NSArray::arrayWithObjects({NS("For Sale"), NS("Jobs"), NS("Gigs"), NS("Community")});
    }
};

// One section of `count` rows.
class Rows : public NSObject, public UITableViewDataSource {
    NS_OBJECT(Rows, NSObject)

public:
    NSInteger count = 3;
    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger) override { return count; }
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView*, NSIndexPath*) override {
        return make<UITableViewCell>(&UITableViewCell::initWithStyle, UITableViewCellStyleDefault,
                                     nullptr);
    }
};

// One section of three worded rows that lead on (a disclosure chevron each).
class WordedRows : public NSObject, public UITableViewDataSource {
    NS_OBJECT(WordedRows, NSObject)

public:
    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger) override { return 3; }
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView*, NSIndexPath*) override {
        auto cell = make<UITableViewCell>(&UITableViewCell::initWithStyle,
                                          UITableViewCellStyleDefault, nullptr);
        cell->textLabel()->setText(NS("Road bike"));
        cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
        return cell;
    }
};

bool darkIn(UIImage* image, int x0, int x1, int y0, int y1) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (pixelAt(image, x, y).r < 60) return true;
    return false;
}

}  // namespace

TEST(UIViewRendering, BackgroundsSubviewsAlphaHiddenAndClipping) {
    auto root = box(CGRectMake(0, 0, 100, 100), UIColor::whiteColor());
    auto red = box(CGRectMake(10, 10, 30, 30), UIColor::redColor());
    root->addSubview(red);
    // Later subviews cover earlier ones; a subview's frame is in its superview's space.
    red->addSubview(box(CGRectMake(20, 20, 20, 20), UIColor::blueColor()));
    auto hidden = box(CGRectMake(0, 0, 100, 100), UIColor::greenColor());
    hidden->setHidden(true);
    root->addSubview(hidden);
    // Half alpha fades the view and its subviews together.
    auto faded = box(CGRectMake(60, 10, 20, 20), UIColor::blueColor());
    faded->setAlpha(0.5f);
    faded->addSubview(box(CGRectMake(0, 0, 10, 10), UIColor::blackColor()));
    root->addSubview(faded);
    // A clipping view cuts its subviews at its bounds; a bounds origin scrolls them.
    auto clip = box(CGRectMake(60, 60, 20, 20), nullptr);
    clip->setClipsToBounds(true);
    clip->setBounds(CGRectMake(5, 5, 20, 20));
    clip->addSubview(box(CGRectMake(0, 0, 40, 10), UIColor::redColor()));
    root->addSubview(clip);

    auto image = UIViewRenderImage(root, 1);
    ASSERT_TRUE(image);
    EXPECT_TRUE(CGSizeEqualToSize(image->size(), CGSizeMake(100, 100)));
    EXPECT_TRUE(near(pixelAt(image, 5, 5), kWhite, 0));
    EXPECT_TRUE(near(pixelAt(image, 15, 15), kRed, 0));
    EXPECT_TRUE(near(pixelAt(image, 35, 35), kBlue, 0));
    EXPECT_TRUE(near(pixelAt(image, 45, 45), kBlue, 0));  // subviews are not clipped by default
    EXPECT_TRUE(near(pixelAt(image, 75, 25), RGBA{128, 128, 255, 255}, 2));
    EXPECT_TRUE(
        near(pixelAt(image, 62, 12), RGBA{128, 128, 128, 255}, 2));  // black at half, not blue
    EXPECT_TRUE(near(pixelAt(image, 62, 62), kRed, 0));  // (5, 5) in the clip view's bounds
    EXPECT_TRUE(near(pixelAt(image, 78, 62), kRed, 0));
    EXPECT_TRUE(near(pixelAt(image, 82, 62), kWhite, 0));  // cut at the right edge
    EXPECT_TRUE(near(pixelAt(image, 62, 67), kWhite, 0));  // the red bar ends at y 10 - 5
}

TEST(UIViewRendering, TransformsTurnViewsAboutTheirCentre) {
    auto root = box(CGRectMake(0, 0, 100, 100), UIColor::whiteColor());
    // 60 x 10 turned a quarter: it stands 10 wide and 60 tall around its centre (50, 50).
    auto bar = box(CGRectMake(20, 45, 60, 10), UIColor::redColor());
    bar->addSubview(box(CGRectMake(0, 0, 10, 10), UIColor::blueColor()));  // its left end
    bar->setTransform(CGAffineTransformMakeRotation(float(M_PI / 2)));
    root->addSubview(bar);
    auto scaled = box(CGRectMake(0, 80, 10, 10), UIColor::greenColor());
    scaled->setTransform(CGAffineTransformMakeScale(2, 1));  // 20 wide about x 5
    root->addSubview(scaled);

    auto image = UIViewRenderImage(root, 1);
    ASSERT_TRUE(image);
    EXPECT_TRUE(near(pixelAt(image, 50, 40), kRed, 0));
    EXPECT_TRUE(near(pixelAt(image, 30, 50), kWhite, 0));
    EXPECT_TRUE(near(pixelAt(image, 70, 50), kWhite, 0));
    // A quarter turn clockwise (y down) brings the left end to the top.
    EXPECT_TRUE(near(pixelAt(image, 50, 24), kBlue, 0));
    EXPECT_TRUE(near(pixelAt(image, 50, 75), kRed, 0));
    EXPECT_TRUE(near(pixelAt(image, 12, 85), kGreen, 0));
    EXPECT_TRUE(near(pixelAt(image, 16, 85), kWhite, 0));
}

TEST(UIViewRendering, DrawRectRunsWithTheViewsContextAtItsOrigin) {
    auto root = box(CGRectMake(0, 0, 40, 40), UIColor::whiteColor());
    auto marker = make<Marker>(&UIView::initWithFrame, CGRectMake(20, 10, 10, 10));
    root->addSubview(marker);
    marker->setNeedsDisplay();
    auto image = UIViewRenderImage(root, 2);
    ASSERT_TRUE(image);
    EXPECT_EQ(marker->draws, 1);
    EXPECT_TRUE(marker->hadContext);
    EXPECT_FALSE(marker->needsDisplay());
    EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);  // popped again
    // At scale 2, point (21, 11) is pixel (42, 22).
    EXPECT_TRUE(near(pixelAt(image, 42, 22), kBlack, 0));
    EXPECT_TRUE(near(pixelAt(image, 52, 22), kWhite, 0));
    EXPECT_TRUE(near(pixelAt(image, 38, 22), kWhite, 0));  // clipped to the view
}

TEST(UIViewRendering, ImageViewsPlaceTheirImageByContentMode) {
    // Scale to fill: the whole view.
    auto fillImage = renderedWith(UIViewContentModeScaleToFill);
    EXPECT_TRUE(near(pixelAt(fillImage, 20, 2), kRed, 0));
    EXPECT_TRUE(near(pixelAt(fillImage, 20, 38), kRed, 0));
    EXPECT_TRUE(near(pixelAt(fillImage, 0, 20), kBlue, 0));
    // Aspect fit: 40 x 20 in the middle.
    auto fit = renderedWith(UIViewContentModeScaleAspectFit);
    EXPECT_TRUE(near(pixelAt(fit, 20, 5), kGreen, 0));
    EXPECT_TRUE(near(pixelAt(fit, 20, 15), kRed, 0));
    EXPECT_TRUE(near(pixelAt(fit, 20, 34), kGreen, 0));
    EXPECT_TRUE(near(pixelAt(fit, 0, 20), kBlue, 0));
    // Aspect fill: 80 x 40 centred, so the blue column is cut off.
    auto aspectFill = renderedWith(UIViewContentModeScaleAspectFill);
    EXPECT_TRUE(near(pixelAt(aspectFill, 0, 20), kRed, 0));
    EXPECT_TRUE(near(pixelAt(aspectFill, 20, 1), kRed, 0));
    // Center: its own size, in the middle.
    auto center = renderedWith(UIViewContentModeCenter);
    EXPECT_TRUE(near(pixelAt(center, 10, 20), kBlue, 0));
    EXPECT_TRUE(near(pixelAt(center, 9, 20), kGreen, 0));
    EXPECT_TRUE(near(pixelAt(center, 20, 16), kRed, 0));
    EXPECT_TRUE(near(pixelAt(center, 20, 26), kGreen, 0));
    // Bottom right.
    auto corner = renderedWith(UIViewContentModeBottomRight);
    EXPECT_TRUE(near(pixelAt(corner, 20, 35), kBlue, 0));
    EXPECT_TRUE(near(pixelAt(corner, 30, 29), kGreen, 0));
}

TEST(UIViewRendering, LabelsDrawTheirTextInTheirColour) {
    auto root = box(CGRectMake(0, 0, 200, 40), UIColor::whiteColor());
    auto label = make<UILabel>(&UILabel::initWithFrame, CGRectMake(10, 0, 180, 40));
    label->setText(NS("MMMM"));
    label->setTextColor(UIColor::redColor());
    label->setBackgroundColor(nullptr);
    root->addSubview(label);
    auto image = UIViewRenderImage(root, 1);
    ASSERT_TRUE(image);
    auto px = UIImagePixelsOf(image->CGImage());
    int red = 0, other = 0, left = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 200; ++x) {
            RGBA c = pixelAt(px, x, y);
            bool white = c.r > 250 && c.g > 250 && c.b > 250;
            // Ink is red; its antialiased edges are red mixed with white.
            if (c.r > 200 && c.g < 120 && c.b < 120) {
                ++red;
            } else if (!white && !(c.r > 200 && std::abs(c.g - c.b) < 20)) {
                ++other;
            }
            if (x < 10 && !white) ++left;
        }
    }
    EXPECT_GT(red, 40);
    EXPECT_EQ(other, 0);
    EXPECT_EQ(left, 0);  // nothing left of the label
}

TEST(UIViewRendering, TheScreenShowsTheKeyWindowAndWindowsAboveIt) {
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 20, 320, 460));
    window->setBackgroundColor(UIColor::whiteColor());
    window->addSubview(box(CGRectMake(0, 0, 50, 50), UIColor::redColor()));
    window->makeKeyAndVisible();
    auto overlay = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
    overlay->setWindowLevel(UIWindowLevelAlert);
    overlay->addSubview(box(CGRectMake(300, 460, 20, 20), UIColor::blueColor()));
    overlay->setHidden(false);

    UIScreen::mainScreen()->setScale(2);
    auto screen = UIScreenRenderKeyWindow();
    UIScreen::mainScreen()->setScale(1);
    ASSERT_TRUE(screen);
    EXPECT_FLOAT_EQ(screen->scale(), 2);
    EXPECT_TRUE(CGSizeEqualToSize(screen->size(), CGSizeMake(320, 480)));
    // The status bar's strip: the bar's grey (no window there, yet not black).
    EXPECT_TRUE(near(pixelAt(screen, 500, 4), {226, 226, 226, 255}, 12));
    EXPECT_TRUE(near(pixelAt(screen, 10, 50), kRed, 0));  // (5, 25) points
    EXPECT_TRUE(near(pixelAt(screen, 200, 200), kWhite, 0));
    EXPECT_TRUE(near(pixelAt(screen, 630, 950), kBlue, 0));  // the overlay, above

    Ref<NSError> error;
    EXPECT_FALSE(UIScreenWriteKeyWindowPNG(NS("/nonexistent/none.png"), &error));
    ASSERT_TRUE(error);
    auto path = NSTemporaryDirectory()->stringByAppendingPathComponent(NS("screen.png"));
    ASSERT_TRUE(UIScreenWriteKeyWindowPNG(path, nullptr));
    auto written = UIImage::imageWithContentsOfFile(path);
    ASSERT_TRUE(written);
    EXPECT_TRUE(CGSizeEqualToSize(written->size(), CGSizeMake(320, 480)));
    EXPECT_TRUE(near(pixelAt(written, 10, 30), kRed, 0));
    overlay->setHidden(true);
    window->setHidden(true);
}

TEST(UIViewRendering, StandardControlsPaintTheirOwnLook) {
    auto root = box(CGRectMake(0, 0, 320, 200), UIColor::whiteColor());
    auto bar = make<UINavigationBar>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 44));
    root->addSubview(bar);
    auto on = make<UISwitch>(&UIView::initWithFrame, CGRectMake(10, 60, 94, 27));
    on->setOn(true);
    root->addSubview(on);
    auto field = make<UITextField>(&UIView::initWithFrame, CGRectMake(10, 100, 200, 31));
    field->setBorderStyle(UITextBorderStyleLine);
    root->addSubview(field);
    auto image = UIViewRenderImage(root, 1);
    ASSERT_TRUE(image);
    // The bar: the default blue-grey tint, darker at the bottom than at the top.
    RGBA top = pixelAt(image, 160, 2), bottom = pixelAt(image, 160, 40);
    EXPECT_GT(top.b, top.r);
    EXPECT_GT(top.b + top.g + top.r, bottom.b + bottom.g + bottom.r);
    // An "on" switch is blue where its label is, its knob on the right.
    RGBA face = pixelAt(image, 20, 73);
    EXPECT_GT(face.b, 150);
    EXPECT_LT(face.r, 80);
    EXPECT_GT(pixelAt(image, 90, 73).r, 180);
    // A line border is black, one pixel inside the field.
    EXPECT_TRUE(near(pixelAt(image, 10, 115), kBlack, 0));
    EXPECT_TRUE(near(pixelAt(image, 9, 115), kWhite, 0));
    EXPECT_TRUE(near(pixelAt(image, 12, 115), kWhite, 0));
}

TEST(UIViewRendering, PicturedSegmentsShowTheirImagesFadedWhenDisabled) {
    auto root = box(CGRectMake(0, 0, 100, 40), UIColor::whiteColor());
    auto dot = paintedImage(CGSizeMake(10, 10), 1,
                            [] { fill(UIColor::redColor(), CGRectMake(0, 0, 10, 10)); });
    auto segments = make<UISegmentedControl>(&UIView::initWithFrame, CGRectMake(0, 0, 90, 30));
    segments->insertSegmentWithImage(dot, 0, false);
    segments->insertSegmentWithImage(dot, 1, false);
    segments->setEnabled(false, 1);
    root->addSubview(segments);
    auto image = UIViewRenderImage(root, 1);
    ASSERT_TRUE(image);
    // Each image centred in its half; the disabled one lets the face show through.
    RGBA enabled = pixelAt(image, 22, 15), disabled = pixelAt(image, 67, 15);
    EXPECT_TRUE(near(enabled, kRed, 8)) << enabled;
    EXPECT_GT(disabled.r, 200) << disabled;
    EXPECT_GT(disabled.g, 120) << disabled;
    EXPECT_GT(disabled.b, 120) << disabled;
    // Outside the images the control's own face.
    EXPECT_FALSE(near(pixelAt(image, 8, 15), kRed, 60));
}

TEST(UIViewRendering, TableCellsShowTheirAccessoryAndEditingControls) {
    // A disclosure chevron is grey, near the right edge, in the middle of the row.
    auto cell = whiteCell();
    cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
    auto image = UIViewRenderImage(cell, 1);
    ASSERT_TRUE(image);
    RGBA tip = pixelAt(image, 320 - 15, 22);
    EXPECT_LT(tip.r, 200);
    EXPECT_TRUE(near(pixelAt(image, 320 - 40, 22), kWhite, 0));

    // While editing, a delete control is a red disc with a white bar; the chevron goes.
    cell->setEditingStyle(UITableViewCellEditingStyleDelete);
    cell->setEditing(true);
    image = UIViewRenderImage(cell, 1);
    RGBA disc = pixelAt(image, 16, 16);
    EXPECT_GT(disc.r, 180);
    EXPECT_LT(disc.g, 80);
    EXPECT_TRUE(near(pixelAt(image, 16, 22), kWhite, 10));
    EXPECT_TRUE(near(pixelAt(image, 320 - 15, 22), kWhite, 0));

    // An insert control is green with a plus; the delete button the minus shows turns it
    // upright.
    cell->setEditingStyle(UITableViewCellEditingStyleInsert);
    image = UIViewRenderImage(cell, 1);
    RGBA plus = pixelAt(image, 12, 18);
    EXPECT_GT(plus.g, 120);
    EXPECT_LT(plus.r, 100);
    EXPECT_TRUE(near(pixelAt(image, 16, 18), kWhite, 10));
    cell->setEditingStyle(UITableViewCellEditingStyleDelete);
    cell->setShowingDeleteConfirmation(true, nullptr);
    image = UIViewRenderImage(cell, 1);
    EXPECT_TRUE(near(pixelAt(image, 16, 18), kWhite, 10));
    RGBA turned = pixelAt(image, 12, 22);
    EXPECT_GT(turned.r, 180);
    EXPECT_LT(turned.g, 80);
}

TEST(UIViewRendering, ASelectedRowIsThePhonesBlueBehindWhiteWordsAndFadesWhenDeselected) {
    ManualClockScope clock;
    auto source = make<WordedRows>();
    Ref<UITableView> table = alloc<UITableView>();
    table->initWithFrame(CGRectMake(0, 0, 320, 132), UITableViewStylePlain);
    table->setDataSource(source);
    table->reloadData();
    table->layoutIfNeeded();
    auto path = NSIndexPath::indexPathForRow(1, 0);
    table->selectRowAtIndexPath(path, false, UITableViewScrollPositionNone);
    auto blue = [](RGBA c) { return c.b > 200 && c.r < 60 && c.g > 60 && c.g < 170; };
    auto white = [](RGBA c) { return c.r > 240 && c.g > 240 && c.b > 240; };
    auto dark = [](RGBA c) { return c.r + c.g + c.b < 200; };
    auto image = UIViewRenderImage(table, 1);
    ASSERT_TRUE(image);
    // The selected row (44 to 88) is blue from edge to edge, its words and chevron white on it;
    // the rows around it stay white.
    const CGRect words = CGRectMake(8, 50, 110, 32), selected = CGRectMake(0, 45, 320, 42);
    EXPECT_GT(countPixels(image, selected, blue), 320 * 42 * 3 / 4);
    EXPECT_GT(countPixels(image, words, white), 60);
    EXPECT_EQ(countPixels(image, words, dark), 0);
    EXPECT_GT(countPixels(image, CGRectMake(295, 55, 15, 22), white), 10);
    EXPECT_EQ(countPixels(image, CGRectMake(0, 0, 320, 43), blue), 0);
    EXPECT_EQ(countPixels(image, CGRectMake(0, 89, 320, 43), blue), 0);

    // Deselected with animation: at once no longer selected, the blue fades for the fade's
    // time and then the row is white with dark words again.
    table->deselectRowAtIndexPath(path, true);
    EXPECT_FALSE(table->indexPathForSelectedRow());
    image = UIViewRenderImage(table, 1);
    EXPECT_GT(countPixels(image, selected, blue), 320 * 42 * 3 / 4);
    advanceRunLoop(UITableViewCell::kDeselectionFade + 0.05);
    image = UIViewRenderImage(table, 1);
    EXPECT_EQ(countPixels(image, selected, blue), 0);
    EXPECT_GT(countPixels(image, words, dark), 30);

    // Without animation the blue goes at once.
    table->selectRowAtIndexPath(path, false, UITableViewScrollPositionNone);
    table->deselectRowAtIndexPath(path, false);
    EXPECT_EQ(countPixels(UIViewRenderImage(table, 1), selected, blue), 0);
}

TEST(UIViewRendering, PlainSectionTitlesSitInFromTheEdge) {
    auto source = make<TitledSection>();
    Ref<UITableView> table = alloc<UITableView>();
    table->initWithFrame(CGRectMake(0, 0, 320, 200), UITableViewStylePlain);
    table->setDataSource(source);
    table->reloadData();
    table->layoutIfNeeded();
    auto image = UIViewRenderImage(table, 1);
    ASSERT_TRUE(image);
    CGRect band = table->rectForHeaderInSection(0);
    ASSERT_GT(band.size.height, 0);
    int top = int(band.origin.y), bottom = int(CGRectGetMaxY(band));
    EXPECT_FALSE(darkIn(image, 0, 12, top, bottom));
    EXPECT_TRUE(darkIn(image, 12, 60, top, bottom));
}

// The index is a narrow transparent strip over the rows' right ends: the rows keep their width
// and show through it, and its small titles sit together in the middle of its height, each
// drawn where a touch picks it.
TEST(UIViewRendering, TheSectionIndexIsANarrowStripOverTheRows) {
    auto source = make<IndexedSections>();
    Ref<UITableView> table = alloc<UITableView>();
    table->initWithFrame(CGRectMake(0, 0, 320, 400), UITableViewStylePlain);
    table->setBackgroundColor(UIColor::whiteColor());
    table->setDataSource(source);
    table->setRowHeight(100);
    table->reloadData();
    table->layoutIfNeeded();
    auto titles = source->sectionIndexTitlesForTableView(table);
    CGFloat width = UITableViewIndex::widthForTitles(titles);
    EXPECT_GE(width, 15);
    EXPECT_LE(width, 70);
    auto cell = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0));
    ASSERT_TRUE(cell);
    EXPECT_FLOAT_EQ(cell->frame().size.width, 320);
    // The rows are green: the strip shows them between its titles.
    for (auto& v : table->subviewList())
        if (auto c = as<UITableViewCell>(v)) c->setBackgroundColor(UIColor::greenColor());
    auto image = UIViewRenderImage(table, 1);
    ASSERT_TRUE(image);
    auto pixels = UIImagePixelsOf(image->CGImage());
    int left = int(320 - width);
    EXPECT_TRUE(near(pixelAt(pixels, 318, 30), kGreen, 2)) << pixelAt(pixels, 318, 30);
    EXPECT_TRUE(near(pixelAt(pixels, left + 1, 370), kGreen, 2)) << pixelAt(pixels, left + 1, 370);
    // Grey letters, not the rows' green.
    auto inked = [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = left; x < 320; ++x)
                if (pixelAt(pixels, x, y).g < 150) return true;
        return false;
    };
    auto index = as<UITableViewIndex>(table->subviewList().back());
    ASSERT_TRUE(index);
    // Four titles of 16 points in the middle of the 400: from 168 to 232.
    EXPECT_FALSE(inked(10, 160));
    EXPECT_FALSE(inked(240, 390));
    for (int i = 0; i < 4; ++i) {
        int mid = 168 + 16 * i + 8;
        EXPECT_TRUE(inked(mid - 4, mid + 4)) << i;
        EXPECT_EQ(index->titleIndexAtPoint(CGPointMake(5, CGFloat(mid))), i);
    }
    // Touches above and below the titles pick the first and the last.
    EXPECT_EQ(index->titleIndexAtPoint(CGPointMake(5, 20)), 0);
    EXPECT_EQ(index->titleIndexAtPoint(CGPointMake(5, 380)), 3);
}

// Two titled sections of tall green rows.
class TitledSections : public NSObject, public UITableViewDataSource {
    NS_OBJECT(TitledSections, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"numberOfSectionsInTableView:", "tableView:titleForHeaderInSection:"});
    }
    NSInteger numberOfSectionsInTableView(UITableView*) override { return 2; }
    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger) override { return 3; }
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView*, NSIndexPath*) override {
        auto cell = make<UITableViewCell>(&UITableViewCell::initWithStyle,
                                          UITableViewCellStyleDefault, nullptr);
        cell->setBackgroundColor(UIColor::greenColor());
        return cell;
    }
    Ref<NSString> tableViewTitleForHeaderInSection(UITableView*, NSInteger s) override {
        return s == 0 ? NS("Texts") : NS("Controls");
    }
};

// A header pinned at the top covers the rows scrolling under it: none of their colour shows
// through.
TEST(UIViewRendering, APinnedHeaderHidesTheRowsUnderIt) {
    auto source = make<TitledSections>();
    Ref<UITableView> table = alloc<UITableView>();
    table->initWithFrame(CGRectMake(0, 0, 320, 300), UITableViewStylePlain);
    table->setDataSource(source);
    table->setRowHeight(100);
    table->reloadData();
    table->setContentOffset(CGPointMake(0, 60));
    table->layoutIfNeeded();
    auto image = UIViewRenderImage(table, 1);
    ASSERT_TRUE(image);
    auto pixels = UIImagePixelsOf(image->CGImage());
    // Right of the title, inside the header's 22 points: the header's grey alone.
    for (int y : {3, 11, 19}) {
        auto p = pixelAt(pixels, 250, y);
        EXPECT_EQ(p.r, p.g) << y << " " << p;
        EXPECT_EQ(p.g, p.b) << y << " " << p;
    }
    EXPECT_TRUE(near(pixelAt(pixels, 250, 60), kGreen, 2));  // a row below it
}

// Whole section names widen the strip as far as they need (the category picker's "Community"),
// so they read whole; it stays a strip over full-width rows.
TEST(UIViewRendering, TheSectionIndexWidensForWholeWords) {
    auto words = NSArray::arrayWithObjects({NS("For Sale"), NS("Community"), NS("Jobs")});
    CGFloat width = UITableViewIndex::widthForTitles(words);
    CGFloat community = UIFontTextMeasurer::shared()->widthOfText(
        NS("Community")->u16(), UIFont::boldSystemFontOfSize(11).get());
    EXPECT_GE(width, community + 4);
    EXPECT_LE(width, 70);
    EXPECT_LE(UITableViewIndex::widthForTitles(NSArray::arrayWithObjects({NS("A"), NS("B")})), 30);
}

// A grouped table's section is a white panel with rounded corners and a grey border, inset
// from the grouped background's fine stripes.
TEST(UIViewRendering, GroupedSectionsAreRoundedPanelsOverStripes) {
    auto source = make<Rows>();
    Ref<UITableView> table = alloc<UITableView>();
    table->initWithFrame(CGRectMake(0, 0, 320, 300), UITableViewStyleGrouped);
    table->setDataSource(source);
    table->reloadData();
    table->layoutIfNeeded();
    auto first = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0));
    auto last = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(2, 0));
    ASSERT_TRUE(first && last);
    CGRect top = first->frame(), bottom = last->frame();
    EXPECT_EQ(top.origin.x, 10);
    auto image = UIViewRenderImage(table, 1);
    auto px = UIImagePixelsOf(image->CGImage());
    int x0 = int(top.origin.x), x1 = int(CGRectGetMaxX(top)) - 1;
    int y0 = int(top.origin.y), y1 = int(CGRectGetMaxY(bottom)) - 1;
    // White inside, the background at the four corners.
    EXPECT_TRUE(near(pixelAt(px, 160, y0 + 20), kWhite, 2));
    for (auto [x, y] : {std::pair{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}})
        EXPECT_LT(pixelAt(px, x, y).r, 235) << x << "," << y << " " << pixelAt(px, x, y);
    // A grey border down the sides of a middle row, not as dark as text.
    int mid = int(CGRectGetMidY(last->frame())) - 44;
    RGBA side = pixelAt(px, x0, mid);
    EXPECT_LT(side.r, 200) << side;
    EXPECT_GT(side.r, 120) << side;
    // The background beside the panel is striped: two shades across a few columns.
    std::set<int> shades;
    for (int x = 0; x < 8; ++x)
        shades.insert(pixelAt(px, x, mid).r);
    EXPECT_GE(shades.size(), 2u);
}

// Below its last row a plain table goes on with its background and row lines, down to the
// bottom; a table footer view ends the list instead.
TEST(UIViewRendering, APlainTableDrawsRowLinesBelowItsLastRow) {
    auto source = make<Rows>();
    source->count = 2;
    Ref<UITableView> table = alloc<UITableView>();
    table->initWithFrame(CGRectMake(0, 0, 320, 300), UITableViewStylePlain);
    table->setDataSource(source);
    table->reloadData();
    table->layoutIfNeeded();
    for (auto& v : table->subviewList())
        if (auto c = as<UITableViewCell>(v)) c->setBackgroundColor(UIColor::grayColor());
    auto image = UIViewRenderImage(table, 1);
    RGBA line = pixelAt(image, 100, 87);  // the last row's own line
    EXPECT_FALSE(near(line, kWhite, 10)) << line;
    for (int y : {131, 175, 219, 263}) {
        EXPECT_TRUE(near(pixelAt(image, 100, y), line, 2)) << y << " " << pixelAt(image, 100, y);
        EXPECT_TRUE(near(pixelAt(image, 100, y - 20), kWhite, 0)) << y;
    }
    table->setTableFooterView(make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 1)));
    table->layoutIfNeeded();
    auto ended = UIViewRenderImage(table, 1);
    EXPECT_TRUE(near(pixelAt(ended, 100, 175), kWhite, 0)) << pixelAt(ended, 100, 175);
}

TEST(UIViewRendering, ADisabledButtonIsDrawnDimmed) {
    auto root = box(CGRectMake(0, 0, 120, 40), UIColor::whiteColor());
    auto red = paintedImage(CGSizeMake(30, 30), 1,
                            [] { fill(UIColor::redColor(), CGRectMake(0, 0, 30, 30)); });
    auto pictured = UIButton::buttonWithType(UIButtonTypeCustom);
    pictured->setFrame(CGRectMake(0, 0, 40, 40));
    pictured->setImage(red, UIControlStateNormal);
    root->addSubview(pictured);
    auto backed = UIButton::buttonWithType(UIButtonTypeCustom);
    backed->setFrame(CGRectMake(40, 0, 40, 40));
    backed->setBackgroundImage(red, UIControlStateNormal);
    root->addSubview(backed);
    auto titled = UIButton::buttonWithType(UIButtonTypeRoundedRect);
    titled->setFrame(CGRectMake(80, 0, 40, 40));
    titled->setTitle(NS("M"), UIControlStateNormal);
    titled->setTitleColor(UIColor::blackColor(), UIControlStateNormal);
    root->addSubview(titled);
    auto enabled = UIViewRenderImage(root, 1);
    ASSERT_TRUE(enabled);
    EXPECT_TRUE(near(pixelAt(enabled, 20, 20), kRed, 8));
    EXPECT_TRUE(near(pixelAt(enabled, 60, 20), kRed, 8));
    EXPECT_TRUE(darkIn(enabled, 80, 120, 5, 35));

    for (auto b : {pictured, backed, titled})
        b->setEnabled(false);
    auto disabled = UIViewRenderImage(root, 1);
    // The pictures faded towards the white behind them, the title grey instead of black.
    for (int x : {20, 60}) {
        RGBA faded = pixelAt(disabled, x, 20);
        EXPECT_GT(faded.r, 200) << faded;
        EXPECT_GT(faded.g, 110) << faded;
        EXPECT_LT(faded.g, 200) << faded;
    }
    EXPECT_FALSE(darkIn(disabled, 80, 120, 5, 35));

    // A picture of its own for the disabled state is drawn as it is.
    pictured->setImage(red, UIControlStateDisabled);
    EXPECT_TRUE(near(pixelAt(UIViewRenderImage(root, 1), 20, 20), kRed, 8));
}

TEST(UIViewRendering, AnEditingRowMovesItsContentRightOfItsDeleteControl) {
    auto cell = whiteCell();
    // A picture the app put on the cell itself, and a label in its content.
    auto picture = box(CGRectMake(3, 2, 40, 40), UIColor::blueColor());
    cell->addSubview(picture);
    auto text = make<UILabel>(&UILabel::initWithFrame, CGRectMake(50, 2, 100, 40));
    cell->contentView()->addSubview(text);
    cell->setEditingStyle(UITableViewCellEditingStyleDelete);
    cell->setEditing(true);
    auto image = UIViewRenderImage(cell, 1);
    ASSERT_TRUE(image);
    // The red control in front, the picture moved right of it.
    RGBA disc = pixelAt(image, 16, 16);
    EXPECT_GT(disc.r, 180) << disc;
    EXPECT_LT(disc.b, 80) << disc;
    EXPECT_FLOAT_EQ(picture->frame().origin.x, 35);
    EXPECT_TRUE(near(pixelAt(image, 60, 22), kBlue, 0));
    EXPECT_FLOAT_EQ(cell->contentView()->frame().origin.x, 32);

    // Placed anew by the app while editing, it still moves with the content; and back.
    picture->setFrame(CGRectMake(3, 2, 20, 40));
    cell->setNeedsLayout();
    cell->layoutIfNeeded();
    EXPECT_FLOAT_EQ(picture->frame().origin.x, 35);
    cell->setEditing(false);
    EXPECT_FLOAT_EQ(picture->frame().origin.x, 3);
    EXPECT_FLOAT_EQ(cell->contentView()->frame().origin.x, 0);
    EXPECT_TRUE(near(pixelAt(UIViewRenderImage(cell, 1), 16, 16), kBlue, 0));
}
