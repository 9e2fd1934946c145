// The client's borderless full-screen screen for rich ads: a transparent web view over the
// whole screen, a small close button in the top left corner and a spinner until the first page
// is in. The page hears "onshow" once it is shown and "onhide" each time it goes. Main thread
// only.
#pragma once

#include "ads/pebble/PBLViewController.h"
#include "ads/pebble/PBLWebViewDelegate.h"

class NSURL;
class PBLWebAppViewControllerPrivate;
class UIActivityIndicatorView;
class UIButton;

class PBLWebAppWebViewDelegate : public PBLWebViewDelegate {
    NS_OBJECT(PBLWebAppWebViewDelegate, PBLWebViewDelegate)
    bool initWithWebAppPrivate(PBLWebAppViewControllerPrivate* webAppPrivate);
    void webViewDidStartLoad(UIWebView* webView) override;
    void webViewDidFinishLoad(UIWebView* webView) override;
    // Posted at once when the page is not loading, else when its load finishes.
    void setPendingOnShow(bool pending);
    // "onshow" goes to the page at most once per delegate.
    void postOnShowEvent();

private:
    Weak<PBLWebAppViewControllerPrivate> webAppPrivate_;
    bool pendingOnShow_ = false;
    bool calledOnShow_ = false;
};

class PBLWebAppViewControllerPrivate : public PBLViewControllerPrivate {
    NS_OBJECT(PBLWebAppViewControllerPrivate, PBLViewControllerPrivate)
    void dealloc() override;

public:
    Ref<NSURL> urlToLoad_;
    Ref<NSString> htmlToLoad_;
    Ref<NSURL> htmlBaseURLToLoad_;
    Ref<PBLWebAppWebViewDelegate> webViewDelegate_;
    Ref<UIWebView> webView_;
    Ref<UIButton> closeButton_;
    bool loaded_ = false;
    Ref<UIActivityIndicatorView> loadingSpinner_;
};

class PBLWebAppViewController : public PBLViewController {
    NS_OBJECT(PBLWebAppViewController, PBLViewController)
    bool init() override;

    // Before the screen has appeared the content is kept; a kept URL wins over kept HTML.
    void load(NSURL* url);
    void loadHTML(NSString* html, NSURL* baseURL);
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    void didRotateFromInterfaceOrientation(UIInterfaceOrientation from) override;

    Ref<UIWebView> webView();
    void setWebView(UIWebView* webView);
    Ref<PBLWebAppViewControllerPrivate> vars();

protected:
    Ref<PBLViewControllerPrivate> createPrivateData() override;
    Ref<UIWebView> contentWebView() override { return webView(); }
};
