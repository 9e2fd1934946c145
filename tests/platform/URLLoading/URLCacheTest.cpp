// The URL cache on its own (tiers, capacities, the disk copy) and as the connection uses it
// (what is stored, and which cache policies read it).
#include <filesystem>
#include <fstream>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSPathUtilities.h"
#include "URLLoadingTesting.h"

using namespace testhttp;

namespace {

class URLCache : public URLLoadingTest {};

Ref<NSCachedURLResponse> entry(const std::string& url, const std::string& body, int status = 200) {
    auto response = alloc<NSHTTPURLResponse>();
    response->initWithURL(NSURL::URLWithString(str(url)), status, NS("HTTP/1.1"),
                          NSDictionary::dictionaryWithObjectsAndKeys(
                              {NS("text/plain; charset=utf-8"), NS("Content-Type")}));
    return NSCachedURLResponse::cachedResponse(response,
                                               NSData::dataWithBytes(body.data(), body.size()));
}

std::string bodyOf(NSCachedURLResponse* cached) {
    Ref<NSData> d = cached ? cached->data() : nullptr;
    return d ? std::string(static_cast<const char*>(d->bytes()), d->length()) : "(none)";
}

Ref<NSMutableURLRequest> withPolicy(const std::string& url, NSURLRequestCachePolicy policy) {
    auto r = requestFor(url);
    r->setCachePolicy(policy);
    return r;
}

}  // namespace

// ---- the cache itself ---------------------------------------------------------------------------

TEST_F(URLCache, StoresReadsAndForgetsByURL) {
    auto request = requestFor("http://a.test/page#part");
    cache->storeCachedResponse(entry("http://a.test/page", "one"), request);
    EXPECT_EQ(bodyOf(cache->cachedResponseForRequest(requestFor("http://a.test/page"))), "one");
    auto read = cache->cachedResponseForRequest(request);
    ASSERT_TRUE(read);
    EXPECT_EQ(as<NSHTTPURLResponse>(read->response())->statusCode(), 200);
    EXPECT_EQ(read->response()->textEncodingName()->utf8(), "utf-8");
    EXPECT_FALSE(cache->cachedResponseForRequest(requestFor("http://a.test/other")));
    cache->removeCachedResponseForRequest(request);
    EXPECT_FALSE(cache->cachedResponseForRequest(request));
    EXPECT_EQ(cache->currentMemoryUsage(), 0u);
    EXPECT_EQ(cache->currentDiskUsage(), 0u);
}

TEST_F(URLCache, TheDiskTierOutlivesTheObject) {
    cache->storeCachedResponse(entry("http://a.test/kept", "kept on disk"),
                               requestFor("http://a.test/kept"));
    cache->storeCachedResponse(NSCachedURLResponse::cachedResponse(
                                   entry("http://a.test/memory", "x")->response(), nullptr),
                               requestFor("http://a.test/memory"));
    auto memoryOnly = alloc<NSCachedURLResponse>();
    memoryOnly->initWithResponse(entry("http://a.test/volatile", "v")->response(), nullptr, nullptr,
                                 NSURLCacheStorageAllowedInMemoryOnly);
    cache->storeCachedResponse(memoryOnly, requestFor("http://a.test/volatile"));
    EXPECT_TRUE(cache->cachedResponseForRequest(requestFor("http://a.test/volatile")));
    // An earlier version's cut-short write of an entry goes when the index is read; others stay.
    auto caches = NSSearchPathForDirectoriesInDomains(NSCachesDirectory, NSUserDomainMask, true);
    std::string folder = as<NSString>(caches->firstObject())->utf8() +
                         "/URLLoadingTest-TheDiskTierOutlivesTheObject/";
    for (const char* name : {"0123456789abcdef.entry.tmp", "notes.tmp"})
        std::ofstream(folder + name) << "half";

    auto again = alloc<NSURLCache>();
    again->initWithMemoryCapacity(
        1 << 20, 1 << 20,
        str(std::string("URLLoadingTest-") +
            ::testing::UnitTest::GetInstance()->current_test_info()->name()));
    auto read = again->cachedResponseForRequest(requestFor("http://a.test/kept"));
    EXPECT_EQ(bodyOf(read), "kept on disk");
    ASSERT_TRUE(read);
    EXPECT_EQ(as<NSHTTPURLResponse>(read->response())->statusCode(), 200);
    EXPECT_FALSE(again->cachedResponseForRequest(requestFor("http://a.test/volatile")));
    EXPECT_GT(again->currentDiskUsage(), 0u);
    EXPECT_FALSE(std::filesystem::exists(folder + "0123456789abcdef.entry.tmp"));
    EXPECT_TRUE(std::filesystem::exists(folder + "notes.tmp"));
}

