// The Pebble ad client's banner as an ad network: one banner per request, loaded once.
#pragma once

#include "AdLoom/internal/AdLoomAdNetworkAdapter.h"
#include "ads/pebble/PBLBannerView.h"

class UIColor;

class AdLoomAdapterPebbleAds : public AdLoomAdNetworkAdapter, public PBLBannerViewDelegate {
    NS_OBJECT(AdLoomAdapterPebbleAds, AdLoomAdNetworkAdapter)
    static void describeClass(RuntimeClass& c);
    static int networkType() { return AdLoomAdNetworkTypePebble; }
    static void load();

    // Six upper-case hex digits of red, green and blue; nil for a colour with no components.
    static Ref<NSString> hexStringFromUIColor(UIColor* color);
    static const char* delegatePublisherIdSelector() { return "pebblePublisherID"; }
    // The host's publisher id when it gives one, else the network's key.
    Ref<NSString> publisherId();
    // The host's answer to one of its object-valued optional methods when it implements that
    // method, else nil.
    Ref<NSObject> delegateValueForSelector(SEL selector);

    void getAd() override;
    void stopBeingDelegate() override;

    void adViewDidReceiveAd(PBLBannerView* view) override;
    void adViewDidFailToReceiveAdWithError(PBLBannerView* view, NSError* error) override;
    void adViewWillPresentScreen(PBLBannerView* view) override;
    void adViewDidDismissScreen(PBLBannerView* view) override;
};
