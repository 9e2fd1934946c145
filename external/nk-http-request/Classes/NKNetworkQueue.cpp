#include "external/nk-http-request/Classes/NKNetworkQueue.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/Runtime.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "external/nk-http-request/Classes/NKHTTPRequestInternal.h"

namespace {

SEL authenticationSelector() {
    static const SEL sel = Selector::named("authenticationNeededForRequest:");
    return sel;
}

SEL proxyAuthenticationSelector() {
    static const SEL sel = Selector::named("proxyAuthenticationNeededForRequest:");
    return sel;
}

// Calls `sel` with one object on the receiver: by name when the receiver registered the method,
// else through the request delegate contract for the names it defines.
void send(NSObject* target, SEL sel, NSObject* argument) {
    if (!target || !sel || !target->respondsToSelector(sel)) return;
    const Method* m = target->getClass()->instanceMethod(sel);
    if (m && m->imp) {
        Value arg = Value::ofObject(argument);
        invokeMethod(target, sel, std::span<const Value>(&arg, 1));
        return;
    }
    auto* d = dynamic_cast<NKHTTPRequestDelegate*>(target);
    auto* request = dynamic_cast<NKHTTPRequest*>(argument);
    if (d && request) nk_detail::callDelegateContract(d, sel, request);
}

}  // namespace

void NKNetworkQueue::describeClass(RuntimeClass& c) {
    // What the requests call through the queue receiver. The authentication questions are
    // callable by name too; whether the queue really answers them is answersSelector's say.
    c.implements({"requestStarted:", "requestReceivedResponseHeaders:", "requestFinished:",
                  "requestFailed:", "request:didReceiveBytes:", "request:didSendBytes:",
                  "request:incrementDownloadSizeBy:", "request:incrementUploadSizeBy:"});
    c.method("authenticationNeededForRequest:", &NKNetworkQueue::authenticationNeededForRequest);
    c.method("proxyAuthenticationNeededForRequest:",
             &NKNetworkQueue::proxyAuthenticationNeededForRequest);
    c.method("go", &NKNetworkQueue::go);
    c.method("reset", &NKNetworkQueue::reset);
}

// ---- making and running -------------------------------------------------------------------

bool NKNetworkQueue::init() {
    if (!NSOperationQueue::init()) return false;
    shouldCancelAllRequestsOnFailure_ = true;
    NSOperationQueue::setMaxConcurrentOperationCount(4);
    NSOperationQueue::setSuspended(true);
    return true;
}

Ref<NKNetworkQueue> NKNetworkQueue::queue() {
    return make<NKNetworkQueue>();
}

void NKNetworkQueue::go() {
    setSuspended(false);
}

void NKNetworkQueue::setSuspended(bool suspended) {
    // Requests waiting in a running queue are network work in flight; in a suspended one they
    // wait for go(), which may never come. Counted before the queue can start them, let go of
    // after it can no longer do so.
    if (!suspended) countWaitingRequests(true);
    NSOperationQueue::setSuspended(suspended);
    if (suspended) countWaitingRequests(false);
}

void NKNetworkQueue::countWaitingRequests(bool counted) {
    Ref<NSArray> waiting = operations();
    for (NSUInteger i = 0; i < waiting->count(); ++i) {
        Ref<NKHTTPRequest> request = as<NKHTTPRequest>(waiting->objectAtIndex(i));
        if (!request || request->isFinished()) continue;
        if (counted) {
            request->beginNetworkWork();
        } else if (!request->isExecuting()) {
            // Starting counts it again.
            request->endNetworkWorkAfterCallbacks();
        }
    }
}

void NKNetworkQueue::reset() {
    cancelAllOperations();
    setDelegate(nullptr);
    setUploadProgressDelegate(nullptr);
    setDownloadProgressDelegate(nullptr);
    setRequestDidStartSelector(nullptr);
    setRequestDidReceiveResponseHeadersSelector(nullptr);
    setRequestDidFinishSelector(nullptr);
    setRequestDidFailSelector(nullptr);
    setQueueDidFinishSelector(nullptr);
    setSuspended(true);
}

