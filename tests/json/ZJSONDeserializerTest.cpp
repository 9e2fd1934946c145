#include "json/ZJSONDeserializer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "json/NSDictionary+JSON.h"
#include "json/ZJSONScanner.h"
#include "json/ZJSONSerializer.h"
#include "support/FoundationTesting.h"

namespace {

Ref<NSData> bytes(std::string_view s) {
    return NSData::dataWithBytes(s.data(), static_cast<NSUInteger>(s.size()));
}

struct Result {
    Ref<NSObject> object;
    Ref<NSError> error;
};

Result parse(std::string_view json) {
    Result r;
    r.object = ZJSONDeserializer::deserializer()->deserialize(bytes(json), &r.error);
    return r;
}

// The scanner error code of a failed parse, or 0.
NSInteger scanError(std::string_view json) {
    Result r = parse(json);
    if (r.object || !r.error) return 0;
    EXPECT_EQ(text(r.error->domain()), "ZJSONScannerErrorDomain");
    return r.error->code();
}

TEST(ZJSONDeserializerTest, NilAndEmptyDataAreErrors) {
    for (const Ref<NSData>& data : {Ref<NSData>(), NSData::data()}) {
        Ref<NSError> error;
        EXPECT_FALSE(ZJSONDeserializer::deserializer()->deserialize(data, &error));
        ASSERT_TRUE(error);
        EXPECT_EQ(text(error->domain()), "ZJSONDeserializerErrorDomain");
        EXPECT_EQ(error->code(), -1);
        EXPECT_EQ(error->userInfo()->count(), 0u);
    }
    // No error pointer is fine too.
    EXPECT_FALSE(ZJSONDeserializer::deserializer()->deserialize(NSData::data(), nullptr));
}

TEST(ZJSONDeserializerTest, ReadsTheLenientDocument) {
    Result r = parse(" \n {\"k\": [1, 2.5, -3e2, true, null, \"x\\u0041\\n\"],}");
    ASSERT_FALSE(r.error);
    auto dict = as<NSDictionary>(r.object);
    ASSERT_TRUE(dict);
    EXPECT_FALSE(is<NSMutableDictionary>(dict));
    auto list = as<NSArray>(dict->objectForKey(NS("k")));
    ASSERT_TRUE(list);
    EXPECT_FALSE(is<NSMutableArray>(list));
    ASSERT_EQ(list->count(), 6u);
    auto n0 = as<NSNumber>(list->objectAtIndex(0));
    EXPECT_STREQ(n0->objCType(), "d");  // numbers are always doubles
    EXPECT_EQ(n0->doubleValue(), 1.0);
    EXPECT_EQ(as<NSNumber>(list->objectAtIndex(1))->doubleValue(), 2.5);
    EXPECT_EQ(as<NSNumber>(list->objectAtIndex(2))->doubleValue(), -300.0);
    auto yes = as<NSNumber>(list->objectAtIndex(3));
    EXPECT_TRUE(yes->isBoolean() && yes->boolValue());
    EXPECT_EQ(list->objectAtIndex(4).get(), NSNull::null().get());
    EXPECT_EQ(text(list->objectAtIndex(5)), "xA\n");
}

TEST(ZJSONDeserializerTest, StringsAndNumbers) {
    EXPECT_EQ(text(parse("\"a\\\"\\/\\\\\\b\\f\\r\\t\"").object), "a\"/\\\b\f\r\t");
    EXPECT_EQ(text(parse("\"caf\xC3\xA9 \\u00e9\"").object), "caf\xC3\xA9 \xC3\xA9");
    // A \u escape gives one unit: a pair is two escapes, a lone half stays a lone unit.
    auto pair = as<NSString>(parse("\"\\ud83d\\ude00\"").object);
    EXPECT_EQ(text(pair), "\xF0\x9F\x98\x80");
    auto lone = as<NSString>(parse("\"\\uD800\"").object);
    ASSERT_EQ(lone->length(), 1u);
    EXPECT_EQ(lone->characterAtIndex(0), 0xD800);
    EXPECT_EQ(text(parse("\"\"").object), "");

    EXPECT_EQ(as<NSNumber>(parse("1.2.3").object)->doubleValue(), 1.2);
    EXPECT_EQ(as<NSNumber>(parse("-").object)->doubleValue(), 0.0);
    EXPECT_EQ(as<NSNumber>(parse("1e400").object)->doubleValue(), HUGE_VAL);
    EXPECT_EQ(as<NSNumber>(parse("-1e400").object)->doubleValue(), -HUGE_VAL);
    EXPECT_EQ(as<NSNumber>(parse("1e-400").object)->doubleValue(), 0.0);
    EXPECT_EQ(as<NSNumber>(parse("4.9e-324").object)->doubleValue(), 4.9e-324);  // subnormal
    EXPECT_FALSE(parse(".5").object);  // a point starts no value
    EXPECT_EQ(as<NSNumber>(parse("-0").object)->doubleValue(), 0.0);
    EXPECT_TRUE(std::signbit(as<NSNumber>(parse("-0").object)->doubleValue()));
    EXPECT_EQ(as<NSNumber>(parse("0.1").object)->doubleValue(), 0.1);
    EXPECT_EQ(as<NSNumber>(parse("123456789012345678901234567890").object)->doubleValue(),
              1.2345678901234568e29);
}

TEST(ZJSONDeserializerTest, ExponentsTakeAnOptionalSign) {
    auto list = as<NSArray>(parse("[1e+5, 1E+2, 2.5e-3, -1e+21, 0e+1, 1e5, 1e+]").object);
    ASSERT_TRUE(list);
    const double expected[] = {1e5, 100.0, 2.5e-3, -1e21, 0.0, 1e5, 1.0};
    ASSERT_EQ(list->count(), std::size(expected));
    for (NSUInteger i = 0; i < list->count(); ++i)
        EXPECT_EQ(as<NSNumber>(list->objectAtIndex(i))->doubleValue(), expected[i]) << i;

    // A number alone is read whole, sign and all.
    auto scanner = ZJSONScanner::scannerWithData(bytes("1e+5 "));
    Ref<NSObject> number;
    ASSERT_TRUE(scanner->scanJSONObject(&number, nullptr));
    EXPECT_EQ(as<NSNumber>(number)->doubleValue(), 1e5);
    EXPECT_EQ(scanner->scanLocation(), 4u);

    // Only right after the exponent mark: elsewhere a plus sign still ends the number or starts
    // no value at all.
    EXPECT_EQ(scanError("[1+5]"), -9);
    EXPECT_EQ(scanError("[1e++5]"), -9);
    EXPECT_EQ(scanError("[+5]"), -8);
    EXPECT_EQ(scanError("{\"a\":1.5+2}"), -5);

    // What the writer makes of large numbers reads back.
    auto big = NSArray::arrayWithObjects(
        {NSNumber::numberWithDouble(1e21), NSNumber::numberWithDouble(-2.5e-30)});
    auto written = ZJSONDataSerializer::serializer()->serializeObject(big);
    Ref<NSError> error;
    auto again = as<NSArray>(ZJSONDeserializer::deserializer()->deserialize(written, &error));
    ASSERT_TRUE(again) << text(error);
    EXPECT_TRUE(again->isEqualToArray(big));
}

TEST(ZJSONDeserializerTest, LiteralsAndUnknownWords) {
    Result word = parse("hello");
    EXPECT_FALSE(word.object);
    EXPECT_FALSE(word.error);  // no value, and no error either
    auto yes = as<NSNumber>(parse("trueish").object);
    ASSERT_TRUE(yes);
    EXPECT_TRUE(yes->boolValue());
    EXPECT_FALSE(as<NSNumber>(parse("false").object)->boolValue());
    EXPECT_EQ(parse("null").object.get(), NSNull::null().get());
}

TEST(ZJSONDeserializerTest, DictionaryKeysReplaceAndMissingValuesRemove) {
    auto d = as<NSDictionary>(parse("{\"a\":1,\"b\":2,\"a\":3}").object);
    ASSERT_EQ(d->count(), 2u);
    EXPECT_EQ(text(d->allKeys()->objectAtIndex(0)), "a");  // the key keeps its place
    EXPECT_EQ(as<NSNumber>(d->objectForKey(NS("a")))->intValue(), 3);
    auto removed = as<NSDictionary>(parse("{\"a\":1,\"a\":}").object);
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->count(), 0u);
    // Removal then setting again puts the key last, as key-value setting does.
    auto again = as<NSDictionary>(parse("{\"a\":1,\"b\":2,\"a\":,\"c\":3,\"a\":4}").object);
    ASSERT_TRUE(again);
    EXPECT_EQ(text(again->allKeys()), text(NSArray::arrayWithObjects({NS("b"), NS("c"), NS("a")})));
    EXPECT_EQ(as<NSNumber>(again->objectForKey(NS("a")))->intValue(), 4);
    // A key written with an escape is the same key as one written without.
    auto escaped = as<NSDictionary>(parse("{\"ab\":1,\"a\\u0062\":2}").object);
    ASSERT_EQ(escaped->count(), 1u);
    EXPECT_EQ(as<NSNumber>(escaped->objectForKey(NS("ab")))->intValue(), 2);
    EXPECT_EQ(as<NSArray>(parse("[ ]").object)->count(), 0u);
    EXPECT_EQ(as<NSArray>(parse("[1,]").object)->count(), 1u);
    EXPECT_EQ(as<NSDictionary>(parse("{ }").object)->count(), 0u);
}

