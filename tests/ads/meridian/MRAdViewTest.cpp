// The ad view against the stand-in Meridian service: the factories, the ad URL byte for byte,
// the host's targeting values, the reply's dispatch, the refresh interval and timer, resizing.
#include "ads/meridian/MRAdView.h"

#include "Foundation/NSException.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSTimer.h"
#include "Foundation/SystemInfo.h"
#include "UIKit/UIDevice.h"
#include "ads/meridian/MRBannerAdView.h"
#include "ads/meridian/MRGenericAdView.h"
#include "ads/meridian/MeridianTesting.h"
#include "support/FoundationTesting.h"

namespace {

class MRAdViewTest : public MeridianTest {};

// Answers a fixed refresh duration.
class DurationDelegate : public NSObject, public MRAdDelegate {
    NS_OBJECT(DurationDelegate, NSObject)
    static void describeClass(RuntimeClass& c) { c.implements({"adRefreshDuration"}); }

public:
    int32_t adRefreshDuration() override { return seconds; }
    int32_t seconds = 30;
};

TEST_F(MRAdViewTest, FactoriesPickTheViewAndFrameByTheTypeTable) {
    EXPECT_EQ(text(MRAdView::version().get()), "4.2.2");
    auto rect = MRAdView::adWithFrame(CGRectMake(10, 20, 1, 1), MRBannerAdRectangle, NS("html"),
                                      recorder.get(), false, false);
    views.push_back(rect);
    ASSERT_TRUE(is<MRBannerAdView>(rect));
    EXPECT_FALSE(is<MRIntersticialAdView>(rect));
    EXPECT_TRUE(CGRectEqualToRect(rect->frame(), CGRectMake(10, 20, 300, 250)));
    EXPECT_EQ(text(cast<MRGenericAdView>(rect)->adType().get()), "MRBannerAdRectangle");

    auto other = MRAdView::adWithFrame(CGRectMake(10, 20, 1, 1), 9, NS("html"), recorder.get(),
                                       false, false);
    views.push_back(other);
    ASSERT_TRUE(is<MRBannerAdView>(other));
    EXPECT_EQ(cast<MRGenericAdView>(other)->adTypeNumber(), MRBannerAdTop);
    EXPECT_TRUE(CGRectEqualToRect(other->frame(), CGRectMake(10, 20, 320, 53)));

    auto full = MRAdView::adWithFrame(CGRectMake(10, 20, 1, 1), MRFullScreenAdLaunch, NS("html"),
                                      recorder.get(), false, false);
    views.push_back(full);
    ASSERT_TRUE(is<MRIntersticialAdView>(full));
    // Both concrete views are generic views, and neither passes for the other.
    EXPECT_FALSE(is<MRBannerAdView>(full));
    EXPECT_TRUE(is<MRGenericAdView>(full));
    EXPECT_TRUE(full->isKindOfClass(MRGenericAdView::staticClass()));
    EXPECT_FALSE(full->isKindOfClass(MRBannerAdView::staticClass()));
    EXPECT_TRUE(rect->isKindOfClass(MRGenericAdView::staticClass()));
    EXPECT_FALSE(rect->isKindOfClass(MRIntersticialAdView::staticClass()));
    EXPECT_EQ(MRIntersticialAdView::staticClass()->superclass(), MRGenericAdView::staticClass());
    EXPECT_TRUE(CGRectEqualToRect(full->frame(), CGRectZero));

    EXPECT_EQ(MRAdView::interstitialWithType(MRBannerAdTop, NS("html"), recorder.get(), false),
              nullptr);
    auto launch =
        MRAdView::interstitialWithType(MRFullScreenAdTransition, NS("html"), recorder.get(), false);
    views.push_back(launch);
    EXPECT_TRUE(is<MRIntersticialAdView>(launch));
    EXPECT_EQ(text(cast<MRGenericAdView>(launch)->adType().get()), "MRFullScreenAdTransition");

    auto raised = raisedBy([] {
        MRAdView::adWithFrame(CGRectMake(0, 0, 320, 53), MRBannerAdTop, NS("html"), nullptr);
    });
    ASSERT_NE(raised, nullptr);
    EXPECT_EQ(text(raised->name().get()), "Invalid delegate");
    EXPECT_EQ(text(raised->reason().get()), "delegate must not be nil");
    EXPECT_EQ(text(raisedBy([] {
                       MRAdView::interstitialWithType(MRFullScreenAdLaunch, nullptr, nullptr, true);
                   })
                       ->name()
                       .get()),
              "Invalid delegate");
    // Nothing asked for an ad: every view above was built with loadAd NO.
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    EXPECT_TRUE(adRequests().empty());
}

TEST_F(MRAdViewTest, TheAdURLCarriesEveryValueInOrderAndTheTargetingAfterIt) {
    auto data = NSMutableDictionary::dictionary();
    data->setObject(NS("male"), NS("gender"));
    data->setObject(NS("10115"), NS("zip"));
    data->setObject(NS("red & blue"), NS("color"));  // unchecked, and escaped on its own
    recorder->data = data;
    banner("html");
    ASSERT_TRUE(eventsSettled(1));
    auto sent = adRequests();
    ASSERT_EQ(sent.size(), 1u);
    auto device = UIDevice::currentDevice();
    auto locale = NSLocale::currentLocale();
    std::string expected =
        "/getAd.php5?medialets=false&sdkapid=html&auid=" + text(device->uniqueIdentifier().get()) +
        "&mrisdk=4.2.2-11.4.6.i&ua=" +
        standin::percentEncode(text(device->model().get()) + " " +
                               text(device->systemVersion().get())) +
        "&dv=" + text(device->systemVersion().get()) +
        "&dm=" + standin::percentEncode(phone_system::hardwareModel()) +
        "&adtype=MRBannerAdTop&hswd=320&hsht=53&accelerometer=true"
        "&gender=male&zip=10115&color=red%20%26%20blue&video=true&language=" +
        text(locale->objectForKey(NSLocaleLanguageCode).get()) +
        "&country=" + text(locale->objectForKey(NSLocaleCountryCode).get()) + "&cachedvideo=true";
    EXPECT_EQ(sent[0], expected);
    EXPECT_TRUE(meridian->rejections().empty());
    auto received = services->received("meridian");
    for (auto& r : received) {
        if (r.target.rfind("/getAd.php5", 0) != 0) continue;
        std::string agent, agent2;
        for (auto& h : r.headers) {
            if (h.name == "User-Agent") agent = h.value;
            if (h.name == "User_Agent") agent2 = h.value;
        }
        EXPECT_EQ(agent, "MRSDK/4.2.2");
        EXPECT_EQ(agent2, "MRSDK/4.2.2");
    }
    EXPECT_NE(log.find("AD URL: http://ads.meridian.test" + expected), std::string::npos);
    EXPECT_EQ(recorder->events, std::vector<std::string>{"succeeded"});
}

TEST(MRGenericAdViewDevice, TheDeviceValuesFollowTheDevicesSetters) {
    auto device = UIDevice::currentDevice();
    // First use as the phone, then another device, as a later test may make it.
    EXPECT_EQ(text(MRGenericAdView::encodedUserAgent().get()), "iPhone%205.0");
    auto firstID = text(MRGenericAdView::deviceID().get());
    device->setModel(NS("iPad"));
    device->setSystemVersion(NS("4.3"));
    NSFileManager::defaultManager()->removeItemAtPath(
        NSHomeDirectory()->stringByAppendingPathComponent(NS("Library/DeviceIdentifier")), nullptr);
    device->resetIdentifierCache();
    EXPECT_EQ(text(MRGenericAdView::deviceType().get()), "iPad");
    EXPECT_EQ(text(MRGenericAdView::sdkVersion().get()), "4.3");
    EXPECT_EQ(text(MRGenericAdView::userAgent().get()), "iPad 4.3");
    EXPECT_EQ(text(MRGenericAdView::encodedUserAgent().get()), "iPad%204.3");
    EXPECT_EQ(text(MRGenericAdView::deviceID().get()), text(device->uniqueIdentifier().get()));
    EXPECT_NE(text(MRGenericAdView::deviceID().get()), firstID);
}

TEST_F(MRAdViewTest, AnUnreadableModelIsSentEmptyNotAsANilObjectsText) {
    phone_system::setFailing(true);
    EXPECT_EQ(MRGenericAdView::deviceModel(), nullptr);
    EXPECT_EQ(text(MRGenericAdView::deviceModelNumber().get()), "");
    auto values = cast<MRGenericAdView>(banner("html", false, false))->UIDeviceValues();
    EXPECT_EQ(text(values->objectForKey(NS("device_model")).get()),
              text(UIDevice::currentDevice()->model().get()));
    views.back()->refreshAd();
    phone_system::setFailing(false);
    ASSERT_TRUE(eventsSettled(2));
    ASSERT_EQ(adRequests().size(), 1u);
    EXPECT_EQ(queryField(adRequests()[0], "dm"), "");
    EXPECT_EQ(adRequests()[0].find("(null)"), std::string::npos);
    EXPECT_EQ(text(MRGenericAdView::deviceModel().get()), phone_system::hardwareModel());
}

TEST_F(MRAdViewTest, CheckedTargetingKeysRaiseWithTheirAllowedValues) {
    auto data = NSMutableDictionary::dictionary();
    data->setObject(NS("M"), NS("gender"));
    recorder->data = data;
    auto raised = raisedBy([&] { banner("html"); });
    ASSERT_NE(raised, nullptr);
    EXPECT_EQ(text(raised->name().get()), "Invalid Meta Data");
    EXPECT_EQ(text(raised->reason().get()),
              "The key provided gender must have one of the following value male,female,unknown");
    for (auto [key, bad] :
         {std::pair{"marital", "widowed"}, {"ethnicity", "martian"}, {"orientation", "other"}}) {
        data->removeAllObjects();
        data->setObject(NSString::fromUTF8(bad).get(), NSString::fromUTF8(key).get());
        EXPECT_EQ(raisedName([&] { banner("html"); }), "Invalid Meta Data") << key;
    }
    data->removeAllObjects();
    data->setObject(NS("engaged"), NS("marital"));
    data->setObject(NS("gay"), NS("orientation"));
    banner("html");
    ASSERT_TRUE(eventsSettled(1));
    ASSERT_EQ(adRequests().size(), 1u);
    EXPECT_EQ(queryField(adRequests()[0], "marital"), "engaged");
    EXPECT_EQ(queryField(adRequests()[0], "orientation"), "gay");
}

TEST_F(MRAdViewTest, AnInvalidValueMetByTheTimerIsLoggedAndThatTickSendsNothing) {
    auto view = banner("html", true, true);
    ASSERT_TRUE(eventsSettled(1));
    auto data = NSMutableDictionary::dictionary();
    data->setObject(NS("tall"), NS("gender"));
    recorder->data = data;
    advanceRunLoop(60);
    EXPECT_NE(log.find("Invalid Meta Data"), std::string::npos);
    EXPECT_EQ(adRequests().size(), 1u);
    // The timer lives on: a sound value is sent at the next tick.
    data->setObject(NS("female"), NS("gender"));
    advanceRunLoop(60);
    ASSERT_TRUE(runLoopUntil([&] { return adRequests().size() == 2; }));
    EXPECT_EQ(queryField(adRequests()[1], "gender"), "female");
}

TEST_F(MRAdViewTest, WithoutAnApidTheBundlesOrTheDefaultIsSentAndSaved) {
    banner(nullptr);
    ASSERT_TRUE(eventsSettled(1));
    ASSERT_EQ(adRequests().size(), 1u);
    EXPECT_EQ(queryField(adRequests()[0], "sdkapid"), "357");
    EXPECT_EQ(text(NSUserDefaults::standardUserDefaults()->stringForKey(NS("MRApid")).get()),
              "357");
    // The handshake, made while the first view was built, found it there.
    EXPECT_EQ(text(MRHandshake::sharedHandshake()->apid().get()), "357");
    ASSERT_TRUE(handshakeSettled());
    // The handshake's request is recorded by the service's own thread: wait for it there.
    ASSERT_TRUE(runLoopUntil([&] { return !targets("/appConfigServlet?").empty(); }));
    EXPECT_EQ(queryField(targets("/appConfigServlet?")[0], "apid"), "357");
}

TEST_F(MRAdViewTest, RepliesGoToTheHTMLViewUnlessExactlyJSONAndFailuresAreReported) {
    struct Case {
        const char* apid;
        const char* event;
    };
    for (auto c : {Case{"json-charset", "succeeded"}, Case{"json", "failed"},
                   Case{"empty", "failed"}, Case{"500", "failed"}, Case{"html", "succeeded"}}) {
        recorder->events.clear();
        auto view = cast<MRGenericAdView>(banner(c.apid));
        ASSERT_TRUE(eventsSettled(1)) << c.apid;
        EXPECT_EQ(recorder->events, std::vector<std::string>{c.event}) << c.apid;
        bool shown = view->htmlAdView()->getAd() != nullptr;
        EXPECT_EQ(shown, std::string(c.event) == "succeeded") << c.apid;
    }
}

TEST_F(MRAdViewTest, AFailureAfterPartOfTheReplyLeavesNothingForTheNext) {
    standin::Fault cut;
    cut.host = "ads.meridian.test";
    cut.path = "/getAd.php5";
    cut.delivery = standin::Fault::Delivery::Truncate;
    cut.truncateAt = 40;
    services->addFault(cut);
    auto view = cast<MRGenericAdView>(banner("html"));
    ASSERT_TRUE(eventsSettled(1));
    EXPECT_EQ(recorder->events, std::vector<std::string>{"failed"});
    services->clearFaults();
    view->refreshAd();
    ASSERT_TRUE(eventsSettled(3));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"failed", "refresh", "succeeded"}));
    auto page = view->htmlAdView()->getAd()->ad()->utf8();
    // The page starts with the style rule, then the reply: no bytes of the cut reply before it.
    EXPECT_EQ(page.find("<style"), 0u);
    size_t ads = 0;
    for (size_t at = page.find("Meridian ad "); at != std::string::npos;
         at = page.find("Meridian ad ", at + 1))
        ads++;
    EXPECT_EQ(ads, 1u) << page;
    EXPECT_NE(page.find("</html>"), std::string::npos);
}

