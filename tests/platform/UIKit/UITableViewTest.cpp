// Table views: rows visible in the viewport, reuse, headers and the index, selection and
// editing callbacks, batch updates and the platform's exceptions for bad index paths.
#include <gtest/gtest.h>

#include <algorithm>

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITableView.h"
#include "UIKit/UITableViewController.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWindow.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/FoundationTesting.h"

namespace {

using Calls = std::vector<std::string>;

std::string pathText(NSIndexPath* p) {
    return p ? std::to_string(p->section()) + "." + std::to_string(p->row()) : "nil";
}

std::string pathsText(NSArray* paths) {
    std::string out;
    for (NSUInteger i = 0; i < paths->count(); ++i) {
        if (i) out += " ";
        out += pathText(cast<NSIndexPath>(paths->objectAtIndex(i)));
    }
    return out;
}

// Sections of rows named "s.r", headers "Section s", an optional index, and a log of what the
// table asked and told.
class Source : public NSObject, public UITableViewDataSource, public UITableViewDelegate {
    NS_OBJECT(Source, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements(
            {"numberOfSectionsInTableView:", "tableView:titleForHeaderInSection:",
             "sectionIndexTitlesForTableView:", "tableView:sectionForSectionIndexTitle:atIndex:",
             "tableView:commitEditingStyle:forRowAtIndexPath:",
             "tableView:willSelectRowAtIndexPath:", "tableView:didSelectRowAtIndexPath:",
             "tableView:willDeselectRowAtIndexPath:", "tableView:didDeselectRowAtIndexPath:",
             "tableView:willBeginEditingRowAtIndexPath:", "tableView:didEndEditingRowAtIndexPath:",
             "tableView:willDisplayCell:forRowAtIndexPath:"});
    }
    std::vector<NSInteger> rows{20};
    Calls log;
    int made = 0;
    NSInteger redirectRow = -1;  // will-select answers this row instead (-2: refuse)

    NSInteger numberOfSectionsInTableView(UITableView*) override {
        return static_cast<NSInteger>(rows.size());
    }
    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger s) override {
        return rows[static_cast<size_t>(s)];
    }
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView* t, NSIndexPath* p) override {
        auto cell = t->dequeueReusableCellWithIdentifier(NS("Row"));
        if (!cell) {
            cell = alloc<UITableViewCell>();
            cell->initWithStyle(UITableViewCellStyleSubtitle, NS("Row"));
            ++made;
        }
        cell->textLabel()->setText(str(pathText(p)));
        return cell;
    }
    Ref<NSString> tableViewTitleForHeaderInSection(UITableView*, NSInteger s) override {
        return NSString::stringWithFormat(NS("Section %d"), s);
    }
    Ref<NSArray> sectionIndexTitlesForTableView(UITableView*) override {
        return NSArray::arrayWithObjects({NS("A"), NS("B"), NS("C")});
    }
    NSInteger tableViewSectionForSectionIndexTitle(UITableView*, NSString*, NSInteger i) override {
        log.push_back("indexTitle:" + std::to_string(i));
        return i;
    }
    void tableViewCommitEditingStyle(UITableView* t, UITableViewCellEditingStyle style,
                                     NSIndexPath* p) override {
        log.push_back("commit:" + std::to_string(style) + ":" + pathText(p));
        rows[static_cast<size_t>(p->section())] -= 1;
        t->deleteRowsAtIndexPaths(NSArray::arrayWithObject(p), UITableViewRowAnimationFade);
    }
    Ref<NSIndexPath> tableViewWillSelectRowAtIndexPath(UITableView*, NSIndexPath* p) override {
        log.push_back("willSelect:" + pathText(p));
        if (redirectRow == -2) return nullptr;
        if (redirectRow >= 0) return NSIndexPath::indexPathForRow(redirectRow, p->section());
        return Ref<NSIndexPath>(p);
    }
    void tableViewDidSelectRowAtIndexPath(UITableView*, NSIndexPath* p) override {
        log.push_back("didSelect:" + pathText(p));
    }
    Ref<NSIndexPath> tableViewWillDeselectRowAtIndexPath(UITableView*, NSIndexPath* p) override {
        log.push_back("willDeselect:" + pathText(p));
        return Ref<NSIndexPath>(p);
    }
    void tableViewDidDeselectRowAtIndexPath(UITableView*, NSIndexPath* p) override {
        log.push_back("didDeselect:" + pathText(p));
    }
    void tableViewWillBeginEditingRowAtIndexPath(UITableView*, NSIndexPath* p) override {
        log.push_back("willBeginEditing:" + pathText(p));
    }
    void tableViewDidEndEditingRowAtIndexPath(UITableView*, NSIndexPath* p) override {
        log.push_back("didEndEditing:" + pathText(p));
    }
    void tableViewWillDisplayCellForRowAtIndexPath(UITableView*, UITableViewCell*,
                                                   NSIndexPath*) override {
        ++displayed;
    }
    int displayed = 0;
};

