#include "Foundation/NSDictionary.h"

#include <algorithm>
#include <cassert>
#include <typeinfo>
#include <utility>

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/PropertyListDescription.h"
#include "Foundation/Runtime.h"

// ---- the hash table --------------------------------------------------------------------------

namespace {
constexpr int32_t kEmpty = -1;
constexpr int32_t kRemoved = -2;
constexpr size_t kMinSlots = 8;
// Tables of up to this many entries have no index: a walk over so few hashes costs less than
// the index's upkeep, and most dictionaries (a document's objects, options) are that small.
constexpr size_t kLinearEntries = 16;
// Capacities given as hints are trusted only up to this many entries.
constexpr size_t kMaxHint = size_t{1} << 16;

size_t slotsFor(size_t entries) {
    size_t n = kMinSlots;
    while (n * 3 < entries * 4 + 4)
        n *= 2;  // load factor at most 3/4
    return n;
}
// An empty index of `count` slots (a power of two) and the shift that maps hashes onto it.
void resetSlots(std::vector<int32_t>& slots, unsigned& shift, size_t count) {
    slots.assign(count, kEmpty);
    unsigned bits = 0;
    while ((size_t{1} << bits) < count)
        ++bits;
    shift = 32 - bits;
}
}  // namespace

namespace collection_detail {

size_t HashTable::slotFor(NSUInteger hash) const {
    // Fibonacci hashing: spreads hashes that differ only in their low bits (small numbers).
    return static_cast<uint32_t>(hash * 2654435769u) >> shift_;
}

long HashTable::find(NSObject* key) {
    return key ? find(key, key->hash()) : -1;
}

long HashTable::find(NSObject* key, NSUInteger hash) {
    if (!key) return -1;
    if (slots_.empty()) {
        // A small table: its few entries are searched in order.
        for (size_t k = 0; k < entries_.size(); ++k) {
            Entry& e = entries_[k];
            if (!e.key || e.hash != hash) continue;
            if (e.key.get() == key) return static_cast<long>(k);
            Ref<NSObject> stored = e.key;  // held: isEqual: may run arbitrary code
            if (key->isEqual(stored)) return static_cast<long>(k);
        }
        return -1;
    }
    const size_t mask = slots_.size() - 1;
    size_t i = slotFor(hash);
    for (size_t probes = 0; probes < slots_.size(); ++probes, i = (i + 1) & mask) {
        int32_t s = slots_[i];
        if (s == kEmpty) return -1;
        if (s < 0) continue;
        Entry& e = entries_[static_cast<size_t>(s)];
        if (e.hash != hash) continue;
        if (e.key.get() == key) return s;
        Ref<NSObject> stored = e.key;  // held: isEqual: may run arbitrary code
        if (key->isEqual(stored)) return s;
    }
    return -1;
}

void HashTable::insert(Ref<NSObject> key, Ref<NSObject> value, NSUInteger hash) {
    if (slots_.empty() && entries_.size() < kLinearEntries) {
        entries_.push_back(Entry{std::move(key), std::move(value), hash});
        ++live_;
        return;
    }
    if ((used_ + 1) * 4 > slots_.size() * 3) rebuild(slotsFor(live_ + 1));
    entries_.push_back(Entry{std::move(key), std::move(value), hash});
    const size_t mask = slots_.size() - 1;
    size_t i = slotFor(hash);
    while (slots_[i] >= 0)
        i = (i + 1) & mask;
    if (slots_[i] == kEmpty) ++used_;
    slots_[i] = static_cast<int32_t>(entries_.size() - 1);
    ++live_;
}

HashTable::Entry HashTable::erase(size_t index) {
    Entry& e = entries_[index];
    if (!slots_.empty()) {
        const size_t mask = slots_.size() - 1;
        size_t i = slotFor(e.hash);
        while (slots_[i] != static_cast<int32_t>(index))
            i = (i + 1) & mask;
        slots_[i] = kRemoved;
    }
    Entry out = std::move(e);
    e.key = nullptr;
    e.value = nullptr;
    --live_;
    if (slots_.empty()) {
        if (live_ == 0) entries_.clear();  // the holes go with the last entry
        return out;
    }
    const size_t dead = entries_.size() - live_;
    if (live_ == 0 || (dead > 16 && dead > live_)) rebuild(slotsFor(live_));
    return out;
}

std::vector<HashTable::Entry> HashTable::takeAll() {
    std::vector<Entry> out;
    out.swap(entries_);
    slots_.clear();
    live_ = used_ = 0;
    shift_ = 32;
    return out;
}

void HashTable::reserve(size_t n) {
    n = std::min(n, kMaxHint);
    entries_.reserve(n);
    if (n > kLinearEntries && n * 4 > slots_.size() * 3) rebuild(slotsFor(n));
}

void HashTable::adopt(std::vector<Entry>&& entries, bool hashed) {
    if (entries.size() > kLinearEntries) {
        // Indexed: the vector becomes the table as well, and the index is built over it in one
        // pass; a later key equal to an earlier one gives it its value and leaves a hole.
        entries_ = std::move(entries);
        const size_t n = entries_.size();
        resetSlots(slots_, shift_, slotsFor(n));
        const size_t mask = slots_.size() - 1;
        size_t dropped = 0;
        for (size_t k = 0; k < n; ++k) {
            Entry& e = entries_[k];
            if (!hashed) e.hash = e.key->hash();
            long earlier = find(e.key, e.hash);
            if (earlier >= 0) {
                entries_[static_cast<size_t>(earlier)].value = std::move(e.value);
                e.key = nullptr;
                ++dropped;
                continue;
            }
            size_t i = slotFor(e.hash);
            while (slots_[i] != kEmpty)
                i = (i + 1) & mask;
            slots_[i] = static_cast<int32_t>(k);
        }
        used_ = live_ = n - dropped;
        if (dropped) rebuild(slotsFor(live_));
        return;
    }
    // Small: the vector becomes the table; a later key equal to an earlier one gives it its
    // value and leaves a hole.
    entries_ = std::move(entries);
    const size_t n = entries_.size();
    size_t dropped = 0;
    uint64_t seen = 0;  // a bit for each hash's low six bits: most keys meet no earlier one
    for (size_t k = 0; k < n; ++k) {
        Entry& e = entries_[k];
        if (!hashed) e.hash = e.key->hash();
        const uint64_t bit = uint64_t{1} << (e.hash & 63);
        const bool maybeEarlier = (seen & bit) != 0;
        seen |= bit;
        if (!maybeEarlier) continue;
        for (size_t j = 0; j < k; ++j) {
            Entry& earlier = entries_[j];
            if (!earlier.key || earlier.hash != e.hash) continue;
            if (earlier.key.get() != e.key.get() && !e.key->isEqual(earlier.key)) continue;
            earlier.value = std::move(e.value);
            e.key = nullptr;
            ++dropped;
            break;
        }
    }
    live_ = n - dropped;
    if (dropped) compact();
}

void HashTable::compact() {
    size_t out = 0;
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (!entries_[i].key) continue;
        if (out != i) entries_[out] = std::move(entries_[i]);
        ++out;
    }
    entries_.resize(out);
}

