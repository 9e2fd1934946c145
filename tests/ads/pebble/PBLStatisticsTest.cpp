#include "ads/pebble/PBLStatistics.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSURL.h"
#include "ads/pebble/HXStringEncoding.h"
#include "ads/pebble/PBLTiming.h"
#include "ads/pebble/PebbleTesting.h"
#include "support/FoundationTesting.h"

namespace {

using PBLStatisticsTest = PebbleTest;

Ref<NSURL> url(const char* s) {
    return NSURL::URLWithString(NSString::stringWithUTF8String(s));
}

std::string keysOf(NSDictionary* d) {
    std::string out;
    auto keys = d->allKeys();
    for (NSObject* k : *keys)
        out += text(k) + " ";
    return out;
}

TEST_F(PBLStatisticsTest, CoreStoresTypedValuesAndPersists) {
    {
        auto core = make<PBLStatisticsCore>(&PBLStatisticsCore::initWithIdentifier, NS("test"));
        EXPECT_EQ(text(core->userDefaultsKey()), "pebble_stats_test");
        core->setNumber(NSNumber::numberWithInt(4), NS("n"));
        core->setObject(NS("text"), NS("n"), NSNumber::staticClass());  // wrong class: kept
        core->setNumber(nullptr, NS("n"));
        EXPECT_EQ(core->numberForKey(NS("n"))->intValue(), 4);
        core->setString(NS("s"), NS("s"));
        EXPECT_EQ(core->numberForKey(NS("s")).get(), nullptr);  // not a number
        EXPECT_EQ(text(core->stringForKey(NS("s"))), "s");
        EXPECT_EQ(core->dateForKey(NS("s")).get(), nullptr);
        EXPECT_EQ(core->addValue(3, NS("n")), 7);
        EXPECT_EQ(core->addValue(2, NS("fresh")), 2);
        core->setArray(NSArray::arrayWithObjects({NS("a")}), NS("a"));
        EXPECT_EQ(core->arrayForKey(NS("a"))->count(), 1u);
        EXPECT_EQ(core->dictionaryForKey(NS("a")).get(), nullptr);
        core->removeObjectForKey(NS("a"));
    }  // released: saved
    auto core = make<PBLStatisticsCore>(&PBLStatisticsCore::initWithIdentifier, NS("test"));
    EXPECT_EQ(core->numberForKey(NS("n"))->intValue(), 7);
    EXPECT_EQ(core->numberForKey(NS("fresh"))->intValue(), 2);
    EXPECT_EQ(core->arrayForKey(NS("a")).get(), nullptr);
    core->removeAllObjects();
    EXPECT_EQ(core->numberForKey(NS("n")).get(), nullptr);
}

TEST_F(PBLStatisticsTest, ClickBetweenTwoRequests) {
    auto stats = PBLStatistics::sharedStatistics();
    // First request, its ad loads in 0.5 s and is shown 3 s before the click.
    EXPECT_EQ(stats->incrementAdRequestCount(), 1);
    stats->startTimingNamed(NS("ptime"));
    stats->startTimingNamed(NS("prl"));
    Clock::advance(0.5);
    stats->endTimingNamed(NS("prl"));
    stats->startTimingNamed(NS("ppcl"));
    auto first = stats->parameters();
    EXPECT_EQ(text(first->objectForKey(NS("prl"))), "500");
    EXPECT_EQ(first->objectForKey(NS("ppcl")).get(), nullptr);  // no click yet: dropped
    EXPECT_EQ(cast<NSNumber>(first->objectForKey(NS("preqs")))->intValue(), 1);
    EXPECT_EQ(text(first->objectForKey(NS("ptime"))), "500");

    stats->startTimingNamed(NS("ppcl"));
    Clock::advance(3);
    stats->incrementPageNavigationCount();
    stats->incrementSSLPageNavigationCount();
    stats->incrementSSLPageNavigationCount();
    EXPECT_EQ(stats->urlForClick(url("about:blank"))->absoluteString()->utf8(), "about:blank");
    EXPECT_EQ(text(stats->urlForClick(url("pebble://x?ai=1"))->absoluteString()),
              "pebble://x?ai=1");
    EXPECT_FALSE(stats->isTimingClick());
    auto clicked = stats->urlForClick(url("http://click.pebbleads.test/aclk?ai=AbC&x=1"));
    EXPECT_TRUE(stats->isTimingClick());
    auto signal = HXStringEncoding::rfc4648Base64WebsafeStringEncoding();
    signal->setDoPad(false);
    EXPECT_EQ(text(clicked->absoluteString()), "http://click.pebbleads.test/aclk?ai=AbC&x=1&nb" +
                                                   text(signal->encodeString(NS("AbC;0"))));
    stats->addClickTrackingURL(url("http://t.pebbleads.test/pagead/conv"));
    stats->addClickTrackingURL(url("http://other.test/abcdefgh"));
    Clock::advance(5);
    stats->endTimingNamed(NS("pcl"));
    stats->setBreakOutToSafari();
    stats->incrementAdRequestCount();

    auto second = stats->parameters();
    EXPECT_EQ(keysOf(second), "pcl pai pit ppcl pcrl ptime preqs pcbo plpnc plpsnc pcc ");
    EXPECT_EQ(text(second->objectForKey(NS("pcl"))), "5000");
    EXPECT_EQ(text(second->objectForKey(NS("pai"))), "AbC");
    EXPECT_EQ(text(second->objectForKey(NS("pit"))), "ead/conv");
    EXPECT_EQ(text(second->objectForKey(NS("ppcl"))), "3000");
    EXPECT_EQ(text(second->objectForKey(NS("pcrl"))), "0");
    EXPECT_EQ(text(second->objectForKey(NS("ptime"))), "8500");
    EXPECT_EQ(cast<NSNumber>(second->objectForKey(NS("preqs")))->intValue(), 2);
    EXPECT_EQ(cast<NSNumber>(second->objectForKey(NS("plpsnc")))->intValue(), 2);
    EXPECT_EQ(cast<NSNumber>(second->objectForKey(NS("pcc")))->intValue(), 1);

    auto third = stats->parameters();
    EXPECT_EQ(keysOf(third), "ptime preqs ");
}

TEST_F(PBLStatisticsTest, BackgroundedClickReportsWallMilliseconds) {
    auto stats = PBLStatistics::sharedStatistics();
    stats->urlForClick(url("http://ads.test/c"));  // no "ai": no signal key, no "pai"
    Clock::advance(2.5);
    stats->setClickBackgroundedApp();
    auto p = stats->parameters();
    EXPECT_EQ(cast<NSNumber>(p->objectForKey(NS("pcl")))->unsignedIntValue(), 2500u);
    EXPECT_EQ(cast<NSNumber>(p->objectForKey(NS("pclb")))->intValue(), 1);
    EXPECT_EQ(p->objectForKey(NS("pai")).get(), nullptr);
    EXPECT_EQ(p->objectForKey(NS("date")).get(), nullptr);
    EXPECT_EQ(stats->core()->numberForKey(NS("pclb")).get(), nullptr);
}

TEST_F(PBLStatisticsTest, ClickURLWithoutSignalsWhenSwitchedOff) {
    PBLSignals::setEnabled(false);
    auto stats = PBLStatistics::sharedStatistics();
    auto u = stats->urlForClick(url("http://ads.test/c?ai=q"));
    EXPECT_EQ(text(u->absoluteString()), "http://ads.test/c?ai=q");
    EXPECT_EQ(text(stats->timingNamed(NS("pcl"))->valueForKey(NS("pai"))), "q");
}

TEST_F(PBLStatisticsTest, TrackingPathNeedsFiveCharacters) {
    auto stats = PBLStatistics::sharedStatistics();
    stats->addClickTrackingURL(url("http://t.pebbleads.test/abcdefgh"));  // no click: ignored
    stats->urlForClick(url("http://ads.test/c"));
    stats->addClickTrackingURL(url("http://t.pebbleads.test/abc"));
    EXPECT_EQ(stats->timingNamed(NS("pcl"))->valueForKey(NS("pit")).get(), nullptr);
    stats->addClickTrackingURL(url("http://t.pebbleads.test/abcdefg"));
    EXPECT_EQ(text(stats->timingNamed(NS("pcl"))->valueForKey(NS("pit"))), "defg");
}

}  // namespace
