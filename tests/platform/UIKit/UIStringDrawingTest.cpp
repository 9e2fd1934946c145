#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
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

constexpr CGFloat kUnlimited = std::numeric_limits<CGFloat>::max();

// Keeps what it is asked to draw.
struct RecordingPainter : UITextPainter {
    struct Call {
        std::vector<std::string> lines;
        CGFloat fontSize = 0;
        CGRect rect{};
        UITextAlignment alignment = UITextAlignmentLeft;
    };
    std::vector<Call> calls;
    void drawLines(const std::vector<UITextLine>& lines, UIFont* font, CGRect rect,
                   UITextAlignment alignment) override {
        calls.push_back({texts(lines), font->pointSize(), rect, alignment});
    }
};

class Painting : public ::testing::Test {
protected:
    void SetUp() override { UITextPainterInstall(painter); }
    void TearDown() override { UITextPainterInstall(nullptr); }
    std::shared_ptr<RecordingPainter> painter = std::make_shared<RecordingPainter>();
};
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

    // An installed measurer measures until the reset between tests takes it away; whoever read
    // it keeps it meanwhile.
    struct Wide : UIFixedAdvanceTextMeasurer {
        CGFloat widthOfText(std::u16string_view, UIFont*) override { return 100; }
    };
    UITextMeasurerInstall(std::make_shared<Wide>());
    auto read = UITextMeasurerCurrent();
    EXPECT_FLOAT_EQ(sizeWithFont(NS("\u65e5\u672c"), f).width, 100);
    resetProcessWideInstances();
    EXPECT_FLOAT_EQ(sizeWithFont(NS("\u65e5\u672c"), f).width, 20);
    EXPECT_FLOAT_EQ(read->widthOfText(u"x", f.get()), 100);
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

TEST(UIStringDrawing, SizesEachLineBreakModeWithinABox) {
    auto f = font10();
    // "aaaa bbbb cccccccccc" at 5 a letter in a box 30 wide (6 letters) and three lines high.
    NSString* text = NS("aaaa bbbb cccccccccc");
    CGSize box = CGSizeMake(30, 36);
    auto lines = [&](UILineBreakMode m) { return texts(UITextLayoutLines(text, f, 30, m, 3)); };
    EXPECT_EQ(lines(UILineBreakModeWordWrap), (std::vector<std::string>{"aaaa", "bbbb", "cccccc"}));
    EXPECT_EQ(lines(UILineBreakModeCharacterWrap),
              (std::vector<std::string>{"aaaa b", "bbb cc", "cccccc"}));
    EXPECT_EQ(lines(UILineBreakModeClip), (std::vector<std::string>{"aaaa", "bbbb", "cccccc"}));
    // Cut off after three lines: the truncating modes end the last one with an ellipsis.
    EXPECT_EQ(lines(UILineBreakModeTailTruncation),
              (std::vector<std::string>{"aaaa", "bbbb", "ccccc\u2026"}));
    EXPECT_EQ(lines(UILineBreakModeHeadTruncation),
              (std::vector<std::string>{"aaaa", "bbbb", "ccccc\u2026"}));
    CGSize word = sizeWithFont(text, f, box, UILineBreakModeWordWrap);
    EXPECT_FLOAT_EQ(word.width, 30);
    EXPECT_FLOAT_EQ(word.height, 36);
    // Without a height limit the whole text shows.
    CGSize all = sizeWithFont(text, f, CGSizeMake(30, kUnlimited), UILineBreakModeWordWrap);
    EXPECT_FLOAT_EQ(all.height, 48);
    // A one-line clip is as wide as the width allows, the wrap modes keep what fits whole.
    EXPECT_FLOAT_EQ(sizeWithFont(text, f, 30, UILineBreakModeClip).width, 30);
    EXPECT_FLOAT_EQ(sizeWithFont(text, f, 30, UILineBreakModeWordWrap).width, 20);
    EXPECT_FLOAT_EQ(sizeWithFont(text, f, 30, UILineBreakModeTailTruncation).width, 25);
}

TEST(UIStringDrawing, TruncationNeverSplitsOrOverflowsASurrogatePair) {
    auto f = font10();
    // The emoji takes an em (10); 40 points leave 35 beside the ellipsis.
    auto line = [&](UILineBreakMode m) {
        return UITextLayoutLines(NS("ab\U0001F600cdefgh"), f, 40, m, 1)[0];
    };
    auto head = line(UILineBreakModeHeadTruncation);
    EXPECT_EQ(texts({head})[0], "\u2026cdefgh");
    EXPECT_LE(head.width, 40);
    auto tail = line(UILineBreakModeTailTruncation);
    EXPECT_EQ(texts({tail})[0], "ab\U0001F600cde\u2026");
    EXPECT_LE(tail.width, 40);
    EXPECT_LE(line(UILineBreakModeMiddleTruncation).width, 40);
}

