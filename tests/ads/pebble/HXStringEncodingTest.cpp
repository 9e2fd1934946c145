#include "ads/pebble/HXStringEncoding.h"

#include <gtest/gtest.h>

#include "Foundation/NSData.h"
#include "Foundation/NSString.h"
#include "support/FoundationTesting.h"

namespace {

std::string encoded(HXStringEncoding* e, const char* input) {
    return text(e->encodeString(NSString::stringWithUTF8String(input)));
}

std::string decoded(HXStringEncoding* e, const char* input) {
    auto data = e->decode(NSString::stringWithUTF8String(input));
    if (!data) return "<nil>";
    return std::string(static_cast<const char*>(data->bytes()), data->length());
}

struct Vector {
    const char* plain;
    const char* base64;
    const char* base32;
    const char* base32hex;
    const char* hex;
};

// The test vectors of RFC 4648, section 10.
const Vector kVectors[] = {
    {"", "", "", "", ""},
    {"f", "Zg==", "MY======", "CO======", "66"},
    {"fo", "Zm8=", "MZXQ====", "CPNG====", "666F"},
    {"foo", "Zm9v", "MZXW6===", "CPNMU===", "666F6F"},
    {"foob", "Zm9vYg==", "MZXW6YQ=", "CPNMUOG=", "666F6F62"},
    {"fooba", "Zm9vYmE=", "MZXW6YTB", "CPNMUOJ1", "666F6F6261"},
    {"foobar", "Zm9vYmFy", "MZXW6YTBOI======", "CPNMUOJ1E8======", "666F6F626172"},
};

TEST(HXStringEncodingTest, RFC4648VectorsBothWays) {
    auto b64 = HXStringEncoding::rfc4648Base64StringEncoding();
    auto b32 = HXStringEncoding::rfc4648Base32StringEncoding();
    auto b32hex = HXStringEncoding::rfc4648Base32HexStringEncoding();
    auto hex = HXStringEncoding::hexStringEncoding();
    for (const auto& v : kVectors) {
        SCOPED_TRACE(v.plain);
        EXPECT_EQ(encoded(b64, v.plain), v.base64);
        EXPECT_EQ(encoded(b32, v.plain), v.base32);
        EXPECT_EQ(encoded(b32hex, v.plain), v.base32hex);
        EXPECT_EQ(encoded(hex, v.plain), v.hex);
        EXPECT_EQ(decoded(b64, v.base64), v.plain);
        EXPECT_EQ(decoded(b32, v.base32), v.plain);
        EXPECT_EQ(decoded(b32hex, v.base32hex), v.plain);
        EXPECT_EQ(decoded(hex, v.hex), v.plain);
    }
}

TEST(HXStringEncodingTest, PaddingIsOptionalWhenDecodingAndRefusedBeforeDigits) {
    auto b64 = HXStringEncoding::rfc4648Base64StringEncoding();
    EXPECT_EQ(decoded(b64, "Zm8"), "fo");
    EXPECT_EQ(decoded(b64, "Zg"), "f");
    // A digit after padding has begun.
    EXPECT_EQ(decoded(b64, "Zg==Zg"), "<nil>");
    // "Zh" leaves non-zero bits beyond the single byte.
    EXPECT_EQ(decoded(b64, "Zh=="), "<nil>");
    EXPECT_EQ(decoded(b64, "Zm9v!"), "<nil>");
    EXPECT_EQ(b64->decode(nullptr).get(), nullptr);
    EXPECT_EQ(b64->decode(NS("Zm9v\u00e9")).get(), nullptr);
}

TEST(HXStringEncodingTest, WebSafeAlphabetAndUnpaddedOutput) {
    auto web = HXStringEncoding::rfc4648Base64WebsafeStringEncoding();
    const unsigned char bytes[] = {0xfb, 0xff, 0xbf};
    auto data = NSData::dataWithBytes(bytes, 3);
    EXPECT_EQ(text(web->encode(data)), "-_-_");
    EXPECT_EQ(text(HXStringEncoding::rfc4648Base64StringEncoding()->encode(data)), "+/+/");
    EXPECT_TRUE(web->decode(NS("-_-_"))->isEqual(data));
    EXPECT_EQ(web->decode(NS("+/+/")).get(), nullptr);
    web->setDoPad(false);
    EXPECT_EQ(encoded(web, "fo"), "Zm8");
}

TEST(HXStringEncodingTest, SynonymsAndHexCase) {
    auto hex = HXStringEncoding::hexStringEncoding();
    EXPECT_EQ(decoded(hex, "6a6B"), "jk");
    EXPECT_EQ(encoded(hex, "jk"), "6A6B");
    auto crockford = HXStringEncoding::crockfordBase32StringEncoding();
    // "o"/"O" read as 0, "i", "I", "l", "L" as 1, small letters as capitals.
    // Eight digits make five whole bytes, so no digit leaves bits over.
    auto same = [&](NSString* a, NSString* b) {
        auto da = crockford->decode(a), db = crockford->decode(b);
        return da && db && da->isEqual(db);
    };
    EXPECT_TRUE(same(NS("oO1iIlLz"), NS("0011111Z")));
    EXPECT_TRUE(same(NS("abcdefgh"), NS("ABCDEFGH")));
    EXPECT_EQ(text(crockford->encode(crockford->decode(NS("1lL0oOzZ")))), "111000ZZ");
    EXPECT_EQ(crockford->decode(NS("UU")).get(), nullptr);  // U is not a Crockford digit
    EXPECT_EQ(encoded(HXStringEncoding::binaryStringEncoding(), "A"), "01000001");
}

TEST(HXStringEncodingTest, AlphabetsAndSkippedCharacters) {
    EXPECT_EQ(HXStringEncoding::stringEncodingWithString(NS("abc")).get(), nullptr);
    EXPECT_EQ(HXStringEncoding::stringEncodingWithString(NS("aa")).get(), nullptr);
    EXPECT_EQ(HXStringEncoding::stringEncodingWithString(NS("a")).get(), nullptr);
    EXPECT_EQ(HXStringEncoding::stringEncodingWithString(NS("\u00e9x")).get(), nullptr);
    auto octal = HXStringEncoding::stringEncodingWithString(NS("01234567"));
    ASSERT_TRUE(octal);
    EXPECT_EQ(text(octal->description()).rfind("<Base8 StringEncoder: ", 0), 0u);
    auto b64 = HXStringEncoding::rfc4648Base64StringEncoding();
    b64->ignoreCharacters(NS(" \n"));
    EXPECT_EQ(decoded(b64, "Zm9v\nYmFy "), "foobar");
    EXPECT_TRUE(raisedBy([&] { b64->ignoreCharacters(NS("A")); }));
}

}  // namespace
