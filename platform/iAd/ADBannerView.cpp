#include "iAd/ADBannerView.h"

#include <atomic>
#include <cstdlib>
#include <string>

#include "Foundation/NSDate.h"
#include "Foundation/NSError.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIWindow.h"

NSString* const ADErrorDomain = NS("ADErrorDomain");
NSString* const ADBannerContentSizeIdentifierPortrait = NS("ADBannerContentSizeIdentifierPortrait");
NSString* const ADBannerContentSizeIdentifierLandscape =
    NS("ADBannerContentSizeIdentifierLandscape");
NSString* const ADBannerContentSizeIdentifier320x50 = NS("ADBannerContentSizeIdentifier320x50");
NSString* const ADBannerContentSizeIdentifier480x32 = NS("ADBannerContentSizeIdentifier480x32");

namespace {

constexpr NSTimeInterval kFirstLoad = 1;
constexpr NSTimeInterval kRefresh = 30;

std::atomic<bool> gLoadsFail{false};

bool isLandscape(NSString* identifier) {
    return identifier && (identifier->isEqualToString(ADBannerContentSizeIdentifierLandscape) ||
                          identifier->isEqualToString(ADBannerContentSizeIdentifier480x32));
}

}  // namespace

namespace iad_testing {
void setLoadsFail(bool fail) {
    gLoadsFail = fail;
}
bool loadsFail() {
    return gLoadsFail;
}
void setClassMissing(bool missing) {
    ADBannerView::staticClass();
    setClassNameHidden("ADBannerView", missing);
}
}  // namespace iad_testing

void ADRegisterClasses() {
    std::string controls;
    if (const char* env = std::getenv("BAZAARNEST_IAD")) controls = std::string(",") + env + ",";
    if (controls.find(",fail,") != std::string::npos) iad_testing::setLoadsFail(true);
    iad_testing::setClassMissing(controls.find(",missing,") != std::string::npos);
}

void ADBannerView::describeClass(RuntimeClass& c) {
    c.method("adTapped", &ADBannerView::adTapped);
    c.method("closeAction", &ADBannerView::closeAction);
    c.method("isBannerLoaded", &ADBannerView::isBannerLoaded);
    c.method("setRequiredContentSizeIdentifiers:",
             &ADBannerView::setRequiredContentSizeIdentifiers);
    c.method("setCurrentContentSizeIdentifier:", &ADBannerView::setCurrentContentSizeIdentifier);
}

CGSize ADBannerView::sizeFromBannerContentSizeIdentifier(NSString* identifier) {
    return isLandscape(identifier) ? CGSizeMake(480, 32) : CGSizeMake(320, 50);
}

bool ADBannerView::initWithFrame(CGRect frame) {
    if (!super::initWithFrame(frame)) return false;
    required_ = NSSet::setWithObject(ADBannerContentSizeIdentifierPortrait);
    current_ = ADBannerContentSizeIdentifierPortrait;
    // The banner always has its content size, whatever frame it was made with.
    CGSize size = sizeFromBannerContentSizeIdentifier(current_);
    setFrame(CGRectMake(frame.origin.x, frame.origin.y, size.width, size.height));
    return true;
}

void ADBannerView::setRequiredContentSizeIdentifiers(NSSet* identifiers) {
    required_ = identifiers ? identifiers : NSSet::set().get();
}

void ADBannerView::setCurrentContentSizeIdentifier(NSString* identifier) {
    if (!identifier) return;
    current_ = identifier->copy();
    CGRect f = frame();
    CGSize size = sizeFromBannerContentSizeIdentifier(current_);
    setFrame(CGRectMake(f.origin.x, f.origin.y, size.width, size.height));
    if (ad_) ad_->setFrame(bounds());
}

void ADBannerView::setDelegate(ADBannerViewDelegate* delegate) {
    if (delegate && refresh_ && delegate_.lock().get() == delegate) return;  // already loading
    delegate_ = delegate;
    stopLoads();
    if (delegate) scheduleLoads();
}

