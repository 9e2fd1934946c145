#include "ui/style/DZFillStyles.h"

#include "CoreGraphics/CGContext.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIGraphics.h"
#include "ui/core/DZShape.h"
#include "ui/core/DZStyleContext.h"
#include "ui/core/UIColor+DZCategory.h"

namespace {
CGRect insetBy(CGRect r, CGFloat dx, CGFloat dy) {
    return CGRectMake(r.origin.x + dx, r.origin.y + dy, r.size.width - 2 * dx,
                      r.size.height - 2 * dy);
}
template <class T>
Ref<T> step(DZStyle* next) {
    return make<T>(&DZStyle::initWithNext, next);
}
}  // namespace

// ---- fills --------------------------------------------------------------------------------

Ref<DZSolidFillStyle> DZSolidFillStyle::styleWithColor(UIColor* color, DZStyle* next) {
    auto s = step<DZSolidFillStyle>(next);
    s->color_ = color;
    return s;
}

void DZSolidFillStyle::draw(DZStyleContext* context) {
    auto c = UIGraphicsGetCurrentContext();
    CGContextSaveGState(c);
    context->shape()->addToPath(context->frame());
    if (color_) CGContextSetFillColorWithColor(c, color_->CGColor());
    CGContextFillPath(c);
    CGContextRestoreGState(c);
    DZStyle::draw(context);
}

Ref<DZLinearGradientFillStyle> DZLinearGradientFillStyle::styleWithColor1(UIColor* color1,
                                                                          UIColor* color2,
                                                                          DZStyle* next) {
    auto s = step<DZLinearGradientFillStyle>(next);
    s->color1_ = color1;
    s->color2_ = color2;
    return s;
}

void DZLinearGradientFillStyle::draw(DZStyleContext* context) {
    auto c = UIGraphicsGetCurrentContext();
    CGRect frame = context->frame();
    CGContextSaveGState(c);
    context->shape()->addToPath(frame);
    CGContextClip(c);
    UIColor* colors[] = {color1_.get(), color2_.get()};
    auto gradient = newGradientWithColors(colors, 2);
    CGContextDrawLinearGradient(c, gradient, frame.origin,
                                CGPointMake(frame.origin.x, frame.origin.y + frame.size.height),
                                kCGGradientDrawsAfterEndLocation);
    CGContextRestoreGState(c);
    DZStyle::draw(context);
}

Ref<DZReflectiveFillStyle> DZReflectiveFillStyle::styleWithColor(UIColor* color, DZStyle* next) {
    return styleWithColor(color, false, next);
}

Ref<DZReflectiveFillStyle> DZReflectiveFillStyle::styleWithColor(UIColor* color,
                                                                 bool withBottomHighlight,
                                                                 DZStyle* next) {
    auto s = step<DZReflectiveFillStyle>(next);
    s->color_ = color;
    s->withBottomHighlight_ = withBottomHighlight;
    return s;
}

void DZReflectiveFillStyle::draw(DZStyleContext* context) {
    auto c = UIGraphicsGetCurrentContext();
    CGRect frame = context->frame();
    CGContextSaveGState(c);
    context->shape()->addToPath(frame);
    CGContextClip(c);
    if (color_) CGContextSetFillColorWithColor(c, color_->CGColor());
    CGContextFillRect(c, frame);
    Ref<UIColor> colors[] = {UIColor::colorWithWhite(1, 0.685f), UIColor::colorWithWhite(1, 0.13f),
                             UIColor::colorWithWhite(1, 0), UIColor::colorWithWhite(1, 0),
                             UIColor::colorWithWhite(1, withBottomHighlight_ ? 0.27f : 0)};
    UIColor* raw[] = {colors[0].get(), colors[1].get(), colors[2].get(), colors[3].get(),
                      colors[4].get()};
    const CGFloat locations[] = {0, 0.5f, 0.5f, 0.6f, 1};
    auto gradient = newGradientWithColors(raw, locations, 5);
    CGContextDrawLinearGradient(c, gradient, frame.origin,
                                CGPointMake(frame.origin.x, frame.origin.y + frame.size.height), 0);
    CGContextRestoreGState(c);
    DZStyle::draw(context);
}

// ---- borders ------------------------------------------------------------------------------