TEST_F(MRAdViewTest, TheIntervalComesFromTheHandshakeElseTheHostClampedElseSixty) {
    meridian->setHandshakeReply([] {
        bnservices::MeridianHandshakeReply r;
        r.adtypes = R"({"MRBannerAdTop":{"adrefresh":0},"MRBannerAdBottom":{"adrefresh":120},)"
                    R"("MRBannerAdRectangle":{"adrefresh":"sdk"}})";
        return r;
    }());
    auto host = make<DurationDelegate>();
    auto top = cast<MRGenericAdView>(banner("html", false, true, host.get()));
    ASSERT_TRUE(handshakeSettled());
    for (auto [asked, used] : {std::pair{5, 15}, {90, 60}, {30, 30}, {15, 15}, {60, 60}}) {
        host->seconds = asked;
        top->updateTimerDuration();
        EXPECT_EQ(top->refreshAdTime(), used) << asked;
    }
    auto bottom = MRAdView::adWithFrame(CGRectMake(0, 0, 320, 53), MRBannerAdBottom, NS("html"),
                                        host.get(), false, true);
    views.push_back(bottom);
    auto b = cast<MRGenericAdView>(bottom);
    // adConfig follows the type of the latest view built.
    EXPECT_EQ(b->refreshAdTime(), 120);
    EXPECT_DOUBLE_EQ(b->refreshAdTimer()->timeInterval(), 120);
    auto rect = MRAdView::adWithFrame(CGRectMake(0, 0, 1, 1), MRBannerAdRectangle, NS("html"),
                                      host.get(), false, true);
    views.push_back(rect);
    host->seconds = 45;
    cast<MRGenericAdView>(rect)->updateTimerDuration();
    EXPECT_EQ(cast<MRGenericAdView>(rect)->refreshAdTime(), 45);
    // No answer from the host: 60.
    auto silent = make<MRSilentDelegate>();
    auto plain = MRAdView::adWithFrame(CGRectMake(0, 0, 320, 53), MRBannerAdTop, NS("html"),
                                       silent.get(), false, true);
    views.push_back(plain);
    EXPECT_EQ(cast<MRGenericAdView>(plain)->refreshAdTime(), 60);
}

