#include "ads/meridian/MRVideoCache.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "ads/meridian/MRJSONAd.h"
#include "ads/meridian/MRJSONVideoButton.h"
#include "ads/meridian/MRURLDownload.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/http/TestServer.h"
#include "support/services/RunningServices.h"
#include "tools/services/MeridianJSONAds.h"

namespace {

Ref<MRJSONAd> videoAd(const std::string& id, const std::string& url, const std::string& more = "") {
    std::string json = R"({"type":"video","video":{"id":")" + id + R"(","content-url":")" + url +
                       "\"" + more + "}}";
    auto data = NSData::dataWithBytes(json.data(), json.size());
    return make<MRJSONAd>(&MRJSONAd::initWithJSONAd, data.get(), nullptr);
}

std::string fileBytes(NSString* path) {
    std::ifstream in(path->utf8(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(NSString* path, const std::string& bytes) {
    NSFileManager::defaultManager()->createDirectoryAtPath(MRVideoCache::cacheFolder().get(), true,
                                                           nullptr, nullptr);
    std::ofstream(path->utf8(), std::ios::binary) << bytes;
}

class DownloadRecorder : public NSObject, public MRURLDownloadDelegate {
    NS_OBJECT(DownloadRecorder, NSObject)
    void downloadDidFinish(MRURLDownload* d) override {
        outcomes.push_back("finished");
        if (entry) entry->downloadDidFinish(d);
    }
    void downloadDidFail(MRURLDownload* d, NSError* e) override {
        outcomes.push_back("failed");
        if (entry) entry->downloadDidFail(d, e);
    }
    std::vector<std::string> outcomes;
    Ref<MRVideoCache> entry;
};

// The video, its bytes counted: a first answer may drop after `dropAfter` bytes; ranges are
// answered 206 unless the server is told to ignore them.
struct VideoServer {
    testhttp::TestServer server;
    std::string video = std::string(5000, 'v') + "END";
    size_t dropAfter = 0;
    testhttp::Gate dropGate;  // the drop waits until the client has the bytes before it
    bool ignoreRange = false;
    int status = 0;  // forced status, 0 for none
    std::vector<std::string> ranges;

    VideoServer() {
        for (size_t i = 0; i < video.size(); i += 7)
            video[i] = static_cast<char>('a' + i % 26);
        server.route("GET", "/clip.mp4", [this](testhttp::Exchange& x) {
            std::string range = x.request().header("Range");
            ranges.push_back(range);
            if (status) {
                x.respond(testhttp::Response(status, "<html>error</html>", "text/html"));
                return;
            }
            size_t from = 0;
            if (!range.empty() && !ignoreRange)
                from = std::stoul(range.substr(6, range.find('-') - 6));
            if (from >= video.size() && !range.empty() && !ignoreRange) {
                x.respond(testhttp::Response(416, "").header(
                    "Content-Range", "bytes */" + std::to_string(video.size())));
                return;
            }
            std::string body = video.substr(from);
            testhttp::Headers h{{"Content-Type", "video/mp4"},
                                {"Content-Length", std::to_string(body.size())}};
            if (from > 0)
                h.add("Content-Range", "bytes " + std::to_string(from) + "-" +
                                           std::to_string(video.size() - 1) + "/" +
                                           std::to_string(video.size()));
            x.writeHead(from > 0 ? 206 : 200, h);
            if (dropAfter && dropAfter < body.size()) {
                x.write(body.substr(0, dropAfter));
                dropAfter = 0;
                x.wait(dropGate);
                x.close();
                return;
            }
            x.write(body);
        });
    }
    std::string url() { return server.url("/clip.mp4"); }
};

// Each case leaves no entries behind for the next.
class MRVideoCacheTest : public testing::Test {
protected:
    void TearDown() override {
        NSFileManager::defaultManager()->removeItemAtPath(MRVideoCache::cacheFolder().get(),
                                                          nullptr);
    }
};

Ref<MRVideoCache> entryFor(MRJSONAd* ad) {
    return make<MRVideoCache>(&MRVideoCache::initWithAd, ad);
}

void runDownload(MRVideoCache* entry, DownloadRecorder* recorder) {
    recorder->outcomes.clear();
    recorder->entry = entry;
    entry->startOrFinishDownloadWithDelegate(recorder);
    ASSERT_TRUE(runLoopUntil([&] { return !recorder->outcomes.empty(); }));
}

TEST_F(MRVideoCacheTest, FirstDownloadWritesTheFileAndNamesItForPlaying) {
    VideoServer s;
    EarlierWriterLeftover leftover(
        MRVideoCache::cacheFolder()->stringByAppendingPathComponent(NS("first.mp4")));
    auto ad = videoAd("first", s.url());
    auto entry = entryFor(ad.get());
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->localPath()->hasSuffix(NS("/mrsdk/first.mp4")));
    EXPECT_TRUE(entry->archivedFilePath()->hasSuffix(NS("/mrsdk/first.mmarchive")));
    EXPECT_EQ(entry->numPlays()->intValue(), 0);
    EXPECT_FALSE(entry->isDownloadComplete());
    auto recorder = make<DownloadRecorder>();
    runDownload(entry.get(), recorder.get());
    EXPECT_EQ(recorder->outcomes, std::vector<std::string>{"finished"});
    EXPECT_EQ(s.ranges, std::vector<std::string>{""});
    EXPECT_EQ(fileBytes(entry->localPath().get()), s.video);
    EXPECT_TRUE(leftover.gone());  // one of the client's own files
    EXPECT_TRUE(entry->isDownloadComplete());
    EXPECT_EQ(entry->download(), nullptr);
    auto list =
        NSDictionary::dictionaryWithContentsOfFile(MRVideoCache::cachedVideoListPath().get());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(text(list->objectForKey(NS("needToPlayVideo")).get()), "first");

    // The saved entry reads back, with its ad.
    auto back = MRVideoCache::loadFromArchive(NS("first"));
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(MRVideoCache::cacheExists(NS("first")));
    EXPECT_FALSE(MRVideoCache::cacheExists(NS("never")));
    EXPECT_TRUE(back->downloadFinished());
    EXPECT_EQ(text(back->vid().get()), "first");
    EXPECT_EQ(back->ad()->adType(), MRJSONAdTypeVideo);
    back->incrementNumPlaysBy(1);
    back->incrementNumPlaysBy(2);
    back->save();
    EXPECT_EQ(MRVideoCache::loadFromArchive(NS("first"))->numPlays()->intValue(), 3);
}

TEST_F(MRVideoCacheTest, DroppedDownloadResumesByteForByte) {
    VideoServer s;
    s.dropAfter = 1200;
    auto entry = entryFor(videoAd("dropped", s.url()).get());
    auto recorder = make<DownloadRecorder>();
    recorder->entry = entry;
    entry->startOrFinishDownloadWithDelegate(recorder.get());
    auto download = entry->download();
    ASSERT_TRUE(runLoopUntil([&] { return download->totalDataDownloaded() >= 1200; }));
    s.dropGate.open();
    ASSERT_TRUE(runLoopUntil([&] { return !recorder->outcomes.empty(); }));
    EXPECT_EQ(recorder->outcomes, std::vector<std::string>{"failed"});
    EXPECT_FALSE(entry->isDownloadComplete());
    // What arrived is kept, so the next attempt asks only for the rest.
    std::string partial = fileBytes(entry->localPath().get());
    ASSERT_FALSE(partial.empty());
    ASSERT_LT(partial.size(), s.video.size());
    EXPECT_EQ(partial, s.video.substr(0, partial.size()));

    runDownload(entry.get(), recorder.get());
    EXPECT_EQ(recorder->outcomes, std::vector<std::string>{"finished"});
    ASSERT_EQ(s.ranges.size(), 2u);
    EXPECT_EQ(s.ranges[1], "bytes=" + std::to_string(partial.size()) + "-");
    EXPECT_EQ(fileBytes(entry->localPath().get()), s.video);
    EXPECT_TRUE(entry->isDownloadComplete());

    // Asked again for a whole file, the server has nothing past its end: still whole.
    runDownload(entry.get(), recorder.get());
    EXPECT_EQ(recorder->outcomes, std::vector<std::string>{"finished"});
    EXPECT_EQ(s.ranges.back(), "bytes=" + std::to_string(s.video.size()) + "-");
    EXPECT_EQ(fileBytes(entry->localPath().get()), s.video);
}

TEST_F(MRVideoCacheTest, StandInVideoDroppedPartWayIsResumed) {
    servicestest::services().reset();
    auto entry =
        entryFor(videoAd("mrdrop", "http://media.meridian.test/videos/drop/mrdrop-30s.mp4").get());
    auto recorder = make<DownloadRecorder>();
    runDownload(entry.get(), recorder.get());
    EXPECT_EQ(recorder->outcomes, std::vector<std::string>{"failed"});
    std::string whole =
        bnservices::meridianjson::paddedMp4(30, bnservices::meridianjson::kVideoSize);
    EXPECT_EQ(fileBytes(entry->localPath().get()),
              whole.substr(0, bnservices::meridianjson::kDropAfter));
    runDownload(entry.get(), recorder.get());
    EXPECT_EQ(recorder->outcomes, std::vector<std::string>{"finished"});
    EXPECT_EQ(fileBytes(entry->localPath().get()), whole);
    auto received = servicestest::services().received("meridian");
    ASSERT_EQ(received.size(), 2u);
}

TEST_F(MRVideoCacheTest, ServerIgnoringRangeLeavesAnIntactFile) {
    VideoServer s;
    s.ignoreRange = true;
    auto entry = entryFor(videoAd("ignored", s.url()).get());
    writeFile(entry->localPath().get(), s.video.substr(0, 700));
    auto recorder = make<DownloadRecorder>();
    runDownload(entry.get(), recorder.get());
    EXPECT_EQ(recorder->outcomes, std::vector<std::string>{"finished"});
    EXPECT_EQ(s.ranges, std::vector<std::string>{"bytes=700-"});
    // The whole file came: it replaces the part instead of following it.
    EXPECT_EQ(fileBytes(entry->localPath().get()), s.video);
}

TEST_F(MRVideoCacheTest, ErrorPageIsNotKeptAsTheVideo) {
    VideoServer s;
    s.status = 404;
    auto entry = entryFor(videoAd("missing", s.url()).get());
    writeFile(entry->localPath().get(), s.video.substr(0, 300));
    auto recorder = make<DownloadRecorder>();
    runDownload(entry.get(), recorder.get());
    EXPECT_EQ(recorder->outcomes, std::vector<std::string>{"failed"});
    EXPECT_EQ(fileBytes(entry->localPath().get()), s.video.substr(0, 300));
    EXPECT_FALSE(entry->downloadFinished());

    // Without a file, a first download that fails writes nothing.
    auto fresh = entryFor(videoAd("missing2", s.url()).get());
    runDownload(fresh.get(), recorder.get());
    EXPECT_EQ(recorder->outcomes, std::vector<std::string>{"failed"});
    EXPECT_FALSE(NSFileManager::defaultManager()->fileExistsAtPath(fresh->localPath().get()));
}

TEST_F(MRVideoCacheTest, SweepRemovesExpiredEntriesWithTheirFiles) {
    auto expired = entryFor(videoAd("old", "http://media.meridian.test/old.mp4",
                                    R"(,"expiration":"2001-01-01 00:00:00 +0000")")
                                .get());
    auto lasting = entryFor(videoAd("lasting", "http://media.meridian.test/lasting.mov").get());
    auto future = entryFor(videoAd("future", "http://media.meridian.test/f.mp4",
                                   R"(,"expiration":"2100-01-01 00:00:00 +0000")")
                               .get());
    EXPECT_TRUE(expired->isCacheExpired());
    EXPECT_FALSE(lasting->isCacheExpired());
    EXPECT_FALSE(future->isCacheExpired());
    EXPECT_TRUE(lasting->localPath()->hasSuffix(NS("/lasting.mov")));
    for (auto* e : {expired.get(), lasting.get(), future.get()}) {
        e->save();
        writeFile(e->localPath().get(), "bytes");
    }
    writeFile(
        MRVideoCache::cacheFolder()->stringByAppendingPathComponent(NS("junk.mmarchive")).get(),
        "not an archive");
    EXPECT_GE(MRVideoCache::cachedVideoPaths()->count(), 4u);

    MRVideoCache::removeExpiredCaches();
    auto files = NSFileManager::defaultManager();
    EXPECT_FALSE(files->fileExistsAtPath(expired->archivedFilePath().get()));
    EXPECT_FALSE(files->fileExistsAtPath(expired->localPath().get()));
    EXPECT_TRUE(files->fileExistsAtPath(lasting->archivedFilePath().get()));
    EXPECT_TRUE(files->fileExistsAtPath(lasting->localPath().get()));
    EXPECT_TRUE(files->fileExistsAtPath(future->localPath().get()));
    EXPECT_EQ(MRVideoCache::loadFromArchive(NS("junk")), nullptr);
}

TEST_F(MRVideoCacheTest, IdsThatAreNoFileNamesAreRefused) {
    for (const char* id : {"", ".", "..", "a/b", "../x"}) {
        auto ad = videoAd(id, "http://media.meridian.test/v.mp4");
        EXPECT_EQ(entryFor(ad.get()), nullptr) << id;
        EXPECT_EQ(MRVideoCache::loadFromArchive(str(id).get()), nullptr) << id;
    }
    EXPECT_TRUE(MRVideoCache::isUsableVideoId(NS("v-1.2")));
}

TEST_F(MRVideoCacheTest, NewAdTakesTheCachedButtonsUnlessTheListChanged) {
    testhttp::TestServer server;
    int fetches = 0;
    server.route("GET", "/b.png", [&](const testhttp::Request&) {
        ++fetches;
        return testhttp::Response(200, testhttp::pngBytes(8, 8), "image/png");
    });
    std::string buttons =
        R"(,"buttons":[{"image":")" + server.url("/b.png") + R"(","url":"mrsdk://endVideo"}])";
    auto first = videoAd("btn", "http://media.meridian.test/btn.mp4", buttons);
    auto entry = entryFor(first.get());
    first->downloadButtons();
    EXPECT_EQ(fetches, 1);
    auto cachedButton = first->videoButtons()->objectAtIndex(0);

    auto same = videoAd("btn", "http://media.meridian.test/btn.mp4", buttons);
    entry->updateWithNewAd(same.get());
    EXPECT_EQ(same->videoButtons()->objectAtIndex(0), cachedButton);
    EXPECT_EQ(fetches, 1);
    EXPECT_EQ(entry->ad(), same);

    std::string changed =
        R"(,"buttons":[{"image":")" + server.url("/b.png") + R"(","url":"mrsdk://pauseVideo"}])";
    auto other = videoAd("btn", "http://media.meridian.test/btn.mp4", changed);
    entry->updateWithNewAd(other.get());
    EXPECT_NE(other->videoButtons()->objectAtIndex(0), cachedButton);
    EXPECT_TRUE(other->buttonsHaveBeenDownloaded());
    EXPECT_EQ(fetches, 2);
    EXPECT_EQ(
        text(cast<MRJSONVideoButton>(
                 MRVideoCache::loadFromArchive(NS("btn"))->ad()->videoButtons()->objectAtIndex(0))
                 ->tapURL()
                 ->absoluteString()
                 .get()),
        "mrsdk://pauseVideo");
}

}  // namespace
