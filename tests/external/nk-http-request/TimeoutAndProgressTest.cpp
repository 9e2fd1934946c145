// Time-outs and retries on the manual clock, kept-connection expiry, the activity indicator and
// progress arithmetic. The network thread's status timer reads the clock: moving the clock
// wakes the thread, and settleNetworkThread waits until it has served what came due.
#include "EngineTesting.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSPathUtilities.h"
#include "UIKit/UIApplication.h"

using namespace enginetest;
using testhttp::Exchange;
using testhttp::Response;
using testhttp::TestServer;

namespace {
bool indicatorVisible() {
    return UIApplication::sharedApplication()->isNetworkActivityIndicatorVisible();
}
}  // namespace

class TimeOuts : public ::testing::Test {
protected:
    void SetUp() override {
        server.route("*", "/silent", testhttp::silence());
        server.route("GET", "/hello", testhttp::text("hello"));
    }
    // Moves the clock and lets the network thread and the main thread catch up.
    void advance(NSTimeInterval seconds) {
        Clock::advance(seconds);
        ASSERT_TRUE(settleNetworkThread());
        runFor(0.02);
    }
    // Starts the request and waits until the server holds it.
    void startAndWait(NKHTTPRequest* r, size_t requestsSeen = 1) {
        r->setDelegate(delegate);
        r->startAsynchronous();
        ASSERT_TRUE(runLoopUntil([&] { return server.requestCount() >= requestsSeen; }));
        ASSERT_TRUE(settleNetworkThread());
    }
    ManualClockScope clock;
    TestServer server;
    Ref<Recorder> delegate = make<Recorder>();
};

