// The app's own screens replayed through the terminal front end against the stand-in site.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

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
#include "platform/UIKit/DrawingTesting.h"
#include "support/RunLoopTesting.h"
#include "support/SqlTesting.h"
#include "tools/site/SiteNames.h"

namespace {
// The search requests (result pages) the site answered, in order, once `expected` of them are
// in its log: the site writes each line after its answer, from its own thread.
std::vector<std::string> searchRequests(size_t expected) {
    std::vector<std::string> found;
    runLoopUntil([&] {
        for (const std::string& line : sitetest::takeLog()) {
            if (line.find("/search/") != std::string::npos) found.push_back(line);
        }
        return found.size() >= expected;
    });
    return found;
}

[[maybe_unused]] testing::Environment* const kAppBundle =
    testing::AddGlobalTestEnvironment(new apptest::AppBundle);

class AppTranscripts : public apptest::AppSessionTest {};
}  // namespace

TEST_F(AppTranscripts, LocationsAStatesCityASubAreaAndARecentOne) {
    apptest::expectAppTranscript("locations");
}

TEST_F(AppTranscripts, TheStatusBarTurnsItsIndicatorUntilThePagesArrived) {
    NKHTTPRequest::setShouldUpdateNetworkActivityIndicator(true);
    auto dir = apptest::expectTranscriptWithShots("locations-indicator", "locations-indicator");
    EXPECT_FALSE(UIApplication::sharedApplication()->isNetworkActivityIndicatorVisible());
    // Between the carrier's name and the time: ink that stands out from the bar.
    auto inkBesideTheCarrier = [&](const char* name) {
        auto shot = UIImage::imageWithContentsOfFile(NSString::fromUTF8((dir / name).string()));
        EXPECT_TRUE(shot) << name;
        if (!shot) return -1;
        auto px = UIImagePixelsOf(shot->CGImage());
        RGBA bar = pixelAt(px, 115, 10);
        int n = 0;
        for (int y = 2; y < 18; ++y)
            for (int x = 72; x < 112; ++x)
                n += !near(pixelAt(px, x, y), bar, 40);
        return n;
    };
    EXPECT_GT(inkBesideTheCarrier("locations-loading.png"), 20);
    EXPECT_EQ(inkBesideTheCarrier("locations-loaded.png"), 0);
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

TEST_F(AppTranscripts, ATypedKeywordOutlivesAMemoryWarningUnderAnotherScreen) {
    apptest::expectAppTranscript("keyword-kept");
}

TEST_F(AppTranscripts, PickersShowTheSitesFailuresAndAskAgainWhenOpenedAgain) {
    bnsite::Fault index;
    index.path = "/about/sites";
    index.status = 503;
    index.remaining = 1;
    sitetest::site().addFault(index);
    bnsite::Fault metro;
    metro.host = "boston.bazaarnest.test";
    metro.status = 503;
    metro.remaining = 1;
    sitetest::site().addFault(metro);
    apptest::expectAppTranscript("pickers-failing",
                                 "# The city's category page fails once: the message, then the "
                                 "list on the next opening.",
                                 [] {
                                     bnsite::Fault city;
                                     city.host = "boston.bazaarnest.test";
                                     city.status = 503;
                                     city.remaining = 1;
                                     sitetest::site().addFault(city);
                                 });
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
    auto requests = searchRequests(2);
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
    auto settings = search->listInfo()->searchSettings();
    EXPECT_EQ(settings->maxPrice()->utf8(), "1500");
    EXPECT_EQ(settings->minPrice()->utf8(), "");
    EXPECT_EQ(settings->scope(), 1);
    EXPECT_EQ(settings->sort(), 3);
    EXPECT_TRUE(settings->hasImage());
    // The search, then the saved search with the filter it was saved with, then with its
    // settings as edited.
    auto requests = searchRequests(3);
    ASSERT_EQ(requests.size(), 3u);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_NE(requests[i].find("/search/atq?query=chair&sort=priceasc&srchType=T&minAsk=&"
                                   "maxAsk=250&hasPic=1 "),
                  std::string::npos)
            << requests[i];
    EXPECT_NE(requests[2].find("/search/atq?query=chair&sort=pricedsc&srchType=A&minAsk=&"
                               "maxAsk=1500&hasPic=1 "),
              std::string::npos)
        << requests[2];
}

TEST_F(AppTranscripts, AnOlderSavedSearchRunsAsBeforeUntilASettingChanges) {
    // The app has made its store on launch; the earlier code's row goes in under the mark.
    apptest::expectAppTranscript("saved-older", "tap Saved Searches", [] {
        auto path = make<SavedSearchDb>()->dbFilePath()->utf8();
        runSql(path,
               {"PRAGMA user_version = 0",
                "INSERT INTO savedSearch (keyword, location, locationUrl, category, categoryUrl, "
                "scope, sort, hasImage, maxPrice, minPrice) VALUES ('lamp', 'Mobile', "
                "'http://mobile.bazaarnest.test', 'Antiques', 'atq/', '0', '2', '1', '900', '')"});
    });
    // Run after a Done that changed nothing: without a filter, as always. Then with the one its
    // settings showed, and the sort chosen.
    auto requests = searchRequests(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].find("/search/atq?query=lamp&srchType=&minAsk=&maxAsk= "),
              std::string::npos)
        << requests[0];
    EXPECT_NE(requests[1].find("/search/atq?query=lamp&sort=pricedsc&srchType=A&minAsk=&maxAsk= "),
              std::string::npos)
        << requests[1];
}

