// The request object: its defaults, the process-wide state made once, and its life from start
// to finish, failure or cancellation.
#include "external/nk-http-request/Classes/NKHTTPRequest.h"

#include <random>

#include "CFNetwork/CFNetwork.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSStream.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/NetworkWork.h"
#include "URLLoading/NSURLResponse.h"
#include "external/nk-http-request/Classes/NKHTTPRequestInternal.h"

NSString* const NKHTTPRequestErrorDomain = NS("NKHTTPRequestErrorDomain");
NSString* const NKHTTPRequestRunLoopMode = NS("NKHTTPRequestRunLoopMode");

// ---- shared helpers -----------------------------------------------------------------------------

namespace nk_detail {

Ref<NSError> engineError(NSInteger code, NSString* description, NSError* underlying) {
    Ref<NSMutableDictionary> info = NSMutableDictionary::dictionary();
    if (description) info->setObject(description, NSLocalizedDescriptionKey);
    if (underlying) info->setObject(underlying, NSUnderlyingErrorKey);
    return NSError::errorWithDomain(NKHTTPRequestErrorDomain, code, info);
}

Ref<NSString> globallyUniqueString() {
    // A random (version 4) UUID: unique enough for names of temporary files.
    static std::mutex lock;
    static std::mt19937_64 engine{std::random_device{}()};
    uint64_t a, b;
    {
        std::lock_guard<std::mutex> g(lock);
        a = engine();
        b = engine();
    }
    a = (a & ~0xF000ull) | 0x4000ull;
    b = (b & ~(3ull << 62)) | (2ull << 62);
    char text[40];
    snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", unsigned(a >> 32),
             unsigned((a >> 16) & 0xFFFF), unsigned(a & 0xFFFF), unsigned(b >> 48),
             static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
    return NSString::fromUTF8(text);
}

Ref<NSString> asString(NSObject* object) {
    if (object && NSString::isFixedTextString(object))
        return Ref<NSString>(static_cast<NSString*>(object));
    return as<NSString>(object);
}

Ref<NSString> headerValue(NSDictionary* headers, NSString* name) {
    return NSHTTPURLResponse::valueForHTTPHeaderField(headers, name);
}

namespace {

enum class NameMatch { None, IgnoringCase, Exact };

// How a header's name matches a wanted one of the same length. Names in plain ASCII, all of
// them in practice, are compared unit by unit; anything else as headerValue() compares it.
NameMatch matchName(NSString* key, NSString* name, NSUInteger length) {
    const char16_t* k = key->charactersPtr();
    const char16_t* n = name->charactersPtr();
    if (k && n) {
        bool exact = true;
        NSUInteger i = 0;
        for (; i < length; ++i) {
            char16_t a = k[i], b = n[i];
            if (a == b) {
                if (a >= 0x80) break;
                continue;
            }
            if (a >= 0x80 || b >= 0x80) break;
            exact = false;
            if ((a | 0x20) != (b | 0x20) || (a | 0x20) < 'a' || (a | 0x20) > 'z')
                return NameMatch::None;
        }
        if (i == length) return exact ? NameMatch::Exact : NameMatch::IgnoringCase;
    }
    if (key->isEqualToString(name)) return NameMatch::Exact;
    return key->caseInsensitiveCompare(name) == NSOrderedSame ? NameMatch::IgnoringCase
                                                              : NameMatch::None;
}

}  // namespace

void headerValues(NSDictionary* headers, NSString* const* names, size_t count,
                  Ref<NSString>* values) {
    for (size_t i = 0; i < count; ++i)
        values[i] = nullptr;
    if (!headers || count == 0) return;
    // Per name, the key spelled exactly so and the first key equal to it ignoring case.
    constexpr size_t kMost = 8;
    NSString* exact[kMost] = {};
    NSString* anyCase[kMost] = {};
    NSUInteger lengths[kMost];
    if (count > kMost) {
        for (size_t i = 0; i < count; ++i)
            values[i] = headerValue(headers, names[i]);
        return;
    }
    for (size_t i = 0; i < count; ++i)
        lengths[i] = names[i] ? names[i]->length() : NSNotFound;
    for (NSObject* key : *headers) {
        NSString* k = NSString::isFixedTextString(key) ? static_cast<NSString*>(key)
                                                       : dynamic_cast<NSString*>(key);
        if (!k) continue;
        NSUInteger length = k->length();
        for (size_t i = 0; i < count; ++i) {
            if (lengths[i] != length || exact[i]) continue;
            NameMatch m = matchName(k, names[i], length);
            if (m == NameMatch::None) continue;
            if (m == NameMatch::Exact) exact[i] = k;
            if (!anyCase[i]) anyCase[i] = k;
        }
    }
    for (size_t i = 0; i < count; ++i) {
        // As headerValue(): the exact spelling when it holds a string, else the first match.
        if (exact[i]) values[i] = asString(headers->objectForKey(exact[i]));
        if (!values[i] && anyCase[i]) values[i] = asString(headers->objectForKey(anyCase[i]));
    }
}

bool sameText(NSString* a, NSString* b) {
    if (!a || !b) return !a && !b;
    return a->isEqualToString(b);
}

bool sameServer(NSURL* a, NSURL* b) {
    if (!a || !b) return false;
    Ref<NSString> hostA = a->host(), hostB = b->host();
    if (!hostA || !hostB || !hostA->isEqualToString(hostB)) return false;
    Ref<NSNumber> portA = a->port(), portB = b->port();
    if (portA || portB) {
        if (!portA || !portB || portA->intValue() != portB->intValue()) return false;
    }
    return sameText(a->scheme(), b->scheme());
}

}  // namespace nk_detail