Ref<DZSolidBorderStyle> DZSolidBorderStyle::styleWithColor(UIColor* color, CGFloat width,
                                                           DZStyle* next) {
    auto s = step<DZSolidBorderStyle>(next);
    s->color_ = color;
    s->width_ = width;
    return s;
}

void DZSolidBorderStyle::draw(DZStyleContext* context) {
    auto c = UIGraphicsGetCurrentContext();
    CGRect frame = context->frame();
    CGContextSaveGState(c);
    context->shape()->addToPath(insetBy(frame, width_ / 2, width_ / 2));
    if (color_) CGContextSetStrokeColorWithColor(c, color_->CGColor());
    CGContextSetLineWidth(c, width_);
    CGContextStrokePath(c);
    CGContextRestoreGState(c);
    context->setFrame(insetBy(frame, width_, width_));
    DZStyle::draw(context);
}

Ref<DZHighlightBorderStyle> DZHighlightBorderStyle::styleWithColor(UIColor* color,
                                                                   UIColor* highlightColor,
                                                                   CGFloat width, DZStyle* next) {
    auto s = step<DZHighlightBorderStyle>(next);
    s->color_ = color;
    s->highlightColor_ = highlightColor;
    s->width_ = width;
    return s;
}

void DZHighlightBorderStyle::draw(DZStyleContext* context) {
    auto c = UIGraphicsGetCurrentContext();
    CGRect frame = context->frame();
    CGRect r = insetBy(frame, width_ / 2, width_ / 2);
    CGContextSaveGState(c);
    CGContextSetLineWidth(c, width_);
    context->shape()->addToPath(
        CGRectMake(r.origin.x, r.origin.y + 1, r.size.width, r.size.height - 2));
    if (highlightColor_) CGContextSetStrokeColorWithColor(c, highlightColor_->CGColor());
    CGContextStrokePath(c);
    context->shape()->addToPath(
        CGRectMake(r.origin.x, r.origin.y, r.size.width, r.size.height - 2));
    if (color_) CGContextSetStrokeColorWithColor(c, color_->CGColor());
    CGContextStrokePath(c);
    CGContextRestoreGState(c);
    context->setFrame(insetBy(frame, width_, width_ * 2));
    DZStyle::draw(context);
}

Ref<DZLinearGradientBorderStyle> DZLinearGradientBorderStyle::styleWithColor1(UIColor* color1,
                                                                              UIColor* color2,
                                                                              CGFloat width,
                                                                              DZStyle* next) {
    return styleWithColor1(color1, 0, color2, 1, width, next);
}

Ref<DZLinearGradientBorderStyle> DZLinearGradientBorderStyle::styleWithColor1(
    UIColor* color1, CGFloat location1, UIColor* color2, CGFloat location2, CGFloat width,
    DZStyle* next) {
    auto s = step<DZLinearGradientBorderStyle>(next);
    s->color1_ = color1;
    s->color2_ = color2;
    s->location1_ = location1;
    s->location2_ = location2;
    s->width_ = width;
    return s;
}

void DZLinearGradientBorderStyle::draw(DZStyleContext* context) {
    auto c = UIGraphicsGetCurrentContext();
    CGRect frame = context->frame();
    CGContextSaveGState(c);
    context->shape()->addToPath(insetBy(frame, width_ / 2, width_ / 2));
    CGContextSetLineWidth(c, width_);
    CGContextReplacePathWithStrokedPath(c);
    CGContextClip(c);
    UIColor* colors[] = {color1_.get(), color2_.get()};
    const CGFloat locations[] = {location1_, location2_};
    auto gradient = newGradientWithColors(colors, locations, 2);
    CGContextDrawLinearGradient(c, gradient, frame.origin,
                                CGPointMake(frame.origin.x, frame.origin.y + frame.size.height),
                                kCGGradientDrawsAfterEndLocation);
    CGContextRestoreGState(c);
    context->setFrame(insetBy(frame, width_, width_));
    DZStyle::draw(context);
}

Ref<DZFourBorderStyle> DZFourBorderStyle::styleWithTop(UIColor* top, UIColor* right,
                                                       UIColor* bottom, UIColor* left,
                                                       CGFloat width, DZStyle* next) {
    auto s = step<DZFourBorderStyle>(next);
    s->top_ = top;
    s->right_ = right;
    s->bottom_ = bottom;
    s->left_ = left;
    s->width_ = width;
    return s;
}

