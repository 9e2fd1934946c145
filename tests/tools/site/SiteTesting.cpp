#include "SiteTesting.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <png.h>


#include "CFNetwork/CFNetwork.h"
#include "Classes/MatchKit/MatchKit.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSURL.h"
#include "external/nk-http-request/Classes/NKFormDataRequest.h"
#include "json/NSString+HTML.h"
#include "support/RunLoopTesting.h"

namespace sitetest {

namespace {


const char* const kUserAgent =
    "Mozilla/5.0 (iPhone; CPU iPhone OS 5_0 like Mac OS X) AppleWebKit/534.46 (KHTML, like "
    "Gecko) Version/5.1 Mobile/9A334 Safari/7534.48.3";
const char* const kAccept = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";

Page finish(NKHTTPRequest* r) {
    Page p;
    p.request = r;
    p.status = r->responseStatusCode();
    p.failed = r->error() != nullptr;
    if (Ref<NSString> s = r->responseString()) p.text = s->utf8();
    if (Ref<NSData> d = r->responseData())
        p.bytes.assign(static_cast<const char*>(d->bytes()), d->length());
    if (Ref<NSDictionary> h = r->responseHeaders()) {
        if (auto type = as<NSString>(h->objectForKey(NS("Content-Type"))))
            p.contentType = type->utf8();
    }
    if (Ref<NSURL> u = r->url()) p.url = u->absoluteString()->utf8();
    return p;
}

// The app's Regex window over one subject.
struct Window {
    Ref<NSString> subject;
    NSUInteger start = 0, end = 0;

