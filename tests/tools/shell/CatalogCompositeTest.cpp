// The catalog's Launcher and Tabs screens replayed: the shell lists the icons with their badges
// and the tabs, taps open an icon and select tabs, and the screenshot shows the large badge at
// the corner of the second icon.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "Foundation/NSString.h"
#include "TranscriptTesting.h"
#include "UIKit/UIImage.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/services/RunningServices.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/ShellSession.h"

namespace fs = std::filesystem;

TEST(CatalogComposite, TheShellListsIconsAndTabsAndTapsThem) {
    registerCatalogApp();
    fs::path here = shellTestFolder();
    fs::path shot = fs::current_path() / "launcher.png";
    fs::remove(shot);
    ShellOptions options;
    options.scriptPath = (here / "catalog-composite.script").string();
    options.delegateClassName = kCatalogDelegateClassName;
    std::istringstream in;
    std::ostringstream out;
    ShellSession session(options, out, in);
    EXPECT_EQ(session.run(), 0);
    expectTranscript(here / "catalog-composite.transcript", out.str());

    auto image = UIImage::imageWithContentsOfFile(NSString::fromUTF8(shot.string()));
    ASSERT_TRUE(image) << shot;
    // The screen's content starts 64 points down, the launcher 24 below that. The first
    // icon's cell is white at its corner; the second icon's badge, red, straddles the top of
    // its cell (x 93 to 111, y 90 to 101 on the screen).
    EXPECT_TRUE(near(pixelAt(image, 2, 64 + 24 + 2), kWhite));
    RGBA badge = pixelAt(image, 100, 95);
    EXPECT_GT(badge.r, 180);
    EXPECT_LT(badge.g, 80);
    EXPECT_LT(badge.b, 80);
    if (!getenv("BN_KEEP_SCREENSHOT")) fs::remove(shot);
}

// Fingers on the launcher: a hold starts editing with close buttons, a close button takes
// Cars away, Homes dragged onto Phones' place moves there, and Jobs held at the right edge goes
// on to the second page, where it stays when Done ends the editing.
TEST(CatalogComposite, FingersHoldCloseAndDragIcons) {
    registerCatalogApp();
    fs::path here = shellTestFolder();
    ShellOptions options;
    options.scriptPath = (here / "catalog-launcher.script").string();
    options.delegateClassName = kCatalogDelegateClassName;
    std::istringstream in;
    std::ostringstream out;
    ShellSession session(options, out, in);
    EXPECT_EQ(session.run(), 0);
    expectTranscript(here / "catalog-launcher.transcript", out.str());
}

// The photo browser over the services' set of 25: its first page of ten, "1 of 25" and the
// caption; a tap on the photo hides the chrome, but only once the double-tap wait of 0.2 s is
// over, and a second tap brings it back; See All for the grid with its Load More row, and back; a
// swipe to the second photo whose full image comes after the swipe; a double tap on it zooms in
// (without touching the chrome) and a second one fits it again. The screenshots show the black
// pager beside the fitted photo, the zoomed photo filling the screen, and the photo fitted again.
// Going back with the chrome hidden gives the catalog's list its bar again. The grid starts
// right under its bar.
TEST(CatalogComposite, ThePhotoBrowserPagesZoomsAndOpensItsGrid) {
    registerCatalogApp();
    servicestest::services().reset();
    fs::path here = shellTestFolder();
    fs::path shot = fs::current_path() / "photos.png";
    fs::path zoomed = fs::current_path() / "zoomed.png";
    fs::path refitted = fs::current_path() / "refitted.png";
    fs::path after = fs::current_path() / "after-photos.png";
    fs::path grid = fs::current_path() / "grid.png";
    fs::path before = fs::current_path() / "before-photos.png";
    for (auto& f : {shot, zoomed, refitted, after, grid, before})
        fs::remove(f);
    ShellOptions options;
    options.scriptPath = (here / "catalog-photos.script").string();
    options.delegateClassName = kCatalogDelegateClassName;
    std::istringstream in;
    std::ostringstream out;
    ShellSession session(options, out, in);
    EXPECT_EQ(session.run(), 0);
    expectTranscript(here / "catalog-photos.transcript", out.str());
    auto log = servicestest::takeLog();
    int pages = 0;
    for (auto& line : log)
        if (line.find("/photos.json?set=many") != std::string::npos) ++pages;
    EXPECT_GE(pages, 1);
    // The grid's first row starts just under the bar (64 points down), with no empty band
    // before it: a thumbnail there, not the grid's ground that shows below its rows.
    auto thumbs = UIImage::imageWithContentsOfFile(NSString::fromUTF8(grid.string()));
    ASSERT_TRUE(thumbs) << grid;
    RGBA ground = pixelAt(thumbs, 300, 460);
    EXPECT_FALSE(near(pixelAt(thumbs, 40, 100), ground, 10)) << ground;
    EXPECT_FALSE(near(pixelAt(thumbs, 40, 75), ground, 10)) << ground;
    auto image = UIImage::imageWithContentsOfFile(NSString::fromUTF8(shot.string()));
    ASSERT_TRUE(image) << shot;
    // The second photo is square: 320 wide, centred in the 480-high pager, black above it.
    RGBA above = pixelAt(image, 160, 70);
    EXPECT_LT(above.r + above.g + above.b, 30);
    // Above and below it, up to the right edge, the pager is black too: the next photo's square
    // preview stays inside its tall page, off screen, instead of spilling over the edge.
    for (int y : {60, 420}) {
        RGBA edge = pixelAt(image, 310, y);
        EXPECT_LT(edge.r + edge.g + edge.b, 30) << y << ": " << edge;
    }
    auto closer = UIImage::imageWithContentsOfFile(NSString::fromUTF8(zoomed.string()));
    ASSERT_TRUE(closer) << zoomed;
    // Zoomed about its middle, the photo reaches past the top of the screen: no black there.
    RGBA covered = pixelAt(closer, 160, 70);
    EXPECT_GT(covered.r + covered.g + covered.b, 30);
    auto fitted = UIImage::imageWithContentsOfFile(NSString::fromUTF8(refitted.string()));
    ASSERT_TRUE(fitted) << refitted;
    // The second double tap fits it again: black above it once more.
    RGBA again = pixelAt(fitted, 160, 70);
    EXPECT_LT(again.r + again.g + again.b, 30);
    // Left while its bars were hidden, the browser gave them back: the catalog's list has its
    // bar at the top, not a white row ...
    auto list = UIImage::imageWithContentsOfFile(NSString::fromUTF8(after.string()));
    ASSERT_TRUE(list) << after;
    RGBA bar = pixelAt(list, 300, 40);
    EXPECT_FALSE(near(bar, kWhite, 40)) << bar;
    RGBA row = pixelAt(list, 300, 100);
    EXPECT_TRUE(near(row, kWhite)) << row;
    // ... and the bars look as they did before the browser came: the status bar and the
    // navigation bar in their colours, not the browser's black.
    auto first = UIImage::imageWithContentsOfFile(NSString::fromUTF8(before.string()));
    ASSERT_TRUE(first) << before;
    for (int y : {10, 40}) {
        RGBA was = pixelAt(first, 300, y), is = pixelAt(list, 300, y);
        EXPECT_TRUE(near(is, was, 3)) << y << ": " << is << " was " << was;
    }
    if (!getenv("BN_KEEP_SCREENSHOT"))
        for (auto& f : {shot, zoomed, refitted, after, grid, before})
            fs::remove(f);
}
