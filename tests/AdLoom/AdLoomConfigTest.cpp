// Reading the mediation server's configurations: both formats, numbers sent as strings, the
// bounds of every setting, rations that are skipped, and the registry behind the network types.
#include "AdLoom/adapters/AdLoomAdapterIAd.h"
#include "AdLoom/adapters/AdLoomAdapterPebbleAds.h"
#include "AdLoomTesting.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/ProcessWide.h"
#include "iAd/ADBannerView.h"

using namespace adloomtest;

namespace {

class Receiver : public NSObject, public AdLoomConfigDelegate {
    NS_OBJECT(Receiver, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"adLoomConfigDidReceiveConfig:", "adLoomConfigDidFail:error:"});
    }
    void adLoomConfigDidReceiveConfig(AdLoomConfig*) override { ++received; }
    void adLoomConfigDidFail(AdLoomConfig*, NSError*) override { ++failed; }
    int received = 0, failed = 0;
};

// Give the layer's own network types adapters for this test, so that they are kept.
class Own10 : public ScriptedAdapter<10> {
    NS_OBJECT(Own10, AdLoomAdNetworkAdapter)
    static void describeClass(RuntimeClass& c) {
        c.classMethod("networkType", &Own10::networkType);
    }
};
class Own12 : public ScriptedAdapter<12> {
    NS_OBJECT(Own12, AdLoomAdNetworkAdapter)
    static void describeClass(RuntimeClass& c) {
        c.classMethod("networkType", &Own12::networkType);
    }
};
class Own13 : public ScriptedAdapter<13> {
    NS_OBJECT(Own13, AdLoomAdNetworkAdapter)
    static void describeClass(RuntimeClass& c) {
        c.classMethod("networkType", &Own13::networkType);
    }
};

class BaseGiver : public NSObject, public AdLoomConfigDelegate {
    NS_OBJECT(BaseGiver, NSObject)
    static void describeClass(RuntimeClass& c) { c.implements({"adLoomConfigURL"}); }
    Ref<NSURL> adLoomConfigURL() override {
        return NSURL::URLWithString(NS("http://example.test/ads/conf.php?old=1"));
    }
};

class Replacement : public ScriptedAdapter<2> {
    NS_OBJECT(Replacement, AdLoomAdNetworkAdapter)
    static void describeClass(RuntimeClass& c) {
        c.classMethod("networkType", &Replacement::networkType);
    }
};

class Placeholder : public ScriptedAdapter<19> {
    NS_OBJECT(Placeholder, AdLoomAdNetworkAdapter)
    static void describeClass(RuntimeClass& c) {
        c.classMethod("networkType", &Placeholder::networkType);
    }
};

class AdLoomConfigTest : public AdLoomTest {
protected:
    Ref<AdLoomConfig> parsed(const std::string& json, Ref<NSError>* error = nullptr) {
        auto config = make<AdLoomConfig>(&AdLoomConfig::initWithAppKey, NS("key"),
                                         static_cast<AdLoomConfigDelegate*>(receiver.get()));
        Ref<NSError> e;
        ok = config->parseConfig(data(json).get(), &e);
        if (error) *error = e;
        return config;
    }
    Ref<AdLoomAdNetworkConfig> network(AdLoomConfig* c, NSUInteger i) {
        return as<AdLoomAdNetworkConfig>(c->adNetworkConfigs()->objectAtIndex(i));
    }
    Ref<Receiver> receiver = make<Receiver>();
    bool ok = false;
};

