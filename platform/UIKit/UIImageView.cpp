#include "UIKit/UIImageView.h"

#include <algorithm>

#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIImage.h"

void UIImageView::describeClass(RuntimeClass& c) {
    c.initializer("initWithImage:",
                  static_cast<bool (UIImageView::*)(UIImage*)>(&UIImageView::initWithImage));
    c.property("image", &UIImageView::image, &UIImageView::setImage);
}

bool UIImageView::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    setUserInteractionEnabled(false);
    return true;
}

bool UIImageView::initWithImage(UIImage* image) {
    CGSize s = image ? image->size() : CGSizeZero;
    if (!initWithFrame(CGRectMake(0, 0, s.width, s.height))) return false;
    image_ = image;
    return true;
}

bool UIImageView::initWithImage(UIImage* image, UIImage* highlightedImage) {
    if (!initWithImage(image)) return false;
    highlightedImage_ = highlightedImage;
    return true;
}

void UIImageView::setImage(UIImage* image) {
    if (image_.get() == image) return;
    image_ = image;
    setNeedsDisplay();
}

void UIImageView::setHighlightedImage(UIImage* image) {
    highlightedImage_ = image;
    setNeedsDisplay();
}

void UIImageView::setHighlighted(bool v) {
    highlighted_ = v;
    setNeedsDisplay();
}

Ref<UIImage> UIImageView::displayedImage() {
    if (animating_ && animationImages_ && animationImages_->count() > 0)
        return as<UIImage>(animationImages_->objectAtIndex(0));
    if (highlighted_ && highlightedImage_) return highlightedImage_;
    return image_;
}

void UIImageView::setAnimationImages(NSArray* images) {
    animationImages_ = images;
    if (!images || images->count() == 0) animating_ = false;
}

void UIImageView::startAnimating() {
    animating_ = animationImages_ && animationImages_->count() > 0;
}

void UIImageView::stopAnimating() {
    animating_ = false;
}

CGSize UIImageView::sizeThatFits(CGSize) {
    auto img = displayedImage();
    return img ? img->size() : CGSizeZero;
}

CGRect UIImageView::imageRect() {
    CGRect b = bounds();
    auto img = displayedImage();
    if (!img) return CGRectZero;
    CGSize s = img->size();
    if (s.width <= 0 || s.height <= 0) return b;
    CGFloat sx = b.size.width / s.width, sy = b.size.height / s.height;
    auto centred = [&](CGFloat w, CGFloat h) {
        return CGRectMake(b.origin.x + (b.size.width - w) / 2, b.origin.y + (b.size.height - h) / 2,
                          w, h);
    };
    switch (contentMode()) {
        case UIViewContentModeScaleToFill:
        case UIViewContentModeRedraw:
            return b;
        case UIViewContentModeScaleAspectFit: {
            CGFloat k = std::min(sx, sy);
            return centred(s.width * k, s.height * k);
        }
        case UIViewContentModeScaleAspectFill: {
            CGFloat k = std::max(sx, sy);
            return centred(s.width * k, s.height * k);
        }
        case UIViewContentModeCenter:
            return centred(s.width, s.height);
        case UIViewContentModeTop:
            return CGRectMake(b.origin.x + (b.size.width - s.width) / 2, b.origin.y, s.width,
                              s.height);
        case UIViewContentModeBottom:
            return CGRectMake(b.origin.x + (b.size.width - s.width) / 2,
                              CGRectGetMaxY(b) - s.height, s.width, s.height);
        case UIViewContentModeLeft:
            return CGRectMake(b.origin.x, b.origin.y + (b.size.height - s.height) / 2, s.width,
                              s.height);
        case UIViewContentModeRight:
            return CGRectMake(CGRectGetMaxX(b) - s.width,
                              b.origin.y + (b.size.height - s.height) / 2, s.width, s.height);
        case UIViewContentModeTopLeft:
            return CGRectMake(b.origin.x, b.origin.y, s.width, s.height);
        case UIViewContentModeTopRight:
            return CGRectMake(CGRectGetMaxX(b) - s.width, b.origin.y, s.width, s.height);
        case UIViewContentModeBottomLeft:
            return CGRectMake(b.origin.x, CGRectGetMaxY(b) - s.height, s.width, s.height);
        case UIViewContentModeBottomRight:
            return CGRectMake(CGRectGetMaxX(b) - s.width, CGRectGetMaxY(b) - s.height, s.width,
                              s.height);
    }
    return b;
}
