// The download cache against the loopback server: what may be stored, when a stored copy is
// current (Cache-Control, Expires, validators, 304), the cache policies, the two stores and the
// folder. Ages are measured on the manual clock.
#include <atomic>
#include <thread>

#include "EngineTesting.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSPathUtilities.h"
#include "external/nk-http-request/Classes/NKDownloadCache.h"

using namespace enginetest;
using testhttp::Request;
using testhttp::Response;
using testhttp::TestServer;

namespace {

Ref<NSString> freshFolder(const char* name) {
    Ref<NSString> path = NSTemporaryDirectory()->stringByAppendingPathComponent(str(name));
    NSFileManager::defaultManager()->removeItemAtPath(path, nullptr);
    return path;
}

bool exists(NSString* path) {
    return NSFileManager::defaultManager()->fileExistsAtPath(path);
}

std::string bytes(NSData* d) {
    return d ? std::string(static_cast<const char*>(d->bytes()), d->length()) : "(nil)";
}

// A header field whatever the case of its name.
std::string field(NSDictionary* headers, const char* name) {
    for (NSObject* key : *headers) {
        if (text(key) == name || str(text(key))->caseInsensitiveCompare(str(name)) == NSOrderedSame)
            return text(headers->objectForKey(key));
    }
    return "(none)";
}

}  // namespace

class DownloadCache : public ::testing::Test {
protected:
    void SetUp() override {
        cache = make<NKDownloadCache>();
        cache->setStoragePath(freshFolder("cache-test"));
        // Each answer is numbered, so a test can tell a stored copy from a fresh one.
        server.route("GET", "/page", [this](const Request& rq) {
            if (!notModified.empty() && rq.header("If-None-Match") == notModified)
                return Response(304);
            Response r(200, "v" + std::to_string(++served), "text/plain; charset=utf-8");
            for (auto& f : extraHeaders)
                r.header(f.name, f.value);
            return r;
        });
    }

    Ref<NKHTTPRequest> fetch(NKCachePolicy policy = NKUseDefaultCachePolicy,
                             NSTimeInterval maxAge = 0, const char* path = "/page") {
        Ref<NKHTTPRequest> r =
            NKHTTPRequest::requestWithURL(urlOf(server.url(path)), cache, policy);
        r->setSecondsToCache(maxAge);
        r->setDelegate(delegate);
        r->startSynchronous();
        return r;
    }

    ManualClockScope clock;
    TestServer server;
    Ref<NKDownloadCache> cache;
    Ref<Recorder> delegate = make<Recorder>();
    std::atomic<int> served{0};
    std::string notModified;
    testhttp::Headers extraHeaders;
};

TEST_F(DownloadCache, RevalidationSendsTheValidatorsAndA304DeliversTheStoredCopy) {
    extraHeaders = {{"ETag", "\"abc\""}, {"Last-Modified", "Thu, 01 Mar 2012 10:00:00 GMT"}};
    notModified = "\"abc\"";
    EXPECT_EQ(textOf(fetch()), "v1");
    Ref<NKHTTPRequest> again = fetch();
    auto sent = server.lastRequest();
    EXPECT_EQ(sent->header("If-None-Match"), "\"abc\"");
    EXPECT_EQ(sent->header("If-Modified-Since"), "Thu, 01 Mar 2012 10:00:00 GMT");
    EXPECT_TRUE(again->didUseCachedResponse());
    EXPECT_EQ(again->responseStatusCode(), 200);
    EXPECT_EQ(textOf(again), "v1");
    EXPECT_EQ(delegate->count("finished"), 2u);
    EXPECT_EQ(delegate->count("failed"), 0u);
}

TEST_F(DownloadCache, A304KeepsTheStoredCopyEvenPastItsMaxAge) {
    extraHeaders = {{"ETag", "\"abc\""}};
    notModified = "\"abc\"";
    fetch(NKUseDefaultCachePolicy, 60);
    Clock::advance(600);
    Ref<NKHTTPRequest> again = fetch();
    EXPECT_TRUE(again->didUseCachedResponse());
    EXPECT_EQ(textOf(again), "v1");
    EXPECT_TRUE(cache->cachedHeadersForRequest(again));
}

