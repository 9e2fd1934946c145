#include "CoreGraphics/CGGeometry.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "CoreGraphics/CGGeometryText.h"
#include "Foundation/NSString.h"

const CGRect CGRectNull = CGRectMake(std::numeric_limits<CGFloat>::infinity(),
                                     std::numeric_limits<CGFloat>::infinity(), 0, 0);
const CGRect CGRectInfinite =
    CGRectMake(-CGFLOAT_MAX / 2, -CGFLOAT_MAX / 2, CGFLOAT_MAX, CGFLOAT_MAX);

CGRect CGRectStandardize(CGRect r) {
    if (CGRectIsNull(r)) return r;
    if (r.size.width < 0) {
        r.origin.x += r.size.width;
        r.size.width = -r.size.width;
    }
    if (r.size.height < 0) {
        r.origin.y += r.size.height;
        r.size.height = -r.size.height;
    }
    return r;
}

CGFloat CGRectGetMinX(CGRect r) {
    return CGRectStandardize(r).origin.x;
}
CGFloat CGRectGetMaxX(CGRect r) {
    r = CGRectStandardize(r);
    return r.origin.x + r.size.width;
}
CGFloat CGRectGetMidX(CGRect r) {
    r = CGRectStandardize(r);
    return r.origin.x + r.size.width / 2;
}
CGFloat CGRectGetMinY(CGRect r) {
    return CGRectStandardize(r).origin.y;
}
CGFloat CGRectGetMaxY(CGRect r) {
    r = CGRectStandardize(r);
    return r.origin.y + r.size.height;
}
CGFloat CGRectGetMidY(CGRect r) {
    r = CGRectStandardize(r);
    return r.origin.y + r.size.height / 2;
}
CGFloat CGRectGetWidth(CGRect r) {
    return std::fabs(r.size.width);
}
CGFloat CGRectGetHeight(CGRect r) {
    return std::fabs(r.size.height);
}

bool CGPointEqualToPoint(CGPoint a, CGPoint b) {
    return a.x == b.x && a.y == b.y;
}
bool CGSizeEqualToSize(CGSize a, CGSize b) {
    return a.width == b.width && a.height == b.height;
}
bool CGRectEqualToRect(CGRect a, CGRect b) {
    bool an = CGRectIsNull(a), bn = CGRectIsNull(b);
    if (an || bn) return an && bn;
    a = CGRectStandardize(a);
    b = CGRectStandardize(b);
    return CGPointEqualToPoint(a.origin, b.origin) && CGSizeEqualToSize(a.size, b.size);
}

bool CGRectIsNull(CGRect r) {
    return std::isinf(r.origin.x) || std::isinf(r.origin.y);
}
bool CGRectIsEmpty(CGRect r) {
    return CGRectIsNull(r) || r.size.width == 0 || r.size.height == 0;
}
bool CGRectIsInfinite(CGRect r) {
    return CGRectEqualToRect(r, CGRectInfinite);
}

