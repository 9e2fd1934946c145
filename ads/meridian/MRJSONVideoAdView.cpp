#include "ads/meridian/MRJSONVideoAdView.h"

#include <cmath>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NumberConversion.h"
#include "MediaPlayer/MPMoviePlayerController.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIWindow.h"
#include "ads/meridian/MRAdView.h"
#include "ads/meridian/MRLog.h"
#include "ads/meridian/MROverlayView.h"
#include "ads/meridian/MRVideoCache.h"

namespace {

NSString* const kOverlayWillClose = NS("MROverlayWillClose");
NSString* const kShowStatusBarIfNeeded = NS("MRShowStatusBarIfNeeded");

bool multitasking() {
    return UIDevice::currentDevice()->isMultitaskingSupported();
}

Ref<NSString> remainingText(int seconds) {
    return NSString::stringWithFormat(NS("%d seconds remaining..."), seconds);
}

// A length the server got wrong (none, negative, or beyond a day) would read a count that never
// moves; such a video plays without one. A day is far past any ad downloaded whole before it
// plays, and keeps the count well inside an int.
bool countsDown(float length) {
    return length > 0 && length <= 86400;
}

}  // namespace

void MRJSONVideoAdView::describeClass(RuntimeClass& c) {
    c.method("overlayWasClosed", &MRJSONVideoAdView::overlayWasClosed);
    c.method("showStatusBar", &MRJSONVideoAdView::showStatusBar);
    c.method("showStatusBarIfNeeded", &MRJSONVideoAdView::showStatusBarIfNeeded);
    c.method("moviePlayBackDidFinish:", &MRJSONVideoAdView::moviePlayBackDidFinish);
    c.method("moviePlayBackStateDidChange:", &MRJSONVideoAdView::moviePlayBackStateDidChange);
    c.method("movieLoadStateDidChange:", &MRJSONVideoAdView::movieLoadStateDidChange);
    c.method("movieWillEnterFullscreen:", &MRJSONVideoAdView::movieWillEnterFullscreen);
    c.method("movieDidExitEnterFullscreen:", &MRJSONVideoAdView::movieDidExitEnterFullscreen);
    c.method("appWillGoToBackground:", &MRJSONVideoAdView::appWillGoToBackground);
    c.method("appWillEnterForeground:", &MRJSONVideoAdView::appWillEnterForeground);
    c.method("playbackTimerCheck:", &MRJSONVideoAdView::playbackTimerCheck);
}

bool MRJSONVideoAdView::initWithFrame(CGRect frame, MRJSONVideoAdViewDelegate* delegate) {
    if (!UIView::initWithFrame(frame)) return false;
    delegate_ = delegate;
    buttons_ = NSMutableArray::array();
    downloading_ = NSMutableArray::array();
    logs_ = NSMutableDictionary::dictionary();
    firstPlay_ = false;
    endLogsHaveBeenSent_ = false;
    auto center = NSNotificationCenter::defaultCenter();
    center->addObserver(this, Selector::named("overlayWasClosed"), kOverlayWillClose, nullptr);
    center->addObserver(this, Selector::named("showStatusBarIfNeeded"), kShowStatusBarIfNeeded,
                        nullptr);
    return true;
}

void MRJSONVideoAdView::dealloc() {
    auto center = NSNotificationCenter::defaultCenter();
    center->removeObserver(this);
    for (NSUInteger i = 0; i < downloading_->count(); ++i)
        if (auto d = cast<MRVideoCache>(downloading_->objectAtIndex(i))->download())
            d->setDelegate(nullptr);
    cache_ = nullptr;
    logs_ = nullptr;
    buttons_ = nullptr;
    stopPlaybackTimer();
    showStatusBar();
    if (player_) {
        player_->stop();
        player_->view()->removeFromSuperview();
    }
    player_ = nullptr;
    fullScreen_.giveBack();
    videoControlOverlay_ = nullptr;
    closeOverlayOverPlayer();
    ad_ = nullptr;
    MRJSONBasicAdView::dealloc();
}

void MRJSONVideoAdView::setAd(MRJSONAd* ad) {
    ad_ = ad;
    if (ad)
        if (auto d = delegate_.lock()) d->videoAdDidLoadNewAd(this, ad);
}

