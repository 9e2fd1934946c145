#include "ads/meridian/MRGenericAdView.h"

#include <cstdlib>

#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/SystemInfo.h"
#include "QuartzCore/CALayer.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIDevice.h"
#include "URLLoading/NSURLResponse.h"
#include "ads/meridian/MRBasicAd.h"
#include "ads/meridian/MRHandshake.h"
#include "ads/meridian/MRHosts.h"
#include "ads/meridian/MRVideoCache.h"
#include "ads/place/AdFullScreen.h"

namespace {
// A header's value whatever the case of its name; nil when absent.
Ref<NSString> headerValue(NSDictionary* headers, const char* name) {
    return NSHTTPURLResponse::valueForHTTPHeaderField(headers, NSString::fromUTF8(name).get());
}

Ref<NSString> systemValue(const char* name) {
    char buffer[32] = {0};
    size_t size = sizeof buffer;
    if (phone_system::sysctlbyname(name, buffer, &size, nullptr, 0) != 0) return nullptr;
    buffer[sizeof buffer - 1] = 0;
    return NSString::stringWithCString(buffer, NSASCIIStringEncoding);
}

struct CheckedKey {
    const char* key;
    std::vector<const char*> allowed;
};

const std::vector<CheckedKey>& checkedKeys() {
    static const std::vector<CheckedKey> keys = {
        {"gender", {"male", "female", "unknown"}},
        {"marital", {"single", "married", "divorced", "swinger", "relationship", "engaged"}},
        {"ethnicity",
         {"hispanic", "africanamerican", "asian", "indian", "middleeastern", "nativeamerican",
          "pacificislander", "white", "other"}},
        {"orientation", {"straight", "bisexual", "notsure", "gay"}},
    };
    return keys;
}

}  // namespace

void MRGenericAdView::describeClass(RuntimeClass& c) {
    c.method("timerRefreshAd", &MRGenericAdView::timerRefreshAd);
    c.method("videoCachingDidBegin:", &MRGenericAdView::videoCachingDidBegin);
    c.method("videoCachingDidEnd:", &MRGenericAdView::videoCachingDidEnd);
    c.method("resizeAdFromNotification:", &MRGenericAdView::resizeAdFromNotification);
    c.method("resizeToHeight:", &MRGenericAdView::resizeToHeight);
    c.implements({"animationDidStop:finished:"});
}

bool MRGenericAdView::initWithFrame(CGRect frame, bool) {
    if (!MRAdView::initWithFrame(frame)) return false;
    auto dirs = NSSearchPathForDirectoriesInDomains(NSLibraryDirectory, NSUserDomainMask, true);
    auto library = as<NSString>(dirs->objectAtIndex(0));
    NSFileManager::defaultManager()->createDirectoryAtPath(
        library->stringByAppendingPathComponent(NS("mrsdk")).get(), true, nullptr, nullptr);
    overlaySize_ = CGSizeZero;
    adData_ = NSMutableData::data();
    setAutoresizesSubviews(false);
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    setBackgroundColor(UIColor::clearColor().get());
    setClipsToBounds(true);
    auto html = alloc<MRHTMLAdView>();
    html->initWithFrame(CGRectMake(0, 0, frame.size.width, frame.size.height), this);
    addSubview(html.get());
    htmlAdView_ = html.get();
    auto json = alloc<MRJSONAdView>();
    json->initWithFrame(CGRectMake(0, 0, frame.size.width, frame.size.height), this);
    json->setHidden(true);
    addSubview(json.get());
    jsonAdView_ = json.get();
    enableManualAdRefresh_ = true;
    auto center = NSNotificationCenter::defaultCenter();
    center->addObserver(this, Selector::named("videoCachingDidBegin:"),
                        NS("MRCachingBeganNotification"), nullptr);
    center->addObserver(this, Selector::named("videoCachingDidEnd:"),
                        NS("MRCachingEndedNotification"), nullptr);
    center->addObserver(this, Selector::named("resizeAdFromNotification:"),
                        NS("MRResizeAdToHeight"), nullptr);
    return true;
}

