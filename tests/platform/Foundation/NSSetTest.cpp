#include <gtest/gtest.h>

#include "support/FoundationTesting.h"

#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

namespace {

std::string joined(NSSet* s) {
    return s->allObjects()->componentsJoinedByString(NS(","))->utf8();
}

TEST(NSSet, HoldsDistinctElementsInFirstInsertionOrder) {
    auto first = NSString::fromUTF8("b");
    auto s = NSMutableSet::setWithObjects({first, NS("a"), NSString::fromUTF8("b"), NS("c")});
    EXPECT_EQ(s->count(), 3u);
    EXPECT_EQ(joined(s), "b,a,c");
    // The element kept is the first one added; member: hands it back.
    EXPECT_EQ(s->member(NSString::fromUTF8("b")).get(), static_cast<NSObject*>(first.get()));
    EXPECT_EQ(text(s->anyObject()), "b");
    EXPECT_FALSE(s->member(NS("z")));
    s->removeObject(NS("b"));
    s->addObject(NS("b"));
    EXPECT_EQ(joined(s), "a,c,b");
    EXPECT_FALSE(NSSet::set()->anyObject());
    EXPECT_EQ(NSSet::setWithArray(NSArray::arrayWithObjects({NS("x"), NS("x")}))->count(), 1u);
}

TEST(NSSet, NilIsRefused) {
    auto e = raisedBy([] { NSSet::setWithObjects({NS("a"), nullptr}); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name()->utf8(), "NSInvalidArgumentException");
    auto s = NSMutableSet::set();
    EXPECT_TRUE(raisedBy([&] { s->addObject(nullptr); }));
    EXPECT_TRUE(raisedBy([&] { s->setByAddingObject(nullptr); }));
    EXPECT_EQ(s->count(), 0u);
}

TEST(NSSet, SetAlgebra) {
    auto abc = NSSet::setWithObjects({NS("a"), NS("b"), NS("c")});
    auto bc = NSSet::setWithObjects({NS("c"), NS("b")});
    EXPECT_TRUE(bc->isSubsetOfSet(abc));
    EXPECT_FALSE(abc->isSubsetOfSet(bc));
    EXPECT_TRUE(NSSet::set()->isSubsetOfSet(bc));
    EXPECT_TRUE(abc->intersectsSet(bc));
    EXPECT_FALSE(abc->intersectsSet(NSSet::setWithObject(NS("z"))));
    EXPECT_TRUE(bc->isEqual(NSMutableSet::setWithObjects({NS("b"), NS("c")})));
    EXPECT_FALSE(bc->isEqual(abc));
    EXPECT_EQ(abc->hash(), 3u);

    auto m = abc->mutableCopy();
    m->minusSet(bc);
    EXPECT_EQ(joined(m), "a");
    m->unionSet(NSSet::setWithObjects({NS("d"), NS("a"), NS("e")}));
    EXPECT_EQ(joined(m), "a,d,e");
    m->intersectSet(NSSet::setWithObjects({NS("e"), NS("a")}));
    EXPECT_EQ(joined(m), "a,e");
    m->setSet(bc);
    EXPECT_EQ(joined(m), "c,b");
    m->minusSet(m);
    EXPECT_EQ(m->count(), 0u);
    EXPECT_EQ(joined(abc->setByAddingObject(NS("d"))), "a,b,c,d");
}

TEST(NSSet, NumbersOfDifferentKindsAreOneElement) {
    auto s = NSMutableSet::set();
    s->addObject(NSNumber::numberWithInt(2));
    s->addObject(NSNumber::numberWithDouble(2.0));
    EXPECT_EQ(s->count(), 1u);
    EXPECT_TRUE(s->containsObject(NSNumber::numberWithLongLong(2)));
}

TEST(NSSet, CopiesFollowTheMutabilityRules) {
    auto s = NSSet::setWithObjects({NS("a")});
    EXPECT_EQ(s->copy().get(), s.get());
    auto m = s->mutableCopy();
    m->addObject(NS("b"));
    EXPECT_EQ(s->count(), 1u);
    auto frozen = m->copy();
    EXPECT_FALSE(is<NSMutableSet>(frozen));
    m->removeAllObjects();
    EXPECT_EQ(joined(frozen), "a,b");
}

TEST(NSSet, MutationDuringEnumerationRaises) {
    auto m = NSMutableSet::setWithObjects({NS("a"), NS("b")});
    auto e = raisedBy([&] {
        for (NSObject* o : *m) {
            if (o->isEqual(NS("a"))) m->addObject(NS("c"));
        }
    });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name()->utf8(), "NSGenericException");
    EXPECT_NE(e->reason()->utf8().find("<__NSSetM: 0x"), std::string::npos);
    // Adding an element already present changes nothing, so it is no mutation.
    for (NSObject* o : *m)
        m->addObject(o);
    EXPECT_EQ(m->count(), 3u);
    auto en = m->objectEnumerator();
    EXPECT_EQ(text(en->nextObject()), "a");
    m->removeObject(NS("b"));
    EXPECT_TRUE(raisedBy([&] { en->nextObject(); }));
}

TEST(NSSet, Describes) {
    EXPECT_EQ(text(NSSet::set()), "{(\n)}");
    EXPECT_EQ(text(NSSet::setWithObjects({NS("a"), NS("b c")})), "{(\n    a,\n    \"b c\"\n)}");
    auto nested = NSArray::arrayWithObjects({NSSet::setWithObject(NS("x"))});
    EXPECT_EQ(text(nested), "(\n    {(\n        x\n    )}\n)");
}

TEST(NSSet, ReachableByName) {
    auto s = NSMutableSet::set();
    s->performSelector(Selector::named("addObject:"), NS("k"));
    Value arg[] = {Value::ofObject(NS("k"))};
    EXPECT_TRUE(invokeMethod(s, Selector::named("containsObject:"), arg).toBool());
    EXPECT_EQ(invokeMethod(s, Selector::named("count"), {}).toLongLong(), 1);
}

}  // namespace
