// The Meridian ad service: the handshake ("appConfigServlet", its reply set on the admin host),
// the ad requests ("getAd.php5", one scenario per sdkapid), the click tracker and its landing
// pages, conversions and the two log pixels.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "tools/services/Kept.h"
#include "tools/services/Module.h"

namespace bnservices {

// What the handshake answers; the admin view "handshake" changes it.
struct MeridianHandshakeReply {
    bool kill = false;
    double callback = 86400;           // "handshakecallback"; < 0 leaves the key out
    double deferredTimeout = 3600;     // "deferredviewtimeout"
    std::string adtypes = "{}";        // "adtypes", as JSON text
    std::string errorMessage;          // one entry of "errors" when not empty
    std::string errorType = "prompt";  // its "type"
    bool malformed = false;            // answer text that is no JSON
    int status = 200;
};

class MeridianModule : public Module {
public:
    std::vector<std::string> hosts() const override;
    HttpResponse handle(const HttpRequest& request) override;
    std::vector<std::string> adminHelp() const override;
    std::optional<HttpResponse> adminView(std::string_view view, const FormFields& query) override;
    void reset() override;

    void setHandshakeReply(const MeridianHandshakeReply& reply);
    MeridianHandshakeReply handshakeReply() const;
    // The reasons of the requests answered 400, oldest first.
    std::vector<std::string> rejections() const;

    // The sdkapid scenarios, for the admin index and tests.
    static std::vector<std::string> scenarios();

private:
    HttpResponse handshake(const HttpRequest& request);
    HttpResponse ad(const HttpRequest& request);
    HttpResponse click(const HttpRequest& request);
    HttpResponse landing(const HttpRequest& request);
    HttpResponse reject(std::string reason);
    std::string handshakeJson() const;

    mutable std::mutex mutex_;
    MeridianHandshakeReply reply_;
    Kept<std::string> rejections_;
    int adSerial_ = 0;
};

}  // namespace bnservices
