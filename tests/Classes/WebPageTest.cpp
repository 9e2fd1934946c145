// The page base over real HTTP: the stand-in site for downloads and faults, a tiny recording
// server for what a post puts on the wire, and fixed page texts for input scraping.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <vector>

#include "Classes/SiteHosts.h"
#include "Classes/WebPage.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/http/TestServer.h"
#include "support/site/RunningSite.h"
#include "tools/standin/HttpServer.h"

namespace {

class PageListener : public NSObject, public NKHTTPRequestDelegate {
    NS_OBJECT(PageListener, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"requestStarted:", "requestReceivedResponseHeaders:", "requestFinished:",
                      "requestFailed:"});
    }

public:
    void requestStarted(NKHTTPRequest*) override { events.push_back("started"); }
    void requestReceivedResponseHeaders(NKHTTPRequest*) override { events.push_back("headers"); }
    void requestFinished(NKHTTPRequest*) override { events.push_back("finished"); }
    void requestFailed(NKHTTPRequest*) override { events.push_back("failed"); }
    bool ended() {
        for (auto& e : events)
            if (e == "finished" || e == "failed") return true;
        return false;
    }
    std::vector<std::string> events;
};

// Records every request it answers.
class RecordingServer {
public:
    RecordingServer()
        : server_(
              [this](standin::HttpRequest& r) {
                  std::lock_guard<std::mutex> g(lock_);
                  requests_.push_back(r);
                  return standin::HttpResponse::html("<p>thanks</p>");
              },
              nullptr) {
        std::string error;
        EXPECT_TRUE(server_.start(0, "", "", &error)) << error;
    }
    ~RecordingServer() { server_.stop(); }
    Ref<NSString> url(const std::string& path) {
        return str("http://127.0.0.1:" + std::to_string(server_.port()) + path);
    }
    std::optional<standin::HttpRequest> last() {
        std::lock_guard<std::mutex> g(lock_);
        if (requests_.empty()) return std::nullopt;
        return requests_.back();
    }

private:
    std::mutex lock_;
    std::vector<standin::HttpRequest> requests_;
    standin::HttpServer server_;
};

Ref<NSString> cityUrl(const char* code, const char* path = "/") {
    return str(std::string("http://") + code + "." + std::string(SiteHosts::kDomain) + path);
}

TEST(WebPageTest, PageTextIsTakenOnceAndReplacedByTheNextDownload) {
    sitetest::site();
    auto page = make<WebPage>();
    EXPECT_FALSE(page->getPage());
    page->downloadPageSync(cityUrl("boston"));
    auto first = page->getPage();
    ASSERT_TRUE(first);
    EXPECT_NE(first->utf8().find("boston"), std::string::npos);
    EXPECT_EQ(page->getPage().get(), first.get());  // the same cached object
    EXPECT_EQ(page->getReply().get(), first.get());
    EXPECT_EQ(page->url()->absoluteString()->utf8(), cityUrl("boston")->utf8());

    page->downloadPageSync(cityUrl("chicago"));
    auto second = page->getPage();
    ASSERT_TRUE(second);
    EXPECT_NE(second.get(), first.get());
    EXPECT_NE(second->utf8().find("chicago"), std::string::npos);
}

TEST(WebPageTest, EveryRequestCarriesTheFixedHeaders) {
    RecordingServer server;
    auto page = make<WebPage>();
    page->downloadPageSync(server.url("/page").get());
    auto r = server.last();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->header("User-Agent"),
              "Mozilla/5.0 (iPhone; CPU iPhone OS 5_0 like Mac OS X) AppleWebKit/534.46 (KHTML, "
              "like Gecko) Version/5.1 Mobile/9A334 Safari/7534.48.3");
    EXPECT_EQ(r->header("Accept"),
              "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
    EXPECT_EQ(page->getPage()->utf8(), "<p>thanks</p>");
}

