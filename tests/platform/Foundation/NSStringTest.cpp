#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSData.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

namespace {

// A string that keeps its text outside the default storage and offers no contiguous buffer,
// so every operation must go through the primitives.
class OutOfLineString : public NSString {
    NS_OBJECT(OutOfLineString, NSString)
    static Ref<OutOfLineString> with(std::u16string t) {
        auto r = alloc<OutOfLineString>();
        r->text = std::move(t);
        return r;
    }
    NSUInteger length() override { return static_cast<NSUInteger>(text.size()); }
    char16_t characterAtIndex(NSUInteger i) override { return text.at(i); }
    void getCharacters(char16_t* buffer, NSRange r) override {
        text.copy(buffer, r.length, r.location);
    }
    const char16_t* charactersPtr() override { return nullptr; }
    std::u16string text;
};

std::string u8(NSString* s) {
    return s ? s->utf8() : std::string("<nil>");
}

std::vector<std::string> strings(NSArray* a) {
    std::vector<std::string> out;
    for (NSUInteger i = 0; i < a->count(); ++i)
        out.push_back(u8(as<NSString>(a->objectAtIndex(i))));
    return out;
}

// The exception name and reason raised by f, or empty strings when nothing was raised.
template <class F>
std::pair<std::string, std::string> raised(F f) {
    try {
        f();
    } catch (ExceptionRaised& e) {
        return {u8(e.exception->name()), u8(e.exception->reason())};
    }
    return {};
}

const NSRange kNotFound{static_cast<NSUInteger>(NSNotFound), 0};

}  // namespace

TEST(NSStringTest, UTF8CreationRejectsInvalidAndReplacesInConvenience) {
    auto s = NSString::stringWithUTF8String("h\xC3\xA9llo \xF0\x9F\x98\x80");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->length(), 8u);  // the emoji is a surrogate pair
    EXPECT_EQ(s->characterAtIndex(6), 0xD83D);
    for (const char* bad : {"\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "ab\xE2\x82", "\xFF"}) {
        EXPECT_FALSE(NSString::stringWithUTF8String(bad)) << bad;
    }
    EXPECT_FALSE(NSString::stringWithUTF8String(nullptr));
    EXPECT_EQ(NSString::fromUTF8("a\xFF"
                                 "b\xE2\x82")
                  ->u16(),
              u"a\uFFFDb\uFFFD");
}

TEST(NSStringTest, EqualityHashAndCopies) {
    auto m = NSMutableString::stringWithString(NS("abc"));
    auto ext = OutOfLineString::with(u"abc");
    EXPECT_TRUE(NS("abc")->isEqual(m));
    EXPECT_TRUE(m->isEqual(ext));
    EXPECT_EQ(NS("abc")->hash(), m->hash());
    EXPECT_EQ(NS("abc")->hash(), ext->hash());
    EXPECT_NE(NS("abc")->hash(), NS("abd")->hash());
    EXPECT_FALSE(NS("abc")->isEqualToString(NS("abC")));
    EXPECT_FALSE(NS("abc")->isEqualToString(nullptr));

    auto imm = NSString::stringWithString(NS("x"));
    EXPECT_EQ(imm->copy().get(), imm.get());
    auto snap = m->copy();
    EXPECT_FALSE(is<NSMutableString>(snap));
    uint64_t before = m->mutationCount();
    m->appendString(NS("d"));
    EXPECT_EQ(m->mutationCount(), before + 1);
    EXPECT_EQ(u8(snap), "abc");
    auto mc = imm->mutableCopy();
    EXPECT_NE(static_cast<NSString*>(mc.get()), imm.get());
    mc->appendString(NS("y"));
    EXPECT_EQ(u8(imm), "x");
    EXPECT_EQ(m->description().get(), static_cast<NSString*>(m.get()));
    EXPECT_EQ(NS("lit")->retainCount(), NSUIntegerMax);
}

TEST(NSStringTest, HashFollowsTheTextAsItChanges) {
    // An immutable string keeps its hash; a mutable one hashes what it holds now.
    auto fixed = NSString::stringWithUTF8String("key");
    NSUInteger first = fixed->hash();
    EXPECT_EQ(fixed->hash(), first);
    auto m = NSMutableString::stringWithString(NS("ke"));
    NSUInteger before = m->hash();
    m->appendString(NS("y"));
    EXPECT_NE(m->hash(), before);
    EXPECT_EQ(m->hash(), first);
    EXPECT_EQ(m->copy()->hash(), first);
}

// The hash takes units below 256 in one step; it is the same function of the units as taking
// every unit's two bytes in turn, for text of every kind of unit.
TEST(NSStringTest, HashIsTheBytewiseHashOfTheUnits) {
    auto bytewise = [](std::u16string_view units) {
        uint32_t h = 2166136261u;
        for (char16_t c : units) {
            h ^= c & 0xFF;
            h *= 16777619u;
            h ^= c >> 8;
            h *= 16777619u;
        }
        return static_cast<NSUInteger>(h);
    };
    const std::u16string texts[] = {u"",
                                    u"a",
                                    u"key",
                                    u"caf\u00e9",
                                    u"\u00ff\u0100",
                                    u"\u2013 dash \U0001F600",
                                    u"\u0000x",
                                    u"z\u00e9\u65e5\u672c"};
    for (const std::u16string& t : texts) {
        EXPECT_EQ(NSString::fromUTF16(t)->hash(), bytewise(t));
        EXPECT_EQ(NSMutableString::stringWithString(NSString::fromUTF16(t))->hash(), bytewise(t));
        EXPECT_EQ(NSString::compactStringWithUnits(t)->hash(), bytewise(t));
    }
}