void MRJSONVideoAdView::loadFullScreenVideoFromURL(NSURL*) {
    Ref<MRJSONVideoAdView> keep(this);
    firstPlay_ = false;
    if (player_) stopAndRemove();
    cache_ = nullptr;
    auto ad = ad_;
    if (!ad || !MRVideoCache::isUsableVideoId(ad->videoId().get())) {
        // Ids name files: such an ad cannot be cached, so it cannot play.
        if (auto d = delegate_.lock()) d->videoAdFailed(this);
        return;
    }
    bool ready = false;
    if (auto entry = MRVideoCache::loadFromArchive(ad->videoId().get())) {
        ready = !entry->isCacheExpired() && entry->isDownloadComplete();
        cache_ = entry;
        cache_->updateWithNewAd(ad.get());
    } else {
        cache_ = make<MRVideoCache>(&MRVideoCache::initWithAd, ad.get());
    }

    logs_ = NSMutableDictionary::dictionary();
    endLogsHaveBeenSent_ = false;
    if (auto entries = as<NSArray>(ad->logs())) {
        for (NSUInteger i = 0; i < entries->count(); ++i) {
            auto entry = as<NSDictionary>(entries->objectAtIndex(i));
            auto time = entry ? entry->objectForKey(NS("time")) : nullptr;
            if (time) logs_->setObject(entry.get(), time.get());
        }
    }

    if (!ready) {
        NSNotificationCenter::defaultCenter()->postNotificationName(
            NS("MRCachingBeganNotification"), nullptr);
        if (auto d = delegate_.lock()) d->videoAdFailed(this);
        if (cache_) {
            cache_->startOrFinishDownloadWithDelegate(this);
            if (cache_->download() && !downloading_->containsObject(cache_.get()))
                downloading_->addObject(cache_.get());
        }
        return;
    }

    if (fullScreen_.heldByAnother() || !bannerInSight()) {
        // Another ad's full-screen view is up, or the banner left the screen while its reply was
        // on its way: the video would cover what the person reads. Its file stays cached.
        if (auto d = delegate_.lock()) d->videoAdFailed(this);
        return;
    }
    player_ =
        make<MPMoviePlayerController>(&MPMoviePlayerController::initWithContentURL,
                                      NSURL::fileURLWithPath(cache_->localPath().get()).get());
    if (auto d = delegate_.lock()) d->videoAdSucceeded(this);
    if (!player_) return;
    player_->setShouldAutoplay(true);
    player_->setControlStyle(static_cast<MPMovieControlStyle>(ad->controlStyle()));
    player_->setFullscreen(false);
    observePlayer(multitasking());
    showPlayer(player_.get());
    playVideo();
}

bool MRJSONVideoAdView::bannerInSight() {
    for (auto view = superview(); view; view = view->superview())
        if (auto banner = as<MRAdView>(view)) return banner->isInSight();
    return true;  // a video view in no banner has no host's screen to cover
}

void MRJSONVideoAdView::observePlayer(bool withApplication) {
    auto center = NSNotificationCenter::defaultCenter();
    center->addObserver(this, Selector::named("moviePlayBackDidFinish:"),
                        MPMoviePlayerPlaybackDidFinishNotification, player_.get());
    center->addObserver(this, Selector::named("moviePlayBackStateDidChange:"),
                        MPMoviePlayerPlaybackStateDidChangeNotification, player_.get());
    center->addObserver(this, Selector::named("movieLoadStateDidChange:"),
                        MPMoviePlayerLoadStateDidChangeNotification, player_.get());
    center->addObserver(this, Selector::named("movieDidExitEnterFullscreen:"),
                        MPMoviePlayerDidExitFullscreenNotification, player_.get());
    if (withApplication) {
        center->addObserver(this, Selector::named("appWillGoToBackground:"),
                            UIApplicationDidEnterBackgroundNotification, nullptr);
        center->addObserver(this, Selector::named("appWillEnterForeground:"),
                            UIApplicationWillEnterForegroundNotification, nullptr);
    }
}

void MRJSONVideoAdView::stopObservingApplication() {
    auto center = NSNotificationCenter::defaultCenter();
    center->removeObserver(this, UIApplicationDidEnterBackgroundNotification, nullptr);
    center->removeObserver(this, UIApplicationWillEnterForegroundNotification, nullptr);
}