void NKNetworkQueue::cancelAllOperations() {
    bytesUploadedSoFar_ = 0;
    totalBytesToUpload_ = 0;
    bytesDownloadedSoFar_ = 0;
    totalBytesToDownload_ = 0;
    NSOperationQueue::cancelAllOperations();
}

void NKNetworkQueue::addOperation(NSOperation* operation) {
    Ref<NKHTTPRequest> request = as<NKHTTPRequest>(operation);
    if (!request) {
        NSException::raise(
            NS("AttemptToAddInvalidRequest"),
            NS("Attempted to add an object that was not an NKHTTPRequest to an NKNetworkQueue"));
    }
    ++requestsCount_;
    if (showAccurateProgress()) {
        // The body now, so that its length is known before anything is sent.
        request->buildPostBody();
        if (request->requestMethod()->isEqualToString(NS("GET")) && isSuspended()) {
            // A HEAD request learns the download's size before the queue starts.
            if (Ref<NKHTTPRequest> head = request->HEADRequest()) {
                addHEADOperation(head);
                request->addDependency(head);
            }
            if (request->shouldResetDownloadProgress()) {
                resetProgressDelegate(downloadProgressDelegate());
                request->setShouldResetDownloadProgress(false);
            }
        }
        totalBytesToUpload_ += request->postLength();
    } else {
        // Every request is one unit each way.
        totalBytesToDownload_ += 1;
        totalBytesToUpload_ += 1;
    }
    if (request->shouldResetUploadProgress()) {
        resetProgressDelegate(uploadProgressDelegate());
        request->setShouldResetUploadProgress(false);
    }
    request->setShowAccurateProgress(showAccurateProgress());
    request->setQueue(this);
    if (!isSuspended()) request->beginNetworkWork();
    NSOperationQueue::addOperation(request);
}

void NKNetworkQueue::addHEADOperation(NSOperation* operation) {
    Ref<NKHTTPRequest> request = as<NKHTTPRequest>(operation);
    if (!request) return;
    request->setRequestMethod(NS("HEAD"));
    request->setQueuePriority(10);
    request->setShowAccurateProgress(true);
    request->setQueue(this);
    if (!isSuspended()) request->beginNetworkWork();
    NSOperationQueue::addOperation(request);
}

Ref<NSObject> NKNetworkQueue::copyWithZone() {
    Ref<NKNetworkQueue> q = make<NKNetworkQueue>();
    q->setDelegate(delegate());
    q->setRequestDidStartSelector(requestDidStartSelector());
    q->setRequestDidFinishSelector(requestDidFinishSelector());
    q->setRequestDidFailSelector(requestDidFailSelector());
    q->setQueueDidFinishSelector(queueDidFinishSelector());
    q->setUploadProgressDelegate(uploadProgressDelegate());
    q->setDownloadProgressDelegate(downloadProgressDelegate());
    q->setShouldCancelAllRequestsOnFailure(shouldCancelAllRequestsOnFailure());
    q->setShowAccurateProgress(showAccurateProgress());
    if (Ref<NSDictionary> info = userInfo()) q->setUserInfo(info->copy());
    return q;
}

void NKNetworkQueue::dealloc() {
    // Requests still in the base queue must not report to a queue that is gone.
    Ref<NSArray> left = operations();
    for (NSObject* o : *left) {
        auto request = as<NKHTTPRequest>(Ref<NSObject>(o));
        if (request && request->queue().get() == static_cast<NSObject*>(this))
            request->setQueue(nullptr);
    }
    setUserInfo(nullptr);
    NSOperationQueue::dealloc();
}

Ref<NSDictionary> NKNetworkQueue::userInfo() {
    std::lock_guard<std::mutex> g(userInfoLock_);
    return userInfo_;
}

void NKNetworkQueue::setUserInfo(NSDictionary* info) {
    Ref<NSDictionary> old;
    {
        std::lock_guard<std::mutex> g(userInfoLock_);
        old = std::move(userInfo_);
        userInfo_ = info;
    }
}

// ---- the requests' events -----------------------------------------------------------------

void NKNetworkQueue::tellDelegate(SEL selector, NSObject* argument) {
    if (!selector) return;
    Ref<NSObject> d = delegate();
    if (d) send(d, selector, argument);
}

