#include "Classes/SearchViewController.h"

#include "Classes/CatagoryViewController.h"
#include "Classes/ItemListPage.h"
#include "Classes/ItemListViewController.h"
#include "Classes/ListInfo.h"
#include "Classes/NoticewallAppDelegate.h"
#include "Classes/Regex.h"
#include "Classes/SavedSearch.h"
#include "Classes/SavedSearchController.h"
#include "Classes/SavedSearchDb.h"
#include "Classes/SearchFilterController.h"
#include "Classes/StateViewController.h"
#include "Classes/Theme.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationController.h"
#include "ui/style/DZButton.h"

namespace {
SEL sel(const char* name) {
    return Selector::named(name);
}

bool isEmpty(NSString* s) {
    return !s || s->length() == 0;
}

bool contains(NSString* s, NSString* part) {
    return s && s->rangeOfString(part).location != NSNotFound;
}

// Capture 1 of the pattern followed by "/"; a missing capture counts as empty.
Ref<NSString> captureWithSlash(NSString* text, NSString* pattern) {
    auto capture = Regex::getMatch(text, pattern);
    return NSString::stringWithFormat(NS("%@/"), capture ? capture.get() : NS(""));
}

}  // namespace

Ref<UIViewController> makeResultListScreen(ListInfo* info) {
    auto list = alloc<ItemListViewController>();
    list->initWithNibName(NS("ItemListViewController"), nullptr);
    list->setListInfo(info);
    list->loadFirstItemList();
    return list;
}

void SearchViewController::describeClass(RuntimeClass& c) {
    c.implements({"textFieldShouldReturn:"});
    c.method("searchButtonPressed:", &SearchViewController::searchButtonPressed);
    c.method("browseButtonPressed:", &SearchViewController::browseButtonPressed);
    c.method("filterButtonPressed:", &SearchViewController::filterButtonPressed);
    c.method("catagoryButtonPressed:", &SearchViewController::catagoryButtonPressed);
    c.method("locationButtonPressed:", &SearchViewController::locationButtonPressed);
    c.method("savedSearchesButtonPressed:", &SearchViewController::savedSearchesButtonPressed);
    c.method("backgroundPressed:", &SearchViewController::backgroundPressed);
}

Ref<DZButton> SearchViewController::overlay(UIButton* place, NSString* style, NSString* title,
                                            CGFloat fontSize, const char* action) {
    auto button = DZButton::buttonWithStyle(style, title);
    if (place) {
        CGRect frame = place->frame();
        frame.origin.y -= 2;
        frame.size.height += 4;
        button->setFrame(frame);
    }
    view()->addSubview(button);
    button->setFont(UIFont::boldSystemFontOfSize(fontSize));
    button->addTarget(this, sel(action), UIControlEventTouchUpInside);
    return button;
}

void SearchViewController::viewDidLoad() {
    UIViewController::viewDidLoad();
    if (searchTextField_) {
        searchTextField_->setReturnKeyType(UIReturnKeySearch);
        searchTextField_->setDelegate(this);
        // A view rebuilt after a memory warning shows the keyword the person had typed.
        if (keptKeyword_) searchTextField_->setText(keptKeyword_);
        keptKeyword_ = nullptr;
    }
    overlay(searchButton_, NS("blueToolbarButton:"), NS("Search"), 15, "searchButtonPressed:");
    overlay(browseButton_, NS("blueToolbarButton:"), NS("Browse All"), 16, "browseButtonPressed:");
    filterTTButton_ = overlay(filterButton_, NS("greyToolbarButton:"), NS("Search Settings"), 14,
                              "filterButtonPressed:");
    // The two large buttons have no title: the labels over them say what they hold, and a
    // person knows them by what they do.
    auto catagory =
        overlay(catagoryButton_, NS("embossedButton:"), NS(""), 18, "catagoryButtonPressed:");
    catagory->setAccessibilityLabel(NS("Choose Category"));
    view()->sendSubviewToBack(catagory);
    auto location =
        overlay(locationButton_, NS("embossedButton:"), NS(""), 18, "locationButtonPressed:");
    location->setAccessibilityLabel(NS("Choose Location"));
    view()->sendSubviewToBack(location);

    loadDefaultSearchSettings();
    if (backgroundImageView_) view()->sendSubviewToBack(backgroundImageView_);
}

