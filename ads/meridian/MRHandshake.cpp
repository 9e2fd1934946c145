#include "ads/meridian/MRHandshake.h"

#include <algorithm>
#include <cmath>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIAlertView.h"
#include "URLLoading/NSURLResponse.h"
#include "ads/meridian/MRAdView.h"
#include "ads/meridian/MRGenericAdView.h"
#include "ads/meridian/MRHosts.h"
#include "ads/pjson/PJsonParser.h"

namespace {
ProcessWide<MRHandshake>& sharedSlot() {
    static ProcessWide<MRHandshake> shared{nullptr, [](MRHandshake* h) { h->stop(); }};
    return shared;
}

// A number, or a text holding one, read as a float; anything else reads as 0.
float floatOf(NSObject* value) {
    if (auto n = as<NSNumber>(value)) return n->floatValue();
    if (auto s = as<NSString>(value)) return s->floatValue();
    return 0;
}
}  // namespace

void MRHandshake::describeClass(RuntimeClass& c) {
    c.method("requestConfiguration", &MRHandshake::requestConfiguration);
    c.method("timerRequestConfiguration:", &MRHandshake::timerRequestConfiguration);
}

Ref<MRHandshake> MRHandshake::sharedHandshake() {
    return sharedSlot().getOr([] {
        auto shared = alloc<MRHandshake>();
        shared->init();
        return shared;
    });
}

void MRHandshake::stop() {
    if (auto timer = nextHandshakeTimer_.lock()) timer->invalidate();
    if (connection_) connection_->cancel();
    connection_ = nullptr;
}

void MRHandshake::resetSharedHandshakeForTesting() {
    sharedSlot().reset();
}

Ref<NSString> MRHandshake::statePath() {
    auto dirs = NSSearchPathForDirectoriesInDomains(NSLibraryDirectory, NSUserDomainMask, true);
    auto library = as<NSString>(dirs->objectAtIndex(0));
    return library->stringByAppendingPathComponent(NS("mrsdk/mmhandshake.archive"));
}

bool MRHandshake::init() {
    if (!NSObject::init()) return false;
    if (auto apid = NSUserDefaults::standardUserDefaults()->stringForKey(NS("MRApid")))
        setApid(apid.get());
    isAdCallAllowed_ = true;
    deferredviewtimeout_ = 3600;
    handshakeCallbackDuration_ = 86400;
    if (NSFileManager::defaultManager()->fileExistsAtPath(statePath().get())) {
        loadState();
        parseResponseAndSetupNextHandshake(false);
        double wait =
            nextHandshakeToOccurAt_ ? nextHandshakeToOccurAt_->timeIntervalSinceNow() : -1;
        if (wait >= 0)
            scheduleNextHandshake(wait);
        else
            requestConfiguration();
    } else {
        requestConfiguration();
    }
    return true;
}

void MRHandshake::setApid(NSString* apid) {
    apid_ = apid ? as<NSString>(apid->copy()) : nullptr;
}

void MRHandshake::requestConfiguration() {
    auto locale = NSLocale::currentLocale();
    auto dm = MRGenericAdView::deviceModel();
    auto query = NSString::stringWithFormat(
        NS("appConfigServlet?apid=%@&mrisdk=%@&dv=%@&dm=%@&auid=%@&language=%@&country=%@"),
        MRGenericAdView::urlEncode(apid_.get()).get(),
        MRGenericAdView::urlEncode(NSString::fromUTF8(MRSDKVersion).get()).get(),
        MRGenericAdView::urlEncode(MRGenericAdView::deviceSystemVersion().get()).get(),
        MRGenericAdView::urlEncode(dm.get()).get(),
        MRGenericAdView::urlEncode(MRGenericAdView::deviceID().get()).get(),
        MRGenericAdView::urlEncode(as<NSString>(locale->objectForKey(NSLocaleLanguageCode)).get())
            .get(),
        MRGenericAdView::urlEncode(as<NSString>(locale->objectForKey(NSLocaleCountryCode)).get())
            .get());
    auto root = NSURL::URLWithString(NSString::stringWithFormat(NS("http://%s/"), MRAdHost));
    auto url = NSURL::URLWithString(query.get(), root.get());
    if (!url) return;
    connect(NSURLRequest::requestWithURL(url.get()).get());
}