void NKNetworkQueue::requestStarted(NKHTTPRequest* request) {
    tellDelegate(requestDidStartSelector(), request);
}

void NKNetworkQueue::requestReceivedResponseHeaders(NKHTTPRequest* request) {
    tellDelegate(requestDidReceiveResponseHeadersSelector(), request);
}

void NKNetworkQueue::requestFinished(NKHTTPRequest* request) {
    Ref<NKNetworkQueue> keep(this);
    int32_t left = --requestsCount_;
    tellDelegate(requestDidFinishSelector(), request);
    if (left == 0) tellDelegate(queueDidFinishSelector(), this);
}

void NKNetworkQueue::requestFailed(NKHTTPRequest* request) {
    Ref<NKNetworkQueue> keep(this);
    int32_t left = --requestsCount_;
    tellDelegate(requestDidFailSelector(), request);
    if (left == 0) tellDelegate(queueDidFinishSelector(), this);
    if (shouldCancelAllRequestsOnFailure() && requestsCount_ > 0) cancelAllOperations();
}

void NKNetworkQueue::authenticationNeededForRequest(NKHTTPRequest* request) {
    Ref<NSObject> d = delegate();
    if (d && d->respondsToSelector(authenticationSelector())) {
        send(d, authenticationSelector(), request);
    } else if (request) {
        // Asked by a request that did not check answersSelector: nobody will reply, so the
        // request gives up (code 3) rather than wait for ever.
        request->cancelAuthentication();
    }
}

void NKNetworkQueue::proxyAuthenticationNeededForRequest(NKHTTPRequest* request) {
    Ref<NSObject> d = delegate();
    if (d && d->respondsToSelector(proxyAuthenticationSelector())) {
        send(d, proxyAuthenticationSelector(), request);
    } else if (request) {
        request->cancelAuthentication();
    }
}

bool NKNetworkQueue::answersSelector(SEL selector) {
    if (selector == authenticationSelector() || selector == proxyAuthenticationSelector()) {
        Ref<NSObject> d = delegate();
        return d && d->respondsToSelector(selector);
    }
    return respondsToSelector(selector);
}

bool NKNetworkQueue::receiverRespondsToSelector(NSObject* receiver, SEL selector) {
    if (!receiver) return false;
    if (auto* q = dynamic_cast<NKNetworkQueue*>(receiver)) return q->answersSelector(selector);
    return receiver->respondsToSelector(selector);
}

// ---- progress -----------------------------------------------------------------------------

void NKNetworkQueue::resetProgressDelegate(NKProgressDelegate* delegate) {
    if (delegate) NKHTTPRequest::updateProgressIndicator(delegate, 0, 1);
}

void NKNetworkQueue::setUploadProgressDelegate(NKProgressDelegate* delegate) {
    uploadProgressDelegate_ = delegate;
    resetProgressDelegate(delegate);
}

void NKNetworkQueue::setDownloadProgressDelegate(NKProgressDelegate* delegate) {
    downloadProgressDelegate_ = delegate;
    resetProgressDelegate(delegate);
}

void NKNetworkQueue::request(NKHTTPRequest*, long long bytes) {
    uint64_t soFar = bytesDownloadedSoFar_ += static_cast<uint64_t>(bytes);
    if (Ref<NKProgressDelegate> p = downloadProgressDelegate())
        NKHTTPRequest::updateProgressIndicator(p, soFar, totalBytesToDownload_);
}

void NKNetworkQueue::requestDidSendBytes(NKHTTPRequest*, long long bytes) {
    uint64_t soFar = bytesUploadedSoFar_ += static_cast<uint64_t>(bytes);
    if (Ref<NKProgressDelegate> p = uploadProgressDelegate())
        NKHTTPRequest::updateProgressIndicator(p, soFar, totalBytesToUpload_);
}

void NKNetworkQueue::requestIncrementDownloadSizeBy(NKHTTPRequest*, long long newLength) {
    totalBytesToDownload_ += static_cast<uint64_t>(newLength);
}

void NKNetworkQueue::requestIncrementUploadSizeBy(NKHTTPRequest*, long long newLength) {
    totalBytesToUpload_ += static_cast<uint64_t>(newLength);
}
