// Time zones: a zone from the time-zone database ("America/New_York") or a fixed offset from GMT,
// with offsets, abbreviations and daylight-saving state for any date, answered by ICU.
#pragma once

#include <mutex>
#include <string>

#include "Foundation/NSObject.h"

class NSArray;
class NSDate;
class NSDictionary;
class NSString;

class NSTimeZone : public NSObject {
    NS_OBJECT(NSTimeZone, NSObject)

    // The machine's zone: TZ from the environment, else the zone that /etc/localtime names, else
    // GMT. Read once and kept until resetSystemTimeZone().
    static Ref<NSTimeZone> systemTimeZone();
    static void resetSystemTimeZone();
    // The zone that date computations use unless told otherwise: the one set, else the system's.
    static Ref<NSTimeZone> defaultTimeZone();
    // nil returns to the system zone.
    static void setDefaultTimeZone(NSTimeZone* zone);
    // A zone that answers as whatever defaultTimeZone() is at the time of each question.
    static Ref<NSTimeZone> localTimeZone();

    // nil for a name the database does not know. "GMT+0100"-style names give fixed offsets.
    static Ref<NSTimeZone> timeZoneWithName(NSString* name);
    bool initWithName(NSString* name);
    // Through abbreviationDictionary() ("PST" -> America/Los_Angeles); nil when unknown.
    static Ref<NSTimeZone> timeZoneWithAbbreviation(NSString* abbreviation);
    // A fixed offset: named "GMT" for 0, else "GMT+0100", "GMT-0530"; nil beyond ±18 hours.
    static Ref<NSTimeZone> timeZoneForSecondsFromGMT(NSInteger seconds);
    static Ref<NSArray> knownTimeZoneNames();
    static Ref<NSDictionary> abbreviationDictionary();

    Ref<NSString> name();
    // "EST"/"EDT" where the zone has common abbreviations, else "GMT+1"-style text.
    Ref<NSString> abbreviation();
    Ref<NSString> abbreviationForDate(NSDate* date);
    NSInteger secondsFromGMT();
    NSInteger secondsFromGMTForDate(NSDate* date);
    bool isDaylightSavingTime();
    bool isDaylightSavingTimeForDate(NSDate* date);
    NSTimeInterval daylightSavingTimeOffset();
    NSTimeInterval daylightSavingTimeOffsetForDate(NSDate* date);
    // The first change of offset after the date; nil when the zone has none.
    Ref<NSDate> nextDaylightSavingTimeTransitionAfterDate(NSDate* date);

    bool isEqualToTimeZone(NSTimeZone* other);
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    // "America/New_York (EDT) offset -14400 (Daylight)".
    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }
    void dealloc() override;

    // The zone as ICU names it, for calendars and formatters ("GMT+01:00" for fixed offsets).
    std::u16string icuZoneID();

private:
    // The zone answering for this object (itself, or the default zone for localTimeZone()).
    Ref<NSTimeZone> resolved();
    // The offsets (raw and daylight) in milliseconds at an instant (ms since 1970).
    void offsetsAt(double udate, int32_t& raw, int32_t& dst);
    // The ICU calendar of the zone (UCalendar*), made when missing; call with mutex_ held.
    void* calendarLocked();

    Ref<NSString> name_;
    std::u16string icuID_;
    bool fixed_ = false;
    bool local_ = false;
    NSInteger fixedSeconds_ = 0;
    std::mutex mutex_;
    void* cal_ = nullptr;  // the ICU calendar (UCalendar*), made on first use; guarded by mutex_
};
