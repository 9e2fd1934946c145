// Measuring and drawing text: the platform's string additions as free functions over NSString.
// All of them go through one measurer, so that the fixed-advance test font and real font
// metrics are interchangeable; drawing renders into the current UIKit graphics context.
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

// The vertical measures of a font at its point size, in points (y up: the descender is
// negative). `lineHeight` is whole points, as text measures come out.
struct UIFontMetrics {
    CGFloat ascender = 0;
    CGFloat descender = 0;
    CGFloat capHeight = 0;
    CGFloat xHeight = 0;
    CGFloat lineHeight = 0;
};

// Advances and measures of text in a font. UIFont's metrics come from the measurer in use,
// so that layout arithmetic stays consistent with the widths.
class UITextMeasurer {
public:
    virtual ~UITextMeasurer() = default;
    // The advance of the UTF-16 units, laid out on one line.
    virtual CGFloat widthOfText(std::u16string_view text, UIFont* font) = 0;
    // adv[i] := the width of text[0, i), for i up to text.size(); a surrogate pair's width
    // counts at its first unit. The base measures each character alone.
    virtual void cumulativeAdvances(std::u16string_view text, UIFont* font, CGFloat* adv);
    // The height of one line of the font (the metrics' line height).
    virtual CGFloat lineHeight(UIFont* font);
    // The base gives the model's measures: ascender 0.8 em, descender -0.2 em, cap height
    // 0.7 em, x-height 0.5 em, line height 1.2 em rounded up.
    virtual UIFontMetrics metrics(UIFont* font);
};

// The measurer in use: the fixed-advance test font until another is installed. Installing nil
// restores the test font. The app installs the font measurer at start-up
// (`UITextMeasurerInstall(UIFontTextMeasurer::shared())`). Any thread may read and install it;
// the caller's reference keeps the one it read alive while another is installed. What a test
// installs goes with the reset between tests.
std::shared_ptr<UITextMeasurer> UITextMeasurerCurrent();
void UITextMeasurerInstall(std::shared_ptr<UITextMeasurer> measurer);

// Installs a measurer for a scope and puts the previous one back (for tests).
class UITextMeasurerScope {
public:
    explicit UITextMeasurerScope(std::shared_ptr<UITextMeasurer> measurer);
    ~UITextMeasurerScope();
    UITextMeasurerScope(const UITextMeasurerScope&) = delete;
    UITextMeasurerScope& operator=(const UITextMeasurerScope&) = delete;

private:
    std::shared_ptr<UITextMeasurer> previous_;
};

// The test font: 0.5 em per character, 0.25 em for a space, 1 em for characters of the wide
// East Asian ranges, combining marks take no room; the model's vertical measures.
class UIFixedAdvanceTextMeasurer : public UITextMeasurer {
public:
    CGFloat widthOfText(std::u16string_view text, UIFont* font) override;
};

// Real glyph advances and metrics from the font faces installed on the system (FreeType and
// fontconfig), for each font's nearest face.
class UIFontTextMeasurer : public UITextMeasurer {
public:
    static std::shared_ptr<UIFontTextMeasurer> shared();
    CGFloat widthOfText(std::u16string_view text, UIFont* font) override;
    void cumulativeAdvances(std::u16string_view text, UIFont* font, CGFloat* adv) override;
    UIFontMetrics metrics(UIFont* font) override;
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
// One line, shrinking the font down to `minFontSize` to fit `width` before the line breaks by
// the mode; reports the size used.
CGSize sizeWithFont(NSString* text, UIFont* font, CGFloat minFontSize, CGFloat* actualFontSize,
                    CGFloat width, UILineBreakMode mode);

// Drawing. Lines are laid out as measured and handed to the painter, whose default renders the
// glyphs into the current UIKit graphics context (UIGraphicsGetCurrentContext) with the
// context's fill colour, shadow, clip, alpha and blend mode; without a context nothing is
// drawn. Each returns the size the text takes. Lines stack from `rect`'s top, one line height
// apart, with the baseline at the top of a line plus the font's ascender.
class UITextPainter {
public:
    virtual ~UITextPainter() = default;
    virtual void drawLines(const std::vector<UITextLine>& lines, UIFont* font, CGRect rect,
                           UITextAlignment alignment) = 0;
};
// Nil restores the default painter.
void UITextPainterInstall(std::shared_ptr<UITextPainter> painter);

CGSize drawAtPoint(NSString* text, CGPoint point, UIFont* font);
CGSize drawAtPoint(NSString* text, CGPoint point, CGFloat width, UIFont* font,
                   UILineBreakMode mode);
// One line within `width` at `fontSize` (a size of the font's family), placed as the font's
// own line would be by the baseline adjustment.
CGSize drawAtPoint(NSString* text, CGPoint point, CGFloat width, UIFont* font, CGFloat fontSize,
                   UILineBreakMode mode, UIBaselineAdjustment adjustment);
// One line within `width`, shrinking the font down to `minFontSize` first; the smaller text is
// placed against the font's own line by the baseline adjustment: its baseline on the font's
// baseline, its centre on the line's centre, or its top at the point (none).
CGSize drawAtPoint(NSString* text, CGPoint point, CGFloat width, UIFont* font, CGFloat minFontSize,
                   CGFloat* actualFontSize, UILineBreakMode mode, UIBaselineAdjustment adjustment);
CGSize drawInRect(NSString* text, CGRect rect, UIFont* font);
CGSize drawInRect(NSString* text, CGRect rect, UIFont* font, UILineBreakMode mode);
CGSize drawInRect(NSString* text, CGRect rect, UIFont* font, UILineBreakMode mode,
                  UITextAlignment alignment);
