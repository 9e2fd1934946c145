// One transport connection (a non-blocking socket, optionally under TLS) and the pool of kept
// connections that HTTP streams hand to each other. Internal to CFNetwork.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Foundation/NSObject.h"

class NSDictionary;
class NSError;
typedef struct ssl_st SSL;

namespace cfnet {

// Errors in the platform's domains and numbers (see CFNetworkErrors.h).
Ref<NSError> posixError(int systemErrno);
Ref<NSError> networkError(NSInteger code, const char* description, NSDictionary* extra = nullptr);
// kCFURLErrorNetworkConnectionLost, and EPIPE: what a lost connection reports.
Ref<NSError> connectionLostError();
Ref<NSError> brokenPipeError();

// What the stream asked for in its TLS settings.
struct TLSOptions {
    bool validateChain = true;
    bool checkName = true;
    std::string sniName;   // the URL's host
    std::string peerName;  // the name the certificate must carry
    bool allowExpired = false;
    bool allowExpiredRoots = false;
    bool allowAnyRoot = false;
    std::vector<std::string> clientPEMs;  // identity (certificate and key) first, then chain
};

enum class IOResult { Done, WantRead, WantWrite, Closed, Failed };

class Connection {
public:
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    int fd = -1;
    SSL* ssl = nullptr;
    std::string key;          // what a stream must ask for to be handed this connection
    bool reused = false;      // came out of the pool
    uint64_t lastStream = 0;  // the stream that last used it
    double idleSince = 0;     // uptime when it went into the pool

    // Non-blocking transfers. `count` receives the bytes moved; `err` the system errno on
    // Failed (for TLS, 0 with `tlsError` set).
    IOResult read(char* buffer, size_t length, size_t& count, int& err);
    IOResult write(const char* buffer, size_t length, size_t& count, int& err);
    // Whether TLS holds decrypted bytes that poll cannot announce.
    bool hasBufferedInput();
    // Whether an idle connection may carry another request: the server has neither closed it
    // nor sent anything unasked (a 408 before its close would read as the next answer).
    bool quietAndOpen();

    // Puts TLS over the connected socket; false with the error when it cannot be set up.
    bool startTLS(const TLSOptions& options, Ref<NSError>* error);
    // Drives the handshake one step: Done, WantRead/WantWrite, or Failed with the error.
    IOResult handshake(Ref<NSError>* error);

    Ref<NSError> tlsError;

private:
    IOResult tlsResult(int rc, size_t& count, int& err);
};

// What a kept connection must match to be handed to a stream: where it goes, through which
// proxy, under which TLS settings, and the stream's own properties (the host names compare
// without case).
struct PoolKeyParts {
    std::string_view scheme;  // lower case
    std::string_view host;
    int port = 0;
    int proxyKind = 0;  // 0 for none
    std::string_view proxyHost;
    int proxyPort = 0;
    const TLSOptions* tls = nullptr;  // for "https" only
    // Name and description of each property the stream does not read itself, sorted by name.
    std::vector<std::pair<std::string, std::string>> custom;
};
// Builds the key into `key`, reusing its room.
void buildPoolKey(const PoolKeyParts& parts, std::string& key);

// The kept connections. A connection goes in when its response has been read to the end and
// both sides allow keeping it; a stream with the same key takes it out (the most recently
// returned first), passing over and closing those that are no longer quiet and open. Idle
// connections are closed after a long idle spell or when too many wait.
namespace pool {
std::unique_ptr<Connection> checkout(const std::string& key);
void checkin(std::unique_ptr<Connection> connection);
// Closes the idle connection that the stream left, if it is still waiting: closing a stream
// ends the connection it kept.
void closeIdleFor(uint64_t streamSerial);
// Test aid: how many connections wait, and closing them all.
size_t idleCount();
void clear();
}  // namespace pool

}  // namespace cfnet
