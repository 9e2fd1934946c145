// The Meridian adapter: a mediation banner weighted to Meridian shows the HTML ad of the stand-in
// Meridian service, with the host's targeting in the ad request and taps reported as modals.
#include "AdLoom/adapters/AdLoomAdapterMeridian.h"
#include "AdLoomTesting.h"
#include "CoreLocation/CoreLocation.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSUserDefaults.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "UIKit/UIWindow.h"
#include "ads/meridian/MRBannerAdView.h"
#include "ads/meridian/MRHandshake.h"

using namespace adloomtest;

namespace {

class MeridianHost : public TestHost {
    NS_OBJECT(MeridianHost, TestHost)
    Ref<NSString> gender() override { return genderText; }
    Ref<NSString> postalCode() override { return zip; }
    Ref<NSDate> dateOfBirth() override { return birthday; }
    unsigned meridianMediaAge() override { return mediaAge; }
    Ref<NSString> meridianMediaApIDString() override { return apid; }

    Ref<NSString> genderText, zip, apid;
    Ref<NSDate> birthday;
    unsigned mediaAge = 0;
};

class AdLoomMeridianTest : public AdLoomServiceTest {
protected:
    void SetUp() override {
        AdLoomServiceTest::SetUp();
        forgetClient();
        previousLoader_ = UIWebView::setURLLoader(UIWebViewConnectionLoader());
        host->answer({"adLoomDidReceiveAd:", "adLoomDidFailToReceiveAd:usingBackup:",
                      "adLoomWillPresentFullScreenModal", "adLoomDidDismissFullScreenModal"});
        host->controller = make<UIViewController>();
    }
    void TearDown() override {
        AdLoomServiceTest::TearDown();
        UIWebView::setURLLoader(previousLoader_);
        forgetClient();
    }
    static void forgetClient() {
        MRHandshake::resetSharedHandshakeForTesting();
        NSFileManager::defaultManager()->removeItemAtPath(MRHandshake::statePath().get(), nullptr);
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(NS("MRApid"));
    }
    void serveMeridian(const std::string& apid) {
        serve(host->appKey->utf8(), rationsJSON({{6, "meridian", 100, 1, apid}}));
    }
    std::string lastAdQuery() {
        std::string last;
        for (auto& r : services->received("meridian"))
            if (r.target.rfind("/getAd.php5?", 0) == 0) last = r.target;
        return last;
    }
    static std::string field(const std::string& target, const std::string& key) {
        auto fields = standin::parseQuery(target.substr(target.find('?') + 1));
        auto* f = standin::findField(fields, key);
        return f ? f->value : "<none>";
    }

