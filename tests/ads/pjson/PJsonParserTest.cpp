#include "ads/pjson/PJsonParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSDecimalNumber.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSKeyValueObserving.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "ads/pjson/PJSON.h"
#include "support/FoundationTesting.h"

namespace {

// The trace of a failed parse, root cause first: "code description" per error.
std::vector<std::string> traceOf(PJsonParser* parser) {
    std::vector<std::string> out;
    auto trace = parser->errorTrace();
    if (!trace) return out;
    for (NSObject* entry : *trace) {
        auto e = cast<NSError>(Ref<NSObject>(entry));
        out.push_back(std::to_string(e->code()) + " " + text(e->localizedDescription()));
    }
    return out;
}

// "accepted", or the outermost error of the parse.
std::string outcome(const char* json, bool fragment = false) {
    auto parser = make<PJsonParser>();
    auto s = str(json);
    auto value = fragment ? parser->fragmentWithString(s) : parser->objectWithString(s);
    if (value) return parser->errorTrace() ? "accepted with errors" : "accepted";
    auto trace = traceOf(parser);
    return trace.empty() ? "failed without error" : trace.back();
}

Ref<NSObject> parsed(const char* json, bool fragment = false) {
    auto parser = make<PJsonParser>();
    return fragment ? parser->fragmentWithString(str(json)) : parser->objectWithString(str(json));
}

TEST(PJsonParserTest, ContainersAndOptionalSeparators) {
    for (const char* json : {"[1,2]", "[1 2]", "[1\n\t2]"}) {
        auto a = as<NSArray>(parsed(json));
        ASSERT_TRUE(a) << json;
        ASSERT_EQ(a->count(), 2u) << json;
        EXPECT_EQ(cast<NSNumber>(a->objectAtIndex(1))->intValue(), 2) << json;
    }
    auto d = as<NSDictionary>(parsed("{\"a\":1 \"b\" : [true false null]}"));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->count(), 2u);
    auto b = cast<NSArray>(d->objectForKey(NS("b")));
    ASSERT_EQ(b->count(), 3u);
    EXPECT_TRUE(is<NSNull>(b->objectAtIndex(2)));
    EXPECT_EQ(cast<NSDictionary>(parsed("{}"))->count(), 0u);
    EXPECT_EQ(cast<NSArray>(parsed("[]"))->count(), 0u);
    // A later duplicate key replaces the earlier one.
    auto dup = cast<NSDictionary>(parsed("{\"k\":1,\"k\":2}"));
    EXPECT_EQ(cast<NSNumber>(dup->objectForKey(NS("k")))->intValue(), 2);

    EXPECT_EQ(outcome("[1,]"), "9 Trailing comma disallowed in array");
    EXPECT_EQ(outcome("{\"a\":1 , }"), "9 Trailing comma disallowed in object");
    EXPECT_EQ(outcome("[1,"), "11 End of input while parsing array");
    EXPECT_EQ(outcome("{"), "11 End of input while parsing object");
    EXPECT_EQ(outcome("{1:2}"), "3 Object key string expected");
    EXPECT_EQ(outcome("{\"a\" 2}"), "3 Expected ':' separating key and value");
}

TEST(PJsonParserTest, ValuesAreMutableAndNumbersDecimal) {
    auto a =
        cast<NSArray>(parsed("[\"s\", {\"k\":[]}, 0.1, -12e-1, 123456789012345678901234567890]"));
    EXPECT_TRUE(is<NSMutableArray>(a));
    EXPECT_TRUE(is<NSMutableString>(a->objectAtIndex(0)));
    EXPECT_TRUE(is<NSMutableDictionary>(a->objectAtIndex(1)));
    EXPECT_TRUE(is<NSMutableArray>(cast<NSDictionary>(a->objectAtIndex(1))->objectForKey(NS("k"))));
    // Decimal numbers keep the text's exact value.
    EXPECT_TRUE(
        a->objectAtIndex(2)->isEqual(NSDecimalNumber::decimalNumberWithMantissa(1, -1, false)));
    EXPECT_TRUE(
        a->objectAtIndex(3)->isEqual(NSDecimalNumber::decimalNumberWithMantissa(12, -1, true)));
    EXPECT_EQ(text(a->objectAtIndex(4)), "123456789012345678901234567890");
    auto fortyTwo = parsed("  42  ", true);
    ASSERT_TRUE(is<NSDecimalNumber>(fortyTwo));
    EXPECT_EQ(cast<NSNumber>(fortyTwo)->intValue(), 42);
    auto t = parsed("true", true);
    EXPECT_STREQ(cast<NSNumber>(t)->objCType(), "c");
}

