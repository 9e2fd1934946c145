// JSON replies through the whole ad view, on the stand-in Meridian service.
#include <gtest/gtest.h>

#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "MediaPlayer/MPMoviePlayerController.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIToolbar.h"
#include "UIKit/UIWindow.h"
#include "ads/meridian/MRGenericAdView.h"
#include "ads/meridian/MRVideoCache.h"
#include "ads/meridian/MeridianTesting.h"
#include "support/FoundationTesting.h"

namespace {

class MRAdViewJSONTest : public MeridianTest {
protected:
    void SetUp() override {
        MeridianTest::SetUp();
        window = alloc<UIWindow>();
        window->initWithFrame(CGRectMake(0, 0, 320, 480));
        window->makeKeyAndVisible();
    }
    void TearDown() override {
        for (auto& v : views)
            if (auto json = as<MRJSONAdView>(as<MRGenericAdView>(v)->jsonAdView()))
                if (json->videoAdView()->player())
                    json->videoAdView()->endMovieAndRemoveWithNotification(false);
        window = nullptr;
        NSFileManager::defaultManager()->removeItemAtPath(MRVideoCache::cacheFolder().get(),
                                                          nullptr);
        MeridianTest::TearDown();
    }
    static Ref<MRJSONAdView> jsonView(MRAdView* v) {
        return as<MRJSONAdView>(as<MRGenericAdView>(v)->jsonAdView());
    }
    static bool cached(const char* id) {
        return runLoopUntil([&] {
            auto entry = MRVideoCache::loadFromArchive(str(id).get());
            return entry && entry->isDownloadComplete();
        });
    }
    Ref<UIWindow> window;
};

TEST_F(MRAdViewJSONTest, ImageReplyShowsThePictureInTheBanner) {
    auto v = banner("json-image");
    ASSERT_TRUE(eventsSettled(1));
    EXPECT_EQ(recorder->events, std::vector<std::string>{"succeeded"});
    auto json = jsonView(v.get());
    ASSERT_NE(json, nullptr);
    advanceRunLoop(1.0);  // the cross-fades
    EXPECT_FALSE(json->isHidden());
    EXPECT_TRUE(as<MRGenericAdView>(v)->htmlAdView()->isHidden());
    ASSERT_NE(json->imageAdView()->image(), nullptr);
    EXPECT_FLOAT_EQ(json->imageAdView()->image()->size().height, 53);
}

TEST_F(MRAdViewJSONTest, VideoCachesFirstThenPlaysWithoutARequest) {
    auto v = banner("json-video", true, true);
    ASSERT_TRUE(eventsSettled(1));
    EXPECT_EQ(recorder->events, std::vector<std::string>{"failed"});
    // While the video caches, a refresh fetches nothing.
    auto generic = as<MRGenericAdView>(v);
    EXPECT_FALSE(generic->isRefreshAllowed());
    ASSERT_TRUE(cached("mrvideo"));
    ASSERT_TRUE(runLoopUntil([&] { return generic->isRefreshAllowed(); }));
    EXPECT_NE(generic->refreshAdTimer(), nullptr);
    EXPECT_TRUE(NSFileManager::defaultManager()->fileExistsAtPath(
        MRVideoCache::cachedVideoListPath().get()));

    size_t requests = adRequests().size();
    recorder->events.clear();
    generic->timerRefreshAd();  // the timer's tick
    EXPECT_EQ(adRequests().size(), requests);
    EXPECT_FALSE(NSFileManager::defaultManager()->fileExistsAtPath(
        MRVideoCache::cachedVideoListPath().get()));
    auto player = jsonView(v.get())->videoAdView()->player();
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"refresh", "succeeded", "modal will appear",
                                        "modal did appear"}));
    EXPECT_EQ(generic->refreshAdTimer(), nullptr);  // stopped while the video plays
    EXPECT_EQ(MRVideoCache::loadFromArchive(NS("mrvideo"))->numPlays()->intValue(), 1);

    // Visit opens the advertiser's page over the still video, turned with the player and whole
    // inside the screen, its Close within reach.
    recorder->events.clear();
    advanceRunLoop(0);
    auto video = jsonView(v.get())->videoAdView();
    auto buttons = jsonView(v.get())->getAd()->videoButtons();
    Ref<MRJSONVideoButton> visit;
    for (NSUInteger i = 0; i < buttons->count(); ++i)
        if (auto b = as<MRJSONVideoButton>(buttons->objectAtIndex(i));
            b && b->title() && b->title()->isEqualToString(NS("Visit")))
            visit = b;
    ASSERT_NE(visit, nullptr);
    video->jsonVideoButtonWasTapped(visit.get(), video->videoControlOverlay().get());
    auto page = generic->overlayView();
    ASSERT_NE(page, nullptr);
    advanceRunLoop(1);  // the page's show
    EXPECT_EQ(player->playbackState(), MPMoviePlaybackStatePaused);
    EXPECT_TRUE(sameRect(page->frame(), window->bounds()));
    EXPECT_NEAR(page->transform().b, 1, 1e-5);  // turned as the player is
    ASSERT_NE(page->bottomBar(), nullptr);
    ASSERT_NE(page->closeButton(), nullptr);
    page->layoutIfNeeded();
    page->bottomBar()->layoutIfNeeded();
    EXPECT_TRUE(takesATap(window.get(), page->closeButton()->itemView().get()));
    // Woken from the background, the video stays still under the page.
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationWillEnterForegroundNotification, UIApplication::sharedApplication().get());
    EXPECT_EQ(player->playbackState(), MPMoviePlaybackStatePaused);

    // Done: the page closes with the player, the modal ends and the timer runs again.
    player->done();
    advanceRunLoop(1);
    EXPECT_EQ(page->superview(), nullptr) << "the page outlives its player";
    EXPECT_EQ(generic->overlayView(), nullptr);
    EXPECT_EQ(recorder->events, std::vector<std::string>{"modal dismissed"});
    EXPECT_NE(generic->refreshAdTimer(), nullptr);
    EXPECT_FALSE(UIApplication::sharedApplication()->isStatusBarHidden());
    runLoopUntil([] { return NetworkWork::inFlight() == 0; });
    EXPECT_EQ(adRequests().size(), requests);

    // Its host's view left the window while the next reply was on its way: no video starts.
    auto screen = make<UIView>(&UIView::initWithFrame, CGRectZero);
    recorder->hostView = make<UIView>(&UIView::initWithFrame, CGRectZero);
    screen->addSubview(recorder->hostView.get());
    recorder->events.clear();
    generic->refreshAd();
    ASSERT_TRUE(eventsSettled(2));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"refresh", "failed"}));
}

