#include "ads/meridian/MRAdView.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NSUserDefaults.h"
#include "UIKit/UIDevice.h"
#include "URLLoading/NSURLConnection.h"
#include "URLLoading/NSURLResponse.h"
#include "ads/meridian/MRBannerAdView.h"
#include "ads/meridian/MRHosts.h"
#include "ads/place/AdFullScreen.h"

Ref<NSString> MRAdView::adTypeName(int32_t type) {
    switch (type) {
        case MRBannerAdBottom:
            return NS("MRBannerAdBottom");
        case MRBannerAdRectangle:
            return NS("MRBannerAdRectangle");
        case MRFullScreenAdLaunch:
            return NS("MRFullScreenAdLaunch");
        case MRFullScreenAdTransition:
            return NS("MRFullScreenAdTransition");
        default:
            return NS("MRBannerAdTop");
    }
}

bool MRAdView::isInSight() {
    if (superview()) return AdViewIsInSight(this);
    // Not placed yet: where its host will place it; a banner its host let go shows nowhere.
    auto d = delegate();
    if (!d) return false;
    auto host = MRDelegateAnswers(d.get(), "adHostView") ? d->adHostView() : nullptr;
    return !host || AdViewIsInSight(host.get());
}

Ref<NSString> MRAdView::version() {
    auto whole = NSString::fromUTF8(MRSDKVersion);
    auto pieces = whole->componentsSeparatedByString(NS("-"));
    if (pieces->count() == 2) return as<NSString>(pieces->objectAtIndex(0));
    return whole;
}

void MRAdView::startSynchronousConversionTrackerWithGoalId(NSString* goalId) {
    if (!goalId) NSException::raise(NS("Invalid goal id"), NS("goal id must not be nil"));
    auto displayName =
        NSBundle::mainBundle()->objectForInfoDictionaryKey(NS("CFBundleDisplayName"));
    auto key = NSString::stringWithFormat(NS("%@_MRIRegister"), displayName.get());
    auto defaults = NSUserDefaults::standardUserDefaults();
    auto firstLaunch = defaults->boolForKey(key.get()) ? NS("0") : NS("1");
    auto url = NSURL::URLWithString(NSString::stringWithFormat(
        NS("http://%s/handleConversion?goalid=%@&auid=%@&firstlaunch=%@"), MRConversionHost, goalId,
        UIDevice::currentDevice()->uniqueIdentifier().get(), firstLaunch));
    if (!url) return;
    Ref<NSURLResponse> response;
    Ref<NSError> error;
    NSURLConnection::sendSynchronousRequest(NSURLRequest::requestWithURL(url.get()).get(),
                                            &response, &error);
    // Only an answered conversion counts: an error page must not end the first launch.
    auto http = as<NSHTTPURLResponse>(response);
    if (error || !http || http->statusCode() < 200 || http->statusCode() > 299) return;
    defaults->setBool(true, key.get());
    defaults->synchronize();
}

namespace {
template <class View>
Ref<MRAdView> makeAdView(CGRect frame, NSString* apid, int32_t type, MRAdDelegate* delegate,
                         bool loadAd, bool startTimer) {
    auto view = alloc<View>();
    if (!view->initWithFrame(frame, apid, type, delegate, loadAd, startTimer)) return nullptr;
    return view;
}
}  // namespace

Ref<MRAdView> MRAdView::interstitialWithType(int32_t type, NSString* apid, MRAdDelegate* delegate,
                                             bool loadAd) {
    if (!delegate) NSException::raise(NS("Invalid delegate"), NS("delegate must not be nil"));
    if (type != MRFullScreenAdLaunch && type != MRFullScreenAdTransition) return nullptr;
    return makeAdView<MRIntersticialAdView>(CGRectZero, apid, type, delegate, loadAd, false);
}

Ref<MRAdView> MRAdView::adWithFrame(CGRect frame, int32_t type, NSString* apid,
                                    MRAdDelegate* delegate, bool loadAd, bool startTimer) {
    if (!delegate) NSException::raise(NS("Invalid delegate"), NS("delegate must not be nil"));
    switch (type) {
        case MRBannerAdTop:
        case MRBannerAdBottom:
            return makeAdView<MRBannerAdView>(frame, apid, type, delegate, loadAd, startTimer);
        case MRBannerAdRectangle:
            return makeAdView<MRBannerAdView>(CGRectMake(frame.origin.x, frame.origin.y, 300, 250),
                                              apid, type, delegate, loadAd, startTimer);
        case MRFullScreenAdLaunch:
        case MRFullScreenAdTransition:
            return makeAdView<MRIntersticialAdView>(CGRectZero, apid, type, delegate, loadAd,
                                                    startTimer);
        default:
            return makeAdView<MRBannerAdView>(CGRectMake(frame.origin.x, frame.origin.y, 320, 53),
                                              apid, MRBannerAdTop, delegate, loadAd, startTimer);
    }
}

Ref<MRAdView> MRAdView::adWithFrame(CGRect frame, int32_t type, NSString* apid,
                                    MRAdDelegate* delegate) {
    return adWithFrame(frame, type, apid, delegate, true, true);
}
