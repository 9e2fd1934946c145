#include "ads/ironvine/IVAdView.h"

#include <cmath>
#include <mutex>
#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UISegmentedControl.h"
#include "ads/ironvine/IVApplicationCommandHandler.h"
#include "ads/ironvine/IVAsyncCommand.h"
#include "ads/ironvine/IVAudioEngine.h"
#include "ads/ironvine/IVBase64.h"
#include "ads/ironvine/IVClientDriver.h"
#include "ads/ironvine/IVClientManager.h"
#include "ads/ironvine/IVCocoaCommandHandler.h"
#include "ads/ironvine/IVController.h"
#include "ads/ironvine/IVFullScreenAd.h"
#include "ads/ironvine/IVHosts.h"
#include "ads/ironvine/IVJavascriptBridge.h"
#include "ads/ironvine/IVResources.h"
#include "ads/ironvine/IVStandardCommandHandler.h"
#include "ads/ironvine/IVUtil.h"

namespace {
Ref<IVController> engine() {
    return IVController::sharedController();
}
}  // namespace

// ---- BridgeDisplay --------------------------------------------------------------------------

void IVDisplayCommandHandler::describeClass(RuntimeClass& c) {
    using H = IVDisplayCommandHandler;
    c.method("bridge_notifyAdDisplayFailedForSlotNamed:",
             &H::bridge_notifyAdDisplayFailedForSlotNamed)
        .method("bridge_notifyAdReadyDelayed:", &H::bridge_notifyAdReadyDelayed)
        .method("bridge_notifyAdContentDidLoad", &H::bridge_notifyAdContentDidLoad)
        .method("bridge_notifyAdContentWillLoad", &H::bridge_notifyAdContentWillLoad)
        .method("bridge_notifyAdViewNeedsDisplay", &H::bridge_notifyAdViewNeedsDisplay)
        .method("bridge_dismiss", &H::bridge_dismiss)
        .method("bridge_getViewBoundsWithCallback:", &H::bridge_getViewBoundsWithCallback)
        .method("bridge_captureAccelerometer:", &H::bridge_captureAccelerometer)
        .method("bridge_sendDriverCommand:", &H::bridge_sendDriverCommand)
        .method("bridge_requestURL:", &H::bridge_requestURL)
        .method("bridge_pingURL:timeout:callback:", &H::bridge_pingURLTimeoutCallback)
        .method("bridge_pingURL:", &H::bridge_pingURL)
        .method("bridge_trackImpression", &H::bridge_trackImpression)
        .method("bridge_prepareActionSheet", &H::bridge_prepareActionSheet)
        .method("bridge_addButtonToActionSheet:callback:",
                &H::bridge_addButtonToActionSheetCallback)
        .method("bridge_displayActionSheet", &H::bridge_displayActionSheet)
        .method("bridge_expand", &H::bridge_expand)
        .method("bridge_requestClickthroughWithCallback:",
                &H::bridge_requestClickthroughWithCallback);
}

bool IVDisplayCommandHandler::initWithAdController(IVAdViewInternal* controller) {
    if (!initWithName(NS("BridgeDisplay"))) return false;
    controller_ = controller;
    return true;
}

