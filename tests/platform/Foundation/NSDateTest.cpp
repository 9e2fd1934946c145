#include <gtest/gtest.h>

#include "support/FoundationTesting.h"

#include <atomic>
#include <ctime>
#include <thread>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

namespace {

Ref<NSDate> at(NSTimeInterval t) {
    return NSDate::dateWithTimeIntervalSinceReferenceDate(t);
}

TEST(NSDate, DescriptionIsUTCCalendarTime) {
    EXPECT_EQ(text(at(0)), "2001-01-01 00:00:00 +0000");
    EXPECT_EQ(text(NSDate::dateWithTimeIntervalSince1970(0)), "1970-01-01 00:00:00 +0000");
    EXPECT_EQ(text(at(-0.5)), "2000-12-31 23:59:59 +0000");  // whole seconds, rounded down
    EXPECT_EQ(text(at(kManualClockDefaultStart)), "2012-03-01 12:00:00 +0000");
    EXPECT_EQ(text(at(kManualClockDefaultStart - 1)), "2012-03-01 11:59:59 +0000");
    EXPECT_EQ(text(at(kManualClockDefaultStart - 86400)), "2012-02-29 12:00:00 +0000");
    EXPECT_EQ(text(NSDate::dateWithTimeIntervalSince1970(4102444799.9)),
              "2099-12-31 23:59:59 +0000");
    EXPECT_EQ(text(NSDate::distantFuture()), "4001-01-01 00:00:00 +0000");
    // Year 1 of the Julian calendar, printed in the proleptic Gregorian one.
    EXPECT_EQ(text(NSDate::distantPast()), "0000-12-30 00:00:00 +0000");
}

TEST(NSDate, NowComesFromTheClock) {
    ManualClockScope clock;
    EXPECT_EQ(NSDate::date()->timeIntervalSinceReferenceDate(), kManualClockDefaultStart);
    EXPECT_EQ(NSDate::timeIntervalSinceReferenceDateNow(), kManualClockDefaultStart);
    auto later = NSDate::dateWithTimeIntervalSinceNow(30);
    EXPECT_EQ(later->timeIntervalSinceNow(), 30);
    Clock::advance(10);
    EXPECT_EQ(later->timeIntervalSinceNow(), 20);
    EXPECT_EQ(NSDate::date()->timeIntervalSinceDate(later), -20);
    EXPECT_EQ(later->timeIntervalSince1970(), kManualClockDefaultStart + 30 + 978307200.0);
}

TEST(NSDate, ArithmeticAndOrdering) {
    auto a = at(100);
    auto b = a->dateByAddingTimeInterval(0.25);
    EXPECT_EQ(b->timeIntervalSinceReferenceDate(), 100.25);
    EXPECT_EQ(a->addTimeInterval(-100)->timeIntervalSinceReferenceDate(), 0);
    EXPECT_EQ(NSDate::dateWithTimeInterval(5, b)->timeIntervalSinceReferenceDate(), 105.25);
    EXPECT_EQ(a->compare(b), NSOrderedAscending);
    EXPECT_EQ(b->compare(a), NSOrderedDescending);
    EXPECT_EQ(a->compare(at(100)), NSOrderedSame);
    EXPECT_EQ(a->earlierDate(b).get(), a.get());
    EXPECT_EQ(a->laterDate(b).get(), b.get());
    EXPECT_EQ(NSDate::distantPast()->compare(NSDate::distantFuture()), NSOrderedAscending);
}

TEST(NSDate, EqualityIsExact) {
    EXPECT_TRUE(at(1.5)->isEqual(at(1.5)));
    EXPECT_FALSE(at(1.5)->isEqual(at(1.5000001)));  // sub-second differences count
    EXPECT_EQ(at(1.5)->hash(), at(1.5)->hash());
    EXPECT_TRUE(at(0.0)->isEqual(at(-0.0)));
    EXPECT_EQ(at(0.0)->hash(), at(-0.0)->hash());
    EXPECT_FALSE(at(0)->isEqual(NS("2001-01-01 00:00:00 +0000")));
    auto d = at(7);
    EXPECT_EQ(d->copy().get(), d.get());
    EXPECT_TRUE(d->respondsToSelector(Selector::named("timeIntervalSince1970")));
    EXPECT_EQ(invokeMethod(d, Selector::named("compare:"), std::vector<Value>{Value::of(at(8))})
                  .toLongLong(),
              NSOrderedAscending);
}

TEST(Clock, RealClockTracksTheSystemTime) {
    ASSERT_FALSE(Clock::isManual());
    double diff = Clock::now() + NSTimeIntervalSince1970 - static_cast<double>(std::time(nullptr));
    EXPECT_LT(std::abs(diff), 5.0);
    double u1 = Clock::uptime(), u2 = Clock::uptime();
    EXPECT_LE(u1, u2);
    EXPECT_THROW(Clock::advance(1), ExceptionRaised);
    EXPECT_THROW(Clock::setNow(1), ExceptionRaised);
}

TEST(Clock, ManualTimeMovesOnlyByHand) {
    {
        ManualClockScope clock(1000);
        EXPECT_TRUE(Clock::isManual());
        EXPECT_EQ(Clock::now(), 1000);
        EXPECT_EQ(CFAbsoluteTimeGetCurrent(), 1000);
        double up = Clock::uptime();
        Clock::advance(2.5);
        EXPECT_EQ(Clock::now(), 1002.5);
        EXPECT_EQ(Clock::uptime(), up + 2.5);
        // Setting the time back is a wall-clock change; uptime stays monotonic.
        Clock::setNow(500);
        EXPECT_EQ(Clock::now(), 500);
        EXPECT_EQ(Clock::uptime(), up + 2.5);
        Clock::setNow(510);
        EXPECT_EQ(Clock::uptime(), up + 12.5);
        {
            ManualClockScope inner(42);
            EXPECT_EQ(Clock::now(), 42);
        }
        EXPECT_EQ(Clock::now(), 510);  // an inner scope restores the outer clock
    }
    EXPECT_FALSE(Clock::isManual());
}

TEST(Clock, ListenersHearEveryChange) {
    ManualClockScope clock;
    std::vector<double> seen;
    uint64_t id = Clock::addListener([&] { seen.push_back(Clock::now()); });
    Clock::advance(1);
    Clock::setNow(10);
    Clock::removeListener(id);
    Clock::advance(1);
    EXPECT_EQ(seen, (std::vector<double>{kManualClockDefaultStart + 1, 10}));

    // A listener may remove itself and change the time again from inside the call.
    int calls = 0;
    uint64_t self = 0;
    self = Clock::addListener([&] {
        if (++calls == 1) Clock::advance(1);
        Clock::removeListener(self);
    });
    Clock::advance(1);
    Clock::advance(1);
    EXPECT_EQ(calls, 2);            // the outer call and the nested one, then never again
    Clock::removeListener(999999);  // unknown ids are ignored
}

TEST(Clock, ListenersAreSafeAcrossThreads) {
    ManualClockScope clock;
    std::atomic<int> calls{0};
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        while (!stop) {
            uint64_t id = Clock::addListener([&] { ++calls; });
            Clock::removeListener(id);
        }
    });
    uint64_t steady = Clock::addListener([&] { ++calls; });
    for (int i = 0; i < 2000; ++i)
        Clock::advance(0.25);
    stop = true;
    churn.join();
    Clock::removeListener(steady);
    EXPECT_GE(calls.load(), 2000);
    EXPECT_EQ(Clock::now(), kManualClockDefaultStart + 500);
}

}  // namespace

