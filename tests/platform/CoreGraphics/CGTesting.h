// Bitmap contexts to draw into and pixels to probe, for the drawing tests.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "CoreGraphics/CoreGraphics.h"
#include "Foundation/NSData.h"

struct Pixel {
    int r, g, b, a;
};

// A cleared premultiplied BGRA (little-endian ARGB) bitmap of w x h pixels; with `flipped`,
// UIKit's coordinates (origin top-left, y down).
inline Ref<CGContext> makeContext(size_t w, size_t h, bool flipped = false) {
    auto space = CGColorSpaceCreateDeviceRGB();
    auto c = CGBitmapContextCreate(nullptr, w, h, 8, 0, space,
                                   kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    if (c && flipped) {
        CGContextTranslateCTM(c, 0, CGFloat(h));
        CGContextScaleCTM(c, 1, -1);
    }
    return c;
}

// The pixel at column x of row y, row 0 being the top of the bitmap (premultiplied values).
inline Pixel pixelAt(CGContextRef c, size_t x, size_t y) {
    auto* p = static_cast<const uint8_t*>(CGBitmapContextGetData(c)) +
              y * CGBitmapContextGetBytesPerRow(c) + x * 4;
    return Pixel{p[2], p[1], p[0], p[3]};
}

inline bool near(Pixel p, int r, int g, int b, int a, int tolerance = 3) {
    return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance &&
           std::abs(p.b - b) <= tolerance && std::abs(p.a - a) <= tolerance;
}

// An RGBA image (straight alpha, rows top first) from a function of the pixel position.
template <class F>
Ref<CGImage> makeImage(size_t w, size_t h, F colour) {
    auto data = NSMutableData::dataWithLength(NSUInteger(w * h * 4));
    auto* p = static_cast<uint8_t*>(data->mutableBytes());
    for (size_t y = 0; y < h; ++y) {
        for (size_t x = 0; x < w; ++x) {
            Pixel c = colour(x, y);
            uint8_t* q = p + (y * w + x) * 4;
            q[0] = uint8_t(c.r), q[1] = uint8_t(c.g), q[2] = uint8_t(c.b), q[3] = uint8_t(c.a);
        }
    }
    auto provider = CGDataProviderCreateWithCFData(data);
    auto space = CGColorSpaceCreateDeviceRGB();
    return CGImageCreate(w, h, 8, 32, w * 4, space, kCGImageAlphaLast, provider, nullptr, false,
                         kCGRenderingIntentDefault);
}
