#include "Foundation/NSCalendar.h"

#include <gtest/gtest.h>

#include "Foundation/NSDate.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSTimeZone.h"
#include "support/FoundationTesting.h"

namespace {

Ref<NSDate> at1970(NSTimeInterval t) {
    return NSDate::dateWithTimeIntervalSince1970(t);
}

// 2012-03-11 12:00 EDT, the day New York moved its clocks forward (a 23-hour day).
constexpr NSTimeInterval kNoonOnSpringForward = 1331481600;
constexpr NSTimeInterval kMidnightOnSpringForward = 1331442000;  // 00:00 EST

class NSCalendarTest : public testing::Test {
protected:
    void SetUp() override {
        NSLocale::setCurrentLocaleIdentifierForTesting(NS("en_US"));
        NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneWithName(NS("America/New_York")));
        cal = NSCalendar::currentCalendar();
    }
    void TearDown() override {
        NSLocale::setCurrentLocaleIdentifierForTesting(nullptr);
        NSTimeZone::setDefaultTimeZone(nullptr);
    }
    Ref<NSDate> date(NSInteger y, NSInteger m, NSInteger d, NSInteger h = 0, NSInteger mi = 0) {
        auto c = make<NSDateComponents>();
        c->setYear(y);
        c->setMonth(m);
        c->setDay(d);
        c->setHour(h);
        c->setMinute(mi);
        return cal->dateFromComponents(c);
    }
    Ref<NSCalendar> cal;
};

TEST_F(NSCalendarTest, ComponentsInTheCalendarsZone) {
    EXPECT_EQ(text(cal->calendarIdentifier()), "gregorian");
    EXPECT_EQ(text(cal->timeZone()->name()), "America/New_York");
    EXPECT_EQ(cal->firstWeekday(), 1u);
    auto c = cal->components(NSEraCalendarUnit | NSYearCalendarUnit | NSMonthCalendarUnit |
                                 NSDayCalendarUnit | NSHourCalendarUnit | NSMinuteCalendarUnit |
                                 NSWeekdayCalendarUnit | NSWeekdayOrdinalCalendarUnit,
                             at1970(kNoonOnSpringForward + 0.75));
    EXPECT_EQ(c->era(), 1);
    EXPECT_EQ(c->year(), 2012);
    EXPECT_EQ(c->month(), 3);
    EXPECT_EQ(c->day(), 11);
    EXPECT_EQ(c->hour(), 12);
    EXPECT_EQ(c->minute(), 0);
    EXPECT_EQ(c->weekday(), 1);         // Sunday
    EXPECT_EQ(c->weekdayOrdinal(), 2);  // the second Sunday of March
    EXPECT_EQ(c->second(), NSUndefinedDateComponent);

    cal->setTimeZone(NSTimeZone::timeZoneWithName(NS("Asia/Tokyo")));
    c = cal->components(NSDayCalendarUnit | NSHourCalendarUnit, at1970(kNoonOnSpringForward));
    EXPECT_EQ(c->day(), 12);
    EXPECT_EQ(c->hour(), 1);
    EXPECT_FALSE(make<NSCalendar>(&NSCalendar::initWithCalendarIdentifier, NS("hebrew")));
}

