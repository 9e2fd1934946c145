// An offer container the host hands to the analytics facade's getOffer: the ad client fills
// it with a valid offer; the facade appends the host's cookies to its referral URL.
#pragma once

#include "Foundation/NSString.h"
#include "UIKit/UIImage.h"

class TallyOffer : public NSObject {
    NS_OBJECT(TallyOffer, NSObject)

    Ref<NSString> appName() { return appName_; }
    void setAppName(NSString* name) { appName_ = name; }
    Ref<UIImage> appIcon() { return appIcon_; }
    void setAppIcon(UIImage* icon) { appIcon_ = icon; }
    Ref<NSString> referralUrl() { return referralUrl_; }
    void setReferralUrl(NSString* url) {
        referralUrl_ = url ? cast<NSString>(url->copy()) : nullptr;
    }

private:
    Ref<NSString> appName_;
    Ref<UIImage> appIcon_;
    Ref<NSString> referralUrl_;
};
