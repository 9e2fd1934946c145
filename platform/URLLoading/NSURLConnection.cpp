#include "URLLoading/NSURLConnection.h"

#include <map>
#include <string>

#include "CFNetwork/CFHTTPAuthentication.h"
#include "CFNetwork/CFHTTPStream.h"
#include "CFNetwork/CFNetworkErrors.h"
#include "CFNetwork/CFProxySupport.h"
#include "CFNetwork/CFSocketStream.h"
#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSHTTPCookie.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLCredential.h"
#include "Foundation/NSURLCredentialStorage.h"
#include "Foundation/NSURLError.h"
#include "Foundation/NSURLProtectionSpace.h"
#include "Foundation/NSURLRequest.h"
#include "SystemConfiguration/SCNetworkReachability.h"
#include "URLLoading/NSURLCache.h"
#include "URLLoading/NSURLResponse.h"
#include "URLLoading/URLLoadingSupport.h"

NSString* const NSURLConnectionSynchronousRunLoopMode = NS("NSURLConnectionSynchronousMode");

using urlload::ContentDecoder;
using urlload::urlError;

namespace {

constexpr int kMaxRedirects = 16;
constexpr CFIndex kReadSize = 64 * 1024;

std::string lowered(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string schemeOf(NSURL* url) {
    Ref<NSString> s = url ? url->scheme() : nullptr;
    return s ? lowered(s->utf8()) : std::string();
}

bool isHTTPScheme(const std::string& scheme) {
    return scheme == "http" || scheme == "https";
}

// Whether a header field's list of directives holds the one named.
bool hasDirective(NSString* value, const char* directive) {
    if (!value) return false;
    std::string v = lowered(value->utf8());
    size_t at = v.find(directive);
    return at != std::string::npos;
}

NSString* authenticationMethodFor(NSString* scheme) {
    if (!scheme) return NSURLAuthenticationMethodDefault;
    if (scheme->isEqualToString(kCFHTTPAuthenticationSchemeBasic))
        return NSURLAuthenticationMethodHTTPBasic;
    if (scheme->isEqualToString(kCFHTTPAuthenticationSchemeDigest))
        return NSURLAuthenticationMethodHTTPDigest;
    if (scheme->isEqualToString(kCFHTTPAuthenticationSchemeNTLM))
        return NSURLAuthenticationMethodNTLM;
    if (scheme->isEqualToString(kCFHTTPAuthenticationSchemeNegotiate))
        return NSURLAuthenticationMethodNegotiate;
    return NSURLAuthenticationMethodDefault;
}

}  // namespace

// ---- the delegate's defaults --------------------------------------------------------------------

Ref<NSURLRequest> NSURLConnectionDelegate::connectionWillSendRequest(NSURLConnection*,
                                                                     NSURLRequest* request,
                                                                     NSURLResponse*) {
    return request;
}

Ref<NSCachedURLResponse> NSURLConnectionDelegate::connectionWillCacheResponse(
    NSURLConnection*, NSCachedURLResponse* cachedResponse) {
    return cachedResponse;
}

void NSURLConnectionDelegate::connectionDidReceiveAuthenticationChallenge(
    NSURLConnection*, NSURLAuthenticationChallenge* challenge) {
    if (auto sender = challenge->sender())
        sender->continueWithoutCredentialForAuthenticationChallenge(challenge);
}

// ---- the challenge sender -----------------------------------------------------------------------

// Answers reach the connection on its own loop, one pass later, so that a delegate answering
// inside its callback never re-enters the connection.
struct NSURLConnection::Sender : public NSObject, public NSURLAuthenticationChallengeSender {
    NS_OBJECT(NSURLConnection::Sender, NSObject)
    enum class Answer { Use, Continue, Cancel };
    Weak<NSURLConnection> connection;

    void answer(NSURLAuthenticationChallenge* challenge, Answer kind, NSURLCredential* credential);
    void useCredential(NSURLCredential* credential,
                       NSURLAuthenticationChallenge* challenge) override {
        answer(challenge, credential ? Answer::Use : Answer::Continue, credential);
    }
    void continueWithoutCredentialForAuthenticationChallenge(
        NSURLAuthenticationChallenge* challenge) override {
        answer(challenge, Answer::Continue, nullptr);
    }
    void cancelAuthenticationChallenge(NSURLAuthenticationChallenge* challenge) override {
        answer(challenge, Answer::Cancel, nullptr);
    }
};

// ---- one load -----------------------------------------------------------------------------------

struct NSURLConnection::Load {
    enum class Phase { Head, Body, ChallengeBody, Done };

    NSURLConnection* owner;
    Ref<NSURLConnection> keepAlive;  // the running connection keeps itself
    Ref<CFReadStream> stream;
    Ref<NSTimer> timer;
    NSTimeInterval timeout = NSURLRequestDefaultTimeoutInterval;
    NSTimeInterval lastActivity = 0;
    Phase phase = Phase::Head;
    bool connected = false;
    bool retried = false;
    int redirects = 0;

    // The body going out.
    long long bodyTotal = 0;
    long long bodyReported = 0;

    // The response.
    Ref<NSHTTPURLResponse> response;
    ContentDecoder decoder;
    bool cacheable = false;
    Ref<NSMutableData> cacheData;
    Ref<NSCachedURLResponse> revalidating;  // the cached copy whose validators were sent

