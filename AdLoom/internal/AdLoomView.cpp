#include "AdLoom/internal/AdLoomView.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "AdLoom/internal/AdLoomAdNetworkAdapter.h"
#include "AdLoom/internal/AdLoomConfigStore.h"
#include "AdLoom/internal/AdLoomError.h"
#include "AdLoom/internal/AdLoomHosts.h"
#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIWindow.h"
#include "URLLoading/NSURLConnection.h"
#include "ads/place/AdFullScreen.h"

namespace {

constexpr int kAppVersion = 300;
// The shortest time between two requests, and the shortest refresh period (the single-precision
// 4.9 the server's tools use, widened).
constexpr double kMinRequestInterval = static_cast<double>(4.9f);

bool gRandomSeeded = false;

void seedRandomIfNeeded() {
    if (gRandomSeeded) return;
    srandom(static_cast<unsigned>(CFAbsoluteTimeGetCurrent()));
    gRandomSeeded = true;
}

// The banner class as a configuration delegate: the class-level fetch without a view.
class AdLoomViewClassFetch : public NSObject, public AdLoomConfigDelegate {
    NS_OBJECT(AdLoomViewClassFetch, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements(
            {"adLoomConfigDidReceiveConfig:", "adLoomConfigDidFail:error:", "adLoomConfigURL"});
    }
    static Ref<AdLoomViewClassFetch> shared() {
        static ProcessWide<AdLoomViewClassFetch> instance;
        return instance.get();
    }
    void adLoomConfigDidReceiveConfig(AdLoomConfig* config) override {
        AdLoomLogDebug(NS("Fetched Ad network config: %@"), config);
        auto d = keptDelegate.lock();
        if (AdLoomDelegateAnswers(d.get(), "adLoomDidReceiveConfig:"))
            d->adLoomDidReceiveConfig(nullptr);
        keptDelegate = nullptr;
    }
    void adLoomConfigDidFail(AdLoomConfig*, NSError* error) override {
        AdLoomLogError(NS("Failed pre-fetching AdLoom config: %@"), error);
        keptDelegate = nullptr;
    }
    Ref<NSURL> adLoomConfigURL() override { return AdLoomViewClassConfigURL(); }

    Weak<AdLoomDelegate> keptDelegate;
};

}  // namespace

Ref<NSURL> AdLoomViewClassConfigURL() {
    auto d = AdLoomViewClassFetch::shared()->keptDelegate.lock();
    if (!AdLoomDelegateAnswers(d.get(), "adLoomConfigURL")) return nullptr;
    return d->adLoomConfigURL();
}

void AdLoomView::describeClass(RuntimeClass& c) {
    c.method("startGetConfig", &AdLoomView::startGetConfig);
    c.method("attemptFetchConfig", &AdLoomView::attemptFetchConfig);
    c.method("updateAdLoomConfig", &AdLoomView::updateAdLoomConfig);
    c.method("buildPrioritizedAdNetCfgsAndMakeRequest",
             &AdLoomView::buildPrioritizedAdNetCfgsAndMakeRequest);
    c.method("timerRequestFreshAd", &AdLoomView::timerRequestFreshAd);
    c.method("requestFreshAd", &AdLoomView::requestFreshAd);
    c.method("requestWhenShown", &AdLoomView::requestWhenShown);
    c.method("rollOver", &AdLoomView::rollOver);
    c.method("transitionToView:", &AdLoomView::transitionToView);
    c.method("newAdAnimationDidStopWithAnimationID:finished:context:",
             &AdLoomView::newAdAnimationDidStop);
    c.method("resignActive:", &AdLoomView::resignActive);
    c.method("becomeActive:", &AdLoomView::becomeActive);
    c.implements({"adLoomConfigDidReceiveConfig:", "adLoomConfigDidFail:error:", "adLoomConfigURL",
                  "reachabilityBecameReachable:", "reachabilityNotReachable:"});
}

// ---- class side ----------------------------------------------------------------------------

Ref<AdLoomView> AdLoomView::requestAdLoomViewWithDelegate(AdLoomDelegate* delegate) {
    if (!AdLoomDelegateAnswers(delegate, "viewControllerForPresentingModalView"))
        NSException::raiseWithReason(
            NS("AdLoomIncompleteDelegateException"),
            NS("AdLoomDelegate must implement viewControllerForPresentingModalView"), nullptr);
    auto view = make<AdLoomView>(&AdLoomView::initWithDelegate, delegate);
    view->startGetConfig();
    return view;
}

