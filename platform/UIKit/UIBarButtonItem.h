// Bar button items: a title, an image, a system item or a custom view on a toolbar or a
// navigation bar, with a target and action sent with the item as the sender.
#pragma once

#include "UIKit/UIBarItem.h"

class NSSet;
class UIColor;
class UIView;

enum UIBarButtonItemStyle : NSInteger {
    UIBarButtonItemStylePlain = 0,
    UIBarButtonItemStyleBordered,
    UIBarButtonItemStyleDone,
};

enum UIBarButtonSystemItem : NSInteger {
    UIBarButtonSystemItemDone = 0,
    UIBarButtonSystemItemCancel,
    UIBarButtonSystemItemEdit,
    UIBarButtonSystemItemSave,
    UIBarButtonSystemItemAdd,
    UIBarButtonSystemItemFlexibleSpace,
    UIBarButtonSystemItemFixedSpace,
    UIBarButtonSystemItemCompose,
    UIBarButtonSystemItemReply,
    UIBarButtonSystemItemAction,
    UIBarButtonSystemItemOrganize,
    UIBarButtonSystemItemBookmarks,
    UIBarButtonSystemItemSearch,
    UIBarButtonSystemItemRefresh,
    UIBarButtonSystemItemStop,
    UIBarButtonSystemItemCamera,
    UIBarButtonSystemItemTrash,
    UIBarButtonSystemItemPlay,
    UIBarButtonSystemItemPause,
    UIBarButtonSystemItemRewind,
    UIBarButtonSystemItemFastForward,
    UIBarButtonSystemItemUndo,
    UIBarButtonSystemItemRedo,
    UIBarButtonSystemItemPageCurl,
};

class UIBarButtonItem : public UIBarItem {
    NS_OBJECT(UIBarButtonItem, UIBarItem)
    static void describeClass(RuntimeClass& c);

    bool initWithTitle(NSString* title, UIBarButtonItemStyle style, NSObject* target, SEL action);
    bool initWithImage(UIImage* image, UIBarButtonItemStyle style, NSObject* target, SEL action);
    // Done and Save take the done style; the rest are bordered. A system item has no title; its
    // display title is the platform's label for it ("Done", "Cancel", "Edit", "Save", "Undo",
    // "Redo") or its name ("Add", "Compose", "Refresh", ...).
    bool initWithBarButtonSystemItem(UIBarButtonSystemItem item, NSObject* target, SEL action);
    bool initWithCustomView(UIView* view);

    bool isSystemItem() { return systemItem_ >= 0; }
    UIBarButtonSystemItem systemItem() { return static_cast<UIBarButtonSystemItem>(systemItem_); }
    // A flexible or fixed space takes room and shows nothing.
    bool isSpace();
    UIBarButtonItemStyle style() { return style_; }
    void setStyle(UIBarButtonItemStyle style);
    // 0: the width of the content (fixed spaces take it as their width).
    CGFloat width() { return width_; }
    void setWidth(CGFloat width);
    Ref<NSSet> possibleTitles() { return possibleTitles_; }
    void setPossibleTitles(NSSet* titles);
    Ref<UIView> customView() { return customView_; }
    void setCustomView(UIView* view);
    Ref<UIColor> tintColor() { return tintColor_; }
    void setTintColor(UIColor* color);
    // Not retained; a nil target goes up the responder chain.
    Ref<NSObject> target() { return target_.lock(); }
    void setTarget(NSObject* target) {
        target_ = target;
        hasTarget_ = target != nullptr;
    }
    SEL action() { return action_; }
    void setAction(SEL action) { action_ = action; }

    // The view that shows the item on a bar: the custom view, else a button made for the item
    // (its taps send the item's action). Spaces have none.
    Ref<UIView> itemView();
    // The tap: sends the action to the target with the item as sender, when enabled.
    // NO when the item is disabled or nobody took the action.
    bool sendAction();

    // The picture a system item shows in place of its word (refresh, action, stop), white for
    // the bar; nil for other items.
    Ref<UIImage> systemImage();
    Ref<NSString> displayTitle() override;
    void setEnabled(bool enabled) override;
    void setTitle(NSString* title) override;
    void setImage(UIImage* image) override;

    // The item view's tap.
    void itemViewTapped(NSObject* sender);

private:
    void updateItemView();
    NSInteger systemItem_ = -1;
    UIBarButtonItemStyle style_ = UIBarButtonItemStylePlain;
    CGFloat width_ = 0;
    Ref<NSSet> possibleTitles_;
    Ref<UIView> customView_;
    Ref<UIView> itemView_;
    Ref<UIColor> tintColor_;
    Weak<NSObject> target_;
    bool hasTarget_ = false;
    SEL action_ = nullptr;
};
