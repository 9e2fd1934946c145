#include "UIKit/UIAccessibilityElement.h"

#include "Foundation/NSString.h"

bool UIAccessibilityElement::initWithAccessibilityContainer(NSObject* container) {
    container_ = container;
    return true;
}

void UIAccessibilityElement::setAccessibilityLabel(NSString* label) {
    label_ = label ? cast<NSString>(label->copy()) : nullptr;
}

Ref<NSString> UIAccessibilityElement::description() {
    return NSString::stringWithFormat(NS("<UIAccessibilityElement \"%@\" %@>"), label_.get(),
                                      NSStringFromCGRect(frame_).get());
}
