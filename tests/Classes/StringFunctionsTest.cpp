// Entity decoding of scraped names and escaping of query keywords.
#include <gtest/gtest.h>

#include "Classes/StringFunctions.h"
#include "support/FoundationTesting.h"

namespace {
std::string decoded(const char* utf8) {
    return text(decodeHtmlEntityString(str(utf8)));
}
std::string escaped(const char* utf8) {
    return text(escapeQueryString(str(utf8)));
}
}  // namespace

TEST(DecodeHtmlEntityString, TextWithoutAmpersandComesBackAsItIs) {
    auto plain = str("Cars and Trucks");
    EXPECT_EQ(decodeHtmlEntityString(plain).get(), plain.get());
    EXPECT_EQ(decodeHtmlEntityString(nullptr), nullptr);
}

TEST(DecodeHtmlEntityString, TableReferencesDecode) {
    EXPECT_EQ(decoded("AT&amp;T"), "AT&T");
    EXPECT_EQ(decoded("a&nbsp;b"), "a b");  // a plain space, not U+00A0
    EXPECT_EQ(decoded("a&nbspb"), "a b");
    EXPECT_EQ(decoded("Caf&eacute; &euro;5 &#183; &quot;x&quot;"), "Café €5 · \"x\"");
    EXPECT_EQ(decoded("&thorn;&THORN;&szlig;"), "þÞß");
    // "&amp;" runs early, so an escaped reference decodes twice.
    EXPECT_EQ(decoded("&amp;lt;b&amp;gt;"), "<b>");
}

TEST(DecodeHtmlEntityString, ReferencesOutsideTheTableStay) {
    EXPECT_EQ(decoded("&laquo;x&raquo;"), "&laquo;x»");
    EXPECT_EQ(decoded("&shy;&Acirc;&Euml;&yuml;&#160;"), "&shy;&Acirc;&Euml;&yuml;&#160;");
    EXPECT_EQ(decoded("&AMP;"), "&AMP;");  // case-sensitive
}

TEST(EscapeQueryString, EscapesReservedCharactersAndSpace) {
    EXPECT_EQ(escaped("a b/c"), "a%20b%2Fc");
    EXPECT_EQ(escaped("!'();:@&=+$,/?%#[]"),
              "%21%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D");
    EXPECT_EQ(escaped("caf\xC3\xA9-bike_1.~"), "caf%C3%A9-bike_1.~");
    EXPECT_EQ(escapeQueryString(nullptr), nullptr);
}

TEST(EscapeQueryString, LineFeedBecomesLineFeedCarriageReturn) {
    EXPECT_EQ(escaped("red\nbike"), "red%0A%0Dbike");
    EXPECT_EQ(escaped("\n\n"), "%0A%0D%0A%0D");
}
