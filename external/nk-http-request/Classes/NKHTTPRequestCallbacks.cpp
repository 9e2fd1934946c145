// Telling the rest of the app what happens: the request events go to the delegate and the queue,
// byte counts to the progress receivers and the queue. Every call runs on the main thread and
// looks its receiver (and, for the events, the callback name) up when it runs there, so that a
// receiver cleared in the meantime hears nothing. From the main thread itself the call runs at
// once; from any other thread it is queued and the request goes on.
#include <string_view>

#include "Foundation/NSRunLoop.h"
#include "Foundation/NSThread.h"
#include "Foundation/Runtime.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "external/nk-http-request/Classes/NKHTTPRequestInternal.h"

using nk_detail::Locked;

void nk_detail::callDelegateContract(NKHTTPRequestDelegate* d, SEL sel, NKHTTPRequest* request) {
    std::string_view name = sel->name;
    if (name == "requestStarted:") {
        d->requestStarted(request);
    } else if (name == "requestReceivedResponseHeaders:") {
        d->requestReceivedResponseHeaders(request);
    } else if (name == "requestFinished:") {
        d->requestFinished(request);
    } else if (name == "requestFailed:") {
        d->requestFailed(request);
    } else if (name == "authenticationNeededForRequest:") {
        d->authenticationNeededForRequest(request);
    } else if (name == "proxyAuthenticationNeededForRequest:") {
        d->proxyAuthenticationNeededForRequest(request);
    }
}

namespace {

bool onMainThread() {
    return NSThread::isMainThread();
}

// Calls an event callback (the request its only argument). A receiver that registered the
// method is called by name; one that only declared it answers through the protocol.
void deliverEvent(NSObject* target, SEL sel, NKHTTPRequest* request) {
    const Method* m = target->getClass()->instanceMethod(sel);
    if (!m) return;
    if (m->imp) {
        Value arg = Value::of(request);
        invokeMethod(target, sel, std::span<const Value>(&arg, 1));
        return;
    }
    if (auto* d = dynamic_cast<NKHTTPRequestDelegate*>(target))
        nk_detail::callDelegateContract(d, sel, request);
}

// Calls a progress callback with the request and an amount.
void deliverAmount(NSObject* target, SEL sel, NKHTTPRequest* request, long long amount) {
    const Method* m = target->getClass()->instanceMethod(sel);
    if (!m) return;
    if (m->imp) {
        Value args[] = {Value::of(request), Value::of(amount)};
        invokeMethod(target, sel, args);
        return;
    }
    auto* p = dynamic_cast<NKProgressDelegate*>(target);
    if (!p) return;
    std::string_view name = sel->name;
    if (name == "request:didReceiveBytes:") {
        p->request(request, amount);
    } else if (name == "request:didSendBytes:") {
        p->requestDidSendBytes(request, amount);
    } else if (name == "request:incrementDownloadSizeBy:") {
        p->requestIncrementDownloadSizeBy(request, amount);
    } else if (name == "request:incrementUploadSizeBy:") {
        p->requestIncrementUploadSizeBy(request, amount);
    }
}

void deliverProgress(NSObject* target, float value) {
    SEL sel = NK_SEL("setProgress:");
    const Method* m = target->getClass()->instanceMethod(sel);
    if (!m) return;
    if (m->imp) {
        Value arg = Value::of(value);
        invokeMethod(target, sel, std::span<const Value>(&arg, 1));
        return;
    }
    if (auto* p = dynamic_cast<NKProgressDelegate*>(target)) p->setProgress(value);
}

float ratio(uint64_t progress, uint64_t total) {
    // All of nothing is done: a body of unknown or no length that has ended.
    if (total == 0) return 1.0f;
    return static_cast<float>(progress) / static_cast<float>(total);
}

}  // namespace

// ---- receivers ----------------------------------------------------------------------------------

Ref<NSObject> NKHTTPRequest::receiverObject(Receiver which) {
    Locked lock(cancelledLock_);
    // A locked weak reference carries the object's NSObject side: no cast to find it again.
    switch (which) {
        case Receiver::Delegate:
            if (auto d = delegate_.lock()) return Ref<NSObject>(d.object());
            return nullptr;
        case Receiver::Queue:
            return queue_;
        case Receiver::UploadProgress:
            if (auto p = uploadProgressDelegate_.lock()) return Ref<NSObject>(p.object());
            return nullptr;
        case Receiver::DownloadProgress:
            if (auto p = downloadProgressDelegate_.lock()) return Ref<NSObject>(p.object());
            return nullptr;
    }
    return nullptr;
}

