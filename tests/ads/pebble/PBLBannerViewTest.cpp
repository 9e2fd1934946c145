// The banner against the stand-in Pebble service: each scenario to its callback and code, the
// script's cache, refresh, impressions, clicks and the page's commands.
#include "ads/pebble/PBLBannerView.h"

#include "AudioToolbox/AudioToolbox.h"
#include "CommonCrypto/CommonCryptor.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/NetworkWork.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "MessageUI/MFMailComposeViewController.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "UIKit/UIWindow.h"
#include "URLLoading/NSURLResponse.h"
#include "ads/pebble/PBLClickTracker.h"
#include "ads/pebble/PBLGestureUtil.h"
#include "ads/pebble/PBLHosts.h"
#include "ads/pebble/PBLInterstitial.h"
#include "ads/pebble/PBLLocation.h"
#include "ads/pebble/PBLObjectPrivate.h"
#include "ads/pebble/PBLOpener.h"
#include "ads/pebble/PBLRequest.h"
#include "ads/pebble/PBLSignals.h"
#include "ads/pebble/PBLWebAppViewController.h"
#include "ads/pebble/PBLWebViewDelegate.h"
#include "ads/pebble/PebbleTesting.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/services/RunningServices.h"
#include "tools/services/PebbleModule.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <thread>

namespace {

class Recorder : public NSObject, public PBLBannerViewDelegate {
    NS_OBJECT(Recorder, NSObject)
public:
    void adViewDidReceiveAd(PBLBannerView*) override {
        events.push_back("received");
        mainThread = mainThread && NSThread::isMainThread();
    }
    void adViewDidFailToReceiveAdWithError(PBLBannerView*, NSError* error) override {
        events.push_back("failed " + std::to_string(error ? error->code() : -1));
        mainThread = mainThread && NSThread::isMainThread();
    }
    void adViewWillLeaveApplication(PBLBannerView*) override { events.push_back("leaving"); }
    std::vector<std::string> events;
    bool mainThread = true;
};

// Says which callbacks it answers, as the delegate manager asks.
class NamedDelegate : public NSObject, public PBLBannerViewDelegate {
    NS_OBJECT(NamedDelegate, NSObject)
    static void describeClass(RuntimeClass& c) { c.implements({"adViewDidReceiveAd:"}); }
    void adViewDidReceiveAd(PBLBannerView*) override {}
};

class PBLBannerViewTest : public PebbleTest {
protected:
    void SetUp() override {
        PebbleTest::SetUp();
        services = &servicestest::services();
        services->reset();
        services->clearFaults();
        pebble = services->module<bnservices::PebbleModule>("pebble");
        ASSERT_NE(pebble, nullptr);
        previousLoader_ = UIWebView::setURLLoader(UIWebViewConnectionLoader());
        forgetScript();
        previousSink_ = NSLogSetSink([this](const std::string& line) { log_ += line; });
    }
    void TearDown() override {
        banners.clear();
        runLoopUntil([] { return NetworkWork::inFlight() == 0; });
        NSLogSetSink(previousSink_);
        UIWebView::setURLLoader(previousLoader_);
        forgetScript();
        PebbleTest::TearDown();
    }
    static void forgetScript() {
        auto url = NSURL::URLWithString(NS("http://" PBL_STATIC_HOST "/" PBL_SCRIPT_PATH));
        make<PBLCachedFile>(&PBLCachedFile::initWithDelegate,
                            static_cast<PBLCachedFileDelegate*>(nullptr), url.get())
            ->invalidate();
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(
            NS("pebble_stats_PBLObjectPrivate"));
    }
    Ref<PBLBannerView> banner(const char* slot, bool withController = true) {
        auto b = make<PBLBannerView>(&PBLBannerView::initWithFrame, CGRectMake(0, 0, 320, 50));
        b->setAdUnitID(NSString::fromUTF8(slot).get());
        b->setDelegate(recorder.get());
        if (withController) b->setRootViewController(controller.get());
        banners.push_back(b);
        return b;
    }
    bool settled(size_t events) {
        return runLoopUntil([&] { return recorder->events.size() >= events; });
    }
    std::vector<std::string> targets(const std::string& prefix) {
        std::vector<std::string> out;
        for (auto& r : services->received("pebble"))
            if (r.target.rfind(prefix, 0) == 0) out.push_back(r.target);
        return out;
    }
    std::string lastAdQuery() {
        auto ads = targets("/pbma/ad?");
        return ads.empty() ? "" : ads.back();
    }

