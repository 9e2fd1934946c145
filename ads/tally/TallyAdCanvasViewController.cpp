#include "ads/tally/TallyAdCanvasViewController.h"

#include <cmath>

#include "Foundation/NSArray.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIWindow.h"
#include "ads/tally/TallyAdAppStoreConnectionDelegate.h"
#include "ads/tally/TallyAdCanvasView.h"
#include "ads/tally/TallyAdClient.h"
#include "ads/tally/TallyAdModel.h"
#include "analytics/TallyAPI.h"
#include "analytics/base/TallyUtil.h"

namespace {
constexpr auto kInitWithImage =
    static_cast<bool (UIImageView::*)(UIImage*)>(&UIImageView::initWithImage);
}  // namespace

namespace {
// The one canvas window, the app's window it covers, and the open canvas; main thread only.
struct Slots {
    Ref<UIWindow> canvasWindow;
    Weak<UIWindow> appWindow;
    Ref<TallyAdCanvasViewController> open;
};
Slots& slots() {
    static ProcessWide<Slots> slot;
    return *slot.get();
}

Ref<UIColor> canvasColour() {
    return UIColor::colorWithRed(200 / 255.0f, 202 / 255.0f, 204 / 255.0f, 1.0f);
}

TallyAdDelegate* delegateOf(NSObject* object) {
    return dynamic_cast<TallyAdDelegate*>(object);
}

TallyAdNavigationDelegate* navigationDelegateOf(UINavigationController* navigation) {
    return navigation ? dynamic_cast<TallyAdNavigationDelegate*>(navigation->delegate().get())
                      : nullptr;
}

constexpr float kBannerHeight = 48;
constexpr float kHandleHeight = 29;
}  // namespace

// ---- the drawer
// ----------------------------------------------------------------------------------

void TallyAdListView::touchesBegan(NSSet* touches, UIEvent*) {
    auto touch = as<UITouch>(touches->anyObject());
    if (touch) lastLocation_ = touch->locationInView(superview());
}

void TallyAdListView::touchesMoved(NSSet* touches, UIEvent*) {
    auto touch = as<UITouch>(touches->anyObject());
    if (!touch) return;
    CGPoint at = touch->locationInView(superview());
    lastDisplacement_ = at.y - lastLocation_.y;
    dragByYDisplacement(lastDisplacement_);
    lastLocation_ = at;
    dragInProgress_ = true;
}

void TallyAdListView::touchesEnded(NSSet*, UIEvent*) {
    if (dragInProgress_) {
        dragByYDisplacement(lastDisplacement_);
        dragInProgress_ = false;
        return;
    }
    float y = frame().origin.y;
    if (y == static_cast<float>(upper_))
        dragByYDisplacement(static_cast<float>(lower_) - y);
    else
        dragByYDisplacement(static_cast<float>(upper_) - y);
}

void TallyAdListView::touchesCancelled(NSSet*, UIEvent*) {
    dragInProgress_ = false;
}

void TallyAdListView::dragToYPosition(float y) {
    dragByYDisplacement(y - frame().origin.y);
}

void TallyAdListView::dragByYDisplacement(float d) {
    CGRect f = frame();
    float old = f.origin.y;
    float y = std::max(static_cast<float>(upper_), std::min(static_cast<float>(lower_), old + d));
    f.origin.y = y;
    setFrame(f);
    TallyUtil::debugLog(NS("Move scroll element originY to [%f]"), static_cast<double>(y));
    if (webView()) updateWebViewFrame(y - old);
}

void TallyAdListView::updateWebViewFrame(float d) {
    auto page = webView();
    if (!page) return;
    CGRect f = page->frame();
    f.size.height += d;
    page->setFrame(f);
    TallyUtil::debugLog(NS("Change web view height to [%f]"), static_cast<double>(f.size.height));
}

// ---- the bar's items ----------------------------------------------------------------------------

bool TallyAdNavigationDelegate::initWithNavigationController(UINavigationController* controller) {
    if (!NSObject::init()) return false;
    navItems_ = NSMutableArray::arrayWithCapacity(1);
    navigationController_ = controller;
    return true;
}

bool TallyAdNavigationDelegate::navigationBarShouldPopItem(UINavigationBar*, UINavigationItem*) {
    if (navItems_->count()) navItems_->removeLastObject();
    if (auto navigation = navigationController()) navigation->popViewControllerAnimated(true);
    return true;
}

// ---- the canvas ---------------------------------------------------------------------------------

