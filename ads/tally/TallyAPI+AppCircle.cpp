// The analytics facade's house-ad half (AppCircle), on the vendor's ad client.
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "UIKit/UIView.h"
#include "ads/tally/TallyAdCanvasViewController.h"
#include "ads/tally/TallyAdClient.h"
#include "ads/tally/TallyAdImpression.h"
#include "ads/tally/TallyAdModel.h"
#include "ads/tally/TallyAdView.h"
#include "ads/tally/TallyOffer.h"
#include "analytics/TallyAPI.h"
#include "analytics/TallyAPICalls.h"
#include "analytics/base/TallySettings.h"
#include "analytics/base/TallyUtil.h"

using tally_api::alert;
using tally_api::gate;
using tally_api::gatedCaught;

Ref<TallyAdView> TallyAPI::getHook(NSString* hook, int x, int y, UIView* view) {
    Ref<TallyAdView> banner;
    gatedCaught("Tally: getHook:xLoc:yLoc:view disabled.", [&] {
        banner = getHook(hook, x, y, view, true, NS("portrait"), NS("portrait"), false, true);
    });
    return banner;
}

Ref<TallyAdView> TallyAPI::getHook(NSString* hook, int x, int y, UIView* view, bool attachToView,
                                   NSString* orientation, NSString* canvasOrientation,
                                   bool autoRefresh, bool canvasAnimated) {
    Ref<TallyAdView> banner;
    gatedCaught(
        "Tally: getHook:xLoc:yLoc:view:attachToView:orientation:canvasOrientation:autoRefresh "
        "disabled.",
        [&] {
            if (!appCircleEnabled()) {
                alert(
                    NS("TallyAPI: AppCircle is disabled. Please enable AppCircle from Tally SDK "
                       "before using AppCircle banners."));
                return;
            }
            auto parentName = view ? view->description() : nullptr;
            auto assignment = TallyAdAssignment::createInstance();
            if (auto assigned = as<TallyAdView>(assignment->assignedBanner(hook, parentName))) {
                banner = assigned;
                return;
            }
            auto ad = TallyAdParser::fastAdWithHook(hook, parentName);
            banner = make<TallyAdView>(&TallyAdView::initWithAd, ad.get(), hook, x, y,
                                       static_cast<NSObject*>(view), attachToView, orientation,
                                       canvasOrientation, autoRefresh);
            banner->setAdDelegate(TallyAdParser::instance()->adDelegate());
            banner->setCanvasAnimated(canvasAnimated);
            assignment->assignBanner(banner, hook, parentName);
        });
    return banner;
}

void TallyAPI::updateHook(TallyAdView* banner) {
    gatedCaught("Tally: updateHook disabled.", [&] {
        if (banner) banner->refreshWithAd();
    });
}

void TallyAPI::removeHook(TallyAdView* banner) {
    gatedCaught("Tally: removeHook disabled.", [&] {
        auto assignment = TallyAdAssignment::instance();
        if (banner && assignment) assignment->unassignBanner(banner->hook(), banner->parentName());
    });
}

void TallyAPI::openCatalog(NSString* hook, NSString* canvasOrientation, bool canvasAnimated) {
    gatedCaught("Tally: openCatalog:canvasOrientation disabled.", [&] {
        auto ad = TallyAdParser::fastAdWithHook(hook, nullptr);
        auto impression = make<TallyAdImpression>(&TallyAdImpression::initWithHook, hook,
                                                  NSNumber::numberWithInt(2).get());
        if (!ad) return;
        impression->updateWithAd(ad);
        auto url = TallyAdView::webUrlForCanvas(true, hook, ad, impression, canvasOrientation);
        TallyUtil::debugLog(NS("Tally: Click url[%@]"), url);
        auto canvas = make<TallyAdCanvasViewController>();
        canvas->setWebUrl(url);
        canvas->setAdImpression(impression);
        canvas->setAd(ad);
        canvas->setAdDelegate(TallyAdParser::instance()->adDelegate());
        canvas->setCanvasOrientation(canvasOrientation);
        canvas->setCanvasAnimated(canvasAnimated);
        canvas->createCanvasWindow();
    });
}

void TallyAPI::setAppCircleDelegate(NSObject* delegate) {
    gatedCaught("Tally: setAppCircleDelegate disabled.", [&] {
        TallyAdParser::instance()->setAdDelegate(delegate);
        tally_settings::write(&TallySettings::appCircleDelegate, Weak<NSObject>(delegate));
    });
}

bool TallyAPI::getOffer(NSString* hook, TallyOffer* container) {
    if (!gate("Tally: getOffer:withTallyOfferContainer: is disabled.")) return false;
    bool valid = false;
    if (appCircleEnabled() && container) {
        TallyUtil::debugLog(
            NS("Tally: getOffer:withTallyOfferContainer: getting fastOfferWithHook."));
        auto impression = make<TallyAdImpression>(&TallyAdImpression::initWithHook, hook,
                                                  NSNumber::numberWithInt(3).get());
        valid = TallyAdParser::fastOfferWithHook(hook, impression, container);
    }
    TallyUtil::debugLog(NS("Tally: getOffer:withTallyOfferContainer: offerValid is %d."),
                        valid ? 1 : 0);
    return valid;
}

bool TallyAPI::getOffer(NSString* hook, TallyOffer* container, NSDictionary* userCookies) {
    bool valid = getOffer(hook, container);
    if (!valid || !userCookies || userCookies->count() == 0) return valid;
    auto escaped = [](NSObject* item) {
        return item->description()->stringByAddingPercentEscapesUsingEncoding(
            NSUTF8StringEncoding, nullptr, NS("!*'();:@&=+$,/?%#[]"));
    };
    auto suffix = NSMutableString::string();
    userCookies->enumerateKeysAndObjectsUsingBlock([&](NSObject* key, NSObject* value, bool*) {
        suffix->appendFormat(NS("&c_%@=%@"), escaped(key), escaped(value));
    });
    auto referral = container->referralUrl();
    container->setReferralUrl(referral ? referral->stringByAppendingString(suffix) : suffix);
    TallyUtil::debugLog(NS("Tally: getOfferFromAdBlock:withTallyOfferContainer:withCookies: "
                           "tallyOffer.referralUrl %@"),
                        container->referralUrl());
    return valid;
}
