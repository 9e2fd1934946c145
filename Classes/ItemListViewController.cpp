#include "Classes/ItemListViewController.h"

#include <cmath>

#include "Classes/ItemListPage.h"
#include "Classes/ItemPage.h"
#include "Classes/ItemTableViewCell.h"
#include "Classes/ItemViewController.h"
#include "Classes/ListInfo.h"
#include "Classes/MatchKit/MatchKit.h"
#include "Classes/NoticewallAppDelegate.h"
#include "Classes/Regex.h"
#include "Classes/SavedSearch.h"
#include "Classes/ScreenSupport.h"
#include "Classes/StringFunctions.h"
#include "Classes/Theme.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/UITableViewCell.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "json/NSString+HTML.h"
#include "ui/style/DZImageView.h"

namespace {

NSString* orEmpty(NSString* s) {
    return s ? s : NS("");
}

// "%d secs" and its kin.
Ref<NSString> count(const char* format, long long n) {
    return NSString::stringWithFormat(NSString::fromUTF8(format), static_cast<int>(n));
}

}  // namespace

void ItemListViewController::describeClass(RuntimeClass& c) {
    c.implements(
        {"requestStarted:", "requestReceivedResponseHeaders:", "requestFinished:", "requestFailed:",
         "numberOfSectionsInTableView:", "tableView:willDisplayCell:forRowAtIndexPath:",
         "tableView:didSelectRowAtIndexPath:", "actionSheet:clickedButtonAtIndex:",
         "viewControllerForPresentingModalView", "adLoomDidReceiveAd:"});
    c.method("saveAction", &ItemListViewController::saveAction);
    c.method("showMessageOnMainThread:", &ItemListViewController::showMessageOnMainThread);
    c.property("listInfo", &ItemListViewController::listInfo, &ItemListViewController::setListInfo);
    c.property("itemArray", &ItemListViewController::itemArray,
               &ItemListViewController::setItemArray);
    c.property("myTableView", &ItemListViewController::myTableView,
               &ItemListViewController::setMyTableView);
    c.property("adsHolder", &ItemListViewController::adsHolder,
               &ItemListViewController::setAdsHolder);
}

void ItemListViewController::setListInfo(ListInfo* v) {
    listInfo_ = v;
}

void ItemListViewController::setItemArray(NSMutableArray* v) {
    itemArray_ = v;
}

void ItemListViewController::setMyTableView(UITableView* v) {
    myTableView_ = v;
}

void ItemListViewController::setAdsHolder(UIView* v) {
    adsHolder_ = v;
}

// ---- requests -------------------------------------------------------------------------------

Ref<NSString> ItemListViewController::pageUrl(ListInfo* info, int32_t page) {
    auto offset = page >= 2 ? NSString::stringWithFormat(NS("%d"), 100 * (page - 1)) : nullptr;
    auto locationUrl = info->locationUrl();
    if (auto keyword = info->searchKey()) {
        auto host = Regex::getMatch(locationUrl, NS("(http://[^/]*)"));
        auto area = Regex::getMatch(locationUrl, NS("http://.*(/[^\\.]*)"));
        auto category =
            orEmpty(info->catagoryUrl())->stringByReplacingOccurrencesOfString(NS("/"), NS(""));
        auto url = NSMutableString::stringWithFormat(NS("%@/search/%@%@?"), orEmpty(host), category,
                                                     orEmpty(area));
        url->appendFormat(NS("query=%@"), orEmpty(escapeQueryString(keyword)));
        switch (info->sortOrder()) {
            case 1:
                url->appendString(NS("&sort=rel"));
                break;
            case 2:
                url->appendString(NS("&sort=priceasc"));
                break;
            case 3:
                url->appendString(NS("&sort=pricedsc"));
                break;
            default:
                break;
        }
        // A saved search may carry no search type; it is sent empty rather than as "(null)".
        url->appendFormat(NS("&srchType=%@"), orEmpty(info->searchType()));
        url->appendFormat(NS("&minAsk=%@&maxAsk=%@"), orEmpty(info->priceMin()),
                          orEmpty(info->priceMax()));
        if (info->hasImage()) url->appendString(NS("&hasPic=1"));
        if (offset) url->appendFormat(NS("&s=%@"), offset);
        return url->copy();
    }
    if (!offset)
        return NSString::stringWithFormat(NS("%@/%@"), orEmpty(locationUrl),
                                          orEmpty(info->catagoryUrl()));
    return NSString::stringWithFormat(NS("%@/%@index%@.html"), orEmpty(locationUrl),
                                      orEmpty(info->catagoryUrl()), offset);
}

