#include "support/services/RunningServices.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/ProgramEnd.h"
#include "support/StandInTesting.h"

namespace servicestest {

namespace {
standintest::RequestLog requestLog;
}  // namespace

bnservices::Services& services() {
    static bnservices::Services* shared = [] {
        bnservices::ServicesOptions options;
        options.log = requestLog.writer();
        // Kept for the whole program, stopped at its end with its connection threads.
        auto* s = new bnservices::Services(options);
        testsupport::atProgramEnd([s] { delete s; });
        std::string error;
        if (!s->start(&error)) ADD_FAILURE() << "the services server did not start: " << error;
        standintest::addHostsOverride(s->hostsOverride());
        if (!s->caFile().empty()) setenv("BAZAARNEST_CA_FILE", s->caFile().c_str(), 1);
        return s;
    }();
    return *shared;
}

std::vector<std::string> takeLog() {
    return requestLog.take();
}

}  // namespace servicestest
