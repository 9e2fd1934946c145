#include "AdLoom/adapters/AdLoomAdapterPebbleAds.h"

#include <cstdio>

#include "AdLoom/internal/AdLoomConfig.h"
#include "AdLoom/internal/AdLoomDelegate.h"
#include "AdLoom/internal/AdLoomView.h"
#include "CoreLocation/CoreLocation.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIViewController.h"
#include "ads/pebble/PBLRequest.h"

void AdLoomAdapterPebbleAds::describeClass(RuntimeClass& c) {
    c.classMethod("networkType", &AdLoomAdapterPebbleAds::networkType);
    c.implements({"adViewDidReceiveAd:", "adView:didFailToReceiveAdWithError:",
                  "adViewWillPresentScreen:", "adViewDidDismissScreen:"});
}

void AdLoomAdapterPebbleAds::load() {
    AdLoomAdNetworkRegistry::sharedRegistry()->registerClass(staticClass());
}

Ref<NSString> AdLoomAdapterPebbleAds::hexStringFromUIColor(UIColor* color) {
    CGFloat r = 0, g = 0, b = 0, a = 0;
    if (!color || !color->getRed(&r, &g, &b, &a)) return nullptr;
    char text[16];
    std::snprintf(text, sizeof text, "%02X%02X%02X", int(r * 255), int(g * 255), int(b * 255));
    return NSString::fromUTF8(text);
}

Ref<NSString> AdLoomAdapterPebbleAds::publisherId() {
    auto d = adLoomDelegate();
    if (AdLoomDelegateAnswers(d.get(), delegatePublisherIdSelector())) {
        if (auto id = d->pebblePublisherID()) return id;
    }
    auto network = networkConfig();
    return network ? network->pubId() : nullptr;
}

void AdLoomAdapterPebbleAds::getAd() {
    auto d = adLoomDelegate();
    auto request = PBLRequest::request();
    auto extra = NSMutableDictionary::dictionary();
    if (AdLoomDelegateAnswers(d.get(), "adLoomTestMode") && d->adLoomTestMode())
        extra->setObject(NS("on"), NS("adtest"));
    if (AdLoomDelegateAnswers(d.get(), "adLoomAdBackgroundColor"))
        if (auto hex = hexStringFromUIColor(d->adLoomAdBackgroundColor().get()))
            extra->setObject(hex.get(), NS("color_bg"));
    if (AdLoomDelegateAnswers(d.get(), "adLoomTextColor"))
        if (auto hex = hexStringFromUIColor(d->adLoomTextColor().get()))
            extra->setObject(hex.get(), NS("color_text"));
    if (extra->count() > 0) request->setAdditionalParameters(extra.get());
    auto config = adLoomConfig();
    if (AdLoomDelegateAnswers(d.get(), "locationInfo") && config && config->locationOn()) {
        if (auto location = d->locationInfo())
            request->setLocationWithLatitude(float(location->coordinate().latitude),
                                             float(location->coordinate().longitude),
                                             float(location->horizontalAccuracy()));
    }
    Ref<NSString> gender = AdLoomDelegateAnswers(d.get(), "gender") ? d->gender() : nullptr;
    std::string g = gender ? gender->utf8() : "";
    request->setGender(g == "m" ? 1 : g == "f" ? 2 : 0);
    if (AdLoomDelegateAnswers(d.get(), "dateOfBirth"))
        if (auto birthday = d->dateOfBirth()) request->setBirthday(birthday.get());
    if (AdLoomDelegateAnswers(d.get(), "keywords"))
        if (auto keywords = d->keywords())
            request->setKeywords(as<NSMutableArray>(keywords->mutableCopy()).get());

    auto banner = make<PBLBannerView>(&PBLBannerView::initWithFrame, CGRectMake(0, 0, 320, 50));
    banner->setAdUnitID(publisherId().get());
    banner->setDelegate(this);
    if (d) banner->setRootViewController(d->viewControllerForPresentingModalView().get());
    setAdNetworkView(banner.get());
    banner->loadRequest(request.get());
}

void AdLoomAdapterPebbleAds::stopBeingDelegate() {
    if (auto banner = as<PBLBannerView>(adNetworkView())) banner->setDelegate(nullptr);
}

void AdLoomAdapterPebbleAds::adViewDidReceiveAd(PBLBannerView* view) {
    if (auto loom = adLoomView()) loom->adapterDidReceiveAdView(this, view);
}

void AdLoomAdapterPebbleAds::adViewDidFailToReceiveAdWithError(PBLBannerView*, NSError* error) {
    if (auto loom = adLoomView()) loom->adapterDidFailAd(this, error);
}

void AdLoomAdapterPebbleAds::adViewWillPresentScreen(PBLBannerView*) {
    helperNotifyDelegateOfFullScreenModal();
}

void AdLoomAdapterPebbleAds::adViewDidDismissScreen(PBLBannerView*) {
    helperNotifyDelegateOfFullScreenModalDismissal();
}
