#include "ads/meridian/MROverlayView.h"

#include <algorithm>
#include <cmath>

#include "CoreGraphics/CGContext.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIToolbar.h"
#include "UIKit/UIWindow.h"
#include "ads/meridian/MRBasicAd.h"
#include "ads/meridian/MRHosts.h"
#include "ads/meridian/MRProgress.h"

namespace {
// The bottom bar's arrows, 30 x 30 PNG.
const char* const kBackIcon =
    "iVBORw0KGgoAAAANSUhEUgAAAB4AAAAeCAYAAAA7MK6iAAAATUlEQVR42u3VwQkAIAwEwfTf9Onbj0hiVuGmgUXUJMLMXq"
    "c"
    "JibaGtWgPXg9rA4mWh3WgPVgSVsKfJ8bvGH/V+D9GJxc+q/HthO9jM9QA82HqJOGSQ2kAAAAASUVORK5CYII=";
const char* const kForwardIcon =
    "iVBORw0KGgoAAAANSUhEUgAAAB4AAAAeCAYAAAA7MK6iAAAAR0lEQVR42u3WQQ4AEAxEUfe/"
    "9LC2QdBJ2v8u8NtE0BqACBp"
    "sYUtcE1s4bAAt2MLf4jpgCz8dQBfyb1zjVOe/uWq8TvxKgF0dNsHqJAkr64cAAAAASUVORK5CYII=";
constexpr CGFloat kBarHeight = 44;
constexpr CGFloat kStatusBarHeight = 20;
constexpr CGFloat kModalInset = 10;
constexpr CGFloat kModalTitleHeight = 30;

bool isEmpty(NSString* s) {
    return !s || s->length() == 0;
}

void stopTimer(Ref<NSTimer>& timer) {
    if (timer) timer->invalidate();
    timer = nullptr;
}

Ref<UIBarButtonItem> systemItem(UIBarButtonSystemItem item, NSObject* target, const char* action) {
    auto button = alloc<UIBarButtonItem>();
    button->initWithBarButtonSystemItem(item, target, action ? Selector::named(action) : nullptr);
    return button;
}
// The stop sign that closes the overlay: assistive technology reads it by what it does.
Ref<UIBarButtonItem> closeItem(NSObject* target) {
    auto button = systemItem(UIBarButtonSystemItemStop, target, "closeButtonClicked");
    button->setAccessibilityLabel(NS("Close"));
    return button;
}
}  // namespace

void MROverlayView::describeClass(RuntimeClass& c) {
    c.method("close", &MROverlayView::close);
    c.method("closeButtonClicked", &MROverlayView::closeButtonClicked);
    c.method("back:", &MROverlayView::back);
    c.method("forward:", &MROverlayView::forward);
    c.method("postDismissCleanup", &MROverlayView::postDismissCleanup);
    c.method("bottomBarToBeShown:", &MROverlayView::bottomBarToBeShown);
    c.method("bottomBarToBeEnabled:", &MROverlayView::bottomBarToBeEnabled);
    c.method("closeNotification:", &MROverlayView::closeNotification);
    c.method("shouldCloseOverlay:", &MROverlayView::shouldCloseOverlay);
    c.method("shouldEnableBottomBar:", &MROverlayView::shouldEnableBottomBar);
    c.method("shouldShowBottomBar:", &MROverlayView::shouldShowBottomBar);
}

