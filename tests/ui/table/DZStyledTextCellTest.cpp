#include <gtest/gtest.h>

#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSKeyedArchiver.h"
#include "Foundation/NSSet.h"
#include "UIKit/UIFont.h"
#include "UIKit/UITableView.h"
#include "ui/core/DZGeometry.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/style/DZStyledNode.h"
#include "ui/style/DZStyledText.h"
#include "ui/style/DZStyledTextLabel.h"
#include "ui/table/DZTableItem.h"
#include "ui/table/DZTableSupport.h"
#include "ui/table/DZTableView.h"
#include "ui/table/DZTableViewCell.h"
#include "ui/table/DZTableViewDataSource.h"

namespace {

Ref<DZTableView> plainTable() {
    auto table = alloc<DZTableView>();
    table->initWithFrame(CGRectMake(0, 0, 320, 480), UITableViewStylePlain);
    return table;
}

Ref<DZStyledText> words(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += "word ";
    return DZStyledText::textWithURLs(NSString::stringWithUTF8String(s.c_str()));
}

}  // namespace

TEST(DZStyledTextCells, RowsAreTheTextsLaidOutHeight) {
    auto table = plainTable();
    auto text = words(80);
    CGFloat row = DZTableViewCell::rowHeightForClass(DZStyledTextTableCell::staticClass(),
                                                     table.get(), text.get());
    // Without a font of its own the text takes the sheet's, at the table's full width.
    ASSERT_TRUE(text->font());
    EXPECT_EQ(text->font()->pointSize(), DZTableStyleSheet()->font()->pointSize());
    auto copy = words(80);
    copy->setFont(DZTableStyleSheet()->font().get());
    copy->setWidth(320);
    EXPECT_EQ(row, copy->height());
    EXPECT_GT(row, 40);

    auto item = DZTableStyledTextItem::itemWithText(words(80).get());
    EXPECT_EQ(item->padding().top, 6);
    EXPECT_EQ(item->padding().right, 6);
    EXPECT_EQ(item->margin().left, 0);
    CGFloat itemRow = DZTableViewCell::rowHeightForClass(DZStyledTextTableItemCell::staticClass(),
                                                         table.get(), item.get());
    copy->setWidth(320 - 12);
    EXPECT_EQ(itemRow, copy->height() + 12);
    // A URL leaves room for the accessory.
    auto linked = DZTableStyledTextItem::itemWithText(words(80).get(), NS("tt://x"));
    copy->setWidth(320 - 12 - 23);
    EXPECT_EQ(DZTableViewCell::rowHeightForClass(DZStyledTextTableItemCell::staticClass(),
                                                 table.get(), linked.get()),
              copy->height() + 12);

    auto source = make<DZTableViewDataSource>();
    EXPECT_EQ(source->tableViewCellClassForObject(table.get(), text.get()),
              DZStyledTextTableCell::staticClass());
    EXPECT_EQ(source->tableViewCellClassForObject(table.get(), item.get()),
              DZStyledTextTableItemCell::staticClass());
    // The styled text, not archivable, stays out of the archive instead of failing it.
    DZTableStyledTextItem::staticClass();
    auto back = as<DZTableStyledTextItem>(NSKeyedUnarchiver::unarchiveObjectWithData(
        NSKeyedArchiver::archivedDataWithRootObject(linked.get()).get()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->URL()->utf8(), "tt://x");
    EXPECT_EQ(back->padding().bottom, 6);
}

TEST(DZStyledTextCells, CellsShowTheTextAtTheItemsMarginAndPadding) {
    auto item = DZTableStyledTextItem::itemWithText(words(3).get());
    item->setMargin(UIEdgeInsetsMake(4, 8, 0, 0));
    item->setPadding(UIEdgeInsetsMake(2, 2, 2, 2));
    auto cell = alloc<DZStyledTextTableItemCell>();
    cell->initWithStyle(UITableViewCellStyleDefault, NS("c"));
    cell->setFrame(CGRectMake(0, 0, 320, 44));
    cell->setObject(item.get());
    cell->layoutSubviews();
    EXPECT_EQ(cell->label()->text(), item->text());
    EXPECT_EQ(cell->label()->frame().origin.x, 8);
    EXPECT_EQ(cell->label()->frame().origin.y, 4);
    EXPECT_EQ(cell->object(), item);

    auto whole = alloc<DZStyledTextTableCell>();
    whole->initWithStyle(UITableViewCellStyleDefault, NS("w"));
    auto text = words(2);
    whole->setObject(text.get());
    EXPECT_EQ(whole->object(), text);
    EXPECT_EQ(whole->selectionStyle(), UITableViewCellSelectionStyleNone);
}

TEST(DZStyledTextCells, TheTableKeepsOneHighlightedLabelAndClearsItsLink) {
    auto table = plainTable();
    auto text = DZStyledText::textFromXHTML(NS("see <a href=\"tt://x\">this</a>"));
    auto label = make<DZStyledTextLabel>();
    label->setText(text.get());
    Ref<DZStyledElement> anchor;
    for (auto node = text->rootNode(); node; node = node->nextSibling())
        if (auto l = as<DZStyledLinkNode>(node)) anchor = l;
    ASSERT_TRUE(anchor);
    label->setHighlightedNode(anchor.get());
    DZStyledTextLabelTable* asTable = table.get();
    asTable->setHighlightedLabel(label.get());
    EXPECT_EQ(table->highlightedLabel(), label);
    table->setHighlightedLabel(nullptr);
    EXPECT_FALSE(table->highlightedLabel());
    // While a label is highlighted, row selection is ignored.
    table->setHighlightedLabel(label.get());
    auto source =
        DZListDataSource::dataSourceWithObjects({DZTableTextItem::itemWithText(NS("a")).get()});
    table->setDataSource(source.get());
    table->layoutSubviews();
    table->selectRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0).get(), false,
                                UITableViewScrollPositionNone);
    EXPECT_FALSE(table->indexPathForSelectedRow());
    // A reload clears it, and so does a touch the system cancels.
    table->reloadData();
    EXPECT_FALSE(table->highlightedLabel());
    table->setHighlightedLabel(label.get());
    table->touchesCancelled(NSSet::set().get(), nullptr);
    EXPECT_FALSE(table->highlightedLabel());
}
