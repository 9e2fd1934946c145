#include "ads/tally/TallyAdView.h"

#include <cmath>

#include "Foundation/NSDate.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "UIKit/UINavigationController.h"
#include "ads/tally/TallyAdClient.h"
#include "ads/tally/TallyAdImpression.h"
#include "ads/tally/TallyAdModel.h"
#include "analytics/TallyAPI.h"
#include "analytics/TallySession.h"
#include "analytics/TallyUtil.h"

namespace {
Ref<NSString> copyOf(NSString* s) {
    return s ? cast<NSString>(s->copy()) : nullptr;
}
}  // namespace

bool TallyAdView::initWithAd(NSObject* ad, NSString* hook, int x, int y, NSObject* parent,
                             bool attachToView, NSString* orientation, NSString* canvasOrientation,
                             bool autoRefresh) {
    if (!UIView::initWithFrame(CGRectMake(x, y, 320, 48))) return false;
    autoRefresh_ = autoRefresh;
    setHidden(true);
    hook_ = copyOf(hook);
    Ref<UIView> parentView;
    if (auto controller = as<UIViewController>(parent)) {
        auto navigation = as<UINavigationController>(controller);
        Ref<UIViewController> named = navigation ? navigation->visibleViewController() : nullptr;
        parentName_ = (named ? named.get() : controller.get())->description();
        parentView = controller->view();
    } else if (auto view = as<UIView>(parent)) {
        parentView = view;
        parentName_ = view->description();
    }
    orientation_ = copyOf(orientation);
    canvasOrientation_ = copyOf(canvasOrientation);
    if (ad) show(ad);
    if (attachToView && parentView) parentView->addSubview(this);
    TallyUtil::debugLog(NS("Tally: Initialized adView with hook[%@] at x[%d] y[%d]"), hook_, x, y);
    return true;
}

void TallyAdView::refreshWithAd() {
    show(TallyAdParser::fastAdWithHook(hook_, parentName_));
}

void TallyAdView::show(NSObject* ad) {
    ad_ = ad;
    setHidden(ad == nullptr);
}

namespace {
int64_t millisSince1970(NSDate* date) {
    double millis = date ? date->timeIntervalSince1970() * 1000.0 : 0;
    return std::isfinite(millis) ? static_cast<int64_t>(millis) : 0;
}

// The query every click URL carries, after its first key.
struct ClickQuery {
    Ref<NSString> apiKey, adId, phoneId, hook, cookie;
    int64_t sessionStart = 0, impressionTime = 0, now = 0;
    Ref<NSString> canvasId;

    ClickQuery(NSString* hookName, TallyAd* ad, TallyAdImpression* impression) {
        auto session = TallySession::currentSession();
        apiKey = session ? session->apiKey() : nullptr;
        sessionStart = session ? millisSince1970(session->startTime()) : 0;
        canvasId = ad && ad->canvasId() ? ad->canvasId()->description() : nullptr;
        adId = ad && ad->adId() ? ad->adId()->description() : nullptr;
        phoneId = TallySession::phoneID();
        impressionTime = impression ? impression->timeIntervalSinceSessionStart() : 0;
        // Reserved characters too, so a hook name cannot break the query apart.
        hook = hookName ? hookName->stringByAddingPercentEscapesUsingEncoding(
                              NSUTF8StringEncoding, nullptr, NS("!*'();:@&=+$,/?%#[]"))
                        : nullptr;
        cookie = ad ? ad->adCookieString() : Ref<NSString>(NS(""));
        now = millisSince1970(NSDate::date());
    }
};
}  // namespace

Ref<NSString> TallyAdView::webUrlForCanvas(bool canvas, NSString* hook, NSObject* object,
                                           TallyAdImpression* impression,
                                           NSString* canvasOrientation) {
    Ref<NSString> base;
    if (!canvas)
        base = TallyAPI::appStoreURL();
    else if (canvasOrientation &&
             canvasOrientation->caseInsensitiveCompare(NS("portrait")) == NSOrderedSame)
        base = TallyAPI::canvasURL();
    else
        base = TallyAPI::landscapeCanvasURL();
    ClickQuery q(hook, as<TallyAd>(object).get(), impression);
    auto url = NSMutableString::stringWithString(base);
    url->appendFormat(
        NS("?apik=%@&cid=%@&adid=%@&pid=%@&sid=%lld&its=%lld&hid=%@&ac=%@&ats=%lld"), q.apiKey,
        q.canvasId, q.adId, q.phoneId, static_cast<long long>(q.sessionStart),
        static_cast<long long>(q.impressionTime), q.hook, q.cookie, static_cast<long long>(q.now));
    return url;
}

Ref<NSString> TallyAdView::webUrlForOffer(NSString* hook, NSObject* object,
                                          TallyAdImpression* impression) {
    ClickQuery q(hook, as<TallyAd>(object).get(), impression);
    auto url = NSMutableString::stringWithString(TallyAPI::appStoreURL());
    url->appendFormat(NS("?apik=%@"), q.apiKey);
    url->appendFormat(NS("&cid=%d"), 0);
    url->appendFormat(NS("&adid=%@"), q.adId);
    url->appendFormat(NS("&pid=%@"), q.phoneId);
    url->appendFormat(NS("&sid=%lld"), static_cast<long long>(q.sessionStart));
    url->appendFormat(NS("&its=%lld"), static_cast<long long>(q.impressionTime));
    url->appendFormat(NS("&hid=%@"), q.hook);
    url->appendFormat(NS("&ac=%@"), q.cookie);
    url->appendFormat(NS("&ats=%lld"), static_cast<long long>(q.now));
    TallyUtil::debugLog(NS("Tally: webUrlForOffer:ad: webUrl is %@"), url);
    return url;
}
