// The handshake against the stand-in Meridian service: the first request, the saved state that a
// new launch applies, the kill switch, server errors, and the back-off of failed or unreadable
// handshakes on the manual clock.
#include "ads/meridian/MRHandshake.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "UIKit/UIAlertView.h"
#include "ads/meridian/MRGenericAdView.h"
#include "ads/meridian/MeridianTesting.h"
#include "support/FoundationTesting.h"

namespace {

class MRHandshakeTest : public MeridianTest {
protected:
    void TearDown() override {
        auto panels = UIButtonPanelView::shownPanels();
        for (NSUInteger i = 0; i < panels->count(); i++)
            if (auto panel = as<UIButtonPanelView>(panels->objectAtIndex(i)))
                panel->dismissWithClickedButtonIndex(0, false);
        MeridianTest::TearDown();
    }
    // A launch: the handshake made with the placement id the ad views saved.
    Ref<MRHandshake> launch() {
        NSUserDefaults::standardUserDefaults()->setObject(NS("html"), NS("MRApid"));
        return MRHandshake::sharedHandshake();
    }
    // A later launch of the program: a new instance over the same files.
    Ref<MRHandshake> relaunch() {
        MRHandshake::resetSharedHandshakeForTesting();
        return launch();
    }
    std::vector<std::string> handshakes() { return targets("/appConfigServlet?"); }
    bool requested(size_t count) {
        return runLoopUntil(
            [&] { return handshakes().size() >= count && NetworkWork::inFlight() == 0; });
    }
    static bnservices::MeridianHandshakeReply reply(double callback = 600) {
        bnservices::MeridianHandshakeReply r;
        r.callback = callback;
        r.adtypes = R"({"MRBannerAdTop":{"adrefresh":45,"videointerval":600},)"
                    R"("MRBannerAdBottom":{"adrefresh":"sdk"}})";
        return r;
    }
};

TEST_F(MRHandshakeTest, AFirstLaunchAsksAtOnceAndSavesTheReplyAndTheNextTime) {
    meridian->setHandshakeReply(reply());
    auto shake = launch();
    ASSERT_TRUE(requested(1));
    ASSERT_EQ(handshakes().size(), 1u);
    std::string target = handshakes()[0];
    // The pieces in their order.
    std::vector<std::string> names;
    for (auto& f : standin::parseQuery(target.substr(target.find('?') + 1)))
        names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{"apid", "mrisdk", "dv", "dm", "auid", "language",
                                               "country"}));
    EXPECT_EQ(queryField(target, "apid"), "html");
    EXPECT_EQ(queryField(target, "mrisdk"), "4.2.2-11.4.6.i");
    EXPECT_TRUE(meridian->rejections().empty());
    ASSERT_NE(shake->handshakeResponse(), nullptr);
    EXPECT_TRUE(shake->isAdCallAllowed());
    EXPECT_FLOAT_EQ(shake->handshakeCallbackDuration(), 600);
    ASSERT_NE(shake->nextHandshakeToOccurAt(), nullptr);
    EXPECT_NEAR(shake->nextHandshakeToOccurAt()->timeIntervalSinceNow(), 600, 0.01);
    auto saved = NSDictionary::dictionaryWithContentsOfFile(MRHandshake::statePath().get());
    ASSERT_NE(saved, nullptr);
    EXPECT_NE(saved->objectForKey(NS("handshakeResponse")), nullptr);
    EXPECT_NE(saved->objectForKey(NS("nextHandshakeToOccurAt")), nullptr);
    EXPECT_EQ(saved->objectForKey(NS("lastVideoPlayedAt")), nullptr);  // only what is set

    shake->setAdType(MRBannerAdTop);
    auto top = shake->adConfig();
    EXPECT_FLOAT_EQ(top.adRefresh, 45);
    EXPECT_FLOAT_EQ(top.videoInterval, 600);
    EXPECT_EQ(top.adType, MRBannerAdTop);
    auto bottom = shake->configurationForAdType(MRBannerAdBottom);
    EXPECT_FLOAT_EQ(bottom.adRefresh, -1);
    EXPECT_FLOAT_EQ(bottom.videoInterval, -1);
    EXPECT_FLOAT_EQ(shake->configurationForAdType(MRFullScreenAdLaunch).adRefresh, -1);
    shake->setAdType(0);
    EXPECT_FLOAT_EQ(shake->adConfig().adRefresh, -1);

    // The period runs out: asked again.
    advanceRunLoop(599);
    EXPECT_EQ(handshakes().size(), 1u);
    advanceRunLoop(1);
    ASSERT_TRUE(requested(2));
}

