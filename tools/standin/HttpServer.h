// An HTTP/1.1 server on 127.0.0.1 over POSIX sockets and OpenSSL. One port speaks both plain
// HTTP and TLS: the first byte of a connection tells which (a TLS record starts with 0x16), so
// that one host override entry serves the http and the https hosts alike.
//
// Every connection is served on a thread of its own and kept alive between requests. Handlers
// may block (slow answers); stop() shuts every connection down and joins every thread, so the
// caller must first release whatever a handler may be waiting for.
//
// Requests the server cannot read are answered as a real server would: 400 for a malformed
// request line or body framing, 408 for a head (or TLS handshake) that does not arrive within
// the head deadline, however steadily its bytes trickle in.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "tools/standin/Faults.h"
#include "tools/standin/HttpMessage.h"

namespace standin {

struct ServerImpl;

// How long a client may take over a request head, from its first byte to the blank line that
// ends it (and over the TLS handshake before the first one).
struct HeadDeadline {
    double seconds = 30;
    // When set, the deadline is reached when this gate lets the head's wait through instead of
    // after `seconds` (tests, which never sleep).
    std::shared_ptr<Gate> gate;
};

class HttpServer {
public:
    using Handler = std::function<HttpResponse(HttpRequest&)>;
    // Called once per answered request, the ones answered 400 or 408 included: the request (its
    // method empty when the head could not be read; requestLine holds what came), the
    // response, the body bytes written and the time taken in milliseconds.
    using Logger = std::function<void(const HttpRequest&, const HttpResponse&, std::size_t sent,
                                      double milliseconds)>;

    HttpServer(Handler handler, Logger logger, HeadDeadline deadline = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on 127.0.0.1:port (0 picks a free one). TLS is offered when both PEM files are
    // given: the certificate chain (server first) and its key.
    bool start(int port, const std::string& certificateChainFile, const std::string& keyFile,
               std::string* error);
    void stop();
    int port() const;
    bool offersTls() const;

private:
    std::unique_ptr<ServerImpl> impl_;
};

}  // namespace standin
