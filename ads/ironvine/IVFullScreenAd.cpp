#include "ads/ironvine/IVFullScreenAd.h"

#include <mutex>
#include <utility>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIAccelerometer.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIScreen.h"
#include "ads/ironvine/IVController.h"
#include "ads/ironvine/IVJavascriptBridge.h"
#include "ads/ironvine/IVMessageBox.h"
#include "ads/ironvine/IVUtil.h"

namespace {
constexpr double kWindowAnimation = 0.8;
constexpr double kFlagClearDelay = 0.4;
constexpr double kOrientationAnimation = 0.3;
constexpr double kMenuFadeIn = 0.5;
constexpr double kStatusBarFade = 1.0;

Ref<IVController> engine() {
    return IVController::sharedController();
}

bool named(NSString* id, const char* name) {
    return id && id->isEqualToString(NSString::fromUTF8(name).get());
}
}  // namespace

// ---- the window -----------------------------------------------------------------------------

void IVFullScreenAdWindow::describeClass(RuntimeClass& c) {
    using W = IVFullScreenAdWindow;
    c.method("presentControllerAnimationDidStop:finished:context:",
             &W::presentControllerAnimationDidStop)
        .method("dismissControllerAnimationDidStop:finished:context:",
                &W::dismissControllerAnimationDidStop)
        .method("deviceOrientationDidChange:", &W::deviceOrientationDidChange);
}

bool IVFullScreenAdWindow::init() {
    if (!UIWindow::initWithFrame(UIScreen::mainScreen()->bounds())) return false;
    setBackgroundColor(UIColor::blackColor().get());
    isDisplaying_ = false;
    prevStatusBarHidden_ = true;
    setAutoresizesSubviews(false);
    return true;
}

bool IVFullScreenAdWindow::isDisplaying() {
    std::lock_guard<NSRecursiveLock> hold(*displayLock_);
    return isDisplaying_;
}

void IVFullScreenAdWindow::setIsDisplaying(bool displaying) {
    {
        std::lock_guard<NSRecursiveLock> hold(*displayLock_);
        if (displaying == isDisplaying_) return;
        isDisplaying_ = displaying;
    }
    engine()->fullScreenAdWindowIsDisplaying(displaying);
}

void IVFullScreenAdWindow::displayController(IVAdViewInternal* controller) {
    setUserInteractionEnabled(false);
    // The flag stays with the new content.
    if (clearDisplayingTimer_) clearDisplayingTimer_->invalidate();
    contentController_ = controller;
    prevSuperview_ = controller->view()->superview().get();
    prevTransform_ = controller->view()->transform();
    wasForceDismissed_ = false;
    // Heard from here, not once the window shows: a tapped banner's fade comes first, and its
    // host must treat the ad as open from the tap (its close is heard however the opening ends).
    controller->fullScreenAdWindowWillOpen();
    beginListeningToDeviceOrientationNotifications();
    if (!controller->controlsFullScreenSlot()) {
        // A banner first fades out where it stands.
        UIView::beginAnimations(NS("IVFullSreenAdWindow_contentFadeOut"), nullptr);
        UIView::setAnimationDuration(kWindowAnimation);
        UIView::setAnimationDelegate(this);
        UIView::setAnimationDidStopSelector(
            Selector::named("presentControllerAnimationDidStop:finished:context:"));
        if (UIView* container = controller->containerView()) container->setAlpha(0);
        UIView::commitAnimations();
        return;
    }
    open(controller, false);
}