void ItemListViewController::loadFirstItemList() {
    pageNumber_ = 0;
    itemArray_ = nullptr;
    noMoreItem_ = false;
    if (myTableView_) myTableView_->reloadData();
    loadMoreItemList();
    setActivityLabelHidden(false);
    if (!listInfo_) return;
    auto keyword = listInfo_->searchKey();
    if (keyword && keyword->length() > 0)
        setTitle(NSString::stringWithFormat(NS("\"%@\" in %@"), keyword,
                                            orEmpty(listInfo_->catagory())));
    else
        setTitle(listInfo_->catagory());
}

void ItemListViewController::loadMoreItemList() {
    if (!listInfo_) return;
    // The previous page is let go, not cancelled: one still loading answers unheard.
    itemListPage_ = make<ItemListPage>();
    pageNumber_ += 1;
    auto url = pageUrl(listInfo_, pageNumber_);
    auto page = itemListPage_;
    requests_.start(
        page, [&] { page->downloadPage(url, this); }, page);
}

void ItemListViewController::requestFinished(NKHTTPRequest* request) {
    // The site's error pages are no result page: they count as a failed page, which can be
    // retried, rather than as "No match found".
    if (isErrorPage(request)) {
        requestFailed(request);
        return;
    }
    Ref<ItemListViewController> self(this);
    // A page the list started over from is no longer shown.
    if (!requests_.ended(request).isFor(itemListPage_)) return;
    if (activityIndicator_) activityIndicator_->stopAnimating();
    auto rows = itemListPage_ ? itemListPage_->getItemList() : NSMutableArray::array();
    loadItemDetails(rows);
    if (rows->count() == 0) noMoreItem_ = true;
    if (!itemListPage_ || !itemListPage_->hasMoreResults()) noMoreItem_ = true;
    if (!itemArray_)
        itemArray_ = NSMutableArray::arrayWithArray(rows);
    else
        itemArray_->addObjectsFromArray(rows);
    if (myTableView_) myTableView_->reloadData();
    setActivityLabelHidden(true);
    if (itemArray_->count() == 0) showMessage(NS("No match found"));
}

void ItemListViewController::requestFailed(NKHTTPRequest* request) {
    // The failed page is taken back, so that a tap on the load-more row asks for it again.
    if (!requests_.ended(request).isFor(itemListPage_)) return;
    if (activityIndicator_) activityIndicator_->stopAnimating();
    if (pageNumber_ > 0) pageNumber_ -= 1;
    setActivityLabelHidden(true);
    if (auto app = NoticewallAppDelegate::sharedDelegate())
        app->showMessage(NS("Network connection error"));
}

void ItemListViewController::loadItemDetails(NSArray* items) {
    auto section = listInfo_ ? listInfo_->section() : nullptr;
    bool showImage = !(section && section->caseInsensitiveCompare(NS("Personals")) == 0);
    for (NSUInteger i = 0; i < items->count(); ++i) {
        auto item = as<ItemInfo>(items->objectAtIndex(i));
        if (!item) continue;
        auto page = make<ItemPage>();
        page->downloadPage(item->detailUrl(), item.get());
        item->setItemPage(page);
        item->setController(this);
        item->showImage = showImage;
    }
}

void ItemListViewController::itemUpdated(ItemInfo* item) {
    if (itemViewController_) itemViewController_->itemUpdated(item);
    if (!myTableView_) return;
    auto cells = myTableView_->visibleCells();
    for (NSUInteger i = 0; i < cells->count(); ++i) {
        auto cell = as<ItemTableViewCell>(cells->objectAtIndex(i));
        if (!cell) continue;
        auto title = cell->titleLabel() ? cell->titleLabel()->text() : nullptr;
        // Titles, not identities, as the rows show them.
        if ((!item->title() && !title) ||
            (item->title() && title && item->title()->isEqualToString(title))) {
            myTableView_->reloadData();
            return;
        }
    }
}

// ---- texts ---------------------------------------------------------------------------------

Ref<NSString> ItemListViewController::friendlyTime(NSString* time) {
    if (!time) return NS("");
    auto date = parsePostingTime(time);
    long long seconds = 0;
    if (date) {
        double since = -date->timeIntervalSinceNow();
        seconds = since > 0 ? static_cast<long long>(std::trunc(since)) : 0;
    }
    if (seconds < 60) return count("%d secs", seconds);
    if (seconds < 3600) return count("%d mins", seconds / 60);
    if (seconds < 172800) return count("%d hours", seconds / 3600);
    if (seconds < 1209600) return count("%d days", seconds / 86400);
    if (seconds < 3024000) return count("%d weeks", seconds / 604800);
    return count("%d months", seconds / 2592000);
}

