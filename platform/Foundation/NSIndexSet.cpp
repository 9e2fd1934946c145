#include "Foundation/NSIndexSet.h"

#include <algorithm>

#include "Foundation/NSException.h"
#include "Foundation/NSString.h"

namespace {
uint64_t endOf(NSRange r) {
    return uint64_t(r.location) + r.length;
}

// Raises for a range that runs past the largest index, as the platform does.
void checkRange(NSRange r, const char* method) {
    if (endOf(r) > uint64_t(NSNotFound)) {
        NSException::raise(NSRangeException,
                           NS("*** -[NSIndexSet %s]: Range {%u, %u} exceeds "
                              "maximum index value of NSNotFound - 1"),
                           method, r.location, r.length);
    }
}
}  // namespace

Ref<NSIndexSet> NSIndexSet::indexSet() {
    return make<NSIndexSet>();
}

Ref<NSIndexSet> NSIndexSet::indexSetWithIndex(NSUInteger index) {
    return indexSetWithIndexesInRange(NSMakeRange(index, 1));
}

Ref<NSIndexSet> NSIndexSet::indexSetWithIndexesInRange(NSRange range) {
    checkRange(range, "indexSetWithIndexesInRange:");
    auto s = make<NSIndexSet>();
    s->addRange(range);
    return s;
}

bool NSIndexSet::initWithIndexSet(NSIndexSet* other) {
    if (other) ranges_ = other->ranges_;
    return true;
}

void NSIndexSet::addRange(NSRange range) {
    checkRange(range, "addIndexesInRange:");
    if (range.length == 0) return;
    uint64_t lo = range.location, hi = endOf(range);
    std::vector<NSRange> out;
    out.reserve(ranges_.size() + 1);
    bool placed = false;
    for (const NSRange& r : ranges_) {
        if (endOf(r) < lo) {
            out.push_back(r);  // wholly before, not touching
        } else if (r.location > hi) {
            if (!placed) {
                out.push_back(NSMakeRange(NSUInteger(lo), NSUInteger(hi - lo)));
                placed = true;
            }
            out.push_back(r);
        } else {  // overlapping or adjacent: merge
            lo = std::min<uint64_t>(lo, r.location);
            hi = std::max<uint64_t>(hi, endOf(r));
        }
    }
    if (!placed) out.push_back(NSMakeRange(NSUInteger(lo), NSUInteger(hi - lo)));
    ranges_.swap(out);
}

void NSIndexSet::removeRange(NSRange range) {
    if (range.length == 0) return;
    uint64_t lo = range.location, hi = endOf(range);
    std::vector<NSRange> out;
    for (const NSRange& r : ranges_) {
        uint64_t a = r.location, b = endOf(r);
        if (b <= lo || a >= hi) {
            out.push_back(r);
            continue;
        }
        if (a < lo) out.push_back(NSMakeRange(NSUInteger(a), NSUInteger(lo - a)));
        if (b > hi) out.push_back(NSMakeRange(NSUInteger(hi), NSUInteger(b - hi)));
    }
    ranges_.swap(out);
}

NSUInteger NSIndexSet::count() {
    uint64_t n = 0;
    for (const NSRange& r : ranges_)
        n += r.length;
    return NSUInteger(n);
}

bool NSIndexSet::containsIndex(NSUInteger index) {
    return containsIndexesInRange(NSMakeRange(index, 1));
}

bool NSIndexSet::containsIndexesInRange(NSRange range) {
    if (range.length == 0) return false;
    for (const NSRange& r : ranges_) {
        if (r.location <= range.location && endOf(range) <= endOf(r)) return true;
    }
    return false;
}

bool NSIndexSet::containsIndexes(NSIndexSet* other) {
    if (!other) return false;
    for (const NSRange& r : other->ranges_) {
        if (!containsIndexesInRange(r)) return false;
    }
    return true;
}

bool NSIndexSet::intersectsIndexesInRange(NSRange range) {
    for (const NSRange& r : ranges_) {
        if (r.location < endOf(range) && range.location < endOf(r)) return true;
    }
    return false;
}

NSUInteger NSIndexSet::firstIndex() {
    return ranges_.empty() ? NSUInteger(NSNotFound) : ranges_.front().location;
}

NSUInteger NSIndexSet::lastIndex() {
    return ranges_.empty() ? NSUInteger(NSNotFound) : NSUInteger(endOf(ranges_.back()) - 1);
}

NSUInteger NSIndexSet::indexGreaterThanOrEqualToIndex(NSUInteger index) {
    for (const NSRange& r : ranges_) {
        if (endOf(r) > index) return std::max(r.location, index);
    }
    return NSNotFound;
}

NSUInteger NSIndexSet::indexGreaterThanIndex(NSUInteger index) {
    if (index >= NSUInteger(NSNotFound) - 1) return NSNotFound;
    return indexGreaterThanOrEqualToIndex(index + 1);
}

