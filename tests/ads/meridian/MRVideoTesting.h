// What the video ad tests share: a loopback server with MP4 videos (ranges answered as a video
// host does) and log pixels, JSON for video ads, and a recorder of the video view's reports.
#pragma once

#include <string>
#include <vector>

#include "Foundation/NSData.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "MediaPlayer/MPMoviePlayerController.h"
#include "ads/meridian/MRJSONAd.h"
#include "ads/meridian/MRJSONVideoAdView.h"
#include "ads/meridian/MRVideoCache.h"
#include "support/MediaFiles.h"
#include "support/RunLoopTesting.h"
#include "support/http/TestServer.h"

struct VideoHost {
    testhttp::TestServer server;
    std::string clip30 = media_files::mp4(30);
    std::string clip3 = media_files::mp4(3);

    VideoHost() {
        serve("/v30.mp4", clip30);
        serve("/v3.mp4", clip3);
        server.routePrefix("GET", "/pixel/",
                           [](const testhttp::Request&) { return testhttp::Response(200, ""); });
    }
    void serve(const std::string& path, const std::string& bytes) {
        server.route("GET", path, [bytes](const testhttp::Request& r) {
            std::string range = r.header("Range");
            if (range.empty()) return testhttp::Response(200, bytes, "video/mp4");
            size_t from = std::stoul(range.substr(6));
            if (from >= bytes.size())
                return testhttp::Response(416, "").header(
                    "Content-Range", "bytes */" + std::to_string(bytes.size()));
            return testhttp::Response(206, bytes.substr(from), "video/mp4")
                .header("Content-Range", "bytes " + std::to_string(from) + "-" +
                                             std::to_string(bytes.size() - 1) + "/" +
                                             std::to_string(bytes.size()));
        });
    }
    std::string url(const std::string& path) { return server.url(path); }
    // The targets requested so far under a path.
    std::vector<std::string> requested(const std::string& prefix) {
        std::vector<std::string> out;
        for (auto& r : server.requests())
            if (r.target.rfind(prefix, 0) == 0) out.push_back(r.target + " " + r.header("Range"));
        return out;
    }
    bool pixelArrived(const std::string& target) {
        return runLoopUntil([&] {
            for (auto& r : server.requests())
                if (r.target == target) return true;
            return false;
        });
    }
};

// No cached video and no video waiting to play, for the tests that follow.
inline void forgetVideoCache() {
    NSFileManager::defaultManager()->removeItemAtPath(MRVideoCache::cacheFolder().get(), nullptr);
}

inline Ref<MRJSONAd> jsonAd(const std::string& json) {
    auto data = NSData::dataWithBytes(json.data(), json.size());
    return make<MRJSONAd>(&MRJSONAd::initWithJSONAd, data.get(), nullptr);
}

inline std::string videoJSON(const std::string& id, const std::string& url,
                             const std::string& more = "") {
    return R"({"type":"video","video":{"id":")" + id + R"(","content-url":")" + url + "\"" + more +
           "}}";
}

class VideoRecorder : public NSObject, public MRJSONVideoAdViewDelegate {
    NS_OBJECT(VideoRecorder, NSObject)

public:
    void videoAdFailed(MRJSONVideoAdView*) override { add("failed"); }
    void videoAdSucceeded(MRJSONVideoAdView*) override { add("succeeded"); }
    void videoAdWillClose(MRJSONVideoAdView*) override { add("will close"); }
    void videoAdDidAppear(MRJSONVideoAdView*) override { add("did appear"); }
    void videoAdWillAppear(MRJSONVideoAdView*) override { add("will appear"); }
    void videoAdFinished(MRJSONVideoAdView*, MPMoviePlayerController* p, bool refresh,
                         bool log) override {
        add(std::string("finished refresh=") + (refresh ? "1" : "0") + " log=" + (log ? "1" : "0") +
            (p ? "" : " without player"));
    }
    void videoAdStarted(MRJSONVideoAdView*, MPMoviePlayerController*) override { add("started"); }
    void videoButtonWasPressed(MRJSONVideoAdView*, MRJSONVideoButton* b) override {
        add("button " + b->tapURL()->absoluteString()->utf8());
    }
    void videoAdLoadOnCompletion(MRJSONVideoAdView*, NSURLRequest* r, int32_t o) override {
        add("completion url " + r->URL()->absoluteString()->utf8() + " " + std::to_string(o));
    }
    void videoAdLoadOnCompletionWithHTML(MRJSONVideoAdView*, NSString* html, int32_t o) override {
        add("completion html " + html->utf8() + " " + std::to_string(o));
    }
    void videoAdDidLoadNewAd(MRJSONVideoAdView*, MRJSONAd*) override { ++newAds; }
    void videoCacheFailed(MRJSONVideoAdView*) override { add("cache failed"); }
    void videoCacheSucceeded(MRJSONVideoAdView*) override { add("cache succeeded"); }

    void add(std::string e) { events.push_back(std::move(e)); }
    bool saw(const std::string& e) {
        for (auto& x : events)
            if (x == e) return true;
        return false;
    }
    std::vector<std::string> events;
    int newAds = 0;
};
