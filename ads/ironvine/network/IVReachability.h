// The ad engine's own reachability service: the default route decides whether full-screen ads
// may show and what scripts are told; one platform target is cached per host name or address.
// Change notifications exist but nothing in the engine turns them on. Main thread.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"

class NSMutableArray;
class NSMutableDictionary;
class NSRunLoop;
class NSString;
class SCNetworkReachability;
struct sockaddr_in;

extern NSString* const kNetworkReachabilityChangedNotification;

// 0 not reachable, 1 reachable over a transient connection, 2 reachable otherwise.
enum IVNetworkStatus : int32_t {
    IVNotReachable = 0,
    IVReachableViaTransientConnection = 1,
    IVReachable = 2,
};

class IVReachabilityQuery : public NSObject {
    NS_OBJECT(IVReachabilityQuery, NSObject)
    bool init() override;
    void dealloc() override;
    Ref<SCNetworkReachability> reachabilityRef() { return reachabilityRef_; }
    void setReachabilityRef(SCNetworkReachability* ref);
    Ref<NSMutableArray> runLoops() { return runLoops_; }
    Ref<NSString> hostNameOrAddress() { return hostNameOrAddress_; }
    void setHostNameOrAddress(NSString* key);

    // Only while notifications are enabled, once per run loop.
    void scheduleOnRunLoop(NSRunLoop* runLoop);
    bool isScheduledOnRunLoop(NSRunLoop* runLoop);
    void startListeningForReachabilityChanges(SCNetworkReachability* target, NSRunLoop* runLoop);
    void unscheduleEverywhere();

private:
    Ref<SCNetworkReachability> reachabilityRef_;
    Ref<NSMutableArray> runLoops_;
    Ref<NSString> hostNameOrAddress_;
};

class IVReachability : public NSObject {
    NS_OBJECT(IVReachability, NSObject)
    static Ref<IVReachability> sharedReachability();
    bool init() override;
    void dealloc() override;

    bool networkStatusNotificationsEnabled() { return notificationsEnabled_; }
    void setNetworkStatusNotificationsEnabled(bool v) { notificationsEnabled_ = v; }
    Ref<NSString> hostName() { return hostName_; }
    void setHostName(NSString* name);
    Ref<NSString> address() { return address_; }
    void setAddress(NSString* address);
    Ref<NSMutableDictionary> reachabilityQueries() { return queries_; }

    // From the default route only; the host name does not enter the answer.
    int32_t internetConnectionStatus();
    int32_t localWiFiConnectionStatus();
    int32_t remoteHostStatus();
    bool isHostReachable(NSString* host);
    bool isNetworkAvailableFlags(uint32_t* outFlags);
    bool isAdHocWiFiNetworkAvailableFlags(uint32_t* outFlags);
    bool isReachableWithoutRequiringConnection(uint32_t flags);
    Ref<SCNetworkReachability> reachabilityRefForHostName(NSString* host);
    Ref<SCNetworkReachability> reachabilityRefForAddress(NSString* address);
    bool addressFromString(NSString* text, sockaddr_in* address);
    void stopListeningForReachabilityChanges();

private:
    bool flagsForFixedAddress(NSString* key, uint32_t* outFlags);

    bool notificationsEnabled_ = false;
    Ref<NSString> hostName_;
    Ref<NSString> address_;
    Ref<NSMutableDictionary> queries_;
};
