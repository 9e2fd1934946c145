// Text fields: one line of editable text with a placeholder, overlay views and a delegate that
// can refuse each step of editing.
#pragma once

#include "UIKit/UIControl.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/UITextInputTraits.h"

class UIColor;
class UIFont;
class UIImage;
class UITextField;

enum UITextBorderStyle : NSInteger {
    UITextBorderStyleNone = 0,
    UITextBorderStyleLine,
    UITextBorderStyleBezel,
    UITextBorderStyleRoundedRect,
};

enum UITextFieldViewMode : NSInteger {
    UITextFieldViewModeNever = 0,
    UITextFieldViewModeWhileEditing,
    UITextFieldViewModeUnlessEditing,
    UITextFieldViewModeAlways,
};

extern NSString* const UITextFieldTextDidBeginEditingNotification;
extern NSString* const UITextFieldTextDidEndEditingNotification;
extern NSString* const UITextFieldTextDidChangeNotification;

// All optional; the defaults allow everything.
class UITextFieldDelegate {
public:
    virtual ~UITextFieldDelegate() = default;
    virtual bool textFieldShouldBeginEditing(UITextField*) { return true; }
    virtual void textFieldDidBeginEditing(UITextField*) {}
    virtual bool textFieldShouldEndEditing(UITextField*) { return true; }
    virtual void textFieldDidEndEditing(UITextField*) {}
    virtual bool textFieldShouldChangeCharactersInRangeReplacementString(UITextField*, NSRange,
                                                                         NSString*) {
        return true;
    }
    virtual bool textFieldShouldClear(UITextField*) { return true; }
    virtual bool textFieldShouldReturn(UITextField*) { return true; }
};

class UITextField : public UIControl, public UITextInputTraits, public UIKeyInput {
    NS_OBJECT(UITextField, UIControl)
    static void describeClass(RuntimeClass& c);
    // Archives the text and the placeholder.
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;
    bool initWithFrame(CGRect frame) override;

    // Never nil: an empty string when there is no text.
    Ref<NSString> text();
    // Setting the text sends no delegate calls or control events, as on the platform.
    virtual void setText(NSString* text);
    Ref<NSString> placeholder() { return placeholder_; }
    void setPlaceholder(NSString* placeholder);
    Ref<UIFont> font();
    void setFont(UIFont* font);
    Ref<UIColor> textColor();
    void setTextColor(UIColor* color);
    UITextAlignment textAlignment() { return alignment_; }
    void setTextAlignment(UITextAlignment a) { alignment_ = a; }
    UITextBorderStyle borderStyle() { return borderStyle_; }
    void setBorderStyle(UITextBorderStyle s) { borderStyle_ = s; }
    Ref<UIImage> background() { return background_; }
    void setBackground(UIImage* image);
    Ref<UIImage> disabledBackground() { return disabledBackground_; }
    void setDisabledBackground(UIImage* image);
    bool clearsOnBeginEditing() { return clearsOnBegin_; }
    void setClearsOnBeginEditing(bool v) { clearsOnBegin_ = v; }
    bool adjustsFontSizeToFitWidth() { return adjustsFontSize_; }
    void setAdjustsFontSizeToFitWidth(bool v) { adjustsFontSize_ = v; }
    CGFloat minimumFontSize() { return minimumFontSize_; }
    void setMinimumFontSize(CGFloat s) { minimumFontSize_ = s; }
    UITextFieldViewMode clearButtonMode() { return clearButtonMode_; }
    void setClearButtonMode(UITextFieldViewMode m) { clearButtonMode_ = m; }
    // The clear button shows with text, when its mode says so and no right view takes its
    // place; a touch on it (clearButtonRectForBounds) clears the text.
    bool clearButtonShows();
    Ref<UIView> leftView() { return leftView_; }
    void setLeftView(UIView* view);
    UITextFieldViewMode leftViewMode() { return leftViewMode_; }
    void setLeftViewMode(UITextFieldViewMode m) { leftViewMode_ = m; }
    Ref<UIView> rightView() { return rightView_; }
    void setRightView(UIView* view);
    UITextFieldViewMode rightViewMode() { return rightViewMode_; }
    void setRightViewMode(UITextFieldViewMode m) { rightViewMode_ = m; }
    Ref<NSObject> inputView() override { return inputView_; }
    void setInputView(UIView* view);
    Ref<NSObject> inputAccessoryView() override { return inputAccessoryView_; }
    void setInputAccessoryView(UIView* view);

