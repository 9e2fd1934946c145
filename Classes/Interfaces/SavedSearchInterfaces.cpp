// The saved searches list, a search's settings and their option cell.
#include "Classes/Interfaces/AppInterfaces.h"
#include "Classes/Interfaces/InterfaceKit.h"
#include "Classes/SavedSearchController.h"
#include "Classes/SearchSettingController.h"
#include "Classes/SearchSettingViewCell.h"
#include "Foundation/NSArray.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UISwitch.h"
#include "UIKit/UITextField.h"

using namespace interface;

Ref<NSArray> buildSavedSearchController(NSObject* owner, NSDictionary*) {
    auto screen = as<SavedSearchController>(owner);
    auto table = alloc<UITableView>();
    table->initWithFrame(CGRectMake(0, 0, kScreenWidth, kViewHeight), UITableViewStylePlain);
    table->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    if (screen) {
        table->setDataSource(screen.get());
        table->setDelegate(screen.get());
        screen->setTableView(table);
    }
    return NSArray::arrayWithObject(table);
}

Ref<NSArray> buildSearchSettingController(NSObject* owner, NSDictionary*) {
    auto view = screenView();
    auto screen = as<SearchSettingController>(owner);
    addNavigationBar(
        view, NS("Search Settings"), nullptr,
        barButton(NS("Done"), UIBarButtonItemStyleDone, screen.get(), "doneButtonPressed:"));
    auto table = addTableBelowBar(view, UITableViewStyleGrouped, screen.get());
    if (screen) {
        screen->setMyTableView(table);
        screen->setView(view);
    }
    return NSArray::arrayWithObject(view);
}

Ref<NSArray> buildSearchSettingViewCell(NSObject*, NSDictionary*) {
    auto cell = alloc<SearchSettingViewCell>();
    cell->initWithStyle(UITableViewCellStyleDefault, NS("SearchSettingViewCell"));
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    auto content = cell->contentView();
    auto label = addLabel(content, CGRectMake(10, 11, 150, 21), nullptr, 17, true);
    auto field = addTextField(content, CGRectMake(160, 6, 130, 31), nullptr);
    field->setHidden(true);
    field->addTarget(cell.get(), Selector::named("editDone:"), UIControlEventEditingDidEndOnExit);
    auto toggle = make<UISwitch>(&UISwitch::initWithFrame, CGRectMake(211, 8, 79, 27));
    toggle->setHidden(true);
    content->addSubview(toggle);
    auto choice = make<UISegmentedControl>(&UISegmentedControl::initWithItems,
                                           NSArray::arrayWithObjects({NS("One"), NS("Two")}));
    choice->setFrame(CGRectMake(10, 7, 280, 30));
    choice->setHidden(true);
    content->addSubview(choice);
    auto button =
        addButton(content, CGRectMake(10, 5, 280, 34), nullptr, cell.get(), "buttonPressed:");
    button->setHidden(true);
    cell->setLabel(label);
    cell->setTextField(field);
    cell->setBoolSwitch(toggle);
    cell->setChoice(choice);
    cell->setButton(button);
    return NSArray::arrayWithObject(cell);
}
