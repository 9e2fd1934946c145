#include "tools/services/MediationModule.h"

#include <algorithm>

#include "AdLoom/internal/AdLoomHosts.h"
#include "tools/standin/JsonWriter.h"
#include "tools/standin/RgbImage.h"

namespace bnservices {

namespace {

const std::string kMediationBase = "http://" ADLOOM_MEDIATION_HOST;

HttpResponse json(std::string body, int status = 200) {
    HttpResponse r;
    r.status = status;
    r.contentType = "application/json; charset=utf-8";
    r.body = std::move(body);
    return r;
}

struct Network {
    const char* name;
    int type;
    const char* nname;
    const char* key;
};
const Network kNetworks[] = {
    {"house", 9, "custom", ""},
    {"iad", 19, "iad", ""},
    {"pebble", 1, "pebble", "banner"},  // the Pebble service's banner slot
    {"meridian", 6, "meridian", "meridian-apid-0001"},
    {"ironvine", 7, "ironvine", "bazaarnestiv0001"},
    {"pebble-webapp", 1, "pebble", "webapp"},  // the Pebble slot whose ad opens a web app
    // Meridian's JSON slots: an image ad, a video ad cached at first sight, and one whose end
    // shows no page, so the banners ask for ads again once it is over.
    {"meridian-image", 6, "meridian", "json-image"},
    {"meridian-video", 6, "meridian", "json-video"},
    {"meridian-video-ends", 6, "meridian", "json-video-ends"},
};

std::string ration(const Network& n, int weight, int priority) {
    standin::JsonWriter w;
    w.beginObject()
        .member("type", n.type)
        .member("nid", n.name)
        .member("nname", n.nname)
        .member("weight", weight)
        .member("priority", priority)
        .member("key", n.key)
        .endObject();
    std::string text = w.text();
    return text.substr(0, text.size() - 1);
}

const char* const kExtra = R"({"background_color_rgb":{"red":38,"green":70,"blue":120,"alpha":1},)"
                           R"("text_color_rgb":{"red":255,"green":255,"blue":255,"alpha":1},)"
                           R"("refresh_interval":30,"location_on":1,"transition":7,)"
                           R"("fullscreen_wait_interval":60,"fullscreen_max_ads":2})";

std::string appConfig(const std::vector<std::pair<const Network*, int>>& weighted) {
    std::string rations;
    int priority = 1;
    for (auto& [n, weight] : weighted)
        rations += (rations.empty() ? "" : ",") + ration(*n, weight, priority++);
    return std::string(R"({"extra":)") + kExtra + R"(,"rations":[)" + rations + "]}";
}

// Pictures for the house ads: a banner that says what it offers beside its mark, an icon with a
// rounded badge.
std::string bannerPng(int width, int height) {
    standin::RgbImage image = standin::blank(width, height);
    const int k = std::max(1, height / 50);  // the 640 x 100 picture is the 320 x 50 one doubled
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            standin::setPixel(image, x, y, 38, 70 + (y * 80) / height, 120);
    // The mark: an orange price tag, its corners cut on the left, a white hole there.
    for (int y = 8 * k; y < 42 * k; ++y)
        for (int x = 8 * k; x < 44 * k; ++x) {
            int fromTip = x - 8 * k, offMiddle = std::abs(y - 25 * k);
            if (offMiddle > fromTip + 4 * k) continue;  // the cut corners
            int dx = x - 18 * k, dy = y - 25 * k;
            bool hole = dx * dx + dy * dy < 9 * k * k;
            standin::setPixel(image, x, y, hole ? 255 : 240, hole ? 255 : 180, hole ? 255 : 40);
        }
    standin::drawWords(image, "bazaarnest plus", 54 * k, 8 * k, 2 * k, 255, 255, 255);
    standin::drawWords(image, "list faster", 54 * k, 28 * k, 2 * k, 240, 180, 40);
    return standin::encodePng(image);
}

std::string iconPng(int side) {
    standin::RgbImage image = standin::blank(side, side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            standin::setPixel(image, x, y, 200 - (y * 100) / side, 40, 60 + (x * 120) / side);
    return standin::encodePng(image);
}

// The application keys the admin host may give answers of their own.
constexpr std::size_t kMaxConfigs = 1000;

std::string advertiserPage(const std::string& given) {
    std::string number = escapeHtml(given);
    return "<!DOCTYPE html>\n<html><head><title>Advertiser " + number +
           "</title></head>\n<body><h1>Bazaarnest Plus</h1>\n"
           "<p>List faster, reach more buyers.</p>\n"
           "<p><a href=\"" +
           kMediationBase + "/advertiser/" + number +
           "/more\">More about it</a></p>\n"
           "<p><a href=\"mailto:sales@advertiser.test?subject=Bazaarnest%20Plus\">Write to us</a>"
           "</p>\n</body></html>\n";
}

bool hasAll(const FormFields& q, std::initializer_list<const char*> names) {
    for (auto* n : names)
        if (!findField(q, n)) return false;
    return true;
}

}  // namespace

MediationModule::MediationModule() {
    seed();
}

void MediationModule::seed() {
    configs_.clear();
    configs_[kAppKey] = {200, appConfig({{&kNetworks[0], 60}, {&kNetworks[1], 40}})};
    configs_[kLegacyKey] = {200, R"([{"custom_ration":100},{"custom_key":""},)"
                                 R"({"custom_priority":1},{"cycle_time":45}])"};
    configs_[kAdsOffKey] = {200, R"({"extra":{},"rations":[]})"};
    configs_[kBadJsonKey] = {200, R"({"extra":{"refresh_interval":30},"rations":[{"type":9,)"};
}

std::vector<std::string> MediationModule::hosts() const {
    // The probe host is mapped so that the banner finds it reachable; nothing is served there.
    return {ADLOOM_MEDIATION_HOST, ADLOOM_METRICS_HOST, ADLOOM_PROBE_HOST};
}

HttpResponse MediationModule::handle(const HttpRequest& request) {
    if (request.method != "GET" && request.method != "HEAD")
        return HttpResponse::plain("only GET here\n", 405);
    if (request.host == ADLOOM_METRICS_HOST) {
        if (request.path == "/exmet.php") return metric(request, "impression");
        if (request.path == "/exclick.php") return metric(request, "click");
        return HttpResponse::plain("not found\n", 404);
    }
    if (request.host != ADLOOM_MEDIATION_HOST) return HttpResponse::plain("not served\n", 404);
    const std::string& path = request.path;
    if (path == "/getInfo.php") return config(request);
    if (path == "/custom.php") return customAd(request);
    if (path == "/img/banner-320x50.png")
        return HttpResponse::binary(bannerPng(320, 50), "image/png");
    if (path == "/img/banner-640x100.png")
        return HttpResponse::binary(bannerPng(640, 100), "image/png");
    if (path == "/img/icon-39.png") return HttpResponse::binary(iconPng(39), "image/png");
    if (path == "/img/icon-57.png") return HttpResponse::binary(iconPng(57), "image/png");
    if (path == "/img/broken.png") return HttpResponse::binary("\x89PNG not an image", "image/png");
    if (path == "/click.php") return metric(request, "house click");
    if (path.rfind("/advertiser/", 0) == 0)
        return HttpResponse::html(advertiserPage(path.substr(12)));
    return HttpResponse::plain("not found\n", 404);
}

HttpResponse MediationModule::config(const HttpRequest& request) {
    auto q = parseQuery(request.query);
    if (!hasAll(q, {"appid", "appver", "client"}))
        return HttpResponse::plain("appid, appver and client are required\n", 400);
    std::lock_guard<std::mutex> g(lock_);
    auto it = configs_.find(fieldValue(q, "appid"));
    if (it == configs_.end()) return HttpResponse::plain("unknown application\n", 404);
    return json(it->second.body, it->second.status);
}

std::string MediationModule::houseAd(const std::string& nid, int serial) {
    const std::string img = kMediationBase + "/img/";
    const std::string image = R"({"ad_type":1,"launch_type":2,"webview_animation_type":7,)"
                              R"("ad_text":"Bazaarnest Plus","img_url":")" +
                              img + R"(banner-320x50.png","img_url_640x100":")" + img +
                              R"(banner-640x100.png","redirect_url":")" + kMediationBase +
                              R"(/advertiser/1","metrics_url":")" + kMediationBase +
                              R"(/click.php?ad=image"})";
    const std::string icon = R"({"ad_type":2,"launch_type":1,"webview_animation_type":0,)"
                             R"("ad_text":"Bazaarnest Plus: list faster, reach more buyers",)"
                             R"("img_url":")" +
                             img + R"(icon-39.png","redirect_url":")" + kMediationBase +
                             R"(/advertiser/2","metrics_url":")" + kMediationBase +
                             R"(/click.php?ad=icon"})";
    if (nid == "house") return serial % 2 == 0 ? image : icon;
    if (nid == "house-image") return image;
    if (nid == "house-icon") return icon;
    if (nid == "house-launch3")
        return R"({"ad_type":1,"launch_type":3,"webview_animation_type":0,"img_url":")" + img +
               R"(banner-320x50.png","redirect_url":")" + kMediationBase + R"(/advertiser/3"})";
    if (nid == "house-type6")
        return R"({"ad_type":6,"launch_type":1,"webview_animation_type":0,"img_url":")" + img +
               R"(banner-320x50.png"})";
    if (nid == "house-anim-1")
        return R"({"ad_type":1,"launch_type":1,"webview_animation_type":-1,"img_url":")" + img +
               R"(banner-320x50.png"})";
    if (nid == "house-no-urls")
        return R"({"ad_type":1,"launch_type":2,"webview_animation_type":0})";
    if (nid == "house-wrong-types")
        return R"({"ad_type":[1],"launch_type":1,"webview_animation_type":0,"img_url":")" + img +
               R"(banner-320x50.png"})";
    if (nid == "house-broken-image")
        return R"({"ad_type":1,"launch_type":1,"webview_animation_type":0,"img_url":")" + img +
               R"(broken.png","redirect_url":")" + kMediationBase + R"(/advertiser/1"})";
    if (nid == "house-no-retina")
        return R"({"ad_type":1,"launch_type":1,"webview_animation_type":0,"img_url":")" + img +
               R"(banner-320x50.png","img_url_640x100":"","redirect_url":"not a url\u0001"})";
    if (nid == "house-list") return R"(["not", "a", "dictionary"])";
    return "";
}

