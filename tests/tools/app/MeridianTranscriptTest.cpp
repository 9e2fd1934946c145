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
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "ads/meridian/MRHandshake.h"
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

}  // namespace
