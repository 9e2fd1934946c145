#include <gtest/gtest.h>

#include "support/FoundationTesting.h"

#include <cmath>
#include <filesystem>
#include <string>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSPropertyList.h"

namespace {

Ref<NSData> bytes(std::string_view s) {
    return NSData::dataWithBytes(s.data(), static_cast<NSUInteger>(s.size()));
}

std::string xml(NSObject* plist) {
    Ref<NSError> error;
    auto data = NSPropertyListSerialization::dataWithPropertyList(
        plist, NSPropertyListXMLFormat_v1_0, 0, &error);
    return data ? std::string(data->view()) : "error " + std::to_string(error->code());
}

Ref<NSObject> read(std::string_view doc, NSPropertyListFormat* format = nullptr,
                   NSPropertyListReadOptions options = NSPropertyListImmutable) {
    return NSPropertyListSerialization::propertyListWithData(bytes(doc), options, format, nullptr);
}

NSInteger readErrorCode(std::string_view doc) {
    Ref<NSError> error;
    auto plist = NSPropertyListSerialization::propertyListWithData(bytes(doc), 0, nullptr, &error);
    if (plist) return 0;
    EXPECT_EQ(text(error->domain()), "NSCocoaErrorDomain");
    return error->code();
}

const char* kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<plist version=\"1.0\">\n";

TEST(NSPropertyList, WritesThePlatformDocumentForm) {
    auto plist = NSDictionary::dictionaryWithPairs({
        {NS("name"), NS("Bike & <Helmet>")},
        {NS("count"), NSNumber::numberWithInt(-3)},
        {NS("price"), NSNumber::numberWithDouble(0.1)},
        {NS("sold"), NSNumber::numberWithBool(true)},
        {NS("when"), NSDate::dateWithTimeIntervalSinceReferenceDate(kManualClockDefaultStart)},
        {NS("tags"), NSArray::arrayWithObjects({NS("a"), NSArray::array()})},
        {NS("blob"), bytes("Hello")},
        {NS("empty"), NSDictionary::dictionary()},
    });
    EXPECT_EQ(xml(plist), std::string(kHead) +
                              "<dict>\n"
                              "\t<key>name</key>\n"
                              "\t<string>Bike &amp; &lt;Helmet&gt;</string>\n"
                              "\t<key>count</key>\n"
                              "\t<integer>-3</integer>\n"
                              "\t<key>price</key>\n"
                              "\t<real>0.1</real>\n"
                              "\t<key>sold</key>\n"
                              "\t<true/>\n"
                              "\t<key>when</key>\n"
                              "\t<date>2012-03-01T12:00:00Z</date>\n"
                              "\t<key>tags</key>\n"
                              "\t<array>\n"
                              "\t\t<string>a</string>\n"
                              "\t\t<array/>\n"
                              "\t</array>\n"
                              "\t<key>blob</key>\n"
                              "\t<data>\n"
                              "\tSGVsbG8=\n"
                              "\t</data>\n"
                              "\t<key>empty</key>\n"
                              "\t<dict/>\n"
                              "</dict>\n"
                              "</plist>\n");
    EXPECT_EQ(xml(NS("top")), std::string(kHead) + "<string>top</string>\n</plist>\n");
}

TEST(NSPropertyList, EveryKindRoundTrips) {
    auto inner = NSDictionary::dictionaryWithPairs({
        {NS("unicode"), str("h\xC3\xA9llo \xE2\x82\xAC \xF0\x9F\x98\x80")},
        {NS("spaces"), str("  two\n lines\t ")},
        {NS("min"), NSNumber::numberWithLongLong(INT64_MIN)},
        {NS("max"), NSNumber::numberWithUnsignedLongLong(UINT64_MAX)},
        {NS("big"), NSNumber::numberWithDouble(1e300)},
        {NS("third"), NSNumber::numberWithDouble(1.0 / 3)},
        {NS("no"), NSNumber::numberWithBool(false)},
        {NS("zero"), NSNumber::numberWithInt(0)},
        {NS("past"), NSDate::dateWithTimeIntervalSince1970(-86400 * 365.0)},
        {NS("bin"), bytes(std::string("\x00\xff\x10", 3))},
        {str("k\xC3\xA9y <&>"), NSArray::arrayWithObjects({NS(""), NSDictionary::dictionary()})},
    });
    auto plist = NSArray::arrayWithObjects({inner, NS("last")});
    NSPropertyListFormat format = 0;
    auto back = read(xml(plist), &format);
    EXPECT_EQ(format, NSPropertyListXMLFormat_v1_0);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->isEqual(plist)) << text(back);
    auto d = as<NSDictionary>(as<NSArray>(back)->objectAtIndex(0));
    EXPECT_TRUE(as<NSNumber>(d->objectForKey(NS("no")))->isBoolean());
    EXPECT_FALSE(as<NSNumber>(d->objectForKey(NS("zero")))->isBoolean());
    EXPECT_EQ(as<NSNumber>(d->objectForKey(NS("third")))->doubleValue(), 1.0 / 3);
    EXPECT_EQ(as<NSNumber>(d->objectForKey(NS("max")))->unsignedLongLongValue(), UINT64_MAX);
    // Keys keep their order through a round trip.
    EXPECT_EQ(text(d->allKeys()->objectAtIndex(10)), "k\xC3\xA9y <&>");
}