    // The proxy the current stream goes through, if any.
    Ref<NSString> proxyHost;
    NSInteger proxyPort = 0;

    // Authentication.
    Ref<CFHTTPAuthentication> auth;         // what the credential is applied with
    Ref<NSURLCredential> credential;        // the credential in use
    Ref<NSURLProtectionSpace> authSpace;    // its space
    Ref<CFHTTPAuthentication> pendingAuth;  // the challenge being read or asked
    Ref<NSURLProtectionSpace> pendingSpace;
    Ref<NSURLAuthenticationChallenge> challenge;
    std::string challengeBody;
    std::map<std::string, int> failures;  // answers given per space

    explicit Load(NSURLConnection* c) : owner(c) {}

    Ref<NSURLRequest> request() { return owner->currentRequest_; }
    Ref<NSURL> url() {
        Ref<NSURLRequest> r = request();
        return r ? r->URL() : nullptr;
    }
    bool live() { return phase != Phase::Done && !owner->cancelled_.load(); }

    // Calls the delegate when the load is live; false when the load ended meanwhile.
    template <class F>
    bool tell(F&& f) {
        if (!live()) return false;
        if (Ref<NSURLConnectionDelegate> d = owner->delegate_) f(d.get());
        return live();
    }

    // ---- start ------------------------------------------------------------------------------
    void begin() {
        Ref<NSURLRequest> first = request();
        NSTimeInterval t = first ? first->timeoutInterval() : 0;
        timeout = t > 0 ? t : NSURLRequestDefaultTimeoutInterval;
        touch();
        startTimer(timeout);
        Ref<NSURLRequest> chosen = first;
        if (!tell([&](NSURLConnectionDelegate* d) {
                chosen = d->connectionWillSendRequest(owner, first, nullptr);
            }))
            return;
        if (!chosen) {
            finishSilently();
            return;
        }
        owner->currentRequest_ = chosen;
        send();
    }

    void startTimer(NSTimeInterval interval) {
        Weak<NSURLConnection> weak(owner);
        timer = NSTimer::timerWithTimeInterval(interval, false, [weak](NSTimer*) {
            if (auto c = weak.lock(); c && c->load_) c->load_->timedOut();
        });
        Ref<NSRunLoop> loop;
        std::lock_guard<std::recursive_mutex> g(owner->lock_);
        for (auto& s : owner->schedules_) {
            if (!loop) loop = s.loop;
            if (s.loop == loop) loop->addTimer(timer, s.mode);
        }
    }

    // Activity moves the deadline without touching the timer (which would wake the loop on
    // every event); the timer looks at the last activity when it fires.
    void touch() { lastActivity = Clock::now(); }

    void timedOut() {
        if (!live()) return;
        NSTimeInterval due = lastActivity + timeout;
        if (Clock::now() < due) {
            startTimer(due - Clock::now());
            return;
        }
        if (Ref<NSURLAuthenticationChallenge> pending = challenge) {
            challenge = nullptr;
            if (!tell([&](NSURLConnectionDelegate* d) {
                    d->connectionDidCancelAuthenticationChallenge(owner, pending);
                }))
                return;
        }
        fail(urlError(NSURLErrorTimedOut, url()));
    }

    // Sends the current request: from the cache when the policy allows, else over a stream.
    void send() {
        dropStream(true);
        Ref<NSURLRequest> r = request();
        Ref<NSURL> u = r ? r->URL() : nullptr;
        if (!u || !u->scheme()) {
            fail(urlError(NSURLErrorBadURL, u));
            return;
        }
        if (!isHTTPScheme(schemeOf(u))) {
            fail(urlError(NSURLErrorUnsupportedURL, u));
            return;
        }
        Ref<NSString> host = u->host();
        if (!host || host->length() == 0) {
            fail(urlError(NSURLErrorBadURL, u));
            return;
        }
        // Without a network (as reachability's test hook says), nothing is tried; a real
        // machine without one fails to connect, which reads as the same error.
        SCNetworkReachabilityFlags imposed = 0;
        if (SCNetworkReachabilityGetFlagsForTesting(&imposed) &&
            !(imposed & kSCNetworkReachabilityFlagsReachable)) {
            fail(urlError(NSURLErrorNotConnectedToInternet, u));
            return;
        }
        revalidating = nullptr;
        if (answerFromCache(r)) return;
        open(r);
    }

    bool isGET(NSURLRequest* r) {
        Ref<NSString> m = r->HTTPMethod();
        return !m || m->isEqualToString(NS("GET"));
    }

