// The web view's pages over the URL connection, against a loopback server: redirects, scripts
// the page names, cookies, the user agent, error pages, failures, and the count of network
// work in flight while a page loads.
#include <thread>

#include "Foundation/NSHTTPCookie.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSURLError.h"
#include "Foundation/NetworkWork.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "UIWebViewTesting.h"
#include "support/http/TestServer.h"

using namespace testhttp;

namespace {

// Keeps the error a failed load reports.
class Refuser : public WebViewRecorder {
    NS_OBJECT(Refuser, WebViewRecorder)

public:
    Ref<NSError> error;
    void webViewDidFailLoadWithError(UIWebView* v, NSError* e) override {
        error = e;
        WebViewRecorder::webViewDidFailLoadWithError(v, e);
    }
};

class WebViewOverConnection : public testing::Test {
protected:
    void SetUp() override {
        NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
        UIWebView::setURLLoader(UIWebViewConnectionLoader());
        webView = make<UIWebView>(&UIWebView::initWithFrame, CGRect{{0, 0}, {320, 416}});
        recorder = make<WebViewRecorder>();
        webView->setDelegate(recorder);
    }
    void TearDown() override {
        UIWebView::setURLLoader(nullptr);
        EXPECT_EQ(NetworkWork::inFlight(), 0);
    }
    void open(const std::string& url) {
        webView->loadRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(str(url))));
        EXPECT_GT(NetworkWork::inFlight(), 0);
        ASSERT_TRUE(runLoopUntil([&] { return !webView->isLoading(); }));
        ASSERT_TRUE(runLoopUntil([&] { return NetworkWork::inFlight() == 0; }));
    }
    std::string eval(const std::string& script) {
        return webView->stringByEvaluatingJavaScriptFromString(str(script))->utf8();
    }

    TestServer server;
    Ref<UIWebView> webView;
    Ref<WebViewRecorder> recorder;
};

}  // namespace

TEST_F(WebViewOverConnection, APageItsRedirectAndItsScriptLoad) {
    server.route("GET", "/start", redirect(302, "/page"));
    server.route("GET", "/page",
                 respondWith(Response(200,
                                      "<title>Shop</title><p id='p'>Bikes for sale</p>"
                                      "<script src='/app.js'></script>",
                                      "text/html; charset=utf-8")
                                 .header("Set-Cookie", "visit=1; Path=/")));
    server.route("GET", "/app.js",
                 text("document.getElementById('p').textContent += ' today';", "text/javascript"));
    open(server.url("/start"));
    EXPECT_EQ(recorder->events.back(), "finish");
    EXPECT_EQ(eval("document.title"), "Shop");
    EXPECT_NE(webView->readableText()->utf8().find("Bikes for sale today"), std::string::npos)
        << webView->readableText()->utf8();
    EXPECT_EQ(webView->request()->URL()->absoluteString()->utf8(), server.url("/page"));
    // The script request carried the cookie the page set, and every request the user agent.
    auto script = server.requestsTo("/app.js");
    ASSERT_EQ(script.size(), 1u);
    EXPECT_EQ(script[0].header("Cookie"), "visit=1");
    EXPECT_EQ(server.requestsTo("/start")[0].header("User-Agent"), UIWebView::userAgent()->utf8());
}

TEST_F(WebViewOverConnection, AnErrorPageIsShownAndAFailureIsReported) {
    server.route("GET", "/gone", text("<title>Not here</title>", "text/html", 404));
    open(server.url("/gone"));
    EXPECT_EQ(recorder->events.back(), "finish");
    EXPECT_EQ(eval("document.title"), "Not here");

    open("http://missing.webview.test/");
    EXPECT_EQ(recorder->events.back(), "fail " + std::to_string(NSURLErrorCannotFindHost));
}

TEST_F(WebViewOverConnection, ServerRedirectsAreOfferedToTheDelegateWithTheUserAgent) {
    server.route("GET", "/start", redirect(302, "/landing"));
    server.route("GET", "/landing", text("<title>Landing</title>", "text/html"));
    std::vector<std::string> agents;
    recorder->decide = [&](NSURLRequest* request, UIWebViewNavigationType) {
        auto agent = request->valueForHTTPHeaderField(NS("User-Agent"));
        agents.push_back(agent ? agent->utf8() : "(none)");
        return true;
    };
    open(server.url("/start"));
    std::vector<std::string> expected{"should 5 " + server.url("/start"), "start",
                                      "should 5 " + server.url("/landing"), "finish"};
    EXPECT_EQ(recorder->take(), expected);
    ASSERT_EQ(agents.size(), 2u);
    EXPECT_EQ(agents[0], UIWebView::userAgent()->utf8());
    EXPECT_EQ(agents[1], UIWebView::userAgent()->utf8());
    EXPECT_EQ(server.requestsTo("/landing")[0].header("User-Agent"), agents[1]);
}

TEST_F(WebViewOverConnection, ARefusedRedirectEndsTheLoadAsInterrupted) {
    server.route("GET", "/start", redirect(302, "/elsewhere"));
    server.route("GET", "/elsewhere", text("<title>Elsewhere</title>", "text/html"));
    auto refuser = make<Refuser>();
    refuser->decide = [&](NSURLRequest* request, UIWebViewNavigationType) {
        return request->URL()->path()->utf8() != "/elsewhere";
    };
    webView->setDelegate(refuser);
    open(server.url("/start"));
    std::vector<std::string> expected{"should 5 " + server.url("/start"), "start",
                                      "should 5 " + server.url("/elsewhere"), "fail 102"};
    EXPECT_EQ(refuser->take(), expected);
    ASSERT_TRUE(refuser->error);
    EXPECT_EQ(refuser->error->domain()->utf8(), "WebKitErrorDomain");
    EXPECT_TRUE(server.requestsTo("/elsewhere").empty());
}
