// The Pebble ad service: the support script that builds the ad URL, the ad pages by slot name
// ("banner", "webapp", "noad", "rejected", "error", "interstitial", "moved", "refresh0",
// "refresh-5"; any other name is a banner without a refresh rate), impression pixels, click
// trackers, the click redirect to the advertiser's shop and the shop's pages: landing pages for
// the in-app browser (links, a form, a secure link, a hand-off to the store, a slow page that
// tests gate) and the rich ad page of the web app screen ("/webapp", the "webapp" slot's link).
#pragma once

#include <atomic>
#include <mutex>

#include "tools/services/Kept.h"
#include "tools/services/Module.h"

namespace bnservices {

class PebbleModule : public Module {
public:
    std::vector<std::string> hosts() const override;
    HttpResponse handle(const HttpRequest& request) override;
    std::vector<std::string> adminHelp() const override;
    std::optional<HttpResponse> adminView(std::string_view view, const FormFields&) override;
    void reset() override;

    // How many times the support script was asked for (304 answers included).
    int scriptFetches() const { return scriptFetches_; }
    // The reasons of the ad requests answered 400, oldest first.
    std::vector<std::string> rejections() const;

    // What an accepted ad request's "uule" and "ms" decode to ("" when it had none).
    struct Decoded {
        std::string location;  // the location record, decrypted
        std::string signals;   // the signal record
    };
    // One per accepted ad request, oldest first.
    std::vector<Decoded> decoded() const;

    // Why a "uule" or "ms" value is refused ("uule: ..." or "ms: ..."), "" when it is sound and
    // then its record in `record`.
    static std::string checkLocation(const std::string& uule, std::string* record);
    static std::string checkSignals(const std::string& ms, std::string* record);

private:
    HttpResponse script(const HttpRequest& request);
    // Why the parameters are refused, "" when they are sound.
    static std::string check(const FormFields& query, Decoded* decoded);
    HttpResponse ad(const HttpRequest& request);

    mutable std::mutex mutex_;
    Kept<std::string> rejections_;
    Kept<Decoded> decoded_;
    std::atomic<int> scriptFetches_{0};
};

}  // namespace bnservices
