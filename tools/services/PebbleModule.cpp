#include "tools/services/PebbleModule.h"

#include <openssl/evp.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "ads/pebble/PBLHosts.h"

namespace bnservices {

namespace {

const char* const kLastModified = "Mon, 07 Dec 2026 08:00:00 GMT";

// Our script: every key of the request in the query (objects as JSON text), answered through the
// command bridge. One navigation per call: the last location change of a script turn wins.
const char* const kScript = R"JS(
function PBMA_buildAdURL(p) {
  if (!p || !p.slotname) {
    location.href = 'gmsg://pebbleads.test/invalidRequest?reason=no%20slotname';
    return;
  }
  if (p.slotname == 'unable') {
    location.href = 'gmsg://pebbleads.test/unableToServe?slot=unable';
    return;
  }
  if (p.slotname == 'mute') return;
  var q = [];
  for (var k in p) {
    var v = p[k];
    if (typeof v == 'object') v = JSON.stringify(v);
    q.push(encodeURIComponent(k) + '=' + encodeURIComponent(String(v)));
  }
  var url = 'http://)JS" PBL_AD_HOST R"JS(/pbma/ad?' + q.join('&');
  location.href = 'gmsg://pebbleads.test/loadAdURL?url=' + encodeURIComponent(url) +
                  '&type=pebble';
}
)JS";

bool isNumber(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return end && *end == 0;
}

bool isUpperHex32(const std::string& text) {
    if (text.size() != 32) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

// The key the ad client encrypts a precise location with; the service holds its own copy.
const unsigned char kLocationKey[16] = {0xa3, 0xc9, 0x1e, 0x0f, 0x7b, 0x24, 0xd8, 0x6e,
                                        0x51, 0xf0, 0x3a, 0x9c, 0x2e, 0x7b, 0x4d, 0x18};

const char* const kRecordHead =
    "role: 6 producer: 24 historical_role: 1 historical_producer: 12 timestamp: ";

// Reads a record of fixed words and numbers from left to right, once: what a client sends is
// never given to a backtracking matcher, whose recursion a long value would take to the end of
// the stack.
class RecordReader {
public:
    explicit RecordReader(std::string_view text) : rest_(text) {}

    void literal(std::string_view word) {
        if (ok_ && rest_.starts_with(word))
            rest_.remove_prefix(word.size());
        else
            ok_ = false;
    }
    // One or more digits, after a "-" when `sign` allows one.
    std::string_view number(bool sign = false) {
        size_t n = sign && rest_.starts_with('-') ? 1 : 0;
        size_t digits = n;
        while (digits < rest_.size() && rest_[digits] >= '0' && rest_[digits] <= '9')
            ++digits;
        if (!ok_ || digits == n) {
            ok_ = false;
            return {};
        }
        std::string_view out = rest_.substr(0, digits);
        rest_.remove_prefix(digits);
        return out;
    }
    // Everything up to the byte `stop`, which is then read too.
    std::string_view until(char stop) {
        size_t at = rest_.find(stop);
        if (!ok_ || at == std::string_view::npos) {
            ok_ = false;
            return {};
        }
        std::string_view out = rest_.substr(0, at);
        rest_.remove_prefix(at + 1);
        return out;
    }
    // Whether everything so far matched and nothing is left.
    bool whole() const { return ok_ && rest_.empty(); }

private:
    std::string_view rest_;
    bool ok_ = true;
};

// Web-safe base64 without padding; nullopt for any other character or an impossible length.
std::optional<std::string> webSafeBase64Decode(std::string_view text) {
    if (text.size() % 4 == 1) return std::nullopt;
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        int v = c >= 'A' && c <= 'Z'   ? c - 'A'
                : c >= 'a' && c <= 'z' ? c - 'a' + 26
                : c >= '0' && c <= '9' ? c - '0' + 52
                : c == '-'             ? 62
                : c == '_'             ? 63
                                       : -1;
        if (v < 0) return std::nullopt;
        bits = (bits << 6) | static_cast<uint32_t>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<char>((bits >> count) & 0xFF));
        }
    }
    if (bits & ((1u << count) - 1)) return std::nullopt;  // stray bits in the last character
    return out;
}