    // Policies 0, 2 and 3 read the cache; 0 asks the server whether the copy still holds.
    bool answerFromCache(NSURLRequest* r) {
        NSURLRequestCachePolicy policy = r->cachePolicy();
        bool reads = policy == NSURLRequestUseProtocolCachePolicy ||
                     policy == NSURLRequestReturnCacheDataElseLoad ||
                     policy == NSURLRequestReturnCacheDataDontLoad;
        if (!reads || !isGET(r)) {
            if (policy == NSURLRequestReturnCacheDataDontLoad) {
                fail(urlError(NSURLErrorResourceUnavailable, r->URL()));
                return true;
            }
            return false;
        }
        Ref<NSCachedURLResponse> cached = NSURLCache::sharedURLCache()->cachedResponseForRequest(r);
        if (!cached) {
            if (policy == NSURLRequestReturnCacheDataDontLoad) {
                fail(urlError(NSURLErrorResourceUnavailable, r->URL()));
                return true;
            }
            return false;
        }
        if (policy != NSURLRequestUseProtocolCachePolicy) {
            deliverCached(cached, nullptr);
            return true;
        }
        // A request that validates by itself wants to see the server's answer.
        if (r->valueForHTTPHeaderField(NS("If-None-Match")) ||
            r->valueForHTTPHeaderField(NS("If-Modified-Since")))
            return false;
        auto http = as<NSHTTPURLResponse>(cached->response());
        if (http && (http->valueForHTTPHeaderField(NS("ETag")) ||
                     http->valueForHTTPHeaderField(NS("Last-Modified"))))
            revalidating = cached;
        return false;
    }

    void deliverCached(NSCachedURLResponse* cached, NSHTTPURLResponse* fresh) {
        Ref<NSCachedURLResponse> keep(cached);
        Ref<NSURLResponse> shown = cached->response();
        if (fresh) {
            // The server confirmed the copy: its newer fields win over the stored ones.
            auto http = as<NSHTTPURLResponse>(shown);
            auto fields =
                http ? http->allHeaderFields()->mutableCopy() : NSMutableDictionary::dictionary();
            for (NSObject* key : *fresh->allHeaderFields()) {
                auto k = as<NSString>(key);
                if (k && !k->isEqualToString(NS("Content-Length")) &&
                    !k->isEqualToString(NS("Content-Encoding")))
                    fields->setObject(fresh->allHeaderFields()->objectForKey(k), k);
            }
            shown = make<NSHTTPURLResponse>(&NSHTTPURLResponse::initWithURL, shown->URL().get(),
                                            http ? http->statusCode() : NSInteger(200),
                                            NS("HTTP/1.1"), fields.get());
            NSURLCache::sharedURLCache()->storeCachedResponse(
                NSCachedURLResponse::cachedResponse(shown, cached->data()), request());
        }
        dropStream(false);
        if (!tell(
                [&](NSURLConnectionDelegate* d) { d->connectionDidReceiveResponse(owner, shown); }))
            return;
        Ref<NSData> data = cached->data();
        if (data && data->length() > 0 &&
            !tell([&](NSURLConnectionDelegate* d) { d->connectionDidReceiveData(owner, data); }))
            return;
        finish();
    }

    // ---- the stream ----------------------------------------------------------------------------
    Ref<CFHTTPMessage> message(NSURLRequest* r) {
        Ref<NSURL> u = r->URL();
        Ref<NSString> method = r->HTTPMethod();
        auto m = CFHTTPMessageCreateRequest(kCFAllocatorDefault, method ? method.get() : NS("GET"),
                                            u, kCFHTTPVersion1_1);
        if (!m) return nullptr;
        if (auto fields = r->allHTTPHeaderFields()) {
            for (NSObject* key : *fields) {
                auto k = as<NSString>(key);
                auto v = k ? as<NSString>(fields->objectForKey(k)) : nullptr;
                if (k && v) CFHTTPMessageSetHeaderFieldValue(m, k, v);
            }
        }
        auto missing = [&](NSString* name) { return !CFHTTPMessageCopyHeaderFieldValue(m, name); };
        if (missing(NS("Accept"))) CFHTTPMessageSetHeaderFieldValue(m, NS("Accept"), NS("*/*"));
        if (missing(NS("Accept-Encoding")))
            CFHTTPMessageSetHeaderFieldValue(m, NS("Accept-Encoding"), NS("gzip, deflate"));
        if (r->HTTPShouldHandleCookies() && missing(NS("Cookie"))) {
            auto cookies = NSHTTPCookieStorage::sharedHTTPCookieStorage()->cookiesForURL(u);
            if (cookies && cookies->count() > 0) {
                auto fields = NSHTTPCookie::requestHeaderFieldsWithCookies(cookies);
                for (NSObject* key : *fields) {
                    auto k = as<NSString>(key);
                    CFHTTPMessageSetHeaderFieldValue(m, k, as<NSString>(fields->objectForKey(k)));
                }
            }
        }
        if (revalidating) {
            auto http = as<NSHTTPURLResponse>(revalidating->response());
            if (auto etag = http->valueForHTTPHeaderField(NS("ETag")))
                CFHTTPMessageSetHeaderFieldValue(m, NS("If-None-Match"), etag);
            if (auto modified = http->valueForHTTPHeaderField(NS("Last-Modified")))
                CFHTTPMessageSetHeaderFieldValue(m, NS("If-Modified-Since"), modified);
        }
        if (auth && credential && CFHTTPAuthenticationAppliesToRequest(auth, m))
            CFHTTPMessageApplyCredentials(m, auth, credential->user(), credential->password(),
                                          nullptr);
        Ref<NSData> body = r->HTTPBody();
        if (body) CFHTTPMessageSetBody(m, body);
        bodyTotal = body ? static_cast<long long>(body->length()) : 0;
        bodyReported = 0;
        return m;
    }