void MRGenericAdView::dealloc() {
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    if (refreshAdTimer_) refreshAdTimer_->invalidate();
    refreshAdTimer_ = nullptr;
    if (connection_) connection_->cancel();
    connection_ = nullptr;
    if (overlayView_) {
        overlayView_->setDelegate(nullptr);
        overlayView_->removeFromSuperview();
    }
    overlayView_ = nullptr;
    if (auto html = htmlAdView_.lock()) html->setDelegate(nullptr);
    if (auto json = as<MRJSONAdView>(jsonAdView_.lock())) json->setDelegate(nullptr);
    additionalRequestParameters_ = nullptr;
    adData_ = nullptr;
    MRAdView::dealloc();
}

// ---- set-up ----------------------------------------------------------------------------------

void MRGenericAdView::setApid(NSString* apid) {
    if (apid) {
        apid_ = apid;
    } else if (!apid_) {
        auto info = as<NSString>(NSBundle::mainBundle()->objectForInfoDictionaryKey(NS("APID")));
        apid_ = info ? info : Ref<NSString>(NS("357"));
    }
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setObject(apid_.get(), NS("MRApid"));
    defaults->synchronize();
}

Ref<NSString> MRGenericAdView::adType() {
    return MRAdView::adTypeName(adType_);
}

void MRGenericAdView::setRequestData(NSDictionary* parameters) {
    additionalRequestParameters_ =
        parameters ? as<NSMutableDictionary>(parameters->mutableCopy()) : nullptr;
}

Ref<NSString> MRGenericAdView::getValueFromRequestParameters(NSString* key) {
    if (additionalRequestParameters_)
        if (auto value = additionalRequestParameters_->objectForKey(key))
            return value->description();
    return NS("");
}

// ---- the request -----------------------------------------------------------------------------

Ref<NSString> MRGenericAdView::urlEncode(NSString* text) {
    if (!text) return NS("");
    static NSCharacterSet* const unreserved =
        immortal(NSCharacterSet::characterSetWithCharactersInString(
            NS("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~")));
    auto escaped = text->stringByAddingPercentEncodingWithAllowedCharacters(unreserved);
    return escaped ? escaped : Ref<NSString>(NS(""));
}

// The device's values are read each time (a few getters and a format): the device may be made
// another one (a pad, another system) by the platform's setters.
Ref<NSString> MRGenericAdView::deviceID() {
    return UIDevice::currentDevice()->uniqueIdentifier();
}

Ref<NSString> MRGenericAdView::deviceType() {
    return UIDevice::currentDevice()->model();
}

Ref<NSString> MRGenericAdView::sdkVersion() {
    return UIDevice::currentDevice()->systemVersion();
}

Ref<NSString> MRGenericAdView::userAgent() {
    return NSString::stringWithFormat(NS("%@ %@"), deviceType().get(), sdkVersion().get());
}

Ref<NSString> MRGenericAdView::encodedUserAgent() {
    return urlEncode(userAgent().get());
}

Ref<NSString> MRGenericAdView::deviceSystemVersion() {
    return UIDevice::currentDevice()->systemVersion();
}

Ref<NSString> MRGenericAdView::deviceModel() {
    return systemValue("hw.machine");
}

Ref<NSString> MRGenericAdView::deviceModelNumber() {
    auto value = systemValue("hw.model");
    return value ? value : Ref<NSString>(NS(""));
}

Ref<NSDictionary> MRGenericAdView::UIDeviceValues() {
    auto device = UIDevice::currentDevice();
    auto model = deviceModel();
    return NSDictionary::dictionaryWithObjectsAndKeys(
        {device->uniqueIdentifier().get(), NS("device_id"), device->name().get(), NS("device_name"),
         device->systemName().get(), NS("device_type"), device->systemVersion().get(),
         NS("device_version"), device->localizedModel().get(), NS("device_localized_model"),
         (model ? model : device->model()).get(), NS("device_model"), deviceModelNumber().get(),
         NS("device_model_number")});
}

bool MRGenericAdView::isAccelerometerEnabled() {
    auto d = delegate();
    if (!MRDelegateAnswers(d.get(), "accelerometerEnabled")) return true;
    return d->accelerometerEnabled();
}