void TallyAdCanvasViewController::describeClass(RuntimeClass& c) {
    c.method("cancel", &TallyAdCanvasViewController::cancel);
    c.method("removeCanvasWindow", &TallyAdCanvasViewController::removeCanvasWindow);
}

bool TallyAdCanvasViewController::init() {
    if (!UIViewController::init()) return false;
    setTitle(NS("Info"));
    return true;
}

void TallyAdCanvasViewController::dealloc() {
    if (auto assignment = TallyAdAssignment::instance())
        assignment->removeAdsOnParentName(description());
    if (webView_) webView_->setDelegate(nullptr);
    for (UIView* view :
         {static_cast<UIView*>(loadingView_.get()), static_cast<UIView*>(webView_.get()),
          static_cast<UIView*>(navBar_.get()), backView_.get()})
        if (view) view->removeFromSuperview();
    UIViewController::dealloc();
}

void TallyAdCanvasViewController::setWebUrl(NSString* url) {
    webUrl_ = url ? cast<NSString>(url->copy()) : nullptr;
}

void TallyAdCanvasViewController::setCanvasOrientation(NSString* orientation) {
    canvasOrientation_ = orientation ? cast<NSString>(orientation->copy()) : nullptr;
}

bool TallyAdCanvasViewController::landscape() {
    return TallyUtil::canvasInLandscape(canvasOrientation_);
}

Ref<UIWindow> TallyAdCanvasViewController::canvasWindow() {
    return slots().open.get() == this ? slots().canvasWindow : nullptr;
}

void TallyAdCanvasViewController::createCanvasWindow() {
    Ref<TallyAdCanvasViewController> keep(this);
    if (auto d = delegateOf(adDelegate().get()))
        d->canvasWillDisplay(adImpression_ ? adImpression_->hook().get() : nullptr);
    auto app = UIApplication::sharedApplication();
    if (auto key = app ? app->keyWindow() : nullptr; key && key != slots().canvasWindow)
        slots().appWindow = key.get();
    fullScreen_.take();

    navigation_ = make<UINavigationController>(&UINavigationController::initWithRootViewController,
                                               static_cast<UIViewController*>(this));
    navigationDelegate_ = make<TallyAdNavigationDelegate>(
        &TallyAdNavigationDelegate::initWithNavigationController, navigation_.get());
    navigation_->setDelegate(navigationDelegate_.get());
    navigation_->setNavigationBarHidden(true);
    auto navView = navigation_->view();
    if (landscape()) {
        navView->setFrame(CGRectMake(0, 0, 480.1f, 320));
        bool left = TallyUtil::canvasInLandscapeLeft(canvasOrientation_);
        auto turn =
            CGAffineTransformMakeRotation(static_cast<CGFloat>(left ? 3 * M_PI / 2 : M_PI / 2));
        navView->setTransform(CGAffineTransformTranslate(turn, left ? -80 : 80, left ? -80 : 80));
    } else {
        navView->setFrame(CGRectMake(0, 0, 320, 480.1f));
    }

    if (auto previous = slots().canvasWindow) previous->setHidden(true);
    CGRect screen = UIScreen::mainScreen()->bounds();
    auto window = make<UIWindow>(&UIWindow::initWithFrame, screen);
    window->setWindowLevel(UIWindowLevelStatusBar + 1);
    window->addSubview(navView);
    window->makeKeyAndVisible();
    slots().canvasWindow = window;

    CGFloat w = screen.size.width, h = screen.size.height;
    if (TallyUtil::canvasInLandscapeLeft(canvasOrientation_))
        window->setFrame(CGRectMake(w, 0, w, h));
    else if (landscape())
        window->setFrame(CGRectMake(-w, 0, w, h));
    else
        window->setFrame(CGRectMake(0, h, w, h));
    UIView::beginAnimations(NS("canvasOpen"), nullptr);
    UIView::setAnimationDuration(canvasAnimationDuration());
    UIView::setAnimationDelegate(this);
    window->setFrame(screen);
    UIView::commitAnimations();
    setOpenCanvasController(this);
}

