#include "ads/pebble/PBLObjectPrivate.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWebView.h"
#include "URLLoading/NSURLResponse.h"
#include "ads/pebble/PBLBannerView.h"
#include "ads/pebble/PBLHosts.h"
#include "ads/pebble/PBLNetworkUtilities.h"
#include "ads/pebble/PBLOpener.h"
#include "ads/pebble/PBLRequest.h"
#include "ads/pebble/PBLRequestError.h"
#include "ads/pebble/PBLSignals.h"
#include "ads/pebble/PBLStatistics.h"
#include "ads/pebble/PBL_PJSON.h"
#include "ads/place/AdFullScreen.h"

namespace {

// How long the support script may take to build the ad URL. It runs on the device with
// nothing to fetch, so a script that has not answered by then never will.
constexpr double kBuildAdURLTimeout = 10.0;

// Whether the launch has finished, watched from the first ad object on. The observer's token
// sits with the flag in a slot, so that a reset forgets both and leaves no observer behind.
struct LaunchWatch {
    Ref<NSObject> token;
    bool finished = false;
};

ProcessWide<LaunchWatch>& launchWatch() {
    static ProcessWide<LaunchWatch> slot{
        nullptr, [](LaunchWatch* watch) {
            if (watch->token)
                NSNotificationCenter::defaultCenter()->removeObserver(watch->token.get());
        }};
    return slot;
}

bool launchFinished() {
    auto watch = launchWatch().peek();
    return watch && watch->finished;
}

// Watches for the end of the launch once.
void observeLaunch() {
    auto watch = launchWatch().get();
    if (watch->token || watch->finished) return;
    watch->token = NSNotificationCenter::defaultCenter()->addObserverForName(
        UIApplicationDidFinishLaunchingNotification, nullptr, [](NSNotification*) {
            auto seen = launchWatch().peek();
            if (!seen) return;
            seen->finished = true;
            Ref<NSObject> token = std::move(seen->token);
            NSNotificationCenter::defaultCenter()->removeObserver(token.get());
        });
}

// Header names are case-insensitive: a proxy may well pass them on in lower case.
Ref<NSString> header(PBLCachedFile* file, const char* name) {
    auto headers = file ? file->httpHeaders() : nullptr;
    return NSHTTPURLResponse::valueForHTTPHeaderField(headers.get(),
                                                      NSString::fromUTF8(name).get());
}

bool filled(NSString* text) {
    return text && text->length() > 0;
}

}  // namespace

bool PBLObjectPrivate::initWithView(PBLBannerView* view) {
    adView_ = view;
    return initWithFrame(view ? view->frame() : CGRectZero);
}

bool PBLObjectPrivate::initWithFrame(CGRect frame) {
    observeLaunch();
    auto view = adView_.lock();
    state_ = PBLStateIdle;
    supportedOrientations_ = 1;
    delegateManager_ = make<PBLDelegateManager>();
    frame.origin = CGPointZero;
    webView_ = make<UIWebView>(&UIWebView::initWithFrame, frame);
    webView_->setClipsToBounds(true);
    webView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                  UIViewAutoresizingFlexibleHeight);
    webView_->setOpaque(false);
    webView_->setBackgroundColor(UIColor::clearColor().get());
    webView_->setHidden(true);
    webView_->setDataDetectorTypes(UIDataDetectorTypeNone);
    if (view) view->addSubview(webView_.get());
    webViewDelegate_ =
        make<PBLBannerWebViewDelegate>(&PBLBannerWebViewDelegate::initWithObjectPrivate, this);
    trackers_ = NSMutableArray::array();

    auto center = NSNotificationCenter::defaultCenter();
    // Systems before multitasking never go to the background: losing and regaining the
    // active state is what stops and restarts the refresh there.
    bool multitasking = PBLRequestPrivate::deviceAtLeastMinimumOSMajorVersion(4, 0);
    observe(center.get(),
            multitasking ? UIApplicationDidEnterBackgroundNotification
                         : UIApplicationWillResignActiveNotification,
            nullptr, &PBLObjectPrivate::appDidBackground, observers_);
    observe(center.get(),
            multitasking ? UIApplicationWillEnterForegroundNotification
                         : UIApplicationDidBecomeActiveNotification,
            nullptr, &PBLObjectPrivate::appDidForeground, observers_);
    observe(center.get(), NS("PBLViewControllerWillPresentFullScreen"), nullptr,
            &PBLObjectPrivate::appDidBackground, observers_);
    observe(center.get(), NS("PBLViewControllerDidRelinquishFullScreen"), nullptr,
            &PBLObjectPrivate::appDidForeground, observers_);
    return true;
}

