#include "ads/ironvine/IVAdView.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "IronvineTesting.h"
#include "SystemConfiguration/SCNetworkReachability.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIWindow.h"
#include "ads/ironvine/IVAdManager.h"
#include "ads/ironvine/IVBase64.h"
#include "ads/ironvine/IVClientDriver.h"
#include "ads/ironvine/IVClientManager.h"
#include "ads/ironvine/IVController.h"
#include "ads/ironvine/IVDatabase.h"
#include "ads/ironvine/IVJavascriptBridge.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/services/RunningServices.h"
#include "tools/services/Services.h"

namespace fs = std::filesystem;

namespace {

class Listener : public NSObject, public IronvineDelegate {
    NS_OBJECT(Listener, NSObject)
    void ironvineAdReadyForSlotNamed(NSString* name) override { ready.push_back(text(name)); }
    std::vector<std::string> ready;
};

std::vector<std::string> hits() {
    auto* m = servicestest::services().module("ironvine");
    auto r = m->adminView("hits", {});
    std::vector<std::string> out;
    std::string body = r->body;
    for (std::size_t at = 0, nl; (nl = body.find('\n', at)) != std::string::npos; at = nl + 1)
        out.push_back(body.substr(at, nl - at));
    return out;
}

template <class F>
std::string raisedReason(F&& f) {
    try {
        f();
    } catch (ExceptionRaised& e) {
        return e.exception->name()->utf8() + ": " + e.exception->reason()->utf8();
    }
    return "";
}

class IVAdViewTest : public testing::Test {
protected:
    ManualClockScope clock_;
    void SetUp() override { ivtest::resetEngineForLaunch(); }
    void TearDown() override { ivtest::finishEngineLaunch(); }
    Ref<IVController> start() {
        auto controller = IVController::sharedController();
        ivtest::startEngineWithBannerAndFullScreen();
        return controller;
    }
};

TEST_F(IVAdViewTest, ABannerIsFetchedShownDrawnTrackedAndReplaced) {
    auto controller = start();
    auto listener = make<Listener>();
    auto view = IVAdView::adViewForSlotNamed(NS("ivBanner"), listener.get());
    EXPECT_EQ(IVAdView::adViewForSlotNamed(NS("ivBanner"), listener.get()).get(), view.get());
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->addSubview(view.get());
    window->makeKeyAndVisible();
    EXPECT_EQ(view->frame().size.width, 320);
    EXPECT_EQ(view->frame().size.height, 48);

    auto slot = controller->adManager()->slotForName(NS("ivBanner"));
    // The first install starts the driver, which fetches the banner; the view shows it.
    ASSERT_TRUE(advanceRunLoopUntil([&] { return !listener->ready.empty(); }));
    EXPECT_EQ(listener->ready, std::vector<std::string>{"ivBanner"});
    EXPECT_TRUE(IVAdEngine::isAdReadyForSlotNamed(NS("ivBanner")));
    auto page = view->controller()->webView()->stringByEvaluatingJavaScriptFromString(
        NS("document.body.innerHTML"));
    EXPECT_NE(text(page.get()).find("Bazaar deals near you"), std::string::npos);
    // Drawn: the waiting ad is the current one, its trackers are hit and a replacement comes.
    ASSERT_TRUE(advanceRunLoopUntil([&] { return slot->dlTime() != 0; }));
    int64_t first = slot->dlTime();
    EXPECT_TRUE(fs::exists(IVController::ivContentDir()->utf8() + "/ivBanner/" +
                           std::to_string(first) + "/banner.gif"));
    ASSERT_TRUE(advanceRunLoopUntil([&] { return hits().size() == 2; }));
    auto h = hits();
    std::sort(h.begin(), h.end());
    EXPECT_EQ(h,
              (std::vector<std::string>{"track/ivBanner/" + std::to_string(first) + "/impression",
                                        "track/ivBanner/" + std::to_string(first) + "/partner"}));
    ASSERT_TRUE(advanceRunLoopUntil([&] { return slot->nextAdDlTime() != 0; }));
    EXPECT_GT(slot->nextAdDlTime(), first);
    // The row of the shown ad holds the server's trackers joined.
    auto rows = controller->database()->sqlExecute(
        NSString::stringWithFormat(NS("SELECT trackers FROM ads WHERE dlTime=%qi"), first).get());
    ASSERT_EQ(rows->count(), 1u);
    auto trackers = as<NSArray>(rows->objectAtIndex(0))->objectAtIndex(0)->description()->utf8();
    EXPECT_NE(trackers.find("$$IVURL$$"), std::string::npos);
    // Expanded and back in its slot, it counts as displayed: Home and back leave it as it was.
    view->controller()->expand();
    view->controller()->dismissAnimated(false);
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationWillEnterForegroundNotification, nullptr);
    EXPECT_TRUE(view->controller()->view()->isUserInteractionEnabled());

