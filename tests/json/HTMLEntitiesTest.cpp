#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Foundation/NSString.h"
#include "json/NSString+HTML.h"
#include "json/NSString+HXHTMLAdditions.h"
#include "support/FoundationTesting.h"

namespace {

std::string decoded(const char* html) {
    return text(stringByDecodingHTMLEntities(str(html)));
}

TEST(HTMLEntitiesTest, DecodesEachReferenceOnce) {
    EXPECT_EQ(decoded("a &amp; b &#65; &#x42; &#X43; &lt;"), "a & b A B C <");
    EXPECT_EQ(decoded("&amp;lt;"), "&lt;");  // decoded once, not twice
    EXPECT_EQ(decoded("&thetasym;&diams;&quot;"), "\xCF\x91\xE2\x99\xA6\"");
    EXPECT_EQ(decoded("&#65534;"), "\xEF\xBF\xBE");
    for (const char* kept :
         {"&#0;", "&#65535;", "&#x10000;", "&bogus;", "a & b", "&amp", "&thetasymx;", "&#x;",
          "&#xD800;", "&#55296;", "&#xdfff;", "&#12a;", "&AMP;", "&;", "&a&b;"}) {
        EXPECT_EQ(decoded(kept), kept);
    }
    auto plain = str("no references here");
    EXPECT_EQ(hx_stringByUnescapingFromHTML(plain).get(), plain.get());
    EXPECT_FALSE(is<NSMutableString>(stringByDecodingHTMLEntities(str("&amp;"))));
}

// Numeric references: plain digits are read directly, other forms by the scanner; both must
// give the same characters, at the edges of what one unit can hold.
TEST(HTMLEntitiesTest, NumericReferencesInEveryForm) {
    for (unsigned value : {0u, 1u, 9u, 10u, 38u, 65u, 0xD7FFu, 0xD800u, 0xDBFFu, 0xDC00u, 0xDFFFu,
                           0xE000u, 65534u, 65535u, 65536u, 999999u, 9999999u}) {
        SCOPED_TRACE(value);
        const bool decodable = value >= 1 && value <= 65534 && (value < 0xD800 || value > 0xDFFF);
        char hex[16], hexUpper[16];
        std::snprintf(hex, sizeof hex, "%x", value);
        std::snprintf(hexUpper, sizeof hexUpper, "%X", value);
        const std::string digits = std::to_string(value);
        std::vector<std::string> forms = {"&#" + digits + ";", "&#x" + std::string(hex) + ";",
                                          "&#X" + std::string(hexUpper) + ";"};
        if (digits.size() < 7) forms.push_back("&#0" + digits + ";");
        // Forms the scanner reads: a sign, a blank before the digits, a "0x" after the "x".
        if (digits.size() < 7) {
            forms.push_back("&#+" + digits + ";");
            forms.push_back("&# " + digits + ";");
        }
        if (std::string(hex).size() < 5) forms.push_back("&#x0x" + std::string(hex) + ";");
        for (const auto& form : forms) {
            SCOPED_TRACE(form);
            auto result = hx_stringByUnescapingFromHTML(str("<" + form + ">"));
            if (!decodable) {
                EXPECT_EQ(text(result), "<" + form + ">");
                continue;
            }
            ASSERT_EQ(result->length(), 3u);
            EXPECT_EQ(result->characterAtIndex(1), static_cast<char16_t>(value));
        }
    }
    // Not numbers at all, or not ending at the semicolon.
    for (const char* kept : {"&#-65;", "&#6 5;", "&#65 ;", "&#x4g;", "&#xx41;", "&#a;"})
        EXPECT_EQ(decoded(kept), kept);
}

TEST(HTMLEntitiesTest, DecodingWithAndWithoutReferences) {
    // Immutable text without a reference is its own decoding; mutable text gets an immutable
    // copy that does not follow later edits.
    auto plain = str("plain title");
    EXPECT_EQ(stringByDecodingHTMLEntities(plain).get(), plain.get());
    auto edited = NSMutableString::stringWithString(NS("plain"));
    auto copy = stringByDecodingHTMLEntities(edited);
    EXPECT_NE(copy.get(), static_cast<NSString*>(edited.get()));
    EXPECT_FALSE(is<NSMutableString>(copy));
    edited->appendString(NS(" more"));
    EXPECT_EQ(text(copy), "plain");
    EXPECT_EQ(text(stringByDecodingHTMLEntities(NS(""))), "");
    // References at both ends and side by side.
    EXPECT_EQ(decoded("&lt;a&gt;"), "<a>");
    EXPECT_EQ(decoded("&amp;&amp;"), "&&");
    EXPECT_EQ(decoded("x&quot;"), "x\"");
    // Successive results are separate strings, the second not written over the first; a long
    // text decodes whole.
    auto first = stringByDecodingHTMLEntities(str("one &amp; one"));
    auto second = stringByDecodingHTMLEntities(str("two &lt; three"));
    EXPECT_EQ(text(first), "one & one");
    EXPECT_EQ(text(second), "two < three");
    std::string longText, longDecoded;
    for (int i = 0; i < 3000; ++i) {
        longText += "ab &amp; ";
        longDecoded += "ab & ";
    }
    EXPECT_EQ(decoded(longText.c_str()), longDecoded);
    EXPECT_EQ(decoded("after &gt; long"), "after > long");
}

TEST(HTMLEntitiesTest, Escapes) {
    auto e = str("\xC3\xA9");
    EXPECT_EQ(text(stringByEncodingHTMLEntities(e)), "&eacute;");
    EXPECT_EQ(text(hx_stringByEscapingForHTML(e)), "\xC3\xA9");
    EXPECT_EQ(text(stringByEncodingHTMLEntities(str("\xC4\x81"))), "&#257;");
    EXPECT_EQ(text(hx_stringByEscapingForHTML(str("<a href=\"x\">\xE2\x80\x94</a>"))),
              "&lt;a href=&quot;x&quot;&gt;&mdash;&lt;/a&gt;");
    // A character beyond the basic plane is one reference, not two to its halves.
    EXPECT_EQ(text(stringByEncodingHTMLEntities(str("\xF0\x9F\x98\x80"))), "&#128512;");
    auto empty = NSString::string();
    EXPECT_EQ(hx_stringByEscapingForAsciiHTML(empty).get(), empty.get());
}

TEST(HTMLEntitiesTest, TablesRoundTrip) {
    EXPECT_EQ(sizeof HXFullHTMLEscapeTable / sizeof HXFullHTMLEscapeTable[0], 253u);
    EXPECT_EQ(sizeof HXShortHTMLEscapeTable / sizeof HXShortHTMLEscapeTable[0], 33u);
    for (const HXHTMLEscapeMap* e :
         {&HXFullHTMLEscapeTable[0], &HXFullHTMLEscapeTable[252], &HXShortHTMLEscapeTable[0],
          &HXShortHTMLEscapeTable[32], &HXFullHTMLEscapeTable[5]}) {
        auto character = NSString::stringWithCharacters(&e->uchar, 1);
        bool inShort = false;
        for (const auto& s : HXShortHTMLEscapeTable)
            inShort |= s.uchar == e->uchar;
        auto escaped = inShort ? hx_stringByEscapingForHTML(character)
                               : hx_stringByEscapingForAsciiHTML(character);
        EXPECT_EQ(text(escaped), e->escapeSequence);
        EXPECT_TRUE(stringByDecodingHTMLEntities(escaped)->isEqualToString(character))
            << e->escapeSequence;
    }
    EXPECT_STREQ(HXFullHTMLEscapeTable[252].escapeSequence, "&diams;");
    EXPECT_STREQ(HXShortHTMLEscapeTable[32].escapeSequence, "&euro;");
    // Every entity of the full table decodes to its unit and is written back as itself.
    for (const auto& e : HXFullHTMLEscapeTable) {
        auto entity = NSString::stringWithUTF8String(e.escapeSequence);
        auto character = hx_stringByUnescapingFromHTML(entity);
        ASSERT_EQ(character->length(), 1u) << e.escapeSequence;
        EXPECT_EQ(character->characterAtIndex(0), e.uchar);
        EXPECT_TRUE(hx_stringByEscapingForAsciiHTML(character)->isEqualToString(entity));
    }
}

TEST(HTMLEntitiesTest, PlainText) {
    EXPECT_EQ(text(stringByConvertingHTMLToPlainText(str("<p>Hello</p><p>World</p>"))),
              "Hello World ");
    EXPECT_EQ(text(stringByConvertingHTMLToPlainText(str("<b>bold</b>text"))), "boldtext");
    EXPECT_EQ(text(stringByConvertingHTMLToPlainText(
                  str("  a<!-- <p>gone</p> -->b\n\t c</div>&amp;</SPAN>d"))),
              "ab c &d");
    EXPECT_EQ(text(stringByConvertingHTMLToPlainText(str("x<!-- open"))), "x");
}

TEST(HTMLEntitiesTest, NewlinesWhitespaceAndTags) {
    EXPECT_EQ(text(stringWithNewLinesAsBRs(str("a\nb\r\nc\n\nd"))), "a<br />b<br />c<br /><br />d");
    EXPECT_EQ(text(stringByRemovingNewLinesAndWhitespace(str(" \t a  \n\n b\t\tc \n"))), "a b c");
    EXPECT_EQ(text(stringByStrippingTags(
                  str("<div class=\"x\">one</div><span>two</span> <a>three</a><br/>four"))),
              "one two three four");
    EXPECT_EQ(text(stringByStrippingTags(str("<em>a</em>b"))), "ab");
    auto untouched = str("  no  tags ");
    auto copy = stringByStrippingTags(untouched);
    EXPECT_EQ(text(copy), "  no  tags ");  // returned as it is, white space included
    EXPECT_FALSE(is<NSMutableString>(copy));
    EXPECT_EQ(text(stringByStrippingTags(str("a < b"))), "a < b");
}

}  // namespace