    // Sends the stream through the proxy the system settings name for the URL, if any, and
    // keeps its name for a proxy's challenge.
    void applyProxy(CFReadStream* s, NSURL* u) {
        proxyHost = nullptr;
        proxyPort = 0;
        Ref<NSDictionary> settings = CFNetworkCopySystemProxySettings();
        auto enabled = [&](NSString* key) {
            auto flag = as<NSNumber>(settings->objectForKey(key));
            return flag && flag->boolValue();
        };
        if (!enabled(kCFNetworkProxiesHTTPEnable) && !enabled(kCFNetworkProxiesHTTPSEnable) &&
            !enabled(kCFNetworkProxiesSOCKSEnable))
            return;
        Ref<NSArray> proxies = CFNetworkCopyProxiesForURL(u, settings);
        auto first = proxies ? as<NSDictionary>(proxies->firstObject()) : nullptr;
        auto type = first ? as<NSString>(first->objectForKey(kCFProxyTypeKey)) : nullptr;
        if (!type || type->isEqualToString(kCFProxyTypeNone)) return;
        NSObject* host = first->objectForKey(kCFProxyHostNameKey);
        NSObject* port = first->objectForKey(kCFProxyPortNumberKey);
        if (!host || !port) return;
        proxyHost = as<NSString>(host);
        if (auto number = as<NSNumber>(port)) proxyPort = number->integerValue();
        if (type->isEqualToString(kCFProxyTypeSOCKS)) {
            CFReadStreamSetProperty(s, kCFStreamPropertySOCKSProxy,
                                    NSDictionary::dictionaryWithObjectsAndKeys(
                                        {host, kCFStreamPropertySOCKSProxyHost, port,
                                         kCFStreamPropertySOCKSProxyPort}));
            return;
        }
        bool https = schemeOf(u) == "https";
        CFReadStreamSetProperty(
            s, kCFStreamPropertyHTTPProxy,
            NSDictionary::dictionaryWithObjectsAndKeys(
                {host, https ? kCFStreamPropertyHTTPSProxyHost : kCFStreamPropertyHTTPProxyHost,
                 port, https ? kCFStreamPropertyHTTPSProxyPort : kCFStreamPropertyHTTPProxyPort}));
    }

    void open(NSURLRequest* r, bool resend = false) {
        Ref<CFHTTPMessage> m = message(r);
        if (!m) {
            fail(urlError(NSURLErrorBadURL, r->URL()));
            return;
        }
        stream = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, m);
        if (!stream) {
            fail(urlError(NSURLErrorBadURL, r->URL()));
            return;
        }
        // The resend after a dead kept connection takes no other kept one.
        if (!resend)
            CFReadStreamSetProperty(stream, kCFStreamPropertyHTTPAttemptPersistentConnection,
                                    kCFBooleanTrue);
        applyProxy(stream, r->URL());
        CFStreamClientContext context;
        context.info = this;
        CFReadStreamSetClient(stream,
                              kCFStreamEventOpenCompleted | kCFStreamEventHasBytesAvailable |
                                  kCFStreamEventErrorOccurred | kCFStreamEventEndEncountered,
                              &streamEvent, &context);
        {
            std::lock_guard<std::recursive_mutex> g(owner->lock_);
            for (auto& s : owner->schedules_)
                CFReadStreamScheduleWithRunLoop(stream, s.loop, s.mode);
        }
        phase = Phase::Head;
        connected = false;
        response = nullptr;
        if (!CFReadStreamOpen(stream)) {
            streamFailed();
            return;
        }
        touch();
    }

    // Lets go of the stream. An unfinished exchange closes its connection; a finished one
    // leaves it to the kept connections.
    void dropStream(bool close) {
        if (!stream) return;
        Ref<CFReadStream> s = std::move(stream);
        stream = nullptr;
        CFReadStreamSetClient(s, 0, nullptr, nullptr);
        {
            std::lock_guard<std::recursive_mutex> g(owner->lock_);
            for (auto& sch : owner->schedules_)
                CFReadStreamUnscheduleFromRunLoop(s, sch.loop, sch.mode);
        }
        if (close || CFReadStreamGetStatus(s) != kCFStreamStatusAtEnd) CFReadStreamClose(s);
    }

    static void streamEvent(CFReadStreamRef s, CFStreamEventType type, void* info) {
        auto* load = static_cast<Load*>(info);
        if (s != load->stream.get()) return;
        Ref<NSURLConnection> keep(load->owner);
        load->handle(type);
    }

    [[gnu::noinline]] void handle(CFStreamEventType type) {
        if (!live()) return;
        touch();
        Ref<CFReadStream> s = stream;
        switch (type) {
            case kCFStreamEventOpenCompleted:
                connected = true;
                reportBodyProgress(false);
                return;
            case kCFStreamEventErrorOccurred:
                streamFailed();
                return;
            case kCFStreamEventHasBytesAvailable:
            case kCFStreamEventEndEncountered:
                break;
            default:
                return;
        }
        connected = true;
        if (phase == Phase::Head) {
            if (!readHead()) return;
            if (!live() || stream != s) return;  // ended, redirected or retried
        }
        if (!readBody()) return;
        if (type == kCFStreamEventEndEncountered ||
            CFReadStreamGetStatus(s) == kCFStreamStatusAtEnd)
            bodyEnded();
    }

