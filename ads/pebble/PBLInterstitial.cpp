#include "ads/pebble/PBLInterstitial.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/NumberConversion.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWindow.h"
#include "ads/pebble/PBLObjectPrivate.h"
#include "ads/pebble/PBLPrivateUtilities.h"
#include "ads/pebble/PBLRequest.h"
#include "ads/pebble/PBLStatistics.h"
#include "ads/pebble/PBLWebAppViewController.h"
#include "ads/pebble/PBLWebViewDelegate.h"

namespace {

NSString* const kTimeoutKey = NS("applicationTimeout");

}  // namespace

// ---- PBLInterstitial ---------------------------------------------------------------------------

void PBLInterstitial::initialize() {
    // Registered with the store in use each time: a store made afresh has no registrations.
    auto defaults = NSMutableDictionary::dictionary();
    defaults->setObject(NSNumber::numberWithFloat(5.0f).get(), kTimeoutKey);
    NSUserDefaults::standardUserDefaults()->registerDefaults(defaults.get());
}

bool PBLInterstitial::init() {
    initialize();
    auto engine =
        make<PBLObjectPrivate>(&PBLObjectPrivate::initWithFrame, UIScreen::mainScreen()->bounds());
    PBLPrivateUtilities::setPrivateObject(engine.get(), this);
    auto center = NSNotificationCenter::defaultCenter();
    Weak<PBLInterstitial> weak = this;
    observers_.push_back(
        center->addObserverForName(NS("settings"), nullptr, [weak](NSNotification* note) {
            if (auto self = weak.lock()) self->settingsChanged(note);
        }));
    observers_.push_back(center->addObserverForName(
        PBLWebActionNotification, engine->webView().get(), [weak](NSNotification* note) {
            if (auto self = weak.lock()) self->webAction(note);
        }));
    return true;
}

void PBLInterstitial::dealloc() {
    if (auto engine = privateObject()) engine->cancelPendingActions();
    for (auto& token : observers_)
        NSNotificationCenter::defaultCenter()->removeObserver(token.get());
    observers_.clear();
    PBLPrivateUtilities::removePrivateObjectForKey(this);
    NSObject::dealloc();
}

Ref<PBLObjectPrivate> PBLInterstitial::privateObject() {
    return as<PBLObjectPrivate>(PBLPrivateUtilities::privateObjectForKey(this));
}

void PBLInterstitial::loadAndDisplayRequest(PBLRequest* request, UIWindow* window, UIImage* image) {
    initialize();
    float seconds = NSUserDefaults::standardUserDefaults()->floatForKey(kTimeoutKey);
    if (!(seconds > 0)) {
        NSLog(NS("<Pebble> Interstitial has zero timeout.  Not displaying."));
        return;
    }
    auto engine = privateObject();
    auto splash = make<PBLInterstitialAppController>(&PBLInterstitialAppController::initWithWindow,
                                                     window, image, splashSeconds(), this);
    engine->delegateManager()->setSdkInterstitialDelegate(splash.get());
    engine->loadInterstitialRequest(request);
}

int PBLInterstitial::splashSeconds() {
    initialize();
    // The server's number may be anything a float holds.
    float stored = NSUserDefaults::standardUserDefaults()->floatForKey(kTimeoutKey);
    return stored > 0 ? truncatedNumber<int>(stored) : 0;
}

void PBLInterstitial::presentFromRootViewController(UIViewController* controller) {
    if (!isReady()) {
        NSLog(NS("<Pebble> Cannot present interstitial.  It is not ready."));
        return;
    }
    auto engine = privateObject();
    auto screen = make<PBLWebAppViewController>();
    screen->setDelegateManager(engine->delegateManager().get());
    screen->setSupportedOrientations(engine->supportedOrientations());
    screen->loadHTML(engine->adHTMLString().get(), engine->adHTMLBaseURL().get());
    if (auto urls = engine->pendingTrackingURLs()) engine->trackURLs(urls.get());
    screen->presentFromViewController(controller);
}

bool PBLInterstitial::isReady() {
    auto engine = privateObject();
    return engine && engine->state() == PBLStateShowing;
}

void PBLInterstitial::loadRequest(PBLRequest* request) {
    if (auto engine = privateObject()) engine->loadInterstitialRequest(request);
}

Ref<PBLInterstitialDelegate> PBLInterstitial::delegate() {
    auto engine = privateObject();
    return engine ? engine->delegateManager()->interstitialDelegate() : nullptr;
}

void PBLInterstitial::setDelegate(PBLInterstitialDelegate* delegate) {
    auto engine = privateObject();
    if (!engine) return;
    engine->delegateManager()->setInterstitialDelegate(delegate);
    engine->delegateManager()->setInterstitial(this);
}

Ref<NSString> PBLInterstitial::adUnitID() {
    auto engine = privateObject();
    return engine ? engine->adUnitID() : nullptr;
}
void PBLInterstitial::setAdUnitID(NSString* adUnitID) {
    if (auto engine = privateObject()) engine->setAdUnitID(adUnitID);
}

