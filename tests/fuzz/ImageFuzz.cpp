// The image decoders on arbitrary bytes: through UIImage, as images arrive from the network and
// from files, and straight into the PNG, the JPEG and the GIF decoder whatever the header says. A
// decoded image must have the size its header announced, draw into a small bitmap, and come back
// from its PNG and JPEG encodings at the same size. Nothing may crash, leak or touch memory it does
// not own.
#include <cstdint>
#include <cstdlib>

#include "CoreGraphics/CGImage.h"
#include "Foundation/NSData.h"
#include "UIKit/ImageCodecs.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"

namespace {

// Encoding costs a pass over every pixel; small images say as much about what was decoded.
constexpr CGFloat kRoundTripPixels = 256 * 256;

void drawSmall(UIImage* image) {
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(16, 16), false, 1);
    image->drawInRect(CGRectMake(0, 0, 16, 16));
    image->drawAtPoint(CGPointMake(-3, -5));
    image->drawInRect(CGRectMake(4, 4, 8, 8), kCGBlendModeMultiply, 0.5f);
    auto drawn = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    if (!drawn || !drawn->CGImage()) abort();
}

void comesBack(NSData* encoded, CGSize size) {
    if (!encoded) abort();
    auto again = UIImage::imageWithData(encoded);
    if (!again || !again->CGImage()) abort();
    if (!CGSizeEqualToSize(again->size(), size)) abort();
}

void check(UIImage* image) {
    auto bitmap = image->CGImage();
    if (!bitmap) return;  // a sound header over a broken body: the header could not tell
    CGSize pixels = image->pixelSize();
    if (CGFloat(CGImageGetWidth(bitmap)) != pixels.width ||
        CGFloat(CGImageGetHeight(bitmap)) != pixels.height)
        abort();
    drawSmall(image);
    if (pixels.width * pixels.height > kRoundTripPixels) return;
    // Both encoders write the pixels upright, so the size comes back as the image shows.
    comesBack(UIImagePNGRepresentation(image), image->size());
    comesBack(UIImageJPEGRepresentation(image, 0.5f), image->size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    NSAutoreleasePool pool;
    auto data = NSData::dataWithBytes(bytes, static_cast<NSUInteger>(size));
    if (auto image = UIImage::imageWithData(data)) check(image);
    // Each decoder sees every input, not only those whose header UIImage accepts.
    for (auto bitmap : {UIImageDecodePNG(bytes, size), UIImageDecodeJPEG(bytes, size),
                        UIImageDecodeGIF(bytes, size)}) {
        if (bitmap) drawSmall(UIImage::imageWithCGImage(bitmap));
    }
    UIImageJPEGOrientation(bytes, size);
    return 0;
}
