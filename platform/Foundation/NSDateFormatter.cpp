#include "Foundation/NSDateFormatter.h"

#include <unicode/ucal.h>
#include <unicode/uchar.h>
#include <unicode/udat.h>
#include <unicode/udatpg.h>

#include <atomic>
#include <cmath>

#include "Foundation/LocaleSupport.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSCalendar.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSTimeZone.h"

using namespace locale_detail;

namespace {

std::atomic<NSDateFormatterBehavior> gDefaultBehavior{NSDateFormatterBehaviorDefault};

UDateFormatStyle icuStyle(NSDateFormatterStyle s) {
    switch (s) {
        case NSDateFormatterShortStyle:
            return UDAT_SHORT;
        case NSDateFormatterMediumStyle:
            return UDAT_MEDIUM;
        case NSDateFormatterLongStyle:
            return UDAT_LONG;
        case NSDateFormatterFullStyle:
            return UDAT_FULL;
        default:
            return UDAT_NONE;
    }
}

void setSymbol(UDateFormat* f, UDateFormatSymbolType type, int32_t index, NSString* value) {
    if (!value) return;
    std::u16string v = value->u16();
    UErrorCode st = U_ZERO_ERROR;
    udat_setSymbols(f, type, index, v.data(), static_cast<int32_t>(v.size()), &st);
}

}  // namespace

bool NSDateFormatter::init() {
    locale_ = NSLocale::currentLocale();
    timeZone_ = NSTimeZone::defaultTimeZone();
    format_ = NS("");
    behavior_ = gDefaultBehavior.load();
    return true;
}

void NSDateFormatter::dealloc() {
    invalidate();
    NSFormatter::dealloc();
}

void NSDateFormatter::invalidate() {
    if (fmt_) udat_close(static_cast<UDateFormat*>(fmt_));
    fmt_ = nullptr;
}

void* NSDateFormatter::formatter() {
    if (fmt_) return fmt_;
    if (!locale_) locale_ = NSLocale::currentLocale();
    if (!timeZone_) timeZone_ = NSTimeZone::defaultTimeZone();
    const std::string loc = locale_->icuLocaleID();
    const std::u16string zone = timeZone_->icuZoneID();
    UErrorCode st = U_ZERO_ERROR;
    UDateFormat* f = nullptr;
    if (formatFromStyles_ &&
        (dateStyle_ != NSDateFormatterNoStyle || timeStyle_ != NSDateFormatterNoStyle)) {
        f = udat_open(icuStyle(timeStyle_), icuStyle(dateStyle_), loc.c_str(), zone.data(),
                      static_cast<int32_t>(zone.size()), nullptr, 0, &st);
        if (U_SUCCESS(st)) {
            format_ = NSString::fromUTF16(icuText([&](UChar* b, int32_t n, UErrorCode* e) {
                return udat_toPattern(f, false, b, n, e);
            }));
        }
    } else {
        if (formatFromStyles_) format_ = NS("");
        std::u16string pattern = units(format_);
        f = udat_open(UDAT_PATTERN, UDAT_PATTERN, loc.c_str(), zone.data(),
                      static_cast<int32_t>(zone.size()), pattern.data(),
                      static_cast<int32_t>(pattern.size()), &st);
    }
    if (U_FAILURE(st)) {
        if (f) udat_close(f);
        return nullptr;
    }
    fmt_ = f;
    udat_setLenient(f, lenient_);
    // Two-digit years fall into the hundred years from 80 years before now, "now" being the
    // system clock's (ICU would read the wall clock itself).
    double start = 0;
    if (twoDigitStart_) {
        start = toUDate(twoDigitStart_);
    } else {
        UCalendar* c = ucal_clone(udat_getCalendar(f), &st);
        if (U_SUCCESS(st)) {
            ucal_setMillis(c, toUDate(Clock::now()), &st);
            ucal_add(c, UCAL_YEAR, -80, &st);
            start = ucal_getMillis(c, &st);
            ucal_close(c);
        }
    }
    st = U_ZERO_ERROR;
    udat_set2DigitYearStart(f, start, &st);
    setSymbol(f, UDAT_AM_PMS, 0, amSymbol_);
    setSymbol(f, UDAT_AM_PMS, 1, pmSymbol_);
    return fmt_;
}

// ---- settings ----------------------------------------------------------------------------

Ref<NSString> NSDateFormatter::dateFormat() {
    if (formatFromStyles_) formatter();
    return format_ ? format_ : Ref<NSString>(NS(""));
}

