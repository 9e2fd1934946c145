#include "ads/ironvine/IVFullScreenAd.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "IronvineTesting.h"
#include "SystemConfiguration/SCNetworkReachability.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "UIKit/UIWindow.h"
#include "ads/ironvine/IVAdManager.h"
#include "ads/ironvine/IVAdView.h"
#include "ads/ironvine/IVAudioEngine.h"
#include "ads/ironvine/IVClientManager.h"
#include "ads/ironvine/IVController.h"
#include "ads/ironvine/IVDatabase.h"
#include "ads/ironvine/IVUtil.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/services/RunningServices.h"
#include "tools/services/Services.h"

namespace fs = std::filesystem;

namespace {

class FullScreenListener : public NSObject, public IronvineDelegate {
    NS_OBJECT(FullScreenListener, NSObject)
    void ironvineAdReadyForSlotNamed(NSString* name) override { events.push_back(text(name)); }
    void ironvineFullScreenDisplayWillOpen() override { events.push_back("open"); }
    void ironvineFullScreenDisplayWillClose() override { events.push_back("close"); }
    std::vector<std::string> events;
};

class IVFullScreenAdTest : public testing::Test {
protected:
    ManualClockScope clock_;
    Ref<UIWindow> host_;
    void SetUp() override {
        ivtest::resetEngineForLaunch();
        UIApplication::sharedApplication()->setStatusBarHidden(false);
        host_ = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
        host_->makeKeyAndVisible();
    }
    void TearDown() override {
        ivtest::finishEngineLaunch();
        host_->setHidden(true);
    }
    // Starts the engine, waits for the full-screen ad and shows it.
    Ref<IVFullScreenAdController> showAd(FullScreenListener* listener) {
        auto controller = IVController::sharedController();
        ivtest::startEngineWithBannerAndFullScreen();
        IVAdEngine::setFullScreenDelegate(listener, NS("ivFullScreen"));
        EXPECT_TRUE(advanceRunLoopUntil([&] { return !listener->events.empty(); }));
        EXPECT_EQ(listener->events, std::vector<std::string>{"ivFullScreen"});
        EXPECT_TRUE(IVAdEngine::displayFullScreenAdForSlotNamed(NS("ivFullScreen")));
        auto fs = controller->fullScreenAdController();
        EXPECT_TRUE(advanceRunLoopUntil([&] {
            return text(fs->webView()
                            ->stringByEvaluatingJavaScriptFromString(NS("document.body.innerHTML"))
                            .get())
                       .find("Bazaar week") != std::string::npos;
        }));
        return fs;
    }
};

TEST_F(IVFullScreenAdTest, AFullScreenAdOpensOverTheHostAndSkipClosesIt) {
    auto listener = make<FullScreenListener>();
    auto fs = showAd(listener.get());
    auto controller = IVController::sharedController();
    auto window = controller->fullScreenAdWindow();
    auto app = UIApplication::sharedApplication();
    auto slot = controller->adManager()->slotForName(NS("ivFullScreen"));
    EXPECT_EQ(listener->events, (std::vector<std::string>{"ivFullScreen", "open"}));
    EXPECT_TRUE(window->isKeyWindow());
    EXPECT_EQ(window->appWindow().get(), host_.get());
    EXPECT_EQ(window->contentController().get(), fs.get());
    EXPECT_EQ(fs->view()->superview().get(), window.get());
    EXPECT_TRUE(app->isStatusBarHidden());
    EXPECT_EQ(fs->execMode(), 1);
    EXPECT_TRUE(fs->isDisplaying());
    EXPECT_NE(slot->dlTime(), 0);
    // The loading box is gone once the content is in.
    ASSERT_TRUE(advanceRunLoopUntil([&] { return !fs->adLoadingIndicator(); }));
    EXPECT_TRUE(fs->view()->isUserInteractionEnabled());

    // A second request while it shows is refused, even with another ad waiting.
    int64_t shown = slot->dlTime();
    slot->setNextAdDlTime(shown + 1);
    {
        LogLines log;
        EXPECT_FALSE(IVAdEngine::displayFullScreenAdForSlotNamed(NS("ivFullScreen")));
        EXPECT_TRUE(
            log.has("IVAdEngine: Attempt to display full-screen ad for slot named "
                    "ivFullScreen when a full-screen ad is already displaying. Ignoring "
                    "ad display request."));
    }
    slot->setNextAdDlTime(0);

    // Orientation: face-up changes nothing; landscape turns the content over 0.3 s.
    auto device = UIDevice::currentDevice();
    EXPECT_TRUE(device->isGeneratingDeviceOrientationNotifications());
    device->setOrientation(UIDeviceOrientationPortrait);
    CGAffineTransform portrait = fs->view()->transform();
    device->setOrientation(UIDeviceOrientationFaceUp);
    EXPECT_TRUE(CGAffineTransformEqualToTransform(fs->view()->transform(), portrait));
    device->setOrientation(UIDeviceOrientationLandscapeLeft);
    CGAffineTransform turned = IVUtil::transformForOrientation(UIDeviceOrientationLandscapeLeft);
    EXPECT_FALSE(CGAffineTransformEqualToTransform(portrait, turned));
    EXPECT_TRUE(CGAffineTransformEqualToTransform(fs->view()->transform(), turned));
    // Not while the script holds the accelerometer.
    IVController::sharedController()->captureAccelerometer(fs.get());
    device->setOrientation(UIDeviceOrientationPortrait);
    EXPECT_TRUE(CGAffineTransformEqualToTransform(fs->view()->transform(), turned));
    IVController::sharedController()->releaseAccelerometer();
    device->setOrientation(UIDeviceOrientationPortrait);
    device->setOrientation(UIDeviceOrientationLandscapeLeft);
    device->setOrientation(UIDeviceOrientationPortrait);
    EXPECT_TRUE(CGAffineTransformEqualToTransform(fs->view()->transform(), portrait));

    // "Menu" shows 10 s after the script prepared its sheet, bottom left.
    // The script's own preparation (its commands come one per poll) shows it in time.
    auto hidden = [&] { return !fs->menuButton() || fs->menuButton()->isHidden(); };
    advanceRunLoop(3.0);
    EXPECT_TRUE(hidden());
    advanceRunLoop(10.0);
    ASSERT_FALSE(hidden());
    // Measured from a preparation of our own.
    fs->hideMenuButton();
    fs->prepareActionSheet();
    fs->addButtonToActionSheet(NS("Visit"), NS("handleClickthrough('ironvine://ct');"));
    advanceRunLoop(9.9);
    EXPECT_TRUE(hidden());
    advanceRunLoop(0.2);
    ASSERT_FALSE(hidden());
    auto menu = fs->menuButton();
    EXPECT_EQ(text(menu->titleForState(UIControlStateNormal).get()), "Menu");
    CGRect f = menu->frame();
    EXPECT_EQ(f.origin.x, 8);
    EXPECT_EQ(f.origin.y, 480 - 32);
    EXPECT_EQ(f.size.width, 64);
    EXPECT_EQ(f.size.height, 24);

    // The menu opens the script's buttons, then "Skip".
    menu->sendActionsForControlEvents(UIControlEventTouchUpInside);
    auto sheet = fs->actionSheet();
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(menu->isHidden());
    ASSERT_EQ(sheet->numberOfButtons(), 2);
    EXPECT_EQ(text(sheet->buttonTitleAtIndex(0).get()), "Visit");
    EXPECT_EQ(text(sheet->buttonTitleAtIndex(1).get()), "Skip");

    // The script refuses the skip: the ad stays.
    fs->webView()->stringByEvaluatingJavaScriptFromString(
        NS("handleSkip = function() { return false; };"));
    EXPECT_TRUE(sheet->clickButtonWithTitle(NS("Skip")));
    advanceRunLoop(1.0);
    EXPECT_EQ(window->contentController().get(), fs.get());
    EXPECT_FALSE(fs->actionSheet());

    // It allows it: the window fades out, the host is back, and the flag drops 0.4 s later.
    fs->webView()->stringByEvaluatingJavaScriptFromString(
        NS("handleSkip = function() { return true; };"));
    fs->displayActionSheet();
    ASSERT_TRUE(fs->actionSheet());
    EXPECT_TRUE(fs->actionSheet()->clickButtonWithTitle(NS("Skip")));
    EXPECT_EQ(listener->events.back(), "close");
    EXPECT_FALSE(app->isStatusBarHidden());
    EXPECT_FALSE(fs->isDisplaying());
    EXPECT_EQ(fs->execMode(), 0);
    advanceRunLoop(0.85);
    EXPECT_FALSE(window->contentController());
    EXPECT_TRUE(host_->isKeyWindow());
    EXPECT_TRUE(window->isDisplaying());
    slot->setNextAdDlTime(shown + 1);
    {
        LogLines log;
        EXPECT_FALSE(IVAdEngine::displayFullScreenAdForSlotNamed(NS("ivFullScreen")));
        EXPECT_TRUE(
            log.has("IVAdEngine: Attempt to display full-screen ad for slot named "
                    "ivFullScreen when another ad is already displaying.  Ignoring ad "
                    "display request."));
    }
    slot->setNextAdDlTime(0);
    advanceRunLoop(0.4);
    EXPECT_FALSE(window->isDisplaying());
    // A replacement is fetched for the slot.
    EXPECT_TRUE(advanceRunLoopUntil([&] { return slot->nextAdDlTime() != 0; }));
}

TEST_F(IVFullScreenAdTest, MenuTimingSheetCallbacksAndTheBackground) {
    auto listener = make<FullScreenListener>();
    IVController::sharedController()->setMenuDisplayTime(0);
    auto fs = showAd(listener.get());
    ASSERT_TRUE(advanceRunLoopUntil([&] { return fs->menuButton() != nullptr; }));
    EXPECT_FALSE(fs->menuButton()->isHidden());

    // A script button's callback goes to the script.
    fs->webView()->stringByEvaluatingJavaScriptFromString(
        NS("var picked = 0; BridgeDisplay.addButtonToActionSheetCallback('Pick', 'picked = 7;');"));
    ASSERT_TRUE(advanceRunLoopUntil([&] {
        fs->displayActionSheet();
        return fs->actionSheet()->numberOfButtons() == 3;
    }));
    EXPECT_TRUE(fs->actionSheet()->clickButtonWithTitle(NS("Pick")));
    ASSERT_TRUE(advanceRunLoopUntil([&] {
        return text(fs->webView()->stringByEvaluatingJavaScriptFromString(NS("picked")).get()) ==
               "7";
    }));

    // A sheet that was up when the app went away comes back on return.
    fs->displayActionSheet();
    auto center = NSNotificationCenter::defaultCenter();
    center->postNotificationName(UIApplicationDidEnterBackgroundNotification, nullptr);
    EXPECT_TRUE(fs->shouldDisplayActionSheetOnEnterForeground());
    auto before = fs->actionSheet();
    center->postNotificationName(UIApplicationWillEnterForegroundNotification, nullptr);
    // The window stays in front on return.
    EXPECT_TRUE(IVController::sharedController()->fullScreenAdWindow()->isKeyWindow());
    EXPECT_TRUE(UIApplication::sharedApplication()->isStatusBarHidden());
    EXPECT_FALSE(fs->shouldDisplayActionSheetOnEnterForeground());
    ASSERT_TRUE(fs->actionSheet());
    EXPECT_NE(fs->actionSheet().get(), before.get());
    EXPECT_TRUE(fs->actionSheet()->isVisible());

    // Never: a negative time hides the button and keeps it hidden.
    IVController::sharedController()->setMenuDisplayTime(-1);
    fs->prepareActionSheet();
    EXPECT_TRUE(fs->menuButton()->isHidden());
    advanceRunLoop(30.0);
    EXPECT_TRUE(fs->menuButton()->isHidden());

    // Closing without animation drops the flag at once; the ad's sounds stop with it.
    IVAudioEngine::startup();
    ASSERT_TRUE(IVAudioEngine::sharedAudioEngine());
    fs->dismissAnimated(false);
    EXPECT_FALSE(IVAudioEngine::sharedAudioEngine());
    auto window = IVController::sharedController()->fullScreenAdWindow();
    EXPECT_FALSE(window->isDisplaying());
    EXPECT_FALSE(window->contentController());
    EXPECT_EQ(listener->events.back(), "close");
}

TEST_F(IVFullScreenAdTest, ATappedBannerLinkOpensTheInAdBrowserOverTheHost) {
    // Pages load from the stand-in as the front end loads them.
    auto previousLoader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    ivtest::startEngineWithBannerAndFullScreen();
    auto listener = make<FullScreenListener>();
    auto view = IVAdView::adViewForSlotNamed(NS("ivBanner"), listener.get());
    host_->addSubview(view.get());
    ASSERT_TRUE(advanceRunLoopUntil([&] { return !listener->events.empty(); }));
    auto banner = view->controller();
    auto window = IVController::sharedController()->fullScreenAdWindow();
    auto page = [&] {
        return text(
            banner->webView()->stringByEvaluatingJavaScriptFromString(NS("document.title")).get());
    };

    // A tap on an http link is refused in place and opens the browser in the full-screen window.
    auto landing =
        NSURL::URLWithString(NS("http://ads.ironvine.test/AdBridgeServer/landing/1.html"));
    EXPECT_FALSE(banner->webViewShouldStartLoadWithRequest(
        banner->webView().get(), NSURLRequest::requestWithURL(landing.get()).get(),
        UIWebViewNavigationTypeLinkClicked));
    EXPECT_TRUE(banner->isBrowserMode());
    EXPECT_TRUE(banner->isExpanded());
    EXPECT_EQ(banner->execMode(), 1);
    EXPECT_EQ(window->contentController().get(), banner.get());
    EXPECT_EQ(view->controller()->view()->superview().get(), view.get());
    advanceRunLoop(0.85);
    EXPECT_EQ(banner->view()->superview().get(), window.get());
    EXPECT_TRUE(window->isKeyWindow());
    advanceRunLoop(0.85);
    EXPECT_TRUE(host_->isHidden());
    EXPECT_FALSE(banner->navigationBar()->isHidden());
    EXPECT_EQ(banner->webView()->frame().origin.y, 32);

    // Done shows only after the exit time (4 s from the tap).
    advanceRunLoop(2.2);
    EXPECT_FALSE(banner->navigationItem()->leftBarButtonItem());
    advanceRunLoop(0.2);
    EXPECT_TRUE(banner->navigationItem()->leftBarButtonItem());
    ASSERT_TRUE(advanceRunLoopUntil([&] { return page() == "Bazaar deals 1"; }));
    EXPECT_FALSE(banner->navigationControls()->isEnabledForSegmentAtIndex(0));
    EXPECT_FALSE(banner->navigationControls()->isEnabledForSegmentAtIndex(1));

    // A page opened from code has no referrer: back stays off although there is history.
    banner->webView()->loadRequest(
        NSURLRequest::requestWithURL(
            NSURL::URLWithString(NS("http://ads.ironvine.test/AdBridgeServer/landing/2.html"))
                .get())
            .get());
    ASSERT_TRUE(advanceRunLoopUntil([&] { return page() == "Bazaar deals 2"; }));
    EXPECT_TRUE(banner->webView()->canGoBack());
    EXPECT_FALSE(banner->navigationControls()->isEnabledForSegmentAtIndex(0));
    // Back by the web view's history; then forward is on.
    banner->webView()->goBack();
    ASSERT_TRUE(advanceRunLoopUntil([&] { return page() == "Bazaar deals 1"; }));
    EXPECT_TRUE(banner->navigationControls()->isEnabledForSegmentAtIndex(1));
    banner->navigationControls()->tapSegment(1);
    ASSERT_TRUE(advanceRunLoopUntil([&] { return page() == "Bazaar deals 2"; }));

    // Done closes the window and puts the banner back in the host.
    EXPECT_TRUE(banner->navigationItem()->leftBarButtonItem()->sendAction());
    EXPECT_FALSE(banner->isBrowserMode());
    EXPECT_FALSE(banner->isExpanded());
    EXPECT_EQ(banner->execMode(), 0);
    advanceRunLoop(0.85);
    EXPECT_EQ(banner->view()->superview().get(), view.get());
    EXPECT_TRUE(host_->isKeyWindow());
    EXPECT_FALSE(host_->isHidden());
    EXPECT_FALSE(window->contentController());
    EXPECT_TRUE(banner->navigationBar()->isHidden());
    EXPECT_FALSE(banner->navigationItem()->leftBarButtonItem());
    advanceRunLoop(0.5);
    EXPECT_FALSE(window->isDisplaying());
    view->removeFromSuperview();
    UIWebView::setURLLoader(previousLoader);
}

}  // namespace
