#include "UIKit/UIStringDrawing.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGContextCairo.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/FontSupport.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"

namespace {
// The measurer and the painter in use, which a session or a test installs and any thread reads
// (pages lay out off the main thread): each in a slot, so that what a test installs goes with
// it. The test font and the context's painter stand in while none is installed.
ProcessWide<UITextMeasurer>& measurerSlot() {
    static ProcessWide<UITextMeasurer> slot;
    return slot;
}
std::shared_ptr<UITextMeasurer> makeTestFont();
ProcessWide<UITextPainter>& painterSlot() {
    static ProcessWide<UITextPainter> slot;
    return slot;
}
std::shared_ptr<UITextPainter> makeContextPainter();

const std::u16string kEllipsis = u"\u2026";

bool isWide(char16_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6);
}
bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}
bool isSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == 0x00A0 || c == 0x3000;
}

CGFloat measure(std::u16string_view s, UIFont* font) {
    return UITextMeasurerCurrent()->widthOfText(s, font);
}

// Cumulative advances: adv[i] is the width of s[0, i).
std::vector<CGFloat> advances(std::u16string_view s, UIFont* font) {
    std::vector<CGFloat> adv(s.size() + 1, 0);
    UITextMeasurerCurrent()->cumulativeAdvances(s, font, adv.data());
    return adv;
}

// Never split a surrogate pair.
size_t safeCut(std::u16string_view s, size_t at) {
    if (at > 0 && at < s.size() && isLowSurrogate(s[at]) && isHighSurrogate(s[at - 1])) --at;
    return at;
}

std::u16string trimTrailing(std::u16string s) {
    while (!s.empty() && isSpace(s.back()))
        s.pop_back();
    return s;
}

// The paragraph broken into lines that fit `width`.
void wrap(std::u16string_view para, UIFont* font, CGFloat width, bool byWords,
          std::vector<std::u16string>& out) {
    if (para.empty()) {
        out.emplace_back();
        return;
    }
    auto adv = advances(para, font);
    size_t pos = 0;
    while (pos < para.size()) {
        // The furthest end that fits.
        size_t end = pos;
        while (end < para.size() && adv[end + 1] - adv[pos] <= width + 0.001f)
            ++end;
        if (end >= para.size()) {
            out.emplace_back(para.substr(pos));
            break;
        }
        size_t cut = end;
        if (byWords) {
            // Back to the last space within the part that fits (spaces may hang past the edge).
            size_t sp = end;
            while (sp < para.size() && isSpace(para[sp]))
                ++sp;
            if (sp > end && sp <= para.size()) {
                cut = end;
            } else {
                size_t b = end;
                while (b > pos && !isSpace(para[b - 1]))
                    --b;
                if (b > pos) cut = b;
            }
        }
        cut = safeCut(para, cut);
        if (cut <= pos) cut = safeCut(para, pos + 1) > pos ? safeCut(para, pos + 1) : pos + 1;
        if (cut == pos) cut = pos + 1;
        if (isHighSurrogate(para[cut - 1]) && cut < para.size()) ++cut;
        out.emplace_back(trimTrailing(std::u16string(para.substr(pos, cut - pos))));
        pos = cut;
        if (byWords)
            while (pos < para.size() && isSpace(para[pos]))
                ++pos;
    }
}

