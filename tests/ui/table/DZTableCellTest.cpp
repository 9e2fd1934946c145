#include <gtest/gtest.h>

#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/UISwitch.h"
#include "UIKit/UITableView.h"
#include "UIKit/UITextField.h"
#include "UIKit/UITextView.h"
#include "UIKit/UIViewController.h"
#include "support/FoundationTesting.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZURLMap.h"
#include "ui/core/UIColor+DZCategory.h"
#include "ui/style/DZActivityLabel.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/table/DZTableItem.h"
#include "ui/table/DZTableSupport.h"
#include "ui/table/DZTableViewCell.h"
#include "ui/table/DZTableViewDataSource.h"
#include "ui/table/DZTextEditor.h"

namespace {

class DZTableCells : public ::testing::Test {
protected:
    void SetUp() override {
        table = alloc<UITableView>();
        table->initWithFrame(CGRectMake(0, 0, 320, 480), UITableViewStylePlain);
        grouped = alloc<UITableView>();
        grouped->initWithFrame(CGRectMake(0, 0, 320, 480), UITableViewStyleGrouped);
    }

    CGFloat heightFor(Class cls, NSObject* object, UITableView* t = nullptr) {
        return DZTableViewCell::rowHeightForClass(cls, t ? t : table.get(), object);
    }

    template <class Cell>
    Ref<Cell> cellWith(NSObject* object) {
        auto cell = alloc<Cell>();
        cell->initWithStyle(UITableViewCellStyleDefault, NS("test"));
        cell->setFrame(CGRectMake(0, 0, 320, 60));
        cell->setObject(object);
        cell->layoutSubviews();
        return cell;
    }

    Ref<UITableView> table, grouped;
};

Ref<NSString> repeated(const char* word, int times) {
    std::string s;
    for (int i = 0; i < times; ++i)
        s += (i ? " " : "") + std::string(word);
    return NSString::stringWithUTF8String(s.c_str());
}

}  // namespace

TEST_F(DZTableCells, TextRowsMeasureInTheirFontCappedAt2000) {
    Class text = DZTableTextItemCell::staticClass();
    EXPECT_EQ(heightFor(text, DZTableTextItem::itemWithText(nullptr).get()), 20);
    // Far more than 2000 points of text stops at the cap plus the padding.
    EXPECT_EQ(heightFor(text, DZTableTextItem::itemWithText(repeated("word", 3000).get()).get()),
              2020);
    // A long-text item measures in the sheet's body font, a plain one in the table font.
    auto words = repeated("abc", 40);
    auto sheet = DZTableStyleSheet();
    CGFloat width = 320 - 20;
    CGFloat body = DZTableTextSize(words.get(), sheet->font().get(), width, 4).height;
    CGFloat big = DZTableTextSize(words.get(), sheet->tableFont().get(), width, 4).height;
    ASSERT_NE(body, big);
    EXPECT_EQ(heightFor(text, DZTableLongTextItem::itemWithText(words.get()).get()), body + 20);
    EXPECT_EQ(heightFor(text, DZTableTextItem::itemWithText(words.get()).get()), big + 20);
    // A grouped table's margins narrow the text.
    CGFloat narrow = DZTableTextSize(words.get(), sheet->tableFont().get(), 320 - 40, 4).height;
    EXPECT_EQ(heightFor(text, DZTableTextItem::itemWithText(words.get()).get(), grouped.get()),
              narrow + 20);
}

TEST_F(DZTableCells, CaptionRowsMeasureAt213InAPlainTable) {
    auto words = repeated("ab", 132);
    auto font = DZTableStyleSheet()->tableSmallFont();
    CGFloat at213 = DZTableTextSize(words.get(), font.get(), 213, 0).height;
    ASSERT_NE(at213, DZTableTextSize(words.get(), font.get(), 230, 0).height);
    ASSERT_NE(at213, DZTableTextSize(words.get(), font.get(), 200, 0).height);
    EXPECT_EQ(heightFor(DZTableCaptionItemCell::staticClass(),
                        DZTableCaptionItem::itemWithTextCaption(words.get(), NS("Name")).get()),
              at213 + 20);
    EXPECT_EQ(heightFor(DZTableCaptionItemCell::staticClass(),
                        DZTableCaptionItem::itemWithTextCaption(nullptr, NS("Name")).get()),
              20);
}

