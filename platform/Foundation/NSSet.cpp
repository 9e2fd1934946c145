#include "Foundation/NSSet.h"

#include <utility>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSString.h"
#include "Foundation/PropertyListDescription.h"
#include "Foundation/Runtime.h"

using collection_detail::HashTable;

namespace {
std::vector<Ref<NSObject>> elementsOf(HashTable& t) {
    std::vector<Ref<NSObject>> out;
    out.reserve(t.count());
    for (size_t i = t.nextLive(0); i < t.size(); i = t.nextLive(i + 1))
        out.push_back(t.at(i).key);
    return out;
}

void requireNoNil(std::initializer_list<NSObject*> objects) {
    NSUInteger i = 0;
    for (NSObject* o : objects) {
        if (!o) {
            NSException::raise(NSInvalidArgumentException,
                               NS("*** -[NSSet initWithObjects:count:]: attempt to insert nil "
                                  "object from objects[%u]"),
                               i);
        }
        ++i;
    }
}
}  // namespace

// ---- registration ----------------------------------------------------------------------------

void NSSet::describeClass(RuntimeClass& c) {
    c.method("count", &NSSet::count)
        .method("containsObject:", &NSSet::containsObject)
        .method("member:", &NSSet::member)
        .method("anyObject", &NSSet::anyObject)
        .method("allObjects", &NSSet::allObjects)
        .method("isEqualToSet:", &NSSet::isEqualToSet)
        .method("isSubsetOfSet:", &NSSet::isSubsetOfSet)
        .method("intersectsSet:", &NSSet::intersectsSet)
        .method("setByAddingObject:", &NSSet::setByAddingObject)
        .method("description", &NSSet::description);
}

void NSMutableSet::describeClass(RuntimeClass& c) {
    c.method("addObject:", &NSMutableSet::addObject)
        .method("addObjectsFromArray:", &NSMutableSet::addObjectsFromArray)
        .method("removeObject:", &NSMutableSet::removeObject)
        .method("removeAllObjects", &NSMutableSet::removeAllObjects)
        .method("unionSet:", &NSMutableSet::unionSet)
        .method("minusSet:", &NSMutableSet::minusSet)
        .method("intersectSet:", &NSMutableSet::intersectSet)
        .method("setSet:", &NSMutableSet::setSet);
}

// ---- creation --------------------------------------------------------------------------------

Ref<NSSet> NSSet::set() {
    return alloc<NSSet>();
}

Ref<NSSet> NSSet::setWithObject(NSObject* obj) {
    return setWithObjects({obj});
}

Ref<NSSet> NSSet::setWithObjects(std::initializer_list<NSObject*> objects) {
    return make<NSSet>(&NSSet::initWithObjects, objects);
}

Ref<NSSet> NSSet::setWithArray(NSArray* array) {
    return make<NSSet>(&NSSet::initWithArray, array);
}

Ref<NSSet> NSSet::setWithSet(NSSet* other) {
    return make<NSSet>(&NSSet::initWithSet, other);
}

bool NSSet::initWithArray(NSArray* array) {
    if (!array) return true;
    Ref<NSArray> list = array->copy();
    table_.reserve(list->count());
    for (NSObject* o : *list)
        insert(o);
    mutations_ = 0;
    return true;
}

bool NSSet::initWithSet(NSSet* other) {
    if (!other || other == this) return true;
    std::vector<HashTable::Entry> entries;
    HashTable& t = other->table_;
    entries.reserve(t.count());
    for (size_t i = t.nextLive(0); i < t.size(); i = t.nextLive(i + 1))
        entries.push_back(t.at(i));
    if (table_.count() == 0) {
        // Distinct already: no need to compare them again.
        table_.reserve(entries.size());
        for (auto& e : entries)
            table_.insert(std::move(e.key), nullptr, e.hash);
    } else {
        for (auto& e : entries)
            insert(e.key);
    }
    return true;
}

bool NSSet::initWithObjects(std::initializer_list<NSObject*> objects) {
    requireNoNil(objects);
    table_.reserve(objects.size());
    for (NSObject* o : objects)
        insert(o);
    mutations_ = 0;
    return true;
}

