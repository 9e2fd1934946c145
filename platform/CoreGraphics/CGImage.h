// Bitmap images and image masks, in the platform's row order: the first row in memory is the
// top of the image. CGContextDrawImage puts that row at the maximum y of the rectangle in user
// space, so an unflipped (y-up) context shows the image upright and a UIKit (y-down) context
// shows it upside down unless the caller flips its coordinates first, as on the platform.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "CoreGraphics/CGBase.h"

enum CGImageAlphaInfo : uint32_t {
    kCGImageAlphaNone = 0,                // RGB or grey, no alpha
    kCGImageAlphaPremultipliedLast = 1,   // RGBA, premultiplied
    kCGImageAlphaPremultipliedFirst = 2,  // ARGB, premultiplied
    kCGImageAlphaLast = 3,                // RGBA, straight
    kCGImageAlphaFirst = 4,               // ARGB, straight
    kCGImageAlphaNoneSkipLast = 5,        // RGBX
    kCGImageAlphaNoneSkipFirst = 6,       // XRGB
    kCGImageAlphaOnly = 7,                // alpha only
};

// Plain constants (not an enumeration) so that they combine with CGImageAlphaInfo values as
// platform code writes them: kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little.
using CGBitmapInfo = uint32_t;
inline constexpr CGBitmapInfo kCGBitmapAlphaInfoMask = 0x1F;
inline constexpr CGBitmapInfo kCGBitmapFloatComponents = 1 << 8;
inline constexpr CGBitmapInfo kCGBitmapByteOrderMask = 0x7000;
// Components in the order named (big-endian words).
inline constexpr CGBitmapInfo kCGBitmapByteOrderDefault = 0 << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder16Little = 1 << 12;
// 32-bit words little-endian: BGRA in memory for "first" alpha.
inline constexpr CGBitmapInfo kCGBitmapByteOrder32Little = 2 << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder16Big = 3 << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder32Big = 4 << 12;

enum CGColorRenderingIntent : int32_t {
    kCGRenderingIntentDefault = 0,
    kCGRenderingIntentAbsoluteColorimetric,
    kCGRenderingIntentRelativeColorimetric,
    kCGRenderingIntentPerceptual,
    kCGRenderingIntentSaturation,
};

// The pixel layouts this framework reads and writes: 8 bits per component RGB with any alpha
// placement and byte order, 8-bit grey with or without alpha, 8-bit alpha only; masks of 1 or 8
// bits per component.
struct CGPixelLayout {
    size_t width = 0, height = 0, bitsPerComponent = 8, bitsPerPixel = 32, bytesPerRow = 0;
    size_t colorComponents = 3;  // 3 RGB, 1 grey, 0 alpha only or mask
    CGBitmapInfo bitmapInfo = kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little;
    CGImageAlphaInfo alphaInfo() const {
        return CGImageAlphaInfo(bitmapInfo & kCGBitmapAlphaInfoMask);
    }
    bool valid() const;
};

class CGImage : public NSObject {
    NS_OBJECT(CGImage, NSObject)
    const CGPixelLayout& layout() { return layout_; }
    CGDataProvider* provider() { return provider_.get(); }
    CGColorSpace* colorSpace() { return space_.get(); }
    bool isMask() { return isMask_; }
    bool shouldInterpolate() { return interpolate_; }
    // The mask applied to this image (CGImageCreateWithMask), or nil.
    CGImage* mask() { return mask_.get(); }

    // The image as premultiplied native-endian ARGB words, rows top first (the drawing form),
    // with any mask applied; an image mask gives its coverage as alpha over black. Made once,
    // then shared.
    struct Pixels {
        size_t width = 0, height = 0;
        std::vector<uint32_t> argb;  // width words per row
    };
    std::shared_ptr<const Pixels> premultipliedPixels();
    // What clipping to this image and masking with it let through, 0 to 255 per pixel: an
    // image mask's inverted samples, an image's alpha when it has one, else its grey level
    // (luminance for RGB).
    struct Coverage {
        size_t width = 0, height = 0, stride = 0;  // stride a multiple of 4
        std::vector<uint8_t> alpha;
    };
    std::shared_ptr<const Coverage> maskCoverage();

    Ref<NSString> description() override;

private:
    friend struct CGImageFactory;
    CGPixelLayout layout_;
    Ref<CGDataProvider> provider_;
    Ref<CGColorSpace> space_;
    Ref<CGImage> mask_;
    std::vector<CGFloat> decode_;
    bool isMask_ = false;
    bool interpolate_ = true;
    std::shared_ptr<const Pixels> pixels_;
    std::shared_ptr<const Coverage> coverage_;
    std::mutex lock_;  // guards the lazily made forms
};

// nil for a layout that is not supported, or a provider with too few bytes.
Ref<CGImage> CGImageCreate(size_t width, size_t height, size_t bitsPerComponent,
                           size_t bitsPerPixel, size_t bytesPerRow, CGColorSpaceRef space,
                           CGBitmapInfo bitmapInfo, CGDataProviderRef provider,
                           const CGFloat* decode, bool shouldInterpolate,
                           CGColorRenderingIntent intent);
// An image mask: where a sample is 0 the paint goes through; where it is 1 (all bits set) it is
// masked out; between, partly (a decode of {1, 0} swaps the sense).
Ref<CGImage> CGImageMaskCreate(size_t width, size_t height, size_t bitsPerComponent,
                               size_t bitsPerPixel, size_t bytesPerRow, CGDataProviderRef provider,
                               const CGFloat* decode, bool shouldInterpolate);
Ref<CGImage> CGImageCreateCopy(CGImageRef image);
// The pixels inside rect (pixel coordinates, first row at y 0), made integral and cut to the
// image; nil when nothing is left.
Ref<CGImage> CGImageCreateWithImageInRect(CGImageRef image, CGRect rect);
// The image with its alpha multiplied by the mask, scaled to the image's size: an image mask
// acts as inverse alpha (1 - sample), a grey image as alpha (its value). nil when the mask is
// neither, or the image is itself a mask.
Ref<CGImage> CGImageCreateWithMask(CGImageRef image, CGImageRef mask);

size_t CGImageGetWidth(CGImageRef image);
size_t CGImageGetHeight(CGImageRef image);
size_t CGImageGetBitsPerComponent(CGImageRef image);
size_t CGImageGetBitsPerPixel(CGImageRef image);
size_t CGImageGetBytesPerRow(CGImageRef image);
CGColorSpaceRef CGImageGetColorSpace(CGImageRef image);
CGImageAlphaInfo CGImageGetAlphaInfo(CGImageRef image);
CGBitmapInfo CGImageGetBitmapInfo(CGImageRef image);
CGDataProviderRef CGImageGetDataProvider(CGImageRef image);
bool CGImageIsMask(CGImageRef image);
bool CGImageGetShouldInterpolate(CGImageRef image);
const CGFloat* CGImageGetDecode(CGImageRef image);
