#include "Foundation/NSString.h"

#include <unicode/ubrk.h>
#include <unicode/ucasemap.h>
#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cassert>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <typeinfo>
#include <unordered_map>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSData.h"
#include "Foundation/NSException.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/Runtime.h"
#include "Foundation/TextSupport.h"
#include "Foundation/UnitSearch.h"

namespace {

// The string hash: FNV-1a over the units' bytes, low byte first. A unit below 256 leaves its high
// byte's step a plain second multiplication, which folds into one by the prime's square.
constexpr uint32_t kHashBasis = 2166136261u;
constexpr uint32_t kHashPrime = 16777619u;
constexpr uint32_t hashNarrowUnit(uint32_t h, uint32_t unit) {
    return (h ^ unit) * (kHashPrime * kHashPrime);
}

// ---- access to the units ---------------------------------------------------------------

// The UTF-16 units of a string for the length of one operation: in place when the string keeps
// them contiguous, otherwise copied out through getCharacters.
class Units {
public:
    explicit Units(NSString* s) : n_(s->length()), p_(s->charactersPtr()) {
        if (!p_) {
            buf_.resize(n_);
            if (n_) s->getCharacters(buf_.data(), NSMakeRange(0, n_));
            p_ = buf_.data();
        }
    }
    Units(const Units&) = delete;
    Units& operator=(const Units&) = delete;

    const char16_t* data() const { return p_; }
    NSUInteger size() const { return n_; }
    std::u16string_view view() const { return {p_, n_}; }
    char16_t operator[](size_t i) const { return p_[i]; }

private:
    NSUInteger n_;
    const char16_t* p_;
    std::u16string buf_;
};

// The code point at i (a whole surrogate pair when one starts there, below `end`); `next` is
// the index after it.
inline uint32_t codePointAt(const char16_t* p, size_t i, size_t end, size_t& next) {
    char16_t c = p[i];
    if (U16_IS_LEAD(c) && i + 1 < end && U16_IS_TRAIL(p[i + 1])) {
        next = i + 2;
        return U16_GET_SUPPLEMENTARY(c, p[i + 1]);
    }
    next = i + 1;
    return c;
}

// The code point that ends just before `end` (not reaching below `begin`); `start` is its index.
inline uint32_t codePointBefore(const char16_t* p, size_t begin, size_t end, size_t& start) {
    char16_t c = p[end - 1];
    if (U16_IS_TRAIL(c) && end - 1 > begin && U16_IS_LEAD(p[end - 2])) {
        start = end - 2;
        return U16_GET_SUPPLEMENTARY(p[end - 2], c);
    }
    start = end - 1;
    return c;
}

inline void appendCodePoint(std::u16string& out, uint32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        out.push_back(static_cast<char16_t>(U16_LEAD(c)));
        out.push_back(static_cast<char16_t>(U16_TRAIL(c)));
    }
}

inline bool isASCII(std::u16string_view v) {
    for (char16_t c : v) {
        if (c >= 0x80) return false;
    }
    return true;
}

// Simple case folding, one code point to one, so that matched ranges map back to the text.
inline uint32_t foldChar(uint32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    return static_cast<uint32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
}

// ---- errors ------------------------------------------------------------------------------

[[noreturn]] void raiseRange(const char* method, NSRange r, NSUInteger len) {
    NSException::raise(NSRangeException,
                       NS("-[__NSCFString %s]: Range {%u, %u} out of bounds; string length %u"),
                       method, r.location, r.length, len);
}

inline void checkRange(const char* method, NSRange r, NSUInteger len) {
    if (r.location > len || r.length > len - r.location) raiseRange(method, r, len);
}

[[noreturn]] void raiseIndex(const char* method, NSUInteger index, NSUInteger len) {
    NSException::raise(NSRangeException,
                       NS("-[__NSCFString %s]: Index %u out of bounds; string length %u"), method,
                       index, len);
}

[[noreturn]] void raiseNil(const char* method) {
    NSException::raise(NSInvalidArgumentException, NS("-[__NSCFString %s]: nil argument"), method);
}

inline Ref<NSString> makeString(std::u16string_view v) {
    return NSString::fromUTF16(v);
}

// ---- compact strings ---------------------------------------------------------------------

// The units follow the object in the same allocation. A mutable one answers from them until its
// first change, which moves the text into the default storage for good.
template <class Base>
class CompactString : public Base {
public:
    template <class Final>
    static Ref<Base> make(std::u16string_view units) {
        static_assert(sizeof(Final) == sizeof(CompactString), "the units must follow the object");
        void* memory = objc_detail::allocateObject(sizeof(Final) + units.size() * sizeof(char16_t));
        auto* s = new (memory) Final();
        s->count_ = static_cast<NSUInteger>(units.size());
        if (!units.empty()) std::memcpy(s->units(), units.data(), units.size() * sizeof(char16_t));
        return Ref<Base>::adopt(s);
    }
    // The same from ASCII bytes, widened unit for unit into the object's own allocation.
    template <class Final>
    static Ref<Base> makeWidened(const uint8_t* ascii, size_t count) {
        static_assert(sizeof(Final) == sizeof(CompactString), "the units must follow the object");
        void* memory = objc_detail::allocateObject(sizeof(Final) + count * sizeof(char16_t));
        auto* s = new (memory) Final();
        s->count_ = static_cast<NSUInteger>(count);
        char16_t* w = s->units();
        for (size_t i = 0; i < count; ++i)
            w[i] = ascii[i];
        return Ref<Base>::adopt(s);
    }

    NSUInteger length() override { return inPlace_ ? count_ : Base::length(); }
    char16_t characterAtIndex(NSUInteger index) override {
        if (!inPlace_) return Base::characterAtIndex(index);
        if (index >= count_) raiseIndex("characterAtIndex:", index, count_);
        return units()[index];
    }
    void getCharacters(char16_t* buffer, NSRange range) override {
        if (!inPlace_) return Base::getCharacters(buffer, range);
        checkRange("getCharacters:range:", range, count_);
        if (range.length)
            std::memcpy(buffer, units() + range.location, range.length * sizeof(char16_t));
    }
    const char16_t* charactersPtr() override { return inPlace_ ? units() : Base::charactersPtr(); }

protected:
    char16_t* units() {
        return reinterpret_cast<char16_t*>(reinterpret_cast<char*>(this) + sizeof(CompactString));
    }
    // Moves the text into the default storage; the units in place are not used again.
    void leavePlace() {
        if (!inPlace_) return;
        this->s_.assign(units(), count_);
        inPlace_ = false;
    }

private:
    NSUInteger count_ = 0;
    bool inPlace_ = true;
};

class CompactImmutableString final : public CompactString<NSString> {};

class CompactMutableString final : public CompactString<NSMutableString> {
protected:
    void willChangeText() override { leavePlace(); }
};

// The receiver itself when it is an immutable plain string (nothing can change it), otherwise an
// immutable copy of its units.
Ref<NSString> selfOrCopy(NSString* self, const Units& u) {
    if (self->hasFixedText()) return Ref<NSString>(self);
    return makeString(u.view());
}

// ---- ICU helpers kept per thread ---------------------------------------------------------

// One ICU service object per thread, opened on first use; a failed open is not retried.
template <class T, void (*Close)(T*)>
struct IcuHolder {
    T* object = nullptr;
    bool failed = false;
    ~IcuHolder() {
        if (object) Close(object);
    }
    template <class Open>
    T* get(Open open) {
        if (!object && !failed) {
            UErrorCode e = U_ZERO_ERROR;
            object = open(&e);
            if (U_FAILURE(e)) {
                if (object) Close(object);
                object = nullptr;
                failed = true;
            }
        }
        return object;
    }
};

UCollator* collator(bool caseInsensitive) {
    thread_local IcuHolder<UCollator, ucol_close> holders[2];
    return holders[caseInsensitive ? 1 : 0].get([caseInsensitive](UErrorCode* e) {
        UCollator* c = ucol_open("en", e);
        if (U_SUCCESS(*e) && caseInsensitive) ucol_setStrength(c, UCOL_SECONDARY);
        return c;
    });
}

UBreakIterator* characterBreaks() {
    thread_local IcuHolder<UBreakIterator, ubrk_close> h;
    return h.get([](UErrorCode* e) { return ubrk_open(UBRK_CHARACTER, "", nullptr, 0, e); });
}

// Titlecasing of one word at a time: the first cased letter up, the rest down.
UCaseMap* wordTitleCaser() {
    thread_local IcuHolder<UCaseMap, ucasemap_close> h;
    return h.get([](UErrorCode* e) { return ucasemap_open("", U_TITLECASE_WHOLE_STRING, e); });
}

// Runs an ICU string transformation that reports the length it needs.
template <class F>
std::u16string icuTransform(std::u16string_view src, F f) {
    std::u16string out(src.size() + src.size() / 2 + 8, u'\0');
    UErrorCode e = U_ZERO_ERROR;
    int32_t n = f(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                  reinterpret_cast<const UChar*>(src.data()), static_cast<int32_t>(src.size()), &e);
    if (e == U_BUFFER_OVERFLOW_ERROR) {
        out.assign(static_cast<size_t>(n), u'\0');
        e = U_ZERO_ERROR;
        n = f(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
              reinterpret_cast<const UChar*>(src.data()), static_cast<int32_t>(src.size()), &e);
    }
    if (U_FAILURE(e)) return std::u16string(src);
    out.resize(static_cast<size_t>(n));
    return out;
}

std::u16string foldFull(std::u16string_view s) {
    return icuTransform(s, [](UChar* d, int32_t cap, const UChar* src, int32_t len, UErrorCode* e) {
        return u_strFoldCase(d, cap, src, len, U_FOLD_CASE_DEFAULT, e);
    });
}