bool MROverlayView::initWithType(int32_t type, MROverlayDelegate* delegate) {
    if (!UIView::initWithFrame(CGRectZero)) return false;
    delegate_ = delegate;
    overlayType_ = type;
    auto device = UIDevice::currentDevice();
    wasGeneratingDeviceNotifications_ = device->isGeneratingDeviceOrientationNotifications();
    if (!wasGeneratingDeviceNotifications_) device->beginGeneratingDeviceOrientationNotifications();
    auto center = NSNotificationCenter::defaultCenter();
    center->addObserver(this, Selector::named("closeNotification:"), NS("CloseMROverlay"), nullptr);
    center->addObserver(this, Selector::named("bottomBarToBeShown:"), NS("MRBottomBarToBeShown"),
                        nullptr);
    center->addObserver(this, Selector::named("bottomBarToBeEnabled:"),
                        NS("MRBottomBarToBeEnabled"), nullptr);
    notifyCloseDelegates_ = true;
    notifyOpenDelegates_ = true;
    transitionDuration_ = type == MROverlayTypeModal ? 0.3 : 0.5;
    headerTitle_ = NS("Advertisement");
    setAutoresizesSubviews(true);
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    setContentMode(UIViewContentModeRedraw);
    interfaceOrientation_ = int32_t(UIApplication::sharedApplication()->statusBarOrientation());
    webView_ = make<UIWebView>(&UIWebView::initWithFrame, CGRectZero);
    webView_->setMediaPlaybackRequiresUserAction(false);
    webView_->setAllowsInlineMediaPlayback(true);
    webView_->setDelegate(this);
    spinner_ = alloc<UIActivityIndicatorView>();
    spinner_->initWithActivityIndicatorStyle(UIActivityIndicatorViewStyleWhiteLarge);
    return true;
}

void MROverlayView::dealloc() {
    auto accelerometer = UIAccelerometer::sharedAccelerometer();
    if (isAccelerometerEnabled_ && accelerometer->delegate().get() == this)
        accelerometer->setDelegate(nullptr);
    if (!wasGeneratingDeviceNotifications_)
        UIDevice::currentDevice()->endGeneratingDeviceOrientationNotifications();
    stopPolls();
    modalTitleLabel_ = nullptr;
    modalCloseButton_ = nullptr;
    modalBorderColor_ = nullptr;
    if (webView_) webView_->setDelegate(nullptr);
    webView_ = nullptr;
    spinner_ = nullptr;
    loadingURL_ = nullptr;
    transition_ = nullptr;
    bottomBar_ = nullptr;
    titleBar_ = nullptr;
    titlebarColor_ = nullptr;
    headerTitle_ = nullptr;
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    // Taken off its window without a close (its ad view let go), it still gives the bar back.
    statusBar_.giveBack();
    UIView::dealloc();
}

// ---- showing ---------------------------------------------------------------------------------

void MROverlayView::showWithRequest(NSURLRequest* request) {
    loadingURL_ = request ? request->URL() : nullptr;
    webView_->loadRequest(request);
    showOverlayForType(overlayType_);
}

void MROverlayView::showWithHTML(NSString* html) {
    webView_->loadHTMLString(html, nullptr);
    showOverlayForType(overlayType_);
}

void MROverlayView::showOverlayForType(int32_t type) {
    if (type == MROverlayTypeModal)
        showModalOverlay();
    else
        showFullScreenOverlay();
}

namespace {
Ref<UIWindow> hostWindow() {
    auto app = UIApplication::sharedApplication();
    if (auto key = app->keyWindow()) return key;
    return as<UIWindow>(app->windows()->firstObject());
}
}  // namespace

void MROverlayView::sizeToFitOrientation() {
    setTransform(CGAffineTransformIdentity);
    auto app = UIApplication::sharedApplication();
    interfaceOrientation_ = int32_t(app->statusBarOrientation());
    orientation_ = int32_t(UIDevice::currentDevice()->orientation());
    auto screen = UIScreen::mainScreen()->bounds();
    CGRect frame = screen;
    if (!UIInterfaceOrientationIsPortrait(UIInterfaceOrientation(interfaceOrientation_)))
        frame.size = CGSizeMake(screen.size.height, screen.size.width);
    if (overlaySize_.width != 0 || overlaySize_.height != 0)
        frame = CGRectMake(0, 0, overlaySize_.width, overlaySize_.height);
    bool fullScreen = (frame.size.width == 320 && frame.size.height == 480) ||
                      (frame.size.width == 768 && frame.size.height == 1024);
    if (!app->isStatusBarHidden() && fullScreen) {
        frame.origin.y += kStatusBarHeight;
        frame.size.height -= kStatusBarHeight;
    }
    setFrame(frame);
}