TEST_F(MRHandshakeTest, ANewLaunchAppliesTheSavedReplyAndWaitsForTheSavedTime) {
    auto killed = reply();
    killed.kill = true;
    meridian->setHandshakeReply(killed);
    launch();
    ASSERT_TRUE(requested(1));
    EXPECT_FALSE(MRHandshake::sharedHandshake()->isAdCallAllowed());
    meridian->setHandshakeReply(reply());

    advanceRunLoop(200);
    auto shake = relaunch();
    // Killed by the saved reply, without asking: the saved time has not come.
    EXPECT_FALSE(shake->isAdCallAllowed());
    shake->setAdType(MRBannerAdTop);
    EXPECT_FLOAT_EQ(shake->adConfig().adRefresh, 45);
    advanceRunLoop(399);
    runLoopUntil([] { return NetworkWork::inFlight() == 0; });
    EXPECT_EQ(handshakes().size(), 1u);
    advanceRunLoop(1);
    ASSERT_TRUE(requested(2));
    EXPECT_TRUE(shake->isAdCallAllowed());

    // A launch after the saved time asks at once.
    advanceRunLoop(1000);
    runLoopUntil([] { return NetworkWork::inFlight() == 0; });
    size_t before = handshakes().size();
    MRHandshake::resetSharedHandshakeForTesting();
    advanceRunLoop(10000);
    relaunch();
    ASSERT_TRUE(requested(before + 1));
}

TEST_F(MRHandshakeTest, ServerErrorsAreShownOrLoggedAndChangeNothing) {
    auto prompt = reply();
    prompt.kill = true;
    prompt.errorMessage = "Unknown placement";
    meridian->setHandshakeReply(prompt);
    auto shake = launch();
    ASSERT_TRUE(requested(1));
    ASSERT_TRUE(runLoopUntil([] { return UIButtonPanelView::shownPanels()->count() == 1; }));
    auto alert = as<UIAlertView>(UIButtonPanelView::shownPanels()->lastObject());
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(text(alert->title().get()), "Handshake Error");
    EXPECT_EQ(text(alert->message().get()), "Unknown placement");
    EXPECT_EQ(alert->numberOfButtons(), 1);
    EXPECT_EQ(text(alert->buttonTitleAtIndex(0).get()), "OK");
    EXPECT_TRUE(shake->isAdCallAllowed());  // the reply's kill was not applied
    EXPECT_FLOAT_EQ(shake->handshakeCallbackDuration(), 86400);
    EXPECT_FALSE(NSFileManager::defaultManager()->fileExistsAtPath(MRHandshake::statePath().get()));

    alert->dismissWithClickedButtonIndex(0, false);
    auto logged = reply();
    logged.errorMessage = "Placement paused";
    logged.errorType = "log";
    meridian->setHandshakeReply(logged);
    MRHandshake::resetSharedHandshakeForTesting();
    launch();
    ASSERT_TRUE(requested(2));
    EXPECT_NE(log.find("MRSDK: Placement paused"), std::string::npos);
    EXPECT_EQ(UIButtonPanelView::shownPanels()->count(), 0u);
}

TEST_F(MRHandshakeTest, FailedHandshakesBackOffFromThirtySecondsToAnHour) {
    standin::Fault down;
    down.host = "ads.meridian.test";
    down.path = "/appConfigServlet";
    down.status = 503;
    services->addFault(down);
    meridian->setHandshakeReply(reply());
    auto shake = launch();
    ASSERT_TRUE(requested(1));
    EXPECT_EQ(shake->handshakeResponse(), nullptr);
    // Never at once, then after 30, 60, 120 ... seconds.
    double expected = 30;
    for (size_t n = 2; n <= 9; n++) {
        advanceRunLoop(expected - 1);
        runLoopUntil([] { return NetworkWork::inFlight() == 0; });
        EXPECT_EQ(handshakes().size(), n - 1) << n;
        advanceRunLoop(1);
        ASSERT_TRUE(requested(n)) << n;
        expected = std::min(expected * 2, 3600.0);
    }
    EXPECT_DOUBLE_EQ(shake->retryDelay(), 3600);
    services->clearFaults();
    advanceRunLoop(3600);
    ASSERT_TRUE(requested(10));
    ASSERT_NE(shake->handshakeResponse(), nullptr);
    EXPECT_DOUBLE_EQ(shake->retryDelay(), 30);  // a good reply starts the pace afresh
}