TEST_F(DZTableCells, FixedAndMinimumHeights) {
    auto more = DZTableMoreButton::itemWithText(NS("More"));
    EXPECT_EQ(heightFor(DZTableMoreButtonCell::staticClass(), more.get()), 66);
    EXPECT_EQ(
        heightFor(
            DZTableMessageItemCell::staticClass(),
            DZTableMessageItem::itemWithTitle(NS("t"), nullptr, NS("x"), nullptr, nullptr).get()),
        90);
    EXPECT_EQ(heightFor(DZTableViewCell::staticClass(), nullptr), 44);
    // Subtitle rows: the table font's line, plus the body font's with a subtitle.
    auto sheet = DZTableStyleSheet();
    CGFloat one = dzLineHeight(sheet->tableFont().get()) + 20;
    EXPECT_EQ(heightFor(DZTableSubtitleItemCell::staticClass(),
                        DZTableSubtitleItem::itemWithText(NS("t")).get()),
              one);
    EXPECT_EQ(heightFor(DZTableSubtitleItemCell::staticClass(),
                        DZTableSubtitleItem::itemWithTextSubtitle(NS("t"), NS("s")).get()),
              one + dzLineHeight(sheet->font().get()));

    // Control rows: a field of height 0 whose line is 20 high asks 32, raised to 44; a text
    // view with a 16-point line asks five lines.
    auto field = make<UITextField>();
    field->setFont(UIFont::systemFontOfSize(19).get());
    ASSERT_EQ(dzLineHeight(field->font().get()), 20);
    EXPECT_EQ(heightFor(DZTableControlCell::staticClass(), field.get()), 44);
    auto textView = make<UITextView>();
    textView->setFont(UIFont::systemFontOfSize(15).get());
    ASSERT_EQ(dzLineHeight(textView->font().get()), 16);
    EXPECT_EQ(heightFor(DZTableControlCell::staticClass(), textView.get()), 80);
    auto editor = make<DZTextEditor>();
    editor->setFont(UIFont::systemFontOfSize(15).get());
    EXPECT_EQ(heightFor(DZTableControlCell::staticClass(),
                        DZTableControlItem::itemWithCaption(NS("Note"), nullptr).get()),
              44);
    EXPECT_EQ(heightFor(DZTableControlCell::staticClass(), editor.get()), 80);
    auto tall = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 10, 120));
    EXPECT_EQ(heightFor(DZTableControlCell::staticClass(), tall.get()), 120);
}

