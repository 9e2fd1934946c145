// What the request queue tests share: a request delegate that writes down every call, a queue
// that counts the platform requests it builds, and a fixture with a loopback server, a fresh
// main queue and an empty shared cache on the manual clock.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSData.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIImage.h"
#include "support/RunLoopTesting.h"
#include "support/http/TestServer.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZURLCache.h"
#include "ui/core/DZURLRequest.h"
#include "ui/core/DZURLRequestQueue.h"

// Writes each call down as a line: "start", "upload", "finish", "fail <domain> <code>",
// "cancel", "challenge".
class RequestRecorder : public NSObject, public DZURLRequestDelegate {
    NS_OBJECT(RequestRecorder, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"requestDidStartLoad:", "requestDidUploadData:", "requestDidFinishLoad:",
                      "request:didFailLoadWithError:", "requestDidCancelLoad:"});
    }

public:
    std::vector<std::string> events;
    Ref<NSError> error;
    int ended = 0;  // finish, fail or cancel

    void requestDidStartLoad(DZURLRequest*) override { events.push_back("start"); }
    void requestDidUploadData(DZURLRequest*) override {
        if (events.empty() || events.back() != "upload") events.push_back("upload");
    }
    void requestDidFinishLoad(DZURLRequest*) override {
        events.push_back("finish");
        ++ended;
    }
    void requestDidFailLoadWithError(DZURLRequest*, NSError* e) override {
        error = e;
        events.push_back("fail " + e->domain()->utf8() + " " + std::to_string(e->code()));
        ++ended;
    }
    void requestDidCancelLoad(DZURLRequest*) override {
        events.push_back("cancel");
        ++ended;
    }
};

// Counts the platform requests built, one per connection a loader opens.
class CountingQueue : public DZURLRequestQueue {
    NS_OBJECT(CountingQueue, DZURLRequestQueue)

public:
    int built = 0;
    std::vector<Ref<NSMutableURLRequest>> requests;
    Ref<NSMutableURLRequest> createNSURLRequest(DZURLRequest* request, NSURL* url) override {
        ++built;
        auto r = DZURLRequestQueue::createNSURLRequest(request, url);
        requests.push_back(r);
        return r;
    }
};

inline Ref<NSData> dataOf(const std::string& bytes) {
    return NSData::dataWithBytes(bytes.data(), bytes.size());
}

inline std::string bytesOf(NSData* data) {
    return data ? std::string(static_cast<const char*>(data->bytes()), data->length()) : "<nil>";
}

// A PNG of the size, for image routes.
inline std::string pngOf(CGFloat width, CGFloat height) {
    return bytesOf(UIImagePNGRepresentation(UIImage::imageWithSize(CGSizeMake(width, height), 1)));
}

inline Ref<NSString> str(const std::string& text) {
    return NSString::stringWithUTF8String(text.c_str());
}

class RequestQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        queue = make<CountingQueue>();
        DZURLRequestQueue::setMainQueue(queue);
        cache = DZURLCache::sharedCache();
        cache->removeAll(true);
        cache->setDisableDiskCache(false);
    }
    void TearDown() override {
        queue->cancelAllRequests();
        DZURLRequestQueue::setMainQueue(nullptr);
    }

    // A request for the server's path with a recorder and the processor.
    Ref<DZURLRequest> requestFor(const std::string& path, RequestRecorder* recorder,
                                 NSObject* processor = nullptr) {
        auto r = DZURLRequest::requestWithURL(str(server.url(path)), recorder);
        r->setResponse(processor);
        return r;
    }
    bool waitEnded(RequestRecorder* r, int count = 1) {
        return runLoopUntil([&] { return r->ended >= count; });
    }

    ManualClockScope clock;
    testhttp::TestServer server;
    Ref<CountingQueue> queue;
    Ref<DZURLCache> cache;
};
