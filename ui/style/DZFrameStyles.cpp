#include "ui/style/DZFrameStyles.h"

#include <cmath>

#include "CoreGraphics/CGContext.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "ui/core/DZShape.h"
#include "ui/core/DZStringAdditions.h"
#include "ui/core/DZStyleContext.h"
#include "ui/core/DZStyleDelegate.h"
#include "ui/core/DZURLCache.h"
#include "ui/core/UIImage+DZCategory.h"

namespace {
template <class T>
Ref<T> step(DZStyle* next) {
    return make<T>(&DZStyle::initWithNext, next);
}
CGRect insetRect(CGRect r, UIEdgeInsets i) {
    return CGRectMake(r.origin.x + i.left, r.origin.y + i.top, r.size.width - i.left - i.right,
                      r.size.height - i.top - i.bottom);
}
UIEdgeInsets add(UIEdgeInsets a, UIEdgeInsets b) {
    return UIEdgeInsetsMake(a.top + b.top, a.left + b.left, a.bottom + b.bottom, a.right + b.right);
}
}  // namespace

// ---- shape --------------------------------------------------------------------------------

Ref<DZShapeStyle> DZShapeStyle::styleWithShape(DZShape* shape, DZStyle* next) {
    auto s = step<DZShapeStyle>(next);
    s->shape_ = shape;
    return s;
}

void DZShapeStyle::draw(DZStyleContext* context) {
    if (!shape_) return DZStyle::draw(context);
    UIEdgeInsets insets = shape_->insetsForSize(context->frame().size);
    context->setContentFrame(insetRect(context->contentFrame(), insets));
    context->setShape(shape_);
    DZStyle::draw(context);
}

UIEdgeInsets DZShapeStyle::addToInsets(UIEdgeInsets insets, CGSize size) {
    if (!shape_) return DZStyle::addToInsets(insets, size);
    return DZStyle::addToInsets(add(insets, shape_->insetsForSize(size)), size);
}

CGSize DZShapeStyle::addToSize(CGSize size, DZStyleContext* context) {
    // The rest of the chain first: the shape's insets follow the grown size.
    CGSize grown = DZStyle::addToSize(size, context);
    if (!shape_) return grown;
    UIEdgeInsets insets = shape_->insetsForSize(grown);
    return CGSizeMake(grown.width + insets.left + insets.right,
                      grown.height + insets.top + insets.bottom);
}

// ---- inset and box ------------------------------------------------------------------------

Ref<DZInsetStyle> DZInsetStyle::styleWithInset(UIEdgeInsets insets, DZStyle* next) {
    auto s = step<DZInsetStyle>(next);
    s->inset_ = insets;
    return s;
}

void DZInsetStyle::draw(DZStyleContext* context) {
    context->setFrame(insetRect(context->frame(), inset_));
    DZStyle::draw(context);
}

UIEdgeInsets DZInsetStyle::addToInsets(UIEdgeInsets insets, CGSize size) {
    return DZStyle::addToInsets(add(insets, inset_), size);
}

Ref<DZBoxStyle> DZBoxStyle::styleWithMargin(UIEdgeInsets margin, DZStyle* next) {
    return styleWithMargin(margin, UIEdgeInsetsZero, CGSizeZero, 0, next);
}

Ref<DZBoxStyle> DZBoxStyle::styleWithPadding(UIEdgeInsets padding, DZStyle* next) {
    return styleWithMargin(UIEdgeInsetsZero, padding, CGSizeZero, 0, next);
}

Ref<DZBoxStyle> DZBoxStyle::styleWithFloats(NSInteger position, DZStyle* next) {
    return styleWithMargin(UIEdgeInsetsZero, UIEdgeInsetsZero, CGSizeZero, position, next);
}

Ref<DZBoxStyle> DZBoxStyle::styleWithMargin(UIEdgeInsets margin, UIEdgeInsets padding,
                                            DZStyle* next) {
    return styleWithMargin(margin, padding, CGSizeZero, 0, next);
}

Ref<DZBoxStyle> DZBoxStyle::styleWithMargin(UIEdgeInsets margin, UIEdgeInsets padding,
                                            CGSize minSize, NSInteger position, DZStyle* next) {
    auto s = step<DZBoxStyle>(next);
    s->margin_ = margin;
    s->padding_ = padding;
    s->minSize_ = minSize;
    s->position_ = position;
    return s;
}

void DZBoxStyle::draw(DZStyleContext* context) {
    context->setContentFrame(insetRect(context->contentFrame(), padding_));
    DZStyle::draw(context);
}

