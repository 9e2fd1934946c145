// The post popup: a full-screen overlay with its own black navigation bar (Cancel, Done) and a
// styled text box above the keyboard, for writing a short text. It grows out of an origin view
// or a rectangle on screen (or zooms in from a point) and shrinks back into it when the text is
// posted. The delegate decides whether the text is posted and hears the result or the cancel.
// Main thread only.
#pragma once

#include "UIKit/UIAlertView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UITextView.h"
#include "ui/core/DZModelViewController.h"

class DZActivityLabel;
class DZPostController;
class DZView;
class NSError;
class UINavigationBar;

// All optional.
class DZPostControllerDelegate {
public:
    virtual ~DZPostControllerDelegate() = default;
    // YES dismisses.
    virtual bool postControllerWillPostText(DZPostController*, NSString*) { return true; }
    // The rectangle to shrink into; an empty one keeps the origin rectangle.
    virtual CGRect postControllerWillAnimateTowards(DZPostController*, CGRect rect) { return rect; }
    virtual void postControllerDidPostText(DZPostController*, NSString*, NSObject*) {}
    virtual void postControllerDidCancel(DZPostController*) {}
};

class DZPostController : public DZPopupViewController,
                         public UITextViewDelegate,
                         public UIAlertViewDelegate {
    NS_OBJECT(DZPostController, DZPopupViewController)
    static void describeClass(RuntimeClass& c);
    bool initWithNibName(NSString* nibName, NSBundle* bundle) override;
    bool initWithNavigatorURL(NSURL* URL, NSDictionary* query) override;
    void dealloc() override;

    // Trimmed of spaces and tabs; empty for nil.
    static Ref<NSString> stripWhitespace(NSString* text);
    void showKeyboard();
    void hideKeyboard();
    CGAffineTransform transformForOrientation();
    void showActivity(NSString* title);
    void layoutTextEditor();
    void showAnimationDidStop();
    void dismissAnimationDidStop();
    void fadeOut();
    void fadeAnimationDidStop();
    void dismissWithCancel();
    void loadView() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;
    void willAnimateRotationToInterfaceOrientation(UIInterfaceOrientation orientation,
                                                   NSTimeInterval duration) override;
    Ref<UIView> rotatingHeaderView() override;
    bool persistView(NSMutableDictionary* state) override;
    void restoreView(NSDictionary* state) override;
    void showInView(UIView* view, bool animated) override;
    void dismissPopupViewControllerAnimated(bool animated) override;
    void alertViewClickedButtonAtIndex(UIAlertView* alert, NSInteger index) override;

    // Reading either loads the view.
    Ref<UITextView> textView();
    Ref<UINavigationBar> navigatorBar();
    Ref<UIView> originView() { return originView_; }
    void setOriginView(UIView* view);
    CGRect originRect() { return originRect_; }
    void setOriginRect(CGRect rect) { originRect_ = rect; }
    void post();
    void cancel();
    void dismissWithResult(NSObject* result, bool animated);
    void failWithError(NSError* error);
    virtual bool willPostText(NSString*) { return true; }
    virtual Ref<NSString> titleForActivity() { return nullptr; }
    virtual Ref<NSString> titleForError(NSError*) { return nullptr; }

    Ref<NSObject> result() { return result_; }
    void setResult(NSObject* result) { result_ = result; }
    Ref<NSObject> delegate() { return delegate_.lock(); }
    void setDelegate(NSObject* delegate) { delegate_ = delegate; }
    // For tests and the shell.
    Ref<UIView> innerView() { return innerView_; }
    Ref<DZView> screenView() { return screenView_; }
    Ref<DZActivityLabel> activityView() { return activityView_; }
    Ref<NSString> defaultText() { return defaultText_; }

private:
    DZPostControllerDelegate* delegateFor(const char* selector);
    // The origin rectangle, else the origin view's frame on screen.
    CGRect startRect();

    Ref<NSObject> result_;
    Ref<NSString> defaultText_;
    CGRect originRect_ = CGRectZero;
    Ref<UIView> originView_;
    Ref<UIView> innerView_;
    Ref<UINavigationBar> navigationBar_;
    Ref<DZView> screenView_;
    Ref<UITextView> textView_;
    Ref<DZActivityLabel> activityView_;
    bool originalStatusBarHidden_ = false;
    UIStatusBarStyle originalStatusBarStyle_ = UIStatusBarStyleDefault;
    bool statusBarSaved_ = false;
    Weak<NSObject> delegate_;
    // The controller's hold on itself while it is shown; one however often it is shown.
    Ref<DZPostController> selfHold_;
};
