#include "ads/meridian/MRJSONAdView.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "QuartzCore/CALayer.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWindow.h"
#include "ads/meridian/MRVideoTesting.h"
#include "ads/meridian/MeridianTesting.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/FoundationTesting.h"
#include "tools/services/MeridianJSONAds.h"

namespace {

class JSONRecorder : public NSObject, public MRJSONAdViewDelegate {
    NS_OBJECT(JSONRecorder, NSObject)

public:
    void jsonAdViewRequestFailed(MRJSONAdView*) override { add("failed"); }
    void jsonAdViewRequestSucceeded(MRJSONAdView*) override { add("succeeded"); }
    void jsonAdViewVideoAdFinishedPlaying(MRJSONAdView*, bool t) override {
        add(std::string("video finished timer=") + (t ? "1" : "0"));
    }
    void jsonAdViewVideoAdSucceeded(MRJSONAdView*) override { add("video succeeded"); }
    void jsonAdViewVideoAdFailed(MRJSONAdView*) override { add("video failed"); }
    void jsonAdViewWantsToMoveToTheFront(MRJSONAdView*) override { add("front"); }
    void jsonAdViewVideoCacheSucceeded(MRJSONAdView*) override { add("cache succeeded"); }
    void jsonAdViewVideoCacheFailed(MRJSONAdView*) override { add("cache failed"); }
    void jsonAdViewWantToShowOverlay(MRJSONAdView*, MRJSONVideoAdView*, NSURLRequest* r, int32_t o,
                                     bool open, bool close) override {
        add("overlay " + r->URL()->absoluteString()->utf8() + " " + std::to_string(o) + " " +
            (open ? "1" : "0") + (close ? "1" : "0"));
    }
    void jsonAdViewWantToShowOverlayWithHTML(MRJSONAdView*, MRJSONVideoAdView*, NSString* html,
                                             int32_t, bool, bool) override {
        add("overlay html " + html->utf8());
    }
    void jsonAdViewWillLoadVideoURL(MRJSONAdView*) override { add("will load video"); }
    void jsonAdViewWillPlayChachedVideo(MRJSONAdView*) override { add("will play cached"); }
    void jsonAdViewVideoAdDidAppear(MRJSONAdView*) override { add("video did appear"); }
    void jsonAdViewVideoAdWillAppear(MRJSONAdView*) override { add("video will appear"); }
    void jsonAdViewVideoAdWillDisappear(MRJSONAdView*) override { add("video will disappear"); }
    void jsonAdViewWasTapped(MRJSONAdView*, NSURLRequest* r) override {
        add("tapped " + (r ? r->URL()->absoluteString()->utf8() : std::string("(nil)")));
    }
    void jsonAdViewWantsToOpenURL(MRJSONAdView*, NSURL* url) override {
        add("open " + url->absoluteString()->utf8());
    }
    void jsonAdViewTransitionAnimationDidEnd(MRJSONAdView*) override { add("fade ended"); }
    void jsonAdViewTransitionAnimationWillBegin(MRJSONAdView*) override { add("fade begins"); }

    void add(std::string e) { events.push_back(std::move(e)); }
    size_t count(const std::string& e) {
        size_t n = 0;
        for (auto& x : events)
            n += x == e;
        return n;
    }
    std::vector<std::string> events;
};

Ref<NSData> reply(const std::string& apid) {
    auto r = bnservices::meridianjson::adReply(apid);
    std::string body = r ? r->body : "";
    return NSData::dataWithBytes(body.data(), body.size());
}

class MRJSONAdViewTest : public MeridianTest {
protected:
    void SetUp() override {
        MeridianTest::SetUp();
        view = alloc<MRJSONAdView>();
        view->initWithFrame(CGRectMake(0, 0, 320, 53), json.get());
    }
    void TearDown() override {
        view = nullptr;
        forgetVideoCache();
        MeridianTest::TearDown();
    }
    // Loads a reply and waits until it has reported success or failure.
    void load(NSData* data) {
        size_t before = json->count("succeeded") + json->count("failed");
        view->loadWithAdContents(data);
        ASSERT_TRUE(runLoopUntil(
            [&] { return json->count("succeeded") + json->count("failed") > before; }));
    }
    Ref<UIImage> shownImage() { return view->imageAdView()->imageView()->image(); }

