// The URL connection against libcurl on the same loopback server: 1,000 small GETs, one after
// another over a kept connection. The connection runs as the libraries above it use it,
// asynchronously with its delegate on the main loop; the URL cache is switched off, since curl
// keeps none.
#include <benchmark/benchmark.h>

#include <string>

#include "Foundation/NSData.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "URLLoading/NSURLCache.h"
#include "URLLoading/NSURLConnection.h"
#include "URLLoading/NSURLResponse.h"
#include "bench/support/CurlClient.h"
#include "support/http/TestServer.h"

namespace {

constexpr int kSmallCount = 1000;
constexpr const char* kUserAgent = "Bazaarnest/1.0";
constexpr const char* kAccept = "*/*";

testhttp::TestServer& server() {
    static testhttp::TestServer* s = [] {
        auto* srv = new testhttp::TestServer();
        srv->route("GET", "/small", testhttp::text("a small response body"));
        return srv;
    }();
    return *s;
}

class Collector : public NSObject, public NSURLConnectionDelegate {
    NS_OBJECT(Collector, NSObject)

public:
    Ref<NSMutableData> body = NSMutableData::data();
    bool ended = false;
    bool failed = false;
    void connectionDidReceiveResponse(NSURLConnection*, NSURLResponse*) override {
        body->setLength(0);
    }
    void connectionDidReceiveData(NSURLConnection*, NSData* d) override { body->appendData(d); }
    void connectionDidFinishLoading(NSURLConnection*) override { ended = true; }
    void connectionDidFailWithError(NSURLConnection*, NSError*) override { ended = failed = true; }
};

void BM_Connection_1000Small(benchmark::State& state) {
    NSURLCache::sharedURLCache()->setMemoryCapacity(0);
    NSURLCache::sharedURLCache()->setDiskCapacity(0);
    Ref<NSURL> url = NSURL::URLWithString(NSString::fromUTF8(server().url("/small")));
    Ref<NSRunLoop> loop = NSRunLoop::mainRunLoop();
    for (auto _ : state) {
        for (int i = 0; i < kSmallCount; ++i) {
            NSAutoreleasePool pool;
            auto request = NSMutableURLRequest::requestWithURL(url);
            request->setValueForHTTPHeaderField(NSString::fromUTF8(kUserAgent), NS("User-Agent"));
            auto collector = make<Collector>();
            auto connection = alloc<NSURLConnection>();
            connection->initWithRequest(request, collector);
            while (!collector->ended)
                loop->runInMode(NSDefaultRunLoopMode, 1.0, true);
            if (collector->failed || collector->body->length() == 0)
                state.SkipWithError("request failed");
        }
    }
    state.SetItemsProcessed(state.iterations() * kSmallCount);
}

void BM_Curl_1000Small(benchmark::State& state) {
    benchnet::CurlClient curl(kUserAgent, kAccept);
    std::string url = server().url("/small");
    for (auto _ : state) {
        for (int i = 0; i < kSmallCount; ++i) {
            if (curl.get(url) == 0) state.SkipWithError("request failed");
        }
    }
    state.SetItemsProcessed(state.iterations() * kSmallCount);
}

}  // namespace

BENCHMARK(BM_Connection_1000Small)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Curl_1000Small)->Unit(benchmark::kMillisecond)->UseRealTime();
