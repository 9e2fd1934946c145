// A one-line label that can sweep a soft spotlight across its text, as a hint that something is
// being searched. The spotlight is a radial white-to-clear mask through which the text is drawn
// a second time in the spotlight colour; a repeating timer moves it. Main thread only.
#pragma once

#include <vector>

#include "UIKit/UIColor.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/UIView.h"

class CGContext;
class CGImage;
class NSTimer;
class UIColor;
class UIFont;

class DZSearchlightLabel : public UIView {
    NS_OBJECT(DZSearchlightLabel, UIView)
    static void describeClass(RuntimeClass& c);
    bool initWithFrame(CGRect frame) override;
    void dealloc() override;

    void newMask();
    void releaseMask();
    Ref<CGImage> newSpotlightMask(CGRect rect, CGPoint origin, CGFloat radius);
    void updateSpotlight();
    void drawRect(CGRect rect) override;
    CGSize sizeThatFits(CGSize size) override;
    bool isAccessibilityElement() { return true; }
    Ref<NSString> accessibilityLabel() override { return text_; }
    UIAccessibilityTraits accessibilityTraits() override;
    void startAnimating();
    void stopAnimating();

    Ref<NSString> text() { return text_; }
    void setText(NSString* text);
    Ref<UIFont> font() { return font_; }
    void setFont(UIFont* font);
    Ref<UIColor> textColor() { return textColor_; }
    void setTextColor(UIColor* color);
    Ref<UIColor> spotlightColor() { return spotlightColor_; }
    void setSpotlightColor(UIColor* color) { spotlightColor_ = color; }
    UITextAlignment textAlignment() { return textAlignment_; }
    void setTextAlignment(UITextAlignment alignment);

    // For tests: the sweep position as a fraction of the text width, and the mask.
    bool isAnimating() { return timer_.lock() != nullptr; }
    CGFloat spotlightPoint() { return spotlightPoint_; }
    Ref<CGContext> maskContext() { return maskContext_; }

private:
    Ref<NSString> text_;
    Ref<UIFont> font_;
    Ref<UIColor> textColor_;
    Ref<UIColor> spotlightColor_;
    UITextAlignment textAlignment_ = UITextAlignmentLeft;
    Weak<NSTimer> timer_;
    CGFloat spotlightPoint_ = 0;
    Ref<CGContext> maskContext_;
    std::vector<unsigned char> maskData_;
};
