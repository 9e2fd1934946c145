#include "ui/core/DZStyle.h"

#include <vector>

#include "CoreGraphics/CGBitmapContext.h"
#include "CoreGraphics/CGColor.h"
#include "CoreGraphics/CGColorSpace.h"
#include "Foundation/NSString.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIGraphics.h"
#include "ui/core/DZStyleContext.h"
#include "ui/core/DZStyleDelegate.h"

bool DZStyle::initWithNext(DZStyle* next) {
    next_ = next;
    return true;
}

Ref<DZStyle> DZStyle::next(DZStyle* next) {
    setNext(next);
    return this;
}

void DZStyle::draw(DZStyleContext* context) {
    if (next_) next_->draw(context);
}

UIEdgeInsets DZStyle::addToInsets(UIEdgeInsets insets, CGSize size) {
    return next_ ? next_->addToInsets(insets, size) : insets;
}

CGSize DZStyle::addToSize(CGSize size, DZStyleContext* context) {
    return next_ ? next_->addToSize(size, context) : size;
}

void DZStyle::addStyle(DZStyle* style) {
    DZStyle* tail = this;
    while (tail->next_)
        tail = tail->next_.get();
    tail->next_ = style;
}

Ref<DZStyle> DZStyle::firstStyleOfClass(Class cls) {
    for (DZStyle* s = this; s; s = s->next_.get())
        if (s->isKindOfClass(cls)) return s;
    return nullptr;
}

Ref<DZPartStyle> DZStyle::styleForPart(NSString* name) {
    for (DZStyle* s = this; s; s = s->next_.get()) {
        auto part = as<DZPartStyle>(s);
        if (part && part->name() && part->name()->isEqualToString(name)) return part;
    }
    return nullptr;
}

Ref<CGGradient> DZStyle::newGradientWithColors(UIColor* const* colors, const CGFloat* locations,
                                               size_t count) {
    std::vector<CGFloat> rgba(count * 4, 0);
    for (size_t i = 0; i < count; ++i) {
        Ref<CGColor> color = colors[i] ? colors[i]->CGColor() : nullptr;
        size_t n = color ? CGColorGetNumberOfComponents(color) : 0;
        const CGFloat* c = n ? CGColorGetComponents(color) : nullptr;
        CGFloat* out = &rgba[i * 4];
        if (n == 4) {
            for (int k = 0; k < 4; ++k)
                out[k] = c[k];
        } else if (n == 2) {
            out[0] = out[1] = out[2] = c[0];
            out[3] = c[1];
        }  // anything else stays transparent black
    }
    // The stops are made in the colour space of the context being drawn into. Its components
    // per stop must match that space: a grey context takes the grey level and alpha of each
    // stop (luminance, as the platform greys colours). Without a context, device RGB.
    auto context = UIGraphicsGetCurrentContext();
    CGColorSpaceRef space = context ? CGBitmapContextGetColorSpace(context) : nullptr;
    size_t n = space ? CGColorSpaceGetNumberOfComponents(space) : 0;
    if (n == 1) {
        std::vector<CGFloat> grey(count * 2, 0);
        for (size_t i = 0; i < count; ++i) {
            const CGFloat* c = &rgba[i * 4];
            grey[i * 2] = (77 * c[0] + 150 * c[1] + 29 * c[2]) / 256;
            grey[i * 2 + 1] = c[3];
        }
        return CGGradientCreateWithColorComponents(space, grey.data(), locations, count);
    }
    if (n != 3) space = CGColorSpace::deviceRGB();
    return CGGradientCreateWithColorComponents(space, rgba.data(), locations, count);
}

Ref<DZPartStyle> DZPartStyle::styleWithName(NSString* name, DZStyle* style, DZStyle* next) {
    auto part = make<DZPartStyle>(&DZStyle::initWithNext, next);
    part->setName(name);
    part->setStyle(style);
    return part;
}

void DZPartStyle::setName(NSString* name) {
    name_ = name ? name->copy() : nullptr;
}

void DZPartStyle::draw(DZStyleContext* context) {
    DZStyle::draw(context);
}

void DZPartStyle::drawPart(DZStyleContext* context) {
    if (style_) style_->draw(context);
}
