// Result page scraping: rows of the stand-in site's result pages compared with the listings the
// site holds for the same query, paging to the last page, the query keys, and the stop
// notification; fixed page texts for the row rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Classes/ItemInfo.h"
#include "Classes/ItemListPage.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "Foundation/Runtime.h"
#include "MatchKit/MatchKitTesting.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/site/RunningSite.h"
#include "tools/site/Catalog.h"
#include "tools/site/Html.h"
#include "tools/site/Listings.h"
#include "tools/site/SiteInternal.h"

namespace {

std::string s(NSString* t) {
    return t ? t->utf8() : "(nil)";
}

struct Row {
    std::string title, price, url, location, extra;
};

std::vector<Row> rowsOf(ItemListPage* page) {
    std::vector<Row> out;
    auto list = page->getItemList();
    for (NSUInteger i = 0; i < list->count(); ++i) {
        auto item = cast<ItemInfo>(list->objectAtIndex(i));
        out.push_back({s(item->title().get()), s(item->price().get()), s(item->detailUrl().get()),
                       s(item->location().get()), s(item->extraInfo().get())});
        EXPECT_FALSE(item->time());  // only the listing page gives these
        EXPECT_FALSE(item->detail());
    }
    return out;
}

Ref<ItemListPage> fetch(const std::string& url) {
    auto page = make<ItemListPage>();
    page->downloadPageSync(str(url).get());
    EXPECT_TRUE(page->getPage()) << url;
    return page;
}

bnsite::ListingQuery queryFor(const char* metro, const char* category) {
    const auto& c = sitetest::site().catalog();
    bnsite::ListingQuery q;
    q.metro = c.metroIndex(metro);
    EXPECT_TRUE(c.select(category, &q.selector)) << category;
    return q;
}

std::vector<std::string> urlsOf(const bnsite::ListingRows& rows) {
    std::vector<std::string> out;
    for (const auto& l : rows)
        out.push_back(bnsite::listingUrl(sitetest::site().catalog(), l));
    return out;
}
std::vector<std::string> urlsOf(const std::vector<Row>& rows) {
    std::vector<std::string> out;
    for (const auto& r : rows)
        out.push_back(r.url);
    return out;
}

TEST(ItemListPageTest, PricedRowsMatchTheSitesListings) {
    auto& site = sitetest::site();
    auto q = queryFor("boston", "fua");
    auto expected = site.listings().query(q);
    ASSERT_GT(expected.total, 100u);
    auto page = fetch("http://boston.bazaarnest.test/fua/");
    auto rows = rowsOf(page.get());
    ASSERT_EQ(rows.size(), 100u);
    EXPECT_TRUE(page->hasMoreResults());
    bool sawEntity = false;
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& l = expected.rows[i];
        SCOPED_TRACE(l.titleHtml);
        EXPECT_EQ(rows[i].url, bnsite::listingUrl(site.catalog(), l));
        if (l.price >= 0) {
            EXPECT_EQ(rows[i].price, "$" + std::to_string(l.price));
            EXPECT_EQ(rows[i].title, l.titleText);  // entities decoded, nothing removed
        } else {
            EXPECT_EQ(rows[i].price.find('$'), std::string::npos) << rows[i].price;
        }
        EXPECT_EQ(rows[i].location,
                  l.placeHtml.empty() ? "(nil)" : bnsite::decodeEntities(l.placeHtml));
        EXPECT_EQ(rows[i].extra, "(nil)");  // a single category has no category note
        sawEntity |= l.titleHtml.find('&') != std::string::npos;
    }
    EXPECT_TRUE(sawEntity);
}

TEST(ItemListPageTest, PersonalsRowsCarryTheirCodeInsteadOfAPrice) {
    auto& site = sitetest::site();
    auto q = queryFor("boston", "m4w");
    auto expected = site.listings().query(q);
    auto rows = rowsOf(fetch("http://boston.bazaarnest.test/m4w/").get());
    ASSERT_EQ(rows.size(), expected.rows.size());
    int coded = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::string& text = expected.rows[i].titleText;
        SCOPED_TRACE(text);
        EXPECT_EQ(rows[i].price.find('$'), std::string::npos);
        if (rows[i].price.empty()) {
            EXPECT_EQ(rows[i].title, text);
        } else {
            // The code comes off the end of the title; the text before it stays as it was.
            ++coded;
            EXPECT_EQ(rows[i].title + rows[i].price, text);
        }
    }
    EXPECT_GT(coded, 0);
}

