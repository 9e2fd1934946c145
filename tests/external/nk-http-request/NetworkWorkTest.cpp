// Requests in the count of network work in flight: counted from their start (or from the moment
// a running queue takes them) until their last main-thread callback has run, whether they
// finish, fail or are cancelled, and never left counted by a request that ends early.
#include <algorithm>
#include <string>
#include <thread>

#include "EngineTesting.h"
#include "Foundation/NetworkWork.h"
#include "external/nk-http-request/Classes/NKNetworkQueue.h"

using namespace enginetest;
using testhttp::TestServer;

namespace {

// How many pieces of work in flight are this request to this URL.
int pendingFor(const std::string& method, const std::string& url) {
    auto pending = NetworkWork::pending();
    return static_cast<int>(std::count(pending.begin(), pending.end(), method + " " + url));
}

// Notes, at each end callback, whether its request still counted while the callback ran.
class CountingRecorder : public Recorder {
    NS_OBJECT(CountingRecorder, Recorder)
    static void describeClass(RuntimeClass& c) {
        c.implements({"requestStarted:", "requestReceivedResponseHeaders:", "requestFinished:",
                      "requestFailed:"});
    }
    void requestFinished(NKHTTPRequest* r) override {
        countedAtEnd = pendingFor("GET", r->url()->absoluteString()->utf8());
        Recorder::requestFinished(r);
    }
    void requestFailed(NKHTTPRequest* r) override {
        countedAtEnd = pendingFor("GET", r->url()->absoluteString()->utf8());
        Recorder::requestFailed(r);
    }
    int countedAtEnd = -1;
};

// Holds the login question for the test to answer.
class QuestionHolder : public CountingRecorder {
    NS_OBJECT(QuestionHolder, CountingRecorder)
    static void describeClass(RuntimeClass& c) {
        c.implements({"authenticationNeededForRequest:"});
    }
    void authenticationNeededForRequest(NKHTTPRequest* r) override {
        ++asked;
        // An answer given at once from inside the question keeps the request counted.
        if (answerAtOnce) answer(r, "ann", "secret");
    }
    static void answer(NKHTTPRequest* r, const char* user, const char* password) {
        r->setUsername(NSString::fromUTF8(user));
        r->setPassword(NSString::fromUTF8(password));
        r->retryUsingSuppliedCredentials();
    }
    int asked = 0;
    bool answerAtOnce = false;
};

class RequestsInFlight : public ::testing::Test {
protected:
    void SetUp() override {
        gate = server.gate();
        server.route("GET", "/held", testhttp::held(gate, testhttp::text("answer")));
        server.route("GET", "/broken", [](testhttp::Exchange& x) { x.reset(); });
        server.route("GET", "/quick", testhttp::text("quick"));
        server.route("GET", "/private",
                     testhttp::basicAuth("ann", "secret", "Members", testhttp::text("welcome")));
    }
    TestServer server;
    std::shared_ptr<testhttp::Gate> gate;
};

}  // namespace