void NKHTTPRequest::callSelectorOnMainThread(std::atomic<SEL>* selectorPlace, Receiver which,
                                             Urgency urgency) {
    SEL sel = selectorPlace->load();
    Ref<NSObject> receiver = receiverObject(which);
    if (!sel || !receiver) return;
    Ref<NKHTTPRequest> keep(this);
    auto call = [keep, selectorPlace, which] { keep->callSelectorCallback(selectorPlace, which); };
    // A receiver whose class has no such method today would wake the main thread for nothing.
    // The call is still queued, in order, and still looks the receiver up when it runs (it may
    // have changed meanwhile); it only waits for the next wake-up, which the request's end
    // brings at the latest. Asked of the class's methods alone, which no thread changes.
    if (urgency == Urgency::UnlessUnanswered && !onMainThread() &&
        !receiver->getClass()->instanceMethod(sel)) {
        NSRunLoop::mainRunLoop()->performBlockWithoutWakeUp(std::move(call), nullptr);
        return;
    }
    NSRunLoop::performOnMainThread(std::move(call), onMainThread());
}

void NKHTTPRequest::callSelectorCallback(std::atomic<SEL>* selectorPlace, Receiver which) {
    SEL sel = selectorPlace->load();
    Ref<NSObject> target = receiverObject(which);
    if (!sel || !target || !target->respondsToSelector(sel)) return;
    deliverEvent(target, sel, this);
}

void NKHTTPRequest::performProgress(SEL sel, Receiver which, long long amount) {
    Ref<NSObject> now = receiverObject(which);
    if (!now || !now->respondsToSelector(sel)) return;
    Ref<NKHTTPRequest> keep(this);
    NSRunLoop::performOnMainThread(
        [keep, sel, which, amount] {
            Ref<NSObject> target = keep->receiverObject(which);
            if (target && target->respondsToSelector(sel)) deliverAmount(target, sel, keep, amount);
        },
        onMainThread());
}

void NKHTTPRequest::progressReceiver(NKHTTPRequest* request, Receiver which, uint64_t progress,
                                     uint64_t total) {
    SEL sel = NK_SEL("setProgress:");
    Ref<NSObject> now = request->receiverObject(which);
    if (!now || !now->respondsToSelector(sel)) return;
    float value = ratio(progress, total);
    Ref<NKHTTPRequest> keep(request);
    Locked lock(classState().progressLock);
    NSRunLoop::performOnMainThread(
        [keep, which, sel, value] {
            Ref<NSObject> target = keep->receiverObject(which);
            if (target && target->respondsToSelector(sel)) deliverProgress(target, value);
        },
        onMainThread());
}

void NKHTTPRequest::updateProgressIndicator(NKProgressDelegate* indicator, uint64_t progress,
                                            uint64_t total) {
    if (!indicator) return;
    SEL sel = NK_SEL("setProgress:");
    if (!respondsTo(indicator, sel)) return;
    float value = ratio(progress, total);
    Weak<NKProgressDelegate> place(indicator);
    Locked lock(classState().progressLock);
    NSRunLoop::performOnMainThread(
        [place, sel, value] {
            Ref<NKProgressDelegate> target = place.lock();
            if (target && respondsTo(target.get(), sel))
                deliverProgress(objc_detail::objectOf(target.get()), value);
        },
        onMainThread());
}

// ---- events -------------------------------------------------------------------------------------

// Both always come before the request's end, whose report wakes the main thread.
void NKHTTPRequest::requestStarted() {
    if (error() || mainRequest()) return;
    callSelectorOnMainThread(&didStartSelector_, Receiver::Delegate, Urgency::UnlessUnanswered);
    callSelectorOnMainThread(&classState().queueRequestStarted, Receiver::Queue,
                             Urgency::UnlessUnanswered);
}

void NKHTTPRequest::requestReceivedResponseHeaders() {
    if (error() || mainRequest()) return;
    callSelectorOnMainThread(&didReceiveResponseHeadersSelector_, Receiver::Delegate,
                             Urgency::UnlessUnanswered);
    callSelectorOnMainThread(&classState().queueRequestReceivedResponseHeaders, Receiver::Queue,
                             Urgency::UnlessUnanswered);
}

