// The location index, the front page, the city home pages (the category index) and the result
// pages of searches and browsing.
//
// Result pages keep every link outside the rows wrapped in an element, and carry no bare
// paragraph tags: the app splits them at each row and tries the text before the first row as a
// row too, so nothing there may read as a titled link.
#include <algorithm>
#include <cctype>

#include "tools/site/Hash.h"
#include "tools/site/Html.h"
#include "tools/site/SiteInternal.h"

namespace bnsite {

namespace {

std::string langOf(const State& state) {
    static const std::pair<const char*, const char*> table[] = {
        {"Quebec", "fr"},       {"France", "fr"},     {"Germany", "de"},  {"Austria", "de"},
        {"Switzerland", "de"},  {"Luxembourg", "fr"}, {"Italy", "it"},    {"Spain", "es"},
        {"Mexico", "es"},       {"Argentina", "es"},  {"Chile", "es"},    {"Uruguay", "es"},
        {"Puerto Rico", "es"},  {"Brazil", "pt"},     {"Portugal", "pt"}, {"Denmark", "da"},
        {"Finland", "fi"},      {"Norway", "no"},     {"Sweden", "sv"},   {"Turkey", "tr"},
        {"South Africa", "af"},
    };
    for (const auto& [name, lang] : table) {
        if (state.name == name) return lang;
    }
    return "en";
}

std::string anchorOf(const std::string& regionName) {
    std::string out;
    for (char c : regionName) {
        if (std::isalpha(static_cast<unsigned char>(c)))
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (out.size() == 4) break;
    }
    return out;
}

std::string categoryHref(const Metro& metro, const Category& c, int metroIndex) {
    switch (c.form) {
        case LinkForm::Relative:
            return c.code + "/";
        case LinkForm::AutoIndex:
            return cityRoot(metro.code) + "/i/autos";
        case LinkForm::ApartmentIndex:
            return cityRoot(metro.code) + "/i/apartments";
        case LinkForm::IndexQuery:
            return cityRoot(metro.code) + "/i/browse?category=" + c.code;
        case LinkForm::ApartmentsCgi:
            return "/cgi-bin/apartments.cgi?areaID=" + std::to_string(metroIndex + 1);
        case LinkForm::CgiQuery:
            return "/cgi-bin/browse.cgi?category=" + c.code;
    }
    return c.code + "/";
}

std::vector<std::string> splitWords(const std::string& text) {
    std::vector<std::string> out;
    std::string word;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!word.empty()) out.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) out.push_back(word);
    return out;
}

std::optional<int> askBound(const std::string& text) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return std::nullopt;
    long v = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int>(std::min<long>(v, 1000000000));
}

// The query string without its offset, for the paging links.
std::string queryWithout(const std::string& query, std::string_view key) {
    std::string out;
    size_t at = 0;
    while (at <= query.size()) {
        size_t amp = query.find('&', at);
        std::string pair =
            query.substr(at, amp == std::string::npos ? std::string::npos : amp - at);
        std::string name = pair.substr(0, pair.find('='));
        if (!pair.empty() && name != key) {
            if (!out.empty()) out += "&";
            out += pair;
        }
        if (amp == std::string::npos) break;
        at = amp + 1;
    }
    return out;
}

}  // namespace

HttpResponse frontPage(SiteImpl& site) {
    (void)site;
    std::string body =
        "<div id=\"logo\"><b>bazaarnest</b></div>\n"
        "<div class=\"tagline\">local classifieds and forums for jobs, housing, for sale, "
        "personals, services, local community, and events</div>\n"
        "<div class=\"choose\"><a href=\"/about/sites\"><span>choose a location</span></a></div>\n"
        "<div class=\"popular\"><a href=\"" +
        cityRoot(kDefaultCity) + "/\"><span>" + std::string(kDefaultCity) + "</span></a></div>\n";
    return HttpResponse::html(pageFrame("bazaarnest: classifieds", "front", body));
}

HttpResponse replyingHelpPage() {
    std::string body =
        "<div id=\"header\"><a href=\"http://www.bazaarnest.test/\"><b>bazaarnest</b></a> &gt; "
        "<span>help</span></div>\n<h2>Errors when replying to ads</h2>\n"
        "<div>Write to the relay address a posting shows: it passes your mail on to the poster "
        "without showing either address. A mail that comes back undelivered means the posting "
        "has expired or its poster removed it.</div>\n";
    return HttpResponse::html(pageFrame("bazaarnest: help on replying", "help", body));
}

