// The host override (BAZAARNEST_HOSTS) shared by the stand-in servers a test program starts: each
// adds its own entries, so that the site and the services server can run side by side.
#pragma once

#include <string>

namespace standintest {

// Puts "pattern=address,..." entries before those already in BAZAARNEST_HOSTS, replacing any
// entry for the same pattern (the first entry that matches a name wins).
void addHostsOverride(const std::string& entries);

}  // namespace standintest
