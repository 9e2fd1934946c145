#include "CFNetwork/CFHTTPStream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

#include "CFNetwork/CFNetworkErrors.h"
#include "CFNetwork/CFSocketStream.h"
#include "CFNetwork/HTTPConnection.h"
#include "CFNetwork/HostResolver.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"

namespace cfnet {

namespace {

constexpr size_t kBodyChunk = 32 * 1024;   // pulled from a body stream at a time
constexpr size_t kIOBudget = 1024 * 1024;  // moved per event, so one stream cannot hog a loop
constexpr size_t kReadBuffer = 64 * 1024;
constexpr size_t kHighWater = 1024 * 1024;  // unread body bytes at which reading pauses
constexpr size_t kMaxChunkLine = 4096;

// An interim response (100 Continue, 102, 103 and the like) says the server is still at the
// request; the answer follows it. 101 switches the connection and ends the exchange.
bool isInterim(int code) {
    return code >= 100 && code < 200 && code != 101;
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The comma-separated tokens of a field, lower-cased and trimmed.
std::vector<std::string> tokens(const std::string* value) {
    std::vector<std::string> out;
    if (!value) return out;
    size_t start = 0;
    while (start <= value->size()) {
        size_t comma = value->find(',', start);
        std::string t =
            value->substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t b = t.find_first_not_of(" \t"), e = t.find_last_not_of(" \t");
        if (b != std::string::npos) out.push_back(lower(t.substr(b, e - b + 1)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

bool hasToken(const std::string* value, const char* token) {
    auto list = tokens(value);
    return std::find(list.begin(), list.end(), token) != list.end();
}

// A Content-Length: digits only (a repeated field must repeat the same number).
bool parseContentLength(const std::string& text, uint64_t& out) {
    bool any = false;
    for (const std::string& t : tokens(&text)) {
        if (t.empty() || t.size() > 19 ||
            !std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        uint64_t v = std::stoull(t);
        if (any && v != out) return false;
        out = v;
        any = true;
    }
    return any;
}

int intFrom(NSObject* o, int fallback) {
    if (auto n = as<NSNumber>(o)) return n->intValue();
    if (auto s = as<NSString>(o)) return s->length() ? s->intValue() : fallback;
    return fallback;
}

std::string stringFrom(NSObject* o) {
    if (auto s = as<NSString>(o)) return s->utf8();
    return {};
}

bool boolFrom(NSObject* o, bool fallback) {
    if (!o || is<NSNull>(o)) return fallback;
    if (auto n = as<NSNumber>(o)) return n->boolValue();
    if (auto s = as<NSString>(o)) return s->boolValue();
    return fallback;
}

// The property names the stream reads itself: "kCF..." and the proxy dictionary's keys.
template <typename Char>
bool isKnownKey(std::basic_string_view<Char> key) {
    static constexpr std::string_view known[] = {"HTTPProxy",  "HTTPPort",    "HTTPSProxy",
                                                 "HTTPSPort",  "SOCKSProxy",  "SOCKSPort",
                                                 "HTTPEnable", "HTTPSEnable", "SOCKSEnable"};
    auto startsWith = [&](std::string_view ascii) {
        return key.size() >= ascii.size() && std::equal(ascii.begin(), ascii.end(), key.begin());
    };
    if (startsWith("kCF")) return true;
    return std::any_of(std::begin(known), std::end(known),
                       [&](std::string_view k) { return key.size() == k.size() && startsWith(k); });
}

// Asked of every property of every stream: the name's units are read in place when it keeps
// them so.
bool isKnownKey(NSString* name) {
    if (const char16_t* units = name->charactersPtr())
        return isKnownKey(std::u16string_view(units, name->length()));
    std::string utf8 = name->utf8();
    return isKnownKey(std::string_view(utf8));
}

}  // namespace

// One request and its response over a connection of its own or a kept one. Everything runs
// on the thread of a run loop the stream is scheduled on (or, unscheduled, in the caller's
// blocking read), under `lock_`; client callbacks are made without it.
class HTTPReadStream : public CFReadStream {
    NS_OBJECT(HTTPReadStream, CFReadStream)

    bool initWithRequest(CFHTTPMessage* request, NSInputStream* body) {
        if (!request || !request->isRequest || !request->url) return false;
        request_ = CFHTTPMessageCreateCopy(kCFAllocatorDefault, request);
        bodyStream_ = body;
        if (!body && request->body && request->body->length() > 0) bodyData_ = request->body;
        properties_ = NSMutableDictionary::dictionary();
        static std::atomic<uint64_t> serials{0};
        serial_ = ++serials;
        Weak<HTTPReadStream> weak(this);
        eventSource_ = RunLoopSource::sourceWithHandler([weak] {
            if (auto s = weak.lock()) s->onSignal();
        });
        return true;
    }

    // Whether the request may go out again after its connection was lost. Only from a kept
    // connection (one the server may have closed just as the request came), only while no byte
    // of the answer has come (a part of a status line says the server read it), and only for a
    // method that may be applied twice, unless the request never went out whole (its last byte,
    // for a streamed body its last declared one, was not written): a server may act on a request
    // it read whole and then close without a word.
    bool maySendAgain() {
        std::lock_guard<std::recursive_mutex> g(lock_);
        if (!reusedConnection_ || gotResponseBytes_) return false;
        if (!requestSent_) return true;
        static constexpr std::string_view idempotent[] = {"GET",   "HEAD", "OPTIONS",
                                                          "TRACE", "PUT",  "DELETE"};
        return std::find(std::begin(idempotent), std::end(idempotent), request_->method) !=
               std::end(idempotent);
    }

    // ---- the stream's behaviour ----------------------------------------------------------

    bool openStream() override {
        std::lock_guard<std::recursive_mutex> g(lock_);
        if (status_ != kCFStreamStatusNotOpen) return false;
        status_ = kCFStreamStatusOpening;
        if (!configure()) return false;
        if (persistent_) {
            conn_ = pool::checkout(poolKey_);
            if (conn_) {
                reusedConnection_ = conn_->reused;
                attachSocket();
                onTransportReady();
                // A kept connection is open already: the request goes out now, not after a
                // wait that would only report the socket writable.
                if (phase_ == Phase::Exchange && !bodyStream_) {
                    sendSome();
                    updatePollEvents();
                }
                return true;
            }
        }
        phase_ = Phase::Resolving;
        std::string host = connectHost_;
        int port = connectPort_;
        if (auto o = hostOverrideFor(host)) {
            host = o->address;
            if (o->port) port = o->port;
        }
        lookup_ = startHostLookup(host, port, eventSource_);
        if (lookupDone()) onLookupDone();
        // From here on failures (a refused connection included) come as error events.
        return true;
    }

    void closeStream() override {
        std::unique_ptr<Connection> dropped;
        {
            std::lock_guard<std::recursive_mutex> g(lock_);
            if (status_ == kCFStreamStatusNotOpen || status_ == kCFStreamStatusClosed) {
                status_ = kCFStreamStatusClosed;
                return;
            }
            status_ = kCFStreamStatusClosed;
            phase_ = Phase::Closed;
            detachSocket();
            dropped = std::move(conn_);
            closeBody();
        }
        // The connection this stream left in the pool ends with it.
        pool::closeIdleFor(serial_);
    }

    CFStreamStatus status() override {
        std::lock_guard<std::recursive_mutex> g(lock_);
        if (status_ == kCFStreamStatusOpen && messageComplete_ && unread() == 0)
            return kCFStreamStatusAtEnd;
        return status_;
    }

    Ref<NSError> copyError() override {
        std::lock_guard<std::recursive_mutex> g(lock_);
        return error_;
    }

    CFIndex readBytes(uint8_t* buffer, CFIndex length) override {
        std::lock_guard<std::recursive_mutex> g(lock_);
        if (status_ == kCFStreamStatusError || status_ == kCFStreamStatusClosed ||
            status_ == kCFStreamStatusNotOpen)
            return -1;
        if (unread() == 0 && !messageComplete_) blockForBody();
        if (status_ == kCFStreamStatusError) return -1;
        size_t n = std::min(unread(), static_cast<size_t>(std::max<CFIndex>(length, 0)));
        if (n > 0) {
            std::memcpy(buffer, body_.data() + bodyPos_, n);
            bodyPos_ += n;
            if (bodyPos_ == body_.size()) {
                body_.clear();
                bodyPos_ = 0;
            } else if (bodyPos_ > kHighWater) {
                body_.erase(0, bodyPos_);
                bodyPos_ = 0;
            }
        }
        // The failure that waited for these bytes comes once they are read.
        if (errorPending_ && unread() == 0) {
            errorPending_ = false;
            status_ = kCFStreamStatusError;
            eventSource_->signal();
            return static_cast<CFIndex>(n);
        }
        // Reading may have made room to resume, and what is left (or the end) is news.
        if (unread() > 0) bytesNews_ = true;
        if (conn_ && !paused()) {
            updatePollEvents();
            if (conn_->hasBufferedInput()) kick_ = true;
        }
        eventSource_->signal();
        return static_cast<CFIndex>(n);
    }

    bool bytesAvailable() override {
        std::lock_guard<std::recursive_mutex> g(lock_);
        return status_ == kCFStreamStatusOpen && headComplete_ && unread() > 0;
    }

    Ref<NSObject> copyProperty(NSString* key) override {
        std::lock_guard<std::recursive_mutex> g(lock_);
        if (key->isEqualToString(kCFStreamPropertyHTTPResponseHeader))
            return headComplete_ ? Ref<NSObject>(response_) : nullptr;
        if (key->isEqualToString(kCFStreamPropertyHTTPRequestBytesWrittenCount))
            return NSNumber::numberWithUnsignedLongLong(bytesWritten_.load());
        if (key->isEqualToString(kCFStreamPropertyHTTPFinalURL)) return request_->url;
        if (key->isEqualToString(kCFStreamPropertyHTTPFinalRequest)) return sentRequest();
        if (key->isEqualToString(kCFStreamPropertyHTTPConnectionReused))
            return reusedConnection_ ? kCFBooleanTrue : kCFBooleanFalse;
        return properties_->objectForKey(key);
    }

    bool storeProperty(NSString* key, NSObject* value) override {
        std::lock_guard<std::recursive_mutex> g(lock_);
        if (key->isEqualToString(kCFStreamPropertyHTTPResponseHeader) ||
            key->isEqualToString(kCFStreamPropertyHTTPRequestBytesWrittenCount) ||
            key->isEqualToString(kCFStreamPropertyHTTPFinalURL) ||
            key->isEqualToString(kCFStreamPropertyHTTPFinalRequest) ||
            key->isEqualToString(kCFStreamPropertyHTTPConnectionReused))
            return false;
        if (value) {
            properties_->setObject(value, key);
        } else {
            properties_->removeObjectForKey(key);
        }
        return true;
    }

    bool setClient(CFOptionFlags events, CFReadStreamClientCallBack callback,
                   CFStreamClientContext* context) override {
        void* oldInfo = nullptr;
        void (*oldRelease)(void*) = nullptr;
        {
            std::lock_guard<std::recursive_mutex> g(lock_);
            oldInfo = context_.info;
            oldRelease = context_.release;
            if (!callback || events == kCFStreamEventNone) {
                callback_ = nullptr;
                events_ = 0;
                context_ = CFStreamClientContext{};
            } else {
                callback_ = callback;
                events_ = events;
                context_ = context ? *context : CFStreamClientContext{};
                if (context_.retain && context_.info)
                    context_.info = context_.retain(context_.info);
                eventSource_->signal();  // events that happened before the client came
            }
        }
        if (oldRelease && oldInfo) oldRelease(oldInfo);
        return true;
    }

    void schedule(NSRunLoop* loop, NSString* mode) override {
        std::lock_guard<std::recursive_mutex> g(lock_);
        Ref<NSString> m = mode ? mode->copy() : Ref<NSString>(NSDefaultRunLoopMode);
        for (auto& s : schedules_) {
            if (s.loop.get() == loop && s.mode->isEqualToString(m)) return;
        }
        schedules_.push_back(Schedule{Ref<NSRunLoop>(loop), m});
        loop->addSource(eventSource_, m);
        if (socketSource_) loop->addSource(socketSource_, m);
        // A body held back while the stream was off every loop goes on from here.
        if (conn_ && phase_ == Phase::Exchange && !requestSent_) kick_ = true;
        eventSource_->signal();
    }

    void unschedule(NSRunLoop* loop, NSString* mode) override {
        std::lock_guard<std::recursive_mutex> g(lock_);
        Ref<NSString> m = mode ? mode->copy() : Ref<NSString>(NSDefaultRunLoopMode);
        for (auto it = schedules_.begin(); it != schedules_.end(); ++it) {
            if (it->loop.get() == loop && it->mode->isEqualToString(m)) {
                loop->removeSource(eventSource_, m);
                if (socketSource_) loop->removeSource(socketSource_, m);
                schedules_.erase(it);
                return;
            }
        }
    }

    void dealloc() override {
        {
            std::lock_guard<std::recursive_mutex> g(lock_);
            detachSocket();
            if (eventSource_) eventSource_->invalidate();  // nil when the initialiser failed
            conn_.reset();  // an unfinished exchange leaves nothing worth keeping
            closeBody();
        }
        if (context_.release && context_.info) context_.release(context_.info);
        CFReadStream::dealloc();
    }

private:
    enum class Phase {
        NotOpen,
        Resolving,
        Connecting,
        Tunnel,     // CONNECT through an HTTP proxy
        Socks,      // SOCKS5 negotiation
        Handshake,  // TLS
        Exchange,   // sending the request and reading the response
        Done,
        Failed,
        Closed,
    };
    enum class Framing { None, Length, Chunked, Close };
    enum class Chunk { Size, Data, DataEnd, Trailer };
    enum class Proxy { None, HTTP, Tunnel, Socks };
    enum class SocksStep { Greeting, Connect };

    struct Segment {
        std::string data;
        size_t pos = 0;
        bool body = false;  // counts towards the bytes-written property
    };
    struct Schedule {
        Ref<NSRunLoop> loop;
        Ref<NSString> mode;
    };

    size_t unread() { return body_.size() - bodyPos_; }
    bool paused() { return unread() >= kHighWater; }
    bool lookupDone() {
        std::lock_guard<std::mutex> g(lookup_->lock);
        return lookup_->done;
    }

    // ---- set-up ---------------------------------------------------------------------------

    // Reads the URL and the properties; false (with the stream failed) when they cannot work.
    bool configure() {
        NSURL* url = request_->url;
        std::string scheme = lower(url->scheme() ? url->scheme()->utf8() : "");
        if (scheme != "http" && scheme != "https") {
            fail(networkError(kCFErrorHTTPBadURL, "unsupported URL"));
            return false;
        }
        https_ = scheme == "https";
        host_ = url->host() ? url->host()->utf8() : "";
        if (host_.empty()) {
            fail(networkError(kCFErrorHTTPBadURL, "unsupported URL"));
            return false;
        }
        explicitPort_ = url->port() != nullptr;
        port_ = explicitPort_ ? url->port()->intValue() : (https_ ? 443 : 80);
        persistent_ = boolFrom(
            properties_->objectForKey(kCFStreamPropertyHTTPAttemptPersistentConnection), false);

        // Proxies: the HTTP proxy dictionary's HTTPS keys serve "https" URLs (through
        // CONNECT), its HTTP keys the others; a SOCKS proxy serves whatever is left.
        proxy_ = Proxy::None;
        if (auto d = as<NSDictionary>(properties_->objectForKey(kCFStreamPropertyHTTPProxy))) {
            NSString* hostKey =
                https_ ? kCFStreamPropertyHTTPSProxyHost : kCFStreamPropertyHTTPProxyHost;
            NSString* portKey =
                https_ ? kCFStreamPropertyHTTPSProxyPort : kCFStreamPropertyHTTPProxyPort;
            NSString* enableKey = https_ ? NS("HTTPSEnable") : NS("HTTPEnable");
            std::string h = stringFrom(d->objectForKey(hostKey));
            if (!h.empty() && boolFrom(d->objectForKey(enableKey), true)) {
                proxy_ = https_ ? Proxy::Tunnel : Proxy::HTTP;
                proxyHost_ = h;
                proxyPort_ = intFrom(d->objectForKey(portKey), 80);
            }
        }
        if (proxy_ == Proxy::None) {
            if (auto d = as<NSDictionary>(properties_->objectForKey(kCFStreamPropertySOCKSProxy))) {
                std::string h = stringFrom(d->objectForKey(kCFStreamPropertySOCKSProxyHost));
                if (!h.empty() && boolFrom(d->objectForKey(NS("SOCKSEnable")), true)) {
                    proxy_ = Proxy::Socks;
                    proxyHost_ = h;
                    proxyPort_ = intFrom(d->objectForKey(kCFStreamPropertySOCKSProxyPort), 1080);
                }
            }
        }
        connectHost_ = proxy_ == Proxy::None ? host_ : proxyHost_;
        connectPort_ = proxy_ == Proxy::None ? port_ : proxyPort_;

        // TLS: verify by default; the settings may relax it.
        tls_ = TLSOptions{};
        tls_.sniName = host_;
        tls_.peerName = host_;
        if (auto d = as<NSDictionary>(properties_->objectForKey(kCFStreamPropertySSLSettings))) {
            tls_.validateChain =
                boolFrom(d->objectForKey(kCFStreamSSLValidatesCertificateChain), true);
            Ref<NSObject> peer = d->objectForKey(kCFStreamSSLPeerName);
            if (peer && is<NSNull>(peer)) {
                tls_.checkName = false;
            } else if (auto s = as<NSString>(peer)) {
                tls_.peerName = s->utf8();
            }
            tls_.allowExpired =
                boolFrom(d->objectForKey(kCFStreamSSLAllowsExpiredCertificates), false);
            tls_.allowExpiredRoots =
                boolFrom(d->objectForKey(kCFStreamSSLAllowsExpiredRoots), false);
            tls_.allowAnyRoot = boolFrom(d->objectForKey(kCFStreamSSLAllowsAnyRoot), false);
            if (auto certs = as<NSArray>(d->objectForKey(kCFStreamSSLCertificates))) {
                for (NSObject* c : *certs) {
                    if (auto data = as<NSData>(c)) tls_.clientPEMs.emplace_back(data->view());
                }
            }
        }

        // What a kept connection must match to be handed to this stream.
        PoolKeyParts key;
        key.scheme = scheme;
        key.host = host_;
        key.port = port_;
        key.proxyKind = static_cast<int>(proxy_);
        key.proxyHost = proxyHost_;
        key.proxyPort = proxyPort_;
        if (https_) key.tls = &tls_;
        for (NSObject* k : *properties_) {
            auto name = as<NSString>(k);
            if (!name || isKnownKey(name)) continue;
            Ref<NSObject> v = properties_->objectForKey(name);
            key.custom.emplace_back(name->utf8(), v ? v->description()->utf8() : "");
        }
        // By name; of two names alike in UTF-8 the later one counts.
        if (key.custom.size() > 1)
            std::stable_sort(key.custom.begin(), key.custom.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t i = key.custom.size(); i-- > 1;) {
            if (key.custom[i - 1].first == key.custom[i].first)
                key.custom.erase(key.custom.begin() + static_cast<std::ptrdiff_t>(i - 1));
        }
        buildPoolKey(key, poolKey_);
        return true;
    }

    // ---- run-loop plumbing ----------------------------------------------------------------

    void attachSocket() {
        Weak<HTTPReadStream> weak(this);
        socketSource_ = RunLoopDescriptorSource::sourceWithDescriptor(conn_->fd, POLLOUT,
                                                                      [weak](short revents) {
                                                                          if (auto s = weak.lock())
                                                                              s->onSocket(revents);
                                                                      });
        for (auto& s : schedules_)
            s.loop->addSource(socketSource_, s.mode);
    }

    void detachSocket() {
        if (socketSource_) {
            socketSource_->invalidate();
            socketSource_ = nullptr;
        }
    }

    short wantedEvents() {
        switch (phase_) {
            case Phase::Connecting:
                return POLLOUT;
            case Phase::Tunnel:
            case Phase::Socks:
                return out_.empty() ? POLLIN : POLLOUT;
            case Phase::Handshake:
                return handshakeWants_;
            case Phase::Exchange: {
                short ev = 0;
                if (!paused() || readWantsWrite_) ev |= POLLIN;
                if (readWantsWrite_ || (!requestSent_ && !writeWantsRead_)) ev |= POLLOUT;
                if (writeWantsRead_) ev |= POLLIN;
                return ev;
            }
            default:
                return 0;
        }
    }

    void updatePollEvents() {
        if (socketSource_) socketSource_->setEvents(wantedEvents());
    }

    // The event source: a finished lookup, a nudge to read what TLS holds, client events.
    void onSignal() {
        {
            std::lock_guard<std::recursive_mutex> g(lock_);
            if (phase_ == Phase::Resolving && lookup_ && lookupDone()) onLookupDone();
            if (kick_) {
                kick_ = false;
                advance();
            }
        }
        deliverEvents();
    }

    void onSocket(short revents) {
        std::lock_guard<std::recursive_mutex> g(lock_);
        if (!conn_) return;
        if (phase_ == Phase::Connecting) {
            int err = 0;
            socklen_t len = sizeof err;
            if (::getsockopt(conn_->fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
            if (err == 0 && (revents & (POLLERR | POLLHUP)) && !(revents & POLLOUT))
                err = ECONNREFUSED;
            if (err != 0) {
                detachSocket();
                conn_.reset();
                connectError_ = err;
                connectNext();
            } else {
                afterConnect();
            }
        }
        advance();
        eventSource_->signal();
    }

    void signalEvents() { eventSource_->signal(); }

    void deliverEvents() {
        Ref<HTTPReadStream> keep(this);
        for (;;) {
            CFStreamEventType event = kCFStreamEventNone;
            CFReadStreamClientCallBack callback;
            void* info;
            {
                std::lock_guard<std::recursive_mutex> g(lock_);
                if (!callback_ || status_ == kCFStreamStatusClosed ||
                    status_ == kCFStreamStatusNotOpen)
                    return;
                if (connected_ && !openReported_) {
                    openReported_ = true;
                    event = kCFStreamEventOpenCompleted;
                } else if (status_ == kCFStreamStatusError) {
                    if (errorReported_) return;
                    errorReported_ = true;
                    event = kCFStreamEventErrorOccurred;
                } else if (headComplete_ && unread() > 0) {
                    // Told once per change of what waits: new bytes, or a read that left some.
                    if (!bytesNews_) return;
                    bytesNews_ = false;
                    event = kCFStreamEventHasBytesAvailable;
                } else if (messageComplete_) {
                    if (endReported_) return;
                    endReported_ = true;
                    event = kCFStreamEventEndEncountered;
                } else {
                    return;
                }
                if (!(events_ & event)) continue;
                callback = callback_;
                info = context_.info;
            }
            callback(this, event, info);
        }
    }

    // ---- connecting -------------------------------------------------------------------------

    void onLookupDone() {
        int gai;
        std::vector<SocketAddress> addresses;
        {
            std::lock_guard<std::mutex> g(lookup_->lock);
            gai = lookup_->gaiError;
            addresses = lookup_->addresses;
        }
        lookup_.reset();
        if (gai != 0) {
            auto extra = NSDictionary::dictionaryWithObject(NSNumber::numberWithInt(gai),
                                                            kCFGetAddrInfoFailureKey);
            fail(networkError(kCFHostErrorUnknown,
                              "A server with the specified hostname could "
                              "not be found.",
                              extra));
            return;
        }
        addresses_ = std::move(addresses);
        addressIndex_ = 0;
        connectError_ = ECONNREFUSED;
        connectNext();
    }

    void connectNext() {
        while (addressIndex_ < addresses_.size()) {
            const SocketAddress& a = addresses_[addressIndex_++];
            int fd = ::socket(a.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd < 0) {
                connectError_ = errno;
                continue;
            }
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&a.storage), a.length);
            if (rc != 0 && errno != EINPROGRESS) {
                connectError_ = errno;
                ::close(fd);
                continue;
            }
            conn_ = std::make_unique<Connection>();
            conn_->fd = fd;
            conn_->key = poolKey_;
            attachSocket();
            phase_ = Phase::Connecting;
            if (rc == 0) afterConnect();
            updatePollEvents();
            return;
        }
        fail(posixError(connectError_));
    }

    void afterConnect() {
        switch (proxy_) {
            case Proxy::Tunnel: {
                std::string authority = bracketed(host_) + ":" + std::to_string(port_);
                std::string head =
                    "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
                if (const std::string* auth = request_->field("Proxy-Authorization"))
                    head += "Proxy-Authorization: " + *auth + "\r\n";
                out_.push_back(Segment{head + "\r\n"});
                tunnelResponse_ = CFHTTPMessageCreateEmpty(kCFAllocatorDefault, false);
                phase_ = Phase::Tunnel;
                break;
            }
            case Proxy::Socks:
                out_.push_back(Segment{std::string("\x05\x01\x00", 3)});
                socksStep_ = SocksStep::Greeting;
                phase_ = Phase::Socks;
                break;
            default:
                startTLSOrExchange();
        }
        updatePollEvents();
    }

    void startTLSOrExchange() {
        if (!https_) {
            onTransportReady();
            return;
        }
        Ref<NSError> error;
        if (!conn_->startTLS(tls_, &error)) {
            fail(error);
            return;
        }
        phase_ = Phase::Handshake;
        handshakeWants_ = POLLOUT;
    }

    // The connection is ready for HTTP: queue the request and start the exchange.
    void onTransportReady() {
        connected_ = true;
        status_ = kCFStreamStatusOpen;
        phase_ = Phase::Exchange;
        queueRequest();
        if (bodyStream_) {
            bodyStream_->open();
            if (bodyStream_->streamStatus() == NSStreamStatusError) {
                Ref<NSError> e = bodyStream_->streamError();
                fail(e ? e : posixError(EIO));
                return;
            }
            bodyOpen_ = true;
        }
        response_ = CFHTTPMessageCreateEmpty(kCFAllocatorDefault, false);
        updatePollEvents();
        signalEvents();
    }

    static std::string bracketed(const std::string& host) {
        return host.find(':') != std::string::npos ? "[" + host + "]" : host;
    }

    // Hands each field that goes out to `visit` (name, value), in order: Host unless the caller
    // gave one, the caller's (never proxy credentials on a tunnel), then the body's framing.
    template <class Visit>
    void visitSentFields(Visit&& visit) {
        if (!request_->field("Host")) {
            std::string hostField = bracketed(host_);
            if (explicitPort_ && port_ != (https_ ? 443 : 80))
                hostField += ":" + std::to_string(port_);
            visit(std::string_view("Host"), std::string_view(hostField));
        }
        for (const auto& f : request_->fields) {
            // Proxy credentials went to the CONNECT request; the origin must not see them.
            if (proxy_ == Proxy::Tunnel && lower(f.name) == "proxy-authorization") continue;
            visit(std::string_view(f.name), std::string_view(f.value));
        }
        if (chunkedUpload_) {
            visit(std::string_view("Transfer-Encoding"), std::string_view("chunked"));
        } else if (!bodyStream_ && bodyData_ && !request_->field("Content-Length")) {
            std::string length = std::to_string(bodyData_->length());
            visit(std::string_view("Content-Length"), std::string_view(length));
        }
    }

    void queueRequest() {
        // The absolute URL's parts as the URL holds them: no text to make and split again.
        const NSURL::Parts& parts = request_->url->absoluteParts();
        chunkedUpload_ =
            bodyStream_ && !request_->field("Content-Length") && request_->version != "HTTP/1.0";
        std::string head;
        head.reserve(512);
        head += request_->method;
        head += ' ';
        if (proxy_ == Proxy::HTTP) {
            // An HTTP proxy takes the absolute URL (never the fragment).
            head += parts.scheme;
            head += "://";
            head += parts.authority;
        }
        head += parts.path.empty() ? std::string_view("/") : std::string_view(parts.path);
        if (parts.hasQuery) {
            head += '?';
            head += parts.query;
        }
        head += ' ';
        head += request_->version;
        head += "\r\n";
        visitSentFields([&head](std::string_view name, std::string_view value) {
            head += name;
            head += ": ";
            head += value;
            head += "\r\n";
        });
        head += "\r\n";
        requestQueued_ = true;
        sentRequest_ = nullptr;
        out_.push_back(Segment{std::move(head)});
        if (bodyData_) {
            out_.push_back(Segment{std::string(bodyData_->view()), 0, true});
        }
        // A streamed body with a declared length ends with its last declared byte, whatever its
        // stream still holds: the request is out whole once that byte is written, not when a
        // later read finds the stream's end (a reset read first would make it look unsent).
        const std::string* declared = request_->field("Content-Length");
        bodyLeft_ = 0;
        bodyLengthDeclared_ = bodyStream_ && declared && parseContentLength(*declared, bodyLeft_);
        bodyFinished_ = !bodyStream_ || (bodyLengthDeclared_ && bodyLeft_ == 0);
        requestSent_ = false;
    }

    // The request as it went out, made when asked for: most exchanges never ask.
    Ref<CFHTTPMessage> sentRequest() {
        if (!requestQueued_) return nullptr;
        if (!sentRequest_) {
            sentRequest_ = CFHTTPMessageCreateCopy(kCFAllocatorDefault, request_);
            sentRequest_->body = nullptr;
            std::vector<CFHTTPMessage::Field> fields;
            visitSentFields([&fields](std::string_view name, std::string_view value) {
                fields.push_back({std::string(name), std::string(value)});
            });
            sentRequest_->fields = std::move(fields);
        }
        return sentRequest_;
    }

    // ---- the exchange -----------------------------------------------------------------------

    // Moves bytes until the connection would block, the budget is spent or the phase ends.
    void advance() {
        for (int rounds = 0; rounds < 64; ++rounds) {
            bool progressed = false;
            switch (phase_) {
                case Phase::Tunnel:
                    progressed = stepTunnel();
                    break;
                case Phase::Socks:
                    progressed = stepSocks();
                    break;
                case Phase::Handshake:
                    progressed = stepHandshake();
                    break;
                case Phase::Exchange: {
                    progressed = sendSome();
                    if (phase_ == Phase::Exchange) progressed = receiveSome() || progressed;
                    break;
                }
                default:
                    break;
            }
            if (!progressed) break;
        }
        if (conn_ && phase_ == Phase::Exchange && !paused() && conn_->hasBufferedInput())
            kick_ = true;
        updatePollEvents();
    }

    bool stepHandshake() {
        Ref<NSError> error;
        IOResult r = conn_->handshake(&error);
        switch (r) {
            case IOResult::Done:
                onTransportReady();
                return true;
            case IOResult::WantRead:
                handshakeWants_ = POLLIN;
                return false;
            case IOResult::WantWrite:
                handshakeWants_ = POLLOUT;
                return false;
            default:
                fail(error);
                return false;
        }
    }

    // Writes queued segments (the head and body pieces); false when nothing moved.
    bool flushOut(size_t& budget, bool pullBody) {
        bool progressed = false;
        writeWantsRead_ = false;
        while (budget > 0) {
            if (out_.empty() && (!pullBody || !mayPullBody() || !pullBodyChunk())) break;
            if (out_.empty()) break;
            Segment& s = out_.front();
            size_t n = 0;
            int err = 0;
            IOResult r = conn_->write(s.data.data() + s.pos, s.data.size() - s.pos, n, err);
            if (r == IOResult::Done) {
                s.pos += n;
                if (s.body) bytesWritten_ += n;
                budget -= std::min(budget, n);
                progressed = true;
                if (s.pos == s.data.size()) out_.pop_front();
                continue;
            }
            if (r == IOResult::WantRead) writeWantsRead_ = true;
            if (r == IOResult::WantRead || r == IOResult::WantWrite) break;
            onWriteFailure(err);
            return true;
        }
        return progressed;
    }

    // A stream taken off every run loop (a throttled upload) pulls no more of its body until it
    // is scheduled again: its client paused it, and pieces read now would go out at once. A
    // blocking read without a run loop drives the exchange itself and pulls as it goes.
    bool mayPullBody() { return !schedules_.empty() || blockingRead_; }

    // Queues the next piece of a streamed body; false when there is none now.
    bool pullBodyChunk() {
        if (bodyFinished_ || !bodyStream_) return false;
        size_t want = kBodyChunk;
        if (bodyLengthDeclared_) want = static_cast<size_t>(std::min<uint64_t>(want, bodyLeft_));
        std::string chunk(want, '\0');
        NSInteger n = bodyStream_->read(reinterpret_cast<uint8_t*>(chunk.data()),
                                        static_cast<NSUInteger>(chunk.size()));
        if (n < 0) {
            Ref<NSError> e = bodyStream_->streamError();
            fail(e ? e : posixError(EIO));
            return false;
        }
        if (n == 0) {
            if (bodyLengthDeclared_ && bodyLeft_ > 0) {
                // The server waits for bytes that will never come, and would answer, if at all,
                // only when it gives up: the request cannot be completed, unless it has answered.
                bodyCutShort_ = true;
                if (!failIfUnanswered()) readAnswerUnsent();
                return false;
            }
            bodyFinished_ = true;
            if (chunkedUpload_) out_.push_back(Segment{"0\r\n\r\n"});
            closeBody();
            return !out_.empty();
        }
        chunk.resize(static_cast<size_t>(n));
        if (bodyLengthDeclared_) {
            bodyLeft_ -= chunk.size();
            if (bodyLeft_ == 0) {
                bodyFinished_ = true;
                closeBody();
            }
        }
        if (chunkedUpload_) {
            char size[24];
            std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
            out_.push_back(Segment{size});
            out_.push_back(Segment{std::move(chunk), 0, true});
            out_.push_back(Segment{"\r\n"});
        } else {
            out_.push_back(Segment{std::move(chunk), 0, true});
        }
        return true;
    }

    bool sendSome() {
        if (requestSent_) return false;
        size_t budget = kIOBudget;
        bool progressed = flushOut(budget, true);
        if (phase_ == Phase::Exchange && out_.empty() && bodyFinished_) {
            requestSent_ = true;
            progressed = true;
        }
        return progressed;
    }

    // A request whose body was cut short gets an answer only if the server has begun one: the
    // stream fails once it is plain that none has (what came, if anything, was interim).
    bool failIfUnanswered() {
        if (!bodyCutShort_ || answerBegun()) return false;
        fail(networkError(kCFURLErrorRequestBodyStreamExhausted,
                          "The request body ended before its declared length."));
        return true;
    }

    // Whether bytes of the answer itself have come. A status line still arriving may begin it.
    bool answerBegun() {
        if (headComplete_) return true;
        if (!response_->statusLine.empty()) return !isInterim(response_->statusCode);
        return !response_->pending.empty();
    }

    // The server answered before taking the whole request: read its answer, and never hand
    // this connection on.
    void readAnswerUnsent() {
        requestSent_ = true;
        out_.clear();
        reusable_ = false;
        closeBody();
    }

    void onWriteFailure(int err) {
        if (gotResponseBytes_) {
            readAnswerUnsent();
            return;
        }
        if (conn_->tlsError && err == 0) {
            fail(conn_->tlsError);
        } else if (err == EPIPE || err == ECONNRESET || err == ENOTCONN || err == ECONNABORTED) {
            fail(brokenPipeError());
        } else {
            fail(posixError(err ? err : EIO));
        }
    }

    // Reads into `in_`; returns progress, and whether the peer closed in `closed`.
    bool readRaw(bool& closed, int& err) {
        closed = false;
        err = 0;
        bool progressed = false;
        readWantsWrite_ = false;
        // What is read is appended to `in_` at once, so one scratch buffer serves every stream
        // of the thread: a stream per request need not allocate and clear its own.
        thread_local std::unique_ptr<char[]> scratch(new char[kReadBuffer]);
        size_t budget = kIOBudget;
        while (budget > 0) {
            size_t n = 0;
            IOResult r = conn_->read(scratch.get(), kReadBuffer, n, err);
            if (r == IOResult::Done) {
                in_.append(scratch.get(), n);
                budget -= std::min(budget, n);
                progressed = true;
                if (phase_ == Phase::Exchange) break;  // parse before reading on
                continue;
            }
            if (r == IOResult::WantWrite) readWantsWrite_ = true;
            if (r == IOResult::WantRead || r == IOResult::WantWrite) break;
            if (r == IOResult::Closed) {
                closed = true;
            } else {
                if (err == 0 && !conn_->tlsError) err = EIO;
                closed = true;
                failedRead_ = true;
            }
            return true;
        }
        return progressed;
    }

    bool receiveSome() {
        if (paused()) return false;
        bool closed = false;
        int err = 0;
        failedRead_ = false;
        bool progressed = readRaw(closed, err);
        if (!in_.empty()) {
            gotResponseBytes_ = true;
            processInput();
        }
        if (closed && phase_ == Phase::Exchange) {
            if (failedRead_) {
                onReadFailure(err);
            } else {
                onPeerClosed();
            }
        }
        return progressed && phase_ == Phase::Exchange;
    }

    void onPeerClosed() {
        if (headComplete_ && framing_ == Framing::Close) {
            reusable_ = false;
            completeMessage();
            return;
        }
        if (!messageComplete_) fail(connectionLostError());
    }

    void onReadFailure(int err) {
        if (messageComplete_) return;
        if (conn_->tlsError && err == 0) {
            fail(conn_->tlsError);
        } else if (err == ECONNRESET || err == EPIPE || err == ENOTCONN || err == ECONNABORTED ||
                   err == ETIMEDOUT) {
            fail(connectionLostError());
        } else {
            fail(posixError(err));
        }
    }

    // Parses what has arrived: the head, then the body by its framing.
    void processInput() {
        while (phase_ == Phase::Exchange) {
            if (!headComplete_) {
                long used = response_->parseHead(in_.data(), in_.size());
                if (used < 0) {
                    fail(networkError(kCFErrorHTTPParseFailure,
                                      "The server's response could "
                                      "not be parsed."));
                    return;
                }
                in_.erase(0, static_cast<size_t>(used));
                if (!response_->headerComplete) {
                    // What began as an answer may have been only an interim head.
                    failIfUnanswered();
                    return;
                }
                if (isInterim(response_->statusCode)) {
                    // Not the answer: the next head is.
                    response_ = CFHTTPMessageCreateEmpty(kCFAllocatorDefault, false);
                    continue;
                }
                onHeadComplete(false);
                continue;
            }
            if (messageComplete_) {
                if (!in_.empty()) reusable_ = false;  // bytes beyond the response
                in_.clear();
                return;
            }
            if (in_.empty()) return;
            switch (framing_) {
                case Framing::None:
                    completeMessage();
                    break;
                case Framing::Close:
                    appendBody(in_.data(), in_.size());
                    in_.clear();
                    return;
                case Framing::Length: {
                    size_t take = static_cast<size_t>(
                        std::min<uint64_t>(remaining_, static_cast<uint64_t>(in_.size())));
                    appendBody(in_.data(), take);
                    in_.erase(0, take);
                    remaining_ -= take;
                    if (remaining_ == 0) completeMessage();
                    break;
                }
                case Framing::Chunked:
                    if (!stepChunked()) return;
                    break;
            }
        }
    }

    // One step of chunked decoding; false when it needs more bytes.
    bool stepChunked() {
        switch (chunk_) {
            case Chunk::Size: {
                size_t nl = in_.find('\n');
                if (nl == std::string::npos) {
                    if (in_.size() > kMaxChunkLine) failParse();
                    return false;
                }
                std::string line = in_.substr(0, nl);
                in_.erase(0, nl + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                size_t end = line.find(';');
                std::string hex = line.substr(0, end);
                while (!hex.empty() && (hex.back() == ' ' || hex.back() == '\t'))
                    hex.pop_back();
                if (hex.empty() || hex.size() > 15 ||
                    !std::all_of(hex.begin(), hex.end(), [](char c) {
                        return std::isxdigit(static_cast<unsigned char>(c));
                    })) {
                    failParse();
                    return false;
                }
                remaining_ = std::stoull(hex, nullptr, 16);
                chunk_ = remaining_ == 0 ? Chunk::Trailer : Chunk::Data;
                return true;
            }
            case Chunk::Data: {
                size_t take = static_cast<size_t>(
                    std::min<uint64_t>(remaining_, static_cast<uint64_t>(in_.size())));
                if (take == 0) return false;
                appendBody(in_.data(), take);
                in_.erase(0, take);
                remaining_ -= take;
                if (remaining_ == 0) chunk_ = Chunk::DataEnd;
                return true;
            }
            case Chunk::DataEnd: {
                if (in_.empty()) return false;
                if (in_[0] == '\n') {
                    in_.erase(0, 1);
                } else if (in_.size() < 2) {
                    return false;
                } else if (in_.compare(0, 2, "\r\n") == 0) {
                    in_.erase(0, 2);
                } else {
                    failParse();
                    return false;
                }
                chunk_ = Chunk::Size;
                return true;
            }
            case Chunk::Trailer: {
                size_t nl = in_.find('\n');
                if (nl == std::string::npos) {
                    if (in_.size() > kMaxChunkLine) failParse();
                    return false;
                }
                bool blank = nl == 0 || (nl == 1 && in_[0] == '\r');
                in_.erase(0, nl + 1);
                if (blank) completeMessage();
                return true;
            }
        }
        return false;
    }

    void failParse() {
        fail(networkError(kCFErrorHTTPParseFailure, "The server's response could not be parsed."));
    }

    void appendBody(const char* bytes, size_t n) {
        if (n == 0) return;
        body_.append(bytes, n);
        bytesNews_ = true;
        signalEvents();
    }

    // The response head is in: decide how its body is framed and whether the connection may
    // be kept.
    void onHeadComplete(bool fromTunnel) {
        headComplete_ = true;
        int code = response_->statusCode;
        bool head = lower(request_->method) == "head";
        const std::string* te = response_->field("Transfer-Encoding");
        const std::string* cl = response_->field("Content-Length");
        uint64_t length = 0;
        if (head || (code >= 100 && code < 200) || code == 204 || code == 304) {
            framing_ = Framing::None;
        } else if (te && !tokens(te).empty() && tokens(te).back() == "chunked") {
            framing_ = Framing::Chunked;
            chunk_ = Chunk::Size;
        } else if (cl) {
            if (!parseContentLength(*cl, length)) {
                failParse();
                return;
            }
            framing_ = length == 0 ? Framing::None : Framing::Length;
            remaining_ = length;
        } else {
            framing_ = Framing::Close;
        }
        const std::string* connection = response_->field("Connection");
        bool keep = response_->version == "HTTP/1.1" ? !hasToken(connection, "close")
                                                     : hasToken(connection, "keep-alive");
        if (hasToken(request_->field("Connection"), "close")) keep = false;
        reusable_ = persistent_ && !fromTunnel && framing_ != Framing::Close && keep;
        signalEvents();
        if (framing_ == Framing::None) completeMessage();
    }

    void completeMessage() {
        if (messageComplete_) return;
        messageComplete_ = true;
        phase_ = Phase::Done;
        if (!requestSent_) reusable_ = false;  // the request never went out whole
        closeBody();
        detachSocket();
        if (conn_ && reusable_ && in_.empty()) {
            conn_->lastStream = serial_;
            conn_->reused = false;
            pool::checkin(std::move(conn_));
        }
        conn_.reset();
        signalEvents();
    }

    // ---- proxies ----------------------------------------------------------------------------

    bool stepTunnel() {
        size_t budget = kIOBudget;
        bool progressed = flushOut(budget, false);
        if (phase_ != Phase::Tunnel || !out_.empty()) return progressed;
        bool closed = false;
        int err = 0;
        progressed = readRaw(closed, err) || progressed;
        if (!in_.empty()) {
            long used = tunnelResponse_->parseHead(in_.data(), in_.size());
            if (used < 0) {
                fail(networkError(kCFErrorHTTPSProxyConnectionFailure,
                                  "The proxy's answer could not be parsed."));
                return false;
            }
            in_.erase(0, static_cast<size_t>(used));
            if (tunnelResponse_->headerComplete) {
                int code = tunnelResponse_->statusCode;
                if (code >= 200 && code < 300) {
                    in_.clear();
                    startTLSOrExchange();
                    return true;
                }
                // The proxy refused (407 asks for credentials): its answer is the response.
                connected_ = true;
                status_ = kCFStreamStatusOpen;
                phase_ = Phase::Exchange;
                requestSent_ = true;
                bodyFinished_ = true;
                response_ = tunnelResponse_;
                gotResponseBytes_ = true;
                onHeadComplete(true);
                processInput();
                return true;
            }
        }
        if (closed) {
            fail(networkError(kCFErrorHTTPSProxyConnectionFailure,
                              "The connection to the proxy was lost."));
            return false;
        }
        return progressed;
    }

    bool stepSocks() {
        size_t budget = kIOBudget;
        bool progressed = flushOut(budget, false);
        if (phase_ != Phase::Socks || !out_.empty()) return progressed;
        bool closed = false;
        int err = 0;
        progressed = readRaw(closed, err) || progressed;
        auto bad = [this](NSInteger code, const char* text) {
            fail(networkError(code, text));
            return false;
        };
        if (socksStep_ == SocksStep::Greeting) {
            if (in_.size() >= 2) {
                if (in_[0] != 5) return bad(kCFSOCKSErrorUnsupportedServerVersion, "SOCKS version");
                if (in_[1] != 0)
                    return bad(kCFSOCKS5ErrorNoAcceptableMethod, "no SOCKS method accepted");
                in_.erase(0, 2);
                std::string req("\x05\x01\x00", 3);
                std::string target = host_;
                int port = port_;
                in6_addr probe;
                if (auto o = hostOverrideFor(host_)) {
                    target = o->address;
                    if (o->port) port = o->port;
                }
                if (::inet_pton(AF_INET, target.c_str(), &probe) == 1) {
                    req += '\x01';
                    req.append(reinterpret_cast<const char*>(&probe), 4);
                } else if (::inet_pton(AF_INET6, target.c_str(), &probe) == 1) {
                    req += '\x04';
                    req.append(reinterpret_cast<const char*>(&probe), 16);
                } else {
                    if (target.size() > 255) return bad(kCFSOCKS5ErrorBadState, "host too long");
                    req += '\x03';
                    req += static_cast<char>(target.size());
                    req += target;
                }
                req += static_cast<char>((port >> 8) & 0xff);
                req += static_cast<char>(port & 0xff);
                out_.push_back(Segment{req});
                socksStep_ = SocksStep::Connect;
                return true;
            }
        } else if (in_.size() >= 5) {
            if (in_[0] != 5) return bad(kCFSOCKSErrorUnsupportedServerVersion, "SOCKS version");
            if (in_[1] != 0) {
                if (in_[1] == 5) {
                    fail(posixError(ECONNREFUSED));
                    return false;
                }
                return bad(kCFSOCKS5ErrorBadState, "the SOCKS proxy refused the connection");
            }
            size_t addr = in_[3] == 1   ? 4
                          : in_[3] == 4 ? 16
                          : in_[3] == 3 ? 1 + static_cast<unsigned char>(in_[4])
                                        : 0;
            if (addr == 0) return bad(kCFSOCKS5ErrorBadResponseAddr, "SOCKS reply address");
            if (in_.size() >= 4 + addr + 2) {
                in_.erase(0, 4 + addr + 2);
                startTLSOrExchange();
                return true;
            }
        }
        if (closed) return bad(kCFSOCKS5ErrorBadState, "the SOCKS proxy closed the connection");
        return progressed;
    }

    // ---- ends -------------------------------------------------------------------------------

    void fail(Ref<NSError> error) {
        if (status_ == kCFStreamStatusError || status_ == kCFStreamStatusClosed) return;
        error_ = error;
        // Body bytes that came before the failure are the reader's: the error waits until they
        // have been read, so a reply cut short still hands over its head and what arrived.
        errorPending_ =
            status_ == kCFStreamStatusOpen && headComplete_ && unread() > 0 && !errorPending_;
        if (!errorPending_) status_ = kCFStreamStatusError;
        phase_ = Phase::Failed;
        detachSocket();
        conn_.reset();
        closeBody();
        signalEvents();
    }

    void closeBody() {
        if (bodyOpen_ && bodyStream_) bodyStream_->close();
        bodyOpen_ = false;
    }

    // For a stream read without a run loop: drives the connection here until body bytes, the
    // end or an error come.
    void blockForBody() {
        blockingRead_ = true;
        struct Reset {
            bool& flag;
            ~Reset() { flag = false; }
        } reset{blockingRead_};
        while (status_ == kCFStreamStatusOpening || status_ == kCFStreamStatusOpen) {
            if (unread() > 0 || messageComplete_) return;
            if (phase_ == Phase::Resolving && lookup_) {
                std::shared_ptr<HostLookup> lookup = lookup_;
                NSRunLoop::flushDeferredWakeUps();
                {
                    std::unique_lock<std::mutex> g(lookup->lock);
                    lookup->changed.wait(g, [&] { return lookup->done; });
                }
                onLookupDone();
                continue;
            }
            if (!conn_) return;
            if (conn_->hasBufferedInput()) {
                advance();
                continue;
            }
            pollfd p{conn_->fd, wantedEvents(), 0};
            NSRunLoop::flushDeferredWakeUps();
            int rc = ::poll(&p, 1, -1);
            if (rc < 0 && errno != EINTR) {
                fail(posixError(errno));
                return;
            }
            if (rc > 0) onSocket(p.revents);
        }
    }

    std::recursive_mutex lock_;
    uint64_t serial_ = 0;
    // Inside blockForBody: the reader, not a run loop, drives the exchange.
    bool blockingRead_ = false;
    Ref<CFHTTPMessage> request_;
    Ref<CFHTTPMessage> sentRequest_;  // made on first request, once queued
    bool requestQueued_ = false;
    Ref<NSInputStream> bodyStream_;
    Ref<NSData> bodyData_;
    Ref<NSMutableDictionary> properties_;
    CFStreamStatus status_ = kCFStreamStatusNotOpen;
    Ref<NSError> error_;
    // A failure held back until the body bytes received before it have been read.
    bool errorPending_ = false;
    Phase phase_ = Phase::NotOpen;

    CFReadStreamClientCallBack callback_ = nullptr;
    CFOptionFlags events_ = 0;
    CFStreamClientContext context_{};
    bool connected_ = false;
    bool openReported_ = false, errorReported_ = false, endReported_ = false;
    bool bytesNews_ = false;

    std::vector<Schedule> schedules_;
    Ref<RunLoopSource> eventSource_;
    Ref<RunLoopDescriptorSource> socketSource_;
    bool kick_ = false;

    bool https_ = false;
    std::string host_;
    int port_ = 0;
    bool explicitPort_ = false;
    bool persistent_ = false;
    bool reusedConnection_ = false;  // the request went out on a connection from the pool
    Proxy proxy_ = Proxy::None;
    std::string proxyHost_;
    int proxyPort_ = 0;
    std::string connectHost_;
    int connectPort_ = 0;
    TLSOptions tls_;
    std::string poolKey_;

    std::shared_ptr<HostLookup> lookup_;
    std::vector<SocketAddress> addresses_;
    size_t addressIndex_ = 0;
    int connectError_ = 0;
    std::unique_ptr<Connection> conn_;
    short handshakeWants_ = POLLOUT;
    Ref<CFHTTPMessage> tunnelResponse_;
    SocksStep socksStep_ = SocksStep::Greeting;

    std::deque<Segment> out_;
    bool bodyOpen_ = false;
    bool bodyFinished_ = true;
    bool chunkedUpload_ = false;
    bool bodyLengthDeclared_ = false;  // a streamed body's Content-Length
    uint64_t bodyLeft_ = 0;            // of that length, not yet taken from the stream
    bool requestSent_ = false;
    bool bodyCutShort_ = false;  // the body stream ended before its declared length
    bool writeWantsRead_ = false;
    bool readWantsWrite_ = false;
    std::atomic<uint64_t> bytesWritten_{0};

    std::string in_;
    bool failedRead_ = false;
    bool gotResponseBytes_ = false;
    Ref<CFHTTPMessage> response_;
    bool headComplete_ = false;
    Framing framing_ = Framing::None;
    Chunk chunk_ = Chunk::Size;
    uint64_t remaining_ = 0;
    bool messageComplete_ = false;
    bool reusable_ = false;
    std::string body_;
    size_t bodyPos_ = 0;
};

}  // namespace cfnet

bool CFHTTPReadStreamMaySendAgain(CFReadStream* stream, NSError* error) {
    if (!stream || !error) return false;
    auto http = as<cfnet::HTTPReadStream>(stream);
    if (!http || !http->maySendAgain()) return false;
    Ref<NSString> domain = error->domain();
    NSInteger code = error->code();
    if (domain && domain->isEqualToString(NSPOSIXErrorDomain))
        return code == kPOSIXErrorENOTCONN || code == kPOSIXErrorEPIPE;
    if (domain && domain->isEqualToString(kCFErrorDomainCFNetwork))
        return code == kCFURLErrorNetworkConnectionLost;
    return false;
}

Ref<CFReadStream> CFReadStreamCreateForHTTPRequest(CFAllocatorRef, CFHTTPMessageRef request) {
    return make<cfnet::HTTPReadStream>(&cfnet::HTTPReadStream::initWithRequest, request,
                                       static_cast<NSInputStream*>(nullptr));
}

Ref<CFReadStream> CFReadStreamCreateForStreamedHTTPRequest(CFAllocatorRef,
                                                           CFHTTPMessageRef requestHeaders,
                                                           NSInputStream* requestBody) {
    return make<cfnet::HTTPReadStream>(&cfnet::HTTPReadStream::initWithRequest, requestHeaders,
                                       requestBody);
}