void HashTable::rebuild(size_t slotCount) {
    // Drop the holes left by removals, then index the entries anew.
    compact();
    const size_t out = entries_.size();
    slotCount = std::max(slotCount, slotsFor(out));
    resetSlots(slots_, shift_, slotCount);
    const size_t mask = slotCount - 1;
    for (size_t k = 0; k < entries_.size(); ++k) {
        size_t i = slotFor(entries_[k].hash);
        while (slots_[i] != kEmpty)
            i = (i + 1) & mask;
        slots_[i] = static_cast<int32_t>(k);
    }
    used_ = live_ = entries_.size();
}

namespace {
class TableEnumerator : public NSEnumerator {
    NS_OBJECT(TableEnumerator, NSEnumerator)
    TableEnumerator() = default;
    TableEnumerator(NSObject* owner, HashTable& table, const uint64_t& mutations, NSString* name,
                    bool values)
        : owner_(owner),
          table_(&table),
          mutations_(&mutations),
          expected_(mutations),
          name_(name),
          values_(values) {}

    Ref<NSObject> nextObject() override {
        if (!owner_) return nullptr;
        if (*mutations_ != expected_) {
            NSException::raise(NSGenericException,
                               NS("*** Collection <%@: %p> was mutated while being enumerated."),
                               name_, static_cast<void*>(owner_.get()));
        }
        next_ = table_->nextLive(next_);
        if (next_ >= table_->size()) {
            owner_ = nullptr;  // exhausted: let the collection go
            return nullptr;
        }
        HashTable::Entry& e = table_->at(next_++);
        return values_ ? e.value : e.key;
    }

private:
    Ref<NSObject> owner_;
    HashTable* table_ = nullptr;           // inside owner_
    const uint64_t* mutations_ = nullptr;  // inside owner_
    uint64_t expected_ = 0;
    NSString* name_ = nullptr;  // a literal
    bool values_ = false;
    size_t next_ = 0;
};
}  // namespace

