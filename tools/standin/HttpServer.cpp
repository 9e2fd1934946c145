#include "tools/standin/HttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace standin {

namespace {

// A kept connection that says nothing for this long is closed.
constexpr int kIdleSeconds = 60;
// After a refused request, what the client still sends is read and dropped for at most this
// long in all (and this much) before the socket closes: closing with unread bytes would reset
// the connection and could take the answer with it.
constexpr double kDrainSeconds = 2;
constexpr size_t kMaxDrain = 1024 * 1024;
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

using Clock = std::chrono::steady_clock;

timeval timevalOf(double seconds) {
    auto micro = static_cast<long long>(std::clamp(seconds, 0.001, 86400.0) * 1e6);
    return timeval{static_cast<time_t>(micro / 1000000), static_cast<suseconds_t>(micro % 1000000)};
}

// How a connection's answer is going out, for the server that may have to make room: whether one
// is being written, when its bytes last moved, and whether the connection's last write has
// ended (it failed, or it was the connection's last answer): from then on the connection only
// closes, and holds no place. Read from other threads.
struct SendProgress {
    std::atomic<bool> writing{false};
    std::atomic<Clock::rep> movedAt{0};
    // Set before the answer that ends the connection is written.
    std::atomic<bool> lastAnswer{false};
    std::atomic<bool> over{false};

    void moved() { movedAt = Clock::now().time_since_epoch().count(); }
    // How long the answer being written has not moved; 0 when none is.
    double stalledSeconds(Clock::time_point now) const {
        if (!writing) return 0;
        return std::chrono::duration<double>(now.time_since_epoch() -
                                             Clock::duration(movedAt.load()))
            .count();
    }
};

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

// The deadlines of every connection of a server (a first byte's, a TLS handshake's, a request
// head's and its body's), kept by one thread: when one passes before it is finished, the
// socket's read side is shut so that the read blocked on it ends. A deadline given as a gate
// passes when the gate lets it through.
class Deadlines {
public:
    using Id = std::uint64_t;

    Deadlines() : state_(std::make_shared<State>()) {
        wake_ = std::make_shared<std::function<void()>>([state = state_] {
            std::lock_guard<std::mutex> g(state->lock);
            state->changed.notify_all();
        });
        thread_ = std::thread([state = state_] { keep(*state); });
    }
    ~Deadlines() {
        {
            std::lock_guard<std::mutex> g(state_->lock);
            state_->stopping = true;
            state_->changed.notify_all();
        }
        thread_.join();
    }
    Deadlines(const Deadlines&) = delete;
    Deadlines& operator=(const Deadlines&) = delete;

    Id start(int fd, const HeadDeadline& deadline) {
        auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(deadline.seconds));
        if (deadline.gate) {
            deadline.gate->notify(wake_);
            deadline.gate->enter();
        }
        std::lock_guard<std::mutex> g(state_->lock);
        Id id = state_->next++;
        state_->watches.emplace(id, Watch{fd, until, deadline.gate, false});
        // The thread need only hear of a deadline sooner than the one it waits for.
        if (deadline.gate || until < state_->wakeAt) state_->changed.notify_all();
        return id;
    }

    // Ends the watch; true when the deadline passed first.
    bool finish(Id id) {
        std::lock_guard<std::mutex> g(state_->lock);
        auto it = state_->watches.find(id);
        if (it == state_->watches.end()) return false;
        bool expired = it->second.expired;
        if (!expired && it->second.gate) it->second.gate->leave();
        state_->watches.erase(it);
        return expired;
    }

private:
    struct Watch {
        int fd;
        Clock::time_point until;
        std::shared_ptr<Gate> gate;
        bool expired;
    };
    struct State {
        std::mutex lock;
        std::condition_variable changed;
        std::map<Id, Watch> watches;
        Id next = 1;
        Clock::time_point wakeAt = Clock::time_point::max();
        bool stopping = false;
    };

