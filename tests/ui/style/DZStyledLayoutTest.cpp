// Styled text laid out with the test font (system 14: 7 points a character, 3.5 a space, 17 a
// line; measured widths round up to whole points), frame by frame.
#include <gtest/gtest.h>

#include <string>

#include "ui/core/DZStyleSheet.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/style/DZFrameStyles.h"
#include "ui/style/DZStyledLayout.h"
#include "ui/style/DZTextStyle.h"
#include "ui/style/StyledTextTesting.h"

namespace {

// Styles the markup names by class.
class LayoutSheet : public DZDefaultStyleSheet {
    NS_OBJECT(LayoutSheet, DZDefaultStyleSheet)
    static void describeClass(RuntimeClass& c) {
        c.method("big", &LayoutSheet::big)
            .method("floatLeft", &LayoutSheet::floatLeft)
            .method("floatRight", &LayoutSheet::floatRight)
            .method("tall", &LayoutSheet::tall)
            .method("floatBox", &LayoutSheet::floatBox)
            .method("padded", &LayoutSheet::padded)
            .method("pinned", &LayoutSheet::pinned);
    }
    Ref<DZStyle> big() { return DZTextStyle::styleWithFont(UIFont::systemFontOfSize(20), nullptr); }
    Ref<DZStyle> floatLeft() {
        return DZBoxStyle::styleWithMargin(UIEdgeInsetsMake(0, 0, 0, 4), UIEdgeInsetsZero,
                                           CGSizeZero, 2, nullptr);
    }
    Ref<DZStyle> floatRight() { return DZBoxStyle::styleWithFloats(3, nullptr); }
    Ref<DZStyle> tall() {
        return DZBoxStyle::styleWithMargin(UIEdgeInsetsMake(1, 2, 3, 4),
                                           UIEdgeInsetsMake(5, 6, 7, 8), CGSizeMake(0, 60), 0,
                                           nullptr);
    }
    Ref<DZStyle> floatBox() {
        return DZBoxStyle::styleWithMargin(UIEdgeInsetsZero, UIEdgeInsetsMake(1, 1, 1, 1),
                                           CGSizeZero, 2, nullptr);
    }
    Ref<DZStyle> padded() {
        return DZBoxStyle::styleWithPadding(UIEdgeInsetsMake(2, 3, 2, 3), nullptr);
    }
    Ref<DZStyle> pinned() {
        return DZBoxStyle::styleWithMargin(UIEdgeInsetsMake(5, 6, 0, 0), UIEdgeInsetsZero,
                                           CGSizeZero, 1, nullptr);
    }
};

class StyledLayout : public testing::Test {
protected:
    void SetUp() override { DZStyleSheet::setGlobalStyleSheet(make<LayoutSheet>()); }

