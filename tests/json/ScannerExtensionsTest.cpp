#include <gtest/gtest.h>

#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSData.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSScanner.h"
#include "json/NSScanner+Extensions.h"
#include "json/ZDataScanner.h"
#include "support/FoundationTesting.h"

namespace {

Ref<ZDataScanner> bytes(std::string_view s) {
    return ZDataScanner::scannerWithData(
        NSData::dataWithBytes(s.data(), static_cast<NSUInteger>(s.size())));
}

TEST(ZDataScannerTest, ByteOperationsStopAtTheEnd) {
    auto s = bytes("ab");
    EXPECT_EQ(s->scanCharacter(), 'a');
    EXPECT_TRUE(s->scanCharacter('b'));
    EXPECT_TRUE(s->isAtEnd());
    EXPECT_EQ(s->currentCharacter(), 0);
    EXPECT_EQ(s->scanCharacter(), 0);
    EXPECT_FALSE(s->scanCharacter('\0'));
    EXPECT_EQ(s->scanLocation(), 2u);
    EXPECT_FALSE(s->scanUTF8String("x", nullptr));
    EXPECT_EQ(raisedName([&] { s->setScanLocation(3); }), "NSRangeException");

    auto empty = ZDataScanner::scannerWithData(nullptr);
    EXPECT_TRUE(empty->isAtEnd());
    EXPECT_EQ(empty->scanCharacter(), 0);
    EXPECT_FALSE(empty->scanNumber(nullptr));
}

TEST(ZDataScannerTest, StringsSetsAndNumbers) {
    auto s = bytes("caf\xC3\xA9!  12.5e1x rest");
    auto word = str("caf\xC3\xA9");
    Ref<NSString> got;
    EXPECT_TRUE(s->scanString(word, &got));  // matched on its whole UTF-8 sequence
    EXPECT_EQ(got.get(), word.get());
    EXPECT_FALSE(s->scanCharactersFromSet(NSCharacterSet::letterCharacterSet(), &got));
    EXPECT_TRUE(s->scanUpToCharactersFromSet(NSCharacterSet::whitespaceCharacterSet(), &got));
    EXPECT_EQ(text(got), "!");
    s->skipWhitespace();
    Ref<NSNumber> n;
    EXPECT_TRUE(s->scanNumber(&n));
    EXPECT_EQ(n->doubleValue(), 125.0);
    EXPECT_FALSE(s->scanUpToString(NS("absent"), &got));
    EXPECT_TRUE(s->scanUpToString(NS("rest"), &got));
    EXPECT_EQ(text(got), "x ");
    EXPECT_EQ(text(s->remainingString()), "rest");
    EXPECT_FALSE(bytes("\xC3")->remainingString());  // not UTF-8
}

TEST(ZDataScannerTest, NumbersAndTheirBytes) {
    auto s = bytes("2.5E+3 -4e-1+");
    Ref<NSNumber> n;
    EXPECT_TRUE(s->scanNumber(&n));
    EXPECT_EQ(n->doubleValue(), 2500.0);
    EXPECT_EQ(s->scanLocation(), 6u);  // the exponent's plus sign belongs to the number
    s->skipWhitespace();
    EXPECT_TRUE(s->scanNumber(&n));
    EXPECT_EQ(n->doubleValue(), -0.4);
    EXPECT_EQ(s->currentCharacter(), '+');  // not after an exponent mark
    EXPECT_FALSE(s->scanNumber(&n));
    auto fraction = bytes(".5-");  // the run is not validated: it reads as far as it goes
    EXPECT_TRUE(fraction->scanNumber(&n));
    EXPECT_EQ(n->doubleValue(), 0.5);
    EXPECT_TRUE(fraction->isAtEnd());

    // Other number bytes: only they form the run, and a plus sign only follows an exponent mark
    // that is one of them.
    auto digits = bytes("12e+5");
    digits->setDoubleCharacters(
        NSCharacterSet::characterSetWithCharactersInString(NS("0123456789")));
    EXPECT_TRUE(digits->scanNumber(&n));
    EXPECT_EQ(n->doubleValue(), 12.0);
    EXPECT_EQ(digits->scanLocation(), 2u);
    auto hex = bytes("ff1e+5");
    hex->setDoubleCharacters(
        NSCharacterSet::characterSetWithCharactersInString(NS("0123456789abcdef")));
    EXPECT_TRUE(hex->scanNumber(&n));  // a run that starts no number reads as 0
    EXPECT_EQ(n->doubleValue(), 0.0);
    EXPECT_EQ(hex->scanLocation(), 6u);
    // Back to the scanner's own set: "f" is no number byte again.
    hex->setDoubleCharacters(bytes("")->doubleCharacters());
    hex->setScanLocation(0);
    EXPECT_FALSE(hex->scanNumber(&n));
    hex->setScanLocation(2);
    EXPECT_TRUE(hex->scanNumber(&n));
    EXPECT_EQ(n->doubleValue(), 1e5);
    EXPECT_EQ(hex->scanLocation(), 6u);
}

TEST(ZDataScannerTest, Comments) {
    auto s = bytes("/* a */x");
    Ref<NSString> comment;
    EXPECT_TRUE(s->scanCStyleComment(&comment));
    EXPECT_EQ(text(comment), " a ");
    EXPECT_EQ(s->currentCharacter(), 'x');
    EXPECT_FALSE(s->scanCStyleComment(&comment));
    auto nested = bytes("/* a /* b */");
    EXPECT_EQ(text(raisedBy([&] { nested->scanCStyleComment(nullptr); })->reason()),
              "C style comments should not be nested.");
    EXPECT_EQ(text(raisedBy([&] { bytes("/* open")->scanCStyleComment(nullptr); })->reason()),
              "Started to scan a C style comment but it wasn't terminated.");

    // "\xC3\x85" (A with ring) holds the byte of U+0085 but is no line break.
    auto line = bytes("// \xC3\x85 note\r\n\nmore");
    EXPECT_TRUE(line->scanCPlusPlusStyleComment(&comment));
    EXPECT_EQ(text(comment), " \xC3\x85 note");
    EXPECT_EQ(text(line->remainingString()), "more");
}

TEST(NSScannerExtensionsTest, UnitsAndBacktracking) {
    auto s = NSScanner::scannerWithString(NS("ab"));
    EXPECT_EQ(currentCharacter(s), u'a');
    EXPECT_EQ(scanCharacter(s), u'a');
    EXPECT_FALSE(scanCharacter(s, u'x'));
    EXPECT_TRUE(scanCharacter(s, u'b'));
    EXPECT_EQ(currentCharacter(s), 0);
    EXPECT_EQ(scanCharacter(s), 0);
    EXPECT_EQ(s->scanLocation(), 2u);
    EXPECT_EQ(text(remainingString(s)), "");
    backtrack(s, 1);
    EXPECT_EQ(text(remainingString(s)), "b");
    auto e = raisedBy([&] { backtrack(s, 2); });
    ASSERT_TRUE(e);
    EXPECT_EQ(text(e->name()), "NSGenericException");
    EXPECT_EQ(text(e->reason()), "Backtracked too far.");
    EXPECT_EQ(s->scanLocation(), 1u);
}

TEST(NSScannerExtensionsTest, Comments) {
    auto s = NSScanner::scannerWithString(NS("  /* a */x"));
    Ref<NSString> comment;
    EXPECT_TRUE(scanCStyleComment(s, &comment));
    EXPECT_EQ(text(comment), " a ");
    EXPECT_EQ(currentCharacter(s), u'x');
    EXPECT_TRUE(scanCStyleComment(NSScanner::scannerWithString(NS("/**/")), &comment));
    EXPECT_EQ(text(comment), "");
    auto nested = NSScanner::scannerWithString(NS("/* /* */"));
    EXPECT_EQ(text(raisedBy([&] { scanCStyleComment(nested, nullptr); })->reason()),
              "C style comments should not be nested.");
    EXPECT_EQ(nested->scanLocation(), 0u);
    auto open = NSScanner::scannerWithString(NS("/* x"));
    EXPECT_EQ(text(raisedBy([&] { scanCStyleComment(open, nullptr); })->reason()),
              "Started to scan a C style comment but it wasn't terminated.");

    auto line = NSScanner::scannerWithString(NS("// text\r\nmore"));
    EXPECT_TRUE(scanCPlusPlusStyleComment(line, &comment));
    EXPECT_EQ(text(comment), " text");
    EXPECT_EQ(text(remainingString(line)), "more");
    EXPECT_FALSE(scanCPlusPlusStyleComment(line, &comment));

    auto breaks = linebreaksCharacterSet();
    for (char16_t c : {0x0A, 0x0C, 0x0D, 0x85, 0x2028, 0x2029})
        EXPECT_TRUE(breaks->characterIsMember(c)) << int(c);
    EXPECT_FALSE(breaks->characterIsMember(0x0B));
    EXPECT_FALSE(breaks->characterIsMember(u' '));
}

}  // namespace