int32_t readLittleEndian(const std::string& bytes, size_t at) {
    uint32_t u = 0;
    for (int i = 3; i >= 0; --i)
        u = (u << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
    return static_cast<int32_t>(u);
}

int32_t saturated(double v) {
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

std::optional<std::string> decrypt(const std::string& iv, const std::string& cipher) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (!ctx) return std::nullopt;
    std::string plain(cipher.size(), '\0');
    int written = 0, last = 0;
    bool ok = EVP_DecryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, kLocationKey,
                                 reinterpret_cast<const unsigned char*>(iv.data())) == 1 &&
              EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
              EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char*>(plain.data()), &written,
                                reinterpret_cast<const unsigned char*>(cipher.data()),
                                static_cast<int>(cipher.size())) == 1 &&
              EVP_DecryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(plain.data()) + written,
                                  &last) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok || static_cast<size_t>(written + last) != cipher.size()) return std::nullopt;
    // The client pads with n bytes of value n, 1 to 16.
    auto n = static_cast<unsigned char>(plain.back());
    if (n < 1 || n > 16) return std::nullopt;
    for (size_t i = plain.size() - n; i < plain.size(); ++i)
        if (static_cast<unsigned char>(plain[i]) != n) return std::nullopt;
    plain.resize(plain.size() - n);
    return plain;
}

}  // namespace

std::string PebbleModule::checkLocation(const std::string& uule, std::string* record) {
    if (uule.rfind("a+", 0) == 0) {
        auto text = webSafeBase64Decode(std::string_view(uule).substr(2));
        if (!text) return "uule: not base64";
        RecordReader r(*text);
        r.literal(kRecordHead);
        r.number();
        r.literal(" loc: \"");
        r.until('"');
        if (!r.whole()) return "uule: not a location description";
        *record = *text;
        return "";
    }
    if (uule.rfind("e1+", 0) != 0) return "uule: neither \"e1+\" nor \"a+\"";
    auto bytes = webSafeBase64Decode(std::string_view(uule).substr(3));
    if (!bytes) return "uule: not base64";
    if (bytes->size() < 32 || bytes->size() % 16 != 0) return "uule: not whole blocks";
    auto text = decrypt(bytes->substr(0, 16), bytes->substr(16));
    if (!text) return "uule: does not decrypt";
    RecordReader r(*text);
    r.literal(kRecordHead);
    std::string_view timestamp = r.number();
    r.literal(" latlng <latitude_e7: ");
    std::string_view latitudeText = r.number(true);
    r.literal(" longitude_e7: ");
    std::string_view longitudeText = r.number(true);
    r.literal("> radius: ");
    r.number(true);
    if (!r.whole()) return "uule: not a coordinate record";
    // The vector is the creation time in whole seconds, and two, three and four times it.
    double seconds = std::strtod(std::string(timestamp).c_str(), nullptr) / 1000000.0;
    int32_t t = readLittleEndian(*bytes, 0);
    bool late = t == INT32_MAX && seconds >= t;  // the vector saturates; the text does not
    if (std::fabs(seconds - t) > 1 && !late) return "uule: timestamp";
    for (int i = 1; i < 4; ++i)
        if (readLittleEndian(*bytes, 4 * static_cast<size_t>(i)) !=
            saturated(static_cast<double>(t) * (i + 1)))
            return "uule: vector";
    auto latitude = integerIn(latitudeText, -900000000LL, 900000000LL);
    auto longitude = integerIn(longitudeText, -1800000000LL, 1800000000LL);
    if (!latitude || *latitude == 0 || !longitude || *longitude == 0) return "uule: coordinates";
    *record = *text;
    return "";
}

std::string PebbleModule::checkSignals(const std::string& ms, std::string* record) {
    auto text = webSafeBase64Decode(ms);
    if (!text) return "ms: not base64";
    RecordReader r(*text);
    r.literal("v1;loads=");
    std::string_view loads = r.number();
    r.literal(";touches=");
    r.number();
    r.literal(";acc=");
    r.number(true);
    r.literal(",");
    r.number(true);
    r.literal(",");
    r.number(true);
    r.literal(";reach=");
    r.number();
    if (!r.whole()) return "ms: not a signal record";
    // The load is noted before the record is taken for it.
    if (loads.find_first_not_of('0') == std::string_view::npos) return "ms: no load noted";
    *record = *text;
    return "";
}

