// Activity indicators: a spinner of a fixed size per style, hidden while stopped unless told
// otherwise.
#pragma once

#include "UIKit/UIView.h"

class UIColor;

enum UIActivityIndicatorViewStyle : NSInteger {
    UIActivityIndicatorViewStyleWhiteLarge = 0,
    UIActivityIndicatorViewStyleWhite,
    UIActivityIndicatorViewStyleGray,
};

class UIActivityIndicatorView : public UIView {
    NS_OBJECT(UIActivityIndicatorView, UIView)
    static void describeClass(RuntimeClass& c);
    // The white style; hidden until started.
    bool initWithFrame(CGRect frame) override;
    // The frame is the style's size (20 x 20, or 37 x 37 for the large style).
    bool initWithActivityIndicatorStyle(UIActivityIndicatorViewStyle style);

    UIActivityIndicatorViewStyle activityIndicatorViewStyle() { return style_; }
    void setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle style);
    bool hidesWhenStopped() { return hidesWhenStopped_; }
    void setHidesWhenStopped(bool v);
    Ref<UIColor> color() { return color_; }
    void setColor(UIColor* color);
    void startAnimating();
    void stopAnimating();
    bool isAnimating() { return animating_; }
    CGSize sizeThatFits(CGSize size) override;

private:
    UIActivityIndicatorViewStyle style_ = UIActivityIndicatorViewStyleWhite;
    bool hidesWhenStopped_ = true;
    bool animating_ = false;
    Ref<UIColor> color_;
};
