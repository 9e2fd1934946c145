#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "Foundation/NSException.h"
#include "Foundation/NSString.h"

namespace {
template <class... A>
std::string fmt(NSString* format, const A&... args) {
    return NSString::stringWithFormat(format, args...)->utf8();
}
}  // namespace

TEST(NSStringFormatTest, ObjectsAndStrings) {
    EXPECT_EQ(fmt(NS("<%@>"), NS("abc")), "<abc>");
    EXPECT_EQ(fmt(NS("<%@>"), nullptr), "<(null)>");
    EXPECT_EQ(fmt(NS("[%-6@|%6@|%.2@]"), NS("abc"), NS("abc"), NS("abc")), "[abc   |   abc|ab]");
    EXPECT_EQ(fmt(NS("%s and %s"), "h\xC3\xA9", static_cast<const char*>(nullptr)),
              "h\u00E9 and (null)");
    EXPECT_EQ(fmt(NS("[%-5s]"), "ab"), "[ab   ]");
    EXPECT_EQ(fmt(NS("%S"), u"w\u00EFde"), "w\u00EFde");
    EXPECT_EQ(fmt(NS("\u00FC%@\u00FC"), NS("-")), "\u00FC-\u00FC");
    // Precision never cuts a surrogate pair in half.
    EXPECT_EQ(NSString::stringWithFormat(NS("%.2@"), NS("a😀"))->u16(), u"a");
}

TEST(NSStringFormatTest, IntegersFollowThe32BitABI) {
    long long big = 0x100000001LL;
    EXPECT_EQ(fmt(NS("%d"), big), "1");
    EXPECT_EQ(fmt(NS("%ld"), big), "1");
    EXPECT_EQ(fmt(NS("%lld %qi"), big, big), "4294967297 4294967297");
    EXPECT_EQ(fmt(NS("%u"), -1), "4294967295");
    EXPECT_EQ(fmt(NS("%llu"), -1LL), "18446744073709551615");
    EXPECT_EQ(fmt(NS("%qu"), 5ULL), "5");
    EXPECT_EQ(fmt(NS("%hd %hu"), 70000, -1), "4464 65535");
    EXPECT_EQ(fmt(NS("%i"), INT32_MIN), "-2147483648");
    EXPECT_EQ(fmt(NS("%x %X %lx %llx"), 255, 255, -1, -1LL), "ff FF ffffffff ffffffffffffffff");
    EXPECT_EQ(fmt(NS("%o %#x %#o"), 8, 255, 8), "10 0xff 010");
    EXPECT_EQ(fmt(NS("%d"), true), "1");
    EXPECT_EQ(fmt(NS("%lu"), static_cast<NSUInteger>(7)), "7");
}

TEST(NSStringFormatTest, FlagsWidthAndPrecision) {
    EXPECT_EQ(fmt(NS("[%05d][%-5d][%+d][% d][%5d]"), 42, 42, 42, 42, -42),
              "[00042][42   ][+42][ 42][  -42]");
    EXPECT_EQ(fmt(NS("[%*d][%-*d][%*d]"), 4, 7, 4, 7, -4, 7), "[   7][7   ][7   ]");
    EXPECT_EQ(fmt(NS("%.*f"), 2, 3.14159), "3.14");
    EXPECT_EQ(fmt(NS("%.3d"), 5), "005");
    EXPECT_EQ(fmt(NS("%02X"), 10), "0A");
    EXPECT_EQ(fmt(NS("%-2u|"), 7u), "7 |");
}

TEST(NSStringFormatTest, FloatsPrintLikePrintf) {
    EXPECT_EQ(fmt(NS("%f"), 1.5), "1.500000");
    EXPECT_EQ(fmt(NS("%lf %F"), 2.25, 0.5), "2.250000 0.500000");
    EXPECT_EQ(fmt(NS("%.0f %0.0f %1.0f"), 2.5, 3.5, 0.4), "2 4 0");
    EXPECT_EQ(fmt(NS("%e %E"), 12345.0, 0.5), "1.234500e+04 5.000000E-01");
    EXPECT_EQ(fmt(NS("%g %G"), 0.0001, 1e20), "0.0001 1E+20");
    EXPECT_EQ(fmt(NS("%8.2f|"), -1.005), "   -1.00|");
    EXPECT_EQ(fmt(NS("%f"), 1.5f), "1.500000");
}

TEST(NSStringFormatTest, CharactersAndPointers) {
    EXPECT_EQ(fmt(NS("%c%c"), 'o', 'k'), "ok");
    EXPECT_EQ(fmt(NS("%C"), char16_t(0x20AC)), "\u20AC");
    EXPECT_EQ(fmt(NS("[%3c]"), 'x'), "[  x]");
    EXPECT_EQ(fmt(NS("%p"), static_cast<void*>(nullptr)), "0x0");
    EXPECT_EQ(fmt(NS("%p"), reinterpret_cast<void*>(0xBEEF)), "0xbeef");
    EXPECT_EQ(fmt(NS("%0*p"), 10, reinterpret_cast<void*>(0x1234)), "0x00001234");
    EXPECT_EQ(fmt(NS("[%10p]"), reinterpret_cast<void*>(0x1234)), "[    0x1234]");
}

TEST(NSStringFormatTest, PositionalArgumentsAndPercent) {
    EXPECT_EQ(fmt(NS("%2$@ %1$@"), NS("a"), NS("b")), "b a");
    EXPECT_EQ(fmt(NS("%1$d-%1$d"), 3), "3-3");
    EXPECT_EQ(fmt(NS("100%% %d%%"), 5), "100% 5%");
}

TEST(NSStringFormatTest, OddInputNeverCrashes) {
    // Unknown directives stay as written, a trailing % too, and missing arguments read as nil/0.
    EXPECT_EQ(fmt(NS("I%27m %y 50%")), "I%27m %y 50%");
    EXPECT_EQ(fmt(NS("%d %@ %s %f")), "0 (null) (null) 0.000000");
    EXPECT_EQ(fmt(NS("%d|%f|%@|%s"), 3.9, 2, 5, NS("obj")), "3|2.000000|5|obj");
    EXPECT_EQ(fmt(NS("%10")), "%10");
    EXPECT_EQ(fmt(NS("%*d"), 1000000000, 1).size(), size_t(1) << 16);
    try {
        NSString::stringWithFormat(nullptr);
        ADD_FAILURE() << "a nil format must raise";
    } catch (ExceptionRaised& e) {
        EXPECT_EQ(e.exception->name()->utf8(), "NSInvalidArgumentException");
    }
}
