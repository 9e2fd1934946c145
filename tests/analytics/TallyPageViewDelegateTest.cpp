#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/Runtime.h"
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

// Records the customizing calls in order, and takes one call by name.
class Customizing : public NSObject, public UITabBarControllerDelegate {
    NS_OBJECT(Customizing, NSObject)
public:
    static void describeClass(RuntimeClass& c) { c.method("mark:", &Customizing::mark); }
    std::vector<std::string> calls;
    Ref<NSObject> marked;
    void mark(NSObject* what) { marked = what; }
    void tabBarControllerWillBeginCustomizingViewControllers(UITabBarController*,
                                                             NSArray* vcs) override {
        calls.push_back("willBegin " + std::to_string(vcs->count()));
    }
    void tabBarControllerWillEndCustomizingViewControllers(UITabBarController*, NSArray* vcs,
                                                           bool changed) override {
        calls.push_back("willEnd " + std::to_string(vcs->count()) + (changed ? " yes" : " no"));
    }
    void tabBarControllerDidEndCustomizingViewControllers(UITabBarController*, NSArray* vcs,
                                                          bool changed) override {
        calls.push_back("didEnd " + std::to_string(vcs->count()) + (changed ? " yes" : " no"));
        if (changed) NSException::raise(NSInternalInconsistencyException, NS("host fault"));
    }
};

class TallyPageViewDelegateTest : public ::testing::Test {
protected:
    ManualClockScope clock;
    void SetUp() override { TallySession::createActiveTallySession(NS("pages-key")); }
    void TearDown() override {
        NSFileManager::defaultManager()->removeItemAtPath(TallySession::currentSessionFilePath(),
                                                          nullptr);
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

TEST_F(TallyPageViewDelegateTest, CustomizingCallsArePassedOnAndTheCreationKept) {
    auto session = TallySession::currentSession();
    auto tab = make<UITabBarController>();
    auto previous = make<Customizing>();
    tab->setDelegate(previous.get());
    auto made = TallyPageViewDelegate::createDelegateOnTarget(tab);
    ASSERT_TRUE(made);
    EXPECT_EQ(made->session(), session);
    auto vcs =
        NSArray::arrayWithObjects({make<UIViewController>().get(), make<UIViewController>().get()});
    auto installed = tab->delegate();
    installed->tabBarControllerWillBeginCustomizingViewControllers(tab, vcs);
    installed->tabBarControllerWillEndCustomizingViewControllers(tab, vcs, true);
    installed->tabBarControllerDidEndCustomizingViewControllers(tab, vcs, false);
    // A throwing previous delegate is caught: the host's tab bar goes on.
    installed->tabBarControllerDidEndCustomizingViewControllers(tab, vcs, true);
    EXPECT_EQ(previous->calls, (std::vector<std::string>{"willBegin 2", "willEnd 2 yes",
                                                         "didEnd 2 no", "didEnd 2 yes"}));
    EXPECT_EQ(TallySession::currentSession()->pageViewCount(), 0);  // customizing counts none

    // Made directly, the delegate keeps what it is given.
    auto direct = make<TallyPageViewDelegate>(&TallyPageViewDelegate::initWithSession,
                                              session.get(), previous.get());
    EXPECT_EQ(direct->session(), session);
    EXPECT_EQ(direct->delegate().get(), previous.get());

    // An invocation on the previous delegate's named method carries its argument.
    auto invocation =
        TallyPageViewDelegate::createInvocationOnSelector(Selector::named("mark:"), previous);
    ASSERT_TRUE(invocation);
    EXPECT_EQ(invocation->target().get(), previous.get());
    invocation->setArgument(Value::ofObject(vcs), 2);
    invocation->invoke();
    EXPECT_EQ(previous->marked.get(), vcs.get());
    EXPECT_FALSE(
        TallyPageViewDelegate::createInvocationOnSelector(Selector::named("absent:"), previous));
}
