// The admin views' JSON: nesting and commas, escapes, and the UTF-8 check that decides whether
// bytes may be shown as text.
#include "tools/standin/JsonWriter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

using standin::JsonWriter;

TEST(JsonWriter, NestsWithCommasAndIndentsTwoSpacesALevel) {
    JsonWriter w;
    w.beginObject().member("a", 1).key("list").beginArray().value("x").value(true).null();
    w.beginObject().endObject().endArray().member("n", std::int64_t{-9007199254740993});
    w.member("half", 0.5).endObject();
    EXPECT_EQ(w.text(),
              "{\n  \"a\": 1,\n  \"list\": [\n    \"x\",\n    true,\n    null,\n    {}\n  ],\n"
              "  \"n\": -9007199254740993,\n  \"half\": 0.5\n}\n");
    JsonWriter empty;
    empty.beginArray().endArray();
    EXPECT_EQ(empty.text(), "[]\n");
}

TEST(JsonWriter, EscapesQuotesBackslashesAndControls) {
    EXPECT_EQ(standin::jsonQuoted("a\"b\\c\nd\te\x01\x7f"),
              "\"a\\\"b\\\\c\\nd\\te\\u0001\\u007f\"");
    EXPECT_EQ(standin::jsonQuoted("caf\xc3\xa9"), "\"caf\xc3\xa9\"");
    JsonWriter w;
    w.beginArray().value(std::numeric_limits<double>::infinity()).endArray();
    EXPECT_EQ(w.text(), "[\n  null\n]\n");  // JSON has no infinity
}

TEST(JsonWriter, Utf8CheckRefusesWhatIsNotText) {
    EXPECT_TRUE(standin::isValidUtf8(""));
    EXPECT_TRUE(standin::isValidUtf8("plain \xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"));
    EXPECT_FALSE(standin::isValidUtf8("\xff"));
    EXPECT_FALSE(standin::isValidUtf8("\xc0\xaf"));          // overlong "/"
    EXPECT_FALSE(standin::isValidUtf8("\xe0\x80\xaf"));      // overlong, three bytes
    EXPECT_FALSE(standin::isValidUtf8("\xed\xa0\x80"));      // a surrogate
    EXPECT_FALSE(standin::isValidUtf8("\xf4\x90\x80\x80"));  // past U+10FFFF
    EXPECT_FALSE(standin::isValidUtf8("ab\xe2\x82"));        // cut short
    EXPECT_FALSE(standin::isValidUtf8("\xe2\x28\xa1"));      // not a continuation
}

TEST(JsonWriter, TimesAndBytesAsTheViewsShowThem) {
    EXPECT_EQ(standin::utcText(1330603200000), "2012-03-01T12:00:00.000Z");
    EXPECT_EQ(standin::utcText(1500), "1970-01-01T00:00:01.500Z");
    EXPECT_EQ(standin::utcText(-1), "1969-12-31T23:59:59.999Z");
    EXPECT_EQ(standin::hexText(std::string("\x00\xab\x10", 3)), "00ab10");
}

}  // namespace
