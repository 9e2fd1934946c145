#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Foundation/NSException.h"
#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

namespace {

// Records the order in which the two phases of destruction run.
std::vector<std::string>& trace() {
    static std::vector<std::string> t;
    return t;
}

class Base : public NSObject {
    NS_OBJECT(Base, NSObject)
    void dealloc() override {
        trace().push_back("Base::dealloc");
        NSObject::dealloc();
    }
    ~Base() override { trace().push_back("~Base"); }
    int value = 0;
};

class Derived : public Base {
    NS_OBJECT(Derived, Base)
    void dealloc() override {
        // The derived part is still whole here, and virtual calls reach it.
        trace().push_back("Derived::dealloc " + std::to_string(value));
        Base::dealloc();
    }
    ~Derived() override { trace().push_back("~Derived"); }
};

// A protocol: an abstract interface implemented beside NSObject.
class Listener {
public:
    virtual ~Listener() = default;
    virtual int heard() { return 0; }  // optional, with a default body
};

class Node : public NSObject, public Listener {
    NS_OBJECT(Node, NSObject)
    Ref<Node> next;     // owned
    Weak<Node> parent;  // back-pointer, not retained
    Weak<Listener> watcher;
    int heard() override { return 7; }
};

class Failing : public NSObject {
    NS_OBJECT(Failing, NSObject)
    bool initWithFlag(bool ok) {
        flag = ok;
        return ok;
    }
    bool flag = false;
};

TEST(ObjectModel, CountsFollowRefsAndDeallocRunsDerivedFirst) {
    trace().clear();
    {
        Ref<Derived> d = make<Derived>();
        d->value = 42;
        EXPECT_EQ(d->retainCount(), 1u);
        Ref<Base> b = d;
        EXPECT_EQ(d->retainCount(), 2u);
        Ref<Base> moved = std::move(b);
        EXPECT_EQ(b.get(), nullptr);
        EXPECT_EQ(d->retainCount(), 2u);
        moved = nullptr;
        EXPECT_EQ(d->retainCount(), 1u);
        EXPECT_TRUE(trace().empty());
    }
    std::vector<std::string> want = {"Derived::dealloc 42", "Base::dealloc", "~Derived", "~Base"};
    EXPECT_EQ(trace(), want);
}

TEST(ObjectModel, WeakZeroesWhenDeallocBegins) {
    Weak<Base> w;
    {
        auto obj = make<Base>();
        w = obj;
        EXPECT_TRUE(w.alive());
        EXPECT_EQ(w.lock().get(), obj.get());
        EXPECT_TRUE(w.is(obj));
    }
    EXPECT_FALSE(w.alive());
    EXPECT_EQ(w.lock(), nullptr);
    EXPECT_TRUE(w.is(nullptr));

    class Watcher : public NSObject {
    public:
        Weak<NSObject> self;
        int* lockedInDealloc = nullptr;
        void dealloc() override {
            // Our own weak references already read nil while dealloc() runs.
            *lockedInDealloc = self.lock() ? 1 : 0;
            NSObject::dealloc();
        }
    };
    int locked = -1;
    auto watcher = make<Watcher>();
    watcher->self = watcher.get();
    watcher->lockedInDealloc = &locked;
    Weak<NSObject> outside = watcher->self;
    EXPECT_TRUE(outside.alive());
    watcher = nullptr;
    EXPECT_EQ(locked, 0);
    EXPECT_FALSE(outside.alive());
}

TEST(ObjectModel, WeakBackPointersBreakCycles) {
    Weak<Node> probe;
    {
        auto parent = make<Node>();
        auto child = make<Node>();
        parent->next = child;
        child->parent = parent;
        probe = child;
        EXPECT_EQ(child->retainCount(), 2u);
        EXPECT_EQ(parent->retainCount(), 1u);  // the child's back-pointer does not retain
    }
    EXPECT_FALSE(probe.alive());
}

TEST(ObjectModel, ProtocolReferencesReachTheObject) {
    auto node = make<Node>();
    Listener* asListener = node.get();
    {
        Ref<Listener> held(asListener);
        EXPECT_EQ(node->retainCount(), 2u);
        EXPECT_EQ(held.object(), static_cast<NSObject*>(node.get()));
        EXPECT_EQ(held->heard(), 7);
    }
    EXPECT_EQ(node->retainCount(), 1u);

    auto other = make<Node>();
    other->watcher = asListener;
    EXPECT_EQ(other->watcher.lock()->heard(), 7);
    node = nullptr;
    EXPECT_EQ(other->watcher.lock(), nullptr);
}

TEST(ObjectModel, CopiedWeakReferencesShareZeroing) {
    Weak<Base> a, c;
    {
        auto obj = make<Base>();
        a = obj.get();
        Weak<Base> b = a;
        c = b;
    }
    EXPECT_FALSE(a.alive());
    EXPECT_FALSE(c.alive());
}

TEST(ObjectModel, InitialiserFailureYieldsNil) {
    EXPECT_EQ(make<Failing>(&Failing::initWithFlag, false), nullptr);
    auto ok = make<Failing>(&Failing::initWithFlag, true);
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->flag);
}

