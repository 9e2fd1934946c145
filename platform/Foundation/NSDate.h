// Points in time, as seconds from the reference date 2001-01-01 00:00:00 UTC. "Now" is always
// read from Clock, so that a manual clock governs every date a test makes.
#pragma once

#include "Foundation/Clock.h"
#include "Foundation/NSObject.h"

class NSDate : public NSObject {
    NS_OBJECT(NSDate, NSObject)
    static void describeClass(RuntimeClass& c);

    static Ref<NSDate> date();
    static Ref<NSDate> dateWithTimeIntervalSinceNow(NSTimeInterval seconds);
    static Ref<NSDate> dateWithTimeIntervalSinceReferenceDate(NSTimeInterval seconds);
    static Ref<NSDate> dateWithTimeIntervalSince1970(NSTimeInterval seconds);
    // The form description writes, "yyyy-MM-dd HH:mm:ss ±hhmm" ("2011-06-30 18:45:00 -0500");
    // nil for anything else, or for a day, hour or offset out of range.
    static Ref<NSDate> dateWithString(NSString* text);
    static Ref<NSDate> dateWithTimeInterval(NSTimeInterval seconds, NSDate* since);
    // Shared dates far in the future (4001-01-01) and the past (1-01-01 of the Julian calendar).
    static Ref<NSDate> distantFuture();
    static Ref<NSDate> distantPast();
    // The class method timeIntervalSinceReferenceDate: now, without making a date.
    static NSTimeInterval timeIntervalSinceReferenceDateNow();

    bool init() override;  // now
    bool initWithTimeIntervalSinceReferenceDate(NSTimeInterval seconds);
    bool initWithTimeIntervalSinceNow(NSTimeInterval seconds);
    bool initWithTimeIntervalSince1970(NSTimeInterval seconds);
    bool initWithTimeInterval(NSTimeInterval seconds, NSDate* since);

    NSTimeInterval timeIntervalSinceReferenceDate();
    NSTimeInterval timeIntervalSince1970();
    NSTimeInterval timeIntervalSinceNow();
    NSTimeInterval timeIntervalSinceDate(NSDate* other);
    Ref<NSDate> dateByAddingTimeInterval(NSTimeInterval seconds);
    Ref<NSDate> addTimeInterval(NSTimeInterval seconds) {
        return dateByAddingTimeInterval(seconds);
    }

    NSComparisonResult compare(NSDate* other);
    Ref<NSDate> earlierDate(NSDate* other);
    Ref<NSDate> laterDate(NSDate* other);
    bool isEqualToDate(NSDate* other);
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    // "2001-01-01 00:00:00 +0000" (UTC, whole seconds).
    Ref<NSString> description() override;

    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }
    Ref<NSDate> copy() { return Ref<NSDate>(this); }

private:
    NSTimeInterval t_ = 0;
};