Ref<NSURL> MRGenericAdView::buildRequestUrl() {
    auto size = frame().size;
    auto text = NSString::stringWithFormat(
        NS("http://%s/getAd.php5?medialets=false&sdkapid=%@&auid=%@&mrisdk=%@&ua=%@&dv=%@&dm=%@&"
           "adtype=%@&hswd=%1.0f&hsht=%1.0f&accelerometer=%@%@"),
        MRAdHost, urlEncode(apid_.get()).get(), urlEncode(deviceID().get()).get(),
        urlEncode(NSString::fromUTF8(MRSDKVersion).get()).get(), encodedUserAgent().get(),
        urlEncode(deviceSystemVersion().get()).get(), urlEncode(deviceModel().get()).get(),
        urlEncode(adType().get()).get(), double(size.width), double(size.height),
        isAccelerometerEnabled() ? NS("true") : NS("false"), extraParams().get());
    NSLog(NS("AD URL: %@"), text.get());
    return NSURL::URLWithString(text.get());
}

Ref<NSString> MRGenericAdView::extraParams() {
    auto d = delegate();
    if (MRDelegateAnswers(d.get(), "requestData"))
        if (auto data = d->requestData()) setRequestData(data.get());
    return convertAdditionalRequestParametersToString();
}

Ref<NSString> MRGenericAdView::convertAdditionalRequestParametersToString() {
    auto out = NSMutableString::string();
    if (additionalRequestParameters_) {
        auto keys = additionalRequestParameters_->allKeys();
        for (NSUInteger i = 0; i < keys->count(); i++) {
            auto key = keys->objectAtIndex(i)->description();
            auto object = additionalRequestParameters_->objectForKey(keys->objectAtIndex(i).get());
            auto value = object ? object->description() : Ref<NSString>(NS(""));
            for (auto& checked : checkedKeys()) {
                if (key->utf8() != checked.key) continue;
                bool ok = false;
                for (auto* allowed : checked.allowed)
                    ok = ok || value->utf8() == allowed;
                if (!ok) {
                    auto list = NSMutableString::string();
                    for (size_t j = 0; j < checked.allowed.size(); j++) {
                        if (j) list->appendString(NS(","));
                        list->appendString(NSString::fromUTF8(checked.allowed[j]).get());
                    }
                    NSException::raise(
                        NS("Invalid Meta Data"),
                        NS("The key provided %@ must have one of the following value %@"),
                        key.get(), list.get());
                }
            }
            // Each key and value is escaped on its own: a "&" in a value must not add keys.
            out->appendFormat(NS("&%@=%@"), urlEncode(key.get()).get(),
                              urlEncode(value.get()).get());
        }
    }
    out->appendString(MRHandshake::sharedHandshake()->isVideoAdRequestAllowed()
                          ? NS("&video=true")
                          : NS("&video=false"));
    auto locale = NSLocale::currentLocale();
    out->appendFormat(
        NS("&language=%@&country=%@"),
        urlEncode(as<NSString>(locale->objectForKey(NSLocaleLanguageCode)).get()).get(),
        urlEncode(as<NSString>(locale->objectForKey(NSLocaleCountryCode)).get()).get());
    bool old = deviceSystemVersion()->compare(NS("3.2"), NSNumericSearch) == NSOrderedAscending;
    out->appendString(old ? NS("&cachedvideo=false") : NS("&cachedvideo=true"));
    return out;
}

// ---- fetching --------------------------------------------------------------------------------

void MRGenericAdView::connectOrPlayCache() {
    if (!MRHandshake::sharedHandshake()->isAdCallAllowed()) {
        NSLog(NS("MRSDK: Ad requests have been disabled."));
        return;
    }
    // A video whose download completed plays without a request, while it may.
    if (auto cached = cachedVideo()) {
        auto json = as<MRJSONAdView>(jsonAdView_.lock());
        if (json && !MRHandshake::sharedHandshake()->isDeferredTimeoutExpired() &&
            !cached->isCacheExpired()) {
            json->playVideoAdWithCache(cached.get());
            return;
        }
    }
    MRVideoCache::removeExpiredCaches();
    auto url = buildRequestUrl();
    if (!url) return;
    auto request = NSMutableURLRequest::requestWithURL(url.get());
    auto agent = NSString::fromUTF8(MRUserAgentHeader);
    request->setValueForHTTPHeaderField(agent.get(), NS("User-Agent"));
    request->setValueForHTTPHeaderField(agent.get(), NS("User_Agent"));
    connect(request.get());
}

