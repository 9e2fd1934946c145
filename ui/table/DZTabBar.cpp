#include "ui/table/DZTabBar.h"

#include <algorithm>
#include <cmath>

#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIScrollView.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/style/DZLabel.h"
#include "ui/style/DZViewLayouts.h"

namespace {
constexpr NSInteger kBadgeLimit = 99;
Ref<DZStyle> sheetStyle(const char* name) {
    return DZStyleSheet::globalStyleSheet()->styleWithSelector(
        NSString::stringWithUTF8String(name));
}
NSInteger countOf(NSArray* array) {
    return array ? static_cast<NSInteger>(array->count()) : 0;
}
}  // namespace

// ---- DZTabItem ---------------------------------------------------------------------------------

bool DZTabItem::initWithTitle(NSString* title) {
    if (!init()) return false;
    setTitle(title);
    return true;
}

void DZTabItem::setTitle(NSString* title) {
    title_ = title ? title->copy() : nullptr;
}

void DZTabItem::setIcon(NSString* icon) {
    icon_ = icon ? icon->copy() : nullptr;
}

void DZTabItem::setBadgeNumber(NSInteger number) {
    badgeNumber_ = std::max<NSInteger>(number, 0);
    if (auto tab = tab_.lock()) tab->tabItemBadgeNumberChanged(this, badgeNumber_);
}

// ---- DZTab -------------------------------------------------------------------------------------

bool DZTab::initWithItem(DZTabItem* item, DZTabBar*) {
    if (!init()) return false;
    setTabItem(item);
    return true;
}

void DZTab::dealloc() {
    if (tabItem_ && tabItem_->tabBar().get() == this) tabItem_->setTabBar(nullptr);
    tabItem_ = nullptr;
    badge_ = nullptr;
    DZButton::dealloc();
}

void DZTab::setTabItem(DZTabItem* item) {
    if (item == tabItem_.get()) return;
    if (tabItem_) tabItem_->setTabBar(nullptr);
    tabItem_ = item;
    if (!item) return;
    item->setTabBar(this);
    setTitle(item->title(), UIControlStateNormal);
    setImage(item->icon(), UIControlStateNormal);
    if (item->badgeNumber() != 0) updateBadgeNumber();
}

void DZTab::tabItemBadgeNumberChanged(DZTabItem*, NSInteger) {
    updateBadgeNumber();
}

void DZTab::updateBadgeNumber() {
    NSInteger number = tabItem_ ? tabItem_->badgeNumber() : 0;
    if (number == 0) {
        if (badge_) badge_->setHidden(true);
        return;
    }
    if (!badge_) {
        badge_ = make<DZLabel>(&DZLabel::initWithFrame, CGRectZero);
        badge_->setStyle(sheetStyle("badge"));
        badge_->setBackgroundColor(UIColor::clearColor());
        badge_->setUserInteractionEnabled(false);
        addSubview(badge_);
    }
    badge_->setText(number > kBadgeLimit
                        ? NSString::stringWithFormat(NS("%d+"), static_cast<int>(kBadgeLimit))
                        : NSString::stringWithFormat(NS("%d"), static_cast<int>(number)));
    badge_->sizeToFit();
    CGSize size = badge_->frame().size;
    badge_->setFrame(CGRectMake(frame().size.width - size.width - 1, 1, size.width, size.height));
    badge_->setHidden(false);
}

// ---- DZTabBar ----------------------------------------------------------------------------------

void DZTabBar::describeClass(RuntimeClass& c) {
    c.method("tabTouchedUp:", &DZTabBar::tabTouchedUp);
}

bool DZTabBar::initWithFrame(CGRect frame) {
    if (!DZView::initWithFrame(frame)) return false;
    selectedTabIndex_ = NSNotFound;
    tabViews_ = NSMutableArray::array();
    setStyle(sheetStyle("tabBar"));
    setTabStyle(NS("tab:"));
    return true;
}

void DZTabBar::setTabStyle(NSString* style) {
    tabStyle_ = style ? style->copy() : nullptr;
}

void DZTabBar::setTabItems(NSArray* items) {
    tabItems_ = items;
    for (NSObject* view : *tabViews_)
        static_cast<UIView*>(view)->removeFromSuperview();
    tabViews_->removeAllObjects();
    selectedTabIndex_ = 0;
    if (items) {
        NSInteger i = 0;
        for (NSObject* object : *items) {
            auto item = static_cast<DZTabItem*>(object);
            auto tab = make<DZTab>(&DZTab::initWithItem, item, this);
            tab->setStylesWithSelector(tabStyle_);
            tab->addTarget(this, Selector::named("tabTouchedUp:"), UIControlEventTouchUpInside);
            addTab(tab);
            tabViews_->addObject(tab);
            if (i++ == selectedTabIndex_) tab->setSelected(true);
        }
    }
    setNeedsLayout();
}

