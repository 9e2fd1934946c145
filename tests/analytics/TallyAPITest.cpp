#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIKitNotifications.h"
#include "ads/tally/TallyAdClient.h"
#include "analytics/TallyAPI.h"
#include "analytics/TallyRecordReader.h"
#include "analytics/TallySession.h"
#include "analytics/base/TallyHosts.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/http/TestServer.h"

using namespace tally_test;

namespace {

class TallyAPITest : public ::testing::Test {
protected:
    ManualClockScope clock;
    testhttp::TestServer server;
    std::atomic<int> status{200};
    // While held, the server keeps every upload waiting for its answer.
    std::mutex gateLock;
    std::condition_variable gateOpened;
    bool held = false;
    void hold(bool on) {
        {
            std::lock_guard lock(gateLock);
            held = on;
        }
        gateOpened.notify_all();
    }

    void SetUp() override {
        server.route("POST", "/aap.do", [this](const testhttp::Request& r) {
            EXPECT_EQ(r.header("Content-Type"), "application/octet-stream");
            std::unique_lock lock(gateLock);
            gateOpened.wait(lock, [this] { return !held; });
            return testhttp::Response(status.load(), "");
        });
        reset();
        TallyAPI::setServerURL(NSString::stringWithUTF8String(server.url("/aap.do").c_str()));
    }
    void TearDown() override {
        hold(false);
        clearFiles();
        reset();
    }
    static void reset() {
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(NS("TallySendUsageInfo"));
    }
    void clearFiles() { TallySession::removeFilesForTesting(NS("api-key")); }
    // Decoded uploads, in order.
    std::vector<Envelope> uploads() {
        std::vector<Envelope> out;
        for (auto& r : server.requestsTo("/aap.do"))
            out.push_back(readEnvelope(NSData::dataWithBytes(r.body.data(), r.body.size())));
        return out;
    }
    void post(NSString* name) {
        NSNotificationCenter::defaultCenter()->postNotificationName(name, nullptr);
    }
    // Starts with two records already saved and waits for the start-up upload to be booked.
    void startWithSavedRecords(bool expectSuccess, size_t requests = 1) {
        clearFiles();
        TallySession::createActiveTallySession(NS("api-key"));
        TallySession::currentSession()->recordEvent(NS("old"), nullptr);
        auto record = TallySession::currentSession()->data();
        TallySession::setSavedSessions(NSArray::arrayWithObjects({record.get(), record.get()}));
        NSFileManager::defaultManager()->removeItemAtPath(TallySession::currentSessionFilePath(),
                                                          nullptr);
        TallyAPI::startSession(NS("api-key"));
        ASSERT_TRUE(runLoopUntil([&] {
            return server.requestCount() == requests &&
                   (expectSuccess ? TallySession::sentSession()
                                  : !TallySession::currentSession()->internetAvailable());
        }));
    }
};

}  // namespace

TEST_F(TallyAPITest, StartUploadBooksItsOutcome) {
    status = 302;  // a redirect status counts as delivered
    EarlierWriterLeftover leftover(NSString::stringWithFormat(  // the sent marker's, for the key
        NS("%@/Library/.tallySent%d.archive"), NSHomeDirectory().get(),
        static_cast<int32_t>(NS("api-key")->hash())));
    startWithSavedRecords(true);
    auto sent = uploads();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].sessions.size(), 2u);  // the saved records, not the new session
    EXPECT_EQ(sent[0].sessions[0].events[0].name, "old");
    EXPECT_EQ(sent[0].apiKey, "api-key");
    EXPECT_EQ(sent[0].adsRequested, 0u);
    EXPECT_TRUE(leftover.gone());  // the marker is one of the client's own files
    EXPECT_TRUE(runLoopUntil([] { return TallySession::savedSessions()->count() == 0; }));
}

TEST_F(TallyAPITest, FailedStartUploadKeepsTheRecords) {
    status = 500;
    startWithSavedRecords(false);
    EXPECT_EQ(TallySession::savedSessions()->count(), 2u);
    EXPECT_FALSE(TallySession::sentSession());
}