void IVFullScreenAdWindow::open(IVAdViewInternal* controller, bool banner) {
    auto key = UIApplication::sharedApplication()->keyWindow();
    if (key && key.get() != this) appWindow_ = key.get();
    if (banner) wipeContent_ = controller->shouldWipeContentOnDismiss();
    hideStatusBarAnimated(true);
    CGRect screen = UIScreen::mainScreen()->bounds();
    setFrame(screen);
    setAlpha(0);
    setHidden(false);
    insertSubview(controller->view().get(), 0);
    layoutInterfaceWithAnimation(false);
    if (banner && !wipeContent_) controller->adViewWillExpand();
    UIView::beginAnimations(NS("IVFullScreenAdWindow_expand"), nullptr);
    UIView::setAnimationDuration(kWindowAnimation);
    UIView::setAnimationDelegate(this);
    UIView::setAnimationDidStopSelector(
        Selector::named("presentControllerAnimationDidStop:finished:context:"));
    setAlpha(1);
    setFrame(screen);
    UIView::commitAnimations();
    makeKeyAndVisible();
}

void IVFullScreenAdWindow::presentControllerAnimationDidStop(NSString* animationID, NSNumber*,
                                                             void*) {
    if (wasForceDismissed_ || !contentController_) return;
    if (named(animationID, "IVFullSreenAdWindow_contentFadeOut")) {
        open(contentController_.get(), true);
        return;
    }
    if (!named(animationID, "IVFullScreenAdWindow_expand")) return;
    if (!contentController_->controlsFullScreenSlot() && wipeContent_) {
        // A page of the in-ad browser: the host stays out of sight behind it.
        contentController_->prepareAdViewBrowserMode(true);
        if (auto host = appWindow()) host->setHidden(true);
    }
    setUserInteractionEnabled(true);
}

void IVFullScreenAdWindow::dismissAnimated(bool animated) {
    // A close stops the opening stages still to come, so that a banner closed in its first
    // fade stays in its slot.
    wasForceDismissed_ = true;
    auto content = contentController_;
    if (!content) return;
    closing_ = true;
    setUserInteractionEnabled(false);
    stopListeningToDeviceOrientationNotifications();
    restoreStatusBarAnimated(animated);
    content->fullScreenAdWindowWillClose();
    // A banner's browser page fades out alone: the banner is back in its slot at once, whole,
    // with the ad that stayed loaded under the page.
    if (auto page = content->detachPageView()) {
        UIView* shown = content->view().get();
        page->setTransform(shown->transform());
        page->setBounds(shown->bounds());
        page->setCenter(shown->center());
        addSubview(page.get());
        fadingPage_ = page;
        UIView* container = putBack(content.get());
        if (!container) container = content->containerView();
        if (container) container->setAlpha(1.0f);
    }
    // Full-screen ads and expanded banners leave the same way: a fade and a slide down.
    collapseAnimated(animated);
}

void IVFullScreenAdWindow::collapseAnimated(bool animated) {
    auto host = appWindow();
    float hostAlpha = host ? host->alpha() : 1.0f;
    if (host) {
        host->setAlpha(0);
        host->setHidden(false);
    }
    if (animated) {
        UIView::beginAnimations(NS("IVFullScreenAdWindow_windowFadeOut"), nullptr);
        UIView::setAnimationDuration(kWindowAnimation);
        UIView::setAnimationDelegate(this);
        UIView::setAnimationDidStopSelector(
            Selector::named("dismissControllerAnimationDidStop:finished:context:"));
    }
    setAlpha(0);
    CGRect f = frame();
    f.origin.y = f.size.height;
    setFrame(f);
    if (host) host->setAlpha(hostAlpha);
    if (animated)
        UIView::commitAnimations();
    else
        didDisappearAnimated(false);
}

void IVFullScreenAdWindow::dismissControllerAnimationDidStop(NSString* animationID, NSNumber*,
                                                             void*) {
    if (named(animationID, "IVFullScreenAdWindow_windowFadeOut")) finishClosing();
}