    Ref<JSONRecorder> json = make<JSONRecorder>();
    Ref<MRJSONAdView> view;
};

TEST_F(MRJSONAdViewTest, ThreeImageRepliesThenNoAd) {
    auto image = view->imageAdView();
    auto video = view->videoAdView();
    EXPECT_EQ(view->showingAdView(), image);
    EXPECT_TRUE(video->isHidden());

    load(reply("json-image").get());
    EXPECT_EQ(json->events, (std::vector<std::string>{"fade begins", "succeeded"}));
    ASSERT_NE(shownImage(), nullptr);
    EXPECT_FLOAT_EQ(shownImage()->size().width, 320);
    EXPECT_EQ(image->imageView()->layer()->animationForKey(NS("animateContents")), nullptr);
    // The roles swapped although the image child is the one shown.
    EXPECT_FALSE(image->isHidden());
    EXPECT_EQ(view->showingAdView(), video);
    EXPECT_EQ(view->getAd()->adType(), MRJSONAdTypeImage);

    json->events.clear();
    load(reply("json-image").get());
    EXPECT_EQ(json->events, (std::vector<std::string>{"fade begins", "succeeded"}));
    EXPECT_NE(image->imageView()->layer()->animationForKey(NS("animateContents")), nullptr);
    EXPECT_EQ(view->showingAdView(), image);

    json->events.clear();
    load(reply("json-image").get());
    EXPECT_EQ(json->events, (std::vector<std::string>{"front", "succeeded"}));
    advanceRunLoop(0.8);
    EXPECT_EQ(image->imageView()->layer()->animationForKey(NS("animateContents")), nullptr);
    EXPECT_EQ(shownImage(), image->image());
    EXPECT_EQ(json->count("fade ended"), 2u);

    json->events.clear();
    view->loadWithAdContents(reply("json-banner").get());
    EXPECT_EQ(json->events, (std::vector<std::string>{"failed", "fade begins"}));
    json->events.clear();
    view->loadWithAdContents(reply("json-malformed").get());
    EXPECT_EQ(json->events, (std::vector<std::string>{"failed", "fade begins"}));
}

TEST_F(MRJSONAdViewTest, PicturesThatDoNotArriveFailAndKeepTheOldOne) {
    load(reply("json-image").get());
    auto picture = shownImage();
    ASSERT_NE(picture, nullptr);
    json->events.clear();
    load(reply("json-image-broken").get());
    EXPECT_EQ(json->events.back(), "failed");
    EXPECT_EQ(shownImage(), picture);
    json->events.clear();
    view->loadWithAdContents(reply("json-image-nourl").get());
    EXPECT_EQ(json->events.front(), "failed");  // at once
    EXPECT_EQ(shownImage(), picture);
}

TEST_F(MRJSONAdViewTest, TapGoesWithTheTapThroughURLAndTheScreenShowsThePicture) {
    auto window = alloc<UIWindow>();
    window->initWithFrame(CGRectMake(0, 0, 320, 480));
    window->addSubview(view.get());
    window->makeKeyAndVisible();
    load(reply("json-image").get());
    json->events.clear();
    view->imageAdView()->touchesEnded(NSSet::set().get(), nullptr);
    EXPECT_EQ(json->events,
              std::vector<std::string>{"tapped http://ads.meridian.test/landing?page=1"});

    // The picture in a screenshot: the stand-in's banner, a loaf on a warm ground beside the
    // bakery's words.
    advanceRunLoop(1.0);
    // The banner sits where the status bar would cover its top.
    UIApplication::sharedApplication()->setStatusBarHidden(true);
    auto shot = UIScreenRenderKeyWindow();
    UIApplication::sharedApplication()->setStatusBarHidden(false);
    ASSERT_NE(shot, nullptr);
    CGFloat scale = shot->scale();
    auto probe = [&](int x, int y) { return pixelAt(shot.get(), int(x * scale), int(y * scale)); };
    RGBA loaf = probe(34, 30), letter = probe(74, 16), ground = probe(300, 5);
    EXPECT_NEAR(loaf.r, 250, 4);
    EXPECT_NEAR(loaf.g, 200, 4);
    EXPECT_NEAR(loaf.b, 60, 4);
    EXPECT_NEAR(letter.r, 255, 4);
    EXPECT_NEAR(letter.b, 255, 4);
    EXPECT_NEAR(ground.r, 150, 4);
    EXPECT_NEAR(ground.g, 60, 4);
    view->removeFromSuperview();
}

// The overlay buttons of a playing video, through the view's decision.
class MRJSONAdViewButtonsTest : public MRJSONAdViewTest {
protected:
    void SetUp() override {
        MRJSONAdViewTest::SetUp();
        window = alloc<UIWindow>();
        window->initWithFrame(CGRectMake(0, 0, 320, 480));
        window->makeKeyAndVisible();
        std::string more = R"(,"duration":30,"endActivity":[")" + host.url("/pixel/end") + "\"]";
        // An id of its own, so the video is new to the cache.
        std::string id = testing::UnitTest::GetInstance()->current_test_info()->name();
        video = jsonAd(videoJSON(id, host.url("/v30.mp4"), more));
        view->videoAdView()->setAd(video.get());
        view->videoAdView()->loadFullScreenVideoFromURL(nullptr);
        ASSERT_TRUE(runLoopUntil([&] { return json->count("cache succeeded") == 1; }));
        view->videoAdView()->setAd(jsonAd(videoJSON(id, host.url("/v30.mp4"), more)).get());
        view->videoAdView()->loadFullScreenVideoFromURL(nullptr);
        ASSERT_NE(player(), nullptr);
        advanceRunLoop(0);
        ASSERT_EQ(player()->playbackState(), MPMoviePlaybackStatePlaying);
        json->events.clear();
    }
    void TearDown() override {
        if (player()) view->videoAdView()->endMovieAndRemoveWithNotification(false);
        window = nullptr;
        MRJSONAdViewTest::TearDown();
    }
    Ref<MPMoviePlayerController> player() { return view->videoAdView()->player(); }
    void press(const std::string& buttonJSON) {
        auto ad = jsonAd(R"({"type":"video","video":{"buttons":[)" + buttonJSON + "]}}");
        auto button = cast<MRJSONVideoButton>(ad->videoButtons()->objectAtIndex(0));
        view->videoButtonWasPressed(view->videoAdView().get(), button.get());
    }