TEST(ZJSONDeserializerTest, ManyObjectsWithTheSameKeys) {
    // Objects in an array repeat their keys; each dictionary still answers for its own values,
    // also past the size where dictionaries index their keys, and with keys of every length.
    std::string json = "[";
    const int objects = 40, keys = 12;
    for (int o = 0; o < objects; ++o) {
        json += o ? ",{" : "{";
        for (int k = 0; k < keys; ++k) {
            json += (k ? ",\"" : "\"") + std::string(static_cast<size_t>(k), 'k') +
                    "\":" + std::to_string(o * 100 + k);
        }
        json += "}";
    }
    json += "]";
    auto list = as<NSArray>(parse(json).object);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->count(), static_cast<NSUInteger>(objects));
    for (int o = 0; o < objects; ++o) {
        auto d = as<NSDictionary>(list->objectAtIndex(static_cast<NSUInteger>(o)));
        ASSERT_EQ(d->count(), static_cast<NSUInteger>(keys));
        for (int k = 0; k < keys; ++k) {
            auto key = str(std::string(static_cast<size_t>(k), 'k'));
            EXPECT_EQ(as<NSNumber>(d->objectForKey(key))->intValue(), o * 100 + k);
            EXPECT_EQ(text(d->allKeys()->objectAtIndex(static_cast<NSUInteger>(k))), text(key));
        }
    }
    // The same bytes as a key, a string and a number are each read as what they are.
    auto kinds = as<NSDictionary>(parse("{\"1\":1,\"2\":\"1\",\"3\":[1,1.0,1,-1,\"1\"]}").object);
    ASSERT_TRUE(kinds);
    EXPECT_TRUE(is<NSString>(kinds->allKeys()->objectAtIndex(0)));
    EXPECT_EQ(as<NSNumber>(kinds->objectForKey(NS("1")))->doubleValue(), 1.0);
    EXPECT_EQ(text(kinds->objectForKey(NS("2"))), "1");
    auto mixed = as<NSArray>(kinds->objectForKey(NS("3")));
    ASSERT_EQ(mixed->count(), 5u);
    for (NSUInteger i = 0; i < 3; ++i)
        EXPECT_EQ(as<NSNumber>(mixed->objectAtIndex(i))->doubleValue(), 1.0);
    EXPECT_EQ(as<NSNumber>(mixed->objectAtIndex(3))->doubleValue(), -1.0);
    EXPECT_TRUE(is<NSString>(mixed->objectAtIndex(4)));
    // More distinct keys and numbers than a document keeps: all still read right.
    std::string many = "{";
    for (int i = 0; i < 200; ++i)
        many += (i ? ",\"key" : "\"key") + std::to_string(i) + "\":" + std::to_string(i * 7);
    many += "}";
    auto wide = as<NSDictionary>(parse(many).object);
    ASSERT_EQ(wide->count(), 200u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(as<NSNumber>(wide->objectForKey(str("key" + std::to_string(i))))->intValue(),
                  i * 7);

    // Keys that share their first and last bytes stay apart.
    auto similar = as<NSDictionary>(parse("{\"abcdefghXijklmnop\":1,\"abcdefghYijklmnop\":2,"
                                          "\"aXc\":3,\"aYc\":4}")
                                        .object);
    ASSERT_EQ(similar->count(), 4u);
    EXPECT_EQ(as<NSNumber>(similar->objectForKey(NS("abcdefghYijklmnop")))->intValue(), 2);
    EXPECT_EQ(as<NSNumber>(similar->objectForKey(NS("aYc")))->intValue(), 4);
}

