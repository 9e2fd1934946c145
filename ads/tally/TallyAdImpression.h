// One showing of a house ad, recorded in the analytics session's ad log.
#pragma once

#include <cstdint>
#include <vector>

#include "Foundation/NSCoder.h"

class NSData;
class NSNumber;
class NSString;

class TallyAdImpression : public NSObject, public NSCoding {
    NS_OBJECT(TallyAdImpression, NSObject)

    // adFormat: 2 for the catalog canvas, 3 for an offer.
    bool initWithHook(NSString* hook, NSNumber* adFormat);

    Ref<NSString> hook() { return hook_; }
    Ref<NSNumber> adFormat() { return adFormat_; }
    Ref<NSObject> adId();
    Ref<NSObject> adResult();
    // An entry of the state list: the state and its offset in milliseconds.
    void addState(int state, int64_t offsetMillis);
    void setIds(int64_t adId, int64_t canvasId, NSData* cookie);
    // An ad was attached: state 2 at the time since the session started, and the impression
    // goes (again) into the current session's ad log. The ad's ids join with the ad client.
    void updateWithAd(NSObject* ad);

    // String hook, byte ad format, long ad id, long canvas id, tiny data cookie, ushort n then
    // n × (byte state, long offset).
    Ref<NSData> data();

    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    Ref<NSString> hook_;
    Ref<NSNumber> adFormat_;
    int64_t adId_ = 0;
    int64_t canvasId_ = 0;
    Ref<NSData> cookie_;
    std::vector<std::pair<int, int64_t>> states_;
};