void NSDateFormatter::setDateFormat(NSString* format) {
    format_ = format ? format->copy() : Ref<NSString>(NS(""));
    formatFromStyles_ = false;
    invalidate();
}

void NSDateFormatter::setDateStyle(NSDateFormatterStyle style) {
    dateStyle_ = style;
    formatFromStyles_ = true;
    invalidate();
}

void NSDateFormatter::setTimeStyle(NSDateFormatterStyle style) {
    timeStyle_ = style;
    formatFromStyles_ = true;
    invalidate();
}

Ref<NSLocale> NSDateFormatter::locale() {
    return locale_;
}

void NSDateFormatter::setLocale(NSLocale* locale) {
    locale_ = locale ? Ref<NSLocale>(locale) : NSLocale::currentLocale();
    invalidate();
}

Ref<NSTimeZone> NSDateFormatter::timeZone() {
    return timeZone_;
}

void NSDateFormatter::setTimeZone(NSTimeZone* zone) {
    timeZone_ = zone ? Ref<NSTimeZone>(zone) : NSTimeZone::defaultTimeZone();
    invalidate();
}

Ref<NSCalendar> NSDateFormatter::calendar() {
    if (!calendar_) {
        calendar_ = make<NSCalendar>(&NSCalendar::initWithCalendarIdentifier, NSGregorianCalendar);
        calendar_->setLocale(locale_);
        calendar_->setTimeZone(timeZone_);
    }
    return calendar_;
}

void NSDateFormatter::setCalendar(NSCalendar* calendar) {
    calendar_ = calendar;
}

void NSDateFormatter::setLenient(bool lenient) {
    lenient_ = lenient;
    if (fmt_) udat_setLenient(static_cast<UDateFormat*>(fmt_), lenient);
}

NSDateFormatterBehavior NSDateFormatter::defaultFormatterBehavior() {
    return gDefaultBehavior.load();
}

void NSDateFormatter::setDefaultFormatterBehavior(NSDateFormatterBehavior behavior) {
    gDefaultBehavior.store(behavior);
}

void NSDateFormatter::setDefaultDate(NSDate* date) {
    defaultDate_ = date;
}

Ref<NSDate> NSDateFormatter::twoDigitStartDate() {
    auto* f = static_cast<UDateFormat*>(formatter());
    if (!f) return twoDigitStart_;
    UErrorCode st = U_ZERO_ERROR;
    double start = udat_get2DigitYearStart(f, &st);
    return U_SUCCESS(st) ? dateFromUDate(start) : nullptr;
}

void NSDateFormatter::setTwoDigitStartDate(NSDate* date) {
    twoDigitStart_ = date;
    invalidate();
}

// ---- symbols -----------------------------------------------------------------------------

Ref<NSString> NSDateFormatter::symbol(int type, int index) {
    auto* f = static_cast<UDateFormat*>(formatter());
    if (!f) return nullptr;
    return stringOrNil(icuText([&](UChar* b, int32_t n, UErrorCode* e) {
        return udat_getSymbols(f, static_cast<UDateFormatSymbolType>(type), index, b, n, e);
    }));
}

Ref<NSArray> NSDateFormatter::symbols(int type) {
    auto* f = static_cast<UDateFormat*>(formatter());
    auto out = NSMutableArray::array();
    if (!f) return out->copy();
    const int32_t n = udat_countSymbols(f, static_cast<UDateFormatSymbolType>(type));
    // ICU's weekday lists start with an empty entry so that Sunday is 1.
    const bool weekdays = type == UDAT_WEEKDAYS || type == UDAT_SHORT_WEEKDAYS;
    for (int32_t i = weekdays ? 1 : 0; i < n; ++i) {
        auto s = symbol(type, i);
        out->addObject(s ? s.get() : NS(""));
    }
    return out->copy();
}

Ref<NSString> NSDateFormatter::AMSymbol() {
    return amSymbol_ ? amSymbol_ : symbol(UDAT_AM_PMS, 0);
}

void NSDateFormatter::setAMSymbol(NSString* symbol) {
    amSymbol_ = symbol ? symbol->copy() : nullptr;
    invalidate();
}

Ref<NSString> NSDateFormatter::PMSymbol() {
    return pmSymbol_ ? pmSymbol_ : symbol(UDAT_AM_PMS, 1);
}

void NSDateFormatter::setPMSymbol(NSString* symbol) {
    pmSymbol_ = symbol ? symbol->copy() : nullptr;
    invalidate();
}

Ref<NSArray> NSDateFormatter::monthSymbols() {
    return symbols(UDAT_MONTHS);
}