TEST(NSStringTest, BytesInUTF8AndASCII) {
    auto bytes = [](std::string_view b, NSStringEncoding enc) {
        return make<NSString>(&NSString::initWithBytes, static_cast<const void*>(b.data()),
                              static_cast<NSUInteger>(b.size()), enc);
    };
    // Plain ASCII text, short and long enough to leave the string's inline room.
    for (std::string_view text : {"", "id", "a much longer plain text\t\n\x7F"}) {
        for (NSStringEncoding enc : {NSUTF8StringEncoding, NSASCIIStringEncoding}) {
            auto s = bytes(text, enc);
            ASSERT_TRUE(s);
            EXPECT_EQ(u8(s), text);
            EXPECT_EQ(s->length(), text.size());
        }
    }
    EXPECT_EQ(bytes("caf\xC3\xA9", NSUTF8StringEncoding)->u16(), u"caf\u00e9");
    EXPECT_FALSE(bytes("caf\xC3\xA9", NSASCIIStringEncoding));
    EXPECT_FALSE(bytes("plain then \xFF", NSUTF8StringEncoding));
    std::string zero("a\0b", 3);
    EXPECT_EQ(bytes(zero, NSUTF8StringEncoding)->length(), 3u);
}

TEST(NSStringTest, RangeErrorsNameTheMethodAndRange) {
    auto s = NSString::stringWithString(NS("abcdef"));
    auto [name, reason] = raised([&] { s->substringWithRange(NSMakeRange(5, 3)); });
    EXPECT_EQ(name, "NSRangeException");
    EXPECT_NE(reason.find("substringWithRange:"), std::string::npos) << reason;
    EXPECT_NE(reason.find("{5, 3}"), std::string::npos) << reason;
    EXPECT_EQ(raised([&] { s->characterAtIndex(6); }).first, "NSRangeException");
    // A range whose end wraps around must not pass the check.
    EXPECT_EQ(raised([&] { s->substringWithRange(NSMakeRange(2, UINT32_MAX)); }).first,
              "NSRangeException");
    EXPECT_EQ(raised([&] { s->substringFromIndex(7); }).first, "NSRangeException");
    EXPECT_EQ(u8(s->substringFromIndex(6)), "");
    EXPECT_EQ(raised([&] { s->rangeOfString(nullptr); }).first, "NSInvalidArgumentException");
}

TEST(NSStringTest, SearchOptions) {
    auto s = NS("abcABCabc");
    EXPECT_EQ(s->rangeOfString(NS("bc")), NSMakeRange(1, 2));
    EXPECT_EQ(s->rangeOfString(NS("bc"), NSBackwardsSearch), NSMakeRange(7, 2));
    EXPECT_EQ(s->rangeOfString(NS("BC"), NSCaseInsensitiveSearch), NSMakeRange(1, 2));
    EXPECT_EQ(s->rangeOfString(NS("bc"), NSAnchoredSearch), kNotFound);
    EXPECT_EQ(s->rangeOfString(NS("ab"), NSAnchoredSearch), NSMakeRange(0, 2));
    EXPECT_EQ(s->rangeOfString(NS("bc"), NSAnchoredSearch | NSBackwardsSearch), NSMakeRange(7, 2));
    EXPECT_EQ(s->rangeOfString(NS("ab"), NSAnchoredSearch | NSBackwardsSearch), kNotFound);
    EXPECT_EQ(
        s->rangeOfString(NS("abc"), NSCaseInsensitiveSearch | NSBackwardsSearch | NSAnchoredSearch),
        NSMakeRange(6, 3));
    EXPECT_EQ(s->rangeOfString(NS("abc"), 0, NSMakeRange(1, 7)), kNotFound);
    EXPECT_EQ(s->rangeOfString(NS("abc"), NSCaseInsensitiveSearch, NSMakeRange(1, 7)),
              NSMakeRange(3, 3));
    EXPECT_EQ(s->rangeOfString(NS("")), kNotFound);
    EXPECT_EQ(s->rangeOfString(NS("abcABCabcX")), kNotFound);
    // Folding beyond ASCII: capital and final sigma both match a small sigma.
    EXPECT_EQ(NS("ΟΔΟΣ οδος")->rangeOfString(NS("οδοσ"), NSCaseInsensitiveSearch),
              NSMakeRange(0, 4));
    EXPECT_EQ(
        NS("x ΟΔΟΣ οδος")->rangeOfString(NS("ΟΔΟΣ"), NSCaseInsensitiveSearch | NSBackwardsSearch),
        NSMakeRange(7, 4));
    EXPECT_EQ(raised([&] { s->rangeOfString(NS("a"), 0, NSMakeRange(5, 5)); }).first,
              "NSRangeException");
}

