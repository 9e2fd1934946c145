#include "tools/standin/HttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <list>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace standin {

namespace {

constexpr size_t kMaxHead = 64 * 1024;
constexpr size_t kMaxBody = 32 * 1024 * 1024;
// A kept connection that says nothing for this long is closed.
constexpr int kIdleSeconds = 60;
// After a refused request, what the client still sends is read and dropped for at most this
// long (and this much) before the socket closes: closing with unread bytes would reset the
// connection and could take the answer with it.
constexpr int kDrainSeconds = 2;
constexpr size_t kMaxDrain = 1024 * 1024;
// What the log keeps of a request line that could not be read.
constexpr size_t kMaxLoggedLine = 1024;
// Pages this large or larger go out gzipped to clients that accept it.
constexpr size_t kGzipFrom = 1024;

void ignoreBrokenPipes() {
    // TLS writes go through write(2), which would kill the process when a client hangs up.
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            std::signal(SIGPIPE, SIG_IGN);
    });
}

std::string openSslError() {
    unsigned long e = ERR_get_error();
    if (!e) return "unknown TLS error";
    char text[256];
    ERR_error_string_n(e, text, sizeof text);
    return text;
}

std::string gzip(std::string_view data) {
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::string out;
    out.resize(deflateBound(&z, data.size()) + 32);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    int r = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return r == Z_STREAM_END ? out : std::string();
}

std::optional<std::string> gunzip(std::string_view data) {
    z_stream z{};
    if (inflateInit2(&z, 47) != Z_OK) return std::nullopt;
    std::string out;
    char buffer[16384];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    int r;
    do {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        r = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - z.avail_out);
        if (out.size() > kMaxBody) r = Z_DATA_ERROR;
    } while (r == Z_OK);
    inflateEnd(&z);
    if (r != Z_STREAM_END) return std::nullopt;
    return out;
}

// One accepted socket, plain or TLS.
class Channel {
public:
    explicit Channel(int fd) : fd_(fd) {}
    ~Channel() {
        if (ssl_) SSL_free(ssl_);
    }
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    bool startTls(SSL_CTX* context) {
        ssl_ = SSL_new(context);
        if (!ssl_) return false;
        SSL_set_fd(ssl_, fd_);
        return SSL_accept(ssl_) == 1;
    }
    bool isTls() const { return ssl_ != nullptr; }
    int fd() const { return fd_; }

    // Bytes read, 0 at the end of the stream, a time-out or an error.
    size_t read(char* buffer, size_t size) {
        if (ssl_) {
            int r = SSL_read(ssl_, buffer, static_cast<int>(size));
            return r > 0 ? static_cast<size_t>(r) : 0;
        }
        for (;;) {
            ssize_t r = ::recv(fd_, buffer, size, 0);
            if (r < 0 && errno == EINTR) continue;
            return r > 0 ? static_cast<size_t>(r) : 0;
        }
    }

    bool write(std::string_view data) {
        while (!data.empty()) {
            if (ssl_) {
                int r = SSL_write(ssl_, data.data(), static_cast<int>(data.size()));
                if (r <= 0) return false;
                data.remove_prefix(static_cast<size_t>(r));
            } else {
                ssize_t r = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
                if (r < 0 && errno == EINTR) continue;
                if (r <= 0) return false;
                data.remove_prefix(static_cast<size_t>(r));
            }
        }
        return true;
    }

