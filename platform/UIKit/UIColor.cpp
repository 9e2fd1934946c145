#include "UIKit/UIColor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <mutex>

#include "CoreGraphics/CGColor.h"
#include "Foundation/NSData.h"
#include "Foundation/NSString.h"
#include "UIKit/ImageCodecs.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"

namespace {
CGFloat clamp01(CGFloat v) {
    return std::clamp<CGFloat>(v, 0, 1);
}

Ref<UIColor> shared(UIColor*& slot, const std::function<Ref<UIColor>()>& makeColor) {
    if (!slot) {
        auto c = makeColor();
        c->makeImmortal();
        slot = c.get();
    }
    return Ref<UIColor>(slot);
}
}  // namespace

bool UIColor::initWithRed(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
    r_ = clamp01(red);
    g_ = clamp01(green);
    b_ = clamp01(blue);
    a_ = clamp01(alpha);
    return true;
}

bool UIColor::initWithWhite(CGFloat white, CGFloat alpha) {
    initWithRed(white, white, white, alpha);
    white_ = true;
    return true;
}

bool UIColor::initWithPatternImage(UIImage* image) {
    pattern_ = image;
    r_ = g_ = b_ = a_ = 0;
    return image != nullptr;
}

void UIColor::encodeWithCoder(NSCoder* coder) {
    if (pattern_) {
        coder->encodeObject(UIImagePNGRepresentation(pattern_), NS("UIPatternImage"));
        return;
    }
    coder->encodeBool(white_, NS("UIWhite"));
    coder->encodeFloat(r_, NS("UIRed"));
    coder->encodeFloat(g_, NS("UIGreen"));
    coder->encodeFloat(b_, NS("UIBlue"));
    coder->encodeFloat(a_, NS("UIAlpha"));
}

bool UIColor::initWithCoder(NSCoder* coder) {
    if (coder->containsValueForKey(NS("UIPatternImage"))) {
        auto data = as<NSData>(coder->decodeObjectForKey(NS("UIPatternImage")));
        return initWithPatternImage(data ? UIImage::imageWithData(data).get() : nullptr);
    }
    if (!coder->containsValueForKey(NS("UIAlpha"))) return false;
    initWithRed(coder->decodeFloatForKey(NS("UIRed")), coder->decodeFloatForKey(NS("UIGreen")),
                coder->decodeFloatForKey(NS("UIBlue")), coder->decodeFloatForKey(NS("UIAlpha")));
    white_ = coder->decodeBoolForKey(NS("UIWhite"));
    return true;
}

Ref<UIColor> UIColor::colorWithRed(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
    return make<UIColor>(&UIColor::initWithRed, red, green, blue, alpha);
}

Ref<UIColor> UIColor::colorWithWhite(CGFloat white, CGFloat alpha) {
    return make<UIColor>(&UIColor::initWithWhite, white, alpha);
}

Ref<UIColor> UIColor::colorWithHue(CGFloat h, CGFloat s, CGFloat v, CGFloat alpha) {
    h = clamp01(h);
    s = clamp01(s);
    v = clamp01(v);
    CGFloat hh = h * 6;
    if (hh >= 6) hh = 0;
    int i = static_cast<int>(hh);
    CGFloat f = hh - static_cast<CGFloat>(i);
    CGFloat p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    CGFloat r = v, g = t, b = p;
    switch (i) {
        case 0:
            r = v;
            g = t;
            b = p;
            break;
        case 1:
            r = q;
            g = v;
            b = p;
            break;
        case 2:
            r = p;
            g = v;
            b = t;
            break;
        case 3:
            r = p;
            g = q;
            b = v;
            break;
        case 4:
            r = t;
            g = p;
            b = v;
            break;
        default:
            r = v;
            g = p;
            b = q;
            break;
    }
    return colorWithRed(r, g, b, alpha);
}

Ref<UIColor> UIColor::colorWithPatternImage(UIImage* image) {
    return make<UIColor>(&UIColor::initWithPatternImage, image);
}

#define NAMED_WHITE(fn, w, a)                                     \
    Ref<UIColor> UIColor::fn() {                                  \
        static UIColor* slot = nullptr;                           \
        return shared(slot, [] { return colorWithWhite(w, a); }); \
    }
#define NAMED_RGB(fn, r, g, b)                                        \
    Ref<UIColor> UIColor::fn() {                                      \
        static UIColor* slot = nullptr;                               \
        return shared(slot, [] { return colorWithRed(r, g, b, 1); }); \
    }