    bnservices::Services* services = nullptr;
    bnservices::PebbleModule* pebble = nullptr;
    Ref<Recorder> recorder = make<Recorder>();
    Ref<UIViewController> controller = make<UIViewController>();
    std::vector<Ref<PBLBannerView>> banners;
    std::string log_;
    NSLogSink previousSink_;
    UIWebViewURLLoader previousLoader_;
};

std::string field(const std::string& target, const std::string& key) {
    auto fields = standin::parseQuery(target.substr(target.find('?') + 1));
    auto* f = standin::findField(fields, key);
    return f ? f->value : "<none>";
}

TEST_F(PBLBannerViewTest, ABannerShowsItsTextAndTracksImpressionsOnlyAfterRendering) {
    auto b = banner("banner");
    b->loadRequest(PBLRequest::request().get());
    ASSERT_TRUE(runLoopUntil([&] { return !targets("/pbma/ad?").empty(); }));
    EXPECT_TRUE(targets("/imp").empty());  // not before the page is in
    ASSERT_TRUE(settled(1));
    EXPECT_EQ(recorder->events, std::vector<std::string>{"received"});
    EXPECT_TRUE(recorder->mainThread);
    EXPECT_EQ(b->privateObject()->state(), PBLStateShowing);
    EXPECT_FALSE(b->webView()->isHidden());
    EXPECT_FALSE(b->webView()->scrollView()->scrollsToTop());
    EXPECT_NE(text(b->webView()->readableText()).find("Garden tools at half price"),
              std::string::npos);
    ASSERT_TRUE(runLoopUntil([&] { return targets("/imp").size() == 2; }));
    // Both pixels are fetched at once, so they may arrive in either order.
    auto impressions = targets("/imp");
    std::sort(impressions.begin(), impressions.end());
    EXPECT_EQ(impressions, (std::vector<std::string>{"/imp?n=1&i=1", "/imp?n=1&i=2"}));

    // The parameters as the service received them; it checked them all.
    auto query = lastAdQuery();
    EXPECT_EQ(field(query, "slotname"), "banner");
    EXPECT_EQ(field(query, "js"), "pbma-sdk-i-v4.1.0");
    EXPECT_EQ(field(query, "preqs"), "1");
    EXPECT_EQ(field(query, "format"), "<none>");
    EXPECT_NE(field(query, "ad_frame").find("\"w\":320"), std::string::npos);
    EXPECT_TRUE(pebble->rejections().empty());
    EXPECT_EQ(b->privateObject()->scheduledReloadSeconds(), 30);
}

TEST_F(PBLBannerViewTest, TheServiceDecryptsTheLocationAndDecodesTheSignals) {
    auto request = cast<PBLRequestPrivate>(PBLRequest::request());
    request->setLocationWithLatitude(48.85f, -2.35f, 65.5f);
    std::string precise = text(request->location()->recordText());
    banner("banner")->loadRequest(request.get());
    ASSERT_TRUE(settled(1));

    // A description travels with its double quotes made single.
    request->setLocationWithDescription(NS("Rue \"Neuve\", Lille"));
    banner("banner")->loadRequest(request.get());
    ASSERT_TRUE(settled(2));

    // With the signal component off the ad URL carries no "ms".
    PBLSignals::setEnabled(false);
    banner("banner")->loadRequest(request.get());
    ASSERT_TRUE(settled(3));
    EXPECT_EQ(field(lastAdQuery(), "ms"), "<none>");

    EXPECT_EQ(recorder->events, (std::vector<std::string>{"received", "received", "received"}));
    EXPECT_TRUE(pebble->rejections().empty());
    auto decoded = pebble->decoded();
    ASSERT_EQ(decoded.size(), 3u);
    EXPECT_EQ(decoded[0].location, precise);
    EXPECT_NE(precise.find("latlng <latitude_e7: 488499984 longitude_e7: -23499999>"),
              std::string::npos);
    EXPECT_EQ(decoded[0].signals.rfind("v1;loads=1;touches=0;acc=", 0), 0u) << decoded[0].signals;
    EXPECT_NE(decoded[1].location.find(" loc: \"Rue 'Neuve', Lille\""), std::string::npos)
        << decoded[1].location;
    EXPECT_EQ(decoded[1].signals.rfind("v1;loads=2;", 0), 0u) << decoded[1].signals;
    EXPECT_EQ(decoded[2].signals, "");
}

// A "uule" value made here, as a client with its own ideas would make it.
std::string sealed(const std::string& record, int32_t seconds, const unsigned char* key) {
    std::string plain = record;
    size_t n = 16 - plain.size() % 16;
    plain.append(n, static_cast<char>(n));
    std::string out(16 + plain.size(), '\0');
    for (int i = 0; i < 4; ++i) {
        double v = static_cast<double>(seconds) * (i + 1);
        auto u = static_cast<uint32_t>(v >= 2147483647.0 ? 2147483647 : static_cast<int32_t>(v));
        for (int b = 0; b < 4; ++b)
            out[static_cast<size_t>(4 * i + b)] = static_cast<char>(u >> (8 * b));
    }
    size_t moved = 0;
    EXPECT_EQ(CCCrypt(kCCEncrypt, kCCAlgorithmAES128, 0, key, 16, out.data(), plain.data(),
                      plain.size(), out.data() + 16, plain.size(), &moved),
              kCCSuccess);
    return "e1+" + text(pblGestureBase64(out.data(), static_cast<unsigned>(out.size())));
}

std::string encoded(const std::string& record) {
    return text(pblGestureBase64(record.data(), static_cast<unsigned>(record.size())));
}

TEST(PebbleServiceParameters, LocationAndSignalValuesThatAreOffAreRefused) {
    using bnservices::PebbleModule;
    const std::string head =
        "role: 6 producer: 24 historical_role: 1 historical_producer: 12 timestamp: ";
    const std::string point = " latlng <latitude_e7: 488499984 longitude_e7: -23499999> radius: 5";
    const unsigned char* key = PBLLocation::encryptionKey();
    unsigned char otherKey[16];
    std::copy(key, key + 16, otherKey);
    otherKey[7] ^= 0x40;

    std::string record;
    EXPECT_EQ(PebbleModule::checkLocation(
                  sealed(head + "1330603200000000" + point, 1330603200, key), &record),
              "");
    EXPECT_EQ(record, head + "1330603200000000" + point);
    EXPECT_EQ(PebbleModule::checkLocation("a+" + encoded(head + "5 loc: \"Lille\""), &record), "");

    struct Case {
        std::string uule;
        const char* reason;
    } refused[] = {
        {sealed(head + "1330603200000000" + point, 1330603200, otherKey), "uule: does not decrypt"},
        {sealed(head + "1330609999000000" + point, 1330603200, key), "uule: timestamp"},
        {sealed(head + "1330603200000000 latlng <latitude_e7: 0 longitude_e7: 5> radius: 5",
                1330603200, key),
         "uule: coordinates"},
        {sealed(head + "1330603200000000 somewhere", 1330603200, key),
         "uule: not a coordinate record"},
        {"a+" + encoded(head + "5 loc: \"Rue \"Neuve\"\""), "uule: not a location description"},
        {"a+" + encoded("loc: \"Lille\""), "uule: not a location description"},
        {"e1+AAAA", "uule: not whole blocks"},
        {"e1+AB=C", "uule: not base64"},
        {"48.85,2.35", "uule: neither \"e1+\" nor \"a+\""},
    };
    for (auto& c : refused)
        EXPECT_EQ(PebbleModule::checkLocation(c.uule, &record), c.reason) << c.uule;
    // A value cut short loses whole characters of the last block.
    std::string cut = sealed(head + "1330603200000000" + point, 1330603200, key);
    EXPECT_NE(PebbleModule::checkLocation(cut.substr(0, cut.size() - 3), &record), "");

    EXPECT_EQ(
        PebbleModule::checkSignals(encoded("v1;loads=3;touches=1;acc=-5,0,98,7;reach=2"), &record),
        "ms: not a signal record");  // four axes
    EXPECT_EQ(
        PebbleModule::checkSignals(encoded("v1;loads=3;touches=1;acc=-5,0,98;reach=2"), &record),
        "");
    EXPECT_EQ(record, "v1;loads=3;touches=1;acc=-5,0,98;reach=2");
    EXPECT_EQ(
        PebbleModule::checkSignals(encoded("v1;loads=0;touches=0;acc=0,0,0;reach=0"), &record),
        "ms: no load noted");
    EXPECT_EQ(PebbleModule::checkSignals("v1;loads=1", &record), "ms: not base64");
}

TEST_F(PBLBannerViewTest, AnAdRequestWithAnUnsoundLocationIsRefusedWithItsReason) {
    auto request = cast<PBLRequestPrivate>(PBLRequest::request());
    request->setLocationWithLatitude(48.85f, -2.35f, 65.5f);
    banner("banner")->loadRequest(request.get());
    ASSERT_TRUE(settled(1));
    std::string query = lastAdQuery();
    std::string uule = field(query, "uule");
    ASSERT_EQ(uule.rfind("e1+", 0), 0u);

    // The same request with another client's location sealed under another key.
    unsigned char otherKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::string forged = standin::percentEncode(
        sealed(text(request->location()->recordText()), 1330603200, otherKey));
    size_t at = query.find("uule=") + 5;
    query.replace(at, query.find('&', at) - at, forged);
    standin::HttpRequest again;
    again.host = PBL_AD_HOST;
    again.path = "/pbma/ad";
    again.query = query.substr(query.find('?') + 1);
    auto answer = pebble->handle(again);
    EXPECT_EQ(answer.status, 400);
    EXPECT_EQ(answer.body, "bad parameter: uule: does not decrypt");
    EXPECT_EQ(pebble->rejections(), std::vector<std::string>{"uule: does not decrypt"});
    EXPECT_EQ(pebble->decoded().size(), 1u);
}

TEST_F(PBLBannerViewTest, EachFailingScenarioReportsItsCodeOnce) {
    struct Case {
        const char* slot;
        int code;
    } cases[] = {{"noad", 1}, {"rejected", 0}, {"error", 3}, {"unable", 0}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.slot);
        recorder->events.clear();
        auto b = banner(c.slot);
        b->loadRequest(nullptr);
        ASSERT_TRUE(settled(1));
        advanceRunLoop(0.1);
        EXPECT_EQ(recorder->events, std::vector<std::string>{"failed " + std::to_string(c.code)});
        EXPECT_EQ(b->privateObject()->state(), PBLStateFailed);
        EXPECT_TRUE(b->webView()->isHidden());
    }
    EXPECT_NE(log_.find("<Pebble> Server rejected ad parameters."), std::string::npos);
    EXPECT_NE(log_.find("<Pebble> Unable to serve:"), std::string::npos);
    EXPECT_EQ(pebble->rejections(), std::vector<std::string>{"rejected slot"});
    EXPECT_TRUE(targets("/imp").empty());
}

