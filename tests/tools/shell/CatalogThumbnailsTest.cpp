// The catalog's thumbnail screen replayed against the stand-in site: the loading under way with
// the network activity shown (the last thumbnail held at the site), then done, then a second
// visit answered from the cache.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "Foundation/NetworkWork.h"
#include "HeldThumbnailTesting.h"
#include "support/RunLoopTesting.h"
#include "ui/core/DZGlobalCore.h"

TEST(CatalogThumbnails, TheScreenLoadsThroughTheQueueAndComesBackFromTheCache) {
    sitetest::takeLog();
    HeldReplay replay = replayWithHeldThumbnail("catalog-thumbnails.script",
                                                "/thumb/1007722008_1.jpg",  // the eighth row's
                                                "catalog-thumbnail");
    EXPECT_EQ(replay.status, 0);
    expectTranscript(shellTestFolder() / "catalog-thumbnails.transcript", replay.transcript);
    EXPECT_EQ(replay.passes, 1u);
    EXPECT_EQ(DZNetworkActivityCount(), 0);
    EXPECT_EQ(NetworkWork::inFlight(), 0);
    // Each thumbnail was fetched once: the second visit read nothing from the site. (The site
    // writes its log line after the answer, from its own thread.)
    std::set<std::string> fetched;
    size_t fetches = 0;
    runLoopUntil([&] {
        for (const std::string& line : sitetest::takeLog()) {
            size_t at = line.find("/thumb/");
            if (at == std::string::npos) continue;
            ++fetches;
            fetched.insert(line.substr(at, line.find(' ', at) - at));
        }
        return fetches >= 8;
    });
    EXPECT_EQ(fetches, 8u);
    EXPECT_EQ(fetched.size(), 8u);
}
