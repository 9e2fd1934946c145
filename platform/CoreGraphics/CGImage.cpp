#include "CoreGraphics/CGImage.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>

#include "CoreGraphics/CGColorSpace.h"
#include "CoreGraphics/CGDataProvider.h"
#include "CoreGraphics/CGPixelConversion.h"
#include "Foundation/NSData.h"
#include "Foundation/NSString.h"

using namespace cg_detail;

namespace {

bool littleWords(CGBitmapInfo info) {
    CGBitmapInfo order = info & kCGBitmapByteOrderMask;
    return order == kCGBitmapByteOrder32Little || order == kCGBitmapByteOrder16Little;
}

bool alphaFirst(CGImageAlphaInfo a) {
    return a == kCGImageAlphaPremultipliedFirst || a == kCGImageAlphaFirst ||
           a == kCGImageAlphaNoneSkipFirst;
}

bool premultiplied(CGImageAlphaInfo a) {
    return a == kCGImageAlphaPremultipliedFirst || a == kCGImageAlphaPremultipliedLast;
}

bool hasRealAlpha(CGImageAlphaInfo a) {
    return a == kCGImageAlphaPremultipliedFirst || a == kCGImageAlphaPremultipliedLast ||
           a == kCGImageAlphaFirst || a == kCGImageAlphaLast || a == kCGImageAlphaOnly;
}

// Rows of 32-bit words with alpha (or its skipped byte) first, in the machine's own byte order:
// the drawing form itself, copied word for word instead of byte by byte.
bool nativeWordsAlphaFirst(const CGPixelLayout& L) {
    if (L.colorComponents != 3 || L.bitsPerPixel != 32 || L.bitsPerComponent != 8) return false;
    const CGImageAlphaInfo ai = L.alphaInfo();
    if (ai != kCGImageAlphaPremultipliedFirst && ai != kCGImageAlphaNoneSkipFirst) return false;
    const bool little = littleWords(L.bitmapInfo);
    return little == (std::endian::native == std::endian::little);
}

uint8_t lumaOf(uint32_t r, uint32_t g, uint32_t b) {
    return uint8_t((r * 77 + g * 150 + b * 29 + 128) >> 8);
}

uint8_t decodeSample(uint8_t v, const CGFloat* decode) {
    if (!decode) return v;
    CGFloat lo = decode[0], hi = decode[1];
    CGFloat f = lo + (hi - lo) * (v / 255.0f);
    f = std::clamp(f, 0.0f, 1.0f);
    return uint8_t(std::lround(f * 255));
}

}  // namespace