void MROverlayView::sizeToFitTurn() {
    setTransform(CGAffineTransformIdentity);
    interfaceOrientation_ = int32_t(UIApplication::sharedApplication()->statusBarOrientation());
    orientation_ = int32_t(UIDevice::currentDevice()->orientation());
    auto screen = UIScreen::mainScreen()->bounds().size;
    CGSize across =
        CGSizeMake(std::max(screen.width, screen.height), std::min(screen.width, screen.height));
    // An ad's own size is kept where it fits.
    if (overlaySize_.width != 0 || overlaySize_.height != 0)
        across = CGSizeMake(std::min(overlaySize_.width, across.width),
                            std::min(overlaySize_.height, across.height));
    setFrame(CGRectMake(0, 0, across.width, across.height));
}

void MROverlayView::showFullScreenOverlay() {
    if (superview()) return;
    Ref<MROverlayView> keep(this);
    if (auto d = delegate()) d->overlayWillAppear(this);
    bool turned = overlayOrientation_ == UIInterfaceOrientationLandscapeRight ||
                  overlayOrientation_ == UIInterfaceOrientationLandscapeLeft;
    if (turned)
        sizeToFitTurn();
    else
        sizeToFitOrientation();
    auto window = hostWindow();
    auto b = bounds();
    webView_->setFrame(b);
    addSubview(webView_.get());
    spinner_->setCenter(CGPointMake(CGRectGetMidX(b), CGRectGetMidY(b)));
    addSubview(spinner_.get());
    spinner_->startAnimating();
    CGRect web = b;
    if (showTitlebar_) {
        titleBar_ = createTitlebarWithFrame(CGRectMake(0, 0, b.size.width, kBarHeight),
                                            titlebarColor_.get(), headerTitle_.get());
        addSubview(titleBar_.get());
        web.origin.y += kBarHeight;
        web.size.height -= kBarHeight;
    }
    if (showBottomBar_) {
        bottomBar_ = createBottombarWithFrame(
            CGRectMake(0, b.size.height - kBarHeight, b.size.width, kBarHeight), !showTitlebar_,
            enableBottomBar_, titlebarColor_.get());
        addSubview(bottomBar_.get());
        web.size.height -= kBarHeight;
    }
    webView_->setFrame(web);

    // A slide starts one screen away in the direction it comes from.
    CGPoint away = CGPointZero;
    std::string slide = transition_ ? transition_->utf8() : "";
    auto screen = UIScreen::mainScreen()->bounds();
    if (slide == "SlideUp")
        away.y = screen.size.height;
    else if (slide == "SlideDown")
        away.y = -screen.size.height;
    else if (slide == "SlideRight")
        away.x = -screen.size.width;
    else if (slide == "SlideLeft")
        away.x = screen.size.width;

    if (turned) {
        // Turned a quarter about the middle of the window it covers, whole inside the screen
        // with its bars and Close, over a turned player or a turned interface alike.
        CGRect area = window ? window->bounds() : screen;
        CGPoint middle = CGPointMake(CGRectGetMidX(area), CGRectGetMidY(area));
        setTransform(CGAffineTransformMakeRotation(
            overlayOrientation_ == UIInterfaceOrientationLandscapeRight ? M_PI_2 : -M_PI_2));
        setCenter(CGPointMake(middle.x + away.x, middle.y + away.y));
        statusBar_.take();
        UIView::beginAnimations(NS("ShowVideoAdOverlayView"), nullptr);
        UIView::setAnimationDuration(transitionDuration_);
        if (window) window->addSubview(this);
        setCenter(middle);
        UIView::commitAnimations();
    } else {
        CGRect place = frame();
        CGRect start = CGRectOffset(place, away.x, away.y);
        setFrame(start);
        UIView::beginAnimations(NS("ShowAdOverlayView"), nullptr);
        UIView::setAnimationDuration(transitionDuration_);
        Ref<UIView> host = window;
        if (window && window->subviews()->count() < 2) {
            if (auto first = as<UIView>(window->subviews()->firstObject())) host = first;
        } else {
            setTransform(transformForOrientation());
        }
        // The frames above are the screen's: a host view placed below the status bar already
        // has them moved by its own origin.
        if (host && window && host.get() != window.get()) {
            setFrame(host->convertRectFromView(frame(), window.get()));
            place = host->convertRectFromView(place, window.get());
        }
        if (host) {
            UIView::setAnimationTransition(
                UIViewAnimationTransition(MRBasicAd::transitionFromHeader(transition_.get())),
                host.get(), true);
            host->addSubview(this);
        }
        setFrame(place);
        UIView::commitAnimations();
    }
    if (auto d = delegate()) d->overlayDidAppear(this);
}