std::u16string decomposed(std::u16string_view s) {
    UErrorCode e = U_ZERO_ERROR;
    const UNormalizer2* nfd = unorm2_getNFDInstance(&e);
    if (U_FAILURE(e)) return std::u16string(s);
    return icuTransform(
        s, [nfd](UChar* d, int32_t cap, const UChar* src, int32_t len, UErrorCode* err) {
            return unorm2_normalize(nfd, src, len, d, cap, err);
        });
}

// ---- encodings ---------------------------------------------------------------------------

// Windows-1252 differs from Latin-1 in 0x80-0x9F; the five unassigned bytes map to the C1
// controls of the same value, as the system converters do.
const char16_t kCP1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

const char16_t kMacRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3,
    0x00E5, 0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3,
    0x00A7, 0x2022, 0x00B6, 0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA,
    0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D,
    0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE,
    0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

bool isSingleByte(NSStringEncoding enc) {
    return enc == NSASCIIStringEncoding || enc == NSISOLatin1StringEncoding ||
           enc == NSWindowsCP1252StringEncoding || enc == NSMacOSRomanStringEncoding;
}

// The byte for a code point in a single-byte encoding, or -1.
int byteFor(uint32_t c, NSStringEncoding enc) {
    if (c < 0x80) return static_cast<int>(c);
    switch (enc) {
        case NSISOLatin1StringEncoding:
            return c < 0x100 ? static_cast<int>(c) : -1;
        case NSWindowsCP1252StringEncoding:
            if (c >= 0xA0 && c < 0x100) return static_cast<int>(c);
            for (int i = 0; i < 32; ++i) {
                if (kCP1252High[i] == c) return 0x80 + i;
            }
            return -1;
        case NSMacOSRomanStringEncoding:
            for (int i = 0; i < 128; ++i) {
                if (kMacRomanHigh[i] == c) return 0x80 + i;
            }
            return -1;
        default:
            return -1;
    }
}

uint32_t charForByte(uint8_t b, NSStringEncoding enc) {
    if (b < 0x80) return b;
    if (enc == NSWindowsCP1252StringEncoding && b < 0xA0) return kCP1252High[b - 0x80];
    if (enc == NSMacOSRomanStringEncoding) return kMacRomanHigh[b - 0x80];
    return b;
}

void put16(std::string& out, uint32_t u, bool big) {
    char a = static_cast<char>(u >> 8), b = static_cast<char>(u & 0xFF);
    if (big) {
        out.push_back(a);
        out.push_back(b);
    } else {
        out.push_back(b);
        out.push_back(a);
    }
}

void put32(std::string& out, uint32_t u, bool big) {
    for (int k = 0; k < 4; ++k) {
        int shift = big ? 24 - 8 * k : 8 * k;
        out.push_back(static_cast<char>((u >> shift) & 0xFF));
    }
}

// Encodes units; false when a character has no representation and lossy is off. Lossy
// conversion puts '?' (U+FFFD in the Unicode encodings) for what cannot be represented.
bool encodeUnits(std::u16string_view s, NSStringEncoding enc, bool lossy, std::string& out) {
    const char16_t* p = s.data();
    size_t n = s.size();
    out.clear();
    if (isSingleByte(enc)) {
        out.reserve(n);
        for (size_t i = 0; i < n;) {
            size_t next;
            uint32_t c = codePointAt(p, i, n, next);
            i = next;
            int b = (enc == NSASCIIStringEncoding && c >= 0x80) ? -1 : byteFor(c, enc);
            if (b < 0) {
                if (!lossy) return false;
                b = '?';
            }
            out.push_back(static_cast<char>(b));
        }
        return true;
    }
    switch (enc) {
        case NSUTF8StringEncoding: {
            // Room for the most the units can take, counted without branches: one byte, two
            // from U+0080, three from U+0800 (a pair counts six for the four it takes).
            size_t bound = 0;
            for (size_t i = 0; i < n; ++i)
                bound += 1 + (p[i] >= 0x80) + (p[i] >= 0x800);
            out.resize(bound);
            char* w = out.data();
            for (size_t i = 0; i < n;) {
                // ASCII, most of any text, eight units at a time.
                while (i + 8 <= n) {
                    char16_t any = 0;
                    for (size_t k = 0; k < 8; ++k)
                        any |= p[i + k];
                    if (any >= 0x80) break;
                    for (size_t k = 0; k < 8; ++k)
                        w[k] = static_cast<char>(p[i + k]);
                    w += 8;
                    i += 8;
                }
                if (i == n) break;
                uint32_t c = p[i];
                if (c < 0x80) {
                    *w++ = static_cast<char>(c);
                    ++i;
                    continue;
                }
                size_t next;
                c = codePointAt(p, i, n, next);
                i = next;
                if (U_IS_SURROGATE(c)) {
                    if (!lossy) return false;
                    c = 0xFFFD;
                }
                if (c < 0x800) {
                    *w++ = static_cast<char>(0xC0 | (c >> 6));
                } else {
                    if (c < 0x10000) {
                        *w++ = static_cast<char>(0xE0 | (c >> 12));
                    } else {
                        *w++ = static_cast<char>(0xF0 | (c >> 18));
                        *w++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                    }
                    *w++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                }
                *w++ = static_cast<char>(0x80 | (c & 0x3F));
            }
            out.resize(static_cast<size_t>(w - out.data()));
            return true;
        }
        case NSUTF16StringEncoding:
        case NSUTF16BigEndianStringEncoding:
        case NSUTF16LittleEndianStringEncoding: {
            // The unmarked form is written in the machine's (little-endian) order with a BOM.
            bool big = enc == NSUTF16BigEndianStringEncoding;
            out.reserve(2 * n + 2);
            if (enc == NSUTF16StringEncoding) put16(out, 0xFEFF, big);
            for (size_t i = 0; i < n; ++i)
                put16(out, p[i], big);
            return true;
        }
        case NSUTF32StringEncoding:
        case NSUTF32BigEndianStringEncoding:
        case NSUTF32LittleEndianStringEncoding: {
            bool big = enc == NSUTF32BigEndianStringEncoding;
            out.reserve(4 * n + 4);
            if (enc == NSUTF32StringEncoding) put32(out, 0xFEFF, big);
            for (size_t i = 0; i < n;) {
                size_t next;
                uint32_t c = codePointAt(p, i, n, next);
                i = next;
                if (U_IS_SURROGATE(c)) {
                    if (!lossy) return false;
                    c = 0xFFFD;
                }
                put32(out, c, big);
            }
            return true;
        }
        case NSNonLossyASCIIStringEncoding:
            for (size_t i = 0; i < n; ++i) {
                char16_t c = p[i];
                char buf[8];
                if (c == '\\') {
                    out += "\\\\";
                } else if (c < 0x80) {
                    out.push_back(static_cast<char>(c));
                } else if (c < 0x100) {
                    snprintf(buf, sizeof buf, "\\%03o", unsigned(c));
                    out += buf;
                } else {
                    snprintf(buf, sizeof buf, "\\u%04x", unsigned(c));
                    out += buf;
                }
            }
            return true;
        default:
            return false;
    }
}

// Strict UTF-8 decoding; with `replace`, each maximal invalid subsequence becomes U+FFFD,
// without it the first one fails the whole decoding.
bool decodeUTF8(const uint8_t* b, size_t n, std::u16string& out, bool replace) {
    // Never more units than bytes: write into room made up front, trim at the end.
    const size_t base = out.size();
    out.resize(base + n);
    char16_t* w = out.data() + base;
    size_t i = 0;
    while (i < n) {
        uint8_t c = b[i];
        if (c < 0x80) {
            *w++ = c;
            ++i;
            continue;
        }
        int need;
        uint32_t cp;
        uint8_t lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            need = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            need = 2;
            cp = c & 0x0F;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;  // no encoded surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            need = 3;
            cp = c & 0x07;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;  // nothing past U+10FFFF
        } else {
            if (!replace) return false;
            *w++ = 0xFFFD;
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < need; ++k, ++j) {
            if (j >= n || b[j] < lo || b[j] > hi) {
                ok = false;
                break;
            }
            lo = 0x80;
            hi = 0xBF;
            cp = (cp << 6) | (b[j] & 0x3F);
        }
        if (!ok) {
            if (!replace) return false;
            *w++ = 0xFFFD;
            i = j;
            continue;
        }
        if (cp < 0x10000) {
            *w++ = static_cast<char16_t>(cp);
        } else {
            *w++ = static_cast<char16_t>(U16_LEAD(cp));
            *w++ = static_cast<char16_t>(U16_TRAIL(cp));
        }
        i = j;
    }
    out.resize(static_cast<size_t>(w - out.data()));
    return true;
}

int hexValue(uint32_t c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    return -1;
}

