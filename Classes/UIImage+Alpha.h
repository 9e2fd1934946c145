// Alpha handling for images: whether a bitmap has an alpha channel, a copy that has one, and a
// copy with a transparent border. Every operation returns a new image; the receiver is never
// changed. Operations on an image without a bitmap give an empty image.
#pragma once

#include <cstddef>

#include "CoreGraphics/CGGeometry.h"
#include "CoreGraphics/CGImage.h"
#include "Foundation/NSObject.h"

class UIImage;

struct UIImageAlpha {
    // YES for premultiplied or straight alpha, first or last.
    static bool hasAlpha(UIImage* image);
    // The image itself when it has alpha, else a copy with premultiplied alpha first.
    static Ref<UIImage> imageWithAlpha(UIImage* image);
    // The image grown by borderSize on every side, the border transparent.
    static Ref<UIImage> transparentBorderImage(UIImage* image, size_t borderSize);
    // A grey mask of the size: black (masked out) in the border, white inside.
    static Ref<CGImage> newBorderMask(size_t borderSize, CGSize size);

    // An image of no size, the answer for an image without a bitmap.
    static Ref<UIImage> emptyImage();
    // A bitmap context of the pixel size in the image's layout (bits per component, colour
    // space, bitmap information), or in 8-bit RGB with premultiplied alpha first when the
    // image's layout cannot be drawn into.
    static Ref<CGContext> contextLike(CGImageRef image, size_t width, size_t height);
};
