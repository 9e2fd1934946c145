#include "ads/pebble/PBLDelegateManager.h"

#include "Foundation/NSRunLoop.h"
#include "Foundation/NSThread.h"
#include "ads/pebble/PBLBannerView.h"

void PBLDelegateManager::setAdView(PBLBannerView* view) {
    adView_ = view;
}

Ref<PBLBannerView> PBLDelegateManager::adView() {
    return adView_.lock();
}

void PBLDelegateManager::dispatch(
    const std::function<void(PBLBannerViewDelegate*, PBLBannerView*)>& banner,
    const std::function<void(PBLInterstitialDelegate*, PBLInterstitial*)>& other) {
    if (!NSThread::isMainThread()) {
        NSRunLoop::performOnMainThread([&] { dispatch(banner, other); }, true);
        return;
    }
    // None of them may go away during the callbacks.
    Ref<PBLDelegateManager> self = this;
    auto bannerDelegate = bannerDelegate_.lock();
    auto sdkDelegate = sdkInterstitialDelegate_.lock();
    auto interstitialDelegate = interstitialDelegate_.lock();
    auto view = adView();
    PBLInterstitial* interstitial = interstitial_;
    if (bannerDelegate) banner(bannerDelegate.get(), view.get());
    if (sdkDelegate) other(sdkDelegate.get(), interstitial);
    if (interstitialDelegate) other(interstitialDelegate.get(), interstitial);
}

void PBLDelegateManager::didReceiveAd() {
    dispatch([](auto d, auto v) { d->adViewDidReceiveAd(v); },
             [](auto d, auto i) { d->interstitialDidReceiveAd(i); });
}
void PBLDelegateManager::didFailToReceiveAdWithError(NSError* error) {
    dispatch([error](auto d, auto v) { d->adViewDidFailToReceiveAdWithError(v, error); },
             [error](auto d, auto i) { d->interstitialDidFailToReceiveAdWithError(i, error); });
}
void PBLDelegateManager::willPresentScreen() {
    dispatch([](auto d, auto v) { d->adViewWillPresentScreen(v); },
             [](auto d, auto i) { d->interstitialWillPresentScreen(i); });
}
void PBLDelegateManager::willDismissScreen() {
    dispatch([](auto d, auto v) { d->adViewWillDismissScreen(v); },
             [](auto d, auto i) { d->interstitialWillDismissScreen(i); });
}
void PBLDelegateManager::didDismissScreen() {
    dispatch([](auto d, auto v) { d->adViewDidDismissScreen(v); },
             [](auto d, auto i) { d->interstitialDidDismissScreen(i); });
}
void PBLDelegateManager::willLeaveApplication() {
    dispatch([](auto d, auto v) { d->adViewWillLeaveApplication(v); },
             [](auto d, auto i) { d->interstitialWillLeaveApplication(i); });
}

bool PBLDelegateManager::didYouNilOutYourDelegate(NSObject* object, SEL selector) {
    return respondsTo(object, selector);
}
