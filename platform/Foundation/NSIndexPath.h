// A path of indexes into nested collections; table and collection views address rows with
// two-index paths (section, row).
#pragma once

#include <vector>

#include "Foundation/NSObject.h"

class NSIndexPath : public NSObject {
    NS_OBJECT(NSIndexPath, NSObject)
    static Ref<NSIndexPath> indexPathWithIndex(NSUInteger index);
    static Ref<NSIndexPath> indexPathWithIndexes(const NSUInteger* indexes, NSUInteger length);
    bool initWithIndex(NSUInteger index);
    bool initWithIndexes(const NSUInteger* indexes, NSUInteger length);

    Ref<NSIndexPath> indexPathByAddingIndex(NSUInteger index);
    // An empty path stays empty.
    Ref<NSIndexPath> indexPathByRemovingLastIndex();
    // NSNotFound past the end.
    NSUInteger indexAtPosition(NSUInteger position);
    NSUInteger length() { return static_cast<NSUInteger>(indexes_.size()); }
    // Copies all indexes into the caller's buffer (length() entries).
    void getIndexes(NSUInteger* indexes);

    // Index by index; a path that is a prefix of the other orders first.
    NSComparisonResult compare(NSIndexPath* other);
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    // "<NSIndexPath 0x...> 2 indexes [0, 3]"
    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }
    Ref<NSIndexPath> copy() { return Ref<NSIndexPath>(this); }

    // The UI toolkit's additions: [section, row] and [section, item].
    static Ref<NSIndexPath> indexPathForRow(NSInteger row, NSInteger section);
    static Ref<NSIndexPath> indexPathForItem(NSInteger item, NSInteger section);
    NSInteger section();
    NSInteger row();
    NSInteger item() { return row(); }

private:
    std::vector<NSUInteger> indexes_;
};
