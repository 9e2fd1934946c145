#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIWindow.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZPopupControllers.h"
#include "ui/core/DZURLMap.h"
#include "ui/core/UIViewController+DZCategory.h"

namespace {

std::string text(NSString* s) {
    return s ? s->utf8() : std::string("(nil)");
}

class Target : public UIViewController {
    NS_OBJECT(Target, UIViewController)
};

class SheetWatcher : public NSObject,
                     public DZActionSheetControllerDelegate,
                     public DZAlertViewControllerDelegate {
    NS_OBJECT(SheetWatcher, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"actionSheetController:didDismissWithButtonIndex:URL:",
                      "actionSheet:didDismissWithButtonIndex:",
                      "alertViewController:didDismissWithButtonIndex:URL:",
                      "alertView:didDismissWithButtonIndex:"});
    }
    bool actionSheetControllerDidDismissWithButtonIndexURL(DZActionSheetController*,
                                                           NSInteger index,
                                                           NSString* URL) override {
        log.push_back("url " + std::to_string(index) + " " + text(URL));
        return allow;
    }
    void actionSheetDidDismissWithButtonIndex(UIActionSheet*, NSInteger index) override {
        log.push_back("dismissed " + std::to_string(index));
    }
    bool alertViewControllerDidDismissWithButtonIndexURL(DZAlertViewController*, NSInteger index,
                                                         NSString* URL) override {
        log.push_back("alert url " + std::to_string(index) + " " + text(URL));
        return allow;
    }
    void alertViewDidDismissWithButtonIndex(UIAlertView*, NSInteger index) override {
        log.push_back("alert dismissed " + std::to_string(index));
    }
    std::vector<std::string> log;
    bool allow = true;
};

class DZPopupControllersTest : public testing::Test {
protected:
    void SetUp() override {
        DZBaseNavigator::setGlobalNavigator(nullptr);
        navigator = DZNavigator::navigator();
        window = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
        window->makeKeyAndVisible();
        navigator->setWindow(window);
        navigator->URLMap()->fromToViewController(NS("app://target"), Target::staticClass());
        host = make<UIViewController>();
        window->addSubview(host->view());
    }
    void TearDown() override {
        host->view()->removeFromSuperview();
        navigator->removeAllViewControllers();
        DZBaseNavigator::setGlobalNavigator(nullptr);
    }
    Ref<DZNavigator> navigator;
    Ref<UIWindow> window;
    Ref<UIViewController> host;
};

}  // namespace

TEST_F(DZPopupControllersTest, SheetButtonsOpenTheirURLsThroughTheNavigator) {
    auto watcher = make<SheetWatcher>();
    auto sheet = make<DZActionSheetController>(
        static_cast<bool (DZActionSheetController::*)(NSString*, DZActionSheetControllerDelegate*)>(
            &DZActionSheetController::initWithTitle),
        NS("Share"), static_cast<DZActionSheetControllerDelegate*>(watcher.get()));
    EXPECT_EQ("Share", text(sheet->actionSheet()->title()));
    EXPECT_EQ(0, sheet->addButtonWithTitle(NS("Open"), NS("app://target")));
    EXPECT_EQ(1, sheet->addButtonWithTitle(NS("Nothing"), nullptr));
    EXPECT_EQ(2, sheet->addDestructiveButtonWithTitle(NS("Delete"), nullptr));
    EXPECT_EQ(3, sheet->addCancelButtonWithTitle(NS("Cancel"), nullptr));
    EXPECT_EQ("app://target", text(sheet->buttonURLAtIndex(0)));
    EXPECT_EQ(nullptr, sheet->buttonURLAtIndex(1));
    EXPECT_EQ(nullptr, sheet->buttonURLAtIndex(9));
    EXPECT_EQ(nullptr, sheet->buttonURLAtIndex(-1));
    EXPECT_FALSE(sheet->persistView(nullptr));

    sheet->showInView(host->view(), true);
    EXPECT_TRUE(sheet->actionSheet()->isVisible());
    sheet->actionSheet()->clickButtonAtIndex(1);  // no URL: nothing opens
    EXPECT_EQ((std::vector<std::string>{"url 1 (nil)", "dismissed 1"}), watcher->log);
    EXPECT_EQ(nullptr, navigator->rootViewController());

    watcher->log.clear();
    sheet->showInView(host->view(), true);
    sheet->actionSheet()->clickButtonAtIndex(0);
    EXPECT_EQ((std::vector<std::string>{"url 0 app://target", "dismissed 0"}), watcher->log);
    EXPECT_TRUE(is<Target>(navigator->topViewController()));

    // A delegate that refuses keeps the URL closed, and still hears the dismissal.
    watcher->log.clear();
    watcher->allow = false;
    navigator->removeAllViewControllers();
    sheet->showInView(host->view(), true);
    sheet->actionSheet()->clickButtonAtIndex(0);
    EXPECT_EQ((std::vector<std::string>{"url 0 app://target", "dismissed 0"}), watcher->log);
    EXPECT_EQ(nullptr, navigator->rootViewController());

    // Dismissed by the program: the cancel index.
    watcher->log.clear();
    sheet->showInView(host->view(), true);
    sheet->dismissPopupViewControllerAnimated(true);
    EXPECT_EQ((std::vector<std::string>{"url 3 (nil)", "dismissed 3"}), watcher->log);
}

