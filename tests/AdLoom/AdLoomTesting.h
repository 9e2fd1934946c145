// Shared by the mediation tests: a host whose answers each test chooses, scripted adapters for
// two otherwise unused network types, the mediation server's routes on the loopback test
// server with the layer's host names mapped to it, and a fixture on the manual clock.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "AdLoom/adapters/AdLoomAdapterCustom.h"
#include "AdLoom/internal/AdLoomAdNetworkAdapter.h"
#include "AdLoom/internal/AdLoomConfig.h"
#include "AdLoom/internal/AdLoomConfigStore.h"
#include "AdLoom/internal/AdLoomError.h"
#include "AdLoom/internal/AdLoomView.h"
#include "CoreLocation/CoreLocation.h"
#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NetworkWork.h"
#include "Foundation/Runtime.h"
#include "SystemConfiguration/SCNetworkReachability.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWindow.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/ScopedEnv.h"
#include "support/http/TestServer.h"
#include "support/services/RunningServices.h"
#include "tools/services/MediationModule.h"

namespace adloomtest {

inline const char* const kAppKey = "3f9a1c0be7d24a5c8e61b0f2d4a97c3e";

// ---- the host --------------------------------------------------------------------------------

class TestHost : public NSObject, public AdLoomDelegate {
    NS_OBJECT(TestHost, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("showOwnBanner", &TestHost::showOwnBanner);
        c.method("showOwnBannerIn:", &TestHost::showOwnBannerIn);
    }
    // Answers the required methods, and the optional ones listed in `answers`.
    bool respondsToSelector(SEL sel) override {
        if (sel->name == "viewControllerForPresentingModalView") return presents;
        if (answers.count(sel->name)) return true;
        return super::respondsToSelector(sel);
    }

    Ref<NSString> adLoomApplicationKey() override { return appKey; }
    Ref<UIViewController> viewControllerForPresentingModalView() override { return controller; }
    Ref<NSURL> adLoomConfigURL() override { return configURL; }
    Ref<NSURL> adLoomImpMetricURL() override { return impURL; }
    Ref<NSURL> adLoomClickMetricURL() override { return clickURL; }
    Ref<NSURL> adLoomCustomAdURL() override { return customURL; }
    void adLoomDidReceiveAd(AdLoomView*) override { events.push_back("received"); }
    void adLoomDidFailToReceiveAd(AdLoomView* view, bool usingBackup) override {
        auto e = view ? view->lastError() : nullptr;
        events.push_back(usingBackup
                             ? "backup"
                             : "failed " + (e ? std::to_string(e->code()) : std::string("-")));
    }
    void adLoomDidAnimateToNewAdIn(AdLoomView*) override { events.push_back("animated"); }
    void adLoomReceivedRequestForDeveloperToFufill(AdLoomView*) override {
        events.push_back("fulfil");
    }
    void adLoomReceivedNotificationAdsAreOff(AdLoomView*) override { events.push_back("ads off"); }
    void adLoomWillPresentFullScreenModal() override { events.push_back("modal up"); }
    void adLoomDidDismissFullScreenModal() override { events.push_back("modal down"); }
    void adLoomDidReceiveConfig(AdLoomView* view) override {
        events.push_back(view ? "config" : "config (class)");
    }
    UIInterfaceOrientation adLoomCurrentOrientation() override { return orientation; }
    Ref<UIColor> adLoomAdBackgroundColor() override { return adBackground; }
    Ref<UIColor> backgroundColor() override { return background; }
    Ref<CLLocation> locationInfo() override { return location; }

    void showOwnBanner() { events.push_back("own banner"); }
    void showOwnBannerIn(AdLoomView* view) {
        events.push_back(view ? "own banner in view" : "own banner in nil");
    }

    void answer(std::initializer_list<const char*> selectors) {
        for (auto* s : selectors)
            answers.insert(s);
    }
    std::string eventList() const {
        std::string all;
        for (auto& e : events)
            all += (all.empty() ? "" : ", ") + e;
        return all;
    }

    std::set<std::string> answers;
    bool presents = true;
    std::vector<std::string> events;
    Ref<NSString> appKey = NSString::fromUTF8(kAppKey);
    Ref<UIViewController> controller;
    Ref<NSURL> configURL, impURL, clickURL, customURL;
    UIInterfaceOrientation orientation = UIInterfaceOrientationPortrait;
    Ref<UIColor> adBackground, background;
    Ref<CLLocation> location;
};

inline Ref<TestHost> makeHost() {
    auto host = make<TestHost>();
    host->answer({"adLoomDidReceiveAd:", "adLoomDidFailToReceiveAd:usingBackup:",
                  "adLoomDidAnimateToNewAdIn:", "adLoomReceivedNotificationAdsAreOff:",
                  "adLoomWillPresentFullScreenModal", "adLoomDidDismissFullScreenModal",
                  "adLoomDidReceiveConfig:"});
    return host;
}

// ---- scripted adapters -----------------------------------------------------------------------

// What a scripted adapter does when asked for an ad.
enum class Outcome { Deliver, Fail, Finish, Hold };

struct Script {
    std::map<int, Outcome> outcomes;  // by network type; Deliver when absent
    std::vector<int> requested;       // network types, in request order
    std::vector<AdLoomAdNetworkAdapter*> held;
    int stops = 0;
    static Script& shared() {
        static Script s;
        return s;
    }
};

template <int Type>
class ScriptedAdapter : public AdLoomAdNetworkAdapter {
public:
    static int networkType() { return Type; }
    void getAd() override {
        auto& s = Script::shared();
        s.requested.push_back(Type);
        auto it = s.outcomes.find(Type);
        Outcome o = it == s.outcomes.end() ? Outcome::Deliver : it->second;
        if (o == Outcome::Hold) {
            s.held.push_back(this);
            return;
        }
        answer(o);
    }
    void answer(Outcome o) {
        auto view = adLoomView();
        if (!view) return;
        if (o == Outcome::Deliver) {
            auto ad = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 50));
            setAdNetworkView(ad.get());
            view->adapterDidReceiveAdView(this, ad.get());
        } else if (o == Outcome::Fail) {
            view->adapterDidFailAd(this, nullptr);
        } else {
            view->adapterDidFinishAdRequest(this);
        }
    }
    void stopBeingDelegate() override { ++Script::shared().stops; }
    void dealloc() override {
        auto& held = Script::shared().held;
        std::erase(held, static_cast<AdLoomAdNetworkAdapter*>(this));
        AdLoomAdNetworkAdapter::dealloc();
    }
};

