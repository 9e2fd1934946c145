// The placeholder of an empty or failed screen: an image, a title and a subtitle centred one
// above the other; the image is left out when the view is too short for all three.
#pragma once

#include "UIKit/UIView.h"

class UIImage;
class UIImageView;
class UILabel;

class DZErrorView : public UIView {
    NS_OBJECT(DZErrorView, UIView)
    bool initWithFrame(CGRect frame) override;
    bool initWithTitle(NSString* title, NSString* subtitle, UIImage* image);

    Ref<NSString> title();
    void setTitle(NSString* title);
    Ref<NSString> subtitle();
    void setSubtitle(NSString* subtitle);
    Ref<UIImage> image();
    void setImage(UIImage* image);

    Ref<UIImageView> imageView() { return imageView_; }
    Ref<UILabel> titleView() { return titleView_; }
    Ref<UILabel> subtitleView() { return subtitleView_; }

    void layoutSubviews() override;

private:
    Ref<UIImageView> imageView_;
    Ref<UILabel> titleView_, subtitleView_;
};
