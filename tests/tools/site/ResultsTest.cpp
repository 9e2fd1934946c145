// Result pages of searches and browsing, fetched by the URLs the result list builds and read the
// way the result page scraper reads them.
#include <algorithm>
#include <set>

#include "SiteTesting.h"

using namespace sitetest;
using bnsite::lowercase;

namespace {

const std::string kBoston = "http://boston.bazaarnest.test";

Query search(const std::string& category, const std::string& keyword) {
    Query q;
    q.locationUrl = kBoston;
    q.categoryUrl = category;
    q.keyword = keyword;
    return q;
}

Query browse(const std::string& category, const std::string& location = kBoston) {
    Query q;
    q.locationUrl = location;
    q.categoryUrl = category;
    return q;
}

std::vector<Row> rowsOf(const Query& q, int pageNumber, std::string* text = nullptr) {
    Page page = get(resultUrl(q, pageNumber));
    EXPECT_EQ(page.status, 200) << resultUrl(q, pageNumber);
    if (text) *text = page.text;
    return scrapeRows(page.text);
}

int dollars(const Row& r) {
    return std::atoi(r.price.c_str() + 1);
}

// Every row of a request, page after page, as the result list loads them.
std::vector<Row> allRows(const Query& q, int* pages) {
    std::vector<Row> all;
    *pages = 0;
    for (int n = 1; n < 20; ++n) {
        std::string text;
        auto rows = rowsOf(q, n, &text);
        ++*pages;
        all.insert(all.end(), rows.begin(), rows.end());
        if (rows.empty() || !hasMoreResults(text)) break;
    }
    return all;
}

bnsite::Listing listingOf(const Row& r) {
    std::string id = match(r.link, "/([0-9]+)\\.html").value_or("0");
    auto l = site().listings().byId(static_cast<std::uint32_t>(std::stoul(id)));
    EXPECT_TRUE(l.has_value()) << r.link;
    return l.value_or(bnsite::Listing{});
}

}  // namespace

TEST(ResultUrls, TheDocumentedExampleIsAnsweredAsASearch) {
    Query q = search("bik/", "bike");
    q.sortOrder = 2;
    q.priceMin = "10";
    q.priceMax = "200";
    q.hasImage = true;
    EXPECT_EQ(
        resultUrl(q, 2),
        kBoston +
            "/search/bik?query=bike&sort=priceasc&srchType=A&minAsk=10&maxAsk=200&hasPic=1&s=100");
    EXPECT_EQ(get(resultUrl(q, 2)).status, 200);
    // A keyword with a space, an ampersand and a line feed arrives intact.
    std::string url = resultUrl(search("bik/", "a b&c\nd"), 1);
    EXPECT_NE(url.find("query=a%20b%26c%0A%0Dd&srchType"), std::string::npos);
    EXPECT_EQ(get(url).status, 200);
    EXPECT_EQ(resultUrl(browse("bik/"), 3), kBoston + "/bik/index200.html");
}

TEST(ResultPages, BrowsingPagesByHundredsToTheLastPage) {
    int pages = 0;
    auto rows = allRows(browse("bik/"), &pages);  // a category of 240 listings in every city
    EXPECT_EQ(pages, 3);
    EXPECT_EQ(rows.size(), 240u);
    std::set<std::string> links;
    for (const auto& r : rows)
        links.insert(r.link);
    EXPECT_EQ(links.size(), 240u);
    std::string last;
    EXPECT_EQ(rowsOf(browse("bik/"), 3, &last).size(), 40u);
    EXPECT_FALSE(hasMoreResults(last));
    EXPECT_NE(get(resultUrl(browse("bik/"), 1)).text.find(">next 100 postings</a>"),
              std::string::npos);
    // Exactly one page's worth has no next page; 140 is a full page and 40.
    std::string full;
    EXPECT_EQ(rowsOf(browse("tls/"), 1, &full).size(), 100u);
    EXPECT_FALSE(hasMoreResults(full));
    EXPECT_EQ(allRows(browse("clt/"), &pages).size(), 140u);
    EXPECT_EQ(pages, 2);
}

TEST(ResultPages, SearchPagesUseTheOffsetKeyAndTheNextMarker) {
    Query q = search("bik/", "");  // an empty keyword still searches
    std::string first;
    auto page1 = rowsOf(q, 1, &first);
    EXPECT_EQ(page1.size(), 100u);
    EXPECT_NE(first.find("<b>Next &gt;&gt;</b></a>"), std::string::npos);
    int pages = 0;
    auto all = allRows(q, &pages);
    EXPECT_EQ(all.size(), 240u);
    EXPECT_EQ(pages, 3);
    auto page2 = rowsOf(q, 2);
    EXPECT_NE(page1.front().link, page2.front().link);
}