TEST(NSStringTest, CharacterSetSearchKeepsPairsWhole) {
    auto s = NS("ab😀c");
    auto emoji = NSCharacterSet::characterSetWithCharactersInString(NS("😀"));
    EXPECT_EQ(s->rangeOfCharacterFromSet(emoji), NSMakeRange(2, 2));
    EXPECT_EQ(s->rangeOfCharacterFromSet(emoji, NSBackwardsSearch), NSMakeRange(2, 2));
    auto letters = NSCharacterSet::characterSetWithCharactersInString(NS("abc"));
    EXPECT_EQ(s->rangeOfCharacterFromSet(letters, NSBackwardsSearch), NSMakeRange(4, 1));
    EXPECT_EQ(s->rangeOfCharacterFromSet(emoji, NSAnchoredSearch), kNotFound);
}

TEST(NSStringTest, ComparisonModes) {
    EXPECT_EQ(NS("file10")->compare(NS("file9")), NSOrderedAscending);
    EXPECT_EQ(NS("file10")->compare(NS("file9"), NSNumericSearch), NSOrderedDescending);
    EXPECT_EQ(NS("a01b")->compare(NS("a1b"), NSNumericSearch), NSOrderedSame);
    EXPECT_EQ(NS("v2.10")->compare(NS("v2.9"), NSNumericSearch), NSOrderedDescending);
    EXPECT_EQ(NS("ABC")->caseInsensitiveCompare(NS("abd")), NSOrderedAscending);
    EXPECT_EQ(NS("Straße")->caseInsensitiveCompare(NS("STRASSE")), NSOrderedSame);
    // Canonically equivalent forms are equal unless the comparison is literal.
    auto composed = NS("\u00E9"), decomposed = NS("e\u0301");
    EXPECT_EQ(composed->compare(decomposed), NSOrderedSame);
    EXPECT_NE(composed->compare(decomposed, NSLiteralSearch), NSOrderedSame);
    EXPECT_FALSE(composed->isEqualToString(decomposed));
    // Plain comparison orders by unit ("B" < "a"), collation by letter.
    EXPECT_EQ(NS("B")->compare(NS("a")), NSOrderedAscending);
    EXPECT_EQ(NS("B")->localizedCompare(NS("a")), NSOrderedDescending);
    EXPECT_EQ(NS("a")->localizedCompare(NS("A")), NSOrderedAscending);
    EXPECT_EQ(NS("a")->localizedCaseInsensitiveCompare(NS("A")), NSOrderedSame);
    EXPECT_EQ(NS("xabc")->compare(NS("ab"), 0, NSMakeRange(1, 2)), NSOrderedSame);
    EXPECT_TRUE(NS("abc")->hasPrefix(NS("ab")));
    EXPECT_FALSE(NS("abc")->hasPrefix(NS("")));  // the platform says NO to an empty prefix
    EXPECT_TRUE(NS("abc")->hasSuffix(NS("bc")));
    EXPECT_FALSE(NS("bc")->hasSuffix(NS("abc")));
}

TEST(NSStringTest, ComponentsFollowThePlatformRules) {
    EXPECT_EQ(strings(NS("")->componentsSeparatedByString(NS(","))), std::vector<std::string>{""});
    EXPECT_EQ(strings(NS(",a,,b,")->componentsSeparatedByString(NS(","))),
              (std::vector<std::string>{"", "a", "", "b", ""}));
    EXPECT_EQ(strings(NS("a--b--")->componentsSeparatedByString(NS("--"))),
              (std::vector<std::string>{"a", "b", ""}));
    EXPECT_EQ(strings(NS("abc")->componentsSeparatedByString(NS("x"))),
              std::vector<std::string>{"abc"});
    auto ws = NSCharacterSet::whitespaceCharacterSet();
    EXPECT_EQ(strings(NS("a b\u3000c ")->componentsSeparatedByCharactersInSet(ws)),
              (std::vector<std::string>{"a", "b", "c", ""}));
}

TEST(NSStringTest, Replacement) {
    EXPECT_EQ(u8(NS("a.b.c")->stringByReplacingOccurrencesOfString(NS("."), NS("::"))), "a::b::c");
    EXPECT_EQ(u8(NS("aXbxc")->stringByReplacingOccurrencesOfString(
                  NS("x"), NS("-"), NSCaseInsensitiveSearch, NSMakeRange(0, 5))),
              "a-b-c");
    EXPECT_EQ(u8(NS("xaxax")->stringByReplacingOccurrencesOfString(NS("x"), NS("_"), 0,
                                                                   NSMakeRange(1, 3))),
              "xa_ax");
    EXPECT_EQ(u8(NS("xax")->stringByReplacingOccurrencesOfString(NS("x"), NS("_"), NSAnchoredSearch,
                                                                 NSMakeRange(0, 3))),
              "_ax");
    // Overlapping matches are taken in the search direction.
    EXPECT_EQ(u8(NS("aaa")->stringByReplacingOccurrencesOfString(NS("aa"), NS("b"), 0,
                                                                 NSMakeRange(0, 3))),
              "ba");
    EXPECT_EQ(u8(NS("aaa")->stringByReplacingOccurrencesOfString(
                  NS("aa"), NS("b"), NSBackwardsSearch, NSMakeRange(0, 3))),
              "ab");
    EXPECT_EQ(u8(NS("abcd")->stringByReplacingCharactersInRange(NSMakeRange(1, 2), NS("XYZ"))),
              "aXYZd");

    auto m = NSMutableString::stringWithString(NS("one two one"));
    uint64_t before = m->mutationCount();
    EXPECT_EQ(m->replaceOccurrencesOfString(NS("one"), NS("1"), 0, NSMakeRange(0, m->length())),
              2u);
    EXPECT_EQ(u8(m), "1 two 1");
    EXPECT_GT(m->mutationCount(), before);
    m->insertString(NS(">"), 0);
    m->deleteCharactersInRange(NSMakeRange(1, 2));
    m->replaceCharactersInRange(NSMakeRange(0, 1), m);  // replacing with itself reads it first
    EXPECT_EQ(u8(m), ">two 1two 1");
    m->appendString(m);
    EXPECT_EQ(m->length(), 22u);
    EXPECT_EQ(raised([&] { m->insertString(NS("x"), 23); }).first, "NSRangeException");
}

