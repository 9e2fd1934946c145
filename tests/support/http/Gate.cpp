#include <chrono>
#include <condition_variable>
#include <mutex>

#include "support/http/TestServer.h"

namespace testhttp {

struct Gate::State {
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    bool open = false;
    bool aborted = false;
    std::size_t permits = 0;
    std::size_t waiting = 0;
    std::size_t passed = 0;
};

Gate::Gate() : state_(std::make_unique<State>()) {}
Gate::~Gate() = default;

void Gate::open() {
    std::lock_guard lock(state_->mutex);
    state_->open = true;
    state_->changed.notify_all();
}

void Gate::close() {
    std::lock_guard lock(state_->mutex);
    state_->open = false;
}

void Gate::release(std::size_t count) {
    std::lock_guard lock(state_->mutex);
    state_->permits += count;
    state_->changed.notify_all();
}

std::size_t Gate::waiting() const {
    std::lock_guard lock(state_->mutex);
    return state_->waiting;
}

std::size_t Gate::passed() const {
    std::lock_guard lock(state_->mutex);
    return state_->passed;
}

bool Gate::waitUntilWaiting(std::size_t count, double realSeconds) const {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, std::chrono::duration<double>(realSeconds),
                                    [&] { return state_->waiting >= count; });
}

bool Gate::waitUntilPassed(std::size_t count, double realSeconds) const {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, std::chrono::duration<double>(realSeconds),
                                    [&] { return state_->passed >= count; });
}

bool Gate::pass() {
    std::unique_lock lock(state_->mutex);
    ++state_->waiting;
    state_->changed.notify_all();
    state_->changed.wait(lock,
                         [&] { return state_->aborted || state_->open || state_->permits > 0; });
    --state_->waiting;
    if (state_->aborted) {
        state_->changed.notify_all();
        return false;
    }
    if (!state_->open) --state_->permits;
    ++state_->passed;
    state_->changed.notify_all();
    return true;
}

void Gate::abort() {
    std::lock_guard lock(state_->mutex);
    state_->aborted = true;
    state_->changed.notify_all();
}

}  // namespace testhttp
