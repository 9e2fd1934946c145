// Life-cycle order of view controllers through windows, navigation stacks, tabs, modal
// presentation and memory warnings.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UITabBar.h"
#include "UIKit/UITabBarController.h"
#include "platform/UIKit/ControllerTesting.h"
#include "support/FoundationTesting.h"

namespace {

using Calls = std::vector<std::string>;

Ref<UINavigationController> navigationOn(UIViewController* root) {
    return make<UINavigationController>(&UINavigationController::initWithRootViewController, root);
}

class NavDelegate : public NSObject, public UINavigationControllerDelegate {
    NS_OBJECT(NavDelegate, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"navigationController:willShowViewController:animated:",
                      "navigationController:didShowViewController:animated:"});
    }
    CallLog* log = nullptr;
    void navigationControllerWillShowViewController(UINavigationController*, UIViewController* c,
                                                    bool) override {
        log->push_back("willShow:" + static_cast<RecordingController*>(c)->name);
    }
    void navigationControllerDidShowViewController(UINavigationController*, UIViewController* c,
                                                   bool) override {
        log->push_back("didShow:" + static_cast<RecordingController*>(c)->name);
    }
};

class TabDelegate : public NSObject, public UITabBarControllerDelegate {
    NS_OBJECT(TabDelegate, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"tabBarController:shouldSelectViewController:",
                      "tabBarController:didSelectViewController:"});
    }
    CallLog* log = nullptr;
    bool refuseSelected = true;
    bool tabBarControllerShouldSelectViewController(UITabBarController* tabs,
                                                    UIViewController* c) override {
        log->push_back("shouldSelect");
        return !(refuseSelected && tabs->selectedViewController().get() == c);
    }
    void tabBarControllerDidSelectViewController(UITabBarController*, UIViewController*) override {
        log->push_back("didSelect");
    }
};

TEST(UIViewController, ViewLoadsOnceAndFollowsTheWindow) {
    CallLog log;
    auto window = keyWindow();
    auto a = recorder("A", log);
    EXPECT_FALSE(a->isViewLoaded());
    auto view = a->view();
    EXPECT_EQ(a->view().get(), view.get());     // loaded once
    EXPECT_EQ(view->frame().size.height, 460);  // the application frame under the status bar
    window->addSubview(view);
    view->removeFromSuperview();
    EXPECT_EQ(log, (Calls{"A.viewDidLoad", "A.viewWillAppear:0", "A.viewDidAppear:0",
                          "A.viewWillDisappear:0", "A.viewDidDisappear:0"}));
    EXPECT_EQ(a->appearance(), UIViewControllerDisappeared);
}

TEST(UIViewController, NavigationStackOrderThroughPushAndPop) {
    CallLog log;
    auto window = keyWindow();
    auto a = recorder("A", log), b = recorder("B", log), c = recorder("C", log);
    auto nav = navigationOn(a.get());
    auto delegate = make<NavDelegate>();
    delegate->log = &log;
    nav->setDelegate(delegate);
    window->addSubview(nav->view());
    EXPECT_EQ(log, (Calls{"A.viewDidLoad", "willShow:A", "A.viewWillAppear:0", "A.viewDidAppear:0",
                          "didShow:A"}));

    log.clear();
    nav->pushViewController(b, true);
    EXPECT_EQ(log,
              (Calls{"willShow:B", "A.viewWillDisappear:1", "B.viewDidLoad", "B.viewWillAppear:1",
                     "A.viewDidDisappear:1", "B.viewDidAppear:1", "didShow:B"}));
    EXPECT_EQ(b->navigationController().get(), nav.get());
    EXPECT_EQ(b->parentViewController().get(), nav.get());
    // The top view sits between the bars.
    EXPECT_EQ(b->view()->superview().get(), nav->view().get());
    EXPECT_EQ(b->view()->frame().origin.y, 44);
    EXPECT_FALSE(a->isViewVisible());

    nav->pushViewController(c, false);
    log.clear();
    // Popping to the root: only the top and the new top hear of it; B is passed over.
    auto popped = nav->popToRootViewControllerAnimated(true);
    ASSERT_EQ(popped->count(), 2u);
    EXPECT_EQ(log, (Calls{"willShow:A", "C.viewWillDisappear:1", "A.viewWillAppear:1",
                          "C.viewDidDisappear:1", "A.viewDidAppear:1", "didShow:A"}));
    EXPECT_EQ(b->parentViewController(), nullptr);
    EXPECT_EQ(nav->popViewControllerAnimated(true), nullptr);  // the root stays

    EXPECT_EQ(raisedName([&] { nav->pushViewController(a, false); }), "NSInvalidArgumentException");
    EXPECT_EQ(raisedName([&] { nav->popToViewController(b, false); }),
              "NSInternalInconsistencyException");
}

