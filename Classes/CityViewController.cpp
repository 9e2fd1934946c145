#include "Classes/CityViewController.h"

#include "Classes/MetroItem.h"
#include "Classes/NoticewallAppDelegate.h"
#include "Classes/RecentLocation.h"
#include "Classes/ScreenSupport.h"
#include "Classes/StateViewController.h"
#include "Classes/SuburbPage.h"
#include "Classes/Theme.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UITableViewCell.h"

namespace {
// Who presented the screen: the presenting controller, else the parent.
Ref<UIViewController> presenterOf(UIViewController* screen) {
    if (auto presenting = screen->presentingViewController()) return presenting;
    return screen->parentViewController();
}
}  // namespace

void CityViewController::describeClass(RuntimeClass& c) {
    c.implements({"tableView:didSelectRowAtIndexPath:", "requestStarted:",
                  "requestReceivedResponseHeaders:", "requestFinished:", "requestFailed:"});
    c.method("selectionDone:", &CityViewController::selectionDone);
}

void CityViewController::loadSuburb(MetroItem* metro) {
    parentMetro_ = metro;
    suburbPage_ = make<SuburbPage>();
    loading_ = true;
    suburbPage_->downloadPage(metro->url(), this);
    // Before the view loads there is no label yet; viewDidLoad shows it while this loads.
    if (activityLabel_) activityLabel_->setHidden(false);
}

void CityViewController::viewDidLoad() {
    UIViewController::viewDidLoad();
    Ref<NSString> title = NS("Locations");
    if (metroArray_ && metroArray_->count() > 0)
        title = cast<MetroItem>(metroArray_->objectAtIndex(0))->state();
    else if (parentMetro_)
        title = parentMetro_->name();
    setTitle(title);
    activityLabel_ = makeActivityLabel(NS("Loading..."), view());
    activityLabel_->setHidden(!(parentMetro_ && loading_));
    if (navigationBar_ && navigationBar_->topItem()) navigationBar_->topItem()->setTitle(title);
}

void CityViewController::selectionDone(NSObject*) {
    dismissModalViewControllerAnimated(true);
}

NSInteger CityViewController::tableViewNumberOfRowsInSection(UITableView*, NSInteger) {
    return metroArray_ ? static_cast<NSInteger>(metroArray_->count()) : 0;
}

Ref<UITableViewCell> CityViewController::tableViewCellForRowAtIndexPath(UITableView* table,
                                                                        NSIndexPath* path) {
    auto cell = table->dequeueReusableCellWithIdentifier(NS("Cell"));
    if (!cell) {
        cell = alloc<UITableViewCell>();
        cell->initWithStyle(UITableViewCellStyleDefault, NS("Cell"));
    }
    auto metro = cast<MetroItem>(metroArray_->objectAtIndex(static_cast<NSUInteger>(path->row())));
    cell->textLabel()->setText(metro->name());
    cell->textLabel()->setFont(UIFont::boldSystemFontOfSize(17));
    cell->setAccessoryType(metro->hasSuburb() ? UITableViewCellAccessoryDisclosureIndicator
                                              : UITableViewCellAccessoryNone);
    cell->setBackgroundColor(Theme::getCellBackgroundColor(nullptr));
    return cell;
}

void CityViewController::tableViewDidSelectRowAtIndexPath(UITableView* table, NSIndexPath* path) {
    auto metro = cast<MetroItem>(metroArray_->objectAtIndex(static_cast<NSUInteger>(path->row())));
    if (metro->hasSuburb()) {
        auto suburbs = alloc<CityViewController>();
        suburbs->initWithNibName(NS("CityViewController"), nullptr);
        suburbs->loadSuburb(metro);
        presentModalViewController(suburbs, true);
        table->deselectRowAtIndexPath(path, true);
        return;
    }
    choose(metro);
}

void CityViewController::choose(MetroItem* metro) {
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setObject(metro->name(), NS("LocationName"));
    defaults->setObject(metro->url(), NS("LocationUrl"));
    defaults->setObject(metro->state(), NS("LocationState"));
    defaults->synchronize();
    RecentLocation::addRecentLocation(metro->url(), metro->state(), metro->name());

    // This screen (and, for a sub-area list, the metro screen under it) goes at once; the
    // location screen slides away, leaving the Search screen.
    Ref<CityViewController> keep(this);
    Ref<UIViewController> below = presenterOf(this);
    if (!below) return;
    below->dismissModalViewControllerAnimated(false);
    if (parentMetro_ && is<CityViewController>(below.get())) {
        auto metros = below;
        below = presenterOf(metros);
        if (!below) return;
        below->dismissModalViewControllerAnimated(false);
    }
    if (auto search = presenterOf(below)) search->dismissModalViewControllerAnimated(true);
}

void CityViewController::requestStarted(NKHTTPRequest*) {}
void CityViewController::requestReceivedResponseHeaders(NKHTTPRequest*) {}

void CityViewController::requestFinished(NKHTTPRequest* request) {
    // The site's error pages hold no sub-areas: the user is told the download failed, and the
    // whole metro stays on the list to be chosen.
    bool errorPage = isErrorPage(request);
    loading_ = false;
    if (activityLabel_) activityLabel_->setHidden(true);
    metroArray_ = errorPage ? make<SuburbPage>()->getSuburbs(parentMetro_)
                            : suburbPage_->getSuburbs(parentMetro_);
    if (myTableView_) myTableView_->reloadData();
    if (errorPage)
        if (auto app = NoticewallAppDelegate::sharedDelegate())
            app->showMessage(NS("Network connection error"));
}

void CityViewController::requestFailed(NKHTTPRequest*) {
    loading_ = false;
    if (activityLabel_) activityLabel_->setHidden(true);
    if (auto app = NoticewallAppDelegate::sharedDelegate())
        app->showMessage(NS("Network connection error"));
}

void CityViewController::dealloc() {
    suburbPage_ = nullptr;
    parentMetro_ = nullptr;
    metroArray_ = nullptr;
    UIViewController::dealloc();
}