namespace cg_detail {

void readRowPremultiplied(const CGPixelLayout& L, const uint8_t* row, uint32_t* out, bool isMask,
                          const CGFloat* decode) {
    const size_t w = L.width;
    const CGImageAlphaInfo ai = L.alphaInfo();
    if (isMask || L.colorComponents == 0) {
        for (size_t x = 0; x < w; ++x) {
            uint8_t s;
            if (L.bitsPerComponent == 1) {
                s = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
            } else {
                s = row[x * (L.bitsPerPixel / 8)];
            }
            s = decodeSample(s, decode);
            // An image mask's samples say where paint is held back; an alpha-only bitmap's
            // say where it is.
            uint8_t a = isMask ? uint8_t(255 - s) : s;
            out[x] = packARGB(a, 0, 0, 0);
        }
        return;
    }
    if (nativeWordsAlphaFirst(L)) {
        std::memcpy(out, row, w * 4);
        if (L.alphaInfo() == kCGImageAlphaNoneSkipFirst) {
            for (size_t x = 0; x < w; ++x)
                out[x] |= 0xFF000000u;
            return;
        }
        // Premultiplied input that breaks the rule (colour above alpha) is clamped.
        for (size_t x = 0; x < w; ++x) {
            const uint32_t p = out[x];
            const uint32_t a = p >> 24;
            if (a == 255) continue;
            const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            if (r > a || g > a || b > a)
                out[x] = packARGB(a, r > a ? a : r, g > a ? a : g, b > a ? a : b);
        }
        return;
    }
    const size_t bpp = L.bitsPerPixel / 8;
    const bool little = littleWords(L.bitmapInfo);
    for (size_t x = 0; x < w; ++x) {
        const uint8_t* p = row + x * bpp;
        uint8_t c[4] = {0, 0, 0, 0};
        for (size_t k = 0; k < bpp && k < 4; ++k)
            c[k] = little && bpp > 1 ? p[bpp - 1 - k] : p[k];
        uint32_t r, g, b, a = 255;
        if (L.colorComponents == 1) {
            if (bpp == 1) {
                r = g = b = decodeSample(c[0], decode);
            } else if (alphaFirst(ai)) {
                a = c[0];
                r = g = b = c[1];
            } else {
                r = g = b = c[0];
                a = c[1];
            }
        } else if (bpp == 3) {
            r = c[0], g = c[1], b = c[2];
        } else if (alphaFirst(ai)) {
            a = c[0], r = c[1], g = c[2], b = c[3];
        } else {
            r = c[0], g = c[1], b = c[2], a = c[3];
        }
        if (!hasRealAlpha(ai)) a = 255;
        if (!premultiplied(ai) && a != 255) {
            r = mul255(r, a), g = mul255(g, a), b = mul255(b, a);
        } else if (premultiplied(ai)) {
            // Premultiplied input that breaks the rule (colour above alpha) is clamped.
            r = std::min(r, a), g = std::min(g, a), b = std::min(b, a);
        }
        out[x] = packARGB(a, r, g, b);
    }
}

void writeRowFromPremultiplied(const CGPixelLayout& L, const uint32_t* in, uint8_t* row) {
    const size_t w = L.width;
    if (L.colorComponents == 0) {
        for (size_t x = 0; x < w; ++x)
            row[x] = alphaOf(in[x]);
        return;
    }
    if (L.colorComponents == 1) {
        for (size_t x = 0; x < w; ++x)
            row[x] = lumaOf(redOf(in[x]), greenOf(in[x]), blueOf(in[x]));
        return;
    }
    if (nativeWordsAlphaFirst(L)) {
        std::memcpy(row, in, w * 4);
        if (L.alphaInfo() == kCGImageAlphaNoneSkipFirst) {
            // The skipped byte reads as opaque; it is the word's high byte wherever it lies.
            const size_t high = std::endian::native == std::endian::little ? 3 : 0;
            for (size_t x = 0; x < w; ++x)
                row[x * 4 + high] = 0xFF;
        }
        return;
    }
    const CGImageAlphaInfo ai = L.alphaInfo();
    const bool little = littleWords(L.bitmapInfo);
    const bool skip = !hasRealAlpha(ai);
    for (size_t x = 0; x < w; ++x) {
        uint32_t p = in[x];
        uint8_t a = skip ? 255 : alphaOf(p);
        uint8_t c[4];
        if (alphaFirst(ai)) {
            c[0] = a, c[1] = redOf(p), c[2] = greenOf(p), c[3] = blueOf(p);
        } else {
            c[0] = redOf(p), c[1] = greenOf(p), c[2] = blueOf(p), c[3] = a;
        }
        uint8_t* o = row + x * 4;
        for (int k = 0; k < 4; ++k)
            o[k] = little ? c[3 - k] : c[k];
    }
}

bool isContextLayout(const CGPixelLayout& L) {
    if (L.bitsPerComponent != 8 || L.width == 0 || L.height == 0) return false;
    if (L.bitmapInfo & kCGBitmapFloatComponents) return false;
    const CGImageAlphaInfo ai = L.alphaInfo();
    switch (L.colorComponents) {
        case 3:
            return L.bitsPerPixel == 32 &&
                   (ai == kCGImageAlphaPremultipliedFirst || ai == kCGImageAlphaPremultipliedLast ||
                    ai == kCGImageAlphaNoneSkipFirst || ai == kCGImageAlphaNoneSkipLast);
        case 1:
            return L.bitsPerPixel == 8 && ai == kCGImageAlphaNone;
        case 0:
            return L.bitsPerPixel == 8 && ai == kCGImageAlphaOnly;
        default:
            return false;
    }
}

namespace {

bool inMachineWordOrder(const CGPixelLayout& L) {
    if (L.colorComponents != 3 || L.bitsPerPixel != 32 || L.bitsPerComponent != 8) return false;
    // Words in the machine's order with alpha in the high byte: "first" in little-endian
    // words on a little-endian machine.
    const uint16_t probe = 1;
    const bool machineLittle = *reinterpret_cast<const uint8_t*>(&probe) == 1;
    const CGBitmapInfo order = L.bitmapInfo & kCGBitmapByteOrderMask;
    const bool wordsLittle = order == kCGBitmapByteOrder32Little;
    const bool wordsBig = order == kCGBitmapByteOrder32Big || order == kCGBitmapByteOrderDefault;
    return (machineLittle ? wordsLittle : wordsBig) && L.bytesPerRow % 4 == 0;
}

std::atomic<int> convertEveryPaint{0};

}  // namespace

bool isNativeARGB(const CGPixelLayout& L) {
    return inMachineWordOrder(L) && L.alphaInfo() == kCGImageAlphaPremultipliedFirst;
}

bool isNativeSkippedAlphaWords(const CGPixelLayout& L) {
    return inMachineWordOrder(L) && L.alphaInfo() == kCGImageAlphaNoneSkipFirst;
}

void makeOpaque(uint8_t* data, int w, int h, size_t stride) {
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + size_t(y) * stride);
        for (int x = 0; x < w; ++x)
            row[x] |= 0xFF000000u;
    }
}

