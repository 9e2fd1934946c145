// Adapters that hand the request to the host instead of an ad network: the generic one calls
// the host's adLoomReceivedRequestForDeveloperToFufill:, the event one a method of the host
// named by the ration's key. Neither shows anything in the banner.
#pragma once

#include "AdLoom/internal/AdLoomAdNetworkAdapter.h"

class AdLoomAdapterGeneric : public AdLoomAdNetworkAdapter {
    NS_OBJECT(AdLoomAdapterGeneric, AdLoomAdNetworkAdapter)
    static void describeClass(RuntimeClass& c);
    static int networkType() { return AdLoomAdNetworkTypeGeneric; }
    static void load();
    void getAd() override;
    void stopBeingDelegate() override {}
};

class AdLoomAdapterEvent : public AdLoomAdNetworkAdapter {
    NS_OBJECT(AdLoomAdapterEvent, AdLoomAdNetworkAdapter)
    static void describeClass(RuntimeClass& c);
    static int networkType() { return AdLoomAdNetworkTypeEvent; }
    static void load();
    void getAd() override;
    void stopBeingDelegate() override {}
};
