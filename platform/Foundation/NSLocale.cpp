#include "Foundation/NSLocale.h"

#include <unicode/ucurr.h>
#include <unicode/uloc.h>
#include <unicode/ulocdata.h>
#include <unicode/unum.h>

#include <cstdlib>
#include <mutex>
#include <vector>

#include "Foundation/LocaleSupport.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSCalendar.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/ProcessWide.h"

using namespace locale_detail;

NSString* const NSLocaleIdentifier = NS("kCFLocaleIdentifierKey");
NSString* const NSLocaleLanguageCode = NS("kCFLocaleLanguageCodeKey");
NSString* const NSLocaleCountryCode = NS("kCFLocaleCountryCodeKey");
NSString* const NSLocaleScriptCode = NS("kCFLocaleScriptCodeKey");
NSString* const NSLocaleVariantCode = NS("kCFLocaleVariantCodeKey");
NSString* const NSLocaleCalendar = NS("kCFLocaleCalendarKey");
NSString* const NSLocaleCollationIdentifier = NS("collation");
NSString* const NSLocaleUsesMetricSystem = NS("kCFLocaleUsesMetricSystemKey");
NSString* const NSLocaleMeasurementSystem = NS("kCFLocaleMeasurementSystemKey");
NSString* const NSLocaleDecimalSeparator = NS("kCFLocaleDecimalSeparatorKey");
NSString* const NSLocaleGroupingSeparator = NS("kCFLocaleGroupingSeparatorKey");
NSString* const NSLocaleCurrencySymbol = NS("kCFLocaleCurrencySymbolKey");
NSString* const NSLocaleCurrencyCode = NS("currency");

namespace {

std::mutex gLock;
// Under gLock.
struct Current {
    Ref<NSString> testIdentifier;
    Ref<NSLocale> locale;  // the last current locale made, reused while its identifier holds
};
Current& current() {
    static ProcessWide<Current> slot;
    return *slot.get();
}

Ref<NSString> currentIdentifier() {
    {
        std::lock_guard<std::mutex> g(gLock);
        if (current().testIdentifier) return current().testIdentifier;
    }
    if (auto pref = NSUserDefaults::standardUserDefaults()->stringForKey(NS("AppleLocale"));
        pref && pref->length() > 0)
        return pref;
    return NSString::fromUTF8(locale_detail::identifierFromEnvironment());
}

// A number format of the locale, for its symbols.
std::u16string numberSymbol(const std::string& loc, UNumberFormatStyle style,
                            UNumberFormatSymbol which) {
    UErrorCode st = U_ZERO_ERROR;
    UNumberFormat* f = unum_open(style, nullptr, 0, loc.c_str(), nullptr, &st);
    if (U_FAILURE(st)) return {};
    auto s = icuText(
        [&](UChar* b, int32_t n, UErrorCode* e) { return unum_getSymbol(f, which, b, n, e); });
    unum_close(f);
    return s;
}

Ref<NSArray> arrayOfCStrings(const char* const* list) {
    auto out = NSMutableArray::array();
    for (; list && *list; ++list)
        out->addObject(NSString::fromUTF8(*list));
    return out->copy();
}

}  // namespace

Ref<NSLocale> NSLocale::currentLocale() {
    Ref<NSString> ident = currentIdentifier();
    std::lock_guard<std::mutex> g(gLock);
    if (!current().locale || !current().locale->identifier_->isEqualToString(ident)) {
        current().locale = localeWithLocaleIdentifier(ident);
    }
    return current().locale;
}

Ref<NSLocale> NSLocale::systemLocale() {
    static NSLocale* shared = [] {
        auto l = localeWithLocaleIdentifier(NS(""));
        l->makeImmortal();
        return l.get();
    }();
    return shared;
}

Ref<NSLocale> NSLocale::autoupdatingCurrentLocale() {
    static NSLocale* shared = [] {
        auto l = alloc<NSLocale>();
        l->identifier_ = NS("");
        l->autoupdating_ = true;
        l->makeImmortal();
        return l.get();
    }();
    return shared;
}

Ref<NSLocale> NSLocale::localeWithLocaleIdentifier(NSString* identifier) {
    return make<NSLocale>(&NSLocale::initWithLocaleIdentifier, identifier);
}

bool NSLocale::initWithLocaleIdentifier(NSString* identifier) {
    if (!identifier) return false;
    identifier_ = identifier->copy();
    return true;
}

