// The main interface, the launch steps and the root tab bar.
#include <gtest/gtest.h>

#include "AppScreensTesting.h"
#include "Classes/FavoriteViewController.h"
#include "Classes/PostSectionController.h"
#include "Classes/RootViewController.h"
#include "Classes/SearchViewController.h"
#include "Classes/Theme.h"
#include "UIKit/UIColor.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UITabBar.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "ui/core/DZURLRequestQueue.h"

namespace {

class RootTabBar : public AppScreensTest {
protected:
    void SetUp() override {
        AppScreensTest::SetUp();
        // The main interface as the application would load it, without an application.
        auto objects = buildMainWindow(nullptr, nullptr);
        ASSERT_EQ(objects->count(), 3u);
        app = cast<NoticewallAppDelegate>(objects->objectAtIndex(0));
        appWindow = cast<UIWindow>(objects->objectAtIndex(1));
        outer = cast<UINavigationController>(objects->objectAtIndex(2));
        tabs = as<RootViewController>(outer->topViewController());
        ASSERT_TRUE(tabs);
        EXPECT_EQ(app->window().get(), appWindow.get());
        EXPECT_EQ(app->navigationController().get(), outer.get());
    }
    void TearDown() override {
        appWindow->setHidden(true);
        AppScreensTest::TearDown();
    }
    void launch() {
        EXPECT_TRUE(app->applicationDidFinishLaunchingWithOptions(
            UIApplication::sharedApplication(), nullptr));
        advanceRunLoop(1);
    }

    Ref<NoticewallAppDelegate> app;
    Ref<UIWindow> appWindow;
    Ref<UINavigationController> outer;
    Ref<RootViewController> tabs;
};

}  // namespace

TEST_F(RootTabBar, TheLaunchShowsTheOuterStackAndConfiguresTheComponents) {
    launch();
    EXPECT_TRUE(appWindow->isKeyWindow());
    EXPECT_FALSE(appWindow->isHidden());
    EXPECT_EQ(outer->view()->superview().get(), static_cast<UIView*>(appWindow.get()));
    EXPECT_TRUE(outer->navigationBar()->tintColor()->isEqual(Theme::sys()->toolBarColor()));
    EXPECT_TRUE(is<MyStyleSheet>(DZStyleSheet::globalStyleSheet().get()));
    EXPECT_EQ(NKHTTPRequest::defaultTimeOutSeconds(), 60);
    EXPECT_EQ(DZURLRequestQueue::mainQueue()->maxContentLength(), 200000u);
    EXPECT_EQ(defaults->integerForKey(NS("runCount1")), 1);
}

TEST_F(RootTabBar, TheTabBarsStepsMakeThreeTabsUnderAHiddenOuterBar) {
    launch();
    auto application = UIApplication::sharedApplication();
    EXPECT_EQ(tabs->title()->utf8(), "Bazaarnest");
    EXPECT_EQ(tabs->delegate().get(), static_cast<UITabBarControllerDelegate*>(tabs.get()));
    EXPECT_TRUE(outer->isNavigationBarHidden());
    EXPECT_EQ(application->statusBarStyle(), UIStatusBarStyleBlackOpaque);
    EXPECT_FALSE(application->isStatusBarHidden());
    EXPECT_EQ(outer->delegate().get(), static_cast<UINavigationControllerDelegate*>(tabs.get()));

    auto controllers = tabs->viewControllers();
    ASSERT_EQ(controllers->count(), 3u);
    auto search = as<SearchViewController>(controllers->objectAtIndex(0));
    ASSERT_TRUE(search);
    EXPECT_EQ(search->nibName()->utf8(), "SearchViewController");
    EXPECT_EQ(search->title()->utf8(), "Search");
    EXPECT_TRUE(search->tabBarItem()->isSystemItem());
    EXPECT_EQ(search->tabBarItem()->systemItem(), UITabBarSystemItemSearch);
    EXPECT_EQ(search->tabBarItem()->tag(), 100);
    auto favorite = as<FavoriteViewController>(controllers->objectAtIndex(1));
    ASSERT_TRUE(favorite);
    EXPECT_EQ(favorite->title()->utf8(), "Favorite");
    EXPECT_EQ(favorite->tabBarItem()->systemItem(), UITabBarSystemItemFavorites);
    EXPECT_EQ(favorite->tabBarItem()->tag(), 200);
    auto post = as<UINavigationController>(controllers->objectAtIndex(2));
    ASSERT_TRUE(post);
    EXPECT_EQ(post.get(), tabs->postNavigationController().get());
    EXPECT_EQ(post->tabBarItem()->title()->utf8(), "Post");
    EXPECT_EQ(post->tabBarItem()->tag(), 300);
    EXPECT_FALSE(post->tabBarItem()->isSystemItem());
    CGFloat r = 0, g = 0, b = 0, a = 1;
    post->navigationBar()->tintColor()->getRed(&r, &g, &b, &a);
    EXPECT_NEAR(r * 255, 87, 0.01);
    EXPECT_NEAR(g * 255, 119, 0.01);
    EXPECT_NEAR(b * 255, 156, 0.01);
    EXPECT_EQ(a, 0);
    auto newAds = tabs->postController();
    EXPECT_EQ(post->viewControllers()->objectAtIndex(0).get(),
              static_cast<NSObject*>(newAds.get()));
    EXPECT_EQ(newAds->title()->utf8(), "New Ads");
    EXPECT_EQ(newAds->rootTabBarController().get(), static_cast<UITabBarController*>(tabs.get()));

    // A new view (after a memory warning): the same screens, with what was typed on them.
    tabs->viewDidLoad();
    auto again = tabs->viewControllers();
    EXPECT_EQ(again->objectAtIndex(0).get(), static_cast<NSObject*>(search.get()));
    EXPECT_EQ(again->objectAtIndex(1).get(), static_cast<NSObject*>(favorite.get()));
    EXPECT_EQ(again->objectAtIndex(2).get(), static_cast<NSObject*>(post.get()));
    EXPECT_EQ(tabs->postController().get(), newAds.get());
}

TEST_F(RootTabBar, TheSelectedTabIgnoresATapAndPushedScreensShowTheOuterBar) {
    launch();
    auto selected = tabs->selectedViewController();
    ASSERT_TRUE(selected);
    EXPECT_FALSE(tabs->tabBarControllerShouldSelectViewController(tabs, selected));
    auto other = cast<UIViewController>(tabs->viewControllers()->objectAtIndex(2));
    EXPECT_TRUE(tabs->tabBarControllerShouldSelectViewController(tabs, other));
    // Through the tab bar: a tap on the selected tab keeps the Post tab's stack as it is.
    tabs->setSelectedViewController(other);
    auto post = cast<UINavigationController>(other);
    auto pushed = make<UIViewController>();
    post->pushViewController(pushed, false);
    tabs->tabBar()->userSelectItem(post->tabBarItem());
    advanceRunLoop(1);
    EXPECT_EQ(post->topViewController().get(), pushed.get());

    auto screen = make<UIViewController>();
    outer->pushViewController(screen, false);
    EXPECT_FALSE(outer->isNavigationBarHidden());
    outer->popViewControllerAnimated(false);
    advanceRunLoop(1);
    EXPECT_TRUE(outer->isNavigationBarHidden());
}
