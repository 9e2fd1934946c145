#include "json/ZDataScanner.h"

#include <locale.h>

#include <charconv>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSData.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"

namespace {

// The value of a plain decimal run ("-12", "0.25": an optional minus, digits, and a point with
// digits after it) when arithmetic gives it exactly rounded: at most 15 digits make an integer a
// double holds exactly, and dividing it by a power of ten up to 10^22 (itself exact) rounds once,
// as reading the text does. False for any other run.
bool plainDecimal(const uint8_t* p, const uint8_t* end, double* value) {
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const bool negative = p < end && *p == '-';
    if (negative) ++p;
    uint64_t digits = 0;
    int count = 0, fraction = -1;  // digits after the point; -1 before one
    for (; p < end; ++p) {
        if (*p >= '0' && *p <= '9') {
            digits = digits * 10 + static_cast<uint64_t>(*p - '0');
            if (++count > 15) return false;
            if (fraction >= 0) ++fraction;
        } else if (*p == '.' && fraction < 0 && count > 0) {
            fraction = 0;
        } else {
            return false;
        }
    }
    if (count == 0 || fraction == 0) return false;
    double v = static_cast<double>(digits);
    if (fraction > 0) v /= kPowers[fraction];
    *value = negative ? -v : v;
    return true;
}

// Numbers are read the same way whatever locale the process runs in. A run that starts no
// number reads as 0, as the C library's reading gives.
double parseDouble(const uint8_t* bytes, size_t length) {
    if (double value; plainDecimal(bytes, bytes + length, &value)) return value;
    const char* text = reinterpret_cast<const char*>(bytes);
    double value = 0;
    auto [end, error] = std::from_chars(text, text + length, value);
    (void)end;
    if (error == std::errc()) return value;
    if (error != std::errc::result_out_of_range) return 0;
    // Out of range: the C library's answer (infinity, or zero and the subnormals).
    static locale_t c = newlocale(LC_NUMERIC_MASK, "C", nullptr);
    std::string copy(text, length);
    return strtod_l(copy.c_str(), nullptr, c);
}

// The bytes of a number unless the scanner is given other ones.
constexpr const char* kNumberBytes = "0123456789eE-.";

struct ByteTable {
    bool member[256] = {};
    constexpr explicit ByteTable(const char* bytes) {
        for (; *bytes; ++bytes)
            member[static_cast<uint8_t>(*bytes)] = true;
    }
};
constexpr ByteTable kNumberTable(kNumberBytes);

// One set for every scanner: it is immutable, and making one per document costs more than the
// document's numbers.
NSCharacterSet* numberCharacters() {
    static NSCharacterSet* set = [] {
        auto s = NSCharacterSet::characterSetWithCharactersInString(
            NSString::stringWithUTF8String(kNumberBytes));
        s->makeImmortal();
        return s.get();
    }();
    return set;
}

// The byte length of the line break at p (LF, FF, CR, or U+0085, U+2028, U+2029 in UTF-8), 0 when
// none starts there. Multi-byte breaks are matched whole, so that a continuation byte of another
// character is never taken for one.
size_t lineBreakAt(const uint8_t* p, const uint8_t* end) {
    if (p >= end) return 0;
    if (*p == '\n' || *p == '\f' || *p == '\r') return 1;
    if (*p == 0xC2 && end - p >= 2 && p[1] == 0x85) return 2;
    if (*p == 0xE2 && end - p >= 3 && p[1] == 0x80 && (p[2] == 0xA8 || p[2] == 0xA9)) return 3;
    return 0;
}

}  // namespace

Ref<ZDataScanner> ZDataScanner::scannerWithData(NSData* data) {
    auto scanner = make<ZDataScanner>();
    scanner->setData(data);
    return scanner;
}

bool ZDataScanner::init() {
    if (!NSObject::init()) return false;
    doubleCharacters_ = numberCharacters();
    defaultDoubleCharacters_ = true;
    return true;
}

void ZDataScanner::dealloc() {
    data_ = nullptr;
    doubleCharacters_ = nullptr;
    NSObject::dealloc();
}

void ZDataScanner::setData(NSData* data) {
    data_ = data;
    length_ = data ? data->length() : 0;
    start_ = length_ ? static_cast<const uint8_t*>(data->bytes()) : nullptr;
    end_ = start_ ? start_ + length_ : nullptr;
    current_ = start_;
}

void ZDataScanner::setScanLocation(NSUInteger location) {
    if (location > length_) {
        NSException::raise(NSRangeException, NS("Scan location %u beyond the end (%u)"), location,
                           length_);
    }
    current_ = start_ ? start_ + location : nullptr;
}

void ZDataScanner::setDoubleCharacters(NSCharacterSet* set) {
    doubleCharacters_ = set;
    defaultDoubleCharacters_ = set == numberCharacters();
}

Ref<NSString> ZDataScanner::decodeUTF8(const uint8_t* bytes, size_t length) {
    return make<NSString>(&NSString::initWithBytes, static_cast<const void*>(bytes),
                          static_cast<NSUInteger>(length), NSUTF8StringEncoding);
}

const uint8_t* ZDataScanner::find(const uint8_t* needle, size_t length) {
    if (length == 0) return current_;
    std::string_view rest(reinterpret_cast<const char*>(current_),
                          static_cast<size_t>(end_ - current_));
    size_t at = rest.find(std::string_view(reinterpret_cast<const char*>(needle), length));
    return at == std::string_view::npos ? nullptr : current_ + at;
}