void IVDisplayCommandHandler::bridge_notifyAdDisplayFailedForSlotNamed(NSString* name) {
    if (auto c = controller_.lock()) c->adDisplayFailedForSlotNamed(name);
}
void IVDisplayCommandHandler::bridge_notifyAdReadyDelayed(NSString* name) {
    if (auto c = controller_.lock()) c->adReadyDelayed(name);
}
void IVDisplayCommandHandler::bridge_notifyAdContentDidLoad() {
    if (auto c = controller_.lock()) c->adContentDidLoad();
}
void IVDisplayCommandHandler::bridge_notifyAdContentWillLoad() {
    if (auto c = controller_.lock()) c->adContentWillLoad();
}
void IVDisplayCommandHandler::bridge_notifyAdViewNeedsDisplay() {
    if (auto c = controller_.lock()) c->adViewNeedsDisplay();
}
void IVDisplayCommandHandler::bridge_dismiss() {
    if (auto c = controller_.lock()) c->dismiss();
}
void IVDisplayCommandHandler::bridge_getViewBoundsWithCallback(NSString* callback) {
    auto c = controller_.lock();
    if (!c || !callback) return;
    CGRect b = c->webView()->bounds();
    send(NSString::stringWithFormat(callback, static_cast<double>(b.size.width),
                                    static_cast<double>(b.size.height))
             .get());
}
void IVDisplayCommandHandler::bridge_captureAccelerometer(NSString* interval) {
    auto c = controller_.lock();
    if (!c) return;
    engine()->setSdkAccelerometerUpdateInterval(interval ? interval->doubleValue() : 0);
    engine()->captureAccelerometer(c.get());
}
void IVDisplayCommandHandler::bridge_sendDriverCommand(NSString* command) {
    engine()->clientManager()->clientDriver()->executeCommand(command);
}
void IVDisplayCommandHandler::bridge_requestURL(NSString* url) {
    auto c = controller_.lock();
    if (auto u = url ? NSURL::URLWithString(url) : nullptr; c && u) c->requestPage(u.get());
}
void IVDisplayCommandHandler::bridge_pingURLTimeoutCallback(NSString* url, NSString* timeout,
                                                            NSString* callback) {
    if (auto c = controller_.lock())
        c->fetchUrl(url, timeout ? timeout->doubleValue() : 0, callback);
}
void IVDisplayCommandHandler::bridge_pingURL(NSString* url) {
    if (auto c = controller_.lock()) c->fetchUrl(url);
}
void IVDisplayCommandHandler::bridge_trackImpression() {
    if (auto c = controller_.lock()) c->trackImpression();
}
// The menu commands mean something only to the full-screen controller.
void IVDisplayCommandHandler::bridge_prepareActionSheet() {
    if (auto c = as<IVFullScreenAdController>(controller_.lock())) c->prepareActionSheet();
}
void IVDisplayCommandHandler::bridge_addButtonToActionSheetCallback(NSString* title,
                                                                    NSString* callback) {
    if (auto c = as<IVFullScreenAdController>(controller_.lock()))
        c->addButtonToActionSheet(title, callback);
}
void IVDisplayCommandHandler::bridge_expand() {
    if (auto c = controller_.lock()) c->expand();
}
// One click-through at a time, and none while another ad holds the full-screen window: the flag
// is taken in the same step as the test, the script's callback runs after the lock is left.
void IVDisplayCommandHandler::bridge_requestClickthroughWithCallback(NSString* callback) {
    auto c = controller_.lock();
    if (!c || !callback) return;
    auto window = engine()->fullScreenAdWindow();
    bool granted = false;
    {
        std::lock_guard<NSRecursiveLock> hold(window->displayLock());
        if (!window->isDisplaying() && !c->isRefreshing()) {
            window->setIsDisplaying(true);
            granted = true;
        }
    }
    if (granted) send(callback);
}
void IVDisplayCommandHandler::bridge_displayActionSheet() {
    if (auto c = as<IVFullScreenAdController>(controller_.lock())) c->displayActionSheet();
}

// ---- the controller -------------------------------------------------------------------------

void IVAdViewInternal::describeClass(RuntimeClass& c) {
    using C = IVAdViewInternal;
    c.method("loadScriptAndExecuteCallback:data:", &C::loadScriptAndExecuteCallback)
        .method("fetchUrlsStashedInDB:", &C::fetchUrlsStashedInDB)
        .method("adContentAnimationFinished", &C::adContentAnimationFinished)
        .method("segmentedControlValueChanged:", &C::segmentedControlValueChanged)
        .method("dismiss", &C::dismiss)
        .method("display", &C::display)
        .method("applicationDidLoadExternalAppURL", &C::applicationDidLoadExternalAppURL);
}

Ref<NSURL> IVAdViewInternal::baseURL() {
    return IVAdManager::adBaseURL();
}

bool IVAdViewInternal::initWithSlot(IVAdSlot* slot, IronvineDelegate* delegate,
                                    double refreshInterval) {
    if (!UIViewController::init()) return false;
    slot_ = slot;
    execMode_ = 0;
    connections_ = NSMutableArray::array();
    CGSize size = slot ? IVSizeForAdSize(slot->slotDescription()->size())
                       : UIScreen::mainScreen()->bounds().size;
    CGRect frame = CGRectMake(0, 0, size.width, size.height);
    // The full-screen controller takes its delegate per display and has no refresh.
    if (!controlsFullScreenSlot()) {
        delegate_ = delegate;
        setRefreshInterval(refreshInterval);
    }
    isRefreshing_ = false;
    auto view = make<UIView>(&UIView::initWithFrame, frame);
    view->setOpaque(true);
    view->setBackgroundColor(UIColor::blackColor().get());
    view->setAutoresizesSubviews(false);
    view->setClipsToBounds(true);
    // A banner takes touches once its first content has faded in; the full-screen controller's
    // view takes them from the start.
    view->setUserInteractionEnabled(controlsFullScreenSlot());
    setView(view.get());
    webView_ = make<UIWebView>(&UIWebView::initWithFrame, view->bounds());
    webView_->setDelegate(this);
    webView_->setClipsToBounds(true);
    webView_->setAllowsInlineMediaPlayback(true);
    standardHandler_ = make<IVStandardCommandHandler>();
    applicationHandler_ = make<IVApplicationCommandHandler>();
    audioHandler_ = make<IVAudioCommandHandler>();
    cocoaHandler_ = make<IVCocoaCommandHandler>();
    displayHandler_ = alloc<IVDisplayCommandHandler>();
    displayHandler_->initWithAdController(this);
    bridge_ = IVJavascriptBridge::bridgeInMode(0, webView_.get(), nullptr);
    bridge_->addCommandHandler(standardHandler_.get());
    bridge_->addCommandHandler(applicationHandler_.get());
    bridge_->addCommandHandler(audioHandler_.get());
    bridge_->addCommandHandler(cocoaHandler_.get());
    bridge_->addCommandHandler(displayHandler_.get());
    view->addSubview(webView_.get());
    view->sendSubviewToBack(webView_.get());
    navigationBar_ = make<UINavigationBar>(&UINavigationBar::initWithFrame,
                                           CGRectMake(0, 0, frame.size.width, 32));
    navigationBar_->setAutoresizesSubviews(false);
    navigationBar_->setBarStyle(UIBarStyleBlack);
    navigationBar_->setHidden(true);
    view->addSubview(navigationBar_.get());
    navigationItem_ = make<UINavigationItem>(&UINavigationItem::initWithTitle, nullptr);
    navigationBar_->pushNavigationItem(navigationItem_.get(), false);
    navigationLoadingIndicator_ = alloc<UIActivityIndicatorView>();
    navigationLoadingIndicator_->initWithActivityIndicatorStyle(UIActivityIndicatorViewStyleWhite);
    navigationItem_->setTitleView(navigationLoadingIndicator_.get());
    navigationControls_ = make<UISegmentedControl>(
        &UISegmentedControl::initWithItems,
        NSArray::arrayWithObjects(
            {IVResources::backButtonDisabled().get(), IVResources::forwardButtonDisabled().get()})
            .get());
    navigationControls_->addTarget(this, Selector::named("segmentedControlValueChanged:"),
                                   UIControlEventValueChanged);
    navigationControls_->setSegmentedControlStyle(UISegmentedControlStyleBar);
    navigationControls_->setMomentary(true);
    navigationControls_->setWidth(40, 0);
    navigationControls_->setWidth(40, 1);
    navigationControls_->setTintColor(UIColor::grayColor().get());
    navigationControls_->sizeToFit();
    navigationItem_->setRightBarButtonItem(
        make<UIBarButtonItem>(&UIBarButtonItem::initWithCustomView, navigationControls_.get())
            .get());
    disableNavigationControls();
    if (slot &&
        !engine()->adManager()->registerListener(this, slot->slotDescription()->name().get()))
        NSException::raise(NS("IVAdViewInternal initialization error."),
                           NS("No slot with the given name has been registered with the "
                              "IVAdEngine."));
    return true;
}

