#include "tools/catalog/CatalogComposite.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIColor.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIViewController.h"
#include "json/ZJSONDeserializer.h"
#include "tools/appimages/AppImages.h"
#include "tools/catalog/CatalogControls.h"
#include "tools/catalog/CatalogHosts.h"
#include "tools/catalog/CatalogTables.h"
#include "ui/core/DZURLCache.h"
#include "ui/core/DZURLRequest.h"
#include "ui/table/DZLauncherView.h"
#include "ui/table/DZPhotoViewController.h"
#include "ui/table/DZTabBar.h"

namespace {

const char* const kIcons[] = {"Cars",    "Homes",   "Jobs",  "Pets",  "Bikes",
                              "Boats",   "Phones",  "Books", "Music", "Garden",
                              "Tools",   "Sports",  "Toys",  "Art",   "Travel",
                              "Tickets", "Fashion", "Games", "Food",  "Services"};

// The icon of a launcher item, drawn once and kept in the image cache under its URL.
Ref<NSString> launcherIconURL(const char* title, size_t index) {
    auto url = NSString::stringWithFormat(NS("catalog://launcher/icons/%s.png"), title);
    auto cache = DZURLCache::sharedCache();
    if (!cache->imageForURL(url, false))
        cache->storeImage(drawLauncherIcon(title, index).get(), url.get());
    return url;
}

// Twenty icons over three pages, on a dark ground as on a phone's home screen (the launcher's
// light titles and white page dot are made for one); tapping one names it, and Done ends
// editing.
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
        view->setBackgroundColor(UIColor::colorWithRed(0.16f, 0.18f, 0.22f, 1));
        auto status = make<UILabel>(&UILabel::initWithFrame, CGRectMake(10, 0, 300, 24));
        status->setText(NS("Hold an icon to arrange"));
        status->setTextColor(UIColor::whiteColor());
        status->setBackgroundColor(UIColor::clearColor());
        view->addSubview(status);
        status_.attach(status);
        // The launcher takes the rest of the screen, whatever bars the screen has, so its page
        // dots stay above the tab bar.
        launcher_ =
            make<DZLauncherView>(&DZLauncherView::initWithFrame, CGRectMake(0, 24, 320, 392));
        launcher_->setAutoresizingMask(static_cast<UIViewAutoresizing>(
            UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight));
        launcher_->setDelegate(this);
        auto pages = NSMutableArray::array();
        Ref<NSMutableArray> page;
        size_t n = 0;
        for (const char* title : kIcons) {
            if (n++ % 9 == 0) {
                page = NSMutableArray::array();
                pages->addObject(page);
            }
            auto item = make<DZLauncherItem>(
                static_cast<bool (DZLauncherItem::*)(NSString*, NSString*, NSString*, bool)>(
                    &DZLauncherItem::initWithTitle),
                NSString::stringWithUTF8String(title), launcherIconURL(title, n - 1).get(),
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
        status_.say(NSString::stringWithFormat(NS("Opened %@"), item->title().get()));
    }
    void launcherViewDidBeginEditing(DZLauncherView*) override {
        auto done = make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                          UIBarButtonSystemItemDone, static_cast<NSObject*>(this),
                                          Selector::named("done"));
        navigationItem()->setRightBarButtonItem(done);
        status_.say(NS("Editing"));
    }
    void launcherViewDidEndEditing(DZLauncherView*) override {
        navigationItem()->setRightBarButtonItem(nullptr);
        status_.say(NS("Hold an icon to arrange"));
    }
    void done() { launcher_->endEditing(); }

private:
    CatalogStatusLine status_;
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
        bar_->setSelectedTabIndex(selected_[0]);
        bar_->setDelegate(this);
        view->addSubview(bar_);
        strip_ = make<DZTabStrip>(&DZTabStrip::initWithFrame, CGRectMake(0, 70, 320, 40));
        strip_->setTabItems(
            tabItems({"Motorcycles", "Caravans", "Agricultural", "Boats", "Trailers"}));
        strip_->setSelectedTabIndex(selected_[1]);
        strip_->setDelegate(this);
        view->addSubview(strip_);
        grid_ = make<DZTabGrid>(&DZTabGrid::initWithFrame, CGRectMake(10, 130, 300, 90));
        grid_->setTabItems(tabItems({"Today", "Week", "Month", "Year", "Ever"}));
        // The grid's box just holds its rows.
        CGFloat gridHeight = grid_->sizeThatFits(CGSizeMake(300, 0)).height;
        grid_->setFrame(CGRectMake(10, 130, 300, gridHeight));
        grid_->setSelectedTabIndex(selected_[2]);
        grid_->setDelegate(this);
        view->addSubview(grid_);
        auto status =
            make<UILabel>(&UILabel::initWithFrame, CGRectMake(10, 130 + gridHeight + 20, 300, 24));
        status->setText(NS("Selected: All"));
        view->addSubview(status);
        status_.attach(status);
        setView(view);
    }
    void viewDidLoad() override {
        setTitle(NS("Tabs"));
        // A badge sits inside its tab's top right corner: on the bar's wide tabs it covers no
        // text, where on the strip's tabs, each just as wide as its title, it would hide the
        // title's end.
        cast<DZTabItem>(bar_->tabItems()->objectAtIndex(0))->setBadgeNumber(150);
        cast<DZTabItem>(bar_->tabItems()->objectAtIndex(2))->setBadgeNumber(4);
    }
    void tabBarTabSelected(DZTabBar* bar, NSInteger) override {
        auto item = bar->selectedTabItem();
        status_.say(NSString::stringWithFormat(NS("Selected: %@"),
                                               item ? item->title().get() : NS("none")));
    }
    // The tabs chosen live on in the controller while the view is let go.
    void viewWillUnload() override {
        UIViewController::viewWillUnload();
        selected_[0] = bar_->selectedTabIndex();
        selected_[1] = strip_->selectedTabIndex();
        selected_[2] = grid_->selectedTabIndex();
    }

