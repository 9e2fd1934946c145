// Measuring (and, once drawing exists, drawing) text: the platform's string additions as free
// functions over NSString. All of them go through one measurer, so that the model's fixed
// advances and real font metrics are interchangeable.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSString.h"

class UIFont;

enum UILineBreakMode : NSInteger {
    UILineBreakModeWordWrap = 0,
    UILineBreakModeCharacterWrap,
    UILineBreakModeClip,
    UILineBreakModeHeadTruncation,
    UILineBreakModeTailTruncation,
    UILineBreakModeMiddleTruncation,
};

enum UITextAlignment : NSInteger {
    UITextAlignmentLeft = 0,
    UITextAlignmentCenter,
    UITextAlignmentRight,
};

enum UIBaselineAdjustment : NSInteger {
    UIBaselineAdjustmentAlignBaselines = 0,
    UIBaselineAdjustmentAlignCenters,
    UIBaselineAdjustmentNone,
};

// Horizontal advances of text in a font. The model's measurer gives every character a fixed
// fraction of the point size; the drawing layer installs one with real glyph advances.
class UITextMeasurer {
public:
    virtual ~UITextMeasurer() = default;
    // The advance of the UTF-16 units, laid out on one line.
    virtual CGFloat widthOfText(std::u16string_view text, UIFont* font) = 0;
    // The height of one line of the font.
    virtual CGFloat lineHeight(UIFont* font);
};

// The measurer in use (the fixed-advance model until another is installed). Installing nil
// restores the model.
UITextMeasurer* UITextMeasurerCurrent();
void UITextMeasurerInstall(std::shared_ptr<UITextMeasurer> measurer);

// The fixed-advance model: 0.5 em per character, 0.25 em for a space, 1 em for characters of
// the wide East Asian ranges.
class UIFixedAdvanceTextMeasurer : public UITextMeasurer {
public:
    CGFloat widthOfText(std::u16string_view text, UIFont* font) override;
};

// Lines of text broken to a width: what sizing and drawing share. Explicit line breaks always
// break; word wrap breaks at spaces (a word longer than the width breaks by characters);
// character wrap breaks anywhere. `maxLines` 1 lays the text out on one line (line breaks read as
// spaces): the truncating modes shorten it with an ellipsis (U+2026) at the head, middle or tail,
// the wrap modes keep what fits whole, clip keeps it all. Otherwise every mode but character wrap
// breaks at spaces; `maxLines` 0 means no limit, and when lines are cut off the truncating modes
// end the last line kept with an ellipsis.
struct UITextLine {
    std::u16string text;
    CGFloat width = 0;
};
std::vector<UITextLine> UITextLayoutLines(NSString* text, UIFont* font, CGFloat width,
                                          UILineBreakMode mode, NSInteger maxLines = 0);

// Measuring, as the platform's string additions.
CGSize sizeWithFont(NSString* text, UIFont* font);
CGSize sizeWithFont(NSString* text, UIFont* font, CGFloat width, UILineBreakMode mode);
CGSize sizeWithFont(NSString* text, UIFont* font, CGSize constrainedToSize);
CGSize sizeWithFont(NSString* text, UIFont* font, CGSize constrainedToSize, UILineBreakMode mode);
// One line, shrinking the font down to `minFontSize` to fit `width`; reports the size used.
CGSize sizeWithFont(NSString* text, UIFont* font, CGFloat minFontSize, CGFloat* actualFontSize,
                    CGFloat width, UILineBreakMode mode);

// Drawing: the model has no canvas and answers the size the text takes. The drawing layer
// installs a painter that renders into the current context.
class UITextPainter {
public:
    virtual ~UITextPainter() = default;
    virtual void drawLines(const std::vector<UITextLine>& lines, UIFont* font, CGRect rect,
                           UITextAlignment alignment) = 0;
};
void UITextPainterInstall(std::shared_ptr<UITextPainter> painter);
CGSize drawAtPoint(NSString* text, CGPoint point, UIFont* font);
CGSize drawAtPoint(NSString* text, CGPoint point, CGFloat width, UIFont* font,
                   UILineBreakMode mode);
CGSize drawInRect(NSString* text, CGRect rect, UIFont* font);
CGSize drawInRect(NSString* text, CGRect rect, UIFont* font, UILineBreakMode mode);
CGSize drawInRect(NSString* text, CGRect rect, UIFont* font, UILineBreakMode mode,
                  UITextAlignment alignment);
