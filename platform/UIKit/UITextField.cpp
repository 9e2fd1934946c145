#include "UIKit/UITextField.h"

#include <algorithm>
#include <cmath>

#include "Foundation/NSNotification.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"

NSString* const UITextFieldTextDidBeginEditingNotification =
    NS("UITextFieldTextDidBeginEditingNotification");
NSString* const UITextFieldTextDidEndEditingNotification =
    NS("UITextFieldTextDidEndEditingNotification");
NSString* const UITextFieldTextDidChangeNotification = NS("UITextFieldTextDidChangeNotification");

void UITextField::describeClass(RuntimeClass& c) {
    c.property("text", &UITextField::text, &UITextField::setText);
    c.property("placeholder", &UITextField::placeholder, &UITextField::setPlaceholder);
    c.implements({"insertText:", "deleteBackward", "hasText"});
}

bool UITextField::initWithFrame(CGRect frame) {
    if (!UIControl::initWithFrame(frame)) return false;
    setOpaque(false);
    return true;
}

Ref<NSString> UITextField::text() {
    return text_ ? text_ : Ref<NSString>(NS(""));
}

void UITextField::setText(NSString* text) {
    text_ = text ? text->copy() : nullptr;
    setNeedsDisplay();
}

void UITextField::setPlaceholder(NSString* placeholder) {
    placeholder_ = placeholder ? placeholder->copy() : nullptr;
    setNeedsDisplay();
}

Ref<UIFont> UITextField::font() {
    if (!font_) font_ = UIFont::systemFontOfSize(12);
    return font_;
}

void UITextField::setFont(UIFont* font) {
    font_ = font;
    setNeedsDisplay();
}

Ref<UIColor> UITextField::textColor() {
    if (!textColor_) textColor_ = UIColor::blackColor();
    return textColor_;
}

void UITextField::setTextColor(UIColor* color) {
    textColor_ = color;
    setNeedsDisplay();
}

void UITextField::setBackground(UIImage* image) {
    background_ = image;
    setNeedsDisplay();
}

void UITextField::setDisabledBackground(UIImage* image) {
    disabledBackground_ = image;
    setNeedsDisplay();
}

void UITextField::setLeftView(UIView* view) {
    if (leftView_) leftView_->removeFromSuperview();
    leftView_ = view;
    if (view) addSubview(view);
    setNeedsLayout();
}

void UITextField::setRightView(UIView* view) {
    if (rightView_) rightView_->removeFromSuperview();
    rightView_ = view;
    if (view) addSubview(view);
    setNeedsLayout();
}

void UITextField::setInputView(UIView* view) {
    inputView_ = view;
}

void UITextField::setInputAccessoryView(UIView* view) {
    inputAccessoryView_ = view;
}

// ---- editing ------------------------------------------------------------------------------------

bool UITextField::canBecomeFirstResponder() {
    return isEnabled();
}

bool UITextField::becomeFirstResponder() {
    if (isFirstResponder()) return true;
    if (!canBecomeFirstResponder() || !window()) return false;
    Ref<UITextField> self(this);
    if (auto d = storedDelegate(); d && !d->textFieldShouldBeginEditing(this)) return false;
    if (!UIControl::becomeFirstResponder()) return false;
    editing_ = true;
    if (clearsOnBegin_) text_ = nullptr;
    if (auto d = storedDelegate()) d->textFieldDidBeginEditing(this);
    sendActions(UIControlEventEditingDidBegin, nullptr);
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UITextFieldTextDidBeginEditingNotification, this);
    setNeedsLayout();
    return true;
}

bool UITextField::canResignFirstResponder() {
    return true;
}

bool UITextField::resignFirstResponder() {
    if (!isFirstResponder()) return true;
    Ref<UITextField> self(this);
    if (auto d = storedDelegate(); d && !d->textFieldShouldEndEditing(this)) return false;
    return UIControl::resignFirstResponder();
}

