#include "Foundation/UnitSearch.h"


#if defined(__x86_64__)
#include <immintrin.h>
#define BN_UNIT_SEARCH_X86 1
#endif

namespace bn {

namespace {

// The scalar tails, for what is left after the wide blocks.
size_t findUnitFrom(const char16_t* s, size_t i, size_t end, char16_t c) {
    for (; i < end; ++i) {
        if (s[i] == c) return i;
    }
    return end;
}

size_t findAnyUnitFrom(const char16_t* s, size_t i, size_t end, const char16_t* set, size_t n) {
    for (; i < end; ++i) {
        for (size_t k = 0; k < n; ++k) {
            if (s[i] == set[k]) return i;
        }
    }
    return end;
}

// Compared in line: needles are short, and a call would make the wide loops around it keep
// their registers on the stack.
inline bool restMatches(const char16_t* at, const char16_t* needle, size_t n) {
    for (size_t k = 2; k < n; ++k) {
        if (at[k] != needle[k]) return false;
    }
    return true;
}

size_t findUnitsFrom(const char16_t* s, size_t i, size_t end, const char16_t* needle, size_t n) {
    for (; i + n <= end; ++i) {
        if (s[i] == needle[0] && s[i + 1] == needle[1] && restMatches(s + i, needle, n)) return i;
    }
    return end;
}

// Each unit is two bits of a byte mask: the position of the lowest set bit, in units.
inline size_t lowestUnit(unsigned mask) {
    return static_cast<size_t>(__builtin_ctz(mask)) / 2;
}

#if defined(BN_UNIT_SEARCH_X86)

constexpr size_t kNone = ~size_t{0};

// The answer of a wide search's last block, the 16 units that end at `end` (i > end - 16): they
// overlap what was read already, so the units before i are masked off. Short searches, the
// common case, take this one block and no unit-by-unit tail.
inline size_t inLastBlock(unsigned mask, size_t i, size_t end) {
    const size_t base = end - 16;
    mask &= ~0u << ((i - base) * 2);
    return mask ? base + lowestUnit(mask) : end;
}

// The first candidate of a block (`mask`: two bits per start from `base` whose first two units
// match) where the whole needle stands, or kNone.
inline size_t firstWhole(const char16_t* s, size_t base, unsigned mask, const char16_t* needle,
                         size_t n) {
    while (mask) {
        size_t at = base + lowestUnit(mask);
        if (restMatches(s + at, needle, n)) return at;
        mask &= mask - 1;
        mask &= mask - 1;
    }
    return kNone;
}

size_t findUnitSSE2(const char16_t* s, size_t i, size_t end, char16_t c) {
    const __m128i needle = _mm_set1_epi16(static_cast<short>(c));
    for (; i + 8 <= end; i += 8) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(block, needle)));
        if (mask) return i + lowestUnit(mask);
    }
    return findUnitFrom(s, i, end, c);
}

__attribute__((target("avx2"))) size_t findUnitAVX2(const char16_t* s, size_t i, size_t end,
                                                    char16_t c) {
    const __m256i needle = _mm256_set1_epi16(static_cast<short>(c));
    for (; i + 16 <= end; i += 16) {
        __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        auto mask = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi16(block, needle)));
        if (mask) return i + lowestUnit(mask);
    }
    if (i >= end) return end;
    if (end >= 16) {
        __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + end - 16));
        return inLastBlock(
            static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi16(block, needle))), i, end);
    }
    return findUnitSSE2(s, i, end, c);
}

size_t findAnyUnitSSE2(const char16_t* s, size_t i, size_t end, const char16_t* set, size_t n) {
    __m128i wanted[4];
    for (size_t k = 0; k < 4; ++k)
        wanted[k] = _mm_set1_epi16(static_cast<short>(set[k < n ? k : 0]));
    for (; i + 8 <= end; i += 8) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        __m128i hit = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi16(block, wanted[0]), _mm_cmpeq_epi16(block, wanted[1])),
            _mm_or_si128(_mm_cmpeq_epi16(block, wanted[2]), _mm_cmpeq_epi16(block, wanted[3])));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask) return i + lowestUnit(mask);
    }
    return findAnyUnitFrom(s, i, end, set, n);
}

// The lanes of the block that hold one of the four wanted units.
__attribute__((target("avx2"))) inline __m256i anyOf(__m256i block, const __m256i* wanted) {
    return _mm256_or_si256(
        _mm256_or_si256(_mm256_cmpeq_epi16(block, wanted[0]), _mm256_cmpeq_epi16(block, wanted[1])),
        _mm256_or_si256(_mm256_cmpeq_epi16(block, wanted[2]),
                        _mm256_cmpeq_epi16(block, wanted[3])));
}