TEST_F(URLCache, AZeroCapacityEmptiesAndDisablesItsTier) {
    cache->storeCachedResponse(entry("http://a.test/1", "first"), requestFor("http://a.test/1"));
    EXPECT_GT(cache->currentMemoryUsage(), 0u);
    cache->setMemoryCapacity(0);
    EXPECT_EQ(cache->currentMemoryUsage(), 0u);
    // Still on disk.
    EXPECT_EQ(bodyOf(cache->cachedResponseForRequest(requestFor("http://a.test/1"))), "first");
    EXPECT_EQ(cache->currentMemoryUsage(), 0u);
    cache->setDiskCapacity(0);
    EXPECT_EQ(cache->currentDiskUsage(), 0u);
    EXPECT_FALSE(cache->cachedResponseForRequest(requestFor("http://a.test/1")));
    cache->storeCachedResponse(entry("http://a.test/2", "second"), requestFor("http://a.test/2"));
    EXPECT_FALSE(cache->cachedResponseForRequest(requestFor("http://a.test/2")));

    // Through a connection: nothing is offered to the cache, nothing stored.
    server.route("GET", "/page", text("page"));
    auto r = load(server.url("/page"));
    EXPECT_EQ(r->events, lines({"request", "response 200", "data", "finish"}));
    EXPECT_FALSE(cache->cachedResponseForRequest(requestFor(server.url("/page"))));
}

TEST_F(URLCache, TheLeastRecentlyUsedGoFirst) {
    auto small = alloc<NSURLCache>();
    small->initWithMemoryCapacity(250, 0, str("URLLoadingTest-small"));
    std::string hundred(100, 'x');
    small->storeCachedResponse(entry("http://a.test/a", hundred), requestFor("http://a.test/a"));
    small->storeCachedResponse(entry("http://a.test/b", hundred), requestFor("http://a.test/b"));
    EXPECT_TRUE(small->cachedResponseForRequest(requestFor("http://a.test/a")));  // a is fresher
    small->storeCachedResponse(entry("http://a.test/c", hundred), requestFor("http://a.test/c"));
    EXPECT_TRUE(small->cachedResponseForRequest(requestFor("http://a.test/a")));
    EXPECT_FALSE(small->cachedResponseForRequest(requestFor("http://a.test/b")));
    EXPECT_TRUE(small->cachedResponseForRequest(requestFor("http://a.test/c")));
    // Too large for the tier at all: not stored.
    small->storeCachedResponse(entry("http://a.test/big", std::string(300, 'y')),
                               requestFor("http://a.test/big"));
    EXPECT_FALSE(small->cachedResponseForRequest(requestFor("http://a.test/big")));
}

// ---- the connection and the cache
// -----------------------------------------------------------------

