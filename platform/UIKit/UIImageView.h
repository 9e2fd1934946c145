// Image views: show an image (or the highlighted image) scaled by the content mode; they can
// cycle through animation images.
#pragma once

#include "UIKit/UIView.h"

class UIImage;

class UIImageView : public UIView {
    NS_OBJECT(UIImageView, UIView)
    static void describeClass(RuntimeClass& c);
    // Image views take no touches by default.
    bool initWithFrame(CGRect frame) override;
    // The frame becomes the image's size at the origin.
    virtual bool initWithImage(UIImage* image);
    bool initWithImage(UIImage* image, UIImage* highlightedImage);

    Ref<UIImage> image() { return image_; }
    virtual void setImage(UIImage* image);
    Ref<UIImage> highlightedImage() { return highlightedImage_; }
    void setHighlightedImage(UIImage* image);
    bool isHighlighted() { return highlighted_; }
    void setHighlighted(bool v);
    // The image shown now.
    Ref<UIImage> displayedImage();

    Ref<NSArray> animationImages() { return animationImages_; }
    void setAnimationImages(NSArray* images);
    NSTimeInterval animationDuration() { return animationDuration_; }
    void setAnimationDuration(NSTimeInterval d) { animationDuration_ = d; }
    NSInteger animationRepeatCount() { return animationRepeatCount_; }
    void setAnimationRepeatCount(NSInteger n) { animationRepeatCount_ = n; }
    void startAnimating();
    void stopAnimating();
    bool isAnimating() { return animating_; }

    // The image's size (zero without an image).
    CGSize sizeThatFits(CGSize size) override;
    // Where the image lands in the bounds under the content mode.
    CGRect imageRect();

private:
    Ref<UIImage> image_;
    Ref<UIImage> highlightedImage_;
    Ref<NSArray> animationImages_;
    NSTimeInterval animationDuration_ = 0;
    NSInteger animationRepeatCount_ = 0;
    bool highlighted_ = false;
    bool animating_ = false;
};
