// The catalog's text input screens replayed against the stand-in services: completion over the
// names service while typing (one request per settled keystroke run, none answered for "zz"),
// the search bar's Cancel, token cells picked and removed with backspace, the composer's subject
// in its title, the fields it sends and the question on Cancel, the composer turned with the
// phone and closed while turned, then the text bar and the post popup, which stays whole and
// upright over its upright screen when the phone turns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "Foundation/NSString.h"
#include "Foundation/NetworkWork.h"
#include "TranscriptTesting.h"
#include "UIKit/UIImage.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/services/RunningServices.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/CatalogSessions.h"
#include "tools/shell/ShellSession.h"
#include "ui/core/DZGlobalCore.h"

TEST(CatalogTextInput, SearchTokensComposerTextBarAndPostPopup) {
    InScratchFolder scratch("catalog-text-input");
    registerCatalogApp();
    servicestest::services().reset();
    auto here = shellTestFolder();
    auto shot = [](const char* name) { return std::filesystem::current_path() / name; };
    const char* shots[] = {"search-none.png",   "tokens-typed.png",   "composer-typed.png",
                           "post-left.png",     "post-right.png",     "post-upright.png",
                           "composer-left.png", "composer-closed.png"};
    for (const char* name : shots)
        std::filesystem::remove(shot(name));
    std::string out = runCatalogScript(here / "catalog-text-input.script");
    expectTranscript(here / "catalog-text-input.transcript", out);
    EXPECT_EQ(DZNetworkActivityCount(), 0);
    EXPECT_EQ(NetworkWork::inFlight(), 0);
    // Each typed run asks once, with its whole text.
    auto log = servicestest::takeLog();
    int asked = 0;
    bool sawWhole = false;
    for (auto& line : log) {
        if (line.find("/names.json?q=") == std::string::npos) continue;
        ++asked;
        if (line.find("q=ada") != std::string::npos) sawWhole = true;
        EXPECT_EQ(line.find("q=a "), std::string::npos);
    }
    EXPECT_TRUE(sawWhole);
    EXPECT_GE(asked, 5);

    // A search that finds nothing says so in a row; the field's clear button, a grey disc with
    // a white cross, is drawn at its right end.
    EXPECT_NE(out.find("No results"), std::string::npos);
    auto none =
        UIImage::imageWithContentsOfFile(NSString::fromUTF8(shot("search-none.png").string()));
    ASSERT_TRUE(none);
    {
        // The disc is 19 points across, left of the Cancel button.
        auto pixels = UIImagePixelsOf(none->CGImage());
        int disc = 0, cross = 0;
        for (int y = 74; y < 98; ++y)
            for (int x = 200; x < 255; ++x) {
                RGBA c = pixelAt(pixels, x, y);
                if (near(c, RGBA{158, 158, 158, 255}, 6)) ++disc;
                bool inDisc = near(pixelAt(pixels, x - 5, y), RGBA{158, 158, 158, 255}, 6) &&
                              near(pixelAt(pixels, x + 5, y), RGBA{158, 158, 158, 255}, 6);
                if (inDisc && near(c, kWhite, 20)) ++cross;
            }
        EXPECT_GT(disc, 150);
        EXPECT_GT(cross, 4);
    }

    // Typed text in the token picker and the composer is as large as the "To:" beside it and
    // stands on the same line: the rows its dark (grey, not the blue caret) pixels take in the
    // field (above the results, which start 100 points down).
    struct Rows {
        int top = 1000, bottom = -1;
    };
    auto rowsOf = [](UIImage* image, int left, int right) {
        Rows rows;
        auto pixels = UIImagePixelsOf(image->CGImage());
        for (int y = 64; y < 100; ++y)
            for (int x = left; x < right; ++x) {
                RGBA c = pixelAt(pixels, x, y);
                bool grey = std::abs(int(c.r) - int(c.b)) < 30;
                if (grey && c.r + c.g + c.b < 450) {
                    rows.top = std::min(rows.top, y);
                    rows.bottom = std::max(rows.bottom, y);
                }
            }
        return rows;
    };
    for (const char* name : {"tokens-typed.png", "composer-typed.png"}) {
        auto image = UIImage::imageWithContentsOfFile(NSString::fromUTF8(shot(name).string()));
        ASSERT_TRUE(image) << name;
        Rows label = rowsOf(image.get(), 5, 34), typed = rowsOf(image.get(), 38, 72);
        ASSERT_GE(label.bottom, 0) << name;
        ASSERT_GE(typed.bottom, 0) << name;
        // The same baseline (no descenders in "To:", "tan" or "ben")...
        EXPECT_NEAR(typed.bottom, label.bottom, 2) << name;
        // ...and letters nearly as tall ("t" and "b" against a capital "T").
        EXPECT_GE(typed.bottom - typed.top + 1, (label.bottom - label.top + 1) * 8 / 10) << name;
    }

    {
        auto sum = [](RGBA c) { return c.r + c.g + c.b; };
        // The status bar's light grey and the navigation bar's grey blue, whatever their gloss
        // at that point.
        auto barGrey = [&](RGBA c) { return sum(c) > 3 * 150 && std::abs(c.r - c.b) < 16; };
        auto barBlue = [](RGBA c) { return c.b > c.r + 20 && c.b > 100 && c.b < 230; };
        // The composer turned with the phone lies whole in the screen: the status bar along the
        // right edge, its navigation bar beside it, and the keyboard along the left edge.
        auto image = UIImage::imageWithContentsOfFile(
            NSString::fromUTF8(shot("composer-left.png").string()));
        ASSERT_TRUE(image);
        auto pixels = UIImagePixelsOf(image->CGImage());
        for (int y : {100, 380}) {  // between the words
            EXPECT_TRUE(barGrey(pixelAt(pixels, 310, y))) << "status bar at y " << y;
            EXPECT_TRUE(barBlue(pixelAt(pixels, 280, y))) << "navigation bar at y " << y;
        }
        // Closed while turned, the catalog is upright again: the status bar across the top,
        // the navigation bar under it, and the screen's own white down the right edge.
        auto closed = UIImage::imageWithContentsOfFile(
            NSString::fromUTF8(shot("composer-closed.png").string()));
        ASSERT_TRUE(closed);
        auto after = UIImagePixelsOf(closed->CGImage());
        for (int x : {100, 230})
            EXPECT_TRUE(barGrey(pixelAt(after, x, 10))) << "status bar at x " << x;
        EXPECT_TRUE(barBlue(pixelAt(after, 250, 50)));
        for (int y : {150, 300})
            EXPECT_GT(sum(pixelAt(after, 316, y)), 3 * 240) << "right edge at y " << y;
    }

    // The post popup after each turn: its black bar across the top with Done at the right, the
    // white box with the typed text across the width below it, the upright keyboard under that.
    for (const char* name : {"post-left.png", "post-right.png", "post-upright.png"}) {
        auto image = UIImage::imageWithContentsOfFile(NSString::fromUTF8(shot(name).string()));
        ASSERT_TRUE(image) << name;
        auto pixels = UIImagePixelsOf(image->CGImage());
        auto sum = [&](int x, int y) {
            RGBA c = pixelAt(pixels, x, y);
            return c.r + c.g + c.b;
        };
        auto count = [&](int left, int top, int right, int bottom, auto&& wanted) {
            int n = 0;
            for (int y = top; y < bottom; ++y)
                for (int x = left; x < right; ++x)
                    if (wanted(sum(x, y))) ++n;
            return n;
        };
        auto dark = [](int s) { return s < 3 * 100; };
        auto light = [](int s) { return s > 3 * 200; };
        EXPECT_EQ(count(70, 46, 110, 60, dark), 40 * 14) << name;  // the bar, left of its title
        EXPECT_GT(count(268, 32, 314, 54, light), 10) << name;     // Done's word on it
        for (int x : {12, 160, 308})
            EXPECT_GT(sum(x, 200), 3 * 240) << name << " x " << x;  // the box
        EXPECT_GT(count(12, 74, 120, 100, dark), 40) << name;       // "Call me" on its first line
        // The space bar, a wide light key across the keyboard's bottom row.
        EXPECT_GT(count(90, 436, 230, 468, light), 140 * 32 * 8 / 10) << name;
    }
}
