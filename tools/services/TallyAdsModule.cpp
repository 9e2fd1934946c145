// The analytics vendor's ad pages on ads.tally.test: the canvas (a catalog page of the vendor's
// house ads, portrait and landscape) and the store referral, which redirects twice to the store
// host store.tally.test. Every click URL key is checked: a missing or malformed one is refused
// with 400 and its name. Faults per path come from the server's own fault table.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "analytics/base/TallyHosts.h"
#include "tools/services/Module.h"

namespace bnservices {

namespace {

constexpr const char* kStoreHost = "store.tally.test";

// The ids the client sends are decimal 64-bit numbers; the service also counts on from an ad's
// id, so those near the ends of the range are refused as well.
constexpr long long kMaxId = 1000000000000000000LL;

bool isNumber(const std::string& v) {
    return integerIn(v, -kMaxId, kMaxId).has_value();
}

bool isHex(const std::string& v) {
    if (v.size() % 2) return false;
    for (char c : v)
        if (!std::isdigit(static_cast<unsigned char>(c)) && (c < 'a' || c > 'f')) return false;
    return true;
}

// Why the click query is not one the client makes; "" when it is.
std::string checkClickQuery(const FormFields& q) {
    static const char* const kKeys[] = {"apik", "cid", "adid", "pid", "sid",
                                        "its",  "hid", "ac",   "ats"};
    for (const char* key : kKeys) {
        if (countFields(q, key) != 1) return std::string("key ") + key + " must appear once";
    }
    for (const char* key : {"cid", "adid", "sid", "its", "ats"}) {
        if (!isNumber(fieldValue(q, key))) return std::string("key ") + key + " must be a number";
    }
    if (fieldValue(q, "apik").empty()) return "key apik must not be empty";
    if (fieldValue(q, "pid").rfind("IPHONE", 0) != 0) return "key pid must start with IPHONE";
    if (!isHex(fieldValue(q, "ac"))) return "key ac must be lower-case hex";
    return "";
}

class TallyAdsModule : public Module {
public:
    std::vector<std::string> hosts() const override { return {tally_hosts::kAdsHost, kStoreHost}; }

    HttpResponse handle(const HttpRequest& request) override {
        auto q = parseQuery(request.query);
        if (request.header("Host").rfind(kStoreHost, 0) == 0) {
            if (request.path.rfind("/app/", 0) != 0) return HttpResponse::plain("not found\n", 404);
            return HttpResponse::html("<html><body><h1>Store</h1><p>" +
                                      escapeHtml(request.path.substr(5)) + "</p></body></html>");
        }
        bool portrait = request.path == "/getCanvas.do";
        if (portrait || request.path == "/getCanvasLandscape.do") {
            std::string why = checkClickQuery(q);
            if (!why.empty()) return HttpResponse::plain(why + "\n", 400);
            return HttpResponse::html(canvasPage(q, request.query, portrait));
        }
        if (request.path == "/getIPhoneApp.do") {
            std::string why = checkClickQuery(q);
            if (!why.empty()) return HttpResponse::plain(why + "\n", 400);
            return HttpResponse::redirect(std::string("http://") + tally_hosts::kAdsHost +
                                          "/referral.do?adid=" + fieldValue(q, "adid"));
        }
        if (request.path == "/referral.do") {
            std::string ad = fieldValue(q, "adid");
            if (!isNumber(ad)) return HttpResponse::plain("key adid must be a number\n", 400);
            return HttpResponse::redirect(std::string("http://") + kStoreHost + "/app/" + ad);
        }
        return HttpResponse::plain("not found\n", 404);
    }

private:
    // A list of the vendor's apps, each linking to the store referral with the query it came with.
    static std::string canvasPage(const FormFields& q, const std::string& raw, bool portrait) {
        // The pairs as sent (still escaped), less the ad's own id.
        std::string query;
        for (std::size_t at = 0; at < raw.size();) {
            std::size_t amp = std::min(raw.find('&', at), raw.size());
            std::string pair = raw.substr(at, amp - at);
            if (pair.rfind("adid=", 0) != 0) query += "&" + pair;
            at = amp + 1;
        }
        std::string page = "<html><head><title>More apps</title></head><body class=\"" +
                           std::string(portrait ? "portrait" : "landscape") +
                           "\"><h1>More apps</h1><ul>";
        long long first = integerIn(fieldValue(q, "adid"), -kMaxId, kMaxId).value_or(0);
        for (int i = 0; i < 3; ++i) {
            std::string ad = std::to_string(first + i);
            page += "<li><a href=\"" + std::string(tally_hosts::kAppStoreURL) + "?adid=" + ad +
                    escapeHtml(query) + "\">App " + ad + "</a></li>";
        }
        return page + "</ul></body></html>";
    }
};

}  // namespace

BN_SERVICES_MODULE("tallyads", TallyAdsModule)

}  // namespace bnservices