void MROverlayView::modalSizeToFitOrientation(bool transform) {
    auto app = UIScreen::mainScreen()->applicationFrame();
    setFrame(CGRectMake(app.origin.x + modalLocation_.x, app.origin.y + modalLocation_.y,
                        modalSize_.width, modalSize_.height));
    if (transform) setTransform(transformForOrientation());
}

void MROverlayView::showModalOverlay() {
    if (superview()) return;
    Ref<MROverlayView> keep(this);
    if (auto d = delegate()) d->overlayWillAppear(this);
    modalSizeToFitOrientation(true);
    setBackgroundColor(UIColor::clearColor().get());
    setOpaque(false);
    auto b = bounds();
    CGFloat top = kModalInset;
    if (showTitlebar_) {
        modalCloseButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
        modalCloseButton_->setFrame(
            CGRectMake(b.size.width - kModalInset - 24, kModalInset / 2, 24, 20));
        modalCloseButton_->setTitle(NS("X"), UIControlStateNormal);
        modalCloseButton_->setTitleColor(UIColor::whiteColor().get(), UIControlStateNormal);
        modalCloseButton_->titleLabel()->setFont(UIFont::boldSystemFontOfSize(12).get());
        modalCloseButton_->addTarget(this, Selector::named("close"), UIControlEventTouchUpInside);
        modalTitleLabel_ = make<UILabel>(
            &UILabel::initWithFrame,
            CGRectMake(kModalInset, kModalInset / 2, b.size.width - 2 * kModalInset - 28, 20));
        modalTitleLabel_->setText(headerTitle_.get());
        modalTitleLabel_->setTextColor(UIColor::whiteColor().get());
        modalTitleLabel_->setFont(UIFont::boldSystemFontOfSize(14).get());
        modalTitleLabel_->setBackgroundColor(UIColor::clearColor().get());
        addSubview(modalTitleLabel_.get());
        addSubview(modalCloseButton_.get());
        top = kModalTitleHeight;
    }
    auto web = CGRectMake(kModalInset, top, b.size.width - 2 * kModalInset,
                          b.size.height - top - kModalInset);
    webView_->setFrame(web);
    addSubview(webView_.get());
    spinner_->setCenter(CGPointMake(CGRectGetMidX(web), CGRectGetMidY(web)));
    addSubview(spinner_.get());
    spinner_->startAnimating();
    if (auto window = hostWindow()) window->addSubview(this);
    setNeedsDisplay();

    auto base = transformForOrientation();
    setTransform(CGAffineTransformScale(base, 0.001, 0.001));
    Ref<MROverlayView> self(this);
    double d = transitionDuration_;
    UIView::animateWithDuration(
        d / 1.5, [self, base] { self->setTransform(CGAffineTransformScale(base, 1.1, 1.1)); },
        [self, base, d](bool) {
            UIView::animateWithDuration(
                d / 2, [self, base] { self->setTransform(CGAffineTransformScale(base, 0.9, 0.9)); },
                [self, base, d](bool) {
                    UIView::animateWithDuration(d / 2, [self, base] { self->setTransform(base); });
                });
        });
    if (auto dd = delegate()) dd->overlayDidAppear(this);
}

// ---- closing ---------------------------------------------------------------------------------

void MROverlayView::close() {
    // The page's poll and the ad's may both ask; the overlay closes once.
    if (closing_) return;
    closing_ = true;
    Ref<MROverlayView> keep(this);
    if (auto d = delegate()) d->overlayWillDisappear(this);
    NSNotificationCenter::defaultCenter()->postNotificationName(NS("MROverlayWillClose"), nullptr);
    auto accelerometer = UIAccelerometer::sharedAccelerometer();
    if (isAccelerometerEnabled_ && accelerometer->delegate().get() == this)
        accelerometer->setDelegate(nullptr);
    stopPolls();
    if (overlayType_ == MROverlayTypeModal) loadingURL_ = nullptr;
    Ref<MROverlayView> self(this);
    UIView::animateWithDuration(
        0.3, [self] { self->setAlpha(0); }, [self](bool) { self->postDismissCleanup(); });
    if (auto d = delegate()) d->overlayDidDisappear(this);
}

