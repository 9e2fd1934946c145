// The Ironvine ad server: GET http://ads.ironvine.test/AdBridgeServer/files/<name> answers the
// files and /AdBridgeServer/bundles/<name>.zip the zip bundles of IronvineBundles.h;
// /AdBridgeServer/v2/req_js.json is the script sync. Anything else is 404. Faults per host and
// path and the list of requests come from the server itself.
#include <zlib.h>

#include <mutex>
#include <string_view>

#include "ads/ironvine/IVHosts.h"
#include "tools/services/IronvineBundles.h"
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

// The driver script the server hands out: it reads its slot list as a script literal, keeps it
// in `ads`, becomes idle and reports its start. It has no ads to give.
constexpr const char* kDriverScript =
    "var ads = null;\n"
    "function driverInit(list) { ads = eval('(' + list + ')'); BridgeDriver.setState('1'); "
    "BridgeDriver.notifyInitSucceeded(); }\n"
    "function fetchAdForSlotNamed(name) { BridgeDriver.setState('1'); "
    "BridgeDriver.notifyAdFetchFailedForSlotNamed(name); }\n"
    "function shouldStartLoadWithRequest(url) { return false; }\n"
    "function shutdown() {}\n";
constexpr const char* kDisplayScript = "function displayAd(slot, dlTime) {}\n";
}  // namespace

class IronvineModule : public Module {
public:
    std::vector<std::string> hosts() const override { return {IVAdServerHost}; }

    HttpResponse handle(const HttpRequest& request) override {
        const std::string files = "/AdBridgeServer/files/";
        const std::string bundles = "/AdBridgeServer/bundles/";
        std::string path = percentDecode(request.path, false);
        if (request.method != "GET") return HttpResponse::plain("Not Found\n", 404);
        if (path == "/AdBridgeServer/v2/req_js.json") return sync(request);
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
        if (view != "sync") return std::nullopt;
        std::lock_guard<std::mutex> g(lock_);
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
            if (variant != "nodriver") w.member("driver", kDriverScript);
        }
        w.endObject().endObject().endObject();
        if (variant == "nested") {
            w.key("deep");
            for (int i = 0; i < 200; ++i)
                w.beginArray();
            for (int i = 0; i < 200; ++i)
                w.endArray();
        }
        w.endObject();
        HttpResponse r = HttpResponse::binary(gzipped(w.text()), "application/json");
        r.header("Content-Encoding", "gzip");
        return r;
    }

    std::mutex lock_;
    std::string version_ = "1.0";
    bool disabled_ = false;
    std::string variant_ = "normal";
};

BN_SERVICES_MODULE("ironvine", IronvineModule)

}  // namespace bnservices
