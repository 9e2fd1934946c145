// The view a Meridian ad view hands a JSON reply to: it makes the ad, starts the image or the
// video child, cross-fades between them, decides what an overlay button does during a video
// (the "mrsdk://" commands included) and reports everything to its delegate, the ad view.
#pragma once

#include <cstdint>

#include "QuartzCore/CAAnimation.h"
#include "ads/meridian/MRBasicAd.h"
#include "ads/meridian/MRJSONImageAdView.h"
#include "ads/meridian/MRJSONVideoAdView.h"

class MRJSONAdView;
class MRVideoCache;
class NSData;
class NSURL;
class NSURLRequest;

// Posted (object nil) when a video's download ends, either way.
extern NSString* const MRCachingEndedNotification;
// Posted (object nil) when a video is seen for the first time and its download starts.
extern NSString* const MRCachingBeganNotification;

class MRJSONAdViewDelegate {
public:
    virtual ~MRJSONAdViewDelegate() = default;
    virtual void jsonAdViewRequestFailed(MRJSONAdView* view) = 0;
    virtual void jsonAdViewRequestSucceeded(MRJSONAdView* view) = 0;
    virtual void jsonAdViewVideoAdFinishedPlaying(MRJSONAdView* view, bool startTimer) = 0;
    virtual void jsonAdViewVideoAdSucceeded(MRJSONAdView* view) = 0;
    virtual void jsonAdViewVideoAdFailed(MRJSONAdView* view) = 0;
    virtual void jsonAdViewWantsToMoveToTheFront(MRJSONAdView* view) = 0;
    virtual void jsonAdViewVideoCacheSucceeded(MRJSONAdView* view) = 0;
    virtual void jsonAdViewVideoCacheFailed(MRJSONAdView* view) = 0;
    virtual void jsonAdViewWantToShowOverlay(MRJSONAdView* view, MRJSONVideoAdView* videoAdView,
                                             NSURLRequest* request, int32_t orientation,
                                             bool notifyOpenDelegates,
                                             bool notifyCloseDelegates) = 0;
    virtual void jsonAdViewWantToShowOverlayWithHTML(MRJSONAdView* view,
                                                     MRJSONVideoAdView* videoAdView, NSString* html,
                                                     int32_t orientation, bool notifyOpenDelegates,
                                                     bool notifyCloseDelegates) = 0;
    virtual void jsonAdViewWillLoadVideoURL(MRJSONAdView* view) = 0;
    virtual void jsonAdViewWillPlayChachedVideo(MRJSONAdView* view) = 0;
    virtual void jsonAdViewVideoAdDidAppear(MRJSONAdView* view) = 0;
    virtual void jsonAdViewVideoAdWillAppear(MRJSONAdView* view) = 0;
    virtual void jsonAdViewVideoAdWillDisappear(MRJSONAdView* view) = 0;
    virtual void jsonAdViewWasTapped(MRJSONAdView* view, NSURLRequest* request) = 0;
    virtual void jsonAdViewWantsToOpenURL(MRJSONAdView* view, NSURL* url) = 0;
    virtual void jsonAdViewTransitionAnimationDidEnd(MRJSONAdView* view) = 0;
    virtual void jsonAdViewTransitionAnimationWillBegin(MRJSONAdView* view) = 0;
};

class MRJSONAdView : public MRBasicAdView,
                     public MRJSONImageAdViewDelegate,
                     public MRJSONVideoAdViewDelegate,
                     public CAAnimationDelegate {
    NS_OBJECT(MRJSONAdView, MRBasicAdView)
    static void describeClass(RuntimeClass& c);

    using UIView::initWithFrame;
    bool initWithFrame(CGRect frame, MRJSONAdViewDelegate* delegate);
    void dealloc() override;
    void setFrame(CGRect frame) override;
    Ref<MRJSONAd> getAd() { return jsonAd_.lock(); }
    void loadWithAdContents(NSData* contents);
    void playVideoAdWithCache(MRVideoCache* cache);
    void crossfadeWithAd(MRJSONAd* ad);

    Ref<MRJSONImageAdView> imageAdView() { return imageAdView_; }
    Ref<MRJSONVideoAdView> videoAdView() { return videoAdView_; }
    Ref<MRJSONBasicAdView> showingAdView() { return showingAdView_.lock(); }
    Ref<MRJSONBasicAdView> hiddenAdView() { return hiddenAdView_.lock(); }
    Ref<MRJSONAdViewDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(MRJSONAdViewDelegate* d) { delegate_ = d; }

    // The image child's reports.
    void imageAdViewFailed(MRJSONImageAdView* view) override;
    void imageAdViewSucceeded(MRJSONImageAdView* view) override;
    void imageAdViewWasTapped(MRJSONImageAdView* view) override;
    void imageAdDidLoadNewAd(MRJSONImageAdView* view, MRJSONAd* ad) override;
    // The video child's reports.
    void videoAdFailed(MRJSONVideoAdView* view) override;
    void videoAdSucceeded(MRJSONVideoAdView* view) override;
    void videoAdWillClose(MRJSONVideoAdView* view) override;
    void videoAdDidAppear(MRJSONVideoAdView* view) override;
    void videoAdWillAppear(MRJSONVideoAdView* view) override;
    void videoAdFinished(MRJSONVideoAdView* view, MPMoviePlayerController* player,
                         bool enableAdRefresh, bool log) override;
    void videoAdStarted(MRJSONVideoAdView* view, MPMoviePlayerController* player) override;
    void videoButtonWasPressed(MRJSONVideoAdView* view, MRJSONVideoButton* button) override;
    void videoAdLoadOnCompletion(MRJSONVideoAdView* view, NSURLRequest* request,
                                 int32_t orientation) override;
    void videoAdLoadOnCompletionWithHTML(MRJSONVideoAdView* view, NSString* html,
                                         int32_t orientation) override;
    void videoAdDidLoadNewAd(MRJSONVideoAdView* view, MRJSONAd* ad) override;
    void videoCacheFailed(MRJSONVideoAdView* view) override;
    void videoCacheSucceeded(MRJSONVideoAdView* view) override;
    void animationDidStop(CAAnimation* animation, bool finished) override;

private:
    Weak<MRJSONAd> jsonAd_;
    Ref<MRJSONImageAdView> imageAdView_;
    Ref<MRJSONVideoAdView> videoAdView_;
    Weak<MRJSONBasicAdView> showingAdView_;
    Weak<MRJSONBasicAdView> hiddenAdView_;
    Weak<MRJSONAdViewDelegate> delegate_;
};
