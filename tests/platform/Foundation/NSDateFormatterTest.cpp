#include "Foundation/NSDateFormatter.h"

#include <gtest/gtest.h>

#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSTimeZone.h"
#include "support/FoundationTesting.h"

namespace {

// 1994-11-06 08:49:37 UTC, the example date of RFC 1123 and HTTP.
constexpr NSTimeInterval kRFCExample1970 = 784111777;

Ref<NSDateFormatter> httpFormatter(NSString* format) {
    auto f = make<NSDateFormatter>();
    f->setLocale(NSLocale::localeWithLocaleIdentifier(NS("en_US_POSIX")));
    f->setTimeZone(NSTimeZone::timeZoneWithName(NS("GMT")));
    f->setDateFormat(format);
    return f;
}

Ref<NSDate> at1970(NSTimeInterval t) {
    return NSDate::dateWithTimeIntervalSince1970(t);
}

class NSDateFormatterTest : public testing::Test {
protected:
    void SetUp() override {
        NSLocale::setCurrentLocaleIdentifierForTesting(NS("en_US"));
        NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneWithName(NS("America/New_York")));
    }
    void TearDown() override {
        NSLocale::setCurrentLocaleIdentifierForTesting(nullptr);
        NSTimeZone::setDefaultTimeZone(nullptr);
    }
};

TEST_F(NSDateFormatterTest, ReadsHTTPDatesInTheirThreeShapes) {
    auto full = httpFormatter(NS("EEE, dd MMM yyyy HH:mm:ss z"));
    auto d = full->dateFromString(NS("Sun, 06 Nov 1994 08:49:37 GMT"));
    ASSERT_TRUE(d);
    EXPECT_DOUBLE_EQ(d->timeIntervalSince1970(), kRFCExample1970);

    auto noWeekday = httpFormatter(NS("dd MMM yyyy HH:mm:ss z"));
    d = noWeekday->dateFromString(NS("06 Nov 1994 08:49:37 GMT"));
    ASSERT_TRUE(d);
    EXPECT_DOUBLE_EQ(d->timeIntervalSince1970(), kRFCExample1970);

    auto noSeconds = httpFormatter(NS("EEE, dd MMM yyyy HH:mm z"));
    d = noSeconds->dateFromString(NS("Sun, 06 Nov 1994 08:49 GMT"));
    ASSERT_TRUE(d);
    EXPECT_DOUBLE_EQ(d->timeIntervalSince1970(), kRFCExample1970 - 37);

    // A zone other than GMT is honoured.
    d = full->dateFromString(NS("Sun, 06 Nov 1994 03:49:37 EST"));
    ASSERT_TRUE(d);
    EXPECT_DOUBLE_EQ(d->timeIntervalSince1970(), kRFCExample1970);
}

TEST_F(NSDateFormatterTest, RejectsTextThatDoesNotMatchTheWholeFormat) {
    auto full = httpFormatter(NS("EEE, dd MMM yyyy HH:mm:ss z"));
    EXPECT_FALSE(full->dateFromString(NS("06 Nov 1994 08:49:37 GMT")));
    EXPECT_FALSE(full->dateFromString(NS("Sun, 06 Nov 1994 08:49 GMT")));
    EXPECT_FALSE(full->dateFromString(NS("Sun, 06 Nov 1994 08:49:37 GMT and more")));
    EXPECT_FALSE(full->dateFromString(NS("Sunday")));
    EXPECT_FALSE(full->dateFromString(NS("")));
    EXPECT_FALSE(full->dateFromString(nullptr));
    auto noWeekday = httpFormatter(NS("dd MMM yyyy HH:mm:ss z"));
    EXPECT_FALSE(noWeekday->dateFromString(NS("Sun, 06 Nov 1994 08:49:37 GMT")));
    // Trailing white space is not part of the date (a header cut before its "GMT").
    auto bare = httpFormatter(NS("EEE, dd MMM yyyy HH:mm:ss"));
    auto d = bare->dateFromString(NS("Sun, 06 Nov 1994 08:49:37 "));
    ASSERT_TRUE(d);
    EXPECT_DOUBLE_EQ(d->timeIntervalSince1970(), kRFCExample1970);
}

