// Progress bars: a value from 0 to 1.
#pragma once

#include "UIKit/UIView.h"

enum UIProgressViewStyle : NSInteger {
    UIProgressViewStyleDefault = 0,
    UIProgressViewStyleBar,
};

class UIProgressView : public UIView {
    NS_OBJECT(UIProgressView, UIView)
    bool initWithFrame(CGRect frame) override;
    bool initWithProgressViewStyle(UIProgressViewStyle style);
    UIProgressViewStyle progressViewStyle() { return style_; }
    void setProgressViewStyle(UIProgressViewStyle s) { style_ = s; }
    float progress() { return progress_; }
    // Clamped to 0...1.
    void setProgress(float progress);
    void setProgress(float progress, bool animated);
    CGSize sizeThatFits(CGSize size) override;

private:
    UIProgressViewStyle style_ = UIProgressViewStyleDefault;
    float progress_ = 0;
};