void SearchViewController::loadDefaultSearchSettings() {
    auto db = make<SavedSearchDb>();
    if (db && db->openDb()) defaultSearch_ = db->getDefault();
    if (db) db->closeDb();
    if (!defaultSearch_) {
        defaultSearch_ = make<SavedSearch>();
        defaultSearch_->listInfo()->setSearchKey(kSavedSearchDefaultKeyword);
    }
}

void SearchViewController::viewWillAppear(bool animated) {
    UIViewController::viewWillAppear(animated);
    auto defaults = NSUserDefaults::standardUserDefaults();
    auto city = defaults->stringForKey(NS("LocationName"));
    auto state = defaults->stringForKey(NS("LocationState"));
    if (cityLabel_) cityLabel_->setText(city ? city.get() : NS("Location"));
    if (stateLabel_) stateLabel_->setText(city ? state.get() : NS("Press to select"));
    auto catagory = defaults->stringForKey(NS("CatagoryName"));
    auto section = defaults->stringForKey(NS("CatagorySection"));
    if (catagoryLabel_)
        catagoryLabel_->setText(catagory ? catagory->capitalizedString().get() : NS("Category"));
    if (sectionLabel_) sectionLabel_->setText(catagory ? section.get() : NS("Press to select"));
    udpateFilterButton();
    view()->setBackgroundColor(Theme::sys()->viewBackground());
    NSNotificationCenter::defaultCenter()->postNotificationName(StopItemPageNotification, this);
}

void SearchViewController::viewDidUnload() {
    // The typed keyword lives only in the field: kept until the view comes back. The labels and
    // the filter button are drawn from the preferences each time the screen appears.
    if (searchTextField_) keptKeyword_ = searchTextField_->text();
    catagoryButton_ = locationButton_ = browseButton_ = filterButton_ = searchButton_ = nullptr;
    searchTextField_ = nullptr;
    cityLabel_ = stateLabel_ = catagoryLabel_ = sectionLabel_ = nullptr;
    backgroundImageView_ = nullptr;
    filterTTButton_ = nullptr;
    UIViewController::viewDidUnload();
}

bool SearchViewController::useDefaultFilter() {
    auto defaults = NSUserDefaults::standardUserDefaults();
    return isEmpty(defaults->stringForKey(NS("PriceMax"))) &&
           isEmpty(defaults->stringForKey(NS("PriceMin"))) &&
           !defaults->boolForKey(NS("HasImage")) && defaults->integerForKey(NS("TitleOnly")) == 0 &&
           defaults->integerForKey(NS("SortOrder")) == 0;
}

void SearchViewController::udpateFilterButton() {
    if (!filterTTButton_) return;
    if (useDefaultFilter()) {
        filterTTButton_->setStylesWithSelector(NS("greyToolbarButton:"));
        filterTTButton_->setTitle(NS("Search Settings"), UIControlStateNormal);
    } else {
        filterTTButton_->setStylesWithSelector(NS("redToolbarButton:"));
        filterTTButton_->setTitle(NS("Search Settings*"), UIControlStateNormal);
    }
}

bool SearchViewController::sectionHasPrice(NSString* section) {
    if (!section) return false;
    for (NSString* name : {NS("for sale"), NS("personals"), NS("housing")}) {
        if (section->caseInsensitiveCompare(name) == NSOrderedSame) return true;
    }
    return false;
}

Ref<NSString> SearchViewController::normalizedCatagoryUrl(NSString* catagoryUrl) {
    Ref<NSString> url = catagoryUrl;
    if (!url) return url;
    if (contains(url, NS("/i/"))) {
        if (contains(url, NS("/i/auto")))
            url = NS("cta/");
        else if (contains(url, NS("/i/apartments")))
            url = NS("aap/");
        else
            url = captureWithSlash(url, NS("category=([a-zA-Z0-9]*)"));
    }
    if (contains(url, NS("/cgi-bin/"))) url = captureWithSlash(url, NS("category=([a-zA-Z0-9]*)"));
    if (url->isEqualToString(NS("apt/"))) url = NS("aap/");
    if (Regex::getMatch(url, NS("([^a-zA-Z0-9/])")))
        url = captureWithSlash(url, NS("([a-zA-Z0-9]*)"));
    return url;
}

Ref<NSString> SearchViewController::searchKeyFor(NSString* catagoryName, NSString* keyword) {
    Ref<NSString> key = keyword;
    auto code = catagoryName ? Regex::getMatch(catagoryName, NS("\\((.*)\\)")) : nullptr;
    if (code) {
        key =
            isEmpty(keyword) ? code : NSString::stringWithFormat(NS("%@ %@"), code.get(), keyword);
    }
    return key;
}

