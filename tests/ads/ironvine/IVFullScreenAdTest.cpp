#include "ads/ironvine/IVFullScreenAd.h"

#include <gtest/gtest.h>

#include <algorithm>
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
#include "UIKit/UIActivityIndicatorView.h"
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
#include "ads/ironvine/IVJavascriptBridge.h"
#include "ads/ironvine/IVUtil.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/services/RunningServices.h"
#include "tools/services/Services.h"
#include "tools/standin/Faults.h"

namespace fs = std::filesystem;

namespace {

class FullScreenListener : public NSObject, public IronvineDelegate {
    NS_OBJECT(FullScreenListener, NSObject)
    void ironvineAdReadyForSlotNamed(NSString* name) override { events.push_back(text(name)); }
    void ironvineFullScreenDisplayWillOpen() override { events.push_back("open"); }
    void ironvineFullScreenDisplayWillClose() override { events.push_back("close"); }
    void ironvineDidReceiveMemoryWarning() override { events.push_back("memory"); }
    std::vector<std::string> events;
};

// The ad server's page waits at the named gate until the test opens it.
void holdPage(const char* path, const char* gate) {
    standin::Fault held;
    held.host = "ads.ironvine.test";
    held.path = path;
    held.gate = gate;
    servicestest::services().addFault(held);
}

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
    // Starts the engine and waits for the banner's first ad on show in the host; nil when none
    // came. A display still under way when a test goes on would end at a moment real time
    // decides.
    Ref<IVAdView> showBanner(FullScreenListener* listener) {
        ivtest::startEngineWithBannerAndFullScreen();
        auto view = IVAdView::adViewForSlotNamed(NS("ivBanner"), listener);
        host_->addSubview(view.get());
        auto slot = IVController::sharedController()->adManager()->slotForName(NS("ivBanner"));
        if (!advanceRunLoopUntil([&] { return !listener->events.empty() && slot->dlTime() != 0; }))
            return nullptr;
        return view;
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
    // The bar the ad hid before the trip to the background comes back with the close.
    EXPECT_FALSE(UIApplication::sharedApplication()->isStatusBarHidden());
}

TEST_F(IVFullScreenAdTest, ATappedBannerLinkOpensTheInAdBrowserOverTheHost) {
    // Pages load from the stand-in as the front end loads them.
    auto previousLoader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    auto listener = make<FullScreenListener>();
    auto view = showBanner(listener.get());
    ASSERT_TRUE(view);
    auto banner = view->controller();
    auto window = IVController::sharedController()->fullScreenAdWindow();
    auto page = [&] {
        return text(
            banner->webView()->stringByEvaluatingJavaScriptFromString(NS("document.title")).get());
    };

    // The first landing page is held at the stand-in until the test lets it through.
    auto& services = servicestest::services();
    holdPage("/AdBridgeServer/landing/1.html", "landing");

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
    // The expanded banner holds the window: no full-screen ad opens over it.
    EXPECT_TRUE(window->isDisplaying());
    advanceRunLoop(0.85);
    EXPECT_EQ(banner->view()->superview().get(), window.get());
    EXPECT_TRUE(window->isKeyWindow());
    advanceRunLoop(0.85);
    EXPECT_TRUE(host_->isHidden());
    EXPECT_FALSE(banner->navigationBar()->isHidden());
    EXPECT_EQ(banner->webView()->frame().origin.y, 32);

    // The bar's spinner turns while the page loads; done shows after the exit time (4 s from
    // the tap) although the page is still loading.
    EXPECT_TRUE(banner->isLoading());
    EXPECT_TRUE(banner->navigationLoadingIndicator()->isAnimating());
    EXPECT_EQ(banner->navigationItem()->titleView().get(),
              static_cast<UIView*>(banner->navigationLoadingIndicator().get()));
    advanceRunLoop(2.2);
    EXPECT_FALSE(banner->navigationItem()->leftBarButtonItem());
    advanceRunLoop(0.2);
    EXPECT_TRUE(banner->navigationItem()->leftBarButtonItem());
    EXPECT_TRUE(banner->isLoading());
    auto gate = services.gate("landing");
    ASSERT_TRUE(advanceRunLoopUntil([&] { return gate->waiting() == 1; }));
    gate->open();
    ASSERT_TRUE(advanceRunLoopUntil([&] { return page() == "Bazaar deals 1"; }));
    EXPECT_FALSE(banner->isLoading());
    EXPECT_FALSE(banner->navigationLoadingIndicator()->isAnimating());
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

TEST_F(IVFullScreenAdTest, TheInAdBrowserFinishesLoadingShowsDoneAndStopsOnClose) {
    auto previousLoader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    auto listener = make<FullScreenListener>();
    auto view = showBanner(listener.get());
    ASSERT_TRUE(view);
    auto banner = view->controller();
    auto window = IVController::sharedController()->fullScreenAdWindow();
    auto slot = IVController::sharedController()->adManager()->slotForName(NS("ivBanner"));
    auto tap = [&](const char* url) {
        return banner->webViewShouldStartLoadWithRequest(
            banner->webView().get(),
            NSURLRequest::requestWithURL(NSURL::URLWithString(NSString::fromUTF8(url).get()).get())
                .get(),
            UIWebViewNavigationTypeLinkClicked);
    };

    int64_t first = slot->dlTime();

    // A page that loads before the exit time brings done with it.
    EXPECT_FALSE(tap("http://ads.ironvine.test/AdBridgeServer/landing/2.html"));
    ASSERT_TRUE(advanceRunLoopUntil([&] { return !banner->isLoading(); }));
    EXPECT_FALSE(banner->navigationLoadingIndicator()->isAnimating());
    EXPECT_TRUE(banner->navigationItem()->leftBarButtonItem());
    // While the banner is out, the next ad waits; another display is refused.
    ASSERT_TRUE(advanceRunLoopUntil([&] { return slot->nextAdDlTime() != 0; }));
    int64_t waiting = slot->nextAdDlTime();
    EXPECT_FALSE(banner->display());

    // A page held at the stand-in is still loading when done is tapped: the load stops with
    // the spinner, and the page is not shown later.
    holdPage("/AdBridgeServer/landing/3.html", "held");
    banner->webView()->loadRequest(
        NSURLRequest::requestWithURL(
            NSURL::URLWithString(NS("http://ads.ironvine.test/AdBridgeServer/landing/3.html"))
                .get())
            .get());
    auto gate = servicestest::services().gate("held");
    ASSERT_TRUE(advanceRunLoopUntil([&] { return gate->waiting() == 1; }));
    EXPECT_TRUE(banner->isLoading());
    EXPECT_TRUE(banner->navigationLoadingIndicator()->isAnimating());
    EXPECT_TRUE(banner->navigationItem()->leftBarButtonItem()->sendAction());
    EXPECT_FALSE(banner->isLoading());
    EXPECT_FALSE(banner->navigationLoadingIndicator()->isAnimating());
    EXPECT_FALSE(banner->isExpanded());
    gate->open();

    // Closed with animation: the banner is back in its slot at once, whole, with the ad that
    // stayed under the page; the window's flag drops 0.4 s after the 0.8 s fade.
    EXPECT_EQ(banner->view()->superview().get(), view.get());
    EXPECT_EQ(banner->containerView()->alpha(), 1.0f);
    EXPECT_EQ(banner->webView().get(), banner->bridge()->webView().get());
    advanceRunLoop(1.0);
    EXPECT_TRUE(window->isDisplaying());
    EXPECT_FALSE(banner->display());
    advanceRunLoop(1.9);
    EXPECT_FALSE(window->isDisplaying());
    EXPECT_FALSE(banner->isRefreshing());
    // The ad that came while the banner was out shows 3 s after the close, not before.
    EXPECT_EQ(slot->dlTime(), first);
    advanceRunLoop(0.1);
    ASSERT_TRUE(advanceRunLoopUntil([&] { return slot->dlTime() == waiting; }));
    view->removeFromSuperview();
    UIWebView::setURLLoader(previousLoader);
}

TEST_F(IVFullScreenAdTest, AClickThroughHoldsTheWindowUntilTheAppLeavesForTheOtherApp) {
    auto listener = make<FullScreenListener>();
    auto view = showBanner(listener.get());
    ASSERT_TRUE(view);
    auto banner = view->controller();
    ASSERT_TRUE(advanceRunLoopUntil([&] { return !banner->isRefreshing(); }));
    auto window = IVController::sharedController()->fullScreenAdWindow();
    auto app = UIApplication::sharedApplication();
    auto js = [&](const char* script) {
        return text(banner->webView()
                        ->stringByEvaluatingJavaScriptFromString(NSString::fromUTF8(script).get())
                        .get());
    };

    // The script asks for a click-through: granted, the window's flag is taken and its
    // callback runs unchanged.
    js("var ct = 0; BridgeDisplay.requestClickthroughWithCallback('ct = ct + 1;');");
    ASSERT_TRUE(advanceRunLoopUntil([&] { return js("ct") == "1"; }));
    EXPECT_TRUE(window->isDisplaying());
    // A second one while the flag is held is refused, and so is a full-screen display.
    js("BridgeDisplay.requestClickthroughWithCallback('ct = ct + 10;');");
    advanceRunLoop(2.0);
    EXPECT_EQ(js("ct"), "1");
    auto fullScreen =
        IVController::sharedController()->adManager()->slotForName(NS("ivFullScreen"));
    ASSERT_TRUE(advanceRunLoopUntil([&] { return fullScreen->nextAdDlTime() != 0; }));
    EXPECT_FALSE(IVAdEngine::displayFullScreenAdForSlotNamed(NS("ivFullScreen")));

    // The click-through goes to the store: once the app is in the background, the flag drops
    // and the banner counts as never displayed, so it may refresh at once.
    app->clearOpenedURLs();
    EXPECT_FALSE(banner->webViewShouldStartLoadWithRequest(
        banner->webView().get(),
        NSURLRequest::requestWithURL(
            NSURL::URLWithString(NS("http://itunes.appstore.test/app/bazaarnest")).get())
            .get(),
        UIWebViewNavigationTypeLinkClicked));
    ASSERT_EQ(app->openedURLs()->count(), 1u);
    EXPECT_EQ(app->applicationState(), UIApplicationStateBackground);
    EXPECT_FALSE(window->isDisplaying());
    EXPECT_FALSE(banner->isExpanded());

    // So the next ad shows as soon as it is in, without a refresh interval; in its fade the
    // banner is not clicked through.
    ASSERT_TRUE(advanceRunLoopUntil([&] { return banner->isRefreshing(); }));
    js("BridgeDisplay.requestClickthroughWithCallback('ct = ct + 100;');");
    advanceRunLoop(0.3);
    EXPECT_EQ(js("ct"), "1");
    EXPECT_FALSE(window->isDisplaying());
    view->removeFromSuperview();
}

TEST_F(IVFullScreenAdTest, ACallLinkOnAnOlderSystemShowsDoneAtOnce) {
    auto device = UIDevice::currentDevice();
    auto version = device->systemVersion();
    device->setSystemVersion(NS("4.0"));
    auto listener = make<FullScreenListener>();
    auto view = showBanner(listener.get());
    ASSERT_TRUE(view);
    auto banner = view->controller();
    auto app = UIApplication::sharedApplication();
    app->clearOpenedURLs();
    // Before 4.2.1 a call is no other app's: the script's page request opens the in-ad
    // browser, done at once, and the load hands the number on.
    banner->webView()->stringByEvaluatingJavaScriptFromString(
        NS("BridgeDisplay.requestURL('tel:5550100');"));
    ASSERT_TRUE(advanceRunLoopUntil([&] { return banner->isBrowserMode(); }));
    EXPECT_TRUE(banner->navigationItem()->leftBarButtonItem());
    ASSERT_EQ(app->openedURLs()->count(), 1u);
    EXPECT_EQ(text(as<NSURL>(app->openedURLs()->objectAtIndex(0))->absoluteString().get()),
              "tel:5550100");
    device->setSystemVersion(version.get());
    EXPECT_TRUE(banner->navigationItem()->leftBarButtonItem()->sendAction());
    advanceRunLoop(1.5);
    view->removeFromSuperview();
}

// Clears the host's status-bar view name again, so that later launches hide the bar.
// The setting is written on the database worker; each step waits until it is stored.
struct StatusBarViewName {
    explicit StatusBarViewName(NSString* name) {
        IVController::sharedController()->setSbwPropName(name);
        EXPECT_TRUE(advanceRunLoopUntil([&] { return stored() == text(name); }));
    }
    ~StatusBarViewName() {
        IVController::sharedController()->setSbwPropName(NS(""));
        EXPECT_TRUE(advanceRunLoopUntil([&] { return stored().empty(); }));
    }
    static std::string stored() {
        auto rows = IVController::sharedController()->database()->sqlExecute(
            NS("SELECT data FROM settings WHERE id='sbw'"));
        if (!rows || rows->count() == 0) return "";
        return text(as<NSArray>(rows->objectAtIndex(0))->objectAtIndex(0)->description().get());
    }
};

TEST_F(IVFullScreenAdTest, TheStatusBarHidesOrItsViewFadesAndTheHostFrameComesBack) {
    auto window = IVController::sharedController()->fullScreenAdWindow();
    auto app = UIApplication::sharedApplication();
    // The host's content fills the application frame inside a full-screen wrapper.
    auto wrapper = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    auto content = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 20, 320, 460));
    wrapper->addSubview(content.get());
    host_->addSubview(wrapper.get());
    auto same = [](UIView* v, CGRect r) { return CGRectEqualToRect(v->frame(), r); };

