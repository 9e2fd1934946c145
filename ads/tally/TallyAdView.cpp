#include "ads/tally/TallyAdView.h"

#include <cmath>

#include "Foundation/NSDate.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "QuartzCore/CALayer.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIWindow.h"
#include "ads/tally/TallyAdAppStoreConnectionDelegate.h"
#include "ads/tally/TallyAdCanvasViewController.h"
#include "ads/tally/TallyAdClient.h"
#include "ads/tally/TallyAdImpression.h"
#include "ads/tally/TallyAdModel.h"
#include "analytics/TallyAPI.h"
#include "analytics/TallySession.h"
#include "analytics/base/TallyUtil.h"

namespace {
constexpr auto kInitWithImage =
    static_cast<bool (UIImageView::*)(UIImage*)>(&UIImageView::initWithImage);
}  // namespace

namespace {
Ref<NSString> copyOf(NSString* s) {
    return s ? cast<NSString>(s->copy()) : nullptr;
}

// A theme value as whole points.
CGFloat points(NSNumber* n) {
    return n ? static_cast<CGFloat>(n->intValue()) : 0;
}

CGRect rectOf(TallyAdLocation* at, TallyAdDimension* size) {
    return CGRectMake(at ? points(at->x()) : 0, at ? points(at->y()) : 0,
                      size ? points(size->width()) : 0, size ? points(size->height()) : 0);
}

CGRect styleFrame(TallyAdTextStyle* style) {
    return style ? rectOf(style->location(), style->dimension()) : CGRectZero;
}

Ref<UIFont> fontOf(TallyAdTextStyle* style) {
    if (!style) return nullptr;
    return UIFont::fontWithName(style->font(), points(style->fontSize()));
}

SEL refreshSelector() {
    return Selector::named("refreshWithAd");
}
}  // namespace

void TallyAdView::describeClass(RuntimeClass& c) {
    // A tap opens the canvas or the store: the banner takes taps as a button does.
    c.implements({"touchesEnded:withEvent:"});
    c.method("refreshWithAd", &TallyAdView::refreshWithAd);
    c.method("updateToOrientation", &TallyAdView::updateToOrientation);
    c.method("handleHeartBeat", &TallyAdView::handleHeartBeat);
}

bool TallyAdView::initWithAd(NSObject* ad, NSString* hook, int x, int y, NSObject* parent,
                             bool attachToView, NSString* orientation, NSString* canvasOrientation,
                             bool autoRefresh) {
    if (!UIView::initWithFrame(CGRectMake(x, y, 320, 48))) return false;
    autoRefresh_ = autoRefresh;
    refreshTimerPaused_ = false;
    setHidden(true);
    hook_ = copyOf(hook);
    Ref<UIView> parentView;
    if (auto controller = as<UIViewController>(parent)) {
        parentViewController_ = controller.get();
        auto navigation = as<UINavigationController>(controller);
        Ref<UIViewController> named = navigation ? navigation->visibleViewController() : nullptr;
        parentName_ = (named ? named.get() : controller.get())->description();
        parentView = controller->view();
    } else if (auto view = as<UIView>(parent)) {
        parentView = view;
        parentName_ = view->description();
    }
    parentView_ = parentView.get();
    setBackgroundColor(UIColor::blueColor());
    adImpression_ = make<TallyAdImpression>(&TallyAdImpression::initWithHook, hook_.get(),
                                            NSNumber::numberWithInt(1).get());
    setAutoresizingMask(UIViewAutoresizingFlexibleTopMargin |
                        UIViewAutoresizingFlexibleBottomMargin);
    orientation_ = copyOf(orientation);
    canvasOrientation_ = copyOf(canvasOrientation);
    auto record = TallyAdParser::fastHookWithName(hook_);
    if (auto first = as<TallyAd>(ad); first && record) updateWithAd(first, record);
    if (attachToView && parentView) parentView->addSubview(this);
    UIDevice::currentDevice()->beginGeneratingDeviceOrientationNotifications();
    auto center = NSNotificationCenter::defaultCenter();
    center->addObserver(this, Selector::named("updateToOrientation"),
                        UIDeviceOrientationDidChangeNotification, nullptr);
    center->addObserver(this, Selector::named("handleHeartBeat"), NS("TallyHeartBeatNotification"),
                        nullptr);
    TallyUtil::debugLog(NS("Tally: Initialized adView with hook[%@] at x[%d] y[%d]"), hook_, x, y);
    return true;
}

void TallyAdView::dealloc() {
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    NSObject::cancelPreviousPerformRequestsWithTarget(this);
    releaseAd();
    UIView::dealloc();
}

