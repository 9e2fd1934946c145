#include "ads/meridian/MRBannerAdView.h"

#include "Foundation/NSDictionary.h"
#include "ads/meridian/MRHandshake.h"

bool MRGenericAdView::initWithFrame(CGRect frame, NSString* apid, int32_t type,
                                    MRAdDelegate* delegate, bool loadAd, bool startTimer) {
    if (!MRGenericAdView::initWithFrame(frame, loadAd)) return false;
    setDelegate(delegate);
    setAdTypeNumber(type);
    setApid(apid);
    // The first use makes the handshake, which reads the apid just stored.
    MRHandshake::sharedHandshake()->setAdType(type);
    initAdWithTimer(startTimer, loadAd);
    return true;
}

void MRGenericAdView::initAdWithTimer(bool startTimer, bool getAd) {
    setAdRefreshEnabledFlag(startTimer);
    updateTimerDuration();
    auto d = delegate();
    if (MRDelegateAnswers(d.get(), "requestData"))
        if (auto data = d->requestData()) setRequestData(data.get());
    setApid(nullptr);
    if (startTimer) this->startTimer();
    if (getAd) connectOrPlayCache();
}