bool ZDataScanner::skipBytes(const void* bytes, size_t length) {
    if (static_cast<size_t>(end_ - current_) < length ||
        (length && std::memcmp(current_, bytes, length) != 0)) {
        return false;
    }
    current_ += length;
    return true;
}

const uint8_t* ZDataScanner::runEnd(NSCharacterSet* set, bool members) {
    const uint8_t* p = current_;
    while (p < end_ && set->characterIsMember(*p) == members)
        ++p;
    return p;
}

bool ZDataScanner::takeText(const uint8_t* upTo, Ref<NSString>* into) {
    auto text = decodeUTF8(current_, static_cast<size_t>(upTo - current_));
    if (!text) return false;
    current_ = upTo;
    if (into) *into = text;
    return true;
}

bool ZDataScanner::scanUTF8String(const char* string, Ref<NSString>* into) {
    if (!skipBytes(string, std::strlen(string))) return false;
    if (into) *into = NSString::stringWithUTF8String(string);
    return true;
}

bool ZDataScanner::scanString(NSString* string, Ref<NSString>* into) {
    if (!string) return false;
    auto bytes = string->dataUsingEncoding(NSUTF8StringEncoding);
    if (!bytes) return false;  // lone surrogates: no UTF-8 form to match
    if (!skipBytes(bytes->bytes(), bytes->length())) return false;
    if (into) *into = string;
    return true;
}

bool ZDataScanner::scanCharactersFromSet(NSCharacterSet* set, Ref<NSString>* into) {
    if (!set) return false;
    const uint8_t* p = runEnd(set, true);
    return p != current_ && takeText(p, into);
}

bool ZDataScanner::scanUpToString(NSString* string, Ref<NSString>* into) {
    if (!string) return false;
    auto bytes = string->dataUsingEncoding(NSUTF8StringEncoding);
    if (!bytes) return false;
    const uint8_t* at = find(static_cast<const uint8_t*>(bytes->bytes()), bytes->length());
    return at && takeText(at, into);
}

bool ZDataScanner::scanUpToCharactersFromSet(NSCharacterSet* set, Ref<NSString>* into) {
    if (!set) return false;
    const uint8_t* p = runEnd(set, false);
    return p != current_ && takeText(p, into);
}

const uint8_t* ZDataScanner::numberEnd() {
    const uint8_t* p = current_;
    auto member = [&](uint8_t c) {
        return defaultDoubleCharacters_ ? kNumberTable.member[c]
                                        : doubleCharacters_->characterIsMember(c);
    };
    while (p < end_) {
        if (member(*p)) {
            ++p;
        } else if (*p == '+' && p > current_ && (p[-1] == 'e' || p[-1] == 'E') && member(p[-1])) {
            ++p;  // the exponent's sign
        } else {
            break;
        }
    }
    return p;
}

int ZDataScanner::smallInteger(const uint8_t** upTo) {
    if (!defaultDoubleCharacters_) return -1;
    const uint8_t* p = current_;
    int value = 0;
    for (int count = 1; p < end_ && *p >= '0' && *p <= '9'; ++p, ++count) {
        if (count > 3 || (count == 2 && value == 0)) return -1;
        value = value * 10 + (*p - '0');
    }
    // The run must end with the digits (a digit is never followed by the exponent's sign).
    if (p == current_ || (p < end_ && kNumberTable.member[*p])) return -1;
    *upTo = p;
    return value;
}

bool ZDataScanner::scanNumber(Ref<NSNumber>* into) {
    if (!doubleCharacters_) return false;
    const uint8_t* p = numberEnd();
    if (p == current_) return false;
    takeNumber(p, into);
    return true;
}

void ZDataScanner::takeNumber(const uint8_t* upTo, Ref<NSNumber>* into) {
    double value = parseDouble(current_, static_cast<size_t>(upTo - current_));
    current_ = upTo;
    if (into) *into = NSNumber::numberWithDouble(value);
}

Ref<NSString> ZDataScanner::remainingString() {
    return decodeUTF8(current_, static_cast<size_t>(end_ - current_));
}

bool ZDataScanner::scanCStyleComment(Ref<NSString>* into) {
    const uint8_t* begin = current_;
    if (!scanUTF8String("/*", nullptr)) return false;
    const uint8_t* close = find(reinterpret_cast<const uint8_t*>("*/"), 2);
    if (!close) {
        current_ = begin;
        NSException::raise(NSGenericException,
                           NS("Started to scan a C style comment but it wasn't terminated."));
    }
    std::string_view body(reinterpret_cast<const char*>(current_),
                          static_cast<size_t>(close - current_));
    if (body.find("/*") != std::string_view::npos) {
        current_ = begin;
        NSException::raise(NSGenericException, NS("C style comments should not be nested."));
    }
    auto text = decodeUTF8(current_, body.size());
    current_ = close + 2;
    if (into) *into = text;  // nil for a comment that is not UTF-8
    return true;
}

bool ZDataScanner::scanCPlusPlusStyleComment(Ref<NSString>* into) {
    if (!scanUTF8String("//", nullptr)) return false;
    const uint8_t* p = current_;
    while (p < end_ && !lineBreakAt(p, end_))
        ++p;
    auto text = decodeUTF8(current_, static_cast<size_t>(p - current_));
    while (size_t n = lineBreakAt(p, end_))
        p += n;
    current_ = p;
    if (into) *into = text;  // nil for a comment that is not UTF-8
    return true;
}