TEST_F(TallyAPITest, PauseUploadsTheCurrentSessionAndClearsNothing) {
    startWithSavedRecords(true);
    TallyAPI::logEvent(NS("shown"));
    TallySession::setSavedSessions(
        NSArray::arrayWithObject(TallySession::currentSession()->data()));
    post(UIApplicationWillResignActiveNotification);
    ASSERT_TRUE(runLoopUntil([&] { return server.requestCount() == 2; }));
    auto sent = uploads();
    ASSERT_EQ(sent[1].sessions.size(), 2u);
    EXPECT_EQ(sent[1].sessions[1].events[0].name, "shown");
    EXPECT_EQ(sent[1].sessions[1].length, 0);  // the pause stamped the end time
    // Wait for the pause thread to close its background task before looking at the files.
    ASSERT_TRUE(runLoopUntil(
        [] { return UIApplication::sharedApplication()->activeBackgroundTaskCount() == 0; }));
    EXPECT_EQ(TallySession::savedSessions()->count(), 1u);
}

TEST_F(TallyAPITest, BackgroundTasksOnlyWhereTheSystemHasThem) {
    startWithSavedRecords(true);
    auto app = UIApplication::sharedApplication();
    auto device = UIDevice::currentDevice();
    hold(true);
    post(UIApplicationWillResignActiveNotification);
    EXPECT_EQ(app->activeBackgroundTaskCount(), 1u);
    ASSERT_TRUE(runLoopUntil([&] { return server.requestCount() == 2; }));
    // A system without background tasks leaves the kept task alone.
    device->setSystemVersion(NS("3.1.3"));
    TallyAPI::stopBackgroundTask();
    advanceRunLoop(0.1);
    EXPECT_EQ(app->activeBackgroundTaskCount(), 1u);
    device->setSystemVersion(NS("5.0"));
    hold(false);  // the pause upload answers and ends its task
    ASSERT_TRUE(runLoopUntil([&] { return app->activeBackgroundTaskCount() == 0; }));

    // Before multitasking a pause begins no task and still uploads.
    post(UIApplicationDidBecomeActiveNotification);
    device->setSystemVersion(NS("3.1.3"));
    post(UIApplicationWillResignActiveNotification);
    EXPECT_EQ(app->activeBackgroundTaskCount(), 0u);
    ASSERT_TRUE(runLoopUntil([&] { return server.requestCount() == 3; }));
}

TEST_F(TallyAPITest, StoppingWithoutATaskEndsNone) {
    LoggedLines log;
    auto app = UIApplication::sharedApplication();
    // The host's own task, not one the client began.
    auto hosts = app->beginBackgroundTaskWithExpirationHandler([] {});
    TallyAPI::stopBackgroundTask();  // the client holds none: its identifier is 0
    advanceRunLoop(0.1);             // where an end would run
    EXPECT_EQ(log.count("endBackgroundTask"), 0u);
    EXPECT_EQ(app->activeBackgroundTaskCount(), 1u);
    app->endBackgroundTask(hosts);
}

TEST_F(TallyAPITest, ResumeWithinThePauseBoundContinuesTheSession) {
    TallyAPI::setSessionReportsOnPauseEnabled(false);
    startWithSavedRecords(true);
    auto first = TallySession::currentSession();
    post(UIApplicationWillResignActiveNotification);
    Clock::advance(10.0);
    post(UIApplicationDidBecomeActiveNotification);
    EXPECT_EQ(TallySession::currentSession(), first);
    EXPECT_EQ(first->totalPauseIntervalMillis(), 10000);

    post(UIApplicationWillResignActiveNotification);
    Clock::advance(10.001);
    post(UIApplicationDidBecomeActiveNotification);
    auto second = TallySession::currentSession();
    ASSERT_NE(second, first);
    // The old session is filed and goes out with the new session's start-up upload.
    ASSERT_TRUE(runLoopUntil([&] { return server.requestCount() == 2; }));
    ASSERT_TRUE(runLoopUntil([] { return TallySession::savedSessions()->count() == 0; }));
    auto sent = uploads();
    ASSERT_EQ(sent[1].sessions.size(), 1u);
    EXPECT_EQ(sent[1].sessions[0].paused, 10000);
    EXPECT_EQ(sent[1].sessions[0].start, sent[0].sessionStart);
}

