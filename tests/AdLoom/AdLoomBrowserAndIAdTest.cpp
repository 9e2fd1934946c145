// The in-app browser (its tool bar by state, transitions, mail links, closing once) with the
// advertiser's page from the stand-in server, and the platform banner as a network.
#include "AdLoom/adapters/AdLoomAdapterIAd.h"
#include "AdLoom/internal/AdLoomWebBrowserController.h"
#include "AdLoomTesting.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIToolbar.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "ads/tally/TallyAdAppStoreConnectionDelegate.h"
#include "iAd/ADBannerView.h"

using namespace adloomtest;

namespace {

class Closer : public NSObject, public AdLoomWebBrowserControllerDelegate {
    NS_OBJECT(Closer, NSObject)
    void webBrowserClosed(AdLoomWebBrowserController*) override { ++closed; }
    int closed = 0;
};

class AdLoomBrowserTest : public AdLoomServiceTest {
protected:
    void SetUp() override {
        AdLoomServiceTest::SetUp();
        previousLoader_ = UIWebView::setURLLoader(UIWebViewConnectionLoader());
        window = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
        window->makeKeyAndVisible();
        presenter = make<UIViewController>();
        window->addSubview(presenter->view().get());
        UIApplication::sharedApplication()->clearOpenedURLs();
    }
    void TearDown() override {
        if (presenter->modalViewController()) presenter->dismissModalViewControllerAnimated(false);
        UIWebView::setURLLoader(previousLoader_);
        window = nullptr;
        AdLoomServiceTest::TearDown();
    }
    Ref<UIWindow> window;
    Ref<UIViewController> presenter;
    UIWebViewURLLoader previousLoader_;
};

TEST_F(AdLoomBrowserTest, TheToolBarShowsStopWhileLoadingAndReloadOnceLoaded) {
    auto browser = make<AdLoomWebBrowserController>();
    auto closer = make<Closer>();
    browser->setDelegate(closer.get());
    browser->presentWithController(presenter.get(), 3);
    EXPECT_EQ(browser->modalTransitionStyle(), UIModalTransitionStyleCoverVertical);
    EXPECT_EQ(presenter->modalViewController().get(), browser.get());
    auto items = browser->toolBar->items();
    EXPECT_FALSE(browser->loadedButtons()->containsObject(browser->stopButton.get()));
    EXPECT_TRUE(browser->loadedButtons()->containsObject(browser->reloadButton.get()));
    EXPECT_FALSE(browser->loadingButtons()->containsObject(browser->reloadButton.get()));
    EXPECT_TRUE(browser->loadingButtons()->containsObject(browser->stopButton.get()));
    EXPECT_TRUE(is<AdLoomBackButton>(browser->backButton));
    EXPECT_NE(browser->backButton->image(), nullptr);

    browser->loadURL(NSURL::URLWithString(NS("http://mediation.adloom.test/advertiser/1")).get());
    EXPECT_TRUE(browser->toolBar->items()->containsObject(browser->stopButton.get()));
    EXPECT_TRUE(browser->stopButton->isEnabled());
    EXPECT_FALSE(browser->reloadButton->isEnabled());
    EXPECT_TRUE(UIApplication::sharedApplication()->isNetworkActivityIndicatorVisible());
    ASSERT_TRUE(runLoopUntil([&] { return !browser->webView->isLoading(); }));
    EXPECT_EQ(text(browser->webView->pageTitle()), "Advertiser 1");
    EXPECT_FALSE(browser->toolBar->items()->containsObject(browser->stopButton.get()));
    EXPECT_TRUE(browser->reloadButton->isEnabled());
    EXPECT_FALSE(browser->stopButton->isEnabled());
    EXPECT_TRUE(browser->linkOutButton->isEnabled());
    EXPECT_FALSE(UIApplication::sharedApplication()->isNetworkActivityIndicatorVisible());

    // The indicator is every owner's: a store link's follow, held at the services, keeps it on
    // after the page loaded again, and goes off as the follow is called off.
    auto gate = services->gate("follow");
    services->addFault({.host = "", .path = "/getIPhoneApp.do", .gate = "follow"});
    auto follow = make<TallyAdAppStoreConnectionDelegate>()->openReferralURL(
        NSURL::URLWithString(NS("http://ads.tally.test/getIPhoneApp.do")).get());
    ASSERT_TRUE(runLoopUntil([&] { return gate->waiting() == 1; }));
    browser->reload(nullptr);
    ASSERT_TRUE(runLoopUntil([&] { return !browser->webView->isLoading(); }));
    EXPECT_TRUE(UIApplication::sharedApplication()->isNetworkActivityIndicatorVisible());
    follow->cancel();
    gate->open();
    EXPECT_TRUE(runLoopUntil(
        [] { return !UIApplication::sharedApplication()->isNetworkActivityIndicatorVisible(); }));

    // A link inside the page loads there; back returns.
    ASSERT_TRUE(browser->webView->clickElementAtIndex(1));
    ASSERT_TRUE(runLoopUntil([&] {
        return browser->webView->request() &&
               text(browser->webView->request()->URL()->path()) == "/advertiser/1/more" &&
               !browser->webView->isLoading();
    }));
    EXPECT_TRUE(browser->backButton->isEnabled());

    // The mail link goes to the mail application.
    browser->back(nullptr);
    ASSERT_TRUE(runLoopUntil([&] { return !browser->webView->isLoading(); }));
    ASSERT_TRUE(browser->webView->clickElementAtIndex(2));
    ASSERT_TRUE(runLoopUntil(
        [&] { return UIApplication::sharedApplication()->openedURLs()->count() == 1; }));
    EXPECT_EQ(text(as<NSURL>(UIApplication::sharedApplication()->openedURLs()->objectAtIndex(0))
                       ->scheme()),
              "mailto");

    // Open outside hands the page's URL on; close dismisses and tells the delegate once.
    browser->linkOut(nullptr);
    EXPECT_EQ(UIApplication::sharedApplication()->openedURLs()->count(), 2u);
    browser->close(nullptr);
    advanceRunLoop(1);
    EXPECT_EQ(presenter->modalViewController(), nullptr);
    EXPECT_EQ(closer->closed, 1);
    (void)items;
}

TEST_F(AdLoomBrowserTest, CloseDismissesItAfterTheControllerThatAskedIsGone) {
    // The controller asked to present already presents a screen: the browser goes over that
    // one, and the asker may go while the browser is up.
    auto asker = make<UIViewController>();
    window->addSubview(asker->view().get());
    auto cover = make<UIViewController>();
    asker->presentModalViewController(cover.get(), false);
    auto browser = make<AdLoomWebBrowserController>();
    auto closer = make<Closer>();
    browser->setDelegate(closer.get());
    browser->presentWithController(asker.get(), 0);
    ASSERT_EQ(cover->modalViewController().get(), browser.get());
    asker = nullptr;
    ASSERT_TRUE(browser->view()->window());
    browser->close(nullptr);
    advanceRunLoop(1);
    EXPECT_EQ(cover->modalViewController(), nullptr);
    EXPECT_FALSE(browser->view()->window());
    EXPECT_EQ(closer->closed, 1);
}

TEST_F(AdLoomBrowserTest, TransitionsFollowTheAdsAnimationNumber) {
    const std::pair<int, UIModalTransitionStyle> cases[] = {
        {7, UIModalTransitionStyleCrossDissolve},  {1, UIModalTransitionStyleFlipHorizontal},
        {2, UIModalTransitionStyleFlipHorizontal}, {3, UIModalTransitionStyleCoverVertical},
        {0, UIModalTransitionStyleCoverVertical},
    };
    for (auto [number, style] : cases) {
        auto browser = make<AdLoomWebBrowserController>();
        browser->presentWithController(presenter.get(), number);
        EXPECT_EQ(browser->modalTransitionStyle(), style) << number;
        presenter->dismissModalViewControllerAnimated(false);
    }
}

TEST_F(AdLoomBrowserTest, ShowingAgainStartsFromAFreshWebView) {
    auto browser = make<AdLoomWebBrowserController>();
    browser->presentWithController(presenter.get(), 0);
    browser->loadURL(NSURL::URLWithString(NS("http://mediation.adloom.test/advertiser/2")).get());
    ASSERT_TRUE(runLoopUntil([&] { return !browser->webView->isLoading(); }));
    auto first = browser->webView;
    presenter->dismissModalViewControllerAnimated(false);
    browser->presentWithController(presenter.get(), 0);
    EXPECT_NE(browser->webView.get(), first.get());
    EXPECT_EQ(browser->webView->superview().get(), browser->view().get());
    EXPECT_EQ(first->superview(), nullptr);
    EXPECT_EQ(browser->webView->request(), nullptr);
    EXPECT_EQ(browser->webView->tag(), first->tag());
}

// ---- the platform banner -----------------------------------------------------------------

class AdLoomIAdTest : public AdLoomServiceTest {
protected:
    void TearDown() override {
        iad_testing::setLoadsFail(false);
        AdLoomServiceTest::TearDown();
    }
    Ref<ADBannerView> iAdBanner(AdLoomView* view) {
        return as<ADBannerView>(view->viewWithTag(kAdLoomViewAdSubViewTag));
    }
};

TEST_F(AdLoomIAdTest, TheBannerLoadsShowsWithoutFadingAndPings) {
    ASSERT_TRUE(mediation->weightTo("iad"));  // its configuration fades (transition 7)
    auto host = makeHost();
    host->appKey = NSString::fromUTF8(bnservices::MediationModule::kAppKey);
    auto view = banner(host.get());
    ASSERT_TRUE(runLoopUntil([&] { return view->currAdapter() != nullptr; }));
    EXPECT_EQ(view->config()->bannerAnimationType(), 7);
    EXPECT_EQ(iAdBanner(view.get()), nullptr);  // nothing until the banner loads
    advanceRunLoop(1);
    auto first = iAdBanner(view.get());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->frame().origin.x, 0);
    EXPECT_EQ(text(first->currentContentSizeIdentifier()),
              text(ADBannerContentSizeIdentifierPortrait));
    EXPECT_EQ(first->requiredContentSizeIdentifiers()->count(), 2u);
    ASSERT_TRUE(waitForPings(1));
    EXPECT_EQ(mediation->pings()[0].kind, "impression");
    EXPECT_EQ(mediation->pings()[0].type, "19");
    EXPECT_EQ(mediation->pings()[0].nid, "iad");