TEST(UIViewController, BackButtonPopsAndBarShowsTheStack) {
    CallLog log;
    auto window = keyWindow();
    auto a = recorder("A", log), b = recorder("B", log);
    a->setTitle(NS("Root"));
    b->setTitle(NS("Detail"));
    auto nav = navigationOn(a.get());
    window->addSubview(nav->view());
    nav->pushViewController(b, false);
    EXPECT_EQ(nav->navigationBar()->items()->count(), 2u);
    EXPECT_EQ(text(nav->navigationBar()->topItem()->title()), "Detail");
    log.clear();
    EXPECT_TRUE(nav->goBack());
    EXPECT_EQ(nav->topViewController().get(), a.get());
    EXPECT_EQ(nav->navigationBar()->items()->count(), 1u);
    EXPECT_EQ(log, (Calls{"B.viewWillDisappear:1", "A.viewWillAppear:1", "B.viewDidDisappear:1",
                          "A.viewDidAppear:1"}));
    EXPECT_FALSE(nav->goBack());

    // A hidden bar gives the content the whole height.
    nav->setNavigationBarHidden(true);
    EXPECT_EQ(a->view()->frame().origin.y, 0);
    EXPECT_EQ(a->view()->frame().size.height, nav->view()->bounds().size.height);
}

// A screen that asks for the whole screen lies under see-through bars, from the window's top
// (the container itself sits below the status bar), and stays there while the bars hide; under
// an opaque bar it starts below the bar.
TEST(UIViewController, AFullScreenLayoutLiesUnderSeeThroughBars) {
    CallLog log;
    auto window = keyWindow();
    auto a = recorder("A", log), b = recorder("B", log);
    b->setWantsFullScreenLayout(true);
    auto nav = navigationOn(a.get());
    window->addSubview(nav->view());
    ASSERT_EQ(nav->view()->frame().origin.y, 20);
    nav->navigationBar()->setBarStyle(UIBarStyleBlackTranslucent);
    nav->pushViewController(b, false);
    using Frame = std::vector<CGFloat>;
    auto windowFrame = [](UIViewController* c) {
        CGRect r = c->view()->superview()->convertRect(c->view()->frame(), nullptr);
        return Frame{r.origin.x, r.origin.y, r.size.width, r.size.height};
    };
    auto inWindow = [&] { return windowFrame(b.get()); };
    EXPECT_EQ(inWindow(), (Frame{0, 0, 320, 480}));
    nav->setNavigationBarHidden(true);
    EXPECT_EQ(inWindow(), (Frame{0, 0, 320, 480}));
    // The layout follows the bar's style by itself.
    nav->setNavigationBarHidden(false);
    nav->navigationBar()->setBarStyle(UIBarStyleDefault);
    EXPECT_EQ(inWindow(), (Frame{0, 64, 320, 416}));
    nav->navigationBar()->setTranslucent(true);
    EXPECT_EQ(inWindow(), (Frame{0, 0, 320, 480}));
    // The status bar hiding as the bars go, the screen keeps the room under it.
    auto app = UIApplication::sharedApplication();
    app->setStatusBarHidden(true);
    nav->setNavigationBarHidden(true);
    EXPECT_EQ(inWindow(), (Frame{0, 0, 320, 480}));
    EXPECT_EQ(nav->statusBarInset(), 0);
    nav->setNavigationBarHidden(false);
    app->setStatusBarHidden(false);
    nav->navigationBar()->setTranslucent(false);
    EXPECT_EQ(inWindow(), (Frame{0, 64, 320, 416}));
    // A screen with the ordinary layout stays between the bars, even see-through ones.
    nav->popViewControllerAnimated(false);
    nav->navigationBar()->setTranslucent(true);
    EXPECT_EQ(windowFrame(a.get()), (Frame{0, 64, 320, 416}));
}