TEST_F(PBLBannerViewTest, WithoutARootViewControllerNothingIsRequested) {
    auto b = banner("banner", false);
    b->loadRequest(nullptr);
    EXPECT_EQ(recorder->events, std::vector<std::string>{"failed 0"});
    EXPECT_NE(log_.find("<Pebble> Must set the rootViewController property of PBLBannerView "
                        "before calling loadRequest:"),
              std::string::npos);
    EXPECT_EQ(b->privateObject()->state(), PBLStateIdle);
    advanceRunLoop(0.1);
    EXPECT_EQ(pebble->scriptFetches(), 0);
}

TEST_F(PBLBannerViewTest, AFailureRaisedOnAnotherThreadArrivesOnTheMainThreadFirst) {
    auto b = banner("banner");
    auto manager = b->privateObject()->delegateManager();
    std::thread raiser([&] {
        manager->didFailToReceiveAdWithError(
            NSError::errorWithDomain(NS("test"), 5, nullptr).get());
    });
    ASSERT_TRUE(runLoopUntil([&] { return !recorder->events.empty(); }));
    raiser.join();
    EXPECT_EQ(recorder->events, std::vector<std::string>{"failed 5"});
    EXPECT_TRUE(recorder->mainThread);
}

TEST_F(PBLBannerViewTest, ASecondLoadWhileTheFirstRunsIsIgnored) {
    auto b = banner("banner");
    b->loadRequest(nullptr);
    EXPECT_EQ(b->privateObject()->state(), PBLStateFetchingScript);
    b->loadRequest(nullptr);
    ASSERT_TRUE(settled(1));
    advanceRunLoop(0.1);
    EXPECT_EQ(recorder->events, std::vector<std::string>{"received"});
    EXPECT_EQ(targets("/pbma/ad?").size(), 1u);
    EXPECT_EQ(pebble->scriptFetches(), 1);
}

TEST_F(PBLBannerViewTest, TheScriptIsNotFetchedAgainForADay) {
    auto first = banner("noad");
    first->loadRequest(nullptr);
    ASSERT_TRUE(settled(1));
    EXPECT_EQ(pebble->scriptFetches(), 1);

    advanceRunLoop(86000);
    auto second = banner("noad");
    second->loadRequest(nullptr);
    // Fresh: the engine builds the ad URL at once, with no script request.
    EXPECT_EQ(second->privateObject()->state(), PBLStateBuildingAdURL);
    ASSERT_TRUE(settled(2));
    EXPECT_EQ(pebble->scriptFetches(), 1);
    EXPECT_EQ(targets("/pbma/ad?").size(), 2u);

    advanceRunLoop(500);
    auto third = banner("noad");
    third->loadRequest(nullptr);
    ASSERT_TRUE(settled(3));
    EXPECT_EQ(pebble->scriptFetches(), 2);  // revalidated: 304 keeps the copy
    EXPECT_EQ(targets("/pbma/ad?").size(), 3u);
}

