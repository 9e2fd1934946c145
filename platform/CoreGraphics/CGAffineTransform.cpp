#include "CoreGraphics/CGAffineTransform.h"

#include <algorithm>
#include <cstdio>

#include "CoreGraphics/CGGeometryText.h"
#include "Foundation/NSString.h"

const CGAffineTransform CGAffineTransformIdentity{1, 0, 0, 1, 0, 0};

CGAffineTransform CGAffineTransformMakeTranslation(CGFloat tx, CGFloat ty) {
    return CGAffineTransform{1, 0, 0, 1, tx, ty};
}
CGAffineTransform CGAffineTransformMakeScale(CGFloat sx, CGFloat sy) {
    return CGAffineTransform{sx, 0, 0, sy, 0, 0};
}
CGAffineTransform CGAffineTransformMakeRotation(CGFloat angle) {
    CGFloat c = std::cos(angle), s = std::sin(angle);
    return CGAffineTransform{c, s, -s, c, 0, 0};
}
bool CGAffineTransformIsIdentity(CGAffineTransform t) {
    return CGAffineTransformEqualToTransform(t, CGAffineTransformIdentity);
}
bool CGAffineTransformEqualToTransform(CGAffineTransform p, CGAffineTransform q) {
    return p.a == q.a && p.b == q.b && p.c == q.c && p.d == q.d && p.tx == q.tx && p.ty == q.ty;
}

CGAffineTransform CGAffineTransformConcat(CGAffineTransform t1, CGAffineTransform t2) {
    return CGAffineTransform{
        t1.a * t2.a + t1.b * t2.c,           t1.a * t2.b + t1.b * t2.d,
        t1.c * t2.a + t1.d * t2.c,           t1.c * t2.b + t1.d * t2.d,
        t1.tx * t2.a + t1.ty * t2.c + t2.tx, t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}
CGAffineTransform CGAffineTransformTranslate(CGAffineTransform t, CGFloat tx, CGFloat ty) {
    return CGAffineTransformConcat(CGAffineTransformMakeTranslation(tx, ty), t);
}
CGAffineTransform CGAffineTransformScale(CGAffineTransform t, CGFloat sx, CGFloat sy) {
    return CGAffineTransformConcat(CGAffineTransformMakeScale(sx, sy), t);
}
CGAffineTransform CGAffineTransformRotate(CGAffineTransform t, CGFloat angle) {
    return CGAffineTransformConcat(CGAffineTransformMakeRotation(angle), t);
}
CGAffineTransform CGAffineTransformInvert(CGAffineTransform t) {
    double det = static_cast<double>(t.a) * t.d - static_cast<double>(t.b) * t.c;
    if (det == 0) return t;
    double a = t.d / det, b = -t.b / det, c = -t.c / det, d = t.a / det;
    double tx = -(t.tx * a + t.ty * c), ty = -(t.tx * b + t.ty * d);
    return CGAffineTransform{static_cast<CGFloat>(a),  static_cast<CGFloat>(b),
                             static_cast<CGFloat>(c),  static_cast<CGFloat>(d),
                             static_cast<CGFloat>(tx), static_cast<CGFloat>(ty)};
}
CGPoint CGPointApplyAffineTransform(CGPoint p, CGAffineTransform t) {
    return CGPoint{t.a * p.x + t.c * p.y + t.tx, t.b * p.x + t.d * p.y + t.ty};
}
CGSize CGSizeApplyAffineTransform(CGSize s, CGAffineTransform t) {
    return CGSize{t.a * s.width + t.c * s.height, t.b * s.width + t.d * s.height};
}
CGRect CGRectApplyAffineTransform(CGRect r, CGAffineTransform t) {
    if (CGRectIsNull(r)) return r;
    r = CGRectStandardize(r);
    CGPoint corners[4] = {
        CGPointApplyAffineTransform(r.origin, t),
        CGPointApplyAffineTransform(CGPointMake(r.origin.x + r.size.width, r.origin.y), t),
        CGPointApplyAffineTransform(CGPointMake(r.origin.x, r.origin.y + r.size.height), t),
        CGPointApplyAffineTransform(
            CGPointMake(r.origin.x + r.size.width, r.origin.y + r.size.height), t)};
    CGFloat x0 = corners[0].x, x1 = corners[0].x, y0 = corners[0].y, y1 = corners[0].y;
    for (const auto& c : corners) {
        x0 = std::min(x0, c.x);
        x1 = std::max(x1, c.x);
        y0 = std::min(y0, c.y);
        y1 = std::max(y1, c.y);
    }
    return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

Ref<NSString> NSStringFromCGAffineTransform(CGAffineTransform t) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "[%g, %g, %g, %g, %g, %g]", static_cast<double>(t.a),
                  static_cast<double>(t.b), static_cast<double>(t.c), static_cast<double>(t.d),
                  static_cast<double>(t.tx), static_cast<double>(t.ty));
    return NSString::fromUTF8(buf);
}

CGAffineTransform CGAffineTransformFromString(NSString* s) {
    CGFloat v[6];
    if (CGGeometryReadNumbers(s, v, 6) != 6) return CGAffineTransformIdentity;
    return CGAffineTransform{v[0], v[1], v[2], v[3], v[4], v[5]};
}
