#include "ads/meridian/MRJSONAd.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "MediaPlayer/MPMoviePlayerController.h"
#include "UIKit/UIColor.h"
#include "ads/meridian/MRJSONAdView.h"
#include "ads/meridian/MRJSONVideoButton.h"
#include "ads/pjson/PJsonParser.h"

using namespace mrjson;

Ref<MRJSONAdView> MRJSONAd::adView() {
    return adView_.lock();
}

void MRJSONAd::setAdView(MRJSONAdView* v) {
    adView_ = v;
}

bool MRJSONAd::initWithJSONAd(NSData* data, MRJSONAdView* adView) {
    if (!init()) return false;
    adView_ = adView;
    auto text = data ? NSString::stringWithData(data, NSUTF8StringEncoding) : nullptr;
    auto parser = make<PJsonParser>();
    auto parsed = text ? parser->objectWithString(text.get()) : nullptr;
    rawResponse_ = as<NSDictionary>(parsed);
    onCompletion_ = nullptr;
    parseResponse(rawResponse_.get());
    return true;
}

void MRJSONAd::parseResponse(NSDictionary* response) {
    auto type = response ? as<NSString>(response->objectForKey(NS("type"))) : nullptr;
    if (type && type->isEqualToString(NS("image")))
        adType_ = MRJSONAdTypeImage;
    else if (type && type->isEqualToString(NS("video")))
        adType_ = MRJSONAdTypeVideo;
    else {
        adType_ = MRJSONAdTypeNone;
        return;
    }
    auto meta = as<NSDictionary>(response->objectForKey(NS("meta-data")));
    logMetaData_ =
        meta ? NSDictionary::dictionaryWithDictionary(meta.get()) : NSDictionary::dictionary();
    if (adType_ == MRJSONAdTypeImage) {
        auto image = as<NSDictionary>(response->objectForKey(NS("image")));
        if (!image) return;
        imageContentURL_ = urlOf(image->objectForKey(NS("content-url")).get());
        imageTapThroughURL_ = urlOf(image->objectForKey(NS("tap-through")).get());
        imageWillOpenApp_ = stringOf(image->objectForKey(NS("will-open")).get());
        imageExpands_ = boolOf(image->objectForKey(NS("expands")).get());
        imageIsInterstitial_ = boolOf(image->objectForKey(NS("interstitial")).get());
        return;
    }
    auto video = as<NSDictionary>(response->objectForKey(NS("video")));
    if (!video) return;
    videoId_ = stringOf(video->objectForKey(NS("id")).get());
    videoContentURL_ = urlOf(video->objectForKey(NS("content-url")).get());
    if (auto expiry = as<NSString>(video->objectForKey(NS("expiration"))))
        videoExpirationDate_ = NSDate::dateWithString(expiry.get());
    auto buttons = as<NSArray>(video->objectForKey(NS("buttons")));
    videoButtons_ = arrayForVideoButtons(buttons ? buttons.get() : NSArray::array().get());
    showControls_ = boolOf(video->objectForKey(NS("showVideoPlayerControls")).get());
    showCountdownHUD_ = boolOf(video->objectForKey(NS("showCountdownHUD")).get());
    videoHeight_ = floatOf(video->objectForKey(NS("height")).get());
    videoWidth_ = floatOf(video->objectForKey(NS("width")).get());
    startActivity_ = as<NSArray>(video->objectForKey(NS("startActivity")));
    endActivity_ = as<NSArray>(video->objectForKey(NS("endActivity")));
    logs_ = video->objectForKey(NS("log"));
    videoDuration_ = floatOf(video->objectForKey(NS("duration")).get());
    if (auto done = as<NSDictionary>(video->objectForKey(NS("onCompletion"))))
        onCompletion_ = NSDictionary::dictionaryWithDictionary(done.get());
}

Ref<NSArray> MRJSONAd::arrayForVideoButtons(NSArray* buttons) {
    auto list = NSMutableArray::array();
    for (NSUInteger i = 0; buttons && i < buttons->count(); ++i) {
        auto json = as<NSDictionary>(buttons->objectAtIndex(i));
        if (!json) continue;
        if (auto b = make<MRJSONVideoButton>(&MRJSONVideoButton::initWithJSONButton, json.get()))
            list->addObject(b.get());
    }
    return list;
}

void MRJSONAd::setVideoButtons(NSArray* buttons) {
    videoButtons_ = buttons;
}

