// The in-app browser against the advertiser's stand-in pages: the kept load and its referrer,
// the toolbar while a page loads, the navigation counts, the hand-offs, and the banner's click
// that opens it. Also the client's built-in images.
#include "ads/pebble/PBLBrowserController.h"

#include "CoreGraphics/CGImage.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSURL.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIToolbar.h"
#include "ads/pebble/PBLFullScreenTesting.h"
#include "ads/pebble/PBLHosts.h"
#include "ads/pebble/PBLObjectPrivate.h"
#include "ads/pebble/PBLRequest.h"
#include "ads/pebble/PBLStatistics.h"
#include "platform/UIKit/DrawingTesting.h"

namespace {

Ref<NSURL> url(const char* text) {
    return NSURL::URLWithString(NSString::fromUTF8(text));
}

class PBLBrowserControllerTest : public PBLFullScreenTest {
protected:
    Ref<PBLBrowserController> present(const char* page, const char* referrer = nullptr) {
        auto browser = make<PBLBrowserController>();
        browser->load(url(page).get(), referrer ? url(referrer).get() : nullptr);
        browser->setDelegateManager(manager.get());
        browser->presentFromViewController(root.get());
        return browser;
    }
    // Until the page whose path starts so has been asked for and the web view is done.
    bool loaded(PBLBrowserController* browser, const std::string& path, size_t times = 1) {
        return runLoopUntil(
            [&] { return targets(path).size() >= times && !browser->webView()->isLoading(); });
    }
    static std::vector<std::string> labels(PBLBrowserController* browser) {
        std::vector<std::string> out;
        for (auto* item : *browser->toolbar()->items()) {
            auto bar = as<UIBarButtonItem>(item);
            out.push_back(bar->isSpace() ? "-" : text(bar->accessibilityLabel()));
        }
        return out;
    }
    static int count(const char* key) {
        auto n = PBLStatistics::sharedStatistics()->core()->numberForKey(NSString::fromUTF8(key));
        return n ? int(n->intValue()) : 0;
    }
};

TEST_F(PBLBrowserControllerTest, TheLastLoadAskedForStartsWhenTheScreenAppearsWithItsReferrer) {
    auto browser = make<PBLBrowserController>();
    browser->load(url("http://shop.advertiser.test/garden").get(),
                  url("http://ads.pebbleads.test/first").get());
    browser->load(nullptr);  // ignored
    browser->load(url("http://shop.advertiser.test/offer?n=2").get(),
                  url("http://ads.pebbleads.test/page?n=2").get());
    EXPECT_FALSE(browser->webView());
    browser->setDelegateManager(manager.get());
    browser->presentFromViewController(root.get());
    ASSERT_TRUE(browser->webView());
    ASSERT_TRUE(loaded(browser.get(), "/offer"));
    EXPECT_TRUE(targets("/garden").empty());
    EXPECT_EQ(header("/offer?n=2", "Referer"), "http://ads.pebbleads.test/page?n=2");
    EXPECT_TRUE(browser->webView()->scalesPageToFit());
    EXPECT_EQ(browser->webView()->dataDetectorTypes(), UIDataDetectorTypeAll);
    EXPECT_TRUE(browser->webView()->allowsInlineMediaPlayback());
    EXPECT_FALSE(browser->webView()->mediaPlaybackRequiresUserAction());

    // The page followed later carries no referrer of ours.
    ASSERT_TRUE(browser->webView()->clickElementAtIndex(1))
        << text(browser->webView()->readableText());
    ASSERT_TRUE(loaded(browser.get(), "/garden"));
    EXPECT_NE(header("/garden", "Referer"), "http://ads.pebbleads.test/page?n=2");
}

TEST_F(PBLBrowserControllerTest, TheToolbarFollowsTheHistoryAndShowsTheSpinnerWhileLoading) {
    auto browser = present("http://shop.advertiser.test/offer");
    ASSERT_TRUE(loaded(browser.get(), "/offer"));
    auto bar = browser->toolbar();
    EXPECT_EQ(bar->frame().size.height, 44);
    EXPECT_EQ(CGRectGetMaxY(bar->frame()), CGRectGetMaxY(browser->view()->bounds()));
    EXPECT_EQ(CGRectGetMaxY(browser->webView()->frame()), bar->frame().origin.y);
    EXPECT_EQ(labels(browser.get()),
              (std::vector<std::string>{"Back", "-", "Forward", "-", "Reload", "-",
                                        "View in Safari", "-", "Done"}));
    auto v = browser->vars();
    EXPECT_FALSE(v->backButton_->isEnabled());
    EXPECT_FALSE(v->forwardButton_->isEnabled());
    EXPECT_TRUE(v->safariButton_->isEnabled());
    EXPECT_EQ(v->backButton_->width(), 27);
    EXPECT_EQ(v->spinnerContainingButton_->width(), 20);
    EXPECT_TRUE(v->doneButton_->isAccessibilityElement());

    standin::Fault hold;
    hold.host = "shop.advertiser.test";
    hold.path = "/slow";
    hold.gate = "slow page";
    services->addFault(hold);
    ASSERT_TRUE(browser->webView()->clickElementAtIndex(4));
    ASSERT_TRUE(runLoopUntil([&] { return targets("/slow").size() == 1; }));
    advanceRunLoop(0.01);
    ASSERT_TRUE(browser->webView()->isLoading());
    EXPECT_EQ(labels(browser.get())[4], "Spinner");
    EXPECT_TRUE(v->spinner_->isAnimating());
    EXPECT_FALSE(v->safariButton_->isEnabled());
    services->gate("slow page")->open();
    ASSERT_TRUE(loaded(browser.get(), "/slow"));
    EXPECT_EQ(labels(browser.get())[4], "Reload");
    EXPECT_FALSE(v->spinner_->isAnimating());
    EXPECT_TRUE(v->safariButton_->isEnabled());
    EXPECT_TRUE(v->backButton_->isEnabled());
    EXPECT_FALSE(v->forwardButton_->isEnabled());

    ASSERT_TRUE(v->backButton_->sendAction());
    ASSERT_TRUE(runLoopUntil([&] { return !browser->webView()->isLoading(); }));
    EXPECT_NE(text(browser->webView()->readableText()).find("Offers"), std::string::npos);
    EXPECT_FALSE(v->backButton_->isEnabled());
    EXPECT_TRUE(v->forwardButton_->isEnabled());
}

TEST_F(PBLBrowserControllerTest, OnAPhoneInLandscapeTheToolbarIsThirtyPointsHigh) {
    auto app = UIApplication::sharedApplication();
    app->setStatusBarOrientation(UIInterfaceOrientationLandscapeLeft);
    auto browser = present("http://shop.advertiser.test/offer");
    app->setStatusBarOrientation(UIInterfaceOrientationPortrait);
    ASSERT_TRUE(browser->toolbar());
    EXPECT_EQ(browser->toolbar()->frame().size.height, 30);
    ASSERT_TRUE(loaded(browser.get(), "/offer"));
    // A turn is told to the page.
    browser->webView()->stringByEvaluatingJavaScriptFromString(
        NS("window.onorientationchange = function() { document.title = 'turned'; };"));
    ASSERT_TRUE(browser->rotateToInterfaceOrientation(UIInterfaceOrientationLandscapeRight, 0));
    EXPECT_EQ(text(browser->webView()->stringByEvaluatingJavaScriptFromString(
                  NS("String(window.orientation) + ' ' + document.title"))),
              "90 turned");
}

TEST_F(PBLBrowserControllerTest, LinkAndFormNavigationsAreCountedBySchemeAndTheStoreIsHandedOff) {
    auto browser = present("http://shop.advertiser.test/offer");
    ASSERT_TRUE(loaded(browser.get(), "/offer"));
    EXPECT_EQ(count("plpnc"), 0);  // the page we opened is no navigation of the person's
    ASSERT_TRUE(browser->webView()->clickElementAtIndex(1));
    ASSERT_TRUE(loaded(browser.get(), "/garden"));
    EXPECT_EQ(count("plpnc"), 1);
    ASSERT_TRUE(browser->webView()->enterTextInElementAtIndex(5, NS("rake")));
    ASSERT_TRUE(browser->webView()->clickElementAtIndex(6));
    ASSERT_TRUE(loaded(browser.get(), "/search?q=rake"));
    EXPECT_EQ(count("plpnc"), 2);
    EXPECT_EQ(count("plpsnc"), 0);
    ASSERT_TRUE(browser->webView()->clickElementAtIndex(2));
    ASSERT_TRUE(runLoopUntil([&] { return count("plpsnc") == 1; }));
    ASSERT_TRUE(runLoopUntil([&] { return !browser->webView()->isLoading(); }));
    EXPECT_EQ(count("plpnc"), 2);
    // The store's address comes as a redirect: the system opens it, the page stays.
    browser->back();
    ASSERT_TRUE(runLoopUntil([&] { return !browser->webView()->isLoading(); }));
    auto before = text(browser->webView()->readableText());
    ASSERT_TRUE(browser->webView()->clickElementAtIndex(3));
    ASSERT_TRUE(runLoopUntil(
        [] { return UIApplication::sharedApplication()->openedURLs()->count() == 1; }));
    EXPECT_EQ(text(UIApplication::sharedApplication()->openedURLs()->objectAtIndex(0)),
              "itms-apps://store.test/app/1");
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"will present", "leaving"}));
    ASSERT_TRUE(runLoopUntil([&] { return !browser->webView()->isLoading(); }));
    EXPECT_EQ(text(browser->webView()->readableText()), before);
}