TEST_F(PBLBannerViewTest, AFailedScriptFetchWithAnEarlierCopyStillBuildsTheAdURL) {
    auto first = banner("noad");
    first->loadRequest(nullptr);
    ASSERT_TRUE(settled(1));
    advanceRunLoop(86401);
    standin::Fault drop;
    drop.host = PBL_STATIC_HOST;
    drop.path = "/" PBL_SCRIPT_PATH;
    drop.delivery = standin::Fault::Delivery::Drop;
    services->addFault(drop);
    auto second = banner("noad");
    second->loadRequest(nullptr);
    ASSERT_TRUE(settled(2));
    EXPECT_EQ(recorder->events[1], "failed 1");  // the ad service answered: no ad
    EXPECT_EQ(targets("/pbma/ad?").size(), 2u);

    // Without any copy the load ends in state 2 with code 2.
    forgetScript();
    auto third = banner("noad");
    third->loadRequest(nullptr);
    ASSERT_TRUE(settled(3));
    EXPECT_EQ(recorder->events[2], "failed 2");
    EXPECT_EQ(third->privateObject()->state(), PBLStateScriptFailed);
}

TEST_F(PBLBannerViewTest, TheAdRefreshesEveryThirtySecondsButNotInTheBackground) {
    auto b = banner("banner");
    b->loadRequest(nullptr);
    ASSERT_TRUE(settled(1));
    EXPECT_FALSE(b->hasAutoRefreshed());
    advanceRunLoop(29);
    EXPECT_EQ(targets("/pbma/ad?").size(), 1u);
    advanceRunLoop(1.5);
    ASSERT_TRUE(settled(2));
    EXPECT_EQ(targets("/pbma/ad?").size(), 2u);
    EXPECT_EQ(field(lastAdQuery(), "preqs"), "2");
    EXPECT_TRUE(b->hasAutoRefreshed());
    EXPECT_NE(text(b->webView()->readableText()).find("Pebble ad 2"), std::string::npos);

    auto center = NSNotificationCenter::defaultCenter();
    center->postNotificationName(UIApplicationDidEnterBackgroundNotification, nullptr);
    advanceRunLoop(60);
    EXPECT_EQ(targets("/pbma/ad?").size(), 2u);
    center->postNotificationName(UIApplicationWillEnterForegroundNotification, nullptr);
    EXPECT_EQ(b->privateObject()->scheduledReloadSeconds(), 30);
    advanceRunLoop(30.5);
    ASSERT_TRUE(settled(3));
    EXPECT_EQ(targets("/pbma/ad?").size(), 3u);

    // A full-screen screen of the client pauses it the same way.
    center->postNotificationName(NS("PBLViewControllerWillPresentFullScreen"), nullptr);
    EXPECT_EQ(b->privateObject()->scheduledReloadSeconds(), 0);
    center->postNotificationName(NS("PBLViewControllerDidRelinquishFullScreen"), nullptr);
    EXPECT_EQ(b->privateObject()->scheduledReloadSeconds(), 30);
}

TEST_F(PBLBannerViewTest, TheRedirectsHeadersCountAndAnInterstitialAsksForItsFormat) {
    auto moved = banner("moved");
    moved->loadRequest(nullptr);
    ASSERT_TRUE(settled(1));
    EXPECT_EQ(recorder->events.back(), "received");
    ASSERT_TRUE(runLoopUntil([&] { return targets("/imp").size() == 3; }));
    EXPECT_EQ(targets("/imp?moved=1").size(), 1u);

    // The header replaces whatever was stored before.
    NSUserDefaults::standardUserDefaults()->setFloat(0, NS("applicationTimeout"));
    auto interstitial = banner("interstitial");
    auto request = PBLRequest::request();
    interstitial->privateObject()->loadInterstitialRequest(request.get());
    ASSERT_TRUE(settled(2));
    EXPECT_EQ(recorder->events.back(), "received");
    auto query = lastAdQuery();
    EXPECT_EQ(field(query, "format"), "interstitial_mb");
    EXPECT_EQ(field(query, "ad_frame"), "<none>");
    EXPECT_EQ(interstitial->privateObject()->supportedOrientations(), 2);
    EXPECT_FLOAT_EQ(NSUserDefaults::standardUserDefaults()->floatForKey(NS("applicationTimeout")),
                    5.0f);
    NSUserDefaults::standardUserDefaults()->removeObjectForKey(NS("applicationTimeout"));
    EXPECT_TRUE(pebble->rejections().empty());
}

TEST_F(PBLBannerViewTest, ZeroAndNegativeRefreshRatesScheduleNothing) {
    for (const char* slot : {"refresh0", "refresh-5"}) {
        SCOPED_TRACE(slot);
        recorder->events.clear();
        services->reset();
        auto b = banner(slot);
        b->loadRequest(nullptr);
        ASSERT_TRUE(settled(1));
        EXPECT_EQ(b->privateObject()->scheduledReloadSeconds(), 0);
        advanceRunLoop(120);
        EXPECT_EQ(targets("/pbma/ad?").size(), 1u);
    }
}

TEST_F(PBLBannerViewTest, EveryNavigationOfTheShownAdIsAClickThatTracksItsClickURLs) {
    auto b = banner("webapp");
    b->loadRequest(nullptr);
    ASSERT_TRUE(settled(1));
    std::vector<std::string> commands;
    auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
        PBLWebActionNotification, nullptr,
        [&](NSNotification* n) { commands.push_back(text(n->userInfo()->objectForKey(NS("a")))); });
    // Gone however the test ends, since the block writes to this test's own locals.
    std::shared_ptr<void> observing(nullptr, [&](void*) {
        NSNotificationCenter::defaultCenter()->removeObserver(token.get());
    });
    // Each click hits both of the ad's click-tracking URLs at once, in either order, so the wait
    // is for every URL's own count to reach the click's number.
    auto trackedTimes = [&](size_t clicks) {
        return targets("/pit1") == std::vector<std::string>(clicks, "/pit1") &&
               targets("/pit-store") == std::vector<std::string>(clicks, "/pit-store");
    };
    // The Call button: a command, and a click all the same.
    ASSERT_TRUE(b->webView()->clickElementAtIndex(2));
    ASSERT_TRUE(  // the ad takes the next tap once the click is tracked
        runLoopUntil([&] { return trackedTimes(1) && !b->privateObject()->clickThroughOut(); }));
    EXPECT_EQ(commands, std::vector<std::string>{"open"});
    // The shop link: tracked again, the page stays, and with click trackers the landing page
    // opens in the web app screen.
    ASSERT_TRUE(b->webView()->clickElementAtIndex(1));
    ASSERT_TRUE(runLoopUntil([&] { return trackedTimes(2); }));
    EXPECT_EQ(b->privateObject()->state(), PBLStateShowing);
    EXPECT_NE(text(b->webView()->readableText()).find("Garden tools"), std::string::npos);
    auto screen = as<PBLWebAppViewController>(controller->modalViewController());
    ASSERT_TRUE(screen);
    screen->relinquishScreen();
    EXPECT_FALSE(controller->modalViewController());
}

