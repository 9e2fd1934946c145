#include "Foundation/NSLocale.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "Foundation/LocaleSupport.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSCalendar.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSUserDefaults.h"
#include "support/FoundationTesting.h"

namespace {

std::string value(NSLocale* l, NSString* key) {
    return text(l->objectForKey(key));
}

// Sets an environment variable for the scope.
class EnvScope {
public:
    EnvScope(const char* name, const char* v) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        if (v) {
            setenv(name, v, 1);
        } else {
            unsetenv(name);
        }
    }
    ~EnvScope() {
        if (had_) {
            setenv(name_, old_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

TEST(NSLocaleTest, PartsAndConventionsOfALocale) {
    auto us = NSLocale::localeWithLocaleIdentifier(NS("en_US"));
    EXPECT_EQ(text(us->localeIdentifier()), "en_US");
    EXPECT_EQ(value(us, NSLocaleIdentifier), "en_US");
    EXPECT_EQ(value(us, NSLocaleLanguageCode), "en");
    EXPECT_EQ(value(us, NSLocaleCountryCode), "US");
    EXPECT_FALSE(us->objectForKey(NSLocaleScriptCode));
    EXPECT_EQ(value(us, NSLocaleDecimalSeparator), ".");
    EXPECT_EQ(value(us, NSLocaleGroupingSeparator), ",");
    EXPECT_EQ(value(us, NSLocaleCurrencySymbol), "$");
    EXPECT_EQ(value(us, NSLocaleCurrencyCode), "USD");
    EXPECT_FALSE(as<NSNumber>(us->objectForKey(NSLocaleUsesMetricSystem))->boolValue());
    EXPECT_TRUE(is<NSCalendar>(us->objectForKey(NSLocaleCalendar)));
    EXPECT_FALSE(us->objectForKey(NS("no such key")));

    auto de = NSLocale::localeWithLocaleIdentifier(NS("de_DE"));
    EXPECT_EQ(value(de, NSLocaleDecimalSeparator), ",");
    EXPECT_EQ(value(de, NSLocaleGroupingSeparator), ".");
    EXPECT_EQ(value(de, NSLocaleCurrencyCode), "EUR");
    EXPECT_TRUE(as<NSNumber>(de->objectForKey(NSLocaleUsesMetricSystem))->boolValue());

    auto serbian = NSLocale::localeWithLocaleIdentifier(NS("sr_Latn_RS"));
    EXPECT_EQ(value(serbian, NSLocaleScriptCode), "Latn");
    auto posix = NSLocale::localeWithLocaleIdentifier(NS("en_US_POSIX"));
    EXPECT_EQ(value(posix, NSLocaleVariantCode), "POSIX");
    // A language alone has no currency.
    EXPECT_FALSE(
        NSLocale::localeWithLocaleIdentifier(NS("fr"))->objectForKey(NSLocaleCurrencyCode));
    EXPECT_FALSE(NSLocale::localeWithLocaleIdentifier(nullptr));
    EXPECT_TRUE(us->isEqual(NSLocale::localeWithLocaleIdentifier(NS("en_US"))));
    EXPECT_FALSE(us->isEqual(de));
}

TEST(NSLocaleTest, DisplayNamesInTheLocalesLanguage) {
    auto us = NSLocale::localeWithLocaleIdentifier(NS("en_US"));
    EXPECT_EQ(text(us->displayNameForKey(NSLocaleIdentifier, NS("fr_FR"))), "French (France)");
    EXPECT_EQ(text(us->displayNameForKey(NSLocaleLanguageCode, NS("de"))), "German");
    EXPECT_EQ(text(us->displayNameForKey(NSLocaleCountryCode, NS("JP"))), "Japan");
    EXPECT_EQ(text(us->displayNameForKey(NSLocaleCurrencyCode, NS("EUR"))), "Euro");
    EXPECT_EQ(text(us->displayNameForKey(NSLocaleCurrencySymbol, NS("USD"))), "$");
    auto fr = NSLocale::localeWithLocaleIdentifier(NS("fr_FR"));
    EXPECT_EQ(text(fr->displayNameForKey(NSLocaleLanguageCode, NS("de"))), "allemand");
    EXPECT_FALSE(us->displayNameForKey(NSLocaleDecimalSeparator, NS(".")));
    EXPECT_FALSE(us->displayNameForKey(NSLocaleLanguageCode, NSArray::array()));
}

TEST(NSLocaleTest, CurrentLocaleFromOverridePreferenceOrEnvironment) {
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->removeObjectForKey(NS("AppleLocale"));
    {
        EnvScope all("LC_ALL", nullptr);
        EnvScope lang("LANG", "fr_CA.UTF-8");
        EXPECT_EQ(text(NSLocale::currentLocale()->localeIdentifier()), "fr_CA");
        EnvScope all2("LC_ALL", "pt_BR@euro");
        EXPECT_EQ(text(NSLocale::currentLocale()->localeIdentifier()), "pt_BR");
        EnvScope all3("LC_ALL", "C");
        EXPECT_EQ(text(NSLocale::currentLocale()->localeIdentifier()), "en_US");
        EnvScope all4("LC_ALL", nullptr);
        EnvScope lang2("LANG", nullptr);
        EXPECT_EQ(text(NSLocale::currentLocale()->localeIdentifier()), "en_US");

        defaults->setObject(NS("it_IT"), NS("AppleLocale"));
        EXPECT_EQ(text(NSLocale::currentLocale()->localeIdentifier()), "it_IT");
        // The autoupdating locale answers as the current one at each question.
        auto live = NSLocale::autoupdatingCurrentLocale();
        EXPECT_EQ(value(live, NSLocaleLanguageCode), "it");
        NSLocale::setCurrentLocaleIdentifierForTesting(NS("ja_JP"));
        EXPECT_EQ(text(NSLocale::currentLocale()->localeIdentifier()), "ja_JP");
        EXPECT_EQ(value(live, NSLocaleLanguageCode), "ja");
        NSLocale::setCurrentLocaleIdentifierForTesting(nullptr);
        defaults->removeObjectForKey(NS("AppleLocale"));
    }
    EXPECT_EQ(text(NSLocale::systemLocale()->localeIdentifier()), "");
}

TEST(NSLocaleTest, PreferredLanguagesAndLists) {
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->removeObjectForKey(NS("AppleLanguages"));
    NSLocale::setCurrentLocaleIdentifierForTesting(NS("nl_NL"));
    // The registered languages come from the process's locale, not the test locale.
    std::string process = locale_detail::identifierFromEnvironment();
    EXPECT_EQ(text(NSLocale::preferredLanguages()->objectAtIndex(0)),
              process.substr(0, process.find('_')));
    EXPECT_EQ(NSLocale::preferredLanguages()->count(), 1u);
    defaults->setObject(NSArray::arrayWithObjects({NS("de"), NS("en")}), NS("AppleLanguages"));
    EXPECT_EQ(text(NSLocale::preferredLanguages()->objectAtIndex(0)), "de");
    defaults->setObject(NSArray::array(), NS("AppleLanguages"));
    EXPECT_EQ(text(NSLocale::preferredLanguages()->objectAtIndex(0)), "nl");
    defaults->removeObjectForKey(NS("AppleLanguages"));
    NSLocale::setCurrentLocaleIdentifierForTesting(nullptr);

    EXPECT_TRUE(NSLocale::availableLocaleIdentifiers()->containsObject(NS("en_US")));
    EXPECT_TRUE(NSLocale::ISOCountryCodes()->containsObject(NS("DE")));
    EXPECT_TRUE(NSLocale::ISOLanguageCodes()->containsObject(NS("fr")));
    EXPECT_EQ(text(NSLocale::canonicalLocaleIdentifierFromString(NS("en-US"))), "en_US");
    EXPECT_EQ(text(NSLocale::canonicalLocaleIdentifierFromString(NS("EN_us"))), "en_US");
    EXPECT_EQ(text(NSLocale::canonicalLocaleIdentifierFromString(NS("zh-Hans-CN"))), "zh_Hans_CN");
    EXPECT_FALSE(NSLocale::canonicalLocaleIdentifierFromString(nullptr));
    EXPECT_EQ(text(NSLocaleIdentifier), "kCFLocaleIdentifierKey");
    EXPECT_EQ(text(NSLocaleCurrencyCode), "currency");
}

}  // namespace
