// The client's in-app browser: a full-screen screen with a web view and a toolbar of Back,
// Forward, Reload (a spinner while loading), "View in Safari" and Done. Its web view runs the
// client's command bridge, counts page navigations and keeps the landing page timings. Also the
// client's built-in images. Main thread only.
#pragma once

#include "ads/pebble/PBLViewController.h"
#include "ads/pebble/PBLWebViewDelegate.h"

class NSURL;
class PBLBrowserController;
class UIActivityIndicatorView;
class UIBarButtonItem;
class UIImage;
class UIToolbar;

class PBLIntrinsicImages : public NSObject {
    NS_OBJECT(PBLIntrinsicImages, NSObject)
    // Made once and kept for the life of the process; drawn at double resolution.
    static Ref<UIImage> closeButton();           // 50 x 50 pixels
    static Ref<UIImage> browserBackButton();     // 54 x 54 pixels
    static Ref<UIImage> browserForwardButton();  // 54 x 54 pixels
    // Standard base64 of a PNG → an image of scale 2.
    static Ref<UIImage> createImageFromEncoding(NSString* encoding);
};

class PBLBrowserWebViewDelegate : public PBLWebViewDelegate {
    NS_OBJECT(PBLBrowserWebViewDelegate, PBLWebViewDelegate)
    bool initWithBrowserController(PBLBrowserController* browser);
    void webViewDidStartLoad(UIWebView* webView) override;
    void webViewDidFinishLoad(UIWebView* webView) override;
    void webViewDidFailLoadWithError(UIWebView* webView, NSError* error) override;
    bool webViewShouldStartLoadWithRequest(UIWebView* webView, NSURLRequest* request,
                                           UIWebViewNavigationType navigationType) override;

private:
    Weak<PBLBrowserController> browserController_;
};

class PBLBrowserControllerPrivate : public PBLViewControllerPrivate {
    NS_OBJECT(PBLBrowserControllerPrivate, PBLViewControllerPrivate)
    void dealloc() override;

public:
    Ref<NSURL> urlToLoad_;
    Ref<NSURL> referringURLToLoad_;
    Ref<PBLBrowserWebViewDelegate> webViewDelegate_;
    Ref<UIWebView> webView_;
    Ref<UIToolbar> toolbar_;
    Ref<UIBarButtonItem> flexibleSpaceButton_;
    Ref<UIBarButtonItem> backButton_;
    Ref<UIBarButtonItem> forwardButton_;
    Ref<UIBarButtonItem> reloadButton_;
    Ref<UIBarButtonItem> safariButton_;
    Ref<UIBarButtonItem> doneButton_;
    Ref<UIBarButtonItem> spinnerContainingButton_;
    Ref<UIActivityIndicatorView> spinner_;
};

class PBLBrowserController : public PBLViewController {
    NS_OBJECT(PBLBrowserController, PBLViewController)
    static void describeClass(RuntimeClass& c);

    void load(NSURL* url);
    // Before the screen has appeared the load is kept (the last one wins) and started then.
    void load(NSURL* url, NSURL* referringURL);
    void back();
    void forward();
    void reload();
    void stop();
    // Hands the shown page to the system's browser and marks the break-out for the statistics.
    void openInSafari();
    void refreshToolbar();
    Ref<UIBarButtonItem> buttonWithImage(UIImage* image, NSString* name, int width, bool enabled,
                                         SEL action);
    void createToolbarButtons();
    void viewWillAppear(bool animated) override;
    void didRotateFromInterfaceOrientation(UIInterfaceOrientation from) override;

    Ref<UIToolbar> toolbar();
    void setToolbar(UIToolbar* toolbar);
    Ref<UIWebView> webView();
    void setWebView(UIWebView* webView);
    Ref<PBLBrowserControllerPrivate> vars();

protected:
    Ref<PBLViewControllerPrivate> createPrivateData() override;
    Ref<UIWebView> contentWebView() override { return webView(); }
};
