// The layer's errors and log, and the reachability probe's reading of the platform's flags.
#include "AdLoom/internal/AWNetworkReachabilityWrapper.h"
#include "AdLoomTesting.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSRunLoop.h"

#include <thread>

using namespace adloomtest;

namespace {

using AdLoomErrorTest = AdLoomTest;

TEST_F(AdLoomErrorTest, ErrorsCarryCodeDescriptionAndUnderlyingError) {
    auto cause = NSError::errorWithDomain(NS("Net"), -1004, nullptr);
    auto e =
        AdLoomError::errorWithCode(40, NS("Error connecting to custom ad server"), cause.get());
    EXPECT_EQ(text(e->domain()), text(AdLoomErrorDomain));
    EXPECT_EQ(e->code(), 40);
    EXPECT_EQ(text(e->localizedDescription()), "Error connecting to custom ad server");
    EXPECT_EQ(e->userInfo()->objectForKey(NSUnderlyingErrorKey).get(), cause.get());
    auto plain = AdLoomError::errorWithCode(120, NS("No more ad networks to roll over"));
    EXPECT_EQ(plain->userInfo()->objectForKey(NSUnderlyingErrorKey), nullptr);
    auto info =
        AdLoomError::errorWithCode(7, NSDictionary::dictionaryWithObject(NS("v"), NS("k")).get());
    EXPECT_EQ(text(info->userInfo()->objectForKey(NS("k"))), "v");
}

TEST_F(AdLoomErrorTest, WarningsPrintAndDebugMessagesDoNot) {
    AdLoomLogCritical(NS("critical %d"), 1);
    AdLoomLogError(NS("error %@"), NS("two"));
    AdLoomLogWarning(NS("warning %d"), 3);
    AdLoomLogDebug(NS("debug %d"), 4);
    EXPECT_TRUE(logged("critical 1"));
    EXPECT_TRUE(logged("error two"));
    EXPECT_TRUE(logged("warning 3"));
    EXPECT_FALSE(logged("debug 4"));
}

class Listener : public NSObject, public AWNetworkReachabilityDelegate {
    NS_OBJECT(Listener, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"reachabilityBecameReachable:", "reachabilityNotReachable:"});
    }
    void reachabilityBecameReachable(AWNetworkReachabilityWrapper*) override { answers += "R"; }
    void reachabilityNotReachable(AWNetworkReachabilityWrapper*) override { answers += "N"; }
    std::string answers;
};

TEST_F(AdLoomErrorTest, FlagsNeedingAConnectionCountAsReachableOnlyWithoutAPerson) {
    using W = AWNetworkReachabilityWrapper;
    const auto R = kSCNetworkReachabilityFlagsReachable;
    const auto req = kSCNetworkReachabilityFlagsConnectionRequired;
    EXPECT_TRUE(W::flagsMeanReachable(R));
    EXPECT_FALSE(W::flagsMeanReachable(0));
    EXPECT_FALSE(W::flagsMeanReachable(req | kSCNetworkReachabilityFlagsIsWWAN));
    EXPECT_TRUE(W::flagsMeanReachable(R | req | kSCNetworkReachabilityFlagsIsWWAN));
    EXPECT_TRUE(W::flagsMeanReachable(R | req | kSCNetworkReachabilityFlagsConnectionOnTraffic));
    EXPECT_FALSE(W::flagsMeanReachable(R | req | kSCNetworkReachabilityFlagsConnectionOnTraffic |
                                       kSCNetworkReachabilityFlagsInterventionRequired));
    EXPECT_FALSE(W::flagsMeanReachable(R | req));
    EXPECT_FALSE(W::flagsMeanReachable(R | req | kSCNetworkReachabilityFlagsInterventionRequired));
}

TEST_F(AdLoomErrorTest, AScheduledProbeAnswersItsDelegateAndAFreedOneIsUnscheduled) {
    ScopedEnv hosts("BAZAARNEST_HOSTS", "www.probe.test=127.0.0.1");
    auto listener = make<Listener>();
    auto probe = AWNetworkReachabilityWrapper::reachabilityWithHostname(NS("www.probe.test"),
                                                                        listener.get());
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(text(probe->hostname()), "www.probe.test");
    ASSERT_TRUE(probe->scheduleInCurrentRunLoop());
    EXPECT_FALSE(probe->scheduleInCurrentRunLoop());  // once per loop
    ASSERT_TRUE(runLoopUntil([&] { return !listener->answers.empty(); }));
    EXPECT_EQ(listener->answers, "R");

    SCNetworkReachabilitySetFlagsForTesting(kSCNetworkReachabilityFlagsReachable |
                                            kSCNetworkReachabilityFlagsConnectionRequired);
    ASSERT_TRUE(runLoopUntil([&] { return listener->answers.size() == 2; }));
    EXPECT_EQ(listener->answers, "RN");

    // Freed while scheduled: later changes reach nobody.
    probe = nullptr;
    SCNetworkReachabilitySetFlagsForTesting(kSCNetworkReachabilityFlagsReachable);
    advanceRunLoop(1);
    EXPECT_EQ(listener->answers, "RN");

    // A name the host override does not map is not reachable.
    SCNetworkReachabilityClearFlagsForTesting();
    auto unmapped =
        AWNetworkReachabilityWrapper::reachabilityWithHostname(NS("nowhere.test"), listener.get());
    ASSERT_TRUE(unmapped->scheduleInCurrentRunLoop());
    ASSERT_TRUE(runLoopUntil([&] { return listener->answers.size() == 3; }));
    EXPECT_EQ(listener->answers, "RNN");
    EXPECT_TRUE(unmapped->unscheduleFromCurrentRunLoop());
    EXPECT_FALSE(unmapped->unscheduleFromCurrentRunLoop());

    EXPECT_EQ(AWNetworkReachabilityWrapper::reachabilityWithHostname(NS(""), listener.get()),
              nullptr);
    EXPECT_TRUE(logged("Error creating SCNetworkReachability"));
}

TEST_F(AdLoomErrorTest, AProbeFreedOnAnotherThreadLeavesTheLoopItWasScheduledOn) {
    ScopedEnv hosts("BAZAARNEST_HOSTS", "www.probe.test=127.0.0.1");
    auto listener = make<Listener>();
    auto probe = AWNetworkReachabilityWrapper::reachabilityWithHostname(NS("www.probe.test"), listener.get());
    ASSERT_TRUE(probe->scheduleInCurrentRunLoop());
    Weak<AWNetworkReachabilityWrapper> weak(probe.get());
    std::thread([p = std::move(probe)]() mutable { p = nullptr; }).join();
    EXPECT_EQ(weak.lock(), nullptr);
    SCNetworkReachabilitySetFlagsForTesting(0);
    advanceRunLoop(1);
    EXPECT_EQ(listener->answers, "");
}

}  // namespace
