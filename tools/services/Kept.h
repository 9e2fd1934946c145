// What a module keeps of what it received, for the admin host and tests: the most recent
// entries, at most so many and about so many bytes in all, the oldest dropped first. A hostile
// client can then fill it but never make the server grow without bound.
//
//   Kept<Ping> pings_;
//   pings_.push(ping, ping.target.size());
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace bnservices {

inline constexpr std::size_t kKeptEntries = 1000;
inline constexpr std::size_t kKeptBytes = 8 * 1024 * 1024;
// What is kept of one text a client sent (a target, a body): its first bytes.
inline constexpr std::size_t kKeptText = 64 * 1024;

// The first `keep` bytes of a text.
inline std::string clipped(std::string_view text, std::size_t keep = kKeptText) {
    return std::string(text.substr(0, keep));
}

template <class T>
class Kept {
public:
    explicit Kept(std::size_t entries = kKeptEntries, std::size_t bytes = kKeptBytes)
        : maxEntries_(entries), maxBytes_(bytes) {}

    // Keeps `entry`, counted as `bytes` (what it holds beyond its fixed size).
    void push(T entry, std::size_t bytes) {
        entries_.push_back(std::move(entry));
        sizes_.push_back(bytes);
        total_ += bytes;
        while (entries_.size() > 1 && (entries_.size() > maxEntries_ || total_ > maxBytes_)) {
            total_ -= sizes_.front();
            entries_.pop_front();
            sizes_.pop_front();
        }
    }
    void clear() {
        entries_.clear();
        sizes_.clear();
        total_ = 0;
    }

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    const T& operator[](std::size_t i) const { return entries_[i]; }
    const T& back() const { return entries_.back(); }
    auto begin() const { return entries_.begin(); }
    auto end() const { return entries_.end(); }
    std::vector<T> list() const { return {entries_.begin(), entries_.end()}; }
    // The bytes counted for what is kept now, and for entry `i`.
    std::size_t bytes() const { return total_; }
    std::size_t bytesAt(std::size_t i) const { return sizes_[i]; }

private:
    std::size_t maxEntries_;
    std::size_t maxBytes_;
    std::deque<T> entries_;
    std::deque<std::size_t> sizes_;
    std::size_t total_ = 0;
};

}  // namespace bnservices
