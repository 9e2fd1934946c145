#include "ads/meridian/MRJSONAd.h"

#include <gtest/gtest.h>

#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSKeyedArchiver.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "ads/meridian/MRJSONVideoButton.h"
#include "support/FoundationTesting.h"
#include "support/http/TestServer.h"

namespace {

Ref<MRJSONAd> adFrom(const std::string& json) {
    auto data = NSData::dataWithBytes(json.data(), json.size());
    return make<MRJSONAd>(&MRJSONAd::initWithJSONAd, data.get(), nullptr);
}

Ref<MRJSONVideoButton> buttonFrom(const std::string& json) {
    auto ad = adFrom(R"({"type":"video","video":{"buttons":[)" + json + "]}}");
    return cast<MRJSONVideoButton>(ad->videoButtons()->objectAtIndex(0));
}

std::string urlText(NSURL* url) {
    return url ? url->absoluteString()->utf8() : "(nil)";
}

void expectColor(UIColor* color, float r, float g, float b, float a) {
    ASSERT_NE(color, nullptr);
    CGFloat cr, cg, cb, ca;
    ASSERT_TRUE(color->getRed(&cr, &cg, &cb, &ca));
    EXPECT_NEAR(cr, r, 0.002);
    EXPECT_NEAR(cg, g, 0.002);
    EXPECT_NEAR(cb, b, 0.002);
    EXPECT_NEAR(ca, a, 0.002);
}

class TapRecorder : public NSObject, public MRJSONVideoButtonDelegate {
    NS_OBJECT(TapRecorder, NSObject)
    void jsonVideoButtonWasTapped(MRJSONVideoButton* b) override {
        events.push_back(std::string("delegate ") + urlText(b->tapURL().get()));
    }
    std::vector<std::string> events;
};

TEST(MRJSONAdTest, ReplyTypesAndImageFields) {
    auto bare = adFrom(R"({"type":"image"})");
    EXPECT_EQ(bare->adType(), MRJSONAdTypeImage);
    EXPECT_EQ(bare->imageContentURL(), nullptr);
    EXPECT_EQ(bare->imageTapThroughURL(), nullptr);
    ASSERT_NE(bare->logMetaData(), nullptr);
    EXPECT_EQ(bare->logMetaData()->count(), 0u);

    auto image = adFrom(R"({"type":"image","meta-data":{"k":"v"},"image":{
        "content-url":"http://media.meridian.test/a.png","tap-through":"http://land.test/x",
        "will-open":"Safari","expands":"1","interstitial":true}})");
    EXPECT_EQ(image->adType(), MRJSONAdTypeImage);
    EXPECT_EQ(urlText(image->imageContentURL().get()), "http://media.meridian.test/a.png");
    EXPECT_EQ(urlText(image->imageTapThroughURL().get()), "http://land.test/x");
    EXPECT_EQ(text(image->imageWillOpenApp().get()), "Safari");
    EXPECT_TRUE(image->doesImageExpand());
    EXPECT_TRUE(image->isImageInterstitial());
    EXPECT_EQ(text(image->logMetaData()->objectForKey(NS("k")).get()), "v");

    // Anything but image or video is no ad, and nothing more is read.
    for (const char* reply : {R"({"type":"banner","meta-data":{"k":"v"}})", R"({"meta":1})",
                              "[1,2]", "{not json", ""}) {
        auto none = adFrom(reply);
        EXPECT_EQ(none->adType(), MRJSONAdTypeNone) << reply;
        EXPECT_EQ(none->logMetaData(), nullptr) << reply;
    }
    EXPECT_EQ(image->overlayTitle()->utf8(), "Advertisement");
    EXPECT_EQ(image->overlayTransition()->utf8(), "SlideUp");
    EXPECT_FLOAT_EQ(static_cast<float>(image->transitionDuration()), 0.6f);
    EXPECT_FALSE(image->shouldShowModal());
    EXPECT_TRUE(image->shouldAccelerate());
    EXPECT_NE(text(image.get()).find("MRJSONAd: "), std::string::npos);
}