TEST_F(PBLBannerViewTest, CommandURLFormsAndPageMessages) {
    auto parse = [](const char* url) {
        return PBLNotification::notificationFromURL(
            NSURL::URLWithString(NSString::fromUTF8(url)).get());
    };
    auto launch = parse("pebble://launch?url=http://shop.advertiser.test/x");
    ASSERT_TRUE(launch);
    EXPECT_EQ(text(launch->name()), "open");
    EXPECT_EQ(text(launch->parameters()->objectForKey(NS("a"))), "browser");
    EXPECT_EQ(text(launch->parameters()->objectForKey(NS("u"))), "http://shop.advertiser.test/x");
    EXPECT_EQ(text(parse("pebble://closecanvas")->name()), "close");
    EXPECT_FALSE(parse("pebble://elsewhere"));
    EXPECT_FALSE(parse("http://ads.pebbleads.test/click"));
    EXPECT_EQ(text(parse("gmsg://x/nextStep?K=v")->parameters()->objectForKey(NS("k"))), "v");

    auto view = make<UIWebView>(&UIWebView::initWithFrame, CGRectMake(0, 0, 10, 10));
    view->loadHTMLString(NS("<script>var got = []; function PBMA_ReceiveMessage(n, i) {"
                            " got.push(n + (i ? ':' + JSON.stringify(i) : '')); }"
                            "window.onorientationchange = function() {};</script>"),
                         nullptr);
    advanceRunLoop(0.01);
    PBLNotificationCenter::postJSNotification(NS("onshow"), nullptr, view.get());
    auto info = NSMutableDictionary::dictionary();
    info->setObject(NS("1"), NS("result"));
    PBLNotificationCenter::postJSNotification(NS("evalJavaScriptInOpenerResult"), info.get(),
                                              view.get());
    EXPECT_EQ(text(view->stringByEvaluatingJavaScriptFromString(NS("got.join('|')"))),
              "onshow|evalJavaScriptInOpenerResult:{\"result\":\"1\"}");
    PBLWebViewDelegate::notifyWebViewOfOrientationChange(view.get(), 4);
    EXPECT_EQ(text(view->stringByEvaluatingJavaScriptFromString(NS("window.orientation"))), "-90");
    PBLWebViewDelegate::notifyWebViewOfOrientationChange(view.get(), 2);
    EXPECT_EQ(text(view->stringByEvaluatingJavaScriptFromString(NS("window.orientation"))), "180");
}

TEST_F(PBLBannerViewTest, EvalInOpenerNeedsTheOpeningPage) {
    auto opener = make<UIWebView>(&UIWebView::initWithFrame, CGRectMake(0, 0, 10, 10));
    opener->loadHTMLString(NS("<script>var secret = 6 * 7;</script>"), nullptr);
    auto screen = make<UIWebView>(&UIWebView::initWithFrame, CGRectMake(0, 0, 10, 10));
    screen->loadHTMLString(NS("<script>var got = ''; function PBMA_ReceiveMessage(n, i) {"
                              " got = n + ' ' + i.result; }</script>"),
                           nullptr);
    advanceRunLoop(0.01);
    auto delegate = make<PBLWebViewDelegate>();
    auto request = NSURLRequest::requestWithURL(
        NSURL::URLWithString(NS("gmsg://pebbleads.test/evalInOpener?js=secret")).get());
    // No opening page: dropped.
    EXPECT_FALSE(delegate->webViewShouldStartLoadWithRequest(screen.get(), request.get(),
                                                             UIWebViewNavigationTypeOther));
    advanceRunLoop(0.01);
    EXPECT_EQ(text(screen->stringByEvaluatingJavaScriptFromString(NS("got"))), "");
    delegate->setOpeningWebView(opener.get());
    EXPECT_FALSE(delegate->webViewShouldStartLoadWithRequest(screen.get(), request.get(),
                                                             UIWebViewNavigationTypeOther));
    advanceRunLoop(0.01);
    EXPECT_EQ(text(screen->stringByEvaluatingJavaScriptFromString(NS("got"))),
              "evalJavaScriptInOpenerResult 42");
    // Every decision hands the opener the page it decides for, so a screen opened from it can
    // reach back.
    EXPECT_EQ(delegate->opener()->openingWebView().get(), screen.get());
}

TEST_F(PBLBannerViewTest, AnythingButARequestLoadsAsANewEmptyRequest) {
    // A fresh engine, with no request of its own yet.
    auto b = banner("banner");
    b->privateObject()->loadRequest(NS("not a request"));
    ASSERT_TRUE(settled(1));
    EXPECT_EQ(recorder->events, std::vector<std::string>{"received"});
    ASSERT_TRUE(b->privateObject()->request());
    EXPECT_EQ(b->privateObject()->request()->gender(), 0);

    auto interstitial = banner("interstitial");
    interstitial->privateObject()->loadInterstitialRequest(NSArray::array().get());
    ASSERT_TRUE(settled(2));
    EXPECT_EQ(recorder->events.back(), "received");
    EXPECT_EQ(field(lastAdQuery(), "format"), "interstitial_mb");
    EXPECT_TRUE(pebble->rejections().empty());
}

TEST_F(PBLBannerViewTest, AScriptThatNeverAnswersFailsTheLoadOnceWithCode5) {
    auto b = banner("mute");
    auto engine = b->privateObject();
    b->loadRequest(nullptr);
    ASSERT_TRUE(runLoopUntil(
        [&] { return pebble->scriptFetches() == 1 && engine->state() == PBLStateBuildingAdURL; }));
    advanceRunLoop(9.5);
    EXPECT_TRUE(recorder->events.empty());
    EXPECT_EQ(engine->state(), PBLStateBuildingAdURL);
    advanceRunLoop(1);
    EXPECT_EQ(recorder->events, std::vector<std::string>{"failed 5"});
    EXPECT_EQ(engine->state(), PBLStateFailed);
    advanceRunLoop(60);
    EXPECT_EQ(recorder->events.size(), 1u);

    // The engine takes the next load.
    b->setAdUnitID(NS("banner"));
    b->loadRequest(nullptr);
    ASSERT_TRUE(settled(2));
    EXPECT_EQ(recorder->events.back(), "received");
    // A script that answers in time leaves no time-out behind.
    advanceRunLoop(12);
    EXPECT_EQ(recorder->events.size(), 2u);
}

