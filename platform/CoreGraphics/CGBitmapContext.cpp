#include "CoreGraphics/CGBitmapContext.h"

#include "CoreGraphics/CGContextImpl.h"
#include "CoreGraphics/CGDataProvider.h"
#include "CoreGraphics/CGPixelConversion.h"
#include "Foundation/NSData.h"

Ref<CGContext> CGBitmapContextCreate(void* data, size_t width, size_t height,
                                     size_t bitsPerComponent, size_t bytesPerRow,
                                     CGColorSpaceRef space, CGBitmapInfo bitmapInfo) {
    CGPixelLayout L;
    L.width = width;
    L.height = height;
    L.bitsPerComponent = bitsPerComponent;
    L.bitmapInfo = bitmapInfo;
    if ((bitmapInfo & kCGBitmapAlphaInfoMask) == kCGImageAlphaOnly) {
        L.colorComponents = 0;
    } else if (space) {
        L.colorComponents = space->numberOfComponents();
    } else {
        return nullptr;
    }
    L.bitsPerPixel = L.colorComponents == 3 ? 32 : 8;
    // cairo needs no more than whole words per row; a few more bytes keep rows aligned.
    const size_t minRow = width * (L.bitsPerPixel / 8);
    L.bytesPerRow = bytesPerRow ? bytesPerRow : (minRow + 3) & ~size_t(3);
    if (width > 32767 || height > 32767 || L.bytesPerRow < minRow) return nullptr;
    if (!cg_detail::isContextLayout(L)) return nullptr;
    Ref<CGContext> c = alloc<CGContext>();
    if (!c->impl()->setUp(data, L, L.colorComponents ? space : nullptr)) return nullptr;
    return c;
}

void* CGBitmapContextGetData(CGContextRef c) {
    if (!c) return nullptr;
    // What is drawn is put in memory first; drawing from now on keeps it there.
    return c->impl()->exposeMemory();
}

size_t CGBitmapContextGetWidth(CGContextRef c) {
    return c ? c->impl()->layout.width : 0;
}

size_t CGBitmapContextGetHeight(CGContextRef c) {
    return c ? c->impl()->layout.height : 0;
}

size_t CGBitmapContextGetBitsPerComponent(CGContextRef c) {
    return c ? c->impl()->layout.bitsPerComponent : 0;
}

size_t CGBitmapContextGetBitsPerPixel(CGContextRef c) {
    return c ? c->impl()->layout.bitsPerPixel : 0;
}

size_t CGBitmapContextGetBytesPerRow(CGContextRef c) {
    return c ? c->impl()->layout.bytesPerRow : 0;
}

CGColorSpaceRef CGBitmapContextGetColorSpace(CGContextRef c) {
    return c ? c->impl()->space.get() : nullptr;
}

CGImageAlphaInfo CGBitmapContextGetAlphaInfo(CGContextRef c) {
    return c ? c->impl()->layout.alphaInfo() : kCGImageAlphaNone;
}

CGBitmapInfo CGBitmapContextGetBitmapInfo(CGContextRef c) {
    return c ? c->impl()->layout.bitmapInfo : 0;
}

Ref<CGImage> CGBitmapContextCreateImage(CGContextRef c) {
    if (!c) return nullptr;
    auto& d = *c->impl();
    d.syncMemory();
    const auto& L = d.layout;
    auto bytes = NSData::dataWithBytes(d.data, NSUInteger(L.bytesPerRow * L.height));
    auto provider = CGDataProviderCreateWithCFData(bytes);
    return CGImageCreate(L.width, L.height, L.bitsPerComponent, L.bitsPerPixel, L.bytesPerRow,
                         d.space, L.bitmapInfo, provider, nullptr, true, kCGRenderingIntentDefault);
}
