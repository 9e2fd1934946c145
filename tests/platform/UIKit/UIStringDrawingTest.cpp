#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "Foundation/NSString.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIStringDrawing.h"

namespace {
// The model's advances at 10 points: 5 per character, 2.5 per space; lines 12 high.
Ref<UIFont> font10() {
    return UIFont::systemFontOfSize(10);
}

std::vector<std::string> texts(const std::vector<UITextLine>& lines) {
    std::vector<std::string> out;
    for (auto& l : lines)
        out.push_back(NSString::fromUTF16(l.text)->utf8());
    return out;
}
}  // namespace

TEST(UIStringDrawing, MeasuresWithTheFixedAdvanceModel) {
    auto f = font10();
    EXPECT_FLOAT_EQ(f->lineHeight(), 12);
    CGSize s = sizeWithFont(NS("abc de"), f);
    EXPECT_FLOAT_EQ(s.width, std::ceil(5 * 5 + 2.5f));
    EXPECT_FLOAT_EQ(s.height, 12);
    EXPECT_FLOAT_EQ(sizeWithFont(NS(""), f).height, 0);
    EXPECT_FLOAT_EQ(sizeWithFont(nullptr, f).width, 0);
    // Wide characters take a whole em.
    EXPECT_FLOAT_EQ(sizeWithFont(NS("\u65e5\u672c"), f).width, 20);
}

TEST(UIStringDrawing, WrapsByWordsAndBreaksLongWords) {
    auto f = font10();
    // 30 points hold 6 characters.
    auto lines = UITextLayoutLines(NS("one two threefour\nx"), f, 30, UILineBreakModeWordWrap);
    EXPECT_EQ(texts(lines), (std::vector<std::string>{"one", "two", "threef", "our", "x"}));
    auto chars = UITextLayoutLines(NS("one two"), f, 30, UILineBreakModeCharacterWrap);
    EXPECT_EQ(texts(chars), (std::vector<std::string>{"one tw", "o"}));
    CGSize s =
        sizeWithFont(NS("one two threefour"), f, CGSizeMake(30, 25), UILineBreakModeWordWrap);
    EXPECT_FLOAT_EQ(s.height, 24);  // two lines fit the height
    EXPECT_FLOAT_EQ(s.width, 15);
}

TEST(UIStringDrawing, TruncatesByMode) {
    auto f = font10();
    // 40 points: the ellipsis takes 5, leaving room for 7 characters.
    auto one = [&](UILineBreakMode m) {
        return texts(UITextLayoutLines(NS("abcdefghijkl"), f, 40, m, 1))[0];
    };
    EXPECT_EQ(one(UILineBreakModeTailTruncation), "abcdefg\u2026");
    EXPECT_EQ(one(UILineBreakModeHeadTruncation), "\u2026fghijkl");
    EXPECT_EQ(one(UILineBreakModeMiddleTruncation), "abc\u2026ijkl");
    EXPECT_EQ(one(UILineBreakModeClip), "abcdefghijkl");
    // Cut off after two lines, the last one shows that more follows.
    auto cut = UITextLayoutLines(NS("aaa bbb ccc ddd"), f, 30, UILineBreakModeTailTruncation, 2);
    EXPECT_EQ(texts(cut), (std::vector<std::string>{"aaa", "bbb\u2026"}));
    auto plain = UITextLayoutLines(NS("aaa bbb ccc ddd"), f, 30, UILineBreakModeWordWrap, 2);
    EXPECT_EQ(texts(plain), (std::vector<std::string>{"aaa", "bbb"}));
}

TEST(UIStringDrawing, ShrinksToAMinimumFontSize) {
    CGFloat actual = 0;
    sizeWithFont(NS("abcdefghij"), UIFont::systemFontOfSize(20), 10, &actual, 80,
                 UILineBreakModeTailTruncation);
    EXPECT_FLOAT_EQ(actual, 16);  // 10 characters at 8 points each
    sizeWithFont(NS("abcdefghij"), UIFont::systemFontOfSize(20), 12, &actual, 10,
                 UILineBreakModeTailTruncation);
    EXPECT_FLOAT_EQ(actual, 12);
}

TEST(UILabel, LinesFollowTheBoundsAndNumberOfLines) {
    auto label = make<UILabel>(&UIView::initWithFrame, CGRectMake(0, 0, 30, 100));
    label->setFont(font10());
    label->setText(NS("aaa bbb ccc"));
    EXPECT_EQ(texts(label->visibleLines()), (std::vector<std::string>{"aaa b\u2026"}));
    label->setNumberOfLines(0);
    EXPECT_EQ(texts(label->visibleLines()), (std::vector<std::string>{"aaa", "bbb", "ccc"}));
    label->setFrame(CGRectMake(0, 0, 30, 25));  // room for two lines only
    EXPECT_EQ(texts(label->visibleLines()), (std::vector<std::string>{"aaa", "bbb\u2026"}));
    label->setNumberOfLines(1);
    label->sizeToFit();
    EXPECT_FLOAT_EQ(label->frame().size.width, 50);  // 9 letters and 2 spaces
    EXPECT_FLOAT_EQ(label->frame().size.height, 12);
    EXPECT_FALSE(label->isUserInteractionEnabled());
    label->setText(nullptr);
    EXPECT_TRUE(label->visibleLines().empty());
}

TEST(UIFont, NamesSizesAndEquality) {
    auto bold = UIFont::boldSystemFontOfSize(14);
    EXPECT_TRUE(bold->isBold());
    EXPECT_EQ(bold->familyName()->utf8(), "Helvetica");
    EXPECT_TRUE(
        UIFont::fontWithName(NS("Georgia"), 12)->isEqual(UIFont::fontWithName(NS("Georgia"), 12)));
    EXPECT_FALSE(UIFont::fontWithName(NS(""), 12));
    EXPECT_FLOAT_EQ(bold->fontWithSize(20)->pointSize(), 20);
    EXPECT_FLOAT_EQ(
        UIFont::systemFontOfSize(20)->ascender() - UIFont::systemFontOfSize(20)->descender(), 20);
}