bool NSSet::insert(NSObject* obj) {
    NSUInteger h = obj->hash();
    if (table_.find(obj, h) >= 0) return false;
    table_.insert(Ref<NSObject>(obj), nullptr, h);
    ++mutations_;
    return true;
}

// ---- queries ---------------------------------------------------------------------------------

NSUInteger NSSet::count() {
    return static_cast<NSUInteger>(table_.count());
}

bool NSSet::containsObject(NSObject* obj) {
    return table_.find(obj) >= 0;
}

Ref<NSObject> NSSet::member(NSObject* obj) {
    long i = table_.find(obj);
    return i < 0 ? nullptr : table_.at(static_cast<size_t>(i)).key;
}

Ref<NSObject> NSSet::anyObject() {
    size_t i = table_.nextLive(0);
    return i < table_.size() ? table_.at(i).key : nullptr;
}

Ref<NSArray> NSSet::allObjects() {
    return NSArray::arrayWithVector(elementsOf(table_));
}

bool NSSet::isEqualToSet(NSSet* other) {
    if (other == this) return true;
    return other && other->count() == count() && isSubsetOfSet(other);
}

bool NSSet::isSubsetOfSet(NSSet* other) {
    if (other == this) return true;
    if (!other) return table_.count() == 0;
    for (const Ref<NSObject>& o : elementsOf(table_)) {
        if (!other->containsObject(o)) return false;
    }
    return true;
}

bool NSSet::intersectsSet(NSSet* other) {
    if (!other) return false;
    for (const Ref<NSObject>& o : elementsOf(table_)) {
        if (other->containsObject(o)) return true;
    }
    return false;
}

Ref<NSSet> NSSet::setByAddingObject(NSObject* obj) {
    if (!obj) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[NSSet setByAddingObject:]: object cannot be nil"));
    }
    auto s = make<NSSet>(&NSSet::initWithSet, this);
    s->insert(obj);
    s->mutations_ = 0;
    return s;
}

Ref<NSSet> NSSet::setByAddingObjectsFromSet(NSSet* other) {
    auto s = make<NSSet>(&NSSet::initWithSet, this);
    if (other) {
        for (const Ref<NSObject>& o : elementsOf(other->table_))
            s->insert(o);
    }
    s->mutations_ = 0;
    return s;
}

Ref<NSEnumerator> NSSet::objectEnumerator() {
    return collection_detail::tableEnumerator(this, table_, mutations_, NS("__NSSetM"), false);
}

void NSSet::enumerateObjectsUsingBlock(const Block& block) {
    const uint64_t mutations = mutations_;
    std::vector<Ref<NSObject>> elements = elementsOf(table_);
    bool stop = false;
    for (size_t i = 0; i < elements.size() && !stop; ++i) {
        block(elements[i], &stop);
        if (!stop && mutations_ != mutations) raiseMutatedWhileEnumerated();
    }
}

void NSSet::makeObjectsPerformSelector(SEL sel) {
    for (const Ref<NSObject>& o : elementsOf(table_))
        o->performSelector(sel);
}

void NSSet::raiseMutatedWhileEnumerated() {
    collection_detail::raiseMutatedWhileEnumerated("__NSSetM", this);
}

// ---- NSObject --------------------------------------------------------------------------------

bool NSSet::isEqual(NSObject* other) {
    if (other == this) return true;
    auto* s = dynamic_cast<NSSet*>(other);
    return s && isEqualToSet(s);
}

NSUInteger NSSet::hash() {
    return count();
}

Ref<NSString> NSSet::description() {
    return propertyListDescription(this, 0);
}

Ref<NSObject> NSSet::copyWithZone() {
    return Ref<NSObject>(this);
}

Ref<NSObject> NSSet::mutableCopyWithZone() {
    return make<NSMutableSet>(&NSSet::initWithSet, this);
}

Ref<NSSet> NSSet::copy() {
    return cast<NSSet>(copyWithZone());
}

Ref<NSMutableSet> NSSet::mutableCopy() {
    return cast<NSMutableSet>(mutableCopyWithZone());
}

