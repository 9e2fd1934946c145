// What the URL loading tests share: a delegate that writes down every call, a delegate that
// implements nothing optional, and a loopback server fixture.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "Foundation/NSData.h"
#include "Foundation/NSError.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLError.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NetworkWork.h"
#include "URLLoading/NSURLAuthenticationChallenge.h"
#include "URLLoading/NSURLCache.h"
#include "URLLoading/NSURLConnection.h"
#include "URLLoading/NSURLResponse.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/ScopedEnv.h"
#include "support/http/TestServer.h"

// Writes down each call as a line ("response 200", "data 5", "finish", ...) and keeps what came.
class Recorder : public NSObject, public NSURLConnectionDelegate {
    NS_OBJECT(Recorder, NSObject)

public:
    std::vector<std::string> events;
    Ref<NSURLResponse> response;
    std::string body;
    Ref<NSError> error;
    bool done = false;
    bool onMainThread = true;
    std::vector<Ref<NSURLAuthenticationChallenge>> challenges;
    std::vector<long long> bodyProgress;  // totalBytesWritten of each call
    long long bodyExpected = 0;

    std::function<Ref<NSURLRequest>(NSURLRequest*, NSURLResponse*)> onRedirect;
    std::function<void(NSURLConnection*, NSURLResponse*)> onResponse;
    std::function<Ref<NSCachedURLResponse>(NSCachedURLResponse*)> onCache;
    std::function<void(NSURLAuthenticationChallenge*)> onChallenge;

    int status() {
        auto http = as<NSHTTPURLResponse>(response);
        return http ? int(http->statusCode()) : 0;
    }
    NSInteger errorCode() { return error ? error->code() : 0; }

    Ref<NSURLRequest> connectionWillSendRequest(NSURLConnection*, NSURLRequest* request,
                                                NSURLResponse* redirect) override {
        note(redirect ? "redirect " + std::to_string(as<NSHTTPURLResponse>(redirect)->statusCode())
                      : std::string("request"));
        if (onRedirect) return onRedirect(request, redirect);
        return request;
    }
    void connectionDidSendBodyData(NSURLConnection*, NSInteger, NSInteger total,
                                   NSInteger expected) override {
        if (bodyProgress.empty()) note("body");
        bodyProgress.push_back(total);
        bodyExpected = expected;
    }
    void connectionDidReceiveResponse(NSURLConnection* c, NSURLResponse* r) override {
        response = r;
        body.clear();
        auto http = as<NSHTTPURLResponse>(r);
        note("response " + std::to_string(http ? http->statusCode() : 0));
        if (onResponse) onResponse(c, r);
    }
    void connectionDidReceiveData(NSURLConnection*, NSData* data) override {
        if (events.empty() || events.back() != "data") note("data");
        body.append(static_cast<const char*>(data->bytes()), data->length());
    }
    Ref<NSCachedURLResponse> connectionWillCacheResponse(NSURLConnection*,
                                                         NSCachedURLResponse* cached) override {
        note("cache");
        return onCache ? onCache(cached) : Ref<NSCachedURLResponse>(cached);
    }
    void connectionDidFinishLoading(NSURLConnection*) override {
        note("finish");
        done = true;
    }
    void connectionDidFailWithError(NSURLConnection*, NSError* e) override {
        note("fail " + std::to_string(e->code()));
        error = e;
        done = true;
    }
    void connectionDidReceiveAuthenticationChallenge(
        NSURLConnection* c, NSURLAuthenticationChallenge* challenge) override {
        note("challenge " + std::to_string(challenge->previousFailureCount()));
        challenges.push_back(challenge);
        if (onChallenge)
            onChallenge(challenge);
        else
            NSURLConnectionDelegate::connectionDidReceiveAuthenticationChallenge(c, challenge);
    }
    void connectionDidCancelAuthenticationChallenge(NSURLConnection*,
                                                    NSURLAuthenticationChallenge*) override {
        note("challenge cancelled");
    }

private:
    void note(std::string line) {
        if (!NSThread::isMainThread()) onMainThread = false;
        events.push_back(std::move(line));
    }
};

// Implements only the two ends, so every other call gets the platform's default.
class Ends : public NSObject, public NSURLConnectionDelegate {
    NS_OBJECT(Ends, NSObject)

public:
    std::string body;
    int status = 0;
    Ref<NSError> error;
    bool done = false;
    void connectionDidReceiveResponse(NSURLConnection*, NSURLResponse* r) override {
        status = int(as<NSHTTPURLResponse>(r)->statusCode());
        body.clear();
    }
    void connectionDidReceiveData(NSURLConnection*, NSData* d) override {
        body.append(static_cast<const char*>(d->bytes()), d->length());
    }
    void connectionDidFinishLoading(NSURLConnection*) override { done = true; }
    void connectionDidFailWithError(NSURLConnection*, NSError* e) override {
        error = e;
        done = true;
    }
};

inline Ref<NSMutableURLRequest> requestFor(const std::string& url) {
    return NSMutableURLRequest::requestWithURL(NSURL::URLWithString(str(url)));
}

inline std::vector<std::string> lines(std::initializer_list<const char*> l) {
    return std::vector<std::string>(l.begin(), l.end());
}

// A loopback server, a private URL cache and an empty cookie jar for each test.
class URLLoadingTest : public ::testing::Test {
protected:
    testhttp::TestServer server;
    Ref<NSURLCache> cache;

    void SetUp() override {
        cache = alloc<NSURLCache>();
        cache->initWithMemoryCapacity(
            1 << 20, 1 << 20,
            str(std::string("URLLoadingTest-") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name()));
        cache->removeAllCachedResponses();
        NSURLCache::setSharedURLCache(cache);
        NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
    }
    void TearDown() override {
        NSURLCache::setSharedURLCache(nullptr);
        EXPECT_EQ(NetworkWork::inFlight(), 0);
    }

    // Loads the request with the delegate on the main loop until it ends.
    Ref<NSURLConnection> load(NSURLRequest* request, Recorder* recorder) {
        auto c = alloc<NSURLConnection>();
        EXPECT_TRUE(c->initWithRequest(request, recorder));
        EXPECT_TRUE(runLoopUntil([&] { return recorder->done; }));
        return c;
    }
    Ref<Recorder> load(const std::string& url) {
        auto r = make<Recorder>();
        load(requestFor(url), r);
        return r;
    }
};
