#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UITableViewCell.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWindow.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/RunLoopTesting.h"
#include "ui/core/DZGeometry.h"
#include "ui/style/DZButton.h"
#include "ui/table/DZSearchBar.h"
#include "ui/table/DZSearchTextField.h"
#include "ui/table/DZTableItem.h"
#include "ui/table/DZTableView.h"
#include "ui/table/DZTableViewDataSource.h"
#include "ui/table/TableTesting.h"

namespace {

// Answers every search with the names that contain the text; writes the searches down.
class NameSource : public DZListDataSource {
    NS_OBJECT(NameSource, DZListDataSource)
    static void describeClass(RuntimeClass& c) { c.implements({"numberOfSectionsInTableView:"}); }

public:
    void search(NSString* text) override {
        searches.push_back(text ? text->UTF8String() : "(nil)");
        auto items = NSMutableArray::array();
        std::string needle = text ? text->UTF8String() : "";
        for (const char* name : {"Anna", "Annette", "Bob", "Hannah"})
            if (!needle.empty() && std::string(name).find(needle) != std::string::npos)
                items->addObject(DZTableTextItem::itemWithText(
                                     NSString::stringWithUTF8String(name).get(), NS("tt://name"))
                                     .get());
        setItems(items.get());
        didFinishLoad();
    }
    NSInteger numberOfSectionsInTableView(UITableView*) override { return sections; }
    void tableViewDidLoadModel(UITableView*) override { ++loads; }
    Ref<NSMutableArray> delegates() override { return DZModel::delegates(); }
    std::vector<std::string> searches;
    NSInteger sections = 1;
    int loads = 0;
};

class FieldDelegate : public NSObject, public DZSearchTextFieldDelegate {
    NS_OBJECT(FieldDelegate, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"textField:didSelectObject:", "textFieldShouldReturn:"});
    }

public:
    void textFieldDidSelectObject(DZSearchTextField*, NSObject* object) override {
        selected.push_back(object);
    }
    bool textFieldShouldReturn(UITextField*) override {
        ++returns;
        return allowReturn;
    }
    std::vector<Ref<NSObject>> selected;
    int returns = 0;
    bool allowReturn = true;
};

class DZSearchTextFields : public ::testing::Test {
protected:
    void SetUp() override {
        window = testWindow();
        host = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 64, 320, 416));
        window->addSubview(host.get());
        field =
            make<DZSearchTextField>(&DZSearchTextField::initWithFrame, CGRectMake(10, 20, 300, 31));
        host->addSubview(field.get());
        source = make<NameSource>();
        field->setDataSource(source.get());
        recorder = make<FieldDelegate>();
        field->setDelegate(recorder.get());
    }
    void TearDown() override {
        field->resignFirstResponder();
        host->removeFromSuperview();
    }
    void type(const char* text) { field->insertText(NSString::stringWithUTF8String(text).get()); }

    ManualClockScope clock;
    Ref<UIWindow> window;
    Ref<UIView> host;
    Ref<DZSearchTextField> field;
    Ref<NameSource> source;
    Ref<FieldDelegate> recorder;
};

TEST_F(DZSearchTextFields, EditsWithinOnePassGiveOneTrimmedSearchAfterTheEdit) {
    ASSERT_TRUE(field->becomeFirstResponder());
    type("A");
    type("n");
    type("n ");
    EXPECT_TRUE(source->searches.empty());
    advanceRunLoop(0.001);
    ASSERT_EQ(source->searches, (std::vector<std::string>{"Ann"}));
    // The public delegate sits in the forwarder, not in the platform field's own slot.
    EXPECT_EQ(field->delegate().get(), static_cast<UITextFieldDelegate*>(recorder.get()));
    EXPECT_EQ(field->UITextField::delegate().get(),
              static_cast<UITextFieldDelegate*>(field->UITextField::delegate().get()));
    EXPECT_NE(field->UITextField::delegate().get(),
              static_cast<UITextFieldDelegate*>(recorder.get()));

    // Blanks only: the raw text is not empty, so the trimmed empty string is searched.
    field->UITextField::setText(NS(""));
    type("  ");
    advanceRunLoop(0.001);
    EXPECT_EQ(source->searches.back(), "");
    // Deleting down to nothing searches nothing.
    field->deleteBackward();
    field->deleteBackward();
    advanceRunLoop(0.001);
    EXPECT_EQ(source->searches.size(), 2u);
}

