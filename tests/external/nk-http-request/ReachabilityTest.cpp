// Reachability: the status read from the platform's flags, keys and equality, and changes
// delivered to observers through the notification (driven by the platform's test hook).
#include <arpa/inet.h>

#include "EngineTesting.h"
#include "Foundation/NSNotification.h"
#include "external/nk-http-request/Classes/Reachability.h"

using namespace enginetest;

namespace {

constexpr SCNetworkReachabilityFlags kReachable = kSCNetworkReachabilityFlagsReachable;

// Counts the change notifications and keeps the last sender.
class ChangeObserver : public NSObject {
    NS_OBJECT(ChangeObserver, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("reachabilityChanged:", &ChangeObserver::changed);
    }
    void changed(NSNotification* note) {
        ++changes;
        sender = note->object();
    }
    int changes = 0;
    Ref<NSObject> sender;
};

}  // namespace

class ReachabilityTest : public ::testing::Test {
protected:
    void TearDown() override { SCNetworkReachabilityClearFlagsForTesting(); }
};

TEST_F(ReachabilityTest, StatusFollowsTheFlags) {
    Ref<Reachability> host = Reachability::reachabilityWithHostName(NS("example.test"));
    ASSERT_TRUE(host);
    struct Case {
        SCNetworkReachabilityFlags flags;
        NetworkStatus status;
    } cases[] = {
        {0, NotReachable},
        {kReachable, ReachableViaWiFi},
        {kReachable | kSCNetworkReachabilityFlagsIsWWAN, ReachableViaWWAN},
        {kReachable | kSCNetworkReachabilityFlagsTransientConnection |
             kSCNetworkReachabilityFlagsConnectionRequired,
         NotReachable},
        {kReachable | kSCNetworkReachabilityFlagsTransientConnection, ReachableViaWiFi},
        {kReachable | kSCNetworkReachabilityFlagsConnectionRequired |
             kSCNetworkReachabilityFlagsConnectionOnTraffic,
         ReachableViaWiFi},
        {kReachable | kSCNetworkReachabilityFlagsInterventionRequired, NotReachable},
        // Local and direct bits alone change nothing.
        {kReachable | kSCNetworkReachabilityFlagsIsDirect |
             kSCNetworkReachabilityFlagsIsLocalAddress,
         ReachableViaWiFi},
    };
    for (const Case& c : cases)
        EXPECT_EQ(host->networkStatusForFlags(c.flags), c.status) << "flags " << c.flags;

    Ref<Reachability> wifi = Reachability::reachabilityForLocalWiFi();
    EXPECT_EQ(wifi->networkStatusForFlags(kReachable), NotReachable);
    EXPECT_EQ(wifi->networkStatusForFlags(kReachable | kSCNetworkReachabilityFlagsIsDirect),
              ReachableViaWiFi);
}

TEST_F(ReachabilityTest, FlagQuestionsReadThePlatformFlags) {
    Ref<Reachability> r = Reachability::reachabilityForInternetConnection();
    SCNetworkReachabilitySetFlagsForTesting(kReachable |
                                            kSCNetworkReachabilityFlagsConnectionRequired |
                                            kSCNetworkReachabilityFlagsConnectionOnDemand);
    EXPECT_TRUE(r->isConnectionRequired());
    EXPECT_TRUE(r->connectionRequired());
    EXPECT_TRUE(r->isConnectionOnDemand());
    EXPECT_FALSE(r->isInterventionRequired());
    EXPECT_TRUE(r->isReachableViaWiFi());
    SCNetworkReachabilitySetFlagsForTesting(kReachable | kSCNetworkReachabilityFlagsIsWWAN);
    EXPECT_TRUE(r->isReachableViaWWAN());
    EXPECT_TRUE(r->isReachable());
    EXPECT_EQ(r->reachabilityFlags(), kReachable | kSCNetworkReachabilityFlagsIsWWAN);

    // Without a platform target nothing can be read.
    Ref<Reachability> none = make<Reachability>(&Reachability::initWithReachabilityRef, nullptr);
    EXPECT_EQ(none->currentReachabilityStatus(), NotReachable);
    EXPECT_EQ(none->reachabilityFlags(), 0u);
    EXPECT_FALSE(none->startNotifier());
}