private:
    Ref<DZTabBar> bar_;
    Ref<DZTabStrip> strip_;
    Ref<DZTabGrid> grid_;
    CatalogStatusLine status_;
    NSInteger selected_[3] = {0, 0, 0};
};

class CatalogPhotoSet;

// One photo of the set: its versions' URLs as the service gave them.
class CatalogPhoto : public NSObject, public DZPhoto {
    NS_OBJECT(CatalogPhoto, NSObject)

public:
    Ref<DZPhotoSource> photoSource() override;
    NSInteger index() override { return index_; }
    CGSize size() override { return size_; }
    void setSize(CGSize size) override { size_ = size; }
    Ref<NSString> caption() override { return caption_; }
    Ref<NSString> URLForVersion(DZPhotoVersion version) override {
        switch (version) {
            case DZPhotoVersionLarge:
                return full_;
            case DZPhotoVersionSmall:
                return preview_;
            case DZPhotoVersionThumbnail:
                return thumbnail_;
            default:
                return nullptr;
        }
    }

    Weak<CatalogPhotoSet> set_;
    NSInteger index_ = 0;
    CGSize size_{};
    Ref<NSString> caption_, full_, preview_, thumbnail_;
};

// The pages of a photo set of the services' catalog module, appended as they come.
class CatalogPhotoSet : public DZURLRequestModel, public DZPhotoSource {
    NS_OBJECT(CatalogPhotoSet, DZURLRequestModel)

public:
    void setName(const char* name) { name_ = name; }
    Ref<NSString> title() override { return title_ ? title_ : Ref<NSString>(NS("Photos")); }
    NSInteger numberOfPhotos() override { return total_; }
    NSInteger maxPhotoIndex() override { return static_cast<NSInteger>(photos_.size()) - 1; }
    Ref<DZPhoto> photoAtIndex(NSInteger index) override {
        if (index < 0 || index >= static_cast<NSInteger>(photos_.size())) return nullptr;
        return Ref<DZPhoto>(photos_[static_cast<size_t>(index)].get());
    }
    Ref<DZModel> photoModel() override { return Ref<DZModel>(this); }

    void load(int32_t policy, bool more) override {
        setIsLoadingMore(more);
        int next = more ? page_ + 1 : 1;
        auto url = NSString::stringWithFormat(NS("http://%s/photos.json?set=%s&page=%d"),
                                              catalog_hosts::kCatalogServicesHost, name_, next);
        sendCatalogPageRequest(url.get(), this, policy, next);
    }
    void requestDidFinishLoad(DZURLRequest* request) override {
        auto page = readCatalogPage(request, this);
        if (!page) return;
        if (!isLoadingMore()) photos_.clear();
        title_ = as<NSString>(page->objectForKey(NS("title")));
        total_ = as<NSNumber>(page->objectForKey(NS("total")))->intValue();
        auto list = as<NSArray>(page->objectForKey(NS("photos")));
        for (NSUInteger i = 0; list && i < list->count(); ++i) {
            auto entry = as<NSDictionary>(list->objectAtIndex(i));
            if (!entry) continue;
            auto photo = make<CatalogPhoto>();
            photo->set_ = this;
            photo->index_ = static_cast<NSInteger>(photos_.size());
            photo->caption_ = as<NSString>(entry->objectForKey(NS("caption")));
            photo->size_ =
                CGSizeMake(as<NSNumber>(entry->objectForKey(NS("width")))->floatValue(),
                           as<NSNumber>(entry->objectForKey(NS("height")))->floatValue());
            photo->full_ = as<NSString>(entry->objectForKey(NS("full")));
            photo->preview_ = as<NSString>(entry->objectForKey(NS("preview")));
            photo->thumbnail_ = as<NSString>(entry->objectForKey(NS("thumbnail")));
            photos_.push_back(photo);
        }
        page_ = as<NSNumber>(request->userInfo())->intValue();
        setHasNoMore(total_ >= 0 && static_cast<NSInteger>(photos_.size()) >= total_);
        DZURLRequestModel::requestDidFinishLoad(request);
    }

private:
    const char* name_ = "many";
    Ref<NSString> title_;
    NSInteger total_ = 0;
    int page_ = 0;
    std::vector<Ref<CatalogPhoto>> photos_;
};

Ref<DZPhotoSource> CatalogPhoto::photoSource() {
    auto set = set_.lock();
    return set ? Ref<DZPhotoSource>(set.get()) : nullptr;
}

}  // namespace

Ref<UIViewController> makeCatalogPhotosScreen() {
    auto set = make<CatalogPhotoSet>();
    set->setName("many");
    auto browser = make<DZPhotoViewController>(&DZPhotoViewController::initWithPhotoSource,
                                               static_cast<DZPhotoSource*>(set.get()));
    return browser;
}

Ref<UIViewController> makeCatalogLauncherScreen() {
    return make<CatalogLauncherController>();
}

Ref<UIViewController> makeCatalogTabsScreen() {
    return make<CatalogTabsController>();
}
