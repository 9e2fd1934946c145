// The stand-in site for tests that talk to it over real HTTP: one site per test program, started
// on first use on a free loopback port, with its names added to the host override and the test
// authority put in the environment the way scripts/run does, so that the request engine reaches it
// by the site's names.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/site/Site.h"

namespace sitetest {

// The program's site, started on first use. Tests that add faults or state clear them.
bnsite::Site& site();
// The request log lines the site wrote so far (and forgets them).
std::vector<std::string> takeLog();
// How many requests have reached the site so far, each counted before it is answered.
std::size_t requestsReceived();

}  // namespace sitetest
