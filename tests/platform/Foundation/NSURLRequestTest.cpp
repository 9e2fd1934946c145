#include <gtest/gtest.h>

#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "support/FoundationTesting.h"

namespace {
Ref<NSURL> url(const char* s) {
    return NSURL::URLWithString(str(s));
}
}  // namespace

TEST(NSURLRequestTest, DefaultsAndDescription) {
    auto r = NSURLRequest::requestWithURL(url("http://a.test/x"));
    EXPECT_EQ(r->HTTPMethod()->utf8(), "GET");
    EXPECT_EQ(r->timeoutInterval(), 60.0);
    EXPECT_EQ(r->cachePolicy(), NSURLRequestUseProtocolCachePolicy);
    EXPECT_FALSE(r->allHTTPHeaderFields());
    EXPECT_FALSE(r->HTTPBody());
    EXPECT_TRUE(r->HTTPShouldHandleCookies());
    EXPECT_EQ(text(r), "<NSURLRequest http://a.test/x>");
    auto timed = NSURLRequest::requestWithURL(url("http://a.test/"),
                                              NSURLRequestReloadIgnoringLocalCacheData, 5);
    EXPECT_EQ(timed->timeoutInterval(), 5.0);
    EXPECT_EQ(timed->cachePolicy(), NSURLRequestReloadIgnoringLocalCacheData);
}

TEST(NSURLRequestTest, HeaderNamesIgnoreCaseAndKeepTheirFirstSpelling) {
    auto r = NSMutableURLRequest::requestWithURL(url("http://a.test/"));
    r->setValueForHTTPHeaderField(NS("text/html"), NS("Accept"));
    r->setValueForHTTPHeaderField(NS("application/json"), NS("accept"));
    r->addValue(NS("gzip"), NS("Accept-Encoding"));
    r->addValue(NS("deflate"), NS("ACCEPT-ENCODING"));
    EXPECT_EQ(r->valueForHTTPHeaderField(NS("ACCEPT"))->utf8(), "application/json");
    EXPECT_EQ(r->valueForHTTPHeaderField(NS("accept-encoding"))->utf8(), "gzip,deflate");
    auto all = r->allHTTPHeaderFields();
    ASSERT_TRUE(all);
    EXPECT_EQ(all->count(), 2u);
    EXPECT_TRUE(all->objectForKey(NS("Accept")));
    r->setValueForHTTPHeaderField(nullptr, NS("ACCEPT"));
    EXPECT_FALSE(r->valueForHTTPHeaderField(NS("Accept")));
    r->setAllHTTPHeaderFields(nullptr);
    EXPECT_FALSE(r->allHTTPHeaderFields());
}

TEST(NSURLRequestTest, CopiesAreSnapshots) {
    auto r = NSMutableURLRequest::requestWithURL(url("http://a.test/"));
    r->setHTTPMethod(NS("POST"));
    std::string body = "a=1";
    r->setHTTPBody(NSData::dataWithBytes(body.data(), 3));
    r->setValueForHTTPHeaderField(NS("v"), NS("X-K"));
    Ref<NSURLRequest> frozen = r->copy();
    EXPECT_FALSE(is<NSMutableURLRequest>(frozen.get()));
    EXPECT_TRUE(frozen->isEqual(r));
    r->setURL(url("http://b.test/"));
    r->setHTTPMethod(nullptr);
    EXPECT_EQ(frozen->URL()->absoluteString()->utf8(), "http://a.test/");
    EXPECT_EQ(frozen->HTTPMethod()->utf8(), "POST");
    EXPECT_EQ(r->HTTPMethod()->utf8(), "GET");
    EXPECT_FALSE(frozen->isEqual(r));
    auto again = frozen->mutableCopy();
    EXPECT_EQ(std::string(again->HTTPBody()->view()), "a=1");
    EXPECT_EQ(again->valueForHTTPHeaderField(NS("x-k"))->utf8(), "v");
}
