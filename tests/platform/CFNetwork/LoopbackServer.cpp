#include "LoopbackServer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <thread>

#include "support/http/Certificate.h"
#include "tools/standin/HttpServer.h"
#include "tools/standin/RequestReader.h"

std::string SeenRequest::header(const std::string& name) const {
    for (const auto& field : headers) {
        if (standin::equalsIgnoringCase(field.name, name)) return field.value;
    }
    return "";
}

bool SeenRequest::hasHeader(const std::string& name) const {
    for (const auto& field : headers) {
        if (standin::equalsIgnoringCase(field.name, name)) return true;
    }
    return false;
}

// ---- a connection ------------------------------------------------------------------------------

namespace {

// The connection's bytes for the request reader: what is buffered first, then the socket, each
// read held to the caller's time.
class TimedSource : public standin::RequestSource {
public:
    TimedSource(std::string& buffered, const std::function<bool()>& fill)
        : buffered_(buffered), fill_(fill) {}
    std::size_t read(char* buffer, std::size_t size) override {
        if (buffered_.empty() && !fill_()) return 0;
        std::size_t n = std::min(size, buffered_.size());
        buffered_.copy(buffer, n);
        buffered_.erase(0, n);
        return n;
    }

private:
    std::string& buffered_;
    const std::function<bool()>& fill_;
};

}  // namespace

ServerConnection::ServerConnection(standin::Connection& link) : link_(link), fd_(link.fd()) {}

bool ServerConnection::fill(double timeoutSeconds) {
    if (closed_) return false;
    char buf[65536];
    if (!link_.waitReadable(timeoutSeconds)) return false;
    std::size_t n = link_.read(buf, sizeof buf);
    if (n == 0) {
        closed_ = true;
        return false;
    }
    buffer_.append(buf, n);
    return true;
}

bool ServerConnection::readRequest(SeenRequest& out, double timeoutSeconds) {
    out = SeenRequest{};
    std::function<bool()> more = [&] { return fill(timeoutSeconds); };
    TimedSource source(buffer_, more);
    standin::RequestReader reader(source);
    standin::HttpRequest request;
    std::string problem;
    bool ok = reader.readHead(request, &problem) == standin::RequestReader::Result::Ok;
    std::string body;
    // The body as it came, chunk framing removed and content coding kept.
    while (ok && !reader.bodyComplete()) {
        std::size_t before = body.size();
        ok = reader.readBodySome(&body, 65536, &problem) == standin::RequestReader::Result::Ok &&
             (body.size() > before || reader.bodyComplete());
    }
    buffer_.insert(0, reader.takeBuffered());
    if (!ok) return false;
    out.method = request.method;
    out.target = request.target;
    out.version = request.version;
    out.headers = std::move(request.headers);
    out.body = std::move(body);
    out.chunked = reader.chunked();
    return true;
}

void ServerConnection::send(const std::string& bytes) {
    link_.write(bytes);
}

bool ServerConnection::waitForClose(double timeoutSeconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (!closed_) {
        double left = std::chrono::duration<double>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        fill(left);
    }
    return true;
}

std::string ServerConnection::readSome(double timeoutSeconds) {
    if (buffer_.empty()) fill(timeoutSeconds);
    std::string out;
    out.swap(buffer_);
    return out;
}

std::string ServerConnection::readExactly(size_t n, double timeoutSeconds) {
    while (buffer_.size() < n && fill(timeoutSeconds)) {
    }
    std::string out = buffer_.substr(0, n);
    buffer_.erase(0, out.size());
    return out;
}

void ServerConnection::close() {
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
    closed_ = true;
}

void ServerConnection::reset() {
    link_.reset();
    closed_ = true;
}

bool ServerConnection::waitUntilReceived(double timeoutSeconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    for (;;) {
        tcp_info info{};
        socklen_t length = sizeof info;
        if (::getsockopt(fd_, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return false;
        // The client's system acknowledges what its socket has taken, the end included; a
        // client that has gone answers with a reset, which closes this socket.
        if (info.tcpi_unacked == 0 || info.tcpi_state == TCP_CLOSE) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::yield();
    }
}

// ---- certificates --------------------------------------------------------------------------

TestCertificate::TestCertificate(const std::vector<std::string>& names) {
    testhttp::TlsOptions options;
    options.names = names;
    options.commonName = names[0];
    options.loopbackNames = false;
    testhttp::GeneratedCertificate made = testhttp::generateCertificate(options);
    certificatePem = made.certificatePem;
    keyPem = made.privateKeyPem;
    // In the test program's own temporary folder (its sandbox's).
    std::string tmpl = (std::filesystem::temp_directory_path() / "bn-cert-XXXXXX").string();
    int fd = ::mkstemp(tmpl.data());
    pemPath = tmpl;
    FILE* f = ::fdopen(fd, "w");
    std::fwrite(certificatePem.data(), 1, certificatePem.size(), f);
    std::fclose(f);
}

TestCertificate::~TestCertificate() {
    std::error_code ec;
    std::filesystem::remove(pemPath, ec);
}

std::string TestCertificate::lastServerName() {
    std::lock_guard<std::mutex> g(lock);
    return serverName;
}

void TestCertificate::noteServerName(std::string name) {
    std::lock_guard<std::mutex> g(lock);
    serverName = std::move(name);
}

// ---- the server ----------------------------------------------------------------------------

LoopbackServer::LoopbackServer(Handler handler, TestCertificate* tls)
    : handler_(std::move(handler)), tls_(tls) {
    server_ = std::make_unique<standin::HttpServer>([this](standin::Connection& link) {
        ++accepted_;
        if (tls_) {
            bool ready = link.acceptTls();
            tls_->noteServerName(link.serverName());
            if (!ready) return;
        }
        ServerConnection c(link);
        handler_(c);
        link.finish();
    });
    std::string error;
    bool started = tls_ ? server_->startWithPem(0, tls_->certificatePem, tls_->keyPem, &error)
                        : server_->start(0, "", "", &error);
    if (!started) throw std::runtime_error("cannot listen on 127.0.0.1: " + error);
    port_ = server_->port();
}

LoopbackServer::~LoopbackServer() = default;

std::string LoopbackServer::url(const std::string& path, const std::string& host) const {
    return std::string(tls_ ? "https" : "http") + "://" + host + ":" + std::to_string(port_) + path;
}

LoopbackServer::Handler answerAlways(std::string response) {
    return [response](ServerConnection& c) {
        SeenRequest r;
        while (c.readRequest(r))
            c.send(response);
    };
}

std::string okResponse(const std::string& body, const std::string& extraHeaders) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
           extraHeaders + "\r\n" + body;
}
