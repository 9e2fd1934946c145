// The request object over real sockets: callbacks and their thread, synchronous requests, the
// shared queue, cancellation, copies and the errors the request makes itself.
#include <atomic>
#include <thread>

#include "EngineTesting.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSOperation.h"
#include "Foundation/NetworkWork.h"
#include "Foundation/ProcessWide.h"

using namespace enginetest;
using testhttp::Response;
using testhttp::TestServer;

TEST(NKHTTPRequestDefaults, NewRequestCarriesTheDocumentedDefaults) {
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf("http://127.0.0.1/x"));
    EXPECT_EQ(r->requestMethod()->utf8(), "GET");
    EXPECT_EQ(r->runLoopMode()->utf8(), "kCFRunLoopDefaultMode");
    EXPECT_TRUE(r->shouldAttemptPersistentConnection());
    EXPECT_EQ(r->persistentConnectionTimeoutSeconds(), 60.0);
    EXPECT_TRUE(r->shouldRedirect());
    EXPECT_TRUE(r->allowCompressedResponse());
    EXPECT_TRUE(r->useCookiePersistence());
    EXPECT_TRUE(r->useSessionPersistence());
    EXPECT_FALSE(r->useKeychainPersistence());
    EXPECT_FALSE(r->validatesSecureCertificate());
    EXPECT_TRUE(r->shouldPresentProxyAuthenticationDialog());
    EXPECT_FALSE(r->shouldPresentAuthenticationDialog());
    EXPECT_EQ(r->defaultResponseEncoding(), NSISOLatin1StringEncoding);
    EXPECT_EQ(r->requestCookies()->count(), 0u);
    EXPECT_EQ(r->didFinishSelector(), Selector::named("requestFinished:"));
    EXPECT_EQ(r->didReceiveDataSelector(), Selector::named("request:didReceiveData:"));
    EXPECT_FALSE(r->requestHeaders());
}

TEST(NKHTTPRequestDefaults, DefaultTimeOutAppliesToRequestsMadeAfterwards) {
    NSTimeInterval saved = NKHTTPRequest::defaultTimeOutSeconds();
    Ref<NKHTTPRequest> before = NKHTTPRequest::requestWithURL(urlOf("http://127.0.0.1/"));
    NKHTTPRequest::setDefaultTimeOutSeconds(60.0);
    Ref<NKHTTPRequest> after = NKHTTPRequest::requestWithURL(urlOf("http://127.0.0.1/"));
    NKHTTPRequest::setDefaultTimeOutSeconds(saved);
    EXPECT_EQ(before->timeOutSeconds(), saved);
    EXPECT_EQ(after->timeOutSeconds(), 60.0);
}

TEST(NKHTTPRequestDefaults, HeaderNamesAreKeptAsWritten) {
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf("http://127.0.0.1/"));
    r->addRequestHeader(NS("Accept"), NS("a"));
    r->addRequestHeader(NS("accept"), NS("b"));
    r->addRequestHeader(NS("Accept"), NS("c"));
    EXPECT_EQ(r->requestHeaders()->count(), 2u);
    EXPECT_EQ(text(r->requestHeaders()->objectForKey(NS("Accept"))), "c");
}

class RequestLifecycle : public ::testing::Test {
protected:
    void SetUp() override {
        server.route("GET", "/hello", testhttp::text("hello"));
        server.route("*", "/echo", testhttp::echo());
    }
    TestServer server;
};

TEST_F(RequestLifecycle, AsynchronousRequestReportsEachEventOnTheMainThread) {
    Ref<Recorder> d = make<Recorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/hello")));
    r->setDelegate(d);
    r->startAsynchronous();
    ASSERT_TRUE(waitForEnd(d));
    EXPECT_EQ(d->events, (std::vector<std::string>{"started", "headers", "finished"}));
    EXPECT_FALSE(d->calledOffMainThread);
    EXPECT_EQ(textOf(r), "hello");
    EXPECT_EQ(r->responseStatusCode(), 200);
    EXPECT_EQ(r->responseStatusMessage()->utf8(), "HTTP/1.1 200 OK");
    EXPECT_TRUE(runLoopUntil([&] { return r->isFinished(); }));
    EXPECT_FALSE(r->isExecuting());
    EXPECT_EQ(r->originalURL()->absoluteString()->utf8(), server.url("/hello"));
}

TEST_F(RequestLifecycle, SynchronousRequestOnTheMainThreadCallsBackBeforeReturning) {
    Ref<Recorder> d = make<Recorder>();
    bool defaultModeWorkRan = false;
    NSRunLoop::currentRunLoop()->performBlock([&] { defaultModeWorkRan = true; },
                                              NSArray::arrayWithObject(NSDefaultRunLoopMode));
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/hello")));
    r->setDelegate(d);
    r->startSynchronous();
    EXPECT_EQ(d->events, (std::vector<std::string>{"started", "headers", "finished"}));
    EXPECT_EQ(textOf(r), "hello");
    EXPECT_TRUE(r->complete());
    // The thread's other work waited: the request ran in its own mode.
    EXPECT_FALSE(defaultModeWorkRan);
    runFor(0.05);
    EXPECT_TRUE(defaultModeWorkRan);
}