TEST(PJsonParserTest, NumbersAndLiterals) {
    EXPECT_EQ(outcome("01", true), "2 Leading 0 disallowed in number");
    EXPECT_EQ(outcome("-", true), "2 No digits after initial minus");
    EXPECT_EQ(outcome("-x", true), "2 No digits after initial minus");
    EXPECT_EQ(outcome("1.", true), "2 No digits after decimal point");
    EXPECT_EQ(outcome("1e", true), "2 No digits after exponent");
    EXPECT_EQ(outcome("1E+", true), "2 No digits after exponent");
    EXPECT_EQ(outcome("+1", true), "2 Leading + disallowed in number");
    // Beyond the decimal type's range: refused, never a NaN.
    EXPECT_EQ(outcome("1e999999", true), "2 Failed creating decimal instance");
    EXPECT_EQ(outcome("-0", true), "accepted");
    EXPECT_EQ(outcome("nul", true), "3 Expected 'null'");
    EXPECT_EQ(outcome("tru", true), "3 Expected 'true'");
    EXPECT_EQ(outcome("fals", true), "3 Expected 'false'");
    EXPECT_EQ(outcome("@", true), "3 Unrecognised leading character");
    EXPECT_EQ(outcome("", true), "11 Unexpected end of string");
    EXPECT_EQ(outcome(" \n ", true), "11 Unexpected end of string");
    // Literals are matched without looking past them: what follows is judged afterwards.
    EXPECT_EQ(outcome("truex", true), "10 Garbage after JSON");
    EXPECT_EQ(outcome("[true1]"), "accepted");
    EXPECT_EQ(outcome("[nullnull]"), "accepted");
    EXPECT_EQ(outcome("[1] x"), "10 Garbage after JSON");
    EXPECT_EQ(outcome("{}x"), "10 Garbage after JSON");
    // Vertical tab and form feed are white space of the C locale.
    EXPECT_EQ(outcome("\v[1]\f"), "accepted");
}

TEST(PJsonParserTest, StringsAndEscapes) {
    auto a =
        cast<NSArray>(parsed("[\"\\u00e9\", \"\\ud834\\udd1e\", \"\\\"\\\\\\/\\b\\f\\n\\r\\t\", "
                             "\"caf\xc3\xa9 \xf0\x9f\x98\x80\","
                             " \"a\\u0000b\", \"\\u00C9\"]"));
    ASSERT_TRUE(a);
    EXPECT_EQ(text(a->objectAtIndex(0)), "\u00e9");
    auto clef = cast<NSString>(a->objectAtIndex(1));
    EXPECT_EQ(clef->length(), 2u);  // one character, two UTF-16 units
    EXPECT_EQ(text(clef), "\U0001D11E");
    EXPECT_EQ(text(a->objectAtIndex(2)), "\"\\/\b\f\n\r\t");
    EXPECT_EQ(text(a->objectAtIndex(3)), "caf\u00e9 \U0001F600");
    EXPECT_EQ(cast<NSString>(a->objectAtIndex(4))->length(), 3u);
    EXPECT_EQ(cast<NSString>(a->objectAtIndex(4))->characterAtIndex(1), 0);
    EXPECT_EQ(text(a->objectAtIndex(5)), "\u00c9");

    EXPECT_EQ(outcome("\"a\tb\"", true), "5 Unescaped control character '0x9'");
    EXPECT_EQ(outcome("\"abc", true), "11 Unexpected EOF while parsing string");
    EXPECT_EQ(outcome("\"\\x\"", true), "8 Illegal escape sequence '0x78'");
    // A bare string is a fragment, not a document.
    EXPECT_EQ(outcome("\"s\""), "4 Valid fragment, but not JSON");
    EXPECT_EQ(text(parsed("\"s\"", true)), "s");
}