TEST_F(NSCalendarTest, StartAndLengthOfDaysWeeksAndMonths) {
    Ref<NSDate> start;
    NSTimeInterval length = 0;
    ASSERT_TRUE(cal->rangeOfUnit(NSDayCalendarUnit, &start, &length, at1970(kNoonOnSpringForward)));
    EXPECT_EQ(start->timeIntervalSince1970(), kMidnightOnSpringForward);
    EXPECT_EQ(length, 23 * 3600.0);

    ASSERT_TRUE(cal->rangeOfUnit(NSWeekCalendarUnit, &start, &length,
                                 at1970(kNoonOnSpringForward + 3 * 86400)));
    EXPECT_EQ(start->timeIntervalSince1970(), kMidnightOnSpringForward);  // Sunday
    EXPECT_EQ(length, 7 * 86400.0 - 3600);
    cal->setFirstWeekday(2);
    ASSERT_TRUE(
        cal->rangeOfUnit(NSWeekCalendarUnit, &start, nullptr, at1970(kNoonOnSpringForward)));
    EXPECT_EQ(start->timeIntervalSince1970(), kMidnightOnSpringForward - 6 * 86400);  // Monday

    ASSERT_TRUE(
        cal->rangeOfUnit(NSMonthCalendarUnit, &start, &length, at1970(kNoonOnSpringForward)));
    EXPECT_TRUE(start->isEqualToDate(date(2012, 3, 1)));
    EXPECT_EQ(length, 31 * 86400.0 - 3600);

    ASSERT_TRUE(cal->rangeOfUnit(NSHourCalendarUnit, &start, &length,
                                 at1970(kNoonOnSpringForward + 1234.5)));
    EXPECT_EQ(start->timeIntervalSince1970(), kNoonOnSpringForward);
    EXPECT_EQ(length, 3600.0);
    EXPECT_FALSE(cal->rangeOfUnit(NSEraCalendarUnit, &start, &length, at1970(0)));
}

TEST_F(NSCalendarTest, DatesFromComponentsCarryOver) {
    EXPECT_EQ(date(2012, 3, 11, 12)->timeIntervalSince1970(), kNoonOnSpringForward);
    EXPECT_TRUE(date(2012, 2, 30)->isEqualToDate(date(2012, 3, 1)));
    EXPECT_TRUE(date(2012, 3, 0)->isEqualToDate(date(2012, 2, 29)));
    EXPECT_TRUE(date(2012, 13, 1)->isEqualToDate(date(2013, 1, 1)));

    // The second Sunday of March 2012, from weekday fields.
    auto c = make<NSDateComponents>();
    c->setYear(2012);
    c->setMonth(3);
    c->setWeekday(1);
    c->setWeekdayOrdinal(2);
    EXPECT_TRUE(cal->dateFromComponents(c)->isEqualToDate(date(2012, 3, 11)));

    // Only a year: its first instant.
    auto y = make<NSDateComponents>();
    y->setYear(1999);
    EXPECT_TRUE(cal->dateFromComponents(y)->isEqualToDate(date(1999, 1, 1)));
}

TEST_F(NSCalendarTest, AddingComponentsAcrossMonthEndsAndDaylightSaving) {
    auto oneMonth = make<NSDateComponents>();
    oneMonth->setMonth(1);
    EXPECT_TRUE(cal->dateByAddingComponents(oneMonth, date(2012, 1, 31), 0)
                    ->isEqualToDate(date(2012, 2, 29)));
    EXPECT_TRUE(cal->dateByAddingComponents(oneMonth, date(2013, 1, 31), 0)
                    ->isEqualToDate(date(2013, 2, 28)));
    oneMonth->setMonth(-1);
    EXPECT_TRUE(cal->dateByAddingComponents(oneMonth, date(2012, 3, 31), 0)
                    ->isEqualToDate(date(2012, 2, 29)));

    // A day keeps the wall-clock time across the change: 23 hours pass.
    auto oneDay = make<NSDateComponents>();
    oneDay->setDay(1);
    auto next = cal->dateByAddingComponents(oneDay, date(2012, 3, 10, 12), 0);
    EXPECT_EQ(next->timeIntervalSince1970(), kNoonOnSpringForward);
    // Hours are elapsed time.
    auto hours = make<NSDateComponents>();
    hours->setHour(24);
    EXPECT_EQ(cal->dateByAddingComponents(hours, date(2012, 3, 10, 12), 0)->timeIntervalSince1970(),
              kNoonOnSpringForward + 3600);
    // Larger units first: January 31 + 1 month + 1 day is March 1.
    auto both = make<NSDateComponents>();
    both->setMonth(1);
    both->setDay(1);
    EXPECT_TRUE(
        cal->dateByAddingComponents(both, date(2012, 1, 31), 0)->isEqualToDate(date(2012, 3, 1)));
    // Wrapping rolls the field alone.
    auto days = make<NSDateComponents>();
    days->setDay(5);
    EXPECT_TRUE(cal->dateByAddingComponents(days, date(2012, 1, 30), NSWrapCalendarComponents)
                    ->isEqualToDate(date(2012, 1, 4)));
    // Fractions of a second survive.
    auto frac = cal->dateByAddingComponents(oneDay, at1970(1000000.25), 0);
    EXPECT_DOUBLE_EQ(frac->timeIntervalSince1970(), 1000000.25 + 86400);
}

