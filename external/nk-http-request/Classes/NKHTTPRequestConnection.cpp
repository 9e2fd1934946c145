// What keeps a request honest while it waits on the network: the 0.25-second status check with
// its time-out and retry rules, stream errors with the one retry on a fresh connection after a
// dead kept one, the read stream's place on the run loop (behind the activity indicator), expiry of
// kept connections, and the temporary files.
#include <algorithm>
#include <limits>

#include "CFNetwork/CFNetwork.h"
#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSStream.h"
#include "Foundation/NSTimer.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "external/nk-http-request/Classes/NKHTTPRequestInternal.h"

using nk_detail::Locked;

namespace {

constexpr NSTimeInterval kIndicatorHideDelay = 0.5;

bool isSecureTransportError(NSError* error) {
    Ref<NSString> domain = error ? error->domain() : nullptr;
    return domain && domain->isEqualToString(NSOSStatusErrorDomain) && error->code() >= -9818 &&
           error->code() <= -9800;
}

}  // namespace

// ---- the status check ---------------------------------------------------------------------------

void NKHTTPRequest::updateStatus(NSTimer*) {
    checkRequestStatus();
    if (!inProgress_) setStatusTimer(nullptr);
}

void NKHTTPRequest::checkRequestStatus() {
    Ref<NKHTTPRequest> keep(this);
    Locked lock(cancelledLock_);
    if (isCancelled() || complete()) return;
    performThrottling();

    if (shouldTimeOut()) {
        if (numberOfTimesToRetryOnTimeout_ <= retryCount_) {
            // Stopped first: with a cache fallback the failure delivers the cached response,
            // which stopping afterwards would wipe. The silent connection is closed, not kept.
            connectionCanBeReused_ = false;
            cancelLoad();
            failWithError(classState().requestTimedOutError);
            complete_ = true;
            return;
        }
        updatePartialDownloadSize();
        if (partialDownloadSize_ > 0 && request_) {
            CFHTTPMessageSetHeaderFieldValue(
                request_, NS("Range"),
                NSString::stringWithFormat(NS("bytes=%llu-"),
                                           (unsigned long long)partialDownloadSize_));
        }
        ++retryCount_;
        // The stream that timed out hears nothing more; it is closed once the new one is up.
        Ref<CFReadStream> stale = readStream_;
        unscheduleReadStream();
        if (stale) CFReadStreamSetClient(stale, 0, nullptr, nullptr);
        lock.unlock();
        startRequest();
        if (stale && stale != readStream_) CFReadStreamClose(stale);
        return;
    }

    if (readStream_) {
        if (postLength_ > 0) {
            lastBytesSent_ = totalBytesSent_;
            auto written = as<NSNumber>(CFReadStreamCopyProperty(
                readStream_, kCFStreamPropertyHTTPRequestBytesWrittenCount));
            totalBytesSent_ = written ? written->unsignedLongLongValue() : 0;
            if (totalBytesSent_ > lastBytesSent_) {
                lastActivityTime_ = NSDate::date();
                incrementBandwidthUsedInLastSecond(
                    static_cast<unsigned long>(totalBytesSent_ - lastBytesSent_));
            }
        }
        updateProgressIndicators();
    }
}

bool NKHTTPRequest::shouldTimeOut() {
    NSTimeInterval limit = timeOutSeconds_;
    if (!readStream_ || !readStreamIsScheduled_ || !lastActivityTime_ || limit <= 0) return false;
    NSTimeInterval idle = -lastActivityTime_->timeIntervalSinceNow();
    if (idle <= limit) return false;
    if (postLength_ == 0) return true;
    // Past the first buffer the platform took at once, the body moves or it does not.
    if (uploadBufferSize_ > 0 && totalBytesSent_ > uploadBufferSize_) return true;
    // Still inside that buffer (or the whole body went in at once): the server may be slow to
    // read it, so it gets half as long again.
    return idle > 1.5 * limit;
}

// ---- stream errors ------------------------------------------------------------------------------

void NKHTTPRequest::handleStreamError() {
    Ref<NSError> underlying = readStream_ ? CFReadStreamCopyError(readStream_) : nullptr;
    if (error()) {
        cancelLoad();
        return;
    }
    // Lost unanswered on a kept connection, in a way the server cannot have acted on.
    if (CFHTTPReadStreamMaySendAgain(readStream_, underlying) && retryCount_ == 0) {
        // Stop the exchange as cancelLoad does, but keep a body file the request made: the
        // retry sends the same body.
        connectionCanBeReused_ = false;
        destroyReadStream();
        if (postBodyReadStream_) postBodyReadStream_->close();
        setRawResponseData(nullptr);
        setResponseHeaders(nullptr);
        retryUsingNewConnection();
        return;
    }
    cancelLoad();
    Ref<NSString> description = NS("A connection failure occurred");
    if (isSecureTransportError(underlying)) {
        description = NSString::stringWithFormat(
            NS("%@: SSL problem (possibly a bad/expired/self-signed certificate)"), description);
    }
    failWithError(nk_detail::engineError(NKConnectionFailureErrorType, description, underlying));
}

