// The location and category pickers.
#include "Classes/CatagoryViewController.h"
#include "Classes/CityViewController.h"
#include "Classes/Interfaces/AppInterfaces.h"
#include "Classes/Interfaces/InterfaceKit.h"
#include "Classes/StateViewController.h"
#include "Foundation/NSArray.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIPickerView.h"
#include "UIKit/UIToolbar.h"

using namespace interface;

Ref<NSArray> buildStateViewController(NSObject* owner, NSDictionary*) {
    auto view = screenView();
    auto screen = as<StateViewController>(owner);
    addNavigationBar(
        view, NS("Locations"),
        barButton(NS("Cancel"), UIBarButtonItemStyleBordered, screen.get(), "selectionDone:"),
        nullptr);
    auto table =
        addTable(view, CGRectMake(0, kBarHeight, kScreenWidth, kViewHeight - 2 * kBarHeight),
                 UITableViewStylePlain, screen.get());
    auto region = barButton(NS("Change Country or Continent"), UIBarButtonItemStyleBordered,
                            screen.get(), "regionButtonPressed:");
    auto space = make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                       UIBarButtonSystemItemFlexibleSpace, nullptr, nullptr);
    addToolbar(view, NSArray::arrayWithObjects({space.get(), region.get(), space.get()}));
    auto picker =
        make<UIPickerView>(&UIPickerView::initWithFrame,
                           CGRectMake(0, kViewHeight - kBarHeight - 216, kScreenWidth, 216));
    picker->setShowsSelectionIndicator(true);
    picker->setHidden(true);
    view->addSubview(picker);
    if (screen) {
        picker->setDataSource(screen.get());
        picker->setDelegate(screen.get());
        screen->setMyTableView(table);
        screen->setRegionPickerView(picker);
        screen->setRegionButton(region);
        screen->setView(view);
    }
    return NSArray::arrayWithObject(view);
}

Ref<NSArray> buildCityViewController(NSObject* owner, NSDictionary*) {
    auto view = screenView();
    auto screen = as<CityViewController>(owner);
    auto bar = addNavigationBarWithBack(
        view, NS("Locations"),
        barButton(NS("Back"), UIBarButtonItemStyleBordered, screen.get(), "selectionDone:"));
    auto table = addTableBelowBar(view, UITableViewStylePlain, screen.get());
    if (screen) {
        screen->setNavigationBar(bar);
        screen->setMyTableView(table);
        screen->setView(view);
    }
    return NSArray::arrayWithObject(view);
}

Ref<NSArray> buildCatagoryViewController(NSObject* owner, NSDictionary*) {
    auto view = screenView();
    auto screen = as<CatagoryViewController>(owner);
    addNavigationBar(
        view, NS("Catagories"),
        barButton(NS("Cancel"), UIBarButtonItemStyleBordered, screen.get(), "selectionDone:"),
        nullptr);
    auto table = addTableBelowBar(view, UITableViewStylePlain, screen.get());
    if (screen) {
        screen->setMyTableView(table);
        screen->setView(view);
    }
    return NSArray::arrayWithObject(view);
}
