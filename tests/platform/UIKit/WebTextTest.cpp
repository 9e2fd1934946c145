// The web view's text helpers.
#include <gtest/gtest.h>

#include <string>

#include "UIKit/WebContent/WebText.h"

namespace {

// One character at a time, as the markup's rules say.
std::string escapedOneByOne(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '"') {
            out += "&quot;";
        } else {
            out += c;
        }
    }
    return out;
}

TEST(WebText, EscapingMarkupTakesPlainRunsWholeAndEscapesTheRest) {
    EXPECT_EQ(webcontent::escapedHTML("a <b> & \"c\" 'd'"), "a &lt;b&gt; &amp; &quot;c&quot; 'd'");
    const std::string cases[] = {"",
                                 "plain text only",
                                 "&",
                                 "<<>>",
                                 "ends with &",
                                 "\"starts",
                                 std::string("nul\0inside<", 11),
                                 "caf\xc3\xa9 & cr\xc3\xa8me > 1\xe2\x82\xac"};
    for (const auto& s : cases) {
        SCOPED_TRACE(s);
        EXPECT_EQ(webcontent::escapedHTML(s), escapedOneByOne(s));
        std::string out = "kept:";
        webcontent::appendEscapedHTML(out, s);
        EXPECT_EQ(out, "kept:" + escapedOneByOne(s));
    }
}

}  // namespace
