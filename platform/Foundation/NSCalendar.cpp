#include "Foundation/NSCalendar.h"

#include <unicode/ucal.h>

#include <cmath>

#include "Foundation/LocaleSupport.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSTimeZone.h"

using namespace locale_detail;

NSString* const NSGregorianCalendar = NS("gregorian");

namespace {

// The units in order from the largest; what a unit counts as in ICU's fields.
struct UnitInfo {
    NSCalendarUnit unit;
    int rank;  // smaller is larger
    UCalendarDateFields field;
};

constexpr UnitInfo kUnits[] = {
    {NSEraCalendarUnit, 0, UCAL_ERA},
    {NSYearCalendarUnit, 1, UCAL_YEAR},
    {NSYearForWeekOfYearCalendarUnit, 1, UCAL_YEAR_WOY},
    {NSQuarterCalendarUnit, 2, UCAL_MONTH},
    {NSMonthCalendarUnit, 3, UCAL_MONTH},
    {NSWeekCalendarUnit, 4, UCAL_WEEK_OF_YEAR},
    {NSWeekOfYearCalendarUnit, 4, UCAL_WEEK_OF_YEAR},
    {NSWeekOfMonthCalendarUnit, 4, UCAL_WEEK_OF_MONTH},
    {NSDayCalendarUnit, 5, UCAL_DATE},
    {NSWeekdayCalendarUnit, 5, UCAL_DAY_OF_WEEK},
    {NSWeekdayOrdinalCalendarUnit, 5, UCAL_DAY_OF_WEEK_IN_MONTH},
    {NSHourCalendarUnit, 6, UCAL_HOUR_OF_DAY},
    {NSMinuteCalendarUnit, 7, UCAL_MINUTE},
    {NSSecondCalendarUnit, 8, UCAL_SECOND},
};

const UnitInfo* infoOf(NSCalendarUnit unit) {
    for (auto& u : kUnits)
        if (u.unit == unit) return &u;
    return nullptr;
}

bool isWeekUnit(NSCalendarUnit u) {
    return u == NSWeekCalendarUnit || u == NSWeekOfYearCalendarUnit ||
           u == NSWeekOfMonthCalendarUnit;
}

bool isDayUnit(NSCalendarUnit u) {
    return u == NSDayCalendarUnit || u == NSWeekdayCalendarUnit ||
           u == NSWeekdayOrdinalCalendarUnit;
}

constexpr NSRange kNoRange = {static_cast<NSUInteger>(NSNotFound),
                              static_cast<NSUInteger>(NSNotFound)};

// The values a unit takes in the Gregorian calendar: the range every larger unit allows (least)
// and the range some larger unit allows (most).
struct UnitLimits {
    NSCalendarUnit unit;
    NSRange least;
    NSRange most;
};

constexpr UnitLimits kLimits[] = {
    {NSEraCalendarUnit, {0, 2}, {0, 2}},
    {NSYearCalendarUnit, {1, 140742}, {1, 144683}},
    {NSQuarterCalendarUnit, {1, 4}, {1, 4}},
    {NSMonthCalendarUnit, {1, 12}, {1, 12}},
    {NSDayCalendarUnit, {1, 28}, {1, 31}},
    {NSHourCalendarUnit, {0, 24}, {0, 24}},
    {NSMinuteCalendarUnit, {0, 60}, {0, 60}},
    {NSSecondCalendarUnit, {0, 60}, {0, 60}},
    {NSWeekCalendarUnit, {1, 52}, {1, 53}},
    {NSWeekOfYearCalendarUnit, {1, 52}, {1, 53}},
    {NSWeekOfMonthCalendarUnit, {1, 4}, {1, 6}},
    {NSWeekdayCalendarUnit, {1, 7}, {1, 7}},
    {NSWeekdayOrdinalCalendarUnit, {1, 4}, {1, 5}},
};

const UnitLimits* limitsOf(NSCalendarUnit unit) {
    for (auto& l : kLimits)
        if (l.unit == unit) return &l;
    return nullptr;
}

NSInteger get(UCalendar* c, UCalendarDateFields f) {
    UErrorCode st = U_ZERO_ERROR;
    int32_t v = ucal_get(c, f, &st);
    return U_SUCCESS(st) ? v : 0;
}

void set(UCalendar* c, UCalendarDateFields f, NSInteger v) {
    ucal_set(c, f, v);
}

double millis(UCalendar* c) {
    UErrorCode st = U_ZERO_ERROR;
    double m = ucal_getMillis(c, &st);
    return U_SUCCESS(st) ? m : 0;
}

void setMillis(UCalendar* c, double m) {
    UErrorCode st = U_ZERO_ERROR;
    ucal_setMillis(c, m, &st);
}

void add(UCalendar* c, UCalendarDateFields f, NSInteger amount, bool wrap) {
    UErrorCode st = U_ZERO_ERROR;
    if (wrap) {
        ucal_roll(c, f, amount, &st);
    } else {
        ucal_add(c, f, amount, &st);
    }
}

}  // namespace

