#include "json/ZJSONScanner.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

NSString* const ZJSONScannerErrorDomain = NS("ZJSONScannerErrorDomain");

using collection_detail::HashTable;

namespace {

NSString* errorText(NSInteger code) {
    switch (code) {
        case -1:
            return NS(
                "Could not scan dictionary. Dictionary that does not start with '{' "
                "character.");
        case -2:
            return NS("Could not scan dictionary. Failed to scan a key.");
        case -3:
            return NS("Could not scan dictionary. Key was not terminated with a ':' character.");
        case -4:
            return NS("Could not scan dictionary. Failed to scan a value.");
        case -5:
            return NS(
                "Could not scan dictionary. Key value pairs not delimited with a ',' "
                "character.");
        case -6:
            return NS("Could not scan dictionary. Dictionary not terminated by a '}' character.");
        case -7:
            return NS("Could not scan array. Array that does not start with '[' character.");
        case -8:
            return NS("Could not scan array. Could not scan a value.");
        case -9:
        case -10:
            return NS("Could not scan array. Array not terminated by a ']' character.");
        case -11:
            return NS("Could not scan string constant. String not started by a '\"' character.");
        case -12:
            return NS("Could not scan string constant. Unicode character could not be decoded.");
        case -13:
            return NS("Could not scan string constant. Unknown escape code.");
        default:
            return NS("Could not scan number constant.");
    }
}

void setError(Ref<NSError>* error, NSInteger code) {
    if (!error) return;
    auto info = NSDictionary::dictionaryWithObject(errorText(code), NSLocalizedDescriptionKey);
    *error = NSError::errorWithDomain(ZJSONScannerErrorDomain, code, info);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The data as UTF-8. The encoding shows in a byte order mark or, as JSON text starts with two
// ASCII characters, in the pattern of zero bytes among the first four. nil when the data does
// not decode in the encoding it shows.
Ref<NSData> utf8Data(NSData* data) {
    if (!data) return nullptr;
    const auto* b = static_cast<const uint8_t*>(data->bytes());
    NSUInteger n = data->length();
    NSStringEncoding encoding = 0;
    NSUInteger skip = 0;
    if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        return data->subdataWithRange(NSMakeRange(3, n - 3));
    } else if (n >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) {
        encoding = NSUTF32LittleEndianStringEncoding;
        skip = 4;
    } else if (n >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF) {
        encoding = NSUTF32BigEndianStringEncoding;
        skip = 4;
    } else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        encoding = NSUTF16LittleEndianStringEncoding;
        skip = 2;
    } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        encoding = NSUTF16BigEndianStringEncoding;
        skip = 2;
    } else if (n >= 4) {
        if (b[0] != 0 && b[1] == 0 && b[3] == 0) {
            encoding = b[2] ? NSUTF16LittleEndianStringEncoding : NSUTF32LittleEndianStringEncoding;
        } else if (b[0] == 0 && b[2] == 0 && b[3] != 0) {
            encoding = b[1] ? NSUTF16BigEndianStringEncoding : NSUTF32BigEndianStringEncoding;
        }
    }
    if (!encoding) return data;
    auto text = make<NSString>(&NSString::initWithBytes, static_cast<const void*>(b + skip),
                               n - skip, encoding);
    return text ? text->dataUsingEncoding(NSUTF8StringEncoding) : nullptr;
}

// Where the run of bytes that are neither a double quote nor a backslash ends; `wide` tells
// whether a byte of the run is outside ASCII. Sixteen bytes at a time where the processor allows
// it, then eight, while that many remain: strings are most of a document.
const uint8_t* plainRunEnd(const uint8_t* p, const uint8_t* end, bool* wide) {
    unsigned highs = 0;  // the high bits of the bytes passed
#if defined(__SSE2__)
    const __m128i quotes = _mm_set1_epi8('"');
    const __m128i backslashes = _mm_set1_epi8('\\');
    while (end - p >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto stops = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(block, quotes), _mm_cmpeq_epi8(block, backslashes))));
        const auto high = static_cast<unsigned>(_mm_movemask_epi8(block));
        if (stops) {
            const int at = std::countr_zero(stops);
            *wide = (highs | (high & ((1u << at) - 1))) != 0;
            return p + at;
        }
        highs |= high;
        p += 16;
    }