TEST_F(MRAdViewTest, TheTimerRefreshesAndRefreshAdRestartsIt) {
    auto view = cast<MRGenericAdView>(banner("html", true, true));
    ASSERT_TRUE(eventsSettled(1));
    advanceRunLoop(59);
    EXPECT_EQ(adRequests().size(), 1u);
    advanceRunLoop(1);
    ASSERT_TRUE(eventsSettled(3));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"succeeded", "refresh", "succeeded"}));
    advanceRunLoop(30);
    view->refreshAd();  // the next tick is a full interval away
    ASSERT_TRUE(eventsSettled(5));
    advanceRunLoop(59);
    EXPECT_EQ(adRequests().size(), 3u);
    advanceRunLoop(1);
    ASSERT_TRUE(runLoopUntil([&] { return adRequests().size() == 4; }));
    view->disableAdRefresh();
    EXPECT_EQ(view->refreshAdTimer(), nullptr);
    advanceRunLoop(120);
    EXPECT_EQ(adRequests().size(), 4u);
}

TEST_F(MRAdViewTest, NothingIsFetchedWhileAVideoCaches) {
    auto view = cast<MRGenericAdView>(banner("html", false, true));
    auto center = NSNotificationCenter::defaultCenter();
    center->postNotificationName(NS("MRCachingBeganNotification"), nullptr);
    view->refreshAd();
    advanceRunLoop(60);
    EXPECT_TRUE(recorder->events.empty());
    EXPECT_TRUE(adRequests().empty());
    EXPECT_NE(view->refreshAdTimer(), nullptr);  // still ticking
    center->postNotificationName(NS("MRCachingEndedNotification"), nullptr);
    view->refreshAd();
    ASSERT_TRUE(eventsSettled(2));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"refresh", "succeeded"}));
}

