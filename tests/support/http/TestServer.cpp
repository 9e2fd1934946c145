#include "support/http/TestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
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
#include "tools/standin/HttpServer.h"
#include "tools/standin/RequestReader.h"

namespace testhttp {

namespace {

constexpr std::size_t kBodyChunk = 256 * 1024;

using standin::lowercase;
using standin::reasonPhrase;

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

// The parts of a request-target: origin, absolute (to a proxy) or authority form (CONNECT).
void splitTarget(Request& r) {
    std::string rest = r.target;
    std::string lt = lowercase(r.target);
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
}

}  // namespace

// --- one accepted connection ------------------------------------------------------------------

// The server core's connection, read through the core's request reader.
struct ConnectionState : standin::RequestSource {
    explicit ConnectionState(standin::Connection& link) : link(link), fd(link.fd()) {}

    standin::Connection& link;
    // It stands in for any server, so it takes HTTP/1.1 requests without a Host field too.
    standin::RequestReader reader{*this, false};
    int fd;             // closed by the server core once serve() returns
    int upstream = -1;  // a proxy's connection onwards, closed under the core's mutex
    std::size_t id = 0;
    bool tls = false;
    bool peerClosed = false;

    std::size_t read(char* buffer, std::size_t size) override {
        std::size_t n = link.read(buffer, size);
        if (n == 0) peerClosed = true;
        return n;
    }
    bool sendAll(std::string_view data) { return link.write(data); }
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
    std::unique_ptr<standin::HttpServer> server;
    int port = 0;
};

struct ServerCore {
    explicit ServerCore(TestServer& owner, ServerOptions options)
        : owner(owner), options(options) {}

    TestServer& owner;
    ServerOptions options;

    mutable std::mutex mu;
    mutable std::condition_variable changed;
    std::atomic<bool> stopping{false};
    Listener plain;
    Listener secure;
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

    std::list<ConnectionState*> live;
    std::size_t nextConnectionId = 1;
    std::size_t nextSequence = 0;
    std::vector<Request> requests;
    std::map<std::size_t, ConnectionRecord> connections;

