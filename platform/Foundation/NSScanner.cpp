#include "Foundation/NSScanner.h"

#include <unicode/uchar.h>

#include <charconv>
#include <climits>
#include <cmath>

#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSException.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSString.h"

namespace {

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

char16_t folded(char16_t c) {
    return static_cast<char16_t>(u_foldCase(c, U_FOLD_CASE_DEFAULT));
}

// Whether the set holds the character at i (a surrogate pair counts as its code point);
// `width` gets the units it spans.
bool memberAt(NSCharacterSet* set, const std::u16string& s, size_t i, size_t& width) {
    char16_t c = s[i];
    width = 1;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
        width = 2;
        uint32_t cp = 0x10000 + ((c - 0xD800u) << 10) + (s[i + 1] - 0xDC00u);
        return set->longCharacterIsMember(cp);
    }
    return set->characterIsMember(c);
}

}  // namespace

Ref<NSScanner> NSScanner::scannerWithString(NSString* string) {
    return make<NSScanner>(&NSScanner::initWithString, string);
}

Ref<NSScanner> NSScanner::localizedScannerWithString(NSString* string) {
    auto s = scannerWithString(string);
    if (s) s->setLocale(NSLocale::currentLocale());
    return s;
}

bool NSScanner::initWithString(NSString* string) {
    string_ = string ? string->copy() : Ref<NSString>(NS(""));
    text_ = string_->u16();
    skip_ = NSCharacterSet::whitespaceAndNewlineCharacterSet();
    return true;
}

void NSScanner::setScanLocation(NSUInteger location) {
    if (location > text_.size()) {
        NSException::raise(NSRangeException,
                           NS("*** -[NSScanner setScanLocation:]: Index %u out of bounds; string "
                              "length %u"),
                           location, static_cast<NSUInteger>(text_.size()));
    }
    location_ = location;
}

void NSScanner::setLocale(NSObject* locale) {
    locale_ = locale;
    decimal_ = u'.';
    if (auto l = as<NSLocale>(locale)) {
        auto sep = as<NSString>(l->objectForKey(NSLocaleDecimalSeparator));
        if (sep && sep->length() == 1) decimal_ = sep->characterAtIndex(0);
    }
}

size_t NSScanner::skipped() {
    size_t i = location_;
    if (!skip_) return i;
    size_t width = 1;
    while (i < text_.size() && memberAt(skip_, text_, i, width))
        i += width;
    return i;
}

bool NSScanner::isAtEnd() {
    return skipped() >= text_.size();
}

bool NSScanner::matchesAt(size_t at, const std::u16string& s) {
    if (at + s.size() > text_.size()) return false;
    for (size_t k = 0; k < s.size(); ++k) {
        char16_t a = text_[at + k], b = s[k];
        if (a == b) continue;
        if (caseSensitive_ || folded(a) != folded(b)) return false;
    }
    return true;
}

// ---- strings and character runs ----------------------------------------------------------

bool NSScanner::scanString(NSString* string, Ref<NSString>* into) {
    if (!string || string->length() == 0) return false;
    const std::u16string s = string->u16();
    const size_t at = skipped();
    if (!matchesAt(at, s)) return false;
    if (into) *into = NSString::fromUTF16(std::u16string_view(text_).substr(at, s.size()));
    location_ = static_cast<NSUInteger>(at + s.size());
    return true;
}

bool NSScanner::scanUpToString(NSString* stop, Ref<NSString>* into) {
    const std::u16string s = stop ? stop->u16() : std::u16string();
    const size_t at = skipped();
    size_t end = at;
    while (end < text_.size() && !(s.size() && matchesAt(end, s)))
        ++end;
    if (end == at) return false;
    if (into) *into = NSString::fromUTF16(std::u16string_view(text_).substr(at, end - at));
    location_ = static_cast<NSUInteger>(end);
    return true;
}

bool NSScanner::scanCharactersFromSet(NSCharacterSet* set, Ref<NSString>* into) {
    if (!set) return false;
    const size_t at = skipped();
    size_t end = at, width = 1;
    while (end < text_.size() && memberAt(set, text_, end, width))
        end += width;
    if (end == at) return false;
    if (into) *into = NSString::fromUTF16(std::u16string_view(text_).substr(at, end - at));
    location_ = static_cast<NSUInteger>(end);
    return true;
}

bool NSScanner::scanUpToCharactersFromSet(NSCharacterSet* set, Ref<NSString>* into) {
    const size_t at = skipped();
    size_t end = at, width = 1;
    while (end < text_.size() && !(set && memberAt(set, text_, end, width)))
        end += width;
    if (end == at) return false;
    if (into) *into = NSString::fromUTF16(std::u16string_view(text_).substr(at, end - at));
    location_ = static_cast<NSUInteger>(end);
    return true;
}

// ---- numbers -----------------------------------------------------------------------------

bool NSScanner::scanSigned(long long min, long long max, long long* out) {
    size_t i = skipped();
    bool negative = false;
    if (i < text_.size() && (text_[i] == u'-' || text_[i] == u'+')) {
        negative = text_[i] == u'-';
        ++i;
    }
    if (i >= text_.size() || !isDigit(text_[i])) return false;
    // The magnitude saturates just past the limit; every digit is still consumed.
    const unsigned long long limit = negative ? static_cast<unsigned long long>(-(min + 1)) + 1
                                              : static_cast<unsigned long long>(max);
    unsigned long long value = 0;
    bool overflow = false;
    while (i < text_.size() && isDigit(text_[i])) {
        const unsigned d = text_[i] - u'0';
        if (!overflow) {
            if (value > (limit - d) / 10) {
                overflow = true;
            } else {
                value = value * 10 + d;
            }
        }
        ++i;
    }
    long long result;
    if (overflow) {
        result = negative ? min : max;
    } else if (negative) {
        result = value == limit ? min : -static_cast<long long>(value);
    } else {
        result = static_cast<long long>(value);
    }
    if (out) *out = result;
    location_ = static_cast<NSUInteger>(i);
    return true;
}

