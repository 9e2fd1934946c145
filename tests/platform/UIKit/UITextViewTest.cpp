#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSString.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIFont.h"
#include "UIKit/UITextView.h"
#include "UIKit/UIWindow.h"

namespace {
class ViewDelegate : public NSObject, public UITextViewDelegate {
    NS_OBJECT(ViewDelegate, NSObject)
    std::vector<std::string> log;
    bool refuseNewlines = false;
    bool textViewShouldChangeTextInRangeReplacementText(UITextView*, NSRange r,
                                                        NSString* s) override {
        log.push_back("change@" + std::to_string(r.location) + "+" + std::to_string(r.length) +
                      " '" + s->utf8() + "'");
        return !(refuseNewlines && s->utf8() == "\n");
    }
    void textViewDidChange(UITextView* v) override { log.push_back("did " + v->text()->utf8()); }
    void textViewDidBeginEditing(UITextView*) override { log.push_back("begin"); }
    void textViewDidEndEditing(UITextView*) override { log.push_back("end"); }
    void scrollViewDidScroll(UIScrollView* s) override {
        log.push_back("scroll " + std::to_string(static_cast<int>(s->contentOffset().y)));
    }
};

struct TextScreen {
    Ref<UIWindow> window = make<UIWindow>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    Ref<UITextView> view = make<UITextView>(&UIView::initWithFrame, CGRectMake(0, 0, 116, 56));
    Ref<ViewDelegate> delegate = make<ViewDelegate>();
    TextScreen() {
        window->makeKeyAndVisible();
        window->addSubview(view);
        view->setFont(UIFont::systemFontOfSize(10));  // 5 points a letter, lines 12 high
        view->setDelegate(delegate);
    }
    ~TextScreen() { window->endEditing(true); }
};
}  // namespace

TEST(UITextView, TypingReplacesTheSelectionThroughTheDelegate) {
    TextScreen s;
    s.view->setText(NS("hello world"));
    s.view->insertText(NS("x"));  // not editing yet
    EXPECT_EQ(s.view->text()->utf8(), "hello world");
    ASSERT_TRUE(s.view->becomeFirstResponder());
    s.view->setSelectedRange(NSMakeRange(6, 5));
    s.view->insertText(NS("there"));
    s.delegate->refuseNewlines = true;
    s.view->insertText(NS("\n"));
    s.view->deleteBackward();
    EXPECT_EQ(s.view->text()->utf8(), "hello ther");
    EXPECT_EQ(s.delegate->log,
              (std::vector<std::string>{"begin", "change@6+5 'there'", "did hello there",
                                        "change@11+0 '\n'", "change@10+1 ''", "did hello ther"}));
    // A selection past the end is pulled back inside the text.
    s.view->setSelectedRange(NSMakeRange(40, 3));
    EXPECT_EQ(s.view->selectedRange(), NSMakeRange(10, 0));
}

TEST(UITextView, ContentGrowsWithTheLinesAndScrollsToARange) {
    TextScreen s;
    // 100 points of text width hold 20 letters; each word here is 9 letters and a space.
    s.view->setText(NS("aaaaaaaaa bbbbbbbbb ccccccccc ddddddddd eeeeeeeee fffffffff"));
    EXPECT_EQ(s.view->lines().size(), 3u);
    EXPECT_FLOAT_EQ(s.view->contentSize().height, 3 * 12 + 16);
    s.view->setText(
        NS("aaaaaaaaa bbbbbbbbb ccccccccc ddddddddd eeeeeeeee fffffffff ggggggggg "
           "hhhhhhhhh iiiiiiiii jjjjjjjjj"));
    EXPECT_EQ(s.view->lines().size(), 5u);
    s.delegate->log.clear();
    s.view->scrollRangeToVisible(NSMakeRange(95, 1));  // on the last line
    // The last line's bottom (8 + 5 * 12) meets the view's bottom (56 high).
    EXPECT_EQ(s.delegate->log, (std::vector<std::string>{"scroll 12"}));
}

TEST(UITextView, ReadOnlyViewsTakeNoFocus) {
    TextScreen s;
    s.view->setEditable(false);
    EXPECT_FALSE(s.view->becomeFirstResponder());
    s.view->setEditable(true);
    ASSERT_TRUE(s.view->becomeFirstResponder());
    s.view->setEditable(false);  // turning it read-only ends the editing
    EXPECT_FALSE(s.view->isFirstResponder());
    EXPECT_EQ(s.delegate->log.back(), "end");
}
