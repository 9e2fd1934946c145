#include "ads/meridian/MRJSONVideoAdView.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NetworkWork.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIWindow.h"
#include "ads/meridian/MRVideoCache.h"
#include "ads/meridian/MRVideoTesting.h"
#include "ads/place/AdFullScreen.h"
#include "support/FoundationTesting.h"

namespace {

class MRJSONVideoAdViewTest : public testing::Test {
protected:
    void SetUp() override {
        clock_.emplace();
        window = alloc<UIWindow>();
        window->initWithFrame(CGRectMake(0, 0, 320, 480));
        window->makeKeyAndVisible();
        UIApplication::sharedApplication()->setStatusBarHidden(false);
        view = alloc<MRJSONVideoAdView>();
        view->initWithFrame(CGRectMake(0, 0, 320, 53), recorder.get());
        began = NSNotificationCenter::defaultCenter()->addObserverForName(
            NS("MRCachingBeganNotification"), nullptr, [this](NSNotification*) { ++cachingBegan; });
    }
    void TearDown() override {
        NSNotificationCenter::defaultCenter()->removeObserver(began.get());
        if (view->player()) view->endMovieAndRemoveWithNotification(false);
        view = nullptr;
        window = nullptr;
        forgetVideoCache();
        clock_.reset();
    }
    // Loads an ad into the view; a first sight waits for the download to end.
    void load(const std::string& json) {
        recorder->events.clear();
        view->setAd(jsonAd(json).get());
        view->loadFullScreenVideoFromURL(nullptr);
        if (recorder->saw("failed") && view->cache() && view->cache()->download()) {
            ASSERT_TRUE(runLoopUntil(
                [&] { return recorder->saw("cache succeeded") || recorder->saw("cache failed"); }));
        }
    }
    std::string countdown() {
        auto label = view->videoControlOverlay()->countdownLabel();
        return label ? label->text()->utf8() : "(none)";
    }

    std::optional<ManualClockScope> clock_;
    VideoHost host;
    Ref<UIWindow> window;
    Ref<VideoRecorder> recorder = make<VideoRecorder>();
    Ref<MRJSONVideoAdView> view;
    Ref<NSObject> began;
    int cachingBegan = 0;
};

TEST_F(MRJSONVideoAdViewTest, FirstSightCachesThenPlaysFromTheFile) {
    std::string json =
        videoJSON("clip30", host.url("/v30.mp4"), R"(,"duration":30,"showCountdownHUD":true)");
    load(json);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"failed", "cache succeeded"}));
    EXPECT_EQ(cachingBegan, 1);
    EXPECT_EQ(view->player(), nullptr);
    auto entry = MRVideoCache::loadFromArchive(NS("clip30"));
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->isDownloadComplete());

    // Over another ad's full-screen view it starts nothing, though its file is ready.
    {
        AdFullScreenHold other;
        other.take();
        load(json);
        EXPECT_EQ(recorder->events, (std::vector<std::string>{"failed"}));
    }
    // The next sight plays with no request.
    size_t fetches = host.requested("/v30.mp4").size();
    load(json);
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"succeeded", "will appear", "did appear"}));
    EXPECT_EQ(host.requested("/v30.mp4").size(), fetches);
    EXPECT_EQ(cachingBegan, 1);
    auto player = view->player();
    ASSERT_NE(player, nullptr);
    EXPECT_TRUE(player->contentURL()->isFileURL());
    EXPECT_EQ(player->controlStyle(), MPMovieControlStyleNone);
    EXPECT_TRUE(UIApplication::sharedApplication()->isStatusBarHidden());
    // Turned for landscape: (0, 0, height, width) of the window.
    EXPECT_EQ(player->view()->superview(), window);
    EXPECT_FLOAT_EQ(player->view()->bounds().size.width, 480);
    EXPECT_FLOAT_EQ(player->view()->bounds().size.height, 320);
    CGAffineTransform turn = player->view()->transform();
    EXPECT_NEAR(turn.b, 1, 1e-5);  // +90 degrees, the status bar being upright
    EXPECT_EQ(countdown(), "30 seconds remaining...");

    advanceRunLoop(0);
    EXPECT_TRUE(recorder->saw("started"));
    EXPECT_EQ(player->playbackState(), MPMoviePlaybackStatePlaying);
    advanceRunLoop(1.0);
    EXPECT_EQ(countdown(), "28 seconds remaining...");
    player->setCurrentPlaybackTime(10.2);
    view->playbackTimerCheck(nullptr);
    EXPECT_EQ(countdown(), "19 seconds remaining...");

    // The user leaves: the status bar comes back and the ad view hears of it.
    recorder->events.clear();
    player->done();
    advanceRunLoop(0);
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"will close", "finished refresh=1 log=1"}));
    EXPECT_EQ(view->player(), nullptr);
    EXPECT_FALSE(UIApplication::sharedApplication()->isStatusBarHidden());
    EXPECT_EQ(view->playbackObserverTimer(), nullptr);
    for (std::string length : {"-30", "1e10", "0"}) {  // no count, restarted either
        load(videoJSON("clip30", host.url("/v30.mp4"),
                       R"(,"showCountdownHUD":true,"duration":)" + length));
        EXPECT_EQ(countdown(), "(none)") << length;
        view->restartVideo();
        EXPECT_EQ(countdown(), "(none)") << length;
        view->player()->done();
        advanceRunLoop(0);
    }
}

