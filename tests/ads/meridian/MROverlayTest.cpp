// Taps on HTML ads and the overlay browser against the stand-in Meridian service: the tap and
// open rules, links inside the overlay, its bars and polls, the close order, the modal box.
#include "ads/meridian/MROverlayView.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSURL.h"
#include "UIKit/UIAccelerometer.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIToolbar.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWindow.h"
#include "ads/meridian/MRGenericAdView.h"
#include "ads/meridian/MRHTMLAdView.h"
#include "ads/meridian/MeridianTesting.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/FoundationTesting.h"

namespace {

class MROverlayTest : public MeridianTest {
protected:
    void SetUp() override {
        MeridianTest::SetUp();
        window = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
        window->makeKeyAndVisible();
        // The screen's content, as a root controller's view would be.
        root = make<UIView>(&UIView::initWithFrame, window->bounds());
        window->addSubview(root.get());
        UIApplication::sharedApplication()->clearOpenedURLs();
        auto center = NSNotificationCenter::defaultCenter();
        statusObserver_ = center->addObserverForName(NS("MRShowStatusBarIfNeeded"), nullptr,
                                                     [this](NSNotification*) { statusPosts++; });
    }
    void TearDown() override {
        NSNotificationCenter::defaultCenter()->removeObserver(statusObserver_.get());
        for (auto& v : views)
            if (auto overlay = cast<MRGenericAdView>(v)->overlayView()) overlay->close();
        advanceRunLoop(1);
        window->setHidden(true);
        root = nullptr;
        window = nullptr;
        UIApplication::sharedApplication()->clearOpenedURLs();
        MeridianTest::TearDown();
    }
    // A banner on screen with its ad shown.
    Ref<MRGenericAdView> shownBanner(const char* apid, bool startTimer = true) {
        auto view = cast<MRGenericAdView>(banner(apid, true, startTimer));
        root->addSubview(view.get());
        EXPECT_TRUE(eventsSettled(1));
        advanceRunLoop(1);  // the cross-fade
        return view;
    }
    Ref<UIWebView> adPage(MRGenericAdView* view) {
        return view->htmlAdView()->showingWebView()->webView();
    }
    // Clicks the element of the page numbered as the text shows it, and lets the run loop decide.
    static void click(UIWebView* page, NSUInteger number) {
        ASSERT_TRUE(page->clickElementAtIndex(number)) << text(page->readableText().get());
        advanceRunLoop(0.01);
    }
    bool pageShows(UIWebView* page, const std::string& words) {
        return runLoopUntil([&] {
            return !page->isLoading() &&
                   text(page->readableText().get()).find(words) != std::string::npos;
        });
    }
    std::vector<std::string> opened() {
        std::vector<std::string> out;
        auto urls = UIApplication::sharedApplication()->openedURLs();
        for (NSUInteger i = 0; i < urls->count(); i++)
            out.push_back(text(as<NSURL>(urls->objectAtIndex(i))->absoluteString().get()));
        return out;
    }

