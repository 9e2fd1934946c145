#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "QuartzCore/CALayer.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITextField.h"
#include "UIKit/UITextInputTraits.h"
#include "support/RunLoopTesting.h"
#include "ui/core/DZURLRequestQueue.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/table/DZTableItem.h"
#include "ui/table/DZTableView.h"
#include "ui/table/DZTableViewCell.h"
#include "ui/table/DZTableViewDataSource.h"
#include "ui/table/TableTesting.h"

namespace {

Ref<NSIndexPath> path(NSInteger row, NSInteger section = 0) {
    return NSIndexPath::indexPathForRow(row, section);
}

class DZTableViews : public ::testing::Test {
protected:
    void SetUp() override {
        DZURLRequestQueue::mainQueue()->setSuspended(false);
        window = testWindow();
        controller = make<RecordingTableController>();
        controller->view()->setFrame(window->bounds());
        window->addSubview(controller->view().get());
        table = controller->tableView();
    }
    void TearDown() override {
        controller->view()->removeFromSuperview();
        DZURLRequestQueue::mainQueue()->setSuspended(false);
    }

    // Shows the items through the controller with the given delegate kind.
    void show(std::initializer_list<NSObject*> items, bool variable = false) {
        controller->setVariableHeightRows(variable);
        source = DZListDataSource::dataSourceWithObjects(items);
        controller->setDataSource(source.get());
        controller->viewWillAppear(false);
        controller->viewDidAppear(false);
        table->layoutSubviews();
    }

    Ref<UIWindow> window;
    Ref<RecordingTableController> controller;
    Ref<UITableView> table;
    Ref<DZListDataSource> source;
};

}  // namespace

TEST_F(DZTableViews, SelectionOpensURLsOrCallsTheItemsSelector) {
    auto target = make<SelectionTarget>();
    auto linked = DZTableTextItem::itemWithText(NS("a"), NS("tt://nowhere"));
    linked->setDelegate(target.get());
    linked->setSelector(Selector::named("picked:"));
    auto button = DZTableButton::itemWithText(NS("b"));
    show({linked.get(), button.get()});
    // The controller refuses the URL, so the selector goes to the delegate with the item.
    ASSERT_TRUE(table->tapRowAtIndexPath(path(0).get()));
    ASSERT_EQ(target->items.size(), 1u);
    EXPECT_EQ(target->items[0], linked);
    // A button row is deselected; every tap reaches the controller once.
    ASSERT_TRUE(table->tapRowAtIndexPath(path(1).get()));
    EXPECT_FALSE(table->indexPathForSelectedRow());
    ASSERT_EQ(controller->selected.size(), 2u);
    EXPECT_EQ(controller->selected[1], button);
    EXPECT_EQ(controller->selectedRows, (std::vector<NSInteger>{0, 1}));
}

TEST_F(DZTableViews, AMoreButtonLoadsMoreOfItsModelEachTap) {
    auto model = make<StubModel>();
    auto more = DZTableMoreButton::itemWithTextSubtitle(NS("More"), NS("20 of 45"));
    more->setModel(model.get());
    show({DZTableTextItem::itemWithText(NS("row")).get(), more.get()}, true);
    ASSERT_TRUE(table->tapRowAtIndexPath(path(1).get()));
    EXPECT_TRUE(more->isLoading());
    auto cell = as<DZTableMoreButtonCell>(table->cellForRowAtIndexPath(path(1).get()));
    ASSERT_TRUE(cell);
    EXPECT_TRUE(cell->animating());
    EXPECT_FALSE(table->indexPathForSelectedRow());
    ASSERT_TRUE(table->tapRowAtIndexPath(path(1).get()));
    EXPECT_EQ(model->loads, (std::vector<std::string>{"7+", "7+"}));
    // Row heights come from the cell classes: the more button's minimum.
    EXPECT_EQ(table->rectForRowAtIndexPath(path(1).get()).size.height, 66);
    EXPECT_EQ(table->rectForRowAtIndexPath(path(0).get()).size.height,
              DZTableViewCell::rowHeightForClass(DZTableTextItemCell::staticClass(), table.get(),
                                                 source->items()->objectAtIndex(0).get()));
}

