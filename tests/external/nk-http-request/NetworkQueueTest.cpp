// The network queue: started by hand, its delegate selectors, cancel-on-failure, and byte
// progress summed over all its requests.
#include "EngineTesting.h"
#include "Foundation/NSOperation.h"
#include "external/nk-http-request/Classes/NKNetworkQueue.h"

using namespace enginetest;
using testhttp::TestServer;

namespace {

// Hears the queue's selectors under names of its own.
class QueueWatcher : public NSObject {
    NS_OBJECT(QueueWatcher, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("started:", &QueueWatcher::started);
        c.method("finished:", &QueueWatcher::finished);
        c.method("failed:", &QueueWatcher::failed);
        c.method("queueDone:", &QueueWatcher::queueDone);
    }
    void started(NKHTTPRequest*) { events.push_back("started"); }
    void finished(NKHTTPRequest*) { events.push_back("finished"); }
    void failed(NKHTTPRequest* r) {
        events.push_back("failed");
        codes.push_back(r->error() ? r->error()->code() : 0);
    }
    void queueDone(NKNetworkQueue* q) {
        events.push_back("queue done");
        leftWhenDone = q->requestsCount();
    }
    size_t count(const std::string& name) const {
        return static_cast<size_t>(std::count(events.begin(), events.end(), name));
    }
    std::vector<std::string> events;
    std::vector<NSInteger> codes;
    int leftWhenDone = -1;
};

// Answers the authentication questions.
class Asker : public NSObject {
    NS_OBJECT(Asker, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("authenticationNeededForRequest:", &Asker::asked);
    }
    void asked(NKHTTPRequest*) { ++questions; }
    int questions = 0;
};

}  // namespace

class NetworkQueue : public ::testing::Test {
protected:
    void SetUp() override {
        server.route("*", "/small", testhttp::text(std::string(1000, 'a')));
        server.route("GET", "/medium", testhttp::text(std::string(2000, 'b')));
        server.route("GET", "/large", testhttp::text(std::string(3000, 'c')));
        server.route("POST", "/upload", testhttp::text("ok"));
        queue->setDelegate(watcher);
        queue->setRequestDidStartSelector(Selector::named("started:"));
        queue->setRequestDidFinishSelector(Selector::named("finished:"));
        queue->setRequestDidFailSelector(Selector::named("failed:"));
        queue->setQueueDidFinishSelector(Selector::named("queueDone:"));
    }
    Ref<NKHTTPRequest> add(const char* path, size_t bodySize = 0) {
        Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url(path)));
        if (bodySize)
            r->appendPostData(NSData::dataWithBytes(std::string(bodySize, 'u').data(), bodySize));
        queue->addOperation(r);
        return r;
    }
    bool waitForQueue() {
        return runLoopUntil([&] { return watcher->count("queue done") > 0; }, 10.0);
    }
    TestServer server;
    Ref<NKNetworkQueue> queue = NKNetworkQueue::queue();
    Ref<QueueWatcher> watcher = make<QueueWatcher>();
    Ref<ProgressRecorder> uploads = make<ProgressRecorder>();
    Ref<ProgressRecorder> downloads = make<ProgressRecorder>();
};

TEST_F(NetworkQueue, RunsNothingUntilStartedThenReportsEachRequestAndItsEnd) {
    add("/small");
    add("/medium");
    runFor(0.2);
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_EQ(queue->requestsCount(), 2);
    queue->go();
    ASSERT_TRUE(waitForQueue());
    EXPECT_EQ(watcher->count("started"), 2u);
    EXPECT_EQ(watcher->count("finished"), 2u);
    EXPECT_EQ(watcher->events.back(), "queue done");
    EXPECT_EQ(watcher->leftWhenDone, 0);
}

TEST_F(NetworkQueue, FirstFailureCancelsTheRestAndTheQueueEndsOnce) {
    std::shared_ptr<testhttp::Gate> never = server.gate();
    server.route("GET", "/held", testhttp::held(never, testhttp::text("late")));
    server.route("GET", "/broken", [](testhttp::Exchange& x) { x.reset(); });
    add("/held");
    add("/held");
    queue->go();
    ASSERT_TRUE(never->waitUntilWaiting(2));
    add("/broken");
    ASSERT_TRUE(waitForQueue());
    runFor(0.1);
    EXPECT_EQ(watcher->count("failed"), 3u);
    EXPECT_EQ(watcher->count("finished"), 0u);
    EXPECT_EQ(watcher->count("queue done"), 1u);
    EXPECT_EQ(watcher->events.back(), "queue done");
    ASSERT_EQ(watcher->codes.size(), 3u);
    EXPECT_EQ(watcher->codes[0], NKConnectionFailureErrorType);
    EXPECT_EQ(watcher->codes[1], NKRequestCancelledErrorType);
    EXPECT_EQ(watcher->codes[2], NKRequestCancelledErrorType);
}

TEST_F(NetworkQueue, AccurateProgressSumsTheBytesOfEveryUploadAndDownload) {
    queue->setShowAccurateProgress(true);
    queue->setUploadProgressDelegate(uploads);
    queue->setDownloadProgressDelegate(downloads);
    queue->go();
    add("/small");
    add("/medium");
    add("/large");
    add("/upload", 500);
    add("/upload", 1500);
    EXPECT_EQ(queue->totalBytesToUpload(), 2000u);
    ASSERT_TRUE(waitForQueue());
    runFor(0.05);
    EXPECT_EQ(queue->totalBytesToDownload(), 6004u);  // three pages and two "ok"s
    EXPECT_EQ(queue->bytesDownloadedSoFar(), 6004u);
    EXPECT_EQ(queue->bytesUploadedSoFar(), 2000u);
    ASSERT_FALSE(downloads->progress.empty());
    EXPECT_FLOAT_EQ(downloads->progress.back(), 1.0f);
    ASSERT_FALSE(uploads->progress.empty());
    EXPECT_FLOAT_EQ(uploads->progress.front(), 0.0f);
    EXPECT_FLOAT_EQ(uploads->progress.back(), 1.0f);
}

