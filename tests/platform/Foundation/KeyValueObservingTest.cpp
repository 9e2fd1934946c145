#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSKeyValueObserving.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSOperation.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "tests/support/FoundationTesting.h"

namespace {

class Owner : public NSObject {
    NS_OBJECT(Owner, NSObject)
    static void describeClass(RuntimeClass& c) { c.property("name", &Owner::name); }
    Ref<NSString> name() { return name_; }
    void setName(NSString* name) {
        willChangeValueForKey(NS("name"));
        name_ = name;
        didChangeValueForKey(NS("name"));
    }

private:
    Ref<NSString> name_;
};

// An object whose setters announce their changes.
class Listing : public NSObject {
    NS_OBJECT(Listing, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.property("title", &Listing::title).property("owner", &Listing::owner);
    }
    Ref<NSString> title() { return title_; }
    void setTitle(NSString* title) {
        willChangeValueForKey(NS("title"));
        title_ = title;
        didChangeValueForKey(NS("title"));
    }
    Ref<Owner> owner() { return owner_; }
    void setOwner(Owner* owner) {
        willChangeValueForKey(NS("owner"));
        owner_ = owner;
        didChangeValueForKey(NS("owner"));
    }

private:
    Ref<NSString> title_;
    Ref<Owner> owner_;
};

// Writes each call as "path kind [prior] [old=..] [new=..] ctx=.." with values as text.
class Watcher : public NSObject {
    NS_OBJECT(Watcher, NSObject)
    void observeValueForKeyPath(NSString* keyPath, NSObject* object, NSDictionary* change,
                                void* context) override {
        std::string line = keyPath->utf8() + " " +
                           change->objectForKey(NSKeyValueChangeKindKey)->description()->utf8();
        if (change->objectForKey(NSKeyValueChangeNotificationIsPriorKey)) line += " prior";
        if (auto old = change->objectForKey(NSKeyValueChangeOldKey)) line += " old=" + show(old);
        if (auto now = change->objectForKey(NSKeyValueChangeNewKey)) line += " new=" + show(now);
        if (context) line += " ctx=" + std::string(static_cast<const char*>(context));
        calls.push_back(line);
        objects.push_back(object);
        threads.push_back(std::this_thread::get_id());
    }
    static std::string show(NSObject* value) {
        if (is<NSNull>(value)) return "null";
        return value->description()->utf8();
    }
    std::vector<std::string> calls;
    std::vector<NSObject*> objects;
    std::vector<std::thread::id> threads;
};

char kContext[] = "listing";

TEST(KeyValueObservingTest, ObserversHearAnnouncedChangesWithWhatTheyAskedFor) {
    auto listing = make<Listing>();
    auto plain = make<Watcher>();
    auto full = make<Watcher>();
    listing->addObserver(plain.get(), NS("title"), 0, nullptr);
    listing->addObserver(full.get(), NS("title"),
                         NSKeyValueObservingOptionNew | NSKeyValueObservingOptionOld, kContext);
    listing->setTitle(NS("Bike"));
    listing->setTitle(NS("Red bike"));
    EXPECT_EQ(plain->calls, (std::vector<std::string>{"title 1", "title 1"}));
    EXPECT_EQ(full->calls, (std::vector<std::string>{"title 1 old=null new=Bike ctx=listing",
                                                     "title 1 old=Bike new=Red bike ctx=listing"}));
    EXPECT_EQ(full->objects[0], listing.get());
    // A change of another key tells nobody here.
    listing->setOwner(make<Owner>().get());
    EXPECT_EQ(plain->calls.size(), 2u);
    EXPECT_EQ(full->calls.size(), 2u);

    // Removed: no more news; removing again is a mistake.
    listing->removeObserver(plain.get(), NS("title"));
    listing->setTitle(NS("Blue bike"));
    EXPECT_EQ(plain->calls.size(), 2u);
    EXPECT_EQ(full->calls.size(), 3u);
    EXPECT_EQ(full->calls.back(), "title 1 old=Red bike new=Blue bike ctx=listing");
    EXPECT_THROW(listing->removeObserver(plain.get(), NS("title")), ExceptionRaised);
    EXPECT_THROW(listing->removeObserver(full.get(), NS("owner")), ExceptionRaised);
    listing->removeObserver(full.get(), NS("title"));
    listing->setTitle(NS("Gone"));
    EXPECT_EQ(full->calls.size(), 3u);
}

TEST(KeyValueObservingTest, InitialPriorAndRepeatedRegistrations) {
    auto listing = make<Listing>();
    listing->setTitle(NS("Lamp"));
    auto w = make<Watcher>();
    listing->addObserver(w.get(), NS("title"),
                         NSKeyValueObservingOptionInitial | NSKeyValueObservingOptionNew, nullptr);
    EXPECT_EQ(w->calls, std::vector<std::string>{"title 1 new=Lamp"});
    w->calls.clear();
    listing->addObserver(w.get(), NS("title"),
                         NSKeyValueObservingOptionPrior | NSKeyValueObservingOptionOld, nullptr);
    listing->setTitle(NS("Desk lamp"));
    EXPECT_EQ(w->calls, (std::vector<std::string>{"title 1 prior old=Lamp", "title 1 new=Desk lamp",
                                                  "title 1 old=Lamp"}));
    // One removal takes one registration, the latest first.
    listing->removeObserver(w.get(), NS("title"));
    w->calls.clear();
    listing->setTitle(NS("Floor lamp"));
    EXPECT_EQ(w->calls, std::vector<std::string>{"title 1 new=Floor lamp"});
    listing->removeObserver(w.get(), NS("title"));
}

TEST(KeyValueObservingTest, AKeyPathIsToldWhenItsFirstKeyChanges) {
    auto listing = make<Listing>();
    auto w = make<Watcher>();
    listing->addObserver(w.get(), NS("owner.name"),
                         NSKeyValueObservingOptionNew | NSKeyValueObservingOptionOld, nullptr);
    auto ann = make<Owner>();
    ann->setName(NS("Ann"));
    auto bob = make<Owner>();
    bob->setName(NS("Bob"));
    listing->setOwner(ann.get());
    listing->setOwner(bob.get());
    listing->setTitle(NS("Chair"));
    EXPECT_EQ(w->calls, (std::vector<std::string>{"owner.name 1 old=null new=Ann",
                                                  "owner.name 1 old=Ann new=Bob"}));
    listing->removeObserver(w.get(), NS("owner.name"));
}

TEST(KeyValueObservingTest, ANestedChangeOfTheSameKeyKeepsEachOldValue) {
    auto listing = make<Listing>();
    listing->setTitle(NS("A"));
    auto w = make<Watcher>();
    listing->addObserver(w.get(), NS("title"), NSKeyValueObservingOptionOld, nullptr);
    listing->willChangeValueForKey(NS("title"));
    listing->setTitle(NS("B"));
    listing->didChangeValueForKey(NS("title"));
    EXPECT_EQ(w->calls, (std::vector<std::string>{"title 1 old=A", "title 1 old=A"}));
    listing->removeObserver(w.get(), NS("title"));
}

TEST(KeyValueObservingTest, ObserversAreToldOnTheThreadOfTheChange) {
    auto listing = make<Listing>();
    auto w = make<Watcher>();
    listing->addObserver(w.get(), NS("title"), NSKeyValueObservingOptionNew, nullptr);
    std::thread::id worker;
    std::thread([&] {
        worker = std::this_thread::get_id();
        listing->setTitle(NS("From a worker"));
    }).join();
    ASSERT_EQ(w->calls, std::vector<std::string>{"title 1 new=From a worker"});
    EXPECT_EQ(w->threads[0], worker);
    EXPECT_NE(worker, std::this_thread::get_id());
    listing->removeObserver(w.get(), NS("title"));
}

TEST(KeyValueObservingTest, FreedObserversDropOutAndObjectsForgetTheirOwn) {
    auto listing = make<Listing>();
    {
        auto w = make<Watcher>();
        listing->addObserver(w.get(), NS("title"), NSKeyValueObservingOptionNew, nullptr);
    }
    listing->setTitle(NS("Nobody hears"));  // the freed observer is not called
    auto w = make<Watcher>();
    {
        auto brief = make<Listing>();
        brief->addObserver(w.get(), NS("title"), 0, nullptr);
        brief->setTitle(NS("Once"));
    }
    EXPECT_EQ(w->calls.size(), 1u);
    // An observer that does not answer is told off.
    auto silent = make<Owner>();
    listing->addObserver(silent.get(), NS("title"), 0, nullptr);
    EXPECT_THROW(listing->setTitle(NS("Unheard")), ExceptionRaised);
    listing->removeObserver(silent.get(), NS("title"));
}

TEST(KeyValueObservingTest, OperationsAnnounceTheirStateToObservers) {
    auto op = NSBlockOperation::blockOperationWithBlock([] {});
    auto w = make<Watcher>();
    op->addObserver(w.get(), NS("isFinished"), NSKeyValueObservingOptionNew, nullptr);
    op->addObserver(w.get(), NS("isExecuting"), NSKeyValueObservingOptionNew, nullptr);
    op->start();
    EXPECT_EQ(w->calls, (std::vector<std::string>{"isExecuting 1 new=1", "isExecuting 1 new=0",
                                                  "isFinished 1 new=1"}));
    op->removeObserver(w.get(), NS("isFinished"));
    op->removeObserver(w.get(), NS("isExecuting"));
}

}  // namespace
