#include "ui/core/NSDate+DZCategory.h"

#include <cmath>
#include <string>
#include <unordered_map>

#include "Foundation/NSCalendar.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDateFormatter.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "ui/core/DZGlobalCore.h"

namespace {
constexpr int kDay = 86400;

// One formatter per format key, made on first use with the localized format and the
// preferred locale of that moment, and kept.
NSDateFormatter* formatterFor(NSString* key) {
    static ProcessWide<std::unordered_map<std::string, Ref<NSDateFormatter>>> formatters;
    Ref<NSDateFormatter>& slot = (*formatters.get())[key->utf8()];
    if (!slot) {
        slot = make<NSDateFormatter>();
        slot->setDateFormat(DZBundleLocalizedString(key, nullptr));
        slot->setLocale(DZPreferredLocale());
    }
    return slot.get();
}

Ref<NSString> format(NSDate* date, NSString* key) {
    return formatterFor(key)->stringFromDate(date);
}

// Whole seconds between the date and now, either way.
int ageOf(NSDate* date) {
    return static_cast<int>(std::fabs(date->timeIntervalSinceNow()));
}

Ref<NSString> localized(NSString* key, int number) {
    return NSString::stringWithFormat(DZBundleLocalizedString(key, nullptr), number);
}
}  // namespace

Ref<NSDate> dateWithToday() {
    return dateAtMidnight(NSDate::date());
}

Ref<NSDate> dateAtMidnight(NSDate* date) {
    // The calendar knows where the day starts, also on a day whose midnight a clock change
    // skips.
    Ref<NSDate> start;
    if (NSCalendar::currentCalendar()->rangeOfUnit(NSDayCalendarUnit, &start, nullptr, date))
        return start;
    return date;
}

Ref<NSString> formatTime(NSDate* date) {
    return format(date, NS("h:mm a"));
}

Ref<NSString> formatDate(NSDate* date) {
    return format(date, NS("EEEE, LLLL d, YYYY"));
}

Ref<NSString> formatShortTime(NSDate* date) {
    int e = ageOf(date);
    if (e < kDay) return formatTime(date);
    if (e < 5 * kDay) return format(date, NS("EEEE"));
    return format(date, NS("M/d/yy"));
}

Ref<NSString> formatDateTime(NSDate* date) {
    int e = ageOf(date);
    if (e < kDay) return formatTime(date);
    if (e < 5 * kDay) return format(date, NS("EEE h:mm a"));
    return format(date, NS("MMM d h:mm a"));
}

Ref<NSString> formatRelativeTime(NSDate* date) {
    int e = ageOf(date);
    if (e < 2) return DZBundleLocalizedString(NS("just a moment ago"), nullptr);
    if (e < 60) return localized(NS("%d seconds ago"), e);
    if (e < 120) return DZBundleLocalizedString(NS("about a minute ago"), nullptr);
    if (e < 3600) return localized(NS("%d minutes ago"), static_cast<int>(e / 60.0));
    if (e < 5400) return DZBundleLocalizedString(NS("about an hour ago"), nullptr);
    if (e < kDay) return localized(NS("%d hours ago"), static_cast<int>((e + 1800) / 3600.0));
    return formatDateTime(date);
}

Ref<NSString> formatShortRelativeTime(NSDate* date) {
    int e = ageOf(date);
    if (e < 60) return DZBundleLocalizedString(NS("<1m"), nullptr);
    if (e < 3600) return localized(NS("%dm"), static_cast<int>(e / 60.0));
    if (e < kDay) return localized(NS("%dh"), static_cast<int>((e + 1800) / 3600.0));
    if (e < 7 * kDay) return localized(NS("%dd"), static_cast<int>((e + 43200.0) / kDay));
    return formatShortTime(date);
}

Ref<NSString> formatDay(NSDate* date, NSDateComponents* today, NSDateComponents* yesterday) {
    Ref<NSDateComponents> day = NSCalendar::currentCalendar()->components(
        NSYearCalendarUnit | NSMonthCalendarUnit | NSDayCalendarUnit, date);
    auto same = [&](NSDateComponents* other) {
        return other && day->year() == other->year() && day->month() == other->month() &&
               day->day() == other->day();
    };
    if (same(today)) return DZBundleLocalizedString(NS("Today"), nullptr);
    if (same(yesterday)) return DZBundleLocalizedString(NS("Yesterday"), nullptr);
    return format(date, NS("MMMM d"));
}

Ref<NSString> formatMonth(NSDate* date) {
    return format(date, NS("MMMM"));
}

Ref<NSString> formatYear(NSDate* date) {
    return format(date, NS("yyyy"));
}