void PBLObjectPrivate::observe(NSNotificationCenter* center, NSString* name, NSObject* object,
                               void (PBLObjectPrivate::*handler)(NSNotification*),
                               std::vector<Ref<NSObject>>& into) {
    Weak<PBLObjectPrivate> weak = this;
    into.push_back(center->addObserverForName(name, object, [weak, handler](NSNotification* n) {
        if (auto self = weak.lock()) (self.get()->*handler)(n);
    }));
}

void PBLObjectPrivate::dealloc() {
    for (auto& token : observers_)
        NSNotificationCenter::defaultCenter()->removeObserver(token.get());
    observers_.clear();
    cancelPendingActions();
    if (webView_) {
        webView_->setDelegate(nullptr);
        webView_->loadHTMLString(NS(""), nullptr);
        webView_->removeFromSuperview();
    }
    webView_ = nullptr;
    webViewDelegate_ = nullptr;
    resetBuildAdWebView();
    if (scriptFile_) scriptFile_->setDelegate(nullptr);
    scriptFile_ = nullptr;
    setAdHTML(nullptr);
    for (auto* t : *trackers_)
        if (auto tracker = as<PBLClickTracker>(t)) tracker->reset();
    NSObject::dealloc();
}

void PBLObjectPrivate::setAdUnitID(NSString* adUnitID) {
    adUnitID_ = adUnitID ? adUnitID->copy() : nullptr;
}

Ref<NSString> PBLObjectPrivate::adHTMLString() {
    auto content = adHTML_ ? adHTML_->content() : nullptr;
    return content ? content->stringByTrimmingCharactersInSet(
                         NSCharacterSet::whitespaceAndNewlineCharacterSet().get())
                   : nullptr;
}

Ref<NSURL> PBLObjectPrivate::adHTMLBaseURL() {
    if (!adHTML_) return nullptr;
    return adHTML_->httpDestinationURL() ? adHTML_->httpDestinationURL() : adHTML_->sourceURL();
}

// Copies: the live arrays change with every header the next ad page brings.
Ref<NSArray> PBLObjectPrivate::pendingTrackingURLs() {
    return pendingTrackingURLs_ ? as<NSArray>(pendingTrackingURLs_->copy()) : nullptr;
}
Ref<NSArray> PBLObjectPrivate::pendingClickURLs() {
    return pendingClickURLs_ ? as<NSArray>(pendingClickURLs_->copy()) : nullptr;
}
Ref<NSSet> PBLObjectPrivate::pendingTrackers() {
    return NSSet::setWithArray(trackers_.get());
}
double PBLObjectPrivate::scheduledReloadSeconds() {
    return reloadTimer_ ? reloadSeconds_ : 0;
}

int PBLObjectPrivate::requestTypeFromString(NSString* type) {
    std::string t = type ? type->utf8() : "";
    if (t == "pebble") return 4;
    if (t == "xfp") return 5;
    if (t == "adsense") return 1;
    return 0;
}

// ---- starting a load ---------------------------------------------------------------------------

void PBLObjectPrivate::loadRequest(NSObject* request) {
    loadPrivateRequest(request, false);
}

void PBLObjectPrivate::loadInterstitialRequest(NSObject* request) {
    // Without a request of the owner's, a new one: it must still ask for the full-screen format.
    auto sent = privateRequestWithRequest(request);
    sent->setInterstitialAd(true);
    loadPrivateRequest(sent.get(), false);
}

