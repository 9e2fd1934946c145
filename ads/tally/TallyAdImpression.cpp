#include "ads/tally/TallyAdImpression.h"

#include <cmath>

#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "ads/tally/TallyAdModel.h"
#include "analytics/TallySession.h"
#include "analytics/base/TallyProtocolData.h"
#include "analytics/base/TallyUtil.h"

int64_t TallyAdImpression::currentSessionTime() {
    auto session = TallySession::currentSession();
    auto start = session ? session->startTime() : nullptr;
    if (!start) return 0;
    double millis = NSDate::date()->timeIntervalSinceDate(start) * 1000.0;
    return std::isfinite(millis) ? static_cast<int64_t>(millis) : 0;
}

bool TallyAdImpression::initWithHook(NSString* hook, NSNumber* adFormat) {
    if (!NSObject::init()) return false;
    registerTallyAdModelClasses();
    timeIntervalSinceSessionStart_ = currentSessionTime();
    hook_ = hook ? cast<NSString>(hook->copy()) : nullptr;
    adFormat_ = adFormat;
    adStates_ = NSMutableArray::array();
    addState(1, timeIntervalSinceSessionStart_);
    record();
    return true;
}

void TallyAdImpression::record() {
    if (auto session = TallySession::currentSession()) session->recordAdImpression(this);
}

Ref<NSArray> TallyAdImpression::adStates() {
    std::lock_guard lock(statesLock_);
    return NSArray::arrayWithArray(adStates_);
}

int32_t TallyAdImpression::currentState() {
    std::lock_guard lock(statesLock_);
    auto last = adStates_->count() ? as<TallyAdState>(adStates_->lastObject()) : nullptr;
    return last ? last->state() : 0;
}

void TallyAdImpression::addState(int state, int64_t offsetMillis) {
    auto entry = make<TallyAdState>(&TallyAdState::initWithState, state, offsetMillis);
    std::lock_guard lock(statesLock_);
    adStates_->addObject(entry);
}

void TallyAdImpression::updateWithAd(NSObject* object) {
    if (auto ad = as<TallyAd>(object)) {
        adId_ = ad->adId();
        canvasId_ = ad->canvasId();
        adCookie_ = ad->adCookie();
    }
    addState(2, currentSessionTime());
    record();
}

void TallyAdImpression::updateWithResult(NSNumber* result) {
    addState(result ? result->intValue() : 0, currentSessionTime());
    record();
}

Ref<NSData> TallyAdImpression::data() {
    auto out = NSMutableData::data();
    TallyUtil::debugLog(NS("Tally: Impression hook[%@] adFormat[%@] adId[%@] canvasId[%@] "
                           "adCookie[%@]"),
                        hook_, adFormat_, adId_, canvasId_, adCookie_);
    // The string encoder cuts a long hook to 255 units, never inside a surrogate pair.
    TallyProtocolData::appendString(hook_, out);
    TallyProtocolData::appendByte(adFormat_ ? adFormat_->intValue() & 0xFF : 0, out);
    TallyProtocolData::appendLong(adId_ ? adId_->longLongValue() : 0, out);
    TallyProtocolData::appendLong(canvasId_ ? canvasId_->longLongValue() : 0, out);
    TallyProtocolData::appendTinyData(adCookie_, out);
    auto states = adStates();
    TallyProtocolData::appendUshort(static_cast<unsigned>(states->count()), out);
    for (auto* entry : *states) {
        auto state = static_cast<TallyAdState*>(entry);
        TallyUtil::debugLog(NS("Tally: adState[%d] sessionOffset[%lld]"), state->state(),
                            static_cast<long long>(state->timeIntervalSinceSessionStart()));
        TallyProtocolData::appendByte(state->state() & 0xFF, out);
        TallyProtocolData::appendLong(state->timeIntervalSinceSessionStart(), out);
    }
    return out;
}

void TallyAdImpression::encodeWithCoder(NSCoder* c) {
    c->encodeDouble(static_cast<double>(timeIntervalSinceSessionStart_),
                    NS("timeIntervalSinceSessionStart"));
    c->encodeObject(hook_, NS("hook"));
    c->encodeObject(adId_, NS("adId"));
    c->encodeObject(canvasId_, NS("canvasId"));
    c->encodeObject(adCookie_, NS("adCookie"));
    c->encodeObject(adResult_, NS("adResult"));
    c->encodeObject(adFormat_, NS("adFormat"));
    c->encodeObject(adStates(), NS("adStates"));
}

bool TallyAdImpression::initWithCoder(NSCoder* c) {
    double time = c->decodeDoubleForKey(NS("timeIntervalSinceSessionStart"));
    timeIntervalSinceSessionStart_ =
        std::isfinite(time) && std::fabs(time) < 9.2e18 ? static_cast<int64_t>(time) : 0;
    hook_ = as<NSString>(c->decodeObjectForKey(NS("hook")));
    adId_ = as<NSNumber>(c->decodeObjectForKey(NS("adId")));
    canvasId_ = as<NSNumber>(c->decodeObjectForKey(NS("canvasId")));
    adCookie_ = as<NSData>(c->decodeObjectForKey(NS("adCookie")));
    adResult_ = as<NSNumber>(c->decodeObjectForKey(NS("adResult")));
    adFormat_ = as<NSNumber>(c->decodeObjectForKey(NS("adFormat")));
    if (!adFormat_) {
        TallyUtil::debugLog(
            NS("Tally: Impression adFormat unknown in initWithCoder, using "
               "unknown adFormat"));
        adFormat_ = NSNumber::numberWithInt(0);
    }
    auto states = as<NSArray>(c->decodeObjectForKey(NS("adStates")));
    bool older = !states || states->count() == 0;
    if (!states)
        TallyUtil::debugLog(
            NS("Tally: Impression adState is null in initWithCoder, creating adStates"));
    adStates_ = states ? NSMutableArray::arrayWithArray(states) : NSMutableArray::array();
    if (older) {
        int result = adResult_ ? adResult_->intValue() : 0;
        auto fill = [&](int code) {
            addState(code, timeIntervalSinceSessionStart_);
            TallyUtil::debugLog(NS("Tally: Impression adState[%d] sessionOffset[%lld] created to "
                                   "fill empty adStates"),
                                code, static_cast<long long>(timeIntervalSinceSessionStart_));
        };
        if (result > 0) fill(TallyAdState::translateAdStateFromOldToNew(0));
        fill(TallyAdState::translateAdStateFromOldToNew(result));
    }
    return true;
}