bool NKHTTPRequest::retryUsingNewConnection() {
    if (retryCount_ != 0) return false;
    {
        ClassState& cs = classState();
        Locked conn(cs.connectionsLock);
        if (connectionInfo_) {
            connectionInfo_->removeObjectForKey(NS("request"));
            cs.persistentConnectionsPool->removeObjectIdenticalTo(connectionInfo_);
        }
        connectionInfo_ = nullptr;
    }
    ++retryCount_;
    // The other free kept connections may be as dead as the one just lost.
    needsNewConnection_ = true;
    startRequest();
    return true;
}

// ---- the stream on the run loop -----------------------------------------------------------------

void NKHTTPRequest::scheduleReadStream() {
    if (!readStream_ || readStreamIsScheduled_) return;
    ClassState& cs = classState();
    {
        Locked conn(cs.connectionsLock);
        ++cs.runningRequestCount;
        // A hide still pending finds the count above zero and leaves the indicator on.
        if (cs.shouldUpdateNetworkActivityIndicator) showNetworkActivityIndicator();
    }
    lastActivityTime_ = NSDate::date();
    scheduledLoop_ = CFRunLoopGetCurrent();
    CFReadStreamScheduleWithRunLoop(readStream_, scheduledLoop_, runLoopMode());
    readStreamIsScheduled_ = true;
}

void NKHTTPRequest::streamStopped() {
    ClassState& cs = classState();
    if (cs.runningRequestCount > 0) --cs.runningRequestCount;
    if (cs.runningRequestCount > 0) return;
    NSTimeInterval now = Clock::now();
    cs.lastStreamStop = now;
    if (!cs.shouldUpdateNetworkActivityIndicator) return;
    Ref<NSTimer> pending = cs.indicatorHideTimer;
    if (pending && pending->isValid()) {
        // A hide already waits; it only needs fixing when the clock was set back under it.
        if (pending->fireTime() > now + kIndicatorHideDelay)
            pending->setFireDate(
                NSDate::dateWithTimeIntervalSinceReferenceDate(now + kIndicatorHideDelay));
        return;
    }
    scheduleIndicatorHide(kIndicatorHideDelay);
}

void NKHTTPRequest::scheduleIndicatorHide(NSTimeInterval delay) {
    // On the main thread, which outlives every request's thread: one timer for a whole quiet
    // spell rather than a hide and its cancellation for every request.
    ClassState& cs = classState();
    cs.indicatorHideTimer =
        NSTimer::timerWithTimeInterval(delay, false, [](NSTimer*) { indicatorHideDue(); });
    NSRunLoop::mainRunLoop()->addTimer(cs.indicatorHideTimer, NSRunLoopCommonModes);
}

void NKHTTPRequest::indicatorHideDue() {
    ClassState& cs = classState();
    Locked conn(cs.connectionsLock);
    cs.indicatorHideTimer = nullptr;
    // Streams running again: the next one to stop schedules the hide anew.
    if (cs.runningRequestCount > 0 || !cs.shouldUpdateNetworkActivityIndicator) return;
    // The indicator goes off half a second after the last stream stopped, so that requests
    // one after another do not make it flicker.
    NSTimeInterval quiet = Clock::now() - cs.lastStreamStop;
    if (quiet >= 0 && quiet < kIndicatorHideDelay) {
        scheduleIndicatorHide(kIndicatorHideDelay - quiet);
        return;
    }
    hideNetworkActivityIndicator();
}

void NKHTTPRequest::unscheduleReadStream() {
    if (!readStream_ || !readStreamIsScheduled_) return;
    ClassState& cs = classState();
    {
        Locked conn(cs.connectionsLock);
        streamStopped();
    }
    Ref<NSRunLoop> loop = scheduledLoop_ ? scheduledLoop_ : Ref<NSRunLoop>(CFRunLoopGetCurrent());
    CFReadStreamUnscheduleFromRunLoop(readStream_, loop, runLoopMode());
    readStreamIsScheduled_ = false;
}

void NKHTTPRequest::destroyReadStream() {
    if (!readStream_) return;
    Ref<CFReadStream> stream = readStream_;
    CFReadStreamSetClient(stream, 0, nullptr, nullptr);
    ClassState& cs = classState();
    {
        Locked conn(cs.connectionsLock);
        if (readStreamIsScheduled_) streamStopped();
        Ref<NSRunLoop> loop =
            scheduledLoop_ ? scheduledLoop_ : Ref<NSRunLoop>(CFRunLoopGetCurrent());
        if (readStreamIsScheduled_) CFReadStreamUnscheduleFromRunLoop(stream, loop, runLoopMode());
        readStreamIsScheduled_ = false;
        // A reusable connection stays open for the next request to the same place; a stream
        // that failed has no connection worth keeping.
        if (!connectionCanBeReused_ || CFReadStreamGetStatus(stream) == kCFStreamStatusError)
            CFReadStreamClose(stream);
    }
    readStream_ = nullptr;
}