    Window(const std::string& text, const char* startMark, const char* endMark) {
        subject = str(text);
        NSUInteger length = subject->length();
        end = length;
        NSUInteger markLength = 0;
        if (startMark) {
            NSRange r = subject->rangeOfString(str(startMark));
            if (r.location != static_cast<NSUInteger>(NSNotFound)) {
                start = r.location;
                markLength = r.length;
            } else {
                start = length;
            }
        }
        if (endMark) {
            NSUInteger from = std::min(length, start + markLength);
            NSRange r = subject->rangeOfString(str(endMark), 0, NSMakeRange(from, length - from));
            if (r.location != static_cast<NSUInteger>(NSNotFound)) end = r.location;
        }
    }
    // The capture's range inside the window, location NSNotFound when none.
    NSRange capture(const std::string& pattern, int group) {
        if (start > end) return NSMakeRange(NSNotFound, 0);
        return rangeOfRegex(subject, str(pattern), MTKRegexNoOptions,
                            NSMakeRange(start, end - start), group, nullptr);
    }
    std::string text(NSRange r) { return subject->substringWithRange(r)->utf8(); }
};

bool found(NSRange r) {
    return r.location != static_cast<NSUInteger>(NSNotFound);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string replaceAll(std::string text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

std::string trimmed(const std::string& text) {
    size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = text.find_last_not_of(" \t\r\n");
    return text.substr(b, e - b + 1);
}

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void jpegFailed(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

}  // namespace

Page get(const std::string& url) {
    site();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(NSURL::URLWithString(str(url)));
    r->addRequestHeader(NS("User-Agent"), str(kUserAgent));
    r->addRequestHeader(NS("Accept"), str(kAccept));
    r->startSynchronous();
    return finish(r);
}

Page post(const std::string& url, const Pairs& pairs, int format) {
    site();
    Ref<NKFormDataRequest> r = NKFormDataRequest::requestWithURL(NSURL::URLWithString(str(url)));
    r->addRequestHeader(NS("User-Agent"), str(kUserAgent));
    r->addRequestHeader(NS("Accept"), str(kAccept));
    r->setPostFormat(format);
    for (const auto& [name, value] : pairs) {
        if (value.isFile) {
            r->addData(NSData::dataWithBytes(value.text.data(),
                                             static_cast<NSUInteger>(value.text.size())),
                       str(name), NS("image/jpeg"), str(name));
        } else {
            r->setPostValue(str(value.text), str(name));
        }
    }
    r->startSynchronous();
    return finish(r);
}

void clearCookies() {
    NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
    NKHTTPRequest::setSessionCookies(nullptr);
}

namespace {
struct StreamState {
    StreamResult result;
    bool done = false;
};

void onStreamEvent(CFReadStreamRef stream, CFStreamEventType type, void* info) {
    auto* state = static_cast<StreamState*>(info);
    if (type == kCFStreamEventHasBytesAvailable) {
        std::string buffer(16384, '\0');
        CFIndex n = CFReadStreamRead(stream, reinterpret_cast<uint8_t*>(buffer.data()),
                                     static_cast<CFIndex>(buffer.size()));
        if (n > 0) state->result.body.append(buffer.data(), static_cast<size_t>(n));
    } else if (type == kCFStreamEventEndEncountered) {
        state->done = true;
    } else if (type == kCFStreamEventErrorOccurred) {
        state->done = true;
        state->result.failed = true;
        if (Ref<NSError> e = CFReadStreamCopyError(stream)) state->result.errorCode = e->code();
    }
}
}  // namespace

StreamResult validatedGet(const std::string& url) {
    site();
    Ref<CFHTTPMessage> message = CFHTTPMessageCreateRequest(
        kCFAllocatorDefault, NS("GET"), NSURL::URLWithString(str(url)), kCFHTTPVersion1_1);
    Ref<CFReadStream> stream = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, message);
    StreamState state;
    CFStreamClientContext context{0, &state, nullptr, nullptr, nullptr};
    CFReadStreamSetClient(stream,
                          kCFStreamEventHasBytesAvailable | kCFStreamEventErrorOccurred |
                              kCFStreamEventEndEncountered,
                          onStreamEvent, &context);
    NSRunLoop* loop = CFRunLoopGetCurrent();
    CFReadStreamScheduleWithRunLoop(stream, loop, NSDefaultRunLoopMode);
    if (CFReadStreamOpen(stream)) runLoopUntil([&] { return state.done; }, 10.0);
    CFReadStreamSetClient(stream, 0, nullptr, nullptr);
    CFReadStreamUnscheduleFromRunLoop(stream, loop, NSDefaultRunLoopMode);
    CFReadStreamClose(stream);
    return state.result;
}

std::string rawExchange(const std::string& bytes, bool* reset, int port) {
    if (reset) *reset = false;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port ? port : site().port()));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return {};
    }
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    std::string out;
    char buffer[16384];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) break;
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == ECONNRESET && reset) *reset = true;
        if (n <= 0) break;
        out.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return out;
}

std::string rawBody(const std::string& response) {
    size_t at = response.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : response.substr(at + 4);
}

// ---- patterns -----------------------------------------------------------------------------------

std::optional<std::string> match(const std::string& text, const std::string& pattern, int group) {
    Window w(text, nullptr, nullptr);
    NSRange r = w.capture(pattern, group);
    if (!found(r)) return std::nullopt;
    return w.text(r);
}

std::vector<std::vector<std::string>> walk(const std::string& text, const std::string& pattern,
                                           int groups, const char* startMark, const char* endMark) {
    std::vector<std::vector<std::string>> out;
    Window w(text, startMark, endMark);
    for (;;) {
        std::vector<std::string> captures;
        NSRange last{};
        for (int g = 1; g <= groups; ++g) {
            NSRange r = w.capture(pattern, g);
            if (!found(r)) return out;
            captures.push_back(w.text(r));
            last = r;
        }
        out.push_back(captures);
        w.start = last.location + last.length;
    }
}

std::optional<std::string> matchInWindow(const std::string& text, const std::string& pattern,
                                         const char* startMark, const char* endMark) {
    Window w(text, startMark, endMark);
    NSRange r = w.capture(pattern, 1);
    if (!found(r)) return std::nullopt;
    return w.text(r);
}

