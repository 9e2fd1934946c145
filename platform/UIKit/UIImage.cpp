#include "UIKit/UIImage.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "Foundation/NSBundle.h"
#include "Foundation/NSData.h"
#include "Foundation/NSString.h"
#include "UIKit/UIScreen.h"

namespace {
std::map<std::string, Ref<UIImage>>& namedCache() {
    static std::map<std::string, Ref<UIImage>> cache;
    return cache;
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

bool hasScale2Suffix(const std::string& path) {
    auto slash = path.rfind('/');
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    auto dot = file.rfind('.');
    std::string stem = dot == std::string::npos ? file : file.substr(0, dot);
    return stem.size() > 3 && stem.compare(stem.size() - 3, 3, "@2x") == 0;
}
}  // namespace

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
    return false;
}

bool UIImage::initWithData(NSData* data) {
    return initWithData(data, 1);
}

bool UIImage::initWithData(NSData* data, CGFloat scale) {
    if (!readImageHeader(data, &pixels_, &format_)) return false;
    data_ = data;
    scale_ = scale > 0 ? scale : 1;
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

Ref<NSString> UIImage::description() {
    CGSize s = size();
    char buf[96];
    std::snprintf(buf, sizeof buf, "<UIImage: %p; %gx%g @%gx>", static_cast<void*>(this),
                  static_cast<double>(s.width), static_cast<double>(s.height),
                  static_cast<double>(scale_));
    return NSString::fromUTF8(buf);
}

Ref<NSData> UIImageJPEGRepresentation(UIImage* image, CGFloat) {
    if (!image || !image->format() || !image->format()->isEqualToString(NS("jpeg"))) return nullptr;
    return image->data();
}

Ref<NSData> UIImagePNGRepresentation(UIImage* image) {
    if (!image || !image->format() || !image->format()->isEqualToString(NS("png"))) return nullptr;
    return image->data();
}