// The line shortened with an ellipsis to fit the width, by the mode.
std::u16string truncate(const std::u16string& line, UIFont* font, CGFloat width,
                        UILineBreakMode mode) {
    if (measure(line, font) <= width + 0.001f) return line;
    CGFloat e = measure(kEllipsis, font);
    if (e > width) return std::u16string();
    auto adv = advances(line, font);
    CGFloat room = width - e;
    size_t n = line.size();
    if (mode == UILineBreakModeHeadTruncation) {
        size_t start = n;
        while (start > 0 && adv[n] - adv[start - 1] <= room + 0.001f)
            --start;
        // Stopped inside a pair: its high half did not fit, so the low half goes too.
        if (start < n && isLowSurrogate(line[start])) ++start;
        return kEllipsis + line.substr(start);
    }
    if (mode == UILineBreakModeMiddleTruncation) {
        // Half the room for each end, the head taking any odd character.
        size_t head = 0;
        while (head < n && adv[head + 1] <= room / 2 + 0.001f)
            ++head;
        head = safeCut(line, head);
        CGFloat left = room - adv[head];
        size_t tail = n;
        while (tail > head && adv[n] - adv[tail - 1] <= left + 0.001f)
            --tail;
        if (tail < n && isLowSurrogate(line[tail])) ++tail;
        return trimTrailing(line.substr(0, head)) + kEllipsis + line.substr(tail);
    }
    size_t end = 0;
    while (end < n && adv[end + 1] <= room + 0.001f)
        ++end;
    end = safeCut(line, end);
    return trimTrailing(line.substr(0, end)) + kEllipsis;
}

std::vector<UITextLine> finish(const std::vector<std::u16string>& texts, UIFont* font) {
    std::vector<UITextLine> lines;
    lines.reserve(texts.size());
    for (auto& t : texts)
        lines.push_back({t, measure(t, font)});
    return lines;
}

std::vector<std::u16string> paragraphs(const std::u16string& s) {
    std::vector<std::u16string> out;
    std::u16string cur;
    for (size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        if (c == u'\r' || c == u'\n' || c == 0x2028 || c == 0x2029) {
            out.push_back(cur);
            cur.clear();
            if (c == u'\r' && i + 1 < s.size() && s[i + 1] == u'\n') ++i;
        } else {
            cur += c;
        }
    }
    out.push_back(cur);
    return out;
}

CGFloat ceilWidth(const std::vector<UITextLine>& lines) {
    CGFloat w = 0;
    for (auto& l : lines)
        w = std::max(w, l.width);
    return std::ceil(w);
}

NSInteger linesForHeight(CGFloat height, UIFont* font) {
    CGFloat lh = UITextMeasurerCurrent()->lineHeight(font);
    if (!(height < std::numeric_limits<CGFloat>::max() / 2) || lh <= 0) return 0;
    return std::max<NSInteger>(1, static_cast<NSInteger>(std::floor(height / lh + 0.001f)));
}
}  // namespace

CGFloat UITextMeasurer::lineHeight(UIFont* font) {
    return metrics(font).lineHeight;
}

void UITextMeasurer::cumulativeAdvances(std::u16string_view s, UIFont* font, CGFloat* adv) {
    adv[0] = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        size_t n = (isHighSurrogate(s[i]) && i + 1 < s.size() && isLowSurrogate(s[i + 1])) ? 2 : 1;
        adv[i + 1] = adv[i] + widthOfText(s.substr(i, n), font);
        if (n == 2) {
            adv[i + 2] = adv[i + 1];
            ++i;
        }
    }
}

UIFontMetrics UITextMeasurer::metrics(UIFont* font) {
    UIFontMetrics m;
    if (!font) return m;
    CGFloat size = font->pointSize();
    m.ascender = size * 0.8f;
    m.descender = -size * 0.2f;
    m.capHeight = size * 0.7f;
    m.xHeight = size * 0.5f;
    // Whole points, as text measures on the platform come out.
    m.lineHeight = std::ceil(size * 1.2f);
    return m;
}

CGFloat UIFixedAdvanceTextMeasurer::widthOfText(std::u16string_view text, UIFont* font) {
    if (!font) return 0;
    CGFloat em = font->pointSize(), w = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (isLowSurrogate(c)) continue;
        if (c >= 0x0300 && c <= 0x036F) continue;  // combining marks take no room
        if (c == u' ' || c == u'\t')
            w += em * 0.25f;
        else if (isWide(c) || isHighSurrogate(c))
            w += em;
        else
            w += em * 0.5f;
    }
    return w;
}

std::shared_ptr<UIFontTextMeasurer> UIFontTextMeasurer::shared() {
    static ProcessWide<UIFontTextMeasurer> slot;
    return slot.get();
}