    static void keep(State& state) {
        std::unique_lock<std::mutex> g(state.lock);
        while (!state.stopping) {
            auto now = Clock::now();
            state.wakeAt = Clock::time_point::max();
            for (auto& [id, watch] : state.watches) {
                if (watch.expired) continue;
                if (watch.gate ? watch.gate->tryPass() : watch.until <= now) {
                    watch.expired = true;
                    ::shutdown(watch.fd, SHUT_RD);
                } else if (!watch.gate) {
                    state.wakeAt = std::min(state.wakeAt, watch.until);
                }
            }
            if (state.wakeAt == Clock::time_point::max())
                state.changed.wait(g);
            else
                state.changed.wait_until(g, state.wakeAt);
        }
    }

    std::shared_ptr<State> state_;
    // Told by the gates of gated deadlines when they may pass.
    std::shared_ptr<std::function<void()>> wake_;
    std::thread thread_;
};

// One deadline of a connection while it runs.
class DeadlineWatch {
public:
    DeadlineWatch(Deadlines& deadlines, int fd, const HeadDeadline& deadline)
        : deadlines_(deadlines), id_(deadlines.start(fd, deadline)) {}
    ~DeadlineWatch() { finish(); }
    DeadlineWatch(const DeadlineWatch&) = delete;
    DeadlineWatch& operator=(const DeadlineWatch&) = delete;

    // Ends the watch; true when the deadline passed first.
    bool finish() {
        if (finished_) return expired_;
        finished_ = true;
        expired_ = deadlines_.finish(id_);
        return expired_;
    }

private:
    Deadlines& deadlines_;
    Deadlines::Id id_;
    bool finished_ = false;
    bool expired_ = false;
};

// One accepted socket, plain or TLS, and the deadline of the request arriving on it.
class Channel : public Connection {
public:
    Channel(int fd, int peerPort, Deadlines& deadlines, const HeadDeadline& deadline, SSL_CTX* tls,
            double sendSeconds, SendProgress& progress)
        : fd_(fd),
          peerPort_(peerPort),
          deadlines_(deadlines),
          deadline_(deadline),
          tls_(tls),
          sendSeconds_(sendSeconds),
          progress_(progress) {}
    ~Channel() {
        if (ssl_) SSL_free(ssl_);
    }
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    bool acceptTls() override {
        if (!tls_ || ssl_) return false;
        ssl_ = SSL_new(tls_);
        if (!ssl_) return false;
        SSL_set_fd(ssl_, fd_);
        // A write returns after each record, so that the answer's deadline is checked between
        // them (write()).
        SSL_set_mode(ssl_, SSL_MODE_ENABLE_PARTIAL_WRITE);
        // A handshake that trickles in is held to the head deadline as well.
        DeadlineWatch watch(deadlines_, fd_, deadline_);
        bool ok = SSL_accept(ssl_) == 1;
        if (watch.finish()) ok = false;
        if (const char* name = SSL_get_servername(ssl_, TLSEXT_NAMETYPE_host_name))
            serverName_ = name;
        ERR_clear_error();
        return ok;
    }
    bool isTls() const override { return ssl_ != nullptr; }
    std::string serverName() const override { return serverName_; }
    int fd() const override { return fd_; }
    int peerPort() const override { return peerPort_; }

    bool waitReadable(double seconds) override {
        if (ssl_ && SSL_pending(ssl_) > 0) return true;
        pollfd p{fd_, POLLIN, 0};
        int ms = static_cast<int>(std::clamp(seconds, 0.0, 86400.0) * 1000);
        for (;;) {
            int ready = ::poll(&p, 1, ms);
            if (ready < 0 && errno == EINTR) continue;
            return ready > 0;
        }
    }

    size_t read(char* buffer, size_t size) override {
        if (awaitingArrival_) {
            awaitingArrival_ = false;
            // Bytes TLS already holds came with the request before (pipelined): it keeps its
            // stamp.
            if ((!ssl_ || !SSL_has_pending(ssl_)) && !peekArrival()) return 0;
        }
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

    // Writes everything within the send time in all, however slowly the client reads, and
    // notes each time bytes go out (an answer that does not move may be given up for a newcomer).
    bool write(std::string_view data) override {
        auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(sendSeconds_));
        progress_.moved();
        progress_.writing = true;
        bool whole = ssl_ ? writeTls(data, until) : writePlain(data, until);
        // Before it stops counting as writing, so that a newcomer never finds it neither
        // writing nor over.
        if (!whole || progress_.lastAnswer) progress_.over = true;
        progress_.writing = false;
        return whole;
    }

