// Scraping a listing page of the stand-in site from memory the way a listing record fills
// itself (body, time, images, reply address, phone number), and cleaning its body for display,
// against one plain pass over the same bytes (the memory-bandwidth bound). The page is made by
// the site's own generator, answered without sockets.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Classes/ItemInfo.h"
#include "Classes/ItemPage.h"
#include "Classes/Mobilizer.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "tools/site/Catalog.h"
#include "tools/site/Listings.h"
#include "tools/site/Site.h"

namespace {

// A Boston listing with photos, a phone number in its body and the tag block: every rule of
// the scrape has something to find.
const std::string& listingPageBytes() {
    static const std::string body = [] {
        bnsite::SiteOptions options;
        options.tls = false;
        bnsite::Site site(options);
        const auto& c = site.catalog();
        int metro = c.metroIndex("boston");
        for (size_t cat = 0; cat < c.categories.size(); ++cat) {
            for (const auto& l : *site.listings().generated(metro, static_cast<int>(cat))) {
                if (l.status != bnsite::Listing::Status::Live || l.images < 3 || l.oldFormat ||
                    l.phonePlace != bnsite::Listing::PhonePlace::Body)
                    continue;
                const auto& m = c.metros[static_cast<size_t>(metro)];
                bnsite::HttpRequest request;
                request.host = bnsite::cityHost(m.code);
                request.path = "/";
                if (l.subArea >= 0)
                    request.path += m.subAreas[static_cast<size_t>(l.subArea)].code + "/";
                request.path += c.categories[cat].code + "/" + std::to_string(l.id) + ".html";
                request.target = request.path;
                bnsite::HttpResponse response = site.handle(request);
                if (response.status != 200) {
                    std::fprintf(stderr, "the site answered %d for the listing page\n",
                                 response.status);
                    std::abort();
                }
                return response.body;
            }
        }
        std::fprintf(stderr, "no listing with photos and a phone number\n");
        std::abort();
    }();
    return body;
}

void BM_ScrapeListingPage(benchmark::State& state) {
    const std::string& bytes = listingPageBytes();
    auto page = make<ItemPage>();
    page->setWebpage(NSString::fromUTF8(bytes).get());
    std::int64_t listings = 0;
    for (auto _ : state) {
        auto item = make<ItemInfo>();
        item->showImage = true;
        page->fillItemInfo(item);
        if (!item->phoneNumber() || item->imageUrl()->count() < 3) {
            state.SkipWithError("the listing page did not give its phone number and photos");
            break;
        }
        ++listings;
        benchmark::DoNotOptimize(item.get());
    }
    state.counters["listings"] =
        benchmark::Counter(static_cast<double>(listings), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ScrapeListingPage)->Unit(benchmark::kMicrosecond);

// The body cleaning the item screen does before it renders a listing.
void BM_CleanListingBody(benchmark::State& state) {
    auto page = make<ItemPage>();
    page->setWebpage(NSString::fromUTF8(listingPageBytes()).get());
    auto detail = page->getDetail();
    for (auto _ : state) {
        auto cleaned = Mobilizer::mobilizer(detail.get());
        benchmark::DoNotOptimize(cleaned.get());
    }
    state.counters["listings"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * detail->length()));
}
BENCHMARK(BM_CleanListingBody)->Unit(benchmark::kMicrosecond);

// One read of every byte: what any scraper of this page can at best approach.
void BM_ReadListingPageOnce(benchmark::State& state) {
    const std::string& bytes = listingPageBytes();
    for (auto _ : state) {
        std::uint64_t sum = 0;
        for (unsigned char c : bytes)
            sum += c;
        benchmark::DoNotOptimize(sum);
    }
    state.counters["listings"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ReadListingPageOnce)->Unit(benchmark::kMicrosecond);

}  // namespace