    Ref<UIWindow> window;
    Ref<UIView> root;
    int statusPosts = 0;

private:
    Ref<NSObject> statusObserver_;
};

TEST_F(MROverlayTest, ATapOpensTheOverlayWhichLoadsTheClickInsideAndClosesForATelLink) {
    auto view = shownBanner("html");
    ASSERT_NE(view->refreshAdTimer(), nullptr);
    recorder->events.clear();
    click(adPage(view.get()).get(), 1);  // "Order now", through the click tracker
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"tapped", "modal will appear", "modal did appear"}));
    auto overlay = view->overlayView();
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay->overlayType(), MROverlayTypeFullScreen);
    EXPECT_EQ(view->refreshAdTimer(), nullptr);  // no refresh while the overlay is open
    EXPECT_EQ(overlay->superview(), root);       // the window's one content view hosts it
    // Below the status bar, the bottom bar with its close button (no title bar).
    EXPECT_TRUE(CGRectEqualToRect(overlay->frame(), CGRectMake(0, 20, 320, 460)));
    ASSERT_TRUE(pageShows(overlay->webView().get(), "Fresh bread, page 1"));
    EXPECT_EQ(targets("/handleClick.php5?").size(), 1u);
    ASSERT_NE(overlay->bottomBar(), nullptr);
    EXPECT_EQ(overlay->titleBar(), nullptr);
    EXPECT_EQ(overlay->bottomBar()->items()->count(), 4u);
    EXPECT_TRUE(overlay->closeButton()->isEnabled());
    EXPECT_FALSE(overlay->backArrow()->isEnabled());
    EXPECT_FLOAT_EQ(overlay->webView()->frame().size.height, 460 - 44);

    // A link inside moves on: the bar is enabled and back can go back.
    click(overlay->webView().get(), 1);
    ASSERT_TRUE(pageShows(overlay->webView().get(), "Fresh bread, page 2"));
    EXPECT_TRUE(overlay->backArrow()->isEnabled());
    EXPECT_FALSE(overlay->forwardArrow()->isEnabled());

    // A telephone link leaves the program: the overlay closes first, then the hand-off.
    click(overlay->webView().get(), 2);
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"tapped", "modal will appear", "modal did appear",
                                        "modal dismissed", "leaving"}));
    EXPECT_EQ(opened(), std::vector<std::string>{"tel:5550199"});
    EXPECT_EQ(statusPosts, 1);
    EXPECT_EQ(view->overlayView(), nullptr);
    EXPECT_NE(view->refreshAdTimer(), nullptr);  // restarted as the overlay went
    EXPECT_EQ(overlay->superview(), root);       // still fading out
    EXPECT_FALSE(overlay->isPolling());
    advanceRunLoop(0.3);
    EXPECT_EQ(overlay->superview(), nullptr);
}

TEST_F(MROverlayTest, LinksThatLeaveTheProgramGoOutWithoutAnOverlay) {
    auto view = shownBanner("html");
    recorder->events.clear();
    click(adPage(view.get()).get(), 3);  // "Call"
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"tapped", "leaving"}));
    EXPECT_EQ(view->overlayView(), nullptr);
    EXPECT_EQ(view->refreshAdTimer(), nullptr);
    click(adPage(view.get()).get(), 4);  // "Menu", in the platform's browser
    EXPECT_EQ(opened(), (std::vector<std::string>{"tel:5550199", "http://www.bakery.test/menu"}));
    EXPECT_EQ(view->overlayView(), nullptr);
}

TEST_F(MROverlayTest, TheOpenInBrowserHeaderSendsTapsOutside) {
    auto view = shownBanner("open-in-browser");
    EXPECT_TRUE(view->openClickInBrowser());
    recorder->events.clear();
    click(adPage(view.get()).get(), 1);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"tapped", "leaving"}));
    ASSERT_EQ(opened().size(), 1u);
    EXPECT_EQ(opened()[0].rfind("http://ads.meridian.test/handleClick.php5?ad=1", 0), 0u);
    EXPECT_EQ(view->overlayView(), nullptr);
}

TEST_F(MROverlayTest, AnAdThatOpensItselfShowsItsPageInTheOverlayAtOnce) {
    auto view = shownBanner("opens-itself");
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"succeeded", "modal will appear", "modal did appear"}));
    auto overlay = view->overlayView();
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(view->refreshAdTimer(), nullptr);
    ASSERT_TRUE(pageShows(overlay->webView().get(), "Fresh bread, page 1"));
    // The page asks to close itself: the overlay's poll closes it.
    click(overlay->webView().get(), 3);  // "Done"
    ASSERT_TRUE(pageShows(overlay->webView().get(), "page 3"));
    advanceRunLoop(1);
    EXPECT_EQ(view->overlayView(), nullptr);
    EXPECT_EQ(recorder->events.back(), "modal dismissed");
}