    // No view named: the bar hides; the content the host stretched meanwhile fits it again.
    window->hideStatusBarAnimated(true);
    EXPECT_TRUE(app->isStatusBarHidden());
    content->setFrame(CGRectMake(0, 0, 320, 480));
    window->restoreStatusBarAnimated(true);
    EXPECT_FALSE(app->isStatusBarHidden());
    EXPECT_TRUE(same(content.get(), CGRectMake(0, 20, 320, 460)));
    EXPECT_TRUE(same(wrapper.get(), CGRectMake(0, 0, 320, 480)));
    // A second restore does nothing.
    content->setFrame(CGRectMake(0, 0, 320, 480));
    window->restoreStatusBarAnimated(false);
    EXPECT_TRUE(same(content.get(), CGRectMake(0, 0, 320, 480)));
    // A bar the host had hidden itself stays hidden, and no frame is touched.
    app->setStatusBarHidden(true);
    window->hideStatusBarAnimated(false);
    window->restoreStatusBarAnimated(false);
    EXPECT_TRUE(app->isStatusBarHidden());
    EXPECT_TRUE(same(content.get(), CGRectMake(0, 0, 320, 480)));
    app->setStatusBarHidden(false);

    // A key the application does not know, or whose value cannot fade: the bar hides as before.
    for (NSString* key : {NS("noSuchStatusBar"), NS("applicationState")}) {
        ivtest::resetEngineForLaunch();
        StatusBarViewName name(key);
        window = IVController::sharedController()->fullScreenAdWindow();
        window->hideStatusBarAnimated(false);
        EXPECT_TRUE(app->isStatusBarHidden()) << text(key);
        window->restoreStatusBarAnimated(false);
        EXPECT_FALSE(app->isStatusBarHidden()) << text(key);
    }