TEST(NSDateStringForm, ReadsWhatDescriptionWrites) {
    auto d = NSDate::dateWithString(NS("2011-06-30 18:45:00 -0500"));
    ASSERT_TRUE(d);
    EXPECT_EQ(text(d), "2011-06-30 23:45:00 +0000");
    EXPECT_DOUBLE_EQ(d->timeIntervalSince1970(), 1309477500.0);
    auto east = NSDate::dateWithString(NS("2012-03-01 00:30:15 +0130"));
    ASSERT_TRUE(east);
    EXPECT_EQ(text(east), "2012-02-29 23:00:15 +0000");  // a leap day
    // Round trip of any description.
    auto now = NSDate::dateWithTimeIntervalSince1970(1700000000);
    EXPECT_TRUE(NSDate::dateWithString(now->description())->isEqualToDate(now));
    // Anything else is nil: other forms, values out of range, trailing text.
    for (const char* bad :
         {"", "2011-06-30", "2011-06-30 18:45:00", "2011-06-30T18:45:00 +0000",
          "2011-6-30 18:45:00 +0000", "2011-02-29 10:00:00 +0000", "2011-13-01 10:00:00 +0000",
          "2011-06-30 24:00:00 +0000", "2011-06-30 18:60:00 +0000", "2011-06-30 18:45:00 0000",
          "2011-06-30 18:45:00 +0060", "2011-06-30 18:45:00 +00000", "2011-06-31 18:45:00 +0000"})
        EXPECT_FALSE(NSDate::dateWithString(str(bad))) << bad;
    EXPECT_FALSE(NSDate::dateWithString(nullptr));
}