TEST(ItemListPageTest, CatchAllRowsCarryTheirCategoryNote) {
    auto& site = sitetest::site();
    auto q = queryFor("chicago", "sss");
    auto expected = site.listings().query(q);
    auto rows = rowsOf(fetch("http://chicago.bazaarnest.test/sss/").get());
    ASSERT_EQ(rows.size(), std::min<size_t>(100, expected.total));
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& cat = site.catalog().categories[static_cast<size_t>(expected.rows[i].category)];
        EXPECT_EQ(rows[i].extra, bnsite::decodeEntities(cat.name));
    }
}

// Every field of every row of a catch-all page (priced and unpriced rows, place notes or none,
// entities, category notes) against what the site generated for it.
TEST(ItemListPageTest, CatchAllRowsFieldByField) {
    auto& site = sitetest::site();
    auto q = queryFor("boston", "sss");
    auto expected = site.listings().query(q);
    ASSERT_GE(expected.total, 100u);
    auto rows = rowsOf(fetch("http://boston.bazaarnest.test/sss/").get());
    ASSERT_EQ(rows.size(), 100u);
    int priced = 0, placed = 0, coded = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& l = expected.rows[i];
        const auto& r = rows[i];
        SCOPED_TRACE(l.titleHtml);
        EXPECT_EQ(r.url, bnsite::listingUrl(site.catalog(), l));
        if (l.price >= 0) {
            ++priced;
            EXPECT_EQ(r.price, "$" + std::to_string(l.price));
            EXPECT_EQ(r.title, l.titleText);
        } else if (r.price == "(nil)" || r.price.empty()) {
            EXPECT_EQ(r.title, l.titleText);
        } else {
            // A code taken for the price left the title at the place where it stood.
            ++coded;
            bool found = false;
            for (size_t at = l.titleText.find(r.price); at != std::string::npos && !found;
                 at = l.titleText.find(r.price, at + 1))
                found =
                    l.titleText.substr(0, at) + l.titleText.substr(at + r.price.size()) == r.title;
            EXPECT_TRUE(found) << r.title << " / " << r.price;
        }
        placed += !l.placeHtml.empty();
        EXPECT_EQ(r.location, l.placeHtml.empty() ? "(nil)" : bnsite::decodeEntities(l.placeHtml));
        const auto& cat = site.catalog().categories[static_cast<size_t>(l.category)];
        EXPECT_EQ(r.extra, bnsite::decodeEntities(cat.name));
    }
    EXPECT_GT(priced, 0);
    EXPECT_LT(priced, 100);
    EXPECT_GT(placed, 0);
    EXPECT_LT(placed, 100);
    EXPECT_LT(coded, 100);
}

TEST(ItemListPageTest, BrowsePagingReachesTheLastPage) {
    auto& site = sitetest::site();
    auto q = queryFor("denver", "bik");
    q.limit = 100000;
    auto all = site.listings().query(q);
    ASSERT_GT(all.total, 100u);
    std::vector<std::string> seen;
    std::string url = "http://denver.bazaarnest.test/bik/";
    for (int pageNumber = 1; pageNumber < 50; ++pageNumber) {
        auto page = fetch(url);
        auto rows = rowsOf(page.get());
        ASSERT_FALSE(rows.empty());
        for (auto& u : urlsOf(rows))
            seen.push_back(u);
        if (!page->hasMoreResults()) break;
        url =
            "http://denver.bazaarnest.test/bik/index" + std::to_string(pageNumber * 100) + ".html";
    }
    EXPECT_EQ(seen, urlsOf(all.rows));
}