    // The host's status-bar view fades out over 1 s instead, and back in; the bar stays.
    ivtest::resetEngineForLaunch();
    StatusBarViewName name(NS("statusBarWindow"));
    window = IVController::sharedController()->fullScreenAdWindow();
    auto bar = app->statusBarWindow();
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->alpha(), 1.0f);
    window->hideStatusBarAnimated(true);
    advanceRunLoop(1.05);
    EXPECT_EQ(bar->alpha(), 0.0f);
    EXPECT_FALSE(app->isStatusBarHidden());
    window->restoreStatusBarAnimated(true);
    advanceRunLoop(1.05);
    EXPECT_EQ(bar->alpha(), 1.0f);
    EXPECT_FALSE(app->isStatusBarHidden());
    wrapper->removeFromSuperview();
}

TEST_F(IVFullScreenAdTest, AFullScreenAdFadesTheNamedStatusBarViewAndKeepsItsWindow) {
    auto app = UIApplication::sharedApplication();
    StatusBarViewName name(NS("statusBarWindow"));
    auto listener = make<FullScreenListener>();
    auto fs = showAd(listener.get());
    advanceRunLoop(1.05);
    EXPECT_EQ(app->statusBarWindow()->alpha(), 0.0f);
    EXPECT_FALSE(app->isStatusBarHidden());

    // A banner's script asking to close or to expand while the ad shows touches neither the
    // window nor the ad.
    auto window = IVController::sharedController()->fullScreenAdWindow();
    auto banner = IVAdView::adViewForSlotNamed(NS("ivBanner"), nullptr)->controller();
    banner->dismissAnimated(false);
    banner->expand();
    EXPECT_FALSE(banner->isExpanded());
    EXPECT_EQ(window->contentController().get(), fs.get());
    EXPECT_TRUE(window->isDisplaying());

    // The ad hands a store link to another app: once this one is in the background, the ad
    // closes at once and the window is free again.
    auto store = NSURL::URLWithString(NS("http://itunes.appstore.test/app/bazaarnest"));
    app->clearOpenedURLs();
    EXPECT_FALSE(fs->webViewShouldStartLoadWithRequest(
        fs->webView().get(), NSURLRequest::requestWithURL(store.get()).get(),
        UIWebViewNavigationTypeLinkClicked));
    ASSERT_EQ(app->openedURLs()->count(), 1u);
    EXPECT_EQ(app->applicationState(), UIApplicationStateBackground);
    EXPECT_FALSE(window->contentController());
    EXPECT_FALSE(window->isDisplaying());
    EXPECT_FALSE(fs->isDisplaying());
    EXPECT_EQ(listener->events.back(), "close");
    EXPECT_EQ(app->statusBarWindow()->alpha(), 1.0f);
    // Only once: a later trip to the background finds nothing to close.
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationDidEnterBackgroundNotification, nullptr);
    EXPECT_EQ(std::count(listener->events.begin(), listener->events.end(), "close"), 1);
}

}  // namespace