    // An orderly end: TLS close_notify, then our half of the stream.
    void finish() override {
        if (ssl_) SSL_shutdown(ssl_);
        ::shutdown(fd_, SHUT_WR);
    }
    // Reads and drops what the client still sends, until it closes or the drain's limits.
    void drain() {
        auto until =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(kDrainSeconds);
        char scrap[16384];
        size_t total = 0;
        while (total < kMaxDrain) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            int ready = ::poll(&p, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) break;
            ssize_t r = ::recv(fd_, scrap, sizeof scrap, MSG_DONTWAIT);
            if (r < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (r <= 0) break;
            total += static_cast<size_t>(r);
        }
    }
    // An abortive end: the peer sees a reset.
    void reset() override {
        linger l{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }

    // A request begins: its arrival is that of the next byte read, or the last request's when
    // the reader holds its first bytes already.
    void beginRequest(bool buffered) { awaitingArrival_ = !buffered; }
    std::chrono::system_clock::time_point requestArrival() const { return arrival_; }

    // Called when a request's first byte has come (and again for its body).
    void onRequest(std::function<void()> started) { started_ = std::move(started); }
    void startDeadline() override {
        if (started_) started_();
        watch_.emplace(deadlines_, fd_, deadline_);
    }
    bool endDeadline() override {
        bool expired = watch_ && watch_->finish();
        watch_.reset();
        return expired;
    }

private:
    static double secondsUntil(Clock::time_point until) {
        return std::chrono::duration<double>(until - Clock::now()).count();
    }

    // Each send takes what the socket has room for, in between the wait is for room.
    bool writePlain(std::string_view data, Clock::time_point until) {
        while (!data.empty()) {
            ssize_t r = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (r > 0) {
                data.remove_prefix(static_cast<size_t>(r));
                progress_.moved();
                continue;
            }
            if (r < 0 && errno == EINTR) continue;
            if (r == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
            double left = secondsUntil(until);
            if (left <= 0) return false;
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, static_cast<int>(std::ceil(std::min(left, 86400.0) * 1000))) == 0)
                return false;
        }
        return true;
    }

    // Each TLS write returns after a record (SSL_MODE_ENABLE_PARTIAL_WRITE): the socket's send
    // time-out is cut to what is left of the whole before each one, and put back afterwards.
    bool writeTls(std::string_view data, Clock::time_point until) {
        bool first = true, shortened = false, whole = true;
        while (!data.empty()) {
            if (!first) {
                double left = secondsUntil(until);
                if (left <= 0) {
                    whole = false;
                    break;
                }
                setSendTimeout(left);
                shortened = true;
            }
            first = false;
            int r = SSL_write(ssl_, data.data(), static_cast<int>(data.size()));
            if (r > 0) {
                data.remove_prefix(static_cast<size_t>(r));
                progress_.moved();
                continue;
            }
            // A send time-out surfaces as a wish to write again, with the same bytes.
            int error = SSL_get_error(ssl_, r);
            ERR_clear_error();
            if (error == SSL_ERROR_WANT_WRITE) continue;
            whole = false;
            break;
        }
        if (shortened) setSendTimeout(sendSeconds_);
        return whole;
    }

