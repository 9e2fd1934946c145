// The request engine against libcurl on the same loopback server: one 1 MB body, and 1,000
// small responses in a row, both over a kept connection. The engine runs as the app uses it
// (synchronously on the calling thread, and asynchronously through the shared queue); the
// HTTP stream under it is measured alone too, read directly and driven by run-loop events, to
// show what the engine itself adds.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "CFNetwork/CFNetwork.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSURL.h"
#include "bench/support/CurlClient.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "support/http/TestServer.h"

namespace {

constexpr size_t kLargeSize = 1024 * 1024;
constexpr int kSmallCount = 1000;

testhttp::TestServer& server() {
    static testhttp::TestServer* s = [] {
        auto* srv = new testhttp::TestServer();
        srv->route("GET", "/large", testhttp::large(kLargeSize, true));
        srv->route("GET", "/small", testhttp::text("a small response body"));
        return srv;
    }();
    return *s;
}

Ref<NSURL> urlFor(const char* path) {
    return NSURL::URLWithString(NSString::fromUTF8(server().url(path)));
}

size_t streamGet(NSURL* url, std::vector<uint8_t>& buffer);

// Every client is measured from the memory allocator's steady state of a process that has run
// a while (large buffers already reused rather than mapped afresh for each body); otherwise
// whichever benchmark runs first pays for settling it.
void warmUp() {
    static bool done = [] {
        std::vector<uint8_t> buffer(262144);
        for (int i = 0; i < 50; ++i) {
            NSAutoreleasePool pool;
            streamGet(urlFor("/large"), buffer);
        }
        return true;
    }();
    (void)done;
}

// Both clients send what the app sends on every request: its own User-Agent and Accept.
constexpr const char* kUserAgent =
    "Mozilla/5.0 (iPhone; U; CPU iPhone OS 4_3 like Mac OS X) AppleWebKit/533.17.9";
constexpr const char* kAccept = "text/html,application/xhtml+xml,*/*;q=0.8";

void addAppHeaders(NKHTTPRequest* r) {
    r->addRequestHeader(NS("User-Agent"), NSString::fromUTF8(kUserAgent));
    r->addRequestHeader(NS("Accept"), NSString::fromUTF8(kAccept));
}

size_t engineGet(NSURL* url) {
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(url);
    addAppHeaders(r);
    r->startSynchronous();
    if (r->error() || r->responseStatusCode() != 200) return 0;
    return r->rawResponseData()->length();
}

// ---- the engine ---------------------------------------------------------------------------------

void BM_Engine_1MB(benchmark::State& state) {
    Ref<NSURL> url = urlFor("/large");
    warmUp();
    for (auto _ : state) {
        NSAutoreleasePool pool;
        size_t n = engineGet(url);
        if (n != kLargeSize) state.SkipWithError("short body");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLargeSize));
}

void BM_Engine_1000Small(benchmark::State& state) {
    Ref<NSURL> url = urlFor("/small");
    warmUp();
    for (auto _ : state) {
        for (int i = 0; i < kSmallCount; ++i) {
            NSAutoreleasePool pool;
            if (engineGet(url) == 0) state.SkipWithError("request failed");
        }
    }
    state.SetItemsProcessed(state.iterations() * kSmallCount);
}

// Each request handed to the shared queue in turn, its end awaited on the main loop: the path
// the app's pages take.
class EndWatcher : public NSObject, public NKHTTPRequestDelegate {
    NS_OBJECT(EndWatcher, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"requestFinished:", "requestFailed:"});
    }
    void requestFinished(NKHTTPRequest*) override { ended = true; }
    void requestFailed(NKHTTPRequest*) override { ended = failed = true; }
    bool ended = false, failed = false;
};

void BM_EngineAsync_1000Small(benchmark::State& state) {
    Ref<NSURL> url = urlFor("/small");
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    warmUp();
    for (auto _ : state) {
        for (int i = 0; i < kSmallCount; ++i) {
            NSAutoreleasePool pool;
            Ref<EndWatcher> watcher = make<EndWatcher>();
            Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(url);
            addAppHeaders(r);
            r->setDelegate(watcher);
            r->startAsynchronous();
            while (!watcher->ended)
                loop->runInMode(NSDefaultRunLoopMode, 1.0, true);
            if (watcher->failed) state.SkipWithError("request failed");
        }
    }
    state.SetItemsProcessed(state.iterations() * kSmallCount);
}

// ---- the HTTP stream alone (the floor under the engine)
// -------------------------------------------

