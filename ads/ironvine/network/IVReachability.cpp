#include "ads/ironvine/network/IVReachability.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "SystemConfiguration/SCNetworkReachability.h"

NSString* const kNetworkReachabilityChangedNotification =
    NS("kNetworkReachabilityChangedNotification");

namespace {
constexpr uint32_t kReachable = kSCNetworkReachabilityFlagsReachable;
constexpr uint32_t kConnectionRequired = kSCNetworkReachabilityFlagsConnectionRequired;
constexpr uint32_t kTransient = kSCNetworkReachabilityFlagsTransientConnection;
constexpr uint32_t kDirect = kSCNetworkReachabilityFlagsIsDirect;
constexpr uint32_t kCellular = kSCNetworkReachabilityFlagsIsWWAN;

void reachabilityChanged(SCNetworkReachabilityRef, SCNetworkReachabilityFlags, void*) {
    NSAutoreleasePool pool;
    NSNotificationCenter::defaultCenter()->postNotificationName(
        kNetworkReachabilityChangedNotification, nullptr);
}
}  // namespace

// ---- query ----------------------------------------------------------------------------------

bool IVReachabilityQuery::init() {
    if (!NSObject::init()) return false;
    runLoops_ = NSMutableArray::array();
    return true;
}

void IVReachabilityQuery::dealloc() {
    unscheduleEverywhere();
    NSObject::dealloc();
}

void IVReachabilityQuery::setReachabilityRef(SCNetworkReachability* ref) {
    reachabilityRef_ = ref;
}

void IVReachabilityQuery::setHostNameOrAddress(NSString* key) {
    hostNameOrAddress_ = key ? key->copy() : nullptr;
}

bool IVReachabilityQuery::isScheduledOnRunLoop(NSRunLoop* runLoop) {
    return runLoops_->indexOfObjectIdenticalTo(runLoop) != NSNotFound;
}

void IVReachabilityQuery::scheduleOnRunLoop(NSRunLoop* runLoop) {
    if (!IVReachability::sharedReachability()->networkStatusNotificationsEnabled()) return;
    if (!reachabilityRef_ || isScheduledOnRunLoop(runLoop)) return;
    startListeningForReachabilityChanges(reachabilityRef_.get(), runLoop);
}

void IVReachabilityQuery::startListeningForReachabilityChanges(SCNetworkReachability* target,
                                                               NSRunLoop* runLoop) {
    SCNetworkReachabilityContext context;
    SCNetworkReachabilitySetCallback(target, reachabilityChanged, &context);
    SCNetworkReachabilityScheduleWithRunLoop(target, runLoop, NSDefaultRunLoopMode);
    runLoops_->addObject(runLoop);
}

void IVReachabilityQuery::unscheduleEverywhere() {
    if (reachabilityRef_) {
        for (NSObject* loop : *runLoops_)
            SCNetworkReachabilityUnscheduleFromRunLoop(
                reachabilityRef_.get(), static_cast<NSRunLoop*>(loop), NSDefaultRunLoopMode);
    }
    runLoops_->removeAllObjects();
}

// ---- shared service -------------------------------------------------------------------------

Ref<IVReachability> IVReachability::sharedReachability() {
    static ProcessWide<IVReachability> shared;
    return shared.get();
}

bool IVReachability::init() {
    if (!NSObject::init()) return false;
    queries_ = NSMutableDictionary::dictionary();
    return true;
}

void IVReachability::dealloc() {
    stopListeningForReachabilityChanges();
    NSObject::dealloc();
}

void IVReachability::setHostName(NSString* name) {
    hostName_ = name ? name->copy() : nullptr;
}
void IVReachability::setAddress(NSString* address) {
    address_ = address ? address->copy() : nullptr;
}

bool IVReachability::isReachableWithoutRequiringConnection(uint32_t flags) {
    return (flags & kReachable) && ((flags & kCellular) || !(flags & kConnectionRequired));
}

bool IVReachability::flagsForFixedAddress(NSString* key, uint32_t* outFlags) {
    auto target = reachabilityRefForAddress(key);
    if (!target) return false;
    if (auto query = as<IVReachabilityQuery>(queries_->objectForKey(key)))
        query->scheduleOnRunLoop(NSRunLoop::currentRunLoop().get());
    SCNetworkReachabilityFlags flags = 0;
    if (!SCNetworkReachabilityGetFlags(target.get(), &flags)) return false;
    if (outFlags) *outFlags = flags;
    return isReachableWithoutRequiringConnection(flags);
}

