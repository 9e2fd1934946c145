#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSHTTPCookie.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/ProcessWide.h"
#include "support/FoundationTesting.h"

namespace {

Ref<NSURL> url(const char* text) {
    return NSURL::URLWithString(NSString::fromUTF8(text));
}

Ref<NSArray> parse(const char* setCookie, const char* from) {
    return NSHTTPCookie::cookiesWithResponseHeaderFields(
        NSDictionary::dictionaryWithObject(NSString::fromUTF8(setCookie), NS("Set-Cookie")),
        url(from));
}

Ref<NSHTTPCookie> cookieAt(NSArray* list, NSUInteger i) {
    return as<NSHTTPCookie>(list->objectAtIndex(i));
}

Ref<NSHTTPCookie> make(const char* name, const char* domain, const char* path = "/") {
    return NSHTTPCookie::cookieWithProperties(
        NSDictionary::dictionaryWithPairs({{NSHTTPCookieName, NSString::fromUTF8(name)},
                                           {NSHTTPCookieValue, NS("v")},
                                           {NSHTTPCookieDomain, NSString::fromUTF8(domain)},
                                           {NSHTTPCookiePath, NSString::fromUTF8(path)}}));
}

// The names of the cookies, joined with spaces.
std::string names(NSArray* cookies) {
    std::string out;
    for (NSObject* o : *cookies)
        out += (out.empty() ? "" : " ") + as<NSHTTPCookie>(o)->name()->utf8();
    return out;
}

class CookieStorage : public testing::Test {
protected:
    void SetUp() override {
        NSFileManager::defaultManager()->removeItemAtPath(NSHTTPCookieStorage::cookieFilePath(),
                                                          nullptr);
        storage = NSHTTPCookieStorage::sharedHTTPCookieStorage();
    }
    Ref<NSHTTPCookieStorage> storage;
};

// ---- parsing -----------------------------------------------------------------------------------

TEST(NSHTTPCookie, ParsesJoinedFieldsAndAttributes) {
    // Two cookies joined into one field; the first one's date holds a comma of its own.
    auto list = parse(
        "sid=abc; Expires=Wed, 09 Jun 2021 10:18:14 GMT; Path=/app; Secure; "
        "HttpOnly, lang=en; domain=.Example.COM; max-age=60",
        "http://www.example.com/app/page");
    ASSERT_EQ(list->count(), 2u);
    auto sid = cookieAt(list, 0);
    EXPECT_EQ(text(sid->name()), "sid");
    EXPECT_EQ(text(sid->value()), "abc");
    EXPECT_EQ(text(sid->domain()), "www.example.com");  // host-only: no leading dot
    EXPECT_EQ(text(sid->path()), "/app");
    EXPECT_TRUE(sid->isSecure());
    EXPECT_TRUE(sid->isHTTPOnly());
    ASSERT_TRUE(sid->expiresDate());
    EXPECT_EQ(text(sid->expiresDate()), "2021-06-09 10:18:14 +0000");
    EXPECT_FALSE(sid->isSessionOnly());
    auto lang = cookieAt(list, 1);
    EXPECT_EQ(text(lang->domain()), ".example.com");
    EXPECT_EQ(text(lang->path()), "/app");  // the directory of the URL
    EXPECT_NEAR(lang->expiresDate()->timeIntervalSinceNow(), 60, 2);
}

TEST(NSHTTPCookie, FieldNamesAreComparedAsTheirLowercasedBytes) {
    // The general comparison: the name's UTF-8 with ASCII letters lowered.
    auto named = [](NSString* name) {
        std::string bytes = name->utf8();
        for (char& c : bytes)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return bytes == "set-cookie";
    };
    Ref<NSString> names[] = {
        NS("Set-Cookie"),
        NS("set-cookie"),
        NS("SET-COOKIE"),
        NS("sEt-CoOkIe"),
        NS("Set-Cookie2"),
        NS("Set-Cooki"),
        NS("Set_Cookie"),
        NS("Set\rCookie"),  // differs from '-' in the case bit alone
        NS("Set-Cookie "),
        str("\xC5\xBF"
            "et-cookie"),  // a long s folds to "s" in Unicode, not here
        str("Set-Coo\xE2\x84\xAA"
            "ie"),  // a Kelvin sign likewise to "k"
        NSMutableString::stringWithString(NS("SET-cookie")),
    };
    size_t recognised = 0;
    for (NSString* name : names) {
        auto found = NSHTTPCookie::cookiesWithResponseHeaderFields(
            NSDictionary::dictionaryWithObject(NS("a=1"), name), url("http://example.test/"));
        EXPECT_EQ(found->count(), named(name) ? 1u : 0u) << name->utf8();
        recognised += found->count();
    }
    EXPECT_EQ(recognised, 5u);
}

TEST(NSHTTPCookie, OtherDateFormsAndBadPairs) {
    auto list = parse(
        "a=1; expires=Sunday, 06-Nov-94 08:49:37 GMT, b=2; expires=Sun Nov  6 "
        "08:49:37 1994, novalue, =anon, c=; expires=not a date",
        "http://h.test/");
    ASSERT_EQ(names(list), "a b c");
    EXPECT_EQ(text(cookieAt(list, 0)->expiresDate()), "1994-11-06 08:49:37 +0000");
    EXPECT_EQ(text(cookieAt(list, 1)->expiresDate()), "1994-11-06 08:49:37 +0000");
    EXPECT_EQ(text(cookieAt(list, 2)->value()), "");
    EXPECT_TRUE(cookieAt(list, 2)->isSessionOnly());
    // No name, value or domain: no cookie.
    EXPECT_FALSE(NSHTTPCookie::cookieWithProperties(NSDictionary::dictionaryWithPairs(
        {{NSHTTPCookieName, NS("x")}, {NSHTTPCookieValue, NS("1")}})));
}

TEST(NSHTTPCookie, DomainAndPathMatching) {
    auto dotted = make("d", ".example.com", "/docs");
    EXPECT_TRUE(dotted->matchesURL(url("http://example.com/docs")));
    EXPECT_TRUE(dotted->matchesURL(url("http://a.b.example.com/docs/x")));
    EXPECT_FALSE(dotted->matchesURL(url("http://badexample.com/docs")));
    EXPECT_FALSE(dotted->matchesURL(url("http://example.com/docsets")));  // not at a "/"
    EXPECT_FALSE(dotted->matchesURL(url("http://example.com/")));
    auto hostOnly = make("h", "example.com");
    EXPECT_TRUE(hostOnly->matchesURL(url("http://EXAMPLE.com/anything")));
    EXPECT_FALSE(hostOnly->matchesURL(url("http://www.example.com/")));
    auto secure = NSHTTPCookie::cookieWithProperties(
        NSDictionary::dictionaryWithPairs({{NSHTTPCookieName, NS("s")},
                                           {NSHTTPCookieValue, NS("1")},
                                           {NSHTTPCookieOriginURL, url("https://example.com/a/b")},
                                           {NSHTTPCookieSecure, NS("TRUE")}}));
    ASSERT_TRUE(secure);
    EXPECT_EQ(text(secure->path()), "/a");
    EXPECT_TRUE(secure->matchesURL(url("https://example.com/a/c")));
    EXPECT_FALSE(secure->matchesURL(url("http://example.com/a/c")));
}

TEST(NSHTTPCookie, RequestHeader) {
    auto list = parse("A=1, B=2", "http://h.test/");
    EXPECT_EQ(text(NSHTTPCookie::requestHeaderFieldsWithCookies(list)->objectForKey(NS("Cookie"))),
              "A=1; B=2");
    EXPECT_EQ(NSHTTPCookie::requestHeaderFieldsWithCookies(NSArray::array())->count(), 0u);
}

// ---- the storage
// ---------------------------------------------------------------------------------

TEST_F(CookieStorage, DomainRulesForResponses) {
    auto from = url("http://www.shop.example.com/");
    auto list = parse(
        "own=1, parent=1; domain=example.com, sibling=1; domain=other.example.com, "
        "foreign=1; domain=evil.test, tld=1; domain=com, deeper=1; "
        "domain=a.www.shop.example.com",
        "http://www.shop.example.com/");
    storage->setCookies(list, from, nullptr);
    EXPECT_EQ(names(storage->cookies()), "own parent");
    EXPECT_EQ(names(storage->cookiesForURL(url("http://x.example.com/"))), "parent");
    // Addresses take host-only cookies or their own address.
    auto ip = url("http://127.0.0.1/");
    storage->setCookies(parse("a=1, b=1; domain=0.0.1", "http://127.0.0.1/"), ip, nullptr);
    EXPECT_EQ(names(storage->cookiesForURL(ip)), "a");
}

TEST_F(CookieStorage, ReplacementDeletionAndOrder) {
    storage->setCookie(make("root", ".example.com", "/"));
    storage->setCookie(make("deep", ".example.com", "/a/b"));
    storage->setCookie(make("mid", ".example.com", "/a"));
    EXPECT_EQ(names(storage->cookiesForURL(url("http://example.com/a/b/c"))), "deep mid root");
    // Same name, domain and path: replaced in place.
    auto again = NSHTTPCookie::cookieWithProperties(
        NSDictionary::dictionaryWithPairs({{NSHTTPCookieName, NS("root")},
                                           {NSHTTPCookieValue, NS("new")},
                                           {NSHTTPCookieDomain, NS(".EXAMPLE.com")},
                                           {NSHTTPCookiePath, NS("/")}}));
    storage->setCookie(again);
    EXPECT_EQ(names(storage->cookies()), "root deep mid");
    EXPECT_EQ(text(cookieAt(storage->cookies(), 0)->value()), "new");
    storage->deleteCookie(make("deep", ".example.com", "/a/b"));
    EXPECT_EQ(names(storage->cookies()), "root mid");
    // A server deletes a cookie by sending it already expired.
    storage->setCookies(
        parse("mid=x; path=/a; domain=example.com; max-age=0", "http://example.com/a"),
        url("http://example.com/a"), nullptr);
    EXPECT_EQ(names(storage->cookies()), "root");
}

TEST_F(CookieStorage, ExpiryFollowsTheClock) {
    ManualClockScope clock;
    auto from = url("https://example.com/");
    storage->setCookies(
        parse("short=1; max-age=10, long=1; max-age=1000, session=1, safe=1; secure",
              "https://example.com/"),
        from, nullptr);
    EXPECT_EQ(names(storage->cookiesForURL(from)), "short long session safe");
    EXPECT_EQ(names(storage->cookiesForURL(url("http://example.com/"))), "short long session");
    Clock::advance(11);
    EXPECT_EQ(names(storage->cookiesForURL(from)), "long session safe");
    EXPECT_EQ(names(storage->cookies()), "long session safe");
}

TEST_F(CookieStorage, PersistentCookiesSurviveARestart) {
    storage->setCookies(
        parse("kept=1; max-age=3600, session=1, gone=1; max-age=3600", "http://example.com/"),
        url("http://example.com/"), nullptr);
    storage->deleteCookie(make("gone", "example.com"));
    EXPECT_TRUE(
        NSFileManager::defaultManager()->fileExistsAtPath(NSHTTPCookieStorage::cookieFilePath()));
    EXPECT_TRUE(
        NSHTTPCookieStorage::cookieFilePath()->hasSuffix(NS("Library/Cookies/Cookies.plist")));
    resetProcessWideInstances();  // as after a restart of the app
    auto reborn = NSHTTPCookieStorage::sharedHTTPCookieStorage();
    EXPECT_NE(reborn.get(), storage.get());
    EXPECT_EQ(names(reborn->cookies()), "kept");
    auto kept = cookieAt(reborn->cookies(), 0);
    EXPECT_EQ(text(kept->domain()), "example.com");
    EXPECT_NEAR(kept->expiresDate()->timeIntervalSinceNow(), 3600, 5);
}

TEST_F(CookieStorage, AcceptPolicy) {
    storage->setCookieAcceptPolicy(NSHTTPCookieAcceptPolicyNever);
    storage->setCookies(parse("a=1", "http://example.com/"), url("http://example.com/"), nullptr);
    EXPECT_EQ(storage->cookies()->count(), 0u);
    storage->setCookieAcceptPolicy(NSHTTPCookieAcceptPolicyOnlyFromMainDocumentDomain);
    storage->setCookies(parse("ads=1", "http://ads.test/"), url("http://ads.test/"),
                        url("http://www.example.com/"));
    storage->setCookies(parse("img=1", "http://img.example.com/"), url("http://img.example.com/"),
                        url("http://www.example.com/"));
    EXPECT_EQ(names(storage->cookies()), "img");
}

}  // namespace