namespace {
// One class-level fetch at a time: the kept delegate marks it.
void classFetch(AdLoomDelegate* delegate, NSString* busyWarning, bool fresh) {
    auto fetch = AdLoomViewClassFetch::shared();
    if (fetch->keptDelegate.lock()) {
        AdLoomLogWarning(busyWarning);
        return;
    }
    fetch->keptDelegate = delegate;
    auto store = AdLoomConfigStore::sharedStore();
    auto key = delegate->adLoomApplicationKey();
    if (fresh)
        store->fetchConfig(key.get(), fetch.get());
    else
        store->getConfig(key.get(), fetch.get());
}
}  // namespace

void AdLoomView::startPreFetchingConfigurationDataWithDelegate(AdLoomDelegate* delegate) {
    classFetch(delegate, NS("Called startPreFetchingConfig when another fetch is in progress"),
               false);
}

void AdLoomView::updateAdLoomConfigWithDelegate(AdLoomDelegate* delegate) {
    classFetch(delegate, NS("Called updateConfig when another fetch is in progress"), true);
}

Ref<ARRollerView> ARRollerView::requestRollerViewWithDelegate(AdLoomDelegate* delegate) {
    return make<ARRollerView>(&ARRollerView::initWithDelegate, delegate);
}

// ---- set-up --------------------------------------------------------------------------------

bool AdLoomView::initWithDelegate(AdLoomDelegate* delegate) {
    if (!initWithFrame(CGRectMake(0, 0, 320, 50))) return false;
    delegate_ = delegate;
    setBackgroundColor(UIColor::clearColor().get());
    setClipsToBounds(true);
    showingModalView_ = false;
    appInactive_ = false;
    configStore_ = AdLoomConfigStore::sharedStore().get();
    auto center = NSNotificationCenter::defaultCenter();
    center->addObserver(this, Selector::named("resignActive:"),
                        UIApplicationWillResignActiveNotification, nullptr);
    center->addObserver(this, Selector::named("becomeActive:"),
                        UIApplicationDidBecomeActiveNotification, nullptr);
    pendingAdapters_ = NSMutableDictionary::dictionaryWithCapacity(30);
    return true;
}

void AdLoomView::setDelegate(AdLoomDelegate* delegate) {
    delegate_ = delegate;
    if (currAdapter_) currAdapter_->setAdLoomDelegate(delegate);
    if (lastAdapter_) lastAdapter_->setAdLoomDelegate(delegate);
    if (shownAdapter_) shownAdapter_->setAdLoomDelegate(delegate);
    if (fullScreenAdapter_) fullScreenAdapter_->setAdLoomDelegate(delegate);
}

Ref<AdLoomConfigStore> AdLoomView::configStore() {
    if (auto store = configStore_.lock()) return store;
    auto store = AdLoomConfigStore::sharedStore();
    configStore_ = store.get();
    return store;
}

void AdLoomView::setConfigStore(AdLoomConfigStore* store) {
    configStore_ = store;
}

void AdLoomView::dropRefreshTimer() {
    if (refreshTimer_) refreshTimer_->invalidate();
    refreshTimer_ = nullptr;
}

// ---- configuration -------------------------------------------------------------------------

void AdLoomView::startGetConfig() {
    dropRefreshTimer();
    configFetchAttempts_ = 0;
    auto d = delegate();
    if (!d) return;
    setConfig(configStore()->getConfig(d->adLoomApplicationKey().get(), this).get());
}

void AdLoomView::attemptFetchConfig() {
    auto d = delegate();
    if (!d) return;
    if (auto c = configStore()->fetchConfig(d->adLoomApplicationKey().get(), this))
        setConfig(c.get());
}

void AdLoomView::updateAdLoomConfig() {
    dropRefreshTimer();
    AdLoomLogDebug(NS("======== Updating config ========"));
    configFetchAttempts_ = 0;
    attemptFetchConfig();
}

void AdLoomView::adLoomConfigDidReceiveConfig(AdLoomConfig* config) {
    if (config != config_.get()) {
        AdLoomLogWarning(
            NS("AdLoomView: getting adLoomConfigDidReceiveConfig callback from unknown "
               "AdLoomConfig object"));
        return;
    }
    Ref<AdLoomView> hold(this);
    AdLoomLogDebug(NS("Fetched Ad network config: %@"), config);
    auto d = delegate();
    if (AdLoomDelegateAnswers(d.get(), "adLoomDidReceiveConfig:")) d->adLoomDidReceiveConfig(this);
    if (config->adsAreOff()) {
        if (AdLoomDelegateAnswers(d.get(), "adLoomReceivedNotificationAdsAreOff:"))
            d->adLoomReceivedNotificationAdsAreOff(this);
        return;
    }
    performSelectorOnMainThread(Selector::named("buildPrioritizedAdNetCfgsAndMakeRequest"), nullptr,
                                false);
    // A banner its host has already taken out of its holder gets no timer: the timer would keep
    // it alive, refreshing unseen, with nothing left to drop it.
    if (config->refreshInterval() > kMinRequestInterval && !leftSuperview_) {
        // One timer per banner: a configuration that arrives again restarts it.
        dropRefreshTimer();
        refreshTimer_ = NSTimer::scheduledTimerWithTimeInterval(
            config->refreshInterval(), this, Selector::named("timerRequestFreshAd"), nullptr, true);
    }
}

