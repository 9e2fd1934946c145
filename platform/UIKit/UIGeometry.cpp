#include "UIKit/UIGeometry.h"

#include <cstdio>

#include "CoreGraphics/CGGeometryText.h"
#include "Foundation/NSString.h"
#include "Foundation/NSValue.h"

CGRect UIEdgeInsetsInsetRect(CGRect rect, UIEdgeInsets insets) {
    rect.origin.x += insets.left;
    rect.origin.y += insets.top;
    rect.size.width -= insets.left + insets.right;
    rect.size.height -= insets.top + insets.bottom;
    return rect;
}

bool UIEdgeInsetsEqualToEdgeInsets(UIEdgeInsets a, UIEdgeInsets b) {
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

Ref<NSString> NSStringFromUIEdgeInsets(UIEdgeInsets e) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "{%g, %g, %g, %g}", static_cast<double>(e.top),
                  static_cast<double>(e.left), static_cast<double>(e.bottom),
                  static_cast<double>(e.right));
    return NSString::fromUTF8(buf);
}

UIEdgeInsets UIEdgeInsetsFromString(NSString* s) {
    CGFloat v[4];
    if (CGGeometryReadNumbers(s, v, 4) != 4) return UIEdgeInsetsZero;
    return UIEdgeInsetsMake(v[0], v[1], v[2], v[3]);
}

Ref<NSValue> valueWithCGPoint(CGPoint p) {
    return NSValue::valueWith(p);
}
Ref<NSValue> valueWithCGSize(CGSize s) {
    return NSValue::valueWith(s);
}
Ref<NSValue> valueWithCGRect(CGRect r) {
    return NSValue::valueWith(r);
}
Ref<NSValue> valueWithCGAffineTransform(CGAffineTransform t) {
    return NSValue::valueWith(t);
}
Ref<NSValue> valueWithUIEdgeInsets(UIEdgeInsets e) {
    return NSValue::valueWith(e);
}
CGPoint CGPointValue(NSValue* v) {
    return v ? v->get<CGPoint>() : CGPointZero;
}
CGSize CGSizeValue(NSValue* v) {
    return v ? v->get<CGSize>() : CGSizeZero;
}
CGRect CGRectValue(NSValue* v) {
    return v ? v->get<CGRect>() : CGRectZero;
}
CGAffineTransform CGAffineTransformValue(NSValue* v) {
    return v ? v->get<CGAffineTransform>() : CGAffineTransformIdentity;
}
UIEdgeInsets UIEdgeInsetsValue(NSValue* v) {
    return v ? v->get<UIEdgeInsets>() : UIEdgeInsetsZero;
}
