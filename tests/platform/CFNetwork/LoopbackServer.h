// Small scripted servers on 127.0.0.1 for the network tests, on the stand-in servers' core: each
// accepted connection runs a test's handler on a thread of its own, which reads requests and
// writes raw bytes.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tools/standin/HttpMessage.h"

namespace standin {
class Connection;
class HttpServer;
}  // namespace standin

struct SeenRequest {
    std::string method, target, version;
    std::vector<standin::HeaderField> headers;
    std::string body;
    bool chunked = false;
    // The first field of that name, without regard to case; "" when absent.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
};

class ServerConnection {
public:
    explicit ServerConnection(standin::Connection& link);
    // The next request (head and body); false when the peer closed or nothing came in time.
    bool readRequest(SeenRequest& out, double timeoutSeconds = 5.0);
    void send(const std::string& bytes);
    // Waits for the peer to close; true when it did within the time.
    bool waitForClose(double timeoutSeconds = 5.0);
    // Raw bytes as they come (at least one, or "" at the end or on time-out).
    std::string readSome(double timeoutSeconds = 5.0);
    // Exactly n bytes, or fewer at the end.
    std::string readExactly(size_t n, double timeoutSeconds = 5.0);
    void close();
    // Ends the connection with a reset once the handler returns.
    void reset();
    // Waits until the client's system has taken every byte sent (and the close after close()).
    bool waitUntilReceived(double timeoutSeconds = 5.0);
    int fd() const { return fd_; }

private:
    bool fill(double timeoutSeconds);
    standin::Connection& link_;
    int fd_;
    std::string buffer_;
    bool closed_ = false;
};

// A self-signed certificate made at test time for the given DNS names, and no others.
struct TestCertificate {
    explicit TestCertificate(const std::vector<std::string>& names);
    ~TestCertificate();
    std::string pemPath;  // the certificate, for trust-anchor files
    std::string certificatePem;
    std::string keyPem;
    // The SNI name of the last handshake ("" when the client sent none).
    std::string lastServerName();
    void noteServerName(std::string name);
    std::mutex lock;
    std::string serverName;
};

class LoopbackServer {
public:
    using Handler = std::function<void(ServerConnection&)>;
    explicit LoopbackServer(Handler handler, TestCertificate* tls = nullptr);
    ~LoopbackServer();
    int port() const { return port_; }
    int accepted() const { return accepted_.load(); }
    std::string url(const std::string& path = "/", const std::string& host = "127.0.0.1") const;

private:
    Handler handler_;
    TestCertificate* tls_;
    std::atomic<int> accepted_{0};
    std::unique_ptr<standin::HttpServer> server_;
    int port_ = 0;
};

// A server that answers every request on a connection with `response`, keeping the connection
// for as long as the client does.
LoopbackServer::Handler answerAlways(std::string response);
// "HTTP/1.1 200 OK" with the body and a Content-Length.
std::string okResponse(const std::string& body, const std::string& extraHeaders = "");