bool IVReachability::isNetworkAvailableFlags(uint32_t* outFlags) {
    return flagsForFixedAddress(NS("0.0.0.0"), outFlags);
}

bool IVReachability::isAdHocWiFiNetworkAvailableFlags(uint32_t* outFlags) {
    return flagsForFixedAddress(NS("169.254.0.0"), outFlags);
}

int32_t IVReachability::internetConnectionStatus() {
    uint32_t flags = 0;
    if (!isNetworkAvailableFlags(&flags) || (flags & kDirect)) return IVNotReachable;
    return (flags & kTransient) ? IVReachableViaTransientConnection : IVReachable;
}

int32_t IVReachability::localWiFiConnectionStatus() {
    uint32_t flags = 0;
    if (isAdHocWiFiNetworkAvailableFlags(&flags) && (flags & kDirect)) return IVReachable;
    return IVNotReachable;
}

int32_t IVReachability::remoteHostStatus() {
    Ref<SCNetworkReachability> target;
    if (hostName_)
        target = reachabilityRefForHostName(hostName_.get());
    else if (address_)
        target = reachabilityRefForAddress(address_.get());
    else {
        // A misuse report, not a reason to stop the engine.
        NSLog(NS("No hostName or address specified. Cannot determine reachability."));
        return IVNotReachable;
    }
    SCNetworkReachabilityFlags flags = 0;
    if (!target || !SCNetworkReachabilityGetFlags(target.get(), &flags) ||
        !isReachableWithoutRequiringConnection(flags))
        return IVNotReachable;
    return (flags & kTransient) ? IVReachableViaTransientConnection : IVReachable;
}

bool IVReachability::isHostReachable(NSString* host) {
    if (!host || host->length() == 0) return false;
    auto target = SCNetworkReachabilityCreateWithName(nullptr, host->UTF8String());
    SCNetworkReachabilityFlags flags = 0;
    if (!target || !SCNetworkReachabilityGetFlags(target.get(), &flags)) return false;
    return isReachableWithoutRequiringConnection(flags);
}

bool IVReachability::addressFromString(NSString* text, sockaddr_in* address) {
    if (!text || !address) return false;
    std::memset(address, 0, sizeof *address);
    address->sin_family = AF_INET;
    return inet_pton(AF_INET, text->UTF8String(), &address->sin_addr) == 1;
}

Ref<SCNetworkReachability> IVReachability::reachabilityRefForHostName(NSString* host) {
    if (!host || host->length() == 0) return nullptr;
    if (auto query = as<IVReachabilityQuery>(queries_->objectForKey(host)))
        return query->reachabilityRef();
    auto target = SCNetworkReachabilityCreateWithName(nullptr, host->UTF8String());
    if (!target) {
        NSLog(NS("Failed to create SCNetworkReachabilityRef for host: %@"), host);
        return nullptr;
    }
    auto query = make<IVReachabilityQuery>();
    query->setReachabilityRef(target.get());
    query->setHostNameOrAddress(host);
    query->scheduleOnRunLoop(NSRunLoop::currentRunLoop().get());
    queries_->setObject(query.get(), host);
    return target;
}

Ref<SCNetworkReachability> IVReachability::reachabilityRefForAddress(NSString* address) {
    if (!address || address->length() == 0) return nullptr;
    if (auto query = as<IVReachabilityQuery>(queries_->objectForKey(address)))
        return query->reachabilityRef();
    sockaddr_in sa;
    if (!addressFromString(address, &sa)) {
        NSLog(NS("Failed to convert an IP address string to a sockaddr_in: %@"), address);
        return nullptr;
    }
    auto target = SCNetworkReachabilityCreateWithAddress(nullptr, reinterpret_cast<sockaddr*>(&sa));
    if (!target) {
        NSLog(NS("Failed to create SCNetworkReachabilityRef for address: %@"), address);
        return nullptr;
    }
    auto query = make<IVReachabilityQuery>();
    query->setReachabilityRef(target.get());
    query->setHostNameOrAddress(address);
    query->scheduleOnRunLoop(NSRunLoop::currentRunLoop().get());
    queries_->setObject(query.get(), address);
    return target;
}

void IVReachability::stopListeningForReachabilityChanges() {
    if (!queries_) return;
    auto keys = queries_->allKeys();
    for (NSObject* key : *keys)
        if (auto query = as<IVReachabilityQuery>(queries_->objectForKey(key)))
            query->unscheduleEverywhere();
}
