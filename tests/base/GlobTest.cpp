#include <gtest/gtest.h>

#include <string_view>

#include "base/Glob.h"

namespace {

struct Case {
    std::string_view pattern;
    std::string_view text;
    bool matches;
};

void expectCases(std::initializer_list<Case> cases) {
    for (const Case& c : cases)
        EXPECT_EQ(base::globMatchesIgnoringCase(c.pattern, c.text), c.matches)
            << "'" << c.pattern << "' against '" << c.text << "'";
}

}  // namespace

TEST(Glob, LettersMatchInEitherCaseAndOtherCharactersExactly) {
    expectCases({{"site.BAZAARNEST.test", "Site.bazaarnest.TEST", true},
                 {"site.bazaarnest.test", "site-bazaarnest.test", false},
                 {"site.test", "site.test.extra", false},
                 {"site.test.extra", "site.test", false},
                 {"", "", true},
                 {"", "a", false}});
}

TEST(Glob, StarMatchesAnyRunIncludingNone) {
    expectCases({{"*", "", true},
                 {"*", "anything.test", true},
                 {"*.services.test", "admin.services.test", true},
                 {"*.services.test", "services.test", false},
                 {"api*.test", "api.test", true},
                 {"a**b", "ab", true}});
}

TEST(Glob, StarBacktracksToItsLastPosition) {
    // The first place where the text after the star could start is not the one that matches.
    expectCases({{"*.test", "a.test.test", true},
                 {"a*b*c", "aXbYbZc", true},
                 {"a*b*c", "aXbYbZ", false},
                 {"*ab", "aaab", true}});
}
