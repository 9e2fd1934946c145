#include "ui/core/DZStyleContext.h"

#include "UIKit/UIFont.h"
#include "ui/core/DZShape.h"
#include "ui/core/DZStyleDelegate.h"

bool DZStyleContext::init() {
    frame_ = CGRectZero;
    contentFrame_ = CGRectZero;
    didDrawContent_ = false;
    return true;
}

Ref<UIFont> DZStyleContext::font() {
    return font_;
}

void DZStyleContext::setFont(UIFont* font) {
    font_ = font;
}

Ref<DZShape> DZStyleContext::shape() {
    if (!shape_) shape_ = DZRectangleShape::shape();
    return shape_;
}

void DZStyleContext::setShape(DZShape* shape) {
    shape_ = shape;
}
