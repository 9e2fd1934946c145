// Conversions between the pixel layouts images and bitmap contexts use and the premultiplied
// native-endian ARGB words that drawing works in. Internal to the framework.
#pragma once

#include <cstddef>
#include <cstdint>

#include "CoreGraphics/CGImage.h"

namespace cg_detail {

// One row of `layout` (width pixels) into premultiplied ARGB words. For an image mask the
// coverage (inverted samples after the decode) becomes alpha over black. decode may be null.
void readRowPremultiplied(const CGPixelLayout& layout, const uint8_t* row, uint32_t* out,
                          bool isMask, const CGFloat* decode);
// One row of premultiplied ARGB words into `layout` (bitmap-context layouts only: 32-bit RGB,
// 8-bit grey, 8-bit alpha).
void writeRowFromPremultiplied(const CGPixelLayout& layout, const uint32_t* in, uint8_t* row);
// Whether a bitmap context can draw into this layout.
bool isContextLayout(const CGPixelLayout& layout);
// Whether the layout's memory is already premultiplied native-endian ARGB words, or such words
// whose alpha byte is skipped (then cairo draws into it once that byte is 255).
bool isNativeARGB(const CGPixelLayout& layout);
bool isNativeSkippedAlphaWords(const CGPixelLayout& layout);
// Sets the alpha byte of every ARGB word of a w x h bitmap to 255.
void makeOpaque(uint8_t* data, int w, int h, size_t stride);

// While one lives, bitmap contexts made copy their memory to and from a surface of their own
// around every drawing call, whatever their layout: the general path, which the direct ones
// are held to in tests.
class ConvertEveryPaintScope {
public:
    ConvertEveryPaintScope();
    ~ConvertEveryPaintScope();
    ConvertEveryPaintScope(const ConvertEveryPaintScope&) = delete;
    ConvertEveryPaintScope& operator=(const ConvertEveryPaintScope&) = delete;
    static bool active();
};

inline uint8_t alphaOf(uint32_t p) {
    return uint8_t(p >> 24);
}
inline uint8_t redOf(uint32_t p) {
    return uint8_t(p >> 16);
}
inline uint8_t greenOf(uint32_t p) {
    return uint8_t(p >> 8);
}
inline uint8_t blueOf(uint32_t p) {
    return uint8_t(p);
}
inline uint32_t packARGB(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}
inline uint8_t mul255(uint32_t a, uint32_t b) {
    uint32_t t = a * b + 128;
    return uint8_t((t + (t >> 8)) >> 8);
}

}  // namespace cg_detail
