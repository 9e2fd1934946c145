// The short date texts of list screens: a time of day, a weekday, a date, "ago" texts relative
// to now, and the start of a day. Every format and text is a key of the framework's string
// table (DZBundleLocalizedString), used as it stands when the table has no entry. Main thread.
#pragma once

#include "Foundation/NSObject.h"

class NSDate;
class NSDateComponents;
class NSString;

// The start of today, and of the date's day, in the current calendar.
Ref<NSDate> dateWithToday();
Ref<NSDate> dateAtMidnight(NSDate* date);

Ref<NSString> formatTime(NSDate* date);  // "h:mm a"
Ref<NSString> formatDate(NSDate* date);  // "EEEE, LLLL d, YYYY"
// Under a day old: the time; under five days: the weekday; else the short date.
Ref<NSString> formatShortTime(NSDate* date);
// Under a day old: the time; under five days: weekday and time; else date and time.
Ref<NSString> formatDateTime(NSDate* date);
// "just a moment ago" ... "%d hours ago", then formatDateTime.
Ref<NSString> formatRelativeTime(NSDate* date);
// "<1m", "%dm", "%dh", "%dd", then formatShortTime.
Ref<NSString> formatShortRelativeTime(NSDate* date);
// "Today" or "Yesterday" when the date's year, month and day are those of the components
// given, else "MMMM d".
Ref<NSString> formatDay(NSDate* date, NSDateComponents* today, NSDateComponents* yesterday);
Ref<NSString> formatMonth(NSDate* date);  // "MMMM"
Ref<NSString> formatYear(NSDate* date);   // "yyyy"
