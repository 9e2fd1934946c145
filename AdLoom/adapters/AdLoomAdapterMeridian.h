// The Meridian ad client's banner as an ad network: a 320 x 53 banner per request, loaded at
// once, refreshed by the mediation layer rather than by the client's own timer.
#pragma once

#include "AdLoom/internal/AdLoomAdNetworkAdapter.h"
#include "ads/meridian/MRAdView.h"

class NSMutableDictionary;

class AdLoomAdapterMeridian : public AdLoomAdNetworkAdapter, public MRAdDelegate {
    NS_OBJECT(AdLoomAdapterMeridian, AdLoomAdNetworkAdapter)
    static void describeClass(RuntimeClass& c);
    static int networkType() { return AdLoomAdNetworkTypeMeridian; }
    static void load();
    void dealloc() override;

    void getAd() override;
    void stopBeingDelegate() override;
    // The targeting getters are answered by what the host can tell.
    bool respondsToSelector(SEL sel) override;

    Ref<NSDictionary> requestData() override;
    void adRequestSucceeded(MRAdView* view) override;
    void adRequestFailed(MRAdView* view) override;
    void adModalWillAppear() override;
    void adModalWasDismissed() override;
    // The mediation's banner: a reply that finds it off the screen starts no video.
    Ref<UIView> adHostView() override;

    double latitude();
    double longitude();
    int age();
    Ref<NSString> zipCode();
    Ref<NSString> sex();

private:
    bool answers(const char* selector);
    Ref<NSMutableDictionary> requestData_;
};