using nk_detail::Locked;

// ---- the class's one-time state -----------------------------------------------------------------

NKHTTPRequest::ClassState::ClassState() {
    queueRequestStarted = Selector::named("requestStarted:");
    queueRequestReceivedResponseHeaders = Selector::named("requestReceivedResponseHeaders:");
    queueRequestFinished = Selector::named("requestFinished:");
    queueRequestFailed = Selector::named("requestFailed:");
    persistentConnectionsPool = NSMutableArray::array();
    connectionsLock = make<NSRecursiveLock>();
    progressLock = make<NSRecursiveLock>();
    bandwidthLock = make<NSLock>();
    reachabilityLock = make<NSLock>();
    sessionCookiesLock = make<NSRecursiveLock>();
    sessionCredentialsLock = make<NSRecursiveLock>();
    delegateAuthenticationLock = make<NSRecursiveLock>();
    bandwidthUsageTracker = NSMutableArray::arrayWithCapacity(5);
    auto shared = [](NSInteger code, NSString* text) {
        return NSError::errorWithDomain(
            NKHTTPRequestErrorDomain, code,
            NSDictionary::dictionaryWithObject(text, NSLocalizedDescriptionKey));
    };
    requestTimedOutError = shared(NKRequestTimedOutErrorType, NS("The request timed out"));
    authenticationError = shared(NKAuthenticationErrorType, NS("Authentication needed"));
    requestCancelledError = shared(NKRequestCancelledErrorType, NS("The request was cancelled"));
    unableToCreateRequestError =
        shared(NKUnableToCreateRequestErrorType, NS("Unable to create request (bad url?)"));
    tooMuchRedirectionError = shared(NKTooMuchRedirectionErrorType,
                                     NS("The request failed because it redirected too many times"));
    sharedQueue = make<NSOperationQueue>();
    sharedQueue->setMaxConcurrentOperationCount(4);
    sharedQueue->setName(NS("NKHTTPRequest shared queue"));
    // A request's start() only hands it to the network thread: the thread that starts it
    // asynchronously may do that itself, one thread wake-up fewer per request.
    sharedQueue->setStartsConcurrentOperationsWhenAdded(true);
}

NKHTTPRequest::ClassState& NKHTTPRequest::classState() {
    // Made once, on first use, and never torn down: the network thread uses it to the end.
    static ClassState* state = new ClassState();
    return *state;
}