TEST_F(DownloadCache, MaxAgeGivenByTheRequestReplacesExpiresAndLastsFromTheFetchDate) {
    // The server always answers in full with the same validators: only the age decides.
    extraHeaders = {{"ETag", "\"same\""},
                    {"Last-Modified", "Thu, 01 Mar 2012 10:00:00 GMT"},
                    {"Expires", "Thu, 01 Mar 2012 13:00:00 GMT"}};
    Ref<NKHTTPRequest> first = fetch(NKUseDefaultCachePolicy, 60);
    Ref<NSDictionary> stored = cache->cachedHeadersForRequest(first);
    ASSERT_TRUE(stored);
    EXPECT_FALSE(stored->objectForKey(NS("Expires")));
    EXPECT_EQ(text(as<NSString>(stored->objectForKey(NS("Cache-Control")))), "max-age=60");
    EXPECT_EQ(text(as<NSString>(stored->objectForKey(NS("X-NKHTTPRequest-Fetch-date")))),
              "Thu, 01 Mar 2012 12:00:00 GMT");

    Clock::advance(59);
    Ref<NKHTTPRequest> young = fetch();
    EXPECT_TRUE(young->didUseCachedResponse());
    EXPECT_EQ(textOf(young), "v1");

    Clock::advance(2);
    Ref<NKHTTPRequest> old = fetch();
    EXPECT_FALSE(old->didUseCachedResponse());
    EXPECT_EQ(textOf(old), "v3");
}

TEST_F(DownloadCache, ExpiresInThePastOrAChangedValidatorMakesTheCopyStale) {
    const testhttp::Headers::Field modified{"Last-Modified", "Thu, 01 Mar 2012 10:00:00 GMT"};
    extraHeaders = {{"ETag", "\"one\""}, modified, {"Expires", "Thu, 01 Mar 2012 11:00:00 GMT"}};
    fetch();
    EXPECT_EQ(textOf(fetch()), "v2");

    extraHeaders = {{"ETag", "\"one\""}, modified};
    fetch();  // v3, stored without an expiry
    EXPECT_EQ(textOf(fetch()), "v3");
    extraHeaders = {{"ETag", "\"two\""}, modified};
    Ref<NKHTTPRequest> changed = fetch();
    EXPECT_FALSE(changed->didUseCachedResponse());
    EXPECT_EQ(textOf(changed), "v5");

    // A copy without both validators is never current once a fresh answer is in.
    extraHeaders = {{"ETag", "\"two\""}};
    fetch();
    EXPECT_EQ(textOf(fetch()), "v7");
}

TEST_F(DownloadCache, ServerAndRequestCanForbidStoring) {
    extraHeaders = {{"Cache-Control", "no-store"}};
    EXPECT_FALSE(cache->cachedHeadersForRequest(fetch()));
    extraHeaders = {{"Pragma", "No-Cache"}};
    EXPECT_FALSE(cache->cachedHeadersForRequest(fetch()));
    extraHeaders = {{"Cache-Control", "private"}};
    EXPECT_FALSE(cache->cachedHeadersForRequest(fetch(NKDoNotReadFromCacheCachePolicy)));
    EXPECT_TRUE(cache->cachedHeadersForRequest(fetch()));
    // Unless the cache is told to ignore what the server says.
    cache->setShouldRespectCacheControlHeaders(false);
    extraHeaders = {{"Cache-Control", "no-cache"}};
    Ref<NKHTTPRequest> r = fetch(NKUseDefaultCachePolicy, 0, "/page?other");
    EXPECT_TRUE(cache->cachedHeadersForRequest(r));
}

TEST_F(DownloadCache, StoredCopyFirstNeverAsksTheServerAndFailureFallsBackOnIt) {
    fetch(NKOnlyLoadIfNotCachedCachePolicy);
    Ref<NKHTTPRequest> offline = fetch(NKOnlyLoadIfNotCachedCachePolicy);
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(textOf(offline), "v1");

    server.route("GET", "/page", [](testhttp::Exchange& x) { x.close(); });
    Ref<NKHTTPRequest> failing = fetch(NKUseCacheIfLoadFailsCachePolicy);
    EXPECT_FALSE(failing->error());
    EXPECT_EQ(textOf(failing), "v1");
    EXPECT_EQ(delegate->count("failed"), 0u);
}