TEST_F(RequestsInFlight, FinishedFailedAndCancelledRequestsCountUntilTheirLastCallback) {
    // Finished: counted from the start, still while its delegate hears the end, then not.
    std::string held = server.url("/held");
    Ref<CountingRecorder> d = make<CountingRecorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(held));
    r->setDelegate(d);
    uint64_t before = NetworkWork::begin("probe");
    NetworkWork::end(before);
    r->startAsynchronous();
    EXPECT_EQ(pendingFor("GET", held), 1);
    ASSERT_TRUE(runLoopUntil([&] { return gate->waiting() == 1; }));
    EXPECT_EQ(pendingFor("GET", held), 1);
    // One ticket from the start on: the queue's thread starting it takes none of its own, not
    // even for a moment (it showed twice to a reader at that moment).
    uint64_t after = NetworkWork::begin("probe");
    NetworkWork::end(after);
    EXPECT_EQ(after, before + 2);
    gate->open();
    ASSERT_TRUE(waitForEnd(d));
    EXPECT_EQ(d->count("finished"), 1u);
    EXPECT_EQ(d->countedAtEnd, 1);
    EXPECT_TRUE(runLoopUntil([&] { return pendingFor("GET", held) == 0; }));

    // Failed: the connection is reset under it.
    std::string broken = server.url("/broken");
    Ref<CountingRecorder> f = make<CountingRecorder>();
    Ref<NKHTTPRequest> failing = NKHTTPRequest::requestWithURL(urlOf(broken));
    failing->setDelegate(f);
    failing->startAsynchronous();
    EXPECT_EQ(pendingFor("GET", broken), 1);
    ASSERT_TRUE(waitForEnd(f));
    EXPECT_EQ(f->count("failed"), 1u);
    EXPECT_EQ(f->countedAtEnd, 1);
    EXPECT_TRUE(runLoopUntil([&] { return pendingFor("GET", broken) == 0; }));

    // Cancelled while the server holds the answer.
    gate->close();
    std::string cancelledURL = server.url("/held?cancelled");
    Ref<CountingRecorder> c = make<CountingRecorder>();
    Ref<NKHTTPRequest> cancelled = NKHTTPRequest::requestWithURL(urlOf(cancelledURL));
    cancelled->setDelegate(c);
    cancelled->startAsynchronous();
    ASSERT_TRUE(runLoopUntil([&] { return gate->waiting() == 1; }));
    cancelled->cancel();
    ASSERT_TRUE(waitForEnd(c));
    EXPECT_EQ(c->count("failed"), 1u);
    EXPECT_EQ(cancelled->error()->code(), NKRequestCancelledErrorType);
    EXPECT_EQ(c->countedAtEnd, 1);
    EXPECT_TRUE(runLoopUntil([&] { return pendingFor("GET", cancelledURL) == 0; }));
    gate->open();
}

TEST_F(RequestsInFlight, SynchronousRequestsCountUntilTheMainThreadHeardThem) {
    // On the main thread the callbacks run before startSynchronous returns: nothing is left.
    std::string quick = server.url("/quick");
    Ref<CountingRecorder> d = make<CountingRecorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(quick));
    r->setDelegate(d);
    r->startSynchronous();
    EXPECT_EQ(d->count("finished"), 1u);
    EXPECT_EQ(d->countedAtEnd, 1);
    EXPECT_EQ(pendingFor("GET", quick), 0);

    // On another thread the request is over when startSynchronous returns there, but the main
    // thread has yet to hear of it: it still counts until it has.
    std::string other = server.url("/quick?other");
    Ref<CountingRecorder> o = make<CountingRecorder>();
    Ref<NKHTTPRequest> background = NKHTTPRequest::requestWithURL(urlOf(other));
    background->setDelegate(o);
    std::thread([background] { background->startSynchronous(); }).join();
    EXPECT_TRUE(background->isFinished());
    EXPECT_EQ(o->count("finished"), 0u);
    EXPECT_EQ(pendingFor("GET", other), 1);
    ASSERT_TRUE(waitForEnd(o));
    EXPECT_EQ(o->countedAtEnd, 1);
    EXPECT_TRUE(runLoopUntil([&] { return pendingFor("GET", other) == 0; }));

    // A request cancelled before it ran never gets going and is not left counted.
    std::string never = server.url("/quick?never");
    Ref<NKHTTPRequest> early = NKHTTPRequest::requestWithURL(urlOf(never));
    early->cancel();
    ASSERT_TRUE(runLoopUntil([&] { return early->isCancelled(); }));
    early->startSynchronous();
    EXPECT_EQ(pendingFor("GET", never), 0);
    EXPECT_EQ(server.requestsTo("/quick").size(), 2u);
}

