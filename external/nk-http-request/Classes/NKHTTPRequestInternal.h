// What the parts of the request class share: the process-wide state made once, the fixed
// callback names and small helpers. Not for users of the engine.
#pragma once

#include <atomic>
#include <cstdint>
#include <limits>
#include <mutex>
#include <vector>

#include "Foundation/NSLock.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"

class NSError;
class NSMutableArray;
class NSOperationQueue;
class NSURL;
class NKHTTPRequestDelegate;

struct NKHTTPRequest::ClassState {
    ClassState();

    // The fixed names of the queue's callbacks.
    std::atomic<SEL> queueRequestStarted{nullptr};
    std::atomic<SEL> queueRequestReceivedResponseHeaders{nullptr};
    std::atomic<SEL> queueRequestFinished{nullptr};
    std::atomic<SEL> queueRequestFailed{nullptr};

    // Kept connections, their counters and the running-stream count.
    Ref<NSRecursiveLock> connectionsLock;
    Ref<NSMutableArray> persistentConnectionsPool;
    // The clock time before which no free record in the pool has expired, so the sweep before
    // each send has nothing to do; lowered whenever a record is given an expiry.
    NSTimeInterval nextConnectionExpiry = -std::numeric_limits<NSTimeInterval>::infinity();
    // Under connectionsLock: sets the record's expiry that many seconds from now.
    void keepConnectionFor(NSMutableDictionary* record, NSTimeInterval seconds);
    uint64_t nextConnectionNumberToCreate = 0;
    uint64_t nextRequestID = 0;
    uint64_t runningRequestCount = 0;
    bool shouldUpdateNetworkActivityIndicator = true;
    Ref<NSTimer> indicatorHideTimer;      // the hide waiting on the main thread, if any
    UINetworkActivityHold indicatorHold;  // the engine's one hold on the app's indicator
    NSTimeInterval lastStreamStop = 0;    // clock time the running count last reached zero

    Ref<NSRecursiveLock> progressLock;
    Ref<NSLock> bandwidthLock;
    Ref<NSRecursiveLock> sessionCookiesLock;
    Ref<NSRecursiveLock> sessionCredentialsLock;
    Ref<NSRecursiveLock> delegateAuthenticationLock;
    Ref<NSMutableArray> bandwidthUsageTracker;
    // Bandwidth throttling, all under bandwidthLock. Times are clock times; a negative value
    // stands for none.
    unsigned long bandwidthUsedInLastSecond = 0;
    unsigned long maxBandwidthPerSecond = 0;
    unsigned long averageBandwidthUsedPerSecond = 0;
    bool isBandwidthThrottled = false;    // WWAN throttling is on and the device is on WWAN
    bool shouldThrottleWWANOnly = false;  // the limit applies only while on WWAN
    NSTimeInterval bandwidthMeasurementDate = -1;  // end of the current one-second window
    NSTimeInterval throttleWakeUpTime = -1;        // when paused streams may run again
    // The reachability subscription: the object is kept for as long as it lasts, since its end
    // would stop the notifications.
    Ref<NSLock> reachabilityLock;     // held while subscribing, which calls out
    Ref<NSObject> reachability;       // under reachabilityLock
    Ref<NSObject> reachabilityToken;  // the notification observation, under reachabilityLock

    // The errors every request that fails that way shares.
    Ref<NSError> requestTimedOutError;
    Ref<NSError> authenticationError;
    Ref<NSError> requestCancelledError;
    Ref<NSError> unableToCreateRequestError;
    Ref<NSError> tooMuchRedirectionError;

    Ref<NSOperationQueue> sharedQueue;

    std::atomic<NSTimeInterval> defaultTimeOutSeconds{10.0};
    std::mutex defaultCacheLock;
    Ref<NKCacheDelegate> defaultCache;

    Ref<NSMutableArray> sessionCookies;  // under sessionCookiesLock

    // The requests started on the network thread, so that retiring the thread can end them:
    // a request left on a stopped loop would never time out, be cancelled or end its count.
    // Under networkThreadLock, which the retire also holds while it marks its thread retiring,
    // so a request enters either before the retire looks or onto the next thread.
    std::mutex networkThreadLock;
    std::vector<Weak<NKHTTPRequest>> onNetworkThread;
    std::vector<NSThread*> retiringThreads;  // alive: each is its slot's until retired
};

// A selector interned once per use site: the callbacks name theirs on every request.
#define NK_SEL(name)                                       \
    ([]() -> SEL {                                         \
        static const SEL interned = Selector::named(name); \
        return interned;                                   \
    }())

namespace nk_detail {
// Locks an NSLocking object for a scope.
class Locked {
public:
    explicit Locked(NSLocking* lock) : lock_(lock) { lock_->lock(); }
    ~Locked() {
        if (lock_) lock_->unlock();
    }
    // Lets go early; the destructor then does nothing.
    void unlock() {
        if (lock_) lock_->unlock();
        lock_ = nullptr;
    }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    NSLocking* lock_;
};

// An error of the engine's domain with a description (and an underlying error).
Ref<NSError> engineError(NSInteger code, NSString* description, NSError* underlying = nullptr);

// A name made of a fresh globally unique string, for temporary files.
Ref<NSString> globallyUniqueString();

// The object as a string, or nil: as<NSString>, with the plain immutable strings that nearly
// every header, key and value is told apart without a dynamic cast.
Ref<NSString> asString(NSObject* object);

// The value of a header looked up as written, then without regard to case.
Ref<NSString> headerValue(NSDictionary* headers, NSString* name);

// The encoding a Content-Type's "charset=" names, read as the platform's scanner reads it; 0 for
// none or one this system cannot decode. charsetEncodingScanned() is the scanner's own reading.
NSStringEncoding charsetEncoding(NSString* contentType);
NSStringEncoding charsetEncodingScanned(NSString* contentType);

// The values of several headers, each as headerValue() finds it, in one walk over the headers:
// `values[i]` for `names[i]` (nil when absent).
void headerValues(NSDictionary* headers, NSString* const* names, size_t count,
                  Ref<NSString>* values);

// Calls the request delegate contract's method that `sel` names (nothing for another name).
void callDelegateContract(NKHTTPRequestDelegate* d, SEL sel, NKHTTPRequest* request);

// Equal texts, or both absent.
bool sameText(NSString* a, NSString* b);

// Same host (exact text), same port (both absent, or equal numbers) and same scheme: where
// credentials that answered one URL answer the other too.
bool sameServer(NSURL* a, NSURL* b);

// The size of the next response read while bandwidth is throttled: at most a quarter of what is
// left of this second's allowance, 1 byte once it is used up (the buffer size unthrottled).
unsigned long throttledDownloadReadLength(unsigned long bufferSize);

// Writes every byte to the stream, as many writes as it takes; false when a write fails or
// takes nothing.
bool writeAll(NSOutputStream* stream, const uint8_t* bytes, NSUInteger length);
}  // namespace nk_detail