TEST(UIViewController, ModalPresentationCoversAndRestoresTheScreen) {
    CallLog log;
    auto window = keyWindow();
    auto a = recorder("A", log), m = recorder("M", log), m2 = recorder("M2", log);
    auto nav = navigationOn(a.get());
    window->addSubview(nav->view());
    log.clear();

    a->presentModalViewController(m, true);
    EXPECT_EQ(log, (Calls{"M.viewDidLoad", "A.viewWillDisappear:1", "M.viewWillAppear:1",
                          "A.viewDidDisappear:1", "M.viewDidAppear:1"}));
    EXPECT_EQ(a->modalViewController().get(), m.get());
    EXPECT_EQ(m->presentingViewController().get(), a.get());
    EXPECT_EQ(nav->visibleViewController().get(), m.get());
    EXPECT_EQ(m->view()->window().get(), window.get());
    EXPECT_EQ(nav->view()->window(), nullptr);  // the covered screen leaves the window

    // A second presentation stacks on the first.
    a->presentModalViewController(m2, false);
    EXPECT_EQ(m->modalViewController().get(), m2.get());
    EXPECT_EQ(raisedName([&] { a->presentModalViewController(m2, false); }),
              "NSInvalidArgumentException");

    // The top modal asks to go: the request reaches its presenter.
    log.clear();
    m2->dismissModalViewControllerAnimated(false);
    EXPECT_EQ(log, (Calls{"M2.viewWillDisappear:0", "M.viewWillAppear:0", "M2.viewDidDisappear:0",
                          "M.viewDidAppear:0"}));
    EXPECT_EQ(m2->presentingViewController(), nullptr);

    // Dismissing from below takes the whole stack away and brings the navigation back.
    m->presentModalViewController(m2, false);
    log.clear();
    nav->dismissModalViewControllerAnimated(true);
    EXPECT_EQ(log, (Calls{"M2.viewWillDisappear:1", "A.viewWillAppear:1", "M2.viewDidDisappear:1",
                          "A.viewDidAppear:1"}));
    EXPECT_EQ(a->modalViewController(), nullptr);
    EXPECT_EQ(nav->view()->window().get(), window.get());
    EXPECT_EQ(m->view()->window(), nullptr);
}

TEST(UIViewController, ModalOverTabsReturnsWhenItsOwnChildAsks) {
    CallLog log;
    auto window = keyWindow();
    auto s = recorder("S", log), f = recorder("F", log), r = recorder("R", log);
    auto tabs = make<UITabBarController>();
    tabs->setViewControllers(NSArray::arrayWithObjects({s.get(), f.get()}));
    window->addSubview(tabs->view());
    auto modalNav =
        make<UINavigationController>(&UINavigationController::initWithRootViewController, r.get());
    log.clear();
    s->presentModalViewController(modalNav, true);
    // The presented navigation loads its top view when it comes on screen.
    EXPECT_EQ(log, (Calls{"S.viewWillDisappear:1", "R.viewDidLoad", "R.viewWillAppear:1",
                          "S.viewDidDisappear:1", "R.viewDidAppear:1"}));
    EXPECT_EQ(tabs->view()->window(), nullptr);
    EXPECT_EQ(r->navigationController().get(), modalNav.get());

    // The controller inside the presented navigation asks: the request climbs to the
    // presenter, and the tabs come back where they were.
    log.clear();
    r->dismissModalViewControllerAnimated(true);
    EXPECT_EQ(log, (Calls{"R.viewWillDisappear:1", "S.viewWillAppear:1", "R.viewDidDisappear:1",
                          "S.viewDidAppear:1"}));
    EXPECT_EQ(window->subviewList().front().get(), tabs->view().get());

    // New tabs keep the selected controller selected.
    tabs->setSelectedIndex(1);
    tabs->setViewControllers(NSArray::arrayWithObjects({f.get(), s.get()}));
    EXPECT_EQ(tabs->selectedViewController().get(), f.get());
    EXPECT_EQ(tabs->selectedIndex(), 0u);
}