TEST_F(AdLoomConfigTest, CurrentFormatReadsRationsAndExtraSettings) {
    auto c = parsed(R"({"extra":{"background_color_rgb":{"red":255,"green":0,"blue":51,"alpha":0.5},
        "text_color_rgb":{"red":"0","green":"128","blue":255},"refresh_interval":"45",
        "location_on":0,"transition":3,"fullscreen_wait_interval":9,"fullscreen_max_ads":"4"},
        "rations":[{"type":9,"nid":"h1","nname":"custom","weight":60,"priority":2,"key":"abc"},
                   {"type":2,"nid":"a1","nname":"jumptap","weight":"40","priority":1,
                    "key":{"site":"s","spot":7}}]})");
    ASSERT_TRUE(ok);
    EXPECT_EQ(receiver->received, 1);
    EXPECT_TRUE(c->hasConfig());
    EXPECT_FALSE(c->legacy());
    EXPECT_FALSE(c->adsAreOff());
    EXPECT_EQ(c->refreshInterval(), 45);  // a number sent as a string
    EXPECT_FALSE(c->locationOn());
    EXPECT_EQ(c->bannerAnimationType(), 3);
    EXPECT_EQ(c->fullscreenWaitInterval(), 9);
    EXPECT_EQ(c->fullscreenMaxAds(), 4);
    CGFloat r, g, b, a;
    c->backgroundColor()->getRed(&r, &g, &b, &a);
    EXPECT_FLOAT_EQ(r, 1);
    EXPECT_FLOAT_EQ(b, 0.2f);
    EXPECT_FLOAT_EQ(a, 0.5f);
    c->textColor()->getRed(&r, &g, &b, &a);
    EXPECT_FLOAT_EQ(g, 128 / 255.0f);
    EXPECT_FLOAT_EQ(a, 1);  // no alpha: opaque

    ASSERT_EQ(c->adNetworkConfigs()->count(), 2u);
    auto house = network(c.get(), 0);
    EXPECT_EQ(house->networkType(), 9);
    EXPECT_EQ(text(house->nid()), "h1");
    EXPECT_EQ(house->trafficPercentage(), 60);
    EXPECT_EQ(house->adapterClass(), AdLoomAdapterCustom::staticClass());
    EXPECT_EQ(text(house->pubId()), "abc");  // a plain key becomes {"pubid": key}
    EXPECT_EQ(text(house->description()),
              "name:custom type:9 nid:h1 weight:60.000000 priority:2 creds:{pubid:abc }");
    auto other = network(c.get(), 1);
    EXPECT_EQ(other->trafficPercentage(), 40);
    EXPECT_EQ(other->pubId(), nullptr);
    EXPECT_EQ(text(other->credentials()->objectForKey(NS("spot"))), "7");

    // A second parse is refused.
    Ref<NSError> e;
    EXPECT_FALSE(c->parseConfig(data("{}").get(), &e));
    EXPECT_EQ(e->code(), 30);
    EXPECT_EQ(text(e->localizedDescription()), "Already has config, will not parse");
}

TEST_F(AdLoomConfigTest, SettingsOutsideTheirRangeKeepTheirValues) {
    auto c =
        parsed(rationsJSON({{9, "h", 100, 1}}, R"({"refresh_interval":30000,"transition":9})"));
    EXPECT_EQ(c->refreshInterval(), 0);  // 30000 and more: no refresh
    EXPECT_EQ(c->bannerAnimationType(), 8);
    c = parsed(rationsJSON({{9, "h", 100, 1}}, R"({"refresh_interval":29999,"transition":-1})"));
    EXPECT_EQ(c->refreshInterval(), 29999);
    EXPECT_EQ(c->bannerAnimationType(), 8);
    // "cycle_time" and "banner_animation_type" stand in for the missing newer keys only.
    c = parsed(rationsJSON({{9, "h", 100, 1}},
                           R"({"cycle_time":20,"banner_animation_type":5,"transition":2})"));
    EXPECT_EQ(c->refreshInterval(), 20);
    EXPECT_EQ(c->bannerAnimationType(), 2);

    // A colour dictionary without a component replaces the colour with nil; a key that is not
    // a dictionary leaves it alone.
    c = parsed(rationsJSON({{9, "h", 100, 1}},
                           R"({"background_color_rgb":{"red":255,"green":0},
                              "text_color_rgb":{"red":1,"green":2,"blue":[3]}})"));
    EXPECT_EQ(c->backgroundColor(), nullptr);
    EXPECT_EQ(c->textColor(), nullptr);
    c = parsed(rationsJSON({{9, "h", 100, 1}}, R"({"background_color_rgb":[1,2,3]})"));
    CGFloat r, g, b, a;
    c->backgroundColor()->getRed(&r, &g, &b, &a);
    EXPECT_FLOAT_EQ(r, 0.3f);
    c->textColor()->getRed(&r, &g, &b, &a);
    EXPECT_FLOAT_EQ(r, 1);  // still white
    EXPECT_EQ(AdLoomColorWithDict(nullptr), nullptr);

    // Location access switched on by the server stays off when the user turned it off.
    location_services::setEnabled(false);
    c = parsed(rationsJSON({{9, "h", 100, 1}}, R"({"location_on":1})"));
    EXPECT_FALSE(c->locationOn());
    location_services::setEnabled(true);
    c = parsed(rationsJSON({{9, "h", 100, 1}}, R"({"location_on":"1"})"));
    EXPECT_TRUE(c->locationOn());
}

