#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/UITextInputTraits.h"
#include "UIKit/UIWindow.h"
#include "support/RunLoopTesting.h"
#include "ui/core/UIColor+DZCategory.h"
#include "ui/table/DZTableViewDataSource.h"
#include "ui/table/DZTextEditor.h"
#include "ui/table/TableTesting.h"

namespace {

// Writes down what the editor tells it; may refuse resizing or return.
class EditorRecorder : public NSObject, public DZTextEditorDelegate {
    NS_OBJECT(EditorRecorder, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements(
            {"textEditorDidBeginEditing:", "textEditorDidEndEditing:", "textEditorDidChange:",
             "textEditor:shouldResizeBy:", "textEditorShouldReturn:"});
    }

public:
    void textEditorDidBeginEditing(DZTextEditor*) override { events.push_back("begin"); }
    void textEditorDidEndEditing(DZTextEditor*) override { events.push_back("end"); }
    void textEditorDidChange(DZTextEditor*) override { events.push_back("change"); }
    bool textEditorShouldResizeBy(DZTextEditor*, CGFloat delta) override {
        resizes.push_back(delta);
        return allowResize;
    }
    bool textEditorShouldReturn(DZTextEditor*) override { return allowReturn; }
    std::vector<std::string> events;
    std::vector<CGFloat> resizes;
    bool allowResize = true, allowReturn = true;
};

class DZTextEditors : public ::testing::Test {
protected:
    void SetUp() override {
        window = testWindow();
        editor = make<DZTextEditor>(&DZTextEditor::initWithFrame, CGRectMake(0, 0, 231, 40));
        editor->setFont(UIFont::systemFontOfSize(19).get());  // a 20-point line
        window->addSubview(editor.get());
        recorder = make<EditorRecorder>();
        editor->setDelegate(recorder.get());
    }
    void TearDown() override {
        editor->resignFirstResponder();
        editor->removeFromSuperview();
    }
    // Text of n full lines at the editor's wrap width (200 points: 21 characters of 9.5).
    static Ref<NSString> lines(int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += (i ? " " : "") + std::string(20, 'w');
        return NSString::stringWithUTF8String(s.c_str());
    }

    // The measured height of n lines of text in the editor's font (its line is 20 points, the
    // measure of a text line 23).
    CGFloat text(int n) {
        return static_cast<CGFloat>(n) * sizeWithFont(NS("M"), editor->font().get()).height;
    }

    ManualClockScope clock;
    Ref<UIWindow> window;
    Ref<DZTextEditor> editor;
    Ref<EditorRecorder> recorder;
};

}  // namespace

TEST_F(DZTextEditors, HeightsCountLinesBeforeTheClamp) {
    ASSERT_EQ(dzLineHeight(editor->font().get()), 20);
    editor->setAutoresizesToText(false);
    NSInteger count = 0;
    bool overflow = true;
    ASSERT_EQ(text(1), 23);
    EXPECT_EQ(editor->heightThatFits(&overflow, &count), text(1) + 18);  // "M"
    EXPECT_EQ(count, 1);
    EXPECT_FALSE(overflow);
    editor->setText(NS("one\n"));
    EXPECT_EQ(editor->heightThatFits(nullptr, &count), text(1) + 20 + 18);
    EXPECT_EQ(count, 2);
    editor->setShowsExtraLine(true);
    EXPECT_EQ(editor->heightThatFits(nullptr, &count), text(1) + 40 + 18);
    EXPECT_EQ(count, 3);
    editor->setShowsExtraLine(false);
    editor->setMaxNumberOfLines(3);
    editor->setText(lines(5).get());
    EXPECT_EQ(editor->heightThatFits(&overflow, &count), 60 + 18);
    EXPECT_EQ(count, 5);
    EXPECT_TRUE(overflow);
    editor->setMinNumberOfLines(2);
    editor->setText(NS(""));
    EXPECT_EQ(editor->heightThatFits(nullptr, nullptr), 40 + 18);
    EXPECT_EQ(editor->sizeThatFits(CGSizeMake(99, 0)).width, 99);
}

TEST_F(DZTextEditors, GrowsIntoATextViewAndBackWithoutEndingEditing) {
    ASSERT_TRUE(editor->becomeFirstResponder());
    EXPECT_EQ(recorder->events, std::vector<std::string>{"begin"});
    EXPECT_TRUE(editor->editing());
    std::vector<std::string> keyboard;
    auto center = NSNotificationCenter::defaultCenter();
    auto hide = center->addObserverForName(UIKeyboardWillHideNotification, nullptr,
                                           [&](NSNotification*) { keyboard.push_back("hide"); });

    editor->setText(lines(2).get());
    ASSERT_TRUE(editor->textField()->isHidden());
    ASSERT_TRUE(editor->textView());
    EXPECT_FALSE(editor->textView()->isHidden());
    EXPECT_TRUE(editor->textView()->isFirstResponder());
    EXPECT_EQ(editor->activeTextField(), editor->textView());
    EXPECT_EQ(editor->frame().size.height, text(2) + 18);  // grew to two lines
    EXPECT_EQ(recorder->resizes, std::vector<CGFloat>{text(2) + 18 - 40});
    advanceRunLoop(0);
    EXPECT_FALSE(editor->internal()->ignoreBeginAndEnd());

    editor->setText(NS("short"));
    EXPECT_FALSE(editor->textField()->isHidden());
    EXPECT_TRUE(editor->textField()->isFirstResponder());
    EXPECT_EQ(editor->frame().size.height, text(1) + 18);
    advanceRunLoop(0);
    // The delegate saw one begin and nothing else; the keyboard never went down.
    EXPECT_EQ(recorder->events, std::vector<std::string>{"begin"});
    EXPECT_TRUE(keyboard.empty());
    EXPECT_TRUE(UIKeyboard::isVisible());
    center->removeObserver(hide.get());
}