Ref<PBLRequestPrivate> PBLObjectPrivate::privateRequestWithRequest(NSObject* request) {
    // Anything that is not a request carries nothing to send: it counts as none, and none is a
    // new empty request.
    if (auto r = as<PBLRequestPrivate>(request)) return r;
    return as<PBLRequestPrivate>(PBLRequest::request());
}

bool PBLObjectPrivate::isMakingRequest() {
    return state_ == PBLStateFetchingScript || state_ == PBLStateBuildingAdURL ||
           state_ == PBLStateFetchingAd || state_ == PBLStateRendering;
}

bool PBLObjectPrivate::isAppActive() {
    auto app = UIApplication::sharedApplication();
    if (!app || app->applicationState() == UIApplicationStateActive) return true;
    return !launchFinished();
}

bool PBLObjectPrivate::supportsMinimumRequirementsForRequest(PBLRequestPrivate* request) {
    if (PBLRequestPrivate::deviceAtLeastMinimumOSMajorVersion(3, 0)) return true;
    delegateManager_->didFailToReceiveAdWithError(PBLRequestError::errorWithCode(4, request).get());
    state_ = PBLStateFailed;
    return false;
}

void PBLObjectPrivate::loadPrivateRequest(NSObject* object, bool autoRefresh) {
    Ref<PBLRequestPrivate> request = privateRequestWithRequest(object);
    if (isMakingRequest() || !isAppActive() ||
        !supportsMinimumRequirementsForRequest(request.get()))
        return;
    if (!autoRefresh) hasAutoRefreshed_ = false;
    // A refresh keeps the owner's request; the timer marks that it has refreshed.
    else
        hasAutoRefreshed_ = true;
    if (request.get() != request_.get()) request_ = as<PBLRequestPrivate>(request->copy());
    auto statistics = PBLStatistics::sharedStatistics();
    if (!statistics->timingNamed(NS("ptime"))) statistics->startTimingNamed(NS("ptime"));
    request_->setCounter(statistics->incrementAdRequestCount());
    state_ = PBLStateBuildingAdURL;
    ensureSupportFiles();
}

void PBLObjectPrivate::ensureSupportFiles() {
    if (!scriptFile_) {
        state_ = PBLStateFetchingScript;
        scriptFile_ = make<PBLCachedFile>(
            &PBLCachedFile::initWithDelegate, static_cast<PBLCachedFileDelegate*>(this),
            NSURL::URLWithString(NS("http://" PBL_STATIC_HOST "/" PBL_SCRIPT_PATH)).get());
    }
    auto store =
        make<PBLStatisticsCore>(&PBLStatisticsCore::initWithIdentifier, NS("PBLObjectPrivate"));
    auto expires = store->dateForKey(NS("expireDate"));
    if (expires && scriptFile_->hasContent() && expires->timeIntervalSinceNow() >= 0) {
        cachedFileDownloadDidEnd(scriptFile_.get());
        return;
    }
    store->setDate(NSDate::dateWithTimeIntervalSinceNow(86400).get(), NS("expireDate"));
    store->savePersistentStatistics();
    state_ = PBLStateFetchingScript;
    scriptFile_->validate();
}

// ---- cached files ------------------------------------------------------------------------------

void PBLObjectPrivate::cachedFileDownloadDidEnd(PBLCachedFile* file) {
    if (file == scriptFile_.get()) {
        buildAdUrl();
    } else if (file == adHTML_.get()) {
        processHTTPHeaders(file);
        showAd();
    }
}

void PBLObjectPrivate::cachedFileDownloadDidFail(PBLCachedFile* file, NSError*) {
    if (file == scriptFile_.get())
        failedToDownloadJavaScript();
    else if (file == adHTML_.get())
        failedAdRequest(file);
}

Ref<NSError> PBLObjectPrivate::cachedFileShouldRedirectToURL(PBLCachedFile* file, NSURL*) {
    // The redirect response's headers count too.
    processHTTPHeaders(file);
    return nullptr;
}