NAMED_WHITE(blackColor, 0, 1)
NAMED_WHITE(darkGrayColor, 1.0f / 3, 1)
NAMED_WHITE(lightGrayColor, 2.0f / 3, 1)
NAMED_WHITE(whiteColor, 1, 1)
NAMED_WHITE(grayColor, 0.5f, 1)
NAMED_WHITE(clearColor, 0, 0)
NAMED_WHITE(lightTextColor, 1, 0.6f)
NAMED_WHITE(darkTextColor, 0, 1)
NAMED_RGB(redColor, 1, 0, 0)
NAMED_RGB(greenColor, 0, 1, 0)
NAMED_RGB(blueColor, 0, 0, 1)
NAMED_RGB(cyanColor, 0, 1, 1)
NAMED_RGB(yellowColor, 1, 1, 0)
NAMED_RGB(magentaColor, 1, 0, 1)
NAMED_RGB(orangeColor, 1, 0.5f, 0)
NAMED_RGB(purpleColor, 0.5f, 0, 0.5f)
NAMED_RGB(brownColor, 0.6f, 0.4f, 0.2f)
// The textured backgrounds are patterns on the platform; the model keeps their base tones.
NAMED_RGB(groupTableViewBackgroundColor, 0.773f, 0.8f, 0.835f)
NAMED_RGB(viewFlipsideBackgroundColor, 0.122f, 0.129f, 0.141f)
NAMED_RGB(scrollViewTexturedBackgroundColor, 0.435f, 0.443f, 0.475f)
NAMED_RGB(underPageBackgroundColor, 0.710f, 0.722f, 0.741f)

Ref<UIColor> UIColor::colorWithAlphaComponent(CGFloat alpha) {
    if (pattern_) return colorWithPatternImage(pattern_);
    auto c = colorWithRed(r_, g_, b_, alpha);
    c->white_ = white_;
    return c;
}

bool UIColor::getRed(CGFloat* red, CGFloat* green, CGFloat* blue, CGFloat* alpha) {
    if (pattern_) return false;
    if (red) *red = r_;
    if (green) *green = g_;
    if (blue) *blue = b_;
    if (alpha) *alpha = a_;
    return true;
}

bool UIColor::getWhite(CGFloat* white, CGFloat* alpha) {
    if (pattern_) return false;
    if (white) *white = white_ ? r_ : 0.299f * r_ + 0.587f * g_ + 0.114f * b_;
    if (alpha) *alpha = a_;
    return true;
}

bool UIColor::getHue(CGFloat* hue, CGFloat* saturation, CGFloat* brightness, CGFloat* alpha) {
    if (pattern_) return false;
    CGFloat mx = std::max({r_, g_, b_}), mn = std::min({r_, g_, b_}), d = mx - mn;
    CGFloat h = 0;
    if (d > 0) {
        if (mx == r_)
            h = std::fmod((g_ - b_) / d, 6.0f);
        else if (mx == g_)
            h = (b_ - r_) / d + 2;
        else
            h = (r_ - g_) / d + 4;
        h /= 6;
        if (h < 0) h += 1;
    }
    if (hue) *hue = h;
    if (saturation) *saturation = mx > 0 ? d / mx : 0;
    if (brightness) *brightness = mx;
    if (alpha) *alpha = a_;
    return true;
}

bool UIColor::isEqual(NSObject* other) {
    auto o = dynamic_cast<UIColor*>(other);
    if (!o) return false;
    if (pattern_ || o->pattern_) return pattern_.get() == o->pattern_.get();
    return r_ == o->r_ && g_ == o->g_ && b_ == o->b_ && a_ == o->a_;
}

NSUInteger UIColor::hash() {
    auto q = [](CGFloat v) { return static_cast<NSUInteger>(std::lround(v * 255)); };
    return (q(r_) << 24) ^ (q(g_) << 16) ^ (q(b_) << 8) ^ q(a_);
}

Ref<NSString> UIColor::description() {
    char buf[96];
    if (pattern_) return NS("UIPatternColor");
    if (white_)
        std::snprintf(buf, sizeof buf, "UIDeviceWhiteColorSpace %g %g", static_cast<double>(r_),
                      static_cast<double>(a_));
    else
        std::snprintf(buf, sizeof buf, "UIDeviceRGBColorSpace %g %g %g %g", static_cast<double>(r_),
                      static_cast<double>(g_), static_cast<double>(b_), static_cast<double>(a_));
    return NSString::fromUTF8(buf);
}

namespace {
std::mutex& cgColorLock() {
    static std::mutex m;
    return m;
}
}  // namespace

Ref<::CGColor> UIColor::CGColor() {
    std::lock_guard<std::mutex> lock(cgColorLock());
    if (!cgColor_) {
        if (pattern_)
            cgColor_ = CGColorCreateWithPatternImage(UIImageUprightCGImage(pattern_), 1);
        else if (white_)
            cgColor_ = CGColorCreateGenericGray(r_, a_);
        else
            cgColor_ = CGColorCreateGenericRGB(r_, g_, b_, a_);
    }
    return cgColor_;
}

void UIColor::set() {
    setFill();
    setStroke();
}

void UIColor::setFill() {
    if (auto ctx = UIGraphicsGetCurrentContext()) CGContextSetFillColorWithColor(ctx, CGColor());
}

void UIColor::setStroke() {
    if (auto ctx = UIGraphicsGetCurrentContext()) CGContextSetStrokeColorWithColor(ctx, CGColor());
}
