// The Pebble adapter: a mediation banner weighted to Pebble shows the ad of the stand-in Pebble
// service, and the host's test mode, colours and targeting reach the ad request.
#include "AdLoom/adapters/AdLoomAdapterPebbleAds.h"
#include "AdLoomTesting.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSUserDefaults.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "ads/pebble/PBLCachedFile.h"
#include "ads/pebble/PBLHosts.h"
#include "ads/pebble/PBLStatistics.h"
#include "tools/services/PebbleModule.h"

using namespace adloomtest;

namespace {

class PebbleHost : public TestHost {
    NS_OBJECT(PebbleHost, TestHost)
    bool adLoomTestMode() override { return testMode; }
    Ref<UIColor> adLoomTextColor() override { return textColor; }
    Ref<NSString> gender() override { return genderText; }
    Ref<NSArray> keywords() override { return keywordList; }
    Ref<NSDate> dateOfBirth() override { return birthday; }

    bool testMode = false;
    Ref<NSDate> birthday;
    Ref<UIColor> textColor;
    Ref<NSString> genderText;
    Ref<NSArray> keywordList;
};

class AdLoomPebbleTest : public AdLoomServiceTest {
protected:
    void SetUp() override {
        AdLoomServiceTest::SetUp();
        previousLoader_ = UIWebView::setURLLoader(UIWebViewConnectionLoader());
        forgetScript();
        host->answer({"adLoomDidReceiveAd:", "adLoomDidFailToReceiveAd:usingBackup:"});
        host->controller = make<UIViewController>();
    }
    void TearDown() override {
        AdLoomServiceTest::TearDown();
        UIWebView::setURLLoader(previousLoader_);
        forgetScript();
        PBLStatistics::releaseSharedStatistics();
    }
    static void forgetScript() {
        auto url = NSURL::URLWithString(NS("http://" PBL_STATIC_HOST "/" PBL_SCRIPT_PATH));
        make<PBLCachedFile>(&PBLCachedFile::initWithDelegate,
                            static_cast<PBLCachedFileDelegate*>(nullptr), url.get())
            ->invalidate();
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(
            NS("pebble_stats_PBLObjectPrivate"));
    }
    void servePebble(const std::string& slot, const std::string& extra = "{\"location_on\":0}") {
        serve(host->appKey->utf8(), rationsJSON({{1, "pebble", 100, 1, slot}}, extra));
    }
    std::string lastAdQuery() {
        std::string last;
        for (auto& r : services->received("pebble"))
            if (r.target.rfind("/pbma/ad?", 0) == 0) last = r.target;
        return last;
    }
    static std::string field(const std::string& target, const std::string& key) {
        auto fields = standin::parseQuery(target.substr(target.find('?') + 1));
        auto* f = standin::findField(fields, key);
        return f ? f->value : "<none>";
    }