void PBLObjectPrivate::failedToDownloadJavaScript() {
    state_ = PBLStateScriptFailed;
    if (scriptFile_->hasContent())
        buildAdUrl();
    else
        delegateManager_->didFailToReceiveAdWithError(
            PBLRequestError::errorWithCode(2, request_.get()).get());
}

// ---- the hidden page that builds the ad URL ----------------------------------------------------

void PBLObjectPrivate::buildAdUrl() {
    state_ = PBLStateBuildingAdURL;
    auto parameters = request_->parameters();
    if (filled(adUnitID_.get())) parameters->setObject(adUnitID_.get(), NS("slotname"));
    if (request_->isInterstitialAd()) {
        parameters->setObject(NS("interstitial_mb"), NS("format"));
    } else {
        auto view = adView_.lock();
        CGRect f = view ? view->frame() : webView_->frame();
        auto frame = NSMutableDictionary::dictionary();
        frame->setObject(NSNumber::numberWithFloat(float(f.origin.x)).get(), NS("x"));
        frame->setObject(NSNumber::numberWithFloat(float(f.origin.y)).get(), NS("y"));
        frame->setObject(NSNumber::numberWithFloat(float(f.size.width)).get(), NS("w"));
        frame->setObject(NSNumber::numberWithFloat(float(f.size.height)).get(), NS("h"));
        parameters->setObject(frame.get(), NS("ad_frame"));
    }
    auto json = PBLMacros::jsonify(parameters.get());
    auto content = scriptFile_->content();
    std::string page = "<html><head><script>" + (content ? content->utf8() : std::string()) +
                       "</script><script>PBMA_buildAdURL(" + (json ? json->utf8() : "{}") +
                       ");</script></head><body></body></html>";
    setupBuildAdWebView(NSString::fromUTF8(page).get());
}

void PBLObjectPrivate::setupBuildAdWebView(NSString* html) {
    resetBuildAdWebView();
    buildAdWebViewDelegate_ = make<PBLWebViewDelegate>();
    buildAdWebView_ = make<UIWebView>(&UIWebView::initWithFrame, CGRectMake(0, 0, 1, 1));
    buildAdWebView_->setHidden(true);
    buildAdWebView_->setDelegate(buildAdWebViewDelegate_.get());
    auto center = NSNotificationCenter::defaultCenter();
    observe(center.get(), NS("loadAdURL"), buildAdWebView_.get(), &PBLObjectPrivate::loadAdURL,
            buildObservers_);
    observe(center.get(), NS("invalidRequest"), buildAdWebView_.get(),
            &PBLObjectPrivate::invalidRequest, buildObservers_);
    observe(center.get(), NS("unableToServe"), buildAdWebView_.get(),
            &PBLObjectPrivate::unableToServe, buildObservers_);
    buildAdWebView_->loadHTMLString(html, NSURL::URLWithString(NS("http://" PBL_AD_HOST)).get());
    Weak<PBLObjectPrivate> weak = this;
    buildTimer_ =
        NSTimer::scheduledTimerWithTimeInterval(kBuildAdURLTimeout, false, [weak](NSTimer*) {
            if (auto self = weak.lock()) self->buildAdURLTimedOut();
        });
}

void PBLObjectPrivate::buildAdURLTimedOut() {
    buildTimer_ = nullptr;
    if (state_ != PBLStateBuildingAdURL) return;
    resetBuildAdWebView();
    fail(5, PBLStateFailed);
}

void PBLObjectPrivate::resetBuildAdWebView() {
    for (auto& token : buildObservers_)
        NSNotificationCenter::defaultCenter()->removeObserver(token.get());
    buildObservers_.clear();
    if (buildTimer_) buildTimer_->invalidate();
    buildTimer_ = nullptr;
    if (buildAdWebView_) {
        buildAdWebView_->setDelegate(nullptr);
        buildAdWebView_->stopLoading();
    }
    buildAdWebView_ = nullptr;
    buildAdWebViewDelegate_ = nullptr;
}

void PBLObjectPrivate::invalidRequest(NSNotification* note) {
    refuseRequest(note, "<Pebble> Invalid Request: %@");
}
void PBLObjectPrivate::unableToServe(NSNotification* note) {
    refuseRequest(note, "<Pebble> Unable to serve: %@");
}

