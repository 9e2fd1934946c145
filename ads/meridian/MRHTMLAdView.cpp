#include "ads/meridian/MRHTMLAdView.h"

#include <cstdlib>

#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSData.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "QuartzCore/CALayer.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIScrollView.h"
#include "ads/meridian/MRGenericAdView.h"

// ---- MRHTMLAd --------------------------------------------------------------------------------

void MRHTMLAd::describeClass(RuntimeClass& c) {
    c.method("shouldCloseOverlay:", &MRHTMLAd::shouldCloseOverlay);
    c.method("shouldShowBottomBar:", &MRHTMLAd::shouldShowBottomBar);
    c.method("shouldResizeAdTo:", &MRHTMLAd::shouldResizeAdTo);
    c.method("overlayWasClosed:", &MRHTMLAd::overlayWasClosed);
}

bool MRHTMLAd::initWithAdContents(NSString* contents, UIWebView* webView,
                                  bool accelerometerEnabled) {
    if (!MRBasicAd::init()) return false;
    if (!contents || !webView) {
        ad_ = NS("");
        return true;
    }
    ad_ = NSString::stringWithFormat(NS("<style type=\"text/css\">%s</style>%@"), kStyleRule,
                                     contents);
    NSNotificationCenter::defaultCenter()->addObserver(this, Selector::named("overlayWasClosed:"),
                                                       NS("MROverlayWillClose"), nullptr);
    observing_ = true;
    webView_ = webView;
    webView_->loadHTMLString(ad_.get(), nullptr);
    shouldResizeAdToTimer_ = NSTimer::scheduledTimerWithTimeInterval(
        1.0, this, Selector::named("shouldResizeAdTo:"), nullptr, true);
    accelerometerIsEnabled_ = accelerometerEnabled;
    if (accelerometerEnabled) {
        auto accelerometer = UIAccelerometer::sharedAccelerometer();
        accelerometer->setUpdateInterval(1.0 / 60);
        accelerometer->setDelegate(this);
    }
    return true;
}

void MRHTMLAd::dealloc() {
    if (observing_) NSNotificationCenter::defaultCenter()->removeObserver(this);
    overlayTransition_ = nullptr;
    // Another ad or overlay may have taken the accelerometer since.
    auto accelerometer = UIAccelerometer::sharedAccelerometer();
    if (accelerometerIsEnabled_ && accelerometer->delegate().get() == this)
        accelerometer->setDelegate(nullptr);
    webView_ = nullptr;
    ad_ = nullptr;
    stopAllTimers();
    MRBasicAd::dealloc();
}

void MRHTMLAd::stopAllTimers() {
    for (auto* timer : {&shouldResizeAdToTimer_, &shouldCloseOverlayTimer_,
                        &shouldShowBottomBarTimer_, &shouldEnableBottomBarTimer_}) {
        if (*timer) (*timer)->invalidate();
        *timer = nullptr;
    }
}

void MRHTMLAd::stopPolls() {
    stopAllTimers();
    auto accelerometer = UIAccelerometer::sharedAccelerometer();
    if (accelerometerIsEnabled_ && accelerometer->delegate().get() == this)
        accelerometer->setDelegate(nullptr);
}

bool MRHTMLAd::isPolling() {
    return shouldResizeAdToTimer_ || shouldCloseOverlayTimer_ || shouldShowBottomBarTimer_ ||
           shouldEnableBottomBarTimer_;
}

bool MRHTMLAd::showModalOverlay(NSString* html) {
    auto probe = make<UIWebView>(&UIWebView::initWithFrame, CGRectZero);
    probe->loadHTMLString(html, nullptr);
    auto answer = probe->stringByEvaluatingJavaScriptFromString(NS("shouldShowModal()"));
    return answer && answer->length() > 0 && answer->boolValue();
}

