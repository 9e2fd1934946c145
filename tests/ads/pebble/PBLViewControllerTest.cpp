// The full-screen base: who hears about a screen and when, the status bar, appearing once and
// the orientations a page asks for.
#include "ads/pebble/PBLViewController.h"

#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIView.h"
#include "ads/pebble/PBLFullScreenTesting.h"

namespace {

// Counts the platform's and the fallback's calls apart from the ones that did the work.
class CountingScreen : public PBLViewController {
    NS_OBJECT(CountingScreen, PBLViewController)
public:
    void viewDidAppear(bool animated) override {
        bool waiting = !view()->isUserInteractionEnabled();
        PBLViewController::viewDidAppear(animated);
        ++calls;
        if (waiting && view()->isUserInteractionEnabled()) ++acted;
    }
    int calls = 0;
    int acted = 0;
};

using PBLViewControllerTest = PBLFullScreenTest;

TEST_F(PBLViewControllerTest, TheFirstScreenAloneTellsTheDelegateAndStackedOnesStayQuiet) {
    std::vector<std::string> notes;
    auto center = NSNotificationCenter::defaultCenter();
    auto will = center->addObserverForName(
        PBLViewControllerWillPresentFullScreenNotification, nullptr,
        [&](NSNotification* n) { notes.push_back("will " + text(n->object()->className())); });
    auto did =
        center->addObserverForName(PBLViewControllerDidRelinquishFullScreenNotification, nullptr,
                                   [&](NSNotification*) { notes.push_back("did"); });
    {
        NSAutoreleasePool pool;
        auto first = make<PBLViewController>();
        first->setDelegateManager(manager.get());
        first->presentFromViewController(root.get());
        EXPECT_EQ(recorder->events, std::vector<std::string>{"will present"});
        EXPECT_EQ(root->modalViewController().get(), first.get());
        EXPECT_TRUE(first->isFirstPBLViewController());
        EXPECT_TRUE(UIApplication::sharedApplication()->isStatusBarHidden());
        // The platform told it that it appeared: it takes touches now.
        EXPECT_TRUE(first->view()->isUserInteractionEnabled());

        auto second = make<PBLViewController>();
        second->setDelegateManager(manager.get());
        second->presentFromViewController(first.get());
        EXPECT_EQ(first->modalViewController().get(), second.get());
        EXPECT_FALSE(second->isFirstPBLViewController());
        second->relinquishScreen();
        EXPECT_FALSE(first->modalViewController());
        Weak<PBLViewController> gone = second.get();
        second = nullptr;
        pool.drain();
        EXPECT_FALSE(gone.lock());  // it kept itself only while it was shown
        EXPECT_EQ(recorder->events, std::vector<std::string>{"will present"});
        EXPECT_TRUE(UIApplication::sharedApplication()->isStatusBarHidden());

        first->relinquishScreen();
        first->relinquishScreen();  // closed already: nothing more
        EXPECT_FALSE(root->modalViewController());
        EXPECT_EQ(recorder->events, (std::vector<std::string>{"will present", "will dismiss"}));
        EXPECT_FALSE(UIApplication::sharedApplication()->isStatusBarHidden());
        first = nullptr;
        pool.drain();
    }
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"will present", "will dismiss", "did dismiss"}));
    EXPECT_EQ(notes, (std::vector<std::string>{"will PBLViewController", "will PBLViewController",
                                               "did", "did"}));
    center->removeObserver(will.get());
    center->removeObserver(did.get());
}

TEST_F(PBLViewControllerTest, AScreenNeverShownTellsTheDelegateNothing) {
    {
        NSAutoreleasePool pool;
        auto screen = make<PBLViewController>();
        screen->setDelegateManager(manager.get());
        screen->presentFromViewController(nullptr);
        EXPECT_NE(log.find("<Pebble> No UIViewController supplied to the ad.  Cannot continue."),
                  std::string::npos);
        EXPECT_FALSE(root->modalViewController());
        Weak<PBLViewController> gone = screen.get();
        screen = nullptr;
        pool.drain();
        EXPECT_FALSE(gone.lock());  // not kept without a presentation
    }
    EXPECT_TRUE(recorder->events.empty());
}

