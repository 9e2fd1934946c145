// The saved searches: the table "savedSearch" of "data.sqlite3", one row per search. The row
// whose keyword is "THIS_IS_DEFAULT" is the default search.
#pragma once

#include "Classes/DbHelpler.h"

class NSMutableArray;
class SavedSearch;

// The keyword that marks the default search's row.
extern NSString* const kSavedSearchDefaultKeyword;

class SavedSearchDb : public DbHelpler {
    NS_OBJECT(SavedSearchDb, DbHelpler)

    // initWithName with "data.sqlite3".
    bool init() override;

    void initTable() override;
    // Deletes every row.
    void clearTable();
    // The largest dbId (0 for an empty table), or -1 when it cannot be read.
    int32_t getLastDbId();
    // Stores the search as a new row, replacing its old row when it has one, all or nothing.
    // On success the search takes the new row's id; on failure it keeps the id it had (and its
    // old row stays). YES when stored.
    bool addItem(SavedSearch* item);
    // Deletes the search's row.
    void removeItem(SavedSearch* item);
    // The default rows (YES) or all others (NO), in the table's order.
    Ref<NSMutableArray> getItems(bool defaults);
    Ref<NSMutableArray> getItems() { return getItems(false); }
    // The last default row read, or nil.
    Ref<SavedSearch> getDefault();

    // The first row id whose filter columns (scope, sort, hasImage, minPrice, maxPrice) are the
    // search's filter; rows before it were stored when the filter was not kept, and run without
    // one. 0 until the table is opened.
    int32_t firstFilteredId() { return firstFilteredId_; }

private:
    int32_t firstFilteredId_ = 0;
};