// ---- NSDateComponents --------------------------------------------------------------------

bool NSDateComponents::isEqual(NSObject* other) {
    auto o = as<NSDateComponents>(other);
    return o && era_ == o->era_ && year_ == o->year_ && month_ == o->month_ && day_ == o->day_ &&
           hour_ == o->hour_ && minute_ == o->minute_ && second_ == o->second_ &&
           week_ == o->week_ && weekday_ == o->weekday_ && weekdayOrdinal_ == o->weekdayOrdinal_ &&
           quarter_ == o->quarter_ && weekOfMonth_ == o->weekOfMonth_ &&
           weekOfYear_ == o->weekOfYear_ && yearForWeekOfYear_ == o->yearForWeekOfYear_;
}

NSUInteger NSDateComponents::hash() {
    NSUInteger h = 17;
    for (NSInteger v : {era_, year_, month_, day_, hour_, minute_, second_, week_, weekday_,
                        weekdayOrdinal_, quarter_, weekOfMonth_, weekOfYear_, yearForWeekOfYear_})
        h = h * 31 + static_cast<NSUInteger>(v);
    return h;
}

Ref<NSString> NSDateComponents::description() {
    auto s = NSMutableString::stringWithString(NS("<NSDateComponents>"));
    auto field = [&](NSString* name, NSInteger v) {
        if (v != NSUndefinedDateComponent) s->appendFormat(NS(" %@: %d"), name, v);
    };
    field(NS("era"), era_);
    field(NS("year"), year_);
    field(NS("month"), month_);
    field(NS("day"), day_);
    field(NS("hour"), hour_);
    field(NS("minute"), minute_);
    field(NS("second"), second_);
    field(NS("week"), week_);
    field(NS("weekday"), weekday_);
    field(NS("weekdayOrdinal"), weekdayOrdinal_);
    field(NS("quarter"), quarter_);
    field(NS("weekOfMonth"), weekOfMonth_);
    field(NS("weekOfYear"), weekOfYear_);
    field(NS("yearForWeekOfYear"), yearForWeekOfYear_);
    return s->copy();
}

Ref<NSObject> NSDateComponents::copyWithZone() {
    auto c = alloc<NSDateComponents>();
    c->era_ = era_;
    c->year_ = year_;
    c->month_ = month_;
    c->day_ = day_;
    c->hour_ = hour_;
    c->minute_ = minute_;
    c->second_ = second_;
    c->week_ = week_;
    c->weekday_ = weekday_;
    c->weekdayOrdinal_ = weekdayOrdinal_;
    c->quarter_ = quarter_;
    c->weekOfMonth_ = weekOfMonth_;
    c->weekOfYear_ = weekOfYear_;
    c->yearForWeekOfYear_ = yearForWeekOfYear_;
    return c;
}