void IVFullScreenAdWindow::didDisappearAnimated(bool animated) {
    closing_ = false;
    auto content = contentController_;
    bool keep = content && !content->controlsFullScreenSlot() && !wipeContent_;
    if (keep) content->adViewDidCollapse();
    if (fadingPage_) fadingPage_->removeFromSuperview();
    fadingPage_ = nullptr;
    // The banner goes back where it was, still faded out.
    UIView* container = content ? putBack(content.get()) : nullptr;
    if (container) container->setAlpha(0);
    if (auto host = appWindow()) host->makeKeyAndVisible();
    if (container && keep) {
        UIView::beginAnimations(NS("IVFullScreenAdWindow_contentFadeIn"), nullptr);
        UIView::setAnimationDuration(animated ? kWindowAnimation : 0);
        container->setAlpha(1.0f);
        UIView::commitAnimations();
    }
    wipeContent_ = false;
    setHidden(true);
    contentController_ = nullptr;
    appWindow_ = nullptr;
    setUserInteractionEnabled(true);
    if (!animated) {
        setIsDisplaying(false);
        return;
    }
    // Another display waits until the fade has settled.
    if (clearDisplayingTimer_) clearDisplayingTimer_->invalidate();
    Weak<IVFullScreenAdWindow> weak(this);
    clearDisplayingTimer_ =
        NSTimer::scheduledTimerWithTimeInterval(kFlagClearDelay, false, [weak](NSTimer*) {
            if (auto self = weak.lock()) self->setIsDisplaying(false);
        });
}

UIView* IVFullScreenAdWindow::putBack(IVAdViewInternal* content) {
    if (content->view()->superview().get() != this) return nullptr;
    content->view()->removeFromSuperview();
    auto previous = prevSuperview_.lock();
    if (content->controlsFullScreenSlot() || !previous) return nullptr;
    content->view()->setTransform(prevTransform_);
    CGSize size = IVSizeForAdSize(content->slot()->slotDescription()->size());
    content->view()->setFrame(CGRectMake(0, 0, size.width, size.height));
    content->layout();
    previous->insertSubview(content->view().get(), 0);
    return content->containerView();
}

void IVFullScreenAdWindow::beginListeningToDeviceOrientationNotifications() {
    if (listening_) return;
    listening_ = true;
    auto device = UIDevice::currentDevice();
    prevGeneratingOrientationNotifications_ = device->isGeneratingDeviceOrientationNotifications();
    if (!prevGeneratingOrientationNotifications_)
        device->beginGeneratingDeviceOrientationNotifications();
    NSNotificationCenter::defaultCenter()->addObserver(
        this, Selector::named("deviceOrientationDidChange:"),
        UIDeviceOrientationDidChangeNotification, nullptr);
}

void IVFullScreenAdWindow::stopListeningToDeviceOrientationNotifications() {
    if (!listening_) return;
    listening_ = false;
    if (!prevGeneratingOrientationNotifications_)
        UIDevice::currentDevice()->endGeneratingDeviceOrientationNotifications();
    NSNotificationCenter::defaultCenter()->removeObserver(
        this, UIDeviceOrientationDidChangeNotification, nullptr);
}

void IVFullScreenAdWindow::deviceOrientationDidChange(NSNotification*) {
    auto o = UIDevice::currentDevice()->orientation();
    if (!UIDeviceOrientationIsValidInterfaceOrientation(o) || !contentController_) return;
    // A script reading the accelerometer keeps the layout it has.
    auto accelerometerDelegate = UIAccelerometer::sharedAccelerometer()->delegate();
    if (accelerometerDelegate &&
        accelerometerDelegate.get() ==
            static_cast<UIAccelerometerDelegate*>(contentController_.get()))
        return;
    if (auto fs = as<IVFullScreenAdController>(contentController_); fs && fs->actionSheet()) {
        if (fs->actionSheet()->isVisible()) fs->displayActionSheetWithDismissAnimation(false);
        return;
    }
    layoutInterfaceWithAnimation(true);
}

