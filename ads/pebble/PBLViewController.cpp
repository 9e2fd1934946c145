#include "ads/pebble/PBLViewController.h"

#include "Foundation/NSDictionary.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIView.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWindow.h"
#include "ads/pebble/PBLBannerView.h"
#include "ads/pebble/PBLIdentifierUtilities.h"
#include "ads/pebble/PBLPrivateUtilities.h"
#include "ads/pebble/PBLStatistics.h"

NSString* const PBLViewControllerWillPresentFullScreenNotification =
    NS("PBLViewControllerWillPresentFullScreen");
NSString* const PBLViewControllerDidRelinquishFullScreenNotification =
    NS("PBLViewControllerDidRelinquishFullScreen");

namespace {

// Before 3.2 the status bar always goes; later only for a screen that covers all of it.
bool touchesStatusBar(UIViewController* screen) {
    return !PBLIdentifierUtilities::isOSAtLeastMajor(3, 2, 0) ||
           screen->modalPresentationStyle() == UIModalPresentationFullScreen;
}

}  // namespace

void PBLViewController::describeClass(RuntimeClass& c) {
    c.method("settingsChanged:", &PBLViewController::settingsChanged);
    c.method("relinquishScreen", &PBLViewController::relinquishScreen);
}

Ref<PBLViewControllerPrivate> PBLViewController::createPrivateData() {
    return make<PBLViewControllerPrivate>();
}

Ref<PBLViewControllerPrivate> PBLViewController::privateObject() {
    return as<PBLViewControllerPrivate>(PBLPrivateUtilities::privateObjectForKey(this));
}

bool PBLViewController::init() {
    if (!UIViewController::init()) return false;
    auto vars = createPrivateData();
    PBLPrivateUtilities::setPrivateObject(vars.get(), this);
    vars->supportedOrientations_ = 1;
    auto v = view();
    v->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    v->setOpaque(true);
    v->setBackgroundColor(UIColor::blackColor().get());
    v->setClipsToBounds(true);
    setModalTransitionStyle(UIModalTransitionStyleCoverVertical);
    // Pages post "settings" with their web view as the object: the screen's own view, or the
    // web view that shows its page.
    Weak<PBLViewController> weak = this;
    vars->settingsObserver_ = NSNotificationCenter::defaultCenter()->addObserverForName(
        NS("settings"), nullptr, [weak](NSNotification* note) {
            auto self = weak.lock();
            if (!self) return;
            NSObject* sender = note->object().get();
            if (!sender) return;
            if (sender == self->view().get() || sender == self->contentWebView().get())
                self->settingsChanged(note);
        });
    return true;
}

void PBLViewController::dealloc() {
    auto vars = privateObject();
    if (vars) {
        if (vars->presentedAsFirst_) delegateManager()->didDismissScreen();
        if (vars->settingsObserver_)
            NSNotificationCenter::defaultCenter()->removeObserver(vars->settingsObserver_.get());
        vars->settingsObserver_ = nullptr;
    }
    PBLPrivateUtilities::removePrivateObjectForKey(this);
    UIViewController::dealloc();
}

int PBLViewController::orientationFromString(NSString* name) {
    std::string text = name ? name->utf8() : "";
    if (text == "any") return 1;
    if (text == "portrait") return 2;
    if (text == "landscape") return 3;
    return 0;
}

void PBLViewController::settingsChanged(NSNotification* note) {
    auto info = note ? note->userInfo() : nullptr;
    auto value = info ? as<NSString>(info->objectForKey(NS("supportedorientations"))) : nullptr;
    setSupportedOrientations(orientationFromString(value.get()));
}

void PBLViewController::presentFromViewController(UIViewController* controller) {
    if (!controller) {
        NSLog(NS("<Pebble> No UIViewController supplied to the ad.  Cannot continue."));
        return;
    }
    auto vars = privateObject();
    view()->setUserInteractionEnabled(false);
    vars->keepAlive_ = this;
    NSNotificationCenter::defaultCenter()->postNotificationName(
        PBLViewControllerWillPresentFullScreenNotification, this);
    if (is<PBLViewController>(controller)) {
        vars->interactingWithParent_ = false;
        controller->presentModalViewController(this, true);
        return;
    }
    vars->interactingWithParent_ = true;
    vars->presentedAsFirst_ = true;
    delegateManager()->willPresentScreen();
    if (touchesStatusBar(this)) {
        auto app = UIApplication::sharedApplication();
        vars->statusBarWasHidden_ = app->isStatusBarHidden();
        if (!vars->statusBarWasHidden_) app->setStatusBarHidden(true);
    }
    presentSelfFrom(controller);
}

