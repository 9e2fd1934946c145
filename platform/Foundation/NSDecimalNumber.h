// Base-10 numbers: up to 38 significant decimal digits with a decimal exponent, so that prices
// and other decimal amounts keep their exact value through parsing, arithmetic and printing.
#pragma once

#include <string_view>

#include "Foundation/NSNumber.h"

extern NSString* const NSDecimalNumberExactnessException;
extern NSString* const NSDecimalNumberOverflowException;
extern NSString* const NSDecimalNumberUnderflowException;
extern NSString* const NSDecimalNumberDivideByZeroException;

class NSDecimalNumber : public NSNumber {
    NS_OBJECT(NSDecimalNumber, NSNumber)
    NSDecimalNumber();  // reads as a double ("d")
    // Reads "[-+]digits[.digits][e[-+]digits]" after leading whitespace; notANumber when the
    // text does not start with a number.
    static Ref<NSDecimalNumber> decimalNumberWithString(NSString* s);
    // The same over ASCII text, without making a string first.
    static Ref<NSDecimalNumber> decimalNumberWithUTF8(std::string_view text);
    // mantissa × 10^exponent, negated when isNegative.
    static Ref<NSDecimalNumber> decimalNumberWithMantissa(unsigned long long mantissa,
                                                          short exponent, bool isNegative);
    static Ref<NSDecimalNumber> zero();
    static Ref<NSDecimalNumber> one();
    static Ref<NSDecimalNumber> notANumber();

    bool initWithString(NSString* s);
    bool initWithMantissa(unsigned long long mantissa, short exponent, bool isNegative);

    // Results are rounded to 38 digits (half away from zero). Any NaN operand gives NaN;
    // dividing by zero raises NSDecimalNumberDivideByZeroException and results beyond the
    // exponent range raise NSDecimalNumberOverflowException / ...UnderflowException.
    Ref<NSDecimalNumber> decimalNumberByAdding(NSDecimalNumber* other);
    Ref<NSDecimalNumber> decimalNumberBySubtracting(NSDecimalNumber* other);
    Ref<NSDecimalNumber> decimalNumberByMultiplyingBy(NSDecimalNumber* other);
    Ref<NSDecimalNumber> decimalNumberByDividingBy(NSDecimalNumber* other);

    bool isNaN() { return nan_; }
    // Plain decimal text without an exponent: "1.5", "-0.25", "100", "NaN".
    Ref<NSString> description() override;
    // Exact against another decimal number, by value against other numbers. NaN orders first.
    NSComparisonResult compare(NSNumber* other) override;
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }

private:
    // Caches the value as a double for the inherited NSNumber reads.
    void setDouble();
    template <class Ch>
    bool initWithText(std::basic_string_view<Ch> text);
    // False, untouched, for text the general reading must handle.
    bool initWithShortText(std::string_view text);

    unsigned __int128 mantissa_ = 0;
    int exponent_ = 0;
    bool negative_ = false;
    bool nan_ = false;

    friend struct DecimalMath;
};
