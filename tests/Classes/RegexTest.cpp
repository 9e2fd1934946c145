// The scraping primitives: windows between marks, captures, iteration and plain substrings.
#include <gtest/gtest.h>

#include <vector>

#include "Classes/Regex.h"
#include "MatchKit/MatchKitTesting.h"
#include "support/FoundationTesting.h"

namespace {

std::string s(NSString* t) {
    return t ? t->utf8() : "(nil)";
}

TEST(RegexTest, WindowStartsAtTheStartMarkAndEndsAtTheFollowingEndMark) {
    // The end mark also stands before the start mark: only the one after it counts.
    auto r = make<Regex>(&Regex::initWithMarks, NS("x] [a=1] [b=2] [c=3]"), NS("\\[(\\w)=(\\d)\\]"),
                         NS("[b"), NS("]"));
    EXPECT_EQ(r->range().location, 9u);
    EXPECT_EQ(r->range().length, 4u);  // "[b=2": the mark lies inside the window
    // The closing bracket lies outside the window, so the pattern cannot match there.
    EXPECT_EQ(s(r->getMatchCapture(1).get()), "(nil)");
    EXPECT_EQ(r->matchedRange().location, static_cast<NSUInteger>(NSNotFound));

    auto whole = make<Regex>(&Regex::initWithMarks, NS("[a=1] [b=2]"), NS("\\[(\\w)=(\\d)\\]"),
                             NS("[b"), nullptr);
    EXPECT_EQ(s(whole->getMatchCapture(2).get()), "2");
    EXPECT_EQ(whole->matchedRange().location, 9u);
}

TEST(RegexTest, AbsentMarks) {
    // A missing start mark leaves an empty window at the end: nothing non-empty can match.
    EXPECT_EQ(s(Regex::getMatch(NS("price $12"), NS("\\$(\\d+)"), NS("<b>"), nullptr).get()),
              "(nil)");
    // A missing end mark runs the window to the end of the text.
    EXPECT_EQ(s(Regex::getMatch(NS("a $1 <b> $12"), NS("\\$(\\d+)"), NS("<b>"), NS("</b>")).get()),
              "12");
    EXPECT_EQ(s(Regex::getMatch(NS("a $1 b $2"), NS("\\$(\\d+)")).get()), "1");
    EXPECT_EQ(s(Regex::getMatch(nullptr, NS("(a)")).get()), "(nil)");
}

TEST(RegexTest, IterationYieldsEveryMatchThenNil) {
    auto r = make<Regex>(&Regex::initWithMarks,
                         NS("<ul><li>one</li>\n<li>two</li><li>three</li></ul><li>four</li>"),
                         NS("<li>([^<]*)</li>"), NS("<ul>"), NS("</ul>"));
    std::vector<std::string> found;
    while (auto item = r->getMatchCapture(1)) {
        found.push_back(item->utf8());
        r->gotoNextMatch();
    }
    EXPECT_EQ(found, (std::vector<std::string>{"one", "two", "three"}));
}

TEST(RegexTest, NextSearchStartsAfterTheLastCapturedGroup) {
    // The next match may begin inside the previous one, right after its last group read.
    auto r = make<Regex>(&Regex::initWithMarks, NS("a1b2c3"), NS("([a-c])(\\d)[a-c]?"), nullptr,
                         nullptr);
    std::vector<std::string> pairs;
    for (;;) {
        auto letter = r->getMatchCapture(1);
        auto digit = r->getMatchCapture(2);
        if (!letter) break;
        pairs.push_back(letter->utf8() + digit->utf8());
        r->gotoNextMatch();
    }
    EXPECT_EQ(pairs, (std::vector<std::string>{"a1", "b2", "c3"}));
}

TEST(RegexTest, EmptyCapturesStillMoveForward) {
    auto r = make<Regex>(&Regex::initWithMarks, NS("abc"), NS("(x*)"), nullptr, nullptr);
    int rounds = 0;
    while (r->getMatchCapture(1) && rounds < 10) {
        r->gotoNextMatch();
        ++rounds;
    }
    EXPECT_EQ(rounds, 4);  // empty at 0, 1, 2 and at the very end, then done
}

TEST(RegexTest, CapturesInAWindowAlikeInPlaceAndOutOfPlace) {
    const char* text = "<a>first</a> middle <a></a> last<a>end</a>";
    auto inPlace = str(text);
    auto outOfPlace = FragmentedString::withUTF8(text);
    struct Case {
        const char* regex;
        NSRange window;
        const char* expected;
    } cases[] = {
        {"<a>([^<]*)</a>", NSMakeRange(0, 42), "first"},   // at the window's start
        {"<a>([^<]*)</a>", NSMakeRange(5, 37), ""},        // an empty capture
        {"<a>([^<]*)</a>", NSMakeRange(28, 14), "end"},    // at the window's end
        {"<a>([^<]*)</a>", NSMakeRange(28, 13), "(nil)"},  // cut off by the window
        {"^(.*)$", NSMakeRange(0, 42), text},              // the whole text
        {"(l[a-z]*)", NSMakeRange(20, 0), "(nil)"},        // an empty window
        {"([a-z]+) <", NSMakeRange(13, 29), "middle"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.regex);
        EXPECT_EQ(s(Regex::getMatch(inPlace.get(), str(c.regex).get(), c.window).get()),
                  c.expected);
        EXPECT_EQ(s(Regex::getMatch(outOfPlace.get(), str(c.regex).get(), c.window).get()),
                  c.expected);
    }
}

TEST(RegexTest, SubstringBetweenMarks) {
    EXPECT_EQ(s(Regex::getSubstring(NS("<b>bold</b> tail"), NS("<b>"), NS("</b>")).get()), "bold");
    // Nothing between the marks, and a missing start mark, give nil.
    EXPECT_EQ(s(Regex::getSubstring(NS("<b></b>"), NS("<b>"), NS("</b>")).get()), "(nil)");
    EXPECT_EQ(s(Regex::getSubstring(NS("no marks"), NS("<b>"), NS("</b>")).get()), "(nil)");
    // A missing end mark runs to the end.
    EXPECT_EQ(s(Regex::getSubstring(NS("x<b>rest of it"), NS("<b>"), NS("</b>")).get()),
              "rest of it");
    // The end mark is looked for only after the start mark.
    EXPECT_EQ(s(Regex::getSubstring(NS("</b>x<b>y</b>"), NS("<b>"), NS("</b>")).get()), "y");
}

}  // namespace
