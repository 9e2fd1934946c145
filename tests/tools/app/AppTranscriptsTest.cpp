// The app's own screens replayed through the terminal front end against the stand-in site.
#include <gtest/gtest.h>

#include "AppTesting.h"
#include "Foundation/Clock.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSUserDefaults.h"
#include "UIKit/UIApplication.h"

namespace {
[[maybe_unused]] testing::Environment* const kAppBundle =
    testing::AddGlobalTestEnvironment(new apptest::AppBundle);

class AppTranscripts : public testing::Test {
protected:
    void SetUp() override {
        apptest::freshInstall();
        sitetest::site().clearFaults();
        sitetest::takeLog();
    }
    void TearDown() override { apptest::freshInstall(); }
};
}  // namespace

TEST_F(AppTranscripts, LocationsAStatesCityASubAreaAndARecentOne) {
    apptest::expectAppTranscript("locations");
}

TEST_F(AppTranscripts, NoLocationAsksForOneBeforeSearching) {
    apptest::expectAppTranscript("nolocation");
}

TEST_F(AppTranscripts, APrimedNinthLaunchPromptsForARatingAndHandsOffToTheStore) {
    // Eight launches, the first eight days before the script's clock starts.
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setObject(NSDate::dateWithTimeIntervalSince1970(kManualClockDefaultStart - 8 * 86400),
                        NS("fistRun1"));
    defaults->setInteger(8, NS("runCount1"));
    defaults->synchronize();
    apptest::expectAppTranscript("rating");
    EXPECT_EQ(defaults->integerForKey(NS("runCount1")), 9);
    EXPECT_TRUE(defaults->boolForKey(NS("askedForRating")));
    EXPECT_TRUE(defaults->boolForKey(NS("rated")));
}

TEST_F(AppTranscripts, TheFilterTurnsTheButtonRedAndResetStoresTheDefaultsAtOnce) {
    apptest::expectAppTranscript("filter");
    auto defaults = NSUserDefaults::standardUserDefaults();
    EXPECT_EQ(defaults->stringForKey(NS("PriceMax"))->utf8(), "");
    EXPECT_FALSE(defaults->boolForKey(NS("HasImage")));
    EXPECT_EQ(defaults->integerForKey(NS("TitleOnly")), 0);
}
