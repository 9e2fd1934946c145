// The Ironvine adapter over the stand-in services: the mediation configuration weighted to
// Ironvine starts the engine once, whose first banner comes with its ready call; later requests
// ask whether the next banner is downloaded, and none may come within the engine's minimum
// refresh interval.
#include <gtest/gtest.h>

#include <filesystem>

#include "AdLoom/adapters/AdLoomAdapterIronvine.h"
#include "AdLoomTesting.h"
#include "ads/ironvine/IVAdManager.h"
#include "ads/ironvine/IVAdView.h"
#include "ads/ironvine/IVClientManager.h"
#include "ads/ironvine/IVController.h"
#include "ads/ironvine/IVDatabase.h"

using namespace adloomtest;

namespace {

// Records what an adapter reports to it.
class RecordingBanner : public ARRollerView {
    NS_OBJECT(RecordingBanner, ARRollerView)
    void adapterDidReceiveAdView(AdLoomAdNetworkAdapter*, UIView* view) override {
        outcomes.push_back(view ? "view" : "nil view");
    }
    void adapterDidFailAd(AdLoomAdNetworkAdapter*, NSError*) override {
        outcomes.push_back("failed");
    }
    std::vector<std::string> outcomes;
};

class AdLoomIronvineTest : public AdLoomServiceTest {
protected:
    void SetUp() override {
        AdLoomServiceTest::SetUp();
        SCNetworkReachabilitySetFlagsForTesting(kSCNetworkReachabilityFlagsReachable);
        IVController::sharedController()->shutdown();
        std::error_code ec;
        std::filesystem::remove_all(IVController::ivBaseDir()->utf8() + "/Config", ec);
        std::filesystem::remove_all(IVController::ivBaseDir()->utf8() + "/Content", ec);
        IVController::sharedController()->database()->sqlExecute(NS("DROP TABLE IF EXISTS ads"));
    }
    void TearDown() override {
        auto manager = IVController::sharedController()->clientManager();
        advanceRunLoopUntil([&] { return !manager->isSynchronizing(); });
        IVController::sharedController()->shutdown();
        AdLoomServiceTest::TearDown();
    }
};

TEST_F(AdLoomIronvineTest, TheFirstBannerComesWithTheEnginesReadyCall) {
    ASSERT_TRUE(mediation->weightTo("ironvine"));
    auto host = makeHost();
    host->appKey = NSString::fromUTF8(bnservices::MediationModule::kAppKey);
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->addSubview(holder.get());
    window->makeKeyAndVisible();
    auto view = banner(host.get());
    ASSERT_TRUE(advanceRunLoopUntil([&] { return view->currAdapter() != nullptr; }));
    auto adapter = as<AdLoomAdapterIronvine>(view->currAdapter());
    ASSERT_NE(adapter, nullptr);
    auto controller = IVController::sharedController();
    EXPECT_TRUE(controller->hasStartedUp());
    EXPECT_EQ(text(controller->applicationID().get()), "bazaarnestiv0001");
    EXPECT_EQ(AdLoomAdapterIronvine::lastBannerTime(), 0);

    // The engine's banner view inside the two containers is the banner's ad.
    ASSERT_TRUE(advanceRunLoopUntil(
        [&] { return host->eventList().find("received") != std::string::npos; }));
    EXPECT_GT(AdLoomAdapterIronvine::lastBannerTime(), 0);
    auto slot = controller->adManager()->slotForName(NS("ivBanner"));
    ASSERT_TRUE(advanceRunLoopUntil([&] { return slot->dlTime() != 0; }));  // drawn in the banner
    auto ivView = controller->viewForSlotNamed(NS("ivBanner"));
    ASSERT_NE(ivView, nullptr);
    EXPECT_EQ(ivView->superview()->superview().get(), adapter->adNetworkView().get());
    auto page = ivView->controller()->webView()->stringByEvaluatingJavaScriptFromString(
        NS("document.body.innerHTML"));
    EXPECT_NE(text(page.get()).find("Bazaar deals near you"), std::string::npos);

    // The banner's own refresh timer stops with it; the adapters below are asked by hand.
    view->removeFromSuperview();
    // A later ready call is not a new banner; a second adapter does not start the engine again.
    auto ready = host->events.size();
    adapter->ironvineAdReadyForSlotNamed(NS("ivBanner"));
    adapter->ironvineAdReadyForSlotNamed(NS("ivFullScreen"));
    advanceRunLoop(0.1);
    EXPECT_EQ(host->events.size(), ready);
    auto second = make<AdLoomAdapterIronvine>();
    EXPECT_TRUE(second->initWithAdLoomDelegate(host.get(), view.get(), view->config().get(),
                                               adapter->networkConfig().get()));

    // Within 5 s of the banner a request fails at once.
    auto recorder = make<RecordingBanner>(&RecordingBanner::initWithDelegate,
                                          static_cast<AdLoomDelegate*>(host.get()));
    second->setAdLoomView(recorder.get());
    second->getAd();
    EXPECT_EQ(recorder->outcomes, std::vector<std::string>{"failed"});
    // Later, the waiting replacement is shown at once; without one the request fails.
    ASSERT_TRUE(advanceRunLoopUntil([&] { return slot->nextAdDlTime() != 0; }));
    advanceRunLoop(6.0);
    int64_t shown = slot->dlTime();
    second->getAd();
    EXPECT_EQ(recorder->outcomes, (std::vector<std::string>{"failed", "view"}));
    window->addSubview(second->adNetworkView().get());  // where a banner would put it
    ASSERT_TRUE(advanceRunLoopUntil([&] { return slot->dlTime() != shown; }));
    EXPECT_EQ(ivView->controller()->delegate().get(), static_cast<IronvineDelegate*>(second.get()));
    // Back from its browser after 9 s it shows the ad that came meanwhile; a request before the
    // next is in (held at the server) fails and leaves that ad in sight.
    ASSERT_TRUE(advanceRunLoopUntil([&] { return slot->nextAdDlTime() != 0; }));
    int64_t waiting = slot->nextAdDlTime();
    services->addFault({.host = "", .path = "/AdBridgeServer/v2/ad.json", .gate = "next"});
    auto iv = ivView->controller();
    iv->requestPage(NSURL::URLWithString(NS("http://ads.ironvine.test/")).get());
    advanceRunLoop(9.0);
    iv->dismiss();
    ASSERT_TRUE(advanceRunLoopUntil([&] { return !slot->nextAdDlTime() && !iv->isRefreshing(); }));
    second->getAd();
    EXPECT_EQ(recorder->outcomes.back(), "failed");
    EXPECT_EQ(slot->dlTime(), waiting);
    EXPECT_TRUE(ivView->window() && iv->containerView()->alpha() == 1);
    services->gate("next")->open();
    // A freed adapter is never called: the view's delegate goes with it.
    second = nullptr;
    EXPECT_FALSE(ivView->controller()->delegate());
    window->removeFromSuperview();
    holder->removeFromSuperview();
}

}  // namespace