    Ref<MeridianHost> host = make<MeridianHost>();
    UIWebViewURLLoader previousLoader_;
};

TEST_F(AdLoomMeridianTest, AMediationBannerWeightedToMeridianShowsTheHTMLAd) {
    serveMeridian("html");
    auto view = banner(host.get());
    ASSERT_TRUE(runLoopUntil([&] { return !host->events.empty(); }));
    EXPECT_EQ(host->eventList(), "received");
    auto adapter = as<AdLoomAdapterMeridian>(view->currAdapter());
    ASSERT_TRUE(adapter);
    auto meridian = as<MRBannerAdView>(adapter->adNetworkView());
    ASSERT_TRUE(meridian);
    EXPECT_TRUE(CGRectEqualToRect(meridian->frame(), CGRectMake(0, 0, 320, 53)));
    EXPECT_EQ(meridian->adTypeNumber(), 1);
    EXPECT_EQ(meridian->refreshAdTimer(), nullptr);  // the mediation layer refreshes
    advanceRunLoop(2);
    EXPECT_TRUE(meridian->isDescendantOfView(view.get()));
    EXPECT_EQ(adapter->adHostView().get(), view.get());  // its next ads' sight is the banner's
    auto page = meridian->htmlAdView()->showingWebView()->webView();
    EXPECT_NE(text(page->readableText()).find("Fresh bread delivered"), std::string::npos);
    // A plain host: the network's key as placement, only the vendor as targeting.
    auto query = lastAdQuery();
    EXPECT_EQ(field(query, "sdkapid"), "html");
    EXPECT_EQ(field(query, "vendor"), "adloom");
    for (const char* key : {"zip", "age", "sex", "lat", "long"})
        EXPECT_EQ(field(query, key), "<none>") << key;
    // The adapter's line about it is a debug one, below the layer's level.
    EXPECT_FALSE(logged("Sending requestData to MR: "));

    // A tap opens the overlay: the host hears of the modal both ways.
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->makeKeyAndVisible();
    ASSERT_TRUE(page->clickElementAtIndex(1));
    advanceRunLoop(0.01);
    ASSERT_NE(meridian->overlayView(), nullptr);
    EXPECT_EQ(host->eventList(), "received, modal up");
    meridian->overlayView()->close();
    EXPECT_EQ(host->eventList(), "received, modal up, modal down");
    advanceRunLoop(1);
    window->setHidden(true);

    // Stopping leaves the banner without a delegate or a timer.
    adapter->stopBeingDelegate();
    EXPECT_FALSE(meridian->delegate());
    EXPECT_EQ(meridian->refreshAdTimer(), nullptr);
}

TEST_F(AdLoomMeridianTest, TheHostsTargetingReachesTheRequest) {
    host->answer(
        {"gender", "postalCode", "locationInfo", "meridianMediaAge", "meridianMediaApIDString"});
    host->genderText = NS("m");
    host->zip = NS("10115");
    host->mediaAge = 34;
    host->apid = NS("html");
    host->location = make<CLLocation>(&CLLocation::initWithLatitude, 52.52, 13.405);
    serveMeridian("ignored");
    banner(host.get());
    ASSERT_TRUE(runLoopUntil([&] { return !host->events.empty(); }));
    EXPECT_EQ(host->eventList(), "received");
    auto query = lastAdQuery();
    EXPECT_EQ(field(query, "sdkapid"), "html");  // the host's placement wins
    EXPECT_EQ(field(query, "zip"), "10115");
    EXPECT_EQ(field(query, "age"), "34");
    EXPECT_EQ(field(query, "sex"), "M");
    EXPECT_EQ(field(query, "lat"), "52.520000");
    EXPECT_EQ(field(query, "long"), "13.405000");
    EXPECT_EQ(query.find("vendor=adloom&zip=10115&age=34&sex=M&lat=52.520000&long=13.405000"),
              query.find("vendor="));
    // The adapter does not write the host's targeting to the log.
    EXPECT_FALSE(logged("Sending requestData to MR")) << log_;
}

TEST_F(AdLoomMeridianTest, UnknownSexAndAMissingBirthdayAreNotSentAsValues) {
    host->answer({"gender", "dateOfBirth"});
    host->genderText = NS("F");  // upper case is not a known value
    serveMeridian("html");
    auto view = banner(host.get());
    ASSERT_TRUE(runLoopUntil([&] { return !host->events.empty(); }));
    auto adapter = as<AdLoomAdapterMeridian>(view->currAdapter());
    ASSERT_TRUE(adapter);
    EXPECT_EQ(adapter->age(), -1);
    EXPECT_FALSE(adapter->respondsToSelector(Selector::named("age")));
    EXPECT_FALSE(adapter->respondsToSelector(Selector::named("latitude")));
    EXPECT_FALSE(adapter->respondsToSelector(Selector::named("educationLevel")));
    EXPECT_TRUE(adapter->respondsToSelector(Selector::named("sex")));
    auto query = lastAdQuery();
    EXPECT_EQ(field(query, "sex"), "");
    EXPECT_EQ(field(query, "age"), "<none>");
}

TEST_F(AdLoomMeridianTest, AFailedMeridianRequestFailsTheMediationRequest) {
    serveMeridian("empty");
    banner(host.get());
    ASSERT_TRUE(runLoopUntil([&] { return !host->events.empty(); }));
    EXPECT_EQ(host->eventList().rfind("failed", 0), 0u) << host->eventList();
}

}  // namespace
