// bazaarnest-services: the stand-in outside services on loopback, for people and for scripts/run.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>

#include "tools/services/Services.h"

namespace {

const char* const kUsage =
    "Usage: bazaarnest-services [--port N] [--certs DIR] [--no-tls] [--quiet]\n"
    "  Serves the stand-in outside services (analytics, ad networks, mediation) on 127.0.0.1,\n"
    "  one port for every host and for http and https, until interrupted. On start it prints\n"
    "  the port, the modules and the environment the platform needs to reach them:\n"
    "    BAZAARNEST_HOSTS=...      the host override for every name the modules answer to\n"
    "    BAZAARNEST_CA_FILE=...    the test certificate authority to trust\n"
    "  then one line per request.\n"
    "\n"
    "  --port N     the port to listen on; 0 (the default) picks a free one\n"
    "  --certs DIR  the test authority's folder (ca.pem, server.pem, server-key.pem); made by\n"
    "               scripts/make-test-ca when missing. Default: the build's test-ca folder\n"
    "  --no-tls     plain http only\n"
    "  --quiet      no request log\n"
    "\n"
    "  http://admin.services.test/ shows what each module received and sets faults.\n";

bool parseNumber(const char* text, unsigned long long* out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    *out = std::strtoull(text, &end, 10);
    return end && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
    bnservices::ServicesOptions options;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        unsigned long long n = 0;
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--port" && parseNumber(value(), &n) && n <= 65535) {
            options.port = static_cast<int>(n);
        } else if (arg == "--certs") {
            const char* dir = value();
            if (!dir) {
                std::cerr << kUsage;
                return 2;
            }
            options.certificateFolder = dir;
        } else if (arg == "--no-tls") {
            options.tls = false;
        } else if (arg == "--quiet") {
            quiet = true;
        } else {
            std::cerr << "bazaarnest-services: bad argument " << arg << "\n" << kUsage;
            return 2;
        }
    }
    static std::mutex out;
    if (!quiet) {
        options.log = [](const std::string& line) {
            std::lock_guard<std::mutex> g(out);
            std::cout << line << std::endl;
        };
    }

    // The server's threads inherit this mask, so the signals come to sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    bnservices::Services services(options);
    std::string error;
    if (!services.start(&error)) {
        std::cerr << "bazaarnest-services: " << error << "\n";
        return 1;
    }
    {
        std::lock_guard<std::mutex> g(out);
        std::string modules;
        for (const auto& name : services.moduleNames())
            modules += (modules.empty() ? "" : ", ") + name;
        std::cout << "bazaarnest-services: serving "
                  << (services.offersTls() ? "http and https" : "http")
                  << " on 127.0.0.1:" << services.port()
                  << " (modules: " << (modules.empty() ? "none" : modules) << ")\n"
                  << "BAZAARNEST_HOSTS=" << services.hostsOverride() << "\n";
        if (services.offersTls()) std::cout << "BAZAARNEST_CA_FILE=" << services.caFile() << "\n";
        std::cout << std::flush;
    }
    int received = 0;
    sigwait(&stopSignals, &received);
    services.stop();
    std::lock_guard<std::mutex> g(out);
    std::cout << "bazaarnest-services: stopped (" << strsignal(received) << ")" << std::endl;
    return 0;
}
