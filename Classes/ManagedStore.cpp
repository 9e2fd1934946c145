#include "ManagedStore.h"

#include "CatagoryItem.h"
#include "CoreData/NSEntityDescription.h"
#include "CoreData/NSFetchRequest.h"
#include "CoreData/NSManagedObjectContext.h"
#include "CoreData/NSPredicate.h"
#include "CoreData/NSSortDescriptor.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNull.h"
#include "ItemInfo.h"
#include "ManagedObjects.h"
#include "MetroItem.h"

Ref<NSMutableArray> ManagedStore::loadManagedObjects(NSManagedObjectContext* context,
                                                     NSString* entityName, NSString* sortKey,
                                                     bool ascending, NSPredicate* predicate) {
    if (!context) {
        NSLog(NS("fetch error"));
        return nullptr;
    }
    auto request = NSFetchRequest::fetchRequestWithEntityName(entityName);
    request->setPredicate(predicate);
    request->setSortDescriptors(
        NSArray::arrayWithObject(NSSortDescriptor::sortDescriptorWithKey(sortKey, ascending)));
    Ref<NSError> error;
    auto result = context->executeFetchRequest(request, &error);
    if (!result) {
        NSLog(NS("fetch error"));
        return nullptr;
    }
    return result->mutableCopy();
}

namespace {
// Deletes the objects and saves at once, so that the new list starts from an empty store.
void deleteAll(NSManagedObjectContext* context, NSArray* objects) {
    if (objects)
        for (NSObject* o : *objects)
            context->deleteObject(static_cast<NSManagedObject*>(o));
    Ref<NSError> error;
    if (!context->save(&error)) NSLog(NS("delete error"));
}

bool saveOrLog(NSManagedObjectContext* context) {
    Ref<NSError> error;
    if (context->save(&error)) return true;
    NSLog(NS("save error"));
    return false;
}

bool sameName(NSString* a, NSString* b) {
    return a && b ? a->isEqualToString(b) : a == b;
}

// The first object of the list (all of class T) with that name, or nil.
template <class T>
Ref<T> namedIn(NSArray* list, NSString* name) {
    for (NSObject* o : *list) {
        if (sameName(static_cast<T*>(o)->name(), name)) return Ref<T>(static_cast<T*>(o));
    }
    return nullptr;
}

Ref<NSArray> sortedBy(NSSet* set, std::initializer_list<NSString*> keys) {
    auto descriptors = NSMutableArray::array();
    for (NSString* k : keys)
        descriptors->addObject(NSSortDescriptor::sortDescriptorWithKey(k, true));
    return sortedArrayUsingDescriptors(set ? set->allObjects() : NSArray::array(), descriptors);
}
}  // namespace

// ---- locations -------------------------------------------------------------------------------

bool ManagedStore::replaceLocations(NSManagedObjectContext* context, NSArray* metroItems) {
    if (!context || !metroItems || metroItems->count() < kMinimumScrapedRecords) return false;
    // States own their metros (cascade), so deleting the states empties both tables.
    deleteAll(context, loadManagedObjects(context, NS("State"), NS("name"), true, nullptr));
    auto newStates = NSMutableArray::arrayWithCapacity(50);
    for (NSObject* o : *metroItems) {
        auto item = as<MetroItem>(o);
        if (!item) continue;
        auto metro =
            cast<Metro>(NSEntityDescription::insertNewObjectForEntityForName(NS("Metro"), context));
        metro->setName(item->name());
        metro->setUrl(item->url());
        Ref<NSString> stateName = item->state();
        if (!stateName || stateName->length() == 0) stateName = item->region();
        Ref<State> state = namedIn<State>(newStates, stateName);
        if (!state) {
            state = cast<State>(
                NSEntityDescription::insertNewObjectForEntityForName(NS("State"), context));
            state->setName(stateName);
            state->setRegion(item->region());
            newStates->addObject(state);
        }
        metro->setState(state);
        // The metro named like its state leads its state's list.
        if (sameName(metro->name(), state->name())) metro->setSortOrder(nullptr);
        state->addMetroObject(metro);
    }
    return saveOrLog(context);
}

Ref<NSMutableArray> ManagedStore::statesOfRegion(NSManagedObjectContext* context,
                                                 NSString* region) {
    return loadManagedObjects(context, NS("State"), NS("name"), true,
                              NSPredicate::predicateWithFormat(NS("(region = %@)"), region));
}

Ref<NSArray> ManagedStore::metrosOfState(State* state) {
    return sortedBy(state ? state->metro() : nullptr, {NS("sortOrder"), NS("name")});
}

Ref<NSArray> ManagedStore::metroItemsOfState(State* state) {
    auto out = NSMutableArray::array();
    auto metros = metrosOfState(state);
    for (NSObject* o : *metros) {
        auto* metro = static_cast<Metro*>(o);
        out->addObject(
            MetroItem::itemWithName(metro->name(), metro->url(), state->name(), state->region()));
    }
    return out;
}

// ---- categories ------------------------------------------------------------------------------