bool decodeBytes(const uint8_t* b, size_t n, NSStringEncoding enc, std::u16string& out) {
    out.clear();
    if (isSingleByte(enc)) {
        out.reserve(n);
        for (size_t i = 0; i < n; ++i) {
            if (enc == NSASCIIStringEncoding && b[i] >= 0x80) return false;
            appendCodePoint(out, charForByte(b[i], enc));
        }
        return true;
    }
    switch (enc) {
        case NSUTF8StringEncoding:
            return decodeUTF8(b, n, out, false);
        case NSUTF16StringEncoding:
        case NSUTF16BigEndianStringEncoding:
        case NSUTF16LittleEndianStringEncoding: {
            if (n % 2) return false;
            bool big = enc != NSUTF16LittleEndianStringEncoding;
            size_t i = 0;
            if (enc == NSUTF16StringEncoding && n >= 2) {
                // A byte order mark decides; without one the data is taken as big-endian.
                if (b[0] == 0xFE && b[1] == 0xFF) {
                    i = 2;
                } else if (b[0] == 0xFF && b[1] == 0xFE) {
                    big = false;
                    i = 2;
                }
            }
            out.reserve((n - i) / 2);
            for (; i < n; i += 2) {
                out.push_back(
                    static_cast<char16_t>(big ? (b[i] << 8) | b[i + 1] : (b[i + 1] << 8) | b[i]));
            }
            return true;
        }
        case NSUTF32StringEncoding:
        case NSUTF32BigEndianStringEncoding:
        case NSUTF32LittleEndianStringEncoding: {
            if (n % 4) return false;
            bool big = enc != NSUTF32LittleEndianStringEncoding;
            size_t i = 0;
            if (enc == NSUTF32StringEncoding && n >= 4) {
                if (b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF) {
                    i = 4;
                } else if (b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) {
                    big = false;
                    i = 4;
                }
            }
            for (; i < n; i += 4) {
                uint32_t c = big ? (uint32_t(b[i]) << 24) | (uint32_t(b[i + 1]) << 16) |
                                       (uint32_t(b[i + 2]) << 8) | b[i + 3]
                                 : (uint32_t(b[i + 3]) << 24) | (uint32_t(b[i + 2]) << 16) |
                                       (uint32_t(b[i + 1]) << 8) | b[i];
                if (c > 0x10FFFF || U_IS_SURROGATE(c)) return false;
                appendCodePoint(out, c);
            }
            return true;
        }
        case NSNonLossyASCIIStringEncoding:
            for (size_t i = 0; i < n; ++i) {
                if (b[i] >= 0x80) return false;
                if (b[i] != '\\' || i + 1 >= n) {
                    out.push_back(b[i]);
                    continue;
                }
                if (b[i + 1] == '\\') {
                    out.push_back('\\');
                    ++i;
                } else if (b[i + 1] == 'u' && i + 5 < n && hexValue(b[i + 2]) >= 0 &&
                           hexValue(b[i + 3]) >= 0 && hexValue(b[i + 4]) >= 0 &&
                           hexValue(b[i + 5]) >= 0) {
                    out.push_back(static_cast<char16_t>(
                        (hexValue(b[i + 2]) << 12) | (hexValue(b[i + 3]) << 8) |
                        (hexValue(b[i + 4]) << 4) | hexValue(b[i + 5])));
                    i += 5;
                } else if (i + 3 < n && b[i + 1] >= '0' && b[i + 1] <= '3' && b[i + 2] >= '0' &&
                           b[i + 2] <= '7' && b[i + 3] >= '0' && b[i + 3] <= '7') {
                    out.push_back(static_cast<char16_t>(
                        ((b[i + 1] - '0') << 6) | ((b[i + 2] - '0') << 3) | (b[i + 3] - '0')));
                    i += 3;
                } else {
                    out.push_back('\\');
                }
            }
            return true;
        default:
            return false;
    }
}

// Width of the terminating zero of a C string in the encoding.
size_t terminatorWidth(NSStringEncoding enc) {
    switch (enc) {
        case NSUTF16StringEncoding:
        case NSUTF16BigEndianStringEncoding:
        case NSUTF16LittleEndianStringEncoding:
            return 2;
        case NSUTF32StringEncoding:
        case NSUTF32BigEndianStringEncoding:
        case NSUTF32LittleEndianStringEncoding:
            return 4;
        default:
            return 1;
    }
}

// Bytes the encoding puts in front of the text (the byte order mark of the unmarked forms).
size_t bomWidth(NSStringEncoding enc) {
    if (enc == NSUTF16StringEncoding) return 2;
    if (enc == NSUTF32StringEncoding) return 4;
    return 0;
}

// A buffer handed to the current release pool; valid until it drains.
const char* pooledCString(std::string&& bytes, size_t terminator) {
    bytes.append(terminator, '\0');
    Ref<NSData> d = NSData::dataWithBytes(bytes.data(), static_cast<NSUInteger>(bytes.size()));
    d->autorelease();
    return static_cast<const char*>(d->bytes());
}

// ---- search ------------------------------------------------------------------------------

bool isWhitespaceOrNewline(uint32_t c) {
    if (c == ' ' || (c >= '\t' && c <= '\r')) return true;
    if (c < 0x80) return false;
    static NSCharacterSet* const set = NSCharacterSet::whitespaceAndNewlineCharacterSet().get();
    return set->longCharacterIsMember(c);
}

// Finds `needle` in hay[range]; the range is already checked and the needle is not empty.
NSRange findIn(std::u16string_view hay, NSRange range, std::u16string_view needle,
               NSStringCompareOptions mask) {
    const NSRange none{static_cast<NSUInteger>(NSNotFound), 0};
    const size_t lo = range.location, hi = NSMaxRange(range);
    const bool backwards = mask & NSBackwardsSearch, anchored = mask & NSAnchoredSearch;
    if (!(mask & NSCaseInsensitiveSearch)) {
        if (needle.size() > hi - lo) return none;
        std::u16string_view win = hay.substr(lo, hi - lo);
        size_t pos;
        if (anchored) {
            pos = backwards ? win.size() - needle.size() : 0;
            if (win.compare(pos, needle.size(), needle) != 0) return none;
        } else {
            if (backwards) {
                pos = win.rfind(needle);
                if (pos == std::u16string_view::npos) return none;
            } else {
                pos = bn::findUnits(hay.data(), lo, hi, needle.data(), needle.size());
                if (pos == hi) return none;
                pos -= lo;
            }
        }
        return NSMakeRange(static_cast<NSUInteger>(lo + pos),
                           static_cast<NSUInteger>(needle.size()));
    }

    std::vector<uint32_t> folded;
    for (size_t i = 0; i < needle.size();) {
        size_t next;
        folded.push_back(foldChar(codePointAt(needle.data(), i, needle.size(), next)));
        i = next;
    }
    const char16_t* p = hay.data();
    // The end of a match starting at i, or 0 when there is none there.
    auto matchAt = [&](size_t i) -> size_t {
        size_t j = i;
        for (uint32_t f : folded) {
            if (j >= hi) return 0;
            size_t next;
            if (foldChar(codePointAt(p, j, hi, next)) != f) return 0;
            j = next;
        }
        return j;
    };
    auto insidePair = [&](size_t i) {
        return i > lo && U16_IS_TRAIL(p[i]) && U16_IS_LEAD(p[i - 1]);
    };
    if (!backwards) {
        size_t last = anchored ? std::min(lo + 1, hi) : hi;
        for (size_t i = lo; i < last; ++i) {
            if (insidePair(i)) continue;
            if (size_t end = matchAt(i)) {
                return NSMakeRange(static_cast<NSUInteger>(i), static_cast<NSUInteger>(end - i));
            }
        }
        return none;
    }
    // Folding keeps a code point's size in all but rare cases, so an anchored match must begin
    // within twice the needle's length of the end.
    size_t first = lo;
    if (anchored && hi - lo > 2 * needle.size()) first = hi - 2 * needle.size();
    for (size_t i = hi; i-- > first;) {
        if (insidePair(i)) continue;
        size_t end = matchAt(i);
        if (end && (!anchored || end == hi)) {
            return NSMakeRange(static_cast<NSUInteger>(i), static_cast<NSUInteger>(end - i));
        }
    }
    return none;
}

inline bool isDigit(char16_t c) {
    return c >= '0' && c <= '9';
}

// Digit runs compare by their value; everything else unit by unit.
NSComparisonResult numericCompare(std::u16string_view a, std::u16string_view b,
                                  bool caseInsensitive) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            size_t si = i, sj = j;
            while (i < a.size() && isDigit(a[i]))
                ++i;
            while (j < b.size() && isDigit(b[j]))
                ++j;
            while (si < i && a[si] == '0')
                ++si;
            while (sj < j && b[sj] == '0')
                ++sj;
            if (i - si != j - sj) return i - si < j - sj ? NSOrderedAscending : NSOrderedDescending;
            int c = a.substr(si, i - si).compare(b.substr(sj, j - sj));
            if (c) return c < 0 ? NSOrderedAscending : NSOrderedDescending;
            continue;
        }
        uint32_t ca = a[i], cb = b[j];
        if (caseInsensitive) {
            ca = foldChar(ca);
            cb = foldChar(cb);
        }
        if (ca != cb) return ca < cb ? NSOrderedAscending : NSOrderedDescending;
        ++i;
        ++j;
    }
    if (i < a.size()) return NSOrderedDescending;
    if (j < b.size()) return NSOrderedAscending;
    return NSOrderedSame;
}

NSComparisonResult literalCompare(std::u16string_view a, std::u16string_view b) {
    int c = a.compare(b);
    return c < 0 ? NSOrderedAscending : c > 0 ? NSOrderedDescending : NSOrderedSame;
}

bool needsNormalization(std::u16string_view v) {
    for (char16_t c : v) {
        if (c >= 0x300) return true;
    }
    return false;
}

// ---- numbers -----------------------------------------------------------------------------

size_t skipWhitespace(const Units& u) {
    size_t i = 0;
    while (i < u.size()) {
        size_t next;
        if (!isWhitespaceOrNewline(codePointAt(u.data(), i, u.size(), next))) break;
        i = next;
    }
    return i;
}