TEST_F(NSDateFormatterTest, WritesHTTPDatesAndRoundTrips) {
    auto f = httpFormatter(NS("EEE, dd MMM yyyy HH:mm:ss 'GMT'"));
    EXPECT_EQ(text(f->stringFromDate(at1970(kRFCExample1970))), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_FALSE(f->stringFromDate(nullptr));

    auto local = make<NSDateFormatter>();
    local->setDateFormat(NS("yyyy-MM-dd HH:mm:ss"));
    EXPECT_EQ(text(local->timeZone()->name()), "America/New_York");
    for (NSTimeInterval t : {0.0, 784111777.0, 1331449200.0, 1351987200.0}) {
        auto s = local->stringFromDate(at1970(t));
        auto back = local->dateFromString(s);
        ASSERT_TRUE(back) << text(s);
        EXPECT_DOUBLE_EQ(back->timeIntervalSince1970(), t) << text(s);
    }
    EXPECT_EQ(text(local->stringFromDate(at1970(kRFCExample1970))), "1994-11-06 03:49:37");
}

TEST_F(NSDateFormatterTest, StylesFollowTheLocale) {
    auto f = make<NSDateFormatter>();
    f->setTimeZone(NSTimeZone::timeZoneWithName(NS("GMT")));
    auto d = at1970(kRFCExample1970);
    EXPECT_EQ(text(f->stringFromDate(d)), "");  // neither a format nor a style
    f->setDateStyle(NSDateFormatterShortStyle);
    EXPECT_EQ(text(f->dateFormat()), "M/d/yy");
    EXPECT_EQ(text(f->stringFromDate(d)), "11/6/94");
    f->setDateStyle(NSDateFormatterMediumStyle);
    EXPECT_EQ(text(f->stringFromDate(d)), "Nov 6, 1994");
    f->setDateStyle(NSDateFormatterLongStyle);
    EXPECT_EQ(text(f->stringFromDate(d)), "November 6, 1994");
    f->setDateStyle(NSDateFormatterFullStyle);
    EXPECT_EQ(text(f->stringFromDate(d)), "Sunday, November 6, 1994");
    f->setDateStyle(NSDateFormatterNoStyle);
    f->setTimeStyle(NSDateFormatterShortStyle);
    // The locale data puts a narrow no-break space before the day period.
    EXPECT_EQ(text(f->stringFromDate(d)), "8:49\u202FAM");

    f->setLocale(NSLocale::localeWithLocaleIdentifier(NS("de_DE")));
    f->setDateStyle(NSDateFormatterMediumStyle);
    f->setTimeStyle(NSDateFormatterNoStyle);
    EXPECT_EQ(text(f->stringFromDate(d)), "06.11.1994");

    // A format set after the styles wins.
    f->setDateFormat(NS("yyyy"));
    EXPECT_EQ(text(f->stringFromDate(d)), "1994");

    NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneWithName(NS("GMT")));
    EXPECT_EQ(text(NSDateFormatter::localizedStringFromDate(d, NSDateFormatterShortStyle,
                                                            NSDateFormatterShortStyle)),
              "11/6/94, 8:49\u202FAM");
}

TEST_F(NSDateFormatterTest, MissingFieldsComeFrom1970OrTheDefaultDate) {
    auto f = httpFormatter(NS("HH:mm"));
    auto d = f->dateFromString(NS("10:30"));
    ASSERT_TRUE(d);
    EXPECT_DOUBLE_EQ(d->timeIntervalSince1970(), 10 * 3600 + 30 * 60);
    // With a default date every field the text lacks comes from it, the seconds included.
    f->setDefaultDate(at1970(kRFCExample1970));
    d = f->dateFromString(NS("10:30"));
    ASSERT_TRUE(d);
    EXPECT_DOUBLE_EQ(d->timeIntervalSince1970(),
                     kRFCExample1970 - (8 * 3600 + 49 * 60) + 10 * 3600 + 30 * 60);
}

