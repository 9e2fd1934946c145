// The full-screen hold table: each ad's full-screen view, opened from a mediation banner (or the
// analytics vendor's own) on the stand-in services, then ended one way. Its host hears it closed
// as often as it opened, the banner may refresh again, and the process-wide count is back to
// zero: a bystander's share taken while the view was up is the only one left, and still held.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "AdLoom/internal/AdLoomCustomAdView.h"
#include "AdLoom/internal/AdLoomWebBrowserController.h"
#include "AdLoomTesting.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NSUserDefaults.h"
#include "MediaPlayer/MPMoviePlayerController.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "ads/ironvine/IVAdView.h"
#include "ads/ironvine/IVClientManager.h"
#include "ads/ironvine/IVController.h"
#include "ads/meridian/MRGenericAdView.h"
#include "ads/meridian/MRHandshake.h"
#include "ads/meridian/MRJSONAdView.h"
#include "ads/meridian/MRJSONVideoButton.h"
#include "ads/meridian/MROverlayView.h"
#include "ads/meridian/MRVideoCache.h"
#include "ads/pebble/PBLBannerView.h"
#include "ads/pebble/PBLWebAppViewController.h"
#include "ads/tally/TallyAdCanvasViewController.h"
#include "ads/tally/TallyAdModel.h"
#include "ads/tally/TallyAdParser.h"
#include "ads/tally/TallyAdView.h"
#include "analytics/TallySession.h"
#include "iAd/ADBannerView.h"
#include "support/services/IronvineFirstLaunch.h"
#include "tools/services/TallyAdReply.h"

namespace {
using namespace adloomtest;

// What ends the view, in turn: its video plays to the end, Skip, a playback failure, Home and
// back, a memory warning, its banner freed; Close ends whatever is still up by its own control.
enum Act { PlayOut, Skip, Fail, Home, Warning, FreeBanner, Close };
enum Opens {
    Video,
    MeridianPage,
    HouseBrowser,
    PebbleScreen,
    IronvineBrowser,
    IronvineFailing,    // a refresh delivers, then two fail: ad.json answers 500
    IronvineHouseLate,  // one delivers, one fails, the house ad after it answers under the browser
    IronvineInFade,     // the same, the house ad answering between the tap and the browser
    SystemAd,
    TallyCanvas
};

struct HoldRow {  // network 0: the analytics vendor's banner, not mediated
    std::string name;
    Opens opens;
    int network;
    const char* key;
    std::vector<Act> ends;
};
void PrintTo(const HoldRow& row, std::ostream* out) {
    *out << row.name;
}

class FullScreenHolds : public AdLoomServiceTest, public testing::WithParamInterface<HoldRow> {
protected:
    void SetUp() override {
        AdLoomServiceTest::SetUp();
        forgetMeridian();
        loader_ = UIWebView::setURLLoader(UIWebViewConnectionLoader());
        host->controller = make<UIViewController>();
        window->makeKeyAndVisible();
        window->addSubview(host->controller->view().get());
        if (GetParam().network != 7) return;
        SCNetworkReachabilitySetFlagsForTesting(kSCNetworkReachabilityFlagsReachable);
        servicestest::forgetTheIronvineEngine();
    }
    void TearDown() override {
        closeWhatIsUp();
        if (GetParam().network == 7) {
            auto manager = IVController::sharedController()->clientManager();
            advanceRunLoopUntil([&] { return !manager->isSynchronizing(); });
            IVController::sharedController()->shutdown();
        }
        AdLoomServiceTest::TearDown();
        UIWebView::setURLLoader(loader_);
        forgetMeridian();
    }
    static void forgetMeridian() {
        MRHandshake::resetSharedHandshakeForTesting();
        auto files = NSFileManager::defaultManager();
        files->removeItemAtPath(MRHandshake::statePath().get(), nullptr);
        files->removeItemAtPath(MRVideoCache::cacheFolder().get(), nullptr);
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(NS("MRApid"));
    }
    Ref<UIView> ad() {
        auto adapter = view ? view->currAdapter() : nullptr;
        return adapter ? adapter->adNetworkView() : nullptr;
    }
    // Meridian's page over the screen: its banner's, or the one it left when freed.
    Ref<MROverlayView> overlay() {
        auto generic = as<MRGenericAdView>(ad());
        auto shown = generic ? generic->overlayView() : nullptr;
        return shown ? shown : page.lock();
    }
    Ref<IVAdViewInternal> ironvine() {
        auto banner = IVController::sharedController()->viewForSlotNamed(NS("ivBanner"));
        return banner ? banner->controller() : nullptr;
    }
    static bool houseLate(Opens o) { return o == IronvineHouseLate || o == IronvineInFade; }
    bool showsHouseAd() {
        return is<AdLoomCustomAdView>(view->viewWithTag(kAdLoomViewAdSubViewTag).get());
    }
    size_t said(const char* e) { return std::count(host->events.begin(), host->events.end(), e); }
    // Impressions sent, second by second: the mediation's pings and Pebble's own pixels.
    size_t counted(int seconds = 0) {
        for (int s = 0; s <= seconds; advanceRunLoop(s++ < seconds))  // the last, no time
            runLoopUntil([] { return NetworkWork::inFlight() == 0; });
        auto hits = services->received("pebble");
        return mediation->pings().size() +
               std::ranges::count_if(hits, [](auto& r) { return r.target.starts_with("/imp"); });
    }
    bool answered() { return said("config") < host->events.size(); }