Ref<NSEnumerator> tableEnumerator(NSObject* owner, HashTable& table, const uint64_t& mutations,
                                  NSString* ownerName, bool values) {
    return Ref<NSEnumerator>::adopt(
        new TableEnumerator(owner, table, mutations, ownerName, values));
}

}  // namespace collection_detail

using collection_detail::HashTable;

namespace {
[[noreturn]] void raiseNilObject(NSUInteger index) {
    NSException::raise(NSInvalidArgumentException,
                       NS("*** -[__NSPlaceholderDictionary initWithObjects:forKeys:count:]: "
                          "attempt to insert nil object from objects[%u]"),
                       index);
}

[[noreturn]] void raiseNilKey(NSUInteger index) {
    NSException::raise(NSInvalidArgumentException,
                       NS("*** -[__NSPlaceholderDictionary initWithObjects:forKeys:count:]: "
                          "attempt to insert nil key from keys[%u]"),
                       index);
}
}  // namespace

// ---- registration ----------------------------------------------------------------------------

void NSDictionary::describeClass(RuntimeClass& c) {
    c.method("count", &NSDictionary::count)
        .method("objectForKey:", &NSDictionary::objectForKey)
        .method("allKeys", &NSDictionary::allKeys)
        .method("allValues", &NSDictionary::allValues)
        .method("allKeysForObject:", &NSDictionary::allKeysForObject)
        .method("isEqualToDictionary:", &NSDictionary::isEqualToDictionary)
        .method("keysSortedByValueUsingSelector:", &NSDictionary::keysSortedByValueUsingSelector)
        .method("description", &NSDictionary::description);
}

void NSMutableDictionary::describeClass(RuntimeClass& c) {
    c.method("setObject:forKey:", &NSMutableDictionary::setObject)
        .method("removeObjectForKey:", &NSMutableDictionary::removeObjectForKey)
        .method("removeAllObjects", &NSMutableDictionary::removeAllObjects)
        .method("removeObjectsForKeys:", &NSMutableDictionary::removeObjectsForKeys)
        .method("addEntriesFromDictionary:", &NSMutableDictionary::addEntriesFromDictionary)
        .method("setDictionary:", &NSMutableDictionary::setDictionary);
}

// ---- creation --------------------------------------------------------------------------------

Ref<NSDictionary> NSDictionary::dictionary() {
    return alloc<NSDictionary>();
}

Ref<NSDictionary> NSDictionary::dictionaryWithObject(NSObject* obj, NSObject* key) {
    return make<NSDictionary>(&NSDictionary::initWithObjectsAndKeys,
                              std::initializer_list<NSObject*>{obj, key});
}

Ref<NSDictionary> NSDictionary::dictionaryWithObjectsAndKeys(
    std::initializer_list<NSObject*> list) {
    return make<NSDictionary>(&NSDictionary::initWithObjectsAndKeys, list);
}

