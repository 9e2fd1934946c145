// The mediation banner at the foot of the result list, item and favourites screens, against the
// stand-in mediation service weighted to house ads: the app's key, the ad, a tap opening the
// in-app browser over the screen, and the banner leaving with a view the screen gives up or
// with the screen itself.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "AdLoom/internal/AdLoomConfigStore.h"
#include "AdLoom/internal/AdLoomCustomAdView.h"
#include "AdLoom/internal/AdLoomView.h"
#include "AdLoom/internal/AdLoomWebBrowserController.h"
#include "Classes/FavoriteViewController.h"
#include "Classes/ItemListViewController.h"
#include "Classes/ItemViewController.h"
#include "Classes/ScreenSupport.h"
#include "Foundation/NSTimer.h"
#include "ResultScreensTesting.h"
#include "support/services/RunningServices.h"
#include "tools/services/MediationModule.h"

namespace {

using bnservices::MediationModule;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class BannerScreens : public ResultScreensTest {
protected:
    void SetUp() override {
        ResultScreensTest::SetUp();
        auto& services = servicestest::services();
        services.clearFaults();
        services.reset();
        mediation = services.module<MediationModule>("mediation");
        ASSERT_NE(mediation, nullptr);
        ASSERT_TRUE(mediation->weightTo("house"));
        AdLoomConfigStore::resetStore();
        servicestest::takeLog();
    }
    void TearDown() override {
        ResultScreensTest::TearDown();
        // The screens of later tests get no ads: nothing of theirs reaches the service.
        mediation->setConfig(MediationModule::kAppKey, {200, R"({"extra":{},"rations":[]})"});
    }

    // The one banner in the holder.
    static Ref<AdLoomView> bannerIn(UIView* holder) {
        if (!holder) return nullptr;
        std::vector<Ref<AdLoomView>> banners;
        auto subviews = holder->subviews();
        for (NSUInteger i = 0; i < subviews->count(); ++i)
            if (auto b = as<AdLoomView>(subviews->objectAtIndex(i))) banners.push_back(b);
        EXPECT_EQ(banners.size(), 1u);
        return banners.empty() ? nullptr : banners.front();
    }
    // Until the banner shows an ad and its pings and images have arrived.
    static bool waitForAd(AdLoomView* banner) {
        bool shown = runLoopUntil([&] { return banner->adExists(); }, 20);
        runLoopUntil([] { return NetworkWork::inFlight() == 0; }, 20);
        advanceRunLoop(0);
        return shown;
    }
    // What the banner's screen has asked the mediation service for (configurations by key,
    // house ads by network id and their images), once `count` are in the log: the server writes
    // each line after its answer, from its own thread.
    static std::vector<std::string> mediationRequests(size_t count) {
        std::vector<std::string> out;
        runLoopUntil(
            [&] {
                for (const std::string& line : servicestest::takeLog())
                    if (contains(line, "mediation.adloom.test/")) out.push_back(line);
                return out.size() >= count;
            },
            10);
        return out;
    }
    // The house ads asked for and the pings received so far, which the service counts before
    // it answers.
    std::pair<size_t, size_t> mediationCounts() {
        return {mediation->houseAdRequests().size(), mediation->pings().size()};
    }
    // The banner shows a house ad for the app's key, asked for once, and refreshes on a timer.
    void expectHouseAdFor(UIViewController* screen, AdLoomDelegate* host, UIView* holder) {
        auto banner = bannerIn(holder);
        ASSERT_TRUE(banner);
        EXPECT_EQ(banner->delegate().get(), host);
        EXPECT_TRUE(CGRectEqualToRect(banner->frame(), CGRectMake(0, 0, 320, 50)));
        EXPECT_EQ(holder->window(), screen->view()->window());
        ASSERT_TRUE(waitForAd(banner));
        EXPECT_EQ(text(banner->mostRecentNetworkName()), "custom");
        auto asked = mediationRequests(3);
        ASSERT_EQ(asked.size(), 3u);
        EXPECT_TRUE(contains(asked[0], "/getInfo.php?appid=3f9a1c0be7d24a5c8e61b0f2d4a97c3e&"))
            << asked[0];
        EXPECT_TRUE(contains(asked[1], "/custom.php?")) << asked[1];
        EXPECT_TRUE(contains(asked[1], "appid=3f9a1c0be7d24a5c8e61b0f2d4a97c3e")) << asked[1];
        EXPECT_TRUE(contains(asked[2], "/img/banner-320x50.png")) << asked[2];
        ASSERT_TRUE(banner->refreshTimer());
        EXPECT_EQ(banner->refreshTimer()->timeInterval(), 30);
    }
    // The item screen on one listing, pushed as the result list does.
    Ref<ItemViewController> openItemScreen(const char* title, const char* url) {
        auto items = NSMutableArray::array();
        items->addObject(listing(title, url));
        auto screen = alloc<ItemViewController>();
        screen->initWithNibName(NS("ItemViewController"), nullptr);
        screen->displayItems(items, 0);
        nav->pushViewController(screen, false);
        advanceRunLoop(0);
        return screen;
    }
    // The house ad on show in the banner.
    static Ref<AdLoomCustomAdView> houseAdIn(AdLoomView* banner) {
        return as<AdLoomCustomAdView>(banner->viewWithTag(kAdLoomViewAdSubViewTag));
    }

    MediationModule* mediation = nullptr;
};

}  // namespace