TEST(PJsonParserTest, ErrorTraceRootCauseFirst) {
    auto parser = make<PJsonParser>();
    EXPECT_FALSE(parser->fragmentWithString(NS("\"\\udd1e\"")));
    EXPECT_EQ(traceOf(parser),
              (std::vector<std::string>{"6 Invalid high character in surrogate pair",
                                        "6 Broken unicode character"}));

    EXPECT_FALSE(parser->objectWithString(NS("{\"k\": [\"\\ud800\\u12\"]}")));
    EXPECT_EQ(traceOf(parser),
              (std::vector<std::string>{
                  "6 Missing hex digit in quad", "6 Missing low character in surrogate pair",
                  "6 Broken unicode character", "3 Expected value while parsing array",
                  "3 Object value expected for key: k"}));
    // Each error holds the one before it.
    auto trace = parser->errorTrace();
    for (NSUInteger i = 0; i < trace->count(); ++i) {
        auto e = cast<NSError>(trace->objectAtIndex(i));
        EXPECT_EQ(text(e->domain()), text(PJSONErrorDomain));
        auto under = e->userInfo()->objectForKey(NSUnderlyingErrorKey);
        if (i == 0)
            EXPECT_FALSE(under);
        else
            EXPECT_EQ(under.get(), trace->objectAtIndex(i - 1).get());
    }

    EXPECT_FALSE(parser->fragmentWithString(NS("\"\\ud800x\"")));
    EXPECT_EQ(traceOf(parser),
              (std::vector<std::string>{"6 Missing low character in surrogate pair",
                                        "6 Broken unicode character"}));
    EXPECT_FALSE(parser->fragmentWithString(NS("\"\\ud800\\u0041\"")));
    EXPECT_EQ(traceOf(parser).front(), "6 Invalid low surrogate char");
    EXPECT_FALSE(parser->fragmentWithString(NS("\"\\uzz\"")));
    EXPECT_EQ(traceOf(parser),
              (std::vector<std::string>{"6 Missing hex digit in quad", "6 Missing hex quad",
                                        "6 Broken unicode character"}));
    EXPECT_FALSE(parser->objectWithString(NS("{\"a\\q\":1}")));
    EXPECT_EQ(traceOf(parser), (std::vector<std::string>{"8 Illegal escape sequence '0x71'",
                                                         "3 Object key string expected"}));

    // The trace is cleared by the next call; a success leaves none.
    EXPECT_TRUE(parser->objectWithString(NS("[]")));
    EXPECT_FALSE(parser->errorTrace());
    EXPECT_FALSE(parser->objectWithString(nullptr));
    EXPECT_EQ(traceOf(parser), (std::vector<std::string>{"12 Input was 'nil'"}));
    parser->clearErrorTrace();
    EXPECT_FALSE(parser->errorTrace());
    parser->addErrorWithCode(3, NS("first"));
    parser->addErrorWithCode(4, NS("second"));
    EXPECT_EQ(traceOf(parser), (std::vector<std::string>{"3 first", "4 second"}));
}

TEST(PJsonParserTest, NestingLimit) {
    auto nested = [](int n) {
        return std::string(static_cast<size_t>(n), '[') + std::string(static_cast<size_t>(n), ']');
    };
    auto parser = make<PJsonParser>();
    EXPECT_EQ(parser->maxDepth(), 512u);
    EXPECT_TRUE(parser->objectWithString(str(nested(512))));
    EXPECT_FALSE(parser->objectWithString(str(nested(513))));
    auto trace = traceOf(parser);
    EXPECT_EQ(trace.front(), "7 Nested too deep");
    EXPECT_EQ(trace.size(), 513u);  // the root cause, then every enclosing array
    parser->setMaxDepth(0);
    EXPECT_TRUE(parser->objectWithString(str(nested(2000))));
    parser->setMaxDepth(1);
    EXPECT_TRUE(parser->objectWithString(NS("{\"a\":1}")));
    EXPECT_FALSE(parser->objectWithString(NS("{\"a\":{}}")));
    // The depth starts again with each call.
    EXPECT_TRUE(parser->objectWithString(NS("[1]")));
}

