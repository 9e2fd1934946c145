#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UITabBarController.h"
#include "UIKit/UIView.h"
#include "support/RunLoopTesting.h"
#include "ui/core/DZModelViewController.h"
#include "ui/core/DZNavigationController.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZURLMap.h"
#include "ui/core/DZURLRequestQueue.h"
#include "ui/core/UIViewController+DZCategory.h"

namespace {

std::string text(NSString* s) {
    return s ? s->utf8() : std::string("(nil)");
}

// A plain platform screen made by the navigator.
class Screen : public UIViewController {
    NS_OBJECT(Screen, UIViewController)
    static void describeClass(RuntimeClass& c) {
        c.initializer("initWithItemId:", &Screen::initWithItemId)
            .initializer("initWithItem:query:", &Screen::initWithItemQuery)
            .method("mark", &Screen::mark);
    }
    bool initWithNavigatorURL(NSURL* url, NSDictionary* query) override {
        opened = url ? url->absoluteString() : nullptr;
        openedQuery = query;
        return UIViewController::initWithNavigatorURL(url, query);
    }
    bool initWithItemId(int itemId) {
        this->itemId = itemId;
        return initWithNibName(nullptr, nullptr);
    }
    bool initWithItemQuery(NSString* item, NSDictionary* query) {
        opened = item;
        openedQuery = query;
        return initWithNibName(nullptr, nullptr);
    }
    bool persistView(NSMutableDictionary* state) override {
        if (itemId) state->setObject(NSNumber::numberWithInt(itemId), NS("itemId"));
        if (important) state->setObject(NS("yes"), NS("__important__"));
        return true;
    }
    void restoreView(NSDictionary* state) override { restored = state; }
    void delayDidEnd() override { ++delayEnds; }
    void mark() { ++marks; }
    Ref<NSString> opened;
    Ref<NSDictionary> openedQuery;
    Ref<NSDictionary> restored;
    int itemId = 0;
    int delayEnds = 0;
    int marks = 0;
    bool important = false;
};

// An object whose URL the map generates, and one that answers its own.
class Listing : public NSObject {
    NS_OBJECT(Listing, NSObject)
    static void describeClass(RuntimeClass& c) { c.property("number", &Listing::number); }
    int number() { return 17; }
};

class OwnURL : public Listing {
    NS_OBJECT(OwnURL, Listing)
    Ref<NSString> URLValueWithName(NSString*) override { return NS("app://own"); }
};

// A model that records the loads it is asked for.
class CountingModel : public DZModel {
    NS_OBJECT(CountingModel, DZModel)
    bool isLoaded() override { return loaded; }
    void load(int32_t policy, bool more) override {
        loads.push_back(std::to_string(policy) + (more ? "+" : ""));
    }
    bool loaded = true;
    std::vector<std::string> loads;
};

class ModelScreen : public DZModelViewController {
    NS_OBJECT(ModelScreen, DZModelViewController)
    void createModel() override { setModel(make<CountingModel>()); }
};

class Observer : public NSObject, public DZNavigatorDelegate {
    NS_OBJECT(Observer, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"navigator:shouldOpenURL:", "navigator:URLToOpen:",
                      "navigator:willOpenURL:inViewController:"});
    }
    bool navigatorShouldOpenURL(DZBaseNavigator*, NSURL* url) override {
        asked.push_back(text(url->absoluteString()));
        return !refuse;
    }
    Ref<NSURL> navigatorURLToOpen(DZBaseNavigator*, NSURL* url) override { return Ref<NSURL>(url); }
    void navigatorWillOpenURLInViewController(DZBaseNavigator*, NSURL* url,
                                              UIViewController* c) override {
        opening.push_back(text(url->absoluteString()) + (c ? " controller" : " none"));
    }
    std::vector<std::string> asked, opening;
    bool refuse = false;
};

