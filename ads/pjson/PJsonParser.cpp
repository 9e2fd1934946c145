#include "ads/pjson/PJsonParser.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSDecimalNumber.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"

namespace {

// The bytes that end a run of plain characters inside a string: the quotation mark, the
// backslash, the control characters and the terminating NUL.
struct StopTable {
    bool stops[256] = {};
    StopTable() {
        for (int ch = 0; ch < 0x20; ++ch)
            stops[ch] = true;
        stops[static_cast<unsigned char>('"')] = true;
        stops[static_cast<unsigned char>('\\')] = true;
    }
};
const StopTable& stopTable() {
    static const StopTable table;
    return table;
}

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

inline uint64_t load8(const char* p) {
    uint64_t x;
    std::memcpy(&x, p, sizeof x);
    return x;
}

// The bytes among eight that end a plain run or leave ASCII (a quotation mark, backslash,
// control character or byte from 0x80), each marked by its high bit. The lowest mark is exact;
// marks above it may be spurious.
inline uint64_t unplainAscii8(uint64_t x) {
    const uint64_t quote = x ^ (kOnes * '"');
    const uint64_t backslash = x ^ (kOnes * '\\');
    const uint64_t found = ((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) |
                           ((x - kOnes * 0x20) & ~x) | x;
    return found & kHighs;
}

// White space of the C locale.
inline bool isSpace(char ch) {
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

inline bool isDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

// Appends a run of UTF-8 bytes as UTF-16 units; a malformed sequence reads as U+FFFD.
void appendUTF8Run(const unsigned char* p, const unsigned char* end, std::u16string& into) {
    // ASCII, the usual case, unit for unit into room made once.
    const unsigned char* ascii = p;
    while (end - ascii >= 8 && (load8(reinterpret_cast<const char*>(ascii)) & kHighs) == 0)
        ascii += 8;
    while (ascii < end && *ascii < 0x80)
        ++ascii;
    if (ascii != p) {
        size_t at = into.size();
        into.resize(at + static_cast<size_t>(ascii - p));
        std::copy(p, ascii, into.begin() + static_cast<std::ptrdiff_t>(at));
        p = ascii;
        if (p == end) return;
    }
    into.reserve(into.size() + static_cast<size_t>(end - p));
    while (p < end) {
        unsigned char b = *p;
        if (b < 0x80) {
            into.push_back(b);
            ++p;
            continue;
        }
        int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
        uint32_t cp = b & (0x3F >> extra);
        bool ok = extra > 0 && b < 0xF5 && end - p > extra;
        for (int i = 1; ok && i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        static const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (ok && (cp < least[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (!ok) {
            into.push_back(0xFFFD);
            ++p;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            into.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            into.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            into.push_back(static_cast<char16_t>(cp));
        }
        p += extra + 1;
    }
}

template <class... A>
Ref<NSString> format(NSString* pattern, const A&... args) {
    return NSString::stringWithFormat(pattern, args...);
}

}  // namespace

Ref<NSObject> PJsonParser::objectWithString(NSString* text) {
    auto value = fragmentWithString(text);
    if (value && !is<NSDictionary>(value) && !is<NSArray>(value)) {
        fail(PJsonNotAContainer, NS("Valid fragment, but not JSON"));
        return nullptr;
    }
    return value;
}

Ref<NSObject> PJsonParser::fragmentWithString(NSString* text) {
    clearErrorTrace();
    if (!text) {
        fail(PJsonNoInput, NS("Input was 'nil'"));
        return nullptr;
    }
    // Text with unpaired surrogates has no UTF-8 form: they read as U+FFFD.
    std::string utf8 = text->utf8();
    keys_.forget();  // in case an earlier call was left by an exception
    numbers_.forget();
    members_.clear();
    elements_.clear();
    depth_ = 0;
    c_ = utf8.c_str();
    end_ = c_ + utf8.size();
    Ref<NSObject> value;
    bool ok = scanValue(&value);
    if (ok && !scanIsAtEnd()) ok = fail(PJsonGarbage, NS("Garbage after JSON"));
    c_ = end_ = nullptr;
    keys_.forget();
    numbers_.forget();
    members_.clear();
    elements_.clear();  // what a failed parse left
    return ok ? value : nullptr;
}

NSObject* PJsonParser::Repeats::find(std::string_view bytes, size_t* slot) {
    if (slots_.empty()) slots_.resize(kSlots);
    // Half full is full enough: probes stay short.
    if (used_.size() >= kSlots / 2) return nullptr;
    // The length and the first and last eight bytes (or all of a shorter text), mixed by one
    // multiplication: enough to tell a reply's keys and numbers apart, which are then compared
    // whole.
    const char* p = bytes.data();
    const size_t n = bytes.size();
    uint64_t head = 0;
    uint64_t tail = 0;
    if (n >= 8) {
        head = load8(p);
        tail = load8(p + n - 8);
    } else if (n >= 4) {
        uint32_t first, last;
        std::memcpy(&first, p, sizeof first);
        std::memcpy(&last, p + n - 4, sizeof last);
        head = first | (uint64_t{last} << 32);
    } else if (n > 0) {
        head = static_cast<unsigned char>(p[0]) | (static_cast<unsigned char>(p[n / 2]) << 8) |
               (static_cast<unsigned char>(p[n - 1]) << 16);
    }
    const uint64_t mixed = (head ^ (tail * 0x9E3779B97F4A7C15ull) ^ n) * 0xFF51AFD7ED558CCDull;
    for (size_t i = static_cast<size_t>(mixed >> 40) & (kSlots - 1);; i = (i + 1) & (kSlots - 1)) {
        Slot& entry = slots_[i];
        if (!entry.value) {
            *slot = i;
            return nullptr;
        }
        if (entry.bytes == bytes) return entry.value.get();
    }
}

void PJsonParser::Repeats::remember(size_t slot, std::string_view bytes, NSObject* value) {
    slots_[slot] = Slot{bytes, Ref<NSObject>(value)};
    used_.push_back(static_cast<uint16_t>(slot));
}

void PJsonParser::Repeats::forget() {
    for (uint16_t slot : used_)
        slots_[slot] = Slot{};
    used_.clear();
}

const char* PJsonParser::endOfPlainRun(const char* p) {
    const bool* stops = stopTable().stops;
    for (;;) {
        // Eight bytes at a time while the text lasts, straight to the first one that is not
        // plain ASCII: a stop, or a non-ASCII byte taken on its own.
        while (end_ - p >= 8) {
            const uint64_t marks = unplainAscii8(load8(p));
            if (!marks) {
                p += 8;
                continue;
            }
            if constexpr (std::endian::native == std::endian::little)
                p += std::countr_zero(marks) / 8;
            break;
        }
        if (stops[static_cast<unsigned char>(*p)]) return p;
        ++p;
    }
}

void PJsonParser::skipWhitespace() {
    while (isSpace(*c_))
        ++c_;
}

bool PJsonParser::scanIsAtEnd() {
    skipWhitespace();
    return *c_ == '\0';
}

bool PJsonParser::scanValue(Ref<NSObject>* out) {
    skipWhitespace();
    char ch = *c_;
    if (ch == '\0') return fail(PJsonEndOfInput, NS("Unexpected end of string"));
    ++c_;
    switch (ch) {
        case '"':
            return scanRestOfString(out);
        case '{':
            return scanRestOfDictionary(out);
        case '[':
            return scanRestOfArray(out);
        case 't':
            return scanRestOfTrue(out);
        case 'f':
            return scanRestOfFalse(out);
        case 'n':
            return scanRestOfNull(out);
        case '+':
            return fail(PJsonBadNumber, NS("Leading + disallowed in number"));
        default:
            if (ch == '-' || isDigit(ch)) {
                --c_;
                return scanNumber(out);
            }
            return fail(PJsonParseError, NS("Unrecognised leading character"));
    }
}

// Literals are matched byte for byte; what follows them is the caller's business.
bool PJsonParser::scanRestOfTrue(Ref<NSObject>* out) {
    if (std::strncmp(c_, "rue", 3) != 0) return fail(PJsonParseError, NS("Expected 'true'"));
    c_ += 3;
    *out = NSNumber::numberWithBool(true);
    return true;
}

bool PJsonParser::scanRestOfFalse(Ref<NSObject>* out) {
    if (std::strncmp(c_, "alse", 4) != 0) return fail(PJsonParseError, NS("Expected 'false'"));
    c_ += 4;
    *out = NSNumber::numberWithBool(false);
    return true;
}

bool PJsonParser::scanRestOfNull(Ref<NSObject>* out) {
    if (std::strncmp(c_, "ull", 3) != 0) return fail(PJsonParseError, NS("Expected 'null'"));
    c_ += 3;
    *out = NSNull::null();
    return true;
}

bool PJsonParser::scanRestOfDictionary(Ref<NSObject>* out) {
    if (!enterContainer()) return false;
    // Members are gathered on the parser's stack and handed over whole, in a block of exactly
    // their number: the dictionary takes the entries as its table instead of growing one
    // insertion at a time.
    const size_t base = members_.size();
    while (*c_) {
        skipWhitespace();
        if (*c_ == '}') {
            ++c_;
            --depth_;
            const auto first = members_.begin() + static_cast<std::ptrdiff_t>(base);
            std::vector<collection_detail::HashTable::Entry> members(
                std::make_move_iterator(first), std::make_move_iterator(members_.end()));
            members_.erase(first, members_.end());
            *out = NSMutableDictionary::dictionaryWithEntries(std::move(members));
            return true;
        }
        Ref<NSObject> key;
        if (*c_ != '"') return fail(PJsonParseError, NS("Object key string expected"));
        ++c_;
        const char* start = c_;
        const char* end = endOfPlainRun(start);
        std::string_view plain;
        size_t slot = Repeats::kSlots;
        if (*end == '"') {
            plain = std::string_view(start, static_cast<size_t>(end - start));
            if (NSObject* known = keys_.find(plain, &slot)) {
                key = known;
                c_ = end + 1;
            }
        }
        if (!key) {
            if (!scanRestOfString(&key, true))
                return fail(PJsonParseError, NS("Object key string expected"), true);
            if (slot < Repeats::kSlots) keys_.remember(slot, plain, key);
        }
        skipWhitespace();
        if (*c_ != ':') return fail(PJsonParseError, NS("Expected ':' separating key and value"));
        ++c_;
        Ref<NSObject> value;
        if (!scanValue(&value))
            return fail(PJsonParseError, format(NS("Object value expected for key: %@"), key),
                        true);
        members_.push_back({std::move(key), std::move(value), 0});
        skipWhitespace();
        // The separator is optional: members may follow one another after white space alone.
        if (*c_ == ',') {
            ++c_;
            skipWhitespace();
            if (*c_ == '}')
                return fail(PJsonTrailingComma, NS("Trailing comma disallowed in object"));
        }
    }
    return fail(PJsonEndOfInput, NS("End of input while parsing object"));
}

bool PJsonParser::scanRestOfArray(Ref<NSObject>* out) {
    if (!enterContainer()) return false;
    // Elements are gathered on the parser's stack as members are, and handed over whole.
    const size_t base = elements_.size();
    while (*c_) {
        skipWhitespace();
        if (*c_ == ']') {
            ++c_;
            --depth_;
            const auto first = elements_.begin() + static_cast<std::ptrdiff_t>(base);
            std::vector<Ref<NSObject>> elements(std::make_move_iterator(first),
                                                std::make_move_iterator(elements_.end()));
            elements_.erase(first, elements_.end());
            *out = NSMutableArray::arrayWithVector(std::move(elements));
            return true;
        }
        Ref<NSObject> value;
        if (!scanValue(&value))
            return fail(PJsonParseError, NS("Expected value while parsing array"), true);
        elements_.push_back(std::move(value));
        skipWhitespace();
        if (*c_ == ',') {
            ++c_;
            skipWhitespace();
            if (*c_ == ']')
                return fail(PJsonTrailingComma, NS("Trailing comma disallowed in array"));
        }
    }
    return fail(PJsonEndOfInput, NS("End of input while parsing array"));
}

bool PJsonParser::scanRestOfString(Ref<NSObject>* out, bool isKey) {
    std::u16string& units = units_;
    units.clear();
    for (;;) {
        // One run of plain bytes, decoded in one step.
        const char* run = c_;
        c_ = endOfPlainRun(c_);
        if (c_ != run) {
            appendUTF8Run(reinterpret_cast<const unsigned char*>(run),
                          reinterpret_cast<const unsigned char*>(c_), units);
        }
        char ch = *c_;
        if (ch == '"') {
            ++c_;
            // A key is made immutable at once: the dictionary would store an immutable copy.
            if (isKey)
                *out = NSString::compactStringWithUnits(units);
            else
                *out = NSMutableString::compactStringWithUnits(units);
            return true;
        }
        if (ch == '\0') return fail(PJsonEndOfInput, NS("Unexpected EOF while parsing string"));
        if (ch != '\\')
            return fail(PJsonControlCharacter,
                        format(NS("Unescaped control character '0x%x'"), static_cast<int>(ch)));
        char escape = c_[1];
        switch (escape) {
            case '"':
            case '/':
            case '\\':
                units.push_back(static_cast<char16_t>(escape));
                break;
            case 'b':
                units.push_back(u'\b');
                break;
            case 'f':
                units.push_back(u'\f');
                break;
            case 'n':
                units.push_back(u'\n');
                break;
            case 'r':
                units.push_back(u'\r');
                break;
            case 't':
                units.push_back(u'\t');
                break;
            case 'u':
                c_ += 2;
                if (!scanUnicodeChar(&units))
                    return fail(PJsonBadUnicodeEscape, NS("Broken unicode character"), true);
                continue;
            default:
                return fail(PJsonBadEscape, format(NS("Illegal escape sequence '0x%x'"),
                                                   static_cast<unsigned char>(escape)));
        }
        c_ += 2;
    }
}

bool PJsonParser::scanHexQuad(char16_t* out) {
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
        char ch = c_[i];
        unsigned digit;
        if (isDigit(ch))
            digit = static_cast<unsigned>(ch - '0');
        else if (ch >= 'a' && ch <= 'f')
            digit = static_cast<unsigned>(ch - 'a' + 10);
        else if (ch >= 'A' && ch <= 'F')
            digit = static_cast<unsigned>(ch - 'A' + 10);
        else
            return fail(PJsonBadUnicodeEscape, NS("Missing hex digit in quad"));
        value = value * 16 + digit;
    }
    c_ += 4;
    *out = static_cast<char16_t>(value);
    return true;
}

bool PJsonParser::scanUnicodeChar(std::u16string* into) {
    char16_t high = 0;
    if (!scanHexQuad(&high)) return fail(PJsonBadUnicodeEscape, NS("Missing hex quad"));
    if (high >= 0xDC00 && high <= 0xDFFF)
        return fail(PJsonBadUnicodeEscape, NS("Invalid high character in surrogate pair"));
    if (high >= 0xD800 && high <= 0xDBFF) {
        if (c_[0] != '\\' || c_[1] != 'u')
            return fail(PJsonBadUnicodeEscape, NS("Missing low character in surrogate pair"));
        c_ += 2;
        char16_t low = 0;
        if (!scanHexQuad(&low))
            return fail(PJsonBadUnicodeEscape, NS("Missing low character in surrogate pair"), true);
        if (low < 0xDC00 || low > 0xDFFF)
            return fail(PJsonBadUnicodeEscape, NS("Invalid low surrogate char"));
        into->push_back(high);
        into->push_back(low);
        return true;
    }
    into->push_back(high);
    return true;
}

bool PJsonParser::scanNumber(Ref<NSObject>* out) {
    const char* start = c_;
    if (*c_ == '-') ++c_;
    if (*c_ == '0') {
        ++c_;
        if (isDigit(*c_)) return fail(PJsonBadNumber, NS("Leading 0 disallowed in number"));
    } else {
        if (!isDigit(*c_)) return fail(PJsonBadNumber, NS("No digits after initial minus"));
        while (isDigit(*c_))
            ++c_;
    }
    if (*c_ == '.') {
        ++c_;
        if (!isDigit(*c_)) return fail(PJsonBadNumber, NS("No digits after decimal point"));
        while (isDigit(*c_))
            ++c_;
    }
    if (*c_ == 'e' || *c_ == 'E') {
        ++c_;
        if (*c_ == '+' || *c_ == '-') ++c_;
        if (!isDigit(*c_)) return fail(PJsonBadNumber, NS("No digits after exponent"));
        while (isDigit(*c_))
            ++c_;
    }
    std::string_view bytes(start, static_cast<size_t>(c_ - start));
    size_t slot = Repeats::kSlots;
    if (NSObject* known = numbers_.find(bytes, &slot)) {
        *out = known;
        return true;
    }
    auto number = NSDecimalNumber::decimalNumberWithUTF8(bytes);
    // Beyond the decimal type's range: refused rather than kept as a NaN no writer can write.
    if (!number || number->isNaN())
        return fail(PJsonBadNumber, NS("Failed creating decimal instance"));
    if (slot < Repeats::kSlots) numbers_.remember(slot, bytes, number);
    *out = number;
    return true;
}
