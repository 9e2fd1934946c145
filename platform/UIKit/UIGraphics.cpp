#include "UIKit/UIGraphics.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "CoreGraphics/CGBitmapContext.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIScreen.h"

namespace {
struct Entry {
    Ref<CGContext> context;  // nil for an image context that could not be made
    bool image = false;
    CGFloat scale = 1;
};

std::vector<Entry>& stack() {
    thread_local std::vector<Entry> entries;
    return entries;
}
}  // namespace

Ref<CGContext> UIGraphicsGetCurrentContext() {
    auto& s = stack();
    return s.empty() ? nullptr : s.back().context;
}

void UIGraphicsPushContext(CGContextRef context) {
    stack().push_back(Entry{Ref<CGContext>(context), false, 1});
}

void UIGraphicsPopContext() {
    auto& s = stack();
    if (!s.empty()) s.pop_back();
}

void UIGraphicsBeginImageContext(CGSize size) {
    UIGraphicsBeginImageContextWithOptions(size, false, 1);
}

void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, CGFloat scale) {
    if (scale <= 0) scale = UIScreen::mainScreen()->scale();
    double w = std::ceil(static_cast<double>(size.width) * scale);
    double h = std::ceil(static_cast<double>(size.height) * scale);
    Ref<CGContext> ctx;
    // An empty or absurd size makes no bitmap; the entry still stands, so that the matching end
    // pops it and not an outer context.
    if (w >= 1 && h >= 1 && w * h <= double(1 << 25)) {
        auto space = CGColorSpaceCreateDeviceRGB();
        CGBitmapInfo info =
            CGBitmapInfo(opaque ? kCGImageAlphaNoneSkipFirst : kCGImageAlphaPremultipliedFirst) |
            kCGBitmapByteOrder32Little;
        ctx = CGBitmapContextCreate(nullptr, static_cast<size_t>(w), static_cast<size_t>(h), 8, 0,
                                    space, info);
    }
    if (ctx) {
        // UIKit's coordinates: origin at the top-left, y down, one unit a point.
        CGContextTranslateCTM(ctx, 0, static_cast<CGFloat>(h));
        CGContextScaleCTM(ctx, scale, -scale);
        CGContextSetBaseScale(ctx, scale);
    }
    stack().push_back(Entry{ctx, true, scale});
}

Ref<UIImage> UIGraphicsGetImageFromCurrentImageContext() {
    auto& s = stack();
    if (s.empty() || !s.back().image || !s.back().context) return nullptr;
    auto bitmap = CGBitmapContextCreateImage(s.back().context);
    return UIImage::imageWithCGImage(bitmap, s.back().scale, UIImageOrientationUp);
}

void UIGraphicsEndImageContext() {
    auto& s = stack();
    if (!s.empty() && s.back().image) s.pop_back();
}

void UIRectFill(CGRect rect) {
    UIRectFillUsingBlendMode(rect, kCGBlendModeCopy);
}

void UIRectFillUsingBlendMode(CGRect rect, CGBlendMode blendMode) {
    auto ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    CGContextSaveGState(ctx);
    CGContextSetBlendMode(ctx, blendMode);
    CGContextFillRect(ctx, rect);
    CGContextRestoreGState(ctx);
}

void UIRectFrame(CGRect rect) {
    UIRectFrameUsingBlendMode(rect, kCGBlendModeCopy);
}

void UIRectFrameUsingBlendMode(CGRect rect, CGBlendMode blendMode) {
    auto ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    rect = CGRectStandardize(rect);
    CGFloat w = rect.size.width, h = rect.size.height;
    if (w <= 0 || h <= 0) return;
    // Four edges that do not overlap, so that blending touches each pixel once.
    CGFloat t = std::min<CGFloat>(1, std::min(w, h) / 2);
    CGFloat x = rect.origin.x, y = rect.origin.y;
    CGRect edges[4] = {CGRectMake(x, y, w, t), CGRectMake(x, y + h - t, w, t),
                       CGRectMake(x, y + t, t, h - 2 * t),
                       CGRectMake(x + w - t, y + t, t, h - 2 * t)};
    CGContextSaveGState(ctx);
    CGContextSetBlendMode(ctx, blendMode);
    CGContextFillRects(ctx, edges, 4);
    CGContextRestoreGState(ctx);
}

void UIRectClip(CGRect rect) {
    if (auto ctx = UIGraphicsGetCurrentContext()) CGContextClipToRect(ctx, rect);
}