namespace {

std::string adBase() {
    return "http://" PBL_AD_HOST;
}

// The banner: a line of text, a link through the click redirect, a Call button, a mail link and
// one link per page command. Each command is a navigation of its own: of several location
// changes in one script turn only the last would count. Answers from native code show in the
// last line. It fits the 50-point slot.
std::string bannerPage(int serial, const std::string& landing) {
    std::string n = std::to_string(serial);
    std::string click = adBase() + "/aclk?ai=pebble-ai-" + n + "&adurl=" + landing;
    std::string cmd = "gmsg://pebbleads.test/";
    return "<html><head><script>function PBMA_ReceiveMessage(name, info) {"
           " document.getElementById('answer').textContent = name + ' ' +"
           " (info ? JSON.stringify(info) : ''); }</script>" +
           std::string(kTextBannerStyle) +
           "</head><body>"
           "<p>Pebble ad " +
           n +
           ": Garden tools at half price</p>"
           "<a href=\"" +
           click +
           "\">Shop now</a> "
           "<a href=\"" +
           cmd +
           "open?a=call&amp;u=tel:5550100\">Call</a> "
           "<a href=\"mailto:shop@advertiser.test?subject=Garden%20tools&amp;"
           "cc=help@advertiser.test,sales@advertiser.test&amp;body=Hello\">Mail</a> "
           "<a href=\"" +
           cmd +
           "touch?tx=12&amp;ty=30\">Touch</a> "
           "<a href=\"" +
           cmd +
           "vibrate\">Vibrate</a> "
           "<a href=\"" +
           cmd + "log?string=pebble%20ad%20" + n +
           "%20says%20hello\">Log</a> "
           "<a href=\"" +
           cmd + "httpTrack?u=" + standin::percentEncode(adBase() + "/pit-track" + n) +
           "\">Track</a> "
           "<a href=\"" +
           cmd +
           "canOpenURLs?urls=tel:,itms-apps:,nosuchapp:\">Apps</a> "
           "<a href=\"" +
           cmd + "click?u=" + standin::percentEncode(click) +
           "\">Click</a>"
           "<p id=\"answer\"></p></body></html>";
}

// The advertiser's landing pages, seen in the in-app browser: links, a form, a secure link, a
// link that ends in the store application and a slow page (gated by tests).
std::string landingPage(const std::string& title) {
    return "<html><head><title>" + escapeHtml(title) +
           "</title></head><body><h1>Advertiser shop</h1><p>" + escapeHtml(title) +
           "</p>"
           "<a href=\"/garden\">Garden tools</a> "
           "<a href=\"https://shop.advertiser.test/account\">Account</a> "
           "<a href=\"/store\">Get the app</a> "
           "<a href=\"/slow\">Slow page</a>"
           "<form action=\"/search\" method=\"get\"><input type=\"text\" name=\"q\">"
           "<input type=\"submit\" value=\"Find\"></form></body></html>";
}

// The rich ad in the web app screen: it reads from the banner that opened it (and says what it
// read), changes the screen's settings, closes itself and logs the events it hears from the
// client, keeping them out of its words.
std::string webAppPage() {
    std::string cmd = "gmsg://pebbleads.test/";
    return "<html><head><script>var events = [];"
           "function PBMA_ReceiveMessage(name, info) {"
           " events.push(name);"
           " if (name == 'evalJavaScriptInOpenerResult')"
           "  document.getElementById('answer').textContent = 'The ad says: ' +"
           " (info && info.result !== undefined ? info.result : '');"
           " if (name == 'onshow' || name == 'onhide')"
           "  location.href = '" +
           cmd +
           "log?string=' + encodeURIComponent('webapp ' + name + ' ' +"
           " (info ? info.version + ' ' + info.device : '')); }"
           "</script>"
           // The client's close button sits in the top left corner: the title starts below it.
           "<style>body { background-color: transparent; margin: 0; "
           "padding: 44px 16px 16px 16px; }</style></head><body>"
           "<h1>Garden planner</h1>"
           "<a href=\"" +
           cmd + "evalInOpener?js=" +
           standin::percentEncode("document.getElementsByTagName('p')[0].textContent") +
           "\">Ask the ad</a> "
           "<a href=\"" +
           cmd +
           "settings?supportedorientations=portrait&amp;applicationTimeout=3\">Settings</a> "
           "<a href=\"" +
           cmd +
           "close\">Close</a>"
           "<p id=\"answer\"></p></body></html>";
}

// The full-screen ad: its text and a way out.
std::string interstitialPage(int serial) {
    // Light text on the dark page; the client's close button sits in the top left corner, so the
    // text starts below it.
    return "<html><head><style>body { background-color: #203040; color: #FFFFFF; margin: 0; "
           "padding: 44px 16px 16px 16px; } a { color: #9FD0FF; }</style></head><body>"
           "<h1>Pebble interstitial " +
           std::to_string(serial) +
           "</h1><p>Spring garden sale</p>"
           "<a href=\"gmsg://pebbleads.test/close\">Close</a></body></html>";
}

HttpResponse shop(const HttpRequest& request) {
    const std::string& path = request.path;
    if (path == "/webapp") return HttpResponse::html(webAppPage());
    if (path == "/store") return HttpResponse::redirect("itms-apps://store.test/app/1");
    if (path == "/garden") return HttpResponse::html(landingPage("Garden tools"));
    if (path == "/account") return HttpResponse::html(landingPage("Your account"));
    if (path == "/slow") return HttpResponse::html(landingPage("Slow page"));
    if (path == "/search") {
        std::string q = fieldValue(parseQuery(request.query), "q");
        return HttpResponse::html(landingPage("Results for " + q));
    }
    return HttpResponse::html(landingPage("Offers"));
}

}  // namespace