// Strings without escapes are made straight from the data, and keys without escapes are read
// once and hashed once; each reads exactly as the same text through the general path, where one
// character is written as an escape. ASCII runs of every length around a wider character or
// bytes that are not UTF-8 (the scan and the ASCII check go sixteen and eight bytes at a time).
TEST(ZJSONDeserializerTest, FastPathsReadAsTheGeneralPath) {
    const std::string wide[] = {"",     "\xC3\xA9",     "\xE2\x80\x93", "\xF0\x9F\x98\x80",
                                "\xC3", "\xED\xA0\x80", "\x80"};
    for (size_t before = 0; before < 36; ++before) {
        for (const std::string& w : wide) {
            for (size_t after : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 33u}) {
                const std::string body = std::string(before, 'a') + w + std::string(after, 'b');
                SCOPED_TRACE(body);
                const bool valid = NSString::compactStringWithUTF8(body) != nullptr;
                // A value: plain, with an escape at the end, with one at the start.
                Result plain = parse("\"" + body + "!\"");
                Result escapedLast = parse("\"" + body + "\\u0021\"");
                Result escapedFirst = parse("\"\\u0021" + body + "\"");
                if (!valid) {
                    EXPECT_EQ(scanError("\"" + body + "!\""), -11);
                    EXPECT_EQ(scanError("\"" + body + "\\u0021\""), -11);
                    EXPECT_EQ(scanError("\"\\u0021" + body + "\""), -11);
                    EXPECT_EQ(scanError("{\"" + body + "\":1}"), -2);
                    EXPECT_EQ(scanError("{\"" + body + "\\u0021\":1}"), -2);
                    continue;
                }
                ASSERT_TRUE(plain.object);
                const std::string expected = text(NSString::fromUTF8(body)) + "!";
                EXPECT_EQ(text(plain.object), expected);
                EXPECT_EQ(text(escapedLast.object), expected);
                EXPECT_EQ(text(escapedFirst.object), "!" + text(NSString::fromUTF8(body)));
                EXPECT_TRUE(plain.object->isEqual(escapedLast.object));

                // A key: the same text, written plainly (and then read again) or with an escape,
                // is one key, found by a string made elsewhere.
                Result keys =
                    parse("[{\"" + body + "!\":1,\"z\":0},{\"" + body + "!\":2},{\"" + body +
                          "\\u0021\":3},{\"" + body + "!\":4,\"" + body + "\\u0021\":5}]");
                auto list = as<NSArray>(keys.object);
                ASSERT_TRUE(list);
                ASSERT_EQ(list->count(), 4u);
                auto key = NSString::fromUTF8(expected);
                for (NSUInteger i = 0; i < 3; ++i) {
                    auto d = as<NSDictionary>(list->objectAtIndex(i));
                    ASSERT_TRUE(d);
                    EXPECT_EQ(as<NSNumber>(d->objectForKey(key))->intValue(),
                              static_cast<int>(i) + 1);
                }
                auto both = as<NSDictionary>(list->objectAtIndex(3));
                ASSERT_EQ(both->count(), 1u);  // the escaped form replaced the plain one
                EXPECT_EQ(as<NSNumber>(both->objectForKey(key))->intValue(), 5);
            }
        }
    }
}

