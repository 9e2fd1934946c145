#include "ads/ironvine/network/IVReachability.h"

#include <gtest/gtest.h>

#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "SystemConfiguration/SCNetworkReachability.h"
#include "ads/ironvine/IVController.h"

namespace {

struct FlagsScope {
    explicit FlagsScope(uint32_t flags) { SCNetworkReachabilitySetFlagsForTesting(flags); }
    ~FlagsScope() { SCNetworkReachabilityClearFlagsForTesting(); }
};

constexpr uint32_t kReachable = kSCNetworkReachabilityFlagsReachable;

TEST(IVReachabilityTest, StatusComesFromTheDefaultRoute) {
    auto r = IVReachability::sharedReachability();
    {
        FlagsScope offline(0);
        EXPECT_EQ(r->internetConnectionStatus(), 0);
    }
    {
        FlagsScope online(kReachable);
        r->setHostName(NS("unreachable.ironvine.test"));
        EXPECT_EQ(r->internetConnectionStatus(), 2);
    }
    {
        FlagsScope transient(kReachable | kSCNetworkReachabilityFlagsTransientConnection);
        EXPECT_EQ(r->internetConnectionStatus(), 1);
    }
    {
        // An ad-hoc network without internet.
        FlagsScope adHoc(kReachable | kSCNetworkReachabilityFlagsIsDirect);
        EXPECT_EQ(r->internetConnectionStatus(), 0);
        EXPECT_EQ(r->localWiFiConnectionStatus(), 2);
    }
    {
        FlagsScope needsConnection(kReachable | kSCNetworkReachabilityFlagsConnectionRequired);
        EXPECT_EQ(r->internetConnectionStatus(), 0);
    }
    {
        FlagsScope cellular(kReachable | kSCNetworkReachabilityFlagsConnectionRequired |
                            kSCNetworkReachabilityFlagsIsWWAN);
        EXPECT_EQ(r->internetConnectionStatus(), 2);
        EXPECT_EQ(r->localWiFiConnectionStatus(), 0);
    }
}

TEST(IVReachabilityTest, QueriesAreCachedByKey) {
    auto r = IVReachability::sharedReachability();
    FlagsScope online(kReachable);
    r->internetConnectionStatus();
    auto first = r->reachabilityQueries()->objectForKey(NS("0.0.0.0"));
    ASSERT_TRUE(first);
    r->internetConnectionStatus();
    EXPECT_EQ(r->reachabilityQueries()->objectForKey(NS("0.0.0.0")).get(), first.get());
    EXPECT_EQ(r->reachabilityRefForHostName(NS("ads.ironvine.test")).get(),
              r->reachabilityRefForHostName(NS("ads.ironvine.test")).get());
    EXPECT_FALSE(r->reachabilityRefForHostName(NS("")));
    EXPECT_FALSE(r->reachabilityRefForAddress(NS("not an address")));
    EXPECT_TRUE(r->isHostReachable(NS("ads.ironvine.test")));
}

TEST(IVReachabilityTest, RemoteHostWithoutTargetAnswersZero) {
    auto r = make<IVReachability>();
    EXPECT_EQ(r->remoteHostStatus(), 0);
    FlagsScope online(kReachable);
    r->setAddress(NS("10.1.2.3"));
    EXPECT_EQ(r->remoteHostStatus(), 2);
    EXPECT_TRUE(r->isReachableWithoutRequiringConnection(kReachable));
    EXPECT_FALSE(r->isReachableWithoutRequiringConnection(0));
}

TEST(IVReachabilityTest, ServerReachabilityNamesTheServerButAsksTheDefaultRoute) {
    auto controller = IVController::sharedController();
    controller->setServerURL(NS("http://ads.ironvine.test/AdBridgeServer"));
    {
        FlagsScope online(kReachable);
        EXPECT_EQ(controller->serverReachability(), 2);
        EXPECT_EQ(IVReachability::sharedReachability()->hostName()->utf8(), "ads.ironvine.test");
    }
    {
        FlagsScope offline(0);
        EXPECT_EQ(controller->serverReachability(), 0);
    }
}

}  // namespace