    void streamFailed() {
        Ref<NSError> underlying = stream ? CFReadStreamCopyError(stream) : nullptr;
        // Lost unanswered on a kept connection, and safe to send again: once more, on a
        // connection of its own (the other kept ones may be as dead).
        if (!retried && CFHTTPReadStreamMaySendAgain(stream, underlying)) {
            retried = true;
            dropStream(true);
            open(request(), true);
            return;
        }
        NSInteger code = urlload::urlErrorCodeForStreamError(underlying, connected);
        fail(urlError(code, url(), underlying));
    }

    void reportBodyProgress(bool complete) {
        if (bodyTotal <= 0 || !stream) return;
        auto written = as<NSNumber>(
            CFReadStreamCopyProperty(stream, kCFStreamPropertyHTTPRequestBytesWrittenCount));
        long long now = written ? written->longLongValue() : 0;
        if (complete) now = bodyTotal;  // an answer has come: the body is out
        if (now > bodyTotal) now = bodyTotal;
        if (now <= bodyReported) return;
        long long step = now - bodyReported;
        bodyReported = now;
        tell([&](NSURLConnectionDelegate* d) {
            d->connectionDidSendBodyData(owner, static_cast<NSInteger>(step),
                                         static_cast<NSInteger>(now),
                                         static_cast<NSInteger>(bodyTotal));
        });
    }

