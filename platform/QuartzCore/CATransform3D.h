// 3-D transforms of layers, in the platform's row-vector form (points are rows multiplied on
// the left). Only the affine part is drawn; the rest is kept for code that reads it back.
#pragma once

#include "CoreGraphics/CGAffineTransform.h"

struct CATransform3D {
    CGFloat m11 = 1, m12 = 0, m13 = 0, m14 = 0;
    CGFloat m21 = 0, m22 = 1, m23 = 0, m24 = 0;
    CGFloat m31 = 0, m32 = 0, m33 = 1, m34 = 0;
    CGFloat m41 = 0, m42 = 0, m43 = 0, m44 = 1;
};

extern const CATransform3D CATransform3DIdentity;

bool CATransform3DIsIdentity(CATransform3D t);
bool CATransform3DEqualToTransform(CATransform3D a, CATransform3D b);
CATransform3D CATransform3DMakeTranslation(CGFloat tx, CGFloat ty, CGFloat tz);
CATransform3D CATransform3DMakeScale(CGFloat sx, CGFloat sy, CGFloat sz);
// About the axis (x, y, z), radians; a zero axis gives the identity.
CATransform3D CATransform3DMakeRotation(CGFloat angle, CGFloat x, CGFloat y, CGFloat z);
// Each applies the new operation first, then t.
CATransform3D CATransform3DTranslate(CATransform3D t, CGFloat tx, CGFloat ty, CGFloat tz);
CATransform3D CATransform3DScale(CATransform3D t, CGFloat sx, CGFloat sy, CGFloat sz);
CATransform3D CATransform3DRotate(CATransform3D t, CGFloat angle, CGFloat x, CGFloat y, CGFloat z);
// a then b.
CATransform3D CATransform3DConcat(CATransform3D a, CATransform3D b);
// t unchanged when it cannot be inverted.
CATransform3D CATransform3DInvert(CATransform3D t);
CATransform3D CATransform3DMakeAffineTransform(CGAffineTransform m);
bool CATransform3DIsAffine(CATransform3D t);
CGAffineTransform CATransform3DGetAffineTransform(CATransform3D t);

template <>
struct ObjCTypeEncoding<CATransform3D> {
    static constexpr const char* value = "{CATransform3D=ffffffffffffffff}";
};
