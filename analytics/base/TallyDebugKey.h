// How the vendor issues debug keys, shared with the stand-in analytics service that hands them
// out: the SHA-1 of the API key, this separator and the date as "MM-dd-yyyy", in lower-case hex.
#pragma once

namespace tally_debug_key {
// Nine characters joined between the API key and the date.
inline constexpr const char* kSeparator = "~nestkey~";
}  // namespace tally_debug_key
