// The stand-ins side by side, as scripts/run starts them: every host they map answers over https
// with a certificate the platform accepts for its name, and every link on the advertisers' pages
// that the in-ad browsers show, and on the site's own pages, leads to a page.
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSURL.h"
#include "SiteTesting.h"
#include "ads/meridian/MRHosts.h"
#include "support/services/RunningServices.h"

using namespace sitetest;

namespace {

// The names of a host override's entries ("pattern=address,..."), a pattern's "*" stood for by
// a label.
std::vector<std::string> mappedHosts(const std::string& entries) {
    std::vector<std::string> hosts;
    for (const auto& entry : split(entries, ",")) {
        std::string host = entry.substr(0, entry.find('='));
        if (host.rfind("*.", 0) == 0) host = "any" + host.substr(1);
        if (!host.empty()) hosts.push_back(host);
    }
    return hosts;
}

TEST(StandInHosts, EveryMappedHostAnswersOverHttpsUnderItsOwnName) {
    servicestest::services();
    std::vector<std::string> hosts = mappedHosts(site().hostsOverride());
    for (const auto& host : mappedHosts(servicestest::services().hostsOverride()))
        hosts.push_back(host);
    hosts.push_back("montreal.en.bazaarnest.test");  // a city's English version
    ASSERT_GE(hosts.size(), 20u);
    for (const auto& host : hosts) {
        StreamResult answer = validatedGet("https://" + host + "/");
        EXPECT_FALSE(answer.failed) << host << " error " << answer.errorCode;
    }
}

struct Fetched {
    int status = 0;
    bool failed = false;
    std::string text;
    std::string location;
};

// A GET that checks the certificate as the in-ad browsers' pages do, and does not follow a
// redirect.
Fetched fetch(const std::string& url) {
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(NSURL::URLWithString(str(url)));
    r->setValidatesSecureCertificate(true);
    r->setShouldRedirect(false);
    r->startSynchronous();
    Fetched f;
    f.status = r->responseStatusCode();
    f.failed = r->error() != nullptr;
    if (Ref<NSString> s = r->responseString()) f.text = s->utf8();
    if (Ref<NSDictionary> h = r->responseHeaders())
        if (auto to = as<NSString>(h->objectForKey(NS("Location")))) f.location = to->utf8();
    return f;
}

std::string schemeOf(const std::string& url) {
    auto colon = url.find(':');
    if (colon == std::string::npos || url.find('/') < colon) return {};
    std::string scheme = url.substr(0, colon);
    for (char& c : scheme)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return scheme;
}

// Whether the in-ad browsers hand the address to another application (a call, mail, the store,
// the maps, the platform's browser, the ad's own commands) rather than show it.
bool handedOff(const std::string& url) {
    std::string scheme = schemeOf(url);  // "" for a relative link
    if (!scheme.empty() && scheme != "http" && scheme != "https") return true;
    return url.find(MRStoreHost) != std::string::npos ||
           url.find(MRStoreHost2) != std::string::npos || url.find(MRMapsHost) != std::string::npos;
}

std::string decodedAmpersands(std::string text) {
    for (std::size_t at = text.find("&amp;"); at != std::string::npos; at = text.find("&amp;", at))
        text.replace(at, 5, "&");
    return text;
}

// Fetches each page, expects it to be one (or a redirect to one), and follows its links as far
// as its count says; answers every address met (the starts among them) and adds their hosts to
// `hosts`.
std::set<std::string> walkLinks(std::deque<std::pair<std::string, int>> toVisit,
                                std::set<std::string>& hosts) {
    std::set<std::string> seen;
    for (const auto& start : toVisit)
        seen.insert(start.first);
    while (!toVisit.empty()) {
        auto [url, linksLeft] = toVisit.front();
        toVisit.pop_front();
        Fetched page = fetch(url);
        std::vector<std::string> next;
        if (page.status >= 300 && page.status < 400) {
            EXPECT_FALSE(page.location.empty()) << url;
            next.push_back(page.location);
            ++linksLeft;  // a redirect is no link of a page
        } else {
            EXPECT_FALSE(page.failed) << url;
            EXPECT_EQ(page.status, 200) << url;
            if (page.failed || url.find(".jpg") != std::string::npos) continue;
            EXPECT_NE(page.text.find("<body"), std::string::npos) << url;
            for (const auto& link : walk(page.text, "href=\"([^\"]*)\"", 1))
                next.push_back(decodedAmpersands(link[0]));
        }
        if (linksLeft == 0) continue;
        Ref<NSURL> base = NSURL::URLWithString(str(url));
        for (const auto& link : next) {
            if (handedOff(link)) continue;
            Ref<NSURL> resolved = NSURL::URLWithString(str(link), base.get());
            EXPECT_TRUE(resolved) << link << " on " << url;
            if (!resolved) continue;
            std::string absolute = resolved->absoluteString()->utf8();
            if (Ref<NSString> host = resolved->host()) hosts.insert(host->utf8());
            if (seen.insert(absolute).second) toVisit.push_back({absolute, linksLeft - 1});
        }
    }
    return seen;
}

TEST(StandInHosts, EveryLinkOnTheAdvertisersPagesReachesAPage) {
    servicestest::services();
    site();
    // The pages the ads open in the in-ad browsers, whose links lead on from there, three links
    // deep (the house ad's advertiser pages lead on without end, one "more" page after another).
    std::set<std::string> hosts;
    std::set<std::string> seen =
        walkLinks({{"http://shop.advertiser.test/offer", 3},
                   {"http://ads.ironvine.test/AdBridgeServer/landing/1.html", 3},
                   {"http://ads.meridian.test/landing?page=1", 3},
                   {"http://mediation.adloom.test/advertiser/1", 3}},
                  hosts);
    EXPECT_GE(seen.size(), 15u);
    // Among them the shop's secure account page and the video site's watch page.
    EXPECT_TRUE(seen.count("https://shop.advertiser.test/account"));
    EXPECT_TRUE(seen.count("http://www.videohost.test/watch?v=bazaar"));
    EXPECT_TRUE(hosts.count("www.videohost.test"));
}

TEST(StandInHosts, EveryLinkOnTheSitesPagesReachesAPage) {
    site();
    // The pages a person meets first, each with how far its links are followed: a city's page
    // and the indexes only to the pages they name; a result list to its listings and on to
    // what those link to (photos, replies, the help page, a poster's own link).
    std::set<std::string> hosts;
    std::set<std::string> seen = walkLinks({{"http://www.bazaarnest.test/", 1},
                                            {"http://www.bazaarnest.test/about/sites", 1},
                                            {"http://boston.bazaarnest.test/", 1},
                                            {"http://montreal.en.bazaarnest.test/", 1},
                                            {"http://boston.bazaarnest.test/bik/", 2},
                                            {"http://boston.bazaarnest.test/sss/", 2}},
                                           hosts);
    EXPECT_GE(seen.size(), 300u);
    // Among them the forums, the help on replying and a poster's link to a page of their own.
    EXPECT_TRUE(seen.count("http://forums.bazaarnest.test/"));
    EXPECT_TRUE(seen.count("http://www.bazaarnest.test/about/help/replying"));
    EXPECT_TRUE(seen.count("http://www.example.test/more"));
}

}  // namespace