void AdLoomView::adLoomConfigDidFail(AdLoomConfig* config, NSError* error) {
    if (config_ && config != config_.get()) {
        AdLoomLogWarning(NS(
            "AdLoomView: getting adLoomConfigDidFail callback from unknown AdLoomConfig object"));
        return;
    }
    ++configFetchAttempts_;
    if (configFetchAttempts_ > 2) {
        AdLoomLogError(NS("Failed fetching AdLoom config: %@"), error);
        notifyDelegateOfError(error);
        return;
    }
    performSelectorOnMainThread(Selector::named("attemptFetchConfig"), nullptr, false);
}

Ref<NSURL> AdLoomView::adLoomConfigURL() {
    auto d = delegate();
    if (!AdLoomDelegateAnswers(d.get(), "adLoomConfigURL")) return nullptr;
    return d->adLoomConfigURL();
}

// ---- network choice ------------------------------------------------------------------------

void AdLoomView::buildPrioritizedAdNetCfgsAndMakeRequest() {
    if (!config_) return;
    std::vector<Ref<AdLoomAdNetworkConfig>> list;
    for (NSObject* o : *config_->adNetworkConfigs()) {
        auto network = as<AdLoomAdNetworkConfig>(o);
        if (pendingAdapters_->objectForKey(NSNumber::numberWithInt(network->networkType()).get())) {
            AdLoomLogDebug(NS("Already has pending ad request for network type %d, not adding ad "
                              "network config %@"),
                           network->networkType(), network);
            continue;
        }
        list.push_back(network);
    }
    // Equal priorities keep the configuration's order.
    std::stable_sort(list.begin(), list.end(),
                     [](const Ref<AdLoomAdNetworkConfig>& a, const Ref<AdLoomAdNetworkConfig>& b) {
                         return a->priority() < b->priority();
                     });
    auto sorted = NSMutableArray::array();
    totalPercent_ = 0;
    for (auto& n : list) {
        sorted->addObject(n.get());
        totalPercent_ += n->trafficPercentage();
    }
    setPrioritizedAdNetCfgs(sorted.get());
    makeAdRequest(true);
}

double AdLoomView::nextDart() {
    if (testDarts_ && testDarts_->count() > 0) {
        if (testDartIndex_ >= testDarts_->count()) testDartIndex_ = 0;
        double dart = 0;
        awDoubleVal(&dart, testDarts_->objectAtIndex(testDartIndex_).get());
        if (dart >= totalPercent_) dart = totalPercent_ - 0.001;
        ++testDartIndex_;
        return dart;
    }
    seedRandomIfNeeded();
    double dart =
        static_cast<double>(static_cast<long>(random()) - 1) / 2147483647.0 * totalPercent_;
    // random() may answer 0: a dart below every network's range would let one of weight 0 win.
    return std::max(dart, 0.0);
}

Ref<AdLoomAdNetworkConfig> AdLoomView::nextNetworkCfgByPercent() {
    auto list = prioritizedAdNetCfgs();
    if (!list || list->count() == 0) return nullptr;
    double dart = nextDart();
    double sum = 0;
    Ref<AdLoomAdNetworkConfig> chosen;
    for (NSObject* o : *list) {
        auto network = as<AdLoomAdNetworkConfig>(o);
        sum += network->trafficPercentage();
        if (dart < sum) {
            chosen = network;
            break;
        }
    }
    if (!chosen) chosen = as<AdLoomAdNetworkConfig>(list->lastObject());
    AdLoomLogDebug(NS(">>>> By Percent chosen %@ (%@), dart %lf in %lf"), chosen->nid(),
                   chosen->networkName(), dart, totalPercent_);
    return chosen;
}

Ref<AdLoomAdNetworkConfig> AdLoomView::nextNetworkCfgByPriority() {
    auto list = prioritizedAdNetCfgs();
    if (!list || list->count() == 0) return nullptr;
    auto chosen = as<AdLoomAdNetworkConfig>(list->objectAtIndex(0));
    AdLoomLogDebug(NS(">>>> By Priority chosen %@ (%@)"), chosen->nid(), chosen->networkName());
    return chosen;
}