HttpResponse MediationModule::customAd(const HttpRequest& request) {
    auto q = parseQuery(request.query);
    if (!hasAll(q, {"appver", "country_code", "appid", "nid", "client"}))
        return HttpResponse::plain("appver, country_code, appid, nid and client are required\n",
                                   400);
    std::string nid = fieldValue(q, "nid");
    int serial;
    {
        std::lock_guard<std::mutex> g(lock_);
        houseAdRequests_.push(clipped(nid), std::min(nid.size(), kKeptText));
        serial = houseSerial_;
        if (nid == "house") ++houseSerial_;
    }
    std::string ad = houseAd(nid, serial);
    if (ad.empty()) return HttpResponse::plain("no house ad " + nid + "\n", 404);
    return json(ad);
}

HttpResponse MediationModule::metric(const HttpRequest& request, const char* kind) {
    auto q = parseQuery(request.query);
    bool houseClick = std::string(kind) == "house click";
    if (!houseClick && !hasAll(q, {"appid", "nid", "type", "country_code", "appver", "client"}))
        return HttpResponse::plain(
            "appid, nid, type, country_code, appver and client are required\n", 400);
    std::lock_guard<std::mutex> g(lock_);
    // What a ping holds comes from its query, no longer than the target it came in.
    pings_.push({kind, clipped(fieldValue(q, "appid")),
                 clipped(houseClick ? fieldValue(q, "ad") : fieldValue(q, "nid")),
                 clipped(fieldValue(q, "type")), clipped(fieldValue(q, "country_code")),
                 clipped(request.target)},
                std::min(request.target.size(), kKeptText) * 2);
    return HttpResponse::plain("OK\n");
}

