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

#if defined(__x86_64__)
#include <emmintrin.h>
#define BN_PJSON_SSE2 1
#endif

namespace {

inline uint64_t load8(const char* p) {
    uint64_t x;
    std::memcpy(&x, p, sizeof x);
    return x;
}

// Whether two short texts are equal, compared in words rather than through a library call: the
// texts are keys and numbers, a few words long.
inline bool sameBytes(std::string_view a, std::string_view b) {
    const size_t n = a.size();
    if (n != b.size()) return false;
    const char* p = a.data();
    const char* q = b.data();
    if (n >= 8) {
        for (size_t i = 0; i + 8 < n; i += 8)
            if (load8(p + i) != load8(q + i)) return false;
        return load8(p + n - 8) == load8(q + n - 8);
    }
    if (n >= 4) {
        uint32_t x[2], y[2];
        std::memcpy(&x[0], p, 4);
        std::memcpy(&x[1], p + n - 4, 4);
        std::memcpy(&y[0], q, 4);
        std::memcpy(&y[1], q + n - 4, 4);
        return x[0] == y[0] && x[1] == y[1];
    }
    for (size_t i = 0; i < n; ++i)
        if (p[i] != q[i]) return false;
    return true;
}

// Four UTF-16 units at a time, one per 16-bit lane.
constexpr uint64_t kLanes = 0x0001000100010001ull;
constexpr uint64_t kLaneHighs = 0x8000800080008000ull;

inline uint64_t load4(const char16_t* p) {
    uint64_t x;
    std::memcpy(&x, p, sizeof x);
    return x;
}

// The lanes among four units that end a plain run (a quotation mark, backslash or control
// character) or hold a surrogate, each marked by its high bit. The lowest mark is exact; marks
// above it may be spurious.
inline uint64_t unplain4(uint64_t x) {
    const uint64_t quote = x ^ (kLanes * '"');
    const uint64_t backslash = x ^ (kLanes * '\\');
    const uint64_t surrogate = (x & (kLanes * 0xF800)) ^ (kLanes * 0xD800);
    const uint64_t found = ((quote - kLanes) & ~quote) | ((backslash - kLanes) & ~backslash) |
                           ((x - kLanes * 0x20) & ~x) | ((surrogate - kLanes) & ~surrogate);
    return found & kLaneHighs;
}

#if defined(BN_PJSON_SSE2)
// The same over eight units, as a mask of two bits per unit: what every x86-64 processor does
// in a few instructions.
inline unsigned unplain8(const char16_t* p) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i quote = _mm_cmpeq_epi16(x, _mm_set1_epi16('"'));
    const __m128i backslash = _mm_cmpeq_epi16(x, _mm_set1_epi16('\\'));
    // Below 0x20 exactly when taking 0x1F away leaves nothing.
    const __m128i control =
        _mm_cmpeq_epi16(_mm_subs_epu16(x, _mm_set1_epi16(0x1F)), _mm_setzero_si128());
    const __m128i surrogate =
        _mm_cmpeq_epi16(_mm_and_si128(x, _mm_set1_epi16(static_cast<short>(0xF800))),
                        _mm_set1_epi16(static_cast<short>(0xD800)));
    return static_cast<unsigned>(_mm_movemask_epi8(
        _mm_or_si128(_mm_or_si128(quote, backslash), _mm_or_si128(control, surrogate))));
}
#endif

// The first unit at or after p that may end a plain run, many units at a time while the text
// lasts; where fewer are left, p itself.
inline const char16_t* firstMark(const char16_t* p, const char16_t* end) {
#if defined(BN_PJSON_SSE2)
    for (; end - p >= 8; p += 8)
        if (const unsigned marks = unplain8(p)) return p + std::countr_zero(marks) / 2;
#endif
    for (; end - p >= 4; p += 4) {
        if (const uint64_t marks = unplain4(load4(p))) {
            if constexpr (std::endian::native == std::endian::little)
                return p + std::countr_zero(marks) / 16;
            return p;
        }
    }
    return p;
}

inline bool isSurrogate(char16_t ch) {
    return ch >= 0xD800 && ch <= 0xDFFF;
}

inline bool isLeadSurrogate(char16_t ch) {
    return ch >= 0xD800 && ch <= 0xDBFF;
}

inline bool isTrailSurrogate(char16_t ch) {
    return ch >= 0xDC00 && ch <= 0xDFFF;
}

