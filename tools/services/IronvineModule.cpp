// The Ironvine ad server: GET http://ads.ironvine.test/AdBridgeServer/files/<name> answers the
// files and /AdBridgeServer/bundles/<name>.zip the zip bundles of IronvineBundles.h;
// /AdBridgeServer/v2/req_js.json is the script sync. Anything else is 404. Faults per host and
// path and the list of requests come from the server itself.
#include <zlib.h>

#include <cctype>
#include <chrono>
#include <map>
#include <mutex>
#include <string_view>

#include "ads/ironvine/IVHosts.h"
#include "tools/services/IronvineBundles.h"
#include "tools/services/Kept.h"
#include "tools/services/Module.h"
#include "tools/standin/JsonWriter.h"

namespace bnservices {

namespace {
std::string gzipped(std::string_view data) {
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::string out(deflateBound(&z, data.size()) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    int r = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return r == Z_STREAM_END ? out : std::string();
}

// The driver script: reads its slot list as a script literal, makes the ads table, becomes
// idle and reports its start. A fetch downloads the ad's descriptor to a file, reads it, unpacks
// the bundle into IV/Content/{slot}/{dlTime}, inserts the ad's row, becomes idle and reports.
// "@APP@" is the application id of the sync request. Callbacks use single quotes only: the
// command grammar puts them between double quotes.
constexpr const char* kDriverScript = R"JS(var ads = null;
var IVServer = 'http://ads.ironvine.test/AdBridgeServer';
var IVApp = '@APP@';
function driverInit(list) {
  var slots = eval('(' + list + ')');
  ads = {};
  for (var i = 0; i < slots.length; i++) ads[slots[i].name] = { size: slots[i].size };
  BridgeLib.sqlExecute('CREATE TABLE IF NOT EXISTS ads (slotName TEXT, dlTime INTEGER, expiration INTEGER, trackers TEXT)');
  BridgeDriver.setState('1');
  BridgeDriver.notifyInitSucceeded();
}
function fetchFailed(name) {
  BridgeDriver.setState('1');
  BridgeDriver.notifyAdFetchFailedForSlotNamed(name);
}
function fetchAdForSlotNamed(name) {
  var slot = ads && ads[name];
  if (!slot) { fetchFailed(name); return; }
  BridgeLib.writeFileWithContentsOfURLWithCallback('IV/Content/' + name + '.json',
      IVServer + '/v2/ad.json?appguid=' + IVApp + '&slot=' + name + '&size=' + slot.size,
      "descriptorWritten('" + name + "', %d)");
}
function descriptorWritten(name, ok) {
  if (!ok) { fetchFailed(name); return; }
  BridgeLib.loadStringFromFileWithCallback('IV/Content/' + name + '.json', "descriptorRead('" + name + "', %s)");
}
function descriptorRead(name, text) {
  var reply = null;
  try { reply = JSON.parse(text); } catch (e) {}
  if (!reply || reply.status != 'AllOkay' || !reply.ad) { fetchFailed(name); return; }
  var ad = reply.ad;
  ads[name].pending = ad;
  BridgeLib.unzipContentsOfURLToFolderWithCallback(ad.bundle, 'IV/Content/' + name + '/' + ad.dlTime,
      "bundleUnpacked('" + name + "', %d)");
}
function bundleUnpacked(name, ok) {
  var ad = ads[name].pending;
  if (!ok) { fetchFailed(name); return; }
  BridgeLib.sqlExecuteWithCallback("INSERT INTO ads (slotName, dlTime, expiration, trackers) VALUES('" + name + "', " +
      ad.dlTime + ", " + ad.expiration + ", '" + ad.trackers.join('$$IVURL$$') + "')",
      "rowInserted('" + name + "', %s)");
}
function rowInserted(name, rows) {
  var ad = ads[name].pending;
  ads[name].pending = null;
  BridgeDriver.setState('1');
  BridgeDriver.notifyAdFetchSucceededForSlotNamedDlTimeExpiration(name, '' + ad.dlTime, '' + ad.expiration);
}
function shouldStartLoadWithRequest(url) { return false; }
function shutdown() {}
)JS";

// The display script: shows the ad's fragment, reports its load, asks for the impression once
// the ad has been displayed, and turns click-throughs into in-ad browser pages.
constexpr const char* kDisplayScript = R"JS(var IVShown = null;
var IVFullScreen = 0;
var IVVisit = 'http://ads.ironvine.test/AdBridgeServer/landing/1.html';
function displayAd(slot, dlTime, width, height, fullScreen, reachable) {
  IVFullScreen = fullScreen;
  BridgeDisplay.notifyAdContentWillLoad();
  BridgeLib.loadStringFromFileWithCallback('IV/Content/' + slot + '/' + dlTime + '/ad.html',
      "fragmentRead('" + slot + "', " + dlTime + ", %s)");
}
function fragmentRead(slot, dlTime, html) {
  if (!html) { BridgeDisplay.notifyAdDisplayFailedForSlotNamed(slot); return; }
  document.body.innerHTML = html;
  IVShown = { slot: slot, dlTime: dlTime };
  BridgeDisplay.notifyAdContentDidLoad();
  BridgeDisplay.notifyAdViewNeedsDisplay();
  if (IVFullScreen) {
    BridgeDisplay.prepareActionSheet();
    BridgeDisplay.addButtonToActionSheetCallback('Visit', "handleClickthrough('ironvine://ct?to=' + encodeURIComponent(IVVisit));");
  }
}
function adViewDisplayed() { BridgeDisplay.trackImpression(); }
function centerAd(width, height, animated) {}
function handleClickthrough(url) {
  var at = url.indexOf('to=');
  if (at < 0) return;
  BridgeDisplay.requestURL(decodeURIComponent(url.substring(at + 3)));
}
function handleSkip() { return true; }
function accelerometerDidAccelerate(x, y, z) {}
var RichAd = { adViewWillExpand: function() {}, adViewDidCollapse: function() {} };
)JS";

std::string replaced(std::string text, const std::string& what, const std::string& with) {
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

bool alphanumeric(const std::string& s) {
    for (char c : s)
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return !s.empty();
}

std::string base64(std::string_view in) {
    static const char* t = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        unsigned v =
            (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8 | (unsigned char)in[i + 2];
        out += {t[v >> 18], t[(v >> 12) & 63], t[(v >> 6) & 63], t[v & 63]};
    }
    if (i + 1 == in.size()) {
        unsigned v = (unsigned char)in[i] << 16;
        out += {t[v >> 18], t[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == in.size()) {
        unsigned v = (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8;
        out += {t[v >> 18], t[(v >> 12) & 63], t[(v >> 6) & 63], '='};
    }
    return out;
}

std::string landingPage(int n) {
    std::string other = n == 1 ? "2" : "1";
    return "<html><head><title>Bazaar deals " + std::to_string(n) +
           "</title></head><body><h1>Bazaar deals, page " + std::to_string(n) +
           "</h1><p><a href=\"/AdBridgeServer/landing/" + other + ".html\">Page " + other +
           "</a></p><p><a href=\"http://itunes.appstore.test/app/bazaarnest\">Get the app</a></p>"
           "<p><a href=\"tel:5550100\">Call us</a></p><p><a "
           "href=\"mailto:deals@ironvine.test\">Write to us</a></p><p><a href=\"http://" +
           std::string(IVVideoHost) + "/watch?v=bazaar\">Watch the video</a></p></body></html>\n";
}
}  // namespace

// The largest numbers the admin host and the bundle names take: far beyond any real one, and
// exact in the ad engine's doubles.
constexpr long long kMaxExpiration = 1LL << 53;
constexpr long long kMaxBundleNumber = 1LL << 53;

class IronvineModule : public Module {
public:
    std::vector<std::string> hosts() const override { return {IVAdServerHost}; }

    HttpResponse handle(const HttpRequest& request) override {
        const std::string files = "/AdBridgeServer/files/";
        const std::string bundles = "/AdBridgeServer/bundles/";
        std::string path = percentDecode(request.path, false);
        if (request.method != "GET") return HttpResponse::plain("Not Found\n", 404);
        if (path == "/AdBridgeServer/v2/req_js.json") return sync(request);
        if (path == "/AdBridgeServer/v2/ad.json") return adDescriptor(request);
        if (path.rfind("/AdBridgeServer/adbundle/", 0) == 0) return adBundle(path);
        if (path.rfind("/AdBridgeServer/track/", 0) == 0 ||
            path.rfind("/AdBridgeServer/ping/", 0) == 0) {
            std::lock_guard<std::mutex> g(lock_);
            std::string hit = clipped(path.substr(std::string("/AdBridgeServer/").size()));
            hits_.push(hit, hit.size());
            return HttpResponse::plain("ok\n");
        }
        if (path == "/AdBridgeServer/landing/1.html") return HttpResponse::html(landingPage(1));
        if (path == "/AdBridgeServer/landing/2.html") return HttpResponse::html(landingPage(2));
        if (path.rfind(files, 0) == 0) {
            std::string name = path.substr(files.size());
            if (auto body = ironvineFile(name))
                return HttpResponse::binary(
                    *body, name.ends_with(".wav") ? "audio/wav" : "text/plain; charset=utf-8");
        }
        if (path.rfind(bundles, 0) == 0 && path.ends_with(".zip")) {
            std::string name = path.substr(bundles.size(), path.size() - bundles.size() - 4);
            if (auto body = ironvineBundle(name))
                return HttpResponse::binary(*body, "application/zip");
        }
        return HttpResponse::plain("Not Found\n", 404);
    }

    std::optional<HttpResponse> adminView(std::string_view view, const FormFields& query) override {
        std::lock_guard<std::mutex> g(lock_);
        if (view == "ads") {
            if (findField(query, "noad")) noAd_ = fieldValue(query, "noad") == "1";
            if (findField(query, "expiration")) {
                std::string text = fieldValue(query, "expiration");
                auto expiration = text.empty() ? 0LL : integerIn(text, 0, kMaxExpiration);
                if (!expiration)
                    return HttpResponse::plain(
                        "expiration must be 0 to " + std::to_string(kMaxExpiration) + "\n", 400);
                expiration_ = *expiration;
            }
            return HttpResponse::plain(std::string("noad ") + (noAd_ ? "1" : "0") + " expiration " +
                                       std::to_string(expiration_) + "\n");
        }
        if (view == "hits") {
            std::string out;
            for (auto& h : hits_)
                out += h + "\n";
            return HttpResponse::plain(out);
        }
        if (view != "sync") return std::nullopt;
        if (findField(query, "version")) version_ = fieldValue(query, "version");
        if (findField(query, "disabled")) disabled_ = fieldValue(query, "disabled") == "1";
        if (findField(query, "variant")) variant_ = fieldValue(query, "variant");
        return HttpResponse::plain("version " + version_ + " disabled " + (disabled_ ? "1" : "0") +
                                   " variant " + variant_ + "\n");
    }

    std::vector<std::string> adminHelp() const override {
        return {
            "sync?version=V&disabled=0|1&variant=N  what the script sync answers; variants:\n"
            "                             normal, nodriver, status, nontext, nested"};
    }

    void reset() override {
        std::lock_guard<std::mutex> g(lock_);
        version_ = "1.0";
        disabled_ = false;
        variant_ = "normal";
        noAd_ = false;
        expiration_ = 0;
        hits_.clear();
    }

private:
    // The five keys in their order, values as sent (unescaped), and the gzip header.
    static std::string refusal(const HttpRequest& request) {
        auto fields = parseQuery(request.query);
        const char* keys[] = {"appguid", "deviceid", "userid", "hostversion", "clientversion"};
        if (fields.size() != 5) return "five query keys expected";
        for (std::size_t i = 0; i < 5; ++i) {
            if (fields[i].name != keys[i]) return std::string("key ") + keys[i] + " out of place";
            if (fields[i].value.empty()) return std::string("key ") + keys[i] + " empty";
        }
        if (request.query.find('%') != std::string::npos) return "values are escaped";
        if (fields[1].value.find(' ') != std::string::npos) return "blank in the device id";
        if (fields[3].value != "3.1.2") return "host version is not 3.1.2";
        if (request.header("Accept-Encoding").find("gzip") == std::string::npos)
            return "no gzip in Accept-Encoding";
        return {};
    }

    HttpResponse sync(const HttpRequest& request) {
        if (std::string why = refusal(request); !why.empty()) {
            auto r = HttpResponse::plain(why + "\n", 400);
            r.note = why;
            return r;
        }
        std::string version, variant;
        bool disabled;
        {
            std::lock_guard<std::mutex> g(lock_);
            version = version_;
            variant = variant_;
            disabled = disabled_;
        }
        standin::JsonWriter w;
        w.beginObject().member("status", variant == "status" ? "Failed" : "AllOkay");
        w.key("content").beginObject().key("clientResponse").beginObject();
        w.member("clientVersion", version).member("isDisabled", disabled);
        w.key("source").beginObject();
        if (variant == "nontext")
            w.member("display", 1).member("driver", 2);
        else {
            w.member("display", kDisplayScript);
            std::string app = parseQuery(request.query)[0].value;
            if (!alphanumeric(app)) app = "unknown";
            if (variant != "nodriver") w.member("driver", replaced(kDriverScript, "@APP@", app));
        }
        w.endObject().endObject().endObject();
        if (variant == "nested") {
            w.key("deep");
            for (int i = 0; i < 5000; ++i)
                w.beginArray();
            for (int i = 0; i < 5000; ++i)
                w.endArray();
        }
        w.endObject();
        HttpResponse r = HttpResponse::binary(gzipped(w.text()), "application/json");
        r.header("Content-Encoding", "gzip");
        return r;
    }

    // /v2/ad.json?appguid=&slot=&size=: the next ad's descriptor (bundle, dlTime, expiration,
    // base64 trackers) or {"status":"NoAd"}.
    HttpResponse adDescriptor(const HttpRequest& request) {
        auto fields = parseQuery(request.query);
        std::string app = fieldValue(fields, "appguid"), slot = fieldValue(fields, "slot");
        std::string size = fieldValue(fields, "size");
        if (!alphanumeric(app) || !alphanumeric(slot) || (size != "1" && size != "2"))
            return HttpResponse::plain("appguid, slot and size (1 or 2) expected\n", 400);
        std::lock_guard<std::mutex> g(lock_);
        standin::JsonWriter w;
        if (noAd_) {
            w.beginObject().member("status", "NoAd").endObject();
        } else {
            long long dlTime = ++lastDlTime_;
            long long expiration = expiration_;
            if (expiration == 0)
                expiration = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count() +
                             86400000LL;
            std::string ad = slot + "/" + std::to_string(dlTime);
            std::string base = "http://" + std::string(IVAdServerHost) + "/AdBridgeServer/";
            w.beginObject().member("status", "AllOkay").key("ad").beginObject();
            w.member("bundle", base + "adbundle/" + ad + ".zip")
                .member("dlTime", static_cast<std::int64_t>(dlTime))
                .member("expiration", static_cast<std::int64_t>(expiration));
            w.key("trackers").beginArray();
            w.value(base64(base + "track/" + ad + "/impression"));
            w.value(base64(base + "track/" + ad + "/partner"));
            w.endArray().endObject().endObject();
        }
        return HttpResponse::binary(w.text(), "application/json");
    }

    static HttpResponse adBundle(const std::string& path) {
        std::string rest = path.substr(std::string("/AdBridgeServer/adbundle/").size());
        auto slash = rest.find('/');
        if (slash == std::string::npos || !rest.ends_with(".zip"))
            return HttpResponse::plain("Not Found\n", 404);
        std::string slot = rest.substr(0, slash);
        std::string number = rest.substr(slash + 1, rest.size() - slash - 5);
        if (!alphanumeric(slot) || number.empty() ||
            number.find_first_not_of("0123456789") != std::string::npos)
            return HttpResponse::plain("Not Found\n", 404);
        auto serial = integerIn(number, 0, kMaxBundleNumber);
        if (!serial) return HttpResponse::plain("bundle number out of range\n", 400);
        return HttpResponse::binary(ironvineZip(ironvineAdBundleEntries(slot, *serial)),
                                    "application/zip");
    }

    std::mutex lock_;
    bool noAd_ = false;
    long long expiration_ = 0;
    long long lastDlTime_ = 1000;
    Kept<std::string> hits_;
    std::string version_ = "1.0";
    bool disabled_ = false;
    std::string variant_ = "normal";
};

BN_SERVICES_MODULE("ironvine", IronvineModule)

}  // namespace bnservices
