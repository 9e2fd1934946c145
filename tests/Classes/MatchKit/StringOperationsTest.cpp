#include <gtest/gtest.h>

#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "MatchKitTesting.h"

namespace {

TEST(MatchKitSplit, SegmentsBetweenMatches) {
    EXPECT_EQ(strings(componentsSeparatedByRegex(NS("a,b,,c"), NS(","))),
              (Strings{"a", "b", "", "c"}));
    // Trailing empty segments never appear.
    EXPECT_EQ(strings(componentsSeparatedByRegex(NS("a,b,,"), NS(","))), (Strings{"a", "b"}));
    EXPECT_EQ(strings(componentsSeparatedByRegex(NS(",,"), NS(","))), Strings{});
    EXPECT_EQ(strings(componentsSeparatedByRegex(NS("abc"), NS("x"))), Strings{"abc"});
    EXPECT_EQ(strings(componentsSeparatedByRegex(NS("abc"), NS(","), NSMakeRange(1, 0))),
              Strings{});
    // Groups are included after the segment their match ends.
    EXPECT_EQ(strings(componentsSeparatedByRegex(NS("a1b2c"), NS("(\\d)"))),
              (Strings{"a", "1", "b", "2", "c"}));
    // An empty match where a segment begins does not split it.
    EXPECT_EQ(strings(componentsSeparatedByRegex(NS("a1b"), NS("\\d*"))), (Strings{"a", "b"}));
    EXPECT_EQ(strings(componentsSeparatedByRegex(NS("x-a,b-y"), NS(","), NSMakeRange(2, 3))),
              (Strings{"a", "b"}));
}

TEST(MatchKitReplace, TemplatesAndRanges) {
    EXPECT_EQ(text(stringByReplacingOccurrencesOfRegex(NS("hello world"), NS("(\\w+) (\\w+)"),
                                                       NS("$2 $1"))),
              "world hello");
    EXPECT_EQ(text(stringByReplacingOccurrencesOfRegex(NS("cost 5"), NS("(\\d)"), NS("\\$$1"))),
              "cost $5");
    // Only the searched range belongs to the result.
    EXPECT_EQ(text(stringByReplacingOccurrencesOfRegex(NS("aa-aa-aa"), NS("a"), NS("b"),
                                                       NSMakeRange(3, 2))),
              "bb");
    EXPECT_EQ(
        text(stringByReplacingOccurrencesOfRegex(NS("abc"), NS("x"), NS("y"), NSMakeRange(1, 2))),
        "bc");
    EXPECT_EQ(text(stringByReplacingOccurrencesOfRegex(NS("abc"), NS("."), NS(""))), "");
    EXPECT_EQ(text(stringByReplacingOccurrencesOfRegex(NS(""), NS("x"), NS("y"))), "");

    // No match over the whole subject answers the subject's text.
    auto subject = str("unchanged");
    EXPECT_EQ(text(stringByReplacingOccurrencesOfRegex(subject, NS("z"), NS("y"))), "unchanged");
}

TEST(MatchKitReplace, OutputLongerThanPredictedIsRedone) {
    // Each one-unit match grows to 40 units: far beyond the first output estimate, and beyond
    // the fixed buffer, so the second pass runs on the heap.
    std::string subject(20000, 'a');
    std::string expected;
    for (int i = 0; i < 20000; ++i)
        expected += "[0123456789012345678901234567890123456]";
    auto out = stringByReplacingOccurrencesOfRegex(str(subject), NS("a"),
                                                   NS("[0123456789012345678901234567890123456]"));
    EXPECT_EQ(text(out), expected);
}

TEST(MatchKitReplace, InPlace) {
    auto s = NSMutableString::stringWithString(NS("no digits"));
    EXPECT_EQ(replaceOccurrencesOfRegex(s, NS("\\d"), NS("#")), 0);
    EXPECT_EQ(text(s), "no digits");

    auto t = NSMutableString::stringWithString(NS("a1 b22 c333"));
    EXPECT_EQ(replaceOccurrencesOfRegex(t, NS("\\d+"), NS("<$0>")), 3);
    EXPECT_EQ(text(t), "a<1> b<22> c<333>");
    // A range is spliced back into the rest of the receiver.
    EXPECT_EQ(replaceOccurrencesOfRegex(t, NS("[abc]"), NS("X"), NSMakeRange(5, 5)), 1);
    EXPECT_EQ(text(t), "a<1> X<22> c<333>");
    // The changed receiver is matched by its new text.
    EXPECT_EQ(text(stringByMatching(t, NS("X<(\\d+)>"), 1)), "22");
}

TEST(MatchKitFirstMatch, RangesAndCaptures) {
    EXPECT_EQ(rangeOfRegex(NS("xxabcxx"), NS("b(c)")), NSMakeRange(3, 2));
    EXPECT_EQ(rangeOfRegex(NS("xxabcxx"), NS("b(c)"), 1), NSMakeRange(4, 1));
    EXPECT_EQ(rangeOfRegex(NS("xxabcxx"), NS("z")), kNotFound);
    // A group that did not participate in the match.
    EXPECT_EQ(rangeOfRegex(NS("b"), NS("(a)|(b)"), 1), kNotFound);
    EXPECT_EQ(rangeOfRegex(NS("b"), NS("(a)|(b)"), 2), NSMakeRange(0, 1));
    // Positions count from the subject's start even when the search starts later.
    EXPECT_EQ(rangeOfRegex(NS("ab ab ab"), NS("ab"), NSMakeRange(1, 7)), NSMakeRange(3, 2));
    // ICU sees only the range: an anchor matches at its start.
    EXPECT_EQ(rangeOfRegex(NS("xab"), NS("^ab"), NSMakeRange(1, 2)), NSMakeRange(1, 2));

    EXPECT_TRUE(
        isMatchedByRegex(NS("Hello"), NS("hello"), MTKRegexCaseless, NSMakeRange(0, 5), nullptr));
    EXPECT_FALSE(isMatchedByRegex(NS("Hello"), NS("hello")));
    EXPECT_EQ(text(stringByMatching(NS("price $120 now"), NS("\\$([0-9]+)"), 1)), "120");
    EXPECT_EQ(stringByMatching(NS("nothing"), NS("\\d")), nullptr);
    EXPECT_EQ(stringByMatching(NS("b"), NS("(a)|(b)"), 1), nullptr);

    // Positions are UTF-16 units: a character outside the basic plane counts two.
    auto emoji = str("\xF0\x9F\x98\x80 x");
    EXPECT_EQ(rangeOfRegex(emoji, NS("x")), NSMakeRange(3, 1));
}

TEST(MatchKitFirstMatch, SuccessiveWindowsAsTheAppIterates) {
    // The app's row loop: capture, then move the window's start past the capture.
    auto page = str("<a href=\"/1\">One</a><a href=\"/2\">Two</a><a href=\"/3\">Three</a>");
    NSString* row = NS("<a href=\"([^\"]*)\">([^<]*)</a>");
    NSRange window = NSMakeRange(0, page->length());
    Strings titles;
    for (;;) {
        NSRange r = rangeOfRegex(page, row, 0, window, 2, nullptr);
        if (r.location == static_cast<NSUInteger>(NSNotFound)) break;
        titles.push_back(page->substringWithRange(r)->utf8());
        NSUInteger end = NSMaxRange(window);
        window = NSMakeRange(NSMaxRange(r), end - NSMaxRange(r));
    }
    EXPECT_EQ(titles, (Strings{"One", "Two", "Three"}));
}

TEST(MatchKitCollections, CapturesOfMatches) {
    EXPECT_EQ(strings(componentsMatchedByRegex(NS("a1 b22 c333"), NS("\\d+"))),
              (Strings{"1", "22", "333"}));
    EXPECT_EQ(strings(componentsMatchedByRegex(NS("a1 b22 x"), NS("([a-z])(\\d+)?"), 2)),
              (Strings{"1", "22", ""}));
    EXPECT_EQ(strings(captureComponentsMatchedByRegex(NS("k=v; x=y"), NS("(\\w)=(\\w)"))),
              (Strings{"k=v", "k", "v"}));
    EXPECT_EQ(strings(captureComponentsMatchedByRegex(NS("none"), NS("(\\d)"))), Strings{});

    auto all = arrayOfCaptureComponentsMatchedByRegex(NS("k=v; x=y"), NS("(\\w)=(\\w)"));
    ASSERT_EQ(all->count(), 2u);
    EXPECT_EQ(strings(as<NSArray>(all->objectAtIndex(1))), (Strings{"x=y", "x", "y"}));
    EXPECT_EQ(arrayOfCaptureComponentsMatchedByRegex(NS(""), NS("x"))->count(), 0u);

    // More matches than the fixed range buffer holds.
    std::string many;
    for (int i = 0; i < 5000; ++i)
        many += "n" + std::to_string(i % 10) + " ";
    auto digits = componentsMatchedByRegex(str(many), NS("\\d"));
    ASSERT_EQ(digits->count(), 5000u);
    EXPECT_EQ(text(digits->objectAtIndex(4999)), "9");
}

TEST(MatchKitCollections, EmptyMatchesAnswerTheSameWhateverCameBefore) {
    // A first-match search leaves the matcher on an empty match at the end of the text; a walk
    // over the same range must still find that match.
    auto empty = str("");
    NSString* pattern = NS("a*");
    EXPECT_EQ(rangeOfRegex(empty, pattern), NSMakeRange(0, 0));
    EXPECT_EQ(strings(componentsMatchedByRegex(empty, pattern)), Strings{""});
    EXPECT_EQ(strings(componentsMatchedByRegex(empty, pattern)), Strings{""});

    auto ab = str("ab");
    EXPECT_EQ(rangeOfRegex(ab, NS("x*"), NSMakeRange(2, 0)), NSMakeRange(2, 0));
    EXPECT_EQ(strings(componentsMatchedByRegex(ab, NS("x*"), NSMakeRange(2, 0))), Strings{""});
    EXPECT_EQ(strings(componentsMatchedByRegex(ab, NS("x*"))), (Strings{"", "", ""}));
    EXPECT_EQ(rangeOfRegex(ab, NS("x*"), NSMakeRange(1, 1)), NSMakeRange(1, 0));
}

TEST(MatchKitCollections, KeyedCaptures) {
    auto d = dictionaryByMatchingRegex(NS("name=Bike price="), NS("name=(\\w*) price=(\\w*)( x)?"),
                                       {{NS("name"), 1}, {NS("price"), 2}, {NS("extra"), 3}});
    EXPECT_EQ(text(d->objectForKey(NS("name"))), "Bike");
    // An empty capture is the empty string; one that did not participate leaves its key out.
    EXPECT_EQ(text(d->objectForKey(NS("price"))), "");
    EXPECT_EQ(d->objectForKey(NS("extra")), nullptr);
    // The list ends at the first nil key.
    auto cut = dictionaryByMatchingRegex(NS("ab"), NS("(a)(b)"),
                                         {{NS("first"), 1}, {nullptr, 0}, {NS("second"), 2}});
    EXPECT_EQ(cut->count(), 1u);
    EXPECT_EQ(dictionaryByMatchingRegex(NS("zz"), NS("(a)"), {{NS("a"), 1}})->count(), 0u);

    auto rows = arrayOfDictionariesByMatchingRegex(NS("a=1,b=2"), NS("(\\w)=(\\d)"),
                                                   {{NS("k"), 1}, {NS("v"), 2}});
    ASSERT_EQ(rows->count(), 2u);
    auto second = as<NSDictionary>(rows->objectAtIndex(1));
    EXPECT_EQ(text(second->objectForKey(NS("k"))), "b");
    EXPECT_EQ(text(second->objectForKey(NS("v"))), "2");

    NSString* keys[] = {NS("v")};
    NSInteger captures[] = {2};
    auto byArrays = arrayOfDictionariesByMatchingRegex(NS("a=1,b=2"), NS("(\\w)=(\\d)"), 0,
                                                       NSMakeRange(0, NSUIntegerMax), nullptr, keys,
                                                       captures, 1);
    EXPECT_EQ(text(as<NSDictionary>(byArrays->objectAtIndex(0))->objectForKey(NS("v"))), "1");
}

TEST(MatchKitPatterns, CaptureCountsAndValidity) {
    EXPECT_EQ(captureCountForRegex(NS("(a)(b(c))")), 3);
    EXPECT_EQ(captureCount(NS("abc")), 0);
    EXPECT_EQ(captureCountForRegex(NS("(a")), -1);
    EXPECT_TRUE(isRegexValid(NS("a+")));
    EXPECT_FALSE(isRegexValid(NS("a{")));
    Ref<NSError> error;
    EXPECT_FALSE(isRegexValidWithOptions(NS("a"), 0x40000000, &error));
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(text(error->domain()), "MTKICURegexErrorDomain");
}

}  // namespace
