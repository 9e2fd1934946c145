// A scriptable HTTP/1.1 server on 127.0.0.1 for the network tests, on the stand-in servers' core
// (its connections handed to raw handlers): plain and TLS listeners on free ports, routes to
// handlers that answer with a response object or take raw control of the socket, ready-made
// behaviours (echo, charsets, compression, chunking, redirects, cookies, keep-alive variants,
// silence, slow uploads, authentication challenges, a proxy), and a record of every connection and
// request so that tests can assert reuse and ordering.
//
// Every connection is served on a thread of its own; nothing a test relies on waits on time (the
// core's idle and send limits lie far beyond any test). What must be slow or silent waits on a
// Gate that the test opens. The destructor closes every socket, wakes every waiting handler and
// joins every thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "tools/standin/HttpMessage.h"
#include "tools/standin/HttpServer.h"

namespace testhttp {

// Header fields in the order they were sent or added; names compare case-insensitively.
class Headers {
public:
    using Field = standin::HeaderField;

    Headers() = default;
    Headers(std::initializer_list<Field> fields) : fields_(fields) {}

    void add(std::string name, std::string value);
    // Replaces every field of that name by one (at the place of the first, else at the end).
    void set(std::string name, std::string value);
    void remove(std::string_view name);

    bool has(std::string_view name) const;
    // The first value of that name, nullopt when absent.
    std::optional<std::string> get(std::string_view name) const;
    // The first value of that name, "" when absent.
    std::string value(std::string_view name) const;
    std::vector<std::string> all(std::string_view name) const;
    std::size_t count(std::string_view name) const;

    const std::vector<Field>& fields() const { return fields_; }
    std::size_t size() const { return fields_.size(); }
    bool empty() const { return fields_.empty(); }
    auto begin() const { return fields_.begin(); }
    auto end() const { return fields_.end(); }

private:
    std::vector<Field> fields_;
};

using standin::equalsIgnoringCase;

// One request as the server read it.
struct Request {
    std::string method;
    std::string target;       // the request-target as sent (origin, absolute or authority form)
    std::string path;         // the target's path, without query ("/" for authority form)
    std::string query;        // after "?", without it
    std::string authority;    // "host[:port]" of an absolute or authority-form target
    std::string version;      // "HTTP/1.1"
    std::string requestLine;  // without CRLF
    std::string head;         // request line and header lines as received, through the blank line
    Headers headers;
    std::string body;          // the body bytes, chunk framing removed, content otherwise untouched
    bool chunked = false;      // the body came with Transfer-Encoding: chunked
    bool bodyComplete = true;  // false while a handler that reads the body itself has not done so
    bool absoluteForm = false;  // "GET http://host/path" as sent to a proxy

    bool tls = false;
    std::string sni;                    // the server name the TLS client asked for, "" without
    std::size_t connectionId = 0;       // 1 for the first connection the server accepted
    std::size_t indexOnConnection = 0;  // 0 for the first request on its connection
    std::size_t sequence = 0;           // 0 for the first request the server read

    std::string header(std::string_view name) const { return headers.value(name); }
};

// What a handler answers with. Unless the headers say otherwise, a Content-Length is added
// (Length::Auto); bodies of HEAD, 1xx, 204 and 304 are not sent.
struct Response {
    enum class Length { Auto, None };  // None: no length header, the body ends at close
    enum class After { Default, Close, Reset };

    int status = 200;
    std::string reason;  // "" gives the standard phrase
    std::string version = "HTTP/1.1";
    Headers headers;
    std::string body;
    Length length = Length::Auto;
    // Default keeps the connection unless the exchange calls for closing (Connection: close on
    // either side, HTTP/1.0 without keep-alive, a body that ends at close). Close ends it after
    // the response with an orderly shutdown, even when the response announced keep-alive;
    // Reset ends it abortively (RST).
    After after = After::Default;

    Response() = default;
    Response(int status, std::string body = "", std::string contentType = "text/plain");
    Response& header(std::string name, std::string value) {
        headers.add(std::move(name), std::move(value));
        return *this;
    }
};

class TestServer;
class Gate;
struct ConnectionState;
struct ServerCore;

// One request being served; a handler uses it to answer, or to drive the socket by hand.
// Writes report false once the peer has gone or the server is stopping.
class Exchange {
public:
    const Request& request() const { return request_; }
    TestServer& server() { return server_; }

