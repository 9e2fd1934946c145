#include "Classes/SavedSearch.h"

#include "Classes/ListInfo.h"
#include "Classes/SavedSearchDb.h"
#include "Foundation/Runtime.h"

void SavedSearch::describeClass(RuntimeClass& c) {
    c.property("dbId", &SavedSearch::dbId, &SavedSearch::setDbId);
    c.property("listInfo", &SavedSearch::listInfo, &SavedSearch::setListInfo);
    c.method("saveToDb", &SavedSearch::saveToDb);
}

bool SavedSearch::init() {
    if (!super::init()) return false;
    dbId_ = -1;
    listInfo_ = make<ListInfo>();
    return true;
}

void SavedSearch::saveToDb() {
    auto db = make<SavedSearchDb>();
    if (!db) return;
    db->openDb();
    db->addItem(this);
    db->closeDb();
}

void SavedSearch::dealloc() {
    listInfo_ = nullptr;
    super::dealloc();
}