TEST(ResultPages, TheKeywordMatchesTitlesOrWholePostings) {
    int pages = 0;
    auto everything = allRows(search("bik/", ""), &pages);
    auto inTitles = [&] {
        Query q = search("bik/", "road");
        q.searchType = "T";
        return allRows(q, &pages);
    }();
    auto anywhere = allRows(search("bik/", "road"), &pages);
    ASSERT_FALSE(inTitles.empty());
    EXPECT_LT(anywhere.size(), everything.size());
    EXPECT_GE(anywhere.size(), inTitles.size());
    for (const auto& r : inTitles)
        EXPECT_NE(lowercase(r.title).find("road"), std::string::npos) << r.title;
    for (const auto& r : anywhere) {
        auto l = listingOf(r);
        EXPECT_TRUE(lowercase(l.titleText + " " + l.bodyText).find("road") != std::string::npos)
            << r.title;
    }
    // Every word must match.
    for (const auto& r : allRows(search("bik/", "road excellent"), &pages)) {
        auto l = listingOf(r);
        std::string all = lowercase(l.titleText + " " + l.bodyText);
        EXPECT_NE(all.find("road"), std::string::npos);
        EXPECT_NE(all.find("excellent"), std::string::npos);
    }
}

TEST(ResultPages, SearchesShareThePostedListingsTheyFind) {
    auto& store = site().listings();
    const auto& catalog = site().catalog();
    bnsite::Listing posted;
    posted.metro = catalog.metroIndex("boston");
    posted.category = catalog.categoryIndex("bik");
    posted.titleText = posted.titleHtml = "Shared Tandem";
    posted.bodyText = posted.bodyHtml = "A TANDEM for two riders.";
    store.publish(posted);
    bnsite::ListingQuery q;
    q.metro = posted.metro;
    ASSERT_TRUE(catalog.select("bik", &q.selector));
    q.words = {"tandem", "Riders"};
    auto first = store.query(q);
    auto second = store.query(q);
    ASSERT_EQ(first.rows.size(), 1u);
    ASSERT_EQ(second.rows.size(), 1u);
    EXPECT_EQ(first.rows[0].titleText, "Shared Tandem");
    // The one listing the store keeps, not a copy per search.
    EXPECT_EQ(&first.rows[0], &second.rows[0]);
    site().reset();
}

TEST(ResultPages, PriceBoundsPicturesAndSortOrders) {
    int pages = 0;
    Query bounded = search("fua/", "");
    bounded.priceMin = "100";
    bounded.priceMax = "500";
    auto rows = allRows(bounded, &pages);
    ASSERT_FALSE(rows.empty());
    for (const auto& r : rows) {
        ASSERT_EQ(r.price.rfind("$", 0), 0u) << r.title;
        EXPECT_GE(dollars(r), 100);
        EXPECT_LE(dollars(r), 500);
    }

    Query pictures = search("fua/", "");
    pictures.hasImage = true;
    auto withPictures = allRows(pictures, &pages);
    ASSERT_FALSE(withPictures.empty());
    EXPECT_LT(withPictures.size(), allRows(search("fua/", ""), &pages).size());
    for (size_t i = 0; i < withPictures.size() && i < 8; ++i) {
        auto l = listingOf(withPictures[i]);
        EXPECT_FALSE(
            scrapeItem(get(withPictures[i].link).text, withPictures[i].link).images.empty() &&
            l.status == bnsite::Listing::Status::Live);
    }

    for (int order : {2, 3}) {
        Query sorted = search("fua/", "");
        sorted.sortOrder = order;
        auto list = allRows(sorted, &pages);
        std::vector<int> prices;
        for (const auto& r : list) {
            if (r.price.rfind("$", 0) == 0) prices.push_back(dollars(r));
        }
        ASSERT_GT(prices.size(), 10u);
        if (order == 2)
            EXPECT_TRUE(std::is_sorted(prices.begin(), prices.end()));
        else
            EXPECT_TRUE(std::is_sorted(prices.rbegin(), prices.rend()));
    }

    // By relevance the listings that name the word in their titles come first.
    Query relevant = search("fua/", "sofa");
    relevant.sortOrder = 1;
    auto byRelevance = rowsOf(relevant, 1);
    auto byDate = rowsOf(search("fua/", "sofa"), 1);
    ASSERT_FALSE(byRelevance.empty());
    EXPECT_EQ(byRelevance.size(), byDate.size());
    EXPECT_NE(lowercase(byRelevance.front().title).find("sofa"), std::string::npos);
    std::vector<std::string> a, b;
    for (const auto& r : byRelevance)
        a.push_back(r.link);
    for (const auto& r : byDate)
        b.push_back(r.link);
    EXPECT_NE(a, b);
}

