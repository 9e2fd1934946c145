// Scraping a 100-row result page the way the app does, through the regular-expression layer
// (compiled-pattern cache, subjects matched in place) and through a plain ICU loop that opens
// each pattern for every use. The ratio of the two is what the cache buys.
#include <benchmark/benchmark.h>

#include <unicode/uregex.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Classes/MatchKit/MatchKit.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"

namespace {

// A result page of 100 rows shaped like the site's: title link, price, place and category note.
Ref<NSString> resultPage() {
    static Ref<NSString> page = [] {
        std::string s =
            "<html><head><title>bikes - search</title></head><body>\n"
            "<h4 class=\"ban\">Fri Mar 01</h4>\n";
        const char* places[] = {"Oakland", "San Jose", "Berkeley &amp; Albany", "SF"};
        for (int i = 0; i < 100; ++i) {
            std::string n = std::to_string(i);
            s += "<p class=\"row\">\n<span class=\"ih\" id=\"images:5Nb5Kf" + n +
                 "\">&nbsp;</span>\n <a href=\"http://sfbay.example.org/eby/bik/" +
                 std::to_string(3100000000 + i * 7919) + ".html\">Road bike " + n +
                 " &amp; helmet, size 56cm</a> -\n $" + std::to_string(150 + i * 3) +
                 "<font size=\"-1\"> (" + places[i % 4] +
                 ")</font> <span class=\"p\"> pic</span>"
                 "<small class=\"gc\"><a href=\"/bik/\">bicycles - by owner</a></small><br "
                 "class=\"c\">\n</p>\n";
        }
        s += "<p align=\"center\"><font size=\"4\"><a href=\"index100.html\">next 100 "
             "postings</a></font></p></body></html>\n";
        return NSString::fromUTF8(s);
    }();
    return page;
}

// The row patterns of the result page scraper.
struct Patterns {
    NSString* title = NS(">([^<]*)</a>");
    NSString* link = NS("<a href=\"([^>]*)\">");
    NSString* price = NS("(\\$[0-9][0-9\\.]*)");
    NSString* place = NS("<font size=\"-1\"> \\(([^<]*)\\)</font>");
    NSString* category = NS("<small class=\"gc\"><[^>]*>([^<>]*)</a></small>");
    NSString* rowLink = NS("<a href=\"([^\"]*)\">([^<]*)</a>");
};

// How one capture of the first match inside a window is found.
struct LayerMatcher {
    NSRange operator()(NSString* text, NSString* pattern, NSRange window, int capture) const {
        return rangeOfRegex(text, pattern, 0, window, capture, nullptr);
    }
};

struct PlainICUMatcher {
    NSRange operator()(NSString* text, NSString* pattern, NSRange window, int capture) const {
        std::u16string p = pattern->u16();
        UErrorCode st = U_ZERO_ERROR;
        URegularExpression* re =
            uregex_open(p.data(), static_cast<int32_t>(p.size()), 0, nullptr, &st);
        NSRange found = {static_cast<NSUInteger>(NSNotFound), 0};
        if (U_SUCCESS(st)) {
            uregex_setText(re, text->charactersPtr() + window.location,
                           static_cast<int32_t>(window.length), &st);
            if (uregex_find(re, 0, &st) && U_SUCCESS(st)) {
                int32_t start = uregex_start(re, capture, &st);
                int32_t end = uregex_end(re, capture, &st);
                if (start >= 0) found = NSMakeRange(window.location + start, end - start);
            }
        }
        uregex_close(re);
        return found;
    }
};

// Matches nothing: the cost of the scrape's own string work, without any matching.
struct NoMatcher {
    NSRange operator()(NSString*, NSString*, NSRange, int) const {
        return {static_cast<NSUInteger>(NSNotFound), 0};
    }
};

// One scrape: the app's two ways of walking a page. Answers the number of captures found.
template <class Match>
size_t scrape(NSString* page, const Match& match) {
    Patterns p;
    size_t found = 0;
    auto capture = [&](NSString* text, NSString* pattern) {
        NSRange r = match(text, pattern, NSMakeRange(0, text->length()), 1);
        if (r.location != static_cast<NSUInteger>(NSNotFound)) ++found;
    };
    // Rows split at the row marker, each row scraped for its fields.
    auto rows = page->componentsSeparatedByString(NS("<p class=\"row\""));
    for (NSObject* o : *rows) {
        auto row =
            static_cast<NSString*>(o)->stringByReplacingOccurrencesOfString(NS("\n"), NS(" "));
        capture(row, p.title);
        capture(row, p.link);
        capture(row, p.price);
        capture(row, p.place);
        capture(row, p.category);
    }
    // A window over the whole page walked by successive matches of a row pattern.
    NSRange window = NSMakeRange(0, page->length());
    for (;;) {
        NSRange link = match(page, p.rowLink, window, 1);
        if (link.location == static_cast<NSUInteger>(NSNotFound)) break;
        NSRange title = match(page, p.rowLink, window, 2);
        found += 2;
        NSUInteger end = NSMaxRange(window);
        window = NSMakeRange(NSMaxRange(title), end - NSMaxRange(title));
    }
    return found;
}

void BM_ScrapeThroughMatchKit(benchmark::State& state) {
    auto page = resultPage();
    for (auto _ : state)
        benchmark::DoNotOptimize(scrape(page, LayerMatcher{}));
}
BENCHMARK(BM_ScrapeThroughMatchKit)->Unit(benchmark::kMicrosecond);

void BM_ScrapeThroughPlainICU(benchmark::State& state) {
    auto page = resultPage();
    // Both scrapes must read the page the same way, or the comparison means nothing.
    size_t layer = scrape(page, LayerMatcher{});
    size_t plain = scrape(page, PlainICUMatcher{});
    if (layer != plain || layer < 700) {
        std::fprintf(stderr, "scrapes differ: %zu vs %zu\n", layer, plain);
        state.SkipWithError("the two scrapes disagree");
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(scrape(page, PlainICUMatcher{}));
}
BENCHMARK(BM_ScrapeThroughPlainICU)->Unit(benchmark::kMicrosecond);

void BM_ScrapeWithoutMatching(benchmark::State& state) {
    auto page = resultPage();
    for (auto _ : state)
        benchmark::DoNotOptimize(scrape(page, NoMatcher{}));
}
BENCHMARK(BM_ScrapeWithoutMatching)->Unit(benchmark::kMicrosecond);

// The row walk alone: the same pattern object again and again over one page.
void BM_RowWalkThroughMatchKit(benchmark::State& state) {
    auto page = resultPage();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            componentsMatchedByRegex(page, NS("<a href=\"([^\"]*)\">([^<]*)</a>"), 2));
    }
}
BENCHMARK(BM_RowWalkThroughMatchKit)->Unit(benchmark::kMicrosecond);

}  // namespace
