#include "support/http/TestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <tuple>

#include "support/http/Certificate.h"

namespace testhttp {

namespace {

constexpr std::size_t kMaxHead = 64 * 1024;
constexpr std::size_t kMaxLine = 8 * 1024;
constexpr std::size_t kBodyChunk = 256 * 1024;

std::string reasonPhrase(int status) {
    switch (status) {
        case 100:
            return "Continue";
        case 101:
            return "Switching Protocols";
        case 200:
            return "OK";
        case 201:
            return "Created";
        case 202:
            return "Accepted";
        case 204:
            return "No Content";
        case 206:
            return "Partial Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 304:
            return "Not Modified";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 407:
            return "Proxy Authentication Required";
        case 408:
            return "Request Timeout";
        case 411:
            return "Length Required";
        case 413:
            return "Content Too Large";
        case 416:
            return "Range Not Satisfiable";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        case 504:
            return "Gateway Timeout";
        default:
            return "Status";
    }
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return std::string(s.substr(b, e - b));
}

// Whether a comma-separated field value holds the token (case-insensitive).
bool hasToken(std::string_view value, std::string_view token) {
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t comma = value.find(',', start);
        if (comma == std::string_view::npos) comma = value.size();
        if (equalsIgnoringCase(trim(value.substr(start, comma - start)), token)) return true;
        start = comma + 1;
    }
    return false;
}

bool statusHasBody(int status) {
    return !(status >= 100 && status < 200) && status != 204 && status != 304;
}

// Writes to a socket whose peer has gone must fail with EPIPE rather than end the test
// program; the signal is blocked on the server's own threads only.
void blockSigpipe() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool parseHead(const std::string& head, Request& r) {
    r.head = head;
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < head.size()) {
        std::size_t nl = head.find('\n', start);
        if (nl == std::string::npos) nl = head.size();
        std::string line = head.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = nl + 1;
    }
    if (lines.empty()) return false;
    r.requestLine = lines[0];
    std::size_t sp1 = r.requestLine.find(' ');
    std::size_t sp2 = sp1 == std::string::npos ? sp1 : r.requestLine.find(' ', sp1 + 1);
    if (sp2 == std::string::npos || r.requestLine.find(' ', sp2 + 1) != std::string::npos)
        return false;
    r.method = r.requestLine.substr(0, sp1);
    r.target = r.requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    r.version = r.requestLine.substr(sp2 + 1);
    if (r.method.empty() || r.target.empty() || r.version.rfind("HTTP/", 0) != 0) return false;

    std::string rest = r.target;
    std::string lt = lower(r.target);
    if (lt.rfind("http://", 0) == 0 || lt.rfind("https://", 0) == 0) {
        r.absoluteForm = true;
        std::size_t from = lt.find("//") + 2;
        std::size_t end = r.target.find_first_of("/?", from);
        if (end == std::string::npos) end = r.target.size();
        r.authority = r.target.substr(from, end - from);
        rest = r.target.substr(end);
        if (rest.empty() || rest[0] == '?') rest = "/" + rest;
    } else if (r.method == "CONNECT") {
        r.authority = r.target;
        rest = "/";
    }
    std::size_t q = rest.find('?');
    r.path = rest.substr(0, q);
    if (q != std::string::npos) r.query = rest.substr(q + 1);

    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        std::size_t colon = lines[i].find(':');
        if (colon == std::string::npos || colon == 0) return false;
        r.headers.add(trim(std::string_view(lines[i]).substr(0, colon)),
                      trim(std::string_view(lines[i]).substr(colon + 1)));
    }
    return true;
}

}  // namespace

// --- one accepted connection ------------------------------------------------------------------

struct ConnectionState {
    int fd = -1;        // closed by its own thread under the core's mutex
    int upstream = -1;  // a proxy's connection onwards, same rule
    SSL* ssl = nullptr;
    std::size_t id = 0;
    bool tls = false;
    std::string pending;  // read from the socket, not yet used
    std::vector<char> scratch = std::vector<char>(kBodyChunk);
    bool peerClosed = false;
    std::atomic<bool> finished{false};