TEST(PJsonParserTest, InputWithoutUTF8Form) {
    // An unpaired surrogate in the text itself reads as U+FFFD.
    const char16_t units[] = {u'[', u'"', 0xD800, u'a', u'"', u']'};
    auto text16 = NSString::stringWithCharacters(units, 6);
    auto a = as<NSArray>(make<PJsonParser>()->objectWithString(text16));
    ASSERT_TRUE(a);
    EXPECT_EQ(text(a->objectAtIndex(0)), "\uFFFDa");
    // A NUL in the text ends it, as the parser's input does.
    const char16_t withNul[] = {u'[', u'1', u']', 0, u'x'};
    EXPECT_TRUE(make<PJsonParser>()->objectWithString(NSString::stringWithCharacters(withNul, 5)));
    const char16_t nulInString[] = {u'[', u'"', 0, u'"', u']'};
    auto parser = make<PJsonParser>();
    EXPECT_FALSE(parser->objectWithString(NSString::stringWithCharacters(nulInString, 5)));
    EXPECT_EQ(traceOf(parser).front(), "11 Unexpected EOF while parsing string");
}

// Strings read by the parser behave as strings made the ordinary way: equal, same hash, usable
// as keys either way, mutable values that change like any mutable string, and one string's text
// never leaking into the next one read by the same parser.
TEST(PJsonParserTest, StringsEqualOrdinaryStrings) {
    auto parser = make<PJsonParser>();
    auto d = as<NSDictionary>(parser->objectWithString(str(
        "{\"title\": \"Caf\\u00e9 \\\"racer\\\" \xe2\x80\x93 7\", \"id\": \"x\", \"\": \"\"}")));
    ASSERT_TRUE(d);
    const std::u16string title = u"Caf\u00e9 \"racer\" \u2013 7";
    auto value = as<NSMutableString>(d->objectForKey(NS("title")));
    ASSERT_TRUE(value);
    auto ordinary = NSMutableString::stringWithString(NSString::fromUTF16(title));
    EXPECT_TRUE(value->isEqual(ordinary));
    EXPECT_TRUE(ordinary->isEqual(value));
    EXPECT_EQ(value->hash(), ordinary->hash());
    EXPECT_EQ(value->u16(), title);
    EXPECT_EQ(text(d->objectForKey(NS("id"))), "x");
    EXPECT_EQ(text(d->objectForKey(NS(""))), "");
    // Keys are immutable and their own copies; an ordinary key finds them and they find values.
    auto keys = d->allKeys();
    for (NSObject* key : *keys) {
        auto k = cast<NSString>(Ref<NSObject>(key));
        EXPECT_FALSE(is<NSMutableString>(k));
        EXPECT_EQ(k->copy().get(), k.get());
        auto plain = NSMutableDictionary::dictionary();
        plain->setObject(NS("found"), NSString::fromUTF16(k->u16()));
        EXPECT_TRUE(plain->objectForKey(k));
    }
    // A value's mutable copy and the value itself change independently.
    auto copy = value->mutableCopy();
    value->appendString(NS("!"));
    ordinary->appendString(NS("!"));
    EXPECT_TRUE(value->isEqual(ordinary));
    EXPECT_EQ(value->hash(), ordinary->hash());
    EXPECT_EQ(copy->u16(), title);
    copy->deleteCharactersInRange(NSMakeRange(0, 5));
    EXPECT_EQ(value->u16(), title + u"!");

    // A long string, then a short one: the second holds only its own text.
    auto a = as<NSArray>(
        parser->objectWithString(str("[\"" + std::string(300, 'y') + "\", \"z\", \"\\n\"]")));
    ASSERT_TRUE(a);
    EXPECT_EQ(cast<NSString>(a->objectAtIndex(0))->length(), 300u);
    EXPECT_EQ(text(a->objectAtIndex(1)), "z");
    EXPECT_EQ(text(a->objectAtIndex(2)), "\n");
}

// Numbers that come again may be the same object; each still has its own text's value, also
// once more distinct numbers than the parser keeps have been read, and in the next call.
TEST(PJsonParserTest, RepeatedNumbersKeepTheirValues) {
    auto parser = make<PJsonParser>();
    std::string json = "[";
    std::vector<std::string> texts;
    for (int i = 0; i < 400; ++i) {
        // Repeats, near misses (1 and 1.0, 10 and -10) and many distinct numbers.
        const std::string forms[] = {"1", "1.0", "10", "-10", "0.25", std::to_string(i) + ".5"};
        texts.push_back(forms[i % 6]);
        json += (i ? ", " : "") + texts.back();
    }
    json += "]";
    for (int call = 0; call < 2; ++call) {
        auto a = as<NSArray>(parser->objectWithString(str(json)));
        ASSERT_TRUE(a);
        ASSERT_EQ(a->count(), texts.size());
        for (size_t i = 0; i < texts.size(); ++i) {
            auto number = as<NSDecimalNumber>(a->objectAtIndex(i));
            ASSERT_TRUE(number) << i;
            EXPECT_TRUE(number->isEqual(NSDecimalNumber::decimalNumberWithString(str(texts[i]))))
                << texts[i];
        }
    }
    auto again = as<NSArray>(parser->objectWithString(str("[7, 7]")));
    ASSERT_TRUE(again);
    EXPECT_EQ(text(again->objectAtIndex(0)), "7");
    EXPECT_EQ(text(again->objectAtIndex(1)), "7");
}

