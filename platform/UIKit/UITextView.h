// Text views: scrollable, multi-line, optionally editable text with a delegate.
#pragma once

#include "UIKit/UIScrollView.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/UITextInputTraits.h"

class UIColor;
class UIFont;
class UITextView;

using UIDataDetectorTypes = NSUInteger;
enum : UIDataDetectorTypes {
    UIDataDetectorTypePhoneNumber = 1 << 0,
    UIDataDetectorTypeLink = 1 << 1,
    UIDataDetectorTypeAddress = 1 << 2,
    UIDataDetectorTypeCalendarEvent = 1 << 3,
    UIDataDetectorTypeNone = 0,
    UIDataDetectorTypeAll = 0xFFFFFFFF,
};

extern NSString* const UITextViewTextDidBeginEditingNotification;
extern NSString* const UITextViewTextDidChangeNotification;
extern NSString* const UITextViewTextDidEndEditingNotification;

// All optional; the defaults allow everything.
class UITextViewDelegate : public UIScrollViewDelegate {
public:
    virtual bool textViewShouldBeginEditing(UITextView*) { return true; }
    virtual bool textViewShouldEndEditing(UITextView*) { return true; }
    virtual void textViewDidBeginEditing(UITextView*) {}
    virtual void textViewDidEndEditing(UITextView*) {}
    virtual bool textViewShouldChangeTextInRangeReplacementText(UITextView*, NSRange, NSString*) {
        return true;
    }
    virtual void textViewDidChange(UITextView*) {}
    virtual void textViewDidChangeSelection(UITextView*) {}
};

class UITextView : public UIScrollView, public UITextInputTraits, public UIKeyInput {
    NS_OBJECT(UITextView, UIScrollView)
    static void describeClass(RuntimeClass& c);
    // Archives the text.
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;
    bool initWithFrame(CGRect frame) override;

    // Never nil.
    Ref<NSString> text();
    virtual void setText(NSString* text);
    Ref<UIFont> font();
    void setFont(UIFont* font);
    Ref<UIColor> textColor();
    void setTextColor(UIColor* color);
    UITextAlignment textAlignment() { return alignment_; }
    void setTextAlignment(UITextAlignment a) { alignment_ = a; }
    bool isEditable() { return editable_; }
    void setEditable(bool v);
    UIDataDetectorTypes dataDetectorTypes() { return dataDetectors_; }
    void setDataDetectorTypes(UIDataDetectorTypes t) { dataDetectors_ = t; }
    NSRange selectedRange() { return selection_; }
    void setSelectedRange(NSRange r);
    void scrollRangeToVisible(NSRange range);
    Ref<NSObject> inputView() override { return inputView_; }
    void setInputView(UIView* view);
    Ref<NSObject> inputAccessoryView() override { return inputAccessoryView_; }
    void setInputAccessoryView(UIView* view);

    // Not retained; also the scroll view's delegate.
    Ref<UITextViewDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(UITextViewDelegate* delegate);

    bool isEditing() { return editing_; }
    bool canBecomeFirstResponder() override;
    bool becomeFirstResponder() override;
    bool canResignFirstResponder() override;
    bool resignFirstResponder() override;

    // Typing replaces the selection ("\n" is a new line); each change asks the delegate, then
    // textViewDidChange: and the notification.
    bool hasText() override;
    void insertText(NSString* text) override;
    void deleteBackward() override;

    // The text's lines at the view's width.
    std::vector<UITextLine> lines();
    // Where the text's lines start, in the view's content: the platform keeps 8 points around
    // the text.
    static constexpr CGFloat kTextInset = 8;
    // The insertion point's line: 2 points wide, a line high, in content coordinates.
    CGRect caretRect();
    CGSize sizeThatFits(CGSize size) override;
    void layoutSubviews() override;
    void touchesEnded(NSSet* touches, UIEvent* event) override;

protected:
    void didResignFirstResponder() override;

private:
    bool replaceCharacters(NSRange range, NSString* replacement);
    void updateContentSize();
    // The text's lines, and the height they need with the insets, in a view this wide.
    std::vector<UITextLine> linesForWidth(CGFloat width);
    CGFloat heightForWidth(CGFloat width);

    Ref<NSString> text_;
    Ref<UIFont> font_;
    Ref<UIColor> textColor_;
    Ref<UIView> inputView_, inputAccessoryView_;
    Weak<UITextViewDelegate> delegate_;
    UITextAlignment alignment_ = UITextAlignmentLeft;
    UIDataDetectorTypes dataDetectors_ = UIDataDetectorTypeNone;
    NSRange selection_{};
    bool editable_ = true;
    bool editing_ = false;
};