TEST_F(AdLoomConfigTest, BadRationsAreSkippedAndNoWeightTurnsAdsOff) {
    auto c = parsed(R"({"extra":{},"rations":[
        {"type":9,"nid":"ok","nname":"custom","weight":10,"priority":1},
        {"type":9,"nid":"p0","nname":"custom","weight":10,"priority":0},
        {"type":0,"nid":"t0","nname":"none","weight":10,"priority":1},
        {"type":5,"nid":"lr","nname":"liverail","weight":10,"priority":1},
        {"type":9,"nid":"nopri","nname":"custom","weight":10},
        {"type":9,"nid":7,"nname":"custom","weight":10,"priority":3},
        "not a ration"]})");
    ASSERT_TRUE(ok);
    ASSERT_EQ(c->adNetworkConfigs()->count(), 1u);
    EXPECT_EQ(text(network(c.get(), 0)->nid()), "ok");
    EXPECT_TRUE(logged("invalid network type, network id, network name or priority"));
    EXPECT_TRUE(logged("Ad network type 5 not supported, no adapter found"));
    EXPECT_TRUE(logged("has no network type, network id, network name, or priority"));
    EXPECT_TRUE(logged("Element in rations array is not a dictionary"));

    c = parsed(rationsJSON({{9, "a", 0, 1}, {9, "b", 0, 2}}));
    EXPECT_TRUE(ok);
    EXPECT_TRUE(c->adsAreOff());
    EXPECT_EQ(c->adNetworkConfigs()->count(), 2u);
    c = parsed(R"({"extra":{},"rations":[]})");
    EXPECT_TRUE(ok && c->adsAreOff());
    c = parsed(R"({"extra":{}})");
    EXPECT_TRUE(ok && c->adsAreOff());
    EXPECT_TRUE(logged("No rations array in ad network config"));
    c = parsed(R"({"rations":[{"type":9,"nid":"x","nname":"custom","weight":1,"priority":1}]})");
    EXPECT_TRUE(ok);
    EXPECT_FALSE(c->adsAreOff());
    EXPECT_TRUE(logged("No extra info dict in ad network config"));
}

TEST_F(AdLoomConfigTest, SyntaxAndShapeErrorsFailTheParse) {
    Ref<NSError> e;
    parsed(R"({"extra":{},"rations":[{"type":9,)", &e);
    EXPECT_FALSE(ok);
    EXPECT_EQ(e->code(), 20);
    EXPECT_EQ(text(e->domain()), text(AdLoomErrorDomain));
    EXPECT_NE(e->userInfo()->objectForKey(NSUnderlyingErrorKey), nullptr);
    auto c = parsed("\"text\"", &e);
    EXPECT_FALSE(ok);
    EXPECT_EQ(e->code(), 30);
    EXPECT_EQ(text(e->localizedDescription()), "Expected top-level dictionary in config data");
    EXPECT_FALSE(c->hasConfig());
    EXPECT_EQ(receiver->received, 0);
    // No error out-value: nothing is written, the parse still fails.
    EXPECT_FALSE(c->parseConfig(data("[1]").get(), nullptr));
}

