// The request queue against a real loopback server: the cache before the network, five loads
// at once and the rest first in, first out, shared loads, the content length limit, failures,
// etags, host-not-found retries, suspension, the multipart body and cancelling.
#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSURLError.h"
#include "UIKit/UIColor.h"
#include "URLLoading/NSURLResponse.h"
#include "URLRequestTesting.h"
#include "platform/UIKit/DrawingTesting.h"
#include "ui/core/UIImage+DZCategory.h"

using namespace testhttp;

namespace {

class RequestQueue : public RequestQueueTest {};

Ref<DZURLDataResponse> dataResponse() {
    return make<DZURLDataResponse>();
}

// A delegate that cancels whatever it is the delegate of from its own dealloc.
class CancellingOwner : public NSObject, public DZURLRequestDelegate {
    NS_OBJECT(CancellingOwner, NSObject)
    static void describeClass(RuntimeClass& c) { c.implements({"requestDidFinishLoad:"}); }

public:
    void requestDidFinishLoad(DZURLRequest*) override {}
    void dealloc() override {
        DZURLRequestQueue::mainQueue()->cancelRequestsWithDelegate(this);
        NSObject::dealloc();
    }
};

}  // namespace

// ---- the cache first
// -----------------------------------------------------------------------------

TEST_F(RequestQueue, AMemoryHitAnswersBeforeSendReturnsWithoutAStart) {
    cache->storeImage(UIImage::imageWithSize(CGSizeMake(20, 10), 1), str(server.url("/img")));
    auto rec = make<RequestRecorder>();
    auto image = make<DZURLImageResponse>();
    auto request = requestFor("/img", rec, image);
    EXPECT_TRUE(request->send());
    EXPECT_EQ(rec->events, (std::vector<std::string>{"finish"}));
    EXPECT_TRUE(request->respondedFromCache());
    EXPECT_FALSE(request->isLoading());
    ASSERT_TRUE(image->image());
    EXPECT_EQ(image->image()->size().width, 20);
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(RequestQueue, ADownloadedImageIsKeptOnDiskAndInMemory) {
    server.route("GET", "/thumb.png", image(ImageFormat::PNG, 30, 20));
    auto rec = make<RequestRecorder>();
    auto image = make<DZURLImageResponse>();
    auto request = requestFor("/thumb.png", rec, image);
    EXPECT_FALSE(request->send());
    EXPECT_TRUE(request->isLoading());
    EXPECT_EQ(DZNetworkActivityCount(), 1);
    ASSERT_TRUE(waitEnded(rec));
    EXPECT_EQ(rec->events, (std::vector<std::string>{"start", "finish"}));
    EXPECT_EQ(DZNetworkActivityCount(), 0);
    ASSERT_TRUE(image->image());
    EXPECT_EQ(image->image()->size().height, 20);
    EXPECT_FALSE(request->respondedFromCache());
    EXPECT_NEAR(request->timestamp()->timeIntervalSinceNow(), 0, 0.001);
    Ref<NSData> onDisk = cache->dataForKey(request->cacheKey(), 60, nullptr);
    ASSERT_TRUE(onDisk);
    EXPECT_EQ(UIImage::imageWithData(onDisk)->size().width, 30);
    EXPECT_TRUE(cache->hasImageForURL(request->urlPath(), false));

    // A second visit: answered from memory, no download.
    auto again = make<RequestRecorder>();
    EXPECT_TRUE(requestFor("/thumb.png", again, make<DZURLImageResponse>())->send());
    EXPECT_EQ(again->events, (std::vector<std::string>{"finish"}));
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(RequestQueue, ADiskCopyAnswersWithTheFilesDateAndExpires) {
    auto rec = make<RequestRecorder>();
    auto data = dataResponse();
    auto request = requestFor("/doc", rec, data);
    cache->storeDataForKey(dataOf("on disk"), request->cacheKey());
    Ref<NSDate> written = NSDate::date();
    Clock::advance(100);
    EXPECT_TRUE(request->send());
    EXPECT_EQ(bytesOf(data->data()), "on disk");
    EXPECT_NEAR(request->timestamp()->timeIntervalSinceDate(written), 0, 0.001);

    // Older than the request's expiry: downloaded again.
    server.route("GET", "/doc", text("fresh"));
    auto stale = make<RequestRecorder>();
    auto staleData = dataResponse();
    auto staleRequest = requestFor("/doc", stale, staleData);
    staleRequest->setCacheExpirationAge(50);
    EXPECT_FALSE(staleRequest->send());
    ASSERT_TRUE(waitEnded(stale));
    EXPECT_EQ(bytesOf(staleData->data()), "fresh");
}

TEST_F(RequestQueue, AProcessorErrorAtTheCacheLookupIsAFailure) {
    auto rec = make<RequestRecorder>();
    auto request = requestFor("/broken.png", rec, make<DZURLImageResponse>());
    cache->storeDataForKey(dataOf("not an image"), request->cacheKey());
    EXPECT_TRUE(request->send());
    EXPECT_EQ(rec->events, (std::vector<std::string>{"fail dodiz20.network 100"}));
    EXPECT_FALSE(request->respondedFromCache());
}

TEST_F(RequestQueue, BundleAndDocumentsURLs) {
    auto rec = make<RequestRecorder>();
    auto request = DZURLRequest::requestWithURL(NS("documents://missing.png"), rec);
    EXPECT_TRUE(request->send());
    EXPECT_EQ(rec->events, (std::vector<std::string>{"fail NSCocoaErrorDomain 260"}));

    dataOf(pngOf(8, 8))->writeToFile(DZDocumentsResourcePath(NS("here.png")), false);
    auto found = make<RequestRecorder>();
    auto image = make<DZURLImageResponse>();
    auto r2 = DZURLRequest::requestWithURL(NS("documents://here.png"), found);
    r2->setResponse(image);
    EXPECT_TRUE(r2->send());
    EXPECT_EQ(found->events, (std::vector<std::string>{"finish"}));
    ASSERT_TRUE(image->image());
    EXPECT_EQ(image->image()->size().width, 8);
}

// The order of one load: start, processors, the disk write, then per request its timestamp,
// isLoading NO and its delegates' finish.
class OrderProbe : public NSObject, public DZURLResponse, public DZURLRequestDelegate {
    NS_OBJECT(OrderProbe, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"requestDidStartLoad:", "requestDidFinishLoad:"});
    }

public:
    std::vector<std::string>* log = nullptr;
    std::string name;
    Ref<NSError> requestProcessResponse(DZURLRequest* request, NSHTTPURLResponse* response,
                                        NSObject*) override {
        bool onDisk = DZURLCache::sharedCache()->hasDataForKey(request->cacheKey(), 1e9);
        log->push_back(name + " process " + std::to_string(response->statusCode()) +
                       (onDisk ? " on disk" : " not on disk"));
        return nullptr;
    }
    void requestDidStartLoad(DZURLRequest*) override { log->push_back(name + " start"); }
    void requestDidFinishLoad(DZURLRequest* request) override {
        bool onDisk = DZURLCache::sharedCache()->hasDataForKey(request->cacheKey(), 1e9);
        log->push_back(name + " finish" + (request->isLoading() ? " loading" : "") +
                       (request->timestamp() ? " stamped" : "") + (onDisk ? " on disk" : ""));
    }
};

