#include "tools/standin/Program.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>

namespace standin {

namespace {

// Log lines and the banner never interleave.
std::mutex& outputLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

const char* const kProgramBannerUsage =
    ":\n"
    "    BAZAARNEST_HOSTS=...      the host override for every name it answers to\n"
    "    BAZAARNEST_CA_FILE=...    the test certificate authority to trust\n"
    "  then one line per request.\n"
    "\n";

const char* const kProgramArgumentsUsage =
    "  --port N     the port to listen on; 0 (the default) picks a free one\n"
    "  --certs DIR  the test authority's folder (ca.pem, server.pem, server-key.pem); made by\n"
    "               scripts/make-test-ca when missing. Default: the build's test-ca folder\n"
    "  --no-tls     plain http only\n"
    "  --quiet      no request log\n";

std::function<void(const std::string&)> ProgramArguments::log() const {
    if (quiet) return {};
    return [](const std::string& line) {
        std::lock_guard<std::mutex> g(outputLock());
        std::cout << line << std::endl;
    };
}

bool parseNumber(const char* text, unsigned long long* out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    *out = std::strtoull(text, &end, 10);
    return end && *end == '\0';
}

std::optional<int> readProgramArguments(int argc, char** argv, const char* name, const char* usage,
                                        ProgramArguments* out, const OwnArgument& own) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        unsigned long long n = 0;
        std::function<const char*()> value = [&]() -> const char* {
            return i + 1 < argc ? argv[++i] : nullptr;
        };
        if (arg == "-h" || arg == "--help") {
            std::cout << usage;
            return 0;
        } else if (own && own(arg, value)) {
            continue;
        } else if (arg == "--port" && parseNumber(value(), &n) && n <= 65535) {
            out->port = static_cast<int>(n);
        } else if (arg == "--certs") {
            const char* dir = value();
            if (!dir) {
                std::cerr << usage;
                return 2;
            }
            out->certificateFolder = dir;
        } else if (arg == "--no-tls") {
            out->tls = false;
        } else if (arg == "--quiet") {
            out->quiet = true;
        } else {
            std::cerr << name << ": bad argument " << arg << "\n" << usage;
            return 2;
        }
    }
    return std::nullopt;
}

int serveUntilStopped(const char* name, const std::function<bool(std::string* error)>& start,
                      const std::function<std::string()>& banner,
                      const std::function<void()>& stop) {
    // The server's threads inherit this mask, so the signals come to sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::string error;
    if (!start(&error)) {
        std::cerr << name << ": " << error << "\n";
        return 1;
    }
    {
        std::lock_guard<std::mutex> g(outputLock());
        std::cout << banner() << std::flush;
    }
    int received = 0;
    sigwait(&stopSignals, &received);
    stop();
    std::lock_guard<std::mutex> g(outputLock());
    std::cout << name << ": stopped (" << strsignal(received) << ")" << std::endl;
    return 0;
}

}  // namespace standin
