// Reading the mediation server's configuration: the document the banner layer parses for every
// application key it fetches (a few networks with credentials, the banner settings). Each
// iteration is one whole document.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <string>

#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSObject.h"
#include "json/ZJSONDeserializer.h"
#include "json/ZJSONSerializer.h"

namespace {

std::string mediationConfig() {
    std::string s =
        "{\n  \"extra\": {\n"
        "    \"background_color_rgb\": {\"red\": 77, \"green\": 77, \"blue\": 77, \"alpha\": 1},\n"
        "    \"text_color_rgb\": {\"red\": 255, \"green\": 255, \"blue\": 255, \"alpha\": 1},\n"
        "    \"refresh_interval\": \"45\", \"location_on\": 1, \"transition\": 8,\n"
        "    \"fullscreen_wait_interval\": 60, \"fullscreen_max_ads\": 2\n  },\n"
        "  \"rations\": [\n";
    const char* names[] = {"pebble", "meridian", "ironvine",      "iad",
                           "custom", "generic",  "pebble_adtext", "inmobi"};
    const int types[] = {1, 6, 7, 8, 9, 16, 14, 18};
    for (int i = 0; i < 8; ++i) {
        std::string n = std::to_string(i);
        s += "    {\"type\": " + std::to_string(types[i]) + ", \"nid\": \"4f1c9a" + n +
             "e27b3d44c5a9f0e1d2c3b4a59" + n + "\", \"nname\": \"" + names[i] +
             "\", \"weight\": " + std::to_string(5 + 10 * i) +
             ".5, \"priority\": " + std::to_string(i + 1) + ", ";
        if (i % 2) {
            s += "\"key\": {\"pubid\": \"a14e2b9c7d0f3" + n +
                 "\", \"site\": \"https:\\/\\/ads.example.com\\/s\\/" + n +
                 "\", \"label\": \"Caf\\u00e9 banner \\\"" + n + "\\\"\"}}";
        } else {
            s += "\"key\": \"a14e2b9c7d0f3a8b" + n + "\"}";
        }
        s += i < 7 ? ",\n" : "\n";
    }
    s += "  ]\n}\n";
    return s;
}

void BM_ParseMediationConfig(benchmark::State& state) {
    std::string json = mediationConfig();
    auto data = NSData::dataWithBytes(json.data(), static_cast<NSUInteger>(json.size()));
    auto deserializer = ZJSONDeserializer::deserializer();
    for (auto _ : state) {
        NSAutoreleasePool pool;
        auto config = deserializer->deserialize(data, nullptr);
        if (!config) state.SkipWithError("the document did not parse");
        benchmark::DoNotOptimize(config.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(json.size()));
    state.counters["document_bytes"] = static_cast<double>(json.size());
}
BENCHMARK(BM_ParseMediationConfig);

// The same bytes through a mainstream DOM parser: the yardstick for the reader above.
void BM_RapidJSONParseMediationConfig(benchmark::State& state) {
    std::string json = mediationConfig();
    for (auto _ : state) {
        rapidjson::Document document;
        document.Parse(json.data(), json.size());
        if (document.HasParseError() || !document.IsObject()) {
            state.SkipWithError("the document did not parse");
        }
        benchmark::DoNotOptimize(&document);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(json.size()));
    state.counters["document_bytes"] = static_cast<double>(json.size());
}
BENCHMARK(BM_RapidJSONParseMediationConfig);

void BM_SerializeMediationConfig(benchmark::State& state) {
    std::string json = mediationConfig();
    auto data = NSData::dataWithBytes(json.data(), static_cast<NSUInteger>(json.size()));
    auto config = ZJSONDeserializer::deserializer()->deserialize(data, nullptr);
    auto serializer = ZJSONDataSerializer::serializer();
    for (auto _ : state) {
        NSAutoreleasePool pool;
        benchmark::DoNotOptimize(serializer->serializeObject(config).get());
    }
}
BENCHMARK(BM_SerializeMediationConfig);

}  // namespace