    // Without a refresh interval the waiting replacement is not shown until the host refreshes.
    advanceRunLoop(10.0);
    EXPECT_EQ(slot->dlTime(), first);
    advanceRunLoop(5.0);
    view->refresh();
    ASSERT_TRUE(advanceRunLoopUntil([&] { return slot->dlTime() != first; }))
        << slot->dlTime() << " " << slot->nextAdDlTime() << " "
        << view->controller()->isRefreshing() << " " << listener->ready.size();
    // Shown at most one step of the wait before now.
    NSTimeInterval shownAt = Clock::now();
    EXPECT_EQ(listener->ready.size(), 2u);
    // The previous ad is gone with its folder.
    ASSERT_TRUE(advanceRunLoopUntil([&] {
        return !fs::exists(IVController::ivContentDir()->utf8() + "/ivBanner/" +
                           std::to_string(first));
    }));

    // With a 30 s interval: a manual refresh right after a display is refused with the 5 s
    // line; the replacement that arrives is shown 30 s after the display, not before.
    int64_t second = slot->dlTime();
    view->setRefreshInterval(30.0);
    LogLines log;
    view->refresh();
    EXPECT_TRUE(
        log.has("IVAdEngine: Ignoring refresh attempt because the interval of 5 seconds "
                "has not yet passed before the previous display."));
    ASSERT_TRUE(advanceRunLoopUntil([&] { return slot->nextAdDlTime() != 0; }));
    // The waits for the network moved the clock as far as real time let them: the check is
    // made at a moment counted from the display, not from them.
    ASSERT_LT(Clock::now(), shownAt + 29.9);
    advanceRunLoop(shownAt + 29.9 - Clock::now());
    EXPECT_EQ(slot->dlTime(), second);
    ASSERT_TRUE(advanceRunLoopUntil([&] { return slot->dlTime() != second; }, 0.05, 400));
    window->removeFromSuperview();
}

TEST_F(IVAdViewTest, ABannerWhoseContentWentBeforeTheQuitIsReplacedAtTheNextStart) {
    auto listener = make<Listener>();
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->makeKeyAndVisible();
    auto content = [](int64_t dlTime) {
        return IVController::ivContentDir()->utf8() + "/ivBanner/" + std::to_string(dlTime);
    };
    auto controller = start();
    auto view = IVAdView::adViewForSlotNamed(NS("ivBanner"), listener.get());
    window->addSubview(view.get());
    auto slot = controller->adManager()->slotForName(NS("ivBanner"));
    ASSERT_TRUE(advanceRunLoopUntil([&] { return slot->dlTime() != 0; }));
    ASSERT_TRUE(advanceRunLoopUntil([&] { return slot->nextAdDlTime() != 0; }));
    int64_t waiting = slot->nextAdDlTime();
    ASSERT_TRUE(advanceRunLoopUntil([&] { return fs::exists(content(waiting)); }));
    // The process ended between the removal of the waiting ad's folder and that of its row.
    fs::remove_all(content(waiting));
    view->removeFromSuperview();
    ivtest::finishEngineLaunch();
    SCNetworkReachabilitySetFlagsForTesting(kSCNetworkReachabilityFlagsReachable);
    IVController::setSessionStartForTesting(2000000);

    // The next start: the row is no ad, a new one is asked for and shown.
    controller = start();
    slot = controller->adManager()->slotForName(NS("ivBanner"));
    EXPECT_NE(slot->nextAdDlTime(), waiting);
    view = IVAdView::adViewForSlotNamed(NS("ivBanner"), listener.get());
    window->addSubview(view.get());
    ASSERT_TRUE(advanceRunLoopUntil([&] {
        return slot->dlTime() != 0 && slot->dlTime() != waiting &&
               fs::exists(content(slot->dlTime()));
    }));
    auto page = view->controller()->webView()->stringByEvaluatingJavaScriptFromString(
        NS("document.body.innerHTML"));
    EXPECT_NE(text(page.get()).find("Bazaar deals near you"), std::string::npos);
    EXPECT_EQ(controller->database()
                  ->sqlExecute(NSString::stringWithFormat(
                                   NS("SELECT dlTime FROM ads WHERE dlTime=%qi"), waiting)
                                   .get())
                  ->count(),
              0u);
    window->removeFromSuperview();
}

