// Calendars: the Gregorian calendar's arithmetic (components of a date, dates from components,
// adding components, the start and length of a day, week, month ...) in a time zone, on ICU.
#pragma once

#include <mutex>

#include "Foundation/NSObject.h"

class NSDate;
class NSLocale;
class NSString;
class NSTimeZone;

using NSCalendarUnit = NSUInteger;
enum : NSCalendarUnit {
    NSEraCalendarUnit = 2,
    NSYearCalendarUnit = 4,
    NSMonthCalendarUnit = 8,
    NSDayCalendarUnit = 16,
    NSHourCalendarUnit = 32,
    NSMinuteCalendarUnit = 64,
    NSSecondCalendarUnit = 128,
    NSWeekCalendarUnit = 256,  // the week of the year
    NSWeekdayCalendarUnit = 512,
    NSWeekdayOrdinalCalendarUnit = 1024,
    NSQuarterCalendarUnit = 2048,
    NSWeekOfMonthCalendarUnit = 4096,
    NSWeekOfYearCalendarUnit = 8192,
    NSYearForWeekOfYearCalendarUnit = 16384,
};

// Options of dateByAddingComponents and components:fromDate:toDate:.
enum : NSUInteger {
    NSWrapCalendarComponents = 1,  // roll a field without carrying into larger ones
};

inline constexpr NSInteger NSUndefinedDateComponent = NSIntegerMax;

extern NSString* const NSGregorianCalendar;  // "gregorian"

// A set of calendar fields; each is NSUndefinedDateComponent until set.
class NSDateComponents : public NSObject {
    NS_OBJECT(NSDateComponents, NSObject)

    NSInteger era() { return era_; }
    void setEra(NSInteger v) { era_ = v; }
    NSInteger year() { return year_; }
    void setYear(NSInteger v) { year_ = v; }
    NSInteger month() { return month_; }
    void setMonth(NSInteger v) { month_ = v; }
    NSInteger day() { return day_; }
    void setDay(NSInteger v) { day_ = v; }
    NSInteger hour() { return hour_; }
    void setHour(NSInteger v) { hour_ = v; }
    NSInteger minute() { return minute_; }
    void setMinute(NSInteger v) { minute_ = v; }
    NSInteger second() { return second_; }
    void setSecond(NSInteger v) { second_ = v; }
    // The week of the year (the platform's old "week").
    NSInteger week() { return week_; }
    void setWeek(NSInteger v) { week_ = v; }
    // 1 = Sunday ... 7 = Saturday.
    NSInteger weekday() { return weekday_; }
    void setWeekday(NSInteger v) { weekday_ = v; }
    // Which occurrence of the weekday in the month (2 for the second Tuesday).
    NSInteger weekdayOrdinal() { return weekdayOrdinal_; }
    void setWeekdayOrdinal(NSInteger v) { weekdayOrdinal_ = v; }
    NSInteger quarter() { return quarter_; }
    void setQuarter(NSInteger v) { quarter_ = v; }
    NSInteger weekOfMonth() { return weekOfMonth_; }
    void setWeekOfMonth(NSInteger v) { weekOfMonth_ = v; }
    NSInteger weekOfYear() { return weekOfYear_; }
    void setWeekOfYear(NSInteger v) { weekOfYear_ = v; }
    NSInteger yearForWeekOfYear() { return yearForWeekOfYear_; }
    void setYearForWeekOfYear(NSInteger v) { yearForWeekOfYear_ = v; }

    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override;

private:
    NSInteger era_ = NSUndefinedDateComponent;
    NSInteger year_ = NSUndefinedDateComponent;
    NSInteger month_ = NSUndefinedDateComponent;
    NSInteger day_ = NSUndefinedDateComponent;
    NSInteger hour_ = NSUndefinedDateComponent;
    NSInteger minute_ = NSUndefinedDateComponent;
    NSInteger second_ = NSUndefinedDateComponent;
    NSInteger week_ = NSUndefinedDateComponent;
    NSInteger weekday_ = NSUndefinedDateComponent;
    NSInteger weekdayOrdinal_ = NSUndefinedDateComponent;
    NSInteger quarter_ = NSUndefinedDateComponent;
    NSInteger weekOfMonth_ = NSUndefinedDateComponent;
    NSInteger weekOfYear_ = NSUndefinedDateComponent;
    NSInteger yearForWeekOfYear_ = NSUndefinedDateComponent;
};

