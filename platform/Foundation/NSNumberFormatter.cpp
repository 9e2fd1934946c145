#include "Foundation/NSNumberFormatter.h"

#include <unicode/unum.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "Foundation/LocaleSupport.h"
#include "Foundation/NSDecimalNumber.h"
#include "Foundation/NSLocale.h"

using namespace locale_detail;

namespace {

UNumberFormatStyle icuStyle(NSNumberFormatterStyle s) {
    switch (s) {
        case NSNumberFormatterCurrencyStyle:
            return UNUM_CURRENCY;
        case NSNumberFormatterPercentStyle:
            return UNUM_PERCENT;
        case NSNumberFormatterScientificStyle:
            return UNUM_SCIENTIFIC;
        case NSNumberFormatterSpellOutStyle:
            return UNUM_SPELLOUT;
        default:
            return UNUM_DECIMAL;
    }
}

void setSymbol(UNumberFormat* f, UNumberFormatSymbol which, NSString* value) {
    if (!value) return;
    std::u16string v = value->u16();
    UErrorCode st = U_ZERO_ERROR;
    unum_setSymbol(f, which, v.data(), static_cast<int32_t>(v.size()), &st);
}

// Splits a pattern at its unquoted ';' into the positive and negative parts.
void splitAtSemicolon(const std::u16string& p, std::u16string& pos, std::u16string& neg) {
    bool quoted = false;
    for (size_t i = 0; i < p.size(); ++i) {
        if (p[i] == u'\'') quoted = !quoted;
        if (p[i] == u';' && !quoted) {
            pos = p.substr(0, i);
            neg = p.substr(i + 1);
            return;
        }
    }
    pos = p;
    neg.clear();
}

}  // namespace

bool NSNumberFormatter::init() {
    locale_ = NSLocale::currentLocale();
    return true;
}

void NSNumberFormatter::dealloc() {
    invalidate();
    NSFormatter::dealloc();
}

void NSNumberFormatter::invalidate() {
    if (fmt_) unum_close(static_cast<UNumberFormat*>(fmt_));
    fmt_ = nullptr;
}

void NSNumberFormatter::resetStyleSettings() {
    positiveFormat_ = nullptr;
    negativeFormat_ = nullptr;
    minFraction_.reset();
    maxFraction_.reset();
    minInteger_.reset();
    maxInteger_.reset();
    groupingSize_.reset();
    grouping_.reset();
    multiplier_.reset();
}

void* NSNumberFormatter::formatter() {
    if (fmt_) return fmt_;
    if (!locale_) locale_ = NSLocale::currentLocale();
    const std::string loc = locale_->icuLocaleID();
    UErrorCode st = U_ZERO_ERROR;
    UNumberFormat* f = unum_open(icuStyle(style_), nullptr, 0, loc.c_str(), nullptr, &st);
    if (U_FAILURE(st)) {
        if (f) unum_close(f);
        return nullptr;
    }
    fmt_ = f;
    if (style_ == NSNumberFormatterNoStyle) {
        // Plain integers: "1234".
        unum_setAttribute(f, UNUM_MAX_FRACTION_DIGITS, 0);
        unum_setAttribute(f, UNUM_GROUPING_USED, 0);
    }
    // The currency decides the fraction digits, so it goes before the explicit settings.
    if (currencyCode_) {
        std::u16string code = currencyCode_->u16();
        unum_setTextAttribute(f, UNUM_CURRENCY_CODE, code.data(), static_cast<int32_t>(code.size()),
                              &st);
        st = U_ZERO_ERROR;
    }
    if (style_ != NSNumberFormatterSpellOutStyle && (positiveFormat_ || negativeFormat_)) {
        Ref<NSString> pos, neg;
        splitPattern(pos, neg);
        if (positiveFormat_) pos = positiveFormat_;
        std::u16string pattern = pos->u16();
        if (negativeFormat_) pattern += u";" + negativeFormat_->u16();
        unum_applyPattern(f, false, pattern.data(), static_cast<int32_t>(pattern.size()), nullptr,
                          &st);
        st = U_ZERO_ERROR;
    }
    if (minInteger_) unum_setAttribute(f, UNUM_MIN_INTEGER_DIGITS, *minInteger_);
    if (maxInteger_) unum_setAttribute(f, UNUM_MAX_INTEGER_DIGITS, *maxInteger_);
    if (minFraction_) unum_setAttribute(f, UNUM_MIN_FRACTION_DIGITS, *minFraction_);
    if (maxFraction_) unum_setAttribute(f, UNUM_MAX_FRACTION_DIGITS, *maxFraction_);
    if (grouping_) unum_setAttribute(f, UNUM_GROUPING_USED, *grouping_);
    if (groupingSize_) unum_setAttribute(f, UNUM_GROUPING_SIZE, *groupingSize_);
    if (multiplier_) unum_setAttribute(f, UNUM_MULTIPLIER, static_cast<int32_t>(*multiplier_));
    // The platform's rounding modes have ICU's numbering.
    if (rounding_) unum_setAttribute(f, UNUM_ROUNDING_MODE, static_cast<int32_t>(*rounding_));
    unum_setAttribute(f, UNUM_LENIENT_PARSE, lenient_);
    setSymbol(f, UNUM_GROUPING_SEPARATOR_SYMBOL, groupingSeparator_);
    setSymbol(f, UNUM_MONETARY_GROUPING_SEPARATOR_SYMBOL, groupingSeparator_);
    setSymbol(f, UNUM_DECIMAL_SEPARATOR_SYMBOL, decimalSeparator_);
    setSymbol(f, UNUM_MONETARY_SEPARATOR_SYMBOL, decimalSeparator_);
    setSymbol(f, UNUM_CURRENCY_SYMBOL, currencySymbol_);
    return fmt_;
}