Ref<NSDictionary> NSDictionary::dictionaryWithObjects(NSArray* objects, NSArray* keys) {
    return make<NSDictionary>(&NSDictionary::initWithObjects, objects, keys);
}

Ref<NSDictionary> NSDictionary::dictionaryWithDictionary(NSDictionary* other) {
    return make<NSDictionary>(
        static_cast<bool (NSDictionary::*)(NSDictionary*)>(&NSDictionary::initWithDictionary),
        other);
}

Ref<NSDictionary> NSDictionary::dictionaryWithPairs(
    std::initializer_list<std::pair<NSObject*, NSObject*>> pairs) {
    auto d = alloc<NSDictionary>();
    NSUInteger i = 0;
    for (const auto& [key, obj] : pairs) {
        if (!obj) raiseNilObject(i);
        if (!key) raiseNilKey(i);
        d->store(obj, key);
        ++i;
    }
    d->mutations_ = 0;
    return d;
}

Ref<NSDictionary> NSDictionary::dictionaryWithEntries(std::vector<HashTable::Entry>&& entries) {
    auto d = alloc<NSDictionary>();
    d->adoptEntries(std::move(entries));
    return d;
}

Ref<NSDictionary> NSDictionary::dictionaryWithHashedEntries(
    std::vector<HashTable::Entry>&& entries) {
    auto d = alloc<NSDictionary>();
    d->adoptEntries(std::move(entries), true);
    return d;
}

void NSDictionary::adoptEntries(std::vector<HashTable::Entry>&& entries, bool hashed) {
    for (size_t i = 0; i < entries.size(); ++i) {
        HashTable::Entry& e = entries[i];
        if (!e.value) raiseNilObject(static_cast<NSUInteger>(i));
        if (!e.key) raiseNilKey(static_cast<NSUInteger>(i));
        if (hashed) {
            // The reader's promise, checked where checks are built in.
            assert(NSString::isFixedTextString(e.key.get()) && e.hash == e.key->hash());
            continue;
        }
        // An immutable string is its own copy; asking it would only retain and release it.
        if (NSString::isFixedTextString(e.key.get())) continue;
        Ref<NSObject> copied = e.key->copy();
        if (copied.get() != e.key.get()) e.key = std::move(copied);
    }
    table_.adopt(std::move(entries), hashed);
}

bool NSDictionary::initWithDictionary(NSDictionary* other) {
    return initWithDictionary(other, false);
}

bool NSDictionary::initWithDictionary(NSDictionary* other, bool copyItems) {
    if (other) fillFrom(other, copyItems);
    return true;
}

bool NSDictionary::initWithObjects(NSArray* objects, NSArray* keys) {
    NSUInteger n = objects ? objects->count() : 0;
    NSUInteger k = keys ? keys->count() : 0;
    if (n != k) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[NSDictionary initWithObjects:forKeys:]: count of objects "
                              "(%u) differs from count of keys (%u)"),
                           n, k);
    }
    table_.reserve(n);
    for (NSUInteger i = 0; i < n; ++i)
        store(objects->objectAtIndex(i), keys->objectAtIndex(i));
    mutations_ = 0;
    return true;
}

bool NSDictionary::initWithObjectsAndKeys(std::initializer_list<NSObject*> list) {
    if (list.size() % 2 != 0) {
        NSException::raise(NSInvalidArgumentException,
                           NS("+[NSDictionary dictionaryWithObjectsAndKeys:]: second object of "
                              "each pair must be non-nil.  Or, did you forget to nil-terminate "
                              "your parameter list?"));
    }
    NSObject* const* p = list.begin();
    NSUInteger pairs = static_cast<NSUInteger>(list.size() / 2);
    for (NSUInteger i = 0; i < pairs; ++i) {
        if (!p[2 * i]) raiseNilObject(i);
        if (!p[2 * i + 1]) raiseNilKey(i);
    }
    table_.reserve(pairs);
    for (NSUInteger i = 0; i < pairs; ++i)
        store(p[2 * i], p[2 * i + 1]);
    mutations_ = 0;
    return true;
}