CGSize DZBoxStyle::addToSize(CGSize size, DZStyleContext* context) {
    size.width += padding_.left + padding_.right;
    size.height += padding_.top + padding_.bottom;
    return DZStyle::addToSize(size, context);
}

// ---- shadows ------------------------------------------------------------------------------

Ref<DZShadowStyle> DZShadowStyle::styleWithColor(UIColor* color, CGFloat blur, CGSize offset,
                                                 DZStyle* next) {
    auto s = step<DZShadowStyle>(next);
    s->color_ = color;
    s->blur_ = blur;
    s->offset_ = offset;
    return s;
}

CGFloat DZShadowStyle::contextOffsetY() {
    auto version = UIDevice::currentDevice()->systemVersion();
    return versionStringCompare(version, NS("3.2")) == NSOrderedAscending ? -offset_.height
                                                                          : offset_.height;
}

void DZShadowStyle::draw(DZStyleContext* context) {
    CGFloat b = std::round(blur_ / 2);
    UIEdgeInsets insets = UIEdgeInsetsMake(b, b, b, b);
    CGFloat ox = offset_.width, oy = offset_.height;
    if (ox < 0) {
        insets.left = b + std::fabs(ox) + b * 2;
        insets.right = 0;
    } else if (ox > 0) {
        insets.right = b + std::fabs(ox) + b * 2;
        insets.left = 0;
    }
    if (oy < 0) {
        insets.top = b + std::fabs(oy) + b * 2;
        insets.bottom = 0;
    } else if (oy > 0) {
        insets.bottom = b + std::fabs(oy) + b * 2;
        insets.top = 0;
    }
    context->setFrame(insetRect(context->frame(), insets));
    context->setContentFrame(insetRect(context->contentFrame(), insets));
    auto c = UIGraphicsGetCurrentContext();
    CGContextSaveGState(c);
    CGContextSetShadowWithColor(c, CGSizeMake(ox, contextOffsetY()), blur_,
                                color_ ? color_->CGColor().get() : nullptr);
    // Everything behind this step casts one shadow together.
    CGContextBeginTransparencyLayer(c, nullptr);
    DZStyle::draw(context);
    CGContextEndTransparencyLayer(c);
    CGContextRestoreGState(c);
}

CGSize DZShadowStyle::addToSize(CGSize size, DZStyleContext* context) {
    CGFloat b = std::round(blur_ / 2);
    CGFloat ox = offset_.width, oy = offset_.height;
    size.width += ox + (ox != 0 ? b : 0) + b * 2;
    size.height += oy + (oy != 0 ? b : 0) + b * 2;
    return DZStyle::addToSize(size, context);
}

Ref<DZInnerShadowStyle> DZInnerShadowStyle::styleWithColor(UIColor* color, CGFloat blur,
                                                           CGSize offset, DZStyle* next) {
    auto s = step<DZInnerShadowStyle>(next);
    s->color_ = color;
    s->blur_ = blur;
    s->offset_ = offset;
    return s;
}

void DZInnerShadowStyle::draw(DZStyleContext* context) {
    auto c = UIGraphicsGetCurrentContext();
    CGRect frame = context->frame();
    auto shape = context->shape();
    CGContextSaveGState(c);
    shape->addToPath(frame);
    CGContextClip(c);
    shape->addInverseToPath(frame);
    CGContextSetFillColorWithColor(c, UIColor::whiteColor()->CGColor());
    CGContextSetShadowWithColor(c, CGSizeMake(offset_.width, contextOffsetY()), blur_,
                                color_ ? color_->CGColor().get() : nullptr);
    CGContextEOFillPath(c);
    CGContextRestoreGState(c);
    DZStyle::draw(context);
}

CGSize DZInnerShadowStyle::addToSize(CGSize size, DZStyleContext* context) {
    return DZStyle::addToSize(size, context);
}

// ---- compositing --------------------------------------------------------------------------

Ref<DZBlendStyle> DZBlendStyle::styleWithBlend(NSInteger blendMode, DZStyle* next) {
    auto s = step<DZBlendStyle>(next);
    s->blendMode_ = blendMode;
    return s;
}

void DZBlendStyle::draw(DZStyleContext* context) {
    if (blendMode_ == 0) {
        DZStyle::draw(context);
        return;
    }
    auto c = UIGraphicsGetCurrentContext();
    CGContextSaveGState(c);
    CGContextSetBlendMode(c, CGBlendMode(blendMode_));
    DZStyle::draw(context);
    CGContextRestoreGState(c);
}

