// Who hears what: callbacks by registered name and by custom names, the queue receiver, the
// download cache contract, the default User-Agent and proxies.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "EngineTesting.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSPathUtilities.h"

using namespace enginetest;
using testhttp::TestServer;

namespace {

// Callbacks reached by name through the runtime, one of them under a name of its own.
class NamedCallbacks : public NSObject, public NKHTTPRequestDelegate {
    NS_OBJECT(NamedCallbacks, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("pageArrived:", &NamedCallbacks::pageArrived);
        c.method("request:didReceiveData:", &NamedCallbacks::gotData);
    }
    void pageArrived(NKHTTPRequest* r) { arrived = r ? r->responseStatusCode() : -1; }
    void gotData(NKHTTPRequest*, NSData* d) { bytes += d->length(); }
    int arrived = 0;
    size_t bytes = 0;
};

// A cache that holds one response on disk and records what it is asked.
class OneEntryCache : public NSObject, public NKCacheDelegate {
    NS_OBJECT(OneEntryCache, NSObject)
    NKCachePolicy defaultCachePolicy() override { return NKUseCacheIfLoadFailsCachePolicy; }
    void removeCachedDataForRequest(NKHTTPRequest*) override { removed = true; }
    bool isCachedDataCurrentForRequest(NKHTTPRequest*) override { return current; }
    void storeResponseForRequest(NKHTTPRequest* r, NSTimeInterval maxAge) override {
        stored = r->responseString() ? r->responseString()->utf8() : "";
        storedMaxAge = maxAge;
    }
    Ref<NSDictionary> cachedHeadersForRequest(NKHTTPRequest*) override { return headers; }
    Ref<NSString> pathToCachedResponseDataForRequest(NKHTTPRequest*) override { return path; }
    void clearCachedResponsesForStoragePolicy(NKCacheStoragePolicy) override {}

    Ref<NSDictionary> headers;
    Ref<NSString> path;
    bool current = true, removed = false;
    std::string stored;
    NSTimeInterval storedMaxAge = -1;
};

// Hears only the end of a request, as the app's simplest pages do.
class EndOnly : public NSObject, public NKHTTPRequestDelegate {
    NS_OBJECT(EndOnly, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"requestFinished:", "requestFailed:"});
    }
    void requestFinished(NKHTTPRequest*) override { ++ends; }
    void requestFailed(NKHTTPRequest*) override { ++ends; }
    std::atomic<int> ends{0};
};

Ref<OneEntryCache> cacheHolding(const std::string& body) {
    Ref<OneEntryCache> c = make<OneEntryCache>();
    c->path = NSTemporaryDirectory()->stringByAppendingPathComponent(NS("cached-body"));
    std::ofstream(c->path->utf8(), std::ios::binary) << body;
    c->headers =
        NSDictionary::dictionaryWithPairs({{NS("Content-Length"), str(std::to_string(body.size()))},
                                           {NS("Content-Type"), NS("text/plain; charset=utf-8")},
                                           {NS("Etag"), NS("\"v1\"")}});
    return c;
}

}  // namespace

class Receivers : public ::testing::Test {
protected:
    void SetUp() override {
        server.route("GET", "/hello", testhttp::text("hello"));
        server.route("GET", "/silent", testhttp::silence());
    }
    // A request that falls back on the cache when it fails, started against a server that
    // never answers; nil when the server never saw it.
    Ref<NKHTTPRequest> startUnanswered(NKCacheDelegate* cache, Recorder* delegate,
                                       NSTimeInterval timeOut) {
        Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/silent")), cache,
                                                             NKUseCacheIfLoadFailsCachePolicy);
        r->setTimeOutSeconds(timeOut);
        r->setDelegate(delegate);
        r->startAsynchronous();
        if (!runLoopUntil([&] { return server.requestCount() >= 1; })) return nullptr;
        return r;
    }
    TestServer server;
};

TEST_F(Receivers, CustomCallbackNamesAreCalledByName) {
    Ref<NamedCallbacks> d = make<NamedCallbacks>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/hello")));
    r->setDelegate(d);
    r->setDidFinishSelector(Selector::named("pageArrived:"));
    r->startAsynchronous();
    ASSERT_TRUE(runLoopUntil([&] { return d->arrived != 0; }));
    EXPECT_EQ(d->arrived, 200);
    EXPECT_EQ(d->bytes, 5u);
    EXPECT_EQ(r->rawResponseData()->length(), 0u);
}

