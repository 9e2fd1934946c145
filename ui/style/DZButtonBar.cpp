#include "ui/style/DZButtonBar.h"

#include <algorithm>
#include <cmath>

#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "ui/core/DZGeometry.h"
#include "ui/style/DZButton.h"

bool DZButtonBar::initWithFrame(CGRect frame) {
    if (!DZView::initWithFrame(frame)) return false;
    buttons_ = NSMutableArray::array();
    buttonStyle_ = NS("toolbarButton:");
    return true;
}

void DZButtonBar::setButtonStyle(NSString* name) {
    buttonStyle_ = name ? name->copy() : nullptr;
}

void DZButtonBar::addButton(NSString* title, NSObject* target, SEL action) {
    auto button = DZButton::buttonWithStyle(buttonStyle_);
    button->setTitle(title, UIControlStateNormal);
    button->addTarget(target, action, UIControlEventTouchUpInside);
    addSubview(button);
    buttons_->addObject(button);
}

void DZButtonBar::removeButtons() {
    for (NSObject* button : *buttons_)
        static_cast<DZButton*>(button)->removeFromSuperview();
    buttons_->removeAllObjects();
}

void DZButtonBar::layoutSubviews() {
    NSUInteger n = buttons_->count();
    if (n == 0) return;
    CGFloat W = width(this), H = height(this);
    CGFloat buttonWidth = std::min<CGFloat>(std::floor((W - 10) / CGFloat(n)) - 10, 120);
    CGFloat x = std::floor(W / 2 - (buttonWidth + 10) * CGFloat(n) / 2) + 10;
    CGFloat y = std::floor(H / 2 - 15);
    for (NSObject* object : *buttons_) {
        auto* button = static_cast<DZButton*>(object);
        button->setFrame(CGRectMake(x, y, buttonWidth, 30));
        x += width(button) + 10;
    }
}

void DZButtonBar::touchesBegan(NSSet*, UIEvent*) {}
