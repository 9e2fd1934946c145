// JSON text to objects: mutable dictionaries, arrays and strings, decimal numbers, boolean
// numbers and the null object. Separators between members and elements are optional ("[1 2]").
// An instance serves one call at a time on one thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

    // The string read before for these plain key bytes in this call, or nil.
    NSObject* knownKey(std::string_view bytes, size_t* slot);
    void rememberKey(size_t slot, std::string_view bytes, NSObject* key);
    void forgetKeys();

    const char* c_ = nullptr;
    // Keys without escapes read so far in this call, by their bytes: a key that comes again is
    // the same immutable string, which the dictionaries copy without cost. A small open table
    // with a cheap hash, since replies repeat a few dozen keys; when it fills up, further keys
    // are simply read again.
    struct KeySlot {
        std::string_view bytes;
        Ref<NSObject> key;
    };
    static constexpr size_t kKeySlots = 256;
    std::vector<KeySlot> keys_;
    std::vector<uint16_t> usedKeySlots_;
};
