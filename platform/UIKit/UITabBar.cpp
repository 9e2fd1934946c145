#include "UIKit/UITabBar.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"

namespace {
constexpr CGFloat kBarHeight = 49;

const char* systemTitle(NSInteger item) {
    static const char* names[] = {"More",    "Favorites", "Featured",    "Top Rated",
                                  "Recents", "Contacts",  "History",     "Bookmarks",
                                  "Search",  "Downloads", "Most Recent", "Most Viewed"};
    if (item < 0 || item >= static_cast<NSInteger>(sizeof names / sizeof names[0])) return "";
    return names[item];
}
}  // namespace

// ---- UITabBarItem ---------------------------------------------------------------------------

void UITabBarItem::describeClass(RuntimeClass& c) {
    c.property("badgeValue", &UITabBarItem::badgeValue, &UITabBarItem::setBadgeValue);
}

bool UITabBarItem::initWithTitle(NSString* title, UIImage* image, NSInteger tag) {
    UIBarItem::setTitle(title);
    UIBarItem::setImage(image);
    setTag(tag);
    return true;
}

bool UITabBarItem::initWithTabBarSystemItem(UITabBarSystemItem item, NSInteger tag) {
    systemItem_ = item;
    UIBarItem::setTitle(NSString::fromUTF8(systemTitle(item)));
    setTag(tag);
    return true;
}

void UITabBarItem::setBadgeValue(NSString* value) {
    badgeValue_ = value ? value->copy() : nullptr;
    itemChanged();
}

void UITabBarItem::setFinishedSelectedImage(UIImage* selected, UIImage* unselected) {
    finishedSelected_ = selected;
    finishedUnselected_ = unselected;
    itemChanged();
}

void UITabBarItem::setTitle(NSString* title) {
    // A system item keeps the platform's title and image.
    if (isSystemItem()) return;
    UIBarItem::setTitle(title);
}

void UITabBarItem::setImage(UIImage* image) {
    if (isSystemItem()) return;
    UIBarItem::setImage(image);
}

void UITabBarItem::itemChanged() {
    if (auto bar = bar_.lock()) bar->itemChanged(this);
}

// ---- UITabBar
// -------------------------------------------------------------------------------------

void UITabBar::describeClass(RuntimeClass& c) {
    c.property("selectedItem", &UITabBar::selectedItem, &UITabBar::setSelectedItem);
}

bool UITabBar::initWithFrame(CGRect frame) {
    return UIView::initWithFrame(frame);
}

void UITabBar::setItems(NSArray* items) {
    setItems(items, false);
}

void UITabBar::setItems(NSArray* items, bool) {
    if (items_) {
        for (NSUInteger i = 0; i < items_->count(); ++i)
            if (auto item = as<UITabBarItem>(items_->objectAtIndex(i)))
                if (item->tabBar().get() == this) item->setTabBar(nullptr);
    }
    items_ = items ? items->copy() : nullptr;
    bool keep = false;
    if (items_) {
        for (NSUInteger i = 0; i < items_->count(); ++i) {
            auto item = as<UITabBarItem>(items_->objectAtIndex(i));
            if (!item) continue;
            item->setTabBar(this);
            if (selected_.is(item.get())) keep = true;
        }
    }
    if (!keep) selected_.reset();
    setNeedsDisplay();
}

void UITabBar::setSelectedItem(UITabBarItem* item) {
    if (item && !(items_ && items_->containsObject(item))) return;
    selected_ = item;
    setNeedsDisplay();
}

void UITabBar::setTintColor(UIColor* color) {
    tintColor_ = color;
    setNeedsDisplay();
}

void UITabBar::setSelectedImageTintColor(UIColor* color) {
    selectedTint_ = color;
    setNeedsDisplay();
}

void UITabBar::userSelectItem(UITabBarItem* item) {
    if (!item || !item->isEnabled() || !(items_ && items_->containsObject(item))) return;
    Ref<UITabBar> self(this);
    Ref<UITabBarItem> keep(item);
    selected_ = item;
    setNeedsDisplay();
    if (auto d = delegate()) d->tabBarDidSelectItem(this, item);
}

CGRect UITabBar::frameForItemAtIndex(NSUInteger index) {
    NSUInteger n = items_ ? items_->count() : 0;
    if (index >= n) return CGRectZero;
    CGRect b = bounds();
    CGFloat w = b.size.width / static_cast<CGFloat>(n);
    return CGRectMake(b.origin.x + w * static_cast<CGFloat>(index), b.origin.y, w, b.size.height);
}

NSInteger UITabBar::itemIndexAtPoint(CGPoint point) {
    NSUInteger n = items_ ? items_->count() : 0;
    for (NSUInteger i = 0; i < n; ++i)
        if (CGRectContainsPoint(frameForItemAtIndex(i), point)) return static_cast<NSInteger>(i);
    return -1;
}

void UITabBar::touchesEnded(NSSet* touches, UIEvent*) {
    auto touch = touches ? as<UITouch>(touches->anyObject()) : nullptr;
    if (!touch) return;
    // A finger that lifts on another item than it landed on slid there: it selects neither.
    NSInteger i = itemIndexAtPoint(touch->locationInView(this));
    if (i >= 0 && i == itemIndexAtPoint(touch->landingLocationInView(this)))
        userSelectItem(as<UITabBarItem>(items_->objectAtIndex(static_cast<NSUInteger>(i))));
}

CGSize UITabBar::sizeThatFits(CGSize size) {
    return CGSizeMake(size.width > 0 ? size.width : 320, kBarHeight);
}

void UITabBar::itemChanged(UITabBarItem*) {
    setNeedsDisplay();
}