Ref<NSString> NSLocale::localeIdentifier() {
    if (autoupdating_) return currentLocale()->localeIdentifier();
    return identifier_;
}

std::string NSLocale::icuLocaleID() {
    if (autoupdating_) return currentLocale()->icuLocaleID();
    std::string id = identifier_->utf8();
    // ICU reads "-" separated tags too, but only canonical names pick up keywords and aliases.
    std::string canon = icuChars(
        [&](char* b, int32_t n, UErrorCode* e) { return uloc_canonicalize(id.c_str(), b, n, e); });
    return canon.empty() ? id : canon;
}

Ref<NSObject> NSLocale::objectForKey(NSString* key) {
    if (!key) return nullptr;
    if (autoupdating_) return currentLocale()->objectForKey(key);
    const std::string loc = icuLocaleID();
    auto part = [&](int32_t (*fn)(const char*, char*, int32_t, UErrorCode*)) -> Ref<NSObject> {
        std::string s =
            icuChars([&](char* b, int32_t n, UErrorCode* e) { return fn(loc.c_str(), b, n, e); });
        return s.empty() ? nullptr : Ref<NSObject>(NSString::fromUTF8(s));
    };
    if (key->isEqualToString(NSLocaleIdentifier)) return Ref<NSObject>(identifier_);
    if (key->isEqualToString(NSLocaleLanguageCode)) return part(uloc_getLanguage);
    if (key->isEqualToString(NSLocaleCountryCode)) return part(uloc_getCountry);
    if (key->isEqualToString(NSLocaleScriptCode)) return part(uloc_getScript);
    if (key->isEqualToString(NSLocaleVariantCode)) return part(uloc_getVariant);
    if (key->isEqualToString(NSLocaleCollationIdentifier)) {
        std::string s = icuChars([&](char* b, int32_t n, UErrorCode* e) {
            return uloc_getKeywordValue(loc.c_str(), "collation", b, n, e);
        });
        return s.empty() ? nullptr : Ref<NSObject>(NSString::fromUTF8(s));
    }
    if (key->isEqualToString(NSLocaleDecimalSeparator))
        return stringOrNil(numberSymbol(loc, UNUM_DECIMAL, UNUM_DECIMAL_SEPARATOR_SYMBOL));
    if (key->isEqualToString(NSLocaleGroupingSeparator))
        return stringOrNil(numberSymbol(loc, UNUM_DECIMAL, UNUM_GROUPING_SEPARATOR_SYMBOL));
    if (key->isEqualToString(NSLocaleCurrencySymbol))
        return stringOrNil(numberSymbol(loc, UNUM_CURRENCY, UNUM_CURRENCY_SYMBOL));
    if (key->isEqualToString(NSLocaleCurrencyCode)) {
        // Only a locale with a region has a currency.
        if (!objectForKey(NSLocaleCountryCode)) return nullptr;
        return stringOrNil(icuText([&](UChar* b, int32_t n, UErrorCode* e) {
            return ucurr_forLocale(loc.c_str(), b, n, e);
        }));
    }
    if (key->isEqualToString(NSLocaleUsesMetricSystem) ||
        key->isEqualToString(NSLocaleMeasurementSystem)) {
        UErrorCode st = U_ZERO_ERROR;
        UMeasurementSystem ms = ulocdata_getMeasurementSystem(loc.c_str(), &st);
        if (U_FAILURE(st)) ms = UMS_SI;
        if (key->isEqualToString(NSLocaleUsesMetricSystem))
            return NSNumber::numberWithBool(ms != UMS_US);
        return Ref<NSObject>(ms == UMS_US ? NS("U.S.") : NS("Metric"));
    }
    if (key->isEqualToString(NSLocaleCalendar)) {
        auto cal = make<NSCalendar>(&NSCalendar::initWithCalendarIdentifier, NSGregorianCalendar);
        if (cal) cal->setLocale(this);
        return cal;
    }
    return nullptr;
}

