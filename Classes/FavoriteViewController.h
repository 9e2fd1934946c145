// The Favorite tab: the listings starred on the item screen, read from the store as records and
// shown in the result list's table (no load-more row, no listing-page downloads: a favourite
// shows what was stored when it was starred, and one stored without its body fetches it only
// when the user asks, keeping it once it comes). Rows open the item screen and can be deleted.
// Made from the interface "FavoriteViewController".
#pragma once

#include "Classes/ItemListViewController.h"

class NSManagedObjectContext;
class NSPredicate;
class UIBarButtonItem;
class UINavigationBar;

class FavoriteViewController : public ItemListViewController {
    NS_OBJECT(FavoriteViewController, ItemListViewController)
    static void describeClass(RuntimeClass& c);

    // Reloads the list from the store.
    void loadFavoriteItemList();
    void loadFavoriteItemListFromDb();
    Ref<NSMutableArray> loadManagedObjects(NSString* entity, NSString* key, bool ascending,
                                           NSPredicate* predicate);
    void removeItemFromFavorite(NSString* detailUrl);
    void deleteItem(NSIndexPath* indexPath);
    void editButtonPressed(NSObject* sender);
    void itemUpdated(ItemInfo* item) override;

    bool tableViewCanEditRowAtIndexPath(UITableView*, NSIndexPath*) override { return true; }
    void tableViewCommitEditingStyle(UITableView* table, UITableViewCellEditingStyle style,
                                     NSIndexPath* path) override;

    Ref<NSManagedObjectContext> managedObjectContext() { return managedObjectContext_; }
    void setManagedObjectContext(NSManagedObjectContext* v);
    Ref<NSMutableArray> favoriteItemArray() { return favoriteItemArray_; }
    void setFavoriteItemArray(NSMutableArray* v);
    Ref<UINavigationBar> navigationBar() { return navigationBar_; }
    void setNavigationBar(UINavigationBar* v);
    Ref<UIBarButtonItem> editButton() { return editButton_; }
    void setEditButton(UIBarButtonItem* v);

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidUnload() override;
    void dealloc() override;

private:
    Ref<NSManagedObjectContext> managedObjectContext_;
    Ref<NSMutableArray> favoriteItemArray_;
    Ref<UINavigationBar> navigationBar_;
    Ref<UIBarButtonItem> editButton_;
};
