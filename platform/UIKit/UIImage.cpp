#include "UIKit/UIImage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "CoreGraphics/CGImage.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSData.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/ImageCodecs.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIScreen.h"

namespace {
// By name; the images depend on the main bundle and the screen's scale, so a reset (between tests)
// forgets them.
std::map<std::string, Ref<UIImage>>& namedCache() {
    static ProcessWide<std::map<std::string, Ref<UIImage>>> cache;
    return *cache.get();
}

uint32_t be32(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
uint16_t be16(const unsigned char* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

bool readPNG(const unsigned char* p, size_t n, CGSize* size) {
    static const unsigned char sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (n < 24 || std::memcmp(p, sig, 8) != 0 || std::memcmp(p + 12, "IHDR", 4) != 0) return false;
    uint32_t w = be32(p + 16), h = be32(p + 20);
    if (w == 0 || h == 0) return false;
    *size = CGSizeMake(static_cast<CGFloat>(w), static_cast<CGFloat>(h));
    return true;
}

bool readJPEG(const unsigned char* p, size_t n, CGSize* size) {
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8) return false;
    size_t i = 2;
    while (i + 4 <= n) {
        if (p[i] != 0xFF) return false;
        unsigned char marker = p[i + 1];
        if (marker == 0xFF) {  // fill bytes
            ++i;
            continue;
        }
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            i += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return false;  // no frame header before the data
        size_t len = be16(p + i + 2);
        if (len < 2) return false;
        bool sof = (marker >= 0xC0 && marker <= 0xCF) && marker != 0xC4 && marker != 0xC8 &&
                   marker != 0xCC;
        if (sof) {
            if (i + 9 > n) return false;
            uint16_t h = be16(p + i + 5), w = be16(p + i + 7);
            if (w == 0 || h == 0) return false;
            *size = CGSizeMake(w, h);
            return true;
        }
        i += 2 + len;
    }
    return false;
}

bool readGIF(const unsigned char* p, size_t n, CGSize* size) {
    if (n < 13 || (std::memcmp(p, "GIF87a", 6) != 0 && std::memcmp(p, "GIF89a", 6) != 0))
        return false;
    uint16_t w = static_cast<uint16_t>(p[6] | p[7] << 8),
             h = static_cast<uint16_t>(p[8] | p[9] << 8);
    if (w == 0 || h == 0) return false;
    *size = CGSizeMake(w, h);
    return true;
}

bool hasScale2Suffix(const std::string& path) {
    auto slash = path.rfind('/');
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    auto dot = file.rfind('.');
    std::string stem = dot == std::string::npos ? file : file.substr(0, dot);
    return stem.size() > 3 && stem.compare(stem.size() - 3, 3, "@2x") == 0;
}
}  // namespace

void UIImage::describeClass(RuntimeClass& c) {
    c.implements({"initWithCGImage:scale:orientation:", "drawAtPoint:blendMode:alpha:",
                  "drawInRect:blendMode:alpha:", "drawAsPatternInRect:",
                  "resizableImageWithCapInsets:", "scale", "CGImage"});
}

bool UIImage::readImageHeader(NSData* data, CGSize* pixels, Ref<NSString>* format) {
    if (!data) return false;
    auto* p = static_cast<const unsigned char*>(data->bytes());
    size_t n = data->length();
    CGSize s;
    if (readPNG(p, n, &s)) {
        if (pixels) *pixels = s;
        if (format) *format = NS("png");
        return true;
    }
    if (readJPEG(p, n, &s)) {
        if (pixels) *pixels = s;
        if (format) *format = NS("jpeg");
        return true;
    }
    if (readGIF(p, n, &s)) {
        if (pixels) *pixels = s;
        if (format) *format = NS("gif");
        return true;
    }
    return false;
}

bool UIImage::initWithData(NSData* data) {
    return initWithData(data, 1);
}

bool UIImage::initWithData(NSData* data, CGFloat scale) {
    if (!readImageHeader(data, &pixels_, &format_)) return false;
    data_ = data;
    scale_ = scale > 0 ? scale : 1;
    // Cameras store the sensor's rows and say in EXIF how to turn them.
    if (format_->isEqualToString(NS("jpeg")))
        orientation_ =
            UIImageJPEGOrientation(static_cast<const uint8_t*>(data->bytes()), data->length());
    return true;
}

bool UIImage::initWithCGImage(CGImageRef image) {
    return initWithCGImage(image, 1, UIImageOrientationUp);
}

bool UIImage::initWithCGImage(CGImageRef image, CGFloat scale, UIImageOrientation orientation) {
    if (!image) return false;
    image_ = image;
    decodeTried_ = true;
    pixels_ = CGSizeMake(static_cast<CGFloat>(CGImageGetWidth(image)),
                         static_cast<CGFloat>(CGImageGetHeight(image)));
    scale_ = scale > 0 ? scale : 1;
    orientation_ = orientation;
    return true;
}

bool UIImage::initWithContentsOfFile(NSString* path) {
    if (!path) return false;
    auto data = NSData::dataWithContentsOfFile(path);
    if (!initWithData(data, hasScale2Suffix(path->utf8()) ? 2 : 1)) return false;
    source_ = path;
    return true;
}

Ref<UIImage> UIImage::imageWithData(NSData* data) {
    return make<UIImage>(static_cast<bool (UIImage::*)(NSData*)>(&UIImage::initWithData), data);
}

Ref<UIImage> UIImage::imageWithData(NSData* data, CGFloat scale) {
    return make<UIImage>(static_cast<bool (UIImage::*)(NSData*, CGFloat)>(&UIImage::initWithData),
                         data, scale);
}

Ref<UIImage> UIImage::imageWithContentsOfFile(NSString* path) {
    return make<UIImage>(&UIImage::initWithContentsOfFile, path);
}

Ref<UIImage> UIImage::imageWithImage(UIImage* image, CGFloat scale,
                                     UIImageOrientation orientation) {
    if (!image) return nullptr;
    auto copy = make<UIImage>();
    {
        std::lock_guard<std::mutex> lock(image->decodeLock_);
        copy->image_ = image->image_;
        copy->decodeTried_ = image->decodeTried_;
    }
    copy->data_ = image->data_;
    copy->format_ = image->format_;
    copy->source_ = image->source_;
    copy->pixels_ = image->pixels_;
    copy->scale_ = scale > 0 ? scale : 1;
    copy->orientation_ = orientation;
    return copy;
}

Ref<UIImage> UIImage::imageWithSize(CGSize size, CGFloat scale) {
    auto img = make<UIImage>();
    img->scale_ = scale > 0 ? scale : 1;
    img->pixels_ = CGSizeMake(size.width * img->scale_, size.height * img->scale_);
    return img;
}

Ref<UIImage> UIImage::imageWithCGImage(CGImageRef image) {
    return imageWithCGImage(image, 1, UIImageOrientationUp);
}

Ref<UIImage> UIImage::imageWithCGImage(CGImageRef image, CGFloat scale,
                                       UIImageOrientation orientation) {
    auto img = alloc<UIImage>();
    return img->initWithCGImage(image, scale, orientation) ? img : nullptr;
}

Ref<UIImage> UIImage::imageNamed(NSString* name) {
    if (!name || name->length() == 0) return nullptr;
    std::string key = name->utf8();
    auto& cache = namedCache();
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    auto bundle = NSBundle::mainBundle();
    auto ext = name->pathExtension();
    Ref<NSString> stem = name;
    if (ext->length() == 0) {
        ext = NS("png");
    } else {
        stem = name->stringByDeletingPathExtension();
    }
    Ref<UIImage> image;
    if (UIScreen::mainScreen()->scale() >= 2) {
        auto path = bundle->pathForResource(stem->stringByAppendingString(NS("@2x")), ext);
        if (path) image = imageWithContentsOfFile(path);
    }
    if (!image) {
        auto path = bundle->pathForResource(stem, ext);
        if (path) image = imageWithContentsOfFile(path);
    }
    if (!image) return nullptr;
    image->source_ = name;
    cache[key] = image;
    return image;
}

void UIImage::flushNamedCache() {
    namedCache().clear();
}

CGSize UIImage::size() {
    CGSize s = CGSizeMake(pixels_.width / scale_, pixels_.height / scale_);
    switch (orientation_) {
        case UIImageOrientationLeft:
        case UIImageOrientationRight:
        case UIImageOrientationLeftMirrored:
        case UIImageOrientationRightMirrored:
            return CGSizeMake(s.height, s.width);
        default:
            return s;
    }
}

Ref<UIImage> UIImage::stretchableImageWithLeftCapWidth(NSInteger leftCapWidth,
                                                       NSInteger topCapHeight) {
    auto copy = imageWithImage(this, scale_, orientation_);
    copy->leftCap_ = leftCapWidth;
    copy->topCap_ = topCapHeight;
    CGSize s = size();
    // The platform's one-pixel middle: the right and bottom caps take the rest.
    copy->caps_ =
        UIEdgeInsetsMake(static_cast<CGFloat>(topCapHeight), static_cast<CGFloat>(leftCapWidth),
                         topCapHeight ? s.height - static_cast<CGFloat>(topCapHeight) - 1 : 0,
                         leftCapWidth ? s.width - static_cast<CGFloat>(leftCapWidth) - 1 : 0);
    return copy;
}

Ref<UIImage> UIImage::resizableImageWithCapInsets(UIEdgeInsets capInsets) {
    auto copy = imageWithImage(this, scale_, orientation_);
    copy->caps_ = capInsets;
    copy->leftCap_ = static_cast<NSInteger>(capInsets.left);
    copy->topCap_ = static_cast<NSInteger>(capInsets.top);
    return copy;
}

void UIImage::setSourceName(NSString* name) {
    source_ = name;
}

void UIImage::setAccessibilityLabel(NSString* label) {
    accessibilityLabel_ = label ? label->copy() : nullptr;
}

Ref<::CGImage> UIImage::CGImage() {
    return decoded();
}

Ref<::CGImage> UIImage::decoded() {
    std::lock_guard<std::mutex> lock(decodeLock_);
    if (decodeTried_) return image_;
    decodeTried_ = true;
    if (data_) {
        auto* bytes = static_cast<const uint8_t*>(data_->bytes());
        size_t length = data_->length();
        image_ = format_->isEqualToString(NS("png"))   ? UIImageDecodePNG(bytes, length)
                 : format_->isEqualToString(NS("gif")) ? UIImageDecodeGIF(bytes, length)
                                                       : UIImageDecodeJPEG(bytes, length);
    } else if (pixels_.width >= 1 && pixels_.height >= 1) {
        // An image made by size: transparent until something is drawn into a copy of it.
        UIImagePixels px;
        px.width = static_cast<size_t>(pixels_.width);
        px.height = static_cast<size_t>(pixels_.height);
        px.argb.assign(px.width * px.height, 0);
        image_ = UIImageMakeCGImage(std::move(px), true);
    }
    return image_;
}

Ref<CGImage> UIImageUprightCGImage(UIImage* image) {
    if (!image) return nullptr;
    auto img = image->CGImage();
    if (!img || image->imageOrientation() == UIImageOrientationUp) return img;
    auto px = UIImagePixelsOf(img);
    if (px.argb.empty()) return nullptr;
    bool alpha = CGImageGetAlphaInfo(img) != kCGImageAlphaNone &&
                 CGImageGetAlphaInfo(img) != kCGImageAlphaNoneSkipFirst &&
                 CGImageGetAlphaInfo(img) != kCGImageAlphaNoneSkipLast;
    return UIImageMakeCGImage(UIImageOrientPixels(px, image->imageOrientation()), alpha);
}

namespace {
// Maps the stored bitmap's unit square (s, t), t down, onto the shown unit square (u, v), v
// down: u = a s + c t + tx, v = b s + d t + ty.
CGAffineTransform orientationTransform(UIImageOrientation o) {
    switch (o) {
        case UIImageOrientationUp:
            return CGAffineTransformMake(1, 0, 0, 1, 0, 0);
        case UIImageOrientationDown:
            return CGAffineTransformMake(-1, 0, 0, -1, 1, 1);
        case UIImageOrientationRight:
            return CGAffineTransformMake(0, 1, -1, 0, 1, 0);
        case UIImageOrientationLeft:
            return CGAffineTransformMake(0, -1, 1, 0, 0, 1);
        case UIImageOrientationUpMirrored:
            return CGAffineTransformMake(-1, 0, 0, 1, 1, 0);
        case UIImageOrientationDownMirrored:
            return CGAffineTransformMake(1, 0, 0, -1, 0, 1);
        case UIImageOrientationLeftMirrored:
            return CGAffineTransformMake(0, 1, 1, 0, 0, 0);
        case UIImageOrientationRightMirrored:
            return CGAffineTransformMake(0, -1, -1, 0, 1, 1);
    }
    return CGAffineTransformIdentity;
}

// Draws the bitmap's first row at the top of rect in the (y-down) context, turned as said.
void drawBitmap(CGContextRef ctx, CGImageRef image, CGRect rect, UIImageOrientation o) {
    if (rect.size.width == 0 || rect.size.height == 0) return;
    CGContextSaveGState(ctx);
    CGContextTranslateCTM(ctx, rect.origin.x, rect.origin.y);
    CGContextScaleCTM(ctx, rect.size.width, rect.size.height);
    CGContextConcatCTM(ctx, orientationTransform(o));
    // CoreGraphics puts the first row at the rectangle's maximum y: flip the unit square.
    CGContextTranslateCTM(ctx, 0, 1);
    CGContextScaleCTM(ctx, 1, -1);
    CGContextDrawImage(ctx, CGRectMake(0, 0, 1, 1), image);
    CGContextRestoreGState(ctx);
}

bool hasCaps(UIEdgeInsets c) {
    return c.top > 0 || c.left > 0 || c.bottom > 0 || c.right > 0;
}
}  // namespace

void UIImage::drawAtPoint(CGPoint point) {
    CGSize s = size();
    drawInRect(CGRectMake(point.x, point.y, s.width, s.height));
}

void UIImage::drawAtPoint(CGPoint point, CGBlendMode blendMode, CGFloat alpha) {
    CGSize s = size();
    drawInRect(CGRectMake(point.x, point.y, s.width, s.height), blendMode, alpha);
}

void UIImage::drawInRect(CGRect rect) {
    auto ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    CGContextSaveGState(ctx);
    CGContextSetBlendMode(ctx, kCGBlendModeNormal);
    drawIntoContext(ctx, rect);
    CGContextRestoreGState(ctx);
}

void UIImage::drawInRect(CGRect rect, CGBlendMode blendMode, CGFloat alpha) {
    auto ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    CGContextSaveGState(ctx);
    CGContextSetBlendMode(ctx, blendMode);
    CGContextSetAlpha(ctx, alpha);
    drawIntoContext(ctx, rect);
    CGContextRestoreGState(ctx);
}

void UIImage::drawIntoContext(CGContextRef ctx, CGRect rect) {
    auto image = CGImage();
    if (!image) return;
    if (hasCaps(caps_)) {
        drawStretched(ctx, rect);
        return;
    }
    drawBitmap(ctx, image, rect, orientation_);
}

void UIImage::drawStretched(CGContextRef ctx, CGRect rect) {
    auto upright = UIImageUprightCGImage(this);
    if (!upright) return;
    rect = CGRectStandardize(rect);
    CGFloat pw = static_cast<CGFloat>(CGImageGetWidth(upright));
    CGFloat ph = static_cast<CGFloat>(CGImageGetHeight(upright));
    // Caps in points; where the target is smaller than both caps they share what there is.
    auto split = [](CGFloat a, CGFloat b, CGFloat room) {
        if (a + b > room && a + b > 0) {
            CGFloat k = room / (a + b);
            a *= k;
            b *= k;
        }
        return std::pair<CGFloat, CGFloat>(a, b);
    };
    CGSize s = size();
    auto [left, right] =
        split(std::min(caps_.left, s.width), std::min(caps_.right, s.width), rect.size.width);
    auto [top, bottom] =
        split(std::min(caps_.top, s.height), std::min(caps_.bottom, s.height), rect.size.height);
    // Source edges in pixels, target edges in points.
    CGFloat sx[4] = {0, std::round(caps_.left * scale_), pw - std::round(caps_.right * scale_), pw};
    CGFloat sy[4] = {0, std::round(caps_.top * scale_), ph - std::round(caps_.bottom * scale_), ph};
    sx[1] = std::clamp<CGFloat>(sx[1], 0, pw);
    sx[2] = std::clamp<CGFloat>(sx[2], sx[1], pw);
    sy[1] = std::clamp<CGFloat>(sy[1], 0, ph);
    sy[2] = std::clamp<CGFloat>(sy[2], sy[1], ph);
    CGFloat dx[4] = {rect.origin.x, rect.origin.x + left, CGRectGetMaxX(rect) - right,
                     CGRectGetMaxX(rect)};
    CGFloat dy[4] = {rect.origin.y, rect.origin.y + top, CGRectGetMaxY(rect) - bottom,
                     CGRectGetMaxY(rect)};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            CGRect src = CGRectMake(sx[col], sy[row], sx[col + 1] - sx[col], sy[row + 1] - sy[row]);
            CGRect dst = CGRectMake(dx[col], dy[row], dx[col + 1] - dx[col], dy[row + 1] - dy[row]);
            if (src.size.width <= 0 || src.size.height <= 0) continue;
            if (dst.size.width <= 0 || dst.size.height <= 0) continue;
            auto piece = CGImageCreateWithImageInRect(upright, src);
            if (piece) drawBitmap(ctx, piece, dst, UIImageOrientationUp);
        }
    }
}