#endif
    constexpr uint64_t ones = 0x0101010101010101ull;
    constexpr uint64_t tops = 0x8080808080808080ull;
    uint64_t any = 0;
    while (end - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        const uint64_t quote = word ^ (ones * '"');
        const uint64_t backslash = word ^ (ones * '\\');
        // A high bit for each zero byte (and none before the first): a byte that matched.
        const uint64_t found =
            ((quote - ones) & ~quote & tops) | ((backslash - ones) & ~backslash & tops);
        if (found) {
            const int at = std::countr_zero(found) >> 3;
            if (at) any |= word << (64 - 8 * at);  // the bytes before the match (little-endian)
            *wide = highs || (any & tops);
            return p + at;
        }
        any |= word;
        p += 8;
    }
    while (p < end && *p != '"' && *p != '\\')
        any |= *p++;
    *wide = highs || (any & tops);
    return p;
}

// The string of a run of plain bytes; nil when they are not UTF-8.
Ref<NSString> stringFromRun(const uint8_t* begin, const uint8_t* end, bool wide) {
    const std::string_view bytes(reinterpret_cast<const char*>(begin),
                                 static_cast<size_t>(end - begin));
    return wide ? NSString::compactStringWithUTF8(bytes) : NSString::compactStringWithASCII(bytes);
}

// A hash of a key's or number's bytes from their length and (overlapping) loads at both ends: the
// cache compares all the bytes anyway, and keys differ early or late.
uint32_t bytesHash(const uint8_t* p, uint32_t length) {
    uint64_t head = 0, tail = 0;
    if (length >= 8) {
        std::memcpy(&head, p, 8);
        std::memcpy(&tail, p + length - 8, 8);
    } else if (length >= 4) {
        uint32_t a, b;
        std::memcpy(&a, p, 4);
        std::memcpy(&b, p + length - 4, 4);
        head = (uint64_t{a} << 32) | b;
    } else if (length > 0) {
        head = (uint64_t{p[0]} << 16) | (uint64_t{p[length / 2]} << 8) | p[length - 1];
    }
    uint64_t h = (head * 0x9E3779B97F4A7C15ull) ^ ((tail + length) * 0xC2B2AE3D27D4EB4Full);
    return static_cast<uint32_t>(h ^ (h >> 29));
}

// Whether the first and the last word of two runs of `length` bytes (at least a word) agree.
template <class Word>
bool endsEqual(const uint8_t* a, const uint8_t* b, uint32_t length) {
    Word a0, a1, b0, b1;
    std::memcpy(&a0, a, sizeof(Word));
    std::memcpy(&b0, b, sizeof(Word));
    std::memcpy(&a1, a + length - sizeof(Word), sizeof(Word));
    std::memcpy(&b1, b + length - sizeof(Word), sizeof(Word));
    return a0 == b0 && a1 == b1;
}

// Whether two runs of `length` bytes are equal: short ones (keys, numbers) by two overlapping
// loads from each end.
bool sameBytes(const uint8_t* a, const uint8_t* b, uint32_t length) {
    if (length > 16 || length < 4) return std::memcmp(a, b, length) == 0;
    return length >= 8 ? endsEqual<uint64_t>(a, b, length) : endsEqual<uint32_t>(a, b, length);
}

// The part of a pending stack that one dictionary or array filled: handed over whole when the
// container is complete, dropped when it fails.
template <class T>
class PendingScope {
public:
    PendingScope(std::vector<T>& stack, size_t base) : stack_(stack), base_(base) {}
    ~PendingScope() {
        stack_.erase(stack_.begin() + static_cast<std::ptrdiff_t>(base_), stack_.end());
    }
    PendingScope(const PendingScope&) = delete;
    PendingScope& operator=(const PendingScope&) = delete;