std::optional<std::string> between(const std::string& text, const std::string& startMark,
                                   const std::string& endMark) {
    size_t a = text.find(startMark);
    if (a == std::string::npos) return std::nullopt;
    a += startMark.size();
    size_t b = text.find(endMark, a);
    std::string inside = text.substr(a, b == std::string::npos ? std::string::npos : b - a);
    if (inside.empty()) return std::nullopt;
    return inside;
}

std::vector<std::string> split(const std::string& text, const std::string& marker) {
    std::vector<std::string> out;
    size_t at = 0;
    for (size_t next; (next = text.find(marker, at)) != std::string::npos;
         at = next + marker.size())
        out.push_back(text.substr(at, next - at));
    out.push_back(text.substr(at));
    return out;
}

std::string withoutLineBreaks(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != '\r' && c != '\n') out += c;
    }
    return out;
}

std::string decodeEntities(const std::string& text) {
    return stringByDecodingHTMLEntities(str(text))->utf8();
}

std::string capitalized(const std::string& text) {
    return str(text)->capitalizedString()->utf8();
}

std::optional<std::string> inputValue(const std::string& page, const std::string& name) {
    return match(withoutLineBreaks(page),
                 "<input[^<>]*[ \t]+name=\"" + name + "\"[^>]*value=\"([^\"]*)\"");
}

std::optional<std::string> inputKeyByToken(const std::string& page, const std::string& token) {
    std::string flat = withoutLineBreaks(page);
    if (auto after = match(flat, "<input[^<>]*name=\"([^\"]*)\"[^>]*" + token)) return after;
    return match(flat, "<input[^<>]*" + token + "[^>]*name=\"([^\"]*)\"");
}

// ---- page readers -------------------------------------------------------------------------------

std::vector<Metro> scrapeMetros(const std::string& page) {
    static const char* const english[] = {
        "Quebec", "Puerto Rico", "Austria",  "Denmark", "Finland", "France",       "Germany",
        "Italy",  "Norway",      "Portugal", "Spain",   "Sweden",  "Switzerland",  "Turkey",
        "Brazil", "Argentina",   "Chile",    "Mexico",  "Uruguay", "South Africa", "Luxembourg"};
    std::vector<Metro> out;
    for (const auto& block : split(page, "<div class=\"colmask\">")) {
        auto region = match(block, ">([^<]*)</h1>");
        if (!region || region->empty()) region = match(block, ">([^<]*)</a></h1>");
        if (!region) continue;
        for (const auto& piece : split(block, "<div class=\"state_delimiter\"")) {
            auto state = match(piece, ">([^>]*)</div>");
            if (!state || state->empty()) continue;
            for (const auto& link : walk(piece, "<li><a href=\"([^\"]*)\">([^<]*)</a></li>", 2)) {
                Metro m{capitalized(link[1]), link[0], *state, *region};
                if (*region != "US") {
                    for (const char* e : english) {
                        if (*state == e) m.url = englishVersion(m.url);
                    }
                }
                out.push_back(m);
            }
        }
    }
    return out;
}

std::string englishVersion(const std::string& url) {
    size_t dot = url.find('.');
    if (dot == std::string::npos) return url;
    return url.substr(0, dot) + ".en." + url.substr(dot + 1);
}

std::vector<Metro> scrapeSuburbs(const std::string& page, const Metro& parent) {
    std::vector<Metro> out = {parent};
    auto bar = between(page, "<span class=\"sublinks\">", "</span>");
    if (!bar) return out;
    for (const auto& piece : split(*bar, "</a>")) {
        auto link = match(piece, "<a href=\"([^\"]*)\"");
        auto title = match(piece, "title=\"([^\"]*)\">");
        if (!link || !title) continue;
        out.push_back({capitalized(*title), parent.url + "/" + replaceAll(*link, "/", ""),
                       parent.state, parent.region});
    }
    return out;
}