void MRJSONVideoAdView::showPlayer(MPMoviePlayerController* player) {
    if (auto d = delegate_.lock()) d->videoAdWillAppear(this);
    auto app = UIApplication::sharedApplication();
    auto window = app->keyWindow();
    CGRect bounds = window ? window->bounds() : UIScreen::mainScreen()->bounds();
    auto view = player->view();
    view->setFrame(CGRectMake(0, 0, bounds.size.height, bounds.size.width));
    if (app->statusBarOrientation() == UIInterfaceOrientationLandscapeLeft)
        view->setTransform(
            CGAffineTransformTranslate(CGAffineTransformMakeRotation(-M_PI / 2), -80, -80));
    else
        view->setTransform(
            CGAffineTransformTranslate(CGAffineTransformMakeRotation(M_PI / 2), 80, 80));
    // Shown again over a player of its own, the bar stays as it was before the first.
    statusBar_.take();
    fullScreen_.take();

    auto ad = cache_ && cache_->ad() ? cache_->ad() : ad_;
    auto overlay = alloc<MRJSONVideoOverlayControlView>();
    overlay->initWithFrame(CGRectMake(0, 0, bounds.size.height, bounds.size.width),
                           ad ? ad->videoButtons().get() : nullptr,
                           ad && ad->showCountdownHUD() && countsDown(ad->videoDuration()), this);
    if (auto label = overlay->countdownLabel())
        label->setText(remainingText(truncatedNumber<int>(ad->videoDuration())).get());
    view->addSubview(overlay.get());
    videoControlOverlay_ = overlay.get();
    if (window) window->addSubview(view.get());
    if (auto d = delegate_.lock()) d->videoAdDidAppear(this);
}

void MRJSONVideoAdView::playVideo() {
    auto overlay = videoControlOverlay_.lock();
    if (overlay && overlay->isVideoFinishedPlaying()) return;
    if (!player_) return;
    // The page the person opened stays in front of a still video, whatever wakes the app.
    if (auto page = overlayOverPlayer(); page && !page->isClosing()) return;
    if (NSThread::isMainThread())
        startPlaybackTimer();
    else
        NSRunLoop::performOnMainThread([this] { startPlaybackTimer(); }, true);
    player_->play();
}

void MRJSONVideoAdView::pauseVideo() {
    if (!player_) return;
    if (NSThread::isMainThread())
        stopPlaybackTimer();
    else
        NSRunLoop::performOnMainThread([this] { stopPlaybackTimer(); }, true);
    player_->pause();
}

void MRJSONVideoAdView::restartVideo() {
    if (!player_) return;
    player_->pause();
    player_->setCurrentPlaybackTime(0);
    if (auto overlay = videoControlOverlay_.lock()) {
        overlay->restart();
        // Back at the start, the countdown reads the whole length again, as when first shown,
        // not the time it had reached until the next tick.
        if (auto label = overlay->countdownLabel();
            label && ad_ && countsDown(ad_->videoDuration()))
            label->setText(remainingText(truncatedNumber<int>(ad_->videoDuration())).get());
        else if (label)
            label->removeFromSuperview();
    }
    playVideo();
}

void MRJSONVideoAdView::startPlaybackTimer() {
    stopPlaybackTimer();
    Weak<MRJSONVideoAdView> weak(this);
    playbackObserverTimer_ = NSTimer::scheduledTimerWithTimeInterval(1.0, true, [weak](NSTimer* t) {
        if (auto self = weak.lock()) self->playbackTimerCheck(t);
    });
}

void MRJSONVideoAdView::stopPlaybackTimer() {
    if (playbackObserverTimer_) playbackObserverTimer_->invalidate();
    playbackObserverTimer_ = nullptr;
}

void MRJSONVideoAdView::playbackTimerCheck(NSTimer*) {
    float duration = ad_ ? ad_->videoDuration() : 0;
    if (!player_ || player_->currentPlaybackTime() >= duration) {
        stopPlaybackTimer();
        return;
    }
    int now = truncatedNumber<int>(player_->currentPlaybackTime());
    if (auto overlay = videoControlOverlay_.lock())
        if (auto label = overlay->countdownLabel())
            label->setText(
                remainingText(truncatedNumber<int>(std::trunc(duration) - now - 1)).get());
    auto entry =
        as<NSDictionary>(logs_->objectForKey(NSString::stringWithFormat(NS("%d"), now).get()));
    if (auto urls = entry ? as<NSArray>(entry->objectForKey(NS("urls"))) : nullptr)
        for (NSUInteger i = 0; i < urls->count(); ++i)
            if (auto url = as<NSString>(urls->objectAtIndex(i))) MRLog::logURL(url.get());
}

void MRJSONVideoAdView::showStatusBarIfNeeded() {
    // A page closed over the player (or anywhere else) leaves the bar hidden while it plays.
    if (player_) return;
    showStatusBar();
}

