// The app's use of the store: replacing locations and categories wholesale (with the 80-record
// guard and no rows left behind), the orders the screens show, and favourites.
#include <gtest/gtest.h>

#include "Classes/CatagoryItem.h"
#include "Classes/ItemInfo.h"
#include "Classes/ManagedObjects.h"
#include "Classes/ManagedStore.h"
#include "Classes/MetroItem.h"
#include "CoreData/CoreData.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "support/FoundationTesting.h"

namespace {
class StoreOps : public testing::Test {
protected:
    void SetUp() override {
        registerNoticewallModel();
        coordinator = make<NSPersistentStoreCoordinator>(
            &NSPersistentStoreCoordinator::initWithManagedObjectModel, makeNoticewallModel());
        ASSERT_TRUE(coordinator->addPersistentStoreWithType(NSInMemoryStoreType, nullptr, nullptr,
                                                            nullptr, nullptr));
        context = freshContext();
    }
    Ref<NSManagedObjectContext> freshContext() {
        auto c = make<NSManagedObjectContext>();
        c->setPersistentStoreCoordinator(coordinator);
        return c;
    }
    // Rows as a fresh context reads them from the store.
    NSUInteger stored(const char* entity, NSString* key = NS("name")) {
        auto all =
            ManagedStore::loadManagedObjects(freshContext(), str(entity), key, true, nullptr);
        return all ? all->count() : 0;
    }

    Ref<NSPersistentStoreCoordinator> coordinator;
    Ref<NSManagedObjectContext> context;
};

// `count` metros: a few named states, cities numbered within them.
Ref<NSMutableArray> metros(int count, const char* prefix = "City") {
    auto list = NSMutableArray::array();
    for (int i = 0; i < count; ++i)
        list->addObject(
            MetroItem::itemWithName(NSString::stringWithFormat(NS("%s %02d"), prefix, i),
                                    NSString::stringWithFormat(NS("http://c%d.example.org"), i),
                                    NSString::stringWithFormat(NS("State %d"), i % 8), NS("US")));
    return list;
}

Ref<NSMutableArray> catagories(int count, NSString* section = NS("For Sale")) {
    auto list = NSMutableArray::array();
    for (int i = 0; i < count; ++i)
        list->addObject(CatagoryItem::itemWithName(NSString::stringWithFormat(NS("Cat %02d"), i),
                                                   NSString::stringWithFormat(NS("c%02d/"), i),
                                                   section, false));
    return list;
}

std::string names(NSArray* objects) {
    return text(objects->valueForKey(NS("name")));
}
}  // namespace

TEST_F(StoreOps, LocationsChangeOnlyWithEightyRecordsOrMore) {
    EXPECT_FALSE(ManagedStore::replaceLocations(context, metros(79)));
    EXPECT_EQ(stored("State"), 0u);
    EXPECT_TRUE(ManagedStore::replaceLocations(context, metros(80)));
    EXPECT_EQ(stored("Metro"), 80u);
    EXPECT_EQ(stored("State"), 8u);
    // A short page later leaves the stored list alone.
    EXPECT_FALSE(ManagedStore::replaceLocations(context, metros(79, "Other")));
    EXPECT_EQ(stored("Metro"), 80u);
    EXPECT_FALSE(ManagedStore::replaceLocations(nullptr, metros(80)));
}

TEST_F(StoreOps, ReplacingLocationsLeavesNoMetroBehind) {
    ASSERT_TRUE(ManagedStore::replaceLocations(context, metros(96)));
    auto list = metros(81, "Town");
    for (int i = 0; i < 81; ++i)
        cast<MetroItem>(list->objectAtIndex(i))->setState(NS("Only"));
    ASSERT_TRUE(ManagedStore::replaceLocations(context, list));
    EXPECT_EQ(stored("Metro"), 81u);
    EXPECT_EQ(stored("State"), 1u);
    auto fresh = freshContext();
    auto states = ManagedStore::statesOfRegion(fresh, NS("US"));
    ASSERT_EQ(states->count(), 1u);
    EXPECT_EQ(cast<State>(states->objectAtIndex(0))->metro()->count(), 81u);
}

TEST_F(StoreOps, MetrosGroupUnderStatesWithTheStatesOwnCityFirst) {
    auto list = metros(80);
    list->addObject(MetroItem::itemWithName(NS("Zurich"), NS("http://z"), nullptr, NS("Europe")));
    list->addObject(MetroItem::itemWithName(NS("Akron"), NS("http://a"), NS("Ohio"), NS("US")));
    list->addObject(MetroItem::itemWithName(NS("Ohio"), NS("http://o"), NS("Ohio"), NS("US")));
    list->addObject(MetroItem::itemWithName(NS("Dayton"), NS("http://d"), NS("Ohio"), NS("US")));
    ASSERT_TRUE(ManagedStore::replaceLocations(context, list));
    auto fresh = freshContext();
    // A metro listed without a state is filed under a state named after its region.
    auto europe = ManagedStore::statesOfRegion(fresh, NS("Europe"));
    ASSERT_EQ(europe->count(), 1u);
    EXPECT_EQ(text(cast<State>(europe->objectAtIndex(0))->name()), "Europe");
    auto ohio = cast<State>(ManagedStore::loadManagedObjects(
                                fresh, NS("State"), NS("name"), true,
                                NSPredicate::predicateWithFormat(NS("name == %@"), NS("Ohio")))
                                ->objectAtIndex(0));
    auto ordered = ManagedStore::metrosOfState(ohio);
    EXPECT_EQ(names(ordered),
              text(NSArray::arrayWithObjects({NS("Ohio"), NS("Akron"), NS("Dayton")})));
    EXPECT_FALSE(cast<Metro>(ordered->objectAtIndex(0))->sortOrder());
    EXPECT_EQ(cast<Metro>(ordered->objectAtIndex(1))->sortOrder()->intValue(), kDefaultSortOrder);
    auto items = ManagedStore::metroItemsOfState(ohio);
    auto first = cast<MetroItem>(items->objectAtIndex(0));
    EXPECT_EQ(text(first->state()), "Ohio");
    EXPECT_EQ(text(first->region()), "US");
    EXPECT_EQ(text(first->url()), "http://o");
}