Ref<NSObject> NSSet::valueForKey(NSString* key) {
    if (key && key->hasPrefix(NS("@"))) return NSObject::valueForKey(key->substringFromIndex(1));
    auto out = alloc<NSSet>();
    for (const Ref<NSObject>& o : elementsOf(table_)) {
        Ref<NSObject> v = o->valueForKey(key);
        out->insert(v ? v : Ref<NSObject>(NSNull::null()));
    }
    out->mutations_ = 0;
    return out;
}

// ---- NSMutableSet ----------------------------------------------------------------------------

Ref<NSMutableSet> NSMutableSet::set() {
    return alloc<NSMutableSet>();
}

Ref<NSMutableSet> NSMutableSet::setWithCapacity(NSUInteger capacity) {
    return make<NSMutableSet>(&NSMutableSet::initWithCapacity, capacity);
}

Ref<NSMutableSet> NSMutableSet::setWithObject(NSObject* obj) {
    return setWithObjects({obj});
}

Ref<NSMutableSet> NSMutableSet::setWithObjects(std::initializer_list<NSObject*> objects) {
    return make<NSMutableSet>(&NSSet::initWithObjects, objects);
}

Ref<NSMutableSet> NSMutableSet::setWithArray(NSArray* array) {
    return make<NSMutableSet>(&NSSet::initWithArray, array);
}

Ref<NSMutableSet> NSMutableSet::setWithSet(NSSet* other) {
    return make<NSMutableSet>(&NSSet::initWithSet, other);
}

bool NSMutableSet::initWithCapacity(NSUInteger capacity) {
    table_.reserve(capacity);
    return true;
}

void NSMutableSet::addObject(NSObject* obj) {
    if (!obj) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[__NSSetM addObject:]: object cannot be nil"));
    }
    insert(obj);
}

void NSMutableSet::addObjectsFromArray(NSArray* array) {
    if (!array) return;
    Ref<NSArray> list = array->copy();
    for (NSObject* o : *list)
        insert(o);
}

void NSMutableSet::removeObject(NSObject* obj) {
    long i = table_.find(obj);
    if (i < 0) return;
    HashTable::Entry gone = table_.erase(static_cast<size_t>(i));
    ++mutations_;
}

void NSMutableSet::removeAllObjects() {
    if (table_.count() == 0) return;
    std::vector<HashTable::Entry> gone = table_.takeAll();
    ++mutations_;
}

void NSMutableSet::unionSet(NSSet* other) {
    if (!other || other == this) return;
    for (const Ref<NSObject>& o : elementsOf(other->table()))
        insert(o);
}

void NSMutableSet::minusSet(NSSet* other) {
    if (!other) return;
    if (other == this) {
        removeAllObjects();
        return;
    }
    for (const Ref<NSObject>& o : elementsOf(other->table()))
        removeObject(o);
}

void NSMutableSet::intersectSet(NSSet* other) {
    if (other == this) return;
    // Decide first (isEqual: may run arbitrary code), then rebuild with what stays.
    std::vector<HashTable::Entry> entries;
    for (size_t i = table_.nextLive(0); i < table_.size(); i = table_.nextLive(i + 1)) {
        entries.push_back(table_.at(i));
    }
    std::vector<bool> keep(entries.size());
    bool dropAny = false;
    for (size_t i = 0; i < entries.size(); ++i) {
        keep[i] = other && other->containsObject(entries[i].key);
        dropAny = dropAny || !keep[i];
    }
    if (!dropAny) return;
    std::vector<HashTable::Entry> gone = table_.takeAll();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (keep[i]) table_.insert(entries[i].key, nullptr, entries[i].hash);
    }
    ++mutations_;
}

void NSMutableSet::setSet(NSSet* other) {
    if (other == this) return;
    Ref<NSSet> keep(other);
    std::vector<HashTable::Entry> gone = table_.takeAll();
    ++mutations_;
    initWithSet(other);
}

Ref<NSObject> NSMutableSet::copyWithZone() {
    return make<NSSet>(&NSSet::initWithSet, this);
}
