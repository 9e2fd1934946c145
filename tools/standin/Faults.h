// Faults on demand: error statuses, slow answers, truncated pages and dropped connections, set
// for a host and path prefix by tests (in process) or through the admin host.
//
// A slow answer waits either on a named gate that the test opens, so that tests never sleep, or
// for a real-time delay, for people trying the app by hand.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// A valve that requests wait at. open() lets every wait through, now and later; release(n)
// lets n waits through; close() makes later waits block again. A stopping server aborts
// its gates so that no request outlives it.
class Gate {
public:
    void open();
    void close();
    void release(std::size_t count = 1);
    bool isOpen() const;
    std::size_t waiting() const;
    std::size_t passed() const;
    // Blocks until at least `count` requests wait here; false after `realSeconds`.
    bool waitUntilWaiting(std::size_t count, double realSeconds = 5.0) const;
    // Blocks until at least `count` waits have passed; false after `realSeconds`.
    bool waitUntilPassed(std::size_t count, double realSeconds = 5.0) const;

    // The request's side: true when let through, false when aborted (or when `stop` is
    // requested: a wait that is no longer needed withdraws).
    bool pass(std::stop_token stop = {});
    // The same wait held by no thread (a server's one timer for all its connections): counted
    // as waiting from enter() until tryPass() lets it through, or leave() withdraws it.
    void enter();
    bool tryPass();
    void leave();
    // `changed` is called (on the thread that opened, released or aborted the gate, outside its
    // lock) whenever such waits may pass, for as long as it lives.
    void notify(const std::shared_ptr<std::function<void()>>& changed);
    void abort();
    // Takes waits again after an abort (a server started anew).
    void revive();

private:
    mutable std::mutex lock_;
    mutable std::condition_variable_any changed_;
    bool open_ = false;
    bool aborted_ = false;
    std::size_t credits_ = 0;
    std::size_t waiting_ = 0;
    std::size_t passed_ = 0;
    std::vector<std::weak_ptr<std::function<void()>>> listeners_;
    void wake(std::unique_lock<std::mutex>& held);
};

struct Fault {
    // Which requests: a host pattern ("" or "*" for any; "*" matches any run of characters) and
    // a path prefix ("/" for every path). The admin host is never faulted.
    std::string host;
    std::string path = "/";

    // What happens, in this order: wait at the gate (by name) and/or for the delay; answer with
    // the status and the server's error page instead of the page (0: the page); then deliver.
    std::string gate;
    double delaySeconds = 0;
    int status = 0;
    enum class Delivery { Normal, Truncate, Drop, Reset } delivery = Delivery::Normal;
    // Truncate: the head announces the whole body, only this many bytes follow, then the
    // connection closes.
    std::size_t truncateAt = 0;

    // How many more requests it applies to; -1 for every one.
    int remaining = -1;

    std::string describe() const;
};

class FaultTable {
public:
    // A later fault wins over an earlier one for the same request.
    void add(Fault fault);
    void clear();
    std::vector<Fault> list() const;
    // The fault for this request, counted as used; nullopt when none applies.
    std::optional<Fault> take(std::string_view host, std::string_view path);

    // The named gate, made on first use.
    std::shared_ptr<Gate> gate(const std::string& name);
    bool hasGate(const std::string& name) const;
    std::size_t gateCount() const;
    void abortGates();
    void reviveGates();

private:
    mutable std::mutex lock_;
    std::vector<Fault> faults_;
    std::map<std::string, std::shared_ptr<Gate>> gates_;
};

// "*" matches any run of characters; no case.
bool globMatches(std::string_view pattern, std::string_view text);

}  // namespace standin