void MRJSONAd::downloadButtons() {
    if (!videoButtons_) return;
    buttonsHaveBeenDownloaded_ = true;
    for (NSUInteger i = 0; i < videoButtons_->count(); ++i)
        if (auto b = as<MRJSONVideoButton>(videoButtons_->objectAtIndex(i))) b->button();
}

NSInteger MRJSONAd::controlStyle() {
    return showControls_ ? MPMovieControlStyleFullscreen : MPMovieControlStyleNone;
}

Ref<NSString> MRJSONAd::description() {
    return NSString::stringWithFormat(NS("MRJSONAd: %@"), rawResponse_.get());
}

Ref<NSString> MRJSONAd::overlayTitle() {
    return NS("Advertisement");
}

Ref<NSString> MRJSONAd::overlayTransition() {
    return NS("SlideUp");
}

Ref<UIColor> MRJSONAd::titlebarColor() {
    return UIColor::blackColor();
}

Ref<UIColor> MRJSONAd::modalBorderColor() {
    return UIColor::blackColor();
}

void MRJSONAd::encodeWithCoder(NSCoder* coder) {
    coder->encodeObject(videoId_.get(), NS("videoId"));
    coder->encodeObject(videoContentURL_.get(), NS("videoContentURL"));
    coder->encodeObject(videoExpirationDate_.get(), NS("videoExpirationDate"));
    coder->encodeFloat(videoSizeInMB_, NS("videoSizeInMB"));
    coder->encodeObject(videoButtons_.get(), NS("videoButtons"));
    coder->encodeObject(videoOreientation_.get(), NS("videoOreientation"));
    coder->encodeFloat(videoWidth_, NS("videoWidth"));
    coder->encodeFloat(videoHeight_, NS("videoHeight"));
    coder->encodeBool(showControls_, NS("showVideoPlayerControls"));
    coder->encodeBool(isFullscreen_, NS("isFullscreen"));
    coder->encodeObject(onCompletion_.get(), NS("onCompletion"));
    coder->encodeObject(logMetaData_.get(), NS("logMetaData"));
    coder->encodeObject(startActivity_.get(), NS("startActivity"));
    coder->encodeObject(endActivity_.get(), NS("endActivity"));
    coder->encodeObject(logs_.get(), NS("log"));
    coder->encodeFloat(videoDuration_, NS("duration"));
    coder->encodeBool(showCountdownHUD_, NS("showCountdownHUD"));
    coder->encodeBool(buttonsHaveBeenDownloaded_, NS("buttonsHaveBeenDownloaded_"));
}

bool MRJSONAd::initWithCoder(NSCoder* coder) {
    if (!MRBasicAd::initWithCoder(coder)) return false;
    videoId_ = stringOf(coder->decodeObjectForKey(NS("videoId")).get());
    videoContentURL_ = as<NSURL>(coder->decodeObjectForKey(NS("videoContentURL")));
    videoExpirationDate_ = as<NSDate>(coder->decodeObjectForKey(NS("videoExpirationDate")));
    videoSizeInMB_ = coder->decodeFloatForKey(NS("videoSizeInMB"));
    videoButtons_ = as<NSArray>(coder->decodeObjectForKey(NS("videoButtons")));
    videoOreientation_ = stringOf(coder->decodeObjectForKey(NS("videoOreientation")).get());
    videoWidth_ = coder->decodeFloatForKey(NS("videoWidth"));
    videoHeight_ = coder->decodeFloatForKey(NS("videoHeight"));
    showControls_ = coder->decodeBoolForKey(NS("showVideoPlayerControls"));
    isFullscreen_ = coder->decodeBoolForKey(NS("isFullscreen"));
    onCompletion_ = as<NSDictionary>(coder->decodeObjectForKey(NS("onCompletion")));
    logMetaData_ = as<NSDictionary>(coder->decodeObjectForKey(NS("logMetaData")));
    startActivity_ = as<NSArray>(coder->decodeObjectForKey(NS("startActivity")));
    endActivity_ = as<NSArray>(coder->decodeObjectForKey(NS("endActivity")));
    logs_ = coder->decodeObjectForKey(NS("log"));
    videoDuration_ = coder->decodeFloatForKey(NS("duration"));
    showCountdownHUD_ = coder->decodeBoolForKey(NS("showCountdownHUD"));
    buttonsHaveBeenDownloaded_ = coder->decodeBoolForKey(NS("buttonsHaveBeenDownloaded_"));
    // Only video ads are archived.
    adType_ = MRJSONAdTypeVideo;
    return true;
}