Ref<UIColor> MRHTMLAd::colorFromString(NSString* text) {
    auto black = UIColor::blackColor();
    if (!text) return black;
    auto parts = text->componentsSeparatedByString(NS(","));
    auto part = [&](NSUInteger i) { return as<NSString>(parts->objectAtIndex(i))->floatValue(); };
    if (parts->count() == 4) return UIColor::colorWithRed(part(0), part(1), part(2), part(3));
    if (parts->count() == 3) return UIColor::colorWithRed(part(0), part(1), part(2), 1);
    if (parts->count() != 1) return black;
    auto hex = text->stringByTrimmingCharactersInSet(
                       NSCharacterSet::whitespaceAndNewlineCharacterSet().get())
                   ->uppercaseString();
    if (hex->length() < 6) return black;
    if (hex->hasPrefix(NS("#"))) hex = hex->substringFromIndex(1);
    std::string digits = hex->utf8();
    if (digits.size() != 6) return black;
    for (char c : digits)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return black;
    auto byte = [&](size_t at) {
        return CGFloat(std::strtol(digits.substr(at, 2).c_str(), nullptr, 16)) / 255;
    };
    return UIColor::colorWithRed(byte(0), byte(2), byte(4), 1);
}

Ref<MRGenericAdView> MRHTMLAd::adView() {
    return adView_.lock();
}
void MRHTMLAd::setAdView(MRGenericAdView* view) {
    adView_ = view;
}

Ref<NSString> MRHTMLAd::ask(const char* function) {
    if (!webView_) return nullptr;
    auto answer =
        webView_->stringByEvaluatingJavaScriptFromString(NSString::fromUTF8(function).get());
    return answer ? answer : Ref<NSString>(NS(""));
}

namespace {
bool empty(NSString* s) {
    return !s || s->length() == 0;
}

// "x,y" into two numbers; false unless exactly two parts.
bool pair(NSString* answer, CGFloat* a, CGFloat* b) {
    if (empty(answer)) return false;
    auto parts = answer->componentsSeparatedByString(NS(","));
    if (parts->count() != 2) return false;
    *a = as<NSString>(parts->objectAtIndex(0))->floatValue();
    *b = as<NSString>(parts->objectAtIndex(1))->floatValue();
    return true;
}
}  // namespace

bool MRHTMLAd::askCached(bool& field, const char* function, bool noWebView) {
    if (field) return true;
    if (!webView_) return noWebView;
    auto answer = ask(function);
    if (empty(answer.get())) return field;
    field = answer->boolValue();
    return field;
}

Ref<NSURL> MRHTMLAd::openURL() {
    auto answer = ask("shouldOpen()");
    if (empty(answer.get())) return nullptr;
    auto escaped = answer->stringByAddingPercentEscapesUsingEncoding(NSUTF8StringEncoding);
    return escaped ? NSURL::URLWithString(escaped.get()) : nullptr;
}

bool MRHTMLAd::shouldShowModal() {
    return askCached(shouldShowModal_, "shouldShowModal()", true);
}
bool MRHTMLAd::showTitlebar() {
    return askCached(shouldShowTitlebar_, "shouldShowTitlebar()", false);
}
bool MRHTMLAd::shouldMakeOverlayTransparent() {
    return askCached(shouldMakeOverlayTransparent_, "shouldMakeOverlayTransparent()", false);
}
bool MRHTMLAd::shouldAccelerate() {
    return askCached(shouldAccelerate_, "shouldAccelerate()", false);
}

bool MRHTMLAd::showBottomBar() {
    if (shouldShowBottomBar_) return true;
    if (!webView_) return true;
    auto answer = ask("shouldShowBottomBar()");
    shouldShowBottomBar_ = empty(answer.get()) ? true : answer->boolValue();
    return shouldShowBottomBar_;
}

bool MRHTMLAd::isBottomBarEnabled() {
    auto answer = ask("shouldEnableBottomBar()");
    return empty(answer.get()) ? true : answer->boolValue();
}

Ref<NSString> MRHTMLAd::overlayTitle() {
    auto answer = ask("overlayTitle()");
    return empty(answer.get()) ? Ref<NSString>(NS("Advertisement")) : answer;
}

Ref<NSString> MRHTMLAd::overlayTransition() {
    auto answer = ask("overlayTransition()");
    overlayTransition_ = empty(answer.get()) ? Ref<NSString>(NS("SlideUp")) : answer;
    return overlayTransition_;
}