    std::vector<T> take() {
        auto first = stack_.begin() + static_cast<std::ptrdiff_t>(base_);
        std::vector<T> items(std::make_move_iterator(first), std::make_move_iterator(stack_.end()));
        stack_.erase(first, stack_.end());
        return items;
    }

private:
    std::vector<T>& stack_;
    size_t base_;
};

// Drops the pending entries (from `base` on) whose key equals `key`.
void removeKey(std::vector<HashTable::Entry>& entries, size_t base, NSString* key) {
    auto first = entries.begin() + static_cast<std::ptrdiff_t>(base);
    entries.erase(std::remove_if(first, entries.end(),
                                 [&](const HashTable::Entry& e) {
                                     return e.key.get() == key || key->isEqual(e.key);
                                 }),
                  entries.end());
}

// Counts one level of nesting for as long as a dictionary or array is being scanned.
class DepthGuard {
public:
    explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
    ~DepthGuard() { --depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& depth_;
};

}  // namespace

class ZJSONScanner::OutermostScan {
public:
    explicit OutermostScan(ZJSONScanner& scanner)
        : scanner_(scanner), outermost_(!scanner.scanning_) {
        scanner.scanning_ = true;
    }
    ~OutermostScan() {
        if (!outermost_) return;
        scanner_.forgetReadBefore();
        scanner_.scanning_ = false;
    }
    OutermostScan(const OutermostScan&) = delete;
    OutermostScan& operator=(const OutermostScan&) = delete;

private:
    ZJSONScanner& scanner_;
    const bool outermost_;
};

Ref<ZJSONScanner> ZJSONScanner::scannerWithData(NSData* data) {
    auto scanner = make<ZJSONScanner>();
    scanner->setData(data);
    return scanner;
}

namespace {

// The room a scanner works in, kept by the thread between documents: most documents are read
// one after another on one thread, and allocating the room anew for each cost as much as a small
// document's strings.
struct SpareRoom {
    std::vector<ZJSONScanner::Slot> slots;
    std::vector<ZJSONScanner::Kept> readBefore;
    std::vector<HashTable::Entry> pendingEntries;
    std::vector<Ref<NSObject>> pendingElements;
    std::u16string units;
    std::vector<NSNumber*> smallIntegers;
    std::vector<uint16_t> smallIntegersRead;
    bool held = false;  // by a scanner now
};
thread_local SpareRoom spareRoom;

// A long document's room is not kept.
constexpr size_t kKeptEntries = 256;
constexpr size_t kKeptUnits = 4096;

}  // namespace

bool ZJSONScanner::init() {
    if (!ZDataScanner::init()) return false;
    SpareRoom& spare = spareRoom;
    if (!spare.held) {
        spare.held = true;
        heldSpare_ = true;
        slots_.swap(spare.slots);
        readBefore_.swap(spare.readBefore);
        pendingEntries_.swap(spare.pendingEntries);
        pendingElements_.swap(spare.pendingElements);
        units_.swap(spare.units);
        smallIntegers_.swap(spare.smallIntegers);
        smallIntegersRead_.swap(spare.smallIntegersRead);
    }
    return true;
}

void ZJSONScanner::dealloc() {
    forgetReadBefore();
    pendingEntries_.clear();
    pendingElements_.clear();
    if (heldSpare_) {
        SpareRoom& spare = spareRoom;
        heldSpare_ = false;
        spare.held = false;
        if (pendingEntries_.capacity() <= kKeptEntries) pendingEntries_.swap(spare.pendingEntries);
        if (pendingElements_.capacity() <= kKeptEntries)
            pendingElements_.swap(spare.pendingElements);
        if (units_.capacity() <= kKeptUnits) units_.swap(spare.units);
        slots_.swap(spare.slots);
        readBefore_.swap(spare.readBefore);
        smallIntegers_.swap(spare.smallIntegers);
        smallIntegersRead_.swap(spare.smallIntegersRead);
    }
    ZDataScanner::dealloc();
}