TEST_F(MROverlayTest, LinksInsideTheOverlayToMapsAndTheStoreLeaveTheProgram) {
    auto view = shownBanner("html");
    click(adPage(view.get()).get(), 1);
    auto overlay = view->overlayView();
    ASSERT_TRUE(pageShows(overlay->webView().get(), "Fresh bread, page 1"));
    click(overlay->webView().get(), 4);  // "Find us"
    EXPECT_EQ(opened(), std::vector<std::string>{"maps://maps.mapsite.test/?q=bakery"});
    EXPECT_EQ(view->overlayView(), nullptr);
    advanceRunLoop(1);

    // The store link goes through the click tracker, whose answer sends it to the store.
    click(adPage(view.get()).get(), 2);
    overlay = view->overlayView();
    ASSERT_NE(overlay, nullptr);
    ASSERT_TRUE(runLoopUntil([&] { return opened().size() == 2; }));
    EXPECT_EQ(opened()[1], "http://itunes.appstore.test/app/7");
    EXPECT_EQ(view->overlayView(), nullptr);
}

TEST_F(MROverlayTest, ModalAdsGetTheirBoxColoursAndBorder) {
    auto view = shownBanner("modal");
    click(adPage(view.get()).get(), 1);
    auto overlay = view->overlayView();
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay->overlayType(), MROverlayTypeModal);
    EXPECT_DOUBLE_EQ(overlay->transitionDuration(), 0.8);  // from the ad's default
    auto app = UIScreen::mainScreen()->applicationFrame();
    advanceRunLoop(2);  // the bounce
    EXPECT_TRUE(CGRectEqualToRect(overlay->frame(), CGRectMake(20, app.origin.y + 60, 280, 300)));
    EXPECT_EQ(text(overlay->headerTitle().get()), "Fresh bread");
    CGFloat r, g, b, a;
    overlay->modalBorderColor()->getRed(&r, &g, &b, &a);
    EXPECT_FLOAT_EQ(r, 1);
    EXPECT_FLOAT_EQ(g, 128.0f / 255);
    EXPECT_FLOAT_EQ(b, 0);
    EXPECT_FLOAT_EQ(overlay->alphaForModalBorder(), 0.5);
    overlay->titlebarColor()->getRed(&r, &g, &b, &a);
    EXPECT_FLOAT_EQ(r, 0.2f);
    EXPECT_FLOAT_EQ(g, 0.4f);
    EXPECT_FLOAT_EQ(b, 0.6f);
    EXPECT_FLOAT_EQ(a, 1);

    auto image =
        paintedImage(CGSizeMake(280, 300), 1, [&] { overlay->drawRect(overlay->bounds()); });
    // The title strip, the half-transparent orange border, the web view's outline.
    EXPECT_TRUE(near(pixelAt(image.get(), 140, 15), RGBA{51, 102, 153, 255}));
    EXPECT_TRUE(near(pixelAt(image.get(), 5, 150), RGBA{255, 128, 0, 128}));
    auto web = overlay->webView()->frame();
    EXPECT_TRUE(near(pixelAt(image.get(), int(web.origin.x) - 1, 150), RGBA{0, 0, 0, 255}, 40));
    EXPECT_TRUE(near(pixelAt(image.get(), 0, 0), kClear));  // the rounded corner
}

TEST_F(MROverlayTest, TransparentOverlaysClearTheirBackgroundAndThePages) {
    auto view = shownBanner("transparent");
    click(adPage(view.get()).get(), 1);
    auto overlay = view->overlayView();
    ASSERT_TRUE(pageShows(overlay->webView().get(), "Fresh bread, page 1"));
    EXPECT_TRUE(overlay->makeOverlayTransparent());
    EXPECT_FALSE(overlay->isOpaque());
    EXPECT_FALSE(overlay->webView()->isOpaque());
    EXPECT_EQ(
        text(overlay->webView()
                 ->stringByEvaluatingJavaScriptFromString(NS("document.body.style.backgroundColor"))
                 .get()),
        "transparent");
}

TEST_F(MROverlayTest, AnOverlayThatDoesNotNotifyCloseSendsNoDismissal) {
    auto view = shownBanner("html");
    recorder->events.clear();
    auto ad = view->htmlAdView()->getAd();
    view->showOverlayWithAd(ad.get(), NS("<p>Hello</p>"), 1, false, false);
    auto overlay = view->overlayView();
    ASSERT_NE(overlay, nullptr);
    EXPECT_TRUE(recorder->events.empty());
    overlay->close();
    EXPECT_TRUE(recorder->events.empty());
    EXPECT_EQ(statusPosts, 0);
    EXPECT_EQ(view->overlayView(), nullptr);
    // Neither a request nor a string: nothing is shown.
    view->showOverlayWithAd(ad.get(), NSNumber::numberWithInt(3).get(), 1);
    EXPECT_EQ(view->overlayView(), nullptr);
}

