#include "Classes/StateViewController.h"

#include "Classes/CityViewController.h"
#include "Classes/ManagedObjects.h"
#include "Classes/ManagedStore.h"
#include "Classes/MetroItem.h"
#include "Classes/MetroPage.h"
#include "Classes/NoticewallAppDelegate.h"
#include "Classes/RecentLocation.h"
#include "Classes/ScreenSupport.h"
#include "Classes/SiteHosts.h"
#include "Classes/Theme.h"
#include "CoreData/NSManagedObjectContext.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITableViewCell.h"

namespace {
constexpr NSInteger kRecentSection = 0;
constexpr NSUInteger kEnoughStates = 10;

// The metros whose home pages carry a sub-area bar, by site root.
constexpr const char* kSuburbMetros[] = {
    "phoenix",   "losangeles", "sandiego",  "sfbay",         "washingtondc", "fortlauderdale",
    "fortmyers", "miami",      "tampa",     "westpalmbeach", "atlanta",      "honolulu",
    "chicago",   "boston",     "detroit",   "minneapolis",   "newyork",      "portland",
    "dallas",    "seattle",    "vancouver", "toronto",
};

void styleCell(UITableViewCell* cell) {
    cell->textLabel()->setFont(UIFont::boldSystemFontOfSize(17));
    if (auto detail = cell->detailTextLabel()) detail->setFont(UIFont::systemFontOfSize(16));
    cell->setBackgroundColor(Theme::getCellBackgroundColor(nullptr));
}
}  // namespace

void StateViewController::describeClass(RuntimeClass& c) {
    c.implements({"numberOfSectionsInTableView:", "tableView:titleForHeaderInSection:",
                  "tableView:didSelectRowAtIndexPath:", "pickerView:titleForRow:forComponent:",
                  "requestStarted:", "requestReceivedResponseHeaders:", "requestFinished:",
                  "requestFailed:"});
    c.method("regionButtonPressed:", &StateViewController::regionButtonPressed);
    c.method("selectionDone:", &StateViewController::selectionDone);
}

void StateViewController::viewDidLoad() {
    UIViewController::viewDidLoad();
    setTitle(NS("Locations"));
    activityLabel_ = makeActivityLabel(NS("Loading..."), view());
    if (auto app = NoticewallAppDelegate::sharedDelegate())
        managedObjectContext_ = app->managedObjectContext();
    loadRegions();
    loadRecentLocation();
    loadStates();

    page_ = make<MetroPage>();
    if (stateArray_ && stateArray_->count() >= kEnoughStates) {
        auto app = NoticewallAppDelegate::sharedDelegate();
        if (!app || !app->updateDue(NS("LastStateUpdate"))) return;
    }
    page_->downloadPage(MetroPage::locationIndexUrl(), this);
    activityLabel_->setHidden(false);
}

void StateViewController::loadRegions() {
    regionsArray_ = NSArray::arrayWithObjects({NS("US"), NS("Canada"), NS("Europe"),
                                               NS("Asia, Pacific and Middle East"), NS("Oceania"),
                                               NS("Latin America and Caribbean"), NS("Africa")});
}

void StateViewController::loadRecentLocation() {
    recentLocationArray_ = RecentLocation::getRecentLocations();
}

void StateViewController::loadStates() {
    auto defaults = NSUserDefaults::standardUserDefaults();
    auto region = defaults->stringForKey(NS("Region"));
    if (!region) {
        region = NS("US");
        defaults->setObject(region, NS("Region"));
    }
    stateArray_ = ManagedStore::statesOfRegion(managedObjectContext_, region);
    if (!stateArray_) stateArray_ = NSMutableArray::array();
}

void StateViewController::updateManagedObjects() {
    if (updatedStateArray_)
        ManagedStore::replaceLocations(managedObjectContext_, updatedStateArray_);
}

bool StateViewController::metroHasSuburb(NSString* url) {
    if (!url) return false;
    for (const char* code : kSuburbMetros) {
        auto root = NSString::stringWithFormat(NS("http://%s.%@"), code, SiteHosts::domain());
        if (url->isEqualToString(root)) return true;
    }
    return false;
}

Ref<NSArray> StateViewController::convertMetroToMetroItemArray(NSArray* metros) {
    auto items = NSMutableArray::array();
    if (!metros) return items;
    for (NSObject* o : *metros) {
        auto metro = as<Metro>(o);
        if (!metro) continue;
        auto state = metro->state();
        auto item =
            MetroItem::itemWithName(metro->name(), metro->url(), state ? state->name() : nullptr,
                                    state ? state->region() : nullptr);
        item->setHasSuburb(metroHasSuburb(metro->url()));
        items->addObject(item);
    }
    return items;
}

void StateViewController::regionButtonPressed(NSObject*) {
    if (!regionPickerView_) return;
    if (regionPickerView_->isHidden()) {
        view()->bringSubviewToFront(regionPickerView_);
        regionPickerView_->setHidden(false);
        if (regionButton_) regionButton_->setTitle(NS("Done"));
        return;
    }
    regionPickerView_->setHidden(true);
    if (regionButton_) regionButton_->setTitle(NS("Change Country or Continent"));
    NSInteger row = regionPickerView_->selectedRowInComponent(0);
    if (row < 0 || static_cast<NSUInteger>(row) >= regionsArray_->count()) row = 0;
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setObject(regionsArray_->objectAtIndex(static_cast<NSUInteger>(row)), NS("Region"));
    defaults->synchronize();
    loadStates();
    if (!myTableView_) return;
    myTableView_->reloadData();
    // A region without stored states has no row to scroll to.
    if (stateArray_->count() > 0) {
        myTableView_->scrollToRowAtIndexPath(NSIndexPath::indexPathForRow(0, 1),
                                             UITableViewScrollPositionBottom, false);
    }
}

