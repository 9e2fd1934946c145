#include "ads/pebble/PBLBannerView.h"

#include "Foundation/NSLog.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWebView.h"
#include "ads/pebble/PBLObjectPrivate.h"
#include "ads/pebble/PBLPrivateUtilities.h"
#include "ads/pebble/PBLRequest.h"
#include "ads/pebble/PBLRequestError.h"

bool PBLBannerView::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    commonInitializer();
    return true;
}

void PBLBannerView::awakeFromNib() {
    // One engine per view: a banner made in code already has its own, with its settings.
    if (!privateObject()) commonInitializer();
}

void PBLBannerView::commonInitializer() {
    setBackgroundColor(UIColor::clearColor().get());
    auto engine = make<PBLObjectPrivate>(&PBLObjectPrivate::initWithView, this);
    PBLPrivateUtilities::setPrivateObject(engine.get(), this);
}

void PBLBannerView::dealloc() {
    if (auto engine = privateObject()) engine->cancelPendingActions();
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    PBLPrivateUtilities::removePrivateObjectForKey(this);
    UIView::dealloc();
}

Ref<PBLObjectPrivate> PBLBannerView::privateObject() {
    return as<PBLObjectPrivate>(PBLPrivateUtilities::privateObjectForKey(this));
}

void PBLBannerView::loadRequest(PBLRequest* request) {
    auto engine = privateObject();
    if (!engine) return;
    if (!engine->rootViewController()) {
        NSLog(
            NS("<Pebble> Must set the rootViewController property of PBLBannerView before "
               "calling loadRequest:"));
        auto error = PBLRequestError::errorWithCode(0, request);
        engine->delegateManager()->didFailToReceiveAdWithError(error.get());
        return;
    }
    engine->loadRequest(request);
}

bool PBLBannerView::hasAutoRefreshed() {
    auto engine = privateObject();
    return engine && engine->hasAutoRefreshed();
}
Ref<UIWebView> PBLBannerView::webView() {
    auto engine = privateObject();
    return engine ? engine->webView() : nullptr;
}
Ref<UIViewController> PBLBannerView::rootViewController() {
    auto engine = privateObject();
    return engine ? engine->rootViewController() : nullptr;
}
void PBLBannerView::setRootViewController(UIViewController* controller) {
    if (auto engine = privateObject()) engine->setRootViewController(controller);
}
Ref<NSString> PBLBannerView::adUnitID() {
    auto engine = privateObject();
    return engine ? engine->adUnitID() : nullptr;
}
void PBLBannerView::setAdUnitID(NSString* adUnitID) {
    if (auto engine = privateObject()) engine->setAdUnitID(adUnitID);
}
Ref<PBLBannerViewDelegate> PBLBannerView::delegate() {
    auto engine = privateObject();
    return engine ? engine->delegateManager()->bannerDelegate() : nullptr;
}
void PBLBannerView::setDelegate(PBLBannerViewDelegate* delegate) {
    auto engine = privateObject();
    if (!engine) return;
    engine->delegateManager()->setBannerDelegate(delegate);
    engine->delegateManager()->setAdView(this);
}