Ref<DZFourBorderStyle> DZFourBorderStyle::styleWithTop(UIColor* top, CGFloat width, DZStyle* next) {
    return styleWithTop(top, nullptr, nullptr, nullptr, width, next);
}

Ref<DZFourBorderStyle> DZFourBorderStyle::styleWithRight(UIColor* right, CGFloat width,
                                                         DZStyle* next) {
    return styleWithTop(nullptr, right, nullptr, nullptr, width, next);
}

Ref<DZFourBorderStyle> DZFourBorderStyle::styleWithBottom(UIColor* bottom, CGFloat width,
                                                          DZStyle* next) {
    return styleWithTop(nullptr, nullptr, bottom, nullptr, width, next);
}

Ref<DZFourBorderStyle> DZFourBorderStyle::styleWithLeft(UIColor* left, CGFloat width,
                                                        DZStyle* next) {
    return styleWithTop(nullptr, nullptr, nullptr, left, width, next);
}

void DZFourBorderStyle::drawEdges(DZStyleContext* context, UIColor* top, UIColor* right,
                                  UIColor* bottom, UIColor* left, NSInteger light) {
    auto c = UIGraphicsGetCurrentContext();
    CGRect frame = context->frame();
    CGRect r = insetBy(frame, width_ / 2, width_ / 2);
    auto shape = context->shape();
    shape->openPath(r);
    CGContextSetLineWidth(c, width_);
    auto clear = UIColor::clearColor();
    using Edge = void (DZShape::*)(CGRect, NSInteger);
    const std::pair<Edge, UIColor*> edges[] = {{&DZShape::addTopEdgeToPath, top},
                                               {&DZShape::addRightEdgeToPath, right},
                                               {&DZShape::addBottomEdgeToPath, bottom},
                                               {&DZShape::addLeftEdgeToPath, left}};
    for (auto& [edge, color] : edges) {
        ((*shape).*edge)(r, light);
        CGContextSetStrokeColorWithColor(c, (color ? color : clear.get())->CGColor());
        CGContextStrokePath(c);
    }
    CGContextRestoreGState(c);
    CGFloat l = left ? width_ : 0, t = top ? width_ : 0;
    CGFloat rt = right ? width_ : 0, b = bottom ? width_ : 0;
    context->setFrame(CGRectMake(frame.origin.x + l, frame.origin.y + t,
                                 frame.size.width - (l + rt), frame.size.height - (t + b)));
}

void DZFourBorderStyle::draw(DZStyleContext* context) {
    drawEdges(context, top_, right_, bottom_, left_, 125);
    DZStyle::draw(context);
}

Ref<DZBevelBorderStyle> DZBevelBorderStyle::styleWithHighlight(UIColor* highlight, UIColor* shadow,
                                                               CGFloat width, NSInteger lightSource,
                                                               DZStyle* next) {
    auto s = step<DZBevelBorderStyle>(next);
    s->highlight_ = highlight;
    s->shadow_ = shadow;
    s->width_ = width;
    s->lightSource_ = lightSource;
    return s;
}

Ref<DZBevelBorderStyle> DZBevelBorderStyle::styleWithColor(UIColor* color, CGFloat width,
                                                           DZStyle* next) {
    return styleWithHighlight(::highlight(color), ::shadow(color), width, 125, next);
}

void DZBevelBorderStyle::draw(DZStyleContext* context) {
    // The light source is read unsigned: a negative one compares as a very large angle.
    auto L = static_cast<NSUInteger>(lightSource_);
    UIColor* top = L <= 180 ? highlight_.get() : shadow_.get();
    UIColor* right = L <= 90 || (L >= 270 && L <= 360) ? highlight_.get() : shadow_.get();
    UIColor* bottom = L == 0 || (L >= 180 && L <= 360) ? highlight_.get() : shadow_.get();
    UIColor* left = L >= 90 && L <= 270 ? highlight_.get() : shadow_.get();
    drawEdges(context, top, right, bottom, left, lightSource_);
    DZStyle::draw(context);
}
