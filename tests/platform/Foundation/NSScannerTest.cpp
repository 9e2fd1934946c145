#include "Foundation/NSScanner.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSLocale.h"
#include "support/FoundationTesting.h"

namespace {

Ref<NSScanner> scanner(const char* s) {
    return NSScanner::scannerWithString(str(s));
}

TEST(NSScannerTest, StringsSkippingAndCase) {
    auto s = scanner("  Hello, World\n  ");
    EXPECT_FALSE(s->caseSensitive());
    Ref<NSString> got;
    EXPECT_TRUE(s->scanString(NS("hello"), &got));
    EXPECT_EQ(text(got), "Hello");  // the text as it stands in the string
    EXPECT_EQ(s->scanLocation(), 7u);
    EXPECT_FALSE(s->scanString(NS("World"), &got));  // the comma is not skipped
    EXPECT_EQ(s->scanLocation(), 7u);
    EXPECT_TRUE(s->scanString(NS(","), nullptr));
    EXPECT_FALSE(s->isAtEnd());
    EXPECT_TRUE(s->scanUpToString(NS("\n"), &got));
    EXPECT_EQ(text(got), "World");
    EXPECT_TRUE(s->isAtEnd());  // only skippable characters remain
    EXPECT_EQ(s->scanLocation(), 14u);
    EXPECT_FALSE(s->scanUpToString(NS("x"), &got));

    auto cs = scanner("ABC abc");
    cs->setCaseSensitive(true);
    EXPECT_FALSE(cs->scanString(NS("abc"), nullptr));
    EXPECT_TRUE(cs->scanString(NS("ABC"), nullptr));
    EXPECT_TRUE(cs->scanString(NS("abc"), nullptr));

    // Without skipping, white space is text like any other.
    auto raw = scanner(" a");
    raw->setCharactersToBeSkipped(nullptr);
    EXPECT_FALSE(raw->scanString(NS("a"), nullptr));
    EXPECT_FALSE(raw->isAtEnd());
    EXPECT_TRUE(raw->scanCharactersFromSet(NSCharacterSet::whitespaceCharacterSet(), &got));
    EXPECT_EQ(text(got), " ");
}

TEST(NSScannerTest, UpToStopsAndCharacterRuns) {
    auto s = scanner("key=value; next");
    Ref<NSString> got;
    EXPECT_TRUE(s->scanUpToString(NS("="), &got));
    EXPECT_EQ(text(got), "key");
    EXPECT_FALSE(s->scanUpToString(NS("="), &got));  // the stop is right here
    EXPECT_TRUE(s->scanString(NS("="), nullptr));
    EXPECT_TRUE(s->scanUpToCharactersFromSet(
        NSCharacterSet::characterSetWithCharactersInString(NS(";")), &got));
    EXPECT_EQ(text(got), "value");
    EXPECT_FALSE(s->scanCharactersFromSet(NSCharacterSet::letterCharacterSet(), &got));
    EXPECT_EQ(s->scanLocation(), 9u);
    s->setScanLocation(11);
    EXPECT_TRUE(s->scanCharactersFromSet(NSCharacterSet::letterCharacterSet(), &got));
    EXPECT_EQ(text(got), "next");
    // Up to a string that never comes: the rest.
    s->setScanLocation(0);
    EXPECT_TRUE(s->scanUpToString(NS("missing"), &got));
    EXPECT_EQ(text(got), "key=value; next");

    EXPECT_EQ(raisedName([&] { s->setScanLocation(16); }), "NSRangeException");
    s->setScanLocation(15);
    EXPECT_TRUE(s->isAtEnd());
}

TEST(NSScannerTest, IntegersClampAndFailuresKeepTheLocation) {
    int i = 0;
    auto s = scanner("  42 -17 +8 x 99999999999 -99999999999");
    EXPECT_TRUE(s->scanInt(&i));
    EXPECT_EQ(i, 42);
    EXPECT_TRUE(s->scanInt(&i));
    EXPECT_EQ(i, -17);
    EXPECT_TRUE(s->scanInt(&i));
    EXPECT_EQ(i, 8);
    NSUInteger before = s->scanLocation();
    i = 5;
    EXPECT_FALSE(s->scanInt(&i));
    EXPECT_EQ(i, 5);
    EXPECT_EQ(s->scanLocation(), before);  // not even the blank was taken
    EXPECT_TRUE(s->scanString(NS("x"), nullptr));
    EXPECT_TRUE(s->scanInt(&i));
    EXPECT_EQ(i, INT_MAX);
    EXPECT_TRUE(s->scanInt(nullptr));
    EXPECT_TRUE(s->isAtEnd());

    long long ll = 0;
    auto big = scanner(
        "9223372036854775807 9223372036854775808 -9223372036854775808 -99999999999999999999");
    EXPECT_TRUE(big->scanLongLong(&ll));
    EXPECT_EQ(ll, LLONG_MAX);
    EXPECT_TRUE(big->scanLongLong(&ll));
    EXPECT_EQ(ll, LLONG_MAX);
    EXPECT_TRUE(big->scanLongLong(&ll));
    EXPECT_EQ(ll, LLONG_MIN);
    EXPECT_TRUE(big->scanLongLong(&ll));
    EXPECT_EQ(ll, LLONG_MIN);

    NSInteger n = 0;
    auto m = scanner("-2147483649");
    EXPECT_TRUE(m->scanInteger(&n));
    EXPECT_EQ(n, NSIntegerMin);
    EXPECT_FALSE(scanner("- 5")->scanInt(&i));
    EXPECT_FALSE(scanner("")->scanInt(&i));
}

TEST(NSScannerTest, FloatingPointNumbers) {
    double d = 0;
    auto s = scanner("3.25 -.5 1e3 2.5E-2 7. 6e 1e999 x");
    EXPECT_TRUE(s->scanDouble(&d));
    EXPECT_EQ(d, 3.25);
    EXPECT_TRUE(s->scanDouble(&d));
    EXPECT_EQ(d, -0.5);
    EXPECT_TRUE(s->scanDouble(&d));
    EXPECT_EQ(d, 1000.0);
    EXPECT_TRUE(s->scanDouble(&d));
    EXPECT_EQ(d, 0.025);
    EXPECT_TRUE(s->scanDouble(&d));
    EXPECT_EQ(d, 7.0);
    EXPECT_TRUE(s->scanDouble(&d));  // "6", the bare "e" stays
    EXPECT_EQ(d, 6.0);
    EXPECT_TRUE(s->scanString(NS("e"), nullptr));
    EXPECT_TRUE(s->scanDouble(&d));
    EXPECT_TRUE(std::isinf(d));
    EXPECT_FALSE(s->scanDouble(&d));
    float f = 0;
    EXPECT_TRUE(scanner("0.1")->scanFloat(&f));
    EXPECT_EQ(f, 0.1f);
    EXPECT_FALSE(scanner(".")->scanDouble(&d));
    EXPECT_FALSE(scanner("-")->scanDouble(&d));

    // A scanner in a locale with a decimal comma.
    auto de = NSScanner::scannerWithString(NS("2,5"));
    de->setLocale(NSLocale::localeWithLocaleIdentifier(NS("de_DE")));
    EXPECT_TRUE(de->scanDouble(&d));
    EXPECT_EQ(d, 2.5);
}

TEST(NSScannerTest, HexadecimalNumbers) {
    unsigned u = 0;
    auto s = scanner("ff 0x1A 0XdeadBEEF 0xg 123456789ABCDEF");
    EXPECT_TRUE(s->scanHexInt(&u));
    EXPECT_EQ(u, 0xFFu);
    EXPECT_TRUE(s->scanHexInt(&u));
    EXPECT_EQ(u, 0x1Au);
    EXPECT_TRUE(s->scanHexInt(&u));
    EXPECT_EQ(u, 0xDEADBEEFu);
    // "0x" without digits: the zero is the number, the "x" is left.
    EXPECT_TRUE(s->scanHexInt(&u));
    EXPECT_EQ(u, 0u);
    EXPECT_TRUE(s->scanString(NS("xg"), nullptr));
    EXPECT_TRUE(s->scanHexInt(&u));
    EXPECT_EQ(u, UINT_MAX);  // clamped
    unsigned long long ull = 0;
    EXPECT_TRUE(scanner("0x123456789ABCDEF")->scanHexLongLong(&ull));
    EXPECT_EQ(ull, 0x123456789ABCDEFull);
    EXPECT_FALSE(scanner("xyz")->scanHexInt(&u));
    EXPECT_FALSE(scanner("-1")->scanHexInt(&u));
}

}  // namespace
