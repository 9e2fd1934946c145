// Search bars: a text field with an optional Cancel button and scope buttons, reporting to a
// delegate. The typed text, the search key (return) and the Cancel button are what the shell
// drives.
#pragma once

#include "UIKit/UITextField.h"
#include "UIKit/UIToolbar.h"

class UIButton;
class UIColor;
class UISearchBar;
class UISegmentedControl;

// All optional; the defaults allow everything.
class UISearchBarDelegate {
public:
    virtual ~UISearchBarDelegate() = default;
    virtual bool searchBarShouldBeginEditing(UISearchBar*) { return true; }
    virtual void searchBarTextDidBeginEditing(UISearchBar*) {}
    virtual bool searchBarShouldEndEditing(UISearchBar*) { return true; }
    virtual void searchBarTextDidEndEditing(UISearchBar*) {}
    virtual void searchBarTextDidChange(UISearchBar*, NSString*) {}
    virtual bool searchBarShouldChangeTextInRangeReplacementText(UISearchBar*, NSRange, NSString*) {
        return true;
    }
    virtual void searchBarSearchButtonClicked(UISearchBar*) {}
    virtual void searchBarBookmarkButtonClicked(UISearchBar*) {}
    virtual void searchBarCancelButtonClicked(UISearchBar*) {}
    virtual void searchBarResultsListButtonClicked(UISearchBar*) {}
    virtual void searchBarSelectedScopeButtonIndexDidChange(UISearchBar*, NSInteger) {}
};

class UISearchBar : public UIView, public UITextFieldDelegate {
    NS_OBJECT(UISearchBar, UIView)
    static void describeClass(RuntimeClass& c);
    // 44 points high (88 with scope buttons showing).
    bool initWithFrame(CGRect frame) override;

    Ref<NSString> text();
    // Setting the text from code tells the delegate searchBarTextDidChange:, as the platform does.
    void setText(NSString* text);
    Ref<NSString> placeholder();
    void setPlaceholder(NSString* placeholder);
    Ref<NSString> prompt() { return prompt_; }
    void setPrompt(NSString* prompt);
    UIBarStyle barStyle() { return barStyle_; }
    void setBarStyle(UIBarStyle s) { barStyle_ = s; }
    Ref<UIColor> tintColor() { return tintColor_; }
    void setTintColor(UIColor* color);
    bool isTranslucent() { return translucent_; }
    void setTranslucent(bool v) { translucent_ = v; }
    bool showsCancelButton() { return showsCancel_; }
    void setShowsCancelButton(bool v);
    void setShowsCancelButton(bool v, bool animated);
    bool showsBookmarkButton() { return showsBookmark_; }
    void setShowsBookmarkButton(bool v) { showsBookmark_ = v; }
    bool showsScopeBar() { return showsScope_; }
    void setShowsScopeBar(bool v);
    Ref<NSArray> scopeButtonTitles() { return scopeTitles_; }
    void setScopeButtonTitles(NSArray* titles);
    NSInteger selectedScopeButtonIndex() { return selectedScope_; }
    void setSelectedScopeButtonIndex(NSInteger index);
    // The input settings live on the inner field.
    UITextAutocapitalizationType autocapitalizationType();
    void setAutocapitalizationType(UITextAutocapitalizationType t);
    UITextAutocorrectionType autocorrectionType();
    void setAutocorrectionType(UITextAutocorrectionType t);
    UIKeyboardType keyboardType();
    void setKeyboardType(UIKeyboardType t);

    // Not retained.
    Ref<UISearchBarDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(UISearchBarDelegate* delegate) { delegate_ = delegate; }

    // The inner field (typing goes to it while it has the focus) and the Cancel button.
    Ref<UITextField> textField() { return field_; }
    Ref<UIButton> cancelButton() { return cancelButton_; }
    bool isEditing();
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    bool isFirstResponder() override;
    // The shell's taps: the Cancel button, the search key, a scope button.
    void tapCancelButton();
    void tapSearchButton();
    void tapScopeButton(NSInteger index);

    void layoutSubviews() override;
    CGSize sizeThatFits(CGSize size) override;

    // The inner field's delegate calls, forwarded to the search bar's delegate.
    bool textFieldShouldBeginEditing(UITextField*) override;
    void textFieldDidBeginEditing(UITextField*) override;
    bool textFieldShouldEndEditing(UITextField*) override;
    void textFieldDidEndEditing(UITextField*) override;
    bool textFieldShouldChangeCharactersInRangeReplacementString(UITextField*, NSRange,
                                                                 NSString*) override;
    bool textFieldShouldReturn(UITextField*) override;
    // Actions of the inner controls.
    void fieldChanged(NSObject* sender);
    void cancelPressed(NSObject* sender);
    void scopeChanged(NSObject* sender);

private:
    Ref<UITextField> field_;
    Ref<UIButton> cancelButton_;
    Ref<UISegmentedControl> scopeBar_;
    Ref<NSString> prompt_;
    Ref<UIColor> tintColor_;
    Ref<NSArray> scopeTitles_;
    Weak<UISearchBarDelegate> delegate_;
    UIBarStyle barStyle_ = UIBarStyleDefault;
    NSInteger selectedScope_ = 0;
    bool translucent_ = false;
    bool showsCancel_ = false;
    bool showsBookmark_ = false;
    bool showsScope_ = false;
};
