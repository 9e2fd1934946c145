#include "ui/style/DZStyleContext.h"

#include "UIKit/UIFont.h"
#include "ui/style/DZStyleDelegate.h"

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