TEST_F(PBLBrowserControllerTest, ATapOnTheBannersLinkOpensTheBrowserAndTheBannerWaitsForIt) {
    auto banner = make<PBLBannerView>(&PBLBannerView::initWithFrame, CGRectMake(0, 0, 320, 50));
    banner->setAdUnitID(NS("banner"));
    banner->setDelegate(recorder.get());
    banner->setRootViewController(root.get());
    root->view()->addSubview(banner.get());
    banner->loadRequest(nullptr);
    ASSERT_TRUE(runLoopUntil([&] { return !recorder->events.empty(); }));
    ASSERT_EQ(recorder->events, std::vector<std::string>{"received"});
    auto engine = banner->privateObject();
    EXPECT_EQ(engine->scheduledReloadSeconds(), 30);

    ASSERT_TRUE(banner->webView()->clickElementAtIndex(1));  // Shop now
    ASSERT_TRUE(runLoopUntil([&] { return topScreen(); }));
    auto browser = as<PBLBrowserController>(topScreen());
    ASSERT_TRUE(browser);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"received", "will present"}));
    EXPECT_EQ(engine->scheduledReloadSeconds(), 0);  // no refresh under the screen
    ASSERT_TRUE(loaded(browser.get(), "/offer"));
    // The click went through the ad's redirect, referred by the ad's page.
    ASSERT_EQ(targets("/aclk").size(), 1u);
    EXPECT_EQ(header(targets("/aclk")[0], "Referer").rfind("http://" PBL_AD_HOST "/pbma/ad?", 0),
              0u);

    // "View in Safari": the page goes to the system, marked for the next ad request.
    ASSERT_TRUE(browser->vars()->safariButton_->sendAction());
    ASSERT_TRUE(runLoopUntil(
        [] { return UIApplication::sharedApplication()->openedURLs()->count() == 1; }));
    EXPECT_EQ(text(UIApplication::sharedApplication()->openedURLs()->objectAtIndex(0)),
              "http://shop.advertiser.test/offer");

    {
        NSAutoreleasePool pool;
        ASSERT_TRUE(browser->vars()->doneButton_->sendAction());
        browser = nullptr;
        pool.drain();
    }
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"received", "will present", "leaving",
                                                          "will dismiss", "did dismiss"}));
    EXPECT_FALSE(root->modalViewController());
    EXPECT_EQ(engine->scheduledReloadSeconds(), 30);
    advanceRunLoop(30);
    ASSERT_TRUE(runLoopUntil([&] { return targets("/pbma/ad?").size() == 2; }));
    auto next = targets("/pbma/ad?")[1];
    auto fields = standin::parseQuery(next.substr(next.find('?') + 1));
    EXPECT_EQ(standin::fieldValue(fields, "pcbo"), "1") << next;
    banner->removeFromSuperview();
}