TEST_F(MROverlayTest, TheHTMLAdsResizePollGrowsTheBannerAndStopsItsTimer) {
    auto view = shownBanner("resize");  // its first poll answered 50
    EXPECT_FLOAT_EQ(view->frame().size.height, 53);
    EXPECT_NE(view->refreshAdTimer(), nullptr);
    advanceRunLoop(1);
    EXPECT_FLOAT_EQ(view->frame().size.height, 100);
    EXPECT_EQ(view->refreshAdTimer(), nullptr);
}

TEST_F(MROverlayTest, AReplacedAdStopsItsPollsAndLetsGoOfTheAccelerometer) {
    auto view = shownBanner("resize", false);  // a page that answers its poll for ever
    Weak<MRHTMLAd> first = view->htmlAdView()->getAd().get();
    ASSERT_NE(first.lock(), nullptr);
    EXPECT_TRUE(first.lock()->isPolling());
    auto accelerometer = UIAccelerometer::sharedAccelerometer();
    EXPECT_EQ(accelerometer->delegate().get(),
              static_cast<UIAccelerometerDelegate*>(first.lock().get()));
    view->refreshAd();
    ASSERT_TRUE(eventsSettled(3));
    advanceRunLoop(1);
    view->refreshAd();  // the first ad's wrapper loads the third
    ASSERT_TRUE(eventsSettled(5));
    advanceRunLoop(1);
    // The first ad is gone and polls no more; the accelerometer serves the latest ad.
    EXPECT_EQ(first.lock(), nullptr);
    auto latest = view->htmlAdView()->getAd();
    EXPECT_EQ(accelerometer->delegate().get(), static_cast<UIAccelerometerDelegate*>(latest.get()));
    EXPECT_TRUE(latest->isPolling());
}

TEST_F(MROverlayTest, TheAdsPollsAskThePageOnceASecond) {
    auto view = shownBanner("html", false);
    auto ad = view->htmlAdView()->getAd();
    auto page = ad->webView();
    int closes = 0, shows = 0;
    auto center = NSNotificationCenter::defaultCenter();
    auto closeObserver = center->addObserverForName(NS("CloseMROverlay"), nullptr,
                                                    [&](NSNotification*) { closes++; });
    auto showObserver =
        center->addObserverForName(NS("MRBottomBarToBeShown"), nullptr, [&](NSNotification* note) {
            if (auto yes = as<NSNumber>(note->object()); yes && yes->boolValue()) shows++;
        });
    page->stringByEvaluatingJavaScriptFromString(
        NS("var closing = 'false'; function shouldCloseOverlay() { return closing; }"
           "var showing = 'false'; function shouldShowBottomBar() { return showing; }"));
    ad->startCloseOverlayTimer();
    ad->startBottomBarTimer();
    advanceRunLoop(1);
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(shows, 0);
    EXPECT_TRUE(ad->isPolling());
    page->stringByEvaluatingJavaScriptFromString(NS("closing = 'true'; showing = 'true';"));
    advanceRunLoop(1);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(shows, 1);
    advanceRunLoop(1);
    EXPECT_EQ(closes, 2);  // asked again until the overlay closes
    EXPECT_EQ(shows, 1);   // the bottom-bar poll stops once it is shown
    // An overlay closing stops the close poll; an empty answer stops a poll too.
    center->postNotificationName(NS("MROverlayWillClose"), nullptr);
    advanceRunLoop(2);
    EXPECT_EQ(closes, 2);
    page->stringByEvaluatingJavaScriptFromString(NS("closing = '';"));
    ad->startCloseOverlayTimer();
    advanceRunLoop(2);
    EXPECT_EQ(closes, 2);
    EXPECT_FALSE(ad->isPolling());
    center->removeObserver(closeObserver.get());
    center->removeObserver(showObserver.get());
}

