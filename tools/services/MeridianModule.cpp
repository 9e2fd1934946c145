#include "tools/services/MeridianModule.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "ads/meridian/MRHosts.h"
#include "tools/services/MeridianJSONAds.h"

namespace bnservices {

namespace {

const char* const kAgent = "MRSDK/4.2.2";
const char* const kVersion = "4.2.2-11.4.6.i";
const char* const kGif = "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!";

// What the handshake's time-outs may be set to.
constexpr double kMaxSeconds = 1e6;

std::string adBase() {
    return std::string("http://") + MRAdHost;
}

bool isNumber(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return end && *end == 0;
}

bool oneOf(const std::string& v, std::initializer_list<const char*> allowed) {
    for (auto* a : allowed)
        if (v == a) return true;
    return false;
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// The banner: a line of text, a link through the click tracker, a link that leaves for the store
// through it, and a telephone link, fitting the 50-point slot.
std::string bannerPage(int serial, const std::string& extraScript, const std::string& apid) {
    std::string n = std::to_string(serial);
    std::string click = adBase() + "/handleClick.php5?ad=" + n + "&apid=" + percentEncode(apid);
    return "<html><head><script>" + extraScript + "</script>" + kTextBannerStyle +
           "</head><body><p>Meridian ad " + n + ": Fresh bread delivered</p><a href=\"" + click +
           "\">Order now</a> <a href=\"" + click +
           "&amp;to=store\">Get the app</a> <a href=\"tel:5550199\">Call</a> "
           "<a href=\"mrbrowser://http://www.bakery.test/menu\">Menu</a></body></html>";
}

}  // namespace

std::vector<std::string> MeridianModule::hosts() const {
    return {MRAdHost, MRConversionHost, MRDemoLogHost, MRLiveLogHost, MRMediaHost};
}

std::vector<std::string> MeridianModule::scenarios() {
    std::vector<std::string> all = {"html",        "opens-itself",    "resize",   "modal",
                                    "transparent", "open-in-browser", "empty",    "500",
                                    "json",        "json-charset",    "refresh45"};
    for (auto& name : meridianjson::scenarios())
        all.push_back(name);
    return all;
}

HttpResponse MeridianModule::handle(const HttpRequest& request) {
    const std::string& path = request.path;
    if (request.host == MRMediaHost) return meridianjson::media(request);
    if (request.host == MRConversionHost) {
        if (path != "/handleConversion") return HttpResponse::plain("not found", 404);
        FormFields q = parseQuery(request.query);
        for (const char* k : {"goalid", "auid", "firstlaunch"})
            if (!findField(q, k)) return reject(std::string("conversion ") + k);
        if (!oneOf(fieldValue(q, "firstlaunch"), {"0", "1"}))
            return reject("conversion firstlaunch");
        return HttpResponse::plain("OK");
    }
    if (request.host == MRDemoLogHost || request.host == MRLiveLogHost) {
        bool demo = request.host == MRDemoLogHost;
        if (path !=
            (demo ? "/productiton/common/pixel/image.php" : "/custom/common/pixel/image.php"))
            return HttpResponse::plain("not found", 404);
        FormFields q = parseQuery(request.query);
        if (fieldValue(q, "activity").empty() || fieldValue(q, "acid").empty())
            return reject("pixel");
        return HttpResponse::binary(std::string(kGif, 20), "image/gif");
    }
    if (path == "/appConfigServlet") return handshake(request);
    if (path == "/getAd.php5") return ad(request);
    if (path == "/handleClick.php5") return click(request);
    if (path == "/landing") return landing(request);
    return HttpResponse::plain("not found", 404);
}

HttpResponse MeridianModule::reject(std::string reason) {
    std::lock_guard lock(mutex_);
    rejections_.push(clipped(reason), std::min(reason.size(), kKeptText));
    return HttpResponse::plain("bad parameter: " + reason, 400);
}

std::string MeridianModule::handshakeJson() const {
    std::string body = "{\"mmishake\":{";
    if (!reply_.errorMessage.empty())
        body += "\"errors\":[{\"message\":" + jsonString(reply_.errorMessage) +
                ",\"type\":" + jsonString(reply_.errorType) + "}],";
    body += "\"kill\":" + std::string(reply_.kill ? "true" : "false");
    body += ",\"deferredviewtimeout\":" + number(reply_.deferredTimeout);
    if (reply_.callback >= 0) body += ",\"handshakecallback\":" + number(reply_.callback);
    body += ",\"adtypes\":" + reply_.adtypes + "}}";
    return body;
}

HttpResponse MeridianModule::handshake(const HttpRequest& request) {
    FormFields q = parseQuery(request.query);
    for (const char* k : {"apid", "mrisdk", "dv", "dm", "auid", "language", "country"})
        if (!findField(q, k)) return reject(std::string("handshake ") + k);
    if (fieldValue(q, "mrisdk") != kVersion) return reject("handshake mrisdk");
    std::lock_guard lock(mutex_);
    if (reply_.status != 200) return HttpResponse::plain("unavailable", reply_.status);
    if (reply_.malformed) return HttpResponse::binary("{\"mmishake\": [oops", "application/json");
    return HttpResponse::binary(handshakeJson(), "application/json");
}

HttpResponse MeridianModule::ad(const HttpRequest& request) {
    FormFields q = parseQuery(request.query);
    // The keys in the order the client sends them.
    const char* keys[] = {"medialets", "sdkapid", "auid", "mrisdk", "ua",           "dv",
                          "dm",        "adtype",  "hswd", "hsht",   "accelerometer"};
    for (size_t i = 0; i < std::size(keys); i++)
        if (q.size() <= i || q[i].name != keys[i]) return reject(std::string("order ") + keys[i]);
    if (fieldValue(q, "medialets") != "false") return reject("medialets");
    if (fieldValue(q, "mrisdk") != kVersion) return reject("mrisdk");
    if (fieldValue(q, "auid").empty()) return reject("auid");
    if (!oneOf(fieldValue(q, "adtype"), {"MRBannerAdTop", "MRBannerAdBottom", "MRBannerAdRectangle",
                                         "MRFullScreenAdLaunch", "MRFullScreenAdTransition"}))
        return reject("adtype");
    for (const char* k : {"hswd", "hsht"})
        if (!isNumber(fieldValue(q, k))) return reject(k);
    for (const char* k : {"accelerometer", "video", "cachedvideo"})
        if (!oneOf(fieldValue(q, k), {"true", "false"})) return reject(k);
    for (const char* k : {"language", "country"})
        if (!findField(q, k)) return reject(k);
    if (findField(q, "gender") && !oneOf(fieldValue(q, "gender"), {"male", "female", "unknown"}))
        return reject("gender");
    if (request.header("User-Agent") != kAgent) return reject("User-Agent");
    if (request.header("User_Agent") != kAgent) return reject("User_Agent");

    std::string apid = fieldValue(q, "sdkapid");
    int serial;
    {
        std::lock_guard lock(mutex_);
        serial = ++adSerial_;
    }
    std::string landing = adBase() + "/landing?page=1";
    if (apid == "empty") return HttpResponse::html("");
    if (apid == "500") return HttpResponse::html(bannerPage(serial, "", apid), 500);
    if (auto reply = meridianjson::adReply(apid)) return *reply;
    if (apid == "json")
        return HttpResponse::binary("{\"ad\":{\"type\":\"image\"}}", "application/json");
    if (apid == "json-charset") {
        HttpResponse r = HttpResponse::html(bannerPage(serial, "", apid));
        r.contentType = "application/json; charset=utf-8";
        return r;
    }
    if (apid == "opens-itself")
        return HttpResponse::html(
            bannerPage(serial, "function shouldOpen() { return '" + landing + "'; }", apid));
    if (apid == "resize")
        return HttpResponse::html(bannerPage(
            serial,
            "var asked = 0; function shouldResizeAdTo() { asked++; return asked == 1 ? '50' : "
            "'100'; }",
            apid));
    if (apid == "modal")
        return HttpResponse::html(bannerPage(serial,
                                             "function shouldShowModal() { return 'true'; }"
                                             "function modalSize() { return '280,300'; }"
                                             "function modalLocation() { return '20,60'; }"
                                             "function modalBorderColor() { return '#FF8000'; }"
                                             "function alphaForModalBorder() { return '0.5'; }"
                                             "function titleBarColor() { return '0.2,0.4,0.6'; }"
                                             "function shouldShowTitlebar() { return 'true'; }"
                                             "function overlayTitle() { return 'Fresh bread'; }",
                                             apid));
    if (apid == "transparent")
        return HttpResponse::html(
            bannerPage(serial, "function shouldMakeOverlayTransparent() { return 'true'; }", apid));
    if (apid == "open-in-browser") {
        HttpResponse r = HttpResponse::html(bannerPage(serial, "", apid));
        return r.header("X-Openinbrowser", "true"), r;
    }
    if (apid == "refresh45") {
        HttpResponse r = HttpResponse::html(bannerPage(serial, "", apid));
        return r.header("X-MR-Refresh", "45"), r;
    }
    return HttpResponse::html(bannerPage(serial, "", apid));
}

HttpResponse MeridianModule::click(const HttpRequest& request) {
    FormFields q = parseQuery(request.query);
    // The store's web address, which the client hands to the store rather than loading it.
    if (fieldValue(q, "to") == "store")
        return HttpResponse::redirect(std::string("http://") + MRStoreHost + "/app/7");
    return HttpResponse::redirect(adBase() + "/landing?page=1");
}

// The landing page answers the overlay's functions: the bottom bar shows and is enabled, the
// page closes itself when asked to ("close=1"), and takes accelerometer data.
HttpResponse MeridianModule::landing(const HttpRequest& request) {
    FormFields q = parseQuery(request.query);
    std::string page = fieldValue(q, "page");
    std::string close = fieldValue(q, "close") == "1" ? "true" : "false";
    return HttpResponse::html(
        "<html><head><script>"
        "function shouldShowBottomBar() { return 'true'; }"
        "function shouldEnableBottomBar() { return 'true'; }"
        "function shouldCloseOverlay() { return '" +
        close +
        "'; }"
        "function shouldAccelerate() { return 'true'; }"
        "var moved = ''; function didAccelerate(x, y, z) { moved = x + ',' + y + ',' + z; }"
        "</script></head><body><h1>Fresh bread, page " +
        escapeHtml(page) + "</h1><a href=\"" + adBase() +
        "/landing?page=2\">More</a> "
        "<a href=\"tel:5550199\">Call the bakery</a> <a href=\"" +
        adBase() + "/landing?page=3&amp;close=1\">Done</a> <a href=\"http://" + MRMapsHost +
        "/?q=bakery\">Find us</a></body></html>");
}

std::vector<std::string> MeridianModule::adminHelp() const {
    return {
        "handshake?kill=1&callback=N&deferred=N&adtypes=JSON&error=TEXT&errortype=T&"
        "malformed=1&status=N  sets the handshake reply (no query: shows it)",
        "rejections  the reasons of requests answered 400"};
}

std::optional<HttpResponse> MeridianModule::adminView(std::string_view view,
                                                      const FormFields& query) {
    std::lock_guard lock(mutex_);
    if (view == "rejections") {
        std::string text;
        for (auto& r : rejections_)
            text += r + "\n";
        return HttpResponse::plain(text);
    }
    if (view != "handshake") return std::nullopt;
    if (!query.empty()) {
        MeridianHandshakeReply r;
        r.kill = fieldValue(query, "kill") == "1";
        std::string wrong;
        auto seconds = [&](const char* name, double* into) {
            if (!findField(query, name)) return;
            if (auto v = numberIn(fieldValue(query, name), -kMaxSeconds, kMaxSeconds))
                *into = *v;
            else
                wrong = std::string(name) + " must be a number of seconds\n";
        };
        seconds("callback", &r.callback);
        seconds("deferred", &r.deferredTimeout);
        if (findField(query, "adtypes")) r.adtypes = fieldValue(query, "adtypes");
        r.errorMessage = fieldValue(query, "error");
        if (findField(query, "errortype")) r.errorType = fieldValue(query, "errortype");
        r.malformed = fieldValue(query, "malformed") == "1";
        if (findField(query, "status")) {
            auto status = integerIn(fieldValue(query, "status"), 100, 599);
            if (!status) wrong = "status must be 100 to 599\n";
            r.status = static_cast<int>(status.value_or(200));
        }
        if (!wrong.empty()) return HttpResponse::plain(wrong, 400);
        reply_ = r;
    }
    return HttpResponse::binary(handshakeJson(), "application/json");
}

void MeridianModule::reset() {
    std::lock_guard lock(mutex_);
    reply_ = MeridianHandshakeReply{};
    rejections_.clear();
    adSerial_ = 0;
}

void MeridianModule::setHandshakeReply(const MeridianHandshakeReply& reply) {
    std::lock_guard lock(mutex_);
    reply_ = reply;
}

MeridianHandshakeReply MeridianModule::handshakeReply() const {
    std::lock_guard lock(mutex_);
    return reply_;
}

std::vector<std::string> MeridianModule::rejections() const {
    std::lock_guard lock(mutex_);
    return rejections_.list();
}

BN_SERVICES_MODULE("meridian", MeridianModule)

}  // namespace bnservices