void MRHandshake::connect(NSURLRequest* request) {
    if (connection_) connection_->cancel();
    connection_ = nullptr;
    connectionData_ = NSMutableData::data();
    statusCode_ = 0;
    connection_ = alloc<NSURLConnection>();
    connection_->initWithRequest(request, this);
}

void MRHandshake::connectionDidReceiveResponse(NSURLConnection* connection,
                                               NSURLResponse* response) {
    if (connection != connection_.get()) return;
    auto http = as<NSHTTPURLResponse>(response);
    statusCode_ = http ? http->statusCode() : 200;
}

void MRHandshake::connectionDidReceiveData(NSURLConnection* connection, NSData* data) {
    if (connection != connection_.get()) return;
    connectionData_->appendData(data);
}

void MRHandshake::connectionDidFinishLoading(NSURLConnection* connection) {
    if (connection != connection_.get()) return;
    connection_ = nullptr;
    if (statusCode_ < 200 || statusCode_ > 299) {
        // An error page is no configuration: keep what we have and ask again later.
        connectionData_ = NSMutableData::data();
        scheduleRetry();
        return;
    }
    auto text = NSString::stringWithData(connectionData_.get(), NSUTF8StringEncoding);
    connectionData_ = NSMutableData::data();
    auto parser = make<PJsonParser>();
    handshakeResponse_ = text ? as<NSDictionary>(parser->objectWithString(text.get())) : nullptr;
    auto shake = handshakeResponse_
                     ? as<NSDictionary>(handshakeResponse_->objectForKey(NS("mmishake")))
                     : nullptr;
    parseResponseAndSetupNextHandshake(true);
    if (!shake) scheduleRetry();
}

void MRHandshake::connectionDidFailWithError(NSURLConnection* connection, NSError*) {
    if (connection != connection_.get()) return;
    connection_ = nullptr;
    connectionData_ = NSMutableData::data();
    scheduleRetry();
}

void MRHandshake::scheduleRetry() {
    // A failing server is asked again after a pause that doubles up to an hour, never at once.
    double delay = retryDelay_;
    retryDelay_ = std::min(retryDelay_ * 2, kLongestRetryDelay);
    scheduleNextHandshake(delay);
}

void MRHandshake::scheduleNextHandshake(double seconds) {
    if (auto old = nextHandshakeTimer_.lock()) old->invalidate();
    auto timer = NSTimer::scheduledTimerWithTimeInterval(
        seconds, this, Selector::named("timerRequestConfiguration:"), nullptr, false);
    nextHandshakeTimer_ = timer.get();
}

void MRHandshake::timerRequestConfiguration(NSTimer*) {
    requestConfiguration();
}

void MRHandshake::parseResponseAndSetupNextHandshake(bool setUp) {
    if (!handshakeResponse_) {
        logError(NS("Invalid Response - No handshake"));
        return;
    }
    auto shake = as<NSDictionary>(handshakeResponse_->objectForKey(NS("mmishake")));
    if (!shake) {
        logError(NS("Invalid Response - No mmishake"));
        return;
    }
    if (auto errors = as<NSArray>(shake->objectForKey(NS("errors"))); errors && errors->count()) {
        for (NSUInteger i = 0; i < errors->count(); i++) {
            auto entry = as<NSDictionary>(errors->objectAtIndex(i));
            if (!entry) continue;
            showError(as<NSString>(entry->objectForKey(NS("message"))).get(),
                      as<NSString>(entry->objectForKey(NS("type"))).get());
        }
        if (setUp) retryDelay_ = kFirstRetryDelay;
        return;
    }
    deferredviewtimeout_ = floatOf(shake->objectForKey(NS("deferredviewtimeout")).get());
    auto kill = shake->objectForKey(NS("kill"));
    bool killed = false;
    if (auto n = as<NSNumber>(kill))
        killed = n->boolValue();
    else if (auto s = as<NSString>(kill))
        killed = s->boolValue();
    isAdCallAllowed_ = !killed;
    handshakeCallbackDuration_ = floatOf(shake->objectForKey(NS("handshakecallback")).get());
    adTypes_ = as<NSDictionary>(shake->objectForKey(NS("adtypes")));
    if (setUp) {
        retryDelay_ = kFirstRetryDelay;
        setupNextHandshake();
        saveState();
    }
}

void MRHandshake::setupNextHandshake() {
    // A reply without a period (or a tiny one) must not make us ask again at once.
    double period = std::max(double(handshakeCallbackDuration_), kMinimumPeriod);
    lastHandshakeMadeAt_ = NSDate::date();
    nextHandshakeToOccurAt_ = NSDate::dateWithTimeInterval(period, lastHandshakeMadeAt_.get());
    scheduleNextHandshake(period);
}