TEST_F(TimeOuts, SilentServerFailsTheGetOnceTheTimeOutHasPassed) {
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/silent")));
    r->setTimeOutSeconds(60);
    startAndWait(r);
    advance(59.9);
    EXPECT_FALSE(delegate->ended());
    advance(0.3);
    ASSERT_TRUE(waitForEnd(delegate));
    EXPECT_EQ(delegate->events.back(), "failed");
    EXPECT_EQ(r->error()->code(), NKRequestTimedOutErrorType);
    EXPECT_EQ(r->error()->localizedDescription()->utf8(), "The request timed out");
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(TimeOuts, BodyStillInTheFirstBufferGetsHalfAsLongAgain) {
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/silent")));
    r->setTimeOutSeconds(60);
    r->appendPostData(NSData::dataWithBytes("small form", 10));
    startAndWait(r);
    advance(0.25);  // the status check sees the body go out
    advance(61);
    EXPECT_FALSE(delegate->ended());
    advance(28.5);
    EXPECT_FALSE(delegate->ended());
    advance(0.6);
    ASSERT_TRUE(waitForEnd(delegate));
    EXPECT_EQ(r->error()->code(), NKRequestTimedOutErrorType);
}

TEST_F(TimeOuts, RetriesOnTimeOutSendAgainBeforeFailing) {
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/silent")));
    r->setTimeOutSeconds(10);
    r->setNumberOfTimesToRetryOnTimeout(2);
    startAndWait(r);
    advance(10.3);
    ASSERT_TRUE(runLoopUntil([&] { return server.requestCount() == 2; }));
    ASSERT_TRUE(settleNetworkThread());
    advance(10.3);
    ASSERT_TRUE(runLoopUntil([&] { return server.requestCount() == 3; }));
    ASSERT_TRUE(settleNetworkThread());
    EXPECT_FALSE(delegate->ended());
    advance(10.3);
    ASSERT_TRUE(waitForEnd(delegate));
    EXPECT_EQ(r->error()->code(), NKRequestTimedOutErrorType);
    EXPECT_EQ(r->retryCount(), 2);
    EXPECT_EQ(delegate->count("started"), 3u);
    EXPECT_EQ(delegate->count("failed"), 1u);
}

TEST_F(TimeOuts, TimeOutRetryUsesUpTheNewConnectionRetry) {
    int seen = 0;
    server.route("GET", "/once-silent", [&seen](Exchange& x) {
        if (++seen == 1) {
            x.waitForPeerClose();
        } else {
            x.close();  // hangs up without an answer
        }
    });
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/once-silent")));
    r->setTimeOutSeconds(10);
    r->setNumberOfTimesToRetryOnTimeout(1);
    startAndWait(r);
    advance(10.3);
    ASSERT_TRUE(waitForEnd(delegate));
    EXPECT_EQ(r->error()->code(), NKConnectionFailureErrorType);
    EXPECT_EQ(server.requestCount(), 2u);
}

TEST_F(TimeOuts, ZeroTimeOutWaitsForever) {
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/silent")));
    r->setTimeOutSeconds(0);
    startAndWait(r);
    advance(100000);
    EXPECT_FALSE(delegate->ended());
    r->cancel();
    ASSERT_TRUE(waitForEnd(delegate));
    EXPECT_EQ(r->error()->code(), NKRequestCancelledErrorType);
}

TEST_F(TimeOuts, ExpiredKeptConnectionIsClosedAtTheNextSendOnly) {
    server.route("GET", "/ka", testhttp::keepAlive("timeout=15, max=100"));
    Ref<NKHTTPRequest> first = NKHTTPRequest::requestWithURL(urlOf(server.url("/ka")));
    first->startSynchronous();
    ASSERT_TRUE(first->connectionCanBeReused());
    NSUInteger pooled = NKHTTPRequest::persistentConnectionCount();
    advance(16);
    EXPECT_EQ(NKHTTPRequest::persistentConnectionCount(), pooled);
    EXPECT_TRUE(server.connections().at(0).open);
    Ref<NKHTTPRequest> second = NKHTTPRequest::requestWithURL(urlOf(server.url("/hello")));
    second->startSynchronous();
    EXPECT_EQ(server.connectionCount(), 2u);
    EXPECT_FALSE(second->connectionID()->isEqual(first->connectionID()));
    EXPECT_TRUE(server.waitForConnectionClosed(1));
}

TEST_F(TimeOuts, EachKeptConnectionExpiresOnItsOwnTime) {
    server.route("GET", "/ka", testhttp::keepAlive("timeout=15, max=100"));
    TestServer other;
    other.route("GET", "/hello", testhttp::text("hello"));
    auto send = [](const std::string& url) {
        Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(url));
        r->startSynchronous();
        return r;
    };
    Ref<NKHTTPRequest> shortLived = send(server.url("/ka"));
    ASSERT_TRUE(shortLived->connectionCanBeReused());
    // Freed last, but kept for 60 seconds: the 15-second one still expires first.
    Ref<NKHTTPRequest> longLived = send(other.url("/hello"));
    ASSERT_TRUE(longLived->connectionCanBeReused());
    advance(16);
    Ref<NKHTTPRequest> again = send(other.url("/hello"));
    EXPECT_TRUE(again->connectionID()->isEqual(longLived->connectionID()));
    EXPECT_TRUE(server.waitForConnectionClosed(1));
    // Before any expiry nothing is closed; after it the next send opens a new connection.
    advance(59);
    Ref<NKHTTPRequest> stillKept = send(other.url("/hello"));
    EXPECT_TRUE(stillKept->connectionID()->isEqual(longLived->connectionID()));
    EXPECT_EQ(other.connectionCount(), 1u);
    advance(61);
    Ref<NKHTTPRequest> fresh = send(other.url("/hello"));
    EXPECT_FALSE(fresh->connectionID()->isEqual(longLived->connectionID()));
    EXPECT_EQ(other.connectionCount(), 2u);
    EXPECT_TRUE(other.waitForConnectionClosed(1));
}

TEST_F(TimeOuts, ActivityIndicatorStaysOnHalfASecondAfterTheLastStream) {
    advance(1);  // whatever an earlier test left pending is served
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/hello")));
    r->setDelegate(delegate);
    r->startAsynchronous();
    ASSERT_TRUE(waitForEnd(delegate));
    ASSERT_TRUE(runLoopUntil([&] { return r->isFinished(); }));
    ASSERT_TRUE(settleNetworkThread());
    EXPECT_FALSE(NKHTTPRequest::isNetworkInUse());
    EXPECT_TRUE(indicatorVisible());
    // Other owners share it (a web page's load): one that ends meanwhile leaves it on.
    UINetworkActivityHold other;
    other.setHeld(true);
    other.setHeld(false);
    EXPECT_TRUE(indicatorVisible());
    advance(0.4);
    EXPECT_TRUE(indicatorVisible());
    // A request inside the half second keeps it on.
    Ref<Recorder> d2 = make<Recorder>();
    Ref<NKHTTPRequest> next = NKHTTPRequest::requestWithURL(urlOf(server.url("/hello")));
    next->setDelegate(d2);
    next->startAsynchronous();
    ASSERT_TRUE(waitForEnd(d2));
    ASSERT_TRUE(runLoopUntil([&] { return next->isFinished(); }));
    ASSERT_TRUE(settleNetworkThread());
    advance(0.2);
    EXPECT_TRUE(indicatorVisible());
    // Nor does the engine's hide turn it off under another owner's load.
    other.setHeld(true);
    advance(0.4);
    EXPECT_TRUE(indicatorVisible());
    other.setHeld(false);
    EXPECT_FALSE(indicatorVisible());
}

