#include "tools/catalog/CatalogComposite.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIColor.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIViewController.h"
#include "ui/table/DZLauncherView.h"
#include "ui/table/DZTabBar.h"

namespace {

const char* const kIcons[] = {"Cars",    "Homes",   "Jobs",  "Pets",  "Bikes",
                              "Boats",   "Phones",  "Books", "Music", "Garden",
                              "Tools",   "Sports",  "Toys",  "Art",   "Travel",
                              "Tickets", "Fashion", "Games", "Food",  "Services"};

// Twenty icons over three pages; tapping one names it, and Done ends editing.
class CatalogLauncherController : public UIViewController, public DZLauncherViewDelegate {
    NS_OBJECT(CatalogLauncherController, UIViewController)
    static void describeClass(RuntimeClass& c) {
        c.implements({"launcherView:didSelectItem:", "launcherViewDidBeginEditing:",
                      "launcherViewDidEndEditing:"});
        c.method("done", &CatalogLauncherController::done);
    }

public:
    void loadView() override {
        auto view = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 416));
        view->setBackgroundColor(UIColor::whiteColor());
        status_ = make<UILabel>(&UILabel::initWithFrame, CGRectMake(10, 0, 300, 24));
        status_->setText(NS("Hold an icon to arrange"));
        view->addSubview(status_);
        launcher_ =
            make<DZLauncherView>(&DZLauncherView::initWithFrame, CGRectMake(0, 24, 320, 392));
        launcher_->setDelegate(this);
        auto pages = NSMutableArray::array();
        Ref<NSMutableArray> page;
        int n = 0;
        for (const char* title : kIcons) {
            if (n++ % 9 == 0) {
                page = NSMutableArray::array();
                pages->addObject(page);
            }
            auto item = make<DZLauncherItem>(
                static_cast<bool (DZLauncherItem::*)(NSString*, NSString*, NSString*, bool)>(
                    &DZLauncherItem::initWithTitle),
                NSString::stringWithUTF8String(title), static_cast<NSString*>(nullptr),
                NSString::stringWithFormat(NS("catalog://launcher/%s"), title).get(), true);
            page->addObject(item);
        }
        launcher_->setPages(pages);
        view->addSubview(launcher_);
        setView(view);
    }
    void viewDidLoad() override {
        setTitle(NS("Launcher"));
        auto first = cast<NSArray>(launcher_->pages()->objectAtIndex(0));
        cast<DZLauncherItem>(first->objectAtIndex(1))->setBadgeNumber(3);
        cast<DZLauncherItem>(first->objectAtIndex(3))->setBadgeNumber(120);
    }
    void launcherViewDidSelectItem(DZLauncherView*, DZLauncherItem* item) override {
        status_->setText(NSString::stringWithFormat(NS("Opened %@"), item->title().get()));
    }
    void launcherViewDidBeginEditing(DZLauncherView*) override {
        auto done = make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                          UIBarButtonSystemItemDone, static_cast<NSObject*>(this),
                                          Selector::named("done"));
        navigationItem()->setRightBarButtonItem(done);
        status_->setText(NS("Editing"));
    }
    void launcherViewDidEndEditing(DZLauncherView*) override {
        navigationItem()->setRightBarButtonItem(nullptr);
        status_->setText(NS("Hold an icon to arrange"));
    }
    void done() { launcher_->endEditing(); }

private:
    Ref<UILabel> status_;
    Ref<DZLauncherView> launcher_;
};

Ref<NSArray> tabItems(std::initializer_list<const char*> titles) {
    auto items = NSMutableArray::array();
    for (const char* t : titles)
        items->addObject(
            make<DZTabItem>(&DZTabItem::initWithTitle, NSString::stringWithUTF8String(t)));
    return items;
}

// A tab bar, a strip and a grid; the line below names the last tab selected.
class CatalogTabsController : public UIViewController, public DZTabDelegate {
    NS_OBJECT(CatalogTabsController, UIViewController)
    static void describeClass(RuntimeClass& c) { c.implements({"tabBar:tabSelected:"}); }

public:
    void loadView() override {
        auto view = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 416));
        view->setBackgroundColor(UIColor::whiteColor());
        bar_ = make<DZTabBar>(&DZTabBar::initWithFrame, CGRectMake(0, 10, 320, 40));
        bar_->setContentMode(UIViewContentModeScaleToFill);
        bar_->setTabItems(tabItems({"All", "Nearby", "Saved"}));
        bar_->setDelegate(this);
        view->addSubview(bar_);
        strip_ = make<DZTabStrip>(&DZTabStrip::initWithFrame, CGRectMake(0, 70, 320, 40));
        strip_->setTabItems(
            tabItems({"Motorcycles", "Caravans", "Agricultural", "Boats", "Trailers"}));
        strip_->setDelegate(this);
        view->addSubview(strip_);
        grid_ = make<DZTabGrid>(&DZTabGrid::initWithFrame, CGRectMake(10, 130, 300, 90));
        grid_->setTabItems(tabItems({"Today", "Week", "Month", "Year", "Ever"}));
        grid_->setDelegate(this);
        view->addSubview(grid_);
        status_ = make<UILabel>(&UILabel::initWithFrame, CGRectMake(10, 240, 300, 24));
        status_->setText(NS("Selected: All"));
        view->addSubview(status_);
        setView(view);
    }
    void viewDidLoad() override {
        setTitle(NS("Tabs"));
        cast<DZTabItem>(bar_->tabItems()->objectAtIndex(2))->setBadgeNumber(4);
        cast<DZTabItem>(strip_->tabItems()->objectAtIndex(0))->setBadgeNumber(150);
    }
    void tabBarTabSelected(DZTabBar* bar, NSInteger) override {
        auto item = bar->selectedTabItem();
        status_->setText(NSString::stringWithFormat(NS("Selected: %@"),
                                                    item ? item->title().get() : NS("none")));
    }

private:
    Ref<DZTabBar> bar_;
    Ref<DZTabStrip> strip_;
    Ref<DZTabGrid> grid_;
    Ref<UILabel> status_;
};

}  // namespace

Ref<UIViewController> makeCatalogLauncherScreen() {
    return make<CatalogLauncherController>();
}

Ref<UIViewController> makeCatalogTabsScreen() {
    return make<CatalogTabsController>();
}
