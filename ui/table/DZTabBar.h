// Styled tab controls: the tab item (title, icon, badge, a payload), the tab button that shows
// one, a bar of tabs with one selected and sized to fit the bar, a scrolling strip of tabs with
// overflow arrows, and a grid of tabs styled by their position. Main thread only.
#pragma once

#include "ui/core/DZView.h"
#include "ui/style/DZButton.h"

class DZLabel;
class DZTab;
class DZTabBar;
class NSArray;
class NSMutableArray;
class UIScrollView;

class DZTabItem : public NSObject {
    NS_OBJECT(DZTabItem, NSObject)

public:
    bool initWithTitle(NSString* title);
    Ref<NSString> title() { return title_; }
    void setTitle(NSString* title);
    Ref<NSString> icon() { return icon_; }
    void setIcon(NSString* icon);
    Ref<NSObject> object() { return object_; }
    void setObject(NSObject* object) { object_ = object; }
    NSInteger badgeNumber() { return badgeNumber_; }
    // Negative numbers count as 0; the tab that shows the item follows.
    void setBadgeNumber(NSInteger number);
    // The tab that shows the item (not retained; a freed tab is never messaged).
    Ref<DZTab> tabBar() { return tab_.lock(); }
    void setTabBar(DZTab* tab) { tab_ = tab; }

private:
    Ref<NSString> title_, icon_;
    Ref<NSObject> object_;
    NSInteger badgeNumber_ = 0;
    Weak<DZTab> tab_;
};

class DZTab : public DZButton {
    NS_OBJECT(DZTab, DZButton)

public:
    bool initWithItem(DZTabItem* item, DZTabBar* tabBar);
    void dealloc() override;
    Ref<DZTabItem> tabItem() { return tabItem_; }
    void setTabItem(DZTabItem* item);
    Ref<DZLabel> badge() { return badge_; }
    void tabItemBadgeNumberChanged(DZTabItem* item, NSInteger number);
    // The selected tab says so to assistive technology.
    UIAccessibilityTraits accessibilityTraits() override {
        return DZButton::accessibilityTraits() |
               (isSelected() ? UIAccessibilityTraitSelected : UIAccessibilityTraitNone);
    }
    void updateBadgeNumber();

private:
    Ref<DZTabItem> tabItem_;
    Ref<DZLabel> badge_;
};

class DZTabDelegate {
public:
    virtual ~DZTabDelegate() = default;
    // Optional ("tabBar:tabSelected:").
    virtual void tabBarTabSelected(DZTabBar*, NSInteger) {}
};

class DZTabBar : public DZView {
    NS_OBJECT(DZTabBar, DZView)
    static void describeClass(RuntimeClass& c);

public:
    static constexpr CGFloat kTabMargin = 10;
    static constexpr CGFloat kTabPadding = 20;  // both sides of a tab's text

    bool initWithFrame(CGRect frame) override;

    Ref<NSString> tabStyle() { return tabStyle_; }
    void setTabStyle(NSString* style);
    Ref<NSArray> tabItems() { return tabItems_; }
    // New items: the first tab comes up selected, and no one is told.
    virtual void setTabItems(NSArray* items);
    Ref<NSMutableArray> tabViews() { return tabViews_; }
    NSInteger selectedTabIndex() { return selectedTabIndex_; }
    void setSelectedTabIndex(NSInteger index);
    // Nil when no tab is selected or the index lies past the items.
    Ref<DZTabItem> selectedTabItem();
    void setSelectedTabItem(DZTabItem* item);
    Ref<DZTab> selectedTabView();
    void setSelectedTabView(DZTab* tab);
    Ref<DZTabDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(DZTabDelegate* delegate) { delegate_ = delegate; }

    void showTabAtIndex(NSInteger index);
    void hideTabAtIndex(NSInteger index);
    void tabTouchedUp(DZTab* tab);
    void layoutSubviews() override;

protected:
    virtual void addTab(DZTab* tab);
    virtual CGSize layoutTabs();

    Ref<NSString> tabStyle_;
    NSInteger selectedTabIndex_ = NSNotFound;
    Ref<NSArray> tabItems_;
    Ref<NSMutableArray> tabViews_;
    Weak<DZTabDelegate> delegate_;
};

class DZTabStrip : public DZTabBar {
    NS_OBJECT(DZTabStrip, DZTabBar)

public:
    bool initWithFrame(CGRect frame) override;
    void setTabItems(NSArray* items) override;
    void layoutSubviews() override;
    void updateOverflow();
    Ref<UIScrollView> scrollView() { return scrollView_; }
    Ref<DZView> overflowLeft() { return overflowLeft_; }
    Ref<DZView> overflowRight() { return overflowRight_; }

protected:
    void addTab(DZTab* tab) override;
    CGSize layoutTabs() override;

private:
    Ref<DZView> overflowLeft_, overflowRight_;
    Ref<UIScrollView> scrollView_;
};

class DZTabGrid : public DZTabBar {
    NS_OBJECT(DZTabGrid, DZTabBar)

public:
    bool initWithFrame(CGRect frame) override;
    void setTabItems(NSArray* items) override;
    NSInteger columnCount() { return columnCount_; }
    void setColumnCount(NSInteger count) { columnCount_ = count; }
    NSInteger rowCount();
    void updateTabStyles();
    CGSize sizeThatFits(CGSize size) override;

protected:
    CGSize layoutTabs() override;

private:
    NSInteger columnCount_ = 3;
};
