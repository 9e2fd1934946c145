#include "Foundation/NSNumber.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>

#include "Foundation/NSDecimalNumber.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/NumberConversion.h"

namespace {

using Int128 = __int128;

// Orders an integer against a double exactly (no rounding of large integers to double).
NSComparisonResult compareIntDouble(Int128 i, double d) {
    if (std::isnan(d)) return NSOrderedDescending;  // NaN orders before every number
    if (d >= 0x1p100) return NSOrderedAscending;
    if (d <= -0x1p100) return NSOrderedDescending;
    double f = std::floor(d);
    Int128 fi = static_cast<Int128>(f);
    if (i < fi) return NSOrderedAscending;
    if (i > fi) return NSOrderedDescending;
    return d > f ? NSOrderedAscending : NSOrderedSame;
}

NSComparisonResult compareDoubles(double a, double b) {
    // NaN equals NaN and orders before every other number, so that sorting stays consistent.
    if (std::isnan(a) || std::isnan(b)) {
        if (std::isnan(a) && std::isnan(b)) return NSOrderedSame;
        return std::isnan(a) ? NSOrderedAscending : NSOrderedDescending;
    }
    if (a < b) return NSOrderedAscending;
    if (a > b) return NSOrderedDescending;
    return NSOrderedSame;
}

NSComparisonResult flip(NSComparisonResult r) {
    return static_cast<NSComparisonResult>(-r);
}

NSUInteger mix(unsigned long long x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    return static_cast<NSUInteger>(x ^ (x >> 32));
}

}  // namespace

// ---- creation ------------------------------------------------------------------------------

#define NUMBER_FACTORY(Name, Type, KindName, Field) \
    Ref<NSNumber> NSNumber::Name(Type v) {          \
        auto n = make<NSNumber>();                  \
        n->kind_ = Kind::KindName;                  \
        n->v_.Field = v;                            \
        return n;                                   \
    }

NUMBER_FACTORY(numberWithBool, bool, Bool, i)
NUMBER_FACTORY(numberWithChar, char, Char, i)
NUMBER_FACTORY(numberWithUnsignedChar, unsigned char, UChar, u)
NUMBER_FACTORY(numberWithShort, short, Short, i)
NUMBER_FACTORY(numberWithUnsignedShort, unsigned short, UShort, u)
NUMBER_FACTORY(numberWithInt, int, Int, i)
NUMBER_FACTORY(numberWithUnsignedInt, unsigned, UInt, u)
NUMBER_FACTORY(numberWithLong, long, LongLong, i)
NUMBER_FACTORY(numberWithUnsignedLong, unsigned long, ULongLong, u)
NUMBER_FACTORY(numberWithLongLong, long long, LongLong, i)
NUMBER_FACTORY(numberWithUnsignedLongLong, unsigned long long, ULongLong, u)
NUMBER_FACTORY(numberWithFloat, float, Float, d)
NUMBER_FACTORY(numberWithDouble, double, Double, d)
NUMBER_FACTORY(numberWithInteger, NSInteger, Int, i)
NUMBER_FACTORY(numberWithUnsignedInteger, NSUInteger, UInt, u)

#undef NUMBER_FACTORY

void NSNumber::describeClass(RuntimeClass& c) {
    c.method("intValue", &NSNumber::intValue)
        .method("integerValue", &NSNumber::integerValue)
        .method("longLongValue", &NSNumber::longLongValue)
        .method("floatValue", &NSNumber::floatValue)
        .method("doubleValue", &NSNumber::doubleValue)
        .method("boolValue", &NSNumber::boolValue)
        .method("stringValue", &NSNumber::stringValue)
        .method("description", &NSNumber::description)
        .method("compare:", &NSNumber::compare);
}

// ---- reads ---------------------------------------------------------------------------------

template <class T>
T NSNumber::read() {
    if (isFloating()) return truncatedNumber<T>(v_.d);
    if (isUnsignedKind()) return static_cast<T>(v_.u);
    return static_cast<T>(v_.i);
}

bool NSNumber::boolValue() {
    if (isFloating()) return v_.d != 0.0;
    return v_.u != 0;
}
char NSNumber::charValue() {
    return read<char>();
}
unsigned char NSNumber::unsignedCharValue() {
    return read<unsigned char>();
}
short NSNumber::shortValue() {
    return read<short>();
}
unsigned short NSNumber::unsignedShortValue() {
    return read<unsigned short>();
}
int NSNumber::intValue() {
    return read<int>();
}
unsigned NSNumber::unsignedIntValue() {
    return read<unsigned>();
}
long NSNumber::longValue() {
    return read<long>();
}
unsigned long NSNumber::unsignedLongValue() {
    return read<unsigned long>();
}
long long NSNumber::longLongValue() {
    return read<long long>();
}
unsigned long long NSNumber::unsignedLongLongValue() {
    return read<unsigned long long>();
}
float NSNumber::floatValue() {
    if (isFloating()) return static_cast<float>(v_.d);
    return isUnsignedKind() ? static_cast<float>(v_.u) : static_cast<float>(v_.i);
}
double NSNumber::doubleValue() {
    if (isFloating()) return v_.d;
    return isUnsignedKind() ? static_cast<double>(v_.u) : static_cast<double>(v_.i);
}
NSInteger NSNumber::integerValue() {
    return read<NSInteger>();
}
NSUInteger NSNumber::unsignedIntegerValue() {
    return read<NSUInteger>();
}