size_t streamGet(NSURL* url, std::vector<uint8_t>& buffer) {
    Ref<CFHTTPMessage> message =
        CFHTTPMessageCreateRequest(kCFAllocatorDefault, NS("GET"), url, kCFHTTPVersion1_1);
    Ref<CFReadStream> stream = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, message);
    CFReadStreamSetProperty(stream, kCFStreamPropertyHTTPAttemptPersistentConnection,
                            kCFBooleanTrue);
    if (!CFReadStreamOpen(stream)) return 0;
    size_t total = 0;
    for (;;) {
        CFIndex n = CFReadStreamRead(stream, buffer.data(), static_cast<CFIndex>(buffer.size()));
        if (n <= 0) break;
        total += static_cast<size_t>(n);
    }
    return total;
}

void BM_Stream_1MB(benchmark::State& state) {
    Ref<NSURL> url = urlFor("/large");
    std::vector<uint8_t> buffer(262144);
    warmUp();
    for (auto _ : state) {
        NSAutoreleasePool pool;
        if (streamGet(url, buffer) != kLargeSize) state.SkipWithError("short body");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLargeSize));
}

// The same stream driven by run-loop events, as the engine drives it, with a client that only
// reads.
struct EventReader {
    std::vector<uint8_t>* buffer;
    size_t total = 0;
    bool done = false;
};

void eventReaderCallback(CFReadStreamRef stream, CFStreamEventType type, void* info) {
    auto* reader = static_cast<EventReader*>(info);
    if (type == kCFStreamEventHasBytesAvailable) {
        CFIndex n = CFReadStreamRead(stream, reader->buffer->data(),
                                     static_cast<CFIndex>(reader->buffer->size()));
        if (n > 0) reader->total += static_cast<size_t>(n);
    } else if (type == kCFStreamEventEndEncountered || type == kCFStreamEventErrorOccurred) {
        reader->done = true;
    }
}

size_t streamEventsGet(NSURL* url, std::vector<uint8_t>& buffer, NSRunLoop* loop) {
    Ref<CFHTTPMessage> message =
        CFHTTPMessageCreateRequest(kCFAllocatorDefault, NS("GET"), url, kCFHTTPVersion1_1);
    Ref<CFReadStream> stream = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, message);
    CFReadStreamSetProperty(stream, kCFStreamPropertyHTTPAttemptPersistentConnection,
                            kCFBooleanTrue);
    EventReader reader{&buffer};
    CFStreamClientContext context;
    context.info = &reader;
    CFReadStreamSetClient(stream,
                          kCFStreamEventHasBytesAvailable | kCFStreamEventEndEncountered |
                              kCFStreamEventErrorOccurred,
                          eventReaderCallback, &context);
    CFReadStreamScheduleWithRunLoop(stream, loop, NS("bench"));
    CFReadStreamOpen(stream);
    while (!reader.done)
        loop->runInMode(NS("bench"), 1.0, true);
    CFReadStreamSetClient(stream, 0, nullptr, nullptr);
    CFReadStreamUnscheduleFromRunLoop(stream, loop, NS("bench"));
    return reader.total;
}

void BM_StreamEvents_1MB(benchmark::State& state) {
    Ref<NSURL> url = urlFor("/large");
    std::vector<uint8_t> buffer(262144);
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    warmUp();
    for (auto _ : state) {
        NSAutoreleasePool pool;
        if (streamEventsGet(url, buffer, loop) != kLargeSize) state.SkipWithError("short body");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLargeSize));
}

void BM_StreamEvents_1000Small(benchmark::State& state) {
    Ref<NSURL> url = urlFor("/small");
    std::vector<uint8_t> buffer(16384);
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    warmUp();
    for (auto _ : state) {
        for (int i = 0; i < kSmallCount; ++i) {
            NSAutoreleasePool pool;
            if (streamEventsGet(url, buffer, loop) == 0) state.SkipWithError("request failed");
        }
    }
    state.SetItemsProcessed(state.iterations() * kSmallCount);
}

// ---- libcurl ------------------------------------------------------------------------------------

struct Curl : benchnet::CurlClient {
    Curl() : CurlClient(kUserAgent, kAccept) {}
};

void BM_Curl_1MB(benchmark::State& state) {
    Curl curl;
    std::string url = server().url("/large");
    warmUp();
    for (auto _ : state) {
        if (curl.get(url) != kLargeSize) state.SkipWithError("short body");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLargeSize));
}

void BM_Curl_1000Small(benchmark::State& state) {
    Curl curl;
    std::string url = server().url("/small");
    warmUp();
    for (auto _ : state) {
        for (int i = 0; i < kSmallCount; ++i) {
            if (curl.get(url) == 0) state.SkipWithError("request failed");
        }
    }
    state.SetItemsProcessed(state.iterations() * kSmallCount);
}

}  // namespace

BENCHMARK(BM_Engine_1MB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Stream_1MB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StreamEvents_1MB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Curl_1MB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Engine_1000Small)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EngineAsync_1000Small)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StreamEvents_1000Small)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Curl_1000Small)->Unit(benchmark::kMillisecond)->UseRealTime();