TEST_F(AdLoomConfigTest, LegacyFormatBuildsNetworksFromKeyNames) {
    auto legacy = R"([{"pebble_ration":60,"custom_ration":40},{"pebble_key":"pk-1"},
                      {"pebble_priority":1,"custom_priority":2,"dontcare_x":5},{"cycle_time":30}])";
    auto c = parsed(legacy);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(c->legacy());
    EXPECT_EQ(c->refreshInterval(), 30);
    ASSERT_EQ(c->adNetworkConfigs()->count(), 2u);
    auto pebble = network(c.get(), 0);
    EXPECT_EQ(pebble->networkType(), 1);
    EXPECT_EQ(pebble->trafficPercentage(), 60);
    EXPECT_EQ(text(pebble->nid()), "1");
    EXPECT_EQ(text(pebble->pubId()), "pk-1");
    EXPECT_EQ(pebble->adapterClass(), AdLoomAdapterPebbleAds::staticClass());
    auto house = network(c.get(), 1);
    EXPECT_EQ(house->networkType(), 9);
    EXPECT_EQ(house->trafficPercentage(), 40);
    EXPECT_EQ(text(house->nid()), "9");
}

TEST_F(AdLoomConfigTest, LegacyKeysSplitAtTheLastUnderscore) {
    auto registry = AdLoomAdNetworkRegistry::sharedRegistry();
    // The house network and the scripted type-2 network ("jumptap" in the legacy names).
    auto c =
        parsed(R"([{"jumptap_ration":60,"custom_ration":40},{"jumptap_key":"jk","custom_key":"ck"},
                        {"jumptap_priority":1,"custom_priority":2},{"cycle_time":30}])");
    ASSERT_TRUE(ok);
    ASSERT_EQ(c->adNetworkConfigs()->count(), 2u);
    auto jt = network(c.get(), 0);
    EXPECT_EQ(jt->networkType(), 2);
    EXPECT_EQ(text(jt->nid()), "2");
    EXPECT_EQ(jt->trafficPercentage(), 60);
    EXPECT_EQ(text(jt->pubId()), "jk");
    auto house = network(c.get(), 1);
    EXPECT_EQ(house->networkType(), 9);
    EXPECT_EQ(text(house->nid()), "9");
    EXPECT_EQ(text(house->networkName()), "custom");

    // "pebble_adtext_key" names the network "pebble_adtext"; an unknown name is skipped.
    c = parsed(R"([{"pebble_adtext_ration":10,"foo_bar_ration":5,"custom_ration":5},{},
                   {"custom_priority":1,"pebble_adtext_priority":2,"foo_bar_priority":3},{}])");
    ASSERT_TRUE(ok);
    EXPECT_TRUE(logged("Ad network type 14 not supported"));
    EXPECT_TRUE(logged("Unrecognized ad network 'foo_bar' in legacy config, ignored"));
    ASSERT_EQ(c->adNetworkConfigs()->count(), 1u);

    c = parsed(R"([{"empty_ration":100,"custom_ration":40},{},{},{}])");
    EXPECT_TRUE(ok && c->adsAreOff());
    c = parsed(R"([{"empty_ration":50,"custom_ration":40,"custom_priority":1},{},{},{}])");
    EXPECT_TRUE(ok);
    EXPECT_FALSE(c->adsAreOff());

    Ref<NSError> e;
    parsed(R"([{"nounderscore":1},{},{},{}])", &e);
    EXPECT_EQ(text(e->localizedDescription()),
              "Expected underscore delimiter in key 'nounderscore'");
    parsed(R"([{"_ration":1},{},{},{}])", &e);
    EXPECT_EQ(text(e->localizedDescription()), "Empty ad network name in key '_ration'");
    parsed(R"([{"custom_":1},{},{},{}])", &e);
    EXPECT_EQ(text(e->localizedDescription()), "Empty value name in key 'custom_'");
    parsed(R"([{},[],{},{}])", &e);
    EXPECT_EQ(text(e->localizedDescription()), "Expected dictionary in config data");
    parsed(R"([{"custom_ration":1,"custom_priority":1},{},{},{},{"x":1}])", &e);
    EXPECT_TRUE(logged("Ignoring element at index 4 in legacy config"));
    (void)registry;
}

