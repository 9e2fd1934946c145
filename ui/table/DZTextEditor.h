// A text input that starts as a one-line field and turns into a multi-line text view as soon
// as its text needs a second line (or return is pressed), growing with the text between a
// minimum and a maximum number of lines, and turning back into a field when the text fits one
// line again. The swaps between the two controls move the first responder without the
// delegate seeing an end and a begin of editing. Main thread only.
#pragma once

#include "Foundation/Runtime.h"
#include "UIKit/UITextField.h"
#include "UIKit/UITextView.h"
#include "ui/core/DZView.h"

class DZTextEditor;
class UIScrollView;

// All optional; each is probed before it is sent.
class DZTextEditorDelegate {
public:
    virtual ~DZTextEditorDelegate() = default;
    virtual bool textEditorShouldBeginEditing(DZTextEditor*) { return true; }
    virtual bool textEditorShouldEndEditing(DZTextEditor*) { return true; }
    virtual void textEditorDidBeginEditing(DZTextEditor*) {}
    virtual void textEditorDidEndEditing(DZTextEditor*) {}
    virtual bool textEditorShouldChangeTextInRangeReplacementText(DZTextEditor*, NSRange,
                                                                  NSString*) {
        return true;
    }
    virtual void textEditorDidChange(DZTextEditor*) {}
    // A refusal keeps the editor's height.
    virtual bool textEditorShouldResizeBy(DZTextEditor*, CGFloat) { return true; }
    virtual bool textEditorShouldReturn(DZTextEditor*) { return true; }
};

// The multi-line control: keeps the last line in view while it grows with its text.
class DZTextView : public UITextView {
    NS_OBJECT(DZTextView, UITextView)
    bool autoresizesToText() { return autoresizesToText_; }
    void setAutoresizesToText(bool v) { autoresizesToText_ = v; }
    bool overflowed() { return overflowed_; }
    void setOverflowed(bool v) { overflowed_ = v; }
    void setContentOffset(CGPoint offset, bool animated) override;
    using UITextView::setContentOffset;

private:
    bool autoresizesToText_ = false;
    bool overflowed_ = false;
};

// The delegate of both inner controls: does the editor's own work, then tells the editor's
// delegate.
class DZTextEditorInternal : public NSObject,
                             public UITextViewDelegate,
                             public UITextFieldDelegate {
    NS_OBJECT(DZTextEditorInternal, NSObject)
    static void describeClass(RuntimeClass& c);
    bool initWithTextEditor(DZTextEditor* editor);
    bool ignoreBeginAndEnd() { return ignoreBeginAndEnd_; }
    void setIgnoreBeginAndEnd(bool v) { ignoreBeginAndEnd_ = v; }
    Ref<NSObject> delegate() { return delegate_.lock(); }
    void setDelegate(NSObject* delegate) { delegate_ = delegate; }

    bool textViewShouldBeginEditing(UITextView*) override;
    bool textFieldShouldBeginEditing(UITextField*) override;
    bool textViewShouldEndEditing(UITextView*) override;
    bool textFieldShouldEndEditing(UITextField*) override;
    void textViewDidBeginEditing(UITextView*) override;
    void textFieldDidBeginEditing(UITextField*) override;
    void textViewDidEndEditing(UITextView*) override;
    void textFieldDidEndEditing(UITextField*) override;
    bool textViewShouldChangeTextInRangeReplacementText(UITextView*, NSRange,
                                                        NSString* text) override;
    void textViewDidChange(UITextView*) override;
    void textViewDidChangeSelection(UITextView*) override {}
    bool textFieldShouldChangeCharactersInRangeReplacementString(UITextField*, NSRange range,
                                                                 NSString* string) override;
    bool textFieldShouldReturn(UITextField*) override;
    // The delayed change of the field (sent after the field applied it).
    void fieldDidChange(NSObject*);

private:
    Ref<DZTextEditorDelegate> editorDelegate();
    bool shouldBegin();
    bool shouldEnd();
    void didBegin();
    void didEnd();

    Weak<DZTextEditor> textEditor_;
    bool ignoreBeginAndEnd_ = false;
    Weak<NSObject> delegate_;
};

class DZTextEditor : public DZView {
    NS_OBJECT(DZTextEditor, DZView)
    static void describeClass(RuntimeClass& c);
    bool initWithFrame(CGRect frame) override;
    void dealloc() override;

    // The text view while it shows, else the field.
    Ref<UIView> activeTextField();
    Ref<UITextField> textField() { return textField_; }
    Ref<DZTextView> textView() { return textView_; }
    void createTextView();
    // Out-parameters may be null. The height that fits the text, with the line count it
    // measured (before the clamp) and whether it overflowed the maximum.
    CGFloat heightThatFits(bool* overflowed, NSInteger* numberOfLines);
    void stopIgnoringBeginAndEnd();
    void constrainToText();
    void didBeginEditing() { editing_ = true; }
    void didEndEditing() { editing_ = false; }
    void didChangeText(bool insertsNewline);
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    void layoutSubviews() override;
    CGSize sizeThatFits(CGSize size) override;

    // Input traits: the field's, copied to the text view once when it is made.
    UITextAutocapitalizationType autocapitalizationType();
    void setAutocapitalizationType(UITextAutocapitalizationType t);
    UITextAutocorrectionType autocorrectionType();
    void setAutocorrectionType(UITextAutocorrectionType t);
    bool enablesReturnKeyAutomatically();
    void setEnablesReturnKeyAutomatically(bool v);
    UIKeyboardAppearance keyboardAppearance();
    void setKeyboardAppearance(UIKeyboardAppearance a);
    UIKeyboardType keyboardType();
    void setKeyboardType(UIKeyboardType t);
    UIReturnKeyType returnKeyType();
    void setReturnKeyType(UIReturnKeyType t);
    bool isSecureTextEntry();
    void setSecureTextEntry(bool v);

    Ref<NSObject> delegate() { return delegate_.lock(); }
    void setDelegate(NSObject* delegate);
    Ref<NSString> text();
    void setText(NSString* text);
    Ref<NSString> placeholder();
    void setPlaceholder(NSString* placeholder);
    bool autoresizesToText() { return autoresizesToText_; }
    void setAutoresizesToText(bool v);
    Ref<UIFont> font();
    void setFont(UIFont* font);
    Ref<UIColor> textColor();
    void setTextColor(UIColor* color);
    void scrollContainerToCursor(UIScrollView* scrollView);
    NSInteger minNumberOfLines() { return minNumberOfLines_; }
    void setMinNumberOfLines(NSInteger n) { minNumberOfLines_ = n; }
    NSInteger maxNumberOfLines() { return maxNumberOfLines_; }
    void setMaxNumberOfLines(NSInteger n) { maxNumberOfLines_ = n; }
    bool editing() { return editing_; }
    bool showsExtraLine() { return showsExtraLine_; }
    void setShowsExtraLine(bool v) { showsExtraLine_ = v; }
    bool overflowed() { return overflowed_; }
    Ref<DZTextEditorInternal> internal() { return internal_; }

private:
    void switchToTextView(NSString* text);
    void switchToTextField();

    Ref<DZTextEditorInternal> internal_;
    Ref<UITextField> textField_;
    Ref<DZTextView> textView_;
    NSInteger minNumberOfLines_ = 0;
    NSInteger maxNumberOfLines_ = 0;
    bool editing_ = false;
    bool overflowed_ = false;
    bool autoresizesToText_ = true;
    bool showsExtraLine_ = false;
    Weak<NSObject> delegate_;
};