void StateViewController::selectionDone(NSObject*) {
    dismissModalViewControllerAnimated(true);
}

// ---- table ------------------------------------------------------------------------------------

NSInteger StateViewController::numberOfSectionsInTableView(UITableView*) {
    return 2;
}

NSInteger StateViewController::tableViewNumberOfRowsInSection(UITableView*, NSInteger section) {
    NSArray* rows = section == kRecentSection ? recentLocationArray_.get() : stateArray_.get();
    return rows ? static_cast<NSInteger>(rows->count()) : 0;
}

Ref<NSString> StateViewController::tableViewTitleForHeaderInSection(UITableView*,
                                                                    NSInteger section) {
    if (section == kRecentSection) {
        bool any = recentLocationArray_ && recentLocationArray_->count() > 0;
        return any ? NS("Recent Locations") : nullptr;
    }
    return NSUserDefaults::standardUserDefaults()->stringForKey(NS("Region"));
}

Ref<UITableViewCell> StateViewController::tableViewCellForRowAtIndexPath(UITableView* table,
                                                                         NSIndexPath* path) {
    auto row = static_cast<NSUInteger>(path->row());
    if (path->section() == kRecentSection) {
        auto cell = table->dequeueReusableCellWithIdentifier(NS("CellWithDetail"));
        if (!cell) {
            cell = alloc<UITableViewCell>();
            cell->initWithStyle(UITableViewCellStyleValue1, NS("CellWithDetail"));
            cell->setAccessoryType(UITableViewCellAccessoryNone);
        }
        auto recent = cast<RecentLocation>(recentLocationArray_->objectAtIndex(row));
        cell->textLabel()->setText(recent->city());
        cell->detailTextLabel()->setText(recent->state());
        styleCell(cell);
        return cell;
    }
    auto cell = table->dequeueReusableCellWithIdentifier(NS("CellWithoutDetail"));
    if (!cell) {
        cell = alloc<UITableViewCell>();
        cell->initWithStyle(UITableViewCellStyleDefault, NS("CellWithoutDetail"));
        cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
    }
    auto state = cast<State>(stateArray_->objectAtIndex(row));
    cell->textLabel()->setText(state->name());
    styleCell(cell);
    return cell;
}

void StateViewController::tableViewDidSelectRowAtIndexPath(UITableView* table, NSIndexPath* path) {
    auto row = static_cast<NSUInteger>(path->row());
    if (path->section() == kRecentSection) {
        auto recent = cast<RecentLocation>(recentLocationArray_->objectAtIndex(row));
        auto defaults = NSUserDefaults::standardUserDefaults();
        defaults->setObject(recent->city(), NS("LocationName"));
        defaults->setObject(recent->url(), NS("LocationUrl"));
        defaults->setObject(recent->state(), NS("LocationState"));
        defaults->synchronize();
        dismissModalViewControllerAnimated(true);
        return;
    }
    auto state = cast<State>(stateArray_->objectAtIndex(row));
    auto metros = ManagedStore::metrosOfState(state);
    if (!metros || metros->count() == 0) return;
    auto city = alloc<CityViewController>();
    city->initWithNibName(NS("CityViewController"), nullptr);
    city->setMetroArray(convertMetroToMetroItemArray(metros));
    presentModalViewController(city, true);
    table->deselectRowAtIndexPath(path, true);
}

// ---- region picker ----------------------------------------------------------------------------

NSInteger StateViewController::numberOfComponentsInPickerView(UIPickerView*) {
    return 1;
}

NSInteger StateViewController::pickerViewNumberOfRowsInComponent(UIPickerView*, NSInteger) {
    return regionsArray_ ? static_cast<NSInteger>(regionsArray_->count()) : 0;
}

Ref<NSString> StateViewController::pickerViewTitleForRowForComponent(UIPickerView*, NSInteger row,
                                                                     NSInteger) {
    return as<NSString>(regionsArray_->objectAtIndex(static_cast<NSUInteger>(row)));
}

// ---- the location index's download ------------------------------------------------------------

void StateViewController::requestStarted(NKHTTPRequest*) {}
void StateViewController::requestReceivedResponseHeaders(NKHTTPRequest*) {}

void StateViewController::requestFinished(NKHTTPRequest* request) {
    // The site's error pages hold no list: they count as a failed download (a short stored list
    // is asked for again at the next opening, a full one at its next refresh).
    if (isErrorPage(request)) {
        requestFailed(request);
        return;
    }
    updatedStateArray_ = page_->getMetros();
    if (!stateArray_ || stateArray_->count() == 0) {
        updateManagedObjects();
        loadStates();
        if (myTableView_) myTableView_->reloadData();
    }
    if (activityLabel_) activityLabel_->setHidden(true);
}

void StateViewController::requestFailed(NKHTTPRequest*) {
    // The refresh time was recorded when the refresh fell due; the stored list serves until the
    // next one, so a failing site is not asked again at every opening.
    if (activityLabel_) activityLabel_->setHidden(true);
    if (auto app = NoticewallAppDelegate::sharedDelegate())
        app->showMessage(NS("Network connection error"));
}

void StateViewController::dealloc() {
    // The fresh list replaces the stored one only now, so that it never changes under the
    // user's finger.
    updateManagedObjects();
    page_ = nullptr;
    updatedStateArray_ = nullptr;
    stateArray_ = nullptr;
    recentLocationArray_ = nullptr;
    managedObjectContext_ = nullptr;
    UIViewController::dealloc();
}