void PBLObjectPrivate::refuseRequest(NSNotification* note, const char* format) {
    Ref<NSDictionary> info = note->userInfo();
    resetBuildAdWebView();
    NSLog(NSString::fromUTF8(format).get(), info);
    fail(0, PBLStateFailed);
}

void PBLObjectPrivate::loadAdURL(NSNotification* note) {
    Ref<NSDictionary> info = note->userInfo();
    resetBuildAdWebView();
    state_ = PBLStateFetchingAd;
    auto text = info ? as<NSString>(info->objectForKey(NS("url"))) : nullptr;
    auto type = info ? as<NSString>(info->objectForKey(NS("type"))) : nullptr;
    auto url = text ? NSURL::URLWithString(text.get()) : nullptr;
    pblSignalsNoteAdLoad(requestTypeFromString(type.get()), PBLRequest::sdkVersion().get());
    if (!url) {
        fail(2, PBLStateFailed);
        return;
    }
    auto signals = request_->spamSignals();
    if (signals && signals->count() > 0)
        url = PBLNetworkUtilities::appendQueryParameters(signals.get(), url.get());
    PBLStatistics::sharedStatistics()->startTimingNamed(NS("prl"));
    setAdHTML(make<PBLCachedFile>(&PBLCachedFile::initWithDelegate,
                                  static_cast<PBLCachedFileDelegate*>(this), url.get())
                  .get());
}

// ---- the ad page -------------------------------------------------------------------------------

void PBLObjectPrivate::setAdHTML(PBLCachedFile* file) {
    if (file == adHTML_.get()) return;
    if (adHTML_) {
        adHTML_->setDelegate(nullptr);
        adHTML_->invalidate();
    }
    adHTML_ = file;
    pendingTrackingURLs_ = nullptr;
    pendingClickURLs_ = nullptr;
    if (adHTML_) adHTML_->validate();
}

Ref<NSMutableArray> PBLObjectPrivate::createOrReuseArrayOfURLsFromHeader(NSMutableArray* array,
                                                                         NSString* header) {
    Ref<NSMutableArray> result = array;
    if (!header) return result;
    auto pieces = header->componentsSeparatedByString(NS(" "));
    for (auto* piece : *pieces) {
        auto text = as<NSString>(piece)->stringByTrimmingCharactersInSet(
            NSCharacterSet::whitespaceAndNewlineCharacterSet().get());
        auto url = NSURL::URLWithString(text.get());
        if (!url || !filled(url->absoluteString().get())) continue;
        if (!result) result = NSMutableArray::array();
        result->addObject(url.get());
    }
    return result;
}

void PBLObjectPrivate::processHTTPHeaders(PBLCachedFile* file) {
    pendingTrackingURLs_ = createOrReuseArrayOfURLsFromHeader(
        pendingTrackingURLs_.get(), header(file, "X-Pbma-Tracking-Urls").get());
    pendingClickURLs_ = createOrReuseArrayOfURLsFromHeader(
        pendingClickURLs_.get(), header(file, "X-Pbma-Click-Tracking-Urls").get());
    auto orientation = header(file, "X-Pbma-Orientation");
    std::string o = orientation ? orientation->utf8() : "";
    supportedOrientations_ = o == "any" ? 1 : o == "portrait" ? 2 : o == "landscape" ? 3 : 0;
    auto timeout = header(file, "X-Pbma-Interstitial-Timeout");
    if (filled(timeout.get()))
        NSUserDefaults::standardUserDefaults()->setFloat(timeout->floatValue(),
                                                         NS("applicationTimeout"));
}

void PBLObjectPrivate::showAd() {
    auto trimmed = adHTMLString();
    auto base = adHTMLBaseURL();
    addReloadInformationFromHeaders();
    if (!filled(trimmed.get())) {
        fail(1, PBLStateFailed);
        return;
    }
    state_ = PBLStateRendering;
    webView_->loadHTMLString(trimmed.get(), base.get());
}

