#include "AdLoom/adapters/AdLoomAdapterIronvine.h"

#include "AdLoom/internal/AdLoomError.h"
#include "AdLoom/internal/AdLoomView.h"
#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "ads/ironvine/IVAdManager.h"
#include "ads/ironvine/IVAdView.h"

namespace {
// Goes with the Ironvine engine's own process-wide state: a reset of one is a reset of both.
struct EngineUse {
    bool engineStarted = false;
    double lastBanner = 0;
};
EngineUse& engineUse() {
    static ProcessWide<EngineUse> slot;
    return *slot.get();
}
}  // namespace

void AdLoomAdapterIronvine::describeClass(RuntimeClass& c) {
    c.classMethod("networkType", &AdLoomAdapterIronvine::networkType);
}

void AdLoomAdapterIronvine::load() {
    AdLoomAdNetworkRegistry::sharedRegistry()->registerClass(staticClass());
}

double AdLoomAdapterIronvine::lastBannerTime() {
    return engineUse().lastBanner;
}

bool AdLoomAdapterIronvine::initWithAdLoomDelegate(AdLoomDelegate* delegate, AdLoomView* view,
                                                   AdLoomConfig* config,
                                                   AdLoomAdNetworkConfig* networkConfig) {
    if (!AdLoomAdNetworkAdapter::initWithAdLoomDelegate(delegate, view, config, networkConfig))
        return false;
    if (!engineUse().engineStarted) {
        auto slots = NSArray::arrayWithObjects(
            {IVAdSlotDescription::descriptionWithSize(IVAdSizeBanner, NS("ivBanner")).get(),
             IVAdSlotDescription::descriptionWithSize(IVAdSizeFullScreen, NS("ivFullScreen"))
                 .get()});
        try {
            IVAdEngine::startupWithAppID(networkConfig ? networkConfig->pubId().get() : nullptr,
                                         slots.get());
        } catch (ExceptionRaised& e) {
            // Already started elsewhere in the process: the engine stands.
            if (!e.exception->name()->isEqualToString(NSInternalInconsistencyException)) throw;
        }
        engineUse().engineStarted = true;
    }
    return true;
}

void AdLoomAdapterIronvine::getAd() {
    double elapsed = IVAdManager::nowSince1970() - engineUse().lastBanner;
    if (!(elapsed > IVMinimumRefreshIntervalSeconds)) {
        AdLoomLogDebug(NS("Failing Ironvine ad request because Ironvine's minimum refresh interval "
                          "of %f has not elapsed since the previous banner display."),
                       IVMinimumRefreshIntervalSeconds);
        if (auto view = adLoomView()) view->adapterDidFailAd(this, nullptr);
        return;
    }
    // The first banner comes with the engine's ready call.
    bool first = engineUse().lastBanner == 0;
    if (!first && !IVAdEngine::isNextAdDownloadedForSlotNamed(NS("ivBanner"))) {
        AdLoomLogDebug(
            NS("Failing Ironvine banner ad request because the next banner ad has not yet been "
               "downloaded."));
        if (auto view = adLoomView()) view->adapterDidFailAd(this, nullptr);
        return;
    }
    // Only a request that delivers takes the engine's one banner view: a failed one's
    // containers are never shown, and the banner taken into them would leave the ad on show
    // an empty band until the next request that delivers.
    auto banner = IVAdView::adViewForSlotNamed(NS("ivBanner"), this);
    innerContainer_ = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 50));
    innerContainer_->setBackgroundColor(UIColor::clearColor().get());
    innerContainer_->addSubview(banner.get());
    outerContainer_ = make<UIView>(&UIView::initWithFrame, banner ? banner->frame() : CGRectZero);
    outerContainer_->setBackgroundColor(UIColor::clearColor().get());
    outerContainer_->addSubview(innerContainer_.get());
    setAdNetworkView(outerContainer_.get());
    if (first) return;
    banner->refresh();
    bannerAdReady();
}

void AdLoomAdapterIronvine::bannerAdReady() {
    AdLoomLogDebug(NS("Ironvine received banner ad."));
    engineUse().lastBanner = IVAdManager::nowSince1970();
    if (auto view = adLoomView()) view->adapterDidReceiveAdView(this, adNetworkView().get());
}

void AdLoomAdapterIronvine::ironvineAdReadyForSlotNamed(NSString* name) {
    if (name && name->isEqualToString(NS("ivBanner")) && engineUse().lastBanner == 0)
        bannerAdReady();
}

void AdLoomAdapterIronvine::ironvineFullScreenDisplayWillOpen() {
    helperNotifyDelegateOfFullScreenModal();
}

void AdLoomAdapterIronvine::ironvineFullScreenDisplayWillClose() {
    helperNotifyDelegateOfFullScreenModalDismissal();
}
