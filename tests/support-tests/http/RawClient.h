// A deliberately plain HTTP client over a blocking socket (optionally TLS), so that the test
// server is checked against bytes rather than against the stand-in it is there to test.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "support/http/TestServer.h"

struct RawResponse {
    std::string version;
    int status = 0;
    std::string reason;
    testhttp::Headers headers;
    std::string body;
    bool complete = false;  // the whole message arrived
};

class RawClient {
public:
    explicit RawClient(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        timeval limit{5, 0};  // a broken server fails the test instead of hanging it
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(port));
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~RawClient() {
        if (ssl_) SSL_free(ssl_);
        if (ctx_) SSL_CTX_free(ctx_);
        ::close(fd_);
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return connected_; }
    int fd() const { return fd_; }

    // TLS over the connection (also through a proxy tunnel). With a trusted PEM the chain and
    // `host` are verified; the outcome of verification is in verifyResult().
    bool startTls(const std::string& sni, const std::string& trustedPem = {},
                  const std::string& host = {}) {
        ctx_ = SSL_CTX_new(TLS_client_method());
        if (!trustedPem.empty()) {
            BIO* bio = BIO_new_mem_buf(trustedPem.data(), static_cast<int>(trustedPem.size()));
            X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
            BIO_free(bio);
            X509_STORE_add_cert(SSL_CTX_get_cert_store(ctx_), cert);
            X509_free(cert);
        }
        ssl_ = SSL_new(ctx_);
        SSL_set_fd(ssl_, fd_);
        if (!sni.empty()) SSL_set_tlsext_host_name(ssl_, sni.c_str());
        if (!host.empty()) {
            X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
            if (host.find_first_not_of("0123456789.") == std::string::npos)
                X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
            else
                X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
        }
        bool ok = SSL_connect(ssl_) == 1;
        ERR_clear_error();
        return ok;
    }
    long verifyResult() const { return ssl_ ? SSL_get_verify_result(ssl_) : -1; }

    bool send(std::string_view bytes) {
        while (!bytes.empty()) {
            long n = ssl_ ? SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()))
                          : ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    // Whatever arrives next; "" at end of stream (or after 5 s of nothing).
    std::string receiveSome() {
        ended_ = false;
        if (!buffered_.empty()) return std::exchange(buffered_, {});
        char buf[65536];
        long n;
        if (ssl_) {
            n = SSL_read(ssl_, buf, sizeof buf);
            ended_ = n <= 0 && SSL_get_error(ssl_, static_cast<int>(n)) != SSL_ERROR_WANT_READ &&
                     errno != EAGAIN;
        } else {
            n = ::recv(fd_, buf, sizeof buf, 0);
            ended_ = n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
        }
        ERR_clear_error();
        return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
    }

    // True when the server has closed: end of stream (not a time-out) with nothing to read.
    bool serverClosed() { return receiveSome().empty() && ended_; }

    std::string receiveAll() {
        std::string all;
        for (std::string s = receiveSome(); !s.empty(); s = receiveSome())
            all += s;
        return all;
    }

    RawResponse readResponse(bool toHead = false) {
        RawResponse r;
        std::string data = std::exchange(buffered_, {});
        std::size_t end;
        while ((end = data.find("\r\n\r\n")) == std::string::npos) {
            std::string more = receiveSome();
            if (more.empty()) return r;
            data += more;
        }
        std::string head = data.substr(0, end + 2);
        std::string rest = data.substr(end + 4);
        std::size_t eol = head.find("\r\n");
        std::string line = head.substr(0, eol);
        std::size_t sp1 = line.find(' '), sp2 = line.find(' ', sp1 + 1);
        r.version = line.substr(0, sp1);
        r.status = std::atoi(line.substr(sp1 + 1, sp2 - sp1 - 1).c_str());
        r.reason = sp2 == std::string::npos ? "" : line.substr(sp2 + 1);
        for (std::size_t at = eol + 2; at < head.size();) {
            std::size_t next = head.find("\r\n", at);
            std::string field = head.substr(at, next - at);
            std::size_t colon = field.find(':');
            r.headers.add(field.substr(0, colon), field.substr(colon + 2));
            at = next + 2;
        }
        auto need = [&](std::size_t n) {
            while (rest.size() < n) {
                std::string more = receiveSome();
                if (more.empty()) return false;
                rest += more;
            }
            return true;
        };
        if (toHead || r.status == 204 || r.status == 304) {
            r.complete = true;
        } else if (r.headers.value("Transfer-Encoding") == "chunked") {
            for (;;) {
                std::size_t crlf;
                while ((crlf = rest.find("\r\n")) == std::string::npos)
                    if (!need(rest.size() + 1)) return r;
                std::size_t size = std::strtoul(rest.c_str(), nullptr, 16);
                rest.erase(0, crlf + 2);
                if (!need(size + 2)) return r;
                r.body += rest.substr(0, size);
                rest.erase(0, size + 2);
                if (size == 0) break;
            }
            r.complete = true;
        } else if (r.headers.has("Content-Length")) {
            std::size_t n = std::strtoul(r.headers.value("Content-Length").c_str(), nullptr, 10);
            r.complete = need(n);
            r.body = rest.substr(0, n);
            rest.erase(0, std::min(n, rest.size()));
        } else {
            r.body = rest + receiveAll();
            rest.clear();
            r.complete = true;
        }
        buffered_ = rest;
        return r;
    }

    RawResponse get(const std::string& path, const std::string& extra = {}) {
        send("GET " + path + " HTTP/1.1\r\nHost: test\r\n" + extra + "\r\n");
        return readResponse();
    }

private:
    int fd_ = -1;
    bool connected_ = false;
    SSL_CTX* ctx_ = nullptr;
    SSL* ssl_ = nullptr;
    std::string buffered_;
    bool ended_ = false;
};
