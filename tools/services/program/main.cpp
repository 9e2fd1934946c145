// bazaarnest-services: the stand-in outside services on loopback, for people and for scripts/run.
#include <string>

#include "tools/services/MediationModule.h"
#include "tools/services/Services.h"
#include "tools/standin/Program.h"

namespace {

const std::string kUsage =
    std::string(
        "Usage: bazaarnest-services [--port N] [--certs DIR] [--no-tls] [--quiet]\n"
        "                           [--mediation-network NAME]\n"
        "  Serves the stand-in outside services (analytics, ad networks, mediation) on 127.0.0.1,\n"
        "  one port for every host and for http and https, until interrupted. On start it prints\n"
        "  the port, the modules and the environment the platform needs to reach them") +
    standin::kProgramBannerUsage + standin::kProgramArgumentsUsage +
    "  --mediation-network NAME\n"
    "               the app's mediation configuration uses one network only: house, iad,\n"
    "               pebble, meridian, ironvine or pebble-webapp (Pebble's slot whose ad opens\n"
    "               a web app) (default: house ads 60, iAd 40); Meridian's JSON slots alone:\n"
    "               meridian-image, meridian-video or meridian-video-ends (a video whose end\n"
    "               shows no page)\n"
    "\n"
    "  http://admin.services.test/ shows what each module received and sets faults.\n";

}  // namespace

int main(int argc, char** argv) {
    const char* name = "bazaarnest-services";
    standin::ProgramArguments arguments;
    std::string mediationNetwork = "all";
    auto own = [&](const std::string& argument, const std::function<const char*()>& value) {
        if (argument != "--mediation-network") return false;
        const char* v = value();
        mediationNetwork = v ? v : "";
        return true;
    };
    if (auto exit =
            standin::readProgramArguments(argc, argv, name, kUsage.c_str(), &arguments, own))
        return *exit;
    bnservices::ServicesOptions options;
    options.port = arguments.port;
    options.certificateFolder = arguments.certificateFolder;
    options.tls = arguments.tls;
    options.log = arguments.log();

    bnservices::Services services(options);
    return standin::serveUntilStopped(
        name,
        [&](std::string* error) {
            auto* mediation = services.module<bnservices::MediationModule>("mediation");
            if (mediation && !mediation->weightTo(mediationNetwork)) {
                if (error)
                    *error =
                        "--mediation-network takes house, iad, pebble, meridian, ironvine, "
                        "pebble-webapp, meridian-image, meridian-video or meridian-video-ends";
                return false;
            }
            return services.start(error);
        },
        [&] {
            std::string modules;
            for (const auto& module : services.moduleNames())
                modules += (modules.empty() ? "" : ", ") + module;
            std::string out = std::string(name) + ": serving " +
                              (services.offersTls() ? "http and https" : "http") +
                              " on 127.0.0.1:" + std::to_string(services.port()) +
                              " (modules: " + (modules.empty() ? "none" : modules) + ")\n" +
                              "BAZAARNEST_HOSTS=" + services.hostsOverride() + "\n";
            if (services.offersTls()) out += "BAZAARNEST_CA_FILE=" + services.caFile() + "\n";
            return out;
        },
        [&] { services.stop(); });
}