void PBLObjectPrivate::failedAdRequest(PBLCachedFile* file) {
    int status = file->httpStatusCode();
    int code = 2;
    if (status == 400) {
        NSLog(
            NS("<Pebble> Server rejected ad parameters.  Typically this is because the ad unit "
               "ID is incorrect."));
        code = 0;
    } else if (status > 400) {
        code = 3;
    }
    fail(code, PBLStateFailed);
    addReloadInformationFromHeaders();
}

void PBLObjectPrivate::fail(int code, int state) {
    state_ = state;
    delegateManager_->didFailToReceiveAdWithError(
        PBLRequestError::errorWithCode(code, request_.get()).get());
}

void PBLObjectPrivate::adDidRender() {
    if (state_ != PBLStateRendering) return;
    state_ = PBLStateShowing;
    webView_->setHidden(false);
    if (auto scroller = webView_->scrollView()) scroller->setScrollsToTop(false);
    delegateManager_->didReceiveAd();
    // An interstitial is seen only when it is presented, which tracks its impressions then.
    if (pendingTrackingURLs_ && !(request_ && request_->isInterstitialAd()))
        trackURLs(pendingTrackingURLs_.get());
    auto statistics = PBLStatistics::sharedStatistics();
    statistics->endTimingNamed(NS("prl"));
    statistics->startTimingNamed(NS("ppcl"));
}

void PBLObjectPrivate::adDidFailToRender() {
    if (state_ == PBLStateShowing) return;
    fail(2, PBLStateFailed);
}

// ---- refresh -----------------------------------------------------------------------------------

void PBLObjectPrivate::addReloadInformationFromHeaders() {
    auto rate = header(adHTML_.get(), "X-Pbma-Refresh-Rate");
    scheduleReloadTimer(filled(rate.get()) ? rate->doubleValue() : reloadSeconds_);
}

void PBLObjectPrivate::scheduleReloadTimer(double seconds) {
    resetReloadTimer();
    // Zero, negative or unreadable: no refresh (a negative interval would refire at once).
    if (!(seconds > 0)) return;
    reloadSeconds_ = seconds;
    Weak<PBLObjectPrivate> weak = this;
    reloadTimer_ = NSTimer::scheduledTimerWithTimeInterval(seconds, false, [weak](NSTimer*) {
        auto self = weak.lock();
        if (!self) return;
        self->reloadTimer_ = nullptr;
        // Under an ad's full-screen view or on a covered screen nobody would see the new ad,
        // yet its trackers would count it: the refresh waits for the next period.
        auto view = self->adView_.lock();
        if (AdFullScreenHold::anyHeld() || (view && !AdViewIsInSight(view.get())))
            self->scheduleReloadTimer(self->reloadSeconds_);
        else
            self->loadPrivateRequest(self->request_.get(), true);
    });
}

void PBLObjectPrivate::resetReloadTimer() {
    if (reloadTimer_) reloadTimer_->invalidate();
    reloadTimer_ = nullptr;
}

void PBLObjectPrivate::appDidBackground(NSNotification*) {
    resetReloadTimer();
}

void PBLObjectPrivate::appDidForeground(NSNotification*) {
    scheduleReloadTimer(reloadSeconds_);
}

void PBLObjectPrivate::cancelPendingActions() {
    resetReloadTimer();
}

// ---- tracking ----------------------------------------------------------------------------------

void PBLObjectPrivate::trackURLs(NSArray* urls) {
    for (auto* entry : *urls) {
        Ref<NSURL> url = as<NSURL>(entry);
        if (auto text = as<NSString>(entry)) url = NSURL::URLWithString(text.get());
        if (!url) continue;
        auto tracker = make<PBLClickTracker>();
        tracker->setDelegate(this);
        tracker->trackURL(url.get());
        trackers_->addObject(tracker.get());
    }
}

void PBLObjectPrivate::trackerDidFailWithError(PBLClickTracker*, NSError*) {
    scheduleCleanup();
}
void PBLObjectPrivate::trackerDidRedirect(PBLClickTracker*, NSURL*) {
    scheduleCleanup();
}

