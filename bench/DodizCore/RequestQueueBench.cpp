// The request queue on a loopback server: 100 thumbnails downloaded and decoded through the
// queue (five loads at once, callbacks on the main loop) against the same 100 fetched one after
// another with plain synchronous sends and decoded; and 100 thumbnails answered from disk copies
// through the queue against decoding the same bytes directly. The server answers at once, or
// after a pause that stands in for a real server's latency (the argument, in milliseconds).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "Foundation/NSData.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIImage.h"
#include "URLLoading/NSURLConnection.h"
#include "URLLoading/NSURLResponse.h"
#include "support/http/TestServer.h"
#include "ui/core/DZURLCache.h"
#include "ui/core/DZURLRequest.h"
#include "ui/core/DZURLRequestQueue.h"

namespace {

constexpr int kThumbnails = 100;

std::string thumbnailBytes() {
    static std::string bytes = [] {
        Ref<NSData> png = UIImagePNGRepresentation(UIImage::imageWithSize(CGSizeMake(75, 75), 1));
        return std::string(static_cast<const char*>(png->bytes()), png->length());
    }();
    return bytes;
}

int& serverPauseMs() {
    static int ms = 0;
    return ms;
}

testhttp::TestServer& server() {
    static testhttp::TestServer* s = [] {
        auto* srv = new testhttp::TestServer();
        srv->routePrefix("GET", "/thumb/", [](const testhttp::Request&) {
            if (int ms = serverPauseMs())
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            return testhttp::Response(200, thumbnailBytes(), "image/png");
        });
        return srv;
    }();
    return *s;
}

Ref<NSString> thumbnailURL(int i) {
    return NSString::fromUTF8(server().url("/thumb/" + std::to_string(i) + ".png"));
}

class Counter : public NSObject, public DZURLRequestDelegate {
    NS_OBJECT(Counter, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements(
            {"requestDidFinishLoad:", "request:didFailLoadWithError:", "requestDidCancelLoad:"});
    }

public:
    int finished = 0;
    int failed = 0;
    // The pixels are decoded as a view drawing the thumbnail would.
    void requestDidFinishLoad(DZURLRequest* request) override {
        auto processor = as<DZURLImageResponse>(request->response());
        if (processor && processor->image() && processor->image()->CGImage()) {
            ++finished;
        } else {
            ++failed;
        }
    }
    void requestDidFailLoadWithError(DZURLRequest*, NSError*) override { ++failed; }
    int ended() { return finished + failed; }
    void requestDidCancelLoad(DZURLRequest*) override { ++failed; }
};

void BM_Queue_100Thumbnails(benchmark::State& state) {
    serverPauseMs() = static_cast<int>(state.range(0));
    server();
    DZURLRequestQueue::mainQueue()->setMaxContentLength(200000);
    Ref<NSRunLoop> loop = NSRunLoop::mainRunLoop();
    for (auto _ : state) {
        NSAutoreleasePool pool;
        DZURLCache::sharedCache()->removeAll(false);
        auto counter = make<Counter>();
        for (int i = 0; i < kThumbnails; ++i) {
            auto request = DZURLRequest::requestWithURL(thumbnailURL(i), counter);
            // Straight to the network, nothing written to disk: only the download and decode.
            request->setCachePolicy(DZURLRequestCachePolicyNetwork |
                                    DZURLRequestCachePolicyNoStore);
            request->setResponse(make<DZURLImageResponse>());
            request->send();
        }
        while (counter->ended() < kThumbnails)
            loop->runInMode(NSDefaultRunLoopMode, 1.0, true);
        if (counter->finished != kThumbnails) state.SkipWithError("a thumbnail failed");
    }
    state.SetItemsProcessed(state.iterations() * kThumbnails);
}

void BM_SynchronousSends_100Thumbnails(benchmark::State& state) {
    serverPauseMs() = static_cast<int>(state.range(0));
    server();
    for (auto _ : state) {
        NSAutoreleasePool pool;
        for (int i = 0; i < kThumbnails; ++i) {
            auto request =
                NSMutableURLRequest::requestWithURL(NSURL::URLWithString(thumbnailURL(i)),
                                                    NSURLRequestReloadIgnoringLocalCacheData, 300);
            Ref<NSURLResponse> response;
            Ref<NSError> error;
            Ref<NSData> data = NSURLConnection::sendSynchronousRequest(request, &response, &error);
            Ref<UIImage> image = data ? UIImage::imageWithData(data) : nullptr;
            if (!image || !image->CGImage()) state.SkipWithError("a thumbnail failed");
        }
    }
    state.SetItemsProcessed(state.iterations() * kThumbnails);
}

void BM_Queue_100DiskHits(benchmark::State& state) {
    server();
    Ref<DZURLCache> cache = DZURLCache::sharedCache();
    Ref<NSData> bytes = NSData::dataWithBytes(thumbnailBytes().data(), thumbnailBytes().size());
    for (int i = 0; i < kThumbnails; ++i)
        cache->storeData(bytes, thumbnailURL(i));
    for (auto _ : state) {
        NSAutoreleasePool pool;
        cache->removeAll(false);  // the memory map would answer otherwise
        auto counter = make<Counter>();
        for (int i = 0; i < kThumbnails; ++i) {
            auto request = DZURLRequest::requestWithURL(thumbnailURL(i), counter);
            request->setResponse(make<DZURLImageResponse>());
            if (!request->send()) state.SkipWithError("not answered from disk");
        }
        if (counter->finished != kThumbnails) state.SkipWithError("a thumbnail failed");
    }
    state.SetItemsProcessed(state.iterations() * kThumbnails);
}

void BM_DirectDecoding_100Thumbnails(benchmark::State& state) {
    Ref<NSData> bytes = NSData::dataWithBytes(thumbnailBytes().data(), thumbnailBytes().size());
    for (auto _ : state) {
        NSAutoreleasePool pool;
        for (int i = 0; i < kThumbnails; ++i) {
            Ref<UIImage> image = UIImage::imageWithData(bytes);
            if (!image || !image->CGImage()) state.SkipWithError("undecodable");
            benchmark::DoNotOptimize(image.get());
        }
    }
    state.SetItemsProcessed(state.iterations() * kThumbnails);
}

}  // namespace

BENCHMARK(BM_Queue_100Thumbnails)->Arg(0)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SynchronousSends_100Thumbnails)
    ->Arg(0)
    ->Arg(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Queue_100DiskHits)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_DirectDecoding_100Thumbnails)->Unit(benchmark::kMicrosecond)->UseRealTime();