// An optionally signed run of decimal digits, clamped to [min, max].
long long readInteger(NSString* s, long long min, long long max) {
    Units u(s);
    size_t i = skipWhitespace(u);
    bool neg = false;
    if (i < u.size() && (u[i] == '+' || u[i] == '-')) neg = u[i++] == '-';
    unsigned long long v = 0;
    const unsigned long long limit = neg ? static_cast<unsigned long long>(-(min + 1)) + 1
                                         : static_cast<unsigned long long>(max);
    bool over = false;
    for (; i < u.size() && isDigit(u[i]); ++i) {
        if (over) continue;
        unsigned d = u[i] - '0';
        if (v > (limit - d) / 10) {
            over = true;
        } else {
            v = v * 10 + d;
        }
    }
    if (over) return neg ? min : max;
    if (neg) return v == 0 ? 0 : -static_cast<long long>(v - 1) - 1;
    return static_cast<long long>(v);
}

// The decimal number at the start (after whitespace), as ASCII: sign, digits, fraction and an
// exponent; empty when there is none.
std::string decimalPrefix(NSString* s) {
    Units u(s);
    size_t i = skipWhitespace(u), n = u.size();
    std::string out;
    if (i < n && (u[i] == '+' || u[i] == '-')) out.push_back(static_cast<char>(u[i++]));
    size_t digits = 0;
    while (i < n && isDigit(u[i])) {
        out.push_back(static_cast<char>(u[i++]));
        ++digits;
    }
    if (i < n && u[i] == '.') {
        out.push_back('.');
        ++i;
        while (i < n && isDigit(u[i])) {
            out.push_back(static_cast<char>(u[i++]));
            ++digits;
        }
    }
    if (!digits) return {};
    if (i < n && (u[i] == 'e' || u[i] == 'E')) {
        size_t j = i + 1;
        std::string exp = "e";
        if (j < n && (u[j] == '+' || u[j] == '-')) exp.push_back(static_cast<char>(u[j++]));
        if (j < n && isDigit(u[j])) {
            while (j < n && isDigit(u[j]))
                exp.push_back(static_cast<char>(u[j++]));
            out += exp;
        }
    }
    return out;
}

locale_t cLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

// ---- percent escapes ---------------------------------------------------------------------

const char kHex[] = "0123456789ABCDEF";

void putEscapedByte(std::u16string& out, uint8_t b) {
    out.push_back('%');
    out.push_back(static_cast<char16_t>(kHex[b >> 4]));
    out.push_back(static_cast<char16_t>(kHex[b & 15]));
}

// The legacy set of characters a URL may carry as they are.
bool isLegalURLChar(char16_t c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c)) return true;
    return c < 0x80 && c && std::strchr("!$&'()*+,-./:;=?@_~", static_cast<char>(c));
}

// ---- paths -------------------------------------------------------------------------------

// Without trailing slashes, keeping a lone root "/".
std::u16string_view stripTrailingSlashes(std::u16string_view s) {
    size_t e = s.size();
    while (e > 1 && s[e - 1] == '/')
        --e;
    return s.substr(0, e);
}

// Runs of slashes collapsed to one and a trailing slash dropped (unless the path is "/").
std::u16string normalizeSlashes(std::u16string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (char16_t c : s) {
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out.push_back(c);
    }
    if (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

std::u16string joinPath(std::u16string_view base, std::u16string_view comp) {
    std::u16string r;
    if (base.empty()) {
        r = comp;
    } else if (comp.empty()) {
        r = base;
    } else {
        r.reserve(base.size() + comp.size() + 1);
        r.append(base);
        r.push_back('/');
        r.append(comp);
    }
    return normalizeSlashes(r);
}

}  // namespace

// ---- runtime -----------------------------------------------------------------------------

void NSString::describeClass(RuntimeClass& c) {
    c.method("length", static_cast<NSUInteger (NSString::*)()>(&NSString::length));
    c.method("intValue", &NSString::intValue);
    c.method("integerValue", &NSString::integerValue);
    c.method("longLongValue", &NSString::longLongValue);
    c.method("floatValue", &NSString::floatValue);
    c.method("doubleValue", &NSString::doubleValue);
    c.method("boolValue", &NSString::boolValue);
    c.method("description", &NSString::description);
    c.method("lowercaseString", &NSString::lowercaseString);
    c.method("uppercaseString", &NSString::uppercaseString);
    c.method("capitalizedString", &NSString::capitalizedString);
    c.method("lastPathComponent", &NSString::lastPathComponent);
    c.method("pathExtension", &NSString::pathExtension);
    c.method("stringByDeletingLastPathComponent", &NSString::stringByDeletingLastPathComponent);
    c.method("stringByDeletingPathExtension", &NSString::stringByDeletingPathExtension);
    c.method("isEqualToString:", &NSString::isEqualToString);
    c.method("hasPrefix:", &NSString::hasPrefix);
    c.method("hasSuffix:", &NSString::hasSuffix);
    c.method("stringByAppendingString:", &NSString::stringByAppendingString);
    // The comparisons that sorting by selector uses.
    c.method("compare:",
             static_cast<NSComparisonResult (NSString::*)(NSString*)>(&NSString::compare));
    c.method("caseInsensitiveCompare:", &NSString::caseInsensitiveCompare);
    c.method("localizedCompare:", &NSString::localizedCompare);
    c.method("localizedCaseInsensitiveCompare:", &NSString::localizedCaseInsensitiveCompare);
}

// ---- creation ----------------------------------------------------------------------------

Ref<NSString> NSString::string() {
    return alloc<NSString>();
}

Ref<NSString> NSString::stringWithString(NSString* s) {
    return make<NSString>(&NSString::initWithString, s);
}

Ref<NSString> NSString::stringWithUTF8String(const char* utf8) {
    if (!utf8) return nullptr;
    return make<NSString>(&NSString::initWithUTF8String, utf8);
}

Ref<NSString> NSString::stringWithCharacters(const char16_t* chars, NSUInteger length) {
    return make<NSString>(&NSString::initWithCharacters, chars, length);
}

Ref<NSString> NSString::stringWithCString(const char* s, NSStringEncoding enc) {
    if (!s) return nullptr;
    return make<NSString>(&NSString::initWithBytes, static_cast<const void*>(s),
                          static_cast<NSUInteger>(std::strlen(s)), enc);
}

Ref<NSString> NSString::stringWithData(NSData* data, NSStringEncoding enc) {
    return make<NSString>(&NSString::initWithData, data, enc);
}

Ref<NSString> NSString::fromUTF8(std::string_view utf8) {
    auto r = alloc<NSString>();
    decodeUTF8(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), r->s_, true);
    return r;
}

Ref<NSString> NSString::fromUTF16(std::u16string_view utf16) {
    auto r = alloc<NSString>();
    r->s_.assign(utf16);
    return r;
}

Ref<NSString> NSString::adoptUnits(std::u16string&& units) {
    auto r = alloc<NSString>();
    r->s_ = std::move(units);
    return r;
}

Ref<NSString> NSString::compactStringWithUnits(std::u16string_view units) {
    return CompactString<NSString>::make<CompactImmutableString>(units);
}

namespace {

// Whether every byte is below 0x80, eight at a time while eight remain.
bool allASCII(const uint8_t* b, size_t n) {
    uint64_t any = 0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t word;
        std::memcpy(&word, b + i, 8);
        any |= word;
    }
    for (; i < n; ++i)
        any |= b[i];
    return (any & 0x8080808080808080ull) == 0;
}

}  // namespace

Ref<NSString> NSString::compactStringWithUTF8(std::string_view utf8) {
    const auto* b = reinterpret_cast<const uint8_t*>(utf8.data());
    const size_t n = utf8.size();
    if (allASCII(b, n)) return CompactString<NSString>::makeWidened<CompactImmutableString>(b, n);
    // Decoded into room kept by the thread, then copied into the string's own allocation.
    thread_local std::u16string scratch;
    scratch.clear();
    const bool ok = decodeUTF8(b, n, scratch, false);
    Ref<NSString> text = ok ? compactStringWithUnits(scratch) : nullptr;
    if (scratch.capacity() > 16384) std::u16string().swap(scratch);  // a rare long text
    return text;
}

Ref<NSString> NSString::compactStringWithASCII(std::string_view ascii) {
    const auto* b = reinterpret_cast<const uint8_t*>(ascii.data());
    assert(allASCII(b, ascii.size()));
    return CompactString<NSString>::makeWidened<CompactImmutableString>(b, ascii.size());
}

Ref<NSString> NSString::hashedStringWithASCII(std::string_view ascii, NSUInteger* hash) {
    const auto* b = reinterpret_cast<const uint8_t*>(ascii.data());
    assert(allASCII(b, ascii.size()));
    auto s = CompactString<NSString>::makeWidened<CompactImmutableString>(b, ascii.size());
    uint32_t h = kHashBasis;
    for (size_t i = 0; i < ascii.size(); ++i)
        h = hashNarrowUnit(h, b[i]);
    s->hashCache_.store((uint64_t{1} << 32) | h, std::memory_order_relaxed);
    *hash = h;
    return s;
}

bool NSString::appendUTF8(std::u16string& units, std::string_view utf8) {
    const size_t base = units.size();
    if (decodeUTF8(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), units, false))
        return true;
    units.resize(base);
    return false;
}

NSString* NSString::literal(const char16_t* chars, size_t length) {
    // Literals of equal text are one object, as the platform's constant strings are.
    static std::mutex lock;
    static auto* table = new std::unordered_map<std::u16string, NSString*>();
    std::u16string text(chars, length);
    std::lock_guard<std::mutex> guard(lock);
    NSString*& slot = (*table)[text];
    if (!slot) {
        slot = new NSString();
        slot->makeImmortal();
        slot->s_ = std::move(text);
    }
    return slot;
}