TEST(UIViewController, TabSwitchesAskTheDelegateAndForwardAppearance) {
    CallLog log;
    auto window = keyWindow();
    auto s = recorder("S", log), f = recorder("F", log), p = recorder("P", log),
         detail = recorder("D", log);
    auto postNav =
        make<UINavigationController>(&UINavigationController::initWithRootViewController, p.get());
    auto tabs = make<UITabBarController>();
    auto delegate = make<TabDelegate>();
    delegate->log = &log;
    tabs->setDelegate(delegate);
    tabs->setViewControllers(NSArray::arrayWithObjects({s.get(), f.get(), postNav.get()}));
    window->addSubview(tabs->view());
    EXPECT_EQ(log, (Calls{"S.viewDidLoad", "S.viewWillAppear:0", "S.viewDidAppear:0"}));
    EXPECT_EQ(tabs->tabBar()->items()->count(), 3u);

    log.clear();
    EXPECT_TRUE(tabs->userSelectTabAtIndex(2));
    EXPECT_EQ(log,
              (Calls{"shouldSelect", "S.viewWillDisappear:0", "P.viewDidLoad", "P.viewWillAppear:0",
                     "S.viewDidDisappear:0", "P.viewDidAppear:0", "didSelect"}));
    EXPECT_EQ(tabs->selectedIndex(), 2u);
    EXPECT_EQ(p->tabBarController().get(), tabs.get());

    // A pushed controller that hides the bottom bar hides the tab bar while it is pushed.
    detail->setHidesBottomBarWhenPushed(true);
    postNav->pushViewController(detail, false);
    EXPECT_TRUE(tabs->tabBar()->isHidden());
    postNav->popViewControllerAnimated(false);
    EXPECT_FALSE(tabs->tabBar()->isHidden());

    // Refused: tapping the selected tab keeps its stack.
    postNav->pushViewController(detail, false);
    log.clear();
    EXPECT_FALSE(tabs->userSelectTabAtIndex(2));
    EXPECT_EQ(log, (Calls{"shouldSelect"}));
    EXPECT_EQ(postNav->viewControllers()->count(), 2u);
    // Allowed: the second tap on a navigation tab returns it to its root.
    delegate->refuseSelected = false;
    EXPECT_TRUE(tabs->userSelectTabAtIndex(2));
    EXPECT_EQ(postNav->viewControllers()->count(), 1u);

    // Selecting by program asks nobody.
    log.clear();
    tabs->setSelectedIndex(1);
    EXPECT_EQ(log.front(), "P.viewWillDisappear:0");
    EXPECT_EQ(std::count(log.begin(), log.end(), "shouldSelect"), 0);
}

// Tabs set up while the tab controller's view loads, as a root screen does.
class TabsMadeOnLoad : public UITabBarController {
    NS_OBJECT(TabsMadeOnLoad, UITabBarController)
    CallLog* log = nullptr;
    Ref<RecordingController> first;
    void viewDidLoad() override {
        log->push_back("Tabs.viewDidLoad");
        first = recorder("First", *log);
        setViewControllers(NSArray::arrayWithObject(first));
    }
    void viewWillAppear(bool) override { log->push_back("Tabs.viewWillAppear"); }
    void viewDidAppear(bool) override { log->push_back("Tabs.viewDidAppear"); }
};

TEST(UIViewController, ChildrenMadeWhileTheContainerLoadsAppearWithIt) {
    CallLog log;
    auto window = keyWindow();
    auto tabs = make<TabsMadeOnLoad>();
    tabs->log = &log;
    window->addSubview(tabs->view());
    EXPECT_EQ(log,
              (Calls{"Tabs.viewDidLoad", "First.viewDidLoad", "Tabs.viewWillAppear",
                     "First.viewWillAppear:0", "Tabs.viewDidAppear", "First.viewDidAppear:0"}));
}