// ---- kept connections ---------------------------------------------------------------------------

void NKHTTPRequest::ClassState::keepConnectionFor(NSMutableDictionary* record,
                                                  NSTimeInterval seconds) {
    Ref<NSDate> expires = NSDate::dateWithTimeIntervalSinceNow(seconds);
    record->setObject(expires, NS("expires"));
    nextConnectionExpiry =
        std::min(nextConnectionExpiry, expires->timeIntervalSinceReferenceDate());
}

void NKHTTPRequest::expirePersistentConnections() {
    ClassState& cs = classState();
    Locked conn(cs.connectionsLock);
    // Every request sends through here: the walk waits until a record can have expired.
    NSTimeInterval now = Clock::now();
    if (now < cs.nextConnectionExpiry) return;
    NSTimeInterval next = std::numeric_limits<NSTimeInterval>::infinity();
    NSMutableArray* pool = cs.persistentConnectionsPool;
    for (NSUInteger i = 0; i < pool->count();) {
        auto record = as<NSMutableDictionary>(pool->objectAtIndex(i));
        auto expires = record ? as<NSDate>(record->objectForKey(NS("expires"))) : nullptr;
        bool free = record && !record->objectForKey(NS("request"));
        if (free && (!expires || expires->timeIntervalSinceNow() <= 0)) {
            if (auto stream = as<CFReadStream>(record->objectForKey(NS("stream"))))
                CFReadStreamClose(stream);
            pool->removeObjectAtIndex(i);
        } else {
            // A record in use is given its expiry when it is freed.
            if (free) next = std::min(next, expires->timeIntervalSinceReferenceDate());
            ++i;
        }
    }
    cs.nextConnectionExpiry = next;
}

NSUInteger NKHTTPRequest::persistentConnectionCount() {
    ClassState& cs = classState();
    Locked conn(cs.connectionsLock);
    return cs.persistentConnectionsPool->count();
}

Ref<NSNumber> NKHTTPRequest::connectionID() {
    Locked conn(classState().connectionsLock);
    return connectionInfo_ ? as<NSNumber>(connectionInfo_->objectForKey(NS("id"))) : nullptr;
}

// ---- stopping and temporary files ---------------------------------------------------------------

void NKHTTPRequest::cancelLoad() {
    destroyReadStream();
    if (postBodyReadStream_) postBodyReadStream_->close();
    if (rawResponseData()) {
        setRawResponseData(nullptr);
    } else if (temporaryFileDownloadPath()) {
        if (fileDownloadOutputStream_) {
            fileDownloadOutputStream_->close();
            fileDownloadOutputStream_ = nullptr;
        }
        if (!allowResumeForFileDownloads()) removeTemporaryDownloadFile();
    }
    if (authenticationNeeded_ == NKNoAuthenticationNeededYet && didCreateTemporaryPostDataFile_) {
        removePostDataFile();
        didCreateTemporaryPostDataFile_ = false;
    }
    setResponseHeaders(nullptr);
}

void NKHTTPRequest::removeTemporaryDownloadFile() {
    Ref<NSString> temp = temporaryFileDownloadPath();
    if (!temp) return;
    Ref<NSFileManager> fm = NSFileManager::defaultManager();
    Ref<NSError> err;
    if (fm->fileExistsAtPath(temp) && !fm->removeItemAtPath(temp, &err)) {
        failWithFileError(
            NSString::stringWithFormat(NS("Failed to delete file at path '%@'"), temp), err);
    }
    setTemporaryFileDownloadPath(nullptr);
}

void NKHTTPRequest::removePostDataFile() {
    Ref<NSFileManager> fm = NSFileManager::defaultManager();
    if (Ref<NSString> path = postBodyFilePath()) {
        if (postBodyWriteStream_) {
            postBodyWriteStream_->close();
            postBodyWriteStream_ = nullptr;
        }
        Ref<NSError> err;
        if (!fm->removeItemAtPath(path, &err)) {
            failWithFileError(
                NSString::stringWithFormat(NS("Failed to delete file at path '%@'"), path), err);
        }
        setPostBodyFilePath(nullptr);
    }
    if (Ref<NSString> path = compressedPostBodyFilePath_) {
        Ref<NSError> err;
        if (!fm->removeItemAtPath(path, &err)) {
            failWithFileError(
                NSString::stringWithFormat(NS("Failed to delete file at path '%@'"), path), err);
        }
        compressedPostBodyFilePath_ = nullptr;
    }
}