namespace {
// A pixel of a screenshot, at screen points (the shot is at the screen's scale).
RGBA shotPixel(UIImage* shot, CGFloat x, CGFloat y) {
    CGFloat scale = shot->pixelSize().width / 320;
    return pixelAt(shot, int(x * scale), int(y * scale));
}

// The ink of one line of text in a band of a screenshot (points, a point at a time): where it
// ends on the right, and whether its last columns reach well above its lowest ink, as a
// letter's do and an ellipsis's dots at the baseline do not.
struct LineEnd {
    int right = -1;
    bool letter = false;
};
template <class Ink>
LineEnd lineEnd(UIImage* shot, CGRect band, Ink ink) {
    LineEnd end;
    int x0 = int(band.origin.x), x1 = int(CGRectGetMaxX(band)), y0 = int(band.origin.y),
        y1 = int(CGRectGetMaxY(band));
    int bottom = -1;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (ink(shotPixel(shot, x, y))) {
                end.right = std::max(end.right, x);
                bottom = std::max(bottom, y);
            }
    for (int y = y0; y < bottom - 3; ++y)
        for (int x = end.right - 2; x <= end.right; ++x)
            end.letter |= ink(shotPixel(shot, x, y));
    return end;
}
}  // namespace

TEST_F(AppTranscripts, ScreenshotsShowTheTabIconsTheFilterButtonsColoursAndTheEmbossedButton) {
    std::string folder =
        (std::filesystem::temp_directory_path() / ("bazaarnest-shots-" + std::to_string(getpid())))
            .string();
    std::filesystem::create_directories(folder);
    std::string script = "screenshot " + folder + "/grey.png\n" + "tap Search Settings\n" +
                         "screenshot " + folder + "/settings.png\n" + "tap Title Only\ntap Done\n" +
                         "screenshot " + folder + "/red.png\n";
    int status = -1;
    apptest::runApp(script, "", nullptr, &status);
    EXPECT_EQ(status, 0);
    auto grey = UIImage::imageWithContentsOfFile(NSString::fromUTF8(folder + "/grey.png"));
    auto red = UIImage::imageWithContentsOfFile(NSString::fromUTF8(folder + "/red.png"));
    auto settings = UIImage::imageWithContentsOfFile(NSString::fromUTF8(folder + "/settings.png"));
    std::filesystem::remove_all(folder);
    ASSERT_TRUE(settings && settings->CGImage());
    ASSERT_TRUE(grey && grey->CGImage());
    ASSERT_TRUE(red && red->CGImage());

    // The tab bar's drawn icons: the selected Search tab's glass lit blue on its ring, dark in
    // its middle; the Favorites tab's star grey in its middle, the bar dark around it.
    RGBA ring = shotPixel(grey, 57.5f, 447.5f);
    EXPECT_GT(ring.b, ring.r + 60) << ring;
    EXPECT_GT(ring.b, 150) << ring;
    RGBA glass = shotPixel(grey, 50.5f, 447.5f);
    EXPECT_LT(glass.b, 100) << glass;
    RGBA star = shotPixel(grey, 160, 451);
    EXPECT_GT(star.r, 90) << star;
    EXPECT_LT(std::abs(star.r - star.b), 20) << star;
    RGBA bar = shotPixel(grey, 146, 436);
    EXPECT_LT(bar.r, 80) << bar;

    // The filter button: grey for the default filter, red once the filter is set.
    RGBA greyButton = shotPixel(grey, 172, 268);
    EXPECT_LT(std::abs(greyButton.r - greyButton.b), 40) << greyButton;
    RGBA redButton = shotPixel(red, 172, 268);
    EXPECT_GT(redButton.r, redButton.g + 80) << redButton;
    EXPECT_GT(redButton.r, redButton.b + 80) << redButton;

    // Labels read whole at the faces' metrics: the settings' "Maximum Price" ends in its "e"
    // inside its 130 points, the red filter button's title in its "*".
    auto dark = [](RGBA c) { return c.r < 100 && c.g < 100 && c.b < 100; };
    LineEnd price = lineEnd(settings, CGRectMake(20, 86, 140, 27), dark);
    EXPECT_TRUE(price.letter);
    EXPECT_GT(price.right, 130);
    EXPECT_LT(price.right, 150);
    auto white = [](RGBA c) { return c.r > 200 && c.g > 200 && c.b > 200; };
    LineEnd filter = lineEnd(red, CGRectMake(168, 256, 140, 26), white);
    EXPECT_TRUE(filter.letter);
    EXPECT_LT(filter.right, 308);

    // The embossed location button: white at its top, blue-grey at its foot.
    RGBA top = shotPixel(grey, 16, 37);
    RGBA foot = shotPixel(grey, 16, 95);
    EXPECT_GT(top.r, 245) << top;
    EXPECT_GT(top.r, foot.r + 12) << top << foot;
    EXPECT_GT(foot.b, foot.r + 6) << foot;
}

