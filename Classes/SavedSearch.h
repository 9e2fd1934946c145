// A stored search: a ListInfo and the id of its row in the saved-search table (-1 when not
// stored).
#pragma once

#include "Classes/ListInfo.h"
#include "Foundation/NSObject.h"

class SavedSearch : public NSObject {
    NS_OBJECT(SavedSearch, NSObject)
    static void describeClass(RuntimeClass& c);

    // A new ListInfo, dbId -1.
    bool init() override;

    int32_t dbId() { return dbId_; }
    void setDbId(int32_t v) { dbId_ = v; }
    Ref<ListInfo> listInfo() { return listInfo_; }
    void setListInfo(ListInfo* v) { listInfo_ = v; }
    // The search runs with the filter kept in its settings (YES for a new search). NO for a row
    // stored before the filter was kept: it runs without one, whatever its settings' scope,
    // sort, image and price columns hold, until the user changes its settings.
    bool filterKept() { return filterKept_; }
    void setFilterKept(bool v) { filterKept_ = v; }

    // Opens the saved-search database, stores this search and closes it again.
    void saveToDb();

    void dealloc() override;

private:
    int32_t dbId_ = -1;
    bool filterKept_ = true;
    Ref<ListInfo> listInfo_;
};