// ---- NSCalendar: set-up ------------------------------------------------------------------

Ref<NSCalendar> NSCalendar::currentCalendar() {
    return make<NSCalendar>();
}

bool NSCalendar::init() {
    return initWithCalendarIdentifier(NSGregorianCalendar);
}

bool NSCalendar::initWithCalendarIdentifier(NSString* identifier) {
    if (!identifier || !identifier->isEqualToString(NSGregorianCalendar)) return false;
    timeZone_ = NSTimeZone::defaultTimeZone();
    locale_ = NSLocale::currentLocale();
    return true;
}

void NSCalendar::dealloc() {
    invalidate();
    NSObject::dealloc();
}

void NSCalendar::invalidate() {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    if (cal_) ucal_close(static_cast<UCalendar*>(cal_));
    cal_ = nullptr;
}

void* NSCalendar::cal() {
    if (cal_) return cal_;
    std::u16string zone = timeZone_ ? timeZone_->icuZoneID() : u"GMT";
    std::string loc = locale_ ? locale_->icuLocaleID() : std::string("en_US");
    UErrorCode st = U_ZERO_ERROR;
    UCalendar* c =
        ucal_open(zone.data(), static_cast<int32_t>(zone.size()), loc.c_str(), UCAL_GREGORIAN, &st);
    if (U_FAILURE(st)) {
        // A zone ICU cannot open (never expected) still gets a working calendar in GMT.
        st = U_ZERO_ERROR;
        c = ucal_open(u"GMT", 3, loc.c_str(), UCAL_GREGORIAN, &st);
    }
    if (firstWeekday_) ucal_setAttribute(c, UCAL_FIRST_DAY_OF_WEEK, firstWeekday_);
    if (minimumDaysInFirstWeek_)
        ucal_setAttribute(c, UCAL_MINIMAL_DAYS_IN_FIRST_WEEK, minimumDaysInFirstWeek_);
    cal_ = c;
    return cal_;
}

Ref<NSString> NSCalendar::calendarIdentifier() {
    return NSGregorianCalendar;
}

Ref<NSTimeZone> NSCalendar::timeZone() {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    return timeZone_;
}

void NSCalendar::setTimeZone(NSTimeZone* zone) {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    timeZone_ = zone ? Ref<NSTimeZone>(zone) : NSTimeZone::defaultTimeZone();
    invalidate();
}

Ref<NSLocale> NSCalendar::locale() {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    return locale_;
}

void NSCalendar::setLocale(NSLocale* locale) {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    locale_ = locale ? Ref<NSLocale>(locale) : NSLocale::currentLocale();
    invalidate();
}

NSUInteger NSCalendar::firstWeekday() {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    return static_cast<NSUInteger>(
        ucal_getAttribute(static_cast<UCalendar*>(cal()), UCAL_FIRST_DAY_OF_WEEK));
}

void NSCalendar::setFirstWeekday(NSUInteger weekday) {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    firstWeekday_ = weekday >= 1 && weekday <= 7 ? weekday : 0;
    invalidate();
}

NSUInteger NSCalendar::minimumDaysInFirstWeek() {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    return static_cast<NSUInteger>(
        ucal_getAttribute(static_cast<UCalendar*>(cal()), UCAL_MINIMAL_DAYS_IN_FIRST_WEEK));
}

void NSCalendar::setMinimumDaysInFirstWeek(NSUInteger days) {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    minimumDaysInFirstWeek_ = days >= 1 && days <= 7 ? days : 0;
    invalidate();
}

// ---- components --------------------------------------------------------------------------

