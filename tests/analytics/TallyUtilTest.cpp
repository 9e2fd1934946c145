#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDateFormatter.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimeZone.h"
#include "UIKit/UIView.h"
#include "analytics/TallySession.h"
#include "analytics/base/TallyUtil.h"
#include "tools/services/AnalyticsModule.h"

namespace {
std::string logPath() {
    auto dirs = NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true);
    return std::string(cast<NSString>(dirs->objectAtIndex(0))->UTF8String()) + "/tally.logfile.txt";
}

// The log file's lines, unscrambled.
std::vector<std::string> logLines() {
    std::ifstream in(logPath());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(
            TallyUtil::transposeDecode(NSString::stringWithUTF8String(line.c_str()))->UTF8String());
    return lines;
}
}  // namespace

TEST(TallyUtilTest, TransposeDealsIntoSevenColumns) {
    auto encoded = TallyUtil::transposeEncode(NS("abcdefghij"));
    EXPECT_TRUE(encoded->isEqualToString(NS("ahbicjdefg")));
    EXPECT_TRUE(TallyUtil::transposeDecode(encoded)->isEqualToString(NS("abcdefghij")));
    EXPECT_EQ(TallyUtil::transposeEncode(NS(""))->length(), 0u);
    auto odd = NS("The quick brown fox, 23 letters");
    EXPECT_TRUE(TallyUtil::transposeDecode(TallyUtil::transposeEncode(odd))->isEqualToString(odd));
}

TEST(TallyUtilTest, DebugKeysUnlockFromTodayToSevenDaysOn) {
    ManualClockScope clock;
    auto key = NS("app-key");
    auto now = NSDate::date();
    auto today = TallyUtil::debugKeyFor(key, now);
    EXPECT_EQ(today->length(), 40u);
    TallyUtil::unlockDebugMode(today, key);
    EXPECT_TRUE(TallyUtil::isDebugModeUnlocked());
    TallyUtil::unlockDebugMode(
        TallyUtil::debugKeyFor(key, now->dateByAddingTimeInterval(7 * 86400.0)), key);
    EXPECT_TRUE(TallyUtil::isDebugModeUnlocked());
    TallyUtil::unlockDebugMode(
        TallyUtil::debugKeyFor(key, now->dateByAddingTimeInterval(8 * 86400.0)), key);
    EXPECT_FALSE(TallyUtil::isDebugModeUnlocked());
    TallyUtil::unlockDebugMode(today, NS("other-key"));
    EXPECT_FALSE(TallyUtil::isDebugModeUnlocked());
    TallyUtil::unlockDebugMode(today, key);
    TallyUtil::unlockDebugMode(nullptr, key);
    EXPECT_FALSE(TallyUtil::isDebugModeUnlocked());
}

TEST(TallyUtilTest, LogLinesAreDatedAndScrambledPerPiece) {
    std::remove(logPath().c_str());
    TallyUtil::debugLog(NS("Tally: locked %d"), 1);  // debug mode off: nothing written
    EXPECT_FALSE(std::ifstream(logPath()).good());
    TallyUtil::logToFile(NS("first\nsecond\tthird"));
    std::ifstream in(logPath());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u);
    auto date = std::string(NSDate::date()->description()->UTF8String());
    const char* pieces[] = {"first", "second", "third"};
    for (size_t i = 0; i < 3; ++i) {
        std::string plain =
            TallyUtil::transposeDecode(NSString::stringWithUTF8String(lines[i].c_str()))
                ->UTF8String();
        EXPECT_EQ(plain, date + " " + pieces[i]);
    }
    std::remove(logPath().c_str());
}

TEST(TallyUtilTest, TheStandInHandsOutTheKeysTheClientTakes) {
    ManualClockScope clock;
    auto formatter = make<NSDateFormatter>();
    formatter->setTimeZone(NSTimeZone::localTimeZone());
    formatter->setDateFormat(NS("MM-dd-yyyy"));
    auto inSevenDays = NSDate::date()->dateByAddingTimeInterval(7 * 86400.0);
    std::string issued = bnservices::AnalyticsModule::debugKey(
        "QX4ZR7TMB2WN9KEH5VDJ", formatter->stringFromDate(inSevenDays)->UTF8String());
    EXPECT_EQ(issued,
              TallyUtil::debugKeyFor(NS("QX4ZR7TMB2WN9KEH5VDJ"), inSevenDays)->UTF8String());
    TallyUtil::unlockDebugMode(NSString::stringWithUTF8String(issued.c_str()),
                               NS("QX4ZR7TMB2WN9KEH5VDJ"));
    EXPECT_TRUE(TallyUtil::isDebugModeUnlocked());
    TallyUtil::unlockDebugMode(nullptr, nullptr);
}