void UITextField::didResignFirstResponder() {
    if (!editing_) return;
    Ref<UITextField> self(this);
    editing_ = false;
    if (auto d = storedDelegate()) d->textFieldDidEndEditing(this);
    sendActions(UIControlEventEditingDidEnd, nullptr);
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UITextFieldTextDidEndEditingNotification, this);
    setNeedsLayout();
}

bool UITextField::hasText() {
    return text_ && text_->length() > 0;
}

bool UITextField::replaceCharacters(NSRange range, NSString* replacement) {
    Ref<UITextField> self(this);
    if (auto d = storedDelegate();
        d && !d->textFieldShouldChangeCharactersInRangeReplacementString(this, range, replacement))
        return false;
    // A delegate may have set the text while it was asked: the edit then applies to that text.
    auto current = text();
    NSUInteger length = current->length();
    NSUInteger location = std::min<NSUInteger>(range.location, length);
    NSUInteger count = std::min<NSUInteger>(range.length, length - location);
    text_ = current->stringByReplacingCharactersInRange(NSMakeRange(location, count), replacement);
    sendActions(UIControlEventEditingChanged, nullptr);
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UITextFieldTextDidChangeNotification, this);
    setNeedsDisplay();
    return true;
}

void UITextField::insertText(NSString* text) {
    if (!text || !editing_) return;
    Ref<UITextField> self(this);
    std::u16string all = text->u16();
    size_t start = 0;
    while (start <= all.size()) {
        size_t nl = all.find(u'\n', start);
        std::u16string part =
            all.substr(start, nl == std::u16string::npos ? std::u16string::npos : nl - start);
        if (!part.empty()) {
            auto typed = NSString::fromUTF16(part);
            replaceCharacters(NSMakeRange(this->text()->length(), 0), typed);
        }
        if (nl == std::u16string::npos) break;
        // The return key.
        bool agreed = true;
        if (auto d = storedDelegate()) agreed = d->textFieldShouldReturn(this);
        if (agreed) {
            bool dismisses = (allControlEvents() & UIControlEventEditingDidEndOnExit) != 0;
            sendActions(UIControlEventEditingDidEndOnExit, nullptr);
            if (dismisses) resignFirstResponder();
        }
        if (!editing_) break;  // what is typed after leaving the field goes nowhere
        start = nl + 1;
    }
}

void UITextField::deleteBackward() {
    // The stored text, not the overridable hasText: a subclass may hide marker text from it
    // that backspace must still reach.
    if (!editing_ || !text_ || text_->length() == 0) return;
    auto t = text();
    NSRange last = t->rangeOfComposedCharacterSequenceAtIndex(t->length() - 1);
    replaceCharacters(last, NS(""));
}

void UITextField::clearText() {
    if (!hasText()) return;
    Ref<UITextField> self(this);
    if (auto d = storedDelegate(); d && !d->textFieldShouldClear(this)) return;
    text_ = nullptr;
    sendActions(UIControlEventEditingChanged, nullptr);
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UITextFieldTextDidChangeNotification, this);
    setNeedsDisplay();
}

Ref<NSString> UITextField::displayedText() {
    if (!hasText()) return placeholder_ ? placeholder_ : Ref<NSString>(NS(""));
    if (!isSecureTextEntry()) return text();
    std::u16string dots(text()->length(), u'\u2022');
    return NSString::fromUTF16(dots);
}

// ---- geometry
// -----------------------------------------------------------------------------------------

bool UITextField::viewShows(UITextFieldViewMode mode) {
    switch (mode) {
        case UITextFieldViewModeNever:
            return false;
        case UITextFieldViewModeWhileEditing:
            return editing_;
        case UITextFieldViewModeUnlessEditing:
            return !editing_;
        case UITextFieldViewModeAlways:
            return true;
    }
    return false;
}

bool UITextField::clearButtonShows() {
    return hasText() && viewShows(clearButtonMode_) && !(rightView_ && viewShows(rightViewMode_));
}

CGRect UITextField::borderRectForBounds(CGRect bounds) {
    return bounds;
}