void MRGenericAdView::connect(NSURLRequest* request) {
    if (connection_) connection_->cancel();
    connection_ = nullptr;
    adData_ = NSMutableData::data();
    statusCode_ = 0;
    adMimeType_ = nullptr;
    connection_ = alloc<NSURLConnection>();
    connection_->initWithRequest(request, this);
}

void MRGenericAdView::dropConnection() {
    adData_ = NSMutableData::data();
    connection_ = nullptr;
}

void MRGenericAdView::setAdMimeType(NSString* type) {
    adMimeType_ = type ? as<NSString>(type->copy()) : nullptr;
}

Ref<NSURLRequest> MRGenericAdView::connectionWillSendRequest(NSURLConnection*,
                                                             NSURLRequest* request,
                                                             NSURLResponse*) {
    return request;
}

void MRGenericAdView::connectionDidReceiveResponse(NSURLConnection* connection,
                                                   NSURLResponse* response) {
    if (connection != connection_.get()) return;
    openClickInBrowser_ = false;
    auto http = as<NSHTTPURLResponse>(response);
    statusCode_ = http ? http->statusCode() : 200;
    auto headers = http ? http->allHeaderFields() : nullptr;
    if (!headers || headers->count() == 0) return;
    if (auto type = headerValue(headers.get(), "Content-Type"))
        adMimeType_ = type->lowercaseString();
    auto length = headerValue(headers.get(), "Content-Length");
    if (length && length->intValue() > 0) {
        if (auto refresh = headerValue(headers.get(), "X-MR-Refresh")) {
            refreshAdTime_ = refresh->intValue();
            // The server's interval is the one the restarted timer runs on.
            if (refreshAdTime_ > 0)
                startTimerWithInterval(refreshAdTime_);
            else
                startTimer();
        }
    }
    if (headerValue(headers.get(), "X-MR-Video"))
        MRHandshake::sharedHandshake()->setLastVideoPlayedAt(NSDate::date().get());
    if (auto open = headerValue(headers.get(), "X-Openinbrowser"))
        openClickInBrowser_ = open->boolValue();
}

void MRGenericAdView::connectionDidReceiveData(NSURLConnection* connection, NSData* data) {
    if (connection != connection_.get()) return;
    adData_->appendData(data);
}

void MRGenericAdView::connectionDidFinishLoading(NSURLConnection* connection) {
    if (connection != connection_.get()) return;
    Ref<NSMutableData> data = adData_;
    dropConnection();
    // An error page is a failed request, not an ad.
    if (statusCode_ < 200 || statusCode_ > 299 || !data || data->length() == 0) {
        reportRequestFailed();
        return;
    }
    if (!adMimeType_) adMimeType_ = NS("text/html");
    if (adMimeType_->isEqualToString(NS("application/json"))) {
        loadJSONReply(data.get());
    } else if (auto html = htmlAdView_.lock()) {
        html->loadWithAdContents(data.get());
    }
}

void MRGenericAdView::connectionDidFailWithError(NSURLConnection* connection, NSError*) {
    if (connection != connection_.get()) return;
    dropConnection();
    reportRequestFailed();
}

// ---- JSON replies: see MRGenericAdViewJSON.cpp ------------------------------------------------

void MRGenericAdView::reportRequestFailed() {
    auto d = delegate();
    if (MRDelegateAnswers(d.get(), "adRequestFailed:")) d->adRequestFailed(this);
}

void MRGenericAdView::reportRequestSucceeded() {
    auto d = delegate();
    if (MRDelegateAnswers(d.get(), "adRequestSucceeded:")) d->adRequestSucceeded(this);
}

// ---- refreshing ------------------------------------------------------------------------------