TEST_F(PBLBannerViewTest, TheAdPagesHeadersAreFoundWhateverTheCaseOfTheirNames) {
    auto b = banner("banner");
    auto engine = b->privateObject();
    b->loadRequest(nullptr);
    ASSERT_TRUE(settled(1));
    NSUserDefaults::standardUserDefaults()->removeObjectForKey(NS("applicationTimeout"));
    // The page's headers as another transport may hand them over: names in lower case.
    auto file = engine->adHTML();
    ASSERT_TRUE(file);
    auto fields = NSDictionary::dictionaryWithPairs(
        {{NS("x-pbma-tracking-urls"), NS("http://" PBL_AD_HOST "/imp?lc=1")},
         {NS("x-pbma-click-tracking-urls"), NS("http://" PBL_AD_HOST "/pit-lc")},
         {NS("x-pbma-orientation"), NS("landscape")},
         {NS("x-pbma-interstitial-timeout"), NS("7")},
         {NS("x-pbma-refresh-rate"), NS("45")}});
    auto response =
        make<NSHTTPURLResponse>(&NSHTTPURLResponse::initWithURL, file->sourceURL().get(), 200,
                                NS("HTTP/1.1"), fields.get());
    file->saveHeadersFromResponse(response.get());
    engine->cachedFileDownloadDidEnd(file.get());
    EXPECT_EQ(engine->supportedOrientations(), 3);
    ASSERT_TRUE(engine->pendingClickURLs());
    EXPECT_EQ(text(engine->pendingClickURLs()->objectAtIndex(0)), "http://" PBL_AD_HOST "/pit-lc");
    ASSERT_TRUE(engine->pendingTrackingURLs());
    EXPECT_EQ(engine->pendingTrackingURLs()->count(), 3u);
    EXPECT_FLOAT_EQ(NSUserDefaults::standardUserDefaults()->floatForKey(NS("applicationTimeout")),
                    7.0f);
    NSUserDefaults::standardUserDefaults()->removeObjectForKey(NS("applicationTimeout"));
    EXPECT_EQ(engine->scheduledReloadSeconds(), 45);

    // The splash's wait from the time-out sent: whole seconds, the longest for one too large (1e39
    // reads as infinity), none for one not above 0 (no header reads as NaN: it is stored as such).
    for (auto [sent, seconds] :
         {std::pair{"7.9", 7}, {"1e10", INT_MAX}, {"1e39", INT_MAX}, {"-1", 0}, {"nan", 0}}) {
        fields = NSDictionary::dictionaryWithPairs(
            {{NS("X-Pbma-Interstitial-Timeout"), NSString::fromUTF8(sent)}});
        file->saveHeadersFromResponse(make<NSHTTPURLResponse>(&NSHTTPURLResponse::initWithURL,
                                                              file->sourceURL().get(), 200,
                                                              NS("HTTP/1.1"), fields.get())
                                          .get());
        engine->cachedFileDownloadDidEnd(file.get());
        if (sent == std::string("nan"))
            NSUserDefaults::standardUserDefaults()->setFloat(NAN, NS("applicationTimeout"));
        EXPECT_EQ(PBLInterstitial::splashSeconds(), seconds) << sent;
    }
    NSUserDefaults::standardUserDefaults()->removeObjectForKey(NS("applicationTimeout"));
}

TEST_F(PBLBannerViewTest, TheEnginesListsAreHandedOutAsCopies) {
    auto b = banner("webapp");
    auto engine = b->privateObject();
    b->loadRequest(nullptr);
    ASSERT_TRUE(settled(1));
    auto tracking = engine->pendingTrackingURLs();
    auto clicks = engine->pendingClickURLs();
    ASSERT_TRUE(tracking);
    ASSERT_TRUE(clicks);
    EXPECT_EQ(tracking->count(), 2u);
    EXPECT_EQ(clicks->count(), 2u);
    EXPECT_FALSE(is<NSMutableArray>(tracking));
    EXPECT_FALSE(is<NSMutableArray>(clicks));
    ASSERT_TRUE(engine->adHTML());
    EXPECT_NE(text(engine->adHTML()->sourceURL()).find("/pbma/ad?"), std::string::npos);
    auto trackers = engine->pendingTrackers();
    ASSERT_TRUE(trackers);
    EXPECT_EQ(trackers->count(), engine->trackerCount());
    EXPECT_FALSE(is<NSMutableSet>(trackers));
    auto other = make<UIWebView>(&UIWebView::initWithFrame, CGRectMake(0, 0, 320, 50));
    engine->setWebView(other.get());
    EXPECT_EQ(engine->webView().get(), other.get());
}

TEST_F(PBLBannerViewTest, BeforeMultitaskingTheActiveStateStopsAndRestartsTheRefresh) {
    UIDevice::currentDevice()->setSystemVersion(NS("3.1.3"));
    std::shared_ptr<void> restore(
        nullptr, [](void*) { UIDevice::currentDevice()->setSystemVersion(nullptr); });
    auto b = banner("banner");
    auto engine = b->privateObject();
    b->loadRequest(nullptr);
    ASSERT_TRUE(settled(1));
    EXPECT_EQ(recorder->events, std::vector<std::string>{"received"});
    EXPECT_EQ(engine->scheduledReloadSeconds(), 30);
    auto center = NSNotificationCenter::defaultCenter();
    // Such a system has no background: those notes are not the engine's concern.
    center->postNotificationName(UIApplicationDidEnterBackgroundNotification, nullptr);
    EXPECT_EQ(engine->scheduledReloadSeconds(), 30);
    center->postNotificationName(UIApplicationWillResignActiveNotification, nullptr);
    EXPECT_EQ(engine->scheduledReloadSeconds(), 0);
    center->postNotificationName(UIApplicationDidBecomeActiveNotification, nullptr);
    EXPECT_EQ(engine->scheduledReloadSeconds(), 30);
}

