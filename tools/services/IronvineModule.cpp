// The Ironvine ad server: GET http://ads.ironvine.test/AdBridgeServer/files/<name> answers the
// files and /AdBridgeServer/bundles/<name>.zip the zip bundles of IronvineBundles.h; anything
// else is 404. Faults per host and path and the list of requests come from the server itself.
#include "ads/ironvine/IVHosts.h"
#include "tools/services/IronvineBundles.h"
#include "tools/services/Module.h"

namespace bnservices {

class IronvineModule : public Module {
public:
    std::vector<std::string> hosts() const override { return {IVAdServerHost}; }

    HttpResponse handle(const HttpRequest& request) override {
        const std::string files = "/AdBridgeServer/files/";
        const std::string bundles = "/AdBridgeServer/bundles/";
        std::string path = percentDecode(request.path, false);
        if (request.method != "GET") return HttpResponse::plain("Not Found\n", 404);
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
};

BN_SERVICES_MODULE("ironvine", IronvineModule)

}  // namespace bnservices