// Strings with escapes are written into room the scanner keeps between strings and documents:
// each holds its own units alone, whether it is longer or shorter than those before it, its runs
// ASCII or not, and however many escapes it has.
TEST(ZJSONDeserializerTest, EscapedStringsHoldTheirOwnUnits) {
    std::vector<std::pair<std::string, std::u16string>> cases;  // as written, as read
    for (size_t length : {0u, 1u, 15u, 16u, 17u, 40u, 5000u, 3u}) {
        std::string written(length, 'q');
        std::u16string read(length, u'q');
        cases.emplace_back(written + "\\n", read + u"\n");
        cases.emplace_back("\\t" + written, u"\t" + read);
        cases.emplace_back(written + "\\u00e9" + written, read + u"\u00e9" + read);
        cases.emplace_back("\xC3\xA9" + written + "\\\"\xE2\x80\x93\\/" + written,
                           u"\u00e9" + read + u"\"\u2013/" + read);
        std::string many;
        std::u16string manyRead;
        for (size_t i = 0; i < length % 64; ++i) {
            many += "\\/a";
            manyRead += u"/a";
        }
        cases.emplace_back(many, manyRead);
    }
    std::string document = "[";
    for (const auto& [written, read] : cases)
        document += (document.size() > 1 ? ",\"" : "\"") + written + "\"";
    document += "]";
    for (int pass = 0; pass < 2; ++pass) {  // the second finds the room the first left
        auto list = as<NSArray>(parse(document).object);
        ASSERT_TRUE(list);
        ASSERT_EQ(list->count(), static_cast<NSUInteger>(cases.size()));
        for (size_t i = 0; i < cases.size(); ++i) {
            auto string = as<NSString>(list->objectAtIndex(static_cast<NSUInteger>(i)));
            ASSERT_TRUE(string) << i;
            EXPECT_EQ(string->u16(), cases[i].second) << i;
            // Read alone, after the whole list, it is the same.
            EXPECT_EQ(as<NSString>(parse("\"" + cases[i].first + "\"").object)->u16(),
                      cases[i].second)
                << i;
        }
    }
}

// Keys, numbers and booleans read once are shared by every place that reads the same, and the
// scanner lets go of them before the result is handed out: the result alone holds them. Each
// outermost scan starts afresh, so a result handed out is never shared with the next one.
TEST(ZJSONDeserializerTest, SharedObjectsAreHeldByTheResultAlone) {
    const std::string json =
        "[{\"a\":1,\"b\":true},{\"a\":1,\"b\":true},{\"a\":2,\"b\":false,\"c\":[1,true]}]";
    auto keyNamed = [](NSDictionary* d, std::string_view name) -> NSObject* {
        for (NSObject* key : *d)
            if (text(key) == name) return key;
        return nullptr;
    };
    auto list = as<NSArray>(parse(json).object);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->count(), 3u);
    NSDictionary* d[3];
    for (NSUInteger i = 0; i < 3; ++i)
        d[i] = as<NSDictionary>(list->objectAtIndex(i)).get();
    NSObject* a = keyNamed(d[0], "a");
    ASSERT_TRUE(a);
    EXPECT_EQ(keyNamed(d[1], "a"), a);
    EXPECT_EQ(keyNamed(d[2], "a"), a);
    EXPECT_EQ(a->retainCount(), 3u);
    NSObject* one = d[0]->objectForKey(NS("a")).get();
    EXPECT_EQ(d[1]->objectForKey(NS("a")).get(), one);
    auto inner = as<NSArray>(d[2]->objectForKey(NS("c")));
    EXPECT_EQ(inner->objectAtIndex(0).get(), one);
    EXPECT_EQ(one->retainCount(), 3u);
    NSObject* yes = d[0]->objectForKey(NS("b")).get();
    EXPECT_EQ(inner->objectAtIndex(1).get(), yes);
    EXPECT_EQ(yes->retainCount(), 3u);
    NSObject* no = d[2]->objectForKey(NS("b")).get();
    EXPECT_NE(no, yes);
    EXPECT_EQ(no->retainCount(), 1u);

    // Two outermost scans over the same bytes: the second makes its own objects and leaves the
    // first result's counts as they were.
    auto scanner = ZJSONScanner::scannerWithData(bytes(json));
    Ref<NSArray> first, second;
    ASSERT_TRUE(scanner->scanJSONArray(&first, nullptr));
    scanner->setScanLocation(0);
    ASSERT_TRUE(scanner->scanJSONArray(&second, nullptr));
    ASSERT_TRUE(first && second);
    auto firstDict = as<NSDictionary>(first->objectAtIndex(0));
    auto secondDict = as<NSDictionary>(second->objectAtIndex(0));
    NSObject* firstKey = keyNamed(firstDict, "a");
    EXPECT_NE(keyNamed(secondDict, "a"), firstKey);
    EXPECT_EQ(firstKey->retainCount(), 3u);
    EXPECT_NE(secondDict->objectForKey(NS("a")).get(), firstDict->objectForKey(NS("a")).get());
    EXPECT_TRUE(first->isEqual(second));
    // A number read on its own is the caller's alone as well.
    scanner->setScanLocation(6);
    Ref<NSNumber> number;
    ASSERT_TRUE(scanner->scanJSONNumberConstant(&number, nullptr));
    EXPECT_EQ(number->intValue(), 1);
    EXPECT_EQ(number->retainCount(), 1u);
}