void TallyAdCanvasViewController::cancel() {
    if (appStoreConnection_) {
        // Its follower gives the indicator back as the connection lets it go.
        appStoreConnection_->cancel();
        appStoreConnection_ = nullptr;
    }
    // A page still loading would leave the indicator on over every screen after the canvas.
    pageLoading_.setHeld(false);
    auto window = canvasWindow();
    if (!window) {
        // Pushed onto a navigation controller: nothing of its own to close.
        if (auto navigation = navigationController()) navigation->popViewControllerAnimated(true);
        return;
    }
    CGRect f = window->frame();
    CGFloat w = f.size.width, h = f.size.height;
    UIView::beginAnimations(NS("canvasClose"), nullptr);
    UIView::setAnimationDuration(canvasAnimationDuration());
    UIView::setAnimationDelegate(this);
    UIView::setAnimationDidStopSelector(Selector::named("removeCanvasWindow"));
    if (TallyUtil::canvasInLandscapeRight(canvasOrientation_))
        window->setFrame(CGRectMake(-w, 0, w, h));
    else if (TallyUtil::canvasInLandscapeLeft(canvasOrientation_))
        window->setFrame(CGRectMake(w, 0, w, h));
    else
        window->setFrame(CGRectMake(0, h, w, h));
    UIView::commitAnimations();
}

void TallyAdCanvasViewController::removeCanvasWindow() {
    Ref<TallyAdCanvasViewController> keep(this);
    if (slots().open.get() != this) return;  // already closed
    auto window = slots().canvasWindow;
    if (navigation_) {
        navigation_->setDelegate(nullptr);
        navigation_->view()->removeFromSuperview();
    }
    navigationDelegate_ = nullptr;
    TallyUtil::debugLog(NS("Tally: Cancel to app window[%@]"), slots().appWindow.lock());
    if (auto app = slots().appWindow.lock()) app->makeKeyAndVisible();
    if (window) window->setHidden(true);
    slots().canvasWindow = nullptr;
    if (auto d = delegateOf(adDelegate().get())) d->canvasWillClose();
    navigation_ = nullptr;
    fullScreen_.giveBack();
    freeOpenCanvasController();
}

void TallyAdCanvasViewController::loadView() {
    createViewElements();
}

void TallyAdCanvasViewController::adjustForStatusBar(UIView* view) {
    CGRect f = view->frame();
    f.origin.y += (landscape() ? 32 : 44) + 20;
    view->setFrame(f);
}

void TallyAdCanvasViewController::createViewElements() {
    CGRect s = TallyUtil::screenBounds(canvasOrientation_);
    setView(make<UIView>(&UIView::initWithFrame, s));
    backView_ = make<UIView>(&UIView::initWithFrame, s);
    backView_->setBackgroundColor(canvasColour());
    view()->addSubview(backView_);

    auto item = navigationItem();
    item->setRightBarButtonItem(make<UIBarButtonItem>(
        &UIBarButtonItem::initWithBarButtonSystemItem, UIBarButtonSystemItemCancel,
        static_cast<NSObject*>(this), Selector::named("cancel")));
    item->setBackBarButtonItem(make<UIBarButtonItem>(&UIBarButtonItem::initWithTitle, NS("Back"),
                                                     UIBarButtonItemStyleBordered,
                                                     static_cast<NSObject*>(nullptr), SEL()));
    CGFloat barHeight = landscape() ? 32 : 44;
    navBar_ = make<UINavigationBar>(&UINavigationBar::initWithFrame,
                                    CGRectMake(s.origin.x, s.origin.y, s.size.width, barHeight));
    auto navDelegate = Ref<TallyAdNavigationDelegate>(navigationDelegateOf(navigationController()));
    if (navDelegate) {
        if (!loaded_) navDelegate->navItems()->addObject(item);
        navBar_->setItems(navDelegate->navItems());
        navBar_->setDelegate(navDelegate.get());
    } else {
        navBar_->setItems(NSArray::arrayWithObject(item));
    }

    loadingView_ = make<UIActivityIndicatorView>(
        &UIActivityIndicatorView::initWithActivityIndicatorStyle, UIActivityIndicatorViewStyleGray);
    loadingView_->setFrame(CGRectMake(s.size.width / 2 - 15, s.size.height / 2 - 15, 30, 30));
    adjustForStatusBar(loadingView_);
    loadingView_->setBackgroundColor(canvasColour());
    loadingView_->setHidesWhenStopped(true);
    loadingView_->setAutoresizingMask(
        UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
        UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin);

    webView_ = make<UIWebView>(&UIWebView::initWithFrame,
                               CGRectMake(s.origin.x, s.origin.y - 20, s.size.width,
                                          s.size.height + 20 - (barHeight + 145)));
    adjustForStatusBar(webView_);
    webView_->setBackgroundColor(canvasColour());
    webView_->setScalesPageToFit(false);
    webView_->setAlpha(0);
    webView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                  UIViewAutoresizingFlexibleHeight);
    webView_->setDelegate(this);
    backView_->addSubview(webView_);
    backView_->addSubview(loadingView_);
    backView_->addSubview(navBar_);
    TallyUtil::debugLog(NS("Tally: canvasController view[%@]"), view());
    TallyUtil::debugLog(NS("Tally: canvasController loadingView[%@]"), loadingView_);
    TallyUtil::debugLog(NS("Tally: canvasController webView[%@]"), webView_);
}

