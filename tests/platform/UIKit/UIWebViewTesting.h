// Shared by the web view tests: a delegate that records every call and a fixture with a web
// view on the manual clock.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIWebView.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"

class WebViewRecorder : public NSObject, public UIWebViewDelegate {
    NS_OBJECT(WebViewRecorder, NSObject)
    // "should <type> <url>", "start", "finish", "fail <code>".
    std::vector<std::string> events;
    // Decides webViewShouldStartLoadWithRequest; allows everything when empty.
    std::function<bool(NSURLRequest*, UIWebViewNavigationType)> decide;
    std::function<void(UIWebView*)> onFinish;

    bool webViewShouldStartLoadWithRequest(UIWebView*, NSURLRequest* request,
                                           UIWebViewNavigationType type) override {
        events.push_back("should " + std::to_string(int(type)) + " " +
                         request->URL()->absoluteString()->utf8());
        return decide ? decide(request, type) : true;
    }
    void webViewDidStartLoad(UIWebView*) override { events.push_back("start"); }
    void webViewDidFinishLoad(UIWebView* webView) override {
        events.push_back("finish");
        if (onFinish) onFinish(webView);
    }
    void webViewDidFailLoadWithError(UIWebView*, NSError* error) override {
        events.push_back("fail " + std::to_string(error->code()));
    }
    std::vector<std::string> take() { return std::exchange(events, {}); }
};

class WebViewTest : public testing::Test {
protected:
    void SetUp() override {
        webView = make<UIWebView>(&UIWebView::initWithFrame, CGRect{{0, 0}, {320, 416}});
        recorder = make<WebViewRecorder>();
        webView->setDelegate(recorder);
    }
    void TearDown() override { UIWebView::setURLLoader(nullptr); }

    // Lets the run loop deliver what is due now (content, page navigations, zero timers).
    static void settle() {
        for (int i = 0; i < 4; ++i)
            advanceRunLoop(0);
    }
    void load(const std::string& html, NSURL* base = nullptr) {
        webView->loadHTMLString(str(html), base);
        settle();
    }
    std::string eval(const std::string& script) {
        return webView->stringByEvaluatingJavaScriptFromString(str(script))->utf8();
    }

    ManualClockScope clock;
    Ref<UIWebView> webView;
    Ref<WebViewRecorder> recorder;
};