    // Not retained. Subclasses may put a forwarder of their own behind these; the field itself
    // always talks to the delegate stored here.
    virtual Ref<UITextFieldDelegate> delegate() { return delegate_.lock(); }
    virtual void setDelegate(UITextFieldDelegate* delegate) { delegate_ = delegate; }

    bool isEditing() { return editing_; }
    // Editing begins when the field becomes first responder and its delegate agrees: clears the
    // text when it should, then didBegin, the editing-did-begin actions and the notification.
    bool canBecomeFirstResponder() override;
    bool becomeFirstResponder() override;
    // Ending asks the delegate; then didEnd, the editing-did-end actions and the notification.
    bool canResignFirstResponder() override;
    bool resignFirstResponder() override;

    // Typing at the end of the text: each change asks the delegate, then sends the
    // editing-changed actions and posts the did-change notification. Return asks
    // textFieldShouldReturn:; when it agrees the did-end-on-exit actions go out, and a field with
    // such actions resigns first responder.
    bool hasText() override;
    void insertText(NSString* text) override;
    void deleteBackward() override;
    // The clear button: asks textFieldShouldClear:, then empties the text as typing would.
    void clearText();

    // The text as displayed: dots for secure entry, else the text (the placeholder shows when
    // it is empty).
    Ref<NSString> displayedText();

    virtual CGRect textRectForBounds(CGRect bounds);
    virtual CGRect placeholderRectForBounds(CGRect bounds);
    virtual CGRect editingRectForBounds(CGRect bounds);
    virtual CGRect borderRectForBounds(CGRect bounds);
    virtual CGRect clearButtonRectForBounds(CGRect bounds);
    virtual CGRect leftViewRectForBounds(CGRect bounds);
    virtual CGRect rightViewRectForBounds(CGRect bounds);
    virtual void drawTextInRect(CGRect) {}
    virtual void drawPlaceholderInRect(CGRect) {}
    void layoutSubviews() override;
    CGSize sizeThatFits(CGSize size) override;

    // A tap on a field begins editing.
    void touchesEnded(NSSet* touches, UIEvent* event) override;

protected:
    void didResignFirstResponder() override;

protected:
    Ref<UITextFieldDelegate> storedDelegate() { return delegate_.lock(); }
    void storeDelegate(UITextFieldDelegate* delegate) { delegate_ = delegate; }

private:
    // Replaces a range after the delegate agreed; false when it refused.
    bool replaceCharacters(NSRange range, NSString* replacement);
    bool viewShows(UITextFieldViewMode mode);

    Ref<NSString> text_;
    Ref<NSString> placeholder_;
    Ref<UIFont> font_;
    Ref<UIColor> textColor_;
    Ref<UIImage> background_, disabledBackground_;
    Ref<UIView> leftView_, rightView_, inputView_, inputAccessoryView_;
    Weak<UITextFieldDelegate> delegate_;
    UITextAlignment alignment_ = UITextAlignmentLeft;
    UITextBorderStyle borderStyle_ = UITextBorderStyleNone;
    UITextFieldViewMode clearButtonMode_ = UITextFieldViewModeNever;
    UITextFieldViewMode leftViewMode_ = UITextFieldViewModeNever;
    UITextFieldViewMode rightViewMode_ = UITextFieldViewModeNever;
    bool clearsOnBegin_ = false;
    bool adjustsFontSize_ = false;
    CGFloat minimumFontSize_ = 0;
    bool editing_ = false;
};