TEST_F(DownloadCache, CompressedResponseIsStoredDecoded) {
    std::string page(5000, 'x');
    server.route("GET", "/zipped", testhttp::gzipped(page));
    fetch(NKUseDefaultCachePolicy, 0, "/zipped");
    Ref<NKHTTPRequest> probe = NKHTTPRequest::requestWithURL(urlOf(server.url("/zipped")));
    Ref<NSData> stored = cache->cachedResponseDataForRequest(probe);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->length(), page.size());
    Ref<NSDictionary> headers = cache->cachedHeadersForRequest(probe);
    EXPECT_EQ(field(headers, "Content-Encoding"), "(none)");
    EXPECT_EQ(field(headers, "Content-Length"), "5000");

    Ref<NKHTTPRequest> cached = fetch(NKOnlyLoadIfNotCachedCachePolicy, 0, "/zipped");
    EXPECT_TRUE(cached->didUseCachedResponse());
    EXPECT_EQ(textOf(cached), page);
    EXPECT_EQ(cached->contentLength(), page.size());
}

TEST_F(DownloadCache, EntriesAreNamedByTheUpperCaseMD5OfTheURL) {
    Ref<NKHTTPRequest> page = fetch();
    std::string expected = text(str(testhttp::md5Hex(server.url("/page")))->uppercaseString());
    Ref<NSString> key = NKDownloadCache::keyForRequest(page);
    EXPECT_EQ(text(key), expected);
    Ref<NSString> session =
        cache->storagePath()->stringByAppendingPathComponent(NS("SessionStore"));
    EXPECT_TRUE(exists(session->stringByAppendingPathComponent(
        key->stringByAppendingPathExtension(NS("cachedheaders")))));
    EXPECT_EQ(text(cache->pathToCachedResponseDataForRequest(page)),
              text(session->stringByAppendingPathComponent(
                  key->stringByAppendingPathExtension(NS("cacheddata")))));
    EXPECT_EQ(text(NKDownloadCache::sharedCache()->storagePath()->lastPathComponent()),
              "NKHTTPRequestCache");
}

TEST_F(DownloadCache, SettingTheFolderEmptiesOnlyTheSessionStore) {
    auto store = [&](NKCacheStoragePolicy where) {
        // Loads and stores without judging the stored copy.
        Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/page")), cache,
                                                             NKUseCacheIfLoadFailsCachePolicy);
        r->setCacheStoragePolicy(where);
        r->startSynchronous();
        return r;
    };
    store(NKCachePermanentlyCacheStoragePolicy);
    Ref<NKHTTPRequest> r = store(NKCacheForSessionDurationCacheStoragePolicy);
    // The same URL in both stores: the session copy wins.
    EXPECT_EQ(bytes(cache->cachedResponseDataForRequest(r)), "v2");
    cache->setStoragePath(cache->storagePath());
    EXPECT_EQ(bytes(cache->cachedResponseDataForRequest(r)), "v1");
    cache->clearCachedResponsesForStoragePolicy(NKCachePermanentlyCacheStoragePolicy);
    EXPECT_FALSE(cache->cachedHeadersForRequest(r));
    EXPECT_FALSE(cache->pathToCachedResponseDataForRequest(r));
}

TEST_F(DownloadCache, FileInTheWayOfTheFolderRaises) {
    Ref<NSString> path = freshFolder("cache-blocked");
    NSData::data()->writeToFile(path, false);
    EXPECT_EQ(raisedName([&] { cache->setStoragePath(path); }), "FileExistsAtCachePath");
    // The lock was let go before raising: another thread can still use the cache.
    std::thread other([&] { cache->setDefaultCachePolicy(NKUseDefaultCachePolicy); });
    other.join();
    EXPECT_EQ(cache->defaultCachePolicy(), NKReloadIfDifferentCachePolicy);
}