void TallyAdCanvasViewController::viewDidLoad() {
    TallyUtil::debugLog(NS("Tally: loading canvas view"));
    if (webUrl_) webView_->loadRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(webUrl_)));
    loaded_ = true;
}

void TallyAdCanvasViewController::viewWillAppear(bool) {
    auto navDelegate = Ref<TallyAdNavigationDelegate>(navigationDelegateOf(navigationController()));
    if (!navDelegate || !navBar_ || navDelegate->navItems()->count() == 0) return;
    auto items = navDelegate->navItems();
    auto fresh = [](UINavigationItem* from) {
        auto item = make<UINavigationItem>(&UINavigationItem::initWithTitle, NS("Info"));
        if (from) {
            item->setRightBarButtonItem(from->rightBarButtonItem());
            item->setBackBarButtonItem(from->backBarButtonItem());
        }
        return item;
    };
    items->replaceObjectAtIndex(items->count() - 1, fresh(navigationItem()));
    if (items->count() > 1)
        items->replaceObjectAtIndex(items->count() - 2, fresh(navBar_->backItem()));
    navBar_->setItems(items);
}

void TallyAdCanvasViewController::showLoading(bool shown) {
    if (!loadingView_) return;
    if (shown) {
        loadingView_->setHidden(false);
        loadingView_->startAnimating();
        TallyUtil::debugLog(NS("Tally: loading screen shown"));
    } else {
        loadingView_->stopAnimating();
        loadingView_->setHidden(true);
        TallyUtil::debugLog(NS("Tally: loading screen hidden"));
    }
}

bool TallyAdCanvasViewController::webViewShouldStartLoadWithRequest(UIWebView*,
                                                                    NSURLRequest* request,
                                                                    UIWebViewNavigationType) {
    auto url = request && request->URL() ? request->URL()->absoluteString() : nullptr;
    TallyUtil::debugLog(NS("Loading url[%@] in canvas"), url);
    if (!url || !url->hasPrefix(TallyAPI::appStoreURL())) return true;
    TallyUtil::debugLog(NS("Loading appStoreUrl[%@] in canvas"), url);
    showLoading(true);
    for (UIView* dimmed :
         {static_cast<UIView*>(webView_.get()), static_cast<UIView*>(adListView_.get())}) {
        if (!dimmed) continue;
        dimmed->setAlpha(0.25f);
        dimmed->setUserInteractionEnabled(false);
    }
    auto follower = make<TallyAdAppStoreConnectionDelegate>();
    follower->setAdImpression(adImpression_);
    appStoreConnection_ = follower->openReferralURL(request->URL());
    return false;
}

void TallyAdCanvasViewController::webViewDidStartLoad(UIWebView*) {
    pageLoading_.setHeld(true);
    showLoading(true);
}

