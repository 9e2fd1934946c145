// A clean Meridian client for each test: a new handshake as at a new launch (its saved state
// removed), the placement id forgotten, the stand-in Meridian service reset, the manual clock
// installed and the log captured.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSString.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/NetworkWork.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "UIKit/UIWindow.h"
#include "ads/meridian/MRAdView.h"
#include "ads/meridian/MRHandshake.h"
#include "support/RunLoopTesting.h"
#include "support/services/RunningServices.h"
#include "tools/services/MeridianModule.h"

// The rectangles are the same to a hundredth of a point (a turned view's frame comes out of
// sines and cosines).
inline testing::AssertionResult sameRect(CGRect a, CGRect b) {
    auto same = [](CGFloat x, CGFloat y) { return std::fabs(x - y) < 0.01f; };
    if (same(a.origin.x, b.origin.x) && same(a.origin.y, b.origin.y) &&
        same(a.size.width, b.size.width) && same(a.size.height, b.size.height))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << a.origin.x << "," << a.origin.y << " " << a.size.width
                                       << "x" << a.size.height << " is not " << b.origin.x << ","
                                       << b.origin.y << " " << b.size.width << "x" << b.size.height;
}

// Whether a tap at the middle of `control` reaches it: the point inside the window's screen and
// the window's hit test landing on the control or inside it.
inline testing::AssertionResult takesATap(UIWindow* window, UIView* control) {
    if (!control) return testing::AssertionFailure() << "no control";
    CGRect b = control->bounds();
    CGPoint middle = control->convertPoint(CGPointMake(CGRectGetMidX(b), CGRectGetMidY(b)), window);
    if (!CGRectContainsPoint(window->bounds(), middle))
        return testing::AssertionFailure()
               << "its middle " << middle.x << "," << middle.y << " is off the screen";
    for (auto hit = window->hitTest(middle, nullptr); hit; hit = hit->superview())
        if (hit.get() == control) return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "a tap at " << middle.x << "," << middle.y << " lands elsewhere";
}

// Records every callback it answers, in order.
class MRRecorder : public NSObject, public MRAdDelegate {
    NS_OBJECT(MRRecorder, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"requestData", "adRequestSucceeded:", "adRequestFailed:", "adDidRefresh:",
                      "adWasTapped:", "applicationWillTerminateFromAd", "adModalWillAppear",
                      "adModalDidAppear", "adModalWasDismissed", "adHostView"});
    }

public:
    Ref<NSDictionary> requestData() override { return data; }
    void adRequestSucceeded(MRAdView*) override { events.push_back("succeeded"); }
    void adRequestFailed(MRAdView*) override { events.push_back("failed"); }
    void adDidRefresh(MRAdView*) override { events.push_back("refresh"); }
    void adWasTapped(MRAdView*) override { events.push_back("tapped"); }
    void applicationWillTerminateFromAd() override { events.push_back("leaving"); }
    void adModalWillAppear() override { events.push_back("modal will appear"); }
    void adModalDidAppear() override { events.push_back("modal did appear"); }
    void adModalWasDismissed() override { events.push_back("modal dismissed"); }
    Ref<UIView> adHostView() override { return hostView; }

    Ref<NSDictionary> data;
    Ref<UIView> hostView;
    std::vector<std::string> events;
};

// Answers nothing at all.
class MRSilentDelegate : public NSObject, public MRAdDelegate {
    NS_OBJECT(MRSilentDelegate, NSObject)
};

class MeridianTest : public testing::Test {
protected:
    void SetUp() override {
        clock_.emplace();
        services = &servicestest::services();
        services->reset();
        services->clearFaults();
        meridian = services->module<bnservices::MeridianModule>("meridian");
        ASSERT_NE(meridian, nullptr);
        forgetClient();
        previousLoader_ = UIWebView::setURLLoader(UIWebViewConnectionLoader());
        previousSink_ = NSLogSetSink([this](const std::string& line) { log += line + "\n"; });
    }
    void TearDown() override {
        for (auto& v : views) {
            v->disableAdRefresh();
            v->setDelegate(nullptr);
        }
        views.clear();
        runLoopUntil([] { return NetworkWork::inFlight() == 0; });
        NSLogSetSink(previousSink_);
        UIWebView::setURLLoader(previousLoader_);
        forgetClient();
        clock_.reset();
    }
    static void forgetClient() {
        MRHandshake::resetSharedHandshakeForTesting();
        NSFileManager::defaultManager()->removeItemAtPath(MRHandshake::statePath().get(), nullptr);
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(NS("MRApid"));
    }
    // The targets that reached the service's hosts under a path, oldest first.
    std::vector<std::string> targets(const std::string& prefix) {
        std::vector<std::string> out;
        for (auto& r : services->received("meridian"))
            if (r.target.rfind(prefix, 0) == 0) out.push_back(r.target);
        return out;
    }
    std::vector<std::string> adRequests() { return targets("/getAd.php5?"); }
    // Waits for the handshake to be answered and read.
    bool handshakeSettled() {
        return runLoopUntil([] {
            return MRHandshake::sharedHandshake()->handshakeResponse() != nullptr &&
                   NetworkWork::inFlight() == 0;
        });
    }
    bool eventsSettled(size_t count) {
        return runLoopUntil([&] { return recorder->events.size() >= count; });
    }
    Ref<MRAdView> banner(const char* apid, bool loadAd = true, bool startTimer = false,
                         MRAdDelegate* delegate = nullptr) {
        auto view = MRAdView::adWithFrame(CGRectMake(0, 0, 320, 53), MRBannerAdTop,
                                          apid ? NSString::fromUTF8(apid).get() : nullptr,
                                          delegate ? delegate : recorder.get(), loadAd, startTimer);
        views.push_back(view);
        return view;
    }

    bnservices::Services* services = nullptr;
    bnservices::MeridianModule* meridian = nullptr;
    Ref<MRRecorder> recorder = make<MRRecorder>();
    std::vector<Ref<MRAdView>> views;
    std::string log;
    std::optional<ManualClockScope> clock_;

private:
    NSLogSink previousSink_;
    UIWebViewURLLoader previousLoader_;
};

inline std::string queryField(const std::string& target, const std::string& key) {
    auto fields = standin::parseQuery(target.substr(target.find('?') + 1));
    auto* f = standin::findField(fields, key);
    return f ? f->value : "<none>";
}
