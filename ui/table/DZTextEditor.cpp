#include "ui/table/DZTextEditor.h"

#include <cmath>
#include <limits>

#include "Foundation/NSString.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/UITextInputTraits.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/UIColor+DZCategory.h"

namespace {

// Room the inner controls' frames and insets take from the editor.
constexpr CGFloat kWrapInset = 31;
constexpr CGFloat kHeightPadding = 18;

SEL sel(const char* name) {
    return Selector::named(name);
}

template <class F>
auto withDelegate(NSObject* delegate, const char* selector, F f) -> bool {
    if (!respondsTo(delegate, sel(selector))) return false;
    auto* d = dynamic_cast<DZTextEditorDelegate*>(delegate);
    if (!d) return false;
    f(d);
    return true;
}

}  // namespace

// ---- DZTextView ---------------------------------------------------------------------------------

void DZTextView::setContentOffset(CGPoint offset, bool animated) {
    if (autoresizesToText_) {
        // A text view that grows with its text keeps its last line in view once it overflows.
        offset = overflowed_ ? CGPointMake(offset.x, contentSize().height - bounds().size.height)
                             : CGPointMake(0, 0);
    }
    UITextView::setContentOffset(offset, animated);
}

// ---- DZTextEditorInternal -----------------------------------------------------------------------

void DZTextEditorInternal::describeClass(RuntimeClass& c) {
    c.method("textViewDidChange:", &DZTextEditorInternal::fieldDidChange);
}

bool DZTextEditorInternal::initWithTextEditor(DZTextEditor* editor) {
    if (!init()) return false;
    textEditor_ = editor;
    return true;
}

Ref<DZTextEditorDelegate> DZTextEditorInternal::editorDelegate() {
    auto d = delegate_.lock();
    auto* p = dynamic_cast<DZTextEditorDelegate*>(d.get());
    return p ? Ref<DZTextEditorDelegate>(p) : nullptr;
}

bool DZTextEditorInternal::shouldBegin() {
    if (ignoreBeginAndEnd_) return true;
    auto editor = textEditor_.lock();
    auto d = delegate_.lock();
    bool answer = true;
    withDelegate(d.get(), "textEditorShouldBeginEditing:", [&](DZTextEditorDelegate* p) {
        answer = p->textEditorShouldBeginEditing(editor.get());
    });
    return answer;
}

bool DZTextEditorInternal::shouldEnd() {
    if (ignoreBeginAndEnd_) return true;
    auto editor = textEditor_.lock();
    auto d = delegate_.lock();
    bool answer = true;
    withDelegate(d.get(), "textEditorShouldEndEditing:", [&](DZTextEditorDelegate* p) {
        answer = p->textEditorShouldEndEditing(editor.get());
    });
    return answer;
}

void DZTextEditorInternal::didBegin() {
    if (ignoreBeginAndEnd_) return;
    auto editor = textEditor_.lock();
    if (editor) editor->didBeginEditing();
    auto d = delegate_.lock();
    withDelegate(d.get(), "textEditorDidBeginEditing:", [&](DZTextEditorDelegate* p) {
        p->textEditorDidBeginEditing(editor.get());
    });
}

void DZTextEditorInternal::didEnd() {
    if (ignoreBeginAndEnd_) return;
    auto editor = textEditor_.lock();
    if (editor) editor->didEndEditing();
    auto d = delegate_.lock();
    withDelegate(d.get(), "textEditorDidEndEditing:", [&](DZTextEditorDelegate* p) {
        p->textEditorDidEndEditing(editor.get());
    });
}

bool DZTextEditorInternal::textViewShouldBeginEditing(UITextView*) {
    return shouldBegin();
}

bool DZTextEditorInternal::textFieldShouldBeginEditing(UITextField*) {
    return shouldBegin();
}

bool DZTextEditorInternal::textViewShouldEndEditing(UITextView*) {
    return shouldEnd();
}

bool DZTextEditorInternal::textFieldShouldEndEditing(UITextField*) {
    return shouldEnd();
}

void DZTextEditorInternal::textViewDidBeginEditing(UITextView*) {
    didBegin();
}

void DZTextEditorInternal::textFieldDidBeginEditing(UITextField*) {
    didBegin();
}

void DZTextEditorInternal::textViewDidEndEditing(UITextView*) {
    didEnd();
}

void DZTextEditorInternal::textFieldDidEndEditing(UITextField*) {
    didEnd();
}

