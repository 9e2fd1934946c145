// Ordered collections: the immutable NSArray and its mutable subclass. Elements are retained
// objects, never nil; equality of elements is isEqual:. A mutable array counts its mutations so
// that enumerations notice changes made under them.
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "Foundation/NSEnumerator.h"

class NSString;
class NSMutableArray;

namespace collection_detail {
// A stable merge sort of the positions 0..n-1 under a "less" over positions. It stays within
// bounds whatever the ordering answers, so a careless comparator cannot corrupt memory.
std::vector<size_t> stableOrder(size_t n, const std::function<bool(size_t, size_t)>& less);
// Sends the comparison selector ("compare:") to a with b through the runtime.
NSComparisonResult compareWithSelector(NSObject* a, NSObject* b, SEL sel);
}  // namespace collection_detail

class NSArray : public NSObject {
    NS_OBJECT(NSArray, NSObject)
    static void describeClass(RuntimeClass& c);

    using Comparator = std::function<NSComparisonResult(NSObject*, NSObject*)>;
    using SortFunction = NSInteger (*)(NSObject*, NSObject*, void*);
    using Block = std::function<void(NSObject* obj, NSUInteger idx, bool* stop)>;

    // ---- creation ------------------------------------------------------------------------
    static Ref<NSArray> array();
    static Ref<NSArray> arrayWithObject(NSObject* obj);
    // The C++ form of the nil-terminated list; a nil inside raises NSInvalidArgumentException.
    static Ref<NSArray> arrayWithObjects(std::initializer_list<NSObject*> objects);
    static Ref<NSArray> arrayWithArray(NSArray* other);
    static Ref<NSArray> arrayWithVector(std::vector<Ref<NSObject>> objects);
    template <class T>
    static Ref<NSArray> arrayWithVector(const std::vector<Ref<T>>& objects) {
        return arrayWithVector(std::vector<Ref<NSObject>>(objects.begin(), objects.end()));
    }

    bool initWithArray(NSArray* other);
    bool initWithArray(NSArray* other, bool copyItems);
    bool initWithObjects(std::initializer_list<NSObject*> objects);

    // ---- property-list files -------------------------------------------------------------
    // nil when the file is missing, malformed or does not hold an array.
    static Ref<NSArray> arrayWithContentsOfFile(NSString* path);
    bool initWithContentsOfFile(NSString* path);
    // Writes the array as an XML property list; false when an element is not a property-list
    // value or the file cannot be written.
    bool writeToFile(NSString* path, bool atomically);

    // ---- queries -------------------------------------------------------------------------
    NSUInteger count();
    // Raises NSRangeException for an index at or past the end.
    Ref<NSObject> objectAtIndex(NSUInteger index);
    Ref<NSObject> firstObject();  // nil when empty
    Ref<NSObject> lastObject();   // nil when empty
    bool containsObject(NSObject* obj);
    NSUInteger indexOfObject(NSObject* obj);  // by isEqual:, NSNotFound when absent
    NSUInteger indexOfObject(NSObject* obj, NSRange range);
    NSUInteger indexOfObjectIdenticalTo(NSObject* obj);
    bool isEqualToArray(NSArray* other);

    // ---- derived arrays ------------------------------------------------------------------
    Ref<NSArray> arrayByAddingObject(NSObject* obj);
    Ref<NSArray> arrayByAddingObjectsFromArray(NSArray* other);
    Ref<NSArray> subarrayWithRange(NSRange range);
    // The elements' descriptions joined by the separator.
    Ref<NSString> componentsJoinedByString(NSString* separator);
    // Stable sorts. The selector names a comparison method of the elements ("compare:"),
    // called through the runtime.
    Ref<NSArray> sortedArrayUsingSelector(SEL comparator);
    Ref<NSArray> sortedArrayUsingComparator(const Comparator& cmp);
    Ref<NSArray> sortedArrayUsingFunction(SortFunction fn, void* context);

    // ---- sending and enumerating ---------------------------------------------------------
    void makeObjectsPerformSelector(SEL sel);
    void makeObjectsPerformSelector(SEL sel, NSObject* arg);
    void enumerateObjectsUsingBlock(const Block& block);
    void enumerateObjectsWithOptions(NSEnumerationOptions options, const Block& block);
    Ref<NSEnumerator> objectEnumerator();
    Ref<NSEnumerator> reverseObjectEnumerator();

    // ---- NSObject ------------------------------------------------------------------------
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;  // the count, as the platform does
    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override;
    Ref<NSObject> mutableCopyWithZone() override;
    Ref<NSArray> copy();
    Ref<NSMutableArray> mutableCopy();
    // An array of each element's value for the key (NSNull for nil); "@key" asks the array
    // itself ("@count").
    Ref<NSObject> valueForKey(NSString* key) override;
    // Sets the value on every element.
    void setValue(NSObject* value, NSString* key) override;

