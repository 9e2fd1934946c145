// The ad engine behind a banner: fetches the support script, lets it build the ad URL in a
// hidden page, fetches and shows the ad page, tracks impressions and clicks and refreshes on
// the page's interval. Main thread only.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIViewController.h"
#include "ads/pebble/PBLCachedFile.h"
#include "ads/pebble/PBLClickTracker.h"
#include "ads/pebble/PBLWebViewDelegate.h"

class NSMutableArray;
class NSMutableSet;
class NSNotification;
class NSSet;
class NSTimer;
class NSURL;
class PBLBannerView;
class PBLBannerWebViewDelegate;
class PBLDelegateManager;
class PBLRequestPrivate;
class UIViewController;
class UIWebView;

enum PBLObjectState : int {
    PBLStateIdle = 0,
    PBLStateFetchingScript = 1,
    PBLStateScriptFailed = 2,
    PBLStateBuildingAdURL = 3,
    PBLStateFetchingAd = 4,
    PBLStateRendering = 5,
    PBLStateShowing = 6,
    PBLStateFailed = 7,
};

class PBLObjectPrivate : public NSObject,
                         public PBLCachedFileDelegate,
                         public PBLClickTrackerDelegate {
    NS_OBJECT(PBLObjectPrivate, NSObject)
    bool initWithView(PBLBannerView* view);
    // An engine without a banner (the interstitial's), its web view of the frame.
    bool initWithFrame(CGRect frame);
    void dealloc() override;

    void loadRequest(NSObject* request);
    void loadInterstitialRequest(NSObject* request);
    void loadPrivateRequest(NSObject* request, bool autoRefresh);
    void cancelPendingActions();
    void trackURLs(NSArray* urls);
    // The same for a tap's click URLs, whose trackers count as its click-through.
    void trackClickURLs(NSArray* urls);
    void changeState(int state) { state_ = state; }
    int state() { return state_; }
    bool isMakingRequest();
    bool isAppActive();
    bool supportsMinimumRequirementsForRequest(PBLRequestPrivate* request);

    Ref<PBLDelegateManager> delegateManager() { return delegateManager_; }
    Ref<UIWebView> webView() { return webView_; }
    void setWebView(UIWebView* webView) { webView_ = webView; }
    // The ad page of the current load.
    Ref<PBLCachedFile> adHTML() { return adHTML_; }
    Ref<UIViewController> rootViewController() { return rootViewController_.lock(); }
    void setRootViewController(UIViewController* c) { rootViewController_ = c; }
    Ref<NSString> adUnitID() { return adUnitID_; }
    void setAdUnitID(NSString* adUnitID);
    bool hasAutoRefreshed() { return hasAutoRefreshed_; }
    Ref<PBLRequestPrivate> request() { return request_; }
    // The ad page as it was rendered: its text trimmed, and its final URL.
    Ref<NSString> adHTMLString();
    Ref<NSURL> adHTMLBaseURL();
    Ref<NSArray> pendingTrackingURLs();
    Ref<NSArray> pendingClickURLs();
    // The click trackers still in flight.
    Ref<NSSet> pendingTrackers();
    int supportedOrientations() { return supportedOrientations_; }
    // The interval of the armed refresh, 0 when none is armed.
    double scheduledReloadSeconds();

    // "pebble" 4, "xfp" 5, "adsense" 1, anything else 0.
    static int requestTypeFromString(NSString* type);
    // Splits a header at single spaces into URLs, appended to the array (made when needed).
    static Ref<NSMutableArray> createOrReuseArrayOfURLsFromHeader(NSMutableArray* array,
                                                                  NSString* header);

    void cachedFileDownloadDidEnd(PBLCachedFile* file) override;
    void cachedFileDownloadDidFail(PBLCachedFile* file, NSError* error) override;
    Ref<NSError> cachedFileShouldRedirectToURL(PBLCachedFile* file, NSURL* url) override;
    void trackerDidFailWithError(PBLClickTracker*, NSError*) override;
    void trackerDidRedirect(PBLClickTracker*, NSURL*) override;

    // Trackers still running (a test aid).
    size_t trackerCount();
    // Whether an earlier tap's click-through is under way: a click tracking of the ad or of
    // a command it sent is out, or a screen it opened is up.
    bool clickThroughOut();

    // From the ad's web view delegate.
    void adDidRender();
    void adDidFailToRender();

private:
    static Ref<PBLRequestPrivate> privateRequestWithRequest(NSObject* request);
    void ensureSupportFiles();
    void buildAdUrl();
    void setupBuildAdWebView(NSString* html);
    void resetBuildAdWebView();
    void buildAdURLTimedOut();
    void loadAdURL(NSNotification* note);
    void invalidRequest(NSNotification* note);
    void unableToServe(NSNotification* note);
    void refuseRequest(NSNotification* note, const char* format);
    void appDidBackground(NSNotification* note);
    void appDidForeground(NSNotification* note);
    void scheduleCleanup();
    void setAdHTML(PBLCachedFile* file);
    void processHTTPHeaders(PBLCachedFile* file);
    void showAd();
    void failedToDownloadJavaScript();
    void failedAdRequest(PBLCachedFile* file);
    void fail(int code, int state);
    void addReloadInformationFromHeaders();
    void scheduleReloadTimer(double seconds);
    void resetReloadTimer();
    void cleanupTrackers();
    void observe(NSNotificationCenter* center, NSString* name, NSObject* object,
                 void (PBLObjectPrivate::*handler)(NSNotification*),
                 std::vector<Ref<NSObject>>& into);

    int state_ = PBLStateIdle;
    int supportedOrientations_ = 1;
    bool hasAutoRefreshed_ = false;
    Weak<PBLBannerView> adView_;
    Weak<UIViewController> rootViewController_;
    Ref<NSString> adUnitID_;
    Ref<PBLDelegateManager> delegateManager_;
    Ref<UIWebView> webView_;
    Ref<PBLBannerWebViewDelegate> webViewDelegate_;
    Ref<UIWebView> buildAdWebView_;
    Ref<PBLWebViewDelegate> buildAdWebViewDelegate_;
    Ref<NSTimer> buildTimer_;  // fails a load whose script never answers
    Ref<PBLCachedFile> scriptFile_;
    Ref<PBLCachedFile> adHTML_;
    Ref<PBLRequestPrivate> request_;
    Ref<NSMutableArray> pendingTrackingURLs_;
    Ref<NSMutableArray> pendingClickURLs_;
    Ref<NSMutableArray> trackers_;
    // The click trackers of the last tap (the others track impressions).
    Ref<NSArray> clickTrackers_;
    Ref<NSTimer> reloadTimer_;
    double reloadSeconds_ = 0;
    std::vector<Ref<NSObject>> observers_;       // the application's and full-screen notes
    std::vector<Ref<NSObject>> buildObservers_;  // the hidden page's answers
};

// The delegate of the ad's own web view: renders, and in state 6 turns every navigation into a
// click on the shown ad.
class PBLBannerWebViewDelegate : public PBLWebViewDelegate {
    NS_OBJECT(PBLBannerWebViewDelegate, PBLWebViewDelegate)
    bool initWithObjectPrivate(PBLObjectPrivate* engine);
    void webViewDidFinishLoad(UIWebView* webView) override;
    void webViewDidFailLoadWithError(UIWebView* webView, NSError* error) override;
    bool webViewShouldStartLoadWithRequest(UIWebView* webView, NSURLRequest* request,
                                           UIWebViewNavigationType navigationType) override;

private:
    Weak<PBLObjectPrivate> engine_;
};
