#include "support/site/RunningSite.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "support/ProgramEnd.h"
#include "support/StandInTesting.h"

namespace sitetest {

namespace {
standintest::RequestLog requestLog;
std::atomic<std::size_t> received{0};
}  // namespace

bnsite::Site& site() {
    static bnsite::Site* shared = [] {
        bnsite::SiteOptions options;
        options.log = requestLog.writer();
        options.received = [](const bnsite::HttpRequest&) { ++received; };
        // Kept for the whole program, stopped at its end with its connection threads.
        auto* s = new bnsite::Site(options);
        testsupport::atProgramEnd([s] { delete s; });
        std::string error;
        if (!s->start(&error)) ADD_FAILURE() << "the site did not start: " << error;
        standintest::addHostsOverride(s->hostsOverride());
        setenv("BAZAARNEST_CA_FILE", s->caFile().c_str(), 1);
        return s;
    }();
    return *shared;
}

std::vector<std::string> takeLog() {
    return requestLog.take();
}

std::size_t requestsReceived() {
    return received;
}

}  // namespace sitetest
