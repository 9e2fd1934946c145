// Number formatting and parsing in a locale's conventions (decimal, currency, percent,
// scientific, spelled out), on ICU. Settings made after the style adjust it; changing the style
// or the locale starts again from the style's defaults, keeping the symbols and the currency
// set. Like the platform's, a formatter may be used from one thread at a time.
#pragma once

#include <optional>

#include "Foundation/NSFormatter.h"

class NSLocale;
class NSNumber;

using NSNumberFormatterStyle = NSUInteger;
enum : NSNumberFormatterStyle {
    NSNumberFormatterNoStyle = 0,
    NSNumberFormatterDecimalStyle = 1,
    NSNumberFormatterCurrencyStyle = 2,
    NSNumberFormatterPercentStyle = 3,
    NSNumberFormatterScientificStyle = 4,
    NSNumberFormatterSpellOutStyle = 5,
};

using NSNumberFormatterRoundingMode = NSUInteger;
enum : NSNumberFormatterRoundingMode {
    NSNumberFormatterRoundCeiling = 0,
    NSNumberFormatterRoundFloor = 1,
    NSNumberFormatterRoundDown = 2,
    NSNumberFormatterRoundUp = 3,
    NSNumberFormatterRoundHalfEven = 4,
    NSNumberFormatterRoundHalfDown = 5,
    NSNumberFormatterRoundHalfUp = 6,
};

using NSNumberFormatterBehavior = NSUInteger;
enum : NSNumberFormatterBehavior {
    NSNumberFormatterBehaviorDefault = 0,
    NSNumberFormatterBehavior10_0 = 1000,
    NSNumberFormatterBehavior10_4 = 1040,
};

class NSNumberFormatter : public NSFormatter {
    NS_OBJECT(NSNumberFormatter, NSFormatter)
    bool init() override;  // NoStyle, the current locale
    void dealloc() override;

    NSNumberFormatterStyle numberStyle() { return style_; }
    void setNumberStyle(NSNumberFormatterStyle style);
    Ref<NSLocale> locale();
    void setLocale(NSLocale* locale);  // nil sets the current locale
    NSNumberFormatterBehavior formatterBehavior() { return behavior_; }
    void setFormatterBehavior(NSNumberFormatterBehavior behavior) { behavior_ = behavior; }

    NSUInteger minimumFractionDigits();
    void setMinimumFractionDigits(NSUInteger n);
    NSUInteger maximumFractionDigits();
    void setMaximumFractionDigits(NSUInteger n);
    NSUInteger minimumIntegerDigits();
    void setMinimumIntegerDigits(NSUInteger n);
    NSUInteger maximumIntegerDigits();
    void setMaximumIntegerDigits(NSUInteger n);
    bool usesGroupingSeparator();
    void setUsesGroupingSeparator(bool uses);
    NSUInteger groupingSize();
    void setGroupingSize(NSUInteger size);
    Ref<NSString> groupingSeparator();
    void setGroupingSeparator(NSString* s);
    Ref<NSString> decimalSeparator();
    void setDecimalSeparator(NSString* s);
    Ref<NSString> currencyCode();
    void setCurrencyCode(NSString* code);
    Ref<NSString> currencySymbol();
    void setCurrencySymbol(NSString* s);
    Ref<NSString> internationalCurrencySymbol();
    Ref<NSString> percentSymbol();
    Ref<NSString> minusSign();
    // The pattern for positive and for negative numbers ("#,##0.###", "-#,##0.###").
    Ref<NSString> positiveFormat();
    void setPositiveFormat(NSString* format);
    Ref<NSString> negativeFormat();
    void setNegativeFormat(NSString* format);
    NSNumberFormatterRoundingMode roundingMode();
    void setRoundingMode(NSNumberFormatterRoundingMode mode);
    // The factor applied before formatting (100 in the percent style).
    Ref<NSNumber> multiplier();
    void setMultiplier(NSNumber* m);
    bool isLenient() { return lenient_; }
    void setLenient(bool lenient);
    // Parsed numbers as NSDecimalNumber.
    bool generatesDecimalNumbers() { return decimals_; }
    void setGeneratesDecimalNumbers(bool b) { decimals_ = b; }
    // When false, text with a fraction does not parse.
    bool allowsFloats() { return allowsFloats_; }
    void setAllowsFloats(bool b) { allowsFloats_ = b; }

    // nil for nil.
    Ref<NSString> stringFromNumber(NSNumber* number);
    // The number the whole text reads as, or nil. Whole values come back as integer numbers
    // (int, or long long beyond its range), others as doubles.
    Ref<NSNumber> numberFromString(NSString* string);
    Ref<NSString> stringForObjectValue(NSObject* obj) override;
    bool getObjectValue(Ref<NSObject>* obj, NSString* string, Ref<NSString>* error) override;

    static Ref<NSString> localizedStringFromNumber(NSNumber* number, NSNumberFormatterStyle style);

    Ref<NSObject> copyWithZone() override;

private:
    void* formatter();  // UNumberFormat*
    void invalidate();
    void resetStyleSettings();
    Ref<NSString> symbol(int which);
    void splitPattern(Ref<NSString>& positive, Ref<NSString>& negative);

    void* fmt_ = nullptr;  // UNumberFormat*
    NSNumberFormatterStyle style_ = NSNumberFormatterNoStyle;
    NSNumberFormatterBehavior behavior_ = NSNumberFormatterBehaviorDefault;
    Ref<NSLocale> locale_;
    // Settings made after the style; applied over the style's defaults when rebuilding.
    Ref<NSString> positiveFormat_;
    Ref<NSString> negativeFormat_;
    std::optional<NSUInteger> minFraction_, maxFraction_, minInteger_, maxInteger_, groupingSize_;
    std::optional<bool> grouping_;
    std::optional<NSNumberFormatterRoundingMode> rounding_;
    std::optional<double> multiplier_;
    Ref<NSString> groupingSeparator_;
    Ref<NSString> decimalSeparator_;
    Ref<NSString> currencyCode_;
    Ref<NSString> currencySymbol_;
    bool lenient_ = false;
    bool decimals_ = false;
    bool allowsFloats_ = true;
};
