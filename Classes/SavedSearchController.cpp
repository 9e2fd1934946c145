#include "Classes/SavedSearchController.h"

#include "Classes/ItemListViewController.h"
#include "Classes/ListInfo.h"
#include "Classes/SavedSearch.h"
#include "Classes/SavedSearchDb.h"
#include "Classes/SearchSettingController.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/Runtime.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UITableViewCell.h"

void SavedSearchController::describeClass(RuntimeClass& c) {
    c.implements({"tableView:didSelectRowAtIndexPath:",
                  "tableView:accessoryButtonTappedForRowWithIndexPath:"});
}

void SavedSearchController::viewWillAppear(bool animated) {
    UITableViewController::viewWillAppear(animated);
    loadDb();
    tableView()->reloadData();
}

void SavedSearchController::loadDb() {
    savedSearchList_ = nullptr;
    auto db = make<SavedSearchDb>();
    if (!db) return;
    if (db->openDb()) savedSearchList_ = db->getItems();
    db->closeDb();
}

NSInteger SavedSearchController::tableViewNumberOfRowsInSection(UITableView*, NSInteger) {
    return savedSearchList_ ? static_cast<NSInteger>(savedSearchList_->count()) : 0;
}

Ref<UITableViewCell> SavedSearchController::tableViewCellForRowAtIndexPath(UITableView* table,
                                                                           NSIndexPath* path) {
    auto cell = table->dequeueReusableCellWithIdentifier(NS("Cell"));
    if (!cell) {
        cell = alloc<UITableViewCell>();
        cell->initWithStyle(UITableViewCellStyleDefault, NS("Cell"));
        // Our way to a search's own settings.
        cell->setAccessoryType(UITableViewCellAccessoryDetailDisclosureButton);
    }
    auto search =
        cast<SavedSearch>(savedSearchList_->objectAtIndex(static_cast<NSUInteger>(path->row())));
    auto info = search->listInfo();
    Ref<NSString> name = info->searchKey();
    // A saved browse has no keyword to list it by: it goes by its category, as its result list
    // is titled.
    if (!name || name->length() == 0) name = info->catagory();
    cell->textLabel()->setText(name);
    return cell;
}

void SavedSearchController::tableViewDidSelectRowAtIndexPath(UITableView*, NSIndexPath* path) {
    auto search =
        cast<SavedSearch>(savedSearchList_->objectAtIndex(static_cast<NSUInteger>(path->row())));
    auto list = alloc<ItemListViewController>();
    list->initWithNibName(NS("ItemListViewController"), nullptr);
    navigationController()->pushViewController(list, true);
    list->setListInfo(search->listInfo());
    list->loadFirstItemList();
}

void SavedSearchController::tableViewAccessoryButtonTappedForRowWithIndexPath(UITableView*,
                                                                              NSIndexPath* path) {
    auto search =
        cast<SavedSearch>(savedSearchList_->objectAtIndex(static_cast<NSUInteger>(path->row())));
    auto settings = alloc<SearchSettingController>();
    settings->initWithNibName(NS("SearchSettingController"), nullptr);
    settings->setSavedSearch(search);
    settings->setCategoryUrl(search->listInfo()->catagoryUrl());
    presentModalViewController(settings, true);
}

void SavedSearchController::dealloc() {
    savedSearchList_ = nullptr;
    UITableViewController::dealloc();
}