TEST(NSStringTest, TrimmingAndPaddingDoNotSplitPairs) {
    auto ws = NSCharacterSet::whitespaceAndNewlineCharacterSet();
    EXPECT_EQ(u8(NS(" \t\u00A0x y\n\u3000")->stringByTrimmingCharactersInSet(ws)), "x y");
    EXPECT_EQ(u8(NS("  ")->stringByTrimmingCharactersInSet(ws)), "");
    auto emoji = NSCharacterSet::characterSetWithCharactersInString(NS("😀"));
    EXPECT_EQ(NS("😀x😀")->stringByTrimmingCharactersInSet(emoji)->u16(), u"x");
    // A set of other supplementary characters leaves the pair alone even though its units are
    // surrogates too.
    auto other = NSCharacterSet::characterSetWithCharactersInString(NS("😁"));
    EXPECT_EQ(NS("😀x")->stringByTrimmingCharactersInSet(other)->u16(), u"😀x");

    EXPECT_EQ(u8(NS("abc")->stringByPaddingToLength(7, NS("123"), 1)), "abc2312");
    EXPECT_EQ(u8(NS("abcdef")->stringByPaddingToLength(2, NS("."), 0)), "ab");
    EXPECT_EQ(raised([&] { NS("a")->stringByPaddingToLength(4, NS("12"), 2); }).first,
              "NSRangeException");
}

TEST(NSStringTest, CaseMapping) {
    EXPECT_EQ(u8(NS("Hello World")->lowercaseString()), "hello world");
    EXPECT_EQ(u8(NS("straße")->uppercaseString()), "STRASSE");
    EXPECT_EQ(u8(NS("ÀÉÎ")->lowercaseString()), "àéî");
    EXPECT_EQ(u8(NS("hello wORLD")->capitalizedString()), "Hello World");
    EXPECT_EQ(u8(NS("a\tb\nc  d")->capitalizedString()), "A\tB\nC  D");
    EXPECT_EQ(u8(NS("1st éCOLE ßa")->capitalizedString()), "1St École Ssa");
    // Deseret letters live outside the BMP: the pair must be mapped as one character.
    EXPECT_EQ(NS("𐐨𐐨")->capitalizedString()->u16(), u"𐐀𐐨");
    EXPECT_EQ(NS("𐐨")->uppercaseString()->u16(), u"𐐀");
}

TEST(NSStringTest, ComposedCharacterSequences) {
    auto s = NS("e\u0301x😀\r\n🇫🇷");
    EXPECT_EQ(s->rangeOfComposedCharacterSequenceAtIndex(0), NSMakeRange(0, 2));
    EXPECT_EQ(s->rangeOfComposedCharacterSequenceAtIndex(1), NSMakeRange(0, 2));
    EXPECT_EQ(s->rangeOfComposedCharacterSequenceAtIndex(2), NSMakeRange(2, 1));
    EXPECT_EQ(s->rangeOfComposedCharacterSequenceAtIndex(4), NSMakeRange(3, 2));
    EXPECT_EQ(s->rangeOfComposedCharacterSequenceAtIndex(6), NSMakeRange(5, 2));
    EXPECT_EQ(s->rangeOfComposedCharacterSequenceAtIndex(9), NSMakeRange(7, 4));
    // A prepended mark joins the following character.
    EXPECT_EQ(NS("\u06001")->rangeOfComposedCharacterSequenceAtIndex(1), NSMakeRange(0, 2));
    EXPECT_EQ(raised([&] { s->rangeOfComposedCharacterSequenceAtIndex(11); }).first,
              "NSRangeException");
}

TEST(NSStringTest, IntegerReadsClamp) {
    EXPECT_EQ(NS(" \n 42abc")->intValue(), 42);
    EXPECT_EQ(NS("-17")->intValue(), -17);
    EXPECT_EQ(NS("+8")->integerValue(), 8);
    EXPECT_EQ(NS("abc")->intValue(), 0);
    EXPECT_EQ(NS("- 5")->intValue(), 0);
    EXPECT_EQ(NS("2147483647")->intValue(), INT32_MAX);
    EXPECT_EQ(NS("2147483648")->intValue(), INT32_MAX);
    EXPECT_EQ(NS("-2147483648")->intValue(), INT32_MIN);
    EXPECT_EQ(NS("-99999999999999999999")->integerValue(), INT32_MIN);
    EXPECT_EQ(NS("9223372036854775807")->longLongValue(), LLONG_MAX);
    EXPECT_EQ(NS("9223372036854775808")->longLongValue(), LLONG_MAX);
    EXPECT_EQ(NS("-9223372036854775808")->longLongValue(), LLONG_MIN);
    EXPECT_EQ(NS("-9223372036854775809")->longLongValue(), LLONG_MIN);
    EXPECT_EQ(NS("4294967296")->longLongValue(), 4294967296LL);
}