ConvertEveryPaintScope::ConvertEveryPaintScope() {
    ++convertEveryPaint;
}

ConvertEveryPaintScope::~ConvertEveryPaintScope() {
    --convertEveryPaint;
}

bool ConvertEveryPaintScope::active() {
    return convertEveryPaint.load() > 0;
}

}  // namespace cg_detail

bool CGPixelLayout::valid() const {
    if (width == 0 || height == 0) return false;
    if (bitmapInfo & kCGBitmapFloatComponents) return false;
    if (bitsPerPixel == 0 || bytesPerRow < (width * bitsPerPixel + 7) / 8) return false;
    const CGImageAlphaInfo ai = alphaInfo();
    if (bitsPerComponent == 1) return colorComponents == 0 && bitsPerPixel == 1;
    if (bitsPerComponent != 8) return false;
    switch (colorComponents) {
        case 3:
            if (bitsPerPixel == 24) return ai == kCGImageAlphaNone;
            return bitsPerPixel == 32 && ai != kCGImageAlphaNone && ai != kCGImageAlphaOnly;
        case 1:
            if (bitsPerPixel == 8) return ai == kCGImageAlphaNone;
            return bitsPerPixel == 16 && ai != kCGImageAlphaNone && ai != kCGImageAlphaOnly &&
                   ai != kCGImageAlphaNoneSkipFirst && ai != kCGImageAlphaNoneSkipLast;
        case 0:
            return bitsPerPixel == 8;
        default:
            return false;
    }
}

struct CGImageFactory {
    static Ref<CGImage> make(const CGPixelLayout& layout, CGColorSpaceRef space,
                             CGDataProviderRef provider, const CGFloat* decode, bool interpolate,
                             bool isMask) {
        if (!provider || !layout.valid()) return nullptr;
        if (provider->size() < layout.bytesPerRow * (layout.height - 1) +
                                   (layout.width * layout.bitsPerPixel + 7) / 8) {
            return nullptr;
        }
        Ref<CGImage> img = alloc<CGImage>();
        img->layout_ = layout;
        img->provider_ = provider;
        img->space_ = space;
        img->isMask_ = isMask;
        img->interpolate_ = interpolate;
        size_t n = isMask ? 1 : std::max<size_t>(layout.colorComponents, 1);
        if (decode) img->decode_.assign(decode, decode + 2 * n);
        return img;
    }
    static Ref<CGImage> withMask(CGImage* image, CGImage* mask) {
        Ref<CGImage> img = alloc<CGImage>();
        img->layout_ = image->layout_;
        img->provider_ = image->provider_;
        img->space_ = image->space_;
        img->decode_ = image->decode_;
        img->interpolate_ = image->interpolate_;
        img->mask_ = mask;
        return img;
    }
    static const std::vector<CGFloat>& decode(CGImage* image) { return image->decode_; }
};

