#include "ads/pebble/PBLPrivateUtilities.h"

#include <gtest/gtest.h>

#include "Foundation/NSString.h"
#include "support/FoundationTesting.h"

namespace {

// Counts its own release, to see the registry give a companion up.
class Companion : public NSObject {
    NS_OBJECT(Companion, NSObject)
public:
    void dealloc() override {
        if (freed) ++*freed;
        NSObject::dealloc();
    }
    int* freed = nullptr;
};

TEST(PBLPrivateUtilitiesTest, FilesReplacesAndRemovesCompanions) {
    int freed = 0;
    auto owner = make<NSObject>();
    {
        auto first = make<Companion>();
        first->freed = &freed;
        PBLPrivateUtilities::setPrivateObject(first, owner);
    }
    EXPECT_EQ(freed, 0);  // the registry holds the only reference
    EXPECT_TRUE(is<Companion>(PBLPrivateUtilities::privateObjectForKey(owner)));
    {
        auto second = make<Companion>();
        second->freed = &freed;
        PBLPrivateUtilities::setPrivateObject(second, owner);
    }
    EXPECT_EQ(freed, 1);
    auto other = make<NSObject>();
    EXPECT_EQ(PBLPrivateUtilities::privateObjectForKey(other).get(), nullptr);
    // The owner is not kept alive by its entry.
    EXPECT_EQ(owner->retainCount(), 1u);
    PBLPrivateUtilities::removePrivateObjectForKey(owner);
    EXPECT_EQ(freed, 2);
    EXPECT_EQ(PBLPrivateUtilities::privateObjectForKey(owner).get(), nullptr);
    PBLPrivateUtilities::removePrivateObjectForKey(owner);  // nothing left: no effect

    // Owners match by their own equality.
    auto key = NSMutableString::stringWithString(NS("banner"));
    PBLPrivateUtilities::setPrivateObject(make<Companion>(), key);
    EXPECT_TRUE(PBLPrivateUtilities::privateObjectForKey(NS("banner")));
    PBLPrivateUtilities::removePrivateObjectForKey(key);
    EXPECT_FALSE(PBLPrivateUtilities::privateObjectForKey(NS("banner")));
}

}  // namespace