void DZTabBar::addTab(DZTab* tab) {
    addSubview(tab);
}

void DZTabBar::tabTouchedUp(DZTab* tab) {
    setSelectedTabView(tab);
}

void DZTabBar::setSelectedTabIndex(NSInteger index) {
    if (index == selectedTabIndex_) return;
    if (auto old = selectedTabView()) old->setSelected(false);
    selectedTabIndex_ = index;
    if (auto now = selectedTabView()) now->setSelected(true);
    auto d = delegate_.lock();
    if (respondsTo(d.get(), Selector::named("tabBar:tabSelected:")))
        d->tabBarTabSelected(this, index);
}

Ref<DZTab> DZTabBar::selectedTabView() {
    if (selectedTabIndex_ == NSNotFound || selectedTabIndex_ < 0 ||
        selectedTabIndex_ >= countOf(tabViews_))
        return nullptr;
    return cast<DZTab>(tabViews_->objectAtIndex(static_cast<NSUInteger>(selectedTabIndex_)));
}

Ref<DZTabItem> DZTabBar::selectedTabItem() {
    if (selectedTabIndex_ == NSNotFound || selectedTabIndex_ < 0 ||
        selectedTabIndex_ >= countOf(tabItems_))
        return nullptr;
    return cast<DZTabItem>(tabItems_->objectAtIndex(static_cast<NSUInteger>(selectedTabIndex_)));
}

void DZTabBar::setSelectedTabItem(DZTabItem* item) {
    NSUInteger i = tabItems_ ? tabItems_->indexOfObject(item) : NSNotFound;
    setSelectedTabIndex(i == NSNotFound ? NSNotFound : static_cast<NSInteger>(i));
}

void DZTabBar::setSelectedTabView(DZTab* tab) {
    NSUInteger i = tabViews_->indexOfObject(tab);
    setSelectedTabIndex(i == NSNotFound ? NSNotFound : static_cast<NSInteger>(i));
}

void DZTabBar::showTabAtIndex(NSInteger index) {
    if (index >= 0 && index < countOf(tabViews_))
        cast<UIView>(tabViews_->objectAtIndex(static_cast<NSUInteger>(index)))->setHidden(false);
}

void DZTabBar::hideTabAtIndex(NSInteger index) {
    if (index >= 0 && index < countOf(tabViews_))
        cast<UIView>(tabViews_->objectAtIndex(static_cast<NSUInteger>(index)))->setHidden(true);
}

void DZTabBar::layoutSubviews() {
    DZView::layoutSubviews();
    layoutTabs();
}

CGSize DZTabBar::layoutTabs() {
    CGFloat x = kTabMargin;
    CGFloat width = frame().size.width, height = frame().size.height;
    NSInteger n = countOf(tabViews_);
    if (contentMode() == UIViewContentModeScaleToFill && n > 0) {
        CGFloat available = width - (kTabMargin * 2 + kTabPadding * n);
        CGFloat textSum = 0, tabSum = kTabMargin * 2, widest = 0;
        for (NSObject* object : *tabViews_) {
            auto tab = static_cast<DZTab*>(object);
            tab->sizeToFit();
            CGFloat w = tab->frame().size.width;
            textSum += w - kTabPadding;
            tabSum += w;
            widest = std::max(widest, w);
        }
        if (textSum > available) {
            // Too wide: every text shrinks by one factor, each tab keeping its padding.
            CGFloat factor = textSum > 0 ? available / textSum : 0;
            for (NSObject* object : *tabViews_) {
                auto tab = static_cast<DZTab*>(object);
                CGFloat w =
                    std::ceil((tab->frame().size.width - kTabPadding) * factor) + kTabPadding;
                tab->setFrame(CGRectMake(x, 0, w, height));
                x += w;
            }
        } else {
            CGFloat average = std::ceil((width - kTabMargin * 2) / n);
            bool fitted = widest > average && width - tabSum < kTabMargin;
            for (NSObject* object : *tabViews_) {
                auto tab = static_cast<DZTab*>(object);
                CGFloat w = fitted ? tab->frame().size.width : average;
                tab->setFrame(CGRectMake(x, 0, w, height));
                x += w;
            }
        }
    } else {
        for (NSObject* object : *tabViews_) {
            auto tab = static_cast<DZTab*>(object);
            tab->sizeToFit();
            CGFloat w = tab->frame().size.width;
            tab->setFrame(CGRectMake(x, 0, w, height));
            x += w;
        }
    }
    for (NSObject* object : *tabViews_)
        static_cast<DZTab*>(object)->updateBadgeNumber();
    return CGSizeMake(x, height);
}

// ---- DZTabStrip --------------------------------------------------------------------------------