TEST_F(AdLoomConfigTest, AdRolloSharesItsWeightAmongTheLayersOwnNetworks) {
    auto registry = AdLoomAdNetworkRegistry::sharedRegistry();
    registry->registerClass(Own10::staticClass());
    registry->registerClass(Own12::staticClass());
    registry->registerClass(Own13::staticClass());
    auto c = parsed(R"([{"adrollo_ration":31,"adloom_10_priority":1,"adloom_12_priority":2,
                         "adloom_13_priority":3},{"adrollo_key":"rk"},{},{}])");
    ASSERT_TRUE(ok);
    ASSERT_EQ(c->adNetworkConfigs()->count(), 3u);
    for (NSUInteger i = 0; i < 3; ++i) {
        EXPECT_EQ(network(c.get(), i)->trafficPercentage(), 10);  // 31 / 3, whole
        EXPECT_EQ(text(network(c.get(), i)->pubId()), "rk");
    }
    EXPECT_EQ(network(c.get(), 1)->networkType(), 12);
}

TEST_F(AdLoomConfigTest, ConfigURLCarriesTheEscapedKeyAgainstTheHostsBase) {
    auto c = make<AdLoomConfig>(&AdLoomConfig::initWithAppKey, NS("a b&c=d"),
                                static_cast<AdLoomConfigDelegate*>(receiver.get()));
    EXPECT_EQ(text(c->configURL()->absoluteString()),
              "http://mediation.adloom.test/getInfo.php?appid=a%20b%26c%3Dd&appver=300&client=1");

    auto giver = make<BaseGiver>();
    c = make<AdLoomConfig>(&AdLoomConfig::initWithAppKey, NS("k1"),
                           static_cast<AdLoomConfigDelegate*>(giver.get()));
    EXPECT_EQ(text(c->configURL()->absoluteString()),
              "http://example.test/ads/conf.php?appid=k1&appver=300&client=1");

    // Delegates are kept by identity, once each.
    EXPECT_FALSE(c->addDelegate(giver.get()));
    EXPECT_TRUE(c->addDelegate(receiver.get()));
    EXPECT_EQ(c->delegateCount(), 2u);
    EXPECT_TRUE(c->removeDelegate(giver.get()));
    EXPECT_FALSE(c->removeDelegate(giver.get()));
    c->notifyDelegatesOfFailure(AdLoomError::errorWithCode(10, NS("x")).get());
    EXPECT_EQ(receiver->failed, 1);
}

// The registry a test changed is dropped by the reset between tests; the next one is made with
// the built-in adapters again.
TEST_F(AdLoomConfigTest, TheResetBetweenTestsGivesARegistryOfTheBuiltInAdapters) {
    auto registry = AdLoomAdNetworkRegistry::sharedRegistry();
    registry->registerClass(Replacement::staticClass());
    resetProcessWideInstances();
    auto next = AdLoomAdNetworkRegistry::sharedRegistry();
    EXPECT_NE(next.get(), registry.get());
    auto two = next->adapterClassFor(2);
    EXPECT_TRUE(!two || two->theClass() != Replacement::staticClass());
    ASSERT_NE(next->adapterClassFor(16), nullptr);
    EXPECT_EQ(next->adapterClassFor(16)->theClass()->name(), "AdLoomAdapterGeneric");
}