void MROverlayView::closeNotification(NSNotification*) {
    close();
}

void MROverlayView::back(NSObject*) {
    webView_->goBack();
}
void MROverlayView::forward(NSObject*) {
    webView_->goForward();
}
void MROverlayView::loadingDone() {
    spinner_->stopAnimating();
}
void MROverlayView::postDismissCleanup() {
    removeFromSuperview();
    statusBar_.giveBack();
}

void MROverlayView::stopPolls() {
    stopTimer(shouldCloseOverlayTimer_);
    stopTimer(shouldShowBottomBarTimer_);
    stopTimer(shouldEnableBottomBarTimer_);
}

bool MROverlayView::isPolling() {
    return shouldCloseOverlayTimer_ || shouldShowBottomBarTimer_ || shouldEnableBottomBarTimer_;
}

// ---- settings --------------------------------------------------------------------------------

void MROverlayView::setHeaderTitle(NSString* title) {
    headerTitle_ = title ? as<NSString>(title->copy()) : nullptr;
}

void MROverlayView::setTransition(NSString* name) {
    transition_ = name ? as<NSString>(name->copy()) : nullptr;
}

void MROverlayView::setMakeOverlayTransparent(bool transparent) {
    makeOverlayTransparent_ = transparent;
    if (transparent) {
        setBackgroundColor(UIColor::clearColor().get());
        setOpaque(false);
        webView_->setBackgroundColor(UIColor::clearColor().get());
    } else {
        setBackgroundColor(UIColor::blackColor().get());
        setOpaque(true);
    }
    webView_->setOpaque(!transparent);
}

CGAffineTransform MROverlayView::transformForOrientation() {
    switch (UIApplication::sharedApplication()->statusBarOrientation()) {
        case UIInterfaceOrientationLandscapeLeft:
            return CGAffineTransformMakeRotation(M_PI * 1.5);
        case UIInterfaceOrientationLandscapeRight:
            return CGAffineTransformMakeRotation(M_PI / 2);
        case UIInterfaceOrientationPortraitUpsideDown:
            return CGAffineTransformMakeRotation(-M_PI);
        default:
            return CGAffineTransformIdentity;
    }
}

Ref<UIImage> MROverlayView::imageWithBase64EncodedString(NSString* text) {
    if (!text) NSException::raise(NSInvalidArgumentException, NS("Base 64 string cannot be nil"));
    if (text->length() == 0) return nullptr;
    auto data = alloc<NSData>();
    if (!data->initWithBase64EncodedString(text)) return nullptr;
    return UIImage::imageWithData(data.get());
}

// ---- bars ------------------------------------------------------------------------------------

Ref<UIToolbar> MROverlayView::createTitlebarWithFrame(CGRect frame, UIColor* tint,
                                                      NSString* title) {
    auto bar = make<UIToolbar>(&UIToolbar::initWithFrame, frame);
    bar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    if (tint)
        bar->setTintColor(tint);
    else
        bar->setBarStyle(UIBarStyleBlack);
    auto label = alloc<UIBarButtonItem>();
    label->initWithTitle(title, UIBarButtonItemStylePlain, nullptr, nullptr);
    bar->setItems(
        NSArray::arrayWithObjects(
            {systemItem(UIBarButtonSystemItemFlexibleSpace, nullptr, nullptr).get(), label.get(),
             systemItem(UIBarButtonSystemItemFlexibleSpace, nullptr, nullptr).get(),
             closeItem(this).get()})
            .get());
    return bar;
}