std::optional<HttpResponse> MediationModule::adminView(std::string_view view,
                                                       const FormFields& query) {
    if (view == "pings") {
        standin::JsonWriter w;
        w.beginArray();
        for (const auto& p : pings())
            w.beginObject()
                .member("kind", p.kind)
                .member("appid", p.appid)
                .member("nid", p.nid)
                .member("type", p.type)
                .member("country_code", p.countryCode)
                .member("target", p.target)
                .endObject();
        w.endArray();
        return json(w.text());
    }
    if (view == "configs") {
        standin::JsonWriter w;
        w.beginObject();
        std::lock_guard<std::mutex> g(lock_);
        for (const auto& [appid, stored] : configs_)
            w.key(appid)
                .beginObject()
                .member("status", stored.status)
                .member("body", stored.body)
                .endObject();
        w.endObject();
        return json(w.text());
    }
    if (view == "weight") {
        std::string network = fieldValue(query, "network");
        if (!weightTo(network))
            return HttpResponse::plain(
                "network= is house, iad, pebble, meridian, ironvine, pebble-webapp, "
                "meridian-image, meridian-video, meridian-video-ends or all\n",
                400);
        return HttpResponse::plain("the app's configuration now uses " + network + "\n");
    }
    if (view == "config") {
        std::string appid = fieldValue(query, "appid");
        if (appid.empty()) return HttpResponse::plain("appid= is required\n", 400);
        Stored answer;
        {
            std::lock_guard<std::mutex> g(lock_);
            auto it = configs_.find(appid);
            if (it != configs_.end()) answer = it->second;
        }
        if (findField(query, "body")) answer.body = fieldValue(query, "body");
        if (findField(query, "status")) {
            auto status = integerIn(fieldValue(query, "status"), 100, 599);
            if (!status) return HttpResponse::plain("status= is an HTTP status\n", 400);
            answer.status = static_cast<int>(*status);
        }
        {
            std::lock_guard<std::mutex> g(lock_);
            if (configs_.size() >= kMaxConfigs && !configs_.count(appid))
                return HttpResponse::plain("too many application keys\n", 400);
        }
        setConfig(appid, answer);
        return HttpResponse::plain("set " + appid + "\n");
    }
    return std::nullopt;
}