CGRect CGRectIntegral(CGRect r) {
    if (CGRectIsNull(r)) return r;
    r = CGRectStandardize(r);
    CGFloat x0 = std::floor(r.origin.x), y0 = std::floor(r.origin.y);
    CGFloat x1 = std::ceil(r.origin.x + r.size.width), y1 = std::ceil(r.origin.y + r.size.height);
    return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

CGRect CGRectInset(CGRect r, CGFloat dx, CGFloat dy) {
    if (CGRectIsNull(r)) return r;
    r = CGRectStandardize(r);
    r.origin.x += dx;
    r.origin.y += dy;
    r.size.width -= 2 * dx;
    r.size.height -= 2 * dy;
    // Insetting past the middle leaves nothing.
    if (r.size.width < 0 || r.size.height < 0) return CGRectNull;
    return r;
}

CGRect CGRectOffset(CGRect r, CGFloat dx, CGFloat dy) {
    if (CGRectIsNull(r)) return r;
    r = CGRectStandardize(r);
    r.origin.x += dx;
    r.origin.y += dy;
    return r;
}

CGRect CGRectUnion(CGRect a, CGRect b) {
    if (CGRectIsNull(a)) return CGRectStandardize(b);
    if (CGRectIsNull(b)) return CGRectStandardize(a);
    a = CGRectStandardize(a);
    b = CGRectStandardize(b);
    CGFloat x0 = std::min(a.origin.x, b.origin.x), y0 = std::min(a.origin.y, b.origin.y);
    CGFloat x1 = std::max(a.origin.x + a.size.width, b.origin.x + b.size.width);
    CGFloat y1 = std::max(a.origin.y + a.size.height, b.origin.y + b.size.height);
    return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

CGRect CGRectIntersection(CGRect a, CGRect b) {
    if (CGRectIsNull(a) || CGRectIsNull(b)) return CGRectNull;
    a = CGRectStandardize(a);
    b = CGRectStandardize(b);
    CGFloat x0 = std::max(a.origin.x, b.origin.x), y0 = std::max(a.origin.y, b.origin.y);
    CGFloat x1 = std::min(a.origin.x + a.size.width, b.origin.x + b.size.width);
    CGFloat y1 = std::min(a.origin.y + a.size.height, b.origin.y + b.size.height);
    // Rectangles that only touch meet in an empty rectangle, not in nothing.
    if (x1 < x0 || y1 < y0) return CGRectNull;
    return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

bool CGRectIntersectsRect(CGRect a, CGRect b) {
    CGRect i = CGRectIntersection(a, b);
    return !CGRectIsNull(i) && !CGRectIsEmpty(i);
}

bool CGRectContainsPoint(CGRect r, CGPoint p) {
    if (CGRectIsNull(r)) return false;
    r = CGRectStandardize(r);
    return p.x >= r.origin.x && p.x < r.origin.x + r.size.width && p.y >= r.origin.y &&
           p.y < r.origin.y + r.size.height;
}

bool CGRectContainsRect(CGRect outer, CGRect inner) {
    if (CGRectIsNull(outer) || CGRectIsNull(inner)) return false;
    outer = CGRectStandardize(outer);
    inner = CGRectStandardize(inner);
    return inner.origin.x >= outer.origin.x && inner.origin.y >= outer.origin.y &&
           inner.origin.x + inner.size.width <= outer.origin.x + outer.size.width &&
           inner.origin.y + inner.size.height <= outer.origin.y + outer.size.height;
}

void CGRectDivide(CGRect r, CGRect* slice, CGRect* remainder, CGFloat amount, CGRectEdge edge) {
    CGRect s = CGRectNull, rest = CGRectNull;
    if (!CGRectIsNull(r)) {
        r = CGRectStandardize(r);
        s = rest = r;
        if (amount < 0) amount = 0;
        switch (edge) {
            case CGRectMinXEdge:
                amount = std::min(amount, r.size.width);
                s.size.width = amount;
                rest.origin.x += amount;
                rest.size.width -= amount;
                break;
            case CGRectMaxXEdge:
                amount = std::min(amount, r.size.width);
                s.origin.x = r.origin.x + r.size.width - amount;
                s.size.width = amount;
                rest.size.width -= amount;
                break;
            case CGRectMinYEdge:
                amount = std::min(amount, r.size.height);
                s.size.height = amount;
                rest.origin.y += amount;
                rest.size.height -= amount;
                break;
            case CGRectMaxYEdge:
                amount = std::min(amount, r.size.height);
                s.origin.y = r.origin.y + r.size.height - amount;
                s.size.height = amount;
                rest.size.height -= amount;
                break;
        }
    }
    if (slice) *slice = s;
    if (remainder) *remainder = rest;
}

namespace {
// %g prints as the platform does for whole and fractional values ("10", "2.5").
std::string num(CGFloat v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
    return buf;
}

}  // namespace

int CGGeometryReadNumbers(NSString* s, CGFloat* out, int n) {
    if (!s) return 0;
    std::string text = s->utf8();
    const char* p = text.c_str();
    int count = 0;
    while (*p && count < n) {
        char* end = nullptr;
        double v = std::strtod(p, &end);
        if (end != p) {
            out[count++] = static_cast<CGFloat>(v);
            p = end;
        } else {
            ++p;
        }
    }
    return count;
}

Ref<NSString> NSStringFromCGPoint(CGPoint p) {
    return NSString::fromUTF8("{" + num(p.x) + ", " + num(p.y) + "}");
}
Ref<NSString> NSStringFromCGSize(CGSize s) {
    return NSString::fromUTF8("{" + num(s.width) + ", " + num(s.height) + "}");
}
Ref<NSString> NSStringFromCGRect(CGRect r) {
    return NSString::fromUTF8("{{" + num(r.origin.x) + ", " + num(r.origin.y) + "}, {" +
                              num(r.size.width) + ", " + num(r.size.height) + "}}");
}
CGPoint CGPointFromString(NSString* s) {
    CGFloat v[2] = {0, 0};
    if (CGGeometryReadNumbers(s, v, 2) != 2) return CGPointZero;
    return CGPointMake(v[0], v[1]);
}
CGSize CGSizeFromString(NSString* s) {
    CGFloat v[2] = {0, 0};
    if (CGGeometryReadNumbers(s, v, 2) != 2) return CGSizeZero;
    return CGSizeMake(v[0], v[1]);
}
CGRect CGRectFromString(NSString* s) {
    CGFloat v[4] = {0, 0, 0, 0};
    if (CGGeometryReadNumbers(s, v, 4) != 4) return CGRectZero;
    return CGRectMake(v[0], v[1], v[2], v[3]);
}