__attribute__((target("avx2"))) size_t findAnyUnitAVX2(const char16_t* s, size_t i, size_t end,
                                                       const char16_t* set, size_t n) {
    __m256i wanted[4];
    for (size_t k = 0; k < 4; ++k)
        wanted[k] = _mm256_set1_epi16(static_cast<short>(set[k < n ? k : 0]));
    for (; i + 16 <= end; i += 16) {
        __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        auto mask = static_cast<unsigned>(_mm256_movemask_epi8(anyOf(block, wanted)));
        if (mask) return i + lowestUnit(mask);
    }
    if (i >= end) return end;
    if (end >= 16) {
        __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + end - 16));
        return inLastBlock(static_cast<unsigned>(_mm256_movemask_epi8(anyOf(block, wanted))), i,
                           end);
    }
    return findAnyUnitSSE2(s, i, end, set, n);
}

// n >= 2. A block's two loads reach at most one unit past its last candidate start, and every
// candidate start leaves room for the whole needle.
size_t findUnitsSSE2(const char16_t* s, size_t i, size_t end, const char16_t* needle, size_t n) {
    const __m128i first = _mm_set1_epi16(static_cast<short>(needle[0]));
    const __m128i second = _mm_set1_epi16(static_cast<short>(needle[1]));
    for (; i + 7 + n <= end; i += 8) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 1));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi16(a, first), _mm_cmpeq_epi16(b, second))));
        if (size_t at = firstWhole(s, i, mask, needle, n); at != kNone) return at;
    }
    return findUnitsFrom(s, i, end, needle, n);
}

__attribute__((target("avx2"))) size_t findUnitsAVX2(const char16_t* s, size_t i, size_t end,
                                                     const char16_t* needle, size_t n) {
    const __m256i first = _mm256_set1_epi16(static_cast<short>(needle[0]));
    const __m256i second = _mm256_set1_epi16(static_cast<short>(needle[1]));
    for (; i + 15 + n <= end; i += 16) {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 1));
        auto mask = static_cast<unsigned>(_mm256_movemask_epi8(
            _mm256_and_si256(_mm256_cmpeq_epi16(a, first), _mm256_cmpeq_epi16(b, second))));
        if (size_t at = firstWhole(s, i, mask, needle, n); at != kNone) return at;
    }
    if (i + n > end) return end;
    if (end >= 15 + n) {
        // One last block whose candidates end at the last start with room for the needle; the
        // starts before i are masked off.
        const size_t base = end - n - 15;
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + base));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + base + 1));
        auto mask = static_cast<unsigned>(_mm256_movemask_epi8(
            _mm256_and_si256(_mm256_cmpeq_epi16(a, first), _mm256_cmpeq_epi16(b, second))));
        mask &= ~0u << ((i - base) * 2);
        size_t at = firstWhole(s, base, mask, needle, n);
        return at != kNone ? at : end;
    }
    return findUnitsSSE2(s, i, end, needle, n);
}

bool hasAVX2() {
    static const bool avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return avx2;
}

#endif

}  // namespace

size_t findUnit(const char16_t* s, size_t from, size_t end, char16_t c) {
#if defined(BN_UNIT_SEARCH_X86)
    return hasAVX2() ? findUnitAVX2(s, from, end, c) : findUnitSSE2(s, from, end, c);
#else
    return findUnitFrom(s, from, end, c);
#endif
}

size_t findAnyUnit(const char16_t* s, size_t from, size_t end, const char16_t* set, size_t n) {
#if defined(BN_UNIT_SEARCH_X86)
    return hasAVX2() ? findAnyUnitAVX2(s, from, end, set, n)
                     : findAnyUnitSSE2(s, from, end, set, n);
#else
    return findAnyUnitFrom(s, from, end, set, n);
#endif
}

size_t findUnits(const char16_t* s, size_t from, size_t end, const char16_t* needle, size_t n) {
    if (n == 0 || end < from || end - from < n) return end;
    if (n == 1) return findUnit(s, from, end, needle[0]);
#if defined(BN_UNIT_SEARCH_X86)
    return hasAVX2() ? findUnitsAVX2(s, from, end, needle, n)
                     : findUnitsSSE2(s, from, end, needle, n);
#else
    return findUnitsFrom(s, from, end, needle, n);
#endif
}

}  // namespace bn