HttpResponse posterSitePage(const HttpRequest& request) {
    if (request.method != "GET" && request.method != "HEAD")
        return errorPage(405, {"Only pages can be read here."});
    std::string body =
        "<h2>More details</h2>\n<div>Photos, measurements and directions for the things we sell "
        "on bazaarnest. Reply through the posting to ask about one.</div>\n";
    return HttpResponse::html(pageFrame("More details", "poster", body));
}

HttpResponse locationIndexPage(SiteImpl& site) {
    const Catalog& c = site.catalog;
    std::string body =
        "<div id=\"header\"><a href=\"http://www.bazaarnest.test/\"><b>bazaarnest</b></a> &gt; "
        "<span>sites</span></div>\n<div id=\"list\">\n";
    for (size_t r = 0; r < c.regions.size(); ++r) {
        const Region& region = c.regions[r];
        body += "<div class=\"colmask\">\n<h1 class=\"continent_header\">";
        if (region.linkedHeader) {
            std::string anchor = anchorOf(region.name);
            body += "<a name=\"" + anchor + "\"></a><a href=\"#" + anchor + "\">" + region.name +
                    "</a>";
        } else {
            body += region.name;
        }
        body += "</h1>\n<div class=\"box box_1\">\n";
        for (size_t s = 0; s < c.states.size(); ++s) {
            if (c.states[s].region != static_cast<int>(r)) continue;
            body += "<div class=\"state_delimiter\">" + c.states[s].name + "</div>\n<ul>\n";
            for (const auto& m : c.metros) {
                if (m.state != static_cast<int>(s)) continue;
                body += "<li><a href=\"" + cityRoot(m.code) + "\">" + m.name + "</a></li>\n";
            }
            body += "</ul>\n";
        }
        body += "</div>\n</div>\n";
    }
    body +=
        "</div>\n<div id=\"footer\"><a href=\"http://www.bazaarnest.test/\"><span>bazaarnest"
        "</span></a> <span>&copy; 2012</span></div>\n";
    return HttpResponse::html(pageFrame("bazaarnest: site list", "sites", body));
}

HttpResponse cityHomePage(SiteImpl& site, int metroIndex, int subArea, bool english) {
    const Catalog& c = site.catalog;
    const Metro& m = c.metros[static_cast<size_t>(metroIndex)];
    const State& state = c.states[static_cast<size_t>(m.state)];
    std::string lang = english ? "en" : langOf(state);
    std::string name = m.name;
    if (subArea >= 0) name += " - " + m.subAreas[static_cast<size_t>(subArea)].title;

    std::string body =
        "<div id=\"leftbar\">\n<div id=\"logo\"><a href=\"http://www.bazaarnest.test/\">"
        "<b>bazaarnest</b></a></div>\n<ul id=\"postlks\">\n<li><a href=\"https://";
    body += kPostingHost;
    body += "/c/" + m.code + "\">post to classifieds</a></li>\n<li><a href=\"https://";
    body += kAccountHost;
    body += "/\"><span>my account</span></a></li>\n</ul>\n";
    body +=
        "<form id=\"search\" action=\"/search/\" method=\"get\">\n"
        "<input type=\"text\" id=\"query\" name=\"query\">\n<select name=\"catAbb\">\n";
    for (const auto& s : c.sections) {
        if (!s.allCode.empty())
            body += "<option value=\"" + s.allCode + "\">" + s.name + "</option>\n";
    }
    body += "</select>\n<input type=\"submit\" value=\"&gt;\">\n</form>\n";
    if (state.englishVersion) {
        body += "<div class=\"langlinks\"><a href=\"http://" + cityHost(m.code, true) +
                "/\"><span>english</span></a> <a href=\"http://" + cityHost(m.code, false) +
                "/\"><span>" + lang + "</span></a></div>\n";
    }
    body += "</div>\n<div id=\"topban\">\n<h2>" + name + "</h2>\n";
    if (!m.subAreas.empty()) {
        body += "<span class=\"sublinks\">";
        for (const auto& a : m.subAreas)
            body += " <a href=\"/" + a.code + "/\" title=\"" + a.title + "\">" + a.code + "</a>";
        body += " </span>\n";
    }
    body += "</div>\n<div id=\"main\">\n";

    auto column = [&](int section) {
        const Section& s = c.sections[static_cast<size_t>(section)];
        body += "<div class=\"col\">\n<h4 class=\"ban\">";
        if (s.allCode.empty()) {
            body += s.name;
        } else if (s.cgiHeaderLink) {
            body += "<a href=\"/cgi-bin/browse.cgi?category=" + s.allCode + "\">" + s.name + "</a>";
        } else {
            body += "<a href=\"" + s.allCode + "/\">" + s.name + "</a>";
        }
        body += "</h4>\n<div class=\"cats\"><ul>\n";
        for (const auto& cat : c.categories) {
            if (cat.section != section) continue;
            body += "<li><a href=\"" + categoryHref(m, cat, metroIndex) + "\">" + cat.name +
                    "</a></li>\n";
        }
        body += "</ul></div>\n</div>\n";
    };
    column(0);
    column(1);
    // The forums: a linked heading the app leaves out with everything under it.
    body += "<div class=\"col\">\n<h4 class=\"ban\"><a href=\"http://";
    body += kForumsHost;
    body += "/\">discussion forums</a></h4>\n<div class=\"cats\"><ul>\n";
    for (size_t i = 0; i < c.forumNames.size(); ++i) {
        body += "<li><a href=\"http://" + std::string(kForumsHost) +
                "/?forumID=" + std::to_string(i + 1) + "\">" + c.forumNames[i] + "</a></li>\n";
    }
    body += "</ul></div>\n</div>\n";
    for (int section = 2; section < static_cast<int>(c.sections.size()); ++section)
        column(section);
    body +=
        "</div>\n<div id=\"footer\"><span>&copy; 2012 bazaarnest</span> <a href=\"http://"
        "www.bazaarnest.test/about/sites\"><span>other cities</span></a></div>\n";
    std::string title = "bazaarnest: " + name +
                        " classifieds for jobs, apartments, personals, for sale, services, "
                        "community, and events";
    return HttpResponse::html(pageFrame(title, "homepage", body, lang));
}