TEST_F(RequestQueue, TheCallingOrderOfOneSharedLoad) {
    auto gate = server.gate();
    server.route("GET", "/order", held(gate, text("ordered")));
    std::vector<std::string> log;
    auto a = make<OrderProbe>(), b = make<OrderProbe>();
    a->log = b->log = &log;
    a->name = "a";
    b->name = "b";
    auto first = requestFor("/order", nullptr, a);
    first->delegates()->addObject(a);
    auto second = requestFor("/order", nullptr, b);
    second->delegates()->addObject(b);
    first->send();
    second->send();
    gate->open();
    ASSERT_TRUE(runLoopUntil([&] { return log.size() == 6; }));
    EXPECT_EQ(log,
              (std::vector<std::string>{"a start", "b start", "a process 200 not on disk",
                                        "b process 200 not on disk", "a finish stamped on disk",
                                        "b finish stamped on disk"}));
}

// ---- scheduling
// ----------------------------------------------------------------------------------

TEST_F(RequestQueue, SixLoadsStartFiveAndTheSixthWhenOneEnds) {
    auto gate = server.gate();
    server.routePrefix("GET", "/slow/", held(gate, text("done")));
    std::vector<Ref<RequestRecorder>> recs;
    for (int i = 0; i < 6; ++i) {
        recs.push_back(make<RequestRecorder>());
        EXPECT_FALSE(requestFor("/slow/" + std::to_string(i), recs.back())->send());
    }
    EXPECT_EQ(queue->totalLoading(), 5);
    EXPECT_EQ(queue->waitingCount(), 1u);
    EXPECT_FALSE(queue->hasPendingTimer());  // queuing does not start the timer
    ASSERT_TRUE(runLoopUntil([&] { return gate->waiting() == 5; }));
    EXPECT_EQ(server.requestsTo("/slow/5").size(), 0u);
    EXPECT_EQ(recs[5]->events, (std::vector<std::string>{"start"}));

    gate->release(1);
    ASSERT_TRUE(runLoopUntil([&] { return server.requestsTo("/slow/5").size() == 1; }));
    EXPECT_EQ(queue->waitingCount(), 0u);
    gate->open();
    for (auto& r : recs)
        ASSERT_TRUE(waitEnded(r));
    EXPECT_EQ(queue->totalLoading(), 0);
    EXPECT_EQ(DZNetworkActivityCount(), 0);
}

