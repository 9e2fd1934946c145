// Affine transforms of the plane, in the platform's row-vector form:
//   x' = a*x + c*y + tx,  y' = b*x + d*y + ty.
#pragma once

#include "CoreGraphics/CGGeometry.h"

struct CGAffineTransform {
    CGFloat a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
};

extern const CGAffineTransform CGAffineTransformIdentity;

inline constexpr CGAffineTransform CGAffineTransformMake(CGFloat a, CGFloat b, CGFloat c, CGFloat d,
                                                         CGFloat tx, CGFloat ty) {
    return CGAffineTransform{a, b, c, d, tx, ty};
}
CGAffineTransform CGAffineTransformMakeTranslation(CGFloat tx, CGFloat ty);
CGAffineTransform CGAffineTransformMakeScale(CGFloat sx, CGFloat sy);
CGAffineTransform CGAffineTransformMakeRotation(
    CGFloat angle);  // radians, counter-clockwise in y-up
bool CGAffineTransformIsIdentity(CGAffineTransform t);
bool CGAffineTransformEqualToTransform(CGAffineTransform t1, CGAffineTransform t2);
// Each applies the new operation first, then t (t' = op * t).
CGAffineTransform CGAffineTransformTranslate(CGAffineTransform t, CGFloat tx, CGFloat ty);
CGAffineTransform CGAffineTransformScale(CGAffineTransform t, CGFloat sx, CGFloat sy);
CGAffineTransform CGAffineTransformRotate(CGAffineTransform t, CGFloat angle);
// t1 then t2.
CGAffineTransform CGAffineTransformConcat(CGAffineTransform t1, CGAffineTransform t2);
// The inverse, or t unchanged when it cannot be inverted.
CGAffineTransform CGAffineTransformInvert(CGAffineTransform t);
CGPoint CGPointApplyAffineTransform(CGPoint p, CGAffineTransform t);
CGSize CGSizeApplyAffineTransform(CGSize s, CGAffineTransform t);
// The bounding box of the transformed corners.
CGRect CGRectApplyAffineTransform(CGRect r, CGAffineTransform t);

Ref<NSString> NSStringFromCGAffineTransform(CGAffineTransform t);  // "[a, b, c, d, tx, ty]"
CGAffineTransform CGAffineTransformFromString(NSString* s);

template <>
struct ObjCTypeEncoding<CGAffineTransform> {
    static constexpr const char* value = "{CGAffineTransform=ffffff}";
};
