#include <gtest/gtest.h>

#include "Foundation/NSError.h"
#include "MatchKitTesting.h"

namespace {

constexpr NSRange kAll = {0, NSUIntegerMax};

struct Call {
    NSInteger count;
    Strings strings;
    std::vector<NSRange> ranges;
};

// Records every call, stopping after `stopAfter` calls when given.
MTKEnumerationBlock recorder(std::vector<Call>& calls, size_t stopAfter = 0) {
    return [&calls, stopAfter](NSInteger count, NSString* const* strs, const NSRange* ranges,
                               bool* stop) {
        Call c{count, {}, {}};
        for (NSInteger i = 0; i < count; ++i) {
            if (strs) c.strings.push_back(text(strs[i]));
            c.ranges.push_back(ranges[i]);
        }
        calls.push_back(c);
        if (stopAfter && calls.size() == stopAfter) *stop = true;
    };
}

TEST(MatchKitBlocks, MatchesWithTheirGroups) {
    std::vector<Call> calls;
    EXPECT_TRUE(
        enumerateStringsMatchedByRegex(NS("a=1 b=2 c"), NS("(\\w)=(\\d)"), recorder(calls)));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].count, 3);
    EXPECT_EQ(calls[0].strings, (Strings{"a=1", "a", "1"}));
    EXPECT_EQ(calls[1].ranges[0], NSMakeRange(4, 3));
    EXPECT_EQ(calls[1].ranges[2], NSMakeRange(6, 1));

    calls.clear();
    EXPECT_TRUE(
        enumerateStringsMatchedByRegex(NS("a=1 b=2 c=3"), NS("(\\w)=(\\d)"), recorder(calls, 1)));
    EXPECT_EQ(calls.size(), 1u);

    // Without strings the block still gets every range.
    calls.clear();
    EXPECT_TRUE(enumerateStringsMatchedByRegex(NS("x1y22"), NS("\\d+"), 0, kAll, nullptr,
                                               MTKRegexEnumerationNoCapturedStrings,
                                               recorder(calls)));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls[1].strings.empty());
    EXPECT_EQ(calls[1].ranges[0], NSMakeRange(3, 2));
}

TEST(MatchKitBlocks, SegmentsBetweenMatches) {
    std::vector<Call> calls;
    EXPECT_TRUE(enumerateStringsSeparatedByRegex(NS("a,b;;c"), NS("([,;])"), recorder(calls)));
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].strings, (Strings{"a", ","}));
    EXPECT_EQ(calls[2].strings, (Strings{"", ";"}));
    EXPECT_EQ(calls[3].strings, (Strings{"c", ""}));
    EXPECT_EQ(calls[3].ranges[1], kNotFound);

    // Trailing empty segments are held back and dropped, as componentsSeparatedByRegex does.
    calls.clear();
    EXPECT_TRUE(enumerateStringsSeparatedByRegex(NS("a,b,,"), NS(","), recorder(calls)));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].strings, Strings{"b"});
    calls.clear();
    EXPECT_TRUE(enumerateStringsSeparatedByRegex(NS(""), NS(","), recorder(calls)));
    EXPECT_TRUE(calls.empty());
}

TEST(MatchKitBlocks, ReplacingByBlock) {
    auto upper = [](NSInteger, NSString* const* s, const NSRange*, bool*) {
        return s[0]->uppercaseString();
    };
    EXPECT_EQ(text(stringByReplacingOccurrencesOfRegex(NS("a-b-c"), NS("([a-z])"), upper)),
              "A-B-C");
    // nil removes the match.
    auto drop = [](NSInteger, NSString* const*, const NSRange*, bool*) -> Ref<NSString> {
        return nullptr;
    };
    EXPECT_EQ(text(stringByReplacingOccurrencesOfRegex(NS("a1b2"), NS("\\d"), drop)), "ab");
    // Stopping keeps the rest of the range as it was.
    auto once = [](NSInteger, NSString* const*, const NSRange*, bool* stop) -> Ref<NSString> {
        *stop = true;
        return NS("#");
    };
    EXPECT_EQ(text(stringByReplacingOccurrencesOfRegex(NS("1 2 3"), NS("\\d"), once)), "# 2 3");
    // Only the range is answered.
    EXPECT_EQ(text(stringByReplacingOccurrencesOfRegex(NS("a b c"), NS("[a-z]"), 0,
                                                       NSMakeRange(2, 3), nullptr, 0, upper)),
              "B C");

    auto m = NSMutableString::stringWithString(NS("x1 y2 z3"));
    NSInteger n =
        replaceOccurrencesOfRegex(m, NS("\\d"), 0, NSMakeRange(3, 5), nullptr, 0,
                                  [](NSInteger, NSString* const* s, const NSRange*, bool*) {
                                      return NSString::stringWithFormat(NS("<%@>"), s[0]);
                                  });
    EXPECT_EQ(n, 2);
    EXPECT_EQ(text(m), "x1 y<2> z<3>");
    EXPECT_EQ(replaceOccurrencesOfRegex(m, NS("q"), upper), 0);
    EXPECT_EQ(text(m), "x1 y<2> z<3>");
}

