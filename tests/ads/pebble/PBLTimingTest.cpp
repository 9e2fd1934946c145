#include "ads/pebble/PBLTiming.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "UIKit/UIKitNotifications.h"
#include "ads/pebble/PebbleTesting.h"
#include "support/FoundationTesting.h"

namespace {

using PBLTimingTest = PebbleTest;

TEST_F(PBLTimingTest, MeasuresOnTheMonotonicClock) {
    auto t = make<PBLTiming>(&PBLTiming::initWithCategory, NS("prl"));
    ASSERT_TRUE(t);
    EXPECT_FALSE(make<PBLTiming>(&PBLTiming::initWithCategory, static_cast<NSString*>(nullptr)));
    t->end();  // before start: nothing
    EXPECT_EQ(t->endSeconds(), 0);
    EXPECT_EQ(t->elapsedMilliseconds(), 0u);
    t->start();
    EXPECT_TRUE(t->isActive());
    Clock::advance(1.25);
    EXPECT_EQ(t->elapsedMilliseconds(), 1250u);
    Clock::advance(0.0016);
    EXPECT_EQ(t->elapsedMilliseconds(), 1251u);  // truncated, not rounded
    Clock::advance(0.4984);
    EXPECT_EQ(text(t->elapsedMillisecondsString()), "1750");
    t->end();
    EXPECT_FALSE(t->isActive());
    Clock::advance(3);
    EXPECT_EQ(t->elapsedMilliseconds(), 1750u);
    // Moving the wall clock back does not move the monotonic one.
    Clock::setNow(Clock::now() - 3600);
    EXPECT_EQ(t->elapsedMilliseconds(), 1750u);
    t->reset();
    EXPECT_EQ(t->startSeconds(), 0);
    EXPECT_EQ(t->elapsedMilliseconds(), 0u);
    // Fifty tenths of a second read five seconds from wherever the clock stood.
    for (double base : {0.0, 0.7, 1234.5678, 86400.3}) {
        Clock::advance(base);
        t->start();
        for (int step = 0; step < 50; ++step)
            Clock::advance(0.1);
        EXPECT_EQ(t->elapsedMilliseconds(), 5000u) << "from " << base;
    }
}

TEST_F(PBLTimingTest, UserDataAndCopies) {
    auto t = make<PBLTiming>(&PBLTiming::initWithCategory, NS("pcl"));
    EXPECT_EQ(t->keysAndValues()->count(), 0u);
    t->setValue(NS("x"), NS("pai"));
    t->setValue(nullptr, NS("pai"));
    EXPECT_EQ(text(t->valueForKey(NS("pai"))), "x");
    t->start();
    Clock::advance(2);
    t->end();
    auto copy = cast<PBLTiming>(t->copy());
    EXPECT_EQ(text(copy->category()), "pcl");
    EXPECT_EQ(copy->startSeconds(), t->startSeconds());
    EXPECT_EQ(copy->endSeconds(), t->endSeconds());
    copy->setValue(NS("y"), NS("pit"));
    EXPECT_EQ(t->valueForKey(NS("pit")).get(), nullptr);  // its own user data
    EXPECT_EQ(text(copy->valueForKey(NS("pai"))), "x");
    copy->removeValueForKey(NS("pai"));
    EXPECT_EQ(copy->valueForKey(NS("pai")).get(), nullptr);
    auto rep = t->dictionaryRepresentation();
    EXPECT_EQ(text(rep->objectForKey(NS("category"))), "pcl");
    EXPECT_TRUE(rep->objectForKey(NS("userData")));
    EXPECT_NE(text(t->description()).find("PBLTiming ("), std::string::npos);
}

TEST_F(PBLTimingTest, ManagerKeepsOneTimingPerCategory) {
    auto m = make<PBLTimingManager>(&PBLTimingManager::initWithIdentifier, NS("test"));
    EXPECT_EQ(text(m->userDefaultsKey()), "pebble_timing_test");
    auto first = m->addTimingWithCategory(NS("a"));
    auto second = m->addTimingWithCategory(NS("a"));
    m->addTimingWithCategory(NS("b"));
    m->addTimingWithCategory(NS("c"));
    EXPECT_EQ(m->timingForCategory(NS("a")).get(), second.get());
    EXPECT_EQ(m->categories()->count(), 3u);
    m->removeTimingsForCategories(NSArray::arrayWithObjects({NS("a"), NS("zz")}));
    m->removeTiming(m->timingForCategory(NS("b")));
    EXPECT_EQ(m->timings()->count(), 1u);
    m->addTiming(nullptr);
    m->removeAllTimings();
    EXPECT_EQ(m->timings()->count(), 0u);
}

TEST_F(PBLTimingTest, TimingsReloadedAfterRelaunchOfTheSameBoot) {
    {
        auto m = make<PBLTimingManager>(&PBLTimingManager::initWithIdentifier, NS("test"));
        m->addTimingWithCategory(NS("running"))->start();
        auto ended = m->addTimingWithCategory(NS("ended"));
        ended->start();
        Clock::advance(1);
        ended->end();
        ended->setValue(NS("v"), NS("k"));
        // Saved when the application ends.
        NSNotificationCenter::defaultCenter()->postNotificationName(
            UIApplicationWillTerminateNotification, nullptr);
        // An entry without a category, written by hand, is skipped on load.
        auto stored = NSMutableDictionary::dictionaryWithDictionary(
            NSUserDefaults::standardUserDefaults()->dictionaryForKey(NS("pebble_timing_test")));
        stored->setObject(
            NSDictionary::dictionaryWithObject(NSNumber::numberWithInt(1), NS("start")),
            NS("broken"));
        NSUserDefaults::standardUserDefaults()->setObject(stored, NS("pebble_timing_test"));
        m->removeAllTimings();
        m->loadPersistentTimings();
        EXPECT_EQ(m->timings()->count(), 2u);
        EXPECT_FALSE(m->timingForCategory(NS("broken")));
    }
    // Saved again when released.
    Clock::advance(2);
    auto m = make<PBLTimingManager>(&PBLTimingManager::initWithIdentifier, NS("test"));
    auto running = m->timingForCategory(NS("running"));
    ASSERT_TRUE(running);
    EXPECT_TRUE(running->isActive());
    EXPECT_EQ(running->elapsedMilliseconds(), 3000u);
    auto ended = m->timingForCategory(NS("ended"));
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->elapsedMilliseconds(), 1000u);
    EXPECT_EQ(text(ended->valueForKey(NS("k"))), "v");
}

TEST_F(PBLTimingTest, TimingsOfAnotherBootAreDropped) {
    {
        auto m = make<PBLTimingManager>(&PBLTimingManager::initWithIdentifier, NS("test"));
        m->addTimingWithCategory(NS("running"))->start();
        m->synchronize();
    }
    // A boot one hour later: the wall clock moved on, the monotonic one started again.
    NSUserDefaults::standardUserDefaults()->setObject(
        NSNumber::numberWithDouble(Clock::now() - Clock::uptime() - 3600),
        NS("pebble_timing_test_boot"));
    auto m = make<PBLTimingManager>(&PBLTimingManager::initWithIdentifier, NS("test"));
    EXPECT_EQ(m->timings()->count(), 0u);
}

}  // namespace