TEST_F(StoreOps, SectionsTakeTheirTablePlaceIgnoringCase) {
    EXPECT_EQ(ManagedStore::sectionSortOrder(NS("HOUSING"))->intValue(), 3);
    EXPECT_EQ(ManagedStore::sectionSortOrder(NS("For sale"))->intValue(), 0);
    EXPECT_FALSE(ManagedStore::sectionSortOrder(NS("Discussion Forums")));
    auto list = catagories(40, NS("Housing"));
    list->addObjectsFromArray(catagories(40, NS("Discussion")));
    list->addObjectsFromArray(catagories(5, NS("JOBS")));
    list->insertObject(
        CatagoryItem::itemWithName(NS("All Housing"), NS("hhh/"), NS("Housing"), true), 0);
    EXPECT_FALSE(ManagedStore::replaceCatagories(context, catagories(79)));
    ASSERT_TRUE(ManagedStore::replaceCatagories(context, list));
    auto fresh = freshContext();
    auto sections = ManagedStore::sections(fresh);
    // Table sections in table order, then those the table lacks.
    EXPECT_EQ(names(sections),
              text(NSArray::arrayWithObjects({NS("Housing"), NS("JOBS"), NS("Discussion")})));
    auto housing = ManagedStore::catagoriesOfSection(cast<Section>(sections->objectAtIndex(0)));
    ASSERT_EQ(housing->count(), 41u);
    EXPECT_EQ(text(housing->objectAtIndex(0)->valueForKey(NS("name"))), "All Housing");
    EXPECT_EQ(text(housing->objectAtIndex(1)->valueForKey(NS("name"))), "Cat 00");
}

TEST_F(StoreOps, ReplacingCategoriesClearsEverySectionStored) {
    ASSERT_TRUE(ManagedStore::replaceCatagories(context, catagories(90)));
    // A section stored after a screen read its list must go too.
    auto stray =
        cast<Section>(NSEntityDescription::insertNewObjectForEntityForName(NS("Section"), context));
    stray->setName(NS("Stray"));
    auto lost = cast<Catagory>(
        NSEntityDescription::insertNewObjectForEntityForName(NS("Catagory"), context));
    lost->setName(NS("Lost"));
    stray->addCatagoriesObject(lost);
    Ref<NSError> error;
    ASSERT_TRUE(context->save(&error));
    ASSERT_TRUE(ManagedStore::replaceCatagories(freshContext(), catagories(80, NS("gigs"))));
    EXPECT_EQ(stored("Section"), 1u);
    EXPECT_EQ(stored("Catagory"), 80u);
}

TEST_F(StoreOps, FavouritesAreFoundAndRemovedByDetailUrl) {
    auto listing = [](const char* url, const char* time, NSArray* images) {
        auto item = make<ItemInfo>();
        item->setTitle(NS("Bike"));
        item->setDetailUrl(str(url));
        item->setTime(str(time));
        item->setPrice(NS("$40"));
        if (images) item->setImageUrl(NSMutableArray::arrayWithArray(images));
        return item;
    };
    ASSERT_TRUE(ManagedStore::addFavorite(
        context, listing("http://x/1", "9", NSArray::arrayWithObjects({NS("i1"), NS("i2")}))));
    ASSERT_TRUE(ManagedStore::addFavorite(
        context,
        listing("http://x/2", "10",
                NSArray::arrayWithObjects({NS("a"), NS("b"), NS("c"), NS("d"), NS("e")}))));
    ASSERT_TRUE(ManagedStore::addFavorite(context, listing("http://x/1", "11", nullptr)));
    auto fresh = freshContext();
    EXPECT_TRUE(ManagedStore::isFavorite(fresh, NS("http://x/1")));
    EXPECT_FALSE(ManagedStore::isFavorite(fresh, NS("http://x/3")));
    // The list is in string order of the time.
    auto list = ManagedStore::favorites(fresh);
    EXPECT_EQ(text(list->valueForKey(NS("time"))),
              text(NSArray::arrayWithObjects({NS("10"), NS("11"), NS("9")})));
    auto second = cast<FavoriteItem>(list->objectAtIndex(0));
    EXPECT_EQ(text(second->imageUrl4()), "d");
    auto first = cast<FavoriteItem>(list->objectAtIndex(2));
    EXPECT_EQ(text(first->imageUrl2()), "i2");
    EXPECT_FALSE(first->imageUrl3());
    EXPECT_EQ(text(first->price()), "$40");
    // Removing takes every copy of the listing.
    EXPECT_TRUE(ManagedStore::removeFavorite(fresh, NS("http://x/1")));
    EXPECT_FALSE(ManagedStore::isFavorite(freshContext(), NS("http://x/1")));
    EXPECT_EQ(stored("FavoriteItem", NS("time")), 1u);
    // Without a store the screens get nothing and nothing breaks.
    EXPECT_FALSE(ManagedStore::favorites(nullptr));
    EXPECT_FALSE(ManagedStore::isFavorite(nullptr, NS("http://x/2")));
}
