// Plain searches over UTF-16 units, eight units at a time where the processor allows: the
// inner loop of every literal search on page text (string search, splitting, the regular
// expression layer's literal prefixes).
#pragma once

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace bn {

// The first position in [from, end) holding `c`, or `end`.
inline size_t findUnit(const char16_t* s, size_t from, size_t end, char16_t c) {
    size_t i = from;
#if defined(__SSE2__)
    const __m128i needle = _mm_set1_epi16(static_cast<short>(c));
    for (; i + 8 <= end; i += 8) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(block, needle));
        if (mask) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
    }
#endif
    for (; i < end; ++i) {
        if (s[i] == c) return i;
    }
    return end;
}

// The first position in [from, end) holding one of the `n` units of `set` (1 <= n <= 4), or
// `end`.
inline size_t findAnyUnit(const char16_t* s, size_t from, size_t end, const char16_t* set,
                          size_t n) {
    size_t i = from;
#if defined(__SSE2__)
    __m128i wanted[4];
    for (size_t k = 0; k < 4; ++k)
        wanted[k] = _mm_set1_epi16(static_cast<short>(set[k < n ? k : 0]));
    for (; i + 8 <= end; i += 8) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        __m128i hit = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi16(block, wanted[0]), _mm_cmpeq_epi16(block, wanted[1])),
            _mm_or_si128(_mm_cmpeq_epi16(block, wanted[2]), _mm_cmpeq_epi16(block, wanted[3])));
        int mask = _mm_movemask_epi8(hit);
        if (mask) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
    }
#endif
    for (; i < end; ++i) {
        for (size_t k = 0; k < n; ++k) {
            if (s[i] == set[k]) return i;
        }
    }
    return end;
}

// The first position in [from, end) where all `n` units of `needle` stand (n >= 1), or `end`.
// Candidates are the places where the needle's first two units both stand, which on page text
// is rarely more than the real occurrences.
inline size_t findUnits(const char16_t* s, size_t from, size_t end, const char16_t* needle,
                        size_t n) {
    if (n == 0 || end < from || end - from < n) return end;
    if (n == 1) return findUnit(s, from, end, needle[0]);
    const size_t last = end - n;  // the last possible start
    size_t i = from;
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi16(static_cast<short>(needle[0]));
    const __m128i second = _mm_set1_epi16(static_cast<short>(needle[1]));
    // Both loads of a block stay inside [i, i + 9) <= [.., last + n) since n >= 2.
    for (; i + 8 <= last + 1; i += 8) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 1));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi16(a, first), _mm_cmpeq_epi16(b, second))));
        while (mask) {
            size_t at = i + static_cast<size_t>(__builtin_ctz(mask)) / 2;
            if (std::memcmp(s + at + 2, needle + 2, (n - 2) * sizeof(char16_t)) == 0) return at;
            mask &= mask - 1;
            mask &= mask - 1;  // each unit is two bits of the mask
        }
    }
#endif
    for (; i <= last; ++i) {
        if (s[i] == needle[0] && s[i + 1] == needle[1] &&
            std::memcmp(s + i + 2, needle + 2, (n - 2) * sizeof(char16_t)) == 0)
            return i;
    }
    return end;
}

}  // namespace bn