    // An orderly end: TLS close_notify, then our half of the stream.
    void finish() {
        if (ssl_) SSL_shutdown(ssl_);
        ::shutdown(fd_, SHUT_WR);
    }
    // Reads and drops what the client still sends, until it closes or the drain's limits.
    void drain() {
        timeval limit{kDrainSeconds, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        char scrap[16384];
        size_t total = 0;
        while (total < kMaxDrain) {
            ssize_t r = ::recv(fd_, scrap, sizeof scrap, 0);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            total += static_cast<size_t>(r);
        }
    }
    // An abortive end: the peer sees a reset.
    void reset() {
        linger l{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }

private:
    int fd_;
    SSL* ssl_ = nullptr;
};

// Watches one request head (or TLS handshake) against the deadline, on a thread of its own.
// When the deadline comes first, the socket's read side is shut so that the blocked read ends.
class HeadWatch {
public:
    HeadWatch(const HeadDeadline& deadline, int fd)
        : thread_([this, &deadline, fd](std::stop_token stop) {
              if (!reached(deadline, stop)) return;
              expired_ = true;
              ::shutdown(fd, SHUT_RD);
          }) {}
    ~HeadWatch() { finish(); }
    HeadWatch(const HeadWatch&) = delete;
    HeadWatch& operator=(const HeadWatch&) = delete;

    // Ends the watch; true when the deadline was reached first.
    bool finish() {
        thread_.request_stop();
        if (thread_.joinable()) thread_.join();
        return expired_;
    }

private:
    static bool reached(const HeadDeadline& deadline, std::stop_token stop) {
        if (deadline.gate) return deadline.gate->pass(stop);
        std::mutex lock;
        std::condition_variable_any never;
        std::unique_lock<std::mutex> g(lock);
        never.wait_for(g, stop, std::chrono::duration<double>(deadline.seconds),
                       [] { return false; });
        return !stop.stop_requested();
    }

    std::atomic<bool> expired_{false};
    std::jthread thread_;
};

bool isTokenChar(unsigned char c) {
    return std::isalnum(c) || std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

// A Content-Length value: digits, or a list of equal numbers (a field repeated by a proxy).
std::optional<size_t> lengthValue(std::string_view value) {
    std::optional<size_t> length;
    size_t at = 0;
    for (;;) {
        size_t comma = value.find(',', at);
        std::string_view item =
            value.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
            item.remove_suffix(1);
        // Eighteen digits are far beyond any body we take and cannot overflow.
        if (item.empty() || item.size() > 18) return std::nullopt;
        size_t number = 0;
        for (char c : item) {
            if (c < '0' || c > '9') return std::nullopt;
            number = number * 10 + static_cast<size_t>(c - '0');
        }
        if (length && *length != number) return std::nullopt;
        length = number;
        if (comma == std::string_view::npos) return length;
        at = comma + 1;
    }
}

// A chunk-size line: hexadecimal digits, then optionally white space and extensions.
std::optional<size_t> chunkSize(std::string_view line) {
    size_t digits = 0;
    size_t size = 0;
    while (digits < line.size() && std::isxdigit(static_cast<unsigned char>(line[digits]))) {
        char c = line[digits];
        size = size * 16 + static_cast<size_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
        if (++digits > 15) return std::nullopt;  // far beyond any body we take
    }
    if (digits == 0) return std::nullopt;
    std::string_view rest = line.substr(digits);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
        rest.remove_prefix(1);
    if (!rest.empty() && rest.front() != ';') return std::nullopt;
    return size;
}

// Reads requests off one channel, keeping what arrives beyond the current request.
class RequestReader {
public:
    RequestReader(Channel& channel, const HeadDeadline& deadline)
        : channel_(channel), deadline_(deadline) {}

    enum class Result { Ok, Closed, Bad, Late };

    Result readHead(HttpRequest& request, std::string* problem) {
        request.method.clear();  // until a request line has been read
        // The deadline runs from the head's first byte; a kept connection waits for that
        // under the idle time-out only.
        std::optional<HeadWatch> watch;
        if (!buffer_.empty()) watch.emplace(deadline_, channel_.fd());
        size_t end;
        while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
            if (buffer_.size() > kMaxHead) {
                noteRequestLine(request);
                *problem = "request head too large";
                return Result::Bad;
            }
            if (!fill()) {
                noteRequestLine(request);
                if (watch && watch->finish()) break;
                return buffer_.empty() ? Result::Closed : Result::Bad;
            }
            if (!watch) watch.emplace(deadline_, channel_.fd());
        }
        if (watch && watch->finish()) {
            noteRequestLine(request);
            *problem = "request head not complete in time";
            return Result::Late;
        }
        std::string head = buffer_.substr(0, end);
        buffer_.erase(0, end + 4);
        size_t lineEnd = head.find("\r\n");
        std::string line = head.substr(0, lineEnd);
        request.requestLine = line;
        // method SP request-target SP version, and nothing else: a space more is no method
        // and target of ours to guess.
        size_t sp1 = line.find(' ');
        size_t sp2 = sp1 == std::string::npos ? sp1 : line.find(' ', sp1 + 1);
        bool shaped = sp1 != std::string::npos && sp1 > 0 && sp2 != std::string::npos &&
                      sp2 > sp1 + 1 && line.find(' ', sp2 + 1) == std::string::npos;
        for (size_t i = 0; shaped && i < sp1; ++i)
            shaped = isTokenChar(static_cast<unsigned char>(line[i]));
        if (!shaped) {
            *problem = "malformed request line";
            return Result::Bad;
        }
        std::string version = line.substr(sp2 + 1);
        if (version.rfind("HTTP/1.", 0) != 0) {
            *problem = "unsupported protocol version";
            return Result::Bad;
        }
        request.method = line.substr(0, sp1);
        request.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
        request.version = version;
        request.headers.clear();
        size_t at = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
        while (at < head.size()) {
            size_t next = head.find("\r\n", at);
            std::string field =
                head.substr(at, next == std::string::npos ? std::string::npos : next - at);
            size_t colon = field.find(':');
            if (colon != std::string::npos) {
                std::string value = field.substr(colon + 1);
                size_t b = value.find_first_not_of(" \t");
                size_t e = value.find_last_not_of(" \t");
                value = b == std::string::npos ? std::string() : value.substr(b, e - b + 1);
                request.headers.push_back({field.substr(0, colon), value});
            }
            if (next == std::string::npos) break;
            at = next + 2;
        }

        std::string target = request.target;
        if (auto parts = target.rfind("http", 0) == 0 ? splitUrl(target) : std::nullopt) {
            // An absolute target names the host itself, over any Host field.
            request.host = parts->host;
            target = parts->path + (parts->query.empty() ? "" : "?" + parts->query);
        }
        std::string host = request.header("Host");
        if (!host.empty() && request.host.empty()) {
            size_t colon = host.rfind(':');
            if (colon != std::string::npos && host.find(']') == std::string::npos)
                host = host.substr(0, colon);
            request.host = lowercase(host);
        }
        size_t question = target.find('?');
        request.path = target.substr(0, question);
        request.query = question == std::string::npos ? std::string() : target.substr(question + 1);
        if (request.path.empty()) request.path = "/";

        // The body's framing, checked before anything (a 100 Continue) invites the body.
        chunked_ = containsIgnoringCase(request.header("Transfer-Encoding"), "chunked");
        length_.reset();
        for (const auto& field : request.headers) {
            if (!equalsIgnoringCase(field.name, "Content-Length")) continue;
            std::optional<size_t> length = lengthValue(field.value);
            if (!length) {
                *problem = "malformed Content-Length";
                return Result::Bad;
            }
            if (length_ && *length_ != *length) {
                *problem = "conflicting Content-Length fields";
                return Result::Bad;
            }
            length_ = length;
        }
        return Result::Ok;
    }

    Result readBody(HttpRequest& request, std::string* problem) {
        request.body.clear();
        if (chunked_) {
            for (;;) {
                std::string line;
                if (!readLine(&line)) return Result::Bad;
                std::optional<size_t> chunk = chunkSize(line);
                if (!chunk) {
                    *problem = "malformed chunk size";
                    return Result::Bad;
                }
                size_t size = *chunk;
                if (size == 0) {
                    // Trailers up to the blank line.
                    do {
                        if (!readLine(&line)) return Result::Bad;
                    } while (!line.empty());
                    break;
                }
                if (request.body.size() + size > kMaxBody) {
                    *problem = "request body too large";
                    return Result::Bad;
                }
                if (!readExactly(size, &request.body)) return Result::Bad;
                if (!readLine(&line)) return Result::Bad;
                if (!line.empty()) {
                    *problem = "chunk longer than its size";
                    return Result::Bad;
                }
            }
        } else if (length_) {
            size_t length = *length_;
            if (length > kMaxBody) {
                *problem = "request body too large";
                return Result::Bad;
            }
            if (!readExactly(length, &request.body)) return Result::Bad;
        }
        if (equalsIgnoringCase(request.header("Content-Encoding"), "gzip")) {
            auto plain = gunzip(request.body);
            if (!plain) {
                *problem = "damaged gzip body";
                return Result::Bad;
            }
            request.body = std::move(*plain);
        }
        return Result::Ok;
    }

private:
    // For the log: the first line of what came of a head that could not be read.
    void noteRequestLine(HttpRequest& request) const {
        request.requestLine = buffer_.substr(0, std::min(buffer_.find("\r\n"), kMaxLoggedLine));
    }
    bool fill() {
        char chunk[16384];
        size_t n = channel_.read(chunk, sizeof chunk);
        if (n == 0) return false;
        buffer_.append(chunk, n);
        return true;
    }
    bool readLine(std::string* line) {
        size_t end;
        while ((end = buffer_.find("\r\n")) == std::string::npos) {
            if (buffer_.size() > kMaxHead || !fill()) return false;
        }
        *line = buffer_.substr(0, end);
        buffer_.erase(0, end + 2);
        return true;
    }
    bool readExactly(size_t size, std::string* into) {
        while (buffer_.size() < size) {
            if (!fill()) return false;
        }
        into->append(buffer_, 0, size);
        buffer_.erase(0, size);
        return true;
    }

    Channel& channel_;
    const HeadDeadline& deadline_;
    std::string buffer_;
    bool chunked_ = false;
    std::optional<size_t> length_;
};

bool wantsClose(const HttpRequest& request) {
    std::string connection = request.header("Connection");
    if (request.version == "HTTP/1.0") return !containsIgnoringCase(connection, "keep-alive");
    return containsIgnoringCase(connection, "close");
}

bool mayGzip(const HttpRequest& request, const HttpResponse& response) {
    if (response.delivery != HttpResponse::Delivery::Normal) return false;
    if (response.body.size() < kGzipFrom) return false;
    if (response.contentType.rfind("text/", 0) != 0) return false;
    for (const auto& h : response.headers) {
        if (equalsIgnoringCase(h.name, "Content-Encoding")) return false;
    }
    return containsIgnoringCase(request.header("Accept-Encoding"), "gzip");
}

}  // namespace

struct ServerImpl {
    struct Connection {
        int fd = -1;
        std::string peer;
        std::thread thread;
        bool done = false;
    };