Ref<DZMaskStyle> DZMaskStyle::styleWithMask(UIImage* mask, DZStyle* next) {
    auto s = step<DZMaskStyle>(next);
    s->mask_ = mask;
    return s;
}

void DZMaskStyle::draw(DZStyleContext* context) {
    if (!mask_) {
        DZStyle::draw(context);
        return;
    }
    auto c = UIGraphicsGetCurrentContext();
    CGRect frame = context->frame();
    CGContextSaveGState(c);
    CGContextTranslateCTM(c, 0, frame.size.height);
    CGContextScaleCTM(c, 1, -1);
    CGSize size = mask_->size();
    CGContextClipToMask(c, CGRectMake(0, 0, size.width, size.height), mask_->CGImage());
    DZStyle::draw(context);
    CGContextRestoreGState(c);
}

Ref<DZContentStyle> DZContentStyle::styleWithNext(DZStyle* next) {
    return step<DZContentStyle>(next);
}

void DZContentStyle::draw(DZStyleContext* context) {
    auto delegate = context->delegate();
    if (respondsTo(delegate.get(), Selector::named("drawLayer:withStyle:"))) {
        delegate->drawLayerWithStyle(context, this);
        context->setDidDrawContent(true);
    }
    DZStyle::draw(context);
}

// ---- image --------------------------------------------------------------------------------

Ref<DZImageStyle> DZImageStyle::styleWithImageURL(NSString* url, DZStyle* next) {
    return styleWithImageURL(url, nullptr, UIViewContentModeScaleToFill, CGSizeZero, next);
}

Ref<DZImageStyle> DZImageStyle::styleWithImageURL(NSString* url, UIImage* defaultImage,
                                                  DZStyle* next) {
    return styleWithImageURL(url, defaultImage, UIViewContentModeScaleToFill, CGSizeZero, next);
}

Ref<DZImageStyle> DZImageStyle::styleWithImageURL(NSString* url, UIImage* defaultImage,
                                                  UIViewContentMode contentMode, CGSize size,
                                                  DZStyle* next) {
    auto s = step<DZImageStyle>(next);
    s->setImageURL(url);
    s->defaultImage_ = defaultImage;
    s->contentMode_ = contentMode;
    s->size_ = size;
    return s;
}

Ref<DZImageStyle> DZImageStyle::styleWithImage(UIImage* image, DZStyle* next) {
    return styleWithImage(image, nullptr, UIViewContentModeScaleToFill, CGSizeZero, next);
}

Ref<DZImageStyle> DZImageStyle::styleWithImage(UIImage* image, UIImage* defaultImage,
                                               DZStyle* next) {
    return styleWithImage(image, defaultImage, UIViewContentModeScaleToFill, CGSizeZero, next);
}

Ref<DZImageStyle> DZImageStyle::styleWithImage(UIImage* image, UIImage* defaultImage,
                                               UIViewContentMode contentMode, CGSize size,
                                               DZStyle* next) {
    auto s = step<DZImageStyle>(next);
    s->image_ = image;
    s->defaultImage_ = defaultImage;
    s->contentMode_ = contentMode;
    s->size_ = size;
    return s;
}

void DZImageStyle::setImageURL(NSString* url) {
    imageURL_ = url ? url->copy() : nullptr;
}

Ref<UIImage> DZImageStyle::image() {
    if (!image_ && imageURL_) image_ = DZURLCache::sharedCache()->imageForURL(imageURL_);
    return image_;
}

Ref<UIImage> DZImageStyle::imageForContext(DZStyleContext* context) {
    if (auto mine = image()) return mine;
    auto delegate = context->delegate();
    if (respondsTo(delegate.get(), Selector::named("imageForLayerWithStyle:")))
        return delegate->imageForLayerWithStyle(this);
    return nullptr;
}

void DZImageStyle::draw(DZStyleContext* context) {
    if (auto img = imageForContext(context)) {
        auto c = UIGraphicsGetCurrentContext();
        CGContextSaveGState(c);
        CGRect placed = convertRect(img, context->contentFrame(), contentMode_);
        context->shape()->addToPath(placed);
        CGContextClip(c);
        drawInRect(img, context->contentFrame(), contentMode_);
        CGContextRestoreGState(c);
    }
    DZStyle::draw(context);
}

CGSize DZImageStyle::addToSize(CGSize size, DZStyleContext* context) {
    if (size_.width || size_.height) {
        size.width += size_.width;
        size.height += size_.height;
    } else if (contentMode_ >= UIViewContentModeRedraw) {
        if (auto img = imageForContext(context)) {
            size.width += img->size().width;
            size.height += img->size().height;
        }
    }
    return DZStyle::addToSize(size, context);
}
