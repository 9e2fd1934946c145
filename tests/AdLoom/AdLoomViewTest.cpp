// The banner over the stand-in mediation server, with scripted adapters for network types 2 and
// 3: the weighted choice, roll-over through the reachability probe, refresh and its guards,
// transitions, metrics pings read back from the server, and teardown.
#include "AdLoomTesting.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSTimer.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIKitNotifications.h"
#include "ads/place/AdFullScreen.h"

using namespace adloomtest;

namespace {

class AdLoomViewTest : public AdLoomServiceTest {
protected:
    // A banner whose host's key the server answers with these rations.
    Ref<AdLoomView> bannerFor(TestHost* host, const std::vector<Ration>& rations,
                              const std::string& extra = R"({"refresh_interval":0})",
                              NSArray* darts = nullptr) {
        host->appKey = NSString::fromUTF8("test" + std::to_string(++keys_));
        serve(host->appKey->utf8(), rationsJSON(rations, extra));
        auto view = banner(host);
        if (darts) view->setTestDarts(darts);
        return view;
    }
    bool configured(TestHost* host) {
        return runLoopUntil([&] {
            return std::find(host->events.begin(), host->events.end(), "config") !=
                   host->events.end();
        });
    }
    std::vector<int>& requested() { return Script::shared().requested; }
    static Ref<NSArray> darts(std::initializer_list<double> values) {
        auto list = NSMutableArray::array();
        for (double v : values)
            list->addObject(NSNumber::numberWithDouble(v).get());
        return list;
    }
    int keys_ = 0;
};

TEST_F(AdLoomViewTest, WeightsChooseTheFirstRequestAndTestDartsRepeat) {
    auto host = makeHost();
    auto view = bannerFor(host.get(), {{2, "a", 50, 1}, {3, "b", 50, 2}},
                          R"({"refresh_interval":0})", darts({10, 60, 150}).get());
    ASSERT_TRUE(configured(host.get()));
    advanceRunLoop(0);  // the first request is queued behind the configuration's arrival
    ASSERT_EQ(requested(), (std::vector<int>{2}));
    for (int i = 0; i < 3; ++i) {
        advanceRunLoop(5);
        view->requestFreshAd();
    }
    // 150 is clamped below the total (99.999): the second network; then 10 again.
    EXPECT_EQ(requested(), (std::vector<int>{2, 3, 3, 2}));
    EXPECT_EQ(view->totalPercent(), 100);
    EXPECT_TRUE(view->adExists());
    EXPECT_EQ(text(view->mostRecentNetworkName()), "neta");
}

TEST_F(AdLoomViewTest, ARandomDartNeverLetsAZeroWeightNetworkWin) {
    auto host = makeHost();
    auto view = bannerFor(host.get(), {{3, "zero", 0, 1}, {2, "all", 100, 2}});
    ASSERT_TRUE(configured(host.get()));
    advanceRunLoop(0);
    for (int i = 0; i < 40; ++i) {
        EXPECT_GE(view->nextDart(), 0);
        EXPECT_LT(view->nextDart(), 100);
    }
    EXPECT_EQ(requested(), (std::vector<int>{2}));
}

TEST_F(AdLoomViewTest, APendingNetworkIsLeftOutAndZeroWeightFallsBackToPriority) {
    Script::shared().outcomes[2] = Outcome::Hold;
    auto host = makeHost();
    auto view =
        bannerFor(host.get(), {{2, "w", 100, 2}, {3, "z", 0, 1}}, R"({"refresh_interval":5})");
    ASSERT_TRUE(configured(host.get()));
    advanceRunLoop(0);
    EXPECT_EQ(requested(), (std::vector<int>{2}));
    EXPECT_TRUE(view->isRequesting());
    EXPECT_NE(view->refreshTimer(), nullptr);

    // The timer's cycle cannot use type 2 while it is pending: only type 3 (weight 0) is left,
    // taken by priority.
    advanceRunLoop(5);
    EXPECT_EQ(requested(), (std::vector<int>{2, 3}));
    EXPECT_EQ(view->pendingAdapterCount(), 1u);

    // The held adapter answers late: stale, logged and ignored.
    ASSERT_EQ(Script::shared().held.size(), 1u);
    static_cast<ScriptedAdapterA*>(Script::shared().held[0])->answer(Outcome::Deliver);
    EXPECT_EQ(view->pendingAdapterCount(), 0u);
    EXPECT_EQ(std::count(host->events.begin(), host->events.end(), "received"), 1);
}

TEST_F(AdLoomViewTest, RefreshIntervalsAtOrBelowTheMinimumScheduleNoTimer) {
    auto four = makeHost(), five = makeHost();
    auto v4 = bannerFor(four.get(), {{2, "a", 100, 1}}, R"({"refresh_interval":4})");
    ASSERT_TRUE(configured(four.get()));
    auto v5 = bannerFor(five.get(), {{2, "a", 100, 1}}, R"({"refresh_interval":5})");
    ASSERT_TRUE(configured(five.get()));
    EXPECT_EQ(v4->refreshTimer(), nullptr);
    ASSERT_NE(v5->refreshTimer(), nullptr);
    EXPECT_EQ(v5->refreshTimer()->timeInterval(), 5);

    // Leaving the superview drops the timer (and the banner can then be freed); coming back
    // starts none.
    Weak<AdLoomView> weak(v5.get());
    advanceRunLoop(1);  // past the first ad's arrival
    {
        NSAutoreleasePool pool;  // what the removals leave to the end of the pass
        v5->removeFromSuperview();
        EXPECT_EQ(v5->refreshTimer(), nullptr);
        holder->addSubview(v5.get());
        EXPECT_EQ(v5->refreshTimer(), nullptr);
        v5->removeFromSuperview();
        v5 = nullptr;
    }
    advanceRunLoop(0);  // the invalidated timer lets go of its target on the loop
    EXPECT_EQ(weak.lock(), nullptr);
}

TEST_F(AdLoomViewTest, AConfigurationForABannerAlreadyTakenOutOfItsHolderStartsNoTimer) {
    auto host = makeHost();
    auto view = bannerFor(host.get(), {{2, "a", 100, 1}}, R"({"refresh_interval":5})");
    Weak<AdLoomView> weak(view.get());
    {
        NSAutoreleasePool pool;
        view->removeFromSuperview();  // before its configuration is in
    }
    ASSERT_TRUE(configured(host.get()));
    EXPECT_EQ(view->refreshTimer(), nullptr);
    advanceRunLoop(1);
    view = nullptr;
    advanceRunLoop(0);
    EXPECT_EQ(weak.lock(), nullptr);  // nothing keeps the removed banner alive

    // A banner its host has not placed yet is still to be placed: its timer starts as usual.
    auto later = makeHost();
    later->appKey = NS("test-later");
    serve("test-later", rationsJSON({{2, "a", 100, 1}}, R"({"refresh_interval":5})"));
    auto unplaced = AdLoomView::requestAdLoomViewWithDelegate(later.get());
    ASSERT_TRUE(configured(later.get()));
    ASSERT_NE(unplaced->refreshTimer(), nullptr);
    // Taken out and placed again, it takes a fresh configuration's timer.
    holder->addSubview(unplaced.get());
    {
        NSAutoreleasePool pool;
        unplaced->removeFromSuperview();
    }
    EXPECT_EQ(unplaced->refreshTimer(), nullptr);
    holder->addSubview(unplaced.get());
    later->events.clear();
    unplaced->updateAdLoomConfig();
    ASSERT_TRUE(configured(later.get()));
    EXPECT_NE(unplaced->refreshTimer(), nullptr);
    advanceRunLoop(1);  // its request, queued behind the configuration
    unplaced->removeFromSuperview();
}

TEST_F(AdLoomViewTest, RequestsTooSoonOrInTheWrongStateAreRefusedWithTheirCodes) {
    auto host = makeHost();
    auto view = bannerFor(host.get(), {{2, "a", 100, 1}}, R"({"refresh_interval":30})");
    holder->removeFromSuperview();  // out of sight: its screen covered by another
    ASSERT_TRUE(configured(host.get()));
    advanceRunLoop(0);
    EXPECT_EQ(requested().size(), 0u);
    window->addSubview(holder.get());  // shown again, it makes the request that waited
    advanceRunLoop(0);
    ASSERT_EQ(requested().size(), 1u);

    advanceRunLoop(3);
    view->timerRequestFreshAd();  // a tick 3 s after the request is ignored
    EXPECT_EQ(requested().size(), 1u);
    view->requestFreshAd();
    EXPECT_EQ(host->events.back(), "failed 110");
    EXPECT_EQ(text(view->lastError()->localizedDescription()),
              "Requesting fresh ad too soon! It has been only 3.000000s. Minimum 4.900000s");

    advanceRunLoop(2);
    view->adapterWillPresentFullScreen(view->currAdapter().get());  // without the hold
    view->requestFreshAd();
    EXPECT_EQ(host->events.back(), "failed 140");
    view->timerRequestFreshAd();
    EXPECT_EQ(requested().size(), 1u);
    view->adapterDidDismissFullScreen(view->currAdapter().get());
    AdFullScreenHold another;  // another banner's full-screen view holds this one too
    another.take();
    view->requestFreshAd();
    EXPECT_EQ(host->events.back(), "failed 140");
    view->timerRequestFreshAd();
    EXPECT_EQ(requested().size(), 1u);
    another.giveBack();

    view->ignoreNewAdRequests();
    view->requestFreshAd();
    EXPECT_EQ(host->events.back(), "failed 80");
    view->rollOver();
    EXPECT_EQ(requested().size(), 1u);
    view->doNotIgnoreNewAdRequests();

    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationWillResignActiveNotification, nullptr);
    EXPECT_TRUE(view->isAppInactive());
    EXPECT_FALSE(view->canRefresh());
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationDidBecomeActiveNotification, nullptr);
    EXPECT_TRUE(view->canRefresh());

    Script::shared().outcomes[2] = Outcome::Hold;
    view->requestFreshAd();
    EXPECT_EQ(requested().size(), 2u);
    advanceRunLoop(5);
    view->requestFreshAd();
    EXPECT_EQ(host->events.back(), "failed 90");
    holder->removeFromSuperview();  // its answer comes once the screen is covered: not shown
    static_cast<ScriptedAdapterA*>(Script::shared().held.back())->answer(Outcome::Deliver);
    EXPECT_EQ(host->events.back(), "failed 90");
    window->addSubview(holder.get());  // shown again, it asks afresh
    advanceRunLoop(0);
    EXPECT_EQ(requested().size(), 3u);

    // A banner the host drives by hand fetches nothing: without a configuration, code 100.
    auto roller = ARRollerView::requestRollerViewWithDelegate(host.get());
    roller->getNextAd();
    EXPECT_EQ(host->events.back(), "failed 100");
    roller->setDelegateToNil();
    EXPECT_EQ(roller->delegate(), nullptr);
}