TEST_F(NSCalendarTest, DifferencesBetweenDates) {
    auto c = cal->components(NSMonthCalendarUnit | NSDayCalendarUnit | NSHourCalendarUnit,
                             date(2012, 1, 31), date(2012, 3, 15, 10), 0);
    EXPECT_EQ(c->month(), 1);
    EXPECT_EQ(c->day(), 15);
    EXPECT_EQ(c->hour(), 10);
    c = cal->components(NSDayCalendarUnit, date(2012, 3, 15), date(2012, 3, 1), 0);
    EXPECT_EQ(c->day(), -14);
    c = cal->components(NSYearCalendarUnit | NSSecondCalendarUnit, date(2011, 6, 1),
                        date(2012, 6, 1, 0, 1), 0);
    EXPECT_EQ(c->year(), 1);
    EXPECT_EQ(c->second(), 60);
}

TEST_F(NSCalendarTest, OrdinalitiesAndRanges) {
    auto d = at1970(kNoonOnSpringForward);
    EXPECT_EQ(cal->ordinalityOfUnit(NSDayCalendarUnit, NSMonthCalendarUnit, d), 11u);
    EXPECT_EQ(cal->ordinalityOfUnit(NSDayCalendarUnit, NSYearCalendarUnit, d), 31u + 29 + 11);
    EXPECT_EQ(cal->ordinalityOfUnit(NSWeekdayCalendarUnit, NSWeekCalendarUnit, d), 1u);
    // Hours count from midnight as they pass: noon is the 13th hour, but the 12th on the day
    // that lost one.
    EXPECT_EQ(cal->ordinalityOfUnit(NSHourCalendarUnit, NSDayCalendarUnit, date(2012, 3, 12, 12)),
              13u);
    EXPECT_EQ(cal->ordinalityOfUnit(NSHourCalendarUnit, NSDayCalendarUnit, d), 12u);
    EXPECT_EQ(cal->ordinalityOfUnit(NSMonthCalendarUnit, NSYearCalendarUnit, d), 3u);
    EXPECT_EQ(cal->ordinalityOfUnit(NSYearCalendarUnit, NSDayCalendarUnit, d),
              static_cast<NSUInteger>(NSNotFound));
    cal->setFirstWeekday(2);
    EXPECT_EQ(cal->ordinalityOfUnit(NSWeekdayCalendarUnit, NSWeekCalendarUnit, d), 7u);

    EXPECT_EQ(cal->rangeOfUnit(NSDayCalendarUnit, NSMonthCalendarUnit, date(2012, 2, 10)),
              NSMakeRange(1, 29));
    EXPECT_EQ(cal->rangeOfUnit(NSDayCalendarUnit, NSMonthCalendarUnit, date(2013, 2, 10)),
              NSMakeRange(1, 28));
    EXPECT_EQ(cal->rangeOfUnit(NSDayCalendarUnit, NSYearCalendarUnit, date(2012, 2, 10)),
              NSMakeRange(1, 366));
    EXPECT_EQ(cal->rangeOfUnit(NSHourCalendarUnit, NSDayCalendarUnit, d), NSMakeRange(0, 24));
    EXPECT_EQ(cal->rangeOfUnit(NSMonthCalendarUnit, NSDayCalendarUnit, d).location,
              static_cast<NSUInteger>(NSNotFound));
    EXPECT_EQ(cal->maximumRangeOfUnit(NSDayCalendarUnit), NSMakeRange(1, 31));
}

}  // namespace
