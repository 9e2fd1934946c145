#include <gtest/gtest.h>

#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "UIKit/UIView.h"
#include "ui/table/DZTableItem.h"
#include "ui/table/DZTableViewCell.h"
#include "ui/table/DZTableViewDataSource.h"

namespace {

Ref<NSIndexPath> path(NSInteger row, NSInteger section) {
    return NSIndexPath::indexPathForRow(row, section);
}

class DZTableDataSources : public ::testing::Test {
protected:
    void SetUp() override {
        table = alloc<UITableView>();
        table->initWithFrame(CGRectMake(0, 0, 320, 480), UITableViewStylePlain);
    }
    Ref<UITableView> table;
};

}  // namespace

TEST_F(DZTableDataSources, IndexLettersAndLookup) {
    auto plain = DZTableViewDataSource::lettersForSectionsWithSearch(false, false);
    ASSERT_EQ(plain->count(), 26u);
    EXPECT_EQ(as<NSString>(plain->objectAtIndex(0))->utf8(), "A");
    EXPECT_EQ(as<NSString>(plain->objectAtIndex(25))->utf8(), "Z");
    auto full = DZTableViewDataSource::lettersForSectionsWithSearch(true, true);
    ASSERT_EQ(full->count(), 28u);
    EXPECT_EQ(full->objectAtIndex(0).get(), UITableViewIndexSearch);
    EXPECT_EQ(as<NSString>(full->lastObject())->utf8(), "#");

    auto source = DZSectionedDataSource::dataSourceWithObjects(
        {NS("Apples"), DZTableTextItem::itemWithText(NS("a")).get(), NS("Cherries"),
         DZTableTextItem::itemWithText(NS("c")).get(), NS("Dates"),
         DZTableTextItem::itemWithText(NS("d")).get()});
    table->setDataSource(source.get());
    EXPECT_EQ(source->tableViewSectionForSectionIndexTitle(table.get(), NS("C"), 2), 1);
    EXPECT_EQ(source->tableViewSectionForSectionIndexTitle(table.get(), NS("B"), 1), 1);   // index
    EXPECT_EQ(source->tableViewSectionForSectionIndexTitle(table.get(), NS("Z"), 25), 2);  // last
    // With a table header, the search marker scrolls to it and answers -1.
    table->setTableHeaderView(
        make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 44)).get());
    table->setContentOffset(CGPointMake(0, 100));
    EXPECT_EQ(source->tableViewSectionForSectionIndexTitle(table.get(), UITableViewIndexSearch, 0),
              -1);
    EXPECT_EQ(table->contentOffset().y, 0);
}

TEST_F(DZTableDataSources, OnlyTheSectionedSourceAnswersTheSectionCount) {
    SEL sections = Selector::named("numberOfSectionsInTableView:");
    EXPECT_FALSE(respondsTo(make<DZListDataSource>().get(), sections));
    EXPECT_FALSE(respondsTo(make<DZTableViewDataSource>().get(), sections));
    EXPECT_TRUE(respondsTo(make<DZSectionedDataSource>().get(), sections));
    EXPECT_FALSE(respondsTo(make<DZListDataSource>().get(),
                            Selector::named("tableView:willInsertObject:atIndexPath:")));
    // A source without a model is its own loaded model.
    auto bare = make<DZTableViewDataSource>();
    EXPECT_EQ(bare->model().get(), static_cast<DZModel*>(bare.get()));
    EXPECT_TRUE(bare->isLoaded());
    EXPECT_FALSE(bare->delegates());
    auto model = make<DZModel>();
    bare->setModel(model.get());
    EXPECT_EQ(bare->model(), model);
    auto interstitial = make<DZTableViewInterstitialDataSource>();
    interstitial->setModel(model.get());
    EXPECT_EQ(interstitial->model().get(), static_cast<DZModel*>(interstitial.get()));
    EXPECT_TRUE(interstitial->isLoading());
    EXPECT_FALSE(interstitial->isLoaded());
}

