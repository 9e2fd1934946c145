// A video ad, played full screen from the video cache on the movie player, never streamed: the
// first sight of a video downloads it and the ad fails this time ("caching"); once the file is
// complete and unexpired it plays, with the overlay's buttons, a countdown, log pixels at their
// second and the ad's on-completion page.
#pragma once

#include <cstdint>

#include "QuartzCore/CAAnimation.h"
#include "ads/meridian/MRJSONBasicAdView.h"
#include "ads/meridian/MRJSONVideoOverlayControlView.h"
#include "ads/meridian/MRStatusBar.h"
#include "ads/meridian/MRURLDownload.h"
#include "ads/place/AdFullScreen.h"

class MPMoviePlayerController;
class MRJSONVideoAdView;
class MROverlayView;
class MRVideoCache;
class NSMutableArray;
class NSMutableDictionary;
class NSNotification;
class NSTimer;
class NSURLRequest;

class MRJSONVideoAdViewDelegate {
public:
    virtual ~MRJSONVideoAdViewDelegate() = default;
    virtual void videoAdFailed(MRJSONVideoAdView* view) = 0;
    virtual void videoAdSucceeded(MRJSONVideoAdView* view) = 0;
    virtual void videoAdWillClose(MRJSONVideoAdView* view) = 0;
    virtual void videoAdDidAppear(MRJSONVideoAdView* view) = 0;
    virtual void videoAdWillAppear(MRJSONVideoAdView* view) = 0;
    virtual void videoAdFinished(MRJSONVideoAdView* view, MPMoviePlayerController* player,
                                 bool enableAdRefresh, bool log) = 0;
    virtual void videoAdStarted(MRJSONVideoAdView* view, MPMoviePlayerController* player) = 0;
    virtual void videoButtonWasPressed(MRJSONVideoAdView* view, MRJSONVideoButton* button) = 0;
    virtual void videoAdLoadOnCompletion(MRJSONVideoAdView* view, NSURLRequest* request,
                                         int32_t orientation) = 0;
    virtual void videoAdLoadOnCompletionWithHTML(MRJSONVideoAdView* view, NSString* html,
                                                 int32_t orientation) = 0;
    virtual void videoAdDidLoadNewAd(MRJSONVideoAdView* view, MRJSONAd* ad) = 0;
    virtual void videoCacheFailed(MRJSONVideoAdView* view) = 0;
    virtual void videoCacheSucceeded(MRJSONVideoAdView* view) = 0;
    virtual void videoAdPaused(MRJSONVideoAdView*, MPMoviePlayerController*) {}
    virtual void videoAdLoaded(MRJSONVideoAdView*, MPMoviePlayerController*) {}
};

class MRJSONVideoAdView : public MRJSONBasicAdView,
                          public MRJSONVideoOverlayControlViewDelegate,
                          public MRURLDownloadDelegate,
                          public CAAnimationDelegate {
    NS_OBJECT(MRJSONVideoAdView, MRJSONBasicAdView)
    static void describeClass(RuntimeClass& c);

    using UIView::initWithFrame;
    bool initWithFrame(CGRect frame, MRJSONVideoAdViewDelegate* delegate);
    void dealloc() override;
    void setAd(MRJSONAd* ad) override;

    void loadFullScreenVideoFromURL(NSURL* url);
    void showPlayer(MPMoviePlayerController* player);
    void playVideo();
    void pauseVideo();
    void restartVideo();
    void startPlaybackTimer();
    void stopPlaybackTimer();
    void playbackTimerCheck(NSTimer* timer);
    // Gives back this view's hold on the status bar, taken for its player; the bar shows again
    // once no other player or page holds it.
    void showStatusBar();
    // An overlay closed: the bar comes back as showStatusBar gives it, unless the player is up.
    void showStatusBarIfNeeded();
    void stopAndRemove();
    void showOnCompletionView();
    void endMovieWithNotification(bool notify, bool enabledAdRefresh, bool log, bool closeVideo);
    void endMovieAndRemoveWithNotification(bool notify, bool enabledAdRefresh);
    void endMovieAndRemoveWithNotification(bool notify);
    void placeButtons();
    static int32_t orientationForVideo();

    // Player and application notifications.
    void moviePlayBackDidFinish(NSNotification* note);
    void moviePlayBackStateDidChange(NSNotification* note);
    void movieLoadStateDidChange(NSNotification* note);
    void movieWillEnterFullscreen(NSNotification* note);
    void movieDidExitEnterFullscreen(NSNotification* note);
    void moviePreloadStateDidFinish(NSNotification*) {}
    void keyWindowChanged(NSNotification*) {}
    void appWillGoToBackground(NSNotification* note);
    void appWillEnterForeground(NSNotification* note);
    void overlayWasClosed();
    // A page the ad opened from the player's buttons, laid over it: it closes with the player,
    // and the video waits under it. A page opened once the player is ending (the ad's
    // on-completion page) is not handed here and stays until its own Close.
    void overlayOpenedOverPlayer(MROverlayView* overlay);
    Ref<MROverlayView> overlayOverPlayer();

    void downloadDidFinish(MRURLDownload* download) override;
    void downloadDidFail(MRURLDownload* download, NSError* error) override;
    void jsonVideoButtonWasTapped(MRJSONVideoButton* button,
                                  MRJSONVideoOverlayControlView* overlay) override;
    void animationDidStop(CAAnimation* animation, bool finished) override;

    Ref<MPMoviePlayerController> player() { return player_; }
    Ref<MRJSONVideoOverlayControlView> videoControlOverlay() { return videoControlOverlay_.lock(); }
    Ref<MRVideoCache> cache() { return cache_; }
    Ref<NSTimer> playbackObserverTimer() { return playbackObserverTimer_; }
    Ref<MRJSONVideoAdViewDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(MRJSONVideoAdViewDelegate* d) { delegate_ = d; }

private:
    void observePlayer(bool multitasking);
    // Whether the person can see the banner this video belongs to.
    bool bannerInSight();
    void stopObservingApplication();
    void closeOverlayOverPlayer();
    // The entry whose download this is, among those this view started.
    Ref<MRVideoCache> entryDownloading(MRURLDownload* download);

    Ref<MPMoviePlayerController> player_;
    Weak<MRJSONVideoOverlayControlView> videoControlOverlay_;
    Weak<MRJSONVideoAdViewDelegate> delegate_;
    bool firstPlay_ = false;
    bool endLogsHaveBeenSent_ = false;
    Ref<NSTimer> playbackObserverTimer_;
    Ref<MRVideoCache> cache_;
    // The status bar hidden for this view's player.
    MRStatusBarHold statusBar_;
    // The screen taken while the player is up: no banner refreshes under it.
    AdFullScreenHold fullScreen_;
    Weak<MROverlayView> overlayOverPlayer_;
    Ref<NSMutableDictionary> logs_;
    Ref<NSMutableArray> buttons_;
    // Entries with a download running: each lives until its download ends, whatever ad
    // comes next.
    Ref<NSMutableArray> downloading_;
};
