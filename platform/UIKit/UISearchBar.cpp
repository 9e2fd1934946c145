#include "UIKit/UISearchBar.h"

#include <algorithm>

#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UISegmentedControl.h"

namespace {
constexpr CGFloat kBarHeight = 44;
constexpr CGFloat kCancelWidth = 60;
}  // namespace

void UISearchBar::describeClass(RuntimeClass& c) {
    c.method("fieldChanged:", &UISearchBar::fieldChanged);
    c.method("cancelPressed:", &UISearchBar::cancelPressed);
    c.method("scopeChanged:", &UISearchBar::scopeChanged);
    c.property("text", &UISearchBar::text, &UISearchBar::setText);
}

bool UISearchBar::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    field_ = make<UITextField>(&UIView::initWithFrame, CGRectZero);
    field_->setBorderStyle(UITextBorderStyleRoundedRect);
    field_->setFont(UIFont::systemFontOfSize(14));
    field_->setReturnKeyType(UIReturnKeySearch);
    field_->setClearButtonMode(UITextFieldViewModeWhileEditing);
    field_->setDelegate(this);
    field_->addTarget(this, Selector::named("fieldChanged:"), UIControlEventEditingChanged);
    addSubview(field_);
    return true;
}

Ref<NSString> UISearchBar::text() {
    return field_->text();
}

void UISearchBar::setText(NSString* text) {
    Ref<UISearchBar> self(this);
    field_->setText(text);
    if (auto d = delegate()) d->searchBarTextDidChange(this, field_->text());
}

Ref<NSString> UISearchBar::placeholder() {
    return field_->placeholder();
}
void UISearchBar::setPlaceholder(NSString* placeholder) {
    field_->setPlaceholder(placeholder);
}
void UISearchBar::setPrompt(NSString* prompt) {
    prompt_ = prompt ? prompt->copy() : nullptr;
    setNeedsLayout();
}
void UISearchBar::setTintColor(UIColor* color) {
    tintColor_ = color;
    setNeedsDisplay();
}

void UISearchBar::setShowsCancelButton(bool v) {
    setShowsCancelButton(v, false);
}

void UISearchBar::setShowsCancelButton(bool v, bool) {
    if (v == showsCancel_) return;
    showsCancel_ = v;
    if (v) {
        cancelButton_ = UIButton::buttonWithType(UIButtonTypeRoundedRect);
        cancelButton_->setTitle(NS("Cancel"), UIControlStateNormal);
        cancelButton_->addTarget(this, Selector::named("cancelPressed:"),
                                 UIControlEventTouchUpInside);
        addSubview(cancelButton_);
    } else if (cancelButton_) {
        cancelButton_->removeFromSuperview();
        cancelButton_ = nullptr;
    }
    setNeedsLayout();
}

void UISearchBar::setShowsScopeBar(bool v) {
    showsScope_ = v;
    if (scopeBar_) scopeBar_->setHidden(!v);
    setNeedsLayout();
}

void UISearchBar::setScopeButtonTitles(NSArray* titles) {
    scopeTitles_ = titles ? titles->copy() : nullptr;
    if (scopeBar_) scopeBar_->removeFromSuperview();
    scopeBar_ = nullptr;
    if (scopeTitles_ && scopeTitles_->count() > 0) {
        scopeBar_ = make<UISegmentedControl>(&UISegmentedControl::initWithItems, scopeTitles_);
        scopeBar_->setSegmentedControlStyle(UISegmentedControlStyleBar);
        scopeBar_->setSelectedSegmentIndex(
            std::min<NSInteger>(selectedScope_, static_cast<NSInteger>(scopeTitles_->count()) - 1));
        scopeBar_->addTarget(this, Selector::named("scopeChanged:"), UIControlEventValueChanged);
        scopeBar_->setHidden(!showsScope_);
        addSubview(scopeBar_);
    }
    setNeedsLayout();
}

void UISearchBar::setSelectedScopeButtonIndex(NSInteger index) {
    NSInteger n = scopeTitles_ ? static_cast<NSInteger>(scopeTitles_->count()) : 0;
    if (index < 0 || (n > 0 && index >= n)) return;
    selectedScope_ = index;
    if (scopeBar_) scopeBar_->setSelectedSegmentIndex(index);
}

