// Loading, delegate order, history and the http(s) fetch hook.
#include <thread>

#include "Foundation/NSData.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSPathUtilities.h"
#include "UIKit/UIScrollView.h"
#include "UIWebViewTesting.h"

using Events = std::vector<std::string>;

TEST_F(WebViewTest, LoadAsksStartsThenFinishesOnTheRunLoop) {
    webView->loadHTMLString(NS("<title>First</title><p>hi</p>"), nullptr);
    EXPECT_EQ(recorder->take(), (Events{"should 5 about:blank", "start"}));
    EXPECT_TRUE(webView->isLoading());
    EXPECT_EQ(webView->request()->URL()->absoluteString()->utf8(), "about:blank");

    settle();
    EXPECT_EQ(recorder->take(), Events{"finish"});
    EXPECT_FALSE(webView->isLoading());
    EXPECT_EQ(eval("document.title"), "First");
}

TEST_F(WebViewTest, NewLoadCancelsTheOneInProgress) {
    webView->loadHTMLString(NS("<title>A</title>"), NSURL::URLWithString(NS("http://a.test/")));
    webView->loadHTMLString(NS("<title>B</title>"), NSURL::URLWithString(NS("http://b.test/")));
    EXPECT_EQ(recorder->take(), (Events{"should 5 http://a.test/", "start",
                                        "should 5 http://b.test/", "fail -999", "start"}));
    settle();
    EXPECT_EQ(recorder->take(), Events{"finish"});
    EXPECT_EQ(eval("document.title"), "B");
}

TEST_F(WebViewTest, RefusedLoadLeavesThePageAndTheLoadInProgress) {
    load("<title>Kept</title>");
    recorder->take();
    recorder->decide = [](NSURLRequest* r, UIWebViewNavigationType) {
        return !r->URL()->absoluteString()->hasPrefix(NS("http://no.test/"));
    };
    webView->loadRequest(
        NSURLRequest::requestWithURL(NSURL::URLWithString(NS("http://no.test/x"))));
    settle();
    EXPECT_EQ(recorder->take(), Events{"should 5 http://no.test/x"});
    EXPECT_FALSE(webView->isLoading());
    EXPECT_EQ(eval("document.title"), "Kept");
    EXPECT_EQ(webView->request()->URL()->absoluteString()->utf8(), "about:blank");

    // A refusal while another load runs does not disturb that load.
    webView->loadHTMLString(NS("<title>Next</title>"), nullptr);
    webView->loadRequest(
        NSURLRequest::requestWithURL(NSURL::URLWithString(NS("http://no.test/y"))));
    settle();
    EXPECT_EQ(recorder->take(),
              (Events{"should 5 about:blank", "start", "should 5 http://no.test/y", "finish"}));
    EXPECT_EQ(eval("document.title"), "Next");
}

TEST_F(WebViewTest, StopLoadingFailsTheLoadAsCancelled) {
    webView->loadHTMLString(NS("<p>x</p>"), nullptr);
    webView->stopLoading();
    settle();
    EXPECT_EQ(recorder->take(), (Events{"should 5 about:blank", "start", "fail -999"}));
    EXPECT_FALSE(webView->isLoading());
}

TEST_F(WebViewTest, DelegateMayLoadAgainFromItsCallbacks) {
    int finishes = 0;
    recorder->onFinish = [&](UIWebView* wv) {
        if (++finishes == 1) wv->loadHTMLString(NS("<title>Second</title>"), nullptr);
    };
    load("<title>First</title>");
    settle();
    EXPECT_EQ(finishes, 2);
    EXPECT_EQ(eval("document.title"), "Second");
}

TEST_F(WebViewTest, ReleasedWhileLoadingSendsNothing) {
    webView->loadHTMLString(NS("<script>setTimeout(function(){location='x:y'},0)</script>"),
                            nullptr);
    recorder->take();
    webView = nullptr;
    settle();
    advanceRunLoop(1);
    EXPECT_TRUE(recorder->events.empty());
}

TEST_F(WebViewTest, HistoryGoesBackAndForward) {
    auto base = [](const char* u) { return NSURL::URLWithString(str(u)); };
    load("<title>A</title>", base("http://site.test/a"));
    load("<title>B</title>", base("http://site.test/b"));
    load("<title>C</title>", base("http://site.test/c"));
    recorder->take();
    EXPECT_TRUE(webView->canGoBack());
    EXPECT_FALSE(webView->canGoForward());

    webView->goBack();
    settle();
    EXPECT_EQ(recorder->take(), (Events{"should 2 http://site.test/b", "start", "finish"}));
    EXPECT_EQ(eval("document.title"), "B");
    EXPECT_TRUE(webView->canGoForward());

    webView->goBack();
    settle();
    EXPECT_EQ(eval("document.title"), "A");
    EXPECT_FALSE(webView->canGoBack());
    webView->goBack();  // nothing further back
    settle();

    webView->goForward();
    settle();
    EXPECT_EQ(eval("document.title"), "B");

    // A new page from the middle of the history drops what lay ahead.
    load("<title>D</title>", base("http://site.test/d"));
    EXPECT_FALSE(webView->canGoForward());
    webView->goBack();
    settle();
    EXPECT_EQ(eval("document.title"), "B");
}

TEST_F(WebViewTest, ReloadAsksWithTheReloadTypeAndRunsThePageAgain) {
    load("<script>var runs = 1;</script>");
    eval("runs = 5");
    recorder->take();
    webView->reload();
    settle();
    EXPECT_EQ(recorder->take(), (Events{"should 3 about:blank", "start", "finish"}));
    EXPECT_EQ(eval("runs"), "1");        // a fresh page ran its script again
    EXPECT_FALSE(webView->canGoBack());  // the same entry, not a new one
}

