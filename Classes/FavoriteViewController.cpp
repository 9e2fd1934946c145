#include "Classes/FavoriteViewController.h"

#include "Classes/ManagedObjects.h"
#include "Classes/ManagedStore.h"
#include "Classes/NoticewallAppDelegate.h"
#include "CoreData/NSManagedObjectContext.h"
#include "CoreData/NSPredicate.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UINavigationBar.h"

void FavoriteViewController::describeClass(RuntimeClass& c) {
    c.implements(
        {"tableView:canEditRowAtIndexPath:", "tableView:commitEditingStyle:forRowAtIndexPath:"});
    c.method("editButtonPressed:", &FavoriteViewController::editButtonPressed);
}

void FavoriteViewController::loadFavoriteItemList() {
    pageNumber_ = 0;
    itemArray_ = nullptr;
    noMoreItem_ = true;  // a stored list has no further page
    setActivityLabelHidden(true);
    loadFavoriteItemListFromDb();
    if (myTableView_) myTableView_->reloadData();
}

Ref<NSMutableArray> FavoriteViewController::loadManagedObjects(NSString* entity, NSString* key,
                                                               bool ascending,
                                                               NSPredicate* predicate) {
    return ManagedStore::loadManagedObjects(managedObjectContext_, entity, key, ascending,
                                            predicate);
}

void FavoriteViewController::loadFavoriteItemListFromDb() {
    // The time is text, so the order is that of the text.
    favoriteItemArray_ = loadManagedObjects(NS("FavoriteItem"), NS("time"), true, nullptr);
    itemArray_ = NSMutableArray::arrayWithCapacity(100);
    if (!favoriteItemArray_) return;
    for (NSUInteger i = 0; i < favoriteItemArray_->count(); ++i) {
        auto favorite = as<FavoriteItem>(favoriteItemArray_->objectAtIndex(i));
        if (!favorite) continue;
        auto item = make<ItemInfo>();
        item->setDetail(favorite->detail());
        item->setReplyUrl(favorite->replyUrl());
        item->setAdsId(favorite->adsId());
        item->setTime(favorite->time());
        item->setTitle(favorite->title());
        item->setPrice(favorite->price());
        item->setLocation(favorite->location());
        item->setDetailUrl(favorite->detailUrl());
        item->setEmail(favorite->email());
        item->setPhoneNumber(favorite->phoneNumber());
        item->setBodyImageUrl(favorite->bodyImageUrl());
        // Without a first image the record has no image list at all, whatever follows.
        if (auto first = favorite->imageUrl1()) {
            auto images = NSMutableArray::arrayWithCapacity(4);
            images->addObject(first);
            for (auto more : {favorite->imageUrl2(), favorite->imageUrl3(), favorite->imageUrl4()})
                if (more) images->addObject(more);
            item->setImageUrl(images);
        }
        // A favourite starred before its body arrived can fetch it (Refresh on the item
        // screen): the record reports here when it comes.
        item->setController(this);
        itemArray_->addObject(item);
    }
}

void FavoriteViewController::itemUpdated(ItemInfo* item) {
    // The body that came is kept with the favourite, so it shows from the store from now on.
    if (item && item->detail() && item->detailUrl())
        ManagedStore::updateFavorite(managedObjectContext_, item);
    ItemListViewController::itemUpdated(item);
}

void FavoriteViewController::removeItemFromFavorite(NSString* detailUrl) {
    ManagedStore::removeFavorite(managedObjectContext_, detailUrl);
}

void FavoriteViewController::deleteItem(NSIndexPath* indexPath) {
    if (!itemArray_ || indexPath->row() < 0 ||
        static_cast<NSUInteger>(indexPath->row()) >= itemArray_->count())
        return;
    auto row = static_cast<NSUInteger>(indexPath->row());
    auto item = cast<ItemInfo>(itemArray_->objectAtIndex(row));
    removeItemFromFavorite(item->detailUrl());
    itemArray_->removeObjectAtIndex(row);
    if (myTableView_) myTableView_->reloadData();
}

void FavoriteViewController::tableViewCommitEditingStyle(UITableView*,
                                                         UITableViewCellEditingStyle style,
                                                         NSIndexPath* path) {
    if (style == UITableViewCellEditingStyleDelete) deleteItem(path);
}

void FavoriteViewController::editButtonPressed(NSObject*) {
    if (!myTableView_) return;
    if (myTableView_->isEditing()) {
        if (editButton_) editButton_->setTitle(NS("Edit"));
        myTableView_->setEditing(false, true);
    } else {
        if (editButton_) editButton_->setTitle(NS("Done"));
        myTableView_->setEditing(true, true);
    }
}

void FavoriteViewController::viewDidLoad() {
    ItemListViewController::viewDidLoad();
    if (auto app = NoticewallAppDelegate::sharedDelegate())
        managedObjectContext_ = app->managedObjectContext();
    loadFavoriteItemList();
}

void FavoriteViewController::viewWillAppear(bool animated) {
    ItemListViewController::viewWillAppear(animated);
    loadFavoriteItemList();
}

void FavoriteViewController::viewDidUnload() {
    ItemListViewController::viewDidUnload();
    editButton_ = nullptr;
}

void FavoriteViewController::setManagedObjectContext(NSManagedObjectContext* v) {
    managedObjectContext_ = v;
}
void FavoriteViewController::setFavoriteItemArray(NSMutableArray* v) {
    favoriteItemArray_ = v;
}
void FavoriteViewController::setNavigationBar(UINavigationBar* v) {
    navigationBar_ = v;
}
void FavoriteViewController::setEditButton(UIBarButtonItem* v) {
    editButton_ = v;
}

void FavoriteViewController::dealloc() {
    favoriteItemArray_ = nullptr;
    managedObjectContext_ = nullptr;
    navigationBar_ = nullptr;
    editButton_ = nullptr;
    ItemListViewController::dealloc();
}
