#include "ads/ironvine/IVBase64.h"

#include <array>
#include <string>
#include <string_view>

#include "Foundation/NSData.h"
#include "Foundation/NSString.h"

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

const std::array<unsigned char, 128>& reverseTable() {
    static const std::array<unsigned char, 128> table = [] {
        std::array<unsigned char, 128> t{};
        t.fill(255);
        for (unsigned i = 0; i < 64; ++i)
            t[static_cast<unsigned char>(kAlphabet[i])] = i;
        return t;
    }();
    return table;
}

Ref<NSData> decode(std::string_view text) {
    // A NUL ends the text, as it ends a C string.
    text = text.substr(0, text.find('\0'));
    while (!text.empty() && text.back() == '=')
        text.remove_suffix(1);
    const auto& table = reverseTable();
    std::string out;
    out.reserve(text.size() * 3 / 4);
    unsigned bits = 0;
    int held = 0;
    for (char ch : text) {
        auto u = static_cast<unsigned char>(ch);
        unsigned v;
        if (u == '=')
            v = 0;  // a pad inside the text counts as a zero character
        else if (u < 128 && table[u] != 255)
            v = table[u];
        else
            continue;
        bits = (bits << 6) | v;
        held += 6;
        if (held >= 8) {
            held -= 8;
            out += static_cast<char>((bits >> held) & 0xFF);
        }
    }
    return NSData::dataWithBytes(out.data(), out.size());
}
}  // namespace

Ref<NSString> IVBase64::base64StringWithData(NSData* data) {
    if (!data) return NSString::string();
    return data->base64EncodedString();
}

Ref<NSString> IVBase64::base64StringWithString(NSString* string) {
    if (!string) return NSString::string();
    return base64StringWithData(string->dataUsingEncoding(NSUTF8StringEncoding).get());
}

Ref<NSData> IVBase64::dataWithBase64String(NSString* base64) {
    if (!base64) return NSData::data();
    return decode(base64->utf8());
}

Ref<NSData> IVBase64::dataWithBase64Data(NSData* base64) {
    if (!base64) return NSData::data();
    return decode(std::string_view(static_cast<const char*>(base64->bytes()), base64->length()));
}

Ref<NSString> IVBase64::stringWithBase64String(NSString* base64) {
    auto data = dataWithBase64String(base64);
    return NSString::fromUTF8(
        std::string_view(static_cast<const char*>(data->bytes()), data->length()));
}

Ref<NSString> IVBase64::stringWithBase64Data(NSData* base64) {
    auto data = dataWithBase64Data(base64);
    return NSString::fromUTF8(
        std::string_view(static_cast<const char*>(data->bytes()), data->length()));
}