TEST_F(BannerScreens, TheScreensAnswerTheBannerAsHosts) {
    auto list = alloc<ItemListViewController>();
    list->initWithNibName(NS("ItemListViewController"), nullptr);
    auto item = alloc<ItemViewController>();
    item->initWithNibName(NS("ItemViewController"), nullptr);
    auto favourites = alloc<FavoriteViewController>();
    favourites->initWithNibName(NS("FavoriteViewController"), nullptr);
    for (AdLoomDelegate* host :
         std::vector<AdLoomDelegate*>{list.get(), item.get(), favourites.get()}) {
        EXPECT_EQ(text(host->adLoomApplicationKey()), "3f9a1c0be7d24a5c8e61b0f2d4a97c3e");
        // The full-screen ads and the browser come up over the screen itself.
        EXPECT_EQ(host->viewControllerForPresentingModalView().get(),
                  dynamic_cast<UIViewController*>(host));
        EXPECT_TRUE(AdLoomDelegateAnswers(host, "viewControllerForPresentingModalView"));
        // An ad shown makes room for itself at the foot of the screen's list or page; the
        // screens take none of the banner's other notices and give it no servers of their own.
        EXPECT_TRUE(AdLoomDelegateAnswers(host, "adLoomDidReceiveAd:"));
        for (const char* optional :
             {"adLoomDidFailToReceiveAd:usingBackup:", "adLoomWillPresentFullScreenModal",
              "adLoomConfigURL", "adLoomCustomAdURL"})
            EXPECT_FALSE(AdLoomDelegateAnswers(host, optional)) << optional;
    }
}

TEST_F(BannerScreens, TheResultListShowsAHouseAdAtItsFoot) {
    auto screen = alloc<ItemListViewController>();
    screen->initWithNibName(NS("ItemListViewController"), nullptr);
    nav->pushViewController(screen, false);
    advanceRunLoop(0);
    auto holder = screen->adsHolder();
    ASSERT_TRUE(holder);
    // Over the foot of the table, which runs to the screen's foot, across the screen.
    EXPECT_EQ(CGRectGetMaxY(screen->myTableView()->frame()), CGRectGetMaxY(holder->frame()));
    EXPECT_EQ(CGRectGetMaxY(holder->frame()), screen->view()->bounds().size.height);
    EXPECT_EQ(screen->myTableView()->contentInset().bottom, 0);
    expectHouseAdFor(screen, screen.get(), holder);
    // With the ad shown, the table's foot leaves it room, under a solid strip.
    EXPECT_EQ(screen->myTableView()->contentInset().bottom, holder->frame().size.height);
    EXPECT_TRUE(holder->backgroundColor());
    // The banner taken out, the table has its foot back under a see-through strip.
    removeBanners(holder);
    EXPECT_EQ(screen->myTableView()->contentInset().bottom, 0);
    EXPECT_EQ(screen->myTableView()->scrollIndicatorInsets().bottom, 0);
    EXPECT_FALSE(holder->backgroundColor());
}

TEST_F(BannerScreens, TheFavouritesShowOneToo) {
    auto screen = alloc<FavoriteViewController>();
    screen->initWithNibName(NS("FavoriteViewController"), nullptr);
    nav->pushViewController(screen, false);
    advanceRunLoop(0);
    expectHouseAdFor(screen, screen.get(), screen->adsHolder());
}