TEST_F(RequestLifecycle, SynchronousRequestOnAnotherThreadCallsBackOnTheMainThread) {
    Ref<Recorder> d = make<Recorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/hello")));
    r->setDelegate(d);
    std::atomic<bool> returned{false};
    NSThread::detachNewThreadWithBlock([r, &returned] {
        r->startSynchronous();
        returned = true;
    });
    ASSERT_TRUE(runLoopUntil([&] { return returned.load() && d->ended(); }, 10));
    EXPECT_EQ(d->events.back(), "finished");
    EXPECT_FALSE(d->calledOffMainThread);
}

TEST_F(RequestLifecycle, SynchronousStartOfACompleteRequestSendsNothing) {
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/hello")));
    r->startSynchronous();
    ASSERT_EQ(server.requestCount(), 1u);
    r->startSynchronous();
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(RequestLifecycle, RequestWithoutURLFailsWithCodeFive) {
    Ref<Recorder> d = make<Recorder>();
    Ref<NKHTTPRequest> r = make<NKHTTPRequest>(&NKHTTPRequest::initWithURL, nullptr);
    r->setDelegate(d);
    r->startSynchronous();
    ASSERT_TRUE(r->error());
    EXPECT_EQ(r->error()->code(), NKUnableToCreateRequestErrorType);
    EXPECT_EQ(r->error()->localizedDescription()->utf8(), "Unable to create request (bad url?)");
    EXPECT_EQ(r->error()->domain()->utf8(), "NKHTTPRequestErrorDomain");
    EXPECT_EQ(d->events, std::vector<std::string>{"failed"});
}

TEST_F(RequestLifecycle, ClearingTheDelegateRightAfterStartSilencesEveryCallback) {
    Ref<Recorder> d = make<Recorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/hello")));
    r->setDelegate(d);
    r->startAsynchronous();
    r->setDelegate(nullptr);
    ASSERT_TRUE(runLoopUntil([&] { return r->isFinished(); }));
    runFor(0.05);
    EXPECT_TRUE(d->events.empty());
}

TEST_F(RequestLifecycle, DelegateClearedAfterTheHeadHearsNoEnd) {
    auto gate = server.gate();
    server.route("GET", "/slow", [gate](testhttp::Exchange& x) {
        testhttp::Headers h{{"Content-Length", "4"}};
        x.writeHead(200, h);
        x.write("do");
        x.wait(*gate);
        x.write("ne");
    });
    Ref<Recorder> d = make<Recorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/slow")));
    r->setDelegate(d);
    r->startAsynchronous();
    ASSERT_TRUE(runLoopUntil([&] { return d->count("headers") == 1; }));
    r->setDelegate(nullptr);
    gate->open();
    ASSERT_TRUE(runLoopUntil([&] { return r->isFinished(); }));
    runFor(0.05);
    EXPECT_EQ(d->events, (std::vector<std::string>{"started", "headers"}));
    EXPECT_EQ(textOf(r), "done");
}

TEST_F(RequestLifecycle, CancelledBeforeItRunsFailsOnceWithoutConnecting) {
    Ref<Recorder> d = make<Recorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/hello")));
    r->setDelegate(d);
    r->cancel();
    r->cancel();
    ASSERT_TRUE(runLoopUntil([&] { return r->isCancelled(); }));
    r->startAsynchronous();
    ASSERT_TRUE(runLoopUntil([&] { return r->isFinished(); }));
    runFor(0.05);
    EXPECT_EQ(d->events, std::vector<std::string>{"failed"});
    EXPECT_EQ(r->error()->code(), NKRequestCancelledErrorType);
    EXPECT_EQ(r->error()->localizedDescription()->utf8(), "The request was cancelled");
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(RequestLifecycle, CancelAfterTheEndChangesNothing) {
    Ref<Recorder> d = make<Recorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/hello")));
    r->setDelegate(d);
    r->startAsynchronous();
    ASSERT_TRUE(waitForEnd(d));
    r->cancel();
    runFor(0.05);
    EXPECT_FALSE(r->isCancelled());
    EXPECT_FALSE(r->error());
    EXPECT_EQ(d->count("failed"), 0u);
}

TEST_F(RequestLifecycle, CancellingARunningRequestReportsOneFailure) {
    auto gate = server.gate();
    server.route("GET", "/held", testhttp::held(gate, testhttp::text("late")));
    Ref<Recorder> d = make<Recorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/held")));
    r->setDelegate(d);
    r->startAsynchronous();
    ASSERT_TRUE(gate->waitUntilWaiting(1));
    r->cancel();
    ASSERT_TRUE(waitForEnd(d));
    gate->open();
    runFor(0.05);
    EXPECT_EQ(d->count("failed"), 1u);
    EXPECT_EQ(r->error()->code(), NKRequestCancelledErrorType);
    EXPECT_TRUE(r->isCancelled());
    EXPECT_TRUE(r->isFinished());
}

TEST_F(RequestLifecycle, SharedQueueRunsFourRequestsAtOnce) {
    EXPECT_EQ(NKHTTPRequest::sharedQueue()->maxConcurrentOperationCount(), 4);
    auto gate = server.gate();
    server.route("GET", "/held", testhttp::held(gate, testhttp::text("ok")));
    std::vector<Ref<Recorder>> delegates;
    std::vector<Ref<NKHTTPRequest>> requests;
    for (int i = 0; i < 6; ++i) {
        delegates.push_back(make<Recorder>());
        requests.push_back(NKHTTPRequest::requestWithURL(urlOf(server.url("/held"))));
        requests.back()->setDelegate(delegates.back());
        requests.back()->startAsynchronous();
    }
    // A free slot is taken at once, by the thread starting the request: no worker is woken
    // only to hand it to the network thread. The last two wait for a slot.
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(requests[size_t(i)]->isExecuting(), i < 4) << i;
    ASSERT_TRUE(gate->waitUntilWaiting(4));
    runFor(0.2);
    EXPECT_EQ(gate->waiting(), 4u);
    gate->open();
    ASSERT_TRUE(runLoopUntil([&] {
        for (auto& d : delegates)
            if (!d->ended()) return false;
        return true;
    }));
    for (auto& d : delegates)
        EXPECT_EQ(d->events.back(), "finished");
}

TEST_F(RequestLifecycle, EveryRequestUsesTheOneNetworkThread) {
    std::vector<Ref<NSThread>> seen(8);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&seen, i] { seen[i] = NKHTTPRequest::threadForRequest(nullptr); });
    for (auto& t : threads)
        t.join();
    for (auto& t : seen)
        EXPECT_EQ(t.get(), seen[0].get());
    EXPECT_FALSE(seen[0]->isMain());
    auto startWith = [](Recorder* d, const std::string& url) {
        Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(url));
        r->setDelegate(d);
        r->startAsynchronous();
        return r;
    };
    // Four requests held at the server take every place of the shared queue.
    auto gate = server.gate();
    server.route("GET", "/held", testhttp::held(gate, testhttp::text("late")));
    std::vector<Ref<Recorder>> held(4);
    for (auto& d : held)
        startWith(d = make<Recorder>(), server.url("/held"));
    ASSERT_TRUE(gate->waitUntilWaiting(4));
    // Dropped with the process-wide instances, it has ended (a program ends with none running)
    // and so has each request it ran, once, as cancelled; the next request starts another.
    resetProcessWideInstances();
    EXPECT_TRUE(seen[0]->isFinished());
    EXPECT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    for (auto& d : held)
        EXPECT_EQ(d->events, (std::vector<std::string>{"started", "failed"}));
    Ref<Recorder> fresh = make<Recorder>();
    Ref<NKHTTPRequest> r = startWith(fresh, server.url("/hello"));
    ASSERT_TRUE(waitForEnd(fresh));
    EXPECT_EQ(textOf(r), "hello");
    EXPECT_NE(NKHTTPRequest::threadForRequest(nullptr).get(), seen[0].get());
    gate->open();
}