// White space of the C locale.
inline bool isSpace(char16_t ch) {
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

inline bool isDigit(char16_t ch) {
    return ch >= '0' && ch <= '9';
}

// Whether the units at p spell the ASCII word; the text's NUL stops the comparison.
inline bool spells(const char16_t* p, const char* word) {
    for (; *word; ++p, ++word)
        if (*p != static_cast<unsigned char>(*word)) return false;
    return true;
}

// The first byte of the character at p in UTF-8, an unpaired surrogate being U+FFFD: errors
// name a character by the byte that starts it.
unsigned leadByte(const char16_t* p) {
    const char16_t ch = p[0];
    if (ch < 0x80) return ch;
    if (ch < 0x800) return 0xC0u | (ch >> 6);
    if (isLeadSurrogate(ch) && isTrailSurrogate(p[1])) {
        const uint32_t cp = 0x10000u + ((ch - 0xD800u) << 10) + (p[1] - 0xDC00u);
        return 0xF0u | (cp >> 18);
    }
    if (isSurrogate(ch)) return 0xEF;
    return 0xE0u | (ch >> 12);
}

// The bytes of units, as the repeat tables compare them.
inline std::string_view bytesOf(const char16_t* p, size_t n) {
    return std::string_view(reinterpret_cast<const char*>(p), n * sizeof(char16_t));
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
    const NSUInteger length = text->length();
    const char16_t* units = text->terminatedCharactersPtr();
    if (!units) {
        text_.resize(length);
        if (length) text->getCharacters(text_.data(), NSMakeRange(0, length));
        units = text_.c_str();
    }
    keys_.forget();  // in case an earlier call was left by an exception
    numbers_.forget();
    members_.clear();
    elements_.clear();
    depth_ = 0;
    c_ = units;
    end_ = c_ + length;
    Ref<NSObject> value;
    bool ok = scanValue(&value);
    if (ok && !scanIsAtEnd()) ok = fail(PJsonGarbage, NS("Garbage after JSON"));
    c_ = end_ = nullptr;
    keys_.forget();
    numbers_.forget();
    members_.clear();
    elements_.clear();  // what a failed parse left
    // A very long text's room is not kept for the next call.
    if (text_.capacity() > kKeptTextUnits) std::u16string().swap(text_);
    return ok ? value : nullptr;
}

NSObject* PJsonParser::Repeats::find(std::string_view bytes, size_t* slot, NSUInteger* hash) {
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
        if (sameBytes(entry.bytes, bytes)) {
            if (hash) *hash = entry.hash;
            return entry.value.get();
        }
    }
}

void PJsonParser::Repeats::remember(size_t slot, std::string_view bytes, NSObject* value,
                                    NSUInteger hash) {
    slots_[slot] = Slot{bytes, Ref<NSObject>(value), hash};
    used_.push_back(static_cast<uint16_t>(slot));
}

void PJsonParser::Repeats::forget() {
    for (uint16_t slot : used_)
        slots_[slot] = Slot{};
    used_.clear();
}