bool DZTextEditorInternal::textViewShouldChangeTextInRangeReplacementText(UITextView*,
                                                                          NSRange range,
                                                                          NSString* text) {
    auto editor = textEditor_.lock();
    auto d = delegate_.lock();
    if (text && text->isEqualToString(NS("\n"))) {
        bool returns = true;
        withDelegate(d.get(), "textEditorShouldReturn:", [&](DZTextEditorDelegate* p) {
            returns = p->textEditorShouldReturn(editor.get());
        });
        if (!returns) return false;
    }
    bool answer = true;
    withDelegate(
        d.get(),
        "textEditor:shouldChangeTextInRange:replacementText:", [&](DZTextEditorDelegate* p) {
            answer = p->textEditorShouldChangeTextInRangeReplacementText(editor.get(), range, text);
        });
    return answer;
}

void DZTextEditorInternal::textViewDidChange(UITextView*) {
    auto editor = textEditor_.lock();
    if (editor) editor->didChangeText(false);
    auto d = delegate_.lock();
    withDelegate(d.get(), "textEditorDidChange:", [&](DZTextEditorDelegate* p) {
        p->textEditorDidChange(editor.get());
    });
}

void DZTextEditorInternal::fieldDidChange(NSObject*) {
    textViewDidChange(nullptr);
}

bool DZTextEditorInternal::textFieldShouldChangeCharactersInRangeReplacementString(
    UITextField*, NSRange range, NSString* string) {
    auto editor = textEditor_.lock();
    auto d = delegate_.lock();
    bool answer = true;
    withDelegate(
        d.get(),
        "textEditor:shouldChangeTextInRange:replacementText:", [&](DZTextEditorDelegate* p) {
            answer =
                p->textEditorShouldChangeTextInRangeReplacementText(editor.get(), range, string);
        });
    if (!answer) return false;
    // Handled after the field has applied the change.
    performSelector(sel("textViewDidChange:"), nullptr, 0.0);
    return true;
}

bool DZTextEditorInternal::textFieldShouldReturn(UITextField*) {
    auto editor = textEditor_.lock();
    auto d = delegate_.lock();
    bool returns = true;
    withDelegate(d.get(), "textEditorShouldReturn:", [&](DZTextEditorDelegate* p) {
        returns = p->textEditorShouldReturn(editor.get());
    });
    if (!returns) return false;
    if (editor) editor->didChangeText(true);
    withDelegate(d.get(), "textEditorDidChange:", [&](DZTextEditorDelegate* p) {
        p->textEditorDidChange(editor.get());
    });
    return true;
}

// ---- DZTextEditor -------------------------------------------------------------------------------

void DZTextEditor::describeClass(RuntimeClass& c) {
    c.method("stopIgnoringBeginAndEnd", &DZTextEditor::stopIgnoringBeginAndEnd);
}

bool DZTextEditor::initWithFrame(CGRect frame) {
    if (!DZView::initWithFrame(frame)) return false;
    internal_ = make<DZTextEditorInternal>(&DZTextEditorInternal::initWithTextEditor, this);
    autoresizesToText_ = true;
    textField_ = make<UITextField>();
    textField_->setDelegate(internal_.get());
    addSubview(textField_);
    return true;
}

void DZTextEditor::dealloc() {
    cancelPreviousPerformRequestsWithTarget(this);
    if (internal_) NSObject::cancelPreviousPerformRequestsWithTarget(internal_.get());
    if (textField_) textField_->setDelegate(nullptr);
    if (textView_) textView_->setDelegate(nullptr);
    DZView::dealloc();
}

Ref<UIView> DZTextEditor::activeTextField() {
    if (textView_ && !textView_->isHidden()) return textView_;
    return textField_;
}

void DZTextEditor::createTextView() {
    if (textView_) return;
    textView_ = make<DZTextView>();
    textView_->setDelegate(internal_.get());
    textView_->setEditable(true);
    textView_->setBackgroundColor(UIColor::clearColor().get());
    textView_->setScrollsToTop(false);
    textView_->setShowsHorizontalScrollIndicator(false);
    textView_->setContentInset(UIEdgeInsetsMake(-6, 0, -6, 0));
    textView_->setFont(textField_->font().get());
    textView_->setTextColor(textField_->textColor().get());
    textView_->setAutocapitalizationType(textField_->autocapitalizationType());
    textView_->setAutocorrectionType(textField_->autocorrectionType());
    textView_->setEnablesReturnKeyAutomatically(textField_->enablesReturnKeyAutomatically());
    textView_->setKeyboardAppearance(textField_->keyboardAppearance());
    textView_->setKeyboardType(textField_->keyboardType());
    textView_->setReturnKeyType(textField_->returnKeyType());
    textView_->setSecureTextEntry(textField_->isSecureTextEntry());
    textView_->setAutoresizesToText(autoresizesToText_);
    addSubview(textView_);
    setNeedsLayout();
}