TEST_F(RequestQueue, WaitingLoadersGoFirstInFirstOutFiveAPassThenOnTheTimer) {
    // Seven copies on disk; sent while suspended, none is read at send time.
    queue->setSuspended(true);
    std::vector<Ref<RequestRecorder>> recs;
    std::vector<Ref<DZURLRequest>> requests;
    for (int i = 0; i < 7; ++i) {
        recs.push_back(make<RequestRecorder>());
        requests.push_back(requestFor("/copy/" + std::to_string(i), recs.back(), dataResponse()));
        cache->storeDataForKey(dataOf("copy " + std::to_string(i)), requests.back()->cacheKey());
        EXPECT_FALSE(requests.back()->send());
    }
    EXPECT_EQ(queue->waitingCount(), 7u);
    EXPECT_EQ(queue->totalLoading(), 0);

    queue->setSuspended(false);
    // Five answered from disk at once, oldest first; two wait for the timer.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(recs[i]->events.back(), "finish") << i;
    EXPECT_EQ(recs[5]->events.back(), "start");
    EXPECT_TRUE(queue->hasPendingTimer());
    advanceRunLoop(0.29);
    EXPECT_EQ(recs[5]->events.back(), "start");
    advanceRunLoop(0.02);
    EXPECT_EQ(recs[5]->events.back(), "finish");
    EXPECT_EQ(recs[6]->events.back(), "finish");
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(RequestQueue, WhileSuspendedADiskCopyWaitsAndIsReadOnResume) {
    auto rec = make<RequestRecorder>();
    auto data = dataResponse();
    auto request = requestFor("/later", rec, data);
    cache->storeDataForKey(dataOf("kept"), request->cacheKey());
    queue->setSuspended(true);
    EXPECT_FALSE(request->send());
    EXPECT_EQ(rec->events, (std::vector<std::string>{"start"}));
    EXPECT_FALSE(queue->hasPendingTimer());
    queue->setSuspended(false);
    EXPECT_EQ(rec->events, (std::vector<std::string>{"start", "finish"}));
    EXPECT_EQ(bytesOf(data->data()), "kept");
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(RequestQueue, AWaitingLoaderStartedWhileSuspendedStillReadsDisk) {
    auto gate = server.gate();
    server.routePrefix("GET", "/busy/", held(gate, text("busy")));
    std::vector<Ref<RequestRecorder>> busy;
    for (int i = 0; i < 5; ++i) {
        busy.push_back(make<RequestRecorder>());
        requestFor("/busy/" + std::to_string(i), busy.back())->send();
    }
    auto rec = make<RequestRecorder>();
    auto data = dataResponse();
    auto waiting = requestFor("/copy", rec, data);
    waiting->setCachePolicy(DZURLRequestCachePolicyDisk | DZURLRequestCachePolicyNetwork);
    cache->storeDataForKey(dataOf("disk copy"), waiting->cacheKey());
    // Sent while suspended: no disk read at send time, and all five places are taken.
    queue->setSuspended(true);
    EXPECT_FALSE(waiting->send());
    EXPECT_EQ(queue->waitingCount(), 1u);
    ASSERT_TRUE(runLoopUntil([&] { return gate->waiting() == 5; }));
    gate->release(1);
    ASSERT_TRUE(runLoopUntil([&] { return rec->ended == 1; }));
    // Started by the end of a load while suspended: answered from disk, and no timer.
    EXPECT_EQ(rec->events, (std::vector<std::string>{"start", "finish"}));
    EXPECT_EQ(bytesOf(data->data()), "disk copy");
    EXPECT_FALSE(queue->hasPendingTimer());
    EXPECT_EQ(server.requestsTo("/copy").size(), 0u);
    queue->setSuspended(false);
    gate->open();
    for (auto& r : busy)
        ASSERT_TRUE(waitEnded(r));
}

TEST_F(RequestQueue, GetRequestsShareOneDownloadPostRequestsDoNot) {
    auto gate = server.gate();
    server.route("*", "/shared", held(gate, text("one body")));
    auto a = make<RequestRecorder>(), b = make<RequestRecorder>();
    auto da = dataResponse(), db = dataResponse();
    requestFor("/shared", a, da)->send();
    requestFor("/shared", b, db)->send();
    EXPECT_EQ(queue->totalLoading(), 1);
    gate->open();
    ASSERT_TRUE(waitEnded(a));
    ASSERT_TRUE(waitEnded(b));
    EXPECT_EQ(bytesOf(da->data()), "one body");
    EXPECT_EQ(bytesOf(db->data()), "one body");
    EXPECT_EQ(server.requestsTo("/shared").size(), 1u);

    server.clearRecords();
    auto p1 = make<RequestRecorder>(), p2 = make<RequestRecorder>();
    for (auto& rec : {p1, p2}) {
        auto post = requestFor("/shared", rec, dataResponse());
        post->setHttpMethod(NS("POST"));
        post->parameters()->setObject(NS("1"), NS("a"));
        post->send();
    }
    ASSERT_TRUE(waitEnded(p1));
    ASSERT_TRUE(waitEnded(p2));
    EXPECT_EQ(server.requestsTo("/shared").size(), 2u);
}

TEST_F(RequestQueue, CancellingOneOfTwoSharersLeavesTheOtherLoading) {
    auto gate = server.gate();
    server.route("GET", "/pair", held(gate, text("pair")));
    auto a = make<RequestRecorder>(), b = make<RequestRecorder>();
    auto ra = requestFor("/pair", a), rb = requestFor("/pair", b);
    ra->send();
    rb->send();
    rb->cancel();
    EXPECT_EQ(b->events, (std::vector<std::string>{"start", "cancel"}));
    EXPECT_FALSE(rb->isLoading());
    gate->open();
    ASSERT_TRUE(waitEnded(a));
    EXPECT_EQ(a->events, (std::vector<std::string>{"start", "finish"}));
    EXPECT_EQ(b->events.size(), 2u);

    // The last one cancelled stops the download and frees its place.
    auto c = make<RequestRecorder>();
    gate->close();
    auto rc = requestFor("/pair", c);
    rc->setCachePolicy(DZURLRequestCachePolicyNetwork);  // past the copy the first load left
    EXPECT_FALSE(rc->send());
    ASSERT_TRUE(runLoopUntil([&] { return gate->waiting() == 1; }));
    rc->cancel();
    EXPECT_EQ(queue->totalLoading(), 0);
    EXPECT_EQ(DZNetworkActivityCount(), 0);
    EXPECT_EQ(c->events, (std::vector<std::string>{"start", "cancel"}));
}

// ---- limits and failures
// -------------------------------------------------------------------------

TEST_F(RequestQueue, TheContentLengthLimitIsInclusiveAndSkipsUnannouncedLengths) {
    queue->setMaxContentLength(200000);
    server.route("GET", "/exact", large(200000, true));
    server.route("GET", "/over", large(200001, true));
    server.route("GET", "/unannounced", large(300000, false));
    auto exact = make<RequestRecorder>(), over = make<RequestRecorder>(),
         open = make<RequestRecorder>();
    auto exactData = dataResponse(), openData = dataResponse();
    auto overRequest = requestFor("/over", over);
    requestFor("/exact", exact, exactData)->send();
    overRequest->send();
    requestFor("/unannounced", open, openData)->send();
    ASSERT_TRUE(waitEnded(exact));
    ASSERT_TRUE(waitEnded(over));
    ASSERT_TRUE(waitEnded(open));
    EXPECT_EQ(exact->events.back(), "finish");
    EXPECT_EQ(exactData->data()->length(), 200000u);
    EXPECT_EQ(over->events, (std::vector<std::string>{"start", "cancel"}));
    EXPECT_FALSE(cache->hasDataForKey(overRequest->cacheKey(), 1e9));
    EXPECT_EQ(open->events.back(), "finish");
    EXPECT_EQ(openData->data()->length(), 300000u);
    EXPECT_EQ(DZNetworkActivityCount(), 0);
}

TEST_F(RequestQueue, StatusFailuresAndUndecodableImagesCacheNothing) {
    server.route("GET", "/bad.png", undecodableImage());
    // A readable header over pixels that never come.
    server.route("GET", "/cut.png", text(pngOf(30, 20).substr(0, 40), "image/png"));
    auto cut = make<RequestRecorder>();
    auto cutRequest = requestFor("/cut.png", cut, make<DZURLImageResponse>());
    cutRequest->send();
    ASSERT_TRUE(waitEnded(cut));
    EXPECT_EQ(cut->events.back(), "fail dodiz20.network 100");
    EXPECT_FALSE(cache->hasImageForURL(cutRequest->urlPath(), false));

    auto missing = make<RequestRecorder>(), bad = make<RequestRecorder>();
    auto missingRequest = requestFor("/nothing", missing);
    auto badRequest = requestFor("/bad.png", bad, make<DZURLImageResponse>());
    missingRequest->send();
    badRequest->send();
    ASSERT_TRUE(waitEnded(missing));
    ASSERT_TRUE(waitEnded(bad));
    EXPECT_EQ(missing->events.back(), "fail NSURLErrorDomain 404");
    EXPECT_EQ(bad->events.back(), "fail dodiz20.network 100");
    EXPECT_FALSE(cache->hasDataForKey(missingRequest->cacheKey(), 1e9));
    EXPECT_FALSE(cache->hasDataForKey(badRequest->cacheKey(), 1e9));

    auto empty = make<RequestRecorder>();
    EXPECT_FALSE(DZURLRequest::requestWithURL(NS(""), empty)->send());
    EXPECT_EQ(empty->events, (std::vector<std::string>{"start", "fail NSURLErrorDomain -1000"}));
}

TEST_F(RequestQueue, HostNotFoundIsTriedThreeTimesOtherErrorsOnce) {
    auto rec = make<RequestRecorder>();
    auto request = DZURLRequest::requestWithURL(NS("http://nowhere.test/x"), rec);
    request->send();
    ASSERT_TRUE(waitEnded(rec));
    EXPECT_EQ(rec->events, (std::vector<std::string>{"start", "fail NSURLErrorDomain -1003"}));
    EXPECT_EQ(queue->built, 3);

    // Nothing listens on the port: refused at once, no retry.
    ClosedPort closed;
    queue->built = 0;
    auto refused = make<RequestRecorder>();
    DZURLRequest::requestWithURL(str(closed.url("/x")), refused)->send();
    ASSERT_TRUE(waitEnded(refused));
    EXPECT_EQ(refused->error->code(), NSURLErrorCannotConnectToHost);
    EXPECT_EQ(queue->built, 1);
    EXPECT_EQ(DZNetworkActivityCount(), 0);
}

TEST_F(RequestQueue, WithoutAnAnsweringDelegateAChallengeEndsAsError401) {
    server.route("GET", "/private", basicAuth("u", "p", "realm", text("secret")));
    auto rec = make<RequestRecorder>();
    requestFor("/private", rec)->send();
    ASSERT_TRUE(waitEnded(rec));
    EXPECT_EQ(rec->events.back(), "fail NSURLErrorDomain 401");
}

// ---- etags
// ---------------------------------------------------------------------------------------

TEST_F(RequestQueue, EtagsAreStoredBetweenQuotesAndSentBack) {
    server.route("GET", "/weak", etagged("weak body", "W/\"v1\""));
    server.route("GET", "/bare", etagged("bare body", "v2"));
    constexpr int32_t revalidate =
        DZURLRequestCachePolicyDisk | DZURLRequestCachePolicyNetwork | DZURLRequestCachePolicyEtag;
    auto rec = make<RequestRecorder>();
    auto first = requestFor("/weak", rec, dataResponse());
    first->setCachePolicy(revalidate);
    first->send();
    ASSERT_TRUE(waitEnded(rec));
    EXPECT_EQ(cache->etagForKey(first->cacheKey())->utf8(), "\"v1\"");

    auto again = make<RequestRecorder>();
    auto data = dataResponse();
    auto second = requestFor("/weak", again, data);
    second->setCachePolicy(revalidate);
    EXPECT_FALSE(second->send());  // the lookup is skipped with disk and etag
    ASSERT_TRUE(waitEnded(again));
    EXPECT_EQ(server.requestsTo("/weak").back().header("If-None-Match"), "\"v1\"");
    EXPECT_EQ(again->events, (std::vector<std::string>{"start", "finish"}));
    EXPECT_TRUE(second->respondedFromCache());
    EXPECT_EQ(bytesOf(data->data()), "weak body");

    auto bare = make<RequestRecorder>();
    auto bareRequest = requestFor("/bare", bare);
    bareRequest->setCachePolicy(revalidate);
    bareRequest->send();
    ASSERT_TRUE(waitEnded(bare));
    EXPECT_FALSE(cache->etagForKey(bareRequest->cacheKey()));

    // Without the etag bit no If-None-Match goes out, even with a stored etag.
    auto plain = make<RequestRecorder>();
    auto plainRequest = requestFor("/weak", plain);
    plainRequest->setCachePolicy(DZURLRequestCachePolicyNetwork);
    plainRequest->send();
    ASSERT_TRUE(waitEnded(plain));
    EXPECT_EQ(server.requestsTo("/weak").back().header("If-None-Match"), "");
}

TEST_F(RequestQueue, A304WithoutACopyReloadsOnceWithoutTheEtag) {
    server.route("GET", "/gone", [](const Request& r) {
        if (!r.header("If-None-Match").empty()) return Response(304);
        return Response(200, "whole again");
    });
    server.route("GET", "/always304", respondWith(Response(304)));
    constexpr int32_t revalidate =
        DZURLRequestCachePolicyDisk | DZURLRequestCachePolicyNetwork | DZURLRequestCachePolicyEtag;
    auto rec = make<RequestRecorder>();
    auto data = dataResponse();
    auto request = requestFor("/gone", rec, data);
    request->setCachePolicy(revalidate);
    cache->storeEtag(NS("\"old\""), request->cacheKey());
    cache->storeDataForKey(dataOf("old copy"), request->cacheKey());
    request->send();
    cache->removeKey(request->cacheKey());  // evicted while the request is out
    ASSERT_TRUE(waitEnded(rec));
    EXPECT_EQ(rec->events, (std::vector<std::string>{"start", "finish"}));
    EXPECT_EQ(bytesOf(data->data()), "whole again");
    auto seen = server.requestsTo("/gone");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].header("If-None-Match"), "\"old\"");
    EXPECT_EQ(seen[1].header("If-None-Match"), "");

    auto twice = make<RequestRecorder>();
    auto stubborn = requestFor("/always304", twice);
    stubborn->setCachePolicy(revalidate);
    stubborn->send();
    ASSERT_TRUE(waitEnded(twice));
    EXPECT_EQ(twice->events.back(), "fail NSURLErrorDomain 304");
    EXPECT_EQ(server.requestsTo("/always304").size(), 2u);
    EXPECT_EQ(queue->totalLoading(), 0);
}

