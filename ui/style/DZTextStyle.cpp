#include "ui/style/DZTextStyle.h"

#include <cfloat>
#include <cmath>

#include "CoreGraphics/CGContext.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"
#include "ui/core/DZStyleContext.h"
#include "ui/core/DZStyleDelegate.h"
#include "ui/core/UIColor+DZCategory.h"

Ref<DZTextStyle> DZTextStyle::styleWithFont(UIFont* font, DZStyle* next) {
    return styleWithFont(font, nullptr, next);
}

Ref<DZTextStyle> DZTextStyle::styleWithColor(UIColor* color, DZStyle* next) {
    return styleWithFont(nullptr, color, next);
}

Ref<DZTextStyle> DZTextStyle::styleWithFont(UIFont* font, UIColor* color, DZStyle* next) {
    return styleWithFont(font, color, 0, nullptr, CGSizeZero, UITextAlignmentCenter, 0,
                         UILineBreakModeTailTruncation, 1, next);
}

Ref<DZTextStyle> DZTextStyle::styleWithFont(UIFont* font, UIColor* color,
                                            UITextAlignment textAlignment, DZStyle* next) {
    return styleWithFont(font, color, 0, nullptr, CGSizeZero, textAlignment, 0,
                         UILineBreakModeTailTruncation, 1, next);
}

Ref<DZTextStyle> DZTextStyle::styleWithFont(UIFont* font, UIColor* color, UIColor* shadowColor,
                                            CGSize shadowOffset, DZStyle* next) {
    return styleWithFont(font, color, 0, shadowColor, shadowOffset, next);
}

Ref<DZTextStyle> DZTextStyle::styleWithFont(UIFont* font, UIColor* color, CGFloat minimumFontSize,
                                            UIColor* shadowColor, CGSize shadowOffset,
                                            DZStyle* next) {
    return styleWithFont(font, color, minimumFontSize, shadowColor, shadowOffset,
                         UITextAlignmentCenter, 0, UILineBreakModeTailTruncation, 1, next);
}

Ref<DZTextStyle> DZTextStyle::styleWithFont(UIFont* font, UIColor* color, CGFloat minimumFontSize,
                                            UIColor* shadowColor, CGSize shadowOffset,
                                            UITextAlignment textAlignment,
                                            NSInteger verticalAlignment,
                                            UILineBreakMode lineBreakMode, NSInteger numberOfLines,
                                            DZStyle* next) {
    auto s = make<DZTextStyle>(&DZStyle::initWithNext, next);
    s->font_ = font;
    s->color_ = color;
    s->minimumFontSize_ = minimumFontSize;
    s->shadowColor_ = shadowColor;
    s->shadowOffset_ = shadowOffset;
    s->textAlignment_ = textAlignment;
    s->verticalAlignment_ = verticalAlignment;
    s->lineBreakMode_ = lineBreakMode;
    s->numberOfLines_ = numberOfLines;
    return s;
}

CGSize DZTextStyle::sizeOfText(NSString* text, UIFont* font, CGSize size) {
    if (numberOfLines_ == 1) return sizeWithFont(text, font);
    CGSize s = sizeWithFont(text, font, CGSizeMake(size.width, FLT_MAX), lineBreakMode_);
    if (numberOfLines_ != 0) s.height = std::min(s.height, numberOfLines_ * dzLineHeight(font));
    return s;
}

CGRect DZTextStyle::rectForText(NSString* text, CGSize size, UIFont* font) {
    if (textAlignment_ == UITextAlignmentLeft && verticalAlignment_ == 1)
        return CGRectMake(0, 0, size.width, size.height);
    CGSize s = sizeOfText(text, font, size);
    CGFloat W = std::max(size.width, s.width);
    CGFloat x = 0, y = 0;
    if (textAlignment_ == UITextAlignmentRight)
        x = W - s.width;
    else if (textAlignment_ == UITextAlignmentCenter)
        x = std::round(W / 2 - s.width / 2);
    if (verticalAlignment_ == 2)
        y = size.height - s.height;
    else if (verticalAlignment_ == 0)
        y = std::round(size.height / 2 - s.height / 2);
    return CGRectMake(x, y, s.width, s.height);
}

void DZTextStyle::drawText(NSString* text, DZStyleContext* context) {
    auto c = UIGraphicsGetCurrentContext();
    CGContextSaveGState(c);
    Ref<UIFont> font = font_ ? font_ : context->font();
    if (!font) font = UIFont::systemFontOfSize(UIFont::systemFontSize());
    if (shadowColor_)
        CGContextSetShadowWithColor(c, CGSizeMake(shadowOffset_.width, -shadowOffset_.height), 0,
                                    shadowColor_->CGColor());
    if (color_) color_->setFill();
    CGRect cf = context->contentFrame();
    CGRect r = rectForText(text, cf.size, font);
    CGSize drawn;
    if (numberOfLines_ == 1) {
        CGFloat minimum = minimumFontSize_ ? minimumFontSize_ : font->pointSize();
        CGFloat actual = 0;
        drawn = drawAtPoint(text, CGPointMake(cf.origin.x + r.origin.x, cf.origin.y + r.origin.y),
                            cf.size.width, font, minimum, &actual, lineBreakMode_,
                            UIBaselineAdjustmentAlignCenters);
        // One line: where it was placed, relative to the old content frame.
        context->setContentFrame(CGRectMake(r.origin.x, r.origin.y, drawn.width, drawn.height));
    } else {
        drawn = drawInRect(text, CGRectOffset(r, cf.origin.x, cf.origin.y), font, lineBreakMode_,
                           textAlignment_);
        context->setContentFrame(CGRectMake(cf.origin.x, cf.origin.y, drawn.width, drawn.height));
    }
    CGContextRestoreGState(c);
}

void DZTextStyle::draw(DZStyleContext* context) {
    auto delegate = context->delegate();
    if (respondsTo(delegate.get(), Selector::named("textForLayerWithStyle:"))) {
        if (auto text = delegate->textForLayerWithStyle(this)) {
            context->setDidDrawContent(true);
            drawText(text, context);
        }
    }
    if (!context->didDrawContent() &&
        respondsTo(delegate.get(), Selector::named("drawLayer:withStyle:"))) {
        delegate->drawLayerWithStyle(context, this);
        context->setDidDrawContent(true);
    }
    DZStyle::draw(context);
}

CGSize DZTextStyle::addToSize(CGSize size, DZStyleContext* context) {
    auto delegate = context->delegate();
    if (respondsTo(delegate.get(), Selector::named("textForLayerWithStyle:"))) {
        auto text = delegate->textForLayerWithStyle(this);
        Ref<UIFont> font = font_ ? font_ : context->font();
        // Measuring needs a font even where drawing would fall back to the system's.
        if (!font) font = UIFont::systemFontOfSize(UIFont::systemFontSize());
        CGFloat width = context->contentFrame().size.width;
        if (width == 0) width = FLT_MAX;
        CGFloat height = numberOfLines_ ? numberOfLines_ * dzLineHeight(font) : FLT_MAX;
        CGSize s = sizeOfText(text, font, CGSizeMake(width, height));
        size.width += s.width;
        size.height += s.height;
    }
    return DZStyle::addToSize(size, context);
}