void IVAdViewInternal::dealloc() {
    if (delayedDisplay_) delayedDisplay_->invalidate();
    if (exitItemTimer_) exitItemTimer_->invalidate();
    if (observingBackground_) NSNotificationCenter::defaultCenter()->removeObserver(this);
    if (bridge_) bridge_->halt();
    if (webView_) webView_->setDelegate(nullptr);
    if (pageView_) pageView_->setDelegate(nullptr);
    UIViewController::dealloc();
}

void IVAdViewInternal::setExecMode(int32_t mode) {
    if (mode == execMode_) return;
    execMode_ = mode;
    bridge_->handleExecModeUpdate(mode);
}

void IVAdViewInternal::setRefreshInterval(double seconds) {
    if (controlsFullScreenSlot()) {
        NSLog(NS("IVAdEngine ignoring attempt to set refresh interval on a full-screen IVAdView."));
        return;
    }
    if (seconds > 0 && seconds < IVMinimumRefreshIntervalSeconds)
        NSException::raise(
            NSInvalidArgumentException,
            NS("Attempt to set refresh interval for slot named %@ less than the minimum value of "
               "%d seconds"),
            slot_ ? slot_->slotDescription()->name().get() : NS(""),
            static_cast<int>(IVMinimumRefreshIntervalSeconds));
    refreshInterval_ = seconds > 0 ? seconds : 0;
}

void IVAdViewInternal::loadScriptAndExecute(NSString* command) {
    auto path = engine()->clientManager()->pathForComponent(NS("display"));
    auto context = IVCallbackContext::contextWithCallbackInvocation(
        IVInvocation(this, "loadScriptAndExecuteCallback:data:", {command, nullptr}).get(), true);
    engine()->ioRequestManager()->sendAsyncCommand(
        IVIOReadRequest::requestWithPathToRead(path.get(), context.get()).get());
}

