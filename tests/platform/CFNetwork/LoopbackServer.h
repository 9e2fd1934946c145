// Small scripted servers on 127.0.0.1 for the network tests: each accepted connection runs a
// test's handler on a thread of its own, which reads requests and writes raw bytes.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

struct SeenRequest {
    std::string method, target, version;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    bool chunked = false;
    // The first field of that name, without regard to case; "" when absent.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
};

class ServerConnection {
public:
    ServerConnection(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {}
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
    int fd() const { return fd_; }
    SSL* ssl() const { return ssl_; }

private:
    bool fill(double timeoutSeconds);
    int fd_;
    SSL* ssl_;
    std::string buffer_;
    bool closed_ = false;
};

// A self-signed certificate made at test time, for the given DNS names.
struct TestCertificate {
    explicit TestCertificate(const std::vector<std::string>& names);
    ~TestCertificate();
    std::string pemPath;  // the certificate, for trust-anchor files
    SSL_CTX* serverContext = nullptr;
    // The SNI name of the last handshake ("" when the client sent none).
    std::string lastServerName();
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
    void acceptLoop();
    int listenFd_ = -1;
    int port_ = 0;
    Handler handler_;
    TestCertificate* tls_;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread acceptThread_;
    std::mutex lock_;
    std::vector<std::thread> workers_;
    std::vector<int> live_;
};

// A server that answers every request on a connection with `response`, keeping the connection
// for as long as the client does.
LoopbackServer::Handler answerAlways(std::string response);
// "HTTP/1.1 200 OK" with the body and a Content-Length.
std::string okResponse(const std::string& body, const std::string& extraHeaders = "");