TEST(NSStringTest, FloatingReadsTakeTheDecimalPrefix) {
    EXPECT_DOUBLE_EQ(NS(" 3.5e2x")->doubleValue(), 350.0);
    EXPECT_DOUBLE_EQ(NS("-.5e-1")->doubleValue(), -0.05);
    EXPECT_DOUBLE_EQ(NS("1e")->doubleValue(), 1.0);
    EXPECT_DOUBLE_EQ(NS("2.e+")->doubleValue(), 2.0);
    EXPECT_DOUBLE_EQ(NS("0x10")->doubleValue(), 0.0);  // no hexadecimal
    EXPECT_DOUBLE_EQ(NS("1,5")->doubleValue(), 1.0);   // '.' is the only decimal point
    EXPECT_DOUBLE_EQ(NS(".")->doubleValue(), 0.0);
    EXPECT_TRUE(std::isinf(NS("1e400")->doubleValue()));
    EXPECT_FLOAT_EQ(NS("0.1")->floatValue(), 0.1f);
}

TEST(NSStringTest, BoolValue) {
    for (const char* yes : {"YES", "yes", "true", "T", " +0001", "-0y", "9", "  7x"}) {
        EXPECT_TRUE(NSString::fromUTF8(yes)->boolValue()) << yes;
    }
    for (const char* no : {"", "NO", "0", "000", "false", "0x1", " a", "+-1"}) {
        EXPECT_FALSE(NSString::fromUTF8(no)->boolValue()) << no;
    }
}

TEST(NSStringTest, SingleByteEncodings) {
    auto s = NS("caf\u00E9 \u20AC");
    EXPECT_FALSE(s->dataUsingEncoding(NSASCIIStringEncoding));
    EXPECT_FALSE(s->canBeConvertedToEncoding(NSISOLatin1StringEncoding));  // the euro sign
    EXPECT_EQ(s->dataUsingEncoding(NSASCIIStringEncoding, true)->view(), "caf? ?");
    EXPECT_EQ(s->dataUsingEncoding(NSWindowsCP1252StringEncoding)->view(), "caf\xE9 \x80");
    EXPECT_EQ(s->dataUsingEncoding(NSMacOSRomanStringEncoding)->view(), "caf\x8E \xDB");
    EXPECT_EQ(NS("\u00E9\u00FF")->dataUsingEncoding(NSISOLatin1StringEncoding)->view(), "\xE9\xFF");
    // One pair is one lossy character.
    EXPECT_EQ(NS("a😀")->dataUsingEncoding(NSASCIIStringEncoding, true)->view(), "a?");

    EXPECT_EQ(NSString::stringWithCString("\x80\x8A\x9F", NSWindowsCP1252StringEncoding)->u16(),
              u"\u20AC\u0160\u0178");
    EXPECT_EQ(NSString::stringWithCString("\x80", NSISOLatin1StringEncoding)->u16(), u"\u0080");
    EXPECT_FALSE(NSString::stringWithCString("\x80", NSASCIIStringEncoding));
    EXPECT_EQ(NS("\u00E9")->lengthOfBytesUsingEncoding(NSUTF8StringEncoding), 2u);
    EXPECT_EQ(NS("\u20AC")->lengthOfBytesUsingEncoding(NSISOLatin1StringEncoding), 0u);
}

TEST(NSStringTest, UnicodeEncodings) {
    auto s = NS("A😀");
    EXPECT_EQ(s->dataUsingEncoding(NSUTF16StringEncoding)->view(),
              std::string("\xFF\xFE"
                          "A\0\x3D\xD8\x00\xDE",
                          8));
    EXPECT_EQ(s->dataUsingEncoding(NSUTF16BigEndianStringEncoding)->view(),
              std::string("\0A\xD8\x3D\xDE\x00", 6));
    EXPECT_EQ(s->dataUsingEncoding(NSUTF32LittleEndianStringEncoding)->view(),
              std::string("A\0\0\0\x00\xF6\x01\x00", 8));
    EXPECT_EQ(s->lengthOfBytesUsingEncoding(NSUTF16StringEncoding), 6u);

    auto decode = [](std::string bytes, NSStringEncoding enc) {
        auto d = NSData::dataWithBytes(bytes.data(), static_cast<NSUInteger>(bytes.size()));
        return NSString::stringWithData(d, enc);
    };
    EXPECT_EQ(decode(std::string("\0h\0i", 4), NSUTF16StringEncoding)->u16(), u"hi");
    EXPECT_EQ(decode(std::string("\xFF\xFEh\0i\0", 6), NSUTF16StringEncoding)->u16(), u"hi");
    EXPECT_EQ(decode(std::string("\xFE\xFF\0h", 4), NSUTF16StringEncoding)->u16(), u"h");
    EXPECT_EQ(decode(std::string("h\0", 2), NSUTF16LittleEndianStringEncoding)->u16(), u"h");
    EXPECT_FALSE(decode(std::string("h\0i", 3), NSUTF16StringEncoding));
    EXPECT_EQ(decode(std::string("\xFF\xFE\0\0\x00\xF6\x01\x00", 8), NSUTF32StringEncoding)->u16(),
              u"😀");
    EXPECT_FALSE(decode(std::string("\0\x11\0\0", 4), NSUTF32BigEndianStringEncoding));
    EXPECT_FALSE(decode("\xC3", NSUTF8StringEncoding));

    auto lone = NSString::stringWithCharacters(u"a\xD800", 2);
    EXPECT_FALSE(lone->dataUsingEncoding(NSUTF8StringEncoding));
    EXPECT_EQ(lone->dataUsingEncoding(NSUTF8StringEncoding, true)->view(), "a\xEF\xBF\xBD");
    EXPECT_EQ(lone->utf8(), "a\xEF\xBF\xBD");

    auto escaped = NS("a\\b\u00E9\u2022")->dataUsingEncoding(NSNonLossyASCIIStringEncoding);
    EXPECT_EQ(escaped->view(), "a\\\\b\\351\\u2022");
    EXPECT_EQ(NSString::stringWithData(escaped, NSNonLossyASCIIStringEncoding)->u16(),
              u"a\\b\u00E9\u2022");
}