// Each key is first checked against the one that followed the previous key last time (or began
// the last dictionary at the same depth). Keys that differ from that guess by a byte, by being
// its prefix or extending it, by an escape, or by the end of the data read as they are.
TEST(ZJSONDeserializerTest, KeysAgainstTheExpectedKeyReadAsTheGeneralPath) {
    const std::vector<std::vector<std::string>> shapes = {
        {"name", "size", "tags"}, {"name", "size", "tags"}, {"nam", "size", "tagsX"},
        {"names", "siz", "tags"}, {"name", "size"},         {"name", "size", "tags", "more"},
        {"size", "name", "tags"}, {"n\\u0061me", "size"},   {"name", "sizf", "tags"},
        {"", "name", ""},         {"name", "name", "size"}, {"tags", "size", "name"}};
    std::string json = "[";
    std::vector<Ref<NSMutableDictionary>> expected;
    int value = 0;
    for (size_t i = 0; i < shapes.size(); ++i) {
        auto d = NSMutableDictionary::dictionary();
        json += i ? ",{" : "{";
        for (size_t k = 0; k < shapes[i].size(); ++k) {
            const std::string& written = shapes[i][k];
            std::string name = written;
            if (auto at = name.find("\\u0061"); at != std::string::npos) name.replace(at, 6, "a");
            json += (k ? ",\"" : "\"") + written + "\":";
            if (k == 1) {
                // The second key holds a dictionary of its own, whose keys repeat too.
                json += "{\"" + name + "\":" + std::to_string(value) + ",\"x\":0}";
                d->setObject(NSDictionary::dictionaryWithPairs(
                                 {{str(name), NSNumber::numberWithDouble(value)},
                                  {NS("x"), NSNumber::numberWithDouble(0)}}),
                             str(name));
            } else {
                json += std::to_string(value);
                d->setObject(NSNumber::numberWithDouble(value), str(name));
            }
            ++value;
        }
        json += "}";
        expected.push_back(d);
    }
    json += "]";
    SCOPED_TRACE(json);
    auto list = as<NSArray>(parse(json).object);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->count(), static_cast<NSUInteger>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        auto d = as<NSDictionary>(list->objectAtIndex(static_cast<NSUInteger>(i)));
        ASSERT_TRUE(d);
        EXPECT_TRUE(d->isEqual(expected[i])) << i;
        EXPECT_EQ(text(d->allKeys()), text(expected[i]->allKeys())) << i;
    }
    // The data ends inside, or right after, a key that begins as the expected one.
    EXPECT_EQ(scanError("[{\"name\":1,\"size\":2},{\"name\":1,\"si"), -8);
    EXPECT_EQ(scanError("[{\"name\":1,\"size\":2},{\"name\":1,\"size"), -8);
    EXPECT_EQ(scanError("[{\"name\":1,\"size\":2},{\"name\":1,\"size\""), -8);
    EXPECT_EQ(scanError("{\"name\":{\"size\":2},\"size\":{\"siz"), -4);
}