void MRGenericAdView::updateTimerDuration() {
    auto config = MRHandshake::sharedHandshake()->adConfig();
    if (config.adRefresh > 0) {
        refreshAdTime_ = int32_t(config.adRefresh);
        return;
    }
    auto d = delegate();
    if (MRDelegateAnswers(d.get(), "adRefreshDuration")) {
        int32_t asked = d->adRefreshDuration();
        refreshAdTime_ = asked < 15 ? 15 : asked > 60 ? 60 : asked;
        return;
    }
    refreshAdTime_ = 60;
}

void MRGenericAdView::startTimer() {
    if (refreshAdTimer_) refreshAdTimer_->invalidate();
    refreshAdTimer_ = nullptr;
    if (!enableAdRefresh_) return;
    updateTimerDuration();
    startTimerWithInterval(refreshAdTime_);
}

void MRGenericAdView::startTimerWithInterval(int32_t seconds) {
    if (refreshAdTimer_) refreshAdTimer_->invalidate();
    refreshAdTimer_ = nullptr;
    if (!enableAdRefresh_) return;
    refreshAdTime_ = seconds;
    refreshAdTimer_ = NSTimer::scheduledTimerWithTimeInterval(
        seconds, this, Selector::named("timerRefreshAd"), nullptr, true);
}

void MRGenericAdView::stopTimer() {
    if (refreshAdTimer_) refreshAdTimer_->invalidate();
    refreshAdTimer_ = nullptr;
}

void MRGenericAdView::timerRefreshAd() {
    if (!enableManualAdRefresh_) return;
    // Under an ad's full-screen view, or out of sight, its next ad could start one over it.
    if (AdFullScreenHold::anyHeld() || !isInSight()) return;
    auto d = delegate();
    if (MRDelegateAnswers(d.get(), "adDidRefresh:")) d->adDidRefresh(this);
    try {
        connectOrPlayCache();
    } catch (const ExceptionRaised& e) {
        // The host's wrong targeting value must not end the program from a timer: this tick
        // sends nothing.
        NSLog(NS("MRSDK: %@: %@"), e.exception->name().get(), e.exception->reason().get());
    }
}

void MRGenericAdView::refreshAd() {
    if (!enableManualAdRefresh_) return;
    if (refreshAdTimer_) {
        stopTimer();
        auto d = delegate();
        if (MRDelegateAnswers(d.get(), "adDidRefresh:")) d->adDidRefresh(this);
        connectOrPlayCache();
        startTimer();
        return;
    }
    auto d = delegate();
    if (MRDelegateAnswers(d.get(), "adDidRefresh:")) d->adDidRefresh(this);
    connectOrPlayCache();
}

void MRGenericAdView::enableAdRefresh() {
    enableAdRefresh_ = true;
    startTimer();
}

void MRGenericAdView::disableAdRefresh() {
    enableAdRefresh_ = false;
    stopTimer();
}

void MRGenericAdView::setRefreshTimerEnabled(bool enabled) {
    if (enabled)
        enableAdRefresh();
    else
        disableAdRefresh();
}

void MRGenericAdView::videoCachingDidBegin(NSNotification*) {
    enableManualAdRefresh_ = false;
}
void MRGenericAdView::videoCachingDidEnd(NSNotification*) {
    enableManualAdRefresh_ = true;
}

// ---- geometry --------------------------------------------------------------------------------

void MRGenericAdView::setFrame(CGRect frame) {
    auto inner = CGRectMake(0, 0, frame.size.width, frame.size.height);
    if (auto html = htmlAdView_.lock()) html->setFrame(inner);
    if (auto json = jsonAdView_.lock()) json->setFrame(inner);
    MRAdView::setFrame(frame);
}

void MRGenericAdView::resizeAdFromNotification(NSNotification* note) {
    performSelectorOnMainThread(Selector::named("resizeToHeight:"),
                                note ? note->object().get() : nullptr, false);
}

void MRGenericAdView::resizeToHeight(NSNumber* number) {
    float height = number ? number->floatValue() : 0;
    if (height < 54) {
        startTimer();
        height = 53;
    } else {
        stopTimer();
    }
    setBackgroundColor(UIColor::whiteColor().get());
    if (auto parent = superview()) parent->bringSubviewToFront(this);
    auto f = frame();
    Ref<MRGenericAdView> self(this);
    UIView::animateWithDuration(0.6, [self, f, height] {
        self->setFrame(CGRectMake(f.origin.x, f.origin.y, f.size.width, height));
    });
}

