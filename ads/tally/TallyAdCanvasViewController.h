// The vendor's full-screen canvas: a page from the canvas endpoint in a window of its own above
// the status bar, with its own navigation bar ("Info", Cancel, Back), a loading indicator and,
// below the page, a drawer of canvas banners the user drags up and down. Store links in the page
// are followed by the redirect follower instead of loading. At most one canvas window is open.
#pragma once

#include "UIKit/UIApplication.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWebView.h"
#include "ads/place/AdFullScreen.h"
#include "ads/tally/TallyAdImpression.h"

class NSString;
class NSURLConnection;
class UIActivityIndicatorView;
class UIWindow;

// The drawer under the page: dragging moves it between its limits and the page's bottom edge
// follows; a tap drops it from the top or raises it fully.
class TallyAdListView : public UIView {
    NS_OBJECT(TallyAdListView, UIView)
    void touchesBegan(NSSet* touches, UIEvent* event) override;
    void touchesMoved(NSSet* touches, UIEvent* event) override;
    void touchesEnded(NSSet* touches, UIEvent* event) override;
    void touchesCancelled(NSSet* touches, UIEvent* event) override;
    void dragToYPosition(float y);
    void dragByYDisplacement(float d);
    void updateWebViewFrame(float d);

    int32_t upperLocationLimit() { return upper_; }
    void setUpperLocationLimit(int32_t y) { upper_ = y; }
    int32_t lowerLocationLimit() { return lower_; }
    void setLowerLocationLimit(int32_t y) { lower_ = y; }
    Ref<UIView> webView() { return webView_.lock(); }
    void setWebView(UIView* view) { webView_ = view; }

private:
    CGPoint lastLocation_ = {0, 0};
    float lastDisplacement_ = 0;
    bool dragInProgress_ = false;
    int32_t upper_ = 0, lower_ = 0;
    Weak<UIView> webView_;
};

// Keeps the canvas bar's item stack; popping an item pops the canvas under it.
class TallyAdNavigationDelegate : public NSObject,
                                  public UINavigationBarDelegate,
                                  public UINavigationControllerDelegate {
    NS_OBJECT(TallyAdNavigationDelegate, NSObject)
    bool initWithNavigationController(UINavigationController* controller);
    bool navigationBarShouldPopItem(UINavigationBar* bar, UINavigationItem* item) override;
    Ref<NSMutableArray> navItems() { return navItems_; }
    Ref<UINavigationController> navigationController() { return navigationController_.lock(); }

private:
    Ref<NSMutableArray> navItems_;
    Weak<UINavigationController> navigationController_;
};

class TallyAdCanvasViewController : public UIViewController, public UIWebViewDelegate {
    NS_OBJECT(TallyAdCanvasViewController, UIViewController)
    static void describeClass(RuntimeClass& c);

    bool init() override;  // titled "Info"
    void dealloc() override;

    // Opens the canvas in a window of its own above the app's, and makes it the open canvas.
    void createCanvasWindow();
    // Closes it after the closing animation: its window goes, the app's window is key again,
    // and no canvas is open.
    void cancel();
    void removeCanvasWindow();
    double canvasAnimationDuration() { return canvasAnimated_ ? 0.3 : 0.0; }

    void loadView() override;
    void createViewElements();
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void adjustForStatusBar(UIView* view);

    bool webViewShouldStartLoadWithRequest(UIWebView* webView, NSURLRequest* request,
                                           UIWebViewNavigationType type) override;
    void webViewDidStartLoad(UIWebView* webView) override;
    void webViewDidFinishLoad(UIWebView* webView) override;
    void webViewDidFailLoadWithError(UIWebView* webView, NSError* error) override;

    static Ref<TallyAdCanvasViewController> getOpenCanvasController();
    static void setOpenCanvasController(TallyAdCanvasViewController* controller);
    static void freeOpenCanvasController();

    Ref<NSString> webUrl() { return webUrl_; }
    void setWebUrl(NSString* url);
    // Kept: the impression goes on recording while the canvas shows.
    Ref<TallyAdImpression> adImpression() { return adImpression_; }
    void setAdImpression(TallyAdImpression* impression) { adImpression_ = impression; }
    Ref<NSObject> ad() { return ad_; }
    void setAd(NSObject* ad) { ad_ = ad; }
    Ref<NSObject> adDelegate() { return adDelegate_.lock(); }
    void setAdDelegate(NSObject* delegate) { adDelegate_ = delegate; }
    Ref<NSString> canvasOrientation() { return canvasOrientation_; }
    void setCanvasOrientation(NSString* orientation);
    bool canvasAnimated() { return canvasAnimated_; }
    void setCanvasAnimated(bool animated) { canvasAnimated_ = animated; }
    // The canvas window while this canvas has it open.
    Ref<UIWindow> canvasWindow();
    Ref<UIWebView> webView() { return webView_; }
    Ref<UIActivityIndicatorView> loadingView() { return loadingView_; }
    Ref<TallyAdListView> adListView() { return adListView_; }
    Ref<UINavigationBar> navBar() { return navBar_; }
    Ref<UIView> backView() { return backView_; }
    Ref<NSURLConnection> appStoreConnection() { return appStoreConnection_; }

private:
    bool landscape();
    void showLoading(bool shown);

    Ref<NSString> webUrl_;
    Ref<NSString> canvasOrientation_;
    Ref<TallyAdImpression> adImpression_;
    Ref<UIActivityIndicatorView> loadingView_;
    Ref<UIWebView> webView_;
    Ref<TallyAdListView> adListView_;
    bool loaded_ = false;
    UINetworkActivityHold pageLoading_;  // the indicator, while its page loads
    Ref<NSObject> ad_;
    Ref<NSURLConnection> appStoreConnection_;
    Ref<UINavigationBar> navBar_;
    Weak<NSObject> adDelegate_;
    Ref<UIView> backView_;
    bool canvasAnimated_ = false;
    Ref<UINavigationController> navigation_;  // the window's, while this canvas has it open
    AdFullScreenHold fullScreen_;  // while its window is open no banner refreshes under it
    Ref<TallyAdNavigationDelegate> navigationDelegate_;
};