void MRJSONVideoAdView::showStatusBar() {
    // A banner's video view that goes (its screen's view let go on a memory warning) or an
    // overlay that closes gives back only what it took: another player keeps the bar hidden.
    statusBar_.giveBack();
}

void MRJSONVideoAdView::stopAndRemove() {
    stopPlaybackTimer();
    if (player_) {
        player_->stop();
        player_->view()->removeFromSuperview();
    }
    player_ = nullptr;
    fullScreen_.giveBack();
    videoControlOverlay_ = nullptr;
    closeOverlayOverPlayer();
}

void MRJSONVideoAdView::overlayOpenedOverPlayer(MROverlayView* overlay) {
    if (player_) overlayOverPlayer_ = overlay;
}

Ref<MROverlayView> MRJSONVideoAdView::overlayOverPlayer() {
    auto overlay = overlayOverPlayer_.lock();
    return overlay && overlay->superview() ? overlay : nullptr;
}

void MRJSONVideoAdView::closeOverlayOverPlayer() {
    // Left up, the page would lie over the app with nothing under it to go back to.
    auto overlay = overlayOverPlayer();
    overlayOverPlayer_ = nullptr;
    if (overlay) overlay->close();
}

void MRJSONVideoAdView::moviePlayBackDidFinish(NSNotification* note) {
    Ref<MRJSONVideoAdView> keep(this);
    auto info = note->userInfo();
    auto reason =
        info ? as<NSNumber>(info->objectForKey(MPMoviePlayerPlaybackDidFinishReasonUserInfoKey))
             : nullptr;
    NSInteger why = reason ? reason->integerValue() : MPMovieFinishReasonPlaybackEnded;
    if (why == MPMovieFinishReasonPlaybackError) {
        showStatusBar();
        endMovieAndRemoveWithNotification(false);
        auto error = info ? as<NSError>(info->objectForKey(NS("error"))) : nullptr;
        // A damaged file is fetched again from the start.
        if (error && error->code() == -50 && cache_) {
            cache_->restartDownloadWithDelegate(this);
            if (cache_->download() && !downloading_->containsObject(cache_.get()))
                downloading_->addObject(cache_.get());
        }
    } else if (why == MPMovieFinishReasonUserExited) {
        showStatusBar();
        endMovieAndRemoveWithNotification(true);
    } else {
        if (multitasking()) stopObservingApplication();
        if (auto overlay = videoControlOverlay_.lock()) overlay->videoFinishedPlaying();
        if (ad_ && ad_->onCompletion()) {
            showOnCompletionView();
            return;
        }
        showStatusBar();
        endMovieAndRemoveWithNotification(true);
    }
}

void MRJSONVideoAdView::moviePlayBackStateDidChange(NSNotification*) {
    if (player_ && player_->playbackState() == MPMoviePlaybackStatePlaying && !firstPlay_) {
        if (auto d = delegate_.lock()) d->videoAdStarted(this, player_.get());
        firstPlay_ = true;
    }
}

void MRJSONVideoAdView::movieLoadStateDidChange(NSNotification*) {
    if (player_ &&
        (player_->loadState() & (MPMovieLoadStatePlayable | MPMovieLoadStatePlaythroughOK)))
        placeButtons();
}

void MRJSONVideoAdView::showOnCompletionView() {
    Ref<MRJSONVideoAdView> keep(this);
    auto done = ad_->onCompletion();
    if (mrjson::boolOf(done->objectForKey(NS("stayInPlayer")).get())) {
        endLogsHaveBeenSent_ = true;
        if (auto d = delegate_.lock()) d->videoAdFinished(this, player_.get(), false, true);
        return;
    }
    // The on-completion page is the ad's last word: it outlives the player, closed by its own
    // Close, which tells the host the ad's screen went.
    auto before = overlayOverPlayer_.lock();
    bool page = false;
    if (auto url = as<NSString>(done->objectForKey(NS("url")))) {
        page = true;
        auto request = NSURLRequest::requestWithURL(NSURL::URLWithString(url.get()).get());
        if (auto d = delegate_.lock())
            d->videoAdLoadOnCompletion(this, request.get(), orientationForVideo());
    } else if (auto html = as<NSString>(done->objectForKey(NS("html")))) {
        page = true;
        if (auto d = delegate_.lock())
            d->videoAdLoadOnCompletionWithHTML(this, html.get(), orientationForVideo());
    }
    overlayOverPlayer_ = before.get();
    // With no page to follow, the player's end is the ad's: the host hears it closed, as after
    // a video with nothing on completion.
    if (!page) showStatusBar();
    endMovieAndRemoveWithNotification(true, !page);
}

