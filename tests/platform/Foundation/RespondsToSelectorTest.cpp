// respondsToSelector: answers from the class's registration unless a class answers for itself,
// and every caller that probes (respondsTo, NSObject's own callers) hears the override.
#include <gtest/gtest.h>

#include <string>

#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

namespace {

class Prober {
public:
    virtual ~Prober() = default;
    virtual double latitude() { return 0; }
};

class Plain : public NSObject, public Prober {
    NS_OBJECT(Plain, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("latitude", &Plain::latitude);
        c.method("sex", &Plain::sex);
    }
    double latitude() override { return 52.37; }
    Ref<NSString> sex() { return NS("F"); }
};

// Answers some probes itself, according to what its host can do, and leaves the rest to the
// runtime.
class Answering : public Plain {
    NS_OBJECT(Answering, Plain)
    bool respondsToSelector(SEL sel) override {
        if (sel == Selector::named("latitude")) return hostKnowsLocation;
        if (sel == Selector::named("householdIncome")) return false;
        return super::respondsToSelector(sel);
    }
    bool hostKnowsLocation = false;
};

TEST(RespondsToSelector, TheRuntimeAnswersByDefault) {
    auto p = make<Plain>();
    EXPECT_TRUE(p->respondsToSelector(Selector::named("latitude")));
    EXPECT_FALSE(p->respondsToSelector(Selector::named("longitude")));
    EXPECT_TRUE(respondsTo(static_cast<Prober*>(p.get()), Selector::named("sex")));
}

TEST(RespondsToSelector, ASubclassAnswersForItself) {
    auto a = make<Answering>();
    NSObject* asObject = a.get();
    Prober* asProtocol = a.get();
    EXPECT_FALSE(asObject->respondsToSelector(Selector::named("latitude")));
    EXPECT_FALSE(respondsTo(asProtocol, Selector::named("latitude")));
    a->hostKnowsLocation = true;
    EXPECT_TRUE(respondsTo(asProtocol, Selector::named("latitude")));
    // Everything it does not decide is the runtime's answer.
    EXPECT_TRUE(respondsTo(asObject, Selector::named("sex")));
    EXPECT_FALSE(respondsTo(asObject, Selector::named("householdIncome")));
    EXPECT_FALSE(respondsTo(asObject, Selector::named("zipCode")));
    EXPECT_FALSE(respondsTo(static_cast<Prober*>(nullptr), Selector::named("sex")));
}

}  // namespace
