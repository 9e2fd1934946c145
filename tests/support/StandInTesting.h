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

// A client socket on 127.0.0.1 driven by hand, so that a test can send a request in pieces, or
// bytes no client library would, and read exactly what the server answers.
class RawClient {
public:
    // With receiveBuffer, the socket's receive buffer is set that small before connecting (a
    // client that does not read then fills up at once).
    explicit RawClient(int port, int receiveBuffer = 0);
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return connected_; }
    int fd() const { return fd_; }
    bool send(const std::string& bytes);
    // Whether the server has sent anything (or closed) by now, without waiting.
    bool serverSpoke();
    // Everything until the server closes; `closed` tells whether it did within the wait.
    std::string readToEnd(bool* closed = nullptr);
    // One answer on a kept connection: the head and the Content-Length bytes after it.
    std::string readAnswer();

private:
    int fd_ = -1;
    bool connected_ = false;
};

// The status code of a raw answer ("HTTP/1.1 200 OK..."), "" for none.
std::string rawStatus(const std::string& reply);

}  // namespace standintest
