// Watches reachability so the ad request can say which kind of network the device is on.
// Main thread only.
#pragma once

#include "Foundation/NSObject.h"

class NSString;
class SCNetworkReachability;

class PBLNetworkChecker : public NSObject {
    NS_OBJECT(PBLNetworkChecker, NSObject)
    // Created on first use and enabled at once.
    static Ref<PBLNetworkChecker> sharedChecker();
    void dealloc() override;

    bool isEnabled() { return networkRef_ != nullptr; }
    void setEnabled(bool enabled);
    // The type is 0 until the platform's first report: there is no query at start.
    void startNetworkChecking();
    void stopNetworkChecking();
    void setNetworkTypeFromFlags(unsigned flags);

    // 0 not known, 1 not reachable, 2 Wi-Fi, 3 cellular.
    int networkType() { return networkType_; }
    unsigned changeCount() { return changeCount_; }
    // "wi" for Wi-Fi, "ed" for cellular, nil otherwise.
    Ref<NSString> networkTypeString();

private:
    Ref<SCNetworkReachability> networkRef_;
    int networkType_ = 0;
    unsigned changeCount_ = 0;
};
