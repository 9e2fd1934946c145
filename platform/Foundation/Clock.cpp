#include "Foundation/Clock.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

#include "Foundation/NSException.h"

namespace {

struct Listener {
    uint64_t id;
    std::function<void()> fn;
    // Held while the listener runs, so that removal waits for a call in progress on another
    // thread. Recursive: a listener may change the time again, or remove itself.
    std::recursive_mutex running;
    bool removed = false;  // guarded by `running`
};

struct ClockState {
    std::atomic<bool> manual{false};
    std::atomic<double> manualNow{0};
    std::atomic<double> manualUptime{0};
    std::mutex writeLock;  // serialises changes of the manual time

    std::mutex listenersLock;
    std::vector<std::shared_ptr<Listener>> listeners;
    uint64_t nextId = 1;
};

ClockState& state() {
    // Never destroyed: threads may read the clock during shutdown.
    static ClockState* s = new ClockState();
    return *s;
}

NSTimeInterval realNow() {
    using namespace std::chrono;
    auto since1970 = duration<double>(system_clock::now().time_since_epoch()).count();
    return since1970 - NSTimeIntervalSince1970;
}

NSTimeInterval realUptime() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void notifyListeners() {
    ClockState& s = state();
    std::vector<std::shared_ptr<Listener>> copy;
    {
        std::lock_guard<std::mutex> lock(s.listenersLock);
        copy = s.listeners;
    }
    for (auto& l : copy) {
        std::lock_guard<std::recursive_mutex> running(l->running);
        if (!l->removed) l->fn();
    }
}

void requireManual(const char* what) {
    if (!state().manual.load(std::memory_order_acquire)) {
        NSException::raise(NSInternalInconsistencyException, NS("Clock::%s needs the manual clock"),
                           what);
    }
}

}  // namespace

NSTimeInterval Clock::now() {
    ClockState& s = state();
    if (s.manual.load(std::memory_order_acquire)) {
        return s.manualNow.load(std::memory_order_acquire);
    }
    return realNow();
}

NSTimeInterval Clock::uptime() {
    ClockState& s = state();
    if (s.manual.load(std::memory_order_acquire)) {
        return s.manualUptime.load(std::memory_order_acquire);
    }
    return realUptime();
}

bool Clock::isManual() {
    return state().manual.load(std::memory_order_acquire);
}

void Clock::useManual(NSTimeInterval start) {
    ClockState& s = state();
    {
        std::lock_guard<std::mutex> lock(s.writeLock);
        // Uptime carries on from the real one, so that it does not jump back at the switch.
        if (!s.manual.load(std::memory_order_relaxed)) {
            s.manualUptime.store(realUptime(), std::memory_order_release);
        }
        s.manualNow.store(start, std::memory_order_release);
        s.manual.store(true, std::memory_order_release);
    }
    notifyListeners();
}

void Clock::useReal() {
    ClockState& s = state();
    {
        std::lock_guard<std::mutex> lock(s.writeLock);
        if (!s.manual.load(std::memory_order_relaxed)) return;
        s.manual.store(false, std::memory_order_release);
    }
    notifyListeners();
}

void Clock::advance(NSTimeInterval seconds) {
    ClockState& s = state();
    {
        std::lock_guard<std::mutex> lock(s.writeLock);
        requireManual("advance");
        s.manualNow.store(s.manualNow.load(std::memory_order_relaxed) + seconds,
                          std::memory_order_release);
        if (seconds > 0) {
            s.manualUptime.store(s.manualUptime.load(std::memory_order_relaxed) + seconds,
                                 std::memory_order_release);
        }
    }
    notifyListeners();
}

void Clock::setNow(NSTimeInterval t) {
    ClockState& s = state();
    {
        std::lock_guard<std::mutex> lock(s.writeLock);
        requireManual("setNow");
        double delta = t - s.manualNow.load(std::memory_order_relaxed);
        s.manualNow.store(t, std::memory_order_release);
        if (delta > 0) {
            s.manualUptime.store(s.manualUptime.load(std::memory_order_relaxed) + delta,
                                 std::memory_order_release);
        }
    }
    notifyListeners();
}

uint64_t Clock::addListener(std::function<void()> fn) {
    ClockState& s = state();
    auto l = std::make_shared<Listener>();
    l->fn = std::move(fn);
    std::lock_guard<std::mutex> lock(s.listenersLock);
    l->id = s.nextId++;
    s.listeners.push_back(std::move(l));
    return s.listeners.back()->id;
}

void Clock::removeListener(uint64_t id) {
    ClockState& s = state();
    std::shared_ptr<Listener> found;
    {
        std::lock_guard<std::mutex> lock(s.listenersLock);
        for (auto it = s.listeners.begin(); it != s.listeners.end(); ++it) {
            if ((*it)->id == id) {
                found = *it;
                s.listeners.erase(it);
                break;
            }
        }
    }
    if (!found) return;
    // Waits for a call in progress elsewhere; from inside the listener itself it passes.
    std::lock_guard<std::recursive_mutex> running(found->running);
    found->removed = true;
}

ManualClockScope::ManualClockScope(NSTimeInterval start)
    : wasManual_(Clock::isManual()), previous_(Clock::now()) {
    Clock::useManual(start);
}

ManualClockScope::~ManualClockScope() {
    if (wasManual_) {
        Clock::useManual(previous_);
    } else {
        Clock::useReal();
    }
}

NSTimeInterval CFAbsoluteTimeGetCurrent() {
    return Clock::now();
}