void NKHTTPRequest::describeClass(RuntimeClass& c) {
    c.method("updateStatus:", &NKHTTPRequest::updateStatus);
    c.method("startAsynchronous", &NKHTTPRequest::startAsynchronous);
    c.method("startSynchronous", &NKHTTPRequest::startSynchronous);
    c.method("responseString", &NKHTTPRequest::responseString);
    c.method("responseData", &NKHTTPRequest::responseData);
    c.property("responseStatusCode", &NKHTTPRequest::responseStatusCode);
    c.property("error", &NKHTTPRequest::error, &NKHTTPRequest::setError);
    c.classMethod("hideNetworkActivityIndicator", &NKHTTPRequest::hideNetworkActivityIndicator);
    c.classMethod("showNetworkActivityIndicator", &NKHTTPRequest::showNetworkActivityIndicator);
}

// ---- creating -----------------------------------------------------------------------------------

Ref<NKHTTPRequest> NKHTTPRequest::requestWithURL(NSURL* url) {
    return make<NKHTTPRequest>(&NKHTTPRequest::initWithURL, url);
}

Ref<NKHTTPRequest> NKHTTPRequest::requestWithURL(NSURL* url, NKCacheDelegate* cache) {
    return requestWithURL(url, cache, NKUseDefaultCachePolicy);
}

Ref<NKHTTPRequest> NKHTTPRequest::requestWithURL(NSURL* url, NKCacheDelegate* cache,
                                                 NKCachePolicy policy) {
    Ref<NKHTTPRequest> r = requestWithURL(url);
    r->setDownloadCache(cache);
    r->setCachePolicy(policy);
    return r;
}

bool NKHTTPRequest::initWithURL(NSURL* newURL) {
    if (!NSOperation::init()) return false;
    ClassState& cs = classState();
    setRequestMethod(NS("GET"));
    runLoopMode_.set(NSDefaultRunLoopMode);
    shouldAttemptPersistentConnection_ = true;
    persistentConnectionTimeoutSeconds_ = 60.0;
    shouldPresentCredentialsBeforeChallenge_ = true;
    shouldRedirect_ = true;
    showAccurateProgress_ = true;
    shouldResetDownloadProgress_ = true;
    shouldResetUploadProgress_ = true;
    allowCompressedResponse_ = true;
    defaultResponseEncoding_ = NSISOLatin1StringEncoding;
    shouldPresentProxyAuthenticationDialog_ = true;
    timeOutSeconds_ = cs.defaultTimeOutSeconds.load();
    useSessionPersistence_ = true;
    useCookiePersistence_ = true;
    validatesSecureCertificate_ = false;
    requestCookies_.set(NSMutableArray::array());
    didStartSelector_ = NK_SEL("requestStarted:");
    didReceiveResponseHeadersSelector_ = NK_SEL("requestReceivedResponseHeaders:");
    didFinishSelector_ = NK_SEL("requestFinished:");
    didFailSelector_ = NK_SEL("requestFailed:");
    didReceiveDataSelector_ = NK_SEL("request:didReceiveData:");
    setURL(newURL);
    cancelledLock_ = make<NSRecursiveLock>();
    setDownloadCache(defaultCache());
    return true;
}

