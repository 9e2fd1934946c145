// Deterministic hashing and pseudo-random choices: every generated page is a function of the
// seed and of what the page shows, never of the order in which pages were asked for.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace bnsite {

inline std::uint64_t mix64(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

inline std::uint64_t hashText(std::string_view text, std::uint64_t seed = 0) {
    std::uint64_t h = 0xcbf29ce484222325ULL ^ seed;
    for (unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ULL;
    }
    return mix64(h);
}

inline std::uint64_t hashOf(std::initializer_list<std::uint64_t> parts) {
    std::uint64_t h = 0x6a09e667f3bcc909ULL;
    for (std::uint64_t p : parts)
        h = mix64(h ^ p);
    return h;
}

class Rng {
public:
    explicit Rng(std::uint64_t state) : state_(state) {}
    std::uint64_t next() {
        state_ += 0x9e3779b97f4a7c15ULL;
        return mix64(state_);
    }
    // 0 <= result < n (n > 0).
    std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }
    int between(int low, int high) { return low + static_cast<int>(below(high - low + 1)); }
    bool chance(int percent) { return below(100) < static_cast<std::uint32_t>(percent); }
    template <class T>
    const T& pick(const std::vector<T>& items) {
        return items[below(static_cast<std::uint32_t>(items.size()))];
    }
    template <class T, std::size_t N>
    const T& pick(const T (&items)[N]) {
        return items[below(static_cast<std::uint32_t>(N))];
    }

private:
    std::uint64_t state_;
};

// Letters and digits of a hash, `length` of them, from the alphabet.
inline std::string hashToken(std::uint64_t h, std::size_t length,
                             std::string_view alphabet = "abcdefghijklmnopqrstuvwxyz0123456789") {
    std::string out;
    Rng rng(h);
    for (std::size_t i = 0; i < length; ++i)
        out += alphabet[rng.below(static_cast<std::uint32_t>(alphabet.size()))];
    return out;
}

}  // namespace bnsite