void NSDictionary::fillFrom(NSDictionary* other, bool copyItems) {
    Access access(this), source(other);
    // Snapshot first: other may be this dictionary, and copies may run arbitrary code.
    std::vector<HashTable::Entry> entries;
    entries.reserve(other->table_.count());
    HashTable& t = other->table_;
    for (size_t i = t.nextLive(0); i < t.size(); i = t.nextLive(i + 1))
        entries.push_back(t.at(i));
    if (copyItems) {
        for (auto& e : entries)
            e.value = e.value->copy();
    }
    if (table_.count() == 0) {
        // The keys are distinct and already copies: they go in as they are.
        table_.reserve(entries.size());
        for (auto& e : entries)
            table_.insert(std::move(e.key), std::move(e.value), e.hash);
        ++mutations_;
        return;
    }
    for (auto& e : entries)
        store(e.value, e.key);
}

void NSDictionary::store(NSObject* obj, NSObject* key) {
    NSUInteger h = key->hash();
    long i = table_.find(key, h);
    if (i >= 0) {
        // The key keeps its place (and its first copy); only the value changes.
        Ref<NSObject> old =
            std::exchange(table_.at(static_cast<size_t>(i)).value, Ref<NSObject>(obj));
        ++mutations_;
        return;
    }
    Ref<NSObject> copied = key->copy();
    if (copied.get() != key) h = copied->hash();
    table_.insert(std::move(copied), Ref<NSObject>(obj), h);
    ++mutations_;
}

// ---- queries ---------------------------------------------------------------------------------

NSUInteger NSDictionary::count() {
    Access access(this);
    return static_cast<NSUInteger>(table_.count());
}

Ref<NSObject> NSDictionary::objectForKey(NSObject* key) {
    Access access(this);
    long i = table_.find(key);
    return i < 0 ? nullptr : table_.at(static_cast<size_t>(i)).value;
}

Ref<NSArray> NSDictionary::allKeys() {
    Access access(this);
    std::vector<Ref<NSObject>> keys;
    keys.reserve(table_.count());
    for (NSObject* k : *this)
        keys.emplace_back(k);
    return NSArray::arrayWithVector(std::move(keys));
}

Ref<NSArray> NSDictionary::allValues() {
    Access access(this);
    std::vector<Ref<NSObject>> values;
    values.reserve(table_.count());
    for (size_t i = table_.nextLive(0); i < table_.size(); i = table_.nextLive(i + 1)) {
        values.push_back(table_.at(i).value);
    }
    return NSArray::arrayWithVector(std::move(values));
}

Ref<NSArray> NSDictionary::allKeysForObject(NSObject* obj) {
    Access access(this);
    std::vector<Ref<NSObject>> keys;
    if (!obj) return NSArray::array();
    std::vector<HashTable::Entry> entries;
    for (size_t i = table_.nextLive(0); i < table_.size(); i = table_.nextLive(i + 1)) {
        entries.push_back(table_.at(i));
    }
    for (auto& e : entries) {
        if (e.value.get() == obj || obj->isEqual(e.value)) keys.push_back(e.key);
    }
    return NSArray::arrayWithVector(std::move(keys));
}

Ref<NSArray> NSDictionary::objectsForKeys(NSArray* keys, NSObject* notFoundMarker) {
    Access access(this);
    if (!notFoundMarker) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[NSDictionary objectsForKeys:notFoundMarker:]: marker cannot "
                              "be nil"));
    }
    std::vector<Ref<NSObject>> out;
    if (!keys) return NSArray::array();
    out.reserve(keys->count());
    for (NSObject* k : *keys) {
        Ref<NSObject> v = objectForKey(k);
        out.push_back(v ? v : Ref<NSObject>(notFoundMarker));
    }
    return NSArray::arrayWithVector(std::move(out));
}

