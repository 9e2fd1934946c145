#include "ads/meridian/MRJSONAdView.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "QuartzCore/CALayer.h"
#include "ads/meridian/MRHandshake.h"
#include "ads/meridian/MRLog.h"
#include "ads/meridian/MRVideoCache.h"

NSString* const MRCachingEndedNotification = NS("MRCachingEndedNotification");
NSString* const MRCachingBeganNotification = NS("MRCachingBeganNotification");

namespace {

void logEach(NSArray* urls) {
    for (NSUInteger i = 0; urls && i < urls->count(); ++i)
        if (auto url = as<NSString>(urls->objectAtIndex(i))) MRLog::logURL(url.get());
}

// Runs `work` on the main thread and waits for it.
void onMainThread(const std::function<void()>& work) {
    if (NSThread::isMainThread())
        work();
    else
        NSRunLoop::performOnMainThread(work, true);
}

}  // namespace

void MRJSONAdView::describeClass(RuntimeClass&) {}

bool MRJSONAdView::initWithFrame(CGRect frame, MRJSONAdViewDelegate* delegate) {
    if (!UIView::initWithFrame(frame)) return false;
    delegate_ = delegate;
    CGRect inner = CGRectMake(0, 0, frame.size.width, frame.size.height);
    imageAdView_ = alloc<MRJSONImageAdView>();
    imageAdView_->initWithFrame(inner, this);
    addSubview(imageAdView_.get());
    showingAdView_ = imageAdView_.get();
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    videoAdView_ = alloc<MRJSONVideoAdView>();
    videoAdView_->initWithFrame(inner, this);
    videoAdView_->setHidden(true);
    addSubview(videoAdView_.get());
    hiddenAdView_ = videoAdView_.get();
    return true;
}

void MRJSONAdView::dealloc() {
    delegate_ = nullptr;
    if (imageAdView_) imageAdView_->setDelegate(nullptr);
    if (videoAdView_) videoAdView_->setDelegate(nullptr);
    imageAdView_ = nullptr;
    videoAdView_ = nullptr;
    MRBasicAdView::dealloc();
}

void MRJSONAdView::setFrame(CGRect frame) {
    CGRect inner = CGRectMake(0, 0, frame.size.width, frame.size.height);
    if (auto showing = showingAdView_.lock()) {
        showing->setFrame(inner);
        bringSubviewToFront(showing.get());
    }
    if (auto hidden = hiddenAdView_.lock()) hidden->setFrame(inner);
    MRBasicAdView::setFrame(frame);
}

void MRJSONAdView::loadWithAdContents(NSData* contents) {
    Ref<MRJSONAdView> keep(this);
    auto showing = showingAdView_.lock();
    int32_t previousType = showing && showing->ad() ? showing->ad()->adType() : 0;
    auto ad = make<MRJSONAd>(&MRJSONAd::initWithJSONAd, contents, this);
    if (ad->adType() == MRJSONAdTypeImage) {
        imageAdView_->setAd(ad.get());
        imageAdView_->loadWithURL(ad->imageContentURL().get());
    } else if (ad->adType() == MRJSONAdTypeVideo) {
        MRHandshake::sharedHandshake()->setLastVideoRequestMadeAt(NSDate::date().get());
        videoAdView_->setAd(ad.get());
        if (auto d = delegate_.lock()) d->jsonAdViewWillLoadVideoURL(this);
        videoAdView_->loadFullScreenVideoFromURL(ad->videoContentURL().get());
    } else {
        if (auto d = delegate_.lock()) d->jsonAdViewRequestFailed(this);
    }
    if (ad->adType() == previousType) {
        if (auto d = delegate_.lock()) d->jsonAdViewWantsToMoveToTheFront(this);
    } else {
        if (auto d = delegate_.lock()) d->jsonAdViewTransitionAnimationWillBegin(this);
        onMainThread([&] { crossfadeWithAd(ad.get()); });
    }
}

void MRJSONAdView::playVideoAdWithCache(MRVideoCache* cache) {
    Ref<MRJSONAdView> keep(this);
    Ref<MRVideoCache> entry(cache);
    if (auto d = delegate_.lock()) d->jsonAdViewWillPlayChachedVideo(this);
    videoAdView_->setAd(entry->ad().get());
    videoAdView_->loadFullScreenVideoFromURL(entry->url().get());
    entry->incrementNumPlaysBy(1);
    entry->save();
    if (auto d = delegate_.lock()) d->jsonAdViewTransitionAnimationWillBegin(this);
    onMainThread([&] { crossfadeWithAd(entry->ad().get()); });
}

void MRJSONAdView::crossfadeWithAd(MRJSONAd* ad) {
    auto fade = CATransition::animation();
    fade->setDuration(ad ? ad->transitionDuration() : 0.6);
    fade->setTimingFunction(
        CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut).get());
    fade->setType(kCATransitionFade);
    fade->setDelegate(this);
    layer()->addAnimation(fade.get(), nullptr);
    int32_t type = ad ? ad->adType() : 0;
    auto showing = showingAdView_.lock();
    auto hidden = hiddenAdView_.lock();
    if (type == MRJSONAdTypeVideo) {
        videoAdView_->setHidden(false);
        imageAdView_->setHidden(true);
    } else if (type == MRJSONAdTypeImage) {
        imageAdView_->setHidden(false);
        videoAdView_->setHidden(true);
    } else {
        if (showing) showing->setHidden(false);
        if (hidden) hidden->setHidden(true);
    }
    // The roles swap whatever the type.
    showingAdView_ = hidden.get();
    hiddenAdView_ = showing.get();
}

