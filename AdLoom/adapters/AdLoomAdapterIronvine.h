// Banners of the Ironvine ad engine. The engine is started once per process with the slots
// "ivBanner" and "ivFullScreen"; every adapter shares the engine's one banner view, which sits
// in the containers of the adapter whose request delivered last (or awaits the first banner)
// and has it as its delegate (held weakly, so a freed adapter is never called): a request that
// fails leaves it where it shows, with the adapter the mediation banner keeps while it shows.
#pragma once

#include "AdLoom/internal/AdLoomAdNetworkAdapter.h"
#include "ads/ironvine/IVAdEngine.h"

class AdLoomAdapterIronvine : public AdLoomAdNetworkAdapter, public IronvineDelegate {
    NS_OBJECT(AdLoomAdapterIronvine, AdLoomAdNetworkAdapter)
    static void describeClass(RuntimeClass& c);
    static int networkType() { return AdLoomAdNetworkTypeIronvine; }
    static void load();
    // The time of the last banner delivered, seconds since 1970 (0 before the first).
    static double lastBannerTime();

    bool initWithAdLoomDelegate(AdLoomDelegate* delegate, AdLoomView* view, AdLoomConfig* config,
                                AdLoomAdNetworkConfig* networkConfig) override;
    void getAd() override;
    void stopBeingDelegate() override {}
    void bannerAdReady();

    void ironvineAdReadyForSlotNamed(NSString* name) override;
    void ironvineFullScreenDisplayWillOpen() override;
    void ironvineFullScreenDisplayWillClose() override;

private:
    Ref<UIView> innerContainer_;
    Ref<UIView> outerContainer_;
};
