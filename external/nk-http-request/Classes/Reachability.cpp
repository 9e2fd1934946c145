#include "external/nk-http-request/Classes/Reachability.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cstring>

#include "Foundation/NSNotification.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"

NSString* const NKReachabilityChangedNotification = NS("NetworkReachabilityChangedNotification");

namespace {

// The callback's context. The target holds it (retained through the context's functions), and
// it holds the Reachability object only weakly: the object owns the target, so a strong
// reference here would keep both alive for ever.
class CallbackContext : public NSObject {
    NS_OBJECT(CallbackContext, NSObject)
    Weak<Reachability> owner;
};

const void* retainContext(const void* info) {
    static_cast<NSObject*>(const_cast<void*>(info))->retain();
    return info;
}

void releaseContext(const void* info) {
    static_cast<NSObject*>(const_cast<void*>(info))->release();
}

void reachabilityCallback(SCNetworkReachabilityRef, SCNetworkReachabilityFlags, void* info) {
    NSAutoreleasePool pool;
    auto* context = static_cast<CallbackContext*>(info);
    Ref<Reachability> sender = context ? context->owner.lock() : nullptr;
    if (!sender) return;
    NSNotificationCenter::defaultCenter()->postNotificationName(NKReachabilityChangedNotification,
                                                                sender);
}

Ref<Reachability> withTarget(Ref<SCNetworkReachability> target, NSString* key) {
    if (!target) return nullptr;
    Ref<Reachability> r = make<Reachability>(&Reachability::initWithReachabilityRef, target.get());
    if (r) r->setKey(key);
    return r;
}

Ref<Reachability> withAddress(in_addr_t address, NSString* key) {
    struct sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    return withTarget(SCNetworkReachabilityCreateWithAddress(
                          nullptr, reinterpret_cast<const struct sockaddr*>(&sa)),
                      key);
}

}  // namespace

// ---- making ---------------------------------------------------------------------------------

Ref<Reachability> Reachability::reachabilityWithHostName(NSString* hostName) {
    if (!hostName) return nullptr;
    std::string name = hostName->utf8();
    return withTarget(SCNetworkReachabilityCreateWithName(nullptr, name.c_str()), hostName);
}

Ref<Reachability> Reachability::reachabilityWithAddress(const struct sockaddr_in* hostAddress) {
    if (!hostAddress) return nullptr;
    return withTarget(SCNetworkReachabilityCreateWithAddress(
                          nullptr, reinterpret_cast<const struct sockaddr*>(hostAddress)),
                      makeAddressKey(hostAddress->sin_addr.s_addr));
}

Ref<Reachability> Reachability::reachabilityForInternetConnection() {
    return withAddress(htonl(INADDR_ANY), NS("InternetConnection"));
}

Ref<Reachability> Reachability::reachabilityForLocalWiFi() {
    // 169.254.0.0, the link-local network.
    return withAddress(htonl(0xA9FE0000u), NS("LocalWiFiConnection"));
}

Ref<NSString> Reachability::makeAddressKey(in_addr_t address) {
    // The bytes in network order, first byte first, whatever the machine's order.
    const auto* b = reinterpret_cast<const unsigned char*>(&address);
    return NSString::stringWithFormat(NS("%d.%d.%d.%d"), int(b[0]), int(b[1]), int(b[2]),
                                      int(b[3]));
}

bool Reachability::initWithReachabilityRef(SCNetworkReachability* reachabilityRef) {
    if (!NSObject::init()) return false;
    reachabilityRef_ = reachabilityRef;
    return true;
}

void Reachability::setKey(NSString* key) {
    key_ = key ? key->copy() : nullptr;
}

// ---- the notifier ---------------------------------------------------------------------------

bool Reachability::startNotifier() {
    if (!reachabilityRef_) return false;
    if (!callbackContext_) {
        Ref<CallbackContext> c = make<CallbackContext>();
        c->owner = this;
        callbackContext_ = c;
    }
    SCNetworkReachabilityContext context;
    context.info = callbackContext_.get();
    context.retain = retainContext;
    context.release = releaseContext;
    if (!SCNetworkReachabilitySetCallback(reachabilityRef_, reachabilityCallback, &context))
        return false;
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    if (!SCNetworkReachabilityScheduleWithRunLoop(reachabilityRef_, loop, NSDefaultRunLoopMode))
        return false;
    notifierLoop_ = loop;
    return true;
}

