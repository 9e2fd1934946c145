// An ad reply of 40 PNG icons (57 x 57) read by the ad parser, beside decoding the same 40 PNGs
// directly: the parser's cost as a multiple of the image decoding it cannot avoid. Images decode
// on first use, so both sides ask each image for its bitmap.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "Foundation/NSData.h"
#include "UIKit/UIImage.h"
#include "ads/tally/TallyAdClient.h"
#include "ads/tally/TallyAdModel.h"
#include "tools/services/TallyAdReply.h"

namespace {

struct Reply {
    std::vector<Ref<NSData>> pngs;
    Ref<NSData> body;
};

const Reply& reply() {
    static Reply r = [] {
        Reply out;
        bnservices::TallyAdReplyWriter images;
        images.u16(40);
        for (int i = 0; i < 40; ++i) {
            std::string png =
                bnservices::tallyAdPng(57, 57, 0x102030u * static_cast<unsigned>(i + 1));
            out.pngs.push_back(NSData::dataWithBytes(png.data(), png.size()));
            images.i64(1000 + i).u32(57).u32(57).str("image/png");
            images.u32(static_cast<std::uint32_t>(png.size())).raw(png);
        }
        bnservices::TallyAdReplyWriter body;
        body.chunk(0x0106, images.bytes());
        out.body = NSData::dataWithBytes(body.bytes().data(), body.bytes().size());
        return out;
    }();
    return r;
}

// No file cache is made, so the parse stays in memory as the direct decoding does.
void BM_ParseReplyOf40Pngs(benchmark::State& state) {
    const auto& r = reply();
    for (auto _ : state) {
        NSAutoreleasePool pool;
        auto parser = make<TallyAdParser>();
        parser->parseData(r.body);
        auto images = parser->imageMap()->allValues();
        for (auto* record : *images)
            benchmark::DoNotOptimize(static_cast<TallyAdImage*>(record)->image()->CGImage());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(r.body->length()));
}
BENCHMARK(BM_ParseReplyOf40Pngs)->Unit(benchmark::kMicrosecond);

void BM_Decode40PngsDirectly(benchmark::State& state) {
    const auto& r = reply();
    for (auto _ : state) {
        NSAutoreleasePool pool;
        for (const auto& png : r.pngs)
            benchmark::DoNotOptimize(UIImage::imageWithData(png)->CGImage());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(r.body->length()));
}
BENCHMARK(BM_Decode40PngsDirectly)->Unit(benchmark::kMicrosecond);

}  // namespace