// ---- the request -------------------------------------------------------------------------------

TEST_F(RequestQueue, TheMultipartExampleByteForByte) {
    server.route("POST", "/form", echo());
    auto rec = make<RequestRecorder>();
    auto data = dataResponse();
    auto request = requestFor("/form", rec, data);
    request->setHttpMethod(NS("POST"));
    request->parameters()->setObject(NS("1"), NS("a"));
    std::string b = DZURLRequestMultipartBoundary->utf8();
    std::string expected = "--" + b + "\r\n" + "\r\n--" + b + "\r\n" +
                           "Content-Disposition: form-data; name=\"a\"\r\n\r\n1" + "\r\n--" + b +
                           "--\r\n";
    EXPECT_EQ(bytesOf(request->httpBody()), expected);
    EXPECT_EQ(request->contentType()->utf8(), "multipart/form-data; boundary=" + b);
    request->send();
    ASSERT_TRUE(waitEnded(rec));
    auto seen = server.requestsTo("/form");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].body, expected);
    EXPECT_EQ(seen[0].header("Content-Type"), "multipart/form-data; boundary=" + b);
}

TEST_F(RequestQueue, AnUploadReportsItsProgressToEveryDelegate) {
    server.route("POST", "/upload", echo());
    queue->setMaxContentLength(0);  // the echo of the upload is no smaller than the upload
    auto rec = make<RequestRecorder>();
    auto request = requestFor("/upload", rec);
    request->setHttpMethod(NS("POST"));
    request->parameters()->setObject(dataOf(patternBytes(300000)), NS("photo"));
    NSUInteger bodyLength = request->httpBody()->length();
    request->send();
    ASSERT_TRUE(waitEnded(rec));
    EXPECT_EQ(rec->events, (std::vector<std::string>{"start", "upload", "finish"}));
    EXPECT_EQ(request->totalBytesLoaded(), static_cast<int32_t>(bodyLength));
    EXPECT_EQ(request->totalBytesExpected(), static_cast<int32_t>(bodyLength));
    ASSERT_EQ(server.requestsTo("/upload").size(), 1u);
    EXPECT_EQ(server.requestsTo("/upload")[0].body.size(), bodyLength);
}

