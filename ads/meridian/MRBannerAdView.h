// The two concrete ad views the factories build. They behave alike, and neither is the other:
// the interstitial is built with the zero rectangle and the full-screen types.
#pragma once

#include "ads/meridian/MRGenericAdView.h"

class MRBannerAdView : public MRGenericAdView {
    NS_OBJECT(MRBannerAdView, MRGenericAdView)
    using MRGenericAdView::initAdWithTimer;
    using MRGenericAdView::initWithFrame;
    void initAd() override { initAdWithTimer(true, true); }
};

class MRIntersticialAdView : public MRGenericAdView {
    NS_OBJECT(MRIntersticialAdView, MRGenericAdView)
    using MRGenericAdView::initAdWithTimer;
    using MRGenericAdView::initWithFrame;
    void initAd() override { initAdWithTimer(true, true); }
};