CGRect UITextField::leftViewRectForBounds(CGRect bounds) {
    if (!leftView_) return CGRectZero;
    CGSize s = leftView_->bounds().size;
    return CGRectMake(bounds.origin.x, bounds.origin.y + (bounds.size.height - s.height) / 2,
                      s.width, s.height);
}

CGRect UITextField::rightViewRectForBounds(CGRect bounds) {
    if (!rightView_) return CGRectZero;
    CGSize s = rightView_->bounds().size;
    return CGRectMake(CGRectGetMaxX(bounds) - s.width,
                      bounds.origin.y + (bounds.size.height - s.height) / 2, s.width, s.height);
}

CGRect UITextField::clearButtonRectForBounds(CGRect bounds) {
    return CGRectMake(CGRectGetMaxX(bounds) - 25, bounds.origin.y + (bounds.size.height - 19) / 2,
                      19, 19);
}

CGRect UITextField::textRectForBounds(CGRect bounds) {
    CGFloat inset = borderStyle_ == UITextBorderStyleRoundedRect ? 7
                    : borderStyle_ == UITextBorderStyleNone      ? 0
                                                                 : 2;
    CGRect r = CGRectInset(bounds, inset, 0);
    if (CGRectIsNull(r)) return CGRectMake(bounds.origin.x, bounds.origin.y, 0, bounds.size.height);
    if (leftView_ && viewShows(leftViewMode_)) {
        CGFloat w = leftViewRectForBounds(bounds).size.width;
        r.origin.x += w;
        r.size.width -= w;
    }
    bool clear = hasText() && viewShows(clearButtonMode_);
    if (rightView_ && viewShows(rightViewMode_))
        r.size.width -= rightViewRectForBounds(bounds).size.width;
    else if (clear)
        r.size.width -= 25;
    r.size.width = std::max<CGFloat>(0, r.size.width);
    return r;
}

CGRect UITextField::placeholderRectForBounds(CGRect bounds) {
    return textRectForBounds(bounds);
}

CGRect UITextField::editingRectForBounds(CGRect bounds) {
    return textRectForBounds(bounds);
}

void UITextField::layoutSubviews() {
    CGRect b = bounds();
    if (leftView_) {
        leftView_->setHidden(!viewShows(leftViewMode_));
        leftView_->setFrame(leftViewRectForBounds(b));
    }
    if (rightView_) {
        rightView_->setHidden(!viewShows(rightViewMode_));
        rightView_->setFrame(rightViewRectForBounds(b));
    }
}

CGSize UITextField::sizeThatFits(CGSize size) {
    CGFloat h = UITextMeasurerCurrent()->lineHeight(font());
    if (borderStyle_ == UITextBorderStyleRoundedRect) h = std::max<CGFloat>(h + 12, 31);
    return CGSizeMake(size.width, h);
}

void UITextField::touchesEnded(NSSet* touches, UIEvent* event) {
    Ref<UITextField> self(this);
    bool inside = false, clear = false;
    if (auto t = touches ? as<UITouch>(touches->anyObject()) : nullptr) {
        CGPoint at = t->locationInView(this);
        // A finger that slid is no tap: it focuses no field.
        inside = pointInside(at, event) && t->farthestFromLanding() <= UITouchTapSlop;
        clear = clearButtonShows() && CGRectContainsPoint(clearButtonRectForBounds(bounds()), at);
    }
    UIControl::touchesEnded(touches, event);
    if (!inside || !isEnabled()) return;
    if (clear) clearText();
    becomeFirstResponder();
}

void UITextField::encodeWithCoder(NSCoder* coder) {
    UIControl::encodeWithCoder(coder);
    coder->encodeObject(text().get(), NS("text"));
    if (placeholder_) coder->encodeObject(placeholder_.get(), NS("placeholder"));
}

bool UITextField::initWithCoder(NSCoder* coder) {
    if (!UIControl::initWithCoder(coder)) return false;
    setText(as<NSString>(coder->decodeObjectForKey(NS("text"))).get());
    setPlaceholder(as<NSString>(coder->decodeObjectForKey(NS("placeholder"))).get());
    return true;
}
