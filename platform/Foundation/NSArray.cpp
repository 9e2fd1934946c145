#include "Foundation/NSArray.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSString.h"
#include "Foundation/PropertyListDescription.h"
#include "Foundation/Runtime.h"

// ---- shared helpers --------------------------------------------------------------------------

std::vector<size_t> collection_detail::stableOrder(
    size_t n, const std::function<bool(size_t, size_t)>& less) {
    std::vector<size_t> a(n), b(n);
    std::iota(a.begin(), a.end(), size_t{0});
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            size_t i = lo, j = mid, k = lo;
            // Take from the right run only when strictly smaller: equal elements keep their order.
            while (i < mid && j < hi)
                b[k++] = less(a[j], a[i]) ? a[j++] : a[i++];
            while (i < mid)
                b[k++] = a[i++];
            while (j < hi)
                b[k++] = a[j++];
        }
        a.swap(b);
    }
    return a;
}

NSComparisonResult collection_detail::compareWithSelector(NSObject* a, NSObject* b, SEL sel) {
    Value args[] = {Value::ofObject(b)};
    long long r = invokeMethod(a, sel, args).toLongLong();
    return r < 0 ? NSOrderedAscending : r > 0 ? NSOrderedDescending : NSOrderedSame;
}

namespace {
// Walks an array forwards or backwards. It keeps the array alive and notices changes made to a
// mutable array while it is in use.
class ArrayEnumerator : public NSEnumerator {
    NS_OBJECT(ArrayEnumerator, NSEnumerator)
    ArrayEnumerator() = default;
    ArrayEnumerator(NSArray* a, bool reverse)
        : array_(a), reverse_(reverse), mutations_(a->mutationCount()) {
        next_ = reverse ? a->count() : 0;
    }
    Ref<NSObject> nextObject() override {
        if (!array_) return nullptr;
        if (array_->mutationCount() != mutations_) array_->raiseMutatedWhileEnumerated();
        if (reverse_ ? next_ == 0 : next_ >= array_->count()) {
            array_ = nullptr;  // exhausted: let the array go
            return nullptr;
        }
        return array_->objectAtIndex(reverse_ ? --next_ : next_++);
    }

private:
    Ref<NSArray> array_;
    bool reverse_ = false;
    NSUInteger next_ = 0;
    uint64_t mutations_ = 0;
};

void requireNoNil(std::initializer_list<NSObject*> objects) {
    NSUInteger i = 0;
    for (NSObject* o : objects) {
        if (!o) {
            NSException::raise(NSInvalidArgumentException,
                               NS("*** -[__NSPlaceholderArray initWithObjects:count:]: attempt to "
                                  "insert nil object from objects[%u]"),
                               i);
        }
        ++i;
    }
}

void requireNoNil(const std::vector<Ref<NSObject>>& objects) {
    for (size_t i = 0; i < objects.size(); ++i) {
        if (!objects[i]) {
            NSException::raise(NSInvalidArgumentException,
                               NS("*** -[__NSPlaceholderArray initWithObjects:count:]: attempt to "
                                  "insert nil object from objects[%u]"),
                               static_cast<NSUInteger>(i));
        }
    }
}
}  // namespace

// ---- registration ----------------------------------------------------------------------------

void NSArray::describeClass(RuntimeClass& c) {
    c.method("count", &NSArray::count)
        .method("objectAtIndex:", &NSArray::objectAtIndex)
        .method("firstObject", &NSArray::firstObject)
        .method("lastObject", &NSArray::lastObject)
        .method("containsObject:", &NSArray::containsObject)
        .method("indexOfObject:",
                static_cast<NSUInteger (NSArray::*)(NSObject*)>(&NSArray::indexOfObject))
        .method("indexOfObjectIdenticalTo:", &NSArray::indexOfObjectIdenticalTo)
        .method("isEqualToArray:", &NSArray::isEqualToArray)
        .method("arrayByAddingObject:", &NSArray::arrayByAddingObject)
        .method("arrayByAddingObjectsFromArray:", &NSArray::arrayByAddingObjectsFromArray)
        .method("componentsJoinedByString:", &NSArray::componentsJoinedByString)
        .method("sortedArrayUsingSelector:", &NSArray::sortedArrayUsingSelector)
        .method("description", &NSArray::description)
        .method("makeObjectsPerformSelector:",
                static_cast<void (NSArray::*)(SEL)>(&NSArray::makeObjectsPerformSelector))
        .method(
            "makeObjectsPerformSelector:withObject:",
            static_cast<void (NSArray::*)(SEL, NSObject*)>(&NSArray::makeObjectsPerformSelector));
}

