#include <gtest/gtest.h>

#include "support/FoundationTesting.h"

#include <algorithm>
#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

namespace {

// An element with a rank and a tag: compares by rank only, so stability is visible in the tags.
class ArrTestRanked : public NSObject {
    NS_OBJECT(ArrTestRanked, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("compare:", &ArrTestRanked::compareRank).method("poke", &ArrTestRanked::poke);
    }
    static Ref<ArrTestRanked> with(int rank, char tag) {
        auto r = make<ArrTestRanked>();
        r->rank = rank;
        r->tag = tag;
        return r;
    }
    NSComparisonResult compareRank(ArrTestRanked* other) {
        return rank < other->rank   ? NSOrderedAscending
               : rank > other->rank ? NSOrderedDescending
                                    : NSOrderedSame;
    }
    void poke() { ++pokes; }
    int rank = 0;
    char tag = '?';
    int pokes = 0;
};

std::string tags(NSArray* a) {
    std::string out;
    for (NSObject* o : *a)
        out += static_cast<ArrTestRanked*>(o)->tag;
    return out;
}

Ref<NSArray> abc() {
    return NSArray::arrayWithObjects({NS("a"), NS("b"), NS("c")});
}

TEST(NSArray, IndexErrorsCarryThePlatformNamesAndReasons) {
    auto a = abc();
    auto e = raisedBy([&] { a->objectAtIndex(5); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name()->utf8(), "NSRangeException");
    EXPECT_EQ(e->reason()->utf8(),
              "*** -[__NSArrayI objectAtIndex:]: index 5 beyond bounds [0 .. 2]");
    e = raisedBy([&] { NSArray::array()->objectAtIndex(0); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->reason()->utf8(),
              "*** -[__NSArrayI objectAtIndex:]: index 0 beyond bounds for empty array");
    EXPECT_EQ(text(a->objectAtIndex(2)), "c");

    auto m = NSMutableArray::arrayWithArray(a);
    e = raisedBy([&] { m->objectAtIndex(3); });
    ASSERT_TRUE(e);
    EXPECT_NE(e->reason()->utf8().find("__NSArrayM"), std::string::npos);
    EXPECT_EQ(raisedBy([&] { m->insertObject(NS("d"), 4); })->name()->utf8(), "NSRangeException");
    m->insertObject(NS("d"), 3);  // == count appends
    EXPECT_EQ(text(m->lastObject()), "d");
    EXPECT_EQ(raisedBy([&] { m->removeObjectAtIndex(4); })->name()->utf8(), "NSRangeException");
    EXPECT_EQ(raisedBy([&] { m->replaceObjectAtIndex(4, NS("x")); })->name()->utf8(),
              "NSRangeException");
    EXPECT_EQ(raisedBy([&] { m->exchangeObjectAtIndex(0, 4); })->name()->utf8(),
              "NSRangeException");
    EXPECT_EQ(m->count(), 4u);  // failed calls changed nothing

    auto empty = NSMutableArray::array();
    e = raisedBy([&] { empty->removeLastObject(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name()->utf8(), "NSRangeException");
    EXPECT_FALSE(empty->firstObject());
    EXPECT_FALSE(empty->lastObject());
}

TEST(NSArray, RangesAreCheckedWithoutWrapping) {
    auto a = abc();
    EXPECT_EQ(text(a->subarrayWithRange(NSMakeRange(1, 2))), "(\n    b,\n    c\n)");
    EXPECT_EQ(a->subarrayWithRange(NSMakeRange(3, 0))->count(), 0u);
    auto e = raisedBy([&] { a->subarrayWithRange(NSMakeRange(2, 2)); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name()->utf8(), "NSRangeException");
    // location + length overflows 32 bits: still out of bounds.
    EXPECT_TRUE(raisedBy([&] { a->subarrayWithRange(NSMakeRange(2, 0xFFFFFFFFu)); }));
    EXPECT_TRUE(raisedBy([&] { a->indexOfObject(NS("a"), NSMakeRange(1, 3)); }));
    EXPECT_EQ(a->indexOfObject(NS("a"), NSMakeRange(1, 2)), static_cast<NSUInteger>(NSNotFound));
    EXPECT_EQ(a->indexOfObject(NS("c"), NSMakeRange(1, 2)), 2u);

    auto m = NSMutableArray::arrayWithArray(a);
    EXPECT_TRUE(raisedBy([&] { m->removeObjectsInRange(NSMakeRange(1, 3)); }));
    m->removeObjectsInRange(NSMakeRange(0, 2));
    EXPECT_EQ(text(m), "(\n    c\n)");
}

TEST(NSArray, NilIsRefusedWhereThePlatformRefusesIt) {
    auto e = raisedBy([] { NSArray::arrayWithObjects({NS("a"), nullptr, NS("c")}); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name()->utf8(), "NSInvalidArgumentException");
    EXPECT_NE(e->reason()->utf8().find("objects[1]"), std::string::npos);

    auto m = NSMutableArray::array();
    e = raisedBy([&] { m->addObject(nullptr); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name()->utf8(), "NSInvalidArgumentException");
    EXPECT_EQ(e->reason()->utf8(), "*** -[__NSArrayM insertObject:atIndex:]: object cannot be nil");
    EXPECT_TRUE(raisedBy([&] { m->replaceObjectAtIndex(0, nullptr); }));
    EXPECT_TRUE(raisedBy([&] { abc()->arrayByAddingObject(nullptr); }));
    EXPECT_TRUE(raisedBy([] { NSArray::arrayWithVector({str("x"), nullptr}); }));
    EXPECT_EQ(m->count(), 0u);
}

TEST(NSArray, SearchUsesEqualityOrIdentity) {
    auto a1 = str("apple");
    auto a2 = str("apple");  // equal, not identical
    auto m = NSMutableArray::arrayWithObjects({a1, NS("pear"), a2, NS("fig"), a1});
    EXPECT_TRUE(m->containsObject(str("pear")));
    EXPECT_FALSE(m->containsObject(str("plum")));
    EXPECT_EQ(m->indexOfObject(a2), 0u);
    EXPECT_EQ(m->indexOfObjectIdenticalTo(a2), 2u);
    EXPECT_EQ(m->indexOfObjectIdenticalTo(str("apple")), static_cast<NSUInteger>(NSNotFound));

    m->removeObjectIdenticalTo(a1);  // both copies of a1, not a2
    EXPECT_EQ(text(m), "(\n    pear,\n    apple,\n    fig\n)");
    EXPECT_EQ(m->indexOfObjectIdenticalTo(a2), 1u);
    m->addObject(a1);
    m->removeObject(str("apple"));  // every equal one
    EXPECT_EQ(text(m), "(\n    pear,\n    fig\n)");
}

TEST(NSArray, BulkRemovalAndSelfReferentialArguments) {
    auto m = NSMutableArray::arrayWithObjects({NS("a"), NS("b"), NS("a"), NS("c")});
    m->removeObjectsInArray(NSArray::arrayWithObjects({str("a"), str("z")}));
    EXPECT_EQ(text(m), "(\n    b,\n    c\n)");
    m->addObjectsFromArray(m);  // reads the array before growing it
    EXPECT_EQ(m->componentsJoinedByString(NS(""))->utf8(), "bcbc");
    m->setArray(m);
    EXPECT_EQ(m->count(), 4u);
    m->removeObjectsInArray(m);
    EXPECT_EQ(m->count(), 0u);

    // Long lists stay fast: the removal is hashed, not a nested scan.
    std::vector<Ref<NSObject>> many, half;
    for (int i = 0; i < 20000; ++i) {
        many.push_back(NSString::stringWithFormat(NS("row%d"), i));
        if (i % 2) half.push_back(NSString::stringWithFormat(NS("row%d"), i));
    }
    auto big = NSMutableArray::arrayWithVector(many);
    big->removeObjectsInArray(NSArray::arrayWithVector(half));
    ASSERT_EQ(big->count(), 10000u);
    EXPECT_EQ(text(big->objectAtIndex(1)), "row2");
}

TEST(NSArray, CopiesFollowTheMutabilityRules) {
    auto a = abc();
    EXPECT_EQ(a->copy().get(), a.get());  // immutable: the same object
    auto m = a->mutableCopy();
    m->addObject(NS("d"));
    EXPECT_EQ(a->count(), 3u);
    auto frozen = m->copy();
    EXPECT_NE(frozen.get(), static_cast<NSArray*>(m.get()));
    EXPECT_FALSE(is<NSMutableArray>(frozen));
    m->removeAllObjects();
    EXPECT_EQ(frozen->count(), 4u);
    auto m2 = m->mutableCopy();
    EXPECT_NE(m2.get(), m.get());
    EXPECT_TRUE(is<NSMutableArray>(m2));
    // Through the NSCopying entry points as well.
    EXPECT_EQ(static_cast<NSObject*>(a.get())->copy().get(), static_cast<NSObject*>(a.get()));
}

TEST(NSArray, EqualityAndHash) {
    auto a = NSArray::arrayWithObjects({str("x"), str("y")});
    auto b = NSMutableArray::arrayWithObjects({str("x"), str("y")});
    EXPECT_TRUE(a->isEqual(b));
    EXPECT_TRUE(b->isEqual(a));
    EXPECT_EQ(a->hash(), 2u);
    EXPECT_EQ(a->hash(), b->hash());
    b->addObject(NS("z"));
    EXPECT_FALSE(a->isEqual(b));
    EXPECT_FALSE(a->isEqual(NS("x")));
    EXPECT_FALSE(a->isEqualToArray(nullptr));
    EXPECT_TRUE(NSArray::array()->isEqual(NSMutableArray::array()));
}

TEST(NSArray, MutationDuringIterationRaisesAtTheNextStep) {
    auto m = NSMutableArray::arrayWithObjects({NS("a"), NS("b"), NS("c")});
    int visited = 0;
    auto e = raisedBy([&] {
        for (NSObject* o : *m) {
            ++visited;
            if (o->isEqual(NS("a"))) m->addObject(NS("d"));
        }
    });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name()->utf8(), "NSGenericException");
    EXPECT_NE(e->reason()->utf8().find("*** Collection <__NSArrayM: 0x"), std::string::npos);
    EXPECT_NE(e->reason()->utf8().find("> was mutated while being enumerated."), std::string::npos);
    EXPECT_EQ(visited, 1);

    // Removing and leaving the loop at once is fine, as on the platform.
    for (NSObject* o : *m) {
        if (o->isEqual(NS("b"))) {
            m->removeObject(o);
            break;
        }
    }
    EXPECT_EQ(text(m), "(\n    a,\n    c,\n    d\n)");

    EXPECT_TRUE(raisedBy([&] {
        m->enumerateObjectsUsingBlock([&](NSObject*, NSUInteger, bool*) { m->removeLastObject(); });
    }));
    auto en = m->objectEnumerator();
    en->nextObject();
    m->addObject(NS("e"));
    EXPECT_TRUE(raisedBy([&] { en->nextObject(); }));
}

TEST(NSArray, BlockAndEnumeratorWalks) {
    auto a = NSArray::arrayWithObjects({NS("a"), NS("b"), NS("c"), NS("d")});
    std::string seen;
    std::vector<NSUInteger> idx;
    a->enumerateObjectsWithOptions(NSEnumerationReverse,
                                   [&](NSObject* o, NSUInteger i, bool* stop) {
                                       seen += text(o);
                                       idx.push_back(i);
                                       if (i == 1) *stop = true;
                                   });
    EXPECT_EQ(seen, "dcb");
    EXPECT_EQ(idx, (std::vector<NSUInteger>{3, 2, 1}));

    auto rev = a->reverseObjectEnumerator();
    EXPECT_EQ(text(rev->nextObject()), "d");
    EXPECT_EQ(text(rev->allObjects()), "(\n    c,\n    b,\n    a\n)");
    EXPECT_FALSE(rev->nextObject());
    std::string fwd;
    for (NSObject* o : a->objectEnumerator())
        fwd += text(o);
    EXPECT_EQ(fwd, "abcd");
    // A temporary collection lives through the loop.
    std::string keys;
    for (NSObject* k :
         NSDictionary::dictionaryWithPairs({{NS("k1"), NS("v")}, {NS("k2"), NS("v")}})->allKeys()) {
        keys += text(k);
    }
    EXPECT_EQ(keys, "k1k2");
}

TEST(NSArray, SortsAreStable) {
    auto a = NSArray::arrayWithObjects({ArrTestRanked::with(2, 'a'), ArrTestRanked::with(1, 'b'),
                                        ArrTestRanked::with(2, 'c'), ArrTestRanked::with(0, 'd'),
                                        ArrTestRanked::with(1, 'e'), ArrTestRanked::with(2, 'f')});
    EXPECT_EQ(tags(a->sortedArrayUsingSelector(Selector::named("compare:"))), "dbeacf");
    EXPECT_EQ(
        tags(a->sortedArrayUsingComparator([](NSObject* x, NSObject* y) {
            return static_cast<ArrTestRanked*>(y)->compareRank(static_cast<ArrTestRanked*>(x));
        })),
        "acfbed");
    int calls = 0;
    auto byRank = [](NSObject* x, NSObject* y, void* ctx) -> NSInteger {
        ++*static_cast<int*>(ctx);
        return static_cast<ArrTestRanked*>(x)->rank - static_cast<ArrTestRanked*>(y)->rank;
    };
    EXPECT_EQ(tags(a->sortedArrayUsingFunction(byRank, &calls)), "dbeacf");
    EXPECT_GT(calls, 0);
    EXPECT_EQ(tags(a), "abcdef");  // the receiver is untouched

    auto m = a->mutableCopy();
    m->sortUsingSelector(Selector::named("compare:"));
    EXPECT_EQ(tags(m), "dbeacf");

    // A comparator that contradicts itself yields some order of the same elements.
    auto big = NSMutableArray::array();
    for (int i = 0; i < 300; ++i)
        big->addObject(ArrTestRanked::with(i, 'x'));
    unsigned seed = 1;
    big->sortUsingComparator([&](NSObject*, NSObject*) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<NSComparisonResult>(static_cast<int>((seed >> 16) % 3) - 1);
    });
    ASSERT_EQ(big->count(), 300u);
    std::vector<bool> present(300);
    for (NSObject* o : *big)
        present[static_cast<ArrTestRanked*>(o)->rank] = true;
    EXPECT_EQ(std::count(present.begin(), present.end(), true), 300);
}

TEST(NSArray, SortsStringsWithCompareByName) {
    if (!NSString::staticClass()->instanceMethod(Selector::named("compare:"))) {
        GTEST_SKIP() << "strings do not answer compare: by name yet";
    }
    auto a = NSArray::arrayWithObjects({NS("pear"), NS("Apple"), NS("fig"), NS("apple")});
    EXPECT_EQ(a->sortedArrayUsingSelector(Selector::named("compare:"))
                  ->componentsJoinedByString(NS(","))
                  ->utf8(),
              "Apple,apple,fig,pear");
}

TEST(NSArray, JoinsAndDescribes) {
    auto a = NSArray::arrayWithObjects({NS("x"), NSNumber::numberWithInt(3), NSNull::null()});
    EXPECT_EQ(a->componentsJoinedByString(NS(", "))->utf8(), "x, 3, <null>");
    EXPECT_EQ(NSArray::array()->componentsJoinedByString(NS("-"))->utf8(), "");
    EXPECT_EQ(text(NSArray::array()), "(\n)");
    auto nested = NSArray::arrayWithObjects(
        {NS("plain"), NS("two words"), NSArray::arrayWithObjects({NS("in"), NSArray::array()}),
         NSDictionary::dictionaryWithObject(NS("v"), NS("k"))});
    EXPECT_EQ(text(nested),
              "(\n"
              "    plain,\n"
              "    \"two words\",\n"
              "    (\n"
              "        in,\n"
              "        (\n"
              "        )\n"
              "    ),\n"
              "    {\n"
              "        k = v;\n"
              "    }\n"
              ")");
}

TEST(NSArray, StringElementsAreQuotedUnlessPlainWords) {
    auto a = NSArray::arrayWithObjects(
        {NS("abc123"), NS(""), NS("a-b"), NS("a_b"), NS("say \"hi\"\\"), NS("l1\nl2\tx"),
         NSString::fromUTF8("caf\xC3\xA9"), NSString::fromUTF8("\xF0\x9F\x98\x80")});
    EXPECT_EQ(text(a),
              "(\n"
              "    abc123,\n"
              "    \"\",\n"
              "    \"a-b\",\n"
              "    \"a_b\",\n"
              "    \"say \\\"hi\\\"\\\\\",\n"
              "    \"l1\\nl2\\tx\",\n"
              "    \"caf\\U00e9\",\n"
              "    \"\\Ud83d\\Ude00\"\n"
              ")");
}

TEST(NSArray, KeyValueCodingMapsOverElements) {
    auto rows = NSArray::arrayWithObjects(
        {NSDictionary::dictionaryWithObject(NS("Ann"), NS("name")), NSDictionary::dictionary(),
         NSDictionary::dictionaryWithObject(NS("Bo"), NS("name"))});
    auto names = as<NSArray>(rows->valueForKey(NS("name")));
    ASSERT_TRUE(names);
    ASSERT_EQ(names->count(), 3u);
    EXPECT_EQ(text(names->objectAtIndex(0)), "Ann");
    EXPECT_EQ(names->objectAtIndex(1).get(), static_cast<NSObject*>(NSNull::null().get()));
    EXPECT_EQ(text(names->objectAtIndex(2)), "Bo");
    auto count = as<NSNumber>(rows->valueForKey(NS("@count")));
    ASSERT_TRUE(count);
    EXPECT_EQ(count->intValue(), 3);
}

TEST(NSArray, MethodsAreReachableByName) {
    auto m = NSMutableArray::array();
    m->performSelector(Selector::named("addObject:"), NS("a"));
    Value idx[] = {Value::ofUnsigned(0)};
    EXPECT_EQ(text(invokeMethod(m, Selector::named("objectAtIndex:"), idx).object()), "a");
    EXPECT_EQ(invokeMethod(m, Selector::named("count"), {}).toLongLong(), 1);
    EXPECT_TRUE(m->respondsToSelector(Selector::named("containsObject:")));
    EXPECT_FALSE(NSArray::array()->respondsToSelector(Selector::named("addObject:")));

    auto items =
        NSArray::arrayWithObjects({ArrTestRanked::with(1, 'a'), ArrTestRanked::with(2, 'b')});
    items->makeObjectsPerformSelector(Selector::named("poke"));
    items->makeObjectsPerformSelector(Selector::named("poke"));
    for (NSObject* o : *items)
        EXPECT_EQ(static_cast<ArrTestRanked*>(o)->pokes, 2);
    auto lists = NSArray::arrayWithObjects({NSMutableArray::array(), NSMutableArray::array()});
    lists->makeObjectsPerformSelector(Selector::named("addObject:"), NS("z"));
    for (NSObject* o : *lists)
        EXPECT_EQ(text(o), "(\n    z\n)");
}

TEST(NSArray, ExchangeReplaceAndDerivedArrays) {
    auto m = NSMutableArray::arrayWithObjects({NS("a"), NS("b"), NS("c")});
    m->exchangeObjectAtIndex(0, 2);
    m->replaceObjectAtIndex(1, NS("B"));
    EXPECT_EQ(m->componentsJoinedByString(NS(""))->utf8(), "cBa");
    auto more = m->arrayByAddingObjectsFromArray(abc())->arrayByAddingObject(NS("!"));
    EXPECT_EQ(more->componentsJoinedByString(NS(""))->utf8(), "cBaabc!");
    EXPECT_FALSE(is<NSMutableArray>(more));
    EXPECT_EQ(text(m->firstObject()), "c");
    m->removeLastObject();
    EXPECT_EQ(text(m->lastObject()), "B");
}

}  // namespace
