// The request engine against libcurl on the same loopback server: one 1 MB body, and 1,000
// small responses in a row, both over a kept connection. The engine runs as the app uses it
// (synchronously on the calling thread, and asynchronously through the shared queue); the
// HTTP stream under it is measured alone too, read directly and driven by run-loop events, to
// show what the engine itself adds. The small responses are also fetched four at a time (the
// shared queue's width) against libcurl's multi interface.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "CFNetwork/CFNetwork.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSThread.h"
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
// the app's pages take. The request marks the moments it passes from thread to thread, so that
// the benchmark can say where each request's time goes:
//   queue_us     startAsynchronous on the main thread until start is called (by the main
//                thread itself when the shared queue has a free slot, else by a queue worker);
//   network_us   start until main begins on the network thread;
//   exchange_us  main until the request announces that it finished (send, server, response);
//   callback_us  that announcement until the delegate hears requestFinished: on the main thread.
using Steady = std::chrono::steady_clock;

class TimedRequest : public NKHTTPRequest {
    NS_OBJECT(TimedRequest, NKHTTPRequest)
public:
    void start() override {
        startedAt = Steady::now();
        NKHTTPRequest::start();
    }
    void main() override {
        if (!ranAt.load().time_since_epoch().count()) ranAt = Steady::now();
        NKHTTPRequest::main();
    }
    void didChangeValueForKey(NSString* key) override {
        if (key->isEqualToString(NS("isFinished"))) finishedAt = Steady::now();
        NKHTTPRequest::didChangeValueForKey(key);
    }
    Steady::time_point queuedAt, endedAt;
    std::atomic<Steady::time_point> startedAt{}, ranAt{}, finishedAt{};
};

class EndWatcher : public NSObject, public NKHTTPRequestDelegate {
    NS_OBJECT(EndWatcher, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"requestFinished:", "requestFailed:"});
    }
    void requestFinished(NKHTTPRequest* r) override { end(r); }
    void requestFailed(NKHTTPRequest* r) override {
        failed = true;
        end(r);
    }
    void end(NKHTTPRequest* r) {
        ++ended;
        if (auto* timed = dynamic_cast<TimedRequest*>(r)) {
            timed->endedAt = Steady::now();
            add(hops.queue, timed->queuedAt, timed->startedAt);
            add(hops.network, timed->startedAt, timed->ranAt);
            add(hops.exchange, timed->ranAt, timed->finishedAt);
            add(hops.callback, timed->finishedAt, timed->endedAt);
        }
    }
    struct Hops {
        double queue = 0, network = 0, exchange = 0, callback = 0;
    } hops;
    int ended = 0;
    bool failed = false;

private:
    static void add(double& sum, Steady::time_point from, Steady::time_point to) {
        sum += std::chrono::duration<double, std::micro>(to - from).count();
    }
};

void startTimed(NSURL* url, EndWatcher* watcher) {
    Ref<TimedRequest> r = make<TimedRequest>(&NKHTTPRequest::initWithURL, url);
    addAppHeaders(r);
    r->setDelegate(watcher);
    r->queuedAt = Steady::now();
    r->startAsynchronous();
}

void reportHops(benchmark::State& state, const EndWatcher& watcher, int requests) {
    if (requests == 0) return;
    state.counters["queue_us"] = watcher.hops.queue / requests;
    state.counters["network_us"] = watcher.hops.network / requests;
    state.counters["exchange_us"] = watcher.hops.exchange / requests;
    state.counters["callback_us"] = watcher.hops.callback / requests;
}

// The CPU time of the whole process so far (every thread, the loopback server's included, as it
// is for each client), in microseconds: in user space, and in the kernel.
struct ProcessCPU {
    double user = 0, system = 0;
};

ProcessCPU processCPU() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto us = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_usec);
    };
    return {us(u.ru_utime), us(u.ru_stime)};
}

void reportProcessCPU(benchmark::State& state, ProcessCPU since) {
    ProcessCPU now = processCPU();
    double requests = static_cast<double>(state.iterations()) * kSmallCount;
    state.counters["user_cpu_us"] = (now.user - since.user) / requests;
    state.counters["system_cpu_us"] = (now.system - since.system) / requests;
}