void ZJSONScanner::forgetReadBefore() {
    // The slots point into the bytes they were read from. Only those that were given an object
    // count as taken. The objects have not been handed out yet.
    for (const Kept& kept : readBefore_) {
        slots_[kept.slot].index = 0;
        objc_detail::releaseUnshared(kept.object);
    }
    readBefore_.clear();
    for (uint16_t value : smallIntegersRead_) {
        objc_detail::releaseUnshared(smallIntegers_[value]);
        smallIntegers_[value] = nullptr;
    }
    smallIntegersRead_.clear();
    std::fill(std::begin(firstKeys_), std::end(firstKeys_), 0u);
    for (NSNumber** shared : {&true_, &false_}) {
        if (*shared) objc_detail::releaseUnshared(*shared);
        *shared = nullptr;
    }
}

namespace {

// Keeps a number the scanner shares from now on (retained unshared, see OutermostScan).
NSNumber* keepShared(NSNumber*& place, const Ref<NSNumber>& made) {
    place = made.get();
    objc_detail::retainUnshared(place);
    return place;
}

}  // namespace

NSNumber* ZJSONScanner::sharedBool(bool truth) {
    NSNumber*& shared = truth ? true_ : false_;
    return shared ? shared : keepShared(shared, NSNumber::numberWithBool(truth));
}

NSNumber* ZJSONScanner::sharedSmallInteger(int value) {
    if (smallIntegers_.empty()) smallIntegers_.resize(kSmallIntegers);
    NSNumber*& shared = smallIntegers_[static_cast<size_t>(value)];
    if (shared) return shared;
    smallIntegersRead_.push_back(static_cast<uint16_t>(value));
    return keepShared(shared, NSNumber::numberWithDouble(value));
}

void ZJSONScanner::setData(NSData* data) {
    forgetReadBefore();
    ZDataScanner::setData(utf8Data(data));
}

bool ZJSONScanner::scanJSONObject(Ref<NSObject>* object, Ref<NSError>* error) {
    OutermostScan scan(*this);
    skipWhitespace();
    Ref<NSObject> value;
    bool ok = true;
    switch (currentCharacter()) {
        case '{': {
            Ref<NSDictionary> d;
            ok = scanJSONDictionary(&d, error);
            value = std::move(d);
            break;
        }
        case '[': {
            Ref<NSArray> a;
            ok = scanJSONArray(&a, error);
            value = std::move(a);
            break;
        }
        case '"':
        case '\'': {
            Ref<NSString> s;
            ok = scanStringHere(&s, error);
            value = std::move(s);
            break;
        }
        case '-':
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
        case '8':
        case '9': {
            Ref<NSNumber> n;
            ok = scanJSONNumberConstant(&n, error);
            value = std::move(n);
            break;
        }
        case 't':
        case 'f': {
            // One immutable object for each of the two values throughout a document.
            const bool truth = currentCharacter() == 't';
            if (!scanUTF8String(truth ? "true" : "false", nullptr)) break;
            value = Ref<NSNumber>::unshared(sharedBool(truth));
            break;
        }
        case 'n':
            if (scanUTF8String("null", nullptr)) value = NSNull::null();
            break;
        default:
            break;  // no value starts here: nothing, and no error
    }
    if (object) *object = ok ? std::move(value) : nullptr;
    return ok;
}