struct TableTest : testing::Test {
    Ref<Source> source = make<Source>();
    Ref<UITableView> table;
    void SetUp() override {
        table = alloc<UITableView>();
        table->initWithFrame(CGRectMake(0, 0, 320, 200), UITableViewStylePlain);
    }
    void attach() {
        table->setDataSource(source);
        table->setDelegate(source);
    }
};

TEST_F(TableTest, VisibleRowsFollowTheContentOffset) {
    source->rows = {20};
    source->log.clear();
    table->setDataSource(source);
    // Rows of 44 points under a 22-point header: row 4 starts at 198, inside a 200-point
    // viewport; row 5 does not.
    EXPECT_EQ(pathsText(table->indexPathsForVisibleRows()), "0.0 0.1 0.2 0.3 0.4");
    EXPECT_EQ(table->contentSize().height, 22 + 20 * 44);
    table->setContentOffset(CGPointMake(0, 100));
    // 100 to 300: row 1 ends at 110, row 6 starts at 286.
    EXPECT_EQ(pathsText(table->indexPathsForVisibleRows()), "0.1 0.2 0.3 0.4 0.5 0.6");
    EXPECT_EQ(table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0)), nullptr);
    auto cell = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(2, 0));
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(text(cell->textLabel()->text()), "0.2");
    EXPECT_EQ(cell->superview().get(), table.get());
    EXPECT_EQ(cell->frame().origin.y, 22 + 2 * 44);
    EXPECT_EQ(pathText(table->indexPathForCell(cell)), "0.2");
    EXPECT_EQ(pathText(table->indexPathForRowAtPoint(CGPointMake(10, 22 + 44 * 3 + 1))), "0.3");
    EXPECT_EQ(table->indexPathForRowAtPoint(CGPointMake(10, 5)), nullptr);  // the header
}

TEST_F(TableTest, CellsScrolledOffAreReused) {
    source->rows = {100};
    attach();
    EXPECT_EQ(table->visibleCells()->count(), 5u);
    int first = source->made;
    for (int y = 0; y <= 3000; y += 150) {
        table->setContentOffset(CGPointMake(0, y));
        table->layoutIfNeeded();
    }
    // Only the cells the viewport can hold at once were ever made.
    EXPECT_LE(source->made, first + 2);
    EXPECT_GT(source->displayed, 60);
    auto visible = table->visibleCells();
    for (NSUInteger i = 0; i < visible->count(); ++i) {
        auto cell = cast<UITableViewCell>(visible->objectAtIndex(i));
        auto path = table->indexPathForCell(cell);
        EXPECT_EQ(text(cell->textLabel()->text()), pathText(path));  // reconfigured for its row
    }
    // Reloaded in place, each row gets back the cell that showed it, with what it still holds.
    std::vector<UITableViewCell*> before;
    for (NSUInteger i = 0; i < visible->count(); ++i)
        before.push_back(cast<UITableViewCell>(visible->objectAtIndex(i)).get());
    table->reloadData();
    table->layoutIfNeeded();
    auto after = table->visibleCells();
    ASSERT_EQ(after->count(), before.size());
    for (NSUInteger i = 0; i < after->count(); ++i)
        EXPECT_EQ(cast<UITableViewCell>(after->objectAtIndex(i)).get(), before[i]) << i;
}