    // Waits for the next byte as a read does (the idle time-out, a deadline's shut read side),
    // leaves it there and notes the kernel's stamp of its arrival; false when none came.
    bool peekArrival() {
        char byte;
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        for (;;) {
            iovec part{&byte, 1};
            msghdr message{};
            message.msg_iov = &part;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            ssize_t r = ::recvmsg(fd_, &message, MSG_PEEK);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            arrival_ = {};
            for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
                timespec stamp;
                std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
                arrival_ = std::chrono::system_clock::time_point(
                    std::chrono::duration_cast<std::chrono::system_clock::duration>(
                        std::chrono::seconds(stamp.tv_sec) +
                        std::chrono::nanoseconds(stamp.tv_nsec)));
            }
            return true;
        }
    }

    void setSendTimeout(double seconds) {
        timeval limit = timevalOf(seconds);
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    }

    int fd_;
    int peerPort_;
    Deadlines& deadlines_;
    const HeadDeadline& deadline_;
    SSL_CTX* tls_;
    double sendSeconds_;
    SendProgress& progress_;
    std::function<void()> started_;
    SSL* ssl_ = nullptr;
    std::string serverName_;
    std::optional<DeadlineWatch> watch_;
    bool awaitingArrival_ = false;
    std::chrono::system_clock::time_point arrival_{};
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
        int peerPort = 0;
        std::string peer;
        std::thread thread;
        bool done = false;
        // Waiting for a request's first byte (or a TLS handshake) since `idleSince`, and so
        // closed first when a newcomer finds every place taken; `kept` once it has been answered.
        bool idle = false;
        bool kept = false;
        Clock::time_point idleSince;
        SendProgress sending;
        bool evicted = false;
    };

    HttpServer::Handler handler;
    HttpServer::Logger logger;
    HttpServer::RawHandler raw;
    HeadDeadline deadline;
    ServerLimits limits;
    SSL_CTX* tls = nullptr;
    int listenFd = -1;
    int port = 0;
    std::thread acceptor;
    // From start to stop.
    std::unique_ptr<Deadlines> deadlines;
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
            std::string peer = std::string(address) + ":" + std::to_string(ntohs(from.sin_port));
            timeval idle{kIdleSeconds, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &idle, sizeof idle);
            // A client that stops reading cannot hold a thread in a write for longer than this.
            timeval sendLimit = timevalOf(limits.sendSeconds);
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
            // Answers go out as they are written, not held back for more.
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::list<std::unique_ptr<Connection>> finished;
            bool full = false;
            {
                std::lock_guard<std::mutex> g(lock);
                if (stopping) {
                    ::close(fd);
                    return;
                }
                std::size_t live = 0;
                for (auto it = connections.begin(); it != connections.end();) {
                    if ((*it)->done) {
                        finished.push_back(std::move(*it));
                        it = connections.erase(it);
                    } else {
                        live += (*it)->evicted || (*it)->sending.over ? 0 : 1;
                        ++it;
                    }
                }
                full = live >= limits.maxConnections && !evictOne();
            }
            for (auto& c : finished)
                c->thread.join();
            if (full) {
                refuseBusy(fd, peer);
                continue;
            }
            {
                std::lock_guard<std::mutex> g(lock);
                if (stopping) {
                    ::close(fd);
                    return;
                }
                auto c = std::make_unique<Connection>();
                c->fd = fd;
                c->peerPort = ntohs(from.sin_port);
                c->peer = peer;
                c->idle = !raw;
                c->idleSince = Clock::now();
                Connection* added = c.get();
                connections.push_back(std::move(c));
                added->thread = std::thread([this, added] { serve(added); });
            }
        }
    }

    // Closes a connection that holds its place for nothing, to make room for a newcomer: idle
    // (silent since it came, or kept alive and waiting for its next request long enough that it is
    // not sending one now) or with an answer that does not move; the one that has waited longest.
    // False when there is none. Its thread sees the end of the stream, or a failed write, and
    // leaves. Called under the lock.
    bool evictOne() {
        if (raw) return false;
        auto now = Clock::now();
        Connection* chosen = nullptr;
        double longest = -1;
        for (auto& c : connections) {
            if (c->evicted || c->fd < 0 || c->sending.over) continue;
            double waited = -1;
            if (c->idle) {
                double idleFor = std::chrono::duration<double>(now - c->idleSince).count();
                if (!c->kept || idleFor >= limits.keptIdleSeconds) waited = idleFor;
            } else if (double stalled = c->sending.stalledSeconds(now);
                       stalled > 0 && stalled >= limits.stalledSendSeconds) {
                waited = stalled;
            }
            if (waited > longest) {
                longest = waited;
                chosen = c.get();
            }
        }
        if (!chosen) return false;
        ::shutdown(chosen->fd, SHUT_RDWR);
        chosen->evicted = true;
        return true;
    }

    void setIdle(Connection* connection, bool idle) {
        std::lock_guard<std::mutex> g(lock);
        connection->idle = idle;
        if (idle) {
            connection->idleSince = Clock::now();
            connection->kept = true;
        }
    }

    // Beyond the connection cap a client gets a 503 at once, written on the accepting thread
    // without waiting (the answer is short and the socket's buffer empty), and no thread.
    void refuseBusy(int fd, const std::string& peer) {
        HttpResponse busy = HttpResponse::plain("too many connections\n", 503);
        std::string text = "HTTP/1.1 503 " + reasonPhrase(503) +
                           "\r\nContent-Type: " + busy.contentType +
                           "\r\nContent-Length: " + std::to_string(busy.body.size()) +
                           "\r\nConnection: close\r\n\r\n" + busy.body;
        ssize_t written = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::shutdown(fd, SHUT_WR);
        ::close(fd);
        if (logger) {
            HttpRequest request;
            request.method.clear();
            request.peer = peer;
            logger(request, busy, written > 0 ? busy.body.size() : 0, 0);
        }
    }

    void serve(Connection* connection) {
        int fd;
        {
            std::lock_guard<std::mutex> g(lock);
            fd = connection->fd;
        }
        Channel channel(fd, connection->peerPort, *deadlines, deadline, tls, limits.sendSeconds,
                        connection->sending);
        if (raw) {
            raw(channel);
            closeConnection(connection);
            return;
        }
        bool resetAtEnd = false;
        // A client that says nothing, or does not finish its handshake, soon is not waited for:
        // it would hold a place that clients with requests need.
        HeadDeadline firstByteLimit{limits.firstByteSeconds, nullptr};
        std::optional<DeadlineWatch> firstByte(std::in_place, *deadlines, fd, firstByteLimit);
        // A TLS record starts with the handshake content type 0x16; plain HTTP starts with a
        // method name.
        unsigned char first = 0;
        ssize_t peeked;
        do {
            peeked = ::recv(fd, &first, 1, MSG_PEEK);
        } while (peeked < 0 && errno == EINTR);
        bool ok = peeked == 1;
        if (ok && first == 0x16) ok = channel.acceptTls();
        if (firstByte->finish()) ok = false;
        firstByte.reset();
        channel.onRequest([this, connection] { setIdle(connection, false); });
        RequestReader reader(channel);
        while (ok) {
            HttpRequest request;
            request.tls = channel.isTls();
            request.peer = connection->peer;
            std::string problem;
            channel.beginRequest(reader.hasBuffered());
            auto result = reader.readHead(request, &problem);
            request.arrived = channel.requestArrival();
            if (result == RequestReader::Result::Closed) break;
            if (result == RequestReader::Result::Ok) {
                // The framing and size are known good by now: only then is the body invited.
                if (reader.expectsBody() &&
                    containsIgnoringCase(request.header("Expect"), "100-continue") &&
                    !channel.write("HTTP/1.1 100 Continue\r\n\r\n"))
                    break;
                result = reader.readBody(request, &problem);
            }
            if (result != RequestReader::Result::Ok) {
                // Answered only when there is something to say and somebody to hear it; the
                // connection ends either way, so that nothing after a request the server could
                // not frame is read as a request of its own.
                if (!problem.empty()) {
                    auto started = std::chrono::steady_clock::now();
                    int status = result == RequestReader::Result::Late       ? 408
                                 : result == RequestReader::Result::TooLarge ? 413
                                                                             : 400;
                    HttpResponse refusal = HttpResponse::plain(problem + "\n", status);
                    refusal.note = problem;
                    Sent sent = send(channel, request, refusal, true);
                    channel.finish();
                    if (logger) logger(request, refusal, sent.body, millisecondsSince(started));
                    if (sent.whole) channel.drain();
                }
                break;
            }
            auto started = std::chrono::steady_clock::now();
            HttpResponse response = answer(request);
            bool close = wantsClose(request) || response.delivery != HttpResponse::Delivery::Normal;
            connection->sending.lastAnswer = close;
            Sent sent = send(channel, request, response, close);
            // Kept alive, it waits for its next request as an idle connection (by the time its
            // answer is logged).
            if (sent.whole && !close) setIdle(connection, true);
            // The log says what went out: the server's 500 when the handler's answer could not.
            if (logger)
                logger(request, sent.replaced ? *sent.replaced : response, sent.body,
                       millisecondsSince(started));
            if (response.delivery == HttpResponse::Delivery::Reset) resetAtEnd = true;
            // A client that does not take its answer gets no more of them.
            if (!sent.whole) break;
            if (close) {
                if (response.delivery == HttpResponse::Delivery::Normal) channel.finish();
                break;
            }
        }
        if (resetAtEnd) channel.reset();
        closeConnection(connection);
    }

    void closeConnection(Connection* connection) {
        std::lock_guard<std::mutex> g(lock);
        ::close(connection->fd);
        connection->fd = -1;
        connection->done = true;
    }

    // The handler's answer; a handler that throws is a fault of the server's own, answered 500
    // (and noted in the log) without taking the server down.
    HttpResponse answer(HttpRequest& request) {
        try {
            return handler(request);
        } catch (const std::exception& e) {
            return internalError(std::string("handler failed: ") + e.what());
        } catch (...) {
            return internalError("handler failed");
        }
    }

    static HttpResponse internalError(std::string note) {
        HttpResponse r = HttpResponse::plain("internal server error\n", 500);
        r.note = std::move(note);
        return r;
    }

    static double millisecondsSince(std::chrono::steady_clock::time_point started) {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count();
    }

    struct Sent {
        size_t body = 0;    // the body bytes written
        bool whole = true;  // whether everything meant to go out did
        // The server's answer written instead of the handler's, when that could not go out.
        std::optional<HttpResponse> replaced;
    };

    // Writes the response as its delivery says. A response whose fields could not go out as
    // they are (a CR or LF in a value would start a field or a body of the client's choosing)
    // is replaced by a 500.
    Sent send(Channel& channel, const HttpRequest& request, const HttpResponse& given, bool close) {
        using Delivery = HttpResponse::Delivery;
        if (given.delivery == Delivery::Drop || given.delivery == Delivery::Reset) return {};
        Sent sent;
        if (std::string fault = headerFault(given); !fault.empty())
            sent.replaced = internalError("response refused: " + fault);
        const HttpResponse& response = sent.replaced ? *sent.replaced : given;
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
            sent.whole = channel.write(head);
            return sent;
        }
        size_t keep = response.delivery == Delivery::Truncate
                          ? std::min(response.truncateAt, body.size())
                          : body.size();
        head.append(body, 0, keep);
        sent.whole = channel.write(head);
        sent.body = sent.whole ? keep : 0;
        return sent;
    }

    // What is wrong with a response's fields, "" for nothing: a name that is no token, a value
    // with a control byte, a status outside 100..999.
    static std::string headerFault(const HttpResponse& response) {
        if (response.status < 100 || response.status > 999) return "status out of range";
        if (!isFieldValue(response.contentType)) return "control byte in Content-Type";
        for (const auto& h : response.headers) {
            if (!isToken(h.name)) return "malformed header name";
            if (!isFieldValue(h.value)) return "control byte in " + h.name;
        }
        return {};
    }
};