std::shared_ptr<const CGImage::Pixels> CGImage::premultipliedPixels() {
    std::lock_guard<std::mutex> guard(lock_);
    if (pixels_) return pixels_;
    auto px = std::make_shared<Pixels>();
    px->width = layout_.width;
    px->height = layout_.height;
    px->argb.resize(px->width * px->height);
    const uint8_t* bytes = provider_->bytes();
    const CGFloat* decode = decode_.empty() ? nullptr : decode_.data();
    for (size_t y = 0; y < px->height; ++y) {
        readRowPremultiplied(layout_, bytes + y * layout_.bytesPerRow,
                             px->argb.data() + y * px->width, isMask_, decode);
    }
    if (mask_) {
        // The mask is stretched over the image, sampled at pixel centres.
        auto cov = mask_->maskCoverage();
        for (size_t y = 0; y < px->height; ++y) {
            size_t my = std::min(cov->height - 1, (y * cov->height) / px->height);
            for (size_t x = 0; x < px->width; ++x) {
                size_t mx = std::min(cov->width - 1, (x * cov->width) / px->width);
                uint8_t m = cov->alpha[my * cov->stride + mx];
                uint32_t& p = px->argb[y * px->width + x];
                p = packARGB(mul255(alphaOf(p), m), mul255(redOf(p), m), mul255(greenOf(p), m),
                             mul255(blueOf(p), m));
            }
        }
    }
    pixels_ = px;
    return pixels_;
}

std::shared_ptr<const CGImage::Coverage> CGImage::maskCoverage() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (coverage_) return coverage_;
    }
    auto px = premultipliedPixels();
    auto cov = std::make_shared<Coverage>();
    cov->width = px->width;
    cov->height = px->height;
    cov->stride = (px->width + 3) & ~size_t(3);
    cov->alpha.assign(cov->stride * cov->height, 0);
    const bool useAlpha = isMask_ || hasRealAlpha(layout_.alphaInfo());
    for (size_t y = 0; y < px->height; ++y) {
        for (size_t x = 0; x < px->width; ++x) {
            uint32_t p = px->argb[y * px->width + x];
            cov->alpha[y * cov->stride + x] =
                useAlpha ? alphaOf(p) : lumaOf(redOf(p), greenOf(p), blueOf(p));
        }
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (!coverage_) coverage_ = cov;
    return coverage_;
}

Ref<NSString> CGImage::description() {
    return NSString::stringWithFormat(
        NS("<CGImage %p> (%u x %u, %u bpc, %u bpp, info %u%s)"), this, unsigned(layout_.width),
        unsigned(layout_.height), unsigned(layout_.bitsPerComponent),
        unsigned(layout_.bitsPerPixel), unsigned(layout_.bitmapInfo), isMask_ ? ", mask" : "");
}

Ref<CGImage> CGImageCreate(size_t width, size_t height, size_t bitsPerComponent,
                           size_t bitsPerPixel, size_t bytesPerRow, CGColorSpaceRef space,
                           CGBitmapInfo bitmapInfo, CGDataProviderRef provider,
                           const CGFloat* decode, bool shouldInterpolate, CGColorRenderingIntent) {
    CGPixelLayout L;
    L.width = width;
    L.height = height;
    L.bitsPerComponent = bitsPerComponent;
    L.bitsPerPixel = bitsPerPixel;
    L.bytesPerRow = bytesPerRow;
    L.bitmapInfo = bitmapInfo;
    if ((bitmapInfo & kCGBitmapAlphaInfoMask) == kCGImageAlphaOnly) {
        L.colorComponents = 0;
    } else {
        if (!space) return nullptr;
        L.colorComponents = space->numberOfComponents();
    }
    return CGImageFactory::make(L, space, provider, decode, shouldInterpolate, false);
}

Ref<CGImage> CGImageMaskCreate(size_t width, size_t height, size_t bitsPerComponent,
                               size_t bitsPerPixel, size_t bytesPerRow, CGDataProviderRef provider,
                               const CGFloat* decode, bool shouldInterpolate) {
    if (bitsPerComponent != bitsPerPixel) return nullptr;
    CGPixelLayout L;
    L.width = width;
    L.height = height;
    L.bitsPerComponent = bitsPerComponent;
    L.bitsPerPixel = bitsPerPixel;
    L.bytesPerRow = bytesPerRow;
    L.colorComponents = 0;
    L.bitmapInfo = kCGImageAlphaOnly;
    return CGImageFactory::make(L, nullptr, provider, decode, shouldInterpolate, true);
}