    // The response's head has come: decides what it is. False when the body is not to be read
    // on this stream (the load ended, moved on, or waits).
    bool readHead() {
        auto m = as<CFHTTPMessage>(
            CFReadStreamCopyProperty(stream, kCFStreamPropertyHTTPResponseHeader));
        if (!m || !CFHTTPMessageIsHeaderComplete(m)) {
            if (CFReadStreamGetStatus(stream) == kCFStreamStatusAtEnd)
                fail(urlError(NSURLErrorBadServerResponse, url()));
            return false;
        }
        reportBodyProgress(true);
        if (!live()) return false;
        Ref<NSURLRequest> r = request();
        Ref<NSURL> u = r->URL();
        NSInteger status = CFHTTPMessageGetResponseStatusCode(m);
        response = make<NSHTTPURLResponse>(&NSHTTPURLResponse::initWithURL, u.get(), status,
                                           CFHTTPMessageCopyVersion(m).get(),
                                           CFHTTPMessageCopyAllHeaderFields(m).get());
        if (r->HTTPShouldHandleCookies()) {
            auto cookies =
                NSHTTPCookie::cookiesWithResponseHeaderFields(response->allHeaderFields(), u);
            if (cookies && cookies->count() > 0)
                NSHTTPCookieStorage::sharedHTTPCookieStorage()->setCookies(cookies, u,
                                                                           r->mainDocumentURL());
        }
        if (status == 401 || status == 407) {
            if (startChallenge(m)) {
                phase = Phase::ChallengeBody;
                challengeBody.clear();
                return true;
            }
        } else if (credential && authSpace) {
            // The credential worked: keep it as its persistence asks.
            if (credential->persistence() == NSURLCredentialPersistenceForSession ||
                credential->persistence() == NSURLCredentialPersistencePermanent)
                NSURLCredentialStorage::sharedCredentialStorage()->setCredential(credential,
                                                                                 authSpace);
        }
        if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
            Ref<NSString> location = response->valueForHTTPHeaderField(NS("Location"));
            Ref<NSURL> target =
                location && location->length() ? NSURL::URLWithString(location, u) : nullptr;
            if (target && target->host() && isHTTPScheme(schemeOf(target)))
                return redirect(status, target->absoluteURL());
        }
        if (status == 304 && revalidating) {
            deliverCached(revalidating, response);
            return false;
        }
        return startBody(r);
    }

    bool startBody(NSURLRequest* r) {
        decoder.reset(
            ContentDecoder::codingFor(response->valueForHTTPHeaderField(NS("Content-Encoding"))));
        Ref<NSURLCache> cache = NSURLCache::sharedURLCache();
        NSInteger status = response->statusCode();
        cacheable =
            isGET(r) && status >= 200 && status < 300 &&
            !hasDirective(response->valueForHTTPHeaderField(NS("Cache-Control")), "no-store") &&
            (cache->memoryCapacity() > 0 || cache->diskCapacity() > 0);
        cacheData = cacheable ? NSMutableData::data() : nullptr;
        phase = Phase::Body;
        Ref<NSHTTPURLResponse> shown = response;
        return tell(
            [&](NSURLConnectionDelegate* d) { d->connectionDidReceiveResponse(owner, shown); });
    }

    bool redirect(NSInteger status, NSURL* target) {
        if (++redirects > kMaxRedirects) {
            fail(urlError(NSURLErrorHTTPTooManyRedirects, url()));
            return false;
        }
        Ref<NSMutableURLRequest> next = request()->mutableCopy();
        next->setURL(target);
        Ref<NSString> method = next->HTTPMethod();
        if (status != 307 && status != 308 && method && !method->isEqualToString(NS("HEAD"))) {
            next->setHTTPMethod(NS("GET"));
            next->setHTTPBody(nullptr);
            next->setValueForHTTPHeaderField(nullptr, NS("Content-Type"));
            next->setValueForHTTPHeaderField(nullptr, NS("Content-Length"));
        }
        Ref<NSHTTPURLResponse> redirectResponse = response;
        Ref<NSURLRequest> chosen = next;
        if (!tell([&](NSURLConnectionDelegate* d) {
                chosen = d->connectionWillSendRequest(owner, next, redirectResponse);
            }))
            return false;
        if (!chosen) return startBody(request());  // the redirect itself is the answer
        owner->currentRequest_ = chosen;
        send();
        return false;
    }

    bool readBody() {
        if (!stream) return false;
        std::string raw;
        // One read buffer per thread: loads on a loop never read at the same time.
        thread_local std::vector<uint8_t> buffer(kReadSize);
        while (CFReadStreamHasBytesAvailable(stream) ||
               CFReadStreamGetStatus(stream) == kCFStreamStatusAtEnd) {
            CFIndex n = CFReadStreamRead(stream, buffer.data(), kReadSize);
            if (n <= 0) break;
            raw.append(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(n));
        }
        if (CFReadStreamGetStatus(stream) == kCFStreamStatusError) {
            // What came before the failure reaches the delegate first.
            if (!raw.empty() && phase == Phase::Body && !deliver(raw.data(), raw.size()))
                return false;
            if (live() && stream) streamFailed();
            return false;
        }
        if (raw.empty()) return true;
        if (phase == Phase::ChallengeBody) {
            challengeBody += raw;
            return true;
        }
        return deliver(raw.data(), raw.size());
    }

    bool deliver(const char* bytes, size_t length) {
        std::string decoded;
        if (!decoder.feed(bytes, length, decoded)) {
            fail(urlError(NSURLErrorCannotDecodeRawData, url()));
            return false;
        }
        if (decoded.empty()) return true;
        Ref<NSData> data = NSData::dataWithBytes(decoded.data(), decoded.size());
        if (cacheData) cacheData->appendData(data);
        return tell([&](NSURLConnectionDelegate* d) { d->connectionDidReceiveData(owner, data); });
    }

    void bodyEnded() {
        if (phase == Phase::ChallengeBody) {
            askChallenge();
            return;
        }
        if (phase != Phase::Body) return;
        if (!decoder.finish()) {
            fail(urlError(NSURLErrorCannotDecodeRawData, url()));
            return;
        }
        dropStream(false);
        if (cacheable) {
            auto proposed = NSCachedURLResponse::cachedResponse(response, cacheData);
            Ref<NSCachedURLResponse> chosen = proposed;
            if (!tell([&](NSURLConnectionDelegate* d) {
                    chosen = d->connectionWillCacheResponse(owner, proposed);
                }))
                return;
            if (chosen) NSURLCache::sharedURLCache()->storeCachedResponse(chosen, request());
        }
        finish();
    }

    // ---- authentication ------------------------------------------------------------------------
    // A challenge the platform can answer: true, and the body is read before the delegate is
    // asked; false makes it an ordinary response.
    bool startChallenge(CFHTTPMessage* m) {
        Ref<CFHTTPAuthentication> a =
            CFHTTPAuthenticationCreateFromResponse(kCFAllocatorDefault, m);
        if (!a || !CFHTTPAuthenticationIsValid(a, nullptr)) return false;
        Ref<NSString> scheme = CFHTTPAuthenticationCopyMethod(a);
        if (!scheme || !(scheme->isEqualToString(kCFHTTPAuthenticationSchemeBasic) ||
                         scheme->isEqualToString(kCFHTTPAuthenticationSchemeDigest)))
            return false;
        Ref<NSURL> u = url();
        std::string protocol = schemeOf(u);
        NSInteger port = u->port() ? u->port()->integerValue() : (protocol == "https" ? 443 : 80);
        Ref<NSString> realm = CFHTTPAuthenticationCopyRealm(a);
        auto space = alloc<NSURLProtectionSpace>();
        bool proxy = response->statusCode() == 407;
        if (proxy)
            space->initWithProxyHost(proxyHost ? proxyHost : u->host(),
                                     proxyHost ? proxyPort : port,
                                     protocol == "https" ? NSURLProtectionSpaceHTTPSProxy
                                                         : NSURLProtectionSpaceHTTPProxy,
                                     realm, authenticationMethodFor(scheme));
        else
            space->initWithHost(u->host(), port, NSString::fromUTF8(protocol), realm,
                                authenticationMethodFor(scheme));
        pendingAuth = a;
        pendingSpace = space;
        return true;
    }

    void askChallenge() {
        dropStream(false);
        Ref<NSURL> u = url();
        std::string key = pendingSpace->description()->utf8();
        int failed = failures[key];
        Ref<NSURLCredential> proposed;
        if (failed == 0 && u->user() && u->password())
            proposed = NSURLCredential::credentialWithUser(u->user(), u->password(),
                                                           NSURLCredentialPersistenceNone);
        if (!proposed) {
            // The space's default credential, else one stored for it.
            auto store = NSURLCredentialStorage::sharedCredentialStorage();
            proposed = store->defaultCredentialForProtectionSpace(pendingSpace);
            auto stored = proposed ? nullptr : store->credentialsForProtectionSpace(pendingSpace);
            if (stored && stored->count() > 0)
                proposed =
                    as<NSURLCredential>(stored->objectForKey(stored->allKeys()->firstObject()));
        }
        auto sender = alloc<Sender>();
        sender->connection = owner;
        challenge = make<NSURLAuthenticationChallenge>(
            &NSURLAuthenticationChallenge::initWithProtectionSpace, pendingSpace.get(),
            proposed.get(), NSInteger(failed), static_cast<NSURLResponse*>(response.get()),
            static_cast<NSError*>(nullptr),
            static_cast<NSURLAuthenticationChallengeSender*>(sender.get()));
        Ref<NSURLAuthenticationChallenge> asked = challenge;
        if (!owner->delegate_) {
            continueWithoutCredential();
            return;
        }
        tell([&](NSURLConnectionDelegate* d) {
            d->connectionDidReceiveAuthenticationChallenge(owner, asked);
        });
    }

    void answered(NSURLAuthenticationChallenge* c, Sender::Answer kind, NSURLCredential* cred) {
        if (!live() || !challenge || c != challenge.get()) return;  // not the open question
        challenge = nullptr;
        switch (kind) {
            case Sender::Answer::Use: {
                ++failures[pendingSpace->description()->utf8()];
                credential = cred;
                auth = pendingAuth;
                authSpace = pendingSpace;
                if (!cred->user() || !cred->password()) {
                    continueWithoutCredential();
                    return;
                }
                send();
                return;
            }
            case Sender::Answer::Continue:
                continueWithoutCredential();
                return;
            case Sender::Answer::Cancel:
                fail(urlError(NSURLErrorUserCancelledAuthentication, url()));
                return;
        }
    }

    // The challenge's own response, with its body, is the answer.
    void continueWithoutCredential() {
        challenge = nullptr;
        if (!startBody(request())) return;
        std::string body;
        body.swap(challengeBody);
        if (!body.empty() && !deliver(body.data(), body.size())) return;
        bodyEnded();
    }

    // ---- the end -------------------------------------------------------------------------------
    void fail(Ref<NSError> error) {
        if (!live()) return;
        dropStream(true);
        tell([&](NSURLConnectionDelegate* d) { d->connectionDidFailWithError(owner, error); });
        stop();
    }

    void finish() {
        if (!live()) return;
        dropStream(false);
        tell([&](NSURLConnectionDelegate* d) { d->connectionDidFinishLoading(owner); });
        stop();
    }

    void finishSilently() { stop(); }

    // Ends the load: nothing more is heard, the delegate and the work ticket are let go.
    void stop() {
        if (phase == Phase::Done) return;
        phase = Phase::Done;
        dropStream(true);
        if (timer) timer->invalidate();
        timer = nullptr;
        challenge = nullptr;
        owner->ended_ = true;
        Ref<NSURLConnectionDelegate> delegate = std::move(owner->delegate_);
        owner->delegate_ = nullptr;
        owner->ticket_.end();
        // The connection lives to the end of this pass: a caller up the stack may still use it.
        Ref<NSURLConnection> self = std::move(keepAlive);
        keepAlive = nullptr;
        if (self) self->autorelease();
    }
};