TEST_F(MROverlayTest, TitleBarsAndLandscapeOverlays) {
    auto view = shownBanner("html");
    auto ad = view->htmlAdView()->getAd();
    adPage(view.get())
        ->stringByEvaluatingJavaScriptFromString(
            NS("function shouldShowTitlebar() { return 'true'; }"
               "function overlayTitle() { return 'Bakery'; }"));
    click(adPage(view.get()).get(), 1);
    auto overlay = view->overlayView();
    ASSERT_NE(overlay, nullptr);
    ASSERT_NE(overlay->titleBar(), nullptr);
    EXPECT_TRUE(CGRectEqualToRect(overlay->titleBar()->frame(), CGRectMake(0, 0, 320, 44)));
    auto items = overlay->titleBar()->items();
    ASSERT_EQ(items->count(), 4u);
    EXPECT_EQ(text(as<UIBarButtonItem>(items->objectAtIndex(1))->title().get()), "Bakery");
    // With a title bar the bottom bar has no close button; the page sits between the bars.
    ASSERT_NE(overlay->bottomBar(), nullptr);
    EXPECT_EQ(overlay->bottomBar()->items()->count(), 3u);
    EXPECT_EQ(overlay->closeButton(), nullptr);
    EXPECT_TRUE(CGRectEqualToRect(overlay->webView()->frame(), CGRectMake(0, 44, 320, 460 - 88)));
    overlay->close();
    advanceRunLoop(1);

    // A landscape overlay turns a quarter (+pi/2 for 3, -pi/2 for 4) and hides the status bar
    // while it shows. Laid out for the landscape interface, it lies whole inside the screen,
    // its bars across the long side and its Close within reach.
    auto app = UIApplication::sharedApplication();
    for (int32_t orientation : {3, 4}) {
        SCOPED_TRACE(orientation);
        view->showOverlayWithAd(ad.get(), NS("<p>Wide</p>"), orientation);
        overlay = view->overlayView();
        ASSERT_NE(overlay, nullptr);
        advanceRunLoop(1);  // the show
        auto t = overlay->transform();
        EXPECT_NEAR(t.b, orientation == 3 ? 1 : -1, 1e-6);
        EXPECT_NEAR(t.a, 0, 1e-6);
        EXPECT_TRUE(app->isStatusBarHidden());
        EXPECT_TRUE(sameRect(overlay->frame(), window->bounds()));
        EXPECT_TRUE(sameRect(overlay->titleBar()->frame(), CGRectMake(0, 0, 480, 44)));
        EXPECT_TRUE(sameRect(overlay->bottomBar()->frame(), CGRectMake(0, 320 - 44, 480, 44)));
        auto close = as<UIBarButtonItem>(overlay->titleBar()->items()->objectAtIndex(3));
        overlay->titleBar()->layoutIfNeeded();
        EXPECT_TRUE(takesATap(window.get(), close->itemView().get()));
        // Closed, it gives the bar back.
        close->sendAction();
        advanceRunLoop(1);
        EXPECT_EQ(overlay->superview(), nullptr);
        EXPECT_FALSE(app->isStatusBarHidden());
    }
}

