// Action sheets: a title and buttons that slide up over the bottom of a view's window. Buttons
// given at creation are numbered destructive first, then the others, then cancel; buttons
// added later follow them.
#pragma once

#include "UIKit/UIAlertView.h"

class UIActionSheet;
class UIBarButtonItem;
class UITabBar;
class UIToolbar;

enum UIActionSheetStyle : NSInteger {
    UIActionSheetStyleAutomatic = -1,
    UIActionSheetStyleDefault = 0,
    UIActionSheetStyleBlackTranslucent = 2,
    UIActionSheetStyleBlackOpaque = 1,
};

// Every method optional.
class UIActionSheetDelegate {
public:
    virtual ~UIActionSheetDelegate() = default;
    virtual void actionSheetClickedButtonAtIndex(UIActionSheet*, NSInteger) {}
    virtual void actionSheetCancel(UIActionSheet*) {}
    virtual void willPresentActionSheet(UIActionSheet*) {}
    virtual void didPresentActionSheet(UIActionSheet*) {}
    virtual void actionSheetWillDismissWithButtonIndex(UIActionSheet*, NSInteger) {}
    virtual void actionSheetDidDismissWithButtonIndex(UIActionSheet*, NSInteger) {}
};

class UIActionSheet : public UIButtonPanelView {
    NS_OBJECT(UIActionSheet, UIButtonPanelView)

    bool initWithFrame(CGRect frame) override;
    bool initWithTitle(NSString* title, UIActionSheetDelegate* delegate,
                       NSString* cancelButtonTitle, NSString* destructiveButtonTitle,
                       std::initializer_list<NSString*> otherButtonTitles = {});

    Ref<UIActionSheetDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(UIActionSheetDelegate* delegate) { delegate_ = delegate; }
    // -1 when there is none. The destructive button is drawn red.
    NSInteger destructiveButtonIndex() { return destructiveIndex_; }
    void setDestructiveButtonIndex(NSInteger index);
    UIActionSheetStyle actionSheetStyle() { return style_; }
    void setActionSheetStyle(UIActionSheetStyle style) { style_ = style; }

    // In the view's window, in front of everything there over a dimmed screen (the overlay
    // window, above the keyboard, when the view is in none or the keyboard is up).
    void showInView(UIView* view);
    void showFromTabBar(UITabBar* tabBar);
    void showFromToolbar(UIToolbar* toolbar);
    void showFromBarButtonItem(UIBarButtonItem* item, bool animated);
    void showFromRect(CGRect rect, UIView* view, bool animated);

protected:
    void notifyClicked(NSInteger index) override;
    void notifyWillPresent() override;
    void notifyDidPresent() override;
    void notifyWillDismiss(NSInteger index) override;
    void notifyDidDismiss(NSInteger index) override;

private:
    Weak<UIActionSheetDelegate> delegate_;
    NSInteger destructiveIndex_ = -1;
    UIActionSheetStyle style_ = UIActionSheetStyleAutomatic;
};