    // The frames of the markup laid out at the width, and the height.
    std::string lay(const char* source, CGFloat width) {
        text = markup(source);
        if (!text) return "<nil>";
        text->setWidth(width);
        return framesOf(text->rootFrame()) + " H=" + num(text->height());
    }
    Ref<DZStyledText> text;
};

TEST_F(StyledLayout, OnePlainTextIsMeasuredInOnePiece) {
    EXPECT_EQ(lay("Hello world", 300), "'Hello world'(0,0 74x17) H=17");
    EXPECT_EQ(lay("Hello world", 50), "'Hello world'(0,0 35x34) H=34");
    // The last text's remainder after a line break is one piece too.
    EXPECT_EQ(lay("aaa bbb ccc <i>ddd</i> eee fff ggg", 60),
              "'aaa bbb '(0,0 49x17) 'ccc '(0,17 25x17) 'ddd'(25,17 21x17) ' '(46,17 4x17) "
              "'eee fff ggg'(0,34 46x34) H=68");
}

TEST_F(StyledLayout, RunsKeepTheirTrailingSpaceAndFontsFollowTheElements) {
    EXPECT_EQ(lay("one <b>two</b> three", 300),
              "'one '(0,0 25x17) 'two'(25,0 21x17) ' three'(46,0 39x17) H=17");
    EXPECT_EQ(lay("<b>bold</b> <i>it</i> <a href=\"u\">link</a>", 300),
              "'bold'(0,0 28x17) ' '(28,0 4x17) 'it'(32,0 14x17) ' '(46,0 4x17) "
              "inline(50,0 28x17)['link'(50,0 28x17)] H=17");
    std::vector<std::string> fonts;
    for (auto f = text->rootFrame(); f; f = f->nextFrame()) {
        auto font = f->font();
        fonts.push_back(font->fontName()->utf8() + " " + num(font->pointSize()));
    }
    EXPECT_EQ(fonts,
              (std::vector<std::string>{"Helvetica-Bold 14", "Helvetica 14", "Helvetica-Oblique 14",
                                        "Helvetica 14", "Helvetica-Bold 14"}));
    // A link takes the sheet's "linkText:" style on its piece.
    auto link = cast<DZStyledInlineFrame>(
        text->rootFrame()->nextFrame()->nextFrame()->nextFrame()->nextFrame());
    EXPECT_TRUE(link->style()->firstStyleOfClass<DZTextStyle>());
}

TEST_F(StyledLayout, AWordLongerThanTheLineIsSplitAtCharacters) {
    EXPECT_EQ(lay("ab abcdefghijkl <b>c</b>", 50),
              "'ab abcd'(0,0 46x17) 'efghijk'(0,17 49x17) 'l '(0,34 11x17) 'c'(11,34 7x17) H=51");
}

TEST_F(StyledLayout, RunsOfDifferentFontsShareABaseline) {
    // The line is 24 high (20 points); the 14-point runs move down by 24 - (17 + 2.8).
    EXPECT_EQ(lay("ab <span class=\"big\">cd</span> ef", 300),
              "'ab '(0,4.2 18x17) inline(18,0 20x24)['cd'(18,0 20x24)] ' ef'(38,4.2 18x17) H=24");
}

TEST_F(StyledLayout, InlinePiecesContinueOnTheNextLine) {
    EXPECT_EQ(lay("<a href=\"x\">aa bb cc dd</a> ee", 40),
              "inline(0,0 36x17)['aa bb '(0,0 35x17)] inline(0,17 32x17)['cc dd'(0,17 32x17)] "
              "' '(32,17 4x17) 'ee'(0,34 14x17) H=51");
    // A link that ends the text is measured in one piece; its frame still covers it.
    EXPECT_EQ(lay("<a href=\"x\">link</a>", 100), "inline(0,0 28x17)['link'(0,0 28x17)] H=17");
    lay("<a href=\"x\">aa bb cc dd</a> ee", 40);
    auto first = cast<DZStyledInlineFrame>(text->rootFrame());
    auto second = first->inlineNextFrame();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->inlinePreviousFrame().get(), first.get());
    EXPECT_EQ(second->element().get(), first->element().get());
    // A padded span: its pieces grow by the padding, the pen moves past it.
    EXPECT_EQ(lay("a <span class=\"padded\">bb cc</span> d", 40),
              "'a '(0,0 11x17) inline(11,-2 21x21)['bb '(14,0 18x17)] "
              "inline(0,15 17x21)['cc'(0,17 14x17)] ' d'(17,17 11x17) H=34");
}

TEST_F(StyledLayout, ImagesTakeTheirLineOrWidenAnEmptyOne) {
    // Fits beside the text: the line grows to the image's height.
    EXPECT_EQ(lay("abc <img src=\"bundle://n.png\" width=\"50\" height=\"20\"/> de", 80),
              "'abc '(0,0.200001 25x17) img(25,0 50x20) ' '(75,0 4x20) 'de'(0,20 14x17) H=37");
    // Wider than what is left of the line: a new line.
    EXPECT_EQ(lay("abcdefgh <img src=\"bundle://n.png\" width=\"50\" height=\"20\"/>x", 80),
              "'abcdefgh '(0,0 60x17) img(0,17 50x20) 'x'(50,17.2 7x17) H=37");
    // Wider than an empty line: the layout widens instead.
    EXPECT_EQ(lay("<img src=\"bundle://n.png\" width=\"150\" height=\"20\"/> de fg", 80),
              "img(0,0 150x20) ' de fg'(0,20 35x17) H=37");
    // Images not yet loaded wait in the pending list.
    EXPECT_EQ(text->invalidImages()->count(), 1u);
}

TEST_F(StyledLayout, FloatsNarrowTheLinesBesideThem) {
    EXPECT_EQ(lay("<img class=\"floatLeft\" src=\"bundle://n.png\" width=\"30\" height=\"30\"/>"
                  "aaa bbb ccc <b>ddd</b> eee fff ggg hhh iii",
                  80),
              "img(0,0 30x30) 'aaa '(34,0 25x17) 'bbb '(34,17 25x17) 'ccc '(0,34 25x17) "
              "'ddd'(25,34 21x17) ' eee '(46,34 28x17) 'fff ggg hhh iii'(0,51 70x34) H=85");
    EXPECT_EQ(lay("<img class=\"floatRight\" src=\"bundle://n.png\" width=\"30\" height=\"20\"/>"
                  "aaa bbb ccc ddd",
                  80),
              "img(50,0 30x20) 'aaa bbb ccc ddd'(0,0 46x34) H=34");
    // An absolute image moves by its margins and leaves the pen where it was; as a frame of the
    // line it still takes the baseline shift (17 - (10 + 2.8)).
    EXPECT_EQ(
        lay("ab<img class=\"pinned\" src=\"bundle://n.png\" width=\"10\" height=\"10\"/>cd", 80),
        "'ab'(0,0 14x17) img(20,9.2 10x10) 'cd'(14,0 14x17) H=17");
}