Ref<NSDateComponents> NSCalendar::components(NSUInteger unitFlags, NSDate* date) {
    if (!date) return nullptr;
    std::lock_guard<std::recursive_mutex> g(mutex_);
    auto* c = static_cast<UCalendar*>(cal());
    setMillis(c, std::floor(toUDate(date)));
    auto comps = alloc<NSDateComponents>();
    if (unitFlags & NSEraCalendarUnit) comps->setEra(get(c, UCAL_ERA));
    if (unitFlags & NSYearCalendarUnit) comps->setYear(get(c, UCAL_YEAR));
    if (unitFlags & NSMonthCalendarUnit) comps->setMonth(get(c, UCAL_MONTH) + 1);
    if (unitFlags & NSDayCalendarUnit) comps->setDay(get(c, UCAL_DATE));
    if (unitFlags & NSHourCalendarUnit) comps->setHour(get(c, UCAL_HOUR_OF_DAY));
    if (unitFlags & NSMinuteCalendarUnit) comps->setMinute(get(c, UCAL_MINUTE));
    if (unitFlags & NSSecondCalendarUnit) comps->setSecond(get(c, UCAL_SECOND));
    if (unitFlags & NSWeekCalendarUnit) comps->setWeek(get(c, UCAL_WEEK_OF_YEAR));
    if (unitFlags & NSWeekdayCalendarUnit) comps->setWeekday(get(c, UCAL_DAY_OF_WEEK));
    if (unitFlags & NSWeekdayOrdinalCalendarUnit)
        comps->setWeekdayOrdinal(get(c, UCAL_DAY_OF_WEEK_IN_MONTH));
    if (unitFlags & NSQuarterCalendarUnit) comps->setQuarter(get(c, UCAL_MONTH) / 3 + 1);
    if (unitFlags & NSWeekOfMonthCalendarUnit) comps->setWeekOfMonth(get(c, UCAL_WEEK_OF_MONTH));
    if (unitFlags & NSWeekOfYearCalendarUnit) comps->setWeekOfYear(get(c, UCAL_WEEK_OF_YEAR));
    if (unitFlags & NSYearForWeekOfYearCalendarUnit)
        comps->setYearForWeekOfYear(get(c, UCAL_YEAR_WOY));
    return comps;
}

Ref<NSDateComponents> NSCalendar::components(NSUInteger unitFlags, NSDate* startingDate,
                                             NSDate* resultDate, NSUInteger) {
    if (!startingDate || !resultDate) return nullptr;
    std::lock_guard<std::recursive_mutex> g(mutex_);
    auto* c = static_cast<UCalendar*>(cal());
    setMillis(c, std::floor(toUDate(startingDate)));
    const double target = std::floor(toUDate(resultDate));
    auto comps = alloc<NSDateComponents>();
    // Each difference moves the calendar on by the whole units counted, so the next (smaller)
    // unit counts what remains.
    auto diff = [&](UCalendarDateFields f) -> NSInteger {
        UErrorCode st = U_ZERO_ERROR;
        int32_t d = ucal_getFieldDifference(c, target, f, &st);
        return U_SUCCESS(st) ? d : 0;
    };
    if (unitFlags & NSEraCalendarUnit) comps->setEra(diff(UCAL_ERA));
    if (unitFlags & NSYearCalendarUnit) comps->setYear(diff(UCAL_YEAR));
    if (unitFlags & NSQuarterCalendarUnit) {
        NSInteger months = diff(UCAL_MONTH);
        comps->setQuarter(months / 3);
        // Months beyond whole quarters are counted again below.
        if (months % 3) add(c, UCAL_MONTH, -(months % 3), false);
    }
    if (unitFlags & NSMonthCalendarUnit) comps->setMonth(diff(UCAL_MONTH));
    if (unitFlags & (NSWeekCalendarUnit | NSWeekOfYearCalendarUnit | NSWeekOfMonthCalendarUnit)) {
        NSInteger weeks = diff(UCAL_WEEK_OF_YEAR);
        if (unitFlags & NSWeekCalendarUnit) comps->setWeek(weeks);
        if (unitFlags & NSWeekOfYearCalendarUnit) comps->setWeekOfYear(weeks);
        if (unitFlags & NSWeekOfMonthCalendarUnit) comps->setWeekOfMonth(weeks);
    }
    if (unitFlags & NSDayCalendarUnit) comps->setDay(diff(UCAL_DATE));
    if (unitFlags & NSHourCalendarUnit) comps->setHour(diff(UCAL_HOUR_OF_DAY));
    if (unitFlags & NSMinuteCalendarUnit) comps->setMinute(diff(UCAL_MINUTE));
    if (unitFlags & NSSecondCalendarUnit) comps->setSecond(diff(UCAL_SECOND));
    return comps;
}

