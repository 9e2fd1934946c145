#include "ads/pebble/HXStringEncoding.h"

#include <numeric>
#include <vector>

#include "Foundation/NSData.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"

namespace {

Ref<HXStringEncoding> makeEncoding(const char* alphabet, bool pad, const char* synonyms) {
    auto encoding = alloc<HXStringEncoding>();
    if (!encoding->initWithString(NSString::stringWithUTF8String(alphabet))) return nullptr;
    if (pad) {
        encoding->setPaddingChar('=');
        encoding->setDoPad(true);
    }
    if (synonyms) encoding->addDecodeSynonyms(NSString::stringWithUTF8String(synonyms));
    return encoding;
}

}  // namespace

Ref<HXStringEncoding> HXStringEncoding::rfc4648Base64StringEncoding() {
    return makeEncoding("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/", true,
                        nullptr);
}

Ref<HXStringEncoding> HXStringEncoding::rfc4648Base64WebsafeStringEncoding() {
    return makeEncoding("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_", true,
                        nullptr);
}

Ref<HXStringEncoding> HXStringEncoding::rfc4648Base32StringEncoding() {
    return makeEncoding("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567", true, nullptr);
}

Ref<HXStringEncoding> HXStringEncoding::rfc4648Base32HexStringEncoding() {
    return makeEncoding("0123456789ABCDEFGHIJKLMNOPQRSTUV", true, nullptr);
}

Ref<HXStringEncoding> HXStringEncoding::crockfordBase32StringEncoding() {
    return makeEncoding("0123456789ABCDEFGHJKMNPQRSTVWXYZ", false,
                        "0oO1iIlLAaBbCcDdEeFfGgHhJjKkMmNnPpQqRrSsTtVvWwXxYyZz");
}

Ref<HXStringEncoding> HXStringEncoding::hexStringEncoding() {
    return makeEncoding("0123456789ABCDEF", false, "AaBbCcDdEeFf");
}

Ref<HXStringEncoding> HXStringEncoding::binaryStringEncoding() {
    return makeEncoding("01", false, nullptr);
}

Ref<HXStringEncoding> HXStringEncoding::stringEncodingWithString(NSString* alphabet) {
    auto encoding = alloc<HXStringEncoding>();
    if (!encoding->initWithString(alphabet)) return nullptr;
    return encoding;
}

bool HXStringEncoding::initWithString(NSString* alphabet) {
    if (!NSObject::init() || !alphabet) return false;
    auto data = alphabet->dataUsingEncoding(NSASCIIStringEncoding, false);
    if (!data) return false;
    NSUInteger length = data->length();
    if (length < 2 || length > 128 || (length & (length - 1)) != 0) return false;
    charMapData_ = data;
    charMap_ = static_cast<const unsigned char*>(data->bytes());
    for (int& v : reverseCharMap_)
        v = kNotAllowed;
    for (NSUInteger i = 0; i < length; ++i) {
        unsigned char c = charMap_[i];
        if (c >= 128 || reverseCharMap_[c] != kNotAllowed) return false;
        reverseCharMap_[c] = static_cast<int>(i);
    }
    shift_ = 0;
    while ((1u << shift_) < length)
        ++shift_;
    mask_ = (1 << shift_) - 1;
    padLen_ = std::lcm(8, shift_) / shift_;
    return true;
}

void HXStringEncoding::setPaddingChar(char c) {
    paddingChar_ = c;
    if (static_cast<unsigned char>(c) < 128)
        reverseCharMap_[static_cast<unsigned char>(c)] = kPadding;
}

void HXStringEncoding::addDecodeSynonyms(NSString* synonyms) {
    const char* s = synonyms ? synonyms->cStringUsingEncoding(NSASCIIStringEncoding) : nullptr;
    if (!s) return;
    int current = kNotAllowed;
    for (; *s; ++s) {
        auto c = static_cast<unsigned char>(*s);
        if (reverseCharMap_[c] == kNotAllowed)
            reverseCharMap_[c] = current;
        else
            current = reverseCharMap_[c];
    }
}