TEST(WebPageTest, EveryRequestChecksTheServersCertificate) {
    // A server on loopback whose certificate no trusted authority signed: downloads (both
    // ways) and posts refuse it before a request byte is sent.
    testhttp::TestServer server;
    server.route("*", "/", [](testhttp::Exchange& x) { x.respond(testhttp::Response(200, "x")); });
    server.startTls();
    auto url = str(server.tlsUrl("/"));
    auto expectRefused = [](WebPage* page) {
        auto error = page->request()->error();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), NKConnectionFailureErrorType);
        EXPECT_NE(text(error->localizedDescription()).find("SSL problem"), std::string::npos);
        EXPECT_FALSE(page->getPage());
    };

    auto page = make<WebPage>();
    page->downloadPageSync(url);
    expectRefused(page);
    page->postDataArray(NSArray::arrayWithObjects({NS("password"), NS("secret")}), 1, nullptr, url);
    expectRefused(page);
    auto listener = make<PageListener>();
    page->downloadPage(url, listener);
    ASSERT_TRUE(runLoopUntil([&] { return listener->ended(); }));
    EXPECT_EQ(listener->events.back(), "failed");
    expectRefused(page);

    EXPECT_GE(server.connectionCount(), 3u);
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST(WebPageTest, PairListPostsStringsAsFieldsAndDataAsJpegFiles) {
    RecordingServer server;
    auto page = make<WebPage>();
    const char jpeg[] = "\xFF\xD8\xFF\xE0 not really a photo";
    auto photo = NSData::dataWithBytes(jpeg, sizeof jpeg - 1);
    auto pairs = NSArray::arrayWithObjects(
        {NS("title"), NS("red bike"), NS("file1"), photo.get(), NS("price"), NS("40")});
    page->postDataArray(pairs.get(), 0, nullptr, server.url("/post").get());
    auto r = server.last();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->method, "POST");
    EXPECT_EQ(r->header("User-Agent").substr(0, 11), "Mozilla/5.0");
    auto form = bnsite::parseForm(*r);
    ASSERT_TRUE(form);
    ASSERT_EQ(form->size(), 3u);
    EXPECT_EQ((*form)[0].name, "title");
    EXPECT_EQ((*form)[0].value, "red bike");
    EXPECT_FALSE((*form)[0].isFile);
    const bnsite::FormField* file = bnsite::findField(*form, "file1");
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->isFile);
    EXPECT_EQ(file->fileName, "file1");
    EXPECT_EQ(file->contentType, "image/jpeg");
    EXPECT_EQ(file->value, std::string(jpeg, sizeof jpeg - 1));
    EXPECT_EQ(bnsite::fieldValue(*form, "price"), "40");
    EXPECT_EQ(page->getReply()->utf8(), "<p>thanks</p>");
}

TEST(WebPageTest, UrlEncodedPostKeepsPairOrderAndANilUrlReusesThePagesUrl) {
    RecordingServer server;
    auto page = make<WebPage>();
    page->downloadPageSync(server.url("/form").get());
    // A trailing name without a value is left out.
    auto pairs = NSArray::arrayWithObjects({NS("b"), NS("2 two"), NS("a"), NS("1&"), NS("odd")});
    page->postDataArray(pairs.get(), 1, nullptr, nullptr);
    auto r = server.last();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->method, "POST");
    EXPECT_EQ(r->path, "/form");
    EXPECT_NE(r->header("Content-Type").find("application/x-www-form-urlencoded"),
              std::string::npos);
    auto form = bnsite::parseForm(*r);
    ASSERT_TRUE(form);
    ASSERT_EQ(form->size(), 2u);
    EXPECT_EQ((*form)[0].name, "b");
    EXPECT_EQ((*form)[0].value, "2 two");
    EXPECT_EQ((*form)[1].name, "a");
    EXPECT_EQ((*form)[1].value, "1&");

    auto values = NSDictionary::dictionaryWithPairs({{NS("k"), NS("v")}});
    page->postData(values.get(), 1, nullptr, server.url("/other").get());
    r = server.last();
    EXPECT_EQ(r->path, "/other");
    EXPECT_EQ(r->body, "k=v");
    EXPECT_EQ(page->url()->absoluteString()->utf8(), server.url("/other")->utf8());
}

