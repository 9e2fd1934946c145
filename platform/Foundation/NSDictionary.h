// Keyed collections: the immutable NSDictionary and its mutable subclass. Keys are compared with
// hash/isEqual: and copied on insertion (NSCopying); entries keep the order in which their keys
// were first inserted, so enumeration and descriptions are deterministic.
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "Foundation/NSEnumerator.h"

class NSString;
class NSArray;
class NSMutableDictionary;

namespace collection_detail {
// The hashed storage that dictionaries and sets share: entries in insertion order (removed ones
// leave a hole until the next compaction) and, past a few entries, an open-addressing index over
// them. Each key's hash is kept, so growing never calls back into the keys.
class HashTable {
public:
    struct Entry {
        Ref<NSObject> key;  // nil for a removed entry
        Ref<NSObject> value;
        NSUInteger hash = 0;
    };

    size_t count() const { return live_; }
    // The entry index holding a key equal to `key`, or -1.
    long find(NSObject* key);
    long find(NSObject* key, NSUInteger hash);
    // Appends an entry; the caller has made sure that no equal key is present.
    void insert(Ref<NSObject> key, Ref<NSObject> value, NSUInteger hash);
    // Removes the entry and hands back its contents, for the caller to release once the table
    // is consistent again (releasing may run code that reads the table).
    Entry erase(size_t index);
    // Empties the table and hands back what it held, for the same reason.
    std::vector<Entry> takeAll();
    void reserve(size_t n);
    // Takes over the entries of an empty table as they are, hashes filled in (or, when
    // `hashed`, as given). A later key equal to an earlier one gives that one its value, which
    // keeps its place, and is dropped.
    void adopt(std::vector<Entry>&& entries, bool hashed = false);

    // Entry access for iteration: indices run to size(); skip entries whose key is nil.
    size_t size() const { return entries_.size(); }
    Entry& at(size_t index) { return entries_[index]; }
    size_t nextLive(size_t from) const {
        while (from < entries_.size() && !entries_[from].key)
            ++from;
        return from;
    }

private:
    // Drops the holes left by removals (the index, if any, is then stale).
    void compact();
    // Compacts and indexes the entries in a table of slotCount slots or more.
    void rebuild(size_t slotCount);
    size_t slotFor(NSUInteger hash) const;

    std::vector<Entry> entries_;
    std::vector<int32_t> slots_;  // entry index, kEmpty or kRemoved
    size_t live_ = 0;
    size_t used_ = 0;  // slots that are not kEmpty
    unsigned shift_ = 32;
};

// Walks the live keys of a dictionary's or a set's table; a change to the owner meanwhile
// raises NSGenericException at the next step.
template <class Owner>
class KeyIterator {
public:
    struct sentinel {};
    explicit KeyIterator(Owner* o)
        : o_(o), i_(o->table().nextLive(0)), mutations_(o->mutationCount()) {}
    NSObject* operator*() const { return o_->table().at(i_).key.get(); }
    KeyIterator& operator++() {
        if (o_->mutationCount() != mutations_) o_->raiseMutatedWhileEnumerated();
        i_ = o_->table().nextLive(i_ + 1);
        return *this;
    }
    bool operator==(sentinel) const { return i_ >= o_->table().size(); }

private:
    Ref<Owner> o_;
    size_t i_;
    uint64_t mutations_;
};

// The platform's complaint about a collection changed while it was being walked.
[[noreturn]] void raiseMutatedWhileEnumerated(const char* kind, NSObject* collection);

// An enumerator over a dictionary's keys or values or a set's elements, in entry order. It keeps
// the owner alive and raises when the owner changes while it is in use.
Ref<NSEnumerator> tableEnumerator(NSObject* owner, HashTable& table, const uint64_t& mutations,
                                  NSString* ownerName, bool values);
}  // namespace collection_detail

class NSDictionary : public NSObject {
    NS_OBJECT(NSDictionary, NSObject)
    static void describeClass(RuntimeClass& c);

