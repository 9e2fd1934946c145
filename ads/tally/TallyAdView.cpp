#include "ads/tally/TallyAdView.h"

#include "Foundation/NSString.h"
#include "UIKit/UINavigationController.h"
#include "ads/tally/TallyAdClient.h"
#include "analytics/TallyAPI.h"
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

Ref<NSString> TallyAdView::webUrlForCanvas(bool canvas, NSString*, NSObject*, TallyAdImpression*,
                                           NSString* canvasOrientation) {
    if (!canvas) return TallyAPI::appStoreURL();
    bool portrait = canvasOrientation &&
                    canvasOrientation->caseInsensitiveCompare(NS("portrait")) == NSOrderedSame;
    return portrait ? TallyAPI::canvasURL() : TallyAPI::landscapeCanvasURL();
}