void NKHTTPRequest::requestFinished() {
    if (error() || mainRequest()) return;
    callSelectorOnMainThread(&didFinishSelector_, Receiver::Delegate);
    callSelectorOnMainThread(&classState().queueRequestFinished, Receiver::Queue);
}

void NKHTTPRequest::reportFailure() {
    callSelectorOnMainThread(&didFailSelector_, Receiver::Delegate);
    callSelectorOnMainThread(&classState().queueRequestFailed, Receiver::Queue);
}

// ---- progress -----------------------------------------------------------------------------------

void NKHTTPRequest::resetProgressIndicators() {
    if (shouldResetUploadProgress()) {
        incrementUploadSizeBy(showAccurateProgress() ? static_cast<long long>(postLength_.load())
                                                     : 1);
        progressReceiver(this, Receiver::UploadProgress, 0, 1);
    }
    if (shouldResetDownloadProgress() && partialDownloadSize_ == 0)
        progressReceiver(this, Receiver::DownloadProgress, 0, 1);
}

void NKHTTPRequest::updateProgressIndicators() {
    if (mainRequest()) return;
    if (showAccurateProgress() || (complete() && !updatedProgress_)) {
        updateUploadProgress();
        updateDownloadProgress();
    }
}

void NKHTTPRequest::updateUploadProgress() {
    if (isCancelled() || totalBytesSent_ == 0) return;
    uint64_t sent = totalBytesSent_, length = postLength_;
    if (uploadBufferSize_ == 0 && sent != length) {
        // What the platform swallowed at once says nothing about the server reading it.
        uploadBufferSize_ = sent;
        incrementUploadSizeBy(-static_cast<long long>(uploadBufferSize_));
    }
    long long amount;
    if (showAccurateProgress()) {
        if (sent != length && lastBytesSent_ == 0) return;
        amount = static_cast<long long>(sent) - static_cast<long long>(lastBytesSent_);
    } else {
        amount = 1;
        updatedProgress_ = true;
    }
    if (amount == 0) return;
    performProgress(NK_SEL("request:didSendBytes:"), Receiver::Queue, amount);
    performProgress(NK_SEL("request:didSendBytes:"), Receiver::UploadProgress, amount);
    progressReceiver(this, Receiver::UploadProgress, sent - uploadBufferSize_,
                     length - uploadBufferSize_);
}

void NKHTTPRequest::updateDownloadProgress() {
    if (!responseHeaders() || needsRedirect_) return;
    uint64_t length = contentLength_;
    if (length == 0 && !complete()) return;
    uint64_t soFar = totalBytesRead_ + partialDownloadSize_;
    long long amount;
    if (showAccurateProgress() && length > 0) {
        amount = static_cast<long long>(soFar) - static_cast<long long>(lastBytesRead_);
    } else {
        amount = 1;
        updatedProgress_ = true;
    }
    if (amount == 0) return;
    performProgress(NK_SEL("request:didReceiveBytes:"), Receiver::Queue, amount);
    performProgress(NK_SEL("request:didReceiveBytes:"), Receiver::DownloadProgress, amount);
    progressReceiver(this, Receiver::DownloadProgress, soFar, length + partialDownloadSize_);
    lastBytesRead_ = soFar;
}

void NKHTTPRequest::incrementDownloadSizeBy(long long length) {
    SEL sel = NK_SEL("request:incrementDownloadSizeBy:");
    performProgress(sel, Receiver::Queue, length);
    performProgress(sel, Receiver::DownloadProgress, length);
}

void NKHTTPRequest::incrementUploadSizeBy(long long length) {
    SEL sel = NK_SEL("request:incrementUploadSizeBy:");
    performProgress(sel, Receiver::Queue, length);
    performProgress(sel, Receiver::UploadProgress, length);
}

void NKHTTPRequest::removeUploadProgressSoFar() {
    long long amount = -static_cast<long long>(totalBytesSent_.load());
    SEL sel = NK_SEL("request:didSendBytes:");
    performProgress(sel, Receiver::Queue, amount);
    performProgress(sel, Receiver::UploadProgress, amount);
    progressReceiver(this, Receiver::UploadProgress, 0, postLength_);
}
