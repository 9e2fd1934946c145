// What the stand-in site's tests share: one site started for the whole program (with the host
// override and the test authority in the environment, as scripts/run sets them), requests over
// real HTTP through the platform's request engine with the app's fixed headers, and the pages read
// by the app's own page classes, so that the tests prove the app's scrapers find what they need
// on these pages.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Classes/EmailPage.h"
#include "Classes/ItemPage.h"
#include "Classes/LoginPage.h"
#include "Classes/PostPage.h"
#include "Classes/ReplyPage.h"
#include "Classes/VerificationPage.h"
#include "Classes/WebPage.h"
#include "Foundation/NSString.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "support/FoundationTesting.h"
#include "support/site/RunningSite.h"
#include "tools/site/Catalog.h"
#include "tools/site/Listings.h"
#include "tools/site/Site.h"

namespace sitetest {

struct Page {
    int status = 0;
    std::string text;   // the response as text ("" without a response)
    std::string bytes;  // the response body as bytes
    std::string contentType;
    bool failed = false;  // the request ended in requestFailed
    std::string url;      // the final URL (after redirects)
    Ref<NKHTTPRequest> request;
};

// A form value: text, or file bytes sent the way the app sends photos (a part named after the
// field, with the field name as its file name and the type image/jpeg).
struct FormValue {
    std::string text;
    bool isFile = false;
    static FormValue file(std::string bytes) { return {std::move(bytes), true}; }
    FormValue(const char* t) : text(t) {}
    FormValue(std::string t, bool file = false) : text(std::move(t)), isFile(file) {}
};
using Pairs = std::vector<std::pair<std::string, FormValue>>;

// A synchronous GET with the app's fixed User-Agent and Accept headers, checking the server's
// certificate as the app's pages do.
Page get(const std::string& url);
// A synchronous form post: format 0 multipart, 1 URL-encoded.
Page post(const std::string& url, const Pairs& pairs, int format);
void clearCookies();
// A GET straight through the platform's HTTP stream, which checks the server's certificate
// chain and name against the trusted authorities (the request engine does only when asked).
struct StreamResult {
    bool failed = false;
    long errorCode = 0;
    std::string body;
};
StreamResult validatedGet(const std::string& url);
// Bytes sent as they stand to the site's port (or another); everything the server sends back
// until it closes. `reset` tells whether the server ended with a reset.
std::string rawExchange(const std::string& bytes, bool* reset = nullptr, int port = 0);
// The body of a raw response (after the head), "" when there is none.
std::string rawBody(const std::string& response);
// A request answered by a site (the tests' own by default) straight, without sockets, as a
// crowd of clients would send it: a GET of `url`, or a POST with `form` (URL-encoded) when
// given, with a Cookie field when `cookie` is not empty.
bnsite::HttpResponse handled(const std::string& url, const std::string& cookie = {},
                             const std::optional<std::string>& form = std::nullopt,
                             bnsite::Site* on = nullptr);
// The "name=value" of the cookie an answer sets under `name`, "" when it sets none.
std::string cookieSet(const bnsite::HttpResponse& response, const std::string& name);

// ---- patterns and the app's page classes ----------------------------------------------------

// Capture `group` of the first match, through the app's Regex layer; nullopt when none.
std::optional<std::string> match(const std::string& text, const std::string& pattern,
                                 int group = 1);
// Every capture 1..`groups` of the successive matches, walked with the app's Regex window (each
// search starts right after the last captured group); the walk stops at the first match in which
// any wanted group is missing.
std::vector<std::vector<std::string>> walk(const std::string& text, const std::string& pattern,
                                           int groups, const char* startMark = nullptr,
                                           const char* endMark = nullptr);
// Plain split, pieces between the markers, the text before the first one included.
std::vector<std::string> split(const std::string& text, const std::string& marker);

// Hands a page's text (and the address it came from, the base of its relative links) to one of
// the app's page classes, as if the page had downloaded it.
void load(WebPage* page, const std::string& text, const std::string& url = {});
std::optional<std::string> textOf(NSString* text);

// What one reader of a page class finds in the text: readPage(text, &PostPage::getSubmitKey).
template <class P>
std::optional<std::string> readPage(const std::string& text, Ref<NSString> (P::*reader)(),
                                    const std::string& url = {}) {
    Ref<P> page = make<P>();
    load(page.get(), text, url);
    return textOf(((*page).*reader)().get());
}

// WebPage's input scraping.
std::optional<std::string> inputValue(const std::string& page, const std::string& name);
std::optional<std::string> inputKeyByToken(const std::string& page, const std::string& token);

// ---- page readers: the page classes' results as plain values ---------------------------------

struct Metro {
    std::string name, url, state, region;
};
std::vector<Metro> scrapeMetros(const std::string& page);
std::vector<Metro> scrapeSuburbs(const std::string& page, const Metro& parent);

struct CategoryItem {
    std::string name, url, section;
    bool all = false;
};
std::vector<CategoryItem> scrapeCategories(const std::string& page);

struct Row {
    std::string title, link, price, location, extraInfo;
    bool hasPrice = false, hasLocation = false, hasExtra = false;
};
std::vector<Row> scrapeRows(const std::string& page);
bool hasMoreResults(const std::string& page);

struct ItemDetails {
    std::string detail;
    std::optional<std::string> time, phone, replyUrl;
    std::vector<std::string> images;
};
ItemDetails scrapeItem(const std::string& page, const std::string& pageUrl);

// The search and browse URLs the result list builds.
struct Query {
    std::string locationUrl, categoryUrl;
    std::optional<std::string> keyword;  // nullopt: browse
    std::string searchType = "A";
    std::string priceMin, priceMax;
    bool hasImage = false;
    int sortOrder = 0;
};
std::string resultUrl(const Query& query, int pageNumber);
std::string escapeQuery(const std::string& text);

// The posting pages.
int postPageType(const std::string& page);
struct Section {
    std::string name, key, value;
};
std::vector<Section> sectionList(const std::string& page);
std::vector<std::string> signature(const std::string& page);  // name, value; empty when none
std::map<std::string, std::string> confirmInputs(const std::string& page);
std::optional<std::string> postActionUrl(const std::string& page);
std::optional<std::string> iframeUrl(const std::string& page);  // the captcha step's frame

// Solves a captcha over HTTP like the captcha screen: fetches the challenge page at `url`,
// posts the answer (the site tells the test what it is) and returns the code, or nullopt.
std::optional<std::string> solveCaptcha(const std::string& url, bool answerRight = true);

// Test images.
std::string jpegBytes();
bool decodesAsJpeg(const std::string& bytes, int* width, int* height);
bool decodesAsPng(const std::string& bytes, int* width, int* height);

}  // namespace sitetest
