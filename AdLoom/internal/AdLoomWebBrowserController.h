// The in-app browser a house ad opens: a web view above a tool bar of back, forward, reload or
// stop, open-outside and close. Its layout is the interface "AdLoomWebBrowser".
#pragma once

#include "Foundation/NSArray.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWebView.h"

class AdLoomWebBrowserController;
class NSArray;
class NSURL;
class UIToolbar;

class AdLoomWebBrowserControllerDelegate {
public:
    virtual ~AdLoomWebBrowserControllerDelegate() = default;
    // webBrowserClosed:
    virtual void webBrowserClosed(AdLoomWebBrowserController* controller) = 0;
};

// A tool-bar button whose image is a drawn left arrow.
class AdLoomBackButton : public UIBarButtonItem {
    NS_OBJECT(AdLoomBackButton, UIBarButtonItem)
    void awakeFromNib();
    // The arrow: 25 by 25 pixels, white on clear.
    static Ref<UIImage> arrowImage();
};

class AdLoomWebBrowserController : public UIViewController, public UIWebViewDelegate {
    NS_OBJECT(AdLoomWebBrowserController, UIViewController)
    static void describeClass(RuntimeClass& c);
    // Loads the controller from the interface "AdLoomWebBrowser".
    bool init() override;

    // presentWithController:transition:
    void presentWithController(UIViewController* controller, int transition);
    void loadURL(NSURL* url);

    void back(NSObject* sender);
    void forward(NSObject* sender);
    void stop(NSObject* sender);
    void reload(NSObject* sender);
    void linkOut(NSObject* sender);
    void close(NSObject* sender);

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;
    void didReceiveMemoryWarning() override { super::didReceiveMemoryWarning(); }

    bool webViewShouldStartLoadWithRequest(UIWebView* webView, NSURLRequest* request,
                                           UIWebViewNavigationType navigationType) override;
    void webViewDidStartLoad(UIWebView* webView) override;
    void webViewDidFinishLoad(UIWebView* webView) override;
    void webViewDidFailLoadWithError(UIWebView* webView, NSError* error) override;

    Ref<AdLoomWebBrowserControllerDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(AdLoomWebBrowserControllerDelegate* d) { delegate_ = d; }
    Ref<UIViewController> viewControllerForPresenting() { return presenting_.lock(); }
    void setViewControllerForPresenting(UIViewController* c) { presenting_ = c; }
    Ref<NSArray> loadingButtons() { return loadingButtons_; }
    void setLoadingButtons(NSArray* items) { loadingButtons_ = items; }
    Ref<NSArray> loadedButtons() { return loadedButtons_; }
    void setLoadedButtons(NSArray* items) { loadedButtons_ = items; }

    // Outlets of the interface.
    Ref<UIWebView> webView;
    Ref<UIToolbar> toolBar;
    Ref<UIBarButtonItem> backButton, forwardButton, reloadButton, stopButton, linkOutButton,
        closeButton;

    void dealloc() override;

private:
    void showLoadedState();

    Weak<AdLoomWebBrowserControllerDelegate> delegate_;
    Weak<UIViewController> presenting_;
    Ref<NSArray> loadingButtons_;
    Ref<NSArray> loadedButtons_;
    UINetworkActivityHold pageLoading_;  // the indicator, while its page loads
};

// Enters the interface "AdLoomWebBrowser" (once; the browser does it before loading).
void AdLoomRegisterWebBrowserInterface();