TEST_F(RequestQueue, MultipartPartsAndTheirOrder) {
    auto request = DZURLRequest::request();
    request->setURL(NS("http://x.test/"));
    request->setHttpMethod(NS("post"));  // lower case: still a form with its boundary
    request->parameters()->setObject(dataOf("JPEGBYTES"), NS("photo"));
    request->parameters()->setObject(NS("hi"), NS("title"));
    request->addFile(dataOf("FILE"), NS("text/plain"), NS("notes.txt"));
    std::string b = DZURLRequestMultipartBoundary->utf8();
    std::string expected =
        "--" + b + "\r\n" + "\r\n--" + b + "\r\n" +
        "Content-Disposition: form-data; name=\"title\"\r\n\r\nhi" + "\r\n--" + b + "\r\n" +
        "Content-Disposition: form-data; name=\"photo\"; filename=\"image.jpg\"\r\n" +
        "Content-Length: 9\r\nContent-Type: image/jpeg\r\n\r\nJPEGBYTES" + "\r\n--" + b + "\r\n" +
        "Content-Disposition: form-data; name=\"notes.txt\"; filename=\"notes.txt\"\r\n" +
        "Content-Length: 4\r\nContent-Type: text/plain\r\n\r\nFILE" + "\r\n--" + b + "--\r\n";
    EXPECT_EQ(bytesOf(request->httpBody()), expected);
    // Built again (a retry): the photo is still there.
    EXPECT_EQ(bytesOf(request->httpBody()), expected);
    EXPECT_EQ(request->contentType()->utf8(), "multipart/form-data; boundary=" + b);

    auto get = DZURLRequest::request();
    EXPECT_FALSE(get->httpBody());
    EXPECT_FALSE(get->contentType());
    EXPECT_EQ(request->description()->utf8(), "<DZURLRequest http://x.test/>");
}