void ADBannerView::scheduleLoads() {
    // The timers do not keep the banner: a banner nobody holds goes, and its timers with it.
    Weak<ADBannerView> weak(this);
    auto tick = [weak](NSTimer*) {
        if (auto b = weak.lock()) b->loadAd();
    };
    first_ = NSTimer::timerWithTimeInterval(kFirstLoad, false, tick);
    refresh_ = NSTimer::timerWithTimeInterval(kRefresh, true, tick);
    refresh_->setFireDate(NSDate::dateWithTimeIntervalSinceNow(kFirstLoad + kRefresh));
    NSRunLoop::mainRunLoop()->addTimer(first_, NSRunLoopCommonModes);
    NSRunLoop::mainRunLoop()->addTimer(refresh_, NSRunLoopCommonModes);
}

void ADBannerView::stopLoads() {
    if (first_) first_->invalidate();
    if (refresh_) refresh_->invalidate();
    first_ = nullptr;
    refresh_ = nullptr;
}

void ADBannerView::loadAd() {
    Ref<ADBannerView> self(this);
    auto d = delegate_.lock();
    if (!d) {
        stopLoads();
        return;
    }
    // No new ad replaces the one a person is looking at.
    if (actionView_) return;
    d->bannerViewWillLoadAd(this);
    if (gLoadsFail) {
        d->bannerView(
            this, NSError::errorWithDomain(ADErrorDomain, ADErrorInventoryUnavailable, nullptr));
        return;
    }
    ++loads_;
    if (!ad_) {
        ad_ = UIButton::buttonWithType(UIButtonTypeCustom);
        ad_->setBackgroundColor(UIColor::colorWithRed(0.1f, 0.1f, 0.3f, 1));
        ad_->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
        ad_->addTarget(this, Selector::named("adTapped"), UIControlEventTouchUpInside);
        addSubview(ad_);
    }
    ad_->setFrame(bounds());
    ad_->setTitle(NSString::stringWithFormat(NS("Test Advertisement %d"), int(loads_)),
                  UIControlStateNormal);
    loaded_ = true;
    d->bannerViewDidLoadAd(this);
}

void ADBannerView::adTapped() {
    Ref<ADBannerView> self(this);
    if (!loaded_ || actionView_) return;
    auto d = delegate_.lock();
    if (d && !d->bannerViewActionShouldBegin(this, false)) return;
    auto window = this->window();
    if (!window) window = UIApplication::sharedApplication()->keyWindow();
    CGRect area = window ? window->bounds() : CGRectMake(0, 0, 320, 480);
    actionView_ = make<UIView>(&UIView::initWithFrame, area);
    actionView_->setBackgroundColor(UIColor::whiteColor());
    auto label = make<UILabel>(&UIView::initWithFrame,
                               CGRectMake(20, area.size.height / 2 - 20, area.size.width - 40, 40));
    label->setText(NS("Test Advertisement"));
    label->setTextAlignment(UITextAlignmentCenter);
    actionView_->addSubview(label);
    // The status bar stays drawn over the ad: its button goes in the room the bar leaves.
    CGRect room = CGRectIntersection(area, UIScreen::mainScreen()->applicationFrame());
    if (CGRectIsEmpty(room)) room = area;
    auto close = UIButton::buttonWithType(UIButtonTypeRoundedRect);
    close->setFrame(CGRectMake(CGRectGetMaxX(room) - 80, room.origin.y + 10, 70, 30));
    close->setTitle(NS("Close"), UIControlStateNormal);
    close->addTarget(this, Selector::named("closeAction"), UIControlEventTouchUpInside);
    actionView_->addSubview(close);
    if (window) window->addSubview(actionView_);
}

void ADBannerView::closeAction() {
    Ref<ADBannerView> self(this);
    if (!actionView_) return;
    cancelBannerViewAction();
    if (auto d = delegate_.lock()) d->bannerViewActionDidFinish(this);
}

void ADBannerView::cancelBannerViewAction() {
    if (!actionView_) return;
    actionView_->removeFromSuperview();
    actionView_ = nullptr;
}

void ADBannerView::dealloc() {
    stopLoads();
    if (actionView_) actionView_->removeFromSuperview();
    actionView_ = nullptr;
    super::dealloc();
}
