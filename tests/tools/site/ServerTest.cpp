// The server itself: the same seed gives the same bytes, hosts are told apart by the Host field,
// one log line per request, kept connections, chunked and gzipped bodies, and the page
// simplifier whose image placeholders the app's page class turns back into images.
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <ctime>

#include "Classes/MatchKit/MatchKit.h"
#include "SiteTesting.h"
#include "support/RunLoopTesting.h"
#include "support/StandInTesting.h"
#include "tools/site/SiteInternal.h"

using namespace sitetest;

namespace {

bnsite::HttpRequest request(const std::string& host, const std::string& target) {
    bnsite::HttpRequest r;
    r.host = host;
    r.target = target;
    return r;
}

std::string gunzip(const std::string& data) {
    z_stream z{};
    inflateInit2(&z, 31);
    std::string out(1 << 20, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

const std::vector<std::pair<std::string, std::string>> kPages = {
    {"www.bazaarnest.test", "/about/sites"},
    {"boston.bazaarnest.test", "/"},
    {"boston.bazaarnest.test", "/bik/"},
    {"boston.bazaarnest.test", "/search/sss?query=oak&sort=rel&srchType=A&minAsk=&maxAsk="},
    {"boston.bazaarnest.test", "/gbs/fua/index100.html"},
    {"sfbay.bazaarnest.test", "/search/cas/eby?query=w4m"},
    {"verify.captchaservice.test", "/recaptcha/api/noscript?k=x"},
};

}  // namespace

TEST(SiteServer, TheSameSeedGivesTheSameBytes) {
    bnsite::SiteOptions seven;
    seven.seed = 7;
    bnsite::Site a(seven), b(seven);
    bnsite::SiteOptions eight;
    eight.seed = 8;
    bnsite::Site c(eight);
    int differing = 0;
    for (const auto& [host, target] : kPages) {
        std::string first = a.handle(request(host, target)).body;
        EXPECT_EQ(first, b.handle(request(host, target)).body) << host << target;
        differing += first != c.handle(request(host, target)).body;
    }
    EXPECT_GE(differing, 4);  // listings change with the seed; the geography does not
    // Photos too.
    for (const auto& listing : *a.listings().generated(0, a.catalog().categoryIndex("fua"))) {
        if (listing.images == 0) continue;
        std::string photo =
            "/" + std::to_string(listing.id) + "_1" + (listing.pngImages ? ".png" : ".jpg");
        EXPECT_EQ(a.handle(request("images.bazaarnest.test", photo)).body,
                  b.handle(request("images.bazaarnest.test", photo)).body);
        break;
    }

    // A second server of the default seed sends what the test site sends.
    bnsite::Site other;
    ASSERT_TRUE(other.start());
    std::string ask =
        "GET /bik/ HTTP/1.1\r\nHost: boston.bazaarnest.test\r\nConnection: close\r\n\r\n";
    EXPECT_EQ(rawBody(rawExchange(ask, nullptr, other.port())), rawBody(rawExchange(ask)));
    other.stop();
    EXPECT_FALSE(other.isRunning());
}

TEST(SiteServer, EachRequestIsLoggedOnOneLine) {
    get("http://boston.bazaarnest.test/fua/?logged=1");
    get("http://boston.bazaarnest.test/no/such/page");
    // The server writes a line once its answer is out, so the last one may still be on its way.
    std::vector<std::string> mine;
    runLoopUntil([&] {
        for (const auto& l : takeLog()) {
            if (l.find("/fua/?logged=1") != std::string::npos ||
                l.find("/no/such/page") != std::string::npos)
                mine.push_back(l);
        }
        return mine.size() >= 2;
    });
    ASSERT_EQ(mine.size(), 2u);
    EXPECT_NE(mine[0].find("\"GET http://boston.bazaarnest.test/fua/?logged=1 HTTP/1.1\" 200 "),
              std::string::npos)
        << mine[0];
    EXPECT_NE(mine[1].find("\" 404 "), std::string::npos) << mine[1];
    for (const auto& l : mine)
        EXPECT_EQ(l.find('\n'), std::string::npos);
}

TEST(SiteServer, HostsAreToldApartByTheHostField) {
    auto status = [](const std::string& head) {
        std::string reply = rawExchange(head);
        return reply.substr(9, 3);
    };
    EXPECT_EQ(status("GET / HTTP/1.1\r\nHost: boston.bazaarnest.test\r\nConnection: close\r\n\r\n"),
              "200");
    EXPECT_EQ(
        status("GET / HTTP/1.1\r\nHost: BOSTON.bazaarnest.test:8080\r\nConnection: close\r\n\r\n"),
        "200");
    EXPECT_EQ(
        status("GET / HTTP/1.1\r\nHost: nowhere.bazaarnest.test\r\nConnection: close\r\n\r\n"),
        "404");
    EXPECT_EQ(status("GET / HTTP/1.1\r\nHost: example.org\r\nConnection: close\r\n\r\n"), "421");
    EXPECT_EQ(status("GET / HTTP/1.0\r\n\r\n"), "400");
    EXPECT_EQ(status("garbage\r\n\r\n"), "400");
}

TEST(SiteServer, KeptConnectionsHeadChunkedAndGzippedBodies) {
    std::string two = rawExchange(
        "GET /tls/ HTTP/1.1\r\nHost: boston.bazaarnest.test\r\n\r\n"
        "HEAD /tls/ HTTP/1.1\r\nHost: boston.bazaarnest.test\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(split(two, "HTTP/1.1 200 OK").size(), 3u);
    EXPECT_EQ(two.rfind("</html>\n"), two.find("</html>\n"));  // the second answer has no body

    std::string challenge =
        readPage(get("http://verify.captchaservice.test/recaptcha/api/noscript?k=x").text,
                 &VerificationPage::getChallengeField)
            .value_or("");
    std::string answer = site().captchaAnswer(challenge).value_or("");
    std::string form =
        "recaptcha_challenge_field=" + challenge + "&recaptcha_response_field=" + answer;
    std::string chunked = rawExchange(
        "POST /recaptcha/api/noscript?k=x HTTP/1.1\r\nHost: verify.captchaservice.test\r\n"
        "Content-Type: application/x-www-form-urlencoded\r\nTransfer-Encoding: chunked\r\n"
        "Connection: close\r\n\r\n" +
        [&] {
            char size[16];
            std::snprintf(size, sizeof size, "%zx", form.size() - 10);
            char rest[16];
            std::snprintf(rest, sizeof rest, "%x", 10);
            return std::string(size) + "\r\n" + form.substr(0, form.size() - 10) + "\r\n" + rest +
                   "\r\n" + form.substr(form.size() - 10) + "\r\n0\r\n\r\n";
        }());
    EXPECT_TRUE(readPage(chunked, &VerificationPage::getVerificationCode).has_value());

    std::string plain = rawBody(rawExchange(
        "GET /fua/ HTTP/1.1\r\nHost: boston.bazaarnest.test\r\nConnection: close\r\n\r\n"));
    std::string packed = rawExchange(
        "GET /fua/ HTTP/1.1\r\nHost: boston.bazaarnest.test\r\nAccept-Encoding: "
        "gzip\r\nConnection: close\r\n\r\n");
    EXPECT_NE(packed.find("Content-Encoding: gzip"), std::string::npos);
    EXPECT_LT(rawBody(packed).size(), plain.size());
    EXPECT_EQ(gunzip(rawBody(packed)), plain);
}

TEST(PageSimplifier, ImagePlaceholdersTurnBackIntoTheListingsImages) {
    const auto& catalog = site().catalog();
    bnsite::Listing listing;
    for (const auto& l :
         *site().listings().generated(catalog.metroIndex("boston"), catalog.categoryIndex("fua"))) {
        if (l.status == bnsite::Listing::Status::Live && l.images >= 2) {
            listing = l;
            break;
        }
    }
    ASSERT_GE(listing.images, 2);
    std::string url = bnsite::listingUrl(catalog, listing);
    Page simplified = get("http://mobilize.pagesimplifier.test/gwt/x?u=" + url + "&ct=pg1&whp=30");
    ASSERT_EQ(simplified.status, 200);
    EXPECT_EQ(simplified.text.find("imgList"), std::string::npos);  // scripts and comments go
    EXPECT_NE(simplified.text.find(listing.titleHtml), std::string::npos);
    // The page class's replacement gives the listing's own image addresses.
    Ref<NSString> restored = stringByReplacingOccurrencesOfRegex(
        str(simplified.text), NS("<a href=[^>]*u=http%3A%2F%2F([^&]*)[^>]*>\\[Image]</a>"),
        NS("<img src=\"http://$1\"/>"));
    auto sources = walk(restored->utf8(), "<img src=\"([^\"]*)\"/>", 1);
    ASSERT_EQ(sources.size(), static_cast<size_t>(listing.images));
    auto expected = bnsite::listingImageUrls(listing);
    for (size_t i = 0; i < sources.size(); ++i)
        EXPECT_EQ(sources[i][0], expected[i]);
    // The placeholders lead to the image through the service as well.
    auto placeholder = match(simplified.text, "<a href=\"([^\"]*)\">\\[Image]</a>");
    ASSERT_TRUE(placeholder);
    std::string link =
        "http://mobilize.pagesimplifier.test" +
        str(*placeholder)->stringByReplacingOccurrencesOfString(NS("&amp;"), NS("&"))->utf8();
    Page image = get(link);
    EXPECT_EQ(image.contentType.rfind("image/", 0), 0u) << link;
    EXPECT_EQ(
        get("http://mobilize.pagesimplifier.test/gwt/x?u=http://example.org/&ct=pg1&whp=30").status,
        502);
    EXPECT_EQ(
        get("http://mobilize.pagesimplifier.test/gwt/x?u=http://admin.bazaarnest.test/reset&ct=pg1")
            .status,
        502);
}

TEST(SiteServer, AStoppedSiteStartsAgainWithItsGates) {
    bnsite::Site s;
    ASSERT_TRUE(s.start());
    auto gate = s.gate("again");
    s.stop();  // aborts whatever waits
    ASSERT_TRUE(s.start());
    bnsite::Fault f;
    f.gate = "again";
    s.addFault(f);
    gate->open();
    std::string reply =
        rawExchange("GET / HTTP/1.1\r\nHost: boston.bazaarnest.test\r\nConnection: close\r\n\r\n",
                    nullptr, s.port());
    EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u);
}

TEST(SiteProgram, PrintsItsPortAndTheEnvironmentThenServes) {
    standintest::StartedProgram program({BN_SITE_PROGRAM, "--port", "0", "--seed", "5"});
    int port = program.port;
    EXPECT_GT(port, 0);
    EXPECT_NE(program.firstLine.find("(seed 5)"), std::string::npos) << program.firstLine;
    EXPECT_EQ(program.hosts, bnsite::hostsOverrideFor(port));
    EXPECT_EQ(program.caFile, site().caFile());
    std::string reply = rawExchange(
        "GET /about/sites HTTP/1.1\r\nHost: www.bazaarnest.test\r\nConnection: close\r\n\r\n",
        nullptr, port);
    EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u);
    // One log line for that request, then a clean stop.
    std::string line = program.nextLine();
    EXPECT_NE(line.find("GET http://www.bazaarnest.test/about/sites"), std::string::npos) << line;
    EXPECT_TRUE(program.stop());
}

namespace {
// The "Date:" a listing page of the program on `port` writes for Denver's newest bike.
std::string newestBikeDate(int port) {
    std::string reply = rawExchange(
        "GET /bik/1003114000.html HTTP/1.1\r\nHost: denver.bazaarnest.test\r\nConnection: "
        "close\r\n\r\n",
        nullptr, port);
    const std::string mark = "<span class=\"postingdate\">Date: ";
    auto at = reply.find(mark);
    return at == std::string::npos ? "" : reply.substr(at + mark.size(), 10);
}
}  // namespace

namespace {
const char* const kCaptchaPage =
    "GET /recaptcha/api/noscript?k=x HTTP/1.1\r\nHost: verify.captchaservice.test\r\n"
    "Connection: close\r\n\r\n";

std::string challengeIn(const std::string& page) {
    return readPage(page, &VerificationPage::getChallengeField).value_or("");
}

// The challenge of the first captcha page of the program on `port`, or of a site in process.
std::string firstChallenge(int port) {
    return challengeIn(rawBody(rawExchange(kCaptchaPage, nullptr, port)));
}
std::string firstChallenge(bnsite::Site& site) {
    return challengeIn(
        handled("http://verify.captchaservice.test/recaptcha/api/noscript?k=x", {}, {}, &site)
            .body);
}

// The session cookie the first login to `site` is given.
std::string sessionCookie(bnsite::Site& site) {
    std::string browser =
        cookieSet(handled("https://accounts.bazaarnest.test/", {}, {}, &site), "bn_browser");
    return cookieSet(handled("https://accounts.bazaarnest.test/login", browser,
                             "step=confirmation&originalURI=%2F&inputEmailHandle=tester&"
                             "inputPassword=secret",
                             &site),
                     "bn_session");
}
}  // namespace

TEST(SiteProgram, APersonsRunsHaveTokensOfTheirOwnTestsAndScriptsTheSameOnes) {
    standintest::StartedProgram one({BN_SITE_PROGRAM, "--port", "0"});
    standintest::StartedProgram two({BN_SITE_PROGRAM, "--port", "0"});
    standintest::StartedProgram scripted({BN_SITE_PROGRAM, "--port", "0", "--fixed-tokens"});
    std::string first = firstChallenge(one.port);
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first, firstChallenge(two.port));
    // With the tokens fixed, the program makes the challenge every site of the tests makes first.
    bnsite::Site inProcess;
    EXPECT_EQ(firstChallenge(scripted.port), firstChallenge(inProcess));
    EXPECT_TRUE(one.stop());
    EXPECT_TRUE(two.stop());
    EXPECT_TRUE(scripted.stop());

