// A window with the application's own root controller, the stand-in services answering the ad
// client's web views, and a banner delegate that writes down what it hears.
#pragma once

#include <strings.h>

#include <string>
#include <vector>

#include "Foundation/NSLog.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NetworkWork.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "UIKit/UIWindow.h"
#include "ads/pebble/PBLBannerView.h"
#include "ads/pebble/PBLViewController.h"
#include "ads/pebble/PebbleTesting.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/services/RunningServices.h"
#include "tools/services/PebbleModule.h"

class ScreenRecorder : public NSObject, public PBLBannerViewDelegate {
    NS_OBJECT(ScreenRecorder, NSObject)
public:
    void adViewDidReceiveAd(PBLBannerView*) override { events.push_back("received"); }
    void adViewWillPresentScreen(PBLBannerView*) override { events.push_back("will present"); }
    void adViewWillDismissScreen(PBLBannerView*) override { events.push_back("will dismiss"); }
    void adViewDidDismissScreen(PBLBannerView*) override { events.push_back("did dismiss"); }
    void adViewWillLeaveApplication(PBLBannerView*) override { events.push_back("leaving"); }
    std::vector<std::string> events;
};

class PBLFullScreenTest : public PebbleTest {
protected:
    void SetUp() override {
        PebbleTest::SetUp();
        services = &servicestest::services();
        services->reset();
        services->clearFaults();
        previousLoader_ = UIWebView::setURLLoader(UIWebViewConnectionLoader());
        previousSink_ = NSLogSetSink([this](const std::string& line) { log += line + "\n"; });
        window = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
        window->setRootViewController(root.get());
        window->makeKeyAndVisible();
        auto app = UIApplication::sharedApplication();
        app->setStatusBarHidden(false);
        app->clearOpenedURLs();
        manager->setBannerDelegate(recorder.get());
    }
    void TearDown() override {
        while (auto top = topScreen())
            top->relinquishScreen();
        window = nullptr;
        runLoopUntil([] { return NetworkWork::inFlight() == 0; });
        UIApplication::sharedApplication()->setStatusBarHidden(false);
        NSLogSetSink(previousSink_);
        UIWebView::setURLLoader(previousLoader_);
        PebbleTest::TearDown();
    }
    // The ad screen on top of the root controller's stack, nil when none shows.
    Ref<PBLViewController> topScreen() {
        Ref<UIViewController> c = root->modalViewController();
        while (c && c->modalViewController())
            c = c->modalViewController();
        return as<PBLViewController>(c);
    }
    std::vector<std::string> targets(const std::string& prefix) {
        std::vector<std::string> out;
        for (auto& r : services->received("pebble"))
            if (r.target.rfind(prefix, 0) == 0) out.push_back(r.target);
        return out;
    }
    std::string header(const std::string& target, const std::string& name) {
        for (auto& r : services->received("pebble"))
            if (r.target == target)
                for (auto& h : r.headers)
                    if (strcasecmp(h.name.c_str(), name.c_str()) == 0) return h.value;
        return "<none>";
    }

    bnservices::Services* services = nullptr;
    Ref<UIViewController> root = make<UIViewController>();
    Ref<UIWindow> window;
    Ref<ScreenRecorder> recorder = make<ScreenRecorder>();
    Ref<PBLDelegateManager> manager = make<PBLDelegateManager>();
    std::string log;

private:
    UIWebViewURLLoader previousLoader_;
    NSLogSink previousSink_;
};
