#include <gtest/gtest.h>

#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSKeyedArchiver.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "ads/tally/TallyAdImpression.h"
#include "analytics/TallyEvent.h"
#include "analytics/TallyRecordReader.h"
#include "analytics/TallySession.h"

using namespace tally_test;

namespace {

void removeFiles() {
    auto fm = NSFileManager::defaultManager();
    for (auto path :
         {TallySession::sessionsFilePath(), TallySession::currentSessionFilePath(),
          TallySession::sessionSentFilePath(), TallySession::initialTimestampFilePath(),
          TallySession::oldSessionsFilePath(), TallySession::oldCurrentSessionFilePath()})
        fm->removeItemAtPath(path, nullptr);
}

class TallySessionTest : public ::testing::Test {
protected:
    ManualClockScope clock;
    void SetUp() override { start(NS("test-key")); }
    void TearDown() override { removeFiles(); }
    Ref<TallySession> start(NSString* key) {
        TallySession::createActiveTallySession(key);
        removeFiles();
        return TallySession::createActiveTallySession(key);
    }
    Ref<TallySession> session() { return TallySession::currentSession(); }
    Record record() { return readRecord(session()->data()); }
    static Ref<NSDictionary> params(int n) {
        auto d = NSMutableDictionary::dictionary();
        for (int i = 0; i < n; ++i)
            d->setObject(NSNumber::numberWithInt(i), NSString::stringWithFormat(NS("k%d"), i));
        return d;
    }
};

}  // namespace

TEST_F(TallySessionTest, EventLimits) {
    auto s = session();
    s->recordEvent(NS("ten"), params(10));
    EXPECT_TRUE(record().eventLogComplete);
    s->recordEvent(NS("eleven"), params(11));
    s->recordEvent(nullptr, nullptr);
    auto r = record();
    EXPECT_FALSE(r.eventLogComplete);
    ASSERT_EQ(r.events.size(), 1u);
    EXPECT_EQ(r.events[0].name, "ten");
    EXPECT_EQ(r.events[0].parameters.size(), 10u);
    EXPECT_EQ(r.events[0].parameters[3], (std::pair<std::string, std::string>{"k3", "3"}));

    for (int i = 1; i < 100; ++i)
        s->recordEvent(NSString::stringWithFormat(NS("e%d"), i), nullptr);
    s->recordEvent(NS("one-too-many"), nullptr);
    s->recordEvent(NS("ten"), nullptr);  // already counted: still counted
    r = record();
    EXPECT_EQ(r.counts.size(), 100u);
    EXPECT_EQ(r.counts[0], (std::pair<std::string, int32_t>{"ten", 2}));
    EXPECT_EQ(r.events.size(), 101u);
    for (auto& e : r.events)
        EXPECT_NE(e.name, "one-too-many");

    for (int i = 0; i < 950; ++i)
        s->recordEvent(NS("ten"), nullptr);
    r = record();
    EXPECT_EQ(r.events.size(), 1000u);
    EXPECT_EQ(r.counts[0].second, 952);
}

TEST_F(TallySessionTest, ParametersAreCopiedWhenRecorded) {
    auto p = NSMutableDictionary::dictionary();
    p->setObject(NS("red"), NS("colour"));
    session()->recordEvent(NS("pick"), p);
    p->setObject(NS("blue"), NS("colour"));
    EXPECT_EQ(record().events[0].parameters[0].second, "red");
}

TEST_F(TallySessionTest, ErrorsBeyondTenAreCountedOnly) {
    auto s = session();
    s->recordError(NS("e1"), NS("boom"),
                   NSException::exceptionWithName(NS("Bad"), NS("why"), nullptr).get());
    s->recordError(NS("e2"), nullptr, static_cast<NSException*>(nullptr));
    for (int i = 0; i < 9; ++i)
        s->recordError(NS("more"), NS("m"), static_cast<NSError*>(nullptr));
    auto r = record();
    EXPECT_EQ(r.totalErrors, 11);
    ASSERT_EQ(r.errors.size(), 10u);
    EXPECT_EQ(r.errors[0].exception, "Bad: why");
    EXPECT_EQ(r.errors[1].message, "");
    EXPECT_EQ(r.errors[1].exception, "nil");
}

TEST_F(TallySessionTest, PageViewsCountOncePerStrictlyMoreThanAThirdOfASecond) {
    auto s = session();
    s->maybeIncrementPageView();
    Clock::advance(0.2);
    s->maybeIncrementPageView();
    EXPECT_EQ(s->pageViewCount(), 1);
    Clock::advance(0.31);
    s->maybeIncrementPageView();
    EXPECT_EQ(record().pageViews, 2);
}

