#include "Foundation/UnitSearch.h"

#include <algorithm>
#include <atomic>

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

// 512-bit blocks of 32 units, compared into masks of one bit per unit; the last partial block is
// read with a masked load, which touches no unit outside the search.
__attribute__((target("avx512f,avx512bw"))) inline __mmask32 anyOf512(__m512i block,
                                                                      const __m512i* wanted) {
    return _mm512_cmpeq_epi16_mask(block, wanted[0]) | _mm512_cmpeq_epi16_mask(block, wanted[1]) |
           _mm512_cmpeq_epi16_mask(block, wanted[2]) | _mm512_cmpeq_epi16_mask(block, wanted[3]);
}

// The first `count` (< 32) units.
inline __mmask32 firstUnits(size_t count) {
    return static_cast<__mmask32>((1u << count) - 1);
}

__attribute__((target("avx512f,avx512bw"))) size_t findAnyUnitAVX512(const char16_t* s, size_t i,
                                                                     size_t end,
                                                                     const char16_t* set,
                                                                     size_t n) {
    __m512i wanted[4];
    for (size_t k = 0; k < 4; ++k)
        wanted[k] = _mm512_set1_epi16(static_cast<short>(set[k < n ? k : 0]));
    for (; i + 32 <= end; i += 32) {
        if (__mmask32 hit = anyOf512(_mm512_loadu_si512(s + i), wanted))
            return i + static_cast<size_t>(__builtin_ctz(hit));
    }
    if (i >= end) return end;
    const __mmask32 valid = firstUnits(end - i);
    __mmask32 hit = anyOf512(_mm512_maskz_loadu_epi16(valid, s + i), wanted) & valid;
    return hit ? i + static_cast<size_t>(__builtin_ctz(hit)) : end;
}

__attribute__((target("avx512f,avx512bw"))) size_t findUnitAVX512(const char16_t* s, size_t i,
                                                                  size_t end, char16_t c) {
    const __m512i needle = _mm512_set1_epi16(static_cast<short>(c));
    for (; i + 32 <= end; i += 32) {
        if (__mmask32 hit = _mm512_cmpeq_epi16_mask(_mm512_loadu_si512(s + i), needle))
            return i + static_cast<size_t>(__builtin_ctz(hit));
    }
    if (i >= end) return end;
    const __mmask32 valid = firstUnits(end - i);
    __mmask32 hit =
        _mm512_mask_cmpeq_epi16_mask(valid, _mm512_maskz_loadu_epi16(valid, s + i), needle);
    return hit ? i + static_cast<size_t>(__builtin_ctz(hit)) : end;
}

// n >= 2, as findUnitsAVX2: candidates are the starts where the first two units stand.
__attribute__((target("avx512f,avx512bw"))) size_t findUnitsAVX512(const char16_t* s, size_t i,
                                                                   size_t end,
                                                                   const char16_t* needle,
                                                                   size_t n) {
    const __m512i first = _mm512_set1_epi16(static_cast<short>(needle[0]));
    const __m512i second = _mm512_set1_epi16(static_cast<short>(needle[1]));
    auto whole = [&](size_t base, __mmask32 hit) {
        for (; hit; hit &= hit - 1) {
            size_t at = base + static_cast<size_t>(__builtin_ctz(hit));
            if (restMatches(s + at, needle, n)) return at;
        }
        return kNone;
    };
    for (; i + 31 + n <= end; i += 32) {
        __mmask32 hit = _mm512_cmpeq_epi16_mask(_mm512_loadu_si512(s + i), first) &
                        _mm512_cmpeq_epi16_mask(_mm512_loadu_si512(s + i + 1), second);
        if (size_t at = whole(i, hit); at != kNone) return at;
    }
    if (i + n > end) return end;
    // The starts left all have room for the needle; each load reads only their units.
    const __mmask32 valid = firstUnits(end - n + 1 - i);
    __mmask32 hit =
        _mm512_mask_cmpeq_epi16_mask(valid, _mm512_maskz_loadu_epi16(valid, s + i), first) &
        _mm512_mask_cmpeq_epi16_mask(valid, _mm512_maskz_loadu_epi16(valid, s + i + 1), second);
    size_t at = whole(i, hit);
    return at != kNone ? at : end;
}

// The widest blocks the processor offers, unless a test has narrowed them; -1 until first use.
std::atomic<int> searchWidth{-1};

__attribute__((noinline, cold)) int detectWidth() {
    __builtin_cpu_init();
    const int width = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512f") ? 512
                      : __builtin_cpu_supports("avx2")                                        ? 256
                                                                                              : 128;
    searchWidth.store(width, std::memory_order_relaxed);
    return width;
}

inline int widthInUse() {
    const int width = searchWidth.load(std::memory_order_relaxed);
    return width >= 0 ? width : detectWidth();
}

// Returns what the variant of the search for the width in use answers.
#define BN_WIDEST(name, ...)                  \
    switch (widthInUse()) {                   \
        case 512:                             \
            return name##AVX512(__VA_ARGS__); \
        case 256:                             \
            return name##AVX2(__VA_ARGS__);   \
        case 128:                             \
            return name##SSE2(__VA_ARGS__);   \
        default:                              \
            return name##From(__VA_ARGS__);   \
    }

#else
#define BN_WIDEST(name, ...) return name##From(__VA_ARGS__)
#endif

}  // namespace

int unitSearchWidth() {
#if defined(BN_UNIT_SEARCH_X86)
    return widthInUse();
#else
    return 16;
#endif
}

void limitUnitSearchWidth(int bits) {
#if defined(BN_UNIT_SEARCH_X86)
    searchWidth.store(std::min(bits, detectWidth()), std::memory_order_relaxed);
#else
    (void)bits;
#endif
}

size_t findUnit(const char16_t* s, size_t from, size_t end, char16_t c) {
    BN_WIDEST(findUnit, s, from, end, c);
}

size_t findAnyUnit(const char16_t* s, size_t from, size_t end, const char16_t* set, size_t n) {
    BN_WIDEST(findAnyUnit, s, from, end, set, n);
}

size_t findUnits(const char16_t* s, size_t from, size_t end, const char16_t* needle, size_t n) {
    if (n == 0 || end < from || end - from < n) return end;
    if (n == 1) return findUnit(s, from, end, needle[0]);
    BN_WIDEST(findUnits, s, from, end, needle, n);
}

}  // namespace bn