void AdLoomView::makeAdRequest(bool isFirst) {
    auto list = prioritizedAdNetCfgs();
    if (!list || list->count() == 0) {
        notifyDelegateOfErrorWithCode(AdLoomAdRequestNoMoreAdNetworks,
                                      NS("No more ad networks to roll over"));
        return;
    }
    if (fullScreenUp()) {
        AdLoomLogDebug(NS("Modal view is active, not going to request another ad"));
        return;
    }
    if (!AdViewIsInSight(this)) {
        // Its ad could start a full-screen view over what the person is reading.
        AdLoomLogDebug(NS("Banner out of sight, the request waits until it is shown"));
        requestWhenShown_ = true;
        return;
    }
    setRollOverReachability(nullptr);
    if (requesting_) AdLoomLogDebug(NS("Already requesting ad, will request a new one."));
    requesting_ = true;

    auto network =
        isFirst && totalPercent_ > 0 ? nextNetworkCfgByPercent() : nextNetworkCfgByPriority();
    if (!network) {
        notifyDelegateOfErrorWithCode(AdLoomAdRequestNoMoreAdNetworks,
                                      NS("No more ad networks to request"));
        return;
    }
    auto adapter = as<AdLoomAdNetworkAdapter>(network->adapterClass()->createInstance());
    if (!adapter ||
        !adapter->initWithAdLoomDelegate(delegate().get(), this, config_.get(), network.get())) {
        requesting_ = false;
        notifyDelegateOfErrorWithCode(AdLoomAdRequestNoMoreAdNetworks,
                                      NS("No more ad networks to request"));
        return;
    }
    setLastAdapter(currAdapter_.get());
    setCurrAdapter(adapter.get());
    list->removeObject(network.get());
    setLastRequestTime(NSDate::date().get());
    pendingAdapters_->setObject(adapter.get(),
                                NSNumber::numberWithInt(network->networkType()).get());
    // The ad on show keeps taking its taps until another replaces it: this request may fail
    // or be slow.
    if (lastAdapter_ != shownAdapter_ && sameNetwork(lastAdapter_.get(), adapter.get()))
        lastAdapter_->stopBeingDelegate();
    adapter->getAd();
}

// ---- refresh and roll-over -----------------------------------------------------------------

bool AdLoomView::canRefresh() {
    return !(ignoreNewAdRequests_ || ignoreAutoRefreshTimer_ || appInactive_ || fullScreenUp());
}

bool AdLoomView::fullScreenUp() {
    return showingModalView_ || AdFullScreenHold::anyHeld();
}

void AdLoomView::timerRequestFreshAd() {
    if (!canRefresh()) {
        AdLoomLogDebug(NS("Not going to refresh due to flags, app not active or modal"));
        return;
    }
    if (lastRequestTime_ && -lastRequestTime_->timeIntervalSinceNow() <= kMinRequestInterval) {
        AdLoomLogDebug(NS("Ad refresh timer fired too soon after last ad request, ignoring"));
        return;
    }
    AdLoomLogDebug(NS("======== Refreshing ad due to timer ========"));
    buildPrioritizedAdNetCfgsAndMakeRequest();
}

void AdLoomView::requestFreshAd() {
    if (!NSThread::isMainThread()) {
        performSelectorOnMainThread(Selector::named("requestFreshAd"), nullptr, false);
        return;
    }
    double elapsed = lastRequestTime_ ? -lastRequestTime_->timeIntervalSinceNow() : 0;
    if (ignoreNewAdRequests_) {
        notifyDelegateOfErrorWithCode(AdLoomAdRequestIgnoredError,
                                      NS("ignoreNewAdRequests flag set"));
    } else if (requesting_) {
        notifyDelegateOfErrorWithCode(AdLoomAdRequestInProgressError,
                                      NS("Ad request already in progress"));
    } else if (fullScreenUp()) {
        notifyDelegateOfErrorWithCode(AdLoomAdRequestModalActiveError, NS("Modal view active"));
    } else if (!config_) {
        notifyDelegateOfErrorWithCode(AdLoomAdRequestNoConfigError, NS("No ad configuration"));
    } else if (lastRequestTime_ && elapsed <= kMinRequestInterval) {
        notifyDelegateOfErrorWithCode(
            AdLoomAdRequestTooSoonError,
            NSString::stringWithFormat(
                NS("Requesting fresh ad too soon! It has been only %lfs. Minimum %lfs"), elapsed,
                kMinRequestInterval)
                .get());
    } else {
        buildPrioritizedAdNetCfgsAndMakeRequest();
    }
}

void AdLoomView::rollOver() {
    if (ignoreNewAdRequests_) return;
    if (!NSThread::isMainThread()) {
        performSelectorOnMainThread(Selector::named("rollOver"), nullptr, false);
        return;
    }
    makeAdRequest(false);
}

bool AdLoomView::adExists() {
    for (auto& v : subviewList())
        if (v->tag() == kAdLoomViewAdSubViewTag) return true;
    return false;
}