std::vector<CategoryItem> scrapeCategories(const std::string& page) {
    static const std::vector<std::pair<std::string, std::pair<std::string, std::string>>> variants =
        {{"fua/", {"fuo/", "fud/"}}, {"cta/", {"cto/", "ctd/"}}, {"tia/", {"tix/", "tid/"}},
         {"ppa/", {"app/", "ppd/"}}, {"pta/", {"pts/", "ptd/"}}, {"boo/", {"boa/", "bod/"}},
         {"moa/", {"mob/", "mod/"}}, {"sya/", {"sys/", "syd/"}}, {"ela/", {"ele/", "eld/"}},
         {"mca/", {"mcy/", "mcd/"}}, {"rva/", {"rvs/", "rvd/"}}};
    auto cgi = [](const std::string& url) {
        if (!contains(url, "/cgi-bin/")) return url;
        return match(url, "category=([a-zA-Z0-9]*)").value_or("") + "/";
    };
    std::vector<CategoryItem> out;
    for (const auto& column : split(page, "class=\"col\">")) {
        auto headerLink =
            match(column, "<h4 class=\"ban\"><a href=\"([^\"]*)\">([^<]*)</a></h4>", 1);
        auto raw = match(column, "<h4 class=\"ban\"><a href=\"([^\"]*)\">([^<]*)</a></h4>", 2);
        if (raw && contains(*raw, "forums")) continue;
        if (!raw) raw = match(column, "<h4 class=\"ban\">([^<]*)</h4>");
        if (!raw) continue;
        std::string section = capitalized(decodeEntities(*raw));
        if (headerLink) out.push_back({"All " + section, cgi(*headerLink), section, true});
        for (const auto& link : walk(column, "<li><a href=\"([^\"]*)\">([^<]*)</a></li>", 2)) {
            std::string url = link[0];
            std::string name = capitalized(decodeEntities(link[1]));
            if (contains(url, "/i/")) {
                if (contains(url, "/i/auto"))
                    url = "cta/";
                else if (contains(url, "/i/apartments"))
                    url = "aap/";
                else
                    url = match(url, "category=([a-zA-Z0-9]*)").value_or("") + "/";
            }
            if (contains(url, "/cgi-bin/apartments.cgi")) {
                out.push_back({"All Apartments", "aap/", section});
                out.push_back({"All No-Fee Apartments", "nfa/", section});
                out.push_back({"By-Owner Apartments", "abo/", section});
                continue;
            }
            url = cgi(url);
            out.push_back({name, url, section});
            if (url == "cas/") {
                for (const char* code : {"w4m", "w4w", "m4w", "m4m"})
                    out.push_back({name + " (" + code + ")", url, section});
                continue;
            }
            for (const auto& [base, pair] : variants) {
                if (url == base) {
                    out.push_back({name + " - By Owner", pair.first, section});
                    out.push_back({name + " - By Dealer", pair.second, section});
                }
            }
        }
    }
    return out;
}

std::vector<Row> scrapeRows(const std::string& page) {
    std::vector<std::string> pieces = split(page, "<p class=\"row\"");
    if (pieces.size() <= 4) {
        std::vector<std::string> plain = split(page, "<p>");
        if (plain.size() > pieces.size()) pieces = plain;
    }
    std::vector<Row> out;
    for (auto row : pieces) {
        row = replaceAll(replaceAll(row, "\n", " "), "\r", " ");
        auto title = match(row, ">([^<]*)</a>");
        auto link = match(row, "<a href=\"([^>]*)\">");
        if (!title || title->empty() || !link) continue;
        Row r;
        r.title = decodeEntities(*title);
        r.link = *link;
        auto price = match(row, "(\\$[0-9][0-9\\.]*)");
        if (!price || price->empty()) {
            price = match(r.title, "([wmt]4[wmt][- 0-9]*)");
            if (!price || price->empty()) price = match(r.title, "- ([0-9]*)");
            if (price && !price->empty()) r.title = replaceAll(r.title, *price, "");
        }
        r.hasPrice = price.has_value();
        r.price = price.value_or("");
        if (auto place = match(row, "<font size=\"-1\"> \\(([^<]*)\\)</font>")) {
            r.hasLocation = true;
            r.location = decodeEntities(*place);
        }
        if (auto extra = match(row, "<small class=\"gc\"><[^>]*>([^<>]*)</a></small>")) {
            r.hasExtra = true;
            r.extraInfo = decodeEntities(*extra);
        }
        out.push_back(r);
    }
    return out;
}

