// Unordered collections of distinct objects (hash/isEqual:), the immutable NSSet and its mutable
// subclass. Elements are retained, not copied, and enumerate in the order they were first added.
#pragma once

#include <functional>
#include <initializer_list>

#include "Foundation/NSDictionary.h"

class NSMutableSet;

class NSSet : public NSObject {
    NS_OBJECT(NSSet, NSObject)
    static void describeClass(RuntimeClass& c);

    using Block = std::function<void(NSObject* obj, bool* stop)>;

    // ---- creation ------------------------------------------------------------------------
    static Ref<NSSet> set();
    static Ref<NSSet> setWithObject(NSObject* obj);
    // A nil inside raises NSInvalidArgumentException.
    static Ref<NSSet> setWithObjects(std::initializer_list<NSObject*> objects);
    static Ref<NSSet> setWithArray(NSArray* array);
    static Ref<NSSet> setWithSet(NSSet* other);

    bool initWithArray(NSArray* array);
    bool initWithSet(NSSet* other);
    bool initWithObjects(std::initializer_list<NSObject*> objects);

    // ---- queries -------------------------------------------------------------------------
    NSUInteger count();
    bool containsObject(NSObject* obj);
    // The element equal to obj, or nil.
    Ref<NSObject> member(NSObject* obj);
    // The first element, or nil when empty.
    Ref<NSObject> anyObject();
    Ref<NSArray> allObjects();
    bool isEqualToSet(NSSet* other);
    bool isSubsetOfSet(NSSet* other);
    bool intersectsSet(NSSet* other);
    Ref<NSSet> setByAddingObject(NSObject* obj);
    Ref<NSSet> setByAddingObjectsFromSet(NSSet* other);
    Ref<NSEnumerator> objectEnumerator();
    void enumerateObjectsUsingBlock(const Block& block);
    void makeObjectsPerformSelector(SEL sel);

    // ---- NSObject ------------------------------------------------------------------------
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;  // the count
    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override;
    Ref<NSObject> mutableCopyWithZone() override;
    Ref<NSSet> copy();
    Ref<NSMutableSet> mutableCopy();
    // A set of each element's value for the key (NSNull for nil); "@key" asks the set itself.
    Ref<NSObject> valueForKey(NSString* key) override;

    // ---- C++ access ----------------------------------------------------------------------
    uint64_t mutationCount() const { return mutations_; }
    // for (NSObject* o : *set): borrowed elements; changing the set meanwhile raises
    // NSGenericException at the next step.
    using iterator = collection_detail::KeyIterator<NSSet>;
    iterator begin() { return iterator(this); }
    iterator::sentinel end() { return {}; }

    // Internal: the storage, for the enumerators and the description writer.
    collection_detail::HashTable& table() { return table_; }
    [[noreturn]] void raiseMutatedWhileEnumerated();

protected:
    // Adds unless an equal element is present; true when it added. No nil check.
    bool insert(NSObject* obj);

    collection_detail::HashTable table_;
    uint64_t mutations_ = 0;
};

class NSMutableSet : public NSSet {
    NS_OBJECT(NSMutableSet, NSSet)
    static void describeClass(RuntimeClass& c);

    static Ref<NSMutableSet> set();
    static Ref<NSMutableSet> setWithCapacity(NSUInteger capacity);
    static Ref<NSMutableSet> setWithObject(NSObject* obj);
    static Ref<NSMutableSet> setWithObjects(std::initializer_list<NSObject*> objects);
    static Ref<NSMutableSet> setWithArray(NSArray* array);
    static Ref<NSMutableSet> setWithSet(NSSet* other);
    bool initWithCapacity(NSUInteger capacity);

    // nil raises NSInvalidArgumentException; an element equal to one present changes nothing.
    void addObject(NSObject* obj);
    void addObjectsFromArray(NSArray* array);
    void removeObject(NSObject* obj);
    void removeAllObjects();
    void unionSet(NSSet* other);
    void minusSet(NSSet* other);
    void intersectSet(NSSet* other);
    void setSet(NSSet* other);

    Ref<NSObject> copyWithZone() override;
};
