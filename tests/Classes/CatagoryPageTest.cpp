// Category scraping against a city home page of the stand-in site: the list must be exactly what
// the site's category tree gives under the app's rules (link forms, variants, headings).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Classes/CatagoryItem.h"
#include "Classes/CatagoryPage.h"
#include "Classes/StringFunctions.h"
#include "Foundation/NSArray.h"
#include "support/FoundationTesting.h"
#include "support/site/RunningSite.h"
#include "tools/site/Catalog.h"

namespace {

struct Entry {
    std::string name, url, section;
    bool all;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& o, const Entry& e) {
    return o << "{" << e.name << ", " << e.url << ", " << e.section << (e.all ? ", all}" : "}");
}

std::string s(NSString* t) {
    return t ? t->utf8() : "(nil)";
}

std::string display(const std::string& raw) {
    return s(decodeHtmlEntityString(str(raw).get())->capitalizedString().get());
}

std::vector<Entry> scraped(const char* city) {
    sitetest::site();
    auto page = make<CatagoryPage>();
    page->downloadPageSync(str(std::string("http://") + city + ".bazaarnest.test/").get());
    auto list = page->getCatagories();
    std::vector<Entry> out;
    for (NSUInteger i = 0; i < list->count(); ++i) {
        auto item = cast<CatagoryItem>(list->objectAtIndex(i));
        out.push_back({s(item->name().get()), s(item->url().get()), s(item->section().get()),
                       item->allCatagory()});
    }
    return out;
}

// What the home page's columns must give, worked out from the site's tree.
std::vector<Entry> expected(const bnsite::Catalog& c) {
    std::vector<Entry> out;
    for (size_t si = 0; si < c.sections.size(); ++si) {
        const auto& sec = c.sections[si];
        std::string section = display(sec.name);
        if (!sec.allCode.empty())
            out.push_back({"All " + section, sec.allCode + "/", section, true});
        for (const auto& cat : c.categories) {
            if (cat.section != static_cast<int>(si)) continue;
            std::string name = display(cat.name);
            std::string url = cat.code + "/";
            if (cat.form == bnsite::LinkForm::AutoIndex) url = "cta/";
            if (cat.form == bnsite::LinkForm::ApartmentIndex) url = "aap/";
            if (cat.form == bnsite::LinkForm::ApartmentsCgi) {
                out.push_back({"All Apartments", "aap/", section, false});
                out.push_back({"All No-Fee Apartments", "nfa/", section, false});
                out.push_back({"By-Owner Apartments", "abo/", section, false});
                continue;
            }
            out.push_back({name, url, section, false});
            if (url == "cas/") {
                for (const char* code : {"w4m", "w4w", "m4w", "m4m"})
                    out.push_back({name + " (" + code + ")", url, section, false});
            } else if (cat.sellerVariants) {
                out.push_back({name + " - By Owner", cat.ownerCode + "/", section, false});
                out.push_back({name + " - By Dealer", cat.dealerCode + "/", section, false});
            }
        }
    }
    return out;
}

TEST(CatagoryPageTest, CityPageGivesTheWholeTreeWithItsVariants) {
    const auto& catalog = sitetest::site().catalog();
    auto got = scraped("boston");
    // The picker keeps its stored list when a page yields fewer than 80; the site's must pass.
    EXPECT_GE(got.size(), 80u);
    // The site writes the sections in index order, the forums column between 1 and 2.
    EXPECT_EQ(got, expected(catalog));
    // The same tree in a city whose page is in another language.
    EXPECT_EQ(scraped("montreal"), got);
}

TEST(CatagoryPageTest, EdgeCasesOfTheRules) {
    auto got = scraped("chicago");
    auto find = [&](const std::string& name) -> const Entry* {
        for (const auto& e : got)
            if (e.name == name) return &e;
        return nullptr;
    };
    auto at = [&](const Entry* e) { return static_cast<size_t>(e - got.data()); };
    for (const auto& e : got)
        EXPECT_EQ(e.section.find("Forum"), std::string::npos) << e;
    EXPECT_FALSE(find("All Personals"));  // a plain heading has no catch-all
    const Entry* furniture = find("Furniture");
    ASSERT_TRUE(furniture);
    EXPECT_EQ(furniture->url, "fua/");
    EXPECT_EQ(got[at(furniture) + 1], (Entry{"Furniture - By Owner", "fuo/", "For Sale", false}));
    EXPECT_EQ(got[at(furniture) + 2], (Entry{"Furniture - By Dealer", "fud/", "For Sale", false}));
    // The /cgi-bin/ heading link and a /cgi-bin/ category link become plain paths.
    ASSERT_TRUE(find("All Gigs"));
    EXPECT_EQ(find("All Gigs")->url, "ggg/");
    ASSERT_TRUE(find("Writing / Résumés"));
    EXPECT_EQ(find("Writing / Résumés")->url, "wet/");
    ASSERT_TRUE(find("Lost & Found"));
    EXPECT_FALSE(find("Apts / Housing"));  // replaced by its three variants
}

TEST(CatagoryPageTest, VariantHelpersAppendInOrder) {
    auto page = make<CatagoryPage>();
    auto list = NSMutableArray::array();
    auto bike = CatagoryItem::itemWithName(NS("Bikes"), NS("bia/"), NS("For Sale"), false);
    page->addSubcategories(list.get(), bike.get(), {{NS("- By Owner"), NS("bio/")}});
    page->addApartmentSubcatagories(list.get(), NS("Housing"));
    ASSERT_EQ(list->count(), 4u);
    EXPECT_EQ(s(cast<CatagoryItem>(list->objectAtIndex(0))->name().get()), "Bikes - By Owner");
    EXPECT_EQ(s(cast<CatagoryItem>(list->objectAtIndex(0))->url().get()), "bio/");
    EXPECT_EQ(s(cast<CatagoryItem>(list->objectAtIndex(3))->url().get()), "abo/");
    EXPECT_EQ(s(cast<CatagoryItem>(list->objectAtIndex(3))->section().get()), "Housing");
    EXPECT_EQ(make<CatagoryPage>()->getCatagories()->count(), 0u);
}

}  // namespace