    long receive(char* buffer, std::size_t size, bool peek) {
        if (size == 0) return 0;
        if (ssl) {
            int n = peek ? SSL_peek(ssl, buffer, static_cast<int>(size))
                         : SSL_read(ssl, buffer, static_cast<int>(size));
            return n > 0 ? n : 0;
        }
        for (;;) {
            ssize_t n = ::recv(fd, buffer, size, peek ? MSG_PEEK : 0);
            if (n < 0 && errno == EINTR) continue;
            return n > 0 ? static_cast<long>(n) : 0;
        }
    }

    // Appends up to `limit` bytes to `pending`; false (and peerClosed) at end of stream.
    bool fill(std::size_t limit) {
        long n = receive(scratch.data(), std::min(limit, scratch.size()), false);
        if (n <= 0) {
            peerClosed = true;
            return false;
        }
        pending.append(scratch.data(), static_cast<std::size_t>(n));
        return true;
    }

    bool sendAll(std::string_view data) {
        while (!data.empty()) {
            long n;
            if (ssl) {
                int w = SSL_write(ssl, data.data(),
                                  static_cast<int>(std::min<std::size_t>(data.size(), 1 << 30)));
                n = w > 0 ? w : -1;
            } else {
                ssize_t w = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
                if (w < 0 && errno == EINTR) continue;
                n = w;
            }
            if (n <= 0) return false;
            data.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    // Reads exactly one request head: peeks, then consumes only through the blank line, so
    // that a body the handler reads itself is still in the socket. 1 read, 0 clean end of
    // stream, -1 a truncated or oversized head.
    int readHead(std::string& head) {
        for (;;) {
            std::size_t pos = pending.find("\r\n\r\n");
            if (pos != std::string::npos) {
                head = pending.substr(0, pos + 4);
                pending.erase(0, pos + 4);
                return 1;
            }
            if (pending.size() > kMaxHead) return -1;
            long n = receive(scratch.data(), 16384, true);
            if (n <= 0) {
                peerClosed = true;
                return pending.empty() ? 0 : -1;
            }
            std::size_t searchFrom = pending.size() >= 3 ? pending.size() - 3 : 0;
            std::string combined =
                pending + std::string(scratch.data(), static_cast<std::size_t>(n));
            std::size_t end = combined.find("\r\n\r\n", searchFrom);
            std::size_t take =
                end == std::string::npos ? static_cast<std::size_t>(n) : end + 4 - pending.size();
            // Those bytes are buffered already, so these reads return at once.
            while (take > 0) {
                std::size_t before = pending.size();
                if (!fill(take)) return -1;
                take -= pending.size() - before;
            }
        }
    }

    bool readLine(std::string& line) {
        for (;;) {
            std::size_t pos = pending.find("\r\n");
            if (pos != std::string::npos) {
                line = pending.substr(0, pos);
                pending.erase(0, pos + 2);
                return true;
            }
            if (pending.size() > kMaxLine || !fill(4096)) return false;
        }
    }
};

// --- the server's state -----------------------------------------------------------------------

struct Route {
    std::string method;
    std::string path;
    bool prefix = false;
    Handler handler;
    std::size_t order = 0;
};

struct Listener {
    int fd = -1;
    int port = 0;
    bool tls = false;
    std::thread thread;
};

struct ServerCore {
    explicit ServerCore(TestServer& owner, ServerOptions options)
        : owner(owner), options(options) {}

    TestServer& owner;
    ServerOptions options;

    mutable std::mutex mu;
    mutable std::condition_variable changed;
    std::atomic<bool> stopping{false};
    int wakeFd = -1;
    Listener plain;
    Listener secure;
    SSL_CTX* sslContext = nullptr;
    GeneratedCertificate certificate;
    std::mutex tlsStartMu;

    std::mutex routesMu;
    std::vector<Route> routes;
    std::size_t routeOrder = 0;

    bool proxyEnabled = false;
    std::string proxyUser, proxyPassword;
    std::map<std::string, int> hostMap;

    std::vector<std::weak_ptr<Gate>> madeGates;
    std::vector<Gate*> activeGates;

    struct Worker {
        std::thread thread;
        std::shared_ptr<ConnectionState> state;
    };
    std::list<Worker> workers;
    std::size_t nextConnectionId = 1;
    std::size_t nextSequence = 0;
    std::vector<Request> requests;
    std::map<std::size_t, ConnectionRecord> connections;

    void startListener(Listener& listener, bool tls);
    void acceptLoop(Listener& listener);
    void reapFinished();
    void serve(std::shared_ptr<ConnectionState> c);
    void serveExchange(ConnectionState& c, Exchange& x, const Handler& handler);
    bool serveProxy(ConnectionState& c, Exchange& x);
    int connectUpstream(ConnectionState& c, const std::string& authority, int defaultPort);
    void closeUpstream(ConnectionState& c);
    void finish(ConnectionState& c, Response::After how);
    Handler findRoute(const Request& r);
    void recordRequest(Exchange& x);
    void updateRequest(const Request& r);
    void shutdown();
};

void ServerCore::startListener(Listener& listener, bool tls) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (options.receiveBufferSize > 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &options.receiveBufferSize,
                   sizeof options.receiveBufferSize);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 128) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    listener.fd = fd;
    listener.tls = tls;
    listener.port = ntohs(addr.sin_port);
    listener.thread = std::thread([this, &listener] { acceptLoop(listener); });
}