TEST(TallyUtilTest, DebugModeLogsEveryFieldOfTheUploadBody) {
    ManualClockScope clock;
    std::remove(logPath().c_str());
    auto session = TallySession::createActiveTallySession(NS("debug-key"));
    session->recordEvent(NS("shown"), nullptr);
    session->recordErrorWithExceptionString(NS("E1"), NS("broke"), NS("nil"));
    TallyUtil::unlockDebugMode(TallyUtil::debugKeyFor(NS("debug-key"), NSDate::date()),
                               NS("debug-key"));
    ASSERT_TRUE(TallyUtil::isDebugModeUnlocked());
    TallySession::dataForSessions(NSArray::arrayWithObject(session), false);
    TallyUtil::unlockDebugMode(nullptr, nullptr);
    auto lines = logLines();
    auto logged = [&](const std::string& part) {
        for (const auto& line : lines) {
            if (line.find(part) != std::string::npos) return true;
        }
        return false;
    };
    for (const char* part : {"Tally: Creating HTTP data from sessions",
                             "Tally: cacheTimeStamp[0] numCachedItems[0]",
                             "Tally: protocol[15] platform[2] agent[42]",
                             "Tally: apiKey[debug-key] appVersion[",
                             "Tally: ID Type [0] ID [IPHONE",
                             "Tally: initialTimestamp[",
                             "Tally: property[device.model.1] value[iOS4Device]",
                             "Tally: sessionCount[1]",
                             "Tally: serializationVersion[1] appVersion[",
                             "length[-1] pause[0] userID[]",
                             "Tally: pageViewCount[0] locale[",
                             "internetAvailable[1]",
                             "Tally: eventCounts[1]",
                             "Tally: event[shown] count[1]",
                             "Tally: eventLogs[1]",
                             "Tally: eventLogComplete[1]",
                             "Tally: totalErrors[1] loggedErrors[1]",
                             "errorId[E1] errorMessage[broke] exception[nil]",
                             "Tally: loggedImpressions[0]",
                             "Tally: Creating HTTP data from sessions complete"})
        EXPECT_TRUE(logged(part)) << part;
    std::remove(logPath().c_str());
    session->saveSession();
}

TEST(TallyUtilTest, CanvasOrientationsScreenBoundsAndNumbers) {
    EXPECT_TRUE(TallyUtil::canvasInLandscape(NS("LANDSCAPELEFT")));
    EXPECT_TRUE(TallyUtil::canvasInLandscapeRight(NS("landscaperight")));
    EXPECT_FALSE(TallyUtil::canvasInLandscapeLeft(NS("landscapeRight")));
    EXPECT_FALSE(TallyUtil::canvasInLandscape(NS("portrait")));
    EXPECT_FALSE(TallyUtil::canvasInLandscape(nullptr));
    EXPECT_TRUE(
        CGRectEqualToRect(TallyUtil::screenBounds(NS("portrait")), CGRectMake(0, 0, 320, 480)));
    EXPECT_TRUE(CGRectEqualToRect(TallyUtil::screenBounds(NS("landscapeLeft")),
                                  CGRectMake(0, 0, 480, 320)));
    auto n = TallyUtil::convertStrToNum(NS("42.5"));
    ASSERT_TRUE(n);
    EXPECT_DOUBLE_EQ(n->doubleValue(), 42.5);
    EXPECT_EQ(TallyUtil::convertStrToNum(NS("forty")), nullptr);
    EXPECT_EQ(TallyUtil::convertStrToNum(nullptr), nullptr);
    auto parent = make<UIView>();
    auto child = make<UIView>();
    parent->addSubview(child);
    TallyUtil::removeViewFromSuperview(child);
    EXPECT_EQ(child->superview(), nullptr);
    TallyUtil::removeViewFromSuperview(nullptr);
}
