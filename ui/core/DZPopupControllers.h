// The platform's action sheet and alert view as popup controllers, so that the navigator can
// show them over another controller and each button can carry a URL that is opened through the
// navigator when the button dismisses the sheet. Their views keep the controller alive while
// they are on screen. Main thread only.
#pragma once

#include "UIKit/UIActionSheet.h"
#include "UIKit/UIAlertView.h"
#include "ui/core/DZModelViewController.h"

class DZActionSheetController;
class DZAlertViewController;
class NSMutableArray;

// The delegates: the platform's messages, forwarded when answered, and the URL hook, whose
// answer decides whether the button's URL is opened.
class DZActionSheetControllerDelegate : public UIActionSheetDelegate {
public:
    virtual bool actionSheetControllerDidDismissWithButtonIndexURL(DZActionSheetController*,
                                                                   NSInteger, NSString*) {
        return true;
    }
};

class DZAlertViewControllerDelegate : public UIAlertViewDelegate {
public:
    virtual bool alertViewControllerDidDismissWithButtonIndexURL(DZAlertViewController*, NSInteger,
                                                                 NSString*) {
        return true;
    }
};

// A sheet that holds its controller while it is on screen.
class DZActionSheet : public UIActionSheet {
    NS_OBJECT(DZActionSheet, UIActionSheet)
    Ref<UIViewController> popupViewController() { return popupViewController_; }
    void setPopupViewController(UIViewController* controller) { popupViewController_ = controller; }
    void didMoveToSuperview() override;
    void dealloc() override;

private:
    Ref<UIViewController> popupViewController_;
};

class DZAlertView : public UIAlertView {
    NS_OBJECT(DZAlertView, UIAlertView)
    Ref<UIViewController> popupViewController() { return popupViewController_; }
    void setPopupViewController(UIViewController* controller) { popupViewController_ = controller; }
    void didMoveToSuperview() override;
    void dealloc() override;

private:
    Ref<UIViewController> popupViewController_;
};

class DZActionSheetController : public DZPopupViewController, public UIActionSheetDelegate {
    NS_OBJECT(DZActionSheetController, DZPopupViewController)
    static void describeClass(RuntimeClass& c);
    bool initWithNibName(NSString* nibName, NSBundle* bundle) override;
    bool init() override { return initWithTitle(nullptr, nullptr); }
    bool initWithTitle(NSString* title) { return initWithTitle(title, nullptr); }
    bool initWithTitle(NSString* title, DZActionSheetControllerDelegate* delegate);
    void dealloc() override;
    void loadView() override;
    bool persistView(NSMutableDictionary*) override { return false; }
    void showInView(UIView* view, bool animated) override;
    void dismissPopupViewControllerAnimated(bool animated) override;

    Ref<DZActionSheet> actionSheet();
    NSInteger addButtonWithTitle(NSString* title, NSString* URL);
    NSInteger addCancelButtonWithTitle(NSString* title, NSString* URL);
    NSInteger addDestructiveButtonWithTitle(NSString* title, NSString* URL);
    Ref<NSString> buttonURLAtIndex(NSInteger index);

    void actionSheetClickedButtonAtIndex(UIActionSheet* sheet, NSInteger index) override;
    void actionSheetCancel(UIActionSheet* sheet) override;
    void willPresentActionSheet(UIActionSheet* sheet) override;
    void didPresentActionSheet(UIActionSheet* sheet) override;
    void actionSheetWillDismissWithButtonIndex(UIActionSheet* sheet, NSInteger index) override;
    void actionSheetDidDismissWithButtonIndex(UIActionSheet* sheet, NSInteger index) override;

    Ref<DZActionSheetControllerDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(DZActionSheetControllerDelegate* delegate) { delegate_ = delegate; }
    Ref<NSObject> userInfo() { return userInfo_; }
    void setUserInfo(NSObject* info) { userInfo_ = info; }

private:
    Ref<NSObject> userInfo_;
    Ref<NSMutableArray> URLs_;
    Weak<DZActionSheetControllerDelegate> delegate_;
};

class DZAlertViewController : public DZPopupViewController, public UIAlertViewDelegate {
    NS_OBJECT(DZAlertViewController, DZPopupViewController)
    static void describeClass(RuntimeClass& c);
    bool initWithNibName(NSString* nibName, NSBundle* bundle) override;
    bool init() override { return initWithTitle(nullptr, nullptr, nullptr); }
    bool initWithTitle(NSString* title, NSString* message) {
        return initWithTitle(title, message, nullptr);
    }
    bool initWithTitle(NSString* title, NSString* message, DZAlertViewControllerDelegate* delegate);
    void dealloc() override;
    void loadView() override;
    bool persistView(NSMutableDictionary*) override { return false; }
    void showInView(UIView* view, bool animated) override;
    void dismissPopupViewControllerAnimated(bool animated) override;

    Ref<DZAlertView> alertView();
    NSInteger addButtonWithTitle(NSString* title, NSString* URL);
    NSInteger addCancelButtonWithTitle(NSString* title, NSString* URL);
    Ref<NSString> buttonURLAtIndex(NSInteger index);

    void alertViewClickedButtonAtIndex(UIAlertView* alert, NSInteger index) override;
    void alertViewCancel(UIAlertView* alert) override;
    void willPresentAlertView(UIAlertView* alert) override;
    void didPresentAlertView(UIAlertView* alert) override;
    void alertViewWillDismissWithButtonIndex(UIAlertView* alert, NSInteger index) override;
    void alertViewDidDismissWithButtonIndex(UIAlertView* alert, NSInteger index) override;

    Ref<DZAlertViewControllerDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(DZAlertViewControllerDelegate* delegate) { delegate_ = delegate; }
    Ref<NSObject> userInfo() { return userInfo_; }
    void setUserInfo(NSObject* info) { userInfo_ = info; }

private:
    Ref<NSObject> userInfo_;
    Ref<NSMutableArray> URLs_;
    Weak<DZAlertViewControllerDelegate> delegate_;
};