class NSCalendar : public NSObject {
    NS_OBJECT(NSCalendar, NSObject)

    // A Gregorian calendar with the current locale and the default time zone at the time of the
    // call.
    static Ref<NSCalendar> currentCalendar();
    static Ref<NSCalendar> autoupdatingCurrentCalendar() { return currentCalendar(); }
    // Only NSGregorianCalendar is known; other identifiers fail.
    bool initWithCalendarIdentifier(NSString* identifier);
    bool init() override;  // Gregorian, current locale, default time zone
    void dealloc() override;

    Ref<NSString> calendarIdentifier();
    Ref<NSTimeZone> timeZone();
    // nil sets the default time zone.
    void setTimeZone(NSTimeZone* zone);
    Ref<NSLocale> locale();
    // nil sets the current locale; the first weekday follows the locale unless set.
    void setLocale(NSLocale* locale);
    // 1 = Sunday.
    NSUInteger firstWeekday();
    void setFirstWeekday(NSUInteger weekday);
    NSUInteger minimumDaysInFirstWeek();
    void setMinimumDaysInFirstWeek(NSUInteger days);

    // The fields of the date named by the unit flags; the others stay undefined.
    Ref<NSDateComponents> components(NSUInteger unitFlags, NSDate* date);
    // The difference between two dates in the units named, larger units first (1 month 3 days).
    Ref<NSDateComponents> components(NSUInteger unitFlags, NSDate* startingDate, NSDate* resultDate,
                                     NSUInteger options);
    // The date the fields name; undefined fields take their smallest value (year 1, January, 1,
    // midnight). Out-of-range values carry over (day 0 is the last day of the previous month).
    Ref<NSDate> dateFromComponents(NSDateComponents* comps);
    // Adds the defined fields, larger first; a day that does not exist in the resulting month
    // becomes the month's last (January 31 + 1 month = February 28/29).
    Ref<NSDate> dateByAddingComponents(NSDateComponents* comps, NSDate* date, NSUInteger options);
    // The start and length of the unit (day, week, month ...) holding the date; false for a
    // unit it cannot measure. Either out-pointer may be null.
    bool rangeOfUnit(NSCalendarUnit unit, Ref<NSDate>* startDate, NSTimeInterval* interval,
                     NSDate* date);
    // The position of the smaller unit within the larger (the day of the month, the week of the
    // year), from 1; NSNotFound when the pair makes no sense.
    NSUInteger ordinalityOfUnit(NSCalendarUnit smaller, NSCalendarUnit larger, NSDate* date);
    // The values the smaller unit takes within the larger around the date ({1, 30} for the days
    // of April); {NSNotFound, NSNotFound} when the pair makes no sense.
    NSRange rangeOfUnit(NSCalendarUnit smaller, NSCalendarUnit larger, NSDate* date);
    NSRange minimumRangeOfUnit(NSCalendarUnit unit);
    NSRange maximumRangeOfUnit(NSCalendarUnit unit);

    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    Ref<NSObject> copyWithZone() override;

private:
    // The ICU calendar, made for the current settings; call with mutex_ held.
    void* cal();
    void invalidate();
    bool startOfUnit(void* c, NSCalendarUnit unit, double& start, double& end);

    std::recursive_mutex mutex_;
    void* cal_ = nullptr;  // the ICU calendar (UCalendar*)
    Ref<NSTimeZone> timeZone_;
    Ref<NSLocale> locale_;
    NSUInteger firstWeekday_ = 0;            // 0: the locale's
    NSUInteger minimumDaysInFirstWeek_ = 0;  // 0: the locale's
};
