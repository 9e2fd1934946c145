// The platform's own banner (ADBannerView) as an ad network. Registered only where the class
// can be found by name, as the framework is linked weakly.
#pragma once

#include "AdLoom/internal/AdLoomAdNetworkAdapter.h"
#include "iAd/ADBannerView.h"

class AdLoomAdapterIAd : public AdLoomAdNetworkAdapter, public ADBannerViewDelegate {
    NS_OBJECT(AdLoomAdapterIAd, AdLoomAdNetworkAdapter)
    static void describeClass(RuntimeClass& c);
    static int networkType() { return AdLoomAdNetworkTypeIAd; }
    static void load();

    void getAd() override;
    void stopBeingDelegate() override;
    void rotateToOrientation(UIInterfaceOrientation orientation) override;
    // The banner cannot fade in.
    bool isBannerAnimationOK(int animationType) override { return animationType != 7; }

    void bannerViewDidLoadAd(ADBannerView* banner) override;
    void bannerView(ADBannerView* banner, NSError* error) override;
    bool bannerViewActionShouldBegin(ADBannerView* banner, bool willLeaveApplication) override;
    void bannerViewActionDidFinish(ADBannerView* banner) override;

    Ref<NSString> portraitIdentifier() { return portrait_; }
    Ref<NSString> landscapeIdentifier() { return landscape_; }

private:
    Ref<NSString> portrait_;   // kADBannerContentSizeIdentifierPortrait
    Ref<NSString> landscape_;  // kADBannerContentSizeIdentifierLandscape
};