// ---- settings ----------------------------------------------------------------------------

void NSNumberFormatter::setNumberStyle(NSNumberFormatterStyle style) {
    style_ = style;
    resetStyleSettings();
    invalidate();
}

Ref<NSLocale> NSNumberFormatter::locale() {
    return locale_;
}

void NSNumberFormatter::setLocale(NSLocale* locale) {
    locale_ = locale ? Ref<NSLocale>(locale) : NSLocale::currentLocale();
    invalidate();
}

namespace {
NSUInteger attribute(void* f, UNumberFormatAttribute a) {
    return f ? static_cast<NSUInteger>(unum_getAttribute(static_cast<UNumberFormat*>(f), a)) : 0;
}
}  // namespace

NSUInteger NSNumberFormatter::minimumFractionDigits() {
    return attribute(formatter(), UNUM_MIN_FRACTION_DIGITS);
}

void NSNumberFormatter::setMinimumFractionDigits(NSUInteger n) {
    minFraction_ = n;
    if (maxFraction_ && *maxFraction_ < n) maxFraction_ = n;
    invalidate();
}

NSUInteger NSNumberFormatter::maximumFractionDigits() {
    return attribute(formatter(), UNUM_MAX_FRACTION_DIGITS);
}

void NSNumberFormatter::setMaximumFractionDigits(NSUInteger n) {
    maxFraction_ = n;
    if (minFraction_ && *minFraction_ > n) minFraction_ = n;
    invalidate();
}

NSUInteger NSNumberFormatter::minimumIntegerDigits() {
    return attribute(formatter(), UNUM_MIN_INTEGER_DIGITS);
}

void NSNumberFormatter::setMinimumIntegerDigits(NSUInteger n) {
    minInteger_ = n;
    invalidate();
}

NSUInteger NSNumberFormatter::maximumIntegerDigits() {
    return attribute(formatter(), UNUM_MAX_INTEGER_DIGITS);
}

void NSNumberFormatter::setMaximumIntegerDigits(NSUInteger n) {
    maxInteger_ = n;
    invalidate();
}

bool NSNumberFormatter::usesGroupingSeparator() {
    return attribute(formatter(), UNUM_GROUPING_USED) != 0;
}

void NSNumberFormatter::setUsesGroupingSeparator(bool uses) {
    grouping_ = uses;
    invalidate();
}

NSUInteger NSNumberFormatter::groupingSize() {
    return attribute(formatter(), UNUM_GROUPING_SIZE);
}

void NSNumberFormatter::setGroupingSize(NSUInteger size) {
    groupingSize_ = size;
    invalidate();
}

Ref<NSString> NSNumberFormatter::symbol(int which) {
    auto* f = static_cast<UNumberFormat*>(formatter());
    if (!f) return nullptr;
    return NSString::fromUTF16(icuText([&](UChar* b, int32_t n, UErrorCode* e) {
        return unum_getSymbol(f, static_cast<UNumberFormatSymbol>(which), b, n, e);
    }));
}

Ref<NSString> NSNumberFormatter::groupingSeparator() {
    return symbol(style_ == NSNumberFormatterCurrencyStyle ? UNUM_MONETARY_GROUPING_SEPARATOR_SYMBOL
                                                           : UNUM_GROUPING_SEPARATOR_SYMBOL);
}

void NSNumberFormatter::setGroupingSeparator(NSString* s) {
    groupingSeparator_ = s ? s->copy() : nullptr;
    invalidate();
}

Ref<NSString> NSNumberFormatter::decimalSeparator() {
    return symbol(style_ == NSNumberFormatterCurrencyStyle ? UNUM_MONETARY_SEPARATOR_SYMBOL
                                                           : UNUM_DECIMAL_SEPARATOR_SYMBOL);
}