bool DZTabStrip::initWithFrame(CGRect frame) {
    if (!DZTabBar::initWithFrame(frame)) return false;
    scrollView_ = make<UIScrollView>(&UIScrollView::initWithFrame, CGRectZero);
    scrollView_->setScrollEnabled(true);
    scrollView_->setScrollsToTop(false);
    scrollView_->setShowsHorizontalScrollIndicator(false);
    scrollView_->setShowsVerticalScrollIndicator(false);
    addSubview(scrollView_);
    setStyle(sheetStyle("tabStrip"));
    setTabStyle(NS("tabRound:"));
    return true;
}

void DZTabStrip::addTab(DZTab* tab) {
    scrollView_->addSubview(tab);
}

CGSize DZTabStrip::layoutTabs() {
    CGSize size = DZTabBar::layoutTabs();
    CGPoint offset = scrollView_->contentOffset();
    scrollView_->setFrame(bounds());
    scrollView_->setContentOffset(offset);
    scrollView_->setContentSize(CGSizeMake(size.width + kTabMargin, frame().size.height));
    return size;
}

void DZTabStrip::layoutSubviews() {
    DZTabBar::layoutSubviews();
    updateOverflow();
}

void DZTabStrip::setTabItems(NSArray* items) {
    DZTabBar::setTabItems(items);
    updateOverflow();
}

void DZTabStrip::updateOverflow() {
    if (scrollView_->isDragging() || scrollView_->isDecelerating()) return;
    CGFloat offset = scrollView_->contentOffset().x;
    CGFloat width = frame().size.width;
    auto arrow = [this](const char* style) {
        auto view = make<DZView>(&DZView::initWithFrame, CGRectZero);
        view->setStyle(sheetStyle(style));
        view->setUserInteractionEnabled(false);
        view->setBackgroundColor(UIColor::clearColor());
        view->sizeToFit();
        addSubview(view);
        return view;
    };
    if (offset < scrollView_->contentSize().width - width) {
        if (!overflowRight_) overflowRight_ = arrow("tabOverflowRight");
        CGRect f = overflowRight_->frame();
        f.origin.x = width - f.size.width;
        overflowRight_->setFrame(f);
        overflowRight_->setHidden(false);
    } else if (overflowRight_) {
        overflowRight_->setHidden(true);
    }
    if (offset > 0) {
        if (!overflowLeft_) overflowLeft_ = arrow("tabOverflowLeft");
        overflowLeft_->setHidden(false);
    } else if (overflowLeft_) {
        overflowLeft_->setHidden(true);
    }
}

// ---- DZTabGrid ---------------------------------------------------------------------------------

bool DZTabGrid::initWithFrame(CGRect frame) {
    if (!DZTabBar::initWithFrame(frame)) return false;
    setStyle(sheetStyle("tabGrid"));
    columnCount_ = 3;
    return true;
}

NSInteger DZTabGrid::rowCount() {
    if (columnCount_ <= 0) return 0;
    return static_cast<NSInteger>(
        std::ceil(static_cast<float>(countOf(tabViews_)) / static_cast<float>(columnCount_)));
}

void DZTabGrid::setTabItems(NSArray* items) {
    DZTabBar::setTabItems(items);
    updateTabStyles();
}

void DZTabGrid::updateTabStyles() {
    NSInteger c = columnCount_, n = countOf(tabViews_);
    NSInteger cells = rowCount() * c;
    for (NSInteger i = 0; i < n; ++i) {
        const char* style = "tabGridTabCenter:";
        if (n > c) {
            if (i == 0)
                style = "tabGridTabTopLeft:";
            else if (i == c - 1)
                style = "tabGridTabTopRight:";
            else if (i == cells - c)
                style = "tabGridTabBottomLeft:";
            else if (i == cells - 1)
                style = "tabGridTabBottomRight:";
        } else if (i == 0) {
            style = "tabGridTabLeft:";
        } else if (i == c - 1) {
            style = "tabGridTabRight:";
        }
        cast<DZTab>(tabViews_->objectAtIndex(static_cast<NSUInteger>(i)))
            ->setStylesWithSelector(NSString::stringWithUTF8String(style));
    }
}

CGSize DZTabGrid::layoutTabs() {
    CGSize size = frame().size;
    if (size.width == 0 || size.height == 0) return size;
    auto layout = make<DZGridLayout>();
    layout->setPadding(1);
    layout->setColumnCount(columnCount_);
    return layout->layoutSubviews(tabViews_, this);
}

CGSize DZTabGrid::sizeThatFits(CGSize size) {
    CGSize base = DZTabBar::sizeThatFits(size);
    if (countOf(tabViews_) == 0) return size;
    NSInteger rows = rowCount();
    if (rows == 0) return CGSizeMake(size.width, 0);
    auto first = cast<DZTab>(tabViews_->objectAtIndex(0));
    CGFloat tabHeight = first->sizeThatFits(size).height;
    return CGSizeMake(size.width, tabHeight * rows + base.height);
}
