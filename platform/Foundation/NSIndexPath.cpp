#include "Foundation/NSIndexPath.h"

#include <algorithm>

#include "Foundation/NSString.h"

Ref<NSIndexPath> NSIndexPath::indexPathWithIndex(NSUInteger index) {
    return make<NSIndexPath>(&NSIndexPath::initWithIndex, index);
}

Ref<NSIndexPath> NSIndexPath::indexPathWithIndexes(const NSUInteger* indexes, NSUInteger length) {
    return make<NSIndexPath>(&NSIndexPath::initWithIndexes, indexes, length);
}

bool NSIndexPath::initWithIndex(NSUInteger index) {
    indexes_.assign(1, index);
    return true;
}

bool NSIndexPath::initWithIndexes(const NSUInteger* indexes, NSUInteger length) {
    if (indexes) {
        indexes_.assign(indexes, indexes + length);
    } else {
        indexes_.clear();
    }
    return true;
}

Ref<NSIndexPath> NSIndexPath::indexPathByAddingIndex(NSUInteger index) {
    auto p = make<NSIndexPath>();
    p->indexes_.reserve(indexes_.size() + 1);
    p->indexes_ = indexes_;
    p->indexes_.push_back(index);
    return p;
}

Ref<NSIndexPath> NSIndexPath::indexPathByRemovingLastIndex() {
    auto p = make<NSIndexPath>();
    p->indexes_ = indexes_;
    if (!p->indexes_.empty()) p->indexes_.pop_back();
    return p;
}

NSUInteger NSIndexPath::indexAtPosition(NSUInteger position) {
    return position < indexes_.size() ? indexes_[position] : NSNotFound;
}

void NSIndexPath::getIndexes(NSUInteger* indexes) {
    if (indexes) std::copy(indexes_.begin(), indexes_.end(), indexes);
}

NSComparisonResult NSIndexPath::compare(NSIndexPath* other) {
    if (!other) return NSOrderedDescending;
    size_t n = std::min(indexes_.size(), other->indexes_.size());
    for (size_t i = 0; i < n; ++i) {
        if (indexes_[i] < other->indexes_[i]) return NSOrderedAscending;
        if (indexes_[i] > other->indexes_[i]) return NSOrderedDescending;
    }
    if (indexes_.size() < other->indexes_.size()) return NSOrderedAscending;
    if (indexes_.size() > other->indexes_.size()) return NSOrderedDescending;
    return NSOrderedSame;
}

bool NSIndexPath::isEqual(NSObject* other) {
    auto* p = dynamic_cast<NSIndexPath*>(other);
    return p && p->indexes_ == indexes_;
}

NSUInteger NSIndexPath::hash() {
    NSUInteger h = static_cast<NSUInteger>(indexes_.size());
    for (NSUInteger i : indexes_)
        h = h * 31u + i;
    return h;
}

Ref<NSString> NSIndexPath::description() {
    std::string list;
    for (size_t i = 0; i < indexes_.size(); ++i) {
        if (i) list += ", ";
        list += std::to_string(indexes_[i]);
    }
    return NSString::stringWithFormat(NS("<NSIndexPath %p> %u indexes [%s]"),
                                      static_cast<void*>(this), length(), list.c_str());
}

Ref<NSIndexPath> NSIndexPath::indexPathForRow(NSInteger row, NSInteger section) {
    const NSUInteger ix[2] = {static_cast<NSUInteger>(section), static_cast<NSUInteger>(row)};
    return indexPathWithIndexes(ix, 2);
}

Ref<NSIndexPath> NSIndexPath::indexPathForItem(NSInteger item, NSInteger section) {
    return indexPathForRow(item, section);
}

NSInteger NSIndexPath::section() {
    return static_cast<NSInteger>(indexAtPosition(0));
}

NSInteger NSIndexPath::row() {
    return static_cast<NSInteger>(indexAtPosition(1));
}