bool ZJSONScanner::scanJSONDictionary(Ref<NSDictionary>* dictionary, Ref<NSError>* error) {
    OutermostScan scan(*this);
    const uint8_t* begin = current_;
    const size_t base = pendingEntries_.size();
    // Room for most documents within the allocator's per-thread caches (under a kilobyte).
    if (base == 0) pendingEntries_.reserve(24);
    PendingScope<HashTable::Entry> pending(pendingEntries_, base);
    auto fail = [&](NSInteger code) {
        current_ = begin;
        setError(error, code);
        return false;
    };
    if (!scanCharacter('{')) return fail(-1);
    if (depth_ >= kMaximumDepth) return fail(-4);  // too deep: a value that cannot be scanned
    DepthGuard guard(depth_);

    // The key expected next, and the one just read (both kept keys, plus one).
    uint32_t* firstKey = depth_ <= kFirstKeyDepths ? &firstKeys_[depth_ - 1] : nullptr;
    uint32_t expected = firstKey ? *firstKey : 0;
    uint32_t previous = 0;
    skipWhitespace();  // and after each comma: the loop starts at a key or the end
    while (currentCharacter() != '}') {
        Ref<NSString> key;
        NSUInteger hash = 0;
        uint32_t kept = 0;
        if (!scanKey(&key, &hash, expected, &kept)) return fail(-2);
        if (previous) {
            readBefore_[previous - 1].next = kept;
        } else if (firstKey) {
            *firstKey = kept;
        }
        previous = kept;
        expected = kept ? readBefore_[kept - 1].next : 0;
        skipWhitespace();
        if (!scanCharacter(':')) return fail(-3);
        Ref<NSObject> value;
        if (!scanJSONObject(&value, nullptr)) return fail(-4);
        // As key-value setting: a later equal key replaces (the dictionary sees to that when it
        // is made), a missing value removes.
        if (value) {
            pendingEntries_.push_back({std::move(key), std::move(value), hash});
        } else {
            removeKey(pendingEntries_, base, key);
        }
        skipWhitespace();
        if (scanCharacter(',')) {
            skipWhitespace();
        } else if (currentCharacter() == '}') {
            break;
        } else {
            return fail(-5);
        }
    }
    if (!scanCharacter('}')) return fail(-6);
    // Every key is an immutable string whose hash is known: the dictionary need not ask.
    if (dictionary) *dictionary = NSDictionary::dictionaryWithHashedEntries(pending.take());
    return true;
}

bool ZJSONScanner::scanJSONArray(Ref<NSArray>* array, Ref<NSError>* error) {
    OutermostScan scan(*this);
    const uint8_t* begin = current_;
    if (pendingElements_.empty()) pendingElements_.reserve(32);
    PendingScope<Ref<NSObject>> pending(pendingElements_, pendingElements_.size());
    auto fail = [&](NSInteger code) {
        current_ = begin;
        setError(error, code);
        return false;
    };
    if (!scanCharacter('[')) return fail(-7);
    if (depth_ >= kMaximumDepth) return fail(-8);  // too deep: a value that cannot be scanned
    DepthGuard guard(depth_);

    skipWhitespace();
    while (currentCharacter() != ']') {
        Ref<NSObject> value;
        // An element that starts no value (a stray comma, an unknown word, the end of the
        // data) is an error: dropping it would shift every later element.
        if (!scanJSONObject(&value, nullptr) || !value) return fail(-8);
        pendingElements_.push_back(std::move(value));
        skipWhitespace();
        bool comma = scanCharacter(',');
        skipWhitespace();
        if (!comma) {
            if (currentCharacter() == ']') break;
            return fail(-9);
        }
    }
    skipWhitespace();
    if (!scanCharacter(']')) return fail(-10);
    if (array) *array = NSArray::arrayWithVector(pending.take());
    return true;
}

