// A drawn, pill-shaped progress bar.
#pragma once

#include "CoreGraphics/CGContext.h"
#include "UIKit/UIView.h"

class UIColor;

// A rounded rectangle as a closed subpath of the context's path (the client's drawings share it).
void MRAddRoundedRectToPath(CGContextRef c, CGRect rect, CGFloat radius);

class MRProgress : public UIView {
    NS_OBJECT(MRProgress, UIView)
    bool initWithFrame(CGRect frame) override;

    float minValue() { return minValue_; }
    void setMinValue(float v);
    float maxValue() { return maxValue_; }
    void setMaxValue(float v);
    float currentValue() { return currentValue_; }
    void setCurrentValue(float v);
    Ref<UIColor> lineColor() { return lineColor_; }
    void setLineColor(UIColor* c);
    Ref<UIColor> progressRemainingColor() { return progressRemainingColor_; }
    void setProgressRemainingColor(UIColor* c);
    Ref<UIColor> progressColor() { return progressColor_; }
    void setProgressColor(UIColor* c);
    void setNewRect(CGRect frame);
    void drawRect(CGRect rect) override;

private:
    float minValue_ = 0, maxValue_ = 1, currentValue_ = 0;
    Ref<UIColor> lineColor_, progressRemainingColor_, progressColor_;
};
