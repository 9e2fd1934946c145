// Process-wide slots: made once on first use, shared by every caller and thread, dropped by the
// reset (with what they keep running stopped), and made afresh on the next use.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "Foundation/NSBundle.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimeZone.h"
#include "Foundation/NSURLCredential.h"
#include "Foundation/NSURLCredentialStorage.h"
#include "Foundation/NSURLProtectionSpace.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/ProcessWide.h"

namespace {

int livingCounters = 0;

class Counter : public NSObject {
    NS_OBJECT(Counter, NSObject)
public:
    bool init() override {
        ++livingCounters;
        return NSObject::init();
    }
    void dealloc() override {
        --livingCounters;
        NSObject::dealloc();
    }
    int value = 0;
    bool stopped = false;
};

TEST(ProcessWideTest, MadeOnFirstUseSharedAndMadeAfreshAfterAReset) {
    static ProcessWide<Counter> slot;
    int before = livingCounters;
    EXPECT_EQ(slot.peek(), nullptr);  // peeking makes nothing
    EXPECT_EQ(livingCounters, before);
    auto first = slot.get();
    first->value = 7;
    EXPECT_EQ(slot.get().get(), first.get());
    EXPECT_EQ(slot.peek()->value, 7);
    EXPECT_EQ(livingCounters, before + 1);
    first = nullptr;
    resetProcessWideInstances();
    EXPECT_EQ(livingCounters, before);  // the slot held the last reference
    EXPECT_EQ(slot.peek(), nullptr);
    EXPECT_EQ(slot.get()->value, 0);
    EXPECT_EQ(livingCounters, before + 1);
}

TEST(ProcessWideTest, TheFactoryTheCallersMakerAndExchange) {
    static ProcessWide<Counter> made{[] {
        auto c = make<Counter>();
        c->value = 3;
        return c;
    }};
    EXPECT_EQ(made.get()->value, 3);
    // A maker only runs when there is no instance yet.
    EXPECT_EQ(made.getOr([] { return make<Counter>(); })->value, 3);

    static ProcessWide<Counter> slot;
    auto own = make<Counter>();
    own->value = 9;
    EXPECT_EQ(slot.getOr([&] { return own; }).get(), own.get());
    auto next = make<Counter>();
    EXPECT_EQ(slot.exchange(next).get(), own.get());
    EXPECT_EQ(slot.peek().get(), next.get());
    slot.reset();
    EXPECT_EQ(slot.peek(), nullptr);
}

TEST(ProcessWideTest, TheResetRetiresInstancesNewestFirst) {
    static std::vector<int> retired;
    static ProcessWide<Counter> older{nullptr, [](Counter* c) {
                                          c->stopped = true;
                                          retired.push_back(c->value);
                                      }};
    static ProcessWide<Counter> newer{nullptr, [](Counter* c) { retired.push_back(c->value); }};
    retired.clear();
    resetProcessWideInstances();  // slots enroll when they first hold an instance
    older.get()->value = 1;
    newer.get()->value = 2;
    auto kept = older.get();
    resetProcessWideInstances();
    EXPECT_EQ(retired, (std::vector<int>{2, 1}));
    EXPECT_TRUE(kept->stopped);  // retired even though a caller still holds it
    auto next = older.get();
    EXPECT_NE(next.get(), kept.get());
    // Resetting one slot retires its instance too; replacing it does not.
    older.reset();
    EXPECT_TRUE(next->stopped);
    auto replaced = older.exchange(make<Counter>());
    EXPECT_FALSE(replaced);
    auto third = older.exchange(nullptr);
    EXPECT_FALSE(third->stopped);
}

TEST(ProcessWideTest, ThreadsRacingToTheFirstUseShareOneInstance) {
    static ProcessWide<Counter> slot;
    std::atomic<int> ready{0};
    std::vector<Counter*> seen(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] {
            ++ready;
            while (ready < static_cast<int>(seen.size()))
                std::this_thread::yield();
            seen[i] = slot.get().get();
        });
    for (auto& t : threads)
        t.join();
    for (auto* c : seen)
        EXPECT_EQ(c, seen[0]);
}

// The platform's shared state is process-wide too: what one test sets, the next does not see.
TEST(ProcessWideTest, ThePlatformsSharedStateStartsAfreshAfterAReset) {
    NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneWithName(NS("Asia/Tokyo")));
    NSLocale::setCurrentLocaleIdentifierForTesting(NS("fr_FR"));
    auto registered = NSMutableDictionary::dictionary();
    registered->setObject(NS("registered"), NS("ProcessWideTestKey"));
    NSUserDefaults::standardUserDefaults()->registerDefaults(registered);
    auto space =
        make<NSURLProtectionSpace>(&NSURLProtectionSpace::initWithHost, NS("bazaarnest.test"), 80,
                                   NSURLProtectionSpaceHTTP, NS("r"), nullptr);
    NSURLCredentialStorage::sharedCredentialStorage()->setCredential(
        NSURLCredential::credentialWithUser(NS("ann"), NS("1"),
                                            NSURLCredentialPersistenceForSession),
        space);
    auto bundle = NSBundle::mainBundle();
    auto defaults = NSUserDefaults::standardUserDefaults();

    resetProcessWideInstances();
    EXPECT_TRUE(NSTimeZone::defaultTimeZone()->isEqual(NSTimeZone::systemTimeZone()));
    EXPECT_NE(NSLocale::currentLocale()->localeIdentifier()->utf8(), "fr_FR");
    EXPECT_NE(NSUserDefaults::standardUserDefaults().get(), defaults.get());
    EXPECT_FALSE(NSUserDefaults::standardUserDefaults()->objectForKey(NS("ProcessWideTestKey")));
    EXPECT_FALSE(
        NSURLCredentialStorage::sharedCredentialStorage()->credentialsForProtectionSpace(space));
    EXPECT_NE(NSBundle::mainBundle().get(), bundle.get());
    EXPECT_TRUE(NSBundle::mainBundle()->bundlePath()->isEqualToString(bundle->bundlePath()));
}

}  // namespace