HttpServer::HttpServer(Handler handler, Logger logger, HeadDeadline deadline, ServerLimits limits)
    : impl_(std::make_unique<ServerImpl>()) {
    impl_->handler = std::move(handler);
    impl_->logger = std::move(logger);
    impl_->deadline = std::move(deadline);
    impl_->limits = limits;
}

HttpServer::HttpServer(RawHandler raw, ServerLimits limits)
    : impl_(std::make_unique<ServerImpl>()) {
    impl_->raw = std::move(raw);
    impl_->limits = limits;
}

HttpServer::~HttpServer() {
    stop();
}

namespace {

// The one TLS set-up of the servers: TLS 1.2 or later, the chain and key `load` puts in.
SSL_CTX* serverContext(const std::function<bool(SSL_CTX*)>& load, std::string* error) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (!context) {
        *error = openSslError();
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    // A read side shut at the head deadline reads as the end of the stream, so that the 408 can
    // still be written.
    SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    if (!load(context) || SSL_CTX_check_private_key(context) != 1) {
        *error = "TLS set-up: " + openSslError();
        SSL_CTX_free(context);
        return nullptr;
    }
    return context;
}

bool usePemChain(SSL_CTX* context, const std::string& chainPem, const std::string& keyPem) {
    BIO* chain = BIO_new_mem_buf(chainPem.data(), static_cast<int>(chainPem.size()));
    BIO* keyText = BIO_new_mem_buf(keyPem.data(), static_cast<int>(keyPem.size()));
    bool ok = chain && keyText;
    X509* leaf = ok ? PEM_read_bio_X509(chain, nullptr, nullptr, nullptr) : nullptr;
    ok = leaf && SSL_CTX_use_certificate(context, leaf) == 1;
    X509_free(leaf);
    // The rest of the chain, issuers after the server's own.
    while (ok) {
        X509* issuer = PEM_read_bio_X509(chain, nullptr, nullptr, nullptr);
        if (!issuer) {
            ERR_clear_error();  // the end of the text
            break;
        }
        ok = SSL_CTX_add0_chain_cert(context, issuer) == 1;
        if (!ok) X509_free(issuer);
    }
    EVP_PKEY* key = ok ? PEM_read_bio_PrivateKey(keyText, nullptr, nullptr, nullptr) : nullptr;
    ok = key && SSL_CTX_use_PrivateKey(context, key) == 1;
    EVP_PKEY_free(key);
    BIO_free(chain);
    BIO_free(keyText);
    return ok;
}

}  // namespace

