// The hostile clients both stand-in servers are tried with (they share one HTTP core): each
// function below runs one group of cases against a server on 127.0.0.1 with GoogleTest
// expectations, so that the site's tests and the services server's run the same ones.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace standintest {

class RawClient;

// The server under test.
struct HostileServer {
    int port = 0;
    std::string host;  // a host it answers
    std::string path;  // a path that host answers 200 to a GET
    // The log lines it wrote since the last call.
    std::function<std::vector<std::string>()> takeLog;
};

// The server's log lines holding `marker`, once `count` of them have come (a line is written
// once its answer is out).
std::vector<std::string> logLinesWith(const HostileServer& server, const std::string& marker,
                                      std::size_t count = 1);

// Raises the process's soft limit of descriptors towards `wanted` as far as the hard limit
// allows; the limit then in force.
std::size_t raiseDescriptorLimit(std::size_t wanted);

// Connections that hold a place without asking anything: `silent` that never send a byte and
// `stalled` TLS clients that stop after their ClientHello. Closed when it goes.
class IdleCrowd {
public:
    IdleCrowd(int port, std::size_t silent, std::size_t stalled);
    ~IdleCrowd();
    IdleCrowd(const IdleCrowd&) = delete;
    IdleCrowd& operator=(const IdleCrowd&) = delete;

    std::size_t connected() const { return fds_.size(); }
    // How many of them the server has closed within `realSeconds` in all.
    std::size_t closedWithin(double realSeconds);

private:
    std::vector<std::unique_ptr<RawClient>> clients_;
    std::vector<int> fds_;
    std::vector<void*> tls_;  // the stalled clients' sessions
    void* context_ = nullptr;
};

// Targets with bytes outside the URI characters or of no form the method takes, Host fields
// repeated, missing or with a bad port, and Transfer-Encoding repeated over two lines: all 400,
// and nothing reaches the handler. Absolute-form in any letter case is still served.
void expectStrictRequestParsing(const HostileServer& server);
// A head of 65,536 bytes through its blank line is served, one of 65,537 refused with 400.
void expectHeadCapExact(const HostileServer& server);
// A 1 MB chunk-size line, and a 1 MB trailer, are answered 400 with the reason, and logged.
void expectOverlongChunkLinesRefused(const HostileServer& server);
// Bytes from 0x80 on (0x9b, which some terminals read as a control sequence, and invalid
// UTF-8) reach the log as \xHH, like control bytes.
void expectLogEscapesEveryNonAsciiByte(const HostileServer& server);

// For a server with the default connection cap: a client is served while `silent` connections
// that send nothing and `stalled` TLS handshakes are open.
void expectServedBesideIdleCrowd(const HostileServer& server, std::size_t silent,
                                 std::size_t stalled);
// For a server whose first-byte time is `firstByteSeconds` (short): connections that send
// nothing, and TLS handshakes that stop, are closed soon after it.
void expectSilentConnectionsClosedSoon(const HostileServer& server, double firstByteSeconds);
// For a server that takes two connections at once: two kept-alive connections waiting for their
// next request give way to a newcomer, the one idle longest first.
void expectKeptConnectionsGiveWay(const HostileServer& server);
// For a server whose send time is `sendSeconds` (short): a client that reads its pipelined
// answers (`count` GETs of `target`) slowly but steadily has its connection given up within
// about that time of the write that could not finish, logged with no body bytes sent.
void expectUnreadAnswerEndsByDeadline(const HostileServer& server, const std::string& target,
                                      std::size_t count, double sendSeconds);

}  // namespace standintest