void TallyAdView::releaseAd() {
    auto ad = as<TallyAd>(ad_);
    auto assignment = TallyAdAssignment::instance();
    if (ad && assignment) assignment->removeAd(ad, parentName_);
}

Ref<TallyAd> TallyAdView::ad() {
    return as<TallyAd>(ad_);
}
Ref<TallyAdImpression> TallyAdView::adImpression() {
    return adImpression_;
}
Ref<TallyAdHook> TallyAdView::adHook() {
    return as<TallyAdHook>(adHook_);
}
Ref<TallyAdTheme> TallyAdView::theme() {
    return as<TallyAdTheme>(theme_);
}
void TallyAdView::setOrientation(NSString* orientation) {
    orientation_ = copyOf(orientation);
}

void TallyAdView::updateWithAd(TallyAd* ad, TallyAdHook* hook) {
    bool first = !ad_ || !adHook_;
    ad_ = ad;
    adHook_ = hook;
    if (ad && hook) {
        theme_ = hook->adTheme();
        if (ad->adImage()) createViewElements();
        setUserInteractionEnabled(true);
        setHidden(false);
        setAlpha(1.0f);
        if (autoRefresh_ && !refreshTimerPaused_) {
            // One pending refresh at a time, however often an ad is shown in between.
            NSObject::cancelPreviousPerformRequestsWithTarget(this, refreshSelector(), nullptr);
            performSelector(
                refreshSelector(), nullptr,
                static_cast<NSTimeInterval>(TallyAdProperties::getBannerRefreshInSeconds()));
            refreshTimerPaused_ = false;
        }
        if (!first)
            adImpression_ = make<TallyAdImpression>(&TallyAdImpression::initWithHook, hook_.get(),
                                                    NSNumber::numberWithInt(1).get());
        adImpression_->updateWithAd(ad);
        updateToOrientation();
        TallyUtil::debugLog(NS("Tally: Updated adView with ad[%@]"), ad);
    }
    checkBannerLocation();
}

void TallyAdView::refreshWithAd() {
    releaseAd();
    // The parser itself answers, whatever the last upload's outcome: the class lookups give
    // nothing without internet, which would leave the banner empty and retrying.
    auto parser = TallyAdParser::instance();
    auto next = parser->adWithHook(hook_, parentName_);
    auto record = parser->hookWithName(hook_);
    updateWithAd(next, record);
}

Ref<UILabel> TallyAdView::styledLabel(CGRect frame, NSString* text, NSObject* object) {
    auto style = as<TallyAdTextStyle>(object);
    auto label = make<UILabel>(&UILabel::initWithFrame, frame);
    label->setText(text);
    label->setTextAlignment(UITextAlignmentLeft);
    if (style) {
        label->setTextColor(style->fontColor());
        label->setFont(fontOf(style));
    }
    label->setBackgroundColor(UIColor::clearColor());
    return label;
}

void TallyAdView::replaceSubviews(std::initializer_list<UIView*> views) {
    auto old = subviews();
    for (auto* view : *old)
        static_cast<UIView*>(view)->removeFromSuperview();
    for (auto* view : views)
        if (view) addSubview(view);
    setBackgroundColor(UIColor::grayColor());
}

void TallyAdView::createViewElements() {
    makeViewElements(false);
}

void TallyAdView::makeViewElements(bool inDrawer) {
    auto ad = this->ad();
    auto theme = this->theme();
    if (!ad || !theme) return;
    TallyUtil::debugLog(NS("Tally: Updating adView with adImageId[%@] dimension[%@]"),
                        ad->imageId(), NSStringFromCGSize(ad->adImage()->size()));
    icon_ = make<UIImageView>(kInitWithImage, ad->adImage().get());
    icon_->setFrame(portraitIconFrame());
    TallyUtil::debugLog(NS("Tally: Icon image created at[%@]"),
                        NSStringFromCGRect(icon_->bounds()));
    if (inDrawer) {
        sellMessageLabel_ = nullptr;
    } else {
        sellMessageLabel_ = styledLabel(portraitSellMessageFrame(), theme->sellMessage(),
                                        theme->portraitSellMessageTextStyle());
        sellMessageLabel_->setAdjustsFontSizeToFitWidth(true);
        sellMessageLabel_->setNumberOfLines(2);
        TallyUtil::debugLog(NS("Tally: Sales message label created at[%@]"),
                            NSStringFromCGRect(sellMessageLabel_->bounds()));
    }
    appNameLabel_ =
        styledLabel(portraitAppNameFrame(), ad->adText(), theme->portraitAppNameTextStyle());
    TallyUtil::debugLog(NS("Tally: App name label created at[%@]"),
                        NSStringFromCGRect(appNameLabel_->bounds()));
    advertiserLabel_ = styledLabel(portraitAdvertiserFrame(), ad->advertiser(),
                                   theme->portraitAdvertiserTextStyle());
    advertiserLabel_->setHidden(!inDrawer);
    TallyUtil::debugLog(NS("Tally: Advertiser label created at[%@]"),
                        NSStringFromCGRect(advertiserLabel_->bounds()));
    portraitBackground_ = make<UIImageView>(kInitWithImage, theme->portraitAdImage().get());
    landscapeBackground_ = make<UIImageView>(kInitWithImage, theme->landscapeAdImage().get());
    if (inDrawer) landscapeBackground_->setHidden(true);
    // The theme's pictures are the backdrop of the words and icon: nothing to read by themselves.
    portraitBackground_->setAccessibilityElementsHidden(true);
    landscapeBackground_->setAccessibilityElementsHidden(true);
    // A drawer banner's missing sell message is left out.
    replaceSubviews({icon_.get(), landscapeBackground_.get(), portraitBackground_.get(),
                     sellMessageLabel_.get(), appNameLabel_.get(), advertiserLabel_.get()});
}