bool NSString::initWithString(NSString* s) {
    if (!s) raiseNil("initWithString:");
    Units u(s);
    s_.assign(u.view());
    textChanged();
    return true;
}

bool NSString::initWithCharacters(const char16_t* chars, NSUInteger length) {
    if (length && !chars) return false;
    s_.assign(chars ? chars : u"", length);
    textChanged();
    return true;
}

bool NSString::initWithUTF8String(const char* utf8) {
    if (!utf8) return false;
    std::u16string out;
    if (!decodeUTF8(reinterpret_cast<const uint8_t*>(utf8), std::strlen(utf8), out, false)) {
        return false;
    }
    s_ = std::move(out);
    textChanged();
    return true;
}

bool NSString::initWithData(NSData* data, NSStringEncoding enc) {
    if (!data) return initWithBytes(nullptr, 0, enc);
    return initWithBytes(data->bytes(), data->length(), enc);
}

bool NSString::initWithBytes(const void* bytes, NSUInteger length, NSStringEncoding enc) {
    if (length && !bytes) return false;
    static const uint8_t none = 0;
    const uint8_t* b = length ? static_cast<const uint8_t*>(bytes) : &none;
    if (enc == NSUTF8StringEncoding || enc == NSASCIIStringEncoding) {
        // ASCII (most of what documents and protocols carry) widens unit for unit, straight
        // into the storage: readers make many strings this way.
        s_.resize(length);
        char16_t* w = s_.data();
        uint8_t all = 0;
        for (NSUInteger i = 0; i < length; ++i) {
            all |= b[i];
            w[i] = b[i];
        }
        if (all < 0x80) {
            textChanged();
            return true;
        }
    }
    if (decodeBytes(b, length, enc, s_)) {
        textChanged();
        return true;
    }
    s_.clear();
    textChanged();
    return false;
}

// ---- primitives --------------------------------------------------------------------------

NSUInteger NSString::length() {
    return static_cast<NSUInteger>(s_.size());
}

char16_t NSString::characterAtIndex(NSUInteger index) {
    if (index >= s_.size()) raiseIndex("characterAtIndex:", index, length());
    return s_[index];
}

void NSString::getCharacters(char16_t* buffer, NSRange range) {
    checkRange("getCharacters:range:", range, length());
    if (range.length) std::memcpy(buffer, s_.data() + range.location, range.length * 2);
}

const char16_t* NSString::charactersPtr() {
    return s_.data();
}

const char16_t* NSString::terminatedCharactersPtr() {
    // The default storage always ends in a NUL; a subclass's own storage need not.
    const char16_t* units = charactersPtr();
    return units && units == s_.c_str() && length() == s_.size() ? units : nullptr;
}

// ---- conversions -------------------------------------------------------------------------

std::string NSString::utf8() {
    Units u(this);
    // ASCII, most text handed to the system's C++ side: each unit is its byte, narrowed straight
    // into the result (no room counted, cleared and trimmed first).
    const char16_t* p = u.data();
    const size_t n = u.size();
    char16_t any = 0;
    for (size_t i = 0; i < n; ++i)
        any |= p[i];
    if (any < 0x80) return std::string(p, p + n);
    std::string out;
    encodeUnits(u.view(), NSUTF8StringEncoding, true, out);
    return out;
}

bool NSString::getUTF8(std::string& out) {
    Units u(this);
    if (encodeUnits(u.view(), NSUTF8StringEncoding, false, out)) return true;
    out.clear();
    return false;
}

std::u16string NSString::u16() {
    Units u(this);
    return std::u16string(u.view());
}

const char* NSString::UTF8String() {
    return cStringUsingEncoding(NSUTF8StringEncoding);
}

const char* NSString::cStringUsingEncoding(NSStringEncoding enc) {
    Units u(this);
    std::string out;
    if (!encodeUnits(u.view(), enc, false, out)) return nullptr;
    return pooledCString(std::move(out), terminatorWidth(enc));
}

Ref<NSData> NSString::dataUsingEncoding(NSStringEncoding enc) {
    return dataUsingEncoding(enc, false);
}

Ref<NSData> NSString::dataUsingEncoding(NSStringEncoding enc, bool allowLossyConversion) {
    Units u(this);
    std::string out;
    if (!encodeUnits(u.view(), enc, allowLossyConversion, out)) return nullptr;
    return NSData::dataWithBytes(out.data(), static_cast<NSUInteger>(out.size()));
}

bool NSString::canBeConvertedToEncoding(NSStringEncoding enc) {
    Units u(this);
    std::string out;
    return encodeUnits(u.view(), enc, false, out);
}

NSUInteger NSString::lengthOfBytesUsingEncoding(NSStringEncoding enc) {
    Units u(this);
    std::string out;
    if (!encodeUnits(u.view(), enc, false, out)) return 0;
    return static_cast<NSUInteger>(out.size() - std::min(out.size(), bomWidth(enc)));
}

// ---- comparison --------------------------------------------------------------------------

bool NSString::isEqual(NSObject* other) {
    if (other == this) return true;
    NSString* s = dynamic_cast<NSString*>(other);
    return s && isEqualToString(s);
}

NSUInteger NSString::hash() {
    // Only a plain NSString is known never to change: subclasses may keep their text elsewhere.
    const bool immutable = hasFixedText();
    if (immutable) {
        uint64_t cached = hashCache_.load(std::memory_order_relaxed);
        if (cached) return static_cast<NSUInteger>(cached);
    }
    // Depends on the content only, so equal strings hash equal whatever their class.
    Units u(this);
    uint32_t h = kHashBasis;
    for (char16_t c : u.view()) {
        if (c < 0x100) {
            h = hashNarrowUnit(h, c);
            continue;
        }
        h ^= c & 0xFF;
        h *= kHashPrime;
        h ^= c >> 8;
        h *= kHashPrime;
    }
    if (immutable) hashCache_.store((uint64_t{1} << 32) | h, std::memory_order_relaxed);
    return h;
}

bool NSString::isEqualToString(NSString* other) {
    if (!other) return false;
    if (other == this) return true;
    if (other->length() != length()) return false;
    Units a(this), b(other);
    return a.view() == b.view();
}

NSComparisonResult NSString::compare(NSString* other) {
    return compare(other, 0);
}

NSComparisonResult NSString::compare(NSString* other, NSStringCompareOptions mask) {
    return compare(other, mask, NSMakeRange(0, length()));
}

NSComparisonResult NSString::compare(NSString* other, NSStringCompareOptions mask, NSRange range) {
    Units a(this);
    checkRange("compare:options:range:", range, a.size());
    if (!other) return NSOrderedDescending;
    Units b(other);
    std::u16string_view av = a.view().substr(range.location, range.length), bv = b.view();
    const bool ci = mask & NSCaseInsensitiveSearch;
    NSComparisonResult r;
    if (mask & NSNumericSearch) {
        r = numericCompare(av, bv, ci);
    } else {
        // Canonically equivalent forms only differ where combining characters occur.
        bool normalize =
            !(mask & NSLiteralSearch) && (needsNormalization(av) || needsNormalization(bv));
        if (!ci && !normalize) {
            r = literalCompare(av, bv);
        } else {
            std::u16string fa(av), fb(bv);
            if (normalize) {
                fa = decomposed(fa);
                fb = decomposed(fb);
            }
            if (ci) {
                fa = foldFull(fa);
                fb = foldFull(fb);
            }
            r = literalCompare(fa, fb);
        }
    }
    if (r == NSOrderedSame && (mask & NSForcedOrderingSearch)) r = literalCompare(av, bv);
    return r;
}

NSComparisonResult NSString::caseInsensitiveCompare(NSString* other) {
    return compare(other, NSCaseInsensitiveSearch);
}

namespace {
NSComparisonResult collate(NSString* self, NSString* other, bool caseInsensitive) {
    if (!other) return NSOrderedDescending;
    Units a(self), b(other);
    UCollator* c = collator(caseInsensitive);
    if (!c)
        return self->compare(other,
                             caseInsensitive ? NSStringCompareOptions(NSCaseInsensitiveSearch) : 0);
    UCollationResult r =
        ucol_strcoll(c, reinterpret_cast<const UChar*>(a.data()), static_cast<int32_t>(a.size()),
                     reinterpret_cast<const UChar*>(b.data()), static_cast<int32_t>(b.size()));
    return r == UCOL_LESS      ? NSOrderedAscending
           : r == UCOL_GREATER ? NSOrderedDescending
                               : NSOrderedSame;
}
}  // namespace

NSComparisonResult NSString::localizedCompare(NSString* other) {
    return collate(this, other, false);
}

NSComparisonResult NSString::localizedCaseInsensitiveCompare(NSString* other) {
    return collate(this, other, true);
}

// The platform answers NO for an empty prefix or suffix.
bool NSString::hasPrefix(NSString* prefix) {
    if (!prefix) return false;
    Units a(this), b(prefix);
    return b.size() && a.view().substr(0, b.size()) == b.view();
}

bool NSString::hasSuffix(NSString* suffix) {
    if (!suffix) return false;
    Units a(this), b(suffix);
    return b.size() && b.size() <= a.size() && a.view().substr(a.size() - b.size()) == b.view();
}

// ---- search ------------------------------------------------------------------------------

NSRange NSString::rangeOfString(NSString* s) {
    return rangeOfString(s, 0);
}

NSRange NSString::rangeOfString(NSString* s, NSStringCompareOptions mask) {
    return rangeOfString(s, mask, NSMakeRange(0, length()));
}