Ref<UIToolbar> MROverlayView::createBottombarWithFrame(CGRect frame, bool showCloseButton,
                                                       bool enableCloseButton, UIColor* tint) {
    auto bar = make<UIToolbar>(&UIToolbar::initWithFrame, frame);
    bar->setBarStyle(UIBarStyleDefault);
    bar->setTintColor(tint ? tint : UIColor::blackColor().get());
    bar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
    backArrow_ = alloc<UIBarButtonItem>();
    backArrow_->initWithImage(
        imageWithBase64EncodedString(NSString::fromUTF8(kBackIcon).get()).get(),
        UIBarButtonItemStylePlain, this, Selector::named("back:"));
    // The arrows are pictures only: assistive technology reads them by these names.
    backArrow_->setAccessibilityLabel(NS("Back"));
    backArrow_->setEnabled(false);
    forwardArrow_ = alloc<UIBarButtonItem>();
    forwardArrow_->initWithImage(
        imageWithBase64EncodedString(NSString::fromUTF8(kForwardIcon).get()).get(),
        UIBarButtonItemStylePlain, this, Selector::named("forward:"));
    forwardArrow_->setAccessibilityLabel(NS("Forward"));
    forwardArrow_->setEnabled(false);
    auto space = systemItem(UIBarButtonSystemItemFlexibleSpace, nullptr, nullptr);
    if (showCloseButton) {
        closeButton_ = closeItem(this);
        closeButton_->setEnabled(enableCloseButton);
        bar->setItems(NSArray::arrayWithObjects(
                          {backArrow_.get(), forwardArrow_.get(), space.get(), closeButton_.get()})
                          .get());
    } else {
        closeButton_ = nullptr;
        bar->setItems(
            NSArray::arrayWithObjects({backArrow_.get(), space.get(), forwardArrow_.get()}).get());
    }
    return bar;
}

void MROverlayView::setBottomBarVisible(bool visible) {
    auto web = webView_->frame();
    if (visible) {
        if (bottomBar_) return;
        auto b = bounds();
        bottomBar_ = createBottombarWithFrame(
            CGRectMake(0, b.size.height - kBarHeight, b.size.width, kBarHeight), !showTitlebar_,
            enableBottomBar_, titlebarColor_.get());
        addSubview(bottomBar_.get());
        web.size.height -= kBarHeight;
    } else {
        if (!bottomBar_) return;
        bottomBar_->removeFromSuperview();
        bottomBar_ = nullptr;
        web.size.height += kBarHeight;
    }
    webView_->setFrame(web);
}

void MROverlayView::updateBarButtons() {
    if (!bottomBar_) return;
    if (backArrow_) backArrow_->setEnabled(enableBottomBar_ && webView_->canGoBack());
    if (forwardArrow_) forwardArrow_->setEnabled(enableBottomBar_ && webView_->canGoForward());
    if (closeButton_) closeButton_->setEnabled(enableBottomBar_);
}

// ---- the landing page ------------------------------------------------------------------------

Ref<NSString> MROverlayView::ask(const char* function) {
    if (!webView_) return nullptr;
    return webView_->stringByEvaluatingJavaScriptFromString(NSString::fromUTF8(function).get());
}

bool MROverlayView::webViewShouldStartLoadWithRequest(UIWebView*, NSURLRequest* request,
                                                      UIWebViewNavigationType) {
    spinner_->setHidden(false);
    spinner_->startAnimating();
    auto url = request ? request->URL() : nullptr;
    if (!url) return true;
    lastURL_ = url;
    auto text = url->absoluteString();
    auto clickPath = NSString::stringWithFormat(NS("%s/handleClick.php5"), MRAdHost);
    if (text->rangeOfString(clickPath.get()).location != NSNotFound) return true;
    Ref<MROverlayView> keep(this);
    if (text->rangeOfString(NSString::fromUTF8(MRMapsHost).get()).location != NSNotFound) {
        auto maps = text->stringByReplacingOccurrencesOfString(NS("http://"), NS("maps://"));
        if (auto d = delegate())
            d->overlayWantsToTerminateAppToOpenURL(this, NSURL::URLWithString(maps.get()).get());
        return false;
    }
    auto scheme = url->scheme() ? url->scheme()->lowercaseString()->utf8() : "";
    bool store =
        text->rangeOfString(NSString::fromUTF8(MRStoreHost).get()).location != NSNotFound ||
        text->rangeOfString(NSString::fromUTF8(MRStoreHost2).get()).location != NSNotFound;
    if (scheme == "itms" || scheme == "sms" || scheme == "tel" || scheme == "mrbrowser" || store) {
        Ref<NSURL> out = url;
        if (scheme == "mrbrowser")
            out = NSURL::URLWithString(
                text->stringByReplacingOccurrencesOfString(NS("mrbrowser://"), NS("")).get());
        if (auto d = delegate()) d->overlayWantsToTerminateAppToOpenURL(this, out.get());
        return false;
    }
    return true;
}