TEST_F(DZTextEditors, AVetoKeepsTheHeightAndAZeroHeightNeverResizes) {
    recorder->allowResize = false;
    editor->setText(lines(3).get());
    EXPECT_EQ(editor->frame().size.height, 40);
    EXPECT_EQ(recorder->resizes.size(), 1u);
    EXPECT_FALSE(editor->textField()->isHidden() && editor->textView()->isHidden());
    EXPECT_TRUE(editor->textField()->isHidden());  // the controls still swap

    auto flat = make<DZTextEditor>(&DZTextEditor::initWithFrame, CGRectMake(0, 0, 231, 0));
    auto other = make<EditorRecorder>();
    flat->setDelegate(other.get());
    flat->setText(lines(4).get());
    EXPECT_EQ(flat->frame().size.height, 0);
    EXPECT_TRUE(other->resizes.empty());
}

TEST_F(DZTextEditors, ReturnInTheFieldStartsASecondLine) {
    ASSERT_TRUE(editor->becomeFirstResponder());
    editor->textField()->insertText(NS("Hi"));
    advanceRunLoop(0);  // the field's change is handled after it applied it
    editor->textField()->insertText(NS("\n"));
    EXPECT_EQ(editor->text()->utf8(), "Hi\n");
    EXPECT_TRUE(editor->textView()->isFirstResponder());
    EXPECT_EQ(editor->frame().size.height, text(1) + 20 + 18);
    advanceRunLoop(0);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"begin", "change", "change"}));
    // Typing goes on in the text view; backspacing the line feed goes back to the field.
    editor->textView()->insertText(NS("!"));
    EXPECT_EQ(editor->text()->utf8(), "Hi\n!");
    editor->textView()->deleteBackward();
    editor->textView()->deleteBackward();
    EXPECT_FALSE(editor->textField()->isHidden());
    EXPECT_EQ(editor->text()->utf8(), "Hi");
    // A delegate that refuses return keeps one line.
    recorder->allowReturn = false;
    editor->textField()->insertText(NS("\n"));
    EXPECT_FALSE(editor->textField()->isHidden());
    EXPECT_EQ(editor->text()->utf8(), "Hi");
}

TEST_F(DZTextEditors, TraitsReachTheTextViewOnceAndItKeepsTheLastLineInView) {
    editor->setKeyboardType(UIKeyboardTypeEmailAddress);
    editor->setPlaceholder(NS("Message"));
    editor->setText(lines(2).get());
    ASSERT_TRUE(editor->textView());
    EXPECT_EQ(editor->textView()->keyboardType(), UIKeyboardTypeEmailAddress);
    editor->setKeyboardType(UIKeyboardTypeNumberPad);
    EXPECT_EQ(editor->textView()->keyboardType(), UIKeyboardTypeEmailAddress);
    EXPECT_EQ(editor->textField()->keyboardType(), UIKeyboardTypeNumberPad);
    EXPECT_EQ(editor->placeholder()->utf8(), "Message");

    auto view = editor->textView();
    view->setContentOffset(CGPointMake(5, 30), false);
    EXPECT_EQ(view->contentOffset().y, 0);  // not overflowed: stays at the top
    editor->setMaxNumberOfLines(2);
    editor->setText(lines(6).get());
    ASSERT_TRUE(view->overflowed());
    EXPECT_TRUE(view->isScrollEnabled());
    view->setContentOffset(CGPointMake(5, 0), false);
    EXPECT_EQ(view->contentOffset().x, 5);
    EXPECT_EQ(view->contentOffset().y, view->contentSize().height - view->bounds().size.height);
}

TEST_F(DZTextEditors, AnEditorRowGrowsWhileTyping) {
    editor->removeFromSuperview();
    auto controller = make<DZTableViewController>();
    controller->setVariableHeightRows(true);
    controller->view()->setFrame(window->bounds());
    window->addSubview(controller->view().get());
    auto row = make<DZTextEditor>(&DZTextEditor::initWithFrame, CGRectMake(0, 0, 300, 44));
    controller->setDataSource(DZListDataSource::dataSourceWithObjects({row.get()}).get());
    controller->viewWillAppear(false);
    controller->viewDidAppear(false);
    controller->tableView()->layoutIfNeeded();
    ASSERT_TRUE(row->becomeFirstResponder());
    for (char c : std::string("One line of text that runs over the width")) {
        row->textField()->insertText(NSString::stringWithUTF8String(std::string(1, c).c_str()));
    }
    advanceRunLoop(0);
    controller->tableView()->layoutIfNeeded();
    row->textField()->insertText(NS("\n"));
    advanceRunLoop(0);
    controller->tableView()->layoutIfNeeded();
    EXPECT_TRUE(row->textField()->isHidden());
    EXPECT_EQ(row->text()->utf8(), "One line of text that runs over the width\n");
    controller->view()->removeFromSuperview();
}
