// The catalog's Launcher and Tabs screens replayed: the shell lists the icons with their badges
// and the tabs, taps open an icon and select tabs, and the screenshots show the large badge at
// the corner of the second icon's picture, and the tabs' badges clear of their titles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSString.h"
#include "TranscriptTesting.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIImage.h"
#include "UIKit/UITabBar.h"
#include "UIKit/UITableView.h"
#include "UIKit/UIWindow.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/services/RunningServices.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/CatalogSessions.h"
#include "tools/shell/ShellSession.h"

namespace fs = std::filesystem;

namespace {
// The first view of class T in `view`'s tree, depth first; nil when there is none.
template <class T>
Ref<T> firstViewOf(UIView* view) {
    if (auto found = as<T>(view)) return found;
    auto subviews = view->subviews();
    for (NSObject* sub : *subviews)
        if (auto found = firstViewOf<T>(static_cast<UIView*>(sub))) return found;
    return nullptr;
}
}  // namespace

TEST(CatalogComposite, TheShellListsIconsAndTabsAndTapsThem) {
    InScratchFolder scratch("catalog-composite");
    registerCatalogApp();
    fs::path here = shellTestFolder();
    fs::path shot = fs::current_path() / "launcher.png";
    fs::path tabsShot = fs::current_path() / "tabs.png";
    fs::remove(shot);
    fs::remove(tabsShot);
    std::string out = runCatalogScript(here / "catalog-composite.script");
    expectTranscript(here / "catalog-composite.transcript", out);

    auto image = UIImage::imageWithContentsOfFile(NSString::fromUTF8(shot.string()));
    ASSERT_TRUE(image) << shot;
    // The screen's content starts 64 points down, the launcher 24 below that. The first
    // icon's cell shows the launcher's dark ground at its corner; the second icon's badge, red,
    // straddles the top right corner of its picture (x 174 to 193 on the screen).
    RGBA corner = pixelAt(image, 2, 64 + 24 + 2);
    EXPECT_LT(corner.r + corner.g + corner.b, 3 * 80) << corner;
    RGBA badge = pixelAt(image, 183, 113);
    EXPECT_GT(badge.r, 180);
    EXPECT_LT(badge.g, 80);
    EXPECT_LT(badge.b, 80);

    // The tabs: the strip (70 points down on the screen's content, 40 high) shows its titles
    // with no badge over them; the bar's "99+" sits in the corner of its first tab, clear of
    // "All" in the middle of it.
    auto tabs = UIImage::imageWithContentsOfFile(NSString::fromUTF8(tabsShot.string()));
    ASSERT_TRUE(tabs) << tabsShot;
    auto pixels = UIImagePixelsOf(tabs->CGImage());
    auto redIn = [&](int left, int right, int top, int bottom) {
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) {
                RGBA c = pixelAt(pixels, x, y);
                if (c.r > 180 && c.g < 80 && c.b < 80) ++count;
            }
        return count;
    };
    EXPECT_EQ(redIn(0, 320, 64 + 70, 64 + 110), 0);
    EXPECT_GT(redIn(70, 112, 64 + 10, 64 + 50), 20);
    // "All" ends 68 points across in the faces' measures.
    EXPECT_EQ(redIn(40, 68, 64 + 10, 64 + 50), 0);
    // The grid (130 points down) is a box just round its two rows of tabs: the screen's white
    // below them, the box's edge a point under the second row's tabs.
    int gridTop = 64 + 130;
    RGBA secondRow = pixelAt(tabs, 60, gridTop + 50);
    EXPECT_FALSE(near(secondRow, kWhite, 8)) << secondRow;
    for (int y = gridTop + 74; y < gridTop + 90; ++y)
        EXPECT_TRUE(near(pixelAt(tabs, 60, y), kWhite, 3)) << y << " " << pixelAt(tabs, 60, y);
}