// Plain decimals are worked out by arithmetic where that is exact; every run reads as the C
// library reads its text, to the bit: integers and decimals of up to twenty digits, signs,
// leading zeros, and the lenient runs the reader passes whole.
TEST(ZJSONDeserializerTest, NumbersReadAsTheCLibraryReadsThem) {
    std::vector<std::string> runs = {"0",
                                     "-0",
                                     "-0.0",
                                     "0.0",
                                     "00012.50",
                                     "1.",
                                     "1.2.3",
                                     "-",
                                     "-.5",
                                     "12.5e-3",
                                     "1E+2",
                                     "1e",
                                     "1.5e",
                                     "0.1",
                                     "0.3",
                                     "2.675",
                                     "1e22",
                                     "-9.95",
                                     "1e-7",
                                     "123456789012345.6",
                                     "0.000000000000001"};
    uint64_t seed = 88172645463325252ull;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    for (int digits = 1; digits <= 20; ++digits) {
        for (int trial = 0; trial < 40; ++trial) {
            std::string d;
            for (int i = 0; i < digits; ++i)
                d += static_cast<char>('0' + next() % 10);
            const size_t point = next() % (d.size() + 1);
            std::string run = point == d.size() ? d : d.substr(0, point) + "." + d.substr(point);
            if (run[0] == '.') run = "0" + run;
            runs.push_back(trial % 2 ? "-" + run : run);
        }
    }
    for (const std::string& run : runs) {
        SCOPED_TRACE(run);
        auto list = as<NSArray>(parse("[" + run + ", " + run + "]").object);
        ASSERT_TRUE(list);
        ASSERT_EQ(list->count(), 2u);
        const double expected = std::strtod(run.c_str(), nullptr);
        for (NSUInteger i = 0; i < 2; ++i) {
            const double got = as<NSNumber>(list->objectAtIndex(i))->doubleValue();
            EXPECT_EQ(got, expected);
            EXPECT_EQ(std::signbit(got), std::signbit(expected));
        }
    }
}

// Short integers are read straight from their digits; every run reads as the general reading of
// its bytes (a scanner given its own equal set of number bytes) gives it: the same value, the
// same end, the same error, and the same sharing of one object by equal runs.
TEST(ZJSONDeserializerTest, ShortIntegersReadAsTheGeneralPath) {
    std::vector<std::string> runs = {"00",    "01",   "007",  "0999",       "1000", "12.",
                                     "12.5",  "12e3", "12E",  "12e+1",      "-5",   "5-",
                                     "999.0", "0.0",  "1.",   "12a",        "12 ",  "12]",
                                     "12}",   "12,",  "12\\", "2147483648", "-0"};
    for (int n = 0; n <= 1000; ++n)
        runs.push_back(std::to_string(n));
    auto generalBytes = NSCharacterSet::characterSetWithCharactersInString(NS("0123456789eE-."));
    struct Reading {
        bool ok = false;
        Ref<NSObject> object;
        NSInteger error = 0;
        NSUInteger location = 0;
    };
    auto read = [&](const std::string& json, bool general) {
        auto scanner = ZJSONScanner::scannerWithData(bytes(json));
        if (general) scanner->setDoubleCharacters(generalBytes);
        Reading r;
        Ref<NSError> error;
        r.ok = scanner->scanJSONObject(&r.object, &error);
        r.error = error ? error->code() : 0;
        r.location = scanner->scanLocation();
        return r;
    };
    for (const std::string& run : runs) {
        for (const std::string& json :
             {run, "[" + run + "," + run + "]", "{\"a\":" + run + ",\"b\":[" + run + "]}"}) {
            SCOPED_TRACE(json);
            const Reading fast = read(json, false);
            const Reading general = read(json, true);
            EXPECT_EQ(fast.ok, general.ok);
            EXPECT_EQ(fast.error, general.error);
            EXPECT_EQ(fast.location, general.location);
            ASSERT_EQ(!fast.object, !general.object);
            if (!fast.object) continue;
            EXPECT_TRUE(fast.object->isEqual(general.object));
            EXPECT_EQ(text(ZJSONSerializer::serializer()->serializeObject(fast.object)),
                      text(ZJSONSerializer::serializer()->serializeObject(general.object)));
            if (auto list = as<NSArray>(fast.object); list && list->count() == 2) {
                auto other = as<NSArray>(general.object);
                EXPECT_EQ(list->objectAtIndex(0).get() == list->objectAtIndex(1).get(),
                          other->objectAtIndex(0).get() == other->objectAtIndex(1).get());
            }
        }
        if (run.find_first_not_of("0123456789") == std::string::npos) {
            const double expected = std::strtod(run.c_str(), nullptr);
            auto number = as<NSNumber>(read(run, false).object);
            ASSERT_TRUE(number) << run;
            EXPECT_EQ(number->doubleValue(), expected) << run;
        }
    }
}