TEST_F(AdLoomConfigTest, RegistryKeepsTheLaterClassAndIAdOnlyWhenItsClassIsFound) {
    auto registry = AdLoomAdNetworkRegistry::sharedRegistry();
    EXPECT_EQ(registry->adapterClassFor(2)->theClass(), ScriptedAdapterA::staticClass());
    registry->registerClass(Replacement::staticClass());
    EXPECT_EQ(registry->adapterClassFor(2)->theClass(), Replacement::staticClass());
    registerScriptedAdapters();
    EXPECT_EQ(registry->adapterClassFor(4), nullptr);
    EXPECT_EQ(registry->adapterClassFor(16)->theClass()->name(), "AdLoomAdapterGeneric");
    EXPECT_EQ(registry->adapterClassFor(17)->theClass()->name(), "AdLoomAdapterEvent");
    // The test program has the platform's banner class: type 19 was registered at first use.
    ASSERT_NE(registry->adapterClassFor(19), nullptr);
    EXPECT_EQ(registry->adapterClassFor(19)->theClass()->name(), "AdLoomAdapterIAd");

    // Where the class cannot be found by name, the iAd adapter does not register, and an iAd
    // ration is refused.
    {
        ScopedEnv missing("BAZAARNEST_IAD", "missing");
        registry->registerClass(Placeholder::staticClass());
        AdLoomAdapterIAd::load();
        EXPECT_EQ(registry->adapterClassFor(19)->theClass(), Placeholder::staticClass());
    }
    ScopedEnv present("BAZAARNEST_IAD", "");
    AdLoomAdapterIAd::load();
    EXPECT_EQ(registry->adapterClassFor(19)->theClass()->name(), "AdLoomAdapterIAd");
}

}  // namespace

namespace {

TEST_F(AdLoomConfigTest, AdapterHelpersFallBackFromTheHostToTheConfiguration) {
    auto host = makeHost();
    auto config = parsed(rationsJSON({{2, "a", 100, 1}},
                                     R"({"background_color_rgb":{"red":0,"green":255,"blue":0},
                                        "text_color_rgb":{"red":0,"green":0,"blue":255}})"));
    auto adapter = make<ScriptedAdapterA>();
    adapter->initWithAdLoomDelegate(host.get(), nullptr, config.get(),
                                    network(config.get(), 0).get());
    CGFloat r, g, b, a;
    // Nothing from the host: the configuration's colours.
    adapter->helperBackgroundColorToUse()->getRed(&r, &g, &b, &a);
    EXPECT_FLOAT_EQ(g, 1);
    adapter->helperTextColorToUse()->getRed(&r, &g, &b, &a);
    EXPECT_FLOAT_EQ(b, 1);
    // The ad colour answers nil: the host's general colour is next.
    host->answer({"adLoomAdBackgroundColor", "backgroundColor"});
    host->background = UIColor::redColor();
    adapter->helperBackgroundColorToUse()->getRed(&r, &g, &b, &a);
    EXPECT_FLOAT_EQ(r, 1);
    EXPECT_FLOAT_EQ(g, 0);
    host->adBackground = UIColor::blackColor();
    adapter->helperBackgroundColorToUse()->getRed(&r, &g, &b, &a);
    EXPECT_FLOAT_EQ(r, 0);
    // No secondary colour without the host's answer; no age without a birth date.
    EXPECT_EQ(adapter->helperSecondaryTextColorToUse(), nullptr);
    EXPECT_EQ(adapter->helperCalculateAge(), -1);
    EXPECT_TRUE(adapter->isBannerAnimationOK(7));
    EXPECT_TRUE(adapter->shouldSendExMetric());
    // The base adapter has no network: asking it for an ad is wrong use.
    auto base = make<AdLoomAdNetworkAdapter>();
    EXPECT_EQ(raisedName([&] { base->getAd(); }), "NSInvalidArgumentException");
    EXPECT_TRUE(logged("Subclass of AdLoomAdNetworkAdapter must implement -getAd."));
    EXPECT_EQ(raisedName([&] { base->stopBeingDelegate(); }), "NSInvalidArgumentException");
    base = nullptr;  // freed without raising
}

}  // namespace