// Without any installed face the model's measures stand in, so text still lays out.
CGFloat UIFontTextMeasurer::widthOfText(std::u16string_view text, UIFont* font) {
    if (!font) return 0;
    if (auto w = UIFontSupport::widthOfText(text, font)) return *w;
    return UIFixedAdvanceTextMeasurer().widthOfText(text, font);
}

void UIFontTextMeasurer::cumulativeAdvances(std::u16string_view text, UIFont* font, CGFloat* adv) {
    if (!font || !UIFontSupport::cumulativeAdvances(text, font, adv))
        UITextMeasurer::cumulativeAdvances(text, font, adv);
}

UIFontMetrics UIFontTextMeasurer::metrics(UIFont* font) {
    if (!font) return {};
    if (auto m = UIFontSupport::metricsOfFont(font)) return *m;
    return UITextMeasurer::metrics(font);
}

UITextMeasurerScope::UITextMeasurerScope(std::shared_ptr<UITextMeasurer> measurer)
    : previous_(measurerSlot().exchange(std::move(measurer))) {}

UITextMeasurerScope::~UITextMeasurerScope() {
    measurerSlot().exchange(std::move(previous_));
}

std::shared_ptr<UITextMeasurer> UITextMeasurerCurrent() {
    return measurerSlot().getOr(makeTestFont);
}

void UITextMeasurerInstall(std::shared_ptr<UITextMeasurer> measurer) {
    measurerSlot().exchange(std::move(measurer));
}

std::vector<UITextLine> UITextLayoutLines(NSString* text, UIFont* font, CGFloat width,
                                          UILineBreakMode mode, NSInteger maxLines) {
    if (!text || text->length() == 0 || !font) return {};
    std::u16string s = text->u16();
    bool unlimitedWidth = !(width < std::numeric_limits<CGFloat>::max() / 2);
    if (maxLines == 1) {
        // One line: line breaks read as spaces.
        for (auto& c : s)
            if (c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029) c = u' ';
        if (unlimitedWidth || mode == UILineBreakModeClip || mode == UILineBreakModeWordWrap ||
            mode == UILineBreakModeCharacterWrap) {
            std::u16string line = s;
            if (!unlimitedWidth && measure(line, font) > width) {
                // Wrap modes on one line keep what fits whole (by word or character).
                std::vector<std::u16string> parts;
                if (mode == UILineBreakModeClip) {
                    auto lines = finish({line}, font);
                    lines[0].width = std::min(lines[0].width, width);
                    return lines;
                }
                wrap(line, font, width, mode == UILineBreakModeWordWrap, parts);
                line = parts.empty() ? std::u16string() : parts[0];
            }
            return finish({line}, font);
        }
        return finish({truncate(s, font, width, mode)}, font);
    }
    std::vector<std::u16string> texts;
    for (auto& para : paragraphs(s)) {
        if (unlimitedWidth)
            texts.push_back(para);
        else
            wrap(para, font, width, mode != UILineBreakModeCharacterWrap, texts);
    }
    if (maxLines > 0 && static_cast<NSInteger>(texts.size()) > maxLines) {
        // The last line kept shows that more follows, for the truncating modes.
        texts.resize(static_cast<size_t>(maxLines));
        if (mode == UILineBreakModeTailTruncation || mode == UILineBreakModeMiddleTruncation ||
            mode == UILineBreakModeHeadTruncation) {
            std::u16string marked = texts.back() + kEllipsis;
            texts.back() = unlimitedWidth
                               ? marked
                               : truncate(marked, font, width, UILineBreakModeTailTruncation);
        }
    }
    return finish(texts, font);
}

CGSize sizeWithFont(NSString* text, UIFont* font) {
    return sizeWithFont(text, font, std::numeric_limits<CGFloat>::max(), UILineBreakModeWordWrap);
}