void NSMutableArray::describeClass(RuntimeClass& c) {
    c.method("addObject:", &NSMutableArray::addObject)
        .method("addObjectsFromArray:", &NSMutableArray::addObjectsFromArray)
        .method("insertObject:atIndex:", &NSMutableArray::insertObject)
        .method("removeObjectAtIndex:", &NSMutableArray::removeObjectAtIndex)
        .method("removeLastObject", &NSMutableArray::removeLastObject)
        .method("removeObject:", &NSMutableArray::removeObject)
        .method("removeObjectIdenticalTo:", &NSMutableArray::removeObjectIdenticalTo)
        .method("removeAllObjects", &NSMutableArray::removeAllObjects)
        .method("removeObjectsInArray:", &NSMutableArray::removeObjectsInArray)
        .method("replaceObjectAtIndex:withObject:", &NSMutableArray::replaceObjectAtIndex)
        .method("exchangeObjectAtIndex:withObjectAtIndex:", &NSMutableArray::exchangeObjectAtIndex)
        .method("setArray:",
                static_cast<void (NSMutableArray::*)(NSArray*)>(&NSMutableArray::setArray))
        .method("sortUsingSelector:", &NSMutableArray::sortUsingSelector);
}

// ---- creation --------------------------------------------------------------------------------

Ref<NSArray> NSArray::array() {
    return alloc<NSArray>();
}

Ref<NSArray> NSArray::arrayWithObject(NSObject* obj) {
    return arrayWithObjects({obj});
}

Ref<NSArray> NSArray::arrayWithObjects(std::initializer_list<NSObject*> objects) {
    return make<NSArray>(&NSArray::initWithObjects, objects);
}

Ref<NSArray> NSArray::arrayWithArray(NSArray* other) {
    return make<NSArray>(static_cast<bool (NSArray::*)(NSArray*)>(&NSArray::initWithArray), other);
}

Ref<NSArray> NSArray::arrayWithVector(std::vector<Ref<NSObject>> objects) {
    requireNoNil(objects);
    auto a = alloc<NSArray>();
    a->items_ = std::move(objects);
    return a;
}

bool NSArray::initWithArray(NSArray* other) {
    return initWithArray(other, false);
}

bool NSArray::initWithArray(NSArray* other, bool copyItems) {
    if (!other) return true;
    std::vector<Ref<NSObject>> items;
    std::vector<Ref<NSObject>> source = itemsOf(other);
    items.reserve(source.size());
    for (const Ref<NSObject>& o : source)
        items.push_back(copyItems ? o->copy() : o);
    items_ = std::move(items);
    return true;
}

bool NSArray::initWithObjects(std::initializer_list<NSObject*> objects) {
    requireNoNil(objects);
    items_.assign(objects.begin(), objects.end());
    return true;
}

// ---- non-retaining mode ----------------------------------------------------------------------

NSArray::Access::Access(NSArray* a) {
    if (!a->weak_) return;
    keep_ = a;
    if (a->weak_->depth++ > 0) return;
    // Elements whose destruction has begun read nil here and drop out.
    std::vector<Ref<NSObject>> held;
    held.reserve(a->weak_->items.size());
    for (const Weak<NSObject>& w : a->weak_->items) {
        if (Ref<NSObject> o = w.lock()) held.push_back(std::move(o));
    }
    a->items_.swap(held);
}

NSArray::Access::~Access() {
    if (!keep_) return;
    NSArray* a = keep_.get();
    if (--a->weak_->depth > 0) return;
    std::vector<Weak<NSObject>> weak(a->items_.begin(), a->items_.end());
    a->weak_->items.swap(weak);
    // Let go of the elements only once the array is consistent: a release may free an element
    // whose dealloc takes itself out of this very list.
    std::vector<Ref<NSObject>> held;
    held.swap(a->items_);
}

std::vector<Ref<NSObject>> NSArray::itemsOf(NSArray* a) {
    Access access(a);
    return a->items_;
}

NSArray::iterator NSArray::begin() {
    if (!weak_) return iterator(this, this);
    return iterator(this, arrayWithVector(itemsOf(this)));
}

Ref<NSMutableArray> NSMutableArray::nonRetainingArray() {
    auto a = alloc<NSMutableArray>();
    a->weak_ = std::make_unique<WeakItems>();
    return a;
}

// ---- queries ---------------------------------------------------------------------------------