TEST_F(MRAdViewJSONTest, ExpiredCachedVideoIsSweptAndRequestedAgain) {
    auto v = banner("json-video-expired");
    ASSERT_TRUE(eventsSettled(1));
    ASSERT_TRUE(cached("mrexpired"));
    ASSERT_TRUE(runLoopUntil([&] { return as<MRGenericAdView>(v)->isRefreshAllowed(); }));
    size_t requests = adRequests().size();
    recorder->events.clear();
    v->refreshAd();
    // The sweep took the old entry and its file; the reply makes it anew.
    ASSERT_TRUE(eventsSettled(2));
    EXPECT_EQ(adRequests().size(), requests + 1);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"refresh", "failed"}));
    EXPECT_EQ(jsonView(v.get())->videoAdView()->player(), nullptr);
}

TEST_F(MRAdViewJSONTest, TheOnCompletionPageOutlivesThePlayerWholeAndClosable) {
    auto v = banner("json-video-url", true, true);
    ASSERT_TRUE(eventsSettled(1));
    ASSERT_TRUE(cached("mrurl"));
    auto generic = as<MRGenericAdView>(v);
    ASSERT_TRUE(runLoopUntil([&] { return generic->isRefreshAllowed(); }));
    generic->timerRefreshAd();
    auto video = jsonView(v.get())->videoAdView();
    ASSERT_NE(video->player(), nullptr);
    advanceRunLoop(0);
    advanceRunLoop(6);  // to the video's end, and the page's show
    EXPECT_EQ(video->player(), nullptr);
    auto page = generic->overlayView();
    ASSERT_NE(page, nullptr);
    EXPECT_NE(page->superview(), nullptr);
    EXPECT_TRUE(sameRect(page->frame(), window->bounds()));
    auto app = UIApplication::sharedApplication();
    EXPECT_TRUE(app->isStatusBarHidden());
    page->layoutIfNeeded();
    ASSERT_NE(page->closeButton(), nullptr);
    page->bottomBar()->layoutIfNeeded();
    EXPECT_TRUE(takesATap(window.get(), page->closeButton()->itemView().get()));
    // Its Close takes it away and gives the bar back.
    page->closeButton()->sendAction();
    advanceRunLoop(1);
    EXPECT_EQ(page->superview(), nullptr);
    EXPECT_FALSE(app->isStatusBarHidden());
}

}  // namespace