    // Answers with a complete response (and honours its `after`).
    bool respond(const Response& response);
    // Raw bytes, exactly as given.
    bool write(std::string_view bytes);
    // A status line and header fields, then the blank line; nothing added.
    bool writeHead(int status, const Headers& headers, std::string_view reason = {},
                   std::string_view version = "HTTP/1.1");
    // One chunk of a chunked body; an empty slice is skipped (use endChunks to end the body).
    bool writeChunk(std::string_view slice);
    bool endChunks(std::string_view trailers = {});

    // Blocks until the gate lets this exchange through; false when the server is stopping.
    bool wait(Gate& gate);

    // For handlers that read the body themselves (Handler::readsBody): up to `max` bytes of
    // body content (chunk framing removed); "" once the body is complete or the peer has gone.
    std::string readBodySome(std::size_t max);
    // The rest of the body; also stored in request().body.
    std::string readBody();
    bool bodyComplete() const { return request_.bodyComplete; }

    // Reads and drops whatever the peer sends until it closes (or the server stops).
    void waitForPeerClose();

    // After the handler returns, end the connection: orderly, or with a reset.
    void close() { closeAfter_ = Response::After::Close; }
    void reset() { closeAfter_ = Response::After::Reset; }

    bool wroteAnything() const { return wrote_; }

    Exchange(TestServer& server, ConnectionState& connection, Request request)
        : server_(server), connection_(connection), request_(std::move(request)) {}

private:
    friend struct ServerCore;
    TestServer& server_;
    ConnectionState& connection_;
    Request request_;
    Response::After closeAfter_ = Response::After::Default;
    bool keepAliveAllowed_ = true;
    bool wrote_ = false;
};

// A handler: either `Response(const Request&)` or `void(Exchange&)`. By default the server
// reads the whole body before calling it; with readsBody the handler is called after the head
// and reads the body itself (Exchange::readBodySome), so that uploads can be read slowly.
struct Handler {
    std::function<void(Exchange&)> run;
    bool readsBody = false;

    Handler() = default;
    template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, Handler>>>
    Handler(F f, bool readsBodyItself = false) : readsBody(readsBodyItself) {
        if constexpr (std::is_invocable_r_v<Response, F&, const Request&>) {
            run = [f = std::move(f)](Exchange& x) mutable { x.respond(f(x.request())); };
        } else {
            static_assert(std::is_invocable_v<F&, Exchange&>,
                          "a handler takes (const Request&) -> Response or (Exchange&)");
            run = std::move(f);
        }
    }
    explicit operator bool() const { return static_cast<bool>(run); }
};

// A test-controlled valve. open() lets every wait through, now and later; release(n) lets n
// waits through, one each (ticks of a slow reader). A gate made by a server lets everything
// through once that server stops, so that no handler outlives it.
class Gate {
public:
    void open();
    void close();  // later waits block again
    void release(std::size_t count = 1);
    // How many exchanges are blocked in wait() right now.
    std::size_t waiting() const;
    // How many waits have passed in total.
    std::size_t passed() const;
    // Blocks the test until at least `count` exchanges wait here; false after `realSeconds`.
    bool waitUntilWaiting(std::size_t count, double realSeconds = 5.0) const;
    // Blocks the test until at least `count` waits have passed; false after `realSeconds`.
    bool waitUntilPassed(std::size_t count, double realSeconds = 5.0) const;

    // Used by Exchange::wait: true when let through, false when aborted.
    bool pass();
    void abort();

    struct State;
    Gate();
    ~Gate();
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;

private:
    std::unique_ptr<State> state_;
};

struct ConnectionRecord {
    std::size_t id = 0;  // 1, 2, ... in accept order
    bool tls = false;
    std::string sni;
    int clientPort = 0;
    std::size_t requests = 0;   // requests read on it so far
    bool tunnel = false;        // a proxy CONNECT tunnel
    bool open = true;           // false once the server has closed its socket
    bool closedByPeer = false;  // the client closed first (read end of stream or an error)
    bool closeSent = false;     // the server's end has gone out (a reset's when serve() returns)
};

struct TlsOptions {
    enum class Key { EC, RSA };
    Key key = Key::EC;
    // Subject alternative names besides IP 127.0.0.1 and DNS "localhost".
    std::vector<std::string> names;
    // Without those two, for tests of the client's name checks that want only their own names.
    bool loopbackNames = true;
    std::string commonName = "localhost";
    // Validity ended yesterday (for clients that must accept or refuse an expired certificate).
    bool expired = false;
};

struct ServerOptions {
    // The stand-in servers' limits; receiveBufferSize, for one: a small buffer makes a slowly
    // read upload stall the client early.
    standin::ServerLimits limits;
};

class TestServer {
public:
    TestServer();
    explicit TestServer(ServerOptions options);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    // --- listeners -------------------------------------------------------------------------
    int port() const;
    // "http://127.0.0.1:<port><path>"; another host name for clients that map it to loopback.
    std::string url(std::string_view path = "/", std::string_view host = "127.0.0.1") const;
    std::string hostPort() const;  // "127.0.0.1:<port>"

