#include "Foundation/NSTimeZone.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "support/FoundationTesting.h"

namespace {

Ref<NSDate> at1970(NSTimeInterval t) {
    return NSDate::dateWithTimeIntervalSince1970(t);
}

// 2012-03-11 07:00 UTC: clocks in New York went from 02:00 EST to 03:00 EDT.
constexpr NSTimeInterval kSpringForward2012 = 1331449200;

TEST(NSTimeZoneTest, OffsetsAndAbbreviationsAcrossADaylightSavingChange) {
    auto ny = NSTimeZone::timeZoneWithName(NS("America/New_York"));
    ASSERT_TRUE(ny);
    EXPECT_EQ(text(ny->name()), "America/New_York");
    auto before = at1970(kSpringForward2012 - 1);
    auto after = at1970(kSpringForward2012);
    EXPECT_EQ(ny->secondsFromGMTForDate(before), -5 * 3600);
    EXPECT_EQ(ny->secondsFromGMTForDate(after), -4 * 3600);
    EXPECT_FALSE(ny->isDaylightSavingTimeForDate(before));
    EXPECT_TRUE(ny->isDaylightSavingTimeForDate(after));
    EXPECT_EQ(ny->daylightSavingTimeOffsetForDate(after), 3600.0);
    EXPECT_EQ(text(ny->abbreviationForDate(before)), "EST");
    EXPECT_EQ(text(ny->abbreviationForDate(after)), "EDT");
    auto next = ny->nextDaylightSavingTimeTransitionAfterDate(at1970(kSpringForward2012 - 86400));
    ASSERT_TRUE(next);
    EXPECT_EQ(next->timeIntervalSince1970(), kSpringForward2012);

    ManualClockScope clock(after->timeIntervalSinceReferenceDate() + 60);
    EXPECT_EQ(ny->secondsFromGMT(), -4 * 3600);
    EXPECT_TRUE(ny->isDaylightSavingTime());
    EXPECT_EQ(text(ny), "America/New_York (EDT) offset -14400 (Daylight)");
}

TEST(NSTimeZoneTest, NamesAbbreviationsAndFixedOffsets) {
    EXPECT_FALSE(NSTimeZone::timeZoneWithName(NS("Mars/Olympus_Mons")));
    EXPECT_FALSE(NSTimeZone::timeZoneWithName(nullptr));
    auto gmt = NSTimeZone::timeZoneWithName(NS("GMT"));
    ASSERT_TRUE(gmt);
    EXPECT_EQ(gmt->secondsFromGMTForDate(at1970(0)), 0);
    EXPECT_EQ(text(gmt->abbreviationForDate(at1970(0))), "GMT");

    auto pst = NSTimeZone::timeZoneWithAbbreviation(NS("PST"));
    ASSERT_TRUE(pst);
    EXPECT_EQ(text(pst->name()), "America/Los_Angeles");
    EXPECT_EQ(text(NSTimeZone::timeZoneWithAbbreviation(NS("UTC"))->name()), "UTC");
    EXPECT_FALSE(NSTimeZone::timeZoneWithAbbreviation(NS("XYZ")));

    auto plusOne = NSTimeZone::timeZoneForSecondsFromGMT(3600);
    EXPECT_EQ(text(plusOne->name()), "GMT+0100");
    EXPECT_EQ(plusOne->secondsFromGMTForDate(at1970(kSpringForward2012)), 3600);
    EXPECT_EQ(text(plusOne->abbreviationForDate(at1970(0))), "GMT+1");
    auto india = NSTimeZone::timeZoneForSecondsFromGMT(-(5 * 3600 + 30 * 60));
    EXPECT_EQ(text(india->name()), "GMT-0530");
    EXPECT_EQ(text(india->abbreviationForDate(at1970(0))), "GMT-5:30");
    EXPECT_EQ(text(NSTimeZone::timeZoneForSecondsFromGMT(0)->name()), "GMT");
    EXPECT_FALSE(NSTimeZone::timeZoneForSecondsFromGMT(19 * 3600));
    // The same offset by name.
    auto named = NSTimeZone::timeZoneWithName(NS("GMT+0100"));
    ASSERT_TRUE(named);
    EXPECT_TRUE(named->isEqualToTimeZone(plusOne));
    EXPECT_FALSE(plusOne->isEqualToTimeZone(gmt));

    auto names = NSTimeZone::knownTimeZoneNames();
    EXPECT_TRUE(names->containsObject(NS("America/New_York")));
    EXPECT_TRUE(names->containsObject(NS("Europe/Paris")));
    EXPECT_GT(names->count(), 300u);
}

TEST(NSTimeZoneTest, SystemDefaultAndLocalZones) {
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", ":Europe/Paris", 1);
    NSTimeZone::resetSystemTimeZone();
    EXPECT_EQ(text(NSTimeZone::systemTimeZone()->name()), "Europe/Paris");
    setenv("TZ", "/usr/share/zoneinfo/Asia/Tokyo", 1);
    EXPECT_EQ(text(NSTimeZone::systemTimeZone()->name()), "Europe/Paris");  // kept until reset
    NSTimeZone::resetSystemTimeZone();
    EXPECT_EQ(text(NSTimeZone::systemTimeZone()->name()), "Asia/Tokyo");
    setenv("TZ", "Nowhere/Else", 1);
    NSTimeZone::resetSystemTimeZone();
    EXPECT_EQ(text(NSTimeZone::systemTimeZone()->name()), "GMT");

    // The default is the system zone until one is set; the local zone follows the default.
    auto local = NSTimeZone::localTimeZone();
    EXPECT_EQ(text(NSTimeZone::defaultTimeZone()->name()), "GMT");
    NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneWithName(NS("Asia/Tokyo")));
    EXPECT_EQ(text(NSTimeZone::defaultTimeZone()->name()), "Asia/Tokyo");
    EXPECT_EQ(text(local->name()), "Asia/Tokyo");
    EXPECT_EQ(local->secondsFromGMTForDate(at1970(0)), 9 * 3600);
    EXPECT_TRUE(local->isEqual(NSTimeZone::timeZoneWithName(NS("Asia/Tokyo"))));
    // Setting the local zone as the default must not make it refer to itself.
    NSTimeZone::setDefaultTimeZone(local);
    EXPECT_EQ(text(local->name()), "Asia/Tokyo");
    NSTimeZone::setDefaultTimeZone(nullptr);
    EXPECT_EQ(text(local->name()), "GMT");

    if (old) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    NSTimeZone::resetSystemTimeZone();
}

TEST(NSTimeZoneTest, ASharedZoneAnswersEveryThreadForItsOwnDate) {
    // Zones are shared values; their cached ICU calendar must not mix up concurrent questions.
    auto ny = NSTimeZone::timeZoneWithName(NS("America/New_York"));
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            NSAutoreleasePool pool;
            for (int i = 0; i < 500; ++i) {
                const bool summer = (i + t) % 2 == 0;
                auto d = at1970(summer ? kSpringForward2012 + i : kSpringForward2012 - 1 - i);
                if (ny->secondsFromGMTForDate(d) != (summer ? -4 : -5) * 3600) ++wrong;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