Ref<NKHTTPRequest> NKHTTPRequest::HEADRequest() {
    Ref<NKHTTPRequest> head = cast<NKHTTPRequest>(getClass()->createInstance());
    if (!head || !head->initWithURL(url())) return nullptr;
    if (auto h = requestHeaders()) head->setRequestHeaders(h->mutableCopy());
    if (auto c = requestCookies()) head->setRequestCookies(c->mutableCopy());
    if (auto certs = clientCertificates()) head->setClientCertificates(certs->copy());
    head->setUseCookiePersistence(useCookiePersistence());
    head->setUseKeychainPersistence(useKeychainPersistence());
    head->setUseSessionPersistence(useSessionPersistence());
    head->setAllowCompressedResponse(allowCompressedResponse());
    head->setUsername(username());
    head->setPassword(password());
    head->setDomain(domain());
    head->setProxyUsername(proxyUsername());
    head->setProxyPassword(proxyPassword());
    head->setProxyDomain(proxyDomain());
    head->setProxyHost(proxyHost());
    head->setProxyPort(proxyPort());
    head->setProxyType(proxyType());
    head->setShouldPresentAuthenticationDialog(shouldPresentAuthenticationDialog());
    head->setShouldPresentProxyAuthenticationDialog(shouldPresentProxyAuthenticationDialog());
    head->setTimeOutSeconds(timeOutSeconds());
    head->setUseHTTPVersionOne(useHTTPVersionOne());
    head->setValidatesSecureCertificate(validatesSecureCertificate());
    head->setClientCertificateIdentity(clientCertificateIdentity());
    head->setPACurl(PACurl());
    head->setShouldPresentCredentialsBeforeChallenge(shouldPresentCredentialsBeforeChallenge());
    head->setNumberOfTimesToRetryOnTimeout(numberOfTimesToRetryOnTimeout());
    head->setShouldUseRFC2616RedirectBehaviour(shouldUseRFC2616RedirectBehaviour());
    head->setShouldAttemptPersistentConnection(shouldAttemptPersistentConnection());
    head->setPersistentConnectionTimeoutSeconds(persistentConnectionTimeoutSeconds());
    head->setMainRequest(this);
    head->setRequestMethod(NS("HEAD"));
    return head;
}

Ref<NSObject> NKHTTPRequest::copyWithZone() {
    Ref<NKHTTPRequest> r = cast<NKHTTPRequest>(getClass()->createInstance());
    if (!r || !r->initWithURL(url())) return nullptr;
    r->setDelegate(delegate());
    r->setRequestMethod(requestMethod());
    // A buffer of its own: appending to one request's body must not change the other's.
    if (auto body = postBody()) r->setPostBody(body->mutableCopy());
    r->setShouldStreamPostDataFromDisk(shouldStreamPostDataFromDisk());
    r->setPostBodyFilePath(postBodyFilePath());
    if (auto h = requestHeaders()) r->setRequestHeaders(h->mutableCopy());
    if (auto c = requestCookies()) r->setRequestCookies(c->mutableCopy());
    r->setUseCookiePersistence(useCookiePersistence());
    r->setUseKeychainPersistence(useKeychainPersistence());
    r->setUseSessionPersistence(useSessionPersistence());
    r->setAllowCompressedResponse(allowCompressedResponse());
    r->setDownloadDestinationPath(downloadDestinationPath());
    r->setTemporaryFileDownloadPath(temporaryFileDownloadPath());
    r->setUsername(username());
    r->setPassword(password());
    r->setDomain(domain());
    r->setProxyUsername(proxyUsername());
    r->setProxyPassword(proxyPassword());
    r->setProxyDomain(proxyDomain());
    r->setProxyHost(proxyHost());
    r->setProxyPort(proxyPort());
    r->setProxyType(proxyType());
    r->setUploadProgressDelegate(uploadProgressDelegate());
    r->setDownloadProgressDelegate(downloadProgressDelegate());
    r->setShouldPresentAuthenticationDialog(shouldPresentAuthenticationDialog());
    r->setShouldPresentProxyAuthenticationDialog(shouldPresentProxyAuthenticationDialog());
    r->postLength_ = postLength_.load();
    r->setHaveBuiltPostBody(haveBuiltPostBody());
    r->setDidStartSelector(didStartSelector());
    r->setDidFinishSelector(didFinishSelector());
    r->setDidFailSelector(didFailSelector());
    r->setTimeOutSeconds(timeOutSeconds());
    r->setShouldResetDownloadProgress(shouldResetDownloadProgress());
    r->setShouldResetUploadProgress(shouldResetUploadProgress());
    r->setShowAccurateProgress(showAccurateProgress());
    r->setDefaultResponseEncoding(defaultResponseEncoding());
    r->setAllowResumeForFileDownloads(allowResumeForFileDownloads());
    if (auto info = userInfo()) r->setUserInfo(info->copy());
    r->setUseHTTPVersionOne(useHTTPVersionOne());
    r->setShouldRedirect(shouldRedirect());
    r->setValidatesSecureCertificate(validatesSecureCertificate());
    r->setClientCertificateIdentity(clientCertificateIdentity());
    if (auto certs = clientCertificates()) r->setClientCertificates(certs->copy());
    r->setPACurl(PACurl());
    r->setShouldPresentCredentialsBeforeChallenge(shouldPresentCredentialsBeforeChallenge());
    r->setNumberOfTimesToRetryOnTimeout(numberOfTimesToRetryOnTimeout());
    r->setShouldAttemptPersistentConnection(shouldAttemptPersistentConnection());
    r->setPersistentConnectionTimeoutSeconds(persistentConnectionTimeoutSeconds());
    return r;
}

