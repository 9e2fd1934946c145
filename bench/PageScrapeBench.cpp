// Scraping a 100-row result page of the stand-in site from memory with the app's result page
// scraper, against one plain pass over the same bytes (the memory-bandwidth bound). The page is
// made by the site's own generator, answered without sockets.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "Classes/ItemListPage.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "bench/support/ResultPage.h"

namespace {

void BM_ScrapeResultPage(benchmark::State& state) {
    const std::string& bytes = resultPageBytes();
    auto page = make<ItemListPage>();
    page->setWebpage(NSString::fromUTF8(bytes).get());
    std::int64_t rows = 0;
    for (auto _ : state) {
        auto items = page->getItemList();
        rows += items->count();
        benchmark::DoNotOptimize(items.get());
    }
    if (rows != static_cast<std::int64_t>(state.iterations()) * 100)
        state.SkipWithError("the page did not give 100 rows");
    state.counters["rows"] =
        benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ScrapeResultPage)->Unit(benchmark::kMicrosecond);

// One read of every byte: what any scraper of this page can at best approach.
void BM_ReadResultPageOnce(benchmark::State& state) {
    const std::string& bytes = resultPageBytes();
    for (auto _ : state) {
        std::uint64_t sum = 0;
        for (unsigned char c : bytes)
            sum += c;
        benchmark::DoNotOptimize(sum);
    }
    state.counters["rows"] = benchmark::Counter(static_cast<double>(state.iterations() * 100),
                                                benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ReadResultPageOnce)->Unit(benchmark::kMicrosecond);

}  // namespace
