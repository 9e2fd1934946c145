// The ad view's side of JSON replies: the reply handed to the JSON ad view, the cached video
// found before a request, and the JSON ad view's reports turned into the host's calls, timer
// changes, cross-fades and overlays.
#include "Foundation/NSDictionary.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIApplication.h"
#include "ads/meridian/MRGenericAdView.h"
#include "ads/meridian/MRJSONVideoAdView.h"
#include "ads/meridian/MRVideoCache.h"

namespace {

void onMainThread(const std::function<void()>& work) {
    if (NSThread::isMainThread())
        work();
    else
        NSRunLoop::performOnMainThread(work, true);
}

}  // namespace

void MRGenericAdView::loadJSONReply(NSData* data) {
    if (auto json = as<MRJSONAdView>(jsonAdView_.lock())) json->loadWithAdContents(data);
}

Ref<MRVideoCache> MRGenericAdView::cachedVideo() {
    auto path = MRVideoCache::cachedVideoListPath();
    auto list = NSDictionary::dictionaryWithContentsOfFile(path.get());
    auto vid = list ? as<NSString>(list->objectForKey(NS("needToPlayVideo"))) : nullptr;
    if (!vid) return nullptr;
    auto entry = MRVideoCache::loadFromArchive(vid.get());
    if (entry) NSFileManager::defaultManager()->removeItemAtPath(path.get(), nullptr);
    return entry;
}

void MRGenericAdView::jsonAdViewRequestSucceeded(MRJSONAdView*) {
    reportRequestSucceeded();
}

void MRGenericAdView::jsonAdViewRequestFailed(MRJSONAdView*) {
    reportRequestFailed();
}

void MRGenericAdView::jsonAdViewVideoAdSucceeded(MRJSONAdView*) {
    reportRequestSucceeded();
}

void MRGenericAdView::jsonAdViewVideoAdFailed(MRJSONAdView*) {
    reportRequestFailed();
    auto d = delegate();
    if (MRDelegateAnswers(d.get(), "adRequestIsCaching:")) d->adRequestIsCaching(this);
}

void MRGenericAdView::jsonAdViewVideoAdWillAppear(MRJSONAdView*) {
    auto d = delegate();
    if (MRDelegateAnswers(d.get(), "adModalWillAppear")) d->adModalWillAppear();
}

void MRGenericAdView::jsonAdViewVideoAdDidAppear(MRJSONAdView*) {
    auto d = delegate();
    if (MRDelegateAnswers(d.get(), "adModalDidAppear")) d->adModalDidAppear();
}

void MRGenericAdView::jsonAdViewVideoAdWillDisappear(MRJSONAdView*) {
    auto d = delegate();
    if (MRDelegateAnswers(d.get(), "adModalWasDismissed")) d->adModalWasDismissed();
}

void MRGenericAdView::jsonAdViewVideoAdFinishedPlaying(MRJSONAdView*, bool restartTimer) {
    if (restartTimer) startTimer();
}

void MRGenericAdView::jsonAdViewWillLoadVideoURL(MRJSONAdView*) {
    stopTimer();
}

void MRGenericAdView::jsonAdViewWillPlayChachedVideo(MRJSONAdView*) {
    stopTimer();
}

void MRGenericAdView::jsonAdViewVideoCacheSucceeded(MRJSONAdView*) {
    startTimer();
}

void MRGenericAdView::jsonAdViewVideoCacheFailed(MRJSONAdView*) {
    startTimer();
}

void MRGenericAdView::jsonAdViewWasTapped(MRJSONAdView* view, NSURLRequest* request) {
    adWasTapped(view ? view->getAd().get() : nullptr, request);
}

void MRGenericAdView::jsonAdViewWantsToOpenURL(MRJSONAdView* view, NSURL* url) {
    adWantsToOpenURL(view ? view->getAd().get() : nullptr, url);
}

void MRGenericAdView::jsonAdViewWantsToMoveToTheFront(MRJSONAdView* view) {
    Ref<MRJSONAdView> kept(view);
    onMainThread([&] { fadeAdView(kept.get()); });
}

void MRGenericAdView::jsonAdViewTransitionAnimationWillBegin(MRJSONAdView*) {
    selfDuringTransition_ = this;
}

void MRGenericAdView::jsonAdViewTransitionAnimationDidEnd(MRJSONAdView* view) {
    Ref<MRJSONAdView> kept(view);
    onMainThread([&] { fadeAdView(kept.get()); });
    selfDuringTransition_ = nullptr;
}

void MRGenericAdView::jsonAdViewWantToShowOverlay(MRJSONAdView* view, MRJSONVideoAdView* video,
                                                  NSURLRequest* request, int32_t orientation,
                                                  bool notifyOpenDelegates,
                                                  bool notifyCloseDelegates) {
    showJSONOverlay(view, video, request, orientation, notifyOpenDelegates, notifyCloseDelegates);
}

void MRGenericAdView::jsonAdViewWantToShowOverlayWithHTML(MRJSONAdView* view,
                                                          MRJSONVideoAdView* video, NSString* html,
                                                          int32_t orientation,
                                                          bool notifyOpenDelegates,
                                                          bool notifyCloseDelegates) {
    showJSONOverlay(view, video, html, orientation, notifyOpenDelegates, notifyCloseDelegates);
}

void MRGenericAdView::showJSONOverlay(MRJSONAdView* view, MRJSONVideoAdView* video,
                                      NSObject* content, int32_t orientation,
                                      bool notifyOpenDelegates, bool notifyCloseDelegates) {
    // One overlay at a time: a page asked for while one is open is not shown.
    if (overlayView() || !view) return;
    auto ad = view->getAd();
    showOverlayWithAd(ad.get(), content, orientation, notifyOpenDelegates, notifyCloseDelegates);
    // A page opened over the video's player closes with it.
    if (auto overlay = overlayView(); overlay && video)
        video->overlayOpenedOverPlayer(overlay.get());
    if (ad) ad->startCloseOverlayTimer();
    stopTimer();
}