// The CPU time the engine's network thread has used so far, in microseconds, read on that
// thread: every asynchronous request's stream work shares it.
double networkThreadCPU() {
    double us = 0;
    NKHTTPRequest::threadForRequest(nullptr)->runLoop()->performOnLoop(
        [&us] {
            timespec t{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
            us = static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
        },
        true, nullptr);
    return us;
}

// Keeps `width` requests in the shared queue until 1,000 have ended: each end starts the next.
void runThroughSharedQueue(benchmark::State& state, int width) {
    Ref<NSURL> url = urlFor("/small");
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    warmUp();
    Ref<EndWatcher> watcher = make<EndWatcher>();
    double cpuBefore = networkThreadCPU();
    // Wake-ups of a blocked thread through its run loop: the main thread's and the network
    // thread's (the queue worker's and the server's are not run loops).
    Ref<NSRunLoop> network = NKHTTPRequest::threadForRequest(nullptr)->runLoop();
    uint64_t mainWakesBefore = loop->descriptorWakeUps();
    uint64_t networkWakesBefore = network->descriptorWakeUps();
    ProcessCPU processBefore = processCPU();
    for (auto _ : state) {
        int base = watcher->ended, started = 0;
        while (watcher->ended - base < kSmallCount) {
            NSAutoreleasePool pool;
            while (started < kSmallCount && started - (watcher->ended - base) < width) {
                startTimed(url, watcher);  // the queue holds the request until it ends
                ++started;
            }
            loop->runInMode(NSDefaultRunLoopMode, 1.0, true);
        }
        if (watcher->failed) state.SkipWithError("request failed");
    }
    double requests = static_cast<double>(state.iterations()) * kSmallCount;
    state.counters["main_wakeups"] =
        static_cast<double>(loop->descriptorWakeUps() - mainWakesBefore) / requests;
    state.counters["network_wakeups"] =
        static_cast<double>(network->descriptorWakeUps() - networkWakesBefore) / requests;
    double cpu = networkThreadCPU() - cpuBefore;
    reportProcessCPU(state, processBefore);
    state.SetItemsProcessed(state.iterations() * kSmallCount);
    reportHops(state, *watcher, static_cast<int>(state.iterations()) * kSmallCount);
    state.counters["network_cpu_us"] = cpu / requests;
}

// One request at a time.
void BM_EngineAsync_1000Small(benchmark::State& state) {
    runThroughSharedQueue(state, 1);
}

// Four at a time, the shared queue's width.
constexpr int kWidth = 4;

void BM_EngineAsync_1000Small_4Wide(benchmark::State& state) {
    runThroughSharedQueue(state, kWidth);
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
    ProcessCPU processBefore = processCPU();
    for (auto _ : state) {
        for (int i = 0; i < kSmallCount; ++i) {
            if (curl.get(url) == 0) state.SkipWithError("request failed");
        }
    }
    reportProcessCPU(state, processBefore);
    state.SetItemsProcessed(state.iterations() * kSmallCount);
}

// Four transfers at a time on one thread, each handle taking the next request as soon as its
// last one ends; the handles keep their connections between requests.
void BM_CurlMulti_1000Small_4Wide(benchmark::State& state) {
    std::string url = server().url("/small");
    warmUp();
    std::vector<std::unique_ptr<Curl>> handles;
    for (int i = 0; i < kWidth; ++i) {
        handles.push_back(std::make_unique<Curl>());
        curl_easy_setopt(handles.back()->handle(), CURLOPT_URL, url.c_str());
        curl_easy_setopt(handles.back()->handle(), CURLOPT_PRIVATE, handles.back().get());
    }
    CURLM* multi = curl_multi_init();
    ProcessCPU processBefore = processCPU();
    for (auto _ : state) {
        int started = 0, ended = 0;
        for (auto& h : handles) {
            h->body() = std::string();
            curl_multi_add_handle(multi, h->handle());
            ++started;
        }
        while (ended < kSmallCount) {
            int running = 0;
            curl_multi_perform(multi, &running);
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
                if (msg->msg != CURLMSG_DONE) continue;
                CURL* easy = msg->easy_handle;
                Curl* h = nullptr;
                curl_easy_getinfo(easy, CURLINFO_PRIVATE, &h);
                if (msg->data.result != CURLE_OK || h->body().empty())
                    state.SkipWithError("request failed");
                ++ended;
                curl_multi_remove_handle(multi, easy);
                if (started < kSmallCount) {
                    h->body() = std::string();
                    curl_multi_add_handle(multi, easy);
                    ++started;
                }
            }
            if (ended < kSmallCount) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
        }
    }
    reportProcessCPU(state, processBefore);
    curl_multi_cleanup(multi);
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
BENCHMARK(BM_EngineAsync_1000Small_4Wide)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CurlMulti_1000Small_4Wide)->Unit(benchmark::kMillisecond)->UseRealTime();