Ref<NSString> AdLoomView::mostRecentNetworkName() {
    if (!currAdapter_ || !currAdapter_->networkConfig()) return nullptr;
    return currAdapter_->networkConfig()->networkName();
}

// ---- metrics -------------------------------------------------------------------------------

void AdLoomView::metricPing(NSURL* endPointBaseURL, NSString* nid, int netType) {
    auto query = NSString::stringWithFormat(
        NS("?appid=%@&nid=%@&type=%d&country_code=%@&appver=%d&client=1"),
        AdLoomEscapedQueryValue(config_ ? config_->appKey().get() : nullptr),
        AdLoomEscapedQueryValue(nid), netType,
        AdLoomEscapedQueryValue(NSLocale::currentLocale()->localeIdentifier().get()), kAppVersion);
    auto url = NSURL::URLWithString(query.get(), endPointBaseURL);
    if (!url) return;
    AdLoomLogDebug(NS("Sending metric ping to %@"), url);
    auto request = NSURLRequest::requestWithURL(url.get());
    make<NSURLConnection>(
        static_cast<bool (NSURLConnection::*)(NSURLRequest*, NSURLConnectionDelegate*)>(
            &NSURLConnection::initWithRequest),
        request.get(), static_cast<NSURLConnectionDelegate*>(nullptr));
}

void AdLoomView::reportExImpression(NSString* nid, int netType) {
    Ref<NSURL> base;
    if (auto d = delegate(); AdLoomDelegateAnswers(d.get(), "adLoomImpMetricURL"))
        base = d->adLoomImpMetricURL();
    if (!base) base = NSURL::URLWithString(NS("http://" ADLOOM_METRICS_HOST "/exmet.php"));
    metricPing(base.get(), nid, netType);
}

void AdLoomView::reportExClick(NSString* nid, int netType) {
    Ref<NSURL> base;
    if (auto d = delegate(); AdLoomDelegateAnswers(d.get(), "adLoomClickMetricURL"))
        base = d->adLoomClickMetricURL();
    if (!base) base = NSURL::URLWithString(NS("http://" ADLOOM_METRICS_HOST "/exclick.php"));
    metricPing(base.get(), nid, netType);
}

CGSize AdLoomView::actualAdSize() {
    if (currAdapter_)
        if (auto v = currAdapter_->adNetworkView()) return v->frame().size;
    return CGSizeMake(320, 50);
}

void AdLoomView::rotateToOrientation(UIInterfaceOrientation orientation) {
    if (currAdapter_) currAdapter_->rotateToOrientation(orientation);
}

// ---- showing a new ad ----------------------------------------------------------------------

void AdLoomView::transitionToView(UIView* view) {
    if (!view) return;
    Ref<UIView> incoming(view);
    Ref<UIView> current;
    for (auto& v : subviewList())
        if (v->tag() == kAdLoomViewAdSubViewTag) {
            current = v;
            break;
        }
    if (current == incoming) {
        AdLoomLogDebug(NS("ignoring ad transition to itself"));
        return;
    }
    incoming->setTag(kAdLoomViewAdSubViewTag);
    auto announce = [this] {
        auto d = delegate();
        if (!AdLoomDelegateAnswers(d.get(), "adLoomDidAnimateToNewAdIn:")) return;
        Ref<AdLoomView> self(this);
        Weak<AdLoomDelegate> weak(d.get());
        NSRunLoop::performOnMainThread(
            [weak, self] {
                if (auto dd = weak.lock()) dd->adLoomDidAnimateToNewAdIn(self.get());
            },
            false);
    };
    if (!current) {
        addSubview(incoming.get());
        announce();
        return;
    }
    current->setTag(0);
    int type = config_ ? config_->bannerAnimationType() : 0;
    if (type == 8) {
        seedRandomIfNeeded();
        type = static_cast<int>(random() % 7 + 1);
        AdLoomLogDebug(NS("Animation type chosen by random is %d"), type);
    }
    if (currAdapter_ && !currAdapter_->isBannerAnimationOK(type)) type = 0;
    if (type == 0) {
        current->removeFromSuperview();
        addSubview(incoming.get());
        announce();
        return;
    }
    CGRect frame = incoming->frame();
    if (type == 5) {
        frame.origin.x = -frame.size.width;
        incoming->setFrame(frame);
    } else if (type == 6) {
        frame.origin.x = this->frame().size.width;
        incoming->setFrame(frame);
    } else if (type == 7) {
        incoming->setAlpha(0);
    }
    if (type >= 5 && type <= 7) addSubview(incoming.get());

    current->retain();  // released when the animation stops
    AdLoomLogDebug(NS("Beginning AdLoomAdTransition animation currAdView %x incoming %x"),
                   static_cast<unsigned>(reinterpret_cast<uintptr_t>(current.get())),
                   static_cast<unsigned>(reinterpret_cast<uintptr_t>(incoming.get())));
    UIView::beginAnimations(NS("AdLoomAdTransition"), current.get());
    UIView::setAnimationDelegate(this);
    UIView::setAnimationDidStopSelector(
        Selector::named("newAdAnimationDidStopWithAnimationID:finished:context:"));
    UIView::setAnimationBeginsFromCurrentState(true);
    UIView::setAnimationDuration(1.0);
    if (type >= 1 && type <= 4) {
        addSubview(incoming.get());
        current->removeFromSuperview();
        UIView::setAnimationTransition(static_cast<UIViewAnimationTransition>(type), this, false);
    } else if (type == 5 || type == 6) {
        frame.origin.x = 0;
        incoming->setFrame(frame);
    } else if (type == 7) {
        incoming->setAlpha(1);
    } else {
        AdLoomLogWarning(NS("Unrecognized Animation type: %d"), type);
    }
    UIView::commitAnimations();
}