UITextAutocapitalizationType UISearchBar::autocapitalizationType() {
    return field_->autocapitalizationType();
}
void UISearchBar::setAutocapitalizationType(UITextAutocapitalizationType t) {
    field_->setAutocapitalizationType(t);
}
UITextAutocorrectionType UISearchBar::autocorrectionType() {
    return field_->autocorrectionType();
}
void UISearchBar::setAutocorrectionType(UITextAutocorrectionType t) {
    field_->setAutocorrectionType(t);
}
UIKeyboardType UISearchBar::keyboardType() {
    return field_->keyboardType();
}
void UISearchBar::setKeyboardType(UIKeyboardType t) {
    field_->setKeyboardType(t);
}

bool UISearchBar::isEditing() {
    return field_->isEditing();
}
bool UISearchBar::becomeFirstResponder() {
    return field_->becomeFirstResponder();
}
bool UISearchBar::resignFirstResponder() {
    return field_->resignFirstResponder();
}
bool UISearchBar::isFirstResponder() {
    return field_->isFirstResponder();
}

void UISearchBar::tapCancelButton() {
    if (cancelButton_) cancelButton_->simulateTap();
}

void UISearchBar::tapSearchButton() {
    if (field_->isEditing())
        field_->insertText(NS("\n"));
    else
        textFieldShouldReturn(field_);
}

void UISearchBar::tapScopeButton(NSInteger index) {
    if (scopeBar_ && index >= 0) scopeBar_->tapSegment(static_cast<NSUInteger>(index));
}

bool UISearchBar::textFieldShouldBeginEditing(UITextField*) {
    auto d = delegate();
    return !d || d->searchBarShouldBeginEditing(this);
}
void UISearchBar::textFieldDidBeginEditing(UITextField*) {
    if (auto d = delegate()) d->searchBarTextDidBeginEditing(this);
}
bool UISearchBar::textFieldShouldEndEditing(UITextField*) {
    auto d = delegate();
    return !d || d->searchBarShouldEndEditing(this);
}
void UISearchBar::textFieldDidEndEditing(UITextField*) {
    if (auto d = delegate()) d->searchBarTextDidEndEditing(this);
}
bool UISearchBar::textFieldShouldChangeCharactersInRangeReplacementString(UITextField*, NSRange r,
                                                                          NSString* s) {
    auto d = delegate();
    return !d || d->searchBarShouldChangeTextInRangeReplacementText(this, r, s);
}
bool UISearchBar::textFieldShouldReturn(UITextField*) {
    Ref<UISearchBar> self(this);
    if (auto d = delegate()) d->searchBarSearchButtonClicked(this);
    // The search key does not dismiss the keyboard by itself.
    return false;
}

void UISearchBar::fieldChanged(NSObject*) {
    Ref<UISearchBar> self(this);
    if (auto d = delegate()) d->searchBarTextDidChange(this, field_->text());
}

void UISearchBar::cancelPressed(NSObject*) {
    Ref<UISearchBar> self(this);
    if (auto d = delegate()) d->searchBarCancelButtonClicked(this);
}

void UISearchBar::scopeChanged(NSObject*) {
    Ref<UISearchBar> self(this);
    selectedScope_ = scopeBar_ ? scopeBar_->selectedSegmentIndex() : 0;
    if (auto d = delegate()) d->searchBarSelectedScopeButtonIndexDidChange(this, selectedScope_);
}

void UISearchBar::layoutSubviews() {
    CGRect b = bounds();
    CGFloat right = CGRectGetMaxX(b) - 8;
    if (cancelButton_) {
        cancelButton_->setFrame(CGRectMake(right - kCancelWidth, 7, kCancelWidth, 30));
        right -= kCancelWidth + 6;
    }
    field_->setFrame(CGRectMake(8, 7, std::max<CGFloat>(0, right - 8), 30));
    if (scopeBar_) scopeBar_->setFrame(CGRectMake(8, kBarHeight + 7, b.size.width - 16, 30));
}

CGSize UISearchBar::sizeThatFits(CGSize size) {
    return CGSizeMake(size.width > 0 ? size.width : 320,
                      showsScope_ && scopeBar_ ? 2 * kBarHeight : kBarHeight);
}