// Every kind of byte that ends or continues a plain run, at every place within and across
// eight-byte blocks: the value is the text's, and a raw control character fails wherever it is.
TEST(PJsonParserTest, StringRunsEndAtTheRightByteWherever) {
    struct Case {
        std::string json;      // inside the quotes
        std::u16string value;  // what it reads as
    };
    const Case middles[] = {{"\\\"", u"\""},         {"\\\\", u"\\"},  {"\\n", u"\n"},
                            {"\xC3\xA9", u"\u00e9"}, {" ", u" "},      {"\x7F", u"\x7F"},
                            {"!#[]", u"!#[]"},       {"\\u0041", u"A"}};
    auto parser = make<PJsonParser>();
    for (size_t before = 0; before < 19; ++before) {
        for (size_t after : {size_t{0}, size_t{3}, size_t{9}, size_t{17}}) {
            for (const Case& middle : middles) {
                std::string json = "[\"" + std::string(before, 'a') + middle.json +
                                   std::string(after, 'b') + "\"]";
                SCOPED_TRACE(json);
                auto a = as<NSArray>(parser->objectWithString(str(json)));
                ASSERT_TRUE(a);
                EXPECT_EQ(
                    cast<NSString>(a->objectAtIndex(0))->u16(),
                    std::u16string(before, u'a') + middle.value + std::u16string(after, u'b'));
            }
            std::string bad =
                "[\"" + std::string(before, 'a') + "\x1F" + std::string(after, 'b') + "\"]";
            EXPECT_FALSE(parser->objectWithString(str(bad))) << before << " " << after;
            EXPECT_EQ(traceOf(parser).front(), "5 Unescaped control character '0x1f'");
            // The same places in a key.
            std::string key =
                "{\"" + std::string(before, 'k') + "\\\"" + std::string(after, 'k') + "\": 1}";
            auto d = as<NSDictionary>(parser->objectWithString(str(key)));
            ASSERT_TRUE(d);
            EXPECT_TRUE(d->objectForKey(
                NSString::fromUTF8(std::string(before, 'k') + "\"" + std::string(after, 'k'))));
        }
    }
}

// A parse that fails inside nested containers leaves nothing behind for the next one.
TEST(PJsonParserTest, FailedParseLeavesNothingForTheNext) {
    auto parser = make<PJsonParser>();
    EXPECT_FALSE(parser->objectWithString(str("[1, [2, {\"a\": [3, {\"b\": 4")));
    EXPECT_FALSE(parser->objectWithString(str("{\"x\": [5, 6], \"y\": {\"z\": ]}")));
    auto a = as<NSArray>(parser->objectWithString(str("[7, [8]]")));
    ASSERT_TRUE(a);
    EXPECT_EQ(text(a),
              text(NSArray::arrayWithObjects(
                  {NSDecimalNumber::decimalNumberWithString(NS("7")),
                   NSArray::arrayWithObject(NSDecimalNumber::decimalNumberWithString(NS("8")))})));
    auto d = as<NSDictionary>(parser->objectWithString(str("{\"k\": {}}")));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->count(), 1u);
    EXPECT_EQ(as<NSDictionary>(d->objectForKey(NS("k")))->count(), 0u);
}

