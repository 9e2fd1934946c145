// An HTTP/1.1 server on 127.0.0.1 over POSIX sockets and OpenSSL. One port speaks both plain
// HTTP and TLS: the first byte of a connection tells which (a TLS record starts with 0x16), so
// that one host override entry serves the http and the https hosts alike.
//
// Every connection is served on a thread of its own and kept alive between requests. Handlers
// may block (slow answers); stop() shuts every connection down and joins every thread, so the
// caller must first release whatever a handler may be waiting for.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "tools/site/HttpMessage.h"

namespace bnsite {

struct ServerImpl;

class HttpServer {
public:
    using Handler = std::function<HttpResponse(HttpRequest&)>;
    // Called once per answered request: the request, the response, the body bytes written and
    // the time taken in milliseconds.
    using Logger = std::function<void(const HttpRequest&, const HttpResponse&, std::size_t sent,
                                      double milliseconds)>;

    HttpServer(Handler handler, Logger logger);
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

}  // namespace bnsite
