// Helpers for the drawing tests: images painted in UIKit's image contexts, and pixel probes.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <ostream>

#include "CoreGraphics/CGContext.h"
#include "UIKit/ImageCodecs.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"

// A straight (not premultiplied) colour, 0...255 per channel.
struct RGBA {
    int r = 0, g = 0, b = 0, a = 0;
};

inline std::ostream& operator<<(std::ostream& os, const RGBA& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ", " << c.a << ")";
}

// The pixel at (x, y) of the pixels, from the top-left.
inline RGBA pixelAt(const UIImagePixels& px, int x, int y) {
    if (x < 0 || y < 0 || size_t(x) >= px.width || size_t(y) >= px.height) return {-1, -1, -1, -1};
    uint32_t w = px.argb[size_t(y) * px.width + size_t(x)];
    int a = int(w >> 24);
    auto un = [a](uint32_t c) {
        return a == 0 ? 0 : int((c * 255 + uint32_t(a) / 2) / uint32_t(a));
    };
    return {un((w >> 16) & 0xFF), un((w >> 8) & 0xFF), un(w & 0xFF), a};
}

// The pixel at (x, y) of the image's bitmap, in pixels from the top-left, as stored.
inline RGBA pixelAt(CGImageRef image, int x, int y) {
    return pixelAt(UIImagePixelsOf(image), x, y);
}

inline RGBA pixelAt(UIImage* image, int x, int y) {
    return pixelAt(image->CGImage(), x, y);
}

// Each channel within `tolerance` of the expected value.
inline testing::AssertionResult near(RGBA actual, RGBA expected, int tolerance = 2) {
    if (std::abs(actual.r - expected.r) <= tolerance &&
        std::abs(actual.g - expected.g) <= tolerance &&
        std::abs(actual.b - expected.b) <= tolerance &&
        std::abs(actual.a - expected.a) <= tolerance)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << actual << " is not near " << expected;
}

// How many of the pixels within the area (in pixels from the top-left) pass the test.
inline int countPixels(const UIImagePixels& px, CGRect area,
                       const std::function<bool(RGBA)>& test) {
    int n = 0;
    for (int y = int(area.origin.y); y < int(CGRectGetMaxY(area)); ++y)
        for (int x = int(area.origin.x); x < int(CGRectGetMaxX(area)); ++x)
            n += test(pixelAt(px, x, y)) ? 1 : 0;
    return n;
}

// The same for the image's bitmap (read whole for each count: probes of many areas of one image
// read it once and count on its pixels).
inline int countPixels(UIImage* image, CGRect area, const std::function<bool(RGBA)>& test) {
    return countPixels(UIImagePixelsOf(image->CGImage()), area, test);
}

inline const RGBA kRed{255, 0, 0, 255};
inline const RGBA kGreen{0, 255, 0, 255};
inline const RGBA kBlue{0, 0, 255, 255};
inline const RGBA kWhite{255, 255, 255, 255};
inline const RGBA kBlack{0, 0, 0, 255};
inline const RGBA kClear{0, 0, 0, 0};

// An image of `size` points at `scale`, painted by `draw` in an image context.
inline Ref<UIImage> paintedImage(CGSize size, CGFloat scale, const std::function<void()>& draw,
                                 bool opaque = false) {
    UIGraphicsBeginImageContextWithOptions(size, opaque, scale);
    draw();
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return image;
}

inline void fill(UIColor* color, CGRect rect) {
    color->setFill();
    UIRectFill(rect);
}
