#include <gtest/gtest.h>

#include "support/FoundationTesting.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"

namespace {

// A member of a delegate list; it may take itself out of a list when it is freed.
class NRMember : public NSObject {
    NS_OBJECT(NRMember, NSObject)
    void dealloc() override {
        if (auto list = leaveOnDealloc.lock()) {
            list->removeObjectIdenticalTo(this);
            countSeenOnDealloc = static_cast<int>(list->count());
        }
        NSObject::dealloc();
    }
    Weak<NSMutableArray> leaveOnDealloc;
    static inline int countSeenOnDealloc = -1;
};

TEST(NonRetainingArray, AddingAndRemovingLeaveTheCountsAlone) {
    auto list = NSMutableArray::nonRetainingArray();
    EXPECT_FALSE(list->retainsElements());
    EXPECT_TRUE(NSMutableArray::array()->retainsElements());
    auto a = make<NRMember>();
    auto b = make<NRMember>();
    NSUInteger before = a->retainCount();
    list->addObject(a);
    list->insertObject(b, 0);
    EXPECT_EQ(a->retainCount(), before);
    EXPECT_EQ(list->count(), 2u);
    EXPECT_EQ(list->objectAtIndex(0).get(), b.get());
    EXPECT_EQ(list->indexOfObject(a), 1u);
    EXPECT_TRUE(list->containsObject(a));
    list->removeObject(b);
    EXPECT_EQ(b->retainCount(), before);
    EXPECT_EQ(list->count(), 1u);
    EXPECT_EQ(list->lastObject().get(), a.get());
}

TEST(NonRetainingArray, AFreedElementDropsOut) {
    auto list = NSMutableArray::nonRetainingArray();
    auto keep = make<NRMember>();
    Weak<NRMember> gone;
    {
        auto temp = make<NRMember>();
        gone = temp;
        list->addObject(temp);
        list->addObject(keep);
        EXPECT_EQ(list->count(), 2u);
    }
    EXPECT_FALSE(gone.alive());  // the list did not keep it
    EXPECT_EQ(list->count(), 1u);
    EXPECT_EQ(list->objectAtIndex(0).get(), keep.get());
    EXPECT_NE(raisedName([&] { list->objectAtIndex(1); }), "");
}

TEST(NonRetainingArray, AMemberMayLeaveTheListFromItsDealloc) {
    auto list = NSMutableArray::nonRetainingArray();
    auto other = make<NRMember>();
    list->addObject(other);
    {
        auto leaving = make<NRMember>();
        leaving->leaveOnDealloc = list;
        list->addObject(leaving);
    }
    EXPECT_EQ(NRMember::countSeenOnDealloc, 1);
    EXPECT_EQ(list->count(), 1u);
}

TEST(NonRetainingArray, CopiesAndWalksHoldTheirElements) {
    auto list = NSMutableArray::nonRetainingArray();
    auto a = make<NRMember>();
    auto b = make<NRMember>();
    list->addObject(a);
    list->addObject(b);
    Ref<NSArray> copy = list->copy();
    Ref<NSMutableArray> mutableCopy = list->mutableCopy();
    EXPECT_TRUE(mutableCopy->retainsElements());
    EXPECT_EQ(copy->count(), 2u);
    EXPECT_TRUE(copy->isEqualToArray(list));
    EXPECT_TRUE(list->isEqualToArray(copy));
    int walked = 0;
    for (NSObject* o : *list) {
        EXPECT_TRUE(o == a.get() || o == b.get());
        ++walked;
    }
    EXPECT_EQ(walked, 2);
    // Changing the list during a walk is still noticed.
    EXPECT_EQ(raisedName([&] {
                  for (NSObject* o : *list) {
                      (void)o;
                      list->addObject(a);
                  }
              }),
              "NSGenericException");
    auto ordinary = NSMutableArray::array();
    ordinary->addObjectsFromArray(list);
    ordinary->addObjectsFromArray(list);
    EXPECT_EQ(ordinary->count(), 6u);
    list->setArray(copy);
    EXPECT_EQ(list->count(), 2u);
    EXPECT_FALSE(list->retainsElements());
}

TEST(NonRetainingDictionary, KeysAreHeldValuesAreNot) {
    auto map = NSMutableDictionary::nonRetainingDictionary();
    EXPECT_FALSE(map->retainsValues());
    auto value = make<NRMember>();
    NSUInteger before = value->retainCount();
    map->setObject(value, NS("a"));
    EXPECT_EQ(value->retainCount(), before);
    EXPECT_EQ(map->objectForKey(NS("a")).get(), value.get());
    EXPECT_EQ(map->count(), 1u);
    {
        auto temp = make<NRMember>();
        map->setObject(temp, NS("b"));
        EXPECT_EQ(map->count(), 2u);
        EXPECT_EQ(text(map->allKeys()), "(\n    a,\n    b\n)");
    }
    EXPECT_EQ(map->count(), 1u);
    EXPECT_EQ(map->objectForKey(NS("b")).get(), nullptr);
    int keys = 0;
    for (NSObject* key : *map) {
        EXPECT_TRUE(objectsEqual(key, NS("a")));
        ++keys;
    }
    EXPECT_EQ(keys, 1);
    Ref<NSDictionary> copy = map->copy();
    EXPECT_TRUE(copy->retainsValues());
    EXPECT_TRUE(copy->isEqualToDictionary(map));
    map->removeObjectForKey(NS("a"));
    EXPECT_EQ(map->count(), 0u);
    EXPECT_EQ(value->retainCount(), before + 1);  // the copy's own reference
}

}  // namespace
