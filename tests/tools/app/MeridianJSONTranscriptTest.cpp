// Meridian's JSON ads on the item screen, replayed through the terminal front end: the image
// slot's picture in the banner, and the video slot cached at first sight, then played full screen
// on the movie player.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "AppTesting.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSUserDefaults.h"
#include "UIKit/UIImage.h"
#include "ads/meridian/MRHandshake.h"
#include "platform/UIKit/DrawingTesting.h"
#include "tools/services/MeridianModule.h"

namespace fs = std::filesystem;

namespace {

class MeridianJSONTranscript : public apptest::AppSessionTest {
protected:
    void SetUp() override {
        AppSessionTest::SetUp();
        apptest::chooseDenverBikes();
        forgetClient();
    }
    void TearDown() override {
        forgetClient();
        AppSessionTest::TearDown();
    }
    // A fresh install of the Meridian client: no handshake and no cached video.
    static void forgetClient() {
        MRHandshake::resetSharedHandshakeForTesting();
        auto files = NSFileManager::defaultManager();
        files->removeItemAtPath(MRHandshake::statePath().get(), nullptr);
        auto library =
            NSSearchPathForDirectoriesInDomains(NSLibraryDirectory, NSUserDomainMask, true)
                ->objectAtIndex(0);
        files->removeItemAtPath(
            cast<NSString>(library)->stringByAppendingPathComponent(NS("mrsdk")).get(), nullptr);
    }
    std::vector<std::string> asked(const std::string& prefix) {
        std::vector<std::string> out;
        for (auto& r : servicestest::services().received("meridian"))
            if (r.target.rfind(prefix, 0) == 0) out.push_back(r.target);
        return out;
    }
};

TEST_F(MeridianJSONTranscript, TheImageSlotShowsThePictureInTheBanner) {
    apptest::weightBannersTo("meridian-image");
    const char* tmp = std::getenv("BN_TEST_TMP");
    fs::path dir = fs::path(tmp ? tmp : fs::temp_directory_path().string()) / "meridian-shots";
    fs::create_directories(dir);
    fs::path before = fs::current_path();
    fs::current_path(dir);
    apptest::expectAppTranscript("item-banner-meridian-image");
    fs::current_path(before);
    // The result list's banner and the item screen's.
    EXPECT_EQ(asked("/images/bread-320x53.png").size(), 2u);

    auto shot =
        UIImage::imageWithContentsOfFile(NSString::fromUTF8((dir / "meridian-image.png").string()));
    ASSERT_TRUE(shot && shot->CGImage());
    CGFloat scale = shot->pixelSize().width / 320;
    // The banner lies at the screen's foot, above the tab bar: find the picture's band there.
    int bandRow = -1;
    for (int y = 200; y < 480 && bandRow < 0; ++y) {
        RGBA p = pixelAt(shot.get(), int(200 * scale), int(y * scale));
        if (std::abs(p.r - 250) < 6 && std::abs(p.g - 200) < 6 && std::abs(p.b - 60) < 6)
            bandRow = y;
    }
    ASSERT_GE(bandRow, 0) << "the banner's band is not on the screen";
    // Its white mark at the left, and the darker edge above the band.
    RGBA mark = pixelAt(shot.get(), int(20 * scale), int((bandRow + 2) * scale));
    EXPECT_GT(mark.r, 245);
    EXPECT_GT(mark.b, 245);
    RGBA edge = pixelAt(shot.get(), int(200 * scale), int((bandRow - 12) * scale));
    EXPECT_NEAR(edge.r, 150, 6);
    EXPECT_NEAR(edge.g, 60, 6);
    fs::remove_all(dir);
}

TEST_F(MeridianJSONTranscript, TheVideoSlotCachesFirstThenPlaysFullScreen) {
    apptest::weightBannersTo("meridian-video");
    apptest::expectAppTranscript("item-banner-meridian-video");
    // One download of the video; it played from the cache with no further fetch.
    EXPECT_EQ(asked("/videos/mrvideo-30s.mp4").size(), 1u);
    EXPECT_FALSE(asked("/custom/common/pixel/image.php?activity=videostart").empty());
}

}  // namespace
