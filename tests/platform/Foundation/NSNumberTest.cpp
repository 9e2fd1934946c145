#include <gtest/gtest.h>

#include "support/FoundationTesting.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "Foundation/NSException.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

namespace {

TEST(NSNumber, DescriptionFollowsTheKind) {
    EXPECT_EQ(text(NSNumber::numberWithDouble(0.1)), "0.1");
    EXPECT_EQ(text(NSNumber::numberWithDouble(1e20)), "1e+20");
    EXPECT_EQ(text(NSNumber::numberWithDouble(3.0)), "3");
    EXPECT_EQ(text(NSNumber::numberWithDouble(1.0 / 3)), "0.3333333333333333");
    // A float prints with 7 digits, so its binary error stays hidden.
    EXPECT_EQ(text(NSNumber::numberWithFloat(0.1f)), "0.1");
    EXPECT_EQ(text(NSNumber::numberWithFloat(1.0f / 3)), "0.3333333");
    EXPECT_EQ(text(NSNumber::numberWithBool(true)), "1");
    EXPECT_EQ(text(NSNumber::numberWithBool(false)), "0");
    EXPECT_EQ(text(NSNumber::numberWithChar('A')), "65");
    EXPECT_EQ(text(NSNumber::numberWithUnsignedLongLong(UINT64_MAX)), "18446744073709551615");
    EXPECT_EQ(text(NSNumber::numberWithLongLong(INT64_MIN)), "-9223372036854775808");
    EXPECT_EQ(text(NSNumber::numberWithUnsignedInt(4000000000u)), "4000000000");
    EXPECT_EQ(NSNumber::numberWithInt(-7)->stringValue()->utf8(), "-7");
}

TEST(NSNumber, TypeCodesAndBooleans) {
    EXPECT_STREQ(NSNumber::numberWithBool(true)->objCType(), "c");
    EXPECT_STREQ(NSNumber::numberWithInteger(1)->objCType(), "i");
    EXPECT_STREQ(NSNumber::numberWithLong(1)->objCType(), "q");
    EXPECT_STREQ(NSNumber::numberWithUnsignedLongLong(1)->objCType(), "Q");
    EXPECT_STREQ(NSNumber::numberWithFloat(1)->objCType(), "f");
    EXPECT_STREQ(NSNumber::numberWithUnsignedShort(1)->objCType(), "S");
    EXPECT_TRUE(NSNumber::numberWithBool(true)->isBoolean());
    EXPECT_FALSE(NSNumber::numberWithChar(1)->isBoolean());
    EXPECT_FALSE(NSNumber::numberWithInt(1)->isBoolean());

    short s = 0;
    NSNumber::numberWithShort(-2)->getValue(&s);
    EXPECT_EQ(s, -2);
    double d = 0;
    NSNumber::numberWithDouble(2.5)->getValue(&d);
    EXPECT_EQ(d, 2.5);
}

TEST(NSNumber, ReadsConvertLikeCasts) {
    EXPECT_EQ(NSNumber::numberWithDouble(3.99)->intValue(), 3);
    EXPECT_EQ(NSNumber::numberWithDouble(-3.99)->intValue(), -3);
    EXPECT_EQ(NSNumber::numberWithInt(300)->charValue(), static_cast<char>(44));
    EXPECT_EQ(NSNumber::numberWithInt(-1)->unsignedIntValue(), UINT32_MAX);
    EXPECT_EQ(NSNumber::numberWithUnsignedLongLong(UINT64_MAX)->longLongValue(), -1);
    EXPECT_EQ(NSNumber::numberWithDouble(-1.0)->unsignedIntValue(), UINT32_MAX);
    EXPECT_TRUE(NSNumber::numberWithDouble(0.5)->boolValue());
    EXPECT_FALSE(NSNumber::numberWithDouble(0.0)->boolValue());
    EXPECT_TRUE(NSNumber::numberWithLongLong(1LL << 40)->boolValue());
    // Out-of-range doubles stay defined: NaN reads as 0, huge values saturate.
    EXPECT_EQ(NSNumber::numberWithDouble(NAN)->intValue(), 0);
    EXPECT_EQ(NSNumber::numberWithDouble(1e30)->longLongValue(), INT64_MAX);
    EXPECT_FLOAT_EQ(NSNumber::numberWithInt(7)->floatValue(), 7.0f);
}

TEST(NSNumber, ComparesValuesExactlyAcrossKinds) {
    auto two63 = NSNumber::numberWithUnsignedLongLong(1ULL << 63);
    auto two63plus1 = NSNumber::numberWithUnsignedLongLong((1ULL << 63) + 1);
    auto d63 = NSNumber::numberWithDouble(9223372036854775808.0);
    EXPECT_EQ(two63->compare(d63), NSOrderedSame);
    // Converting the integer to double would call these equal.
    EXPECT_EQ(two63plus1->compare(d63), NSOrderedDescending);
    EXPECT_EQ(d63->compare(two63plus1), NSOrderedAscending);
    EXPECT_EQ(NSNumber::numberWithLongLong(INT64_MAX)->compare(d63), NSOrderedAscending);
    EXPECT_EQ(NSNumber::numberWithInt(-1)->compare(NSNumber::numberWithUnsignedInt(UINT32_MAX)),
              NSOrderedAscending);
    EXPECT_EQ(NSNumber::numberWithInt(2)->compare(NSNumber::numberWithDouble(2.5)),
              NSOrderedAscending);
    EXPECT_EQ(NSNumber::numberWithInt(-2)->compare(NSNumber::numberWithDouble(-2.5)),
              NSOrderedDescending);
    auto nan = NSNumber::numberWithDouble(NAN);
    EXPECT_EQ(nan->compare(NSNumber::numberWithDouble(NAN)), NSOrderedSame);
    EXPECT_EQ(nan->compare(NSNumber::numberWithInt(-1000)), NSOrderedAscending);
    EXPECT_THROW(NSNumber::numberWithInt(1)->compare(nullptr), ExceptionRaised);
}

TEST(NSNumber, EqualNumbersHashAlike) {
    auto one = NSNumber::numberWithInt(1);
    auto oneDouble = NSNumber::numberWithDouble(1.0);
    auto yes = NSNumber::numberWithBool(true);
    EXPECT_TRUE(one->isEqual(oneDouble));
    EXPECT_TRUE(oneDouble->isEqual(yes));
    EXPECT_EQ(one->hash(), oneDouble->hash());
    EXPECT_EQ(one->hash(), yes->hash());
    EXPECT_FALSE(one->isEqual(NS("1")));
    EXPECT_FALSE(NSNumber::numberWithFloat(0.1f)->isEqual(NSNumber::numberWithDouble(0.1)));

    // Past 32 bits, signed and unsigned kinds of one value still meet.
    auto big = NSNumber::numberWithLongLong(3000000000LL);
    auto bigU = NSNumber::numberWithUnsignedInt(3000000000u);
    auto bigD = NSNumber::numberWithDouble(3e9);
    EXPECT_TRUE(big->isEqual(bigU));
    EXPECT_EQ(big->hash(), bigU->hash());
    EXPECT_EQ(big->hash(), bigD->hash());
    EXPECT_EQ(NSNumber::numberWithLongLong(-5LL << 40)->hash(),
              NSNumber::numberWithDouble(static_cast<double>(-5LL << 40))->hash());
    EXPECT_EQ(NSNumber::numberWithDouble(0.0)->hash(), NSNumber::numberWithDouble(-0.0)->hash());
}

TEST(NSNumber, ReachableByName) {
    auto n = NSNumber::numberWithDouble(2.75);
    EXPECT_TRUE(n->respondsToSelector(Selector::named("compare:")));
    EXPECT_EQ(invokeMethod(n, Selector::named("intValue"), {}).toLongLong(), 2);
    Ref<NSObject> s = n->performSelector(Selector::named("stringValue"));
    ASSERT_TRUE(is<NSString>(s));
    EXPECT_EQ(text(s), "2.75");
}

TEST(NSNull, OneSharedImmortalInstance) {
    auto a = NSNull::null();
    EXPECT_EQ(a.get(), NSNull::null().get());
    EXPECT_TRUE(a->isImmortal());
    EXPECT_EQ(text(a), "<null>");
    EXPECT_EQ(a->copy().get(), a.get());
    EXPECT_FALSE(a->isEqual(NSNumber::numberWithInt(0)));
}

}  // namespace