// A display that fails, at once or in the script, or that closes before its content came, must
// not keep later full-screen displays out.
class IVFullScreenAdFailureTest : public IVFullScreenAdTest {
protected:
    Ref<FullScreenListener> listener_ = make<FullScreenListener>();
    Ref<IVController> controller_;
    Ref<IVFullScreenAdController> fs_;
    Ref<IVFullScreenAdWindow> window_;
    Ref<IVAdSlot> slot_;

    // Starts the engine and waits until the full-screen slot has its ad and the display script.
    void startAndWaitForTheAd() {
        controller_ = IVController::sharedController();
        ivtest::startEngineWithBannerAndFullScreen();
        IVAdEngine::setFullScreenDelegate(listener_.get(), NS("ivFullScreen"));
        ASSERT_TRUE(advanceRunLoopUntil([&] { return !listener_->events.empty(); }));
        fs_ = controller_->fullScreenAdController();
        window_ = controller_->fullScreenAdWindow();
        slot_ = controller_->adManager()->slotForName(NS("ivFullScreen"));
        ASSERT_TRUE(fs_->bridge()->isIVJSLoaded());
        ASSERT_NE(slot_->nextAdDlTime(), 0);
        // Kept so that a test can put the script's own display back.
        script("var ownDisplayAd = displayAd;");
    }
    std::string script(const char* source) {
        return text(fs_->webView()
                        ->stringByEvaluatingJavaScriptFromString(NSString::fromUTF8(source).get())
                        .get());
    }
    bool showsTheAd() {
        return script("document.body.innerHTML").find("Bazaar week") != std::string::npos;
    }
    // Nothing holds the window any more and the slot is free.
    void expectReleased() {
        EXPECT_FALSE(window_->isDisplaying());
        EXPECT_FALSE(fs_->isDisplaying());
        EXPECT_FALSE(slot_->isDisplayed());
        EXPECT_FALSE(window_->contentController());
        EXPECT_TRUE(host_->isKeyWindow());
    }
    // The next display goes through and shows the ad in the window.
    void expectALaterDisplayShows() {
        // An earlier ad's page must not pass for this one.
        script("displayAd = ownDisplayAd; document.body.innerHTML = '';");
        ASSERT_TRUE(advanceRunLoopUntil([&] { return slot_->nextAdDlTime() != 0; }));
        EXPECT_TRUE(IVAdEngine::displayFullScreenAdForSlotNamed(NS("ivFullScreen")));
        EXPECT_TRUE(window_->isDisplaying());
        ASSERT_TRUE(advanceRunLoopUntil([&] { return showsTheAd(); }));
        EXPECT_EQ(window_->contentController().get(), fs_.get());
        EXPECT_TRUE(window_->isKeyWindow());
        EXPECT_EQ(listener_->events.back(), "open");
    }
};

