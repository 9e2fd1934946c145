// The banner a screen places: 320 by 50 points. It fetches the mediation configuration for the
// host's application key, picks an ad network by weight, lets that network's adapter fetch an
// ad, shows it with a transition, rolls over to the next network by priority when an adapter
// fails, refreshes on a timer, and pings the metrics server for impressions and clicks.
//
// A host calls AdLoomView::requestAdLoomViewWithDelegate(host) and adds the view to a holder
// view of its own; everything else follows from the host's AdLoomDelegate answers.
#pragma once

#include "AdLoom/internal/AWNetworkReachabilityWrapper.h"
#include "AdLoom/internal/AdLoomConfig.h"
#include "AdLoom/internal/AdLoomDelegate.h"
#include "UIKit/UIView.h"

class AdLoomAdNetworkAdapter;
class AdLoomAdNetworkConfig;
class AdLoomConfigStore;
class NSArray;
class NSDate;
class NSError;
class NSMutableArray;
class NSMutableDictionary;
class NSNotification;
class NSNumber;
class NSTimer;

// The tag of the ad on show; a view being replaced gets tag 0.
inline constexpr NSInteger kAdLoomViewAdSubViewTag = 1000;

class AdLoomView : public UIView,
                   public AdLoomConfigDelegate,
                   public AWNetworkReachabilityDelegate {
    NS_OBJECT(AdLoomView, UIView)
    static void describeClass(RuntimeClass& c);

    // ---- class side ------------------------------------------------------------------------
    // Raises "AdLoomIncompleteDelegateException" when the host cannot present full-screen
    // views; otherwise a new banner that has started fetching its configuration.
    static Ref<AdLoomView> requestAdLoomViewWithDelegate(AdLoomDelegate* delegate);
    static void startPreFetchingConfigurationDataWithDelegate(AdLoomDelegate* delegate);
    static void updateAdLoomConfigWithDelegate(AdLoomDelegate* delegate);

    // ---- instance side -----------------------------------------------------------------------
    virtual bool initWithDelegate(AdLoomDelegate* delegate);
    Ref<AdLoomDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(AdLoomDelegate* delegate);

    void startGetConfig();
    void attemptFetchConfig();
    void updateAdLoomConfig();

    void buildPrioritizedAdNetCfgsAndMakeRequest();
    double nextDart();
    Ref<AdLoomAdNetworkConfig> nextNetworkCfgByPercent();
    Ref<AdLoomAdNetworkConfig> nextNetworkCfgByPriority();
    void makeAdRequest(bool isFirst);

    bool canRefresh();
    void timerRequestFreshAd();
    void requestFreshAd();
    void rollOver();

    bool adExists();
    Ref<NSString> mostRecentNetworkName();

    void ignoreAutoRefreshTimer() { ignoreAutoRefreshTimer_ = true; }
    void doNotIgnoreAutoRefreshTimer() { ignoreAutoRefreshTimer_ = false; }
    bool isIgnoringAutoRefreshTimer() { return ignoreAutoRefreshTimer_; }
    void ignoreNewAdRequests() { ignoreNewAdRequests_ = true; }
    void doNotIgnoreNewAdRequests() { ignoreNewAdRequests_ = false; }
    bool isIgnoringNewAdRequests() { return ignoreNewAdRequests_; }

    // metricPing:nid:netType:
    void metricPing(NSURL* endPointBaseURL, NSString* nid, int netType);
    void reportExImpression(NSString* nid, int netType);
    void reportExClick(NSString* nid, int netType);

    CGSize actualAdSize();
    void rotateToOrientation(UIInterfaceOrientation orientation);

    void transitionToView(UIView* view);
    void replaceBannerViewWith(UIView* view) { transitionToView(view); }
    void newAdAnimationDidStop(NSString* animationID, NSNumber* finished, void* context);

    bool isEventATouch30(UIEvent* event);
    bool pointInside(CGPoint point, UIEvent* event) override;
    void willMoveToSuperview(UIView* newSuperview) override;
    // Shown again, a banner whose request waited out of sight makes it.
    void didMoveToWindow() override;
    void requestWhenShown();

    // What adapters report (virtual, so that a host's subclass may watch them). An ad that comes
    // while nobody can see the banner (out of the window, or the ad on show refreshed by its
    // network under a full-screen view) is neither shown nor counted.
    void adRequestReturnsForAdapter(AdLoomAdNetworkAdapter* adapter);
    virtual void adapterDidReceiveAdView(AdLoomAdNetworkAdapter* adapter, UIView* view);
    virtual void adapterDidFailAd(AdLoomAdNetworkAdapter* adapter, NSError* error);
    virtual void adapterDidFinishAdRequest(AdLoomAdNetworkAdapter* adapter);
    // An adapter's ad opens and closes its full-screen view: the flag is up from the one to the
    // other, and the banner keeps that adapter until it closes (its close reaches nobody else).
    // The opening is reported from the tap that starts it, before any fade in: no answer that
    // comes between the tap and the view's showing replaces the ad that opens it.
    void adapterWillPresentFullScreen(AdLoomAdNetworkAdapter* adapter);
    void adapterDidDismissFullScreen(AdLoomAdNetworkAdapter* adapter);

    // The roll-over probe.
    void reachabilityNotReachable(AWNetworkReachabilityWrapper* wrapper) override;
    void reachabilityBecameReachable(AWNetworkReachabilityWrapper* wrapper) override;

    // The configuration.
    void adLoomConfigDidReceiveConfig(AdLoomConfig* config) override;
    void adLoomConfigDidFail(AdLoomConfig* config, NSError* error) override;
    Ref<NSURL> adLoomConfigURL() override;

    void resignActive(NSNotification* notification);
    void becomeActive(NSNotification* notification);

    void notifyDelegateOfErrorWithCode(NSInteger code, NSString* description);
    void notifyDelegateOfError(NSError* error);

    // ---- accessors -----------------------------------------------------------------------------
    Ref<AdLoomConfig> config();
    void setConfig(AdLoomConfig* config);
    Ref<NSMutableArray> prioritizedAdNetCfgs();
    void setPrioritizedAdNetCfgs(NSMutableArray* list);
    Ref<AdLoomAdNetworkAdapter> currAdapter() { return currAdapter_; }
    void setCurrAdapter(AdLoomAdNetworkAdapter* adapter);
    Ref<AdLoomAdNetworkAdapter> lastAdapter() { return lastAdapter_; }
    void setLastAdapter(AdLoomAdNetworkAdapter* adapter);
    Ref<NSDate> lastRequestTime() { return lastRequestTime_; }
    void setLastRequestTime(NSDate* date);
    Ref<NSTimer> refreshTimer() { return refreshTimer_; }
    void setRefreshTimer(NSTimer* timer);
    Ref<NSError> lastError() { return lastError_; }
    // Set and cleared only by the adapter whose view opens and closes (above).
    bool showingModalView() { return showingModalView_; }
    // Not retained: a store that was reset is replaced by the shared one.
    Ref<AdLoomConfigStore> configStore();
    void setConfigStore(AdLoomConfigStore* store);
    Ref<AWNetworkReachabilityWrapper> rollOverReachability() { return rollOverReachability_; }
    void setRollOverReachability(AWNetworkReachabilityWrapper* r);
    Ref<NSArray> testDarts() { return testDarts_; }
    void setTestDarts(NSArray* darts);
    double totalPercent() { return totalPercent_; }
    bool isRequesting() { return requesting_; }
    bool isAppInactive() { return appInactive_; }
    unsigned configFetchAttempts() { return configFetchAttempts_; }
    // Adapters that have not answered, by network type (a test and diagnostic aid).
    NSUInteger pendingAdapterCount();

    void dealloc() override;

protected:
    void dropRefreshTimer();
    // An ad's full-screen view is up: this banner's own or any other's.
    bool fullScreenUp();
    // Detaches an adapter so that it reports to nobody.
    static void detachAdapter(AdLoomAdNetworkAdapter* adapter);
    static bool sameNetwork(AdLoomAdNetworkAdapter* a, AdLoomAdNetworkAdapter* b);

    Weak<AdLoomDelegate> delegate_;
    Ref<AdLoomConfig> config_;
    Ref<NSMutableArray> prioritizedAdNetCfgs_;
    double totalPercent_ = 0;
    bool ignoreAutoRefreshTimer_ = false;
    bool ignoreNewAdRequests_ = false;
    bool appInactive_ = false;
    bool showingModalView_ = false;
    bool requesting_ = false;
    bool leftSuperview_ = false;     // taken out of its holder and not placed again
    bool requestWhenShown_ = false;  // a request came while the banner was out of sight
    Ref<AdLoomAdNetworkAdapter> currAdapter_;
    Ref<AdLoomAdNetworkAdapter> lastAdapter_;
    // The adapter whose ad is on show, kept while it shows: requests that fail after it replace
    // the current and last adapters, and its network still calls it about that ad (a tap).
    Ref<AdLoomAdNetworkAdapter> shownAdapter_;
    // The adapter whose ad's full-screen view is up, until that view closes.
    Ref<AdLoomAdNetworkAdapter> fullScreenAdapter_;
    Ref<NSDate> lastRequestTime_;
    Ref<NSMutableDictionary> pendingAdapters_;
    Ref<NSTimer> refreshTimer_;
    const void* lastNotifyAdapter_ = nullptr;  // identity only
    Ref<NSError> lastError_;
    Weak<AdLoomConfigStore> configStore_;
    Ref<AWNetworkReachabilityWrapper> rollOverReachability_;
    unsigned configFetchAttempts_ = 0;
    Ref<NSArray> testDarts_;
    unsigned testDartIndex_ = 0;
};

// A banner that the host drives by hand: no delegate check, no configuration fetch.
class ARRollerView : public AdLoomView {
    NS_OBJECT(ARRollerView, AdLoomView)
    static Ref<ARRollerView> requestRollerViewWithDelegate(AdLoomDelegate* delegate);
    void getNextAd() { requestFreshAd(); }
    void setDelegateToNil() { setDelegate(nullptr); }
};

// The class-level configuration fetch's answers (what the banner class does as delegate).
Ref<NSURL> AdLoomViewClassConfigURL();
