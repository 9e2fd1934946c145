// Locales: an identifier ("en_US", "fr_CA", "en_US_POSIX") and the conventions that come with
// it, answered from ICU's locale data. Locales are immutable; the current locale follows the
// user's preference ("AppleLocale"), else the process environment.
#pragma once

#include "Foundation/NSObject.h"

class NSArray;
class NSString;

// Keys of objectForKey: and displayNameForKey:value:, with the platform's text values.
extern NSString* const NSLocaleIdentifier;
extern NSString* const NSLocaleLanguageCode;
extern NSString* const NSLocaleCountryCode;
extern NSString* const NSLocaleScriptCode;
extern NSString* const NSLocaleVariantCode;
extern NSString* const NSLocaleCalendar;
extern NSString* const NSLocaleCollationIdentifier;
extern NSString* const NSLocaleUsesMetricSystem;
extern NSString* const NSLocaleMeasurementSystem;
extern NSString* const NSLocaleDecimalSeparator;
extern NSString* const NSLocaleGroupingSeparator;
extern NSString* const NSLocaleCurrencySymbol;
extern NSString* const NSLocaleCurrencyCode;

class NSLocale : public NSObject {
    NS_OBJECT(NSLocale, NSObject)

    // The user's locale, read when asked: the test override, else the preference "AppleLocale",
    // else LC_ALL, then LANG ("en_US.UTF-8" gives "en_US"; "C", "POSIX" or nothing give "en_US").
    static Ref<NSLocale> currentLocale();
    // The root locale (identifier ""), neutral conventions.
    static Ref<NSLocale> systemLocale();
    // A locale that answers as whatever currentLocale() is at the time of each question.
    static Ref<NSLocale> autoupdatingCurrentLocale();
    static Ref<NSLocale> localeWithLocaleIdentifier(NSString* identifier);
    // A nil identifier fails; any other text is accepted as the platform does.
    bool initWithLocaleIdentifier(NSString* identifier);

    Ref<NSString> localeIdentifier();
    // Strings for the code and separator keys, an NSNumber (boolean) for NSLocaleUsesMetricSystem,
    // an NSCalendar for NSLocaleCalendar; nil for keys the locale has no value for.
    Ref<NSObject> objectForKey(NSString* key);
    // The value named in this locale's language ("fr_FR" under NSLocaleIdentifier in en_US:
    // "French (France)"); nil when the key is not one of the naming keys or value is no string.
    Ref<NSString> displayNameForKey(NSString* key, NSObject* value);

    // The preference "AppleLanguages" when it is a non-empty array, else [the current locale's
    // language code].
    static Ref<NSArray> preferredLanguages();
    static Ref<NSArray> availableLocaleIdentifiers();
    static Ref<NSArray> ISOCountryCodes();
    static Ref<NSArray> ISOLanguageCodes();
    // "en-US" -> "en_US", "EN_us" -> "en_US"; nil for nil.
    static Ref<NSString> canonicalLocaleIdentifierFromString(NSString* string);
    static Ref<NSString> canonicalLanguageIdentifierFromString(NSString* string);

    // Test hook: the identifier currentLocale() answers with; nil returns to the normal lookup.
    static void setCurrentLocaleIdentifierForTesting(NSString* identifier);

    // The ICU locale name behind this locale (what the formatters open).
    std::string icuLocaleID();

    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }

private:
    Ref<NSString> identifier_;
    bool autoupdating_ = false;
};
