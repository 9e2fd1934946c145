#include "CoreGraphics/CGLayer.h"

#include <cmath>

#include "CoreGraphics/CGBitmapContext.h"
#include "CoreGraphics/CGContextImpl.h"

Ref<CGLayer> CGLayerCreateWithContext(CGContextRef context, CGSize size, NSDictionary*) {
    if (!context || size.width <= 0 || size.height <= 0) return nullptr;
    const CGFloat scale = CGContextGetBaseScale(context);
    size_t w = size_t(std::ceil(size.width * scale));
    size_t h = size_t(std::ceil(size.height * scale));
    auto space = CGColorSpaceCreateDeviceRGB();
    auto ctx = CGBitmapContextCreate(nullptr, w, h, 8, 0, space,
                                     kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    if (!ctx) return nullptr;
    CGContextScaleCTM(ctx, scale, scale);
    CGContextSetBaseScale(ctx, scale);
    Ref<CGLayer> layer = alloc<CGLayer>();
    layer->size_ = size;
    layer->context_ = ctx;
    return layer;
}

CGSize CGLayerGetSize(CGLayerRef layer) {
    return layer ? layer->size() : CGSizeZero;
}

CGContextRef CGLayerGetContext(CGLayerRef layer) {
    return layer ? layer->context() : nullptr;
}

void CGContextDrawLayerInRect(CGContextRef c, CGRect rect, CGLayerRef layer) {
    if (!c || !layer || layer->context() == c) return;
    auto& src = *layer->context()->impl();
    src.clearMemory();
    cairo_surface_flush(src.surface);
    c->impl()->drawSurfaceInRect(src.surface, src.width, src.height, rect, false, true, false);
}

void CGContextDrawLayerAtPoint(CGContextRef c, CGPoint point, CGLayerRef layer) {
    if (!layer) return;
    CGContextDrawLayerInRect(c, CGRect{point, layer->size()}, layer);
}