// Dictionaries of every size on both sides of the indexed table, with keys read before,
// repeated and removed, hold what key-value setting in the same order gives.
TEST(ZJSONDeserializerTest, DictionariesOfEverySizeMatchKeyValueSetting) {
    for (int n = 0; n <= 40; ++n) {
        SCOPED_TRACE(n);
        std::string json = "[{\"k0\":0},{";
        auto expected = NSMutableDictionary::dictionary();
        for (int i = 0; i < n + n / 3; ++i) {
            // Past n, every third key again: alternately a new value and a removal, and every
            // fifth written with an escape.
            const int k = i < n ? i : (i - n) * 3;
            const std::string name = "k" + std::to_string(k);
            const std::string written = i % 5 == 4 ? "\\u006b" + std::to_string(k) : name;
            json += (i ? ",\"" : "\"") + written + "\":";
            if (i >= n && i % 2) {
                expected->removeObjectForKey(str(name));  // no value: the key is removed
            } else {
                json += std::to_string(i);
                expected->setObject(NSNumber::numberWithDouble(i), str(name));
            }
        }
        json += "}]";
        auto list = as<NSArray>(parse(json).object);
        ASSERT_TRUE(list);
        ASSERT_EQ(list->count(), 2u);
        auto d = as<NSDictionary>(list->objectAtIndex(1));
        ASSERT_TRUE(d);
        EXPECT_FALSE(is<NSMutableDictionary>(d));
        EXPECT_TRUE(d->isEqual(expected));
        EXPECT_EQ(text(d->allKeys()), text(expected->allKeys()));
        auto keys = expected->allKeys();
        for (NSObject* key : *keys)
            EXPECT_TRUE(d->objectForKey(
                             NSMutableString::stringWithString(cast<NSString>(Ref<NSObject>(key))))
                            ->isEqual(expected->objectForKey(key)));
    }
}

TEST(ZJSONDeserializerTest, MalformedDocumentsGiveTheirConstructsError) {
    EXPECT_EQ(scanError("{'a':1}"), -2);
    EXPECT_EQ(scanError("{\"a\" 1}"), -3);
    EXPECT_EQ(scanError("{\"a\":1 \"b\":2}"), -5);
    EXPECT_EQ(scanError("{\"a\":nope}"), -5);  // an unknown word is no value and is not taken
    EXPECT_EQ(scanError("{\"a\":1"), -5);
    EXPECT_EQ(scanError("{\"a\":\"x"), -4);
    EXPECT_EQ(scanError("{\"a\":\"\\q\"}"), -4);  // the enclosing construct's error wins
    EXPECT_EQ(scanError("[1 2]"), -9);
    EXPECT_EQ(scanError("[1"), -9);
    EXPECT_EQ(scanError("[\"abc"), -8);
    EXPECT_EQ(scanError("[1,"), -8);
    EXPECT_EQ(scanError("[1,,2]"), -8);  // a stray comma starts no value
    EXPECT_EQ(scanError("[1, nope]"), -8);
    EXPECT_EQ(scanError("[\"\xC3\x28\"]"), -8);
    EXPECT_EQ(scanError("\"\\q\""), -13);
    EXPECT_EQ(scanError("\"\\u00G1\""), -12);
    EXPECT_EQ(scanError("\"\\u00"), -12);
    EXPECT_EQ(scanError("\"abc"), -11);
    EXPECT_EQ(scanError("\"ab\\"), -13);
    EXPECT_EQ(scanError("\"a\xFF\""), -11);  // bytes that are not UTF-8 fail the string
    EXPECT_EQ(scanError("'single'"), -11);

    Ref<NSError> error;
    ZJSONDeserializer::deserializer()->deserialize(bytes("[1 2]"), &error);
    EXPECT_EQ(text(error->localizedDescription()),
              "Could not scan array. Array not terminated by a ']' character.");
}

// Whitespace of each kind, and runs of it, may stand in every gap between tokens; a byte just
// outside the whitespace set stops the value. Strings read after whitespace or without.
TEST(ZJSONDeserializerTest, WhitespaceInEveryGap) {
    // The gaps are marked with '_'.
    const std::string shape =
        "_{_\"a\"_:_\"x\"_,_\"b\"_:_[_\"y\"_,_1_,_{_\"c\"_:_\"z\\u0021\"_}_]_,_\"d\"_:_2.5_}_";
    auto fill = [&](const std::string& gap) {
        std::string json;
        for (char c : shape)
            json += c == '_' ? gap : std::string(1, c);
        return json;
    };
    const auto compact = parse(fill("")).object;
    ASSERT_TRUE(compact);
    EXPECT_EQ(text(ZJSONSerializer::serializer()->serializeObject(compact)),
              "{\"a\":\"x\",\"b\":[\"y\",1,{\"c\":\"z!\"}],\"d\":2.5}");
    for (const std::string gap : {" ", "\t", "\n", "\v", "\f", "\r", " \n\t ", "\r\n    "}) {
        SCOPED_TRACE(testing::PrintToString(gap));
        Result r = parse(fill(gap));
        ASSERT_TRUE(r.object);
        EXPECT_TRUE(r.object->isEqual(compact));
    }
    // Bytes beside the set are no whitespace: the value fails, or there is none.
    EXPECT_EQ(scanError("{\x08\"a\":1}"), -2);
    EXPECT_EQ(scanError("[1,\x0E2]"), -8);
    EXPECT_FALSE(parse("!\"a\"").object);
    // A string constant read on its own skips the whitespace before it, and on failure leaves
    // the location before that whitespace.
    auto scanner = ZJSONScanner::scannerWithData(bytes(" \t\"ab\" \"c"));
    Ref<NSString> string;
    ASSERT_TRUE(scanner->scanJSONStringConstant(&string, nullptr));
    EXPECT_EQ(text(string), "ab");
    EXPECT_EQ(scanner->scanLocation(), 6u);
    Ref<NSError> error;
    EXPECT_FALSE(scanner->scanJSONStringConstant(&string, &error));
    EXPECT_EQ(error->code(), -11);
    EXPECT_EQ(scanner->scanLocation(), 6u);
}

