// The ways the engine reads a response head quickly against the general ones: several header
// values found in one walk against each looked up alone, and the charset of a Content-Type read
// in place against the platform scanner's reading.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "external/nk-http-request/Classes/NKHTTPRequestInternal.h"
#include "support/FoundationTesting.h"

namespace {

std::vector<Ref<NSDictionary>> headSamples() {
    std::vector<Ref<NSDictionary>> out;
    auto add = [&](std::initializer_list<std::pair<NSObject*, NSObject*>> entries) {
        auto d = NSMutableDictionary::dictionary();
        for (auto& [key, value] : entries)
            d->setObject(value, key);
        out.push_back(d);
    };
    add({});
    add({{NS("Content-Type"), NS("text/html")}, {NS("Content-Length"), NS("21")}});
    // Names in any case, the exact spelling after another one or missing altogether.
    add({{NS("content-length"), NS("1")},
         {NS("CONTENT-LENGTH"), NS("2")},
         {NS("Content-Length"), NS("3")},
         {NS("connection"), NS("close")},
         {NS("KEEP-alive"), NS("max=10")},
         {NS("location"), NS("/next")}});
    // Names of the same length that differ, in letters or in what only looks like a letter.
    add({{NS("Content-Typf"), NS("x")},
         {NS("Content_Type"), NS("y")},
         {NS("Connectio@"), NS("z")},
         {NS("Locatio`"), NS("w")},
         {NS("Content\rType"), NS("v")},  // '\r' and '-' differ in the case bit alone
         {NS("Set-Cookie"), NS("a=1")}});
    // Beyond ASCII: a Kelvin sign folds to "k", an accented letter to nothing ASCII.
    add({{str("\xE2\x84\xAA"
              "eep-Alive"),
          NS("timeout=5, max=100")},
         {str("Locati\xC3\xB3n"), NS("/elsewhere")},
         {str("Con\xC5\xBF"
              "ent-Type"),
          NS("long s")}});
    // Values or keys that are not strings.
    add({{NS("Content-Length"), NSNumber::numberWithInt(5)},
         {NS("content-length"), NS("6")},
         {NSNumber::numberWithInt(1), NS("a number as a key")},
         {NS("Location"), NSNumber::numberWithInt(7)}});
    // A mutable key keeps its text elsewhere than a plain string.
    add({{NSMutableString::stringWithString(NS("CONNECTION")), NS("keep-alive")}});
    return out;
}

TEST(ResponseHead, ValuesFoundInOneWalkEqualEachLookedUpAlone) {
    NSString* const names[] = {NS("Content-Type"),  NS("Location"),   NS("Content-Length"),
                               NS("Connection"),    NS("Keep-Alive"), nullptr,
                               NS("content-length")};
    constexpr size_t count = sizeof names / sizeof names[0];
    size_t found = 0;
    std::vector<Ref<NSDictionary>> samples = headSamples();
    samples.push_back(nullptr);
    for (size_t s = 0; s < samples.size(); ++s) {
        SCOPED_TRACE(testing::Message() << "sample " << s);
        NSDictionary* headers = samples[s].get();
        Ref<NSString> values[count];
        nk_detail::headerValues(headers, names, count, values);
        for (size_t i = 0; i < count; ++i) {
            EXPECT_EQ(text(values[i]), text(nk_detail::headerValue(headers, names[i])))
                << text(names[i]);
            found += values[i] != nullptr;
        }
    }
    // The samples exercise matches of every kind, not only misses.
    EXPECT_GT(found, 10u);
}

TEST(ResponseHead, StringsToldApartWithoutACastAreThoseACastFinds) {
    Ref<NSObject> objects[] = {NS("literal"),
                               NSString::fromUTF8("made"),
                               NSString::compactStringWithUTF8("compact"),
                               NSMutableString::stringWithString(NS("mutable")),
                               NSNumber::numberWithInt(3),
                               NSDictionary::dictionary(),
                               nullptr};
    for (NSObject* o : objects) {
        Ref<NSString> fast = nk_detail::asString(o);
        EXPECT_EQ(fast.get(), as<NSString>(o).get()) << text(o);
    }
}

TEST(ResponseHead, CharsetReadInPlaceEqualsTheScannersReading) {
    const char* const types[] = {
        "",
        "   ",
        "text/html",
        "text/html; charset=utf-8",
        "text/html;charset=UTF-8",
        "TEXT/HTML; CHARSET=ISO-8859-1",
        "text/html; chaRSet=windows-1252",
        "charset=utf-8",
        "  charset=utf-8",
        "\t\r\ncharset=latin1",
        "x charset=us-ascii",
        "text/html; charset= utf-8",
        "text/html; charset=\t\n utf-16le",
        "text/html; charset=utf-8 ",
        "text/html; charset=utf-8;q=1",
        "text/html; charset=utf-8 ; x",
        "text/html; charset=;",
        "text/html; charset=",
        "text/html; charset=  ",
        "text/html; charset=\"utf-8\"",
        "text/html; charset=charset=utf-8",
        "text/html; charset=unknown",
        "text/html; charset=utf-32BE",
        "text/html; charset=iso_8859-1:1987",
        "text/html; charset=macintosh; charset=utf-8",
        "text/html; charse=utf-8",
        "text/html; charset:utf-8",
        // Beyond ASCII the scanner's Unicode folding and white space decide.
        "text/html; char\xC5\xBF"
        "et=utf-8",
        "text/html; charset=\xC3\xBCtf-8",
        "\xE2\x80\x83"
        "charset=utf-8",
        "text/html;\xC2\xA0"
        "charset=\xC2\xA0latin1",
    };
    size_t known = 0;
    for (const char* type : types) {
        Ref<NSString> contentType = str(type);
        NSStringEncoding fast = nk_detail::charsetEncoding(contentType);
        EXPECT_EQ(fast, nk_detail::charsetEncodingScanned(contentType)) << type;
        known += fast != 0;
    }
    EXPECT_EQ(nk_detail::charsetEncoding(nullptr), 0u);
    // Both readings find names in most of the samples, not only nothing.
    EXPECT_GT(known, 10u);
}

}  // namespace