TEST_F(DZTableDataSources, ListSourceRowsCellsAndReuse) {
    auto a = DZTableTextItem::itemWithText(NS("a"));
    auto b = DZTableLink::itemWithText(NS("b"));
    auto info = NSString::stringWithUTF8String("tag");
    b->setUserInfo(info.get());
    auto source = DZListDataSource::dataSourceWithObjects({a.get(), b.get()});
    EXPECT_EQ(source->tableViewNumberOfRowsInSection(table.get(), 3), 2);
    EXPECT_EQ(source->tableViewObjectForRowAtIndexPath(table.get(), path(1, 0).get()), b);
    EXPECT_FALSE(source->tableViewObjectForRowAtIndexPath(table.get(), path(2, 0).get()));
    EXPECT_EQ(source->tableViewIndexPathForObject(table.get(), b.get())->row(), 1);
    EXPECT_EQ(source->indexPathOfItemWithUserInfo(info.get())->row(), 1);
    EXPECT_FALSE(source->indexPathOfItemWithUserInfo(NSString::stringWithUTF8String("tag").get()));
    EXPECT_EQ(source->tableViewLabelForObject(table.get(), a.get())->utf8(), "a");

    // Both rows share the text cell's reuse identifier; the object is set before the hook.
    auto first =
        as<DZTableViewCell>(source->tableViewCellForRowAtIndexPath(table.get(), path(0, 0).get()));
    auto second =
        as<DZTableViewCell>(source->tableViewCellForRowAtIndexPath(table.get(), path(1, 0).get()));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->reuseIdentifier()->utf8(), "DZTableTextItemCell");
    EXPECT_EQ(second->reuseIdentifier()->utf8(), "DZTableTextItemCell");
    EXPECT_EQ(first->object(), a);
    // A nil row gets a plain cell holding nothing.
    source->items()->addObject(make<DZTableItem>().get());
    auto nilCell =
        as<DZTableViewCell>(make<DZTableViewDataSource>()->tableViewCellForRowAtIndexPath(
            table.get(), path(0, 0).get()));
    ASSERT_TRUE(nilCell);
    EXPECT_EQ(nilCell->getClass(), DZTableViewCell::staticClass());
    EXPECT_FALSE(nilCell->object());
}

TEST_F(DZTableDataSources, SectionedSourceBuildsFindsAndRemoves) {
    auto early = DZTableTextItem::itemWithText(NS("dropped"));
    auto x = DZTableTextItem::itemWithText(NS("x"));
    auto y = DZTableTextItem::itemWithText(NS("y"));
    auto source = DZSectionedDataSource::dataSourceWithObjects(
        {early.get(), NS("One"), x.get(), NS("Two"), y.get()});
    EXPECT_EQ(source->numberOfSectionsInTableView(table.get()), 2);
    EXPECT_EQ(source->tableViewNumberOfRowsInSection(table.get(), 0), 1);
    EXPECT_FALSE(source->tableViewIndexPathForObject(table.get(), early.get()));
    auto found = source->tableViewIndexPathForObject(table.get(), y.get());
    EXPECT_EQ(found->section(), 1);
    EXPECT_EQ(source->tableViewTitleForHeaderInSection(table.get(), 1)->utf8(), "Two");
    // Outside the counts: nil, and nothing removed.
    EXPECT_FALSE(source->tableViewObjectForRowAtIndexPath(table.get(), path(5, 0).get()));
    EXPECT_FALSE(source->tableViewObjectForRowAtIndexPath(table.get(), path(0, 9).get()));
    EXPECT_FALSE(source->removeItemAtIndexPath(path(3, 0).get(), true));
    EXPECT_EQ(source->numberOfSectionsInTableView(table.get()), 2);

    source->removeItemAtIndexPath(path(0, 0).get());
    EXPECT_EQ(source->numberOfSectionsInTableView(table.get()), 2);  // the empty section stays
    EXPECT_EQ(source->tableViewNumberOfRowsInSection(table.get(), 0), 0);
    EXPECT_TRUE(source->removeItemAtIndexPath(path(0, 1).get(), true));
    EXPECT_EQ(source->numberOfSectionsInTableView(table.get()), 1);
    EXPECT_EQ(source->tableViewTitleForHeaderInSection(table.get(), 0)->utf8(), "One");

    auto arrays = DZSectionedDataSource::dataSourceWithArrays(
        {NS("A"), NSArray::arrayWithObjects({x.get(), y.get()}).get(), NS("B"),
         NSArray::arrayWithObjects({early.get()}).get()});
    EXPECT_EQ(arrays->tableViewNumberOfRowsInSection(table.get(), 0), 2);
    EXPECT_TRUE(arrays->removeItemAtIndexPath(path(0, 1).get(), true));
    EXPECT_EQ(arrays->numberOfSectionsInTableView(table.get()), 1);

    // Without titles: one section of the flat items.
    auto flat = DZSectionedDataSource::dataSourceWithItems(
        NSArray::arrayWithObjects({x.get(), y.get()}).get(), nullptr);
    EXPECT_EQ(flat->numberOfSectionsInTableView(table.get()), 1);
    EXPECT_EQ(flat->tableViewObjectForRowAtIndexPath(table.get(), path(1, 0).get()), y);
    EXPECT_FALSE(flat->removeItemAtIndexPath(path(0, 0).get(), true));
    EXPECT_EQ(flat->tableViewNumberOfRowsInSection(table.get(), 0), 1);
}