    // Starts the HTTPS listener (once) with a certificate made now; same routes and records.
    int startTls(const TlsOptions& options = {});
    int tlsPort() const;  // 0 before startTls
    std::string tlsUrl(std::string_view path = "/", std::string_view host = "127.0.0.1") const;
    std::string certificatePem() const;  // the listener's certificate, for clients to trust
    std::string privateKeyPem() const;

    // --- routes ----------------------------------------------------------------------------
    // Method "*" matches any. An exact path beats a prefix, a longer prefix beats a shorter
    // one, and a later route beats an earlier one of the same rank. Paths exclude the query.
    // Unrouted requests get 404.
    void route(std::string method, std::string path, Handler handler);
    void routePrefix(std::string method, std::string prefix, Handler handler);
    void clearRoutes();

    // --- proxy mode ------------------------------------------------------------------------
    // On the plain listener: absolute-form requests are forwarded to their origin (with
    // "Connection: close"; the answer is relayed and the client connection closed after it),
    // CONNECT opens a tunnel. Targets are 127.0.0.1, "localhost", or names given to mapHost;
    // others get 502. With credentials, requests without a matching Basic Proxy-Authorization
    // get 407. Without proxy mode, absolute-form requests are routed by their path.
    void enableProxy(std::string user = {}, std::string password = {});
    void mapHost(std::string host, int port);  // host -> 127.0.0.1:port, for the proxy

    // --- gates -----------------------------------------------------------------------------
    std::shared_ptr<Gate> gate();