TEST_F(IVFullScreenAdFailureTest, AFailureReportedBeforeTheWindowOpenedGivesItBack) {
    startAndWaitForTheAd();
    int64_t waiting = slot_->nextAdDlTime();
    script(
        "displayAd = function(slot) { BridgeDisplay.notifyAdDisplayFailedForSlotNamed(slot); };");
    EXPECT_TRUE(IVAdEngine::displayFullScreenAdForSlotNamed(NS("ivFullScreen")));
    EXPECT_TRUE(window_->isDisplaying());
    EXPECT_TRUE(fs_->isDisplaying());
    ASSERT_TRUE(advanceRunLoopUntil([&] { return !window_->isDisplaying(); }));
    expectReleased();
    EXPECT_EQ(listener_->events, std::vector<std::string>{"ivFullScreen"});
    // The ad was never shown: it is still the one waiting.
    EXPECT_EQ(slot_->nextAdDlTime(), waiting);
    expectALaterDisplayShows();
    EXPECT_EQ(slot_->dlTime(), waiting);
}

TEST_F(IVFullScreenAdFailureTest, AnAdClosedBeforeItsContentCameGivesTheWindowBack) {
    startAndWaitForTheAd();
    script("displayAd = function(slot) { BridgeDisplay.dismiss(); };");
    EXPECT_TRUE(IVAdEngine::displayFullScreenAdForSlotNamed(NS("ivFullScreen")));
    ASSERT_TRUE(advanceRunLoopUntil([&] { return !window_->isDisplaying(); }));
    expectReleased();
    EXPECT_EQ(listener_->events, std::vector<std::string>{"ivFullScreen"});
    expectALaterDisplayShows();
}