void NSURLConnection::Sender::answer(NSURLAuthenticationChallenge* challenge, Answer kind,
                                     NSURLCredential* credential) {
    Ref<NSURLConnection> c = connection.lock();
    if (!c) return;
    Ref<NSURLAuthenticationChallenge> keepChallenge(challenge);
    Ref<NSURLCredential> keepCredential(credential);
    c->post([c, keepChallenge, kind, keepCredential] {
        if (c->load_) c->load_->answered(keepChallenge, kind, keepCredential);
    });
}

// ---- NSURLConnection ----------------------------------------------------------------------------

NSURLConnection::NSURLConnection() = default;
NSURLConnection::~NSURLConnection() = default;

Ref<NSURLConnection> NSURLConnection::connectionWithRequest(NSURLRequest* request,
                                                            NSURLConnectionDelegate* delegate) {
    auto c = alloc<NSURLConnection>();
    if (!c->initWithRequest(request, delegate)) return nullptr;
    c->autorelease();
    return c;
}

bool NSURLConnection::initWithRequest(NSURLRequest* request, NSURLConnectionDelegate* delegate) {
    return initWithRequest(request, delegate, true);
}

bool NSURLConnection::initWithRequest(NSURLRequest* request, NSURLConnectionDelegate* delegate,
                                      bool startImmediately) {
    if (!request) return false;
    originalRequest_ = request->copy();
    currentRequest_ = originalRequest_;
    delegate_ = delegate;
    schedules_.push_back({NSRunLoop::currentRunLoop(), NSDefaultRunLoopMode});
    if (startImmediately) start();
    return true;
}

bool NSURLConnection::canHandleRequest(NSURLRequest* request) {
    return request && isHTTPScheme(schemeOf(request->URL()));
}

bool NSURLConnection::onLoopThread() {
    std::lock_guard<std::recursive_mutex> g(lock_);
    return !schedules_.empty() && schedules_.front().loop->isCurrent();
}