const char* NSNumber::objCType() {
    switch (kind_) {
        case Kind::Bool:
            return "c";
        case Kind::Char:
            return "c";
        case Kind::UChar:
            return "C";
        case Kind::Short:
            return "s";
        case Kind::UShort:
            return "S";
        case Kind::Int:
            return "i";
        case Kind::UInt:
            return "I";
        case Kind::LongLong:
            return "q";
        case Kind::ULongLong:
            return "Q";
        case Kind::Float:
            return "f";
        case Kind::Double:
            return "d";
    }
    return "i";
}

void NSNumber::getValue(void* out) {
    auto put = [out](auto v) { std::memcpy(out, &v, sizeof v); };
    switch (kind_) {
        case Kind::Bool:
        case Kind::Char:
            put(static_cast<char>(v_.i));
            break;
        case Kind::UChar:
            put(static_cast<unsigned char>(v_.u));
            break;
        case Kind::Short:
            put(static_cast<short>(v_.i));
            break;
        case Kind::UShort:
            put(static_cast<unsigned short>(v_.u));
            break;
        case Kind::Int:
            put(static_cast<int>(v_.i));
            break;
        case Kind::UInt:
            put(static_cast<unsigned>(v_.u));
            break;
        case Kind::LongLong:
            put(v_.i);
            break;
        case Kind::ULongLong:
            put(v_.u);
            break;
        case Kind::Float:
            put(static_cast<float>(v_.d));
            break;
        case Kind::Double:
            put(v_.d);
            break;
    }
}

bool NSNumber::isBoolean() {
    return kind_ == Kind::Bool;
}

// ---- text ----------------------------------------------------------------------------------

Ref<NSString> NSNumber::description() {
    char buf[64];
    switch (kind_) {
        case Kind::Float:
            std::snprintf(buf, sizeof buf, "%0.7g", v_.d);
            break;
        case Kind::Double:
            std::snprintf(buf, sizeof buf, "%0.16g", v_.d);
            break;
        default: {
            // Integers, the most common numbers written out, without the formatter.
            auto end = isUnsignedKind() ? std::to_chars(buf, buf + sizeof buf - 1, v_.u).ptr
                                        : std::to_chars(buf, buf + sizeof buf - 1, v_.i).ptr;
            *end = '\0';
        }
    }
    return NSString::fromUTF8(buf);
}

// ---- comparison ----------------------------------------------------------------------------

NSComparisonResult NSNumber::compare(NSNumber* other) {
    if (!other) {
        NSException::raise(NSInvalidArgumentException, NS("-[NSNumber compare:]: nil argument"));
    }
    // A decimal number knows its own exact value; let it decide.
    if (auto* dec = dynamic_cast<NSDecimalNumber*>(other)) return flip(dec->compare(this));
    if (isFloating() && other->isFloating()) return compareDoubles(v_.d, other->v_.d);
    auto asInt = [](NSNumber* n) -> Int128 {
        return n->isUnsignedKind() ? static_cast<Int128>(n->v_.u) : static_cast<Int128>(n->v_.i);
    };
    if (isFloating()) return flip(compareIntDouble(asInt(other), v_.d));
    if (other->isFloating()) return compareIntDouble(asInt(this), other->v_.d);
    Int128 a = asInt(this), b = asInt(other);
    if (a < b) return NSOrderedAscending;
    if (a > b) return NSOrderedDescending;
    return NSOrderedSame;
}

bool NSNumber::isEqualToNumber(NSNumber* other) {
    return other && (other == this || compare(other) == NSOrderedSame);
}

bool NSNumber::isEqual(NSObject* other) {
    auto* n = dynamic_cast<NSNumber*>(other);
    return n && isEqualToNumber(n);
}

// Equal numbers of any kinds hash alike: an integral value hashes as that integer (one that fits
// 32 bits as itself, as on the platform), anything else by its double's bits.
NSUInteger NSNumber::hash() {
    auto hashInt = [](Int128 v) -> NSUInteger {
        if (v >= INT32_MIN && v <= static_cast<Int128>(UINT32_MAX)) {
            return static_cast<NSUInteger>(static_cast<long long>(v));
        }
        return mix(static_cast<unsigned long long>(v));
    };
    if (!isFloating()) {
        return hashInt(isUnsignedKind() ? static_cast<Int128>(v_.u) : static_cast<Int128>(v_.i));
    }
    double d = v_.d;
    if (std::isnan(d)) return 0x7ff80000u;
    if (d == std::floor(d) && d >= -0x1p63 && d < 0x1p64) return hashInt(static_cast<Int128>(d));
    unsigned long long bits;
    std::memcpy(&bits, &d, sizeof bits);
    return mix(bits);
}