TEST_F(ReachabilityTest, KeysNameTheTargetAndMakeEquality) {
    EXPECT_EQ(text(Reachability::reachabilityForInternetConnection()->key()), "InternetConnection");
    EXPECT_EQ(text(Reachability::reachabilityForLocalWiFi()->key()), "LocalWiFiConnection");
    struct sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("10.1.2.3");
    EXPECT_EQ(text(Reachability::reachabilityWithAddress(&address)->key()), "10.1.2.3");
    EXPECT_EQ(text(Reachability::makeAddressKey(inet_addr("192.168.0.254"))), "192.168.0.254");

    Ref<Reachability> a = Reachability::reachabilityWithHostName(NS("example.test"));
    Ref<Reachability> b = Reachability::reachabilityWithHostName(NS("example.test"));
    Ref<Reachability> c = Reachability::reachabilityWithHostName(NS("other.test"));
    EXPECT_TRUE(a->isEqual(b));
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_FALSE(a->isEqual(c));
}

TEST_F(ReachabilityTest, ChangesArePostedToObserversUntilTheNotifierStops) {
    SCNetworkReachabilitySetFlagsForTesting(kReachable);
    Ref<Reachability> r = Reachability::reachabilityWithHostName(NS("example.test"));
    Ref<ChangeObserver> observer = make<ChangeObserver>();
    Ref<NSNotificationCenter> center = NSNotificationCenter::defaultCenter();
    center->addObserver(observer, Selector::named("reachabilityChanged:"),
                        NS("NetworkReachabilityChangedNotification"), nullptr);
    ASSERT_TRUE(r->startNotifier());

    SCNetworkReachabilitySetFlagsForTesting(kReachable | kSCNetworkReachabilityFlagsIsWWAN);
    ASSERT_TRUE(runLoopUntil([&] { return observer->changes > 0; }));
    EXPECT_EQ(observer->sender.get(), static_cast<NSObject*>(r.get()));
    EXPECT_EQ(r->currentReachabilityStatus(), ReachableViaWWAN);

    r->stopNotifier();
    int before = observer->changes;
    SCNetworkReachabilitySetFlagsForTesting(0);
    runFor(0.1);
    EXPECT_EQ(observer->changes, before);
    center->removeObserver(observer);
}

TEST_F(ReachabilityTest, AnObjectThatEndsStopsItsNotifier) {
    SCNetworkReachabilitySetFlagsForTesting(kReachable);
    Ref<ChangeObserver> observer = make<ChangeObserver>();
    NSNotificationCenter::defaultCenter()->addObserver(
        observer, Selector::named("reachabilityChanged:"),
        NS("NetworkReachabilityChangedNotification"), nullptr);
    {
        Ref<Reachability> r = Reachability::reachabilityWithHostName(NS("example.test"));
        ASSERT_TRUE(r->startNotifier());
    }
    SCNetworkReachabilitySetFlagsForTesting(0);
    runFor(0.1);
    EXPECT_EQ(observer->changes, 0);
    NSNotificationCenter::defaultCenter()->removeObserver(observer);
}

TEST_F(ReachabilityTest, AHostNameTheOverrideMapsIsReachableAndAnswersOnceStarted) {
    setenv("BAZAARNEST_HOSTS", "*.bazaarnest.test=127.0.0.1", 1);
    ManualClockScope clock;
    Ref<Reachability> site = Reachability::reachabilityWithHostName(NS("www.bazaarnest.test"));
    Ref<Reachability> elsewhere = Reachability::reachabilityWithHostName(NS("elsewhere.test"));
    // The mapped name is the loopback's; the unmapped one is judged without asking anyone.
    EXPECT_EQ(site->currentReachabilityStatus(), ReachableViaWiFi);
    EXPECT_EQ(elsewhere->currentReachabilityStatus(), NotReachable);

    Ref<ChangeObserver> observer = make<ChangeObserver>();
    Ref<NSNotificationCenter> center = NSNotificationCenter::defaultCenter();
    center->addObserver(observer, Selector::named("reachabilityChanged:"),
                        NS("NetworkReachabilityChangedNotification"), site);
    ASSERT_TRUE(site->startNotifier());
    EXPECT_EQ(observer->changes, 0);  // on a later pass, not inside startNotifier
    advanceRunLoop(0);
    EXPECT_EQ(observer->changes, 1);
    advanceRunLoop(60);
    EXPECT_EQ(observer->changes, 1);
    site->stopNotifier();
    center->removeObserver(observer);
    unsetenv("BAZAARNEST_HOSTS");
}