    void open(Opens opens) {
        if (opens == Video) {
            // The first sight caches the video and fails; the next request plays it.
            ASSERT_TRUE(runLoopUntil([&] {
                return NSFileManager::defaultManager()->fileExistsAtPath(
                           MRVideoCache::cachedVideoListPath().get()) &&
                       NetworkWork::inFlight() == 0;
            }));
            advanceRunLoop(5);
            host->events.clear();
            view->requestFreshAd();
            auto json = as<MRJSONAdView>(as<MRGenericAdView>(ad())->jsonAdView());
            video = json->videoAdView().get();
            ASSERT_NE(video.lock()->player(), nullptr);
        } else if (opens == MeridianPage) {
            advanceRunLoop(2);
            auto generic = as<MRGenericAdView>(ad());
            ASSERT_TRUE(generic->htmlAdView()->showingWebView()->webView()->clickElementAtIndex(1));
        } else if (opens == HouseBrowser) {
            advanceRunLoop(2);
            as<AdLoomCustomAdView>(ad())->tapButton()->sendActionsForControlEvents(
                UIControlEventTouchUpInside);
        } else if (opens == PebbleScreen) {
            advanceRunLoop(2);
            ASSERT_TRUE(as<PBLBannerView>(ad())->webView()->clickElementAtIndex(1));
            ASSERT_TRUE(runLoopUntil([&] { return host->controller->modalViewController(); }));
        } else if (opens >= IronvineBrowser && opens <= IronvineInFade) {
            if (opens != IronvineBrowser) {  // the first ad drawn, its replacement in
                auto slot =
                    IVController::sharedController()->adManager()->slotForName(NS("ivBanner"));
                ASSERT_TRUE(
                    advanceRunLoopUntil([&] { return slot->dlTime() && slot->nextAdDlTime(); }));
                services->addFault(
                    {.host = "", .path = "/AdBridgeServer/v2/ad.json", .gate = "", .status = 500});
                if (houseLate(opens))  // the house ad waits
                    services->addFault(
                        {.host = "", .path = "/custom.php", .gate = GetParam().name});
                for (int i = 1; i <= (opens == IronvineFailing ? 3 : 2); ++i)  // as the timer's
                    view->performSelector(Selector::named("requestFreshAd"), nullptr, 6.0 * i);
                advanceRunLoop(19);
                ASSERT_EQ(said("received"), 2u) << host->eventList();
            }
            auto landing =
                NSURL::URLWithString(NS("http://ads.ironvine.test/AdBridgeServer/landing/1.html"));
            ironvine()->webViewShouldStartLoadWithRequest(
                ironvine()->webView().get(), NSURLRequest::requestWithURL(landing.get()).get(),
                UIWebViewNavigationTypeLinkClicked);
            if (houseLate(opens)) {  // once the browser is up, or in the banner's fade
                if (opens == IronvineHouseLate) advanceRunLoop(1);  // past the banner's fade
                services->gate(GetParam().name)->open();
                ASSERT_TRUE(runLoopUntil([&] { return !view->isRequesting(); }));
                advanceRunLoop(0);  // the transition an answer taken would make
                EXPECT_FALSE(showsHouseAd()) << "it replaced the ad whose browser it came under";
            }
        } else if (opens == SystemAd) {
            systemAd = as<ADBannerView>(ad()).get();
            systemAd.lock()->adTapped();
        } else {
            TallySession::createActiveTallySession(NS("hold-key"));
            TallyAdParser::recreateInstance()->parseData(
                data(bnservices::buildTallyAdReply({.clickActions = {{"", 0}}}, {})).get());
            auto made = TallyAdParser::fastAdWithHook(NS(""), holder->description());
            tally = make<TallyAdView>(&TallyAdView::initWithAd, static_cast<NSObject*>(made.get()),
                                      NS(""), 0, 0, static_cast<NSObject*>(holder.get()), true,
                                      nullptr, nullptr, false);
            auto touch = make<UITouch>();
            touch->setTapCount(1);
            tally->touchesEnded(NSSet::setWithObject(touch.get()).get(), nullptr);
        }
        advanceRunLoop(1);
    }