void TallyAdCanvasViewController::webViewDidFinishLoad(UIWebView*) {
    if (adImpression_) adImpression_->updateWithResult(NSNumber::numberWithInt(5));
    bool wide = landscape();
    int n = wide ? TallyAdProperties::getLandscapeAdsMaxShown()
                 : TallyAdProperties::getPortraitAdsMaxShown();
    NSString* orientationWord = wide ? NS("landscape") : NS("portrait");
    CGRect s = TallyUtil::screenBounds(canvasOrientation_);
    webView_->setAlpha(1.0f);
    showLoading(false);
    pageLoading_.setHeld(false);

    if (adListView_) adListView_->removeFromSuperview();
    adListView_ =
        make<TallyAdListView>(&TallyAdListView::initWithFrame,
                              CGRectMake(0, std::trunc(webView_->frame().size.height - 40),
                                         s.size.width, n * kBannerHeight + kHandleHeight));
    adListView_->setLowerLocationLimit(static_cast<int32_t>(s.size.height - kHandleHeight));
    adListView_->setUpperLocationLimit(adListView_->lowerLocationLimit() -
                                       static_cast<int32_t>(n * kBannerHeight));
    adListView_->setBackgroundColor(UIColor::clearColor());
    adListView_->setWebView(webView_);
    adjustForStatusBar(adListView_);

    auto parentName = description();
    if (auto ad = as<TallyAd>(ad_)) TallyAdAssignment::createInstance()->assignAd(ad, parentName);
    auto handleImage = TallyAdParser::fastImageWithCode(NSNumber::numberWithInt(1));
    auto handle = make<UIImageView>(kInitWithImage, handleImage.get());
    handle->setHidden(false);
    int made = 0;
    for (int i = 0; i < n; ++i) {
        auto hook = NSString::stringWithFormat(NS("Tally_Canvas_Hook_%d"), i + 1);
        auto ad = TallyAdParser::fastAdWithHook(hook, parentName);
        if (!ad) break;
        auto banner = make<TallyAdCanvasView>(
            &TallyAdCanvasView::initWithAd, static_cast<NSObject*>(ad.get()), hook.get(), 0,
            static_cast<int>(i * kBannerHeight + kHandleHeight),
            static_cast<NSObject*>(navigationController().get()), false, orientationWord,
            canvasOrientation_.get(), false);
        adListView_->addSubview(banner);
        banner->setAdDelegate(adDelegate());
        banner->setCanvasAnimated(canvasAnimated_);
        ++made;
    }
    float atStart = wide ? TallyAdProperties::getLandscapeAdsShownAtStart()
                         : TallyAdProperties::getPortraitAdsShownAtStart();
    if (made == 0 || !handleImage) {
        adListView_->setHidden(true);
        adListView_->dragByYDisplacement(500);
        adListView_->setUserInteractionEnabled(false);
    } else {
        adListView_->setUpperLocationLimit(adListView_->upperLocationLimit() +
                                           static_cast<int32_t>((n - made) * kBannerHeight));
        if (static_cast<float>(made) > atStart)
            adListView_->dragToYPosition(static_cast<float>(adListView_->lowerLocationLimit()) -
                                         kBannerHeight * atStart);
        else
            adListView_->dragToYPosition(static_cast<float>(adListView_->upperLocationLimit()));
    }
    adListView_->addSubview(handle);
    backView_->addSubview(adListView_);
}

void TallyAdCanvasViewController::webViewDidFailLoadWithError(UIWebView*, NSError* error) {
    TallyUtil::debugLog(
        NS("Tally: fail to load canvas screen description[%@] code[%d] domain[%@] userInfo[%@]"),
        error ? error->localizedDescription() : nullptr,
        error ? static_cast<int>(error->code()) : 0, error ? error->domain() : nullptr,
        error ? error->userInfo() : nullptr);
    TallyUtil::handleException(error);
    showLoading(false);
    pageLoading_.setHeld(false);
    CGRect s = TallyUtil::screenBounds(canvasOrientation_);
    auto errorView = make<UIView>(&UIView::initWithFrame, s);
    errorView->setBackgroundColor(canvasColour());
    CGFloat cx = CGRectGetMidX(s), cy = CGRectGetMidY(s);
    auto label = make<UILabel>(&UILabel::initWithFrame, CGRectMake(cx - 100, cy - 50, 200, 50));
    adjustForStatusBar(label);
    label->setText(NS("Internet unavailable"));
    label->setTextAlignment(UITextAlignmentCenter);
    label->setTextColor(UIColor::blackColor());
    label->setAdjustsFontSizeToFitWidth(true);
    label->setBackgroundColor(UIColor::clearColor());
    auto button = UIButton::buttonWithType(UIButtonTypeRoundedRect);
    button->setFrame(CGRectMake(cx - 50, cy, 100, 50));
    adjustForStatusBar(button);
    button->setTitle(NS("Cancel"), UIControlStateNormal);
    button->addTarget(this, Selector::named("cancel"), UIControlEventTouchUpInside);
    errorView->addSubview(label);
    errorView->addSubview(button);
    backView_->addSubview(errorView);
}

Ref<TallyAdCanvasViewController> TallyAdCanvasViewController::getOpenCanvasController() {
    return slots().open;
}

void TallyAdCanvasViewController::setOpenCanvasController(TallyAdCanvasViewController* controller) {
    slots().open = controller;
}

void TallyAdCanvasViewController::freeOpenCanvasController() {
    slots().open = nullptr;
}