TEST(ItemListPageTest, EveryQueryKeyReachesTheSite) {
    auto& site = sitetest::site();
    auto q = queryFor("boston", "sss");
    q.words = {"table"};
    q.titlesOnly = true;
    q.minAsk = 10;
    q.maxAsk = 900;
    q.withImages = true;
    q.sort = bnsite::ListingQuery::Sort::PriceAscending;
    auto firstPage = site.listings().query(q);
    ASSERT_FALSE(firstPage.rows.empty());
    sitetest::takeLog();
    const std::string base =
        "http://boston.bazaarnest.test/search/sss?query=table&sort=priceasc"
        "&srchType=T&minAsk=10&maxAsk=900&hasPic=1";
    auto page = fetch(base);
    EXPECT_EQ(urlsOf(rowsOf(page.get())), urlsOf(firstPage.rows));
    // The server logs a request once its answer is out, which may trail the client a little.
    const std::string wanted =
        "/search/sss?query=table&sort=priceasc&srchType=T&minAsk=10&maxAsk=900&hasPic=1";
    bool logged = false;
    runLoopUntil([&] {
        for (const auto& line : sitetest::takeLog())
            logged |= line.find(wanted) != std::string::npos;
        return logged;
    });
    EXPECT_TRUE(logged);

    // Broader bounds for a second page; its marker disappears on the last one.
    q.words.clear();
    q.titlesOnly = false;
    q.minAsk = std::nullopt;
    q.maxAsk = std::nullopt;
    q.withImages = false;
    q.sort = bnsite::ListingQuery::Sort::PriceDescending;
    q.limit = 100000;
    auto all = site.listings().query(q);
    size_t lastOffset = (all.total - 1) / 100 * 100;
    ASSERT_GE(lastOffset, 100u);
    q.limit = 100;
    q.offset = 100;
    auto second = fetch(
        "http://boston.bazaarnest.test/search/sss?query=&sort=pricedsc&srchType=A"
        "&minAsk=&maxAsk=&s=100");
    EXPECT_EQ(urlsOf(rowsOf(second.get())), urlsOf(site.listings().query(q).rows));
    EXPECT_TRUE(second->hasMoreResults());
    auto last = fetch(
        "http://boston.bazaarnest.test/search/sss?query=&sort=pricedsc&srchType=A"
        "&minAsk=&maxAsk=&s=" +
        std::to_string(lastOffset));
    EXPECT_EQ(rowsOf(last.get()).size(), all.total - lastOffset);
    EXPECT_FALSE(last->hasMoreResults());
}

TEST(ItemListPageTest, EmptyResult) {
    sitetest::site();
    auto page = fetch("http://boston.bazaarnest.test/search/sss?query=zzqxv&srchType=A");
    EXPECT_EQ(page->getItemList()->count(), 0u);
    EXPECT_FALSE(page->hasMoreResults());
    auto none = make<ItemListPage>();
    EXPECT_EQ(none->getItemList()->count(), 0u);
    EXPECT_FALSE(none->hasMoreResults());
}

Ref<ItemListPage> pageWith(const char* html) {
    auto page = make<ItemListPage>();
    page->setWebpage(str(html).get());
    return page;
}

TEST(ItemListPageTest, RowRules) {
    // Text before the first marker is tried too; it has no titled link here.
    auto rows =
        rowsOf(pageWith("<a href=\"/x\"></a> head"
                        "<p class=\"row\"> <a href=\"/1.html\">Room m4w - 35</a>\n</p>"
                        "<p class=\"row\"> <a href=\"/2.html\">Sofa - 20 years old</a> "
                        "$1200</p>"
                        "<p class=\"row\"> <a href=\"/3.html?a=1&amp;b=2\">A &amp; B - </a>"
                        "<font size=\"-1\"> (back bay &amp; fens)</font> <small class=\"gc\">"
                        "<a href=\"/fua/\">furniture</a></small></p>")
                   .get());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].title, "Room ");
    EXPECT_EQ(rows[0].price, "m4w - 35");
    EXPECT_EQ(rows[1].title, "Sofa - 20 years old");  // a dollar amount: no code removal
    EXPECT_EQ(rows[1].price, "$1200");
    EXPECT_EQ(rows[2].title, "A & B - ");
    EXPECT_EQ(rows[2].price, "");
    EXPECT_EQ(rows[2].url, "/3.html?a=1&amp;b=2");  // the link as written
    EXPECT_EQ(rows[2].location, "back bay & fens");
    EXPECT_EQ(rows[2].extra, "furniture");
    EXPECT_EQ(rows[0].location, "(nil)");
}

