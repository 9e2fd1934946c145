#include "Foundation/NSDecimalNumber.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Foundation/NSException.h"
#include "Foundation/NSString.h"

NSString* const NSDecimalNumberExactnessException = NS("NSDecimalNumberExactnessException");
NSString* const NSDecimalNumberOverflowException = NS("NSDecimalNumberOverflowException");
NSString* const NSDecimalNumberUnderflowException = NS("NSDecimalNumberUnderflowException");
NSString* const NSDecimalNumberDivideByZeroException = NS("NSDecimalNumberDivideByZeroException");

namespace {

constexpr size_t kMaxDigits = 38;
constexpr int kMaxExponent = 127;
constexpr int kMinExponent = -128;

// Magnitudes are decimal digit strings, most significant first, without leading zeros; zero is
// the empty string. At most a few hundred digits ever occur, so schoolbook arithmetic is ample.
using Digits = std::string;

void stripLeadingZeros(Digits& d) {
    size_t i = d.find_first_not_of('0');
    d.erase(0, i == Digits::npos ? d.size() : i);
}

int compareMagnitudes(const Digits& a, const Digits& b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

Digits addMagnitudes(const Digits& a, const Digits& b) {
    Digits r;
    r.reserve(std::max(a.size(), b.size()) + 1);
    int carry = 0;
    for (size_t i = 0; i < a.size() || i < b.size() || carry; ++i) {
        int s = carry;
        if (i < a.size()) s += a[a.size() - 1 - i] - '0';
        if (i < b.size()) s += b[b.size() - 1 - i] - '0';
        r.push_back(static_cast<char>('0' + s % 10));
        carry = s / 10;
    }
    Digits out(r.rbegin(), r.rend());
    stripLeadingZeros(out);
    return out;
}

// a - b for a >= b.
Digits subtractMagnitudes(const Digits& a, const Digits& b) {
    Digits r = a;
    int borrow = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        size_t pos = r.size() - 1 - i;
        int s = (r[pos] - '0') - borrow - (i < b.size() ? b[b.size() - 1 - i] - '0' : 0);
        borrow = s < 0;
        if (s < 0) s += 10;
        r[pos] = static_cast<char>('0' + s);
    }
    stripLeadingZeros(r);
    return r;
}

Digits multiplyMagnitudes(const Digits& a, const Digits& b) {
    if (a.empty() || b.empty()) return {};
    std::vector<unsigned> acc(a.size() + b.size(), 0);
    for (size_t i = 0; i < a.size(); ++i) {
        for (size_t j = 0; j < b.size(); ++j) {
            acc[i + j + 1] += static_cast<unsigned>((a[i] - '0') * (b[j] - '0'));
        }
    }
    for (size_t k = acc.size(); k-- > 1;) {
        acc[k - 1] += acc[k] / 10;
        acc[k] %= 10;
    }
    Digits r;
    r.reserve(acc.size());
    for (unsigned v : acc)
        r.push_back(static_cast<char>('0' + v));
    stripLeadingZeros(r);
    return r;
}

// Long division; b is not zero.
Digits divideMagnitudes(const Digits& a, const Digits& b, Digits& remainder) {
    Digits q;
    Digits rem;
    for (char c : a) {
        rem.push_back(c);
        stripLeadingZeros(rem);
        char digit = '0';
        while (compareMagnitudes(rem, b) >= 0) {
            rem = subtractMagnitudes(rem, b);
            ++digit;
        }
        q.push_back(digit);
    }
    stripLeadingZeros(q);
    remainder = rem;
    return q;
}

Digits digitsOf(unsigned __int128 v) {
    Digits r;
    while (v) {
        r.push_back(static_cast<char>('0' + static_cast<int>(v % 10)));
        v /= 10;
    }
    return Digits(r.rbegin(), r.rend());
}

unsigned __int128 valueOf(const Digits& d) {
    unsigned __int128 v = 0;
    for (char c : d)
        v = v * 10 + static_cast<unsigned>(c - '0');
    return v;
}

}  // namespace

// A decimal while it is being computed: the magnitude may run past 38 digits until rounded.
struct DecimalMath {
    Digits mag;
    int exp = 0;
    bool neg = false;
    bool nan = false;

    enum class Range { Ok, Overflow, Underflow };

    static DecimalMath of(NSDecimalNumber* n) {
        DecimalMath d;
        d.nan = n->nan_;
        d.mag = digitsOf(n->mantissa_);
        d.exp = n->exponent_;
        d.neg = n->negative_;
        return d;
    }