std::vector<std::string> PebbleModule::hosts() const {
    return {PBL_STATIC_HOST, PBL_AD_HOST, "shop.advertiser.test"};
}

HttpResponse PebbleModule::handle(const HttpRequest& request) {
    if (request.host == "shop.advertiser.test") return shop(request);
    if (request.host == PBL_STATIC_HOST) return script(request);
    const std::string& path = request.path;
    if (path == "/pbma/ad") return ad(request);
    if (path.rfind("/imp", 0) == 0) return HttpResponse::binary("GIF89a", "image/gif");
    if (path == "/pit-store") return HttpResponse::redirect("itms-apps://store.test/app/1");
    if (path.rfind("/pit", 0) == 0) return HttpResponse::binary("GIF89a", "image/gif");
    if (path == "/aclk") {
        // Only to the advertiser's own shop, and only a URL that can stand in a header.
        std::string to = fieldValue(parseQuery(request.query), "adurl");
        auto parts = splitUrl(to);
        if (to.rfind("http://shop.advertiser.test/", 0) != 0 || !parts ||
            parts->host != "shop.advertiser.test" || !isUrlText(to))
            to = "http://shop.advertiser.test/";
        return HttpResponse::redirect(to);
    }
    return HttpResponse::plain("not found", 404);
}

std::vector<std::string> PebbleModule::adminHelp() const {
    return {"rejections  the reasons of ad requests answered 400",
            "decoded  the location and signal records of accepted ad requests"};
}
std::optional<HttpResponse> PebbleModule::adminView(std::string_view view, const FormFields&) {
    std::lock_guard lock(mutex_);
    std::string text;
    if (view == "rejections") {
        for (auto& r : rejections_)
            text += r + "\n";
    } else if (view == "decoded") {
        for (auto& d : decoded_)
            text += "uule=" + d.location + "\nms=" + d.signals + "\n";
    } else {
        return std::nullopt;
    }
    return HttpResponse::plain(text);
}
void PebbleModule::reset() {
    std::lock_guard lock(mutex_);
    rejections_.clear();
    decoded_.clear();
    scriptFetches_ = 0;
}

std::vector<std::string> PebbleModule::rejections() const {
    std::lock_guard lock(mutex_);
    return rejections_.list();
}
std::vector<PebbleModule::Decoded> PebbleModule::decoded() const {
    std::lock_guard lock(mutex_);
    return decoded_.list();
}

HttpResponse PebbleModule::script(const HttpRequest& request) {
    if (request.path != "/" PBL_SCRIPT_PATH) return HttpResponse::plain("not found", 404);
    ++scriptFetches_;
    if (request.header("If-Modified-Since") == kLastModified) {
        HttpResponse r = HttpResponse::plain("", 304);
        return r.header("Last-Modified", kLastModified), r;
    }
    HttpResponse r = HttpResponse::binary(kScript, "application/javascript");
    return r.header("Last-Modified", kLastModified), r;
}

