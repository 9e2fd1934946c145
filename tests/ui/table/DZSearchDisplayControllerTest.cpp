#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CoreGraphics/CGBitmapContext.h"
#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UISearchBar.h"
#include "UIKit/UITableView.h"
#include "UIKit/UIWindow.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/RunLoopTesting.h"
#include "ui/core/DZBaseViewController.h"
#include "ui/table/DZSearchlightLabel.h"
#include "ui/table/DZTableViewController.h"
#include "ui/table/DZTableViewDataSource.h"
#include "ui/table/TableTesting.h"

namespace {

class RecordingSource : public DZListDataSource {
    NS_OBJECT(RecordingSource, DZListDataSource)

public:
    void search(NSString* text) override {
        searches.push_back(text ? text->UTF8String() : "(nil)");
    }
    std::vector<std::string> searches;
};

// Writes down the appearance calls and which table it has.
class ResultsController : public DZTableViewController {
    NS_OBJECT(ResultsController, DZTableViewController)

public:
    void viewWillAppear(bool animated) override {
        events.push_back(std::string("will-appear ") + (tableView() ? "table" : "none"));
        DZTableViewController::viewWillAppear(animated);
    }
    void viewDidDisappear(bool animated) override {
        events.push_back("did-disappear");
        DZTableViewController::viewDidDisappear(animated);
    }
    // An invalidated model is made again from the same source.
    void createModel() override {
        ++models;
        if (!source) return;
        setDataSource(source.get());
        setModel(source->model().get());
    }
    std::vector<std::string> events;
    Ref<DZTableViewDataSource> source;
    int models = 0;
};

class DZSearchDisplayControllers : public ::testing::Test {
protected:
    void SetUp() override {
        window = testWindow();
        contents = make<DZViewController>();
        window->addSubview(contents->view().get());
        right = make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                      UIBarButtonSystemItemEdit, nullptr, nullptr);
        contents->navigationItem()->setRightBarButtonItem(right.get());
        results = make<ResultsController>(&ResultsController::initWithStyle, UITableViewStylePlain);
        source = make<RecordingSource>();
        results->source = source;
        results->setDataSource(source.get());
        contents->setSearchViewController(results.get());
        search = contents->searchController();
        bar = search->searchBar();
        contents->view()->addSubview(bar.get());
        fading = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 10, 10));
        fading->setTag(18942);
        bar->addSubview(fading.get());
    }
    void TearDown() override {
        bar->resignFirstResponder();
        contents->view()->removeFromSuperview();
    }
    void type(const char* letters) {
        for (const char* c = letters; *c; ++c)
            bar->textField()->insertText(NSString::stringWithFormat(NS("%c"), *c).get());
    }

    ManualClockScope clock;
    Ref<UIWindow> window;
    Ref<DZViewController> contents;
    Ref<UIBarButtonItem> right;
    Ref<ResultsController> results;
    Ref<RecordingSource> source;
    Ref<DZSearchDisplayController> search;
    Ref<UISearchBar> bar;
    Ref<UIView> fading;
};

TEST_F(DZSearchDisplayControllers, EachChangeSearchesAtOnceAndTheResultsTableIsHandedOverAndBack) {
    ASSERT_TRUE(search);
    EXPECT_EQ(search->delegate().get(), static_cast<UISearchDisplayDelegate*>(search.get()));
    ASSERT_TRUE(bar->becomeFirstResponder());
    EXPECT_TRUE(search->isActive());
    EXPECT_FALSE(right->isEnabled());
    EXPECT_FLOAT_EQ(fading->alpha(), 0);
    type("abc");
    EXPECT_EQ(source->searches, (std::vector<std::string>{"a", "ab", "abc"}));
    // The platform's results table is the results controller's while it shows.
    EXPECT_TRUE(search->showsSearchResultsTable());
    EXPECT_EQ(results->tableView().get(), search->searchResultsTableView().get());
    ASSERT_FALSE(results->events.empty());
    EXPECT_EQ(results->events.front(), "will-appear table");
    // The navigator sees the results controller while the search is active.
    EXPECT_EQ(contents->searchViewController().get(),
              static_cast<DZModelViewController*>(results.get()));

    bar->tapCancelButton();
    EXPECT_FALSE(search->isActive());
    EXPECT_TRUE(right->isEnabled());
    EXPECT_FLOAT_EQ(fading->alpha(), 1);
    EXPECT_EQ(source->searches.back(), "(nil)");
    EXPECT_EQ(results->events.back(), "did-disappear");
    EXPECT_NE(results->tableView().get(), search->searchResultsTableView().get());
}

