// Rounded corners for images: a copy clipped to a rounded rectangle inset by a border.
#pragma once

#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"

class UIImage;

struct UIImageRoundedCorner {
    // Corners of radius cornerSize, inside a transparent border of borderSize; square corners
    // for 0. An image without a bitmap gives an empty image.
    static Ref<UIImage> roundedCornerImage(UIImage* image, int cornerSize, int borderSize);
    // Adds the rounded rectangle to the context's path: corner radius ovalWidth across and
    // ovalHeight down (a plain rectangle when either is 0).
    static void addRoundedRectToPath(CGRect rect, CGContextRef context, CGFloat ovalWidth,
                                     CGFloat ovalHeight);
};