TEST(ObjectModel, ReleasePoolKeepsObjectsUntilDrained) {
    Weak<Base> w;
    {
        NSAutoreleasePool pool;
        size_t before = NSAutoreleasePool::pendingCount();
        {
            auto obj = make<Base>();
            obj->autorelease();
            w = obj;
        }
        EXPECT_TRUE(w.alive());
        EXPECT_EQ(NSAutoreleasePool::pendingCount(), before + 1);
        pool.drain();
        EXPECT_FALSE(w.alive());
        // Objects autoreleased while an inner pool is in place belong to it alone.
        auto outer = make<Base>();
        outer->autorelease();
        Weak<Base> wo = outer;
        outer = nullptr;
        {
            NSAutoreleasePool inner;
            make<Base>()->autorelease();
        }
        EXPECT_TRUE(wo.alive());
    }
}

TEST(ObjectModel, ImmortalObjectsIgnoreCounting) {
    NSString* lit = NS("immortal");
    EXPECT_EQ(lit->retainCount(), NSUIntegerMax);
    {
        Ref<NSString> a(lit), b(lit);
        lit->release();
    }
    EXPECT_EQ(lit->retainCount(), NSUIntegerMax);
    // Literals of the same text are one object wherever they are written.
    EXPECT_EQ(lit, NS("immortal"));
    EXPECT_NE(lit, NS("mortal"));
}

// The plain counting a reader uses for objects nobody else can reach yet keeps the same count
// as the atomic one, frees on the last release and leaves immortal objects alone.
TEST(ObjectModel, UnsharedCountingKeepsTheSameCount) {
    trace().clear();
    Derived* raw = nullptr;
    {
        auto d = make<Derived>();
        d->value = 7;
        raw = d.get();
        {
            Ref<Derived> shared = Ref<Derived>::unshared(raw);
            EXPECT_EQ(shared.get(), raw);
            EXPECT_EQ(raw->retainCount(), 2u);
            objc_detail::retainUnshared(raw);
            EXPECT_EQ(raw->retainCount(), 3u);
            objc_detail::releaseUnshared(raw);
            EXPECT_EQ(raw->retainCount(), 2u);
        }
        EXPECT_EQ(raw->retainCount(), 1u);
        objc_detail::retainUnshared(raw);
    }
    EXPECT_TRUE(trace().empty());
    EXPECT_EQ(raw->retainCount(), 1u);
    objc_detail::releaseUnshared(raw);
    std::vector<std::string> want = {"Derived::dealloc 7", "Base::dealloc", "~Derived", "~Base"};
    EXPECT_EQ(trace(), want);

    NSString* lit = NS("immortal");
    objc_detail::retainUnshared(lit);
    objc_detail::releaseUnshared(lit);
    objc_detail::releaseUnshared(lit);
    EXPECT_EQ(lit->retainCount(), NSUIntegerMax);
    EXPECT_EQ(Ref<NSString>::unshared(nullptr).get(), nullptr);
}

