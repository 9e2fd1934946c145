// Colours: components in a colour space plus alpha (grey: white, alpha; RGB: red, green, blue,
// alpha), or a pattern image. Components are kept as given; they are clamped to 0...1 only when
// the colour is painted.
#pragma once

#include <vector>

#include "CoreGraphics/CGBase.h"

class CGColor : public NSObject {
    NS_OBJECT(CGColor, NSObject)
    CGColorSpace* colorSpace() { return space_.get(); }
    // Colour components then alpha.
    const std::vector<CGFloat>& components() { return components_; }
    CGImage* patternImage() { return pattern_.get(); }
    // Straight (not premultiplied) red, green, blue and alpha, clamped: what painting uses.
    // A pattern colour reads as its alpha over black.
    void getPaintRGBA(CGFloat rgba[4]);

    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    Ref<NSString> description() override;

private:
    friend Ref<CGColor> CGColorCreate(CGColorSpaceRef, const CGFloat*);
    friend Ref<CGColor> CGColorCreateCopyWithAlpha(CGColorRef, CGFloat);
    friend Ref<CGColor> CGColorCreateWithPatternImage(CGImageRef, CGFloat);
    Ref<CGColorSpace> space_;
    std::vector<CGFloat> components_;
    Ref<CGImage> pattern_;
};

// components holds the space's component count plus one (alpha); nil for a nil space or a
// pattern space.
Ref<CGColor> CGColorCreate(CGColorSpaceRef space, const CGFloat* components);
Ref<CGColor> CGColorCreateGenericRGB(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
Ref<CGColor> CGColorCreateGenericGray(CGFloat gray, CGFloat alpha);
// The same colour with another alpha.
Ref<CGColor> CGColorCreateCopyWithAlpha(CGColorRef color, CGFloat alpha);
Ref<CGColor> CGColorCreateCopy(CGColorRef color);
// A colour that paints the image tiled, upright, from the origin of the context's base space
// (what the platform builds from a coloured pattern that draws one image). It has one
// component: alpha.
Ref<CGColor> CGColorCreateWithPatternImage(CGImageRef image, CGFloat alpha);
// Borrowed; valid while the colour lives.
const CGFloat* CGColorGetComponents(CGColorRef color);
size_t CGColorGetNumberOfComponents(CGColorRef color);
CGFloat CGColorGetAlpha(CGColorRef color);
CGColorSpaceRef CGColorGetColorSpace(CGColorRef color);
bool CGColorEqualToColor(CGColorRef color1, CGColorRef color2);