TEST(ResultPages, PersonalsRowsCarryTheirCodeInsteadOfAPrice) {
    int pages = 0;
    // The picker's "Casual Encounters (w4m)" sends the code as the keyword.
    auto rows = allRows(search("cas/", "w4m"), &pages);
    ASSERT_FALSE(rows.empty());
    for (const auto& r : rows) {
        EXPECT_EQ(r.price.rfind("w4m", 0), 0u) << r.price;
        EXPECT_EQ(r.title.find("w4m"), std::string::npos) << r.title;  // the code left the title
        EXPECT_EQ(r.title.find('$'), std::string::npos);
    }
    // Titles with an age only, or with "- " and no digits.
    bool ageOnly = false, emptyCode = false;
    for (const auto& r : allRows(browse("stp/"), &pages)) {
        if (!r.price.empty() && std::isdigit(static_cast<unsigned char>(r.price[0])))
            ageOnly = true;
        if (r.hasPrice && r.price.empty()) {
            emptyCode = true;
            EXPECT_NE(r.title.find("- anyone & everyone"), std::string::npos);
        }
    }
    EXPECT_TRUE(ageOnly);
    EXPECT_TRUE(emptyCode);
}

TEST(ResultPages, TitlesAndPlacesCarryEntitiesLinksStayAbsolute) {
    int pages = 0;
    bool amp = false, quote = false, apostrophe = false, placeAmp = false;
    for (const auto& r : allRows(browse("fua/"), &pages)) {
        amp = amp || r.title.find(" & ") != std::string::npos;
        quote = quote || r.title.find('"') != std::string::npos;
        apostrophe = apostrophe || r.title.find('\'') != std::string::npos;
        placeAmp = placeAmp || r.location.find(" & ") != std::string::npos;
        EXPECT_EQ(r.title.find("&amp;"), std::string::npos);
        EXPECT_EQ(r.link.rfind(kBoston + "/", 0), 0u) << r.link;
        EXPECT_FALSE(r.hasExtra);  // a single category's rows have no category note
    }
    EXPECT_TRUE(amp && quote && apostrophe && placeAmp);
    // A section's catch-all notes each row's category.
    auto mixed = rowsOf(browse("sss/"), 1);
    ASSERT_FALSE(mixed.empty());
    std::set<std::string> notes;
    for (const auto& r : mixed) {
        EXPECT_TRUE(r.hasExtra);
        notes.insert(r.extraInfo);
    }
    EXPECT_GT(notes.size(), 3u);
}

TEST(ResultPages, EmptyResultsYieldNoRows) {
    std::string text;
    EXPECT_TRUE(rowsOf(browse("vnn/"), 1, &text).empty());
    EXPECT_FALSE(hasMoreResults(text));
    EXPECT_EQ(text.find("<p>"), std::string::npos);  // nothing for the older row split to find
    EXPECT_TRUE(rowsOf(search("sss/", "zzqqxx"), 1, &text).empty());
    EXPECT_FALSE(hasMoreResults(text));
    EXPECT_TRUE(rowsOf(browse("bik/"), 4, &text).empty());  // past the last page
}

TEST(ResultPages, SubAreaLocationsNarrowSearchAndBrowse) {
    int pages = 0;
    Query q = search("bik/", "");
    q.locationUrl = kBoston + "/gbs";
    EXPECT_EQ(resultUrl(q, 1).rfind(kBoston + "/search/bik/gbs?query=", 0), 0u);
    auto searched = allRows(q, &pages);
    auto browsed = allRows(browse("bik/", kBoston + "/gbs"), &pages);
    ASSERT_FALSE(searched.empty());
    EXPECT_LT(searched.size(), 240u);
    EXPECT_EQ(searched.size(), browsed.size());
    for (const auto& r : searched)
        EXPECT_NE(r.link.find("/gbs/bik/"), std::string::npos) << r.link;
    for (const auto& r : browsed)
        EXPECT_NE(r.link.find("/gbs/bik/"), std::string::npos) << r.link;
}

TEST(ResultPages, VariantPathsSelectTheirListings) {
    int pages = 0;
    auto owners = allRows(browse("fuo/"), &pages);
    auto dealers = allRows(browse("fud/"), &pages);
    auto all = allRows(browse("fua/"), &pages);
    EXPECT_FALSE(owners.empty());
    EXPECT_FALSE(dealers.empty());
    EXPECT_EQ(owners.size() + dealers.size(), all.size());
    for (const auto& r : dealers)
        EXPECT_EQ(listingOf(r).seller, bnsite::Listing::Seller::Dealer);
    auto noFee = allRows(browse("nfa/"), &pages);
    auto apartments = allRows(browse("aap/"), &pages);
    EXPECT_LT(noFee.size(), apartments.size());
    for (const auto& r : noFee)
        EXPECT_TRUE(listingOf(r).noFee);
    EXPECT_EQ(get(kBoston + "/nosuchcategory/").status, 404);
}