TEST_F(DZTableViews, ScrollingHoldsTheRequestQueueUntilItEnds) {
    std::vector<NSObject*> rows;
    std::vector<Ref<DZTableTextItem>> items;
    for (int i = 0; i < 30; ++i) {
        items.push_back(DZTableTextItem::itemWithText(NS("row")));
        rows.push_back(items.back().get());
    }
    source = DZListDataSource::dataSourceWithItems(NSMutableArray::array().get());
    for (auto* r : rows)
        source->items()->addObject(r);
    controller->setDataSource(source.get());
    controller->viewWillAppear(false);
    controller->viewDidAppear(false);
    auto queue = DZURLRequestQueue::mainQueue();
    auto delegate = controller->tableDelegate();
    ASSERT_TRUE(delegate);

    table->beginDragging();
    EXPECT_TRUE(queue->suspended());
    table->dragTo(CGPointMake(0, 200));
    table->endDragging(false);
    EXPECT_FALSE(queue->suspended());
    table->dragBy(CGPointMake(0, 100), true);  // through deceleration
    EXPECT_FALSE(queue->suspended());
    table->scrollToTop();
    EXPECT_FALSE(queue->suspended());

    // A delegate that goes in the middle of a drag lets the queue go.
    table->beginDragging();
    EXPECT_TRUE(queue->suspended());
    controller->setVariableHeightRows(true);  // drops the table's delegate
    delegate = nullptr;
    controller->viewDidUnload();
    EXPECT_FALSE(queue->suspended());
}

TEST_F(DZTableViews, ReloadingKeepsTheFocusAndTheKeyboard) {
    auto field = make<UITextField>(&UITextField::initWithFrame, CGRectMake(0, 0, 200, 30));
    show({DZTableControlItem::itemWithCaption(NS("Name"), field.get()).get()});
    ASSERT_TRUE(field->window());
    ASSERT_TRUE(field->becomeFirstResponder());
    ASSERT_TRUE(UIKeyboard::isVisible());
    std::vector<std::string> posted;
    auto center = NSNotificationCenter::defaultCenter();
    auto hide = center->addObserverForName(UIKeyboardWillHideNotification, nullptr,
                                           [&](NSNotification*) { posted.push_back("hide"); });
    auto showing = center->addObserverForName(UIKeyboardWillShowNotification, nullptr,
                                              [&](NSNotification*) { posted.push_back("show"); });
    table->reloadData();
    table->layoutSubviews();
    EXPECT_TRUE(field->isFirstResponder());
    EXPECT_TRUE(UIKeyboard::isVisible());
    EXPECT_TRUE(posted.empty());
    field->resignFirstResponder();
    EXPECT_EQ(posted, std::vector<std::string>{"hide"});
    center->removeObserver(hide.get());
    center->removeObserver(showing.get());
}