Ref<NSDate> NSCalendar::dateFromComponents(NSDateComponents* comps) {
    if (!comps) return nullptr;
    std::lock_guard<std::recursive_mutex> g(mutex_);
    auto* c = static_cast<UCalendar*>(cal());
    ucal_clear(c);
    auto defined = [](NSInteger v) { return v != NSUndefinedDateComponent; };
    if (defined(comps->era())) set(c, UCAL_ERA, comps->era());
    if (defined(comps->year())) {
        set(c, UCAL_YEAR, comps->year());
    } else if (!defined(comps->yearForWeekOfYear())) {
        set(c, UCAL_YEAR, 1);
    }
    if (defined(comps->yearForWeekOfYear())) set(c, UCAL_YEAR_WOY, comps->yearForWeekOfYear());
    // Week-based fields first: when a day of the month is given too, it is set later and wins.
    NSInteger week = defined(comps->weekOfYear()) ? comps->weekOfYear() : comps->week();
    if (defined(week)) set(c, UCAL_WEEK_OF_YEAR, week);
    if (defined(comps->weekOfMonth())) set(c, UCAL_WEEK_OF_MONTH, comps->weekOfMonth());
    if (defined(comps->weekday())) set(c, UCAL_DAY_OF_WEEK, comps->weekday());
    if (defined(comps->weekdayOrdinal()))
        set(c, UCAL_DAY_OF_WEEK_IN_MONTH, comps->weekdayOrdinal());
    if (defined(comps->month())) {
        set(c, UCAL_MONTH, comps->month() - 1);
    } else if (!defined(week)) {
        set(c, UCAL_MONTH, 0);
    }
    if (defined(comps->day())) {
        set(c, UCAL_DATE, comps->day());
    } else if (!defined(week) && !defined(comps->weekdayOrdinal()) &&
               !defined(comps->weekOfMonth())) {
        set(c, UCAL_DATE, 1);
    }
    set(c, UCAL_HOUR_OF_DAY, defined(comps->hour()) ? comps->hour() : 0);
    set(c, UCAL_MINUTE, defined(comps->minute()) ? comps->minute() : 0);
    set(c, UCAL_SECOND, defined(comps->second()) ? comps->second() : 0);
    set(c, UCAL_MILLISECOND, 0);
    UErrorCode st = U_ZERO_ERROR;
    double m = ucal_getMillis(c, &st);
    if (U_FAILURE(st)) return nullptr;
    return dateFromUDate(m);
}

Ref<NSDate> NSCalendar::dateByAddingComponents(NSDateComponents* comps, NSDate* date,
                                               NSUInteger options) {
    if (!comps || !date) return nullptr;
    std::lock_guard<std::recursive_mutex> g(mutex_);
    auto* c = static_cast<UCalendar*>(cal());
    const double ms = toUDate(date);
    const double whole = std::floor(ms);
    setMillis(c, whole);
    const bool wrap = options & NSWrapCalendarComponents;
    auto apply = [&](UCalendarDateFields f, NSInteger v) {
        if (v != NSUndefinedDateComponent && v != 0) add(c, f, v, wrap);
    };
    apply(UCAL_ERA, comps->era());
    apply(UCAL_YEAR, comps->year());
    if (comps->quarter() != NSUndefinedDateComponent) apply(UCAL_MONTH, comps->quarter() * 3);
    apply(UCAL_MONTH, comps->month());
    apply(UCAL_WEEK_OF_YEAR, comps->week());
    apply(UCAL_WEEK_OF_YEAR, comps->weekOfYear());
    apply(UCAL_WEEK_OF_MONTH, comps->weekOfMonth());
    apply(UCAL_DATE, comps->day());
    apply(UCAL_HOUR_OF_DAY, comps->hour());
    apply(UCAL_MINUTE, comps->minute());
    apply(UCAL_SECOND, comps->second());
    // ICU counts whole milliseconds; the fraction of the original date is kept.
    return dateFromUDate(millis(c) + (ms - whole));
}