Ref<NSNumber> ManagedStore::sectionSortOrder(NSString* sectionName) {
    if (!sectionName) return nullptr;
    Ref<NSNumber> found;
    int index = 0;
    for (const auto& entry : kCatagorySectionTable) {
        if (sectionName->caseInsensitiveCompare(NSString::stringWithUTF8String(entry.name)) ==
            NSOrderedSame)
            found = NSNumber::numberWithInt(index);  // the last match wins
        ++index;
    }
    return found;
}

bool ManagedStore::replaceCatagories(NSManagedObjectContext* context, NSArray* catagoryItems) {
    if (!context || !catagoryItems || catagoryItems->count() < kMinimumScrapedRecords) return false;
    // A fresh fetch, not a screen's list: sections stored since that list was read go too, and
    // each takes its categories with it (cascade).
    deleteAll(context, loadManagedObjects(context, NS("Section"), NS("sortOrder"), true, nullptr));
    auto newSections = NSMutableArray::arrayWithCapacity(10);
    for (NSObject* o : *catagoryItems) {
        auto item = as<CatagoryItem>(o);
        if (!item) continue;
        auto catagory = cast<Catagory>(
            NSEntityDescription::insertNewObjectForEntityForName(NS("Catagory"), context));
        catagory->setName(item->name());
        catagory->setUrl(item->url());
        if (item->allCatagory()) catagory->setSortOrder(nullptr);
        Ref<Section> section = namedIn<Section>(newSections, item->section());
        if (!section) {
            section = cast<Section>(
                NSEntityDescription::insertNewObjectForEntityForName(NS("Section"), context));
            section->setName(item->section());
            newSections->addObject(section);
            if (auto order = sectionSortOrder(item->section())) section->setSortOrder(order);
        }
        catagory->setSection(section);
        section->addCatagoriesObject(catagory);
    }
    return saveOrLog(context);
}

Ref<NSMutableArray> ManagedStore::sections(NSManagedObjectContext* context) {
    return loadManagedObjects(context, NS("Section"), NS("sortOrder"), true, nullptr);
}

Ref<NSArray> ManagedStore::catagoriesOfSection(Section* section) {
    return sortedBy(section ? section->catagories() : nullptr, {NS("sortOrder"), NS("name")});
}

// ---- favourites ------------------------------------------------------------------------------

namespace {
NSString* const kFavoriteImageFields[] = {NS("imageUrl1"), NS("imageUrl2"), NS("imageUrl3"),
                                          NS("imageUrl4")};

Ref<NSPredicate> byDetailUrl(NSString* detailUrl) {
    return NSPredicate::predicateWithFormat(NS("(detailUrl = %@)"), detailUrl);
}
}  // namespace

namespace {
void storeListing(NSManagedObject* item, ItemInfo* listing) {
    item->setValue(listing->title(), NS("title"));
    item->setValue(listing->time(), NS("time"));
    item->setValue(listing->detail(), NS("detail"));
    item->setValue(listing->detailUrl(), NS("detailUrl"));
    item->setValue(listing->replyUrl(), NS("replyUrl"));
    item->setValue(listing->adsId(), NS("adsId"));
    item->setValue(listing->price(), NS("price"));
    item->setValue(listing->location(), NS("location"));
    item->setValue(listing->email(), NS("email"));
    item->setValue(listing->phoneNumber(), NS("phoneNumber"));
    item->setValue(listing->bodyImageUrl(), NS("bodyImageUrl"));
    auto imageUrls = listing->imageUrl();
    NSUInteger n = imageUrls ? imageUrls->count() : 0;
    for (NSUInteger i = 0; i < 4 && i < n; ++i)
        item->setValue(as<NSString>(imageUrls->objectAtIndex(i)), kFavoriteImageFields[i]);
}
}  // namespace

bool ManagedStore::addFavorite(NSManagedObjectContext* context, ItemInfo* listing) {
    if (!context || !listing) return false;
    storeListing(
        NSEntityDescription::insertNewObjectForEntityForName(NS("FavoriteItem"), context).get(),
        listing);
    return saveOrLog(context);
}

bool ManagedStore::updateFavorite(NSManagedObjectContext* context, ItemInfo* listing) {
    if (!context || !listing) return false;
    auto found = loadManagedObjects(context, NS("FavoriteItem"), NS("detailUrl"), true,
                                    byDetailUrl(listing->detailUrl()));
    if (!found || found->count() == 0) return false;
    for (NSObject* o : *found)
        storeListing(static_cast<NSManagedObject*>(o), listing);
    return saveOrLog(context);
}

bool ManagedStore::isFavorite(NSManagedObjectContext* context, NSString* detailUrl) {
    auto found = loadManagedObjects(context, NS("FavoriteItem"), NS("detailUrl"), true,
                                    byDetailUrl(detailUrl));
    return found && found->count() > 0;
}

bool ManagedStore::removeFavorite(NSManagedObjectContext* context, NSString* detailUrl) {
    auto found = loadManagedObjects(context, NS("FavoriteItem"), NS("detailUrl"), true,
                                    byDetailUrl(detailUrl));
    if (!found) return false;
    for (NSObject* o : *found)
        context->deleteObject(static_cast<NSManagedObject*>(o));
    return saveOrLog(context);
}

Ref<NSMutableArray> ManagedStore::favorites(NSManagedObjectContext* context) {
    return loadManagedObjects(context, NS("FavoriteItem"), NS("time"), true, nullptr);
}
