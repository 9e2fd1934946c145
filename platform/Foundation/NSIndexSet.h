// Sets of unsigned indexes, kept as sorted, disjoint ranges (table sections, selections).
#pragma once

#include <functional>
#include <vector>

#include "Foundation/NSObject.h"

class NSMutableIndexSet;

class NSIndexSet : public NSObject {
    NS_OBJECT(NSIndexSet, NSObject)
    static Ref<NSIndexSet> indexSet();
    static Ref<NSIndexSet> indexSetWithIndex(NSUInteger index);
    static Ref<NSIndexSet> indexSetWithIndexesInRange(NSRange range);
    bool initWithIndexSet(NSIndexSet* other);

    NSUInteger count();
    bool containsIndex(NSUInteger index);
    bool containsIndexesInRange(NSRange range);
    bool containsIndexes(NSIndexSet* other);
    bool intersectsIndexesInRange(NSRange range);
    // NSNotFound when there is none.
    NSUInteger firstIndex();
    NSUInteger lastIndex();
    NSUInteger indexGreaterThanIndex(NSUInteger index);
    NSUInteger indexLessThanIndex(NSUInteger index);
    NSUInteger indexGreaterThanOrEqualToIndex(NSUInteger index);
    NSUInteger indexLessThanOrEqualToIndex(NSUInteger index);
    // In ascending order; *stop ends the walk.
    void enumerateIndexesUsingBlock(const std::function<void(NSUInteger idx, bool* stop)>& block);
    // The indexes in ascending order (C++ convenience).
    std::vector<NSUInteger> indexes();

    bool isEqualToIndexSet(NSIndexSet* other);
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override;
    Ref<NSObject> mutableCopyWithZone() override;
    Ref<NSIndexSet> copy();
    Ref<NSMutableIndexSet> mutableCopy();

protected:
    static std::vector<NSRange> rangesOf(NSIndexSet* s) { return s->ranges_; }
    void addRange(NSRange range);
    void removeRange(NSRange range);
    std::vector<NSRange> ranges_;  // sorted, disjoint, not adjacent, none empty
};

class NSMutableIndexSet : public NSIndexSet {
    NS_OBJECT(NSMutableIndexSet, NSIndexSet)
    static Ref<NSMutableIndexSet> indexSet();
    static Ref<NSMutableIndexSet> indexSetWithIndex(NSUInteger index);
    static Ref<NSMutableIndexSet> indexSetWithIndexesInRange(NSRange range);
    void addIndex(NSUInteger index) { addRange(NSMakeRange(index, 1)); }
    void addIndexesInRange(NSRange range) { addRange(range); }
    void addIndexes(NSIndexSet* other);
    void removeIndex(NSUInteger index) { removeRange(NSMakeRange(index, 1)); }
    void removeIndexesInRange(NSRange range) { removeRange(range); }
    void removeIndexes(NSIndexSet* other);
    void removeAllIndexes() { ranges_.clear(); }
    // Moves every index at or above `index` by `delta` (negative deltas drop what would go
    // below `index`), as table updates do when rows are inserted or deleted.
    void shiftIndexesStartingAtIndex(NSUInteger index, NSInteger delta);
};