// ---- ad views and overlay --------------------------------------------------------------------

void MRGenericAdView::htmlAdViewRequestFailed(MRHTMLAdView*) {
    reportRequestFailed();
}
void MRGenericAdView::htmlAdViewRequestSucceeded(MRHTMLAdView*) {
    reportRequestSucceeded();
}

void MRGenericAdView::htmlAdViewWasTapped(MRHTMLAdView* view, NSURLRequest* request) {
    adWasTapped(view ? view->getAd().get() : nullptr, request);
}

void MRGenericAdView::htmlAdViewWantsToOpenURL(MRHTMLAdView* view, NSURL* url) {
    adWantsToOpenURL(view ? view->getAd().get() : nullptr, url);
}

void MRGenericAdView::htmlAdViewTransitionAnimationWillBegin(MRHTMLAdView*) {
    selfDuringTransition_ = this;
}

void MRGenericAdView::htmlAdViewTransitionAnimationDidEnd(MRHTMLAdView* view) {
    Ref<MRGenericAdView> keep(this);
    fadeAdView(view);
    selfDuringTransition_ = nullptr;
}

namespace {
bool schemeLeavesProgram(NSURL* url) {
    auto scheme = url ? url->scheme() : nullptr;
    if (!scheme) return false;
    auto s = scheme->lowercaseString()->utf8();
    return s == "sms" || s == "tel" || s == "mrbrowser";
}

// "mrbrowser://" stands before the address the platform's browser should open.
Ref<NSURL> outsideURL(NSURL* url) {
    auto scheme = url->scheme();
    if (scheme && scheme->lowercaseString()->isEqualToString(NS("mrbrowser"))) {
        auto rest =
            url->absoluteString()->stringByReplacingOccurrencesOfString(NS("mrbrowser://"), NS(""));
        return NSURL::URLWithString(rest.get());
    }
    return Ref<NSURL>(url);
}
}  // namespace

void MRGenericAdView::adWasTapped(MRBasicAd* ad, NSURLRequest* request) {
    // One tap's click-through at a time: while the overlay an earlier one opened is up (a modal
    // one leaves the banner within reach), loading the click or showing its page, a tap on
    // the ad does nothing.
    if (overlayView_) return;
    auto d = delegate();
    if (MRDelegateAnswers(d.get(), "adWasTapped:")) d->adWasTapped(this);
    auto url = request ? request->URL() : nullptr;
    if (!openClickInBrowser_ && !schemeLeavesProgram(url.get())) {
        showOverlayWithAd(ad, request,
                          int32_t(UIApplication::sharedApplication()->statusBarOrientation()));
        if (ad) ad->startCloseOverlayTimer();
        stopTimer();
        return;
    }
    if (!url) return;
    if (auto out = outsideURL(url.get())) openURL(out.get());
    stopTimer();
}

void MRGenericAdView::adWantsToOpenURL(MRBasicAd* ad, NSURL* url) {
    if (!url) return;
    if (!schemeLeavesProgram(url)) {
        showOverlayWithAd(ad, NSURLRequest::requestWithURL(url).get(),
                          int32_t(UIApplication::sharedApplication()->statusBarOrientation()));
        if (ad) ad->startCloseOverlayTimer();
        stopTimer();
        return;
    }
    if (auto out = outsideURL(url)) openURL(out.get());
}

void MRGenericAdView::showOverlayWithAd(MRBasicAd* ad, NSObject* content, int32_t orientation) {
    showOverlayWithAd(ad, content, orientation, true, true);
}

