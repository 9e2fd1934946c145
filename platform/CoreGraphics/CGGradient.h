// Colour gradients: colours at locations from 0 to 1, drawn by CGContextDrawLinearGradient and
// CGContextDrawRadialGradient.
#pragma once

#include <vector>

#include "CoreGraphics/CGBase.h"

using CGGradientDrawingOptions = uint32_t;
enum : CGGradientDrawingOptions {
    kCGGradientDrawsBeforeStartLocation = 1 << 0,
    kCGGradientDrawsAfterEndLocation = 1 << 1,
};

class CGGradient : public NSObject {
    NS_OBJECT(CGGradient, NSObject)
    struct Stop {
        CGFloat location;
        CGFloat rgba[4];  // straight, clamped
    };
    // Sorted by location.
    const std::vector<Stop>& stops() { return stops_; }
    CGColorSpace* colorSpace() { return space_.get(); }

private:
    friend struct CGGradientFactory;
    Ref<CGColorSpace> space_;
    std::vector<Stop> stops_;
};

// count colours of the space's components plus alpha each; locations NULL spreads them evenly
// from 0 to 1. nil for a nil or pattern space or a count of 0.
Ref<CGGradient> CGGradientCreateWithColorComponents(CGColorSpaceRef space,
                                                    const CGFloat* components,
                                                    const CGFloat* locations, size_t count);
// colors: an array of CGColor objects (converted into the space).
Ref<CGGradient> CGGradientCreateWithColors(CGColorSpaceRef space, NSArray* colors,
                                           const CGFloat* locations);