CGRect TallyAdView::portraitFrame() {
    auto t = theme();
    auto d = t ? t->portraitAdDimension() : nullptr;
    return CGRectMake(frame().origin.x, frame().origin.y, d ? points(d->width()) : 0,
                      d ? points(d->height()) : 0);
}
CGRect TallyAdView::landscapeFrame() {
    auto t = theme();
    auto d = t ? t->landscapeAdDimension() : nullptr;
    return CGRectMake(frame().origin.x, frame().origin.y, d ? points(d->width()) : 0,
                      d ? points(d->height()) : 0);
}
CGRect TallyAdView::portraitIconFrame() {
    auto t = theme();
    return t ? rectOf(t->portraitAppImageLocation(), t->portraitAppImageDimension()) : CGRectZero;
}
CGRect TallyAdView::landscapeIconFrame() {
    auto t = theme();
    return t ? rectOf(t->landscapeAppImageLocation(), t->landscapeAppImageDimension()) : CGRectZero;
}
CGRect TallyAdView::portraitSellMessageFrame() {
    auto t = theme();
    return t ? styleFrame(t->portraitSellMessageTextStyle()) : CGRectZero;
}
CGRect TallyAdView::portraitAppNameFrame() {
    auto t = theme();
    return t ? styleFrame(t->portraitAppNameTextStyle()) : CGRectZero;
}
CGRect TallyAdView::portraitAdvertiserFrame() {
    auto t = theme();
    return t ? styleFrame(t->portraitAdvertiserTextStyle()) : CGRectZero;
}
CGRect TallyAdView::landscapeSellMessageFrame() {
    auto t = theme();
    return t ? styleFrame(t->landscapeSellMessageTextStyle()) : CGRectZero;
}
CGRect TallyAdView::landscapeAppNameFrame() {
    auto t = theme();
    return t ? styleFrame(t->landscapeAppNameTextStyle()) : CGRectZero;
}
CGRect TallyAdView::landscapeAdvertiserFrame() {
    auto t = theme();
    return t ? styleFrame(t->landscapeAdvertiserTextStyle()) : CGRectZero;
}

void TallyAdView::updateToOrientation() {
    auto t = theme();
    if (!t) return;
    bool landscape =
        orientation_ && orientation_->caseInsensitiveCompare(NS("landscape")) == NSOrderedSame;
    setFrame(landscape ? landscapeFrame() : portraitFrame());
    if (sellMessageLabel_)
        sellMessageLabel_->setFrame(landscape ? landscapeSellMessageFrame()
                                              : portraitSellMessageFrame());
    if (icon_) icon_->setFrame(landscape ? landscapeIconFrame() : portraitIconFrame());
    if (appNameLabel_)
        appNameLabel_->setFrame(landscape ? landscapeAppNameFrame() : portraitAppNameFrame());
    if (advertiserLabel_) {
        advertiserLabel_->setFrame(landscape ? landscapeAdvertiserFrame()
                                             : portraitAdvertiserFrame());
        advertiserLabel_->setHidden(!landscape);
    }
    if (portraitBackground_) portraitBackground_->setHidden(landscape);
    if (landscapeBackground_) landscapeBackground_->setHidden(!landscape);
    if (appNameLabel_)
        appNameLabel_->setFont(
            fontOf(landscape ? t->landscapeAppNameTextStyle() : t->portraitAppNameTextStyle()));
    if (sellMessageLabel_)
        sellMessageLabel_->setFont(fontOf(landscape ? t->landscapeSellMessageTextStyle()
                                                    : t->portraitSellMessageTextStyle()));
}

