// The JSON grammar over a byte scanner. It is lenient where the servers it reads are sloppy
// (trailing commas, values it does not recognise read as nothing, bytes after the first value
// left alone) and strict elsewhere (double quotes only, no plus sign before a number). Bad input is
// reported through NSError values in ZJSONScannerErrorDomain; nothing is raised for it.
#pragma once

#include <string>
#include <vector>

#include "Foundation/NSDictionary.h"
#include "json/ZDataScanner.h"

class NSArray;
class NSError;

extern NSString* const ZJSONScannerErrorDomain;  // "ZJSONScannerErrorDomain"

class ZJSONScanner : public ZDataScanner {
    NS_OBJECT(ZJSONScanner, ZDataScanner)
    static Ref<ZJSONScanner> scannerWithData(NSData* data);
    bool init() override;
    void dealloc() override;

    // Data of UTF-16 or UTF-32 (told by its zero bytes or a byte order mark) is converted to
    // UTF-8 first; a UTF-8 byte order mark is dropped. Data that does not decode in the encoding
    // it shows leaves the scanner with no bytes.
    void setData(NSData* data) override;

    // Each takes an out-pointer for the value and one for the error (both may be null) and
    // answers NO on bad input, leaving the location where the construct began.
    // Any value; YES with no value when the bytes start none.
    bool scanJSONObject(Ref<NSObject>* object, Ref<NSError>* error);
    bool scanJSONDictionary(Ref<NSDictionary>* dictionary, Ref<NSError>* error);
    bool scanJSONArray(Ref<NSArray>* array, Ref<NSError>* error);
    bool scanJSONStringConstant(Ref<NSString>* string, Ref<NSError>* error);
    bool scanJSONNumberConstant(Ref<NSNumber>* number, Ref<NSError>* error);
    // The longest run of bytes before the end, a double quote or a backslash, as UTF-8; NO for
    // an empty run or bytes that are not valid UTF-8.
    bool scanNotQuoteCharactersIntoString(Ref<NSString>* string);

    // Dictionaries and arrays nest at most this deep, so that hostile input cannot exhaust the
    // stack; deeper ones fail as a value that could not be scanned.
    static constexpr int kMaximumDepth = 512;

    // Keys and numbers read so far in the outermost scan call are kept by their bytes: the
    // objects of an array repeat the same keys and often the same numbers, and one immutable
    // object serves every place that reads the same (public for the room a thread keeps between
    // scanners).
    enum class Kind : uint32_t { Key = 0, Number = 1u << 31 };
    struct Slot {
        uint32_t offset = 0;  // of the bytes in the data
        uint32_t length = 0;  // with the kind in its top bit
        uint32_t hash = 0;
        uint32_t index = 0;  // into readBefore_, plus one; 0 for a free slot
    };
    struct Kept {
        NSObject* object = nullptr;  // retained unshared (see OutermostScan)
        NSUInteger hash = 0;         // a key's, given to the dictionaries that hold it
        uint32_t slot = 0;           // where it is found
        uint32_t next = 0;           // a key's: the key that followed it last, plus one
    };

private:
    // Marks the outermost scan call: the objects it makes reach nobody else until it returns,
    // so the scanner shares them among the result's parts with plain (unshared) retains, and
    // lets go of them before they are handed out.
    class OutermostScan;

    // scanJSONStringConstant at the location, whitespace skipped already (values and keys).
    bool scanStringHere(Ref<NSString>* string, Ref<NSError>* error);
    // A key as scanJSONStringConstant reads it, at the location (whitespace skipped); keys without
    // escapes are read and hashed once per outermost scan. Keys are immutable strings, given with
    // their hash. `expected` is the kept key (plus one) likely to come next: the objects of an
    // array write their keys in the same order, so it is checked by its bytes before any lookup.
    // Gives the key's own (plus one, 0 for a key not kept) in `kept`.
    bool scanKey(Ref<NSString>* key, NSUInteger* hash, uint32_t expected, uint32_t* kept);
    // The kept key that began the last dictionary at each depth (plus one).
    static constexpr int kFirstKeyDepths = 8;
    uint32_t firstKeys_[kFirstKeyDepths] = {};

    // Nesting of the dictionaries and arrays being scanned.
    int depth_ = 0;

    // The entries and elements of the dictionaries and arrays being scanned, innermost last:
    // one stack for the whole document, so that each container allocates only its own storage.
    std::vector<collection_detail::HashTable::Entry> pendingEntries_;
    std::vector<Ref<NSObject>> pendingElements_;

    static constexpr size_t kSlots = 64;
    // The slot of an object read before from the bytes as that kind, or the free slot where one
    // would go (nullptr when no more fit).
    Slot* slotFor(Kind kind, const uint8_t* bytes, uint32_t length);
    // Keeps the object read from the bytes in the free slot that slotFor gave for them.
    void keep(Slot* slot, NSObject* object, NSUInteger hash);
    // Frees every slot and kept object.
    void forgetReadBefore();
    // One of the shared booleans, made on first use.
    NSNumber* sharedBool(bool truth);
    // The shared number of a small integer (see ZDataScanner::smallInteger), made on first use.
    NSNumber* sharedSmallInteger(int value);
    std::vector<Slot> slots_;
    std::vector<Kept> readBefore_;
    NSNumber* true_ = nullptr;  // the booleans read so far, retained unshared
    NSNumber* false_ = nullptr;
    // Small integers read so far, by value (retained unshared; sized on first use), and which
    // are set: most numbers of a document are small counts and codes, and their bytes need no
    // lookup.
    static constexpr int kSmallIntegers = 1000;
    std::vector<NSNumber*> smallIntegers_;
    std::vector<uint16_t> smallIntegersRead_;
    bool scanning_ = false;  // inside an outermost scan call
    // Room for the units of a string with escapes, as they are read (see scanStringHere).
    std::u16string units_;
    // Whether the vectors above are the room the thread keeps between scanners, given back at
    // dealloc.
    bool heldSpare_ = false;
};
