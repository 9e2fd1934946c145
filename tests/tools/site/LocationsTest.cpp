// The location index and the sub-area bars, read the way the location picker reads them.
#include <set>

#include "SiteTesting.h"

using namespace sitetest;

namespace {

const std::vector<Metro>& indexMetros() {
    static const std::vector<Metro> metros =
        scrapeMetros(get("http://www.bazaarnest.test/about/sites").text);
    return metros;
}

const Metro* metroNamed(const std::string& name) {
    for (const auto& m : indexMetros()) {
        if (m.name == name) return &m;
    }
    return nullptr;
}

}  // namespace

TEST(LocationIndex, HoldsEnoughMetrosAndStatesForTheStoreToTakeIt) {
    const auto& metros = indexMetros();
    EXPECT_GE(metros.size(), 80u);  // the store ignores an index with fewer
    std::set<std::string> usStates, regions;
    for (const auto& m : metros) {
        regions.insert(m.region);
        if (m.region == "US") usStates.insert(m.state);
    }
    EXPECT_GE(usStates.size(), 10u);
    // Every region of the picker, named exactly as the picker filters them.
    for (const char* r : {"US", "Canada", "Europe", "Asia, Pacific and Middle East", "Oceania",
                          "Latin America and Caribbean", "Africa"})
        EXPECT_TRUE(regions.count(r)) << r;
    EXPECT_EQ(regions.size(), 7u);
    // The bare root domain serves the same index.
    EXPECT_EQ(scrapeMetros(get("http://bazaarnest.test/about/sites").text).size(), metros.size());
}

TEST(LocationIndex, UsesBothRegionHeaderForms) {
    std::string page = get("http://www.bazaarnest.test/about/sites").text;
    int plain = 0, linked = 0;
    for (const auto& block : split(page, "<div class=\"colmask\">")) {
        auto first = match(block, ">([^<]*)</h1>");
        if (!first) continue;
        if (first->empty()) {
            // Only the second pattern finds a name inside a link.
            EXPECT_TRUE(match(block, ">([^<]*)</a></h1>").has_value());
            ++linked;
        } else {
            ++plain;
        }
    }
    EXPECT_GE(plain, 2);
    EXPECT_GE(linked, 2);
}

TEST(LocationIndex, NamesAreCapitalisedAndRootsHaveNoTrailingSlash) {
    const Metro* nyc = metroNamed("New York City");
    ASSERT_TRUE(nyc);
    EXPECT_EQ(nyc->url, "http://newyork.bazaarnest.test");
    EXPECT_EQ(nyc->state, "New York");
    for (const auto& m : indexMetros()) {
        EXPECT_EQ(m.url.rfind("http://", 0), 0u) << m.url;
        EXPECT_NE(m.url.back(), '/') << m.url;
    }
}

TEST(LocationIndex, EnglishVersionsOfNonEnglishCitiesAreServed) {
    const Metro* montreal = metroNamed("Montreal");  // Quebec: rewritten
    const Metro* toronto = metroNamed("Toronto");    // Ontario: kept
    const Metro* paris = metroNamed("Paris");        // France: rewritten
    ASSERT_TRUE(montreal && toronto && paris);
    EXPECT_EQ(montreal->url, "http://montreal.en.bazaarnest.test");
    EXPECT_EQ(toronto->url, "http://toronto.bazaarnest.test");
    EXPECT_EQ(paris->url, "http://paris.en.bazaarnest.test");
    int rewritten = 0;
    for (const auto& m : indexMetros()) {
        if (m.url.find(".en.") == std::string::npos) continue;
        ++rewritten;
        EXPECT_NE(m.region, "US");
    }
    EXPECT_GE(rewritten, 15);

    Page english = get(montreal->url + "/");
    EXPECT_EQ(english.status, 200);
    EXPECT_NE(english.text.find("<html lang=\"en\">"), std::string::npos);
    EXPECT_GE(scrapeCategories(english.text).size(), 80u);
    Page french = get("http://montreal.bazaarnest.test/");
    EXPECT_NE(french.text.find("<html lang=\"fr\">"), std::string::npos);
}

TEST(SubAreas, TheTwentyTwoRootsCarryTheirSubAreaBars) {
    const auto& catalog = site().catalog();
    int roots = 0;
    for (const auto& m : catalog.metros) {
        if (m.subAreas.empty()) continue;
        ++roots;
        std::string root = bnsite::cityRoot(m.code);
        const Metro* listed = nullptr;
        for (const auto& im : indexMetros()) {
            if (im.url == root) listed = &im;
        }
        ASSERT_TRUE(listed) << root << " is linked from the index exactly as the root";
        auto suburbs = scrapeSuburbs(get(root).text, *listed);
        ASSERT_EQ(suburbs.size(), m.subAreas.size() + 1) << root;
        EXPECT_EQ(suburbs[0].url, root);
        for (size_t i = 0; i < m.subAreas.size(); ++i) {
            EXPECT_EQ(suburbs[i + 1].url, root + "/" + m.subAreas[i].code);
            EXPECT_EQ(suburbs[i + 1].state, listed->state);
        }
    }
    EXPECT_EQ(roots, 22);
}

TEST(SubAreas, SubAreaLocationsServeTheirHomePagesAndOthersHaveNoBar) {
    const Metro* bay = metroNamed("Sf Bay Area");
    ASSERT_TRUE(bay);
    auto suburbs = scrapeSuburbs(get(bay->url).text, *bay);
    ASSERT_GE(suburbs.size(), 3u);
    EXPECT_EQ(suburbs[2].url, "http://sfbay.bazaarnest.test/eby");
    EXPECT_EQ(suburbs[2].name, "East Bay Area");
    for (size_t i = 1; i < suburbs.size(); ++i) {
        Page home = get(suburbs[i].url);
        EXPECT_EQ(home.status, 200) << suburbs[i].url;
        EXPECT_GE(scrapeCategories(home.text).size(), 80u) << suburbs[i].url;
    }
    const Metro* tucson = metroNamed("Tucson");
    ASSERT_TRUE(tucson);
    EXPECT_EQ(scrapeSuburbs(get(tucson->url).text, *tucson).size(), 1u);
}