// Network types 2 and 3 have no adapter of their own in this system.
class ScriptedAdapterA : public ScriptedAdapter<2> {
    NS_OBJECT(ScriptedAdapterA, AdLoomAdNetworkAdapter)
    static void describeClass(RuntimeClass& c) {
        c.classMethod("networkType", &ScriptedAdapterA::networkType);
    }
};
class ScriptedAdapterB : public ScriptedAdapter<3> {
    NS_OBJECT(ScriptedAdapterB, AdLoomAdNetworkAdapter)
    static void describeClass(RuntimeClass& c) {
        c.classMethod("networkType", &ScriptedAdapterB::networkType);
    }
};

inline void registerScriptedAdapters() {
    auto registry = AdLoomAdNetworkRegistry::sharedRegistry();
    registry->registerClass(ScriptedAdapterA::staticClass());
    registry->registerClass(ScriptedAdapterB::staticClass());
}

// ---- JSON ------------------------------------------------------------------------------------

struct Ration {
    int type;
    std::string nid;
    double weight;
    int priority;
    std::string key = "k";
};

inline std::string rationsJSON(const std::vector<Ration>& rations,
                               const std::string& extra = "{}") {
    std::string out = "{\"extra\":" + extra + ",\"rations\":[";
    for (size_t i = 0; i < rations.size(); ++i) {
        auto& r = rations[i];
        char weight[32];
        std::snprintf(weight, sizeof weight, "%g", r.weight);
        out += (i ? "," : "") + std::string("{\"type\":") + std::to_string(r.type) + ",\"nid\":\"" +
               r.nid + "\",\"nname\":\"net" + r.nid + "\",\"weight\":" + weight +
               ",\"priority\":" + std::to_string(r.priority) + ",\"key\":\"" + r.key + "\"}";
    }
    return out + "]}";
}

inline Ref<NSData> data(const std::string& s) {
    return NSData::dataWithBytes(s.data(), s.size());
}

// A fixture on the manual clock with a fresh store, the scripted adapters registered, and the
// log captured.
class AdLoomTest : public testing::Test {
protected:
    void SetUp() override {
        clock_.emplace();
        registerScriptedAdapters();
        Script::shared() = Script{};
        previousSink_ = NSLogSetSink([this](const std::string& line) { log_ += line; });
        window->addSubview(holder.get());  // on the screen, as a screen's banner is
    }
    void TearDown() override {
        // Pings and downloads still on the wire belong to this test, not the next.
        runLoopUntil([] { return NetworkWork::inFlight() == 0; });
        // A banner's refresh timer holds it until the banner leaves its superview.
        for (auto& v : std::vector<Ref<UIView>>(holder->subviewList()))
            v->removeFromSuperview();
        NSLogSetSink(previousSink_);
        SCNetworkReachabilityClearFlagsForTesting();
        clock_.reset();
    }
    bool logged(const std::string& part) const { return log_.find(part) != std::string::npos; }
    // A banner for the host, placed in a holder view as a screen would.
    Ref<AdLoomView> banner(AdLoomDelegate* host) {
        auto view = AdLoomView::requestAdLoomViewWithDelegate(host);
        holder->addSubview(view.get());
        return view;
    }

    Ref<UIView> holder = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 50));
    Ref<UIWindow> window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));

    std::optional<ManualClockScope> clock_;
    std::string log_;
    NSLogSink previousSink_;
};

// The same on the stand-in services server: its mediation module answers the layer's hosts.
class AdLoomServiceTest : public AdLoomTest {
protected:
    void SetUp() override {
        AdLoomTest::SetUp();
        services = &servicestest::services();
        services->reset();
        services->clearFaults();
        mediation = services->module<bnservices::MediationModule>("mediation");
        ASSERT_NE(mediation, nullptr);
    }
    void TearDown() override {
        services->clearFaults();
        AdLoomTest::TearDown();
    }
    // The configuration the server answers for a key.
    void serve(const std::string& appid, const std::string& body, int status = 200) {
        mediation->setConfig(appid, {status, body});
    }
    // Requests that reached the server for a path.
    size_t requestsTo(const std::string& path) {
        size_t n = 0;
        for (auto& r : services->received("mediation"))
            if (r.target.rfind(path, 0) == 0) ++n;
        return n;
    }
    bool waitForPings(size_t count) {
        return runLoopUntil([&] { return mediation->pings().size() >= count; });
    }

    bnservices::Services* services = nullptr;
    bnservices::MediationModule* mediation = nullptr;
};

}  // namespace adloomtest
