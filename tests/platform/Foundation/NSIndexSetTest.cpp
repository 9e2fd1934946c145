#include <gtest/gtest.h>

#include "Foundation/NSIndexSet.h"
#include "support/FoundationTesting.h"

namespace {

std::vector<NSUInteger> v(std::initializer_list<NSUInteger> l) {
    return l;
}

TEST(NSIndexSet, RangesMergeAndSplit) {
    auto s = NSMutableIndexSet::indexSet();
    s->addIndexesInRange(NSMakeRange(5, 3));  // 5 6 7
    s->addIndex(1);
    s->addIndex(8);  // adjacent: joins 5-7
    s->addIndex(3);
    EXPECT_EQ(s->indexes(), v({1, 3, 5, 6, 7, 8}));
    s->addIndex(2);  // bridges 1 and 3
    EXPECT_EQ(text(s).substr(text(s).find('[')),
              "[number of indexes: 7 (in 2 ranges), indexes: (1-3 5-8)]");
    s->removeIndexesInRange(NSMakeRange(6, 2));  // splits 5-8
    EXPECT_EQ(s->indexes(), v({1, 2, 3, 5, 8}));
    EXPECT_EQ(s->count(), 5u);
    EXPECT_TRUE(s->containsIndexesInRange(NSMakeRange(1, 3)));
    EXPECT_FALSE(s->containsIndexesInRange(NSMakeRange(3, 3)));
    EXPECT_TRUE(s->intersectsIndexesInRange(NSMakeRange(6, 3)));
    EXPECT_FALSE(s->intersectsIndexesInRange(NSMakeRange(6, 2)));
}

TEST(NSIndexSet, Neighbours) {
    auto s = NSMutableIndexSet::indexSet();
    EXPECT_EQ(s->firstIndex(), NSUInteger(NSNotFound));
    EXPECT_EQ(s->lastIndex(), NSUInteger(NSNotFound));
    s->addIndex(4);
    s->addIndexesInRange(NSMakeRange(10, 2));
    EXPECT_EQ(s->firstIndex(), 4u);
    EXPECT_EQ(s->lastIndex(), 11u);
    EXPECT_EQ(s->indexGreaterThanIndex(4), 10u);
    EXPECT_EQ(s->indexGreaterThanIndex(11), NSUInteger(NSNotFound));
    EXPECT_EQ(s->indexLessThanIndex(10), 4u);
    EXPECT_EQ(s->indexLessThanIndex(4), NSUInteger(NSNotFound));
    EXPECT_EQ(s->indexLessThanOrEqualToIndex(11), 11u);
    EXPECT_EQ(s->indexGreaterThanOrEqualToIndex(5), 10u);
}

TEST(NSIndexSet, ShiftingLikeTableUpdates) {
    auto s = NSMutableIndexSet::indexSet();
    for (NSUInteger i : {1u, 3u, 4u, 7u})
        s->addIndex(i);
    s->shiftIndexesStartingAtIndex(3, 2);  // two rows inserted before row 3
    EXPECT_EQ(s->indexes(), v({1, 5, 6, 9}));
    s->shiftIndexesStartingAtIndex(5, -3);  // rows 2 to 4 deleted: 5 moves to 2
    EXPECT_EQ(s->indexes(), v({1, 2, 3, 6}));
    s->shiftIndexesStartingAtIndex(2, -2);  // deletes 0 and 1, moves the rest down
    EXPECT_EQ(s->indexes(), v({0, 1, 4}));
}

TEST(NSIndexSet, CopiesEqualityAndLimits) {
    auto s = NSMutableIndexSet::indexSetWithIndexesInRange(NSMakeRange(2, 2));
    auto frozen = s->copy();
    s->addIndex(9);
    EXPECT_EQ(frozen->count(), 2u);
    EXPECT_FALSE(frozen->isEqual(s));
    EXPECT_TRUE(frozen->isEqual(NSIndexSet::indexSetWithIndexesInRange(NSMakeRange(2, 2))));
    EXPECT_EQ(frozen->copy().get(), frozen.get());  // immutable copies are the same object
    EXPECT_EQ(
        raisedName([] { NSIndexSet::indexSetWithIndexesInRange(NSMakeRange(NSNotFound - 1, 5)); }),
        "NSRangeException");
    std::vector<NSUInteger> seen;
    s->enumerateIndexesUsingBlock([&](NSUInteger i, bool* stop) {
        seen.push_back(i);
        *stop = i == 3;
    });
    EXPECT_EQ(seen, v({2, 3}));
}

}  // namespace
