#include "json/ZJSONSerializer.h"

#include <gtest/gtest.h>

#include <cmath>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "json/ZJSONDeserializer.h"
#include "support/FoundationTesting.h"

namespace {

std::string json(NSObject* o) {
    return text(ZJSONSerializer::serializer()->serializeObject(o));
}

std::string reasonOf(NSObject* o) {
    auto e = raisedBy([&] { json(o); });
    if (!e) return "";
    EXPECT_EQ(text(e->name()), "NSGenericException");
    return text(e->reason());
}

TEST(ZJSONSerializerTest, ContainersAndScalars) {
    EXPECT_EQ(json(NSArray::array()), "[]");
    EXPECT_EQ(json(NSDictionary::dictionary()), "{}");
    auto d = NSDictionary::dictionaryWithPairs(
        {{NS("z"), NSNumber::numberWithInt(1)},
         {NS("a"), NSArray::arrayWithObjects({NSNull::null(), NSNumber::numberWithBool(true),
                                              NSNumber::numberWithBool(false)})},
         {NS("f"), NSNumber::numberWithDouble(2.5)}});
    EXPECT_EQ(json(d), "{\"z\":1,\"a\":[null,true,false],\"f\":2.5}");
    // The one-byte type is where booleans live: 0 and 1 stored there read as booleans.
    EXPECT_EQ(json(NSNumber::numberWithChar(1)), "true");
    EXPECT_EQ(json(NSNumber::numberWithChar(2)), "2");
    EXPECT_EQ(json(NSNumber::numberWithInt(1)), "1");
    EXPECT_EQ(json(NSNumber::numberWithDouble(1e20)), "1e20");  // readable back: no plus sign
    EXPECT_EQ(json(NSNumber::numberWithDouble(-1.5e-7)), "-1.5e-07");
    EXPECT_EQ(text(ZJSONSerializer::serializer()->serializeArray(
                  NSArray::arrayWithObject(NSNumber::numberWithLongLong(-7)))),
              "[-7]");
}

TEST(ZJSONSerializerTest, StringEscapes) {
    EXPECT_EQ(json(str("a/b\"\n")), "\"a\\/b\\\"\\n\"");
    EXPECT_EQ(json(str("\\\b\f\r\t")), "\"\\\\\\b\\f\\r\\t\"");
    // Other control characters are not allowed raw inside JSON strings.
    EXPECT_EQ(json(str(std::string("\x01\x1F\0", 3))), "\"\\u0001\\u001F\\u0000\"");
    EXPECT_EQ(json(str("caf\xC3\xA9 \xF0\x9F\x98\x80")), "\"caf\xC3\xA9 \xF0\x9F\x98\x80\"");
    // A lone surrogate, as the reader makes from "\uD800", is written back as that escape.
    const char16_t lone[] = {u'x', 0xD800};
    EXPECT_EQ(json(NSString::stringWithCharacters(lone, 2)), "\"x\\uD800\"");
    auto utf8 = NSData::dataWithBytes("h\xC3\xA9", 3);
    EXPECT_EQ(json(utf8), "\"h\xC3\xA9\"");
}

TEST(ZJSONSerializerTest, SerializedJSONIsCopiedAsItStands) {
    auto raw = make<CSerializedJSONData>(&CSerializedJSONData::initWithData,
                                         NSData::dataWithBytes("{ \"x\" : 1 }", 11));
    EXPECT_EQ(json(NSArray::arrayWithObjects({raw, NSNumber::numberWithInt(2)})),
              "[{ \"x\" : 1 },2]");
}

TEST(ZJSONSerializerTest, RefusesWhatJSONCannotHold) {
    EXPECT_EQ(reasonOf(NSDate::date()), "Cannot serialize data of type 'NSDate'");
    auto badKey = NSDictionary::dictionaryWithObject(NS("v"), NSNumber::numberWithInt(1));
    EXPECT_EQ(reasonOf(badKey), "Cannot serialize data of type 'NSNumber'");
    EXPECT_EQ(reasonOf(NSNumber::numberWithDouble(NAN)), "Could not serialize object 'nan'");
    EXPECT_EQ(reasonOf(NSArray::arrayWithObject(NSNumber::numberWithDouble(-INFINITY))),
              "Could not serialize object '-inf'");
    EXPECT_EQ(reasonOf(NSData::dataWithBytes("\xFF", 1)), "Could not serialize object '<ff>'");

    // A graph that contains itself is refused rather than followed for ever.
    auto loop = NSMutableArray::array();
    loop->addObject(loop);
    EXPECT_NE(reasonOf(loop).find("nested more than"), std::string::npos);
    loop->removeAllObjects();  // break the cycle so that it can be freed
}

TEST(ZJSONSerializerTest, RoundTripsThroughTheReader) {
    auto source = str("{\"s\":\"a\\\"b\\\\c\\/\\u0007\\uD800\",\"n\":[-0.5,1e20,true,null,{}]}");
    auto data = source->dataUsingEncoding(NSUTF8StringEncoding);
    auto object = ZJSONDeserializer::deserializer()->deserialize(data, nullptr);
    ASSERT_TRUE(object);
    auto written = ZJSONDataSerializer::serializer()->serializeObject(object);
    auto again = ZJSONDeserializer::deserializer()->deserialize(written, nullptr);
    EXPECT_TRUE(objectsEqual(object, again));
    EXPECT_EQ(text(ZJSONSerializer::serializer()->serializeObject(again)),
              "{\"s\":\"a\\\"b\\\\c\\/\\u0007\\uD800\",\"n\":[-0.5,1e20,true,null,{}]}");
}

}  // namespace
