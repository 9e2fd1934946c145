#include <gtest/gtest.h>

#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSString.h"
#include "analytics/base/TallyProtocolData.h"

namespace {
using P = TallyProtocolData;
std::vector<uint8_t> bytes(NSData* d) {
    auto* p = static_cast<const uint8_t*>(d->bytes());
    return {p, p + d->length()};
}
}  // namespace

TEST(TallyProtocolDataTest, PrimitivesAreBigEndian) {
    auto d = NSMutableData::data();
    P::appendBoolean(true, d);
    P::appendByte(0x1FF, d);
    P::appendUshort(0x12345, d);
    P::appendInt(-2, d);
    P::appendLong(0x0102030405060708LL, d);
    P::appendFloat(1.0f, d);
    P::appendDouble(-2.0, d);
    EXPECT_EQ(bytes(d), (std::vector<uint8_t>{1,    0xFF, 0x23, 0x45, 0xFF, 0xFF, 0xFF, 0xFE, 1, 2,
                                              3,    4,    5,    6,    7,    8,    0x3F, 0x80, 0, 0,
                                              0xC0, 0,    0,    0,    0,    0,    0,    0}));
}

TEST(TallyProtocolDataTest, TimestampsAreTruncatedMilliseconds) {
    auto d = NSMutableData::data();
    P::appendTimestamp(NSDate::dateWithTimeIntervalSince1970(1.5), d);
    P::appendTimestamp(NSDate::dateWithTimeIntervalSince1970(0.0019), d);
    EXPECT_EQ(bytes(d),
              (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0x05, 0xDC, 0, 0, 0, 0, 0, 0, 0, 1}));
    auto a = NSDate::dateWithTimeIntervalSince1970(1.7e9);
    EXPECT_EQ(P::timeIntervalFrom(a, a->dateByAddingTimeInterval(10.001)), 10001);
    EXPECT_EQ(P::timeIntervalFrom(a, a->dateByAddingTimeInterval(-0.0015)), -1);
    EXPECT_EQ(P::timeIntervalFrom(nullptr, a), 0);
}

TEST(TallyProtocolDataTest, StringsAreLimitedTo255UnitsWithUtf8Lengths) {
    auto length = [](NSString* s) {
        auto d = NSMutableData::data();
        P::appendString(s, d);
        auto b = bytes(d);
        EXPECT_EQ(b.size(), 2u + (b[0] << 8 | b[1]));
        return b[0] << 8 | b[1];
    };
    EXPECT_EQ(length(nullptr), 0);
    EXPECT_EQ(length(NSString::stringWithUTF8String(std::string(255, 'a').c_str())), 255);
    EXPECT_EQ(length(NSString::stringWithUTF8String(std::string(256, 'a').c_str())), 255);
    std::u16string euro(300, u'\u20AC');
    EXPECT_EQ(length(NSString::stringWithCharacters(euro.data(), 300)), 765);
    // A pair straddling the cut is dropped whole rather than split.
    std::u16string pairs = std::u16string(254, u'x') + u"\U0001F600";
    auto cut = P::limitStringLength(NSString::stringWithCharacters(pairs.data(), 256));
    EXPECT_EQ(cut->length(), 254u);
    EXPECT_EQ(length(NSString::stringWithCharacters(pairs.data(), 256)), 254);
    // A name holding U+0000 goes out whole, the NUL included.
    const char16_t withNul[] = {u'a', 0, u'b'};
    auto d = NSMutableData::data();
    P::appendString(NSString::stringWithCharacters(withNul, 3), d);
    EXPECT_EQ(bytes(d), (std::vector<uint8_t>{0, 3, 'a', 0, 'b'}));
}

// The length is that of the whole UTF-8 text, NUL characters included; text that has no UTF-8
// form (a lone surrogate) goes as the empty string. The same for many strings in a row, whose
// conversions share room.
TEST(TallyProtocolDataTest, StringsGoAsTheirWholeUtf8Text) {
    auto d = NSMutableData::data();
    const std::u16string withNul(u"a\0b\u00e9", 4);
    P::appendString(NSString::fromUTF16(withNul), d);
    P::appendString(NSString::fromUTF16(u"x\xD800y"), d);
    P::appendString(NS("longer text first"), d);
    P::appendString(NS("ok"), d);
    EXPECT_EQ(bytes(d),
              (std::vector<uint8_t>{0,   5,   'a', 0,   'b', 0xC3, 0xA9, 0,   0,   0,   17,
                                    'l', 'o', 'n', 'g', 'e', 'r',  ' ',  't', 'e', 'x', 't',
                                    ' ', 'f', 'i', 'r', 's', 't',  0,    2,   'o', 'k'}));
}

TEST(TallyProtocolDataTest, DataBlocksCarryTheirLengths) {
    auto d = NSMutableData::data();
    std::vector<uint8_t> big(300, 7);
    P::appendTinyData(NSData::dataWithBytes(big.data(), 300), d);
    EXPECT_EQ(d->length(), 1u + 44u);
    EXPECT_EQ(bytes(d)[0], 44);
    auto s = NSMutableData::data();
    P::appendShortData(NSData::dataWithBytes(big.data(), 20), s);
    EXPECT_EQ(bytes(s)[1], 20);
    EXPECT_EQ(s->length(), 22u);
}
