#include "AdLoom/internal/AWNetworkReachabilityWrapper.h"

#include "AdLoom/internal/AdLoomError.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

namespace {
void reachabilityCallback(SCNetworkReachabilityRef target, SCNetworkReachabilityFlags flags,
                          void* info) {
    auto* wrapper = static_cast<AWNetworkReachabilityWrapper*>(info);
    // The delegate may free the wrapper; keep it through the call.
    Ref<AWNetworkReachabilityWrapper> hold(wrapper);
    wrapper->gotCallback(target, flags);
}
}  // namespace

void AWNetworkReachabilityWrapper::describeClass(RuntimeClass& c) {
    c.method("scheduleInCurrentRunLoop", &AWNetworkReachabilityWrapper::scheduleInCurrentRunLoop);
    c.method("unscheduleFromCurrentRunLoop",
             &AWNetworkReachabilityWrapper::unscheduleFromCurrentRunLoop);
}

Ref<AWNetworkReachabilityWrapper> AWNetworkReachabilityWrapper::reachabilityWithHostname(
    NSString* hostname, AWNetworkReachabilityDelegate* delegate) {
    auto w = alloc<AWNetworkReachabilityWrapper>();
    return w->initWithHostname(hostname, delegate) ? w : nullptr;
}

bool AWNetworkReachabilityWrapper::initWithHostname(NSString* hostname,
                                                    AWNetworkReachabilityDelegate* delegate) {
    reachability_ =
        SCNetworkReachabilityCreateWithName(nullptr, hostname ? hostname->UTF8String() : nullptr);
    if (!reachability_) {
        AdLoomLogError(NS("Error creating SCNetworkReachability"));
        return false;
    }
    hostname_ = hostname->copy();
    delegate_ = delegate;
    SCNetworkReachabilityContext context;
    context.info = this;
    if (!SCNetworkReachabilitySetCallback(reachability_.get(), reachabilityCallback, &context)) {
        AdLoomLogError(NS("Error setting SCNetworkReachability callback"));
        return false;
    }
    return true;
}

bool AWNetworkReachabilityWrapper::scheduleInCurrentRunLoop() {
    auto loop = NSRunLoop::currentRunLoop();
    bool ok = SCNetworkReachabilityScheduleWithRunLoop(reachability_.get(), loop.get(),
                                                       NSDefaultRunLoopMode);
    if (ok) scheduledLoop_ = loop;
    return ok;
}

bool AWNetworkReachabilityWrapper::unscheduleFromCurrentRunLoop() {
    bool ok = SCNetworkReachabilityUnscheduleFromRunLoop(
        reachability_.get(), NSRunLoop::currentRunLoop().get(), NSDefaultRunLoopMode);
    if (ok && scheduledLoop_ == NSRunLoop::currentRunLoop()) scheduledLoop_ = nullptr;
    return ok;
}

void AWNetworkReachabilityWrapper::notifyDelegateNotReachable() {
    if (auto d = delegate_.lock();
        d && respondsTo(d.get(), Selector::named("reachabilityNotReachable:")))
        d->reachabilityNotReachable(this);
}

bool AWNetworkReachabilityWrapper::flagsMeanReachable(SCNetworkReachabilityFlags flags) {
    if (!(flags & kSCNetworkReachabilityFlagsReachable)) return false;
    if (!(flags & kSCNetworkReachabilityFlagsConnectionRequired)) return true;
    if (flags & kSCNetworkReachabilityFlagsIsWWAN) return true;
    SCNetworkReachabilityFlags pair = flags & (kSCNetworkReachabilityFlagsConnectionOnTraffic |
                                               kSCNetworkReachabilityFlagsInterventionRequired);
    return pair == kSCNetworkReachabilityFlagsConnectionOnTraffic;
}

void AWNetworkReachabilityWrapper::gotCallback(SCNetworkReachabilityRef reachability,
                                               SCNetworkReachabilityFlags flags) {
    if (reachability != reachability_.get()) {
        AdLoomLogError(NS("Unrelated reachability calling back to this object"));
        return;
    }
    auto flag = [&](SCNetworkReachabilityFlags bit, char c) { return (flags & bit) ? c : '-'; };
    AdLoomLogDebug(NS("Reachability flag status: %c%c%c%c%c%c%c%c%c"),
                   flag(kSCNetworkReachabilityFlagsTransientConnection, 't'),
                   flag(kSCNetworkReachabilityFlagsReachable, 'R'),
                   flag(kSCNetworkReachabilityFlagsConnectionRequired, 'c'),
                   flag(kSCNetworkReachabilityFlagsConnectionOnTraffic, 'C'),
                   flag(kSCNetworkReachabilityFlagsInterventionRequired, 'i'), '-',
                   flag(kSCNetworkReachabilityFlagsIsLocalAddress, 'l'),
                   flag(kSCNetworkReachabilityFlagsIsDirect, 'd'),
                   flag(kSCNetworkReachabilityFlagsIsWWAN, 'W'));
    if (!flagsMeanReachable(flags)) {
        notifyDelegateNotReachable();
        return;
    }
    // The delegate usually drops the wrapper here: nothing of ours is touched afterwards.
    if (auto d = delegate_.lock();
        d && respondsTo(d.get(), Selector::named("reachabilityBecameReachable:")))
        d->reachabilityBecameReachable(this);
}

void AWNetworkReachabilityWrapper::dealloc() {
    if (reachability_) {
        if (scheduledLoop_)
            SCNetworkReachabilityUnscheduleFromRunLoop(reachability_.get(), scheduledLoop_.get(),
                                                       NSDefaultRunLoopMode);
        SCNetworkReachabilitySetCallback(reachability_.get(), nullptr, nullptr);
    }
    scheduledLoop_ = nullptr;
    reachability_ = nullptr;
    hostname_ = nullptr;
    super::dealloc();
}
