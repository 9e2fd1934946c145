// What the stand-in site's tests share: one site started for the whole program (with the host
// override and the test authority in the environment, as scripts/run sets them), requests over
// real HTTP through the platform's request engine with the app's fixed headers, and the app's
// scraping rules (patterns, windows, splits) run through the regular-expression layer, so that
// the tests prove the app's scrapers find what they need on these pages.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// A synchronous GET with the app's fixed User-Agent and Accept headers.
Page get(const std::string& url);
// A synchronous form post: format 0 multipart, 1 URL-encoded.
Page post(const std::string& url, const Pairs& pairs, int format);
void clearCookies();
// A GET straight through the platform's HTTP stream, which checks the server's certificate
// chain and name against the trusted authorities (the request engine does not).
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

// ---- the app's scraping rules -----------------------------------------------------------------

// Capture `group` of the first match (ICU, no options), nullopt when none.
std::optional<std::string> match(const std::string& text, const std::string& pattern,
                                 int group = 1);
// Every capture-1 (and 2) of the successive matches, walked like the app's Regex window: each
// search starts right after the last captured group; the walk stops at the first match in which
// any wanted group is missing.
std::vector<std::vector<std::string>> walk(const std::string& text, const std::string& pattern,
                                           int groups, const char* startMark = nullptr,
                                           const char* endMark = nullptr);
// Capture 1 inside the window of the two marks (either may be null).
std::optional<std::string> matchInWindow(const std::string& text, const std::string& pattern,
                                         const char* startMark, const char* endMark);
// The text between the end of the start mark and the end mark (or the end), nullopt when the
// start mark is missing or nothing lies between.
std::optional<std::string> between(const std::string& text, const std::string& startMark,
                                   const std::string& endMark);
// Plain split, pieces between the markers, the text before the first one included.
std::vector<std::string> split(const std::string& text, const std::string& marker);
std::string withoutLineBreaks(const std::string& text);
std::string decodeEntities(const std::string& text);  // the engine's entity decoding
std::string capitalized(const std::string& text);     // the platform's word capitalising

// WebPage's input scraping.
std::optional<std::string> inputValue(const std::string& page, const std::string& name);
std::optional<std::string> inputKeyByToken(const std::string& page, const std::string& token);

// ---- page readers as the app's page classes read them ----------------------------------------

struct Metro {
    std::string name, url, state, region;
};
std::vector<Metro> scrapeMetros(const std::string& page);
std::vector<Metro> scrapeSuburbs(const std::string& page, const Metro& parent);
std::string englishVersion(const std::string& url);

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
std::optional<std::string> iframeUrl(const std::string& page);

// Solves a captcha over HTTP like the captcha screen: fetches the challenge page at `url`,
// posts the answer (the site tells the test what it is) and returns the code, or nullopt.
std::optional<std::string> solveCaptcha(const std::string& url, bool answerRight = true);

// Test images.
std::string jpegBytes();
bool decodesAsJpeg(const std::string& bytes, int* width, int* height);
bool decodesAsPng(const std::string& bytes, int* width, int* height);

}  // namespace sitetest