// Each test gets a new global navigator on a new key window.
class DZNavigatorTest : public testing::Test {
protected:
    void SetUp() override {
        DZBaseNavigator::setGlobalNavigator(nullptr);
        navigator = DZNavigator::navigator();
        window =
            make<DZNavigatorWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
        window->makeKeyAndVisible();
        navigator->setWindow(window);
        map = navigator->URLMap();
        UIApplication::sharedApplication()->clearOpenedURLs();
        DZURLRequestQueue::mainQueue()->setSuspended(false);
        collectAll();
    }
    void TearDown() override {
        navigator->removeAllViewControllers();
        DZBaseNavigator::setGlobalNavigator(nullptr);
        navigator->resetDefaults();
        collectAll();
    }
    // Empties the collections (and so stops their timers) between tests, so that each test's
    // timers run on its own clock.
    static void collectAll() {
        doNavigatorGarbageCollection();
        doCommonGarbageCollection();
    }
    Ref<UIViewController> open(const char* url, bool animated = false) {
        return navigator->openURLAction(
            DZURLAction::actionWithURLPath(NSString::stringWithUTF8String(url))
                ->applyAnimated(animated));
    }
    Ref<DZNavigator> navigator;
    Ref<DZNavigatorWindow> window;
    Ref<DZURLMap> map;
};

}  // namespace

TEST_F(DZNavigatorTest, EachModePresentsItsWay) {
    map->fromToViewController(NS("app://list"), Screen::staticClass());
    map->fromToViewController(NS("app://item/(initWithItemId)"), Screen::staticClass(),
                              Selector::named("initWithItemId:"));
    map->fromToSharedViewController(NS("app://shared"), Screen::staticClass());
    map->fromToModalViewController(NS("app://login"), Screen::staticClass());

    auto list = as<Screen>(open("app://list"));
    ASSERT_TRUE(list);
    // Only the universal pattern hands its URL to the initializer.
    EXPECT_EQ(nullptr, list->opened);
    // The first screen goes into a new framework navigation controller at the root.
    auto nav = as<DZNavigationController>(navigator->rootViewController());
    ASSERT_TRUE(nav);
    EXPECT_EQ(list, nav->topViewController());
    EXPECT_EQ("app://list", text(navigator->URL()));

    auto item = as<Screen>(open("app://item/12"));
    ASSERT_TRUE(item);
    EXPECT_EQ(12, item->itemId);
    EXPECT_EQ(item, nav->topViewController());
    EXPECT_EQ(2u, nav->viewControllers()->count());
    // Opening the controller on top again presents nothing.
    auto shared = open("app://shared");
    EXPECT_EQ(3u, nav->viewControllers()->count());
    EXPECT_EQ(shared, open("app://shared"));
    EXPECT_EQ(3u, nav->viewControllers()->count());
    // Mode 1 makes a new controller each time.
    EXPECT_NE(open("app://list"), list);
    EXPECT_EQ(4u, nav->viewControllers()->count());

    auto login = open("app://login");
    ASSERT_TRUE(login);
    auto presented = as<DZNavigationController>(
        nav->viewControllers()->lastObject()
            ? as<UIViewController>(nav->viewControllers()->lastObject())->modalViewController()
            : nullptr);
    ASSERT_TRUE(presented);
    EXPECT_EQ(login, presented->topViewController());
    EXPECT_EQ(login, navigator->visibleViewController());
    EXPECT_EQ(login, navigator->topViewController());
}

TEST_F(DZNavigatorTest, ParentURLsArePresentedFirst) {
    map->fromToViewController(NS("app://list"), Screen::staticClass());
    map->fromParentToViewController(NS("app://detail"), NS("app://list"), Screen::staticClass(),
                                    nullptr, 0);
    auto detail = open("app://detail");
    auto nav = as<UINavigationController>(navigator->rootViewController());
    ASSERT_TRUE(nav);
    ASSERT_EQ(2u, nav->viewControllers()->count());
    EXPECT_EQ("app://list",
              text(as<UIViewController>(nav->viewControllers()->objectAtIndex(0))->navigatorURL()));
    EXPECT_EQ(detail, nav->topViewController());
    EXPECT_EQ("1", text(navigator->pathForObject(detail)));
    EXPECT_EQ(detail, navigator->objectForPath(NS("1")));
    // A key that is no number answers the bottom controller; one past the end, nothing.
    EXPECT_EQ(nav->viewControllers()->objectAtIndex(0), nav->subcontrollerForKey(NS("x")).get());
    EXPECT_EQ(nullptr, nav->subcontrollerForKey(NS("2")));
    // The platform parent wins over a recorded super-controller.
    auto other = make<UIViewController>();
    setSuperController(detail, other);
    EXPECT_EQ(nav, superController(detail));
    setSuperController(detail, nullptr);
    EXPECT_EQ(as<UIViewController>(nav->viewControllers()->objectAtIndex(0)),
              dzPreviousViewController(detail));
    EXPECT_EQ(nullptr, nextViewController(detail));
}