TEST(ItemListPageTest, LineEndsInsideARowReadAsSpaces) {
    auto rows = rowsOf(pageWith("<p class=\"row\"> <a href=\"/1.html\">Big\r\nsofa</a>\n"
                                "<font size=\"-1\">\n(back\rbay)</font> $\n5"
                                "<font size=\"-1\"> (north\nend)</font></p>\r\n"
                                "<p class=\"row\"> <a href=\"/2.html\">\n</a></p>")
                           .get());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].title, "Big  sofa");
    EXPECT_EQ(rows[0].url, "/1.html");
    // The first note only matches with its line feed read as a space.
    EXPECT_EQ(rows[0].location, "back bay");
    EXPECT_EQ(rows[0].price, "(nil)");  // "$" then a space: no amount
    EXPECT_EQ(rows[1].title, " ");      // a title of one line feed is a title of one space
}

TEST(ItemListPageTest, OnlyTheMatchedCodeLeavesTheTitle) {
    auto rows = rowsOf(pageWith("<p class=\"row\"><a href=\"/1\">Bike - 35 speed 35</a></p>"
                                "<p class=\"row\"><a href=\"/2\">m4w for m4w - 40</a></p>")
                           .get());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].price, "35");
    EXPECT_EQ(rows[0].title, "Bike -  speed 35");
    EXPECT_EQ(rows[1].price, "m4w ");
    EXPECT_EQ(rows[1].title, "for m4w - 40");
}

TEST(ItemListPageTest, FewRowMarkersFallBackToParagraphs) {
    auto page = pageWith(
        "<p><a href=\"/1\">one</a><p><a href=\"/2\">two</a>"
        "<p><a href=\"/3\">three</a><p><a href=\"/4\">four</a>"
        "<p><a href=\"/5\">five</a> <b>Next &gt;&gt;</b></a>");
    auto rows = rowsOf(page.get());
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[4].title, "five");
    EXPECT_TRUE(page->hasMoreResults());
    EXPECT_TRUE(pageWith("x <a href=\"i.html\">next 100 postings</a>")->hasMoreResults());
    EXPECT_FALSE(pageWith("x <a href=\"i.html\">Next 100 postings</a>")->hasMoreResults());
}

TEST(ItemListPageTest, TextInPlaceAndOutOfPlaceScrapeAlike) {
    const char* pages[] = {
        // Entities in titles, places and notes, rows without any, an empty row and a row
        // whose fields stand at its very start and end.
        "<p class=\"row\"><p class=\"row\"><a href=\"/1\">Plain title</a>"
        "<font size=\"-1\"> (allston)</font><small class=\"gc\"><a href=\"/x/\">bikes</a>"
        "</small><p class=\"row\"> <a href=\"/2\">A &amp; B &lt;3&gt;</a> $12.50 "
        "<font size=\"-1\"> (&quot;south&quot; end)</font> <small class=\"gc\">"
        "<a href=\"/y/\">tools &amp; more</a></small>\n</p><p class=\"row\">"
        "<a href=\"/3\">w4m - 30</a>",
        "<p class=\"row\"> <a href=\"/1.html\">Big\r\nsofa</a>\n<font size=\"-1\">\n"
        "(back\rbay)</font> $\n5<p class=\"row\"> <a href=\"/2.html\">\n</a></p>\r\n",
        "<p><a href=\"/1\">one &amp; only</a><p><a href=\"/2\">two</a><p>"
        "<a href=\"/3\">t4m three</a><p>",
    };
    for (const char* html : pages) {
        SCOPED_TRACE(html);
        auto inPlace = make<ItemListPage>();
        inPlace->setWebpage(str(html).get());
        auto outOfPlace = make<ItemListPage>();
        // Kept where no pointer to its units can be had: the general paths.
        outOfPlace->setWebpage(FragmentedString::withUTF8(html).get());
        auto a = rowsOf(inPlace.get());
        auto b = rowsOf(outOfPlace.get());
        ASSERT_FALSE(a.empty());
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(a[i].title, b[i].title) << i;
            EXPECT_EQ(a[i].price, b[i].price) << i;
            EXPECT_EQ(a[i].url, b[i].url) << i;
            EXPECT_EQ(a[i].location, b[i].location) << i;
            EXPECT_EQ(a[i].extra, b[i].extra) << i;
        }
    }
    // The first page, field by field.
    auto rows = rowsOf(pageWith(pages[0]).get());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].title, "Plain title");
    EXPECT_EQ(rows[0].location, "allston");
    EXPECT_EQ(rows[0].extra, "bikes");
    EXPECT_EQ(rows[1].title, "A & B <3>");
    EXPECT_EQ(rows[1].price, "$12.50");
    EXPECT_EQ(rows[1].location, "\"south\" end");
    EXPECT_EQ(rows[1].extra, "tools & more");
    EXPECT_EQ(rows[2].title, "");
    EXPECT_EQ(rows[2].price, "w4m - 30");
}

