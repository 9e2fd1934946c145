// A clean Meridian client for each test: a new handshake as at a new launch (its saved state
// removed), the placement id forgotten, the stand-in Meridian service reset, the manual clock
// installed and the log captured.
#pragma once

#include <gtest/gtest.h>

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
#include "ads/meridian/MRAdView.h"
#include "ads/meridian/MRHandshake.h"
#include "support/RunLoopTesting.h"
#include "support/services/RunningServices.h"
#include "tools/services/MeridianModule.h"

// Records every callback it answers, in order.
class MRRecorder : public NSObject, public MRAdDelegate {
    NS_OBJECT(MRRecorder, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"requestData", "adRequestSucceeded:", "adRequestFailed:", "adDidRefresh:",
                      "adWasTapped:", "applicationWillTerminateFromAd", "adModalWillAppear",
                      "adModalDidAppear", "adModalWasDismissed"});
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

    Ref<NSDictionary> data;
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
