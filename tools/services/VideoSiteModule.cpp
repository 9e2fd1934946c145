// The video site that the Ironvine landing pages link to ("Watch the video"): its watch pages,
// "/watch?v=<id>", each a page with the video's name, so that the in-ad browser reaches a page
// rather than a host nothing answers.
#include <string>
#include <vector>

#include "ads/ironvine/IVHosts.h"
#include "tools/services/Module.h"

namespace bnservices {

namespace {

class VideoSiteModule : public Module {
public:
    std::vector<std::string> hosts() const override { return {IVVideoHost}; }

    HttpResponse handle(const HttpRequest& request) override {
        if (request.method != "GET" && request.method != "HEAD")
            return HttpResponse::plain("not found\n", 404);
        std::string id = fieldValue(parseQuery(request.query), "v");
        if (request.path != "/watch" || id.empty()) return HttpResponse::plain("not found\n", 404);
        std::string name = escapeHtml(id);
        return HttpResponse::html(
            "<html><head><title>Video " + name +
            "</title><style>body { margin: 0; padding: 16px; font: 15px/20px sans-serif }"
            " .screen { background-color: #000000; color: #FFFFFF; height: 180px;"
            " padding: 80px 16px 0 16px; text-align: center }</style></head><body>"
            "<div class=\"screen\">Video " +
            name + "</div><h1>Video " + name +
            "</h1><p>Bazaar deals: the video of this week's offers.</p></body></html>");
    }
};

}  // namespace

BN_SERVICES_MODULE("videosite", VideoSiteModule)

}  // namespace bnservices