NSUInteger NSIndexSet::indexLessThanOrEqualToIndex(NSUInteger index) {
    for (auto it = ranges_.rbegin(); it != ranges_.rend(); ++it) {
        if (it->location <= index) return NSUInteger(std::min<uint64_t>(endOf(*it) - 1, index));
    }
    return NSNotFound;
}

NSUInteger NSIndexSet::indexLessThanIndex(NSUInteger index) {
    return index == 0 ? NSUInteger(NSNotFound) : indexLessThanOrEqualToIndex(index - 1);
}

void NSIndexSet::enumerateIndexesUsingBlock(const std::function<void(NSUInteger, bool*)>& block) {
    std::vector<NSRange> snapshot = ranges_;  // the block may change the set
    bool stop = false;
    for (const NSRange& r : snapshot) {
        for (uint64_t i = r.location; i < endOf(r) && !stop; ++i)
            block(NSUInteger(i), &stop);
        if (stop) break;
    }
}

std::vector<NSUInteger> NSIndexSet::indexes() {
    std::vector<NSUInteger> out;
    enumerateIndexesUsingBlock([&](NSUInteger i, bool*) { out.push_back(i); });
    return out;
}

bool NSIndexSet::isEqualToIndexSet(NSIndexSet* other) {
    return other && ranges_ == other->ranges_;
}

bool NSIndexSet::isEqual(NSObject* other) {
    auto* s = dynamic_cast<NSIndexSet*>(other);
    return s && isEqualToIndexSet(s);
}

NSUInteger NSIndexSet::hash() {
    return count();
}

Ref<NSString> NSIndexSet::description() {
    auto text = NSMutableString::stringWithFormat(NS("<%@: %p>[number of indexes: %u (in %u "
                                                     "ranges), indexes: ("),
                                                  className(), static_cast<void*>(this), count(),
                                                  NSUInteger(ranges_.size()));
    for (size_t i = 0; i < ranges_.size(); ++i) {
        const NSRange& r = ranges_[i];
        if (i) text->appendString(NS(" "));
        if (r.length == 1) {
            text->appendFormat(NS("%u"), r.location);
        } else {
            text->appendFormat(NS("%u-%u"), r.location, NSUInteger(endOf(r) - 1));
        }
    }
    text->appendString(NS(")]"));
    return text->copy();
}

Ref<NSObject> NSIndexSet::copyWithZone() {
    if (typeid(*this) == typeid(NSIndexSet)) return Ref<NSObject>(this);
    return make<NSIndexSet>(&NSIndexSet::initWithIndexSet, this);
}

Ref<NSObject> NSIndexSet::mutableCopyWithZone() {
    return make<NSMutableIndexSet>(&NSIndexSet::initWithIndexSet, this);
}

Ref<NSIndexSet> NSIndexSet::copy() {
    return cast<NSIndexSet>(copyWithZone());
}

Ref<NSMutableIndexSet> NSIndexSet::mutableCopy() {
    return cast<NSMutableIndexSet>(mutableCopyWithZone());
}

Ref<NSMutableIndexSet> NSMutableIndexSet::indexSet() {
    return make<NSMutableIndexSet>();
}

Ref<NSMutableIndexSet> NSMutableIndexSet::indexSetWithIndex(NSUInteger index) {
    return indexSetWithIndexesInRange(NSMakeRange(index, 1));
}

Ref<NSMutableIndexSet> NSMutableIndexSet::indexSetWithIndexesInRange(NSRange range) {
    auto s = make<NSMutableIndexSet>();
    s->addRange(range);
    return s;
}

void NSMutableIndexSet::addIndexes(NSIndexSet* other) {
    if (!other) return;
    for (NSRange r : rangesOf(other))
        addRange(r);
}

void NSMutableIndexSet::removeIndexes(NSIndexSet* other) {
    if (!other) return;
    for (NSRange r : rangesOf(other))
        removeRange(r);
}

void NSMutableIndexSet::shiftIndexesStartingAtIndex(NSUInteger index, NSInteger delta) {
    std::vector<NSUInteger> moved;
    for (NSUInteger i : indexes()) {
        if (i < index) continue;
        int64_t to = int64_t(i) + delta;
        if (to >= 0) moved.push_back(NSUInteger(to));
    }
    removeRange(NSMakeRange(index, NSUInteger(NSNotFound) - index));
    if (delta < 0) {
        // A left shift deletes the indexes it moves over, as the platform does.
        removeRange(NSMakeRange(NSUInteger(std::max<int64_t>(0, int64_t(index) + delta)),
                                NSUInteger(-delta)));
    }
    for (NSUInteger i : moved)
        addRange(NSMakeRange(i, 1));
}