TEST_F(DZSearchTextFields, ManualModeSearchesOnReturnAndReloadsOnAStartingLoad) {
    field->setSearchesAutomatically(false);
    EXPECT_EQ(field->returnKeyType(), UIReturnKeySearch);
    EXPECT_TRUE(field->enablesReturnKeyAutomatically());
    ASSERT_TRUE(field->becomeFirstResponder());
    type("Bo");
    advanceRunLoop(0.001);
    EXPECT_TRUE(source->searches.empty());
    type("\n");
    EXPECT_EQ(source->searches, (std::vector<std::string>{"Bo"}));
    EXPECT_TRUE(field->isEditing());
    EXPECT_EQ(recorder->returns, 1);

    int loads = source->loads;
    source->didStartLoad();
    EXPECT_EQ(source->loads, loads + 1);
    field->setSearchesAutomatically(true);
    source->didStartLoad();
    EXPECT_EQ(source->loads, loads + 1);
    // Automatic: return ends editing and empties the field; a refusing delegate stops both.
    recorder->allowReturn = false;
    type("\n");
    EXPECT_TRUE(field->isEditing());
    recorder->allowReturn = true;
    type("\n");
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(field->text()->length(), 0u);
}

TEST_F(DZSearchTextFields, ResultsLieUnderTheFieldDownToTheKeyboardUnderAShadow) {
    ASSERT_TRUE(field->becomeFirstResponder());
    type("nn");
    advanceRunLoop(0.001);
    auto table = field->tableView();
    ASSERT_EQ(table->superview().get(), host.get());  // 416 high: over 150
    // y: field top 20 + height 31 - 1; height: window 480 - (screen y 84 + 31 + 216) + 1.
    CGRect r = table->frame();
    EXPECT_FLOAT_EQ(r.origin.x, 0);
    EXPECT_FLOAT_EQ(r.origin.y, 50);
    EXPECT_FLOAT_EQ(r.size.width, 320);
    EXPECT_FLOAT_EQ(r.size.height, 150);
    ASSERT_TRUE(field->shadowView());
    EXPECT_EQ(field->shadowView()->superview().get(), host.get());
    EXPECT_FLOAT_EQ(field->shadowView()->frame().origin.y, 49);
    EXPECT_FLOAT_EQ(field->shadowView()->frame().size.height, 24);
    EXPECT_EQ(table->numberOfRowsInSection(0), 3);

    // Zero sections hide the results even with rows.
    source->sections = 0;
    source->didFinishLoad();
    EXPECT_FALSE(table->superview());
    EXPECT_FALSE(field->shadowView()->superview());
    source->sections = 1;

    // Without separators the shadow stays away.
    table->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
    source->didFinishLoad();
    EXPECT_TRUE(table->superview());
    EXPECT_FALSE(field->shadowView()->superview());

    // Ending editing takes the results away.
    field->resignFirstResponder();
    EXPECT_FALSE(table->superview());
}