    void startListener(Listener& listener, bool tls);
    void serve(standin::Connection& link, bool tls);
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
    listener.server = std::make_unique<standin::HttpServer>(
        [this, tls](standin::Connection& link) { serve(link, tls); }, options.limits);
    std::string error;
    bool started = tls ? listener.server->startWithPem(0, certificate.certificatePem,
                                                       certificate.privateKeyPem, &error)
                       : listener.server->start(0, "", "", &error);
    if (!started) throw std::runtime_error("cannot listen on 127.0.0.1: " + error);
    listener.port = listener.server->port();
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

void ServerCore::serve(standin::Connection& link, bool tls) {
    auto c = std::make_shared<ConnectionState>(link);
    c->tls = tls;
    {
        std::lock_guard lock(mu);
        if (stopping) return;
        c->id = nextConnectionId++;
        ConnectionRecord record;
        record.id = c->id;
        record.tls = tls;
        record.clientPort = link.peerPort();
        connections[record.id] = record;
        live.push_back(c.get());
        changed.notify_all();
    }
    Response::After how = Response::After::Close;
    bool handshaken = true;
    std::string sni;
    if (c->tls) {
        if (!link.acceptTls()) {
            handshaken = false;
            c->peerClosed = true;
        } else {
            sni = link.serverName();
            std::lock_guard lock(mu);
            auto it = connections.find(c->id);
            if (it != connections.end()) it->second.sni = sni;
        }
    }
    for (std::size_t index = 0; handshaken && !stopping; ++index) {
        standin::HttpRequest head;
        std::string problem;
        auto got = c->reader.readHead(head, &problem);
        if (got == standin::RequestReader::Result::Closed) break;
        if (got != standin::RequestReader::Result::Ok) {
            // A stream that ended inside the head leaves nobody to answer.
            if (!problem.empty() && !c->peerClosed) {
                int status = got == standin::RequestReader::Result::TooLarge ? 413 : 400;
                c->sendAll("HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) +
                           "\r\nContent-Length: 0\r\n\r\n");
            }
            break;
        }
        Request request;
        request.method = head.method;
        request.target = head.target;
        request.version = head.version;
        request.requestLine = head.requestLine;
        request.head = c->reader.head();
        for (auto& field : head.headers)
            request.headers.add(std::move(field.name), std::move(field.value));
        splitTarget(request);
        request.tls = c->tls;
        request.sni = sni;
        request.connectionId = c->id;
        request.indexOnConnection = index;

        std::string connection = request.headers.value("Connection");
        bool keepAlive = request.version == "HTTP/1.0" ? hasToken(connection, "keep-alive")
                                                       : !hasToken(connection, "close");
        request.chunked = c->reader.chunked();
        request.bodyComplete = c->reader.bodyComplete();

        Exchange x(owner, *c, std::move(request));
        x.keepAliveAllowed_ = keepAlive;

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
        auto mapped = hostMap.find(lowercase(host));
        if (mapped != hostMap.end())
            port = mapped->second;
        else if (host != "127.0.0.1" && lowercase(host) != "localhost")
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
        // What the client sent after its CONNECT is the tunnel's first bytes.
        if (std::string early = c.reader.takeBuffered(); !early.empty())
            ok = ::send(up, early.data(), early.size(), MSG_NOSIGNAL) ==
                 static_cast<ssize_t>(early.size());
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
        std::string name = lowercase(f.name);
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
    // The record first: a client that sees the close may look at the record at once.
    {
        std::lock_guard lock(mu);
        auto it = connections.find(c.id);
        if (it != connections.end()) {
            it->second.open = false;
            it->second.closedByPeer = c.peerClosed && !stopping;
        }
    }
    // The server core closes the socket once serve() returns.
    if (how == Response::After::Reset)
        c.link.reset();
    else
        c.link.finish();
    std::lock_guard lock(mu);
    auto it = connections.find(c.id);
    if (it != connections.end()) it->second.closeSent = true;
    live.remove(&c);
    changed.notify_all();
}

void ServerCore::shutdown() {
    {
        std::lock_guard lock(mu);
        stopping = true;
        for (auto& weak : madeGates)
            if (auto g = weak.lock()) g->abort();
        for (Gate* g : activeGates)
            g->abort();
        for (ConnectionState* c : live)
            if (c->upstream >= 0) ::shutdown(c->upstream, SHUT_RDWR);
    }
    // Shuts every client socket down and joins every connection's thread.
    for (Listener* l : {&plain, &secure})
        if (l->server) l->server->stop();
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
    std::string out;
    std::string problem;
    if (!request_.bodyComplete) connection_.reader.readBodySome(&out, max, &problem);
    request_.bodyComplete = connection_.reader.bodyComplete();
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
    connection_.reader.takeBuffered();
    std::vector<char> scrap(65536);
    while (!server_.core_->stopping && connection_.read(scrap.data(), scrap.size()) > 0) {
    }
}

// --- TestServer -------------------------------------------------------------------------------

TestServer::TestServer() : TestServer(ServerOptions{}) {}

TestServer::TestServer(ServerOptions options)
    : core_(std::make_unique<ServerCore>(*this, options)) {
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
    {
        std::lock_guard lock(core_->mu);
        core_->certificate = generateCertificate(options);
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
    core_->hostMap[lowercase(host)] = port;
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
        return it != core_->connections.end() && it->second.closeSent;
    });
}

void TestServer::clearRecords() {
    std::lock_guard lock(core_->mu);
    core_->requests.clear();
    core_->connections.clear();
}

ClosedPort::ClosedPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error(std::string("closed port: ") + std::strerror(errno));
    port_ = ntohs(address.sin_port);
}

ClosedPort::~ClosedPort() {
    ::close(fd_);
}

std::string ClosedPort::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

}  // namespace testhttp