void ServerCore::acceptLoop(Listener& listener) {
    blockSigpipe();
    for (;;) {
        pollfd p[2] = {{listener.fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        int n = ::poll(p, 2, -1);
        if (n < 0 && errno == EINTR) continue;
        if (stopping) return;
        if (!(p[0].revents & POLLIN)) continue;
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        int fd = ::accept4(listener.fd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0) continue;
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        reapFinished();
        auto state = std::make_shared<ConnectionState>();
        state->fd = fd;
        state->tls = listener.tls;
        std::lock_guard lock(mu);
        state->id = nextConnectionId++;
        ConnectionRecord record;
        record.id = state->id;
        record.tls = listener.tls;
        record.clientPort = ntohs(peer.sin_port);
        connections[record.id] = record;
        changed.notify_all();
        workers.push_back({std::thread([this, state] { serve(state); }), state});
    }
}

void ServerCore::reapFinished() {
    std::list<Worker> done;
    {
        std::lock_guard lock(mu);
        for (auto it = workers.begin(); it != workers.end();) {
            auto next = std::next(it);
            if (it->state->finished) done.splice(done.end(), workers, it);
            it = next;
        }
    }
    for (Worker& w : done)
        w.thread.join();
}

Handler ServerCore::findRoute(const Request& r) {
    std::lock_guard lock(routesMu);
    const Route* best = nullptr;
    auto rank = [](const Route& route) {
        return std::make_tuple(!route.prefix, route.path.size(), route.order);
    };
    for (const Route& route : routes) {
        if (route.method != "*" && route.method != r.method) continue;
        bool matches = route.prefix ? r.path.compare(0, route.path.size(), route.path) == 0
                                    : r.path == route.path;
        if (matches && (!best || rank(route) > rank(*best))) best = &route;
    }
    if (best) return best->handler;
    return Handler([](const Request& req) {
        return Response(404, "no route for " + req.method + " " + req.path + "\n");
    });
}

void ServerCore::recordRequest(Exchange& x) {
    std::lock_guard lock(mu);
    x.request_.sequence = nextSequence++;
    requests.push_back(x.request_);
    auto it = connections.find(x.request_.connectionId);
    if (it != connections.end()) ++it->second.requests;
    changed.notify_all();
}

void ServerCore::updateRequest(const Request& r) {
    std::lock_guard lock(mu);
    for (auto it = requests.rbegin(); it != requests.rend(); ++it) {
        if (it->sequence == r.sequence) {
            *it = r;
            break;
        }
    }
    changed.notify_all();
}

void ServerCore::serve(std::shared_ptr<ConnectionState> c) {
    blockSigpipe();
    Response::After how = Response::After::Close;
    bool handshaken = true;
    std::string sni;
    if (c->tls) {
        c->ssl = SSL_new(sslContext);
        SSL_set_fd(c->ssl, c->fd);
        if (SSL_accept(c->ssl) <= 0) {
            handshaken = false;
            c->peerClosed = true;
            ERR_clear_error();
        } else if (const char* name = SSL_get_servername(c->ssl, TLSEXT_NAMETYPE_host_name)) {
            sni = name;
            std::lock_guard lock(mu);
            auto it = connections.find(c->id);
            if (it != connections.end()) it->second.sni = sni;
        }
    }
    for (std::size_t index = 0; handshaken && !stopping; ++index) {
        std::string head;
        int got = c->readHead(head);
        if (got == 0) break;
        Request request;
        if (got < 0 || !parseHead(head, request)) {
            if (!c->peerClosed) c->sendAll("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
            break;
        }
        request.tls = c->tls;
        request.sni = sni;
        request.connectionId = c->id;
        request.indexOnConnection = index;

        std::string connection = request.headers.value("Connection");
        bool keepAlive = request.version == "HTTP/1.0" ? hasToken(connection, "keep-alive")
                                                       : !hasToken(connection, "close");
        bool chunkedBody = hasToken(request.headers.value("Transfer-Encoding"), "chunked");
        std::uint64_t length = 0;
        if (!chunkedBody && request.headers.has("Content-Length")) {
            std::string text = request.headers.value("Content-Length");
            char* end = nullptr;
            errno = 0;
            length = std::strtoull(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || errno != 0 || text[0] == '-') {
                c->sendAll("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
                break;
            }
        }
        request.chunked = chunkedBody;
        request.bodyComplete = !chunkedBody && length == 0;

        Exchange x(owner, *c, std::move(request));
        x.keepAliveAllowed_ = keepAlive;
        x.bodyLeft_ = length;
        x.chunkState_ = chunkedBody ? 0 : 2;

        bool proxied = false;
        {
            std::lock_guard lock(mu);
            proxied = proxyEnabled && !c->tls &&
                      (x.request_.method == "CONNECT" || x.request_.absoluteForm);
        }
        if (proxied) {
            if (!serveProxy(*c, x)) break;
            continue;
        }
        serveExchange(*c, x, findRoute(x.request_));
        if (x.closeAfter_ != Response::After::Default) {
            how = x.closeAfter_;
            break;
        }
        if (!x.keepAliveAllowed_ || c->peerClosed || stopping) break;
        if (!x.bodyComplete()) {
            // Keep the framing: what the handler left unread belongs to this request.
            x.readBody();
            updateRequest(x.request_);
            if (!x.bodyComplete()) break;
        }
    }
    finish(*c, how);
}

void ServerCore::serveExchange(ConnectionState& c, Exchange& x, const Handler& handler) {
    if (!handler.readsBody && !x.bodyComplete()) {
        if (hasToken(x.request_.headers.value("Expect"), "100-continue"))
            c.sendAll("HTTP/1.1 100 Continue\r\n\r\n");
        x.readBody();
    }
    recordRequest(x);
    try {
        handler.run(x);
    } catch (const std::exception& e) {
        if (!x.wrote_) x.respond(Response(500, std::string("handler failed: ") + e.what() + "\n"));
        x.close();
    }
    if (!x.wrote_ && x.closeAfter_ == Response::After::Default && !c.peerClosed && !stopping) {
        x.respond(Response(500, "handler sent no answer\n"));
        x.close();
    }
    updateRequest(x.request_);
}

int ServerCore::connectUpstream(ConnectionState& c, const std::string& authority, int defaultPort) {
    std::string host = authority;
    int port = defaultPort;
    std::size_t colon = authority.rfind(':');
    if (colon != std::string::npos) {
        host = authority.substr(0, colon);
        port = std::atoi(authority.c_str() + colon + 1);
    }
    {
        std::lock_guard lock(mu);
        auto mapped = hostMap.find(lower(host));
        if (mapped != hostMap.end())
            port = mapped->second;
        else if (host != "127.0.0.1" && lower(host) != "localhost")
            return -1;
    }
    if (port <= 0 || port > 65535) return -1;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard lock(mu);
    c.upstream = fd;
    if (stopping) ::shutdown(fd, SHUT_RDWR);
    return fd;
}

void ServerCore::closeUpstream(ConnectionState& c) {
    std::lock_guard lock(mu);
    if (c.upstream >= 0) ::close(c.upstream);
    c.upstream = -1;
}

// Returns whether the client connection stays open for another request.
bool ServerCore::serveProxy(ConnectionState& c, Exchange& x) {
    Request& req = x.request_;
    bool connect = req.method == "CONNECT";
    if (!connect) x.readBody();
    recordRequest(x);
    std::string user, password;
    {
        std::lock_guard lock(mu);
        user = proxyUser;
        password = proxyPassword;
    }
    auto keep = [&] { return x.keepAliveAllowed_ && x.closeAfter_ == Response::After::Default; };
    if (!user.empty() &&
        req.headers.value("Proxy-Authorization") != "Basic " + base64(user + ":" + password)) {
        Response challenge(407, "proxy authentication required\n");
        challenge.header("Proxy-Authenticate", "Basic realm=\"proxy\"");
        // A refused tunnel is not kept: the client tries again on a new connection.
        if (connect) challenge.header("Connection", "close");
        x.respond(challenge);
        return keep() && !connect;
    }
    int up = connectUpstream(c, req.authority, connect ? 443 : 80);
    if (up < 0) {
        x.respond(Response(502, "cannot reach " + req.authority + "\n"));
        return keep() && !connect;
    }
    if (connect) {
        {
            std::lock_guard lock(mu);
            auto it = connections.find(c.id);
            if (it != connections.end()) it->second.tunnel = true;
        }
        x.write("HTTP/1.1 200 Connection established\r\n\r\n");
        bool ok = true;
        if (!c.pending.empty()) {
            ok = ::send(up, c.pending.data(), c.pending.size(), MSG_NOSIGNAL) ==
                 static_cast<ssize_t>(c.pending.size());
            c.pending.clear();
        }
        std::vector<char> buffer(65536);
        while (ok && !stopping) {
            pollfd p[2] = {{c.fd, POLLIN, 0}, {up, POLLIN, 0}};
            if (::poll(p, 2, -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            for (int i = 0; i < 2 && ok; ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                int from = i == 0 ? c.fd : up, to = i == 0 ? up : c.fd;
                ssize_t n = ::recv(from, buffer.data(), buffer.size(), 0);
                if (n <= 0) {
                    if (i == 0) c.peerClosed = true;
                    ok = false;
                    break;
                }
                ok = ::send(to, buffer.data(), static_cast<std::size_t>(n), MSG_NOSIGNAL) == n;
            }
        }
        closeUpstream(c);
        return false;
    }
    // Forward in origin form; "Connection: close" makes the end of the answer the end of the
    // upstream stream, so the relay needs no parsing.
    std::string out = req.method + " " + req.path + (req.query.empty() ? "" : "?" + req.query) +
                      " " + req.version + "\r\n";
    bool hostSeen = false;
    for (const auto& f : req.headers) {
        std::string name = lower(f.name);
        if (name == "proxy-authorization" || name == "proxy-connection" || name == "connection" ||
            name == "keep-alive" || name == "transfer-encoding" || name == "content-length")
            continue;
        hostSeen = hostSeen || name == "host";
        out += f.name + ": " + f.value + "\r\n";
    }
    if (!hostSeen) out += "Host: " + req.authority + "\r\n";
    if (!req.body.empty() || req.headers.has("Content-Length") || req.chunked)
        out += "Content-Length: " + std::to_string(req.body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n" + req.body;
    bool ok = ::send(up, out.data(), out.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(out.size());
    std::vector<char> buffer(65536);
    while (ok) {
        ssize_t n = ::recv(up, buffer.data(), buffer.size(), 0);
        if (n <= 0) break;
        ok = x.write(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
    closeUpstream(c);
    return false;
}

void ServerCore::finish(ConnectionState& c, Response::After how) {
    if (c.ssl) {
        if (how != Response::After::Reset && !c.peerClosed && !stopping) SSL_shutdown(c.ssl);
        SSL_free(c.ssl);
        c.ssl = nullptr;
    }
    {
        std::lock_guard lock(mu);
        if (how == Response::After::Reset) {
            linger l{1, 0};
            setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        } else {
            ::shutdown(c.fd, SHUT_WR);
        }
        ::close(c.fd);
        c.fd = -1;
        auto it = connections.find(c.id);
        if (it != connections.end()) {
            it->second.open = false;
            it->second.closedByPeer = c.peerClosed && !stopping;
        }
        changed.notify_all();
    }
    c.finished = true;
}

void ServerCore::shutdown() {
    {
        std::lock_guard lock(mu);
        stopping = true;
    }
    std::uint64_t one = 1;
    if (wakeFd >= 0) [[maybe_unused]]
        auto n = ::write(wakeFd, &one, sizeof one);
    for (Listener* l : {&plain, &secure}) {
        if (l->thread.joinable()) l->thread.join();
        if (l->fd >= 0) ::close(l->fd);
        l->fd = -1;
    }
    {
        std::lock_guard lock(mu);
        for (auto& weak : madeGates)
            if (auto g = weak.lock()) g->abort();
        for (Gate* g : activeGates)
            g->abort();
        for (Worker& w : workers) {
            if (w.state->fd >= 0) ::shutdown(w.state->fd, SHUT_RDWR);
            if (w.state->upstream >= 0) ::shutdown(w.state->upstream, SHUT_RDWR);
        }
    }
    for (;;) {
        std::list<Worker> all;
        {
            std::lock_guard lock(mu);
            all.splice(all.end(), workers);
        }
        if (all.empty()) break;
        for (Worker& w : all)
            w.thread.join();
    }
    if (wakeFd >= 0) ::close(wakeFd);
    wakeFd = -1;
    if (sslContext) SSL_CTX_free(sslContext);
    sslContext = nullptr;
}

// --- Exchange ---------------------------------------------------------------------------------

bool Exchange::respond(const Response& r) {
    bool head = request_.method == "HEAD";
    bool bodyStatus = statusHasBody(r.status);
    std::string connection = r.headers.value("Connection");
    bool chunkedBody = hasToken(r.headers.value("Transfer-Encoding"), "chunked");
    bool hasLength = r.headers.has("Content-Length");

    std::string out = r.version + " " + std::to_string(r.status) + " " +
                      (r.reason.empty() ? reasonPhrase(r.status) : r.reason) + "\r\n";
    for (const auto& f : r.headers)
        out += f.name + ": " + f.value + "\r\n";
    if (r.length == Response::Length::Auto && !hasLength && !chunkedBody && bodyStatus) {
        out += "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
        hasLength = true;
    }
    out += "\r\n";
    if (!head && bodyStatus) out += r.body;

    bool closing = r.after != Response::After::Default || hasToken(connection, "close") ||
                   (r.version == "HTTP/1.0" && !hasToken(connection, "keep-alive")) ||
                   (bodyStatus && !head && !hasLength && !chunkedBody);
    if (closing) {
        keepAliveAllowed_ = false;
        if (r.after != Response::After::Default) closeAfter_ = r.after;
    }
    return write(out);
}

bool Exchange::write(std::string_view bytes) {
    // The record is brought up to date before the client can see an answer, so that a test
    // that has its answer also finds what the handler read.
    if (!wrote_) server_.core_->updateRequest(request_);
    wrote_ = true;
    return connection_.sendAll(bytes);
}

bool Exchange::writeHead(int status, const Headers& headers, std::string_view reason,
                         std::string_view version) {
    std::string out = std::string(version) + " " + std::to_string(status) + " " +
                      (reason.empty() ? reasonPhrase(status) : std::string(reason)) + "\r\n";
    for (const auto& f : headers)
        out += f.name + ": " + f.value + "\r\n";
    out += "\r\n";
    return write(out);
}

bool Exchange::writeChunk(std::string_view slice) {
    if (slice.empty()) return true;
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", slice.size());
    std::string out = size;
    out.append(slice);
    out += "\r\n";
    return write(out);
}

bool Exchange::endChunks(std::string_view trailers) {
    std::string out = "0\r\n";
    out.append(trailers);
    out += "\r\n";
    return write(out);
}

bool Exchange::wait(Gate& gate) {
    ServerCore& core = *server_.core_;
    {
        std::lock_guard lock(core.mu);
        if (core.stopping) return false;
        core.activeGates.push_back(&gate);
    }
    bool passed = gate.pass();
    {
        std::lock_guard lock(core.mu);
        auto it = std::find(core.activeGates.begin(), core.activeGates.end(), &gate);
        if (it != core.activeGates.end()) core.activeGates.erase(it);
    }
    return passed && !core.stopping;
}

std::string Exchange::readBodySome(std::size_t max) {
    ConnectionState& c = connection_;
    std::string out;
    while (out.empty() && !request_.bodyComplete && max > 0) {
        if (chunkState_ == 0) {
            std::string line;
            if (!c.readLine(line)) break;
            char* end = nullptr;
            errno = 0;
            std::uint64_t size = std::strtoull(line.c_str(), &end, 16);
            if (end == line.c_str() || errno != 0) break;
            if (size == 0) {
                while (c.readLine(line) && !line.empty()) {
                }
                chunkState_ = 2;
                request_.bodyComplete = true;
                break;
            }
            bodyLeft_ = size;
            chunkState_ = 1;
            continue;
        }
        std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(bodyLeft_, max));
        if (c.pending.empty() && !c.fill(want)) break;
        std::size_t take = std::min(want, c.pending.size());
        out.append(c.pending, 0, take);
        c.pending.erase(0, take);
        bodyLeft_ -= take;
        if (bodyLeft_ == 0) {
            if (chunkState_ == 1) {
                std::string crlf;
                if (!c.readLine(crlf)) break;
                chunkState_ = 0;
            } else {
                request_.bodyComplete = true;
            }
        }
    }
    request_.body += out;
    return out;
}

std::string Exchange::readBody() {
    std::string all;
    while (!request_.bodyComplete) {
        std::string slice = readBodySome(kBodyChunk);
        if (slice.empty() && !request_.bodyComplete) break;
        all += slice;
    }
    return all;
}

void Exchange::waitForPeerClose() {
    ConnectionState& c = connection_;
    c.pending.clear();
    while (!server_.core_->stopping && c.fill(65536))
        c.pending.clear();
}

// --- TestServer -------------------------------------------------------------------------------

TestServer::TestServer() : TestServer(ServerOptions{}) {}

TestServer::TestServer(ServerOptions options)
    : core_(std::make_unique<ServerCore>(*this, options)) {
    core_->wakeFd = ::eventfd(0, EFD_CLOEXEC);
    if (core_->wakeFd < 0) throw std::runtime_error("eventfd failed");
    core_->startListener(core_->plain, false);
}

TestServer::~TestServer() {
    core_->shutdown();
}

int TestServer::port() const {
    return core_->plain.port;
}

std::string TestServer::url(std::string_view path, std::string_view host) const {
    return "http://" + std::string(host) + ":" + std::to_string(port()) + std::string(path);
}

std::string TestServer::hostPort() const {
    return "127.0.0.1:" + std::to_string(port());
}

int TestServer::startTls(const TlsOptions& options) {
    std::lock_guard once(core_->tlsStartMu);
    if (core_->secure.port) return core_->secure.port;
    GeneratedCertificate cert = generateCertificate(options);
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx) throw std::runtime_error("SSL_CTX_new failed");
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    BIO* certBio =
        BIO_new_mem_buf(cert.certificatePem.data(), static_cast<int>(cert.certificatePem.size()));
    X509* x509 = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
    BIO_free(certBio);
    BIO* keyBio =
        BIO_new_mem_buf(cert.privateKeyPem.data(), static_cast<int>(cert.privateKeyPem.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    BIO_free(keyBio);
    bool ok = x509 && key && SSL_CTX_use_certificate(ctx, x509) == 1 &&
              SSL_CTX_use_PrivateKey(ctx, key) == 1;
    X509_free(x509);
    EVP_PKEY_free(key);
    if (!ok) {
        SSL_CTX_free(ctx);
        throw std::runtime_error("cannot load the generated certificate");
    }
    {
        std::lock_guard lock(core_->mu);
        core_->certificate = cert;
        core_->sslContext = ctx;
    }
    core_->startListener(core_->secure, true);
    return core_->secure.port;
}

int TestServer::tlsPort() const {
    return core_->secure.port;
}

std::string TestServer::tlsUrl(std::string_view path, std::string_view host) const {
    return "https://" + std::string(host) + ":" + std::to_string(tlsPort()) + std::string(path);
}

std::string TestServer::certificatePem() const {
    std::lock_guard lock(core_->mu);
    return core_->certificate.certificatePem;
}

std::string TestServer::privateKeyPem() const {
    std::lock_guard lock(core_->mu);
    return core_->certificate.privateKeyPem;
}

void TestServer::route(std::string method, std::string path, Handler handler) {
    std::lock_guard lock(core_->routesMu);
    core_->routes.push_back(
        {std::move(method), std::move(path), false, std::move(handler), core_->routeOrder++});
}

void TestServer::routePrefix(std::string method, std::string prefix, Handler handler) {
    std::lock_guard lock(core_->routesMu);
    core_->routes.push_back(
        {std::move(method), std::move(prefix), true, std::move(handler), core_->routeOrder++});
}

void TestServer::clearRoutes() {
    std::lock_guard lock(core_->routesMu);
    core_->routes.clear();
}

void TestServer::enableProxy(std::string user, std::string password) {
    std::lock_guard lock(core_->mu);
    core_->proxyEnabled = true;
    core_->proxyUser = std::move(user);
    core_->proxyPassword = std::move(password);
}

void TestServer::mapHost(std::string host, int port) {
    std::lock_guard lock(core_->mu);
    core_->hostMap[lower(host)] = port;
}

std::shared_ptr<Gate> TestServer::gate() {
    auto g = std::make_shared<Gate>();
    std::lock_guard lock(core_->mu);
    core_->madeGates.push_back(g);
    return g;
}

std::vector<Request> TestServer::requests() const {
    std::lock_guard lock(core_->mu);
    return core_->requests;
}

std::vector<ConnectionRecord> TestServer::connections() const {
    std::lock_guard lock(core_->mu);
    std::vector<ConnectionRecord> out;
    for (const auto& [id, record] : core_->connections)
        out.push_back(record);
    return out;
}

std::size_t TestServer::requestCount() const {
    std::lock_guard lock(core_->mu);
    return core_->requests.size();
}

std::size_t TestServer::connectionCount() const {
    std::lock_guard lock(core_->mu);
    return core_->connections.size();
}

std::optional<Request> TestServer::lastRequest() const {
    std::lock_guard lock(core_->mu);
    if (core_->requests.empty()) return std::nullopt;
    return core_->requests.back();
}

std::vector<Request> TestServer::requestsTo(std::string_view path) const {
    std::lock_guard lock(core_->mu);
    std::vector<Request> out;
    for (const Request& r : core_->requests)
        if (r.path == path) out.push_back(r);
    return out;
}

bool TestServer::waitForRequests(std::size_t count, double realSeconds) const {
    std::unique_lock lock(core_->mu);
    return core_->changed.wait_for(lock, std::chrono::duration<double>(realSeconds),
                                   [&] { return core_->requests.size() >= count; });
}

bool TestServer::waitForConnectionClosed(std::size_t connectionId, double realSeconds) const {
    std::unique_lock lock(core_->mu);
    return core_->changed.wait_for(lock, std::chrono::duration<double>(realSeconds), [&] {
        auto it = core_->connections.find(connectionId);
        return it != core_->connections.end() && !it->second.open;
    });
}

void TestServer::clearRecords() {
    std::lock_guard lock(core_->mu);
    core_->requests.clear();
    core_->connections.clear();
}

}  // namespace testhttp
