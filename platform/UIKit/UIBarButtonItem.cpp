#include "UIKit/UIBarButtonItem.h"

#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIToolbar.h"

namespace {
const char* systemTitle(NSInteger item) {
    static const char* names[] = {
        "Done",  "Cancel", "Edit",     "Save",      "Add",          "",        "",     "Compose",
        "Reply", "Action", "Organize", "Bookmarks", "Search",       "Refresh", "Stop", "Camera",
        "Trash", "Play",   "Pause",    "Rewind",    "Fast Forward", "Undo",    "Redo", "Page Curl"};
    if (item < 0 || item >= static_cast<NSInteger>(sizeof names / sizeof names[0])) return "";
    return names[item];
}

// The button a bar shows for an item; its taps come back to the item.
class UIBarButtonItemView : public UIButton {
    NS_OBJECT(UIBarButtonItemView, UIButton)
};
}  // namespace

void UIBarButtonItem::describeClass(RuntimeClass& c) {
    c.method("itemViewTapped:", &UIBarButtonItem::itemViewTapped);
    c.property("customView", &UIBarButtonItem::customView, &UIBarButtonItem::setCustomView);
}

bool UIBarButtonItem::initWithTitle(NSString* title, UIBarButtonItemStyle style, NSObject* target,
                                    SEL action) {
    UIBarItem::setTitle(title);
    style_ = style;
    setTarget(target);
    action_ = action;
    return true;
}

bool UIBarButtonItem::initWithImage(UIImage* image, UIBarButtonItemStyle style, NSObject* target,
                                    SEL action) {
    UIBarItem::setImage(image);
    style_ = style;
    setTarget(target);
    action_ = action;
    return true;
}

bool UIBarButtonItem::initWithBarButtonSystemItem(UIBarButtonSystemItem item, NSObject* target,
                                                  SEL action) {
    systemItem_ = item;
    style_ = (item == UIBarButtonSystemItemDone || item == UIBarButtonSystemItemSave)
                 ? UIBarButtonItemStyleDone
                 : UIBarButtonItemStyleBordered;
    setTarget(target);
    action_ = action;
    return true;
}

bool UIBarButtonItem::initWithCustomView(UIView* view) {
    customView_ = view;
    style_ = UIBarButtonItemStylePlain;
    return true;
}

bool UIBarButtonItem::isSpace() {
    return systemItem_ == UIBarButtonSystemItemFlexibleSpace ||
           systemItem_ == UIBarButtonSystemItemFixedSpace;
}

void UIBarButtonItem::setStyle(UIBarButtonItemStyle style) {
    style_ = style;
    updateItemView();
}

void UIBarButtonItem::setWidth(CGFloat width) {
    width_ = width;
    updateItemView();
}

void UIBarButtonItem::setPossibleTitles(NSSet* titles) {
    possibleTitles_ = titles;
}

void UIBarButtonItem::setCustomView(UIView* view) {
    customView_ = view;
    itemView_ = nullptr;
}

void UIBarButtonItem::setTintColor(UIColor* color) {
    tintColor_ = color;
}

Ref<NSString> UIBarButtonItem::displayTitle() {
    if (isSystemItem()) return NSString::fromUTF8(systemTitle(systemItem_));
    return UIBarItem::displayTitle();
}

void UIBarButtonItem::setEnabled(bool enabled) {
    UIBarItem::setEnabled(enabled);
    updateItemView();
}

void UIBarButtonItem::setTitle(NSString* title) {
    UIBarItem::setTitle(title);
    updateItemView();
}

void UIBarButtonItem::setImage(UIImage* image) {
    UIBarItem::setImage(image);
    updateItemView();
}

Ref<UIView> UIBarButtonItem::itemView() {
    if (customView_) return customView_;
    if (isSpace()) return nullptr;
    if (!itemView_) {
        auto button = make<UIBarButtonItemView>();
        button->addTarget(this, Selector::named("itemViewTapped:"), UIControlEventTouchUpInside);
        itemView_ = button;
        updateItemView();
    }
    return itemView_;
}

void UIBarButtonItem::updateItemView() {
    auto button = as<UIButton>(itemView_);
    if (!button) return;
    button->setEnabled(isEnabled());
    if (image() && !isSystemItem())
        button->setImage(image(), UIControlStateNormal);
    else
        button->setTitle(displayTitle(), UIControlStateNormal);
    button->titleLabel()->setFont(UIFont::boldSystemFontOfSize(12));
    CGRect f = button->frame();
    button->setFrame(CGRectMake(f.origin.x, f.origin.y, UIBarItemNaturalWidth(this), 30));
    if (auto bar = button->superview()) bar->setNeedsLayout();
}

void UIBarButtonItem::itemViewTapped(NSObject*) {
    sendAction();
}

bool UIBarButtonItem::sendAction() {
    if (!isEnabled() || !action_) return false;
    Ref<UIBarButtonItem> self(this);
    auto target = target_.lock();
    if (hasTarget_ && !target) return false;  // a freed target is never messaged
    return UIApplication::sharedApplication()->sendAction(action_, target, this, nullptr);
}
