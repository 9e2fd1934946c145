// The catalog's Tables screen replayed against the stand-in services: the rows and their
// accessories by navigation mode, the banner, a row menu, the editor row typed into, grown with
// return and shrunk with backspace, then the paged items with load more and a pull that reloads
// them ("Release to update...", "Updating...", then the header at rest with its last-updated
// time). The modal screen's screenshot shows its white page.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "Foundation/NSString.h"
#include "Foundation/NetworkWork.h"
#include "TranscriptTesting.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIResponder.h"
#include "UIKit/UITableView.h"
#include "UIKit/UITableViewCell.h"
#include "UIKit/UITextField.h"
#include "UIKit/UITextInputTraits.h"
#include "UIKit/UIView.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/FoundationTesting.h"
#include "support/services/RunningServices.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/CatalogSessions.h"
#include "tools/shell/ShellSession.h"
#include "ui/core/DZGlobalCore.h"

TEST(CatalogTables, RowsEditorPagesAndPullToRefresh) {
    InScratchFolder scratch("catalog-tables");
    registerCatalogApp();
    servicestest::services().reset();
    auto here = shellTestFolder();
    auto modalShot = std::filesystem::current_path() / "catalog-modal.png";
    auto menuShot = std::filesystem::current_path() / "row-menu.png";
    auto scrolledShot = std::filesystem::current_path() / "row-menu-scrolled.png";
    auto styledShot = std::filesystem::current_path() / "tables-styled.png";
    auto pulledShot = std::filesystem::current_path() / "paged-pulled.png";
    for (auto& f : {modalShot, menuShot, scrolledShot, styledShot, pulledShot})
        std::filesystem::remove(f);
    std::string out = runCatalogScript(here / "catalog-tables.script");
    expectTranscript(here / "catalog-tables.transcript", out);
    EXPECT_EQ(DZNetworkActivityCount(), 0);
    EXPECT_EQ(NetworkWork::inFlight(), 0);
    // Two pages, then the reload of the first; the row thumbnails came from the same host.
    auto log = servicestest::takeLog();
    int pages = 0;
    for (auto& line : log)
        if (line.find("/items.json?page=") != std::string::npos) ++pages;
    EXPECT_EQ(pages, 3);
    // The modal screen is a white page under its bar, not a black one.
    auto modal = UIImage::imageWithContentsOfFile(NSString::fromUTF8(modalShot.string()));
    ASSERT_TRUE(modal) << modalShot;
    EXPECT_TRUE(near(pixelAt(modal, 160, 300), kWhite));
    EXPECT_TRUE(near(pixelAt(modal, 300, 180), kWhite));
    // The row menu is a dark strip in the row's place (286 to 326 on the screen) with its two
    // black buttons from 10 points in; the row under it is not left selected.
    auto menu = UIImage::imageWithContentsOfFile(NSString::fromUTF8(menuShot.string()));
    ASSERT_TRUE(menu) << menuShot;
    EXPECT_TRUE(near(pixelAt(menu, 160, 306), RGBA{64, 64, 64, 255}, 6)) << pixelAt(menu, 160, 306);
    EXPECT_TRUE(near(pixelAt(menu, 300, 300), RGBA{64, 64, 64, 255}, 6)) << pixelAt(menu, 300, 300);
    RGBA button = pixelAt(menu, 45, 306);
    EXPECT_FALSE(near(button, RGBA{64, 64, 64, 255}, 10)) << button;
    EXPECT_LT(button.r + button.g + button.b, 3 * 100) << button;
    // Just after the scroll that hides it, the menu is on no row: the row that took its cell
    // shows its own text on white, not the menu's dark strip.
    auto scrolled = UIImage::imageWithContentsOfFile(NSString::fromUTF8(scrolledShot.string()));
    ASSERT_TRUE(scrolled) << scrolledShot;
    for (int y = 90; y < 400; y += 2)
        EXPECT_FALSE(near(pixelAt(scrolled, 300, y), RGBA{64, 64, 64, 255}, 10)) << "at " << y;
    // The styled rows' text starts 10 points in, as their neighbours' does: nothing dark in the
    // first 9 points of any row, and the two styled texts there beside them.
    auto styled = UIImage::imageWithContentsOfFile(NSString::fromUTF8(styledShot.string()));
    ASSERT_TRUE(styled) << styledShot;
    auto pixels = UIImagePixelsOf(styled->CGImage());
    auto dark = [&](int x, int y) {
        RGBA c = pixelAt(pixels, x, y);
        return c.r + c.g + c.b < 300;
    };
    for (int y = 64; y < 330; ++y)
        for (int x = 0; x < 9; ++x)
            EXPECT_FALSE(dark(x, y)) << x << "," << y;
    // Each styled text has its own row: blank rows of 8 points between "Styled" (from 146) and
    // "Plain" (from 186).
    auto textIn = [&](int top, int bottom) {
        for (int y = top; y < bottom; ++y)
            for (int x = 9; x < 20; ++x)
                if (dark(x, y)) return true;
        return false;
    };
    EXPECT_TRUE(textIn(144, 160));
    EXPECT_FALSE(textIn(162, 184));
    EXPECT_TRUE(textIn(184, 196));
    // After the pull's reload the header has closed: the first row at the top, not the
    // header's grey-blue.
    auto pulled = UIImage::imageWithContentsOfFile(NSString::fromUTF8(pulledShot.string()));
    ASSERT_TRUE(pulled) << pulledShot;
    EXPECT_TRUE(near(pixelAt(pulled, 200, 70), kWhite)) << pixelAt(pulled, 200, 70);
    EXPECT_TRUE(near(pixelAt(pulled, 200, 110), kWhite)) << pixelAt(pulled, 200, 110);
}

