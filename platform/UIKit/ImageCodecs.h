// PNG and JPEG to and from bitmaps, and GIF from them (UIKit's own use: images and screenshots).
// Bitmaps travel as CGImage pixels: premultiplied native-endian ARGB words, first row on top.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "CoreGraphics/CGImage.h"
#include "UIKit/UIImage.h"

// Premultiplied native-endian ARGB words, `width` words per row, first row on top.
struct UIImagePixels {
    size_t width = 0, height = 0;
    std::vector<uint32_t> argb;
};

// A copy of the image's pixels in that form; empty for nil.
UIImagePixels UIImagePixelsOf(CGImageRef image);

// The image in the bytes, 8 bits per component RGB, premultiplied; an opaque source gives an
// image without alpha (alpha skipped). nil for bytes that do not decode.
Ref<CGImage> UIImageDecodePNG(const uint8_t* bytes, size_t length);
Ref<CGImage> UIImageDecodeJPEG(const uint8_t* bytes, size_t length);
// A GIF's first image on its logical screen, with alpha (transparent where it does not paint).
Ref<CGImage> UIImageDecodeGIF(const uint8_t* bytes, size_t length);

// The EXIF orientation a JPEG carries (APP1 "Exif"), as an image orientation; up when there is
// none or it cannot be read.
UIImageOrientation UIImageJPEGOrientation(const uint8_t* bytes, size_t length);

// Pixels as a CGImage (premultiplied first, 32-bit little-endian words). `hasAlpha` false marks
// the alpha as skipped (the pixels must then be opaque).
Ref<CGImage> UIImageMakeCGImage(UIImagePixels pixels, bool hasAlpha);

// The image's bitmap turned upright by its orientation (the bitmap itself when it is up).
Ref<CGImage> UIImageUprightCGImage(UIImage* image);

// The stored pixels turned the way the orientation says to show them.
UIImagePixels UIImageOrientPixels(const UIImagePixels& stored, UIImageOrientation orientation);

// Encoders. PNG keeps alpha when asked (straight, as PNG stores it); JPEG drops it (pixels are
// premultiplied, so transparent parts come out over black). quality 0...1. `fast` trades size for
// speed, for pictures made to be looked at and thrown away (the screen's).
Ref<NSData> UIImageEncodePNG(const UIImagePixels& pixels, bool withAlpha, bool fast = false);
Ref<NSData> UIImageEncodeJPEG(const UIImagePixels& pixels, CGFloat quality);
// The image as PNG, upright, as UIImagePNGRepresentation gives it, `fast` as above.
Ref<NSData> UIImageEncodeImagePNG(UIImage* image, bool fast);