void AdLoomView::newAdAnimationDidStop(NSString* animationID, NSNumber* finished, void* context) {
    AdLoomLogDebug(NS("animation %@ finished %@ context %x"), animationID,
                   finished && finished->boolValue() ? NS("YES") : NS("NO"),
                   static_cast<unsigned>(reinterpret_cast<uintptr_t>(context)));
    if (auto* old = static_cast<UIView*>(context)) {
        old->removeFromSuperview();
        old->release();
    }
    if (lastAdapter_) {
        // One whose full-screen view is still up hears it close.
        if (lastAdapter_ != fullScreenAdapter_) detachAdapter(lastAdapter_.get());
        setLastAdapter(nullptr);
    }
    auto d = delegate();
    if (AdLoomDelegateAnswers(d.get(), "adLoomDidAnimateToNewAdIn:"))
        d->adLoomDidAnimateToNewAdIn(this);
}

// ---- clicks --------------------------------------------------------------------------------

bool AdLoomView::isEventATouch30(UIEvent* event) {
    return !event || event->type() == UIEventTypeTouches;
}

bool AdLoomView::pointInside(CGPoint point, UIEvent* event) {
    bool inside = super::pointInside(point, event);
    if (inside && currAdapter_ && lastNotifyAdapter_ != currAdapter_.get() &&
        isEventATouch30(event) && currAdapter_->shouldSendExMetric()) {
        lastNotifyAdapter_ = currAdapter_.get();
        auto network = currAdapter_->networkConfig();
        reportExClick(network->nid().get(), network->networkType());
    }
    return inside;
}

void AdLoomView::willMoveToSuperview(UIView* newSuperview) {
    if (!newSuperview) dropRefreshTimer();
    // Only a banner that had a holder has left it; one not placed yet is still to be placed.
    leftSuperview_ = !newSuperview && (leftSuperview_ || superview());
    super::willMoveToSuperview(newSuperview);
}

void AdLoomView::didMoveToWindow() {
    super::didMoveToWindow();
    // On the next pass, once the screen that shows it is all in place.
    if (requestWhenShown_ && window())
        performSelector(Selector::named("requestWhenShown"), nullptr, 0.0);
}

void AdLoomView::requestWhenShown() {
    if (!requestWhenShown_ || !window()) return;
    requestWhenShown_ = false;
    if (!canRefresh() || leftSuperview_ || !config_) return;
    AdLoomLogDebug(NS("======== Refreshing ad shown again ========"));
    buildPrioritizedAdNetCfgsAndMakeRequest();
}

// ---- adapter answers -----------------------------------------------------------------------

void AdLoomView::adRequestReturnsForAdapter(AdLoomAdNetworkAdapter* adapter) {
    auto key = NSNumber::numberWithInt(
        adapter->networkConfig() ? adapter->networkConfig()->networkType() : 0);
    auto pending = as<AdLoomAdNetworkAdapter>(pendingAdapters_->objectForKey(key.get()));
    if (!pending) return;
    if (pending.get() != adapter)
        AdLoomLogError(NS("Stored pending adapter %@ for network type %@ is different from the one "
                          "sending the adapter callback %@"),
                       pending, key, adapter);
    pending->autorelease();  // may be the caller itself: alive until the end of the pass
    pendingAdapters_->removeObjectForKey(key.get());
}

