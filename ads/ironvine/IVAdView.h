// A banner slot's view: the thin public front IVAdView that a host puts in its layout, and
// IVAdViewInternal, the controller that owns the web view running the display script, its bridge
// and handlers, the refresh timing, impressions, the link policy and the delegate calls.
// "BridgeDisplay" is the display script's own handler. Main thread.
#pragma once

#include <cstdint>

#include "UIKit/UIAccelerometer.h"
#include "UIKit/UIView.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWebView.h"
#include "ads/ironvine/IVAdEngine.h"
#include "ads/ironvine/IVAdManager.h"
#include "ads/ironvine/IVCommandHandler.h"
#include "ads/ironvine/IVDownloadConnection.h"

class IVAdViewInternal;
class IVApplicationCommandHandler;
class IVAudioCommandHandler;
class IVCocoaCommandHandler;
class IVJavascriptBridge;
class IVStandardCommandHandler;
class NSArray;
class NSMutableArray;
class NSTimer;
class UIActivityIndicatorView;
class UINavigationBar;
class UINavigationItem;
class UISegmentedControl;

class IVDisplayCommandHandler : public IVCommandHandler {
    NS_OBJECT(IVDisplayCommandHandler, IVCommandHandler)
    static void describeClass(RuntimeClass& c);
    bool initWithAdController(IVAdViewInternal* controller);

    void bridge_notifyAdDisplayFailedForSlotNamed(NSString* name);
    void bridge_notifyAdReadyDelayed(NSString* name);
    void bridge_notifyAdContentDidLoad();
    void bridge_notifyAdContentWillLoad();
    void bridge_notifyAdViewNeedsDisplay();
    void bridge_dismiss();
    void bridge_getViewBoundsWithCallback(NSString* callback);
    void bridge_captureAccelerometer(NSString* interval);
    void bridge_sendDriverCommand(NSString* command);
    void bridge_requestURL(NSString* url);
    void bridge_pingURLTimeoutCallback(NSString* url, NSString* timeout, NSString* callback);
    void bridge_pingURL(NSString* url);
    void bridge_trackImpression();
    void bridge_prepareActionSheet();
    void bridge_addButtonToActionSheetCallback(NSString* title, NSString* callback);
    void bridge_displayActionSheet();
    void bridge_expand();
    void bridge_requestClickthroughWithCallback(NSString* callback);

private:
    // The controller owns this handler through its bridge.
    Weak<IVAdViewInternal> controller_;
};

