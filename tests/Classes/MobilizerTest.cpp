// The listing body cleaner on hand-made bodies and on the rich bodies the site's posters write,
// and the page simplifier's URL and image placeholders against the site's simplifying service.
#include <gtest/gtest.h>

#include <string>

#include "Classes/ItemPage.h"
#include "Classes/Mobilizer.h"
#include "Classes/MobilizerPage.h"
#include "Foundation/NSArray.h"
#include "ListingPagesTesting.h"

namespace {

std::string clean(const std::string& html) {
    return text(Mobilizer::mobilizer(str(html)));
}

size_t count(const std::string& haystack, const std::string& needle) {
    size_t n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + needle.size()))
        ++n;
    return n;
}

}  // namespace

TEST(Mobilizer, BreaksAndParagraphs) {
    // A bare paragraph tag is not a break; one with attributes is, in any case.
    EXPECT_EQ(clean("one<p>two"), "one two");
    EXPECT_EQ(clean("one<P class=\"x\">two"), "one<br />two");
    EXPECT_EQ(clean("a</p>b</TR>c</table>d<hr size=2>e<br/>f"),
              "a<br />b<br />c<br />d<br />e<br />f");
    // Runs of three or more breaks become two.
    EXPECT_EQ(clean("a<br><br><br><br><br>b"), "a<br /><br />b");
    EXPECT_EQ(clean("a<br><br>b"), "a<br /><br />b");
}

TEST(Mobilizer, KeptAndRemovedTags) {
    EXPECT_EQ(clean("<font size=\"4\">word</font>"), " word ");
    EXPECT_EQ(clean("<a href=\"http://x.test/?a=1&b=2\" target=\"_blank\">link</a>"),
              "<a href=\"http://x.test/?a=1&b=2\" target=\"_blank\">link</a>");
    EXPECT_EQ(clean("<IMG SRC=\"http://x.test/i.jpg\" width=600>"),
              "<IMG SRC=\"http://x.test/i.jpg\" width=600>");
    EXPECT_EQ(clean("<b>bold</b>"), "<b>bold</b>");
    // Script and style elements go with their content, in any case and over lines; each
    // leaves one space. One left open runs to the end of the body.
    EXPECT_EQ(clean("a<script type=\"text/javascript\">var x = 1;</script>b"), "a b");
    EXPECT_EQ(clean("a<SCRIPT>\nif (a < b) go();\n</Script >b"), "a b");
    EXPECT_EQ(clean("a<style>p { color: red }</style><b>b</b>"), "a <b>b</b>");
    EXPECT_EQ(clean("a<script/>b</script>c<script>d"), "a c ");
    // Only those names: a longer tag name is an ordinary tag, its text stays.
    EXPECT_EQ(clean("<scripture>verse</scripture>"), " verse ");
    // Names are prefixes: the body tag and the abbr tag survive.
    EXPECT_EQ(clean("<body><abbr>t</abbr>"), "<body><abbr>t</abbr>");
    EXPECT_EQ(text(Mobilizer::mobilizer(nullptr)), "(nil)");
    EXPECT_EQ(clean(""), "");
}

TEST(Mobilizer, BodiesFromTheSite) {
    // A body pasted in rich markup: no table, font, script or paragraph tags are left; the link
    // and the bold title survive, the script's code is gone.
    auto rich = listingtest::findListing(
        [](const bnsite::Listing& l) { return l.bodyHtml.find("<table") != std::string::npos; });
    ASSERT_TRUE(rich);
    std::string out = clean(rich->bodyHtml);
    for (const char* gone : {"<table", "<td", "<font", "<script", "<P", "<p", "</td"})
        EXPECT_EQ(out.find(gone), std::string::npos) << gone << " in " << out;
    EXPECT_NE(out.find("<a href=\"http://www.example.test/more\">More details</a>"),
              std::string::npos);
    EXPECT_NE(out.find("<b>"), std::string::npos);
    EXPECT_EQ(out.find("<br /><br /><br />"), std::string::npos);
    EXPECT_EQ(out.find("promo"), std::string::npos) << out;
    // A plain body keeps its double line breaks.
    auto plain = listingtest::findListing([](const bnsite::Listing& l) {
        return l.bodyHtml.find("<table") == std::string::npos &&
               l.bodyHtml.find("<br>\n<br>\n") != std::string::npos;
    });
    ASSERT_TRUE(plain);
    EXPECT_NE(clean(plain->bodyHtml).find("<br />\n<br />\n"), std::string::npos);
}

TEST(MobilizerPage, ServiceUrlAndImagesFromTheService) {
    std::string listingUrl = "http://boston.bazaarnest.test/bik/1.html";
    EXPECT_EQ(text(MobilizerPage::serviceUrl(str(listingUrl))),
              "http://mobilize.pagesimplifier.test/gwt/x?u=" + listingUrl + "&ct=pg1&whp=30");

    // A listing with photos, simplified by the service: its placeholders become images.
    auto l = listingtest::findListing(
        [](const bnsite::Listing& l) { return listingtest::live(l) && l.images >= 2; });
    ASSERT_TRUE(l);
    auto url = str(listingtest::pageUrlOf(*l));
    auto page = make<MobilizerPage>();
    auto listener = make<listingtest::RequestWatcher>();
    page->downloadPage(url, listener);
    ASSERT_TRUE(listener->waitFor(1));
    EXPECT_EQ(listener->url, text(MobilizerPage::serviceUrl(url)));
    auto content = text(page->getContent());
    EXPECT_EQ(count(content, "[Image]"), 0u) << content;
    // The same images as the listing page itself gives.
    auto direct = make<ItemPage>();
    direct->downloadPageSync(url);
    auto urls = NSMutableArray::arrayWithCapacity(4);
    direct->getImages(urls);
    EXPECT_EQ(count(content, "<img src="), static_cast<size_t>(l->images));
    for (NSObject* u : *urls)
        EXPECT_NE(content.find("<img src=\"" + text(u) + "\"/>"), std::string::npos) << text(u);
}

TEST(MobilizerPage, PlaceholderRule) {
    auto page = make<MobilizerPage>();
    page->setWebpage(
        NS("x <a href=\"/gwt/x?u=http%3A%2F%2Fimg.test/a%20b.jpg&amp;ct=img\">"
           "[Image]</a> <a href=\"/gwt/x?u=http%3A%2F%2Fsite.test/p&amp;ct=pg1\">"
           "a page</a>"));
    EXPECT_EQ(text(page->getContent()),
              "x <img src=\"http://img.test/a%20b.jpg\"/> <a href=\"/gwt/x?u=http%3A%2F%2F"
              "site.test/p&amp;ct=pg1\">a page</a>");
}
