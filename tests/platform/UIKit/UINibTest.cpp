// Interface files: builders registered by name make the views and connect the outlets of
// controllers and cells.
#include <gtest/gtest.h>

#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINib.h"
#include "UIKit/UITableViewCell.h"
#include "UIKit/UIViewController.h"
#include "support/FoundationTesting.h"

namespace {

class SearchScreenController : public UIViewController {
    NS_OBJECT(SearchScreenController, UIViewController)
    Ref<UILabel> cityLabel;  // an outlet of the interface
    bool loaded = false;
    void viewDidLoad() override { loaded = cityLabel != nullptr; }
};

class SettingsPanelController : public UIViewController {
    NS_OBJECT(SettingsPanelController, UIViewController)
};

TEST(UINib, ControllersLoadTheirInterfaceAndOutlets) {
    registerInterface(NS("SearchScreen"), [](NSObject* owner, NSDictionary*) {
        auto controller = as<SearchScreenController>(owner);
        auto view = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 460));
        auto label = make<UILabel>(&UILabel::initWithFrame, CGRectMake(10, 10, 100, 20));
        label->setText(NS("Location"));
        view->addSubview(label);
        controller->cityLabel = label;
        controller->setView(view);
        return NSArray::arrayWithObject(view);
    });
    auto controller = make<SearchScreenController>();
    controller->initWithNibName(NS("SearchScreen"), nullptr);
    EXPECT_EQ(text(controller->nibName()), "SearchScreen");
    EXPECT_FALSE(controller->isViewLoaded());
    auto view = controller->view();
    EXPECT_TRUE(controller->loaded);  // outlets are connected before viewDidLoad
    EXPECT_EQ(controller->cityLabel->superview().get(), view.get());
    EXPECT_EQ(view->viewController().get(), controller.get());
    unregisterInterface(NS("SearchScreen"));

    // A name that nobody registered fails as a missing file does.
    auto missing =
        make<UIViewController>(&UIViewController::initWithNibName, NS("Nowhere"), nullptr);
    auto e = raisedBy([&] { missing->view(); });
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(text(e->name()), "NSInternalInconsistencyException");
    EXPECT_NE(text(e->reason()).find("with name 'Nowhere'"), std::string::npos);
}

TEST(UINib, ControllerWithoutANameFindsTheInterfaceOfItsClass) {
    // "XViewController" looks for "XView" first; here "SettingsPanel" for the class
    // "SettingsPanelController". A builder that leaves the outlet alone still gives the view.
    registerInterface(NS("SettingsPanel"), [](NSObject*, NSDictionary*) {
        return NSArray::arrayWithObject(
            make<UILabel>(&UILabel::initWithFrame, CGRectMake(0, 0, 320, 100)));
    });
    auto controller = make<SettingsPanelController>();
    EXPECT_TRUE(is<UILabel>(controller->view()));
    unregisterInterface(NS("SettingsPanel"));
    EXPECT_FALSE(isInterfaceRegistered(NS("SettingsPanel")));
}

TEST(UINib, CellsLoadThemselvesByName) {
    registerInterface(NS("SettingCell"), [](NSObject* owner, NSDictionary*) {
        auto cell = make<UITableViewCell>(&UITableViewCell::initWithStyle,
                                          UITableViewCellStyleDefault, NS("SettingCell"));
        return NSArray::arrayWithObjects({owner, cell.get()});
    });
    auto owner = make<NSObject>();
    auto objects = loadNibNamed(NSBundle::mainBundle(), NS("SettingCell"), owner, nullptr);
    ASSERT_EQ(objects->count(), 2u);
    auto cell = as<UITableViewCell>(objects->objectAtIndex(1));
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(text(cell->reuseIdentifier()), "SettingCell");
    EXPECT_TRUE(registeredInterfaceNames()->containsObject(NS("SettingCell")));
    unregisterInterface(NS("SettingCell"));
}

}  // namespace