TEST_F(URLCache, TheConnectionStoresSuccessfulGetsTheDelegateAllows) {
    server.route("GET", "/page", text("page one"));
    server.route("GET", "/refused", text("refused"));
    server.route("GET", "/replaced", text("original"));
    server.route("GET", "/private",
                 respondWith(Response(200, "private").header("Cache-Control", "no-store")));
    server.route("POST", "/form", text("posted"));
    server.route("GET", "/missing", text("missing", "text/plain", 404));
    load(server.url("/page"));
    EXPECT_EQ(bodyOf(cache->cachedResponseForRequest(requestFor(server.url("/page")))), "page one");

    auto refuse = make<Recorder>();
    refuse->onCache = [](NSCachedURLResponse*) -> Ref<NSCachedURLResponse> { return nullptr; };
    load(requestFor(server.url("/refused")), refuse);
    EXPECT_EQ(refuse->events.back(), "finish");
    EXPECT_FALSE(cache->cachedResponseForRequest(requestFor(server.url("/refused"))));

    auto replace = make<Recorder>();
    replace->onCache = [](NSCachedURLResponse* c) {
        return NSCachedURLResponse::cachedResponse(c->response(),
                                                   NSData::dataWithBytes("edited", 6));
    };
    load(requestFor(server.url("/replaced")), replace);
    EXPECT_EQ(replace->body, "original");
    EXPECT_EQ(bodyOf(cache->cachedResponseForRequest(requestFor(server.url("/replaced")))),
              "edited");

    auto post = requestFor(server.url("/form"));
    post->setHTTPMethod(NS("POST"));
    auto posted = make<Recorder>();
    load(post, posted);
    EXPECT_EQ(posted->events, lines({"request", "response 200", "data", "finish"}));
    load(server.url("/private"));
    load(server.url("/missing"));
    EXPECT_FALSE(cache->cachedResponseForRequest(requestFor(server.url("/form"))));
    EXPECT_FALSE(cache->cachedResponseForRequest(requestFor(server.url("/private"))));
    EXPECT_FALSE(cache->cachedResponseForRequest(requestFor(server.url("/missing"))));
}

TEST_F(URLCache, PoliciesThatReadTheCacheAndOneThatNeverDoes) {
    server.route("GET", "/page", text("from the server"));
    std::string url = server.url("/page");
    cache->storeCachedResponse(entry(url, "from the cache"), requestFor(url));

    auto elseLoad = make<Recorder>();
    load(withPolicy(url, NSURLRequestReturnCacheDataElseLoad), elseLoad);
    EXPECT_EQ(elseLoad->body, "from the cache");
    EXPECT_EQ(elseLoad->events, lines({"request", "response 200", "data", "finish"}));
    auto dontLoad = make<Recorder>();
    load(withPolicy(url, NSURLRequestReturnCacheDataDontLoad), dontLoad);
    EXPECT_EQ(dontLoad->body, "from the cache");
    EXPECT_EQ(server.requestCount(), 0u);

    auto ignore = make<Recorder>();
    load(withPolicy(url, NSURLRequestReloadIgnoringLocalCacheData), ignore);
    EXPECT_EQ(ignore->body, "from the server");
    EXPECT_EQ(server.requestCount(), 1u);

    // Nothing cached: "else load" loads, "don't load" fails.
    cache->removeAllCachedResponses();
    auto loads = make<Recorder>();
    load(withPolicy(url, NSURLRequestReturnCacheDataElseLoad), loads);
    EXPECT_EQ(loads->body, "from the server");
    cache->removeAllCachedResponses();
    auto none = make<Recorder>();
    load(withPolicy(url, NSURLRequestReturnCacheDataDontLoad), none);
    EXPECT_EQ(none->errorCode(), NSURLErrorResourceUnavailable);
    EXPECT_EQ(server.requestCount(), 2u);
}

TEST_F(URLCache, TheProtocolPolicyRevalidatesWithTheEntityTag) {
    server.route("GET", "/tagged", etagged("tagged body", "\"v1\""));
    std::string url = server.url("/tagged");
    auto first = load(url);
    EXPECT_EQ(first->body, "tagged body");
    ASSERT_TRUE(cache->cachedResponseForRequest(requestFor(url)));

    auto second = load(url);
    auto sent = server.requestsTo("/tagged");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].header("If-None-Match"), "\"v1\"");
    EXPECT_EQ(second->status(), 200);
    EXPECT_EQ(second->body, "tagged body");

    // A request that carries its own validator sees the server's 304 as it is.
    auto own = requestFor(url);
    own->setValueForHTTPHeaderField(NS("W/\"v1\""), NS("If-None-Match"));
    auto third = make<Recorder>();
    load(own, third);
    EXPECT_EQ(third->status(), 304);
    EXPECT_EQ(third->body, "");
    EXPECT_EQ(server.requestsTo("/tagged")[2].header("If-None-Match"), "W/\"v1\"");
}