void MROverlayView::webViewDidFinishLoad(UIWebView*) {
    Ref<MROverlayView> keep(this);
    spinner_->stopAnimating();
    spinner_->setHidden(true);
    if (closing_) return;
    stopTimer(shouldCloseOverlayTimer_);
    shouldCloseOverlayTimer_ = NSTimer::scheduledTimerWithTimeInterval(
        1.0, this, Selector::named("shouldCloseOverlay:"), nullptr, true);
    if (!webView_->canGoBack() && !webView_->canGoForward()) {
        auto enable = ask("shouldEnableBottomBar()");
        if (!isEmpty(enable.get())) enableBottomBar_ = enable->boolValue();
        auto show = ask("shouldShowBottomBar()");
        if (!isEmpty(show.get()) && show->boolValue() != showBottomBar_) {
            showBottomBar_ = show->boolValue();
            setBottomBarVisible(showBottomBar_);
        }
        stopTimer(shouldEnableBottomBarTimer_);
        shouldEnableBottomBarTimer_ = NSTimer::scheduledTimerWithTimeInterval(
            1.0, this, Selector::named("shouldEnableBottomBar:"), nullptr, true);
        stopTimer(shouldShowBottomBarTimer_);
        shouldShowBottomBarTimer_ = NSTimer::scheduledTimerWithTimeInterval(
            1.0, this, Selector::named("shouldShowBottomBar:"), nullptr, true);
    } else {
        stopTimer(shouldEnableBottomBarTimer_);
        enableBottomBar_ = true;
        stopTimer(shouldShowBottomBarTimer_);
        if (!bottomBar_) {
            showBottomBar_ = true;
            setBottomBarVisible(true);
        }
    }
    if (bottomBar_) {
        if (enableBottomBar_) {
            updateBarButtons();
        } else {
            if (backArrow_) backArrow_->setEnabled(false);
            if (forwardArrow_) forwardArrow_->setEnabled(false);
            if (closeButton_) closeButton_->setEnabled(false);
        }
    }
    if (makeOverlayTransparent_) ask("document.body.style.backgroundColor='transparent'");
    if (isAccelerometerEnabled_) {
        auto accelerometer = UIAccelerometer::sharedAccelerometer();
        accelerometer->setUpdateInterval(1.0 / 60);
        accelerometer->setDelegate(this);
    }
    if (!shouldAccelerate_) {
        auto answer = ask("shouldAccelerate()");
        shouldAccelerate_ = !isEmpty(answer.get()) && answer->boolValue();
    }
}

void MROverlayView::webViewDidFailLoadWithError(UIWebView*, NSError*) {
    spinner_->stopAnimating();
}

void MROverlayView::shouldCloseOverlay(NSTimer*) {
    Ref<MROverlayView> keep(this);
    auto answer = ask("shouldCloseOverlay()");
    if (isEmpty(answer.get())) {
        stopTimer(shouldCloseOverlayTimer_);
        return;
    }
    if (answer->boolValue()) close();
}

void MROverlayView::shouldEnableBottomBar(NSTimer*) {
    if (webView_->isLoading()) return;
    auto answer = ask("shouldEnableBottomBar()");
    if (isEmpty(answer.get())) {
        stopTimer(shouldEnableBottomBarTimer_);
        return;
    }
    if (answer->boolValue())
        NSNotificationCenter::defaultCenter()->postNotificationName(
            NS("MRBottomBarToBeEnabled"), NSNumber::numberWithBool(true).get());
}

