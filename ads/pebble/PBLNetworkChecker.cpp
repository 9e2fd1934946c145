#include "ads/pebble/PBLNetworkChecker.h"

#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "SystemConfiguration/SCNetworkReachability.h"

namespace {
// Any always-reachable host will do; only the kind of route matters.
constexpr const char* kWatchedHost = "www.pebbleads.test";

void reachabilityChanged(SCNetworkReachabilityRef, SCNetworkReachabilityFlags flags, void* info) {
    static_cast<PBLNetworkChecker*>(info)->setNetworkTypeFromFlags(flags);
}
}  // namespace

Ref<PBLNetworkChecker> PBLNetworkChecker::sharedChecker() {
    // A dropped checker stops listening: the reachability callback points at it.
    static ProcessWide<PBLNetworkChecker> shared{
        [] {
            auto checker = make<PBLNetworkChecker>();
            checker->setEnabled(true);
            return checker;
        },
        [](PBLNetworkChecker* checker) { checker->stopNetworkChecking(); }};
    return shared.get();
}

void PBLNetworkChecker::dealloc() {
    stopNetworkChecking();
    NSObject::dealloc();
}

void PBLNetworkChecker::setEnabled(bool enabled) {
    if (enabled == isEnabled()) return;
    if (enabled)
        startNetworkChecking();
    else
        stopNetworkChecking();
}

void PBLNetworkChecker::startNetworkChecking() {
    networkType_ = 0;
    if (networkRef_) return;
    auto ref = SCNetworkReachabilityCreateWithName(nullptr, kWatchedHost);
    if (!ref) return;
    // The checker is not retained by its own callback: release stops the watching first.
    SCNetworkReachabilityContext context;
    context.info = this;
    if (!SCNetworkReachabilitySetCallback(ref, reachabilityChanged, &context)) return;
    if (!SCNetworkReachabilityScheduleWithRunLoop(ref, NSRunLoop::mainRunLoop(),
                                                  NSRunLoopCommonModes))
        return;
    networkRef_ = ref;
}

void PBLNetworkChecker::stopNetworkChecking() {
    if (!networkRef_) return;
    SCNetworkReachabilitySetCallback(networkRef_, nullptr, nullptr);
    SCNetworkReachabilityUnscheduleFromRunLoop(networkRef_, NSRunLoop::mainRunLoop(),
                                               NSRunLoopCommonModes);
    networkRef_ = nullptr;
    networkType_ = 0;
}

void PBLNetworkChecker::setNetworkTypeFromFlags(unsigned flags) {
    ++changeCount_;
    if (!(flags & kSCNetworkReachabilityFlagsReachable))
        networkType_ = 1;
    else
        networkType_ = (flags & kSCNetworkReachabilityFlagsIsWWAN) ? 3 : 2;
}

Ref<NSString> PBLNetworkChecker::networkTypeString() {
    switch (networkType_) {
        case 2:
            return NS("wi");
        case 3:
            return NS("ed");
        default:
            return nullptr;
    }
}
