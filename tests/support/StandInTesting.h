// What the stand-in servers that a test program starts share: the host override
// (BAZAARNEST_HOSTS), to which each adds its own entries so that the site and the services
// server can run side by side, and the request log that tests read back.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace standintest {

// Puts "pattern=address,..." entries before those already in BAZAARNEST_HOSTS, replacing any
// entry for the same pattern (the first entry that matches a name wins).
void addHostsOverride(const std::string& entries);

// A server's request log lines, the recent ones.
class RequestLog {
public:
    // The server's log option, adding to this log.
    std::function<void(const std::string&)> writer();
    // The lines written so far (and forgets them).
    std::vector<std::string> take();

private:
    std::mutex lock_;
    std::deque<std::string> lines_;
};

// A stand-in program started by a test with "--port 0", its standard output read line by line.
class StartedProgram {
public:
    // Starts it and reads its banner.
    explicit StartedProgram(const std::vector<std::string>& arguments);
    ~StartedProgram();
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    std::string firstLine;  // "<name>: serving ... on 127.0.0.1:<port> ..."
    int port = 0;
    std::string hosts;   // its BAZAARNEST_HOSTS value
    std::string caFile;  // its BAZAARNEST_CA_FILE value, "" without TLS
    // The next line it writes, without the newline; "" at the end.
    std::string nextLine();
    // Sends SIGTERM and waits; true when it ended with status 0.
    bool stop();

private:
    int pid_ = -1;
    void* output_ = nullptr;
};

}  // namespace standintest