void IVAdViewInternal::loadScriptAndExecuteCallback(NSString* command, NSData* data) {
    if (!data) return;
    std::string text(static_cast<const char*>(data->bytes()), data->length());
    if (auto zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
    bridge_->loadJavascriptString(NSString::fromUTF8(text).get(), command, baseURL().get());
}

void IVAdViewInternal::adDownloadedForSlotNamed(NSString*) {
    if (engine()->serverReachability() == 0) return;
    // A host that refreshes by hand is not overtaken by downloads.
    if (lastDisplayTime_ != 0 && !(refreshInterval_ > 0)) return;
    requestDisplay(true);
}

void IVAdViewInternal::requestDisplay(bool automatic) {
    double elapsed = IVAdManager::nowSince1970() - lastDisplayTime_;
    if (!(refreshInterval_ > 0)) {
        if (elapsed >= IVMinimumRefreshIntervalSeconds) display();
        return;
    }
    double threshold = automatic ? refreshInterval_ : IVMinimumRefreshIntervalSeconds;
    if (elapsed >= threshold) {
        display();
        return;
    }
    if (!automatic) {
        NSLog(NS("IVAdEngine: Ignoring refresh attempt because the interval of %d seconds has not "
                 "yet passed before the previous display."),
              static_cast<int>(IVMinimumRefreshIntervalSeconds));
        return;
    }
    if (delayedDisplay_) delayedDisplay_->invalidate();
    Weak<IVAdViewInternal> weak(this);
    delayedDisplay_ = NSTimer::scheduledTimerWithTimeInterval(refreshInterval_ - elapsed, false,
                                                              [weak](NSTimer*) {
                                                                  if (auto self = weak.lock())
                                                                      self->requestDisplay(true);
                                                              });
}

bool IVAdViewInternal::display() {
    if (isExpanded_ || isRefreshing_ || !slot_ || slot_->nextAdDlTime() == 0) return false;
    // A banner waits while another ad holds the full-screen window.
    if (!controlsFullScreenSlot() && engine()->fullScreenAdWindow()->isDisplaying()) return false;
    NSObject::cancelPreviousPerformRequestsWithTarget(this, Selector::named("display"), nullptr);
    if (delayedDisplay_) {
        delayedDisplay_->invalidate();
        delayedDisplay_ = nullptr;
    }
    slot_->setIsDisplayed(true);
    shouldWipeContentOnDismiss_ = false;
    hasDisplayedCurrentAd_ = false;
    CGSize size = IVSizeForAdSize(slot_->slotDescription()->size());
    bool fullScreen = slot_->slotDescription()->size() == IVAdSizeFullScreen;
    auto command = NSString::stringWithFormat(
        NS("displayAd('%@',%qi,%d,%d,%d,%d);"), slot_->slotDescription()->name(),
        slot_->nextAdDlTime(), static_cast<int>(std::floor(size.width)),
        static_cast<int>(std::floor(size.height)), fullScreen ? 1 : 0,
        engine()->serverReachability());
    // A full-screen ad's commands are polled at the foreground rate.
    if (controlsFullScreenSlot()) setExecMode(1);
    view()->setFrame(CGRectMake(0, 0, size.width, size.height));
    prepareAdViewBrowserMode(false);
    if (bridge_->isIVJSLoaded()) {
        bridge_->sendJavascriptCommand(command.get());
        // Only a banner's transition ends in its content's fade-in; the full-screen controller
        // has none, and a flag set here would refuse its every later display.
        if (!controlsFullScreenSlot()) {
            view()->setUserInteractionEnabled(false);
            isRefreshing_ = true;
            if (UIView* container = containerView()) {
                UIView::beginAnimations(NS("fadeOut"), nullptr);
                UIView::setAnimationDuration(0.5);
                container->setAlpha(0);
                UIView::commitAnimations();
            }
        }
    } else {
        loadScriptAndExecute(command.get());
    }
    return true;
}

void IVAdViewInternal::refresh() {
    if (hasDisplayedCurrentAd_) {
        requestDisplay(false);
        return;
    }
    NSLog(NS("IVAdEngine: Ignoring refresh attempt for slot named %@ because the ad currently "
             "ready to be displayed for that slot has not yet been displayed."),
          slot_ ? slot_->slotDescription()->name().get() : NS(""));
}

bool IVAdViewInternal::isAdReady() {
    return bridge_->isIVJSLoaded();
}

UIView* IVAdViewInternal::containerView() {
    UIView* found = view().get();
    CGRect frame = found->frame();
    for (auto up = found->superview(); up; up = up->superview()) {
        if (up->frame().size.width == frame.size.width &&
            up->frame().size.height == frame.size.height)
            found = up.get();
    }
    return found;
}

void IVAdViewInternal::adContentDidLoad() {
    UIView* container = containerView();
    if (container->alpha() == 0) {
        view()->setAlpha(1);
        UIView::beginAnimations(NS("fadeIn"), nullptr);
        UIView::setAnimationDuration(0.5);
        UIView::setAnimationDelegate(this);
        UIView::setAnimationDidStopSelector(Selector::named("adContentAnimationFinished"));
        container->setAlpha(1);
        UIView::commitAnimations();
    } else {
        adContentAnimationFinished();
    }
    if (slot_) notifyDelegateAdReadyForSlotNamed(slot_->slotDescription()->name().get());
}

void IVAdViewInternal::adContentAnimationFinished() {
    view()->setUserInteractionEnabled(true);
    isRefreshing_ = false;
}

void IVAdViewInternal::adDisplayFailedForSlotNamed(NSString*) {
    hasDisplayedCurrentAd_ = true;
    isRefreshing_ = false;
    view()->setUserInteractionEnabled(true);
}

void IVAdViewInternal::adViewNeedsDisplay() {
    if (auto super = view()->superview()) super->setNeedsDisplay();
}

void IVAdViewInternal::adDisplayed() {
    // Once per display: the view is drawn again whenever it is rendered, and another run would
    // make the waiting ad current unseen and delete the one on show.
    if (!bridge_->isIVJSLoaded() || !slot_ || hasDisplayedCurrentAd_) return;
    lastDisplayTime_ = IVAdManager::nowSince1970();
    hasDisplayedCurrentAd_ = true;
    int64_t old = slot_->dlTime();
    slot_->setDlTime(slot_->nextAdDlTime());
    slot_->setNextAdDlTime(0);
    bridge_->sendJavascriptCommand(NS("adViewDisplayed();"));
    auto name = slot_->slotDescription()->name();
    bool banner = slot_->slotDescription()->size() != IVAdSizeFullScreen;
    if (old != 0)
        engine()->adManager()->deleteAd(old, name.get(), banner);
    else if (banner)
        engine()->adManager()->queueFetchForSlotNamed(name.get());
}

void IVAdViewInternal::applicationWillEnterForeground() {
    if (lastDisplayTime_ != 0) {
        if (refreshInterval_ > 0) refresh();
        return;
    }
    containerView()->setAlpha(0);
    view()->setUserInteractionEnabled(false);
    refresh();
}

bool IVAdViewInternal::sendDelegateNotification(SEL selector, NSObject* object) {
    auto d = delegate_.lock();
    if (!d || !selector) return false;
    // The protocol's own calls have no-op defaults, so every delegate answers them.
    static const SEL ready = Selector::named("ironvineAdReadyForSlotNamed:");
    static const SEL willOpen = Selector::named("ironvineFullScreenDisplayWillOpen");
    static const SEL willClose = Selector::named("ironvineFullScreenDisplayWillClose");
    static const SEL memory = Selector::named("ironvineDidReceiveMemoryWarning");
    if (selector == ready)
        d->ironvineAdReadyForSlotNamed(as<NSString>(object).get());
    else if (selector == willOpen)
        d->ironvineFullScreenDisplayWillOpen();
    else if (selector == willClose)
        d->ironvineFullScreenDisplayWillClose();
    else if (selector == memory)
        d->ironvineDidReceiveMemoryWarning();
    else if (NSObject* target = objc_detail::objectOf(d.get()); respondsTo(target, selector))
        target->performSelector(selector, object);
    else
        return false;
    return true;
}

bool IVAdViewInternal::notifyDelegateAdReadyForSlotNamed(NSString* name) {
    return sendDelegateNotification(Selector::named("ironvineAdReadyForSlotNamed:"), name);
}

bool IVAdViewInternal::notifyDelegateDidReceiveMemoryWarning() {
    return sendDelegateNotification(Selector::named("ironvineDidReceiveMemoryWarning"));
}

bool IVAdViewInternal::notifyDelegateFullScreenAdDisplayWillClose() {
    engine()->fullScreenAdDisplayWillClose();
    return sendDelegateNotification(Selector::named("ironvineFullScreenDisplayWillClose"));
}

bool IVAdViewInternal::notifyDelegateFullScreenAdDisplayWillOpen() {
    return sendDelegateNotification(Selector::named("ironvineFullScreenDisplayWillOpen"));
}

void IVAdViewInternal::placeWebView() {
    CGRect b = view()->bounds();
    if (!navigationBar_->isHidden()) {
        b.origin.y += 32;
        b.size.height -= 32;
    }
    webView()->setFrame(b);
}

void IVAdViewInternal::layout() {
    navigationBar_->setFrame(CGRectMake(0, 0, view()->bounds().size.width, 32));
    placeWebView();
    if (!isBrowserMode_ && bridge_->isIVJSLoaded()) {
        CGRect b = webView_->bounds();
        bridge_->sendJavascriptCommand(
            NSString::stringWithFormat(NS("centerAd(%f,%f,false);"),
                                       static_cast<double>(b.size.width),
                                       static_cast<double>(b.size.height))
                .get());
    }
}

void IVAdViewInternal::fullScreenAdWindowWillOpen() {
    notifyDelegateFullScreenAdDisplayWillOpen();
}

void IVAdViewInternal::fullScreenAdWindowWillClose() {
    notifyDelegateFullScreenAdDisplayWillClose();
}

void IVAdViewInternal::fullScreenAdWindowDidClose() {
    if (refreshInterval_ > 0) requestDisplay(false);
}

// ---- impressions and pings ------------------------------------------------------------------

void IVAdViewInternal::trackImpression() {
    if (!slot_) return;
    auto context = IVCallbackContext::contextWithCallbackInvocation(
        IVInvocation(this, "fetchUrlsStashedInDB:", {nullptr}).get(), true);
    engine()->sendDatabaseQuery(
        IVDBQuery::queryWithQuery(
            NS("SELECT trackers FROM ads WHERE slotName=? AND dlTime=?"),
            NSArray::arrayWithObjects({slot_->slotDescription()->name().get(),
                                       NSNumber::numberWithLongLong(slot_->dlTime()).get()})
                .get(),
            context.get())
            .get());
}

void IVAdViewInternal::fetchUrlsStashedInDB(NSArray* rows) {
    if (!rows) return;
    for (NSObject* item : *rows) {
        auto row = as<NSArray>(item);
        if (!row || row->count() != 1) continue;
        auto trackers = row->objectAtIndex(0)->description();
        if (trackers->length() == 0) continue;
        auto pieces = trackers->componentsSeparatedByString(NS("$$IVURL$$"));
        for (NSObject* piece : *pieces) {
            auto url = IVBase64::stringWithBase64String(static_cast<NSString*>(piece));
            if (url && url->length() > 0) fetchUrl(url.get());
        }
    }
}

void IVAdViewInternal::fetchUrl(NSString* url, double timeout, NSString* callback) {
    auto target = url ? NSURL::URLWithString(url) : nullptr;
    if (!target) return;
    auto request = NSURLRequest::requestWithURL(target.get());
    Ref<NSObject> userData =
        callback ? NSDictionary::dictionaryWithObject(callback, NS("callback")) : nullptr;
    auto connection = timeout > 0 ? IVDownloadConnection::timedConnectionWithURLRequest(
                                        request.get(), this, userData.get(), timeout)
                                  : IVDownloadConnection::connectionWithURLRequest(
                                        request.get(), this, userData.get());
    if (connection) connections_->addObject(connection.get());
}

void IVAdViewInternal::finishDownload(IVDownloadConnection* connection, int outcome) {
    Ref<IVDownloadConnection> keep(connection);
    auto info = as<NSDictionary>(connection->userData());
    auto callback = info ? as<NSString>(info->objectForKey(NS("callback"))) : nullptr;
    if (callback) bridge_->sendJavascriptCommand(IVFillCallback(callback.get(), outcome).get());
    connections_->removeObjectIdenticalTo(connection);
}

void IVAdViewInternal::downloadTimedOut(IVDownloadConnection* connection) {
    finishDownload(connection, 0);
}
void IVAdViewInternal::downloadFailed(IVDownloadConnection* connection) {
    finishDownload(connection, 0);
}
void IVAdViewInternal::downloadSucceeded(IVDownloadConnection* connection) {
    finishDownload(connection, 1);
}

void IVAdViewInternal::accelerometer(UIAccelerometer*, UIAcceleration* a) {
    bridge_->sendJavascriptCommand(
        NSString::stringWithFormat(NS("accelerometerDidAccelerate(%f, %f, %f)"), a->x(), a->y(),
                                   a->z())
            .get());
}

// ---- links and pages ------------------------------------------------------------------------

bool IVAdViewInternal::webViewShouldStartLoadWithRequest(UIWebView* webView, NSURLRequest* request,
                                                         UIWebViewNavigationType type) {
    auto url = request ? request->URL() : nullptr;
    auto scheme = url ? url->scheme() : nullptr;
    if (!scheme) return false;
    if (scheme->isEqualToString(NS("file"))) return true;
    if (scheme->isEqualToString(NS("about"))) return false;
    if (scheme->isEqualToString(NS("http")) || scheme->isEqualToString(NS("https"))) {
        if (IVUtil::URLWillLoadExternalApp(url.get())) {
            handleClickthroughToExternalAppURL(url.get());
            return false;
        }
        if (type == UIWebViewNavigationTypeOther || isBrowserMode_) return true;
        requestPage(url.get());
        return false;
    }
    if (scheme->isEqualToString(NS("ironvine"))) {
        auto host = url->host();
        if (host && host->isEqualToString(NS("ct")))
            webView->stringByEvaluatingJavaScriptFromString(
                NSString::stringWithFormat(NS("handleClickthrough(\"%@\");"), url->description())
                    .get());
        return false;
    }
    UIApplication::sharedApplication()->openURL(url.get());
    return false;
}

void IVAdViewInternal::handleClickthroughToExternalAppURL(NSURL* url) {
    if (!observingBackground_) {
        observingBackground_ = true;
        NSNotificationCenter::defaultCenter()->addObserver(
            this, Selector::named("applicationDidLoadExternalAppURL"),
            UIApplicationDidEnterBackgroundNotification, nullptr);
    }
    UIApplication::sharedApplication()->openURL(url);
}

void IVAdViewInternal::applicationDidLoadExternalAppURL() {
    Ref<IVAdViewInternal> keep(this);
    observingBackground_ = false;
    NSNotificationCenter::defaultCenter()->removeObserver(
        this, UIApplicationDidEnterBackgroundNotification, nullptr);
    if (!controlsFullScreenSlot() && !isExpanded_)
        engine()->fullScreenAdWindow()->setIsDisplaying(false);
    else
        dismissAnimated(false);
    // After the closing, which counts an expanded banner back in its slot as displayed: back
    // from the other app, the banner loads anew.
    lastDisplayTime_ = 0;
}

void IVAdViewInternal::requestPage(NSURL* url) {
    // Its browser is open already, on the page of the first of a double tap's click-throughs.
    if (isBrowserMode_) return;
    shouldWipeContentOnDismiss_ = true;
    if (IVUtil::URLWillLoadExternalApp(url)) {
        handleClickthroughToExternalAppURL(url);
        return;
    }
    if (!controlsFullScreenSlot()) openPageView();
    if (controlsFullScreenSlot() || isExpanded_) {
        if (auto host = engine()->fullScreenAdWindow()->appWindow()) host->setHidden(true);
        prepareAdViewBrowserMode(true);
    } else {
        isBrowserMode_ = true;
        scheduleExitItem();
        disableNavigationControls();
        expand();
    }
    engine()->releaseAccelerometer();
    markAsLoading(true);
    auto page = webView();
    page->setScalesPageToFit(true);
    auto host = url->host();
    if (host && host->isEqualToString(NSString::fromUTF8(IVVideoHost).get())) {
        // The video site's pages show through the embedded-video template.
        CGSize screen = UIScreen::mainScreen()->bounds().size;
        auto html = NSString::stringWithFormat(
            IVResources::youtubeTemplateHTML().get(), static_cast<int>(screen.width),
            url->absoluteString(), static_cast<double>(screen.width),
            static_cast<double>(screen.height));
        page->loadData(html->dataUsingEncoding(NSUTF8StringEncoding).get(), NS("text/html"),
                       NS("utf-8"), url);
        return;
    }
    page->loadRequest(NSURLRequest::requestWithURL(url).get());
    // A call leaves nothing to wait for: done at once.
    if (auto scheme = url->scheme(); scheme && scheme->isEqualToString(NS("tel")))
        showNavigationExitItem();
}

void IVAdViewInternal::dismissAnimated(bool animated) {
    Ref<IVAdViewInternal> keep(this);
    if (isLoading_) {
        webView()->stopLoading();
        // The bridge's page was the one replaced, unless a banner's page had a view of its own.
        if (!pageView_) bridge_->webViewDidFailLoadWithError(webView_.get(), nullptr);
        navigationLoadingIndicator_->stopAnimating();
        isLoading_ = false;
    }
    engine()->releaseAccelerometer();
    webView()->setScalesPageToFit(false);
    prepareAdViewBrowserMode(false);
    // Only the window's own content: a banner that never expanded must not close another ad.
    // The window drops the page once it has faded out with it.
    auto window = engine()->fullScreenAdWindow();
    if (window->contentController().get() == this)
        window->dismissAnimated(animated);
    else
        closePageView();
    setExecMode(0);
    hideNavigationExitItem();
    if (controlsFullScreenSlot()) return;
    // Back in its slot with the ad it showed: a return to the foreground keeps it in sight.
    if (isExpanded_) lastDisplayTime_ = displayedBeforeExpanding_;
    isExpanded_ = false;
    // The ad that came while the banner was out shows once the window has gone.
    if (animated && slot_ && slot_->nextAdDlTime() != 0)
        performSelector(Selector::named("display"), nullptr, 3.0);
}

void IVAdViewInternal::expand() {
    if (controlsFullScreenSlot()) return;
    auto window = engine()->fullScreenAdWindow();
    // Tapped again while its browser's window fades out: that close ends first.
    if (window->contentController().get() == this) window->finishClosing();
    // The window shows one content at a time.
    if (auto other = window->contentController(); other && other.get() != this) return;
    isExpanded_ = true;
    displayedBeforeExpanding_ = lastDisplayTime_;
    lastDisplayTime_ = 0;
    setExecMode(1);
    // Taken as a full-screen display takes it, so that no full-screen ad opens over this one.
    window->setIsDisplaying(true);
    window->displayController(this);
}

void IVAdViewInternal::adViewWillExpand() {
    bridge_->sendJavascriptCommand(NS("RichAd.adViewWillExpand();"));
}

void IVAdViewInternal::adViewDidCollapse() {
    bridge_->sendJavascriptCommand(NS("RichAd.adViewDidCollapse();"));
}

void IVAdViewInternal::scheduleExitItem() {
    double after = engine()->exitItemDisplayTime();
    if (after == 0) return;
    hideNavigationExitItem();
    if (exitItemTimer_) exitItemTimer_->invalidate();
    Weak<IVAdViewInternal> weak(this);
    exitItemTimer_ = NSTimer::scheduledTimerWithTimeInterval(after, false, [weak](NSTimer*) {
        if (auto self = weak.lock()) self->showNavigationExitItem();
    });
}

void IVAdViewInternal::openPageView() {
    if (pageView_) return;
    pageView_ = make<UIWebView>(&UIWebView::initWithFrame, webView_->frame());
    pageView_->setDelegate(this);
    pageView_->setClipsToBounds(true);
    pageView_->setAllowsInlineMediaPlayback(true);
    // Under the browser's bar.
    view()->insertSubview(pageView_.get(), webView_.get());
    webView_->setHidden(true);
}

Ref<UIWebView> IVAdViewInternal::detachPageView() {
    auto page = std::move(pageView_);
    if (!page) return nullptr;
    page->setDelegate(nullptr);
    webView_->setHidden(false);
    placeWebView();
    return page;
}

void IVAdViewInternal::closePageView() {
    if (auto page = detachPageView()) page->removeFromSuperview();
}

void IVAdViewInternal::prepareAdViewBrowserMode(bool on) {
    webView()->setScalesPageToFit(on);
    if (on && !isBrowserMode_) {
        scheduleExitItem();
        disableNavigationControls();
    }
    isBrowserMode_ = on;
    UIView::beginAnimations(nullptr, nullptr);
    UIView::setAnimationDuration(0.5);
    if (on)
        showNavigationBar();
    else
        hideNavigationBar();
    UIView::commitAnimations();
}

void IVAdViewInternal::segmentedControlValueChanged(NSObject* sender) {
    auto control = as<UISegmentedControl>(sender);
    if (control && control->selectedSegmentIndex() == 0)
        webView()->goBack();
    else
        webView()->goForward();
}

void IVAdViewInternal::hideNavigationExitItem() {
    navigationItem_->setLeftBarButtonItem(nullptr);
}

void IVAdViewInternal::showNavigationExitItem() {
    if (navigationItem_->leftBarButtonItem()) return;
    navigationItem_->setLeftBarButtonItem(
        make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                              UIBarButtonSystemItemDone, this, Selector::named("dismiss"))
            .get(),
        true);
}

