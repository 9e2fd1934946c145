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

// Uploads and refusals kept per server, the oldest first to go. Uploads are kept as the bodies
// that came, within Kept's byte cap (or the latest alone when it is larger, up to the core's
// body limit), and decoded when they are read: decoded, a body of small entries takes many
// times its size.
inline constexpr std::size_t kKeptUploads = 500;
// The admin views list this many uploads a page unless asked for fewer (per=), and no more than
// fill this many bytes of kept bodies (one at least): decoded and written out, a body takes
// several times its size.
inline constexpr std::size_t kUploadsPerPage = 20;
inline constexpr std::size_t kUploadPageBytes = 512 * 1024;

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

    // What it took (decoded now) and what it refused, oldest first.
    std::vector<Upload> uploads() const;
    // The bytes of the upload bodies it keeps.
    std::size_t keptBytes() const;
    std::vector<Refusal> refusals() const;

    // How uploads that ask for ads are answered.
    TallyAdReplyOptions adOptions() const;
    void setAdOptions(const TallyAdReplyOptions& options);

    // The debug key for an API key on a date ("MM-dd-yyyy").
    static std::string debugKey(const std::string& apiKey, const std::string& date);

private:
    struct Stored {
        std::string received;
        std::string body;
    };
    // The uploads of a page (from 1) of at most `per`, decoded.
    std::vector<Upload> uploadPage(std::size_t page, std::size_t per) const;
    static std::vector<Upload> decoded(const std::vector<Stored>& stored);

    mutable std::mutex lock_;
    Kept<Stored> uploads_{kKeptUploads};
    Kept<Refusal> refusals_{kKeptUploads};
    TallyAdReplyOptions adOptions_;
};

}  // namespace bnservices