Ref<NSArray> NSDictionary::keysSortedByValueUsingSelector(SEL comparator) {
    return keysSortedByValueUsingComparator([comparator](NSObject* a, NSObject* b) {
        return collection_detail::compareWithSelector(a, b, comparator);
    });
}

Ref<NSArray> NSDictionary::keysSortedByValueUsingComparator(const Comparator& cmp) {
    Access access(this);
    std::vector<HashTable::Entry> entries;
    entries.reserve(table_.count());
    for (size_t i = table_.nextLive(0); i < table_.size(); i = table_.nextLive(i + 1)) {
        entries.push_back(table_.at(i));
    }
    std::vector<size_t> order =
        collection_detail::stableOrder(entries.size(), [&](size_t a, size_t b) {
            return cmp(entries[a].value, entries[b].value) == NSOrderedAscending;
        });
    std::vector<Ref<NSObject>> keys;
    keys.reserve(order.size());
    for (size_t i : order)
        keys.push_back(entries[i].key);
    return NSArray::arrayWithVector(std::move(keys));
}

bool NSDictionary::isEqualToDictionary(NSDictionary* other) {
    Access access(this);
    if (other == this) return true;
    if (!other || other->count() != count()) return false;
    std::vector<HashTable::Entry> entries;
    for (size_t i = table_.nextLive(0); i < table_.size(); i = table_.nextLive(i + 1)) {
        entries.push_back(table_.at(i));
    }
    for (auto& e : entries) {
        Ref<NSObject> v = other->objectForKey(e.key);
        if (!v || !objectsEqual(e.value, v)) return false;
    }
    return true;
}

Ref<NSEnumerator> NSDictionary::keyEnumerator() {
    if (weak_) return dictionaryWithDictionary(this)->keyEnumerator();
    return collection_detail::tableEnumerator(this, table_, mutations_, NS("__NSDictionaryM"),
                                              false);
}

Ref<NSEnumerator> NSDictionary::objectEnumerator() {
    if (weak_) return dictionaryWithDictionary(this)->objectEnumerator();
    return collection_detail::tableEnumerator(this, table_, mutations_, NS("__NSDictionaryM"),
                                              true);
}

void NSDictionary::enumerateKeysAndObjectsUsingBlock(const Block& block) {
    enumerateKeysAndObjectsWithOptions(0, block);
}

void NSDictionary::enumerateKeysAndObjectsWithOptions(NSEnumerationOptions options,
                                                      const Block& block) {
    const bool reverse = (options & NSEnumerationReverse) != 0;
    const uint64_t mutations = mutations_;
    if (!reverse) {
        // In order, straight over the table: a change made by the block raises before the
        // table is read again.
        // Only a mutable dictionary can lose an entry while the block holds it.
        const bool holdEntries = is<NSMutableDictionary>(this);
        bool stop = false;
        for (size_t i = table_.nextLive(0); i < table_.size();) {
            NSObject* key = table_.at(i).key.get();
            NSObject* value = table_.at(i).value.get();
            if (holdEntries) {
                Ref<NSObject> heldKey(key), heldValue(value);
                block(key, value, &stop);
            } else {
                block(key, value, &stop);
            }
            if (stop) return;
            if (mutations_ != mutations) raiseMutatedWhileEnumerated();
            i = table_.nextLive(i + 1);
        }
        return;
    }
    std::vector<size_t> live;
    live.reserve(table_.count());
    for (size_t i = table_.nextLive(0); i < table_.size(); i = table_.nextLive(i + 1)) {
        live.push_back(i);
    }
    if (reverse) std::reverse(live.begin(), live.end());
    bool stop = false;
    for (size_t k = 0; k < live.size() && !stop; ++k) {
        Ref<NSObject> key = table_.at(live[k]).key;
        Ref<NSObject> value = table_.at(live[k]).value;
        block(key, value, &stop);
        if (!stop && mutations_ != mutations) raiseMutatedWhileEnumerated();
    }
}