TEST(NSPropertyList, ReadsEntitiesCommentsAndCDATA) {
    auto plist = read(
        "<?xml version=\"1.0\"?><!-- c --><plist version=\"1.0\"><dict>"
        "<key>a</key><string>&#x20AC;&#65;&quot;&apos;<![CDATA[<raw>&]]></string>"
        "<key>b</key><string/><key>n</key><integer> 0x1F </integer>"
        "<key>r</key><real>-infinity</real><key>t</key><true></true>"
        "</dict></plist>");
    auto d = as<NSDictionary>(plist);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(text(d->objectForKey(NS("a"))),
              "\xE2\x82\xAC"
              "A\"'<raw>&");
    EXPECT_EQ(text(d->objectForKey(NS("b"))), "");
    EXPECT_EQ(as<NSNumber>(d->objectForKey(NS("n")))->intValue(), 31);
    EXPECT_TRUE(std::isinf(as<NSNumber>(d->objectForKey(NS("r")))->doubleValue()));
    EXPECT_TRUE(as<NSNumber>(d->objectForKey(NS("t")))->boolValue());
    // A document without the plist element is read too.
    EXPECT_EQ(text(read("<array><integer>1</integer></array>")), "(\n    1\n)");
}

TEST(NSPropertyList, MalformedInputIsAnError) {
    std::string good = xml(NSDictionary::dictionaryWithObject(NS("v"), NS("k")));
    for (size_t cut : {size_t(10), good.size() / 2, good.size() - 12}) {
        EXPECT_EQ(readErrorCode(good.substr(0, cut)), NSPropertyListReadCorruptError) << cut;
    }
    const char* bad[] = {
        "",
        "   \n",
        "<plist><dict><key>a</key></dict></plist>",        // a key without a value
        "<plist><dict><string>a</string></dict></plist>",  // a value without a key
        "<plist><array><string>a</array></plist>",         // wrong closing tag
        "<plist><foo/></plist>",                           // unknown element
        "<plist><integer>99999999999999999999999</integer></plist>",
        "<plist><integer>-9223372036854775809</integer></plist>",
        "<plist><integer>12abc</integer></plist>",
        "<plist><real>1.2.3</real></plist>",
        "<plist><date>2012-13-01T00:00:00Z</date></plist>",
        "<plist><data>!!!</data></plist>",
        "<plist><string>&bogus;</string></plist>",
        "<plist><string>a</string><string>b</string></plist>",
        "<plist><string><b>x</b></string></plist>",
        "bplist00\x01\x02",
        "( a, b",
        "{ a = b }",
        "\"unterminated",
        "<0a1>",
    };
    for (const char* doc : bad) {
        EXPECT_EQ(readErrorCode(doc), NSPropertyListReadCorruptError) << doc;
    }
    // Deep nesting is refused rather than overflowing the stack.
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<array>";
    EXPECT_EQ(readErrorCode(deep), NSPropertyListReadCorruptError);
    EXPECT_EQ(readErrorCode(std::string(50000, '(')), NSPropertyListReadCorruptError);
}

TEST(NSPropertyList, NonPropertyListValuesAreRefused) {
    Ref<NSError> error;
    auto withNull = NSArray::arrayWithObjects({NS("ok"), NSNull::null()});
    EXPECT_EQ(NSPropertyListSerialization::dataWithPropertyList(
                  withNull, NSPropertyListXMLFormat_v1_0, 0, &error),
              nullptr);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->code(), 3851);
    EXPECT_FALSE(NSPropertyListSerialization::propertyList(withNull, NSPropertyListXMLFormat_v1_0));

    auto numberKey = NSDictionary::dictionaryWithObject(NS("v"), NSNumber::numberWithInt(1));
    EXPECT_EQ(xml(numberKey), "error 3851");
    EXPECT_EQ(xml(nullptr), "error 3851");
    // Only the XML form is written.
    EXPECT_EQ(NSPropertyListSerialization::dataWithPropertyList(
                  NS("x"), NSPropertyListBinaryFormat_v1_0, 0, nullptr),
              nullptr);
    EXPECT_TRUE(NSPropertyListSerialization::propertyList(NS("x"), NSPropertyListOpenStepFormat));
    EXPECT_FALSE(NSPropertyListSerialization::propertyList(NSNumber::numberWithInt(1),
                                                           NSPropertyListOpenStepFormat));
}