TEST_F(DZPopupControllersTest, WithoutACancelButtonTheProgramDismissesWithMinusOne) {
    auto watcher = make<SheetWatcher>();
    auto alert = make<DZAlertViewController>(
        static_cast<bool (DZAlertViewController::*)(NSString*, NSString*,
                                                    DZAlertViewControllerDelegate*)>(
            &DZAlertViewController::initWithTitle),
        NS("Title"), NS("Message"), static_cast<DZAlertViewControllerDelegate*>(watcher.get()));
    EXPECT_EQ("Message", text(alert->alertView()->message()));
    alert->addButtonWithTitle(NS("Go"), NS("app://target"));
    alert->showInView(nullptr, true);
    EXPECT_TRUE(alert->alertView()->isVisible());
    alert->dismissPopupViewControllerAnimated(true);
    EXPECT_EQ((std::vector<std::string>{"alert url -1 (nil)", "alert dismissed -1"}), watcher->log);
    EXPECT_EQ(nullptr, navigator->rootViewController());
}

TEST_F(DZPopupControllersTest, ASheetKeepsItsControllerAliveOnlyWhileShown) {
    Weak<DZActionSheetController> watch;
    Weak<DZAlertViewController> alertWatch;
    {
        NSAutoreleasePool pool;
        auto sheet = make<DZActionSheetController>();
        sheet->addCancelButtonWithTitle(NS("Cancel"), nullptr);
        sheet->showInView(host->view(), false);
        watch = sheet.get();
        auto alert = make<DZAlertViewController>();
        alert->addCancelButtonWithTitle(NS("OK"), nullptr);
        alert->showInView(nullptr, false);
        alertWatch = alert.get();
    }
    // The creator let go; the sheets on screen hold their controllers.
    ASSERT_TRUE(watch.lock());
    ASSERT_TRUE(alertWatch.lock());
    {
        NSAutoreleasePool pool;
        watch.lock()->actionSheet()->clickButtonAtIndex(0);
        alertWatch.lock()->alertView()->clickButtonAtIndex(0);
        // Still alive until the end of the pass.
        EXPECT_TRUE(watch.lock());
    }
    EXPECT_FALSE(watch.lock());
    EXPECT_FALSE(alertWatch.lock());

    // A controller that is never shown is not kept by its own view.
    Weak<DZActionSheetController> unshown;
    {
        NSAutoreleasePool pool;
        auto sheet = make<DZActionSheetController>();
        sheet->addButtonWithTitle(NS("A"), nullptr);
        unshown = sheet.get();
    }
    EXPECT_FALSE(unshown.lock());
}

TEST_F(DZPopupControllersTest, TheNavigatorShowsPopupsOverTheirParent) {
    navigator->URLMap()->fromToViewController(
        NS("app://sheet"), DZActionSheetController::staticClass(), Selector::named("init"));
    auto target = navigator->openURLAction(DZURLAction::actionWithURLPath(NS("app://target")));
    auto sheet = as<DZActionSheetController>(
        navigator->openURLAction(DZURLAction::actionWithURLPath(NS("app://sheet"))));
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet, popupViewController(target));
    EXPECT_EQ(target, superController(sheet));
    EXPECT_TRUE(sheet->actionSheet()->isVisible());
    // A popup is never the top controller.
    EXPECT_EQ(target, navigator->topViewController());
    sheet->dismissPopupViewControllerAnimated(false);
}