    HttpServer::Handler handler;
    HttpServer::Logger logger;
    HeadDeadline deadline;
    SSL_CTX* tls = nullptr;
    int listenFd = -1;
    int port = 0;
    std::thread acceptor;
    std::mutex lock;
    std::list<std::unique_ptr<Connection>> connections;
    bool stopping = false;
    bool running = false;

    ~ServerImpl() {
        if (tls) SSL_CTX_free(tls);
    }

    void acceptLoop() {
        for (;;) {
            sockaddr_in from{};
            socklen_t length = sizeof from;
            int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&from), &length, SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED) continue;
                return;
            }
            char address[INET_ADDRSTRLEN] = "?";
            ::inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
            timeval idle{kIdleSeconds, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &idle, sizeof idle);
            std::list<std::unique_ptr<Connection>> finished;
            {
                std::lock_guard<std::mutex> g(lock);
                if (stopping) {
                    ::close(fd);
                    return;
                }
                for (auto it = connections.begin(); it != connections.end();) {
                    if ((*it)->done) {
                        finished.push_back(std::move(*it));
                        it = connections.erase(it);
                    } else {
                        ++it;
                    }
                }
                auto c = std::make_unique<Connection>();
                c->fd = fd;
                c->peer = std::string(address) + ":" + std::to_string(ntohs(from.sin_port));
                Connection* raw = c.get();
                connections.push_back(std::move(c));
                raw->thread = std::thread([this, raw] { serve(raw); });
            }
            for (auto& c : finished)
                c->thread.join();
        }
    }

    void serve(Connection* connection) {
        int fd;
        {
            std::lock_guard<std::mutex> g(lock);
            fd = connection->fd;
        }
        Channel channel(fd);
        bool resetAtEnd = false;
        // A TLS record starts with the handshake content type 0x16; plain HTTP starts with a
        // method name.
        unsigned char first = 0;
        ssize_t peeked;
        do {
            peeked = ::recv(fd, &first, 1, MSG_PEEK);
        } while (peeked < 0 && errno == EINTR);
        bool ok = peeked == 1;
        if (ok && first == 0x16) {
            // A handshake that trickles in is held to the head deadline as well.
            HeadWatch watch(deadline, fd);
            ok = tls && channel.startTls(tls);
            if (watch.finish()) ok = false;
        }
        RequestReader reader(channel, deadline);
        while (ok) {
            HttpRequest request;
            request.tls = channel.isTls();
            request.peer = connection->peer;
            std::string problem;
            auto result = reader.readHead(request, &problem);
            if (result == RequestReader::Result::Closed) break;
            if (result == RequestReader::Result::Ok) {
                if (containsIgnoringCase(request.header("Expect"), "100-continue"))
                    channel.write("HTTP/1.1 100 Continue\r\n\r\n");
                result = reader.readBody(request, &problem);
            }
            if (result != RequestReader::Result::Ok) {
                // Answered only when there is something to say and somebody to hear it.
                if (!problem.empty()) {
                    auto started = std::chrono::steady_clock::now();
                    int status = result == RequestReader::Result::Late ? 408 : 400;
                    HttpResponse refusal = HttpResponse::plain(problem + "\n", status);
                    size_t sent = send(channel, request, refusal, true);
                    channel.finish();
                    if (logger) logger(request, refusal, sent, millisecondsSince(started));
                    channel.drain();
                }
                break;
            }
            auto started = std::chrono::steady_clock::now();
            HttpResponse response = handler(request);
            bool close = wantsClose(request) || response.delivery != HttpResponse::Delivery::Normal;
            size_t sent = send(channel, request, response, close);
            if (logger) logger(request, response, sent, millisecondsSince(started));
            if (response.delivery == HttpResponse::Delivery::Reset) resetAtEnd = true;
            if (close) {
                if (response.delivery == HttpResponse::Delivery::Normal) channel.finish();
                break;
            }
        }
        if (resetAtEnd) channel.reset();
        std::lock_guard<std::mutex> g(lock);
        ::close(connection->fd);
        connection->fd = -1;
        connection->done = true;
    }

    static double millisecondsSince(std::chrono::steady_clock::time_point started) {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count();
    }

    // Writes the response as its delivery says; the body bytes written.
    size_t send(Channel& channel, const HttpRequest& request, const HttpResponse& response,
                bool close) {
        using Delivery = HttpResponse::Delivery;
        if (response.delivery == Delivery::Drop || response.delivery == Delivery::Reset) return 0;
        std::string body = response.body;
        bool gzipped = false;
        if (mayGzip(request, response)) {
            std::string packed = gzip(body);
            if (!packed.empty()) {
                body = std::move(packed);
                gzipped = true;
            }
        }
        bool bodiless = request.method == "HEAD" || response.status == 204 ||
                        response.status == 304 || response.status < 200;
        std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " +
                           reasonPhrase(response.status) + "\r\n";
        if (!bodiless || request.method == "HEAD")
            head += "Content-Type: " + response.contentType + "\r\n";
        head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        if (gzipped) head += "Content-Encoding: gzip\r\n";
        if (response.contentType.rfind("text/", 0) == 0) head += "Vary: Accept-Encoding\r\n";
        head += close ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
        for (const auto& h : response.headers)
            head += h.name + ": " + h.value + "\r\n";
        head += "\r\n";
        if (bodiless) {
            channel.write(head);
            return 0;
        }
        if (response.delivery == Delivery::Truncate) {
            size_t keep = std::min(response.truncateAt, body.size());
            channel.write(head + body.substr(0, keep));
            return keep;
        }
        return channel.write(head + body) ? body.size() : 0;
    }
};

