#include "CoreGraphics/CGColor.h"

#include <algorithm>
#include <cmath>

#include "CoreGraphics/CGColorSpace.h"
#include "CoreGraphics/CGImage.h"
#include "Foundation/NSString.h"

namespace {
CGFloat clamp01(CGFloat v) {
    // NaN paints as 0 rather than poisoning the pixel.
    return v > 0 ? (v < 1 ? v : 1) : 0;
}
}  // namespace

void CGColor::getPaintRGBA(CGFloat rgba[4]) {
    const auto& c = components_;
    if (pattern_ || c.empty()) {
        rgba[0] = rgba[1] = rgba[2] = 0;
        rgba[3] = c.empty() ? 0 : clamp01(c.back());
    } else if (c.size() == 2) {
        rgba[0] = rgba[1] = rgba[2] = clamp01(c[0]);
        rgba[3] = clamp01(c[1]);
    } else {
        rgba[0] = clamp01(c[0]);
        rgba[1] = clamp01(c[1]);
        rgba[2] = clamp01(c[2]);
        rgba[3] = clamp01(c[3]);
    }
}

bool CGColor::isEqual(NSObject* other) {
    auto o = as<CGColor>(other);
    if (!o) return false;
    return o->space_.get() == space_.get() && o->components_ == components_ &&
           o->pattern_.get() == pattern_.get();
}

NSUInteger CGColor::hash() {
    NSUInteger h = NSUInteger(components_.size());
    for (CGFloat v : components_)
        h = h * 31 + NSUInteger(std::lround(v * 255));
    return h;
}

Ref<NSString> CGColor::description() {
    std::string s = "<CGColor> [";
    s += space_ ? space_->description()->utf8() : "(null)";
    s += "] ( ";
    for (CGFloat v : components_) {
        char buf[32];
        snprintf(buf, sizeof buf, "%g ", double(v));
        s += buf;
    }
    s += ")";
    return NSString::fromUTF8(s);
}

Ref<CGColor> CGColorCreate(CGColorSpaceRef space, const CGFloat* components) {
    if (!space || !components || space->model() == kCGColorSpaceModelPattern) return nullptr;
    size_t n = space->numberOfComponents() + 1;
    if (n < 2) return nullptr;
    Ref<CGColor> c = alloc<CGColor>();
    c->space_ = space;
    c->components_.assign(components, components + n);
    return c;
}

Ref<CGColor> CGColorCreateGenericRGB(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
    const CGFloat v[4] = {red, green, blue, alpha};
    return CGColorCreate(CGColorSpace::deviceRGB(), v);
}

Ref<CGColor> CGColorCreateGenericGray(CGFloat gray, CGFloat alpha) {
    const CGFloat v[2] = {gray, alpha};
    return CGColorCreate(CGColorSpace::deviceGray(), v);
}

Ref<CGColor> CGColorCreateCopyWithAlpha(CGColorRef color, CGFloat alpha) {
    if (!color) return nullptr;
    Ref<CGColor> c = alloc<CGColor>();
    c->space_ = color->space_;
    c->components_ = color->components_;
    c->pattern_ = color->pattern_;
    if (!c->components_.empty()) c->components_.back() = alpha;
    return c;
}

Ref<CGColor> CGColorCreateCopy(CGColorRef color) {
    return color ? CGColorCreateCopyWithAlpha(color, CGColorGetAlpha(color)) : nullptr;
}

Ref<CGColor> CGColorCreateWithPatternImage(CGImageRef image, CGFloat alpha) {
    if (!image) return nullptr;
    Ref<CGColor> c = alloc<CGColor>();
    c->space_ = CGColorSpace::pattern();
    c->components_ = {alpha};
    c->pattern_ = image;
    return c;
}

const CGFloat* CGColorGetComponents(CGColorRef color) {
    return color ? color->components().data() : nullptr;
}

size_t CGColorGetNumberOfComponents(CGColorRef color) {
    return color ? color->components().size() : 0;
}

CGFloat CGColorGetAlpha(CGColorRef color) {
    return color && !color->components().empty() ? color->components().back() : 0;
}

CGColorSpaceRef CGColorGetColorSpace(CGColorRef color) {
    return color ? color->colorSpace() : nullptr;
}

bool CGColorEqualToColor(CGColorRef color1, CGColorRef color2) {
    if (color1 == color2) return true;
    return color1 && color2 && color1->isEqual(color2);
}