TEST_F(MRHandshakeTest, UnreadableRepliesAreLoggedKeepTheOldSettingsAndAreRetried) {
    auto broken = reply();
    broken.malformed = true;
    meridian->setHandshakeReply(broken);
    auto shake = launch();
    ASSERT_TRUE(requested(1));
    EXPECT_NE(log.find("MRSDK: Invalid Response - No handshake"), std::string::npos);
    EXPECT_TRUE(shake->isAdCallAllowed());
    meridian->setHandshakeReply(reply());
    advanceRunLoop(30);
    ASSERT_TRUE(requested(2));
    EXPECT_NE(shake->handshakeResponse(), nullptr);
    EXPECT_FLOAT_EQ(shake->handshakeCallbackDuration(), 600);
}

TEST_F(MRHandshakeTest, AReplyWithoutAPeriodIsNotAskedAgainAtOnce) {
    meridian->setHandshakeReply(reply(-1));
    auto shake = launch();
    ASSERT_TRUE(requested(1));
    EXPECT_FLOAT_EQ(shake->handshakeCallbackDuration(), 0);
    advanceRunLoop(59);
    runLoopUntil([] { return NetworkWork::inFlight() == 0; });
    EXPECT_EQ(handshakes().size(), 1u);
    advanceRunLoop(1);
    ASSERT_TRUE(requested(2));
}

TEST_F(MRHandshakeTest, VideoAndDeferredViewRulesUseAbsoluteSeconds) {
    meridian->setHandshakeReply(reply());
    auto shake = launch();
    ASSERT_TRUE(requested(1));
    shake->setAdType(MRBannerAdTop);
    EXPECT_TRUE(shake->isVideoAdRequestAllowed());
    EXPECT_FALSE(shake->isDeferredTimeoutExpired());
    shake->setLastVideoPlayedAt(NSDate::dateWithTimeIntervalSinceNow(-100).get());
    EXPECT_FALSE(shake->isVideoAdRequestAllowed());
    // A date in the future counts by its distance too.
    shake->setLastVideoPlayedAt(NSDate::dateWithTimeIntervalSinceNow(100).get());
    EXPECT_FALSE(shake->isVideoAdRequestAllowed());
    shake->setLastVideoPlayedAt(NSDate::dateWithTimeIntervalSinceNow(-600).get());
    EXPECT_TRUE(shake->isVideoAdRequestAllowed());
    shake->setAdType(MRBannerAdBottom);  // no video interval: always allowed
    shake->setLastVideoPlayedAt(NSDate::date().get());
    EXPECT_TRUE(shake->isVideoAdRequestAllowed());

    shake->setLastVideoRequestMadeAt(NSDate::dateWithTimeIntervalSinceNow(-3599).get());
    EXPECT_FALSE(shake->isDeferredTimeoutExpired());
    shake->setLastVideoRequestMadeAt(NSDate::dateWithTimeIntervalSinceNow(-3600).get());
    EXPECT_TRUE(shake->isDeferredTimeoutExpired());
    // The times are saved with the state.
    auto saved = NSDictionary::dictionaryWithContentsOfFile(MRHandshake::statePath().get());
    EXPECT_NE(saved->objectForKey(NS("lastVideoPlayedAt")), nullptr);
    EXPECT_NE(saved->objectForKey(NS("lastVideoRequestMadeAt")), nullptr);
}

TEST_F(MRHandshakeTest, AVideoPlayedWithinTheIntervalSendsVideoFalse) {
    meridian->setHandshakeReply(reply());
    auto view = banner("html", false, false);
    ASSERT_TRUE(handshakeSettled());
    MRHandshake::sharedHandshake()->setLastVideoPlayedAt(
        NSDate::dateWithTimeIntervalSinceNow(-100).get());
    view->refreshAd();
    ASSERT_TRUE(eventsSettled(2));
    ASSERT_EQ(adRequests().size(), 1u);
    EXPECT_EQ(queryField(adRequests()[0], "video"), "false");
}

}  // namespace
