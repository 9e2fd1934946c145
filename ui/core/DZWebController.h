// The framework's in-app browser: a web view with a bottom toolbar (back, forward,
// refresh/stop, share), a spinner in the navigation bar while a page loads and the page's title
// as the screen's title. Links only another app can open are handed to the system and their
// load refused; the share sheet offers the page to the system browser. Main thread only.
#pragma once

#include "UIKit/UIActionSheet.h"
#include "UIKit/UIWebView.h"
#include "ui/core/DZModelViewController.h"

class NSURLRequest;
class UIBarButtonItem;
class UIToolbar;

// The owner's delegate; the controller never sends it anything.
class DZWebControllerDelegate {
public:
    virtual ~DZWebControllerDelegate() = default;
};

// The toolbar tags.
enum : NSInteger {
    DZWebControllerForwardTag = 1,
    DZWebControllerBackTag = 2,
    DZWebControllerRefreshStopTag = 3,
};

class DZWebController : public DZModelViewController,
                        public UIWebViewDelegate,
                        public UIActionSheetDelegate {
    NS_OBJECT(DZWebController, DZModelViewController)
    static void describeClass(RuntimeClass& c);

    bool initWithNibName(NSString* nibName, NSBundle* bundle) override;
    bool initWithNavigatorURL(NSURL* URL, NSDictionary* query) override;
    void dealloc() override;

    void openURL(NSURL* URL);
    void openRequest(NSURLRequest* request);
    Ref<NSURL> URL();

    void backAction();
    void forwardAction();
    void refreshAction();
    void stopAction();
    void shareAction();

    void loadView() override;
    void updateToolbarWithOrientation(UIInterfaceOrientation orientation);
    void viewWillAppear(bool animated) override;
    void viewDidUnload() override;
    void viewWillDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;
    void willAnimateRotationToInterfaceOrientation(UIInterfaceOrientation orientation,
                                                   NSTimeInterval duration) override;
    Ref<UIView> rotatingFooterView() override;

    bool persistView(NSMutableDictionary* state) override;
    void restoreView(NSDictionary* state) override;

    Ref<UIView> headerView() { return headerView_; }
    void setHeaderView(UIView* view);

    bool webViewShouldStartLoadWithRequest(UIWebView* webView, NSURLRequest* request,
                                           UIWebViewNavigationType type) override;
    void webViewDidStartLoad(UIWebView* webView) override;
    void webViewDidFinishLoad(UIWebView* webView) override;
    void webViewDidFailLoadWithError(UIWebView* webView, NSError* error) override;
    void actionSheetClickedButtonAtIndex(UIActionSheet* sheet, NSInteger index) override;

    Ref<DZWebControllerDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(DZWebControllerDelegate* delegate) { delegate_ = delegate; }

    // For tests and the shell.
    Ref<UIWebView> webView() { return webView_; }
    Ref<UIToolbar> toolbar() { return toolbar_; }
    Ref<UIActionSheet> actionSheet() { return actionSheet_; }
    Ref<UIBarButtonItem> activityItem() { return activityItem_; }
    Ref<UIBarButtonItem> backButton() { return backButton_; }
    Ref<UIBarButtonItem> forwardButton() { return forwardButton_; }

private:
    void finishLoad();
    void updateHistoryButtons();

    Ref<UIWebView> webView_;
    Ref<UIToolbar> toolbar_;
    Ref<UIView> headerView_;
    Ref<UIBarButtonItem> backButton_;
    Ref<UIBarButtonItem> forwardButton_;
    Ref<UIBarButtonItem> refreshButton_;
    Ref<UIBarButtonItem> stopButton_;
    Ref<UIBarButtonItem> actionButton_;
    Ref<UIBarButtonItem> activityItem_;
    Ref<NSURL> loadingURL_;
    Ref<UIActionSheet> actionSheet_;
    Weak<DZWebControllerDelegate> delegate_;
};