    using Block = std::function<void(NSObject* key, NSObject* obj, bool* stop)>;
    using Comparator = std::function<NSComparisonResult(NSObject*, NSObject*)>;

    // ---- creation ------------------------------------------------------------------------
    static Ref<NSDictionary> dictionary();
    static Ref<NSDictionary> dictionaryWithObject(NSObject* obj, NSObject* key);
    // object, key, object, key ... as the platform's nil-terminated list; an odd count or a
    // nil raises NSInvalidArgumentException.
    static Ref<NSDictionary> dictionaryWithObjectsAndKeys(std::initializer_list<NSObject*> list);
    static Ref<NSDictionary> dictionaryWithObjects(NSArray* objects, NSArray* keys);
    static Ref<NSDictionary> dictionaryWithDictionary(NSDictionary* other);
    // (key, value) pairs.
    static Ref<NSDictionary> dictionaryWithPairs(
        std::initializer_list<std::pair<NSObject*, NSObject*>> pairs);
    // Takes over (key, object) entries without retaining them again: the form for readers that
    // build many dictionaries. Nil keys or objects raise NSInvalidArgumentException; keys are
    // copied as on any insertion; a later key equal to an earlier one replaces that one's object.
    static Ref<NSDictionary> dictionaryWithEntries(
        std::vector<collection_detail::HashTable::Entry>&& entries);
    // As NSMutableDictionary::dictionaryWithHashedEntries, for an immutable dictionary.
    static Ref<NSDictionary> dictionaryWithHashedEntries(
        std::vector<collection_detail::HashTable::Entry>&& entries);

    bool initWithDictionary(NSDictionary* other);
    bool initWithDictionary(NSDictionary* other, bool copyItems);
    bool initWithObjects(NSArray* objects, NSArray* keys);
    bool initWithObjectsAndKeys(std::initializer_list<NSObject*> list);

    // ---- property-list files -------------------------------------------------------------
    // nil when the file is missing, malformed or does not hold a dictionary.
    static Ref<NSDictionary> dictionaryWithContentsOfFile(NSString* path);
    bool initWithContentsOfFile(NSString* path);
    // Writes the dictionary as an XML property list; false when a key is not a string, a value
    // is not a property-list value or the file cannot be written.
    bool writeToFile(NSString* path, bool atomically);

    // ---- queries -------------------------------------------------------------------------
    NSUInteger count();
    Ref<NSObject> objectForKey(NSObject* key);  // nil when absent
    Ref<NSArray> allKeys();                     // insertion order
    Ref<NSArray> allValues();
    Ref<NSArray> allKeysForObject(NSObject* obj);
    // The values for the keys, with the marker for each missing key.
    Ref<NSArray> objectsForKeys(NSArray* keys, NSObject* notFoundMarker);
    Ref<NSArray> keysSortedByValueUsingSelector(SEL comparator);
    Ref<NSArray> keysSortedByValueUsingComparator(const Comparator& cmp);
    bool isEqualToDictionary(NSDictionary* other);

    Ref<NSEnumerator> keyEnumerator();
    Ref<NSEnumerator> objectEnumerator();
    void enumerateKeysAndObjectsUsingBlock(const Block& block);
    void enumerateKeysAndObjectsWithOptions(NSEnumerationOptions options, const Block& block);

    // ---- NSObject ------------------------------------------------------------------------
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;  // the count
    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override;
    Ref<NSObject> mutableCopyWithZone() override;
    Ref<NSDictionary> copy();
    Ref<NSMutableDictionary> mutableCopy();
    // objectForKey:, except that "@key" asks the dictionary itself ("@count").
    Ref<NSObject> valueForKey(NSString* key) override;

    // ---- non-retaining mode --------------------------------------------------------------
    // NO for a dictionary made by NSMutableDictionary::nonRetainingDictionary(): it retains
    // its keys but not its values, and an entry whose value is freed drops out of it.
    bool retainsValues() const { return !weak_; }

