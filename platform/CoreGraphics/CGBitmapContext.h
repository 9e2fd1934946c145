// Bitmap contexts: drawing into memory. Supported layouts: 8 bits per component device RGB with
// alpha premultiplied first or last or skipped first or last (either byte order, 32 bits per
// pixel), 8-bit device grey without alpha, and 8-bit alpha only (colour space nil). Other
// combinations give nil, as on the platform.
#pragma once

#include "CoreGraphics/CGContext.h"

// data NULL: the context allocates (and clears) its own memory. bytesPerRow 0: computed (a
// multiple of 4). The caller's memory must stay valid while the context lives; what is drawn
// is in it after each drawing call, and what the caller writes there is seen by the next one.
Ref<CGContext> CGBitmapContextCreate(void* data, size_t width, size_t height,
                                     size_t bitsPerComponent, size_t bytesPerRow,
                                     CGColorSpaceRef space, CGBitmapInfo bitmapInfo);
// Null for a context that is not a bitmap context.
void* CGBitmapContextGetData(CGContextRef c);
size_t CGBitmapContextGetWidth(CGContextRef c);
size_t CGBitmapContextGetHeight(CGContextRef c);
size_t CGBitmapContextGetBitsPerComponent(CGContextRef c);
size_t CGBitmapContextGetBitsPerPixel(CGContextRef c);
size_t CGBitmapContextGetBytesPerRow(CGContextRef c);
CGColorSpaceRef CGBitmapContextGetColorSpace(CGContextRef c);
CGImageAlphaInfo CGBitmapContextGetAlphaInfo(CGContextRef c);
CGBitmapInfo CGBitmapContextGetBitmapInfo(CGContextRef c);
// A copy of what is drawn, in the context's own layout (later drawing does not change it).
Ref<CGImage> CGBitmapContextCreateImage(CGContextRef c);