// ---- units -------------------------------------------------------------------------------

bool NSCalendar::startOfUnit(void* handle, NSCalendarUnit unit, double& start, double& end) {
    auto* c = static_cast<UCalendar*>(handle);
    const double at = millis(c);
    auto zeroTime = [&] {
        set(c, UCAL_HOUR_OF_DAY, 0);
        set(c, UCAL_MINUTE, 0);
        set(c, UCAL_SECOND, 0);
        set(c, UCAL_MILLISECOND, 0);
    };
    // Within an hour the start is found by subtraction: setting fields in the hour repeated at
    // the end of daylight-saving time could pick its other occurrence.
    auto sinceStart = [&](bool minutes, bool seconds) {
        double back = static_cast<double>(get(c, UCAL_MILLISECOND));
        if (seconds) back += get(c, UCAL_SECOND) * 1000.0;
        if (minutes) back += get(c, UCAL_MINUTE) * 60000.0;
        return back;
    };
    switch (unit) {
        case NSYearCalendarUnit:
            set(c, UCAL_DAY_OF_YEAR, 1);
            zeroTime();
            start = millis(c);
            add(c, UCAL_YEAR, 1, false);
            break;
        case NSQuarterCalendarUnit:
            set(c, UCAL_MONTH, get(c, UCAL_MONTH) / 3 * 3);
            set(c, UCAL_DATE, 1);
            zeroTime();
            start = millis(c);
            add(c, UCAL_MONTH, 3, false);
            break;
        case NSMonthCalendarUnit:
            set(c, UCAL_DATE, 1);
            zeroTime();
            start = millis(c);
            add(c, UCAL_MONTH, 1, false);
            break;
        case NSWeekCalendarUnit:
        case NSWeekOfYearCalendarUnit:
        case NSWeekOfMonthCalendarUnit: {
            const NSInteger back =
                (get(c, UCAL_DAY_OF_WEEK) - ucal_getAttribute(c, UCAL_FIRST_DAY_OF_WEEK) + 7) % 7;
            zeroTime();
            millis(c);
            add(c, UCAL_DATE, -back, false);
            start = millis(c);
            add(c, UCAL_DATE, 7, false);
            break;
        }
        case NSDayCalendarUnit:
        case NSWeekdayCalendarUnit:
        case NSWeekdayOrdinalCalendarUnit:
            zeroTime();
            start = millis(c);
            add(c, UCAL_DATE, 1, false);
            break;
        case NSHourCalendarUnit:
            start = at - sinceStart(true, true);
            end = start + 3600000.0;
            return true;
        case NSMinuteCalendarUnit:
            start = at - sinceStart(false, true);
            end = start + 60000.0;
            return true;
        case NSSecondCalendarUnit:
            start = at - sinceStart(false, false);
            end = start + 1000.0;
            return true;
        default:
            return false;
    }
    end = millis(c);
    return true;
}

bool NSCalendar::rangeOfUnit(NSCalendarUnit unit, Ref<NSDate>* startDate, NSTimeInterval* interval,
                             NSDate* date) {
    if (!date) return false;
    std::lock_guard<std::recursive_mutex> g(mutex_);
    auto* c = static_cast<UCalendar*>(cal());
    setMillis(c, std::floor(toUDate(date)));
    double start = 0, end = 0;
    if (!startOfUnit(c, unit, start, end)) return false;
    if (startDate) *startDate = dateFromUDate(start);
    if (interval) *interval = (end - start) / 1000.0;
    return true;
}

