#include "UIKit/UIActivityIndicatorView.h"

#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"

namespace {
CGFloat sideFor(UIActivityIndicatorViewStyle style) {
    return style == UIActivityIndicatorViewStyleWhiteLarge ? 37 : 20;
}
}  // namespace

void UIActivityIndicatorView::describeClass(RuntimeClass& c) {
    c.method("startAnimating", &UIActivityIndicatorView::startAnimating);
    c.method("stopAnimating", &UIActivityIndicatorView::stopAnimating);
    c.initializer("initWithActivityIndicatorStyle:",
                  &UIActivityIndicatorView::initWithActivityIndicatorStyle);
}

bool UIActivityIndicatorView::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    setOpaque(false);
    setUserInteractionEnabled(false);
    setHidden(true);
    return true;
}

bool UIActivityIndicatorView::initWithActivityIndicatorStyle(UIActivityIndicatorViewStyle style) {
    CGFloat side = sideFor(style);
    if (!initWithFrame(CGRectMake(0, 0, side, side))) return false;
    style_ = style;
    return true;
}

void UIActivityIndicatorView::setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle style) {
    style_ = style;
    CGRect f = frame();
    CGFloat side = sideFor(style);
    setFrame(CGRectMake(f.origin.x, f.origin.y, side, side));
}

void UIActivityIndicatorView::setHidesWhenStopped(bool v) {
    hidesWhenStopped_ = v;
    if (!animating_) setHidden(v);
}

void UIActivityIndicatorView::setColor(UIColor* color) {
    color_ = color;
    setNeedsDisplay();
}

void UIActivityIndicatorView::startAnimating() {
    animating_ = true;
    setHidden(false);
}

void UIActivityIndicatorView::stopAnimating() {
    animating_ = false;
    if (hidesWhenStopped_) setHidden(true);
}

CGSize UIActivityIndicatorView::sizeThatFits(CGSize) {
    CGFloat side = sideFor(style_);
    return CGSizeMake(side, side);
}
