// The wide unit searches against the plain definition, at each block width the processor offers
// and unit by unit, at every start and end around the block sizes, so that block edges, tails and
// matches straddling a block are all met; and the string operations built on them.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "Foundation/UnitSearch.h"
#include "support/FoundationTesting.h"

namespace {

size_t plainFind(std::u16string_view s, size_t from, size_t end, std::u16string_view needle) {
    for (size_t i = from; i + needle.size() <= end; ++i) {
        if (s.substr(i, needle.size()) == needle) return i;
    }
    return end;
}

size_t plainFindAny(std::u16string_view s, size_t from, size_t end, std::u16string_view set) {
    for (size_t i = from; i < end; ++i) {
        if (set.find(s[i]) != std::u16string_view::npos) return i;
    }
    return end;
}

// Every block width the processor offers, narrowest first, and unit by unit.
void agreesWithThePlainSearchEverywhere() {
    std::mt19937 rng(7);
    const std::u16string alphabet = u"<a>b\u00e9\u4e2d";
    const std::u16string needles[] = {u"<", u"<a", u"<a>", u"a>b<a", u"\u00e9\u4e2d"};
    int found = 0;
    for (int round = 0; round < 60; ++round) {
        std::u16string s;
        size_t length = rng() % 70;
        for (size_t i = 0; i < length; ++i)
            s += alphabet[rng() % alphabet.size()];
        for (size_t from = 0; from <= s.size(); ++from) {
            for (size_t end = from; end <= s.size(); end += 1 + rng() % 3) {
                for (const auto& n : needles) {
                    size_t want = plainFind(s, from, end, n);
                    found += want != end;
                    ASSERT_EQ(bn::findUnits(s.data(), from, end, n.data(), n.size()), want)
                        << from << " " << end;
                    if (n.size() == 1) {
                        ASSERT_EQ(bn::findUnit(s.data(), from, end, n[0]), want);
                    }
                }
                for (std::u16string_view set : {u"<", u"<>", u"b\u00e9a", u"><\u4e2db"}) {
                    ASSERT_EQ(bn::findAnyUnit(s.data(), from, end, set.data(), set.size()),
                              plainFindAny(s, from, end, set));
                }
            }
        }
    }
    EXPECT_GT(found, 1000);
    // An empty needle, or one longer than the text, is found nowhere.
    const char16_t text[] = u"abc";
    EXPECT_EQ(bn::findUnits(text, 0, 3, u"", 0), 3u);
    EXPECT_EQ(bn::findUnits(text, 1, 3, u"bcd", 3), 3u);
}

TEST(UnitSearch, AgreesWithThePlainSearchEverywhere) {
    const int widest = bn::unitSearchWidth();
    for (int width : {16, 128, 256, 512}) {
        bn::limitUnitSearchWidth(width);
        if (bn::unitSearchWidth() != width) continue;  // not offered here
        SCOPED_TRACE(width);
        agreesWithThePlainSearchEverywhere();
    }
    bn::limitUnitSearchWidth(widest);
    EXPECT_EQ(bn::unitSearchWidth(), widest);
}

TEST(UnitSearch, StringOperationsOverLongTexts) {
    std::string text(300, 'x');
    text.replace(17, 3, "<p>");
    text.replace(150, 3, "<p>");
    text.replace(297, 3, "<p>");
    auto s = str(text);
    NSRange r = s->rangeOfString(NS("<p>"));
    EXPECT_EQ(r.location, 17u);
    r = s->rangeOfString(NS("<p>"), 0, NSMakeRange(18, 282));
    EXPECT_EQ(r.location, 150u);
    r = s->rangeOfString(NS("<p>"), 0, NSMakeRange(151, 148));
    EXPECT_EQ(r.location, static_cast<NSUInteger>(NSNotFound));  // the last one runs past
    auto parts = s->componentsSeparatedByString(NS("<p>"));
    ASSERT_EQ(parts->count(), 4u);
    EXPECT_EQ(cast<NSString>(parts->objectAtIndex(3))->length(), 0u);
    EXPECT_EQ(cast<NSString>(parts->objectAtIndex(1))->length(), 130u);
}

}  // namespace