// Fingers on the launcher: a hold starts editing with close buttons, a close button takes
// Cars away, Homes dragged onto Phones' place moves there, and Jobs held at the right edge goes
// on to the second page, where it stays when Done ends the editing. The screenshots show the
// icons' pictures on the dark ground, their badges whole below the heading, the page dots above
// the tab bar, and while editing one close button at each icon's top left corner and none at
// the screen's edge.
TEST(CatalogComposite, FingersHoldCloseAndDragIcons) {
    InScratchFolder scratch("catalog-launcher");
    registerCatalogApp();
    fs::path here = shellTestFolder();
    fs::path icons = fs::current_path() / "launcher-icons.png";
    fs::path editing = fs::current_path() / "launcher-editing.png";
    for (auto& f : {icons, editing})
        fs::remove(f);
    std::string out = runCatalogScript(here / "catalog-launcher.script");
    expectTranscript(here / "catalog-launcher.transcript", out);

    // The launcher lies 64 + 24 points down; its icons are 107 by 108 points, each picture 57
    // square at (25, 18) in its cell.
    auto shown = UIImage::imageWithContentsOfFile(NSString::fromUTF8(icons.string()));
    ASSERT_TRUE(shown) << icons;
    RGBA ground = pixelAt(shown, 300, 200);
    EXPECT_LT(ground.r + ground.g + ground.b, 3 * 80) << ground;  // a dark ground
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) {
            // The middle of each picture is a coloured tile, not the ground or a title.
            RGBA tile = pixelAt(shown, 53 + 107 * column, 88 + 18 + 40 + 108 * row);
            EXPECT_FALSE(near(tile, ground, 40)) << column << "," << row << ": " << tile;
            EXPECT_GT(std::max({tile.r, tile.g, tile.b}) - std::min({tile.r, tile.g, tile.b}), 60)
                << column << "," << row << ": " << tile;
        }
    auto isRed = [](RGBA c) { return c.r > 180 && c.g < 80 && c.b < 80; };
    // Homes' "3" straddles its picture's top right corner, below the heading; Pets' "99+"
    // does the same, whole, well inside the screen's left edge.
    auto pixels = UIImagePixelsOf(shown->CGImage());
    auto redIn = [&](int left, int right, int top, int bottom) {
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                if (isRed(pixelAt(pixels, x, y))) return true;
        return false;
    };
    EXPECT_TRUE(redIn(170, 200, 95, 125));
    EXPECT_FALSE(redIn(0, 320, 64, 90));  // nothing on the heading
    EXPECT_TRUE(redIn(50, 100, 205, 230));
    EXPECT_FALSE(redIn(0, 45, 195, 235));
    // Three page dots above the tab bar (at 431): the first white, the others grey, the ground
    // between them.
    EXPECT_TRUE(near(pixelAt(shown, 143, 421), kWhite, 10)) << pixelAt(shown, 143, 421);
    EXPECT_TRUE(near(pixelAt(shown, 159, 421), RGBA{77, 77, 77, 255}, 10))
        << pixelAt(shown, 159, 421);
    EXPECT_TRUE(near(pixelAt(shown, 175, 421), RGBA{77, 77, 77, 255}, 10))
        << pixelAt(shown, 175, 421);
    EXPECT_TRUE(near(pixelAt(shown, 151, 421), ground, 10)) << pixelAt(shown, 151, 421);

    auto edited = UIImage::imageWithContentsOfFile(NSString::fromUTF8(editing.string()));
    ASSERT_TRUE(edited) << editing;
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            // A close button over the top left corner of each picture, where the ground shows
            // outside editing.
            int x = 22 + 107 * column, y = 88 + 16 + 108 * row;
            EXPECT_TRUE(near(pixelAt(shown, x, y), ground, 10)) << column << "," << row;
            EXPECT_FALSE(near(pixelAt(edited, x, y), ground, 12))
                << column << "," << row << ": " << pixelAt(edited, x, y);
        }
        // None of the next page's close buttons shows at the right edge.
        for (int y = 88 + 108 * row; y < 88 + 108 * (row + 1); y += 4)
            EXPECT_TRUE(near(pixelAt(edited, 316, y), ground, 10)) << y;
    }
    // Four dots while editing (the empty page offered), above the tab bar.
    EXPECT_TRUE(near(pixelAt(edited, 135, 421), kWhite, 10)) << pixelAt(edited, 135, 421);
    EXPECT_TRUE(near(pixelAt(edited, 183, 421), RGBA{77, 77, 77, 255}, 10))
        << pixelAt(edited, 183, 421);
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
    InScratchFolder scratch("catalog-photos");
    registerCatalogApp();
    servicestest::services().reset();
    fs::path here = shellTestFolder();
    fs::path shot = fs::current_path() / "photos.png";
    fs::path zoomed = fs::current_path() / "zoomed.png";
    fs::path refitted = fs::current_path() / "refitted.png";
    fs::path after = fs::current_path() / "after-photos.png";
    fs::path grid = fs::current_path() / "grid.png";
    fs::path before = fs::current_path() / "before-photos.png";
    fs::path browser = fs::current_path() / "browser.png";
    for (auto& f : {shot, zoomed, refitted, after, grid, before, browser})
        fs::remove(f);
    // Scrolled to its end, on its first showing and again after the browser, the list shows its
    // last row whole, ending on the tab bar's top.
    std::vector<std::string> ends;
    auto lastRowOnTheTabBar = [&] {
        auto window = UIApplication::sharedApplication()->keyWindow();
        ASSERT_TRUE(window);
        auto table = firstViewOf<UITableView>(window.get());
        auto bar = firstViewOf<UITabBar>(window.get());
        ASSERT_TRUE(table && bar);
        CGFloat end = table->contentSize().height + table->contentInset().bottom -
                      table->bounds().size.height;
        EXPECT_NEAR(table->contentOffset().y, end, 0.5) << ends.size();
        NSInteger section = table->numberOfSections() - 1;
        auto last =
            NSIndexPath::indexPathForRow(table->numberOfRowsInSection(section) - 1, section);
        CGFloat rowEnd =
            CGRectGetMaxY(table->convertRect(table->rectForRowAtIndexPath(last), nullptr));
        CGFloat barTop = bar->convertRect(bar->bounds(), nullptr).origin.y;
        EXPECT_LE(rowEnd, barTop + 0.5) << ends.size();
        EXPECT_GE(rowEnd, barTop - 2) << ends.size();
        ends.push_back(std::to_string(rowEnd));
    };
    HookedLines lines(readFile(here / "catalog-photos.script"),
                      {{"screenshot before-photos.png", lastRowOnTheTabBar},
                       {"screenshot after-photos.png", lastRowOnTheTabBar}});
    std::istream in(&lines);
    std::string out = runCatalogScript(in);
    expectTranscript(here / "catalog-photos.transcript", out);
    EXPECT_EQ(ends.size(), 2u);
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
    // With the bars showing, the first photo (square) is centred in the whole screen, from 80 to
    // 400 points down: black bands of the same height above and below it.
    auto first = UIImage::imageWithContentsOfFile(NSString::fromUTF8(browser.string()));
    ASSERT_TRUE(first) << browser;
    for (int y : {76, 404}) {
        RGBA band = pixelAt(first, 160, y);
        EXPECT_LT(band.r + band.g + band.b, 30) << y << ": " << band;
    }
    for (int y : {84, 396}) {
        RGBA photo = pixelAt(first, 160, y);
        EXPECT_GT(photo.r + photo.g + photo.b, 30) << y << ": " << photo;
    }
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
    auto start = UIImage::imageWithContentsOfFile(NSString::fromUTF8(before.string()));
    ASSERT_TRUE(start) << before;
    for (int y : {10, 40}) {
        RGBA was = pixelAt(start, 300, y), is = pixelAt(list, 300, y);
        EXPECT_TRUE(near(is, was, 3)) << y << ": " << is << " was " << was;
    }
}
