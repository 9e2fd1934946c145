#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIWindow.h"
#include "support/RunLoopTesting.h"
#include "ui/core/DZGeometry.h"
#include "ui/table/DZPickerTextField.h"
#include "ui/table/DZTableView.h"
#include "ui/table/DZTableViewDataSource.h"
#include "ui/table/TableTesting.h"

namespace {

// Offers every name that starts with the text.
class Names : public DZListDataSource {
    NS_OBJECT(Names, DZListDataSource)

public:
    void search(NSString* text) override {
        searches.push_back(text ? text->UTF8String() : "(nil)");
        auto items = NSMutableArray::array();
        for (const char* name : {"Anna", "Bob", "Bobby"})
            if (text && text->length() && std::string(name).rfind(text->UTF8String(), 0) == 0)
                items->addObject(NSString::stringWithUTF8String(name).get());
        setItems(items.get());
        didFinishLoad();
    }
    Ref<NSMutableArray> delegates() override { return DZModel::delegates(); }
    std::vector<std::string> searches;
};

class PickerRecorder : public NSObject, public DZPickerTextFieldDelegate {
    NS_OBJECT(PickerRecorder, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"textField:didAddCellAtIndex:", "textField:didRemoveCellAtIndex:",
                      "textFieldDidResize:", "textField:didSelectObject:"});
    }

public:
    void textFieldDidAddCellAtIndex(DZPickerTextField*, NSInteger i) override {
        events.push_back("add " + std::to_string(i));
    }
    void textFieldDidRemoveCellAtIndex(DZPickerTextField*, NSInteger i) override {
        events.push_back("remove " + std::to_string(i));
    }
    void textFieldDidResize(DZPickerTextField* f) override {
        events.push_back("resize " + std::to_string(static_cast<int>(height(f))));
    }
    void textFieldDidSelectObject(DZSearchTextField*, NSObject*) override {
        events.push_back("selected");
    }
    std::vector<std::string> events;
};

class DZPickerTextFields : public ::testing::Test {
protected:
    void SetUp() override {
        window = testWindow();
        field =
            make<DZPickerTextField>(&DZPickerTextField::initWithFrame, CGRectMake(0, 0, 320, 30));
        field->setFont(UIFont::systemFontOfSize(13).get());  // a 14-point line, margin 8
        window->addSubview(field.get());
        source = make<Names>();
        field->setDataSource(source.get());
        recorder = make<PickerRecorder>();
        field->setDelegate(recorder.get());
    }
    void TearDown() override {
        field->resignFirstResponder();
        field->removeFromSuperview();
    }
    Ref<DZPickerViewCell> cell(NSUInteger i) {
        return cast<DZPickerViewCell>(field->cellViews()->objectAtIndex(i));
    }
    std::string text() { return field->text()->UTF8String(); }

    ManualClockScope clock;
    Ref<UIWindow> window;
    Ref<DZPickerTextField> field;
    Ref<Names> source;
    Ref<PickerRecorder> recorder;
};

TEST_F(DZPickerTextFields, BackspaceSelectsTheLastCellThenDeletesIt) {
    EXPECT_EQ(field->cells()->count(), 0u);
    EXPECT_EQ(text(), " ");
    EXPECT_FALSE(field->hasText());
    ASSERT_TRUE(field->becomeFirstResponder());
    // Without cells backspace takes the blank away and nothing else.
    field->deleteBackward();
    EXPECT_EQ(field->cells()->count(), 0u);

    field->addCellWithObject(NS("Anna"));
    field->addCellWithObject(NS("Bob"));
    field->addCellWithObject(NS("Carl"));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"add 0", "add 1", "add 2"}));
    EXPECT_EQ(text(), " ");
    field->deleteBackward();
    EXPECT_EQ(field->selectedCell().get(), cell(2).get());
    EXPECT_TRUE(cell(2)->selected());
    EXPECT_EQ(text(), "`");
    EXPECT_FALSE(field->hasText());
    // The caret hides while a cell is selected.
    EXPECT_FLOAT_EQ(field->textRectForBounds(field->bounds()).origin.x, -10);
    EXPECT_EQ(field->cells()->count(), 3u);

    field->deleteBackward();
    ASSERT_EQ(field->cells()->count(), 2u);
    EXPECT_FALSE(field->selectedCell());
    EXPECT_EQ(text(), " ");
    EXPECT_EQ(recorder->events.back(), "remove 2");
    EXPECT_GT(field->textRectForBounds(field->bounds()).origin.x, 0);
}

TEST_F(DZPickerTextFields, TypingOverASelectionRemovesItAndKeepsTheCharacter) {
    ASSERT_TRUE(field->becomeFirstResponder());
    field->addCellWithObject(NS("Anna"));
    field->addCellWithObject(NS("Bob"));
    field->deleteBackward();
    ASSERT_TRUE(field->selectedCell());
    field->insertText(NS("B"));
    EXPECT_EQ(field->cells()->count(), 1u);
    EXPECT_FALSE(field->selectedCell());
    EXPECT_TRUE(field->hasText());
    EXPECT_STREQ(field->searchText()->UTF8String(), "B");
    advanceRunLoop(0.001);
    EXPECT_EQ(source->searches.back(), "B");

    // The last cell selected and typed over: the field is empty, the character stays.
    field->UITextField::setText(NS(""));
    field->setSelectedCell(cell(0).get());
    field->insertText(NS("x"));
    EXPECT_EQ(field->cells()->count(), 0u);
    EXPECT_EQ(text(), "x");
}