// Plain ASCII is narrowed straight into the result; anything else is encoded in full. Both
// give what the lossy encoding gives, whatever the length and wherever the first other unit.
TEST(NSStringTest, UTF8OfASCIIEqualsTheFullEncoding) {
    size_t ascii = 0;
    for (size_t length = 0; length <= 40; ++length) {
        std::u16string plain;
        for (size_t i = 0; i < length; ++i)
            plain.push_back(static_cast<char16_t>(i % 3 == 0 ? 0x7F - i : 0x20 + i));
        if (length > 3) plain[2] = 0;  // a NUL unit is ASCII too
        std::vector<std::u16string> texts{plain};
        for (size_t at : {size_t(0), length / 2, length}) {
            for (char16_t other : {u'\u0080', u'\u00E9', u'\u2022', u'\xD800'}) {
                std::u16string mixed = plain;
                mixed.insert(std::min(at, mixed.size()), 1, other);
                texts.push_back(mixed);
            }
        }
        for (const std::u16string& units : texts) {
            auto s = NSString::fromUTF16(units);
            auto full = s->dataUsingEncoding(NSUTF8StringEncoding, true);
            ASSERT_TRUE(full);
            EXPECT_EQ(s->utf8(), std::string(full->view())) << length;
            ascii += units == plain;
        }
    }
    EXPECT_EQ(ascii, 41u);
}

TEST(NSStringTest, CStringsLiveInTheReleasePool) {
    size_t before = NSAutoreleasePool::pendingCount();
    const char* c = NS("h\u00E9")->UTF8String();
    EXPECT_STREQ(c, "h\xC3\xA9");
    EXPECT_EQ(NSAutoreleasePool::pendingCount(), before + 1);
    EXPECT_STREQ(NS("\u00E9")->cStringUsingEncoding(NSISOLatin1StringEncoding), "\xE9");
    EXPECT_EQ(NS("\u20AC")->cStringUsingEncoding(NSASCIIStringEncoding), nullptr);
    const char* wide = NS("hi")->cStringUsingEncoding(NSUTF16LittleEndianStringEncoding);
    EXPECT_EQ(std::memcmp(wide, "h\0i\0\0\0", 6), 0);
}

TEST(NSStringTest, LegacyPercentEscapes) {
    EXPECT_EQ(u8(NS("a b\"#%<>[\\]^`{|}\u00E9!$&'()*+,-./:;=?@_~")
                     ->stringByAddingPercentEscapesUsingEncoding(NSUTF8StringEncoding)),
              "a%20b%22%23%25%3C%3E%5B%5C%5D%5E%60%7B%7C%7D%C3%A9!$&'()*+,-./:;=?@_~");
    EXPECT_EQ(
        u8(NS("\u00E9\n")->stringByAddingPercentEscapesUsingEncoding(NSISOLatin1StringEncoding)),
        "%E9%0A");
    EXPECT_FALSE(NS("\u20AC")->stringByAddingPercentEscapesUsingEncoding(NSASCIIStringEncoding));
    // The C-level form with extra characters to escape and characters to keep.
    EXPECT_EQ(u8(NS("a b/c?d=\u00E9")
                     ->stringByAddingPercentEscapesUsingEncoding(NSUTF8StringEncoding, nullptr,
                                                                 NS("!*'();:@&=+$,/?%#[]"))),
              "a%20b%2Fc%3Fd%3D%C3%A9");
    EXPECT_EQ(u8(NS("a b#/")->stringByAddingPercentEscapesUsingEncoding(NSUTF8StringEncoding,
                                                                        NS(" #/"), NS("/"))),
              "a b#%2F");

    EXPECT_EQ(u8(NS("a%20b%E2%82%AC")
                     ->stringByReplacingPercentEscapesUsingEncoding(NSUTF8StringEncoding)),
              "a b\u20AC");
    EXPECT_EQ(
        u8(NS("%e9")->stringByReplacingPercentEscapesUsingEncoding(NSISOLatin1StringEncoding)),
        "\u00E9");
    for (const char* bad : {"%G1", "ab%4", "%", "%E9"}) {
        EXPECT_FALSE(NSString::fromUTF8(bad)->stringByReplacingPercentEscapesUsingEncoding(
            NSUTF8StringEncoding))
            << bad;
    }
}