NSRange NSString::rangeOfString(NSString* s, NSStringCompareOptions mask, NSRange range) {
    if (!s) raiseNil("rangeOfString:options:range:");
    Units a(this);
    checkRange("rangeOfString:options:range:", range, a.size());
    Units b(s);
    if (!b.size()) return NSMakeRange(static_cast<NSUInteger>(NSNotFound), 0);
    return findIn(a.view(), range, b.view(), mask);
}

NSRange NSString::rangeOfCharacterFromSet(NSCharacterSet* set) {
    return rangeOfCharacterFromSet(set, 0);
}

NSRange NSString::rangeOfCharacterFromSet(NSCharacterSet* set, NSStringCompareOptions mask) {
    return rangeOfCharacterFromSet(set, mask, NSMakeRange(0, length()));
}

NSRange NSString::rangeOfCharacterFromSet(NSCharacterSet* set, NSStringCompareOptions mask,
                                          NSRange range) {
    if (!set) raiseNil("rangeOfCharacterFromSet:options:range:");
    Units a(this);
    checkRange("rangeOfCharacterFromSet:options:range:", range, a.size());
    const size_t lo = range.location, hi = NSMaxRange(range);
    const bool anchored = mask & NSAnchoredSearch;
    if (!(mask & NSBackwardsSearch)) {
        for (size_t i = lo; i < hi;) {
            size_t next;
            uint32_t c = codePointAt(a.data(), i, hi, next);
            if (set->longCharacterIsMember(c)) {
                return NSMakeRange(static_cast<NSUInteger>(i), static_cast<NSUInteger>(next - i));
            }
            if (anchored) break;
            i = next;
        }
    } else {
        for (size_t e = hi; e > lo;) {
            size_t start;
            uint32_t c = codePointBefore(a.data(), lo, e, start);
            if (set->longCharacterIsMember(c)) {
                return NSMakeRange(static_cast<NSUInteger>(start),
                                   static_cast<NSUInteger>(e - start));
            }
            if (anchored) break;
            e = start;
        }
    }
    return NSMakeRange(static_cast<NSUInteger>(NSNotFound), 0);
}

NSRange NSString::rangeOfComposedCharacterSequenceAtIndex(NSUInteger index) {
    Units u(this);
    const size_t n = u.size();
    if (index >= n) raiseIndex("rangeOfComposedCharacterSequenceAtIndex:", index, n);
    // Plain text below the combining marks (and after no prepending mark) is its own cluster,
    // CR LF aside.
    char16_t c = u[index];
    char16_t next = index + 1 < n ? u[index + 1] : 0;
    char16_t prev = index > 0 ? u[index - 1] : 0;
    if (c < 0x300 && next < 0x300 && prev < 0x300 && c != '\r' && c != '\n') {
        return NSMakeRange(index, 1);
    }
    if (c == '\n' && index > 0 && u[index - 1] == '\r') return NSMakeRange(index - 1, 2);
    if (c == '\r' && next == '\n') return NSMakeRange(index, 2);
    if (c == '\n' || c == '\r') return NSMakeRange(index, 1);
    if (UBreakIterator* bi = characterBreaks()) {
        UErrorCode e = U_ZERO_ERROR;
        ubrk_setText(bi, reinterpret_cast<const UChar*>(u.data()), static_cast<int32_t>(n), &e);
        if (U_SUCCESS(e)) {
            int32_t start = ubrk_preceding(bi, static_cast<int32_t>(index) + 1);
            int32_t end = ubrk_following(bi, static_cast<int32_t>(index));
            static const UChar empty[1] = {0};
            ubrk_setText(bi, empty, 0, &e);  // do not keep a pointer into the string
            if (start != UBRK_DONE && end != UBRK_DONE && start <= int32_t(index) &&
                end > int32_t(index)) {
                return NSMakeRange(static_cast<NSUInteger>(start),
                                   static_cast<NSUInteger>(end - start));
            }
        }
    }
    // Without break rules: at least keep surrogate pairs whole.
    if (U16_IS_TRAIL(c) && index > 0 && U16_IS_LEAD(u[index - 1])) {
        return NSMakeRange(index - 1, 2);
    }
    if (U16_IS_LEAD(c) && U16_IS_TRAIL(next)) return NSMakeRange(index, 2);
    return NSMakeRange(index, 1);
}

// ---- substrings and derived strings ------------------------------------------------------

Ref<NSString> NSString::substringFromIndex(NSUInteger from) {
    Units u(this);
    if (from > u.size()) raiseIndex("substringFromIndex:", from, u.size());
    if (from == 0) return selfOrCopy(this, u);
    return makeString(u.view().substr(from));
}

Ref<NSString> NSString::substringToIndex(NSUInteger to) {
    Units u(this);
    if (to > u.size()) raiseIndex("substringToIndex:", to, u.size());
    if (to == u.size()) return selfOrCopy(this, u);
    return makeString(u.view().substr(0, to));
}

Ref<NSString> NSString::substringWithRange(NSRange range) {
    Units u(this);
    checkRange("substringWithRange:", range, u.size());
    if (range.location == 0 && range.length == u.size()) return selfOrCopy(this, u);
    return makeString(u.view().substr(range.location, range.length));
}

Ref<NSArray> NSString::componentsSeparatedByString(NSString* separator) {
    if (!separator) raiseNil("componentsSeparatedByString:");
    Units a(this), b(separator);
    std::vector<Ref<NSObject>> parts;
    std::u16string_view v = a.view(), sep = b.view();
    if (sep.empty()) {
        parts.emplace_back(selfOrCopy(this, a));
    } else {
        size_t start = 0, pos;
        while ((pos = bn::findUnits(v.data(), start, v.size(), sep.data(), sep.size())) !=
               v.size()) {
            parts.emplace_back(makeString(v.substr(start, pos - start)));
            start = pos + sep.size();
        }
        parts.emplace_back(makeString(v.substr(start)));
    }
    return NSArray::arrayWithVector(std::move(parts));
}

Ref<NSArray> NSString::componentsSeparatedByCharactersInSet(NSCharacterSet* set) {
    if (!set) raiseNil("componentsSeparatedByCharactersInSet:");
    Units a(this);
    std::vector<Ref<NSObject>> parts;
    size_t start = 0;
    for (size_t i = 0; i < a.size();) {
        size_t next;
        uint32_t c = codePointAt(a.data(), i, a.size(), next);
        if (set->longCharacterIsMember(c)) {
            parts.emplace_back(makeString(a.view().substr(start, i - start)));
            start = next;
        }
        i = next;
    }
    parts.emplace_back(makeString(a.view().substr(start)));
    return NSArray::arrayWithVector(std::move(parts));
}

Ref<NSString> NSString::stringByAppendingString(NSString* s) {
    if (!s) raiseNil("stringByAppendingString:");
    Units a(this), b(s);
    std::u16string out;
    out.reserve(a.size() + b.size());
    out.append(a.view());
    out.append(b.view());
    return adoptUnits(std::move(out));
}

namespace {
// Replaces matches of `target` inside `range`; counts them in `count`.
std::u16string replaceMatches(const Units& a, NSString* target, NSString* replacement,
                              NSStringCompareOptions options, NSRange range, NSUInteger& count) {
    Units t(target), r(replacement);
    std::u16string_view v = a.view();
    count = 0;
    std::vector<NSRange> found;
    if (t.size()) {
        if (!(options & NSBackwardsSearch)) {
            size_t pos = range.location;
            const size_t hi = NSMaxRange(range);
            while (pos < hi) {
                NSRange m = findIn(
                    v, NSMakeRange(static_cast<NSUInteger>(pos), static_cast<NSUInteger>(hi - pos)),
                    t.view(), options);
                if (m.location == static_cast<NSUInteger>(NSNotFound)) break;
                found.push_back(m);
                pos = NSMaxRange(m);
                if (options & NSAnchoredSearch) break;
            }
        } else {
            size_t end = NSMaxRange(range);
            while (end > range.location) {
                NSRange m = findIn(
                    v, NSMakeRange(range.location, static_cast<NSUInteger>(end - range.location)),
                    t.view(), options);
                if (m.location == static_cast<NSUInteger>(NSNotFound)) break;
                found.push_back(m);
                end = m.location;
                if (options & NSAnchoredSearch) break;
            }
            std::reverse(found.begin(), found.end());
        }
    }
    count = static_cast<NSUInteger>(found.size());
    if (found.empty()) return std::u16string(v);
    std::u16string out;
    out.reserve(v.size() + found.size() * r.size());
    size_t pos = 0;
    for (NSRange m : found) {
        out.append(v.substr(pos, m.location - pos));
        out.append(r.view());
        pos = NSMaxRange(m);
    }
    out.append(v.substr(pos));
    return out;
}
}  // namespace

Ref<NSString> NSString::stringByReplacingOccurrencesOfString(NSString* target,
                                                             NSString* replacement) {
    return stringByReplacingOccurrencesOfString(target, replacement, 0, NSMakeRange(0, length()));
}

Ref<NSString> NSString::stringByReplacingOccurrencesOfString(NSString* target,
                                                             NSString* replacement,
                                                             NSStringCompareOptions options,
                                                             NSRange searchRange) {
    if (!target) raiseNil("stringByReplacingOccurrencesOfString:withString:options:range:");
    if (!replacement) raiseNil("stringByReplacingOccurrencesOfString:withString:options:range:");
    Units a(this);
    checkRange("stringByReplacingOccurrencesOfString:withString:options:range:", searchRange,
               a.size());
    NSUInteger count;
    std::u16string out = replaceMatches(a, target, replacement, options, searchRange, count);
    if (!count) return selfOrCopy(this, a);
    return adoptUnits(std::move(out));
}

