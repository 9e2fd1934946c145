// Network reachability: whether a host name or an address could be reached through the
// machine's current interfaces and routes, and how, with change callbacks on a run loop.
//
// The flags are computed from what the machine has, not by sending anything: the interfaces
// that are up (getifaddrs) and the IPv4 routing table (/proc/net/route).
// - A loopback address, or a name that is "localhost" (or ends in ".localhost"), is reachable,
//   direct and local whenever a loopback interface is up.
// - An address on a directly connected network of an up interface is reachable and direct (and
//   local when it is one of the machine's own addresses).
// - Any other target is reachable when a default route (or a route covering the address) goes
//   through an up interface; otherwise it is not reachable.
// - An interface whose name starts with "wwan", "rmnet" or "ppp" counts as the mobile data
//   network (kSCNetworkReachabilityFlagsIsWWAN).
// - A link-local IPv4 address (169.254/16, the local Wi-Fi link) is reachable and direct when a
//   broadcast-capable interface other than the mobile data network is up.
// Names are never looked up here. A name the host override (BAZAARNEST_HOSTS) maps counts as
// its mapped address, as the machine's connections would reach it; otherwise a numeric name
// counts as that address, a loopback name as 127.0.0.1, a name under the reserved ".test"
// domain (which no public name server answers) as not reachable, and any other name as the
// internet at large (reachable through a default route).
//
// A scheduled target watches the machine's routing messages (a netlink socket on its run loop)
// and is called back when its flags change. A host name target is also called back once after
// it is scheduled, with its first answer, on that loop in that mode. For tests,
// SCNetworkReachabilitySetFlagsForTesting overrides what every target reports and posts a
// change to every scheduled target.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"

class NSRunLoop;
class NSString;
struct sockaddr;

// The same allocator type as CFNetwork's; pass kCFAllocatorDefault (or nullptr).
struct CFAllocatorOpaque;
using CFAllocatorRef = const CFAllocatorOpaque*;

using SCNetworkReachabilityFlags = uint32_t;
// The flag bits, as the platform numbers them.
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsTransientConnection = 0x1;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsReachable = 0x2;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionRequired = 0x4;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionOnTraffic = 0x8;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsInterventionRequired = 0x10;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionOnDemand = 0x20;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsIsLocalAddress = 0x10000;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsIsDirect = 0x20000;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsIsWWAN = 0x40000;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionAutomatic = 0x8;

class SCNetworkReachability;
using SCNetworkReachabilityRef = SCNetworkReachability*;

// `info` is handed to the callback as it is; with `retain`/`release` set the target calls them
// on `info` while it holds the context.
struct SCNetworkReachabilityContext {
    NSInteger version = 0;
    void* info = nullptr;
    const void* (*retain)(const void* info) = nullptr;
    void (*release)(const void* info) = nullptr;
    NSString* (*copyDescription)(const void* info) = nullptr;
};

using SCNetworkReachabilityCallBack = void (*)(SCNetworkReachabilityRef target,
                                               SCNetworkReachabilityFlags flags, void* info);

// An IPv4 or IPv6 socket address; nil for a null address or another family.
Ref<SCNetworkReachability> SCNetworkReachabilityCreateWithAddress(CFAllocatorRef allocator,
                                                                  const struct sockaddr* address);
// The pair form judges the remote address (nil when both are null).
Ref<SCNetworkReachability> SCNetworkReachabilityCreateWithAddressPair(
    CFAllocatorRef allocator, const struct sockaddr* localAddress,
    const struct sockaddr* remoteAddress);
// nil for a null or empty name.
Ref<SCNetworkReachability> SCNetworkReachabilityCreateWithName(CFAllocatorRef allocator,
                                                               const char* nodename);

// False (flags 0) only for a null target.
bool SCNetworkReachabilityGetFlags(SCNetworkReachabilityRef target,
                                   SCNetworkReachabilityFlags* flags);
// A null callback removes the callback (and releases the context's info).
bool SCNetworkReachabilitySetCallback(SCNetworkReachabilityRef target,
                                      SCNetworkReachabilityCallBack callout,
                                      SCNetworkReachabilityContext* context);
// While scheduled, the target is watched; a change of its flags calls the callback on that
// loop, in that mode. A host name target calls back once with its flags on a later pass of
// that loop, whether they changed or not. Scheduling twice on the same loop and mode is
// refused (false).
bool SCNetworkReachabilityScheduleWithRunLoop(SCNetworkReachabilityRef target, NSRunLoop* runLoop,
                                              NSString* runLoopMode);
bool SCNetworkReachabilityUnscheduleFromRunLoop(SCNetworkReachabilityRef target, NSRunLoop* runLoop,
                                                NSString* runLoopMode);

// Test hook: every target reports `flags` from now on (until cleared), and every scheduled
// target with a callback is called back on each loop and mode it is scheduled on.
void SCNetworkReachabilitySetFlagsForTesting(SCNetworkReachabilityFlags flags);
// Back to the machine's flags, posting a change to every scheduled target the same way.
void SCNetworkReachabilityClearFlagsForTesting();
// The flags the test hook imposes, if it is set (false otherwise). Cheap: for callers that
// must honour the hook on every request without reading the machine's network each time.
bool SCNetworkReachabilityGetFlagsForTesting(SCNetworkReachabilityFlags* flags);

// The target object; use it through the functions above.
class SCNetworkReachability : public NSObject {
    NS_OBJECT(SCNetworkReachability, NSObject)
    Ref<NSString> description() override;
    void dealloc() override;

    // ---- implementation ---------------------------------------------------------------------
    struct State;
    State* state = nullptr;
};