TEST(UIViewController, MemoryWarningDropsOnlyViewsOffScreen) {
    CallLog log;
    auto window = keyWindow();
    auto a = recorder("A", log), b = recorder("B", log);
    auto nav = navigationOn(a.get());
    window->addSubview(nav->view());
    nav->pushViewController(b, false);
    log.clear();
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationDidReceiveMemoryWarningNotification, nullptr);
    EXPECT_EQ(log, (Calls{"A.viewDidUnload"}));
    EXPECT_FALSE(a->isViewLoaded());
    EXPECT_TRUE(b->isViewLoaded());
    EXPECT_TRUE(nav->isViewLoaded());

    // Coming back loads the view again before it appears.
    log.clear();
    nav->popViewControllerAnimated(false);
    EXPECT_EQ(log, (Calls{"B.viewWillDisappear:0", "A.viewDidLoad", "A.viewWillAppear:0",
                          "B.viewDidDisappear:0", "A.viewDidAppear:0"}));
}

// A full-screen view that takes the window's views away and later puts them back (as an ad's
// splash does): a memory warning in between lets the controllers' views go, and the one put
// back makes way for its controller's fresh view, with the selected tab's view inside it.
TEST(UIViewController, ViewPutBackAfterAMemoryWarningShowsItsControllerAgain) {
    CallLog log;
    auto window = keyWindow();
    auto a = recorder("A", log);
    auto nav = navigationOn(a.get());
    auto tabs = make<UITabBarController>();
    tabs->setViewControllers(NSArray::arrayWithObjects({nav.get()}), false);
    window->setRootViewController(tabs);
    Ref<UIView> kept = tabs->view();
    kept->removeFromSuperview();
    auto cover = make<UIView>(&UIView::initWithFrame, window->bounds());
    window->addSubview(cover);
    log.clear();
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationDidReceiveMemoryWarningNotification, nullptr);
    EXPECT_FALSE(tabs->isViewLoaded());
    EXPECT_FALSE(a->isViewLoaded());

    cover->removeFromSuperview();
    window->addSubview(kept);
    EXPECT_FALSE(kept->superview());
    ASSERT_TRUE(tabs->isViewLoaded());
    EXPECT_EQ(tabs->view()->window(), window);
    EXPECT_EQ(tabs->tabBar()->window(), window);
    ASSERT_TRUE(a->isViewLoaded());
    EXPECT_EQ(a->view()->window(), window);
    EXPECT_EQ(log, (Calls{"A.viewDidUnload", "A.viewDidLoad", "A.viewWillAppear:0",
                          "A.viewDidAppear:0"}));
    EXPECT_EQ(UIViewController::visibleViewControllers()->count(), 3u);
}

TEST(UIViewController, TitleReachesItemsAndEditButtonToggles) {
    auto c = make<UIViewController>();
    auto item = c->navigationItem();
    c->setTitle(NS("Search"));
    EXPECT_EQ(text(item->title()), "Search");
    EXPECT_EQ(text(c->tabBarItem()->title()), "Search");
    auto edit = c->editButtonItem();
    EXPECT_EQ(text(edit->title()), "Edit");
    edit->sendAction();
    EXPECT_TRUE(c->isEditing());
    EXPECT_EQ(text(edit->title()), "Done");
}

TEST(UIViewController, RotationFollowsWhatTheControllersAllow) {
    CallLog log;
    auto window = keyWindow();
    auto a = recorder("A", log);
    auto nav = navigationOn(a.get());
    window->addSubview(nav->view());
    // The base allows portrait only; the top controller decides for its navigation controller.
    EXPECT_FALSE(nav->rotateToInterfaceOrientation(UIInterfaceOrientationLandscapeLeft, 0));
    EXPECT_EQ(nav->interfaceOrientation(), UIInterfaceOrientationPortrait);
}

class TurningController : public RecordingController {
    NS_OBJECT(TurningController, RecordingController)
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation) override { return true; }
};

