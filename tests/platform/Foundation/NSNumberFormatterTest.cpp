#include "Foundation/NSNumberFormatter.h"

#include <gtest/gtest.h>

#include <cstring>

#include "Foundation/NSDecimalNumber.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSNumber.h"
#include "support/FoundationTesting.h"

namespace {

class NSNumberFormatterTest : public testing::Test {
protected:
    void SetUp() override { NSLocale::setCurrentLocaleIdentifierForTesting(NS("en_US")); }
    void TearDown() override { NSLocale::setCurrentLocaleIdentifierForTesting(nullptr); }
    Ref<NSNumberFormatter> formatter(NSNumberFormatterStyle style) {
        auto f = make<NSNumberFormatter>();
        f->setNumberStyle(style);
        return f;
    }
    std::string format(NSNumberFormatter* f, double v) {
        return text(f->stringFromNumber(NSNumber::numberWithDouble(v)));
    }
};

TEST_F(NSNumberFormatterTest, StylesInEnglish) {
    auto plain = formatter(NSNumberFormatterNoStyle);
    EXPECT_EQ(format(plain, 1234.5), "1234");  // rounds half to even
    EXPECT_EQ(format(plain, 1235.5), "1236");
    auto decimal = formatter(NSNumberFormatterDecimalStyle);
    EXPECT_EQ(format(decimal, 1234.5), "1,234.5");
    EXPECT_EQ(format(decimal, -0.12345), "-0.123");
    EXPECT_EQ(text(decimal->stringFromNumber(NSNumber::numberWithLongLong(9007199254740993LL))),
              "9,007,199,254,740,993");
    EXPECT_EQ(text(decimal->stringFromNumber(
                  NSDecimalNumber::decimalNumberWithString(NS("12345678901234567890.5")))),
              "12,345,678,901,234,567,890.5");
    auto percent = formatter(NSNumberFormatterPercentStyle);
    EXPECT_EQ(format(percent, 0.256), "26%");
    auto currency = formatter(NSNumberFormatterCurrencyStyle);
    EXPECT_EQ(format(currency, 1234.5), "$1,234.50");
    EXPECT_EQ(format(currency, -3), "-$3.00");
    EXPECT_EQ(text(currency->currencyCode()), "USD");
    EXPECT_EQ(text(currency->currencySymbol()), "$");
    currency->setCurrencyCode(NS("EUR"));
    EXPECT_EQ(format(currency, 5), "\u20AC5.00");
    currency->setCurrencyCode(NS("JPY"));
    EXPECT_EQ(format(currency, 5), "\u00A55");  // the yen has no fraction digits
    auto scientific = formatter(NSNumberFormatterScientificStyle);
    EXPECT_EQ(format(scientific, 12345), "1.2345E4");
    auto spelled = formatter(NSNumberFormatterSpellOutStyle);
    EXPECT_EQ(format(spelled, 42), "forty-two");
    EXPECT_FALSE(decimal->stringFromNumber(nullptr));
    EXPECT_EQ(text(NSNumberFormatter::localizedStringFromNumber(NSNumber::numberWithInt(1234567),
                                                                NSNumberFormatterDecimalStyle)),
              "1,234,567");
}

TEST_F(NSNumberFormatterTest, SettingsAdjustTheStyle) {
    auto f = formatter(NSNumberFormatterDecimalStyle);
    EXPECT_EQ(f->maximumFractionDigits(), 3u);
    EXPECT_TRUE(f->usesGroupingSeparator());
    EXPECT_EQ(text(f->positiveFormat()), "#,##0.###");
    EXPECT_EQ(text(f->negativeFormat()), "-#,##0.###");
    f->setMinimumFractionDigits(2);
    f->setMaximumFractionDigits(2);
    EXPECT_EQ(format(f, 3), "3.00");
    EXPECT_EQ(format(f, 2.345), "2.34");  // half-even on the binary value
    f->setRoundingMode(NSNumberFormatterRoundUp);
    EXPECT_EQ(format(f, 2.341), "2.35");
    EXPECT_EQ(f->roundingMode(), NSNumberFormatterRoundUp);
    f->setUsesGroupingSeparator(false);
    EXPECT_EQ(format(f, 1234), "1234.00");
    f->setUsesGroupingSeparator(true);
    f->setGroupingSeparator(NS(" "));
    f->setDecimalSeparator(NS(","));
    EXPECT_EQ(format(f, 1234), "1 234,00");
    f->setMinimumIntegerDigits(3);
    EXPECT_EQ(format(f, 5), "005,00");

    // A pattern brings its own digits; the locale change keeps it.
    auto p = formatter(NSNumberFormatterDecimalStyle);
    p->setPositiveFormat(NS("0.0"));
    EXPECT_EQ(format(p, 2.25), "2.2");
    p->setNegativeFormat(NS("(0.0)"));
    EXPECT_EQ(format(p, -2.25), "(2.2)");
    p->setLocale(NSLocale::localeWithLocaleIdentifier(NS("de_DE")));
    EXPECT_EQ(format(p, -2.25), "(2,2)");

    // Changing the style starts again from its defaults.
    f->setNumberStyle(NSNumberFormatterPercentStyle);
    EXPECT_EQ(format(f, 0.5), "50%");

    auto de = formatter(NSNumberFormatterDecimalStyle);
    de->setLocale(NSLocale::localeWithLocaleIdentifier(NS("de_DE")));
    EXPECT_EQ(format(de, 1234.5), "1.234,5");
    EXPECT_EQ(text(de->decimalSeparator()), ",");
    EXPECT_EQ(text(de->groupingSeparator()), ".");
}

TEST_F(NSNumberFormatterTest, ParsingWholeTextsOnly) {
    auto f = formatter(NSNumberFormatterDecimalStyle);
    auto n = f->numberFromString(NS("1,234"));
    ASSERT_TRUE(n);
    EXPECT_STREQ(n->objCType(), "i");
    EXPECT_EQ(n->intValue(), 1234);
    n = f->numberFromString(NS("-12.75"));
    ASSERT_TRUE(n);
    EXPECT_STREQ(n->objCType(), "d");
    EXPECT_EQ(n->doubleValue(), -12.75);
    n = f->numberFromString(NS("5000000000"));
    ASSERT_TRUE(n);
    EXPECT_STREQ(n->objCType(), "q");
    EXPECT_EQ(n->longLongValue(), 5000000000LL);
    for (const char* bad : {"", "abc", "12abc", "1.2.3", "$12"})
        EXPECT_FALSE(f->numberFromString(str(bad))) << bad;
    EXPECT_FALSE(f->numberFromString(nullptr));

    auto percent = formatter(NSNumberFormatterPercentStyle);
    EXPECT_EQ(percent->numberFromString(NS("50%"))->doubleValue(), 0.5);
    EXPECT_FALSE(percent->numberFromString(NS("50")));
    auto currency = formatter(NSNumberFormatterCurrencyStyle);
    EXPECT_EQ(currency->numberFromString(NS("$1,234.50"))->doubleValue(), 1234.5);

    f->setAllowsFloats(false);
    EXPECT_FALSE(f->numberFromString(NS("1.5")));
    EXPECT_TRUE(f->numberFromString(NS("15")));
    f->setAllowsFloats(true);
    f->setGeneratesDecimalNumbers(true);
    auto dec = as<NSDecimalNumber>(f->numberFromString(NS("0.1")));
    ASSERT_TRUE(dec);
    EXPECT_EQ(text(dec), "0.1");
}

}  // namespace