TEST_F(BannerScreens, TheItemScreensAdOpensTheBrowserOverTheScreen) {
    auto screen = openItemScreen("Road bike", "http://boston.bazaarnest.test/bik/1.html");
    expectHouseAdFor(screen, screen.get(), screen->adsHolder());
    // The page's foot leaves the ad room.
    EXPECT_EQ(screen->webView()->scrollView()->contentInset().bottom, 50);

    // The first house ad is the image ad, whose advertiser page opens inside the app.
    auto ad = houseAdIn(bannerIn(screen->adsHolder()));
    ASSERT_TRUE(ad);
    EXPECT_EQ(ad->launchType(), AdLoomCustomAdLaunchTypeCanvas);
    ad->tapButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    advanceRunLoop(1);
    auto browser = as<AdLoomWebBrowserController>(screen->presentedViewController());
    ASSERT_TRUE(browser);
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }, 20));
    auto pings = mediation->pings();
    ASSERT_EQ(pings.size(), 1u);
    EXPECT_EQ(pings[0].kind, "house click");
    EXPECT_EQ(pings[0].nid, "image");
    // While the browser is up, the banner does not refresh.
    EXPECT_TRUE(bannerIn(screen->adsHolder())->showingModalView());
    screen->dismissModalViewControllerAnimated(false);
    advanceRunLoop(1);
}

TEST_F(BannerScreens, AViewGivenUpTakesItsBannerAlong) {
    auto screen = alloc<ItemListViewController>();
    screen->initWithNibName(NS("ItemListViewController"), nullptr);
    nav->pushViewController(screen, false);
    advanceRunLoop(0);
    auto first = bannerIn(screen->adsHolder());
    ASSERT_TRUE(waitForAd(first));
    Weak<AdLoomView> gone(first.get());
    Weak<NSTimer> timer(first->refreshTimer().get());
    first = nullptr;
    mediationRequests(3);
    auto before = mediationCounts();

    // Covered, the list gives its view up under a memory warning: the banner leaves its holder,
    // even one that something else still holds, with its refresh timer, and asks for nothing
    // more.
    nav->pushViewController(make<UIViewController>(), false);
    advanceRunLoop(1);
    Ref<UIView> oldHolder = screen->adsHolder();
    screen->didReceiveMemoryWarning();
    ASSERT_FALSE(screen->isViewLoaded());
    advanceRunLoop(0);
    EXPECT_EQ(oldHolder->subviews()->count(), 0u);
    EXPECT_FALSE(gone.lock());
    EXPECT_FALSE(timer.lock() && timer.lock()->isValid());
    advanceRunLoop(65);
    runLoopUntil([] { return NetworkWork::inFlight() == 0; }, 20);
    EXPECT_EQ(mediationCounts(), before);

    // Back on the list: a new view with a banner of its own, which asks again.
    nav->popViewControllerAnimated(false);
    advanceRunLoop(0);
    ASSERT_TRUE(screen->isViewLoaded());
    auto second = bannerIn(screen->adsHolder());
    ASSERT_TRUE(second);
    ASSERT_TRUE(waitForAd(second));
    // The configuration is the store's by now: a house ad and its image only.
    auto asked = mediationRequests(2);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_TRUE(contains(asked[0], "/custom.php?")) << asked[0];
    EXPECT_TRUE(contains(asked[1], "/img/")) << asked[1];
    EXPECT_EQ(mediationCounts().first, before.first + 1);
}

TEST_F(BannerScreens, AFreedScreenLeavesNoBannerRefreshing) {
    Weak<AdLoomView> gone;
    {
        auto screen = openItemScreen("Desk", "http://boston.bazaarnest.test/fua/1.html");
        auto banner = bannerIn(screen->adsHolder());
        ASSERT_TRUE(waitForAd(banner));
        gone = banner.get();
        nav->popViewControllerAnimated(false);
        advanceRunLoop(1);
    }
    advanceRunLoop(0);
    EXPECT_FALSE(gone.lock());
    auto before = mediationCounts();
    EXPECT_EQ(before.first, 1u);
    // Two refresh periods later nobody has asked for an ad.
    advanceRunLoop(65);
    runLoopUntil([] { return NetworkWork::inFlight() == 0; }, 20);
    EXPECT_EQ(mediationCounts(), before);
}