// ---- the built-in images -----------------------------------------------------------------------

TEST(PBLIntrinsicImagesTest, TheImagesAreOurDrawingsAtDoubleResolution) {
    auto close = PBLIntrinsicImages::closeButton();
    ASSERT_TRUE(close);
    EXPECT_EQ(close.get(), PBLIntrinsicImages::closeButton().get());  // made once
    EXPECT_EQ(close->scale(), 2);
    EXPECT_EQ(close->size().width, 25);
    auto badge = UIImagePixelsOf(close->CGImage());
    EXPECT_EQ(pixelAt(badge, 0, 0).a, 0);  // outside the round badge
    RGBA middle = pixelAt(badge, 25, 25);  // the cross
    EXPECT_GT(middle.r, 200);
    EXPECT_GT(middle.a, 200);
    RGBA field = pixelAt(badge, 25, 10);  // the black between the arms
    EXPECT_LT(field.r, 50);
    EXPECT_GT(field.a, 200);

    auto back = PBLIntrinsicImages::browserBackButton();
    auto forward = PBLIntrinsicImages::browserForwardButton();
    ASSERT_TRUE(back && forward);
    EXPECT_EQ(back->size().width, 27);
    EXPECT_EQ(forward->size().height, 27);
    auto left = UIImagePixelsOf(back->CGImage());
    auto right = UIImagePixelsOf(forward->CGImage());
    // The back arrow's point is on the left, the forward arrow's on the right.
    EXPECT_GT(pixelAt(left, 16, 27).a, 200);
    EXPECT_EQ(pixelAt(left, 16, 20).a, 0);
    EXPECT_GT(pixelAt(left, 38, 20).a, 200);
    EXPECT_GT(pixelAt(right, 38, 27).a, 200);
    EXPECT_EQ(pixelAt(right, 38, 20).a, 0);
    EXPECT_GT(pixelAt(right, 16, 20).a, 200);
    EXPECT_GT(pixelAt(right, 27, 27).r, 200);
    EXPECT_FALSE(PBLIntrinsicImages::createImageFromEncoding(NS("not*base64")));
}

}  // namespace
