// Plain searches over UTF-16 units, many units at a time where the processor allows (eight with
// SSE2, sixteen with AVX2, thirty-two with AVX-512, the widest chosen on first use): the inner loop
// of every literal search on page text (string search, splitting, the regular-expression layer's
// literals).
#pragma once

#include <cstddef>

namespace bn {

// The first position in [from, end) holding `c`, or `end`.
size_t findUnit(const char16_t* s, size_t from, size_t end, char16_t c);

// The first position in [from, end) holding one of the `n` units of `set` (1 <= n <= 4), or
// `end`.
size_t findAnyUnit(const char16_t* s, size_t from, size_t end, const char16_t* set, size_t n);

// The first position in [from, end) where all `n` units of `needle` stand (n >= 1), or `end`.
// Candidates are the places where the needle's first two units both stand, which on page text
// is rarely more than the real occurrences.
size_t findUnits(const char16_t* s, size_t from, size_t end, const char16_t* needle, size_t n);

// The width in bits of the blocks the searches read (128, 256 or 512; 16 where they go unit by
// unit), and, for tests that check each width against the others, a limit to it (16 for unit by
// unit); the limit never widens beyond what the processor offers.
int unitSearchWidth();
void limitUnitSearchWidth(int bits);

}  // namespace bn
