// The controls the catalog's screens are made of.
#pragma once

#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIButton.h"

// A rounded button with the title that sends the named action to the target, in the parent.
inline Ref<UIButton> addCatalogButton(UIView* parent, CGRect frame, const char* title,
                                      NSObject* target, const char* action) {
    auto button = UIButton::buttonWithType(UIButtonTypeRoundedRect);
    button->setFrame(frame);
    button->setTitle(NSString::fromUTF8(title), UIControlStateNormal);
    button->addTarget(target, Selector::named(action), UIControlEventTouchUpInside);
    parent->addSubview(button.get());
    return button;
}
