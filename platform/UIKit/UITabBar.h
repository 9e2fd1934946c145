// Tab bars and their items: a row of items, one selected; a tap selects an item and tells the
// delegate.
#pragma once

#include <vector>

#include "UIKit/UIBarItem.h"
#include "UIKit/UIView.h"

class UIColor;
class UITabBar;

enum UITabBarSystemItem : NSInteger {
    UITabBarSystemItemMore = 0,
    UITabBarSystemItemFavorites,
    UITabBarSystemItemFeatured,
    UITabBarSystemItemTopRated,
    UITabBarSystemItemRecents,
    UITabBarSystemItemContacts,
    UITabBarSystemItemHistory,
    UITabBarSystemItemBookmarks,
    UITabBarSystemItemSearch,
    UITabBarSystemItemDownloads,
    UITabBarSystemItemMostRecent,
    UITabBarSystemItemMostViewed,
};

class UITabBarItem : public UIBarItem {
    NS_OBJECT(UITabBarItem, UIBarItem)
    static void describeClass(RuntimeClass& c);
    bool initWithTitle(NSString* title, UIImage* image, NSInteger tag);
    // A system item shows the platform's title and image for it ("More", "Favorites",
    // "Featured", "Top Rated", "Recents", "Contacts", "History", "Bookmarks", "Search",
    // "Downloads", "Most Recent", "Most Viewed"); its title cannot be changed.
    bool initWithTabBarSystemItem(UITabBarSystemItem item, NSInteger tag);

    bool isSystemItem() { return systemItem_ >= 0; }
    UITabBarSystemItem systemItem() { return static_cast<UITabBarSystemItem>(systemItem_); }
    Ref<NSString> badgeValue() { return badgeValue_; }
    void setBadgeValue(NSString* value);
    void setFinishedSelectedImage(UIImage* selected, UIImage* unselected);
    Ref<UIImage> finishedSelectedImage() { return finishedSelected_; }
    Ref<UIImage> finishedUnselectedImage() { return finishedUnselected_; }

    void setTitle(NSString* title) override;
    void setImage(UIImage* image) override;

    // The bar that shows the item.
    Ref<UITabBar> tabBar() { return bar_.lock(); }
    void setTabBar(UITabBar* bar) { bar_ = bar; }

protected:
    void itemChanged() override;

private:
    NSInteger systemItem_ = -1;
    Ref<NSString> badgeValue_;
    Ref<UIImage> finishedSelected_, finishedUnselected_;
    Weak<UITabBar> bar_;
};

// All optional.
class UITabBarDelegate {
public:
    virtual ~UITabBarDelegate() = default;
    virtual void tabBarDidSelectItem(UITabBar*, UITabBarItem*) {}
};

class UITabBar : public UIView {
    NS_OBJECT(UITabBar, UIView)
    static void describeClass(RuntimeClass& c);
    // 49 points high.
    bool initWithFrame(CGRect frame) override;

    // Not retained.
    Ref<UITabBarDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(UITabBarDelegate* delegate) { delegate_ = delegate; }
    Ref<NSArray> items() { return items_; }
    // The selection stays when the selected item is still among the items.
    void setItems(NSArray* items);
    void setItems(NSArray* items, bool animated);
    // nil or one of the items (another item is ignored).
    Ref<UITabBarItem> selectedItem() { return selected_.lock(); }
    void setSelectedItem(UITabBarItem* item);
    Ref<UIColor> tintColor() { return tintColor_; }
    void setTintColor(UIColor* color);
    Ref<UIColor> selectedImageTintColor() { return selectedTint_; }
    void setSelectedImageTintColor(UIColor* color);

    // The user's tap on an item: selects it and tells the delegate (also when it was already
    // selected, as the platform does). Disabled items ignore taps.
    void userSelectItem(UITabBarItem* item);
    // The item's rectangle in the bar's bounds (equal widths).
    CGRect frameForItemAtIndex(NSUInteger index);
    NSInteger itemIndexAtPoint(CGPoint point);

    void touchesEnded(NSSet* touches, UIEvent* event) override;
    CGSize sizeThatFits(CGSize size) override;
    void itemChanged(UITabBarItem* item);

private:
    Weak<UITabBarDelegate> delegate_;
    Ref<NSArray> items_;
    Weak<UITabBarItem> selected_;
    Ref<UIColor> tintColor_, selectedTint_;
};