    void act(Act a) {
        auto center = NSNotificationCenter::defaultCenter();
        auto app = UIApplication::sharedApplication();
        auto player = video.lock() ? video.lock()->player() : nullptr;
        if (a == PlayOut) {
            advanceRunLoop(6);
        } else if (a == Skip) {
            advanceRunLoop(2);  // the buttons show
            auto buttons = video.lock()->ad()->videoButtons();
            auto skip = as<MRJSONVideoButton>(buttons->objectAtIndex(0));  // "mrsdk://endVideo"
            video.lock()->jsonVideoButtonWasTapped(skip.get(), nullptr);
        } else if (a == Fail) {
            auto reason = NSNumber::numberWithInt(MPMovieFinishReasonPlaybackError);
            center->postNotificationName(
                MPMoviePlayerPlaybackDidFinishNotification, player.get(),
                NSDictionary::dictionaryWithObject(reason.get(),
                                                   MPMoviePlayerPlaybackDidFinishReasonUserInfoKey)
                    .get());
        } else if (a == Home) {
            center->postNotificationName(UIApplicationDidEnterBackgroundNotification, app.get());
            advanceRunLoop(1);
            center->postNotificationName(UIApplicationWillEnterForegroundNotification, app.get());
        } else if (a == Warning) {
            app->performMemoryWarning();
        } else if (a == FreeBanner) {
            page = overlay().get();
            Weak<AdLoomView> gone = view.get();
            if (view) view->removeFromSuperview();
            view = nullptr;
            tally = nullptr;
            advanceRunLoop(1);
            EXPECT_EQ(gone.lock(), nullptr);
        } else {
            closeWhatIsUp();
        }
        advanceRunLoop(2);
    }

    // By its own control: the player's Done, the page's Close, the browsers' Done, the canvas's
    // Cancel.
    void closeWhatIsUp() {
        if (auto v = video.lock(); v && v->player()) v->player()->done();
        if (auto p = overlay(); p && p->superview()) p->close();
        if (auto browser = as<AdLoomWebBrowserController>(host->controller->modalViewController()))
            browser->close(nullptr);
        if (auto screen = as<PBLViewController>(host->controller->modalViewController()))
            screen->relinquishScreen();
        if (auto iv = GetParam().network == 7 ? ironvine() : nullptr; iv && iv->isBrowserMode())
            iv->dismiss();
        if (auto banner = systemAd.lock(); banner && banner->isBannerViewActionInProgress())
            banner->closeAction();
        if (auto canvas = TallyAdCanvasViewController::getOpenCanvasController()) canvas->cancel();
        advanceRunLoop(2);
    }