void TallyAdView::handleHeartBeat() {
    if (!ad_ || !adHook_) refreshWithAd();
    checkBannerLocation();
}

bool TallyAdView::isBannerVisible() {
    auto app = UIApplication::sharedApplication();
    auto key = app ? app->keyWindow() : nullptr;
    if (!key || window() != key || isHidden()) return false;
    CGRect shown = layer()->visibleRect();
    CGPoint centre = convertPoint(CGPointMake(CGRectGetMidX(shown), CGRectGetMidY(shown)), key);
    return CGRectContainsPoint(key->layer()->visibleRect(), centre);
}

void TallyAdView::checkBannerLocation() {
    if (!isBannerVisible()) {
        refreshTimerPaused_ = true;
        NSObject::cancelPreviousPerformRequestsWithTarget(this, refreshSelector(), nullptr);
        return;
    }
    if (ad_ && adImpression_ && adImpression_->currentState() < 3)
        adImpression_->updateWithResult(NSNumber::numberWithInt(3));
    if (autoRefresh_ && refreshTimerPaused_) {
        performSelector(
            refreshSelector(), nullptr,
            static_cast<NSTimeInterval>(TallyAdProperties::getBannerRefreshInSeconds()));
        refreshTimerPaused_ = false;
    }
}

void TallyAdView::touchesEnded(NSSet* touches, UIEvent*) {
    bool tapped = false;
    for (auto* touch : *touches)
        if (static_cast<UITouch*>(touch)->tapCount() != 0) tapped = true;
    if (!tapped || clickThroughOut()) return;
    auto ad = this->ad();
    auto record = adHook();
    if (adImpression_) adImpression_->updateWithResult(NSNumber::numberWithInt(4));
    int action = record && record->clickAction() && record->clickAction()->intValue() != 0
                     ? record->clickAction()->intValue()
                     : 1;
    TallyUtil::debugLog(NS("Tally: Hook[%@] is configured with clickAction[%d]"), hook_, action);
    bool showCanvas = ad && ad->canvasId() && ad->canvasId()->longLongValue() > 0 && action == 1;
    webUrl_ = webUrlForCanvas(showCanvas, hook_, ad, adImpression_, canvasOrientation_);
    TallyUtil::debugLog(NS("Tally: Click url[%@]"), webUrl_);
    if (showCanvas) {
        auto canvas = make<TallyAdCanvasViewController>();
        canvas->setWebUrl(webUrl_);
        canvas->setAdImpression(adImpression_);
        canvas->setAd(ad);
        canvas->setAdDelegate(adDelegate());
        canvas->setCanvasOrientation(canvasOrientation_);
        canvas->setCanvasAnimated(canvasAnimated_);
        clickThrough_ = canvas.get();
        if (auto navigation = as<UINavigationController>(parentViewController_.lock())) {
            TallyUtil::debugLog(NS("Tally: Add canvasController to navigationController"));
            navigation->pushViewController(canvas, true);
        } else {
            TallyUtil::debugLog(NS("Tally: Create canvas window"));
            canvas->createCanvasWindow();
        }
    } else if (action == 2) {
        if (adImpression_) adImpression_->updateWithResult(NSNumber::numberWithInt(7));
        auto alert = make<UIAlertView>(
            &UIAlertView::initWithTitle, NS(""),
            NS("You will now be taken to the App Store. There is no obligation to purchase."),
            static_cast<UIAlertViewDelegate*>(this), NS("Don't Allow"),
            std::initializer_list<NSString*>{NS("OK")});
        alert->show();
    } else {
        showAppStore();
    }
}

void TallyAdView::alertViewClickedButtonAtIndex(UIAlertView*, NSInteger index) {
    if (index != 0) showAppStore();
}

void TallyAdView::showAppStore() {
    auto follower = make<TallyAdAppStoreConnectionDelegate>();
    follower->setAdImpression(adImpression_);
    clickThrough_ = follower.get();
    follower->openReferralURL(NSURL::URLWithString(webUrl_));
}

bool TallyAdView::clickThroughOut() {
    auto out = clickThrough_.lock();
    // A canvas pushed onto the host's navigation covers the banner by itself.
    if (auto canvas = as<TallyAdCanvasViewController>(out))
        return canvas == TallyAdCanvasViewController::getOpenCanvasController();
    return out != nullptr;
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