TEST(ZJSONDeserializerTest, FailureLeavesTheScannerWhereTheOutermostConstructBegan) {
    auto scanner = ZJSONScanner::scannerWithData(bytes("  [1, {\"a\" 1}]"));
    Ref<NSObject> object = NS("stale");
    Ref<NSError> error;
    EXPECT_FALSE(scanner->scanJSONObject(&object, &error));
    EXPECT_FALSE(object);
    EXPECT_EQ(error->code(), -8);
    EXPECT_EQ(scanner->scanLocation(), 2u);

    auto string = ZJSONScanner::scannerWithData(bytes(" \"ab\\x\""));
    EXPECT_FALSE(string->scanJSONStringConstant(nullptr, nullptr));
    EXPECT_EQ(string->scanLocation(), 0u);
}

TEST(ZJSONDeserializerTest, NestingIsBounded) {
    const int limit = ZJSONScanner::kMaximumDepth;
    std::string deepest = std::string(limit, '[') + std::string(limit, ']');
    EXPECT_TRUE(parse(deepest).object);
    EXPECT_EQ(scanError(std::string(limit + 1, '[') + std::string(limit + 1, ']')), -8);
    std::string objects;
    for (int i = 0; i < limit + 1; ++i)
        objects += "{\"a\":";
    EXPECT_EQ(scanError(objects), -4);
    // Hostile depth fails quickly without exhausting the stack.
    EXPECT_EQ(scanError(std::string(1'000'000, '[')), -8);
}

TEST(ZJSONDeserializerTest, UnicodeEncodingsWithAndWithoutByteOrderMarks) {
    auto document = NS("{\"name\":\"Caf\u00e9 \U0001F600\",\"n\":[1]}");
    struct Case {
        NSStringEncoding encoding;
        std::string mark;
    };
    const Case cases[] = {
        {NSUTF8StringEncoding, ""},
        {NSUTF8StringEncoding, "\xEF\xBB\xBF"},
        {NSUTF16LittleEndianStringEncoding, ""},
        {NSUTF16LittleEndianStringEncoding, "\xFF\xFE"},
        {NSUTF16BigEndianStringEncoding, ""},
        {NSUTF16BigEndianStringEncoding, "\xFE\xFF"},
        {NSUTF32LittleEndianStringEncoding, ""},
        {NSUTF32LittleEndianStringEncoding, std::string("\xFF\xFE\0\0", 4)},
        {NSUTF32BigEndianStringEncoding, ""},
        {NSUTF32BigEndianStringEncoding, std::string("\0\0\xFE\xFF", 4)},
    };
    for (const Case& c : cases) {
        auto body = document->dataUsingEncoding(c.encoding);
        auto data = NSMutableData::dataWithBytes(c.mark.data(), c.mark.size());
        data->appendData(body);
        Ref<NSError> error;
        auto d = as<NSDictionary>(ZJSONDeserializer::deserializer()->deserialize(data, &error));
        ASSERT_TRUE(d) << "encoding " << c.encoding << " mark " << c.mark.size();
        EXPECT_EQ(text(d->objectForKey(NS("name"))), "Caf\xC3\xA9 \xF0\x9F\x98\x80");
    }
    // UTF-16 that does not decode (a lone surrogate, an odd length) is no document at all.
    Ref<NSError> error;
    EXPECT_FALSE(ZJSONDeserializer::deserializer()->deserialize(
        bytes(std::string("[\0\"\0\x00\xD8\"\0]\0", 10)), &error));
    EXPECT_EQ(error->code(), -1);
    EXPECT_FALSE(ZJSONDeserializer::deserializer()->deserialize(bytes(std::string("[\0"
                                                                                  "1\0]",
                                                                                  5)),
                                                                &error));
}

TEST(ZJSONDeserializerTest, TypedEntryPoints) {
    auto deserializer = ZJSONDeserializer::deserializer();
    Ref<NSError> error;
    EXPECT_TRUE(deserializer->deserializeAsDictionary(bytes("{\"a\":[]}"), &error));
    EXPECT_FALSE(deserializer->deserializeAsDictionary(bytes(" {}"), &error));
    EXPECT_EQ(error->code(), -1);  // "{" must be the very first byte
    EXPECT_FALSE(deserializer->deserializeAsDictionary(bytes("[]"), &error));
    EXPECT_TRUE(deserializer->deserializeAsArray(bytes("[{}]"), &error));
    EXPECT_FALSE(deserializer->deserializeAsArray(bytes("{}"), &error));
    EXPECT_EQ(error->code(), -7);
    EXPECT_TRUE(is<NSArray>(dictionaryWithJSONData(bytes("[1]"), nullptr)));
}

}  // namespace
