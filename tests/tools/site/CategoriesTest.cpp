// A city's home page read the way the category picker reads it, and every category it yields
// leading to a result page.
#include <set>

#include "SiteTesting.h"

using namespace sitetest;

namespace {

const std::vector<CategoryItem>& bostonCategories() {
    static const std::vector<CategoryItem> items =
        scrapeCategories(get("http://boston.bazaarnest.test/").text);
    return items;
}

const CategoryItem* itemNamed(const std::string& name) {
    for (const auto& c : bostonCategories()) {
        if (c.name == name) return &c;
    }
    return nullptr;
}

// The Search screen's normalisation of a category path.
std::string normalised(std::string url) {
    if (url.find("/i/") != std::string::npos) {
        if (url.find("/i/auto") != std::string::npos)
            url = "cta/";
        else if (url.find("/i/apartments") != std::string::npos)
            url = "aap/";
        else
            url = match(url, "category=([a-zA-Z0-9]*)").value_or("") + "/";
    }
    if (url.find("/cgi-bin/") != std::string::npos)
        url = match(url, "category=([a-zA-Z0-9]*)").value_or("") + "/";
    if (url == "apt/") url = "aap/";
    if (match(url, "([^a-zA-Z0-9/])", 1)) url = match(url, "([a-zA-Z0-9]*)").value_or("") + "/";
    return url;
}

}  // namespace

TEST(CityHomePage, GivesEnoughCategoriesInTheExpectedSections) {
    const auto& items = bostonCategories();
    EXPECT_GE(items.size(), 80u);  // the picker keeps nothing from a page with fewer
    std::vector<std::string> sections;
    for (const auto& c : items) {
        if (sections.empty() || sections.back() != c.section) sections.push_back(c.section);
    }
    EXPECT_EQ(sections, (std::vector<std::string>{"Community", "Personals", "Housing", "For Sale",
                                                  "Services", "Jobs", "Gigs", "Resumes"}));
    // The forums column contributes nothing.
    for (const auto& c : items)
        EXPECT_EQ(c.section.find("Forum"), std::string::npos);
    EXPECT_FALSE(itemNamed("Apple"));
}

TEST(CityHomePage, LinkedHeadingsLeadTheirSectionsWithACatchAll) {
    std::map<std::string, const CategoryItem*> first;
    for (const auto& c : bostonCategories())
        first.emplace(c.section, &c);
    EXPECT_FALSE(first["Personals"]->all);  // plainly headed
    for (const char* s :
         {"Community", "Housing", "For Sale", "Services", "Jobs", "Gigs", "Resumes"}) {
        EXPECT_TRUE(first[s]->all) << s;
        EXPECT_EQ(first[s]->name, std::string("All ") + s);
    }
    EXPECT_EQ(first["For Sale"]->url, "sss/");
    EXPECT_EQ(first["Gigs"]->url, "ggg/");  // a /cgi-bin/ heading link, rewritten
}

TEST(CityHomePage, CoversEveryLinkFormAndVariant) {
    auto expect = [](const std::string& name, const std::string& url) {
        const CategoryItem* c = itemNamed(name);
        ASSERT_TRUE(c) << name;
        EXPECT_EQ(c->url, url) << name;
    };
    expect("Furniture", "fua/");
    expect("Furniture - By Owner", "fuo/");
    expect("Furniture - By Dealer", "fud/");
    expect("Cars & Trucks", "cta/");  // linked through /i/autos
    expect("Cars & Trucks - By Owner", "cto/");
    expect("Cars & Trucks - By Dealer", "ctd/");
    expect("Apts Index", "aap/");       // /i/apartments
    expect("Heavy Equipment", "hvo/");  // /i/ with a category key
    expect("All Apartments", "aap/");   // the apartments cgi link
    expect("All No-Fee Apartments", "nfa/");
    expect("By-Owner Apartments", "abo/");
    expect("Writing / R\xC3\xA9sum\xC3\xA9s", "wet/");  // /cgi-bin/ with a category key
    expect("Casual Encounters", "cas/");
    expect("Casual Encounters (w4m)", "cas/");
    expect("Casual Encounters (m4m)", "cas/");
    expect("Arts & Crafts", "ars/");
    EXPECT_FALSE(itemNamed("Apts / Housing"));  // the apartments link yields only its variants
    // All eleven owner and dealer paths.
    int owners = 0;
    for (const auto& c : bostonCategories())
        owners += c.name.size() > 11 && c.name.rfind(" - By Owner") == c.name.size() - 11;
    EXPECT_EQ(owners, 11);
}

TEST(CityHomePage, EveryCategoryBrowsesToAResultPage) {
    std::set<std::string> paths;
    for (const auto& c : bostonCategories())
        paths.insert(normalised(c.url));
    EXPECT_GE(paths.size(), 80u);
    for (const auto& path : paths) {
        Page page = get("http://boston.bazaarnest.test/" + path);
        EXPECT_EQ(page.status, 200) << path;
        size_t markers = split(page.text, "<p class=\"row\"").size() - 1;
        EXPECT_EQ(scrapeRows(page.text).size(), markers) << path;
        EXPECT_LE(markers, 100u) << path;
    }
}

TEST(CityHomePage, IndirectLinksLeadToTheirCategories) {
    EXPECT_NE(get("http://boston.bazaarnest.test/i/autos").url.find("/cta/"), std::string::npos);
    EXPECT_NE(get("http://boston.bazaarnest.test/i/browse?category=hvo").url.find("/hvo/"),
              std::string::npos);
    EXPECT_NE(
        get("http://boston.bazaarnest.test/cgi-bin/apartments.cgi?areaID=31").url.find("/aap/"),
        std::string::npos);
    EXPECT_NE(
        get("http://boston.bazaarnest.test/cgi-bin/browse.cgi?category=ggg").url.find("/ggg/"),
        std::string::npos);
    // Nothing but the key's letters and digits reaches the Location field.
    std::string reply = rawExchange(
        "GET /cgi-bin/browse.cgi?category=bik%0D%0ASet-Cookie:%20x=1 HTTP/1.1\r\n"
        "Host: boston.bazaarnest.test\r\nConnection: close\r\n\r\n");
    EXPECT_NE(reply.find("Location: /bik/\r\n"), std::string::npos);
    EXPECT_EQ(reply.find("Set-Cookie"), std::string::npos);
}

TEST(CityHomePage, CarriesThePostingLink) {
    std::string page = get("http://boston.bazaarnest.test/").text;
    EXPECT_EQ(readPage(page, &PostPage::getPostUrl), "https://post.bazaarnest.test/c/boston");
    // The default city's root with a trailing slash, as the picker asks for it.
    EXPECT_EQ(get("http://boston.bazaarnest.test/").status, 200);
}