void collection_detail::raiseMutatedWhileEnumerated(const char* kind, NSObject* collection) {
    NSException::raise(NSGenericException,
                       NS("*** Collection <%s: %p> was mutated while being enumerated."), kind,
                       static_cast<void*>(collection));
}

void NSDictionary::raiseMutatedWhileEnumerated() {
    collection_detail::raiseMutatedWhileEnumerated("__NSDictionaryM", this);
}

// ---- non-retaining mode ----------------------------------------------------------------------

NSDictionary::Access::Access(NSDictionary* d) {
    if (!d || !d->weak_) return;
    keep_ = d;
    if (d->weak_->depth++ > 0) return;
    // Entries whose value's destruction has begun drop out here.
    d->table_.reserve(d->weak_->entries.size());
    for (WeakEntry& e : d->weak_->entries) {
        if (Ref<NSObject> value = e.value.lock())
            d->table_.insert(std::move(e.key), std::move(value), e.hash);
    }
    d->weak_->entries.clear();
}

NSDictionary::Access::~Access() {
    if (!keep_) return;
    NSDictionary* d = keep_.get();
    if (--d->weak_->depth > 0) return;
    std::vector<HashTable::Entry> held = d->table_.takeAll();
    std::vector<WeakEntry> entries;
    entries.reserve(held.size());
    for (HashTable::Entry& e : held) {
        if (e.key) entries.push_back(WeakEntry{e.key, Weak<NSObject>(e.value), e.hash});
    }
    d->weak_->entries.swap(entries);
    // `held` lets go of the values only now, with the dictionary consistent again.
}

NSDictionary::iterator NSDictionary::begin() {
    if (!weak_) return iterator(this);
    return iterator(dictionaryWithDictionary(this).get());
}

Ref<NSMutableDictionary> NSMutableDictionary::nonRetainingDictionary() {
    auto d = alloc<NSMutableDictionary>();
    d->weak_ = std::make_unique<WeakEntries>();
    return d;
}

// ---- NSObject --------------------------------------------------------------------------------

bool NSDictionary::isEqual(NSObject* other) {
    if (other == this) return true;
    auto* d = dynamic_cast<NSDictionary*>(other);
    return d && isEqualToDictionary(d);
}

NSUInteger NSDictionary::hash() {
    return count();
}

Ref<NSString> NSDictionary::description() {
    Access access(this);
    return propertyListDescription(this, 0);
}

Ref<NSObject> NSDictionary::copyWithZone() {
    return Ref<NSObject>(this);
}

Ref<NSObject> NSDictionary::mutableCopyWithZone() {
    Access access(this);
    auto d = alloc<NSMutableDictionary>();
    d->fillFrom(this, false);
    d->mutations_ = 0;
    return d;
}

Ref<NSDictionary> NSDictionary::copy() {
    return cast<NSDictionary>(copyWithZone());
}

Ref<NSMutableDictionary> NSDictionary::mutableCopy() {
    return cast<NSMutableDictionary>(mutableCopyWithZone());
}

Ref<NSObject> NSDictionary::valueForKey(NSString* key) {
    Access access(this);
    if (key && key->hasPrefix(NS("@"))) return NSObject::valueForKey(key->substringFromIndex(1));
    return objectForKey(key);
}

// ---- NSMutableDictionary ---------------------------------------------------------------------

Ref<NSMutableDictionary> NSMutableDictionary::dictionary() {
    return alloc<NSMutableDictionary>();
}

Ref<NSMutableDictionary> NSMutableDictionary::dictionaryWithCapacity(NSUInteger capacity) {
    return make<NSMutableDictionary>(&NSMutableDictionary::initWithCapacity, capacity);
}

Ref<NSMutableDictionary> NSMutableDictionary::dictionaryWithObject(NSObject* obj, NSObject* key) {
    return make<NSMutableDictionary>(&NSDictionary::initWithObjectsAndKeys,
                                     std::initializer_list<NSObject*>{obj, key});
}

