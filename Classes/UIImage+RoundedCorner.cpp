#include "Classes/UIImage+RoundedCorner.h"

#include "Classes/UIImage+Alpha.h"
#include "CoreGraphics/CGBitmapContext.h"
#include "UIKit/UIImage.h"

Ref<UIImage> UIImageRoundedCorner::roundedCornerImage(UIImage* image, int cornerSize,
                                                      int borderSize) {
    auto withAlpha = UIImageAlpha::imageWithAlpha(image);
    auto bitmap = withAlpha->CGImage();
    if (!bitmap) return UIImageAlpha::emptyImage();
    CGSize size = withAlpha->size();
    auto ctx = UIImageAlpha::contextLike(bitmap, size_t(size.width), size_t(size.height));
    if (!ctx) return UIImageAlpha::emptyImage();
    CGFloat border = CGFloat(borderSize);
    CGContextBeginPath(ctx);
    addRoundedRectToPath(
        CGRectMake(border, border, size.width - 2 * border, size.height - 2 * border), ctx,
        CGFloat(cornerSize), CGFloat(cornerSize));
    CGContextClosePath(ctx);
    CGContextClip(ctx);
    CGContextDrawImage(ctx, CGRectMake(0, 0, size.width, size.height), bitmap);
    return UIImage::imageWithCGImage(CGBitmapContextCreateImage(ctx));
}

void UIImageRoundedCorner::addRoundedRectToPath(CGRect rect, CGContextRef context,
                                                CGFloat ovalWidth, CGFloat ovalHeight) {
    if (ovalWidth == 0 || ovalHeight == 0) {
        CGContextAddRect(context, rect);
        return;
    }
    CGContextSaveGState(context);
    CGContextTranslateCTM(context, CGRectGetMinX(rect), CGRectGetMinY(rect));
    CGContextScaleCTM(context, ovalWidth, ovalHeight);
    CGFloat fw = CGRectGetWidth(rect) / ovalWidth;
    CGFloat fh = CGRectGetHeight(rect) / ovalHeight;
    CGContextMoveToPoint(context, fw, fh / 2);
    CGContextAddArcToPoint(context, fw, fh, fw / 2, fh, 1);
    CGContextAddArcToPoint(context, 0, fh, 0, fh / 2, 1);
    CGContextAddArcToPoint(context, 0, 0, fw / 2, 0, 1);
    CGContextAddArcToPoint(context, fw, 0, fw, fh / 2, 1);
    CGContextClosePath(context);
    CGContextRestoreGState(context);
}