TEST_F(PBLBannerViewTest, ABannerFromAnInterfaceFileGetsItsEngineWhenItWakes) {
    auto loaded = alloc<PBLBannerView>();
    ASSERT_TRUE(loaded->UIView::initWithFrame(CGRectMake(0, 0, 320, 50)));
    EXPECT_FALSE(loaded->privateObject());
    loaded->awakeFromNib();
    auto engine = loaded->privateObject();
    ASSERT_TRUE(engine);
    EXPECT_EQ(engine->webView()->superview().get(), loaded.get());
    // Waking again, or waking a banner made in code, keeps the engine and its settings.
    loaded->setAdUnitID(NS("banner"));
    loaded->awakeFromNib();
    EXPECT_EQ(loaded->privateObject().get(), engine.get());
    EXPECT_EQ(text(loaded->adUnitID()), "banner");
}

TEST_F(PBLBannerViewTest, TheManagerTellsWhetherADelegateStillAnswers) {
    auto b = banner("banner");
    auto manager = b->privateObject()->delegateManager();
    auto named = make<NamedDelegate>();
    EXPECT_TRUE(
        manager->didYouNilOutYourDelegate(named.get(), Selector::named("adViewDidReceiveAd:")));
    EXPECT_FALSE(manager->didYouNilOutYourDelegate(named.get(),
                                                   Selector::named("adViewWillLeaveApplication:")));
    EXPECT_FALSE(
        manager->didYouNilOutYourDelegate(nullptr, Selector::named("adViewDidReceiveAd:")));
}

TEST_F(PBLBannerViewTest, TrackingHeadersSplitAtSpacesAndSkipWhatIsNoURL) {
    auto urls = PBLObjectPrivate::createOrReuseArrayOfURLsFromHeader(
        nullptr, NS("http://a.test/1 http://b.test/2  http://[nope  "));
    ASSERT_TRUE(urls);
    EXPECT_EQ(urls->count(), 2u);
    EXPECT_EQ(text(urls->objectAtIndex(1)), "http://b.test/2");
    EXPECT_FALSE(PBLObjectPrivate::createOrReuseArrayOfURLsFromHeader(nullptr, NS("  ")));
    EXPECT_EQ(PBLObjectPrivate::requestTypeFromString(NS("pebble")), 4);
    EXPECT_EQ(PBLObjectPrivate::requestTypeFromString(NS("xfp")), 5);
    EXPECT_EQ(PBLObjectPrivate::requestTypeFromString(NS("adsense")), 1);
    EXPECT_EQ(PBLObjectPrivate::requestTypeFromString(NS("other")), 0);
}

TEST_F(PBLBannerViewTest, CommandsOfAPageBecomeNotificationsOfTheirName) {
    auto view = make<UIWebView>(&UIWebView::initWithFrame, CGRectMake(0, 0, 10, 10));
    auto delegate = make<PBLWebViewDelegate>();
    view->setDelegate(delegate.get());
    std::vector<std::string> got;
    Ref<NSDictionary> info;
    auto center = NSNotificationCenter::defaultCenter();
    auto t1 = center->addObserverForName(NS("settings"), view.get(), [&](NSNotification* n) {
        got.push_back("settings");
        info = n->userInfo();
    });
    auto t2 = center->addObserverForName(PBLWebActionNotification, view.get(),
                                         [&](NSNotification*) { got.push_back("action"); });
    auto request = NSURLRequest::requestWithURL(
        NSURL::URLWithString(NS("gmsg://pebbleads.test/settings?Mode=Quiet&x=1")).get());
    EXPECT_FALSE(delegate->webViewShouldStartLoadWithRequest(view.get(), request.get(),
                                                             UIWebViewNavigationTypeOther));
    EXPECT_EQ(got, std::vector<std::string>{"action"});  // the named one on the next pass
    runLoopUntil([&] { return got.size() == 2; });
    EXPECT_EQ(got, (std::vector<std::string>{"action", "settings"}));
    EXPECT_EQ(text(info->objectForKey(NS("mode"))), "Quiet");
    auto file = NSURLRequest::requestWithURL(NSURL::fileURLWithPath(NS("/etc/passwd")).get());
    EXPECT_FALSE(delegate->webViewShouldStartLoadWithRequest(view.get(), file.get(),
                                                             UIWebViewNavigationTypeOther));
    // An http navigation of type other to a bare path is no web action; a longer path is.
    got.clear();
    auto bare = NSURLRequest::requestWithURL(NSURL::URLWithString(NS("http://a.test/")).get());
    EXPECT_TRUE(delegate->webViewShouldStartLoadWithRequest(view.get(), bare.get(),
                                                            UIWebViewNavigationTypeOther));
    EXPECT_TRUE(got.empty());
    auto longer =
        NSURLRequest::requestWithURL(NSURL::URLWithString(NS("http://a.test/page")).get());
    EXPECT_TRUE(delegate->webViewShouldStartLoadWithRequest(view.get(), longer.get(),
                                                            UIWebViewNavigationTypeOther));
    EXPECT_EQ(got, std::vector<std::string>{"action"});
    auto about = NSURLRequest::requestWithURL(NSURL::URLWithString(NS("about:blank")).get());
    EXPECT_TRUE(delegate->webViewShouldStartLoadWithRequest(view.get(), about.get(),
                                                            UIWebViewNavigationTypeOther));
    center->removeObserver(t1.get());
    center->removeObserver(t2.get());
}

// ---- the shown banner's commands and the opener ------------------------------------------------

class PBLBannerCommandTest : public PBLBannerViewTest {
protected:
    void SetUp() override {
        PBLBannerViewTest::SetUp();
        window = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
        window->makeKeyAndVisible();
        window->addSubview(controller->view().get());
        UIApplication::sharedApplication()->clearOpenedURLs();
        audio_session::clearSystemSoundLog();
        shown = banner("banner");
        shown->loadRequest(nullptr);
        ASSERT_TRUE(settled(1));
        ASSERT_TRUE(runLoopUntil([&] { return !PBLClickTracker::activeTrackings(); }));
        recorder->events.clear();
    }
    void TearDown() override {
        if (controller->modalViewController())
            controller->dismissModalViewControllerAnimated(false);
        UIDevice::currentDevice()->setMultitaskingSupported(true);
        window = nullptr;
        PBLBannerViewTest::TearDown();
    }
    // Clicks the element shown as [number] in the ad.
    void click(NSUInteger number) {
        ASSERT_TRUE(shown->webView()->clickElementAtIndex(number));
        advanceRunLoop(0.01);
    }
    std::string answer() {
        return text(shown->webView()->stringByEvaluatingJavaScriptFromString(
            NS("document.getElementById('answer').textContent")));
    }
    Ref<UIWindow> window;
    Ref<PBLBannerView> shown;
};

