#include "ads/pebble/PBLLocation.h"

#include <cstdint>
#include <cstring>
#include <limits>

#include "CommonCrypto/CommonCryptor.h"
#include "Foundation/NSData.h"
#include "ads/pebble/HXStringEncoding.h"
#include "ads/pebble/PBLNumberUtilities.h"
#include "ads/pebble/PebbleTesting.h"
#include "support/FoundationTesting.h"

namespace {

using PBLLocationTest = PebbleTest;

Ref<NSData> unwrap(NSString* uule, const char* prefix) {
    std::string s = text(uule);
    EXPECT_EQ(s.rfind(prefix, 0), 0u) << s;
    auto body = NSString::fromUTF8(s.substr(std::strlen(prefix)));
    EXPECT_EQ(text(body).find('='), std::string::npos);
    return HXStringEncoding::rfc4648Base64WebsafeStringEncoding()->decode(body);
}

int32_t littleEndianAt(NSData* d, size_t at) {
    auto b = static_cast<const unsigned char*>(d->bytes()) + at;
    return static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 |
                                uint32_t(b[3]) << 24);
}

TEST_F(PBLLocationTest, PreciseOnlyOffTheAxesAndOnTheGlobe) {
    EXPECT_TRUE(make<PBLLocation>(&PBLLocation::initWithLatitude, 48.85f, 2.35f, 65.0f));
    EXPECT_FALSE(make<PBLLocation>(&PBLLocation::initWithLatitude, 0.0f, 0.0f, 10.0f));
    EXPECT_FALSE(make<PBLLocation>(&PBLLocation::initWithLatitude, 91.0f, 10.0f, 5.0f));
    EXPECT_FALSE(make<PBLLocation>(&PBLLocation::initWithLatitude, 10.0f, 181.0f, 5.0f));
    EXPECT_FALSE(make<PBLLocation>(&PBLLocation::initWithLatitude, 10.0f, 1e-8f, 5.0f));
    EXPECT_FALSE(make<PBLLocation>(&PBLLocation::initWithDescription, NS("")));
}

TEST_F(PBLLocationTest, EncryptedRecordDecryptsWithTheKey) {
    auto loc = make<PBLLocation>(&PBLLocation::initWithLatitude, 48.85f, -2.35f, 65.5f);
    ASSERT_TRUE(loc);
    // 2012-03-01 12:00:00 UTC on the manual clock.
    EXPECT_EQ(loc->timestamp(), 1330603200.0);
    auto data = unwrap(loc->oolongRepresentation(), "e1+");
    ASSERT_TRUE(data);
    std::string record = text(loc->recordText());
    // Worked by hand: 48.85f is 48.8499985..., so 488499984 after truncation.
    EXPECT_EQ(record,
              "role: 6 producer: 24 historical_role: 1 historical_producer: 12 timestamp: "
              "1330603200000000 latlng <latitude_e7: 488499984 longitude_e7: -23499999> "
              "radius: 65500");
    size_t padded = (record.size() / 16 + 1) * 16;
    ASSERT_EQ(data->length(), 16 + padded);
    EXPECT_EQ(littleEndianAt(data, 0), 1330603200);
    EXPECT_EQ(littleEndianAt(data, 4), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(littleEndianAt(data, 12), std::numeric_limits<int32_t>::max());
    std::string plain(padded, '\0');
    size_t moved = 0;
    auto bytes = static_cast<const unsigned char*>(data->bytes());
    ASSERT_EQ(CCCrypt(kCCDecrypt, kCCAlgorithmAES128, 0, PBLLocation::encryptionKey(), 16, bytes,
                      bytes + 16, padded, plain.data(), padded, &moved),
              kCCSuccess);
    size_t n = padded - record.size();
    EXPECT_EQ(plain.substr(0, record.size()), record);
    EXPECT_EQ(plain.substr(record.size()), std::string(n, static_cast<char>(n)));
}

TEST_F(PBLLocationTest, WholeBlockGetsAFullPaddingBlock) {
    // Move the clock until the record's length is a multiple of 16.
    Ref<PBLLocation> loc;
    for (int i = 0; i < 64; ++i) {
        loc = make<PBLLocation>(&PBLLocation::initWithLatitude, 1.5f, 2.5f, 1.0f + i * 10);
        if (text(loc->recordText()).size() % 16 == 0) break;
    }
    size_t length = text(loc->recordText()).size();
    ASSERT_EQ(length % 16, 0u);
    auto data = unwrap(loc->oolongRepresentation(), "e1+");
    EXPECT_EQ(data->length(), 16 + length + 16);
}

TEST_F(PBLLocationTest, SaturatingConversionAndDescriptions) {
    auto loc = make<PBLLocation>(&PBLLocation::initWithLatitude, 45.0f, 90.0f, 1e30f);
    EXPECT_NE(text(loc->recordText()).find("radius: 2147483647"), std::string::npos);
    auto nan = make<PBLLocation>(&PBLLocation::initWithLatitude, 45.0f, 90.0f,
                                 std::numeric_limits<float>::quiet_NaN());
    EXPECT_NE(text(nan->recordText()).find("radius: 0"), std::string::npos);
    EXPECT_EQ(text(loc->description()), "45.000000,90.000000");

    auto place = make<PBLLocation>(&PBLLocation::initWithDescription, NS("the \"old\" mill"));
    auto data = unwrap(place->oolongRepresentation(), "a+");
    ASSERT_TRUE(data);
    EXPECT_EQ(std::string(static_cast<const char*>(data->bytes()), data->length()),
              "role: 6 producer: 24 historical_role: 1 historical_producer: 12 timestamp: "
              "1330603200000000 loc: \"the 'old' mill\"");
}

TEST_F(PBLLocationTest, CopiesAndEquality) {
    auto loc = make<PBLLocation>(&PBLLocation::initWithLatitude, 10.0f, 20.0f, 5.0f);
    loc->setTimestamp(12345);
    auto copy = cast<PBLLocation>(loc->copy());
    EXPECT_TRUE(copy->isEqual(loc));
    EXPECT_EQ(copy->timestamp(), 12345);
    auto other = make<PBLLocation>(&PBLLocation::initWithLatitude, 10.0f, 20.5f, 5.0f);
    EXPECT_FALSE(other->isEqual(loc));
    auto place = make<PBLLocation>(&PBLLocation::initWithDescription, NS("Leeds"));
    EXPECT_FALSE(place->isEqual(loc));
    EXPECT_TRUE(cast<PBLLocation>(place->copy())->isEqual(place));
    EXPECT_FALSE(place->isEqual(NS("Leeds")));
}

TEST(PBLNumberUtilitiesTest, TrailingZerosAndPointRemoved) {
    EXPECT_EQ(text(PBLNumberUtilities::stringWithFloat(320.0f)), "320");
    EXPECT_EQ(text(PBLNumberUtilities::stringWithFloat(2.5f)), "2.5");
    EXPECT_EQ(text(PBLNumberUtilities::stringWithFloat(1.5f)), "1.5");
    EXPECT_EQ(text(PBLNumberUtilities::stringWithFloat(100.0f)), "100");
    EXPECT_EQ(text(PBLNumberUtilities::stringWithFloat(0.0f)), "0");
    EXPECT_EQ(text(PBLNumberUtilities::stringWithFloat(-0.25f)), "-0.25");
}

}  // namespace
