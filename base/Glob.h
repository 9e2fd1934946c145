// Host patterns: '*' stands for any run of characters (none included), everything else matches
// itself, letters in either case. Shared by the platform's host override and proxy exceptions and
// the stand-in servers' host routing and faults, so that both read a pattern the same way.
#pragma once

#include <string_view>

namespace base {

bool globMatchesIgnoringCase(std::string_view pattern, std::string_view text);

}  // namespace base