Ref<NSMutableDictionary> NSMutableDictionary::dictionaryWithObjectsAndKeys(
    std::initializer_list<NSObject*> list) {
    return make<NSMutableDictionary>(&NSDictionary::initWithObjectsAndKeys, list);
}

Ref<NSMutableDictionary> NSMutableDictionary::dictionaryWithObjects(NSArray* objects,
                                                                    NSArray* keys) {
    return make<NSMutableDictionary>(&NSDictionary::initWithObjects, objects, keys);
}

Ref<NSMutableDictionary> NSMutableDictionary::dictionaryWithDictionary(NSDictionary* other) {
    return make<NSMutableDictionary>(
        static_cast<bool (NSDictionary::*)(NSDictionary*)>(&NSDictionary::initWithDictionary),
        other);
}

Ref<NSMutableDictionary> NSMutableDictionary::dictionaryWithPairs(
    std::initializer_list<std::pair<NSObject*, NSObject*>> pairs) {
    auto d = alloc<NSMutableDictionary>();
    for (const auto& [key, obj] : pairs)
        d->setObject(obj, key);
    d->mutations_ = 0;
    return d;
}

Ref<NSMutableDictionary> NSMutableDictionary::dictionaryWithEntries(
    std::vector<HashTable::Entry>&& entries) {
    auto d = alloc<NSMutableDictionary>();
    d->adoptEntries(std::move(entries));
    return d;
}

Ref<NSMutableDictionary> NSMutableDictionary::dictionaryWithHashedEntries(
    std::vector<HashTable::Entry>&& entries) {
    auto d = alloc<NSMutableDictionary>();
    d->adoptEntries(std::move(entries), true);
    return d;
}

bool NSMutableDictionary::initWithCapacity(NSUInteger capacity) {
    table_.reserve(capacity);
    return true;
}

void NSMutableDictionary::setObject(NSObject* obj, NSObject* key) {
    Access access(this);
    if (!key) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[__NSDictionaryM setObject:forKey:]: key cannot be nil"));
    }
    if (!obj) {
        NSException::raise(
            NSInvalidArgumentException,
            NS("*** -[__NSDictionaryM setObject:forKey:]: object cannot be nil (key: %@)"), key);
    }
    store(obj, key);
}

void NSMutableDictionary::removeObjectForKey(NSObject* key) {
    Access access(this);
    if (!key) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[__NSDictionaryM removeObjectForKey:]: key cannot be nil"));
    }
    long i = table_.find(key);
    if (i < 0) return;
    HashTable::Entry gone = table_.erase(static_cast<size_t>(i));
    ++mutations_;
}

void NSMutableDictionary::removeAllObjects() {
    Access access(this);
    if (table_.count() == 0) return;
    std::vector<HashTable::Entry> gone = table_.takeAll();
    ++mutations_;
}

void NSMutableDictionary::removeObjectsForKeys(NSArray* keys) {
    Access access(this);
    if (!keys) return;
    Ref<NSArray> list = keys->copy();  // keys may be this dictionary's own allKeys, or change
    for (NSObject* k : *list)
        removeObjectForKey(k);
}

void NSMutableDictionary::addEntriesFromDictionary(NSDictionary* other) {
    Access access(this);
    if (!other || other == this) return;
    fillFrom(other, false);
}

void NSMutableDictionary::setDictionary(NSDictionary* other) {
    Access access(this);
    if (other == this) return;
    Ref<NSDictionary> keep(other);  // other may be held only by one of our values
    std::vector<HashTable::Entry> gone = table_.takeAll();
    ++mutations_;
    if (other) fillFrom(other, false);
}

void NSMutableDictionary::setValue(NSObject* value, NSString* key) {
    Access access(this);
    if (value) {
        setObject(value, key);
    } else {
        removeObjectForKey(key);
    }
}

Ref<NSObject> NSMutableDictionary::copyWithZone() {
    Access access(this);
    auto d = alloc<NSDictionary>();
    d->initWithDictionary(this);
    return d;
}