TEST(UIStringDrawing, ShrinkingReadsLineBreaksAsSpacesAndKeepsFittingText) {
    CGFloat actual = 0;
    CGSize s = sizeWithFont(NS("abcd"), UIFont::systemFontOfSize(20), 8, &actual, 200,
                            UILineBreakModeTailTruncation);
    EXPECT_FLOAT_EQ(actual, 20);
    EXPECT_FLOAT_EQ(s.width, 40);
    EXPECT_FLOAT_EQ(s.height, 24);
    // "ab cd" on one line: 4 letters at 0.5 em and a space at 0.25 em = 2.25 em; 45 points
    // hold it at 20 points.
    sizeWithFont(NS("ab\ncd"), UIFont::systemFontOfSize(24), 8, &actual, 45,
                 UILineBreakModeTailTruncation);
    EXPECT_FLOAT_EQ(actual, 20);
    EXPECT_FLOAT_EQ(sizeWithFont(NS("abc"), nullptr, 8, &actual, 45, UILineBreakModeClip).width, 0);
    EXPECT_FLOAT_EQ(actual, 0);
}

TEST_F(Painting, ShrunkTextIsPlacedByTheBaselineAdjustment) {
    auto f = UIFont::systemFontOfSize(20);
    auto draw = [&](UIBaselineAdjustment a) {
        CGFloat actual = 0;
        CGSize s = drawAtPoint(NS("abcdefghij"), CGPointMake(10, 100), 80, f, 10, &actual,
                               UILineBreakModeTailTruncation, a);
        EXPECT_FLOAT_EQ(actual, 16);
        EXPECT_FLOAT_EQ(s.width, 80);
        EXPECT_FLOAT_EQ(s.height, 20);  // a 16-point line
        return painter->calls.back();
    };
    // Baselines: the 16-point ascender (12.8) ends where the 20-point one (16) does.
    auto c = draw(UIBaselineAdjustmentAlignBaselines);
    EXPECT_FLOAT_EQ(c.rect.origin.y, 103.2f);
    EXPECT_FLOAT_EQ(c.rect.origin.x, 10);
    EXPECT_FLOAT_EQ(c.fontSize, 16);
    EXPECT_EQ(c.lines, (std::vector<std::string>{"abcdefghij"}));
    // Centres: a 20-high line centred on a 24-high one.
    EXPECT_FLOAT_EQ(draw(UIBaselineAdjustmentAlignCenters).rect.origin.y, 102);
    EXPECT_FLOAT_EQ(draw(UIBaselineAdjustmentNone).rect.origin.y, 100);
    // Below the minimum size the text truncates instead.
    CGFloat actual = 0;
    drawAtPoint(NS("abcdefghij"), CGPointMake(0, 0), 40, f, 12, &actual,
                UILineBreakModeTailTruncation, UIBaselineAdjustmentNone);
    EXPECT_FLOAT_EQ(actual, 12);
    EXPECT_EQ(painter->calls.back().lines, (std::vector<std::string>{"abcde\u2026"}));
}

TEST_F(Painting, DrawsLinesThatFitTheRectangle) {
    auto f = font10();
    CGSize s = drawInRect(NS("aaa bbb ccc"), CGRectMake(5, 7, 30, 25), f,
                          UILineBreakModeTailTruncation, UITextAlignmentCenter);
    ASSERT_EQ(painter->calls.size(), 1u);
    auto& c = painter->calls[0];
    EXPECT_EQ(c.lines, (std::vector<std::string>{"aaa", "bbb\u2026"}));
    EXPECT_EQ(c.alignment, UITextAlignmentCenter);
    EXPECT_FLOAT_EQ(c.rect.origin.x, 5);
    EXPECT_FLOAT_EQ(c.rect.origin.y, 7);
    EXPECT_FLOAT_EQ(s.width, 20);
    EXPECT_FLOAT_EQ(s.height, 24);
    // Nothing to draw: no call, no size.
    EXPECT_FLOAT_EQ(drawAtPoint(NS(""), CGPointMake(0, 0), f).width, 0);
    EXPECT_FLOAT_EQ(drawAtPoint(nullptr, CGPointMake(0, 0), f).height, 0);
    EXPECT_EQ(painter->calls.size(), 1u);
    CGSize one = drawAtPoint(NS("abc"), CGPointMake(1, 2), f);
    EXPECT_FLOAT_EQ(one.width, 15);
    EXPECT_FLOAT_EQ(one.height, 12);
    // A larger font size placed on the baseline of the font's own line.
    drawAtPoint(NS("abc"), CGPointMake(0, 50), 100, f, 20, UILineBreakModeClip,
                UIBaselineAdjustmentAlignBaselines);
    EXPECT_FLOAT_EQ(painter->calls.back().rect.origin.y, 50 + 8 - 16);
    EXPECT_FLOAT_EQ(painter->calls.back().fontSize, 20);
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
    // The test font's measures: ascender 0.8 em, descender -0.2 em, line 1.2 em rounded up.
    auto f = UIFont::systemFontOfSize(20);
    EXPECT_FLOAT_EQ(f->ascender(), 16);
    EXPECT_FLOAT_EQ(f->descender(), -4);
    EXPECT_FLOAT_EQ(f->capHeight(), 14);
    EXPECT_FLOAT_EQ(f->xHeight(), 10);
    EXPECT_FLOAT_EQ(UIFont::systemFontOfSize(11)->lineHeight(), 14);
}