TEST_F(NSDateFormatterTest, MidnightByFormattingWithoutTheTime) {
    // The day of a date through a pattern without time fields, in the default zone.
    auto f = make<NSDateFormatter>();
    f->setDateFormat(NS("yyyy-d-M"));
    auto d = at1970(kRFCExample1970);
    auto s = f->stringFromDate(d);
    EXPECT_EQ(text(s), "1994-6-11");
    auto midnight = f->dateFromString(s);
    ASSERT_TRUE(midnight);
    EXPECT_DOUBLE_EQ(midnight->timeIntervalSince1970(),
                     kRFCExample1970 - (3 * 3600 + 49 * 60 + 37));
}

TEST_F(NSDateFormatterTest, TwoDigitYearsFollowTheClock) {
    ManualClockScope clock;  // 2012
    auto f = httpFormatter(NS("M/d/yy"));
    auto d = f->dateFromString(NS("1/2/03"));
    ASSERT_TRUE(d);
    EXPECT_EQ(text(httpFormatter(NS("yyyy"))->stringFromDate(d)), "2003");
    d = f->dateFromString(NS("1/2/40"));
    ASSERT_TRUE(d);
    EXPECT_EQ(text(httpFormatter(NS("yyyy"))->stringFromDate(d)), "1940");
    Clock::setNow(-40 * 365.25 * 86400);  // 1961: "40" now reads as 1940, "90" as 1890
    f = httpFormatter(NS("M/d/yy"));
    d = f->dateFromString(NS("1/2/90"));
    ASSERT_TRUE(d);
    EXPECT_EQ(text(httpFormatter(NS("yyyy"))->stringFromDate(d)), "1890");
}

TEST_F(NSDateFormatterTest, ZoneAbbreviationsAndTwelveHourClock) {
    // The listing feed's dates.
    auto f = make<NSDateFormatter>();
    f->setDateFormat(NS("yyyy-MM-dd, hh:mma zzz"));
    auto d = f->dateFromString(NS("2012-03-01, 10:15AM PST"));
    ASSERT_TRUE(d);
    EXPECT_DOUBLE_EQ(d->timeIntervalSince1970(), 1330625700);
    EXPECT_EQ(text(f->stringFromDate(d)), "2012-03-01, 01:15PM EST");
}

TEST_F(NSDateFormatterTest, SymbolsTemplatesAndLeniency) {
    auto f = httpFormatter(NS("h:mm a"));
    EXPECT_EQ(text(f->AMSymbol()), "AM");
    EXPECT_EQ(text(f->PMSymbol()), "PM");
    f->setPMSymbol(NS("pm"));
    EXPECT_EQ(text(f->stringFromDate(at1970(13 * 3600))), "1:00 pm");
    EXPECT_EQ(f->weekdaySymbols()->count(), 7u);
    EXPECT_EQ(text(f->weekdaySymbols()->objectAtIndex(0)), "Sunday");
    EXPECT_EQ(text(f->shortMonthSymbols()->objectAtIndex(10)), "Nov");

    auto us = NSLocale::localeWithLocaleIdentifier(NS("en_US"));
    EXPECT_EQ(text(NSDateFormatter::dateFormatFromTemplate(NS("yMMMd"), 0, us)), "MMM d, y");
    EXPECT_EQ(text(NSDateFormatter::dateFormatFromTemplate(
                  NS("yMMMd"), 0, NSLocale::localeWithLocaleIdentifier(NS("de_DE")))),
              "d. MMM y");
    EXPECT_FALSE(NSDateFormatter::dateFormatFromTemplate(nullptr, 0, us));

    auto strict = httpFormatter(NS("yyyy-MM-dd"));
    EXPECT_FALSE(strict->isLenient());
    EXPECT_FALSE(strict->dateFromString(NS("2012-02-30")));
    strict->setLenient(true);
    auto d = strict->dateFromString(NS("2012-02-30"));
    ASSERT_TRUE(d);
    EXPECT_EQ(text(httpFormatter(NS("yyyy-MM-dd"))->stringFromDate(d)), "2012-03-01");
}

}  // namespace
