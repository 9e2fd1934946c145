// The common base of the JSON ad view's two children (image and video).
#pragma once

#include "UIKit/UIView.h"
#include "ads/meridian/MRJSONAd.h"

class MRJSONBasicAdView : public UIView {
    NS_OBJECT(MRJSONBasicAdView, UIView)
    Ref<MRJSONAd> ad() { return ad_; }
    virtual void setAd(MRJSONAd* ad) { ad_ = ad; }

protected:
    Ref<MRJSONAd> ad_;
};