void PBLObjectPrivate::scheduleCleanup() {
    // On the next pass, once the tracker's own callback has returned.
    Weak<PBLObjectPrivate> weak = this;
    NSRunLoop::currentRunLoop()->performBlock([weak] {
        if (auto self = weak.lock()) self->cleanupTrackers();
    });
}

void PBLObjectPrivate::cleanupTrackers() {
    auto keep = NSMutableArray::array();
    for (auto* t : *trackers_)
        if (auto tracker = as<PBLClickTracker>(t); tracker && !tracker->hasTracked())
            keep->addObject(tracker.get());
    trackers_ = keep;
}

size_t PBLObjectPrivate::trackerCount() {
    return trackers_->count();
}

void PBLObjectPrivate::trackClickURLs(NSArray* urls) {
    NSUInteger before = trackers_->count();
    trackURLs(urls);
    clickTrackers_ = trackers_->subarrayWithRange(NSMakeRange(before, trackers_->count() - before));
}

bool PBLObjectPrivate::clickThroughOut() {
    if (clickTrackers_)
        for (auto* t : *clickTrackers_)
            if (as<PBLClickTracker>(t)->isTracking()) return true;
    auto bridge = webViewDelegate_;
    return bridge && (bridge->isTracking() || bridge->opener()->showsScreen());
}

// ---- the ad's web view delegate ----------------------------------------------------------------

bool PBLBannerWebViewDelegate::initWithObjectPrivate(PBLObjectPrivate* engine) {
    if (!PBLWebViewDelegate::init()) return false;
    engine_ = engine;
    if (auto view = engine->webView()) view->setDelegate(this);
    return true;
}

void PBLBannerWebViewDelegate::webViewDidFinishLoad(UIWebView* webView) {
    PBLWebViewDelegate::webViewDidFinishLoad(webView);
    if (auto engine = engine_.lock()) engine->adDidRender();
}

void PBLBannerWebViewDelegate::webViewDidFailLoadWithError(UIWebView* webView, NSError* error) {
    PBLWebViewDelegate::webViewDidFailLoadWithError(webView, error);
    if (auto engine = engine_.lock()) engine->adDidFailToRender();
}

bool PBLBannerWebViewDelegate::webViewShouldStartLoadWithRequest(
    UIWebView* webView, NSURLRequest* request, UIWebViewNavigationType navigationType) {
    auto engine = engine_.lock();
    if (engine) {
        setViewController(engine->rootViewController().get());
        opener()->setDelegateManager(engine->delegateManager().get());
        opener()->setViewController(engine->rootViewController().get());
    }
    if (!engine || engine->state() != PBLStateShowing)
        return PBLWebViewDelegate::webViewShouldStartLoadWithRequest(webView, request,
                                                                     navigationType);
    // One tap's click-through at a time: a tap while an earlier one's is out does nothing.
    if (navigationType == UIWebViewNavigationTypeLinkClicked && engine->clickThroughOut())
        return false;
    // Every navigation of the shown ad, commands included, is a click on it; the pending click
    // trackers are hit again on each one until the next ad page replaces them.
    auto clickURL = PBLStatistics::sharedStatistics()->urlForClick(request->URL().get());
    if (auto clicks = engine->pendingClickURLs()) engine->trackClickURLs(clicks.get());
    if (PBLWebViewDelegate::webViewShouldStartLoadWithRequest(webView, request, navigationType)) {
        auto current = webView->request();
        opener()->setReferringURL(current ? current->URL().get() : nullptr);
        auto scheme =
            clickURL && clickURL->scheme() ? clickURL->scheme()->lowercaseString() : nullptr;
        if (scheme && scheme->hasPrefix(NS("http"))) {
            auto clicks = engine->pendingClickURLs();
            if (clicks && clicks->count() > 0)
                opener()->openWebApp(clickURL.get(), engine->supportedOrientations());
            else
                opener()->openBrowserToURL(clickURL.get(), engine->supportedOrientations());
        }
    }
    return false;
}
