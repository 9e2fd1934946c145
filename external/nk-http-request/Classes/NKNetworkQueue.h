// An operation queue for requests that is started explicitly (go), tells one delegate about each
// request's start, headers, success and failure through selectors of its choice, tells it when
// the queue has run dry, can cancel everything on the first failure, and adds the byte counts of
// all its requests into one upload and one download figure. Each request it takes has the queue
// as its `queue`, so the request reports its events, byte counts and authentication questions
// here too. All of these reports arrive on the main thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "Foundation/NSOperation.h"
#include "external/nk-http-request/Classes/NKHTTPRequestDelegate.h"
#include "external/nk-http-request/Classes/NKProgressDelegate.h"

class NKHTTPRequest;
class NSDictionary;

class NKNetworkQueue : public NSOperationQueue,
                       public NKHTTPRequestDelegate,
                       public NKProgressDelegate {
    NS_OBJECT(NKNetworkQueue, NSOperationQueue)
    static void describeClass(RuntimeClass& c);

    // Cancel-on-failure on, four requests at once, suspended.
    bool init() override;
    static Ref<NKNetworkQueue> queue();

    // Starts the queue.
    void go();
    // Cancels everything, forgets the delegates and selectors, and suspends the queue.
    void reset();

    // Takes only requests: anything else raises "AttemptToAddInvalidRequest".
    void addOperation(NSOperation* operation) override;
    // Adds the HEAD request that measures another one (not counted as a request of the queue).
    void addHEADOperation(NSOperation* operation);
    void setSuspended(bool suspended) override;
    // Sets the byte figures to 0, then cancels every operation.
    void cancelAllOperations() override;
    Ref<NSObject> copyWithZone() override;
    void dealloc() override;

    // ---- what the requests call (main thread) ------------------------------------------------
    void requestStarted(NKHTTPRequest* request) override;
    void requestReceivedResponseHeaders(NKHTTPRequest* request) override;
    void requestFinished(NKHTTPRequest* request) override;
    void requestFailed(NKHTTPRequest* request) override;
    void authenticationNeededForRequest(NKHTTPRequest* request) override;
    void proxyAuthenticationNeededForRequest(NKHTTPRequest* request) override;
    // request:didReceiveBytes:
    void request(NKHTTPRequest* request, long long bytes) override;
    using NKHTTPRequestDelegate::request;
    void requestDidSendBytes(NKHTTPRequest* request, long long bytes) override;
    void requestIncrementDownloadSizeBy(NKHTTPRequest* request, long long newLength) override;
    void requestIncrementUploadSizeBy(NKHTTPRequest* request, long long newLength) override;

    // respondsToSelector: as the queue means it: the two authentication questions are answered
    // only when the queue's delegate answers them, so that a request waits on the queue only
    // when someone will reply. Requests ask this (receiverRespondsToSelector) rather than the
    // class's method table, which cannot vary by object.
    bool answersSelector(SEL selector);
    // For any receiver: a network queue's answersSelector, else respondsToSelector.
    static bool receiverRespondsToSelector(NSObject* receiver, SEL selector);

    // ---- properties ---------------------------------------------------------------------------
    // Not retained.
    Ref<NSObject> delegate() { return delegate_.lock(); }
    void setDelegate(NSObject* delegate) { delegate_ = delegate; }
    SEL requestDidStartSelector() { return requestDidStartSelector_; }
    void setRequestDidStartSelector(SEL s) { requestDidStartSelector_ = s; }
    SEL requestDidReceiveResponseHeadersSelector() {
        return requestDidReceiveResponseHeadersSelector_;
    }
    void setRequestDidReceiveResponseHeadersSelector(SEL s) {
        requestDidReceiveResponseHeadersSelector_ = s;
    }
    SEL requestDidFinishSelector() { return requestDidFinishSelector_; }
    void setRequestDidFinishSelector(SEL s) { requestDidFinishSelector_ = s; }
    SEL requestDidFailSelector() { return requestDidFailSelector_; }
    void setRequestDidFailSelector(SEL s) { requestDidFailSelector_ = s; }
    SEL queueDidFinishSelector() { return queueDidFinishSelector_; }
    void setQueueDidFinishSelector(SEL s) { queueDidFinishSelector_ = s; }

    // Not retained; setting one resets its progress to 0.
    Ref<NKProgressDelegate> uploadProgressDelegate() { return uploadProgressDelegate_.lock(); }
    void setUploadProgressDelegate(NKProgressDelegate* delegate);
    Ref<NKProgressDelegate> downloadProgressDelegate() { return downloadProgressDelegate_.lock(); }
    void setDownloadProgressDelegate(NKProgressDelegate* delegate);
    // Gives the receiver a progress of 0 when it takes setProgress:.
    void resetProgressDelegate(NKProgressDelegate* delegate);

    uint64_t bytesUploadedSoFar() { return bytesUploadedSoFar_; }
    void setBytesUploadedSoFar(uint64_t v) { bytesUploadedSoFar_ = v; }
    uint64_t totalBytesToUpload() { return totalBytesToUpload_; }
    void setTotalBytesToUpload(uint64_t v) { totalBytesToUpload_ = v; }
    uint64_t bytesDownloadedSoFar() { return bytesDownloadedSoFar_; }
    void setBytesDownloadedSoFar(uint64_t v) { bytesDownloadedSoFar_ = v; }
    uint64_t totalBytesToDownload() { return totalBytesToDownload_; }
    void setTotalBytesToDownload(uint64_t v) { totalBytesToDownload_ = v; }
    bool shouldCancelAllRequestsOnFailure() { return shouldCancelAllRequestsOnFailure_; }
    void setShouldCancelAllRequestsOnFailure(bool v) { shouldCancelAllRequestsOnFailure_ = v; }
    int32_t requestsCount() { return requestsCount_; }
    void setRequestsCount(int32_t v) { requestsCount_ = v; }
    bool showAccurateProgress() { return showAccurateProgress_; }
    void setShowAccurateProgress(bool v) { showAccurateProgress_ = v; }
    Ref<NSDictionary> userInfo();
    void setUserInfo(NSDictionary* info);

private:
    // Counts (or stops counting) the requests that wait in the queue as network work.
    void countWaitingRequests(bool counted);
    // Sends a request selector (or the queue's own) to the delegate, if it answers it.
    void tellDelegate(SEL selector, NSObject* argument);

    Weak<NSObject> delegate_;
    std::atomic<SEL> requestDidStartSelector_{nullptr};
    std::atomic<SEL> requestDidReceiveResponseHeadersSelector_{nullptr};
    std::atomic<SEL> requestDidFinishSelector_{nullptr};
    std::atomic<SEL> requestDidFailSelector_{nullptr};
    std::atomic<SEL> queueDidFinishSelector_{nullptr};
    Weak<NKProgressDelegate> uploadProgressDelegate_;
    std::atomic<uint64_t> bytesUploadedSoFar_{0};
    std::atomic<uint64_t> totalBytesToUpload_{0};
    Weak<NKProgressDelegate> downloadProgressDelegate_;
    std::atomic<uint64_t> bytesDownloadedSoFar_{0};
    std::atomic<uint64_t> totalBytesToDownload_{0};
    std::atomic<bool> shouldCancelAllRequestsOnFailure_{true};
    std::atomic<int32_t> requestsCount_{0};
    std::atomic<bool> showAccurateProgress_{false};
    std::mutex userInfoLock_;
    Ref<NSDictionary> userInfo_;
};