TEST(NSStringTest, PercentEncodingWithAllowedCharacters) {
    auto query = NSCharacterSet::URLQueryAllowedCharacterSet();
    EXPECT_EQ(u8(NS("a b&c=\u00E9?/#😀")->stringByAddingPercentEncodingWithAllowedCharacters(query)),
              "a%20b&c=%C3%A9?/%23%F0%9F%98%80");
    EXPECT_FALSE(NSString::stringWithCharacters(u"\xDC00", 1)
                     ->stringByAddingPercentEncodingWithAllowedCharacters(query));
    EXPECT_EQ(u8(NS("a%2Fb%F0%9F%98%80\u00E9")->stringByRemovingPercentEncoding()), "a/b😀\u00E9");
    for (const char* bad : {"%zz", "%C3", "%4", "%FF"}) {
        EXPECT_FALSE(NSString::fromUTF8(bad)->stringByRemovingPercentEncoding()) << bad;
    }
}

TEST(NSStringTest, PathComponents) {
    EXPECT_EQ(strings(NS("/tmp/scratch")->pathComponents()),
              (std::vector<std::string>{"/", "tmp", "scratch"}));
    EXPECT_EQ(strings(NS("/tmp//scratch/")->pathComponents()),
              (std::vector<std::string>{"/", "tmp", "scratch", "/"}));
    EXPECT_EQ(strings(NS("a/b")->pathComponents()), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(strings(NS("/")->pathComponents()), std::vector<std::string>{"/"});
    EXPECT_TRUE(strings(NS("")->pathComponents()).empty());
    auto parts = NSArray::arrayWithObjects({NS("/"), NS("tmp"), NS("x.txt")});
    EXPECT_EQ(u8(NSString::pathWithComponents(parts)), "/tmp/x.txt");
}

TEST(NSStringTest, PathParts) {
    struct Case {
        const char* path;
        const char* last;
        const char* ext;
        const char* noLast;
        const char* noExt;
    };
    const Case cases[] = {
        {"/tmp/scratch.tiff", "scratch.tiff", "tiff", "/tmp", "/tmp/scratch"},
        {"/tmp/lock/", "lock", "", "/tmp", "/tmp/lock"},
        {"/tmp/", "tmp", "", "/", "/tmp"},
        {"/tmp", "tmp", "", "/", "/tmp"},
        {"/", "/", "", "/", "/"},
        {"", "", "", "", ""},
        {"scratch.tiff", "scratch.tiff", "tiff", "", "scratch"},
        {"scratch..tiff", "scratch..tiff", "tiff", "", "scratch."},
        {".tcshrc", ".tcshrc", "", "", ".tcshrc"},
        {"a.b/c", "c", "", "a.b", "a.b/c"},
        {"scratch.bundle/", "scratch.bundle", "bundle", "", "scratch"},
    };
    for (const Case& c : cases) {
        auto p = NSString::fromUTF8(c.path);
        EXPECT_EQ(u8(p->lastPathComponent()), c.last) << c.path;
        EXPECT_EQ(u8(p->pathExtension()), c.ext) << c.path;
        EXPECT_EQ(u8(p->stringByDeletingLastPathComponent()), c.noLast) << c.path;
        EXPECT_EQ(u8(p->stringByDeletingPathExtension()), c.noExt) << c.path;
    }
    EXPECT_TRUE(NS("/a")->isAbsolutePath());
    EXPECT_TRUE(NS("~/a")->isAbsolutePath());
    EXPECT_FALSE(NS("a/b")->isAbsolutePath());
}

TEST(NSStringTest, AppendingPaths) {
    EXPECT_EQ(u8(NS("/tmp")->stringByAppendingPathComponent(NS("scratch.tiff"))),
              "/tmp/scratch.tiff");
    EXPECT_EQ(u8(NS("/tmp/")->stringByAppendingPathComponent(NS("scratch.tiff"))),
              "/tmp/scratch.tiff");
    EXPECT_EQ(u8(NS("/")->stringByAppendingPathComponent(NS("scratch.tiff"))), "/scratch.tiff");
    EXPECT_EQ(u8(NS("")->stringByAppendingPathComponent(NS("a"))), "a");
    EXPECT_EQ(u8(NS("a//")->stringByAppendingPathComponent(NS("/b/"))), "a/b");
    EXPECT_EQ(u8(NS("/tmp/scratch.old")->stringByAppendingPathExtension(NS("tiff"))),
              "/tmp/scratch.old.tiff");
    EXPECT_EQ(u8(NS("/tmp/")->stringByAppendingPathExtension(NS("tiff"))), "/tmp.tiff");
    EXPECT_FALSE(NS("/")->stringByAppendingPathExtension(NS("tiff")));
    EXPECT_FALSE(NS("")->stringByAppendingPathExtension(NS("tiff")));
    EXPECT_FALSE(NS("a")->stringByAppendingPathExtension(NS("b/c")));
}

TEST(NSStringTest, StandardizingPaths) {
    // "~" is the sandbox home, where the search paths without tilde expansion point.
    std::string home = u8(NSHomeDirectory());
    EXPECT_EQ(u8(NS("~/docs/../x")->stringByStandardizingPath()), home + "/x");
    EXPECT_EQ(u8(NS("~")->stringByExpandingTildeInPath()), home);
    EXPECT_EQ(u8(NS("~other/x")->stringByStandardizingPath()), "~other/x");
    auto docs = as<NSString>(
        NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, false)
            ->objectAtIndex(0));
    EXPECT_EQ(u8(docs->stringByExpandingTildeInPath()), home + "/Documents");
    EXPECT_EQ(u8(NS("/a/./b//c/../d/")->stringByStandardizingPath()), "/a/b/d");
    EXPECT_EQ(u8(NS("/../x")->stringByStandardizingPath()), "/x");
    EXPECT_EQ(u8(NS("a/./b/../c")->stringByStandardizingPath()), "a/b/../c");
    EXPECT_EQ(u8(NS("/")->stringByStandardizingPath()), "/");
}