void AdLoomView::adapterDidReceiveAdView(AdLoomAdNetworkAdapter* adapter, UIView* view) {
    Ref<AdLoomView> hold(this);
    adRequestReturnsForAdapter(adapter);
    if (adapter != currAdapter_.get()) {
        AdLoomLogDebug(NS("Received didReceiveAdView from a stale adapter %@"), adapter);
        return;
    }
    auto network = adapter->networkConfig();
    bool inSight = AdViewIsInSight(this);
    if (!inSight || (adapter == shownAdapter_.get() && fullScreenUp())) {
        // An answer that comes once the banner's screen is covered, or the ad on show refreshed
        // by its network itself (the platform's banner) under a full-screen view: nobody sees
        // it, so it is neither shown nor counted. Shown again, the banner asks for a fresh one.
        AdLoomLogDebug(NS("Ad out of sight, dropped (nid %@)"), network->nid());
        requesting_ = false;
        requestWhenShown_ = requestWhenShown_ || !inSight;
        if (adapter != shownAdapter_.get()) detachAdapter(adapter);
        return;
    }
    if (shownAdapter_ && adapter != shownAdapter_.get() && fullScreenUp()) {
        // The ad on show may be the one whose full-screen view is up, and the ad under that view
        // stays until it closes; the refresh after it brings another.
        AdLoomLogDebug(NS("Modal view is active, dropping the ad from adapter (nid %@)"),
                       network->nid());
        requesting_ = false;
        detachAdapter(adapter);
        return;
    }
    AdLoomLogDebug(NS("Received ad from adapter (nid %@)"), network->nid());
    if (shownAdapter_ && adapter != shownAdapter_.get() &&
        sameNetwork(shownAdapter_.get(), adapter))
        shownAdapter_->stopBeingDelegate();
    shownAdapter_ = adapter;
    performSelectorOnMainThread(Selector::named("transitionToView:"), view, false);
    requesting_ = false;
    if (adapter->shouldSendExMetric())
        reportExImpression(network->nid().get(), network->networkType());
    auto d = delegate();
    if (AdLoomDelegateAnswers(d.get(), "adLoomDidReceiveAd:")) d->adLoomDidReceiveAd(this);
}

void AdLoomView::adapterDidFinishAdRequest(AdLoomAdNetworkAdapter* adapter) {
    Ref<AdLoomView> hold(this);
    adRequestReturnsForAdapter(adapter);
    if (adapter != currAdapter_.get()) {
        AdLoomLogDebug(NS("Received adapterDidFinishAdRequest from a stale adapter"));
        return;
    }
    requesting_ = false;
    auto network = adapter->networkConfig();
    if (adapter->shouldSendExMetric())
        reportExImpression(network->nid().get(), network->networkType());
}

void AdLoomView::adapterDidFailAd(AdLoomAdNetworkAdapter* adapter, NSError* error) {
    Ref<AdLoomView> hold(this);
    adRequestReturnsForAdapter(adapter);
    if (adapter != currAdapter_.get()) {
        AdLoomLogDebug(NS("Received didFailAd from a stale adapter %@: %@"), adapter, error);
        return;
    }
    AdLoomLogDebug(NS("Failed to receive ad from adapter (nid %@): %@"),
                   adapter->networkConfig()->nid(), error);
    requesting_ = false;
    auto list = prioritizedAdNetCfgs();
    if (!list || list->count() == 0) {
        notifyDelegateOfErrorWithCode(AdLoomAdRequestNoMoreAdNetworks,
                                      NS("No more ad networks to roll over"));
        return;
    }
    auto probe =
        AWNetworkReachabilityWrapper::reachabilityWithHostname(NS(ADLOOM_PROBE_HOST), this);
    setRollOverReachability(probe.get());
    if (!probe || !probe->scheduleInCurrentRunLoop()) {
        setRollOverReachability(nullptr);
        notifyDelegateOfErrorWithCode(AdLoomAdRequestNoNetworkError,
                                      NS("Failed network reachability test"));
    }
}

void AdLoomView::adapterWillPresentFullScreen(AdLoomAdNetworkAdapter* adapter) {
    showingModalView_ = true;
    fullScreenAdapter_ = adapter;
}

void AdLoomView::adapterDidDismissFullScreen(AdLoomAdNetworkAdapter* adapter) {
    if (fullScreenAdapter_ && adapter != fullScreenAdapter_.get()) return;
    showingModalView_ = false;
    fullScreenAdapter_ = nullptr;
}

void AdLoomView::reachabilityBecameReachable(AWNetworkReachabilityWrapper* wrapper) {
    if (wrapper != rollOverReachability_.get()) {
        AdLoomLogWarning(NS("Unrecognized reachability called reachable %s:%d"), "AdLoomView",
                         __LINE__);
        return;
    }
    Ref<AdLoomView> hold(this);
    lastError_ = nullptr;
    auto d = delegate();
    if (AdLoomDelegateAnswers(d.get(), "adLoomDidFailToReceiveAd:usingBackup:"))
        d->adLoomDidFailToReceiveAd(this, true);
    setRollOverReachability(nullptr);
    rollOver();
}

