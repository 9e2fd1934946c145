#include "UIKit/UIBarButtonItem.h"

#include <initializer_list>

#include "CoreGraphics/CGContext.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"
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

// Strokes the lines through the points, or fills the shape they close.
void drawLines(CGContextRef c, std::initializer_list<CGPoint> points, bool filled) {
    CGContextBeginPath(c);
    for (const CGPoint& p : points) {
        if (&p == points.begin())
            CGContextMoveToPoint(c, p.x, p.y);
        else
            CGContextAddLineToPoint(c, p.x, p.y);
    }
    if (filled) {
        CGContextClosePath(c);
        CGContextFillPath(c);
    } else {
        CGContextStrokePath(c);
    }
}

// The glyph a bar shows for a system item the phone draws as a picture, white on the bar, in
// a 20-point square at the screen's scale.
Ref<UIImage> drawnGlyph(UIBarButtonSystemItem item) {
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(20, 20), false, 0);
    CGContextRef c = UIGraphicsGetCurrentContext();
    CGContextSetRGBStrokeColor(c, 1, 1, 1, 1);
    CGContextSetRGBFillColor(c, 1, 1, 1, 1);
    CGContextSetLineWidth(c, 2);
    if (item == UIBarButtonSystemItemRefresh) {
        // Most of a circle, its open end an arrowhead turning clockwise.
        CGContextBeginPath(c);
        CGContextAddArc(c, 10, 11, 6.5f, -1.2f, 4.3f, 0);
        CGContextStrokePath(c);
        drawLines(c, {{10.5f, 1}, {16, 4.5f}, {10.5f, 8.5f}}, true);
    } else if (item == UIBarButtonSystemItemAction) {
        // A tray open at its top right, an arrow leaving it upwards to the right.
        drawLines(c, {{9, 6}, {2, 6}, {2, 18}, {15, 18}, {15, 12}}, false);
        drawLines(c, {{7, 13}, {15, 5}}, false);
        drawLines(c, {{19, 1}, {18, 9}, {11, 2}}, true);
    } else if (item == UIBarButtonSystemItemStop) {
        CGContextSetLineWidth(c, 2.5f);
        drawLines(c, {{4, 4}, {16, 16}}, false);
        drawLines(c, {{16, 4}, {4, 16}}, false);
    }
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return image;
}

// The glyph of a system item shown as a picture, drawn once per kind; nil for the items that
// show their word. Kept in a slot, as they follow the screen's scale, which tests change.
Ref<UIImage> systemGlyph(NSInteger item) {
    if (item != UIBarButtonSystemItemRefresh && item != UIBarButtonSystemItemAction &&
        item != UIBarButtonSystemItemStop)
        return nullptr;
    struct Glyphs {
        Ref<UIImage> drawn[3];
    };
    static ProcessWide<Glyphs> glyphs;
    auto& drawn = glyphs.get()->drawn;
    size_t slot = item == UIBarButtonSystemItemRefresh  ? 0
                  : item == UIBarButtonSystemItemAction ? 1
                                                        : 2;
    if (!drawn[slot]) drawn[slot] = drawnGlyph(static_cast<UIBarButtonSystemItem>(item));
    return drawn[slot];
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

Ref<UIImage> UIBarButtonItem::systemImage() {
    return isSystemItem() ? systemGlyph(systemItem_) : nullptr;
}

Ref<NSString> UIBarButtonItem::displayTitle() {
    if (isSystemItem()) {
        // A glyph goes by the name its maker gave it (a stop sign that closes), else by its kind;
        // a word is what it shows.
        if (auto label = accessibilityLabel(); systemImage() && label && label->length() > 0)
            return label;
        return NSString::fromUTF8(systemTitle(systemItem_));
    }
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
    if (image() && !isSystemItem()) {
        button->setImage(image(), UIControlStateNormal);
    } else if (auto glyph = systemImage()) {
        // Known by its word, as a person would name the picture.
        button->setImage(glyph, UIControlStateNormal);
        button->setAccessibilityLabel(displayTitle());
    } else {
        button->setTitle(displayTitle(), UIControlStateNormal);
    }
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