// ---- progress -------------------------------------------------------------------------------

class Progress : public ::testing::Test {
protected:
    TestServer server;
};

TEST_F(Progress, DownloadWithLengthCountsEveryByte) {
    server.route("GET", "/big", testhttp::large(100000, true));
    Ref<ProgressRecorder> p = make<ProgressRecorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/big")));
    r->setDownloadProgressDelegate(p);
    r->startSynchronous();
    EXPECT_EQ(p->downloadSize, 100000);
    EXPECT_EQ(p->received, 100000);
    ASSERT_GE(p->progress.size(), 2u);
    EXPECT_EQ(p->progress.front(), 0.0f);
    EXPECT_EQ(p->progress.back(), 1.0f);
}

TEST_F(Progress, DownloadWithoutLengthMovesInOneStep) {
    server.route("GET", "/unknown", testhttp::large(5000, false));
    Ref<ProgressRecorder> p = make<ProgressRecorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/unknown")));
    r->setDownloadProgressDelegate(p);
    r->startSynchronous();
    EXPECT_FALSE(r->showAccurateProgress());
    EXPECT_EQ(p->downloadSize, 1);
    EXPECT_EQ(p->received, 1);
    EXPECT_EQ(p->progress, (std::vector<float>{0.0f, 1.0f}));
}

TEST_F(Progress, ResumedDownloadCountsTheBytesAlreadyThere) {
    std::string full = testhttp::patternBytes(1000);
    server.route("GET", "/file", [full](const testhttp::Request& q) {
        size_t from = std::stoul(q.header("Range").substr(6));
        Response r(206, full.substr(from), "application/octet-stream");
        r.header("Content-Range", "bytes " + std::to_string(from) + "-999/1000");
        return r;
    });
    Ref<NSString> partial = NSTemporaryDirectory()->stringByAppendingPathComponent(NS("pp"));
    NSData::dataWithBytes(full.data(), 400)->writeToFile(partial, false);
    Ref<ProgressRecorder> p = make<ProgressRecorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/file")));
    r->setDownloadProgressDelegate(p);
    r->setAllowResumeForFileDownloads(true);
    r->setTemporaryFileDownloadPath(partial);
    r->setDownloadDestinationPath(
        NSTemporaryDirectory()->stringByAppendingPathComponent(NS("pp-done")));
    r->startSynchronous();
    ASSERT_FALSE(r->error());
    // 600 announced plus the 400 already held; 1000 of 1000 at the end.
    EXPECT_EQ(p->downloadSize, 1000);
    EXPECT_EQ(p->received, 1000);
    EXPECT_EQ(p->progress.back(), 1.0f);
}

TEST_F(Progress, UploadCountsTheBodyOnce) {
    server.route("POST", "/echo", testhttp::echo());
    Ref<ProgressRecorder> p = make<ProgressRecorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/echo")));
    std::string body(20000, 'u');
    r->appendPostData(NSData::dataWithBytes(body.data(), body.size()));
    r->setUploadProgressDelegate(p);
    r->startSynchronous();
    EXPECT_EQ(r->totalBytesSent(), 20000u);
    EXPECT_EQ(p->uploadSize, 20000);
    EXPECT_EQ(p->sent, 20000);
    EXPECT_EQ(p->progress.front(), 0.0f);
    EXPECT_EQ(p->progress.back(), 1.0f);
}

TEST_F(Progress, ClearedReceiverHearsNothing) {
    server.route("GET", "/big", testhttp::large(100000, true));
    Ref<ProgressRecorder> p = make<ProgressRecorder>();
    Ref<Recorder> d = make<Recorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/big")));
    r->setDownloadProgressDelegate(p);
    r->setDelegate(d);
    r->startAsynchronous();
    r->setDownloadProgressDelegate(nullptr);
    ASSERT_TRUE(waitForEnd(d));
    runFor(0.05);
    EXPECT_TRUE(p->progress.empty());
    EXPECT_EQ(p->received, 0);
}