    Ref<TestHost> host = makeHost();
    Ref<AdLoomView> view;
    Ref<TallyAdView> tally;
    Weak<MRJSONVideoAdView> video;
    Weak<MROverlayView> page;
    Weak<ADBannerView> systemAd;
    UIWebViewURLLoader loader_;
};

TEST_P(FullScreenHolds, EveryWayTheViewGoesGivesItsShareBack) {
    const HoldRow& row = GetParam();
    if (row.network) {
        std::vector<Ration> rations = {{row.network, row.key, 100, 1, row.key}};
        if (houseLate(row.opens)) rations.push_back({9, "house-image", 0, 2, "house-image"});
        serve(host->appKey->utf8(), rationsJSON(rations));
        view = banner(host.get());
        // Ironvine's first banner comes with its engine's ready call, the system banner's on
        // its load timer.
        ASSERT_TRUE(row.network == 7 || row.network == 19
                        ? advanceRunLoopUntil([&] { return answered(); })
                        : runLoopUntil([&] { return answered(); }));
    }
    open(row.opens);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(AdFullScreenHold::anyHeld());
    EXPECT_EQ(said("modal up"), row.network ? 1u : 0u);
    AdFullScreenHold bystander;  // another ad's view, opened over it
    bystander.take();
    for (Act a : row.ends)
        act(a);
    // A network's own refresh comes due under another ad's view, then covered: nothing counted.
    size_t before = counted();
    counted(31);
    EXPECT_TRUE(AdFullScreenHold::anyHeld()) << "another holder's share was given back";
    EXPECT_FALSE(bystander.heldByAnother()) << "a share is still out";
    bystander.giveBack();
    EXPECT_FALSE(AdFullScreenHold::anyHeld());
    holder->removeFromSuperview();
    EXPECT_EQ(counted(31), before) << "counted what nobody saw";
    window->addSubview(holder.get());
    EXPECT_EQ(said("modal down"), said("modal up")) << host->eventList();
    if (!view) return;
    EXPECT_TRUE(view->canRefresh());
    if (!houseLate(row.opens)) return;
    // The refresh after the close brings the house ad it dropped.
    view->performSelector(Selector::named("requestFreshAd"), nullptr, 5.0);
    EXPECT_TRUE(advanceRunLoopUntil([&] { return showsHouseAd(); })) << host->eventList();
}

// The video's own ends (played out under each onCompletion form, Skip, a failure), then every
// holder closed by its control, through Home, under a memory warning and with its banner freed.
std::vector<HoldRow> rows() {
    std::vector<HoldRow> all = {
        {"VideoEndsWithNoPage", Video, 6, "json-video-ends", {PlayOut}},
        {"VideoEndsWithNothingSaid", Video, 6, "json-video-bare", {PlayOut}},
        {"VideoEndsOnItsPage", Video, 6, "json-video-url", {PlayOut, Close}},
        {"VideoEndsOnItsHTML", Video, 6, "json-video-html", {PlayOut, Close}},
        {"VideoEndsInThePlayer", Video, 6, "json-video-stay", {PlayOut, Close}},
        {"VideoSkip", Video, 6, "json-video", {Skip}},
        {"VideoFails", Video, 6, "json-video", {Fail}},
    };
    const HoldRow holders[] = {{"Video", Video, 6, "json-video", {}},
                               {"MeridianPage", MeridianPage, 6, "html", {}},
                               {"HouseBrowser", HouseBrowser, 9, "house-image", {}},
                               {"PebbleScreen", PebbleScreen, 1, "webapp", {}},
                               {"IronvineBrowser", IronvineBrowser, 7, "bazaarnestiv0001", {}},
                               {"IronvineFailedTwice", IronvineFailing, 7, "bazaarnestiv0001", {}},
                               {"IronvineHouseLate", IronvineHouseLate, 7, "bazaarnestiv0001", {}},
                               {"IronvineHouseInFade", IronvineInFade, 7, "bazaarnestiv0001", {}},
                               {"SystemAd", SystemAd, 19, "iad", {}},
                               {"TallyCanvas", TallyCanvas, 0, "", {}}};
    const std::pair<const char*, std::vector<Act>> ways[] = {{"Close", {Close}},
                                                             {"Home", {Home, Close}},
                                                             {"MemoryWarning", {Warning, Close}},
                                                             {"BannerFreed", {FreeBanner, Close}}};
    for (const HoldRow& holder : holders)
        for (const auto& [way, ends] : ways)
            all.push_back({holder.name + way, holder.opens, holder.network, holder.key, ends});
    return all;
}
INSTANTIATE_TEST_SUITE_P(Holds, FullScreenHolds, testing::ValuesIn(rows()),
                         [](const testing::TestParamInfo<HoldRow>& info) {
                             return info.param.name;
                         });

}  // namespace
