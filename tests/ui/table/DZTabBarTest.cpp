// Tab bars, strips and grids: selection and what the delegate hears, badges, row widths,
// overflow arrows and grid styles by position.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UITouchScript.h"
#include "UIKit/UIWindow.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/style/DZLabel.h"
#include "ui/table/DZTabBar.h"

namespace {

class TabRecorder : public NSObject, public DZTabDelegate {
    NS_OBJECT(TabRecorder, NSObject)
    static void describeClass(RuntimeClass& c) { c.implements({"tabBar:tabSelected:"}); }

public:
    void tabBarTabSelected(DZTabBar*, NSInteger index) override { selected.push_back(index); }
    std::vector<NSInteger> selected;
};

Ref<NSArray> items(std::vector<const char*> titles) {
    auto array = NSMutableArray::array();
    for (auto* t : titles)
        array->addObject(
            make<DZTabItem>(&DZTabItem::initWithTitle, NSString::stringWithUTF8String(t)));
    return array;
}

TEST(Tabs, NewItemsSelectTheFirstTabUntoldAndOnlyChangesAreTold) {
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->makeKeyAndVisible();
    auto bar = make<DZTabBar>(&DZTabBar::initWithFrame, CGRectMake(0, 0, 320, 40));
    auto recorder = make<TabRecorder>();
    bar->setDelegate(recorder.get());
    EXPECT_EQ(bar->selectedTabItem(), nullptr);
    bar->setTabItems(items({"Cars", "Homes", "Jobs"}));
    EXPECT_EQ(bar->selectedTabIndex(), 0);
    EXPECT_TRUE(bar->selectedTabView()->isSelected());
    EXPECT_TRUE(recorder->selected.empty());
    window->addSubview(bar);
    bar->layoutIfNeeded();

    auto fingers = UITouchScript::scriptWithWindow(window.get());
    auto jobs = cast<DZTab>(bar->tabViews()->objectAtIndex(2));
    CGRect f = jobs->frame();
    fingers->tap(CGPointMake(CGRectGetMidX(f), CGRectGetMidY(f)));
    EXPECT_EQ(recorder->selected, (std::vector<NSInteger>{2}));
    EXPECT_TRUE(jobs->isSelected());
    EXPECT_FALSE(cast<DZTab>(bar->tabViews()->objectAtIndex(0))->isSelected());
    fingers->tap(CGPointMake(CGRectGetMidX(f), CGRectGetMidY(f)));  // again: nothing new
    EXPECT_EQ(recorder->selected, (std::vector<NSInteger>{2}));
    EXPECT_TRUE(bar->selectedTabItem()->title()->isEqualToString(NS("Jobs")));

    // An item not in the bar clears the selection, and that is told.
    auto stranger = make<DZTabItem>(&DZTabItem::initWithTitle, NS("Pets"));
    bar->setSelectedTabItem(stranger);
    EXPECT_EQ(bar->selectedTabIndex(), NSNotFound);
    EXPECT_EQ(bar->selectedTabView(), nullptr);
    EXPECT_EQ(recorder->selected.back(), NSNotFound);
    // New items come up with the first selected again, untold; none past the items.
    bar->setTabItems(items({}));
    EXPECT_EQ(bar->selectedTabIndex(), 0);
    EXPECT_EQ(bar->selectedTabItem(), nullptr);
    EXPECT_EQ(recorder->selected.size(), 2u);
    bar->removeFromSuperview();
}

TEST(Tabs, BadgesAreNeverNegativeAndCapAtNinetyNine) {
    auto bar = make<DZTabBar>(&DZTabBar::initWithFrame, CGRectMake(0, 0, 320, 40));
    bar->setTabItems(items({"Inbox"}));
    bar->layoutIfNeeded();
    auto item = cast<DZTabItem>(bar->tabItems()->objectAtIndex(0));
    auto tab = cast<DZTab>(bar->tabViews()->objectAtIndex(0));
    EXPECT_EQ(item->tabBar(), tab);
    item->setBadgeNumber(150);
    ASSERT_TRUE(tab->badge());
    EXPECT_TRUE(tab->badge()->text()->isEqualToString(NS("99+")));
    EXPECT_FALSE(tab->badge()->isHidden());
    EXPECT_EQ(CGRectGetMaxX(tab->badge()->frame()), tab->frame().size.width - 1);
    item->setBadgeNumber(-3);
    EXPECT_EQ(item->badgeNumber(), 0);
    EXPECT_TRUE(tab->badge()->isHidden());
    item->setBadgeNumber(7);
    EXPECT_TRUE(tab->badge()->text()->isEqualToString(NS("7")));

    // A freed tab is never messaged.
    bar->setTabItems(items({"Other"}));
    tab = nullptr;
    bar = nullptr;
    EXPECT_EQ(item->tabBar(), nullptr);
    item->setBadgeNumber(3);
    EXPECT_EQ(item->badgeNumber(), 3);
}

TEST(Tabs, RowsShrinkProportionallyKeepingTheirPaddingElseShareTheWidth) {
    // Styled views redraw by default; scale-to-fill bars share out their width.
    auto bar = make<DZTabBar>(&DZTabBar::initWithFrame, CGRectMake(0, 0, 320, 40));
    bar->setContentMode(UIViewContentModeScaleToFill);
    bar->setTabItems(items({"A", "B", "C"}));
    bar->layoutIfNeeded();
    // Short titles: the average width each.
    CGFloat average = std::ceil((320 - 20) / 3.0f);
    for (NSObject* t : *bar->tabViews())
        EXPECT_EQ(static_cast<DZTab*>(t)->frame().size.width, average);
    EXPECT_EQ(cast<DZTab>(bar->tabViews()->objectAtIndex(1))->frame().origin.x, 10 + average);

    auto narrow = make<DZTabBar>(&DZTabBar::initWithFrame, CGRectMake(0, 0, 120, 40));
    narrow->setContentMode(UIViewContentModeScaleToFill);
    narrow->setTabItems(items({"Motorcycles", "Caravans", "Agricultural"}));
    // Fitted widths before the squeeze.
    std::vector<CGFloat> fitted;
    for (NSObject* t : *narrow->tabViews()) {
        static_cast<DZTab*>(t)->sizeToFit();
        fitted.push_back(static_cast<DZTab*>(t)->frame().size.width);
    }
    narrow->layoutIfNeeded();
    CGFloat textSum = 0;
    for (CGFloat w : fitted)
        textSum += w - 20;
    CGFloat factor = (120 - (20 + 60)) / textSum;
    CGFloat x = 10;
    size_t i = 0;
    for (NSObject* t : *narrow->tabViews()) {
        CGRect f = static_cast<DZTab*>(t)->frame();
        EXPECT_EQ(f.origin.x, x);
        EXPECT_EQ(f.size.width, std::ceil((fitted[i++] - 20) * factor) + 20);
        EXPECT_GE(f.size.width, 20);
        x += f.size.width;
    }
}

TEST(Tabs, StripArrowsFollowTheOffset) {
    auto strip = make<DZTabStrip>(&DZTabStrip::initWithFrame, CGRectMake(0, 0, 200, 40));
    strip->setContentMode(UIViewContentModeLeft);  // fitted tabs, wider than the strip
    strip->setTabItems(items({"Motorcycles", "Caravans", "Agricultural", "Boats"}));
    strip->layoutIfNeeded();
    ASSERT_GT(strip->scrollView()->contentSize().width, 200);
    ASSERT_TRUE(strip->overflowRight());
    EXPECT_FALSE(strip->overflowRight()->isHidden());
    EXPECT_EQ(CGRectGetMaxX(strip->overflowRight()->frame()), 200);
    EXPECT_TRUE(!strip->overflowLeft() || strip->overflowLeft()->isHidden());
    strip->scrollView()->setContentOffset(
        CGPointMake(strip->scrollView()->contentSize().width - 200, 0));
    strip->updateOverflow();
    EXPECT_TRUE(strip->overflowRight()->isHidden());
    ASSERT_TRUE(strip->overflowLeft());
    EXPECT_FALSE(strip->overflowLeft()->isHidden());
    // The tabs live in the scroller.
    EXPECT_EQ(cast<DZTab>(strip->tabViews()->objectAtIndex(0))->superview(),
              Ref<UIView>(strip->scrollView().get()));
}

TEST(Tabs, GridStylesGoByPosition) {
    auto grid = make<DZTabGrid>(&DZTabGrid::initWithFrame, CGRectMake(0, 0, 300, 100));
    grid->setTabItems(items({"1", "2", "3", "4", "5"}));
    EXPECT_EQ(grid->rowCount(), 2);
    auto sheet = DZStyleSheet::globalStyleSheet();
    std::vector<const char*> expected = {
        "tabGridTabTopLeft:", "tabGridTabCenter:", "tabGridTabTopRight:", "tabGridTabBottomLeft:",
        "tabGridTabCenter:"};
    for (size_t i = 0; i < expected.size(); ++i) {
        auto tab = cast<DZTab>(grid->tabViews()->objectAtIndex(i));
        auto want = sheet->styleWithSelector(NSString::stringWithUTF8String(expected[i]),
                                             UIControlStateNormal);
        EXPECT_EQ(tab->styleForState(UIControlStateNormal), want) << i;
    }
    grid->setTabItems(items({"1", "2"}));  // one short row: left, then centre
    auto second = cast<DZTab>(grid->tabViews()->objectAtIndex(1));
    EXPECT_EQ(second->styleForState(UIControlStateNormal),
              sheet->styleWithSelector(NS("tabGridTabCenter:"), UIControlStateNormal));
    grid->layoutIfNeeded();
    EXPECT_GT(second->frame().origin.x, 0);

    // Sizes: no tabs keep the size asked; zero columns give no rows.
    auto empty = make<DZTabGrid>(&DZTabGrid::initWithFrame, CGRectMake(0, 0, 300, 100));
    EXPECT_TRUE(CGSizeEqualToSize(empty->sizeThatFits(CGSizeMake(300, 77)), CGSizeMake(300, 77)));
    grid->setColumnCount(0);
    EXPECT_EQ(grid->rowCount(), 0);
    EXPECT_EQ(grid->sizeThatFits(CGSizeMake(300, 77)).height, 0);
}

}  // namespace
