// A count of network work in flight across the whole process: engine requests, URL
// connections, web view page loads. Work counts from its start until its last main-thread
// callback has run, so a caller that sees the count at zero after a run-loop pass knows every
// reply has been delivered. The terminal front end waits on it before it prints a screen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class NetworkWork {
public:
    // Begins one piece of work, described for the "still pending" line ("GET http://...").
    // Returns a ticket for end(); safe from any thread.
    static uint64_t begin(const std::string& description);
    // Ends it; a ticket ends once, further calls (and 0) are ignored.
    static void end(uint64_t ticket);
    // Describes work in flight anew, for work that learns what it is only once under way (a
    // request whose body makes it a POST); nothing for a ticket that has ended (or 0).
    static void describe(uint64_t ticket, const std::string& description);
    static int inFlight();
    // The descriptions of what is in flight, oldest first.
    static std::vector<std::string> pending();
};

// Holds one ticket for its lifetime; movable, so it can travel with the work it counts.
class NetworkWorkTicket {
public:
    NetworkWorkTicket() = default;
    explicit NetworkWorkTicket(const std::string& description)
        : ticket_(NetworkWork::begin(description)) {}
    ~NetworkWorkTicket() { NetworkWork::end(ticket_); }
    NetworkWorkTicket(NetworkWorkTicket&& other) noexcept : ticket_(other.ticket_) {
        other.ticket_ = 0;
    }
    NetworkWorkTicket& operator=(NetworkWorkTicket&& other) noexcept {
        if (this != &other) {
            NetworkWork::end(ticket_);
            ticket_ = other.ticket_;
            other.ticket_ = 0;
        }
        return *this;
    }
    NetworkWorkTicket(const NetworkWorkTicket&) = delete;
    NetworkWorkTicket& operator=(const NetworkWorkTicket&) = delete;
    // Ends the work now (idempotent).
    void end() {
        NetworkWork::end(ticket_);
        ticket_ = 0;
    }
    bool active() const { return ticket_ != 0; }

private:
    uint64_t ticket_ = 0;
};