TEST_F(TallyAPITest, EndUploadsOnTheMainThreadAndFilesTheSession) {
    startWithSavedRecords(true);
    ASSERT_TRUE(runLoopUntil([] { return TallySession::savedSessions()->count() == 0; }));
    TallyAPI::logEvent(NS("timed"), true);
    Clock::advance(3);
    post(UIApplicationWillTerminateNotification);
    EXPECT_EQ(TallySession::currentSession(), nullptr);
    auto sent = uploads();
    ASSERT_EQ(sent.size(), 2u);
    ASSERT_EQ(sent[1].sessions.size(), 1u);
    EXPECT_EQ(sent[1].sessions[0].events[0].duration, 3000);
    EXPECT_EQ(TallySession::savedSessions()->count(), 1u);  // an end upload clears nothing
}

// A quit right after the start-up upload is answered. The thread that sent it is held where
// the end of the process would stop it; what is on disk then is what the next start finds, and
// the records that upload delivered are never sent again.
TEST_F(TallyAPITest, QuitRightAfterTheStartUploadIsAnsweredSendsNothingTwice) {
    clearFiles();
    TallySession::createActiveTallySession(NS("api-key"));
    TallySession::currentSession()->recordEvent(NS("old"), nullptr);
    TallySession::setSavedSessions(
        NSArray::arrayWithObject(TallySession::currentSession()->data()));
    NSFileManager::defaultManager()->removeItemAtPath(TallySession::currentSessionFilePath(),
                                                      nullptr);
    std::mutex lock;
    std::condition_variable changed;
    bool answered = false, released = false, left = false;
    TallySession::setUploadAnsweredHookForTesting([&] {
        std::unique_lock held(lock);
        answered = true;
        changed.notify_all();
        changed.wait(held, [&] { return released; });
        left = true;
    });
    auto flag = [&](bool& value) {
        std::lock_guard held(lock);
        return value;
    };
    TallyAPI::startSession(NS("api-key"));
    ASSERT_TRUE(runLoopUntil([&] { return flag(answered); }));
    TallySession::setUploadAnsweredHookForTesting(nullptr);
    post(UIApplicationWillTerminateNotification);
    // The process ends here: only the session the quit ended is left to send.
    auto saved = TallySession::savedSessions();
    EXPECT_EQ(saved->count(), 1u);
    for (auto* record : *saved)
        EXPECT_TRUE(readRecord(static_cast<NSData*>(record)).events.empty());
    EXPECT_TRUE(TallySession::sentSession());

    // The next start, while the held thread still stands for the ended process.
    TallyAPI::startSession(NS("api-key"));
    ASSERT_TRUE(runLoopUntil(
        [&] { return server.requestCount() == 3 && TallySession::savedSessions()->count() == 0; }));
    int old = 0;
    for (auto& upload : uploads())
        for (auto& session : upload.sessions)
            for (auto& event : session.events)
                old += event.name == "old";
    EXPECT_EQ(old, 1);
    {
        std::lock_guard held(lock);
        released = true;
    }
    changed.notify_all();
    ASSERT_TRUE(runLoopUntil([&] { return flag(left); }));
}

TEST_F(TallyAPITest, SwitchedOffDoesNothing) {
    TallyAPI::logEvent(NS("before-start"));  // no session yet: nothing happens, nothing raises
    NSUserDefaults::standardUserDefaults()->setBool(false, NS("TallySendUsageInfo"));
    TallyAPI::startSession(NS("api-key"));
    TallyAPI::logEvent(NS("ignored"));
    EXPECT_EQ(TallySession::currentSession(), nullptr);
    advanceRunLoop(1);
    EXPECT_EQ(server.requestCount(), 0u);
    NSUserDefaults::standardUserDefaults()->setBool(true, NS("TallySendUsageInfo"));
    EXPECT_TRUE(TallyAPI::sendUsageInfo());
    // A string is read for its boolean value; a value with none leaves analytics on.
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setObject(NS("YES"), NS("TallySendUsageInfo"));
    EXPECT_TRUE(TallyAPI::sendUsageInfo());
    defaults->setObject(NS("NO"), NS("TallySendUsageInfo"));
    EXPECT_FALSE(TallyAPI::sendUsageInfo());
    defaults->setObject(NSArray::array(), NS("TallySendUsageInfo"));
    EXPECT_TRUE(TallyAPI::sendUsageInfo());
}