TEST_F(TableTest, HeadersAndTheSectionIndex) {
    source->rows = {5, 5, 2};
    attach();
    table->layoutIfNeeded();
    EXPECT_EQ(table->rectForHeaderInSection(1).origin.y, 22 + 5 * 44);
    EXPECT_EQ(table->rectForSection(1).size.height, 22 + 5 * 44);
    // The index is the table's last subview and shows the data source's titles.
    auto last = table->subviewList().back();
    auto index = as<UITableViewIndex>(last);
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->titles()->count(), 3u);
    EXPECT_TRUE(table->tapSectionIndexAtIndex(2));
    EXPECT_EQ(source->log, (Calls{"indexTitle:2"}));
    // The last section cannot reach the top; the table stops at the end of its content.
    EXPECT_EQ(table->contentOffset().y, table->contentSize().height - 200);
    EXPECT_TRUE(table->tapSectionIndexAtIndex(1));
    EXPECT_EQ(table->contentOffset().y, table->rectForSection(1).origin.y);
    EXPECT_FALSE(table->tapSectionIndexAtIndex(7));
    table->layoutIfNeeded();
    // The header of the section at the top is a subview showing its title.
    bool found = false;
    for (auto& v : table->subviewList()) {
        if (auto label = as<UILabel>(v); label && text(label->text()) == "Section 1") found = true;
    }
    EXPECT_TRUE(found);
}

// A plain table's section header stays at the top of the viewport while its section scrolls
// under it, in front of the rows, until the next section's header pushes it up.
TEST_F(TableTest, PlainHeadersStayPinnedWhileTheirSectionScrolls) {
    source->rows = {5, 5};
    attach();
    table->layoutIfNeeded();
    auto headerTitled = [&](const char* title) -> Ref<UIView> {
        for (auto& v : table->subviewList())
            if (auto label = as<UILabel>(v); label && text(label->text()) == title) return label;
        return nullptr;
    };
    // Section 0 runs from 0 to 22 + 5 * 44 = 242; scrolled 100 points into it.
    table->setContentOffset(CGPointMake(0, 100));
    table->layoutIfNeeded();
    auto first = headerTitled("Section 0");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->frame().origin.y, 100);
    // The header is in front of the rows it covers.
    auto& subs = table->subviewList();
    auto at = [&](UIView* v) {
        return std::find_if(subs.begin(), subs.end(), [&](auto& s) { return s.get() == v; }) -
               subs.begin();
    };
    auto row = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(1, 0));
    ASSERT_TRUE(row);
    EXPECT_GT(at(first.get()), at(row.get()));
    // Near the section's end the next header pushes it up: at 230, its bottom meets 242.
    table->setContentOffset(CGPointMake(0, 230));
    table->layoutIfNeeded();
    EXPECT_EQ(first->frame().origin.y, 242 - 22);
    auto second = headerTitled("Section 1");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->frame().origin.y, 242);
    // Once the next section reaches the top, its header is the one pinned there.
    table->setContentOffset(CGPointMake(0, 300));
    table->layoutIfNeeded();
    EXPECT_EQ(second->frame().origin.y, 300);

    // A row scrolled to is brought below the header pinned over its section, not under it.
    // Section 0's row 2 runs from 22 + 88 = 110 to 154.
    auto rowTwo = NSIndexPath::indexPathForRow(2, 0);
    table->scrollToRowAtIndexPath(rowTwo, UITableViewScrollPositionTop, false);
    EXPECT_EQ(table->contentOffset().y, 110 - 22);
    table->setContentOffset(CGPointMake(0, 100));
    table->scrollToRowAtIndexPath(rowTwo, UITableViewScrollPositionNone, false);
    EXPECT_EQ(table->contentOffset().y, 110 - 22);
    // In the middle of the room below the header: (200 - 22) / 2 above the row's middle, 132.
    table->scrollToRowAtIndexPath(rowTwo, UITableViewScrollPositionMiddle, false);
    EXPECT_EQ(table->contentOffset().y, 132 - 22 - 89);
}