TEST(WebPageTest, InputScraping) {
    auto page = make<WebPage>();
    page->setWebpage(
        NS("<form>\r\n<input type=\"hidden\"\r\n  name=\"cryptedStepCheck\"\n"
           "  value=\"U2FsdGVk\">\n"
           "<input name=\"xname\" value=\"wrong\">"
           "<input\tname=\"tabbed\" value=\"t\">"
           "<input name=\"after\" type=\"text\" class=\"req\">"
           "<input class=\"both\" name=\"second\" id=\"both\">"
           "<input id=\"tokenfirst\" type=\"text\" name=\"before\"></form>"));
    EXPECT_EQ(text(page->getInputValue(NS("cryptedStepCheck")).get()), "U2FsdGVk");
    EXPECT_EQ(text(page->getInputValue(NS("tabbed")).get()), "t");
    // The name needs a blank before it: "xname" is not "name".
    EXPECT_EQ(text(page->getInputValue(NS("name")).get()), "(nil)");
    EXPECT_EQ(text(page->getInputValue(NS("missing")).get()), "(nil)");

    EXPECT_EQ(text(page->getInputKeyByToken(NS("class=\"req\"")).get()), "after");
    EXPECT_EQ(text(page->getInputKeyByToken(NS("id=\"tokenfirst\"")).get()), "before");
    // Both forms could match "both": the token after the name wins.
    EXPECT_EQ(text(page->getInputKeyByToken(NS("both")).get()), "second");
    EXPECT_EQ(text(page->getInputKeyByToken(NS("nowhere")).get()), "(nil)");

    EXPECT_EQ(text(make<WebPage>()->getInputValue(NS("any")).get()), "(nil)");
}

TEST(WebPageTest, AsynchronousDownloadReportsToTheListenerOnTheMainLoop) {
    sitetest::site();
    auto listener = make<PageListener>();
    auto page = make<WebPage>();
    page->downloadPage(cityUrl("boston"), listener.get());
    ASSERT_TRUE(runLoopUntil([&] { return listener->ended(); }, 10));
    EXPECT_EQ(listener->events.front(), "started");
    EXPECT_EQ(listener->events.back(), "finished");
    EXPECT_NE(page->getPage()->utf8().find("class=\"col\">"), std::string::npos);
}

TEST(WebPageTest, FaultsReachTheListener) {
    auto& site = sitetest::site();
    bnsite::Fault error;
    error.host = "seattle.*";
    error.status = 500;
    site.addFault(error);
    bnsite::Fault drop;
    drop.host = "denver.*";
    drop.delivery = bnsite::Fault::Delivery::Drop;
    site.addFault(drop);

    auto listener = make<PageListener>();
    auto page = make<WebPage>();
    page->downloadPage(cityUrl("seattle"), listener.get());
    ASSERT_TRUE(runLoopUntil([&] { return listener->ended(); }, 10));
    // An error status is a finished request; the listener reads the status.
    EXPECT_EQ(listener->events.back(), "finished");
    EXPECT_EQ(page->request()->responseStatusCode(), 500);

    auto dropped = make<PageListener>();
    page->downloadPage(cityUrl("denver"), dropped.get());
    ASSERT_TRUE(runLoopUntil([&] { return dropped->ended(); }, 10));
    EXPECT_EQ(dropped->events.back(), "failed");
    EXPECT_TRUE(page->request()->error());
    EXPECT_FALSE(page->getPage());  // no response, no text
    site.clearFaults();
}

TEST(WebPageTest, ADestroyedPageLeavesItsListenerAlone) {
    auto& site = sitetest::site();
    auto gate = site.gate("webpage-detach");
    bnsite::Fault slow;
    slow.host = "miami.*";
    slow.gate = "webpage-detach";
    site.addFault(slow);

    auto listener = make<PageListener>();
    {
        auto page = make<WebPage>();
        page->downloadPage(cityUrl("miami"), listener.get());
        ASSERT_TRUE(gate->waitUntilWaiting(1));
    }
    gate->open();
    auto probe = make<PageListener>();
    auto other = make<WebPage>();
    other->downloadPage(cityUrl("boston"), probe.get());
    ASSERT_TRUE(runLoopUntil([&] { return probe->ended(); }, 10));
    runLoopUntil([] { return false; }, 0.3);
    for (auto& e : listener->events)
        EXPECT_TRUE(e == "started" || e == "headers") << e;
    EXPECT_EQ(std::count(listener->events.begin(), listener->events.end(), "finished"), 0);
    site.clearFaults();
    gate->close();
}

}  // namespace
