#include <gtest/gtest.h>

#include <string>

#include "Foundation/NSIndexPath.h"
#include "Foundation/NSString.h"

namespace {

Ref<NSIndexPath> path(std::initializer_list<NSUInteger> ix) {
    return NSIndexPath::indexPathWithIndexes(ix.begin(), static_cast<NSUInteger>(ix.size()));
}

TEST(NSIndexPath, TableRowsAreSectionThenRow) {
    auto p = NSIndexPath::indexPathForRow(3, 1);
    EXPECT_EQ(p->length(), 2u);
    EXPECT_EQ(p->section(), 1);
    EXPECT_EQ(p->row(), 3);
    EXPECT_EQ(p->indexAtPosition(0), 1u);
    EXPECT_EQ(p->indexAtPosition(2), static_cast<NSUInteger>(NSNotFound));
    EXPECT_TRUE(p->isEqual(path({1, 3})));
    EXPECT_EQ(NSIndexPath::indexPathForItem(4, 0)->item(), 4);
    std::string s = p->description()->utf8();
    const std::string head = "<NSIndexPath 0x", tail = "> 2 indexes [1, 3]";
    ASSERT_GT(s.size(), head.size() + tail.size()) << s;
    EXPECT_EQ(s.substr(0, head.size()), head) << s;
    EXPECT_EQ(s.substr(s.size() - tail.size()), tail) << s;
    std::string address = s.substr(head.size(), s.size() - head.size() - tail.size());
    EXPECT_EQ(address.find_first_not_of("0123456789abcdef"), std::string::npos) << s;
}

TEST(NSIndexPath, BuildingAndTakingApart) {
    auto p =
        NSIndexPath::indexPathWithIndex(7)->indexPathByAddingIndex(2)->indexPathByAddingIndex(9);
    ASSERT_EQ(p->length(), 3u);
    NSUInteger out[3] = {};
    p->getIndexes(out);
    EXPECT_EQ(out[0], 7u);
    EXPECT_EQ(out[2], 9u);
    auto shorter = p->indexPathByRemovingLastIndex();
    EXPECT_TRUE(shorter->isEqual(path({7, 2})));
    EXPECT_EQ(p->length(), 3u);  // the original is unchanged
    auto empty = NSIndexPath::indexPathWithIndex(1)->indexPathByRemovingLastIndex();
    EXPECT_EQ(empty->length(), 0u);
    EXPECT_EQ(empty->indexPathByRemovingLastIndex()->length(), 0u);
    EXPECT_EQ(empty->indexAtPosition(0), static_cast<NSUInteger>(NSNotFound));
}

TEST(NSIndexPath, OrdersIndexByIndexWithPrefixesFirst) {
    EXPECT_EQ(path({0, 5})->compare(path({1, 0})), NSOrderedAscending);
    EXPECT_EQ(path({1, 2})->compare(path({1, 10})), NSOrderedAscending);
    EXPECT_EQ(path({1})->compare(path({1, 0})), NSOrderedAscending);
    EXPECT_EQ(path({1, 0})->compare(path({1})), NSOrderedDescending);
    EXPECT_EQ(path({2, 3})->compare(path({2, 3})), NSOrderedSame);
}

TEST(NSIndexPath, EqualPathsHashAlike) {
    EXPECT_EQ(path({1, 3})->hash(), NSIndexPath::indexPathForRow(3, 1)->hash());
    EXPECT_FALSE(path({1, 3})->isEqual(path({3, 1})));
    EXPECT_NE(path({1, 3})->hash(), path({3, 1})->hash());
    EXPECT_FALSE(path({1})->isEqual(path({1, 0})));
    auto p = path({4});
    EXPECT_EQ(p->copy().get(), p.get());
}

}  // namespace