void IVAdViewInternal::hideNavigationLoadingIndicatorItem() {
    UIView::beginAnimations(nullptr, nullptr);
    navigationItem_->setTitleView(nullptr);
    UIView::commitAnimations();
}

void IVAdViewInternal::showNavigationLoadingIndicatorItem() {
    UIView::beginAnimations(NS("showNavigationLoadingIndicatorItem"), nullptr);
    navigationItem_->setTitleView(navigationLoadingIndicator_.get());
    UIView::commitAnimations();
}

void IVAdViewInternal::hideNavigationBar() {
    if (navigationBar_->isHidden()) return;
    navigationBar_->setHidden(true);
    navigationBar_->setAlpha(0);
    placeWebView();
}

void IVAdViewInternal::showNavigationBar() {
    if (!navigationBar_->isHidden()) return;
    navigationBar_->setHidden(false);
    navigationBar_->setAlpha(1);
    placeWebView();
}

void IVAdViewInternal::disableNavigationControls() {
    navigationControls_->setImage(IVResources::backButtonDisabled().get(), 0);
    navigationControls_->setImage(IVResources::forwardButtonDisabled().get(), 1);
    navigationControls_->setEnabled(false, 0);
    navigationControls_->setEnabled(false, 1);
}

void IVAdViewInternal::enableNavigationControls() {
    // Back only to a page that was reached from another, not to the ad's own.
    auto page = webView();
    auto referrer = page->stringByEvaluatingJavaScriptFromString(NS("document.referrer"));
    bool back = page->canGoBack() && referrer && referrer->length() > 0;
    bool forward = page->canGoForward();
    navigationControls_->setImage(
        (back ? IVResources::backButton() : IVResources::backButtonDisabled()).get(), 0);
    navigationControls_->setEnabled(back, 0);
    navigationControls_->setImage(
        (forward ? IVResources::forwardButton() : IVResources::forwardButtonDisabled()).get(), 1);
    navigationControls_->setEnabled(forward, 1);
}

