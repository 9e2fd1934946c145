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

// One request over TLS, naming `serverName`, on a connection of its own (the certificate is not
// checked); everything the server sent until it closed.
std::string tlsExchange(int port, const std::string& serverName, const std::string& bytes);

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
// repeated, missing or with a bad port, Transfer-Encoding repeated over two lines, versions
// other than HTTP/1.0 and HTTP/1.1 and chunk extensions outside their grammar: all 400, and
// nothing reaches the handler. Absolute-form in any letter case, and HTTP/1.0, are still served.
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
// For a server with the default limits: connections that wait for their first byte, or inside
// a request head, each take the one thread that serves them, and none more for its deadline.
void expectOneThreadPerConnection(const HostileServer& server);
// For a server that takes two connections at once: two kept-alive connections waiting for their
// next requests, and a newcomer. With `giveWay` (a server that takes any kept connection for a
// newcomer, keptIdleSeconds 0) the one idle longest is closed to make room; without (one that
// leaves a kept connection alone for long after its answer), both have just been answered and
// their clients may be sending their next requests: the newcomer is answered 503. The others are
// still served.
void expectKeptConnectionsBesideANewcomer(const HostileServer& server, bool giveWay);
// For a server that takes `places` connections at once and gives up on an answer that does not
// move at once (stalledSendSeconds 0): that many clients that pipeline `count` GETs of `target`
// (absolute-form for a host other than the server's) and read nothing leave room for a client
// that reads its answer.
void expectNonReadersLeaveRoom(const HostileServer& server, std::size_t places,
                               const std::string& target, std::size_t count);
// For a server whose send time is `sendSeconds` (short): a client that reads its pipelined
// answers (`count` GETs of `target`) slowly but steadily has its connection given up within
// about that time of the write that could not finish, logged with no body bytes sent.
void expectUnreadAnswerEndsByDeadline(const HostileServer& server, const std::string& target,
                                      std::size_t count, double sendSeconds);

}  // namespace standintest