TEST_F(RequestLifecycle, CopyOfAFinishedRequestIsNew) {
    Ref<Recorder> d = make<Recorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/hello")));
    r->setDelegate(d);
    r->addRequestHeader(NS("X-Kept"), NS("1"));
    r->setTimeOutSeconds(33);
    r->startSynchronous();
    auto copy = as<NKHTTPRequest>(r->copy());
    ASSERT_TRUE(copy);
    EXPECT_FALSE(copy->responseHeaders());
    EXPECT_FALSE(copy->error());
    EXPECT_FALSE(copy->complete());
    EXPECT_FALSE(copy->isFinished());
    EXPECT_EQ(copy->responseStatusCode(), 0);
    EXPECT_EQ(copy->timeOutSeconds(), 33);
    EXPECT_EQ(copy->delegate().get(), static_cast<NKHTTPRequestDelegate*>(d.get()));
    EXPECT_EQ(text(copy->requestHeaders()->objectForKey(NS("X-Kept"))), "1");
    copy->setDelegate(nullptr);
    copy->startSynchronous();
    EXPECT_EQ(textOf(copy), "hello");
}

TEST_F(RequestLifecycle, HeadRequestSendsNoBodyAndReportsNothingOfItsOwn) {
    Ref<Recorder> d = make<Recorder>();
    Ref<NKHTTPRequest> main = NKHTTPRequest::requestWithURL(urlOf(server.url("/echo")));
    main->addRequestHeader(NS("X-Measured"), NS("yes"));
    main->appendPostData(NSData::dataWithBytes("body", 4));
    Ref<NKHTTPRequest> head = main->HEADRequest();
    head->setDelegate(d);
    head->startSynchronous();
    runFor(0.05);
    EXPECT_TRUE(d->events.empty());
    auto sent = server.lastRequest();
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->method, "HEAD");
    EXPECT_EQ(sent->header("X-Measured"), "yes");
    EXPECT_TRUE(sent->body.empty());
    EXPECT_EQ(head->mainRequest().get(), main.get());
}