TEST_F(IVFullScreenAdFailureTest, AFailureAfterTheWindowOpenedClosesIt) {
    startAndWaitForTheAd();
    // The ad's fragment is gone: the script opens the window, then finds nothing to show.
    auto dir = text(IVController::ivContentDir().get()) + "/ivFullScreen/" +
               std::to_string(slot_->nextAdDlTime());
    ASSERT_TRUE(fs::remove(dir + "/ad.html"));
    EXPECT_TRUE(IVAdEngine::displayFullScreenAdForSlotNamed(NS("ivFullScreen")));
    ASSERT_TRUE(advanceRunLoopUntil([&] { return !window_->isDisplaying(); }));
    expectReleased();
    EXPECT_FALSE(fs_->adLoadingIndicator());
    EXPECT_FALSE(UIApplication::sharedApplication()->isStatusBarHidden());
    EXPECT_EQ(listener_->events, (std::vector<std::string>{"ivFullScreen", "open", "close"}));
    // A replacement is fetched and shows.
    expectALaterDisplayShows();
}

TEST_F(IVFullScreenAdFailureTest, AFullScreenAdShowsAgainAfterItWasClosed) {
    startAndWaitForTheAd();
    EXPECT_TRUE(IVAdEngine::displayFullScreenAdForSlotNamed(NS("ivFullScreen")));
    ASSERT_TRUE(advanceRunLoopUntil([&] { return showsTheAd(); }));
    ASSERT_TRUE(advanceRunLoopUntil([&] { return !fs_->adLoadingIndicator(); }));
    fs_->dismissAnimated(false);
    expectReleased();
    expectALaterDisplayShows();
}