HttpResponse resultPage(SiteImpl& site, const HttpRequest& request, int metroIndex, int subArea,
                        const std::string& categoryCode, bool search, std::size_t offset) {
    const Catalog& c = site.catalog;
    const Metro& m = c.metros[static_cast<size_t>(metroIndex)];
    ListingQuery q;
    q.metro = metroIndex;
    q.subArea = subArea;
    if (!c.select(categoryCode, &q.selector))
        return errorPage(404, {"There is no such category."}, "not found");
    FormFields params = parseQuery(request.query);
    std::string keyword = fieldValue(params, "query");
    std::string searchType = fieldValue(params, "srchType");
    std::string minAsk = fieldValue(params, "minAsk");
    std::string maxAsk = fieldValue(params, "maxAsk");
    std::string sort = fieldValue(params, "sort");
    bool hasPic = fieldValue(params, "hasPic") == "1";
    if (search) {
        q.words = splitWords(keyword);
        q.titlesOnly = searchType == "T";
        q.minAsk = askBound(minAsk);
        q.maxAsk = askBound(maxAsk);
        q.withImages = hasPic;
        if (sort == "rel")
            q.sort = ListingQuery::Sort::Relevance;
        else if (sort == "priceasc")
            q.sort = ListingQuery::Sort::PriceAscending;
        else if (sort == "pricedsc")
            q.sort = ListingQuery::Sort::PriceDescending;
    }
    q.offset = offset;
    q.limit = 100;
    ListingResult result = site.listings.query(q);

    const std::string root = cityRoot(m.code);
    std::string areaPath = subArea >= 0 ? "/" + m.subAreas[static_cast<size_t>(subArea)].code : "";
    const Category* single = q.selector.categories.size() == 1
                                 ? &c.categories[static_cast<size_t>(q.selector.categories[0])]
                                 : nullptr;
    const Section& section = c.sections[static_cast<size_t>(
        c.categories[static_cast<size_t>(q.selector.categories.at(0))].section)];
    std::string heading = single && !q.selector.catchAll ? single->name : section.name;

    std::string body = "<div class=\"bchead\"><a href=\"" + root + "/\"><b>" + m.name +
                       " bazaarnest</b></a> &gt; <a href=\"" + root + areaPath + "/" +
                       categoryCode + "/\"><b>" + heading + "</b></a></div>\n";
    std::string searchPath = "/search/" + categoryCode + areaPath;
    body +=
        "<form id=\"searchform\" action=\"" + searchPath +
        "\" method=\"get\">\n"
        "<input type=\"text\" name=\"query\" value=\"" +
        escapeHtml(keyword) +
        "\">\n"
        "<select name=\"srchType\"><option value=\"A\">entire post</option><option value=\"T\"" +
        std::string(q.titlesOnly ? " selected" : "") +
        ">only title</option></select>\n"
        "<input type=\"text\" name=\"minAsk\" size=\"6\" value=\"" +
        escapeHtml(minAsk) +
        "\">\n"
        "<input type=\"text\" name=\"maxAsk\" size=\"6\" value=\"" +
        escapeHtml(maxAsk) +
        "\">\n"
        "<input type=\"checkbox\" name=\"hasPic\" value=\"1\"" +
        std::string(hasPic ? " checked" : "") +
        "> has image\n<input type=\"submit\" value=\"search\">\n</form>\n";

    std::size_t shownFrom = offset + 1;
    std::size_t shownTo = offset + result.rows.size();
    bool more = shownTo < result.total;
    if (result.rows.empty()) {
        body += "<div class=\"noresults\"><b>Nothing found for that search.</b></div>\n";
    } else {
        body += "<div class=\"resulthead\">Found: " + std::to_string(result.total) +
                " Displaying: " + std::to_string(shownFrom) + " - " + std::to_string(shownTo) +
                "</div>\n";
    }
    std::string pagination;
    if (search) {
        std::string base = searchPath + "?" + queryWithout(request.query, "s");
        pagination = "<div class=\"pagination\">";
        if (offset > 0) {
            std::size_t previous = offset >= 100 ? offset - 100 : 0;
            pagination += "<a href=\"" +
                          escapeHtml(base + (previous ? "&s=" + std::to_string(previous) : "")) +
                          "\"><b>&lt;&lt; Prev</b></a> ";
        }
        if (more)
            pagination += "<a href=\"" + escapeHtml(base + "&s=" + std::to_string(offset + 100)) +
                          "\"><b>Next &gt;&gt;</b></a>";
        pagination += "</div>\n";
        body += pagination;
    }

    std::string lastDay;
    for (const Listing& l : result.rows) {
        const Category& cat = c.categories[static_cast<size_t>(l.category)];
        std::string day = listingDay(l, c);
        if (!search && day != lastDay) body += "<h4 class=\"ban\">" + day + "</h4>\n";
        lastDay = day;
        body += "<p class=\"row\" data-pid=\"" + std::to_string(l.id) + "\">";
        if (l.hasImages())
            body += " <span class=\"ih\" id=\"images:" + std::to_string(l.id) +
                    "_1.jpg\">&nbsp;</span>";
        body += " " + day + " - <a href=\"" + listingUrl(c, l) + "\">" + l.titleHtml + "</a>";
        if (l.price >= 0)
            body += " - <span class=\"price\">$" + std::to_string(l.price) + "</span>";
        if (!l.placeHtml.empty()) body += "<font size=\"-1\"> (" + l.placeHtml + ")</font>";
        if (q.selector.catchAll)
            body += " <small class=\"gc\"><a href=\"" + root + "/" + cat.code + "/\">" + cat.name +
                    "</a></small>";
        if (l.hasImages()) body += " <span class=\"p\"> pic</span>";
        body += "<br class=\"c\"></p>\n";
    }

    if (search) {
        if (!result.rows.empty()) body += pagination;
    } else {
        body += "<div class=\"browsenav\">";
        if (offset > 0) {
            std::size_t previous = offset >= 100 ? offset - 100 : 0;
            body += "<a href=\"" +
                    (previous ? "index" + std::to_string(previous) + ".html" : std::string("./")) +
                    "\"><b>previous 100 postings</b></a> ";
        }
        if (more)
            body +=
                "<a href=\"index" + std::to_string(offset + 100) + ".html\">next 100 postings</a>";
        body += "</div>\n";
    }
    body += "<div id=\"footer\"><span>&copy; 2012 bazaarnest</span></div>\n";
    std::string title =
        "bazaarnest " + m.name + " | " + heading + (search && !keyword.empty() ? " search" : "");
    return HttpResponse::html(pageFrame(escapeHtml(title), "toc", body));
}

std::string listingUrl(const Catalog& catalog, const Listing& l) {
    const Metro& m = catalog.metros[static_cast<size_t>(l.metro)];
    std::string out = cityRoot(m.code);
    if (l.subArea >= 0) out += "/" + m.subAreas[static_cast<size_t>(l.subArea)].code;
    out += "/" + catalog.categories[static_cast<size_t>(l.category)].code + "/" +
           std::to_string(l.id) + ".html";
    return out;
}

std::vector<std::string> listingImageUrls(const Listing& l) {
    std::vector<std::string> out;
    if (!l.uploadedImages.empty()) {
        for (const auto& key : l.uploadedImages)
            out.push_back("http://" + std::string(kImageHost) + "/u/" + key + ".jpg");
        return out;
    }
    for (int n = 1; n <= l.images; ++n) {
        out.push_back("http://" + std::string(kImageHost) + "/" + std::to_string(l.id) + "_" +
                      std::to_string(n) + (l.pngImages ? ".png" : ".jpg"));
    }
    return out;
}

std::string listingThumbnailUrl(const Listing& l) {
    return "http://" + std::string(kImageHost) + "/thumb/" + std::to_string(l.id) + "_1.jpg";
}

}  // namespace bnsite