TEST_F(DZTableCells, AccessoriesFollowTheURLsAndTheMapModes) {
    auto map = DZNavigator::navigator()->URLMap();
    map->fromToViewController(NS("tt://cells/create"), UIViewController::staticClass());
    map->fromToModalViewController(NS("tt://cells/modal"), UIViewController::staticClass());
    auto cell = cellWith<DZTableTextItemCell>(
        DZTableTextItem::itemWithText(NS("t"), NS("tt://cells/create")).get());
    EXPECT_EQ(cell->accessoryType(), UITableViewCellAccessoryDisclosureIndicator);
    EXPECT_EQ(cell->selectionStyle(), DZTableSelectionStyle());
    cell = cellWith<DZTableTextItemCell>(
        DZTableTextItem::itemWithText(NS("t"), NS("tt://cells/create"), NS("tt://x")).get());
    EXPECT_EQ(cell->accessoryType(), UITableViewCellAccessoryDetailDisclosureButton);
    cell = cellWith<DZTableTextItemCell>(
        DZTableTextItem::itemWithText(NS("t"), NS("tt://cells/modal")).get());
    EXPECT_EQ(cell->accessoryType(), UITableViewCellAccessoryNone);
    EXPECT_NE(cell->selectionStyle(), UITableViewCellSelectionStyleNone);
    // Without a URL: nothing, and no highlight, even with an accessory URL.
    auto bare = DZTableTextItem::itemWithText(NS("t"));
    bare->setAccessoryURL(NS("tt://x"));
    cell = cellWith<DZTableTextItemCell>(bare.get());
    EXPECT_EQ(cell->accessoryType(), UITableViewCellAccessoryNone);
    EXPECT_EQ(cell->selectionStyle(), UITableViewCellSelectionStyleNone);

    // The same item again changes nothing.
    cell->setAccessoryType(UITableViewCellAccessoryCheckmark);
    cell->textLabel()->setText(NS("changed"));
    cell->setObject(bare.get());
    EXPECT_EQ(cell->accessoryType(), UITableViewCellAccessoryCheckmark);
    EXPECT_EQ(cell->textLabel()->text()->utf8(), "changed");
    // A button row is centred in the link colour.
    cell = cellWith<DZTableTextItemCell>(DZTableButton::itemWithText(NS("Go")).get());
    EXPECT_EQ(cell->textLabel()->textAlignment(), UITextAlignmentCenter);
    EXPECT_NE(cell->selectionStyle(), UITableViewCellSelectionStyleNone);
}

TEST_F(DZTableCells, ControlFlushActivityAndMessageCells) {
    // A switch sits at the right edge, caption or not.
    auto toggle = make<UISwitch>();
    auto cell = cellWith<DZTableControlCell>(
        DZTableControlItem::itemWithCaption(NS("Wi-Fi"), toggle.get()).get());
    CGFloat content = cell->contentView()->bounds().size.width;
    EXPECT_FLOAT_EQ(toggle->frame().origin.x, content - 8 - toggle->frame().size.width);
    EXPECT_EQ(cell->textLabel()->text()->utf8(), "Wi-Fi");
    auto bareToggle = make<UISwitch>();
    cell = cellWith<DZTableControlCell>(bareToggle.get());
    EXPECT_FLOAT_EQ(bareToggle->frame().origin.x, content - 8 - bareToggle->frame().size.width);
    EXPECT_EQ(cell->object(), bareToggle);
    // Something else leaves the cell empty.
    cell->setObject(NS("nothing"));
    EXPECT_FALSE(cell->control());
    EXPECT_FALSE(cell->object());
    EXPECT_FALSE(toggle->superview() && bareToggle->superview());

    auto view = make<UIView>();
    auto flush = cellWith<DZTableFlushViewCell>(view.get());
    EXPECT_TRUE(CGRectEqualToRect(view->frame(), flush->contentView()->bounds()));
    EXPECT_EQ(flush->object(), view);

    auto activity =
        cellWith<DZTableActivityItemCell>(DZTableActivityItem::itemWithText(NS("Wait")).get());
    EXPECT_EQ(activity->selectionStyle(), UITableViewCellSelectionStyleNone);
    EXPECT_TRUE(activity->activityLabel()->superview());

    auto message = cellWith<DZTableMessageItemCell>(
        DZTableMessageItem::itemWithTitle(NS("Seller"), NS("Re: bike"), NS("Still there?"), nullptr,
                                          nullptr)
            .get());
    EXPECT_GT(message->titleLabel()->frame().size.width, 0);
    EXPECT_EQ(message->timestampLabel()->frame().size.width, 0);  // hidden without a stamp
}