TEST_F(MRJSONVideoAdViewTest, ExpiredEntryDownloadsAgainInsteadOfPlaying) {
    std::string url = host.url("/v3.mp4");
    std::string expiry = R"(,"expiration":")" +
                         NSDate::dateWithTimeIntervalSinceNow(60)->description()->utf8() + "\"";
    load(videoJSON("clip3x", url, expiry));
    ASSERT_TRUE(recorder->saw("cache succeeded"));
    advanceRunLoop(61);
    load(videoJSON("clip3x", url, expiry));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"failed", "cache succeeded"}));
    EXPECT_EQ(view->player(), nullptr);
    EXPECT_EQ(cachingBegan, 2);
    // The file was whole: the range past its end finds nothing more.
    auto asked = host.requested("/v3.mp4");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1], "/v3.mp4 bytes=" + std::to_string(host.clip3.size()) + "-");
}

TEST_F(MRJSONVideoAdViewTest, LogEntriesFireAtTheirWholeSecondOnlyForTextTimes) {
    load(videoJSON("logs", host.url("/v30.mp4"),
                   R"(,"duration":30,"log":[{"time":"5","urls":[")" + host.url("/pixel/five") +
                       R"("]},{"time":5,"urls":[")" + host.url("/pixel/number") +
                       R"("]},{"time":"1","urls":[")" + host.url("/pixel/one") + R"("]}])"));
    load(videoJSON("logs", host.url("/v30.mp4"),
                   R"(,"duration":30,"log":[{"time":"5","urls":[")" + host.url("/pixel/five") +
                       R"("]},{"time":5,"urls":[")" + host.url("/pixel/number") +
                       R"("]},{"time":"1","urls":[")" + host.url("/pixel/one") + R"("]}])"));
    auto player = view->player();
    ASSERT_NE(player, nullptr);
    advanceRunLoop(0);
    advanceRunLoop(1.0);  // the tick at 1 s
    EXPECT_TRUE(host.pixelArrived("/pixel/one"));
    EXPECT_TRUE(host.requested("/pixel/five").empty());
    player->setCurrentPlaybackTime(5.5);
    view->playbackTimerCheck(nullptr);
    EXPECT_TRUE(host.pixelArrived("/pixel/five"));
    player->setCurrentPlaybackTime(6.1);
    view->playbackTimerCheck(nullptr);
    runLoopUntil([] { return NetworkWork::inFlight() == 0; });
    EXPECT_EQ(host.requested("/pixel/five").size(), 1u);
    EXPECT_TRUE(host.requested("/pixel/number").empty());
}

TEST_F(MRJSONVideoAdViewTest, DamagedFileIsDeletedAndDownloadedAgain) {
    std::string url = host.url("/v3.mp4");
    load(videoJSON("damaged", url));
    auto entry = MRVideoCache::loadFromArchive(NS("damaged"));
    ASSERT_NE(entry, nullptr);
    {
        std::ofstream out(entry->localPath()->utf8(), std::ios::binary | std::ios::trunc);
        out << host.clip3.substr(0, 40);
    }
    load(videoJSON("damaged", url));
    ASSERT_NE(view->player(), nullptr);
    recorder->events.clear();
    advanceRunLoop(0);  // the player opens the file and fails
    EXPECT_EQ(view->player(), nullptr);
    EXPECT_EQ(recorder->events, std::vector<std::string>{"will close"});
    ASSERT_TRUE(runLoopUntil([&] { return recorder->saw("cache succeeded"); }));
    auto asked = host.requested("/v3.mp4");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1], "/v3.mp4 ");  // from the start
    std::ifstream in(entry->localPath()->utf8(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), host.clip3);
}