CGFloat DZTextEditor::heightThatFits(bool* overflowed, NSInteger* numberOfLines) {
    auto f = font();
    CGFloat lineHeight = dzLineHeight(f.get());
    CGFloat minHeight = static_cast<CGFloat>(minNumberOfLines_) * lineHeight;
    CGFloat maxHeight = static_cast<CGFloat>(maxNumberOfLines_) * lineHeight;
    CGFloat wrapWidth = bounds().size.width - kWrapInset;
    Ref<NSString> text =
        textField_->isHidden() && textView_ ? textView_->text() : textField_->text();
    bool endsInLineFeed =
        text && text->length() > 0 && text->characterAtIndex(text->length() - 1) == u'\n';
    // The empty line after a final line feed is counted below, so it is not measured here.
    Ref<NSString> measured = !text || text->length() == 0 ? Ref<NSString>(NS("M"))
                             : endsInLineFeed ? text->substringToIndex(text->length() - 1)
                                              : text;
    CGFloat h = sizeWithFont(measured.get(), f.get(),
                             CGSizeMake(wrapWidth, std::numeric_limits<CGFloat>::max()),
                             UILineBreakModeWordWrap)
                    .height;
    if (endsInLineFeed) h += lineHeight;
    if (showsExtraLine_) h += lineHeight;
    if (overflowed) *overflowed = maxHeight != 0 && h > maxHeight;
    if (numberOfLines)
        *numberOfLines = lineHeight > 0 ? static_cast<NSInteger>(std::floor(h / lineHeight)) : 0;
    if (h < minHeight) h = minHeight;
    if (maxHeight != 0 && h > maxHeight) h = maxHeight;
    return h + kHeightPadding;
}

void DZTextEditor::stopIgnoringBeginAndEnd() {
    internal_->setIgnoreBeginAndEnd(false);
}

void DZTextEditor::switchToTextView(NSString* text) {
    createTextView();
    // The focus moves to the text view without an end and a begin of editing, and the keyboard
    // stays up.
    UIKeyboardFocusHandover handover;
    internal_->setIgnoreBeginAndEnd(true);
    textField_->setHidden(true);
    textView_->setHidden(false);
    textView_->setText(text);
    textView_->becomeFirstResponder();
    performSelector(sel("stopIgnoringBeginAndEnd"), nullptr, 0.0);
}

void DZTextEditor::switchToTextField() {
    UIKeyboardFocusHandover handover;
    internal_->setIgnoreBeginAndEnd(true);
    textField_->setHidden(false);
    textView_->setHidden(true);
    textField_->setText(textView_->text().get());
    textField_->becomeFirstResponder();
    performSelector(sel("stopIgnoringBeginAndEnd"), nullptr, 0.0);
}

void DZTextEditor::constrainToText() {
    CGFloat oldHeight = bounds().size.height;
    NSInteger lines = 0;
    CGFloat delta = heightThatFits(&overflowed_, &lines) - oldHeight;
    if (lines >= 2 && !textField_->isHidden()) {
        switchToTextView(textField_->text().get());
    } else if (lines == 1 && textField_->isHidden()) {
        switchToTextField();
    }
    if (textView_) {
        textView_->setOverflowed(overflowed_);
        textView_->setScrollEnabled(overflowed_);
    }
    if (oldHeight == 0 || delta == 0) return;
    auto d = delegate_.lock();
    bool resize = true;
    withDelegate(d.get(), "textEditor:shouldResizeBy:", [&](DZTextEditorDelegate* p) {
        resize = p->textEditorShouldResizeBy(this, delta);
    });
    if (!resize) return;
    CGRect f = frame();
    f.size.height += delta;
    setFrame(f);
}

void DZTextEditor::didChangeText(bool insertsNewline) {
    if (insertsNewline) {
        auto text = textField_->text()->stringByAppendingString(NS("\n"));
        switchToTextView(text.get());
    }
    if (autoresizesToText_) constrainToText();
}