class IVAdViewInternal : public UIViewController,
                         public IVDownloadConnectionDelegate,
                         public UIAccelerometerDelegate,
                         public UIWebViewDelegate,
                         public IVAdDownloadListener {
    NS_OBJECT(IVAdViewInternal, UIViewController)
    static void describeClass(RuntimeClass& c);
    static Ref<NSURL> baseURL();

    // Raises "IVAdViewInternal initialization error." when the slot is unknown to the ad manager.
    bool initWithSlot(IVAdSlot* slot, IronvineDelegate* delegate, double refreshInterval);
    void dealloc() override;

    // The web view on show: a banner's in-ad browser page while it is up, else the ad's.
    Ref<UIWebView> webView() { return pageView_ ? pageView_ : webView_; }
    Ref<IVJavascriptBridge> bridge() { return bridge_; }
    Ref<IVAdSlot> slot() { return slot_; }
    bool isBrowserMode() { return isBrowserMode_; }
    bool shouldWipeContentOnDismiss() { return shouldWipeContentOnDismiss_; }
    bool isRefreshing() { return isRefreshing_; }
    double refreshInterval() { return refreshInterval_; }
    // Raises for an interval above 0 and below the minimum; 0 or less turns refresh off.
    void setRefreshInterval(double seconds);
    // Held weakly: a host's delegate often owns the view, and a freed one must not be called.
    void setDelegate(IronvineDelegate* delegate) { delegate_ = delegate; }
    Ref<IronvineDelegate> delegate() { return delegate_.lock(); }
    int32_t execMode() { return execMode_; }
    void setExecMode(int32_t mode);
    // Full screen: the mode is taken without telling the script, which learns it from the ad.
    void setExecModeSilently(int32_t mode) { execMode_ = mode; }
    // The full-screen controller's slot changes per display.
    void setSlot(IVAdSlot* slot) { slot_ = slot; }

    void loadScriptAndExecute(NSString* command);
    void loadScriptAndExecuteCallback(NSString* command, NSData* data);
    void adDownloadedForSlotNamed(NSString* name) override;
    void requestDisplay(bool automatic);
    bool display();
    void refresh();
    bool isAdReady();
    virtual void adContentWillLoad() {}
    virtual void adContentDidLoad();
    void adContentAnimationFinished();
    virtual void adDisplayFailedForSlotNamed(NSString* name);
    void adReadyDelayed(NSString* name) { notifyDelegateAdReadyForSlotNamed(name); }
    void adViewNeedsDisplay();
    void adDisplayed();
    virtual void applicationWillEnterForeground();
    // Tells the delegate when it answers the call; returns whether it was told.
    bool sendDelegateNotification(SEL selector, NSObject* object);
    bool sendDelegateNotification(SEL selector) {
        return sendDelegateNotification(selector, nullptr);
    }
    virtual bool notifyDelegateAdReadyForSlotNamed(NSString* name);
    bool notifyDelegateDidReceiveMemoryWarning();
    // The engine's sounds stop first.
    bool notifyDelegateFullScreenAdDisplayWillClose();
    bool notifyDelegateFullScreenAdDisplayWillOpen();
    bool notifyDelegateAdDisplayFailed() { return true; }
    void adDisplayFailed() {}
    // The ad's view keeps its orientation; the full-screen window turns it.
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation) override { return false; }
    // The view holds the running ad's page: a memory warning must not drop it.
    void didReceiveMemoryWarning() override {}
    virtual UIView* containerView();
    virtual bool controlsFullScreenSlot() { return false; }
    // The web view fills the view; the script centres its ad.
    virtual void layout();
    // The full-screen window's news: the host's delegate hears of opening and closing.
    void fullScreenAdWindowWillOpen();
    void fullScreenAdWindowWillClose();
    void fullScreenAdWindowDidClose();

    void trackImpression();
    void fetchUrlsStashedInDB(NSArray* rows);
    void fetchUrl(NSString* url, double timeout, NSString* callback);
    void fetchUrl(NSString* url) { fetchUrl(url, 0, nullptr); }
    void requestPage(NSURL* url);
    // A banner's pages open in a web view of their own over the ad's, which stays loaded
    // beneath: closed, the banner is back in its slot whole, its ad shown and tappable.
    void openPageView();
    // The page, still where it stands (for the full-screen window to fade out), or nil.
    Ref<UIWebView> detachPageView();
    void closePageView();
    // The in-ad browser: a bar with back and forward, and a done button that comes later.
    Ref<UINavigationBar> navigationBar() { return navigationBar_; }
    Ref<UISegmentedControl> navigationControls() { return navigationControls_; }
    Ref<UINavigationItem> navigationItem() { return navigationItem_; }
    virtual void prepareAdViewBrowserMode(bool on);
    void segmentedControlValueChanged(NSObject* sender);
    void hideNavigationExitItem();
    void showNavigationExitItem();
    void hideNavigationBar();
    void showNavigationBar();
    void disableNavigationControls();
    void enableNavigationControls();
    // The bar's spinner turns while a page of the in-ad browser loads; done shows when it stops.
    Ref<UIActivityIndicatorView> navigationLoadingIndicator() {
        return navigationLoadingIndicator_;
    }
    bool isLoading() { return isLoading_; }
    void hideNavigationLoadingIndicatorItem();
    void showNavigationLoadingIndicatorItem();
    void markAsLoading(bool loading);
    void webViewDidStartLoad(UIWebView* webView) override;
    void webViewDidFinishLoad(UIWebView* webView) override;
    void webViewDidFailLoadWithError(UIWebView* webView, NSError* error) override;
    // A banner moves into the full-screen window.
    void expand();
    bool isExpanded() { return isExpanded_; }
    void adViewWillExpand();
    void adViewDidCollapse();
    // Another app takes the URL; the window's flag and a shown ad are let go once this app
    // has gone to the background for it.
    void handleClickthroughToExternalAppURL(NSURL* url);
    void applicationDidLoadExternalAppURL();
    virtual void dismissAnimated(bool animated);
    void dismiss() { dismissAnimated(true); }

    void downloadTimedOut(IVDownloadConnection* connection) override;
    void downloadFailed(IVDownloadConnection* connection) override;
    void downloadSucceeded(IVDownloadConnection* connection) override;
    void accelerometer(UIAccelerometer* accelerometer, UIAcceleration* acceleration) override;

    bool webViewShouldStartLoadWithRequest(UIWebView* webView, NSURLRequest* request,
                                           UIWebViewNavigationType type) override;