    // ---- C++ access ----------------------------------------------------------------------
    uint64_t mutationCount() const { return mutations_; }
    // for (NSObject* key : *dict): borrowed keys in insertion order; changing the dictionary
    // meanwhile raises NSGenericException at the next step. A non-retaining dictionary is
    // walked over a snapshot that holds its values.
    using iterator = collection_detail::KeyIterator<NSDictionary>;
    iterator begin();
    iterator::sentinel end() { return {}; }

    // Internal: the storage, for the enumerators and the description writer, which read it
    // inside an Access.
    collection_detail::HashTable& table() { return table_; }
    [[noreturn]] void raiseMutatedWhileEnumerated();

    // Opened by every operation. A non-retaining dictionary keeps its values as zeroing weak
    // references between operations and holds them in the table while the outermost
    // operation runs.
    class Access {
    public:
        explicit Access(NSDictionary* d);
        ~Access();
        Access(const Access&) = delete;
        Access& operator=(const Access&) = delete;

    private:
        Ref<NSDictionary> keep_;  // only for a non-retaining dictionary
    };

protected:
    // Inserts or replaces; the key is copied when it is new. No nil checks.
    void store(NSObject* obj, NSObject* key);
    void fillFrom(NSDictionary* other, bool copyItems);
    // Fills an empty dictionary from entries as dictionaryWithEntries() describes, or as
    // dictionaryWithHashedEntries() does when `hashed`.
    void adoptEntries(std::vector<collection_detail::HashTable::Entry>&& entries,
                      bool hashed = false);

    struct WeakEntry {
        Ref<NSObject> key;
        Weak<NSObject> value;
        NSUInteger hash = 0;
    };
    struct WeakEntries {
        std::vector<WeakEntry> entries;
        unsigned depth = 0;
    };

    collection_detail::HashTable table_;
    uint64_t mutations_ = 0;
    std::unique_ptr<WeakEntries> weak_;
};

class NSMutableDictionary : public NSDictionary {
    NS_OBJECT(NSMutableDictionary, NSDictionary)
    static void describeClass(RuntimeClass& c);

    static Ref<NSMutableDictionary> dictionary();
    static Ref<NSMutableDictionary> dictionaryWithCapacity(NSUInteger capacity);
    static Ref<NSMutableDictionary> dictionaryWithObject(NSObject* obj, NSObject* key);
    static Ref<NSMutableDictionary> dictionaryWithObjectsAndKeys(
        std::initializer_list<NSObject*> list);
    static Ref<NSMutableDictionary> dictionaryWithObjects(NSArray* objects, NSArray* keys);
    static Ref<NSMutableDictionary> dictionaryWithDictionary(NSDictionary* other);
    static Ref<NSMutableDictionary> dictionaryWithPairs(
        std::initializer_list<std::pair<NSObject*, NSObject*>> pairs);
    static Ref<NSMutableDictionary> dictionaryWithEntries(
        std::vector<collection_detail::HashTable::Entry>&& entries);
    // The same for a reader that already holds every key as an immutable string (its own copy)
    // and has filled in each entry's hash with its key's: neither is asked of the keys again.
    static Ref<NSMutableDictionary> dictionaryWithHashedEntries(
        std::vector<collection_detail::HashTable::Entry>&& entries);
    bool initWithCapacity(NSUInteger capacity);
    // An empty dictionary that retains its keys but not its values (see retainsValues()).
    // Its copies are ordinary dictionaries.
    static Ref<NSMutableDictionary> nonRetainingDictionary();
    // The dictionary and the containers inside it are mutable.
    static Ref<NSMutableDictionary> dictionaryWithContentsOfFile(NSString* path);

    // A nil object or key raises NSInvalidArgumentException. Replacing keeps the key's place.
    void setObject(NSObject* obj, NSObject* key);
    void removeObjectForKey(NSObject* key);
    void removeAllObjects();
    void removeObjectsForKeys(NSArray* keys);
    void addEntriesFromDictionary(NSDictionary* other);
    void setDictionary(NSDictionary* other);

    // Key-value coding: sets the value for the key, or removes the key for nil.
    void setValue(NSObject* value, NSString* key) override;
    Ref<NSObject> copyWithZone() override;
};