NSUInteger NSCalendar::ordinalityOfUnit(NSCalendarUnit smaller, NSCalendarUnit larger,
                                        NSDate* date) {
    const UnitInfo* s = infoOf(smaller);
    const UnitInfo* l = infoOf(larger);
    if (!date || !s || !l || s->rank <= l->rank) return NSNotFound;
    std::lock_guard<std::recursive_mutex> g(mutex_);
    auto* c = static_cast<UCalendar*>(cal());
    setMillis(c, std::floor(toUDate(date)));
    const NSInteger dow = get(c, UCAL_DAY_OF_WEEK);
    const NSInteger first = ucal_getAttribute(c, UCAL_FIRST_DAY_OF_WEEK);
    // The pairs the calendar's own fields answer.
    if (isDayUnit(smaller) && isWeekUnit(larger)) return (dow - first + 7) % 7 + 1;
    if (smaller == NSDayCalendarUnit && larger == NSMonthCalendarUnit) return get(c, UCAL_DATE);
    if (smaller == NSDayCalendarUnit && larger == NSYearCalendarUnit)
        return get(c, UCAL_DAY_OF_YEAR);
    if ((smaller == NSWeekdayCalendarUnit || smaller == NSWeekdayOrdinalCalendarUnit) &&
        larger == NSMonthCalendarUnit)
        return get(c, UCAL_DAY_OF_WEEK_IN_MONTH);
    if (isWeekUnit(smaller) && larger == NSMonthCalendarUnit) return get(c, UCAL_WEEK_OF_MONTH);
    if (isWeekUnit(smaller) && larger == NSYearCalendarUnit) return get(c, UCAL_WEEK_OF_YEAR);
    if (smaller == NSMonthCalendarUnit && larger == NSYearCalendarUnit)
        return get(c, UCAL_MONTH) + 1;
    if (smaller == NSMonthCalendarUnit && larger == NSQuarterCalendarUnit)
        return get(c, UCAL_MONTH) % 3 + 1;
    if (smaller == NSQuarterCalendarUnit && larger == NSYearCalendarUnit)
        return get(c, UCAL_MONTH) / 3 + 1;
    if (smaller == NSYearCalendarUnit && larger == NSEraCalendarUnit) return get(c, UCAL_YEAR);
    // Otherwise: whole smaller units from the start of the larger one, counting from 1.
    const double at = millis(c);
    double start = 0, end = 0;
    if (!startOfUnit(c, larger, start, end)) return NSNotFound;
    setMillis(c, start);
    UCalendarDateFields f = s->field;
    if (isDayUnit(smaller)) f = UCAL_DATE;
    if (isWeekUnit(smaller)) f = UCAL_WEEK_OF_YEAR;
    UErrorCode st = U_ZERO_ERROR;
    int32_t n = ucal_getFieldDifference(c, at, f, &st);
    if (U_FAILURE(st)) return NSNotFound;
    if (smaller == NSQuarterCalendarUnit) n /= 3;
    return static_cast<NSUInteger>(n + 1);
}

