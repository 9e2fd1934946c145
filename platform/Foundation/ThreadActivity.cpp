#include "Foundation/ThreadActivity.h"

#include <atomic>
#include <mutex>
#include <set>

namespace thread_activity {
namespace {
std::atomic<int> gAtWork{0};
std::atomic<int> gHandedOff{0};
std::atomic<uint64_t> gEpoch{0};
thread_local int tDepth = 0;  // AtWork scopes open on this thread
thread_local int tWaits = 0;  // Waiting scopes open on this thread

// The wake times of the threads waiting with one; leaked so that threads still waiting at exit
// never find it destroyed.
struct Wakes {
    std::mutex lock;
    std::multiset<NSTimeInterval> times;
};
Wakes& wakes() {
    static Wakes* w = new Wakes;
    return *w;
}
}  // namespace

void touch() {
    gEpoch.fetch_add(1, std::memory_order_seq_cst);
}

uint64_t epoch() {
    return gEpoch.load(std::memory_order_seq_cst);
}

void handOff() {
    gHandedOff.fetch_add(1, std::memory_order_seq_cst);
    touch();
}

void takeOver() {
    touch();
    gHandedOff.fetch_sub(1, std::memory_order_seq_cst);
}

int atWork() {
    return gAtWork.load(std::memory_order_seq_cst) + gHandedOff.load(std::memory_order_seq_cst);
}

AtWork::AtWork() : counted_(tDepth++ == 0 && tWaits == 0) {
    if (counted_) {
        gAtWork.fetch_add(1, std::memory_order_seq_cst);
        touch();
    }
}

AtWork::~AtWork() {
    --tDepth;
    if (counted_) {
        touch();
        gAtWork.fetch_sub(1, std::memory_order_seq_cst);
    }
}

Waiting::Waiting(NSTimeInterval until) : counted_(tDepth > 0 && tWaits == 0), until_(until) {
    ++tWaits;
    if (!counted_) return;
    if (until_ != kNever) {
        std::lock_guard<std::mutex> g(wakes().lock);
        wakes().times.insert(until_);
    }
    touch();
    gAtWork.fetch_sub(1, std::memory_order_seq_cst);
}

Waiting::~Waiting() {
    --tWaits;
    if (!counted_) return;
    gAtWork.fetch_add(1, std::memory_order_seq_cst);
    touch();
    if (until_ != kNever) {
        std::lock_guard<std::mutex> g(wakes().lock);
        auto it = wakes().times.find(until_);
        if (it != wakes().times.end()) wakes().times.erase(it);
    }
}

NSTimeInterval earliestWake() {
    std::lock_guard<std::mutex> g(wakes().lock);
    return wakes().times.empty() ? kNever : *wakes().times.begin();
}

}  // namespace thread_activity