TEST(MRJSONAdTest, VideoFields) {
    auto ad = adFrom(R"({"type":"video","video":{"id":"v1",
        "content-url":"http://media.meridian.test/v1.mp4",
        "expiration":"2030-06-30 18:45:00 +0000","showVideoPlayerControls":false,
        "showCountdownHUD":true,"height":320,"width":480,"startActivity":"http://x.test/s",
        "endActivity":["http://x.test/e"],"log":[{"time":"5","urls":["http://x.test/5"]}],
        "duration":30,"onCompletion":{"stayInPlayer":true}}})");
    EXPECT_EQ(ad->adType(), MRJSONAdTypeVideo);
    EXPECT_EQ(text(ad->videoId().get()), "v1");
    EXPECT_EQ(urlText(ad->videoContentURL().get()), "http://media.meridian.test/v1.mp4");
    ASSERT_NE(ad->videoExpirationDate(), nullptr);
    EXPECT_DOUBLE_EQ(ad->videoExpirationDate()->timeIntervalSince1970(), 1909075500.0);
    ASSERT_NE(ad->videoButtons(), nullptr);
    EXPECT_EQ(ad->videoButtons()->count(), 0u);
    EXPECT_FALSE(ad->showControls());
    EXPECT_EQ(ad->controlStyle(), 0);
    EXPECT_TRUE(ad->showCountdownHUD());
    EXPECT_FLOAT_EQ(ad->videoHeight(), 320);
    EXPECT_FLOAT_EQ(ad->videoWidth(), 480);
    EXPECT_EQ(ad->startActivity(), nullptr);  // a text is not a list
    ASSERT_NE(ad->endActivity(), nullptr);
    EXPECT_EQ(ad->endActivity()->count(), 1u);
    EXPECT_TRUE(is<NSArray>(ad->logs().get()));
    EXPECT_FLOAT_EQ(ad->videoDuration(), 30);
    ASSERT_NE(ad->onCompletion(), nullptr);
    EXPECT_FALSE(ad->isMedialetsIntersticial());
    EXPECT_EQ(ad->medialetsAdId(), nullptr);

    auto plain = adFrom(R"({"type":"video","video":{"showVideoPlayerControls":true}})");
    EXPECT_EQ(plain->onCompletion(), nullptr);
    EXPECT_NE(plain->controlStyle(), 0);
}

TEST(MRJSONAdTest, ColourStrings) {
    expectColor(MRJSONVideoButton::colorFromString(NS("#FF8000")).get(), 1, 128 / 255.f, 0, 1);
    expectColor(MRJSONVideoButton::colorFromString(NS(" ff8000\n")).get(), 1, 128 / 255.f, 0, 1);
    expectColor(MRJSONVideoButton::colorFromString(NS("1,0,0")).get(), 1, 0, 0, 1);
    expectColor(MRJSONVideoButton::colorFromString(NS("0,0,1,0.5")).get(), 0, 0, 1, 0.5);
    expectColor(MRJSONVideoButton::colorFromString(NS("red")).get(), 0, 0, 0, 1);
    // The "#" goes only from texts longer than 5 characters.
    expectColor(MRJSONVideoButton::colorFromString(NS("#FFF")).get(), 0, 0, 0, 1);
    EXPECT_EQ(MRJSONVideoButton::colorFromString(NS("1,0")), nullptr);
    EXPECT_EQ(MRJSONVideoButton::colorFromString(NS("1,0,0,1,1")), nullptr);
}

TEST(MRJSONAdTest, ButtonDefaultsAndKeys) {
    auto plain = buttonFrom("{}");
    EXPECT_FLOAT_EQ(plain->startOpacity(), 1);
    EXPECT_FLOAT_EQ(plain->endOpacity(), 1);
    EXPECT_FLOAT_EQ(plain->fadeDuration(), 1);
    EXPECT_FLOAT_EQ(plain->buttonFont()->pointSize(), 10);
    EXPECT_EQ(text(plain->component().get()), "");
    expectColor(plain->buttonColor().get(), 0, 0, 0, 1);
    expectColor(plain->textColor().get(), 1, 1, 1, 1);
    EXPECT_EQ(plain->imageURL(), nullptr);
    EXPECT_EQ(plain->activity(), nullptr);

    auto full = buttonFrom(R"({"image":"http://m.test/b.png","url":"mrsdk://endVideo",
        "activity":["http://x.test/a"],"x-location":10,"y-location":"20",
        "opacity":{"start":0.8,"end":0.2,"fadeDuration":0.5},"appearanceDelay":2,
        "inactivityTimeout":4,"title":"Skip","component":"skip","buttonColor":"0,1,0",
        "textColor":"1,0","width":60,"height":30,"fontSize":16})");
    EXPECT_EQ(urlText(full->imageURL().get()), "http://m.test/b.png");
    EXPECT_EQ(urlText(full->tapURL().get()), "mrsdk://endVideo");
    EXPECT_EQ(full->activity()->count(), 1u);
    EXPECT_FLOAT_EQ(full->xLocation(), 10);
    EXPECT_FLOAT_EQ(full->yLocation(), 20);
    EXPECT_FLOAT_EQ(full->startOpacity(), 0.8f);
    EXPECT_FLOAT_EQ(full->endOpacity(), 0.2f);
    EXPECT_FLOAT_EQ(full->fadeDuration(), 0.5f);
    EXPECT_FLOAT_EQ(full->appearanceDelay(), 2);
    EXPECT_FLOAT_EQ(full->inactivityTimeout(), 4);
    EXPECT_EQ(text(full->component().get()), "skip");
    expectColor(full->buttonColor().get(), 0, 1, 0, 1);
    EXPECT_EQ(full->textColor(), nullptr);
    EXPECT_FLOAT_EQ(full->buttonFont()->pointSize(), 16);
    EXPECT_NE(text(full.get()).find("tap = mrsdk://endVideo, component = skip"), std::string::npos);

    // Titled: the given frame, built once; a tap posts, then tells the delegate.
    auto b = full->button();
    EXPECT_EQ(b, full->button());
    EXPECT_EQ(b->frame().origin.x, 10);
    EXPECT_EQ(b->frame().size.width, 60);
    EXPECT_EQ(text(b->titleForState(UIControlStateNormal).get()), "Skip");
    auto recorder = make<TapRecorder>();
    full->setDelegate(recorder.get());
    auto observer = NSNotificationCenter::defaultCenter()->addObserverForName(
        MRVideoOverlayButtonWasTapped, nullptr,
        [&](NSNotification*) { recorder->events.push_back("posted"); });
    b->sendActionsForControlEvents(UIControlEventTouchUpInside);
    NSNotificationCenter::defaultCenter()->removeObserver(observer.get());
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"posted", "delegate mrsdk://endVideo"}));
}

