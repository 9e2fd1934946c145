// The direct matcher against ICU itself: every capture of the first match of the plain patterns
// it takes on, fixed and generated, must be the one ICU reports; the patterns it must leave to
// ICU are left; and the ICU text set lazily still serves every operation after it.
#include <gtest/gtest.h>
#include <unicode/uregex.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "MatchKitTesting.h"

namespace {

using SimpleRef = std::unique_ptr<MTKSimplePattern, void (*)(MTKSimplePattern*)>;

SimpleRef simpleFor(const std::u16string& pattern, int32_t groups) {
    return SimpleRef(mtk_compileSimplePattern(NSString::fromUTF16(pattern).get(), 0, groups),
                     mtk_freeSimplePattern);
}

// ICU's answer: the range of every group of the first match in the subject's range, or none.
std::vector<NSRange> icuGroups(const std::u16string& pattern, const std::u16string& subject,
                               NSRange range, int32_t* groupCount) {
    UErrorCode st = U_ZERO_ERROR;
    URegularExpression* re =
        uregex_open(pattern.data(), static_cast<int32_t>(pattern.size()), 0, nullptr, &st);
    EXPECT_TRUE(U_SUCCESS(st)) << u_errorName(st);
    *groupCount = uregex_groupCount(re, &st);
    uregex_setText(re, subject.data() + range.location, static_cast<int32_t>(range.length), &st);
    std::vector<NSRange> out;
    if (uregex_find(re, 0, &st)) {
        for (int32_t g = 0; g <= *groupCount; ++g) {
            int32_t a = uregex_start(re, g, &st), b = uregex_end(re, g, &st);
            out.push_back(a < 0 ? NSMakeRange(NSNotFound, 0)
                                : NSMakeRange(range.location + a, static_cast<NSUInteger>(b - a)));
        }
    }
    EXPECT_TRUE(U_SUCCESS(st)) << u_errorName(st);
    uregex_close(re);
    return out;
}

std::vector<NSRange> directGroups(MTKSimplePattern* sp, const std::u16string& subject,
                                  NSRange range, int32_t groupCount) {
    std::vector<NSRange> out;
    for (int32_t g = 0; g <= groupCount; ++g) {
        NSRange r = mtk_simpleFirstMatch(sp, subject.data(), range, g);
        if (r.location == NSNotFound) return {};
        out.push_back(r);
    }
    return out;
}

std::string show(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) {
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char buf[12];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out;
}

// The direct matcher's groups for the pattern on the subject's range, compared with ICU's.
::testing::AssertionResult sameAsICU(const std::u16string& pattern, const std::u16string& subject,
                                     NSRange range) {
    int32_t groups = 0;
    auto expected = icuGroups(pattern, subject, range, &groups);
    auto sp = simpleFor(pattern, groups);
    if (!sp) return ::testing::AssertionFailure() << show(pattern) << " is left to ICU";
    auto got = directGroups(sp.get(), subject, range, groups);
    if (got.size() != expected.size()) {
        return ::testing::AssertionFailure() << show(pattern) << " on " << show(subject) << ": "
                                             << got.size() << " groups, ICU " << expected.size();
    }
    for (size_t g = 0; g < got.size(); ++g) {
        if (got[g].location != expected[g].location || got[g].length != expected[g].length) {
            return ::testing::AssertionFailure()
                   << show(pattern) << " group " << g << " on " << show(subject) << ": "
                   << got[g].location << "+" << got[g].length << ", ICU " << expected[g].location
                   << "+" << expected[g].length;
        }
    }
    return ::testing::AssertionSuccess();
}

void expectSameAsICU(const std::u16string& pattern, const std::u16string& subject, NSRange range) {
    EXPECT_TRUE(sameAsICU(pattern, subject, range));
}

void expectSameAsICU(const std::u16string& pattern, const std::u16string& subject) {
    expectSameAsICU(pattern, subject, NSMakeRange(0, static_cast<NSUInteger>(subject.size())));
}

TEST(MatchKitDirectMatcher, ScrapingPatternsOnRows) {
    const std::u16string row =
        u" data-pid=\"17\"> <span class=\"ih\">&nbsp;</span> Mar 1 - <a "
        u"href=\"http://x.test/fua/17.html\">Desk &amp; chair</a> - <span "
        u"class=\"price\">$2250.50</span><font size=\"-1\"> (back bay)</font> <small "
        u"class=\"gc\"><a href=\"http://x.test/fua/\">furniture</a></small> <br></p> ";
    for (const char16_t* p : {u">([^<]*)</a>", u"<a href=\"([^>]*)\">", u"(\\$[0-9][0-9\\.]*)",
                              u"<font size=\"-1\"> \\(([^<]*)\\)</font>",
                              u"<small class=\"gc\"><[^>]*>([^<>]*)</a></small>",
                              u"([wmt]4[wmt][- 0-9]*)", u"- ([0-9]*)", u"[-a]+", u"[^-a]+",
                              u"<input[^<>]*[ \t]+name=\"q\"[^>]*value=\"([^\"]*)\""}) {
        expectSameAsICU(p, row);
        expectSameAsICU(p, row, NSMakeRange(40, 120));
        expectSameAsICU(p, u"Room m4w - 35 and - 7");
        expectSameAsICU(p, u"");
    }
}

TEST(MatchKitDirectMatcher, BacktrackingAndSurrogatePairs) {
    const std::u16string pair = u"\U0001F600";
    const std::u16string lead(1, u'\xD83D'), trail(1, u'\xDE00');
    struct Case {
        std::u16string pattern, subject;
    };
    const std::vector<Case> cases = {
        {u"a*ab", u"aaab"},
        {u"(a*)(a+)b", u"aaaab"},
        {u"(x?)(x?)x", u"xx"},
        {u"([^<]*)([^<])", u"a" + pair},
        {u"([^<]*)([^<])", pair + pair + u"<"},
        {u"[^a]x", pair + u"x"},
        {u"[^a]x", u"b" + pair + u"x"},
        {u"([^a]?)x", trail + u"x"},
        {u"([^a]+)y", lead + pair + u"y"},
        {u"(b*)", u"aaa"},
        {u"()", u"abc"},
        {u"q*$x", u"qq$x"},
        {u"\u00e9([^<]*)<", u"a\u00e9 x\u4e2d<"},
        {u"([^a]+)\u00e9", u"ba\u4e2d\u00e9"},
        {u"\\$([0-9]+)\\.?([0-9]*)", u"cost $12.5 or $3"},
        {u"<([a-z]+)[^>]*>([^<]*)</\\1>", u"never"},
    };
    for (const auto& c : cases) {
        int32_t groups = 0;
        icuGroups(c.pattern, c.subject, NSMakeRange(0, c.subject.size()), &groups);
        if (!simpleFor(c.pattern, groups)) continue;  // left to ICU: nothing to compare
        expectSameAsICU(c.pattern, c.subject);
    }
    // A window that begins or ends inside a pair.
    const std::u16string s = u"a" + pair + u"b" + pair;
    expectSameAsICU(u"([^a]+)", s, NSMakeRange(2, 3));
    expectSameAsICU(u"([^b]*)", s, NSMakeRange(0, 2));
}

// Literals in a row are compared together and patterns that open with a class are tried only
// where one of its characters stands; runs that only literals after them can end: every window
// of short subjects, so that runs cut off by the window's end, members at its very start and
// end, and empty windows are all met.
TEST(MatchKitDirectMatcher, LiteralRunsAndOpeningClassesInEveryWindow) {
    const std::u16string subjects[] = {u"m4w</a></a>",
                                       u"<a>x</a>w4",
                                       u"ab</ac</a",
                                       u"t4m - 3",
                                       u"</a>",
                                       u"w4m</a></small>m4",
                                       u">a>b<c>d</a>e>f</a>",
                                       u"><</a>>x</a></a>z",
                                       u"a<<<<y<x<<<y",
                                       u"<<<<z"};
    const char16_t* patterns[] = {u"</a>", u">([^<]*)</a>", u"x</a>", u"([wmt]4[wmt][- 0-9]*)",
                                  u"[ab]+c", u"([ab]c)</a>", u"[wm]4", u"</a></small>", u"[<a]+/?a",
                                  // Runs ended where the literals after them stand.
                                  u">([^<]*)(</a>)z", u">[^<]+</a>", u"b([^<>]*)<c>d",
                                  u"(>)[^a<]*</a>e", u"<([^<]*)<<y", u"<[^<]+<<y", u"<[^<]*<<[z]"};
    int matched = 0;
    for (const auto& subject : subjects) {
        for (NSUInteger from = 0; from <= subject.size(); ++from) {
            for (NSUInteger to = from; to <= subject.size(); ++to) {
                for (const char16_t* p : patterns) {
                    NSRange range = NSMakeRange(from, to - from);
                    int32_t groups = 0;
                    matched += !icuGroups(p, subject, range, &groups).empty();
                    ASSERT_TRUE(sameAsICU(p, subject, range)) << from << "+" << to - from;
                }
            }
        }
    }
    EXPECT_GT(matched, 100);
}

TEST(MatchKitDirectMatcher, LeavesOtherPatternsToICU) {
    for (const char16_t* p :
         {u"a|b",       u"(?:ab)",   u"(ab)*", u"(a)+", u"a{2}",  u"a*?",     u"a++",
          u".",         u"^a",       u"a$",    u"\\d",  u"\\w+",  u"\\bword", u"[[a-z]&&[^q]]",
          u"[:alpha:]", u"[\\p{L}]", u"[a-]",  u"[]",   u"(?i)a", u"\\Qa\\E", u"a\\1",
          u"[^\u00e9]", u"(a"}) {
        UErrorCode st = U_ZERO_ERROR;
        std::u16string pattern(p);
        URegularExpression* re = uregex_open(pattern.data(), -1, 0, nullptr, &st);
        int32_t groups = U_SUCCESS(st) ? uregex_groupCount(re, &st) : 0;
        if (re) uregex_close(re);
        EXPECT_FALSE(simpleFor(pattern, groups)) << show(pattern);
    }
    // Options are ICU's to apply.
    EXPECT_FALSE(mtk_compileSimplePattern(NS("abc"), MTKRegexCaseless, 0));
    // A group count that is not ICU's leaves the pattern alone as well.
    EXPECT_FALSE(simpleFor(u"(a)(b)", 1));
    EXPECT_TRUE(simpleFor(u"(a)(b)", 2));
}

// Patterns of the matcher's shape, generated, over subjects of the characters they name, with
// surrogate pairs and lone halves among them.
TEST(MatchKitDirectMatcher, GeneratedPatternsAgreeWithICU) {
    std::mt19937 rng(20261207);
    const std::vector<std::u16string> pieces = {u"<",
                                                u">",
                                                u"a",
                                                u"b",
                                                u"/",
                                                u"$",
                                                u"1",
                                                u".",
                                                u" ",
                                                u"-",
                                                u"\U0001F600",
                                                std::u16string(1, u'\xD83D'),
                                                std::u16string(1, u'\xDE00')};
    const std::vector<std::u16string> atoms = {
        u"<", u">",    u"a",     u"b",    u"/",      u"\\$",      u"1",    u"\\.",  u" ",
        u"-", u"[^<]", u"[^<>]", u"[^a]", u"[a-b1]", u"[^ab1./]", u"[ <]", u"[- 1]"};
    const std::vector<std::u16string> quantifiers = {u"", u"", u"*", u"+", u"?"};
    int compared = 0, matched = 0;
    for (int round = 0; round < 4000; ++round) {
        std::u16string pattern;
        int open = 0;
        int length = 1 + static_cast<int>(rng() % 6);
        for (int i = 0; i < length; ++i) {
            if (rng() % 5 == 0) {
                pattern += u"(";
                ++open;
            }
            pattern += atoms[rng() % atoms.size()];
            pattern += quantifiers[rng() % quantifiers.size()];
            if (open && rng() % 3 == 0) {
                pattern += u")";
                --open;
            }
        }
        pattern.append(static_cast<size_t>(open), u')');
        std::u16string subject;
        int subjectLength = static_cast<int>(rng() % 24);
        for (int i = 0; i < subjectLength; ++i)
            subject += pieces[rng() % pieces.size()];
        NSUInteger from =
            subject.empty() ? 0 : static_cast<NSUInteger>(rng() % (subject.size() + 1));
        NSUInteger to = from + static_cast<NSUInteger>(rng() % (subject.size() - from + 1));
        int32_t groups = 0;
        NSRange range = NSMakeRange(from, to - from);
        matched += !icuGroups(pattern, subject, range, &groups).empty();
        ++compared;
        ASSERT_TRUE(sameAsICU(pattern, subject, range));
    }
    // Both outcomes are well represented.
    EXPECT_GT(matched, compared / 10);
    EXPECT_LT(matched, compared);
}

// The string operations around the direct matcher: a capture it answers, then ICU operations on
// the same pattern and subject, with its text set only then.
TEST(MatchKitDirectMatcher, ICUOperationsAfterDirectMatches) {
    auto subject = str("x <b>one</b> <b>two</b> y");
    auto pattern = str("<b>([^<]*)</b>");
    NSRange r = rangeOfRegex(subject.get(), pattern.get(), 0, NSMakeRange(5, 20), 1, nullptr);
    EXPECT_EQ(r.location, 16u);
    EXPECT_EQ(r.length, 3u);
    auto all = componentsMatchedByRegex(subject.get(), pattern.get(), 1);
    ASSERT_EQ(all->count(), 2u);
    EXPECT_EQ(text(all->objectAtIndex(1).get()), "two");
    EXPECT_EQ(
        text(stringByReplacingOccurrencesOfRegex(subject.get(), pattern.get(), NS("[$1]")).get()),
        "x [one] [two] y");
    r = rangeOfRegex(subject.get(), pattern.get(), 0, NSMakeRange(0, subject->length()), 1,
                     nullptr);
    EXPECT_EQ(r.location, 5u);
    // The same through a subject that keeps no text in place.
    auto fragmented = FragmentedString::withUTF8("a <b>three</b>");
    EXPECT_EQ(text(stringByMatching(fragmented.get(), pattern.get(), 1).get()), "three");
    auto pieces = componentsSeparatedByRegex(fragmented.get(), pattern.get());
    ASSERT_EQ(pieces->count(), 2u);  // the text before the match, then its group
    EXPECT_EQ(text(pieces->objectAtIndex(1).get()), "three");
    // A pattern that is not its own string object still finds the same entry.
    EXPECT_TRUE(isMatchedByRegex(NS("<b>z</b>"), str("<b>([^<]*)</b>").get()));
    EXPECT_FALSE(isMatchedByRegex(NS("<b>z<b>"), pattern.get()));
}

}  // namespace
