// What the screens do with the stored objects: the one fetch shape they share, the wholesale
// replacement of locations and categories with freshly scraped lists, and favourites. Every
// function takes the context (the app delegate's); a nil context reads as an empty store and
// changes nothing.
#pragma once

#include "Foundation/NSObject.h"

class ItemInfo;
class NSArray;
class NSDictionary;
class NSManagedObjectContext;
class NSMutableArray;
class NSNumber;
class NSPredicate;
class NSString;
class Section;
class State;

// The section table of city pages: names in display order, compared ignoring case; the index
// is a stored section's sortOrder.
struct CatagorySectionEntry {
    const char* name;
    const char* image;
};
inline constexpr CatagorySectionEntry kCatagorySectionTable[] = {
    {"For Sale", "supermarket.png"}, {"services", "workoffice.png"}, {"community", "smallcity.png"},
    {"housing", "home.png"},         {"jobs", "findajob.png"},       {"gigs", "rental.png"},
    {"resumes", "findajob.png"},
};
// Lists shorter than this are taken for a page that did not load whole and are ignored.
inline constexpr unsigned kMinimumScrapedRecords = 80;

class ManagedStore {
public:
    // The objects of the entity matching the predicate (nil: all), sorted by the key; nil
    // (with "fetch error" logged) when the fetch fails or there is no context.
    static Ref<NSMutableArray> loadManagedObjects(NSManagedObjectContext* context,
                                                  NSString* entityName, NSString* sortKey,
                                                  bool ascending, NSPredicate* predicate);

    // ---- locations -----------------------------------------------------------------------
    // Replaces every stored state and metro with the scraped MetroItem records; a list of
    // fewer than 80 records changes nothing. True when the store was replaced and saved.
    static bool replaceLocations(NSManagedObjectContext* context, NSArray* metroItems);
    // The states listed under the region, by name.
    static Ref<NSMutableArray> statesOfRegion(NSManagedObjectContext* context, NSString* region);
    // A state's metros: by sortOrder (nil first), then name.
    static Ref<NSArray> metrosOfState(State* state);
    // The metros as MetroItem records (state name and region from the state; hasSuburb left
    // for the picker to decide).
    static Ref<NSArray> metroItemsOfState(State* state);

    // ---- categories ----------------------------------------------------------------------
    // Replaces every stored section and category with the scraped CatagoryItem records; a list
    // of fewer than 80 records changes nothing. True when the store was replaced and saved.
    static bool replaceCatagories(NSManagedObjectContext* context, NSArray* catagoryItems);
    // All sections by sortOrder.
    static Ref<NSMutableArray> sections(NSManagedObjectContext* context);
    // A section's categories: by sortOrder (nil first), then name.
    static Ref<NSArray> catagoriesOfSection(Section* section);
    // The position in the section table of the last entry named like the section, ignoring
    // case; nil when none is.
    static Ref<NSNumber> sectionSortOrder(NSString* sectionName);

    // ---- favourites ----------------------------------------------------------------------
    // Stores a listing: its strings go to the FavoriteItem attributes of the same names, the
    // first four of its image URLs (as far as it has them) to imageUrl1 to imageUrl4. True when
    // saved.
    static bool addFavorite(NSManagedObjectContext* context, ItemInfo* item);
    // Stores the listing again over every favourite with its detail URL (a body that arrived
    // after it was starred). True when one was found and saved.
    static bool updateFavorite(NSManagedObjectContext* context, ItemInfo* item);
    static bool isFavorite(NSManagedObjectContext* context, NSString* detailUrl);
    // Deletes every favourite with the detail URL. True when saved.
    static bool removeFavorite(NSManagedObjectContext* context, NSString* detailUrl);
    // The favourites list, by time (string order).
    static Ref<NSMutableArray> favorites(NSManagedObjectContext* context);
};