double MRHTMLAd::transitionDuration() {
    if (!webView_) return 0.6;
    auto answer = ask("transitionDuration()");
    return empty(answer.get()) ? 0.8 : answer->doubleValue();
}

int32_t MRHTMLAd::orientationLock() {
    auto answer = ask("orientationLock()");
    if (empty(answer.get())) return 0;
    if (answer->isEqualToString(NS("portrait"))) return 1;
    if (answer->isEqualToString(NS("landscape"))) return 3;
    return 0;
}

Ref<UIColor> MRHTMLAd::titlebarColor() {
    return colorFromString(ask("titleBarColor()").get());
}
Ref<UIColor> MRHTMLAd::modalBorderColor() {
    return colorFromString(ask("modalBorderColor()").get());
}

float MRHTMLAd::alphaForModalBorder() {
    auto answer = ask("alphaForModalBorder()");
    return empty(answer.get()) ? 1.0f : answer->floatValue();
}

CGPoint MRHTMLAd::modalLocation() {
    CGPoint p = CGPointZero;
    pair(ask("modalLocation()").get(), &p.x, &p.y);
    return p;
}

CGSize MRHTMLAd::modalSize() {
    CGSize s = CGSizeZero;
    pair(ask("modalSize()").get(), &s.width, &s.height);
    return s;
}

CGPoint MRHTMLAd::pointToMimicTapAt() {
    CGPoint p = CGPointZero;
    pair(ask("pointToMimicTap()").get(), &p.x, &p.y);
    return p;
}

void MRHTMLAd::startCloseOverlayTimer() {
    stopCloseOverlayTimer();
    shouldCloseOverlayTimer_ = NSTimer::scheduledTimerWithTimeInterval(
        1.0, this, Selector::named("shouldCloseOverlay:"), nullptr, true);
}

void MRHTMLAd::stopCloseOverlayTimer() {
    if (shouldCloseOverlayTimer_) shouldCloseOverlayTimer_->invalidate();
    shouldCloseOverlayTimer_ = nullptr;
}

void MRHTMLAd::startBottomBarTimer() {
    stopShowBottomBarTimer();
    shouldShowBottomBarTimer_ = NSTimer::scheduledTimerWithTimeInterval(
        1.0, this, Selector::named("shouldShowBottomBar:"), nullptr, true);
}

void MRHTMLAd::stopShowBottomBarTimer() {
    if (shouldShowBottomBarTimer_) shouldShowBottomBarTimer_->invalidate();
    shouldShowBottomBarTimer_ = nullptr;
}

void MRHTMLAd::shouldCloseOverlay(NSTimer*) {
    Ref<MRHTMLAd> keep(this);
    auto answer = ask("shouldCloseOverlay()");
    if (empty(answer.get())) {
        stopCloseOverlayTimer();
        return;
    }
    if (answer->boolValue())
        NSNotificationCenter::defaultCenter()->postNotificationName(NS("CloseMROverlay"), nullptr);
}

void MRHTMLAd::shouldShowBottomBar(NSTimer*) {
    Ref<MRHTMLAd> keep(this);
    auto answer = ask("shouldShowBottomBar()");
    if (empty(answer.get())) {
        stopShowBottomBarTimer();
        return;
    }
    if (answer->boolValue()) {
        NSNotificationCenter::defaultCenter()->postNotificationName(
            NS("MRBottomBarToBeShown"), NSNumber::numberWithBool(true).get());
        stopShowBottomBarTimer();
    }
}

void MRHTMLAd::shouldResizeAdTo(NSTimer*) {
    Ref<MRHTMLAd> keep(this);
    auto answer = ask("shouldResizeAdTo()");
    if (empty(answer.get())) {
        if (shouldResizeAdToTimer_) shouldResizeAdToTimer_->invalidate();
        shouldResizeAdToTimer_ = nullptr;
        return;
    }
    if (answer->intValue() > 0)
        NSNotificationCenter::defaultCenter()->postNotificationName(
            NS("MRResizeAdToHeight"), NSNumber::numberWithFloat(answer->floatValue()).get());
}

