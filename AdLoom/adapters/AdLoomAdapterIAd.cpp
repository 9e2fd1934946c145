#include "AdLoom/adapters/AdLoomAdapterIAd.h"

#include "AdLoom/internal/AdLoomDelegate.h"
#include "AdLoom/internal/AdLoomView.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIDevice.h"

namespace {
bool isLandscape(NSInteger orientation) {
    return orientation == 3 || orientation == 4;
}
}  // namespace

void AdLoomAdapterIAd::describeClass(RuntimeClass& c) {
    c.classMethod("networkType", &AdLoomAdapterIAd::networkType);
    c.implements(
        {"bannerViewDidLoadAd:", "bannerView:didFailToReceiveAdWithError:",
         "bannerViewActionShouldBegin:willLeaveApplication:", "bannerViewActionDidFinish:"});
}

void AdLoomAdapterIAd::load() {
    ADRegisterClasses();
    if (!classNamed("ADBannerView")) return;
    AdLoomAdNetworkRegistry::sharedRegistry()->registerClass(staticClass());
}

void AdLoomAdapterIAd::getAd() {
    auto banner = make<ADBannerView>(&ADBannerView::initWithFrame, CGRectZero);
    // Both names exist on every platform this runs on; the older ones are the fallback.
    portrait_ = ADBannerContentSizeIdentifierPortrait ? ADBannerContentSizeIdentifierPortrait
                                                      : ADBannerContentSizeIdentifier320x50;
    landscape_ = ADBannerContentSizeIdentifierLandscape ? ADBannerContentSizeIdentifierLandscape
                                                        : ADBannerContentSizeIdentifier480x32;
    banner->setRequiredContentSizeIdentifiers(
        NSSet::setWithObjects({portrait_.get(), landscape_.get()}).get());
    NSInteger orientation;
    auto d = adLoomDelegate();
    if (AdLoomDelegateAnswers(d.get(), "adLoomCurrentOrientation"))
        orientation = d->adLoomCurrentOrientation();
    else
        orientation = UIDevice::currentDevice()->orientation();
    banner->setCurrentContentSizeIdentifier(isLandscape(orientation) ? landscape_.get()
                                                                     : portrait_.get());
    banner->setDelegate(this);
    setAdNetworkView(banner.get());
}

void AdLoomAdapterIAd::stopBeingDelegate() {
    if (auto banner = as<ADBannerView>(adNetworkView())) banner->setDelegate(nullptr);
}

void AdLoomAdapterIAd::rotateToOrientation(UIInterfaceOrientation orientation) {
    auto banner = as<ADBannerView>(adNetworkView());
    if (!banner) return;
    banner->setCurrentContentSizeIdentifier(isLandscape(orientation) ? landscape_.get()
                                                                     : portrait_.get());
    CGRect frame = banner->frame();
    frame.origin = CGPointZero;
    banner->setFrame(frame);
}

void AdLoomAdapterIAd::bannerViewDidLoadAd(ADBannerView* banner) {
    CGRect frame = banner->frame();
    frame.origin = CGPointZero;
    banner->setFrame(frame);
    if (auto view = adLoomView()) view->adapterDidReceiveAdView(this, banner);
}

void AdLoomAdapterIAd::bannerView(ADBannerView*, NSError* error) {
    if (auto view = adLoomView()) view->adapterDidFailAd(this, error);
}

bool AdLoomAdapterIAd::bannerViewActionShouldBegin(ADBannerView*, bool) {
    helperNotifyDelegateOfFullScreenModal();
    return true;
}

void AdLoomAdapterIAd::bannerViewActionDidFinish(ADBannerView*) {
    helperNotifyDelegateOfFullScreenModalDismissal();
}