TEST_F(DZSearchDisplayControllers, PausingSendsOneSearchFourTenthsAfterTheLastKeystroke) {
    search->setPausesBeforeSearching(true);
    ASSERT_TRUE(bar->becomeFirstResponder());
    type("a");
    advanceRunLoop(0.3);
    type("bc");
    advanceRunLoop(0.39);
    EXPECT_TRUE(source->searches.empty());
    advanceRunLoop(0.02);
    EXPECT_EQ(source->searches, (std::vector<std::string>{"abc"}));
    advanceRunLoop(1);
    EXPECT_EQ(source->searches.size(), 1u);
}

TEST_F(DZSearchDisplayControllers, AScopeChangeInvalidatesAndSearchesTheText) {
    bar->setScopeButtonTitles(NSArray::arrayWithObjects({NS("All"), NS("Mine")}).get());
    bar->setShowsScopeBar(true);
    ASSERT_TRUE(bar->becomeFirstResponder());
    type("q");
    source->searches.clear();
    int models = results->models;
    bar->tapScopeButton(1);
    EXPECT_EQ(results->models, models + 1);
    EXPECT_EQ(source->searches, (std::vector<std::string>{"q"}));
}

TEST(DZSearchlightLabels, TheSpotlightSweepsThenPausesAndTheMaskLivesWhileItRuns) {
    ManualClockScope clock;
    auto label = make<DZSearchlightLabel>(&DZSearchlightLabel::initWithFrame,
                                          CGRectMake(0, 0, 200.7f, 30.5f));
    EXPECT_FALSE(label->maskContext());
    label->startAnimating();
    ASSERT_TRUE(label->isAnimating());
    auto mask = label->maskContext();
    ASSERT_TRUE(mask);
    EXPECT_EQ(CGBitmapContextGetWidth(mask.get()), 200u);
    EXPECT_EQ(CGBitmapContextGetHeight(mask.get()), 30u);
    EXPECT_EQ(CGBitmapContextGetBytesPerRow(mask.get()), 800u);
    EXPECT_EQ(CGBitmapContextGetAlphaInfo(mask.get()), kCGImageAlphaPremultipliedLast);
    EXPECT_FLOAT_EQ(label->spotlightPoint(), -0.5f);
    advanceRunLoop(0.03125);
    EXPECT_NEAR(label->spotlightPoint(), -0.459375, 1e-5);
    // 61 steps take it to 1.978125; the 62nd passes 2.0 and starts again.
    advanceRunLoop(0.03125 * 60);
    EXPECT_NEAR(label->spotlightPoint(), 1.978125, 1e-4);
    advanceRunLoop(0.03125);
    EXPECT_FLOAT_EQ(label->spotlightPoint(), -0.5f);

    // The mask: opaque white at the centre, clear at the radius.
    auto image = label->newSpotlightMask(CGRectMake(0, 0, 200, 30), CGPointMake(100, 15), 10);
    ASSERT_TRUE(image);
    auto* bytes = static_cast<unsigned char*>(CGBitmapContextGetData(mask.get()));
    size_t centre = 15 * 800 + 100 * 4;
    EXPECT_GT(bytes[centre + 3], 220);
    EXPECT_EQ(bytes[15 * 800 + 120 * 4 + 3], 0);

    label->stopAnimating();
    EXPECT_FALSE(label->isAnimating());
    EXPECT_FALSE(label->maskContext());
    float stopped = label->spotlightPoint();
    advanceRunLoop(0.1);
    EXPECT_FLOAT_EQ(label->spotlightPoint(), stopped);
}