TEST_F(PBLViewControllerTest, AStatusBarTheApplicationHidItselfStaysHidden) {
    auto app = UIApplication::sharedApplication();
    app->setStatusBarHidden(true);
    auto screen = make<PBLViewController>();
    screen->setDelegateManager(manager.get());
    screen->presentFromViewController(root.get());
    EXPECT_TRUE(screen->statusBarWasHidden());
    screen->relinquishScreen();
    EXPECT_TRUE(app->isStatusBarHidden());

    // A screen that does not cover everything leaves the bar alone.
    app->setStatusBarHidden(false);
    auto sheet = make<PBLViewController>();
    sheet->setModalPresentationStyle(UIModalPresentationFormSheet);
    sheet->presentFromViewController(root.get());
    EXPECT_FALSE(app->isStatusBarHidden());
    sheet->relinquishScreen();
    EXPECT_FALSE(app->isStatusBarHidden());

    // Before 3.2 every first screen takes the bar away, and gives it back.
    UIDevice::currentDevice()->setSystemVersion(NS("3.1.3"));
    auto old = make<PBLViewController>();
    old->setModalPresentationStyle(UIModalPresentationFormSheet);
    old->presentFromViewController(root.get());
    EXPECT_TRUE(app->isStatusBarHidden());
    old->relinquishScreen();
    EXPECT_FALSE(app->isStatusBarHidden());
    UIDevice::currentDevice()->setSystemVersion(nullptr);
}

TEST_F(PBLViewControllerTest, AppearingWorksOnceWhetherThePlatformOrTheFallbackComesFirst) {
    // No root controller: the given controller presents, and the fallback follows in 0.6 s.
    window->setRootViewController(nullptr);
    auto presenter = make<UIViewController>();
    window->addSubview(presenter->view().get());
    auto shown = make<CountingScreen>();
    shown->presentFromViewController(presenter.get());
    EXPECT_EQ(presenter->modalViewController().get(), shown.get());
    EXPECT_EQ(shown->acted, 1);  // the platform's call
    advanceRunLoop(0.7);
    EXPECT_EQ(shown->calls, 2);
    EXPECT_EQ(shown->acted, 1);
    shown->relinquishScreen();
    EXPECT_FALSE(shown->view()->isUserInteractionEnabled());

    // A controller outside any window hears nothing from the platform: the fallback acts.
    auto offscreen = make<UIViewController>();
    auto late = make<CountingScreen>();
    late->presentFromViewController(offscreen.get());
    EXPECT_EQ(late->calls, 0);
    advanceRunLoop(0.55);
    EXPECT_FALSE(late->view()->isUserInteractionEnabled());
    advanceRunLoop(0.1);
    EXPECT_EQ(late->acted, 1);
    EXPECT_TRUE(late->view()->isUserInteractionEnabled());
    late->relinquishScreen();
}

TEST_F(PBLViewControllerTest, SettingsFromTheScreensViewTurnItsOrientations) {
    auto screen = make<PBLViewController>();
    EXPECT_EQ(screen->supportedOrientations(), 1);
    EXPECT_TRUE(screen->view()->clipsToBounds());
    auto post = [&](NSObject* sender, NSString* value) {
        auto info = NSMutableDictionary::dictionary();
        info->setObject(value, NS("supportedorientations"));
        NSNotificationCenter::defaultCenter()->postNotificationName(NS("settings"), sender,
                                                                    info.get());
    };
    post(screen->view().get(), NS("portrait"));
    EXPECT_EQ(screen->supportedOrientations(), 2);
    EXPECT_TRUE(screen->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationPortrait));
    EXPECT_TRUE(
        screen->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationPortraitUpsideDown));
    EXPECT_FALSE(
        screen->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationLandscapeLeft));
    post(screen->view().get(), NS("sideways"));  // no such word: unchanged
    EXPECT_EQ(screen->supportedOrientations(), 2);
    post(root->view().get(), NS("landscape"));  // another screen's business
    EXPECT_EQ(screen->supportedOrientations(), 2);
    post(screen->view().get(), NS("landscape"));
    EXPECT_TRUE(
        screen->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationLandscapeRight));
    EXPECT_FALSE(screen->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationPortrait));
    post(screen->view().get(), NS("any"));
    EXPECT_TRUE(screen->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationPortrait));
    EXPECT_EQ(PBLViewController::orientationFromString(nullptr), 0);
    EXPECT_EQ(PBLViewController::orientationFromString(NS("")), 0);
}

}  // namespace