// The phone's turn goes to the window's content and what is presented over it; a controller's
// view laid over that content by other code (a popup) turns only when the content turns, so
// that it never stands sideways over an upright screen and keyboard.
TEST(UIViewController, TheDeviceTurnsTheWindowsContentNotAViewLaidOverIt) {
    CallLog log;
    auto window = keyWindow();
    auto a = recorder("A", log);
    auto nav = navigationOn(a.get());
    window->setRootViewController(nav);
    auto over = make<TurningController>();
    window->addSubview(over->view());
    auto app = UIApplication::sharedApplication();
    auto device = UIDevice::currentDevice();
    device->beginGeneratingDeviceOrientationNotifications();
    device->setOrientation(UIDeviceOrientationLandscapeLeft);
    EXPECT_EQ(over->interfaceOrientation(), UIInterfaceOrientationPortrait);
    EXPECT_EQ(app->statusBarOrientation(), UIInterfaceOrientationPortrait);
    over->view()->removeFromSuperview();

    // Presented, the same controller decides for the screen.
    device->setOrientation(UIDeviceOrientationPortrait);
    auto presented = make<TurningController>();
    nav->presentModalViewController(presented, false);
    device->setOrientation(UIDeviceOrientationLandscapeLeft);
    // The device turned left stands the interface on its right side.
    EXPECT_EQ(presented->interfaceOrientation(), UIInterfaceOrientationLandscapeRight);
    EXPECT_EQ(app->statusBarOrientation(), UIInterfaceOrientationLandscapeRight);
    // Turned whole inside the screen: a quarter turn, landscape in size, the status bar's strip
    // along the screen's right edge left free.
    auto turned = presented->view();
    EXPECT_TRUE(CGSizeEqualToSize(turned->bounds().size, CGSizeMake(480, 300)));
    EXPECT_TRUE(CGRectEqualToRect(turned->frame(), CGRectMake(0, 0, 300, 480)));
    EXPECT_TRUE(CGRectEqualToRect(turned->convertRect(turned->bounds(), nullptr),
                                  CGRectMake(0, 0, 300, 480)));
    // Closed while turned, the screen under it allows only upright: the interface, the status
    // bar and the content go back upright.
    nav->dismissModalViewControllerAnimated(false);
    EXPECT_EQ(nav->interfaceOrientation(), UIInterfaceOrientationPortrait);
    EXPECT_EQ(app->statusBarOrientation(), UIInterfaceOrientationPortrait);
    EXPECT_TRUE(CGAffineTransformIsIdentity(nav->view()->transform()));
    EXPECT_TRUE(CGRectEqualToRect(nav->view()->frame(), CGRectMake(0, 20, 320, 460)));
    // Presented again, it comes upright too, and back upright when the phone is.
    device->setOrientation(UIDeviceOrientationPortrait);
    nav->presentModalViewController(presented, false);
    EXPECT_TRUE(CGAffineTransformIsIdentity(turned->transform()));
    EXPECT_TRUE(CGRectEqualToRect(turned->frame(), CGRectMake(0, 20, 320, 460)));
    nav->dismissModalViewControllerAnimated(false);
    device->endGeneratingDeviceOrientationNotifications();
}

// A screen presented over a turned one comes turned when it allows that, else upright, the
// status bar with it.
TEST(UIViewController, APresentedScreenTakesAnOrientationItAllows) {
    CallLog log;
    auto window = keyWindow();
    auto root = make<TurningController>();
    window->setRootViewController(root);
    auto app = UIApplication::sharedApplication();
    auto device = UIDevice::currentDevice();
    device->beginGeneratingDeviceOrientationNotifications();
    device->setOrientation(UIDeviceOrientationLandscapeRight);
    EXPECT_EQ(app->statusBarOrientation(), UIInterfaceOrientationLandscapeLeft);
    EXPECT_TRUE(CGRectEqualToRect(root->view()->frame(), CGRectMake(20, 0, 300, 480)));
    auto upright = make<RecordingController>();
    root->presentModalViewController(upright, false);
    EXPECT_EQ(upright->interfaceOrientation(), UIInterfaceOrientationPortrait);
    EXPECT_EQ(app->statusBarOrientation(), UIInterfaceOrientationPortrait);
    EXPECT_TRUE(CGRectEqualToRect(upright->view()->frame(), CGRectMake(0, 20, 320, 460)));
    // Closed, the turned screen under it turns with the phone again.
    root->dismissModalViewControllerAnimated(false);
    EXPECT_EQ(root->interfaceOrientation(), UIInterfaceOrientationLandscapeLeft);
    EXPECT_EQ(app->statusBarOrientation(), UIInterfaceOrientationLandscapeLeft);
    EXPECT_TRUE(CGRectEqualToRect(root->view()->frame(), CGRectMake(20, 0, 300, 480)));
    auto turning = make<TurningController>();
    root->presentModalViewController(turning, false);
    EXPECT_EQ(turning->interfaceOrientation(), UIInterfaceOrientationLandscapeLeft);
    EXPECT_TRUE(CGRectEqualToRect(turning->view()->frame(), CGRectMake(20, 0, 300, 480)));
    root->dismissModalViewControllerAnimated(false);
    device->setOrientation(UIDeviceOrientationPortrait);
    EXPECT_EQ(app->statusBarOrientation(), UIInterfaceOrientationPortrait);
    EXPECT_TRUE(CGRectEqualToRect(root->view()->frame(), CGRectMake(0, 20, 320, 460)));
    device->endGeneratingDeviceOrientationNotifications();
    window->setRootViewController(nullptr);
}

