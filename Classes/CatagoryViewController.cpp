#include "Classes/CatagoryViewController.h"

#include <iterator>

#include "Classes/CatagoryPage.h"
#include "Classes/ManagedObjects.h"
#include "Classes/ManagedStore.h"
#include "Classes/NoticewallAppDelegate.h"
#include "Classes/ScreenSupport.h"
#include "Classes/SiteHosts.h"
#include "Classes/Theme.h"
#include "CoreData/NSManagedObjectContext.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITableViewCell.h"

namespace {
// The version of the stored category lists; another stored value downloads them again.
constexpr NSInteger kCatagoryVersion = 2;
}  // namespace

void CatagoryViewController::describeClass(RuntimeClass& c) {
    c.implements(
        {"numberOfSectionsInTableView:", "tableView:titleForHeaderInSection:",
         "sectionIndexTitlesForTableView:", "tableView:sectionForSectionIndexTitle:atIndex:",
         "tableView:didSelectRowAtIndexPath:", "requestStarted:", "requestReceivedResponseHeaders:",
         "requestFinished:", "requestFailed:"});
    c.method("selectionDone:", &CatagoryViewController::selectionDone);
}

Ref<NSString> CatagoryViewController::catagoryPageUrl() {
    auto url = NSUserDefaults::standardUserDefaults()->stringForKey(NS("LocationUrl"));
    if (url) return url;
    return NSString::stringWithFormat(NS("http://%@.%@/"), SiteHosts::defaultCity(),
                                      SiteHosts::domain());
}

void CatagoryViewController::viewDidLoad() {
    UIViewController::viewDidLoad();
    setTitle(NS("Catagories"));
    activityLabel_ = makeActivityLabel(NS("Loading..."), view());
    if (auto app = NoticewallAppDelegate::sharedDelegate())
        managedObjectContext_ = app->managedObjectContext();
    loadCatagories();

    page_ = make<CatagoryPage>();
    pageUrl_ = catagoryPageUrl();
    auto defaults = NSUserDefaults::standardUserDefaults();
    auto storedUrl = defaults->stringForKey(NS("CatagoryLocationUrl"));
    // The location and version are recorded once the lists were replaced (requestFinished), so
    // that a failed or short download is tried again at the next opening.
    bool download = !storedUrl || !storedUrl->isEqualToString(pageUrl_) ||
                    defaults->integerForKey(NS("CatagoryVersion")) != kCatagoryVersion;
    if (!download) return;
    page_->downloadPage(pageUrl_, this);
    activityLabel_->setHidden(false);
}

void CatagoryViewController::viewDidAppear(bool animated) {
    UIViewController::viewDidAppear(animated);
    auto defaults = NSUserDefaults::standardUserDefaults();
    if (defaults->boolForKey(NS("tipCategory"))) return;
    auto alert = alloc<UIAlertView>();
    alert->initWithTitle(NS("Quick Tip"),
                         NS("Tap the index on the right to move through the categories quickly."),
                         nullptr, NS("OK"));
    alert->show();
    defaults->setBool(true, NS("tipCategory"));
    defaults->synchronize();
}

void CatagoryViewController::loadCatagories() {
    sectionArray_ = ManagedStore::sections(managedObjectContext_);
    if (!sectionArray_) sectionArray_ = NSMutableArray::array();
    indexArray_ = NSMutableArray::array();
    for (NSObject* o : *sectionArray_) {
        auto name = as<Section>(o)->name();
        indexArray_->addObject(
            name ? name->stringByReplacingOccurrencesOfString(NS("/Trade"), NS(""))
                 : Ref<NSString>(NS("")));
    }
}

Ref<Catagory> CatagoryViewController::getCatagoryAt(NSIndexPath* path) {
    auto section =
        cast<Section>(sectionArray_->objectAtIndex(static_cast<NSUInteger>(path->section())));
    auto catagories = ManagedStore::catagoriesOfSection(section);
    return as<Catagory>(catagories->objectAtIndex(static_cast<NSUInteger>(path->row())));
}

void CatagoryViewController::selectionDone(NSObject*) {
    dismissModalViewControllerAnimated(true);
}