// The three caption cells show an item the same way: the caption in the text label, the text in
// the detail label; an object that is no caption item leaves both as they were.
TEST_F(DZTableCells, CaptionCellsShowTheCaptionAndTheText) {
    auto check = [&](auto cell, NSObject* item) {
        cell->setObject(item);
        EXPECT_EQ(text(cell->captionLabel()->text()), "Price");
        EXPECT_EQ(text(cell->detailTextLabel()->text()), "40 EUR");
        EXPECT_EQ(cell->object().get(), item);
        cell->setObject(DZTableTextItem::itemWithText(NS("other")).get());
        EXPECT_EQ(text(cell->captionLabel()->text()), "Price");
        EXPECT_EQ(text(cell->detailTextLabel()->text()), "40 EUR");
    };
    check(cellWith<DZTableCaptionItemCell>(nullptr),
          DZTableCaptionItem::itemWithTextCaption(NS("40 EUR"), NS("Price")).get());
    check(cellWith<DZTableRightCaptionItemCell>(nullptr),
          DZTableRightCaptionItem::itemWithTextCaption(NS("40 EUR"), NS("Price")).get());
    check(cellWith<DZTableSubtextItemCell>(nullptr),
          DZTableSubtextItem::itemWithTextCaption(NS("40 EUR"), NS("Price")).get());
}

TEST_F(DZTableCells, TheMapPicksTheFirstMatchingCellClass) {
    auto source = make<DZTableViewDataSource>();
    auto cellFor = [&](NSObject* o) { return source->tableViewCellClassForObject(table.get(), o); };
    EXPECT_EQ(cellFor(DZTableMoreButton::itemWithText(NS("m")).get()),
              DZTableMoreButtonCell::staticClass());
    EXPECT_EQ(cellFor(DZTableSubtextItem::itemWithText(NS("m")).get()),
              DZTableSubtextItemCell::staticClass());
    EXPECT_EQ(cellFor(DZTableRightCaptionItem::itemWithText(NS("m")).get()),
              DZTableRightCaptionItemCell::staticClass());
    EXPECT_EQ(cellFor(DZTableCaptionItem::itemWithText(NS("m")).get()),
              DZTableCaptionItemCell::staticClass());
    EXPECT_EQ(cellFor(DZTableSubtitleItem::itemWithText(NS("m")).get()),
              DZTableSubtitleItemCell::staticClass());
    EXPECT_EQ(
        cellFor(
            DZTableMessageItem::itemWithTitle(nullptr, nullptr, nullptr, nullptr, nullptr).get()),
        DZTableMessageItemCell::staticClass());
    EXPECT_EQ(cellFor(DZTableRightImageItem::itemWithText(NS("m")).get()),
              DZTableImageItemCell::staticClass());
    EXPECT_EQ(cellFor(DZTableActivityItem::itemWithText(NS("m")).get()),
              DZTableActivityItemCell::staticClass());
    EXPECT_EQ(cellFor(DZTableControlItem::itemWithCaption(nullptr, nullptr).get()),
              DZTableControlCell::staticClass());
    EXPECT_EQ(cellFor(DZTableViewItem::itemWithCaption(nullptr, nullptr).get()),
              DZTableFlushViewCell::staticClass());
    EXPECT_EQ(cellFor(DZTableButton::itemWithText(NS("m")).get()),
              DZTableTextItemCell::staticClass());
    EXPECT_EQ(cellFor(make<DZTableItem>().get()), DZTableTextItemCell::staticClass());
    EXPECT_EQ(cellFor(make<UISwitch>().get()), DZTableControlCell::staticClass());
    EXPECT_EQ(cellFor(make<UITextView>().get()), DZTableControlCell::staticClass());
    EXPECT_EQ(cellFor(make<DZTextEditor>().get()), DZTableControlCell::staticClass());
    EXPECT_EQ(cellFor(make<UIView>().get()), DZTableFlushViewCell::staticClass());
    EXPECT_EQ(cellFor(NS("text")), DZTableViewCell::staticClass());
    EXPECT_EQ(cellFor(nullptr), DZTableViewCell::staticClass());
}
