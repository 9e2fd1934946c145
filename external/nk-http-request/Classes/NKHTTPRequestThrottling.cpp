// Bandwidth throttling: one allowance of bytes per second for all requests together. Every byte
// read from a response and every body read is counted against the current one-second window; a
// window that overshoots its allowance keeps the read streams off the run loop past its end in
// proportion, and reads are cut to a share of what is left. The limit is a fixed number, or
// 14,800 bytes per second only while the device is on the mobile data network.
#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "external/nk-http-request/Classes/NKHTTPRequestInternal.h"
#include "external/nk-http-request/Classes/Reachability.h"

using nk_detail::Locked;

namespace {

constexpr unsigned long kWWANBandwidthLimit = 14800;
// Samples kept for the average: at most this many before a new one is appended.
constexpr NSUInteger kMaxSamples = 6;

bool isSet(NSTimeInterval t) {
    return t >= 0;
}

// Whether a limit is in force; the caller holds the bandwidth lock.
bool limitInForce(const NKHTTPRequest::ClassState& cs) {
    return cs.isBandwidthThrottled || (!cs.shouldThrottleWWANOnly && cs.maxBandwidthPerSecond > 0);
}

}  // namespace

namespace nk_detail {

unsigned long throttledDownloadReadLength(unsigned long bufferSize) {
    NKHTTPRequest::ClassState& cs = NKHTTPRequest::classState();
    Locked lock(cs.bandwidthLock);
    if (!limitInForce(cs)) return bufferSize;
    unsigned long max = cs.maxBandwidthPerSecond, used = cs.bandwidthUsedInLastSecond;
    if (max > 0) {
        if (used > max) {
            bufferSize = 1;
        } else {
            unsigned long allowance = (max - used) / 4;
            if (allowance < bufferSize) bufferSize = allowance;
        }
    }
    return bufferSize == 0 ? 1 : bufferSize;
}

}  // namespace nk_detail

// ---- the figures --------------------------------------------------------------------------------

bool NKHTTPRequest::isBandwidthThrottled() {
    ClassState& cs = classState();
    Locked lock(cs.bandwidthLock);
    return limitInForce(cs);
}

unsigned long NKHTTPRequest::maxBandwidthPerSecond() {
    ClassState& cs = classState();
    Locked lock(cs.bandwidthLock);
    return cs.maxBandwidthPerSecond;
}

void NKHTTPRequest::setMaxBandwidthPerSecond(unsigned long bytes) {
    ClassState& cs = classState();
    Locked lock(cs.bandwidthLock);
    cs.maxBandwidthPerSecond = bytes;
}

void NKHTTPRequest::incrementBandwidthUsedInLastSecond(unsigned long bytes) {
    ClassState& cs = classState();
    Locked lock(cs.bandwidthLock);
    cs.bandwidthUsedInLastSecond += bytes;
}

unsigned long NKHTTPRequest::bandwidthUsedInLastSecond() {
    ClassState& cs = classState();
    Locked lock(cs.bandwidthLock);
    return cs.bandwidthUsedInLastSecond;
}

unsigned long NKHTTPRequest::averageBandwidthUsedPerSecond() {
    ClassState& cs = classState();
    Locked lock(cs.bandwidthLock);
    return cs.averageBandwidthUsedPerSecond;
}

NSTimeInterval NKHTTPRequest::throttleWakeUpTime() {
    ClassState& cs = classState();
    Locked lock(cs.bandwidthLock);
    return cs.throttleWakeUpTime;
}

// ---- the one-second windows ---------------------------------------------------------------------

void NKHTTPRequest::measureBandwidthUsage() {
    Locked lock(classState().bandwidthLock);
    measureBandwidthUsageLockHeld();
}

void NKHTTPRequest::measureBandwidthUsageLockHeld() {
    ClassState& cs = classState();
    NSTimeInterval now = Clock::now();
    if (isSet(cs.bandwidthMeasurementDate) && cs.bandwidthMeasurementDate > now + 1.0) {
        // The clock was set back: a window (and a wake-up) measured on the old time would hold
        // the streams for as long as the clock jumped. Start afresh.
        cs.bandwidthUsageTracker->removeAllObjects();
        cs.bandwidthMeasurementDate = -1;
        cs.throttleWakeUpTime = -1;
    }
    if (!isSet(cs.bandwidthMeasurementDate) || cs.bandwidthMeasurementDate <= now)
        recordBandwidthUsage();
    unsigned long max = cs.maxBandwidthPerSecond, used = cs.bandwidthUsedInLastSecond;
    if (limitInForce(cs) && max > 0 && used > max) {
        // Paused past the end of the window in proportion to the overshoot.
        cs.throttleWakeUpTime = cs.bandwidthMeasurementDate +
                                static_cast<double>(used - max) / static_cast<double>(max);
    }
}

