// An HTTP/1.1 server on 127.0.0.1 over POSIX sockets and OpenSSL. One port speaks both plain
// HTTP and TLS: the first byte of a connection tells which (a TLS record starts with 0x16), so
// that one host override entry serves the http and the https hosts alike.
//
// Every connection is served on a thread of its own (up to a cap; see ServerLimits) and kept
// alive between requests; one more thread keeps the deadlines of them all. Handlers may block
// (slow answers); stop() shuts every connection down and joins every thread, so the caller must
// first release whatever a handler may be waiting for.
//
// A server may instead hand each connection to a raw handler, which reads and writes its bytes
// itself (tests that need malformed replies, drops and connections held open); the server then
// still accepts, limits, sets up TLS and shuts down for it.
//
// Requests the server cannot read are answered as a real server would, and their connection
// closed: 400 for a malformed request line, target, field or body framing (RequestReader.h), 413
// for a body over the limit, 408 for a head (or TLS handshake, or body) that does not arrive
// within the deadline, however steadily its bytes trickle in, and 400 for a version other than
// HTTP/1.0 and HTTP/1.1. A handler that throws, or whose
// answer could not go out as it is, is answered 500, and the log says so.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "tools/standin/Faults.h"
#include "tools/standin/HttpMessage.h"
#include "tools/standin/RequestReader.h"

namespace standin {

struct ServerImpl;

// How long a client may take over a request head, from its first byte to the blank line that
// ends it (and over the TLS handshake before the first one), and again over the body after it.
struct HeadDeadline {
    double seconds = 30;
    // When set, the deadline is reached when this gate lets the head's wait through instead of
    // after `seconds` (tests, which never sleep).
    std::shared_ptr<Gate> gate;
};

// What one server takes on at once, so that hostile clients cannot make it grow without bound.
// The servers' options hold one of these (StandInOptions, and the site's and the services
// server's through it).
struct ServerLimits {
    // Connections served at once (each on a thread of its own). When a newcomer finds them all
    // taken, one that holds its place for nothing is closed to make room, the one waiting longest
    // first: silent since it came or in its TLS handshake, kept alive and waiting for its next
    // request for keptIdleSeconds or more, or with an answer its client has not read from for
    // stalledSendSeconds. Only when none is is the newcomer answered 503 and closed. (A raw
    // handler's connections are never taken.)
    std::size_t maxConnections = 256;
    // A kept connection that has just been answered may be sending its next request as the
    // newcomer comes: it is left alone this long.
    double keptIdleSeconds = 1;
    // An answer none of whose bytes have gone out for this long (a client that reads nothing).
    double stalledSendSeconds = 5;
    // How long a new connection may take to send its first byte and, over TLS, to finish its
    // handshake; it is closed without an answer after that (not for raw handlers).
    double firstByteSeconds = 5;
    // How long writing one whole answer (one write call) may take, however slowly the client
    // reads.
    double sendSeconds = 30;
    // The receive buffer of accepted sockets, 0 for the system's. A small one makes an upload
    // that is read slowly stall its sender early.
    int receiveBufferSize = 0;
};

// One accepted connection as a raw handler drives it. Reads end (0) at the end of the stream, on
// an error and after the idle time.
class Connection : public RequestSource {
public:
    // The TLS handshake with the server's certificate, held to the head deadline; false when it
    // failed or the server offers no TLS.
    virtual bool acceptTls() = 0;
    virtual bool isTls() const = 0;
    // The name the client asked for in its TLS handshake (failed or not), "" without.
    virtual std::string serverName() const = 0;
    virtual bool write(std::string_view data) = 0;
    // Whether bytes (or the end of the stream) can be read within `seconds`.
    virtual bool waitReadable(double seconds) = 0;
    // An orderly end (TLS close_notify, then our half of the stream), or an abortive one (the
    // peer sees a reset once the handler returns).
    virtual void finish() = 0;
    virtual void reset() = 0;
    virtual int fd() const = 0;
    virtual int peerPort() const = 0;
};

class HttpServer {
public:
    using Handler = std::function<HttpResponse(HttpRequest&)>;
    // Called once per answered request, the ones answered 400 or 408 included: the request (its
    // method empty when the head could not be read; requestLine holds what came), the
    // response as it was sent (the server's 500 when it refused the handler's), the body bytes
    // written and the time taken in milliseconds.
    using Logger = std::function<void(const HttpRequest&, const HttpResponse&, std::size_t sent,
                                      double milliseconds)>;
    // Serves one whole connection; the socket is closed when it returns.
    using RawHandler = std::function<void(Connection&)>;

    HttpServer(Handler handler, Logger logger, HeadDeadline deadline = {},
               ServerLimits limits = {});
    explicit HttpServer(RawHandler raw, ServerLimits limits = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on 127.0.0.1:port (0 picks a free one). TLS is offered when both PEM files are
    // given: the certificate chain (server first) and its key.
    bool start(int port, const std::string& certificateChainFile, const std::string& keyFile,
               std::string* error);
    // The same with the certificate chain and key given as PEM text (made at run time).
    bool startWithPem(int port, const std::string& certificateChainPem, const std::string& keyPem,
                      std::string* error);
    void stop();
    int port() const;
    bool offersTls() const;

private:
    bool listen(int port, std::string* error);
    std::unique_ptr<ServerImpl> impl_;
};

}  // namespace standin