    // Drops the lowest `k` digits, rounding half away from zero.
    void dropDigits(size_t k) {
        if (k == 0) return;
        if (k > mag.size()) {
            mag.clear();
            exp += static_cast<int>(k);
            return;
        }
        bool up = mag[mag.size() - k] >= '5';
        mag.resize(mag.size() - k);
        exp += static_cast<int>(k);
        if (up) mag = addMagnitudes(mag, "1");
    }

    // Rounds to 38 digits, removes trailing zeros and brings the exponent into range.
    Range finish() {
        if (nan) return Range::Ok;
        stripLeadingZeros(mag);
        if (mag.size() > kMaxDigits) dropDigits(mag.size() - kMaxDigits);
        // Rounding 99...9 up may have made one more digit (a trailing zero, removed next).
        size_t zeros = 0;
        while (zeros < mag.size() && mag[mag.size() - 1 - zeros] == '0')
            ++zeros;
        mag.resize(mag.size() - zeros);
        exp += static_cast<int>(zeros);
        if (mag.empty()) {
            exp = 0;
            neg = false;
            return Range::Ok;
        }
        // Too large an exponent: spend spare digits of the mantissa on it.
        while (exp > kMaxExponent && mag.size() < kMaxDigits) {
            mag.push_back('0');
            --exp;
        }
        if (exp > kMaxExponent) return Range::Overflow;
        if (exp < kMinExponent) {
            dropDigits(static_cast<size_t>(kMinExponent - exp));
            if (mag.empty()) {
                exp = 0;
                neg = false;
                return Range::Underflow;
            }
            if (mag.size() > kMaxDigits) dropDigits(1);  // 99..9 rounded up to 10..0
        }
        return Range::Ok;
    }