TEST_F(TableTest, SelectionCallbacksInOrder) {
    source->rows = {10};
    attach();
    EXPECT_TRUE(table->tapRowAtIndexPath(NSIndexPath::indexPathForRow(1, 0)));
    EXPECT_TRUE(table->tapRowAtIndexPath(NSIndexPath::indexPathForRow(2, 0)));
    EXPECT_EQ(source->log, (Calls{"willSelect:0.1", "didSelect:0.1", "willSelect:0.2",
                                  "willDeselect:0.1", "didDeselect:0.1", "didSelect:0.2"}));
    EXPECT_EQ(pathText(table->indexPathForSelectedRow()), "0.2");
    EXPECT_TRUE(table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(2, 0))->isSelected());

    // The delegate may redirect the selection, or refuse it.
    source->log.clear();
    source->redirectRow = 3;
    table->tapRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0));
    EXPECT_EQ(pathText(table->indexPathForSelectedRow()), "0.3");
    source->redirectRow = -2;
    EXPECT_FALSE(table->tapRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0)));
    EXPECT_EQ(pathText(table->indexPathForSelectedRow()), "0.3");

    // Selecting by program tells nobody.
    source->log.clear();
    table->selectRowAtIndexPath(NSIndexPath::indexPathForRow(5, 0), false,
                                UITableViewScrollPositionNone);
    table->deselectRowAtIndexPath(NSIndexPath::indexPathForRow(5, 0), false);
    EXPECT_TRUE(source->log.empty());
    EXPECT_EQ(table->indexPathForSelectedRow(), nullptr);
    table->setAllowsSelection(false);
    EXPECT_FALSE(table->tapRowAtIndexPath(NSIndexPath::indexPathForRow(1, 0)));
}

TEST_F(TableTest, SwipeToDeleteCommitsTheEdit) {
    source->rows = {6};
    attach();
    auto victim = NSIndexPath::indexPathForRow(1, 0);
    auto kept = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(2, 0));
    EXPECT_TRUE(table->swipeToDeleteRowAtIndexPath(victim));
    EXPECT_TRUE(table->isEditing());
    auto cell = table->cellForRowAtIndexPath(victim);
    EXPECT_TRUE(cell->showingDeleteConfirmation());
    EXPECT_EQ(text(cell->deleteConfirmationTitle()), "Delete");
    EXPECT_TRUE(table->confirmDeleteConfirmation());
    EXPECT_EQ(source->log, (Calls{"willBeginEditing:0.1", "commit:1:0.1", "didEndEditing:0.1"}));
    EXPECT_FALSE(table->isEditing());
    EXPECT_EQ(table->numberOfRowsInSection(0), 5);
    // The row below moved up with its cell.
    EXPECT_EQ(pathText(table->indexPathForCell(kept)), "0.1");

    // A tap elsewhere takes the button away without committing.
    source->log.clear();
    table->swipeToDeleteRowAtIndexPath(victim);
    table->tapRowAtIndexPath(NSIndexPath::indexPathForRow(3, 0));
    EXPECT_EQ(source->log, (Calls{"willBeginEditing:0.1", "didEndEditing:0.1"}));
}

TEST_F(TableTest, TheDeleteButtonIsRoundedAndRedAndEditingRowsStayPut) {
    source->rows = {6};
    attach();
    table->setBackgroundColor(UIColor::whiteColor());
    // A row's delete button: red inside, the row's white past its rounded corners.
    auto swiped = NSIndexPath::indexPathForRow(1, 0);
    table->swipeToDeleteRowAtIndexPath(swiped);
    auto cell = table->cellForRowAtIndexPath(swiped);
    auto button = cell->deleteConfirmationButton();
    ASSERT_TRUE(button);
    auto shot = UIViewRenderImage(table, 1);
    CGRect f = button->convertRect(button->bounds(), table.get());
    auto red = [](RGBA c) { return c.r > 150 && c.g < 90 && c.b < 90; };
    RGBA inside = pixelAt(shot, int(f.origin.x + 4), int(CGRectGetMidY(f)));
    EXPECT_TRUE(red(inside)) << inside;
    EXPECT_TRUE(near(pixelAt(shot, int(f.origin.x), int(f.origin.y)), kWhite, 8))
        << pixelAt(shot, int(f.origin.x), int(f.origin.y));
    // Its title is white on the red.
    EXPECT_GT(
        countPixels(shot, CGRectInset(f, 8, 6), [](RGBA c) { return c.r > 230 && c.g > 230; }), 15);
    table->cancelDeleteConfirmation();

    // In editing, the minus's delete button leaves the row's text where it was, and the minus
    // turns upright: white across the disc's middle no more, white above and below it.
    table->setEditing(true, false);
    auto row = NSIndexPath::indexPathForRow(2, 0);
    cell = table->cellForRowAtIndexPath(row);
    CGFloat textX = cell->textLabel()->convertRect(cell->textLabel()->bounds(), cell).origin.x;
    CGRect rowRect = cell->frame();
    int cx = 16, cy = int(CGRectGetMidY(rowRect));
    auto white = [](RGBA c) { return c.r > 230 && c.g > 230 && c.b > 230; };
    auto before = UIViewRenderImage(table, 1);
    EXPECT_TRUE(white(pixelAt(before, cx - 3, cy))) << pixelAt(before, cx - 3, cy);
    EXPECT_TRUE(red(pixelAt(before, cx, cy - 4))) << pixelAt(before, cx, cy - 4);
    ASSERT_TRUE(table->tapEditingControlForRowAtIndexPath(row));
    EXPECT_TRUE(cell->showingDeleteConfirmation());
    EXPECT_EQ(cell->textLabel()->convertRect(cell->textLabel()->bounds(), cell).origin.x, textX);
    auto after = UIViewRenderImage(table, 1);
    EXPECT_TRUE(red(pixelAt(after, cx - 3, cy))) << pixelAt(after, cx - 3, cy);
    EXPECT_TRUE(white(pixelAt(after, cx, cy - 4))) << pixelAt(after, cx, cy - 4);
    EXPECT_TRUE(cell->deleteConfirmationButton());
}