TEST(NSPropertyList, ReadsTheOldStyleTextForm) {
    NSPropertyListFormat format = 0;
    auto plist = read(
        "// a comment\n"
        "{ plain = word_1.2;  /* block */ \"quoted key\" = \"a \\\"b\\\"\\n\\U20ac\\101\";\n"
        "  list = ( one, \"two\", ( ), ); hex = <0a0B ff>; nested = { k = v; }; }",
        &format);
    EXPECT_EQ(format, NSPropertyListOpenStepFormat);
    auto d = as<NSDictionary>(plist);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(text(d->objectForKey(NS("plain"))), "word_1.2");
    EXPECT_EQ(text(d->objectForKey(NS("quoted key"))),
              "a \"b\"\n\xE2\x82\xAC"
              "A");
    EXPECT_EQ(as<NSArray>(d->objectForKey(NS("list")))->count(), 3u);
    EXPECT_EQ(as<NSData>(d->objectForKey(NS("hex")))->view(), "\x0a\x0b\xff");
    EXPECT_EQ(text(as<NSDictionary>(d->objectForKey(NS("nested")))->objectForKey(NS("k"))), "v");
}

TEST(NSPropertyList, ReadsStringTablesInUTF8AndUTF16) {
    const char16_t table[] = u"/* greeting */\n\"Hello\" = \"Bonjour \u00e9\";\n\"Same\";\n";
    std::string le = "\xFF\xFE";
    for (const char16_t* p = table; *p; ++p) {
        le += static_cast<char>(*p & 0xFF);
        le += static_cast<char>(*p >> 8);
    }
    for (const std::string& doc :
         {le, std::string("\xEF\xBB\xBF") + NSString::fromUTF16(table)->utf8()}) {
        auto d = as<NSDictionary>(read(doc));
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(text(d->objectForKey(NS("Hello"))), "Bonjour \xC3\xA9");
        EXPECT_EQ(text(d->objectForKey(NS("Same"))), "Same");
    }
    EXPECT_EQ(as<NSDictionary>(read("/* nothing but a comment */"))->count(), 0u);
}

TEST(NSPropertyList, MutabilityOptions) {
    std::string doc = xml(NSArray::arrayWithObjects({NS("s"), NSDictionary::dictionary()}));
    auto fixed = read(doc);
    EXPECT_FALSE(is<NSMutableArray>(fixed));
    auto containers = as<NSArray>(read(doc, nullptr, NSPropertyListMutableContainers));
    EXPECT_TRUE(is<NSMutableArray>(containers));
    EXPECT_TRUE(is<NSMutableDictionary>(containers->objectAtIndex(1)));
    EXPECT_FALSE(is<NSMutableString>(containers->objectAtIndex(0)));
    auto leaves = as<NSArray>(read(doc, nullptr, NSPropertyListMutableContainersAndLeaves));
    EXPECT_TRUE(is<NSMutableString>(leaves->objectAtIndex(0)));
}

TEST(NSPropertyList, CollectionsReadAndWriteFiles) {
    std::string p = NSTemporaryDirectory()->utf8() + "collection.plist";
    auto dict = NSDictionary::dictionaryWithPairs(
        {{NS("list"), NSArray::arrayWithObject(NS("x"))}, {NS("n"), NSNumber::numberWithInt(7)}});
    ASSERT_TRUE(dict->writeToFile(str(p), true));
    EXPECT_TRUE(NSDictionary::dictionaryWithContentsOfFile(str(p))->isEqual(dict));
    auto mutableDict = NSMutableDictionary::dictionaryWithContentsOfFile(str(p));
    ASSERT_TRUE(is<NSMutableDictionary>(mutableDict));
    EXPECT_TRUE(is<NSMutableArray>(mutableDict->objectForKey(NS("list"))));
    EXPECT_EQ(NSArray::arrayWithContentsOfFile(str(p)), nullptr);  // holds a dictionary

    auto array = NSArray::arrayWithObjects({NS("a"), NSNumber::numberWithBool(true)});
    ASSERT_TRUE(array->writeToFile(str(p), false));
    EXPECT_TRUE(NSArray::arrayWithContentsOfFile(str(p))->isEqual(array));
    EXPECT_TRUE(is<NSMutableArray>(NSMutableArray::arrayWithContentsOfFile(str(p))));
    EXPECT_FALSE(NSArray::arrayWithObject(NSNull::null())->writeToFile(str(p), true));
    std::filesystem::remove(p);
    EXPECT_EQ(NSDictionary::dictionaryWithContentsOfFile(str(p)), nullptr);
}

}  // namespace