void MRHTMLAd::overlayWasClosed(NSNotification*) {
    if (shouldEnableBottomBarTimer_) shouldEnableBottomBarTimer_->invalidate();
    shouldEnableBottomBarTimer_ = nullptr;
    stopCloseOverlayTimer();
    stopShowBottomBarTimer();
}

void MRHTMLAd::accelerometer(UIAccelerometer*, UIAcceleration* acceleration) {
    didAccelerate(acceleration);
}

void MRHTMLAd::didAccelerate(UIAcceleration* a) {
    if (!webView_ || !a || !htmlHasLoaded_ || !shouldAccelerate()) return;
    auto view = adView();
    if (!view || !view->isAccelerometerEnabled()) return;
    accelX_ = a->x() * 0.1 + accelX_ * 0.9;
    accelY_ = a->y() * 0.1 + accelY_ * 0.9;
    accelZ_ = a->z() * 0.1 + accelZ_ * 0.9;
    webView_->stringByEvaluatingJavaScriptFromString(
        NSString::stringWithFormat(NS("didAccelerate(%f,%f,%f)"), accelX_, accelY_, accelZ_).get());
}

// ---- MRWebView -------------------------------------------------------------------------------

bool MRWebView::initWithFrame(CGRect frame, MRWebViewDelegate* delegate) {
    if (!UIView::initWithFrame(frame)) return false;
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    delegate_ = delegate;
    HTMLadView_ = delegate;
    webView_ = make<UIWebView>(&UIWebView::initWithFrame,
                               CGRectMake(0, 0, frame.size.width, frame.size.height));
    if (auto scroller = webView_->scrollView()) {
        scroller->setScrollsToTop(false);
        scroller->setScrollEnabled(false);
    }
    webView_->setMediaPlaybackRequiresUserAction(false);
    webView_->setAllowsInlineMediaPlayback(true);
    webView_->setDelegate(this);
    webView_->setBackgroundColor(UIColor::colorWithWhite(1, 0.1).get());
    webView_->setOpaque(false);
    webView_->setAlpha(1);
    webView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    addSubview(webView_.get());
    return true;
}

void MRWebView::dealloc() {
    if (webView_) {
        webView_->stopLoading();
        webView_->setDelegate(nullptr);
    }
    if (ad_) ad_->stopPolls();
    ad_ = nullptr;
    delegate_ = nullptr;
    webView_ = nullptr;
    UIView::dealloc();
}

void MRWebView::loadWithContents(NSData* contents) {
    auto text = contents ? NSString::stringWithData(contents, NSUTF8StringEncoding) : nullptr;
    webView_->setDelegate(this);
    auto d = delegate();
    bool accelerometer = d ? d->accelerometerEnabled() : false;
    auto ad = alloc<MRHTMLAd>();
    ad->initWithAdContents(text.get(), webView_.get(), accelerometer);
    setAd(ad.get());
}

void MRWebView::setAd(MRHTMLAd* ad) {
    // A replaced ad must stop polling: its timers would keep it alive, asking a page that is gone.
    if (ad_ && ad_.get() != ad) ad_->stopPolls();
    ad_ = ad;
    if (ad)
        if (auto d = delegate()) d->webViewDidLoadNewAd(this, ad);
}

bool MRWebView::webViewShouldStartLoadWithRequest(UIWebView*, NSURLRequest* request,
                                                  UIWebViewNavigationType navigationType) {
    if (navigationType != UIWebViewNavigationTypeLinkClicked) return true;
    // A tapped link never loads in the banner; the page may name where a tap leads.
    Ref<MRWebView> keep(this);
    if (auto d = delegate()) {
        auto target = ad_ ? ad_->openURL() : nullptr;
        d->webViewWasTapped(this,
                            target ? NSURLRequest::requestWithURL(target.get()).get() : request);
    }
    return false;
}

void MRWebView::webViewDidFinishLoad(UIWebView*) {
    Ref<MRWebView> keep(this);
    if (auto d = delegate()) d->webViewDidLoad(this);
    if (!ad_) return;
    Ref<MRHTMLAd> ad = ad_;
    ad->htmlDidLoad();
    if (auto url = ad->openURL())
        if (auto d = delegate()) d->webViewWantsToOpenURL(this, url.get());
}