TEST(MatchKitBlocks, StringsWithoutCopiesFollowTheMatch) {
    NSString* kept = nullptr;
    Strings seen;
    EXPECT_TRUE(
        enumerateStringsMatchedByRegex(NS("one two three"), NS("\\w+"), 0, kAll, nullptr,
                                       MTKRegexEnumerationUncopiedCapturedStrings,
                                       [&](NSInteger, NSString* const* s, const NSRange*, bool*) {
                                           if (kept) seen.push_back(text(kept));
                                           kept = s[0];
                                       }));
    // The string kept from one call shows the next match's text in the following call.
    EXPECT_EQ(seen, (Strings{"two", "three"}));
}

TEST(MatchKitBlocks, BlocksMayUseTheOtherOperations) {
    Strings inner;
    EXPECT_TRUE(enumerateStringsMatchedByRegex(
        NS("k1=v1;k2=v2"), NS("[^;]+"), [&](NSInteger, NSString* const* s, const NSRange*, bool*) {
            inner.push_back(text(stringByMatching(s[0], NS("=(\\w+)"), 1)));
        }));
    EXPECT_EQ(inner, (Strings{"v1", "v2"}));
}

TEST(MatchKitBlocks, WrongUseAndFailures) {
    std::vector<Call> calls;
    EXPECT_EQ(raisedReason([&] {
                  enumerateStringsMatchedByRegex(NS("a"), NS("a"), 0, kAll, nullptr,
                                                 MTKRegexEnumerationNoCapturedStrings |
                                                     MTKRegexEnumerationUncopiedCapturedStrings,
                                                 recorder(calls));
              }),
              "*** -[NSString enumerateStringsMatchedByRegex:options:inRange:error:"
              "enumerationOptions:usingBlock:]: The MTKRegexEnumerationOptions argument is not "
              "valid.");
    EXPECT_EQ(raisedName([&] {
                  enumerateStringsSeparatedByRegex(NS("a"), NS("a"), 0, kAll, nullptr,
                                                   MTKRegexEnumerationReplacementStringOwned,
                                                   recorder(calls));
              }),
              "NSInvalidArgumentException");
    EXPECT_EQ(raisedName([&] {
                  enumerateStringsMatchedByRegex(NS("abc"), NS("a"), 0, NSMakeRange(2, 5), nullptr,
                                                 0, recorder(calls));
              }),
              "NSRangeException");
    EXPECT_EQ(raisedName([] { enumerateStringsMatchedByRegex(NS("a"), NS("a"), nullptr); }),
              "NSInvalidArgumentException");
    EXPECT_TRUE(calls.empty());

    Ref<NSError> error;
    EXPECT_FALSE(
        enumerateStringsMatchedByRegex(NS("abc"), NS("(("), 0, kAll, &error, 0, recorder(calls)));
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(text(error->domain()), "MTKICURegexErrorDomain");
    error = nullptr;
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(
                  NS("abc"), NS("(("), 0, kAll, &error, 0,
                  [](NSInteger, NSString* const*, const NSRange*, bool*) { return NS("x"); }),
              nullptr);
    EXPECT_NE(error, nullptr);

    // An exception from the block passes through and leaves nothing locked.
    EXPECT_EQ(raisedName([] {
                  enumerateStringsMatchedByRegex(
                      NS("a"), NS("a"), [](NSInteger, NSString* const*, const NSRange*, bool*) {
                          NSException::raise(NSGenericException, NS("from the block"));
                      });
              }),
              "NSGenericException");
    EXPECT_TRUE(isMatchedByRegex(NS("a"), NS("a")));
}

}  // namespace