void MRJSONAdView::animationDidStop(CAAnimation*, bool) {
    if (auto d = delegate_.lock()) d->jsonAdViewTransitionAnimationDidEnd(this);
}

// ---- the image child ------------------------------------------------------------------------

void MRJSONAdView::imageAdDidLoadNewAd(MRJSONImageAdView*, MRJSONAd* ad) {
    jsonAd_ = ad;
}

void MRJSONAdView::imageAdViewSucceeded(MRJSONImageAdView*) {
    if (auto d = delegate_.lock()) d->jsonAdViewRequestSucceeded(this);
}

void MRJSONAdView::imageAdViewFailed(MRJSONImageAdView*) {
    if (auto d = delegate_.lock()) d->jsonAdViewRequestFailed(this);
}

void MRJSONAdView::imageAdViewWasTapped(MRJSONImageAdView*) {
    auto ad = jsonAd_.lock();
    auto url = ad ? ad->imageTapThroughURL() : nullptr;
    auto request = url ? NSURLRequest::requestWithURL(url.get()) : nullptr;
    if (auto d = delegate_.lock()) d->jsonAdViewWasTapped(this, request.get());
}

// ---- the video child ------------------------------------------------------------------------

void MRJSONAdView::videoAdDidLoadNewAd(MRJSONVideoAdView*, MRJSONAd* ad) {
    jsonAd_ = ad;
}

void MRJSONAdView::videoAdSucceeded(MRJSONVideoAdView*) {
    if (auto d = delegate_.lock()) d->jsonAdViewVideoAdSucceeded(this);
}

void MRJSONAdView::videoAdFailed(MRJSONVideoAdView*) {
    if (auto d = delegate_.lock()) d->jsonAdViewVideoAdFailed(this);
}

void MRJSONAdView::videoAdWillAppear(MRJSONVideoAdView*) {
    if (auto d = delegate_.lock()) d->jsonAdViewVideoAdWillAppear(this);
}

void MRJSONAdView::videoAdDidAppear(MRJSONVideoAdView*) {
    if (auto d = delegate_.lock()) d->jsonAdViewVideoAdDidAppear(this);
}

void MRJSONAdView::videoAdWillClose(MRJSONVideoAdView*) {
    if (auto d = delegate_.lock()) d->jsonAdViewVideoAdWillDisappear(this);
}

void MRJSONAdView::videoCacheSucceeded(MRJSONVideoAdView*) {
    NSNotificationCenter::defaultCenter()->postNotificationName(MRCachingEndedNotification,
                                                                nullptr);
    if (auto d = delegate_.lock()) d->jsonAdViewVideoCacheSucceeded(this);
}

void MRJSONAdView::videoCacheFailed(MRJSONVideoAdView*) {
    NSNotificationCenter::defaultCenter()->postNotificationName(MRCachingEndedNotification,
                                                                nullptr);
    if (auto d = delegate_.lock()) d->jsonAdViewVideoCacheFailed(this);
}

void MRJSONAdView::videoAdLoadOnCompletion(MRJSONVideoAdView* view, NSURLRequest* request,
                                           int32_t orientation) {
    if (auto d = delegate_.lock())
        d->jsonAdViewWantToShowOverlay(this, view, request, orientation, false, true);
}

void MRJSONAdView::videoAdLoadOnCompletionWithHTML(MRJSONVideoAdView* view, NSString* html,
                                                   int32_t orientation) {
    if (auto d = delegate_.lock())
        d->jsonAdViewWantToShowOverlayWithHTML(this, view, html, orientation, false, true);
}

void MRJSONAdView::videoAdStarted(MRJSONVideoAdView* view, MPMoviePlayerController*) {
    MRHandshake::sharedHandshake()->setLastVideoPlayedAt(NSDate::date().get());
    if (auto ad = view->ad()) logEach(ad->startActivity().get());
}

void MRJSONAdView::videoAdFinished(MRJSONVideoAdView* view, MPMoviePlayerController*,
                                   bool enableAdRefresh, bool log) {
    if (log)
        if (auto ad = view->ad()) logEach(ad->endActivity().get());
    if (auto d = delegate_.lock()) d->jsonAdViewVideoAdFinishedPlaying(this, enableAdRefresh);
}

void MRJSONAdView::videoButtonWasPressed(MRJSONVideoAdView* view, MRJSONVideoButton* button) {
    Ref<MRJSONAdView> keep(this);
    Ref<MRJSONVideoAdView> video(view);
    logEach(button->activity().get());
    video->pauseVideo();
    auto url = button->tapURL();
    auto text = url ? url->absoluteString() : NSString::string();
    if (text->isEqualToString(NS("mrsdk://endVideo"))) {
        video->showStatusBar();
        video->endMovieWithNotification(true, true, false, true);
        return;
    }
    if (text->isEqualToString(NS("mrsdk://restartVideo"))) {
        video->restartVideo();
        return;
    }
    if (text->isEqualToString(NS("mrsdk://pauseVideo"))) {
        video->pauseVideo();
        return;
    }
    if (text->isEqualToString(NS("mrsdk://playVideo"))) {
        video->playVideo();
        return;
    }
    auto scheme = url ? url->scheme() : nullptr;
    if (scheme && (scheme->isEqualToString(NS("sms")) || scheme->isEqualToString(NS("tel")) ||
                   scheme->isEqualToString(NS("mrbrowser")))) {
        if (auto d = delegate_.lock()) d->jsonAdViewWantsToOpenURL(this, url.get());
        return;
    }
    if (auto d = delegate_.lock())
        d->jsonAdViewWantToShowOverlay(
            this, video.get(), url ? NSURLRequest::requestWithURL(url.get()).get() : nullptr,
            MRJSONVideoAdView::orientationForVideo(), false, false);
}
