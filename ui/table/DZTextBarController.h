// The text bar: a popup controller that docks a growing text editor with a Post button at the
// bottom of the screen. When editing begins the bar slides onto the keyboard and the host
// screen's right button becomes Cancel; posting hands the text to the delegate. Main thread.
#pragma once

#include "UIKit/UIAlertView.h"
#include "ui/core/DZModelViewController.h"
#include "ui/table/DZTextEditor.h"

class DZButton;
class DZTextBarController;
class DZView;
class NSError;
class UIBarButtonItem;

// All optional; each gets the controller first.
class DZTextBarDelegate {
public:
    virtual ~DZTextBarDelegate() = default;
    virtual void textBarDidBeginEditing(DZTextBarController*) {}
    virtual void textBarDidEndEditing(DZTextBarController*) {}
    // YES closes the bar.
    virtual bool textBarWillPostText(DZTextBarController*, NSString*) { return true; }
    virtual void textBarDidCancel(DZTextBarController*) {}
};

class DZTextBarController : public DZPopupViewController,
                            public DZTextEditorDelegate,
                            public UIAlertViewDelegate {
    NS_OBJECT(DZTextBarController, DZPopupViewController)
    static void describeClass(RuntimeClass& c);
    bool initWithNavigatorURL(NSURL* URL, NSDictionary* query) override;
    bool init() override { return initWithNavigatorURL(nullptr, nullptr); }
    void dealloc() override;

    virtual void showActivity(NSString*) {}
    virtual void showAnimationDidStop() {}
    void dismissAnimationDidStop();
    void dismissWithCancel();
    void loadView() override;
    void viewDidUnload() override;
    bool persistView(NSMutableDictionary* state) override;
    void restoreView(NSDictionary* state) override;
    void showInView(UIView* view, bool animated) override;
    void dismissPopupViewControllerAnimated(bool animated) override;

    void textEditorDidBeginEditing(DZTextEditor* editor) override;
    void textEditorDidEndEditing(DZTextEditor* editor) override;
    void textEditorDidChange(DZTextEditor* editor) override;
    bool textEditorShouldResizeBy(DZTextEditor* editor, CGFloat delta) override;
    void alertViewClickedButtonAtIndex(UIAlertView* alert, NSInteger index) override;

    // Made on first read.
    Ref<DZTextEditor> textEditor();
    Ref<DZButton> postButton();
    void post();
    void cancel();
    void dismissWithResult(NSObject* result, bool animated);
    void failWithError(NSError* error);
    // Hooks for subclasses.
    virtual bool willPostText(NSString*) { return true; }
    virtual Ref<NSString> titleForActivity() { return nullptr; }
    virtual Ref<NSString> titleForError(NSError*) { return nullptr; }

    Ref<UIView> footerBar() { return footerBar_; }
    void setFooterBar(UIView* footer) { footerBar_ = footer; }
    Ref<NSObject> delegate() { return delegate_.lock(); }
    void setDelegate(NSObject* delegate) { delegate_ = delegate; }
    Ref<NSObject> result() { return result_; }
    Ref<DZView> textBar() { return textBar_; }
    Ref<NSString> defaultText() { return defaultText_; }

private:
    // The delegate when it answers the selector.
    DZTextBarDelegate* delegateFor(const char* selector);

    Ref<NSObject> result_;
    Ref<NSString> defaultText_;
    Ref<DZView> textBar_;
    Ref<DZTextEditor> textEditor_;
    Ref<DZButton> postButton_;
    Ref<UIView> footerBar_;
    CGFloat originTop_ = 0;
    Ref<UIBarButtonItem> previousRightBarButtonItem_;
    Weak<UINavigationItem> hostItem_;
    Weak<NSObject> delegate_;
    // Keeps the controller alive from the start of editing until the bar has slid back.
    Ref<DZTextBarController> selfHold_;
};