// ---- properties with behaviour ------------------------------------------------------------------

void NKHTTPRequest::setURL(NSURL* newURL) {
    url_.set(newURL);
}

Ref<NKHTTPRequestDelegate> NKHTTPRequest::delegate() {
    Locked lock(cancelledLock_);
    return delegate_.lock();
}

void NKHTTPRequest::setDelegate(NKHTTPRequestDelegate* d) {
    Locked lock(cancelledLock_);
    delegate_ = d;
}

Ref<NSObject> NKHTTPRequest::queue() {
    Locked lock(cancelledLock_);
    return queue_;
}

void NKHTTPRequest::setQueue(NSObject* q) {
    Ref<NSObject> old;
    {
        Locked lock(cancelledLock_);
        old = std::move(queue_);
        queue_ = q;
    }
}

Ref<NKProgressDelegate> NKHTTPRequest::uploadProgressDelegate() {
    Locked lock(cancelledLock_);
    return uploadProgressDelegate_.lock();
}

void NKHTTPRequest::setUploadProgressDelegate(NKProgressDelegate* d) {
    Locked lock(cancelledLock_);
    uploadProgressDelegate_ = d;
}

Ref<NKProgressDelegate> NKHTTPRequest::downloadProgressDelegate() {
    Locked lock(cancelledLock_);
    return downloadProgressDelegate_.lock();
}

void NKHTTPRequest::setDownloadProgressDelegate(NKProgressDelegate* d) {
    Locked lock(cancelledLock_);
    downloadProgressDelegate_ = d;
}

namespace {
Ref<NSString> copied(NSString* s) {
    return s ? s->copy() : nullptr;
}
}  // namespace

void NKHTTPRequest::setRequestMethod(NSString* method) {
    requestMethod_.set(copied(method));
}
void NKHTTPRequest::setPostBodyFilePath(NSString* path) {
    postBodyFilePath_.set(copied(path));
}
void NKHTTPRequest::setDownloadDestinationPath(NSString* path) {
    downloadDestinationPath_.set(copied(path));
}
void NKHTTPRequest::setTemporaryFileDownloadPath(NSString* path) {
    temporaryFileDownloadPath_.set(copied(path));
}
void NKHTTPRequest::setUsername(NSString* v) {
    username_.set(copied(v));
}
void NKHTTPRequest::setPassword(NSString* v) {
    password_.set(copied(v));
}
void NKHTTPRequest::setDomain(NSString* v) {
    domain_.set(copied(v));
}
void NKHTTPRequest::setProxyUsername(NSString* v) {
    proxyUsername_.set(copied(v));
}
void NKHTTPRequest::setProxyPassword(NSString* v) {
    proxyPassword_.set(copied(v));
}
void NKHTTPRequest::setProxyDomain(NSString* v) {
    proxyDomain_.set(copied(v));
}
void NKHTTPRequest::setProxyHost(NSString* v) {
    proxyHost_.set(copied(v));
}
void NKHTTPRequest::setProxyType(NSString* v) {
    proxyType_.set(copied(v));
}

void NKHTTPRequest::setStatusTimer(NSTimer* timer) {
    Ref<NKHTTPRequest> keep(this);
    Ref<NSTimer> old = statusTimer_.get();
    if (old.get() == timer) return;
    statusTimer_.set(timer);
    if (old) old->invalidate();
}

bool NKHTTPRequest::isExecuting() {
    return inProgress_;
}