TEST_F(DZNavigatorTest, AppURLsLeaveAndOthersAreCompleted) {
    auto observer = make<Observer>();
    navigator->setDelegate(observer.get());
    EXPECT_EQ(nullptr, open("tel:5551234"));
    auto opened = UIApplication::sharedApplication()->openedURLs();
    ASSERT_EQ(1u, opened->count());
    EXPECT_EQ("tel:5551234", text(as<NSURL>(opened->objectAtIndex(0))->absoluteString()));
    EXPECT_TRUE(observer->asked.empty());  // an app URL never reaches the delegate

    // No scheme: "http://" is added; with no controller nothing opens unless asked to.
    EXPECT_EQ(nullptr, open("www.bazaarnest.test/page"));
    ASSERT_EQ(1u, observer->asked.size());
    EXPECT_EQ("http://www.bazaarnest.test/page", observer->asked[0]);
    EXPECT_EQ(1u, UIApplication::sharedApplication()->openedURLs()->count());
    navigator->setOpensExternalURLs(true);
    open("www.bazaarnest.test/page");
    EXPECT_EQ(2u, UIApplication::sharedApplication()->openedURLs()->count());
    EXPECT_EQ("http://www.bazaarnest.test/page none", observer->opening.back());

    // A refusing delegate stops everything.
    observer->refuse = true;
    map->fromToViewController(NS("app://list"), Screen::staticClass());
    EXPECT_EQ(nullptr, open("app://list"));
    EXPECT_EQ(nullptr, navigator->rootViewController());
    navigator->setDelegate(nullptr);
}

TEST_F(DZNavigatorTest, BareFragmentsActOnTheCurrentScreenOnly) {
    // With no screen, a bare fragment opens nothing.
    EXPECT_EQ(nullptr, open("#mark"));
    map->fromToViewController(NS("app://list"), Screen::staticClass());
    auto list = as<Screen>(open("app://list"));
    EXPECT_EQ(list, open("#mark"));
    EXPECT_EQ(1, list->marks);
    EXPECT_EQ(list, open("app://list#mark"));
    EXPECT_EQ(2, list->marks);
}

TEST_F(DZNavigatorTest, DelayedControllersHearTheEndOfTheDelay) {
    map->fromToViewController(NS("app://list"), Screen::staticClass());
    map->fromToViewController(NS("app://model"), ModelScreen::staticClass());
    navigator->beginDelay();
    auto list = as<Screen>(open("app://list"));
    auto model = as<ModelScreen>(open("app://model"));
    ASSERT_TRUE(list && model);
    // While delayed the model screen stands by with the interstitial model.
    EXPECT_FALSE(is<CountingModel>(model->model()));
    EXPECT_TRUE(navigator->isDelayed());
    navigator->beginDelay();
    navigator->endDelay();
    EXPECT_EQ(0, list->delayEnds);
    navigator->endDelay();
    EXPECT_FALSE(navigator->isDelayed());
    EXPECT_EQ(1, list->delayEnds);
    EXPECT_TRUE(is<CountingModel>(model->model()));
    navigator->endDelay();  // nothing at zero
    EXPECT_EQ(1, list->delayEnds);

    // A cancelled delay tells nobody.
    navigator->beginDelay();
    auto other = as<Screen>(open("app://list"));
    navigator->cancelDelay();
    EXPECT_EQ(0, other->delayEnds);
}