Ref<NSString> NSLocale::displayNameForKey(NSString* key, NSObject* value) {
    auto text = as<NSString>(value);
    if (!key || !text) return nullptr;
    if (autoupdating_) return currentLocale()->displayNameForKey(key, value);
    const std::string loc = icuLocaleID();
    std::string v = text->utf8();
    auto named = [&](auto fn, const std::string& subject) {
        return stringOrNil(icuText([&](UChar* b, int32_t n, UErrorCode* e) {
            return fn(subject.c_str(), loc.c_str(), b, n, e);
        }));
    };
    if (key->isEqualToString(NSLocaleIdentifier)) {
        auto canon = canonicalLocaleIdentifierFromString(text);
        return named(uloc_getDisplayName, canon->utf8());
    }
    if (key->isEqualToString(NSLocaleLanguageCode)) return named(uloc_getDisplayLanguage, v);
    if (key->isEqualToString(NSLocaleCountryCode)) return named(uloc_getDisplayCountry, "und_" + v);
    if (key->isEqualToString(NSLocaleScriptCode)) return named(uloc_getDisplayScript, "und_" + v);
    if (key->isEqualToString(NSLocaleVariantCode))
        return named(uloc_getDisplayVariant, "und_XX_" + v);
    if (key->isEqualToString(NSLocaleCurrencyCode) ||
        key->isEqualToString(NSLocaleCurrencySymbol)) {
        std::u16string code = text->u16();
        if (code.size() != 3) return nullptr;
        UErrorCode st = U_ZERO_ERROR;
        UBool isChoice = false;
        int32_t len = 0;
        const UChar* name = ucurr_getName(
            code.c_str(), loc.c_str(),
            key->isEqualToString(NSLocaleCurrencyCode) ? UCURR_LONG_NAME : UCURR_SYMBOL_NAME,
            &isChoice, &len, &st);
        if (U_FAILURE(st) || !name) return nullptr;
        return NSString::fromUTF16(std::u16string_view(name, static_cast<size_t>(len)));
    }
    return nullptr;
}

Ref<NSArray> NSLocale::preferredLanguages() {
    if (auto langs =
            NSUserDefaults::standardUserDefaults()->stringArrayForKey(NS("AppleLanguages"));
        langs && langs->count() > 0)
        return langs;
    auto lang = as<NSString>(currentLocale()->objectForKey(NSLocaleLanguageCode));
    return NSArray::arrayWithObject(lang ? lang.get() : NS("en"));
}

Ref<NSArray> NSLocale::availableLocaleIdentifiers() {
    auto out = NSMutableArray::array();
    int32_t n = uloc_countAvailable();
    for (int32_t i = 0; i < n; ++i)
        out->addObject(NSString::fromUTF8(uloc_getAvailable(i)));
    return out->copy();
}

Ref<NSArray> NSLocale::ISOCountryCodes() {
    return arrayOfCStrings(uloc_getISOCountries());
}

Ref<NSArray> NSLocale::ISOLanguageCodes() {
    return arrayOfCStrings(uloc_getISOLanguages());
}

Ref<NSString> NSLocale::canonicalLocaleIdentifierFromString(NSString* string) {
    if (!string) return nullptr;
    std::string in = string->utf8();
    std::string out = icuChars(
        [&](char* b, int32_t n, UErrorCode* e) { return uloc_canonicalize(in.c_str(), b, n, e); });
    return NSString::fromUTF8(out.empty() ? in : out);
}

Ref<NSString> NSLocale::canonicalLanguageIdentifierFromString(NSString* string) {
    if (!string) return nullptr;
    std::string in = string->utf8();
    std::string tag = icuChars([&](char* b, int32_t n, UErrorCode* e) {
        return uloc_toLanguageTag(in.c_str(), b, n, false, e);
    });
    return tag.empty() ? string->copy() : NSString::fromUTF8(tag);
}

void NSLocale::setCurrentLocaleIdentifierForTesting(NSString* identifier) {
    std::lock_guard<std::mutex> g(gLock);
    current().testIdentifier = identifier ? identifier->copy() : nullptr;
}

bool NSLocale::isEqual(NSObject* other) {
    auto o = as<NSLocale>(other);
    return o && o->localeIdentifier()->isEqualToString(localeIdentifier());
}

NSUInteger NSLocale::hash() {
    return localeIdentifier()->hash();
}

Ref<NSString> NSLocale::description() {
    return NSString::stringWithFormat(NS("<NSLocale %@%@>"), localeIdentifier(),
                                      autoupdating_ ? NS(" (autoupdating)") : NS(""));
}

namespace locale_detail {

// "en_US.UTF-8@euro" -> "en_US"; "C" and "POSIX" mean no preference.
std::string identifierFromEnvironment() {
    for (const char* var : {"LC_ALL", "LANG"}) {
        const char* v = std::getenv(var);
        if (!v || !*v) continue;
        std::string s(v);
        s = s.substr(0, s.find_first_of(".@"));
        if (s.empty() || s == "C" || s == "POSIX") break;
        return s;
    }
    return "en_US";
}

}  // namespace locale_detail
