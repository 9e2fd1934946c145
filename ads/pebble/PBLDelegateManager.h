// The delegate protocols through which the Pebble client reports back, and the delegate manager
// that delivers every report on the main thread.
#pragma once

#include <functional>

#include "Foundation/NSObject.h"

class NSError;
class PBLBannerView;
class PBLInterstitial;

// Every callback is optional: the defaults do nothing.
class PBLBannerViewDelegate {
public:
    virtual ~PBLBannerViewDelegate() = default;
    virtual void adViewDidReceiveAd(PBLBannerView*) {}
    virtual void adViewDidFailToReceiveAdWithError(PBLBannerView*, NSError*) {}
    virtual void adViewWillPresentScreen(PBLBannerView*) {}
    virtual void adViewWillDismissScreen(PBLBannerView*) {}
    virtual void adViewDidDismissScreen(PBLBannerView*) {}
    virtual void adViewWillLeaveApplication(PBLBannerView*) {}
};

class PBLInterstitialDelegate {
public:
    virtual ~PBLInterstitialDelegate() = default;
    virtual void interstitialDidReceiveAd(PBLInterstitial*) {}
    virtual void interstitialDidFailToReceiveAdWithError(PBLInterstitial*, NSError*) {}
    virtual void interstitialWillPresentScreen(PBLInterstitial*) {}
    virtual void interstitialWillDismissScreen(PBLInterstitial*) {}
    virtual void interstitialDidDismissScreen(PBLInterstitial*) {}
    virtual void interstitialWillLeaveApplication(PBLInterstitial*) {}
};

// One per engine. Holds none of its delegates. A dispatch raised on another thread runs on the
// main thread before the raiser goes on.
class PBLDelegateManager : public NSObject {
    NS_OBJECT(PBLDelegateManager, NSObject)
    void setBannerDelegate(PBLBannerViewDelegate* d) { bannerDelegate_ = d; }
    Ref<PBLBannerViewDelegate> bannerDelegate() { return bannerDelegate_.lock(); }
    void setAdView(PBLBannerView* view);
    Ref<PBLBannerView> adView();
    void setInterstitialDelegate(PBLInterstitialDelegate* d) { interstitialDelegate_ = d; }
    Ref<PBLInterstitialDelegate> interstitialDelegate() { return interstitialDelegate_.lock(); }
    void setInterstitial(PBLInterstitial* interstitial) { interstitial_ = interstitial; }
    PBLInterstitial* interstitial() { return interstitial_; }
    void setSdkInterstitialDelegate(PBLInterstitialDelegate* d) { sdkInterstitialDelegate_ = d; }
    Ref<PBLInterstitialDelegate> sdkInterstitialDelegate() {
        return sdkInterstitialDelegate_.lock();
    }

    void didReceiveAd();
    void didFailToReceiveAdWithError(NSError* error);
    void willPresentScreen();
    void willDismissScreen();
    void didDismissScreen();
    void willLeaveApplication();
    // Whether the object still answers the selector: an owner that let its delegate go without
    // clearing it would be messaged after the end (false for nil).
    bool didYouNilOutYourDelegate(NSObject* object, SEL selector);

private:
    void dispatch(const std::function<void(PBLBannerViewDelegate*, PBLBannerView*)>& banner,
                  const std::function<void(PBLInterstitialDelegate*, PBLInterstitial*)>& other);
    Weak<PBLBannerViewDelegate> bannerDelegate_;
    Weak<PBLBannerView> adView_;
    Weak<PBLInterstitialDelegate> interstitialDelegate_;
    // The interstitial owns the engine that owns this manager, so it outlives the manager.
    PBLInterstitial* interstitial_ = nullptr;
    Weak<PBLInterstitialDelegate> sdkInterstitialDelegate_;
};