TEST_F(DZSearchTextFields, ResultsGoToTheScrollViewElseTheFieldsOwnSuperview) {
    auto small = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 100));
    auto inner = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 10, 320, 60));
    window->addSubview(small.get());
    small->addSubview(inner.get());
    auto lone =
        make<DZSearchTextField>(&DZSearchTextField::initWithFrame, CGRectMake(0, 5, 320, 31));
    inner->addSubview(lone.get());
    EXPECT_EQ(lone->superviewForSearchResults().get(), window.get());  // the window is 480 high
    small->removeFromSuperview();
    auto shortWindow = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 120));
    shortWindow->addSubview(small.get());
    EXPECT_EQ(lone->superviewForSearchResults().get(), inner.get());

    auto scroll = make<UIScrollView>(&UIScrollView::initWithFrame, CGRectMake(0, 0, 320, 100));
    inner->addSubview(scroll.get());
    scroll->addSubview(lone.get());
    EXPECT_EQ(lone->superviewForSearchResults().get(), scroll.get());
    small->removeFromSuperview();
}

TEST_F(DZSearchTextFields, SelectionsReachTheDelegateUnlessTheRowCannotBeSelected) {
    ASSERT_TRUE(field->becomeFirstResponder());
    type("Ann");
    advanceRunLoop(0.001);
    auto table = field->tableView();
    table->layoutIfNeeded();
    auto first = NSIndexPath::indexPathForRow(0, 0);
    field->tableViewDidSelectRowAtIndexPath(table.get(), first.get());
    ASSERT_EQ(recorder->selected.size(), 1u);
    EXPECT_EQ(cast<DZTableTextItem>(recorder->selected[0])->text()->UTF8String(),
              std::string("Anna"));
    auto cell = table->cellForRowAtIndexPath(first.get());
    ASSERT_TRUE(cell);
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    field->tableViewDidSelectRowAtIndexPath(table.get(), first.get());
    EXPECT_EQ(recorder->selected.size(), 1u);
}

TEST_F(DZSearchTextFields, TheDarkScreenFadesInAndATapOnItEndsEditing) {
    field->setShowsDarkScreen(true);
    ASSERT_TRUE(field->becomeFirstResponder());
    auto screen = field->screenView();
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->superview().get(), host.get());
    EXPECT_FLOAT_EQ(screen->alpha(), 1);
    // The area under the field down to the window's bottom.
    EXPECT_FLOAT_EQ(screen->frame().origin.y, 50);
    EXPECT_FLOAT_EQ(screen->frame().size.height, 480 - (84 + 31) + 1);
    // The screen darkens what lies under the field: white goes to 0.2 of itself.
    host->setBackgroundColor(UIColor::whiteColor().get());
    auto image = UIViewRenderImage(host.get(), 1);
    EXPECT_TRUE(near(pixelAt(image.get(), 160, 10), kWhite));
    EXPECT_TRUE(near(pixelAt(image.get(), 160, 300), RGBA{51, 51, 51, 255}, 3));
    type("x");
    screen->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(field->text()->length(), 0u);
    EXPECT_FLOAT_EQ(screen->alpha(), 0);
    EXPECT_TRUE(screen->superview());  // until the fade is over
    advanceRunLoop(0.31);
    EXPECT_FALSE(screen->superview());
}

TEST_F(DZSearchTextFields, WithoutADataSourceItIsAPlainField) {
    field->setDataSource(nullptr);
    field->setShowsDarkScreen(true);
    ASSERT_TRUE(field->becomeFirstResponder());
    type("Ann");
    advanceRunLoop(0.001);
    EXPECT_TRUE(source->searches.empty());
    EXPECT_FALSE(field->screenView());
    field->doneAction();
    EXPECT_FALSE(field->isEditing());
    EXPECT_STREQ(field->text()->UTF8String(), "Ann");
    // The source no longer hears of its model's loads through the field.
    EXPECT_FALSE(source->delegates()->containsObject(field.get()));
}

// A delegate that rewrites the text while it is asked about an edit.
class RewritingDelegate : public NSObject, public UITextFieldDelegate {
    NS_OBJECT(RewritingDelegate, NSObject)

public:
    bool textFieldShouldChangeCharactersInRangeReplacementString(UITextField* f, NSRange,
                                                                 NSString*) override {
        f->setText(NS("ab"));
        return true;
    }
};

