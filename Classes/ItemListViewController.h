// The results of one search or browse request as a table of listings, 100 per site page, with a
// "Load More Items ..." row that fetches the next page. Every listed listing's own page is
// fetched in the background; the table redraws as they arrive. A tap opens the item screen on
// the whole list. Made from the interface "ItemListViewController"; the favourites screen is a
// subclass.
//
// Work may arrive before the view has loaded (the Search screen calls loadFirstItemList before
// pushing): every outlet call then reaches nil and does nothing, as on the phone.
#pragma once

#include "AdLoom/internal/AdLoomDelegate.h"
#include "Classes/ItemInfo.h"
#include "Classes/RequestInFlight.h"
#include "Classes/ScreenSupport.h"
#include "Foundation/NSArray.h"
#include "UIKit/UIActionSheet.h"
#include "UIKit/UITableView.h"
#include "UIKit/UIViewController.h"
#include "external/nk-http-request/Classes/NKHTTPRequestDelegate.h"

class ItemListPage;
class ItemViewController;
class ListInfo;
class UIActivityIndicatorView;
class UITableViewCell;

class ItemListViewController : public UIViewController,
                               public NKHTTPRequestDelegate,
                               public UITableViewDataSource,
                               public UITableViewDelegate,
                               public UIActionSheetDelegate,
                               public BannerHost,
                               public ItemInfoListener {
    NS_OBJECT(ItemListViewController, UIViewController)
    static void describeClass(RuntimeClass& c);

    Ref<ListInfo> listInfo() { return listInfo_; }
    void setListInfo(ListInfo* v);
    Ref<NSMutableArray> itemArray() { return itemArray_; }
    void setItemArray(NSMutableArray* v);
    Ref<UITableView> myTableView() { return myTableView_; }
    void setMyTableView(UITableView* v);
    Ref<UIView> adsHolder() { return adsHolder_; }
    void setAdsHolder(UIView* v);

    // Starts the request over from its first page.
    virtual void loadFirstItemList();
    // Requests the next site page.
    void loadMoreItemList();
    // Starts the listing-page downloads of a batch of records.
    void loadItemDetails(NSArray* items);
    void itemUpdated(ItemInfo* item) override;

    // The cell's texts: the age of a posting time, and the place line.
    static Ref<NSString> friendlyTime(NSString* time);
    static Ref<NSString> dateAndLocation(NSString* time, NSString* location);
    // The site URL of a page of the request (1 the first).
    static Ref<NSString> pageUrl(ListInfo* info, int32_t page);

    // The load-more row's index, or -1 when there is none.
    NSInteger loadMoreRowNumber();
    Ref<UITableViewCell> tableviewCellWithReuseIdentifier(NSString* identifier);

    void saveAction(NSObject* sender);
    void saveThisSearch();

    // From any thread: queues showMessageOnMainThread without waiting.
    void showMessage(NSString* text);
    // A "Message" alert with one "OK" button.
    void showMessageOnMainThread(NSString* text);

    // ---- table ----------------------------------------------------------------------------
    NSInteger numberOfSectionsInTableView(UITableView*) override { return 1; }
    NSInteger tableViewNumberOfRowsInSection(UITableView* table, NSInteger section) override;
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView* table,
                                                        NSIndexPath* path) override;
    void tableViewWillDisplayCellForRowAtIndexPath(UITableView* table, UITableViewCell* cell,
                                                   NSIndexPath* path) override;
    void tableViewDidSelectRowAtIndexPath(UITableView* table, NSIndexPath* path) override;
    bool tableViewCanEditRowAtIndexPath(UITableView*, NSIndexPath*) override { return false; }

    void actionSheetClickedButtonAtIndex(UIActionSheet* sheet, NSInteger index) override;

    // ---- the page request -----------------------------------------------------------------
    void requestStarted(NKHTTPRequest*) override {}
    void requestReceivedResponseHeaders(NKHTTPRequest*) override {}
    void requestFinished(NKHTTPRequest* request) override;
    void requestFailed(NKHTTPRequest* request) override;

    // ---- the mediation banner's delegate --------------------------------------------------
    Ref<NSString> adLoomApplicationKey() override;
    Ref<UIViewController> viewControllerForPresentingModalView() override;
    // The banner shows an ad: its holder makes room for it at the foot of the content.

    // ---- view life cycle ------------------------------------------------------------------
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewDidUnload() override;
    void dealloc() override;

    // For tests and the shell.
    int32_t pageNumber() { return pageNumber_; }
    bool isLoading() { return requests_.isOut(); }
    bool noMoreItem() { return noMoreItem_; }
    Ref<ItemListPage> itemListPage() { return itemListPage_; }
    Ref<ItemViewController> itemViewController() { return itemViewController_; }
    Ref<UIView> activityLabel() { return activityLabel_; }
    Ref<UIActivityIndicatorView> activityIndicator() { return activityIndicator_; }

protected:
    // The mediation banner in the holder, requested when the view loads.
    void requestBanner();
    // The first load's label and the load-more row's spinner, shown and hidden as the requests
    // go; both are nil until the view loads.
    void setActivityLabelHidden(bool hidden);

    Ref<ListInfo> listInfo_;
    Ref<NSMutableArray> itemArray_;
    Ref<ItemListPage> itemListPage_;
    Ref<ItemViewController> itemViewController_;
    int32_t pageNumber_ = 0;
    bool noMoreItem_ = false;
    Ref<UIActivityIndicatorView> activityIndicator_;
    RequestInFlight requests_;
    Ref<UIView> activityLabel_;
    Ref<UITableView> myTableView_;
    Ref<UIView> adsHolder_;
};