bool NKHTTPRequest::isFinished() {
    return finished_;
}

bool NKHTTPRequest::isCancelled() {
    if (!cancelledLock_) return cancelled_;
    Locked lock(cancelledLock_);
    return cancelled_;
}

// ---- running ------------------------------------------------------------------------------------

void NKHTTPRequest::performOnRequestThread(std::function<void()> work) {
    Ref<NSRunLoop> loop = requestLoop_.get();
    if (!loop) loop = threadForRequest(this)->runLoop();
    // The private mode too, so that a synchronous request's thread serves it while it waits.
    // Made once: every start and cancel passes the same two.
    static NSArray* const modes = [] {
        Ref<NSArray> both =
            NSArray::arrayWithObjects({NSRunLoopCommonModes, NKHTTPRequestRunLoopMode});
        both->makeImmortal();
        return both.get();
    }();
    loop->performOnLoop(std::move(work), false, modes);
}

void NKHTTPRequest::beginNetworkWork() {
    // Already counted (started through the queue): taking a second ticket, even for a moment,
    // would show the request twice to whoever reads what is pending.
    if (finished_ || networkWork_.load() != 0) return;
    uint64_t fresh = NetworkWork::begin(networkWorkDescription());
    uint64_t none = 0;
    if (!networkWork_.compare_exchange_strong(none, fresh)) NetworkWork::end(fresh);
    // It may have ended meanwhile, after its end found nothing to stop counting.
    if (finished_) endNetworkWorkAfterCallbacks();
}

std::string NKHTTPRequest::networkWorkDescription() {
    Ref<NSString> method = requestMethod();
    Ref<NSURL> theURL = url();
    return (method ? method->utf8() : std::string("GET")) + " " +
           (theURL ? theURL->absoluteString()->utf8() : "(no URL)");
}

void NKHTTPRequest::endNetworkWorkAfterCallbacks() {
    endNetworkWorkAfterCallbacks(networkWork_.exchange(0));
}

void NKHTTPRequest::endNetworkWorkAfterCallbacks(uint64_t ticket) {
    if (!ticket) return;
    // Callbacks from the main thread run inline; from any other thread they are queued to the
    // main loop in order, so the end queued after them runs after the last of them.
    if (NSThread::isMainThread()) {
        NetworkWork::end(ticket);
        return;
    }
    NSRunLoop::performOnMainThread([ticket] { NetworkWork::end(ticket); }, false);
}

void NKHTTPRequest::startAsynchronous() {
    // Counted from now: the shared queue may hold it back until a slot is free.
    beginNetworkWork();
    sharedQueue()->addOperation(this);
}

void NKHTTPRequest::start() {
    beginNetworkWork();
    inProgress_ = true;
    // A thread being retired meanwhile takes no new request: the slot makes the next one.
    Ref<NSThread> thread = threadForRequest(this);
    while (!enterNetworkThread(this, thread))
        thread = threadForRequest(this);
    Ref<NKHTTPRequest> keep(this);
    performOnRequestThread([keep] { keep->main(); });
}

void NKHTTPRequest::startSynchronous() {
    beginNetworkWork();
    runLoopMode_.set(NKHTTPRequestRunLoopMode);
    inProgress_ = true;
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    requestLoop_.set(loop);
    if (!isCancelled() && !complete()) {
        // A source that never fires keeps the private mode from running dry while the request
        // waits between its streams (a retry, a redirect). One per thread serves every
        // synchronous request the thread makes.
        thread_local bool keptAlive = false;
        if (!keptAlive) {
            loop->addSource(make<RunLoopSource>(), NKHTTPRequestRunLoopMode);
            keptAlive = true;
        }
        main();
        Ref<NSDate> forever = NSDate::distantFuture();
        // A request waiting for credentials is complete for its exchange but not finished: the
        // answer comes back to this thread, in this mode.
        while (!complete() || (awaitingCredentials_ && !finished_)) {
            loop->runMode(NKHTTPRequestRunLoopMode, forever);
        }
    }
    inProgress_ = false;
    // A request that was over before it began never reached its end.
    endNetworkWorkAfterCallbacks();
}