TEST_F(AdLoomViewTest, AFailureRollsOverByPriorityOnceTheProbeAnswers) {
    Script::shared().outcomes[2] = Outcome::Fail;
    auto host = makeHost();
    host->answer({"adLoomReceivedRequestForDeveloperToFufill:"});
    // Type 2 takes every dart; the two left roll over by priority: the generic network first.
    auto view = bannerFor(host.get(), {{2, "a", 100, 3}, {3, "b", 0, 2}, {16, "g", 0, 1}});
    ASSERT_TRUE(configured(host.get()));
    ASSERT_TRUE(runLoopUntil([&] { return host->events.size() >= 3; }));
    EXPECT_EQ(host->eventList(), "config, backup, fulfil");
    EXPECT_EQ(view->rollOverReachability(), nullptr);
    EXPECT_EQ(requested(), (std::vector<int>{2}));
    EXPECT_EQ(view->lastError(), nullptr);
    EXPECT_FALSE(view->isRequesting());
    // The generic network shows nothing but counts as an impression.
    ASSERT_TRUE(waitForPings(1));
    EXPECT_EQ(mediation->pings()[0].nid, "g");
}

TEST_F(AdLoomViewTest, RollOverEndsWithNoNetworksLeftOrNoConnection) {
    Script::shared().outcomes[2] = Outcome::Fail;
    Script::shared().outcomes[3] = Outcome::Fail;
    auto host = makeHost();
    auto view = bannerFor(host.get(), {{2, "a", 100, 1}, {3, "b", 0, 2}});
    ASSERT_TRUE(configured(host.get()));
    advanceRunLoop(0);
    ASSERT_TRUE(runLoopUntil([&] { return host->events.size() >= 3; }));
    EXPECT_EQ(host->eventList(), "config, backup, failed 120");
    EXPECT_EQ(text(view->lastError()->localizedDescription()), "No more ad networks to roll over");
    EXPECT_EQ(requested(), (std::vector<int>{2, 3}));

    // Without a connection the roll-over stops with 130.
    advanceRunLoop(5);
    SCNetworkReachabilitySetFlagsForTesting(0);
    view->requestFreshAd();
    ASSERT_TRUE(runLoopUntil([&] { return host->events.size() >= 4; }));
    EXPECT_EQ(host->events.back(), "failed 130");
    EXPECT_EQ(text(view->lastError()->localizedDescription()),
              "No network connection for rollover");
}

