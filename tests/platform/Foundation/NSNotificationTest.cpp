#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "tests/support/FoundationTesting.h"

namespace {

using Log = std::vector<std::string>;

// Records what it hears as "tag:name"; an optional action runs inside the handler.
class NoteObserver : public NSObject {
    NS_OBJECT(NoteObserver, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("heard:", &NoteObserver::heard);
        c.method("poked", &NoteObserver::poked);
    }
    void heard(NSNotification* n) {
        log->push_back(tag + ":" + n->name()->utf8());
        lastInfo = n->userInfo();
        if (action) action(n);
    }
    void poked() { log->push_back(tag + ":poked"); }

    std::string tag;
    Log* log = nullptr;
    std::function<void(NSNotification*)> action;
    Ref<NSDictionary> lastInfo;
};

Ref<NoteObserver> observer(const char* tag, Log* log) {
    Ref<NoteObserver> o = make<NoteObserver>();
    o->tag = tag;
    o->log = log;
    return o;
}

SEL heard() {
    return Selector::named("heard:");
}

TEST(NSNotificationCenterTest, DeliversByNameAndSenderInRegistrationOrder) {
    EXPECT_EQ(NSNotificationCenter::defaultCenter().get(),
              NSNotificationCenter::defaultCenter().get());
    auto center = make<NSNotificationCenter>();
    Log log;
    auto sender = make<NSObject>();
    auto any = observer("any", &log), named = observer("named", &log);
    auto fromSender = observer("sender", &log), all = observer("all", &log);
    center->addObserver(any, heard(), NS("Ping"), nullptr);
    center->addObserver(named, heard(), NS("Pong"), nullptr);
    center->addObserver(fromSender, heard(), NS("Ping"), sender);
    center->addObserver(all, Selector::named("poked"), nullptr, nullptr);

    center->postNotificationName(str("Ping"), sender,
                                 NSDictionary::dictionaryWithObject(NS("v"), NS("k")));
    EXPECT_EQ(log, (Log{"any:Ping", "sender:Ping", "all:poked"}));
    EXPECT_EQ(text(fromSender->lastInfo->objectForKey(NS("k"))), "v");
    log.clear();
    center->postNotificationName(NS("Ping"), make<NSObject>());  // another sender
    center->postNotificationName(NS("Pong"), nullptr);
    EXPECT_EQ(log, (Log{"any:Ping", "all:poked", "named:Pong", "all:poked"}));
    EXPECT_EQ(raisedName([&] { center->postNotificationName(nullptr, nullptr); }),
              "NSInvalidArgumentException");
}

TEST(NSNotificationCenterTest, RemovalIsSelectiveAndDeliveryFollowsTheSnapshot) {
    auto center = make<NSNotificationCenter>();
    Log log;
    auto sender = make<NSObject>();
    auto o = observer("o", &log);
    center->addObserver(o, heard(), NS("A"), nullptr);
    center->addObserver(o, heard(), NS("B"), nullptr);
    center->addObserver(o, heard(), NS("C"), sender);
    center->removeObserver(o, NS("A"), nullptr);
    center->removeObserver(o, nullptr, make<NSObject>());  // no entry has that sender
    for (const char* n : {"A", "B", "C"})
        center->postNotificationName(str(n), sender);
    EXPECT_EQ(log, (Log{"o:B", "o:C"}));
    center->removeObserver(o);
    EXPECT_EQ(center->registrationCount(), 0u);

    // During a post: "first" removes "second" and adds "late"; "self" removes itself.
    log.clear();
    auto first = observer("first", &log), second = observer("second", &log);
    auto self = observer("self", &log), late = observer("late", &log);
    first->action = [&](NSNotification*) {
        center->removeObserver(second);
        center->addObserver(late, heard(), NS("N"), nullptr);
    };
    self->action = [&](NSNotification*) { center->removeObserver(self); };
    for (auto& x : {self, first, second})
        center->addObserver(x, heard(), NS("N"), nullptr);
    center->postNotificationName(NS("N"), nullptr);
    EXPECT_EQ(log, (Log{"self:N", "first:N"}));
    log.clear();
    first->action = nullptr;
    center->postNotificationName(NS("N"), nullptr);
    EXPECT_EQ(log, (Log{"first:N", "late:N"}));
}

TEST(NSNotificationCenterTest, ReentrantPostsAndExceptionsReachThePoster) {
    auto center = make<NSNotificationCenter>();
    Log log;
    auto outer = observer("outer", &log), inner = observer("inner", &log);
    outer->action = [&](NSNotification* n) {
        if (n->name()->isEqualToString(NS("Outer")))
            center->postNotificationName(NS("Inner"), nullptr);
    };
    center->addObserver(outer, heard(), nullptr, nullptr);
    center->addObserver(inner, heard(), NS("Inner"), nullptr);
    center->postNotificationName(NS("Outer"), nullptr);
    EXPECT_EQ(log, (Log{"outer:Outer", "outer:Inner", "inner:Inner"}));

    outer->action = [](NSNotification*) { NSException::raise(NSGenericException, NS("no")); };
    EXPECT_EQ(raisedName([&] { center->postNotificationName(NS("X"), nullptr); }),
              "NSGenericException");
    outer->action = nullptr;  // and the center is not left locked
    log.clear();
    center->postNotificationName(NS("Inner"), nullptr);
    EXPECT_EQ(log, (Log{"outer:Inner", "inner:Inner"}));
}

TEST(NSNotificationCenterTest, DeadObserversAndSendersNeverMatch) {
    auto center = make<NSNotificationCenter>();
    Log log;
    center->addObserver(observer("doomed", &log), heard(), NS("N"), nullptr);
    auto survivor = observer("survivor", &log);
    center->addObserver(survivor, heard(), NS("N"), nullptr);
    center->postNotificationName(NS("N"), nullptr);
    EXPECT_EQ(log, (Log{"survivor:N"}));
    EXPECT_EQ(center->registrationCount(), 1u);  // the dead observer's entry was dropped

    // A sender filter on an object that has gone matches no later object, even one that
    // reuses its address.
    log.clear();
    auto sender = make<NSObject>();
    void* oldAddress = sender.get();
    center->addObserver(survivor, heard(), NS("S"), sender);
    sender = nullptr;
    std::vector<Ref<NSObject>> fresh;
    while (fresh.size() < 64 && (fresh.empty() || fresh.back().get() != oldAddress))
        fresh.push_back(make<NSObject>());
    for (auto& o : fresh)
        center->postNotificationName(NS("S"), o);
    EXPECT_TRUE(log.empty());
}

TEST(NSNotificationCenterTest, BlockObserversLiveUntilTheirTokenIsRemoved) {
    auto center = make<NSNotificationCenter>();
    auto sender = make<NSObject>();
    std::atomic<int> heardCount{0};
    Ref<NSObject> token = center->addObserverForName(NS("B"), sender, [&](NSNotification* n) {
        EXPECT_EQ(n->object().get(), sender.get());
        ++heardCount;
    });
    center->postNotificationName(NS("B"), sender);
    center->postNotificationName(NS("B"), make<NSObject>());
    center->postNotificationName(NS("Other"), sender);
    EXPECT_EQ(heardCount.load(), 1);

    // The center owns the token; posts and registrations may come from many threads at once.
    NSObject* raw = token.get();
    token = nullptr;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            NSAutoreleasePool pool;
            for (int i = 0; i < 200; ++i) {
                if (t % 2 == 0) {
                    center->postNotificationName(NS("B"), sender);
                } else {
                    center->removeObserver(
                        center->addObserverForName(NS("B"), nullptr, [](auto) {}));
                }
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(heardCount.load(), 401);
    center->removeObserver(raw);
    center->postNotificationName(NS("B"), sender);
    EXPECT_EQ(heardCount.load(), 401);
    EXPECT_EQ(center->registrationCount(), 0u);
}

}  // namespace
