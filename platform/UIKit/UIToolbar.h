// Toolbars: a row of bar button items, laid out left to right with flexible spaces sharing the
// room left over.
#pragma once

#include "UIKit/UIView.h"

class UIBarButtonItem;
class UIColor;

enum UIBarStyle : NSInteger {
    UIBarStyleDefault = 0,
    UIBarStyleBlack = 1,
    UIBarStyleBlackOpaque = 1,
    UIBarStyleBlackTranslucent = 2,
};

class UIToolbar : public UIView {
    NS_OBJECT(UIToolbar, UIView)
    static void describeClass(RuntimeClass& c);
    bool initWithFrame(CGRect frame) override;

    UIBarStyle barStyle() { return barStyle_; }
    void setBarStyle(UIBarStyle s) { barStyle_ = s; }
    Ref<UIColor> tintColor() { return tintColor_; }
    void setTintColor(UIColor* color);
    bool isTranslucent() { return translucent_; }
    void setTranslucent(bool v) { translucent_ = v; }
    Ref<NSArray> items() { return items_; }
    void setItems(NSArray* items);
    void setItems(NSArray* items, bool animated);
    // Where each item sits (bounds coordinates), spaces included; computed at layout.
    CGRect frameForItemAtIndex(NSUInteger index);

    void layoutSubviews() override;
    CGSize sizeThatFits(CGSize size) override;

private:
    UIBarStyle barStyle_ = UIBarStyleDefault;
    Ref<UIColor> tintColor_;
    bool translucent_ = false;
    Ref<NSArray> items_;
    std::vector<CGRect> itemFrames_;
};

// Widths for laying bar button items out in a row: each item's content width, flexible spaces
// sharing what is left of `width` (fixed spaces take their width). Also used by navigation bars.
std::vector<CGRect> UIBarLayoutItems(NSArray* items, CGRect area, CGFloat spacing);
// The natural width of an item on a bar (its width, custom view width or title measure).
CGFloat UIBarItemNaturalWidth(UIBarButtonItem* item);
