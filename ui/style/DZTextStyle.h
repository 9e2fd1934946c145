// The step that draws a widget's text (asked of the delegate) in the content frame, and
// measures it so that buttons and labels can size themselves to their titles.
#pragma once

#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIStringDrawing.h"
#include "ui/core/DZStyle.h"

class NSString;
class UIColor;
class UIFont;

class DZTextStyle : public DZStyle {
    NS_OBJECT(DZTextStyle, DZStyle)
    static Ref<DZTextStyle> styleWithFont(UIFont* font, DZStyle* next);
    static Ref<DZTextStyle> styleWithColor(UIColor* color, DZStyle* next);
    static Ref<DZTextStyle> styleWithFont(UIFont* font, UIColor* color, DZStyle* next);
    static Ref<DZTextStyle> styleWithFont(UIFont* font, UIColor* color,
                                          UITextAlignment textAlignment, DZStyle* next);
    static Ref<DZTextStyle> styleWithFont(UIFont* font, UIColor* color, UIColor* shadowColor,
                                          CGSize shadowOffset, DZStyle* next);
    static Ref<DZTextStyle> styleWithFont(UIFont* font, UIColor* color, CGFloat minimumFontSize,
                                          UIColor* shadowColor, CGSize shadowOffset, DZStyle* next);
    static Ref<DZTextStyle> styleWithFont(UIFont* font, UIColor* color, CGFloat minimumFontSize,
                                          UIColor* shadowColor, CGSize shadowOffset,
                                          UITextAlignment textAlignment,
                                          NSInteger verticalAlignment,
                                          UILineBreakMode lineBreakMode, NSInteger numberOfLines,
                                          DZStyle* next);

    Ref<UIFont> font() { return font_; }
    void setFont(UIFont* font) { font_ = font; }
    Ref<UIColor> color() { return color_; }
    void setColor(UIColor* color) { color_ = color; }
    Ref<UIColor> shadowColor() { return shadowColor_; }
    void setShadowColor(UIColor* color) { shadowColor_ = color; }
    CGSize shadowOffset() { return shadowOffset_; }
    void setShadowOffset(CGSize offset) { shadowOffset_ = offset; }
    CGFloat minimumFontSize() { return minimumFontSize_; }
    void setMinimumFontSize(CGFloat size) { minimumFontSize_ = size; }
    NSInteger numberOfLines() { return numberOfLines_; }
    void setNumberOfLines(NSInteger n) { numberOfLines_ = n; }
    UITextAlignment textAlignment() { return textAlignment_; }
    void setTextAlignment(UITextAlignment a) { textAlignment_ = a; }
    // 0 centre, 1 top, 2 bottom.
    NSInteger verticalAlignment() { return verticalAlignment_; }
    void setVerticalAlignment(NSInteger a) { verticalAlignment_ = a; }
    UILineBreakMode lineBreakMode() { return lineBreakMode_; }
    void setLineBreakMode(UILineBreakMode mode) { lineBreakMode_ = mode; }

    CGSize sizeOfText(NSString* text, UIFont* font, CGSize size);
    // Where the text goes in a box of the size, relative to the box.
    CGRect rectForText(NSString* text, CGSize size, UIFont* font);
    // Draws in the content frame and leaves there the rectangle the text took.
    void drawText(NSString* text, DZStyleContext* context);

    void draw(DZStyleContext* context) override;
    CGSize addToSize(CGSize size, DZStyleContext* context) override;

private:
    Ref<UIFont> font_;
    Ref<UIColor> color_, shadowColor_;
    CGSize shadowOffset_ = CGSizeZero;
    CGFloat minimumFontSize_ = 0;
    NSInteger numberOfLines_ = 1;
    UITextAlignment textAlignment_ = UITextAlignmentCenter;
    NSInteger verticalAlignment_ = 0;
    UILineBreakMode lineBreakMode_ = UILineBreakModeTailTruncation;
};