const char16_t* PJsonParser::endOfPlainRun(const char16_t* p) {
    for (;;) {
        p = firstMark(p, end_);
        const char16_t ch = *p;
        if (ch < 0x80) {
            // The quotation mark, the backslash and the control characters, the text's NUL
            // among them, end the run.
            if (ch < 0x20 || ch == '"' || ch == '\\') return p;
        } else if (isSurrogate(ch)) {
            // A pair is one plain character; the text's NUL follows its last unit.
            if (!isLeadSurrogate(ch) || !isTrailSurrogate(p[1])) return p;
            ++p;
        }
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
    const char16_t ch = *c_;
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
    if (!spells(c_, "rue")) return fail(PJsonParseError, NS("Expected 'true'"));
    c_ += 3;
    *out = NSNumber::numberWithBool(true);
    return true;
}

bool PJsonParser::scanRestOfFalse(Ref<NSObject>* out) {
    if (!spells(c_, "alse")) return fail(PJsonParseError, NS("Expected 'false'"));
    c_ += 4;
    *out = NSNumber::numberWithBool(false);
    return true;
}

bool PJsonParser::scanRestOfNull(Ref<NSObject>* out) {
    if (!spells(c_, "ull")) return fail(PJsonParseError, NS("Expected 'null'"));
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
            // Keys are immutable strings whose hashes are known: the dictionary need not ask.
            *out = NSMutableDictionary::dictionaryWithHashedEntries(std::move(members));
            return true;
        }
        Ref<NSObject> key;
        NSUInteger hash = 0;
        if (*c_ != '"') return fail(PJsonParseError, NS("Object key string expected"));
        ++c_;
        const char16_t* start = c_;
        const char16_t* end = endOfPlainRun(start);
        if (*end == '"') {
            // No escapes: a key read before is shared, a new one is made from the units at
            // hand and remembered.
            const std::string_view plain = bytesOf(start, static_cast<size_t>(end - start));
            size_t slot = Repeats::kSlots;
            if (NSObject* known = keys_.find(plain, &slot, &hash)) {
                key = known;
            } else {
                key = NSString::compactStringWithUnits(
                    std::u16string_view(start, static_cast<size_t>(end - start)));
                hash = key->hash();
                if (slot < Repeats::kSlots) keys_.remember(slot, plain, key, hash);
            }
            c_ = end + 1;
        } else {
            if (!scanRestOfString(&key, true))
                return fail(PJsonParseError, NS("Object key string expected"), true);
            hash = key->hash();
        }
        skipWhitespace();
        if (*c_ != ':') return fail(PJsonParseError, NS("Expected ':' separating key and value"));
        ++c_;
        Ref<NSObject> value;
        if (!scanValue(&value))
            return fail(PJsonParseError, format(NS("Object value expected for key: %@"), key),
                        true);
        members_.push_back({std::move(key), std::move(value), hash});
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
    // A key is made immutable at once: the dictionary would store an immutable copy.
    auto make = [&](std::u16string_view units) {
        if (isKey)
            *out = NSString::compactStringWithUnits(units);
        else
            *out = NSMutableString::compactStringWithUnits(units);
    };
    const char16_t* run = c_;
    c_ = endOfPlainRun(c_);
    // Most strings are one plain run, taken straight from the text.
    if (*c_ == '"') {
        make(std::u16string_view(run, static_cast<size_t>(c_ - run)));
        ++c_;
        return true;
    }
    std::u16string& units = units_;
    units.assign(run, static_cast<size_t>(c_ - run));
    for (;;) {
        const char16_t ch = *c_;
        if (ch == '"') {
            ++c_;
            make(units);
            return true;
        }
        if (ch == '\0') return fail(PJsonEndOfInput, NS("Unexpected EOF while parsing string"));
        if (isSurrogate(ch)) {
            // An unpaired surrogate is no character: it reads as U+FFFD.
            units.push_back(0xFFFD);
            ++c_;
        } else if (ch != '\\') {
            return fail(PJsonControlCharacter,
                        format(NS("Unescaped control character '0x%x'"), static_cast<int>(ch)));
        } else {
            const char16_t escape = c_[1];
            switch (escape) {
                case '"':
                case '/':
                case '\\':
                    units.push_back(escape);
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
                    c_ -= 2;
                    break;
                default:
                    return fail(PJsonBadEscape,
                                format(NS("Illegal escape sequence '0x%x'"), leadByte(c_ + 1)));
            }
            c_ += 2;
        }
        run = c_;
        c_ = endOfPlainRun(c_);
        units.append(run, static_cast<size_t>(c_ - run));
    }
}

bool PJsonParser::scanHexQuad(char16_t* out) {
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
        const char16_t ch = c_[i];
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
    const char16_t* start = c_;
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
    const size_t length = static_cast<size_t>(c_ - start);
    const std::string_view bytes = bytesOf(start, length);
    size_t slot = Repeats::kSlots;
    if (NSObject* known = numbers_.find(bytes, &slot)) {
        *out = known;
        return true;
    }
    // The number's units are ASCII by now.
    std::string& ascii = numberText_;
    ascii.resize(length);
    for (size_t i = 0; i < length; ++i)
        ascii[i] = static_cast<char>(start[i]);
    auto number = NSDecimalNumber::decimalNumberWithUTF8(ascii);
    // Beyond the decimal type's range: refused rather than kept as a NaN no writer can write.
    if (!number || number->isNaN())
        return fail(PJsonBadNumber, NS("Failed creating decimal instance"));
    if (slot < Repeats::kSlots) numbers_.remember(slot, bytes, number);
    *out = number;
    return true;
}
