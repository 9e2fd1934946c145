#include "UIKit/UILabel.h"

#include <cmath>
#include <limits>

#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"

void UILabel::describeClass(RuntimeClass& c) {
    c.property("text", &UILabel::text, &UILabel::setText);
    c.property("font", &UILabel::font, &UILabel::setFont);
    c.property("textColor", &UILabel::textColor, &UILabel::setTextColor);
    c.property("numberOfLines", &UILabel::numberOfLines, &UILabel::setNumberOfLines);
}

bool UILabel::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    setUserInteractionEnabled(false);
    setOpaque(false);
    return true;
}

void UILabel::setText(NSString* text) {
    text_ = text ? text->copy() : nullptr;
    setNeedsDisplay();
}

Ref<UIFont> UILabel::font() {
    if (!font_) font_ = UIFont::systemFontOfSize(17);
    return font_;
}

void UILabel::setFont(UIFont* font) {
    font_ = font ? Ref<UIFont>(font) : UIFont::systemFontOfSize(17);
    setNeedsDisplay();
}

Ref<UIColor> UILabel::textColor() {
    if (!textColor_) textColor_ = UIColor::blackColor();
    return textColor_;
}

void UILabel::setTextColor(UIColor* color) {
    textColor_ = color ? Ref<UIColor>(color) : UIColor::blackColor();
    setNeedsDisplay();
}

void UILabel::setHighlightedTextColor(UIColor* color) {
    highlightedTextColor_ = color;
    setNeedsDisplay();
}

void UILabel::setShadowColor(UIColor* color) {
    shadowColor_ = color;
    setNeedsDisplay();
}

void UILabel::setShadowOffset(CGSize offset) {
    shadowOffset_ = offset;
    setNeedsDisplay();
}

void UILabel::setTextAlignment(UITextAlignment a) {
    alignment_ = a;
    setNeedsDisplay();
}

void UILabel::setLineBreakMode(UILineBreakMode mode) {
    lineBreakMode_ = mode;
    setNeedsDisplay();
}

void UILabel::setNumberOfLines(NSInteger n) {
    numberOfLines_ = n < 0 ? 0 : n;
    setNeedsDisplay();
}

void UILabel::setAdjustsFontSizeToFitWidth(bool v) {
    adjustsFontSize_ = v;
    setNeedsDisplay();
}

void UILabel::setMinimumFontSize(CGFloat size) {
    minimumFontSize_ = size;
    setNeedsDisplay();
}

void UILabel::setHighlighted(bool v) {
    highlighted_ = v;
    setNeedsDisplay();
}

void UILabel::setEnabled(bool v) {
    enabled_ = v;
    setNeedsDisplay();
}

namespace {
NSInteger lineLimit(NSInteger numberOfLines, CGFloat height, UIFont* font) {
    CGFloat lh = UITextMeasurerCurrent()->lineHeight(font);
    NSInteger byHeight = 0;
    if (lh > 0 && height < std::numeric_limits<CGFloat>::max() / 2)
        byHeight = std::max<NSInteger>(1, static_cast<NSInteger>(std::floor(height / lh + 0.001f)));
    if (numberOfLines == 0) return byHeight;
    if (byHeight == 0) return numberOfLines;
    return std::min(numberOfLines, byHeight);
}
}  // namespace

Ref<UIFont> UILabel::fittedFont() {
    Ref<UIFont> f = font();
    if (numberOfLines_ == 1 && adjustsFontSize_ && minimumFontSize_ > 0) {
        CGFloat actual = f->pointSize();
        ::sizeWithFont(text_, f, minimumFontSize_, &actual, bounds().size.width, lineBreakMode_);
        if (actual < f->pointSize()) f = f->fontWithSize(actual);
    }
    return f;
}

std::vector<UITextLine> UILabel::visibleLines() {
    CGRect b = bounds();
    Ref<UIFont> f = fittedFont();
    NSInteger limit = numberOfLines_ == 1 ? 1 : lineLimit(numberOfLines_, b.size.height, f);
    return UITextLayoutLines(text_, f, b.size.width, lineBreakMode_, limit);
}

CGRect UILabel::textRectForBounds(CGRect bounds, NSInteger lines) {
    Ref<UIFont> f = font();
    NSInteger limit = lines == 1 ? 1 : lineLimit(lines, bounds.size.height, f);
    auto laid = UITextLayoutLines(text_, f, bounds.size.width, lineBreakMode_, limit);
    CGFloat w = 0;
    for (auto& l : laid)
        w = std::max(w, l.width);
    CGFloat h = UITextMeasurerCurrent()->lineHeight(f) * static_cast<CGFloat>(laid.size());
    w = std::min(std::ceil(w), bounds.size.width);
    h = std::min(h, bounds.size.height);
    return CGRectMake(bounds.origin.x, bounds.origin.y, w, h);
}

void UILabel::drawTextInRect(CGRect rect) {
    auto lines = visibleLines();
    // Shrunk to fit when it adjusts its size: drawn in the size it was laid out in.
    Ref<UIFont> f = fittedFont();
    CGFloat h = UITextMeasurerCurrent()->lineHeight(f) * static_cast<CGFloat>(lines.size());
    // Text sits in the middle of the label vertically, as the platform draws it.
    CGRect r =
        CGRectMake(rect.origin.x, rect.origin.y + (rect.size.height - h) / 2, rect.size.width, h);
    ::drawInRect(text_, r, f, lineBreakMode_, alignment_);
}

void UILabel::drawRect(CGRect) {
    drawTextInRect(bounds());
}

CGSize UILabel::sizeThatFits(CGSize size) {
    if (!text_ || text_->length() == 0) return CGSizeZero;
    CGFloat maxW = std::numeric_limits<CGFloat>::max();
    CGRect r = textRectForBounds(CGRectMake(0, 0, maxW, std::numeric_limits<CGFloat>::max()),
                                 numberOfLines_);
    // Labels of several lines wrap to the width they are offered.
    if (numberOfLines_ != 1 && size.width > 0) {
        r = textRectForBounds(CGRectMake(0, 0, size.width, std::numeric_limits<CGFloat>::max()),
                              numberOfLines_);
    }
    return r.size;
}