bool DZTextEditor::becomeFirstResponder() {
    return activeTextField()->becomeFirstResponder();
}

bool DZTextEditor::resignFirstResponder() {
    return activeTextField()->resignFirstResponder();
}

void DZTextEditor::layoutSubviews() {
    CGRect b = bounds();
    CGRect f = CGRectMake(0, 2, b.size.width - 16, b.size.height);
    if (textView_) {
        CGRect r = DZRectShrinkSize(f, 0, 14);
        textView_->setFrame(CGRectOffset(r, 0, 7));
    }
    CGRect r = DZRectShrinkSize(f, 9, 14);
    textField_->setFrame(CGRectOffset(r, 9, 7));
}

CGSize DZTextEditor::sizeThatFits(CGSize size) {
    return CGSizeMake(size.width, heightThatFits(nullptr, nullptr));
}

// ---- input traits (the field's) -----------------------------------------------------------------

UITextAutocapitalizationType DZTextEditor::autocapitalizationType() {
    return textField_->autocapitalizationType();
}
void DZTextEditor::setAutocapitalizationType(UITextAutocapitalizationType t) {
    textField_->setAutocapitalizationType(t);
}
UITextAutocorrectionType DZTextEditor::autocorrectionType() {
    return textField_->autocorrectionType();
}
void DZTextEditor::setAutocorrectionType(UITextAutocorrectionType t) {
    textField_->setAutocorrectionType(t);
}
bool DZTextEditor::enablesReturnKeyAutomatically() {
    return textField_->enablesReturnKeyAutomatically();
}
void DZTextEditor::setEnablesReturnKeyAutomatically(bool v) {
    textField_->setEnablesReturnKeyAutomatically(v);
}
UIKeyboardAppearance DZTextEditor::keyboardAppearance() {
    return textField_->keyboardAppearance();
}
void DZTextEditor::setKeyboardAppearance(UIKeyboardAppearance a) {
    textField_->setKeyboardAppearance(a);
}
UIKeyboardType DZTextEditor::keyboardType() {
    return textField_->keyboardType();
}
void DZTextEditor::setKeyboardType(UIKeyboardType t) {
    textField_->setKeyboardType(t);
}
UIReturnKeyType DZTextEditor::returnKeyType() {
    return textField_->returnKeyType();
}
void DZTextEditor::setReturnKeyType(UIReturnKeyType t) {
    textField_->setReturnKeyType(t);
}
bool DZTextEditor::isSecureTextEntry() {
    return textField_->isSecureTextEntry();
}
void DZTextEditor::setSecureTextEntry(bool v) {
    textField_->setSecureTextEntry(v);
}

// ---- properties ---------------------------------------------------------------------------------

void DZTextEditor::setDelegate(NSObject* delegate) {
    delegate_ = delegate;
    internal_->setDelegate(delegate);
}

Ref<NSString> DZTextEditor::text() {
    if (textView_ && !textView_->isHidden()) return textView_->text();
    return textField_->text();
}

void DZTextEditor::setText(NSString* text) {
    textField_->setText(text);
    if (textView_) textView_->setText(text);
    if (autoresizesToText_) constrainToText();
}

Ref<NSString> DZTextEditor::placeholder() {
    return textField_->placeholder();
}

void DZTextEditor::setPlaceholder(NSString* placeholder) {
    textField_->setPlaceholder(placeholder);
}

void DZTextEditor::setAutoresizesToText(bool v) {
    autoresizesToText_ = v;
    if (textView_) textView_->setAutoresizesToText(v);
}

Ref<UIFont> DZTextEditor::font() {
    return textField_->font();
}

void DZTextEditor::setFont(UIFont* font) {
    textField_->setFont(font);
}

Ref<UIColor> DZTextEditor::textColor() {
    return textField_->textColor();
}

void DZTextEditor::setTextColor(UIColor* color) {
    textField_->setTextColor(color);
}

void DZTextEditor::scrollContainerToCursor(UIScrollView* scrollView) {
    if (!textView_ || !textView_->hasText()) return;
    CGSize content = scrollView->contentSize();
    if (content.height <= scrollView->bounds().size.height) {
        scrollView->scrollRectToVisible(CGRectMake(0, 0, 1, 1), false);
    } else if (textView_->selectedRange().location == textView_->text()->length()) {
        scrollView->scrollRectToVisible(CGRectMake(0, content.height - 1, 1, 1), false);
    }
}