void AdLoomView::reachabilityNotReachable(AWNetworkReachabilityWrapper* wrapper) {
    if (wrapper != rollOverReachability_.get()) {
        AdLoomLogWarning(NS("Unrecognized reachability called not reachable %s:%d"), "AdLoomView",
                         __LINE__);
        return;
    }
    setRollOverReachability(nullptr);
    notifyDelegateOfErrorWithCode(AdLoomAdRequestNoNetworkError,
                                  NS("No network connection for rollover"));
}

// ---- application state and errors ----------------------------------------------------------

void AdLoomView::resignActive(NSNotification*) {
    AdLoomLogDebug(NS("App become inactive, AdLoomView will stop requesting ads"));
    appInactive_ = true;
}

void AdLoomView::becomeActive(NSNotification*) {
    AdLoomLogDebug(NS("App become active, AdLoomView will resume requesting ads"));
    appInactive_ = false;
}

void AdLoomView::notifyDelegateOfErrorWithCode(NSInteger code, NSString* description) {
    notifyDelegateOfError(AdLoomError::errorWithCode(code, description).get());
}

void AdLoomView::notifyDelegateOfError(NSError* error) {
    lastError_ = error;
    auto d = delegate();
    if (AdLoomDelegateAnswers(d.get(), "adLoomDidFailToReceiveAd:usingBackup:")) {
        Ref<AdLoomView> hold(this);
        d->adLoomDidFailToReceiveAd(this, false);
    }
}

// ---- accessors -----------------------------------------------------------------------------

Ref<AdLoomConfig> AdLoomView::config() {
    return config_;
}
void AdLoomView::setConfig(AdLoomConfig* config) {
    config_ = config;
}
Ref<NSMutableArray> AdLoomView::prioritizedAdNetCfgs() {
    return prioritizedAdNetCfgs_;
}
void AdLoomView::setPrioritizedAdNetCfgs(NSMutableArray* list) {
    prioritizedAdNetCfgs_ = list;
}
void AdLoomView::setCurrAdapter(AdLoomAdNetworkAdapter* adapter) {
    currAdapter_ = adapter;
}
void AdLoomView::setLastAdapter(AdLoomAdNetworkAdapter* adapter) {
    lastAdapter_ = adapter;
}
void AdLoomView::setLastRequestTime(NSDate* date) {
    lastRequestTime_ = date;
}
void AdLoomView::setRefreshTimer(NSTimer* timer) {
    refreshTimer_ = timer;
}
void AdLoomView::setRollOverReachability(AWNetworkReachabilityWrapper* r) {
    rollOverReachability_ = r;
}
void AdLoomView::setTestDarts(NSArray* darts) {
    testDarts_ = darts;
    testDartIndex_ = 0;
}
NSUInteger AdLoomView::pendingAdapterCount() {
    return pendingAdapters_ ? pendingAdapters_->count() : 0;
}

bool AdLoomView::sameNetwork(AdLoomAdNetworkAdapter* a, AdLoomAdNetworkAdapter* b) {
    return a && b && a->networkConfig() && b->networkConfig() &&
           a->networkConfig()->networkType() == b->networkConfig()->networkType();
}

void AdLoomView::detachAdapter(AdLoomAdNetworkAdapter* adapter) {
    adapter->setAdLoomDelegate(nullptr);
    adapter->setAdLoomView(nullptr);
}

void AdLoomView::dealloc() {
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    NSObject::cancelPreviousPerformRequestsWithTarget(this);
    delegate_ = nullptr;
    if (config_) config_->removeDelegate(this);
    config_ = nullptr;
    prioritizedAdNetCfgs_ = nullptr;
    totalPercent_ = 0;
    requesting_ = false;
    // No probe answer and no adapter report may reach a banner being freed.
    rollOverReachability_ = nullptr;
    // Its view's close would reach nobody once the adapter is detached: the host hears it now,
    // so that every view it heard open is heard gone.
    if (fullScreenAdapter_) fullScreenAdapter_->helperNotifyDelegateOfFullScreenModalDismissal();
    if (pendingAdapters_)
        for (NSObject* key : *pendingAdapters_)
            detachAdapter(as<AdLoomAdNetworkAdapter>(pendingAdapters_->objectForKey(key)).get());
    if (currAdapter_) detachAdapter(currAdapter_.get());
    if (lastAdapter_) detachAdapter(lastAdapter_.get());
    if (shownAdapter_) detachAdapter(shownAdapter_.get());
    if (fullScreenAdapter_) detachAdapter(fullScreenAdapter_.get());
    currAdapter_ = nullptr;
    lastAdapter_ = nullptr;
    shownAdapter_ = nullptr;
    fullScreenAdapter_ = nullptr;
    lastRequestTime_ = nullptr;
    pendingAdapters_ = nullptr;
    dropRefreshTimer();
    lastError_ = nullptr;
    super::dealloc();
}
