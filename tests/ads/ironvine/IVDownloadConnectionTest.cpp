#include "ads/ironvine/IVDownloadConnection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSData.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/http/TestServer.h"

namespace {

class Recorder : public NSObject, public IVDownloadConnectionDelegate {
    NS_OBJECT(Recorder, NSObject)
    void downloadFailed(IVDownloadConnection* c) override { done("failed", c); }
    void downloadSucceeded(IVDownloadConnection* c) override { done("succeeded", c); }
    void downloadTimedOut(IVDownloadConnection* c) override { done("timedOut", c); }
    void downloadProgress(IVDownloadConnection*) override { ++progress; }
    void done(const char* what, IVDownloadConnection* c) {
        outcomes.push_back(what);
        body = std::string(static_cast<const char*>(c->receivedData()->bytes()),
                           c->receivedData()->length());
        status = c->responseStatusCode();
    }
    std::vector<std::string> outcomes;
    std::string body;
    int status = -1;
    int progress = 0;
};

Ref<NSURLRequest> requestFor(const std::string& url) {
    return NSURLRequest::requestWithURL(NSURL::URLWithString(str(url).get()).get());
}

TEST(IVDownloadConnectionTest, SucceedsOnlyWithStatus200) {
    testhttp::TestServer server;
    server.route("GET", "/ok",
                 [](const testhttp::Request&) { return testhttp::Response(200, "payload"); });
    server.route("GET", "/missing",
                 [](const testhttp::Request&) { return testhttp::Response(404, "no"); });
    auto ok = make<Recorder>();
    auto c = IVDownloadConnection::connectionWithURLRequest(requestFor(server.url("/ok")).get(),
                                                            ok.get(), NS("data"));
    ASSERT_TRUE(runLoopUntil([&] { return !ok->outcomes.empty(); }));
    EXPECT_EQ(ok->outcomes, std::vector<std::string>{"succeeded"});
    EXPECT_EQ(ok->body, "payload");
    EXPECT_EQ(ok->status, 200);
    EXPECT_EQ(c->expectedDataLength(), 7u);
    EXPECT_EQ(text(c->userData().get()), "data");
    EXPECT_GE(ok->progress, 1);

    auto missing = make<Recorder>();
    auto m = IVDownloadConnection::connectionWithURLRequest(
        requestFor(server.url("/missing")).get(), missing.get(), nullptr);
    ASSERT_TRUE(runLoopUntil([&] { return !missing->outcomes.empty(); }));
    EXPECT_EQ(missing->outcomes, std::vector<std::string>{"failed"});
    EXPECT_EQ(missing->status, 404);
    EXPECT_EQ(server.requestCount(), 2u);
}

TEST(IVDownloadConnectionTest, RetriesStartWithAnEmptyBuffer) {
    testhttp::TestServer server;
    std::atomic<int> calls{0};
    server.route("GET", "/flaky", [&](testhttp::Exchange& x) {
        if (++calls < 3) {
            // A short body: the connection drops after part of it.
            x.write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial");
            x.reset();
            return;
        }
        x.respond(testhttp::Response(200, "whole"));
    });
    auto r = make<Recorder>();
    auto c = IVDownloadConnection::connectionWithURLRequest(requestFor(server.url("/flaky")).get(),
                                                            r.get(), nullptr, 3);
    ASSERT_TRUE(runLoopUntil([&] { return !r->outcomes.empty(); }));
    EXPECT_EQ(r->outcomes, std::vector<std::string>{"succeeded"});
    EXPECT_EQ(r->body, "whole");
    EXPECT_EQ(calls.load(), 3);

    server.route("GET", "/broken",
                 [](const testhttp::Request&) { return testhttp::Response(500, "err"); });
    auto failing = make<Recorder>();
    auto f = IVDownloadConnection::connectionWithURLRequest(requestFor(server.url("/broken")).get(),
                                                            failing.get(), nullptr, 2);
    ASSERT_TRUE(runLoopUntil([&] { return !failing->outcomes.empty(); }));
    EXPECT_EQ(failing->outcomes, std::vector<std::string>{"failed"});
    EXPECT_EQ(server.requestCount(), 5u);
}

TEST(IVDownloadConnectionTest, TimeOutsRunOnTheClock) {
    ManualClockScope clock;
    testhttp::TestServer server;
    auto gate = server.gate();
    server.route("GET", "/silent", [gate](testhttp::Exchange& x) { x.wait(*gate); });
    auto r = make<Recorder>();
    auto c = IVDownloadConnection::timedConnectionWithURLRequest(
        requestFor(server.url("/silent")).get(), r.get(), nullptr, 40.0, 3);
    for (int attempt = 1; attempt <= 3; ++attempt) {
        ASSERT_TRUE(
            runLoopUntil([&] { return server.requestCount() == static_cast<size_t>(attempt); }));
        advanceRunLoop(39.0);
        EXPECT_TRUE(r->outcomes.empty());
        advanceRunLoop(1.0);
    }
    EXPECT_EQ(r->outcomes, std::vector<std::string>{"timedOut"});
    gate->open();
}

}  // namespace
