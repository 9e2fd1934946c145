#include "AdLoom/adapters/AdLoomAdapterPebbleAds.h"

#include <cstdio>
#include <utility>

#include "AdLoom/internal/AdLoomConfig.h"
#include "AdLoom/internal/AdLoomDelegate.h"
#include "AdLoom/internal/AdLoomView.h"
#include "CoreLocation/CoreLocation.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
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
    if (auto id =
            as<NSString>(delegateValueForSelector(Selector::named(delegatePublisherIdSelector()))))
        return id;
    auto network = networkConfig();
    return network ? network->pubId() : nullptr;
}

Ref<NSObject> AdLoomAdapterPebbleAds::delegateValueForSelector(SEL selector) {
    auto d = adLoomDelegate();
    if (!d || !respondsTo(d.get(), selector)) return nullptr;
    using Getter = Ref<NSObject> (*)(AdLoomDelegate*);
    static const std::pair<const char*, Getter> getters[] = {
        {"adLoomAdBackgroundColor",
         [](AdLoomDelegate* h) -> Ref<NSObject> { return h->adLoomAdBackgroundColor(); }},
        {"adLoomTextColor",
         [](AdLoomDelegate* h) -> Ref<NSObject> { return h->adLoomTextColor(); }},
        {"locationInfo", [](AdLoomDelegate* h) -> Ref<NSObject> { return h->locationInfo(); }},
        {"gender", [](AdLoomDelegate* h) -> Ref<NSObject> { return h->gender(); }},
        {"dateOfBirth", [](AdLoomDelegate* h) -> Ref<NSObject> { return h->dateOfBirth(); }},
        {"keywords", [](AdLoomDelegate* h) -> Ref<NSObject> { return h->keywords(); }},
        {"pebblePublisherID",
         [](AdLoomDelegate* h) -> Ref<NSObject> { return h->pebblePublisherID(); }},
    };
    for (auto& [name, get] : getters)
        if (selector == Selector::named(name)) return get(d.get());
    return nullptr;
}

void AdLoomAdapterPebbleAds::getAd() {
    auto d = adLoomDelegate();
    auto value = [this](const char* name) {
        return delegateValueForSelector(Selector::named(name));
    };
    auto request = PBLRequest::request();
    auto extra = NSMutableDictionary::dictionary();
    if (AdLoomDelegateAnswers(d.get(), "adLoomTestMode") && d->adLoomTestMode())
        extra->setObject(NS("on"), NS("adtest"));
    if (auto hex = hexStringFromUIColor(as<UIColor>(value("adLoomAdBackgroundColor")).get()))
        extra->setObject(hex.get(), NS("color_bg"));
    if (auto hex = hexStringFromUIColor(as<UIColor>(value("adLoomTextColor")).get()))
        extra->setObject(hex.get(), NS("color_text"));
    if (extra->count() > 0) request->setAdditionalParameters(extra.get());
    auto config = adLoomConfig();
    if (auto location = as<CLLocation>(value("locationInfo"));
        location && config && config->locationOn())
        request->setLocationWithLatitude(float(location->coordinate().latitude),
                                         float(location->coordinate().longitude),
                                         float(location->horizontalAccuracy()));
    auto gender = as<NSString>(value("gender"));
    std::string g = gender ? gender->utf8() : "";
    request->setGender(g == "m" ? 1 : g == "f" ? 2 : 0);
    if (auto birthday = as<NSDate>(value("dateOfBirth"))) request->setBirthday(birthday.get());
    if (auto keywords = as<NSArray>(value("keywords")))
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
