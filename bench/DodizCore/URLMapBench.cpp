// Matching URLs against the navigator's URL map: 10,000 URLs against 200 patterns, beside the
// cost of parsing the same URLs alone.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "ui/core/DZURLMap.h"

namespace {

constexpr int kPatterns = 200;
constexpr int kURLs = 10000;

// A plain object the patterns point at; matching never calls it.
class Target : public NSObject {
    NS_OBJECT(Target, NSObject)
};

Ref<DZURLMap> makeMap(Target* target) {
    auto map = make<DZURLMap>();
    for (int i = 0; i < kPatterns; ++i) {
        std::string text;
        switch (i % 4) {
            case 0:
                text = "app://host" + std::to_string(i) + "/(id)";
                break;
            case 1:
                text = "app://host" + std::to_string(i) + "/items/(page)";
                break;
            case 2:
                text = "app://host" + std::to_string(i) + "/(section)/(page)?sort=(sort)";
                break;
            default:
                text = "app://(host)/fixed" + std::to_string(i);
                break;
        }
        map->fromToObject(NSString::stringWithUTF8String(text.c_str()), target);
    }
    return map;
}

std::vector<Ref<NSString>> makeURLs() {
    std::vector<Ref<NSString>> urls;
    urls.reserve(kURLs);
    for (int i = 0; i < kURLs; ++i) {
        int p = i % kPatterns;
        std::string text;
        switch (p % 4) {
            case 0:
                text = "app://host" + std::to_string(p) + "/" + std::to_string(i);
                break;
            case 1:
                text = "app://host" + std::to_string(p) + "/items/" + std::to_string(i);
                break;
            case 2:
                text =
                    "app://host" + std::to_string(p) + "/bikes/" + std::to_string(i) + "?sort=new";
                break;
            default:
                text = "app://anywhere/fixed" + std::to_string(p);
                break;
        }
        urls.push_back(NSString::stringWithUTF8String(text.c_str()));
    }
    return urls;
}

void BM_ParseURLsOnly(benchmark::State& state) {
    auto urls = makeURLs();
    for (auto _ : state) {
        NSAutoreleasePool pool;
        for (auto& u : urls)
            benchmark::DoNotOptimize(NSURL::URLWithString(u).get());
    }
    state.SetItemsProcessed(state.iterations() * kURLs);
}
BENCHMARK(BM_ParseURLsOnly)->Unit(benchmark::kMillisecond);

void BM_MatchURLsAgainstPatterns(benchmark::State& state) {
    auto target = make<Target>();
    auto map = makeMap(target);
    auto urls = makeURLs();
    int matched = 0;
    for (auto _ : state) {
        NSAutoreleasePool pool;
        for (auto& u : urls) {
            auto pattern = map->matchObjectPattern(NSURL::URLWithString(u));
            matched += pattern != nullptr;
        }
    }
    if (matched != static_cast<int>(state.iterations()) * kURLs)
        state.SkipWithError("unmatched URL");
    state.SetItemsProcessed(state.iterations() * kURLs);
}
BENCHMARK(BM_MatchURLsAgainstPatterns)->Unit(benchmark::kMillisecond);

}  // namespace