    // The first login's cookie: the same for every site of the tests, another with a salt.
    bnsite::Site a, b;
    bnsite::SiteOptions salted;
    salted.tokenSalt = 12345;
    bnsite::Site c(salted);
    std::string cookie = sessionCookie(a);
    ASSERT_EQ(cookie.rfind("bn_session=", 0), 0u) << cookie;
    EXPECT_EQ(sessionCookie(b), cookie);
    EXPECT_NE(sessionCookie(c), cookie);
}

TEST(SiteProgram, DatesListingsBeforeItsStartUnlessAskedForTheFixedDates) {
    standintest::StartedProgram fixed({BN_SITE_PROGRAM, "--port", "0", "--fixed-dates"});
    EXPECT_EQ(newestBikeDate(fixed.port), "2012-03-01");
    EXPECT_TRUE(fixed.stop());
    // A person's run: the newest listings are hours old on today's clock.
    std::time_t started = std::time(nullptr);
    standintest::StartedProgram live({BN_SITE_PROGRAM, "--port", "0"});
    std::string date = newestBikeDate(live.port);
    EXPECT_TRUE(live.stop());
    ASSERT_EQ(date.size(), 10u) << date;
    std::tm today{};
    gmtime_r(&started, &today);
    int year = std::stoi(date.substr(0, 4));
    EXPECT_TRUE(year == today.tm_year + 1900 || year == today.tm_year + 1899) << date;
}