void MRHandshake::saveState() {
    auto state = NSMutableDictionary::dictionary();
    if (handshakeResponse_) state->setObject(handshakeResponse_.get(), NS("handshakeResponse"));
    if (lastHandshakeMadeAt_)
        state->setObject(lastHandshakeMadeAt_.get(), NS("lastHandshakeMadeAt"));
    if (nextHandshakeToOccurAt_)
        state->setObject(nextHandshakeToOccurAt_.get(), NS("nextHandshakeToOccurAt"));
    if (lastVideoPlayedAt_) state->setObject(lastVideoPlayedAt_.get(), NS("lastVideoPlayedAt"));
    if (lastVideoRequestMadeAt_)
        state->setObject(lastVideoRequestMadeAt_.get(), NS("lastVideoRequestMadeAt"));
    auto path = statePath();
    NSFileManager::defaultManager()->createDirectoryAtPath(
        path->stringByDeletingLastPathComponent().get(), true, nullptr, nullptr);
    state->writeToFile(path.get(), true);
}

void MRHandshake::loadState() {
    auto state = NSDictionary::dictionaryWithContentsOfFile(statePath().get());
    if (!state) return;
    handshakeResponse_ = as<NSDictionary>(state->objectForKey(NS("handshakeResponse")));
    lastHandshakeMadeAt_ = as<NSDate>(state->objectForKey(NS("lastHandshakeMadeAt")));
    nextHandshakeToOccurAt_ = as<NSDate>(state->objectForKey(NS("nextHandshakeToOccurAt")));
    lastVideoPlayedAt_ = as<NSDate>(state->objectForKey(NS("lastVideoPlayedAt")));
    lastVideoRequestMadeAt_ = as<NSDate>(state->objectForKey(NS("lastVideoRequestMadeAt")));
}

void MRHandshake::setLastVideoPlayedAt(NSDate* date) {
    lastVideoPlayedAt_ = date;
    saveState();
}

void MRHandshake::setLastVideoRequestMadeAt(NSDate* date) {
    lastVideoRequestMadeAt_ = date;
    saveState();
}

MRAdTypeConfiguration MRHandshake::configurationFromDictionary(NSDictionary* dictionary) {
    MRAdTypeConfiguration config;
    if (!dictionary) return config;
    auto refresh = dictionary->objectForKey(NS("adrefresh"));
    auto text = as<NSString>(refresh);
    if (!(text && text->isEqualToString(NS("sdk")))) {
        float v = floatOf(refresh.get());
        if (v > 0) config.adRefresh = v;
    }
    if (auto interval = dictionary->objectForKey(NS("videointerval"))) {
        float v = floatOf(interval.get());
        if (!std::isnan(v) && v > 0) config.videoInterval = v;
    }
    return config;
}

MRAdTypeConfiguration MRHandshake::configurationForAdType(int32_t type) {
    MRAdTypeConfiguration config;
    config.adType = type;
    if (!adTypes_) return config;
    auto entry = as<NSDictionary>(adTypes_->objectForKey(MRAdView::adTypeName(type).get()));
    config = configurationFromDictionary(entry.get());
    config.adType = type;
    return config;
}

MRAdTypeConfiguration MRHandshake::adConfig() {
    if (adType_ == 0) return MRAdTypeConfiguration{};
    return configurationForAdType(adType_);
}

bool MRHandshake::isVideoAdRequestAllowed() {
    if (!lastVideoPlayedAt_) return true;
    double since = std::fabs(lastVideoPlayedAt_->timeIntervalSinceNow());
    return !(since < adConfig().videoInterval);
}

bool MRHandshake::isDeferredTimeoutExpired() {
    if (!lastVideoRequestMadeAt_) return false;
    return std::fabs(lastVideoRequestMadeAt_->timeIntervalSinceNow()) >= deferredviewtimeout_;
}

void MRHandshake::showError(NSString* message, NSString* type) {
    if (type && type->isEqualToString(NS("prompt"))) {
        auto alert = alloc<UIAlertView>();
        alert->initWithTitle(NS("Handshake Error"), message, nullptr, NS("OK"));
        alert->show();
        return;
    }
    NSLog(NS("MRSDK: %@"), message);
}

void MRHandshake::logError(NSString* message) {
    showError(message, NS("log"));
}