// Text given as UTF-16 units, surrogates included, at every place within and across blocks of
// units: a pair is one character, an unpaired surrogate reads as U+FFFD in values and keys alike,
// and characters that are not JSON are refused wherever they stand.
TEST(PJsonParserTest, TextUnitsReadWherever) {
    auto units = [](std::u16string s) { return NSString::fromUTF16(s); };
    auto parser = make<PJsonParser>();
    struct Case {
        std::u16string json;   // inside the quotes
        std::u16string value;  // what it reads as
    };
    const Case middles[] = {
        {u"\U0001F600", u"\U0001F600"},
        {std::u16string(1, char16_t{0xD800}), u"\uFFFD"},
        {std::u16string(1, char16_t{0xDC00}), u"\uFFFD"},
        {std::u16string{char16_t{0xDC00}, char16_t{0xD800}}, u"\uFFFD\uFFFD"},
        {std::u16string{char16_t{0xD800}, u'\\', u'n'}, u"\uFFFD\n"},
        {std::u16string{char16_t{0xDBFF}, char16_t{0xDBFF}, char16_t{0xDFFF}}, u"\uFFFD\U0010FFFF"},
        {u"\u00e9\u2013\uFFFF", u"\u00e9\u2013\uFFFF"},
    };
    for (size_t before = 0; before < 10; ++before) {
        for (size_t after : {size_t{0}, size_t{1}, size_t{5}}) {
            for (const Case& middle : middles) {
                const std::u16string inner =
                    std::u16string(before, u'a') + middle.json + std::u16string(after, u'b');
                const std::u16string value =
                    std::u16string(before, u'a') + middle.value + std::u16string(after, u'b');
                auto a = as<NSArray>(parser->objectWithString(units(u"[\"" + inner + u"\"]")));
                ASSERT_TRUE(a) << before << " " << after;
                EXPECT_EQ(cast<NSString>(a->objectAtIndex(0))->u16(), value);
                // The same key twice: both read alike, the later value wins.
                auto d = as<NSDictionary>(parser->objectWithString(
                    units(u"{\"" + inner + u"\": 1, \"" + inner + u"\": 2}")));
                ASSERT_TRUE(d);
                EXPECT_EQ(d->count(), 1u);
                auto found = as<NSNumber>(d->objectForKey(NSString::fromUTF16(value)));
                ASSERT_TRUE(found);
                EXPECT_EQ(found->intValue(), 2);
            }
        }
    }
    // An escape names the character after the backslash by the byte that starts it in UTF-8.
    const std::pair<std::u16string, std::string> escapes[] = {
        {u"\u00e9", "8 Illegal escape sequence '0xc3'"},
        {u"\u07ff", "8 Illegal escape sequence '0xdf'"},
        {u"\u0800", "8 Illegal escape sequence '0xe0'"},
        {u"\u2013", "8 Illegal escape sequence '0xe2'"},
        {u"\U0001F600", "8 Illegal escape sequence '0xf0'"},
        {std::u16string(1, char16_t{0xDC00}), "8 Illegal escape sequence '0xef'"},
        {std::u16string(1, char16_t{0xD800}), "8 Illegal escape sequence '0xef'"},
    };
    for (const auto& [escaped, error] : escapes) {
        EXPECT_FALSE(parser->fragmentWithString(units(u"\"x\\" + escaped + u"\"")));
        EXPECT_EQ(traceOf(parser).front(), error);
    }
    // Outside strings nothing but ASCII has a meaning.
    for (const std::u16string& json :
         {std::u16string(u"[\u00e9]"), std::u16string(u"[\U0001F600]"),
          std::u16string{u'[', char16_t{0xD800}, u']'}, std::u16string(u"[1, \uFF11]")}) {
        EXPECT_FALSE(parser->objectWithString(units(json)));
        EXPECT_EQ(traceOf(parser).front(), "3 Unrecognised leading character");
    }
    EXPECT_FALSE(parser->objectWithString(units(u"{\u00e9: 1}")));
    EXPECT_EQ(traceOf(parser).front(), "3 Object key string expected");
    EXPECT_FALSE(parser->objectWithString(units(u"[tru\u00e9]")));
    EXPECT_EQ(traceOf(parser).front(), "3 Expected 'true'");
    EXPECT_FALSE(parser->objectWithString(units(u"[nul")));
    EXPECT_EQ(traceOf(parser).front(), "3 Expected 'null'");
    EXPECT_FALSE(parser->objectWithString(units(u"[1]\u00a0")));
    EXPECT_EQ(traceOf(parser).front(), "10 Garbage after JSON");
    EXPECT_FALSE(parser->objectWithString(units(u"[1\u0661]")));
    EXPECT_EQ(traceOf(parser).back(), "3 Expected value while parsing array");
}