void MRGenericAdView::showOverlayWithAd(MRBasicAd* ad, NSObject* content, int32_t orientation,
                                        bool notifyOpenDelegates, bool notifyCloseDelegates) {
    if (overlayView_) {
        overlayView_->setDelegate(nullptr);
        overlayView_->removeFromSuperview();
    }
    overlayView_ = nullptr;
    Ref<MRBasicAd> model = ad ? Ref<MRBasicAd>(ad) : make<MRBasicAd>();
    auto overlay = alloc<MROverlayView>();
    overlay->initWithType(model->shouldShowModal() ? MROverlayTypeModal : MROverlayTypeFullScreen,
                          this);
    overlayView_ = overlay;
    overlay->setNotifyOpenDelegates(notifyOpenDelegates);
    overlay->setNotifyCloseDelegates(notifyCloseDelegates);
    overlay->setModalSize(model->modalSize());
    overlay->setModalLocation(model->modalLocation());
    overlay->setModalBorderColor(model->modalBorderColor().get());
    overlay->setAlphaForModalBorder(model->alphaForModalBorder());
    overlay->setOverlaySize(overlaySize_);
    overlay->setOverlayOrientation(orientation);
    overlay->setMakeOverlayTransparent(model->shouldMakeOverlayTransparent());
    overlay->setTransition(model->overlayTransition().get());
    overlay->setTransitionDuration(model->transitionDuration());
    overlay->setShowTitlebar(model->showTitlebar());
    overlay->setShowBottomBar(model->showBottomBar());
    overlay->setHeaderTitle(model->overlayTitle().get());
    overlay->setTitlebarColor(model->titlebarColor().get());
    overlay->setEnableBottomBar(model->isBottomBarEnabled());
    overlay->setIsAccelerometerEnabled(isAccelerometerEnabled());
    if (auto request = as<NSURLRequest>(content)) {
        overlay->showWithRequest(request.get());
    } else if (auto html = as<NSString>(content)) {
        overlay->showWithHTML(html.get());
    } else {
        overlay->setDelegate(nullptr);
        overlayView_ = nullptr;
    }
}

void MRGenericAdView::openURL(NSURL* url) {
    auto d = delegate();
    if (MRDelegateAnswers(d.get(), "applicationWillTerminateFromAd"))
        d->applicationWillTerminateFromAd();
    UIApplication::sharedApplication()->openURL(url);
}

void MRGenericAdView::fadeAdView(UIView* adView) {
    auto html = htmlAdView_.lock();
    auto json = jsonAdView_.lock();
    if (!adView || !html || !json) return;
    if (adView == html.get()) {
        if (!(html->isHidden() && !json->isHidden())) return;
        json->setHidden(true);
        html->setHidden(false);
    } else if (adView == json.get()) {
        if (!(!html->isHidden() && json->isHidden())) return;
        html->setHidden(true);
        json->setHidden(false);
    } else {
        return;
    }
    auto fade = CATransition::animation();
    fade->setDuration(0.5);
    fade->setTimingFunction(
        CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut).get());
    fade->setType(kCATransitionFade);
    fade->setDelegate(this);
    layer()->addAnimation(fade.get(), nullptr);
}

void MRGenericAdView::overlayWillAppear(MROverlayView* overlay) {
    auto d = delegate();
    if (overlay && overlay->notifyOpenDelegates() &&
        MRDelegateAnswers(d.get(), "adModalWillAppear"))
        d->adModalWillAppear();
}

void MRGenericAdView::overlayDidAppear(MROverlayView* overlay) {
    auto d = delegate();
    if (overlay && overlay->notifyOpenDelegates() && MRDelegateAnswers(d.get(), "adModalDidAppear"))
        d->adModalDidAppear();
}

void MRGenericAdView::overlayWillDisappear(MROverlayView*) {
    startTimer();
}

void MRGenericAdView::overlayDidDisappear(MROverlayView* overlay) {
    Ref<MRGenericAdView> keep(this);
    if (overlay && overlay->notifyCloseDelegates()) {
        auto d = delegate();
        if (MRDelegateAnswers(d.get(), "adModalWasDismissed")) d->adModalWasDismissed();
        NSNotificationCenter::defaultCenter()->postNotificationName(NS("MRShowStatusBarIfNeeded"),
                                                                    nullptr);
    }
    if (overlayView_.get() == overlay) overlayView_ = nullptr;
}

void MRGenericAdView::overlayWantsToTerminateAppToOpenURL(MROverlayView* overlay, NSURL* url) {
    Ref<MROverlayView> keep(overlay);
    if (overlay) overlay->close();
    if (url) openURL(url);
}