void NSURLConnection::post(std::function<void()> work) {
    Ref<NSRunLoop> loop;
    auto modes = NSMutableArray::array();
    {
        std::lock_guard<std::recursive_mutex> g(lock_);
        for (auto& s : schedules_) {
            if (!loop) loop = s.loop;
            if (s.loop == loop) modes->addObject(s.mode);
        }
    }
    if (loop) loop->performBlock(std::move(work), modes);
}

void NSURLConnection::start() {
    if (started_.exchange(true) || cancelled_) return;
    Ref<NSURLRequest> r = originalRequest_;
    Ref<NSString> method = r->HTTPMethod();
    Ref<NSURL> u = r->URL();
    ticket_ = NetworkWorkTicket((method ? method->utf8() : std::string("GET")) + " " +
                                (u ? u->absoluteString()->utf8() : std::string("(no URL)")));
    load_ = std::make_unique<Load>(this);
    load_->keepAlive = Ref<NSURLConnection>(this);
    Ref<NSURLConnection> self(this);
    post([self] {
        if (self->cancelled_ || !self->load_) return;
        self->load_->begin();
    });
}

void NSURLConnection::cancel() {
    if (cancelled_.exchange(true)) return;
    if (!started_) {
        ended_ = true;
        delegate_ = nullptr;
        return;
    }
    Ref<NSURLConnection> self(this);
    auto stop = [self] {
        if (self->load_) self->load_->stop();
    };
    if (onLoopThread())
        stop();
    else
        post(stop);
}

void NSURLConnection::scheduleInRunLoop(NSRunLoop* runLoop, NSString* mode) {
    if (!runLoop || !mode) return;
    std::lock_guard<std::recursive_mutex> g(lock_);
    for (auto& s : schedules_)
        if (s.loop.get() == runLoop && s.mode->isEqualToString(mode)) return;
    schedules_.push_back({runLoop, cast<NSString>(mode->copy())});
    if (load_ && load_->stream) CFReadStreamScheduleWithRunLoop(load_->stream, runLoop, mode);
    if (load_ && load_->timer && schedules_.front().loop.get() == runLoop)
        runLoop->addTimer(load_->timer, mode);
}

void NSURLConnection::unscheduleFromRunLoop(NSRunLoop* runLoop, NSString* mode) {
    if (!runLoop || !mode) return;
    std::lock_guard<std::recursive_mutex> g(lock_);
    for (auto it = schedules_.begin(); it != schedules_.end(); ++it) {
        if (it->loop.get() == runLoop && it->mode->isEqualToString(mode)) {
            if (load_ && load_->stream)
                CFReadStreamUnscheduleFromRunLoop(load_->stream, runLoop, mode);
            schedules_.erase(it);
            return;
        }
    }
}

void NSURLConnection::dealloc() {
    if (load_) load_->dropStream(true);
    if (load_ && load_->timer) load_->timer->invalidate();
    NSObject::dealloc();
}

// ---- the synchronous send -----------------------------------------------------------------------

namespace {

// Collects one load for sendSynchronousRequest; answers a first challenge with the proposed
// credential, as the platform does for a caller that cannot be asked.
class SynchronousLoad : public NSObject, public NSURLConnectionDelegate {
    NS_OBJECT(SynchronousLoad, NSObject)

public:
    Ref<NSURLResponse> response;
    Ref<NSMutableData> data = NSMutableData::data();
    Ref<NSError> error;
    bool done = false;

    void connectionDidReceiveResponse(NSURLConnection*, NSURLResponse* r) override {
        response = r;
        data->setLength(0);
    }
    void connectionDidReceiveData(NSURLConnection*, NSData* d) override { data->appendData(d); }
    void connectionDidFinishLoading(NSURLConnection*) override { done = true; }
    void connectionDidFailWithError(NSURLConnection*, NSError* e) override {
        error = e;
        done = true;
    }
    void connectionDidReceiveAuthenticationChallenge(
        NSURLConnection*, NSURLAuthenticationChallenge* challenge) override {
        auto sender = challenge->sender();
        Ref<NSURLCredential> proposed = challenge->proposedCredential();
        if (proposed && challenge->previousFailureCount() == 0)
            sender->useCredential(proposed, challenge);
        else
            sender->continueWithoutCredentialForAuthenticationChallenge(challenge);
    }
};

}  // namespace

Ref<NSData> NSURLConnection::sendSynchronousRequest(NSURLRequest* request,
                                                    Ref<NSURLResponse>* response,
                                                    Ref<NSError>* error) {
    if (response) *response = nullptr;
    if (error) *error = nullptr;
    auto collector = make<SynchronousLoad>();
    auto connection = alloc<NSURLConnection>();
    if (!connection->initWithRequest(request, collector.get(), false)) {
        if (error) *error = urlError(NSURLErrorBadURL, nullptr);
        return nullptr;
    }
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    connection->unscheduleFromRunLoop(loop, NSDefaultRunLoopMode);
    connection->scheduleInRunLoop(loop, NSURLConnectionSynchronousRunLoopMode);
    connection->start();
    while (!collector->done && !connection->ended_)
        loop->runMode(NSURLConnectionSynchronousRunLoopMode, NSDate::distantFuture());
    if (response) *response = collector->response;
    if (collector->error || !collector->done) {
        if (error)
            *error =
                collector->error ? collector->error : urlError(NSURLErrorCancelled, request->URL());
        return nullptr;
    }
    return collector->data->copy();
}