Ref<NSString> ItemListViewController::dateAndLocation(NSString* time, NSString* location) {
    if (!time) return location;
    auto day = formatPostingDay(parsePostingTime(time));
    if (!location) return day;
    return NSString::stringWithFormat(NS("%@ \u2727 %@"), location, day);
}

// ---- table ---------------------------------------------------------------------------------

NSInteger ItemListViewController::loadMoreRowNumber() {
    if (noMoreItem_) return -1;
    return itemArray_ ? static_cast<NSInteger>(itemArray_->count()) : 0;
}

NSInteger ItemListViewController::tableViewNumberOfRowsInSection(UITableView*, NSInteger) {
    NSInteger rows = itemArray_ ? static_cast<NSInteger>(itemArray_->count()) : 0;
    return loadMoreRowNumber() >= 1 ? rows + 1 : rows;
}

Ref<UITableViewCell> ItemListViewController::tableviewCellWithReuseIdentifier(
    NSString* identifier) {
    return ItemTableViewCell::createTableViewCellWithIdentifier(identifier);
}

Ref<UITableViewCell> ItemListViewController::tableViewCellForRowAtIndexPath(UITableView* table,
                                                                            NSIndexPath* path) {
    if (path->row() == loadMoreRowNumber()) {
        auto cell = alloc<UITableViewCell>();
        cell->initWithStyle(UITableViewCellStyleDefault, NS("loadmore"));
        auto label = cell->textLabel();
        label->setText(NS("Load More Items ..."));
        label->setFont(UIFont::boldSystemFontOfSize(20));
        label->setTextColor(UIColor::colorWithRed(50 / 255.0f, 120 / 255.0f, 200 / 255.0f, 1));
        label->setTextAlignment(UITextAlignmentCenter);
        if (activityIndicator_) {
            CGFloat width = view()->frame().size.width;
            activityIndicator_->setFrame(CGRectMake(width - 50, 40, 20, 20));
            cell->addSubview(activityIndicator_);
        }
        return cell;
    }
    Ref<UITableViewCell> reused = table->dequeueReusableCellWithIdentifier(NS("ItemTableViewCell"));
    if (!reused) reused = tableviewCellWithReuseIdentifier(NS("ItemTableViewCell"));
    auto cell = as<ItemTableViewCell>(reused);
    if (!cell) return reused;
    auto item = cast<ItemInfo>(itemArray_->objectAtIndex(static_cast<NSUInteger>(path->row())));
    cell->titleLabel()->setText(item->title());
    cell->detailLabel()->setText(oneLineBody(item->detail()));
    cell->timeLabel()->setText(friendlyTime(item->time()));
    auto place = dateAndLocation(item->time(), item->location());
    if (item->extraInfo() && item->extraInfo()->length() > 0)
        place = NSString::stringWithFormat(NS("%@ - %@"), orEmpty(place), item->extraInfo());
    cell->locationLabel()->setText(place);
    Ref<NSString> thumbnail = item->bodyImageUrl();
    if (item->imageUrl() && item->imageUrl()->count() > 0)
        thumbnail = as<NSString>(item->imageUrl()->objectAtIndex(0));
    // A reused cell shows no old image; a row shown again with its own thumbnail keeps it,
    // rather than have every arriving thumbnail stop and start the others' loads.
    auto shown = cell->imgView()->urlPath();
    if (!thumbnail || !shown || !shown->isEqualToString(thumbnail))
        cell->imgView()->setUrlPath(nullptr);
    cell->imgView()->setUrlPath(thumbnail);
    auto price = item->price();
    if (price && price->length() > 0) {
        CGSize size = sizeWithFont(price, UIFont::fontWithName(NS("MarkerFelt-Thin"), 14));
        cell->setPriceWidth(static_cast<int32_t>(size.width));
        cell->layout();
        cell->priceLabel()->setText(price);
        cell->priceLabel()->setHidden(false);
        cell->priceImageView()->setHidden(false);
    } else {
        cell->setPriceWidth(0);
        cell->priceLabel()->setHidden(true);
        cell->priceImageView()->setHidden(true);
    }
    return cell;
}

void ItemListViewController::tableViewWillDisplayCellForRowAtIndexPath(UITableView*,
                                                                       UITableViewCell* cell,
                                                                       NSIndexPath* path) {
    cell->setBackgroundColor(Theme::getCellBackgroundColor(path));
}