// The strings and records a scrape makes are held by the list alone: while it lives each field
// holds its text, and once it and the pattern cache's bindings are let go every one of them is
// freed (none kept by a reference the scrape forgot to drop, none dropped twice).
TEST(ItemListPageTest, TheListAloneHoldsWhatTheScrapeMade) {
    auto page = pageWith(
        "<p class=\"row\"> <a href=\"/1.html\">Room m4w - 35</a>\n</p>"
        "<p class=\"row\"> <a href=\"/2.html\">Big &amp; sofa</a> $1200<font size=\"-1\"> "
        "(back &amp; bay)</font> <small class=\"gc\"><a href=\"/fua/\">furniture</a></small></p>"
        "<p class=\"row\"> <a href=\"/3.html\">Lamp</a> free</p>");
    std::vector<Weak<NSObject>> made;
    {
        auto list = page->getItemList();
        ASSERT_EQ(list->count(), 3u);
        for (NSUInteger i = 0; i < list->count(); ++i) {
            auto item = cast<ItemInfo>(list->objectAtIndex(i));
            EXPECT_EQ(item->retainCount(), 2u);  // the list's and this one
            made.emplace_back(item.get());
            for (const Ref<NSString>& field : {item->title(), item->price(), item->detailUrl(),
                                               item->location(), item->extraInfo()}) {
                if (field) made.emplace_back(field.get());
            }
        }
        auto second = cast<ItemInfo>(list->objectAtIndex(1));
        EXPECT_EQ(s(second->title().get()), "Big & sofa");
        EXPECT_EQ(s(second->location().get()), "back & bay");
        EXPECT_EQ(s(cast<ItemInfo>(list->objectAtIndex(0))->price().get()), "m4w - 35");
        EXPECT_EQ(s(cast<ItemInfo>(list->objectAtIndex(2))->title().get()), "Lamp");
    }
    EXPECT_GE(made.size(), 12u);
    // The personals rules may still be bound to the last unpriced title.
    clearStringCache();
    for (size_t i = 0; i < made.size(); ++i)
        EXPECT_FALSE(made[i].lock()) << i;
}

class ListListener : public NSObject, public NKHTTPRequestDelegate {
    NS_OBJECT(ListListener, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"requestFinished:", "requestFailed:"});
    }

public:
    void requestFinished(NKHTTPRequest*) override { ++finished; }
    void requestFailed(NKHTTPRequest*) override { ++failed; }
    int finished = 0, failed = 0;
};

TEST(ItemListPageTest, AsynchronousPageThenStopNotification) {
    auto& site = sitetest::site();
    auto listener = make<ListListener>();
    auto page = make<ItemListPage>();
    page->downloadPage(NS("http://boston.bazaarnest.test/bik/"), listener.get());
    ASSERT_TRUE(runLoopUntil([&] { return listener->finished + listener->failed > 0; }, 10));
    EXPECT_EQ(listener->finished, 1);
    EXPECT_GT(page->getItemList()->count(), 0u);

    auto gate = site.gate("itemlist-stop");
    bnsite::Fault slow;
    slow.host = "boston.*";
    slow.path = "/cta/";
    slow.gate = "itemlist-stop";
    site.addFault(slow);
    auto stopped = make<ListListener>();
    auto slowPage = make<ItemListPage>();
    slowPage->downloadPage(NS("http://boston.bazaarnest.test/cta/"), stopped.get());
    ASSERT_TRUE(gate->waitUntilWaiting(1));
    NSNotificationCenter::defaultCenter()->postNotificationName(StopItemPageNotification, nullptr);
    gate->open();
    // A later download on the loop shows the stopped one had its chance to report.
    auto probe = make<ListListener>();
    auto other = make<ItemListPage>();
    other->downloadPage(NS("http://boston.bazaarnest.test/bik/"), probe.get());
    ASSERT_TRUE(runLoopUntil([&] { return probe->finished + probe->failed > 0; }, 10));
    runLoopUntil([] { return false; }, 0.3);
    EXPECT_EQ(stopped->finished + stopped->failed, 0);
    EXPECT_TRUE(slowPage->request()->isCancelled());
    site.clearFaults();
    gate->close();
}

}  // namespace
