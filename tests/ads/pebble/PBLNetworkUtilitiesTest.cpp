#include "ads/pebble/PBLNetworkUtilities.h"

#include <gtest/gtest.h>

#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/ProcessWide.h"
#include "SystemConfiguration/SCNetworkReachability.h"
#include "ads/pebble/PBLNetworkChecker.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"

namespace {

Ref<NSURL> url(const char* s) {
    return NSURL::URLWithString(NSString::stringWithUTF8String(s));
}

TEST(PBLNetworkUtilitiesTest, AppendingQueries) {
    auto a = PBLNetworkUtilities::appendQueryKey(NS("k"), NS("v"), url("http://ads.test/x?a=1"));
    EXPECT_EQ(text(a->absoluteString()), "http://ads.test/x?a=1&k=v");
    auto b = PBLNetworkUtilities::appendQueryKey(NS("k"), NS("a b&c"), url("http://ads.test/x"));
    EXPECT_EQ(text(b->absoluteString()), "http://ads.test/x?k=a%20b%26c");
    // An empty query counts as none.
    auto c = PBLNetworkUtilities::appendQueryKey(NS("k"), nullptr, url("http://ads.test/x?"));
    EXPECT_EQ(text(c->absoluteString()), "http://ads.test/x??k");
    auto params = NSDictionary::dictionaryWithObjectsAndKeys(
        {NSNumber::numberWithInt(3), NS("n"), NS(""), NS("bare"), NS("/?"), NS("s")});
    auto d = PBLNetworkUtilities::appendQueryParameters(params, url("http://ads.test/"));
    EXPECT_EQ(text(d->absoluteString()), "http://ads.test/?n=3&bare&s=%2F%3F");
    auto e = PBLNetworkUtilities::appendQueryParameters(NSDictionary::dictionary(),
                                                        url("http://ads.test/p?q"));
    EXPECT_EQ(text(e->absoluteString()), "http://ads.test/p?q");
    EXPECT_EQ(text(PBLNetworkUtilities::encodeURL(NS("!*'();:@&=+$,/?%#[] \u00e9"))),
              "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D%20%C3%A9");
}

TEST(PBLNetworkUtilitiesTest, LookingUpOneParameter) {
    auto u = url("http://ads.test/c?AI=big&ai&ai=x%20y=z&ai=second");
    EXPECT_EQ(text(PBLNetworkUtilities::parameterValueForKey(NS("ai"), u)), "x%20y");
    EXPECT_EQ(text(PBLNetworkUtilities::parameterValueForKey(NS("AI"), u)), "big");
    EXPECT_EQ(PBLNetworkUtilities::parameterValueForKey(NS("zz"), u).get(), nullptr);
    EXPECT_EQ(PBLNetworkUtilities::parameterValueForKey(NS("ai"), url("http://ads.test/")).get(),
              nullptr);
}

TEST(PBLNetworkUtilitiesTest, ParsingQueryStrings) {
    auto d = PBLNetworkUtilities::dictionaryFromQueryString(
        NS("Name=A%20b;;x=1&&bare&two=a=b&plus=c+d&name=last"));
    EXPECT_EQ(d->count(), 3u);
    EXPECT_EQ(text(d->objectForKey(NS("name"))), "last");
    EXPECT_EQ(text(d->objectForKey(NS("x"))), "1");
    EXPECT_EQ(text(d->objectForKey(NS("plus"))), "c+d");
    EXPECT_EQ(PBLNetworkUtilities::dictionaryFromQueryString(nullptr)->count(), 0u);
    // A malformed escape drops only its own pair.
    auto bad = PBLNetworkUtilities::dictionaryFromQueryString(NS("a=%zz&b=2"));
    EXPECT_EQ(bad->count(), 1u);
    EXPECT_EQ(text(bad->objectForKey(NS("b"))), "2");
}

TEST(PBLNetworkUtilitiesTest, UserAgentKeepsCopyAndIgnoresEmpty) {
    auto ua = NSMutableString::stringWithString(NS("Pebble/1"));
    PBLNetworkUtilities::setUserAgentString(ua);
    ua->appendString(NS("x"));
    PBLNetworkUtilities::setUserAgentString(NS(""));
    EXPECT_EQ(text(PBLNetworkUtilities::userAgentString()), "Pebble/1");
    // The host sets it at each start: the reset between tests forgets it.
    resetProcessWideInstances();
    EXPECT_FALSE(PBLNetworkUtilities::userAgentString());
}

// The shared checker listens from its first use; the reset between tests drops it and stops it
// listening, even while a caller still holds it.
TEST(PBLNetworkCheckerTest, TheResetBetweenTestsStopsTheSharedChecker) {
    auto shared = PBLNetworkChecker::sharedChecker();
    EXPECT_TRUE(shared->isEnabled());
    EXPECT_EQ(PBLNetworkChecker::sharedChecker().get(), shared.get());
    resetProcessWideInstances();
    EXPECT_FALSE(shared->isEnabled());
    EXPECT_NE(PBLNetworkChecker::sharedChecker().get(), shared.get());
}

TEST(PBLNetworkCheckerTest, TypeFollowsPlatformReports) {
    auto checker = make<PBLNetworkChecker>();
    EXPECT_FALSE(checker->isEnabled());
    checker->setNetworkTypeFromFlags(kSCNetworkReachabilityFlagsReachable |
                                     kSCNetworkReachabilityFlagsIsWWAN);
    EXPECT_EQ(checker->networkType(), 3);
    EXPECT_EQ(text(checker->networkTypeString()), "ed");
    checker->setNetworkTypeFromFlags(kSCNetworkReachabilityFlagsIsWWAN);
    EXPECT_EQ(checker->networkType(), 1);
    EXPECT_EQ(checker->networkTypeString().get(), nullptr);

    checker->setEnabled(true);
    ASSERT_TRUE(checker->isEnabled());
    EXPECT_EQ(checker->networkType(), 0);  // no report yet
    unsigned before = checker->changeCount();
    SCNetworkReachabilitySetFlagsForTesting(kSCNetworkReachabilityFlagsReachable);
    EXPECT_TRUE(runLoopUntil([&] { return checker->changeCount() > before; }));
    EXPECT_EQ(checker->networkType(), 2);
    EXPECT_EQ(text(checker->networkTypeString()), "wi");
    checker->setEnabled(false);
    EXPECT_FALSE(checker->isEnabled());
    EXPECT_EQ(checker->networkType(), 0);
    SCNetworkReachabilityClearFlagsForTesting();
}

}  // namespace
