// The result, favourites and item screens under test: the app delegate as the application's
// delegate (store, messages, outer navigation), a visible window with the outer navigation
// stack, the screens' interfaces registered, and no favourites or alerts left from before.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "Classes/ItemInfo.h"
#include "Classes/ManagedStore.h"
#include "Classes/NoticewallAppDelegate.h"
#include "Classes/ResultScreenInterfaces.h"
#include "CoreData/NSManagedObject.h"
#include "CoreData/NSManagedObjectContext.h"
#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NetworkWork.h"
#include "UIKit/UIActionSheet.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIWindow.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"

class ResultScreensTest : public testing::Test {
protected:
    void SetUp() override {
        clock.emplace();
        registerResultScreenInterfaces();
        delegate = make<NoticewallAppDelegate>();
        UIApplication::sharedApplication()->setDelegate(delegate.get());
        UIApplication::sharedApplication()->clearOpenedURLs();
        context()->reset();
        if (auto all = ManagedStore::favorites(context()))
            for (NSObject* o : *all)
                context()->deleteObject(static_cast<NSManagedObject*>(o));
        context()->save(nullptr);
        root = make<UIViewController>();
        nav = make<UINavigationController>(&UINavigationController::initWithRootViewController,
                                           root.get());
        delegate->setNavigationController(nav);
        window = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
        window->setRootViewController(nav);
        window->makeKeyAndVisible();
        delegate->setWindow(window);
    }

    void TearDown() override {
        closePanels();
        // Downloads still running must not call back into the next test, nor leave it a
        // message: what they queued shows in the last pass, and goes with the rest.
        runLoopUntil([] { return NetworkWork::inFlight() == 0; }, 20);
        advanceRunLoop(0);
        closePanels();
        window->setRootViewController(nullptr);
        window->setHidden(true);
        UIApplication::sharedApplication()->setDelegate(nullptr);
        clock.reset();
    }

    Ref<NSManagedObjectContext> context() { return delegate->managedObjectContext(); }

    // The alerts waiting for their turn too.
    static void closePanels() { UIButtonPanelView::dismissAllPanels(); }
    static Ref<UIButtonPanelView> lastPanel() {
        auto panels = UIButtonPanelView::shownPanels();
        return panels->count() ? cast<UIButtonPanelView>(panels->lastObject()) : nullptr;
    }
    // The titles of a panel's buttons in index order, joined by "|".
    static std::string buttonsOf(UIButtonPanelView* panel) {
        std::string out;
        for (NSInteger i = 0; i < panel->numberOfButtons(); ++i) {
            if (i) out += "|";
            out += panel->buttonTitleAtIndex(i)->utf8();
        }
        return out;
    }

    static Ref<ItemInfo> listing(const char* title, const char* detailUrl) {
        auto item = make<ItemInfo>();
        item->setTitle(NSString::fromUTF8(title));
        item->setDetailUrl(NSString::fromUTF8(detailUrl));
        return item;
    }

    std::optional<ManualClockScope> clock;
    Ref<NoticewallAppDelegate> delegate;
    Ref<UIViewController> root;
    Ref<UINavigationController> nav;
    Ref<UIWindow> window;
};
