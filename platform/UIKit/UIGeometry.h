// The toolkit's geometry additions: edge insets and the boxing of geometry in NSValue.
#pragma once

#include "CoreGraphics/CGAffineTransform.h"
#include "CoreGraphics/CGGeometry.h"

class NSValue;

struct UIEdgeInsets {
    CGFloat top = 0, left = 0, bottom = 0, right = 0;
};
struct UIOffset {
    CGFloat horizontal = 0, vertical = 0;
};

inline constexpr UIEdgeInsets UIEdgeInsetsZero{};
inline constexpr UIOffset UIOffsetZero{};
inline constexpr UIEdgeInsets UIEdgeInsetsMake(CGFloat top, CGFloat left, CGFloat bottom,
                                               CGFloat right) {
    return UIEdgeInsets{top, left, bottom, right};
}
inline constexpr UIOffset UIOffsetMake(CGFloat h, CGFloat v) {
    return UIOffset{h, v};
}
CGRect UIEdgeInsetsInsetRect(CGRect rect, UIEdgeInsets insets);
bool UIEdgeInsetsEqualToEdgeInsets(UIEdgeInsets a, UIEdgeInsets b);
Ref<NSString> NSStringFromUIEdgeInsets(UIEdgeInsets insets);  // "{top, left, bottom, right}"
UIEdgeInsets UIEdgeInsetsFromString(NSString* s);

// NSValue's geometry additions.
Ref<NSValue> valueWithCGPoint(CGPoint p);
Ref<NSValue> valueWithCGSize(CGSize s);
Ref<NSValue> valueWithCGRect(CGRect r);
Ref<NSValue> valueWithCGAffineTransform(CGAffineTransform t);
Ref<NSValue> valueWithUIEdgeInsets(UIEdgeInsets e);
CGPoint CGPointValue(NSValue* v);
CGSize CGSizeValue(NSValue* v);
CGRect CGRectValue(NSValue* v);
CGAffineTransform CGAffineTransformValue(NSValue* v);
UIEdgeInsets UIEdgeInsetsValue(NSValue* v);

template <>
struct ObjCTypeEncoding<UIEdgeInsets> {
    static constexpr const char* value = "{UIEdgeInsets=ffff}";
};
template <>
struct ObjCTypeEncoding<UIOffset> {
    static constexpr const char* value = "{UIOffset=ff}";
};