std::vector<std::string> MediationModule::adminHelp() const {
    return {"pings                        the metrics pings and house-ad clicks received (JSON)",
            "configs                      every application key's configuration answer (JSON)",
            "weight?network=N             the app's configuration with one network only: house,\n"
            "                             iad, pebble, meridian, ironvine, pebble-webapp,\n"
            "                             meridian-image, meridian-video or meridian-video-ends;\n"
            "                             all for the mix",
            "config?appid=K[&body=B][&status=S]  what GET /getInfo.php answers for key K"};
}

void MediationModule::reset() {
    std::lock_guard<std::mutex> g(lock_);
    seed();
    pings_.clear();
    houseAdRequests_.clear();
    houseSerial_ = 0;
}

bool MediationModule::weightTo(const std::string& network) {
    std::string body;
    if (network == "all") {
        body = appConfig({{&kNetworks[0], 60}, {&kNetworks[1], 40}});
    } else {
        for (const auto& n : kNetworks)
            if (network == n.name) body = appConfig({{&n, 100}});
        if (body.empty()) return false;
    }
    std::lock_guard<std::mutex> g(lock_);
    configs_[kAppKey] = {200, body};
    return true;
}

void MediationModule::setConfig(const std::string& appid, Stored answer) {
    std::lock_guard<std::mutex> g(lock_);
    configs_[appid] = std::move(answer);
}

std::vector<MediationModule::Ping> MediationModule::pings() const {
    std::lock_guard<std::mutex> g(lock_);
    return pings_.list();
}

std::vector<std::string> MediationModule::houseAdRequests() const {
    std::lock_guard<std::mutex> g(lock_);
    return houseAdRequests_.list();
}

BN_SERVICES_MODULE("mediation", MediationModule)

}  // namespace bnservices
