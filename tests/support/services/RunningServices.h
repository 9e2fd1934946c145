// The stand-in services server for tests that talk to it over real HTTP: one per test program,
// started on first use on a free loopback port, with its names added to the host override the
// way scripts/run does (beside the site's, when the program runs the site too).
#pragma once

#include <string>
#include <vector>

#include "tools/services/Services.h"

namespace servicestest {

// The program's services server, started on first use. Tests that add faults or state clear
// them (reset(), clearFaults()).
bnservices::Services& services();
// The request log lines it wrote so far (and forgets them).
std::vector<std::string> takeLog();

}  // namespace servicestest