bool HttpServer::start(int port, const std::string& certificateChainFile,
                       const std::string& keyFile, std::string* error) {
    if (impl_->running) {
        if (error) *error = "already running";
        return false;
    }
    if (impl_->tls) SSL_CTX_free(impl_->tls);  // from an earlier start
    impl_->tls = nullptr;
    if (!certificateChainFile.empty() && !keyFile.empty()) {
        std::string problem;
        impl_->tls = serverContext(
            [&](SSL_CTX* context) {
                return SSL_CTX_use_certificate_chain_file(context, certificateChainFile.c_str()) ==
                           1 &&
                       SSL_CTX_use_PrivateKey_file(context, keyFile.c_str(), SSL_FILETYPE_PEM) == 1;
            },
            &problem);
        if (!impl_->tls) {
            if (error) *error = problem;
            return false;
        }
    }
    return listen(port, error);
}

bool HttpServer::startWithPem(int port, const std::string& certificateChainPem,
                              const std::string& keyPem, std::string* error) {
    if (impl_->running) {
        if (error) *error = "already running";
        return false;
    }
    if (impl_->tls) SSL_CTX_free(impl_->tls);
    std::string problem;
    impl_->tls = serverContext(
        [&](SSL_CTX* context) { return usePemChain(context, certificateChainPem, keyPem); },
        &problem);
    if (!impl_->tls) {
        if (error) *error = problem;
        return false;
    }
    return listen(port, error);
}

bool HttpServer::listen(int port, std::string* error) {
    auto fail = [&](const std::string& text) {
        if (error) *error = text;
        if (impl_->listenFd >= 0) ::close(impl_->listenFd);
        impl_->listenFd = -1;
        return false;
    };
    ignoreBrokenPipes();
    impl_->listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (impl_->listenFd < 0) return fail(std::strerror(errno));
    int one = 1;
    ::setsockopt(impl_->listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // Accepted sockets stamp what arrives (HttpRequest::arrived), from before the server reads it.
    ::setsockopt(impl_->listenFd, SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one);
    // Accepted sockets take the listener's receive buffer.
    if (impl_->limits.receiveBufferSize > 0)
        ::setsockopt(impl_->listenFd, SOL_SOCKET, SO_RCVBUF, &impl_->limits.receiveBufferSize,
                     sizeof impl_->limits.receiveBufferSize);
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
    impl_->deadlines = std::make_unique<Deadlines>();
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
    impl_->deadlines.reset();
    impl_->running = false;
}

int HttpServer::port() const {
    return impl_->port;
}

bool HttpServer::offersTls() const {
    return impl_->tls != nullptr;
}

}  // namespace standin