    // Parses "[-+]digits[.digits][e[-+]digits]"; false when no digits start the text.
    template <class Ch>
    bool parse(std::basic_string_view<Ch> s) {
        size_t i = 0;
        auto isSpace = [](Ch c) {
            return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' ||
                   (sizeof(Ch) > 1 && static_cast<char32_t>(c) == 0xA0);
        };
        auto isDigit = [](Ch c) { return c >= '0' && c <= '9'; };
        while (i < s.size() && isSpace(s[i]))
            ++i;
        if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
        bool any = false;
        long long scale = 0;
        for (; i < s.size() && isDigit(s[i]); ++i) {
            any = true;
            mag.push_back(static_cast<char>(s[i]));
        }
        if (i < s.size() && s[i] == '.') {
            ++i;
            for (; i < s.size() && isDigit(s[i]); ++i) {
                any = true;
                mag.push_back(static_cast<char>(s[i]));
                --scale;
            }
        }
        if (!any) return false;
        if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
            size_t j = i + 1;
            bool eneg = false;
            if (j < s.size() && (s[j] == '-' || s[j] == '+')) eneg = s[j++] == '-';
            if (j < s.size() && isDigit(s[j])) {
                long long e = 0;
                for (; j < s.size() && isDigit(s[j]); ++j) {
                    if (e < 100000) e = e * 10 + (s[j] - '0');
                }
                scale += eneg ? -e : e;
            }
        }
        stripLeadingZeros(mag);
        // Keep only what can matter for 38 digits before the exponent is narrowed to int.
        if (mag.size() > kMaxDigits + 1) {
            size_t k = mag.size() - (kMaxDigits + 1);
            // The 39th digit is kept: it alone decides the rounding to 38.
            mag.resize(kMaxDigits + 1);
            scale += static_cast<long long>(k);
        }
        if (scale > 100000) scale = 100000;
        if (scale < -100000) scale = -100000;
        exp = static_cast<int>(scale);
        return true;
    }

    int sign() const { return mag.empty() ? 0 : (neg ? -1 : 1); }

    static int compare(const DecimalMath& a, const DecimalMath& b) {
        if (a.nan || b.nan) return a.nan == b.nan ? 0 : (a.nan ? -1 : 1);
        int sa = a.sign(), sb = b.sign();
        if (sa != sb) return sa < sb ? -1 : 1;
        if (sa == 0) return 0;
        // Same sign: compare the magnitudes, by their leading digit's position first.
        long long topA = static_cast<long long>(a.mag.size()) + a.exp;
        long long topB = static_cast<long long>(b.mag.size()) + b.exp;
        int c;
        if (topA != topB) {
            c = topA < topB ? -1 : 1;
        } else {
            Digits x = a.mag, y = b.mag;
            size_t n = std::max(x.size(), y.size());
            x.resize(n, '0');
            y.resize(n, '0');
            c = x.compare(y) < 0 ? -1 : (x.compare(y) > 0 ? 1 : 0);
        }
        return sa < 0 ? -c : c;
    }

    static DecimalMath add(DecimalMath a, DecimalMath b) {
        DecimalMath r;
        if (a.nan || b.nan) {
            r.nan = true;
            return r;
        }
        if (a.mag.empty()) return b;
        if (b.mag.empty()) return a;
        // Align: a much smaller operand only matters through rounding, so it is cut short
        // rather than padding the larger one with hundreds of zeros.
        if (a.exp < b.exp) std::swap(a, b);
        long long shift = static_cast<long long>(a.exp) - b.exp;
        long long topA = static_cast<long long>(a.mag.size()) + a.exp;
        long long topB = static_cast<long long>(b.mag.size()) + b.exp;
        if (topA - topB > static_cast<long long>(kMaxDigits) + 2) {
            // b is below a's last kept digit and below half of it: it cannot change a.
            return a;
        }
        a.mag.append(static_cast<size_t>(shift), '0');
        a.exp = b.exp;
        r.exp = b.exp;
        if (a.neg == b.neg) {
            r.mag = addMagnitudes(a.mag, b.mag);
            r.neg = a.neg;
        } else {
            int c = compareMagnitudes(a.mag, b.mag);
            if (c >= 0) {
                r.mag = subtractMagnitudes(a.mag, b.mag);
                r.neg = a.neg;
            } else {
                r.mag = subtractMagnitudes(b.mag, a.mag);
                r.neg = b.neg;
            }
        }
        return r;
    }

    static DecimalMath multiply(const DecimalMath& a, const DecimalMath& b) {
        DecimalMath r;
        r.nan = a.nan || b.nan;
        if (r.nan) return r;
        r.mag = multiplyMagnitudes(a.mag, b.mag);
        r.exp = a.exp + b.exp;
        r.neg = a.neg != b.neg;
        return r;
    }

    // b must not be zero.
    static DecimalMath divide(const DecimalMath& a, const DecimalMath& b) {
        DecimalMath r;
        r.nan = a.nan || b.nan;
        if (r.nan || a.mag.empty()) return r;
        // Enough digits for 38 and the one that decides the rounding.
        long long k = static_cast<long long>(kMaxDigits) + 1 +
                      static_cast<long long>(b.mag.size()) - static_cast<long long>(a.mag.size()) +
                      1;
        if (k < 0) k = 0;
        Digits num = a.mag;
        num.append(static_cast<size_t>(k), '0');
        Digits rem;
        r.mag = divideMagnitudes(num, b.mag, rem);
        r.exp = a.exp - static_cast<int>(k) - b.exp;
        r.neg = a.neg != b.neg;
        return r;
    }

    // Writes the value into a decimal number, which must be fresh.
    void store(NSDecimalNumber* n) const {
        n->nan_ = nan;
        n->mantissa_ = nan ? 0 : valueOf(mag);
        n->exponent_ = nan ? 0 : exp;
        n->negative_ = !nan && neg && !mag.empty();
        n->setDouble();
    }

    // An NSNumber's value as a decimal: integers exactly, floating values by the shortest text
    // that reads back as the same double (so 0.1 is 0.1). False for infinities.
    static bool fromNumber(NSNumber* n, DecimalMath& out) {
        if (auto* d = dynamic_cast<NSDecimalNumber*>(n)) {
            out = of(d);
            return true;
        }
        const char* type = n->objCType();
        char buf[64];
        if (type[0] == 'f' || type[0] == 'd') {
            double v = n->doubleValue();
            if (std::isnan(v)) {
                out.nan = true;
                return true;
            }
            if (std::isinf(v)) return false;
            for (int precision = 15; precision <= 17; ++precision) {
                std::snprintf(buf, sizeof buf, "%.*g", precision, v);
                if (std::strtod(buf, nullptr) == v) break;
            }
        } else if (type[0] == 'C' || type[0] == 'S' || type[0] == 'I' || type[0] == 'Q') {
            std::snprintf(buf, sizeof buf, "%llu", n->unsignedLongLongValue());
        } else {
            std::snprintf(buf, sizeof buf, "%lld", n->longLongValue());
        }
        out = DecimalMath();
        out.parse(std::string_view(buf));
        stripLeadingZeros(out.mag);
        return true;
    }
};