void NKHTTPRequest::main() {
    Ref<NKHTTPRequest> keep(this);
    Locked lock(cancelledLock_);
    try {
        // Cancelled or failed before it ran: it only ends.
        if (error()) {
            complete_ = true;
            markAsFinished();
            return;
        }
        complete_ = false;
        didUseCachedResponse_ = false;
        Ref<NSURL> theURL = url();
        if (!theURL) {
            failWithError(classState().unableToCreateRequestError);
            return;
        }
        Ref<NKHTTPRequest> measured = mainRequest();
        if (!measured) buildPostBody();
        // A body that could not be measured has already failed the request: nothing is sent
        // for a request its delegate has been told failed.
        if (error()) return;
        if (!requestMethod()->isEqualToString(NS("GET"))) setDownloadCache(nullptr);

        request_ = nullptr;
        request_ =
            CFHTTPMessageCreateRequest(kCFAllocatorDefault, requestMethod(), theURL,
                                       useHTTPVersionOne() ? kCFHTTPVersion1_0 : kCFHTTPVersion1_1);
        if (!request_) {
            failWithError(classState().unableToCreateRequestError);
            return;
        }
        // Counted before its body was built: a body makes a GET a POST only now, and a
        // redirect may have changed both.
        NetworkWork::describe(networkWork_.load(), networkWorkDescription());
        if (measured) measured->buildRequestHeaders();
        buildRequestHeaders();

        if (Ref<NKCacheDelegate> cache = downloadCache()) {
            if (cachePolicy() == NKUseDefaultCachePolicy)
                setCachePolicy(cache->defaultCachePolicy());
            if (cachePolicy() == NKOnlyLoadIfNotCachedCachePolicy && useDataFromCache()) return;
            if (cachePolicy() == NKReloadIfDifferentCachePolicy) {
                if (Ref<NSDictionary> cached = cache->cachedHeadersForRequest(this)) {
                    if (auto etag = nk_detail::headerValue(cached, NS("Etag")))
                        addRequestHeader(NS("If-None-Match"), etag);
                    if (auto modified = nk_detail::headerValue(cached, NS("Last-Modified")))
                        addRequestHeader(NS("If-Modified-Since"), modified);
                }
            }
        }

        applyAuthorizationHeader();
        if (Ref<NSMutableDictionary> headers = requestHeaders()) {
            headers->enumerateKeysAndObjectsUsingBlock([&](NSObject* key, NSObject* object, bool*) {
                Ref<NSString> name = nk_detail::asString(key);
                Ref<NSString> value = nk_detail::asString(object);
                if (name && value) CFHTTPMessageSetHeaderFieldValue(request_, name, value);
            });
        }
        startRequest();
    } catch (ExceptionRaised& e) {
        Ref<NSException> ex = e.exception;
        Ref<NSError> underlying = NSError::errorWithDomain(
            NKHTTPRequestErrorDomain, NKUnhandledExceptionError, ex->userInfo());
        Ref<NSMutableDictionary> info = NSMutableDictionary::dictionary();
        if (auto name = ex->name()) info->setObject(name, NSLocalizedDescriptionKey);
        if (auto reason = ex->reason()) info->setObject(reason, NSLocalizedFailureReasonErrorKey);
        info->setObject(underlying, NSUnderlyingErrorKey);
        failWithError(
            NSError::errorWithDomain(NKHTTPRequestErrorDomain, NKUnhandledExceptionError, info));
    }
}

void NKHTTPRequest::cancel() {
    Ref<NKHTTPRequest> keep(this);
    performOnRequestThread([keep] { keep->cancelOnRequestThread(); });
}

void NKHTTPRequest::cancelOnRequestThread() {
    Ref<NKHTTPRequest> keep(this);
    Locked lock(cancelledLock_);
    // A request waiting for credentials sits between exchanges (complete) yet can still be
    // cancelled: nothing else would end it.
    if (cancelled_ || (complete() && !awaitingCredentials_)) return;
    awaitingCredentials_ = false;
    bool started = inProgress_ || finished_;
    failWithError(classState().requestCancelledError);
    complete_ = true;
    cancelLoad();
    // Not started: no end follows until a queue starts it (which counts it again), if ever.
    if (!started) endNetworkWorkAfterCallbacks();
    // Lives to the end of the pass, whoever lets go of it while observers react.
    autorelease();
    willChangeValueForKey(NS("isCancelled"));
    cancelled_ = true;
    didChangeValueForKey(NS("isCancelled"));
}