TEST_F(DZNavigatorTest, HistoryIsSavedAndRestoredInModesOneAndTwo) {
    map->fromToViewController(NS("app://list"), Screen::staticClass());
    map->fromToViewController(NS("app://item/(initWithItemId)"), Screen::staticClass(),
                              Selector::named("initWithItemId:"));
    open("app://list");
    open("app://item/5");
    auto defaults = NSUserDefaults::standardUserDefaults();
    // Mode 0 saves nothing when the app leaves.
    UIApplication::sharedApplication()->performEnterBackground();
    EXPECT_EQ(nullptr, defaults->objectForKey(DZNavigatorHistoryKey));
    UIApplication::sharedApplication()->performEnterForeground();

    navigator->setPersistenceMode(DZNavigatorPersistenceModeAll);
    UIApplication::sharedApplication()->performEnterBackground();
    UIApplication::sharedApplication()->performEnterForeground();
    auto history = as<NSArray>(defaults->objectForKey(DZNavigatorHistoryKey));
    ASSERT_TRUE(history);
    ASSERT_EQ(2u, history->count());
    auto second = as<NSDictionary>(history->objectAtIndex(1));
    EXPECT_EQ("app://item/5", text(as<NSString>(second->objectForKey(NS("__navigatorURL__")))));
    EXPECT_EQ(5, as<NSNumber>(second->objectForKey(NS("itemId")))->intValue());
    EXPECT_EQ(0, as<NSNumber>(defaults->objectForKey(DZNavigatorHistoryImportantKey))->intValue());

    // A new navigator rebuilds the stack, handing each controller its saved state.
    navigator->removeAllViewControllers();
    DZBaseNavigator::setGlobalNavigator(nullptr);
    navigator = DZNavigator::navigator();
    navigator->setWindow(window);
    navigator->URLMap()->fromToViewController(NS("app://list"), Screen::staticClass());
    navigator->URLMap()->fromToViewController(NS("app://item/(initWithItemId)"),
                                              Screen::staticClass(),
                                              Selector::named("initWithItemId:"));
    navigator->setPersistenceMode(DZNavigatorPersistenceModeAll);
    auto last = as<Screen>(navigator->restoreViewControllers());
    ASSERT_TRUE(last);
    EXPECT_EQ(5, last->itemId);
    ASSERT_TRUE(last->restored);
    EXPECT_EQ(5, as<NSNumber>(last->restored->objectForKey(NS("itemId")))->intValue());
    EXPECT_EQ(last->frozenState(), nullptr);  // a plain controller keeps no frozen state
    auto nav = as<UINavigationController>(navigator->rootViewController());
    ASSERT_TRUE(nav);
    EXPECT_EQ(2u, nav->viewControllers()->count());
}

TEST_F(DZNavigatorTest, ExpiredHistoryIsDroppedUnlessImportantAndMalformedHistoryIgnored) {
    ManualClockScope clock;
    map->fromToViewController(NS("app://list"), Screen::staticClass());
    auto list = as<Screen>(open("app://list"));
    navigator->setPersistenceMode(DZNavigatorPersistenceModeTop);
    navigator->setPersistenceExpirationAge(60);
    navigator->persistViewControllers();
    advanceRunLoop(61);
    navigator->removeAllViewControllers();
    EXPECT_EQ(nullptr, navigator->restoreViewControllers());
    EXPECT_EQ(nullptr, navigator->rootViewController());

    open("app://list");
    as<Screen>(navigator->topViewController())->important = true;
    navigator->persistViewControllers();
    EXPECT_EQ(1, as<NSNumber>(NSUserDefaults::standardUserDefaults()->objectForKey(
                                  DZNavigatorHistoryImportantKey))
                     ->intValue());
    advanceRunLoop(61);
    navigator->removeAllViewControllers();
    EXPECT_TRUE(navigator->restoreViewControllers());

    // Entries that are not ours are skipped.
    navigator->removeAllViewControllers();
    NSUserDefaults::standardUserDefaults()->setObject(
        NSArray::arrayWithObjects({NS("junk"), NSDictionary::dictionary().get()}),
        DZNavigatorHistoryKey);
    NSUserDefaults::standardUserDefaults()->removeObjectForKey(DZNavigatorHistoryTimeKey);
    EXPECT_EQ(nullptr, navigator->restoreViewControllers());
    (void)list;
}

TEST_F(DZNavigatorTest, AShakeReloadsTheVisibleModelScreenOnlyWhenAsked) {
    map->fromToViewController(NS("app://model"), ModelScreen::staticClass());
    auto screen = as<ModelScreen>(open("app://model"));
    ASSERT_TRUE(screen);
    auto model = as<CountingModel>(screen->model());
    ASSERT_TRUE(model);
    model->loads.clear();
    UIApplication::sharedApplication()->performShake();
    EXPECT_TRUE(model->loads.empty());
    navigator->setSupportsShakeToReload(true);
    UIApplication::sharedApplication()->performShake();
    ASSERT_EQ(1u, model->loads.size());
    EXPECT_EQ("4", model->loads[0]);
}