protected:
    void finishDownload(IVDownloadConnection* connection, int outcome);
    // The web view on show takes the view's bounds, less the bar while it is shown.
    void placeWebView();

    Ref<UIWebView> webView_;
    Ref<UIWebView> pageView_;
    int32_t execMode_ = 0;
    Ref<IVJavascriptBridge> bridge_;
    Ref<IVStandardCommandHandler> standardHandler_;
    Ref<IVApplicationCommandHandler> applicationHandler_;
    Ref<IVAudioCommandHandler> audioHandler_;
    Ref<IVCocoaCommandHandler> cocoaHandler_;
    Ref<IVDisplayCommandHandler> displayHandler_;
    bool isBrowserMode_ = false;
    bool shouldWipeContentOnDismiss_ = false;
    Ref<IVAdSlot> slot_;
    Weak<IronvineDelegate> delegate_;
    bool isExpanded_ = false;
    double lastDisplayTime_ = 0;
    // The banner's display time before it expanded: its ad is on show again when it comes back.
    double displayedBeforeExpanding_ = 0;
    double refreshInterval_ = 0;
    bool isRefreshing_ = false;
    bool hasDisplayedCurrentAd_ = false;
    Ref<NSTimer> delayedDisplay_;
    Ref<NSMutableArray> connections_;
    Ref<UINavigationBar> navigationBar_;
    Ref<UISegmentedControl> navigationControls_;
    Ref<UINavigationItem> navigationItem_;
    Ref<UIActivityIndicatorView> navigationLoadingIndicator_;
    bool isLoading_ = false;
    bool observingBackground_ = false;
    Ref<NSTimer> exitItemTimer_;
    void scheduleExitItem();
};

class IVAdView : public UIView {
    NS_OBJECT(IVAdView, UIView)
    // Raises for a code outside 1..5.
    static CGSize sizeForIVAdSize(IVAdSize size) { return IVSizeForAdSize(size); }
    // The slot's one view, made and registered on first use; a later call hands it the new
    // delegate and interval. Raises "IVAdView retrieval failure." for an unknown slot.
    static Ref<IVAdView> adViewForSlotNamed(NSString* name, IronvineDelegate* delegate,
                                            double refreshInterval);
    static Ref<IVAdView> adViewForSlotNamed(NSString* name, IronvineDelegate* delegate) {
        return adViewForSlotNamed(name, delegate, 0);
    }

    bool initWithSlot(IVAdSlot* slot, IronvineDelegate* delegate, double refreshInterval);
    // The display pass: the waiting ad becomes the current one.
    void drawRect(CGRect rect) override;
    void applicationWillEnterForeground();
    void setRefreshInterval(double seconds);
    void setDelegate(IronvineDelegate* delegate);
    Ref<IVAdViewInternal> controller() { return controller_; }
    void refresh();

private:
    Ref<IVAdViewInternal> controller_;
};