NSString* NSArray::internalName() {
    return dynamic_cast<NSMutableArray*>(this) ? NS("__NSArrayM") : NS("__NSArrayI");
}

void NSArray::raiseIndexBeyondBounds(NSString* method, NSUInteger index) {
    if (items_.empty()) {
        NSException::raise(NSRangeException,
                           NS("*** -[%@ %@]: index %u beyond bounds for empty array"),
                           internalName(), method, index);
    }
    NSException::raise(NSRangeException, NS("*** -[%@ %@]: index %u beyond bounds [0 .. %u]"),
                       internalName(), method, index, count() - 1);
}

void NSArray::raiseRangeBeyondBounds(NSString* method, NSRange range) {
    if (items_.empty()) {
        NSException::raise(NSRangeException,
                           NS("*** -[%@ %@]: range {%u, %u} extends beyond bounds for empty "
                              "array"),
                           internalName(), method, range.location, range.length);
    }
    NSException::raise(NSRangeException,
                       NS("*** -[%@ %@]: range {%u, %u} extends beyond bounds [0 .. %u]"),
                       internalName(), method, range.location, range.length, count() - 1);
}

void NSArray::raiseMutatedWhileEnumerated() {
    collection_detail::raiseMutatedWhileEnumerated(internalName()->UTF8String(), this);
}

void NSArray::checkIndex(NSString* method, NSUInteger index) {
    if (index >= items_.size()) raiseIndexBeyondBounds(method, index);
}

void NSArray::checkRange(NSString* method, NSRange range) {
    // Computed in 64 bits: location + length may wrap in NSUInteger.
    if (uint64_t{range.location} + range.length > items_.size()) {
        raiseRangeBeyondBounds(method, range);
    }
}

NSUInteger NSArray::count() {
    Access access(this);
    return static_cast<NSUInteger>(items_.size());
}

Ref<NSObject> NSArray::objectAtIndex(NSUInteger index) {
    Access access(this);
    checkIndex(NS("objectAtIndex:"), index);
    return items_[index];
}

Ref<NSObject> NSArray::firstObject() {
    Access access(this);
    return items_.empty() ? nullptr : items_.front();
}

Ref<NSObject> NSArray::lastObject() {
    Access access(this);
    return items_.empty() ? nullptr : items_.back();
}

bool NSArray::containsObject(NSObject* obj) {
    Access access(this);
    return indexOfObject(obj) != NSNotFound;
}

NSUInteger NSArray::indexOfObject(NSObject* obj) {
    Access access(this);
    return indexOfObject(obj, NSMakeRange(0, count()));
}

NSUInteger NSArray::indexOfObject(NSObject* obj, NSRange range) {
    Access access(this);
    checkRange(NS("indexOfObject:inRange:"), range);
    if (!obj) return NSNotFound;
    for (NSUInteger i = range.location; i < NSMaxRange(range) && i < items_.size(); ++i) {
        // Held: isEqual: may run code that changes this array.
        Ref<NSObject> item = items_[i];
        if (item.get() == obj || obj->isEqual(item)) return i;
    }
    return NSNotFound;
}

NSUInteger NSArray::indexOfObjectIdenticalTo(NSObject* obj) {
    Access access(this);
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].get() == obj) return static_cast<NSUInteger>(i);
    }
    return NSNotFound;
}

bool NSArray::isEqualToArray(NSArray* other) {
    Access access(this);
    if (other == this) return true;
    if (!other) return false;
    // Snapshots: isEqual: may run code that changes either array.
    std::vector<Ref<NSObject>> mine = items_, theirs = itemsOf(other);
    if (mine.size() != theirs.size()) return false;
    for (size_t i = 0; i < mine.size(); ++i) {
        if (!objectsEqual(mine[i], theirs[i])) return false;
    }
    return true;
}

// ---- derived arrays --------------------------------------------------------------------------

Ref<NSArray> NSArray::arrayByAddingObject(NSObject* obj) {
    Access access(this);
    if (!obj) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[%@ arrayByAddingObject:]: object cannot be nil"),
                           internalName());
    }
    std::vector<Ref<NSObject>> items = items_;
    items.emplace_back(obj);
    return arrayWithVector(std::move(items));
}

Ref<NSArray> NSArray::arrayByAddingObjectsFromArray(NSArray* other) {
    Access access(this);
    std::vector<Ref<NSObject>> items = items_;
    if (other) {
        std::vector<Ref<NSObject>> more = itemsOf(other);
        items.insert(items.end(), more.begin(), more.end());
    }
    return arrayWithVector(std::move(items));
}

