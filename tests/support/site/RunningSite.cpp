#include "support/site/RunningSite.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <mutex>

#include "support/HostsOverride.h"

namespace sitetest {

namespace {
std::mutex logLock;
std::deque<std::string> logLines;
}  // namespace

bnsite::Site& site() {
    static bnsite::Site* shared = [] {
        bnsite::SiteOptions options;
        options.log = [](const std::string& line) {
            std::lock_guard<std::mutex> g(logLock);
            logLines.push_back(line);
            // A long run keeps only the recent lines.
            if (logLines.size() > 5000) logLines.pop_front();
        };
        auto* s = new bnsite::Site(options);
        std::string error;
        if (!s->start(&error)) ADD_FAILURE() << "the site did not start: " << error;
        standintest::addHostsOverride(s->hostsOverride());
        setenv("BAZAARNEST_CA_FILE", s->caFile().c_str(), 1);
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

}  // namespace sitetest
