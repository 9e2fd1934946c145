// The working core of every Meridian ad view: placement id, the ad URL with the host's targeting,
// the fetch, the reply's dispatch by content type, the refresh timer, and the answers to its ad
// views and overlay that become the host's delegate calls.
#pragma once

#include <cstdint>

#include "QuartzCore/CAAnimation.h"
#include "URLLoading/NSURLConnection.h"
#include "ads/meridian/MRAdView.h"
#include "ads/meridian/MRHTMLAdView.h"
#include "ads/meridian/MRJSONAdView.h"
#include "ads/meridian/MROverlayView.h"

class MRBasicAd;
class MRBasicAdView;
class MRVideoCache;
class NSData;
class NSDictionary;
class NSMutableData;
class NSMutableDictionary;
class NSNotification;
class NSNumber;
class NSTimer;
class NSURL;
class NSURLRequest;

class MRGenericAdView : public MRAdView,
                        public NSURLConnectionDelegate,
                        public MRHTMLAdViewDelegate,
                        public MRJSONAdViewDelegate,
                        public MROverlayDelegate,
                        public CAAnimationDelegate {
    NS_OBJECT(MRGenericAdView, MRAdView)
    using MRAdView::initWithFrame;
    static void describeClass(RuntimeClass& c);
    bool initWithFrame(CGRect frame, bool loadAd);
    void dealloc() override;

    // ---- set-up ------------------------------------------------------------------------------
    virtual void initAd() {}
    void setApid(NSString* apid);
    Ref<NSString> getApid() { return apid_; }
    int32_t adTypeNumber() { return adType_; }
    void setAdTypeNumber(int32_t type) { adType_ = type; }
    // The type's name, as requested.
    Ref<NSString> adType();
    void setRequestData(NSDictionary* parameters);
    Ref<NSMutableDictionary> requestParameters() { return additionalRequestParameters_; }
    Ref<NSString> getValueFromRequestParameters(NSString* key);

    // ---- the request -------------------------------------------------------------------------
    Ref<NSURL> buildRequestUrl();
    Ref<NSString> extraParams();
    Ref<NSString> convertAdditionalRequestParametersToString();
    static Ref<NSString> deviceID();
    static Ref<NSString> deviceType();
    static Ref<NSString> sdkVersion();
    static Ref<NSString> userAgent();
    static Ref<NSString> encodedUserAgent();
    static Ref<NSString> deviceSystemVersion();
    static Ref<NSString> deviceModel();
    static Ref<NSString> deviceModelNumber();
    // Percent escapes for one query value: everything but the unreserved characters.
    static Ref<NSString> urlEncode(NSString* text);
    Ref<NSDictionary> UIDeviceValues();
    bool isAccelerometerEnabled();

    // ---- fetching ----------------------------------------------------------------------------
    void connectOrPlayCache();
    void connect(NSURLRequest* request);
    Ref<NSURLConnection> connection() { return connection_; }
    bool openClickInBrowser() { return openClickInBrowser_; }
    Ref<NSString> adMimeType() { return adMimeType_; }
    void setAdMimeType(NSString* type);

    Ref<NSURLRequest> connectionWillSendRequest(NSURLConnection* connection, NSURLRequest* request,
                                                NSURLResponse* redirectResponse) override;
    void connectionDidReceiveResponse(NSURLConnection* connection,
                                      NSURLResponse* response) override;
    void connectionDidReceiveData(NSURLConnection* connection, NSData* data) override;
    void connectionDidFinishLoading(NSURLConnection* connection) override;
    void connectionDidFailWithError(NSURLConnection* connection, NSError* error) override;

    // A JSON reply's bytes, for the JSON ad view.
    virtual void loadJSONReply(NSData* data);
    // The video whose download completed last ("cachedVideo.plist", which it removes), or nil.
    Ref<MRVideoCache> cachedVideo();

    // ---- refreshing --------------------------------------------------------------------------
    void startTimer();
    void stopTimer();
    void timerRefreshAd();
    void updateTimerDuration();
    void refreshAd() override;
    void enableAdRefresh() override;
    void disableAdRefresh() override;
    void setRefreshTimerEnabled(bool enabled) override;
    bool refreshTimerEnabled() override { return enableAdRefresh_; }
    bool isRefreshAllowed() { return enableManualAdRefresh_; }
    int32_t refreshAdTime() { return refreshAdTime_; }
    Ref<NSTimer> refreshAdTimer() { return refreshAdTimer_; }
    void videoCachingDidBegin(NSNotification* note);
    void videoCachingDidEnd(NSNotification* note);

    // ---- geometry ----------------------------------------------------------------------------
    void setFrame(CGRect frame) override;
    void resizeAdFromNotification(NSNotification* note);
    void resizeToHeight(NSNumber* height);

    // ---- ad views and overlay ----------------------------------------------------------------
    Ref<MRHTMLAdView> htmlAdView() { return htmlAdView_.lock(); }
    Ref<MRBasicAdView> jsonAdView() { return jsonAdView_.lock(); }
    Ref<MROverlayView> overlayView() { return overlayView_; }
    int32_t overlayOrientation() { return overlayOrientation_; }
    void setOverlayOrientation(int32_t o) { overlayOrientation_ = o; }
    CGSize overlaySize() { return overlaySize_; }
    void setOverlaySize(CGSize s) { overlaySize_ = s; }

    // Content: an NSURLRequest or an NSString of HTML.
    void showOverlayWithAd(MRBasicAd* ad, NSObject* content, int32_t orientation);
    void showOverlayWithAd(MRBasicAd* ad, NSObject* content, int32_t orientation,
                           bool notifyOpenDelegates, bool notifyCloseDelegates);
    void openURL(NSURL* url);
    void fadeAdView(UIView* adView);
    // The tap and open rules, for whichever ad view reports them.
    void adWasTapped(MRBasicAd* ad, NSURLRequest* request);
    void adWantsToOpenURL(MRBasicAd* ad, NSURL* url);

    bool htmlAdViewAccelerometerEnabled() override { return isAccelerometerEnabled(); }
    void htmlAdViewRequestFailed(MRHTMLAdView* view) override;
    void htmlAdViewRequestSucceeded(MRHTMLAdView* view) override;
    void htmlAdViewWasTapped(MRHTMLAdView* view, NSURLRequest* request) override;
    void htmlAdViewWantsToOpenURL(MRHTMLAdView* view, NSURL* url) override;
    void htmlAdViewTransitionAnimationDidEnd(MRHTMLAdView* view) override;
    void htmlAdViewTransitionAnimationWillBegin(MRHTMLAdView* view) override;

    // The JSON ad view's reports.
    void jsonAdViewRequestFailed(MRJSONAdView* view) override;
    void jsonAdViewRequestSucceeded(MRJSONAdView* view) override;
    void jsonAdViewVideoAdFinishedPlaying(MRJSONAdView* view, bool startTimer) override;
    void jsonAdViewVideoAdSucceeded(MRJSONAdView* view) override;
    void jsonAdViewVideoAdFailed(MRJSONAdView* view) override;
    void jsonAdViewWantsToMoveToTheFront(MRJSONAdView* view) override;
    void jsonAdViewVideoCacheSucceeded(MRJSONAdView* view) override;
    void jsonAdViewVideoCacheFailed(MRJSONAdView* view) override;
    void jsonAdViewWantToShowOverlay(MRJSONAdView* view, MRJSONVideoAdView* videoAdView,
                                     NSURLRequest* request, int32_t orientation,
                                     bool notifyOpenDelegates, bool notifyCloseDelegates) override;
    void jsonAdViewWantToShowOverlayWithHTML(MRJSONAdView* view, MRJSONVideoAdView* videoAdView,
                                             NSString* html, int32_t orientation,
                                             bool notifyOpenDelegates,
                                             bool notifyCloseDelegates) override;
    void jsonAdViewWillLoadVideoURL(MRJSONAdView* view) override;
    void jsonAdViewWillPlayChachedVideo(MRJSONAdView* view) override;
    void jsonAdViewVideoAdDidAppear(MRJSONAdView* view) override;
    void jsonAdViewVideoAdWillAppear(MRJSONAdView* view) override;
    void jsonAdViewVideoAdWillDisappear(MRJSONAdView* view) override;
    void jsonAdViewWasTapped(MRJSONAdView* view, NSURLRequest* request) override;
    void jsonAdViewWantsToOpenURL(MRJSONAdView* view, NSURL* url) override;
    void jsonAdViewTransitionAnimationDidEnd(MRJSONAdView* view) override;
    void jsonAdViewTransitionAnimationWillBegin(MRJSONAdView* view) override;

    void overlayWantsToTerminateAppToOpenURL(MROverlayView* overlay, NSURL* url) override;
    void overlayDidDisappear(MROverlayView* overlay) override;
    void overlayWillDisappear(MROverlayView* overlay) override;
    void overlayDidAppear(MROverlayView* overlay) override;
    void overlayWillAppear(MROverlayView* overlay) override;

protected:
    // What the two concrete views (MRBannerAdView, MRIntersticialAdView) do alike: set up with
    // the apid, type and delegate, then start as asked.
    bool initWithFrame(CGRect frame, NSString* apid, int32_t type, MRAdDelegate* delegate,
                       bool loadAd, bool startTimer);
    void initAdWithTimer(bool startTimer, bool getAd);
    void setAdRefreshEnabledFlag(bool enabled) { enableAdRefresh_ = enabled; }
    void reportRequestFailed();
    void reportRequestSucceeded();
    Weak<MRBasicAdView> jsonAdView_;

private:
    void dropConnection();
    // The JSON ad's page, from a video's button or its end (video), shown as an overlay.
    void showJSONOverlay(MRJSONAdView* view, MRJSONVideoAdView* video, NSObject* content,
                         int32_t orientation, bool notifyOpenDelegates, bool notifyCloseDelegates);
    void startTimerWithInterval(int32_t seconds);

    Ref<NSString> apid_;
    bool enableAdRefresh_ = false;
    bool enableManualAdRefresh_ = true;
    int32_t refreshAdTime_ = 60;
    Ref<NSMutableDictionary> additionalRequestParameters_;
    Ref<NSTimer> refreshAdTimer_;
    Ref<NSURLConnection> connection_;
    Ref<NSMutableData> adData_;
    NSInteger statusCode_ = 0;
    bool openClickInBrowser_ = false;
    Ref<NSString> adMimeType_;
    int32_t adType_ = MRBannerAdTop;
    Ref<MROverlayView> overlayView_;
    Weak<MRHTMLAdView> htmlAdView_;
    int32_t overlayOrientation_ = 1;
    CGSize overlaySize_ = CGSizeZero;
    // Held across an ad's cross-fade, so the fade finishes even if the host lets the view go.
    Ref<MRGenericAdView> selfDuringTransition_;
};