bool ZJSONScanner::scanKey(Ref<NSString>* key, NSUInteger* hash, uint32_t expected,
                           uint32_t* kept) {
    const uint8_t* text = current_ + 1;
    if (expected) {
        // The kept key's bytes hold no quote and no backslash: the same bytes followed by a
        // quote are that key.
        const Kept& guess = readBefore_[expected - 1];
        const Slot& slot = slots_[guess.slot];
        const uint32_t length = slot.length & ~static_cast<uint32_t>(Kind::Number);
        if (current_ < end_ && *current_ == '"' && static_cast<size_t>(end_ - text) > length &&
            text[length] == '"' && sameBytes(start_ + slot.offset, text, length)) {
            *key = Ref<NSString>::unshared(static_cast<NSString*>(guess.object));
            *hash = guess.hash;
            *kept = expected;
            current_ = text + length + 1;
            return true;
        }
    }
    *kept = 0;
    bool wide = false;
    const uint8_t* close =
        current_ < end_ && *current_ == '"' ? plainRunEnd(text, end_, &wide) : end_;
    if (close == end_ || *close != '"') {
        if (!scanStringHere(key, nullptr)) return false;
        *hash = (*key)->hash();
        return true;
    }

    // A key without escapes: its bytes tell whether it was read before, and it is hashed once.
    const auto length = static_cast<uint32_t>(close - text);
    Slot* slot = slotFor(Kind::Key, text, length);
    if (slot && slot->index) {
        const Kept& found = readBefore_[slot->index - 1];
        *key = Ref<NSString>::unshared(static_cast<NSString*>(found.object));
        *hash = found.hash;
        *kept = slot->index;
        current_ = close + 1;
        return true;
    }
    // An ASCII key is hashed from its bytes as it is widened.
    auto string =
        wide ? stringFromRun(text, close, wide)
             : NSString::hashedStringWithASCII(std::string_view(reinterpret_cast<const char*>(text),
                                                                static_cast<size_t>(close - text)),
                                               hash);
    if (!string) return false;  // not UTF-8
    current_ = close + 1;
    if (wide) *hash = string->hash();
    keep(slot, string, *hash);
    if (slot) *kept = slot->index;
    *key = std::move(string);
    return true;
}

ZJSONScanner::Slot* ZJSONScanner::slotFor(Kind kind, const uint8_t* bytes, uint32_t length) {
    constexpr size_t kKept = kSlots * 3 / 4;  // a full table would probe forever
    if (slots_.empty()) {
        slots_.resize(kSlots);
        readBefore_.reserve(kKept);
    }
    const uint32_t hash = bytesHash(bytes, length) ^ static_cast<uint32_t>(kind);
    const uint32_t tagged = length | static_cast<uint32_t>(kind);
    for (size_t i = hash & (kSlots - 1);; i = (i + 1) & (kSlots - 1)) {
        Slot& slot = slots_[i];
        if (!slot.index) {
            if (readBefore_.size() >= kKept) return nullptr;
            // Described already; it counts as taken once keep() gives it its object.
            slot = Slot{static_cast<uint32_t>(bytes - start_), tagged, hash, 0};
            return &slot;
        }
        if (slot.hash == hash && slot.length == tagged &&
            sameBytes(start_ + slot.offset, bytes, length)) {
            return &slot;
        }
    }
}

void ZJSONScanner::keep(Slot* slot, NSObject* object, NSUInteger hash) {
    if (!slot) return;
    readBefore_.push_back(Kept{object, hash, static_cast<uint32_t>(slot - slots_.data())});
    objc_detail::retainUnshared(object);
    slot->index = static_cast<uint32_t>(readBefore_.size());
}

bool ZJSONScanner::scanJSONStringConstant(Ref<NSString>* string, Ref<NSError>* error) {
    const uint8_t* begin = current_;
    skipWhitespace();
    if (scanStringHere(string, error)) return true;
    current_ = begin;
    return false;
}