Ref<NSArray> NSDateFormatter::shortMonthSymbols() {
    return symbols(UDAT_SHORT_MONTHS);
}

Ref<NSArray> NSDateFormatter::weekdaySymbols() {
    return symbols(UDAT_WEEKDAYS);
}

Ref<NSArray> NSDateFormatter::shortWeekdaySymbols() {
    return symbols(UDAT_SHORT_WEEKDAYS);
}

// ---- formatting and parsing --------------------------------------------------------------

Ref<NSString> NSDateFormatter::stringFromDate(NSDate* date) {
    if (!date) return nullptr;
    auto* f = static_cast<UDateFormat*>(formatter());
    if (!f) return nullptr;
    const double when = toUDate(date);
    return NSString::fromUTF16(icuText([&](UChar* b, int32_t n, UErrorCode* e) {
        return udat_format(f, when, b, n, nullptr, e);
    }));
}

Ref<NSDate> NSDateFormatter::dateFromString(NSString* string) {
    if (!string) return nullptr;
    auto* f = static_cast<UDateFormat*>(formatter());
    if (!f || dateFormat()->length() == 0) return nullptr;
    const std::u16string text = string->u16();
    UErrorCode st = U_ZERO_ERROR;
    UCalendar* c = ucal_clone(udat_getCalendar(f), &st);
    if (U_FAILURE(st)) return nullptr;
    // Fields the text lacks come from the default date, else from 1970-01-01 00:00 local.
    if (defaultDate_) {
        ucal_setMillis(c, toUDate(defaultDate_), &st);
    } else {
        ucal_clear(c);
    }
    int32_t pos = 0;
    udat_parseCalendar(f, c, text.data(), static_cast<int32_t>(text.size()), &pos, &st);
    double when = U_SUCCESS(st) ? ucal_getMillis(c, &st) : 0;
    ucal_close(c);
    if (U_FAILURE(st) || pos <= 0) return nullptr;
    for (size_t i = static_cast<size_t>(pos); i < text.size(); ++i)
        if (!u_isUWhiteSpace(text[i])) return nullptr;
    return dateFromUDate(when);
}

Ref<NSString> NSDateFormatter::stringForObjectValue(NSObject* obj) {
    auto d = as<NSDate>(obj);
    return d ? stringFromDate(d) : nullptr;
}

bool NSDateFormatter::getObjectValue(Ref<NSObject>* obj, NSString* string, Ref<NSString>* error) {
    auto d = dateFromString(string);
    if (obj) *obj = d;
    if (!d && error) *error = NS("The date could not be read.");
    return d != nullptr;
}

Ref<NSString> NSDateFormatter::dateFormatFromTemplate(NSString* tmpl, NSUInteger,
                                                      NSLocale* locale) {
    if (!tmpl) return nullptr;
    Ref<NSLocale> l = locale ? Ref<NSLocale>(locale) : NSLocale::currentLocale();
    const std::string loc = l->icuLocaleID();
    UErrorCode st = U_ZERO_ERROR;
    UDateTimePatternGenerator* g = udatpg_open(loc.c_str(), &st);
    if (U_FAILURE(st)) return nullptr;
    const std::u16string skeleton = tmpl->u16();
    std::u16string best = icuText([&](UChar* b, int32_t n, UErrorCode* e) {
        return udatpg_getBestPattern(g, skeleton.data(), static_cast<int32_t>(skeleton.size()), b,
                                     n, e);
    });
    udatpg_close(g);
    return stringOrNil(best);
}

Ref<NSString> NSDateFormatter::localizedStringFromDate(NSDate* date, NSDateFormatterStyle dateStyle,
                                                       NSDateFormatterStyle timeStyle) {
    auto f = make<NSDateFormatter>();
    f->setDateStyle(dateStyle);
    f->setTimeStyle(timeStyle);
    return f->stringFromDate(date);
}

Ref<NSObject> NSDateFormatter::copyWithZone() {
    auto f = alloc<NSDateFormatter>();
    f->format_ = format_;
    f->formatFromStyles_ = formatFromStyles_;
    f->dateStyle_ = dateStyle_;
    f->timeStyle_ = timeStyle_;
    f->locale_ = locale_;
    f->timeZone_ = timeZone_;
    f->calendar_ = calendar_;
    f->defaultDate_ = defaultDate_;
    f->twoDigitStart_ = twoDigitStart_;
    f->amSymbol_ = amSymbol_;
    f->pmSymbol_ = pmSymbol_;
    f->lenient_ = lenient_;
    f->behavior_ = behavior_;
    return f;
}
