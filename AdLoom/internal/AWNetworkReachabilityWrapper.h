// A one-object reachability probe for a host name: schedule it on a run loop and its delegate
// hears, on that loop, whether the host can be reached.
#pragma once

#include "Foundation/NSObject.h"
#include "SystemConfiguration/SCNetworkReachability.h"

class AWNetworkReachabilityWrapper;

class AWNetworkReachabilityDelegate {
public:
    virtual ~AWNetworkReachabilityDelegate() = default;
    // reachabilityBecameReachable:
    virtual void reachabilityBecameReachable(AWNetworkReachabilityWrapper*) {}
    // reachabilityNotReachable:
    virtual void reachabilityNotReachable(AWNetworkReachabilityWrapper*) {}
};

class AWNetworkReachabilityWrapper : public NSObject {
    NS_OBJECT(AWNetworkReachabilityWrapper, NSObject)
    static void describeClass(RuntimeClass& c);
    static Ref<AWNetworkReachabilityWrapper> reachabilityWithHostname(
        NSString* hostname, AWNetworkReachabilityDelegate* delegate);
    bool initWithHostname(NSString* hostname, AWNetworkReachabilityDelegate* delegate);

    Ref<NSString> hostname() { return hostname_; }
    Ref<AWNetworkReachabilityDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(AWNetworkReachabilityDelegate* d) { delegate_ = d; }

    bool scheduleInCurrentRunLoop();
    bool unscheduleFromCurrentRunLoop();
    void notifyDelegateNotReachable();
    void gotCallback(SCNetworkReachabilityRef reachability, SCNetworkReachabilityFlags flags);

    // Whether the flags let a connection through: reachable, and when a connection must first
    // be made, over the mobile network or made on traffic without a person's help.
    static bool flagsMeanReachable(SCNetworkReachabilityFlags flags);

    void dealloc() override;

private:
    Ref<NSString> hostname_;
    Ref<SCNetworkReachability> reachability_;
    Weak<AWNetworkReachabilityDelegate> delegate_;
    // The loop it is scheduled on: unscheduling must reach that loop, whichever thread frees
    // the wrapper.
    Ref<NSRunLoop> scheduledLoop_;
};
