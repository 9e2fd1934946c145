// The documents every JSON reader must accept (the fuzz target's seed inputs named "valid-..."):
// each is read whole, without an error, and what the writer makes of it reads back the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Foundation/NSData.h"
#include "Foundation/NSError.h"
#include "json/ZJSONDeserializer.h"
#include "json/ZJSONScanner.h"
#include "json/ZJSONSerializer.h"
#include "support/FoundationTesting.h"

namespace {

std::vector<std::filesystem::path> validDocuments() {
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(BN_JSON_CORPUS)) {
        if (entry.path().filename().string().starts_with("valid-")) paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

Ref<NSData> contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string bytes = buffer.str();
    return NSData::dataWithBytes(bytes.data(), static_cast<NSUInteger>(bytes.size()));
}

TEST(ValidDocumentsTest, EveryValidDocumentReadsWholeAndBack) {
    auto paths = validDocuments();
    ASSERT_GE(paths.size(), 20u) << "the seed inputs are missing from " << BN_JSON_CORPUS;
    for (const auto& path : paths) {
        SCOPED_TRACE(path.filename().string());
        auto data = contents(path);
        Ref<NSError> error;
        auto object = ZJSONDeserializer::deserializer()->deserialize(data, &error);
        ASSERT_TRUE(object) << text(error);
        EXPECT_FALSE(error);

        // The value spans the document: nothing but white space follows it.
        auto scanner = ZJSONScanner::scannerWithData(data);
        ASSERT_TRUE(scanner->scanJSONObject(nullptr, nullptr));
        scanner->skipWhitespace();
        EXPECT_TRUE(scanner->isAtEnd()) << "stopped at byte " << scanner->scanLocation();

        auto written = ZJSONDataSerializer::serializer()->serializeObject(object);
        auto again = ZJSONDeserializer::deserializer()->deserialize(written, &error);
        ASSERT_TRUE(again) << text(error);
        EXPECT_TRUE(again->isEqual(object)) << text(object) << " came back as " << text(again);
    }
}

}  // namespace
