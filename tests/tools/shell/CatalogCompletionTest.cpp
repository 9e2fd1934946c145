// Completion over loopback: the catalog's Search screen asks the stand-in names service as the
// user types. The results wait for the answer (held here at a gate), then lie over the screen;
// a text that completes to nothing leaves one row that says so.
#include <gtest/gtest.h>

#include "Foundation/Clock.h"
#include "Foundation/NSIndexPath.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWindow.h"
#include "support/RunLoopTesting.h"
#include "support/services/RunningServices.h"
#include "tools/catalog/CatalogHosts.h"
#include "tools/catalog/CatalogTextInput.h"
#include "ui/core/DZGeometry.h"
#include "ui/table/DZSearchBar.h"
#include "ui/table/DZSearchTextField.h"
#include "ui/table/DZTableItem.h"
#include "ui/table/DZTableView.h"
#include "ui/table/DZTableViewDataSource.h"

TEST(CatalogCompletion, ResultsWaitForTheAnswerAndATextWithoutNamesSaysSo) {
    auto& services = servicestest::services();
    services.reset();
    bnservices::Fault slow;
    slow.host = catalog_hosts::kCatalogServicesHost;
    slow.path = "/names.json";
    slow.gate = "names";
    services.addFault(slow);
    auto gate = services.gate("names");
    gate->close();

    ManualClockScope clock;
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->makeKeyAndVisible();
    auto screen = makeCatalogSearchScreen();
    window->addSubview(screen->view().get());
    auto bar = as<DZSearchBar>(
        descendantOrSelfWithClass(screen->view().get(), DZSearchBar::staticClass()));
    ASSERT_TRUE(bar);
    ASSERT_TRUE(bar->becomeFirstResponder());
    bar->searchField()->insertText(NS("ada"));
    advanceRunLoop(0.5);  // the search on the next pass, the request from the queue after it
    ASSERT_TRUE(runLoopUntil([&] { return gate->waiting() >= 1; }));
    auto table = bar->tableView();
    EXPECT_FALSE(table->superview());
    gate->open();
    ASSERT_TRUE(runLoopUntil([&] { return table->superview() != nullptr; }));
    EXPECT_EQ(table->numberOfRowsInSection(0), 10);
    // Under the bar, down to the keyboard.
    EXPECT_FLOAT_EQ(table->frame().origin.y, bottom(bar.get()) - 1);

    services.clearFaults();
    bar->searchField()->insertText(NS("zz"));
    advanceRunLoop(0.5);
    ASSERT_TRUE(runLoopUntil([&] { return table->numberOfRowsInSection(0) == 1; }));
    EXPECT_TRUE(table->superview());
    auto row = as<DZTableTextItem>(bar->dataSource()->tableViewObjectForRowAtIndexPath(
        table.get(), NSIndexPath::indexPathForRow(0, 0).get()));
    ASSERT_TRUE(row);
    EXPECT_TRUE(row->text()->isEqualToString(NS("No results")));
    bar->resignFirstResponder();
    screen->view()->removeFromSuperview();
    services.reset();
}