    // --- records (thread-safe copies) ------------------------------------------------------
    std::vector<Request> requests() const;
    std::vector<ConnectionRecord> connections() const;
    std::size_t requestCount() const;
    std::size_t connectionCount() const;
    std::optional<Request> lastRequest() const;
    // Requests whose path equals `path`.
    std::vector<Request> requestsTo(std::string_view path) const;
    // Blocks the calling thread (not for tests that must run their own run loop meanwhile).
    bool waitForRequests(std::size_t count, double realSeconds = 5.0) const;
    // Until the close has gone out, so that the client's next look at the connection sees it.
    bool waitForConnectionClosed(std::size_t connectionId, double realSeconds = 5.0) const;
    // Forgets every record; connection ids and sequence numbers go on counting, and a
    // connection still open is no longer reported.
    void clearRecords();

private:
    friend class Exchange;
    std::unique_ptr<ServerCore> core_;
};

// --- ready-made behaviours --------------------------------------------------------------------
// Each returns a Handler for route()/routePrefix().

// Answers the same response every time.
Handler respondWith(Response response);
Handler text(std::string body, std::string contentType = "text/plain", int status = 200);
// 200 "text/plain" (no charset): the request line, CRLF, the header lines as received, the
// blank line, then the body bytes as received (chunk framing removed).
Handler echo();
// The text converted from UTF-8 to `charset` (ICU names), sent with a Content-Type of
// "<mediaType>; charset=<charset>".
Handler inCharset(std::string_view utf8, std::string charset, std::string mediaType = "text/html");
// Bodies with Content-Encoding "gzip" or "deflate" (zlib format).
Handler gzipped(std::string body, std::string contentType = "text/plain");
Handler zlibDeflated(std::string body, std::string contentType = "text/plain");
// The first `keep` bytes of the gzip form of `body`, sent with a Content-Length of `keep`.
Handler truncatedGzip(std::string body, std::size_t keep);
// A gzip body of full length whose compressed data is corrupt past the gzip header.
Handler damagedGzip(std::string body);
// 200 with the body and the "ETag" field as given; a request whose "If-None-Match" names the
// same tag (weak or strong, quoted or not, or "*") gets 304 with the tag and no body.
Handler etagged(std::string body, std::string etag, std::string contentType = "text/plain");
// Transfer-Encoding: chunked, one chunk per slice (empty slices skipped).
Handler chunked(std::vector<std::string> slices, std::string contentType = "text/plain");
// patternBytes(size), with a Content-Length or ended by closing the connection.
Handler large(std::size_t size, bool withLength);
// A redirect with that status and Location, exactly as given.
Handler redirect(int status, std::string location);
// For a prefix route "/p/": "/p/<n>" redirects to the relative "<n+1>" while n < hops, and
// "/p/<hops>" answers 200 with `finalBody`. Follow it from "/p/0".
Handler redirectChain(int status, int hops, std::string finalBody = "done");
// For a prefix route "/p/": "/p/a" redirects to "b" and anything else to "a", forever.
Handler redirectLoop(int status = 302);
// Each value is one Set-Cookie field ("a=1; Domain=.example.test; Path=/").
Handler setCookies(std::vector<std::string> setCookieValues, std::string body = "ok");
// A keep-alive answer with the given "Keep-Alive" field ("timeout=15, max=100").
Handler keepAlive(std::string keepAliveValue, std::string body = "ok");
// "Connection: close", then closes.
Handler connectionClose(std::string body = "ok");
// An HTTP/1.0 answer; closed after it unless keepAlive (then "Connection: keep-alive").
Handler http10(std::string body = "ok", bool keepAlive = false);
// Answers as if the connection were kept, then closes it, so a client that reuses it finds it
// dead.
Handler closeAfterResponse(std::string body = "ok");
// The first request on each connection goes to `inner`; a later one on the same connection is
// read and the connection closed without an answer.
Handler firstOnly(Handler inner);
// Accepts the request and never answers; returns when the client closes.
Handler silence();
// Answers through `then` only once the gate lets the exchange through.
Handler held(std::shared_ptr<Gate> gate, Handler then);
// The slices of one body: the head (with the total Content-Length, or chunked) and the first
// slice at once, then each further slice only after a pass of the gate. A test can leave the
// client with the start of a body and then silence, or step a download's progress.
Handler paced(std::vector<std::string> slices, std::shared_ptr<Gate> gate, bool chunked = false);
// Reads the body `bytesPerTick` bytes per pass of the gate (release(1) per tick), then answers
// through `then` (default: 200 with the body length in decimal).
Handler slowRead(std::shared_ptr<Gate> ticks, std::size_t bytesPerTick, Handler then = {});
// 401 (or 407 for a proxy) with a Basic / Digest (MD5, qop "auth") challenge unless the
// request carries matching credentials; then `inner`.
Handler basicAuth(std::string user, std::string password, std::string realm, Handler inner,
                  bool proxy = false);
Handler digestAuth(std::string user, std::string password, std::string realm, Handler inner,
                   bool proxy = false);

// Images of a chosen pixel size (a colour gradient), and bytes that claim to be an image but
// decode as none.
enum class ImageFormat { PNG, JPEG };
Handler image(ImageFormat format, int width, int height);
Handler undecodableImage(std::string contentType = "image/png");

// A loopback port held bound but not listening for as long as the object lives: a connection
// to it is refused, and no other process's server can take the port meanwhile (as one could a
// port freed by a server that ended).
class ClosedPort {
public:
    ClosedPort();
    ~ClosedPort();
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;
    int port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by the path.
    std::string url(const std::string& path) const;

private:
    int fd_ = -1;
    int port_ = 0;
};

// --- byte helpers -----------------------------------------------------------------------------
std::string patternBytes(std::size_t size);  // deterministic, not all printable
std::string gzipBytes(std::string_view data);
std::string zlibBytes(std::string_view data);
// Inflates gzip or zlib data (detected); nullopt when it is neither or is damaged.
std::optional<std::string> inflateBytes(std::string_view data);
std::string md5Hex(std::string_view data);
std::string pngBytes(int width, int height);
std::string jpegBytes(int width, int height);
std::string base64(std::string_view data);
// UTF-8 text converted to the named charset with ICU.
std::string encodeText(std::string_view utf8, const std::string& charset);

}  // namespace testhttp