    VideoHost host;
    Ref<UIWindow> window;
    Ref<MRJSONAd> video;
};

TEST_F(MRJSONAdViewButtonsTest, EndVideoLogsActivityPausesAndEndsWithRefresh) {
    press(R"({"url":"mrsdk://endVideo","activity":[")" + host.url("/pixel/skip") + "\"]}");
    EXPECT_EQ(player(), nullptr);
    EXPECT_EQ(json->events,
              (std::vector<std::string>{"video will disappear", "video finished timer=1"}));
    EXPECT_TRUE(host.pixelArrived("/pixel/skip"));
    runLoopUntil([] { return NetworkWork::inFlight() == 0; });
    EXPECT_TRUE(host.requested("/pixel/end").empty());  // no end-activity logging
}

TEST_F(MRJSONAdViewButtonsTest, PauseRestartAndPlayCommands) {
    advanceRunLoop(3.0);
    press(R"({"url":"mrsdk://pauseVideo"})");
    EXPECT_EQ(player()->playbackState(), MPMoviePlaybackStatePaused);
    EXPECT_EQ(view->videoAdView()->playbackObserverTimer(), nullptr);
    press(R"({"url":"mrsdk://playVideo"})");
    EXPECT_EQ(player()->playbackState(), MPMoviePlaybackStatePlaying);
    EXPECT_NE(view->videoAdView()->playbackObserverTimer(), nullptr);
    EXPECT_NEAR(player()->currentPlaybackTime(), 3.0, 0.01);
    press(R"({"url":"mrsdk://restartVideo"})");
    EXPECT_EQ(player()->playbackState(), MPMoviePlaybackStatePlaying);
    EXPECT_NEAR(player()->currentPlaybackTime(), 0.0, 0.01);
    EXPECT_TRUE(json->events.empty());
}

TEST_F(MRJSONAdViewButtonsTest, OtherAppsAndPagesGoToTheAdView) {
    press(R"({"url":"tel:5550199"})");
    press(R"({"url":"sms:5550199"})");
    press(R"({"url":"mrbrowser://www.bakery.test/menu"})");
    press(R"({"url":"http://land.test/page"})");
    EXPECT_EQ(json->events, (std::vector<std::string>{"open tel:5550199", "open sms:5550199",
                                                      "open mrbrowser://www.bakery.test/menu",
                                                      "overlay http://land.test/page 3 00"}));
    // Each of them paused the video.
    EXPECT_EQ(player()->playbackState(), MPMoviePlaybackStatePaused);
}

TEST_F(MRJSONAdViewButtonsTest, StartAndEndActivityGoToThePixel) {
    auto ad = jsonAd(videoJSON("act", host.url("/v3.mp4"),
                               R"(,"duration":3,"startActivity":[")" + host.url("/pixel/start") +
                                   R"("],"endActivity":[")" + host.url("/pixel/stop") + "\"]"));
    view->videoAdView()->setAd(ad.get());
    view->videoAdStarted(view->videoAdView().get(), nullptr);
    EXPECT_TRUE(host.pixelArrived("/pixel/start"));
    EXPECT_NE(MRHandshake::sharedHandshake()->lastVideoPlayedAt(), nullptr);
    view->videoAdFinished(view->videoAdView().get(), nullptr, false, false);
    view->videoAdFinished(view->videoAdView().get(), nullptr, true, true);
    EXPECT_TRUE(host.pixelArrived("/pixel/stop"));
    runLoopUntil([] { return NetworkWork::inFlight() == 0; });
    EXPECT_EQ(host.requested("/pixel/stop").size(), 1u);
    EXPECT_EQ(json->events.back(), "video finished timer=1");
}

}  // namespace
