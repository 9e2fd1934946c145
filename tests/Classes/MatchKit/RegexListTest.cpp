// Pattern lists: every range equals what the single operation answers, for plain patterns and
// ICU's, on subjects kept in place and out of place; each pattern is looked up in the cache once
// and recognised afterwards; an evicted or flushed entry is found again; operations after a list
// answer alike; wrong use raises alike.
#include <gtest/gtest.h>

#include <string>

#include "Classes/MatchKit/MTKRegexList.h"
#include "MatchKitTesting.h"

namespace {

const char* const kText = "<p><a href=\"/1\">one &amp; two</a> $12.5</p> m4w - 30 <a>x</a>";

TEST(MatchKitRegexList, RangesEqualTheSingleOperation) {
    auto inPlace = str(kText);
    auto outOfPlace = FragmentedString::withUTF8(kText);
    const NSUInteger length = inPlace->length();
    MTKRegexList list({
        {NS(">([^<]*)</a>"), 1},           // plain: a run and a literal tail
        {NS("<a href=\"([^>]*)\">"), 1},   // plain: a literal prefix
        {NS("(\\$[0-9][0-9\\.]*)"), 0},    // plain, the whole match
        {NS("([wmt]4[wmt][- 0-9]*)"), 1},  // plain: classes first
        {NS("x</a>$"), 0},                 // ICU's: an anchor, matching at the very end
        {NS("(?:<p>)(<a)"), 1},            // ICU's: matching at the very start
        {NS("(z)?q"), 1},                  // never matches
        {NS("(unclosed"), 0},              // does not compile
    });
    const NSRange windows[] = {
        NSMakeRange(0, length),        NSMakeRange(3, length - 3), NSMakeRange(0, 32),
        NSMakeRange(length - 8, 8),    NSMakeRange(length, 0),     NSMakeRange(40, 0),
        NSMakeRange(0, NSUIntegerMax),
    };
    for (NSString* subject :
         {static_cast<NSString*>(inPlace.get()), static_cast<NSString*>(outOfPlace.get())}) {
        for (NSRange window : windows) {
            SCOPED_TRACE(testing::Message() << window.location << "+" << window.length);
            NSRange found[8];
            ASSERT_EQ(list.count(), 8u);
            list.rangesInRange(subject, window, found);
            static const NSInteger captures[] = {1, 1, 0, 1, 0, 1, 1, 0};
            static const char* const regexes[] = {">([^<]*)</a>",
                                                  "<a href=\"([^>]*)\">",
                                                  "(\\$[0-9][0-9\\.]*)",
                                                  "([wmt]4[wmt][- 0-9]*)",
                                                  "x</a>$",
                                                  "(?:<p>)(<a)",
                                                  "(z)?q",
                                                  "(unclosed"};
            for (int i = 0; i < 8; ++i) {
                SCOPED_TRACE(regexes[i]);
                EXPECT_EQ(found[i], rangeOfRegex(subject, str(regexes[i]).get(), 0, window,
                                                 captures[i], nullptr));
            }
        }
    }
    // A few answers spelled out, so that the comparison above cannot agree on nothing.
    NSRange found[8];
    list.rangesInRange(inPlace.get(), NSMakeRange(0, length), found);
    EXPECT_EQ(inPlace->substringWithRange(found[0])->utf8(), "one &amp; two");
    EXPECT_EQ(inPlace->substringWithRange(found[2])->utf8(), "$12.5");
    EXPECT_EQ(inPlace->substringWithRange(found[3])->utf8(), "m4w - 30 ");
    EXPECT_EQ(found[4], NSMakeRange(length - 5, 5));
    EXPECT_EQ(found[5], NSMakeRange(3, 2));
    EXPECT_EQ(found[6], kNotFound);
    EXPECT_EQ(found[7], kNotFound);
}

TEST(MatchKitRegexList, LooksEachPatternUpOnceAndFindsItAgainAfterAFlush) {
    clearStringCache();
    auto subject = str(kText);
    MTKRegexList list({{NS(">([^<]*)</a>"), 1}, {NS("(\\$[0-9]+)"), 1}});
    NSRange found[2];
    list.rangesInRange(subject.get(), NSMakeRange(0, 30), found);
    const MTKCacheCounters first = mtk_cacheCounters();
    for (int i = 0; i < 5; ++i)
        list.rangesInRange(subject.get(), NSMakeRange(0, subject->length()), found);
    const MTKCacheCounters later = mtk_cacheCounters();
    EXPECT_EQ(later.compiles, first.compiles);
    EXPECT_EQ(later.lastHits + later.indexHits + later.setHits,
              first.lastHits + first.indexHits + first.setHits);
    EXPECT_EQ(subject->substringWithRange(found[1])->utf8(), "$12");

    // Flushed: the remembered entries hold nothing now, so the patterns are compiled anew.
    clearStringCache();
    list.rangesInRange(subject.get(), NSMakeRange(0, subject->length()), found);
    EXPECT_EQ(mtk_cacheCounters().compiles, later.compiles + 2);
    EXPECT_EQ(subject->substringWithRange(found[0])->utf8(), "one &amp; two");

    // Every way of the pattern's set taken by other patterns: the entry the list remembers now
    // holds one of them, and the list must not match with it.
    const int set = mtk_cacheSetFor(NS("(\\$[0-9]+)"), 0);
    clearStringCache();
    for (int i = 0, filled = 0; filled < kMTKCacheWays; ++i) {
        auto other = str("(q" + std::to_string(i) + ")");
        if (mtk_cacheSetFor(other.get(), 0) != set) continue;
        ASSERT_TRUE(isRegexValid(other.get()));
        ++filled;
    }
    list.rangesInRange(subject.get(), NSMakeRange(0, subject->length()), found);
    EXPECT_EQ(subject->substringWithRange(found[1])->utf8(), "$12");
    EXPECT_EQ(subject->substringWithRange(found[0])->utf8(), "one &amp; two");
}

// A subject edited in place between two calls, to the same length: the second call reads the
// new text, for every pattern of the list.
TEST(MatchKitRegexList, ASubjectEditedBetweenCallsIsReadAnew) {
    auto subject = NSMutableString::stringWithString(str("<a>one</a> $12 <a>x</a>").get());
    MTKRegexList list({{NS(">([^<]*)</a>"), 1}, {NS("(\\$[0-9]+)"), 1}});
    NSRange found[2];
    list.rangesInRange(subject.get(), NSMakeRange(0, subject->length()), found);
    EXPECT_EQ(subject->substringWithRange(found[0])->utf8(), "one");
    EXPECT_EQ(subject->substringWithRange(found[1])->utf8(), "$12");
    subject->replaceCharactersInRange(NSMakeRange(3, 3), NS("two"));
    subject->replaceCharactersInRange(NSMakeRange(11, 3), NS("$34"));
    list.rangesInRange(subject.get(), NSMakeRange(0, subject->length()), found);
    EXPECT_EQ(subject->substringWithRange(found[0])->utf8(), "two");
    EXPECT_EQ(subject->substringWithRange(found[1])->utf8(), "$34");
}

// Plain patterns are matched on the subject's units without binding their cached entries to it:
// operations that use the same entries afterwards, ICU's included, on the list's subject or on
// the one bound before, answer as they would have.
TEST(MatchKitRegexList, OperationsAfterAListAnswerAlike) {
    auto before = str("<a>one</a> <a>two</a>");
    auto listed = str("<a>three</a> <a>four</a>");
    auto pattern = str(">([^<]*)</a>");
    MTKRegexList list({{pattern.get(), 1}});
    NSRange found[1];
    EXPECT_EQ(text(stringByMatching(before.get(), pattern.get(), 1).get()), "one");
    list.rangesInRange(listed.get(), NSMakeRange(4, listed->length() - 4), found);
    EXPECT_EQ(listed->substringWithRange(found[0])->utf8(), "four");
    auto all = componentsMatchedByRegex(before.get(), pattern.get(), 1);
    ASSERT_EQ(all->count(), 2u);
    EXPECT_EQ(text(all->objectAtIndex(1).get()), "two");
    all = componentsMatchedByRegex(listed.get(), pattern.get(), 1);
    ASSERT_EQ(all->count(), 2u);
    EXPECT_EQ(text(all->objectAtIndex(0).get()), "three");
    EXPECT_EQ(rangeOfRegex(listed.get(), pattern.get(), 0, NSMakeRange(4, listed->length() - 4), 1,
                           nullptr),
              found[0]);
}

TEST(MatchKitRegexList, WrongUseRaisesAsTheSingleOperationDoes) {
    auto subject = str("abc");
    MTKRegexList list({{NS("(b)"), 1}, {NS("c"), 1}});
    NSRange found[2];
    EXPECT_EQ(raisedName([&] { list.rangesInRange(subject.get(), NSMakeRange(2, 5), found); }),
              "NSRangeException");
    // "c" has no group 1: raised on every call, not only when the pattern is first found.
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(raisedName([&] { list.rangesInRange(subject.get(), NSMakeRange(0, 3), found); }),
                  "NSInvalidArgumentException");
    }
    EXPECT_EQ(raisedName([&] { list.rangesInRange(nullptr, NSMakeRange(0, 0), found); }),
              "NSInternalInconsistencyException");
    MTKRegexList withNil({{NS("(b)"), 1}, {nullptr, 0}});
    EXPECT_EQ(raisedName([&] { withNil.rangesInRange(subject.get(), NSMakeRange(0, 3), found); }),
              "NSInvalidArgumentException");
    // The lock was let go each time.
    MTKRegexList fine({{NS("(b)"), 1}});
    fine.rangesInRange(subject.get(), NSMakeRange(0, 3), found);
    EXPECT_EQ(found[0], NSMakeRange(1, 1));
}

}  // namespace