TEST_F(IVAdViewTest, RefreshIntervalsAndRetrieval) {
    start();
    auto listener = make<Listener>();
    EXPECT_EQ(raisedReason([&] { IVAdView::adViewForSlotNamed(NS("nope"), listener.get()); }),
              "IVAdView retrieval failure.: Attempt to retrieve a IVAdView instance using a slot "
              "name which has not been registered with the IVAdEngine.");
    auto view = IVAdView::adViewForSlotNamed(NS("ivBanner"), listener.get(), 30.0);
    EXPECT_EQ(view->controller()->refreshInterval(), 30.0);
    EXPECT_EQ(raisedReason([&] { view->setRefreshInterval(4.0); }),
              "NSInvalidArgumentException: Attempt to set refresh interval for slot named "
              "ivBanner less than the minimum value of 5 seconds");
    view->setRefreshInterval(5.0);
    EXPECT_EQ(view->controller()->refreshInterval(), 5.0);
    view->setRefreshInterval(-1);
    EXPECT_EQ(view->controller()->refreshInterval(), 0.0);
    // A second caller's delegate replaces the first's and the interval falls back to 0.
    view->setRefreshInterval(30.0);
    auto second = make<Listener>();
    EXPECT_EQ(IVAdView::adViewForSlotNamed(NS("ivBanner"), second.get()).get(), view.get());
    EXPECT_EQ(view->controller()->refreshInterval(), 0.0);
    EXPECT_EQ(view->controller()->delegate().get(), static_cast<IronvineDelegate*>(second.get()));
    // Held weakly: a freed delegate is not called.
    second = nullptr;
    EXPECT_FALSE(view->controller()->delegate());
    LogLines log;
    view->refresh();
    EXPECT_TRUE(
        log.has("IVAdEngine: Ignoring refresh attempt for slot named ivBanner because "
                "the ad currently ready to be displayed for that slot has not yet been "
                "displayed."));
    EXPECT_EQ(IVAdView::sizeForIVAdSize(3).width, 300);
    // Back in the foreground, a view that never displayed hides and asks for a refresh.
    LogLines foreground;
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationWillEnterForegroundNotification, nullptr);
    EXPECT_EQ(view->alpha(), 0);
    EXPECT_TRUE(
        foreground.has("IVAdEngine: Ignoring refresh attempt for slot named ivBanner"
                       " because the ad currently ready to be displayed for that slot has "
                       "not yet been displayed."));
}

