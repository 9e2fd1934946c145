// Date formatting and parsing with LDML patterns ("EEE, dd MMM yyyy HH:mm:ss z") or the locale's
// styles, in a locale and a time zone, on ICU. The ICU formatter is made on first use and made
// again after a setting changes. Like the platform's, a formatter may be used from one thread
// at a time.
#pragma once

#include "Foundation/NSFormatter.h"

class NSArray;
class NSDate;
class NSLocale;
class NSTimeZone;
class NSCalendar;

using NSDateFormatterStyle = NSUInteger;
enum : NSDateFormatterStyle {
    NSDateFormatterNoStyle = 0,
    NSDateFormatterShortStyle = 1,
    NSDateFormatterMediumStyle = 2,
    NSDateFormatterLongStyle = 3,
    NSDateFormatterFullStyle = 4,
};

using NSDateFormatterBehavior = NSUInteger;
enum : NSDateFormatterBehavior {
    NSDateFormatterBehaviorDefault = 0,
    NSDateFormatterBehavior10_0 = 1000,
    NSDateFormatterBehavior10_4 = 1040,
};

class NSDateFormatter : public NSFormatter {
    NS_OBJECT(NSDateFormatter, NSFormatter)
    bool init() override;
    void dealloc() override;

    // The pattern in use: the one set, or the one the styles give in the locale ("" when
    // neither is set).
    Ref<NSString> dateFormat();
    void setDateFormat(NSString* format);
    // Setting a style replaces the pattern with the locale's pattern for the styles.
    NSDateFormatterStyle dateStyle() { return dateStyle_; }
    void setDateStyle(NSDateFormatterStyle style);
    NSDateFormatterStyle timeStyle() { return timeStyle_; }
    void setTimeStyle(NSDateFormatterStyle style);
    // Default: the current locale when the formatter is made. nil sets the current locale.
    Ref<NSLocale> locale();
    void setLocale(NSLocale* locale);
    // Default: the default time zone when the formatter is made. nil sets the default zone.
    Ref<NSTimeZone> timeZone();
    void setTimeZone(NSTimeZone* zone);
    Ref<NSCalendar> calendar();
    void setCalendar(NSCalendar* calendar);
    // Not lenient by default: the whole text must match the pattern.
    bool isLenient() { return lenient_; }
    void setLenient(bool lenient);
    // Accepted and ignored: there is only the modern behaviour.
    NSDateFormatterBehavior formatterBehavior() { return behavior_; }
    void setFormatterBehavior(NSDateFormatterBehavior behavior) { behavior_ = behavior; }
    static NSDateFormatterBehavior defaultFormatterBehavior();
    static void setDefaultFormatterBehavior(NSDateFormatterBehavior behavior);
    // Where fields missing from a parsed text come from. Without one they come from
    // 1970-01-01 00:00:00 in the formatter's time zone.
    Ref<NSDate> defaultDate() { return defaultDate_; }
    void setDefaultDate(NSDate* date);
    // The start of the hundred years that two-digit years are read into; by default 80 years
    // before now (read from the clock).
    Ref<NSDate> twoDigitStartDate();
    void setTwoDigitStartDate(NSDate* date);

    Ref<NSString> AMSymbol();
    void setAMSymbol(NSString* symbol);
    Ref<NSString> PMSymbol();
    void setPMSymbol(NSString* symbol);
    Ref<NSArray> monthSymbols();
    Ref<NSArray> shortMonthSymbols();
    Ref<NSArray> weekdaySymbols();
    Ref<NSArray> shortWeekdaySymbols();

    // nil for a nil date.
    Ref<NSString> stringFromDate(NSDate* date);
    // nil when the text does not match the pattern from start to end (trailing white space
    // aside), or for nil.
    Ref<NSDate> dateFromString(NSString* string);
    Ref<NSString> stringForObjectValue(NSObject* obj) override;
    bool getObjectValue(Ref<NSObject>* obj, NSString* string, Ref<NSString>* error) override;

    // The locale's best pattern for the fields of a skeleton ("yMMMd" -> "MMM d, y" in en_US);
    // options are reserved (0). nil for a nil template.
    static Ref<NSString> dateFormatFromTemplate(NSString* tmpl, NSUInteger options,
                                                NSLocale* locale);
    // The date in the current locale and the default time zone with the styles.
    static Ref<NSString> localizedStringFromDate(NSDate* date, NSDateFormatterStyle dateStyle,
                                                 NSDateFormatterStyle timeStyle);

    Ref<NSObject> copyWithZone() override;

private:
    // The ICU formatter for the current settings, made when missing.
    void* formatter();  // UDateFormat*
    void invalidate();
    Ref<NSString> symbol(int type, int index);
    Ref<NSArray> symbols(int type);

    void* fmt_ = nullptr;   // UDateFormat*
    Ref<NSString> format_;  // the pattern set, or the styles' pattern
    bool formatFromStyles_ = false;
    NSDateFormatterStyle dateStyle_ = NSDateFormatterNoStyle;
    NSDateFormatterStyle timeStyle_ = NSDateFormatterNoStyle;
    Ref<NSLocale> locale_;
    Ref<NSTimeZone> timeZone_;
    Ref<NSCalendar> calendar_;
    Ref<NSDate> defaultDate_;
    Ref<NSDate> twoDigitStart_;
    Ref<NSString> amSymbol_;
    Ref<NSString> pmSymbol_;
    bool lenient_ = false;
    NSDateFormatterBehavior behavior_ = NSDateFormatterBehaviorDefault;
};