// Rows only: no editing, no titles.
class Plain : public NSObject, public UITableViewDataSource {
    NS_OBJECT(Plain, NSObject)
    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger) override { return 3; }
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView*, NSIndexPath*) override {
        return make<UITableViewCell>(&UITableViewCell::initWithStyle, UITableViewCellStyleDefault,
                                     nullptr);
    }
};

TEST_F(TableTest, TouchesOnRowsSelectAndDelete) {
    source->rows = {6};
    attach();
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->makeKeyAndVisible();
    window->addSubview(table);
    // A tap on row 2's text reaches the table through the cell.
    window->tapAtPoint(CGPointMake(100, 22 + 2 * 44 + 20));
    EXPECT_EQ(source->log, (Calls{"willSelect:0.2", "didSelect:0.2"}));
    // The delete button that a swipe shows is a button of the cell.
    source->log.clear();
    table->swipeToDeleteRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0));
    auto cell = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0));
    CGRect row = cell->frame();
    window->tapAtPoint(CGPointMake(CGRectGetMaxX(row) - 30, CGRectGetMidY(row)));
    EXPECT_EQ(source->log, (Calls{"willBeginEditing:0.0", "commit:1:0.0", "didEndEditing:0.0"}));
}

TEST_F(TableTest, SwipeNeedsADataSourceThatCommits) {
    auto plain = make<Plain>();
    table->setDataSource(plain);
    EXPECT_FALSE(table->swipeToDeleteRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0)));
    EXPECT_FALSE(table->isEditing());
}

TEST_F(TableTest, InvalidIndexPathsRaise) {
    source->rows = {3, 2};
    attach();
    auto e = raisedBy([&] {
        table->scrollToRowAtIndexPath(NSIndexPath::indexPathForRow(5, 0),
                                      UITableViewScrollPositionTop, false);
    });
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(text(e->name()), "NSRangeException");
    EXPECT_EQ(text(e->reason()),
              "-[UITableView _contentOffsetForScrollingToRowAtIndexPath:atScrollPosition:]: row "
              "(5) beyond bounds (3) for section (0).");
    EXPECT_EQ(raisedName([&] { table->rectForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 2)); }),
              "NSRangeException");
    EXPECT_EQ(raisedName([&] {
                  table->selectRowAtIndexPath(NSIndexPath::indexPathForRow(2, 1), false,
                                              UITableViewScrollPositionNone);
              }),
              "NSRangeException");
    EXPECT_EQ(raisedName([&] {
                  table->scrollToRowAtIndexPath(NSIndexPath::indexPathWithIndex(0),
                                                UITableViewScrollPositionTop, false);
              }),
              "NSInvalidArgumentException");
    // Reading a cell of a row that does not exist just answers nil.
    EXPECT_EQ(table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(9, 9)), nullptr);
}