Ref<CGImage> CGImageCreateCopy(CGImageRef image) {
    if (!image) return nullptr;
    return Ref<CGImage>(image);  // images never change, so the copy can be the image itself
}

Ref<CGImage> CGImageCreateWithImageInRect(CGImageRef image, CGRect rect) {
    if (!image || CGRectIsNull(rect)) return nullptr;
    const CGPixelLayout& L = image->layout();
    CGRect r = CGRectIntersection(CGRectIntegral(rect),
                                  CGRectMake(0, 0, CGFloat(L.width), CGFloat(L.height)));
    if (CGRectIsEmpty(r)) return nullptr;
    size_t x0 = size_t(r.origin.x), y0 = size_t(r.origin.y);
    size_t w = size_t(r.size.width), h = size_t(r.size.height);
    CGPixelLayout out = L;
    out.width = w;
    out.height = h;
    out.bytesPerRow = (w * L.bitsPerPixel + 7) / 8;
    auto data = NSMutableData::dataWithLength(NSUInteger(out.bytesPerRow * h));
    auto* dst = static_cast<uint8_t*>(data->mutableBytes());
    const uint8_t* src = image->provider()->bytes();
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* srow = src + (y0 + y) * L.bytesPerRow;
        uint8_t* drow = dst + y * out.bytesPerRow;
        if (L.bitsPerPixel == 1) {
            for (size_t x = 0; x < w; ++x) {
                size_t sx = x0 + x;
                if ((srow[sx >> 3] >> (7 - (sx & 7))) & 1) drow[x >> 3] |= uint8_t(0x80 >> (x & 7));
            }
        } else {
            std::memcpy(drow, srow + x0 * (L.bitsPerPixel / 8), out.bytesPerRow);
        }
    }
    auto provider = CGDataProviderCreateWithCFData(data);
    const auto& decode = CGImageFactory::decode(image);
    return CGImageFactory::make(out, image->colorSpace(), provider,
                                decode.empty() ? nullptr : decode.data(),
                                image->shouldInterpolate(), image->isMask());
}

Ref<CGImage> CGImageCreateWithMask(CGImageRef image, CGImageRef mask) {
    if (!image || !mask || image->isMask()) return nullptr;
    const bool greyImage =
        mask->layout().colorComponents == 1 && mask->layout().alphaInfo() == kCGImageAlphaNone;
    if (!mask->isMask() && !greyImage) return nullptr;
    return CGImageFactory::withMask(image, mask);
}

size_t CGImageGetWidth(CGImageRef image) {
    return image ? image->layout().width : 0;
}
size_t CGImageGetHeight(CGImageRef image) {
    return image ? image->layout().height : 0;
}
size_t CGImageGetBitsPerComponent(CGImageRef image) {
    return image ? image->layout().bitsPerComponent : 0;
}
size_t CGImageGetBitsPerPixel(CGImageRef image) {
    return image ? image->layout().bitsPerPixel : 0;
}
size_t CGImageGetBytesPerRow(CGImageRef image) {
    return image ? image->layout().bytesPerRow : 0;
}
CGColorSpaceRef CGImageGetColorSpace(CGImageRef image) {
    return image ? image->colorSpace() : nullptr;
}
CGImageAlphaInfo CGImageGetAlphaInfo(CGImageRef image) {
    if (!image) return kCGImageAlphaNone;
    return image->isMask() ? kCGImageAlphaNone : image->layout().alphaInfo();
}
CGBitmapInfo CGImageGetBitmapInfo(CGImageRef image) {
    if (!image) return 0;
    return image->isMask() ? 0 : image->layout().bitmapInfo;
}
CGDataProviderRef CGImageGetDataProvider(CGImageRef image) {
    return image ? image->provider() : nullptr;
}
bool CGImageIsMask(CGImageRef image) {
    return image && image->isMask();
}
bool CGImageGetShouldInterpolate(CGImageRef image) {
    return image && image->shouldInterpolate();
}
const CGFloat* CGImageGetDecode(CGImageRef image) {
    if (!image) return nullptr;
    const auto& d = CGImageFactory::decode(image);
    return d.empty() ? nullptr : d.data();
}