TEST_F(TallySessionTest, TimedEventsEndAtPauseAndMoveToTheEnd) {
    auto s = session();
    Clock::advance(1);
    s->recordEvent(NS("watch"), nullptr, true);
    s->recordEvent(NS("closed"), nullptr, true);
    Clock::advance(2);
    s->endTimedEvent(NS("closed"), params(1));
    Clock::advance(1);
    s->pauseSession();
    s->endSessionAndSend(false, false);  // the pause's end stamp
    auto r = record();
    EXPECT_EQ(r.events[0].offset, 1000);
    EXPECT_EQ(r.events[0].duration, 3000);
    EXPECT_EQ(r.events[1].duration, 2000);
    EXPECT_EQ(r.events[1].parameters.size(), 1u);
    EXPECT_EQ(r.length, 4000);
    Clock::advance(5);
    s->resumeSession();
    EXPECT_EQ(s->totalPauseIntervalMillis(), 5000);
    Clock::advance(1);
    s->endSession();
    EXPECT_EQ(TallySession::currentSession(), nullptr);
    auto saved = TallySession::savedSessions();
    ASSERT_EQ(saved->count(), 1u);
    r = readRecord(cast<NSData>(saved->objectAtIndex(0)));
    EXPECT_EQ(r.events[0].duration, 9000);  // moved from the pause to the end
    EXPECT_EQ(r.events[1].duration, 2000);
    EXPECT_EQ(r.paused, 5000);
    EXPECT_EQ(r.length, 10000);
}

TEST_F(TallySessionTest, UserDataInTheRecord) {
    auto s = session();
    EXPECT_EQ(record().gender, 0xFF);
    EXPECT_FALSE(record().ageGiven);
    EXPECT_EQ(record().length, -1);
    s->setGender(NS("f"));
    s->setAge(30);
    s->setUserID(NS("u7"));
    auto r = record();
    EXPECT_EQ(r.gender, 0);
    EXPECT_TRUE(r.ageGiven);
    EXPECT_EQ(r.userID, "u7");
    auto age = s->age();
    s->setAge(0);
    s->setAge(151);
    EXPECT_EQ(s->age(), age);
    s->setGender(NS("M"));
    EXPECT_EQ(record().gender, 0xFF);
}

TEST_F(TallySessionTest, ArchiveRoundTripKeepsEveryField) {
    auto s = session();
    s->recordEvent(NS("a"), params(2), true);
    s->recordError(NS("x"), NS("y"), static_cast<NSError*>(nullptr));
    auto impression = make<TallyAdImpression>(&TallyAdImpression::initWithHook, NS("hook"),
                                              NSNumber::numberWithInt(2).get());
    impression->addState(3, 1234);
    s->recordAdImpression(impression);
    s->recordAdImpression(impression);  // the same object keeps its place
    s->setGender(NS("m"));
    s->setAge(40);
    s->maybeIncrementPageView();
    Clock::advance(2);
    s->pauseSession();
    s->setEventLoggingEnabled(true);
    auto copy = as<TallySession>(
        NSKeyedUnarchiver::unarchiveObjectWithData(NSKeyedArchiver::archivedDataWithRootObject(s)));
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->data()->isEqualToData(s->data()));
    EXPECT_EQ(readRecord(copy->data()).impressions.size(), 1u);
    EXPECT_EQ(copy->serializationVersion(), 1);
    EXPECT_TRUE(objectsEqual(copy->pauseTime(), s->pauseTime()));
    EXPECT_FALSE(copy->eventLoggingEnabled());
    EXPECT_FALSE(copy->sessionReportsOnCloseEnabled());
    EXPECT_FALSE(copy->sessionReportsOnPauseEnabled());
}

TEST_F(TallySessionTest, CrashedSessionIsFiledAtTheNextStart) {
    session()->recordEvent(NS("before-crash"), nullptr);
    // The process dies with the session current; the next start finds its file.
    Clock::advance(60);
    auto next = TallySession::createActiveTallySession(NS("test-key"));
    auto saved = TallySession::savedSessions();
    ASSERT_EQ(saved->count(), 1u);
    auto r = readRecord(cast<NSData>(saved->objectAtIndex(0)));
    EXPECT_EQ(r.events[0].name, "before-crash");
    EXPECT_TRUE(r.eventLogComplete);
    EXPECT_TRUE(next->eventLog()->count() == 0);

    // A damaged current file is moved aside and a session still starts.
    auto path = TallySession::currentSessionFilePath();
    NSData::dataWithBytes("garbage", 7)->writeToFile(path, true);
    EXPECT_TRUE(TallySession::createActiveTallySession(NS("test-key")));
    EXPECT_EQ(TallySession::savedSessions()->count(), 1u);
    EXPECT_TRUE(NSFileManager::defaultManager()->fileExistsAtPath(
        path->stringByAppendingString(NS(".damaged"))));
    NSFileManager::defaultManager()->removeItemAtPath(path->stringByAppendingString(NS(".damaged")),
                                                      nullptr);
}