void NKHTTPRequest::failWithError(NSError* theError) {
    Ref<NKHTTPRequest> keep(this);
    Ref<NSError> err(theError);
    complete_ = true;
    bool leavesConnection = err && [&] {
        NSInteger code = err->code();
        return code == NKAuthenticationErrorType || code == NKTooMuchRedirectionErrorType;
    }();
    if (!leavesConnection) {
        {
            ClassState& cs = classState();
            Locked conn(cs.connectionsLock);
            if (connectionInfo_) {
                connectionInfo_->removeObjectForKey(NS("request"));
                cs.persistentConnectionsPool->removeObjectIdenticalTo(connectionInfo_);
            }
        }
        // The connection is in an unknown state and has lost its record: close it rather than
        // leave it open for nobody.
        connectionCanBeReused_ = false;
        destroyReadStream();
    }
    if (connectionCanBeReused_ && connectionInfo_) {
        ClassState& cs = classState();
        Locked conn(cs.connectionsLock);
        cs.keepConnectionFor(connectionInfo_, persistentConnectionTimeoutSeconds_);
    }
    if (deallocating_) return;
    if (isCancelled() || error()) return;
    // A cancellation is the caller's wish to hear no more: never answered from the cache.
    bool cancelling = err.get() == classState().requestCancelledError.get();
    if (!cancelling && downloadCache() && cachePolicy() == NKUseCacheIfLoadFailsCachePolicy) {
        if (useDataFromCache()) return;
    }
    setError(err);
    Ref<NKHTTPRequest> main = mainRequest();
    if (main) main->setError(err);
    (main ? main.get() : this)->reportFailure();
    if (inProgress_) markAsFinished();
}

void NKHTTPRequest::markAsFinished() {
    Ref<NKHTTPRequest> keep(this);
    bool wasFinished = finished_;
    bool wasInProgress = inProgress_;
    if (!wasFinished) willChangeValueForKey(NS("isFinished"));
    if (wasInProgress) willChangeValueForKey(NS("isExecuting"));
    inProgress_ = false;
    setStatusTimer(nullptr);
    finished_ = true;
    if (wasInProgress) didChangeValueForKey(NS("isExecuting"));
    if (!wasFinished) didChangeValueForKey(NS("isFinished"));
    endNetworkWorkAfterCallbacks();
    // Ends the current pass: the network thread starts a fresh pool, a synchronous request
    // returns to startSynchronous.
    CFRunLoopGetCurrent()->stop();
}

void NKHTTPRequest::dealloc() {
    // Whatever cleanup finds wrong here is reported to nobody: the request is going away.
    deallocating_ = true;
    authenticationNeeded_ = NKNoAuthenticationNeededYet;
    if (Ref<NSTimer> timer = statusTimer_.get()) timer->invalidate();
    if (connectionInfo_) {
        ClassState& cs = classState();
        Locked conn(cs.connectionsLock);
        Ref<NSNumber> id = requestID();
        Ref<NSObject> using_ = connectionInfo_->objectForKey(NS("request"));
        if (id && using_ && using_->isEqual(id)) {
            // Still marked in use by this request: nobody else will free it.
            connectionInfo_->removeObjectForKey(NS("request"));
            cs.persistentConnectionsPool->removeObjectIdenticalTo(connectionInfo_);
            connectionCanBeReused_ = false;
        }
    }
    request_ = nullptr;
    requestAuthentication_ = nullptr;
    proxyAuthentication_ = nullptr;
    if (cancelledLock_) cancelLoad();
    // Freed without an end (never started, or its queue went away first).
    endNetworkWorkAfterCallbacks();
    NSOperation::dealloc();
}
