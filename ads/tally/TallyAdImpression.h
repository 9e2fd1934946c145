// One showing of a house ad for a hook: which ad, in which form, and the states it went
// through, each at its time since the analytics session started. Each impression lives in the
// current session's ad log and is written into every upload in its binary form.
#pragma once

#include <cstdint>
#include <mutex>

#include "Foundation/NSArray.h"
#include "Foundation/NSCoder.h"
#include "Foundation/NSData.h"
#include "Foundation/NSNumber.h"

class NSData;
class NSNumber;
class NSString;

class TallyAdImpression : public NSObject, public NSCoding {
    NS_OBJECT(TallyAdImpression, NSObject)

    // Milliseconds from the current session's start to now (0 without a session).
    static int64_t currentSessionTime();

    // adFormat: 1 banner, 2 catalog canvas, 3 offer. Starts with state 1 now and enters the
    // current session's ad log.
    bool initWithHook(NSString* hook, NSNumber* adFormat);

    int64_t timeIntervalSinceSessionStart() { return timeIntervalSinceSessionStart_; }
    Ref<NSString> hook() { return hook_; }
    Ref<NSNumber> adFormat() { return adFormat_; }
    Ref<NSNumber> adId() { return adId_; }
    Ref<NSNumber> canvasId() { return canvasId_; }
    Ref<NSData> adCookie() { return adCookie_; }
    Ref<NSNumber> adResult() { return adResult_; }
    Ref<NSArray> adStates();
    int32_t currentState();

    // An entry of the state list: the state and its offset in milliseconds.
    void addState(int state, int64_t offsetMillis);
    // An ad was attached: its ids and cookie are copied, state 2 is added now, and the
    // impression goes (again) into the current session's ad log.
    void updateWithAd(NSObject* ad);
    // A state reached by the views (3 seen, 4 tapped, 5 canvas, 6 and 8 store, 7 alert).
    void updateWithResult(NSNumber* result);

    // String hook (at most 255 characters), byte ad format, long ad id, long canvas id, tiny
    // data cookie, ushort n then n × (byte state, long offset).
    Ref<NSData> data();

    void encodeWithCoder(NSCoder* coder) override;
    // Reads the older form too, whose only record is adResult.
    bool initWithCoder(NSCoder* coder) override;

private:
    void record();

    int64_t timeIntervalSinceSessionStart_ = 0;
    Ref<NSString> hook_;
    Ref<NSNumber> adId_;
    Ref<NSNumber> canvasId_;
    Ref<NSData> adCookie_;
    Ref<NSNumber> adResult_;
    Ref<NSNumber> adFormat_;
    // The views add states on the main thread while an upload writes them on its own.
    std::mutex statesLock_;
    Ref<NSMutableArray> adStates_;
};