    // The next refresh brings a new banner, swapped in at once: no fade for the platform's ad.
    advanceRunLoop(29);
    EXPECT_EQ(UIView::runningAnimationCount(), 0u);
    advanceRunLoop(1.5);
    auto second = iAdBanner(view.get());
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second.get(), first.get());
    EXPECT_EQ(first->superview(), nullptr);
    EXPECT_EQ(UIView::runningAnimationCount(), 0u);
    EXPECT_EQ(view->subviewList().size(), 1u);
}

TEST_F(AdLoomIAdTest, OrientationFullScreenAndFailure) {
    ASSERT_TRUE(mediation->weightTo("iad"));
    auto host = makeHost();
    host->appKey = NSString::fromUTF8(bnservices::MediationModule::kAppKey);
    host->answer({"adLoomCurrentOrientation"});
    host->orientation = UIInterfaceOrientationLandscapeRight;  // 4
    auto view = banner(host.get());
    ASSERT_TRUE(runLoopUntil([&] { return view->currAdapter() != nullptr; }));
    auto adapter = as<AdLoomAdapterIAd>(view->currAdapter());
    ASSERT_NE(adapter, nullptr);
    auto banner = as<ADBannerView>(adapter->adNetworkView());
    EXPECT_EQ(text(banner->currentContentSizeIdentifier()),
              text(ADBannerContentSizeIdentifierLandscape));
    view->rotateToOrientation(UIInterfaceOrientationPortrait);
    EXPECT_EQ(text(banner->currentContentSizeIdentifier()),
              text(ADBannerContentSizeIdentifierPortrait));
    advanceRunLoop(1);
    ASSERT_EQ(iAdBanner(view.get()).get(), banner.get());

    banner->adTapped();
    EXPECT_EQ(host->events.back(), "modal up");
    EXPECT_TRUE(view->showingModalView());
    banner->closeAction();
    EXPECT_EQ(host->events.back(), "modal down");
    EXPECT_FALSE(view->showingModalView());

    // A failing load rolls over; with no other network the host hears 120.
    iad_testing::setLoadsFail(true);
    advanceRunLoop(30);
    EXPECT_EQ(host->events.back(), "failed 120");
}

}  // namespace
