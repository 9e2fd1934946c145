// Labels: text in a font and colour, aligned and broken into lines by the text measurer.
#pragma once

#include "UIKit/UIStringDrawing.h"
#include "UIKit/UIView.h"

class UIFont;
class UIColor;

class UILabel : public UIView {
    NS_OBJECT(UILabel, UIView)
    static void describeClass(RuntimeClass& c);
    // Labels start with the 17-point system font, black text, one line, tail truncation, and
    // take no touches.
    bool initWithFrame(CGRect frame) override;

    Ref<NSString> text() { return text_; }
    virtual void setText(NSString* text);
    Ref<UIFont> font();
    void setFont(UIFont* font);  // nil restores the default font
    Ref<UIColor> textColor();
    void setTextColor(UIColor* color);
    Ref<UIColor> highlightedTextColor() { return highlightedTextColor_; }
    void setHighlightedTextColor(UIColor* color);
    Ref<UIColor> shadowColor() { return shadowColor_; }
    void setShadowColor(UIColor* color);
    CGSize shadowOffset() { return shadowOffset_; }
    void setShadowOffset(CGSize offset);
    UITextAlignment textAlignment() { return alignment_; }
    void setTextAlignment(UITextAlignment a);
    UILineBreakMode lineBreakMode() { return lineBreakMode_; }
    void setLineBreakMode(UILineBreakMode mode);
    // 0: as many lines as the text needs.
    NSInteger numberOfLines() { return numberOfLines_; }
    void setNumberOfLines(NSInteger n);
    bool adjustsFontSizeToFitWidth() { return adjustsFontSize_; }
    void setAdjustsFontSizeToFitWidth(bool v);
    CGFloat minimumFontSize() { return minimumFontSize_; }
    void setMinimumFontSize(CGFloat size);
    UIBaselineAdjustment baselineAdjustment() { return baselineAdjustment_; }
    void setBaselineAdjustment(UIBaselineAdjustment a) { baselineAdjustment_ = a; }
    bool isHighlighted() { return highlighted_; }
    void setHighlighted(bool v);
    bool isEnabled() { return enabled_; }
    void setEnabled(bool v);

    // The text's lines as they fit the bounds (what is drawn; the shell prints it).
    std::vector<UITextLine> visibleLines();
    // The font the text is laid out and drawn in: shrunk, when the label adjusts its size,
    // until one line fits the width (down to the minimum size).
    Ref<UIFont> fittedFont();
    // The rectangle the text takes within `bounds`, for at most `lines` lines (0: no limit).
    virtual CGRect textRectForBounds(CGRect bounds, NSInteger lines);
    virtual void drawTextInRect(CGRect rect);
    CGSize sizeThatFits(CGSize size) override;
    void drawRect(CGRect rect) override;

private:
    Ref<NSString> text_;
    Ref<UIFont> font_;
    Ref<UIColor> textColor_;
    Ref<UIColor> highlightedTextColor_;
    Ref<UIColor> shadowColor_;
    CGSize shadowOffset_{0, -1};
    UITextAlignment alignment_ = UITextAlignmentLeft;
    UILineBreakMode lineBreakMode_ = UILineBreakModeTailTruncation;
    NSInteger numberOfLines_ = 1;
    bool adjustsFontSize_ = false;
    CGFloat minimumFontSize_ = 0;
    UIBaselineAdjustment baselineAdjustment_ = UIBaselineAdjustmentAlignBaselines;
    bool highlighted_ = false;
    bool enabled_ = true;
};