TEST_F(TallyAPITest, SettingsAreReplayedOntoEachNewSession) {
    TallyAPI::setAppVersion(NS("7.1"));
    TallyAPI::setUserID(NS("someone"));
    TallyAPI::setGender(NS("m"));
    TallyAPI::setAge(33);
    TallyAPI::setEventLoggingEnabled(false);
    startWithSavedRecords(true);
    auto s = TallySession::currentSession();
    EXPECT_TRUE(s->appVersion()->isEqualToString(NS("7.1")));
    EXPECT_TRUE(s->userID()->isEqualToString(NS("someone")));
    EXPECT_EQ(s->gender(), 1);
    EXPECT_TRUE(s->age());
    EXPECT_FALSE(s->eventLoggingEnabled());
    EXPECT_TRUE(s->sessionReportsOnPauseEnabled());
    TallyAPI::setAppVersion(NS("8.0"));  // too late: refused
    EXPECT_TRUE(TallyAPI::appVersion()->isEqualToString(NS("7.1")));
}

TEST_F(TallyAPITest, SessionFiledDuringAnUploadIsKept) {
    testhttp::Gate gate;
    server.route("POST", "/aap.do", [&](testhttp::Exchange& x) {
        if (!x.wait(gate)) return;
        x.respond(testhttp::Response(200, ""));
    });
    clearFiles();
    TallySession::createActiveTallySession(NS("api-key"));
    auto record = TallySession::currentSession()->data();
    TallySession::setSavedSessions(NSArray::arrayWithObject(record));
    NSFileManager::defaultManager()->removeItemAtPath(TallySession::currentSessionFilePath(),
                                                      nullptr);
    TallyAPI::startSession(NS("api-key"));
    ASSERT_TRUE(runLoopUntil([&] { return gate.waiting() == 1; }));
    // While the start-up upload is on the wire, a session is filed.
    TallyAPI::logEvent(NS("filed-meanwhile"));
    TallySession::currentSession()->saveSession();
    gate.open();
    ASSERT_TRUE(runLoopUntil([] { return TallySession::sentSession(); }));
    ASSERT_TRUE(runLoopUntil([] { return TallySession::savedSessions()->count() == 1; }));
    auto kept = readRecord(cast<NSData>(TallySession::savedSessions()->objectAtIndex(0)));
    ASSERT_EQ(kept.events.size(), 1u);
    EXPECT_EQ(kept.events[0].name, "filed-meanwhile");
}

TEST_F(TallyAPITest, SavedResponseURLAnswersInsteadOfTheServer) {
    auto folder = NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true);
    auto path = NSString::stringWithFormat(NS("%@/saved-reply.plist"), folder->objectAtIndex(0));
    auto reply = NSMutableDictionary::dictionary();
    reply->setObject(NSNumber::numberWithInt(204), NS("statusCode"));
    reply->setObject(NSData::dataWithBytes("ok", 2), NS("body"));
    ASSERT_TRUE(reply->writeToFile(path, true));
    TallyAPI::setSavedResponseURL(NSString::stringWithFormat(NS("file://%@"), path));
    startWithSavedRecords(true, 0);
    EXPECT_TRUE(runLoopUntil([] { return TallySession::savedSessions()->count() == 0; }));
    NSFileManager::defaultManager()->removeItemAtPath(path, nullptr);
}

TEST_F(TallyAPITest, AdsAreAskedForOnlyWithAppCircleAndTheParserHearsTheOutcome) {
    TallyAPI::setAppCircleEnabled(true);
    status = 500;
    startWithSavedRecords(false);
    EXPECT_EQ(uploads()[0].adsRequested, 1u);
    ASSERT_TRUE(runLoopUntil([] { return TallyAdParser::instance()->parsedCount() == 1; }));
    EXPECT_FALSE(TallyAdParser::instance()->internetAvailable());
    EXPECT_EQ(TallyAdParser::instance()->adParsingPhase(), 0);  // no reply was read
    EXPECT_EQ(TallyFileCache::instance()->apiKey()->length(), 7u);
    // The heartbeat is process-wide and started once, with the start's interval.
    EXPECT_EQ(TallyHeartBeater::createAndStartInstance(5.0)->interval(), 1.0);
}
// The reset between tests gives the facade the settings of a fresh process.
TEST(TallyAPIShared, TheResetBetweenTestsRestoresTheDefaultSettings) {
    TallyAPI::setServerURL(NS("http://elsewhere.test/aap.do"));
    TallyAPI::setAppVersion(NS("9.9"));
    resetProcessWideInstances();
    EXPECT_EQ(TallyAPI::serverURL()->utf8(), tally_hosts::kUploadURL);
    EXPECT_FALSE(TallyAPI::appVersion());
}
