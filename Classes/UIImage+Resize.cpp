#include "Classes/UIImage+Resize.h"

#include <algorithm>
#include <cmath>

#include "Classes/UIImage+Alpha.h"
#include "Classes/UIImage+RoundedCorner.h"
#include "CoreGraphics/CGBitmapContext.h"
#include "Foundation/NSException.h"
#include "UIKit/UIImage.h"

Ref<UIImage> UIImageResize::croppedImage(UIImage* image, CGRect bounds) {
    auto bitmap = image ? image->CGImage() : nullptr;
    auto cropped = bitmap ? CGImageCreateWithImageInRect(bitmap, bounds) : nullptr;
    if (!cropped) return UIImageAlpha::emptyImage();
    return UIImage::imageWithCGImage(cropped);
}

Ref<UIImage> UIImageResize::thumbnailImage(UIImage* image, int thumbnailSize, size_t borderSize,
                                           size_t cornerRadius, CGInterpolationQuality quality) {
    CGFloat side = CGFloat(thumbnailSize);
    auto resized = resizedImageWithContentMode(image, UIViewContentModeScaleAspectFill,
                                               CGSizeMake(side, side), quality);
    CGSize size = resized->size();
    CGRect crop = CGRectMake(std::round((size.width - side) / 2),
                             std::round((size.height - side) / 2), side, side);
    auto thumbnail = croppedImage(resized, crop);
    if (borderSize) thumbnail = UIImageAlpha::transparentBorderImage(thumbnail, borderSize);
    return UIImageRoundedCorner::roundedCornerImage(thumbnail, static_cast<int>(cornerRadius),
                                                    static_cast<int>(borderSize));
}

Ref<UIImage> UIImageResize::resizedImage(UIImage* image, CGSize newSize,
                                         CGInterpolationQuality quality) {
    bool transposed = false;
    if (image) {
        switch (image->imageOrientation()) {
            case UIImageOrientationLeft:
            case UIImageOrientationRight:
            case UIImageOrientationLeftMirrored:
            case UIImageOrientationRightMirrored:
                transposed = true;
                break;
            default:
                break;
        }
    }
    return resizedImage(image, newSize, transformForOrientation(image, newSize), transposed,
                        quality);
}

Ref<UIImage> UIImageResize::resizedImageWithContentMode(UIImage* image,
                                                        UIViewContentMode contentMode,
                                                        CGSize bounds,
                                                        CGInterpolationQuality quality) {
    CGSize size = image ? image->size() : CGSizeZero;
    CGFloat horizontal = size.width > 0 ? bounds.width / size.width : 0;
    CGFloat vertical = size.height > 0 ? bounds.height / size.height : 0;
    CGFloat ratio;
    if (contentMode == UIViewContentModeScaleAspectFill)
        ratio = std::max(horizontal, vertical);
    else if (contentMode == UIViewContentModeScaleAspectFit)
        ratio = std::min(horizontal, vertical);
    else
        NSException::raise(NSInvalidArgumentException, NS("Unsupported content mode: %d"),
                           static_cast<int>(contentMode));
    return resizedImage(image, CGSizeMake(size.width * ratio, size.height * ratio), quality);
}

Ref<UIImage> UIImageResize::resizedImage(UIImage* image, CGSize newSize,
                                         CGAffineTransform transform, bool drawTransposed,
                                         CGInterpolationQuality quality) {
    auto bitmap = image ? image->CGImage() : nullptr;
    if (!bitmap) return UIImageAlpha::emptyImage();
    CGRect newRect = CGRectIntegral(CGRectMake(0, 0, newSize.width, newSize.height));
    CGRect transposedRect = CGRectMake(0, 0, newRect.size.height, newRect.size.width);
    auto ctx =
        UIImageAlpha::contextLike(bitmap, size_t(newRect.size.width), size_t(newRect.size.height));
    if (!ctx) return UIImageAlpha::emptyImage();
    CGContextConcatCTM(ctx, transform);
    CGContextSetInterpolationQuality(ctx, quality);
    CGContextDrawImage(ctx, drawTransposed ? transposedRect : newRect, bitmap);
    return UIImage::imageWithCGImage(CGBitmapContextCreateImage(ctx));
}

CGAffineTransform UIImageResize::transformForOrientation(UIImage* image, CGSize newSize) {
    CGAffineTransform transform = CGAffineTransformIdentity;
    auto orientation = image ? image->imageOrientation() : UIImageOrientationUp;
    const CGFloat pi = static_cast<CGFloat>(M_PI);
    switch (orientation) {
        case UIImageOrientationDown:
        case UIImageOrientationDownMirrored:
            transform = CGAffineTransformTranslate(transform, newSize.width, newSize.height);
            transform = CGAffineTransformRotate(transform, pi);
            break;
        case UIImageOrientationLeft:
        case UIImageOrientationLeftMirrored:
            transform = CGAffineTransformTranslate(transform, newSize.width, 0);
            transform = CGAffineTransformRotate(transform, pi / 2);
            break;
        case UIImageOrientationRight:
        case UIImageOrientationRightMirrored:
            transform = CGAffineTransformTranslate(transform, 0, newSize.height);
            transform = CGAffineTransformRotate(transform, -pi / 2);
            break;
        default:
            break;
    }
    switch (orientation) {
        case UIImageOrientationUpMirrored:
        case UIImageOrientationDownMirrored:
            transform = CGAffineTransformTranslate(transform, newSize.width, 0);
            transform = CGAffineTransformScale(transform, -1, 1);
            break;
        case UIImageOrientationLeftMirrored:
        case UIImageOrientationRightMirrored:
            transform = CGAffineTransformTranslate(transform, newSize.height, 0);
            transform = CGAffineTransformScale(transform, -1, 1);
            break;
        default:
            break;
    }
    return transform;
}