void IVFullScreenAdWindow::layoutInterfaceWithAnimation(bool animated) {
    auto content = contentController_;
    if (!content) return;
    auto o = UIDevice::currentDevice()->orientation();
    CGAffineTransform t = IVUtil::transformForOrientation(static_cast<int>(o));
    if (!UIDeviceOrientationIsValidInterfaceOrientation(o)) {
        auto host = appWindow();
        auto subviews = host ? host->subviews() : nullptr;
        if (subviews && subviews->count() > 0)
            t = as<UIView>(subviews->objectAtIndex(0))->transform();
    }
    if (animated) {
        UIView::beginAnimations(nullptr, nullptr);
        UIView::setAnimationDuration(kOrientationAnimation);
    }
    content->view()->setTransform(t);
    if (animated) UIView::commitAnimations();
    content->view()->setFrame(UIScreen::mainScreen()->bounds());
    content->layout();
}

Ref<UIView> IVFullScreenAdWindow::statusBarView() {
    auto name = engine()->sbwPropName();
    if (!name || name->length() == 0) return nullptr;
    try {
        auto value = UIApplication::sharedApplication()->valueForKey(name.get());
        if (value && respondsTo(value.get(), Selector::named("setAlpha:")))
            return as<UIView>(value);
    } catch (const ExceptionRaised&) {
        // A key the application does not know: the status bar is hidden instead.
    }
    return nullptr;
}

void IVFullScreenAdWindow::fadeStatusBarView(UIView* view, float alpha, bool animated) {
    if (animated) {
        UIView::beginAnimations(nullptr, nullptr);
        UIView::setAnimationDuration(kStatusBarFade);
    }
    view->setAlpha(alpha);
    if (animated) UIView::commitAnimations();
}

void IVFullScreenAdWindow::hideStatusBarAnimated(bool animated) {
    auto app = UIApplication::sharedApplication();
    bool again = std::exchange(statusBarStateSaved_, true);
    if (!again) prevStatusBarHidden_ = app->isStatusBarHidden();
    if (prevStatusBarHidden_) return;
    if (auto bar = statusBarView()) {
        fadeStatusBarView(bar.get(), 0, animated);
        return;
    }
    if (again) {
        // The host's frame view found by the first hide is still the one to restore.
        app->setStatusBarHidden(true,
                                animated ? UIStatusBarAnimationFade : UIStatusBarAnimationNone);
        return;
    }
    // The host's view that fills the application frame, first subviews down from its window.
    hostAppFrameViewToRestore_ = nullptr;
    auto host = appWindow();
    if (!host) host = app->keyWindow();
    if (host && host.get() != this) {
        CGRect appFrame = UIScreen::mainScreen()->applicationFrame();
        auto subviews = host->subviews();
        Ref<UIView> view = subviews && subviews->count() > 0
                               ? as<UIView>(subviews->objectAtIndex(0))
                               : Ref<UIView>();
        while (view) {
            auto parent = view->superview();
            if (parent && CGRectEqualToRect(view->frame(),
                                            parent->convertRectFromView(appFrame, host.get()))) {
                hostAppFrameViewToRestore_ = view.get();
                break;
            }
            auto below = view->subviews();
            view = below && below->count() > 0 ? as<UIView>(below->objectAtIndex(0)) : nullptr;
        }
    }
    app->setStatusBarHidden(true, animated ? UIStatusBarAnimationFade : UIStatusBarAnimationNone);
}

void IVFullScreenAdWindow::restoreStatusBarAnimated(bool animated) {
    statusBarStateSaved_ = false;
    if (prevStatusBarHidden_) return;
    prevStatusBarHidden_ = true;
    if (auto bar = statusBarView()) {
        fadeStatusBarView(bar.get(), 1.0f, animated);
        return;
    }
    UIApplication::sharedApplication()->setStatusBarHidden(
        false, animated ? UIStatusBarAnimationFade : UIStatusBarAnimationNone);
    auto view = hostAppFrameViewToRestore_.lock();
    hostAppFrameViewToRestore_ = nullptr;
    auto parent = view ? view->superview() : nullptr;
    auto host = view ? view->window() : nullptr;
    if (!parent || !host) return;
    // The host laid itself out while the bar was away: its frame view fits the bar again.
    view->setFrame(
        parent->convertRectFromView(UIScreen::mainScreen()->applicationFrame(), host.get()));
}