TEST_F(DZPickerTextFields, ATappedResultBecomesACellNotAReport) {
    ASSERT_TRUE(field->becomeFirstResponder());
    field->insertText(NS("Bo"));
    advanceRunLoop(0.001);
    auto table = field->tableView();
    ASSERT_TRUE(table->superview());
    ASSERT_EQ(table->numberOfRowsInSection(0), 2);
    field->tableViewDidSelectRowAtIndexPath(table.get(), NSIndexPath::indexPathForRow(1, 0).get());
    ASSERT_EQ(field->cells()->count(), 1u);
    EXPECT_STREQ(cast<NSString>(field->cells()->objectAtIndex(0))->UTF8String(), "Bobby");
    EXPECT_STREQ(cell(0)->label()->UTF8String(), "Bobby");
    EXPECT_EQ(text(), " ");
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"add 0"}));
}

TEST_F(DZPickerTextFields, CellsStartAfterTheLeftViewAndWrapBeforeTheRightEdge) {
    auto left = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 40, 20));
    field->setLeftView(left.get());
    // "Anna": 4 letters of 6.5 points + 16 = 42 wide, 16 + 6 = 22 high.
    field->addCellWithObject(NS("Anna"));
    CGRect first = cell(0)->frame();
    EXPECT_FLOAT_EQ(first.origin.x, 52);
    EXPECT_FLOAT_EQ(first.origin.y, 8 - 3);
    EXPECT_FLOAT_EQ(first.size.width, 42);
    EXPECT_FLOAT_EQ(first.size.height, 22);
    EXPECT_EQ(field->lineCount(), 1);
    EXPECT_FLOAT_EQ(field->leftViewRectForBounds(field->bounds()).origin.x, 8);

    // Cells of 42: x 52, 102, 152, 202, 252; the fifth would end at 294 + 8 = 302 < 320 and
    // stays; then fewer than 50 points remain and the cursor takes a new line.
    for (int i = 0; i < 4; ++i)
        field->addCellWithObject(NS("Anna"));
    EXPECT_FLOAT_EQ(cell(4)->frame().origin.x, 252);
    EXPECT_FLOAT_EQ(cell(4)->frame().origin.y, 5);
    EXPECT_EQ(field->lineCount(), 2);
    EXPECT_FLOAT_EQ(field->cursorOrigin().x, 52);
    EXPECT_FLOAT_EQ(field->cursorOrigin().y, 8 + 26);
    // Line 2 of a 14-point line: 8 + 14 + 12 + 14 + 8 high.
    EXPECT_FLOAT_EQ(height(field.get()), 56);
    EXPECT_FLOAT_EQ(field->heightWithLines(2), 56);
    EXPECT_FLOAT_EQ(field->sizeThatFits(CGSizeMake(320, 0)).height, 56);
    EXPECT_FLOAT_EQ(field->topOfLine(1), 8 + 26 - 12);
    EXPECT_NE(std::find(recorder->events.begin(), recorder->events.end(), "resize 56"),
              recorder->events.end());

    // A sixth cell starts the second line at x0.
    field->addCellWithObject(NS("Anna"));
    EXPECT_FLOAT_EQ(cell(5)->frame().origin.x, 52);
    EXPECT_FLOAT_EQ(cell(5)->frame().origin.y, 8 + 26 - 3);

    // A cell that would end exactly at width - 8 wraps.
    auto exact = make<DZPickerTextField>(&DZPickerTextField::initWithFrame,
                                         CGRectMake(0, 0, 8 + 42 + 8 + 42 + 8, 30));
    exact->setFont(UIFont::systemFontOfSize(13).get());
    exact->setDataSource(source.get());
    exact->addCellWithObject(NS("Anna"));
    exact->addCellWithObject(NS("Anna"));
    EXPECT_FLOAT_EQ(cast<DZPickerViewCell>(exact->cellViews()->objectAtIndex(1))->frame().origin.x,
                    8);
}

TEST_F(DZPickerTextFields, LongLabelsAreCutAt250AndSelectionGoesWithTheRemovedCell) {
    std::string longName(60, 'w');  // 390 points of text
    field->addCellWithObject(NSString::stringWithUTF8String(longName.c_str()).get());
    EXPECT_FLOAT_EQ(cell(0)->frame().size.width, 250);
    cell(0)->layoutIfNeeded();
    EXPECT_FLOAT_EQ(cell(0)->labelView()->frame().size.width, 234);
    EXPECT_EQ(cell(0)->labelView()->lineBreakMode(), UILineBreakModeTailTruncation);
    field->removeAllCells();
    EXPECT_EQ(field->cells()->count(), 0u);

    // Two cells of one object: removing the selected one removes that very cell.
    auto shared = NS("Bob");
    field->addCellWithObject(shared);
    field->addCellWithObject(shared);
    auto second = cell(1);
    field->setSelectedCell(second.get());
    field->removeSelectedCell();
    ASSERT_EQ(field->cells()->count(), 1u);
    EXPECT_NE(cell(0).get(), second.get());
    EXPECT_FALSE(second->superview());
    EXPECT_FALSE(second->selected());

    // Removing the selected cell by its object clears the selection too.
    field->setSelectedCell(cell(0).get());
    field->removeCellWithObject(shared);
    EXPECT_EQ(field->cells()->count(), 0u);
    EXPECT_FALSE(field->selectedCell());
}

}  // namespace