void IVAdViewInternal::markAsLoading(bool loading) {
    isLoading_ = loading;
    if (loading) {
        navigationLoadingIndicator_->startAnimating();
        return;
    }
    navigationLoadingIndicator_->stopAnimating();
    if (isBrowserMode_) showNavigationExitItem();
}

// The ad's own loads beneath a page are not the browser's.
void IVAdViewInternal::webViewDidStartLoad(UIWebView* webView) {
    if (isBrowserMode_ && webView == this->webView().get()) markAsLoading(true);
}

void IVAdViewInternal::webViewDidFinishLoad(UIWebView* webView) {
    if (!isBrowserMode_ || webView != this->webView().get()) return;
    markAsLoading(false);
    enableNavigationControls();
}

void IVAdViewInternal::webViewDidFailLoadWithError(UIWebView* webView, NSError*) {
    if (webView == this->webView().get()) markAsLoading(false);
}

// ---- the public view ------------------------------------------------------------------------

Ref<IVAdView> IVAdView::adViewForSlotNamed(NSString* name, IronvineDelegate* delegate,
                                           double refreshInterval) {
    auto c = engine();
    auto slot = c->adManager() ? c->adManager()->slotForName(name) : nullptr;
    if (!slot)
        NSException::raise(NS("IVAdView retrieval failure."),
                           NS("Attempt to retrieve a IVAdView instance using a slot name which "
                              "has not been registered with the IVAdEngine."));
    if (auto existing = c->viewForSlotNamed(name)) {
        existing->setDelegate(delegate);
        existing->setRefreshInterval(refreshInterval);
        return existing;
    }
    auto view = alloc<IVAdView>();
    view->initWithSlot(slot.get(), delegate, refreshInterval);
    c->registerView(view.get(), name);
    return view;
}

bool IVAdView::initWithSlot(IVAdSlot* slot, IronvineDelegate* delegate, double refreshInterval) {
    CGSize size = IVSizeForAdSize(slot->slotDescription()->size());
    if (!UIView::initWithFrame(CGRectMake(0, 0, size.width, size.height))) return false;
    setAutoresizingMask(UIViewAutoresizingNone);
    controller_ = alloc<IVAdViewInternal>();
    controller_->initWithSlot(slot, delegate, refreshInterval);
    addSubview(controller_->view().get());
    return true;
}

void IVAdView::drawRect(CGRect) {
    controller_->adDisplayed();
}
void IVAdView::applicationWillEnterForeground() {
    controller_->applicationWillEnterForeground();
}
void IVAdView::setRefreshInterval(double seconds) {
    controller_->setRefreshInterval(seconds);
}
void IVAdView::setDelegate(IronvineDelegate* delegate) {
    controller_->setDelegate(delegate);
}
void IVAdView::refresh() {
    controller_->refresh();
}