void NSNumberFormatter::setDecimalSeparator(NSString* s) {
    decimalSeparator_ = s ? s->copy() : nullptr;
    invalidate();
}

Ref<NSString> NSNumberFormatter::currencyCode() {
    auto* f = static_cast<UNumberFormat*>(formatter());
    if (!f) return currencyCode_;
    return stringOrNil(icuText([&](UChar* b, int32_t n, UErrorCode* e) {
        return unum_getTextAttribute(f, UNUM_CURRENCY_CODE, b, n, e);
    }));
}

void NSNumberFormatter::setCurrencyCode(NSString* code) {
    currencyCode_ = code ? code->copy() : nullptr;
    invalidate();
}

Ref<NSString> NSNumberFormatter::currencySymbol() {
    return symbol(UNUM_CURRENCY_SYMBOL);
}

void NSNumberFormatter::setCurrencySymbol(NSString* s) {
    currencySymbol_ = s ? s->copy() : nullptr;
    invalidate();
}

Ref<NSString> NSNumberFormatter::internationalCurrencySymbol() {
    return symbol(UNUM_INTL_CURRENCY_SYMBOL);
}

Ref<NSString> NSNumberFormatter::percentSymbol() {
    return symbol(UNUM_PERCENT_SYMBOL);
}

Ref<NSString> NSNumberFormatter::minusSign() {
    return symbol(UNUM_MINUS_SIGN_SYMBOL);
}

void NSNumberFormatter::splitPattern(Ref<NSString>& positive, Ref<NSString>& negative) {
    auto* f = static_cast<UNumberFormat*>(formatter());
    std::u16string pattern;
    if (f) {
        pattern = icuText(
            [&](UChar* b, int32_t n, UErrorCode* e) { return unum_toPattern(f, false, b, n, e); });
    }
    std::u16string pos, neg;
    splitAtSemicolon(pattern, pos, neg);
    positive = NSString::fromUTF16(pos);
    // Without its own part, negative numbers are the positive pattern with a minus sign.
    negative = NSString::fromUTF16(neg.empty() ? u"-" + pos : neg);
}

Ref<NSString> NSNumberFormatter::positiveFormat() {
    Ref<NSString> pos, neg;
    splitPattern(pos, neg);
    return pos;
}

void NSNumberFormatter::setPositiveFormat(NSString* format) {
    // A pattern says its own digits and grouping.
    Ref<NSString> keepNegative = negativeFormat_;
    resetStyleSettings();
    positiveFormat_ = format ? format->copy() : nullptr;
    negativeFormat_ = keepNegative;
    invalidate();
}

Ref<NSString> NSNumberFormatter::negativeFormat() {
    Ref<NSString> pos, neg;
    splitPattern(pos, neg);
    return neg;
}

void NSNumberFormatter::setNegativeFormat(NSString* format) {
    Ref<NSString> keepPositive = positiveFormat_;
    if (!keepPositive) keepPositive = positiveFormat();
    resetStyleSettings();
    positiveFormat_ = keepPositive;
    negativeFormat_ = format ? format->copy() : nullptr;
    invalidate();
}

NSNumberFormatterRoundingMode NSNumberFormatter::roundingMode() {
    return attribute(formatter(), UNUM_ROUNDING_MODE);
}

void NSNumberFormatter::setRoundingMode(NSNumberFormatterRoundingMode mode) {
    rounding_ = mode;
    invalidate();
}

Ref<NSNumber> NSNumberFormatter::multiplier() {
    auto* f = static_cast<UNumberFormat*>(formatter());
    if (!f) return nullptr;
    return NSNumber::numberWithInt(unum_getAttribute(f, UNUM_MULTIPLIER));
}

void NSNumberFormatter::setMultiplier(NSNumber* m) {
    if (m) {
        multiplier_ = m->doubleValue();
    } else {
        multiplier_.reset();
    }
    invalidate();
}

void NSNumberFormatter::setLenient(bool lenient) {
    lenient_ = lenient;
    if (fmt_) unum_setAttribute(static_cast<UNumberFormat*>(fmt_), UNUM_LENIENT_PARSE, lenient);
}

// ---- formatting and parsing --------------------------------------------------------------

