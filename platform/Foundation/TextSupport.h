// Internal text helpers shared by the Foundation readers that build UTF-8 by hand.
#pragma once

#include <cstdint>
#include <string>

namespace text_detail {

// Appends the code point (at most U+10FFFF) to the UTF-8 text.
void appendUTF8(std::string& out, uint32_t cp);

}  // namespace text_detail
