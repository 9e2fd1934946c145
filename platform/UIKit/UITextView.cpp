#include "UIKit/UITextView.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "Foundation/NSNotification.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"

NSString* const UITextViewTextDidBeginEditingNotification =
    NS("UITextViewTextDidBeginEditingNotification");
NSString* const UITextViewTextDidChangeNotification = NS("UITextViewTextDidChangeNotification");
NSString* const UITextViewTextDidEndEditingNotification =
    NS("UITextViewTextDidEndEditingNotification");

void UITextView::describeClass(RuntimeClass& c) {
    c.property("text", &UITextView::text, &UITextView::setText);
    c.implements({"insertText:", "deleteBackward", "hasText"});
}

bool UITextView::initWithFrame(CGRect frame) {
    if (!UIScrollView::initWithFrame(frame)) return false;
    setAlwaysBounceVertical(false);
    // The platform's text views are white until told otherwise.
    setBackgroundColor(UIColor::whiteColor());
    return true;
}

Ref<NSString> UITextView::text() {
    return text_ ? text_ : Ref<NSString>(NS(""));
}

void UITextView::setText(NSString* text) {
    text_ = text ? text->copy() : nullptr;
    selection_ = NSMakeRange(this->text()->length(), 0);
    updateContentSize();
    setNeedsDisplay();
}

Ref<UIFont> UITextView::font() {
    if (!font_) font_ = UIFont::systemFontOfSize(12);
    return font_;
}

void UITextView::setFont(UIFont* font) {
    font_ = font;
    updateContentSize();
    setNeedsDisplay();
}

Ref<UIColor> UITextView::textColor() {
    if (!textColor_) textColor_ = UIColor::blackColor();
    return textColor_;
}

void UITextView::setTextColor(UIColor* color) {
    textColor_ = color;
    setNeedsDisplay();
}

void UITextView::setEditable(bool v) {
    editable_ = v;
    if (!v && isFirstResponder()) resignFirstResponder();
}

void UITextView::setSelectedRange(NSRange r) {
    NSUInteger len = text()->length();
    if (r.location > len) r.location = len;
    if (r.location + r.length > len) r.length = len - r.location;
    selection_ = r;
    if (auto d = delegate()) d->textViewDidChangeSelection(this);
}

void UITextView::setInputView(UIView* view) {
    inputView_ = view;
}

void UITextView::setInputAccessoryView(UIView* view) {
    inputAccessoryView_ = view;
}

void UITextView::setDelegate(UITextViewDelegate* delegate) {
    delegate_ = delegate;
    UIScrollView::setDelegate(delegate);
}

bool UITextView::canBecomeFirstResponder() {
    return editable_;
}

bool UITextView::becomeFirstResponder() {
    if (isFirstResponder()) return true;
    if (!canBecomeFirstResponder() || !window()) return false;
    Ref<UITextView> self(this);
    if (auto d = delegate(); d && !d->textViewShouldBeginEditing(this)) return false;
    if (!UIScrollView::becomeFirstResponder()) return false;
    editing_ = true;
    if (auto d = delegate()) d->textViewDidBeginEditing(this);
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UITextViewTextDidBeginEditingNotification, this);
    return true;
}

bool UITextView::canResignFirstResponder() {
    return true;
}

bool UITextView::resignFirstResponder() {
    if (!isFirstResponder()) return true;
    Ref<UITextView> self(this);
    if (auto d = delegate(); d && !d->textViewShouldEndEditing(this)) return false;
    return UIScrollView::resignFirstResponder();
}

void UITextView::didResignFirstResponder() {
    if (!editing_) return;
    Ref<UITextView> self(this);
    editing_ = false;
    if (auto d = delegate()) d->textViewDidEndEditing(this);
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UITextViewTextDidEndEditingNotification, this);
}

bool UITextView::hasText() {
    return text_ && text_->length() > 0;
}

bool UITextView::replaceCharacters(NSRange range, NSString* replacement) {
    Ref<UITextView> self(this);
    if (auto d = delegate();
        d && !d->textViewShouldChangeTextInRangeReplacementText(this, range, replacement))
        return false;
    text_ = text()->stringByReplacingCharactersInRange(range, replacement);
    selection_ = NSMakeRange(range.location + replacement->length(), 0);
    updateContentSize();
    if (auto d = delegate()) d->textViewDidChange(this);
    NSNotificationCenter::defaultCenter()->postNotificationName(UITextViewTextDidChangeNotification,
                                                                this);
    setNeedsDisplay();
    return true;
}

