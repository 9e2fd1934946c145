// House ads from the stand-in mediation server: the description and its bounds, the image at
// either screen scale, the location in the query, the drawing of both kinds of banner, and what
// a tap does.
#include "AdLoom/internal/AdLoomCustomAdView.h"
#include "AdLoom/internal/AdLoomWebBrowserController.h"
#include "AdLoomTesting.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIWebView.h"
#include "platform/UIKit/DrawingTesting.h"

using namespace adloomtest;

namespace {

// A banner that only records what its adapter reports, so that the adapter's own errors show.
class RecordingBanner : public ARRollerView {
    NS_OBJECT(RecordingBanner, ARRollerView)
    void adapterDidReceiveAdView(AdLoomAdNetworkAdapter* adapter, UIView* view) override {
        ad = view;
        AdLoomView::adapterDidReceiveAdView(adapter, view);
    }
    void adapterDidFailAd(AdLoomAdNetworkAdapter* adapter, NSError* e) override {
        error = e;
        AdLoomView::adapterDidFailAd(adapter, e);
    }
    Ref<UIView> ad;
    Ref<NSError> error;
};

class AdLoomHouseAdTest : public AdLoomServiceTest {
protected:
    void TearDown() override {
        UIScreen::mainScreen()->setScale(1);
        location_services::setCurrentLocation(nullptr);
        AdLoomServiceTest::TearDown();
    }
    // A banner asking for the house ad of that network id.
    Ref<RecordingBanner> houseBanner(const std::string& nid, bool location = false) {
        auto b = make<RecordingBanner>(&RecordingBanner::initWithDelegate,
                                       static_cast<AdLoomDelegate*>(host.get()));
        auto config = make<AdLoomConfig>(&AdLoomConfig::initWithAppKey, NS("house key"),
                                         static_cast<AdLoomConfigDelegate*>(nullptr));
        std::string extra =
            std::string(R"({"transition":0,"location_on":)") + (location ? "1" : "0") + "}";
        EXPECT_TRUE(
            config->parseConfig(data(rationsJSON({{9, nid, 100, 1}}, extra)).get(), nullptr));
        b->setConfig(config.get());
        holder->addSubview(b.get());
        b->buildPrioritizedAdNetCfgsAndMakeRequest();
        return b;
    }
    bool answered(RecordingBanner* b) {
        return runLoopUntil([&] { return b->ad || b->error; });
    }
    Ref<AdLoomCustomAdView> shown(RecordingBanner* b) {
        if (!answered(b)) return nullptr;
        return as<AdLoomCustomAdView>(b->ad);
    }
    std::string lastTarget(const std::string& path) {
        std::string last;
        for (auto& r : services->received("mediation"))
            if (r.target.rfind(path, 0) == 0) last = r.target;
        return last;
    }

    Ref<TestHost> host = makeHost();
};

TEST_F(AdLoomHouseAdTest, AnImageAdArrivesWithItsDescriptionAndNoPings) {
    auto b = houseBanner("house-image");
    // A second request on the adapter while its first is out does nothing.
    ASSERT_TRUE(b->currAdapter());
    b->currAdapter()->getAd();
    auto ad = shown(b.get());
    ASSERT_NE(ad, nullptr);
    EXPECT_EQ(ad->adType(), 1);
    EXPECT_EQ(ad->launchType(), 2);
    EXPECT_EQ(ad->animType(), 7);
    EXPECT_EQ(text(ad->redirectURL()->path()), "/advertiser/1");
    EXPECT_EQ(text(ad->clickMetricsURL()->query()), "ad=image");
    ASSERT_NE(ad->image(), nullptr);
    EXPECT_EQ(ad->image()->size().width, 320);
    EXPECT_EQ(ad->image()->scale(), 1);
    EXPECT_EQ(lastTarget("/custom.php"), "/custom.php?appver=300&country_code=" +
                                             NSLocale::currentLocale()->localeIdentifier()->utf8() +
                                             "&appid=house%20key&nid=house-image&client=1");
    EXPECT_EQ(lastTarget("/img/"), "/img/banner-320x50.png");
    advanceRunLoop(0);
    EXPECT_EQ(b->viewWithTag(kAdLoomViewAdSubViewTag).get(), ad.get());

    // The description's own click URL stands for the banner's pings.
    b->pointInside(CGPointMake(5, 5), UIEvent::touchEvent({}).get());
    advanceRunLoop(1);
    EXPECT_TRUE(mediation->pings().empty());
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    auto asked = mediation->houseAdRequests();
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "house-image"), 1);
}