TEST_F(DZNavigatorTest, ForgottenControllersAreCollectedWithinTwentySeconds) {
    ManualClockScope clock;
    map->fromToSharedViewController(NS("app://shared"), Screen::staticClass());
    map->fromToViewController(NS("app://list"), Screen::staticClass());
    open("app://list");
    Weak<UIViewController> watch;
    {
        auto shared = open("app://shared");
        watch = shared.get();
        EXPECT_EQ("app://shared", text(originalNavigatorURL(shared)));
        EXPECT_EQ(shared, map->objectForURL(NS("app://shared")));
        // Still held by the stack: kept through a collection.
        advanceRunLoop(20);
        EXPECT_EQ("app://shared", text(originalNavigatorURL(shared)));
        as<UINavigationController>(navigator->rootViewController())
            ->popViewControllerAnimated(false);
    }
    EXPECT_TRUE(watch.lock());  // the collection set holds it
    EXPECT_TRUE(dzNavigatorCollectionScheduled());
    advanceRunLoop(20);
    EXPECT_FALSE(watch.lock());
    EXPECT_EQ(1u, dzNavigatorControllers()->count());  // only the list screen is left
    // A collection that empties its set stops its timer.
    navigator->removeAllViewControllers();
    advanceRunLoop(20);
    EXPECT_FALSE(dzNavigatorCollectionScheduled());
}

TEST_F(DZNavigatorTest, PopupLinksAreWeakAndCommonControllersAreCollected) {
    ManualClockScope clock;
    auto parent = make<UIViewController>();
    Weak<UIViewController> watch;
    {
        auto child = make<UIViewController>();
        watch = child.get();
        setSuperController(child, parent);
        setPopupViewController(parent, child);
        EXPECT_EQ(parent, superController(child));
        EXPECT_EQ(child, popupViewController(parent));
    }
    EXPECT_TRUE(watch.lock());
    advanceRunLoop(20);
    EXPECT_FALSE(watch.lock());
    EXPECT_EQ(nullptr, popupViewController(parent));  // zeroing
    // The parent is still held here, so its entry and the timer stay.
    advanceRunLoop(20);
    EXPECT_TRUE(dzCommonCollectionScheduled());
    Weak<UIViewController> parentWatch(parent.get());
    parent = nullptr;
    advanceRunLoop(20);
    EXPECT_FALSE(parentWatch.lock());
    EXPECT_FALSE(dzCommonCollectionScheduled());
}

// The reset between tests lets go of the collected controllers, their links and the timer:
// nothing of one test is collected in the next one's time.
TEST_F(DZNavigatorTest, TheResetBetweenTestsEmptiesTheCollections) {
    ManualClockScope clock;
    auto parent = make<UIViewController>();
    auto child = make<UIViewController>();
    setSuperController(child, parent);
    EXPECT_TRUE(dzCommonCollectionScheduled());
    EXPECT_GT(dzCommonControllers()->count(), 0u);
    resetProcessWideInstances();
    EXPECT_FALSE(dzCommonCollectionScheduled());
    EXPECT_EQ(dzCommonControllers()->count(), 0u);
    EXPECT_EQ(nullptr, superController(child));
}

TEST_F(DZNavigatorTest, TransitionsInvertOnPopAndHoldTheQueue) {
    ManualClockScope clock;
    EXPECT_EQ(UIViewAnimationTransitionFlipFromRight,
              DZBaseNavigationController::invertTransition(UIViewAnimationTransitionFlipFromLeft));
    EXPECT_EQ(UIViewAnimationTransitionCurlDown,
              DZBaseNavigationController::invertTransition(UIViewAnimationTransitionCurlUp));
    EXPECT_EQ(UIViewAnimationTransitionNone, DZBaseNavigationController::invertTransition(
                                                 static_cast<UIViewAnimationTransition>(9)));

    map->fromToViewController(NS("app://list"), Screen::staticClass());
    map->fromToViewControllerTransition(NS("app://flip"), Screen::staticClass(),
                                        UIViewAnimationTransitionFlipFromLeft);
    open("app://list");
    auto nav = as<DZNavigationController>(navigator->rootViewController());
    ASSERT_TRUE(nav);
    auto queue = DZURLRequestQueue::mainQueue();
    auto flip = open("app://flip", true);
    EXPECT_EQ(flip, nav->topViewController());
    EXPECT_EQ(UIViewAnimationTransitionFlipFromLeft, nav->view()->lastTransition());
    EXPECT_TRUE(queue->suspended());
    advanceRunLoop(0.69);
    EXPECT_TRUE(queue->suspended());
    advanceRunLoop(0.02);
    EXPECT_FALSE(queue->suspended());

    nav->popViewControllerAnimated(true);
    EXPECT_EQ(UIViewAnimationTransitionFlipFromRight, nav->view()->lastTransition());
    EXPECT_TRUE(queue->suspended());
    advanceRunLoop(0.71);
    EXPECT_FALSE(queue->suspended());
    EXPECT_EQ(1u, nav->viewControllers()->count());
}