Ref<NSArray> NSArray::subarrayWithRange(NSRange range) {
    Access access(this);
    checkRange(NS("subarrayWithRange:"), range);
    auto first = items_.begin() + range.location;
    return arrayWithVector(std::vector<Ref<NSObject>>(first, first + range.length));
}

Ref<NSString> NSArray::componentsJoinedByString(NSString* separator) {
    Access access(this);
    std::u16string sep = separator ? separator->u16() : std::u16string();
    std::u16string out;
    std::vector<Ref<NSObject>> items = items_;  // descriptions may run arbitrary code
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) out += sep;
        Ref<NSString> d = items[i]->description();
        if (d) out += d->u16();
    }
    return NSString::fromUTF16(out);
}

std::vector<Ref<NSObject>> NSArray::sortedItems(const Comparator& cmp) {
    Access access(this);
    // The snapshot keeps the elements alive whatever the comparator does to this array.
    std::vector<Ref<NSObject>> items = items_;
    std::vector<size_t> order = collection_detail::stableOrder(
        items.size(),
        [&](size_t a, size_t b) { return cmp(items[a], items[b]) == NSOrderedAscending; });
    std::vector<Ref<NSObject>> sorted;
    sorted.reserve(items.size());
    for (size_t i : order)
        sorted.push_back(items[i]);
    return sorted;
}

Ref<NSArray> NSArray::sortedArrayUsingSelector(SEL comparator) {
    return arrayWithVector(sortedItems([comparator](NSObject* a, NSObject* b) {
        return collection_detail::compareWithSelector(a, b, comparator);
    }));
}

Ref<NSArray> NSArray::sortedArrayUsingComparator(const Comparator& cmp) {
    return arrayWithVector(sortedItems(cmp));
}

Ref<NSArray> NSArray::sortedArrayUsingFunction(SortFunction fn, void* context) {
    return arrayWithVector(sortedItems([fn, context](NSObject* a, NSObject* b) {
        NSInteger r = fn(a, b, context);
        return r < 0 ? NSOrderedAscending : r > 0 ? NSOrderedDescending : NSOrderedSame;
    }));
}

// ---- sending and enumerating -----------------------------------------------------------------

void NSArray::makeObjectsPerformSelector(SEL sel) {
    Access access(this);
    std::vector<Ref<NSObject>> items = items_;
    for (const Ref<NSObject>& o : items)
        o->performSelector(sel);
}

void NSArray::makeObjectsPerformSelector(SEL sel, NSObject* arg) {
    Access access(this);
    std::vector<Ref<NSObject>> items = items_;
    for (const Ref<NSObject>& o : items)
        o->performSelector(sel, arg);
}

void NSArray::enumerateObjectsUsingBlock(const Block& block) {
    enumerateObjectsWithOptions(0, block);
}

void NSArray::enumerateObjectsWithOptions(NSEnumerationOptions options, const Block& block) {
    Access access(this);
    const bool reverse = (options & NSEnumerationReverse) != 0;
    const uint64_t mutations = mutations_;
    const size_t n = items_.size();
    bool stop = false;
    for (size_t k = 0; k < n && !stop; ++k) {
        size_t i = reverse ? n - 1 - k : k;
        Ref<NSObject> item = items_[i];
        block(item, static_cast<NSUInteger>(i), &stop);
        if (!stop && mutations_ != mutations) raiseMutatedWhileEnumerated();
    }
}

Ref<NSEnumerator> NSArray::objectEnumerator() {
    return Ref<NSEnumerator>::adopt(new ArrayEnumerator(this, false));
}

Ref<NSEnumerator> NSArray::reverseObjectEnumerator() {
    return Ref<NSEnumerator>::adopt(new ArrayEnumerator(this, true));
}

// ---- NSObject --------------------------------------------------------------------------------

bool NSArray::isEqual(NSObject* other) {
    if (other == this) return true;
    auto* a = dynamic_cast<NSArray*>(other);
    return a && isEqualToArray(a);
}

NSUInteger NSArray::hash() {
    return count();
}

Ref<NSString> NSArray::description() {
    return propertyListDescription(this, 0);
}

Ref<NSObject> NSArray::copyWithZone() {
    return Ref<NSObject>(this);
}

Ref<NSObject> NSArray::mutableCopyWithZone() {
    Access access(this);
    return NSMutableArray::arrayWithVector(items_);
}

Ref<NSArray> NSArray::copy() {
    return cast<NSArray>(copyWithZone());
}