void IVFullScreenAdWindow::applicationWillEnterForeground() {
    auto content = as<IVFullScreenAdController>(contentController_);
    bool displaying =
        isKeyWindow() || (content && content->shouldDisplayActionSheetOnEnterForeground());
    auto host = appWindow();
    if (displaying) {
        if (host) host->setHidden(true);
        makeKeyAndVisible();
        hideStatusBarAnimated(false);
    } else {
        if (host) {
            host->setHidden(false);
            host->makeKeyAndVisible();
        }
        restoreStatusBarAnimated(false);
    }
}

// ---- the controller -------------------------------------------------------------------------

void IVFullScreenAdController::describeClass(RuntimeClass& c) {
    using C = IVFullScreenAdController;
    c.method("displayActionSheet", &C::displayActionSheet)
        .method("showMenuButton", &C::showMenuButton)
        .method("actionSheet:didDismissWithButtonIndex:", &C::actionSheetDidDismissWithButtonIndex);
}

bool IVFullScreenAdController::init() {
    return initWithSlot(nullptr, nullptr, 0);
}

void IVFullScreenAdController::dealloc() {
    if (menuTimer_) menuTimer_->invalidate();
    IVAdViewInternal::dealloc();
}

bool IVFullScreenAdController::notifyDelegateAdReadyForSlotNamed(NSString* name) {
    auto it = delegateDict_.find(name ? name->utf8() : std::string());
    auto* delegate =
        it == delegateDict_.end() ? nullptr : dynamic_cast<IronvineDelegate*>(it->second.get());
    if (delegate) delegate->ironvineAdReadyForSlotNamed(name);
    return delegate != nullptr;
}

void IVFullScreenAdController::adDownloadedForSlotNamed(NSString* name) {
    if (engine()->serverReachability() == 0) return;
    // Ready as soon as the display script is in: a delayed answer comes from the script.
    if (!bridge()->isIVJSLoaded() && !(slot() && slot()->isDisplayed()))
        loadScriptAndExecute(
            NSString::stringWithFormat(NS("BridgeDisplay.notifyAdReadyDelayed('%@');"), name)
                .get());
    else
        notifyDelegateAdReadyForSlotNamed(name);
}

void IVFullScreenAdController::adContentWillLoad() {
    setExecModeSilently(1);
    engine()->fullScreenAdWindow()->displayController(this);
    adDisplayed();
    showAdLoadingIndicator();
}

void IVFullScreenAdController::adContentDidLoad() {
    hideAdLoadingIndicator();
}

void IVFullScreenAdController::layout() {
    IVAdViewInternal::layout();
    if (adLoadingIndicator_ && adLoadingIndicator_->view()->superview().get() == view().get()) {
        CGRect box = adLoadingIndicator_->view()->frame();
        CGRect b = view()->bounds();
        box.origin.x = (b.size.width - box.size.width) * 0.5;
        box.origin.y = (b.size.height - box.size.height) * 0.5;
        adLoadingIndicator_->view()->setFrame(box);
    }
    placeMenuButton();
}

void IVFullScreenAdController::prepareAdViewBrowserMode(bool on) {
    // The menu belongs to the ad: a page of the browser has none, and no pending timer brings
    // one over it.
    if (on) hideMenuButton();
    IVAdViewInternal::prepareAdViewBrowserMode(on);
}

void IVFullScreenAdController::applicationWillEnterForeground() {
    if (!shouldDisplayActionSheetOnEnterForeground_) return;
    shouldDisplayActionSheetOnEnterForeground_ = false;
    displayActionSheetWithDismissAnimation(false);
}

