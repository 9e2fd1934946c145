// The analytics vendor's upload service: POST http://analytics.tally.test/aap.do takes the
// client's binary upload, decodes it field by field and keeps it; a body that breaks the format
// is refused with 400 and the field that broke it. The admin host shows the decoded uploads
// and the refusals as JSON, and hands out the debug keys that unlock the client's debug mode.
// An upload that asks for ads is answered with an ad reply (TallyAdReply.h) built from the
// module's ad options, which the admin host's "ads" view and tests set.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "tools/services/Kept.h"
#include "tools/services/Module.h"
#include "tools/services/TallyAdReply.h"
#include "tools/services/TallyUpload.h"

namespace bnservices {

// Uploads and refusals kept per server, the oldest first to go.
inline constexpr std::size_t kKeptUploads = 500;

class AnalyticsModule : public Module {
public:
    struct Upload {
        std::string received;  // when, UTC
        TallyUpload upload;
    };
    struct Refusal {
        std::string received;
        std::string reason;  // the 400 answer's text
    };

    std::vector<std::string> hosts() const override;
    HttpResponse handle(const HttpRequest& request) override;
    std::optional<HttpResponse> adminView(std::string_view view, const FormFields& query) override;
    std::vector<std::string> adminHelp() const override;
    void reset() override;

    // What it took and what it refused, oldest first.
    std::vector<Upload> uploads() const;
    std::vector<Refusal> refusals() const;

    // How uploads that ask for ads are answered.
    TallyAdReplyOptions adOptions() const;
    void setAdOptions(const TallyAdReplyOptions& options);

    // The debug key for an API key on a date ("MM-dd-yyyy").
    static std::string debugKey(const std::string& apiKey, const std::string& date);

private:
    mutable std::mutex lock_;
    Kept<Upload> uploads_{kKeptUploads};
    Kept<Refusal> refusals_{kKeptUploads};
    TallyAdReplyOptions adOptions_;
};

}  // namespace bnservices
