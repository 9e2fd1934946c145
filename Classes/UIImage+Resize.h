// Resizing and cropping images with their orientation taken into account: a photo taken in
// portrait comes out upright at the new size. Every operation returns a new image drawn with the
// given interpolation quality (kCGInterpolation...); the receiver is never changed.
#pragma once

#include <cstddef>

#include "CoreGraphics/CGAffineTransform.h"
#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIView.h"

class UIImage;

struct UIImageResize {
    // The part of the bitmap inside the rectangle (the bitmap's pixel coordinates).
    static Ref<UIImage> croppedImage(UIImage* image, CGRect bounds);
    // A square thumbnail of the side: aspect fill, centred crop, optional transparent border,
    // rounded corners.
    static Ref<UIImage> thumbnailImage(UIImage* image, int thumbnailSize, size_t borderSize,
                                       size_t cornerRadius, CGInterpolationQuality quality);
    static Ref<UIImage> resizedImage(UIImage* image, CGSize newSize,
                                     CGInterpolationQuality quality);
    // Scales to fit (UIViewContentModeScaleAspectFit) or fill (UIViewContentModeScaleAspectFill)
    // the bounds; any other mode raises NSInvalidArgumentException "Unsupported content mode: %d".
    static Ref<UIImage> resizedImageWithContentMode(UIImage* image, UIViewContentMode contentMode,
                                                    CGSize bounds, CGInterpolationQuality quality);
    static Ref<UIImage> resizedImage(UIImage* image, CGSize newSize, CGAffineTransform transform,
                                     bool drawTransposed, CGInterpolationQuality quality);
    // The transform that draws the stored bitmap upright into the new size.
    static CGAffineTransform transformForOrientation(UIImage* image, CGSize newSize);
};