bool hasMoreResults(const std::string& page) {
    return contains(page, "<b>Next &gt;&gt;</b></a>") || contains(page, ">next 100 postings</a>");
}

ItemDetails scrapeItem(const std::string& page, const std::string& pageUrl) {
    ItemDetails d;
    if (auto body = between(page, "<div id=\"userbody\">", "<!-- START BZTAGS -->"))
        d.detail = *body;
    else if (auto heading = match(page, "<h2>([^<]+)<"))
        d.detail = *heading;
    else
        d.detail = "This posting has expired";
    d.time = match(page, "Date:([^<]*)</span>");
    d.phone = matchInWindow(page, "(\\(?\\d\\d\\d\\)?[ -\\.]?\\d\\d\\d[ -\\.]?\\d{4})",
                            "<div id=\"userbody\">", "<!-- END BZTAGS -->");
    d.replyUrl = match(page, "Reply to:.*?<a[^>]*>([^<]*)</a>");
    if (!d.replyUrl) {
        if (auto action = match(page, "<form id=\"reply\" action=\"([^\"]*)\"")) {
            std::string host = NSURL::URLWithString(str(pageUrl))->host()->utf8();
            d.replyUrl = "http://" + host + *action;
        }
    }
    if (auto list = match(page, "imgList = new Array\\(([^;]*)\\);")) {
        for (const auto& piece : split(*list, ",")) {
            if (auto url = match(piece, "\"(.*)\"")) d.images.push_back(*url);
        }
    }
    return d;
}

std::string escapeQuery(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '*') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return replaceAll(out, "%0A", "%0A%0D");
}

std::string resultUrl(const Query& q, int pageNumber) {
    std::string offset = pageNumber >= 2 ? std::to_string(100 * (pageNumber - 1)) : "";
    if (q.keyword) {
        std::string host = match(q.locationUrl, "(http://[^/]*)").value_or("");
        std::string area = match(q.locationUrl, "http://.*(/[^\\.]*)").value_or("");
        std::string url = host + "/search/" + replaceAll(q.categoryUrl, "/", "") + area + "?";
        url += "query=" + escapeQuery(*q.keyword);
        if (q.sortOrder == 1) url += "&sort=rel";
        if (q.sortOrder == 2) url += "&sort=priceasc";
        if (q.sortOrder == 3) url += "&sort=pricedsc";
        url += "&srchType=" + q.searchType;
        url += "&minAsk=" + q.priceMin + "&maxAsk=" + q.priceMax;
        if (q.hasImage) url += "&hasPic=1";
        if (pageNumber >= 2) url += "&s=" + offset;
        return url;
    }
    if (pageNumber < 2) return q.locationUrl + "/" + q.categoryUrl;
    return q.locationUrl + "/" + q.categoryUrl + "index" + offset + ".html";
}

int postPageType(const std::string& page) {
    static const std::pair<const char*, int> phrases[] = {
        {"What type of posting is this:", 1},
        {"images to be displayed with this posting", 11},
        {"Please choose a category:", 2},
        {"These 4 categories work", 2},
        {"Which of these most closely matches", 2},
        {"Posting Description:", 5},
        {"choose the area nearest you", 3},
        {"Telephone Account Verification", 7},
        {"Phone verified", 7},
        {"To finalize your post", 6},
        {"Please review and confirm", 8},
        {"MODIFICATIONS TO THIS AGREEMENT", 9},
        {"You need to have a", 7},
        {"needs to be authenticated by phone", 7},
        {"Which of these locations fits best", 4},
        {"your email address is included in the body of your posting", 10},
    };
    for (const auto& [phrase, type] : phrases) {
        if (contains(page, phrase)) return type;
    }
    return 12;
}