Ref<NSMutableArray> NSArray::mutableCopy() {
    return cast<NSMutableArray>(mutableCopyWithZone());
}

Ref<NSObject> NSArray::valueForKey(NSString* key) {
    Access access(this);
    if (key && key->hasPrefix(NS("@"))) return NSObject::valueForKey(key->substringFromIndex(1));
    std::vector<Ref<NSObject>> items = items_;
    std::vector<Ref<NSObject>> values;
    values.reserve(items.size());
    for (const Ref<NSObject>& o : items) {
        Ref<NSObject> v = o->valueForKey(key);
        values.push_back(v ? v : Ref<NSObject>(NSNull::null()));
    }
    return arrayWithVector(std::move(values));
}

void NSArray::setValue(NSObject* value, NSString* key) {
    Access access(this);
    std::vector<Ref<NSObject>> items = items_;
    for (const Ref<NSObject>& o : items)
        o->setValue(value, key);
}

// ---- NSMutableArray --------------------------------------------------------------------------

Ref<NSMutableArray> NSMutableArray::array() {
    return alloc<NSMutableArray>();
}

Ref<NSMutableArray> NSMutableArray::arrayWithCapacity(NSUInteger capacity) {
    return make<NSMutableArray>(&NSMutableArray::initWithCapacity, capacity);
}

Ref<NSMutableArray> NSMutableArray::arrayWithObject(NSObject* obj) {
    return arrayWithObjects({obj});
}

Ref<NSMutableArray> NSMutableArray::arrayWithObjects(std::initializer_list<NSObject*> objects) {
    return make<NSMutableArray>(&NSArray::initWithObjects, objects);
}

Ref<NSMutableArray> NSMutableArray::arrayWithArray(NSArray* other) {
    return make<NSMutableArray>(static_cast<bool (NSArray::*)(NSArray*)>(&NSArray::initWithArray),
                                other);
}

Ref<NSMutableArray> NSMutableArray::arrayWithVector(std::vector<Ref<NSObject>> objects) {
    requireNoNil(objects);
    auto a = alloc<NSMutableArray>();
    a->items_ = std::move(objects);
    return a;
}

bool NSMutableArray::initWithCapacity(NSUInteger capacity) {
    // A hint only: an absurd capacity must not fail the allocation up front.
    items_.reserve(std::min<NSUInteger>(capacity, 1u << 16));
    return true;
}

void NSMutableArray::addObject(NSObject* obj) {
    Access access(this);
    insertObject(obj, count());
}

void NSMutableArray::addObjectsFromArray(NSArray* other) {
    Access access(this);
    if (!other) return;
    std::vector<Ref<NSObject>> add = itemsOf(other);  // other may be this array
    if (add.empty()) return;
    items_.insert(items_.end(), std::make_move_iterator(add.begin()),
                  std::make_move_iterator(add.end()));
    changed();
}

void NSMutableArray::insertObject(NSObject* obj, NSUInteger index) {
    Access access(this);
    if (!obj) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[__NSArrayM insertObject:atIndex:]: object cannot be nil"));
    }
    if (index > items_.size()) raiseIndexBeyondBounds(NS("insertObject:atIndex:"), index);
    items_.insert(items_.begin() + index, Ref<NSObject>(obj));
    changed();
}

void NSMutableArray::removeObjectAtIndex(NSUInteger index) {
    Access access(this);
    checkIndex(NS("removeObjectAtIndex:"), index);
    // Released after the array is consistent: a dealloc may look at this array.
    Ref<NSObject> gone = std::move(items_[index]);
    items_.erase(items_.begin() + index);
    changed();
}

void NSMutableArray::removeLastObject() {
    Access access(this);
    if (items_.empty()) {
        NSException::raise(NSRangeException,
                           NS("*** -[__NSArrayM removeLastObject]: index 0 beyond bounds for "
                              "empty array"));
    }
    removeObjectAtIndex(count() - 1);
}

namespace {
// Drops the marked elements in one pass; the dropped ones are released after the array is
// consistent again.
void compact(std::vector<Ref<NSObject>>& items, const std::vector<bool>& drop) {
    std::vector<Ref<NSObject>> kept, gone;
    kept.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        (i < drop.size() && drop[i] ? gone : kept).push_back(std::move(items[i]));
    }
    items.swap(kept);
}
}  // namespace