TEST_F(TableTest, UpdatesMustAgreeWithTheDataSource) {
    source->rows = {4};
    attach();
    table->layoutIfNeeded();
    // The data source says nothing changed, the table is told of an insert.
    auto e = raisedBy([&] {
        table->insertRowsAtIndexPaths(NSArray::arrayWithObject(NSIndexPath::indexPathForRow(0, 0)),
                                      UITableViewRowAnimationNone);
    });
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(text(e->name()), "NSInternalInconsistencyException");
    EXPECT_NE(text(e->reason()).find("Invalid update: invalid number of rows in section 0."),
              std::string::npos);

    // A batch of an insert at the top and a delete further down keeps the surviving cells.
    auto row2 = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(2, 0));
    source->rows = {4};
    table->beginUpdates();
    table->insertRowsAtIndexPaths(NSArray::arrayWithObject(NSIndexPath::indexPathForRow(0, 0)),
                                  UITableViewRowAnimationNone);
    table->deleteRowsAtIndexPaths(NSArray::arrayWithObject(NSIndexPath::indexPathForRow(3, 0)),
                                  UITableViewRowAnimationNone);
    table->endUpdates();
    EXPECT_EQ(pathText(table->indexPathForCell(row2)), "0.3");
}

TEST_F(TableTest, DeletedSectionsMoveTheRowsBelow) {
    source->rows = {1, 1, 2};
    table->setFrame(CGRectMake(0, 0, 320, 480));
    attach();
    auto last = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(1, 2));
    ASSERT_NE(last, nullptr);
    table->selectRowAtIndexPath(NSIndexPath::indexPathForRow(0, 2), false,
                                UITableViewScrollPositionNone);
    source->rows = {1, 2};
    table->deleteSections({1}, UITableViewRowAnimationFade);
    EXPECT_EQ(pathText(table->indexPathForCell(last)), "1.1");
    EXPECT_EQ(pathText(table->indexPathForSelectedRow()), "1.0");
    EXPECT_EQ(table->numberOfSections(), 2);
    // The section count must agree as well.
    EXPECT_EQ(raisedName([&] { table->deleteSections({0}, UITableViewRowAnimationFade); }),
              "NSInternalInconsistencyException");
    EXPECT_NE(NSClassFromString(NS("UITableViewIndex")), nullptr);
}

TEST_F(TableTest, ReloadDataClearsSelectionAndShrinksTheOffset) {
    source->rows = {30};
    attach();
    table->setContentOffset(CGPointMake(0, 1000));
    table->selectRowAtIndexPath(NSIndexPath::indexPathForRow(25, 0), false,
                                UITableViewScrollPositionNone);
    source->rows = {2};
    table->reloadData();
    EXPECT_EQ(table->indexPathForSelectedRow(), nullptr);
    EXPECT_EQ(table->contentOffset().y, 0);
    EXPECT_EQ(pathsText(table->indexPathsForVisibleRows()), "0.0 0.1");
}

TEST(UITableViewController, LoadsATableThatItServes) {
    auto controller =
        make<UITableViewController>(&UITableViewController::initWithStyle, UITableViewStyleGrouped);
    auto table = controller->tableView();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->style(), UITableViewStyleGrouped);
    EXPECT_EQ(table->dataSource().get(), static_cast<UITableViewDataSource*>(controller.get()));
    EXPECT_EQ(table->delegate().get(), static_cast<UITableViewDelegate*>(controller.get()));
    controller->setEditing(true, false);
    EXPECT_TRUE(table->isEditing());
}

TEST(UITableViewCell, StylesMakeTheirLabels) {
    auto plain = make<UITableViewCell>(&UITableViewCell::initWithStyle, UITableViewCellStyleDefault,
                                       NS("Cell"));
    EXPECT_EQ(plain->detailTextLabel(), nullptr);
    EXPECT_EQ(text(plain->reuseIdentifier()), "Cell");
    auto value =
        make<UITableViewCell>(&UITableViewCell::initWithStyle, UITableViewCellStyleValue1, nullptr);
    value->textLabel()->setText(NS("City"));
    value->detailTextLabel()->setText(NS("State"));
    value->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
    value->layoutSubviews();
    // The accessory narrows the content; the detail sits right of the text.
    EXPECT_LT(value->contentView()->frame().size.width, 320);
    EXPECT_GT(value->detailTextLabel()->frame().origin.x, value->textLabel()->frame().origin.x);
    value->setSelected(true);
    EXPECT_TRUE(value->textLabel()->isHighlighted());
    value->prepareForReuse();
    EXPECT_FALSE(value->isSelected());
}

}  // namespace