// The app logs as it always has (its launch count among other lines), but the log goes to a
// file: nothing of it reaches the screens or standard error, and "log" prints it on request.
TEST_F(AppTranscripts, TheAppsLogGoesToItsFileAndLogPrintsIt) {
    namespace fs = std::filesystem;
    fs::path caught = scratchFolder() / ("stderr-" + std::to_string(getpid()) + ".txt");
    std::fflush(stderr);
    int saved = dup(STDERR_FILENO);
    int fd = open(caught.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    dup2(fd, STDERR_FILENO);
    close(fd);
    std::string transcript = apptest::runApp("log\n");
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    std::string errors = readFile(caught);
    fs::remove(caught);

    EXPECT_EQ(errors.find("runcount"), std::string::npos) << errors;
    size_t asked = transcript.find("> log\n");
    ASSERT_NE(asked, std::string::npos) << transcript;
    EXPECT_EQ(transcript.substr(0, asked).find("runcount"), std::string::npos) << transcript;
    std::string printed = transcript.substr(asked);
    EXPECT_NE(printed.find(">> The app's log (" + ShellDefaultLogPath() + "): "), std::string::npos)
        << printed;
    // Each line keeps its time; the process and thread, the same on every line, are left out.
    EXPECT_NE(printed.find("0 runcount 1\n"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("test_AppScreens["), std::string::npos) << printed;
    EXPECT_NE(readFile(ShellDefaultLogPath()).find("runcount 1"), std::string::npos);
}

// On the real clock a person is shown the screen once it has come to rest: after the login
// overlay's Cancel, the overlay has slid away and the buttons under it take touches.
TEST_F(AppTranscripts, OnTheRealClockAScreenPrintsOnceItsAnimationsHaveEnded) {
    apptest::chooseDenverBikes();
    std::string transcript =
        apptest::runApp("tab Post\ntap Cancel\ntap Login to Your Account\n", "", nullptr, nullptr,
                        /*realClock=*/true);
    size_t cancel = transcript.find("> tap Cancel\n");
    size_t next = transcript.find("> tap Login to Your Account\n");
    ASSERT_NE(cancel, std::string::npos) << transcript;
    ASSERT_NE(next, std::string::npos) << transcript;
    EXPECT_EQ(transcript.find("!!"), std::string::npos) << transcript;
    std::string after = transcript.substr(cancel, next - cancel);
    EXPECT_NE(after.find("[1] (Login to Your Account)\n[2] (Post without Account)\n"),
              std::string::npos)
        << after;
    EXPECT_EQ(after.find("(Cancel)"), std::string::npos) << after;
    // The next tap reaches the button it names.
    std::string tapped = transcript.substr(next);
    EXPECT_EQ(tapped.find("Nothing happened"), std::string::npos) << tapped;
    EXPECT_NE(tapped.find("[_(Email or handle)]"), std::string::npos) << tapped;
}

// What a finger does on the app's screens where something lies over part of what it names (a
// bar over half a row, an alert the first of two taps raised), counted by a mark in what prints
// from the gesture on, as the catalog's table of gestures counts them; and the logins the site
// was sent. Denver's bikes are chosen.
TEST_F(AppTranscripts, EachGestureActsOnceOnThePartAFingerReaches) {
    std::map<std::string, std::string> screens;
    screens["login"] = "tab Post\nwait 0.3\n";
    // Its last row, Bikes, lies half under the tab bar.
    screens["categories"] =
        "tab Post\nwait 0.3\ntap Cancel\nwait 0.3\ntap Post without Account\nwait 1\n"
        "tap For Sale\n";
    // The first row slid half under the navigation bar.
    screens["results"] = "tap Browse All\nwait 1\ndrag 4 by 0 -50\n";
    screens["compose"] = screens["categories"] + "tap Bikes\n";
    screens["country picker"] = "tap Choose Location\nwait 1\ntap Change Country or Continent\n";
    // The bike on the results' top row made a favourite: its row, in Edit, or showing its Delete.
    const std::string favorites =
        "tap Browse All\nwait 1\ntap 3\nwait 1\ntap Favorite\nback\nback\ntab Favorites\n";
    screens["favorite edit"] = favorites + "tap Edit\n";
    screens["favorite delete"] = favorites + "delete 2\n";
    struct Row {
        const char *screen, *gesture, *mark;
        int times;
        int logins = -1;  // -1: not counted
    };
    const Row rows[] = {
        {"login", "double-tap 4\nchoose OK", "Login Failed", 1, 1},
        {"categories", "hold 10", "< Select Category   | Compose |", 1},
        {"categories", "drag 10 by 3 3", "< Select Category   | Compose |", 1},
        {"categories", "pinch 10 2", "*Post*", 1},
        {"results", "hold 3", "| 1 of 100 |", 1},
        {"results", "double-tap 1", "(Choose Location)", 1},
        {"compose", "drag 7 by 0 -150", "(keyboard", 0},
        {"compose", "drag 7 by 3 0", "(keyboard", 1},
        {"country picker", "scroll down 5", "(5 more rows above)", 1},
        {"country picker", "tap Africa", "*Africa*", 0},
        {"favorite delete", "tap Beautiful hybrid bike", "Nothing labelled", 1},
        {"favorite delete", "tap $2350", "Nothing labelled", 1},
        {"favorite edit", "tap $2350", "Nothing labelled", 1},
        {"favorite edit", "tap 2\ntap $2350", "Nothing labelled", 1},
        {"favorite delete", "scroll down", "The Delete button went away", 1},
        {"favorite delete", "scroll top", "The Delete button went away", 1},
        {"favorite delete", "pull", "The Delete button went away", 1},
        {"favorite delete", "swipe left", "The Delete button went away", 1},
        {"favorite delete", "swipe right", "The Delete button went away", 1},
        {"favorite delete", "delete 2", "The Delete button went away", 1},
        {"favorite delete", "drag 3 by 0 -150", "The Delete button went away", 1},
        // A drag that ends where it began presses the Delete; one towards nothing fails.
        {"favorite delete", "drag 3 to 3", "Beautiful hybrid bike", 0},
        {"favorite delete", "drag 2 to 99\ntap 3", "Beautiful hybrid bike", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.screen) + ": " + row.gesture);
        apptest::freshInstall();
        apptest::chooseDenverBikes();
        sitetest::takeLog();
        std::string transcript = apptest::runApp(screens[row.screen] + row.gesture + "\n");
        EXPECT_EQ(timesFromCommand(transcript, row.gesture, row.mark), row.times) << transcript;
        if (row.logins < 0) continue;
        // The site writes its log line after its answer, from its own thread.
        const std::string login = "\"POST https://" + std::string(bnsite::kAccountHost) + "/login";
        int logins = 0;
        runLoopUntil(
            [&] {
                for (const std::string& line : sitetest::takeLog())
                    logins += line.find(login) != std::string::npos;
                return logins > row.logins;
            },
            0.5);
        EXPECT_EQ(logins, row.logins);
    }
}