TEST_F(RequestQueue, CacheKeysOfPostsIncludeTheStringParameters) {
    auto get = DZURLRequest::requestWithURL(NS("http://x.test/a"), nullptr);
    EXPECT_EQ(get->cacheKey()->utf8(), cache->keyForURL(NS("http://x.test/a"))->utf8());
    auto post = DZURLRequest::requestWithURL(NS("http://x.test/a"), nullptr);
    post->setHttpMethod(NS("POST"));
    post->parameters()->setObject(NS("1"), NS("k"));
    post->parameters()->setObject(dataOf("ignored"), NS("d"));
    EXPECT_EQ(post->cacheKey()->utf8(), cache->keyForURL(NS("http://x.test/ak=1d="))->utf8());
}

TEST_F(RequestQueue, ThePlatformRequestCarriesTheRequestsSettings) {
    queue->setUserAgent(NS("Bazaarnest/1.0"));
    auto request = DZURLRequest::requestWithURL(NS("http://x.test/p"), nullptr);
    request->setHttpMethod(NS("PUT"));
    request->setShouldHandleCookies(false);
    request->setValueForHTTPHeaderField(NS("text/x-own"), NS("Content-Type"));
    auto platform = request->createNSURLRequest();
    EXPECT_EQ(platform->HTTPMethod()->utf8(), "PUT");
    EXPECT_FALSE(platform->HTTPShouldHandleCookies());
    EXPECT_EQ(platform->cachePolicy(), NSURLRequestReloadIgnoringLocalCacheData);
    EXPECT_EQ(platform->timeoutInterval(), 300);
    EXPECT_EQ(platform->valueForHTTPHeaderField(NS("User-Agent"))->utf8(), "Bazaarnest/1.0");
    EXPECT_EQ(platform->valueForHTTPHeaderField(NS("Content-Type"))->utf8(), "text/x-own");
    EXPECT_TRUE(platform->HTTPBody());
}

