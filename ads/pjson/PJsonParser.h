// JSON text to objects: mutable dictionaries, arrays and strings, decimal numbers, boolean
// numbers and the null object. Separators between members and elements are optional ("[1 2]").
// An instance serves one call at a time on one thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Foundation/NSDictionary.h"
#include "ads/pjson/PJsonBase.h"

class NSObject;
class NSString;

// What a JSON parser answers.
class PJsonParserProtocol {
public:
    virtual ~PJsonParserProtocol() = default;
    virtual Ref<NSObject> objectWithString(NSString* text) = 0;
};

class PJsonParser : public PJsonBase, public PJsonParserProtocol {
    NS_OBJECT(PJsonParser, PJsonBase)

    // A dictionary or an array, or nil (a scalar fails with code 4).
    Ref<NSObject> objectWithString(NSString* text) override;
    // Any value, scalars included, or nil.
    Ref<NSObject> fragmentWithString(NSString* text);

private:
    bool scanValue(Ref<NSObject>* out);
    bool scanRestOfString(Ref<NSObject>* out, bool isKey = false);
    bool scanRestOfDictionary(Ref<NSObject>* out);
    bool scanRestOfArray(Ref<NSObject>* out);
    bool scanRestOfNull(Ref<NSObject>* out);
    bool scanRestOfFalse(Ref<NSObject>* out);
    bool scanRestOfTrue(Ref<NSObject>* out);
    bool scanNumber(Ref<NSObject>* out);
    bool scanHexQuad(char16_t* out);
    bool scanUnicodeChar(std::u16string* into);
    bool scanIsAtEnd();
    void skipWhitespace();
    // The first unit at or after p that ends a run of plain string units: a quotation mark, a
    // backslash, a control character (the terminating NUL included) or an unpaired surrogate.
    const char16_t* endOfPlainRun(const char16_t* p);

    // The text is read as the string's own UTF-16 units, which must end in a NUL (a NUL within
    // the text ends it, as it always has): in place when the string keeps them so, else copied
    // once into this room, kept between calls.
    std::u16string text_;
    const char16_t* c_ = nullptr;
    const char16_t* end_ = nullptr;  // the terminating NUL
    // The units of a string with escapes or unpaired surrogates, kept between strings so that
    // its room is reused; each string object then takes a copy in its own allocation. A string
    // without them is taken straight from the text.
    std::u16string units_;
    // The ASCII text of the number being read.
    std::string numberText_;
    static constexpr size_t kKeptTextUnits = size_t{1} << 20;
    // The members of the objects being read, innermost last.
    std::vector<collection_detail::HashTable::Entry> members_;
    // The elements of the arrays being read, innermost last.
    std::vector<Ref<NSObject>> elements_;
    // Values read so far in this call that can be shared, by the bytes of their units: a key
    // without escapes that comes again is the same immutable string, which the dictionaries copy
    // without cost; a number that comes again is the same (immutable) decimal number. A small open
    // table with a cheap hash, since replies repeat a few dozen keys and numbers; when it is half
    // full, further ones are simply read again.
    class Repeats {
    public:
        static constexpr size_t kSlots = 256;
        // The value read before for the bytes, or nil; then `*slot` is where it may be
        // remembered (left alone when the table is full). A key comes with its hash.
        NSObject* find(std::string_view bytes, size_t* slot, NSUInteger* hash = nullptr);
        void remember(size_t slot, std::string_view bytes, NSObject* value, NSUInteger hash = 0);
        void forget();

    private:
        struct Slot {
            std::string_view bytes;
            Ref<NSObject> value;
            NSUInteger hash = 0;
        };
        std::vector<Slot> slots_;
        std::vector<uint16_t> used_;
    };
    Repeats keys_;
    Repeats numbers_;
};
