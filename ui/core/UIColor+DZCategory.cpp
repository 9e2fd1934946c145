#include "ui/core/UIColor+DZCategory.h"

#include <algorithm>
#include <cmath>

#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"

void colorComponentsRGBToHueSatVal(const CGFloat rgb[3], CGFloat* hue, CGFloat* saturation,
                                   CGFloat* value) {
    CGFloat r = rgb[0], g = rgb[1], b = rgb[2];
    CGFloat max = std::max({r, g, b}), min = std::min({r, g, b});
    *value = max;
    CGFloat d = max - min;
    if (max == 0 || d == 0) {
        // Black and every grey have no hue.
        *saturation = max == 0 ? 0 : d / max;
        *hue = -1;
        return;
    }
    *saturation = d / max;
    CGFloat h;
    if (r == max)
        h = (g - b) / d;
    else if (g == max)
        h = 2 + (b - r) / d;
    else
        h = 4 + (r - g) / d;
    h *= 60;
    if (h < 0) h += 360;
    *hue = h;
}

void colorComponentsHueSatValToRGB(const CGFloat hsv[3], CGFloat* red, CGFloat* green,
                                   CGFloat* blue) {
    CGFloat h = hsv[0], s = hsv[1], v = hsv[2];
    if (s == 0) {
        *red = *green = *blue = v;
        return;
    }
    h /= 60;
    int i = static_cast<int>(std::floor(h));
    CGFloat f = h - i;
    CGFloat p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (i) {
        case 0:
            *red = v, *green = t, *blue = p;
            break;
        case 1:
            *red = q, *green = v, *blue = p;
            break;
        case 2:
            *red = p, *green = v, *blue = t;
            break;
        case 3:
            *red = p, *green = q, *blue = v;
            break;
        case 4:
            *red = t, *green = p, *blue = v;
            break;
        default:
            *red = v, *green = p, *blue = q;
            break;
    }
}

namespace {
// The colour's components as RGB and alpha; a grey made from a white level reads as the
// grey it is.
void rgbaOf(UIColor* color, CGFloat rgb[3], CGFloat* alpha) {
    CGFloat a = 0;
    if (!color || !color->getRed(&rgb[0], &rgb[1], &rgb[2], &a)) {
        rgb[0] = rgb[1] = rgb[2] = 0;
        a = color ? color->alpha() : 0;
    }
    *alpha = a;
}

void hsvaOf(UIColor* color, CGFloat hsv[3], CGFloat* alpha) {
    CGFloat rgb[3];
    rgbaOf(color, rgb, alpha);
    colorComponentsRGBToHueSatVal(rgb, &hsv[0], &hsv[1], &hsv[2]);
}
}  // namespace

Ref<UIColor> colorWithHueSaturationValueAlpha(CGFloat hue, CGFloat saturation, CGFloat value,
                                              CGFloat alpha) {
    const CGFloat hsv[3] = {hue, saturation, value};
    CGFloat r, g, b;
    colorComponentsHueSatValToRGB(hsv, &r, &g, &b);
    return UIColor::colorWithRed(r, g, b, alpha);
}

Ref<UIColor> multiplyHue(UIColor* color, CGFloat hd, CGFloat sd, CGFloat vd) {
    CGFloat hsv[3], alpha;
    hsvaOf(color, hsv, &alpha);
    return colorWithHueSaturationValueAlpha(hsv[0] * hd, hsv[1] * sd, hsv[2] * vd, alpha);
}

Ref<UIColor> addHue(UIColor* color, CGFloat hd, CGFloat sd, CGFloat vd) {
    CGFloat hsv[3], alpha;
    hsvaOf(color, hsv, &alpha);
    return colorWithHueSaturationValueAlpha(hsv[0] + hd, hsv[1] + sd, hsv[2] + vd, alpha);
}

Ref<UIColor> copyWithAlpha(UIColor* color, CGFloat alpha) {
    CGFloat rgb[3], old;
    rgbaOf(color, rgb, &old);
    return UIColor::colorWithRed(rgb[0], rgb[1], rgb[2], alpha);
}

Ref<UIColor> highlight(UIColor* color) {
    return multiplyHue(color, 1.0f, 0.4f, 1.2f);
}

Ref<UIColor> shadow(UIColor* color) {
    return multiplyHue(color, 1.0f, 0.6f, 0.6f);
}

CGFloat hue(UIColor* color) {
    CGFloat hsv[3], alpha;
    hsvaOf(color, hsv, &alpha);
    return hsv[0];
}

CGFloat saturation(UIColor* color) {
    CGFloat hsv[3], alpha;
    hsvaOf(color, hsv, &alpha);
    return hsv[1];
}

CGFloat value(UIColor* color) {
    CGFloat hsv[3], alpha;
    hsvaOf(color, hsv, &alpha);
    return hsv[2];
}

CGFloat dzLineHeight(UIFont* font) {
    return font->ascender() - font->descender() + 1;
}
