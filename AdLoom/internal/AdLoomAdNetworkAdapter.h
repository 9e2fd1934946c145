// The contract every ad network's adapter fulfils, the registry that maps network types to
// adapter classes, and the helpers adapters share.
//
// An adapter lives for one request and the display of its ad. It reports exactly one of
// adapter:didReceiveAdView:, adapter:didFailAd: or adapterDidFinishAdRequest: to its banner
// view per getAd, unless it was told to stop (stopBeingDelegate).
#pragma once

#include "AdLoom/internal/AdLoomDelegate.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIApplication.h"
#include "ads/place/AdFullScreen.h"

class AdLoomAdNetworkConfig;
class AdLoomConfig;
class AdLoomView;
class NSMutableDictionary;
class UIColor;
class UIView;

// Network type numbers of the mediation server's rations.
enum AdLoomAdNetworkType : int {
    AdLoomAdNetworkTypePebble = 1,
    AdLoomAdNetworkTypeJumpTap = 2,
    AdLoomAdNetworkTypeVideoEgg = 3,
    AdLoomAdNetworkTypeMedialets = 4,
    AdLoomAdNetworkTypeLiveRail = 5,
    AdLoomAdNetworkTypeMeridian = 6,
    AdLoomAdNetworkTypeIronvine = 7,
    AdLoomAdNetworkTypeQuattro = 8,
    AdLoomAdNetworkTypeCustom = 9,
    AdLoomAdNetworkTypeAdLoom10 = 10,
    AdLoomAdNetworkTypeMobClix = 11,
    AdLoomAdNetworkTypeAdLoom12 = 12,
    AdLoomAdNetworkTypeAdLoom13 = 13,
    AdLoomAdNetworkTypePebbleAdText = 14,
    AdLoomAdNetworkTypePebbleClickHub = 15,
    AdLoomAdNetworkTypeGeneric = 16,
    AdLoomAdNetworkTypeEvent = 17,
    AdLoomAdNetworkTypeInMobi = 18,
    AdLoomAdNetworkTypeIAd = 19,
};

class AdLoomAdNetworkAdapter : public NSObject {
    NS_OBJECT(AdLoomAdNetworkAdapter, NSObject)
    // initWithAdLoomDelegate:view:config:networkConfig:
    virtual bool initWithAdLoomDelegate(AdLoomDelegate* delegate, AdLoomView* view,
                                        AdLoomConfig* config, AdLoomAdNetworkConfig* networkConfig);
    // One request with the network. The base raises: every adapter has its own.
    virtual void getAd();
    // No more callbacks from the network's client. The base raises: every adapter has its own.
    virtual void stopBeingDelegate();
    // Whether the banner pings the metrics server for this network's impressions and clicks.
    virtual bool shouldSendExMetric() { return true; }
    virtual void rotateToOrientation(UIInterfaceOrientation orientation);
    // Whether the banner may animate to this network's view with that transition (0 to 8).
    virtual bool isBannerAnimationOK(int animationType);
    void dealloc() override;

    Ref<AdLoomDelegate> adLoomDelegate() { return adLoomDelegate_.lock(); }
    void setAdLoomDelegate(AdLoomDelegate* delegate) { adLoomDelegate_ = delegate; }
    Ref<AdLoomView> adLoomView();
    void setAdLoomView(AdLoomView* view);
    Ref<AdLoomConfig> adLoomConfig() { return adLoomConfig_; }
    void setAdLoomConfig(AdLoomConfig* config);
    Ref<AdLoomAdNetworkConfig> networkConfig() { return networkConfig_; }
    void setNetworkConfig(AdLoomAdNetworkConfig* config);
    Ref<UIView> adNetworkView() { return adNetworkView_; }
    void setAdNetworkView(UIView* view);

    // ---- helpers shared by the adapters ------------------------------------------------------
    // Its ad's full-screen view opens (called from the tap that opens it) and closes: the
    // banner and the host hear each once, in pairs; a close with nothing open is not heard.
    void helperNotifyDelegateOfFullScreenModal();
    void helperNotifyDelegateOfFullScreenModalDismissal();
    Ref<UIColor> helperBackgroundColorToUse();
    Ref<UIColor> helperTextColorToUse();
    Ref<UIColor> helperSecondaryTextColorToUse();
    // Whole years since the host's dateOfBirth, -1 without one. Callers probe dateOfBirth.
    int helperCalculateAge();

private:
    // The share of the screen its ad's full-screen view takes, whichever banner placed it.
    AdFullScreenHold fullScreen_;
    Weak<AdLoomDelegate> adLoomDelegate_;
    Weak<AdLoomView> adLoomView_;
    Ref<AdLoomConfig> adLoomConfig_;
    Ref<AdLoomAdNetworkConfig> networkConfig_;
    Ref<UIView> adNetworkView_;
};

// A class as a dictionary value.
class AdLoomClassWrapper : public NSObject {
    NS_OBJECT(AdLoomClassWrapper, NSObject)
    bool initWithClass(Class cls);
    Class theClass() { return theClass_; }

private:
    Class theClass_ = nullptr;
};

class AdLoomAdNetworkRegistry : public NSObject {
    NS_OBJECT(AdLoomAdNetworkRegistry, NSObject)
    // The one registry. Made on first use, when it also registers the adapters the program
    // carries, as their classes would at load time.
    static Ref<AdLoomAdNetworkRegistry> sharedRegistry();
    bool init() override;
    // Stores the class under the type its class method "networkType" answers; a later class
    // of the same type replaces the earlier one.
    void registerClass(Class adapterClass);
    Ref<AdLoomClassWrapper> adapterClassFor(int networkType);

private:
    Ref<NSMutableDictionary> adapterDict_;
};
