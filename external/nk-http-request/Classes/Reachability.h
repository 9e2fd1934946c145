// Whether one target can be reached, and how: a host name, an IPv4 address, the internet
// connection in general or the local Wi-Fi link. Once its notifier runs, every change is posted
// as "NetworkReachabilityChangedNotification" with the object as the notification's sender, on
// the thread whose run loop the notifier was started on.
#pragma once

#include <netinet/in.h>

#include <cstdint>

#include "Foundation/NSObject.h"
#include "SystemConfiguration/SCNetworkReachability.h"

class NSRunLoop;
class NSString;

// "NetworkReachabilityChangedNotification"
extern NSString* const NKReachabilityChangedNotification;

enum NetworkStatus : NSUInteger {
    NotReachable = 0,
    ReachableViaWWAN = 1,
    ReachableViaWiFi = 2,
};

class Reachability : public NSObject {
    NS_OBJECT(Reachability, NSObject)

    // Release-pool-owned objects on a new platform target; nil when the platform gives none.
    static Ref<Reachability> reachabilityWithHostName(NSString* hostName);
    static Ref<Reachability> reachabilityWithAddress(const struct sockaddr_in* hostAddress);
    // Address 0.0.0.0, keyed "InternetConnection".
    static Ref<Reachability> reachabilityForInternetConnection();
    // Address 169.254.0.0, keyed "LocalWiFiConnection".
    static Ref<Reachability> reachabilityForLocalWiFi();
    // The dotted text of an address given in network order.
    static Ref<NSString> makeAddressKey(in_addr_t address);

    // Takes ownership of the target (nil allowed: such an object reports nothing reachable).
    bool initWithReachabilityRef(SCNetworkReachability* reachabilityRef);

    // Schedules the target on the current thread's run loop (default mode) with this object as
    // the callback's context; true when both succeed.
    bool startNotifier();
    void stopNotifier();

    NetworkStatus currentReachabilityStatus();
    bool isReachable();
    bool isReachableViaWWAN();
    bool isReachableViaWiFi();
    bool isConnectionRequired();
    bool connectionRequired() { return isConnectionRequired(); }
    bool isConnectionOnDemand();
    bool isInterventionRequired();
    // The platform's flags, 0 when they cannot be read.
    SCNetworkReachabilityFlags reachabilityFlags();
    NetworkStatus networkStatusForFlags(SCNetworkReachabilityFlags flags);

    Ref<NSString> key() { return key_; }
    void setKey(NSString* key);
    SCNetworkReachability* reachabilityRef() { return reachabilityRef_.get(); }

    // No key-value access to the fields.
    static bool accessInstanceVariablesDirectly() { return false; }

    // Two objects for the same target are equal.
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    Ref<NSString> description() override;
    void dealloc() override;

private:
    // Reads the flags; false when they cannot be read.
    bool flags(SCNetworkReachabilityFlags* out);

    Ref<NSString> key_;
    Ref<SCNetworkReachability> reachabilityRef_;
    // Where the notifier runs, so that it can be stopped from wherever the object ends.
    Ref<NSRunLoop> notifierLoop_;
    // The callback's context: a weak handle on this object, so that a change arriving while
    // the object ends is dropped rather than posted for a dead sender.
    Ref<NSObject> callbackContext_;
};