TEST_F(WebViewTest, RequestsForTheSameURLReplaceTheEntry) {
    load("<p>1</p>");
    load("<p>2</p>");
    EXPECT_FALSE(webView->canGoBack());
}

TEST_F(WebViewTest, HTTPWithoutLoaderFailsAsOffline) {
    webView->loadRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(NS("http://x.test/"))));
    settle();
    EXPECT_EQ(recorder->take(), (Events{"should 5 http://x.test/", "start", "fail -1009"}));
    EXPECT_FALSE(webView->isLoading());
}

TEST_F(WebViewTest, HTTPPagesComeThroughTheLoaderFromAnyThread) {
    std::vector<std::thread> threads;
    UIWebView::setURLLoader([&](NSURLRequest* request, UIWebViewLoadCompletion done) {
        std::string url = request->URL()->absoluteString()->utf8();
        threads.emplace_back([url, done] {
            UIWebViewLoadResult r;
            if (url == "http://x.test/start") {
                std::string body = "<title>Moved</title><a href='/next'>n</a>";
                r.data = NSData::dataWithBytes(body.data(), NSUInteger(body.size()));
                r.URL = NSURL::URLWithString(NS("http://x.test/final"));
            } else {
                std::string body = "var fromServer = 42;";
                r.data = NSData::dataWithBytes(body.data(), NSUInteger(body.size()));
                r.MIMEType = NS("text/javascript");
            }
            done(r);
        });
    });
    webView->loadRequest(
        NSURLRequest::requestWithURL(NSURL::URLWithString(NS("http://x.test/start"))));
    EXPECT_TRUE(runLoopUntil([&] { return !webView->isLoading(); }));
    EXPECT_EQ(recorder->take(), (Events{"should 5 http://x.test/start", "start", "finish"}));
    EXPECT_EQ(eval("document.title"), "Moved");
    EXPECT_EQ(webView->request()->URL()->absoluteString()->utf8(), "http://x.test/final");
    EXPECT_EQ(eval("document.links[0].href"), "http://x.test/next");

    // A page whose script lives on the server waits for it before it finishes.
    webView->loadHTMLString(
        NS("<script src='lib.js'></script><script>var seen = fromServer;</script>"),
        NSURL::URLWithString(NS("http://x.test/")));
    EXPECT_TRUE(runLoopUntil([&] { return !webView->isLoading(); }));
    EXPECT_EQ(eval("seen"), "42");
    for (auto& t : threads)
        t.join();
}

TEST_F(WebViewTest, FilePagesLoadWithScriptsFromTheirFolder) {
    auto dir = NSTemporaryDirectory()->stringByAppendingPathComponent(NS("webview-site"));
    NSFileManager::defaultManager()->createDirectoryAtPath(dir, true, nullptr, nullptr);
    auto write = [&](const char* name, const std::string& text) {
        NSData::dataWithBytes(text.data(), NSUInteger(text.size()))
            ->writeToFile(dir->stringByAppendingPathComponent(str(name)), true);
    };
    write("page.html",
          "<html><head><script src='lib.js'></script></head>"
          "<body><p id=p></p><script>document.getElementById('p').textContent = "
          "greet('file');</script></body></html>");
    write("lib.js", "function greet(who) { return 'hello ' + who; }");
    auto url = NSURL::fileURLWithPath(dir->stringByAppendingPathComponent(NS("page.html")));
    webView->loadRequest(NSURLRequest::requestWithURL(url));
    settle();
    EXPECT_EQ(recorder->take().back(), "finish");
    EXPECT_EQ(eval("document.getElementById('p').textContent"), "hello file");

    webView->loadRequest(NSURLRequest::requestWithURL(
        NSURL::fileURLWithPath(dir->stringByAppendingPathComponent(NS("missing.html")))));
    settle();
    EXPECT_EQ(recorder->take().back(), "fail -1100");
}

TEST_F(WebViewTest, DataAndUnsupportedURLs) {
    webView->loadRequest(NSURLRequest::requestWithURL(
        NSURL::URLWithString(NS("data:text/html;base64,PHRpdGxlPkRhdGE8L3RpdGxlPg=="))));
    settle();
    EXPECT_EQ(eval("document.title"), "Data");
    recorder->take();
    webView->loadRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(NS("gopher://x/"))));
    settle();
    EXPECT_EQ(recorder->take().back(), "fail -1002");
}

TEST_F(WebViewTest, SettingsAreStoredAndTheScrollerIsTheFirstSubview) {
    EXPECT_FALSE(webView->scalesPageToFit());
    webView->setScalesPageToFit(true);
    webView->setAllowsInlineMediaPlayback(true);
    webView->setMediaPlaybackRequiresUserAction(false);
    webView->setDataDetectorTypes(UIDataDetectorTypeAll);
    EXPECT_TRUE(webView->scalesPageToFit());
    EXPECT_TRUE(webView->allowsInlineMediaPlayback());
    EXPECT_FALSE(webView->mediaPlaybackRequiresUserAction());
    EXPECT_TRUE(webView->detectsPhoneNumbers());
    webView->setDetectsPhoneNumbers(false);
    EXPECT_EQ(webView->dataDetectorTypes() & UIDataDetectorTypePhoneNumber, 0u);

    EXPECT_TRUE(webView->respondsToSelector(Selector::named("setAllowsInlineMediaPlayback:")));
    EXPECT_TRUE(webView->respondsToSelector(Selector::named("mediaPlaybackAllowsAirPlay")));
    auto scroller = webView->scrollView();
    ASSERT_TRUE(scroller);
    EXPECT_EQ(webView->subviewList().front().get(), scroller.get());
    EXPECT_EQ(scroller->bounds().size.height, 416);
}
