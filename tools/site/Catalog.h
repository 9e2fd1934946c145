// The site's fixed geography and category tree: regions, states, metros with their sub-areas
// and neighbourhoods, and the sections and categories of every city's home page, with the link
// form each category takes there.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace bnsite {

struct Region {
    std::string name;
    // The index heads it with the name inside a link ("<h1 ...><a href=...>name</a></h1>")
    // rather than as plain text.
    bool linkedHeader = false;
};

struct State {
    std::string name;
    int region = 0;
    std::string zone;  // the time-zone abbreviation listing times are written in
    int utcOffsetHours = 0;
    // A non-US state whose cities have an English version at "<city>.en.bazaarnest.test".
    bool englishVersion = false;
};

struct SubArea {
    std::string code;                         // three letters, the path segment ("/eby")
    std::string title;                        // lower case, as the sub-area bar writes it
    std::vector<std::string> neighbourhoods;  // offered by the posting pages' finest step
};

struct Metro {
    std::string code;  // the host label
    std::string name;  // lower case, as the index writes it
    int state = 0;
    std::vector<SubArea> subAreas;
    std::vector<std::string> places;  // place notes of listings

    int subAreaIndex(std::string_view code) const;  // -1 when not one of them
};

// How the home page links a category.
enum class LinkForm {
    Relative,        // "bik/"
    AutoIndex,       // "http://<city>/i/autos" (the app reads it as "cta/")
    ApartmentIndex,  // "http://<city>/i/apartments" ("aap/")
    IndexQuery,      // "http://<city>/i/browse?category=<code>" ("<code>/")
    ApartmentsCgi,   // "/cgi-bin/apartments.cgi?areaID=<n>" (the three apartment variants)
    CgiQuery,        // "/cgi-bin/browse.cgi?category=<code>" ("<code>/")
};

struct Section {
    std::string name;            // lower case, as the heading writes it
    std::string allCode;         // the catch-all code ("sss"), "" when the heading is plain text
    bool cgiHeaderLink = false;  // the heading links "/cgi-bin/browse.cgi?category=<allCode>"
    bool priced = false;
    std::string relayPrefix;  // of the relay addresses of its listings
};

struct Category {
    std::string code;  // the path ("bik"), without the slash
    std::string name;  // as the home page writes it (may hold entities)
    int section = 0;
    LinkForm form = LinkForm::Relative;
    bool sellerVariants = false;  // has "- By Owner" and "- By Dealer" paths
    std::string ownerCode, dealerCode;
    int minPrice = 0, maxPrice = 0;  // 0/0: no prices
    int volume = 0;  // listings per metro before the metro's own factor; -1 for a fixed count
    int fixedCount = 0;
    std::vector<std::string> nouns;  // what its listings offer
};

// What a category path of a result or browse URL selects.
struct CategorySelector {
    std::vector<int> categories;  // every category that contributes
    enum class Filter { None, Owner, Dealer, NoFee, ByOwner } filter = Filter::None;
    bool catchAll = false;  // a section's "all" code: rows carry their category note
};

class Catalog {
public:
    static const Catalog& shared();

    std::vector<Region> regions;
    std::vector<State> states;
    std::vector<Metro> metros;
    std::vector<Section> sections;
    std::vector<Category> categories;
    std::vector<std::string> forumNames;

    int metroIndex(std::string_view code) const;     // -1 when unknown
    int categoryIndex(std::string_view code) const;  // a base category's code; -1 otherwise
    int sectionIndex(std::string_view name) const;
    // Any path a result or browse URL may carry: base codes, catch-alls, owner and dealer
    // variants, "aap", "nfa", "abo" and the older "apt". False for anything else.
    bool select(std::string_view code, CategorySelector* selector) const;

    // The index of the apartments category (the one behind the apartment variants).
    int apartmentsCategory() const;

private:
    Catalog();
};

}  // namespace bnsite