TEST_F(NetworkQueue, SuspendedQueueMeasuresDownloadsWithHeadRequestsFirst) {
    queue->setShowAccurateProgress(true);
    queue->setDownloadProgressDelegate(downloads);
    Ref<NKHTTPRequest> r = add("/small");
    EXPECT_FALSE(r->shouldResetDownloadProgress());
    EXPECT_EQ(queue->operationCount(), 2u);
    EXPECT_EQ(queue->requestsCount(), 1);
    queue->go();
    ASSERT_TRUE(waitForQueue());
    runFor(0.05);
    auto methods = server.requests();
    ASSERT_EQ(methods.size(), 2u);
    EXPECT_EQ(methods[0].method, "HEAD");
    EXPECT_EQ(methods[1].method, "GET");
    // The size came from the HEAD answer alone, not once more from the GET.
    EXPECT_EQ(queue->totalBytesToDownload(), 1000u);
    EXPECT_EQ(queue->bytesDownloadedSoFar(), 1000u);
    EXPECT_EQ(watcher->count("started"), 1u);
}

TEST_F(NetworkQueue, HeadAnsweredWithAnErrorPageLeavesTheSizeUnknown) {
    server.route("HEAD", "/guarded", testhttp::text("no such page", "text/plain", 404));
    server.route("GET", "/guarded", testhttp::text(std::string(1000, 'g')));
    queue->setShowAccurateProgress(true);
    queue->setDownloadProgressDelegate(downloads);
    add("/guarded");
    queue->go();
    ASSERT_TRUE(waitForQueue());
    runFor(0.05);
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "HEAD");
    // The error page's length is not the download's: the request counts as one unit.
    EXPECT_EQ(queue->totalBytesToDownload(), 1u);
    EXPECT_EQ(queue->bytesDownloadedSoFar(), 1u);
    ASSERT_FALSE(downloads->progress.empty());
    for (float p : downloads->progress)
        EXPECT_LE(p, 1.0f);
    EXPECT_FLOAT_EQ(downloads->progress.back(), 1.0f);
}

TEST_F(NetworkQueue, WithoutAccurateProgressEachRequestIsOneUnit) {
    queue->setDownloadProgressDelegate(downloads);
    add("/small");
    add("/medium");
    add("/large");
    EXPECT_EQ(queue->totalBytesToDownload(), 3u);
    EXPECT_EQ(queue->totalBytesToUpload(), 3u);
    queue->go();
    ASSERT_TRUE(waitForQueue());
    runFor(0.05);
    EXPECT_EQ(queue->bytesDownloadedSoFar(), 3u);
    std::vector<float> steps(downloads->progress.begin() + 1, downloads->progress.end());
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_FLOAT_EQ(steps[0], 1.0f / 3);
    EXPECT_FLOAT_EQ(steps[1], 2.0f / 3);
    EXPECT_FLOAT_EQ(steps[2], 1.0f);
}

TEST_F(NetworkQueue, OnlyRequestsMayBeAdded) {
    Ref<NSBlockOperation> op = NSBlockOperation::blockOperationWithBlock([] {});
    EXPECT_EQ(raisedName([&] { queue->addOperation(op); }), "AttemptToAddInvalidRequest");
    EXPECT_EQ(queue->requestsCount(), 0);
}

TEST_F(NetworkQueue, AuthenticationQuestionsAreAnsweredOnlyWhenTheDelegateCan) {
    SEL question = Selector::named("authenticationNeededForRequest:");
    EXPECT_FALSE(NKNetworkQueue::receiverRespondsToSelector(queue, question));
    Ref<Asker> asker = make<Asker>();
    queue->setDelegate(asker);
    EXPECT_TRUE(NKNetworkQueue::receiverRespondsToSelector(queue, question));
    EXPECT_FALSE(NKNetworkQueue::receiverRespondsToSelector(
        queue, Selector::named("proxyAuthenticationNeededForRequest:")));
    queue->authenticationNeededForRequest(NKHTTPRequest::requestWithURL(urlOf(server.url())));
    EXPECT_EQ(asker->questions, 1);
}

TEST_F(NetworkQueue, ChallengeNobodyAnswersFailsTheRequestInsteadOfStalling) {
    server.route("GET", "/private",
                 testhttp::basicAuth("user", "secret", "Members", testhttp::text("in")));
    Ref<NKHTTPRequest> r = add("/private");
    queue->go();
    ASSERT_TRUE(waitForQueue());
    ASSERT_EQ(watcher->codes.size(), 1u);
    EXPECT_EQ(watcher->codes[0], NKAuthenticationErrorType);
}

TEST_F(NetworkQueue, CopyLeavesOutTheHeadersSelectorAndResetForgetsEverything) {
    queue->setRequestDidReceiveResponseHeadersSelector(Selector::named("finished:"));
    queue->setShouldCancelAllRequestsOnFailure(false);
    auto copy = cast<NKNetworkQueue>(queue->copy());
    EXPECT_EQ(copy->requestDidFailSelector(), Selector::named("failed:"));
    EXPECT_EQ(copy->requestDidReceiveResponseHeadersSelector(), nullptr);
    EXPECT_FALSE(copy->shouldCancelAllRequestsOnFailure());
    queue->go();
    queue->reset();
    EXPECT_FALSE(queue->delegate());
    EXPECT_EQ(queue->requestDidStartSelector(), nullptr);
    EXPECT_TRUE(queue->isSuspended());
}
