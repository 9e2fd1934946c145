#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool waitReadable(int fd, double seconds) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(seconds * 1000)) > 0;
}

}  // namespace

std::string SeenRequest::header(const std::string& name) const {
    for (const auto& [k, v] : headers) {
        if (lower(k) == lower(name)) return v;
    }
    return "";
}

bool SeenRequest::hasHeader(const std::string& name) const {
    for (const auto& [k, v] : headers) {
        if (lower(k) == lower(name)) return true;
    }
    return false;
}

// ---- a connection ------------------------------------------------------------------------------

bool ServerConnection::fill(double timeoutSeconds) {
    if (closed_) return false;
    char buf[65536];
    if (ssl_ && SSL_pending(ssl_) == 0 && !waitReadable(fd_, timeoutSeconds)) return false;
    if (!ssl_ && !waitReadable(fd_, timeoutSeconds)) return false;
    int n =
        ssl_ ? SSL_read(ssl_, buf, sizeof buf) : static_cast<int>(::recv(fd_, buf, sizeof buf, 0));
    if (n <= 0) {
        closed_ = true;
        return false;
    }
    buffer_.append(buf, static_cast<size_t>(n));
    return true;
}

bool ServerConnection::readRequest(SeenRequest& out, double timeoutSeconds) {
    out = SeenRequest{};
    size_t end;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
        if (!fill(timeoutSeconds)) return false;
    }
    std::string head = buffer_.substr(0, end);
    buffer_.erase(0, end + 4);
    size_t lineEnd = head.find("\r\n");
    std::string line = head.substr(0, lineEnd);
    size_t a = line.find(' '), b = line.rfind(' ');
    out.method = line.substr(0, a);
    out.target = line.substr(a + 1, b - a - 1);
    out.version = line.substr(b + 1);
    size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        size_t next = head.find("\r\n", pos);
        std::string field =
            head.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
        size_t colon = field.find(':');
        std::string value = field.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        out.headers.emplace_back(field.substr(0, colon), value);
        pos = next == std::string::npos ? head.size() : next + 2;
    }
    if (lower(out.header("Transfer-Encoding")) == "chunked") {
        out.chunked = true;
        for (;;) {
            size_t nl;
            while ((nl = buffer_.find("\r\n")) == std::string::npos) {
                if (!fill(timeoutSeconds)) return false;
            }
            size_t size = std::stoul(buffer_.substr(0, nl), nullptr, 16);
            buffer_.erase(0, nl + 2);
            while (buffer_.size() < size + 2) {
                if (!fill(timeoutSeconds)) return false;
            }
            out.body += buffer_.substr(0, size);
            buffer_.erase(0, size + 2);
            if (size == 0) break;
        }
    } else if (out.hasHeader("Content-Length")) {
        size_t length = std::stoul(out.header("Content-Length"));
        while (buffer_.size() < length) {
            if (!fill(timeoutSeconds)) return false;
        }
        out.body = buffer_.substr(0, length);
        buffer_.erase(0, length);
    }
    return true;
}

void ServerConnection::send(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        int n = ssl_ ? SSL_write(ssl_, bytes.data() + sent, static_cast<int>(bytes.size() - sent))
                     : static_cast<int>(
                           ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL));
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
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

// ---- certificates --------------------------------------------------------------------------

namespace {
int rememberServerName(SSL* ssl, int*, void* arg) {
    auto* cert = static_cast<TestCertificate*>(arg);
    const char* name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
    std::lock_guard<std::mutex> g(cert->lock);
    cert->serverName = name ? name : "";
    return SSL_TLSEXT_ERR_OK;
}
}  // namespace

TestCertificate::TestCertificate(const std::vector<std::string>& names) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* x = X509_new();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), static_cast<long>(std::rand()) + 1);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), 3600L * 24 * 365);
    X509_set_pubkey(x, key);
    X509_NAME* subject = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(names[0].c_str()), -1, -1, 0);
    X509_set_issuer_name(x, subject);
    std::string san;
    for (const auto& n : names)
        san += (san.empty() ? "" : ",") + std::string("DNS:") + n;
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, x, x, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, san.c_str());
    X509_add_ext(x, ext, -1);
    X509_EXTENSION_free(ext);
    ext = X509V3_EXT_conf_nid(nullptr, &ctx, NID_basic_constraints, "critical,CA:TRUE");
    X509_add_ext(x, ext, -1);
    X509_EXTENSION_free(ext);
    X509_sign(x, key, EVP_sha256());

    char tmpl[] = "/tmp/bn-cert-XXXXXX";
    int fd = ::mkstemp(tmpl);
    pemPath = tmpl;
    FILE* f = ::fdopen(fd, "w");
    PEM_write_X509(f, x);
    std::fclose(f);

    serverContext = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(serverContext, x);
    SSL_CTX_use_PrivateKey(serverContext, key);
    SSL_CTX_set_tlsext_servername_callback(serverContext, rememberServerName);
    SSL_CTX_set_tlsext_servername_arg(serverContext, this);
    X509_free(x);
    EVP_PKEY_free(key);
}

TestCertificate::~TestCertificate() {
    SSL_CTX_free(serverContext);
    std::error_code ec;
    std::filesystem::remove(pemPath, ec);
}

std::string TestCertificate::lastServerName() {
    std::lock_guard<std::mutex> g(lock);
    return serverName;
}

// ---- the server ----------------------------------------------------------------------------

LoopbackServer::LoopbackServer(Handler handler, TestCertificate* tls)
    : handler_(std::move(handler)), tls_(tls) {
    // The TLS side writes with write(2); a client that hung up must not end the test program.
    ::signal(SIGPIPE, SIG_IGN);
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listenFd_, 64);
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
    stop_ = true;
    acceptThread_.join();
    {
        std::lock_guard<std::mutex> g(lock_);
        for (int fd : live_)
            ::shutdown(fd, SHUT_RDWR);
    }
    for (auto& t : workers_)
        t.join();
    ::close(listenFd_);
}

std::string LoopbackServer::url(const std::string& path, const std::string& host) const {
    return std::string(tls_ ? "https" : "http") + "://" + host + ":" + std::to_string(port_) + path;
}

void LoopbackServer::acceptLoop() {
    while (!stop_) {
        if (!waitReadable(listenFd_, 0.05)) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ++accepted_;
        std::lock_guard<std::mutex> g(lock_);
        live_.push_back(fd);
        workers_.emplace_back([this, fd] {
            SSL* ssl = nullptr;
            bool ready = true;
            if (tls_) {
                ssl = SSL_new(tls_->serverContext);
                SSL_set_fd(ssl, fd);
                ready = SSL_accept(ssl) == 1;
                ERR_clear_error();
            }
            if (ready) {
                ServerConnection c(fd, ssl);
                handler_(c);
                if (ssl) SSL_shutdown(ssl);
            }
            if (ssl) SSL_free(ssl);
            {
                std::lock_guard<std::mutex> g2(lock_);
                live_.erase(std::remove(live_.begin(), live_.end(), fd), live_.end());
            }
            ::close(fd);
        });
    }
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