void PBLInterstitial::webAction(NSNotification* note) {
    auto info = note ? note->userInfo() : nullptr;
    auto action = info ? as<NSString>(info->objectForKey(NS("a"))) : nullptr;
    if (!action || action->isEqualToString(NS("open")))
        if (auto engine = privateObject()) engine->cancelPendingActions();
}

void PBLInterstitial::settingsChanged(NSNotification* note) {
    auto info = note ? note->userInfo() : nullptr;
    if (!info) return;
    // The bridge lower-cases the keys of a page's command.
    auto value = as<NSString>(info->objectForKey(kTimeoutKey));
    if (!value) value = as<NSString>(info->objectForKey(NS("applicationtimeout")));
    if (!value || value->length() == 0) return;
    NSUserDefaults::standardUserDefaults()->setFloat(value->floatValue(), kTimeoutKey);
}

// ---- PBLInterstitialAppController --------------------------------------------------------------

bool PBLInterstitialAppController::initWithWindow(UIWindow* window, UIImage* image, int seconds,
                                                  PBLInterstitial* interstitial) {
    if (!UIViewController::initWithNibName(nullptr, nullptr)) return false;
    interstitial_ = interstitial;
    window_ = window;
    if (window && !window->subviewList().empty()) {
        storedUserViews_ = window->subviews();
        for (auto* view : *storedUserViews_)
            static_cast<UIView*>(view)->removeFromSuperview();
    }
    auto app = UIApplication::sharedApplication();
    hideStatusBar_ = app->isStatusBarHidden();
    app->setStatusBarHidden(true);
    Weak<PBLInterstitialAppController> weak = this;
    timeout_ = NSTimer::scheduledTimerWithTimeInterval(seconds, false, [weak](NSTimer* timer) {
        if (auto self = weak.lock()) self->timeout(timer);
    });
    CGSize size = window ? window->bounds().size : UIScreen::mainScreen()->bounds().size;
    auto plain = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, size.width, size.height));
    setView(plain.get());
    if (window) window->addSubview(plain.get());
    imageView_ = alloc<UIImageView>();
    imageView_->initWithImage(image);
    plain->addSubview(imageView_.get());
    keepAlive_ = this;
    return true;
}

void PBLInterstitialAppController::dealloc() {
    interstitial_ = nullptr;
    if (timeout_) timeout_->invalidate();
    timeout_ = nullptr;
    storedUserViews_ = nullptr;
    if (imageView_) imageView_->removeFromSuperview();
    imageView_ = nullptr;
    UIViewController::dealloc();
}

bool PBLInterstitialAppController::shouldAutorotateToInterfaceOrientation(
    UIInterfaceOrientation orientation) {
    return orientation == UIInterfaceOrientationPortrait;
}

void PBLInterstitialAppController::interstitialDidReceiveAd(PBLInterstitial* interstitial) {
    if (timeout_) timeout_->invalidate();
    timeout_ = nullptr;
    (interstitial ? interstitial : interstitial_.get())->presentFromRootViewController(this);
}

void PBLInterstitialAppController::interstitialDidFailToReceiveAdWithError(PBLInterstitial*,
                                                                           NSError* error) {
    if (timeout_) timeout_->invalidate();
    timeout_ = nullptr;
    if (error && error->code() == 1)
        PBLStatistics::sharedStatistics()->setAppOpenInterstitialNoFill();
    removeSelfAsDelegate();
    restoreWindowAndRelease();
}

void PBLInterstitialAppController::interstitialWillDismissScreen(PBLInterstitial*) {
    removeSelfAsDelegate();
    restoreWindowAndRelease();
}

void PBLInterstitialAppController::timeout(NSTimer*) {
    timeout_ = nullptr;
    PBLStatistics::sharedStatistics()->setAppOpenInterstitialTimeOut();
    NSLog(NS("<Pebble> Interstitial request timed out."));
    interstitialWillDismissScreen(interstitial_.get());
}

void PBLInterstitialAppController::removeSelfAsDelegate() {
    if (auto engine = interstitial_ ? interstitial_->privateObject() : nullptr)
        engine->delegateManager()->setSdkInterstitialDelegate(nullptr);
}

void PBLInterstitialAppController::restoreWindowAndRelease() {
    if (!keepAlive_) return;  // given back already
    UIApplication::sharedApplication()->setStatusBarHidden(hideStatusBar_);
    // The ad's screen goes first, so that its dismissal does not put the splash back.
    if (modalViewController()) dismissModalViewControllerAnimated(false);
    if (imageView_) imageView_->removeFromSuperview();
    if (isViewLoaded()) view()->removeFromSuperview();
    if (auto window = window_.lock(); window && storedUserViews_)
        for (auto* view : *storedUserViews_)
            window->addSubview(static_cast<UIView*>(view));
    storedUserViews_ = nullptr;
    keepAlive_->autorelease();
    keepAlive_ = nullptr;
}
