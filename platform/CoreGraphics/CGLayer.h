// Layers: offscreen drawing made for one context and drawn into it repeatedly.
#pragma once

#include "CoreGraphics/CGContext.h"

class CGLayer : public NSObject {
    NS_OBJECT(CGLayer, NSObject)
    CGSize size() { return size_; }
    CGContext* context() { return context_.get(); }

private:
    friend Ref<CGLayer> CGLayerCreateWithContext(CGContextRef, CGSize, NSDictionary*);
    CGSize size_{};
    Ref<CGContext> context_;
};

// The layer's context is a premultiplied RGB bitmap of size times the context's base scale,
// with y upwards and the origin at the bottom-left (scaled by that base scale). nil for a nil
// context or an empty size.
Ref<CGLayer> CGLayerCreateWithContext(CGContextRef context, CGSize size,
                                      NSDictionary* auxiliaryInfo);
CGSize CGLayerGetSize(CGLayerRef layer);
CGContextRef CGLayerGetContext(CGLayerRef layer);
// The layer's content scaled into rect, upright in the same sense as CGContextDrawImage.
void CGContextDrawLayerInRect(CGContextRef c, CGRect rect, CGLayerRef layer);
void CGContextDrawLayerAtPoint(CGContextRef c, CGPoint point, CGLayerRef layer);
