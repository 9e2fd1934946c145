// A JSON reply of the ad server as an ad: an image ad, a video ad with its overlay buttons, or
// no ad (type 4). Video ads are archived with the video cache.
#pragma once

#include <cstdint>

#include "ads/meridian/MRBasicAd.h"

class MRJSONAdView;
class NSArray;
class NSData;
class NSDate;
class NSDictionary;
class NSURL;

enum : int32_t {
    MRJSONAdTypeImage = 1,
    MRJSONAdTypeVideo = 2,
    MRJSONAdTypeNone = 4,
};

class MRJSONAd : public MRBasicAd {
    NS_OBJECT(MRJSONAd, MRBasicAd)

    bool initWithJSONAd(NSData* data, MRJSONAdView* adView);
    void parseResponse(NSDictionary* response);
    static Ref<NSArray> arrayForVideoButtons(NSArray* buttons);
    // Builds every button (fetching its image) once.
    void downloadButtons();
    // The movie player's control style (an MPMovieControlStyle).
    NSInteger controlStyle();
    Ref<NSString> description() override;

    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

    // Overlay settings: fixed for JSON ads.
    Ref<NSString> overlayTitle() override;
    Ref<NSString> overlayTransition() override;
    double transitionDuration() override { return 0.6; }
    float alphaForModalBorder() override { return 1.0f; }
    CGSize modalSize() override { return CGSizeZero; }
    CGPoint modalLocation() override { return CGPointZero; }
    Ref<UIColor> titlebarColor() override;
    Ref<UIColor> modalBorderColor() override;
    Ref<NSURL> openURL() override { return nullptr; }
    bool shouldShowModal() override { return false; }
    bool shouldMakeOverlayTransparent() override { return false; }
    bool showTitlebar() override { return false; }
    bool showBottomBar() override { return true; }
    bool isBottomBarEnabled() override { return true; }
    bool shouldAccelerate() override { return true; }
    void startCloseOverlayTimer() override {}
    void stopCloseOverlayTimer() override {}

    Ref<MRJSONAdView> adView();
    void setAdView(MRJSONAdView* v);
    int32_t adType() { return adType_; }
    Ref<NSURL> imageContentURL() { return imageContentURL_; }
    Ref<NSURL> imageTapThroughURL() { return imageTapThroughURL_; }
    Ref<NSString> imageWillOpenApp() { return imageWillOpenApp_; }
    bool doesImageExpand() { return imageExpands_; }
    bool isImageInterstitial() { return imageIsInterstitial_; }
    Ref<NSString> videoId() { return videoId_; }
    Ref<NSURL> videoContentURL() { return videoContentURL_; }
    Ref<NSDate> videoExpirationDate() { return videoExpirationDate_; }
    float videoSizeInMB() { return videoSizeInMB_; }
    Ref<NSArray> videoButtons() { return videoButtons_; }
    void setVideoButtons(NSArray* buttons);
    bool showControls() { return showControls_; }
    bool isFullscreen() { return isFullscreen_; }
    float videoHeight() { return videoHeight_; }
    float videoWidth() { return videoWidth_; }
    Ref<NSString> videoOreientation() { return videoOreientation_; }
    bool showCountdownHUD() { return showCountdownHUD_; }
    bool buttonsHaveBeenDownloaded() { return buttonsHaveBeenDownloaded_; }
    Ref<NSArray> startActivity() { return startActivity_; }
    Ref<NSArray> endActivity() { return endActivity_; }
    Ref<NSObject> logs() { return logs_; }
    float videoDuration() { return videoDuration_; }
    bool isMedialetsIntersticial() { return isMedialetsIntersticial_; }
    Ref<NSString> medialetsAppId() { return appId_; }
    Ref<NSString> medialetsVersion() { return version_; }
    Ref<NSString> medialetsAdId() { return adId_; }
    Ref<NSDictionary> onCompletion() { return onCompletion_; }
    Ref<NSDictionary> logMetaData() { return logMetaData_; }

private:
    Weak<MRJSONAdView> adView_;
    Ref<NSDictionary> rawResponse_;
    int32_t adType_ = 0;
    Ref<NSURL> imageContentURL_;
    Ref<NSURL> imageTapThroughURL_;
    Ref<NSString> imageWillOpenApp_;
    bool imageExpands_ = false;
    bool imageIsInterstitial_ = false;
    Ref<NSString> videoId_;
    Ref<NSURL> videoContentURL_;
    Ref<NSDate> videoExpirationDate_;
    float videoSizeInMB_ = 0;
    Ref<NSArray> videoButtons_;
    bool showControls_ = false;
    bool isFullscreen_ = false;
    float videoHeight_ = 0, videoWidth_ = 0;
    Ref<NSString> videoOreientation_;
    bool showCountdownHUD_ = false;
    bool buttonsHaveBeenDownloaded_ = false;
    Ref<NSArray> startActivity_, endActivity_;
    Ref<NSObject> logs_;
    float videoDuration_ = 0;
    bool isMedialetsIntersticial_ = false;
    Ref<NSString> appId_, version_, adId_;
    Ref<NSDictionary> onCompletion_;
    Ref<NSDictionary> logMetaData_;
};
