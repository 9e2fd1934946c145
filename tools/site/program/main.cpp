// bazaarnest-site: the stand-in classifieds site on loopback, for people and for scripts/run.
#include <cstdint>
#include <ctime>
#include <functional>
#include <random>
#include <string>

#include "tools/site/Site.h"
#include "tools/standin/Program.h"

namespace {

const std::string kUsage =
    std::string(
        "Usage: bazaarnest-site [--port N] [--seed N] [--fixed-dates] [--fixed-tokens]\n"
        "                       [--certs DIR] [--no-tls] [--quiet]\n"
        "  Serves the stand-in classifieds site, the captcha service and the page simplifier on\n"
        "  127.0.0.1, one port for http and https, until interrupted. On start it prints the port\n"
        "  and the environment the platform needs to reach it") +
    standin::kProgramBannerUsage +
    "  --seed N     the content seed (default 20120301): the same seed gives the same pages\n" +
    "  --fixed-dates\n"
    "               date the listings before 2012-03-01 12:00:00 UTC, the start of a scripted\n"
    "               run's clock (default: before the moment the site starts, as a live site's\n"
    "               read on today's clock)\n"
    "  --fixed-tokens\n"
    "               make cookies, posting signatures, publish links and captcha challenges\n"
    "               from the seed alone, the same in every run, as a scripted run needs\n"
    "               (default: mixed with a value drawn at start, so that one run's cookies\n"
    "               open nothing in another)\n" +
    standin::kProgramArgumentsUsage +
    "\n"
    "  Names: www.bazaarnest.test (location index /about/sites), <city>.bazaarnest.test,\n"
    "  accounts.bazaarnest.test and post.bazaarnest.test (https), images.bazaarnest.test,\n"
    "  verify.captchaservice.test, mobilize.pagesimplifier.test, and admin.bazaarnest.test\n"
    "  (faults, captcha answers, sent mails: see http://admin.bazaarnest.test/).\n"
    "  Test accounts: tester@example.test, verified@example.test (phone verified) and\n"
    "  captcha@example.test (always asks a captcha), each with the password \"secret\".\n";

}  // namespace

int main(int argc, char** argv) {
    const char* name = "bazaarnest-site";
    standin::ProgramArguments arguments;
    bnsite::SiteOptions options;
    // A person's run: ages read against today's clock, tokens of this run only.
    options.contentEpochUnix = static_cast<std::int64_t>(std::time(nullptr));
    std::random_device entropy;
    while (options.tokenSalt == 0)
        options.tokenSalt = (std::uint64_t{entropy()} << 32) ^ entropy();
    auto own = [&](const std::string& arg, const std::function<const char*()>& value) {
        if (arg == "--fixed-dates") {
            options.contentEpochUnix = bnsite::kContentEpochUnix;
            return true;
        }
        if (arg == "--fixed-tokens") {
            options.tokenSalt = 0;
            return true;
        }
        unsigned long long n = 0;
        if (arg != "--seed" || !standin::parseNumber(value(), &n)) return false;
        options.seed = n;
        return true;
    };
    if (auto exit =
            standin::readProgramArguments(argc, argv, name, kUsage.c_str(), &arguments, own))
        return *exit;
    options.port = arguments.port;
    options.certificateFolder = arguments.certificateFolder;
    options.tls = arguments.tls;
    options.log = arguments.log();

    bnsite::Site site(options);
    return standin::serveUntilStopped(
        name, [&](std::string* error) { return site.start(error); },
        [&] {
            std::string out = std::string(name) + ": serving " +
                              (site.offersTls() ? "http and https" : "http") +
                              " on 127.0.0.1:" + std::to_string(site.port()) + " (seed " +
                              std::to_string(site.seed()) + ")\n" +
                              "BAZAARNEST_HOSTS=" + site.hostsOverride() + "\n";
            if (site.offersTls()) out += "BAZAARNEST_CA_FILE=" + site.caFile() + "\n";
            return out;
        },
        [&] { site.stop(); });
}
