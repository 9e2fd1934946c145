#include <gtest/gtest.h>

#include "Foundation/Clock.h"
#include "Foundation/NSFileManager.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UITabBarController.h"
#include "analytics/TallyAPI.h"
#include "analytics/TallyPageViewDelegate.h"
#include "analytics/TallySession.h"

namespace {

class Refusing : public NSObject, public UITabBarControllerDelegate {
    NS_OBJECT(Refusing, NSObject)
public:
    int asked = 0, selected = 0;
    bool tabBarControllerShouldSelectViewController(UITabBarController*,
                                                    UIViewController*) override {
        ++asked;
        return false;
    }
    void tabBarControllerDidSelectViewController(UITabBarController*, UIViewController*) override {
        ++selected;
    }
};

class TallyPageViewDelegateTest : public ::testing::Test {
protected:
    ManualClockScope clock;
    void SetUp() override { TallySession::createActiveTallySession(NS("pages-key")); }
    void TearDown() override {
        NSFileManager::defaultManager()->removeItemAtPath(TallySession::currentSessionFilePath(),
                                                          nullptr);
        TallySession::resetForTesting();
    }
};

}  // namespace

TEST_F(TallyPageViewDelegateTest, NavigationCountsAtMostOncePerThirdOfASecond) {
    auto plain = make<UIViewController>();
    TallyAPI::countPageViews(plain);  // not a container: nothing installed
    EXPECT_EQ(TallyPageViewDelegate::createDelegateOnTarget(plain), nullptr);

    auto nav = make<UINavigationController>(&UINavigationController::initWithRootViewController,
                                            plain.get());
    TallyAPI::countPageViews(nav);
    auto installed = nav->delegate();
    ASSERT_TRUE(installed);
    installed->navigationControllerDidShowViewController(nav, plain, true);
    Clock::advance(0.2);
    installed->navigationControllerDidShowViewController(nav, plain, true);
    EXPECT_EQ(TallySession::currentSession()->pageViewCount(), 1);
    Clock::advance(0.31);
    installed->navigationControllerDidShowViewController(nav, plain, true);
    EXPECT_EQ(TallySession::currentSession()->pageViewCount(), 2);

    // A new session gets the counts from then on.
    Clock::advance(1);
    TallySession::currentSession()->saveSession();
    TallySession::createActiveTallySession(NS("pages-key"));
    installed->navigationControllerDidShowViewController(nav, plain, true);
    EXPECT_EQ(TallySession::currentSession()->pageViewCount(), 1);
}

TEST_F(TallyPageViewDelegateTest, TabBarCallsArePassedOnAndTheAnswerKept) {
    auto tab = make<UITabBarController>();
    auto previous = make<Refusing>();
    tab->setDelegate(previous.get());
    auto made = TallyPageViewDelegate::createDelegateOnTarget(tab);
    ASSERT_TRUE(made);
    EXPECT_EQ(made->delegate().get(), previous.get());
    auto vc = make<UIViewController>();
    EXPECT_FALSE(tab->delegate()->tabBarControllerShouldSelectViewController(tab, vc));
    tab->delegate()->tabBarControllerDidSelectViewController(tab, vc);
    EXPECT_EQ(previous->asked, 1);
    EXPECT_EQ(previous->selected, 1);
    EXPECT_EQ(TallySession::currentSession()->pageViewCount(), 1);
}