// ---- cancelling by delegate
// ----------------------------------------------------------------------

TEST_F(RequestQueue, CancelByDelegateReachesUserInfoOwnersAndWorksFromDealloc) {
    auto gate = server.gate();
    server.routePrefix("GET", "/held/", held(gate, text("x")));
    auto owner = make<RequestRecorder>();
    auto rec = make<RequestRecorder>();
    auto byInfo = requestFor("/held/1", rec);
    byInfo->setUserInfo(DZUserInfo::weakRef(owner));
    byInfo->send();
    auto other = make<RequestRecorder>();
    requestFor("/held/2", other)->send();
    queue->cancelRequestsWithDelegate(owner);
    EXPECT_EQ(rec->events, (std::vector<std::string>{"start", "cancel"}));
    EXPECT_EQ(other->events, (std::vector<std::string>{"start"}));

    // An owner that cancels its requests from its own dealloc: the list no longer reads it
    // there, the identity still matches. A waiting request is reached too.
    queue->setSuspended(true);
    auto watcher = make<RequestRecorder>();
    Ref<DZURLRequest> orphan;
    {
        auto dying = make<CancellingOwner>();
        orphan = requestFor("/held/3", nullptr);
        orphan->delegates()->addObject(dying);
        orphan->delegates()->addObject(watcher);
        orphan->send();
        EXPECT_EQ(queue->waitingCount(), 1u);
    }
    EXPECT_EQ(watcher->events, (std::vector<std::string>{"start", "cancel"}));
    EXPECT_FALSE(orphan->isLoading());
    EXPECT_EQ(queue->waitingCount(), 0u);
    queue->setSuspended(false);
    gate->open();
    ASSERT_TRUE(waitEnded(other));
}

