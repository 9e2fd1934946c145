#include "ads/pjson/PJsonWriter.h"

#include <gtest/gtest.h>

#include <cmath>

#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDecimalNumber.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "ads/pjson/PJSON.h"
#include "support/FoundationTesting.h"

namespace {

// An object that stands for a JSON value through "proxyForJson".
class Listing : public NSObject {
    NS_OBJECT(Listing, NSObject)
    static void describeClass(RuntimeClass& c) { c.method("proxyForJson", &Listing::proxyForJson); }
    Ref<NSObject> proxyForJson() {
        if (selfProxy) return Ref<NSObject>(this);
        return NSDictionary::dictionaryWithObject(NS("Bike"), NS("title"));
    }
    bool selfProxy = false;
};

// The text, or "error <code> <description>" of the writer's outermost error.
std::string written(PJsonWriter* writer, NSObject* value, bool fragment = false) {
    auto s = fragment ? writer->stringWithFragment(value) : writer->stringWithObject(value);
    if (s) return text(s);
    auto trace = writer->errorTrace();
    if (!trace) return "failed without error";
    auto e = cast<NSError>(trace->lastObject());
    return "error " + std::to_string(e->code()) + " " + text(e->localizedDescription());
}

std::string written(NSObject* value, bool fragment = false) {
    return written(make<PJsonWriter>(), value, fragment);
}

Ref<NSNumber> num(int v) {
    return NSNumber::numberWithInt(v);
}

TEST(PJsonWriterTest, KindsOfValues) {
    EXPECT_EQ(written(NSArray::arrayWithObjects(
                  {NSNumber::numberWithBool(true), NSNumber::numberWithBool(false),
                   NSNumber::numberWithChar(1), NSNumber::numberWithChar(0), num(-12),
                   NSNumber::numberWithDouble(0.5),
                   NSDecimalNumber::decimalNumberWithMantissa(15, -1, true), NSNull::null()})),
              "[true,false,true,false,-12,0.5,-1.5,null]");
    EXPECT_EQ(written(NSDictionary::dictionary()), "{}");
    EXPECT_EQ(written(NSArray::array()), "[]");
    // Scalars only as fragments.
    EXPECT_EQ(written(NS("bare")), "error 4 Not valid type for JSON");
    EXPECT_EQ(written(num(3)), "error 4 Not valid type for JSON");
    EXPECT_EQ(written(NS("bare"), true), "\"bare\"");
    EXPECT_EQ(written(num(3), true), "3");
    EXPECT_EQ(written(NSNull::null(), true), "null");
    // No JSON form: NaN, the infinities, and objects without a proxy.
    EXPECT_EQ(written(NSArray::arrayWithObject(NSNumber::numberWithDouble(NAN))).substr(0, 8),
              "error 1 ");
    EXPECT_EQ(written(NSArray::arrayWithObject(NSDecimalNumber::notANumber())).substr(0, 8),
              "error 1 ");
    EXPECT_EQ(written(NSArray::arrayWithObject(NSDate::dateWithTimeIntervalSinceReferenceDate(0))),
              "error 1 JSON serialisation not supported for NSDate");
}

TEST(PJsonWriterTest, StringsEscapeOnlyWhatTheyMust) {
    EXPECT_EQ(written(NS("line\nctl\x01 quote\" back\\ tab\t cr\r bs\b ff\f us\x1f"), true),
              "\"line\\nctl\\u0001 quote\\\" back\\\\ tab\\t cr\\r bs\\b ff\\f us\\u001f\"");
    // The solidus and non-ASCII characters are written as they are.
    EXPECT_EQ(written(str("a/b caf\u00e9 \U0001F600"), true), "\"a/b caf\u00e9 \U0001F600\"");
    const char16_t nul[] = {u'a', 0, u'b'};
    EXPECT_EQ(written(NSString::stringWithCharacters(nul, 3), true), "\"a\\u0000b\"");
}

TEST(PJsonWriterTest, SortedAndHumanReadable) {
    auto d = NSDictionary::dictionaryWithObjectsAndKeys(
        {num(1), NS("b"),
         NSArray::arrayWithObjects({NSNumber::numberWithBool(true), NSNull::null()}), NS("a")});
    auto writer = make<PJsonWriter>();
    EXPECT_EQ(written(writer, d), "{\"b\":1,\"a\":[true,null]}");
    writer->setSortKeys(true);
    EXPECT_EQ(written(writer, d), "{\"a\":[true,null],\"b\":1}");
    writer->setHumanReadable(true);
    EXPECT_EQ(written(writer, d), "{\n  \"a\" : [\n    true,\n    null\n  ],\n  \"b\" : 1\n}");
    auto empties = NSArray::arrayWithObjects({NSDictionary::dictionary(), NSArray::array()});
    EXPECT_EQ(written(writer, empties), "[\n  {},\n  []\n]");
}

TEST(PJsonWriterTest, FailuresAndTheirTrace) {
    auto writer = make<PJsonWriter>();
    EXPECT_EQ(written(writer, NSDictionary::dictionaryWithObject(NS("v"), num(1))),
              "error 1 JSON object key must be string");
    auto inner = NSDictionary::dictionaryWithObject(
        NSArray::arrayWithObject(NSDate::dateWithTimeIntervalSinceReferenceDate(0)), NS("when"));
    EXPECT_EQ(written(writer, inner), "error 1 Unsupported value for key when in object");
    auto trace = writer->errorTrace();
    ASSERT_EQ(trace->count(), 2u);
    EXPECT_EQ(text(cast<NSError>(trace->objectAtIndex(0))->localizedDescription()),
              "JSON serialisation not supported for NSDate");
    // A failing array element adds nothing of the array's own.
    EXPECT_EQ(written(writer, NSArray::arrayWithObject(inner)),
              "error 1 Unsupported value for key when in object");
    EXPECT_EQ(writer->errorTrace()->count(), 2u);
    // A success clears the trace.
    EXPECT_EQ(written(writer, NSArray::array()), "[]");
    EXPECT_FALSE(writer->errorTrace());
}

TEST(PJsonWriterTest, DepthLimitStopsDeepAndCyclicValues) {
    Ref<NSObject> deep = NSArray::array();
    for (int i = 1; i < 512; ++i)
        deep = NSArray::arrayWithObject(deep);
    auto writer = make<PJsonWriter>();
    EXPECT_EQ(written(writer, deep).size(), 1024u);
    EXPECT_EQ(written(writer, NSArray::arrayWithObject(deep)), "error 7 Nested too deep");
    writer->setMaxDepth(0);
    EXPECT_EQ(written(writer, NSArray::arrayWithObject(deep)).size(), 1026u);
    writer->setMaxDepth(512);
    auto cyclic = NSMutableArray::array();
    cyclic->addObject(cyclic);
    EXPECT_EQ(written(writer, cyclic), "error 7 Nested too deep");
    cyclic->removeAllObjects();
}

TEST(PJsonWriterTest, ProxiesStandForTheirValue) {
    auto listing = make<Listing>();
    EXPECT_EQ(written(listing), "{\"title\":\"Bike\"}");
    EXPECT_EQ(written(NSArray::arrayWithObject(listing)), "[{\"title\":\"Bike\"}]");
    // A proxy that answers itself ends at the limits instead of recursing.
    listing->selfProxy = true;
    EXPECT_EQ(written(listing), "error 4 Not valid type for JSON");
    EXPECT_EQ(written(NSArray::arrayWithObject(listing)), "error 7 Nested too deep");
}

TEST(PJsonWrapperTest, ParserAndWriterBehindOneObject) {
    auto json = make<PJSON>();
    EXPECT_EQ(json->maxDepth(), 512u);
    Ref<NSError> error;
    auto value = json->objectWithString(NS("{\"b\":[1 2],\"a\":\"x\"}"), &error);
    ASSERT_TRUE(value);
    EXPECT_FALSE(error);
    EXPECT_FALSE(json->fragmentWithString(NS("[1,]"), &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 9);
    EXPECT_EQ(json->errorTrace()->count(), 1u);
    EXPECT_FALSE(json->objectWithString(NS("7"), &error));
    EXPECT_EQ(text(error->localizedDescription()), "Valid fragment, but not JSON");
    EXPECT_TRUE(json->objectWithString(NS("7"), true, &error));
    EXPECT_FALSE(json->objectWithString(NS("[\"\\udd1e\"]")));
    EXPECT_EQ(json->errorTrace()->count(), 3u);

    json->setSortKeys(true);
    json->setHumanReadable(true);
    EXPECT_TRUE(json->sortKeys());
    EXPECT_TRUE(json->humanReadable());
    EXPECT_EQ(text(json->stringWithObject(value, &error)),
              "{\n  \"a\" : \"x\",\n  \"b\" : [\n    1,\n    2\n  ]\n}");
    EXPECT_FALSE(json->stringWithObject(NS("s"), &error));
    EXPECT_EQ(error->code(), 4);
    EXPECT_EQ(text(json->stringWithFragment(NS("s"), &error)), "\"s\"");
    EXPECT_EQ(text(json->stringWithObject(NS("s"), true, nullptr)), "\"s\"");
    EXPECT_FALSE(json->stringWithObject(NS("s")));
    EXPECT_EQ(json->errorTrace()->count(), 1u);

    json->setMaxDepth(1);
    EXPECT_EQ(json->maxDepth(), 1u);
    EXPECT_FALSE(json->objectWithString(NS("[[]]"), &error));
    EXPECT_FALSE(json->stringWithObject(NSArray::arrayWithObject(NSArray::array()), &error));
    EXPECT_EQ(error->code(), 7);
}

TEST(PJsonWrapperTest, OneCallHelpers) {
    EXPECT_EQ(text(JSONRepresentation(NSArray::arrayWithObject(NS("a")))), "[\"a\"]");
    EXPECT_FALSE(JSONRepresentation(NS("a")));
    EXPECT_EQ(text(JSONFragment(NS("a"))), "\"a\"");
    EXPECT_FALSE(JSONFragment(NSDate::dateWithTimeIntervalSinceReferenceDate(0)));
    auto value = JSONValue(NS("{\"k\":[true]}"));
    ASSERT_TRUE(is<NSDictionary>(value));
    EXPECT_FALSE(JSONValue(NS("true")));
    EXPECT_FALSE(JSONValue(nullptr));
    EXPECT_TRUE(cast<NSNumber>(JSONFragmentValue(NS("true")))->boolValue());
    // What one writes, the other reads back equal.
    EXPECT_TRUE(JSONValue(JSONRepresentation(value))->isEqual(value));
}

}  // namespace
