// The common part of bar button items and tab bar items.
#pragma once

#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"
#include "UIKit/UIGeometry.h"

class UIImage;

class UIBarItem : public NSObject {
    NS_OBJECT(UIBarItem, NSObject)
    static void describeClass(RuntimeClass& c);

    bool isEnabled() { return enabled_; }
    virtual void setEnabled(bool enabled);
    Ref<NSString> title() { return title_; }
    virtual void setTitle(NSString* title);
    Ref<UIImage> image() { return image_; }
    virtual void setImage(UIImage* image);
    UIEdgeInsets imageInsets() { return imageInsets_; }
    void setImageInsets(UIEdgeInsets insets) { imageInsets_ = insets; }
    NSInteger tag() { return tag_; }
    void setTag(NSInteger tag) { tag_ = tag; }

    // The text a person or the shell knows an image-only item by.
    Ref<NSString> accessibilityLabel() { return accessibilityLabel_; }
    void setAccessibilityLabel(NSString* label) {
        accessibilityLabel_ = label ? label->copy() : nullptr;
    }

    // Whether assistive technology lists the item as an element of its own.
    bool isAccessibilityElement() { return accessibilityElement_; }
    void setIsAccessibilityElement(bool element) { accessibilityElement_ = element; }

    // What the shell shows for the item: its title, or the name of its system item (a glyph's
    // accessibility label first); for an image-only item its accessibility label, else its
    // image's name.
    virtual Ref<NSString> displayTitle();

protected:
    // Lets the bar that shows the item redraw it.
    virtual void itemChanged() {}

private:
    bool enabled_ = true;
    bool accessibilityElement_ = false;
    Ref<NSString> title_;
    Ref<NSString> accessibilityLabel_;
    Ref<UIImage> image_;
    UIEdgeInsets imageInsets_{};
    NSInteger tag_ = 0;
};