CGSize sizeWithFont(NSString* text, UIFont* font, CGFloat width, UILineBreakMode mode) {
    auto lines = UITextLayoutLines(text, font, width, mode, 1);
    if (lines.empty()) return CGSizeZero;
    return CGSizeMake(ceilWidth(lines), UITextMeasurerCurrent()->lineHeight(font));
}

CGSize sizeWithFont(NSString* text, UIFont* font, CGSize constrainedToSize) {
    return sizeWithFont(text, font, constrainedToSize, UILineBreakModeWordWrap);
}

CGSize sizeWithFont(NSString* text, UIFont* font, CGSize size, UILineBreakMode mode) {
    auto lines = UITextLayoutLines(text, font, size.width, mode, linesForHeight(size.height, font));
    if (lines.empty()) return CGSizeZero;
    CGFloat h = UITextMeasurerCurrent()->lineHeight(font) * static_cast<CGFloat>(lines.size());
    return CGSizeMake(ceilWidth(lines), h);
}

namespace {
// The font shrunk a point at a time until the text fits the width on one line, or down to the
// minimum size.
Ref<UIFont> shrunkFont(NSString* text, UIFont* font, CGFloat minFontSize, CGFloat width) {
    Ref<UIFont> f(font);
    if (!text || !font) return f;
    std::u16string s = text->u16();
    // On one line, line breaks read as spaces.
    for (auto& c : s)
        if (c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029) c = u' ';
    CGFloat size = font->pointSize();
    CGFloat floor = std::max<CGFloat>(1, std::min(minFontSize, size));
    while (size > floor && measure(s, f) > width + 0.001f) {
        size = std::max(floor, size - 1);
        f = font->fontWithSize(size);
    }
    return f;
}
}  // namespace

CGSize sizeWithFont(NSString* text, UIFont* font, CGFloat minFontSize, CGFloat* actualFontSize,
                    CGFloat width, UILineBreakMode mode) {
    if (!font) {
        if (actualFontSize) *actualFontSize = 0;
        return CGSizeZero;
    }
    auto f = shrunkFont(text, font, minFontSize, width);
    if (actualFontSize) *actualFontSize = f->pointSize();
    return sizeWithFont(text, f, width, mode);
}

namespace {
// Glyphs into the current UIKit graphics context, through its state.
class ContextTextPainter : public UITextPainter {
public:
    void drawLines(const std::vector<UITextLine>& lines, UIFont* font, CGRect rect,
                   UITextAlignment alignment) override {
        auto context = UIGraphicsGetCurrentContext();
        if (!context || lines.empty()) return;
        CGFloat lh = UITextMeasurerCurrent()->lineHeight(font);
        CGFloat ascender = font->ascender();
        CGContextPaintWithCairo(context, [&](cairo_t* cr) {
            for (size_t i = 0; i < lines.size(); ++i) {
                auto& line = lines[i];
                CGFloat x = rect.origin.x;
                if (alignment == UITextAlignmentCenter)
                    x += (rect.size.width - line.width) / 2;
                else if (alignment == UITextAlignmentRight)
                    x += rect.size.width - line.width;
                CGFloat baseline = rect.origin.y + lh * static_cast<CGFloat>(i) + ascender;
                UIFontSupport::showText(cr, line.text, font, CGPointMake(x, baseline));
            }
        });
    }
};

std::shared_ptr<UITextPainter> makeContextPainter() {
    return std::make_shared<ContextTextPainter>();
}

std::shared_ptr<UITextPainter> currentPainter() {
    return painterSlot().getOr(makeContextPainter);
}

CGSize paint(const std::vector<UITextLine>& lines, UIFont* font, CGRect rect,
             UITextAlignment alignment, UILineBreakMode mode) {
    if (lines.empty()) return CGSizeZero;
    CGFloat lh = UITextMeasurerCurrent()->lineHeight(font);
    CGSize size = CGSizeMake(ceilWidth(lines), lh * static_cast<CGFloat>(lines.size()));
    auto context = UIGraphicsGetCurrentContext();
    // Clipped text stops at the edges of its width; the other modes fit their lines to it.
    bool clip = mode == UILineBreakModeClip && context &&
                rect.size.width < std::numeric_limits<CGFloat>::max() / 2;
    if (clip) {
        CGContextSaveGState(context);
        CGContextClipToRect(context, CGRectMake(rect.origin.x, rect.origin.y - lh, rect.size.width,
                                                size.height + 2 * lh));
    }
    currentPainter()->drawLines(lines, font, rect, alignment);
    if (clip) CGContextRestoreGState(context);
    return size;
}

CGFloat unlimited() {
    return std::numeric_limits<CGFloat>::max();
}

std::shared_ptr<UITextMeasurer> makeTestFont() {
    return std::make_shared<UIFixedAdvanceTextMeasurer>();
}
}  // namespace

