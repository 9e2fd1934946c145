// The client against the stand-in analytics service over real sockets: its uploads decode there
// field by field, the additional-info upload goes through a hidden web view, the URL helpers
// build and send requests, and the hardware values come from the system.
#include <gtest/gtest.h>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/SystemInfo.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "analytics/TallyAPI.h"
#include "analytics/TallyHTTP.h"
#include "analytics/TallySession.h"
#include "support/RunLoopTesting.h"
#include "support/services/RunningServices.h"
#include "tools/services/AnalyticsModule.h"

namespace {

bnservices::AnalyticsModule& analytics() {
    return *servicestest::services().module<bnservices::AnalyticsModule>("analytics");
}

class TallyStandInTest : public ::testing::Test {
protected:
    ManualClockScope clock;
    void SetUp() override {
        servicestest::services().reset();
        reset();
        // A fresh start: no files of an earlier test.
        TallySession::removeFilesForTesting(NS("stand-in-key"));
    }
    void TearDown() override { reset(); }
    static void reset() {
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(NS("TallySendUsageInfo"));
    }
};

TEST_F(TallyStandInTest, TheAppsCallsArriveDecodedAtTheStandIn) {
    TallyAPI::startSession(NS("stand-in-key"));
    ASSERT_TRUE(runLoopUntil([] { return analytics().uploads().size() == 1; }));
    TallyAPI::countPageView();
    TallyAPI::logEvent(NS("Post Success"));
    TallyAPI::logEvent(NS("Location Error"));
    auto exception =
        NSException::exceptionWithName(NS("NSInvalidArgumentException"), NS("nil name"), nullptr);
    TallyAPI::logError(NS("POST Error Unknown"), NS("https://post.bazaarnest.test/k/x"),
                       exception.get());
    Clock::advance(2);
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationWillTerminateNotification, nullptr);

    auto uploads = analytics().uploads();
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_TRUE(uploads[0].upload.sessions.empty());
    const auto& end = uploads[1].upload;
    EXPECT_EQ(end.apiKey, "stand-in-key");
    EXPECT_EQ(end.phoneID.rfind("IPHONE", 0), 0u);
    ASSERT_EQ(end.sessions.size(), 1u);
    const auto& s = end.sessions[0];
    EXPECT_EQ(s.start, end.sessionStart);
    EXPECT_EQ(s.length, 2000);
    EXPECT_EQ(s.pageViews, 1);
    ASSERT_EQ(s.events.size(), 2u);
    EXPECT_EQ(s.events[1].name, "Location Error");
    ASSERT_EQ(s.errors.size(), 1u);
    EXPECT_EQ(s.errors[0].message, "https://post.bazaarnest.test/k/x");
    EXPECT_EQ(s.errors[0].exception, "NSInvalidArgumentException: nil name");
    EXPECT_TRUE(analytics().refusals().empty());
}

TEST_F(TallyStandInTest, AdditionalInfoGoesThroughAHiddenWebView) {
    auto previous = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    TallySession::createActiveTallySession(NS("stand-in-key"));
    TallySession::currentSession()->recordEvent(NS("filed"), nullptr);
    TallySession::currentSession()->saveSession();
    TallySession::createActiveTallySession(NS("stand-in-key"));

    TallySession::sendSessionsToServerForAdditionalInfo();
    ASSERT_TRUE(runLoopUntil([] { return analytics().uploads().size() == 1; }));
    auto upload = analytics().uploads()[0].upload;
    // The saved record alone: the current session stays out, and nothing is booked.
    ASSERT_EQ(upload.sessions.size(), 1u);
    EXPECT_EQ(upload.sessions[0].events.at(0).name, "filed");
    EXPECT_EQ(TallySession::savedSessions()->count(), 1u);
    EXPECT_FALSE(TallySession::sentSession());
    auto received = servicestest::services().received("analytics");
    ASSERT_EQ(received.size(), 1u);
    bool fromWebView = false;
    for (const auto& h : received[0].headers)
        fromWebView |= h.name == "User-Agent";
    EXPECT_TRUE(fromWebView);
    UIWebView::setURLLoader(previous);
}

TEST_F(TallyStandInTest, UrlHelpersBuildAndSendRequests) {
    EXPECT_TRUE(TallyHTTPEater::urlWithProtocol(nullptr, NS("h.test"), 80, NS("a/b"), NS("x=1"))
                    ->absoluteString()
                    ->isEqualToString(NS("http://h.test/a/b?x=1")));
    auto query = NSMutableDictionary::dictionary();
    query->setObject(NS("1"), NS("k"));
    query->setObject(NS("a b"), NS("q"));
    EXPECT_TRUE(TallyHTTPEater::queryDictionaryToString(query)->isEqualToString(NS("k=1&q=a b")));
    query->removeObjectForKey(NS("q"));
    EXPECT_TRUE(TallyHTTPEater::urlWithProtocol(NS("https"), NS("h.test"), 8443, nullptr, query)
                    ->absoluteString()
                    ->isEqualToString(NS("https://h.test:8443?k=1")));
    EXPECT_TRUE(TallyHTTPEater::urlWithProtocol(NS("http"), NS("h.test"), 0, NS("p"), nullptr)
                    ->absoluteString()
                    ->isEqualToString(NS("http://h.test/p")));

    // Sent to the stand-in: a GET is not how uploads go, and a post without its type is refused.
    auto got = TallyHTTPEater::get(NS("http://analytics.tally.test/aap.do"));
    EXPECT_EQ(got->statusCode(), 405);
    EXPECT_TRUE(got->isError());
    auto posted =
        TallyHTTPEater::post(NSURL::URLWithString(NS("http://analytics.tally.test/aap.do")),
                             NSData::dataWithBytes("x", 1));
    EXPECT_EQ(posted->statusCode(), 400);
    auto type =
        NSDictionary::dictionaryWithObject(NS("application/octet-stream"), NS("Content-Type"));
    posted = TallyHTTPEater::post(NS("http://analytics.tally.test/aap.do"),
                                  NSData::dataWithBytes("x", 1), type);
    EXPECT_EQ(posted->statusCode(), 400);
    ASSERT_EQ(analytics().refusals().size(), 2u);
    EXPECT_EQ(analytics().refusals()[1].reason, "field protocol at byte 0: short data");
}

TEST(TallyDeviceTest, HardwareValuesComeFromTheSystem) {
    EXPECT_TRUE(TallySession::devicePlatform()->isEqualToString(NS("iPhone3,1")));
    EXPECT_EQ(TallySession::deviceMemory(), 512);
    EXPECT_EQ(TallySession::deviceCPUFrequency(), 1000000000);
    phone_system::setPhysicalMemory(256u * 1024 * 1024 + 1048575);  // truncated
    EXPECT_EQ(TallySession::deviceMemory(), 256);
    phone_system::setFailing(true);
    EXPECT_EQ(TallySession::devicePlatform(), nullptr);
    EXPECT_EQ(TallySession::deviceMemory(), 0);
    phone_system::reset();
    EXPECT_DOUBLE_EQ(TallySession::reduceLocationPrecision(42.123456), 42.123);
    EXPECT_DOUBLE_EQ(TallySession::reduceLocationPrecision(-71.06789), -71.067);
}

}  // namespace