    Ref<PebbleHost> host = make<PebbleHost>();
    UIWebViewURLLoader previousLoader_;
};

TEST_F(AdLoomPebbleTest, AMediationBannerWeightedToPebbleShowsTheAd) {
    servePebble("banner");
    auto view = banner(host.get());
    ASSERT_TRUE(runLoopUntil([&] { return !host->events.empty(); }));
    EXPECT_EQ(host->eventList(), "received");
    auto adapter = as<AdLoomAdapterPebbleAds>(view->currAdapter());
    ASSERT_TRUE(adapter);
    auto pebble = as<PBLBannerView>(adapter->adNetworkView());
    ASSERT_TRUE(pebble);
    EXPECT_EQ(pebble->frame().size.width, 320);
    EXPECT_EQ(pebble->frame().size.height, 50);
    EXPECT_EQ(text(pebble->adUnitID()), "banner");
    EXPECT_EQ(pebble->rootViewController().get(), host->controller.get());
    advanceRunLoop(2);  // the transition to the new ad
    EXPECT_TRUE(pebble->isDescendantOfView(view.get()));
    EXPECT_NE(text(pebble->webView()->readableText()).find("Garden tools at half price"),
              std::string::npos);
    // Plain host: nothing extra, no gender.
    auto query = lastAdQuery();
    EXPECT_EQ(field(query, "extras"), "<none>");
    EXPECT_EQ(field(query, "cust_gender"), "<none>");

    // Stopping leaves the banner without a delegate.
    adapter->stopBeingDelegate();
    EXPECT_FALSE(pebble->delegate());
}

TEST_F(AdLoomPebbleTest, TheHostsTestModeColoursAndTargetingReachTheRequest) {
    host->answer(
        {"adLoomTestMode", "adLoomAdBackgroundColor", "adLoomTextColor", "gender", "keywords"});
    host->testMode = true;
    host->adBackground = UIColor::colorWithRed(1, 0, 0, 1);
    host->textColor = UIColor::whiteColor();
    host->genderText = NS("f");
    host->keywordList = NSArray::arrayWithObjects({NS("garden"), NS("tools")});
    servePebble("banner");
    banner(host.get());
    ASSERT_TRUE(runLoopUntil([&] { return !host->events.empty(); }));
    EXPECT_EQ(host->eventList(), "received");
    auto query = lastAdQuery();
    auto extras = field(query, "extras");
    EXPECT_NE(extras.find("\"adtest\":\"on\""), std::string::npos) << extras;
    EXPECT_NE(extras.find("\"color_bg\":\"FF0000\""), std::string::npos) << extras;
    EXPECT_NE(extras.find("\"color_text\":\"FFFFFF\""), std::string::npos) << extras;
    EXPECT_EQ(field(query, "cust_gender"), "f");
    EXPECT_EQ(field(query, "kw"), "[\"garden\",\"tools\"]");
}

TEST_F(AdLoomPebbleTest, TheHostIsAskedOnlyWhatItAnswersAndItsLocationOnlyWhenSwitchedOn) {
    host->answer({"locationInfo", "dateOfBirth"});
    host->location = make<CLLocation>(&CLLocation::initWithLatitude, 52.52, 13.405);
    host->birthday = NSDate::dateWithTimeIntervalSince1970(645451200);  // 15 June 1990, noon
    host->genderText = NS("m");  // there, but the host does not say it answers
    servePebble("banner");       // location switched off
    auto view = banner(host.get());
    ASSERT_TRUE(runLoopUntil([&] { return !host->events.empty(); }));
    EXPECT_EQ(host->eventList(), "received");
    auto query = lastAdQuery();
    EXPECT_EQ(field(query, "uule"), "<none>");
    EXPECT_EQ(field(query, "cust_age"), "19900615");
    EXPECT_EQ(field(query, "cust_gender"), "<none>");

    auto adapter = as<AdLoomAdapterPebbleAds>(view->currAdapter());
    ASSERT_TRUE(adapter);
    EXPECT_EQ(adapter->delegateValueForSelector(Selector::named("locationInfo")).get(),
              static_cast<NSObject*>(host->location.get()));
    EXPECT_EQ(adapter->delegateValueForSelector(Selector::named("dateOfBirth")).get(),
              static_cast<NSObject*>(host->birthday.get()));
    EXPECT_FALSE(adapter->delegateValueForSelector(Selector::named("gender")));
    EXPECT_FALSE(adapter->delegateValueForSelector(Selector::named("pebblePublisherID")));
}

TEST_F(AdLoomPebbleTest, WithTheLocationSwitchedOnTheHostsLocationIsSent) {
    host->answer({"locationInfo"});
    host->location = make<CLLocation>(&CLLocation::initWithLatitude, 52.52, 13.405);
    servePebble("banner", "{\"location_on\":1}");
    banner(host.get());
    ASSERT_TRUE(runLoopUntil([&] { return !host->events.empty(); }));
    EXPECT_EQ(host->eventList(), "received");
    EXPECT_NE(field(lastAdQuery(), "uule"), "<none>");
    EXPECT_TRUE(services->module<bnservices::PebbleModule>("pebble")->rejections().empty());
}

TEST_F(AdLoomPebbleTest, AFailedPebbleLoadFailsTheMediationRequest) {
    servePebble("noad");
    banner(host.get());
    ASSERT_TRUE(runLoopUntil([&] { return !host->events.empty(); }));
    EXPECT_EQ(host->events.front().rfind("failed", 0), 0u) << host->eventList();
}

TEST(AdLoomAdapterPebbleAdsColours, HexStringsOfColours) {
    EXPECT_EQ(
        text(AdLoomAdapterPebbleAds::hexStringFromUIColor(UIColor::colorWithRed(1, 0, 0, 1).get())),
        "FF0000");
    EXPECT_EQ(text(AdLoomAdapterPebbleAds::hexStringFromUIColor(
                  UIColor::colorWithRed(0.5, 0.25, 1, 1).get())),
              "7F3FFF");
    EXPECT_EQ(
        text(AdLoomAdapterPebbleAds::hexStringFromUIColor(UIColor::colorWithWhite(1, 1).get())),
        "FFFFFF");
    EXPECT_FALSE(AdLoomAdapterPebbleAds::hexStringFromUIColor(nullptr));
}

}  // namespace