TEST_F(PBLBannerCommandTest, CallLeavesTheApplicationWithTheNumber) {
    click(2);
    ASSERT_TRUE(
        runLoopUntil([] { return UIApplication::sharedApplication()->openedURLs()->count() > 0; }));
    EXPECT_EQ(text(UIApplication::sharedApplication()->openedURLs()->objectAtIndex(0)),
              "tel:5550100");
    EXPECT_EQ(recorder->events, std::vector<std::string>{"leaving"});
    EXPECT_EQ(shown->privateObject()->state(), PBLStateShowing);
}

TEST_F(PBLBannerCommandTest, TheMailLinkOpensTheComposerFilledFromTheLink) {
    click(3);
    auto composer = as<MFMailComposeViewController>(controller->modalViewController());
    ASSERT_TRUE(composer);
    EXPECT_EQ(text(composer->toRecipients()->objectAtIndex(0)), "shop@advertiser.test");
    ASSERT_EQ(composer->ccRecipients()->count(), 2u);
    EXPECT_EQ(text(composer->ccRecipients()->objectAtIndex(1)), "sales@advertiser.test");
    EXPECT_EQ(text(composer->subject()), "Garden tools");
    EXPECT_EQ(text(composer->messageBody()), "Hello");
    EXPECT_FALSE(composer->isBodyHTML());
    EXPECT_TRUE(UIApplication::sharedApplication()->openedURLs()->count() == 0);
    composer->cancel();
    advanceRunLoop(1);
    EXPECT_FALSE(controller->modalViewController());

    // Opened again, then the banner goes with everything it holds (as when its screen's view is
    // let go on a memory warning): the composer still closes when cancelled.
    click(3);
    composer = as<MFMailComposeViewController>(controller->modalViewController());
    ASSERT_TRUE(composer);
    Weak<PBLBannerView> gone(shown.get());
    shown->removeFromSuperview();
    shown = nullptr;
    banners.clear();
    advanceRunLoop(0.01);
    ASSERT_FALSE(gone.lock());
    composer->cancel();
    advanceRunLoop(1);
    EXPECT_FALSE(controller->modalViewController());
}

TEST_F(PBLBannerCommandTest, TouchVibrateLogTrackAndOpenableURLs) {
    unsigned touches = PBLSignals::touches();
    click(4);
    EXPECT_EQ(PBLSignals::touches(), touches + 1);
    click(5);
    EXPECT_EQ(audio_session::playedSystemSounds(), std::vector<SystemSoundID>{4095});
    click(6);
    EXPECT_NE(log_.find("pebble ad 1 says hello"), std::string::npos);
    click(7);
    ASSERT_TRUE(runLoopUntil([&] {
        return targets("/pit-track1").size() == 1 && !shown->privateObject()->clickThroughOut();
    }));
    click(8);
    EXPECT_EQ(answer(), R"(openableURLs {"tel:":true,"itms-apps:":true,"nosuchapp:":false})");
    // "click" tracks its URL with the signal key; the redirect ends at the advertiser's shop.
    click(9);
    ASSERT_TRUE(runLoopUntil([&] { return targets("/aclk").size() == 1; }));
    EXPECT_NE(targets("/aclk")[0].find("&nb"), std::string::npos) << targets("/aclk")[0];
    EXPECT_EQ(shown->privateObject()->state(), PBLStateShowing);
}

TEST_F(PBLBannerCommandTest, TheOpenerWaitsForTrackingsThreeTimesThenLeaves) {
    UIDevice::currentDevice()->setMultitaskingSupported(false);
    standin::Fault hold;
    hold.host = PBL_AD_HOST;
    hold.path = "/pit-slow";
    hold.gate = "slow tracking";
    services->addFault(hold);
    auto tracker = make<PBLClickTracker>();
    tracker->trackURL(NSURL::URLWithString(NS("http://" PBL_AD_HOST "/pit-slow")).get());
    ASSERT_TRUE(PBLClickTracker::activeTrackings());
    auto opener = make<PBLOpener>();
    opener->setDelegateManager(shown->privateObject()->delegateManager().get());
    opener->openApp(NSURL::URLWithString(NS("itms-apps://store.test/app/1")).get());
    auto opened = [] { return UIApplication::sharedApplication()->openedURLs()->count(); };
    advanceRunLoop(0.85);
    EXPECT_EQ(opened(), 0u);
    EXPECT_TRUE(recorder->events.empty());
    advanceRunLoop(0.1);
    EXPECT_EQ(opened(), 1u);
    EXPECT_EQ(recorder->events, std::vector<std::string>{"leaving"});
    EXPECT_EQ(PBLOpener::retryCount(), 0);
    services->gate("slow tracking")->open();
    tracker->reset();
}

}  // namespace

TEST_F(PebbleTest, TheEndOfTheLaunchIsForgottenBetweenTests) {
    auto frame = CGRectMake(0, 0, 320, 50);
    auto engine = make<PBLObjectPrivate>(&PBLObjectPrivate::initWithFrame, frame);
    UIApplication::sharedApplication()->performEnterBackground();
    EXPECT_TRUE(engine->isAppActive());  // still launching: not yet sent to the background
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationDidFinishLaunchingNotification, nullptr);
    EXPECT_FALSE(engine->isAppActive());
    engine = nullptr;
    resetProcessWideInstances();  // as between two tests: the next one launches again
    UIApplication::sharedApplication()->performEnterBackground();
    auto next = make<PBLObjectPrivate>(&PBLObjectPrivate::initWithFrame, frame);
    EXPECT_TRUE(next->isAppActive());
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationDidFinishLaunchingNotification, nullptr);
    EXPECT_FALSE(next->isAppActive());
}