void UIImage::drawAsPatternInRect(CGRect rect) {
    auto ctx = UIGraphicsGetCurrentContext();
    CGSize s = size();
    if (!ctx || !CGImage() || s.width <= 0 || s.height <= 0) return;
    rect = CGRectStandardize(rect);
    CGContextSaveGState(ctx);
    CGContextClipToRect(ctx, rect);
    // Tiles sit on a grid from the origin, so neighbouring rectangles join up seamlessly.
    CGFloat x0 = std::floor(rect.origin.x / s.width) * s.width;
    CGFloat y0 = std::floor(rect.origin.y / s.height) * s.height;
    for (CGFloat y = y0; y < CGRectGetMaxY(rect); y += s.height)
        for (CGFloat x = x0; x < CGRectGetMaxX(rect); x += s.width)
            drawIntoContext(ctx, CGRectMake(x, y, s.width, s.height));
    CGContextRestoreGState(ctx);
}

Ref<NSString> UIImage::description() {
    CGSize s = size();
    char buf[96];
    std::snprintf(buf, sizeof buf, "<UIImage: %p; %gx%g @%gx>", static_cast<void*>(this),
                  static_cast<double>(s.width), static_cast<double>(s.height),
                  static_cast<double>(scale_));
    return NSString::fromUTF8(buf);
}

namespace {
UIImagePixels uprightPixels(UIImage* image, bool* alpha) {
    auto upright = UIImageUprightCGImage(image);
    if (!upright) return {};
    CGImageAlphaInfo info = CGImageGetAlphaInfo(upright);
    *alpha = info != kCGImageAlphaNone && info != kCGImageAlphaNoneSkipFirst &&
             info != kCGImageAlphaNoneSkipLast;
    return UIImagePixelsOf(upright);
}
}  // namespace

Ref<NSData> UIImageJPEGRepresentation(UIImage* image, CGFloat compressionQuality) {
    bool alpha = false;
    auto px = uprightPixels(image, &alpha);
    return UIImageEncodeJPEG(px, compressionQuality);
}

Ref<NSData> UIImageEncodeImagePNG(UIImage* image, bool fast) {
    bool alpha = false;
    auto px = uprightPixels(image, &alpha);
    return UIImageEncodePNG(px, alpha, fast);
}

Ref<NSData> UIImagePNGRepresentation(UIImage* image) {
    return UIImageEncodeImagePNG(image, false);
}