bool NSScanner::scanInt(int* value) {
    long long v = 0;
    if (!scanSigned(INT_MIN, INT_MAX, &v)) return false;
    if (value) *value = static_cast<int>(v);
    return true;
}

bool NSScanner::scanInteger(NSInteger* value) {
    long long v = 0;
    if (!scanSigned(NSIntegerMin, NSIntegerMax, &v)) return false;
    if (value) *value = static_cast<NSInteger>(v);
    return true;
}

bool NSScanner::scanLongLong(long long* value) {
    return scanSigned(LLONG_MIN, LLONG_MAX, value);
}

bool NSScanner::scanUnsignedLongLong(unsigned long long* value) {
    size_t i = skipped();
    if (i < text_.size() && text_[i] == u'+') ++i;
    if (i >= text_.size() || !isDigit(text_[i])) return false;
    unsigned long long v = 0;
    bool overflow = false;
    while (i < text_.size() && isDigit(text_[i])) {
        const unsigned d = text_[i] - u'0';
        if (!overflow && v > (ULLONG_MAX - d) / 10) overflow = true;
        if (!overflow) v = v * 10 + d;
        ++i;
    }
    if (value) *value = overflow ? ULLONG_MAX : v;
    location_ = static_cast<NSUInteger>(i);
    return true;
}

bool NSScanner::scanDouble(double* value) {
    size_t i = skipped();
    std::string ascii;
    if (i < text_.size() && (text_[i] == u'-' || text_[i] == u'+')) {
        if (text_[i] == u'-') ascii += '-';
        ++i;
    }
    size_t digits = 0;
    while (i < text_.size() && isDigit(text_[i])) {
        ascii += static_cast<char>(text_[i++]);
        ++digits;
    }
    if (i < text_.size() && text_[i] == decimal_) {
        size_t j = i + 1;
        std::string fraction;
        while (j < text_.size() && isDigit(text_[j]))
            fraction += static_cast<char>(text_[j++]);
        // "5." is a number; "." alone is not.
        if (digits > 0 || !fraction.empty()) {
            ascii += '.';
            ascii += fraction;
            digits += fraction.size();
            i = j;
        }
    }
    if (digits == 0) return false;
    if (i < text_.size() && (text_[i] == u'e' || text_[i] == u'E')) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < text_.size() && (text_[j] == u'-' || text_[j] == u'+')) {
            exponent += static_cast<char>(text_[j]);
            ++j;
        }
        if (j < text_.size() && isDigit(text_[j])) {
            while (j < text_.size() && isDigit(text_[j]))
                exponent += static_cast<char>(text_[j++]);
            ascii += exponent;
            i = j;
        }
    }
    double v = 0;
    auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), v);
    if (ec == std::errc::result_out_of_range) {
        // Too large reads as infinity, too small as zero, with the sign kept.
        const bool neg = ascii[0] == '-';
        const size_t e = ascii.find('e');
        const bool tiny = e != std::string::npos && ascii[e + 1] == '-';
        v = tiny ? (neg ? -0.0 : 0.0) : (neg ? -HUGE_VAL : HUGE_VAL);
    }
    (void)end;
    if (value) *value = v;
    location_ = static_cast<NSUInteger>(i);
    return true;
}

bool NSScanner::scanFloat(float* value) {
    double v = 0;
    if (!scanDouble(&v)) return false;
    if (value) *value = static_cast<float>(v);
    return true;
}

bool NSScanner::scanHex(unsigned long long max, unsigned long long* out) {
    size_t i = skipped();
    if (i + 2 < text_.size() && text_[i] == u'0' &&
        (text_[i + 1] == u'x' || text_[i + 1] == u'X') && hexValue(text_[i + 2]) >= 0)
        i += 2;
    if (i >= text_.size() || hexValue(text_[i]) < 0) return false;
    unsigned long long v = 0;
    bool overflow = false;
    for (int d; i < text_.size() && (d = hexValue(text_[i])) >= 0; ++i) {
        if (!overflow && v > (max - static_cast<unsigned>(d)) / 16) overflow = true;
        if (!overflow) v = v * 16 + static_cast<unsigned>(d);
    }
    if (out) *out = overflow ? max : v;
    location_ = static_cast<NSUInteger>(i);
    return true;
}

bool NSScanner::scanHexInt(unsigned* value) {
    unsigned long long v = 0;
    if (!scanHex(UINT_MAX, &v)) return false;
    if (value) *value = static_cast<unsigned>(v);
    return true;
}

bool NSScanner::scanHexLongLong(unsigned long long* value) {
    return scanHex(ULLONG_MAX, value);
}

Ref<NSObject> NSScanner::copyWithZone() {
    auto s = scannerWithString(string_);
    s->location_ = location_;
    s->skip_ = skip_;
    s->caseSensitive_ = caseSensitive_;
    s->setLocale(locale_);
    return s;
}