TEST(UITextFieldEdits, AnEditAppliesToTheTextTheDelegateLeftAndBackspaceReachesHiddenText) {
    ManualClockScope clock;
    auto window = testWindow();
    auto f = make<UITextField>(&UITextField::initWithFrame, CGRectMake(0, 0, 200, 30));
    window->addSubview(f.get());
    ASSERT_TRUE(f->becomeFirstResponder());
    f->setText(NS("abcdef"));
    auto rewriter = make<RewritingDelegate>();
    f->setDelegate(rewriter.get());
    f->deleteBackward();  // range (5, 1) clamps to the end of "ab"
    EXPECT_STREQ(f->text()->UTF8String(), "ab");
    f->insertText(NS("c"));
    EXPECT_STREQ(f->text()->UTF8String(), "abc");
    f->setDelegate(nullptr);
    f->resignFirstResponder();
    f->removeFromSuperview();
}

TEST(DZSearchBars, HeightFollowsTheFontAndTheBoxLeavesRoomForCancel) {
    ManualClockScope clock;
    auto bar = make<DZSearchBar>(&DZSearchBar::initWithFrame, CGRectMake(0, 0, 320, 44));
    bar->setFont(UIFont::systemFontOfSize(13).get());  // a 14-point line
    EXPECT_FLOAT_EQ(bar->sizeThatFits(CGSizeMake(320, 0)).height, 44);
    bar->setFont(UIFont::systemFontOfSize(29).get());  // a 30-point line
    EXPECT_FLOAT_EQ(bar->sizeThatFits(CGSizeMake(320, 0)).height, 50);
    EXPECT_FLOAT_EQ(bar->sizeThatFits(CGSizeMake(200, 0)).width, 200);

    bar->setFont(UIFont::systemFontOfSize(13).get());
    bar->layoutIfNeeded();
    // No enclosing table: no index room. Box 22 high, centred.
    EXPECT_FLOAT_EQ(bar->indexViewWidth(), 0);
    CGRect box = bar->boxView()->frame();
    EXPECT_FLOAT_EQ(box.origin.x, 5);
    EXPECT_FLOAT_EQ(box.origin.y, 11);
    EXPECT_FLOAT_EQ(box.size.width, 310);
    EXPECT_FLOAT_EQ(box.size.height, 22);
    EXPECT_TRUE(bar->searchField()->leftView());
    EXPECT_FLOAT_EQ(bar->searchField()->frame().origin.x, 15);
    EXPECT_FLOAT_EQ(bar->searchField()->frame().size.width, 300);

    bar->setShowsSearchIcon(false);
    bar->setShowsCancelButton(true);
    bar->layoutIfNeeded();
    auto cancel = bar->cancelButton();
    ASSERT_TRUE(cancel);
    CGFloat b = width(cancel.get()) + 12;
    EXPECT_FALSE(bar->searchField()->leftView());
    EXPECT_FLOAT_EQ(bar->searchField()->frame().origin.x, 19);
    EXPECT_FLOAT_EQ(bar->boxView()->frame().size.width, 310 - b);
    EXPECT_FLOAT_EQ(cancel->frame().origin.x, right(bar->boxView().get()) + 12);
    EXPECT_FLOAT_EQ(cancel->frame().origin.y, 7);
    EXPECT_FLOAT_EQ(cancel->frame().size.height, 30);
    bar->showIndexView(true);  // nothing to move
    EXPECT_FLOAT_EQ(bar->boxView()->frame().size.width, 310 - b);

    // Cancel ends editing.
    auto window = testWindow();
    window->addSubview(bar.get());
    ASSERT_TRUE(bar->becomeFirstResponder());
    EXPECT_TRUE(bar->isEditing());
    cancel->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_FALSE(bar->isEditing());
    bar->setShowsCancelButton(false);
    EXPECT_FALSE(bar->cancelButton());
    bar->removeFromSuperview();
}

}  // namespace
