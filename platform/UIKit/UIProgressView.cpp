#include "UIKit/UIProgressView.h"

#include <algorithm>

bool UIProgressView::initWithFrame(CGRect frame) {
    // The bar is 9 points high whatever height it is given.
    return UIView::initWithFrame(CGRectMake(frame.origin.x, frame.origin.y, frame.size.width, 9));
}

bool UIProgressView::initWithProgressViewStyle(UIProgressViewStyle style) {
    if (!initWithFrame(CGRectMake(0, 0, 150, 9))) return false;
    style_ = style;
    return true;
}

void UIProgressView::setProgress(float progress) {
    setProgress(progress, false);
}

void UIProgressView::setProgress(float progress, bool) {
    progress_ = std::clamp(progress, 0.0f, 1.0f);
    setNeedsDisplay();
}

CGSize UIProgressView::sizeThatFits(CGSize size) {
    return CGSizeMake(size.width > 0 ? size.width : 150, 9);
}
