// One logged event of an analytics session.
#pragma once

#include <cstdint>

#include "Foundation/NSCoder.h"
#include "Foundation/NSDate.h"

class NSData;
class NSDate;
class NSDictionary;
class NSString;

class TallyEvent : public NSObject, public NSCoding {
    NS_OBJECT(TallyEvent, NSObject)

    bool initWithName(NSString* name);
    bool initWithName(NSString* name, bool timed);
    // The parameters are copied: the host may go on changing its dictionary.
    bool initWithName(NSString* name, bool timed, NSDictionary* parameters);

    Ref<NSString> name() { return name_; }
    void setName(NSString* name);
    Ref<NSDate> started() { return started_; }
    void setStarted(NSDate* date) { started_ = date; }
    Ref<NSDate> ended() { return ended_; }
    void setEnded(NSDate* date) { ended_ = date; }
    bool timed() { return timed_; }
    void setTimed(bool timed) { timed_ = timed; }
    bool automaticallyEnded() { return automaticallyEnded_; }
    void setAutomaticallyEnded(bool value) { automaticallyEnded_ = value; }
    Ref<NSDictionary> parameters() { return parameters_; }
    void setParameters(NSDictionary* parameters);

    bool isUnterminated() { return timed_ && !ended_; }
    // Milliseconds, cut to their low 32 bits.
    int32_t startOffsetFromSessionStart(NSDate* sessionStart);
    int32_t duration();
    // Name, parameters as description strings, start offset and duration as longs.
    Ref<NSData> dataRelativeToSessionStart(NSDate* sessionStart);

    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    Ref<NSString> name_;
    Ref<NSDate> started_;
    Ref<NSDate> ended_;
    bool timed_ = false;
    bool automaticallyEnded_ = false;
    Ref<NSDictionary> parameters_;
};