void MROverlayView::shouldShowBottomBar(NSTimer*) {
    auto answer = ask("shouldShowBottomBar()");
    if (isEmpty(answer.get())) {
        stopTimer(shouldShowBottomBarTimer_);
        return;
    }
    NSNotificationCenter::defaultCenter()->postNotificationName(
        NS("MRBottomBarToBeShown"), NSNumber::numberWithBool(answer->boolValue()).get());
}

void MROverlayView::bottomBarToBeShown(NSNotification* note) {
    auto value = note ? as<NSNumber>(note->object()) : nullptr;
    if (!value || value->boolValue() == showBottomBar_) return;
    showBottomBar_ = value->boolValue();
    setBottomBarVisible(showBottomBar_);
}

void MROverlayView::bottomBarToBeEnabled(NSNotification* note) {
    auto value = note ? as<NSNumber>(note->object()) : nullptr;
    if (bottomBar_) {
        if (value && value->boolValue()) {
            if (backArrow_) backArrow_->setEnabled(webView_->canGoBack());
            if (forwardArrow_) forwardArrow_->setEnabled(webView_->canGoForward());
            if (closeButton_) closeButton_->setEnabled(true);
        } else {
            if (backArrow_) backArrow_->setEnabled(false);
            if (forwardArrow_) forwardArrow_->setEnabled(false);
            if (closeButton_) closeButton_->setEnabled(false);
        }
    }
    stopTimer(shouldEnableBottomBarTimer_);
}

void MROverlayView::accelerometer(UIAccelerometer*, UIAcceleration* a) {
    if (!webView_ || !a || !shouldAccelerate_ || !isAccelerometerEnabled_) return;
    accelX_ = a->x() * 0.1 + accelX_ * 0.9;
    accelY_ = a->y() * 0.1 + accelY_ * 0.9;
    accelZ_ = a->z() * 0.1 + accelZ_ * 0.9;
    webView_->stringByEvaluatingJavaScriptFromString(
        NSString::stringWithFormat(NS("didAccelerate(%f,%f,%f)"), accelX_, accelY_, accelZ_).get());
}

// ---- the modal box ---------------------------------------------------------------------------

void MROverlayView::addRoundedRectToPath(CGContextRef c, CGRect rect, CGFloat radius) {
    MRAddRoundedRectToPath(c, rect, radius);
}

void MROverlayView::drawRectFill(CGRect rect, const CGFloat fill[4], CGFloat radius) {
    auto c = UIGraphicsGetCurrentContext();
    if (!c) return;
    CGContextBeginPath(c.get());
    CGContextSetRGBFillColor(c.get(), fill[0], fill[1], fill[2], fill[3]);
    addRoundedRectToPath(c.get(), rect, radius);
    CGContextFillPath(c.get());
}

void MROverlayView::strokeLines(CGRect rect, const CGFloat stroke[4]) {
    auto c = UIGraphicsGetCurrentContext();
    if (!c) return;
    CGContextSetRGBStrokeColor(c.get(), stroke[0], stroke[1], stroke[2], stroke[3]);
    CGContextSetLineWidth(c.get(), 1);
    CGContextStrokeRect(c.get(), CGRectInset(rect, -0.5, -0.5));
}

void MROverlayView::drawRect(CGRect) {
    if (overlayType_ != MROverlayTypeModal) return;
    auto components = [](UIColor* color, CGFloat alpha, CGFloat out[4]) {
        CGFloat r = 0, g = 0, b = 0, a = 1;
        if (color) color->getRed(&r, &g, &b, &a);
        out[0] = r;
        out[1] = g;
        out[2] = b;
        out[3] = a * alpha;
    };
    CGFloat border[4];
    components(modalBorderColor_.get(), alphaForModalBorder_, border);
    drawRectFill(bounds(), border, 10);
    if (showTitlebar_) {
        CGFloat title[4];
        components(titlebarColor_.get(), 1, title);
        auto b = bounds();
        drawRectFill(CGRectMake(0, 0, b.size.width, kModalTitleHeight), title, 10);
    }
    CGFloat line[4] = {0, 0, 0, 1};
    strokeLines(webView_->frame(), line);
}
