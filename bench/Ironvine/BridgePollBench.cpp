// One foreground poll of the script bridge that performs 100 queued BridgeLib.log commands
// (take the queue, split it, parse each command, find its handler, perform it) against evaluating
// "commandList(1);" over the same queue alone, in the same run: the bridge's own share of a
// poll is the difference.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "Foundation/NSDate.h"
#include "Foundation/NSObject.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "UIKit/UIWebView.h"
#include "ads/ironvine/IVController.h"
#include "ads/ironvine/IVJavascriptBridge.h"
#include "ads/ironvine/IVStandardCommandHandler.h"

namespace {

#define IV_QUEUE_100 \
    "for (var i = 0; i < 100; ++i) BridgeLib.log('message number ' + i + ' from the ad');"

// A loaded bridge page with BridgeLib; the engine's files go to the benchmark's sandbox.
struct Page {
    Page() {
        IVController::sharedController()->setExecMode(1);
        webView = make<UIWebView>(&UIWebView::initWithFrame, CGRect{{0, 0}, {320, 50}});
        handler = make<IVStandardCommandHandler>();
        bridge = IVJavascriptBridge::bridgeInMode(1, webView.get(), handler.get());
        bridge->loadJavascriptString(NS(""), NS(""), nullptr);
        for (int i = 0; i < 100 && !bridge->isIVJSLoaded(); ++i)
            NSRunLoop::currentRunLoop()->runMode(NSDefaultRunLoopMode,
                                                 NSDate::dateWithTimeIntervalSinceNow(0.05).get());
        bridge->halt();  // polls only when the benchmark says so
    }
    ~Page() {
        bridge = nullptr;
        IVController::sharedController()->shutdown();
    }
    void queue() { webView->stringByEvaluatingJavaScriptFromString(NS(IV_QUEUE_100)); }

    Ref<UIWebView> webView;
    Ref<IVStandardCommandHandler> handler;
    Ref<IVJavascriptBridge> bridge;
};

Page& page() {
    static Page p;
    return p;
}

void BM_ForegroundPoll100LogCommands(benchmark::State& state) {
    NSAutoreleasePool pool;
    auto& p = page();
    for (auto _ : state) {
        state.PauseTiming();
        p.queue();
        state.ResumeTiming();
        NSUInteger performed = p.bridge->poll();
        if (performed != 100) state.SkipWithError("not every command was performed");
    }
}
BENCHMARK(BM_ForegroundPoll100LogCommands)->Unit(benchmark::kMicrosecond);

void BM_CommandListOf100Alone(benchmark::State& state) {
    NSAutoreleasePool pool;
    auto& p = page();
    for (auto _ : state) {
        state.PauseTiming();
        p.queue();
        state.ResumeTiming();
        auto list = p.webView->stringByEvaluatingJavaScriptFromString(NS("commandList(1);"));
        benchmark::DoNotOptimize(list);
    }
}
BENCHMARK(BM_CommandListOf100Alone)->Unit(benchmark::kMicrosecond);

}  // namespace