void UITextPainterInstall(std::shared_ptr<UITextPainter> painter) {
    painterSlot().exchange(std::move(painter));
}

CGSize drawAtPoint(NSString* text, CGPoint point, UIFont* font) {
    auto lines = UITextLayoutLines(text, font, unlimited(), UILineBreakModeWordWrap, 1);
    return paint(lines, font, CGRectMake(point.x, point.y, ceilWidth(lines), 0),
                 UITextAlignmentLeft, UILineBreakModeWordWrap);
}

CGSize drawAtPoint(NSString* text, CGPoint point, CGFloat width, UIFont* font,
                   UILineBreakMode mode) {
    auto lines = UITextLayoutLines(text, font, width, mode, 1);
    return paint(lines, font, CGRectMake(point.x, point.y, width, 0), UITextAlignmentLeft, mode);
}

CGSize drawAtPoint(NSString* text, CGPoint point, CGFloat width, UIFont* font, CGFloat fontSize,
                   UILineBreakMode mode, UIBaselineAdjustment adjustment) {
    if (!font) return CGSizeZero;
    Ref<UIFont> actual = fontSize > 0 && fontSize != font->pointSize()
                             ? font->fontWithSize(fontSize)
                             : Ref<UIFont>(font);
    auto lines = UITextLayoutLines(text, actual, width, mode, 1);
    if (lines.empty()) return CGSizeZero;
    // Where the smaller (or larger) line sits against the line of the font's own size.
    CGFloat dy = 0;
    if (adjustment == UIBaselineAdjustmentAlignBaselines) {
        dy = font->ascender() - actual->ascender();
    } else if (adjustment == UIBaselineAdjustmentAlignCenters) {
        auto m = UITextMeasurerCurrent();
        dy = (m->lineHeight(font) - m->lineHeight(actual)) / 2;
    }
    return paint(lines, actual, CGRectMake(point.x, point.y + dy, width, 0), UITextAlignmentLeft,
                 mode);
}

CGSize drawAtPoint(NSString* text, CGPoint point, CGFloat width, UIFont* font, CGFloat minFontSize,
                   CGFloat* actualFontSize, UILineBreakMode mode, UIBaselineAdjustment adjustment) {
    if (!font) {
        if (actualFontSize) *actualFontSize = 0;
        return CGSizeZero;
    }
    auto f = shrunkFont(text, font, minFontSize, width);
    if (actualFontSize) *actualFontSize = f->pointSize();
    return drawAtPoint(text, point, width, font, f->pointSize(), mode, adjustment);
}

CGSize drawInRect(NSString* text, CGRect rect, UIFont* font) {
    return drawInRect(text, rect, font, UILineBreakModeWordWrap, UITextAlignmentLeft);
}

CGSize drawInRect(NSString* text, CGRect rect, UIFont* font, UILineBreakMode mode) {
    return drawInRect(text, rect, font, mode, UITextAlignmentLeft);
}

CGSize drawInRect(NSString* text, CGRect rect, UIFont* font, UILineBreakMode mode,
                  UITextAlignment alignment) {
    auto lines = UITextLayoutLines(text, font, rect.size.width, mode,
                                   linesForHeight(rect.size.height, font));
    return paint(lines, font, rect, alignment, mode);
}
