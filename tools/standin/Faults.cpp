#include "tools/standin/Faults.h"

#include "base/Glob.h"

#include <chrono>

namespace standin {

// ---- gates ------------------------------------------------------------------------------------

void Gate::open() {
    std::unique_lock<std::mutex> g(lock_);
    open_ = true;
    wake(g);
}

void Gate::close() {
    std::lock_guard<std::mutex> g(lock_);
    open_ = false;
}

void Gate::release(std::size_t count) {
    std::unique_lock<std::mutex> g(lock_);
    credits_ += count;
    wake(g);
}

bool Gate::isOpen() const {
    std::lock_guard<std::mutex> g(lock_);
    return open_;
}

std::size_t Gate::waiting() const {
    std::lock_guard<std::mutex> g(lock_);
    return waiting_;
}

std::size_t Gate::passed() const {
    std::lock_guard<std::mutex> g(lock_);
    return passed_;
}

bool Gate::waitUntilWaiting(std::size_t count, double realSeconds) const {
    std::unique_lock<std::mutex> g(lock_);
    return changed_.wait_for(g, std::chrono::duration<double>(realSeconds),
                             [&] { return waiting_ >= count; });
}

bool Gate::waitUntilPassed(std::size_t count, double realSeconds) const {
    std::unique_lock<std::mutex> g(lock_);
    return changed_.wait_for(g, std::chrono::duration<double>(realSeconds),
                             [&] { return passed_ >= count; });
}

bool Gate::pass(std::stop_token stop) {
    std::unique_lock<std::mutex> g(lock_);
    ++waiting_;
    changed_.notify_all();
    changed_.wait(g, stop, [&] { return open_ || aborted_ || credits_ > 0; });
    --waiting_;
    if (aborted_ || stop.stop_requested()) {
        changed_.notify_all();
        return false;
    }
    if (!open_) --credits_;
    ++passed_;
    changed_.notify_all();
    return true;
}

void Gate::enter() {
    std::lock_guard<std::mutex> g(lock_);
    ++waiting_;
    changed_.notify_all();
}

bool Gate::tryPass() {
    std::lock_guard<std::mutex> g(lock_);
    if (aborted_ || (!open_ && credits_ == 0)) return false;
    if (!open_) --credits_;
    --waiting_;
    ++passed_;
    changed_.notify_all();
    return true;
}

void Gate::leave() {
    std::lock_guard<std::mutex> g(lock_);
    --waiting_;
    changed_.notify_all();
}

void Gate::notify(const std::shared_ptr<std::function<void()>>& changed) {
    std::lock_guard<std::mutex> g(lock_);
    std::erase_if(listeners_, [](const auto& l) { return l.expired(); });
    for (const auto& l : listeners_) {
        if (!l.owner_before(changed) && !changed.owner_before(l)) return;  // told already
    }
    listeners_.push_back(changed);
}

// Wakes the blocked waits, then (unlocked, so that a listener may look at the gate) the
// listeners.
void Gate::wake(std::unique_lock<std::mutex>& held) {
    changed_.notify_all();
    std::vector<std::shared_ptr<std::function<void()>>> live;
    for (const auto& l : listeners_) {
        if (auto f = l.lock()) live.push_back(std::move(f));
    }
    held.unlock();
    for (const auto& f : live)
        (*f)();
}

void Gate::abort() {
    std::unique_lock<std::mutex> g(lock_);
    aborted_ = true;
    wake(g);
}

void Gate::revive() {
    std::lock_guard<std::mutex> g(lock_);
    aborted_ = false;
}

// ---- faults -----------------------------------------------------------------------------------

bool globMatches(std::string_view pattern, std::string_view text) {
    return base::globMatchesIgnoringCase(pattern, text);
}

std::string Fault::describe() const {
    std::string out = (host.empty() ? "*" : host) + path + ":";
    if (!gate.empty()) out += " gate=" + gate;
    if (delaySeconds > 0) out += " delay=" + std::to_string(delaySeconds) + "s";
    if (status) out += " status=" + std::to_string(status);
    switch (delivery) {
        case Delivery::Normal:
            break;
        case Delivery::Truncate:
            out += " truncate=" + std::to_string(truncateAt);
            break;
        case Delivery::Drop:
            out += " drop";
            break;
        case Delivery::Reset:
            out += " reset";
            break;
    }
    if (remaining >= 0) out += " remaining=" + std::to_string(remaining);
    return out;
}

void FaultTable::add(Fault fault) {
    if (fault.path.empty()) fault.path = "/";
    std::lock_guard<std::mutex> g(lock_);
    faults_.push_back(std::move(fault));
}

void FaultTable::clear() {
    std::lock_guard<std::mutex> g(lock_);
    faults_.clear();
}

std::vector<Fault> FaultTable::list() const {
    std::lock_guard<std::mutex> g(lock_);
    return faults_;
}

std::optional<Fault> FaultTable::take(std::string_view host, std::string_view path) {
    std::lock_guard<std::mutex> g(lock_);
    for (auto it = faults_.rbegin(); it != faults_.rend(); ++it) {
        bool hostMatches = it->host.empty() || globMatches(it->host, host);
        if (!hostMatches || path.substr(0, it->path.size()) != it->path) continue;
        Fault found = *it;
        if (it->remaining > 0 && --it->remaining == 0) faults_.erase(std::next(it).base());
        return found;
    }
    return std::nullopt;
}

std::shared_ptr<Gate> FaultTable::gate(const std::string& name) {
    std::lock_guard<std::mutex> g(lock_);
    auto& slot = gates_[name];
    if (!slot) slot = std::make_shared<Gate>();
    return slot;
}

bool FaultTable::hasGate(const std::string& name) const {
    std::lock_guard<std::mutex> g(lock_);
    return gates_.count(name) != 0;
}

std::size_t FaultTable::gateCount() const {
    std::lock_guard<std::mutex> g(lock_);
    return gates_.size();
}

void FaultTable::abortGates() {
    std::lock_guard<std::mutex> g(lock_);
    for (auto& [name, gate] : gates_)
        gate->abort();
}

void FaultTable::reviveGates() {
    std::lock_guard<std::mutex> g(lock_);
    for (auto& [name, gate] : gates_)
        gate->revive();
}

}  // namespace standin