TEST_F(StyledLayout, BlocksTakeMarginsPaddingAndTheirMinimumHeight) {
    EXPECT_EQ(lay("<div class=\"tall\">x</div>y", 100),
              "box(2,1 94x60)['x'(8,6 7x17)] 'y'(0,64 7x17) H=81");
}

TEST_F(StyledLayout, LineBreaksKeepEmptyLines) {
    EXPECT_EQ(lay("x<br/><br/>y", 100), "'x'(0,0 7x17) 'y'(0,34 7x17) H=51");
    EXPECT_EQ(lay("x<br/>y", 100), "'x'(0,0 7x17) 'y'(0,17 7x17) H=34");
    // Nothing before it: nothing to break.
    EXPECT_EQ(lay("<br/>y", 100), "'y'(0,0 7x17) H=17");
}

TEST_F(StyledLayout, TextInAFloatedBoxIsNotSplitACharacterALine) {
    // The box measures its content with no width limit.
    EXPECT_EQ(lay("<span class=\"floatBox\">abc def ghi</span>zz", 100),
              "box(0,0 2x19)['abc def ghi'(0,0 70x17)] 'zz'(0,0 14x17) H=17");
}

TEST_F(StyledLayout, TheLayoutObjectBuildsFrameTrees) {
    auto layout =
        make<DZStyledLayout>(&DZStyledLayout::initWithX, CGFloat(10), CGFloat(100), CGFloat(5));
    auto box = layout->addBlockFrame(nullptr, nullptr, 50, 5);
    auto inner =
        make<DZStyledTextFrame>(&DZStyledTextFrame::initWithText, NS("t"), nullptr, nullptr);
    layout->addContentFrame(inner, 7, 17);
    layout->popFrame();
    auto after =
        make<DZStyledTextFrame>(&DZStyledTextFrame::initWithText, NS("u"), nullptr, nullptr);
    layout->addContentFrame(after, 7, 17);
    EXPECT_EQ(framesOf(layout->rootFrame()), "box(10,5 50x5)['t'(10,5 7x17)] 'u'(17,5 7x17)");
    EXPECT_EQ(inner->nextFrame().get(), nullptr);
    EXPECT_EQ(box->parentFrame().get(), nullptr);
    // The bold and italic versions keep the size.
    auto font = UIFont::systemFontOfSize(11);
    EXPECT_EQ(DZStyledLayout::boldVersionOfFont(font)->fontName()->utf8(), "Helvetica-Bold");
    EXPECT_EQ(DZStyledLayout::italicVersionOfFont(font)->pointSize(), 11);
    // A new font drops the derived ones.
    layout->setFont(font);
    EXPECT_EQ(layout->boldFont()->pointSize(), 11);
    layout->setFont(UIFont::systemFontOfSize(9));
    EXPECT_EQ(layout->boldFont()->pointSize(), 9);
}

TEST(StyledFrames, LongFrameChainsAreWalkedAndFreedWithoutDeepRecursion) {
    constexpr int kCount = 300000;
    Weak<DZStyledFrame> lastSeen;
    {
        auto box = make<DZStyledBoxFrame>(&DZStyledFrame::initWithElement, nullptr);
        box->setBounds(CGRectMake(0, 0, kCount, 10));
        Ref<DZStyledFrame> head;
        for (int i = kCount - 1; i >= 0; --i) {
            auto frame = make<DZStyledTextFrame>(&DZStyledTextFrame::initWithText, NS("x"), nullptr,
                                                 nullptr);
            frame->setBounds(CGRectMake(i, 0, 1, 10));
            frame->setNextFrame(head);
            if (!lastSeen.lock()) lastSeen = frame.get();
            head = frame;
        }
        box->setFirstChildFrame(head);
        // No box among the children: the box itself answers, after a walk of the whole chain.
        EXPECT_EQ(box->hitTest(CGPointMake(kCount - 0.5f, 5)).get(), box.get());
    }
    EXPECT_FALSE(lastSeen.lock());
}

}  // namespace