namespace {

Ref<NSDecimalNumber> finishResult(DecimalMath r, const char* op) {
    switch (r.finish()) {
        case DecimalMath::Range::Overflow:
            NSException::raise(NSDecimalNumberOverflowException,
                               NS("NSDecimalNumber overflow exception in %s"), op);
        case DecimalMath::Range::Underflow:
            NSException::raise(NSDecimalNumberUnderflowException,
                               NS("NSDecimalNumber underflow exception in %s"), op);
        case DecimalMath::Range::Ok:
            break;
    }
    auto n = alloc<NSDecimalNumber>();
    r.store(n);
    return n;
}

}  // namespace

NSDecimalNumber::NSDecimalNumber() {
    kind_ = Kind::Double;
}

Ref<NSDecimalNumber> NSDecimalNumber::decimalNumberWithString(NSString* s) {
    return make<NSDecimalNumber>(&NSDecimalNumber::initWithString, s);
}

Ref<NSDecimalNumber> NSDecimalNumber::decimalNumberWithMantissa(unsigned long long mantissa,
                                                                short exponent, bool isNegative) {
    return make<NSDecimalNumber>(&NSDecimalNumber::initWithMantissa, mantissa, exponent,
                                 isNegative);
}

Ref<NSDecimalNumber> NSDecimalNumber::zero() {
    static NSDecimalNumber* const n = immortal(decimalNumberWithMantissa(0, 0, false));
    return n;
}

Ref<NSDecimalNumber> NSDecimalNumber::one() {
    static NSDecimalNumber* const n = immortal(decimalNumberWithMantissa(1, 0, false));
    return n;
}

Ref<NSDecimalNumber> NSDecimalNumber::notANumber() {
    static NSDecimalNumber* const n = immortal(decimalNumberWithString(nullptr));
    return n;
}

Ref<NSDecimalNumber> NSDecimalNumber::decimalNumberWithUTF8(std::string_view text) {
    auto n = alloc<NSDecimalNumber>();
    if (!n->initWithShortText(text)) n->initWithText(text);
    return n;
}

// Plain "[-]digits[.digits]" of at most 18 digits, the usual number in a reply, fits a 64-bit
// mantissa exactly: read it without the digit-string arithmetic, normalised as finish() would.
bool NSDecimalNumber::initWithShortText(std::string_view s) {
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && s[i] == '-') {
        negative = true;
        ++i;
    }
    uint64_t mantissa = 0;
    int digits = 0;
    int exponent = 0;
    size_t first = i;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++digits)
        mantissa = mantissa * 10 + static_cast<uint64_t>(s[i] - '0');
    if (i == first) return false;
    if (i < s.size() && s[i] == '.') {
        size_t point = ++i;
        for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++digits, --exponent)
            mantissa = mantissa * 10 + static_cast<uint64_t>(s[i] - '0');
        if (i == point) return false;
    }
    if (i != s.size() || digits > 18) return false;
    if (mantissa == 0) {
        exponent = 0;
        negative = false;
    } else {
        while (mantissa % 10 == 0) {
            mantissa /= 10;
            ++exponent;
        }
    }
    mantissa_ = mantissa;
    exponent_ = exponent;
    negative_ = negative;
    nan_ = false;
    setDouble();
    return true;
}

bool NSDecimalNumber::initWithString(NSString* s) {
    if (!s) return initWithText(std::u16string_view());
    std::u16string units = s->u16();
    return initWithText(std::u16string_view(units));
}

template <class Ch>
bool NSDecimalNumber::initWithText(std::basic_string_view<Ch> s) {
    DecimalMath d;
    if (s.empty() || !d.parse(s)) {
        d = DecimalMath();
        d.nan = true;
    }
    switch (d.finish()) {
        case DecimalMath::Range::Overflow:
            d = DecimalMath();
            d.nan = true;
            break;
        case DecimalMath::Range::Underflow:  // finish() left zero
        case DecimalMath::Range::Ok:
            break;
    }
    d.store(this);
    return true;
}

bool NSDecimalNumber::initWithMantissa(unsigned long long mantissa, short exponent,
                                       bool isNegative) {
    DecimalMath d;
    d.mag = digitsOf(mantissa);
    d.exp = exponent;
    d.neg = isNegative;
    if (d.finish() == DecimalMath::Range::Overflow) {
        d = DecimalMath();
        d.nan = true;
    }
    d.store(this);
    return true;
}