namespace {
class ExplodingRequest : public NKHTTPRequest {
    NS_OBJECT(ExplodingRequest, NKHTTPRequest)
    void buildPostBody() override {
        NSException::raise(NS("BoomException"), NS("body part %d went wrong"), 3);
    }
};
}  // namespace

TEST_F(RequestLifecycle, ExceptionWhileRunningBecomesCodeTen) {
    Ref<Recorder> d = make<Recorder>();
    Ref<ExplodingRequest> r =
        make<ExplodingRequest>(&NKHTTPRequest::initWithURL, urlOf(server.url("/hello")).get());
    r->setDelegate(d);
    r->startSynchronous();
    ASSERT_TRUE(r->error());
    EXPECT_EQ(r->error()->code(), NKUnhandledExceptionError);
    EXPECT_EQ(r->error()->localizedDescription()->utf8(), "BoomException");
    EXPECT_EQ(r->error()->localizedFailureReason()->utf8(), "body part 3 went wrong");
    auto underlying = as<NSError>(r->error()->userInfo()->objectForKey(NSUnderlyingErrorKey));
    ASSERT_TRUE(underlying);
    EXPECT_EQ(underlying->code(), NKUnhandledExceptionError);
    EXPECT_EQ(d->events, std::vector<std::string>{"failed"});
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(RequestLifecycle, BodyFileThatCannotBeMeasuredFailsWithoutSending) {
    Ref<Recorder> d = make<Recorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/echo")));
    r->setDelegate(d);
    r->setShouldStreamPostDataFromDisk(true);
    r->setPostBodyFilePath(NS("/no/such/body-file"));
    r->startSynchronous();
    ASSERT_TRUE(r->error());
    EXPECT_EQ(r->error()->code(), NKFileManagementError);
    EXPECT_EQ(r->error()->localizedDescription()->utf8(),
              "Failed to get attributes for file at path '/no/such/body-file'");
    EXPECT_EQ(d->events, std::vector<std::string>{"failed"});
    runFor(0.05);
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(RequestLifecycle, SynchronousRequestIsCancelledOnItsOwnThread) {
    auto gate = server.gate();
    server.route("GET", "/held", testhttp::held(gate, testhttp::text("late")));
    Ref<Recorder> d = make<Recorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/held")));
    r->setDelegate(d);
    std::thread canceller([&] {
        if (gate->waitUntilWaiting(1)) r->cancel();
    });
    r->startSynchronous();
    canceller.join();
    gate->open();
    ASSERT_TRUE(r->error());
    EXPECT_EQ(r->error()->code(), NKRequestCancelledErrorType);
    EXPECT_TRUE(r->isCancelled());
    EXPECT_EQ(d->events, (std::vector<std::string>{"started", "failed"}));
}

TEST_F(RequestLifecycle, HeadRequestFailureIsReportedByTheRequestItMeasures) {
    Ref<Recorder> d = make<Recorder>();
    testhttp::ClosedPort closed;
    Ref<NKHTTPRequest> main = NKHTTPRequest::requestWithURL(urlOf(closed.url("/")));
    main->setDelegate(d);
    Ref<NKHTTPRequest> head = main->HEADRequest();
    head->startSynchronous();
    ASSERT_TRUE(head->error());
    EXPECT_EQ(main->error().get(), head->error().get());
    EXPECT_EQ(d->events, std::vector<std::string>{"failed"});
}

TEST_F(RequestLifecycle, ReleasingARequestWhoseCleanupFailsReportsNothing) {
    Ref<Recorder> d = make<Recorder>();
    {
        Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/echo")));
        r->setDelegate(d);
        r->setShouldStreamPostDataFromDisk(true);
        r->appendPostData(NSData::dataWithBytes("body", 4));
        ASSERT_TRUE(r->postBodyFilePath());
        // The body file goes away behind the request's back: deleting it will fail.
        NSFileManager::defaultManager()->removeItemAtPath(r->postBodyFilePath(), nullptr);
    }
    runFor(0.1);
    EXPECT_TRUE(d->events.empty());
}