// ---- table ------------------------------------------------------------------------------------

NSInteger CatagoryViewController::numberOfSectionsInTableView(UITableView*) {
    return static_cast<NSInteger>(sectionArray_ ? sectionArray_->count() : 0);
}

NSInteger CatagoryViewController::tableViewNumberOfRowsInSection(UITableView*, NSInteger section) {
    auto s = cast<Section>(sectionArray_->objectAtIndex(static_cast<NSUInteger>(section)));
    return static_cast<NSInteger>(ManagedStore::catagoriesOfSection(s)->count());
}

Ref<NSString> CatagoryViewController::tableViewTitleForHeaderInSection(UITableView*,
                                                                       NSInteger section) {
    return cast<Section>(sectionArray_->objectAtIndex(static_cast<NSUInteger>(section)))->name();
}

Ref<UITableViewCell> CatagoryViewController::tableViewCellForRowAtIndexPath(UITableView* table,
                                                                            NSIndexPath* path) {
    auto cell = table->dequeueReusableCellWithIdentifier(NS("Cell"));
    if (!cell) {
        cell = alloc<UITableViewCell>();
        cell->initWithStyle(UITableViewCellStyleDefault, NS("Cell"));
    }
    cell->textLabel()->setText(getCatagoryAt(path)->name());
    cell->textLabel()->setFont(UIFont::boldSystemFontOfSize(17));
    Ref<UIImage> image;
    NSInteger k = path->section();
    if (path->row() == 0 && k >= 0 && k < static_cast<NSInteger>(std::size(kCatagorySectionTable)))
        image = UIImage::imageNamed(NSString::fromUTF8(kCatagorySectionTable[k].image));
    cell->imageView()->setImage(image);
    cell->setBackgroundColor(Theme::getCellBackgroundColor(path));
    return cell;
}

Ref<NSArray> CatagoryViewController::sectionIndexTitlesForTableView(UITableView*) {
    return indexArray_;
}

NSInteger CatagoryViewController::tableViewSectionForSectionIndexTitle(UITableView*, NSString*,
                                                                       NSInteger index) {
    return index;
}

void CatagoryViewController::tableViewDidSelectRowAtIndexPath(UITableView*, NSIndexPath* path) {
    auto catagory = getCatagoryAt(path);
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setObject(catagory->name(), NS("CatagoryName"));
    defaults->setObject(catagory->url(), NS("CatagoryUrl"));
    auto section = catagory->section();
    defaults->setObject(section ? section->name() : nullptr, NS("CatagorySection"));
    defaults->synchronize();
    dismissModalViewControllerAnimated(true);
}

// ---- the city page's download -----------------------------------------------------------------

void CatagoryViewController::requestStarted(NKHTTPRequest*) {}
void CatagoryViewController::requestReceivedResponseHeaders(NKHTTPRequest*) {}

void CatagoryViewController::requestFinished(NKHTTPRequest* request) {
    // The site's error pages hold no list: they count as a failed download, which the next
    // opening tries again.
    if (isErrorPage(request)) {
        requestFailed(request);
        return;
    }
    auto catagories = page_->getCatagories();
    if (ManagedStore::replaceCatagories(managedObjectContext_, catagories)) {
        auto defaults = NSUserDefaults::standardUserDefaults();
        defaults->setObject(pageUrl_, NS("CatagoryLocationUrl"));
        defaults->setInteger(kCatagoryVersion, NS("CatagoryVersion"));
        defaults->synchronize();
        loadCatagories();
        if (myTableView_) myTableView_->reloadData();
    }
    if (activityLabel_) activityLabel_->setHidden(true);
}

void CatagoryViewController::requestFailed(NKHTTPRequest*) {
    if (activityLabel_) activityLabel_->setHidden(true);
    if (auto app = NoticewallAppDelegate::sharedDelegate())
        app->showMessage(NS("Network connection error"));
}

void CatagoryViewController::dealloc() {
    page_ = nullptr;
    sectionArray_ = nullptr;
    indexArray_ = nullptr;
    managedObjectContext_ = nullptr;
    UIViewController::dealloc();
}