// A field low in the list, tapped, comes above the keyboard (the table gives the keyboard its
// room and scrolls the focused row into what is left), for the editor row and the one-line
// field alike; Return in the field puts the keyboard away. The screenshots show the rows above
// the keyboard.
TEST(CatalogTables, TheFocusedFieldComesAboveTheKeyboard) {
    InScratchFolder scratch("catalog-tables-keyboard");
    registerCatalogApp();
    servicestest::services().reset();
    auto here = shellTestFolder();
    std::vector<std::string> checked;
    auto aboveKeyboard = [&] {
        ASSERT_TRUE(UIKeyboard::isVisible());
        auto focused = as<UIView>(UIResponder::currentFirstResponder());
        ASSERT_TRUE(focused);
        CGRect f = focused->convertRect(focused->bounds(), nullptr);
        CGFloat keyboardTop = UIKeyboard::interfaceFrame().origin.y;
        // Under the navigation bar (64 points) and wholly above the keyboard.
        EXPECT_GE(f.origin.y, 64) << checked.size();
        EXPECT_LE(CGRectGetMaxY(f), keyboardTop) << checked.size() << ": " << CGRectGetMaxY(f);
        // Its row below the section's header pinned over the list's top (within the point and
        // a half the list's end leaves short).
        Ref<UIView> cell = focused;
        while (cell && !is<UITableViewCell>(cell.get()))
            cell = cell->superview();
        ASSERT_TRUE(cell);
        auto table = as<UITableView>(cell->superview());
        ASSERT_TRUE(table);
        auto path = table->indexPathForCell(cast<UITableViewCell>(cell));
        CGFloat header = table->rectForHeaderInSection(path->section()).size.height;
        CGFloat listTop = table->convertRect(table->bounds(), nullptr).origin.y;
        EXPECT_GE(cell->convertRect(cell->bounds(), nullptr).origin.y, listTop + header - 2)
            << checked.size();
        // The one-line field's words are as large as its caption's, and stop short of the
        // screen's edge.
        if (auto field = as<UITextField>(focused); field && text(field->placeholder()) == "Name") {
            EXPECT_GE(field->font()->pointSize(),
                      cast<UITableViewCell>(cell)->textLabel()->font()->pointSize());
            CGRect words = field->convertRect(field->textRectForBounds(field->bounds()), nullptr);
            EXPECT_LE(CGRectGetMaxX(words), 310);
        }
        checked.push_back("checked");
    };
    HookedLines lines(readFile(here / "catalog-tables-keyboard.script"),
                      "# The test checks here that the focused field lies above the keyboard.",
                      aboveKeyboard);
    std::istream in(&lines);
    std::string out = runCatalogScript(in);
    EXPECT_EQ(checked.size(), 2u);
    expectTranscript(here / "catalog-tables-keyboard.transcript", out);
    // Return in the one-line field ended typing.
    EXPECT_FALSE(UIKeyboard::isVisible());
    EXPECT_NE(out.find("[Bob]"), std::string::npos);
    // With the keyboard gone the list reaches down to the banner again: its last row (the
    // orange swatch) just above it, no blank band.
    auto back = UIImage::imageWithContentsOfFile(
        NSString::fromUTF8((std::filesystem::current_path() / "tables-return.png").string()));
    ASSERT_TRUE(back);
    RGBA swatch = pixelAt(back, 160, 400);
    EXPECT_GT(swatch.r, 200) << swatch;
    EXPECT_LT(swatch.b, 60) << swatch;
    // The swatch's row says what it is: its caption's ink left of the colour.
    EXPECT_GT(countPixels(back, CGRectMake(10, 380, 80, 20), [](RGBA c) { return c.r < 90; }), 30);
    // "Bob" in the Name row (277 to 321) is written as large as the caption: its ink spans
    // 12 rows and more, where words half the caption's size would span 9.
    int inkRows = 0;
    for (int y = 280; y < 320; ++y)
        inkRows += countPixels(back, CGRectMake(70, y, 60, 1), [](RGBA c) { return c.r < 90; }) > 0;
    EXPECT_GE(inkRows, 12);
}