void Reachability::stopNotifier() {
    if (!reachabilityRef_) return;
    // Taken off the loop it was put on, whichever thread stops it.
    Ref<NSRunLoop> loop = notifierLoop_ ? notifierLoop_ : NSRunLoop::currentRunLoop();
    SCNetworkReachabilityUnscheduleFromRunLoop(reachabilityRef_, loop, NSDefaultRunLoopMode);
    notifierLoop_ = nullptr;
}

void Reachability::dealloc() {
    stopNotifier();
    if (reachabilityRef_) SCNetworkReachabilitySetCallback(reachabilityRef_, nullptr, nullptr);
    reachabilityRef_ = nullptr;
    callbackContext_ = nullptr;
    key_ = nullptr;
    NSObject::dealloc();
}

// ---- the status -----------------------------------------------------------------------------

bool Reachability::flags(SCNetworkReachabilityFlags* out) {
    *out = 0;
    return reachabilityRef_ && SCNetworkReachabilityGetFlags(reachabilityRef_, out);
}

SCNetworkReachabilityFlags Reachability::reachabilityFlags() {
    SCNetworkReachabilityFlags f = 0;
    return flags(&f) ? f : 0;
}

NetworkStatus Reachability::networkStatusForFlags(SCNetworkReachabilityFlags f) {
    if (!(f & kSCNetworkReachabilityFlagsReachable)) return NotReachable;
    if (key_ && key_->isEqualToString(NS("LocalWiFiConnection")))
        return (f & kSCNetworkReachabilityFlagsIsDirect) ? ReachableViaWiFi : NotReachable;
    if (f & kSCNetworkReachabilityFlagsIsWWAN) return ReachableViaWWAN;
    SCNetworkReachabilityFlags rest =
        f & ~(kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsLocalAddress |
              kSCNetworkReachabilityFlagsIsDirect);
    if (rest == (kSCNetworkReachabilityFlagsTransientConnection |
                 kSCNetworkReachabilityFlagsConnectionRequired))
        return NotReachable;
    if (f & kSCNetworkReachabilityFlagsTransientConnection) return ReachableViaWiFi;
    if (rest == 0) return ReachableViaWiFi;
    return (f & kSCNetworkReachabilityFlagsConnectionRequired) ? ReachableViaWiFi : NotReachable;
}

NetworkStatus Reachability::currentReachabilityStatus() {
    SCNetworkReachabilityFlags f = 0;
    return flags(&f) ? networkStatusForFlags(f) : NotReachable;
}

bool Reachability::isReachable() {
    return currentReachabilityStatus() != NotReachable;
}

bool Reachability::isReachableViaWWAN() {
    return currentReachabilityStatus() == ReachableViaWWAN;
}

bool Reachability::isReachableViaWiFi() {
    return currentReachabilityStatus() == ReachableViaWiFi;
}

bool Reachability::isConnectionRequired() {
    return reachabilityFlags() & kSCNetworkReachabilityFlagsConnectionRequired;
}

bool Reachability::isConnectionOnDemand() {
    SCNetworkReachabilityFlags f = reachabilityFlags();
    return (f & kSCNetworkReachabilityFlagsConnectionRequired) &&
           (f & (kSCNetworkReachabilityFlagsConnectionOnTraffic |
                 kSCNetworkReachabilityFlagsConnectionOnDemand));
}

bool Reachability::isInterventionRequired() {
    SCNetworkReachabilityFlags f = reachabilityFlags();
    return (f & kSCNetworkReachabilityFlagsConnectionRequired) &&
           (f & kSCNetworkReachabilityFlagsInterventionRequired);
}

// ---- identity -------------------------------------------------------------------------------

bool Reachability::isEqual(NSObject* other) {
    if (other == this) return true;
    auto r = as<Reachability>(other);
    return r && objectsEqual(key_.get(), r->key_.get());
}

NSUInteger Reachability::hash() {
    return key_ ? key_->hash() : 0;
}

Ref<NSString> Reachability::description() {
    return NSString::stringWithFormat(NS("<Reachability: %@>"), key_ ? key_.get() : NS("(none)"));
}
