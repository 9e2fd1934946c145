#include "ads/tally/TallyAdImpression.h"

#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "analytics/TallyProtocolData.h"
#include "analytics/TallySession.h"

bool TallyAdImpression::initWithHook(NSString* hook, NSNumber* adFormat) {
    hook_ = hook ? cast<NSString>(hook->copy()) : nullptr;
    adFormat_ = adFormat;
    return true;
}

Ref<NSObject> TallyAdImpression::adId() {
    return NSNumber::numberWithLongLong(adId_);
}

Ref<NSObject> TallyAdImpression::adResult() {
    return states_.empty() ? nullptr : NSNumber::numberWithInt(states_.back().first);
}

void TallyAdImpression::addState(int state, int64_t offsetMillis) {
    states_.emplace_back(state, offsetMillis);
}

void TallyAdImpression::updateWithAd(NSObject*) {
    auto session = TallySession::currentSession();
    addState(2, session ? session->timeIntervalSinceSessionStart(NSDate::date()) : 0);
    if (session) session->recordAdImpression(this);
}

void TallyAdImpression::setIds(int64_t adId, int64_t canvasId, NSData* cookie) {
    adId_ = adId;
    canvasId_ = canvasId;
    cookie_ = cookie;
}

Ref<NSData> TallyAdImpression::data() {
    auto out = NSMutableData::data();
    TallyProtocolData::appendString(hook_, out);
    TallyProtocolData::appendByte(adFormat_ ? adFormat_->intValue() : 0, out);
    TallyProtocolData::appendLong(adId_, out);
    TallyProtocolData::appendLong(canvasId_, out);
    TallyProtocolData::appendTinyData(cookie_, out);
    TallyProtocolData::appendUshort(static_cast<unsigned>(states_.size()), out);
    for (auto& [state, offset] : states_) {
        TallyProtocolData::appendByte(state, out);
        TallyProtocolData::appendLong(offset, out);
    }
    return out;
}

void TallyAdImpression::encodeWithCoder(NSCoder* c) {
    c->encodeObject(hook_, NS("hook"));
    c->encodeObject(adFormat_, NS("adFormat"));
    c->encodeInt64(adId_, NS("adId"));
    c->encodeInt64(canvasId_, NS("canvasId"));
    c->encodeObject(cookie_, NS("cookie"));
    auto states = NSMutableData::data();
    for (auto& [state, offset] : states_) {
        TallyProtocolData::appendByte(state, states);
        TallyProtocolData::appendLong(offset, states);
    }
    c->encodeObject(states, NS("states"));
}

bool TallyAdImpression::initWithCoder(NSCoder* c) {
    hook_ = as<NSString>(c->decodeObjectForKey(NS("hook")));
    adFormat_ = as<NSNumber>(c->decodeObjectForKey(NS("adFormat")));
    adId_ = c->decodeInt64ForKey(NS("adId"));
    canvasId_ = c->decodeInt64ForKey(NS("canvasId"));
    cookie_ = as<NSData>(c->decodeObjectForKey(NS("cookie")));
    if (auto states = as<NSData>(c->decodeObjectForKey(NS("states")))) {
        auto* p = static_cast<const uint8_t*>(states->bytes());
        for (NSUInteger at = 0; at + 9 <= states->length(); at += 9) {
            uint64_t offset = 0;
            for (int i = 1; i <= 8; ++i)
                offset = offset << 8 | p[at + i];
            states_.emplace_back(p[at], static_cast<int64_t>(offset));
        }
    }
    return true;
}
