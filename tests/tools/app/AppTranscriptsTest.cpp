// The app's own screens replayed through the terminal front end against the stand-in site.
#include <gtest/gtest.h>

#include "AppTesting.h"
#include "Classes/ListInfo.h"
#include "Classes/SavedSearch.h"
#include "Classes/SavedSearchDb.h"
#include "Classes/SearchSettings.h"
#include "Foundation/Clock.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSUserDefaults.h"
#include "UIKit/UIApplication.h"

namespace {
// The search requests the site received (result pages), in order.
std::vector<std::string> searchRequests() {
    std::vector<std::string> found;
    for (const std::string& line : sitetest::takeLog()) {
        if (line.find("/search/") != std::string::npos) found.push_back(line);
    }
    return found;
}

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

TEST_F(AppTranscripts, BrowsingAfterTheCategoryPickersQuickTip) {
    apptest::expectAppTranscript("browse");
    EXPECT_TRUE(NSUserDefaults::standardUserDefaults()->boolForKey(NS("tipCategory")));
}

TEST_F(AppTranscripts, TheFilterAndKeywordReachTheSitesSearchRequest) {
    apptest::expectAppTranscript("search");
    auto requests = searchRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].find("http://mobile.bazaarnest.test/search/atq?query=lamp&sort=priceasc"
                               "&srchType=T&minAsk=&maxAsk=250&hasPic=1 "),
              std::string::npos)
        << requests[0];
    // No price bounds for jobs; the other keys stay.
    EXPECT_NE(requests[1].find("/search/jjj?query=lamp&sort=priceasc&srchType=T&minAsk=&maxAsk="
                               "&hasPic=1 "),
              std::string::npos)
        << requests[1];
}

TEST_F(AppTranscripts, ASearchIsSavedListedEditedAndRun) {
    apptest::expectAppTranscript("saved");
    auto db = make<SavedSearchDb>();
    ASSERT_TRUE(db->openDb());
    auto items = db->getItems();
    db->closeDb();
    ASSERT_EQ(items->count(), 1u);
    auto search = cast<SavedSearch>(items->objectAtIndex(0));
    EXPECT_EQ(search->listInfo()->searchKey()->utf8(), "chair");
    EXPECT_EQ(search->listInfo()->searchSettings()->maxPrice()->utf8(), "900");
    EXPECT_EQ(search->listInfo()->searchSettings()->scope(), 1);
    // Both runs asked the site for the keyword.
    auto requests = searchRequests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& line : requests)
        EXPECT_NE(line.find("query=chair"), std::string::npos) << line;
}