TEST_F(TallySessionTest, SavedSessionsAreTrimmedToTheLimit) {
    auto saved = NSMutableArray::array();
    for (int i = 0; i < 50; ++i) {
        uint8_t b = static_cast<uint8_t>(i);
        saved->addObject(NSData::dataWithBytes(&b, 1));
    }
    TallySession::setSavedSessions(saved);
    session()->saveSession();
    auto now = TallySession::savedSessions();
    ASSERT_EQ(now->count(), 50u);
    EXPECT_EQ(*static_cast<const uint8_t*>(cast<NSData>(now->objectAtIndex(0))->bytes()), 1);
    EXPECT_GT(cast<NSData>(now->objectAtIndex(49))->length(), 1u);
    EXPECT_FALSE(
        NSFileManager::defaultManager()->fileExistsAtPath(TallySession::currentSessionFilePath()));
}

TEST_F(TallySessionTest, OlderNamesStayInUseAndKeysHaveTheirOwnFiles) {
    auto older = TallySession::oldSessionsFilePath();
    NSKeyedArchiver::archiveRootObject(NSArray::array(), older);
    EXPECT_TRUE(TallySession::sessionsFilePath()->isEqualToString(older));
    session()->saveSession();
    EXPECT_EQ(TallySession::savedSessions()->count(), 1u);
    EXPECT_FALSE(NSFileManager::defaultManager()->fileExistsAtPath(NSString::stringWithFormat(
        NS("%@/.%@"), older->stringByDeletingLastPathComponent(), older->lastPathComponent())));
    NSFileManager::defaultManager()->removeItemAtPath(older, nullptr);

    start(NS("other-key"));
    EXPECT_EQ(TallySession::savedSessions()->count(), 0u);
    EXPECT_TRUE(
        TallySession::currentSessionFilePath()
            ->rangeOfString(NSString::stringWithFormat(
                NS(".tallyCurrent%d.archive"), static_cast<int32_t>(NS("other-key")->hash())))
            .length > 0);
}

TEST_F(TallySessionTest, EnvelopeCountsEveryRecordItCarries) {
    auto s = session();
    s->recordEvent(NS("x"), nullptr);
    auto stored = NSMutableArray::arrayWithObjects({s->data().get(), s->data().get()});
    stored->addObject(s);
    auto e = readEnvelope(TallySession::dataForSessions(stored, false));
    EXPECT_EQ(e.sessions.size(), 3u);
    EXPECT_EQ(e.adsRequested, 0u);
    EXPECT_EQ(e.apiKey, "test-key");
    EXPECT_EQ(e.phoneID.rfind("IPHONE", 0), 0u);
    EXPECT_EQ(e.phoneID.size(), 46u);
    EXPECT_EQ(e.properties.size(), 1u);
    EXPECT_EQ(e.properties[0].first, "device.model.1");
    EXPECT_EQ(e.properties[0].second, "iOS4Device");
    EXPECT_EQ(e.sessionStart, e.sessions[2].start);

    // An entry that is neither a session nor a stored record is neither sent nor counted.
    stored->addObject(NS("not a record"));
    e = readEnvelope(TallySession::dataForSessions(stored, true));
    EXPECT_EQ(e.sessions.size(), 3u);
    EXPECT_EQ(e.adsRequested, 1u);
}
// The reset between tests forgets the current session, the key and the limit, as a new process
// would; the session's files stay.
TEST(TallySessionShared, TheResetBetweenTestsForgetsTheCurrentSessionAndTheLimit) {
    ManualClockScope clock;
    TallySession::removeFilesForTesting(NS("reset-key"));
    auto first = TallySession::createActiveTallySession(NS("reset-key"));
    TallySession::setMaxSessions(1);
    resetProcessWideInstances();
    EXPECT_FALSE(TallySession::currentSession());
    auto three = NSMutableArray::array();
    for (uint8_t b : {1, 2, 3})
        three->addObject(NSData::dataWithBytes(&b, 1));
    EXPECT_EQ(TallySession::removeOldSessionsIfNecessary(three)->count(), 3u);
    // The next start files the session the "process" left current.
    auto next = TallySession::createActiveTallySession(NS("reset-key"));
    EXPECT_NE(next.get(), first.get());
    EXPECT_EQ(TallySession::savedSessions()->count(), 1u);
    TallySession::removeFilesForTesting(NS("reset-key"));
}
