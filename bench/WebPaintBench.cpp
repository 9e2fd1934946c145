// The web view's picture of a 100-row result page of the stand-in site: laying the page out
// and painting all of it at 320 points (scale 2, the platform's fonts), against parsing the same
// bytes with the platform's HTML parser alone (libxml2's HTML parser, as the web view calls it).
#include <benchmark/benchmark.h>

#include <libxml/HTMLparser.h>

#include <cstdint>
#include <string>

#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/WebContent/WebPage.h"
#include "UIKit/WebContent/WebRender.h"
#include "bench/support/ResultPage.h"

namespace {

// Lays the page out and paints all of it into a fresh image context, opaque or not.
void layOutAndPaint(benchmark::State& state, bool opaque) {
    UITextMeasurerScope fonts(UIFontTextMeasurer::shared());
    const std::string& bytes = resultPageBytes();
    webcontent::DetachedPageHost host(CGSizeMake(320, 480));
    auto page = webcontent::Page::create(
        &host, NSURL::URLWithString(NS("http://boston.bazaarnest.test/sss/")), "");
    page->parse(bytes, "text/html", "");
    CGFloat height = 0;
    for (auto _ : state) {
        webcontent::PageRenderer renderer(&host);
        renderer.update(page.get(), CGSizeMake(320, 480));
        height = renderer.contentHeight();
        UIGraphicsBeginImageContextWithOptions(CGSizeMake(320, height), opaque, 2);
        renderer.paint(UIGraphicsGetCurrentContext(), CGRectMake(0, 0, 320, height));
        UIGraphicsEndImageContext();
    }
    page->close();
    state.counters["height"] = double(height);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void BM_LayOutAndPaintResultPage(benchmark::State& state) {
    layOutAndPaint(state, false);
}
BENCHMARK(BM_LayOutAndPaintResultPage)->Unit(benchmark::kMillisecond);

// The same into an opaque context, whose pixels have no alpha of their own.
void BM_LayOutAndPaintResultPageOpaque(benchmark::State& state) {
    layOutAndPaint(state, true);
}
BENCHMARK(BM_LayOutAndPaintResultPageOpaque)->Unit(benchmark::kMillisecond);

void BM_ParseResultPage(benchmark::State& state) {
    const std::string& bytes = resultPageBytes();
    for (auto _ : state) {
        htmlDocPtr doc = htmlReadMemory(
            bytes.data(), int(bytes.size()), "http://boston.bazaarnest.test/sss/", nullptr,
            HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
        benchmark::DoNotOptimize(doc);
        xmlFreeDoc(doc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ParseResultPage)->Unit(benchmark::kMillisecond);

}  // namespace