Ref<NSString> NSString::stringByReplacingCharactersInRange(NSRange range, NSString* replacement) {
    if (!replacement) raiseNil("stringByReplacingCharactersInRange:withString:");
    Units a(this);
    checkRange("stringByReplacingCharactersInRange:withString:", range, a.size());
    Units r(replacement);
    std::u16string out;
    out.reserve(a.size() - range.length + r.size());
    out.append(a.view().substr(0, range.location));
    out.append(r.view());
    out.append(a.view().substr(NSMaxRange(range)));
    return adoptUnits(std::move(out));
}

Ref<NSString> NSString::stringByTrimmingCharactersInSet(NSCharacterSet* set) {
    if (!set) raiseNil("stringByTrimmingCharactersInSet:");
    Units a(this);
    size_t s = 0, e = a.size();
    while (s < e) {
        size_t next;
        if (!set->longCharacterIsMember(codePointAt(a.data(), s, e, next))) break;
        s = next;
    }
    while (e > s) {
        size_t start;
        if (!set->longCharacterIsMember(codePointBefore(a.data(), s, e, start))) break;
        e = start;
    }
    if (s == 0 && e == a.size()) return selfOrCopy(this, a);
    return makeString(a.view().substr(s, e - s));
}

Ref<NSString> NSString::stringByPaddingToLength(NSUInteger newLength, NSString* pad,
                                                NSUInteger startingAtIndex) {
    Units a(this);
    if (newLength <= a.size()) return makeString(a.view().substr(0, newLength));
    if (!pad) raiseNil("stringByPaddingToLength:withString:startingAtIndex:");
    Units p(pad);
    if (startingAtIndex >= p.size()) {
        raiseIndex("stringByPaddingToLength:withString:startingAtIndex:", startingAtIndex,
                   p.size());
    }
    std::u16string out;
    out.reserve(newLength);
    out.append(a.view());
    size_t k = startingAtIndex;
    while (out.size() < newLength) {
        out.push_back(p[k]);
        if (++k == p.size()) k = 0;
    }
    return adoptUnits(std::move(out));
}

namespace {
// Case mapping with an ASCII fast path; the rest goes through ICU's full mappings.
Ref<NSString> mappedCase(NSString* self, bool upper) {
    Units a(self);
    std::u16string_view v = a.view();
    if (isASCII(v)) {
        std::u16string out(v);
        const char16_t from = upper ? u'a' : u'A';
        for (char16_t& c : out) {
            if (c >= from && c <= from + 25) c = static_cast<char16_t>(c ^ 0x20);
        }
        return NSString::adoptUnits(std::move(out));
    }
    return NSString::adoptUnits(icuTransform(
        v, [upper](UChar* d, int32_t cap, const UChar* src, int32_t len, UErrorCode* e) {
            return upper ? u_strToUpper(d, cap, src, len, "", e)
                         : u_strToLower(d, cap, src, len, "", e);
        }));
}
}  // namespace

Ref<NSString> NSString::lowercaseString() {
    return mappedCase(this, false);
}

Ref<NSString> NSString::uppercaseString() {
    return mappedCase(this, true);
}

Ref<NSString> NSString::capitalizedString() {
    // Words are delimited by whitespace and line ends; in each, the first cased letter goes to
    // titlecase and the rest to lowercase.
    Units a(this);
    const char16_t* p = a.data();
    const size_t n = a.size();
    std::u16string out;
    out.reserve(n);
    size_t i = 0;
    while (i < n) {
        size_t next;
        if (isWhitespaceOrNewline(codePointAt(p, i, n, next))) {
            out.append(p + i, next - i);
            i = next;
            continue;
        }
        size_t start = i;
        while (i < n && !isWhitespaceOrNewline(codePointAt(p, i, n, next)))
            i = next;
        std::u16string_view word(p + start, i - start);
        if (isASCII(word)) {
            bool seenLetter = false;
            for (char16_t c : word) {
                bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
                if (letter && !seenLetter) {
                    if (c >= 'a') c -= 32;
                    seenLetter = true;
                } else if (c >= 'A' && c <= 'Z') {
                    c += 32;
                }
                out.push_back(c);
            }
        } else if (UCaseMap* cm = wordTitleCaser()) {
            out += icuTransform(
                word, [cm](UChar* d, int32_t cap, const UChar* src, int32_t len, UErrorCode* e) {
                    return ucasemap_toTitle(cm, d, cap, src, len, e);
                });
        } else {
            out.append(word);
        }
    }
    return adoptUnits(std::move(out));
}

// ---- numeric reads -----------------------------------------------------------------------

int32_t NSString::intValue() {
    return static_cast<int32_t>(readInteger(this, INT32_MIN, INT32_MAX));
}

NSInteger NSString::integerValue() {
    return static_cast<NSInteger>(readInteger(this, NSIntegerMin, NSIntegerMax));
}

long long NSString::longLongValue() {
    return readInteger(this, std::numeric_limits<long long>::min(),
                       std::numeric_limits<long long>::max());
}

float NSString::floatValue() {
    std::string num = decimalPrefix(this);
    if (num.empty()) return 0;
    return strtof_l(num.c_str(), nullptr, cLocale());
}

double NSString::doubleValue() {
    std::string num = decimalPrefix(this);
    if (num.empty()) return 0;
    return strtod_l(num.c_str(), nullptr, cLocale());
}