TEST_F(DZTableViews, ContentOriginAndShadows) {
    auto tableView = as<DZTableView>(table);
    ASSERT_TRUE(tableView);
    tableView->setContentOrigin(44);
    tableView->setContentSize(CGSizeMake(320, 10));
    EXPECT_EQ(tableView->contentSize().height, table->bounds().size.height + 44);
    tableView->setContentOffset(CGPointMake(0, 44));
    tableView->setContentOffset(CGPointMake(0, 0));
    EXPECT_EQ(tableView->contentOffset().y, 44);
    tableView->setContentOrigin(0);
    tableView->setContentOffset(CGPointMake(0, 0));

    controller->setShowTableShadows(true);
    show({DZTableTextItem::itemWithText(NS("a")).get(),
          DZTableTextItem::itemWithText(NS("b")).get()});
    ASSERT_TRUE(tableView->originShadow());
    ASSERT_TRUE(tableView->topShadow());
    ASSERT_TRUE(tableView->bottomShadow());
    EXPECT_EQ(table->layer()->sublayerList().front(), tableView->originShadow());
    auto first = table->cellForRowAtIndexPath(path(0).get());
    EXPECT_EQ(first->layer()->sublayerList().front(), tableView->topShadow());
    EXPECT_EQ(tableView->topShadow()->frame().origin.y, -10);
    EXPECT_EQ(tableView->topShadow()->frame().size.height, 10);
    EXPECT_EQ(tableView->bottomShadow()->frame().size.height, 20);
    auto colors = tableView->topShadow()->colors();
    ASSERT_EQ(colors->count(), 2u);

    // With the first row scrolled out the top shadow goes.
    std::vector<Ref<DZTableTextItem>> items;
    for (int i = 0; i < 40; ++i)
        source->items()->addObject(DZTableTextItem::itemWithText(NS("r")).get());
    table->reloadData();
    table->setContentOffset(CGPointMake(0, 200));
    table->layoutSubviews();
    EXPECT_FALSE(tableView->topShadow());
    EXPECT_FALSE(tableView->bottomShadow());
    EXPECT_EQ(tableView->originShadow()->frame().origin.y, 200);
}

// A sheet whose plain headers have a tint.
class TintedSheet : public DZDefaultStyleSheet {
    NS_OBJECT(TintedSheet, DZDefaultStyleSheet)

public:
    Ref<UIColor> tableHeaderTintColor() override { return UIColor::grayColor(); }
};

TEST_F(DZTableViews, HeadersAreMadeOnlyForPlainTitledSections) {
    auto previous = DZStyleSheet::globalStyleSheet();
    auto untinted =
        make<DZTableViewDelegate>(&DZTableViewDelegate::initWithController, controller.get());
    auto one = DZSectionedDataSource::dataSourceWithObjects(
        {NS("Fruit"), DZTableTextItem::itemWithText(NS("a")).get()});
    table->setDataSource(one.get());
    EXPECT_FALSE(untinted->tableViewViewForHeaderInSection(table.get(), 0));  // no tint
    DZStyleSheet::setGlobalStyleSheet(make<TintedSheet>().get());
    auto sectioned = DZSectionedDataSource::dataSourceWithObjects(
        {NS("Fruit"), DZTableTextItem::itemWithText(NS("a")).get()});
    auto delegate =
        make<DZTableViewDelegate>(&DZTableViewDelegate::initWithController, controller.get());
    table->setDataSource(sectioned.get());
    auto header = as<DZTableHeaderView>(delegate->tableViewViewForHeaderInSection(table.get(), 0));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->label()->text()->utf8(), "Fruit");
    EXPECT_EQ(delegate->tableViewViewForHeaderInSection(table.get(), 0), header);  // cached
    auto grouped = alloc<DZTableView>();
    grouped->initWithFrame(CGRectMake(0, 0, 320, 480), UITableViewStyleGrouped);
    grouped->setDataSource(sectioned.get());
    EXPECT_FALSE(delegate->tableViewViewForHeaderInSection(grouped.get(), 0));
    auto groupedHeights = make<DZTableViewGroupedVarHeightDelegate>(
        &DZTableViewGroupedVarHeightDelegate::initWithController, controller.get());
    EXPECT_EQ(groupedHeights->tableViewHeightForHeaderInSection(grouped.get(), 0), 35);
    auto untitled =
        DZListDataSource::dataSourceWithObjects({DZTableTextItem::itemWithText(NS("a")).get()});
    grouped->setDataSource(untitled.get());
    EXPECT_EQ(groupedHeights->tableViewHeightForHeaderInSection(grouped.get(), 0), 1);
    DZStyleSheet::setGlobalStyleSheet(previous.get());
}
