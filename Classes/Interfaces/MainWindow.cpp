// The main interface, the Search tab's screens and the Post tab's first screen.
#include "Classes/Interfaces/AppInterfaces.h"
#include "Classes/Interfaces/InterfaceKit.h"
#include "Classes/NoticewallAppDelegate.h"
#include "Classes/PostSectionController.h"
#include "Classes/RootViewController.h"
#include "Classes/SearchFilterController.h"
#include "Classes/SearchViewController.h"
#include "Foundation/NSArray.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UISwitch.h"
#include "UIKit/UITextField.h"
#include "UIKit/UIWindow.h"

using namespace interface;

Ref<NSArray> buildMainWindow(NSObject* owner, NSDictionary*) {
    auto app = as<UIApplication>(owner);
    // An application started with a delegate of its own (the catalog) keeps it and its window.
    if (app && app->delegate()) return NSArray::array();
    auto delegate = make<NoticewallAppDelegate>();
    auto window =
        make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, kScreenWidth, kScreenHeight));
    auto root = make<RootViewController>();
    auto navigation = make<UINavigationController>(
        &UINavigationController::initWithRootViewController, root.get());
    delegate->setWindow(window);
    delegate->setNavigationController(navigation);
    if (app) app->setDelegate(delegate.get());
    return NSArray::arrayWithObjects({delegate.get(), window.get(), navigation.get()});
}

namespace {
// An interface button that only gives a styled button its place.
Ref<UIButton> placeButton(UIView* parent, CGRect frame) {
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(frame);
    button->setHidden(true);
    parent->addSubview(button);
    return button;
}
}  // namespace

Ref<NSArray> buildSearchViewController(NSObject* owner, NSDictionary*) {
    auto view = screenView();
    auto background = make<UIImageView>(&UIImageView::initWithFrame, view->bounds());
    background->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                    UIViewAutoresizingFlexibleHeight);
    view->addSubview(background);
    auto location = placeButton(view, CGRectMake(10, 16, 300, 68));
    auto city = addLabel(view, CGRectMake(24, 24, 272, 28), NS("Location"), 22, true);
    auto state = addLabel(view, CGRectMake(24, 54, 272, 22), NS("Press to select"), 16);
    auto catagory = placeButton(view, CGRectMake(10, 98, 300, 68));
    auto catagoryName = addLabel(view, CGRectMake(24, 106, 272, 28), NS("Category"), 22, true);
    auto section = addLabel(view, CGRectMake(24, 136, 272, 22), NS("Press to select"), 16);
    auto keyword = addTextField(view, CGRectMake(10, 184, 215, 31), NS("Keyword"));
    auto search = placeButton(view, CGRectMake(235, 184, 75, 31));
    auto browse = placeButton(view, CGRectMake(10, 230, 145, 37));
    auto filter = placeButton(view, CGRectMake(165, 230, 145, 37));
    if (auto screen = as<SearchViewController>(owner)) {
        addButton(view, CGRectMake(10, 282, 300, 37), NS("Saved Searches"), screen.get(),
                  "savedSearchesButtonPressed:");
        screen->setBackgroundImageView(background);
        screen->setLocationButton(location);
        screen->setCityLabel(city);
        screen->setStateLabel(state);
        screen->setCatagoryButton(catagory);
        screen->setCatagoryLabel(catagoryName);
        screen->setSectionLabel(section);
        screen->setSearchTextField(keyword);
        screen->setSearchButton(search);
        screen->setBrowseButton(browse);
        screen->setFilterButton(filter);
        screen->setView(view);
    }
    return NSArray::arrayWithObject(view);
}

Ref<NSArray> buildSearchFilterController(NSObject* owner, NSDictionary*) {
    auto view = screenView();
    auto screen = as<SearchFilterController>(owner);
    addNavigationBar(
        view, NS("Search Settings"),
        barButton(NS("Reset"), UIBarButtonItemStyleBordered, screen.get(), "resetFilter:"),
        barButton(NS("Done"), UIBarButtonItemStyleDone, screen.get(), "doneButtonPressed:"));
    addLabel(view, CGRectMake(20, 64, 130, 31), NS("Maximum Price"), 17, true);
    auto maxPrice = addTextField(view, CGRectMake(160, 64, 140, 31), NS("Any"));
    maxPrice->setKeyboardType(UIKeyboardTypeNumbersAndPunctuation);
    addLabel(view, CGRectMake(20, 104, 130, 31), NS("Minimum Price"), 17, true);
    auto minPrice = addTextField(view, CGRectMake(160, 104, 140, 31), NS("Any"));
    minPrice->setKeyboardType(UIKeyboardTypeNumbersAndPunctuation);
    addLabel(view, CGRectMake(20, 148, 190, 27), NS("Only With Images"), 17, true);
    auto hasImage = make<UISwitch>(&UISwitch::initWithFrame, CGRectMake(221, 148, 79, 27));
    view->addSubview(hasImage);
    addLabel(view, CGRectMake(20, 188, 280, 21), NS("Search In"), 17, true);
    auto scope =
        make<UISegmentedControl>(&UISegmentedControl::initWithItems,
                                 NSArray::arrayWithObjects({NS("Entire Post"), NS("Title Only")}));
    scope->setFrame(CGRectMake(20, 214, 280, 30));
    view->addSubview(scope);
    addLabel(view, CGRectMake(20, 256, 280, 21), NS("Sort By"), 17, true);
    auto sort =
        make<UISegmentedControl>(&UISegmentedControl::initWithItems,
                                 NSArray::arrayWithObjects({NS("Most Recent"), NS("Best Match"),
                                                            NS("Low Price"), NS("High Price")}));
    sort->setFrame(CGRectMake(20, 282, 280, 30));
    view->addSubview(sort);
    auto version = addLabel(view, CGRectMake(20, 420, 280, 21), nullptr, 13);
    version->setTextAlignment(UITextAlignmentCenter);
    if (screen) {
        screen->setMaxPriceField(maxPrice);
        screen->setMinPriceField(minPrice);
        screen->setHasImageSwitch(hasImage);
        screen->setScopeControl(scope);
        screen->setSortControl(sort);
        screen->setVersionLabel(version);
        screen->setView(view);
    }
    return NSArray::arrayWithObject(view);
}
