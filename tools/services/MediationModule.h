// The ad mediation service: configurations by application key (GET /getInfo.php), house ads by
// network id (GET /custom.php) with their images and advertiser pages, and the metrics pings
// (GET /exmet.php and /exclick.php on the metrics host), which it keeps for the admin host.
//
// Seeded: the app's key (house ads 60, iAd 40), a legacy configuration, one with ads off and
// one whose JSON breaks off. The admin host (and the program's --mediation-network option)
// weights the app's configuration to one network, and sets any key's body or status.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tools/services/Kept.h"
#include "tools/services/Module.h"

namespace bnservices {

class MediationModule : public Module {
public:
    // The seeded keys besides the app's own.
    static constexpr const char* kAppKey = "3f9a1c0be7d24a5c8e61b0f2d4a97c3e";
    static constexpr const char* kLegacyKey = "legacy5c2d4e6f8a0b1c3d5e7f9a1b3c5";
    static constexpr const char* kAdsOffKey = "adsoff7e9a1b3c5d7f9b1d3f5a7c9e1b3";
    static constexpr const char* kBadJsonKey = "badjson0d2f4b6d8f0b2d4f6b8d0f2b4d";

    struct Ping {
        std::string kind;  // "impression", "click" or "house click"
        std::string appid, nid, type, countryCode;
        std::string target;  // as requested
    };
    struct Stored {
        int status = 200;
        std::string body;
    };

    MediationModule();

    std::vector<std::string> hosts() const override;
    HttpResponse handle(const HttpRequest& request) override;
    std::optional<HttpResponse> adminView(std::string_view view, const FormFields& query) override;
    std::vector<std::string> adminHelp() const override;
    void reset() override;

    // The app's configuration with one network only: "house", "iad", "pebble", "meridian",
    // "ironvine" or "pebble-webapp" (Pebble's slot whose ad opens a web app); "all" brings back
    // the seeded mix. False for another name.
    bool weightTo(const std::string& network);
    // Any key's answer.
    void setConfig(const std::string& appid, Stored answer);
    std::vector<Ping> pings() const;
    // Requests of house ads by network id, in order.
    std::vector<std::string> houseAdRequests() const;

    // The seeded house ads' descriptions by network id (JSON).
    static std::string houseAd(const std::string& nid, int serial);

private:
    HttpResponse config(const HttpRequest& request);
    HttpResponse customAd(const HttpRequest& request);
    HttpResponse metric(const HttpRequest& request, const char* kind);
    void seed();

    mutable std::mutex lock_;
    std::map<std::string, Stored> configs_;
    Kept<Ping> pings_;
    Kept<std::string> houseAdRequests_;
    int houseSerial_ = 0;  // the rotating house ad alternates image and icon ads
};

}  // namespace bnservices