TEST_F(IVFullScreenAdFailureTest, ADisplayPollsInTheForegroundAndClosesTheBrowserBar) {
    startAndWaitForTheAd();
    auto bridge = fs_->bridge();
    EXPECT_EQ(bridge->execMode(), 0);
    EXPECT_DOUBLE_EQ(bridge->currentPollingInterval(), 0.5);
    // A bar left up by an earlier page goes with the next display.
    fs_->prepareAdViewBrowserMode(true);
    EXPECT_FALSE(fs_->navigationBar()->isHidden());
    EXPECT_TRUE(IVAdEngine::displayFullScreenAdForSlotNamed(NS("ivFullScreen")));
    EXPECT_EQ(fs_->execMode(), 1);
    EXPECT_EQ(bridge->execMode(), 1);
    EXPECT_DOUBLE_EQ(bridge->currentPollingInterval(), 1.0 / 15.0);
    EXPECT_FALSE(fs_->isBrowserMode());
    EXPECT_TRUE(fs_->navigationBar()->isHidden());
    ASSERT_TRUE(advanceRunLoopUntil([&] { return showsTheAd(); }));
    EXPECT_DOUBLE_EQ(bridge->currentPollingInterval(), 1.0 / 15.0);
    fs_->dismissAnimated(false);
    EXPECT_EQ(bridge->execMode(), 0);
    EXPECT_DOUBLE_EQ(bridge->currentPollingInterval(), 0.5);
}

TEST_F(IVFullScreenAdFailureTest, ADownloadWhileOfflineIsIgnored) {
    startAndWaitForTheAd();
    listener_->events.clear();
    SCNetworkReachabilitySetFlagsForTesting(0);
    controller_->adManager()->notifyListenersAdDownloadedForSlotNamed(NS("ivFullScreen"));
    advanceRunLoop(1.0);
    EXPECT_TRUE(listener_->events.empty());
    SCNetworkReachabilitySetFlagsForTesting(kSCNetworkReachabilityFlagsReachable);
    controller_->adManager()->notifyListenersAdDownloadedForSlotNamed(NS("ivFullScreen"));
    EXPECT_EQ(listener_->events, std::vector<std::string>{"ivFullScreen"});
}

