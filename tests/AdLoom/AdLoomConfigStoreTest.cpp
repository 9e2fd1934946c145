// Fetching configurations from the stand-in mediation server over real sockets: the cache, one
// fetch at a time, server faults, the reachability check and its retry, and the banner's three
// attempts.
#include "AdLoomTesting.h"

using namespace adloomtest;
using bnservices::MediationModule;
using standin::Fault;

namespace {

Fault faultOn(const char* host, const char* path = "/") {
    Fault f;
    f.host = host;
    f.path = path;
    return f;
}

class Receiver : public NSObject, public AdLoomConfigDelegate {
    NS_OBJECT(Receiver, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"adLoomConfigDidReceiveConfig:", "adLoomConfigDidFail:error:"});
    }
    void adLoomConfigDidReceiveConfig(AdLoomConfig* c) override {
        ++received;
        last = c;
    }
    void adLoomConfigDidFail(AdLoomConfig* c, NSError* e) override {
        ++failed;
        last = c;
        error = e;
    }
    int received = 0, failed = 0;
    Ref<AdLoomConfig> last;
    Ref<NSError> error;
};

class AdLoomConfigStoreTest : public AdLoomServiceTest {
protected:
    Ref<AdLoomConfigStore> store() { return AdLoomConfigStore::sharedStore(); }
    bool settled(Receiver* r) {
        return runLoopUntil(
            [&] { return r->received + r->failed > 0 && !store()->fetchingConfig(); });
    }
    Ref<Receiver> receiver = make<Receiver>();
};

TEST_F(AdLoomConfigStoreTest, FetchesTheAppsConfigurationAndAnswersLaterAsksFromTheCache) {
    auto key = NSString::fromUTF8(MediationModule::kAppKey);
    auto config = store()->getConfig(key.get(), receiver.get());
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(store()->cachedConfig(key.get()).get(), config.get());  // cached from the start
    EXPECT_EQ(store()->fetchingConfig().get(), config.get());
    ASSERT_TRUE(settled(receiver.get()));
    EXPECT_EQ(receiver->received, 1);
    EXPECT_EQ(receiver->last.get(), config.get());
    ASSERT_EQ(config->adNetworkConfigs()->count(), 2u);
    auto house = as<AdLoomAdNetworkConfig>(config->adNetworkConfigs()->objectAtIndex(0));
    EXPECT_EQ(house->networkType(), 9);
    EXPECT_EQ(house->trafficPercentage(), 60);
    EXPECT_EQ(config->refreshInterval(), 30);
    EXPECT_EQ(requestsTo("/getInfo.php?appid=" + std::string(MediationModule::kAppKey) +
                         "&appver=300&client=1"),
              1u);

    // A second asker gets the same object, told on a later pass; nothing is fetched again.
    auto second = make<Receiver>();
    EXPECT_EQ(store()->getConfig(key.get(), second.get()).get(), config.get());
    EXPECT_EQ(second->received, 0);
    ASSERT_TRUE(runLoopUntil([&] { return second->received == 1; }));
    EXPECT_EQ(requestsTo("/getInfo.php"), 1u);

    // fetchConfig always fetches anew and replaces the cached one.
    auto fresh = store()->fetchConfig(key.get(), second.get());
    ASSERT_NE(fresh, nullptr);
    EXPECT_NE(fresh.get(), config.get());
    EXPECT_EQ(store()->cachedConfig(key.get()).get(), fresh.get());
    ASSERT_TRUE(runLoopUntil([&] { return second->received == 2; }));
    EXPECT_EQ(requestsTo("/getInfo.php"), 2u);
}

TEST_F(AdLoomConfigStoreTest, FailuresReachTheDelegatesAndEmptyTheCache) {
    struct Case {
        const char* name;
        Fault fault;
        NSInteger code;
        const char* key;
    };
    Fault status500 = faultOn("mediation.adloom.test", "/getInfo.php");
    status500.status = 500;
    Fault drop = faultOn("mediation.adloom.test", "/getInfo.php");
    drop.delivery = Fault::Delivery::Drop;
    Fault truncated = faultOn("mediation.adloom.test", "/getInfo.php");
    truncated.delivery = Fault::Delivery::Truncate;
    truncated.truncateAt = 40;
    const Case cases[] = {
        {"unknown key (404)", faultOn("nowhere.test"), 11, "0123456789abcdef0123456789abcdef"},
        {"500", status500, 11, MediationModule::kAppKey},
        {"dropped connection", drop, 10, MediationModule::kAppKey},
        {"truncated body", truncated, 10, MediationModule::kAppKey},
        {"JSON that breaks off", faultOn("nowhere.test"), 20, MediationModule::kBadJsonKey},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        services->clearFaults();
        services->addFault(c.fault);
        auto r = make<Receiver>();
        auto key = NSString::fromUTF8(c.key);
        auto config = store()->getConfig(key.get(), r.get());
        ASSERT_NE(config, nullptr);
        ASSERT_TRUE(settled(r.get()));
        EXPECT_EQ(r->received, 0);
        ASSERT_EQ(r->failed, 1);
        EXPECT_EQ(r->error->code(), c.code);
        EXPECT_EQ(text(r->error->domain()), text(AdLoomErrorDomain));
        EXPECT_EQ(store()->cachedConfig(key.get()), nullptr);
        EXPECT_EQ(store()->fetchingConfig(), nullptr);
        EXPECT_FALSE(config->hasConfig());
    }
}

