#include "ui/style/DZPageControl.h"

#include <algorithm>
#include <cmath>

#include "Foundation/NSString.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIImage.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZStyle.h"
#include "ui/core/DZStyleContext.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/style/DZFrameStyles.h"

bool DZPageControl::initWithFrame(CGRect frame) {
    if (!UIControl::initWithFrame(frame)) return false;
    setBackgroundColor(UIColor::clearColor());
    dotStyle_ = NS("pageDot:");
    hidesForSinglePage_ = false;
    setContentMode(UIViewContentModeRedraw);
    return true;
}

void DZPageControl::setNumberOfPages(NSInteger count) {
    count = std::max<NSInteger>(count, 0);
    if (count == numberOfPages_) return;
    numberOfPages_ = count;
    setNeedsDisplay();
}

void DZPageControl::setCurrentPage(NSInteger page) {
    if (page == currentPage_) return;
    currentPage_ = std::max<NSInteger>(std::min(page, numberOfPages_ - 1), 0);
    setNeedsDisplay();
}

void DZPageControl::setDotStyle(NSString* name) {
    if (objectsEqual(name, dotStyle_)) return;
    dotStyle_ = name ? name->copy() : nullptr;
    normalDotStyle_ = nullptr;
    currentDotStyle_ = nullptr;
}

Ref<DZStyle> DZPageControl::normalDotStyle() {
    if (!normalDotStyle_)
        normalDotStyle_ =
            DZStyleSheet::globalStyleSheet()->styleWithSelector(dotStyle_, UIControlStateNormal);
    return normalDotStyle_;
}

Ref<DZStyle> DZPageControl::currentDotStyle() {
    if (!currentDotStyle_)
        currentDotStyle_ =
            DZStyleSheet::globalStyleSheet()->styleWithSelector(dotStyle_, UIControlStateSelected);
    return currentDotStyle_;
}

CGSize DZPageControl::dotSize() {
    auto style = normalDotStyle();
    return style ? style->addToSize(CGSizeZero, make<DZStyleContext>()) : CGSizeZero;
}

UIEdgeInsets DZPageControl::dotMargin() {
    auto style = normalDotStyle();
    auto box = style ? style->firstStyleOfClass<DZBoxStyle>() : nullptr;
    return box ? box->margin() : UIEdgeInsetsZero;
}

CGSize DZPageControl::sizeThatFits(CGSize) {
    CGSize dot = dotSize();
    UIEdgeInsets margin = dotMargin();
    // No pages take no room (not the negative width of the gaps between none).
    if (numberOfPages_ == 0) return CGSizeMake(0, dot.height);
    return CGSizeMake(
        dot.width * numberOfPages_ + (margin.left + margin.right) * CGFloat(numberOfPages_ - 1),
        dot.height);
}

void DZPageControl::drawRect(CGRect) {
    if (numberOfPages_ < 2 && hidesForSinglePage_) return;
    CGSize dot = dotSize();
    UIEdgeInsets margin = dotMargin();
    CGFloat gaps = margin.left + margin.right;
    CGFloat total = (dot.width + gaps) * numberOfPages_;
    CGFloat x = std::round(width(this) / 2 - (total - gaps) / 2);
    CGFloat y = std::round(height(this) / 2 - dot.height / 2);
    auto normal = normalDotStyle(), current = currentDotStyle();
    for (NSInteger i = 0; i < numberOfPages_; ++i) {
        x += margin.left;
        auto context = make<DZStyleContext>();
        context->setFrame(CGRectMake(x, y, dot.width, dot.height));
        context->setContentFrame(context->frame());
        auto style = i == currentPage_ ? current : normal;
        if (style) style->draw(context);
        x += dot.width + margin.right;
    }
}

void DZPageControl::endTrackingWithTouch(UITouch* touch, UIEvent* event) {
    if (!isTouchInside()) return;
    CGPoint p = touch->locationInView(this);
    setCurrentPage(p.x >= width(this) / 2 ? currentPage_ + 1 : currentPage_ - 1);
    sendActionsForControlEvents(UIControlEventValueChanged);
    UIControl::endTrackingWithTouch(touch, event);
}