TEST(ObjectModel, RetainDuringDeallocDoesNotFreeTwice) {
    class Reviver : public NSObject {
    public:
        Weak<NSObject>* seen = nullptr;
        void dealloc() override {
            // Passing ourselves around during dealloc retains and releases us again.
            Ref<NSObject> again(this);
            *seen = this;
            NSObject::dealloc();
        }
    };
    Weak<NSObject> seen;
    {
        auto r = make<Reviver>();
        r->seen = &seen;
    }
    EXPECT_FALSE(seen.alive());
}

TEST(ObjectModel, CountsAreSafeAcrossThreads) {
    auto obj = make<Base>();
    Weak<Base> weak = obj;
    std::atomic<int> locked{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                Ref<Base> extra = obj;
                if (weak.lock()) locked.fetch_add(1, std::memory_order_relaxed);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(obj->retainCount(), 1u);
    EXPECT_EQ(locked.load(), 80000);

    // Weak reads racing the last release see either the object or nil, never a freed one.
    for (int round = 0; round < 200; ++round) {
        auto victim = make<Base>();
        Weak<Base> w = victim;
        std::thread reader([w] {
            for (int i = 0; i < 50; ++i) {
                if (auto r = w.lock()) {
                    EXPECT_EQ(r->value, 0);
                }
            }
        });
        victim = nullptr;
        reader.join();
        EXPECT_FALSE(w.alive());
    }
}

TEST(ObjectModel, ChecksAndCastsFollowTheClassChain) {
    auto d = make<Derived>();
    NSObject* o = d.get();
    EXPECT_TRUE(is<Base>(o));
    EXPECT_FALSE(is<Node>(o));
    EXPECT_EQ(as<Base>(o).get(), d.get());
    EXPECT_EQ(as<NSString>(o), nullptr);
    EXPECT_TRUE(o->isKindOfClass(Base::staticClass()));
    EXPECT_TRUE(o->isKindOfClass(NSObject::staticClass()));
    EXPECT_FALSE(o->isKindOfClass(NSString::staticClass()));
    EXPECT_TRUE(o->isMemberOfClass(Derived::staticClass()));
    EXPECT_FALSE(o->isMemberOfClass(Base::staticClass()));
    EXPECT_EQ(Derived::staticClass()->superclass(), Base::staticClass());
}

TEST(ObjectModel, DefaultIdentityAndDescription) {
    auto a = make<Base>();
    auto b = make<Base>();
    EXPECT_TRUE(a->isEqual(a));
    EXPECT_FALSE(a->isEqual(b));
    EXPECT_TRUE(objectsEqual(nullptr, nullptr));
    EXPECT_FALSE(objectsEqual(a, nullptr));
    std::string desc = a->description()->utf8();
    EXPECT_EQ(desc.rfind("<Base: 0x", 0), 0u) << desc;
    EXPECT_EQ(desc.back(), '>');
    // A class that did not declare itself still prints its own name.
    class Undeclared : public Base {};
    auto u = make<Undeclared>();
    EXPECT_NE(u->className()->utf8().find("Undeclared"), std::string::npos);
    EXPECT_THROW(a->copy(), ExceptionRaised);
}

TEST(ObjectModel, RangeHelpers) {
    EXPECT_EQ(NSMaxRange(NSMakeRange(3, 4)), 7u);
    EXPECT_TRUE(NSLocationInRange(3, NSMakeRange(3, 4)));
    EXPECT_FALSE(NSLocationInRange(7, NSMakeRange(3, 4)));
    EXPECT_FALSE(NSLocationInRange(0, NSMakeRange(0, 0)));
    EXPECT_EQ(NSIntersectionRange(NSMakeRange(0, 5), NSMakeRange(3, 5)), NSMakeRange(3, 2));
    EXPECT_EQ(NSIntersectionRange(NSMakeRange(0, 2), NSMakeRange(5, 5)), NSMakeRange(0, 0));
    EXPECT_EQ(NSUnionRange(NSMakeRange(0, 2), NSMakeRange(5, 5)), NSMakeRange(0, 10));
}

}  // namespace
