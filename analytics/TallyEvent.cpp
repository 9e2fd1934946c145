#include "analytics/TallyEvent.h"

#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "analytics/base/TallyProtocolData.h"
#include "analytics/base/TallyUtil.h"

bool TallyEvent::initWithName(NSString* name) {
    return initWithName(name, false, nullptr);
}

bool TallyEvent::initWithName(NSString* name, bool timed) {
    return initWithName(name, timed, nullptr);
}

bool TallyEvent::initWithName(NSString* name, bool timed, NSDictionary* parameters) {
    setName(name);
    timed_ = timed;
    setParameters(parameters);
    started_ = NSDate::date();
    automaticallyEnded_ = false;
    return true;
}

void TallyEvent::setName(NSString* name) {
    name_ = name ? cast<NSString>(name->copy()) : nullptr;
}

void TallyEvent::setParameters(NSDictionary* parameters) {
    parameters_ = parameters ? parameters->copy() : nullptr;
}

int32_t TallyEvent::startOffsetFromSessionStart(NSDate* sessionStart) {
    return static_cast<int32_t>(TallyProtocolData::timeIntervalFrom(sessionStart, started_));
}

int32_t TallyEvent::duration() {
    if (!timed_ || !ended_) return 0;
    return static_cast<int32_t>(TallyProtocolData::timeIntervalFrom(started_, ended_));
}

Ref<NSData> TallyEvent::dataRelativeToSessionStart(NSDate* sessionStart) {
    auto out = NSMutableData::data();
    appendDataRelativeToSessionStart(sessionStart, out);
    return out;
}

void TallyEvent::appendDataRelativeToSessionStart(NSDate* sessionStart, NSMutableData* out) {
    TallyProtocolData::appendString(name_, out);
    NSUInteger count = parameters_ ? parameters_->count() : 0;
    TallyProtocolData::appendUshort(count, out);
    if (parameters_) {
        parameters_->enumerateKeysAndObjectsUsingBlock([&](NSObject* key, NSObject* value, bool*) {
            auto k = key->description(), v = value->description();
            TallyUtil::debugLog(NS("Tally: parameter[%@] value[%@]"), k, v);
            TallyProtocolData::appendString(k, out);
            TallyProtocolData::appendString(v, out);
        });
    }
    TallyProtocolData::appendLong(startOffsetFromSessionStart(sessionStart), out);
    TallyProtocolData::appendLong(duration(), out);
}

void TallyEvent::encodeWithCoder(NSCoder* c) {
    c->encodeObject(name_, NS("name"));
    c->encodeObject(started_, NS("started"));
    c->encodeObject(ended_, NS("ended"));
    c->encodeBool(timed_, NS("timed"));
    c->encodeObject(parameters_, NS("parameters"));
    c->encodeBool(automaticallyEnded_, NS("automaticallyEnded"));
}

bool TallyEvent::initWithCoder(NSCoder* c) {
    setName(as<NSString>(c->decodeObjectForKey(NS("name"))));
    setStarted(as<NSDate>(c->decodeObjectForKey(NS("started"))).get());
    setEnded(as<NSDate>(c->decodeObjectForKey(NS("ended"))).get());
    setTimed(c->decodeBoolForKey(NS("timed")));
    setParameters(as<NSDictionary>(c->decodeObjectForKey(NS("parameters"))));
    setAutomaticallyEnded(c->decodeBoolForKey(NS("automaticallyEnded")));
    return true;
}