TEST_F(RequestQueue, ACancelledPostStaysCancellableAfterAnotherTakesItsKey) {
    auto gate = server.gate();
    server.route("POST", "/twice", held(gate, text("ok")));
    auto first = make<RequestRecorder>(), second = make<RequestRecorder>();
    auto r1 = requestFor("/twice", first), r2 = requestFor("/twice", second);
    for (auto& r : {r1, r2}) {
        r->setHttpMethod(NS("POST"));
        r->send();
    }
    EXPECT_EQ(queue->totalLoading(), 2);
    r1->cancel();
    EXPECT_EQ(first->events.back(), "cancel");
    EXPECT_EQ(queue->totalLoading(), 1);
    gate->open();
    ASSERT_TRUE(waitEnded(second));
    EXPECT_EQ(second->events.back(), "finish");
    EXPECT_EQ(queue->totalLoading(), 0);
}

TEST_F(RequestQueue, SynchronousSendsRunEveryCallbackBeforeReturning) {
    server.route("GET", "/sync", text("now"));
    auto rec = make<RequestRecorder>();
    auto data = dataResponse();
    auto request = requestFor("/sync", rec, data);
    EXPECT_FALSE(request->sendSynchronously());
    EXPECT_EQ(rec->events, (std::vector<std::string>{"start", "finish"}));
    EXPECT_EQ(bytesOf(data->data()), "now");
    EXPECT_EQ(queue->totalLoading(), 0);
    EXPECT_EQ(DZNetworkActivityCount(), 0);
}

// ---- drawing what came -------------------------------------------------------------------------

TEST_F(RequestQueue, AThumbnailFromTheQueueIsPlacedByContentMode) {
    server.route("GET", "/wide.jpg", image(ImageFormat::JPEG, 60, 30));
    auto rec = make<RequestRecorder>();
    auto processor = make<DZURLImageResponse>();
    requestFor("/wide.jpg", rec, processor)->send();
    ASSERT_TRUE(waitEnded(rec));
    Ref<UIImage> thumbnail = processor->image();
    ASSERT_TRUE(thumbnail);
    // A 30 × 30 slot on white: fitted, the image is a band across the middle; filled, it covers
    // the slot and more.
    auto slot = [&](UIViewContentMode mode) {
        return paintedImage(CGSizeMake(40, 40), 1, [&] {
            fill(UIColor::whiteColor(), CGRectMake(0, 0, 40, 40));
            drawInRect(thumbnail, CGRectMake(5, 5, 30, 30), mode);
        });
    };
    auto fitted = slot(UIViewContentModeScaleAspectFit);
    EXPECT_TRUE(near(pixelAt(fitted, 20, 8), kWhite));   // above the band
    EXPECT_TRUE(near(pixelAt(fitted, 20, 32), kWhite));  // below it
    EXPECT_FALSE(near(pixelAt(fitted, 20, 20), kWhite, 20));
    auto filled = slot(UIViewContentModeScaleAspectFill);
    EXPECT_FALSE(near(pixelAt(filled, 20, 8), kWhite, 20));
    EXPECT_FALSE(near(pixelAt(filled, 2, 20), kWhite, 20));  // drawn past the slot's side
}