void MRJSONVideoAdView::endMovieWithNotification(bool notify, bool enabledAdRefresh, bool log,
                                                 bool closeVideo) {
    Ref<MRJSONVideoAdView> keep(this);
    auto player = player_;
    auto center = NSNotificationCenter::defaultCenter();
    for (NSString* name :
         {MPMoviePlayerPlaybackDidFinishNotification,
          MPMoviePlayerPlaybackStateDidChangeNotification,
          MPMoviePlayerLoadStateDidChangeNotification, MPMoviePlayerWillEnterFullscreenNotification,
          MPMoviePlayerDidExitFullscreenNotification})
        center->removeObserver(this, name, nullptr);
    if (multitasking()) stopObservingApplication();
    if (closeVideo) stopAndRemove();
    if (enabledAdRefresh)
        if (auto d = delegate_.lock()) d->videoAdWillClose(this);
    if (notify)
        if (auto d = delegate_.lock())
            d->videoAdFinished(this, player.get(), enabledAdRefresh, log);
}

void MRJSONVideoAdView::endMovieAndRemoveWithNotification(bool notify, bool enabledAdRefresh) {
    endMovieWithNotification(notify, enabledAdRefresh, !endLogsHaveBeenSent_, true);
}

void MRJSONVideoAdView::endMovieAndRemoveWithNotification(bool notify) {
    endMovieAndRemoveWithNotification(notify, true);
}

void MRJSONVideoAdView::placeButtons() {
    if (auto overlay = videoControlOverlay_.lock()) overlay->showButtons();
}

int32_t MRJSONVideoAdView::orientationForVideo() {
    auto o = UIApplication::sharedApplication()->statusBarOrientation();
    if (o == UIInterfaceOrientationLandscapeLeft || o == UIInterfaceOrientationLandscapeRight)
        return static_cast<int32_t>(o);
    return UIInterfaceOrientationLandscapeRight;
}

void MRJSONVideoAdView::movieWillEnterFullscreen(NSNotification*) {
    playVideo();
}

void MRJSONVideoAdView::movieDidExitEnterFullscreen(NSNotification*) {
    if (!player_) return;
    auto view = player_->view();
    for (NSUInteger i = 0; i < buttons_->count(); ++i)
        if (auto extra = as<UIView>(buttons_->objectAtIndex(i))) view->addSubview(extra.get());
}

void MRJSONVideoAdView::appWillGoToBackground(NSNotification*) {
    pauseVideo();
}

void MRJSONVideoAdView::appWillEnterForeground(NSNotification*) {
    playVideo();
}

void MRJSONVideoAdView::overlayWasClosed() {
    playVideo();
}

Ref<MRVideoCache> MRJSONVideoAdView::entryDownloading(MRURLDownload* download) {
    for (NSUInteger i = 0; i < downloading_->count(); ++i) {
        auto entry = cast<MRVideoCache>(downloading_->objectAtIndex(i));
        if (entry->download().get() == download) return entry;
    }
    return nullptr;
}

void MRJSONVideoAdView::downloadDidFinish(MRURLDownload* download) {
    Ref<MRJSONVideoAdView> keep(this);
    auto entry = entryDownloading(download);
    if (auto d = delegate_.lock()) d->videoCacheSucceeded(this);
    if (entry) {
        entry->downloadDidFinish(download);
        downloading_->removeObject(entry.get());
    }
}

void MRJSONVideoAdView::downloadDidFail(MRURLDownload* download, NSError* error) {
    Ref<MRJSONVideoAdView> keep(this);
    auto entry = entryDownloading(download);
    if (auto d = delegate_.lock()) d->videoCacheFailed(this);
    if (entry) {
        entry->downloadDidFail(download, error);
        downloading_->removeObject(entry.get());
    }
}

void MRJSONVideoAdView::jsonVideoButtonWasTapped(MRJSONVideoButton* button,
                                                 MRJSONVideoOverlayControlView*) {
    if (auto d = delegate_.lock()) d->videoButtonWasPressed(this, button);
}

void MRJSONVideoAdView::animationDidStop(CAAnimation*, bool) {
    showStatusBar();
    endMovieAndRemoveWithNotification(true);
}