void PBLViewController::presentSelfFrom(UIViewController* controller) {
    auto window = UIApplication::sharedApplication()->keyWindow();
    auto root = window ? window->rootViewController() : nullptr;
    // A root whose view is not on screen (covered by a splash) cannot show anything over it.
    if (root && !(root->isViewLoaded() && root->view()->window().get() == window.get()))
        root = nullptr;
    if (root) {
        root->presentModalViewController(this, true);
        return;
    }
    controller->presentModalViewController(this, true);
    // For platforms that do not tell a presented screen it has appeared.
    Weak<PBLViewController> weak = this;
    NSTimer::scheduledTimerWithTimeInterval(0.6, false, [weak](NSTimer*) {
        if (auto self = weak.lock()) self->viewDidAppear(true);
    });
}

void PBLViewController::viewDidAppear(bool animated) {
    // Once per presentation: the platform's call or the fallback, whichever comes first.
    if (view()->isUserInteractionEnabled()) return;
    UIViewController::viewDidAppear(animated);
    view()->setUserInteractionEnabled(true);
    auto vars = privateObject();
    if (isFirstPBLViewController() && vars->interactingWithParent_)
        vars->interactingWithParent_ = false;
}

void PBLViewController::viewDidDisappear(bool animated) {
    UIViewController::viewDidDisappear(animated);
    auto statistics = PBLStatistics::sharedStatistics();
    statistics->endTimingNamed(NS("plpd"));
    statistics->endTimingNamed(NS("pcl"));
    auto vars = privateObject();
    if (isFirstPBLViewController() && vars->interactingWithParent_)
        vars->interactingWithParent_ = false;
}

void PBLViewController::relinquishScreen() {
    auto vars = privateObject();
    // Only a shown screen gives the screen up: a second close (a double tap, the page's close
    // after the button's) would tell the delegate again and release the screen once too often.
    if (!vars || !vars->keepAlive_) return;
    Ref<PBLViewController> self = this;  // gone once the platform lets go of it
    view()->setUserInteractionEnabled(false);
    vars->keepAlive_ = nullptr;
    if (isFirstPBLViewController()) {
        vars->interactingWithParent_ = true;
        delegateManager()->willDismissScreen();
        if (touchesStatusBar(this) && !vars->statusBarWasHidden_)
            UIApplication::sharedApplication()->setStatusBarHidden(false);
    } else {
        vars->interactingWithParent_ = false;
    }
    if (auto parent = presentingViewController()) parent->dismissModalViewControllerAnimated(true);
    NSNotificationCenter::defaultCenter()->postNotificationName(
        PBLViewControllerDidRelinquishFullScreenNotification, this);
}

bool PBLViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) {
    switch (supportedOrientations()) {
        case 2:
            return orientation == UIInterfaceOrientationPortrait ||
                   orientation == UIInterfaceOrientationPortraitUpsideDown;
        case 3:
            return orientation == UIInterfaceOrientationLandscapeRight ||
                   orientation == UIInterfaceOrientationLandscapeLeft;
        default:
            return true;
    }
}

bool PBLViewController::isFirstPBLViewController() {
    return !is<PBLViewController>(presentingViewController().get());
}

int PBLViewController::supportedOrientations() {
    auto vars = privateObject();
    return vars ? vars->supportedOrientations_ : 1;
}
void PBLViewController::setSupportedOrientations(int orientations) {
    if (orientations == 0) return;
    if (auto vars = privateObject()) vars->supportedOrientations_ = orientations;
}
Ref<UIWebView> PBLViewController::openingWebView() {
    auto vars = privateObject();
    return vars ? vars->openingWebView_.lock() : nullptr;
}
void PBLViewController::setOpeningWebView(UIWebView* webView) {
    if (auto vars = privateObject()) vars->openingWebView_ = webView;
}
bool PBLViewController::statusBarWasHidden() {
    auto vars = privateObject();
    return vars && vars->statusBarWasHidden_;
}
void PBLViewController::setStatusBarWasHidden(bool hidden) {
    if (auto vars = privateObject()) vars->statusBarWasHidden_ = hidden;
}
Ref<PBLDelegateManager> PBLViewController::delegateManager() {
    auto vars = privateObject();
    if (!vars) return make<PBLDelegateManager>();
    if (!vars->delegateManager_) vars->delegateManager_ = make<PBLDelegateManager>();
    return vars->delegateManager_;
}
void PBLViewController::setDelegateManager(PBLDelegateManager* manager) {
    if (auto vars = privateObject()) vars->delegateManager_ = manager;
}