// The content's view let go on a memory warning while turned with the phone and put back by
// whoever kept it: the fresh view stands turned as the old one did, whole inside the screen.
TEST(UIViewController, AViewMadeAgainForOneLetGoWhileTurnedStandsTurned) {
    auto window = keyWindow();
    auto root = make<TurningController>();
    window->setRootViewController(root);
    auto device = UIDevice::currentDevice();
    device->beginGeneratingDeviceOrientationNotifications();
    device->setOrientation(UIDeviceOrientationLandscapeLeft);
    Ref<UIView> kept = root->view();
    kept->removeFromSuperview();
    UIApplication::sharedApplication()->performMemoryWarning();
    ASSERT_FALSE(root->isViewLoaded());
    window->addSubview(kept);
    ASSERT_TRUE(root->isViewLoaded());
    auto fresh = root->view();
    EXPECT_EQ(fresh->window(), window);
    EXPECT_FALSE(CGAffineTransformIsIdentity(fresh->transform()));
    EXPECT_TRUE(CGSizeEqualToSize(fresh->bounds().size, CGSizeMake(480, 300)));
    EXPECT_TRUE(CGRectEqualToRect(fresh->frame(), CGRectMake(0, 0, 300, 480)));
    device->setOrientation(UIDeviceOrientationPortrait);
    EXPECT_TRUE(CGRectEqualToRect(fresh->frame(), CGRectMake(0, 20, 320, 460)));
    device->endGeneratingDeviceOrientationNotifications();
    window->setRootViewController(nullptr);
}

// Every path that puts a view back into a window while the phone is turned leaves the window's
// content where the orientation it shows puts it: a listing in a stack in a tab, upright only,
// under a screen that turns (presented over it, or pushed onto its stack), through a turn,
// memory warnings, Home, closing and going back. The screen the person sees next fills the
// upright screen below the status bar, its bars in place.
struct WindowPath {
    std::string name;
    UIDeviceOrientation turn;
    // The steps between showing the turning screen and the check; `turn()` turns the phone.
    std::vector<std::string> steps;
};

void PrintTo(const WindowPath& path, std::ostream* out) {
    *out << path.name;
}

class WindowContentPaths : public ::testing::TestWithParam<WindowPath> {};