    // ---- non-retaining mode --------------------------------------------------------------
    // NO for an array made by NSMutableArray::nonRetainingArray(): it holds its elements
    // without owning them (adding does not retain, removing does not release), so that lists
    // of delegates never keep their members alive. An element that is freed drops out of it.
    bool retainsElements() const { return !weak_; }

    // ---- C++ access ----------------------------------------------------------------------
    // Grows with every change of a mutable array; 0 for an immutable one.
    uint64_t mutationCount() const { return mutations_; }
    // for (NSObject* o : *array): borrowed elements; changing the array meanwhile raises
    // NSGenericException at the next step. A non-retaining array is walked over a snapshot
    // that holds its elements.
    class iterator {
    public:
        struct sentinel {};
        iterator(NSArray* a, NSArray* items)
            : owner_(a), a_(items), i_(0), mutations_(a->mutations_) {}
        NSObject* operator*() const { return a_->items_[i_].get(); }
        iterator& operator++() {
            if (owner_->mutations_ != mutations_) owner_->raiseMutatedWhileEnumerated();
            ++i_;
            return *this;
        }
        bool operator==(sentinel) const { return i_ >= a_->items_.size(); }

    private:
        Ref<NSArray> owner_, a_;
        size_t i_;
        uint64_t mutations_;
    };
    iterator begin();
    iterator::sentinel end() { return {}; }
    [[noreturn]] void raiseMutatedWhileEnumerated();

protected:
    // The name the platform's messages use for this kind of array.
    NSString* internalName();
    [[noreturn]] void raiseIndexBeyondBounds(NSString* method, NSUInteger index);
    [[noreturn]] void raiseRangeBeyondBounds(NSString* method, NSRange range);
    void checkIndex(NSString* method, NSUInteger index);
    void checkRange(NSString* method, NSRange range);
    std::vector<Ref<NSObject>> sortedItems(const Comparator& cmp);
    // The elements of another array (or this one), held.
    static std::vector<Ref<NSObject>> itemsOf(NSArray* a);

    // Opened by every operation. A non-retaining array keeps its elements as zeroing weak
    // references between operations and as held ones (items_) while the outermost operation
    // runs, so that none of them can vanish under the code that walks them.
    class Access {
    public:
        explicit Access(NSArray* a);
        ~Access();
        Access(const Access&) = delete;
        Access& operator=(const Access&) = delete;

    private:
        Ref<NSArray> keep_;  // only for a non-retaining array: it may lose its last owner
    };
    struct WeakItems {
        std::vector<Weak<NSObject>> items;
        unsigned depth = 0;
    };

    std::vector<Ref<NSObject>> items_;
    uint64_t mutations_ = 0;
    std::unique_ptr<WeakItems> weak_;
};

class NSMutableArray : public NSArray {
    NS_OBJECT(NSMutableArray, NSArray)
    static void describeClass(RuntimeClass& c);

    static Ref<NSMutableArray> array();
    static Ref<NSMutableArray> arrayWithCapacity(NSUInteger capacity);
    static Ref<NSMutableArray> arrayWithObject(NSObject* obj);
    static Ref<NSMutableArray> arrayWithObjects(std::initializer_list<NSObject*> objects);
    static Ref<NSMutableArray> arrayWithArray(NSArray* other);
    static Ref<NSMutableArray> arrayWithVector(std::vector<Ref<NSObject>> objects);
    template <class T>
    static Ref<NSMutableArray> arrayWithVector(const std::vector<Ref<T>>& objects) {
        return arrayWithVector(std::vector<Ref<NSObject>>(objects.begin(), objects.end()));
    }
    // An empty array that does not retain its elements (see retainsElements()). Its copies
    // are ordinary arrays.
    static Ref<NSMutableArray> nonRetainingArray();
    bool initWithCapacity(NSUInteger capacity);
    // The array and the containers inside it are mutable.
    static Ref<NSMutableArray> arrayWithContentsOfFile(NSString* path);

    // nil raises NSInvalidArgumentException.
    void addObject(NSObject* obj);
    void addObjectsFromArray(NSArray* other);
    // index == count appends.
    void insertObject(NSObject* obj, NSUInteger index);
    void removeObjectAtIndex(NSUInteger index);
    // Raises NSRangeException when empty.
    void removeLastObject();
    // Removes every element equal to obj.
    void removeObject(NSObject* obj);
    void removeObjectIdenticalTo(NSObject* obj);
    void removeAllObjects();
    void removeObjectsInArray(NSArray* other);
    void removeObjectsInRange(NSRange range);
    void replaceObjectAtIndex(NSUInteger index, NSObject* obj);
    void exchangeObjectAtIndex(NSUInteger i, NSUInteger j);
    void setArray(NSArray* other);
    void sortUsingSelector(SEL comparator);
    void sortUsingComparator(const Comparator& cmp);
    void sortUsingFunction(SortFunction fn, void* context);

    Ref<NSObject> copyWithZone() override;

private:
    void changed() { ++mutations_; }
};