TEST_F(MROverlayTest, PageFunctionsFallBackToTheirDefaults) {
    auto bare = make<MRHTMLAd>(&MRHTMLAd::initWithAdContents, (NSString*)nullptr,
                               (UIWebView*)nullptr, false);
    EXPECT_EQ(text(bare->ad().get()), "");
    EXPECT_TRUE(bare->shouldShowModal());  // no web view
    EXPECT_FALSE(bare->showTitlebar());
    EXPECT_TRUE(bare->showBottomBar());
    EXPECT_TRUE(bare->isBottomBarEnabled());
    EXPECT_EQ(text(bare->overlayTitle().get()), "Advertisement");
    EXPECT_EQ(text(bare->overlayTransition().get()), "SlideUp");
    EXPECT_DOUBLE_EQ(bare->transitionDuration(), 0.6);
    EXPECT_FLOAT_EQ(bare->alphaForModalBorder(), 1);
    EXPECT_EQ(bare->openURL(), nullptr);

    auto view = shownBanner("html", false);
    auto ad = view->htmlAdView()->getAd();
    EXPECT_TRUE(text(ad->ad().get())
                    .rfind("<style type=\"text/css\">body{ margin-left:auto; margin-right:auto; "
                           "margin:0; padding:0; text-align:left;}</style><html>",
                           0) == 0);
    EXPECT_FALSE(ad->shouldShowModal());  // empty answer
    EXPECT_DOUBLE_EQ(ad->transitionDuration(), 0.8);
    EXPECT_DOUBLE_EQ(view->htmlAdView()->lastFadeDuration(), 0.8);
    EXPECT_EQ(ad->orientationLock(), 0);
    EXPECT_TRUE(CGSizeEqualToSize(ad->modalSize(), CGSizeZero));
    CGFloat r, g, b, a;
    ad->titlebarColor()->getRed(&r, &g, &b, &a);
    EXPECT_FLOAT_EQ(r + g + b, 0);
    // Once YES, an answer is kept without asking again.
    auto page = ad->webView();
    page->stringByEvaluatingJavaScriptFromString(
        NS("function shouldShowModal() { return 'true'; }"));
    EXPECT_TRUE(ad->shouldShowModal());
    page->stringByEvaluatingJavaScriptFromString(
        NS("function shouldShowModal() { return 'false'; }"));
    EXPECT_TRUE(ad->shouldShowModal());

    struct Colour {
        const char* text;
        CGFloat r, g, b, a;
    };
    for (auto c :
         {Colour{"#FF8000", 1, 128.0f / 255, 0, 1}, Colour{" ff8000\n", 1, 128.0f / 255, 0, 1},
          Colour{"0.2,0.4,0.6", 0.2, 0.4, 0.6, 1}, Colour{"0.2,0.4,0.6,0.5", 0.2, 0.4, 0.6, 0.5},
          Colour{"orange", 0, 0, 0, 1}, Colour{"#FF80", 0, 0, 0, 1}, Colour{"#FF80001", 0, 0, 0, 1},
          Colour{"1,1", 0, 0, 0, 1}, Colour{"#GG8000", 0, 0, 0, 1}}) {
        MRHTMLAd::colorFromString(NSString::fromUTF8(c.text).get())->getRed(&r, &g, &b, &a);
        EXPECT_FLOAT_EQ(r, c.r) << c.text;
        EXPECT_FLOAT_EQ(g, c.g) << c.text;
        EXPECT_FLOAT_EQ(b, c.b) << c.text;
        EXPECT_FLOAT_EQ(a, c.a) << c.text;
    }
}

TEST_F(MROverlayTest, TheAccelerometerReachesThePageFilteredOnlyWhenItAsks) {
    auto view = shownBanner("html", false);
    auto ad = view->htmlAdView()->getAd();
    auto page = ad->webView();
    auto accelerometer = UIAccelerometer::sharedAccelerometer();
    EXPECT_EQ(accelerometer->delegate().get(), static_cast<UIAccelerometerDelegate*>(ad.get()));
    EXPECT_DOUBLE_EQ(accelerometer->updateInterval(), 1.0 / 60);
    auto sample = make<UIAcceleration>(&UIAcceleration::initWithX, 1.0, 2.0, 3.0, 0.0);
    ad->didAccelerate(sample.get());
    EXPECT_DOUBLE_EQ(ad->accelX(), 0);  // the page does not ask for it
    page->stringByEvaluatingJavaScriptFromString(
        NS("var got = ''; function shouldAccelerate() { return 'true'; }"
           "function didAccelerate(x, y, z) { got = x + ',' + y + ',' + z; }"));
    ad->didAccelerate(sample.get());
    EXPECT_NEAR(ad->accelX(), 0.1, 1e-9);
    EXPECT_NEAR(ad->accelY(), 0.2, 1e-9);
    ad->didAccelerate(sample.get());
    EXPECT_NEAR(ad->accelX(), 0.19, 1e-9);
    EXPECT_NEAR(ad->accelZ(), 0.57, 1e-9);
    EXPECT_EQ(text(page->stringByEvaluatingJavaScriptFromString(NS("got")).get()),
              "0.19,0.38,0.57");
    // Samples from the device arrive the same way.
    accelerometer->injectSample(1, 2, 3);
    advanceRunLoop(0.05);
    EXPECT_GT(ad->accelX(), 0.19);
}

}  // namespace
