#include "ads/ironvine/IVDownloadConnection.h"

#include "Foundation/NSData.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURLRequest.h"
#include "URLLoading/NSURLResponse.h"

Ref<IVDownloadConnection> IVDownloadConnection::connectionWithURLRequest(
    NSURLRequest* request, IVDownloadConnectionDelegate* delegate, NSObject* userData) {
    return timedConnectionWithURLRequest(request, delegate, userData, -1.0, 0);
}

Ref<IVDownloadConnection> IVDownloadConnection::connectionWithURLRequest(
    NSURLRequest* request, IVDownloadConnectionDelegate* delegate, NSObject* userData,
    int32_t retries) {
    return timedConnectionWithURLRequest(request, delegate, userData, -1.0, retries);
}

Ref<IVDownloadConnection> IVDownloadConnection::timedConnectionWithURLRequest(
    NSURLRequest* request, IVDownloadConnectionDelegate* delegate, NSObject* userData,
    double timeout) {
    return timedConnectionWithURLRequest(request, delegate, userData, timeout, 0);
}

Ref<IVDownloadConnection> IVDownloadConnection::timedConnectionWithURLRequest(
    NSURLRequest* request, IVDownloadConnectionDelegate* delegate, NSObject* userData,
    double timeout, int32_t retries) {
    auto c = alloc<IVDownloadConnection>();
    if (!c->initWithURLRequest(request, delegate, userData, timeout, retries)) return nullptr;
    return c;
}

bool IVDownloadConnection::initWithURLRequest(NSURLRequest* request,
                                              IVDownloadConnectionDelegate* delegate,
                                              NSObject* userData, double timeout, int32_t retries) {
    if (!NSObject::init()) return false;
    request_ = request;
    delegate_ = delegate;
    userData_ = userData;
    timeout_ = timeout;
    retryCount_ = retries;
    start();
    return true;
}

void IVDownloadConnection::dealloc() {
    stopTimer();
    if (connection_) connection_->cancel();
    connection_ = nullptr;
    NSObject::dealloc();
}

void IVDownloadConnection::start() {
    connection_ = NSURLConnection::connectionWithRequest(request_.get(), this);
    if (timeout_ > 0.0) {
        Weak<IVDownloadConnection> weak(this);
        timeoutTimer_ =
            NSTimer::scheduledTimerWithTimeInterval(timeout_, false, [weak](NSTimer* t) {
                if (auto self = weak.lock()) self->connectionDidTimeout(t);
            });
    }
    // A retry starts from an empty buffer.
    if (connection_) receivedData_ = NSMutableData::data();
}

void IVDownloadConnection::restart() {
    receivedData_ = nullptr;
    start();
}

void IVDownloadConnection::stopTimer() {
    if (timeoutTimer_) timeoutTimer_->invalidate();
    timeoutTimer_ = nullptr;
}

void IVDownloadConnection::connectionDidReceiveResponse(NSURLConnection*, NSURLResponse* response) {
    long long length = response ? response->expectedContentLength() : 0;
    expectedDataLength_ = length > 0 ? static_cast<uint32_t>(length) : 0;
    if (receivedData_) receivedData_->setLength(0);
    if (auto http = as<NSHTTPURLResponse>(response))
        responseStatusCode_ = static_cast<int32_t>(http->statusCode());
}

void IVDownloadConnection::connectionDidReceiveData(NSURLConnection*, NSData* data) {
    if (receivedData_ && data) receivedData_->appendData(data);
    if (auto d = delegate_.lock()) d->downloadProgress(this);
}

void IVDownloadConnection::connectionDidFinishLoading(NSURLConnection*) {
    if (responseStatusCode_ != 0 && responseStatusCode_ != 200) {
        failed();
        return;
    }
    Ref<IVDownloadConnection> keep(this);
    stopTimer();
    if (auto d = delegate_.lock()) d->downloadSucceeded(this);
    connection_ = nullptr;
}

void IVDownloadConnection::connectionDidFailWithError(NSURLConnection*, NSError*) {
    failed();
}

void IVDownloadConnection::failed() {
    Ref<IVDownloadConnection> keep(this);
    stopTimer();
    --retryCount_;
    if (retryCount_ < 1) {
        if (auto d = delegate_.lock()) d->downloadFailed(this);
        connection_ = nullptr;
    } else {
        connection_ = nullptr;
        restart();
    }
}

void IVDownloadConnection::connectionDidTimeout(NSTimer*) {
    Ref<IVDownloadConnection> keep(this);
    if (connection_) connection_->cancel();
    timeoutTimer_ = nullptr;
    --retryCount_;
    if (retryCount_ < 1) {
        if (auto d = delegate_.lock()) d->downloadTimedOut(this);
        connection_ = nullptr;
    } else {
        connection_ = nullptr;
        restart();
    }
}
