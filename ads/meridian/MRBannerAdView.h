// The two concrete ad views the factories build. They behave alike; the interstitial is built
// with the zero rectangle and the full-screen types.
#pragma once

#include "ads/meridian/MRGenericAdView.h"

class MRBannerAdView : public MRGenericAdView {
    NS_OBJECT(MRBannerAdView, MRGenericAdView)
    using MRGenericAdView::initWithFrame;
    bool initWithFrame(CGRect frame, NSString* apid, int32_t type, MRAdDelegate* delegate,
                       bool loadAd, bool startTimer);
    void initAd() override;
    void initAdWithTimer(bool startTimer, bool getAd);
};

class MRIntersticialAdView : public MRBannerAdView {
    NS_OBJECT(MRIntersticialAdView, MRBannerAdView)
};
