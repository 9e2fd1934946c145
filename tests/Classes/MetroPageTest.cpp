// Location scraping against the stand-in site's location index and metro home pages, checked
// against the site's own geography.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "Classes/MetroItem.h"
#include "Classes/MetroPage.h"
#include "Classes/SiteHosts.h"
#include "Classes/SuburbPage.h"
#include "Foundation/NSArray.h"
#include "support/FoundationTesting.h"
#include "support/site/RunningSite.h"
#include "tools/site/Catalog.h"

namespace {

std::string s(NSString* t) {
    return t ? t->utf8() : "(nil)";
}

Ref<NSMutableArray> scrapedMetros() {
    sitetest::site();
    auto page = make<MetroPage>();
    page->downloadPageSync(MetroPage::locationIndexUrl().get());
    return page->getMetros();
}

TEST(MetroPageTest, EveryMetroOfTheIndexWithItsStateAndRegion) {
    const auto& catalog = sitetest::site().catalog();
    auto metros = scrapedMetros();
    // The store ignores an index of fewer than 80 metros; the site's must pass.
    ASSERT_GE(metros->count(), 80u);
    ASSERT_EQ(metros->count(), catalog.metros.size());

    std::map<std::string, const bnsite::Metro*> byRoot;
    for (const auto& m : catalog.metros)
        byRoot[bnsite::cityRoot(m.code)] = &m;
    std::set<std::string> regions;
    int rewritten = 0;
    for (NSUInteger i = 0; i < metros->count(); ++i) {
        auto item = cast<MetroItem>(metros->objectAtIndex(i));
        std::string url = s(item->url().get());
        const auto en = url.find(".en.");
        std::string plain = en == std::string::npos ? url : url.substr(0, en) + url.substr(en + 3);
        ASSERT_TRUE(byRoot.count(plain)) << url;
        const bnsite::Metro& m = *byRoot[plain];
        const bnsite::State& state = catalog.states[static_cast<size_t>(m.state)];
        EXPECT_EQ(s(item->state().get()), state.name);
        EXPECT_EQ(s(item->region().get()), catalog.regions[static_cast<size_t>(state.region)].name);
        EXPECT_EQ(s(item->name().get()), s(str(m.name)->capitalizedString().get()));
        EXPECT_FALSE(item->hasSuburb());
        // The English version exactly where the site offers one.
        EXPECT_EQ(en != std::string::npos, state.englishVersion) << url;
        rewritten += en != std::string::npos;
        regions.insert(s(item->region().get()));
    }
    EXPECT_GT(rewritten, 0);
    // Both header forms of the index (plain and linked) yield their regions.
    EXPECT_EQ(regions.size(), catalog.regions.size());
}

TEST(MetroPageTest, EnglishVersionRules) {
    auto metros = scrapedMetros();
    std::map<std::string, Ref<MetroItem>> byName;
    for (NSUInteger i = 0; i < metros->count(); ++i) {
        auto item = cast<MetroItem>(metros->objectAtIndex(i));
        byName[s(item->name().get())] = item;
    }
    ASSERT_TRUE(byName.count("Montreal"));
    EXPECT_EQ(s(byName["Montreal"]->state().get()), "Quebec");
    EXPECT_EQ(s(byName["Montreal"]->url().get()), "http://montreal.en.bazaarnest.test");
    ASSERT_TRUE(byName.count("Toronto"));  // Ontario keeps the plain site
    EXPECT_EQ(s(byName["Toronto"]->url().get()), "http://toronto.bazaarnest.test");
    ASSERT_TRUE(byName.count("Paris"));
    EXPECT_EQ(s(byName["Paris"]->url().get()), "http://paris.en.bazaarnest.test");
    EXPECT_EQ(s(byName["Miami / Dade"]->region().get()), "US");

    auto page = make<MetroPage>();
    EXPECT_EQ(s(page->getEnglishVersionUrl(NS("http://lyon.bazaarnest.test/x.html")).get()),
              "http://lyon.en.bazaarnest.test/x.html");
    EXPECT_EQ(s(page->getEnglishVersionUrl(NS("localhost")).get()), "localhost");
}

TEST(MetroPageTest, IndexWithoutRegionsGivesNothing) {
    auto page = make<MetroPage>();
    EXPECT_EQ(page->getMetros()->count(), 0u);
    page->setWebpage(
        NS("<div class=\"colmask\"><h2>no heading</h2><div class=\"state_delimiter\">"
           "X</div><ul><li><a href=\"http://a.test\">a</a></li></ul></div>"));
    EXPECT_EQ(page->getMetros()->count(), 0u);
}

TEST(SuburbPageTest, ParentFirstThenEverySubArea) {
    const auto& catalog = sitetest::site().catalog();
    const bnsite::Metro& sfbay = catalog.metros[static_cast<size_t>(catalog.metroIndex("sfbay"))];
    auto parent = MetroItem::itemWithName(NS("SF Bay Area"), NS("http://sfbay.bazaarnest.test"),
                                          NS("California"), NS("US"));
    parent->setHasSuburb(true);
    auto page = make<SuburbPage>();
    page->downloadPageSync(parent->url().get());
    auto list = page->getSuburbs(parent.get());
    ASSERT_EQ(list->count(), 1 + sfbay.subAreas.size());
    auto first = cast<MetroItem>(list->objectAtIndex(0));
    EXPECT_NE(first.get(), parent.get());  // a copy, without sub-areas
    EXPECT_EQ(s(first->name().get()), "SF Bay Area");
    EXPECT_FALSE(first->hasSuburb());
    for (size_t i = 0; i < sfbay.subAreas.size(); ++i) {
        auto item = cast<MetroItem>(list->objectAtIndex(i + 1));
        // "/eby/" on the page: the parent root, a slash and the three letters.
        EXPECT_EQ(s(item->url().get()), "http://sfbay.bazaarnest.test/" + sfbay.subAreas[i].code);
        EXPECT_EQ(s(item->name().get()),
                  s(str(sfbay.subAreas[i].title)->capitalizedString().get()));
        EXPECT_EQ(s(item->state().get()), "California");
        EXPECT_EQ(s(item->region().get()), "US");
    }
}

TEST(SuburbPageTest, MetroWithoutSubAreaBarGivesTheParentAlone) {
    sitetest::site();
    auto parent = MetroItem::itemWithName(NS("Denver"), NS("http://denver.bazaarnest.test"),
                                          NS("Colorado"), NS("US"));
    auto page = make<SuburbPage>();
    page->downloadPageSync(parent->url().get());
    ASSERT_TRUE(page->getPage());
    auto list = page->getSuburbs(parent.get());
    ASSERT_EQ(list->count(), 1u);
    EXPECT_EQ(s(cast<MetroItem>(list->objectAtIndex(0))->url().get()),
              "http://denver.bazaarnest.test");
}

}  // namespace
