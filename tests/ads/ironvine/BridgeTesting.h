// A bridge over a real web view on the manual clock, with a recording handler.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSError.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIWebView.h"
#include "ads/ironvine/IVCommandHandler.h"
#include "ads/ironvine/IVController.h"
#include "ads/ironvine/IVDatabase.h"
#include "ads/ironvine/IVJavascriptBridge.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"

class RecordingHandler : public IVCommandHandler {
    NS_OBJECT(RecordingHandler, IVCommandHandler)
    static void describeClass(RuntimeClass& c) {
        c.method("bridge_record:", &RecordingHandler::bridge_record)
            .method("bridge_stopSoundEffects", &RecordingHandler::bridge_stopSoundEffects)
            .method("bridge_fail", &RecordingHandler::bridge_fail)
            .method("x:y:", &RecordingHandler::xy)
            .method("bridge_playSoundEffectNamed:loopCount:volume:", &RecordingHandler::play)
            .method("bridge_performSelector:onClass:withObject:withObject:withCallback:",
                    &RecordingHandler::perform);
    }
    bool init() override { return initWithName(NS("BridgeTest")); }
    void bridge_record(NSString* v) { calls.push_back("record " + text(v)); }
    void bridge_stopSoundEffects() { calls.push_back("stop"); }
    void bridge_fail() { NSException::raise(NS("TestException"), NS("boom")); }
    void xy(NSObject* x, NSObject* y) {
        calls.push_back("x:y: " + describe(x) + " " + describe(y));
    }
    void play(NSObject*, NSObject*, NSObject*) {}
    void perform(NSObject*, NSObject*, NSObject*, NSObject*, NSObject*) {}
    static std::string describe(NSObject* o) {
        if (auto s = as<NSString>(o)) return "string(" + s->utf8() + ")";
        if (auto n = as<NSNumber>(o)) return "number(" + n->description()->utf8() + ")";
        return "nil";
    }
    std::vector<std::string> calls;
};

class ForwardRecorder : public NSObject, public UIWebViewDelegate {
    NS_OBJECT(ForwardRecorder, NSObject)
    bool webViewShouldStartLoadWithRequest(UIWebView*, NSURLRequest*,
                                           UIWebViewNavigationType) override {
        events.push_back("should");
        return allow;
    }
    bool allow = true;
    void webViewDidStartLoad(UIWebView*) override { events.push_back("start"); }
    void webViewDidFinishLoad(UIWebView*) override { events.push_back("finish"); }
    void webViewDidFailLoadWithError(UIWebView*, NSError* e) override {
        events.push_back("fail " + std::to_string(e->code()));
    }
    std::vector<std::string> events;
};

class BridgeTest : public testing::Test {
protected:
    void SetUp() override {
        webView = make<UIWebView>(&UIWebView::initWithFrame, CGRect{{0, 0}, {320, 50}});
        original = make<ForwardRecorder>();
        webView->setDelegate(original.get());
        // Pages reach the engine's store: start each test from none, not the rows of an earlier
        // one (the controller that opens it is made afresh for every test).
        std::error_code ec;
        std::filesystem::remove(IVDatabase::databasePath()->utf8(), ec);
        IVController::sharedController()->setExecMode(1);
    }
    void TearDown() override {
        if (bridge) bridge->halt();
        IVController::sharedController()->setExecMode(0);
    }
    static void settle() {
        for (int i = 0; i < 4; ++i)
            advanceRunLoop(0);
    }
    // A bridge in the mode with the handlers, its page loaded.
    void start(int32_t mode, std::vector<IVCommandHandler*> handlers, std::string script = "") {
        bridge = IVJavascriptBridge::bridgeInMode(mode, webView.get(),
                                                  handlers.empty() ? nullptr : handlers[0]);
        for (size_t i = 1; i < handlers.size(); ++i)
            bridge->addCommandHandler(handlers[i]);
        bridge->loadJavascriptString(str(script).get(), NS(""), nullptr);
        settle();
        ASSERT_TRUE(bridge->isIVJSLoaded());
    }
    std::string eval(const std::string& js) {
        return webView->stringByEvaluatingJavaScriptFromString(str(js).get())->utf8();
    }

    ManualClockScope clock;
    Ref<UIWebView> webView;
    Ref<ForwardRecorder> original;
    Ref<IVJavascriptBridge> bridge;
};