TEST_F(Receivers, QueueHearsEveryEventAfterTheDelegate) {
    Ref<Recorder> d = make<Recorder>(), q = make<Recorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/hello")));
    r->setDelegate(d);
    r->setQueue(q);
    r->setDidStartSelector(nullptr);
    r->startAsynchronous();
    ASSERT_TRUE(runLoopUntil([&] { return q->ended(); }));
    EXPECT_EQ(q->events, (std::vector<std::string>{"started", "headers", "finished"}));
    EXPECT_EQ(d->events, (std::vector<std::string>{"headers", "finished"}));
}

TEST_F(Receivers, EventsNobodyAnswersCostTheMainThreadNoWakeUpOfTheirOwn) {
    std::shared_ptr<testhttp::Gate> gate = server.gate();
    server.route("GET", "/held", testhttp::held(gate, testhttp::text("held")));
    Ref<NSRunLoop> mainLoop = NSRunLoop::mainRunLoop();
    Ref<EndOnly> d = make<EndOnly>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/held")));
    r->setDelegate(d);
    const uint64_t before = mainLoop->descriptorWakeUps();
    std::atomic<uint64_t> whileHeld{0};
    std::atomic<bool> seen{false};
    // The request has started (and reported so) once the server holds it; the main thread
    // meanwhile waits in its loop, where any wake-up would reach it.
    std::thread watcher([&] {
        if (gate->waitUntilWaiting(1)) seen = true;
        whileHeld = mainLoop->descriptorWakeUps();
        gate->open();
    });
    r->startAsynchronous();
    bool ended = runLoopUntil([&] { return d->ends.load() == 1; });
    watcher.join();
    ASSERT_TRUE(ended);
    ASSERT_TRUE(seen.load());
    EXPECT_EQ(whileHeld.load(), before);
    EXPECT_EQ(r->responseString()->utf8(), "held");
}

TEST_F(Receivers, EventsQueuedWithoutAWakeUpReachTheDelegateSetBeforeTheyRun) {
    Ref<EndOnly> first = make<EndOnly>();
    Ref<Recorder> second = make<Recorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/hello")));
    r->setDelegate(first);
    r->startAsynchronous();
    // The main thread runs no loop until the request is over: every event is queued by then,
    // those nobody answered without a wake-up.
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!r->isFinished() && std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
    ASSERT_TRUE(r->isFinished());
    r->setDelegate(second);
    ASSERT_TRUE(waitForEnd(second));
    EXPECT_EQ(second->events, (std::vector<std::string>{"started", "headers", "finished"}));
    EXPECT_EQ(first->ends.load(), 0);
}

TEST_F(Receivers, CachedCopyIsDeliveredWithoutTheNetworkWhenAskedFirst) {
    Ref<OneEntryCache> cache = cacheHolding("from cache");
    Ref<Recorder> d = make<Recorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/hello")), cache,
                                                         NKOnlyLoadIfNotCachedCachePolicy);
    r->setDelegate(d);
    r->startSynchronous();
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_TRUE(r->didUseCachedResponse());
    EXPECT_EQ(r->responseStatusCode(), 200);
    EXPECT_EQ(textOf(r), "from cache");
    EXPECT_EQ(r->contentLength(), 10u);
    EXPECT_EQ(d->events, std::vector<std::string>{"finished"});
    EXPECT_TRUE(r->isFinished());
}

TEST_F(Receivers, FreshResponseIsStoredAndRevalidationSendsTheValidator) {
    Ref<OneEntryCache> cache = cacheHolding("old");
    cache->current = false;
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/hello")), cache,
                                                         NKReloadIfDifferentCachePolicy);
    r->setSecondsToCache(30);
    r->startSynchronous();
    EXPECT_EQ(server.lastRequest()->header("If-None-Match"), "\"v1\"");
    EXPECT_TRUE(cache->removed);
    EXPECT_FALSE(r->didUseCachedResponse());
    EXPECT_EQ(textOf(r), "hello");
    EXPECT_EQ(cache->stored, "hello");
    EXPECT_EQ(cache->storedMaxAge, 30);
}

TEST_F(Receivers, FailedLoadFallsBackOnTheCachedCopy) {
    Ref<OneEntryCache> cache = cacheHolding("saved");
    server.route("GET", "/hangup", [](testhttp::Exchange& x) { x.close(); });
    Ref<Recorder> d = make<Recorder>();
    // Policy 0 takes the cache's own default: a cached copy on failure.
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/hangup")), cache);
    r->setDelegate(d);
    r->startSynchronous();
    EXPECT_FALSE(r->error());
    EXPECT_EQ(textOf(r), "saved");
    EXPECT_EQ(d->count("failed"), 0u);
    EXPECT_EQ(d->count("finished"), 1u);
}

