// Bytes to text and back in any power-of-two base from 2 to 128, given the digit alphabet.
// Each factory makes a new encoder that nothing changes afterwards.
#pragma once

#include "Foundation/NSObject.h"

class NSData;
class NSString;

class HXStringEncoding : public NSObject {
    NS_OBJECT(HXStringEncoding, NSObject)
    static Ref<HXStringEncoding> rfc4648Base64StringEncoding();
    static Ref<HXStringEncoding> rfc4648Base64WebsafeStringEncoding();
    static Ref<HXStringEncoding> rfc4648Base32StringEncoding();
    static Ref<HXStringEncoding> rfc4648Base32HexStringEncoding();
    static Ref<HXStringEncoding> crockfordBase32StringEncoding();
    static Ref<HXStringEncoding> hexStringEncoding();
    static Ref<HXStringEncoding> binaryStringEncoding();
    static Ref<HXStringEncoding> stringEncodingWithString(NSString* alphabet);

    // False (nil) unless the alphabet is ASCII, of a power-of-two length from 2 to 128, and
    // free of repeats.
    bool initWithString(NSString* alphabet);

    Ref<NSString> encode(NSData* data);
    Ref<NSString> encodeString(NSString* string);
    // nil for any bad input: never partial data.
    Ref<NSData> decode(NSString* string);
    Ref<NSString> stringByDecoding(NSString* string);

    bool doPad() { return doPad_; }
    void setDoPad(bool pad) { doPad_ = pad; }
    void setPaddingChar(char c);
    // Each character without a value decodes as the last character before it that has one.
    void addDecodeSynonyms(NSString* synonyms);
    void ignoreCharacters(NSString* characters);
    Ref<NSString> description() override;

private:
    static constexpr int kNotAllowed = -1, kPadding = -2, kSkip = -3;
    Ref<NSData> charMapData_;
    const unsigned char* charMap_ = nullptr;
    int reverseCharMap_[128] = {};
    int shift_ = 0;
    int mask_ = 0;
    bool doPad_ = false;
    char paddingChar_ = '=';
    int padLen_ = 0;
};