HttpServer::HttpServer(Handler handler, Logger logger, HeadDeadline deadline)
    : impl_(std::make_unique<ServerImpl>()) {
    impl_->handler = std::move(handler);
    impl_->logger = std::move(logger);
    impl_->deadline = std::move(deadline);
}

HttpServer::~HttpServer() {
    stop();
}

bool HttpServer::start(int port, const std::string& certificateChainFile,
                       const std::string& keyFile, std::string* error) {
    auto fail = [&](const std::string& text) {
        if (error) *error = text;
        if (impl_->listenFd >= 0) ::close(impl_->listenFd);
        impl_->listenFd = -1;
        return false;
    };
    if (impl_->running) return fail("already running");
    ignoreBrokenPipes();
    if (impl_->tls) SSL_CTX_free(impl_->tls);  // from an earlier start
    impl_->tls = nullptr;
    if (!certificateChainFile.empty() && !keyFile.empty()) {
        SSL_CTX* context = SSL_CTX_new(TLS_server_method());
        if (!context) return fail(openSslError());
        SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
        // A read side shut at the head deadline reads as the end of the stream, so that the
        // 408 can still be written.
        SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
        if (SSL_CTX_use_certificate_chain_file(context, certificateChainFile.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(context, keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_check_private_key(context) != 1) {
            std::string text = "TLS set-up: " + openSslError();
            SSL_CTX_free(context);
            return fail(text);
        }
        impl_->tls = context;
    }
    impl_->listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (impl_->listenFd < 0) return fail(std::strerror(errno));
    int one = 1;
    ::setsockopt(impl_->listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(impl_->listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return fail("bind 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno));
    if (::listen(impl_->listenFd, 128) != 0) return fail(std::strerror(errno));
    socklen_t length = sizeof address;
    ::getsockname(impl_->listenFd, reinterpret_cast<sockaddr*>(&address), &length);
    impl_->port = ntohs(address.sin_port);
    impl_->stopping = false;
    impl_->running = true;
    impl_->acceptor = std::thread([this] { impl_->acceptLoop(); });
    return true;
}

void HttpServer::stop() {
    if (!impl_->running) return;
    {
        std::lock_guard<std::mutex> g(impl_->lock);
        impl_->stopping = true;
    }
    ::shutdown(impl_->listenFd, SHUT_RDWR);
    impl_->acceptor.join();
    ::close(impl_->listenFd);
    impl_->listenFd = -1;
    std::list<std::unique_ptr<ServerImpl::Connection>> all;
    {
        std::lock_guard<std::mutex> g(impl_->lock);
        for (auto& c : impl_->connections) {
            if (c->fd >= 0) ::shutdown(c->fd, SHUT_RDWR);
        }
        all.swap(impl_->connections);
    }
    for (auto& c : all)
        c->thread.join();
    impl_->running = false;
}

int HttpServer::port() const {
    return impl_->port;
}

bool HttpServer::offersTls() const {
    return impl_->tls != nullptr;
}

}  // namespace standin
