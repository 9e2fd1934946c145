// Reading ad server replies: a single ad (about 2 KB) and a page of ads (about 60 KB) through the
// ad clients' JSON parser, the Pebble client's JSON class, the app's JSON reader and a mainstream
// DOM parser, on the same text in one run. The ad clients' parsers take a string, so the string
// is made once outside the timing, as the clients hold it.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <string>

#include "Foundation/NSData.h"
#include "Foundation/NSError.h"
#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"
#include "ads/pebble/PBL_PJSON.h"
#include "ads/pjson/PJsonParser.h"
#include "json/ZJSONDeserializer.h"

namespace {

// One ad as the ad server describes it: texts, URLs, sizes, tracking and a few flags.
std::string ad(int i) {
    std::string n = std::to_string(i);
    return "{\"id\": \"ad-7f3e9c" + n +
           "\", \"type\": \"image\", \"width\": 320, \"height\": 50, \"weight\": " +
           std::to_string(10 + i % 7) +
           ".25, \"refresh\": 45, \"test\": false,\n"
           "  \"image\": \"http://cdn.pebbleads.test/creative/" +
           n + "/banner@2x.png\", \"click\": \"http:\\/\\/click.pebbleads.test\\/c?ad=" + n +
           "&net=pebble&pos=top\",\n"
           "  \"title\": \"Caf\\u00e9 racer \\\"classic\\\" \xe2\x80\x93 " +
           n +
           "\", \"text\": \"Tap to see the full listing with photos, price and the seller's "
           "details. Delivery available.\\nOffer ends soon.\",\n"
           "  \"colors\": {\"background\": [0.12, 0.34, 0.56, 1.0], \"text\": [1, 1, 1, 1]},\n"
           "  \"trackers\": [\"http://t1.pebbleads.test/i?ad=" +
           n + "\", \"http://t2.pebbleads.test/i?ad=" + n +
           "&r=1\"],\n"
           "  \"overlay\": {\"buttons\": [{\"label\": \"Close\", \"x\": 290, \"y\": 4, \"action\": "
           "null}, {\"label\": \"More\", \"x\": 4, \"y\": 4, \"action\": \"open\"}], "
           "\"countdown\": true, \"duration\": 15.5}\n}";
}

// Whole ads while they fit, then the reply's notice text fills the document to its size.
std::string document(size_t targetBytes) {
    std::string s = "{\"status\": \"ok\", \"served\": 1733580000123, \"ads\": [\n";
    for (int i = 0;; ++i) {
        std::string next = (i ? ",\n" : "") + ad(i);
        if (i > 0 && s.size() + next.size() + 64 > targetBytes) break;
        s += next;
    }
    s += "\n], \"notice\": \"";
    const std::string words = "Ads are chosen by the network; tap a banner to learn more. ";
    for (size_t i = 0; s.size() + 4 < targetBytes; ++i)
        s += words[i % words.size()];
    s += "\"}\n";
    return s;
}

void setCounters(benchmark::State& state, const std::string& json) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(json.size()));
    state.counters["document_bytes"] = static_cast<double>(json.size());
}

void BM_PJsonParser(benchmark::State& state) {
    std::string json = document(static_cast<size_t>(state.range(0)));
    auto text = NSString::fromUTF8(json);
    auto parser = make<PJsonParser>();
    for (auto _ : state) {
        NSAutoreleasePool pool;
        auto value = parser->objectWithString(text);
        if (!value) state.SkipWithError("the document did not parse");
        benchmark::DoNotOptimize(value.get());
    }
    setCounters(state, json);
}

void BM_PBL_PJSON(benchmark::State& state) {
    std::string json = document(static_cast<size_t>(state.range(0)));
    auto text = NSString::fromUTF8(json);
    auto parser = make<PBL_PJSON>();
    for (auto _ : state) {
        NSAutoreleasePool pool;
        Ref<NSError> error;
        auto value = parser->objectWithString(text, &error);
        if (!value) state.SkipWithError("the document did not parse");
        benchmark::DoNotOptimize(value.get());
    }
    setCounters(state, json);
}

void BM_ZJSONDeserializer(benchmark::State& state) {
    std::string json = document(static_cast<size_t>(state.range(0)));
    auto data = NSData::dataWithBytes(json.data(), static_cast<NSUInteger>(json.size()));
    auto deserializer = ZJSONDeserializer::deserializer();
    for (auto _ : state) {
        NSAutoreleasePool pool;
        auto value = deserializer->deserialize(data, nullptr);
        if (!value) state.SkipWithError("the document did not parse");
        benchmark::DoNotOptimize(value.get());
    }
    setCounters(state, json);
}

// The yardstick: a mainstream DOM parse of the same bytes.
void BM_RapidJSON(benchmark::State& state) {
    std::string json = document(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        rapidjson::Document doc;
        doc.Parse(json.data(), json.size());
        if (doc.HasParseError() || !doc.IsObject())
            state.SkipWithError("the document did not parse");
        benchmark::DoNotOptimize(&doc);
    }
    setCounters(state, json);
}

BENCHMARK(BM_PJsonParser)->Arg(2 * 1024)->Arg(60 * 1024);
BENCHMARK(BM_PBL_PJSON)->Arg(2 * 1024)->Arg(60 * 1024);
BENCHMARK(BM_ZJSONDeserializer)->Arg(2 * 1024)->Arg(60 * 1024);
BENCHMARK(BM_RapidJSON)->Arg(2 * 1024)->Arg(60 * 1024);

}  // namespace