bool ZJSONScanner::scanStringHere(Ref<NSString>* string, Ref<NSError>* error) {
    const uint8_t* begin = current_;
    auto fail = [&](NSInteger code) {
        current_ = begin;
        setError(error, code);
        return false;
    };
    if (!scanCharacter('"')) return fail(-11);

    // Most strings have no escapes: one run of plain bytes up to the closing quote, made into
    // the string straight from the data.
    bool wide = false;
    const uint8_t* close = plainRunEnd(current_, end_, &wide);
    if (close < end_ && *close == '"') {
        auto text = stringFromRun(current_, close, wide);
        if (!text) return fail(-11);  // bytes that are not UTF-8 fail the string
        current_ = close + 1;
        if (string) *string = std::move(text);
        return true;
    }

    // A string with escapes: its units are written into room the scanner keeps, which only grows
    // (a rare long text's aside), so that most strings write without sizing it. `count` units are
    // written so far.
    std::u16string& units = units_;
    size_t count = 0;
    auto room = [&](size_t more) {
        if (units.size() < count + more) units.resize(std::max(count + more, units.size() * 2));
        return units.data() + count;
    };
    while (!scanCharacter('"')) {
        if (current_ >= end_) return fail(-11);  // the data ends inside the string
        if (currentCharacter() != '\\') {
            // The run before the first escape was found above.
            if (close < current_) close = plainRunEnd(current_, end_, &wide);
            const auto length = static_cast<size_t>(close - current_);
            if (!wide) {
                // An ASCII run between escapes, widened unit for unit.
                char16_t* w = room(length);
                const uint8_t* p = current_;
                for (size_t i = 0; i < length; ++i)
                    w[i] = p[i];
                count += length;
                current_ = close;
                continue;
            }
            // Bytes that are not UTF-8 fail the string rather than vanish from it.
            units.resize(count);
            if (!NSString::appendUTF8(
                    units, std::string_view(reinterpret_cast<const char*>(current_), length)))
                return fail(-11);
            count = units.size();
            current_ = close;
            continue;
        }
        ++current_;
        char16_t unit;
        switch (scanCharacter()) {
            case '"':
                unit = u'"';
                break;
            case '/':
                unit = u'/';
                break;
            case '\\':
                unit = u'\\';
                break;
            case 'b':
                unit = 0x08;
                break;
            case 'f':
                unit = 0x0C;
                break;
            case 'n':
                unit = 0x0A;
                break;
            case 'r':
                unit = 0x0D;
                break;
            case 't':
                unit = 0x09;
                break;
            case 'u': {
                unsigned value = 0;
                for (int i = 0; i < 4; ++i) {
                    int digit = hexDigit(currentCharacter());
                    if (digit < 0) return fail(-12);  // 0 at the end is no digit either
                    ++current_;
                    value = (value << 4) | static_cast<unsigned>(digit);
                }
                unit = static_cast<char16_t>(value);
                break;
            }
            default:
                return fail(-13);
        }
        *room(1) = unit;
        ++count;
    }
    if (string)
        *string = NSString::compactStringWithUnits(std::u16string_view(units.data(), count));
    // A rare long text's room is not kept for the rest of the document.
    if (units.capacity() > kKeptUnits) std::u16string().swap(units);
    return true;
}

bool ZJSONScanner::scanJSONNumberConstant(Ref<NSNumber>* number, Ref<NSError>* error) {
    OutermostScan scan(*this);
    const uint8_t* run = current_;
    if (const int small = number ? smallInteger(&run) : -1; small >= 0) {
        *number = Ref<NSNumber>::unshared(sharedSmallInteger(small));
        current_ = run;
        return true;
    }
    const uint8_t* end = doubleCharacters_ ? numberEnd() : run;
    if (end == run) {
        setError(error, -14);
        return false;
    }
    if (!number) {
        current_ = end;
        return true;
    }
    // The same bytes read as the same number.
    const auto length = static_cast<uint32_t>(end - run);
    Slot* slot = slotFor(Kind::Number, run, length);
    if (slot && slot->index) {
        *number =
            Ref<NSNumber>::unshared(static_cast<NSNumber*>(readBefore_[slot->index - 1].object));
        current_ = end;
        return true;
    }
    takeNumber(end, number);
    keep(slot, *number, 0);
    return true;
}

bool ZJSONScanner::scanNotQuoteCharactersIntoString(Ref<NSString>* string) {
    bool wide = false;
    const uint8_t* p = plainRunEnd(current_, end_, &wide);
    return p != current_ && takeText(p, string);
}
