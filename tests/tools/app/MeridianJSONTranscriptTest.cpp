// Meridian's JSON ads on the item screen, replayed through the terminal front end: the image
// slot's picture in the banner, and the video slot cached at first sight, then played full screen
// on the movie player.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "AppTesting.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSUserDefaults.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIImage.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITableView.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "UIKit/UIWindow.h"
#include "ads/meridian/MRHandshake.h"
#include "ads/meridian/MRJSONVideoOverlayControlView.h"
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
    fs::path dir =
        apptest::expectTranscriptWithShots("item-banner-meridian-image", "meridian-shots");
    // The result list's banner and the item screen's.
    EXPECT_EQ(asked("/images/bread-320x53.png").size(), 2u);

    auto shot =
        UIImage::imageWithContentsOfFile(NSString::fromUTF8((dir / "meridian-image.png").string()));
    ASSERT_TRUE(shot && shot->CGImage());
    CGFloat scale = shot->pixelSize().width / 320;
    // The banner lies at the screen's foot, above the tab bar: find the picture's ground there.
    int top = -1;
    for (int y = 200; y < 480 && top < 0; ++y) {
        RGBA p = pixelAt(shot.get(), int(300 * scale), int(y * scale));
        if (std::abs(p.r - 150) < 6 && std::abs(p.g - 60) < 6 && std::abs(p.b - 30) < 6) top = y;
    }
    ASSERT_GE(top, 0) << "the banner's ground is not on the screen";
    // Its words: white ones on the first line, yellow ones on the second, right of the loaf.
    auto count = [&](CGRect r, auto test) {
        return countPixels(shot.get(),
                           CGRectMake(r.origin.x * scale, r.origin.y * scale, r.size.width * scale,
                                      r.size.height * scale),
                           test);
    };
    EXPECT_GT(count(CGRectMake(70, top + 6, 140, 18),
                    [](RGBA c) { return c.r > 245 && c.g > 245 && c.b > 245; }),
              150);
    EXPECT_GT(count(CGRectMake(70, top + 28, 190, 18),
                    [](RGBA c) { return c.r > 240 && std::abs(c.g - 200) < 8 && c.b < 70; }),
              150);
    // The loaf at the left: its crumb.
    RGBA crumb = pixelAt(shot.get(), int(34 * scale), int((top + 30) * scale));
    EXPECT_GT(crumb.r, 240) << crumb;
    EXPECT_NEAR(crumb.g, 200, 8) << crumb;
    fs::remove_all(dir);
}

// The overlay over the playing video, found in the windows.
Ref<MRJSONVideoOverlayControlView> videoOverlay(UIView* view) {
    if (auto overlay = as<MRJSONVideoOverlayControlView>(view)) return overlay;
    auto children = view->subviews();
    for (NSUInteger i = 0; children && i < children->count(); ++i)
        if (auto found = videoOverlay(cast<UIView>(children->objectAtIndex(i)).get())) return found;
    return nullptr;
}

// The screenshot's pixels near the colour, counted.
int pixelsNear(UIImage* shot, RGBA colour) {
    auto px = UIImagePixelsOf(shot->CGImage());
    int n = 0;
    for (int y = 0; y < int(px.height); ++y)
        for (int x = 0; x < int(px.width); ++x)
            if (near(pixelAt(px, x, y), colour, 6)) ++n;
    return n;
}