void MRWebView::webViewDidFailLoadWithError(UIWebView*, NSError*) {
    if (auto d = delegate()) d->webViewDidFail(this);
}

// ---- MRHTMLAdView ----------------------------------------------------------------------------

void MRHTMLAdView::describeClass(RuntimeClass& c) {
    c.implements({"animationDidStop:finished:"});
}

bool MRHTMLAdView::initWithFrame(CGRect frame, MRHTMLAdViewDelegate* delegate) {
    if (!MRBasicAdView::initWithFrame(frame)) return false;
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    delegate_ = delegate;
    auto inner = CGRectMake(0, 0, frame.size.width, frame.size.height);
    webView1_ = alloc<MRWebView>();
    webView1_->initWithFrame(inner, this);
    webView2_ = alloc<MRWebView>();
    webView2_->initWithFrame(inner, this);
    addSubview(webView1_.get());
    addSubview(webView2_.get());
    showingWebView_ = webView1_.get();
    hiddenWebView_ = webView2_.get();
    webView2_->setHidden(true);
    return true;
}

void MRHTMLAdView::dealloc() {
    if (webView1_) webView1_->setDelegate(nullptr);
    if (webView2_) webView2_->setDelegate(nullptr);
    webView1_ = nullptr;
    webView2_ = nullptr;
    MRBasicAdView::dealloc();
}

void MRHTMLAdView::loadWithAdContents(NSData* contents) {
    if (auto hidden = hiddenWebView()) hidden->loadWithContents(contents);
}

bool MRHTMLAdView::accelerometerEnabled() {
    auto d = delegate();
    return d ? d->htmlAdViewAccelerometerEnabled() : false;
}

void MRHTMLAdView::webViewDidLoadNewAd(MRWebView*, MRHTMLAd* ad) {
    showingAd_ = ad;
    if (ad) ad->setAdView(dynamic_cast<MRGenericAdView*>(delegate().get()));
}

void MRHTMLAdView::webViewWasTapped(MRWebView*, NSURLRequest* request) {
    if (auto d = delegate()) d->htmlAdViewWasTapped(this, request);
}

void MRHTMLAdView::webViewDidFail(MRWebView*) {
    if (auto d = delegate()) d->htmlAdViewRequestFailed(this);
}

void MRHTMLAdView::webViewWantsToOpenURL(MRWebView*, NSURL* url) {
    if (!url) return;
    if (auto d = delegate()) d->htmlAdViewWantsToOpenURL(this, url);
}

void MRHTMLAdView::webViewDidLoad(MRWebView* webView) {
    if (webView != hiddenWebView().get()) return;
    Ref<MRHTMLAdView> keep(this);
    if (auto d = delegate()) d->htmlAdViewTransitionAnimationWillBegin(this);
    crossfadeWithAd(webView->ad().get());
    if (auto d = delegate()) d->htmlAdViewRequestSucceeded(this);
}

void MRHTMLAdView::crossfadeWithAd(MRHTMLAd* ad) {
    auto showing = showingWebView();
    auto hidden = hiddenWebView();
    if (!showing || !hidden) return;
    auto fade = CATransition::animation();
    lastFadeDuration_ = ad ? ad->transitionDuration() : 0;
    fade->setDuration(lastFadeDuration_);
    fade->setTimingFunction(
        CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut).get());
    fade->setType(kCATransitionFade);
    fade->setDelegate(this);
    layer()->addAnimation(fade.get(), nullptr);
    showing->setHidden(true);
    hidden->setHidden(false);
    showingWebView_ = hidden.get();
    hiddenWebView_ = showing.get();
}

void MRHTMLAdView::animationDidStop(CAAnimation*, bool) {
    Ref<MRHTMLAdView> keep(this);
    if (auto showing = showingWebView()) showingAd_ = showing->ad().get();
    if (auto d = delegate()) d->htmlAdViewTransitionAnimationDidEnd(this);
}
