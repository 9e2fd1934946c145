#include "ads/ironvine/IVJSON.h"

#include <gtest/gtest.h>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "support/FoundationTesting.h"

namespace {

Ref<NSObject> parse(std::string_view json) {
    return IVJSON::objectWithString(str(json).get());
}

std::string roundTrip(std::string_view json) {
    auto value = parse(json);
    return value ? IVJSON::stringWithObject(value.get())->utf8() : "<none>";
}

TEST(IVJSONTest, WriterKeepsBareKeysAndNumericBooleans) {
    auto one = NSNumber::numberWithInt(1);
    auto row = NSArray::arrayWithObjects({one.get(), NS("a")});
    EXPECT_EQ(IVJSON::stringWithObject(NSArray::arrayWithObject(row.get()).get())->utf8(),
              "[[1,\"a\"]]");
    auto map = NSMutableDictionary::dictionary();
    map->setObject(NSNull::null().get(), NS("k"));
    EXPECT_EQ(IVJSON::stringWithObject(map.get())->utf8(), "{k:null}");
    auto yes = NSNumber::numberWithBool(true), no = NSNumber::numberWithBool(false);
    auto half = NSNumber::numberWithDouble(2.5);
    auto flags = NSArray::arrayWithObjects({yes.get(), no.get(), half.get()});
    EXPECT_EQ(IVJSON::stringWithObject(flags.get())->utf8(), "[1,0,2.5]");
    auto numbered = NSMutableDictionary::dictionary();
    numbered->setObject(NS("x"), NSNumber::numberWithInt(7));
    EXPECT_EQ(IVJSON::stringWithObject(numbered.get())->utf8(), "{7:\"x\"}");
}

TEST(IVJSONTest, WriterTurnsUnknownValuesIntoNullAndReportsThem) {
    auto writer = make<IVJSON>();
    auto plain = alloc<NSObject>();
    auto list = NSArray::arrayWithObjects({NS("ok"), plain.get()});
    EXPECT_FALSE(writer->addObject(list.get()));
    EXPECT_EQ(writer->string()->utf8(), "[\"ok\",null]");
    auto fine = make<IVJSON>();
    EXPECT_TRUE(fine->addObject(NSArray::arrayWithObject(NSNull::null().get()).get()));
}

TEST(IVJSONTest, EscapingCoversControlsQuotesAndLineSeparators) {
    auto plain = NS("nothing special here");
    EXPECT_EQ(IVJSON::stringByEscapingCharacters(plain).get(), plain);
    EXPECT_EQ(IVJSON::stringByEscapingCharacters(str("a\"b\\c\n\t\b\f\r\x01")).get()->utf8(),
              "a\\\"b\\\\c\\n\\t\\b\\f\\r\\u0001");
    EXPECT_EQ(IVJSON::stringByEscapingCharacters(str("x\u2028y\u2029z"))->utf8(),
              "x\\u2028y\\u2029z");
    EXPECT_EQ(IVJSON::stringWithObject(str("say \"hi\"\n").get())->utf8(), "\"say \\\"hi\\\"\\n\"");
}

TEST(IVJSONTest, ParserAcceptsWhatTheServerSends) {
    auto value = as<NSDictionary>(
        parse(" {\"a\": [1, -0.5e+3, true, null, \"x\\u00e9\\ud83d\\ude00\"], \"b\":{}} "));
    ASSERT_TRUE(value);
    auto list = as<NSArray>(value->objectForKey(NS("a")));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->count(), 5u);
    EXPECT_EQ(as<NSNumber>(list->objectAtIndex(0))->intValue(), 1);
    EXPECT_DOUBLE_EQ(as<NSNumber>(list->objectAtIndex(1))->doubleValue(), -500.0);
    EXPECT_TRUE(as<NSNumber>(list->objectAtIndex(2))->boolValue());
    EXPECT_TRUE(is<NSNull>(list->objectAtIndex(3).get()));
    EXPECT_EQ(as<NSString>(list->objectAtIndex(4))->utf8(), "x\u00e9\U0001F600");
    EXPECT_EQ(as<NSDictionary>(value->objectForKey(NS("b")))->count(), 0u);
}

TEST(IVJSONTest, ParserQuirks) {
    // Members without a comma pass, a later duplicate wins.
    auto map = as<NSDictionary>(parse("{\"a\":1 \"b\":2 \"a\":3}"));
    ASSERT_TRUE(map);
    EXPECT_EQ(map->count(), 2u);
    EXPECT_EQ(as<NSNumber>(map->objectForKey(NS("a")))->intValue(), 3);
    EXPECT_EQ(roundTrip("[1 2]"), "[1,2]");
    EXPECT_EQ(roundTrip("true"), "1");
    EXPECT_EQ(roundTrip("\"s\""), "\"s\"");
}

TEST(IVJSONTest, ParserRefusesMalformedText) {
    for (const char* bad : {"01",
                            "1.",
                            "[1,]",
                            "{\"a\":1,}",
                            "",
                            "   ",
                            "-",
                            "1e",
                            "[",
                            "{\"a\"}",
                            "{a:1}",
                            "tru",
                            "nul",
                            "\"abc",
                            "\"a\nb\"",
                            "\"\\x\"",
                            "\"\\ud800\"",
                            "\"\\udc00\"",
                            "\"\\ud800\\u0041\"",
                            "[1] x",
                            "'a'"})
        EXPECT_FALSE(parse(bad)) << bad;
    EXPECT_FALSE(IVJSON::objectWithString(nullptr));
    auto parser = make<IVJSONParser>();
    EXPECT_FALSE(parser->objectWithString(NS("12"), false));
    EXPECT_TRUE(parser->objectWithString(NS("[12]"), false));
}

TEST(IVJSONTest, NestingIsCapped) {
    std::string ok = std::string(512, '[') + std::string(512, ']');
    EXPECT_TRUE(parse(ok));
    std::string deep = std::string(513, '[') + std::string(513, ']');
    EXPECT_FALSE(parse(deep));
    std::string huge = std::string(200000, '[') + std::string(200000, ']');
    EXPECT_FALSE(parse(huge));
    auto parser = make<IVJSONParser>();
    parser->setMaxDepth(2);
    EXPECT_TRUE(parser->objectWithString(NS("[[1]]"), false));
    EXPECT_FALSE(parser->objectWithString(NS("[[[1]]]"), false));
    EXPECT_FALSE(parser->objectWithString(NS("{\"a\":{\"b\":{}}}"), false));
}

}  // namespace