TEST_F(AdLoomViewTest, AGenericNetworkWithoutTheHostsMethodRollsOver) {
    auto host = makeHost();  // no adLoomReceivedRequestForDeveloperToFufill:
    auto view = bannerFor(host.get(), {{16, "g", 100, 1}, {2, "a", 0, 2}});
    ASSERT_TRUE(configured(host.get()));
    advanceRunLoop(0);
    ASSERT_TRUE(runLoopUntil([&] { return !requested().empty(); }));
    EXPECT_TRUE(logged("Delegate does not implement adLoomReceivedRequestForDeveloperToFufill"));
    EXPECT_EQ(host->eventList(), "config, backup, received");
}

TEST_F(AdLoomViewTest, EventNetworksCallTheHostsMethodByName) {
    struct Case {
        const char* key;
        const char* event;  // what the host heard, "" for nothing
        bool finished;
    };
    const Case cases[] = {
        {"acct|;|showOwnBanner", "own banner", true},
        {"acct|;|showOwnBannerIn", "own banner in view", true},  // only the one-argument form
        {"acct|;|neverHeardOf", "", false},
        {"acct|;|declaredOnly", "", false},  // answers respondsToSelector: but has no method
        {"no second field", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        auto host = makeHost();
        host->answer({"declaredOnly"});
        auto view = bannerFor(host.get(), {{17, "e", 100, 1, c.key}});
        ASSERT_TRUE(configured(host.get()));
        advanceRunLoop(0);
        if (*c.event) {
            EXPECT_EQ(host->eventList(), std::string("config, ") + c.event);
        } else {
            EXPECT_EQ(host->eventList(), "config, failed 120");
            EXPECT_TRUE(logged("Delegate does not implement function"));
        }
        EXPECT_FALSE(view->isRequesting());
    }
}

TEST_F(AdLoomViewTest, TransitionsReplaceTheAdAndDetachTheLastAdapter) {
    auto host = makeHost();
    auto view =
        bannerFor(host.get(), {{2, "a", 100, 1}}, R"({"refresh_interval":0,"transition":6})");
    ASSERT_TRUE(configured(host.get()));
    ASSERT_TRUE(runLoopUntil([&] { return host->events.size() >= 3; }));
    auto first = view->viewWithTag(kAdLoomViewAdSubViewTag);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(host->eventList(), "config, received, animated");
    auto firstAdapter = view->currAdapter();

    advanceRunLoop(5);
    view->requestFreshAd();
    advanceRunLoop(0);
    // Sliding in from the right: both ads are up while the animation runs.
    EXPECT_EQ(view->subviewList().size(), 2u);
    EXPECT_EQ(first->tag(), 0);
    auto second = view->viewWithTag(kAdLoomViewAdSubViewTag);
    EXPECT_EQ(second->frame().origin.x, 0);
    EXPECT_EQ(view->lastAdapter().get(), firstAdapter.get());
    // Same network type twice: the earlier adapter was told to stop first.
    EXPECT_EQ(Script::shared().stops, 1);
    advanceRunLoop(1);
    EXPECT_EQ(view->subviewList().size(), 1u);
    EXPECT_EQ(first->superview(), nullptr);
    EXPECT_EQ(view->lastAdapter(), nullptr);
    EXPECT_EQ(firstAdapter->adLoomView(), nullptr);
    EXPECT_EQ(host->events.back(), "animated");

    // A transition to the view already shown does nothing.
    view->transitionToView(second.get());
    EXPECT_EQ(view->subviewList().size(), 1u);
    EXPECT_EQ(CGSizeEqualToSize(view->actualAdSize(), CGSizeMake(320, 50)), true);
}

TEST_F(AdLoomViewTest, ImpressionsAndOneClickPerAdapterReachTheMetricsServer) {
    auto host = makeHost();
    auto view = bannerFor(host.get(), {{2, "a&b", 100, 1}});
    ASSERT_TRUE(configured(host.get()));
    advanceRunLoop(0);
    ASSERT_TRUE(waitForPings(1));
    auto touch = UIEvent::touchEvent({});
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(view->pointInside(CGPointMake(10, 10), touch.get()));
    EXPECT_FALSE(view->pointInside(CGPointMake(10, 60), touch.get()));
    view->pointInside(CGPointMake(10, 10), UIEvent::motionEvent(UIEventSubtypeMotionShake).get());
    ASSERT_TRUE(waitForPings(2));
    advanceRunLoop(5);
    view->requestFreshAd();
    advanceRunLoop(2);
    view->pointInside(CGPointMake(5, 5), touch.get());
    ASSERT_TRUE(waitForPings(4));
    advanceRunLoop(1);
    auto pings = mediation->pings();
    ASSERT_EQ(pings.size(), 4u);
    // Each ping has a connection of its own: they may arrive in any order.
    std::vector<bnservices::MediationModule::Ping> clicks;
    for (auto& p : pings)
        if (p.kind == "click") clicks.push_back(p);
    ASSERT_EQ(clicks.size(), 2u);
    EXPECT_EQ(clicks[0].nid, "a&b");  // escaped on the way, whole on arrival
    EXPECT_EQ(clicks[0].type, "2");
    EXPECT_EQ(clicks[0].appid, host->appKey->utf8());
    EXPECT_EQ(clicks[0].countryCode, NSLocale::currentLocale()->localeIdentifier()->utf8());
    EXPECT_NE(clicks[0].target.find("&appver=300&client=1"), std::string::npos);

    // The host's own metrics servers take the pings instead.
    host->answer({"adLoomImpMetricURL"});
    host->impURL = NSURL::URLWithString(NS("http://metrics.adloom.test/exmet.php?mine=1"));
    advanceRunLoop(5);
    view->requestFreshAd();
    ASSERT_TRUE(waitForPings(5));
    EXPECT_EQ(mediation->pings()[4].target.find("mine"), std::string::npos);  // query replaced
    EXPECT_EQ(mediation->pings()[4].kind, "impression");
}

TEST_F(AdLoomViewTest, AdsOffOnlyTellsTheHost) {
    auto host = makeHost();
    host->appKey = NSString::fromUTF8(bnservices::MediationModule::kAdsOffKey);
    auto view = banner(host.get());
    ASSERT_TRUE(runLoopUntil([&] { return host->events.size() >= 2; }));
    advanceRunLoop(1);
    EXPECT_EQ(host->eventList(), "config, ads off");
    EXPECT_EQ(view->refreshTimer(), nullptr);
    EXPECT_TRUE(requested().empty());
}

TEST_F(AdLoomViewTest, AFreedBannerDropsItsProbeAndDetachesPendingAdapters) {
    Script::shared().outcomes[2] = Outcome::Hold;
    Script::shared().outcomes[3] = Outcome::Fail;
    auto host = makeHost();
    auto view = bannerFor(host.get(), {{2, "a", 100, 2}, {3, "b", 0, 1}, {16, "g", 0, 3}});
    ASSERT_TRUE(configured(host.get()));
    ASSERT_TRUE(runLoopUntil([&] { return Script::shared().held.size() == 1; }));
    Ref<AdLoomAdNetworkAdapter> held(Script::shared().held[0]);
    EXPECT_EQ(held->adLoomView().get(), view.get());
    // A second cycle leaves the pending type 2 out; type 3 fails and the probe is scheduled.
    view->buildPrioritizedAdNetCfgsAndMakeRequest();
    EXPECT_EQ(requested(), (std::vector<int>{2, 3}));
    Weak<AWNetworkReachabilityWrapper> probe(view->rollOverReachability().get());
    ASSERT_NE(probe.lock(), nullptr);
    Weak<AdLoomView> weak(view.get());
    {
        NSAutoreleasePool pool;
        view->removeFromSuperview();
        view = nullptr;
    }
    ASSERT_EQ(weak.lock(), nullptr);
    EXPECT_EQ(probe.lock(), nullptr);
    EXPECT_EQ(held->adLoomView(), nullptr);
    EXPECT_EQ(held->adLoomDelegate(), nullptr);
    advanceRunLoop(1);  // the probe's answer would have come now
    static_cast<ScriptedAdapterA*>(held.get())->answer(Outcome::Deliver);  // reaches nobody
    EXPECT_EQ(host->eventList(), "config");
}

TEST_F(AdLoomViewTest, AHostThatCannotPresentIsRefused) {
    auto host = makeHost();
    host->presents = false;
    auto e = raisedBy([&] { AdLoomView::requestAdLoomViewWithDelegate(host.get()); });
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(text(e->name()), "AdLoomIncompleteDelegateException");
    EXPECT_EQ(text(e->reason()),
              "AdLoomDelegate must implement viewControllerForPresentingModalView");
}

}  // namespace