TEST(NSStringTest, RegisteredWithTheRuntime) {
    auto s = NSString::stringWithString(NS("12abc"));
    EXPECT_TRUE(s->respondsToSelector(Selector::named("length")));
    EXPECT_TRUE(s->respondsToSelector(Selector::named("uppercaseString")));
    auto len = as<NSNumber>(s->valueForKey(NS("length")));
    ASSERT_TRUE(len);
    EXPECT_EQ(len->intValue(), 5);
    EXPECT_EQ(as<NSNumber>(s->valueForKey(NS("intValue")))->intValue(), 12);
    EXPECT_EQ(u8(as<NSString>(s->valueForKey(NS("uppercaseString")))), "12ABC");
    // Sorting by selector reaches the comparisons by name.
    auto sorted = NSArray::arrayWithObjects({NS("b"), NS("C"), NS("a")})
                      ->sortedArrayUsingSelector(Selector::named("caseInsensitiveCompare:"));
    EXPECT_EQ(strings(sorted), (std::vector<std::string>{"a", "b", "C"}));
    EXPECT_TRUE(s->respondsToSelector(Selector::named("compare:")));
}

// Units followed by a NUL are offered only where the default storage holds the text.
TEST(NSStringTest, TerminatedUnitsOnlyFromTheDefaultStorage) {
    for (auto s : {NSString::fromUTF8("abc"), NSString::fromUTF8(""),
                   Ref<NSString>(NSMutableString::stringWithString(NS("xy")))}) {
        const char16_t* units = s->terminatedCharactersPtr();
        ASSERT_TRUE(units) << u8(s);
        EXPECT_EQ(units, s->charactersPtr());
        EXPECT_EQ(std::u16string(units, s->length()), s->u16());
        EXPECT_EQ(units[s->length()], 0);
    }
    auto grown = NSMutableString::stringWithString(NS("a"));
    grown->appendString(NS("bcdefghijklmnopqrstuvwxyz"));
    ASSERT_TRUE(grown->terminatedCharactersPtr());
    EXPECT_EQ(grown->terminatedCharactersPtr()[26], 0);

    // Compact strings keep exactly their units; a mutable one has them in the default storage
    // once it has changed.
    EXPECT_FALSE(NSString::compactStringWithUnits(u"abc")->terminatedCharactersPtr());
    auto compact = NSMutableString::compactStringWithUnits(u"abc");
    EXPECT_FALSE(compact->terminatedCharactersPtr());
    compact->appendString(NS("d"));
    ASSERT_TRUE(compact->terminatedCharactersPtr());
    EXPECT_EQ(std::u16string(compact->terminatedCharactersPtr()), u"abcd");
    // A subclass's own storage is never taken for terminated, contiguous or not.
    EXPECT_FALSE(OutOfLineString::with(u"abc")->terminatedCharactersPtr());
}

TEST(NSStringTest, SubclassWithoutContiguousStorage) {
    auto ext = OutOfLineString::with(u"  Alpha,beta,ALPHA 42  ");
    EXPECT_EQ(ext->rangeOfString(NS("alpha"), NSCaseInsensitiveSearch | NSBackwardsSearch),
              NSMakeRange(13, 5));
    EXPECT_EQ(strings(ext->componentsSeparatedByString(NS(","))),
              (std::vector<std::string>{"  Alpha", "beta", "ALPHA 42  "}));
    auto trimmed = ext->stringByTrimmingCharactersInSet(NSCharacterSet::whitespaceCharacterSet());
    EXPECT_EQ(u8(trimmed), "Alpha,beta,ALPHA 42");
    EXPECT_EQ(u8(ext->substringWithRange(NSMakeRange(2, 5))), "Alpha");
    EXPECT_EQ(u8(ext->uppercaseString()), "  ALPHA,BETA,ALPHA 42  ");
    EXPECT_EQ(OutOfLineString::with(u" -12")->intValue(), -12);
    auto copy = ext->copy();
    EXPECT_NE(copy.get(), static_cast<NSString*>(ext.get()));
    ext->text = u"changed";
    EXPECT_EQ(u8(copy), "  Alpha,beta,ALPHA 42  ");
    EXPECT_EQ(ext->stringByAppendingString(NS("!"))->utf8(), "changed!");
}
