// The catalog's Widgets screen replayed against the stand-in site: the image views show the
// default image until their thumbnails arrive (the last held at the site), the loading label
// sits in its bezel, and tapping the page dots steps the styled label. The screenshot, taken
// while the last thumbnail is held, shows the default image, the bezel and the dots.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "Foundation/NSString.h"
#include "Foundation/NetworkWork.h"
#include "HeldThumbnailTesting.h"
#include "UIKit/UIImage.h"
#include "platform/UIKit/DrawingTesting.h"
#include "ui/core/DZGlobalCore.h"

namespace fs = std::filesystem;

TEST(CatalogWidgets, ImageViewsLoadBehindADefaultImageBesideTheBezelAndDots) {
    InScratchFolder scratch("catalog-widgets");
    fs::path shot = fs::current_path() / "widgets.png";
    fs::remove(shot);
    HeldReplay replay = replayWithHeldThumbnail("catalog-widgets.script",
                                                "/thumb/1007722004_1.jpg",  // the fourth row's
                                                "catalog-widget-thumbnail");
    EXPECT_EQ(replay.status, 0);
    expectTranscript(shellTestFolder() / "catalog-widgets.transcript", replay.transcript);
    EXPECT_EQ(replay.passes, 1u);
    EXPECT_EQ(DZNetworkActivityCount(), 0);
    EXPECT_EQ(NetworkWork::inFlight(), 0);

    // The screen's content starts 64 points down. The held fourth image view (247, 10) still
    // shows the grey default image; the bezel of "Loading..." is centred in (0, 90, 320, 80);
    // the first of four dots sits at x = round(160 - (64 - 10) / 2) = 133, y = 187.
    auto image = UIImage::imageWithContentsOfFile(NSString::fromUTF8(shot.string()));
    ASSERT_TRUE(image) << shot;
    EXPECT_TRUE(near(pixelAt(image, 247 + 35, 64 + 10 + 35), RGBA{217, 217, 217, 255}));
    EXPECT_FALSE(near(pixelAt(image, 10 + 35, 64 + 10 + 35), RGBA{217, 217, 217, 255}, 10));
    // Black at 0.7 over the white screen, at the bezel's left edge inside its rounding; as wide
    // as its text in the faces' measures, either side of the middle.
    const int across = 64 + 90 + 40;
    int left = 0, right = 319;
    while (left < 160 && near(pixelAt(image, left, across), kWhite))
        ++left;
    while (right > 160 && near(pixelAt(image, right, across), kWhite))
        --right;
    EXPECT_NEAR(left + right, 320, 2) << left << " " << right;
    EXPECT_GT(left, 60);
    EXPECT_TRUE(near(pixelAt(image, left + 4, across), RGBA{77, 77, 77, 255}, 3)) << left;
    EXPECT_TRUE(near(pixelAt(image, left - 3, across), kWhite)) << left;
    // On the dots' grey band: the current dot white, the next one dark grey, the band between.
    EXPECT_TRUE(near(pixelAt(image, 133 + 3, 64 + 180 + 10), kWhite));
    EXPECT_TRUE(near(pixelAt(image, 133 + 16 + 3, 64 + 180 + 10), RGBA{77, 77, 77, 255}));
    EXPECT_TRUE(near(pixelAt(image, 133 + 16 - 3, 64 + 180 + 10), RGBA{153, 153, 153, 255}));
}