void NKHTTPRequest::recordBandwidthUsage() {
    // The bandwidth lock is held by the caller.
    ClassState& cs = classState();
    NSMutableArray* samples = cs.bandwidthUsageTracker;
    NSTimeInterval now = Clock::now();
    if (cs.bandwidthUsedInLastSecond == 0) {
        samples->removeAllObjects();
    } else {
        // One old sample goes for each whole second of silence, and at most five stay.
        NSTimeInterval d =
            isSet(cs.bandwidthMeasurementDate) ? cs.bandwidthMeasurementDate - now : 0.0;
        while (samples->count() > 0 && (d < 0 || samples->count() >= kMaxSamples)) {
            samples->removeObjectAtIndex(0);
            d += 1;
        }
    }
    samples->addObject(NSNumber::numberWithUnsignedLong(cs.bandwidthUsedInLastSecond));
    cs.bandwidthMeasurementDate = now + 1;
    cs.bandwidthUsedInLastSecond = 0;
    unsigned long long sum = 0;
    for (NSObject* o : *samples) {
        if (auto n = as<NSNumber>(Ref<NSObject>(o))) sum += n->unsignedLongValue();
    }
    cs.averageBandwidthUsedPerSecond =
        static_cast<unsigned long>(sum / static_cast<unsigned long long>(samples->count()));
}

unsigned long NKHTTPRequest::maxUploadReadLength() {
    ClassState& cs = classState();
    Locked lock(cs.bandwidthLock);
    unsigned long max = cs.maxBandwidthPerSecond, used = cs.bandwidthUsedInLastSecond;
    // A quarter of the allowance, so that four requests running at once each get a share.
    unsigned long toRead = max / 4;
    if (max > 0 && used + toRead > max) toRead = used > max ? 0 : max - used;
    NSTimeInterval end = cs.bandwidthMeasurementDate;
    if (toRead == 0 || !isSet(end) || end <= Clock::now()) cs.throttleWakeUpTime = end;
    return toRead;
}

// ---- pausing a request --------------------------------------------------------------------------

void NKHTTPRequest::performThrottling() {
    if (!readStream_) return;
    bool throttled;
    NSTimeInterval wakeUp;
    {
        // Measured and read under one taking of the lock.
        ClassState& cs = classState();
        Locked lock(cs.bandwidthLock);
        measureBandwidthUsageLockHeld();
        throttled = limitInForce(cs);
        wakeUp = cs.throttleWakeUpTime;
    }
    // The stream is moved outside the bandwidth lock: scheduling takes the connections lock.
    if (!throttled) {
        if (!readStreamIsScheduled_) scheduleReadStream();
        if (throttledWithBytesWaiting_) {
            throttledWithBytesWaiting_ = false;
            handleBytesAvailable();
        }
        return;
    }
    if (!isSet(wakeUp)) return;
    if (wakeUp <= Clock::now()) {
        if (!readStreamIsScheduled_) scheduleReadStream();
        if (throttledWithBytesWaiting_) {
            throttledWithBytesWaiting_ = false;
            handleBytesAvailable();
        }
    } else if (readStreamIsScheduled_) {
        unscheduleReadStream();
    }
}

// ---- the mobile data network --------------------------------------------------------------------

void NKHTTPRequest::setShouldThrottleBandwidthForWWAN(bool throttle) {
    if (throttle) {
        throttleBandwidthForWWANUsingLimit(kWWANBandwidthLimit);
        return;
    }
    unsubscribeFromNetworkReachabilityNotifications();
    ClassState& cs = classState();
    Locked lock(cs.bandwidthLock);
    cs.maxBandwidthPerSecond = 0;
    cs.isBandwidthThrottled = false;
    cs.shouldThrottleWWANOnly = false;
}

void NKHTTPRequest::throttleBandwidthForWWANUsingLimit(unsigned long limit) {
    ClassState& cs = classState();
    {
        Locked lock(cs.bandwidthLock);
        cs.shouldThrottleWWANOnly = true;
        cs.maxBandwidthPerSecond = limit;
    }
    // Subscribing runs the platform's reachability code: not under the bandwidth lock.
    registerForNetworkReachabilityNotifications();
    reachabilityChanged(nullptr);
}

void NKHTTPRequest::registerForNetworkReachabilityNotifications() {
    ClassState& cs = classState();
    Locked g(cs.reachabilityLock);
    // One subscription however often throttling is switched on.
    if (cs.reachabilityToken) return;
    Ref<Reachability> reachability = Reachability::reachabilityForInternetConnection();
    if (reachability) reachability->startNotifier();
    cs.reachability = reachability;
    cs.reachabilityToken = NSNotificationCenter::defaultCenter()->addObserverForName(
        NKReachabilityChangedNotification, nullptr,
        [](NSNotification* note) { reachabilityChanged(note); });
}

void NKHTTPRequest::unsubscribeFromNetworkReachabilityNotifications() {
    ClassState& cs = classState();
    Ref<NSObject> token;
    Ref<NSObject> reachability;
    {
        Locked g(cs.reachabilityLock);
        token.swap(cs.reachabilityToken);
        reachability.swap(cs.reachability);
    }
    if (token) NSNotificationCenter::defaultCenter()->removeObserver(token);
    if (auto r = as<Reachability>(reachability)) r->stopNotifier();
}

bool NKHTTPRequest::isNetworkReachableViaWWAN() {
    Ref<Reachability> reachability = Reachability::reachabilityForInternetConnection();
    return reachability && reachability->currentReachabilityStatus() == ReachableViaWWAN;
}

void NKHTTPRequest::reachabilityChanged(NSNotification*) {
    bool onWWAN = isNetworkReachableViaWWAN();
    ClassState& cs = classState();
    Locked lock(cs.bandwidthLock);
    cs.isBandwidthThrottled = onWWAN;
}