TEST(DZSearchlightLabels, CentredTextIsDrawnAtAWholePointAndKnowsItsSize) {
    auto label =
        make<DZSearchlightLabel>(&DZSearchlightLabel::initWithFrame, CGRectMake(0, 0, 101, 20));
    EXPECT_EQ(label->sizeThatFits(CGSizeZero).width, 0);
    label->setFont(UIFont::systemFontOfSize(10).get());
    label->setText(NS("Searching"));  // 9 letters of 5 points
    EXPECT_FLOAT_EQ(label->sizeThatFits(CGSizeZero).width, 45);
    EXPECT_STREQ(label->accessibilityLabel()->UTF8String(), "Searching");
    EXPECT_TRUE(label->accessibilityTraits() & UIAccessibilityTraitStaticText);
    label->setTextAlignment(UITextAlignmentCenter);
    label->setTextColor(UIColor::blackColor().get());
    UIGraphicsBeginImageContext(CGSizeMake(101, 20));
    label->drawRect(label->bounds());
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    ASSERT_TRUE(image);
    // ceil(50.5 - 22.5) = 28: nothing drawn left of x 28, ink right of it.
    auto ink = [&](int x0, int x1) {
        int n = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = x0; x < x1; ++x)
                n += pixelAt(image.get(), x, y).a > 0 ? 1 : 0;
        return n;
    };
    EXPECT_EQ(ink(0, 28), 0);
    EXPECT_GT(ink(28, 29), 0);
    EXPECT_EQ(ink(90, 101), 0);
}

TEST(DZSearchlightLabels, TheSpotlightRedrawsTheTextInItsColourAroundItsPoint) {
    ManualClockScope clock;
    auto label =
        make<DZSearchlightLabel>(&DZSearchlightLabel::initWithFrame, CGRectMake(0, 0, 101, 20));
    label->setFont(UIFont::systemFontOfSize(10).get());
    label->setText(NS("\u00c4rger \u00fcber \u00f6l"));  // beyond ASCII, drawn as itself
    label->setTextColor(UIColor::blackColor().get());
    label->setSpotlightColor(UIColor::redColor().get());
    auto render = [&] {
        UIGraphicsBeginImageContext(CGSizeMake(101, 20));
        label->drawRect(label->bounds());
        auto image = UIGraphicsGetImageFromCurrentImageContext();
        UIGraphicsEndImageContext();
        return image;
    };
    // Red ink between x0 and x1.
    auto red = [](UIImage* image, int x0, int x1) {
        int n = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = x0; x < x1; ++x) {
                RGBA p = pixelAt(image, x, y);
                n += p.a > 0 && p.r > p.g + 60 ? 1 : 0;
            }
        return n;
    };
    auto still = render();
    EXPECT_EQ(red(still.get(), 0, 101), 0);
    int dark = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 12; ++x)
            dark += pixelAt(still.get(), x, y).a > 0 ? 1 : 0;
    EXPECT_GT(dark, 0);  // the first letter, an A with dots, is there
    label->startAnimating();
    // 20 steps: the point is at 0.3125 of the text's width.
    advanceRunLoop(0.03125 * 20);
    CGFloat textWidth = label->sizeThatFits(CGSizeZero).width;
    int centre = static_cast<int>(textWidth * 0.3125f);
    auto lit = render();
    EXPECT_GT(red(lit.get(), centre - 6, centre + 6), 0);
    EXPECT_EQ(red(lit.get(), centre + 30, 101), 0);
    label->stopAnimating();
}

}  // namespace