bool NSString::boolValue() {
    Units u(this);
    size_t i = skipWhitespace(u);
    if (i < u.size() && (u[i] == '+' || u[i] == '-')) ++i;
    while (i < u.size() && u[i] == '0')
        ++i;
    if (i >= u.size()) return false;
    char16_t c = u[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

// ---- percent escapes ---------------------------------------------------------------------

Ref<NSString> NSString::stringByAddingPercentEscapesUsingEncoding(NSStringEncoding enc) {
    return stringByAddingPercentEscapesUsingEncoding(enc, nullptr, nullptr);
}

Ref<NSString> NSString::stringByAddingPercentEscapesUsingEncoding(NSStringEncoding enc,
                                                                  NSString* leaveUnescaped,
                                                                  NSString* legalToEscape) {
    std::u16string keep = leaveUnescaped ? leaveUnescaped->u16() : std::u16string();
    std::u16string escape = legalToEscape ? legalToEscape->u16() : std::u16string();
    Units a(this);
    const char16_t* p = a.data();
    const size_t n = a.size();
    std::u16string out;
    out.reserve(n + n / 4);
    std::string bytes;
    for (size_t i = 0; i < n;) {
        char16_t c = p[i];
        bool escaped;
        if (escape.find(c) != std::u16string::npos) {
            escaped = true;
        } else if (keep.find(c) != std::u16string::npos) {
            escaped = false;
        } else {
            escaped = !isLegalURLChar(c);
        }
        if (!escaped) {
            out.push_back(c);
            ++i;
            continue;
        }
        size_t next;
        codePointAt(p, i, n, next);
        if (c < 0x80) {
            putEscapedByte(out, static_cast<uint8_t>(c));
        } else {
            if (!encodeUnits(std::u16string_view(p + i, next - i), enc, false, bytes)) {
                return nullptr;
            }
            for (char b : bytes)
                putEscapedByte(out, static_cast<uint8_t>(b));
        }
        i = next;
    }
    return adoptUnits(std::move(out));
}

Ref<NSString> NSString::stringByReplacingPercentEscapesUsingEncoding(NSStringEncoding enc) {
    Units a(this);
    const char16_t* p = a.data();
    const size_t n = a.size();
    std::u16string out, decoded;
    out.reserve(n);
    std::string run;  // consecutive escaped bytes, decoded together
    for (size_t i = 0; i < n;) {
        if (p[i] != '%') {
            out.push_back(p[i++]);
            continue;
        }
        run.clear();
        while (i < n && p[i] == '%') {
            if (i + 2 >= n) return nullptr;
            int hi = hexValue(p[i + 1]), lo = hexValue(p[i + 2]);
            if (hi < 0 || lo < 0) return nullptr;
            run.push_back(static_cast<char>(hi * 16 + lo));
            i += 3;
        }
        if (!decodeBytes(reinterpret_cast<const uint8_t*>(run.data()), run.size(), enc, decoded)) {
            return nullptr;
        }
        out += decoded;
    }
    return adoptUnits(std::move(out));
}

Ref<NSString> NSString::stringByAddingPercentEncodingWithAllowedCharacters(
    NSCharacterSet* allowed) {
    Units a(this);
    const char16_t* p = a.data();
    const size_t n = a.size();
    std::u16string out;
    out.reserve(n + n / 4);
    std::string bytes;
    for (size_t i = 0; i < n;) {
        size_t next;
        uint32_t c = codePointAt(p, i, n, next);
        if (allowed && allowed->longCharacterIsMember(c)) {
            out.append(p + i, next - i);
        } else {
            if (U_IS_SURROGATE(c)) return nullptr;  // no UTF-8 for a lone surrogate
            bytes.clear();
            text_detail::appendUTF8(bytes, c);
            for (char b : bytes)
                putEscapedByte(out, static_cast<uint8_t>(b));
        }
        i = next;
    }
    return adoptUnits(std::move(out));
}

Ref<NSString> NSString::stringByRemovingPercentEncoding() {
    Units a(this);
    const char16_t* p = a.data();
    const size_t n = a.size();
    std::string bytes;
    bytes.reserve(n);
    for (size_t i = 0; i < n;) {
        if (p[i] == '%') {
            if (i + 2 >= n) return nullptr;
            int hi = hexValue(p[i + 1]), lo = hexValue(p[i + 2]);
            if (hi < 0 || lo < 0) return nullptr;
            bytes.push_back(static_cast<char>(hi * 16 + lo));
            i += 3;
            continue;
        }
        size_t next;
        uint32_t c = codePointAt(p, i, n, next);
        if (U_IS_SURROGATE(c)) return nullptr;
        text_detail::appendUTF8(bytes, c);
        i = next;
    }
    std::u16string out;
    if (!decodeUTF8(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out, false)) {
        return nullptr;
    }
    return adoptUnits(std::move(out));
}

// ---- paths -------------------------------------------------------------------------------

Ref<NSArray> NSString::pathComponents() {
    Units a(this);
    std::u16string_view v = a.view();
    std::vector<Ref<NSObject>> parts;
    if (!v.empty() && v[0] == '/') parts.emplace_back(NS("/"));
    bool any = false;
    for (size_t i = 0; i < v.size();) {
        if (v[i] == '/') {
            ++i;
            continue;
        }
        size_t e = v.find(u'/', i);
        if (e == std::u16string_view::npos) e = v.size();
        parts.emplace_back(makeString(v.substr(i, e - i)));
        any = true;
        i = e;
    }
    if (any && v.back() == '/') parts.emplace_back(NS("/"));
    return NSArray::arrayWithVector(std::move(parts));
}

Ref<NSString> NSString::lastPathComponent() {
    Units a(this);
    std::u16string_view t = stripTrailingSlashes(a.view());
    if (t == u"/") return makeString(t);
    size_t slash = t.rfind(u'/');
    return makeString(slash == std::u16string_view::npos ? t : t.substr(slash + 1));
}

Ref<NSString> NSString::pathExtension() {
    Units a(this);
    std::u16string_view t = stripTrailingSlashes(a.view());
    size_t slash = t.rfind(u'/');
    std::u16string_view last = slash == std::u16string_view::npos ? t : t.substr(slash + 1);
    size_t dot = last.rfind(u'.');
    if (dot == std::u16string_view::npos || dot == 0) return NSString::string();
    return makeString(last.substr(dot + 1));
}

bool NSString::isAbsolutePath() {
    if (!length()) return false;
    char16_t c = characterAtIndex(0);
    return c == '/' || c == '~';
}

Ref<NSString> NSString::stringByAppendingPathComponent(NSString* component) {
    if (!component) raiseNil("stringByAppendingPathComponent:");
    Units a(this), b(component);
    return adoptUnits(joinPath(a.view(), b.view()));
}

Ref<NSString> NSString::stringByAppendingPathExtension(NSString* ext) {
    if (!ext) raiseNil("stringByAppendingPathExtension:");
    Units a(this), e(ext);
    if (e.view().find(u'/') != std::u16string_view::npos) return nullptr;
    std::u16string_view t = stripTrailingSlashes(a.view());
    if (t.empty() || t == u"/" || t.back() == '~') return nullptr;
    std::u16string out(t);
    out.push_back('.');
    out.append(e.view());
    return adoptUnits(std::move(out));
}

Ref<NSString> NSString::stringByDeletingLastPathComponent() {
    Units a(this);
    std::u16string_view t = stripTrailingSlashes(a.view());
    if (t == u"/") return makeString(t);
    size_t slash = t.rfind(u'/');
    if (slash == std::u16string_view::npos) return NSString::string();
    if (slash == 0) return makeString(u"/");
    return makeString(stripTrailingSlashes(t.substr(0, slash)));
}

Ref<NSString> NSString::stringByDeletingPathExtension() {
    Units a(this);
    std::u16string_view t = stripTrailingSlashes(a.view());
    size_t slash = t.rfind(u'/');
    size_t compStart = slash == std::u16string_view::npos ? 0 : slash + 1;
    size_t dot = t.rfind(u'.');
    if (dot == std::u16string_view::npos || dot <= compStart) return makeString(t);
    return makeString(t.substr(0, dot));
}

Ref<NSString> NSString::stringByExpandingTildeInPath() {
    Units a(this);
    std::u16string_view path = a.view();
    // "~" is the app's own home, the sandbox, as on the phone.
    if (path.empty() || path[0] != '~' || (path.size() > 1 && path[1] != '/'))
        return selfOrCopy(this, a);
    return makeString(NSHomeDirectory()->u16() + std::u16string(path.substr(1)));
}

Ref<NSString> NSString::stringByStandardizingPath() {
    std::u16string path = stringByExpandingTildeInPath()->u16();
    if (path.empty()) return NSString::string();
    const bool absolute = path[0] == '/';
    std::vector<std::u16string_view> comps;
    std::u16string_view v = path;
    for (size_t i = 0; i < v.size();) {
        if (v[i] == '/') {
            ++i;
            continue;
        }
        size_t e = v.find(u'/', i);
        if (e == std::u16string_view::npos) e = v.size();
        std::u16string_view c = v.substr(i, e - i);
        i = e;
        if (c == u".") continue;
        // Parent references are resolved in absolute paths only; a relative one has no known
        // parent to go to.
        if (absolute && c == u"..") {
            if (!comps.empty()) comps.pop_back();
            continue;
        }
        comps.push_back(c);
    }
    std::u16string out;
    if (absolute) out.push_back('/');
    for (size_t k = 0; k < comps.size(); ++k) {
        if (k) out.push_back('/');
        out.append(comps[k]);
    }
    if (out.empty()) out = u".";  // a relative path of only "." components
    return adoptUnits(std::move(out));
}

Ref<NSString> NSString::pathWithComponents(NSArray* components) {
    std::u16string out;
    if (components) {
        for (NSUInteger i = 0, n = components->count(); i < n; ++i) {
            Ref<NSString> c = as<NSString>(components->objectAtIndex(i));
            if (!c) continue;
            out = joinPath(out, c->u16());
        }
    }
    return adoptUnits(std::move(out));
}

// ---- NSObject ----------------------------------------------------------------------------

Ref<NSString> NSString::description() {
    return Ref<NSString>(this);
}

bool NSString::isFixedTextString(NSObject* object) {
    const std::type_info& type = typeid(*object);
    return type == typeid(NSString) || type == typeid(CompactImmutableString);
}

Ref<NSObject> NSString::copyWithZone() {
    if (hasFixedText()) return Ref<NSObject>(this);
    Units u(this);
    return Ref<NSObject>(selfOrCopy(this, u));
}

Ref<NSObject> NSString::mutableCopyWithZone() {
    return Ref<NSObject>(NSMutableString::stringWithString(this));
}

Ref<NSString> NSString::copy() {
    return cast<NSString>(copyWithZone());
}

Ref<NSMutableString> NSString::mutableCopy() {
    return cast<NSMutableString>(mutableCopyWithZone());
}

// ---- NSMutableString ---------------------------------------------------------------------

Ref<NSMutableString> NSMutableString::string() {
    return alloc<NSMutableString>();
}

Ref<NSMutableString> NSMutableString::stringWithCapacity(NSUInteger capacity) {
    auto r = alloc<NSMutableString>();
    r->s_.reserve(capacity);
    return r;
}

Ref<NSMutableString> NSMutableString::stringWithString(NSString* s) {
    return make<NSMutableString>(&NSString::initWithString, s);
}

Ref<NSMutableString> NSMutableString::adoptUnits(std::u16string&& units) {
    auto r = alloc<NSMutableString>();
    r->s_ = std::move(units);
    return r;
}

Ref<NSMutableString> NSMutableString::compactStringWithUnits(std::u16string_view units) {
    return cast<NSMutableString>(CompactString<NSMutableString>::make<CompactMutableString>(units));
}

void NSMutableString::appendString(NSString* s) {
    willChangeText();
    if (!s) raiseNil("appendString:");
    if (s == this) {
        s_.append(std::u16string(s_));
    } else {
        Units u(s);
        s_.append(u.view());
    }
    changed();
}

void NSMutableString::insertString(NSString* s, NSUInteger index) {
    willChangeText();
    if (!s) raiseNil("insertString:atIndex:");
    if (index > s_.size()) raiseIndex("insertString:atIndex:", index, length());
    std::u16string ins = s->u16();
    s_.insert(index, ins);
    changed();
}

void NSMutableString::deleteCharactersInRange(NSRange range) {
    willChangeText();
    checkRange("deleteCharactersInRange:", range, length());
    s_.erase(range.location, range.length);
    changed();
}

void NSMutableString::replaceCharactersInRange(NSRange range, NSString* replacement) {
    willChangeText();
    if (!replacement) raiseNil("replaceCharactersInRange:withString:");
    checkRange("replaceCharactersInRange:withString:", range, length());
    std::u16string r = replacement->u16();
    s_.replace(range.location, range.length, r);
    changed();
}

void NSMutableString::setString(NSString* s) {
    willChangeText();
    if (s != this) s_ = s ? s->u16() : std::u16string();
    changed();
}

NSUInteger NSMutableString::replaceOccurrencesOfString(NSString* target, NSString* replacement,
                                                       NSStringCompareOptions options,
                                                       NSRange searchRange) {
    if (!target) raiseNil("replaceOccurrencesOfString:withString:options:range:");
    if (!replacement) raiseNil("replaceOccurrencesOfString:withString:options:range:");
    checkRange("replaceOccurrencesOfString:withString:options:range:", searchRange, length());
    NSUInteger count;
    std::u16string out;
    {
        Units a(this);
        out = replaceMatches(a, target, replacement, options, searchRange, count);
    }
    if (count) {
        willChangeText();
        s_ = std::move(out);
        changed();
    }
    return count;
}

NSUInteger NSMutableString::hash() {
    return NSString::hash();
}