void UITextView::insertText(NSString* text) {
    if (!text || !editing_) return;
    setSelectedRange(selection_);  // keeps the selection inside the text
    replaceCharacters(selection_, text);
}

void UITextView::deleteBackward() {
    if (!editing_ || !hasText()) return;
    NSRange r = selection_;
    if (r.length == 0) {
        if (r.location == 0) return;
        r = text()->rangeOfComposedCharacterSequenceAtIndex(r.location - 1);
    }
    replaceCharacters(r, NS(""));
}

std::vector<UITextLine> UITextView::linesForWidth(CGFloat width) {
    return UITextLayoutLines(text_, font(), std::max<CGFloat>(0, width - 2 * kTextInset),
                             UILineBreakModeWordWrap, 0);
}

CGFloat UITextView::heightForWidth(CGFloat width) {
    CGFloat lh = UITextMeasurerCurrent()->lineHeight(font());
    return lh * static_cast<CGFloat>(std::max<size_t>(1, linesForWidth(width).size())) +
           2 * kTextInset;
}

std::vector<UITextLine> UITextView::lines() {
    return linesForWidth(bounds().size.width);
}

void UITextView::updateContentSize() {
    CGFloat width = bounds().size.width;
    setContentSize(CGSizeMake(width, heightForWidth(width)));
}

namespace {
// The laid-out line holding a character index, and the index's offset in that line. Each line
// break (or the space a wrap swallowed) counts as one character between lines.
std::pair<size_t, size_t> lineOfIndex(const std::vector<UITextLine>& laid, NSUInteger location) {
    NSUInteger seen = 0;
    size_t index = 0;
    for (; index < laid.size(); ++index) {
        NSUInteger n = static_cast<NSUInteger>(laid[index].text.size());
        if (location <= seen + n) return {index, location - seen};
        seen += n + 1;
    }
    if (laid.empty()) return {0, 0};
    return {laid.size() - 1, laid.back().text.size()};
}
}  // namespace

void UITextView::scrollRangeToVisible(NSRange range) {
    size_t index = lineOfIndex(lines(), range.location).first;
    CGFloat lh = UITextMeasurerCurrent()->lineHeight(font());
    scrollRectToVisible(
        CGRectMake(0, kTextInset + lh * static_cast<CGFloat>(index), bounds().size.width, lh),
        false);
}

CGRect UITextView::caretRect() {
    auto laid = lines();
    auto [index, offset] = lineOfIndex(laid, selection_.location);
    auto f = font();
    CGFloat width = std::max<CGFloat>(0, bounds().size.width - 2 * kTextInset);
    CGFloat lineWidth = 0, before = 0;
    if (index < laid.size()) {
        std::u16string_view line(laid[index].text);
        lineWidth = laid[index].width;
        before = UITextMeasurerCurrent()->widthOfText(line.substr(0, offset), f);
    }
    CGFloat x = kTextInset + before;
    if (alignment_ == UITextAlignmentCenter)
        x += (width - lineWidth) / 2;
    else if (alignment_ == UITextAlignmentRight)
        x += width - lineWidth;
    CGFloat lh = UITextMeasurerCurrent()->lineHeight(f);
    return CGRectMake(std::round(x) - 1, kTextInset + lh * static_cast<CGFloat>(index), 2, lh);
}

CGSize UITextView::sizeThatFits(CGSize size) {
    return CGSizeMake(size.width, heightForWidth(size.width));
}

void UITextView::layoutSubviews() {
    UIScrollView::layoutSubviews();
    updateContentSize();
}

void UITextView::touchesEnded(NSSet* touches, UIEvent* event) {
    Ref<UITextView> self(this);
    // A finger that slid scrolled, as over any list: only a tap focuses the text.
    auto touch = touches ? as<UITouch>(touches->anyObject()) : nullptr;
    if (editable_ && !(touch && touch->farthestFromLanding() > UITouchTapSlop)) {
        becomeFirstResponder();
        return;
    }
    UIScrollView::touchesEnded(touches, event);
}

void UITextView::encodeWithCoder(NSCoder* coder) {
    UIScrollView::encodeWithCoder(coder);
    coder->encodeObject(text().get(), NS("text"));
}

bool UITextView::initWithCoder(NSCoder* coder) {
    if (!UIScrollView::initWithCoder(coder)) return false;
    setText(as<NSString>(coder->decodeObjectForKey(NS("text"))).get());
    return true;
}