TEST_F(Receivers, TimedOutLoadFallsBackOnTheWholeCachedCopy) {
    ManualClockScope clock;
    Ref<OneEntryCache> cache = cacheHolding("saved");
    Ref<Recorder> d = make<Recorder>();
    Ref<NKHTTPRequest> r = startUnanswered(cache, d, 10);
    ASSERT_TRUE(r);
    ASSERT_TRUE(settleNetworkThread());
    Clock::advance(10.3);
    ASSERT_TRUE(settleNetworkThread());
    ASSERT_TRUE(waitForEnd(d));
    runFor(0.02);
    EXPECT_EQ(d->events.back(), "finished");
    EXPECT_EQ(d->count("failed"), 0u);
    EXPECT_FALSE(r->error());
    EXPECT_TRUE(r->didUseCachedResponse());
    EXPECT_EQ(textOf(r), "saved");
    ASSERT_TRUE(r->responseHeaders());
    EXPECT_EQ(text(as<NSString>(r->responseHeaders()->objectForKey(NS("Etag")))), "\"v1\"");
    // The connection that went silent is closed, not kept for the next request.
    EXPECT_TRUE(runLoopUntil([&] {
        auto connections = server.connections();
        return connections.size() == 1 && connections[0].closedByPeer;
    }));
}

TEST_F(Receivers, CancelIsAFailureEvenWithACachedCopyToFallBackOn) {
    Ref<OneEntryCache> cache = cacheHolding("saved");
    Ref<Recorder> d = make<Recorder>();
    Ref<NKHTTPRequest> r = startUnanswered(cache, d, 60);
    ASSERT_TRUE(r);
    r->cancel();
    r->cancel();
    ASSERT_TRUE(waitForEnd(d));
    ASSERT_TRUE(settleNetworkThread());
    runFor(0.05);
    EXPECT_EQ(d->events.back(), "failed");
    EXPECT_EQ(d->count("failed"), 1u);
    EXPECT_EQ(d->count("finished"), 0u);
    ASSERT_TRUE(r->error());
    EXPECT_EQ(r->error()->code(), NKRequestCancelledErrorType);
    EXPECT_FALSE(r->didUseCachedResponse());
    EXPECT_EQ(textOf(r), "(nil)");
    EXPECT_TRUE(r->isCancelled());
}

TEST_F(Receivers, DefaultUserAgentComesFromTheBundle) {
    Ref<NSString> folder = NSTemporaryDirectory()->stringByAppendingPathComponent(NS("UA.app"));
    NSFileManager::defaultManager()->createDirectoryAtPath(folder, true, nullptr, nullptr);
    auto withInfo = [&](const char* shortVersion, const char* build) {
        NSDictionary::dictionaryWithPairs({{NS("CFBundleName"), NS("Bazaarnest")},
                                           {NS("CFBundleShortVersionString"), str(shortVersion)},
                                           {NS("CFBundleVersion"), str(build)}})
            ->writeToFile(folder->stringByAppendingPathComponent(NS("Info.plist")), true);
        setenv("BAZAARNEST_BUNDLE", folder->UTF8String(), 1);
        NSBundle::resetMainBundle();
        Ref<NSString> agent = NKHTTPRequest::defaultUserAgentString();
        return agent ? agent->utf8() : std::string("(nil)");
    };
    std::string same = withInfo("1.2", "1.2");
    std::string differ = withInfo("1.2", "45");
    unsetenv("BAZAARNEST_BUNDLE");
    NSBundle::resetMainBundle();
    std::string locale = NSLocale::currentLocale()->localeIdentifier()->utf8();
    EXPECT_EQ(same.rfind("Bazaarnest 1.2 (", 0), 0u) << same;
    EXPECT_EQ(differ.rfind("Bazaarnest 1.2 rv:45 (", 0), 0u) << differ;
    EXPECT_EQ(same.substr(same.size() - locale.size() - 3), "; " + locale + ")");
    EXPECT_FALSE(NKHTTPRequest::defaultUserAgentString());
}

TEST_F(Receivers, ExplicitProxyCarriesTheRequest) {
    TestServer proxy;
    proxy.enableProxy();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/hello")));
    r->setProxyHost(NS("127.0.0.1"));
    r->setProxyPort(proxy.port());
    r->startSynchronous();
    EXPECT_EQ(textOf(r), "hello");
    ASSERT_EQ(proxy.requestCount(), 1u);
    EXPECT_TRUE(proxy.lastRequest()->absoluteForm);
    EXPECT_EQ(r->proxyType()->utf8(), "kCFProxyTypeHTTP");
}