void IVFullScreenAdController::applicationDidEnterBackground() {
    if (actionSheet_) shouldDisplayActionSheetOnEnterForeground_ = true;
}

void IVFullScreenAdController::dismissAnimated(bool animated) {
    bool unshown = slot() && slot()->isDisplayed() &&
                   engine()->fullScreenAdWindow()->contentController().get() != this;
    hideMenuButton();
    IVAdViewInternal::dismissAnimated(animated);
    hideAdLoadingIndicator();
    if (unshown) releaseUnshownDisplay();
    if (auto s = slot()) {
        s->setIsDisplayed(false);
        engine()->adManager()->queueFetchForSlotNamed(s->slotDescription()->name().get());
    }
}

void IVFullScreenAdController::adDisplayFailedForSlotNamed(NSString* name) {
    IVAdViewInternal::adDisplayFailedForSlotNamed(name);
    auto s = slot();
    if (!s || !s->isDisplayed()) return;
    // Nothing will come to show: an open window closes rather than cover the host for good.
    if (engine()->fullScreenAdWindow()->contentController().get() == this)
        dismissAnimated(false);
    else
        releaseUnshownDisplay();
}

void IVFullScreenAdController::releaseUnshownDisplay() {
    if (auto s = slot()) s->setIsDisplayed(false);
    auto window = engine()->fullScreenAdWindow();
    // An expanded banner that came in meanwhile holds the flag for itself.
    if (!window->contentController()) window->setIsDisplaying(false);
}

void IVFullScreenAdController::hideMenuButton() {
    if (menuTimer_) menuTimer_->invalidate();
    menuTimer_ = nullptr;
    if (menuButton_) menuButton_->setHidden(true);
}

void IVFullScreenAdController::showMenuButton() {
    addMenuButton();
    if (!menuButton_) return;
    menuButton_->setAlpha(0);
    menuButton_->setHidden(false);
    UIView::beginAnimations(nullptr, nullptr);
    UIView::setAnimationDuration(kMenuFadeIn);
    menuButton_->setAlpha(1.0f);
    UIView::commitAnimations();
}

void IVFullScreenAdController::scheduleMenuButtonAppearance() {
    double t = engine()->menuDisplayTime();
    if (t > 0) {
        if (menuTimer_) menuTimer_->invalidate();
        Weak<IVFullScreenAdController> weak(this);
        menuTimer_ = NSTimer::scheduledTimerWithTimeInterval(t, false, [weak](NSTimer*) {
            if (auto self = weak.lock()) self->showMenuButton();
        });
    } else if (t == 0) {
        showMenuButton();
    } else {
        hideMenuButton();
    }
}

void IVFullScreenAdController::placeMenuButton() {
    if (!menuButton_) return;
    menuButton_->setFrame(CGRectMake(8, view()->bounds().size.height - 32, 64, 24));
}

void IVFullScreenAdController::addMenuButton() {
    if (menuButton_) menuButton_->removeFromSuperview();
    menuButton_ = nullptr;
    if (isBrowserMode()) return;
    menuButton_ = UIButton::buttonWithType(UIButtonTypeRoundedRect);
    menuButton_->setTitle(NS("Menu"), UIControlStateNormal);
    menuButton_->addTarget(this, Selector::named("displayActionSheet"),
                           UIControlEventTouchUpInside);
    menuButton_->setHidden(true);
    view()->addSubview(menuButton_.get());
    placeMenuButton();
}