void ItemListViewController::tableViewDidSelectRowAtIndexPath(UITableView* table,
                                                              NSIndexPath* path) {
    table->deselectRowAtIndexPath(path, true);
    if (path->row() == loadMoreRowNumber()) {
        if (requests_.isOut()) return;
        if (activityIndicator_) activityIndicator_->startAnimating();
        loadMoreItemList();
        return;
    }
    if (!itemArray_ || path->row() < 0 ||
        static_cast<NSUInteger>(path->row()) >= itemArray_->count())
        return;
    if (!itemViewController_) {
        itemViewController_ = alloc<ItemViewController>();
        itemViewController_->initWithNibName(NS("ItemViewController"), nullptr);
    }
    itemViewController_->displayItems(itemArray_, static_cast<int32_t>(path->row()));
    if (auto nav = navigationController()) nav->pushViewController(itemViewController_, true);
}

// ---- saving the search ---------------------------------------------------------------------

void ItemListViewController::saveAction(NSObject*) {
    auto sheet = alloc<UIActionSheet>();
    sheet->initWithTitle(NS("Save this search?"), this, NS("Cancel"), NS("Yes"));
    sheet->showInView(view());
}

void ItemListViewController::actionSheetClickedButtonAtIndex(UIActionSheet*, NSInteger index) {
    if (index == 0) saveThisSearch();
}

void ItemListViewController::saveThisSearch() {
    auto search = make<SavedSearch>();
    search->setListInfo(listInfo_);
    // The filter goes with the search: run from the saved list, it asks what this list asked.
    if (listInfo_) listInfo_->keepFilterInSettings();
    search->saveToDb();
}

// ---- messages ------------------------------------------------------------------------------

void ItemListViewController::showMessage(NSString* text) {
    performSelectorOnMainThread(Selector::named("showMessageOnMainThread:"), text, false);
}

void ItemListViewController::showMessageOnMainThread(NSString* text) {
    auto alert = alloc<UIAlertView>();
    alert->initWithTitle(NS("Message"), text, nullptr, NS("OK"));
    alert->show();
}

// ---- the banner ----------------------------------------------------------------------------

Ref<NSString> ItemListViewController::adLoomApplicationKey() {
    return kAdLoomApplicationKey;
}

Ref<UIViewController> ItemListViewController::viewControllerForPresentingModalView() {
    return Ref<UIViewController>(this);
}

void ItemListViewController::requestBanner() {
    placeBanner(this, adsHolder_);
}

// ---- view life cycle -----------------------------------------------------------------------

void ItemListViewController::setActivityLabelHidden(bool hidden) {
    if (activityLabel_) activityLabel_->setHidden(hidden);
}

void ItemListViewController::viewDidLoad() {
    UIViewController::viewDidLoad();
    activityIndicator_ = alloc<UIActivityIndicatorView>();
    activityIndicator_->initWithActivityIndicatorStyle(UIActivityIndicatorViewStyleGray);
    activityIndicator_->setHidesWhenStopped(true);
    activityLabel_ = makeActivityLabel(NS("Loading..."), view());
    activityLabel_->setHidden(!requests_.isOut());
    if (myTableView_) myTableView_->setSeparatorColor(UIColor::whiteColor());
    requestBanner();
}

void ItemListViewController::viewWillAppear(bool animated) {
    UIViewController::viewWillAppear(animated);
    if (!itemViewController_ || !itemArray_ || !myTableView_) return;
    int32_t index = itemViewController_->currentIndex();
    if (index < 0 || static_cast<NSUInteger>(index) >= itemArray_->count()) return;
    myTableView_->selectRowAtIndexPath(NSIndexPath::indexPathForRow(index, 0), false,
                                       UITableViewScrollPositionMiddle);
}

void ItemListViewController::viewDidAppear(bool animated) {
    UIViewController::viewDidAppear(animated);
    if (!myTableView_) return;
    if (auto selected = myTableView_->indexPathForSelectedRow())
        myTableView_->deselectRowAtIndexPath(selected, false);
}

void ItemListViewController::viewDidUnload() {
    UIViewController::viewDidUnload();
    // The screen lives on (the Search screen keeps it): its banner goes with the view.
    removeBanners(adsHolder_);
    adsHolder_ = nullptr;
    myTableView_ = nullptr;
    activityLabel_ = nullptr;
    activityIndicator_ = nullptr;
}

void ItemListViewController::dealloc() {
    listInfo_ = nullptr;
    itemArray_ = nullptr;
    itemListPage_ = nullptr;
    itemViewController_ = nullptr;
    activityIndicator_ = nullptr;
    activityLabel_ = nullptr;
    myTableView_ = nullptr;
    removeBanners(adsHolder_);
    adsHolder_ = nullptr;
    UIViewController::dealloc();
}