TEST_P(WindowContentPaths, LeaveTheContentUprightBelowTheStatusBar) {
    const WindowPath& path = GetParam();
    CallLog log;
    auto window = keyWindow();
    auto list = recorder("List", log);
    auto nav = navigationOn(list.get());
    auto tabs = make<UITabBarController>();
    tabs->setViewControllers(NSArray::arrayWithObjects({nav.get()}), false);
    window->setRootViewController(tabs);
    auto app = UIApplication::sharedApplication();
    auto device = UIDevice::currentDevice();
    device->beginGeneratingDeviceOrientationNotifications();
    device->setOrientation(UIDeviceOrientationPortrait);
    auto screen = make<TurningController>();
    for (const std::string& step : path.steps) {
        SCOPED_TRACE(step);
        if (step == "present") {
            list->presentModalViewController(screen, false);
        } else if (step == "push") {
            nav->pushViewController(screen, false);
        } else if (step == "turn") {
            device->setOrientation(path.turn);
            ASSERT_NE(app->statusBarOrientation(), UIInterfaceOrientationPortrait);
        } else if (step == "upright") {
            device->setOrientation(UIDeviceOrientationPortrait);
        } else if (step == "warning") {
            app->performMemoryWarning();
        } else if (step == "home") {
            app->performEnterBackground();
        } else if (step == "back") {
            app->performEnterForeground();
        } else if (step == "close") {
            screen->dismissModalViewControllerAnimated(false);
        } else if (step == "pop") {
            nav->popViewControllerAnimated(false);
        } else if (step == "hide bar") {
            app->setStatusBarHidden(true);
        } else if (step == "show bar") {
            app->setStatusBarHidden(false);
        }
    }
    EXPECT_EQ(app->statusBarOrientation(), UIInterfaceOrientationPortrait);
    EXPECT_EQ(tabs->interfaceOrientation(), UIInterfaceOrientationPortrait);
    EXPECT_EQ(list->interfaceOrientation(), UIInterfaceOrientationPortrait);
    ASSERT_EQ(tabs->view()->window(), window);
    EXPECT_TRUE(CGAffineTransformIsIdentity(tabs->view()->transform()));
    auto inWindow = [&](UIView* v) { return v->convertRect(v->bounds(), window.get()); };
    EXPECT_TRUE(CGRectEqualToRect(inWindow(tabs->view().get()), CGRectMake(0, 20, 320, 460)));
    EXPECT_TRUE(
        CGRectEqualToRect(inWindow(nav->navigationBar().get()), CGRectMake(0, 20, 320, 44)));
    EXPECT_TRUE(CGRectEqualToRect(inWindow(tabs->tabBar().get()), CGRectMake(0, 431, 320, 49)));
    ASSERT_EQ(list->view()->window(), window);
    EXPECT_TRUE(CGRectEqualToRect(inWindow(list->view().get()), CGRectMake(0, 64, 320, 367)));
    // Held upright again, the screen comes upright over it and goes as it came.
    device->setOrientation(UIDeviceOrientationPortrait);
    if (nav->topViewController() == screen) nav->popViewControllerAnimated(false);
    list->presentModalViewController(screen, false);
    EXPECT_TRUE(CGRectEqualToRect(inWindow(screen->view().get()), CGRectMake(0, 20, 320, 460)));
    list->dismissModalViewControllerAnimated(false);
    EXPECT_TRUE(CGRectEqualToRect(inWindow(tabs->view().get()), CGRectMake(0, 20, 320, 460)));
    device->endGeneratingDeviceOrientationNotifications();
    window->setRootViewController(nullptr);
}

std::vector<WindowPath> windowPaths() {
    std::vector<WindowPath> paths;
    const std::pair<const char*, UIDeviceOrientation> turns[] = {
        {"Left", UIDeviceOrientationLandscapeLeft}, {"Right", UIDeviceOrientationLandscapeRight}};
    for (const auto& [side, turn] : turns) {
        auto add = [&paths, side = side, turn = turn](std::string name,
                                                      std::vector<std::string> steps) {
            paths.push_back({name + side, turn, std::move(steps)});
        };
        add("CloseWhileTurned", {"present", "turn", "close", "upright"});
        add("WarningThenCloseWhileTurned", {"present", "turn", "warning", "close", "upright"});
        add("WarningBeforeTheTurn", {"present", "warning", "turn", "close", "upright"});
        add("WarningInTheBackground",
            {"present", "turn", "home", "warning", "back", "close", "upright"});
        add("WarningThenCloseUpright", {"present", "turn", "warning", "upright", "close"});
        add("HomeAndBackThenClose", {"present", "turn", "home", "back", "close", "upright"});
        // A screen that hides the status bar while it shows (a movie player): the content laid
        // out on the way back from Home, while the bar was hidden, goes below it again.
        add("HomeAndBackUnderAHiddenBar",
            {"present", "hide bar", "turn", "home", "back", "close", "show bar", "upright"});
        add("HomeAndBackUnderAHiddenBarShownFirst",
            {"present", "hide bar", "turn", "home", "back", "show bar", "close", "upright"});
        add("PopWhileTurned", {"push", "turn", "pop"});
        add("WarningThenPopWhileTurned", {"push", "turn", "warning", "pop"});
    }
    return paths;
}

INSTANTIATE_TEST_SUITE_P(UIViewController, WindowContentPaths, ::testing::ValuesIn(windowPaths()),
                         [](const ::testing::TestParamInfo<WindowPath>& info) {
                             return info.param.name;
                         });

}  // namespace
