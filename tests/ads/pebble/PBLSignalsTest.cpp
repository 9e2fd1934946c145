#include "ads/pebble/PBLSignals.h"

#include "ads/pebble/HXStringEncoding.h"
#include "ads/pebble/PebbleTesting.h"
#include "support/FoundationTesting.h"

namespace {

using PBLSignalsTest = PebbleTest;

std::string decodedKey(NSString* key) {
    auto body = key->substringFromIndex(2);
    return text(HXStringEncoding::rfc4648Base64WebsafeStringEncoding()->stringByDecoding(body));
}

TEST_F(PBLSignalsTest, CountsLoadsAndTouchesIntoTheClickKey) {
    EXPECT_EQ(pblSignalsNoteAdLoad(0, NS("1.0")), 1);
    pblSignalsNoteAdLoad(1, NS("1.0"));
    pblSignalsRecordTouch(10, 20, 300);
    pblSignalsRecordTouch(-1, -1, -1);
    pblSignalsRecordTouch(1, 1, 1);
    EXPECT_EQ(PBLSignals::loads(), 2u);
    EXPECT_EQ(PBLSignals::touches(), 3u);
    auto key = NSMutableString::stringWithString(NS("old"));
    ASSERT_EQ(pblSignalsClickParameter(NS("Zq-1"), key), 1);
    EXPECT_EQ(text(key).substr(0, 2), "nb");
    EXPECT_EQ(decodedKey(key), "Zq-1;3");
    EXPECT_EQ(text(key).find('='), std::string::npos);  // a bare key: no padding
    EXPECT_EQ(pblSignalsClickParameter(NS(""), key), 0);
    EXPECT_EQ(pblSignalsClickParameter(nullptr, key), 0);
}

TEST_F(PBLSignalsTest, SwitchedOffWritesAndCountsNothing) {
    PBLSignals::setEnabled(false);
    EXPECT_EQ(pblSignalsNoteAdLoad(0, NS("1.0")), 0);
    pblSignalsRecordTouch(1, 2, 3);
    auto key = NSMutableString::string();
    EXPECT_EQ(pblSignalsClickParameter(NS("ai"), key), 0);
    EXPECT_EQ(key->length(), 0u);
    EXPECT_EQ(PBLSignals::loads() + PBLSignals::touches(), 0u);
}

}  // namespace