TEST_F(AdLoomConfigStoreTest, TwoBannersAskingDuringAGatedFetchBothReceiveIt) {
    Fault slow = faultOn("mediation.adloom.test", "/getInfo.php");
    slow.gate = "config";
    services->addFault(slow);
    auto gate = services->gate("config");
    auto first = makeHost(), second = makeHost();
    auto view1 = banner(first.get());
    ASSERT_TRUE(runLoopUntil([&] { return gate->waiting() == 1; }));
    auto view2 = banner(second.get());
    EXPECT_EQ(view2->config().get(), view1->config().get());

    // Another key meanwhile gets nothing and is never called back.
    auto other = makeHost();
    other->appKey = NSString::fromUTF8(MediationModule::kLegacyKey);
    auto view3 = banner(other.get());
    EXPECT_EQ(view3->config(), nullptr);
    EXPECT_TRUE(logged("Another fetch is in progress, wait until finished."));

    gate->open();
    ASSERT_TRUE(
        runLoopUntil([&] { return first->events.size() >= 1 && second->events.size() >= 1; }));
    EXPECT_EQ(first->events.front(), "config");
    EXPECT_EQ(second->events.front(), "config");
    advanceRunLoop(2);
    EXPECT_TRUE(other->events.empty());
    EXPECT_EQ(requestsTo("/getInfo.php"), 1u);
}

TEST_F(AdLoomConfigStoreTest, AnUnreachableServerIsProbedAgainTenSecondsLater) {
    SCNetworkReachabilitySetFlagsForTesting(0);
    auto key = NSString::fromUTF8(MediationModule::kAppKey);
    auto config = store()->getConfig(key.get(), receiver.get());
    ASSERT_NE(config, nullptr);
    ASSERT_TRUE(runLoopUntil([&] { return store()->reachability() == nullptr; }));
    // The fetch stays in progress while the server cannot be reached.
    EXPECT_EQ(store()->fetchingConfig().get(), config.get());
    advanceRunLoop(9.5);
    EXPECT_EQ(requestsTo("/getInfo.php"), 0u);
    SCNetworkReachabilityClearFlagsForTesting();
    advanceRunLoop(0.5);
    ASSERT_TRUE(settled(receiver.get()));
    EXPECT_EQ(receiver->received, 1);
    EXPECT_EQ(requestsTo("/getInfo.php"), 1u);
}

TEST_F(AdLoomConfigStoreTest, TheBannerFetchesThreeTimesThenReportsTheFailure) {
    Fault status500 = faultOn("mediation.adloom.test", "/getInfo.php");
    status500.status = 500;
    services->addFault(status500);
    auto host = makeHost();
    auto view = banner(host.get());
    ASSERT_TRUE(runLoopUntil([&] { return !host->events.empty(); }));
    EXPECT_EQ(host->eventList(), "failed 11");
    EXPECT_EQ(requestsTo("/getInfo.php"), 3u);
    EXPECT_EQ(view->configFetchAttempts(), 3u);
    EXPECT_TRUE(logged("AdLoomConfig: HTTP 500, cancelling"));

    // The next attempt succeeds once the server is well again.
    services->clearFaults();
    view->updateAdLoomConfig();
    ASSERT_TRUE(runLoopUntil([&] { return host->events.size() >= 2; }));
    EXPECT_EQ(host->events[1], "config");
}

TEST_F(AdLoomConfigStoreTest, TheClassFetchesWithoutABanner) {
    auto host = makeHost();
    AdLoomView::startPreFetchingConfigurationDataWithDelegate(host.get());
    AdLoomView::updateAdLoomConfigWithDelegate(host.get());
    EXPECT_TRUE(logged("Called updateConfig when another fetch is in progress"));
    ASSERT_TRUE(runLoopUntil([&] { return !host->events.empty(); }));
    EXPECT_EQ(host->eventList(), "config (class)");
    // A banner made afterwards takes the cached configuration without a fetch.
    auto view = banner(host.get());
    ASSERT_TRUE(runLoopUntil([&] { return host->events.size() >= 2; }));
    EXPECT_EQ(host->events[1], "config");
    EXPECT_EQ(requestsTo("/getInfo.php"), 1u);
}

}  // namespace
