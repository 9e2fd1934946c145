// String operations on the sizes the app handles: a listing page of about 100 KB, search terms,
// formatted labels.
#include <benchmark/benchmark.h>

#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSString.h"

namespace {

Ref<NSString> page() {
    static Ref<NSString> text = [] {
        std::string s;
        s.reserve(110 * 1024);
        for (int i = 0; s.size() < 100 * 1024; ++i) {
            s += "<tr class=\"listing\"><td>Item " + std::to_string(i) +
                 "</td><td>Caf\xC3\xA9 table, good condition</td><td>120 \xE2\x82\xAC</td></tr>\n";
        }
        s += "<div id=\"pagination-end\"></div>";
        return NSString::fromUTF8(s);
    }();
    return text;
}

void BM_RangeOfStringAtEnd(benchmark::State& state) {
    auto text = page();
    for (auto _ : state)
        benchmark::DoNotOptimize(text->rangeOfString(NS("pagination-end")));
    state.SetBytesProcessed(int64_t(state.iterations()) * text->length() * 2);
}
BENCHMARK(BM_RangeOfStringAtEnd);

void BM_RangeOfStringCaseInsensitive(benchmark::State& state) {
    auto text = page();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            text->rangeOfString(NS("PAGINATION-END"), NSCaseInsensitiveSearch));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * text->length() * 2);
}
BENCHMARK(BM_RangeOfStringCaseInsensitive);

void BM_ComponentsSeparatedByString(benchmark::State& state) {
    NSAutoreleasePool pool;
    auto text = page();
    for (auto _ : state) {
        auto lines = text->componentsSeparatedByString(NS("\n"));
        benchmark::DoNotOptimize(lines->count());
    }
}
BENCHMARK(BM_ComponentsSeparatedByString);

void BM_TrimAndLowercase(benchmark::State& state) {
    auto ws = NSCharacterSet::whitespaceAndNewlineCharacterSet();
    auto s = NS("   Caf\u00E9 Table, GOOD Condition \n");
    for (auto _ : state) {
        benchmark::DoNotOptimize(s->stringByTrimmingCharactersInSet(ws)->lowercaseString());
    }
}
BENCHMARK(BM_TrimAndLowercase);

void BM_StringWithFormat(benchmark::State& state) {
    for (auto _ : state) {
        auto s = NSString::stringWithFormat(NS("%@ (%d) - %.2f %s #%lld"), NS("Listing"), 42, 19.99,
                                            "EUR", 1234567890123LL);
        benchmark::DoNotOptimize(s->length());
    }
}
BENCHMARK(BM_StringWithFormat);

void BM_UTF8RoundTrip(benchmark::State& state) {
    auto text = page();
    for (auto _ : state) {
        std::string bytes = text->utf8();
        benchmark::DoNotOptimize(NSString::fromUTF8(bytes)->length());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * text->length() * 2);
}
BENCHMARK(BM_UTF8RoundTrip);

}  // namespace