// The text is read alike whether the string keeps its units in its default storage, in its
// own allocation or after a change: values, failures and the NUL that ends a text.
TEST(PJsonParserTest, EveryKindOfStringReadsAlike) {
    const std::u16string texts[] = {
        u"{\"a\": [1, \"x\\n\", {\"b\": null}], \"c\": \"\u00e9\U0001F600\"}",
        u"[\"unterminated",
        std::u16string{u'[', u'1', u']', 0, u'x'},
        u"{\"k\": 1,}",
        u"[\"" + std::u16string(100, u'w') + u"\", 2.5e3]",
    };
    for (const std::u16string& units : texts) {
        auto mutated = NSMutableString::compactStringWithUnits(units.substr(1));
        mutated->insertString(NSString::fromUTF16(units.substr(0, 1)), 0);
        Ref<NSString> forms[] = {NSString::fromUTF16(units),
                                 NSString::compactStringWithUnits(units),
                                 NSMutableString::compactStringWithUnits(units), mutated};
        auto parser = make<PJsonParser>();
        auto expected = parser->objectWithString(forms[0]);
        auto expectedTrace = traceOf(parser);
        for (NSString* form : forms) {
            ASSERT_EQ(form->u16(), units);
            auto value = parser->objectWithString(form);
            EXPECT_EQ(!value, !expected);
            if (value) {
                EXPECT_TRUE(value->isEqual(expected));
            }
            EXPECT_EQ(traceOf(parser), expectedTrace);
        }
    }
}

// Notes the length of the trace after each announced change (0 for none) and what came before.
class TraceWatcher : public NSObject {
    NS_OBJECT(TraceWatcher, NSObject)
    void observeValueForKeyPath(NSString* keyPath, NSObject*, NSDictionary* change,
                                void*) override {
        EXPECT_EQ(text(keyPath), "errorTrace");
        auto now = as<NSArray>(change->objectForKey(NSKeyValueChangeNewKey));
        auto before = as<NSArray>(change->objectForKey(NSKeyValueChangeOldKey));
        lengths.push_back(now ? static_cast<int>(now->count()) : 0);
        previous.push_back(before ? static_cast<int>(before->count()) : 0);
    }
    std::vector<int> lengths;
    std::vector<int> previous;
};

TEST(PJsonParserTest, TraceChangesAreAnnouncedToObservers) {
    auto parser = make<PJsonParser>();
    auto watcher = make<TraceWatcher>();
    parser->addObserver(watcher.get(), NS("errorTrace"),
                        NSKeyValueObservingOptionNew | NSKeyValueObservingOptionOld, nullptr);
    // Cleared at the start, then one announcement per error, each seeing the trace grow.
    EXPECT_FALSE(parser->objectWithString(str("[1,]")));
    auto trace = traceOf(parser.get());
    ASSERT_GE(trace.size(), 1u);
    std::vector<int> grown{0};
    for (size_t i = 1; i <= trace.size(); ++i)
        grown.push_back(static_cast<int>(i));
    EXPECT_EQ(watcher->lengths, grown);
    EXPECT_EQ(watcher->previous[0], 0);
    EXPECT_EQ(watcher->previous.back(), static_cast<int>(trace.size()) - 1);
    // The next parse clears it: the old trace goes with one announcement.
    watcher->lengths.clear();
    watcher->previous.clear();
    EXPECT_TRUE(parser->objectWithString(str("[1]")));
    EXPECT_EQ(watcher->lengths, std::vector<int>{0});
    EXPECT_EQ(watcher->previous, std::vector<int>{static_cast<int>(trace.size())});
    parser->removeObserver(watcher.get(), NS("errorTrace"));

    // The wrapper announces the trace it takes over from its parser.
    auto json = make<PJSON>();
    auto onWrapper = make<TraceWatcher>();
    json->addObserver(onWrapper.get(), NS("errorTrace"), NSKeyValueObservingOptionNew, nullptr);
    EXPECT_FALSE(json->objectWithString(str("{")));
    ASSERT_FALSE(onWrapper->lengths.empty());
    EXPECT_GT(onWrapper->lengths.back(), 0);
    json->removeObserver(onWrapper.get(), NS("errorTrace"));
}

}  // namespace