// A full-screen ad stored by an earlier launch waits for the host: its display script is loaded
// once the host names a delegate, which then hears that the ad is ready, and it shows on request.
TEST_F(IVFullScreenAdFailureTest, AStoredAdWaitsForTheHostAfterARelaunch) {
    startAndWaitForTheAd();
    int64_t stored = slot_->nextAdDlTime();
    auto manager = controller_->clientManager();
    ASSERT_TRUE(advanceRunLoopUntil([&] { return !manager->isSynchronizing(); }));
    controller_->shutdown();

    auto relaunched = make<FullScreenListener>();
    listener_ = relaunched;
    controller_ = IVController::sharedController();
    ivtest::startEngineWithBannerAndFullScreen();
    fs_ = controller_->fullScreenAdController();
    window_ = controller_->fullScreenAdWindow();
    slot_ = controller_->adManager()->slotForName(NS("ivFullScreen"));
    ASSERT_TRUE(fs_);
    EXPECT_EQ(slot_->nextAdDlTime(), stored);
    EXPECT_FALSE(advanceRunLoopUntil([&] { return fs_->bridge()->isIVJSLoaded(); }, 0.05, 60));

    IVAdEngine::setFullScreenDelegate(relaunched.get(), NS("ivFullScreen"));
    ASSERT_TRUE(advanceRunLoopUntil([&] { return !relaunched->events.empty(); }));
    EXPECT_EQ(relaunched->events, std::vector<std::string>{"ivFullScreen"});
    EXPECT_TRUE(fs_->bridge()->isIVJSLoaded());
    EXPECT_TRUE(IVAdEngine::displayFullScreenAdForSlotNamed(NS("ivFullScreen")));
    ASSERT_TRUE(advanceRunLoopUntil([&] { return showsTheAd(); }));
    EXPECT_EQ(slot_->dlTime(), stored);
    EXPECT_EQ(relaunched->events.back(), "open");
}

TEST_F(IVFullScreenAdFailureTest, TheControllersOwnOperations) {
    startAndWaitForTheAd();
    // Its view takes touches from the start.
    EXPECT_TRUE(make<IVFullScreenAdController>()->view()->isUserInteractionEnabled());
    {
        LogLines log;
        fs_->setRefreshInterval(30.0);
        EXPECT_TRUE(log.has(
            "IVAdEngine ignoring attempt to set refresh interval on a full-screen IVAdView."));
        EXPECT_EQ(fs_->refreshInterval(), 0.0);
        fs_->setRefreshInterval(1.0);  // below the minimum, yet no exception either
        EXPECT_EQ(fs_->refreshInterval(), 0.0);
    }
    EXPECT_FALSE(fs_->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationPortrait));
    EXPECT_FALSE(fs_->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationLandscapeLeft));

    // A memory warning leaves the ad's page in place, shown or not.
    auto view = fs_->view();
    ASSERT_FALSE(view->window());
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationDidReceiveMemoryWarningNotification, nullptr);
    EXPECT_EQ(fs_->view().get(), view.get());
    EXPECT_EQ(fs_->webView()->superview().get(), view.get());
    EXPECT_TRUE(fs_->bridge()->isIVJSLoaded());

    // The bar's spinner item comes and goes.
    auto item = fs_->navigationItem();
    fs_->hideNavigationLoadingIndicatorItem();
    EXPECT_FALSE(item->titleView());
    fs_->showNavigationLoadingIndicatorItem();
    EXPECT_EQ(item->titleView().get(), fs_->navigationLoadingIndicator().get());

    // Delegate calls go to the delegate of the slot being shown.
    EXPECT_FALSE(fs_->notifyDelegateDidReceiveMemoryWarning());
    EXPECT_TRUE(IVAdEngine::displayFullScreenAdForSlotNamed(NS("ivFullScreen")));
    listener_->events.clear();
    EXPECT_TRUE(fs_->notifyDelegateDidReceiveMemoryWarning());
    EXPECT_TRUE(fs_->notifyDelegateFullScreenAdDisplayWillOpen());
    EXPECT_TRUE(
        fs_->sendDelegateNotification(Selector::named("ironvineFullScreenDisplayWillClose")));
    EXPECT_TRUE(fs_->sendDelegateNotification(Selector::named("ironvineAdReadyForSlotNamed:"),
                                              NS("ivFullScreen")));
    EXPECT_FALSE(fs_->sendDelegateNotification(Selector::named("somethingElse")));
    EXPECT_TRUE(fs_->notifyDelegateAdDisplayFailed());
    EXPECT_EQ(listener_->events,
              (std::vector<std::string>{"memory", "open", "close", "ivFullScreen"}));
    ASSERT_TRUE(advanceRunLoopUntil([&] { return showsTheAd(); }));
    fs_->dismissAnimated(false);
}