Ref<NSString> NSNumberFormatter::stringFromNumber(NSNumber* number) {
    if (!number) return nullptr;
    auto* f = static_cast<UNumberFormat*>(formatter());
    if (!f) return nullptr;
    // Numbers given as decimal digits keep every digit.
    auto formatDigits = [f](const std::string& digits) {
        return NSString::fromUTF16(icuText([&](UChar* b, int32_t n, UErrorCode* e) {
            return unum_formatDecimal(f, digits.c_str(), static_cast<int32_t>(digits.size()), b, n,
                                      nullptr, e);
        }));
    };
    if (auto dec = as<NSDecimalNumber>(number); dec && !dec->isNaN()) {
        return formatDigits(dec->description()->utf8());
    }
    const char* type = number->objCType();
    if (!std::strcmp(type, "f") || !std::strcmp(type, "d") || as<NSDecimalNumber>(number)) {
        const double v = number->doubleValue();
        return NSString::fromUTF16(icuText([&](UChar* b, int32_t n, UErrorCode* e) {
            return unum_formatDouble(f, v, b, n, nullptr, e);
        }));
    }
    if (!std::strcmp(type, "Q") && number->unsignedLongLongValue() > LLONG_MAX) {
        return formatDigits(std::to_string(number->unsignedLongLongValue()));
    }
    const long long v = number->longLongValue();
    return NSString::fromUTF16(icuText([&](UChar* b, int32_t n, UErrorCode* e) {
        return unum_formatInt64(f, v, b, n, nullptr, e);
    }));
}

Ref<NSNumber> NSNumberFormatter::numberFromString(NSString* string) {
    if (!string) return nullptr;
    auto* f = static_cast<UNumberFormat*>(formatter());
    const std::u16string text = string->u16();
    if (!f || text.empty()) return nullptr;
    const auto len = static_cast<int32_t>(text.size());
    UErrorCode st = U_ZERO_ERROR;
    int32_t pos = 0;
    if (decimals_) {
        std::string digits(64, '\0');
        int32_t n = unum_parseDecimal(f, text.data(), len, &pos, digits.data(),
                                      static_cast<int32_t>(digits.size()), &st);
        if (st == U_BUFFER_OVERFLOW_ERROR) {
            digits.assign(static_cast<size_t>(n) + 1, '\0');
            st = U_ZERO_ERROR;
            pos = 0;
            n = unum_parseDecimal(f, text.data(), len, &pos, digits.data(),
                                  static_cast<int32_t>(digits.size()), &st);
        }
        if (U_FAILURE(st) || pos != len) return nullptr;
        digits.resize(static_cast<size_t>(n));
        if (!allowsFloats_ && digits.find_first_of(".eE") != std::string::npos) {
            auto d = NSDecimalNumber::decimalNumberWithString(NSString::fromUTF8(digits));
            if (std::floor(d->doubleValue()) != d->doubleValue()) return nullptr;
        }
        return NSDecimalNumber::decimalNumberWithString(NSString::fromUTF8(digits));
    }
    const double v = unum_parseDouble(f, text.data(), len, &pos, &st);
    if (U_FAILURE(st) || pos != len) return nullptr;
    const bool whole = std::isfinite(v) && std::floor(v) == v;
    if (!whole && !allowsFloats_) return nullptr;
    if (whole && v >= INT32_MIN && v <= INT32_MAX)
        return NSNumber::numberWithInt(static_cast<int>(v));
    if (whole && std::fabs(v) < 9.2e18)
        return NSNumber::numberWithLongLong(static_cast<long long>(v));
    return NSNumber::numberWithDouble(v);
}

Ref<NSString> NSNumberFormatter::stringForObjectValue(NSObject* obj) {
    auto n = as<NSNumber>(obj);
    return n ? stringFromNumber(n) : nullptr;
}

bool NSNumberFormatter::getObjectValue(Ref<NSObject>* obj, NSString* string, Ref<NSString>* error) {
    auto n = numberFromString(string);
    if (obj) *obj = n;
    if (!n && error) *error = NS("The number could not be read.");
    return n != nullptr;
}

Ref<NSString> NSNumberFormatter::localizedStringFromNumber(NSNumber* number,
                                                           NSNumberFormatterStyle style) {
    auto f = make<NSNumberFormatter>();
    f->setNumberStyle(style);
    return f->stringFromNumber(number);
}

Ref<NSObject> NSNumberFormatter::copyWithZone() {
    auto f = alloc<NSNumberFormatter>();
    f->style_ = style_;
    f->behavior_ = behavior_;
    f->locale_ = locale_;
    f->positiveFormat_ = positiveFormat_;
    f->negativeFormat_ = negativeFormat_;
    f->minFraction_ = minFraction_;
    f->maxFraction_ = maxFraction_;
    f->minInteger_ = minInteger_;
    f->maxInteger_ = maxInteger_;
    f->groupingSize_ = groupingSize_;
    f->grouping_ = grouping_;
    f->rounding_ = rounding_;
    f->multiplier_ = multiplier_;
    f->groupingSeparator_ = groupingSeparator_;
    f->decimalSeparator_ = decimalSeparator_;
    f->currencyCode_ = currencyCode_;
    f->currencySymbol_ = currencySymbol_;
    f->lenient_ = lenient_;
    f->decimals_ = decimals_;
    f->allowsFloats_ = allowsFloats_;
    return f;
}