std::string PebbleModule::check(const FormFields& q, Decoded* decoded) {
    auto has = [&](const char* k) { return findField(q, k) != nullptr; };
    auto value = [&](const char* k) { return fieldValue(q, k); };
    if (value("js").rfind("pbma-sdk-i-v", 0) != 0) return "js";
    if (!integerIn(value("preqs"), 1, INT32_MAX)) return "preqs";
    if (value("app_name").empty()) return "app_name";
    if (has("isu") && !isUpperHex32(value("isu"))) return "isu";
    if (has("ad_frame") == has("format")) return "ad_frame or format";
    if (has("ad_frame") && !value("ad_frame").starts_with('{')) return "ad_frame";
    for (const char* k : {"u_audio", "u_sd", "u_w", "u_h"})
        if (!isNumber(value(k))) return k;
    if (value("u_so") != "p" && value("u_so") != "l") return "u_so";
    if (has("cust_age") && (value("cust_age").size() != 8 || !isNumber(value("cust_age"))))
        return "cust_age";
    if (has("cust_gender") && value("cust_gender") != "m" && value("cust_gender") != "f")
        return "cust_gender";
    if (has("extras") && !value("extras").starts_with('{')) return "extras";
    if (has("kw") && !value("kw").starts_with('[')) return "kw";
    if (has("uule"))
        if (auto why = checkLocation(value("uule"), &decoded->location); !why.empty()) return why;
    if (has("ms"))
        if (auto why = checkSignals(value("ms"), &decoded->signals); !why.empty()) return why;
    return "";
}

HttpResponse PebbleModule::ad(const HttpRequest& request) {
    FormFields q = parseQuery(request.query);
    std::string slot = fieldValue(q, "slotname");
    Decoded decoded;
    std::string reason = slot == "rejected" ? "rejected slot" : check(q, &decoded);
    {
        std::lock_guard lock(mutex_);
        if (!reason.empty()) {
            rejections_.push(reason, reason.size());
            return HttpResponse::plain("bad parameter: " + reason, 400);
        }
        decoded_.push(decoded, decoded.location.size() + decoded.signals.size());
    }
    if (slot == "error") return HttpResponse::plain("unavailable", 503);
    if (slot == "interstitial" && fieldValue(q, "format") != "interstitial_mb") {
        std::lock_guard lock(mutex_);
        rejections_.push("format", 6);
        return HttpResponse::plain("bad parameter: format", 400);
    }
    // The ad moved: the redirect's own headers name an impression pixel too.
    if (slot == "moved" && fieldValue(q, "moved").empty()) {
        HttpResponse moved =
            HttpResponse::redirect(adBase() + "/pbma/ad?" + request.query + "&moved=1");
        return moved.header("X-Pbma-Tracking-Urls", adBase() + "/imp?moved=1"), moved;
    }
    if (slot == "noad") return HttpResponse::html("  \n\t \n");
    // Numbered by the client's own request count, which the client assigns in order.
    int serial = static_cast<int>(integerIn(fieldValue(q, "preqs"), 1, INT32_MAX).value_or(1));
    std::string base = adBase();
    std::string landing = slot == "webapp" ? "http://shop.advertiser.test/webapp"
                                           : "http://shop.advertiser.test/offer";
    HttpResponse r = HttpResponse::html(slot == "interstitial" ? interstitialPage(serial)
                                                               : bannerPage(serial, landing));
    r.header("X-Pbma-Tracking-Urls", base + "/imp?n=" + std::to_string(serial) + "&i=1 " + base +
                                         "/imp?n=" + std::to_string(serial) + "&i=2");
    if (slot == "webapp")
        r.header("X-Pbma-Click-Tracking-Urls",
                 base + "/pit" + std::to_string(serial) + " " + base + "/pit-store");
    if (slot == "interstitial") {
        r.header("X-Pbma-Orientation", "portrait");
        r.header("X-Pbma-Interstitial-Timeout", "5");
    }
    if (slot == "refresh0")
        r.header("X-Pbma-Refresh-Rate", "0");
    else if (slot == "refresh-5")
        r.header("X-Pbma-Refresh-Rate", "-5");
    else if (slot == "banner" || slot == "webapp")
        r.header("X-Pbma-Refresh-Rate", "30");
    return r;
}

BN_SERVICES_MODULE("pebble", PebbleModule)

}  // namespace bnservices