void IVFullScreenAdController::displayActionSheetWithDismissAnimation(bool animated) {
    if (isBrowserMode()) return;
    hideMenuButton();
    if (actionSheet_) {
        auto old = actionSheet_;
        actionSheet_ = nullptr;
        old->setDelegate(nullptr);
        if (old->isVisible()) old->dismissWithClickedButtonIndex(-1, animated);
    }
    auto sheet = alloc<UIActionSheet>();
    sheet->initWithTitle(nullptr, this, nullptr, nullptr);
    sheet->setFrame(webView()->bounds());
    NSUInteger n = actionSheetButtons_ ? actionSheetButtons_->count() : 0;
    for (NSUInteger i = 0; i < n; ++i) {
        auto entry = as<NSDictionary>(actionSheetButtons_->objectAtIndex(i));
        sheet->addButtonWithTitle(as<NSString>(entry->objectForKey(NS("title"))).get());
    }
    sheet->addButtonWithTitle(NS("Skip"));
    actionSheet_ = sheet;
    sheet->showInView(webView().get());
    sheet->setContentMode(UIViewContentModeRedraw);
}

void IVFullScreenAdController::actionSheetDidDismissWithButtonIndex(UIActionSheet* sheet,
                                                                    NSInteger index) {
    if (index == -1) return;
    Ref<IVFullScreenAdController> keep(this);
    NSInteger n = actionSheetButtons_ ? static_cast<NSInteger>(actionSheetButtons_->count()) : 0;
    if (index >= 0 && index < n) {
        auto entry = as<NSDictionary>(actionSheetButtons_->objectAtIndex(index));
        bridge()->sendJavascriptCommand(as<NSString>(entry->objectForKey(NS("callback"))).get());
    } else {
        // The script decides whether its ad may be skipped now.
        auto answer = webView()->stringByEvaluatingJavaScriptFromString(NS("handleSkip();"));
        if (answer && answer->boolValue()) dismiss();
    }
    if (actionSheet_.get() == sheet) actionSheet_ = nullptr;
}

void IVFullScreenAdController::addButtonToActionSheet(NSString* title, NSString* callback) {
    if (!title || !callback) return;
    if (!actionSheetButtons_) actionSheetButtons_ = NSMutableArray::arrayWithCapacity(4);
    auto entry = NSMutableDictionary::dictionaryWithCapacity(2);
    entry->setObject(title, NS("title"));
    entry->setObject(callback, NS("callback"));
    actionSheetButtons_->addObject(entry.get());
}

void IVFullScreenAdController::prepareActionSheet() {
    actionSheetButtons_ = NSMutableArray::arrayWithCapacity(4);
    scheduleMenuButtonAppearance();
}

void IVFullScreenAdController::hideAdLoadingIndicator() {
    if (adLoadingIndicator_) adLoadingIndicator_->hide();
    adLoadingIndicator_ = nullptr;
    view()->setUserInteractionEnabled(true);
}

void IVFullScreenAdController::showAdLoadingIndicator() {
    if (!adLoadingIndicator_) {
        adLoadingIndicator_ = IVMessageBox::messageBox();
        auto spinner = alloc<UIActivityIndicatorView>();
        spinner->initWithActivityIndicatorStyle(UIActivityIndicatorViewStyleWhiteLarge);
        spinner->startAnimating();
        adLoadingIndicator_->addView(spinner.get());
        adLoadingIndicator_->setMessage(NS("Loading"));
    }
    adLoadingIndicator_->showInView(view().get());
    view()->setUserInteractionEnabled(false);
}

void IVFullScreenAdController::setDelegateForSlotNamed(NSObject* delegate, NSString* name) {
    if (!name) return;
    if (!delegate) {
        delegateDict_.erase(name->utf8());
        return;
    }
    delegateDict_[name->utf8()] = delegate;
    if (engine()->isAdReadyForSlotNamed(name)) adDownloadedForSlotNamed(name);
}

bool IVFullScreenAdController::displayAdForSlot(IVAdSlot* slot) {
    setSlot(slot);
    auto it =
        slot ? delegateDict_.find(slot->slotDescription()->name()->utf8()) : delegateDict_.end();
    setDelegate(it == delegateDict_.end() ? nullptr
                                          : dynamic_cast<IronvineDelegate*>(it->second.get()));
    return display();
}

bool IVFullScreenAdController::isDisplaying() {
    return slot() && slot()->isDisplayed();
}