void HXStringEncoding::ignoreCharacters(NSString* characters) {
    const char* s = characters ? characters->cStringUsingEncoding(NSASCIIStringEncoding) : nullptr;
    if (!s) return;
    for (; *s; ++s) {
        auto c = static_cast<unsigned char>(*s);
        if (reverseCharMap_[c] != kNotAllowed)
            NSException::raise(NSInternalInconsistencyException, NS("Character already mapped"));
        reverseCharMap_[c] = kSkip;
    }
}

Ref<NSString> HXStringEncoding::encode(NSData* data) {
    NSUInteger inLength = data ? data->length() : 0;
    if (inLength == 0) return NSString::string();
    auto in = static_cast<const unsigned char*>(data->bytes());
    size_t outLength = (static_cast<size_t>(inLength) * 8 + shift_ - 1) / shift_;
    if (doPad_) outLength = (outLength + padLen_ - 1) / padLen_ * padLen_;
    std::string out;
    out.reserve(outLength);
    unsigned buffer = 0;
    int bits = 0;
    for (NSUInteger i = 0; i < inLength; ++i) {
        buffer = (buffer << 8) | in[i];
        bits += 8;
        while (bits >= shift_) {
            bits -= shift_;
            out.push_back(static_cast<char>(charMap_[(buffer >> bits) & mask_]));
        }
        buffer &= (1u << bits) - 1;
    }
    if (bits > 0) out.push_back(static_cast<char>(charMap_[(buffer << (shift_ - bits)) & mask_]));
    if (doPad_)
        while (out.size() < outLength)
            out.push_back(paddingChar_);
    if (out.size() != outLength)
        NSException::raise(NSInternalInconsistencyException, NS("Underflowed output buffer"));
    return NSString::fromUTF8(out);
}

Ref<NSString> HXStringEncoding::encodeString(NSString* string) {
    return encode(string ? string->dataUsingEncoding(NSUTF8StringEncoding, false).get() : nullptr);
}

Ref<NSData> HXStringEncoding::decode(NSString* string) {
    if (!string) return nullptr;
    auto ascii = string->dataUsingEncoding(NSASCIIStringEncoding, false);
    if (!ascii) return nullptr;
    auto in = static_cast<const unsigned char*>(ascii->bytes());
    NSUInteger inLength = ascii->length();
    size_t capacity = static_cast<size_t>(inLength) * shift_ / 8;
    std::vector<unsigned char> out;
    out.reserve(capacity);
    unsigned buffer = 0;
    int bits = 0;
    bool padding = false;
    for (NSUInteger i = 0; i < inLength; ++i) {
        unsigned char c = in[i];
        int value = c < 128 ? reverseCharMap_[c] : kNotAllowed;
        if (value == kPadding) {
            padding = true;
            continue;
        }
        if (value == kSkip) continue;
        if (value == kNotAllowed || padding) return nullptr;
        buffer = (buffer << shift_) | static_cast<unsigned>(value);
        bits += shift_;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<unsigned char>(buffer >> bits));
            buffer &= (1u << bits) - 1;
        }
    }
    // Leftover bits that carry data mean a truncated or forged digit.
    if (buffer != 0) return nullptr;
    if (out.size() > capacity)
        NSException::raise(NSInternalInconsistencyException, NS("Overflowed buffer"));
    return NSData::dataWithBytes(out.data(), static_cast<NSUInteger>(out.size()));
}

Ref<NSString> HXStringEncoding::stringByDecoding(NSString* string) {
    auto data = decode(string);
    if (!data) return nullptr;
    auto text = alloc<NSString>();
    if (!text->initWithData(data, NSUTF8StringEncoding)) return nullptr;
    return text;
}

Ref<NSString> HXStringEncoding::description() {
    return NSString::stringWithFormat(NS("<Base%d StringEncoder: %@>"), 1 << shift_,
                                      charMapData_.get());
}