TEST_F(MeridianJSONTranscript, TheVideoSlotCachesFirstThenPlaysFullScreen) {
    apptest::weightBannersTo("meridian-video");
    // Visit's page comes from the stand-in service, as in the program.
    struct PagesFromTheNetwork {
        UIWebViewURLLoader before = UIWebView::setURLLoader(UIWebViewConnectionLoader());
        ~PagesFromTheNetwork() { UIWebView::setURLLoader(before); }
    } pages;
    bool checked = false;
    fs::path dir = apptest::expectTranscriptWithShots(
        "item-banner-meridian-video", "meridian-video-shots",
        "# The movie's picture shows, the skip button under the countdown.", [&] {
            auto window = UIApplication::sharedApplication()->keyWindow();
            auto overlay = window ? videoOverlay(window.get()) : nullptr;
            ASSERT_TRUE(overlay);
            auto label = overlay->countdownLabel();
            ASSERT_TRUE(label);
            auto buttons = overlay->buttons();
            ASSERT_GT(buttons->count(), 0u);
            // The skip button (the first, a picture) and the countdown do not overlap.
            auto skip = as<UIButton>(
                cast<NSDictionary>(buttons->objectAtIndex(0))->objectForKey(NS("UIButton")));
            ASSERT_TRUE(skip && skip->superview());
            EXPECT_FALSE(CGRectIntersectsRect(skip->frame(), label->frame()))
                << "the skip button covers the countdown";
            checked = true;
        });
    EXPECT_TRUE(checked);
    // One download of the video; it played from the cache with no further fetch.
    EXPECT_EQ(asked("/videos/mrvideo-30s.mp4").size(), 1u);
    EXPECT_FALSE(asked("/custom/common/pixel/image.php?activity=videostart").empty());

    // The movie's first picture fills the screen: its wall and its window's noon sky.
    auto shot =
        UIImage::imageWithContentsOfFile(NSString::fromUTF8((dir / "meridian-video.png").string()));
    ASSERT_TRUE(shot && shot->CGImage());
    CGFloat scale = shot->pixelSize().width / 320;
    int area = int(320 * 480 * scale * scale);
    EXPECT_GT(pixelsNear(shot.get(), RGBA{200, 180, 150, 255}), area / 10) << "no wall";
    EXPECT_GT(pixelsNear(shot.get(), RGBA{120, 190, 250, 255}), area / 5) << "no sky";
    // Paused, the player's white pause bars show over the picture, which stays.
    auto paused = UIImage::imageWithContentsOfFile(
        NSString::fromUTF8((dir / "meridian-video-paused.png").string()));
    ASSERT_TRUE(paused && paused->CGImage());
    EXPECT_GT(pixelsNear(paused.get(), RGBA{120, 190, 250, 255}), area / 5);
    RGBA middle = pixelAt(paused.get(), int(160 * scale), int(240 * scale));
    RGBA beside = pixelAt(paused.get(), int(160 * scale), int(232 * scale));
    RGBA across = pixelAt(paused.get(), int(152 * scale), int(240 * scale));
    // One of the two directions crosses a bar, whichever way the picture is turned.
    EXPECT_TRUE(near(beside, kWhite, 8) || near(across, kWhite, 8)) << beside << " " << across;
    EXPECT_LT(middle.r + middle.g + middle.b, 3 * 120) << "no dark disc in the middle";
    // Visit's page lies whole on the screen, turned with the player: its bar down the whole left
    // edge with Close at its foot, the page white beside it and its heading whole across.
    auto visit =
        UIImage::imageWithContentsOfFile(NSString::fromUTF8((dir / "meridian-visit.png").string()));
    ASSERT_TRUE(visit && visit->CGImage());
    auto dark = [](RGBA c) { return c.r + c.g + c.b < 3 * 90; };
    for (int y : {4, 120, 240, 360, 420})
        EXPECT_TRUE(dark(pixelAt(visit.get(), int(10 * scale), int(y * scale))))
            << "no bar at the left edge at " << y;
    EXPECT_GT(countPixels(visit.get(), CGRectMake(10 * scale, 440 * scale, 24 * scale, 30 * scale),
                          [](RGBA c) { return c.r > 220 && c.g > 220 && c.b > 220; }),
              int(12 * scale * scale))
        << "no Close at the bar's foot";
    EXPECT_TRUE(near(pixelAt(visit.get(), int(150 * scale), int(400 * scale)), kWhite, 8));
    // The heading's words reach from the top of the screen to past its middle.
    auto heading = [&](int from, int to) {
        return countPixels(visit.get(),
                           CGRectMake(260 * scale, from * scale, 40 * scale, (to - from) * scale),
                           [](RGBA c) { return c.r + c.g + c.b < 3 * 60; });
    };
    EXPECT_GT(heading(0, 100), int(100 * scale * scale));
    EXPECT_GT(heading(200, 320), int(100 * scale * scale));
    // After the memory warning the screen's top strip is still the picture's, not the status
    // bar's black over the Done button.
    auto warned = UIImage::imageWithContentsOfFile(
        NSString::fromUTF8((dir / "meridian-video-memory-warning.png").string()));
    ASSERT_TRUE(warned && warned->CGImage());
    auto darkAtTheTop = [&](UIImage* image) {
        return countPixels(image, CGRectMake(0, 0, 320 * scale, 20 * scale),
                           [](RGBA c) { return c.r + c.g + c.b < 3 * 40; });
    };
    EXPECT_LT(darkAtTheTop(warned.get()), int(320 * 20 * scale * scale) / 10);
    EXPECT_EQ(darkAtTheTop(warned.get()), darkAtTheTop(shot.get()));
    fs::remove_all(dir);
}

TEST_F(MeridianJSONTranscript, AnEmptyBannerSlotLeavesTheListsLastRowInSightAndToTouch) {
    apptest::weightBannersTo("meridian-video");
    bool checked = false;
    fs::path dir = apptest::expectTranscriptWithShots(
        "results-no-ad", "no-ad-shots",
        "# With no ad in its slot the list runs to the foot of the screen, its last row in sight "
        "there.",
        [&] {
            auto window = UIApplication::sharedApplication()->keyWindow();
            ASSERT_TRUE(window);
            // A touch in the slot's place reaches the list's row under it.
            auto hit = window->hitTest(CGPointMake(160, 460), nullptr);
            ASSERT_TRUE(hit);
            bool inTable = false;
            for (auto v = hit; v && !inTable; v = v->superview())
                inTable = is<UITableView>(v.get());
            EXPECT_TRUE(inTable) << "the empty slot takes the touch";
            checked = true;
        });
    EXPECT_TRUE(checked);
    auto shot =
        UIImage::imageWithContentsOfFile(NSString::fromUTF8((dir / "results-no-ad.png").string()));
    ASSERT_TRUE(shot && shot->CGImage());
    CGFloat scale = shot->pixelSize().width / 320;
    // The slot's band, 430 to 480, shows the last row's text and picture, not blank white.
    auto px = UIImagePixelsOf(shot->CGImage());
    int marked = 0;
    for (int y = int(432 * scale); y < int(478 * scale); ++y)
        for (int x = 0; x < int(320 * scale); ++x)
            if (RGBA c = pixelAt(px, x, y); c.r + c.g + c.b < 3 * 200) ++marked;
    EXPECT_GT(marked, int(200 * scale * scale)) << "a blank band over the last row";
    fs::remove_all(dir);
}

}  // namespace
