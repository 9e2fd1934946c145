// Points, sizes and rectangles in points, with the platform's geometry functions. A rectangle
// may have a negative size; the functions that read edges use its standardised form.
#pragma once

#include <cmath>
#include <limits>

#include "Foundation/Runtime.h"

class NSString;

using CGFloat = float;
inline constexpr CGFloat CGFLOAT_MAX = std::numeric_limits<CGFloat>::max();
inline constexpr CGFloat CGFLOAT_MIN = std::numeric_limits<CGFloat>::min();

struct CGPoint {
    CGFloat x = 0;
    CGFloat y = 0;
};
struct CGSize {
    CGFloat width = 0;
    CGFloat height = 0;
};
struct CGRect {
    CGPoint origin;
    CGSize size;
};
struct CGVector {
    CGFloat dx = 0;
    CGFloat dy = 0;
};

// The rectangle of no area that geometry functions return for "nothing" (no intersection).
extern const CGRect CGRectNull;
// A rectangle that holds every point.
extern const CGRect CGRectInfinite;
inline constexpr CGRect CGRectZero{};
inline constexpr CGPoint CGPointZero{};
inline constexpr CGSize CGSizeZero{};

inline constexpr CGPoint CGPointMake(CGFloat x, CGFloat y) {
    return CGPoint{x, y};
}
inline constexpr CGSize CGSizeMake(CGFloat w, CGFloat h) {
    return CGSize{w, h};
}
inline constexpr CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat w, CGFloat h) {
    return CGRect{{x, y}, {w, h}};
}
inline constexpr CGVector CGVectorMake(CGFloat dx, CGFloat dy) {
    return CGVector{dx, dy};
}

CGFloat CGRectGetMinX(CGRect r);
CGFloat CGRectGetMidX(CGRect r);
CGFloat CGRectGetMaxX(CGRect r);
CGFloat CGRectGetMinY(CGRect r);
CGFloat CGRectGetMidY(CGRect r);
CGFloat CGRectGetMaxY(CGRect r);
CGFloat CGRectGetWidth(CGRect r);   // always positive
CGFloat CGRectGetHeight(CGRect r);  // always positive

bool CGPointEqualToPoint(CGPoint a, CGPoint b);
bool CGSizeEqualToSize(CGSize a, CGSize b);
// Equal when both are null, or both standardised forms match.
bool CGRectEqualToRect(CGRect a, CGRect b);

bool CGRectIsNull(CGRect r);
bool CGRectIsEmpty(CGRect r);  // null, or zero width or height
bool CGRectIsInfinite(CGRect r);
CGRect CGRectStandardize(CGRect r);
// The smallest rectangle with integral edges that contains r.
CGRect CGRectIntegral(CGRect r);
CGRect CGRectInset(CGRect r, CGFloat dx, CGFloat dy);
CGRect CGRectOffset(CGRect r, CGFloat dx, CGFloat dy);
CGRect CGRectUnion(CGRect a, CGRect b);
CGRect CGRectIntersection(CGRect a, CGRect b);
bool CGRectIntersectsRect(CGRect a, CGRect b);
// Min edges inside, max edges outside.
bool CGRectContainsPoint(CGRect r, CGPoint p);
bool CGRectContainsRect(CGRect outer, CGRect inner);

enum CGRectEdge : int { CGRectMinXEdge, CGRectMinYEdge, CGRectMaxXEdge, CGRectMaxYEdge };
// Cuts `amount` off the given edge into *slice; the rest goes into *remainder.
void CGRectDivide(CGRect r, CGRect* slice, CGRect* remainder, CGFloat amount, CGRectEdge edge);

// Texts in the platform's form: "{x, y}", "{w, h}", "{{x, y}, {w, h}}". The readers accept what
// the writers print (and any spacing); what they cannot read gives zeros.
Ref<NSString> NSStringFromCGPoint(CGPoint p);
Ref<NSString> NSStringFromCGSize(CGSize s);
Ref<NSString> NSStringFromCGRect(CGRect r);
CGPoint CGPointFromString(NSString* s);
CGSize CGSizeFromString(NSString* s);
CGRect CGRectFromString(NSString* s);

template <>
struct ObjCTypeEncoding<CGPoint> {
    static constexpr const char* value = "{CGPoint=ff}";
};
template <>
struct ObjCTypeEncoding<CGSize> {
    static constexpr const char* value = "{CGSize=ff}";
};
template <>
struct ObjCTypeEncoding<CGRect> {
    static constexpr const char* value = "{CGRect={CGPoint=ff}{CGSize=ff}}";
};
