#include <gtest/gtest.h>

#include "Foundation/Clock.h"
#include "Foundation/NSCalendar.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSTimeZone.h"
#include "support/FoundationTesting.h"
#include "ui/core/NSDate+DZCategory.h"

namespace {

// The manual clock stands at Thursday 2012-03-01 12:00:00 UTC; the test bundle's texts and
// formats differ from their keys.
class DateTexts : public testing::Test {
protected:
    static Ref<NSDate> ago(NSTimeInterval seconds) {
        return NSDate::dateWithTimeIntervalSinceNow(-seconds);
    }
    ManualClockScope clock_;
};

TEST_F(DateTexts, RelativeTimeThresholds) {
    EXPECT_EQ(text(formatRelativeTime(ago(0))), "a moment back");
    EXPECT_EQ(text(formatRelativeTime(ago(1))), "a moment back");
    EXPECT_EQ(text(formatRelativeTime(ago(2))), "2 s back");
    EXPECT_EQ(text(formatRelativeTime(ago(59.9))), "59 s back");
    EXPECT_EQ(text(formatRelativeTime(ago(60))), "a minute back");
    EXPECT_EQ(text(formatRelativeTime(ago(119))), "a minute back");
    EXPECT_EQ(text(formatRelativeTime(ago(120))), "2 min back");
    EXPECT_EQ(text(formatRelativeTime(ago(3599))), "59 min back");
    EXPECT_EQ(text(formatRelativeTime(ago(3600))), "an hour back");
    EXPECT_EQ(text(formatRelativeTime(ago(5399))), "an hour back");
    EXPECT_EQ(text(formatRelativeTime(ago(5400))), "2 h back");
    EXPECT_EQ(text(formatRelativeTime(ago(86399))), "24 h back");
    // From a day on, the date and time.
    EXPECT_EQ(text(formatRelativeTime(ago(86400))), "Wed 12.00");
    // The future counts like the past.
    EXPECT_EQ(text(formatRelativeTime(ago(-30))), "30 s back");
}

TEST_F(DateTexts, RelativeTimeFollowsTheClock) {
    auto posted = NSDate::date();
    EXPECT_EQ(text(formatRelativeTime(posted)), "a moment back");
    Clock::advance(45);
    EXPECT_EQ(text(formatRelativeTime(posted)), "45 s back");
    Clock::advance(3600);
    EXPECT_EQ(text(formatRelativeTime(posted)), "an hour back");
    EXPECT_EQ(text(formatShortRelativeTime(posted)), "1 hr");
}

TEST_F(DateTexts, ShortRelativeTimeThresholds) {
    EXPECT_EQ(text(formatShortRelativeTime(ago(59))), "now");
    EXPECT_EQ(text(formatShortRelativeTime(ago(60))), "1 min");
    EXPECT_EQ(text(formatShortRelativeTime(ago(3599))), "59 min");
    EXPECT_EQ(text(formatShortRelativeTime(ago(3600))), "1 hr");
    EXPECT_EQ(text(formatShortRelativeTime(ago(86399))), "24 hr");
    EXPECT_EQ(text(formatShortRelativeTime(ago(86400))), "1 days");
    EXPECT_EQ(text(formatShortRelativeTime(ago(129599))), "1 days");
    EXPECT_EQ(text(formatShortRelativeTime(ago(129600))), "2 days");
    EXPECT_EQ(text(formatShortRelativeTime(ago(604799))), "7 days");
    // A week old: the short time, which at that age is the short date.
    EXPECT_EQ(text(formatShortRelativeTime(ago(604800))), "23.2.12");
}

TEST_F(DateTexts, ShortTimeAndDateTimeByAge) {
    EXPECT_EQ(text(formatShortTime(ago(3600 + 55 * 60))), "10.05");
    EXPECT_EQ(text(formatShortTime(ago(86399))), "12.00");
    // Exactly a day old is a weekday, not a time of day.
    EXPECT_EQ(text(formatShortTime(ago(86400))), "Wednesday!");
    EXPECT_EQ(text(formatShortTime(ago(3 * 86400))), "Monday!");
    EXPECT_EQ(text(formatShortTime(ago(5 * 86400 - 1))), "Saturday!");
    EXPECT_EQ(text(formatShortTime(ago(5 * 86400))), "25.2.12");
    EXPECT_EQ(text(formatDateTime(ago(60))), "11.59");
    EXPECT_EQ(text(formatDateTime(ago(2 * 86400))), "Tue 12.00");
    EXPECT_EQ(text(formatDateTime(ago(5 * 86400))), "25 Feb 12.00");
}

TEST_F(DateTexts, FixedFormats) {
    auto now = NSDate::date();
    EXPECT_EQ(text(formatTime(now)), "12.00");
    EXPECT_EQ(text(formatDate(now)), "Thursday 1 March 2012");
    EXPECT_EQ(text(formatMonth(now)), "March!");
    // Not in the test table: the key itself is the format.
    EXPECT_EQ(text(formatYear(now)), "2012");
}

TEST_F(DateTexts, TodayYesterdayOrTheDay) {
    auto cal = NSCalendar::currentCalendar();
    NSUInteger ymd = NSYearCalendarUnit | NSMonthCalendarUnit | NSDayCalendarUnit;
    auto today = cal->components(ymd, NSDate::date());
    auto yesterday = cal->components(ymd, ago(86400));
    EXPECT_EQ(text(formatDay(ago(11 * 3600), today, yesterday)), "This day");
    EXPECT_EQ(text(formatDay(ago(13 * 3600), today, yesterday)), "The day before");
    EXPECT_EQ(text(formatDay(ago(2 * 86400), today, yesterday)), "28 February");
    EXPECT_EQ(text(formatDay(ago(365 * 86400), today, yesterday)), "2 March");
}

TEST_F(DateTexts, MidnightIsTheStartOfTheDay) {
    EXPECT_EQ(dateWithToday()->timeIntervalSinceReferenceDate(), kManualClockDefaultStart - 43200);
    EXPECT_EQ(dateAtMidnight(ago(13 * 3600))->timeIntervalSinceReferenceDate(),
              kManualClockDefaultStart - 43200 - 86400);
    // Where a clock change skips midnight, the day starts at the first hour it has.
    Ref<NSTimeZone> before = NSTimeZone::defaultTimeZone();
    NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneWithName(NS("America/Sao_Paulo")));
    // 2012-10-21 15:00 UTC, early afternoon in Sao Paulo on the day its clocks went from 00:00
    // to 01:00.
    auto noon = NSDate::dateWithTimeIntervalSince1970(1350831600);
    Ref<NSDate> start = dateAtMidnight(noon);
    NSTimeZone::setDefaultTimeZone(before);
    ASSERT_TRUE(start);
    // 01:00 local, at two hours behind UTC.
    EXPECT_EQ(start->timeIntervalSince1970(), 1350788400);
}

}  // namespace
