#include "ui/core/UIImage+DZCategory.h"

#include <cmath>
#include <numbers>

#include "CoreGraphics/CGBitmapContext.h"
#include "CoreGraphics/CGColorSpace.h"
#include "CoreGraphics/CGImage.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"

CGRect convertRect(UIImage* image, CGRect rect, UIViewContentMode contentMode) {
    CGSize size = image->size();
    CGFloat iw = size.width, ih = size.height;
    CGFloat x = rect.origin.x, y = rect.origin.y, w = rect.size.width, h = rect.size.height;
    if (iw == w && ih == h) return rect;
    auto centred = [&](CGFloat width, CGFloat height) {
        return CGRectMake(x + std::floor(w / 2 - width / 2), y + std::floor(h / 2 - height / 2),
                          width, height);
    };
    // Relatively wider than the target: fitting meets the sides, filling the top and bottom.
    const bool wider = iw * h > ih * w;
    switch (contentMode) {
        case UIViewContentModeScaleAspectFit:
            if (ih == 0 || iw == 0) return CGRectMake(x, y, 0, 0);
            return wider ? centred(w, std::floor(ih / iw * w))
                         : centred(std::floor(iw / ih * h), h);
        case UIViewContentModeScaleAspectFill:
            if (ih == 0 || iw == 0) return CGRectMake(x, y, 0, 0);
            return wider ? centred(std::floor(iw / ih * h), h)
                         : centred(w, std::floor(ih / iw * w));
        case UIViewContentModeCenter:
            return CGRectMake(x + std::floor(w / 2 - iw / 2), y + std::floor(h / 2 - ih / 2), iw,
                              ih);
        case UIViewContentModeTop:
            return CGRectMake(x + std::floor(w / 2 - iw / 2), y, iw, ih);
        case UIViewContentModeBottom:
            return CGRectMake(x + std::floor(w / 2 - iw / 2), y + std::floor(h - ih), iw, ih);
        case UIViewContentModeLeft:
            return CGRectMake(x, y + std::floor(h / 2 - ih / 2), iw, ih);
        case UIViewContentModeRight:
            return CGRectMake(x + (w - iw), y + std::floor(h / 2 - ih / 2), iw, ih);
        case UIViewContentModeTopLeft:
            return CGRectMake(x, y, iw, ih);
        case UIViewContentModeTopRight:
            return CGRectMake(x + (w - iw), y, iw, ih);
        case UIViewContentModeBottomLeft:
            return CGRectMake(x, y + std::floor(h - ih), iw, ih);
        case UIViewContentModeBottomRight:
            return CGRectMake(x + (w - iw), y + (h - ih), iw, ih);
        default:
            return rect;
    }
}

void drawInRect(UIImage* image, CGRect rect, UIViewContentMode contentMode) {
    CGSize size = image->size();
    if (size.width == rect.size.width && size.height == rect.size.height) {
        image->drawInRect(rect);
        return;
    }
    CGRect placed = convertRect(image, rect, contentMode);
    if (contentMode == UIViewContentModeScaleAspectFit ||
        contentMode == UIViewContentModeScaleAspectFill) {
        image->drawInRect(placed);
        return;
    }
    Ref<CGContext> context = UIGraphicsGetCurrentContext();
    if (!context) return;
    CGContextSaveGState(context);
    CGContextClipToRect(context, rect);
    image->drawInRect(placed);
    CGContextRestoreGState(context);
}

void drawInRectRadius(UIImage* image, CGRect rect, CGFloat radius) {
    drawInRect(image, rect, radius, UIViewContentModeScaleToFill);
}

void drawInRect(UIImage* image, CGRect rect, CGFloat radius, UIViewContentMode contentMode) {
    Ref<CGContext> context = UIGraphicsGetCurrentContext();
    if (!context) return;
    CGContextSaveGState(context);
    if (radius != 0) {
        addRoundedRectToPath(context, rect, radius);
        CGContextClip(context);
    }
    drawInRect(image, rect, contentMode);
    CGContextRestoreGState(context);
}

void addRoundedRectToPath(CGContextRef context, CGRect rect, CGFloat radius) {
    CGContextBeginPath(context);
    if (radius == 0) {
        CGContextAddRect(context, rect);
        return;
    }
    CGContextSaveGState(context);
    CGContextTranslateCTM(context, CGRectGetMinX(rect), CGRectGetMinY(rect));
    CGContextScaleCTM(context, radius, radius);
    CGFloat fw = rect.size.width / radius, fh = rect.size.height / radius;
    CGContextMoveToPoint(context, fw, fh / 2);
    CGContextAddArcToPoint(context, fw, fh, fw / 2, fh, 1);
    CGContextAddArcToPoint(context, 0, fh, 0, fh / 2, 1);
    CGContextAddArcToPoint(context, 0, 0, fw / 2, 0, 1);
    CGContextAddArcToPoint(context, fw, 0, fw, fh / 2, 1);
    CGContextClosePath(context);
    CGContextRestoreGState(context);
}

Ref<UIImage> transformWidth(UIImage* image, CGFloat width, CGFloat height, bool rotate) {
    Ref<CGImage> source = image ? image->CGImage() : nullptr;
    if (!source) return nullptr;
    size_t W = static_cast<size_t>(width), H = static_cast<size_t>(height);
    Ref<CGContext> bitmap = CGBitmapContextCreate(
        nullptr, W, H, CGImageGetBitsPerComponent(source), (CGImageGetBitsPerPixel(source) / 8) * W,
        CGImageGetColorSpace(source), CGImageGetBitmapInfo(source));
    if (!bitmap) {
        // A layout that cannot be drawn into (three bytes a pixel, grey, ...): the standard
        // one keeps every colour of it.
        bitmap = CGBitmapContextCreate(nullptr, W, H, 8, 4 * W, CGColorSpaceCreateDeviceRGB(),
                                       CGBitmapInfo(kCGImageAlphaPremultipliedFirst));
    }
    if (!bitmap) return nullptr;
    UIImageOrientation orientation = image->imageOrientation();
    bool sideways = false;
    if (rotate) {
        constexpr CGFloat pi = std::numbers::pi_v<CGFloat>;
        switch (orientation) {
            case UIImageOrientationDown:
                CGContextTranslateCTM(bitmap, width, height);
                CGContextRotateCTM(bitmap, pi);
                break;
            case UIImageOrientationLeft:
                CGContextTranslateCTM(bitmap, width, 0);
                CGContextRotateCTM(bitmap, pi / 2);
                sideways = true;
                break;
            case UIImageOrientationRight:
                CGContextTranslateCTM(bitmap, 0, height);
                CGContextRotateCTM(bitmap, -pi / 2);
                sideways = true;
                break;
            default:
                break;
        }
    }
    CGContextDrawImage(bitmap,
                       sideways ? CGRectMake(0, 0, height, width) : CGRectMake(0, 0, width, height),
                       source);
    Ref<CGImage> made = CGBitmapContextCreateImage(bitmap);
    return made ? UIImage::imageWithCGImage(made) : nullptr;
}