TEST_F(RequestsInFlight, QueuedRequestsCountWhileTheQueueRunsAndEndsLeaveNothing) {
    Ref<NKNetworkQueue> queue = NKNetworkQueue::queue();
    queue->setMaxConcurrentOperationCount(1);
    queue->setShouldCancelAllRequestsOnFailure(false);
    std::string first = server.url("/held?first"), second = server.url("/held?second");
    Ref<CountingRecorder> d1 = make<CountingRecorder>(), d2 = make<CountingRecorder>();
    Ref<NKHTTPRequest> r1 = NKHTTPRequest::requestWithURL(urlOf(first));
    Ref<NKHTTPRequest> r2 = NKHTTPRequest::requestWithURL(urlOf(second));
    r1->setDelegate(d1);
    r2->setDelegate(d2);
    queue->addOperation(r1);
    queue->addOperation(r2);
    // A queue not yet started may never be: its requests are not in flight.
    EXPECT_EQ(pendingFor("GET", first), 0);
    EXPECT_EQ(pendingFor("GET", second), 0);

    queue->go();
    // The second waits for the first's slot, and counts meanwhile.
    EXPECT_EQ(pendingFor("GET", first), 1);
    EXPECT_EQ(pendingFor("GET", second), 1);
    ASSERT_TRUE(runLoopUntil([&] { return gate->waiting() == 1; }));

    // Suspended again, the waiting one no longer counts; the running one still does.
    queue->setSuspended(true);
    EXPECT_EQ(pendingFor("GET", first), 1);
    EXPECT_TRUE(runLoopUntil([&] { return pendingFor("GET", second) == 0; }));

    // Cancelled while waiting in a running queue: its failure is delivered, then nothing counts.
    queue->go();
    EXPECT_EQ(pendingFor("GET", second), 1);
    r2->cancel();
    ASSERT_TRUE(waitForEnd(d2));
    EXPECT_EQ(d2->count("failed"), 1u);
    EXPECT_EQ(d2->countedAtEnd, 1);

    gate->open();
    ASSERT_TRUE(waitForEnd(d1));
    EXPECT_EQ(d1->count("finished"), 1u);
    EXPECT_TRUE(runLoopUntil(
        [&] { return pendingFor("GET", first) == 0 && pendingFor("GET", second) == 0; }));
    EXPECT_EQ(server.requestsTo("/held").size(), 1u);  // the cancelled one never went out
}

TEST_F(RequestsInFlight, ARequestFreedBeforeItStartedStopsCounting) {
    std::string url = server.url("/quick?freed");
    {
        Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(url));
        // Counted as a running queue counts what it takes, then dropped unstarted.
        r->beginNetworkWork();
        r->beginNetworkWork();  // once only
        EXPECT_EQ(pendingFor("GET", url), 1);
    }
    EXPECT_EQ(pendingFor("GET", url), 0);  // freed on the main thread: at once

    // Freed on another thread: once the main thread has run what was queued before.
    Ref<NKHTTPRequest> elsewhere = NKHTTPRequest::requestWithURL(urlOf(url + "&elsewhere"));
    elsewhere->beginNetworkWork();
    std::thread([moved = std::move(elsewhere)]() mutable { moved = nullptr; }).join();
    EXPECT_TRUE(runLoopUntil([&] { return pendingFor("GET", url + "&elsewhere") == 0; }));
    EXPECT_EQ(server.requestsTo("/quick").size(), 0u);
}

TEST_F(RequestsInFlight, AWaitForAPersonsAnswerIsNoNetworkWork) {
    std::string url = server.url("/private");
    Ref<QuestionHolder> d = make<QuestionHolder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(url));
    r->setUseSessionPersistence(false);
    r->setDelegate(d);
    r->startAsynchronous();
    ASSERT_TRUE(runLoopUntil([&] { return d->asked == 1; }));
    // Asked and waiting: nothing in flight until the answer comes.
    EXPECT_TRUE(r->isAwaitingCredentials());
    EXPECT_TRUE(runLoopUntil([&] { return pendingFor("GET", url) == 0; }));
    QuestionHolder::answer(r, "ann", "secret");
    EXPECT_EQ(pendingFor("GET", url), 1);
    ASSERT_TRUE(waitForEnd(d));
    EXPECT_EQ(d->count("finished"), 1u);
    EXPECT_EQ(d->countedAtEnd, 1);
    EXPECT_EQ(textOf(r), "welcome");
    EXPECT_TRUE(runLoopUntil([&] { return pendingFor("GET", url) == 0; }));

    // Answered from inside the question: counted throughout, and back to nothing at the end.
    std::string again = server.url("/private?again");
    Ref<QuestionHolder> at = make<QuestionHolder>();
    at->answerAtOnce = true;
    Ref<NKHTTPRequest> quick = NKHTTPRequest::requestWithURL(urlOf(again));
    quick->setUseSessionPersistence(false);
    quick->setDelegate(at);
    quick->startAsynchronous();
    ASSERT_TRUE(waitForEnd(at));
    EXPECT_EQ(at->asked, 1);
    EXPECT_EQ(at->count("finished"), 1u);
    EXPECT_EQ(at->countedAtEnd, 1);
    EXPECT_TRUE(runLoopUntil([&] { return pendingFor("GET", again) == 0; }));
}
