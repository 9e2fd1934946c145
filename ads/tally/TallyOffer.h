// An offer container the host hands to the analytics facade's getOffer: the ad client fills
// it with a valid offer; the facade appends the host's cookies to its referral URL.
#pragma once

#include "Foundation/NSString.h"

class TallyOffer : public NSObject {
    NS_OBJECT(TallyOffer, NSObject)

    Ref<NSString> referralUrl() { return referralUrl_; }
    void setReferralUrl(NSString* url) {
        referralUrl_ = url ? cast<NSString>(url->copy()) : nullptr;
    }

private:
    Ref<NSString> referralUrl_;
};