TEST_F(IVAdViewTest, LinkPolicyBySchemeAndNavigationType) {
    start();
    auto listener = make<Listener>();
    auto view = IVAdView::adViewForSlotNamed(NS("ivBanner"), listener.get());
    auto c = view->controller();
    auto web = c->webView();
    auto app = UIApplication::sharedApplication();
    NSUInteger opened = app->openedURLs()->count();
    auto ask = [&](const char* url, UIWebViewNavigationType type) {
        return c->webViewShouldStartLoadWithRequest(
            web.get(),
            NSURLRequest::requestWithURL(NSURL::URLWithString(NSString::fromUTF8(url).get()).get())
                .get(),
            type);
    };
    EXPECT_TRUE(ask("file:///tmp/x.html", UIWebViewNavigationTypeLinkClicked));
    EXPECT_FALSE(ask("about:blank", UIWebViewNavigationTypeOther));
    // Loaded by script: in place.
    EXPECT_TRUE(ask("http://ads.ironvine.test/AdBridgeServer/landing/1.html",
                    UIWebViewNavigationTypeOther));
    EXPECT_FALSE(c->isBrowserMode());
    // Tapped: the in-ad browser takes it.
    EXPECT_FALSE(ask("http://ads.ironvine.test/AdBridgeServer/landing/1.html",
                     UIWebViewNavigationTypeLinkClicked));
    EXPECT_TRUE(c->isBrowserMode());
    EXPECT_TRUE(c->shouldWipeContentOnDismiss());
    // In browser mode every page loads in place.
    EXPECT_TRUE(ask("http://ads.ironvine.test/AdBridgeServer/landing/2.html",
                    UIWebViewNavigationTypeLinkClicked));
    c->dismiss();
    EXPECT_FALSE(c->isBrowserMode());
    // The video site's pages come through the embedded-video template.
    c->requestPage(NSURL::URLWithString(NS("http://www.videohost.test/watch?v=bazaar")).get());
    ASSERT_TRUE(advanceRunLoopUntil([&] {
        return text(c->webView()
                        ->stringByEvaluatingJavaScriptFromString(NS("document.title"))
                        .get()) == "YouTube";
    }));
    EXPECT_NE(text(c->webView()
                       ->stringByEvaluatingJavaScriptFromString(NS("document.body.innerHTML"))
                       .get())
                  .find("http://www.videohost.test/watch?v=bazaar"),
              std::string::npos);
    c->dismiss();
    // Store links and other schemes leave for their applications.
    EXPECT_FALSE(
        ask("http://itunes.appstore.test/app/bazaarnest", UIWebViewNavigationTypeLinkClicked));
    EXPECT_FALSE(ask("tel:5550100", UIWebViewNavigationTypeLinkClicked));
    EXPECT_FALSE(ask("mailto:deals@ironvine.test", UIWebViewNavigationTypeLinkClicked));
    EXPECT_FALSE(c->isBrowserMode());
    auto urls = app->openedURLs();
    ASSERT_EQ(urls->count(), opened + 3);
    EXPECT_EQ(text(as<NSURL>(urls->objectAtIndex(opened + 1))->absoluteString().get()),
              "tel:5550100");
    // "ironvine://ct" is the script's click-through; other hosts do nothing.
    web->stringByEvaluatingJavaScriptFromString(
        NS("var seen = []; function handleClickthrough(u) { seen.push(u); }"));
    EXPECT_FALSE(ask("ironvine://ct?to=x", UIWebViewNavigationTypeLinkClicked));
    EXPECT_FALSE(ask("ironvine://other?to=y", UIWebViewNavigationTypeLinkClicked));
    EXPECT_EQ(text(web->stringByEvaluatingJavaScriptFromString(NS("seen.join('|')")).get()),
              "ironvine://ct?to=x");
}

TEST_F(IVAdViewTest, TrackerTextsFetchEachPiece) {
    start();
    auto listener = make<Listener>();
    auto view = IVAdView::adViewForSlotNamed(NS("ivBanner"), listener.get());
    auto url = [](const std::string& p) {
        return IVBase64::base64StringWithData(
                   NSString::fromUTF8("http://ads.ironvine.test/AdBridgeServer/ping/" + p)
                       ->dataUsingEncoding(NSUTF8StringEncoding)
                       .get())
            ->utf8();
    };
    auto rows = NSArray::arrayWithObjects(
        {NSArray::arrayWithObject(
             NSString::fromUTF8(url("a") + "$$IVURL$$" + url("b") + "$$IVURL$$" + url("c")).get())
             .get(),
         NSArray::arrayWithObject(NS("")).get()});
    view->controller()->fetchUrlsStashedInDB(rows.get());
    ASSERT_TRUE(advanceRunLoopUntil([] { return hits().size() >= 3; }));
    auto h = hits();
    std::sort(h.begin(), h.end());
    EXPECT_EQ(h, (std::vector<std::string>{"ping/a", "ping/b", "ping/c"}));
}

}  // namespace