TEST_F(AdLoomHouseAdTest, BadDescriptionsFailWithTheirCodes) {
    struct Case {
        const char* nid;
        NSInteger code;
        const char* description;
    };
    const Case cases[] = {
        {"house-type6", 60, "Custom ad: Invalid value for ad_type - 6"},
        {"house-anim-1", 60, "Custom ad: Invalid value for webview_animation_type - -1"},
        {"house-wrong-types", 60, "Custom ad data has no 'ad_type' field"},
        {"house-list", 60, "Expected top-level dictionary in custom ad data"},
        {"unknown-ad", 50, "Error parsing custom ad JSON from server"},
        {"house-no-urls", 40, "Error connecting to custom ad server to fetch image"},
        {"house-broken-image", 70, "Cannot initialize custom ad image from data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nid);
        auto b = houseBanner(c.nid);
        ASSERT_TRUE(answered(b.get()));
        ASSERT_NE(b->error, nullptr);
        EXPECT_EQ(b->error->code(), c.code);
        EXPECT_EQ(text(b->error->localizedDescription()), c.description);
        EXPECT_FALSE(as<AdLoomAdapterCustom>(b->currAdapter())->isRequesting());
    }
    // The bounds are exclusive: 5 and 0 pass where 6 and -1 did not.
    auto adapter = make<AdLoomAdapterCustom>();
    Ref<NSError> e;
    EXPECT_TRUE(adapter->parseAdData(
        data(
            R"({"ad_type":5,"launch_type":3,"webview_animation_type":0,"img_url":"http://mediation.adloom.test/img/icon-39.png"})")
            .get(),
        &e));
}

TEST_F(AdLoomHouseAdTest, ServerFaultsOnTheDescriptionOrImageFailWithCode40) {
    standin::Fault drop;
    drop.host = "mediation.adloom.test";
    drop.path = "/custom.php";
    drop.delivery = standin::Fault::Delivery::Drop;
    services->addFault(drop);
    auto b = houseBanner("house-image");
    ASSERT_TRUE(answered(b.get()));
    EXPECT_EQ(b->error->code(), 40);
    EXPECT_EQ(text(b->error->localizedDescription()), "Error connecting to custom ad server");
    EXPECT_NE(b->error->userInfo()->objectForKey(NSUnderlyingErrorKey), nullptr);

    services->clearFaults();
    standin::Fault reset;
    reset.host = "mediation.adloom.test";
    reset.path = "/img/";
    reset.delivery = standin::Fault::Delivery::Reset;
    services->addFault(reset);
    b = houseBanner("house-icon");
    ASSERT_TRUE(answered(b.get()));
    EXPECT_EQ(b->error->code(), 40);
    EXPECT_EQ(text(b->error->localizedDescription()),
              "Error connecting to custom ad server to fetch image");
}

TEST_F(AdLoomHouseAdTest, TheQueryCarriesTheLocationWhenAllowed) {
    host->answer({"locationInfo"});
    host->location = make<CLLocation>(&CLLocation::initWithLatitude, 47.5, 8.25);
    auto b = houseBanner("house-icon", true);
    ASSERT_NE(shown(b.get()), nullptr);
    auto target = lastTarget("/custom.php");
    EXPECT_NE(target.find(
                  "&nid=house-icon&location=47.500000,8.250000&location_timestamp=" +
                  std::to_string(static_cast<long long>(NSDate::date()->timeIntervalSince1970()))),
              std::string::npos)
        << target;
    EXPECT_NE(target.find("&client=1"), std::string::npos);

    // No location known anywhere: two zeros.
    host->answers.erase("locationInfo");
    b = houseBanner("house-icon", true);
    ASSERT_NE(shown(b.get()), nullptr);
    EXPECT_NE(lastTarget("/custom.php").find("&location=0.000000,0.000000&"), std::string::npos);

    // The network id is escaped in the query and arrives whole.
    b = houseBanner("a b&c");
    ASSERT_TRUE(answered(b.get()));
    EXPECT_EQ(mediation->houseAdRequests().back(), "a b&c");
}

TEST_F(AdLoomHouseAdTest, ADoubleResolutionScreenTakesTheLargeBannerImage) {
    UIScreen::mainScreen()->setScale(2);
    auto b = houseBanner("house-image");
    auto ad = shown(b.get());
    ASSERT_NE(ad, nullptr);
    EXPECT_EQ(lastTarget("/img/"), "/img/banner-640x100.png");
    EXPECT_EQ(ad->image()->scale(), 2);
    EXPECT_EQ(ad->image()->size().width, 320);

    // Without the large image: the plain one at scale 1; a malformed redirect is left out.
    b = houseBanner("house-no-retina");
    ad = shown(b.get());
    ASSERT_NE(ad, nullptr);
    EXPECT_EQ(lastTarget("/img/"), "/img/banner-320x50.png");
    EXPECT_EQ(ad->image()->scale(), 1);
    EXPECT_EQ(ad->redirectURL(), nullptr);
    EXPECT_TRUE(logged("Custom ad: Malformed redirect URL string"));
    EXPECT_TRUE(logged("No click metric URL for custom ad"));

    // An icon ad loads the plain image and marks it as double resolution.
    b = houseBanner("house-icon");
    ad = shown(b.get());
    ASSERT_NE(ad, nullptr);
    EXPECT_EQ(lastTarget("/img/"), "/img/icon-39.png");
    EXPECT_EQ(ad->image()->scale(), 2);
    EXPECT_EQ(ad->image()->size().width, 19.5);
}

// ---- drawing -------------------------------------------------------------------------------

Ref<UIImage> solidImage(CGSize size, const RGBA& c) {
    UIGraphicsBeginImageContext(size);
    CGContextSetRGBFillColor(UIGraphicsGetCurrentContext().get(), c.r / 255.0f, c.g / 255.0f,
                             c.b / 255.0f, 1);
    CGContextFillRect(UIGraphicsGetCurrentContext().get(),
                      CGRectMake(0, 0, size.width, size.height));
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return image;
}

Ref<UIImage> drawn(AdLoomCustomAdView* view) {
    UIGraphicsBeginImageContext(view->bounds().size);
    view->drawRect(view->bounds());
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return image;
}

Ref<AdLoomCustomAdView> customView(int type, UIColor* background) {
    return make<AdLoomCustomAdView>(
        &AdLoomCustomAdView::initWithDelegate, static_cast<AdLoomCustomAdViewDelegate*>(nullptr),
        NS("Text"), nullptr, nullptr, type, 1, 0, background, UIColor::whiteColor().get());
}

TEST(AdLoomCustomAdViewDrawing, AnImageAdIsCentred) {
    auto view = customView(1, nullptr);
    view->setImage(solidImage(CGSizeMake(100, 20), kRed).get());
    auto image = drawn(view.get());
    // (320 - 100) / 2 = 110 and (50 - 20) / 2 = 15: red from (110, 15) to (209, 34).
    EXPECT_TRUE(near(pixelAt(image.get(), 110, 15), kRed));
    EXPECT_TRUE(near(pixelAt(image.get(), 209, 34), kRed));
    EXPECT_TRUE(near(pixelAt(image.get(), 160, 25), kRed));
    EXPECT_EQ(pixelAt(image.get(), 109, 25).a, 0);
    EXPECT_EQ(pixelAt(image.get(), 210, 25).a, 0);
    EXPECT_EQ(pixelAt(image.get(), 160, 14).a, 0);
    EXPECT_EQ(pixelAt(image.get(), 160, 35).a, 0);
    // Types other than 1 and 2 draw nothing of their own.
    auto other = customView(3, nullptr);
    other->setImage(solidImage(CGSizeMake(100, 20), kRed).get());
    EXPECT_EQ(pixelAt(drawn(other.get()).get(), 160, 25).a, 0);
}

TEST(AdLoomCustomAdViewDrawing, AnIconIsClippedToARoundedSquareAndOutlined) {
    auto view = customView(2, UIColor::blackColor().get());
    // Larger than the 39-point square, so that the clip shows.
    view->setImage(solidImage(CGSizeMake(50, 50), kRed).get());
    ASSERT_NE(view->textLabel(), nullptr);
    EXPECT_EQ(view->textLabel()->frame().origin.x, 50);
    EXPECT_EQ(view->textLabel()->numberOfLines(), 3);
    auto image = drawn(view.get());
    auto green = [&](int x, int y) { return pixelAt(image.get(), x, y).g; };

    // Inside the square: the icon. Outside it (past x 43, in the rounded corner): no icon.
    EXPECT_TRUE(near(pixelAt(image.get(), 23, 25), kRed, 8));
    EXPECT_TRUE(near(pixelAt(image.get(), 40, 25), kRed, 8));
    auto reddish = [&](int x, int y) {
        RGBA p = pixelAt(image.get(), x, y);
        return p.r - p.g > 60;
    };
    EXPECT_FALSE(reddish(48, 25));
    EXPECT_FALSE(reddish(5, 6));  // the rounded corners
    EXPECT_FALSE(reddish(41, 6));
    EXPECT_FALSE(reddish(41, 43));
    EXPECT_FALSE(reddish(5, 43));
    EXPECT_TRUE(reddish(11, 7));  // the straight top edge starts at x 11
    EXPECT_TRUE(reddish(5, 25));

    // The outline: bright on the top and right, dim on the left and bottom; none inside.
    EXPECT_LT(green(23, 25), 5);
    EXPECT_GT(green(23, 5), 90);
    EXPECT_GT(green(43, 25), green(4, 25));
    EXPECT_GT(green(23, 5), green(23, 44));
    EXPECT_GT(green(4, 25), 5);
    EXPECT_GT(green(23, 44), 20);

    // The gradient: the background at 0.6 over white at the top and bottom, solid in between.
    EXPECT_GT(green(200, 0), 80);
    EXPECT_GT(green(200, 49), 80);
    EXPECT_LT(green(200, 25), 5);
    EXPECT_EQ(pixelAt(image.get(), 200, 25).a, 255);
}

TEST(AdLoomCustomAdViewDrawing, TheBackArrowPointsLeft) {
    auto arrow = AdLoomBackButton::arrowImage();
    ASSERT_NE(arrow, nullptr);
    EXPECT_EQ(arrow->size().width, 25);
    EXPECT_EQ(arrow->size().height, 25);
    const RGBA white{255, 255, 255, 255};
    // The tip at (4, 11) and the back edge at x 19, counted from the bitmap's bottom row.
    EXPECT_TRUE(near(pixelAt(arrow.get(), 6, 13), white, 40));
    EXPECT_TRUE(near(pixelAt(arrow.get(), 17, 6), white, 10));
    EXPECT_TRUE(near(pixelAt(arrow.get(), 17, 20), white, 10));
    EXPECT_EQ(pixelAt(arrow.get(), 21, 13).a, 0);
    EXPECT_EQ(pixelAt(arrow.get(), 6, 6).a, 0);
    EXPECT_EQ(pixelAt(arrow.get(), 6, 20).a, 0);
    EXPECT_EQ(pixelAt(arrow.get(), 17, 1).a, 0);
    auto button = make<AdLoomBackButton>();
    button->awakeFromNib();
    ASSERT_NE(button->image(), nullptr);
    EXPECT_EQ(button->image()->size().width, 25);
}

// ---- taps ----------------------------------------------------------------------------------

class AdLoomHouseAdTapTest : public AdLoomHouseAdTest {
protected:
    void SetUp() override {
        AdLoomHouseAdTest::SetUp();
        window = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
        window->makeKeyAndVisible();
        host->controller = make<UIViewController>();
        window->addSubview(host->controller->view().get());
        UIApplication::sharedApplication()->clearOpenedURLs();
    }
    void TearDown() override {
        if (host->controller->modalViewController())
            host->controller->dismissModalViewControllerAnimated(false);
        window = nullptr;
        AdLoomHouseAdTest::TearDown();
    }
    Ref<UIWindow> window;
};

TEST_F(AdLoomHouseAdTapTest, ACanvasAdOpensTheInAppBrowserUntilItCloses) {
    auto b = houseBanner("house-image");
    auto ad = shown(b.get());
    ASSERT_NE(ad, nullptr);
    ad->tapButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    auto browser = as<AdLoomWebBrowserController>(host->controller->modalViewController());
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->modalTransitionStyle(), UIModalTransitionStyleCrossDissolve);  // type 7
    EXPECT_EQ(host->events.back(), "modal up");
    EXPECT_TRUE(b->showingModalView());
    EXPECT_EQ(text(browser->webView->request()->URL()->path()), "/advertiser/1");
    // A second tap while the canvas is up pings nothing and presents nothing.
    ad->tapButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(host->controller->modalViewController().get(), browser.get());
    EXPECT_FALSE(browser->modalViewController());
    ASSERT_TRUE(runLoopUntil(
        [&] { return mediation->pings().size() == 1 && !browser->webView->isLoading(); }));
    advanceRunLoop(1);
    EXPECT_EQ(mediation->pings().size(), 1u);
    EXPECT_EQ(mediation->pings()[0].kind, "house click");
    EXPECT_EQ(mediation->pings()[0].nid, "image");
    b->requestFreshAd();
    EXPECT_EQ(host->events.back(), "failed 140");

    browser->close(nullptr);
    advanceRunLoop(1);
    EXPECT_EQ(host->controller->modalViewController(), nullptr);
    EXPECT_EQ(std::count(host->events.begin(), host->events.end(), "modal down"), 1);
    EXPECT_FALSE(b->showingModalView());
    EXPECT_EQ(as<AdLoomAdapterCustom>(b->currAdapter())->webBrowserController(), nullptr);
}

TEST_F(AdLoomHouseAdTapTest, OtherLaunchTypesOpenOutsideOrRefuse) {
    auto b = houseBanner("house-icon");
    auto ad = shown(b.get());
    ASSERT_NE(ad, nullptr);
    ad->tapButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    auto opened = UIApplication::sharedApplication()->openedURLs();
    ASSERT_EQ(opened->count(), 1u);
    EXPECT_EQ(text(as<NSURL>(opened->objectAtIndex(0))->path()), "/advertiser/2");
    ASSERT_TRUE(waitForPings(1));
    EXPECT_EQ(mediation->pings()[0].nid, "icon");

    b = houseBanner("house-launch3");
    ad = shown(b.get());
    ASSERT_NE(ad, nullptr);
    ad->tapButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_TRUE(logged("Custom ad: Unsupported launch type 3"));
    EXPECT_EQ(UIApplication::sharedApplication()->openedURLs()->count(), 1u);

    // With nothing to show it over, a canvas ad opens nothing and holds no banner still.
    b = houseBanner("house-image");
    ad = shown(b.get());
    ASSERT_NE(ad, nullptr);
    Ref<UIViewController> presenter = std::move(host->controller);
    ad->tapButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    host->controller = presenter;
    EXPECT_TRUE(b->canRefresh());

    // Without a redirect URL a tap goes nowhere.
    auto adapter = make<AdLoomAdapterCustom>();
    adapter->adTapped(customView(1, nullptr).get());
    EXPECT_TRUE(logged("Custom ad redirect URL is nil"));
}

}  // namespace