void NSMutableArray::removeObject(NSObject* obj) {
    Access access(this);
    if (!obj) return;
    // Decide first (isEqual: may run arbitrary code), then change the array in one step.
    std::vector<Ref<NSObject>> items = items_;
    std::vector<bool> drop(items.size());
    bool any = false;
    for (size_t i = 0; i < items.size(); ++i) {
        drop[i] = items[i].get() == obj || obj->isEqual(items[i]);
        any = any || drop[i];
    }
    if (!any) return;
    items.clear();
    compact(items_, drop);
    changed();
}

void NSMutableArray::removeObjectIdenticalTo(NSObject* obj) {
    Access access(this);
    std::vector<bool> drop(items_.size());
    bool any = false;
    for (size_t i = 0; i < items_.size(); ++i) {
        drop[i] = items_[i].get() == obj;
        any = any || drop[i];
    }
    if (!any) return;
    compact(items_, drop);
    changed();
}

void NSMutableArray::removeAllObjects() {
    Access access(this);
    if (items_.empty()) return;
    std::vector<Ref<NSObject>> gone;
    gone.swap(items_);
    changed();
}

void NSMutableArray::removeObjectsInArray(NSArray* other) {
    Access access(this);
    if (!other || itemsOf(other).empty() || items_.empty()) return;
    // A hashed look-up keeps this linear for the long lists the app builds.
    collection_detail::HashTable lookup;
    std::vector<Ref<NSObject>> remove = itemsOf(other);
    lookup.reserve(remove.size());
    for (const Ref<NSObject>& o : remove) {
        NSUInteger h = o->hash();
        if (lookup.find(o, h) < 0) lookup.insert(o, nullptr, h);
    }
    std::vector<Ref<NSObject>> items = items_;
    std::vector<bool> drop(items.size());
    bool any = false;
    for (size_t i = 0; i < items.size(); ++i) {
        drop[i] = lookup.find(items[i]) >= 0;
        any = any || drop[i];
    }
    if (!any) return;
    items.clear();
    compact(items_, drop);
    changed();
}

void NSMutableArray::removeObjectsInRange(NSRange range) {
    Access access(this);
    checkRange(NS("removeObjectsInRange:"), range);
    if (range.length == 0) return;
    auto first = items_.begin() + range.location;
    std::vector<Ref<NSObject>> gone(std::make_move_iterator(first),
                                    std::make_move_iterator(first + range.length));
    items_.erase(first, first + range.length);
    changed();
}

void NSMutableArray::replaceObjectAtIndex(NSUInteger index, NSObject* obj) {
    Access access(this);
    if (!obj) {
        NSException::raise(
            NSInvalidArgumentException,
            NS("*** -[__NSArrayM replaceObjectAtIndex:withObject:]: object cannot be nil"));
    }
    checkIndex(NS("replaceObjectAtIndex:withObject:"), index);
    Ref<NSObject> gone = std::exchange(items_[index], Ref<NSObject>(obj));
    changed();
}

void NSMutableArray::exchangeObjectAtIndex(NSUInteger i, NSUInteger j) {
    Access access(this);
    checkIndex(NS("exchangeObjectAtIndex:withObjectAtIndex:"), i);
    checkIndex(NS("exchangeObjectAtIndex:withObjectAtIndex:"), j);
    items_[i].swap(items_[j]);
    changed();
}

void NSMutableArray::setArray(NSArray* other) {
    Access access(this);
    std::vector<Ref<NSObject>> items = other ? itemsOf(other) : std::vector<Ref<NSObject>>();
    items_.swap(items);
    changed();
}

void NSMutableArray::sortUsingSelector(SEL comparator) {
    Access access(this);
    std::vector<Ref<NSObject>> sorted = sortedItems([comparator](NSObject* a, NSObject* b) {
        return collection_detail::compareWithSelector(a, b, comparator);
    });
    items_.swap(sorted);
    changed();
}

void NSMutableArray::sortUsingComparator(const Comparator& cmp) {
    Access access(this);
    std::vector<Ref<NSObject>> sorted = sortedItems(cmp);
    items_.swap(sorted);
    changed();
}

void NSMutableArray::sortUsingFunction(SortFunction fn, void* context) {
    Access access(this);
    std::vector<Ref<NSObject>> sorted = sortedItems([fn, context](NSObject* a, NSObject* b) {
        NSInteger r = fn(a, b, context);
        return r < 0 ? NSOrderedAscending : r > 0 ? NSOrderedDescending : NSOrderedSame;
    });
    items_.swap(sorted);
    changed();
}

Ref<NSObject> NSMutableArray::copyWithZone() {
    Access access(this);
    return NSArray::arrayWithVector(items_);
}