TEST(MRJSONAdTest, ButtonEquality) {
    auto a = buttonFrom(R"({"image":"http://m.test/b.png","url":"http://a.test/"})");
    auto same = buttonFrom(R"({"image":"http://m.test/b.png","url":"http://a.test/"})");
    auto otherTap = buttonFrom(R"({"image":"http://m.test/b.png","url":"http://b.test/"})");
    auto noTap = buttonFrom(R"({"image":"http://m.test/b.png"})");
    auto otherImage = buttonFrom(R"({"image":"http://m.test/c.png","url":"http://a.test/"})");
    EXPECT_TRUE(a->isEqualToVideoButton(same.get()));
    EXPECT_FALSE(a->isEqualToVideoButton(otherTap.get()));
    EXPECT_TRUE(a->isEqualToVideoButton(noTap.get()));
    EXPECT_FALSE(a->isEqualToVideoButton(otherImage.get()));
}

TEST(MRJSONAdTest, ArchiveKeepsVideoAdWithButtonBytes) {
    testhttp::TestServer server;
    std::string png = testhttp::pngBytes(24, 12);
    int fetches = 0;
    server.route("GET", "/b.png", [&](const testhttp::Request&) {
        ++fetches;
        return testhttp::Response(200, png, "image/png");
    });
    auto ad = adFrom(R"({"type":"video","meta-data":{"m":"1"},"video":{"id":"v9",
        "content-url":"http://media.meridian.test/v9.mp4",
        "expiration":"2030-01-01 00:00:00 +0000","showCountdownHUD":true,"duration":12.5,
        "startActivity":["http://x.test/s"],"log":[{"time":"1"}],
        "onCompletion":{"url":"http://x.test/done"},
        "buttons":[{"image":")" +
                     server.url("/b.png") +
                     R"(","url":"mrsdk://pauseVideo","x-location":5,"buttonColor":"#00FF00"}]}})");
    ad->downloadButtons();
    EXPECT_TRUE(ad->buttonsHaveBeenDownloaded());
    EXPECT_EQ(fetches, 1);
    auto button = cast<MRJSONVideoButton>(ad->videoButtons()->objectAtIndex(0));
    ASSERT_NE(button->image(), nullptr);
    EXPECT_EQ(button->button()->frame().size.width, 24);
    EXPECT_EQ(fetches, 1);  // built once

    auto data = NSKeyedArchiver::archivedDataWithRootObject(ad.get());
    MRJSONVideoButton::staticClass();
    UIColor::staticClass();
    UIFont::staticClass();
    auto back = as<MRJSONAd>(NSKeyedUnarchiver::unarchiveObjectWithData(data.get()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->adType(), MRJSONAdTypeVideo);
    EXPECT_EQ(text(back->videoId().get()), "v9");
    EXPECT_EQ(urlText(back->videoContentURL().get()), "http://media.meridian.test/v9.mp4");
    EXPECT_TRUE(back->videoExpirationDate()->isEqualToDate(ad->videoExpirationDate().get()));
    EXPECT_TRUE(back->showCountdownHUD());
    EXPECT_TRUE(back->buttonsHaveBeenDownloaded());
    EXPECT_FLOAT_EQ(back->videoDuration(), 12.5f);
    EXPECT_EQ(back->startActivity()->count(), 1u);
    EXPECT_TRUE(is<NSArray>(back->logs().get()));
    EXPECT_EQ(text(back->onCompletion()->objectForKey(NS("url")).get()), "http://x.test/done");
    EXPECT_EQ(text(back->logMetaData()->objectForKey(NS("m")).get()), "1");
    ASSERT_EQ(back->videoButtons()->count(), 1u);
    auto b = cast<MRJSONVideoButton>(back->videoButtons()->objectAtIndex(0));
    ASSERT_NE(b->imageData(), nullptr);
    EXPECT_EQ(
        std::string(static_cast<const char*>(b->imageData()->bytes()), b->imageData()->length()),
        png);
    ASSERT_NE(b->image(), nullptr);
    EXPECT_FLOAT_EQ(b->xLocation(), 5);
    expectColor(b->buttonColor().get(), 0, 1, 0, 1);
    EXPECT_TRUE(b->isEqualToVideoButton(button.get()));
    // The archived bytes make the button: no fetch.
    EXPECT_EQ(b->button()->frame().size.height, 12);
    EXPECT_EQ(fetches, 1);
}

}  // namespace