std::vector<Section> sectionList(const std::string& page) {
    std::vector<Section> out;
    if (contains(page, "bypass this step")) {
        const std::string p =
            "<input type=\"radio\" name=\"([^\"]*)\" value=\"([^\"]*)\"[^>]*><big>bypass this "
            "step</big>";
        auto key = match(page, p, 1);
        auto value = match(page, p, 2);
        if (key && value) out.push_back({"Bypass this step", *key, *value});
    }
    for (const auto& m :
         walk(page, "<input type=\"radio\" name=\"([^\"]*)\" value=\"([^\"]*)\"[^>]*>([^<]*)", 3))
        out.push_back({trimmed(capitalized(decodeEntities(m[2]))), m[0], m[1]});
    return out;
}

std::vector<std::string> signature(const std::string& page) {
    const std::string p = "<input type=\"hidden\" name=\"([^\"]{20,})\" value=\"([^\"]*)\">";
    std::string flat = withoutLineBreaks(page);
    auto name = match(flat, p, 1);
    auto value = match(flat, p, 2);
    if (!name || !value) return {};
    return {*name, *value};
}

std::map<std::string, std::string> confirmInputs(const std::string& page) {
    std::map<std::string, std::string> out;
    for (const auto& m :
         walk(page, "<input[^>]*name=\"([^>]*)\"[^>]*value=\"([^>]*)\"", 2, "<form", "</form>"))
        out[m[0]] = m[1];
    return out;
}

std::optional<std::string> postActionUrl(const std::string& page) {
    auto action = match(page, "action=\"([^\"]*)\"");
    if (!action) return std::nullopt;
    if (!contains(*action, "http://") && !contains(*action, "https://"))
        return "https://" + std::string(bnsite::kPostingHost) + *action;
    return action;
}

std::optional<std::string> iframeUrl(const std::string& page) {
    return match(page, "<iframe[^<]*src=\"([^\"]*)\"");
}

std::optional<std::string> solveCaptcha(const std::string& url, bool answerRight) {
    Page challenge = get(url);
    auto field = match(challenge.text, "id=\"recaptcha_challenge_field\" value=\"([^\"]*)\"");
    if (!field) return std::nullopt;
    std::string answer = answerRight ? site().captchaAnswer(*field).value_or("") : "wrong words";
    Page result = post(url,
                       {{"recaptcha_challenge_field", *field},
                        {"recaptcha_response_field", replaceAll(answer, " ", "+")},
                        {"submit", "I%27m+a+human"}},
                       1);
    return match(result.text, "<textarea[^>]*>([^>]*)</textarea>");
}

// ---- images -------------------------------------------------------------------------------------

std::string jpegBytes() {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = 8;
    info.image_height = 8;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    unsigned char row[8 * 3] = {};
    for (int y = 0; y < 8; ++y) {
        JSAMPROW r = row;
        jpeg_write_scanlines(&info, &r, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string out(reinterpret_cast<char*>(buffer), size);
    std::free(buffer);
    return out;
}

bool decodesAsJpeg(const std::string& bytes, int* width, int* height) {
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpegFailed;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    std::vector<unsigned char> row(info.output_width *
                                   static_cast<unsigned>(info.output_components));
    while (info.output_scanline < info.output_height) {
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&info, &r, 1);
    }
    *width = static_cast<int>(info.output_width);
    *height = static_cast<int>(info.output_height);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

bool decodesAsPng(const std::string& bytes, int* width, int* height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    bool ok = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    png_image_free(&image);
    return ok;
}

}  // namespace sitetest