Ref<NSDecimalNumber> NSDecimalNumber::decimalNumberByAdding(NSDecimalNumber* other) {
    if (!other) return notANumber();
    return finishResult(DecimalMath::add(DecimalMath::of(this), DecimalMath::of(other)),
                        "decimalNumberByAdding:");
}

Ref<NSDecimalNumber> NSDecimalNumber::decimalNumberBySubtracting(NSDecimalNumber* other) {
    if (!other) return notANumber();
    DecimalMath b = DecimalMath::of(other);
    b.neg = !b.neg;
    return finishResult(DecimalMath::add(DecimalMath::of(this), b), "decimalNumberBySubtracting:");
}

Ref<NSDecimalNumber> NSDecimalNumber::decimalNumberByMultiplyingBy(NSDecimalNumber* other) {
    if (!other) return notANumber();
    return finishResult(DecimalMath::multiply(DecimalMath::of(this), DecimalMath::of(other)),
                        "decimalNumberByMultiplyingBy:");
}

Ref<NSDecimalNumber> NSDecimalNumber::decimalNumberByDividingBy(NSDecimalNumber* other) {
    if (!other) return notANumber();
    DecimalMath a = DecimalMath::of(this), b = DecimalMath::of(other);
    if (!a.nan && !b.nan && b.mag.empty()) {
        NSException::raise(NSDecimalNumberDivideByZeroException,
                           NS("NSDecimalNumber divide by zero exception"));
    }
    return finishResult(DecimalMath::divide(a, b), "decimalNumberByDividingBy:");
}

Ref<NSString> NSDecimalNumber::description() {
    if (nan_) return Ref<NSString>(NS("NaN"));
    Digits mag = digitsOf(mantissa_);
    if (mag.empty()) return Ref<NSString>(NS("0"));
    std::string text = negative_ ? "-" : "";
    if (exponent_ >= 0) {
        text += mag;
        text.append(static_cast<size_t>(exponent_), '0');
    } else {
        size_t frac = static_cast<size_t>(-exponent_);
        if (frac < mag.size()) {
            text += mag.substr(0, mag.size() - frac);
            text += '.';
            text += mag.substr(mag.size() - frac);
        } else {
            text += "0.";
            text.append(frac - mag.size(), '0');
            text += mag;
        }
    }
    return NSString::fromUTF8(text);
}

NSComparisonResult NSDecimalNumber::compare(NSNumber* other) {
    if (!other) {
        NSException::raise(NSInvalidArgumentException,
                           NS("-[NSDecimalNumber compare:]: nil argument"));
    }
    DecimalMath b;
    if (!DecimalMath::fromNumber(other, b)) {
        // Infinities lie beyond every decimal.
        return other->doubleValue() > 0 ? NSOrderedAscending : NSOrderedDescending;
    }
    return static_cast<NSComparisonResult>(DecimalMath::compare(DecimalMath::of(this), b));
}

bool NSDecimalNumber::isEqual(NSObject* other) {
    auto* n = dynamic_cast<NSNumber*>(other);
    return n && (n == this || compare(n) == NSOrderedSame);
}

// Integral values hash as the integer they are (like integer numbers); others by their double.
NSUInteger NSDecimalNumber::hash() {
    if (!nan_ && exponent_ >= 0) {
        Digits mag = digitsOf(mantissa_);
        if (mag.size() + static_cast<size_t>(exponent_) <= 19) {
            long long v = static_cast<long long>(mantissa_);
            for (int i = 0; i < exponent_; ++i)
                v *= 10;
            return NSNumber::numberWithLongLong(negative_ ? -v : v)->hash();
        }
    }
    return NSNumber::hash();
}

void NSDecimalNumber::setDouble() {
    if (nan_) {
        v_.d = std::nan("");
        return;
    }
    // A mantissa of at most 2^53 times a power of ten of at most 10^22 is one exact product or
    // quotient of exact doubles, so it rounds correctly without going through text.
    static const double powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (mantissa_ <= (static_cast<unsigned __int128>(1) << 53) && exponent_ >= -22 &&
        exponent_ <= 22) {
        double m = static_cast<double>(static_cast<uint64_t>(mantissa_));
        double v = exponent_ >= 0 ? m * powers[exponent_] : m / powers[-exponent_];
        v_.d = negative_ ? -v : v;
        return;
    }
    v_.d = std::strtod(description()->utf8().c_str(), nullptr);
}
