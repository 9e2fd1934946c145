// Conversions and the activity log pixel against the stand-in Meridian service.
#include "Foundation/NSBundle.h"
#include "Foundation/NSException.h"
#include "UIKit/UIDevice.h"
#include "ads/meridian/MRAdView.h"
#include "ads/meridian/MRLog.h"
#include "ads/meridian/MeridianTesting.h"
#include "support/FoundationTesting.h"

namespace {

class MRConversionTest : public MeridianTest {
protected:
    void SetUp() override {
        MeridianTest::SetUp();
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(key().get());
    }
    void TearDown() override {
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(key().get());
        MeridianTest::TearDown();
    }
    static Ref<NSString> key() {
        return NSString::stringWithFormat(
            NS("%@_MRIRegister"),
            NSBundle::mainBundle()->objectForInfoDictionaryKey(NS("CFBundleDisplayName")).get());
    }
    std::vector<std::string> conversions() { return targets("/handleConversion?"); }
};

TEST_F(MRConversionTest, TheFirstAnsweredConversionSendsFirstLaunchOneAndLaterOnesZero) {
    standin::Fault broken;
    broken.host = "cvt.meridian.test";
    broken.path = "/handleConversion";
    broken.status = 500;
    services->addFault(broken);
    MRAdView::startSynchronousConversionTrackerWithGoalId(NS("signup"));
    // An error page is no conversion: the first launch is still to be reported.
    EXPECT_FALSE(NSUserDefaults::standardUserDefaults()->boolForKey(key().get()));
    services->clearFaults();
    MRAdView::startSynchronousConversionTrackerWithGoalId(NS("signup"));
    EXPECT_TRUE(NSUserDefaults::standardUserDefaults()->boolForKey(key().get()));
    MRAdView::startSynchronousConversionTrackerWithGoalId(NS("purchase"));
    auto sent = conversions();
    ASSERT_EQ(sent.size(), 3u);
    std::string auid = text(UIDevice::currentDevice()->uniqueIdentifier().get());
    EXPECT_EQ(sent[0], "/handleConversion?goalid=signup&auid=" + auid + "&firstlaunch=1");
    EXPECT_EQ(sent[1], "/handleConversion?goalid=signup&auid=" + auid + "&firstlaunch=1");
    EXPECT_EQ(sent[2], "/handleConversion?goalid=purchase&auid=" + auid + "&firstlaunch=0");
    EXPECT_TRUE(meridian->rejections().empty());

    EXPECT_EQ(raisedName([] { MRAdView::startSynchronousConversionTrackerWithGoalId(nullptr); }),
              "Invalid goal id");
    // A view's own tracker sends nothing.
    auto view = banner("html", false, false);
    view->startConversionTrackerWithGoalId(NS("signup"));
    runLoopUntil([] { return NetworkWork::inFlight() == 0; });
    EXPECT_EQ(conversions().size(), 3u);
}

using MRLogTest = MeridianTest;

TEST_F(MRLogTest, PixelsNameTheActivityAndCarryEveryFieldEscaped) {
    EXPECT_EQ(text(MRLog::stringFromLogType(0).get()), "INTERACTION");
    EXPECT_EQ(text(MRLog::stringFromLogType(10).get()), "INTERACTION");
    EXPECT_EQ(text(MRLog::stringFromLogType(3).get()), "ON_LOAD");
    EXPECT_EQ(text(MRLog::stringFromLogType(9).get()), "INAPPLOAD");

    MRLog::log(nullptr, 4, nullptr);
    auto params = NSMutableDictionary::dictionary();
    params->setObject(NS("live"), NS("version"));
    params->setObject(NS("a&b=c"), NS("campaign"));
    params->setObject(NS(""), NS("empty"));
    MRLog::log(params.get(), 8, NS("12"));
    ASSERT_TRUE(runLoopUntil(
        [&] { return targets("/productiton/").size() == 1 && targets("/custom/").size() == 1; }));
    EXPECT_EQ(targets("/productiton/")[0],
              "/productiton/common/pixel/image.php?activity=VIEW_VIDEO&acid=99");
    // The value's "&" and "=" stay inside it: one key, not two.
    EXPECT_EQ(
        targets("/custom/")[0],
        "/custom/common/pixel/image.php?activity=CALL&acid=12&version=live&campaign=a%26b%3Dc");
    auto received = services->received("meridian");
    std::vector<std::string> hosts;
    for (auto& r : received)
        hosts.push_back(r.host);
    EXPECT_NE(std::find(hosts.begin(), hosts.end(), "demo.meridian.test"), hosts.end());
    EXPECT_NE(std::find(hosts.begin(), hosts.end(), "log.meridian.test"), hosts.end());
    EXPECT_NE(
        log.find("MRLog: http://log.meridian.test/custom/common/pixel/image.php?activity=CALL"),
        std::string::npos);
    EXPECT_TRUE(meridian->rejections().empty());
}

}  // namespace