TEST_F(MRJSONVideoAdViewTest, OnCompletionCases) {
    std::string url = host.url("/v3.mp4");
    load(videoJSON("done", url));
    auto playToEnd = [&](const std::string& completion) {
        load(videoJSON("done", url, R"(,"duration":3)" + completion));
        EXPECT_NE(view->player(), nullptr) << completion;
        advanceRunLoop(0);
        EXPECT_TRUE(recorder->saw("started"));
        recorder->events.clear();
        advanceRunLoop(3.5);
    };

    playToEnd(R"(,"onCompletion":{"stayInPlayer":true})");
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"finished refresh=0 log=1"}));
    ASSERT_NE(view->player(), nullptr);  // stays up, buttons shown
    EXPECT_TRUE(view->videoControlOverlay()->isVideoFinishedPlaying());
    view->videoControlOverlay()->setDelegate(nullptr);
    view->player()->done();  // the Done control: the user leaves
    advanceRunLoop(0);
    EXPECT_EQ(recorder->events.back(), "finished refresh=1 log=0");  // logged once
    EXPECT_FALSE(UIApplication::sharedApplication()->isStatusBarHidden());

    playToEnd(R"(,"onCompletion":{"url":"http://land.test/after"})");
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"completion url http://land.test/after 3",
                                                          "finished refresh=0 log=1"}));
    EXPECT_EQ(view->player(), nullptr);
    // The page stays over the app; closing it brings the status bar back.
    EXPECT_TRUE(UIApplication::sharedApplication()->isStatusBarHidden());
    NSNotificationCenter::defaultCenter()->postNotificationName(NS("MRShowStatusBarIfNeeded"),
                                                                nullptr);
    EXPECT_FALSE(UIApplication::sharedApplication()->isStatusBarHidden());

    playToEnd(R"(,"onCompletion":{"html":"<b>thanks</b>"})");
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"completion html <b>thanks</b> 3",
                                                          "finished refresh=0 log=1"}));
    NSNotificationCenter::defaultCenter()->postNotificationName(NS("MRShowStatusBarIfNeeded"),
                                                                nullptr);

    playToEnd("");
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"will close", "finished refresh=1 log=1"}));
    EXPECT_FALSE(UIApplication::sharedApplication()->isStatusBarHidden());
}

TEST_F(MRJSONVideoAdViewTest, OnlyTheViewThatHidTheStatusBarGivesItBack) {
    // Another banner's video view, made while the bar showed, that never played.
    auto otherRecorder = make<VideoRecorder>();
    auto other = alloc<MRJSONVideoAdView>();
    other->initWithFrame(CGRectMake(0, 0, 320, 53), otherRecorder.get());
    std::string json = videoJSON("clip30", host.url("/v30.mp4"), R"(,"duration":30)");
    load(json);
    load(json);
    ASSERT_NE(view->player(), nullptr);
    auto app = UIApplication::sharedApplication();
    ASSERT_TRUE(app->isStatusBarHidden());
    // An overlay that closes elsewhere, then the other view going (its screen's view let go on
    // a memory warning): the player keeps the bar hidden.
    NSNotificationCenter::defaultCenter()->postNotificationName(NS("MRShowStatusBarIfNeeded"),
                                                                nullptr);
    EXPECT_TRUE(app->isStatusBarHidden());
    other = nullptr;
    EXPECT_TRUE(app->isStatusBarHidden());
    // The next banner's video starts nothing over this one, whose end brings the bar back.
    auto nextRecorder = make<VideoRecorder>();
    auto next = alloc<MRJSONVideoAdView>();
    next->initWithFrame(CGRectMake(0, 0, 320, 53), nextRecorder.get());
    next->setAd(jsonAd(json).get());
    next->loadFullScreenVideoFromURL(nullptr);
    EXPECT_EQ(next->player(), nullptr);
    EXPECT_TRUE(nextRecorder->saw("failed"));
    view->player()->done();
    advanceRunLoop(0);
    EXPECT_FALSE(app->isStatusBarHidden());
}

TEST_F(MRJSONVideoAdViewTest, IdsThatAreNoFileNamesFailWithoutWriting) {
    load(videoJSON("../escape", host.url("/v3.mp4")));
    EXPECT_EQ(recorder->events, std::vector<std::string>{"failed"});
    EXPECT_EQ(cachingBegan, 0);
    EXPECT_TRUE(host.requested("/v3.mp4").empty());
}

TEST_F(MRJSONVideoAdViewTest, OrientationForVideoIsLandscape) {
    auto app = UIApplication::sharedApplication();
    auto previous = app->statusBarOrientation();
    EXPECT_EQ(MRJSONVideoAdView::orientationForVideo(), 3);
    app->setStatusBarOrientation(UIInterfaceOrientationLandscapeLeft);
    EXPECT_EQ(MRJSONVideoAdView::orientationForVideo(), 4);
    app->setStatusBarOrientation(previous);
}

}  // namespace