NSRange NSCalendar::rangeOfUnit(NSCalendarUnit smaller, NSCalendarUnit larger, NSDate* date) {
    const UnitInfo* s = infoOf(smaller);
    const UnitInfo* l = infoOf(larger);
    if (!date || !s || !l || s->rank <= l->rank) return kNoRange;
    std::lock_guard<std::recursive_mutex> g(mutex_);
    auto* c = static_cast<UCalendar*>(cal());
    setMillis(c, std::floor(toUDate(date)));
    auto actual = [&](UCalendarDateFields f, UCalendarLimitType t) {
        UErrorCode st = U_ZERO_ERROR;
        return static_cast<NSUInteger>(ucal_getLimit(c, f, t, &st));
    };
    auto span = [&](UCalendarDateFields f) {
        NSUInteger lo = actual(f, UCAL_ACTUAL_MINIMUM);
        NSUInteger hi = actual(f, UCAL_ACTUAL_MAXIMUM);
        return NSMakeRange(lo, hi - lo + 1);
    };
    if (smaller == NSDayCalendarUnit && larger == NSMonthCalendarUnit) return span(UCAL_DATE);
    if (smaller == NSDayCalendarUnit && larger == NSYearCalendarUnit) return span(UCAL_DAY_OF_YEAR);
    if (smaller == NSWeekdayCalendarUnit &&
        (isWeekUnit(larger) || larger == NSMonthCalendarUnit || larger == NSYearCalendarUnit))
        return NSMakeRange(1, 7);
    if (smaller == NSDayCalendarUnit && isWeekUnit(larger)) {
        // The days of the month that the week holds (a week may start in the month before).
        double start = 0, end = 0;
        startOfUnit(c, NSWeekCalendarUnit, start, end);
        setMillis(c, start);
        return NSMakeRange(static_cast<NSUInteger>(get(c, UCAL_DATE)), 7);
    }
    if (smaller == NSWeekdayOrdinalCalendarUnit && larger == NSMonthCalendarUnit)
        return span(UCAL_DAY_OF_WEEK_IN_MONTH);
    if (isWeekUnit(smaller) && larger == NSMonthCalendarUnit) return span(UCAL_WEEK_OF_MONTH);
    if (isWeekUnit(smaller) && larger == NSYearCalendarUnit) return span(UCAL_WEEK_OF_YEAR);
    if (smaller == NSMonthCalendarUnit && larger == NSYearCalendarUnit) return NSMakeRange(1, 12);
    if (smaller == NSMonthCalendarUnit && larger == NSQuarterCalendarUnit)
        return NSMakeRange(static_cast<NSUInteger>(get(c, UCAL_MONTH) / 3 * 3 + 1), 3);
    if (smaller == NSQuarterCalendarUnit && larger == NSYearCalendarUnit) return NSMakeRange(1, 4);
    if (smaller == NSHourCalendarUnit && (isDayUnit(larger))) return NSMakeRange(0, 24);
    if (smaller == NSMinuteCalendarUnit && larger == NSHourCalendarUnit) return NSMakeRange(0, 60);
    if (smaller == NSSecondCalendarUnit && larger == NSMinuteCalendarUnit)
        return NSMakeRange(0, 60);
    return kNoRange;
}

NSRange NSCalendar::minimumRangeOfUnit(NSCalendarUnit unit) {
    const UnitLimits* l = limitsOf(unit);
    return l ? l->least : kNoRange;
}

NSRange NSCalendar::maximumRangeOfUnit(NSCalendarUnit unit) {
    const UnitLimits* l = limitsOf(unit);
    return l ? l->most : kNoRange;
}

bool NSCalendar::isEqual(NSObject* other) {
    auto o = as<NSCalendar>(other);
    if (!o) return false;
    if (o.get() == this) return true;
    return objectsEqual(timeZone(), o->timeZone()) && objectsEqual(locale(), o->locale()) &&
           firstWeekday() == o->firstWeekday() &&
           minimumDaysInFirstWeek() == o->minimumDaysInFirstWeek();
}

NSUInteger NSCalendar::hash() {
    return calendarIdentifier()->hash();
}

Ref<NSObject> NSCalendar::copyWithZone() {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    auto c = alloc<NSCalendar>();
    c->timeZone_ = timeZone_;
    c->locale_ = locale_;
    c->firstWeekday_ = firstWeekday_;
    c->minimumDaysInFirstWeek_ = minimumDaysInFirstWeek_;
    return c;
}
