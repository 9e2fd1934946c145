// Shared set-up of the ad client's tests: a clean cache folder and fresh process-wide state
// before each test, replies from the stand-in's own encoder, and a delegate that notes what the
// parser told it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSData.h"
#include "Foundation/NSFileManager.h"
#include "ads/tally/TallyAdClient.h"
#include "ads/tally/TallyAdModel.h"
#include "tools/services/TallyAdReply.h"

namespace tally_ads_test {

using bnservices::TallyAdReplyOptions;
using bnservices::TallyAdReplyWriter;
using bnservices::TallyAdScenario;

inline Ref<NSData> dataOf(const std::string& bytes) {
    return NSData::dataWithBytes(bytes.data(), bytes.size());
}

inline Ref<NSData> reply(TallyAdScenario scenario = TallyAdScenario::Normal,
                         std::vector<std::int64_t> cached = {}) {
    TallyAdReplyOptions options;
    options.scenario = scenario;
    return dataOf(bnservices::buildTallyAdReply(options, cached));
}

// The body of an Image chunk: one entry per id, each a 4 x 4 PNG declared as width x height.
inline std::string imageChunk(const std::vector<std::int64_t>& ids, std::uint32_t width,
                              std::uint32_t height) {
    std::string png = bnservices::tallyAdPng(4, 4, 0x102030);
    TallyAdReplyWriter w;
    w.u16(static_cast<unsigned>(ids.size()));
    for (auto id : ids) {
        w.i64(id).u32(width).u32(height).str("image/png");
        w.u32(static_cast<std::uint32_t>(png.size())).raw(png);
    }
    return w.bytes();
}

class RecordingDelegate : public NSObject, public TallyAdDelegate {
    NS_OBJECT(RecordingDelegate, NSObject)

public:
    void dataAvailable() override { heard.push_back("available"); }
    void dataUnavailable() override { heard.push_back("unavailable"); }
    std::vector<std::string> heard;
};

// Every test starts as a fresh process would at a session start with an empty cache folder.
class TallyAdTest : public ::testing::Test {
protected:
    void SetUp() override {
        files = TallyFileCache::createInstanceWithApiKey(NS("ads-test-key"));
        files->removeCache();
        startSession();
        for (auto setter : {&TallyAdProperties::setBannerRefreshInSeconds,
                            &TallyAdProperties::setCacheUpdateTimestamp,
                            &TallyAdProperties::setPortraitAdsMaxShown,
                            &TallyAdProperties::setLandscapeAdsMaxShown,
                            &TallyAdProperties::setPortraitAdsShownAtStart,
                            &TallyAdProperties::setLandscapeAdsShownAtStart})
            setter(nullptr);
        delegate = make<RecordingDelegate>();
        TallyAdParser::instance()->setAdDelegate(delegate);
    }
    void TearDown() override {
        TallyAdParser::instance()->setAdDelegate(nullptr);
        files->removeCache();
    }
    // The analytics session start's order.
    static void startSession() {
        TallyAdAssignment::recreateInstance();
        TallyImageCache::recreateInstanceWithFileCache(TallyFileCache::instance());
        TallyAdParser::recreateOldInstance();
        TallyAdParser::recreateInstance();
    }
    bool archived(const char* prefix) {
        return NSFileManager::defaultManager()->fileExistsAtPath(
            files->createFilePath(NSString::stringWithUTF8String(prefix)));
    }
    static Ref<NSNumber> num(long long v) { return NSNumber::numberWithLongLong(v); }

    Ref<TallyFileCache> files;
    Ref<RecordingDelegate> delegate;
};

}  // namespace tally_ads_test
