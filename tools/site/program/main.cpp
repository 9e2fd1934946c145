// bazaarnest-site: the stand-in classifieds site on loopback, for people and for scripts/run.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>

#include "tools/site/Site.h"

namespace {

const char* const kUsage =
    "Usage: bazaarnest-site [--port N] [--seed N] [--certs DIR] [--no-tls] [--quiet]\n"
    "  Serves the stand-in classifieds site, the captcha service and the page simplifier on\n"
    "  127.0.0.1, one port for http and https, until interrupted. On start it prints the port\n"
    "  and the environment the platform needs to reach it:\n"
    "    BAZAARNEST_HOSTS=...      the host override for every name the site answers to\n"
    "    BAZAARNEST_CA_FILE=...    the test certificate authority to trust\n"
    "  then one line per request.\n"
    "\n"
    "  --port N     the port to listen on; 0 (the default) picks a free one\n"
    "  --seed N     the content seed (default 20120301): the same seed gives the same pages\n"
    "  --certs DIR  the test authority's folder (ca.pem, server.pem, server-key.pem); made by\n"
    "               scripts/make-test-ca when missing. Default: the build's test-ca folder\n"
    "  --no-tls     plain http only\n"
    "  --quiet      no request log\n"
    "\n"
    "  Names: www.bazaarnest.test (location index /about/sites), <city>.bazaarnest.test,\n"
    "  accounts.bazaarnest.test and post.bazaarnest.test (https), images.bazaarnest.test,\n"
    "  verify.captchaservice.test, mobilize.pagesimplifier.test, and admin.bazaarnest.test\n"
    "  (faults, captcha answers, sent mails: see http://admin.bazaarnest.test/).\n"
    "  Test accounts: tester@example.test, verified@example.test (phone verified) and\n"
    "  captcha@example.test (always asks a captcha), each with the password \"secret\".\n";

bool parseNumber(const char* text, unsigned long long* out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    *out = std::strtoull(text, &end, 10);
    return end && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
    bnsite::SiteOptions options;
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
        } else if (arg == "--seed" && parseNumber(value(), &n)) {
            options.seed = n;
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
            std::cerr << "bazaarnest-site: bad argument " << arg << "\n" << kUsage;
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

    bnsite::Site site(options);
    std::string error;
    if (!site.start(&error)) {
        std::cerr << "bazaarnest-site: " << error << "\n";
        return 1;
    }
    {
        std::lock_guard<std::mutex> g(out);
        std::cout << "bazaarnest-site: serving " << (site.offersTls() ? "http and https" : "http")
                  << " on 127.0.0.1:" << site.port() << " (seed " << site.seed() << ")\n"
                  << "BAZAARNEST_HOSTS=" << site.hostsOverride() << "\n";
        if (site.offersTls()) std::cout << "BAZAARNEST_CA_FILE=" << site.caFile() << "\n";
        std::cout << std::flush;
    }
    int received = 0;
    sigwait(&stopSignals, &received);
    site.stop();
    std::lock_guard<std::mutex> g(out);
    std::cout << "bazaarnest-site: stopped (" << strsignal(received) << ")" << std::endl;
    return 0;
}
