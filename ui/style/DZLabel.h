// A one-piece text drawn by the label's style chain (its text step reads the label's text).
// Known to assistive technology as static text.
#pragma once

#include "ui/core/DZView.h"

class UIFont;

class DZLabel : public DZView {
    NS_OBJECT(DZLabel, DZView)
    static void describeClass(RuntimeClass& c);
    bool initWithText(NSString* text);

    Ref<NSString> text() { return text_; }
    void setText(NSString* text);
    // The font set, else (kept from then on) the global sheet's font.
    Ref<UIFont> font();
    void setFont(UIFont* font);

    void drawRect(CGRect rect) override;
    // The size the style adds to nothing with the label's font; zero without a style.
    CGSize sizeThatFits(CGSize size) override;
    Ref<NSString> textForLayerWithStyle(DZStyle*) override { return text_; }

    Ref<NSString> accessibilityLabel() override { return text_; }
    UIAccessibilityTraits accessibilityTraits() override {
        return DZView::accessibilityTraits() | UIAccessibilityTraitStaticText;
    }

private:
    Ref<DZStyleContext> contextIn(CGRect frame);
    Ref<NSString> text_;
    Ref<UIFont> font_;
};