TEST_F(MRAdViewTest, TheServersRefreshHeaderSetsTheTimersInterval) {
    auto view = cast<MRGenericAdView>(banner("refresh45", true, true));
    ASSERT_TRUE(eventsSettled(1));
    EXPECT_EQ(view->refreshAdTime(), 45);
    ASSERT_NE(view->refreshAdTimer(), nullptr);
    EXPECT_DOUBLE_EQ(view->refreshAdTimer()->timeInterval(), 45);
    advanceRunLoop(45);
    ASSERT_TRUE(eventsSettled(3));
    EXPECT_EQ(adRequests().size(), 2u);
    // Without refresh the header starts nothing.
    view->disableAdRefresh();
    view->refreshAd();
    ASSERT_TRUE(runLoopUntil([&] { return adRequests().size() == 3; }));
    ASSERT_TRUE(eventsSettled(5)) << testing::PrintToString(recorder->events);
    EXPECT_EQ(view->refreshAdTimer(), nullptr);
}

TEST_F(MRAdViewTest, ResizingBelow54GivesTheBannerHeightAndRestartsTheTimer) {
    auto view = cast<MRGenericAdView>(banner("html", false, true));
    view->stopTimer();
    auto center = NSNotificationCenter::defaultCenter();
    center->postNotificationName(NS("MRResizeAdToHeight"), NSNumber::numberWithFloat(50).get());
    advanceRunLoop(1);
    EXPECT_FLOAT_EQ(view->frame().size.height, 53);
    EXPECT_NE(view->refreshAdTimer(), nullptr);
    center->postNotificationName(NS("MRResizeAdToHeight"), NSNumber::numberWithFloat(100).get());
    advanceRunLoop(1);
    EXPECT_FLOAT_EQ(view->frame().size.height, 100);
    EXPECT_EQ(view->refreshAdTimer(), nullptr);
    EXPECT_FLOAT_EQ(view->htmlAdView()->frame().size.height, 100);
}

TEST_F(MRAdViewTest, TheKillSwitchStopsEveryFetchWithALogLine) {
    bnservices::MeridianHandshakeReply r;
    r.kill = true;
    meridian->setHandshakeReply(r);
    banner("html", false, false);
    ASSERT_TRUE(handshakeSettled());
    EXPECT_FALSE(MRHandshake::sharedHandshake()->isAdCallAllowed());
    views.back()->refreshAd();
    views.back()->refreshAd();
    runLoopUntil([] { return NetworkWork::inFlight() == 0; });
    EXPECT_TRUE(adRequests().empty());
    size_t lines = 0;
    for (size_t at = log.find("MRSDK: Ad requests have been disabled."); at != std::string::npos;
         at = log.find("MRSDK: Ad requests have been disabled.", at + 1))
        lines++;
    EXPECT_EQ(lines, 2u);
    EXPECT_TRUE(recorder->events == (std::vector<std::string>{"refresh", "refresh"}));
}

}  // namespace
