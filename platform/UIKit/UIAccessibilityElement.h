// An accessibility element that is not a view: a part of a view (a link in a run of text, a
// line) with its own label, traits and frame in screen coordinates. A view that shows such
// parts answers the container queries of UIView with them.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIView.h"

class NSString;

class UIAccessibilityElement : public NSObject {
    NS_OBJECT(UIAccessibilityElement, NSObject)
    bool initWithAccessibilityContainer(NSObject* container);

    // The object that lists the element (not retained).
    Ref<NSObject> accessibilityContainer() { return container_.lock(); }
    bool isAccessibilityElement() { return isElement_; }
    void setIsAccessibilityElement(bool isElement) { isElement_ = isElement; }
    Ref<NSString> accessibilityLabel() { return label_; }
    void setAccessibilityLabel(NSString* label);
    UIAccessibilityTraits accessibilityTraits() { return traits_; }
    void setAccessibilityTraits(UIAccessibilityTraits traits) { traits_ = traits; }
    // In screen coordinates.
    CGRect accessibilityFrame() { return frame_; }
    void setAccessibilityFrame(CGRect frame) { frame_ = frame; }

    Ref<NSString> description() override;

private:
    Weak<NSObject> container_;
    bool isElement_ = true;
    Ref<NSString> label_;
    UIAccessibilityTraits traits_ = UIAccessibilityTraitNone;
    CGRect frame_ = CGRectZero;
};
