#include "support/services/RunningServices.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <mutex>

#include "support/HostsOverride.h"

namespace servicestest {

namespace {
std::mutex logLock;
std::deque<std::string> logLines;
}  // namespace

bnservices::Services& services() {
    static bnservices::Services* shared = [] {
        bnservices::ServicesOptions options;
        options.log = [](const std::string& line) {
            std::lock_guard<std::mutex> g(logLock);
            logLines.push_back(line);
            // A long run keeps only the recent lines.
            if (logLines.size() > 5000) logLines.pop_front();
        };
        auto* s = new bnservices::Services(options);
        std::string error;
        if (!s->start(&error)) ADD_FAILURE() << "the services server did not start: " << error;
        standintest::addHostsOverride(s->hostsOverride());
        if (!s->caFile().empty()) setenv("BAZAARNEST_CA_FILE", s->caFile().c_str(), 1);
        return s;
    }();
    return *shared;
}

std::vector<std::string> takeLog() {
    std::lock_guard<std::mutex> g(logLock);
    std::vector<std::string> out(logLines.begin(), logLines.end());
    logLines.clear();
    return out;
}

}  // namespace servicestest