TEST_F(DZNavigatorTest, TabURLsBecomeTabsInNavigationControllers) {
    map->fromToViewController(NS("app://a"), Screen::staticClass());
    map->fromToViewController(NS("app://tabs"), UITabBarController::staticClass(),
                              Selector::named("init"));
    auto tabs = make<UITabBarController>();
    setTabURLs(tabs, NSArray::arrayWithObjects({NS("app://a"), NS("app://none")}));
    ASSERT_EQ(1u, tabs->viewControllers()->count());
    auto first = as<DZNavigationController>(tabs->viewControllers()->objectAtIndex(0));
    ASSERT_TRUE(first);
    EXPECT_TRUE(is<Screen>(first->topViewController()));
}

TEST_F(DZNavigatorTest, AButtonReachesTheControllerThroughTheTrailingQueryArgument) {
    map->fromToViewController(NS("app://item/(initWithItem)"), Screen::staticClass());
    auto button = make<NSObject>();
    auto screen = as<Screen>(openURLFromButton(NS("app://item/lamp?color=red"), button));
    ASSERT_TRUE(screen);
    EXPECT_EQ("lamp", text(screen->opened));
    ASSERT_TRUE(screen->openedQuery);
    EXPECT_EQ(button, screen->openedQuery->objectForKey(NS("__target__")));
    EXPECT_EQ("red", text(as<NSString>(screen->openedQuery->objectForKey(NS("color")))));
    // The framework's own controllers clean up after themselves and are never listed.
    map->fromToViewController(NS("app://model"), ModelScreen::staticClass());
    size_t listed = dzNavigatorControllers()->count();
    auto model = open("app://model");
    EXPECT_EQ("app://model", text(model->navigatorURL()));
    EXPECT_EQ(listed, dzNavigatorControllers()->count());
}

TEST_F(DZNavigatorTest, AControllerInBothCollectionsIsCollectedToo) {
    ManualClockScope clock;
    auto parent = make<UIViewController>();
    Weak<UIViewController> watch;
    {
        auto child = make<UIViewController>();
        watch = child.get();
        setSuperController(child, parent);
        setOriginalNavigatorURL(child, NS("app://child"));
    }
    EXPECT_TRUE(watch.lock());
    advanceRunLoop(20);
    EXPECT_FALSE(watch.lock());
    EXPECT_FALSE(dzNavigatorCollectionScheduled());
}

TEST_F(DZNavigatorTest, ObjectsAnswerTheirURLsFromTheNavigatorsMap) {
    auto listing = make<Listing>();
    EXPECT_EQ(nullptr, listing->URLValue());
    map->fromToURL(Listing::staticClass(), NS("app://listing/(number)"));
    map->fromNameToURL(Listing::staticClass(), NS("edit"), NS("app://edit/(number)"));
    EXPECT_EQ("app://listing/17", text(listing->URLValue()));
    EXPECT_EQ("app://edit/17", text(listing->URLValueWithName(NS("edit"))));
    EXPECT_EQ("app://own", text(make<OwnURL>()->URLValue()));
    // The string side: the object stored under a URL.
    map->fromToSharedViewController(NS("app://shared"), Screen::staticClass());
    auto shared = objectValue(NS("app://shared"));
    EXPECT_TRUE(is<Screen>(shared));
    EXPECT_EQ(shared, objectValue(NS("app://shared")));
}
