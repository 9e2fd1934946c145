// The Meridian service's JSON ads and their media host: replies by sdkapid, padded MP4 videos
// whose boxes add up, ranges answered 206, and the faults by folder.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/services/RunningServices.h"
#include "tools/services/MeridianJSONAds.h"
#include "tools/services/ServicesTesting.h"

namespace servicestest {

namespace {

const std::string kMedia = "media.meridian.test";

uint32_t be32(const std::string& s, size_t at) {
    return (uint32_t(uint8_t(s[at])) << 24) | (uint32_t(uint8_t(s[at + 1])) << 16) |
           (uint32_t(uint8_t(s[at + 2])) << 8) | uint32_t(uint8_t(s[at + 3]));
}

TEST(MeridianMediaTest, VideosArePaddedMoviesWhoseBoxesAddUp) {
    std::string movie = bnservices::meridianjson::paddedMp4(30, 256 * 1024);
    ASSERT_EQ(movie.size(), 256u * 1024);
    size_t at = 0;
    std::string types;
    while (at + 8 <= movie.size()) {
        types += movie.substr(at + 4, 4) + " ";
        at += be32(movie, at);
    }
    EXPECT_EQ(at, movie.size());
    EXPECT_EQ(types, "ftyp moov mdat ");
    // The movie header: timescale 600, duration 30 s.
    size_t mvhd = movie.find("mvhd");
    ASSERT_NE(mvhd, std::string::npos);
    EXPECT_EQ(be32(movie, mvhd + 16), 600u);
    EXPECT_EQ(be32(movie, mvhd + 20), 18000u);
}

TEST(MeridianMediaTest, RangesAndFaultsByFolder) {
    services().reset();
    auto whole = get(kMedia, "/videos/mrvideo-30s.mp4");
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.body.size(), bnservices::meridianjson::kVideoSize);
    EXPECT_EQ(whole.body, bnservices::meridianjson::paddedMp4(30, 256 * 1024));

    auto part = request("GET", kMedia, "/videos/mrvideo-30s.mp4", {}, {{"Range", "bytes=1000-"}});
    EXPECT_EQ(part.status, 206);
    EXPECT_EQ(part.body, whole.body.substr(1000));
    EXPECT_NE(part.head.find("Content-Range: bytes 1000-262143/262144"), std::string::npos)
        << part.head;
    auto past = request("GET", kMedia, "/videos/mrvideo-30s.mp4", {}, {{"Range", "bytes=262144-"}});
    EXPECT_EQ(past.status, 416);
    EXPECT_NE(past.head.find("Content-Range: bytes */262144"), std::string::npos) << past.head;

    auto ignored =
        request("GET", kMedia, "/videos/norange/x-5s.mp4", {}, {{"Range", "bytes=1000-"}});
    EXPECT_EQ(ignored.status, 200);
    EXPECT_EQ(ignored.body.size(), bnservices::meridianjson::kVideoSize);
    auto dropped = get(kMedia, "/videos/drop/x-5s.mp4");
    EXPECT_FALSE(dropped.complete);
    EXPECT_EQ(dropped.body.size(), bnservices::meridianjson::kDropAfter);
    EXPECT_EQ(get(kMedia, "/videos/missing/x-5s.mp4").status, 404);
    EXPECT_EQ(get(kMedia, "/videos/nothing.mp4").status, 404);

    auto png = get(kMedia, "/images/bread-320x53.png");
    EXPECT_EQ(png.status, 200);
    EXPECT_EQ(png.body.substr(1, 3), "PNG");
}

TEST(MeridianMediaTest, JSONRepliesBySdkapid) {
    services().reset();
    for (const auto& apid : bnservices::meridianjson::scenarios()) {
        auto reply = bnservices::meridianjson::adReply(apid);
        ASSERT_TRUE(reply) << apid;
        EXPECT_EQ(reply->contentType, "application/json") << apid;
    }
    EXPECT_FALSE(bnservices::meridianjson::adReply("html"));
    auto video = bnservices::meridianjson::adReply("json-video")->body;
    for (const char* piece :
         {R"("type":"video")", R"("id":"mrvideo")", "/videos/mrvideo-30s.mp4",
          R"("expiration":"2030-01-01 00:00:00 +0000")", "mrsdk://endVideo", "tel:5550199",
          R"({"time":"5")", R"({"time":5,)", "activity=videostart", "activity=videoend"})
        EXPECT_NE(video.find(piece), std::string::npos) << piece;
    EXPECT_NE(bnservices::meridianjson::adReply("json-video-stay")->body.find("stayInPlayer"),
              std::string::npos);
}

}  // namespace

}  // namespace servicestest
