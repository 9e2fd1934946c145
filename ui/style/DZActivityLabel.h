// A spinning activity indicator beside a one-line text, with an optional progress bar above the
// text, inside a bezel that is a centred box sized to its content (styles 3 and 5) or a band
// filling the view. Seven styles, 0 to 6, choose the bezel, the indicator, the font and the
// colours. A 0.01 s timer can make the bar creep towards the progress set. Main thread.
#pragma once

#include "UIKit/UIView.h"

class DZView;
class NSTimer;
class UIActivityIndicatorView;
class UIFont;
class UILabel;
class UIProgressView;

enum DZActivityLabelStyle : NSInteger {
    DZActivityLabelStyleWhite = 0,
    DZActivityLabelStyleGray,
    DZActivityLabelStyleBlackBox,
    DZActivityLabelStyleBlackBezel,
    DZActivityLabelStyleBlackBanner,
    DZActivityLabelStyleWhiteBezel,
    DZActivityLabelStyleWhiteBox,
};

class DZActivityLabel : public UIView {
    NS_OBJECT(DZActivityLabel, UIView)
    static void describeClass(RuntimeClass& c);
    bool initWithFrame(CGRect frame, DZActivityLabelStyle style, NSString* text);
    bool initWithFrame(CGRect frame, DZActivityLabelStyle style);
    bool initWithStyle(DZActivityLabelStyle style);
    // Style 6 (white), no text.
    bool initWithFrame(CGRect frame) override;
    void dealloc() override;

    DZActivityLabelStyle style() { return style_; }
    Ref<NSString> text();
    void setText(NSString* text);
    Ref<UIFont> font();
    void setFont(UIFont* font);
    bool isAnimating();
    void setIsAnimating(bool animating);
    float progress() { return progress_; }
    void setProgress(float progress);
    bool smoothesProgress() { return smoothesProgress_; }
    void setSmoothesProgress(bool smoothes) { smoothesProgress_ = smoothes; }

    Ref<DZView> bezelView() { return bezelView_; }
    Ref<UIProgressView> progressView() { return progressView_; }
    Ref<UIActivityIndicatorView> activityIndicator() { return activityIndicator_; }
    Ref<UILabel> label() { return label_; }
    Ref<NSTimer> smoothTimer() { return smoothTimer_; }

    CGSize sizeThatFits(CGSize size) override;
    void layoutSubviews() override;
    // The timer's action: one step of the bar towards the progress.
    void smoothTimer(NSTimer* timer);

private:
    bool isBoxed() {
        return style_ == DZActivityLabelStyleBlackBezel || style_ == DZActivityLabelStyleWhiteBezel;
    }

    DZActivityLabelStyle style_ = DZActivityLabelStyleWhiteBox;
    Ref<DZView> bezelView_;
    Ref<UIProgressView> progressView_;
    Ref<UIActivityIndicatorView> activityIndicator_;
    Ref<UILabel> label_;
    float progress_ = 0;
    bool smoothesProgress_ = false;
    Ref<NSTimer> smoothTimer_;
};
