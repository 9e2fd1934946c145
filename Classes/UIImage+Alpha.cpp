#include "Classes/UIImage+Alpha.h"

#include "CoreGraphics/CGBitmapContext.h"
#include "CoreGraphics/CGColorSpace.h"
#include "UIKit/UIImage.h"

Ref<UIImage> UIImageAlpha::emptyImage() {
    return alloc<UIImage>();
}

Ref<CGContext> UIImageAlpha::contextLike(CGImageRef image, size_t width, size_t height) {
    if (width == 0 || height == 0) return nullptr;
    if (image) {
        if (auto ctx =
                CGBitmapContextCreate(nullptr, width, height, CGImageGetBitsPerComponent(image), 0,
                                      CGImageGetColorSpace(image), CGImageGetBitmapInfo(image)))
            return ctx;
    }
    return CGBitmapContextCreate(nullptr, width, height, 8, 0, CGColorSpaceCreateDeviceRGB(),
                                 kCGImageAlphaPremultipliedFirst);
}

bool UIImageAlpha::hasAlpha(UIImage* image) {
    auto bitmap = image ? image->CGImage() : nullptr;
    if (!bitmap) return false;
    switch (CGImageGetAlphaInfo(bitmap)) {
        case kCGImageAlphaPremultipliedLast:
        case kCGImageAlphaPremultipliedFirst:
        case kCGImageAlphaLast:
        case kCGImageAlphaFirst:
            return true;
        default:
            return false;
    }
}

Ref<UIImage> UIImageAlpha::imageWithAlpha(UIImage* image) {
    if (hasAlpha(image)) return image;
    auto bitmap = image ? image->CGImage() : nullptr;
    if (!bitmap) return emptyImage();
    size_t width = CGImageGetWidth(bitmap), height = CGImageGetHeight(bitmap);
    auto space = CGImageGetColorSpace(bitmap);
    auto ctx =
        CGBitmapContextCreate(nullptr, width, height, 8, 0, space, kCGImageAlphaPremultipliedFirst);
    // Only RGB takes an alpha channel in a bitmap context; grey images become RGB.
    if (!ctx)
        ctx = CGBitmapContextCreate(nullptr, width, height, 8, 0, CGColorSpaceCreateDeviceRGB(),
                                    kCGImageAlphaPremultipliedFirst);
    if (!ctx) return emptyImage();
    CGContextDrawImage(ctx, CGRectMake(0, 0, CGFloat(width), CGFloat(height)), bitmap);
    return UIImage::imageWithCGImage(CGBitmapContextCreateImage(ctx));
}

Ref<UIImage> UIImageAlpha::transparentBorderImage(UIImage* image, size_t borderSize) {
    auto withAlpha = imageWithAlpha(image);
    auto bitmap = withAlpha->CGImage();
    if (!bitmap) return emptyImage();
    CGFloat border = CGFloat(borderSize);
    CGSize size = withAlpha->size();
    CGSize grown = CGSizeMake(size.width + 2 * border, size.height + 2 * border);
    auto ctx = contextLike(bitmap, size_t(grown.width), size_t(grown.height));
    if (!ctx) return emptyImage();
    CGContextDrawImage(ctx, CGRectMake(border, border, size.width, size.height), bitmap);
    auto drawn = CGBitmapContextCreateImage(ctx);
    auto mask = newBorderMask(borderSize, grown);
    auto masked = mask ? CGImageCreateWithMask(drawn, mask) : nullptr;
    return UIImage::imageWithCGImage(masked ? masked : drawn);
}

Ref<CGImage> UIImageAlpha::newBorderMask(size_t borderSize, CGSize size) {
    auto ctx = CGBitmapContextCreate(nullptr, size_t(size.width), size_t(size.height), 8, 0,
                                     CGColorSpaceCreateDeviceGray(), kCGImageAlphaNone);
    if (!ctx) return nullptr;
    CGFloat border = CGFloat(borderSize);
    CGContextSetGrayFillColor(ctx, 0, 1);
    CGContextFillRect(ctx, CGRectMake(0, 0, size.width, size.height));
    CGContextSetGrayFillColor(ctx, 1, 1);
    CGContextFillRect(
        ctx, CGRectMake(border, border, size.width - 2 * border, size.height - 2 * border));
    return CGBitmapContextCreateImage(ctx);
}
