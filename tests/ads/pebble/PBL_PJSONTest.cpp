#include "ads/pebble/PBL_PJSON.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDecimalNumber.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/Runtime.h"
#include "ads/pjson/PJsonBase.h"
#include "support/FoundationTesting.h"

namespace {

// An object of no JSON kind that has a string value of its own.
class Price : public NSObject {
    NS_OBJECT(Price, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("stringValue", &Price::stringValue);
        c.method("proxyForJson", &Price::proxyForJson);
    }
    Ref<NSString> stringValue() { return NS("12.50 EUR"); }
    Ref<NSObject> proxyForJson() { return NSArray::array(); }
    Ref<NSString> description() override { return NS("<Price>"); }
};

struct Outcome {
    Ref<NSObject> value;
    Ref<NSError> error;
};

Outcome parse(const char* json, bool fragment = false) {
    Outcome o;
    auto parser = make<PBL_PJSON>();
    auto s = NSString::stringWithUTF8String(json);
    o.value =
        fragment ? parser->fragmentWithString(s, &o.error) : parser->objectWithString(s, &o.error);
    return o;
}

std::string failure(const char* json, bool fragment = false) {
    auto o = parse(json, fragment);
    if (o.value || !o.error) return "accepted";
    return std::to_string(o.error->code()) + " " + text(o.error->localizedDescription());
}

std::string write(NSObject* v, PBL_PJSON* writer = nullptr, bool fragment = false) {
    Ref<PBL_PJSON> w = writer ? Ref<PBL_PJSON>(writer) : make<PBL_PJSON>();
    Ref<NSError> error;
    auto s = fragment ? w->stringWithFragment(v, &error) : w->stringWithObject(v, &error);
    if (!s)
        return "error " + std::to_string(error->code()) + " " + text(error->localizedDescription());
    return text(s);
}

TEST(PBL_PJSONTest, ParsesValuesAndOptionalSeparators) {
    auto o =
        parse("[1 2, -0.5e2, \"a\\u00e9\\ud83d\\ude00\\/\", true, false, null, {\"k\":1 \"j\":2}]");
    ASSERT_TRUE(o.value) << text(o.error->localizedDescription());
    auto a = cast<NSArray>(o.value);
    ASSERT_EQ(a->count(), 8u);
    EXPECT_TRUE(is<NSDecimalNumber>(a->objectAtIndex(0)));
    EXPECT_EQ(cast<NSNumber>(a->objectAtIndex(2))->doubleValue(), -50.0);
    EXPECT_EQ(text(a->objectAtIndex(3)), "a\u00e9\U0001F600/");
    EXPECT_TRUE(cast<NSNumber>(a->objectAtIndex(4))->boolValue());
    EXPECT_TRUE(is<NSNull>(a->objectAtIndex(6)));
    EXPECT_EQ(cast<NSDictionary>(a->objectAtIndex(7))->count(), 2u);
    auto dup = parse("{\"k\":1,\"k\":2}");
    EXPECT_EQ(cast<NSNumber>(cast<NSDictionary>(dup.value)->objectForKey(NS("k")))->intValue(), 2);
    // Literals are matched without looking past them.
    EXPECT_EQ(failure("[truex]"), "3 Expected value while parsing array");
    EXPECT_EQ(failure("[true1]"), "accepted");
}

TEST(PBL_PJSONTest, ErrorsWithCodesAndTheirCause) {
    EXPECT_EQ(failure("[1,]"), "9 Trailing comma disallowed in array");
    EXPECT_EQ(failure("{\"a\":1,}"), "9 Trailing comma disallowed in object");
    EXPECT_EQ(failure("{}x"), "10 Garbage after JSON");
    EXPECT_EQ(failure("\"s\""), "4 Valid fragment, but not JSON");
    EXPECT_EQ(failure("\"s\"", true), "accepted");
    EXPECT_EQ(failure("+1", true), "2 Leading + disallowed in number");
    EXPECT_EQ(failure("01", true), "2 Leading 0 disallowed in number");
    EXPECT_EQ(failure("-", true), "2 No digits after initial minus");
    EXPECT_EQ(failure("1.", true), "2 No digits after decimal point");
    EXPECT_EQ(failure("1e+", true), "2 No digits after exponent");
    // Beyond the decimal type: refused, not read as NaN.
    EXPECT_EQ(failure("1e400", true), "2 Failed creating decimal instance");
    EXPECT_EQ(failure("", true), "11 Unexpected end of string");
    EXPECT_EQ(failure("[", true), "11 End of input while parsing array");
    EXPECT_EQ(failure("{", true), "11 End of input while parsing object");
    EXPECT_EQ(failure("\"ab", true), "11 Unexpected EOF while parsing string");
    EXPECT_EQ(failure("\"a\x1f\"", true), "5 Unescaped control character '0x1f'");
    EXPECT_EQ(failure("\"\\q\"", true), "8 Illegal escape sequence '0x71'");
    EXPECT_EQ(failure("nul", true), "3 Expected 'null'");
    EXPECT_EQ(failure("@", true), "3 Unrecognised leading character");
    EXPECT_EQ(failure("{1:2}"), "3 Object key string expected");
    EXPECT_EQ(failure("{\"a\" 2}"), "3 Expected ':' separating key and value");

    // One error, the inner cause beneath it.
    auto o = parse("{\"k\": [\"\\ud800x\"]}");
    ASSERT_TRUE(o.error);
    EXPECT_EQ(text(o.error->localizedDescription()), "Object value expected for key: k");
    auto inner = cast<NSError>(o.error->userInfo()->objectForKey(NSUnderlyingErrorKey));
    ASSERT_TRUE(inner);
    EXPECT_EQ(text(inner->localizedDescription()), "Expected value while parsing array");
    auto broken = cast<NSError>(inner->userInfo()->objectForKey(NSUnderlyingErrorKey));
    EXPECT_EQ(text(broken->localizedDescription()), "Broken unicode character");
    auto root = cast<NSError>(broken->userInfo()->objectForKey(NSUnderlyingErrorKey));
    EXPECT_EQ(text(root->localizedDescription()), "Missing low character in surrogate pair");
    EXPECT_EQ(failure("\"\\udc00\"", true), "6 Broken unicode character");
    EXPECT_EQ(failure("\"\\ud800\\u0041\"", true), "6 Broken unicode character");

    Ref<NSError> nilError;
    EXPECT_FALSE(make<PBL_PJSON>()->objectWithString(nullptr, &nilError));
    EXPECT_EQ(nilError->code(), 12);
}

TEST(PBL_PJSONTest, NestingLimit) {
    auto parser = make<PBL_PJSON>();
    parser->setMaxDepth(2);
    Ref<NSError> error;
    EXPECT_TRUE(parser->objectWithString(NS("[[1]]"), &error));
    EXPECT_FALSE(parser->objectWithString(NS("[[[1]]]"), &error));
    EXPECT_EQ(error->code(), 3);  // the array's error on top of the cause
    std::string deep(600, '[');
    EXPECT_EQ(failure(deep.c_str()).substr(0, 2), "3 ");

    // A cyclic value stops at the limit instead of recursing without end.
    auto cyclic = NSMutableArray::array();
    cyclic->addObject(cyclic);
    EXPECT_EQ(write(cyclic), "error 7 Nested too deep");
    cyclic->removeAllObjects();
}

TEST(PBL_PJSONTest, Writing) {
    EXPECT_EQ(write(NSArray::arrayWithObjects(
                  {NSNumber::numberWithBool(true), NSNumber::numberWithChar(1),
                   NSNumber::numberWithInt(12), NSNull::null(), NS("a/\u00e9\x1f\n\"\\")})),
              "[true,true,12,null,\"a/\u00e9\\u001f\\n\\\"\\\\\"]");
    EXPECT_EQ(write(NS("bare")), "error 4 Not valid type for JSON");
    EXPECT_EQ(write(NSArray::arrayWithObject(NSDecimalNumber::notANumber())).substr(0, 8),
              "error 1 ");
    EXPECT_EQ(write(NSArray::arrayWithObject(NSNumber::numberWithDouble(INFINITY))).substr(0, 8),
              "error 1 ");
    EXPECT_EQ(write(NS("bare"), nullptr, true), "\"bare\"");
    EXPECT_EQ(write(NSDictionary::dictionaryWithObject(NS("v"), NSNumber::numberWithInt(1))),
              "error 1 JSON object key must be string");
    auto date = NSDate::dateWithTimeIntervalSinceReferenceDate(0);
    EXPECT_EQ(write(NSArray::arrayWithObject(date)), "[\"" + text(date->description()) + "\"]");

    auto pretty = make<PBL_PJSON>();
    pretty->setHumanReadable(true);
    pretty->setSortKeys(true);
    EXPECT_EQ(write(NSDictionary::dictionary(), pretty), "{}");
    auto d = NSDictionary::dictionaryWithObjectsAndKeys(
        {NSArray::arrayWithObjects({NSNumber::numberWithInt(1)}), NS("b"), NS("x"), NS("a")});
    EXPECT_EQ(write(d, pretty), "{\n  \"a\" : \"x\",\n  \"b\" : [\n    1\n  ]\n}");
}

TEST(PBL_PJSONTest, WrittenValuesReadBackEqual) {
    for (const char* json :
         {"[1e30, -0, 123456789012345678901234567890, 1.5E-7]",
          "{\"a\\u0000\":[\"\\ud83d\\ude00\", null, true, {}]}", "[[], {\"k\":{\"k\":[false]}}]"}) {
        SCOPED_TRACE(json);
        auto first = parse(json);
        ASSERT_TRUE(first.value);
        auto written = write(first.value);
        auto again = parse(written.c_str());
        ASSERT_TRUE(again.value) << written;
        EXPECT_TRUE(again.value->isEqual(first.value)) << written;
    }
}

TEST(PBL_PJSONTest, OneErrorKeepsOnlyInnerStepFailures) {
    // "Missing hex quad" replaces the digit's error; the unicode error keeps it beneath.
    auto o = parse("[\"\\uzz\"]");
    ASSERT_TRUE(o.error);
    std::vector<std::string> chain;
    for (Ref<NSError> e = o.error; e;
         e = cast<NSError>(e->userInfo()->objectForKey(NSUnderlyingErrorKey))) {
        EXPECT_EQ(text(e->domain()), text(PJSONErrorDomain));
        chain.push_back(std::to_string(e->code()) + " " + text(e->localizedDescription()));
    }
    EXPECT_EQ(chain,
              (std::vector<std::string>{"3 Expected value while parsing array",
                                        "6 Broken unicode character", "6 Missing hex quad"}));
    // An error of the value itself stands alone.
    auto plain = parse("[1,]");
    EXPECT_FALSE(plain.error->userInfo()->objectForKey(NSUnderlyingErrorKey));
    // A failing value of a key: the key's error replaces the value's.
    Ref<NSError> error;
    auto d = NSDictionary::dictionaryWithObject(
        NSDictionary::dictionaryWithObject(NS("v"), NSNumber::numberWithInt(1)), NS("k"));
    EXPECT_FALSE(make<PBL_PJSON>()->stringWithObject(d, &error));
    EXPECT_EQ(text(error->localizedDescription()), "Unsupported value for key k in object");
    EXPECT_FALSE(error->userInfo()->objectForKey(NSUnderlyingErrorKey));
    // 512 nested arrays are read, the 513th is one too deep.
    std::string deep(512, '[');
    deep += std::string(512, ']');
    EXPECT_EQ(failure(deep.c_str()), "accepted");
    EXPECT_EQ(failure(("[" + deep + "]").c_str()), "3 Expected value while parsing array");
}

TEST(PBL_PJSONTest, OtherObjectsAsTheirStringValue) {
    // No proxy step: the string value, else the description.
    auto price = make<Price>();
    EXPECT_EQ(write(NSArray::arrayWithObject(price)), "[\"12.50 EUR\"]");
    EXPECT_EQ(write(price, nullptr, true), "\"12.50 EUR\"");
    EXPECT_EQ(write(price), "error 4 Not valid type for JSON");
}

TEST(PBL_PJSONTest, JsonifyForTheAdPage) {
    EXPECT_EQ(PBLMacros::jsonify(nullptr).get(), nullptr);
    EXPECT_EQ(text(PBLMacros::jsonify(NSDictionary::dictionaryWithObject(NS("v"), NS("k")))),
              "{\"k\":\"v\"}");
    EXPECT_EQ(text(PBLMacros::jsonify(NS("bare"))), "");
}

}  // namespace
