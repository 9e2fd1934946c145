// The item screen's banner weighted to Meridian, replayed through the terminal front end: the
// HTML ad, the overlay browser a tap opens, the hand-off of a telephone link, and the Meridian
// service's kill switch reaching the client through its handshake.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AppTesting.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSUserDefaults.h"
#include "UIKit/ImageCodecs.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "ads/meridian/MRHandshake.h"
#include "platform/UIKit/DrawingTesting.h"
#include "tools/services/MeridianModule.h"

namespace {

class MeridianTranscript : public apptest::AppSessionTest {
protected:
    void SetUp() override {
        AppSessionTest::SetUp();
        apptest::chooseDenverBikes();
        forgetClient();
        previousLoader_ = UIWebView::setURLLoader(UIWebViewConnectionLoader());
        previousSink_ = NSLogSetSink([this](const std::string& line) { log_ += line + "\n"; });
    }
    void TearDown() override {
        NSLogSetSink(previousSink_);
        UIWebView::setURLLoader(previousLoader_);
        forgetClient();
        AppSessionTest::TearDown();
    }
    // A fresh install of the Meridian client: no handshake made or saved.
    static void forgetClient() {
        MRHandshake::resetSharedHandshakeForTesting();
        NSFileManager::defaultManager()->removeItemAtPath(MRHandshake::statePath().get(), nullptr);
    }

    std::string log_;

private:
    NSLogSink previousSink_;
    UIWebViewURLLoader previousLoader_;
};

TEST_F(MeridianTranscript, WeightedToMeridianTheItemScreenShowsTheHTMLAdAndItsOverlay) {
    apptest::weightBannersTo("meridian");
    auto* meridian = servicestest::services().module<bnservices::MeridianModule>("meridian");
    ASSERT_NE(meridian, nullptr);
    bnservices::MeridianHandshakeReply reply;
    reply.callback = 60;
    meridian->setHandshakeReply(reply);
    apptest::expectAppTranscript("item-banner-meridian",
                                 "# The Meridian service now turns its ads off; the handshake a "
                                 "minute later brings the kill",
                                 [&] {
                                     auto killed = meridian->handshakeReply();
                                     killed.kill = true;
                                     meridian->setHandshakeReply(killed);
                                 });
    std::vector<std::string> asked;
    for (auto& r : servicestest::services().received("meridian"))
        asked.push_back(r.target.substr(0, r.target.find('?')));
    // The handshake (while the first banner was built), the ads, the click in the overlay; then
    // the second handshake that brought the kill switch.
    ASSERT_GE(asked.size(), 4u);
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "/appConfigServlet"), 2);
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "/handleClick.php5"), 1);
    EXPECT_TRUE(meridian->rejections().empty());
    EXPECT_NE(log_.find("MRSDK: Ad requests have been disabled."), std::string::npos);
    EXPECT_FALSE(MRHandshake::sharedHandshake()->isAdCallAllowed());
}

TEST_F(MeridianTranscript, TheHTMLAdFitsItsSlotOnTheItemScreen) {
    apptest::weightBannersTo("meridian");
    auto dir = apptest::expectTranscriptWithShots("banner-shots-meridian", "banner-shots");
    auto shot =
        UIImage::imageWithContentsOfFile(NSString::fromUTF8((dir / "meridian-item.png").string()));
    ASSERT_TRUE(shot);
    // The slot between the page and the tool bar: the ad's text, and its links under it.
    auto px = UIImagePixelsOf(shot->CGImage());
    int text = 0, links = 0;
    for (int y = 386; y < 436; ++y) {
        for (int x = 0; x < 320; ++x) {
            RGBA c = pixelAt(px, x, y);
            text += c.r < 100 && c.g < 100 && c.b < 100 ? 1 : 0;
            links += y >= 400 && c.r < 40 && c.g < 40 && c.b > 200 ? 1 : 0;
        }
    }
    EXPECT_GT(text, 100);
    EXPECT_GT(links, 100);

    // The overlay browser the ad opens covers the screen right below the status bar (its white
    // page there, not the item's bar), and its dark bottom bar reaches the screen's lower edge.
    auto overlay = UIImage::imageWithContentsOfFile(
        NSString::fromUTF8((dir / "meridian-overlay.png").string()));
    ASSERT_TRUE(overlay);
    EXPECT_TRUE(near(pixelAt(overlay, 160, 22), kWhite)) << pixelAt(overlay, 160, 22);
    for (int y : {440, 460, 478}) {
        RGBA bar = pixelAt(overlay, 160, y);
        EXPECT_LT(bar.r + bar.g + bar.b, 300) << y << ": " << bar;
    }
}

}  // namespace
