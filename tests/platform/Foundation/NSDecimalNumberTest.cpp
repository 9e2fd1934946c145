#include <gtest/gtest.h>

#include "support/FoundationTesting.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "Foundation/NSDecimalNumber.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"

namespace {

Ref<NSDecimalNumber> dec(const char* s) {
    return NSDecimalNumber::decimalNumberWithString(NSString::fromUTF8(s));
}
std::string parsed(const char* s) {
    return text(dec(s));
}

TEST(NSDecimalNumber, DoubleValueRoundsLikeTheText) {
    // Small mantissas and exponents are converted by arithmetic, the rest through the text:
    // either way the double is the one the text rounds to.
    for (const char* s : {"0.1", "-0.3", "12.25", "9007199254740993", "9007199254740992e22",
                          "1e-22", "1e23", "123456789e-30", "-5e-100", "1.7976931348623157e100",
                          "0.000001", "4503599627370497.5", "-0"}) {
        SCOPED_TRACE(s);
        EXPECT_EQ(dec(s)->doubleValue(), std::strtod(s, nullptr));
        auto utf8 = NSDecimalNumber::decimalNumberWithUTF8(s);
        EXPECT_TRUE(utf8->isEqual(dec(s)));
        EXPECT_EQ(utf8->doubleValue(), dec(s)->doubleValue());
    }
    EXPECT_TRUE(NSDecimalNumber::decimalNumberWithUTF8("x")->isNaN());
    EXPECT_TRUE(NSDecimalNumber::decimalNumberWithUTF8("")->isNaN());
    EXPECT_TRUE(std::isnan(NSDecimalNumber::decimalNumberWithUTF8("-")->doubleValue()));
}

// Short plain numbers take a quicker road from UTF-8: every value, print and hash must match the
// general reading of the same text, at the edges of that road and on either side of them.
TEST(NSDecimalNumber, UTF8ReadingMatchesTheGeneralReading) {
    std::vector<std::string> texts = {"0",
                                      "-0",
                                      "-0.0",
                                      "0.000",
                                      "7",
                                      "-7",
                                      "10",
                                      "1200",
                                      "0.10",
                                      "000123.4500",
                                      "-12.25",
                                      "1.",
                                      "-",
                                      "-.5",
                                      ".5",
                                      "1.5.2",
                                      "12a",
                                      " 12",
                                      "+12",
                                      "1e2",
                                      "999999999999999999",
                                      "-999999999999999999",
                                      "9999999999999999999",
                                      "18446744073709551616",
                                      "0.000000000000000001",
                                      "1.00000000000000000",
                                      "123456789.123456789"};
    // A fixed spread of lengths and point positions.
    unsigned seed = 12345;
    for (int i = 0; i < 400; ++i) {
        seed = seed * 1103515245u + 12345u;
        int length = 1 + static_cast<int>(seed >> 16) % 21;
        std::string digits;
        for (int d = 0; d < length; ++d) {
            seed = seed * 1103515245u + 12345u;
            digits += static_cast<char>('0' + (seed >> 16) % 10);
        }
        seed = seed * 1103515245u + 12345u;
        size_t point = (seed >> 16) % (digits.size() + 1);
        if (point > 0 && point < digits.size()) digits.insert(point, ".");
        texts.push_back((seed >> 8) % 2 ? "-" + digits : digits);
    }
    for (const auto& s : texts) {
        SCOPED_TRACE(s);
        auto quick = NSDecimalNumber::decimalNumberWithUTF8(s);
        auto general = dec(s.c_str());
        EXPECT_EQ(text(quick), text(general));
        EXPECT_EQ(quick->isNaN(), general->isNaN());
        if (general->isNaN()) continue;
        EXPECT_TRUE(quick->isEqual(general));
        EXPECT_EQ(quick->hash(), general->hash());
        EXPECT_EQ(quick->doubleValue(), general->doubleValue());
        EXPECT_EQ(quick->compare(general), NSOrderedSame);
    }
}

TEST(NSDecimalNumber, ParsesAndPrintsPlainDecimals) {
    EXPECT_EQ(parsed("1.50"), "1.5");
    EXPECT_EQ(parsed("-0.25"), "-0.25");
    EXPECT_EQ(parsed("100"), "100");
    EXPECT_EQ(parsed("1e2"), "100");
    EXPECT_EQ(parsed("  +12.5e-1"), "1.25");
    EXPECT_EQ(parsed("2.5E-5"), "0.000025");
    EXPECT_EQ(parsed(".5"), "0.5");
    EXPECT_EQ(parsed("007"), "7");
    EXPECT_EQ(parsed("12abc"), "12");  // the leading number counts
    EXPECT_EQ(parsed("3e"), "3");      // an exponent needs digits
    EXPECT_EQ(parsed("-0.000"), "0");
    EXPECT_EQ(parsed("abc"), "NaN");
    EXPECT_EQ(parsed(""), "NaN");
    EXPECT_EQ(parsed("-"), "NaN");
    EXPECT_EQ(parsed("1e300"), "NaN");  // beyond the exponent range
    // 39 digits round to 38, the dropped 9 carrying into the last kept digit.
    EXPECT_EQ(parsed("123456789012345678901234567890123456789"),
              "123456789012345678901234567890123456790");
    EXPECT_EQ(parsed("0.99999999999999999999999999999999999999999"), "1");
}

TEST(NSDecimalNumber, FactoriesAndNumberReads) {
    auto n = NSDecimalNumber::decimalNumberWithMantissa(12345, -2, true);
    EXPECT_EQ(text(n), "-123.45");
    EXPECT_STREQ(n->objCType(), "d");
    EXPECT_DOUBLE_EQ(n->doubleValue(), -123.45);
    EXPECT_EQ(n->intValue(), -123);
    EXPECT_EQ(n->stringValue()->utf8(), "-123.45");
    EXPECT_EQ(text(NSDecimalNumber::decimalNumberWithMantissa(5, 3, false)), "5000");
    EXPECT_EQ(text(NSDecimalNumber::zero()), "0");
    EXPECT_EQ(text(NSDecimalNumber::one()), "1");
    EXPECT_TRUE(NSDecimalNumber::notANumber()->isNaN());
    EXPECT_TRUE(std::isnan(NSDecimalNumber::notANumber()->doubleValue()));
    EXPECT_EQ(NSDecimalNumber::one().get(), NSDecimalNumber::one().get());
}

TEST(NSDecimalNumber, ArithmeticIsDecimal) {
    EXPECT_EQ(text(dec("0.1")->decimalNumberByAdding(dec("0.2"))), "0.3");
    EXPECT_EQ(text(dec("1")->decimalNumberBySubtracting(dec("0.001"))), "0.999");
    EXPECT_EQ(text(dec("0.5")->decimalNumberBySubtracting(dec("2"))), "-1.5");
    EXPECT_EQ(text(dec("1.5")->decimalNumberByMultiplyingBy(dec("-1.5"))), "-2.25");
    EXPECT_EQ(text(dec("19.99")->decimalNumberByMultiplyingBy(dec("3"))), "59.97");
    EXPECT_EQ(text(dec("1")->decimalNumberByDividingBy(dec("3"))), "0." + std::string(38, '3'));
    EXPECT_EQ(text(dec("2")->decimalNumberByDividingBy(dec("3"))),
              "0." + std::string(37, '6') + "7");
    EXPECT_EQ(text(dec("10")->decimalNumberByDividingBy(dec("4"))), "2.5");
    EXPECT_EQ(text(dec("-7")->decimalNumberByDividingBy(dec("0.5"))), "-14");
    // Far apart magnitudes: the small one vanishes in rounding instead of being padded.
    EXPECT_EQ(text(dec("1e30")->decimalNumberByAdding(dec("1e-30"))),
              "1000000000000000000000000000000");
    EXPECT_EQ(text(dec("1")->decimalNumberBySubtracting(dec("1"))), "0");
    EXPECT_TRUE(dec("x")->decimalNumberByAdding(dec("1"))->isNaN());
}

TEST(NSDecimalNumber, RaisesOnDivisionByZeroAndOverflow) {
    try {
        dec("1")->decimalNumberByDividingBy(NSDecimalNumber::zero());
        FAIL() << "no exception";
    } catch (ExceptionRaised& e) {
        EXPECT_TRUE(e.exception->name()->isEqualToString(NSDecimalNumberDivideByZeroException));
    }
    try {
        dec("1e127")->decimalNumberByMultiplyingBy(dec("1e127"));
        FAIL() << "no exception";
    } catch (ExceptionRaised& e) {
        EXPECT_TRUE(e.exception->name()->isEqualToString(NSDecimalNumberOverflowException));
    }
}

TEST(NSDecimalNumber, ComparesExactlyAndWithOtherNumbers) {
    EXPECT_EQ(dec("2")->compare(dec("10")), NSOrderedAscending);
    EXPECT_EQ(dec("-2")->compare(dec("-10")), NSOrderedDescending);
    EXPECT_EQ(dec("1.50")->compare(dec("1.5")), NSOrderedSame);
    // Two decimals a double could not tell apart.
    EXPECT_EQ(dec("0.10000000000000000000000000001")->compare(dec("0.1")), NSOrderedDescending);
    EXPECT_EQ(dec("x")->compare(dec("-1e100")), NSOrderedAscending);

    auto two = dec("2");
    auto intTwo = NSNumber::numberWithInt(2);
    EXPECT_TRUE(two->isEqual(intTwo));
    EXPECT_TRUE(intTwo->isEqual(two));
    EXPECT_EQ(two->hash(), intTwo->hash());
    EXPECT_EQ(intTwo->compare(dec("2.5")), NSOrderedAscending);
    // A double counts as the decimal it prints as.
    EXPECT_TRUE(dec("0.1")->isEqual(NSNumber::numberWithDouble(0.1)));
    EXPECT_EQ(dec("0.1")->hash(), NSNumber::numberWithDouble(0.1)->hash());
    EXPECT_EQ(dec("1e20")->compare(NSNumber::numberWithDouble(INFINITY)), NSOrderedAscending);
    EXPECT_EQ(dec("12345678901234567890")
                  ->compare(NSNumber::numberWithUnsignedLongLong(12345678901234567891ULL)),
              NSOrderedAscending);
}

}  // namespace