void SearchViewController::showListing(bool search) {
    auto defaults = NSUserDefaults::standardUserDefaults();
    auto info = make<ListInfo>();
    info->setLocation(defaults->stringForKey(NS("LocationName")));
    info->setLocationUrl(defaults->stringForKey(NS("LocationUrl")));
    info->setCatagory(defaults->stringForKey(NS("CatagoryName")));
    info->setCatagoryUrl(defaults->stringForKey(NS("CatagoryUrl")));
    info->setSection(defaults->stringForKey(NS("CatagorySection")));
    info->setSearchType(defaults->integerForKey(NS("TitleOnly")) == 1 ? NS("T") : NS("A"));
    info->setHasImage(defaults->boolForKey(NS("HasImage")));
    info->setSortOrder(static_cast<int32_t>(defaults->integerForKey(NS("SortOrder"))));
    if (sectionHasPrice(defaults->stringForKey(NS("CatagorySection")))) {
        info->setPriceMax(defaults->stringForKey(NS("PriceMax")));
        info->setPriceMin(defaults->stringForKey(NS("PriceMin")));
    }

    auto app = NoticewallAppDelegate::sharedDelegate();
    if (isEmpty(info->locationUrl())) {
        if (app) app->showMessage(NS("Please Select Your Location"));
        return;
    }
    if (isEmpty(info->catagoryUrl())) {
        if (app) app->showMessage(NS("Please Select the Category"));
        return;
    }
    info->setCatagoryUrl(normalizedCatagoryUrl(info->catagoryUrl()));
    Ref<NSString> keyword = search && searchTextField_ ? searchTextField_->text() : nullptr;
    if (search && !keyword) keyword = NS("");
    info->setSearchKey(searchKeyFor(info->catagory(), keyword));
    lastListInfo_ = info;

    if (!itemListViewController_) {
        itemListViewController_ = alloc<ItemListViewController>();
        itemListViewController_->initWithNibName(NS("ItemListViewController"), nullptr);
    }
    itemListViewController_->setListInfo(info);
    itemListViewController_->loadFirstItemList();
    auto outer = app ? app->navigationController() : navigationController();
    if (outer) outer->pushViewController(itemListViewController_, true);
}

// ---- actions ----------------------------------------------------------------------------------

void SearchViewController::hideKeyboard() {
    if (searchTextField_) searchTextField_->resignFirstResponder();
}

void SearchViewController::presentPicker(UIViewController* picker) {
    picker->setModalTransitionStyle(UIModalTransitionStyleFlipHorizontal);
    presentModalViewController(picker, true);
}

void SearchViewController::searchButtonPressed(NSObject*) {
    hideKeyboard();
    showListing(true);
}

void SearchViewController::browseButtonPressed(NSObject*) {
    hideKeyboard();
    showListing(false);
}

void SearchViewController::filterButtonPressed(NSObject*) {
    hideKeyboard();
    auto filter = alloc<SearchFilterController>();
    filter->initWithNibName(NS("SearchFilterController"), nullptr);
    presentPicker(filter);
}

void SearchViewController::catagoryButtonPressed(NSObject*) {
    hideKeyboard();
    auto picker = alloc<CatagoryViewController>();
    picker->initWithNibName(NS("CatagoryViewController"), nullptr);
    presentPicker(picker);
}

void SearchViewController::locationButtonPressed(NSObject*) {
    hideKeyboard();
    auto picker = alloc<StateViewController>();
    picker->initWithNibName(NS("StateViewController"), nullptr);
    presentPicker(picker);
}

void SearchViewController::savedSearchesButtonPressed(NSObject*) {
    hideKeyboard();
    auto list = alloc<SavedSearchController>();
    list->initWithNibName(NS("SavedSearchController"), nullptr);
    list->setTitle(NS("Saved Searches"));
    auto app = NoticewallAppDelegate::sharedDelegate();
    auto outer = app ? app->navigationController() : navigationController();
    if (outer) outer->pushViewController(list, true);
}

void SearchViewController::backgroundPressed(NSObject*) {
    hideKeyboard();
}

bool SearchViewController::textFieldShouldReturn(UITextField*) {
    hideKeyboard();
    showListing(true);
    return true;
}

void SearchViewController::dealloc() {
    itemListViewController_ = nullptr;
    defaultSearch_ = nullptr;
    lastListInfo_ = nullptr;
    keptKeyword_ = nullptr;
    UIViewController::dealloc();
}
