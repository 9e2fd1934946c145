#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "analytics/TallyUtil.h"

namespace {
std::string logPath() {
    auto dirs = NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true);
    return std::string(cast<NSString>(dirs->objectAtIndex(0))->UTF8String()) + "/tally.logfile.txt";
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
